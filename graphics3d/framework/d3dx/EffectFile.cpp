#include "graphics3d/framework/d3dx/EffectFile.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>

namespace orv::fx {

namespace {

enum class Tok { End, Ident, Number, Punct, Code };

struct Token {
    Tok kind = Tok::End;
    std::string text;
    int line = 1;
};

class Lexer {
public:
    explicit Lexer(const std::string& s) : s_(s) {}

    bool Next(Token* t, std::string* error) {
        SkipSpace();
        t->line = line_;
        t->text.clear();
        if (pos_ >= s_.size()) {
            t->kind = Tok::End;
            return true;
        }
        const char c = s_[pos_];
        if (s_.compare(pos_, 3, "<<<") == 0) {
            const size_t end = s_.find(">>>", pos_ + 3);
            if (end == std::string::npos) {
                *error = "line " + std::to_string(line_) + ": code block without \">>>\"";
                return false;
            }
            t->kind = Tok::Code;
            t->text = s_.substr(pos_ + 3, end - pos_ - 3);
            line_ += static_cast<int>(std::count(t->text.begin(), t->text.end(), '\n'));
            pos_ = end + 3;
            return true;
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t e = pos_;
            while (e < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[e])) || s_[e] == '_'))
                ++e;
            t->kind = Tok::Ident;
            t->text = s_.substr(pos_, e - pos_);
            pos_ = e;
            return true;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.') {
            size_t e = pos_ + 1;
            while (e < s_.size() &&
                   (std::isalnum(static_cast<unsigned char>(s_[e])) || s_[e] == '.' ||
                    ((s_[e] == '-' || s_[e] == '+') && (s_[e - 1] == 'e' || s_[e - 1] == 'E'))))
                ++e;
            t->kind = Tok::Number;
            t->text = s_.substr(pos_, e - pos_);
            pos_ = e;
            return true;
        }
        if (std::string("{};=,|").find(c) != std::string::npos) {
            t->kind = Tok::Punct;
            t->text = std::string(1, c);
            ++pos_;
            return true;
        }
        *error = "line " + std::to_string(line_) + ": unexpected character '" + std::string(1, c) + "'";
        return false;
    }

private:
    void SkipSpace() {
        for (;;) {
            while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) {
                if (s_[pos_] == '\n')
                    ++line_;
                ++pos_;
            }
            if (s_.compare(pos_, 2, "//") == 0) {
                while (pos_ < s_.size() && s_[pos_] != '\n')
                    ++pos_;
                continue;
            }
            if (s_.compare(pos_, 2, "/*") == 0) {
                const size_t end = s_.find("*/", pos_ + 2);
                const size_t stop = end == std::string::npos ? s_.size() : end + 2;
                line_ += static_cast<int>(std::count(s_.begin() + static_cast<long>(pos_),
                                                     s_.begin() + static_cast<long>(stop), '\n'));
                pos_ = stop;
                continue;
            }
            return;
        }
    }

    const std::string& s_;
    size_t pos_ = 0;
    int line_ = 1;
};

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

enum class ValueKind { Bool, Number, Cull, Compare, StencilOp, Blend, BlendOp, Fill, ColourMask };

struct StateInfo {
    const char* name;
    D3DRENDERSTATETYPE state;
    ValueKind kind;
};

