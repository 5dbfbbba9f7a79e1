#include "Zentri/devices/overlay/VQOverlayElement.h"

#include "Zentri/devices/overlay/VQWindowManager.h"
#include "Zentri/devices/sound/VQSoundDevice.h"
#include "Zentri/devices/sound/VQSoundManager.h"

namespace {
// Click sounds through the sound device: its cache keeps one buffer per name, its voice
// limiter plays it once at priority 0.5.
constexpr float kClickPriority = 0.5f;
VQSoundBuffer* CacheLoad(VQSoundDevice* device, const char* name) {
  return device->m_cache ? device->m_cache->Load(name, true) : nullptr;
}
void CacheRelease(VQSoundDevice* device, VQSoundBuffer* sound) {
  if (device->m_cache) device->m_cache->Release(sound);
}
void PlayClick(VQSoundDevice* device, VQSoundBuffer* sound) { device->PlayLimited(sound, 0, kClickPriority); }
}  // namespace

VQOverlaySoundHooks g_VQoverlaySound = {CacheLoad, CacheRelease, PlayClick};

namespace {
// Draw routines of the game's types 2, 8 and 9, in that order.
VQElementDrawRoutine s_gameDraw[3] = {nullptr, nullptr, nullptr};

int GameSlot(uint32_t type) {
  switch (type) {
    case VQELEMENT_GAUGE: return 0;
    case VQELEMENT_MARK_BUTTON: return 1;
    case VQELEMENT_FRAMES: return 2;
    default: return -1;
  }
}
}  // namespace

bool VQoverlay_SetGameDrawRoutine(uint32_t type, VQElementDrawRoutine routine) {
  const int slot = GameSlot(type);
  if (slot < 0) return false;
  s_gameDraw[slot] = routine;
  return true;
}

VQOverlayElement::VQOverlayElement(uint32_t type, uint32_t identifier, int32_t x, int32_t y, int32_t width,
                                   int32_t height)
    : m_type(type), m_x(x), m_y(y), m_width(width), m_height(height), m_identifier(identifier) {}

VQOverlayElement::~VQOverlayElement() {
  if (m_owner) m_owner->RemoveElement(this);
  if (m_soundDevice && m_sound && g_VQoverlaySound.release) g_VQoverlaySound.release(m_soundDevice, m_sound);
}

bool VQOverlayElement::OnLeftDown(int32_t, int32_t) {
  m_pressed = 1;
  return false;
}

bool VQOverlayElement::OnLeftUp(int32_t, int32_t) {
  m_pressed = 0;
  return false;
}

void VQOverlayElement::SetSound(VQSoundDevice* device, const char* name) {
  if (m_soundDevice && m_sound && g_VQoverlaySound.release) g_VQoverlaySound.release(m_soundDevice, m_sound);
  m_sound = nullptr;
  m_soundDevice = device;
  if (device && name && g_VQoverlaySound.load) m_sound = g_VQoverlaySound.load(device, name);
}

void VQOverlayElement::PlaySound() {
  if (m_enabled && m_soundDevice && m_sound && g_VQoverlaySound.play) g_VQoverlaySound.play(m_soundDevice, m_sound);
}

uint32_t VQOverlayElement::SetId(uint32_t key) {
  const uint32_t old = m_tooltipKey;
  m_tooltipKey = key;
  return old;
}

uintptr_t VQOverlayElement::GetId() const {
  return m_idByPointer ? reinterpret_cast<uintptr_t>(this) : uintptr_t(m_tooltipKey);
}

bool VQOverlayElement::Show() {
  const bool old = m_enabled != 0;
  m_enabled = 1;
  return old;
}

bool VQOverlayElement::Hide() {
  const bool old = m_enabled != 0;
  m_enabled = 0;
  return old;
}

void VQOverlayElement::Draw() {
  switch (m_type) {
    case VQELEMENT_IMAGE:
    case VQELEMENT_SLIDER:
    case VQELEMENT_TOGGLE:
    case VQELEMENT_TEXT:
    case VQELEMENT_IMAGE_LIST:
    case VQELEMENT_CUSTOM:
      if (m_owner) DrawType();
      break;
    case VQELEMENT_GAUGE:
    case VQELEMENT_MARK_BUTTON:
    case VQELEMENT_FRAMES:
      if (m_owner && s_gameDraw[GameSlot(m_type)]) s_gameDraw[GameSlot(m_type)](this);
      break;
    default: break;
  }
}

uint32_t VQOverlayElement::PackPoint(int32_t x, int32_t y) const {
  return (uint32_t(y - m_y) << 16) + uint32_t(x - m_x);
}

bool VQOverlayElement::Report(uint32_t param, uint32_t event) {
  return m_owner ? m_owner->Notify(m_identifier, param, event) : false;
}
