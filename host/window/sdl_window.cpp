// Host window layer over SDL2 (see window.h).
#include "host/window/window.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>

namespace host {
namespace {

struct window_record {
  window_handle handle = 0;
  SDL_Window* sdl = nullptr;
  std::string class_name;
  window_proc proc = nullptr;
  uintptr_t user_data = 0;
  bool minimized = false;
};

struct state {
  std::map<std::string, window_proc> classes;
  std::map<window_handle, std::unique_ptr<window_record>> windows;
  std::map<uint32_t, window_handle> by_sdl_id;
  std::deque<message> queue;
  window_handle next_handle = 1;
  window_handle capture = 0;
  int cursor_counter = 0;
  bool video = false;
};

state& S() {
  static state s;
  return s;
}

window_record* find(window_handle w) {
  auto it = S().windows.find(w);
  return it == S().windows.end() ? nullptr : it->second.get();
}

bool env_set(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && v[0] != '\0';
}

bool headless() {
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (driver != nullptr && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) return true;
  return !env_set("DISPLAY") && !env_set("WAYLAND_DISPLAY");
}

void forget(window_record* r) {
  if (r->sdl != nullptr) {
    S().by_sdl_id.erase(SDL_GetWindowID(r->sdl));
    SDL_DestroyWindow(r->sdl);
  }
  if (S().capture == r->handle) release_capture();
  // Messages still queued for the window would reach a handle that no longer exists.
  auto& q = S().queue;
  for (auto it = q.begin(); it != q.end();) it = it->window == r->handle ? q.erase(it) : it + 1;
  const window_handle handle = r->handle;
  S().windows.erase(handle);
}

uintptr_t mouse_key_state(uint32_t buttons) {
  uintptr_t w = 0;
  if (buttons & SDL_BUTTON_LMASK) w |= 0x0001;
  if (buttons & SDL_BUTTON_RMASK) w |= 0x0002;
  if (buttons & SDL_BUTTON_MMASK) w |= 0x0010;
  const SDL_Keymod mod = SDL_GetModState();
  if (mod & KMOD_SHIFT) w |= 0x0004;
  if (mod & KMOD_CTRL) w |= 0x0008;
  return w;
}

void translate(const SDL_Event& e) {
  auto handle_of = [](uint32_t id) -> window_handle {
    auto it = S().by_sdl_id.find(id);
    return it == S().by_sdl_id.end() ? 0 : it->second;
  };
  switch (e.type) {
    case SDL_QUIT:
      post_quit_message(0);
      break;
    case SDL_WINDOWEVENT: {
      const window_handle w = handle_of(e.window.windowID);
      window_record* r = find(w);
      if (r == nullptr) break;
      switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
          post_message(w, WM_CLOSE, 0, 0);
          break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
          post_message(w, WM_SIZE, r->minimized ? SIZE_MINIMIZED : SIZE_RESTORED,
                       make_lparam(e.window.data1, e.window.data2));
          break;
        case SDL_WINDOWEVENT_MINIMIZED:
          r->minimized = true;
          post_message(w, WM_SIZE, SIZE_MINIMIZED, 0);
          break;
        case SDL_WINDOWEVENT_MAXIMIZED:
        case SDL_WINDOWEVENT_RESTORED: {
          r->minimized = false;
          int cw = 0, ch = 0;
          SDL_GetWindowSize(r->sdl, &cw, &ch);
          post_message(w, WM_SIZE, e.window.event == SDL_WINDOWEVENT_MAXIMIZED ? SIZE_MAXIMIZED : SIZE_RESTORED,
                       make_lparam(cw, ch));
          break;
        }
        case SDL_WINDOWEVENT_EXPOSED:
          post_message(w, WM_PAINT, 0, 0);
          break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          post_message(w, WM_SETFOCUS, 0, 0);
          break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          post_message(w, WM_KILLFOCUS, 0, 0);
          break;
        default:
          break;
      }
      break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      const window_handle w = handle_of(e.key.windowID);
      if (w == 0) break;
      const key_info k = key_for_scancode(e.key.keysym.scancode);
      if (k.vk == 0) break;
      const bool pressed = e.type == SDL_KEYDOWN;
      // As on Windows, Alt and F10, and any key while Alt is held, are system keys.
      const bool alt = (e.key.keysym.mod & KMOD_ALT) != 0 || k.vk == 18 || k.vk == 121;
      const uint32_t code = alt ? (pressed ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (pressed ? WM_KEYDOWN : WM_KEYUP);
      post_message(w, code, k.vk, key_lparam(k, pressed, e.key.repeat != 0));
      break;
    }
    case SDL_MOUSEMOTION: {
      const window_handle w = handle_of(e.motion.windowID);
      if (w == 0) break;
      post_message(w, WM_MOUSEMOVE, mouse_key_state(e.motion.state), make_lparam(e.motion.x, e.motion.y));
      break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      const window_handle w = handle_of(e.button.windowID);
      if (w == 0) break;
      const bool down = e.type == SDL_MOUSEBUTTONDOWN;
      uint32_t code = 0;
      switch (e.button.button) {
        case SDL_BUTTON_LEFT: code = down ? WM_LBUTTONDOWN : WM_LBUTTONUP; break;
        case SDL_BUTTON_MIDDLE: code = down ? WM_MBUTTONDOWN : WM_MBUTTONUP; break;
        case SDL_BUTTON_RIGHT: code = down ? WM_RBUTTONDOWN : WM_RBUTTONUP; break;
        default: return;
      }
      post_message(w, code, mouse_key_state(SDL_GetMouseState(nullptr, nullptr)), make_lparam(e.button.x, e.button.y));
      break;
    }
    case SDL_MOUSEWHEEL: {
      const window_handle w = handle_of(e.wheel.windowID);
      if (w == 0) break;
      int x = 0, y = 0;
      SDL_GetGlobalMouseState(&x, &y);
      const int delta = e.wheel.y * 120 * (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1);
      post_message(w, WM_MOUSEWHEEL, (static_cast<uintptr_t>(static_cast<uint16_t>(delta)) << 16), make_lparam(x, y));
      break;
    }
    default:
      break;
  }
}

}  // namespace

bool video_start() {
  if (S().video) return true;
  if (std::getenv("SDL_VIDEODRIVER") == nullptr && !env_set("DISPLAY") && !env_set("WAYLAND_DISPLAY")) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
  }
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  // The OpenGL library stays loaded for the whole run. Otherwise SDL unloads it whenever the
  // last OpenGL window closes and loads it again with the next one; the Mesa drivers are
  // slow to load and do not free everything they allocated when they are unloaded. Without
  // OpenGL the windows still work, so a failure here is not one of video_start.
  SDL_GL_LoadLibrary(nullptr);
  S().video = true;
  return true;
}

