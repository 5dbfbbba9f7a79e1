#include "QVX/SkinEditor/VQSkinDialog.h"

#include <new>

#include "QVX/SkinEditor/VQTextureLayer.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/overlay/VQOverlayElements.h"
#include "Zentri/devices/overlay/VQWindowManager.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQTexture.h"

VQSkinDialog::~VQSkinDialog() {
  if (m_window) {
    if (m_canvas && m_canvas->m_windowManager)
      m_canvas->m_windowManager->DestroyWindow(m_window);
    else
      delete m_window;
    m_window = nullptr;
  }
  delete m_background;
  m_background = nullptr;
}

int32_t VQSkinDialog::ReleaseTexture(VQTexture* texture) { return SkinTexture_Release(texture); }

VQImageRef* VQSkinDialog::LoadImageFrom(const std::string& folder, const char* name,
                                        uint32_t maxWidth, uint32_t maxHeight,
                                        VQTextureManager* textures) {
  VQTextureManager* manager = textures ? textures : m_textures;
  if (!manager || !name || !name[0]) return nullptr;
  const bool pushed = !folder.empty() && manager->PushFolder(folder.c_str(), false);
  VQTexture* t = manager->Load(name, manager->m_loadParameter, true, true, maxWidth, maxHeight);
  if (pushed) manager->PopFolder();
  if (!t) return nullptr;
  auto* image = new (std::nothrow) VQImageRef(t);
  manager->Release(t);  // the handle holds the texture alone
  return image;
}

VQImageRef* VQSkinDialog::LoadImage(const char* name, uint32_t maxWidth, uint32_t maxHeight) {
  return LoadImageFrom(m_folders ? m_folders->images : std::string(), name, maxWidth, maxHeight);
}

bool VQSkinDialog::Create(VQCanvas* canvas, VQTextureManager* textures, VQMouseDevice* mouse,
                          VQTextureManager* imageTextures, int32_t x, int32_t y) {
  m_created = 1;
  m_canvas = canvas;
  m_textures = textures;
  m_mouse = mouse;
  m_imageTextures = imageTextures;
  if (!m_background) {
    if (const char* name = GetBackgroundName())
      m_background = LoadImage(name, SKIN_IMAGE_MAX, SKIN_IMAGE_MAX);
  }
  if (!canvas || !canvas->m_windowManager) return false;
  m_window = canvas->m_windowManager->CreateWindow(
      SKIN_DIALOG_DEFAULT_SIZE, SKIN_DIALOG_DEFAULT_SIZE, m_background,
      &VQSkinDialog::EventCallback, reinterpret_cast<uintptr_t>(this), false);
  if (!m_window) return false;
  m_window->SetPosition(x, y);
  m_window->Show();
  m_window->m_drawCallback = &VQSkinDialog::DrawHook;
  m_window->m_drawContext = reinterpret_cast<uintptr_t>(this);
  if (!CreateControls()) return false;
  m_window->m_width = GetWidth();
  m_window->m_height = GetHeight();
  return true;
}

VQOverlayElement* VQSkinDialog::ControlOf(uintptr_t identifier) const {
  if (identifier == 0 || identifier > m_controls.size()) return nullptr;
  return m_controls[identifier - 1];
}

void VQSkinDialog::DispatchEvent(uintptr_t control, uint32_t packed, uint32_t type) {
  VQOverlayElement* element = ControlOf(control);
  const int32_t x = int32_t(packed & 0xFFFFu);
  const int32_t y = int32_t(int16_t(uint16_t(packed >> 16)));
  switch (type) {
    case SKIN_EVENT_MOVED: OnMoved(); break;
    case SKIN_EVENT_LEFT_DOWN: OnLeftButtonDown(element, x, y); break;
    case SKIN_EVENT_LEFT_UP: OnLeftButtonUp(element, x, y); break;
    case SKIN_EVENT_RIGHT_DOWN: OnRightButtonDown(element, x, y); break;
    case SKIN_EVENT_RIGHT_UP: OnRightButtonUp(element, x, y); break;
    case SKIN_EVENT_CLICK: OnButton(element); break;
    default: break;
  }
}

bool VQSkinDialog::EventCallback(uintptr_t control, uint32_t packed, uint32_t type,
                                 uintptr_t user) {
  if (auto* dialog = reinterpret_cast<VQSkinDialog*>(user))
    dialog->DispatchEvent(control, packed, type);
  return false;
}

bool VQSkinDialog::DrawHook(VQWindow* window, VQCanvas*, uintptr_t user) {
  auto* dialog = reinterpret_cast<VQSkinDialog*>(user);
  if (!dialog || !dialog->m_created) return true;
  if (dialog->m_background && window) window->DrawImage(dialog->m_background, 0, 0);
  return dialog->Update();
}

bool VQSkinDialog::AddControl(VQOverlayElement* element) {
  if (!m_window || !element) return false;
  size_t index = 0;
  while (index < m_controls.size() && m_controls[index] != element) ++index;
  if (index == m_controls.size()) m_controls.push_back(element);
  element->m_identifier = uint32_t(index + 1);
  return m_window->AddElement(element);
}

bool VQSkinDialog::CreateButton(VQImageElement** out, const char* normal, const char* highlight,
                                const char* disabled) {
  VQImageRef* n = LoadImage(normal, SKIN_IMAGE_MAX, SKIN_IMAGE_MAX);
  if (!n) n = new (std::nothrow) VQImageRef();
  VQImageRef* h = LoadImage(highlight, SKIN_IMAGE_MAX, SKIN_IMAGE_MAX);
  VQImageRef* pressed = h ? new (std::nothrow) VQImageRef(h->m_texture) : nullptr;
  VQImageRef* d = LoadImage(disabled, SKIN_IMAGE_MAX, SKIN_IMAGE_MAX);
  VQImageElement* button = n ? new (std::nothrow)
                                   VQImageElement(0, n, pressed ? pressed : nullptr, h, d, nullptr)
                             : nullptr;
  if (!button) {
    delete n;
    delete h;
    delete pressed;
    delete d;
    if (out) *out = nullptr;
    return false;
  }
  if (!pressed) button->m_pressedImage = nullptr;
  button->m_width = int32_t(n->GetWidth());
  button->m_height = int32_t(n->GetHeight());
  if (m_window) AddControl(button);
  if (out) *out = button;
  return true;
}

bool VQSkinDialog::AddTwoStateImage(VQImageListElement* list, const char* normal,
                                    const char* highlight, int32_t x, int32_t y) {
  if (!list) return false;
  VQImageRef* n = LoadImage(normal, SKIN_IMAGE_MAX, SKIN_IMAGE_MAX);
  VQImageRef* h = LoadImage(highlight, SKIN_IMAGE_MAX, SKIN_IMAGE_MAX);
  if (!list->AddImage(x, y, n, h, nullptr)) {
    delete n;
    delete h;
    return false;
  }
  return true;
}

void VQSkinDialog::SetHeight(int32_t height) {
  if (m_window) m_window->m_height = height;
}

void VQSkinDialog::SetSound(VQOverlayElement* element, const char* name) {
  if (element && m_soundDevice) element->SetSound(m_soundDevice, name);
}