const StateInfo kStates[] = {
    {"zenable", D3DRS_ZENABLE, ValueKind::Bool},
    {"zwriteenable", D3DRS_ZWRITEENABLE, ValueKind::Bool},
    {"zfunc", D3DRS_ZFUNC, ValueKind::Compare},
    {"cullmode", D3DRS_CULLMODE, ValueKind::Cull},
    {"fillmode", D3DRS_FILLMODE, ValueKind::Fill},
    {"alphablendenable", D3DRS_ALPHABLENDENABLE, ValueKind::Bool},
    {"srcblend", D3DRS_SRCBLEND, ValueKind::Blend},
    {"destblend", D3DRS_DESTBLEND, ValueKind::Blend},
    {"blendop", D3DRS_BLENDOP, ValueKind::BlendOp},
    {"separatealphablendenable", D3DRS_SEPARATEALPHABLENDENABLE, ValueKind::Bool},
    {"srcblendalpha", D3DRS_SRCBLENDALPHA, ValueKind::Blend},
    {"destblendalpha", D3DRS_DESTBLENDALPHA, ValueKind::Blend},
    {"blendopalpha", D3DRS_BLENDOPALPHA, ValueKind::BlendOp},
    {"alphatestenable", D3DRS_ALPHATESTENABLE, ValueKind::Bool},
    {"alpharef", D3DRS_ALPHAREF, ValueKind::Number},
    {"alphafunc", D3DRS_ALPHAFUNC, ValueKind::Compare},
    {"stencilenable", D3DRS_STENCILENABLE, ValueKind::Bool},
    {"stencilfunc", D3DRS_STENCILFUNC, ValueKind::Compare},
    {"stencilref", D3DRS_STENCILREF, ValueKind::Number},
    {"stencilmask", D3DRS_STENCILMASK, ValueKind::Number},
    {"stencilwritemask", D3DRS_STENCILWRITEMASK, ValueKind::Number},
    {"stencilfail", D3DRS_STENCILFAIL, ValueKind::StencilOp},
    {"stencilzfail", D3DRS_STENCILZFAIL, ValueKind::StencilOp},
    {"stencilpass", D3DRS_STENCILPASS, ValueKind::StencilOp},
    {"twosidedstencilmode", D3DRS_TWOSIDEDSTENCILMODE, ValueKind::Bool},
    {"ccw_stencilfunc", D3DRS_CCW_STENCILFUNC, ValueKind::Compare},
    {"ccw_stencilfail", D3DRS_CCW_STENCILFAIL, ValueKind::StencilOp},
    {"ccw_stencilzfail", D3DRS_CCW_STENCILZFAIL, ValueKind::StencilOp},
    {"ccw_stencilpass", D3DRS_CCW_STENCILPASS, ValueKind::StencilOp},
    {"colorwriteenable", D3DRS_COLORWRITEENABLE, ValueKind::ColourMask},
    {"scissortestenable", D3DRS_SCISSORTESTENABLE, ValueKind::Bool},
};

bool ParseUnsigned(const std::string& t, DWORD* out) {
    if (t.empty())
        return false;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(t.c_str(), &end, 0);
    if (*end != '\0' || v > 0xFFFFFFFFull)
        return false;
    *out = static_cast<DWORD>(v);
    return true;
}

