#pragma once
// Text media: the skinned-mesh effect and the vertex-shader files of the skinned-mesh scene.
#include <string>

namespace media {

std::string SkinnedMeshEffect();
// Vertex blending with `influences` world matrices (1 to 4).
std::string SkinMeshShader(int influences);

} // namespace media
