#include "Zentri/devices/display/opengl/VQOpenGLCanvas.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "Zentri/devices/display/opengl/VQOpenGLDisplayDevice.h"
#include "Zentri/devices/display/opengl/VQopengl.h"
#include "Zentri/platform/VQwin32.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/util/VQerror.h"

namespace {

// The OpenGL upload format of a pixmap: RGB or RGBA bytes (BGR orders for grabs); 0 when the
// pixmap's format cannot be drawn.
VQGLenum PixmapFormat(uint32_t format) {
  switch (format) {
    case VQPF_RGB888: return VQGL_RGB;
    case VQPF_RGBA8888: return VQGL_RGBA;
    case VQPF_BGR888: return VQGL_BGR;
    case VQPF_BGRA8888: return VQGL_BGRA;
    default: return 0;
  }
}

// Unpack state of the pixmap blits goes back to the defaults afterwards, so that a later
// texture upload does not skip pixels or rows.
void ResetUnpack() {
  g_VQgl.PixelStorei(VQGL_UNPACK_SKIP_PIXELS, 0);
  g_VQgl.PixelStorei(VQGL_UNPACK_ROW_LENGTH, 0);
  g_VQgl.PixelStorei(VQGL_UNPACK_SKIP_ROWS, 0);
}

}  // namespace

// ---- Device side of canvases -----------------------------------------------------------------

VQCanvas* VQOpenGLDisplayDevice::CreateCanvas(uint32_t mode, uintptr_t window, uint32_t width,
                                              uint32_t height, uint32_t colourBits, uint32_t) {
  if (m_canvasCount >= VQDISPLAY_MAX_CANVASES) {
    g_VQerror = VQERR_TOO_MANY_CANVASES;
    return nullptr;
  }
  if (!m_initialised || width == 0 || height == 0) {
    g_VQerror = m_initialised ? VQERR_INVALID_ARGUMENT : VQERR_NOT_OPEN;
    return nullptr;
  }
  VQDisplayMode current;
  if (!GetCurrentMode(&current)) current.bits = 32;
  if (colourBits == 0) colourBits = current.bits;
  auto* canvas = new (std::nothrow) VQOpenGLCanvas();
  if (!canvas) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  // Only a windowed canvas draws into a window given by the caller; a full-screen canvas makes
  // its own full-screen window (and destroys it with itself) and leaves the given one alone.
  if (mode != 2) window = 0;
  canvas->m_device = this;
  canvas->m_mode = mode;
  canvas->m_suppliedWindow = window != 0 ? 1 : 0;
  // The pixel format is asked for before the window exists: its surface is made with it.
  host::gl::request_pixel_format(mode == 2 ? int(current.bits) : int(colourBits), int(m_depthBits), true);
  host::window_handle w = 0;
  if (window != 0) {
    w = window;
  } else {
    w = mode == 2 ? VQwin32_CreateWindow(int(width), int(height)) : VQwin32_CreateFullScreenWindow();
  }
  if (!w) {
    delete canvas;
    g_VQerror = VQERR_WINDOW_CREATE;
    return nullptr;
  }
  canvas->m_window = w;
  auto undo = [&](int32_t code) {
    if (canvas->m_context) {
      host::gl::make_current(m_probeWindow, m_context);
      host::gl::delete_context(canvas->m_context);
    }
    host::set_user_data(w, 0);
    if (canvas->m_previousProc) host::set_window_proc(w, canvas->m_previousProc);
    if (!canvas->m_suppliedWindow) VQwin32_DestroyWindow(w);
    delete canvas;
    host::gl::make_current(m_probeWindow, m_context);
    if (code) g_VQerror = code;
    return nullptr;
  };
  if (!host::gl::window_has_gl(w)) return undo(VQERR_GL_PROBE_PIXELFORMAT);
  // The new context shares its textures with the device's own.
  host::gl::make_current(m_probeWindow, m_context);
  canvas->m_context = host::gl::create_context(w, true);
  if (!canvas->m_context) return undo(VQERR_GL_PROBE_CONTEXT);
  // A window given by the caller is subclassed: the engine's procedure sees its messages
  // first and hands every one on to the window's own procedure.
  if (canvas->m_suppliedWindow) {
    canvas->m_previousProc = host::get_window_proc(w);
    host::set_window_proc(w, VQwin32_WindowProc);
  }
  host::set_user_data(w, reinterpret_cast<uintptr_t>(canvas));
  host::gl::make_current(w, canvas->m_context);
  canvas->SetDefaultState();
  host::gl::make_current(m_probeWindow, m_context);
  if (!canvas->Create(mode, width, height, colourBits) || !AddCanvas(canvas)) {
    const int32_t code = g_VQerror;
    if (canvas->m_created) canvas->Destroy();
    return undo(code);
  }
  return canvas;
}