bool StateValue(ValueKind kind, const Token& t, DWORD* out) {
    if (t.kind == Tok::Number)
        return ParseUnsigned(t.text, out);
    if (t.kind != Tok::Ident)
        return false;
    const std::string v = Lower(t.text);
    auto pick = [&](std::initializer_list<std::pair<const char*, DWORD>> table) {
        for (const auto& [n, val] : table)
            if (v == n) {
                *out = val;
                return true;
            }
        return false;
    };
    switch (kind) {
    case ValueKind::Bool:
        return pick({{"true", 1}, {"false", 0}});
    case ValueKind::Number:
        return false;
    case ValueKind::Cull:
        return pick({{"none", D3DCULL_NONE}, {"cw", D3DCULL_CW}, {"ccw", D3DCULL_CCW}});
    case ValueKind::Fill:
        return pick({{"point", D3DFILL_POINT}, {"wireframe", D3DFILL_WIREFRAME}, {"solid", D3DFILL_SOLID}});
    case ValueKind::Compare:
        return pick({{"never", D3DCMP_NEVER},
                     {"less", D3DCMP_LESS},
                     {"equal", D3DCMP_EQUAL},
                     {"lessequal", D3DCMP_LESSEQUAL},
                     {"greater", D3DCMP_GREATER},
                     {"notequal", D3DCMP_NOTEQUAL},
                     {"greaterequal", D3DCMP_GREATEREQUAL},
                     {"always", D3DCMP_ALWAYS}});
    case ValueKind::StencilOp:
        return pick({{"keep", D3DSTENCILOP_KEEP},
                     {"zero", D3DSTENCILOP_ZERO},
                     {"replace", D3DSTENCILOP_REPLACE},
                     {"incrsat", D3DSTENCILOP_INCRSAT},
                     {"decrsat", D3DSTENCILOP_DECRSAT},
                     {"invert", D3DSTENCILOP_INVERT},
                     {"incr", D3DSTENCILOP_INCR},
                     {"decr", D3DSTENCILOP_DECR}});
    case ValueKind::Blend:
        return pick({{"zero", D3DBLEND_ZERO},
                     {"one", D3DBLEND_ONE},
                     {"srccolor", D3DBLEND_SRCCOLOR},
                     {"invsrccolor", D3DBLEND_INVSRCCOLOR},
                     {"srcalpha", D3DBLEND_SRCALPHA},
                     {"invsrcalpha", D3DBLEND_INVSRCALPHA},
                     {"destalpha", D3DBLEND_DESTALPHA},
                     {"invdestalpha", D3DBLEND_INVDESTALPHA},
                     {"destcolor", D3DBLEND_DESTCOLOR},
                     {"invdestcolor", D3DBLEND_INVDESTCOLOR},
                     {"srcalphasat", D3DBLEND_SRCALPHASAT}});
    case ValueKind::BlendOp:
        return pick({{"add", D3DBLENDOP_ADD},
                     {"subtract", D3DBLENDOP_SUBTRACT},
                     {"revsubtract", D3DBLENDOP_REVSUBTRACT},
                     {"min", D3DBLENDOP_MIN},
                     {"max", D3DBLENDOP_MAX}});
    case ValueKind::ColourMask:
        return pick({{"none", 0}, {"all", 0xF}, {"red", 1}, {"green", 2}, {"blue", 4}, {"alpha", 8}});
    }
    return false;
}

bool TypeOf(const std::string& t, ParamType* out) {
    static const std::pair<const char*, ParamType> kTypes[] = {
        {"float", ParamType::Float},        {"float2", ParamType::Float2},
        {"float3", ParamType::Float3},      {"float4", ParamType::Float4},
        {"float4x4", ParamType::Float4x4},  {"int", ParamType::Int},
        {"bool", ParamType::Bool},          {"texture", ParamType::Texture},
        {"texture2D", ParamType::Texture},  {"textureCube", ParamType::TextureCube},
        {"texture3D", ParamType::Texture3D}};
    for (const auto& [n, type] : kTypes)
        if (t == n) {
            *out = type;
            return true;
        }
    return false;
}

class Parser {
public:
    Parser(const std::string& text, Effect* out, std::string* error) : lex_(text), out_(out), error_(error) {}

    bool Run() {
        if (!Advance())
            return false;
        while (cur_.kind != Tok::End) {
            if (cur_.kind != Tok::Ident)
                return Fail("expected a declaration");
            ParamType type;
            if (cur_.text == "technique") {
                if (!Technique())
                    return false;
            } else if (cur_.text == "shared") {
                if (!Advance() || cur_.kind != Tok::Code)
                    return Fail("expected <<< code >>> after shared");
                out_->shared += cur_.text + "\n";
                if (!Advance() || !Optional(";"))
                    return false;
            } else if (TypeOf(cur_.text, &type)) {
                if (!ParameterDecl(type))
                    return false;
            } else {
                return Fail("unknown declaration \"" + cur_.text + "\"");
            }
        }
        if (out_->techniques.empty())
            return Fail("no technique");
        return true;
    }

private:
    bool Advance() { return lex_.Next(&cur_, error_); }
    bool Fail(const std::string& what) {
        if (error_->empty())
            *error_ = "line " + std::to_string(cur_.line) + ": " + what;
        return false;
    }
    bool Is(const char* punct) const { return cur_.kind == Tok::Punct && cur_.text == punct; }
    bool Expect(const char* punct) {
        if (!Is(punct))
            return Fail(std::string("expected \"") + punct + "\"");
        return Advance();
    }
    bool Optional(const char* punct) { return Is(punct) ? Advance() : true; }
    bool Name(std::string* out) {
        if (cur_.kind != Tok::Ident)
            return Fail("expected a name");
        *out = cur_.text;
        return Advance();
    }
    bool Number(float* out) {
        if (cur_.kind == Tok::Ident && (cur_.text == "true" || cur_.text == "false")) {
            *out = cur_.text == "true" ? 1.0f : 0.0f;
            return Advance();
        }
        if (cur_.kind != Tok::Number)
            return Fail("expected a number");
        std::string t = cur_.text;
        if (!t.empty() && (t.back() == 'f' || t.back() == 'F'))
            t.pop_back();
        char* end = nullptr;
        const float v = std::strtof(t.c_str(), &end);
        if (t.empty() || *end != '\0')
            return Fail("bad number \"" + cur_.text + "\"");
        *out = v;
        return Advance();
    }

