#include "QVX/menu/Menu.h"

#include <strings.h>
#include <cstdio>
#include <cstring>
#include <new>

#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/overlay/VQFont.h"
#include "Zentri/devices/overlay/VQOverlayElements.h"
#include "Zentri/devices/overlay/VQWindowManager.h"
#include "Zentri/devices/sound/VQSoundBuffer.h"
#include "Zentri/devices/sound/VQSoundDevice.h"
#include "Zentri/resources/VQImageRef.h"

namespace {

// Sizes the layout takes for frame images that are missing (a menu without its data files).
const int32_t kFallbackSize[MENU_IMG_COUNT][2] = {{256, 32}, {32, 32}, {32, 32}, {256, 32},
                                                  {32, 32},  {32, 32}, {256, 8}, {32, 8},
                                                  {32, 8},   {16, 16}, {16, 16}};
constexpr int32_t kStripsPerRow = 5;
constexpr int32_t kHelpRows = 3;
constexpr int32_t kLabelX = 12;
constexpr int32_t kValueRight = 28;
constexpr int32_t kBlockStrips = 9;
constexpr uint32_t kLabelIdBase = 0;
constexpr uint32_t kTextIdBase = 255;
constexpr uint32_t kSliderIdBase = 511;

bool WindowEvent(uintptr_t, uint32_t param, uint32_t event, uintptr_t user) {
  auto* menu = reinterpret_cast<Menu*>(user);
  MenuPage* page = menu ? menu->GetCurrentPage() : nullptr;
  return page ? page->OnKey(param, event) : false;
}

bool DrawWindowFrame(VQWindow*, VQCanvas*, uintptr_t context) {
  if (auto* page = reinterpret_cast<MenuPage*>(context)) page->DrawFrame();
  return true;
}

bool DrawLabel(VQWindow* window, VQCustomElement* element, uintptr_t context) {
  auto* item = reinterpret_cast<MenuItem*>(context);
  if (!item || !item->label || !item->label[0] || !item->page) return true;
  const Menu* menu = item->page->m_menu;
  const bool focused = item->page->m_focus >= 0 && item->page->GetFocusedItem() == item;
  VQFont* font = menu->m_res.fonts[item->disabled ? MENU_FONT_DISABLED
                                   : focused      ? MENU_FONT_HILITE
                                                  : MENU_FONT_NORMAL];
  if (!font) return true;
  const int32_t y = element->m_y + (element->m_height - int32_t(font->m_glyphHeight)) / 2;
  font->DrawInWindow(window, element->m_x, y, item->label);
  return true;
}

}  // namespace

const char* MenuValue::DisplayText() const {
  switch (kind) {
    case MENU_VALUE_ACTION: return actionText ? actionText : "";
    case MENU_VALUE_INTEGER: return number;
    case MENU_VALUE_CHOICE:
      if (choiceTexts && choice >= 0 && choice < choiceCount && choiceTexts[choice])
        return choiceTexts[choice];
      return "";
    default: return "";
  }
}

// ---- Menu --------------------------------------------------------------------------------------

Menu::~Menu() {
  if (m_initialised) Release();
}

bool Menu::Init(VQWindowManager* manager, MenuCallback callback, uintptr_t user,
                const MenuResources& resources) {
  if (m_initialised) return true;
  m_keyResult = 0;
  m_keysActive = 1;
  m_currentPage = -1;
  m_pageCount = 0;
  m_manager = manager;
  m_callback = callback;
  m_user = user;
  m_arrowsShown = 0;
  m_res = resources;
  if (manager) {
    m_window = manager->CreateWindow(100, 100, nullptr, WindowEvent,
                                     reinterpret_cast<uintptr_t>(this), false);
    if (m_window) {
      m_window->m_keyNavigation = 0;
      m_window->m_movable = 0;
      m_window->m_drawCallback = DrawWindowFrame;
      m_window->SetPosition(10, 10);
    }
  }
  m_helpElement = new (std::nothrow) VQTextElement(0, nullptr, "", m_res.fonts[MENU_FONT_HELP]);
  if (m_helpElement) m_helpElement->m_alignment = VQTEXT_CENTRE;
  m_initialised = 1;
  return true;
}

MenuPage* Menu::CreatePage(int32_t id, const char* caption) {
  if (m_pageCount >= MENU_MAX_PAGES) return nullptr;
  auto* page = new (std::nothrow) MenuPage(this, id, caption);
  if (!page) return nullptr;
  m_pages[m_pageCount++] = page;
  return page;
}

MenuPage* Menu::FindPage(int32_t id) const {
  for (uint32_t i = 0; i < m_pageCount; ++i)
    if (m_pages[i]->m_id == id) return m_pages[i];
  return nullptr;
}