bool video_running() { return S().video; }

bool video_headless() {
  if (S().video) {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver != nullptr) return std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
  }
  return headless();
}

bool register_window_class(const std::string& name, window_proc proc) {
  if (name.empty() || proc == nullptr || S().classes.count(name) != 0) return false;
  if (!video_start()) return false;
  S().classes[name] = proc;
  return true;
}

bool unregister_window_class(const std::string& name) {
  auto it = S().classes.find(name);
  if (it == S().classes.end()) return false;
  for (const auto& [h, r] : S().windows) {
    if (r->class_name == name) return false;
  }
  S().classes.erase(it);
  return true;
}

bool window_class_registered(const std::string& name) { return S().classes.count(name) != 0; }

window_handle create_window(const window_desc& desc) {
  auto cls = S().classes.find(desc.class_name);
  if (cls == S().classes.end() || !video_start()) return 0;
  uint32_t flags = 0;
  if (desc.opengl) flags |= SDL_WINDOW_OPENGL;
  if (desc.hidden) flags |= SDL_WINDOW_HIDDEN;
  int x = desc.x < 0 ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : desc.x;
  int y = desc.y < 0 ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : desc.y;
  int w = desc.width, h = desc.height;
  if (desc.fullscreen) {
    flags |= SDL_WINDOW_BORDERLESS;
    x = 0;
    y = 0;
    screen_size(&w, &h);
  } else {
    flags |= SDL_WINDOW_RESIZABLE;
  }
  if (w <= 0 || h <= 0) return 0;
  SDL_Window* sdl = SDL_CreateWindow(desc.title.c_str(), x, y, w, h, flags);
  if (sdl == nullptr && desc.opengl) {
    // No OpenGL on this video driver: a plain window still carries messages.
    sdl = SDL_CreateWindow(desc.title.c_str(), x, y, w, h, flags & ~SDL_WINDOW_OPENGL);
  }
  if (sdl == nullptr) return 0;
  auto rec = std::make_unique<window_record>();
  rec->handle = S().next_handle++;
  rec->sdl = sdl;
  rec->class_name = desc.class_name;
  rec->proc = cls->second;
  const window_handle handle = rec->handle;
  S().by_sdl_id[SDL_GetWindowID(sdl)] = handle;
  S().windows[handle] = std::move(rec);
  return handle;
}

