#include "graphics3d/framework/d3dx/D3DX9Core.h"

#include "graphics3d/framework/DeviceBase.h"
#include "graphics3d/framework/d3dx/D3DXInternal.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <functional>
#include <map>
#include <string_view>
#include <vector>

namespace orv {

namespace {

struct SpriteVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u, v;
};
constexpr DWORD kSpriteFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

class Sprite final : public ID3DXSprite {
public:
    explicit Sprite(IDirect3DDevice9* device) : device_(device) { device_->AddRef(); }
    ~Sprite() override {
        for (auto& q : queue_)
            q.texture->Release();
        device_->Release();
    }

    HRESULT Begin(DWORD flags) override {
        if (begun_)
            return D3DERR_INVALIDCALL;
        begun_ = true;
        flags_ = flags;
        return D3D_OK;
    }
    HRESULT Draw(IDirect3DTexture9* texture, const RECT* sourceRect, const D3DXVECTOR3* centre,
                 const D3DXVECTOR3* position, D3DCOLOR colour) override {
        if (!begun_ || !texture)
            return D3DERR_INVALIDCALL;
        D3DSURFACE_DESC desc;
        if (FAILED(texture->GetLevelDesc(0, &desc)))
            return D3DERR_INVALIDCALL;
        Item item;
        item.texture = texture;
        texture->AddRef();
        item.source = sourceRect ? *sourceRect
                                 : RECT{0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
        item.width = desc.Width;
        item.height = desc.Height;
        item.x = (position ? position->x : 0.0f) - (centre ? centre->x : 0.0f);
        item.y = (position ? position->y : 0.0f) - (centre ? centre->y : 0.0f);
        item.z = position ? position->z : 0.0f;
        item.colour = colour;
        item.order = static_cast<UINT>(queue_.size());
        queue_.push_back(item);
        return D3D_OK;
    }
    HRESULT Flush() override {
        if (!begun_)
            return D3DERR_INVALIDCALL;
        if (queue_.empty())
            return D3D_OK;
        // Stable by texture, without the scratch buffer std::stable_sort would allocate: the queue
        // position breaks ties.
        if (flags_ & D3DXSPRITE_SORT_TEXTURE)
            std::sort(queue_.begin(), queue_.end(), [](const Item& a, const Item& b) {
                if (a.texture != b.texture)
                    return std::less<>()(a.texture, b.texture);
                return a.order < b.order;
            });
        SavedState saved;
        if (!(flags_ & D3DXSPRITE_DONOTSAVESTATE))
            Save(&saved);
        if (!(flags_ & D3DXSPRITE_DONOTMODIFY_RENDERSTATE))
            SetStates();
        HRESULT hr = D3D_OK;
        size_t i = 0;
        while (i < queue_.size()) {
            size_t end = i;
            vertices_.clear();
            while (end < queue_.size() && queue_[end].texture == queue_[i].texture) {
                Quad(queue_[end], &vertices_);
                ++end;
            }
            device_->SetTexture(0, queue_[i].texture);
            const HRESULT r =
                device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(vertices_.size() / 3),
                                         vertices_.data(), sizeof(SpriteVertex));
            if (FAILED(r))
                hr = r;
            i = end;
        }
        device_->SetTexture(0, nullptr);
        if (!(flags_ & D3DXSPRITE_DONOTSAVESTATE))
            Restore(saved);
        for (auto& q : queue_)
            q.texture->Release();
        queue_.clear();
        return hr;
    }
    HRESULT End() override {
        if (!begun_)
            return D3DERR_INVALIDCALL;
        const HRESULT hr = Flush();
        begun_ = false;
        return hr;
    }
    HRESULT OnLostDevice() override { return D3D_OK; }
    HRESULT OnResetDevice() override { return D3D_OK; }
    HRESULT GetDevice(IDirect3DDevice9** device) override { return d3dx::HandOutDevice(device_, device); }

private:
    struct Item {
        IDirect3DTexture9* texture = nullptr;
        RECT source;
        UINT width = 1, height = 1;
        float x = 0, y = 0, z = 0;
        D3DCOLOR colour = 0;
        UINT order = 0; // position in the queue
    };