void Menu::ShowPage(int32_t id) {
  MenuPage* page = FindPage(id);
  if (!page) return;
  if (MenuPage* current = GetCurrentPage()) current->Hide();
  page->Show();
}

void Menu::HideAllPages() {
  for (uint32_t i = 0; i < m_pageCount; ++i) m_pages[i]->Hide();
}

MenuPage* Menu::GetCurrentPage() const {
  if (m_currentPage < 0 || uint32_t(m_currentPage) >= m_pageCount) return nullptr;
  return m_pages[m_currentPage];
}

void Menu::DeletePage(MenuPage* page) {
  for (uint32_t i = 0; i < m_pageCount; ++i) {
    if (m_pages[i] != page) continue;
    const MenuPage* current = GetCurrentPage();
    page->Hide();
    delete page;
    for (uint32_t k = i; k + 1 < m_pageCount; ++k) m_pages[k] = m_pages[k + 1];
    m_pages[--m_pageCount] = nullptr;
    // The shown page keeps its place in the index after the gap closes.
    if (current && current != page) {
      for (uint32_t k = 0; k < m_pageCount; ++k)
        if (m_pages[k] == current) m_currentPage = int32_t(k);
    } else {
      m_currentPage = -1;
    }
    return;
  }
}

void Menu::Release() {
  HideAllPages();
  if (m_window) m_window->RemoveAllElements();
  delete m_helpElement;
  m_helpElement = nullptr;
  while (m_pageCount > 0) DeletePage(m_pages[m_pageCount - 1]);
  for (VQImageRef*& image : m_res.images) {
    delete image;
    image = nullptr;
  }
  delete m_res.sliderKnob;
  delete m_res.sliderTrack;
  m_res.sliderKnob = m_res.sliderTrack = nullptr;
  for (VQSoundBuffer*& sound : m_res.sounds) {
    if (sound && m_res.soundDevice) m_res.soundDevice->DeleteBuffer(sound);
    sound = nullptr;
  }
  if (m_window && m_manager) m_manager->DestroyWindow(m_window);
  m_window = nullptr;
  m_currentPage = -1;
  m_initialised = 0;
}

void Menu::PlaySound(uint32_t which) {
  if (which >= MENU_SOUND_COUNT || !m_res.sounds[which]) return;
  VQSoundBuffer* sound = m_res.sounds[which];
  sound->Stop(true);
  sound->SetVolume(m_res.masterVolume ? *m_res.masterVolume : 1.0f);
  sound->Play(0);
  ++m_soundsPlayed;
}

int32_t Menu::FontHeight(uint32_t font) const {
  const VQFont* f = font < MENU_FONT_COUNT ? m_res.fonts[font] : nullptr;
  return f ? int32_t(f->m_glyphHeight) : 20;
}

int32_t Menu::TextWidth(uint32_t font, const char* text) const {
  const VQFont* f = font < MENU_FONT_COUNT ? m_res.fonts[font] : nullptr;
  if (!text) return 0;
  return f ? f->TextWidth(text) : int32_t(std::strlen(text)) * 10;
}

int32_t Menu::ImageWidth(uint32_t image) const {
  const VQImageRef* r = m_res.images[image];
  return r && r->GetWidth() ? int32_t(r->GetWidth()) : kFallbackSize[image][0];
}

int32_t Menu::ImageHeight(uint32_t image) const {
  const VQImageRef* r = m_res.images[image];
  return r && r->GetHeight() ? int32_t(r->GetHeight()) : kFallbackSize[image][1];
}

void Menu::ScreenSize(int32_t* width, int32_t* height) const {
  const VQCanvas* canvas = m_manager ? m_manager->m_canvas : nullptr;
  *width = canvas ? int32_t(canvas->m_width) : 640;
  *height = canvas ? int32_t(canvas->m_height) : 480;
}

// ---- MenuPage ----------------------------------------------------------------------------------

MenuPage::MenuPage(Menu* menu, int32_t id, const char* caption)
    : m_id(id), m_caption(caption ? caption : ""), m_menu(menu) {
  m_captionElement =
      new (std::nothrow) VQTextElement(0, nullptr, m_caption, menu->m_res.fonts[MENU_FONT_NORMAL]);
  if (m_captionElement) m_captionElement->m_alignment = VQTEXT_CENTRE;
  m_subtitleElement =
      new (std::nothrow) VQTextElement(0, nullptr, "", menu->m_res.fonts[MENU_FONT_SUBTITLE]);
  if (m_subtitleElement) {
    m_subtitleElement->m_alignment = VQTEXT_CENTRE;
    m_subtitleElement->SetSize(300, menu->FontHeight(MENU_FONT_NORMAL));
  }
}

