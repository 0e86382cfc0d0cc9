#include "XWriter.h"

#include <cstdio>

namespace media {

Matrix Identity() {
    return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

Matrix Translation(V3 t) {
    Matrix m = Identity();
    m[12] = t.x;
    m[13] = t.y;
    m[14] = t.z;
    return m;
}

namespace {
std::string Num(double v) {
    if (v > -5e-7 && v < 5e-7)
        v = 0; // no "-0.000000"
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6f", v);
    return buf;
}

void Indent(std::string& out, int depth) {
    out.append(static_cast<size_t>(depth) * 1, ' ');
}

void WriteMatrix(std::string& out, const Matrix& m, int depth) {
    Indent(out, depth);
    out += "FrameTransformMatrix {\n";
    Indent(out, depth + 1);
    for (int i = 0; i < 16; ++i)
        out += Num(m[static_cast<size_t>(i)]) + (i == 15 ? ";;\n" : ",");
    Indent(out, depth);
    out += "}\n";
}

void WriteMesh(std::string& out, const XMesh& xm, int depth) {
    const Mesh& m = xm.mesh;
    const std::string in(static_cast<size_t>(depth), ' ');
    out += in + "Mesh " + xm.name + " {\n";
    out += in + " " + std::to_string(m.vertices.size()) + ";\n";
    for (size_t i = 0; i < m.vertices.size(); ++i) {
        const V3 p = m.vertices[i].p;
        out += in + " " + Num(p.x) + ";" + Num(p.y) + ";" + Num(p.z) + ";" +
               (i + 1 == m.vertices.size() ? ";\n" : ",\n");
    }
    out += in + " " + std::to_string(m.faces.size()) + ";\n";
    auto faceList = [&]() {
        for (size_t i = 0; i < m.faces.size(); ++i) {
            const auto& f = m.faces[i];
            out += in + " 3;" + std::to_string(f[0]) + "," + std::to_string(f[1]) + "," +
                   std::to_string(f[2]) + ";" + (i + 1 == m.faces.size() ? ";\n" : ",\n");
        }
    };
    faceList();
    out += in + " MeshNormals {\n" + in + "  " + std::to_string(m.vertices.size()) + ";\n";
    for (size_t i = 0; i < m.vertices.size(); ++i) {
        const V3 n = m.vertices[i].n;
        out += in + "  " + Num(n.x) + ";" + Num(n.y) + ";" + Num(n.z) + ";" +
               (i + 1 == m.vertices.size() ? ";\n" : ",\n");
    }
    out += in + "  " + std::to_string(m.faces.size()) + ";\n";
    faceList();
    out += in + " }\n";
    out += in + " MeshTextureCoords {\n" + in + "  " + std::to_string(m.vertices.size()) + ";\n";
    for (size_t i = 0; i < m.vertices.size(); ++i)
        out += in + "  " + Num(m.vertices[i].u) + ";" + Num(m.vertices[i].v) + ";" +
               (i + 1 == m.vertices.size() ? ";\n" : ",\n");
    out += in + " }\n";
    if (!xm.materials.empty()) {
        out += in + " MeshMaterialList {\n" + in + "  " + std::to_string(xm.materials.size()) + ";\n" + in +
               "  " + std::to_string(m.faces.size()) + ";\n";
        for (size_t i = 0; i < m.faceMaterial.size(); ++i)
            out += in + "  " + std::to_string(m.faceMaterial[i]) +
                   (i + 1 == m.faceMaterial.size() ? ";;\n" : ",\n");
        for (const auto& mat : xm.materials) {
            out += in + "  Material {\n";
            out += in + "   " + Num(mat.r) + ";" + Num(mat.g) + ";" + Num(mat.b) + ";" + Num(mat.a) + ";;\n";
            out += in + "   " + Num(mat.power) + ";\n";
            out += in + "   " + Num(mat.sr) + ";" + Num(mat.sg) + ";" + Num(mat.sb) + ";;\n";
            out += in + "   " + Num(mat.er) + ";" + Num(mat.eg) + ";" + Num(mat.eb) + ";;\n";
            if (!mat.texture.empty())
                out += in + "   TextureFilename {\n" + in + "    \"" + mat.texture + "\";\n" + in + "   }\n";
            out += in + "  }\n";
        }
        out += in + " }\n";
    }
    if (!xm.skin.empty()) {
        out += in + " XSkinMeshHeader {\n" + in + "  " + std::to_string(xm.maxWeightsPerVertex) + ";\n" + in +
               "  " + std::to_string(xm.maxWeightsPerFace) + ";\n" + in + "  " +
               std::to_string(xm.skin.size()) + ";\n" + in + " }\n";
        for (const auto& s : xm.skin) {
            out += in + " SkinWeights {\n" + in + "  \"" + s.bone + "\";\n" + in + "  " +
                   std::to_string(s.vertices.size()) + ";\n";
            for (size_t i = 0; i < s.vertices.size(); ++i)
                out +=
                    in + "  " + std::to_string(s.vertices[i]) + (i + 1 == s.vertices.size() ? ";\n" : ",\n");
            for (size_t i = 0; i < s.weights.size(); ++i)
                out += in + "  " + Num(s.weights[i]) + (i + 1 == s.weights.size() ? ";\n" : ",\n");
            out += in + "  ";
            for (int i = 0; i < 16; ++i)
                out += Num(s.offset[static_cast<size_t>(i)]) + (i == 15 ? ";;\n" : ",");
            out += in + " }\n";
        }
    }
    out += in + "}\n";
}

void WriteFrame(std::string& out, const XFrame& f, int depth) {
    Indent(out, depth);
    out += "Frame " + f.name + " {\n";
    WriteMatrix(out, f.transform, depth + 1);
    for (const auto& m : f.meshes)
        WriteMesh(out, m, depth + 1);
    for (const auto& c : f.children)
        WriteFrame(out, c, depth + 1);
    Indent(out, depth);
    out += "}\n";
}
} // namespace

std::string WriteX(const std::vector<XFrame>& roots, const std::vector<XAnimationSet>& sets,
                   int ticksPerSecond) {
    std::string out = "xof 0303txt 0032\n\n";
    if (ticksPerSecond > 0)
        out += "AnimTicksPerSecond {\n " + std::to_string(ticksPerSecond) + ";\n}\n\n";
    for (const auto& f : roots)
        WriteFrame(out, f, 0);
    for (const auto& set : sets) {
        out += "\nAnimationSet " + set.name + " {\n";
        for (const auto& a : set.animations) {
            out += " Animation {\n  { " + a.frame + " }\n";
            if (!a.rotations.empty()) {
                out += "  AnimationKey {\n   0;\n   " + std::to_string(a.rotations.size()) + ";\n";
                for (size_t i = 0; i < a.rotations.size(); ++i) {
                    const auto& q = a.rotations[i].second;
                    out += "   " + std::to_string(a.rotations[i].first) + ";4;" + Num(q[0]) + "," +
                           Num(q[1]) + "," + Num(q[2]) + "," + Num(q[3]) + ";;" +
                           (i + 1 == a.rotations.size() ? ";\n" : ",\n");
                }
                out += "  }\n";
            }
            if (!a.positions.empty()) {
                out += "  AnimationKey {\n   2;\n   " + std::to_string(a.positions.size()) + ";\n";
                for (size_t i = 0; i < a.positions.size(); ++i) {
                    const V3 p = a.positions[i].second;
                    out += "   " + std::to_string(a.positions[i].first) + ";3;" + Num(p.x) + "," + Num(p.y) +
                           "," + Num(p.z) + ";;" + (i + 1 == a.positions.size() ? ";\n" : ",\n");
                }
                out += "  }\n";
            }
            out += " }\n";
        }
        out += "}\n";
    }
    return out;
}

std::string WriteSingleMesh(const std::string& frameName, const XMesh& mesh) {
    XFrame f;
    f.name = frameName;
    f.meshes.push_back(mesh);
    return WriteX({f});
}

} // namespace media
