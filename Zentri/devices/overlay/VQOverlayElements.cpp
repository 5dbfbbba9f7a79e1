#include "Zentri/devices/overlay/VQOverlayElements.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Zentri/devices/overlay/VQFont.h"
#include "Zentri/devices/overlay/VQWindowManager.h"
#include "Zentri/resources/VQImageRef.h"

namespace {

int32_t Width(const VQImageRef* image) { return image ? int32_t(image->GetWidth()) : 0; }
int32_t Height(const VQImageRef* image) { return image ? int32_t(image->GetHeight()) : 0; }

// Deletes each distinct image of the list once.
void DeleteDistinct(VQImageRef* const* images, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    bool seen = false;
    for (uint32_t j = 0; j < i; ++j) seen = seen || images[j] == images[i];
    if (!seen) delete images[i];
  }
}

int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Image button

VQImageElement::VQImageElement(uint32_t identifier, VQImageRef* normal, VQImageRef* pressed,
                               VQImageRef* highlighted, VQImageRef* disabled, VQImageRef* fifth)
    : VQOverlayElement(VQELEMENT_IMAGE, identifier, 0, 0, Width(normal), Height(normal)),
      m_normal(normal),
      m_pressedImage(pressed),
      m_highlightedImage(highlighted),
      m_disabledImage(disabled),
      m_fifth(fifth) {
  m_input = 1;
}

VQImageElement::~VQImageElement() {
  if (m_owner) m_owner->RemoveElement(this);
  if (m_ownsImages) {
    VQImageRef* images[5] = {m_normal, m_pressedImage, m_highlightedImage, m_disabledImage, m_fifth};
    DeleteDistinct(images, 5);
  }
}

void VQImageElement::DrawType() {
  if (!m_draw) return;
  VQImageRef* image;
  if (!m_enabled) {
    image = m_disabledImage ? m_disabledImage : m_normal;
  } else if (!m_latched && m_state == 0 && m_countdown == 0) {
    image = m_highlighted && m_highlightedImage ? m_highlightedImage : m_normal;
  } else {
    image = m_pressedImage;
    if (m_countdown > 0) --m_countdown;
  }
  if (image) m_owner->DrawImage(image, m_x, m_y);
  if (m_label[0] && m_labelFont) m_labelFont->DrawInWindow(m_owner, m_x + m_labelX, m_y + m_labelY, m_label);
}

bool VQImageElement::OnLeftDown(int32_t, int32_t) {
  if (!m_enabled) return false;
  m_state = 1;
  m_countdown = m_pressedFrames;
  m_pressed = 1;
  PlaySound();
  return true;
}

