// Host window layer: the stand-in for the Win32 windowing services the engine's platform
// layer was shaped around, over SDL2.
//
// Windows belong to named classes that carry a window procedure; each window has one
// user-data word. Messages carry the Win32 message numbers with wParam and lParam packed
// the Win32 way (WM_SIZE: width in the low word of lParam, height in the high word; mouse
// messages: client x and y as signed 16-bit words; key messages: virtual-key code in
// wParam, repeat count, scan code, extended bit 24 and transition bits in lParam), so the
// engine's window procedure reads as it would on Windows and can be driven by posting
// messages. SDL events are translated into such messages when the queue is peeked.
//
// Window handles are small non-zero numbers, never reused within a run: a handle of a
// destroyed window is simply unknown, and every function given one fails harmlessly.
// Everything here runs on the thread that created the windows.
#pragma once

#include <cstdint>
#include <string>

namespace host {

using window_handle = uintptr_t;  // 0 = no window

// Window procedure: (window, message, wParam, lParam) -> result.
using window_proc = intptr_t (*)(window_handle, uint32_t, uintptr_t, intptr_t);

// Win32 message numbers used by the engine.
enum : uint32_t {
  WM_DESTROY = 0x0002,
  WM_SIZE = 0x0005,
  WM_SETFOCUS = 0x0007,
  WM_KILLFOCUS = 0x0008,
  WM_PAINT = 0x000F,
  WM_CLOSE = 0x0010,
  WM_QUIT = 0x0012,
  WM_ERASEBKGND = 0x0014,
  WM_KEYDOWN = 0x0100,
  WM_KEYUP = 0x0101,
  WM_SYSKEYDOWN = 0x0104,
  WM_SYSKEYUP = 0x0105,
  WM_MOUSEMOVE = 0x0200,
  WM_LBUTTONDOWN = 0x0201,
  WM_LBUTTONUP = 0x0202,
  WM_LBUTTONDBLCLK = 0x0203,
  WM_RBUTTONDOWN = 0x0204,
  WM_RBUTTONUP = 0x0205,
  WM_MBUTTONDOWN = 0x0207,
  WM_MBUTTONUP = 0x0208,
  WM_MOUSEWHEEL = 0x020A,
};

// WM_SIZE wParam values.
enum : uintptr_t { SIZE_RESTORED = 0, SIZE_MINIMIZED = 1, SIZE_MAXIMIZED = 2 };

// Bit 24 of a key message's lParam: the key is an extended key (right Ctrl, arrows, ...).
constexpr intptr_t KEY_EXTENDED_BIT = intptr_t(1) << 24;

// Packs two 16-bit words the way Win32 packs WM_SIZE and mouse lParams.
constexpr intptr_t make_lparam(int low, int high) {
  return static_cast<intptr_t>(static_cast<uint32_t>((static_cast<uint32_t>(high) & 0xFFFFu) << 16 |
                                                     (static_cast<uint32_t>(low) & 0xFFFFu)));
}
constexpr uint32_t low_word(intptr_t v) { return static_cast<uint32_t>(v) & 0xFFFFu; }
constexpr uint32_t high_word(intptr_t v) { return (static_cast<uint32_t>(v) >> 16) & 0xFFFFu; }

struct message {
  window_handle window = 0;  // 0 for thread messages such as WM_QUIT
  uint32_t code = 0;
  uintptr_t wparam = 0;
  intptr_t lparam = 0;
};

struct rect {
  int left = 0, top = 0, right = 0, bottom = 0;
};

// Starts the video system if needed. Without a display ($DISPLAY and $WAYLAND_DISPLAY unset)
// and without an explicit SDL_VIDEODRIVER, SDL's "offscreen" driver is chosen, which still
// gives windows with OpenGL. False when no video driver can start.
bool video_start();
// True once the video system runs.
bool video_running();
// True when windows are not shown anywhere (the offscreen or dummy driver runs, or no
// display is configured).
bool video_headless();

// Window classes. Registering a class starts the video system; unregistering the last one
// stops it again. Registering a name twice fails, as does unregistering an unknown name or
// a class that still has windows.
bool register_window_class(const std::string& name, window_proc proc);
bool unregister_window_class(const std::string& name);
bool window_class_registered(const std::string& name);

struct window_desc {
  std::string class_name;
  std::string title;
  int x = -1, y = -1;            // -1: default position
  int width = 640, height = 480; // outer size in pixels
  bool fullscreen = false;       // borderless popup covering the screen
  bool opengl = true;            // the window can carry an OpenGL context
  bool hidden = false;
};

// Creates a window of a registered class; 0 when the class is unknown or SDL refuses.
window_handle create_window(const window_desc& desc);
// Destroys a window: sends WM_DESTROY to its procedure (synchronously, as Win32 does), then
// forgets it. A procedure may call destroy_window again while handling that WM_DESTROY; the
// nested call sends WM_DESTROY once more and the window is freed once. False for an
// unknown handle.
bool destroy_window(window_handle w);
bool is_window(window_handle w);
size_t live_window_count();

// Outer border sizes of a window frame (0 where the system has no decorations).
void window_borders(window_handle w, int* left, int* top, int* right, int* bottom);
// Outer width and height for a client size, like AdjustWindowRect.
void adjust_window_size(int client_w, int client_h, int* outer_w, int* outer_h);

uintptr_t get_user_data(window_handle w);
void set_user_data(window_handle w, uintptr_t data);
window_proc get_window_proc(window_handle w);
// Replaces a window's procedure (subclassing, as SetWindowLongPtr does); false for an unknown
// window or a null procedure.
bool set_window_proc(window_handle w, window_proc proc);

bool get_window_rect(window_handle w, rect* out);  // outer rectangle in screen coordinates
bool get_client_size(window_handle w, int* width, int* height);
// Sets the outer size, keeping the position (SWP_NOMOVE | SWP_NOZORDER).
bool set_window_size(window_handle w, int outer_w, int outer_h);
// Moves the window's outer top-left corner, keeping the size.
bool set_window_position(window_handle w, int x, int y);
bool set_window_title(window_handle w, const char* text);
// Copies the title into buffer (always terminated when size > 0); returns the length copied.
int get_window_title(window_handle w, char* buffer, int size);
bool is_minimized(window_handle w);
bool show_window(window_handle w, bool show);

// The SDL window behind a handle (SDL_Window*), for the display drivers; null when unknown.
void* native_window(window_handle w);

// Message queue. peek_message first translates pending SDL events into messages, then
// removes and returns the oldest message; false when none is left.
bool peek_message(message* out);
// Appends a message for a window (or a thread message when window is 0).
void post_message(window_handle w, uint32_t code, uintptr_t wparam, intptr_t lparam);
void post_quit_message(int exit_code);
// Calls the window's procedure at once; 0 for an unknown window.
intptr_t send_message(window_handle w, uint32_t code, uintptr_t wparam, intptr_t lparam);
// Hands a message taken from the queue to its window's procedure; 0 for thread messages.
intptr_t dispatch_message(const message& m);
// Default handling: WM_CLOSE destroys the window; everything else gives 0.
intptr_t default_window_proc(window_handle w, uint32_t code, uintptr_t wparam, intptr_t lparam);
// Drops every queued message.
void clear_messages();

// Mouse capture while a button is held (SetCapture / ReleaseCapture).
void set_capture(window_handle w);
void release_capture();
window_handle get_capture();

// Cursor. show_cursor keeps a display counter as Win32 does and returns it: the cursor is
// visible while the counter is >= 0.
int show_cursor(bool show);
// Cursor position in screen coordinates; false when it cannot be read.
bool get_cursor_position(int* x, int* y);

// Screen size of the first display; 640 x 480 when unknown.
void screen_size(int* width, int* height);

// A modal message box with an OK button and a stop icon. Without a display (or when SDL
// cannot show one) the text goes to stderr as "caption: text". Returns 1 (IDOK).
int message_box(const char* text, const char* caption);

// What a key becomes in a key message.
struct key_info {
  uint32_t vk = 0;        // Windows virtual-key code; 0 when the key has none
  uint32_t scan = 0;      // PC set-1 scan code, bits 16-23 of lParam
  bool extended = false;  // bit 24 of lParam
};
// Translation of an SDL scancode (SDL_Scancode value).
key_info key_for_scancode(int sdl_scancode);
// lParam of a key message: repeat count 1, the scan code, the extended bit, bit 30 for a
// repeated press and bits 30 and 31 for a release.
intptr_t key_lparam(const key_info& key, bool pressed, bool repeat);

}  // namespace host