    static constexpr D3DRENDERSTATETYPE kStates[] = {
        D3DRS_ALPHABLENDENABLE, D3DRS_SRCBLEND,      D3DRS_DESTBLEND, D3DRS_BLENDOP,
        D3DRS_ZENABLE,          D3DRS_ZWRITEENABLE,  D3DRS_CULLMODE,  D3DRS_LIGHTING,
        D3DRS_ALPHATESTENABLE,  D3DRS_STENCILENABLE, D3DRS_FILLMODE,  D3DRS_SEPARATEALPHABLENDENABLE};
    static constexpr D3DTEXTURESTAGESTATETYPE kStages[] = {D3DTSS_COLOROP,   D3DTSS_COLORARG1,
                                                           D3DTSS_COLORARG2, D3DTSS_ALPHAOP,
                                                           D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2};
    struct SavedState {
        DWORD states[std::size(kStates)] = {};
        DWORD stages[std::size(kStages)] = {};
        DWORD minFilter = 0, magFilter = 0, mipFilter = 0;
        IDirect3DVertexShader9* shader = nullptr;
        IDirect3DVertexDeclaration9* declaration = nullptr;
        DWORD fvf = 0;
        bool haveStages = false;
    };

    void Save(SavedState* s) {
        for (size_t i = 0; i < std::size(kStates); ++i)
            device_->GetRenderState(kStates[i], &s->states[i]);
        device_->GetSamplerState(0, D3DSAMP_MINFILTER, &s->minFilter);
        device_->GetSamplerState(0, D3DSAMP_MAGFILTER, &s->magFilter);
        device_->GetSamplerState(0, D3DSAMP_MIPFILTER, &s->mipFilter);
        if (auto* base = dynamic_cast<DeviceBase*>(device_)) {
            for (size_t i = 0; i < std::size(kStages); ++i)
                s->stages[i] = base->StageState(0, kStages[i]);
            s->haveStages = true;
            s->shader = base->VertexShader();
            s->declaration = base->Declaration();
            s->fvf = base->Fvf();
            if (s->shader)
                s->shader->AddRef();
            if (s->declaration)
                s->declaration->AddRef();
        }
    }
    void Restore(SavedState& s) {
        for (size_t i = 0; i < std::size(kStates); ++i)
            device_->SetRenderState(kStates[i], s.states[i]);
        device_->SetSamplerState(0, D3DSAMP_MINFILTER, s.minFilter);
        device_->SetSamplerState(0, D3DSAMP_MAGFILTER, s.magFilter);
        device_->SetSamplerState(0, D3DSAMP_MIPFILTER, s.mipFilter);
        if (s.haveStages) {
            for (size_t i = 0; i < std::size(kStages); ++i)
                device_->SetTextureStageState(0, kStages[i], s.stages[i]);
            device_->SetVertexShader(s.shader);
            if (s.declaration)
                device_->SetVertexDeclaration(s.declaration);
            else if (s.fvf)
                device_->SetFVF(s.fvf);
            SafeRelease(s.shader);
            SafeRelease(s.declaration);
        }
    }
    void SetStates() {
        const bool blend = (flags_ & D3DXSPRITE_ALPHABLEND) != 0;
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, blend);
        device_->SetRenderState(D3DRS_SEPARATEALPHABLENDENABLE, false);
        device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device_->SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_ADD);
        device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        device_->SetRenderState(D3DRS_ZWRITEENABLE, false);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetRenderState(D3DRS_LIGHTING, false);
        device_->SetRenderState(D3DRS_ALPHATESTENABLE, false);
        device_->SetRenderState(D3DRS_STENCILENABLE, false);
        device_->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device_->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        device_->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
        device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
        device_->SetVertexShader(nullptr);
        device_->SetFVF(kSpriteFvf);
    }
    static void Quad(const Item& it, std::vector<SpriteVertex>* out) {
        const float w = static_cast<float>(it.source.right - it.source.left);
        const float h = static_cast<float>(it.source.bottom - it.source.top);
        const float u0 = static_cast<float>(it.source.left) / static_cast<float>(it.width);
        const float v0 = static_cast<float>(it.source.top) / static_cast<float>(it.height);
        const float u1 = static_cast<float>(it.source.right) / static_cast<float>(it.width);
        const float v1 = static_cast<float>(it.source.bottom) / static_cast<float>(it.height);
        const SpriteVertex a{it.x, it.y, it.z, 1, it.colour, u0, v0};
        const SpriteVertex b{it.x + w, it.y, it.z, 1, it.colour, u1, v0};
        const SpriteVertex c{it.x + w, it.y + h, it.z, 1, it.colour, u1, v1};
        const SpriteVertex d{it.x, it.y + h, it.z, 1, it.colour, u0, v1};
        out->insert(out->end(), {a, b, c, a, c, d});
    }

    IDirect3DDevice9* device_;
    bool begun_ = false;
    DWORD flags_ = 0;
    // Both keep their capacity from batch to batch.
    std::vector<Item> queue_;
    std::vector<SpriteVertex> vertices_;
};

constexpr UINT kAtlasSize = 512;

class Font final : public ID3DXFont {
public:
    Font(IDirect3DDevice9* device, const QFont& font) : device_(device), font_(font), metrics_(font) {
        device_->AddRef();
    }
    ~Font() override {
        SafeRelease(atlas_);
        device_->Release();
    }

