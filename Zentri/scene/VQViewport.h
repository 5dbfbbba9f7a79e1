// A viewport: a rectangle of a canvas in which one camera sees one scene. The base class
// holds the rectangle, camera, scene root, clear settings and callbacks and renders one frame
// (fills the render context, runs the scene between the device's begin and end). Display
// devices derive their viewports and provide the device operations; the base versions suit a
// device without a screen (Begin loads the view transform and answers true).
#pragma once

#include <cstdint>

#include "Zentri/math/VQColor.h"

class VQCamera;
class VQNode;
class VQCanvas;
class VQDisplayDevice;
class VQImageRef;
class VQViewport;

using VQViewportCallback = void (*)(VQViewport* viewport);
using VQViewportUserCallback = void (*)(VQViewport* viewport, uintptr_t userWord);

class VQViewport {
 public:
  VQViewport() = default;
  virtual ~VQViewport();
  VQViewport(const VQViewport&) = delete;
  VQViewport& operator=(const VQViewport&) = delete;

  // Device operations.
  virtual bool Begin();
  virtual void End() {}
  virtual void Clear(uint32_t) {}
  virtual bool ApplySize(int32_t, int32_t) { return true; }
  virtual bool ApplyPosition(int32_t, int32_t) { return true; }
  virtual bool ApplyRect(int32_t, int32_t, int32_t, int32_t) { return true; }
  virtual void SetProjection(float left, float right, float bottom, float top, float nearZ,
                             float farZ);

  // Stores the rectangle and resets the settings. The canvas's viewport list belongs to the
  // canvas layer; the creator sets m_canvas and m_display first.
  bool Create(VQCanvas* canvas, int32_t x, int32_t y, int32_t width, int32_t height);
  void Destroy();
  void SetCamera(VQCamera* camera);
  bool SetPosition(int32_t x, int32_t y);
  bool SetSize(int32_t width, int32_t height);
  bool SetRect(int32_t x, int32_t y, int32_t width, int32_t height);
  void SetName(const char* text);
  // Takes the image over (owned); the old one is destroyed.
  void SetBackground(VQImageRef* image);
  // Pixel position of a point (transformed by the top of the model-matrix stack).
  void ProjectPoint(const class VQVector& point, float& x, float& y, bool& behind) const;
  void Render(uint32_t argument);

  VQImageRef* m_background = nullptr;  // owned
  char* m_name = nullptr;
  uint8_t m_active = 0;
  uint8_t m_portalMode = 0;
  uint8_t m_lighting = 1;
  uint8_t m_further = 1;
  uint32_t m_fillMode = 3;
  int32_t m_x = 0, m_y = 0, m_width = 0, m_height = 0;
  VQCamera* m_camera = nullptr;
  VQCanvas* m_canvas = nullptr;
  VQDisplayDevice* m_display = nullptr;  // the canvas's display device
  // Canvas size in pixels (from the canvas when one is set).
  int32_t m_canvasWidth = 0, m_canvasHeight = 0;
  VQNode* m_root = nullptr;
  uint32_t m_clearFlags = 3;
  VQColor m_clearColour{0, 0, 0, 0};
  VQViewportCallback m_preRender = nullptr;
  uint32_t m_furtherWord = 1;
  VQViewportUserCallback m_beforeScene = nullptr;
  uintptr_t m_beforeWord = 0;
  VQViewportUserCallback m_afterScene = nullptr;
  uintptr_t m_afterWord = 0;
  uint8_t m_created = 0;
};
