// The element types the engine supplies: image button (0), slider (1), two-image element (3),
// text (4), image list (6) and custom-drawn element (7). Each is created at (0, 0); its owner
// places it by setting m_x and m_y and adds it to a window. Images are handles owned by the
// element while m_ownsImages is set (deleted with it). Every element draws through its owner
// window and reports to the window's event callback (VQElementEvent); while its enabled flag
// is clear it ignores input and draws its disabled look.
#pragma once

#include <cstdint>

#include "Zentri/devices/overlay/VQOverlayElement.h"

class VQFont;
class VQImageRef;

constexpr uint32_t VQIMAGE_LIST_MAX = 32;
constexpr uint32_t VQIMAGE_LIST_NONE = 33;   // no entry selected
constexpr uint32_t VQIMAGE_BUTTON_PRESSED_FRAMES = 10;
constexpr uint32_t VQLABEL_BYTES = 32;
constexpr int32_t VQSLIDER_ONE = 65536;      // 1.0 in the reported 16.16 value

class VQImageElement : public VQOverlayElement {
 public:
  // normal must not be null; fifth is owned but never drawn.
  VQImageElement(uint32_t identifier, VQImageRef* normal, VQImageRef* pressed, VQImageRef* highlighted,
                 VQImageRef* disabled, VQImageRef* fifth);
  ~VQImageElement() override;
  bool OnLeftDown(int32_t x, int32_t y) override;
  bool OnLeftUp(int32_t x, int32_t y) override;

  uint32_t m_state = 0;  // 1 while held
  VQImageRef* m_normal;
  VQImageRef* m_pressedImage;
  VQImageRef* m_highlightedImage;
  VQImageRef* m_disabledImage;
  VQImageRef* m_fifth;
  char m_label[VQLABEL_BYTES] = {};
  int32_t m_labelX = 0, m_labelY = 0;
  VQFont* m_labelFont = nullptr;
  uint32_t m_countdown = 0;  // frames the pressed look is still shown
  uint32_t m_pressedFrames = VQIMAGE_BUTTON_PRESSED_FRAMES;
  uint8_t m_latched = 0;

 protected:
  void DrawType() override;
};

class VQSliderElement : public VQOverlayElement {
 public:
  VQSliderElement(uint32_t identifier, VQImageRef* knob, VQImageRef* disabledKnob, VQImageRef* track,
                  VQImageRef* disabledTrack, int32_t xMin, int32_t yMin, int32_t xMax, int32_t yMax);
  ~VQSliderElement() override;
  bool OnLeftDown(int32_t x, int32_t y) override;
  bool OnDrag(int32_t prevX, int32_t prevY, int32_t x, int32_t y) override;
  // value 0.0 to 1.0; reports only when the knob moves.
  void SetValue(float value);

  uint32_t m_vertical;
  VQImageRef* m_track;
  VQImageRef* m_disabledTrack;
  VQImageRef* m_knob;
  VQImageRef* m_disabledKnob;
  int32_t m_knobWidth, m_knobHeight;
  int32_t m_xMin, m_xMax, m_yMin, m_yMax;  // element-relative knob centre range
  int32_t m_knobX, m_knobY;                // knob centre, element-relative

 protected:
  void DrawType() override;

 private:
  void SetFromPoint(int32_t x, int32_t y);
};

class VQToggleElement : public VQOverlayElement {
 public:
  VQToggleElement(uint32_t identifier, VQImageRef* image, VQImageRef* disabledImage, bool input);
  ~VQToggleElement() override;
  bool OnLeftDown(int32_t x, int32_t y) override;
  bool OnLeftUp(int32_t x, int32_t y) override;
  bool OnRightDown(int32_t x, int32_t y) override;
  bool OnRightUp(int32_t x, int32_t y) override;
  // With deleteOld the current image and (when different) disabled image are deleted first.
  bool SetImages(VQImageRef* image, VQImageRef* disabledImage, bool deleteOld);

  VQImageRef* m_image;
  VQImageRef* m_disabledImage;
  uint8_t m_partFlag = 0;
  int32_t m_part[6] = {};

 protected:
  void DrawType() override;

 private:
  void DeleteImages();
};

class VQTextElement : public VQOverlayElement {
 public:
  // text is not copied: it must outlive the element or be replaced with SetText.
  VQTextElement(uint32_t identifier, VQImageRef* background, const char* text, VQFont* font);
  ~VQTextElement() override;
  bool OnLeftUp(int32_t x, int32_t y) override;
  void SetText(const char* text);
  void SetSize(int32_t width, int32_t height);
  bool SetScrollLine(uint32_t line) {
    m_firstLine = line;
    return true;
  }

  VQImageRef* m_background;
  VQFont* m_font;
  const char* m_text = nullptr;
  uint32_t m_length = 0;
  int32_t m_layoutWidth = 0, m_layoutHeight = 0;
  uint32_t m_firstLine = 0;
  uint32_t m_alignment = 0;  // VQTextAlign
  uint8_t m_layout = 1;      // laid out in the rectangle; else one line

 protected:
  void DrawType() override;
};

class VQImageListElement : public VQOverlayElement {
 public:
  explicit VQImageListElement(uint32_t identifier);
  ~VQImageListElement() override;
  bool OnLeftDown(int32_t x, int32_t y) override;
  // False (nothing added) when the list holds 32 entries or image is null.
  bool AddImage(int32_t x, int32_t y, VQImageRef* image, VQImageRef* selected, VQImageRef* disabled);
  void Select(uint32_t index) { m_selected = index; }

  int32_t m_entryCount = 0;
  uint32_t m_selected = VQIMAGE_LIST_NONE;
  uint8_t m_entryEnabled[VQIMAGE_LIST_MAX] = {};
  VQImageRef* m_images[VQIMAGE_LIST_MAX] = {};
  VQImageRef* m_selectedImages[VQIMAGE_LIST_MAX] = {};
  VQImageRef* m_disabledImages[VQIMAGE_LIST_MAX] = {};
  int32_t m_entryX[VQIMAGE_LIST_MAX] = {};
  int32_t m_entryY[VQIMAGE_LIST_MAX] = {};

 protected:
  void DrawType() override;
};

class VQCustomElement;
// draw(owner window, element, context); the result is ignored.
using VQCustomDraw = bool (*)(class VQWindow* window, VQCustomElement* element, uintptr_t context);

class VQCustomElement : public VQOverlayElement {
 public:
  VQCustomElement(uint32_t identifier, int32_t width, int32_t height, VQCustomDraw draw, uintptr_t context);
  ~VQCustomElement() override;
  bool OnLeftDown(int32_t x, int32_t y) override;
  bool OnLeftUp(int32_t x, int32_t y) override;
  bool OnKey(uint32_t key, bool pressed) override;

  VQCustomDraw m_drawCallback;
  uintptr_t m_context;

 protected:
  void DrawType() override;
};
