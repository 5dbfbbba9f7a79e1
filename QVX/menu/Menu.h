// The game's menus: pages of items laid out in one overlay window of the game's canvas. A Menu
// holds up to 100 pages; a page holds up to 20 items, each optionally with a value (an action,
// an integer spinner, a list choice or a slider). The keyboard moves the focus and changes the
// values; every change is reported to one event callback as (page, item, event, user), and the
// game gives the items their meaning there. Pages and items are plain records that the game
// reads and writes directly; MenuPage::RefreshItem re-applies an item after such a change.
//
// Events: 0 shown, 1 hidden, 2 decrease, 3 increase, 4 activate, 5 focus gained, 6 focus lost.
// Item targets: a page id (bit 15 set: the page being left forgets its focus); 0xFFFF and above
// show no page (the event handler alone serves them); -1 marks an empty line.
#pragma once

#include <cstdint>

class VQCustomElement;
class VQFont;
class VQImageRef;
class VQOverlayElement;
class VQSliderElement;
class VQSoundBuffer;
class VQSoundDevice;
class VQTextElement;
class VQWindow;
class VQWindowManager;
class VQCanvas;
class Menu;
class MenuPage;
struct MenuItem;

constexpr uint32_t MENU_MAX_PAGES = 100;
constexpr uint32_t MENU_MAX_ITEMS = 20;
constexpr uint32_t MENU_MAX_WIDGETS = 20;
constexpr int32_t MENU_TARGET_EMPTY = -1;
constexpr int32_t MENU_TARGET_STAY = 0xFFFF;  // this and above: no page is shown
constexpr int32_t MENU_TARGET_FOCUS_RESET = 0x8000;
constexpr int32_t MENU_TARGET_PAGE_MASK = 0x7FFF;
constexpr uint32_t MENU_STEP_LIMIT = 100;  // focus search steps before giving up

enum MenuEvent : uint32_t {
  MENU_SHOWN = 0,
  MENU_HIDDEN = 1,
  MENU_DECREASE = 2,
  MENU_INCREASE = 3,
  MENU_ACTIVATE = 4,
  MENU_FOCUS_GAINED = 5,
  MENU_FOCUS_LOST = 6,
};

enum MenuValueKind : int32_t {
  MENU_VALUE_NONE = 0,
  MENU_VALUE_ACTION = 1,
  MENU_VALUE_INTEGER = 2,
  MENU_VALUE_CHOICE = 3,
  MENU_VALUE_SLIDER = 4,
};

// Overlay key codes the pages act on.
enum MenuKey : uint32_t {
  MENU_KEY_ACCEPT = 0,
  MENU_KEY_ACCEPT2 = 1,
  MENU_KEY_DECREASE = 7,
  MENU_KEY_UP = 8,
  MENU_KEY_INCREASE = 9,
  MENU_KEY_DOWN = 10,
};

// callback(page, item, event, user); the result is not used.
using MenuCallback = void (*)(MenuPage* page, MenuItem* item, uint32_t event, uintptr_t user);

struct MenuValue {
  int32_t kind = MENU_VALUE_NONE;
  VQTextElement* text = nullptr;      // kinds 1 to 3 (owned by the window while shown)
  VQSliderElement* slider = nullptr;  // kind 4
  char number[16] = {};               // the decimal text of an integer value
  int32_t value = 0, minimum = 0, maximum = 0;
  uint8_t wrap = 0;
  int32_t choice = 0, choiceCount = 0;
  const char* const* choiceTexts = nullptr;  // not owned
  const char* actionText = nullptr;          // not owned
  float slider01 = 0.0f, sliderStep = 0.1f;

  // The text a kind 1 to 3 value shows ("" when there is none).
  const char* DisplayText() const;
};

struct MenuItem {
  int32_t id = 0;
  const char* label = "";  // not owned
  int32_t target = 0;
  VQCustomElement* labelElement = nullptr;
  MenuValue* value = nullptr;  // owned
  const char* help = nullptr;  // not owned
  uint8_t selectable = 0, hidden = 0, disabled = 0, arrows = 0;
  MenuPage* page = nullptr;
};

// The images, fonts and sounds the menus draw and play with; any may be null (tests, a run
// without sound). The frame images are, in order: top, top-left, top-right, bottom,
// bottom-left, bottom-right, entry, entry-left, entry-right, arrow-left, arrow-right.
enum MenuFrameImage : uint32_t {
  MENU_IMG_TOP,
  MENU_IMG_TOPLEFT,
  MENU_IMG_TOPRIGHT,
  MENU_IMG_BOTTOM,
  MENU_IMG_BOTTOMLEFT,
  MENU_IMG_BOTTOMRIGHT,
  MENU_IMG_ENTRY,
  MENU_IMG_ENTRYLEFT,
  MENU_IMG_ENTRYRIGHT,
  MENU_IMG_ARROWLEFT,
  MENU_IMG_ARROWRIGHT,
  MENU_IMG_COUNT
};
enum MenuFont : uint32_t {
  MENU_FONT_NORMAL,
  MENU_FONT_HILITE,
  MENU_FONT_DISABLED,
  MENU_FONT_HELP,
  MENU_FONT_SUBTITLE,
  MENU_FONT_COUNT
};
enum MenuSound : uint32_t {
  MENU_SOUND_UPDOWN,
  MENU_SOUND_LEFTRIGHT,
  MENU_SOUND_ACTION,
  MENU_SOUND_COUNT
};

