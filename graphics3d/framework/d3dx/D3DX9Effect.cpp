#include "graphics3d/framework/d3dx/D3DX9Effect.h"

#include "graphics3d/framework/D3D9Resources.h"
#include "graphics3d/framework/DeviceBase.h"
#include "graphics3d/framework/GlDevice.h"
#include "graphics3d/framework/d3dx/D3DXInternal.h"
#include "graphics3d/framework/d3dx/EffectFile.h"

#include <QFile>
#include <QOpenGLFunctions_3_3_Core>
#include <QtGlobal>

#include <cstring>

namespace orv {

namespace {

struct PassProgram {
    unsigned id = 0;
    std::vector<int> locations; // per parameter
    std::vector<int> units;     // per parameter: texture unit, or -1
};

// The vertex stage with the effect's uniforms and shared code, ending in the layer's clip-space conversion.
std::string VertexSource(const std::string& uniforms, const std::string& shared, const std::string& code) {
    std::string body = code;
    AppendClipSpaceConversion(body);
    return "#version 330 core\n" + uniforms + shared + "\n#line 1\n" + body;
}

std::string PixelSource(const std::string& uniforms, const std::string& shared, const std::string& code) {
    return "#version 330 core\n" + uniforms + "out vec4 fragColour;\n" + shared + "\n#line 1\n" + code + "\n";
}

class Effect final : public ID3DXEffect {
public:
    Effect(IDirect3DDevice9* device, fx::Effect desc) : device_(device), desc_(std::move(desc)) {
        device_->AddRef();
        for (const auto& p : desc_.parameters) {
            Value v;
            v.data = p.defaults;
            v.data.resize(16, 0.0f);
            values_.push_back(v);
        }
        current_ = 0;
    }
    ~Effect() override {
        if (activePass_)
            d3dx::SetActivePass(device_, nullptr, nullptr);
        for (auto& v : values_)
            SafeRelease(v.texture);
        DeletePrograms();
        device_->Release();
    }

    // Compiles every pass on an OpenGL device; false with a message when one does not build.
    bool Compile(std::string* log) {
        auto* gl = dynamic_cast<GlDevice*>(device_);
        if (!gl)
            return true;
        if (!gl->MakeCurrent()) {
            *log = "no OpenGL context";
            return false;
        }
        std::string uniforms;
        for (const auto& p : desc_.parameters)
            uniforms += std::string("uniform ") + fx::GlslType(p.type) + " " + p.name + ";\n";
        for (size_t t = 0; t < desc_.techniques.size(); ++t) {
            programs_.emplace_back();
            for (const auto& pass : desc_.techniques[t].passes) {
                PassProgram prog;
                const std::string where = "technique " + desc_.techniques[t].name + ", pass " + pass.name;
                prog.id = Link(gl->Gl(), VertexSource(uniforms, desc_.shared, pass.vertexShader),
                               PixelSource(uniforms, desc_.shared, pass.pixelShader), where, log);
                if (!prog.id)
                    return false;
                int unit = 0;
                for (const auto& p : desc_.parameters) {
                    prog.locations.push_back(gl->Gl()->glGetUniformLocation(prog.id, p.name.c_str()));
                    const bool texture = p.type == fx::ParamType::Texture ||
                                         p.type == fx::ParamType::TextureCube ||
                                         p.type == fx::ParamType::Texture3D;
                    prog.units.push_back(texture ? unit++ : -1);
                }
                programs_.back().push_back(prog);
            }
        }
        return true;
    }

