#include "graphics3d/framework/d3dx/D3DX9Shader.h"

#include "graphics3d/framework/d3dx/D3DXInternal.h"

#include <QFile>
#include <QtGlobal>

#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

namespace orv {

namespace {

std::string Trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a])))
        ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1])))
        --b;
    return s.substr(a, b - a);
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool ValidSwizzle(const std::string& s, bool mask) {
    if (s.empty() || s.size() > 4)
        return false;
    const std::string order = "xyzw";
    size_t last = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const size_t p = order.find(s[i]);
        if (p == std::string::npos)
            return false;
        if (mask && i > 0 && p <= last)
            return false;
        last = p;
    }
    return true;
}

class Assembler {
public:
    bool Run(const std::string& source, std::string* glsl, std::string* error) {
        std::istringstream in(source);
        std::string line;
        bool version = false;
        while (std::getline(in, line)) {
            ++lineNo_;
            for (const char* c : {";", "//"}) {
                const size_t at = line.find(c);
                if (at != std::string::npos)
                    line = line.substr(0, at);
            }
            line = Trim(line);
            if (line.empty())
                continue;
            if (!version) {
                const std::string v = Lower(line);
                if (v != "vs_1_1" && v != "vs_2_0" && v != "vs_3_0" && v != "vs.1.1" && v != "vs.2.0")
                    return Fail("expected a version line such as vs_1_1", error);
                version = true;
                continue;
            }
            if (!Instruction(line, error))
                return false;
        }
        if (!version)
            return Fail("empty shader", error);
        if (!wrotePosition_)
            return Fail("the shader never writes oPos", error);
        std::ostringstream out;
        out << "#version 330 core\nuniform vec4 c[256];\n";
        for (const auto& [reg, decl] : inputs_)
            out << "in vec4 " << decl << ";\n";
        out << "out vec4 oD0;\nout vec4 oD1;\nout vec4 oT0;\n";
        for (int t = 1; t < 8; ++t)
            if (outputs_.count("oT" + std::to_string(t)))
                out << "out vec4 oT" << t << ";\n";
        for (const auto& [n, v] : defs_)
            out << "const vec4 def" << n << " = " << v << ";\n";
        out << "void main() {\n    oD0 = vec4(1.0);\n    oD1 = vec4(0.0);\n    oT0 = vec4(0.0);\n";
        for (int r : temps_)
            out << "    vec4 r" << r << " = vec4(0.0);\n";
        out << body_.str() << "}\n";
        *glsl = out.str();
        return true;
    }

private:
    bool Fail(const std::string& what, std::string* error) {
        *error = "line " + std::to_string(lineNo_) + ": " + what;
        return false;
    }

    static std::vector<std::string> SplitOperands(const std::string& s) {
        std::vector<std::string> out;
        std::string cur;
        for (char c : s) {
            if (c == ',') {
                out.push_back(Trim(cur));
                cur.clear();
            } else {
                cur += c;
            }
        }
        if (!Trim(cur).empty() || !out.empty())
            out.push_back(Trim(cur));
        return out;
    }

    bool Declaration(const std::string& op, const std::string& operand, std::string* error) {
        static const std::map<std::string, std::string> kUsage = {{"position", "aPosition"},
                                                                  {"position0", "aPosition"},
                                                                  {"blendweight", "aBlendWeight"},
                                                                  {"blendindices", "aBlendIndices"},
                                                                  {"normal", "aNormal"},
                                                                  {"normal0", "aNormal"},
                                                                  {"tangent", "aTangent"},
                                                                  {"binormal", "aBinormal"},
                                                                  {"color", "aColor0"},
                                                                  {"color0", "aColor0"},
                                                                  {"color1", "aColor1"},
                                                                  {"texcoord", "aTex0"}};
        std::string usage = op.substr(4);
        std::string attr;
        auto it = kUsage.find(usage);
        if (it != kUsage.end()) {
            attr = it->second;
        } else if (usage.rfind("texcoord", 0) == 0 && usage.size() == 9 && usage[8] >= '0' &&
                   usage[8] <= '7') {
            attr = std::string("aTex") + usage[8];
        } else {
            return Fail("unknown declaration " + op, error);
        }
        if (operand.size() < 2 || operand[0] != 'v')
            return Fail("a declaration names an input register", error);
        int reg = 0;
        if (!Number(operand.substr(1), 15, &reg))
            return Fail("bad input register " + operand, error);
        for (const auto& [r, a] : inputs_)
            if (a == attr && r != reg)
                return Fail(attr + " declared twice", error);
        inputs_[reg] = attr;
        return true;
    }

