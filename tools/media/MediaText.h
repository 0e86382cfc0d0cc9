#pragma once
// Text media: the effects of the scenes and the vertex-shader files of the skinned-mesh scene.
#include <string>

namespace media {

std::string SkinnedMeshEffect();
// Spot light with a shadow map: the depth pass, the lit scene pass and the unlit light marker.
std::string ShadowMapEffect();
// Stencil shadow volumes: ambient pass, per-light volume counting (two-sided or in two passes) and the
// lit pass where the count is zero.
std::string ShadowVolumeEffect();
// Vertex blending with `influences` world matrices (1 to 4).
std::string SkinMeshShader(int influences);

} // namespace media
