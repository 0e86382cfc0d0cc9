#pragma once
// The OpenGL entry points the layer calls, resolved from whichever context hosts the device: a window's
// QOpenGLContext or an offscreen EGL context. The members carry the entry points' own names, so a call
// reads as OpenGL: gl->glViewport(0, 0, w, h).
#include <qopengl.h>

#include <functional>

namespace orv {

// clang-format off
#define ORV_GL_FUNCTIONS(ORV_GL_OLD, ORV_GL) \
    ORV_GL(glAttachShader, PFNGLATTACHSHADERPROC) \
    ORV_GL(glBindAttribLocation, PFNGLBINDATTRIBLOCATIONPROC) \
    ORV_GL(glBindBuffer, PFNGLBINDBUFFERPROC) \
    ORV_GL(glBindFragDataLocation, PFNGLBINDFRAGDATALOCATIONPROC) \
    ORV_GL(glBindFramebuffer, PFNGLBINDFRAMEBUFFERPROC) \
    ORV_GL(glBindRenderbuffer, PFNGLBINDRENDERBUFFERPROC) \
    ORV_GL(glBindSampler, PFNGLBINDSAMPLERPROC) \
    ORV_GL(glBindVertexArray, PFNGLBINDVERTEXARRAYPROC) \
    ORV_GL(glBlendEquationSeparate, PFNGLBLENDEQUATIONSEPARATEPROC) \
    ORV_GL(glBlendFuncSeparate, PFNGLBLENDFUNCSEPARATEPROC) \
    ORV_GL(glBlitFramebuffer, PFNGLBLITFRAMEBUFFERPROC) \
    ORV_GL(glBufferData, PFNGLBUFFERDATAPROC) \
    ORV_GL(glBufferSubData, PFNGLBUFFERSUBDATAPROC) \
    ORV_GL(glCheckFramebufferStatus, PFNGLCHECKFRAMEBUFFERSTATUSPROC) \
    ORV_GL(glCompileShader, PFNGLCOMPILESHADERPROC) \
    ORV_GL(glCreateProgram, PFNGLCREATEPROGRAMPROC) \
    ORV_GL(glCreateShader, PFNGLCREATESHADERPROC) \
    ORV_GL(glDeleteBuffers, PFNGLDELETEBUFFERSPROC) \
    ORV_GL(glDeleteFramebuffers, PFNGLDELETEFRAMEBUFFERSPROC) \
    ORV_GL(glDeleteProgram, PFNGLDELETEPROGRAMPROC) \
    ORV_GL(glDeleteRenderbuffers, PFNGLDELETERENDERBUFFERSPROC) \
    ORV_GL(glDeleteSamplers, PFNGLDELETESAMPLERSPROC) \
    ORV_GL(glDeleteShader, PFNGLDELETESHADERPROC) \
    ORV_GL(glDeleteVertexArrays, PFNGLDELETEVERTEXARRAYSPROC) \
    ORV_GL(glDrawBuffers, PFNGLDRAWBUFFERSPROC) \
    ORV_GL(glDrawElementsBaseVertex, PFNGLDRAWELEMENTSBASEVERTEXPROC) \
    ORV_GL(glEnableVertexAttribArray, PFNGLENABLEVERTEXATTRIBARRAYPROC) \
    ORV_GL(glFramebufferRenderbuffer, PFNGLFRAMEBUFFERRENDERBUFFERPROC) \
    ORV_GL(glFramebufferTexture2D, PFNGLFRAMEBUFFERTEXTURE2DPROC) \
    ORV_GL(glGenBuffers, PFNGLGENBUFFERSPROC) \
    ORV_GL(glGenFramebuffers, PFNGLGENFRAMEBUFFERSPROC) \
    ORV_GL(glGenRenderbuffers, PFNGLGENRENDERBUFFERSPROC) \
    ORV_GL(glGenSamplers, PFNGLGENSAMPLERSPROC) \
    ORV_GL(glGenVertexArrays, PFNGLGENVERTEXARRAYSPROC) \
    ORV_GL(glGetProgramInfoLog, PFNGLGETPROGRAMINFOLOGPROC) \
    ORV_GL(glGetProgramiv, PFNGLGETPROGRAMIVPROC) \
    ORV_GL(glGetShaderInfoLog, PFNGLGETSHADERINFOLOGPROC) \
    ORV_GL(glGetShaderiv, PFNGLGETSHADERIVPROC) \
    ORV_GL(glGetStringi, PFNGLGETSTRINGIPROC) \
    ORV_GL(glGetUniformLocation, PFNGLGETUNIFORMLOCATIONPROC) \
    ORV_GL(glLinkProgram, PFNGLLINKPROGRAMPROC) \
    ORV_GL(glRenderbufferStorage, PFNGLRENDERBUFFERSTORAGEPROC) \
    ORV_GL(glSamplerParameteri, PFNGLSAMPLERPARAMETERIPROC) \
    ORV_GL(glShaderSource, PFNGLSHADERSOURCEPROC) \
    ORV_GL(glStencilFuncSeparate, PFNGLSTENCILFUNCSEPARATEPROC) \
    ORV_GL(glStencilOpSeparate, PFNGLSTENCILOPSEPARATEPROC) \
    ORV_GL(glUniform1f, PFNGLUNIFORM1FPROC) \
    ORV_GL(glUniform1i, PFNGLUNIFORM1IPROC) \
    ORV_GL(glUniform2fv, PFNGLUNIFORM2FVPROC) \
    ORV_GL(glUniform3fv, PFNGLUNIFORM3FVPROC) \
    ORV_GL(glUniform4fv, PFNGLUNIFORM4FVPROC) \
    ORV_GL(glUniformMatrix4fv, PFNGLUNIFORMMATRIX4FVPROC) \
    ORV_GL(glUseProgram, PFNGLUSEPROGRAMPROC) \
    ORV_GL(glVertexAttrib4f, PFNGLVERTEXATTRIB4FPROC) \
    ORV_GL(glVertexAttribPointer, PFNGLVERTEXATTRIBPOINTERPROC) \
    ORV_GL_OLD(glActiveTexture) \
    ORV_GL_OLD(glBindTexture) \
    ORV_GL_OLD(glClear) \
    ORV_GL_OLD(glClearColor) \
    ORV_GL_OLD(glClearDepth) \
    ORV_GL_OLD(glClearStencil) \
    ORV_GL_OLD(glColorMask) \
    ORV_GL_OLD(glCompressedTexImage2D) \
    ORV_GL_OLD(glCompressedTexSubImage2D) \
    ORV_GL_OLD(glCullFace) \
    ORV_GL_OLD(glDeleteTextures) \
    ORV_GL_OLD(glDepthFunc) \
    ORV_GL_OLD(glDepthMask) \
    ORV_GL_OLD(glDepthRange) \
    ORV_GL_OLD(glDisable) \
    ORV_GL_OLD(glDrawArrays) \
    ORV_GL_OLD(glDrawElements) \
    ORV_GL_OLD(glEnable) \
    ORV_GL_OLD(glFrontFace) \
    ORV_GL_OLD(glGenTextures) \
    ORV_GL_OLD(glGetError) \
    ORV_GL_OLD(glGetIntegerv) \
    ORV_GL_OLD(glGetString) \
    ORV_GL_OLD(glPixelStorei) \
    ORV_GL_OLD(glPolygonMode) \
    ORV_GL_OLD(glReadBuffer) \
    ORV_GL_OLD(glReadPixels) \
    ORV_GL_OLD(glScissor) \
    ORV_GL_OLD(glStencilMask) \
    ORV_GL_OLD(glTexImage2D) \
    ORV_GL_OLD(glTexImage3D) \
    ORV_GL_OLD(glTexParameteri) \
    ORV_GL_OLD(glTexSubImage2D) \
    ORV_GL_OLD(glTexSubImage3D) \
    ORV_GL_OLD(glViewport)
// clang-format on

struct GlFunctions {
#define ORV_GL_OLD(name) decltype(&::name) name = nullptr;
#define ORV_GL(name, type) type name = nullptr;
    ORV_GL_FUNCTIONS(ORV_GL_OLD, ORV_GL)
#undef ORV_GL_OLD
#undef ORV_GL

    using Function = void (*)();
    // Every entry point from lookup (with the context current); false when one is missing.
    bool Resolve(const std::function<Function(const char* name)>& lookup);
};

} // namespace orv