bool destroy_window(window_handle w) {
  window_record* r = find(w);
  if (r == nullptr) return false;
  if (r->proc != nullptr) r->proc(w, WM_DESTROY, 0, 0);
  // The procedure may have destroyed the window itself (a nested call that got here first).
  r = find(w);
  if (r == nullptr) return true;
  forget(r);
  return true;
}

bool is_window(window_handle w) { return find(w) != nullptr; }

size_t live_window_count() { return S().windows.size(); }

void window_borders(window_handle w, int* left, int* top, int* right, int* bottom) {
  int l = 0, t = 0, rr = 0, b = 0;
  window_record* r = find(w);
  if (r != nullptr && SDL_GetWindowBordersSize(r->sdl, &t, &l, &b, &rr) != 0) l = t = rr = b = 0;
  if (left) *left = l;
  if (top) *top = t;
  if (right) *right = rr;
  if (bottom) *bottom = b;
}

void adjust_window_size(int client_w, int client_h, int* outer_w, int* outer_h) {
  // Windows are created by their client size; the decorations belong to the window
  // manager and are added outside it.
  if (outer_w) *outer_w = client_w;
  if (outer_h) *outer_h = client_h;
}

uintptr_t get_user_data(window_handle w) {
  window_record* r = find(w);
  return r ? r->user_data : 0;
}

void set_user_data(window_handle w, uintptr_t data) {
  if (window_record* r = find(w)) r->user_data = data;
}

window_proc get_window_proc(window_handle w) {
  window_record* r = find(w);
  return r ? r->proc : nullptr;
}

bool set_window_proc(window_handle w, window_proc proc) {
  window_record* r = find(w);
  if (r == nullptr || proc == nullptr) return false;
  r->proc = proc;
  return true;
}

bool get_window_rect(window_handle w, rect* out) {
  window_record* r = find(w);
  if (r == nullptr || out == nullptr) return false;
  int x = 0, y = 0, cw = 0, ch = 0, l = 0, t = 0, rr = 0, b = 0;
  SDL_GetWindowPosition(r->sdl, &x, &y);
  SDL_GetWindowSize(r->sdl, &cw, &ch);
  window_borders(w, &l, &t, &rr, &b);
  out->left = x - l;
  out->top = y - t;
  out->right = x + cw + rr;
  out->bottom = y + ch + b;
  return true;
}

bool get_client_size(window_handle w, int* width, int* height) {
  window_record* r = find(w);
  if (r == nullptr) return false;
  int cw = 0, ch = 0;
  SDL_GetWindowSize(r->sdl, &cw, &ch);
  if (width) *width = cw;
  if (height) *height = ch;
  return true;
}

bool set_window_size(window_handle w, int outer_w, int outer_h) {
  window_record* r = find(w);
  if (r == nullptr) return false;
  int l = 0, t = 0, rr = 0, b = 0;
  window_borders(w, &l, &t, &rr, &b);
  const int cw = outer_w - l - rr, ch = outer_h - t - b;
  if (cw <= 0 || ch <= 0) return false;
  SDL_SetWindowSize(r->sdl, cw, ch);
  return true;
}

bool set_window_position(window_handle w, int x, int y) {
  window_record* r = find(w);
  if (r == nullptr) return false;
  int l = 0, t = 0;
  window_borders(w, &l, &t, nullptr, nullptr);
  SDL_SetWindowPosition(r->sdl, x + l, y + t);
  return true;
}

bool set_window_title(window_handle w, const char* text) {
  window_record* r = find(w);
  if (r == nullptr) return false;
  SDL_SetWindowTitle(r->sdl, text ? text : "");
  return true;
}

