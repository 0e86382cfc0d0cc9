#pragma once
// Writes the text form of the .x mesh format: frames with matrices, meshes with normals, texture
// coordinates, material lists and skin weights, and animation sets with rotation and position keys.
#include "Shapes.h"

#include <array>
#include <string>
#include <vector>

namespace media {

struct XMaterial {
    double r = 1, g = 1, b = 1, a = 1;
    double power = 16;
    double sr = 0.3, sg = 0.3, sb = 0.3;
    double er = 0, eg = 0, eb = 0;
    std::string texture; // relative to the .x file's folder
};

using Matrix = std::array<double, 16>; // row-vector layout, translation in 12..14
Matrix Identity();
Matrix Translation(V3 t);

struct XSkinWeights {
    std::string bone;
    std::vector<int> vertices;
    std::vector<double> weights;
    Matrix offset = Identity();
};

struct XMesh {
    std::string name;
    Mesh mesh;
    std::vector<XMaterial> materials; // empty: no material list at all
    std::vector<XSkinWeights> skin;
    int maxWeightsPerVertex = 0, maxWeightsPerFace = 0;
};

struct XFrame {
    std::string name;
    Matrix transform = Identity();
    std::vector<XMesh> meshes;
    std::vector<XFrame> children;
};

struct XAnimation {
    std::string frame;
    std::vector<std::pair<int, std::array<double, 4>>> rotations; // tick, (w, x, y, z)
    std::vector<std::pair<int, V3>> positions;
};

struct XAnimationSet {
    std::string name;
    std::vector<XAnimation> animations;
};

std::string WriteX(const std::vector<XFrame>& roots, const std::vector<XAnimationSet>& sets = {},
                   int ticksPerSecond = 0);
// One frame holding one mesh.
std::string WriteSingleMesh(const std::string& frameName, const XMesh& mesh);

} // namespace media