void VQOpenGLDisplayDevice::DestroyCanvas(VQCanvas* canvas, int destroyWindow) {
  if (!canvas || canvas->m_device != this) return;
  bool listed = false;
  for (uint32_t i = 0; i < m_canvasCount; ++i) listed = listed || m_canvases[i] == canvas;
  if (!listed) return;
  auto* c = static_cast<VQOpenGLCanvas*>(canvas);
  if (c->m_created) {
    if (host::is_window(c->m_window)) c->Show(false);
    c->Destroy();
  }
  host::gl::make_current(m_probeWindow, m_context);
  host::gl::delete_context(c->m_context);
  c->m_context = 0;
  if (host::is_window(c->m_window)) {
    host::set_user_data(c->m_window, 0);
    if (c->m_previousProc) host::set_window_proc(c->m_window, c->m_previousProc);
    if (!c->m_suppliedWindow && destroyWindow) VQwin32_DestroyWindow(c->m_window);
  }
  RemoveCanvas(c);
  delete c;
}

// ---- Canvas ----------------------------------------------------------------------------------

VQOpenGLDisplayDevice* VQOpenGLCanvas::Device() const { return static_cast<VQOpenGLDisplayDevice*>(m_device); }

void VQOpenGLCanvas::SetDefaultState() {
  g_VQgl.PointSize(1.0f);
  g_VQgl.Disable(VQGL_POINT_SMOOTH);
  g_VQgl.Disable(VQGL_LINE_STIPPLE);
  g_VQgl.FrontFace(VQGL_CCW);
  g_VQgl.CullFace(VQGL_BACK);
  g_VQgl.Enable(VQGL_CULL_FACE);
  g_VQgl.TexEnvi(VQGL_TEXTURE_ENV, VQGL_TEXTURE_ENV_MODE, VQGL_MODULATE);
  static const float ambient[4] = {0, 0, 0, 1};
  g_VQgl.LightModelfv(VQGL_LIGHT_MODEL_AMBIENT, ambient);
  g_VQgl.LightModelf(VQGL_LIGHT_MODEL_LOCAL_VIEWER, 1.0f);
  VQOpenGLDisplayDevice* d = Device();
  const uint32_t lights = d ? d->LightCount() : 8;
  for (uint32_t i = 0; i < lights; ++i) g_VQgl.Disable(VQGL_LIGHT0 + i);
  g_VQgl.Disable(VQGL_ALPHA_TEST);
  g_VQgl.AlphaFunc(VQGL_ALWAYS, 0.0f);
  if (d) {
    d->m_alphaFunction = 0;
    d->m_alphaReference = 0.0f;
    d->ResetState();
  }
}

VQViewport* VQOpenGLCanvas::CreateViewport(int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!m_created) {
    g_VQerror = VQERR_NOT_OPEN;
    return nullptr;
  }
  if (m_viewportCount >= VQCANVAS_MAX_VIEWPORTS) {
    g_VQerror = VQERR_TOO_MANY_VIEWPORTS;
    return nullptr;
  }
  auto* v = new (std::nothrow) VQOpenGLViewport();
  if (!v) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  v->m_device = Device();
  v->m_display = m_device;
  v->Create(this, x, y, width, height);
  AddViewport(v);
  return v;
}

bool VQOpenGLCanvas::MakeCurrent() {
  m_in2D = 0;
  return host::gl::make_current(m_window, m_context);
}

bool VQOpenGLCanvas::End() {
  g_VQgl.Flush();
  VQOpenGLDisplayDevice* d = Device();
  return d ? host::gl::make_current(d->m_probeWindow, d->m_context) : true;
}

void VQOpenGLCanvas::Present() {
  host::gl::make_current(m_window, m_context);
  host::gl::swap_buffers(m_window);
  VQOpenGLDisplayDevice* d = Device();
  if (d) host::gl::make_current(d->m_probeWindow, d->m_context);
}

