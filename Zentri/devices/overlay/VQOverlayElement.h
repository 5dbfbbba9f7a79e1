// The base of everything placed in an overlay window: images, sliders, toggles, texts, image
// lists, custom-drawn elements and the game's own element types. It holds the type, the
// rectangle (relative to the owning window, y upwards), the flags, the reported identifier and
// an optional click sound, and the input operations the window calls (window-relative
// coordinates; true = consumed). Drawing dispatches on the type.
#pragma once

#include <cstdint>

class VQSoundBuffer;
class VQSoundDevice;
class VQWindow;

// Element types.
enum VQElementType : uint32_t {
  VQELEMENT_IMAGE = 0,
  VQELEMENT_SLIDER = 1,
  VQELEMENT_GAUGE = 2,  // game-defined
  VQELEMENT_TOGGLE = 3,
  VQELEMENT_TEXT = 4,
  VQELEMENT_UNDRAWN = 5,  // has no draw routine
  VQELEMENT_IMAGE_LIST = 6,
  VQELEMENT_CUSTOM = 7,
  VQELEMENT_MARK_BUTTON = 8,  // game-defined
  VQELEMENT_FRAMES = 9,       // game-defined
};

// Events that elements report to the window callback callback(identifier, param, event, user).
enum VQElementEvent : uint32_t {
  VQELEMENT_EVENT_WINDOW_MOVED = 0,  // the window was dragged (identifier and param 0)
  VQELEMENT_EVENT_LEFT_DOWN = 1,
  VQELEMENT_EVENT_LEFT_UP = 2,
  VQELEMENT_EVENT_RIGHT_DOWN = 5,
  VQELEMENT_EVENT_RIGHT_UP = 6,
  VQELEMENT_EVENT_KEY_DOWN = 7,
  VQELEMENT_EVENT_KEY_UP = 8,
  VQELEMENT_EVENT_CLICK = 9,
  VQELEMENT_EVENT_SLIDER = 10,  // 16.16 fixed point, 0 to 65536
};

constexpr uint32_t VQELEMENT_NO_TOOLTIP = 257;

// The click-sound services of the sound device (its sound cache and voice limiter). They are
// the sound device's by default; tests put doubles in; an empty entry means no click sound.
struct VQOverlaySoundHooks {
  // The cached sound of a name, loaded when missing; null when there is none.
  VQSoundBuffer* (*load)(VQSoundDevice* device, const char* name) = nullptr;
  // Gives the cache reference back.
  void (*release)(VQSoundDevice* device, VQSoundBuffer* sound) = nullptr;
  // Plays once through the voice limiter at priority 0.5.
  void (*play)(VQSoundDevice* device, VQSoundBuffer* sound) = nullptr;
};
extern VQOverlaySoundHooks g_VQoverlaySound;

class VQOverlayElement {
 public:
  VQOverlayElement(uint32_t type, uint32_t identifier, int32_t x, int32_t y, int32_t width, int32_t height);
  // Gives the click sound back to the cache. Derived destructors unlink from the owner first.
  virtual ~VQOverlayElement();
  VQOverlayElement(const VQOverlayElement&) = delete;
  VQOverlayElement& operator=(const VQOverlayElement&) = delete;

  virtual bool OnLeftDown(int32_t x, int32_t y);  // sets the pressed flag; false
  virtual bool OnLeftUp(int32_t x, int32_t y);    // clears the pressed flag; false
  virtual bool OnRightDown(int32_t, int32_t) { return false; }
  virtual bool OnRightUp(int32_t, int32_t) { return false; }
  virtual bool OnDrag(int32_t, int32_t, int32_t, int32_t) { return false; }
  virtual bool OnKey(uint32_t, bool) { return false; }
  virtual bool OnFocusGained(int32_t, int32_t) { return false; }
  virtual bool OnFocusLost() { return false; }

  // Takes the click sound of the name from the device's sound cache (the old one given back).
  void SetSound(VQSoundDevice* device, const char* name);
  // Plays the click sound when the element is enabled and has one.
  void PlaySound();
  // Gives the previous tooltip key.
  uint32_t SetId(uint32_t key);
  // The element's address with the identify-by-pointer flag, else the tooltip key.
  uintptr_t GetId() const;
  // Set or clear the enabled flag; give its previous value.
  bool Show();
  bool Hide();
  // Draws the element by its type (types 2, 8 and 9 through the game's routines).
  void Draw();
  // The point packed for the window callback: element-relative y in the high and x in the low
  // 16 bits.
  uint32_t PackPoint(int32_t x, int32_t y) const;
  // Calls the owner's event callback with this element's identifier; false without owner.
  bool Report(uint32_t param, uint32_t event);

  VQSoundBuffer* m_sound = nullptr;
  VQSoundDevice* m_soundDevice = nullptr;
  uint32_t m_type;
  uint8_t m_highlighted = 0;
  uint32_t m_tooltipKey = VQELEMENT_NO_TOOLTIP;
  uint8_t m_idByPointer = 0;
  uint8_t m_enabled = 1;
  int32_t m_x, m_y, m_width, m_height;  // relative to the owning window
  uint8_t m_input = 0;                  // may take the focus and the highlight
  VQWindow* m_owner = nullptr;
  uint8_t m_pressed = 0;
  uint8_t m_draw = 1;        // the image button draws nothing while clear
  uint32_t m_identifier;     // first argument of every event callback the element makes
  uint8_t m_ownsImages = 1;  // the destructor deletes the element's images
  uint32_t m_spare = 129;    // kept for the game's types; no engine type reads it

 protected:
  // The draw routine of an engine type.
  virtual void DrawType() {}
};

// Draw routines of the game's element types 2, 8 and 9 (null: not drawn).
using VQElementDrawRoutine = void (*)(VQOverlayElement* element);
// False for a type other than 2, 8 or 9.
bool VQoverlay_SetGameDrawRoutine(uint32_t type, VQElementDrawRoutine routine);
