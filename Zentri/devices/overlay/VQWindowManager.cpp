#include "Zentri/devices/overlay/VQWindowManager.h"

#include <new>

#include "Zentri/devices/VQDevice.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/overlay/VQOverlayElement.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/util/VQerror.h"

namespace {

// The records that input devices post: mouse events carry the previous and the new position,
// key events the engine key code and the pressed flag.
struct MouseRecord {
  int32_t prevX, prevY, prevZ, x, y, z;
};
struct KeyRecord {
  uint32_t key, pressed;
};

bool Contains(int32_t x, int32_t y, int32_t w, int32_t h, int32_t px, int32_t py) {
  return px >= x && px < x + w && py >= y && py < y + h;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Window

VQWindow::~VQWindow() { Destroy(); }

void VQWindow::Show() {
  if (m_shown) return;
  if (m_manager) {
    if (m_modal) m_manager->m_modal = this;
    m_manager->SetActive(this);
    m_manager->Raise(this);
  }
  ClearFocus();
  m_shown = 1;
}

void VQWindow::Hide() {
  if (!m_shown) return;
  m_shown = 0;
  if (!m_manager) return;
  if (m_manager->m_modal == this) m_manager->m_modal = nullptr;
  if (m_manager->m_active == this) {
    Deactivate();
    m_manager->m_active = nullptr;
  }
}

void VQWindow::SetPosition(int32_t x, int32_t y) {
  m_x = x;
  m_y = y;
}

bool VQWindow::AddElement(VQOverlayElement* element) {
  if (!element || element->m_owner || m_elementCount >= VQWINDOW_MAX_ELEMENTS) return false;
  m_elements[m_elementCount++] = element;
  element->m_owner = this;
  return true;
}

bool VQWindow::RemoveElement(VQOverlayElement* element) {
  const int32_t i = IndexOfElement(element);
  if (i < 0) return false;
  for (uint32_t j = uint32_t(i) + 1; j < m_elementCount; ++j) m_elements[j - 1] = m_elements[j];
  m_elements[--m_elementCount] = nullptr;
  if (m_focused == element) m_focused = nullptr;
  if (m_highlighted == element) {
    element->m_highlighted = 0;
    m_highlighted = nullptr;
  }
  element->m_owner = nullptr;
  return true;
}

void VQWindow::RemoveAllElements() {
  while (m_elementCount > 0) RemoveElement(m_elements[m_elementCount - 1]);
}

void VQWindow::Activate() {
  if (m_manager) {
    m_manager->SetActive(this);
  } else {
    ClearFocus();
  }
}

void VQWindow::Deactivate() {
  if (m_focused) {
    VQOverlayElement* e = m_focused;
    m_focused = nullptr;
    e->OnFocusLost();
  }
  if (m_highlighted) {
    m_highlighted->m_highlighted = 0;
    m_highlighted = nullptr;
  }
}

void VQWindow::ClearFocus() { m_focused = nullptr; }

int32_t VQWindow::IndexOfElement(const VQOverlayElement* element) const {
  for (uint32_t i = 0; i < m_elementCount; ++i)
    if (m_elements[i] == element) return int32_t(i);
  return -1;
}

void VQWindow::Destroy() {
  Hide();
  // Each element's destructor unlinks it from this window.
  while (m_elementCount > 0) {
    VQOverlayElement* e = m_elements[m_elementCount - 1];
    RemoveElement(e);
    delete e;
  }
  m_focused = m_highlighted = nullptr;
  m_created = 0;
}

VQOverlayElement* VQWindow::ElementAt(int32_t x, int32_t y) const {
  for (uint32_t i = 0; i < m_elementCount; ++i) {
    VQOverlayElement* e = m_elements[i];
    if (Contains(e->m_x, e->m_y, e->m_width, e->m_height, x, y)) return e;
  }
  return nullptr;
}

bool VQWindow::ButtonDown(int32_t x, int32_t y, bool right) {
  VQOverlayElement* e = ElementAt(x, y);
  if (e && e->m_input) {
    if (m_focused != e) {
      if (m_focused) m_focused->OnFocusLost();
      m_focused = e;
      e->OnFocusGained(x, y);
    }
    if (right) {
      e->OnRightDown(x, y);
    } else {
      e->OnLeftDown(x, y);
    }
    return true;
  }
  if (m_focused) {
    VQOverlayElement* old = m_focused;
    m_focused = nullptr;
    old->OnFocusLost();
  }
  return false;
}

bool VQWindow::OnLeftDown(int32_t x, int32_t y) { return ButtonDown(x, y, false); }
bool VQWindow::OnRightDown(int32_t x, int32_t y) { return ButtonDown(x, y, true); }

bool VQWindow::OnLeftUp(int32_t x, int32_t y) {
  if (!m_focused) return false;
  m_focused->OnLeftUp(x, y);
  return true;
}

bool VQWindow::OnRightUp(int32_t x, int32_t y) {
  if (!m_focused) return false;
  m_focused->OnRightUp(x, y);
  return true;
}

bool VQWindow::OnDrag(int32_t prevX, int32_t prevY, int32_t x, int32_t y) {
  if (m_focused) {
    m_focused->OnDrag(prevX, prevY, x, y);
    return true;
  }
  if (!m_movable) return false;
  int32_t nx = m_x + (x - prevX), ny = m_y + (y - prevY);
  if (m_canvas) {
    const int32_t cw = int32_t(m_canvas->m_width), ch = int32_t(m_canvas->m_height);
    if (nx + m_width > cw) nx = cw - m_width;
    if (ny + m_height > ch) ny = ch - m_height;
  }
  if (nx < 0) nx = 0;
  if (ny < 0) ny = 0;
  m_x = nx;
  m_y = ny;
  Notify(0, 0, VQELEMENT_EVENT_WINDOW_MOVED);
  return false;
}

bool VQWindow::OnHover(int32_t x, int32_t y) {
  VQOverlayElement* e = ElementAt(x, y);
  if (m_highlighted && m_highlighted != e) m_highlighted->m_highlighted = 0;
  m_highlighted = e;
  if (e) e->m_highlighted = 1;
  return e != nullptr;
}

bool VQWindow::OnKey(uint32_t key, bool pressed) {
  if (m_focused) return m_focused->OnKey(key, pressed);
  if (!m_keyNavigation || !pressed) {
    return Notify(VQWINDOW_KEY_ID, key, pressed ? VQELEMENT_EVENT_KEY_DOWN : VQELEMENT_EVENT_KEY_UP);
  }
  const uint32_t next = m_manager ? m_manager->m_keyNext : VQOVERLAY_KEY_NEXT;
  const uint32_t previous = m_manager ? m_manager->m_keyPrevious : VQOVERLAY_KEY_PREVIOUS;
  const uint32_t activate = m_manager ? m_manager->m_keyActivate : VQOVERLAY_KEY_ACTIVATE;
  if (key != next && key != previous && key != activate) return false;
  Navigate(key == next ? 1 : key == previous ? 2 : 0);
  return true;
}

// step: 1 next, 2 previous, 0 activate.
void VQWindow::Navigate(uint32_t step) {
  if (!m_highlighted) {
    for (uint32_t i = 0; i < m_elementCount; ++i) {
      if (!m_elements[i]->m_input) continue;
      m_highlighted = m_elements[i];
      m_highlighted->m_highlighted = 1;
      break;
    }
    return;
  }
  if (step == 0) {
    VQOverlayElement* e = m_highlighted;
    e->OnFocusGained(e->m_x, e->m_y);
    e->OnLeftDown(e->m_x, e->m_y);
    e->OnLeftUp(e->m_x, e->m_y);
    return;
  }
  if (m_elementCount < 2) return;
  const int32_t from = IndexOfElement(m_highlighted);
  if (from < 0) return;
  const int32_t n = int32_t(m_elementCount), dir = step == 1 ? 1 : -1;
  int32_t i = from;
  for (int32_t tries = 0; tries < n; ++tries) {
    i += dir;
    if (i < 0 || i >= n) {
      if (!m_wrap) return;
      i = i < 0 ? n - 1 : 0;
    }
    if (i == from) return;
    if (m_elements[i]->m_input) break;
  }
  if (i == from || !m_elements[i]->m_input) return;
  m_highlighted->m_highlighted = 0;
  m_highlighted = m_elements[i];
  m_highlighted->m_highlighted = 1;
}

void VQWindow::Draw() {
  if (!m_canvas) return;
  bool elements = true;
  if (m_drawCallback) {
    elements = m_drawCallback(this, m_canvas, m_drawContext);
  } else if (m_background) {
    DrawImageScaled(m_background, 0, 0, m_width, m_height);
  }
  if (!elements) return;
  for (uint32_t i = 0; i < m_elementCount; ++i) m_elements[i]->Draw();
}

void VQWindow::DrawImage(const VQImageRef* image, int32_t x, int32_t y) {
  if (!m_canvas || !image) return;
  m_canvas->BlitImage(image, m_x + x, m_y + y, 0, 0);
}

void VQWindow::DrawImageScaled(const VQImageRef* image, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!m_canvas || !image) return;
  m_canvas->BlitImage(image, m_x + x, m_y + y, uint32_t(width), uint32_t(height));
}

void VQWindow::DrawImageRects(const VQImageRef* image, uint32_t count, const int32_t* dx, const int32_t* dy,
                              const int32_t* sx, const int32_t* sy, const int32_t* w, const int32_t* h) {
  if (!m_canvas || !image || count == 0) return;
  // The destinations offset by the window position, a piece of kRectPieces at a time.
  constexpr uint32_t kRectPieces = 64;
  int32_t x[kRectPieces], y[kRectPieces];
  for (uint32_t done = 0; done < count;) {
    const uint32_t n = count - done < kRectPieces ? count - done : kRectPieces;
    for (uint32_t i = 0; i < n; ++i) {
      x[i] = dx[done + i] + m_x;
      y[i] = dy[done + i] + m_y;
    }
    m_canvas->BlitImageRects(image, n, x, y, sx + done, sy + done, w + done, h + done);
    done += n;
  }
}

void VQWindow::DrawImageTen(const VQImageRef* image, int32_t x, int32_t y, const int32_t* words6) {
  if (!m_canvas || !image) return;
  m_canvas->BlitImageTen(image, uintptr_t(m_x + x), uintptr_t(m_y + y), uintptr_t(words6[0]), uintptr_t(words6[1]),
                         uintptr_t(words6[2]), uintptr_t(words6[3]), uintptr_t(words6[4]), uintptr_t(words6[5]), 0);
}

bool VQWindow::Notify(uintptr_t identifier, uint32_t param, uint32_t event) {
  return m_callback ? m_callback(identifier, param, event, m_user) : false;
}

// ---------------------------------------------------------------------------------------------
// Manager

VQWindowManager::VQWindowManager(VQCanvas* canvas) : m_canvas(canvas) {}

VQWindowManager::~VQWindowManager() {
  while (m_count > 0) DestroyWindow(m_windows[m_count - 1]);
}

VQWindow* VQWindowManager::CreateWindow(int32_t width, int32_t height, VQImageRef* background,
                                        VQWindowCallback callback, uintptr_t user, bool modal) {
  if (m_count >= VQOVERLAY_MAX_WINDOWS) {
    g_VQerror = VQERR_TABLE_FULL;
    return nullptr;
  }
  if ((width == 0 || height == 0) && !background) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  auto* w = new (std::nothrow) VQWindow();
  if (!w) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  w->m_canvas = m_canvas;
  w->m_width = width ? width : int32_t(background->GetWidth());
  w->m_height = height ? height : int32_t(background->GetHeight());
  w->m_background = background;
  w->m_callback = callback;
  w->m_user = user;
  w->m_modal = modal ? 1 : 0;
  w->m_manager = this;
  w->m_index = m_count;
  w->m_created = 1;
  m_windows[m_count++] = w;
  return w;
}

void VQWindowManager::Renumber(uint32_t from) {
  for (uint32_t i = from; i < m_count; ++i) m_windows[i]->m_index = i;
}

bool VQWindowManager::DestroyWindow(VQWindow* window) {
  // Looked up before it is touched: a window destroyed already is no longer in the array.
  uint32_t held = 0;
  while (held < m_count && m_windows[held] != window) ++held;
  if (!window || held == m_count) return false;
  window->Hide();
  // Both top slots: the window may have been put in either.
  for (VQWindow*& top : m_top)
    if (top == window) top = nullptr;
  for (uint32_t j = held + 1; j < m_count; ++j) m_windows[j - 1] = m_windows[j];
  m_windows[--m_count] = nullptr;
  Renumber(held);
  if (m_modal == window) m_modal = nullptr;
  if (m_active == window) {
    window->Deactivate();
    m_active = nullptr;
  }
  window->Destroy();
  window->m_manager = nullptr;
  delete window;
  return true;
}

void VQWindowManager::Raise(VQWindow* window) {
  if (!window || window->m_fixedOrder || window->m_manager != this) return;
  const uint32_t i = window->m_index;
  if (i >= m_count || m_windows[i] != window || i + 1 == m_count) return;
  for (uint32_t j = i + 1; j < m_count; ++j) m_windows[j - 1] = m_windows[j];
  m_windows[m_count - 1] = window;
  Renumber(i);
}

void VQWindowManager::SetActive(VQWindow* window) {
  if (m_active && m_active != window) m_active->Deactivate();
  m_active = window;
  if (window) window->ClearFocus();
}

VQWindow* VQWindowManager::WindowAt(int32_t x, int32_t y) const {
  for (uint32_t i = m_count; i-- > 0;) {
    VQWindow* w = m_windows[i];
    if (w->m_shown && w->m_hit && Contains(w->m_x, w->m_y, w->m_width, w->m_height, x, y)) return w;
  }
  return nullptr;
}

VQOverlayElement* VQWindowManager::ElementAt(int32_t x, int32_t y) const {
  VQWindow* w = WindowAt(x, y);
  return w ? w->ElementAt(x - w->m_x, y - w->m_y) : nullptr;
}

bool VQWindowManager::HandleEvent(uint32_t event, const void* record) {
  if (!record) return false;
  if (event == VQEVENT_KEY) {
    if (!m_keyboardEnabled || !m_active) return false;
    const auto* k = static_cast<const KeyRecord*>(record);
    return m_active->OnKey(k->key, k->pressed != 0);
  }
  // Only the buttons and moves that are routed read the record (the middle button is not).
  if (!m_mouseEnabled || m_count == 0 || event == VQEVENT_MIDDLE_DOWN || event == VQEVENT_MIDDLE_UP ||
      event > VQEVENT_POINTER_MOVE)
    return false;
  const auto* m = static_cast<const MouseRecord*>(record);
  m_pointerX = m->x;
  m_pointerY = m->y;
  const auto rx = [&](const VQWindow* w) { return m->x - w->m_x; };
  const auto ry = [&](const VQWindow* w) { return m->y - w->m_y; };
  switch (event) {
    case VQEVENT_LEFT_DOWN:
    case VQEVENT_RIGHT_DOWN: {
      const bool right = event == VQEVENT_RIGHT_DOWN;
      (right ? m_rightHeld : m_leftHeld) = 1;
      if (m_modal) {
        if (WindowAt(m->x, m->y)) {
          if (right) {
            m_modal->OnRightDown(rx(m_modal), ry(m_modal));
          } else {
            m_modal->OnLeftDown(rx(m_modal), ry(m_modal));
          }
        }
        return true;
      }
      VQWindow* w = WindowAt(m->x, m->y);
      if (!w) {
        if (m_active) m_active->Deactivate();
        m_active = nullptr;
        return false;
      }
      if (m_count > 0 && m_windows[m_count - 1] != w) Raise(w);
      SetActive(w);
      if (right) {
        w->OnRightDown(rx(w), ry(w));
      } else {
        w->OnLeftDown(rx(w), ry(w));
      }
      return true;
    }
    case VQEVENT_LEFT_UP:
    case VQEVENT_RIGHT_UP: {
      const bool right = event == VQEVENT_RIGHT_UP;
      uint8_t& held = right ? m_rightHeld : m_leftHeld;
      if (!held) return false;
      held = 0;
      if (!m_active) return false;
      if (right) {
        m_active->OnRightUp(rx(m_active), ry(m_active));
      } else {
        m_active->OnLeftUp(rx(m_active), ry(m_active));
      }
      return true;
    }
    case VQEVENT_POINTER_MOVE: {
      m_moved = 1;
      if (!m_active) return false;
      if (m_leftHeld) {
        m_active->OnDrag(m->prevX - m_active->m_x, m->prevY - m_active->m_y, rx(m_active), ry(m_active));
      } else {
        m_active->OnHover(rx(m_active), ry(m_active));
      }
      return true;
    }
    default: return false;
  }
}

void VQWindowManager::Draw() {
  for (uint32_t i = 0; i < m_count; ++i) {
    VQWindow* w = m_windows[i];
    if (w->m_shown && w != m_top[0] && w != m_top[1]) w->Draw();
  }
  for (VQWindow* top : m_top)
    if (top && top->m_shown) top->Draw();
  m_moved = 0;
}

// ---------------------------------------------------------------------------------------------
// Canvas hooks

namespace {

bool RootCallback(uintptr_t, uint32_t, uint32_t, uintptr_t) { return false; }

bool CreateOverlay(VQCanvas* canvas) {
  auto* manager = new (std::nothrow) VQWindowManager(canvas);
  if (!manager) return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  VQWindow* root = manager->CreateWindow(int32_t(canvas->m_width), int32_t(canvas->m_height), nullptr,
                                         RootCallback, 0, false);
  if (!root) {
    delete manager;
    return false;
  }
  // The root window covers the canvas and stays under every other window; the game places
  // elements in it directly, so it is hit and activated like any other.
  root->m_fixedOrder = 1;
  root->m_movable = 0;
  root->Show();
  canvas->m_windowManager = manager;
  canvas->m_rootWindow = root;
  return true;
}

void DestroyOverlay(VQCanvas* canvas) {
  auto* manager = canvas->m_windowManager;
  if (!manager) return;
  manager->DestroyWindow(canvas->m_rootWindow);
  delete manager;
  canvas->m_windowManager = nullptr;
  canvas->m_rootWindow = nullptr;
}

void DrawOverlay(VQCanvas* canvas) {
  if (auto* manager = canvas->m_windowManager) manager->Draw();
}

bool OverlayEvent(VQCanvas* canvas, uint32_t event, void* record) {
  auto* manager = canvas ? canvas->m_windowManager : nullptr;
  return manager ? manager->HandleEvent(event, record) : false;
}

}  // namespace

void VQoverlay_InstallCanvasHooks() {
  g_VQcanvasOverlay.create = CreateOverlay;
  g_VQcanvasOverlay.destroy = DestroyOverlay;
  g_VQcanvasOverlay.draw = DrawOverlay;
  g_VQcanvasOverlay.handleEvent = OverlayEvent;
}

VQWindowManager* VQoverlay_Manager(const VQCanvas* canvas) {
  return canvas ? canvas->m_windowManager : nullptr;
}

VQWindow* VQoverlay_RootWindow(const VQCanvas* canvas) {
  return canvas ? canvas->m_rootWindow : nullptr;
}