    static bool Number(const std::string& s, int max, int* out) {
        if (s.empty() || s.size() > 3)
            return false;
        for (char c : s)
            if (!std::isdigit(static_cast<unsigned char>(c)))
                return false;
        *out = std::stoi(s);
        return *out <= max;
    }

    // A register name as a GLSL expression (no swizzle).
    bool Register(const std::string& name, bool destination, std::string* out, std::string* error) {
        const std::string l = Lower(name);
        if (l == "opos") {
            if (!destination)
                return Fail("oPos cannot be read", error);
            wrotePosition_ = true;
            *out = "gl_Position";
            return true;
        }
        if (l.size() >= 2 && l[0] == 'o' && (l[1] == 'd' || l[1] == 't')) {
            int n = 0;
            if (!destination || !Number(l.substr(2), l[1] == 'd' ? 1 : 7, &n))
                return Fail("bad output register " + name, error);
            *out = std::string(l[1] == 'd' ? "oD" : "oT") + std::to_string(n);
            outputs_.insert(*out);
            return true;
        }
        int n = 0;
        if (l[0] == 'r' && Number(l.substr(1), 31, &n)) {
            temps_.insert(n);
            *out = "r" + std::to_string(n);
            return true;
        }
        if (destination)
            return Fail("cannot write " + name, error);
        if (l[0] == 'v' && Number(l.substr(1), 15, &n)) {
            auto it = inputs_.find(n);
            if (it == inputs_.end())
                return Fail("input " + name + " is not declared", error);
            *out = it->second;
            return true;
        }
        if (l[0] == 'c' && Number(l.substr(1), 255, &n)) {
            *out = defs_.count(n) ? "def" + std::to_string(n) : "c[" + std::to_string(n) + "]";
            return true;
        }
        return Fail("unknown register " + name, error);
    }

    bool Source(const std::string& text, std::string* expr, int* constantIndex, std::string* error) {
        std::string s = text;
        bool negate = false;
        if (!s.empty() && s[0] == '-') {
            negate = true;
            s = Trim(s.substr(1));
        }
        std::string swizzle;
        const size_t dot = s.find('.');
        if (dot != std::string::npos) {
            swizzle = Lower(s.substr(dot + 1));
            s = s.substr(0, dot);
            if (!ValidSwizzle(swizzle, false))
                return Fail("bad swizzle ." + swizzle, error);
        }
        if (s.empty())
            return Fail("missing operand", error);
        std::string reg;
        if (!Register(s, false, &reg, error))
            return false;
        if (constantIndex) {
            *constantIndex = -1;
            int n = 0;
            if (Lower(s)[0] == 'c' && Number(s.substr(1), 255, &n))
                *constantIndex = n;
        }
        // A short swizzle repeats its last component.
        if (!swizzle.empty())
            while (swizzle.size() < 4)
                swizzle += swizzle.back();
        *expr = (negate ? "(-" : "(") + reg + (swizzle.empty() ? "" : "." + swizzle) + ")";
        return true;
    }

    bool Destination(const std::string& text, std::string* reg, std::string* mask, std::string* error) {
        std::string s = text;
        const size_t dot = s.find('.');
        *mask = "xyzw";
        if (dot != std::string::npos) {
            *mask = Lower(s.substr(dot + 1));
            s = s.substr(0, dot);
            if (!ValidSwizzle(*mask, true))
                return Fail("bad write mask ." + *mask, error);
        }
        return Register(s, true, reg, error);
    }

