#include "host/gl/gl.h"

#include <SDL.h>
#include <dlfcn.h>

#include <cstring>

namespace host::gl {

namespace {

void* s_glu = nullptr;
int s_depthBits = 24;

SDL_Window* Sdl(window_handle w) { return static_cast<SDL_Window*>(native_window(w)); }

int BitsOf(uint32_t format) {
  const int bits = SDL_BITSPERPIXEL(format);
  return bits == 24 ? 32 : bits;  // a 24-bit desktop is a 32-bit one with an unused byte
}

}  // namespace

bool load_library() {
  if (!video_start()) return false;
  // The window layer keeps the library loaded; a second load only counts up.
  if (SDL_GL_LoadLibrary(nullptr) != 0) return false;
  return SDL_GL_GetProcAddress("glGetString") != nullptr;
}

bool load_glu() {
  if (s_glu) return true;
  s_glu = dlopen("libGLU.so.1", RTLD_NOW | RTLD_LOCAL);
  if (!s_glu) s_glu = dlopen("libGLU.so", RTLD_NOW | RTLD_LOCAL);
  return s_glu != nullptr;
}

void unload_library() {
  if (s_glu) dlclose(s_glu);
  s_glu = nullptr;
}

void* proc_address(const char* name) {
  if (!name) return nullptr;
  if (std::strncmp(name, "glu", 3) == 0) return s_glu ? dlsym(s_glu, name) : nullptr;
  if (!video_running()) return nullptr;
  return SDL_GL_GetProcAddress(name);
}

void request_pixel_format(int colour_bits, int depth_bits, bool double_buffer) {
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, double_buffer ? 1 : 0);
  if (colour_bits >= 24) {
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  } else if (colour_bits == 16) {
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 5);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 6);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 5);
  }
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth_bits);
  s_depthBits = depth_bits;
}

int requested_depth_bits() { return s_depthBits; }

bool window_has_gl(window_handle w) {
  SDL_Window* s = Sdl(w);
  return s && (SDL_GetWindowFlags(s) & SDL_WINDOW_OPENGL) != 0;
}

context create_context(window_handle w, bool share_with_current) {
  SDL_Window* s = Sdl(w);
  if (!s || !window_has_gl(w)) return 0;
  SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, share_with_current ? 1 : 0);
  SDL_GLContext c = SDL_GL_CreateContext(s);
  SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
  return reinterpret_cast<context>(c);
}

bool make_current(window_handle w, context c) {
  if (c == 0) return SDL_GL_MakeCurrent(nullptr, nullptr) == 0;
  SDL_Window* s = Sdl(w);
  if (!s) return false;
  return SDL_GL_MakeCurrent(s, reinterpret_cast<SDL_GLContext>(c)) == 0;
}

context current_context() { return reinterpret_cast<context>(SDL_GL_GetCurrentContext()); }

void delete_context(context c) {
  if (c) SDL_GL_DeleteContext(reinterpret_cast<SDL_GLContext>(c));
}

bool swap_buffers(window_handle w) {
  SDL_Window* s = Sdl(w);
  if (!s) return false;
  SDL_GL_SwapWindow(s);
  return true;
}

bool desktop_mode(display_mode* out) {
  if (!out || !video_start()) return false;
  SDL_DisplayMode m;
  if (SDL_GetDesktopDisplayMode(0, &m) != 0) return false;
  out->width = m.w;
  out->height = m.h;
  out->bits = BitsOf(m.format);
  out->refresh = m.refresh_rate;
  return true;
}

int mode_count() {
  if (!video_start()) return 0;
  const int n = SDL_GetNumDisplayModes(0);
  return n < 0 ? 0 : n;
}

bool mode_at(int index, display_mode* out) {
  if (!out || !video_start()) return false;
  SDL_DisplayMode m;
  if (SDL_GetDisplayMode(0, index, &m) != 0) return false;
  out->width = m.w;
  out->height = m.h;
  out->bits = BitsOf(m.format);
  out->refresh = m.refresh_rate;
  return true;
}

bool set_fullscreen_mode(window_handle w, const display_mode& mode) {
  SDL_Window* s = Sdl(w);
  if (!s) return false;
  SDL_DisplayMode want{};
  want.w = mode.width;
  want.h = mode.height;
  want.refresh_rate = mode.refresh;
  SDL_DisplayMode got;
  if (!SDL_GetClosestDisplayMode(0, &want, &got)) return false;
  if (SDL_SetWindowDisplayMode(s, &got) != 0) return false;
  return SDL_SetWindowFullscreen(s, SDL_WINDOW_FULLSCREEN) == 0;
}

bool restore_desktop_mode(window_handle w) {
  SDL_Window* s = Sdl(w);
  if (!s) return false;
  return SDL_SetWindowFullscreen(s, 0) == 0;
}

}  // namespace host::gl