MenuPage::~MenuPage() {
  TakeElementsBack();
  delete m_captionElement;
  delete m_subtitleElement;
  while (m_itemCount > 0) RemoveItem(m_itemCount - 1);
  for (uint32_t i = 0; i < m_widgetCount; ++i) delete m_widgets[i];
  m_widgetCount = 0;
}

// The window owns the elements it holds; a page gives its own back before it deletes them.
void MenuPage::TakeElementsBack() {
  VQWindow* window = m_menu->m_window;
  if (!window) return;
  auto take = [window](VQOverlayElement* e) {
    if (e && e->m_owner == window) window->RemoveElement(e);
  };
  take(m_captionElement);
  take(m_subtitleElement);
  for (uint32_t i = 0; i < m_itemCount; ++i) {
    take(m_items[i]->labelElement);
    if (MenuValue* v = m_items[i]->value) {
      take(v->text);
      take(v->slider);
    }
  }
  for (uint32_t i = 0; i < m_widgetCount; ++i) take(m_widgets[i]);
}

bool MenuPage::AddItem(int32_t id, const char* label, int32_t target, int32_t kind,
                       const char* help) {
  if (m_itemCount >= MENU_MAX_ITEMS) return false;
  auto* item = new (std::nothrow) MenuItem();
  if (!item) return false;
  const uint32_t index = m_itemCount;
  item->id = id;
  item->label = label ? label : "";
  item->help = help;
  item->page = this;
  if (!item->label[0]) {
    item->target = MENU_TARGET_EMPTY;
    m_items[m_itemCount++] = item;
    return true;
  }
  item->target = target;
  item->selectable = 1;
  item->labelElement = new (std::nothrow)
      VQCustomElement(kLabelIdBase + index, 100, 32, DrawLabel, reinterpret_cast<uintptr_t>(item));
  if (kind >= MENU_VALUE_ACTION && kind <= MENU_VALUE_SLIDER) {
    auto* value = new (std::nothrow) MenuValue();
    if (value) {
      value->kind = kind;
      if (kind == MENU_VALUE_SLIDER) {
        // Each slider holds its own counted references of the shared knob and track textures.
        const VQImageRef* k = m_menu->m_res.sliderKnob;
        const VQImageRef* t = m_menu->m_res.sliderTrack;
        VQImageRef* knob =
            k && k->m_texture ? new (std::nothrow) VQImageRef(k->m_texture) : nullptr;
        VQImageRef* track =
            t && t->m_texture ? new (std::nothrow) VQImageRef(t->m_texture) : nullptr;
        const int32_t w = track ? int32_t(track->GetWidth()) : 128;
        const int32_t h = track ? int32_t(track->GetHeight()) : 16;
        value->slider =
            new (std::nothrow) VQSliderElement(kSliderIdBase + index, knob ? knob : nullptr,
                                               nullptr, track, nullptr, 8, h / 2, w - 8, h / 2);
        if (value->slider) {
          value->slider->m_width = w;
          value->slider->m_height = h;
        }
      } else {
        value->text = new (std::nothrow)
            VQTextElement(kTextIdBase + index, nullptr, "-", m_menu->m_res.fonts[MENU_FONT_NORMAL]);
        if (value->text) value->text->m_alignment = VQTEXT_RIGHT;
        item->arrows = 1;
      }
    }
    item->value = value;
  }
  m_items[m_itemCount++] = item;
  return true;
}

void MenuPage::RemoveItem(uint32_t index) {
  if (index >= m_itemCount) return;
  MenuItem* item = m_items[index];
  VQWindow* window = m_menu->m_window;
  auto drop = [window](VQOverlayElement* e) {
    if (!e) return;
    if (window && e->m_owner == window) window->RemoveElement(e);
    delete e;
  };
  drop(item->labelElement);
  if (item->value) {
    drop(item->value->text);
    drop(item->value->slider);
    delete item->value;
  }
  delete item;
  for (uint32_t i = index; i + 1 < m_itemCount; ++i) m_items[i] = m_items[i + 1];
  m_items[--m_itemCount] = nullptr;
  if (m_focus == int32_t(index)) {
    m_focus = -1;
  } else if (m_focus > int32_t(index)) {
    --m_focus;
  }
}

MenuItem* MenuPage::GetItem(int32_t key, bool byId) const {
  if (byId) {
    for (uint32_t i = 0; i < m_itemCount; ++i)
      if (m_items[i]->id == key) return m_items[i];
    return nullptr;
  }
  return key >= 0 && uint32_t(key) < m_itemCount ? m_items[key] : nullptr;
}

MenuValue* MenuPage::GetValue(int32_t key, bool byId) const {
  MenuItem* item = GetItem(key, byId);
  return item ? item->value : nullptr;
}