    std::string ConstantRow(int base, int row) {
        const int n = base + row;
        return defs_.count(n) ? "def" + std::to_string(n) : "c[" + std::to_string(n) + "]";
    }

    bool Instruction(const std::string& line, std::string* error) {
        size_t sp = 0;
        while (sp < line.size() && !std::isspace(static_cast<unsigned char>(line[sp])))
            ++sp;
        const std::string op = Lower(line.substr(0, sp));
        const std::vector<std::string> ops = SplitOperands(Trim(line.substr(sp)));
        if (op.rfind("dcl_", 0) == 0) {
            if (ops.size() != 1)
                return Fail("a declaration takes one register", error);
            return Declaration(op, Lower(ops[0]), error);
        }
        if (op == "nop")
            return true;
        if (op == "def") {
            int n = 0;
            if (ops.size() != 5 || Lower(ops[0]).empty() || Lower(ops[0])[0] != 'c' ||
                !Number(ops[0].substr(1), 255, &n))
                return Fail("def takes a constant and four numbers", error);
            std::string v = "vec4(";
            for (int i = 1; i <= 4; ++i) {
                char* end = nullptr;
                const double d = std::strtod(ops[static_cast<size_t>(i)].c_str(), &end);
                if (ops[static_cast<size_t>(i)].empty() || *end != '\0')
                    return Fail("bad number " + ops[static_cast<size_t>(i)], error);
                std::ostringstream num;
                num.precision(9);
                num << std::showpoint << d;
                v += num.str() + (i < 4 ? ", " : ")");
            }
            defs_[n] = v;
            return true;
        }
        static const std::map<std::string, int> kArity = {
            {"mov", 1}, {"rcp", 1},  {"rsq", 1},  {"frc", 1},  {"abs", 1}, {"add", 2}, {"sub", 2},
            {"mul", 2}, {"dp3", 2},  {"dp4", 2},  {"min", 2},  {"max", 2}, {"slt", 2}, {"sge", 2},
            {"mad", 3}, {"m4x4", 2}, {"m4x3", 2}, {"m3x3", 2}, {"m3x4", 2}};
        auto it = kArity.find(op);
        if (it == kArity.end())
            return Fail("unknown instruction " + op, error);
        if (static_cast<int>(ops.size()) != it->second + 1)
            return Fail(op + " takes " + std::to_string(it->second + 1) + " operands", error);
        std::string dst, mask;
        if (!Destination(ops[0], &dst, &mask, error))
            return false;
        std::vector<std::string> src(ops.size() - 1);
        int constant = -1;
        for (size_t i = 1; i < ops.size(); ++i)
            if (!Source(ops[i], &src[i - 1], i == 2 ? &constant : nullptr, error))
                return false;
        std::string expr;
        if (op == "mov")
            expr = src[0];
        else if (op == "add")
            expr = src[0] + " + " + src[1];
        else if (op == "sub")
            expr = src[0] + " - " + src[1];
        else if (op == "mul")
            expr = src[0] + " * " + src[1];
        else if (op == "mad")
            expr = src[0] + " * " + src[1] + " + " + src[2];
        else if (op == "dp3")
            expr = "vec4(dot(" + src[0] + ".xyz, " + src[1] + ".xyz))";
        else if (op == "dp4")
            expr = "vec4(dot(" + src[0] + ", " + src[1] + "))";
        else if (op == "rcp")
            expr = "vec4(" + src[0] + ".x == 0.0 ? 3.0e38 : 1.0 / " + src[0] + ".x)";
        else if (op == "rsq")
            expr = "vec4(" + src[0] + ".x == 0.0 ? 3.0e38 : inversesqrt(abs(" + src[0] + ".x)))";
        else if (op == "frc")
            expr = "fract(" + src[0] + ")";
        else if (op == "abs")
            expr = "abs(" + src[0] + ")";
        else if (op == "min")
            expr = "min(" + src[0] + ", " + src[1] + ")";
        else if (op == "max")
            expr = "max(" + src[0] + ", " + src[1] + ")";
        else if (op == "slt")
            expr = "vec4(lessThan(" + src[0] + ", " + src[1] + "))";
        else if (op == "sge")
            expr = "vec4(greaterThanEqual(" + src[0] + ", " + src[1] + "))";
        else {
            // Matrix forms: the second operand names the first of consecutive constant rows.
            if (constant < 0)
                return Fail(op + " needs a constant register as its matrix", error);
            const int columns = op[1] - '0', rows = op[3] - '0';
            if (constant + rows > 256)
                return Fail("matrix rows beyond c255", error);
            std::string parts;
            for (int r = 0; r < 4; ++r) {
                std::string v = "0.0";
                if (r < rows)
                    v = columns == 4 ? "dot(" + src[0] + ", " + ConstantRow(constant, r) + ")"
                                     : "dot(" + src[0] + ".xyz, " + ConstantRow(constant, r) + ".xyz)";
                parts += v + (r < 3 ? ", " : "");
            }
            expr = "vec4(" + parts + ")";
            if (rows == 3 && mask.size() == 4)
                mask = "xyz";
        }
        body_ << "    " << dst << "." << mask << " = (" << expr << ")." << mask << ";\n";
        return true;
    }

