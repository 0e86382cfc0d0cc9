#include "graphics3d/framework/d3dx/D3DX9Effect.h"

#include "graphics3d/framework/D3D9Resources.h"
#include "graphics3d/framework/DeviceBase.h"
#include "graphics3d/framework/GlDevice.h"
#include "graphics3d/framework/d3dx/D3DXInternal.h"
#include "graphics3d/framework/d3dx/EffectFile.h"

#include <QFile>
#include <QtGlobal>

#include <array>
#include <cstring>
#include <memory>

namespace orv {

namespace {

// The vertex stage with the effect's uniforms and shared code, ending in the layer's clip-space conversion.
std::string VertexSource(const std::string& uniforms, const std::string& shared, const std::string& code) {
    std::string body = code;
    AppendClipSpaceConversion(body);
    return "#version 330 core\n" + uniforms + shared + "\n#line 1\n" + body;
}

std::string PixelSource(const std::string& uniforms, const std::string& shared, const std::string& code) {
    return "#version 330 core\n" + uniforms + "out vec4 fragColour;\n" + shared + "\n#line 1\n" + code + "\n";
}

ProgramValueType ValueTypeOf(fx::ParamType t) {
    switch (t) {
    case fx::ParamType::Float:
        return ProgramValueType::Float;
    case fx::ParamType::Float2:
        return ProgramValueType::Float2;
    case fx::ParamType::Float3:
        return ProgramValueType::Float3;
    case fx::ParamType::Float4:
        return ProgramValueType::Float4;
    case fx::ParamType::Float4x4:
        return ProgramValueType::Float4x4;
    case fx::ParamType::Int:
        return ProgramValueType::Int;
    case fx::ParamType::Bool:
        return ProgramValueType::Bool;
    case fx::ParamType::Texture:
        return ProgramValueType::Texture;
    case fx::ParamType::TextureCube:
        return ProgramValueType::TextureCube;
    case fx::ParamType::Texture3D:
        return ProgramValueType::Texture3D;
    }
    return ProgramValueType::Float;
}

class Effect final : public ID3DXEffect {
public:
    Effect(IDirect3DDevice9* device, fx::Effect desc)
        : device_(device), base_(dynamic_cast<DeviceBase*>(device)), desc_(std::move(desc)) {
        device_->AddRef();
        const size_t n = desc_.parameters.size();
        pending_.resize(n);
        committed_.resize(n);
        drawValues_.resize(n);
        dirty_.assign(n, false);
        committedOwned_.assign(n, false);
        for (size_t i = 0; i < n; ++i) {
            const auto& d = desc_.parameters[i].defaults;
            std::copy(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(d.size(), 16)),
                      pending_[i].data.begin());
            committed_[i] = pending_[i];
            drawValues_[i] = {committed_[i].data.data(), nullptr, 1};
        }
        // Handles are pointers into one block of names: a handle finds its parameter without a search.
        for (const auto& p : desc_.parameters) {
            nameStarts_.push_back(names_.size());
            names_ += p.name;
            names_ += '\0';
        }
        for (const auto& t : desc_.techniques) {
            techniqueStarts_.push_back(names_.size());
            names_ += t.name;
            names_ += '\0';
        }
        indexAt_.assign(names_.size(), -1);
        for (size_t i = 0; i < nameStarts_.size(); ++i)
            indexAt_[nameStarts_[i]] = static_cast<int>(i);
        for (size_t i = 0; i < techniqueStarts_.size(); ++i)
            indexAt_[techniqueStarts_[i]] = static_cast<int>(i);
    }
    ~Effect() override {
        if (activePass_)
            d3dx::SetActivePass(device_, nullptr, nullptr);
        for (size_t i = 0; i < pending_.size(); ++i) {
            SafeRelease(pending_[i].texture);
            if (committedOwned_[i])
                SafeRelease(committed_[i].texture);
        }
        {
            // The programs go while the device they were made on still lives.
            auto programs = std::move(programs_);
        }
        device_->Release();
    }

