// The windows of the skin editor: the texture edit dialog (the paint area with its layers),
// the tool dialog (palette, colour and tools), the icon dialog (pages of brushes, icons,
// patterns, stripe masks, window patterns and wheels), the icon preview and the render dialog
// (the turning car). They reach each other through one SkinEditorContext that the editor owns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "QVX/SkinEditor/SkinBrush.h"
#include "QVX/SkinEditor/VQSkinDialog.h"
#include "QVX/SkinEditor/VQTextureLayer.h"

class VQCamera;
class VQImageElement;
class VQImageListElement;
class VQLightNode;
class VQMaterial;
class VQNode;
class VQToggleElement;
class VQTransformNode;
class VQViewport;
class VQIconDialog;
class VQIconPreview;
class VQRenderDialog;
class VQTextureEditDialog;
class VQToolDialog;

using SkinClock = uint32_t (*)();
// Milliseconds since the first call.
uint32_t SkinEditor_Milliseconds();

// What the windows share: each other, the brush, the race-number preview, the folders, the
// clock, and the editor's choices (wheel texture, numbers). Owned by the skin editor.
struct SkinEditorContext {
  VQTextureEditDialog* edit = nullptr;
  VQToolDialog* tool = nullptr;
  VQIconDialog* icons = nullptr;
  VQRenderDialog* render = nullptr;
  SkinBrushState brush;
  SkinNumberPreview numbers;
  SkinEditorFolders folders;
  SkinClock clock = &SkinEditor_Milliseconds;
  std::string wheelTexture;  // file name of the chosen wheel texture, without folder
  bool showNumbers = true;
  uint8_t* stop = nullptr;  // set to end the editor (the frame pump's stop byte)
};

// A racing class name and the folder of its skin template below the editor's data folder.
struct SkinTemplateClass {
  const char* className;
  const char* folder;
};
constexpr uint32_t SKIN_TEMPLATE_CLASSES = 2;
extern const SkinTemplateClass g_skinTemplateClasses[SKIN_TEMPLATE_CLASSES];
// The template folder of a class name (without regard to case), or null: such a class cannot
// be edited.
const char* SkinEditor_TemplateFolder(const char* className);

enum SkinLayerIndex : uint32_t {
  SKIN_LAYER_WIRE = 0,
  SKIN_LAYER_STRIPE = 1,
  SKIN_LAYER_WINDOW = 2,
  SKIN_LAYER_EDIT = 3,
  SKIN_LAYER_COUNT = 4,
  SKIN_SELECT_WHEELS = 4,  // the fifth selector entry
};

enum SkinIconMode : int32_t {
  SKIN_MODE_BRUSH = 0,
  SKIN_MODE_ICON = 1,
  SKIN_MODE_PATTERN = 2,
  SKIN_MODE_STRIPES = 3,
  SKIN_MODE_WINDOWS = 4,
  SKIN_MODE_WHEELS = 5,
  SKIN_MODE_ERASER = 6,
  SKIN_MODE_COUNT = 7,
};

constexpr uint32_t SKIN_ZOOM_MAX = 8;
constexpr uint32_t SKIN_PAINT_INTERVAL_MS = 50;  // brushes stamp at most 20 times a second
constexpr int32_t SKIN_SCROLL_STEP = 2;

class VQTextureEditDialog : public VQSkinDialog {
 public:
  explicit VQTextureEditDialog(SkinEditorContext* context) : m_context(context) {}
  // Saves every layer so that the next visit finds the work again, then destroys them.
  ~VQTextureEditDialog() override;
  const char* GetBackgroundName() override { return "SkinTextureDialogWindow.tga"; }
  int32_t GetWidth() override { return 308; }
  int32_t GetHeight() override { return 308; }
  bool CreateControls() override;
  void OnButton(VQOverlayElement* control) override;
  void OnLeftButtonDown(VQOverlayElement* control, int32_t x, int32_t y) override;
  void OnLeftButtonUp(VQOverlayElement* control, int32_t x, int32_t y) override;
  void OnRightButtonDown(VQOverlayElement* control, int32_t x, int32_t y) override;
  void OnRightButtonUp(VQOverlayElement* control, int32_t x, int32_t y) override;
  bool Update() override;