    int lineNo_ = 0;
    std::map<int, std::string> inputs_;
    std::map<int, std::string> defs_;
    std::set<int> temps_;
    std::set<std::string> outputs_;
    std::ostringstream body_;
    bool wrotePosition_ = false;
};

HRESULT ErrorBuffer(const std::string& message, ID3DXBuffer** errors) {
    if (errors) {
        D3DXCreateBuffer(static_cast<DWORD>(message.size() + 1), errors);
        std::memcpy((*errors)->GetBufferPointer(), message.c_str(), message.size() + 1);
    }
    return D3DXERR_INVALIDDATA;
}

} // namespace

bool AssembleVertexShader(const std::string& source, std::string* glsl, std::string* error) {
    Assembler a;
    return a.Run(source, glsl, error);
}

HRESULT D3DXAssembleShader(const char* data, UINT length, const D3DXMACRO*, ID3DXInclude*, DWORD,
                           ID3DXBuffer** shader, ID3DXBuffer** errors) {
    if (errors)
        *errors = nullptr;
    if (!data || !shader)
        return D3DERR_INVALIDCALL;
    *shader = nullptr;
    std::string glsl, error;
    if (!AssembleVertexShader(std::string(data, length), &glsl, &error)) {
        qWarning("vertex shader: %s", error.c_str());
        return ErrorBuffer(error, errors);
    }
    // Padded to whole DWORDs, NUL-terminated.
    const size_t bytes = (glsl.size() + 4) / 4 * 4;
    D3DXCreateBuffer(static_cast<DWORD>(bytes), shader);
    std::memset((*shader)->GetBufferPointer(), 0, bytes);
    std::memcpy((*shader)->GetBufferPointer(), glsl.data(), glsl.size());
    return D3D_OK;
}

HRESULT D3DXAssembleShaderFromFileW(const wchar_t* fileName, const D3DXMACRO* defines, ID3DXInclude* include,
                                    DWORD flags, ID3DXBuffer** shader, ID3DXBuffer** errors) {
    if (errors)
        *errors = nullptr;
    if (!fileName || !shader)
        return D3DERR_INVALIDCALL;
    QFile f(d3dx::FromWide(fileName).replace('\\', '/'));
    if (!f.open(QIODevice::ReadOnly))
        return D3DERR_NOTFOUND;
    const QByteArray bytes = f.readAll();
    return D3DXAssembleShader(bytes.constData(), static_cast<UINT>(bytes.size()), defines, include, flags,
                              shader, errors);
}

} // namespace orv