struct MenuResources {
  VQImageRef* images[MENU_IMG_COUNT] = {};       // owned by the Menu after Init
  VQFont* fonts[MENU_FONT_COUNT] = {};           // the font manager's
  VQSoundBuffer* sounds[MENU_SOUND_COUNT] = {};  // deleted through the sound device
  VQSoundDevice* soundDevice = nullptr;
  VQImageRef* sliderKnob = nullptr;  // copied into every slider (may be null)
  VQImageRef* sliderTrack = nullptr;
  float* masterVolume = nullptr;  // the sounds play at this gain (1 when null)
};

class MenuPage {
 public:
  MenuPage(Menu* menu, int32_t id, const char* caption);
  ~MenuPage();
  MenuPage(const MenuPage&) = delete;
  MenuPage& operator=(const MenuPage&) = delete;

  // Kind 0: no value; 1 to 3 a value with its text; 4 a slider. An empty label makes an empty
  // line (target -1, not selectable). False at 20 items.
  bool AddItem(int32_t id, const char* label, int32_t target, int32_t kind, const char* help);
  void RemoveItem(uint32_t index);
  // By index (key below the count) or, with byId, the first item whose id equals key.
  MenuItem* GetItem(int32_t key, bool byId = true) const;
  MenuValue* GetValue(int32_t key, bool byId = true) const;
  MenuItem* GetFocusedItem() const;
  void FocusItem(int32_t id);
  void SetCaption(const char* text);
  void SetTitle(const char* text);
  void SetItemHelp(MenuItem* item, const char* text);
  bool AddWidget(VQOverlayElement* element);
  VQOverlayElement* GetWidget(uint32_t index) const;
  void SetKeysEnabled(bool on);
  // Accepts the first item whose label equals text (letters in any case); false when none.
  bool ActivateByLabel(const char* text);
  void RefreshItem(MenuItem* item);

  void Show();
  void Hide();
  // A key event of the window (7 pressed, 8 released); the menu's key result for the keys it
  // acts on, false otherwise.
  bool OnKey(uint32_t key, uint32_t event);
  void FocusNext();
  void FocusPrevious();
  void Decrease();
  void Increase();
  void Activate(MenuItem* item);
  void SetItemHighlight(bool on, MenuItem* item);

  // Layout.
  int32_t RowHeight() const;
  int32_t RowY(int32_t row, int32_t hiddenBefore) const;
  void Measure(int32_t* width, int32_t* height) const;
  void PlaceWindow();
  void DrawFrame();
  int32_t IndexOf(const MenuItem* item) const;

  int32_t m_id;
  const char* m_caption;
  VQTextElement* m_captionElement = nullptr;
  const char* m_subtitle = nullptr;
  VQTextElement* m_subtitleElement = nullptr;
  uint8_t m_shown = 0;
  uint32_t m_itemCount = 0;
  MenuItem* m_items[MENU_MAX_ITEMS] = {};
  Menu* m_menu;
  int32_t m_focus = -1;
  uint32_t m_widgetCount = 0;
  VQOverlayElement* m_widgets[MENU_MAX_WIDGETS] = {};
  int32_t m_alignH = 4, m_alignV = 4, m_offsetX = 0, m_offsetY = 0;
  uint8_t m_keysEnabled = 1, m_helpBox = 1, m_extraRow = 0, m_wide = 0, m_fullHeight = 0;
  uint8_t m_focusLast = 0;  // shown with the focus on the last selectable item
  int32_t m_width = 0, m_height = 0;

 private:
  void Notify(MenuItem* item, uint32_t event);
  void MoveFocus(int32_t step);
  void PlaceValue(MenuItem* item);
  void TakeElementsBack();
};

class Menu {
 public:
  Menu() = default;
  ~Menu();
  Menu(const Menu&) = delete;
  Menu& operator=(const Menu&) = delete;

  // Takes the resources over, creates the window (key navigation off, frame drawing as its
  // hook) and the help element. A null window manager makes a menu without a window (tests).
  // True; already initialised: true at once.
  bool Init(VQWindowManager* manager, MenuCallback callback, uintptr_t user,
            const MenuResources& resources);
  MenuPage* CreatePage(int32_t id, const char* caption);
  MenuPage* FindPage(int32_t id) const;
  void ShowPage(int32_t id);
  void HideAllPages();
  MenuPage* GetCurrentPage() const;
  void DeletePage(MenuPage* page);
  void Release();
  // Plays a menu sound once at the master volume (nothing without it).
  void PlaySound(uint32_t which);
  // The height of one line of a menu font (a fallback height without fonts).
  int32_t FontHeight(uint32_t font) const;
  int32_t TextWidth(uint32_t font, const char* text) const;
  int32_t ImageWidth(uint32_t image) const;
  int32_t ImageHeight(uint32_t image) const;
  // The canvas size the pages are placed in (640 x 480 without a canvas).
  void ScreenSize(int32_t* width, int32_t* height) const;

  uint8_t m_keyResult = 0;
  uint8_t m_keysActive = 0;
  uint32_t m_pageCount = 0;
  MenuPage* m_pages[MENU_MAX_PAGES] = {};
  int32_t m_currentPage = -1;
  VQWindowManager* m_manager = nullptr;
  MenuResources m_res;
  VQWindow* m_window = nullptr;
  MenuCallback m_callback = nullptr;
  uintptr_t m_user = 0;
  VQTextElement* m_helpElement = nullptr;
  uint8_t m_arrowsShown = 0;
  int32_t m_arrowX[2] = {}, m_arrowY[2] = {};
  uint8_t m_initialised = 0;
  uint32_t m_soundsPlayed = 0;  // how many menu sounds were started (tests read it)
};
