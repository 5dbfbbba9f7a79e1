// The OpenGL functions of the Direct3D-shaped layer, taken through the host OpenGL layer's
// loader when the first device is made (the prototypes come from the system's GL header).
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

namespace host::d3d {

#define D3DGL_FUNCTIONS(X)                                                                                  \
  X(ActiveTexture, glActiveTexture) X(AlphaFunc, glAlphaFunc) X(BindTexture, glBindTexture)                  \
  X(BlendFunc, glBlendFunc) X(Clear, glClear) X(ClearColor, glClearColor) X(ClearDepth, glClearDepth)        \
  X(ClientActiveTexture, glClientActiveTexture) X(Color4f, glColor4f) X(ColorMask, glColorMask)              \
  X(ColorMaterial, glColorMaterial) X(ColorPointer, glColorPointer) X(CullFace, glCullFace)                  \
  X(DeleteTextures, glDeleteTextures) X(DepthFunc, glDepthFunc) X(DepthMask, glDepthMask)                    \
  X(DepthRange, glDepthRange) X(Disable, glDisable) X(DisableClientState, glDisableClientState)              \
  X(DrawArrays, glDrawArrays) X(DrawElements, glDrawElements) X(DrawPixels, glDrawPixels)                    \
  X(Enable, glEnable) X(EnableClientState, glEnableClientState) X(Finish, glFinish) X(Flush, glFlush)        \
  X(Fogf, glFogf) X(Fogfv, glFogfv) X(Fogi, glFogi) X(FrontFace, glFrontFace) X(GenTextures, glGenTextures)  \
  X(GetError, glGetError) X(GetIntegerv, glGetIntegerv) X(Lightf, glLightf) X(Lightfv, glLightfv)            \
  X(LightModelfv, glLightModelfv) X(LightModeli, glLightModeli) X(LoadIdentity, glLoadIdentity)              \
  X(LoadMatrixf, glLoadMatrixf) X(Materialf, glMaterialf) X(Materialfv, glMaterialfv)                        \
  X(MatrixMode, glMatrixMode) X(Normal3f, glNormal3f) X(Normal3fv, glNormal3fv)                              \
  X(NormalPointer, glNormalPointer) X(PixelStorei, glPixelStorei) X(PolygonMode, glPolygonMode)              \
  X(PopAttrib, glPopAttrib) X(PushAttrib, glPushAttrib) X(ReadBuffer, glReadBuffer)                          \
  X(ReadPixels, glReadPixels) X(Scissor, glScissor) X(ShadeModel, glShadeModel)                              \
  X(TexCoordPointer, glTexCoordPointer) X(TexEnvfv, glTexEnvfv) X(TexEnvi, glTexEnvi)                        \
  X(TexGeni, glTexGeni) X(TexImage2D, glTexImage2D) X(TexParameteri, glTexParameteri)                        \
  X(VertexPointer, glVertexPointer) X(Viewport, glViewport) X(WindowPos2i, glWindowPos2i)                    \
  X(MultiTexCoord2f, glMultiTexCoord2f) X(Color4ubv, glColor4ubv)

struct gl_table {
#define D3DGL_MEMBER(member, symbol) decltype(&::symbol) member = nullptr;
  D3DGL_FUNCTIONS(D3DGL_MEMBER)
#undef D3DGL_MEMBER
};

// The table, filled by load_gl (false when any function is missing).
extern gl_table gl;
bool load_gl();

}  // namespace host::d3d