int get_window_title(window_handle w, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = '\0';
  window_record* r = find(w);
  if (r == nullptr) return 0;
  const char* title = SDL_GetWindowTitle(r->sdl);
  const size_t len = std::strlen(title);
  const size_t n = len < static_cast<size_t>(size - 1) ? len : static_cast<size_t>(size - 1);
  std::memcpy(buffer, title, n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

bool is_minimized(window_handle w) {
  window_record* r = find(w);
  if (r == nullptr) return false;
  return r->minimized || (SDL_GetWindowFlags(r->sdl) & SDL_WINDOW_MINIMIZED) != 0;
}

bool show_window(window_handle w, bool show) {
  window_record* r = find(w);
  if (r == nullptr) return false;
  if (show)
    SDL_ShowWindow(r->sdl);
  else
    SDL_HideWindow(r->sdl);
  return true;
}

void* native_window(window_handle w) {
  window_record* r = find(w);
  return r ? r->sdl : nullptr;
}

bool peek_message(message* out) {
  if (S().video) {
    SDL_Event e;
    while (SDL_PollEvent(&e)) translate(e);
  }
  if (S().queue.empty()) return false;
  if (out) *out = S().queue.front();
  S().queue.pop_front();
  return true;
}

void post_message(window_handle w, uint32_t code, uintptr_t wparam, intptr_t lparam) {
  S().queue.push_back(message{w, code, wparam, lparam});
}

void post_quit_message(int exit_code) {
  post_message(0, WM_QUIT, static_cast<uintptr_t>(static_cast<intptr_t>(exit_code)), 0);
}

intptr_t send_message(window_handle w, uint32_t code, uintptr_t wparam, intptr_t lparam) {
  window_record* r = find(w);
  if (r == nullptr || r->proc == nullptr) return 0;
  return r->proc(w, code, wparam, lparam);
}

intptr_t dispatch_message(const message& m) {
  if (m.window == 0) return 0;
  return send_message(m.window, m.code, m.wparam, m.lparam);
}

intptr_t default_window_proc(window_handle w, uint32_t code, uintptr_t, intptr_t) {
  if (code == WM_CLOSE) destroy_window(w);
  return 0;
}

void clear_messages() {
  if (S().video) SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  S().queue.clear();
}

void set_capture(window_handle w) {
  if (find(w) == nullptr) return;
  S().capture = w;
  SDL_CaptureMouse(SDL_TRUE);  // not every video driver can; the bookkeeping stays right
}

void release_capture() {
  if (S().capture == 0) return;
  S().capture = 0;
  SDL_CaptureMouse(SDL_FALSE);
}

window_handle get_capture() { return S().capture; }

int show_cursor(bool show) {
  S().cursor_counter += show ? 1 : -1;
  if (S().video) SDL_ShowCursor(S().cursor_counter >= 0 ? SDL_ENABLE : SDL_DISABLE);
  return S().cursor_counter;
}

bool get_cursor_position(int* x, int* y) {
  if (!S().video) return false;
  int gx = 0, gy = 0;
  SDL_GetGlobalMouseState(&gx, &gy);
  if (x) *x = gx;
  if (y) *y = gy;
  return true;
}

void screen_size(int* width, int* height) {
  int w = 640, h = 480;
  SDL_DisplayMode mode;
  if (S().video && SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.w > 0 && mode.h > 0) {
    w = mode.w;
    h = mode.h;
  }
  if (width) *width = w;
  if (height) *height = h;
}

int message_box(const char* text, const char* caption) {
  if (text == nullptr) text = "";
  if (caption == nullptr) caption = "Error";
  if (video_headless() || SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr) != 0) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
  }
  return 1;
}