MenuItem* MenuPage::GetFocusedItem() const { return GetItem(m_focus, false); }

int32_t MenuPage::IndexOf(const MenuItem* item) const {
  for (uint32_t i = 0; i < m_itemCount; ++i)
    if (m_items[i] == item) return int32_t(i);
  return -1;
}

void MenuPage::FocusItem(int32_t id) {
  MenuItem* target = GetItem(id, true);
  if (!target) return;
  if (MenuItem* current = GetFocusedItem()) {
    if (m_shown) Notify(current, MENU_FOCUS_LOST);
    SetItemHighlight(false, current);
  }
  m_focus = IndexOf(target);
  if (m_shown) {
    Notify(target, MENU_FOCUS_GAINED);
    SetItemHighlight(true, target);
  }
}

void MenuPage::SetCaption(const char* text) {
  m_caption = text ? text : "";
  if (m_captionElement) m_captionElement->SetText(m_caption);
}

void MenuPage::SetTitle(const char* text) {
  m_subtitle = text;
  if (m_subtitleElement) m_subtitleElement->SetText(text ? text : "");
}

void MenuPage::SetItemHelp(MenuItem* item, const char* text) {
  if (!item) return;
  item->help = text;
  if (m_menu->m_helpElement) m_menu->m_helpElement->SetText(text ? text : "");
}

bool MenuPage::AddWidget(VQOverlayElement* element) {
  if (!element || m_widgetCount >= MENU_MAX_WIDGETS) return false;
  m_widgets[m_widgetCount++] = element;
  return true;
}

VQOverlayElement* MenuPage::GetWidget(uint32_t index) const {
  return index < m_widgetCount ? m_widgets[index] : nullptr;
}

void MenuPage::SetKeysEnabled(bool on) {
  if (m_menu->m_manager) m_menu->m_manager->m_keyboardEnabled = on ? 1 : 0;
  m_keysEnabled = on ? 1 : 0;
}

bool MenuPage::ActivateByLabel(const char* text) {
  if (!text) return false;
  for (uint32_t i = 0; i < m_itemCount; ++i) {
    MenuItem* item = m_items[i];
    if (item->label[0] && strcasecmp(item->label, text) == 0) {
      Activate(item);
      return true;
    }
  }
  return false;
}

void MenuPage::Notify(MenuItem* item, uint32_t event) {
  if (m_menu->m_callback) m_menu->m_callback(this, item, event, m_menu->m_user);
}

// ---- keys, focus, values ------------------------------------------------------------------------

bool MenuPage::OnKey(uint32_t key, uint32_t event) {
  if (event != 7 || !m_menu->m_keysActive) return false;
  switch (key) {
    case MENU_KEY_ACCEPT:
    case MENU_KEY_ACCEPT2: {
      MenuItem* item = GetFocusedItem();
      if (!item) return false;
      Activate(item);
      return m_menu->m_keyResult != 0;
    }
    case MENU_KEY_DECREASE: Decrease(); return m_menu->m_keyResult != 0;
    case MENU_KEY_UP: FocusPrevious(); return m_menu->m_keyResult != 0;
    case MENU_KEY_INCREASE: Increase(); return m_menu->m_keyResult != 0;
    case MENU_KEY_DOWN: FocusNext(); return m_menu->m_keyResult != 0;
    default: return false;
  }
}

void MenuPage::FocusNext() { MoveFocus(1); }
void MenuPage::FocusPrevious() { MoveFocus(-1); }

void MenuPage::MoveFocus(int32_t step) {
  if (m_itemCount == 0) return;
  const int32_t from = m_focus < 0 ? 0 : m_focus;
  const int32_t n = int32_t(m_itemCount);
  int32_t index = from;
  uint32_t steps = 0;
  do {
    index = ((index + step) % n + n) % n;
    if (++steps > MENU_STEP_LIMIT) return;
  } while (!m_items[index]->selectable || m_items[index]->hidden);
  MenuItem* old = m_items[from];
  Notify(old, MENU_FOCUS_LOST);
  SetItemHighlight(false, old);
  MenuItem* next = m_items[index];
  Notify(next, MENU_FOCUS_GAINED);
  SetItemHighlight(true, next);
  m_menu->PlaySound(MENU_SOUND_UPDOWN);
}

