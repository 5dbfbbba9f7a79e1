// The software display device (kind 4): a display device without a screen. It has no
// canvases and draws nothing, but creates, loads, converts and deletes textures and pixmaps in
// system memory, so that tools and image code (texture and pixmap managers, image files,
// blits) work without graphics hardware. It is also the test double of everything that draws.
#pragma once

#include <cstdint>

#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/resources/VQPixmap.h"
#include "Zentri/resources/VQTexture.h"

// A pixmap whose pixels are one block of width x height x bytes per pixel, rows packed
// (pitch = width).
class VQSoftwarePixmap : public VQPixmap {
 public:
  VQSoftwarePixmap();
  ~VQSoftwarePixmap() override;
  void FreePixels() override;
  void* Allocate(uint32_t width, uint32_t height, uint32_t format, uint32_t* pitch) override;
  bool CopyFrom(const VQPixmap& other) override;
  void* Lock(uint32_t* pitch) override;
  VQPixmap* CloneEmpty() override;
  // Channel / field maximum per channel; format 1 through the palette; (0, 0, 0, 1) for
  // unknown formats and positions outside the pixmap.
  float* GetPixel(float* rgba, uint32_t x, uint32_t y) override;

  uint8_t* m_pixels = nullptr;
  static uint32_t s_live;  // instances alive
};

// A texture with one level in system memory.
class VQSoftwareTexture : public VQTexture {
 public:
  VQSoftwareTexture();
  ~VQSoftwareTexture() override;
  // Level 0 only; the pitch is the width.
  void* Lock(uint32_t* pitch, uint32_t level) override;
  void SetSampling(uint32_t, uint32_t, uint32_t, uint32_t) override {}
  bool Upload() override { return false; }
  // Outside the texture or without pixels: (0, 0, 0, 0).
  float* GetPixel(float* rgba, uint32_t x, uint32_t y) override;
  // Outside the texture or without pixels: nothing.
  void SetPixel(uint32_t x, uint32_t y, const float* rgba) override;

  uint32_t m_allocWidth = 0, m_allocHeight = 0;
  uint8_t* m_pixels = nullptr;
  static uint32_t s_live;
};

class VQSoftwareDisplayDevice : public VQDisplayDevice {
 public:
  explicit VQSoftwareDisplayDevice(uint32_t instance);
  ~VQSoftwareDisplayDevice() override;

  bool Init() override { return true; }
  // Creates the managers and registers with the system object (a refused registration undoes
  // everything and fails). Nothing when already open.
  bool Open(uint32_t parameter) override;
  void Close() override;
  const char* GetName() override { return "Software display device"; }

  void RenderAll() override {}
  void PresentAll() override {}
  void DestroyCanvas(VQCanvas*, int) override {}
  VQCanvas* CreateCanvas(uint32_t, uintptr_t, uint32_t, uint32_t, uint32_t, uint32_t) override {
    return nullptr;
  }
  // Null pixels, a zero size or an unknown format: error 28. The pixels (tightly packed) are
  // copied; the palette is taken over.
  VQTexture* CreateTexture(const void* pixels, uint32_t width, uint32_t height, uint32_t format,
                           uint8_t* palette, uint32_t word) override;
  // Reads the image file into a new texture, bottom row first.
  VQTexture* CreateTextureFromFile(const char* path, uint32_t loadFactor, uint32_t word) override;
  // A zero size gives an empty pixmap; format 1 gets a zeroed 1024-byte palette. Unknown
  // format: error 28; no memory: error 16.
  VQPixmap* CreatePixmap(uint32_t width, uint32_t height, uint32_t format) override;
  VQPixmap* CreatePixmapFromFile(const char* path) override;

  uint32_t m_instance;
  static uint32_t s_live;  // devices constructed and not destroyed
};

// The getter of kind 4: index 0 only (else error 39, null); probes a closed device with Init.
VQDevice* VQsoftware_GetDisplayDevice(int kind, int index);