key_info key_for_scancode(int sc) {
  struct row {
    int sdl;
    uint32_t vk, scan;
    bool ext;
  };
  static const row rows[] = {
      {SDL_SCANCODE_RETURN, 13, 28, false},       {SDL_SCANCODE_KP_ENTER, 13, 28, true},
      {SDL_SCANCODE_LSHIFT, 16, 42, false},       {SDL_SCANCODE_RSHIFT, 16, 54, false},
      {SDL_SCANCODE_LCTRL, 17, 29, false},        {SDL_SCANCODE_RCTRL, 17, 29, true},
      {SDL_SCANCODE_LALT, 18, 56, false},         {SDL_SCANCODE_RALT, 18, 56, true},
      {SDL_SCANCODE_LEFT, 37, 75, true},          {SDL_SCANCODE_UP, 38, 72, true},
      {SDL_SCANCODE_RIGHT, 39, 77, true},         {SDL_SCANCODE_DOWN, 40, 80, true},
      {SDL_SCANCODE_BACKSPACE, 8, 14, false},     {SDL_SCANCODE_TAB, 9, 15, false},
      {SDL_SCANCODE_ESCAPE, 27, 1, false},        {SDL_SCANCODE_SPACE, 32, 57, false},
      {SDL_SCANCODE_NUMLOCKCLEAR, 144, 69, true}, {SDL_SCANCODE_INSERT, 45, 82, true},
      {SDL_SCANCODE_DELETE, 46, 83, true},        {SDL_SCANCODE_HOME, 36, 71, true},
      {SDL_SCANCODE_END, 35, 79, true},           {SDL_SCANCODE_PAGEUP, 33, 73, true},
      {SDL_SCANCODE_PAGEDOWN, 34, 81, true},      {SDL_SCANCODE_KP_MULTIPLY, 106, 55, false},
      {SDL_SCANCODE_KP_PLUS, 107, 78, false},     {SDL_SCANCODE_KP_MINUS, 109, 74, false},
      {SDL_SCANCODE_KP_DIVIDE, 111, 53, true},    {SDL_SCANCODE_KP_PERIOD, 110, 83, false},
      {SDL_SCANCODE_KP_0, 96, 82, false},         {SDL_SCANCODE_KP_1, 97, 79, false},
      {SDL_SCANCODE_KP_2, 98, 80, false},         {SDL_SCANCODE_KP_3, 99, 81, false},
      {SDL_SCANCODE_KP_4, 100, 75, false},        {SDL_SCANCODE_KP_5, 101, 76, false},
      {SDL_SCANCODE_KP_6, 102, 77, false},        {SDL_SCANCODE_KP_7, 103, 71, false},
      {SDL_SCANCODE_KP_8, 104, 72, false},        {SDL_SCANCODE_KP_9, 105, 73, false},
      {SDL_SCANCODE_F11, 122, 87, false},         {SDL_SCANCODE_F12, 123, 88, false},
      {SDL_SCANCODE_COMMA, 188, 51, false},       {SDL_SCANCODE_PERIOD, 190, 52, false},
      {SDL_SCANCODE_SLASH, 191, 53, false},       {SDL_SCANCODE_LEFTBRACKET, 219, 26, false},
      {SDL_SCANCODE_RIGHTBRACKET, 221, 27, false}, {SDL_SCANCODE_BACKSLASH, 220, 43, false},
      {SDL_SCANCODE_MINUS, 189, 12, false},       {SDL_SCANCODE_EQUALS, 187, 13, false},
      {SDL_SCANCODE_APOSTROPHE, 222, 40, false},  {SDL_SCANCODE_GRAVE, 192, 41, false},
      {SDL_SCANCODE_SEMICOLON, 186, 39, false},   {SDL_SCANCODE_CAPSLOCK, 20, 58, false},
      {SDL_SCANCODE_SCROLLLOCK, 145, 70, false},  {SDL_SCANCODE_PAUSE, 19, 69, false},
      {SDL_SCANCODE_PRINTSCREEN, 44, 55, true},   {SDL_SCANCODE_LGUI, 91, 91, true},
      {SDL_SCANCODE_RGUI, 92, 92, true},          {SDL_SCANCODE_APPLICATION, 93, 93, true},
      {SDL_SCANCODE_NONUSBACKSLASH, 226, 86, false},
  };
  for (const row& r : rows) {
    if (r.sdl == sc) return key_info{r.vk, r.scan, r.ext};
  }
  if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) {
    // PC scan codes of the letters A to Z.
    static const uint8_t letter_scan[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                                            49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};
    const int i = sc - SDL_SCANCODE_A;
    return key_info{static_cast<uint32_t>('A' + i), letter_scan[i], false};
  }
  if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) {
    const int i = sc - SDL_SCANCODE_1;  // '1'..'9', scan 2..10
    return key_info{static_cast<uint32_t>('1' + i), static_cast<uint32_t>(2 + i), false};
  }
  if (sc == SDL_SCANCODE_0) return key_info{'0', 11, false};
  if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F10) {
    const int i = sc - SDL_SCANCODE_F1;  // VK_F1 112, scan 59..68
    return key_info{static_cast<uint32_t>(112 + i), static_cast<uint32_t>(59 + i), false};
  }
  return key_info{};
}

intptr_t key_lparam(const key_info& key, bool pressed, bool repeat) {
  uint32_t l = 1u | (key.scan & 0xFFu) << 16;
  if (key.extended) l |= 1u << 24;
  if (!pressed)
    l |= 3u << 30;
  else if (repeat)
    l |= 1u << 30;
  return static_cast<intptr_t>(l);
}

}  // namespace host