void MenuPage::SetItemHighlight(bool on, MenuItem* item) {
  if (!item) return;
  m_menu->m_arrowsShown = 0;
  if (on) {
    if (m_menu->m_helpElement) m_menu->m_helpElement->SetText(item->help ? item->help : "");
    m_focus = IndexOf(item);
  }
  MenuValue* v = item->value;
  if (v && v->text && v->kind >= MENU_VALUE_ACTION && v->kind <= MENU_VALUE_CHOICE)
    v->text->m_font = m_menu->m_res.fonts[item->disabled ? MENU_FONT_DISABLED
                                          : on           ? MENU_FONT_HILITE
                                                         : MENU_FONT_NORMAL];
  if (on && item->selectable && !item->disabled && item->arrows && v && v->text &&
      v->kind >= MENU_VALUE_ACTION && v->kind <= MENU_VALUE_CHOICE) {
    m_menu->m_arrowX[0] = v->text->m_x - 12;
    m_menu->m_arrowY[0] = v->text->m_y + 3;
    m_menu->m_arrowX[1] = v->text->m_x + v->text->m_width + 4;
    m_menu->m_arrowY[1] = v->text->m_y + 3;
    m_menu->m_arrowsShown = 1;
  }
}

void MenuPage::Decrease() {
  MenuItem* item = GetItem(m_focus < 0 ? 0 : m_focus, false);
  if (!item || !item->value || item->disabled) return;
  MenuValue* v = item->value;
  bool changed = false;
  switch (v->kind) {
    case MENU_VALUE_ACTION: changed = true; break;
    case MENU_VALUE_INTEGER:
      if (v->value > v->minimum) {
        --v->value;
        changed = true;
      } else if (v->wrap) {
        v->value = v->maximum;
        changed = true;
      }
      if (changed) std::snprintf(v->number, sizeof v->number, "%d", v->value);
      break;
    case MENU_VALUE_CHOICE:
      if (v->choice > 0) {
        --v->choice;
        changed = true;
      } else if (v->wrap && v->choiceCount > 0) {
        v->choice = v->choiceCount - 1;
        changed = true;
      }
      break;
    case MENU_VALUE_SLIDER:
      if (v->slider01 > 0.0f) {
        v->slider01 -= v->sliderStep;
        if (v->slider01 < 0.0f) v->slider01 = 0.0f;
        if (v->slider) v->slider->SetValue(v->slider01);
        changed = true;
      }
      break;
    default: break;
  }
  if (changed) {
    if (v->kind != MENU_VALUE_SLIDER) PlaceValue(item);
    Notify(item, MENU_DECREASE);
  }
  RefreshItem(item);
  if (changed) m_menu->PlaySound(MENU_SOUND_LEFTRIGHT);
}

void MenuPage::Increase() {
  MenuItem* item = GetItem(m_focus < 0 ? 0 : m_focus, false);
  if (!item || !item->value || item->disabled) return;
  MenuValue* v = item->value;
  bool changed = false;
  switch (v->kind) {
    case MENU_VALUE_ACTION: changed = true; break;
    case MENU_VALUE_INTEGER:
      if (v->value < v->maximum) {
        ++v->value;
        changed = true;
      } else if (v->wrap) {
        v->value = v->minimum;
        changed = true;
      }
      if (changed) std::snprintf(v->number, sizeof v->number, "%d", v->value);
      break;
    case MENU_VALUE_CHOICE:
      if (v->choice < v->choiceCount - 1) {
        ++v->choice;
        changed = true;
      } else if (v->wrap && v->choiceCount > 0) {
        v->choice = 0;
        changed = true;
      }
      break;
    case MENU_VALUE_SLIDER:
      if (v->slider01 != 1.0f) {
        v->slider01 += v->sliderStep;
        if (v->slider01 > 1.0f) v->slider01 = 1.0f;
        if (v->slider) v->slider->SetValue(v->slider01);
        changed = true;
      }
      break;
    default: break;
  }
  if (changed) {
    if (v->kind != MENU_VALUE_SLIDER) PlaceValue(item);
    Notify(item, MENU_INCREASE);
  }
  RefreshItem(item);
  if (changed) m_menu->PlaySound(MENU_SOUND_LEFTRIGHT);
}

void MenuPage::Activate(MenuItem* item) {
  if (!item || item->target == MENU_TARGET_EMPTY || item->disabled) return;
  Notify(item, MENU_ACTIVATE);
  if (!m_shown) return;
  m_menu->PlaySound(MENU_SOUND_ACTION);
  const int32_t target = item->target;
  if (target >= MENU_TARGET_STAY || target < 0) return;
  // A target naming no page of the tree does nothing: the page stays shown.
  MenuPage* next = m_menu->FindPage(target & MENU_TARGET_PAGE_MASK);
  if (!next) return;
  Hide();
  if (target & MENU_TARGET_FOCUS_RESET) m_focus = -1;
  next->Show();
}

// ---- layout and drawing -------------------------------------------------------------------------

int32_t MenuPage::RowHeight() const { return kStripsPerRow * m_menu->ImageHeight(MENU_IMG_ENTRY); }