bool VQImageElement::OnLeftUp(int32_t, int32_t) {
  if (!m_enabled) return false;
  m_pressed = 0;
  m_state = 0;
  Report(0, VQELEMENT_EVENT_CLICK);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Slider

VQSliderElement::VQSliderElement(uint32_t identifier, VQImageRef* knob, VQImageRef* disabledKnob,
                                 VQImageRef* track, VQImageRef* disabledTrack, int32_t xMin, int32_t yMin,
                                 int32_t xMax, int32_t yMax)
    : VQOverlayElement(VQELEMENT_SLIDER, identifier, 0, 0, Width(track), Height(track)),
      m_vertical(yMin != yMax ? 1 : 0),
      m_track(track),
      m_disabledTrack(disabledTrack),
      m_knob(knob),
      m_disabledKnob(disabledKnob),
      m_knobWidth(Width(knob)),
      m_knobHeight(Height(knob)),
      m_xMin(xMin),
      m_xMax(yMin != yMax ? xMin : xMax),
      m_yMin(yMin),
      m_yMax(yMax),
      m_knobX(xMin),
      m_knobY(yMin) {
  m_input = 1;
}

VQSliderElement::~VQSliderElement() {
  if (m_owner) m_owner->RemoveElement(this);
  if (m_ownsImages) {
    VQImageRef* images[4] = {m_track, m_disabledTrack, m_knob, m_disabledKnob};
    DeleteDistinct(images, 4);
  }
}

void VQSliderElement::DrawType() {
  VQImageRef* track = m_enabled || !m_disabledTrack ? m_track : m_disabledTrack;
  VQImageRef* knob = m_enabled || !m_disabledKnob ? m_knob : m_disabledKnob;
  if (track) m_owner->DrawImage(track, m_x, m_y);
  // Halves rounded down, also for odd negative sizes.
  if (knob)
    m_owner->DrawImage(knob, m_x + m_knobX - int32_t(std::floor(m_knobWidth / 2.0)),
                       m_y + m_knobY - int32_t(std::floor(m_knobHeight / 2.0)));
}

void VQSliderElement::SetFromPoint(int32_t x, int32_t y) {
  double value;
  // A slider whose range is empty cannot move: it reports the value of its only position
  // (0 horizontal, 1 vertical) rather than dividing by zero.
  if (m_vertical) {
    m_knobY = Clamp(y - m_y, m_yMin, m_yMax);
    const int32_t range = m_yMax - m_yMin;
    value = range ? 1.0 - double(m_knobY - m_yMin) / range : 1.0;
  } else {
    m_knobX = Clamp(x - m_x, m_xMin, m_xMax);
    const int32_t range = m_xMax - m_xMin;
    value = range ? double(m_knobX - m_xMin) / range : 0.0;
  }
  double fixed = value * VQSLIDER_ONE;
  if (fixed < 0) fixed = 0;
  if (fixed > VQSLIDER_ONE) fixed = VQSLIDER_ONE;
  Report(uint32_t(fixed), VQELEMENT_EVENT_SLIDER);
}

bool VQSliderElement::OnLeftDown(int32_t x, int32_t y) {
  if (!m_enabled) return false;
  SetFromPoint(x, y);
  return true;
}

bool VQSliderElement::OnDrag(int32_t, int32_t, int32_t x, int32_t y) {
  if (!m_enabled) return false;
  SetFromPoint(x, y);
  return true;
}

void VQSliderElement::SetValue(float value) {
  bool moved;
  if (m_vertical) {
    const int32_t y = Clamp(int32_t(double(m_yMax - m_yMin) * (1.0 - value) + m_yMin), m_yMin, m_yMax);
    moved = y != m_knobY;
    m_knobY = y;
  } else {
    const int32_t x = Clamp(int32_t(double(m_xMax - m_xMin) * value + m_xMin), m_xMin, m_xMax);
    moved = x != m_knobX;
    m_knobX = x;
  }
  if (moved) Report(uint32_t(int32_t(value * 65536.0f)), VQELEMENT_EVENT_SLIDER);
}

// ---------------------------------------------------------------------------------------------
// Two-image element

VQToggleElement::VQToggleElement(uint32_t identifier, VQImageRef* image, VQImageRef* disabledImage, bool input)
    : VQOverlayElement(VQELEMENT_TOGGLE, identifier, 0, 0, Width(image), Height(image)),
      m_image(image),
      m_disabledImage(disabledImage) {
  m_input = input ? 1 : 0;
  const VQImageRef* look = m_enabled ? image : disabledImage;
  const int32_t w = Width(look), h = Height(look);
  const int32_t part[6] = {w, h, 0, 0, w, h};
  std::memcpy(m_part, part, sizeof m_part);
}

VQToggleElement::~VQToggleElement() {
  if (m_owner) m_owner->RemoveElement(this);
  if (m_ownsImages) DeleteImages();
}

void VQToggleElement::DeleteImages() {
  if (m_disabledImage != m_image) delete m_disabledImage;
  delete m_image;
  m_image = m_disabledImage = nullptr;
}

bool VQToggleElement::SetImages(VQImageRef* image, VQImageRef* disabledImage, bool deleteOld) {
  if (deleteOld) DeleteImages();
  m_image = image;
  m_disabledImage = disabledImage;
  m_width = Width(image);
  m_height = Height(image);
  return true;
}

void VQToggleElement::DrawType() {
  VQImageRef* image = m_enabled ? m_image : m_disabledImage;
  if (!image) return;
  if (m_partFlag) {
    const int32_t words[6] = {m_part[2], m_part[3], m_part[4], m_part[5], m_part[0], m_part[1]};
    m_owner->DrawImageTen(image, m_x, m_y, words);
  } else {
    m_owner->DrawImage(image, m_x, m_y);
  }
}

bool VQToggleElement::OnLeftDown(int32_t x, int32_t y) {
  if (!m_enabled) return false;
  m_pressed = 1;
  if (m_input && m_owner) {
    Report(PackPoint(x, y), VQELEMENT_EVENT_CLICK);
    Report(PackPoint(x, y), VQELEMENT_EVENT_LEFT_DOWN);
  }
  return false;
}

bool VQToggleElement::OnLeftUp(int32_t x, int32_t y) {
  if (!m_enabled) return false;
  m_pressed = 0;
  if (m_input && m_owner) Report(PackPoint(x, y), VQELEMENT_EVENT_LEFT_UP);
  return false;
}

bool VQToggleElement::OnRightDown(int32_t x, int32_t y) {
  if (m_enabled && m_input && m_owner) Report(PackPoint(x, y), VQELEMENT_EVENT_RIGHT_DOWN);
  return false;
}

bool VQToggleElement::OnRightUp(int32_t x, int32_t y) {
  if (m_enabled && m_input && m_owner) Report(PackPoint(x, y), VQELEMENT_EVENT_RIGHT_UP);
  return false;
}

// ---------------------------------------------------------------------------------------------
// Text

VQTextElement::VQTextElement(uint32_t identifier, VQImageRef* background, const char* text, VQFont* font)
    : VQOverlayElement(VQELEMENT_TEXT, identifier, 0, 0, 1, 1), m_background(background), m_font(font) {
  m_text = text;
  m_length = text ? uint32_t(std::strlen(text)) : 0;
  if (background) {
    m_width = Width(background);
    m_height = Height(background);
  } else {
    if (text && font) font->MeasureText(text, &m_width, &m_height);
    m_layoutWidth = m_width;
    m_layoutHeight = m_height;
  }
}

VQTextElement::~VQTextElement() {
  if (m_owner) m_owner->RemoveElement(this);
  if (m_ownsImages) delete m_background;
}

void VQTextElement::SetText(const char* text) {
  m_text = text;
  m_length = text ? uint32_t(std::strlen(text)) : 0;
  if (m_background || m_layoutWidth != 0) return;
  if (text && m_font) {
    m_font->MeasureText(text, &m_width, &m_height);
  } else {
    m_width = m_height = 1;
  }
}

void VQTextElement::SetSize(int32_t width, int32_t height) {
  m_layoutWidth = m_width = width;
  m_layoutHeight = m_height = height;
}

void VQTextElement::DrawType() {
  if (!m_enabled) return;
  if (m_background) m_owner->DrawImage(m_background, m_x, m_y);
  if (!m_text || !m_text[0] || !m_font) return;
  if (m_layout) {
    const int32_t position[2] = {m_x, m_y}, size[2] = {m_layoutWidth, m_layoutHeight};
    m_font->DrawInWindowRect(m_owner, m_text, position, size, m_firstLine, m_alignment);
  } else {
    m_font->DrawInWindow(m_owner, m_x, m_y, m_text);
  }
}

bool VQTextElement::OnLeftUp(int32_t x, int32_t y) {
  if (m_enabled && m_input && m_owner) Report(PackPoint(x, y), VQELEMENT_EVENT_CLICK);
  return false;
}

// ---------------------------------------------------------------------------------------------
// Image list

VQImageListElement::VQImageListElement(uint32_t identifier)
    : VQOverlayElement(VQELEMENT_IMAGE_LIST, identifier, 0, 0, 0, 0) {
  m_input = 1;
}

VQImageListElement::~VQImageListElement() {
  if (m_owner) m_owner->RemoveElement(this);
  if (!m_ownsImages) return;
  VQImageRef* images[3 * VQIMAGE_LIST_MAX];
  uint32_t n = 0;
  for (int32_t i = 0; i < m_entryCount; ++i) {
    images[n++] = m_images[i];
    images[n++] = m_selectedImages[i];
    images[n++] = m_disabledImages[i];
  }
  DeleteDistinct(images, n);
}

bool VQImageListElement::AddImage(int32_t x, int32_t y, VQImageRef* image, VQImageRef* selected,
                                  VQImageRef* disabled) {
  if (!image || m_entryCount < 0 || m_entryCount >= int32_t(VQIMAGE_LIST_MAX)) return false;
  const int32_t i = m_entryCount++;
  m_images[i] = image;
  m_selectedImages[i] = selected;
  m_disabledImages[i] = disabled;
  m_entryX[i] = x;
  m_entryY[i] = y;
  m_entryEnabled[i] = 1;
  const int32_t right = std::max(m_x + m_width, m_x + x + Width(image));
  const int32_t top = std::max(m_y + m_height, m_y + y + Height(image));
  const int32_t left = std::min(m_x + x, m_x), bottom = std::min(m_y + y, m_y);
  m_width = right - left;
  m_height = top - bottom;
  return true;
}

void VQImageListElement::DrawType() {
  for (int32_t i = 0; i < m_entryCount; ++i) {
    VQImageRef* image;
    if (m_enabled && m_entryEnabled[i]) {
      image = uint32_t(i) == m_selected && m_selectedImages[i] ? m_selectedImages[i] : m_images[i];
    } else {
      image = m_disabledImages[i] ? m_disabledImages[i] : m_images[i];
    }
    if (image) m_owner->DrawImage(image, m_x + m_entryX[i], m_y + m_entryY[i]);
  }
}

bool VQImageListElement::OnLeftDown(int32_t x, int32_t y) {
  if (!m_enabled || m_entryCount <= 0) return false;
  for (int32_t i = 0; i < m_entryCount; ++i) {
    if (!m_entryEnabled[i]) continue;
    const int32_t left = m_x + m_entryX[i], bottom = m_y + m_entryY[i];
    if (x < left || x >= left + Width(m_images[i]) || y < bottom || y >= bottom + Height(m_images[i])) continue;
    m_selected = uint32_t(i);
    Report(uint32_t(i), VQELEMENT_EVENT_CLICK);
    PlaySound();
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// Custom element

VQCustomElement::VQCustomElement(uint32_t identifier, int32_t width, int32_t height, VQCustomDraw draw,
                                 uintptr_t context)
    : VQOverlayElement(VQELEMENT_CUSTOM, identifier, 0, 0, width, height), m_drawCallback(draw), m_context(context) {
  m_input = 1;
}

VQCustomElement::~VQCustomElement() {
  if (m_owner) m_owner->RemoveElement(this);
}

void VQCustomElement::DrawType() {
  if (m_drawCallback) m_drawCallback(m_owner, this, m_context);
}

bool VQCustomElement::OnLeftDown(int32_t x, int32_t y) {
  if (m_enabled && m_owner) Report(PackPoint(x, y), VQELEMENT_EVENT_LEFT_DOWN);
  return false;
}

bool VQCustomElement::OnLeftUp(int32_t x, int32_t y) {
  if (m_enabled && m_owner) Report(PackPoint(x, y), VQELEMENT_EVENT_LEFT_UP);
  return false;
}

bool VQCustomElement::OnKey(uint32_t key, bool pressed) {
  if (m_enabled && m_owner) Report(key, pressed ? VQELEMENT_EVENT_KEY_DOWN : VQELEMENT_EVENT_KEY_UP);
  return false;
}