void VQOpenGLCanvas::Begin2D() {
  if (m_in2D) return;
  m_in2D = 1;
  VQOpenGLDisplayDevice* d = Device();
  g_VQgl.MatrixMode(VQGL_PROJECTION);
  g_VQgl.LoadIdentity();
  g_VQgl.Ortho2D(0.0, double(m_width), 0.0, double(m_height));
  g_VQgl.MatrixMode(VQGL_MODELVIEW);
  g_VQgl.LoadIdentity();
  g_VQgl.Viewport(0, 0, VQGLsizei(m_width), VQGLsizei(m_height));
  g_VQgl.Color4f(1, 1, 1, 1);
  if (d) {
    d->m_colourChanged = 0;
    d->SetRenderFlag(VQRENDER_DEPTH_TEST, false);
    d->SetRenderFlag(VQRENDER_LIGHTING, false);
    d->ApplyState();
  }
}

void VQOpenGLCanvas::Show(bool show) {
  const uint8_t v = show ? 1 : 0;
  if (m_shown == v) return;
  if (m_mode == 1) {
    if (show && m_device) m_device->SetMode(m_width, m_height, m_colourBits, 0);
    if (!show) host::gl::restore_desktop_mode(m_window);
  }
  host::show_window(m_window, show);
  m_shown = v;
}

bool VQOpenGLCanvas::ReadPixels(uint32_t buffer, uint32_t, uint32_t, uint8_t* destination) {
  if (!m_created || !destination || buffer > 1) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  if (buffer == 1 && GetBufferingMode() == 4) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  const bool wasCurrent = host::gl::current_context() == m_context;
  if (!wasCurrent && !host::gl::make_current(m_window, m_context)) return VQerror_Fail(VQERR_GL_PROBE_CONTEXT);
  g_VQgl.ReadBuffer(buffer == 0 ? VQGL_FRONT : VQGL_BACK);
  g_VQgl.PixelStorei(VQGL_PACK_ALIGNMENT, 1);
  g_VQgl.ReadPixels(0, 0, VQGLsizei(m_width), VQGLsizei(m_height), VQGL_RGB, VQGL_UNSIGNED_BYTE, destination);
  if (!wasCurrent && Device()) host::gl::make_current(Device()->m_probeWindow, Device()->m_context);
  return true;
}

VQPixmap* VQOpenGLCanvas::GrabRect(int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!m_created || !m_device) {
    g_VQerror = VQERR_NOT_OPEN;
    return nullptr;
  }
  if (x < 0) {
    width += x;
    x = 0;
  }
  if (y < 0) {
    height += y;
    y = 0;
  }
  if (width > int32_t(m_width) - x) width = int32_t(m_width) - x;
  if (height > int32_t(m_height) - y) height = int32_t(m_height) - y;
  if (width <= 0 || height <= 0) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  VQPixmap* p = m_device->CreatePixmap(uint32_t(width), uint32_t(height), VQPF_BGR888);
  if (!p) return nullptr;
  uint8_t* pixels = static_cast<uint8_t*>(p->Lock(nullptr));
  const bool wasCurrent = host::gl::current_context() == m_context;
  if (!wasCurrent) host::gl::make_current(m_window, m_context);
  g_VQgl.ReadBuffer(GetBufferingMode() == 4 ? VQGL_FRONT : VQGL_BACK);
  g_VQgl.PixelStorei(VQGL_PACK_ALIGNMENT, 1);
  g_VQgl.ReadPixels(x, y, width, height, VQGL_RGB, VQGL_UNSIGNED_BYTE, pixels);
  if (!wasCurrent && Device()) host::gl::make_current(Device()->m_probeWindow, Device()->m_context);
  // OpenGL gives red first; format 7 keeps blue first. Rows come bottom first, the device's
  // row order.
  const size_t n = size_t(width) * size_t(height);
  for (size_t i = 0; i < n; ++i) std::swap(pixels[3 * i], pixels[3 * i + 2]);
  p->m_bottomUp = 1;
  return p;
}

void VQOpenGLCanvas::SetTitle(const char* text) { VQwin32_SetWindowTitle(m_window, text ? text : ""); }

void VQOpenGLCanvas::GetTitle(char* buffer, uint32_t size) {
  if (!buffer || size == 0) return;
  buffer[0] = 0;
  VQwin32_GetWindowTitle(m_window, buffer, int(size));
}