void MenuPage::Measure(int32_t* width, int32_t* height) const {
  const Menu* m = m_menu;
  int32_t w = m->ImageWidth(MENU_IMG_TOPLEFT) + m->ImageWidth(MENU_IMG_TOP) +
              m->ImageWidth(MENU_IMG_TOPRIGHT);
  if (m_wide) w += m->ImageWidth(MENU_IMG_TOP);
  const int32_t top = m->ImageHeight(MENU_IMG_TOP), bottom = m->ImageHeight(MENU_IMG_BOTTOM);
  const int32_t strip = m->ImageHeight(MENU_IMG_ENTRY);
  int32_t visible = 0;
  for (uint32_t i = 0; i < m_itemCount; ++i)
    if (!m_items[i]->hidden) ++visible;
  int32_t h;
  if (m_itemCount > 0) {
    h = visible * RowHeight() - kBlockStrips * strip + 2 * (bottom + top);
  } else {
    h = bottom + top;
  }
  if (m_helpBox) h += kHelpRows * RowHeight() + top + bottom;
  if (m_extraRow) h += RowHeight() + top + bottom;
  if (m_fullHeight) {
    int32_t sw, sh;
    m->ScreenSize(&sw, &sh);
    h = sh;
  }
  *width = w;
  *height = h;
}

int32_t MenuPage::RowY(int32_t row, int32_t hiddenBefore) const {
  const Menu* m = m_menu;
  if (m_fullHeight) {
    int32_t y =
        m->ImageHeight(MENU_IMG_BOTTOMLEFT) + 5 + (m_itemCount == 1 ? -8 : 2) - RowHeight() * row;
    if (m_helpBox)
      y += kHelpRows * RowHeight() + m->ImageHeight(MENU_IMG_BOTTOMLEFT) +
           m->ImageHeight(MENU_IMG_TOPLEFT);
    return y;
  }
  return m_height - 2 * m->ImageHeight(MENU_IMG_TOP) - m->ImageHeight(MENU_IMG_BOTTOM) -
         m->ImageHeight(MENU_IMG_ENTRY) + 2 - RowHeight() * (row - hiddenBefore);
}

void MenuPage::PlaceValue(MenuItem* item) {
  MenuValue* v = item->value;
  if (!v || !item->labelElement) return;
  const int32_t y = item->labelElement->m_y;
  if (v->text) {
    v->text->SetText(v->DisplayText());
    const int32_t w = m_menu->TextWidth(MENU_FONT_NORMAL, v->DisplayText());
    v->text->SetSize(w + 2, RowHeight());
    v->text->m_layout = 0;
    v->text->m_x = m_width - kValueRight - w;
    v->text->m_y = y + (RowHeight() - m_menu->FontHeight(MENU_FONT_NORMAL)) / 2;
  }
  if (v->slider) {
    v->slider->m_x = m_width - v->slider->m_width - kValueRight;
    v->slider->m_y = y + (RowHeight() - v->slider->m_height) / 2 - 2;
    v->slider->SetValue(v->slider01);
  }
}

void MenuPage::PlaceWindow() {
  VQWindow* window = m_menu->m_window;
  if (!window) return;
  int32_t sw, sh;
  m_menu->ScreenSize(&sw, &sh);
  int32_t x = window->m_x, y = window->m_y;
  if (m_alignH == 0 || m_alignH == 2) x = m_offsetX;
  if (m_alignH == 1 || m_alignH == 3) x = sw - m_offsetX - m_width;
  if (m_alignH == 4) x = (sw - m_width) / 2 + m_offsetX;
  if (m_alignV == 0 || m_alignV == 2) y = sh - m_offsetY - m_height;
  if (m_alignV == 1 || m_alignV == 3) y = m_offsetY;
  if (m_alignV == 4) y = (sh - m_height) / 2 + m_offsetY;
  window->SetPosition(x, y);
  window->m_width = m_width;
  window->m_height = m_height;
}