    // Makes every pass's program on a device that draws with programs; false with a message when one
    // does not build.
    bool Compile(std::string* log) {
        auto* base = dynamic_cast<DeviceBase*>(device_);
        if (!base || !base->DrawsWithPrograms())
            return true;
        std::string uniforms;
        std::vector<ProgramParameter> parameters;
        for (const auto& p : desc_.parameters) {
            uniforms += std::string("uniform ") + fx::GlslType(p.type) + " " + p.name + ";\n";
            ProgramParameter pp;
            pp.name = p.name;
            pp.type = ValueTypeOf(p.type);
            static constexpr D3DSAMPLERSTATETYPE kStates[6] = {D3DSAMP_ADDRESSU,  D3DSAMP_ADDRESSV,
                                                               D3DSAMP_ADDRESSW,  D3DSAMP_MAGFILTER,
                                                               D3DSAMP_MINFILTER, D3DSAMP_MIPFILTER};
            for (size_t k = 0; k < 6; ++k) {
                auto it = p.sampler.find(kStates[k]);
                if (it != p.sampler.end()) {
                    pp.sampler[k] = it->second;
                    pp.samplerFixed[k] = true;
                }
            }
            parameters.push_back(pp);
        }
        for (const auto& technique : desc_.techniques) {
            programs_.emplace_back();
            for (const auto& pass : technique.passes) {
                ProgramSource source;
                source.vertexShader = VertexSource(uniforms, desc_.shared, pass.vertexShader);
                source.pixelShader = PixelSource(uniforms, desc_.shared, pass.pixelShader);
                source.parameters = parameters;
                std::string why;
                std::unique_ptr<BackEndProgram> program = base->CreateProgram(source, &why);
                if (!program) {
                    *log = "technique " + technique.name + ", pass " + pass.name + ", " + why;
                    return false;
                }
                programs_.back().push_back(std::move(program));
            }
        }
        return true;
    }

    D3DXHANDLE GetParameterByName(D3DXHANDLE parent, const char* name) override {
        if (parent || !name)
            return nullptr;
        const int i = ParamIndex(name);
        return i < 0 ? nullptr : names_.c_str() + nameStarts_[static_cast<size_t>(i)];
    }
    D3DXHANDLE GetTechniqueByName(const char* name) override {
        const int i = TechniqueIndex(name);
        return i < 0 ? nullptr : names_.c_str() + techniqueStarts_[static_cast<size_t>(i)];
    }
    D3DXHANDLE GetTechnique(UINT index) override {
        return index < desc_.techniques.size() ? names_.c_str() + techniqueStarts_[index] : nullptr;
    }
    HRESULT SetTechnique(D3DXHANDLE technique) override {
        const int i = TechniqueIndex(technique);
        if (i < 0)
            return D3DERR_INVALIDCALL;
        current_ = static_cast<size_t>(i);
        return D3D_OK;
    }
    D3DXHANDLE GetCurrentTechnique() override { return names_.c_str() + techniqueStarts_[current_]; }
    HRESULT ValidateTechnique(D3DXHANDLE technique) override {
        return TechniqueIndex(technique) < 0 ? D3DERR_INVALIDCALL : D3D_OK;
    }