void VQOpenGLCanvas::SetPosition(int32_t x, int32_t y) { VQwin32_SetWindowPosition(m_window, x, y); }

// ---- Image blits -----------------------------------------------------------------------------

namespace {

// Blending by the image's depth: 16 and 24 bits opaque, 32 bits by source alpha.
void BlendByDepth(VQOpenGLDisplayDevice* d, uint32_t format) {
  const uint32_t bits = VQPixelFormat_BitsPerPixel(format);
  if (bits == 16 || bits == 24) {
    d->SetRenderFlag(VQRENDER_BLENDING, false);
  } else if (bits == 32) {
    d->SetRenderFlag(VQRENDER_BLENDING, true);
    d->SetBlend(VQBLEND_SRC_ALPHA, VQBLEND_INV_SRC_ALPHA);
  }
}

// The texture of an image when it belongs to this device.
VQOpenGLTexture* TextureOf(const VQImageRef* image, VQOpenGLDisplayDevice* d) {
  if (!image || !image->m_texture || image->m_texture->m_device != d) return nullptr;
  return static_cast<VQOpenGLTexture*>(image->m_texture);
}

void TexturedQuad(int32_t x, int32_t y, int32_t w, int32_t h, float u0, float v0, float u1, float v1) {
  g_VQgl.TexCoord2f(u0, v0);
  g_VQgl.Vertex2i(x, y);
  g_VQgl.TexCoord2f(u1, v0);
  g_VQgl.Vertex2i(x + w, y);
  g_VQgl.TexCoord2f(u1, v1);
  g_VQgl.Vertex2i(x + w, y + h);
  g_VQgl.TexCoord2f(u0, v1);
  g_VQgl.Vertex2i(x, y + h);
}

}  // namespace

void VQOpenGLCanvas::BlitImageBatch(const VQImageRef* image, uint32_t count, const int32_t* xs,
                                    const int32_t* ys) {
  VQOpenGLDisplayDevice* d = Device();
  if (!m_created || !d || !xs || !ys) return;
  VQOpenGLTexture* t = TextureOf(image, d);
  if (!t) return;
  BlendByDepth(d, t->m_format);
  d->BindTextureName(t->m_glName);
  const int32_t w = int32_t(t->m_width), h = int32_t(t->m_height);
  g_VQgl.Begin(VQGL_QUADS);
  for (uint32_t i = 0; i < count; ++i) TexturedQuad(xs[i], ys[i], w, h, 0, 0, 1, 1);
  g_VQgl.End();
}

void VQOpenGLCanvas::BlitImage(const VQImageRef* image, int32_t x, int32_t y, uint32_t, uint32_t) {
  VQOpenGLDisplayDevice* d = Device();
  if (!m_created || !d || !image) return;
  VQPixmap* pixmap = image->m_pixmap;
  VQOpenGLTexture* texture = pixmap ? nullptr : TextureOf(image, d);
  int32_t width = 0, height = 0;
  uint32_t format = 0;
  if (pixmap) {
    width = int32_t(pixmap->m_width);
    height = int32_t(pixmap->m_height);
    format = pixmap->m_format;
  } else if (texture) {
    width = int32_t(texture->m_width);
    height = int32_t(texture->m_height);
    format = texture->m_format;
  } else {
    return;
  }
  // Entirely outside the canvas: nothing to draw (a piece left or below it would give
  // a negative size to draw).
  if (x >= int32_t(m_width) || y >= int32_t(m_height) || x + width <= 0 || y + height <= 0) return;
  if (texture) {
    BlendByDepth(d, format);
    d->BindTextureName(texture->m_glName);
    g_VQgl.Begin(VQGL_QUADS);
    TexturedQuad(x, y, width, height, 0, 0, 1, 1);
    g_VQgl.End();
    return;
  }
  const VQGLenum glFormat = PixmapFormat(format);
  void* pixels = pixmap->Lock(nullptr);
  if (!glFormat || !pixels) return;  // only 24- and 32-bit RGB pixmaps are drawn
  BlendByDepth(d, format);
  d->SetTexturing(false);
  int32_t drawWidth = width, drawHeight = height;
  if (x < 0) {
    g_VQgl.PixelStorei(VQGL_UNPACK_SKIP_PIXELS, -x);
    g_VQgl.PixelStorei(VQGL_UNPACK_ROW_LENGTH, width);
    drawWidth = width + x;
    x = 0;
  } else {
    g_VQgl.PixelStorei(VQGL_UNPACK_SKIP_PIXELS, 0);
    g_VQgl.PixelStorei(VQGL_UNPACK_ROW_LENGTH, 0);
  }
  if (y < 0) {
    g_VQgl.PixelStorei(VQGL_UNPACK_SKIP_ROWS, -y);
    drawHeight = height + y;
    y = 0;
  } else {
    g_VQgl.PixelStorei(VQGL_UNPACK_SKIP_ROWS, 0);
  }
  g_VQgl.RasterPos2i(x, y);
  g_VQgl.PixelStorei(VQGL_UNPACK_ALIGNMENT, 1);
  g_VQgl.DrawPixels(drawWidth, drawHeight, glFormat, VQGL_UNSIGNED_BYTE, pixels);
  ResetUnpack();
}

