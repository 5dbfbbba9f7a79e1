// A canvas: one render window of a display device. The window carries the canvas in its
// user-data slot, and the engine's window procedure reads the fields below and calls
// Resize on size changes.
//
// Only what the window procedure needs is here; the canvas layer adds viewports, overlay
// and the drawing operations.
#pragma once

#include <cstdint>

#include "host/window/window.h"

class VQDisplayDevice;

class VQCanvas {
 public:
  VQCanvas() = default;
  virtual ~VQCanvas() = default;

  VQCanvas(const VQCanvas&) = delete;
  VQCanvas& operator=(const VQCanvas&) = delete;

  // Changes the canvas size: stores the new size and lets the driver rebuild its surfaces;
  // when that fails the old size is restored (and the surfaces rebuilt for it) and the
  // result is false.
  bool Resize(uint32_t width, uint32_t height);

  // Rebuilds the driver's surfaces for the current size; true when the canvas can draw.
  virtual bool RecreateSurfaces() = 0;

  uint32_t m_mode = 0;      // display mode: 1 full screen; the Direct3D device uses 2 windowed
  uint8_t m_shown = 0;
  uint32_t m_width = 0;     // pixels
  uint32_t m_height = 0;    // pixels
  uint32_t m_colourBits = 0;
  VQDisplayDevice* m_device = nullptr;  // owning display device

  // Window of the canvas. The OpenGL and Direct3D canvases may be given a window by the
  // application instead of creating one: then m_suppliedWindow is set and the window
  // procedure forwards every message to m_previousProc, the window's procedure before the
  // canvas replaced it.
  host::window_handle m_window = 0;
  uint8_t m_suppliedWindow = 0;
  host::window_proc m_previousProc = nullptr;
};
