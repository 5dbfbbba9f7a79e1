// The 2D overlay's windows. Every canvas owns one VQWindowManager, which keeps up to 32
// stacked VQWindows (menus, dialogs, the skin editor), draws them after the 3D view and routes
// to them the mouse and key events that no handler pushed on the input device consumed. A
// window holds up to 64 elements; one may have the focus (it gets button releases, drags and
// keys) and one may be highlighted (under the pointer or chosen with the navigation keys).
//
// Positions are canvas pixels with the origin at the lower-left corner and y upwards: a
// window's (x, y) is its lower-left corner, an element's is relative to its window.
//
// VQoverlay_InstallCanvasHooks connects the overlay to the canvases: from then on every canvas
// created gets a manager with a full-canvas root window, draws it each frame and hands it the
// events that input devices post to it.
#pragma once

#include <cstdint>

class VQCanvas;
class VQImageRef;
class VQOverlayElement;
class VQWindowManager;
class VQWindow;

constexpr uint32_t VQOVERLAY_MAX_WINDOWS = 32;
constexpr uint32_t VQWINDOW_MAX_ELEMENTS = 64;
constexpr uint32_t VQWINDOW_NO_INDEX = 999;  // a window not yet created in a manager
constexpr uint32_t VQWINDOW_KEY_ID = 65535;  // identifier of key events without a focused element

// Engine key codes of the default navigation keys.
constexpr uint32_t VQOVERLAY_KEY_NEXT = 10;     // Down
constexpr uint32_t VQOVERLAY_KEY_PREVIOUS = 8;  // Up
constexpr uint32_t VQOVERLAY_KEY_ACTIVATE = 0;  // Return

// callback(identifier, param, event, user): the owner's handler of element events (see
// VQElementEvent); the result is ignored by the elements.
using VQWindowCallback = bool (*)(uintptr_t identifier, uint32_t param, uint32_t event, uintptr_t user);
// draw(window, canvas, context): draws the window in place of its background; the elements
// are drawn after it only when it gives true.
using VQWindowDrawCallback = bool (*)(VQWindow* window, VQCanvas* canvas, uintptr_t context);

class VQWindow {
 public:
  VQWindow() = default;
  ~VQWindow();  // destroys the elements still held
  VQWindow(const VQWindow&) = delete;
  VQWindow& operator=(const VQWindow&) = delete;

  void Show();
  void Hide();
  void SetPosition(int32_t x, int32_t y);
  void SetMovable(bool on) { m_movable = on ? 1 : 0; }
  // Appends an element and becomes its owner; false at 64 elements, for null or for an element
  // another window owns.
  bool AddElement(VQOverlayElement* element);
  // Closes the gap, clears the focus and the highlight when they were on it, clears the owner.
  bool RemoveElement(VQOverlayElement* element);
  void RemoveAllElements();
  void Activate();
  void Deactivate();
  void ClearFocus();
  int32_t IndexOfElement(const VQOverlayElement* element) const;
  // Hides the window, deletes every element, marks it not created.
  void Destroy();

  // The element under a window-relative point (first in order wins), or null.
  VQOverlayElement* ElementAt(int32_t x, int32_t y) const;

  // Input, window-relative points; true = consumed.
  bool OnLeftDown(int32_t x, int32_t y);
  bool OnRightDown(int32_t x, int32_t y);
  bool OnLeftUp(int32_t x, int32_t y);
  bool OnRightUp(int32_t x, int32_t y);
  bool OnDrag(int32_t prevX, int32_t prevY, int32_t x, int32_t y);
  bool OnHover(int32_t x, int32_t y);
  bool OnKey(uint32_t key, bool pressed);

  void Draw();
  // Drawing operations, window-relative (offset by the window position onto the canvas).
  void DrawImage(const VQImageRef* image, int32_t x, int32_t y);
  void DrawImageScaled(const VQImageRef* image, int32_t x, int32_t y, int32_t width, int32_t height);
  void DrawImageRects(const VQImageRef* image, uint32_t count, const int32_t* dx, const int32_t* dy,
                      const int32_t* sx, const int32_t* sy, const int32_t* w, const int32_t* h);
  void DrawImageTen(const VQImageRef* image, int32_t x, int32_t y, const int32_t* words6);
  // Calls the event callback (false when there is none).
  bool Notify(uintptr_t identifier, uint32_t param, uint32_t event);