  // Builds the four layers of a class over the car texture (held, not owned); false when the
  // class has no template or a layer image cannot be made.
  bool OpenCarSkin(VQTexture* carTexture, int32_t classIndex, const char* className);
  void SelectLayer(int32_t entry);
  void ApplyToCar();
  void Scroll(int32_t dx, int32_t dy);
  void Zoom(bool in);
  // One painting step at an element-relative point of the paint area.
  bool PaintAt(int32_t x, int32_t y);
  VQTextureLayer* TopLayer() const { return m_layers.empty() ? nullptr : m_layers.back(); }

  SkinEditorContext* m_context;
  std::vector<VQTextureLayer*> m_layers;
  VQTextureLayer* m_selected = nullptr;
  std::string m_className;
  int32_t m_classIndex = 0;
  uint8_t m_painting = 0, m_panning = 0;
  int32_t m_lastX = 0, m_lastY = 0;
  uint32_t m_zoom = 1;
  int32_t m_source[4] = {0, 0, 256, 256};  // left, bottom, width, height of the shown part
  VQToggleElement* m_view = nullptr;
  VQImageElement *m_left = nullptr, *m_right = nullptr, *m_down = nullptr, *m_up = nullptr;
  VQImageElement *m_zoomIn = nullptr, *m_zoomOut = nullptr, *m_quit = nullptr;
  VQToggleElement* m_showNumbers = nullptr;
  VQTexture* m_carTexture = nullptr;
  VQImageListElement* m_selector = nullptr;
  int32_t m_selectedEntry = -1;
  uint32_t m_lastPaint = 0;

 private:
  void UpdateView();
  void ShowScrollButtons();
};

class VQToolDialog : public VQSkinDialog {
 public:
  enum Tool : uint32_t {
    TOOL_PATTERN,
    TOOL_BRUSH,
    TOOL_ICON,
    TOOL_STRIPES,
    TOOL_BUCKET,
    TOOL_WINDOWS,
    TOOL_UNDO,
    TOOL_ERASE,
    TOOL_CLEAR,
    TOOL_COUNT
  };
  explicit VQToolDialog(SkinEditorContext* context) : m_context(context) {}
  ~VQToolDialog() override;
  const char* GetBackgroundName() override { return "SkinToolDialogWindow.tga"; }
  int32_t GetWidth() override { return 330; }
  int32_t GetHeight() override { return 91; }
  bool CreateControls() override;
  void OnButton(VQOverlayElement* control) override;
  void OnLeftButtonDown(VQOverlayElement* control, int32_t x, int32_t y) override;
  void OnLeftButtonUp(VQOverlayElement* control, int32_t x, int32_t y) override;
  bool Update() override;

  // A palette of another pixel format than 11 is refused and nothing changes.
  bool LoadPalette(const char* name);
  void SetColor(uint8_t red, uint8_t green, uint8_t blue);
  // Which tools the selected layer offers (one flag per Tool); picks the first offered mode.
  void SetTools(const bool offered[TOOL_COUNT]);
  // The palette colour under a palette-relative point (false outside the image).
  bool PickColor(int32_t x, int32_t y);

  SkinEditorContext* m_context;
  uint8_t m_color[3] = {255, 255, 255};
  VQImageElement* m_swatch = nullptr;
  VQImageElement* m_paletteElement = nullptr;
  VQTexture* m_palette = nullptr;  // format 11, image texture cache
  VQImageElement* m_buttons[TOOL_COUNT] = {};
  uint8_t m_picking = 0;
  int32_t m_pickX = 0, m_pickY = 0;
};

struct SkinIconEntry {
  VQImageRef* image = nullptr;  // the thumbnail (owned)
  std::string name;             // file name without folder
  std::string folder;           // where the file lies
};

class VQIconPreview : public VQSkinDialog {
 public:
  explicit VQIconPreview(SkinEditorContext* context) : m_context(context) {}
  int32_t GetWidth() override { return 64; }
  int32_t GetHeight() override { return 64; }
  bool CreateControls() override { return true; }
  bool Update() override;
  // Builds the editor's brush from an image in a colour (the eraser with source alpha).
  bool SetBrush(VQTexture* image, uint8_t red, uint8_t green, uint8_t blue, bool sourceAlpha);
  SkinEditorContext* m_context;
  uint8_t m_active = 0;
  uint8_t m_sourceAlpha = 0;
};

class VQIconDialog : public VQSkinDialog {
 public:
  static constexpr int32_t kColumns = 4, kRows = 4, kPage = kColumns * kRows;
  explicit VQIconDialog(SkinEditorContext* context) : m_context(context), m_preview(context) {}
  ~VQIconDialog() override;
  const char* GetBackgroundName() override { return "SkinIconDialogWindow.tga"; }
  int32_t GetWidth() override { return 292; }
  int32_t GetHeight() override { return 366; }
  bool CreateControls() override;
  void OnButton(VQOverlayElement* control) override;

