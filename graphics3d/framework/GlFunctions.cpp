#include "graphics3d/framework/GlFunctions.h"

namespace orv {

bool GlFunctions::Resolve(const std::function<Function(const char* name)>& lookup) {
    bool all = true;
#define ORV_GL_OLD(name)                                                                                     \
    name = reinterpret_cast<decltype(name)>(lookup(#name));                                                  \
    all = all && name != nullptr;
#define ORV_GL(name, type) ORV_GL_OLD(name)
    ORV_GL_FUNCTIONS(ORV_GL_OLD, ORV_GL)
#undef ORV_GL_OLD
#undef ORV_GL
    return all;
}

} // namespace orv