    D3DXHANDLE GetParameterByName(D3DXHANDLE parent, const char* name) override {
        if (parent || !name)
            return nullptr;
        const int i = ParamIndex(name);
        return i < 0 ? nullptr : desc_.parameters[static_cast<size_t>(i)].name.c_str();
    }
    D3DXHANDLE GetTechniqueByName(const char* name) override {
        const int i = TechniqueIndex(name);
        return i < 0 ? nullptr : desc_.techniques[static_cast<size_t>(i)].name.c_str();
    }
    D3DXHANDLE GetTechnique(UINT index) override {
        return index < desc_.techniques.size() ? desc_.techniques[index].name.c_str() : nullptr;
    }
    HRESULT SetTechnique(D3DXHANDLE technique) override {
        const int i = TechniqueIndex(technique);
        if (i < 0)
            return D3DERR_INVALIDCALL;
        current_ = static_cast<size_t>(i);
        return D3D_OK;
    }
    D3DXHANDLE GetCurrentTechnique() override { return desc_.techniques[current_].name.c_str(); }
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
        std::vector<float> f(bytes / 4);
        std::memcpy(f.data(), data, bytes);
        return SetFloats(parameter, f.data(), static_cast<int>(f.size()));
    }
    HRESULT SetTexture(D3DXHANDLE parameter, IDirect3DBaseTexture9* texture) override {
        const int i = ParamIndex(parameter);
        if (i < 0 || fx::ComponentCount(desc_.parameters[static_cast<size_t>(i)].type) != 0)
            return D3DERR_INVALIDCALL;
        auto& v = values_[static_cast<size_t>(i)];
        if (texture)
            texture->AddRef();
        SafeRelease(v.texture);
        v.texture = texture;
        return D3D_OK;
    }
    HRESULT GetTexture(D3DXHANDLE parameter, IDirect3DBaseTexture9** texture) override {
        const int i = ParamIndex(parameter);
        if (i < 0 || !texture)
            return D3DERR_INVALIDCALL;
        *texture = values_[static_cast<size_t>(i)].texture;
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
        activePass_ = true;
        d3dx::SetActivePass(device_, this, &Effect::DrawThunk);
        return D3D_OK;
    }
    HRESULT CommitChanges() override { return activePass_ ? D3D_OK : D3DERR_INVALIDCALL; }
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
        std::vector<float> data;
        IDirect3DBaseTexture9* texture = nullptr;
    };

    int ParamIndex(const char* name) const {
        if (!name)
            return -1;
        for (size_t i = 0; i < desc_.parameters.size(); ++i)
            if (desc_.parameters[i].name == name)
                return static_cast<int>(i);
        return -1;
    }
    int TechniqueIndex(const char* name) const {
        if (!name)
            return -1;
        for (size_t i = 0; i < desc_.techniques.size(); ++i)
            if (desc_.techniques[i].name == name)
                return static_cast<int>(i);
        return -1;
    }
    HRESULT SetFloats(D3DXHANDLE parameter, const float* data, int count) {
        const int i = ParamIndex(parameter);
        if (i < 0)
            return D3DERR_INVALIDCALL;
        const int n = fx::ComponentCount(desc_.parameters[static_cast<size_t>(i)].type);
        if (n == 0)
            return D3DERR_INVALIDCALL;
        auto& v = values_[static_cast<size_t>(i)].data;
        for (int k = 0; k < std::min(n, count); ++k)
            v[static_cast<size_t>(k)] = data[k];
        return D3D_OK;
    }
    HRESULT GetFloats(D3DXHANDLE parameter, float* data, int count) const {
        const int i = ParamIndex(parameter);
        if (i < 0)
            return D3DERR_INVALIDCALL;
        const auto& v = values_[static_cast<size_t>(i)].data;
        for (int k = 0; k < count; ++k)
            data[k] = v[static_cast<size_t>(k)];
        return D3D_OK;
    }

    // The first failing step's log, as the effect's compilation error.
    static unsigned Link(QOpenGLFunctions_3_3_Core* gl, const std::string& vs, const std::string& fs,
                         const std::string& where, std::string* log) {
        bool failed = false;
        return LinkGlProgram(gl, vs, fs, [&](const char* step, const char* text) {
            if (failed)
                return;
            failed = true;
            *log = where + ", " + step + ": " + text;
        });
    }

    void DeletePrograms() {
        auto* gl = dynamic_cast<GlDevice*>(device_);
        if (!gl || programs_.empty() || !gl->MakeCurrent())
            return;
        for (auto& t : programs_)
            for (auto& p : t)
                if (p.id)
                    gl->Gl()->glDeleteProgram(p.id);
        programs_.clear();
    }

    static HRESULT DrawThunk(void* self, IDirect3DDevice9* device, D3DPRIMITIVETYPE type, INT baseVertex,
                             UINT minIndex, UINT numVertices, UINT startIndex, UINT primitiveCount) {
        return static_cast<Effect*>(self)->Draw(device, type, baseVertex, minIndex, numVertices, startIndex,
                                                primitiveCount);
    }