    bool Init() {
        image_ = QImage(static_cast<int>(kAtlasSize), static_cast<int>(kAtlasSize), QImage::Format_ARGB32);
        image_.fill(Qt::transparent);
        if (FAILED(device_->CreateTexture(kAtlasSize, kAtlasSize, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                          &atlas_, nullptr)))
            return false;
        for (char16_t c = 32; c < 127; ++c)
            Glyph(c);
        Upload();
        return true;
    }

    INT DrawTextW(ID3DXSprite* sprite, const wchar_t* text, INT count, RECT* rect, DWORD format,
                  D3DCOLOR colour) override {
        if (!text || !rect)
            return 0;
        ToUtf16(text, count < 0 ? std::wcslen(text) : static_cast<size_t>(count));
        return Draw(sprite, std::u16string_view(utf16_.data(), utf16_.size()), rect, format, colour);
    }
    INT DrawTextA(ID3DXSprite* sprite, const char* text, INT count, RECT* rect, DWORD format,
                  D3DCOLOR colour) override {
        if (!text || !rect)
            return 0;
        const QString s = count < 0 ? QString::fromLocal8Bit(text) : QString::fromLocal8Bit(text, count);
        return Draw(sprite,
                    std::u16string_view(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size())), rect,
                    format, colour);
    }
    HRESULT OnLostDevice() override { return D3D_OK; }
    HRESULT OnResetDevice() override { return D3D_OK; }
    HRESULT GetDevice(IDirect3DDevice9** device) override { return d3dx::HandOutDevice(device_, device); }
    INT LineHeight() override { return metrics_.height(); }