void VQOpenGLCanvas::BlitImageRects(const VQImageRef* image, uint32_t count, const int32_t* dx,
                                    const int32_t* dy, const int32_t* sx, const int32_t* sy,
                                    const int32_t* w, const int32_t* h) {
  VQOpenGLDisplayDevice* d = Device();
  if (!m_created || !d || !image || !dx || !dy || !sx || !sy || !w || !h) return;
  VQPixmap* pixmap = image->m_pixmap;
  VQOpenGLTexture* texture = pixmap ? nullptr : TextureOf(image, d);
  if (!pixmap && !texture) return;
  const int32_t cw = int32_t(m_width), ch = int32_t(m_height);
  auto onCanvas = [&](uint32_t i) { return dx[i] < cw && dy[i] < ch && dx[i] + w[i] > 0 && dy[i] + h[i] > 0; };
  if (texture) {
    BlendByDepth(d, texture->m_format);
    d->BindTextureName(texture->m_glName);
    const float tw = float(texture->m_width), th = float(texture->m_height);
    g_VQgl.Begin(VQGL_QUADS);
    for (uint32_t i = 0; i < count; ++i) {
      if (!onCanvas(i)) continue;
      TexturedQuad(dx[i], dy[i], w[i], h[i], sx[i] / tw, sy[i] / th, (sx[i] + w[i]) / tw, (sy[i] + h[i]) / th);
    }
    g_VQgl.End();
    return;
  }
  const VQGLenum glFormat = PixmapFormat(pixmap->m_format);
  const uint8_t* pixels = static_cast<const uint8_t*>(pixmap->Lock(nullptr));
  if (!glFormat || !pixels) return;
  BlendByDepth(d, pixmap->m_format);
  d->SetTexturing(false);
  const int64_t pw = pixmap->m_width, ph = pixmap->m_height;
  for (uint32_t i = 0; i < count; ++i) {
    // A piece off the canvas, or whose source rectangle is not inside the pixmap, is left
    // out: OpenGL would be handed a negative size or read past the pixels.
    if (!onCanvas(i) || w[i] <= 0 || h[i] <= 0 || sx[i] < 0 || sy[i] < 0 || sx[i] + int64_t(w[i]) > pw ||
        sy[i] + int64_t(h[i]) > ph)
      continue;
    int32_t x = dx[i], y = dy[i], width = w[i], height = h[i];
    if (x < 0) {
      g_VQgl.PixelStorei(VQGL_UNPACK_SKIP_PIXELS, sx[i] - x);
      width += x;
      x = 0;
    } else {
      g_VQgl.PixelStorei(VQGL_UNPACK_SKIP_PIXELS, sx[i]);
    }
    g_VQgl.PixelStorei(VQGL_UNPACK_ROW_LENGTH, int32_t(pw));
    if (y < 0) {
      g_VQgl.PixelStorei(VQGL_UNPACK_SKIP_ROWS, sy[i] - y);
      height += y;
      y = 0;
    } else {
      g_VQgl.PixelStorei(VQGL_UNPACK_SKIP_ROWS, sy[i]);
    }
    g_VQgl.RasterPos2i(x, y);
    g_VQgl.PixelStorei(VQGL_UNPACK_ALIGNMENT, 1);
    g_VQgl.DrawPixels(width, height, glFormat, VQGL_UNSIGNED_BYTE, pixels);
  }
  ResetUnpack();
}

// ---- Viewport --------------------------------------------------------------------------------

