// The display device: a device of a display kind (1 to 4) that owns canvases and renders and
// presents them once per frame from the frame pump.
//
// Only the operations the system object and the window procedure call are declared here,
// in their slot order after the seven of VQDevice; the display-device layer adds the rest.
#pragma once

#include <cstdint>

#include "Zentri/devices/VQDevice.h"

class VQCanvas;

class VQDisplayDevice : public VQDevice {
 public:
  explicit VQDisplayDevice(uint32_t kind) : VQDevice(kind) {}

  // Renders one frame of every created and shown canvas.
  virtual void RenderAll() = 0;
  // Presents every created and shown canvas, then lets the driver flush.
  virtual void PresentAll() = 0;
  // Removes and deletes a canvas; with destroyWindow clear its window is left alone (the
  // window procedure passes 0 because the window is already being destroyed).
  virtual void DestroyCanvas(VQCanvas* canvas, int destroyWindow) = 0;
};
