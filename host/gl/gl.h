// Host OpenGL layer: the stand-in for the system OpenGL and GLU libraries and for the
// context, pixel-format, buffer-swap and display-mode services of the windowing system, over
// SDL2 (OpenGL through SDL's loader, GLU through dlopen of libGLU).
//
// Contexts use the compatibility profile, so the fixed-function calls of OpenGL 1.1 work.
// Without a display SDL's offscreen driver gives windows with OpenGL through EGL (Mesa).
// Everything here runs on the thread that made the windows.
#pragma once

#include <cstdint>

#include "host/window/window.h"

namespace host::gl {

// Loads the OpenGL library (false when it cannot be loaded) and, separately, GLU.
bool load_library();
bool load_glu();
// Forgets GLU; the OpenGL library itself stays loaded by the window layer for the run.
void unload_library();
// Address of an OpenGL function (SDL's loader) or of a GLU function (names "glu..."); null
// when unknown or not loaded.
void* proc_address(const char* name);

// The pixel format asked for by windows created from now on: colour bits (0 keeps the
// default), depth bits, double buffering. The window layer's windows take it at creation.
void request_pixel_format(int colour_bits, int depth_bits, bool double_buffer);
// Depth bits currently asked for.
int requested_depth_bits();
// True when the window can carry an OpenGL context (it was created with an OpenGL surface).
bool window_has_gl(window_handle w);

using context = uintptr_t;  // 0 = none

// A context for the window, made current on success; with share set it shares textures with
// the context current at the call. 0 on failure.
context create_context(window_handle w, bool share_with_current);
// Makes the context current on the window; c = 0 releases the current context.
bool make_current(window_handle w, context c);
context current_context();
void delete_context(context c);
bool swap_buffers(window_handle w);

// Display modes of the first display.
struct display_mode {
  int width = 0, height = 0, bits = 0, refresh = 0;
};
bool desktop_mode(display_mode* out);
int mode_count();
bool mode_at(int index, display_mode* out);
// Full-screen mode change for a window; false when refused.
bool set_fullscreen_mode(window_handle w, const display_mode& mode);
// Back to the desktop mode (the window leaves full screen).
bool restore_desktop_mode(window_handle w);

}  // namespace host::gl