    HRESULT Draw(IDirect3DDevice9* device, D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex,
                 UINT numVertices, UINT startIndex, UINT primitiveCount) {
        auto* gl = dynamic_cast<GlDevice*>(device);
        if (!gl || programs_.empty())
            return DrawWithoutPrograms(device, type, baseVertex, minIndex, numVertices, startIndex,
                                       primitiveCount);
        if (!gl->InScene() || !gl->IndexBuffer() || (!gl->Declaration() && !gl->Fvf()))
            return D3DERR_INVALIDCALL;
        if (primitiveCount == 0)
            return D3D_OK;
        auto* ib = dynamic_cast<IndexBuffer9*>(gl->IndexBuffer());
        const UINT indexSize = ib->Data()->format == D3DFMT_INDEX32 ? 4u : 2u;
        if ((static_cast<size_t>(startIndex) + VertexCountOf(type, primitiveCount)) * indexSize >
            ib->Data()->mem.size())
            return D3DERR_INVALIDCALL;
        if (!gl->MakeCurrent())
            return D3DERR_DRIVERINTERNALERROR;
        const PassProgram& prog = programs_[current_][passIndex_];
        DrawCall call;
        call.type = type;
        call.primitiveCount = primitiveCount;
        call.indexed = true;
        call.baseVertex = baseVertex;
        call.minIndex = minIndex;
        call.numVertices = numVertices;
        call.startIndex = startIndex;
        QOpenGLFunctions_3_3_Core* f = gl->Gl();
        gl->BindRenderTargets();
        gl->ApplyRenderState();
        if (!gl->BindVertexInput(call))
            return D3DERR_INVALIDCALL;
        f->glUseProgram(prog.id);
        for (size_t i = 0; i < desc_.parameters.size(); ++i) {
            const int loc = prog.locations[i];
            if (loc < 0)
                continue;
            const float* d = values_[i].data.data();
            switch (desc_.parameters[i].type) {
            case fx::ParamType::Float:
                f->glUniform1f(loc, d[0]);
                break;
            case fx::ParamType::Float2:
                f->glUniform2fv(loc, 1, d);
                break;
            case fx::ParamType::Float3:
                f->glUniform3fv(loc, 1, d);
                break;
            case fx::ParamType::Float4:
                f->glUniform4fv(loc, 1, d);
                break;
            case fx::ParamType::Float4x4:
                // Uploaded as stored: in GLSL, M * v then gives our row-vector product v * M.
                f->glUniformMatrix4fv(loc, 1, GL_FALSE, d);
                break;
            case fx::ParamType::Int:
            case fx::ParamType::Bool:
                f->glUniform1i(loc, static_cast<GLint>(d[0]));
                break;
            default:
                BindTexture(gl, prog.units[i], desc_.parameters[i], values_[i].texture, loc);
                break;
            }
        }
        gl->IssueDraw(call);
        f->glActiveTexture(GL_TEXTURE0);
        return D3D_OK;
    }

    // Without shader programs the effect's textures sit on their sampler stages for the draw only, so
    // the device sees what the pass samples and keeps its own bindings.
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
            device->SetTexture(units++, values_[i].texture);
        }
        const HRESULT hr =
            device->DrawIndexedPrimitive(type, baseVertex, minIndex, numVertices, startIndex, primitiveCount);
        for (DWORD u = 0; u < units; ++u) {
            device->SetTexture(u, saved[u]);
            SafeRelease(saved[u]);
        }
        return hr;
    }

    void BindTexture(GlDevice* gl, int unit, const fx::Parameter& p, IDirect3DBaseTexture9* texture,
                     int loc) const {
        QOpenGLFunctions_3_3_Core* f = gl->Gl();
        const GLenum target = p.type == fx::ParamType::TextureCube ? GL_TEXTURE_CUBE_MAP
                              : p.type == fx::ParamType::Texture3D ? GL_TEXTURE_3D
                                                                   : GL_TEXTURE_2D;
        f->glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        const TextureData* t = TextureDataOf(texture);
        f->glBindTexture(target, t ? t->glName : 0);
        f->glUniform1i(loc, unit);
        if (!t)
            return;
        // States the file leaves out are the device's for that sampler.
        auto state = [&](D3DSAMPLERSTATETYPE s) {
            auto it = p.sampler.find(s);
            if (it != p.sampler.end())
                return it->second;
            DWORD value = 0;
            device_->GetSamplerState(static_cast<DWORD>(unit), s, &value);
            return value;
        };
        SetGlSamplerParameters(f, target,
                               {state(D3DSAMP_ADDRESSU), state(D3DSAMP_ADDRESSV), state(D3DSAMP_ADDRESSW),
                                state(D3DSAMP_MAGFILTER), state(D3DSAMP_MINFILTER), state(D3DSAMP_MIPFILTER)},
                               t->levels);
    }

    IDirect3DDevice9* device_;
    fx::Effect desc_;
    std::vector<Value> values_;
    std::vector<std::vector<PassProgram>> programs_;
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