  VQCanvas* m_canvas = nullptr;
  uint8_t m_shown = 0;
  uint8_t m_movable = 1;
  uint8_t m_modal = 0;
  int32_t m_x = 0, m_y = 0;
  int32_t m_width = 0, m_height = 0;
  uint32_t m_index = VQWINDOW_NO_INDEX;
  uint32_t m_elementCount = 0;
  VQOverlayElement* m_elements[VQWINDOW_MAX_ELEMENTS] = {};
  VQOverlayElement* m_focused = nullptr;
  VQOverlayElement* m_highlighted = nullptr;
  VQImageRef* m_background = nullptr;  // not owned
  VQWindowManager* m_manager = nullptr;
  VQWindowCallback m_callback = nullptr;
  uintptr_t m_user = 0;
  uint8_t m_keyNavigation = 1;
  uint8_t m_wrap = 1;
  uint8_t m_fixedOrder = 0;  // never raised above the others
  VQWindowDrawCallback m_drawCallback = nullptr;
  uintptr_t m_drawContext = 0;
  uint8_t m_hit = 1;  // 0: never found under the pointer
  uint8_t m_created = 0;

 private:
  bool ButtonDown(int32_t x, int32_t y, bool right);
  void Navigate(uint32_t key);
};

class VQWindowManager {
 public:
  explicit VQWindowManager(VQCanvas* canvas);
  ~VQWindowManager();  // destroys the windows still held
  VQWindowManager(const VQWindowManager&) = delete;
  VQWindowManager& operator=(const VQWindowManager&) = delete;

  // A new window, appended and not shown. Errors: 27 at 32 windows, 16 out of memory, 28 for a
  // zero width or height without background image (a missing size comes from the image).
  VQWindow* CreateWindow(int32_t width, int32_t height, VQImageRef* background, VQWindowCallback callback,
                         uintptr_t user, bool modal);
  // Hides the window, forgets it everywhere (array, modal, active, top slots), destroys its
  // elements and frees it. False for a window this manager does not hold.
  bool DestroyWindow(VQWindow* window);
  // A device event (0-7) with the posting device's record; true when the overlay used it.
  bool HandleEvent(uint32_t event, const void* record);
  void Draw();
  // The element under a canvas point in the topmost window there, or null.
  VQOverlayElement* ElementAt(int32_t x, int32_t y) const;
  // The topmost shown window with the hit flag containing the canvas point, or null.
  VQWindow* WindowAt(int32_t x, int32_t y) const;
  // Moves the window to the top of the stacking (not a fixed-order window).
  void Raise(VQWindow* window);
  void SetActive(VQWindow* window);

  uint8_t m_moved = 1;  // set by pointer moves, cleared after each draw
  uint32_t m_count = 0;
  VQWindow* m_windows[VQOVERLAY_MAX_WINDOWS] = {};  // stacking order, last on top
  VQWindow* m_modal = nullptr;
  VQWindow* m_active = nullptr;
  VQCanvas* m_canvas;
  uint8_t m_mouseEnabled = 1, m_keyboardEnabled = 1;
  uint32_t m_keyNext = VQOVERLAY_KEY_NEXT, m_keyPrevious = VQOVERLAY_KEY_PREVIOUS,
           m_keyActivate = VQOVERLAY_KEY_ACTIVATE;
  VQWindow* m_top[2] = {nullptr, nullptr};  // drawn after all others, second last
  uint8_t m_leftHeld = 0, m_rightHeld = 0;
  int32_t m_pointerX = 0, m_pointerY = 0;  // the last pointer position an event carried

 private:
  void Renumber(uint32_t from);
};

// Connects the overlay to the canvases (creation, destruction, drawing, unconsumed events).
void VQoverlay_InstallCanvasHooks();
// The manager and root window of a canvas (null before VQoverlay_InstallCanvasHooks).
VQWindowManager* VQoverlay_Manager(const VQCanvas* canvas);
VQWindow* VQoverlay_RootWindow(const VQCanvas* canvas);
