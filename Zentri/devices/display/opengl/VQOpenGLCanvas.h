// The OpenGL canvas and viewport: a render window with its own OpenGL context (sharing
// textures with the device's context), the 2D mode of the overlay, back-buffer read-back and
// grabs, and the three image blits; and the viewport, whose Begin sets projection and view
// for the scene and resets the device's state cache, and whose Clear clears its rectangle.
#pragma once

#include <cstdint>

#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/scene/VQViewport.h"
#include "host/gl/gl.h"

class VQOpenGLDisplayDevice;

class VQOpenGLCanvas : public VQCanvas {
 public:
  VQOpenGLCanvas() { m_grabFormat = 7; }
  ~VQOpenGLCanvas() override = default;

  VQViewport* CreateViewport(int32_t x, int32_t y, int32_t width, int32_t height) override;
  void Present() override;
  void Begin2D() override;
  uint32_t GetBufferingMode() override { return 2; }
  void Show(bool show) override;
  // Rows of 24-bit RGB, bottom row first, pack alignment 1: width x height x 3 bytes.
  bool ReadPixels(uint32_t buffer, uint32_t, uint32_t, uint8_t* destination) override;
  // Clamps a negative origin to 0 and the size to the canvas; a format-7 pixmap in the
  // device's row order (bottom row first). Null when nothing of the rectangle is left.
  VQPixmap* GrabRect(int32_t x, int32_t y, int32_t width, int32_t height) override;
  bool RecreateSurfaces() override { return true; }
  bool MakeCurrent() override;
  bool End() override;
  void SetTitle(const char* text) override;
  void GetTitle(char* buffer, uint32_t size) override;
  void BlitImageBatch(const VQImageRef* image, uint32_t count, const int32_t* xs,
                      const int32_t* ys) override;
  void BlitImage(const VQImageRef* image, int32_t x, int32_t y, uint32_t, uint32_t) override;
  void BlitImageRects(const VQImageRef* image, uint32_t count, const int32_t* dx,
                      const int32_t* dy, const int32_t* sx, const int32_t* sy, const int32_t* w,
                      const int32_t* h) override;
  void SetPosition(int32_t x, int32_t y) override;

  // Sets the state every canvas context starts with (point size, culling, texture
  // environment, light model, lights off, alpha test) and resets the device cache.
  void SetDefaultState();

  VQOpenGLDisplayDevice* Device() const;

  host::gl::context m_context = 0;
};

class VQOpenGLViewport : public VQViewport {
 public:
  VQOpenGLViewport() = default;
  ~VQOpenGLViewport() override = default;

  bool Begin() override;
  void End() override {}
  void Clear(uint32_t word) override;
  bool ApplySize(int32_t width, int32_t height) override;
  bool ApplyPosition(int32_t x, int32_t y) override;
  bool ApplyRect(int32_t x, int32_t y, int32_t width, int32_t height) override;
  // The frustum as the projection (the matrix mode is kept).
  void SetProjection(float left, float right, float bottom, float top, float nearZ,
                     float farZ) override;

  VQOpenGLDisplayDevice* m_device = nullptr;  // set by the canvas's CreateViewport
};
