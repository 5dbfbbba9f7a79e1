// The base of every skin editor window (tool dialog, icon dialog, icon preview, render dialog,
// texture edit dialog): one overlay window of the canvas with a background image and a set of
// controls. The base creates the window, routes the overlay's window events to the virtual
// operations, draws the background on every overlay pass and loads images and buttons from
// the editor's image folder.
//
// Controls are told apart by pointer: each control added gets a small identifier (its place in
// the dialog's table, counted from 1) that the overlay reports with each event and that the
// dispatcher turns back into the control's pointer, so that pointers never have to fit in
// the overlay's 32-bit identifier word.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class VQCanvas;
class VQImageElement;
class VQImageListElement;
class VQImageRef;
class VQMouseDevice;
class VQOverlayElement;
class VQSoundDevice;
class VQTexture;
class VQTextureManager;
class VQWindow;

// Folders the editor reads its images from (engine paths). Empty folders are not searched.
struct SkinEditorFolders {
  std::string images;    // "<texture folder>\Skineditor": frames, buttons, icons, cursor, fonts
  std::string data;      // "Data\Maps_skineditor": templates, saved layers, palette
  std::string brushes;   // "Data\Maps_skineditor\Brushes"
  std::string icons;     // "Data\Maps_skineditor\Icons": one subfolder per category
  std::string patterns;  // "Data\Maps_skineditor\Patterns": one subfolder per category
  std::string wheels;    // "Data\Maps_wheels"
};

constexpr int32_t SKIN_DIALOG_DEFAULT_SIZE = 100;
constexpr uint32_t SKIN_IMAGE_MAX = 32768;  // loading size limit of frames and buttons

enum SkinDialogEvent : uint32_t {
  SKIN_EVENT_MOVED = 0,
  SKIN_EVENT_LEFT_DOWN = 1,
  SKIN_EVENT_LEFT_UP = 2,
  SKIN_EVENT_RIGHT_DOWN = 5,
  SKIN_EVENT_RIGHT_UP = 6,
  SKIN_EVENT_CLICK = 9,
};

class VQSkinDialog {
 public:
  VQSkinDialog() = default;
  // Destroys the window through the canvas's window manager (its controls with it).
  virtual ~VQSkinDialog();
  VQSkinDialog(const VQSkinDialog&) = delete;
  VQSkinDialog& operator=(const VQSkinDialog&) = delete;

  virtual const char* GetBackgroundName() { return nullptr; }
  virtual int32_t GetWidth() { return SKIN_DIALOG_DEFAULT_SIZE; }
  virtual int32_t GetHeight() { return SKIN_DIALOG_DEFAULT_SIZE; }
  virtual bool CreateControls() = 0;
  virtual void OnButton(VQOverlayElement*) {}
  virtual void OnRightButtonDown(VQOverlayElement*, int32_t, int32_t) {}
  virtual void OnRightButtonUp(VQOverlayElement*, int32_t, int32_t) {}
  virtual void OnLeftButtonDown(VQOverlayElement*, int32_t, int32_t) {}
  virtual void OnLeftButtonUp(VQOverlayElement*, int32_t, int32_t) {}
  virtual void OnMoved() {}
  virtual bool Update() { return true; }

  // Creates the window at (x, y) with the background image, shows it and lets the dialog make
  // its controls; then sizes the window. False when the window cannot be created or the
  // controls fail (the window then stays at the default size).
  bool Create(VQCanvas* canvas, VQTextureManager* textures, VQMouseDevice* mouse,
              VQTextureManager* imageTextures, int32_t x, int32_t y);
  // Routes one window event: x is the low 16 bits of the packed position, y the high 16 bits
  // taken with sign. Types other than 0, 1, 2, 5, 6 and 9 reach nothing.
  void DispatchEvent(uintptr_t control, uint32_t packed, uint32_t type);
  static bool EventCallback(uintptr_t control, uint32_t packed, uint32_t type, uintptr_t user);
  static bool DrawHook(VQWindow* window, VQCanvas* canvas, uintptr_t user);

  bool AddControl(VQOverlayElement* element);
  // The control of an identifier, or null.
  VQOverlayElement* ControlOf(uintptr_t identifier) const;
  // Builds an image button from the normal (required), highlight and disabled images (a
  // missing file leaves the image empty and the button 0 by 0); *out always receives it.
  bool CreateButton(VQImageElement** out, const char* normal, const char* highlight,
                    const char* disabled);
  // A new handle of the named texture from the image folder, or null.
  VQImageRef* LoadImage(const char* name, uint32_t maxWidth, uint32_t maxHeight);
  VQImageRef* LoadImageFrom(const std::string& folder, const char* name, uint32_t maxWidth,
                            uint32_t maxHeight, VQTextureManager* textures = nullptr);
  bool AddTwoStateImage(VQImageListElement* list, const char* normal, const char* highlight,
                        int32_t x, int32_t y);
  void SetHeight(int32_t height);
  void SetSound(VQOverlayElement* element, const char* name);
  static int32_t ReleaseTexture(VQTexture* texture);

  VQCanvas* m_canvas = nullptr;
  VQTextureManager* m_textures = nullptr;
  VQTextureManager* m_imageTextures = nullptr;
  VQWindow* m_window = nullptr;
  VQImageRef* m_background = nullptr;
  VQMouseDevice* m_mouse = nullptr;
  uint8_t m_created = 0;
  // Set by the editor before Create; tests may leave them empty.
  const SkinEditorFolders* m_folders = nullptr;
  VQSoundDevice* m_soundDevice = nullptr;
  std::vector<VQOverlayElement*> m_controls;  // identifier i + 1 is m_controls[i]
};