bool VQOpenGLViewport::Begin() {
  VQRenderContext& rc = g_VQrender;
  g_VQgl.Viewport(m_x, m_y, m_width, m_height);
  g_VQgl.MatrixMode(VQGL_PROJECTION);
  g_VQgl.LoadIdentity();
  if (m_camera) {
    if (m_camera->m_projection == 1)
      g_VQgl.Frustum(rc.m_left, rc.m_right, rc.m_bottom, rc.m_top, rc.m_near, rc.m_far);
    else if (m_camera->m_projection == 0)
      g_VQgl.Ortho(rc.m_left, rc.m_right, rc.m_bottom, rc.m_top, rc.m_near, rc.m_far);
    g_VQgl.MatrixMode(VQGL_MODELVIEW);
    g_VQgl.LoadIdentity();
    m_camera->m_matrix.Inverse(rc.m_view);
    rc.m_matrices[0] = rc.m_view;
    rc.m_matrixCount = 1;
    rc.m_matrixChanged = 1;
  } else {
    rc.m_matrixCount = 0;
  }
  if (m_device) m_device->ResetState();
  return true;
}

void VQOpenGLViewport::Clear(uint32_t word) {
  if (m_clearFlags == 0) return;
  VQGLbitfield mask = 0;
  if (m_clearFlags & 1) {
    g_VQgl.ClearColor(m_clearColour.r, m_clearColour.g, m_clearColour.b, m_clearColour.a);
    mask |= VQGL_COLOR_BUFFER_BIT;
  }
  if (m_clearFlags & 2) {
    g_VQgl.ClearDepth(1.0);
    mask |= VQGL_DEPTH_BUFFER_BIT;
  }
  if (word == 0) mask |= VQGL_DEPTH_BUFFER_BIT;
  const int32_t cw = m_canvas ? int32_t(m_canvas->m_width) : m_canvasWidth;
  const int32_t ch = m_canvas ? int32_t(m_canvas->m_height) : m_canvasHeight;
  if (m_x == 0 && m_y == 0 && m_width == cw && m_height == ch) {
    g_VQgl.Clear(mask);
    return;
  }
  // A part of the canvas: a quad on the far plane replaces colour and depth.
  g_VQgl.MatrixMode(VQGL_MODELVIEW);
  g_VQgl.PushMatrix();
  g_VQgl.LoadIdentity();
  g_VQgl.MatrixMode(VQGL_PROJECTION);
  g_VQgl.PushMatrix();
  SetProjection(-1, 1, -1, 1, 1, 2);
  g_VQgl.DepthFunc(VQGL_ALWAYS);
  g_VQgl.Begin(VQGL_QUADS);
  g_VQgl.Color3f(m_clearColour.r, m_clearColour.g, m_clearColour.b);
  g_VQgl.Vertex3f(-2, -2, -2);
  g_VQgl.Vertex3f(2, -2, -2);
  g_VQgl.Vertex3f(2, 2, -2);
  g_VQgl.Vertex3f(-2, 2, -2);
  g_VQgl.End();
  g_VQgl.DepthFunc(VQGL_LESS);
  g_VQgl.PopMatrix();
  g_VQgl.MatrixMode(VQGL_MODELVIEW);
  g_VQgl.PopMatrix();
  // The quad left its colour current.
  if (m_device) m_device->m_colourChanged = 1;
}

bool VQOpenGLViewport::ApplySize(int32_t width, int32_t height) {
  g_VQgl.Viewport(m_x, m_y, width, height);
  return true;
}

bool VQOpenGLViewport::ApplyPosition(int32_t x, int32_t y) {
  g_VQgl.Viewport(x, y, m_width, m_height);
  return true;
}

bool VQOpenGLViewport::ApplyRect(int32_t x, int32_t y, int32_t width, int32_t height) {
  g_VQgl.Viewport(x, y, width, height);
  return true;
}

void VQOpenGLViewport::SetProjection(float left, float right, float bottom, float top, float nearZ, float farZ) {
  VQGLint mode = VQGL_MODELVIEW;
  g_VQgl.GetIntegerv(VQGL_MATRIX_MODE, &mode);
  g_VQgl.MatrixMode(VQGL_PROJECTION);
  g_VQgl.LoadIdentity();
  g_VQgl.Frustum(left, right, bottom, top, nearZ, farZ);
  g_VQgl.MatrixMode(VQGLenum(mode));
}