    HRESULT SetMatrix(D3DXHANDLE parameter, const D3DXMATRIX* matrix) override {
        return matrix ? SetFloats(parameter, &matrix->m[0][0], 16) : D3DERR_INVALIDCALL;
    }
    HRESULT GetMatrix(D3DXHANDLE parameter, D3DXMATRIX* matrix) override {
        return matrix ? GetFloats(parameter, &matrix->m[0][0], 16) : D3DERR_INVALIDCALL;
    }
    HRESULT SetVector(D3DXHANDLE parameter, const D3DXVECTOR4* vector) override {
        return vector ? SetFloats(parameter, &vector->x, 4) : D3DERR_INVALIDCALL;
    }
    HRESULT GetVector(D3DXHANDLE parameter, D3DXVECTOR4* vector) override {
        return vector ? GetFloats(parameter, &vector->x, 4) : D3DERR_INVALIDCALL;
    }
    HRESULT SetFloat(D3DXHANDLE parameter, float value) override { return SetFloats(parameter, &value, 1); }
    HRESULT GetFloat(D3DXHANDLE parameter, float* value) override {
        return value ? GetFloats(parameter, value, 1) : D3DERR_INVALIDCALL;
    }
    HRESULT SetInt(D3DXHANDLE parameter, INT value) override {
        const float f = static_cast<float>(value);
        return SetFloats(parameter, &f, 1);
    }
    HRESULT SetBool(D3DXHANDLE parameter, BOOL value) override {
        const float f = value ? 1.0f : 0.0f;
        return SetFloats(parameter, &f, 1);
    }
    HRESULT SetValue(D3DXHANDLE parameter, const void* data, UINT bytes) override {
        if (!data || bytes % 4 != 0)
            return D3DERR_INVALIDCALL;
        std::array<float, 16> f{};
        const UINT n = std::min<UINT>(bytes / 4, 16);
        std::memcpy(f.data(), data, n * 4);
        return SetFloats(parameter, f.data(), static_cast<int>(n));
    }
    HRESULT SetTexture(D3DXHANDLE parameter, IDirect3DBaseTexture9* texture) override {
        const int i = ParamIndex(parameter);
        if (i < 0 || fx::ComponentCount(desc_.parameters[static_cast<size_t>(i)].type) != 0)
            return D3DERR_INVALIDCALL;
        const auto k = static_cast<size_t>(i);
        if (texture)
            texture->AddRef();
        IDirect3DBaseTexture9* old = pending_[k].texture;
        pending_[k].texture = texture;
        // Draws of the pass may still use the old one until the change is committed.
        if (old && old == committed_[k].texture && !committedOwned_[k])
            committedOwned_[k] = true;
        else
            SafeRelease(old);
        Changed(k);
        return D3D_OK;
    }
    HRESULT GetTexture(D3DXHANDLE parameter, IDirect3DBaseTexture9** texture) override {
        const int i = ParamIndex(parameter);
        if (i < 0 || !texture)
            return D3DERR_INVALIDCALL;
        *texture = pending_[static_cast<size_t>(i)].texture;
        if (*texture)
            (*texture)->AddRef();
        return D3D_OK;
    }

    HRESULT Begin(UINT* passes, DWORD flags) override {
        if (begun_)
            return D3DERR_INVALIDCALL;
        begun_ = true;
        saveState_ = !(flags & D3DXFX_DONOTSAVESTATE);
        saved_.clear();
        if (saveState_)
            for (const auto& pass : desc_.techniques[current_].passes)
                for (const auto& [state, value] : pass.states) {
                    DWORD old = 0;
                    if (SUCCEEDED(device_->GetRenderState(state, &old)))
                        saved_.push_back({state, old});
                }
        if (passes)
            *passes = static_cast<UINT>(desc_.techniques[current_].passes.size());
        return D3D_OK;
    }
    HRESULT BeginPass(UINT pass) override {
        if (!begun_ || activePass_ || pass >= desc_.techniques[current_].passes.size())
            return D3DERR_INVALIDCALL;
        passIndex_ = pass;
        for (const auto& [state, value] : desc_.techniques[current_].passes[pass].states)
            device_->SetRenderState(state, value);
        Commit();
        activePass_ = true;
        d3dx::SetActivePass(device_, this, &Effect::DrawThunk);
        return D3D_OK;
    }
    // Values set inside a pass reach its draws from here on.
    HRESULT CommitChanges() override {
        if (!activePass_)
            return D3DERR_INVALIDCALL;
        Commit();
        return D3D_OK;
    }
    HRESULT EndPass() override {
        if (!activePass_)
            return D3DERR_INVALIDCALL;
        activePass_ = false;
        d3dx::SetActivePass(device_, nullptr, nullptr);
        return D3D_OK;
    }
    HRESULT End() override {
        if (!begun_)
            return D3DERR_INVALIDCALL;
        if (activePass_)
            EndPass();
        begun_ = false;
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            device_->SetRenderState(it->first, it->second);
        saved_.clear();
        return D3D_OK;
    }

    HRESULT GetDevice(IDirect3DDevice9** device) override { return d3dx::HandOutDevice(device_, device); }
    // Programs and parameters live in the device's context, which a reset keeps.
    HRESULT OnLostDevice() override { return D3D_OK; }
    HRESULT OnResetDevice() override { return D3D_OK; }

private:
    struct Value {
        std::array<float, 16> data{};
        IDirect3DBaseTexture9* texture = nullptr;
    };

