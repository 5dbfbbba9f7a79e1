// A canvas: one render window of a display device, with up to 16 viewports that each render
// a scene through a camera, the 2D overlay drawn over them, and the per-frame user callbacks.
// The display device creates canvases (CreateCanvas), renders them (RenderFrame, from the
// device's RenderAll) and presents them (Present, from PresentAll) once per frame.
//
// The window carries the canvas in its user-data slot; the engine's window procedure reads
// the window fields below and calls Resize on size changes. Drivers derive their canvas and
// fill the virtual operations; the base versions draw nothing.
#pragma once

#include <cstdint>

#include "host/window/window.h"

class VQDisplayDevice;
class VQViewport;
class VQPixmap;
class VQImageRef;
class VQCanvas;

constexpr uint32_t VQCANVAS_MAX_VIEWPORTS = 16;

// A canvas callback with its user word (which may carry a pointer).
using VQCanvasCallback = void (*)(VQCanvas* canvas, uintptr_t userWord);

// The 2D overlay and the mouse cursor live in layers above the canvas; they attach here.
// create runs at the end of VQCanvas::Create (false fails the creation), destroy in
// VQCanvas::Destroy, draw once a frame after the post-scene callback, drawCursor after it.
struct VQCanvasOverlayHooks {
  bool (*create)(VQCanvas* canvas) = nullptr;
  void (*destroy)(VQCanvas* canvas) = nullptr;
  void (*draw)(VQCanvas* canvas) = nullptr;
  void (*drawCursor)(VQCanvas* canvas) = nullptr;
};
extern VQCanvasOverlayHooks g_VQcanvasOverlay;

class VQCanvas {
 public:
  VQCanvas() = default;
  // Drivers destroy a created canvas before deleting it (VQCanvas::Destroy).
  virtual ~VQCanvas() = default;

  VQCanvas(const VQCanvas&) = delete;
  VQCanvas& operator=(const VQCanvas&) = delete;

  // Driver operations. Base: nothing drawn, false or null results.
  // A new viewport of the driver: error 32 when the canvas is not created, 15 when it holds
  // 16 viewports, 16 out of memory.
  virtual VQViewport* CreateViewport(int32_t x, int32_t y, int32_t width, int32_t height);
  virtual void Present() {}
  // Pixel coordinates for overlay drawing (origin bottom left, y up, one unit per pixel).
  virtual void Begin2D() { m_in2D = 1; }
  // 1..4; 4 = single buffered (no back buffer to read).
  virtual uint32_t GetBufferingMode() { return 2; }
  virtual void Show(bool show) { m_shown = show ? 1 : 0; }
  virtual void* LockBackBuffer(uint32_t) { return nullptr; }
  // buffer 0 front, 1 back: the whole canvas as rows of 24-bit RGB, bottom row first.
  virtual bool ReadPixels(uint32_t buffer, uint32_t, uint32_t, uint8_t* destination);
  // A new pixmap of format 7 of the rectangle, clipped to the canvas.
  virtual VQPixmap* GrabRect(int32_t x, int32_t y, int32_t width, int32_t height);
  virtual VQPixmap* Grab(uint32_t) { return GrabRect(0, 0, int32_t(m_width), int32_t(m_height)); }
  virtual void RestoreSurfaces() {}
  // Rebuilds the driver's surfaces for the current size; true when the canvas can draw.
  virtual bool RecreateSurfaces() = 0;
  // Makes this canvas the drawing target; clears the 2D-mode flag.
  virtual bool MakeCurrent() {
    m_in2D = 0;
    return true;
  }
  virtual bool End() { return true; }
  virtual void SetTitle(const char*) {}
  virtual void GetTitle(char* buffer, uint32_t size);
  virtual void DeleteViewport(VQViewport* viewport);
  // Image blits onto the canvas in 2D mode (after Begin2D).
  virtual void BlitImageBatch(const VQImageRef*, uint32_t, const int32_t*, const int32_t*) {}
  virtual void BlitImage(const VQImageRef*, int32_t, int32_t, uint32_t, uint32_t) {}
  virtual void BlitImageRects(const VQImageRef*, uint32_t, const int32_t*, const int32_t*,
                              const int32_t*, const int32_t*, const int32_t*, const int32_t*) {}
  virtual void BlitImageTen(const VQImageRef*, uintptr_t, uintptr_t, uintptr_t, uintptr_t,
                            uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t) {}
  virtual void SetPosition(int32_t, int32_t) {}
  virtual uint32_t QueryDevice() { return 0; }
  virtual void FillRect(uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t) {}
  virtual bool QueryWord(uint32_t) { return false; }