void MenuPage::Show() {
  if (m_shown) return;
  Menu* m = m_menu;
  VQWindow* window = m->m_window;
  m->m_arrowsShown = 0;
  if (window) window->RemoveAllElements();
  // The handler fills values and texts before anything is laid out.
  for (uint32_t i = 0; i < m_itemCount; ++i)
    if (m_items[i]->label[0]) Notify(m_items[i], MENU_SHOWN);
  if (m_helpBox && m->m_res.fonts[MENU_FONT_HELP])
    m->m_res.fonts[MENU_FONT_HELP]->SetTabStops(nullptr, 0);
  Measure(&m_width, &m_height);
  const int32_t top = m->ImageHeight(MENU_IMG_TOP);
  const int32_t normalLine = m->FontHeight(MENU_FONT_NORMAL);
  if (m_captionElement) {
    m_captionElement->m_x = 0;
    m_captionElement->m_y = m_height - normalLine / 2 - top + 4 + (m_fullHeight ? 0 : 4);
    m_captionElement->SetSize(m_width, normalLine);
    m_captionElement->SetText(m_caption);
    if (window) window->AddElement(m_captionElement);
  }
  if (m_subtitle && m_subtitleElement) {
    const int32_t subLine = m->FontHeight(MENU_FONT_SUBTITLE);
    m_subtitleElement->m_x = 0;
    m_subtitleElement->m_y = m_height - subLine / 2 - normalLine - top + 8 + (m_fullHeight ? 0 : 4);
    m_subtitleElement->SetSize(m_width, subLine);
    m_subtitleElement->SetText(m_subtitle);
    if (window) window->AddElement(m_subtitleElement);
  }
  int32_t row = 0, hiddenBefore = 0;
  for (uint32_t i = 0; i < m_itemCount; ++i) {
    MenuItem* item = m_items[i];
    if (item->hidden) {
      ++hiddenBefore;
      continue;
    }
    if (item->label[0] && item->labelElement) {
      const int32_t y = RowY(row + hiddenBefore, hiddenBefore);
      const int32_t w = m->TextWidth(MENU_FONT_NORMAL, item->label);
      item->labelElement->m_x = item->value ? kLabelX : (m_width - w) / 2;
      item->labelElement->m_y = y;
      item->labelElement->m_width = w;
      item->labelElement->m_height = RowHeight();
      if (window) window->AddElement(item->labelElement);
      if (item->value) {
        if (item->value->text)
          item->value->text->m_font =
              m->m_res.fonts[item->disabled ? MENU_FONT_DISABLED : MENU_FONT_NORMAL];
        PlaceValue(item);
        if (window) {
          if (item->value->text) window->AddElement(item->value->text);
          if (item->value->slider) window->AddElement(item->value->slider);
        }
      }
    }
    ++row;
  }
  if (window) {
    for (uint32_t i = 0; i < m_widgetCount; ++i) window->AddElement(m_widgets[i]);
    window->m_drawCallback = DrawWindowFrame;
    window->m_drawContext = reinterpret_cast<uintptr_t>(this);
  }
  PlaceWindow();
  if (window) {
    window->Show();
    window->Activate();
    if (m_helpBox && m->m_helpElement) window->AddElement(m->m_helpElement);
  }
  // Focus.
  MenuItem* focused = GetFocusedItem();
  if (focused && (!focused->selectable || focused->hidden)) {
    m_focus = -1;
    focused = nullptr;
  }
  if (!focused) {
    if (m_focusLast) {
      for (int32_t i = int32_t(m_itemCount) - 1; i >= 0 && !focused; --i)
        if (m_items[i]->selectable && !m_items[i]->hidden) focused = m_items[i];
    } else {
      for (uint32_t i = 0; i < m_itemCount && !focused; ++i)
        if (m_items[i]->selectable && !m_items[i]->hidden) focused = m_items[i];
    }
  }
  // The page counts as shown from here: the focus event may already change pages.
  for (uint32_t i = 0; i < m->m_pageCount; ++i)
    if (m->m_pages[i] == this) m->m_currentPage = int32_t(i);
  m_shown = 1;
  if (focused) {
    m_focus = IndexOf(focused);
    Notify(focused, MENU_FOCUS_GAINED);
    if (m_shown) SetItemHighlight(true, focused);
  }
  if (m->m_helpElement) {
    const int32_t w = m->ImageWidth(MENU_IMG_TOPLEFT) + m->ImageWidth(MENU_IMG_TOPRIGHT) - 30 +
                      m->ImageWidth(MENU_IMG_TOP);
    m->m_helpElement->m_x = 15;
    m->m_helpElement->m_y = m_extraRow ? 99 : 15;
    m->m_helpElement->SetSize(w, 96);
  }
}

void MenuPage::Hide() {
  if (!m_shown) return;
  if (MenuItem* focused = GetFocusedItem()) {
    Notify(focused, MENU_FOCUS_GAINED);
    SetItemHighlight(false, focused);
  }
  for (uint32_t i = 0; i < m_itemCount && m_shown; ++i) {
    MenuItem* item = m_items[i];
    if (item->hidden) continue;
    Notify(item, MENU_FOCUS_LOST);
    Notify(item, MENU_HIDDEN);
  }
  if (VQWindow* window = m_menu->m_window) {
    window->ClearFocus();
    window->Hide();
    window->RemoveAllElements();
  }
  m_menu->m_arrowsShown = 0;
  m_menu->m_currentPage = -1;
  m_shown = 0;
}