  void SetMode(int32_t mode);
  // Lists the image files of a folder, sorted by name, as thumbnails (files that do not load
  // are left out); thumbnails of at most maxSize pixels.
  void ListFolder(std::vector<SkinIconEntry>& list, const std::string& folder, uint32_t maxSize);
  void ClearList(std::vector<SkinIconEntry>& list);
  // The entries the current mode shows.
  std::vector<SkinIconEntry>& CurrentList();
  void ShowPage(int32_t first);
  void NextPage();
  void PreviousPage();
  // A click on the thumbnail of a page slot (0..15).
  void ChooseSlot(int32_t slot);
  void SetColor(uint8_t red, uint8_t green, uint8_t blue);

  SkinEditorContext* m_context;
  int32_t m_mode = -1;
  std::vector<SkinIconEntry> m_brushes, m_stripes, m_windows, m_wheels;
  std::vector<std::vector<SkinIconEntry>> m_iconCategories, m_patternCategories;
  int32_t m_iconCategory = 0, m_patternCategory = 0;
  int32_t m_first = 0;
  VQImageElement* m_slots[kPage] = {};  // see-through buttons over the cells
  VQToggleElement* m_thumbs[kPage] = {};
  VQImageElement *m_next = nullptr, *m_previous = nullptr;
  VQImageElement *m_rotate = nullptr, *m_flipX = nullptr, *m_flipY = nullptr;
  int32_t m_brushEntry = -1, m_eraserEntry = -1, m_iconEntry = -1;
  uint8_t m_flip[2] = {0, 0};
  uint32_t m_turns = 0;
  VQIconPreview m_preview;
};

class VQRenderDialog : public VQSkinDialog {
 public:
  explicit VQRenderDialog(SkinEditorContext* context) : m_context(context) {}
  ~VQRenderDialog() override;
  const char* GetBackgroundName() override;
  int32_t GetWidth() override;
  int32_t GetHeight() override;
  bool CreateControls() override;
  void OnMoved() override;
  void OnRightButtonDown(VQOverlayElement* control, int32_t x, int32_t y) override;
  void OnRightButtonUp(VQOverlayElement* control, int32_t x, int32_t y) override;
  void OnLeftButtonDown(VQOverlayElement* control, int32_t x, int32_t y) override;
  void OnLeftButtonUp(VQOverlayElement* control, int32_t x, int32_t y) override;
  bool Update() override;
  void SetCar(VQNode* car);
  // The painted texture (not owned) on the first material of the car's body.
  void SetBodyTexture(VQTexture* texture);
  // The wheel texture the player chose (not owned) on the first material of the four wheels.
  void SetWheelTexture(VQTexture* texture);
  // Gives the car's materials back the textures they had before the editor (the destructor
  // does it too, before the car leaves the turntable).
  void RestoreCarTextures();
  // One turntable step of the given length (the body of Update, for tests).
  void Step(uint32_t now, int32_t mouseX, int32_t mouseY);

  SkinEditorContext* m_context;
  VQViewport* m_viewport = nullptr;
  VQNode* m_root = nullptr;
  VQLightNode* m_light = nullptr;  // lights the car from above the camera
  VQTransformNode* m_turntable = nullptr;
  VQCamera* m_camera = nullptr;
  VQNode* m_car = nullptr;
  VQImageElement* m_button = nullptr;
  uint8_t m_rightDrag = 0, m_leftDrag = 0;
  int32_t m_pointer[2] = {0, 0}, m_reference[2] = {0, 0};  // canvas pixels
  uint32_t m_referenceTime = 0, m_lastTime = 0;
  float m_spin[3] = {0.0f, 0.0f, 1.0f};
  float m_cameraOffset = -0.95f;
  float m_turned[3] = {0.0f, 0.0f, 0.0f};  // the turntable's angles
  std::string m_backgroundName;            // stays empty
  uint8_t m_moved = 0;
  // The car materials whose first texture the editor replaced, with what they held before.
  struct SavedTexture {
    VQMaterial* material;
    VQTexture* texture;
    uint32_t stageCount;
  };
  std::vector<SavedTexture> m_savedTextures;

 private:
  void SetNodeTexture(const char* node, VQTexture* texture);
};