  // Called by the driver once its window and context exist. Already created: true.
  bool Create(uint32_t mode, uint32_t width, uint32_t height, uint32_t colourBits);
  // Deletes every viewport (newest first), the overlay and the scratch record; detaches the
  // mouse; the canvas is no longer created.
  void Destroy();
  VQViewport* GetViewport(uint32_t index) const;
  // False when 16 are held.
  bool AddViewport(VQViewport* viewport);
  // False when absent; the later entries keep their order.
  bool RemoveViewport(VQViewport* viewport);
  // Changes the canvas size: stores the new size and lets the driver rebuild its surfaces;
  // when that fails the old size is restored (and the surfaces rebuilt for it) and the
  // result is false. Active viewports are scaled with the canvas and their cameras keep
  // their aspect; then the resize callback runs. A zero width or height is refused (error
  // 28): there is nothing to draw into and the viewports could not be scaled back.
  bool Resize(uint32_t width, uint32_t height);
  // One frame: pre-frame callback, viewports, 2D mode, post-scene callback, overlay,
  // cursor, last callback, End. Nothing unless created and shown.
  void RenderFrame();

  void SetCallbacks(VQCanvasCallback preFrame, uintptr_t preWord, VQCanvasCallback postScene,
                    uintptr_t postWord, VQCanvasCallback last, uintptr_t lastWord);
  void SetResizeCallback(VQCanvasCallback callback, uintptr_t word) {
    m_resizeCallback = callback;
    m_resizeWord = word;
  }

  uint32_t m_mode = 0;      // 2 windowed, any other value full screen
  uint8_t m_shown = 0;
  uint32_t m_width = 0;     // pixels
  uint32_t m_height = 0;    // pixels
  uint32_t m_colourBits = 0;
  VQDisplayDevice* m_device = nullptr;  // owning display device
  uint32_t m_viewportCount = 0;
  VQViewport* m_viewports[VQCANVAS_MAX_VIEWPORTS] = {};
  uint32_t m_grabFormat = 0;  // pixel format of grabs (the OpenGL canvas: 7)
  uint8_t m_in2D = 0;         // set by Begin2D, cleared by MakeCurrent
  uint8_t m_spareByte = 0;
  uint32_t m_spareWords[2] = {0, 0};
  float m_spareFloats[2] = {1000.0f, 1000.0f};
  uint8_t m_spareByte2 = 0;
  void* m_windowManager = nullptr;  // overlay window manager (owned by the overlay layer)
  void* m_rootWindow = nullptr;     // its full-canvas root window
  VQCanvasCallback m_preFrame = nullptr;
  VQCanvasCallback m_postScene = nullptr;  // the game's head-up display
  VQCanvasCallback m_lastCallback = nullptr;
  uintptr_t m_preFrameWord = 0, m_postSceneWord = 0, m_lastWord = 0;
  VQCanvasCallback m_resizeCallback = nullptr;
  uintptr_t m_resizeWord = 0;
  uint8_t* m_scratch = nullptr;  // 20 bytes, window mode 1 only
  void* m_mouse = nullptr;       // attached mouse device (the input layer's)
  uint8_t m_overlayCursor = 0;   // the attached mouse draws its cursor in the overlay
  uint32_t m_bufferingMode = 0;
  uint32_t m_bufferCount = 0, m_backBufferCount = 0, m_swapCount = 0;
  uint8_t m_created = 0;

  // Window of the canvas. The OpenGL and Direct3D canvases may be given a window by the
  // application instead of creating one: then m_suppliedWindow is set and the window
  // procedure forwards every message to m_previousProc, the window's procedure before the
  // canvas replaced it.
  host::window_handle m_window = 0;
  uint8_t m_suppliedWindow = 0;
  void* m_soundDevice = nullptr;  // the sound device attached to this canvas, if any
  host::window_proc m_previousProc = nullptr;
};

// The clip-rectangle stack of the cursor drawing: entry 0 is (0, 0, 640, 480) and stays.
constexpr uint32_t VQCLIP_STACK = 8;
struct VQClipRect {
  int32_t x0, y0, x1, y1;
};
// False when the stack is full.
bool VQclip_Push(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void VQclip_Pop();
const VQClipRect& VQclip_Top();
