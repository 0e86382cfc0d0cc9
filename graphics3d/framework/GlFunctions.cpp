#include "graphics3d/framework/GlFunctions.h"

namespace orv {

namespace {

template <typename F> bool Take(F& slot, GlFunctions::Function f) {
    slot = reinterpret_cast<F>(f);
    return f != nullptr;
}

} // namespace

bool GlFunctions::Resolve(const std::function<Function(const char* name)>& lookup) {
    bool all = true;
#define ORV_GL_OLD(name) all = Take(name, lookup(#name)) && all;
#define ORV_GL(name, type) ORV_GL_OLD(name)
    ORV_GL_FUNCTIONS(ORV_GL_OLD, ORV_GL)
#undef ORV_GL_OLD
#undef ORV_GL
    return all;
}

} // namespace orv