    // A handle this effect gave out, or else a name.
    int LookUp(const char* name, const std::vector<size_t>& starts) const {
        if (!name)
            return -1;
        const char* base = names_.c_str();
        if (name >= base && name < base + names_.size()) {
            const size_t at = static_cast<size_t>(name - base);
            const int i = indexAt_[at];
            return i >= 0 && static_cast<size_t>(i) < starts.size() && starts[static_cast<size_t>(i)] == at
                       ? i
                       : -1;
        }
        for (size_t i = 0; i < starts.size(); ++i)
            if (std::strcmp(base + starts[i], name) == 0)
                return static_cast<int>(i);
        return -1;
    }
    int ParamIndex(const char* name) const { return LookUp(name, nameStarts_); }
    int TechniqueIndex(const char* name) const { return LookUp(name, techniqueStarts_); }

    HRESULT SetFloats(D3DXHANDLE parameter, const float* data, int count) {
        const int i = ParamIndex(parameter);
        if (i < 0)
            return D3DERR_INVALIDCALL;
        const int n = fx::ComponentCount(desc_.parameters[static_cast<size_t>(i)].type);
        if (n == 0)
            return D3DERR_INVALIDCALL;
        auto& v = pending_[static_cast<size_t>(i)].data;
        for (int k = 0; k < std::min(n, count); ++k)
            v[static_cast<size_t>(k)] = data[k];
        Changed(static_cast<size_t>(i));
        return D3D_OK;
    }
    HRESULT GetFloats(D3DXHANDLE parameter, float* data, int count) const {
        const int i = ParamIndex(parameter);
        if (i < 0)
            return D3DERR_INVALIDCALL;
        const auto& v = pending_[static_cast<size_t>(i)].data;
        for (int k = 0; k < std::min(count, 16); ++k)
            data[k] = v[static_cast<size_t>(k)];
        return D3D_OK;
    }

    // Outside a pass no draw can tell a pending value from a committed one, so it is committed at once
    // (and a texture let go of is let go of at once, as resets need).
    void Changed(size_t i) {
        dirty_[i] = true;
        if (!activePass_)
            Commit(i);
    }

    // Pending values become what draws use; a value that did not change keeps its version, so the
    // back end does not send it again.
    void Commit() {
        for (size_t i = 0; i < pending_.size(); ++i)
            Commit(i);
    }
    void Commit(size_t i) {
        if (!dirty_[i])
            return;
        dirty_[i] = false;
        Value& now = committed_[i];
        const Value& next = pending_[i];
        if (now.data == next.data && now.texture == next.texture)
            return;
        now.data = next.data;
        if (committedOwned_[i]) {
            SafeRelease(now.texture);
            committedOwned_[i] = false;
        }
        now.texture = next.texture; // the pending value's reference serves both
        drawValues_[i].texture = now.texture;
        ++drawValues_[i].version;
    }

    static HRESULT DrawThunk(void* self, IDirect3DDevice9* device, D3DPRIMITIVETYPE type, INT baseVertex,
                             UINT minIndex, UINT numVertices, UINT startIndex, UINT primitiveCount) {
        return static_cast<Effect*>(self)->Draw(device, type, baseVertex, minIndex, numVertices, startIndex,
                                                primitiveCount);
    }

    HRESULT Draw(IDirect3DDevice9* device, D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex,
                 UINT numVertices, UINT startIndex, UINT primitiveCount) {
        DeviceBase* base = device == device_ ? base_ : dynamic_cast<DeviceBase*>(device);
        if (!base || programs_.empty())
            return DrawWithoutPrograms(device, type, baseVertex, minIndex, numVertices, startIndex,
                                       primitiveCount);
        const ProgramDraw draw{programs_[current_][passIndex_].get(), drawValues_.data()};
        return base->DrawIndexedWithProgram(draw, type, baseVertex, minIndex, numVertices, startIndex,
                                            primitiveCount);
    }