void MenuPage::RefreshItem(MenuItem* item) {
  if (!item) return;
  const bool focused = GetFocusedItem() == item;
  MenuValue* v = item->value;
  if (v && v->text) {
    v->text->m_font = m_menu->m_res.fonts[item->disabled ? MENU_FONT_DISABLED
                                          : focused      ? MENU_FONT_HILITE
                                                         : MENU_FONT_NORMAL];
    PlaceValue(item);
  } else if (v && v->slider) {
    v->slider->SetValue(v->slider01);
  } else if (item->labelElement && item->label[0]) {
    const int32_t w = m_menu->TextWidth(MENU_FONT_NORMAL, item->label);
    item->labelElement->m_x = (m_width - w) / 2;
    item->labelElement->m_width = w;
  }
  if (m_menu->m_arrowsShown && focused && v && v->text) SetItemHighlight(true, item);
  if (focused && !item->selectable && m_shown) {
    const int32_t at = IndexOf(item);
    MenuItem* next = nullptr;
    for (uint32_t i = uint32_t(at) + 1; i < m_itemCount && !next; ++i)
      if (m_items[i]->selectable && !m_items[i]->hidden) next = m_items[i];
    for (int32_t i = 0; i < at && !next; ++i)
      if (m_items[i]->selectable) next = m_items[i];
    if (next) {
      Notify(item, MENU_FOCUS_LOST);
      SetItemHighlight(false, item);
      Notify(next, MENU_FOCUS_GAINED);
      SetItemHighlight(true, next);
    }
  }
  if (MenuItem* f = GetFocusedItem(); f && m_menu->m_helpElement)
    m_menu->m_helpElement->SetText(f->help ? f->help : "");
}

void MenuPage::DrawFrame() {
  Menu* m = m_menu;
  VQWindow* window = m->m_window;
  if (!window) return;
  PlaceWindow();
  VQImageRef* const* img = m->m_res.images;
  const int32_t tileW = m->ImageWidth(MENU_IMG_TOP);
  const int32_t leftW = m->ImageWidth(MENU_IMG_TOPLEFT);
  const int32_t strip = m->ImageHeight(MENU_IMG_ENTRY);
  const int32_t top = m->ImageHeight(MENU_IMG_TOP), bottom = m->ImageHeight(MENU_IMG_BOTTOM);
  // One block: bottom edge, strips, top edge; middle tiles repeat on a wide page.
  auto line = [&](uint32_t left, uint32_t mid, uint32_t right, int32_t y, int32_t middles) {
    int32_t x = 0;
    if (img[left]) window->DrawImage(img[left], x, y);
    x += m->ImageWidth(left);
    for (int32_t i = 0; i < middles; ++i) {
      if (img[mid]) window->DrawImage(img[mid], x, y);
      x += tileW;
    }
    if (img[right]) window->DrawImage(img[right], x, y);
  };
  auto block = [&](int32_t y, int32_t strips, bool wideBlock) {
    const int32_t middles = wideBlock && m_wide ? 2 : 1;
    line(MENU_IMG_BOTTOMLEFT, MENU_IMG_BOTTOM, MENU_IMG_BOTTOMRIGHT, y, middles);
    y += bottom;
    for (int32_t s = 0; s < strips; ++s) {
      line(MENU_IMG_ENTRYLEFT, MENU_IMG_ENTRY, MENU_IMG_ENTRYRIGHT, y, middles);
      y += strip;
    }
    line(MENU_IMG_TOPLEFT, MENU_IMG_TOP, MENU_IMG_TOPRIGHT, y, middles);
    return y + top;
  };
  (void)leftW;
  int32_t y = m_fullHeight ? 5 : 0;
  if (m_extraRow) y = block(y, kStripsPerRow, false);
  if (m_helpBox) y = block(y, 3 * kStripsPerRow, false);
  int32_t visible = 0;
  for (uint32_t i = 0; i < m_itemCount; ++i)
    if (!m_items[i]->hidden) ++visible;
  if (m_itemCount > 0) y = block(y, visible * kStripsPerRow - kBlockStrips, true);
  if (m_fullHeight) {
    int32_t sw, sh;
    m->ScreenSize(&sw, &sh);
    y = sh - 5 - m->ImageHeight(MENU_IMG_BOTTOMLEFT) - m->ImageHeight(MENU_IMG_TOPLEFT);
  }
  block(y, 0, true);
  if (m->m_arrowsShown) {
    if (img[MENU_IMG_ARROWLEFT])
      window->DrawImage(img[MENU_IMG_ARROWLEFT], m->m_arrowX[0], m->m_arrowY[0]);
    if (img[MENU_IMG_ARROWRIGHT])
      window->DrawImage(img[MENU_IMG_ARROWRIGHT], m->m_arrowX[1], m->m_arrowY[1]);
  }
}
