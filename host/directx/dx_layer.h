// What the DirectDraw and Direct3D-shaped layer offers, and switches for tests: which
// Direct3D devices an adapter has, how many adapters exist, whether the hardware renders into
// windows and accepts flip chains, and forced surface loss (surfaces are never lost on Linux
// by themselves).
#pragma once

#include <cstdint>

#include "host/directx/ddraw.h"

namespace host::d3d {

struct layer_options {
  // Direct3D devices offered: by default the hardware devices with and without transform
  // and lighting.
  bool rgb_device = false;
  bool hal_device = true;
  bool tnl_device = true;
  bool ref_device = false;
  uint32_t adapters = 1;            // adapters enumerated (the first is the primary)
  bool render_windowed = true;      // DDCAPS2_CANRENDERWINDOWED
  bool flip_chains = true;          // a primary with back buffers can be made
  bool gamma = true;                // DDCAPS_READSCANLINE and a gamma control on primaries
  bool square_textures = false;     // D3DPTEXTURECAPS_SQUAREONLY
  uint32_t max_texture_size = 0;    // 0: what OpenGL allows (at most 2048)
  bool no_display_modes = false;    // EnumDisplayModes reports nothing
  bool device_creation = true;      // CreateDevice succeeds
};

// The options in force; tests change them and put back the defaults with reset_options.
layer_options& options();
void reset_options();

// Marks every surface of the DirectDraw object lost (Lock, Blt, BeginScene then fail with
// DDERR_SURFACELOST until Restore or RestoreAllSurfaces).
void force_surface_loss(IDirectDraw7* ddraw);

// Objects alive in the layer (DirectDraw objects, surfaces, devices, vertex buffers), for
// tests that check releases.
uint32_t live_objects();

}  // namespace host::d3d