    // Without programs the effect's textures sit on their sampler stages for the draw only, so the
    // device sees what the pass samples and keeps its own bindings.
    HRESULT DrawWithoutPrograms(IDirect3DDevice9* device, D3DPRIMITIVETYPE type, INT baseVertex,
                                UINT minIndex, UINT numVertices, UINT startIndex, UINT primitiveCount) {
        auto* base = dynamic_cast<DeviceBase*>(device);
        if (!base)
            return device->DrawIndexedPrimitive(type, baseVertex, minIndex, numVertices, startIndex,
                                                primitiveCount);
        constexpr DWORD kStages = 8;
        IDirect3DBaseTexture9* saved[kStages] = {};
        DWORD units = 0;
        for (size_t i = 0; i < desc_.parameters.size() && units < kStages; ++i) {
            if (fx::ComponentCount(desc_.parameters[i].type) != 0)
                continue;
            saved[units] = base->BoundTexture(units);
            if (saved[units])
                saved[units]->AddRef();
            device->SetTexture(units++, committed_[i].texture);
        }
        const HRESULT hr =
            device->DrawIndexedPrimitive(type, baseVertex, minIndex, numVertices, startIndex, primitiveCount);
        for (DWORD u = 0; u < units; ++u) {
            device->SetTexture(u, saved[u]);
            SafeRelease(saved[u]);
        }
        return hr;
    }

    IDirect3DDevice9* device_;
    DeviceBase* base_; // the same device, when it is one of ours
    fx::Effect desc_;
    // What Set* wrote, and what draws see since the last BeginPass or CommitChanges.
    std::vector<Value> pending_, committed_;
    std::vector<bool> dirty_;
    // A committed texture holds a reference of its own only while a pass has not yet taken the new one.
    std::vector<bool> committedOwned_;
    std::vector<ProgramValue> drawValues_;
    std::string names_;
    std::vector<size_t> nameStarts_, techniqueStarts_;
    std::vector<int> indexAt_;
    std::vector<std::vector<std::unique_ptr<BackEndProgram>>> programs_;
    size_t current_ = 0;
    UINT passIndex_ = 0;
    bool begun_ = false, activePass_ = false, saveState_ = true;
    std::vector<std::pair<D3DRENDERSTATETYPE, DWORD>> saved_;
};

HRESULT Fail(HRESULT code, const std::string& message, const QString& source, ID3DXBuffer** errors) {
    qWarning("effect %s: %s", qPrintable(source), message.c_str());
    if (errors) {
        D3DXCreateBuffer(static_cast<DWORD>(message.size() + 1), errors);
        std::memcpy((*errors)->GetBufferPointer(), message.c_str(), message.size() + 1);
    }
    return code;
}

HRESULT Create(IDirect3DDevice9* device, const std::string& text, const QString& source, ID3DXEffect** effect,
               ID3DXBuffer** errors) {
    fx::Effect desc;
    std::string error;
    if (!fx::Parse(text, &desc, &error))
        return Fail(D3DXERR_INVALIDDATA, error, source, errors);
    auto* e = new Effect(device, std::move(desc));
    if (!e->Compile(&error)) {
        e->Release();
        return Fail(D3DXERR_INVALIDDATA, error, source, errors);
    }
    *effect = e;
    return D3D_OK;
}

} // namespace

HRESULT D3DXCreateEffect(IDirect3DDevice9* device, const void* data, UINT length, const D3DXMACRO*,
                         ID3DXInclude*, DWORD, ID3DXEffectPool*, ID3DXEffect** effect,
                         ID3DXBuffer** compilationErrors) {
    if (compilationErrors)
        *compilationErrors = nullptr;
    if (!device || !data || !effect)
        return D3DERR_INVALIDCALL;
    *effect = nullptr;
    return Create(device, std::string(static_cast<const char*>(data), length), "(memory)", effect,
                  compilationErrors);
}

HRESULT D3DXCreateEffectFromFileW(IDirect3DDevice9* device, const wchar_t* fileName, const D3DXMACRO*,
                                  ID3DXInclude*, DWORD, ID3DXEffectPool*, ID3DXEffect** effect,
                                  ID3DXBuffer** compilationErrors) {
    if (compilationErrors)
        *compilationErrors = nullptr;
    if (!device || !fileName || !effect)
        return D3DERR_INVALIDCALL;
    *effect = nullptr;
    const QString path = d3dx::FromWide(fileName).replace('\\', '/');
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return Fail(D3DERR_NOTFOUND, "cannot open the file", path, compilationErrors);
    const QByteArray bytes = f.readAll();
    return Create(device, bytes.toStdString(), path, effect, compilationErrors);
}

} // namespace orv
