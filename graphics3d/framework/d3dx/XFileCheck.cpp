// A structural check of text .x files before assimp sees them: its reader trusts the counts and indices
// in the file, so inconsistent data (an index past the vertices, a count larger than the data) is
// rejected here and never reaches it.
#include "graphics3d/framework/d3dx/D3DXInternal.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace orv::d3dx {

namespace {

struct Object {
    std::string type;
    std::vector<double> numbers;
    int strings = 0;
    std::vector<std::unique_ptr<Object>> children;
    int references = 0;
};

class Reader {
public:
    Reader(const char* data, size_t size) : p_(data), end_(data + size) {}

    // Reads the objects of one level until "}" or the end.
    bool Objects(Object* parent, int depth) {
        if (depth > 64)
            return false;
        for (;;) {
            Skip();
            if (p_ >= end_)
                return depth == 0;
            const char c = *p_;
            if (c == '}')
                return depth > 0;
            if (c == '"') {
                const char* close =
                    static_cast<const char*>(std::memchr(p_ + 1, '"', static_cast<size_t>(end_ - p_ - 1)));
                if (!close)
                    return false;
                p_ = close + 1;
                ++parent->strings;
                continue;
            }
            if (c == '{') {
                // A reference "{ Name }" or an anonymous block.
                ++p_;
                auto child = std::make_unique<Object>();
                if (!Objects(child.get(), depth + 1) || !Close())
                    return false;
                if (child->children.empty() && child->numbers.empty())
                    ++parent->references;
                else
                    parent->children.push_back(std::move(child));
                continue;
            }
            if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.') {
                char* stop = nullptr;
                const double v = std::strtod(
                    std::string(p_, static_cast<size_t>(std::min<ptrdiff_t>(end_ - p_, 64))).c_str(), &stop);
                size_t used = 0;
                while (p_ + used < end_ && !IsSeparator(p_[used]))
                    ++used;
                (void)stop;
                parent->numbers.push_back(v);
                p_ += used;
                if (++values_ > 50'000'000)
                    return false;
                continue;
            }
            if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
                std::string word;
                while (p_ < end_ && !IsSeparator(*p_) && *p_ != '"')
                    word += *p_++;
                Skip();
                if (word == "template") {
                    // Template declarations describe the format; skip them whole.
                    if (!SkipBlock())
                        return false;
                    continue;
                }
                if (p_ < end_ && *p_ != '{') {
                    // An instance name before the block, or a bare word inside data.
                    while (p_ < end_ && !IsSeparator(*p_) && *p_ != '"')
                        ++p_;
                    Skip();
                }
                if (p_ >= end_ || *p_ != '{') {
                    ++parent->references;
                    continue;
                }
                ++p_;
                auto child = std::make_unique<Object>();
                child->type = word;
                if (!Objects(child.get(), depth + 1) || !Close())
                    return false;
                parent->children.push_back(std::move(child));
                continue;
            }
            if (c == ';' || c == ',') {
                ++p_;
                continue;
            }
            return false;
        }
    }

private:
    static bool IsSeparator(char c) {
        return std::isspace(static_cast<unsigned char>(c)) || c == ',' || c == ';' || c == '{' || c == '}';
    }
    void Skip() {
        while (p_ < end_) {
            if (std::isspace(static_cast<unsigned char>(*p_))) {
                ++p_;
            } else if (*p_ == '#' || (*p_ == '/' && p_ + 1 < end_ && p_[1] == '/')) {
                while (p_ < end_ && *p_ != '\n')
                    ++p_;
            } else {
                break;
            }
        }
    }
    bool Close() {
        Skip();
        if (p_ >= end_ || *p_ != '}')
            return false;
        ++p_;
        return true;
    }
    bool SkipBlock() {
        while (p_ < end_ && *p_ != '{')
            ++p_;
        int level = 0;
        while (p_ < end_) {
            if (*p_ == '{')
                ++level;
            else if (*p_ == '}' && --level == 0) {
                ++p_;
                return true;
            }
            ++p_;
        }
        return false;
    }

    const char* p_;
    const char* end_;
    long long values_ = 0;
};

bool Count(double v, double max, size_t* out) {
    if (!(v >= 0) || v > max || v != static_cast<double>(static_cast<long long>(v)))
        return false;
    *out = static_cast<size_t>(v);
    return true;
}

// Faces as the file lists them: counts and indices below `limit`.
bool Faces(const std::vector<double>& n, size_t& at, size_t limit, std::vector<size_t>* sizes) {
    size_t faces = 0;
    if (at >= n.size() || !Count(n[at++], 10'000'000, &faces))
        return false;
    for (size_t f = 0; f < faces; ++f) {
        size_t k = 0;
        if (at >= n.size() || !Count(n[at++], 64, &k) || k < 3 || at + k > n.size())
            return false;
        for (size_t i = 0; i < k; ++i) {
            size_t idx = 0;
            if (!Count(n[at++], static_cast<double>(limit) - 1, &idx))
                return false;
        }
        sizes->push_back(k);
    }
    return true;
}