    bool ParameterDecl(ParamType type) {
        Parameter p;
        p.type = type;
        if (!Advance() || !Name(&p.name))
            return false;
        for (const auto& q : out_->parameters)
            if (q.name == p.name)
                return Fail("parameter \"" + p.name + "\" declared twice");
        p.defaults.assign(static_cast<size_t>(ComponentCount(type)), 0.0f);
        if (type == ParamType::Float4x4)
            for (int i = 0; i < 4; ++i)
                p.defaults[static_cast<size_t>(i) * 5] = 1.0f;
        const bool texture =
            type == ParamType::Texture || type == ParamType::TextureCube || type == ParamType::Texture3D;
        if (texture && Is("{")) {
            if (!Advance())
                return false;
            while (!Is("}")) {
                std::string key, value;
                if (!Name(&key) || !Expect("=") || !Name(&value) || !Expect(";"))
                    return false;
                if (!SamplerState(Lower(key), Lower(value), &p))
                    return Fail("unknown sampler state \"" + key.append(" = ").append(value) + "\"");
            }
            if (!Advance())
                return false;
            out_->parameters.push_back(p);
            return Optional(";");
        }
        if (Is("=")) {
            if (texture)
                return Fail("a texture has no default value");
            if (!Advance())
                return false;
            std::vector<float> values;
            if (Is("{")) {
                if (!Advance())
                    return false;
                while (!Is("}")) {
                    float v;
                    if (!Number(&v))
                        return false;
                    values.push_back(v);
                    if (!Is("}") && !Expect(","))
                        return false;
                }
                if (!Advance())
                    return false;
            } else {
                float v;
                if (!Number(&v))
                    return false;
                values.push_back(v);
            }
            if (values.size() != p.defaults.size())
                return Fail("\"" + p.name + "\" needs " + std::to_string(p.defaults.size()) + " values");
            p.defaults = values;
        }
        out_->parameters.push_back(p);
        return Expect(";");
    }

    static bool SamplerState(const std::string& key, const std::string& value, Parameter* p) {
        DWORD filter = 0, address = 0;
        const bool isFilter = value == "none"          ? (filter = D3DTEXF_NONE, true)
                              : value == "point"       ? (filter = D3DTEXF_POINT, true)
                              : value == "linear"      ? (filter = D3DTEXF_LINEAR, true)
                              : value == "anisotropic" ? (filter = D3DTEXF_ANISOTROPIC, true)
                                                       : false;
        const bool isAddress = value == "wrap"     ? (address = D3DTADDRESS_WRAP, true)
                               : value == "mirror" ? (address = D3DTADDRESS_MIRROR, true)
                               : value == "clamp"  ? (address = D3DTADDRESS_CLAMP, true)
                               : value == "border" ? (address = D3DTADDRESS_BORDER, true)
                                                   : false;
        if (key == "minfilter" && isFilter)
            p->sampler[D3DSAMP_MINFILTER] = filter;
        else if (key == "magfilter" && isFilter)
            p->sampler[D3DSAMP_MAGFILTER] = filter;
        else if (key == "mipfilter" && isFilter)
            p->sampler[D3DSAMP_MIPFILTER] = filter;
        else if (key == "addressu" && isAddress)
            p->sampler[D3DSAMP_ADDRESSU] = address;
        else if (key == "addressv" && isAddress)
            p->sampler[D3DSAMP_ADDRESSV] = address;
        else if (key == "addressw" && isAddress)
            p->sampler[D3DSAMP_ADDRESSW] = address;
        else
            return false;
        return true;
    }