private:
    struct Cell {
        RECT rect;
        int advance = 0;
    };

    const Cell& Glyph(QChar c) {
        auto it = cells_.find(c.unicode());
        if (it != cells_.end())
            return it->second;
        const int w = std::max(1, metrics_.horizontalAdvance(c)) + 2, h = metrics_.height();
        if (penX_ + w > static_cast<int>(kAtlasSize)) {
            penX_ = 0;
            penY_ += h + 1;
        }
        Cell cell;
        cell.advance = metrics_.horizontalAdvance(c);
        if (penY_ + h > static_cast<int>(kAtlasSize)) {
            // Atlas full: the glyph is skipped but still advances the pen.
            cell.rect = RECT{0, 0, 0, 0};
            return cells_.emplace(c.unicode(), cell).first->second;
        }
        QPainter p(&image_);
        p.setFont(font_);
        p.setPen(Qt::white);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.drawText(penX_ + 1, penY_ + metrics_.ascent(), QString(c));
        p.end();
        cell.rect = RECT{penX_, penY_, penX_ + w, penY_ + h};
        penX_ += w + 1;
        dirty_ = true;
        return cells_.emplace(c.unicode(), cell).first->second;
    }

    void Upload() {
        if (!dirty_)
            return;
        D3DLOCKED_RECT lr;
        if (FAILED(atlas_->LockRect(0, &lr, nullptr, 0)))
            return;
        // White glyphs: the colour comes from the sprite, the coverage is the alpha.
        for (UINT y = 0; y < kAtlasSize; ++y) {
            const auto* src = reinterpret_cast<const QRgb*>(image_.constScanLine(static_cast<int>(y)));
            auto* dst = reinterpret_cast<DWORD*>(static_cast<BYTE*>(lr.pBits) +
                                                 static_cast<size_t>(y) * static_cast<size_t>(lr.Pitch));
            for (UINT x = 0; x < kAtlasSize; ++x)
                dst[x] = (static_cast<DWORD>(qAlpha(src[x])) << 24) | 0x00FFFFFFu;
        }
        atlas_->UnlockRect(0);
        dirty_ = false;
    }

    // Wide text (UTF-32 here) as UTF-16 in the reused buffer. What QString::fromWCharArray reads in a
    // way of its own (a leading byte-order mark, surrogates, values past U+10FFFF) goes through it.
    void ToUtf16(const wchar_t* text, size_t count) {
        utf16_.clear();
        for (size_t i = 0; i < count; ++i) {
            const auto c = static_cast<char32_t>(text[i]);
            if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF || (i == 0 && c == 0xFEFF)) {
                const QString s = QString::fromWCharArray(text, static_cast<qsizetype>(count));
                utf16_.assign(s.utf16(), s.utf16() + s.size());
                return;
            }
            if (c < 0x10000) {
                utf16_.push_back(static_cast<char16_t>(c));
            } else {
                utf16_.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
                utf16_.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
            }
        }
    }

    // The next line of the text from `at` (up to a line feed, or everything on a single line) and where
    // the one after it starts; carriage returns, and on a single line the line feeds, are left out.
    struct Line {
        std::u16string_view text;
        int width = 0;
    };
    Line NextLine(std::u16string_view text, size_t* at, bool singleLine) {
        const size_t start = *at;
        size_t end = singleLine ? text.size() : text.find(u'\n', start);
        if (end == std::u16string_view::npos)
            end = text.size();
        *at = end + 1;
        Line line{text.substr(start, end - start), 0};
        for (char16_t c : line.text)
            if (c != u'\r' && c != u'\n')
                line.width += cells_[c].advance;
        return line;
    }

    INT Draw(ID3DXSprite* sprite, std::u16string_view text, RECT* rect, DWORD format, D3DCOLOR colour) {
        for (char16_t c : text)
            if (c != u'\n' && c != u'\r')
                Glyph(QChar(c));
        Upload();
        // Lay out the lines: as many as the text has line feeds plus one (a single line: one).
        const bool singleLine = (format & DT_SINGLELINE) != 0;
        const int lineHeight = metrics_.height();
        int lineCount = 0;
        int width = 0;
        for (size_t at = 0; lineCount == 0 || at <= text.size(); ++lineCount)
            width = std::max(width, NextLine(text, &at, singleLine).width);
        const int height = lineHeight * lineCount;
        if (format & DT_CALCRECT) {
            rect->right = rect->left + width;
            rect->bottom = rect->top + height;
            return height;
        }
        int y = rect->top;
        if (format & DT_BOTTOM)
            y = rect->bottom - height;
        else if (format & DT_VCENTER)
            y = (rect->top + rect->bottom - height) / 2;
        ID3DXSprite* s = sprite;
        bool own = false;
        if (!s) {
            if (FAILED(D3DXCreateSprite(device_, &s)))
                return 0;
            own = true;
            s->Begin(D3DXSPRITE_ALPHABLEND | D3DXSPRITE_SORT_TEXTURE);
        }
        size_t at = 0;
        for (int l = 0; l < lineCount; ++l) {
            const Line line = NextLine(text, &at, singleLine);
            int x = rect->left;
            if (format & DT_RIGHT)
                x = rect->right - line.width;
            else if (format & DT_CENTER)
                x = (rect->left + rect->right - line.width) / 2;
            for (char16_t c : line.text) {
                if (c == u'\r' || c == u'\n')
                    continue;
                const Cell& cell = cells_[c];
                const bool inside =
                    (format & DT_NOCLIP) || (x >= rect->left && x + cell.advance <= rect->right &&
                                             y >= rect->top && y + lineHeight <= rect->bottom);
                if (inside && cell.rect.right > cell.rect.left) {
                    const D3DXVECTOR3 pos(static_cast<float>(x - 1), static_cast<float>(y), 0);
                    s->Draw(atlas_, &cell.rect, nullptr, &pos, colour);
                }
                x += cell.advance;
            }
            y += lineHeight;
        }
        if (own) {
            s->End();
            s->Release();
        }
        return height;
    }

    IDirect3DDevice9* device_;
    QFont font_;
    QFontMetrics metrics_;
    QImage image_;
    IDirect3DTexture9* atlas_ = nullptr;
    std::map<char16_t, Cell> cells_;
    std::vector<char16_t> utf16_; // the text being drawn, capacity kept
    int penX_ = 0, penY_ = 0;
    bool dirty_ = false;
};

} // namespace

HRESULT D3DXCreateSprite(IDirect3DDevice9* device, ID3DXSprite** sprite) {
    if (!device || !sprite)
        return D3DERR_INVALIDCALL;
    *sprite = new Sprite(device);
    return D3D_OK;
}

HRESULT D3DXCreateFontA(IDirect3DDevice9* device, INT height, UINT, UINT weight, UINT, BOOL italic, DWORD,
                        DWORD, DWORD, DWORD, const char* faceName, ID3DXFont** font) {
    if (!device || !font)
        return D3DERR_INVALIDCALL;
    *font = nullptr;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return D3DERR_NOTAVAILABLE;
    QString face = faceName ? QString::fromLatin1(faceName) : QString();
    if (face.isEmpty() || face.compare("Arial", Qt::CaseInsensitive) == 0)
        face = "Liberation Sans";
    QFont f(face);
    f.setPixelSize(std::max(1, height < 0 ? -height : (height == 0 ? 15 : height)));
    f.setWeight(weight >= 600 ? QFont::Bold : QFont::Normal);
    f.setItalic(italic);
    f.setStyleStrategy(QFont::PreferAntialias);
    auto* out = new Font(device, f);
    if (!out->Init()) {
        out->Release();
        return E_OUTOFMEMORY;
    }
    *font = out;
    return D3D_OK;
}

} // namespace orv