bool CheckMesh(const Object& m) {
    const auto& n = m.numbers;
    size_t at = 0, vertices = 0;
    if (n.empty() || !Count(n[at++], 10'000'000, &vertices) || vertices == 0 || at + vertices * 3 > n.size())
        return false;
    at += vertices * 3;
    std::vector<size_t> faces;
    if (!Faces(n, at, vertices, &faces) || faces.empty())
        return false;
    for (const auto& c : m.children) {
        const auto& v = c->numbers;
        size_t a = 0, count = 0;
        if (c->type == "MeshNormals") {
            if (v.empty() || !Count(v[a++], 10'000'000, &count) || count == 0 || a + count * 3 > v.size())
                return false;
            a += count * 3;
            std::vector<size_t> normalFaces;
            if (!Faces(v, a, count, &normalFaces) || normalFaces != faces)
                return false;
        } else if (c->type == "MeshTextureCoords") {
            if (v.empty() || !Count(v[a++], 10'000'000, &count) || count != vertices ||
                a + count * 2 > v.size())
                return false;
        } else if (c->type == "MeshVertexColors") {
            if (v.empty() || !Count(v[a++], 10'000'000, &count) || a + count * 5 > v.size())
                return false;
            for (size_t i = 0; i < count; ++i) {
                size_t idx = 0;
                if (!Count(v[a + i * 5], static_cast<double>(vertices) - 1, &idx))
                    return false;
            }
        } else if (c->type == "MeshMaterialList") {
            size_t materials = 0, indices = 0;
            if (v.size() < 2 || !Count(v[0], 65536, &materials) || !Count(v[1], 10'000'000, &indices) ||
                indices == 0 || indices > faces.size() || 2 + indices > v.size() || materials == 0)
                return false;
            for (size_t i = 0; i < indices; ++i) {
                size_t idx = 0;
                if (!Count(v[2 + i], static_cast<double>(materials) - 1, &idx))
                    return false;
            }
            size_t given = static_cast<size_t>(c->references);
            for (const auto& mat : c->children) {
                if (mat->type != "Material" && !mat->type.empty())
                    continue;
                if (mat->numbers.size() < 11)
                    return false;
                ++given;
            }
            if (given != materials)
                return false;
        } else if (c->type == "XSkinMeshHeader") {
            if (v.size() < 3)
                return false;
        } else if (c->type == "SkinWeights") {
            if (c->strings != 1 || v.empty() || !Count(v[a++], 10'000'000, &count) ||
                a + count * 2 + 16 > v.size())
                return false;
            for (size_t i = 0; i < count; ++i) {
                size_t idx = 0;
                if (!Count(v[a + i], static_cast<double>(vertices) - 1, &idx))
                    return false;
            }
        } else if (c->type == "DeclData" || c->type == "FVFData" || c->type == "VertexDuplicationIndices") {
            return false; // forms our reader does not take
        }
    }
    return true;
}

bool CheckAnimationKey(const Object& k) {
    const auto& v = k.numbers;
    size_t type = 0, keys = 0, at = 2;
    if (v.size() < 2 || !Count(v[0], 4, &type) || !Count(v[1], 10'000'000, &keys) || keys == 0)
        return false;
    const size_t expected = type == 0 ? 4 : (type == 1 || type == 2) ? 3 : 16;
    for (size_t i = 0; i < keys; ++i) {
        size_t values = 0;
        if (at + 2 > v.size() || !(v[at] >= 0) || !Count(v[at + 1], 16, &values) || values != expected ||
            at + 2 + values > v.size())
            return false;
        at += 2 + values;
    }
    return true;
}

bool CheckObject(const Object& o) {
    if (o.type == "Mesh" && !CheckMesh(o))
        return false;
    if (o.type == "FrameTransformMatrix" && o.numbers.size() < 16)
        return false;
    if (o.type == "AnimationKey" && !CheckAnimationKey(o))
        return false;
    if (o.type == "AnimTicksPerSecond" && o.numbers.empty())
        return false;
    for (const auto& c : o.children)
        if (!CheckObject(*c))
            return false;
    return true;
}

} // namespace

bool CheckTextXFile(const void* data, size_t size) {
    const char* text = static_cast<const char*>(data);
    if (size < 16 || std::memcmp(text, "xof ", 4) != 0 || std::memcmp(text + 8, "txt ", 4) != 0)
        return false;
    Reader reader(text + 16, size - 16);
    Object root;
    if (!reader.Objects(&root, 0))
        return false;
    return CheckObject(root);
}

} // namespace orv::d3dx