    bool Technique() {
        fx::Technique t;
        if (!Advance() || !Name(&t.name) || !Expect("{"))
            return false;
        for (const auto& other : out_->techniques)
            if (other.name == t.name)
                return Fail("technique \"" + t.name + "\" declared twice");
        while (!Is("}")) {
            if (cur_.kind != Tok::Ident || cur_.text != "pass")
                return Fail("expected pass");
            if (!PassDecl(&t))
                return false;
        }
        if (t.passes.empty())
            return Fail("technique \"" + t.name + "\" has no pass");
        out_->techniques.push_back(std::move(t));
        return Advance();
    }

    bool PassDecl(fx::Technique* t) {
        fx::Pass p;
        if (!Advance())
            return false;
        if (cur_.kind == Tok::Ident) {
            p.name = cur_.text;
            if (!Advance())
                return false;
        }
        if (!Expect("{"))
            return false;
        while (!Is("}")) {
            std::string key;
            const int line = cur_.line;
            if (!Name(&key) || !Expect("="))
                return false;
            const std::string k = Lower(key);
            if (k == "vertexshader" || k == "pixelshader") {
                if (cur_.kind != Tok::Code)
                    return Fail("expected <<< code >>>");
                (k == "vertexshader" ? p.vertexShader : p.pixelShader) = cur_.text;
                (k == "vertexshader" ? p.vertexLine : p.pixelLine) = cur_.line;
                if (!Advance() || !Expect(";"))
                    return false;
                continue;
            }
            const StateInfo* info = nullptr;
            for (const auto& s : kStates)
                if (k == s.name)
                    info = &s;
            if (!info)
                return Fail("unknown state \"" + key + "\"");
            DWORD value = 0;
            if (!StateValue(info->kind, cur_, &value))
                return Fail("bad value for " + key);
            if (!Advance())
                return false;
            // Colour channels combine: Red | Green | Blue.
            while (info->kind == ValueKind::ColourMask && Is("|")) {
                DWORD more = 0;
                if (!Advance() || !StateValue(info->kind, cur_, &more))
                    return Fail("bad value for " + key);
                value |= more;
                if (!Advance())
                    return false;
            }
            p.states.push_back({info->state, value});
            (void)line;
            if (!Expect(";"))
                return false;
        }
        if (p.vertexShader.empty() || p.pixelShader.empty())
            return Fail("pass needs a VertexShader and a PixelShader");
        t->passes.push_back(std::move(p));
        return Advance();
    }

    Lexer lex_;
    Token cur_;
    Effect* out_;
    std::string* error_;
};

} // namespace

int ComponentCount(ParamType type) {
    switch (type) {
    case ParamType::Float:
    case ParamType::Int:
    case ParamType::Bool:
        return 1;
    case ParamType::Float2:
        return 2;
    case ParamType::Float3:
        return 3;
    case ParamType::Float4:
        return 4;
    case ParamType::Float4x4:
        return 16;
    default:
        return 0;
    }
}

const char* GlslType(ParamType type) {
    switch (type) {
    case ParamType::Float:
        return "float";
    case ParamType::Float2:
        return "vec2";
    case ParamType::Float3:
        return "vec3";
    case ParamType::Float4:
        return "vec4";
    case ParamType::Float4x4:
        return "mat4";
    case ParamType::Int:
        return "int";
    case ParamType::Bool:
        return "bool";
    case ParamType::Texture:
        return "sampler2D";
    case ParamType::TextureCube:
        return "samplerCube";
    case ParamType::Texture3D:
        return "sampler3D";
    }
    return "float";
}

bool Parse(const std::string& text, Effect* out, std::string* error) {
    *out = Effect();
    error->clear();
    Parser p(text, out, error);
    return p.Run();
}

} // namespace orv::fx
