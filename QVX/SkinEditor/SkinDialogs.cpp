#include "QVX/SkinEditor/SkinDialogs.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <new>

#include "host/time/clock.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/input/VQMouseDevice.h"
#include "Zentri/devices/overlay/VQOverlayElements.h"
#include "Zentri/devices/overlay/VQWindowManager.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQViewport.h"
#include "Zentri/util/VQfile.h"

uint32_t SkinEditor_Milliseconds() {
  static const uint64_t start = host::clock_nanoseconds();
  return uint32_t((host::clock_nanoseconds() - start) / 1000000u);
}

const SkinTemplateClass g_skinTemplateClasses[SKIN_TEMPLATE_CLASSES] = {
    {"junior_std", "junior"}, {"monster", "monstertruck"}};

const char* SkinEditor_TemplateFolder(const char* className) {
  if (!className) return nullptr;
  for (const SkinTemplateClass& c : g_skinTemplateClasses)
    if (strcasecmp(c.className, className) == 0) return c.folder;
  return nullptr;
}

namespace {

constexpr int32_t kOffscreen = 1000;  // where hidden tool buttons are parked

void Place(VQOverlayElement* e, int32_t x, int32_t y) {
  if (!e) return;
  e->m_x = x;
  e->m_y = y;
}

void ShowIf(VQOverlayElement* e, bool show) {
  if (!e) return;
  if (show) {
    e->Show();
    e->m_draw = 1;
  } else {
    e->Hide();
    e->m_draw = 0;
  }
}

// A toggle element showing a texture (a new handle).
VQToggleElement* NewToggle(VQTexture* texture, bool input) {
  auto* image = texture ? new (std::nothrow) VQImageRef(texture) : new (std::nothrow) VQImageRef();
  if (!image) return nullptr;
  auto* e = new (std::nothrow) VQToggleElement(0, image, nullptr, input);
  if (!e) delete image;
  return e;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Texture edit dialog

VQTextureEditDialog::~VQTextureEditDialog() {
  for (size_t i = 0; i < m_layers.size(); ++i) {
    if (!m_className.empty()) m_layers[i]->Save((m_className + "\\" + std::to_string(i)).c_str());
    delete m_layers[i];
  }
  m_layers.clear();
}

bool VQTextureEditDialog::CreateControls() {
  const char* names[6] = {"LeftButton", "RightButton", "DownButton",
                          "UpButton",   "zoom_in",     "zoom_out"};
  VQImageElement** buttons[6] = {&m_left, &m_right, &m_down, &m_up, &m_zoomIn, &m_zoomOut};
  for (int i = 0; i < 6; ++i) {
    const std::string n = names[i];
    CreateButton(buttons[i], (n + ".tga").c_str(), (n + "_highlight.tga").c_str(),
                 (n + "_disable.tga").c_str());
    SetSound(*buttons[i], (n + ".wav").c_str());
    if (*buttons[i]) (*buttons[i])->SetId(20 + i);
  }
  m_showNumbers = NewToggle(nullptr, true);
  if (m_showNumbers) {
    m_showNumbers->SetImages(LoadImage("shownumbers.tga", SKIN_IMAGE_MAX, SKIN_IMAGE_MAX), nullptr,
                             true);
    Place(m_showNumbers, 62, 7);
    m_showNumbers->SetId(26);
    SetSound(m_showNumbers, "shownumbers.wav");
    AddControl(m_showNumbers);
  }
  CreateButton(&m_quit, "tool_quit.tga", "tool_quit_highlight.tga", nullptr);
  if (m_quit) m_quit->SetId(27);
  SetSound(m_quit, "tool_quit.wav");
  m_selector = new (std::nothrow) VQImageListElement(0);
  if (m_selector) {
    Place(m_selector, 268, 85);
    const char* layers[5] = {"layer_0", "layer_1", "layer_2", "layer_3", "layer_wheels"};
    for (int i = 0; i < 5; ++i)
      AddTwoStateImage(m_selector, (std::string(layers[i]) + ".tga").c_str(),
                       (std::string(layers[i]) + "_highlight.tga").c_str(), 0, 37 * i);
    m_selector->SetId(28);
    SetSound(m_selector, "layer_choice.wav");
    AddControl(m_selector);
  }
  for (VQImageElement* b : {m_left, m_right, m_down, m_up, m_zoomOut}) ShowIf(b, false);
  return true;
}

bool VQTextureEditDialog::OpenCarSkin(VQTexture* carTexture, int32_t classIndex,
                                      const char* className) {
  const char* folder = SkinEditor_TemplateFolder(className);
  if (!folder) return false;
  m_classIndex = classIndex;
  if (m_view) {
    if (m_window) m_window->RemoveElement(m_view);
    delete m_view;
    m_view = nullptr;
  }
  m_carTexture = carTexture;
  Place(m_left, 5, 8);
  Place(m_right, 229, 8);
  Place(m_up, 268, 48);
  Place(m_down, 268, 271);
  Place(m_zoomIn, 102, 8);
  Place(m_zoomOut, 142, 8);
  Place(m_quit, 268, 8);
  ShowIf(m_quit, true);
  if (m_window) {
    m_window->m_width = GetWidth();
    m_window->m_height = GetHeight();
  }
  m_className = className;
  for (VQTextureLayer* l : m_layers) delete l;
  m_layers.clear();
  const char* names[SKIN_LAYER_COUNT] = {"WireLayer", "StripeLayer", "WindowLayer", "EditLayer"};
  const std::string prefix = std::string(folder) + "\\";
  VQTextureLayer* below = nullptr;
  for (uint32_t i = 0; i < SKIN_LAYER_COUNT; ++i) {
    auto* layer = new (std::nothrow)
        VQTextureLayer(names[i], prefix.c_str(), m_textures, m_imageTextures, below, nullptr,
                       i == SKIN_LAYER_EDIT, &m_context->numbers);
    if (!layer || !layer->Ok()) {
      delete layer;
      for (VQTextureLayer* l : m_layers) delete l;
      m_layers.clear();
      m_className.clear();
      return false;
    }
    layer->m_folder = m_context->folders.data;
    if (below) below->m_above = layer;
    m_layers.push_back(layer);
    below = layer;
  }
  m_context->numbers.classIndex = classIndex;
  m_layers[SKIN_LAYER_WIRE]->LoadAlpha("base.tga");
  m_layers[SKIN_LAYER_STRIPE]->LoadAlpha("base.tga");
  m_layers[SKIN_LAYER_STRIPE]->Clear();
  m_selected = m_layers[SKIN_LAYER_WIRE];
  if (m_context->icons) {
    const std::string base = m_context->folders.data + "\\" + folder;
    m_context->icons->ClearList(m_context->icons->m_stripes);
    m_context->icons->ClearList(m_context->icons->m_windows);
    m_context->icons->ListFolder(m_context->icons->m_stripes, base + "\\Stripings", 64);
    m_context->icons->ListFolder(m_context->icons->m_windows, base + "\\Windows", 64);
  }
  m_view = NewToggle(m_selected->m_view ? m_selected->m_view->m_texture : nullptr, true);
  if (m_view) {
    Place(m_view, 5, 46);
    m_view->m_width = m_view->m_height = int32_t(SKIN_LAYER_SIZE);
    AddControl(m_view);
  }
  m_zoom = 1;
  m_source[0] = m_source[1] = 0;
  m_source[2] = m_source[3] = int32_t(SKIN_LAYER_SIZE);
  ApplyToCar();
  if (VQTexture* fill = m_layers[SKIN_LAYER_STRIPE]->m_fill) {
    SkinTexture_Fill(fill, 0, 255, 0, 255);
    m_layers[SKIN_LAYER_STRIPE]->Invalidate();
  }
  TopLayer()->Composite(true);
  m_selectedEntry = -1;
  SelectLayer(0);
  for (VQImageElement* b : {m_left, m_right, m_down, m_up, m_zoomOut}) ShowIf(b, false);
  for (uint32_t i = 0; i < SKIN_LAYER_COUNT; ++i)
    m_layers[i]->Load((m_className + "\\" + std::to_string(i)).c_str());
  ApplyToCar();
  UpdateView();
  return true;
}

void VQTextureEditDialog::UpdateView() {
  if (!m_view || !m_selected || !m_selected->m_view) return;
  auto* image = new (std::nothrow) VQImageRef(m_selected->m_view->m_texture);
  if (!image) return;
  m_view->SetImages(image, nullptr, true);
  m_view->m_width = m_view->m_height = int32_t(SKIN_LAYER_SIZE);
  m_view->m_partFlag = 1;
  const int32_t part[6] = {int32_t(SKIN_LAYER_SIZE),
                           int32_t(SKIN_LAYER_SIZE),
                           m_source[0],
                           m_source[1],
                           m_source[2],
                           m_source[3]};
  std::copy(part, part + 6, m_view->m_part);
}

void VQTextureEditDialog::SelectLayer(int32_t entry) {
  if (entry == m_selectedEntry || entry < 0 || entry > int32_t(SKIN_SELECT_WHEELS) ||
      m_layers.empty())
    return;
  m_selectedEntry = entry;
  if (m_selector) m_selector->Select(uint32_t(entry));
  // Offered tools per layer: pattern, brush, icon, stripes, bucket, windows, undo, erase, clear.
  static const bool kTools[SKIN_LAYER_COUNT + 1][VQToolDialog::TOOL_COUNT] = {
      {true, false, false, false, true, false, false, false, false},
      {true, false, false, true, true, false, false, false, true},
      {false, false, false, false, false, true, false, false, true},
      {false, true, true, false, false, false, true, true, true},
      {false, false, false, false, false, false, false, false, false},
  };
  if (m_context->tool) m_context->tool->SetTools(kTools[entry]);
  if (entry < int32_t(SKIN_LAYER_COUNT)) m_selected = m_layers[uint32_t(entry)];
  if (m_context->icons) {
    if (entry == int32_t(SKIN_LAYER_WINDOW)) m_context->icons->SetMode(SKIN_MODE_WINDOWS);
    if (entry == int32_t(SKIN_SELECT_WHEELS)) m_context->icons->SetMode(SKIN_MODE_WHEELS);
  }
  m_selected->Invalidate();
  m_selected->Composite(true);
  UpdateView();
}

void VQTextureEditDialog::ApplyToCar() {
  VQTextureLayer* top = TopLayer();
  if (!top) return;
  top->Composite(true);
  if (!m_carTexture || !SkinTexture_CopyOver(m_carTexture, top->m_composite)) return;
  // The car in the render dialog shows the number preview too; the layers' own images never
  // carry it, so nothing painted over them has the number baked in.
  const SkinNumberPreview& numbers = m_context->numbers;
  if (numbers.on && numbers.paint) numbers.paint(m_carTexture, numbers.classIndex, numbers.user);
  m_carTexture->Upload();
}

void VQTextureEditDialog::Scroll(int32_t dx, int32_t dy) {
  const int32_t size = int32_t(SKIN_LAYER_SIZE);
  m_source[0] = std::clamp(m_source[0] + dx, 0, size - m_source[2]);
  m_source[1] = std::clamp(m_source[1] + dy, 0, size - m_source[3]);
  UpdateView();
}

void VQTextureEditDialog::Zoom(bool in) {
  ShowIf(m_zoomIn, true);
  ShowIf(m_zoomOut, true);
  if (in) {
    m_zoom = std::min(m_zoom * 2, SKIN_ZOOM_MAX);
    if (m_zoom == SKIN_ZOOM_MAX) ShowIf(m_zoomIn, false);
  } else {
    m_zoom = std::max(m_zoom / 2, 1u);
    if (m_zoom == 1) ShowIf(m_zoomOut, false);
  }
  m_source[2] = m_source[3] = int32_t(SKIN_LAYER_SIZE / m_zoom);
  Scroll(0, 0);  // keeps the shown part inside the image
}

void VQTextureEditDialog::ShowScrollButtons() {
  for (VQImageElement* b : {m_left, m_right, m_down, m_up}) ShowIf(b, m_zoom != 1);
}

void VQTextureEditDialog::OnButton(VQOverlayElement* control) {
  if (!control) return;
  if (control == m_selector) {
    SelectLayer(int32_t(m_selector->m_selected));
  } else if (control == m_zoomIn || control == m_zoomOut) {
    Zoom(control == m_zoomIn);
  } else if (control == m_showNumbers) {
    m_context->showNumbers = !m_context->showNumbers;
    m_context->numbers.on = m_context->showNumbers;
    for (VQTextureLayer* l : m_layers) l->Invalidate();
    ApplyToCar();
    if (m_selected) {
      m_selected->Invalidate();
      m_selected->Composite(true);
    }
  } else if (control == m_quit) {
    if (m_context->stop) *m_context->stop = 1;
  }
  ShowScrollButtons();
}

void VQTextureEditDialog::OnLeftButtonDown(VQOverlayElement* control, int32_t, int32_t) {
  if (control != m_view || !m_view || m_context->brush.notReady != 0 || !m_selected) return;
  if (m_context->icons && !m_context->icons->m_preview.m_active) return;
  m_painting = 1;
  m_selected->SaveUndo();
}

void VQTextureEditDialog::OnLeftButtonUp(VQOverlayElement* control, int32_t, int32_t) {
  if (control != m_view || m_context->brush.notReady != 0) return;
  m_painting = 0;
  ApplyToCar();
}

void VQTextureEditDialog::OnRightButtonDown(VQOverlayElement* control, int32_t, int32_t) {
  if (control != m_view) return;
  m_panning = 1;
  if (m_mouse) m_mouse->GetPosition(&m_lastX, &m_lastY);
}

void VQTextureEditDialog::OnRightButtonUp(VQOverlayElement* control, int32_t, int32_t) {
  if (control == m_view) m_panning = 0;
}

bool VQTextureEditDialog::PaintAt(int32_t x, int32_t y) {
  if (!m_selected || !m_selected->m_paint) return false;
  uint32_t tx = 0, ty = 0;
  if (!SkinBrush_Texel(x, y, m_zoom, m_source[0], m_source[1], SKIN_LAYER_SIZE, SKIN_LAYER_SIZE,
                       &tx, &ty))
    return false;
  return SkinBrush_Stamp(m_context->brush, m_selected, tx, ty);
}

bool VQTextureEditDialog::Update() {
  const uint32_t now = m_context->clock();
  if (m_panning && m_mouse) {
    int32_t x = 0, y = 0;
    m_mouse->GetPosition(&x, &y);
    Scroll(m_lastX - x, m_lastY - y);
    m_lastX = x;
    m_lastY = y;
    return true;
  }
  if (now - m_lastPaint < SKIN_PAINT_INTERVAL_MS) return true;
  m_lastPaint = now;
  if (m_left && m_left->m_state) Scroll(-SKIN_SCROLL_STEP, 0);
  if (m_right && m_right->m_state) Scroll(SKIN_SCROLL_STEP, 0);
  if (m_up && m_up->m_state) Scroll(0, SKIN_SCROLL_STEP);
  if (m_down && m_down->m_state) Scroll(0, -SKIN_SCROLL_STEP);
  if (m_painting && m_context->brush.notReady == 0 && m_mouse && m_window && m_view) {
    int32_t x = 0, y = 0;
    m_mouse->GetPosition(&x, &y);
    PaintAt(x - m_window->m_x - m_view->m_x, y - m_window->m_y - m_view->m_y);
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Tool dialog

VQToolDialog::~VQToolDialog() { SkinTexture_Release(m_palette); }

bool VQToolDialog::CreateControls() {
  m_swatch = nullptr;
  CreateButton(&m_swatch, "curcolalpha.tga", nullptr, nullptr);
  Place(m_swatch, 0, 10);
  if (m_swatch) m_swatch->SetId(2);
  const char* names[TOOL_COUNT] = {"tool_pattern", "tool_brush",  "tool_icon",
                                   "tool_stripes", "tool_bucket", "tool_pattern",
                                   "tool_undo",    "tool_erase",  "tool_clear"};
  for (uint32_t i = 0; i < TOOL_COUNT; ++i) {
    const std::string n = names[i];
    CreateButton(&m_buttons[i], (n + ".tga").c_str(), (n + "_highlight.tga").c_str(), nullptr);
    SetSound(m_buttons[i], (n + ".wav").c_str());
    if (m_buttons[i]) m_buttons[i]->SetId(3 + i);
  }
  SetColor(255, 255, 255);
  return true;
}

bool VQToolDialog::LoadPalette(const char* name) {
  if (!m_imageTextures || !name) return false;
  const bool pushed = !m_context->folders.data.empty() &&
                      m_imageTextures->PushFolder(m_context->folders.data.c_str(), false);
  VQTexture* t = m_imageTextures->Load(name, 0, true, true, SKIN_IMAGE_MAX, SKIN_IMAGE_MAX);
  if (pushed) m_imageTextures->PopFolder();
  if (!t) return false;
  if (t->m_format != VQPF_BGRA8888) {
    m_imageTextures->Release(t);
    return false;
  }
  SkinTexture_Release(m_palette);
  m_palette = t;
  if (!m_paletteElement) {
    VQImageRef* shown =
        LoadImageFrom(m_context->folders.data, name, SKIN_IMAGE_MAX, SKIN_IMAGE_MAX);
    auto* toggle = new (std::nothrow)
        VQToggleElement(0, shown ? shown : new (std::nothrow) VQImageRef(), nullptr, true);
    if (toggle) {
      toggle->m_width = int32_t(t->m_width);
      toggle->m_height = int32_t(t->m_height);
      toggle->SetId(1);
      Place(toggle, 5, 6);
      AddControl(toggle);
    }
    m_paletteElement = reinterpret_cast<VQImageElement*>(toggle);
  }
  Place(m_swatch, 216, 17);
  if (m_window) {
    m_window->m_width = GetWidth();
    m_window->m_height = GetHeight();
  }
  SetColor(255, 255, 255);
  const bool none[TOOL_COUNT] = {};
  SetTools(none);
  return true;
}

void VQToolDialog::SetColor(uint8_t red, uint8_t green, uint8_t blue) {
  m_color[0] = red;
  m_color[1] = green;
  m_color[2] = blue;
  if (m_swatch && m_swatch->m_normal && m_swatch->m_normal->m_texture) {
    VQTexture* t = m_swatch->m_normal->m_texture;
    if (t->m_format == VQPF_BGRA8888) {
      SkinTexture_Fill(t, red, green, blue, 255);
    } else if (t->m_format == VQPF_BGR888 && t->m_width * t->m_height <= 1024 * 64) {
      std::vector<uint8_t> px(size_t(t->m_width) * t->m_height * 3);
      for (size_t i = 0; i < px.size(); i += 3) {
        px[i] = blue;
        px[i + 1] = green;
        px[i + 2] = red;
      }
      VQtexture_SetPixels(t, px.data(), VQPF_BGR888);
    }
    t->Upload();
  }
  if (m_context->icons) m_context->icons->SetColor(red, green, blue);
}

void VQToolDialog::SetTools(const bool offered[TOOL_COUNT]) {
  static const int32_t kPlaces[TOOL_COUNT][2] = {{216, 54}, {216, 54}, {292, 54},
                                                 {254, 54}, {254, 17}, {kOffscreen, kOffscreen},
                                                 {254, 17}, {254, 54}, {292, 17}};
  for (uint32_t i = 0; i < TOOL_COUNT; ++i) {
    VQImageElement* b = m_buttons[i];
    if (!b) continue;
    const bool show = offered[i] && i != TOOL_WINDOWS;
    ShowIf(b, show);
    Place(b, show ? kPlaces[i][0] : kOffscreen, show ? kPlaces[i][1] : kOffscreen);
    b->m_latched = 0;
  }
  static const std::pair<Tool, int32_t> kFirst[] = {{TOOL_STRIPES, SKIN_MODE_STRIPES},
                                                    {TOOL_PATTERN, SKIN_MODE_PATTERN},
                                                    {TOOL_WINDOWS, SKIN_MODE_WINDOWS},
                                                    {TOOL_BRUSH, SKIN_MODE_BRUSH},
                                                    {TOOL_ICON, SKIN_MODE_ICON}};
  for (const auto& [tool, mode] : kFirst) {
    if (!offered[tool]) continue;
    if (m_buttons[tool]) m_buttons[tool]->m_latched = 1;
    if (m_context->icons) m_context->icons->SetMode(mode);
    break;
  }
}

bool VQToolDialog::PickColor(int32_t x, int32_t y) {
  if (!m_palette || x < 0 || y < 0 || uint32_t(x) >= m_palette->m_width ||
      uint32_t(y) >= m_palette->m_height)
    return false;
  const uint8_t* p = SkinTexture_Pixel(m_palette, uint32_t(x), uint32_t(y));
  if (!p) return false;
  SetColor(p[2], p[1], p[0]);
  return true;
}

void VQToolDialog::OnLeftButtonDown(VQOverlayElement* control, int32_t x, int32_t y) {
  if (!control || control != reinterpret_cast<VQOverlayElement*>(m_paletteElement)) return;
  m_picking = 1;
  PickColor(x, y);
}

void VQToolDialog::OnLeftButtonUp(VQOverlayElement* control, int32_t, int32_t) {
  if (control == reinterpret_cast<VQOverlayElement*>(m_paletteElement)) m_picking = 0;
}

bool VQToolDialog::Update() {
  if (m_picking && m_mouse && m_window && m_paletteElement) {
    int32_t x = 0, y = 0;
    m_mouse->GetPosition(&x, &y);
    PickColor(x - m_window->m_x - m_paletteElement->m_x, y - m_window->m_y - m_paletteElement->m_y);
  }
  return true;
}

void VQToolDialog::OnButton(VQOverlayElement* control) {
  if (!control) return;
  VQTextureEditDialog* edit = m_context->edit;
  static const std::pair<Tool, int32_t> kModes[] = {
      {TOOL_PATTERN, SKIN_MODE_PATTERN}, {TOOL_BRUSH, SKIN_MODE_BRUSH},
      {TOOL_ICON, SKIN_MODE_ICON},       {TOOL_STRIPES, SKIN_MODE_STRIPES},
      {TOOL_WINDOWS, SKIN_MODE_WINDOWS}, {TOOL_ERASE, SKIN_MODE_ERASER}};
  for (const auto& [tool, mode] : kModes) {
    if (control != m_buttons[tool]) continue;
    for (const auto& other : kModes)
      if (m_buttons[other.first]) m_buttons[other.first]->m_latched = 0;
    m_buttons[tool]->m_latched = 1;
    if (m_context->icons) m_context->icons->SetMode(mode);
    return;
  }
  if (!edit || !edit->m_selected) return;
  if (control == m_buttons[TOOL_BUCKET]) {
    edit->m_selected->Fill(m_color[0], m_color[1], m_color[2]);
  } else if (control == m_buttons[TOOL_CLEAR]) {
    edit->m_selected->Clear();
  } else if (control == m_buttons[TOOL_UNDO]) {
    edit->m_selected->Undo();
  } else {
    return;
  }
  edit->ApplyToCar();
}

// ---------------------------------------------------------------------------------------------
// Icon preview and icon dialog

bool VQIconPreview::SetBrush(VQTexture* image, uint8_t red, uint8_t green, uint8_t blue,
                             bool sourceAlpha) {
  VQTexture* brush = SkinBrush_Build(m_imageTextures, image, red, green, blue, sourceAlpha);
  if (!brush) return false;
  m_context->brush.Set(brush, sourceAlpha);
  m_sourceAlpha = sourceAlpha ? 1 : 0;
  m_active = 1;
  return true;
}

bool VQIconPreview::Update() {
  if (!m_active || !m_window || !m_context->edit) return true;
  const uint32_t zoom = m_context->edit->m_zoom;
  m_window->m_width = int32_t(m_context->brush.width * zoom);
  m_window->m_height = int32_t(m_context->brush.height * zoom);
  if (m_mouse) {
    int32_t x = 0, y = 0;
    m_mouse->GetPosition(&x, &y);
    m_window->SetPosition(x - m_window->m_width / 2, y - m_window->m_height / 2);
  }
  return true;
}

VQIconDialog::~VQIconDialog() {
  ClearList(m_brushes);
  ClearList(m_stripes);
  ClearList(m_windows);
  ClearList(m_wheels);
  for (auto& l : m_iconCategories) ClearList(l);
  for (auto& l : m_patternCategories) ClearList(l);
}

void VQIconDialog::ClearList(std::vector<SkinIconEntry>& list) {
  for (SkinIconEntry& e : list) delete e.image;
  list.clear();
}

namespace {

// Names of a folder's files (or subfolders), sorted in byte order, without "." names.
std::vector<std::string> FolderNames(const std::string& folder, bool folders) {
  std::vector<std::string> names;
  VQFolderScan scan;
  if (folder.empty() || !VQfile_FindFirst(&scan, folder.c_str())) return names;
  VQFolderEntry entry;
  while (VQfile_FindNext(&scan, &entry))
    if (bool(entry.m_isFolder) == folders && entry.m_name[0] != '.')
      names.emplace_back(entry.m_name);
  VQfile_FindClose(&scan);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

void VQIconDialog::ListFolder(std::vector<SkinIconEntry>& list, const std::string& folder,
                              uint32_t maxSize) {
  for (const std::string& name : FolderNames(folder, false)) {
    VQImageRef* image = LoadImageFrom(folder, name.c_str(), maxSize, maxSize);
    if (!image) continue;
    list.push_back(SkinIconEntry{image, name, folder});
  }
}

bool VQIconDialog::CreateControls() {
  CreateButton(&m_next, "DownButton.tga", "DownButton_highlight.tga", "DownButton_disable.tga");
  Place(m_next, 254, 6);
  CreateButton(&m_previous, "UpButton.tga", "UpButton_highlight.tga", "UpButton_disable.tga");
  Place(m_previous, 254, 329);
  if (m_next) m_next->SetId(14);
  if (m_previous) m_previous->SetId(13);
  SetSound(m_next, "UpButton.wav");
  SetSound(m_previous, "DownButton.wav");
  CreateButton(&m_rotate, "menu_rotate.tga", "menu_rotate_highlight.tga", nullptr);
  CreateButton(&m_flipX, "menu_fliphor.tga", "menu_fliphor_highlight.tga", nullptr);
  CreateButton(&m_flipY, "menu_flipvert.tga", "menu_flipvert_highlight.tga", nullptr);
  Place(m_rotate, 5, 329);
  Place(m_flipX, 42, 329);
  Place(m_flipY, 79, 329);
  // The window hands a click to the first of its elements under the mouse: the see-through
  // buttons come before the thumbnails they cover, which take no input themselves.
  for (int32_t i = 0; i < kPage; ++i) {
    const int32_t c = i % kColumns, r = i / kColumns;
    CreateButton(&m_slots[i], "SeeThroughBUtton.tga", nullptr, nullptr);
    if (m_slots[i]) {
      m_slots[i]->m_width = m_slots[i]->m_height = 64;
      Place(m_slots[i], 10 + 69 * c, 255 - 69 * r);
    }
  }
  for (int32_t i = 0; i < kPage; ++i) {
    m_thumbs[i] = NewToggle(nullptr, false);
    if (m_thumbs[i]) AddControl(m_thumbs[i]);
  }
  m_preview.m_folders = m_folders;
  if (m_canvas) m_preview.Create(m_canvas, m_textures, m_mouse, m_imageTextures, 0, 0);
  if (m_preview.m_window) m_preview.m_window->m_hit = 0;
  ListFolder(m_brushes, m_context->folders.brushes, 64);
  for (const std::string& category : FolderNames(m_context->folders.icons, true)) {
    m_iconCategories.emplace_back();
    ListFolder(m_iconCategories.back(), m_context->folders.icons + "\\" + category, 64);
  }
  for (const std::string& category : FolderNames(m_context->folders.patterns, true)) {
    m_patternCategories.emplace_back();
    ListFolder(m_patternCategories.back(), m_context->folders.patterns + "\\" + category, 256);
  }
  ListFolder(m_wheels, m_context->folders.wheels, 64);
  SetMode(SKIN_MODE_PATTERN);
  return true;
}

std::vector<SkinIconEntry>& VQIconDialog::CurrentList() {
  static std::vector<SkinIconEntry> none;
  none.clear();
  switch (m_mode) {
    case SKIN_MODE_BRUSH:
    case SKIN_MODE_ERASER: return m_brushes;
    case SKIN_MODE_ICON:
      return m_iconCategories.empty() ? none : m_iconCategories[size_t(m_iconCategory)];
    case SKIN_MODE_PATTERN:
      return m_patternCategories.empty() ? none : m_patternCategories[size_t(m_patternCategory)];
    case SKIN_MODE_STRIPES: return m_stripes;
    case SKIN_MODE_WINDOWS: return m_windows;
    case SKIN_MODE_WHEELS: return m_wheels;
    default: return none;
  }
}

void VQIconDialog::ShowPage(int32_t first) {
  std::vector<SkinIconEntry>& list = CurrentList();
  m_first = std::max(0, first);
  for (int32_t i = 0; i < kPage; ++i) {
    const int32_t index = m_first + i;
    const bool used = index < int32_t(list.size());
    ShowIf(m_slots[i], used);
    ShowIf(m_thumbs[i], used);
    if (!used || !m_thumbs[i]) continue;
    VQImageRef* image = list[size_t(index)].image;
    m_thumbs[i]->SetImages(new (std::nothrow) VQImageRef(image ? image->m_texture : nullptr),
                           nullptr, true);
    const int32_t w = std::min<int32_t>(64, int32_t(image ? image->GetWidth() : 0));
    const int32_t h = std::min<int32_t>(64, int32_t(image ? image->GetHeight() : 0));
    const int32_t c = i % kColumns, r = i / kColumns;
    Place(m_thumbs[i], 10 + 69 * c + (64 - w) / 2, 255 - 69 * r + (64 - h) / 2);
  }
  ShowIf(m_next, m_first + kPage < int32_t(list.size()));
  ShowIf(m_previous, m_first > 0);
}

void VQIconDialog::NextPage() {
  if (m_first + kPage < int32_t(CurrentList().size())) ShowPage(m_first + kPage);
}

void VQIconDialog::PreviousPage() {
  if (m_first >= kPage) ShowPage(m_first - kPage);
}

void VQIconDialog::SetMode(int32_t mode) {
  if (mode == m_mode || mode < 0 || mode >= SKIN_MODE_COUNT) return;
  const bool brushes = (m_mode == SKIN_MODE_BRUSH || m_mode == SKIN_MODE_ERASER) &&
                       (mode == SKIN_MODE_BRUSH || mode == SKIN_MODE_ERASER);
  m_mode = mode;
  if (brushes) {
    const int32_t entry = mode == SKIN_MODE_ERASER ? m_eraserEntry : m_brushEntry;
    if (entry >= 0) ChooseSlot(entry - m_first);
    return;
  }
  for (VQImageElement* b : {m_rotate, m_flipX, m_flipY}) ShowIf(b, false);
  m_preview.m_active = 0;
  ShowPage(0);
  if (mode == SKIN_MODE_BRUSH && m_brushEntry >= 0) ChooseSlot(m_brushEntry);
  if (mode == SKIN_MODE_ERASER && m_eraserEntry >= 0) ChooseSlot(m_eraserEntry);
}

void VQIconDialog::SetColor(uint8_t red, uint8_t green, uint8_t blue) {
  if (m_mode != SKIN_MODE_BRUSH || !m_preview.m_active || m_brushEntry < 0 ||
      size_t(m_brushEntry) >= m_brushes.size())
    return;
  VQImageRef* image = m_brushes[size_t(m_brushEntry)].image;
  if (image) m_preview.SetBrush(image->m_texture, red, green, blue, false);
}

void VQIconDialog::ChooseSlot(int32_t slot) {
  std::vector<SkinIconEntry>& list = CurrentList();
  const int32_t index = m_first + slot;
  if (slot < 0 || slot >= kPage || index >= int32_t(list.size())) return;
  const SkinIconEntry& entry = list[size_t(index)];
  VQTexture* thumb = entry.image ? entry.image->m_texture : nullptr;
  VQTextureEditDialog* edit = m_context->edit;
  const uint8_t* colour = m_context->tool ? m_context->tool->m_color : nullptr;
  switch (m_mode) {
    case SKIN_MODE_BRUSH:
      m_brushEntry = index;
      m_preview.SetBrush(thumb, colour ? colour[0] : 255, colour ? colour[1] : 255,
                         colour ? colour[2] : 255, false);
      break;
    case SKIN_MODE_ERASER:
      m_eraserEntry = index;
      m_preview.SetBrush(thumb, SKIN_EMPTY_GREY, SKIN_EMPTY_GREY, SKIN_EMPTY_GREY, true);
      break;
    case SKIN_MODE_ICON: {
      m_iconEntry = index;
      for (VQImageElement* b : {m_rotate, m_flipX, m_flipY}) ShowIf(b, true);
      VQImageRef* full = LoadImageFrom(entry.folder, entry.name.c_str(), SKIN_IMAGE_MAX,
                                       SKIN_IMAGE_MAX, m_imageTextures);
      VQTexture* brush = full ? SkinBrush_Transform(m_imageTextures, full->m_texture, m_flip[0],
                                                    m_flip[1], m_turns)
                              : nullptr;
      delete full;
      if (brush) {
        m_context->brush.Set(brush, false);
        m_preview.m_active = 1;
      }
      break;
    }
    case SKIN_MODE_PATTERN:
    case SKIN_MODE_WINDOWS:
    case SKIN_MODE_STRIPES: {
      if (!edit || !edit->m_selected) break;
      VQImageRef* full = LoadImageFrom(entry.folder, entry.name.c_str(), SKIN_IMAGE_MAX,
                                       SKIN_IMAGE_MAX, m_imageTextures);
      if (full && full->m_texture) {
        if (m_mode == SKIN_MODE_STRIPES)
          edit->m_selected->SetAlpha(full->m_texture);
        else
          edit->m_selected->SetPattern(full->m_texture);
        edit->ApplyToCar();
      }
      delete full;
      break;
    }
    case SKIN_MODE_WHEELS: {
      std::string name = entry.name;
      m_context->wheelTexture = name;
      if (m_context->render) m_context->render->SetWheelTexture(thumb);
      break;
    }
    default: break;
  }
}

void VQIconDialog::OnButton(VQOverlayElement* control) {
  if (!control) return;
  if (control == m_next) return NextPage();
  if (control == m_previous) return PreviousPage();
  if (control == m_rotate || control == m_flipX || control == m_flipY) {
    if (control == m_rotate) m_turns = (m_turns + 1) % 4;
    if (control == m_flipX) m_flip[0] ^= 1;
    if (control == m_flipY) m_flip[1] ^= 1;
    if (m_iconEntry >= 0 && m_mode == SKIN_MODE_ICON) ChooseSlot(m_iconEntry - m_first);
    return;
  }
  for (int32_t i = 0; i < kPage; ++i)
    if (control == m_slots[i]) return ChooseSlot(i);
}

// ---------------------------------------------------------------------------------------------
// Render dialog

namespace {
enum RenderSize { RENDER_SMALL, RENDER_BIG, RENDER_HUGE };
RenderSize SizeOf(const VQCanvas* canvas) {
  const uint32_t w = canvas ? canvas->m_width : 640;
  return w <= 640 ? RENDER_SMALL : (w <= 800 ? RENDER_BIG : RENDER_HUGE);
}
constexpr int32_t kRenderInset = 5;
constexpr uint32_t kFlickWindowMs = 80;
constexpr float kDragTurn = 0.03f, kFlickRate = 0.1f, kZoomPerPixel = 0.002f;
constexpr float kNearest = -0.6f, kFarthest = -2.0f;
constexpr float kCarLift = 0.1f;
}  // namespace

const char* VQRenderDialog::GetBackgroundName() {
  static const char* const names[3] = {"SkinRenderDialogWindow.tga",
                                       "SkinRenderDialogWindowBig.tga",
                                       "SkinRenderDialogWindowHuge.tga"};
  return names[SizeOf(m_canvas)];
}

int32_t VQRenderDialog::GetWidth() {
  static const int32_t w[3] = {270, 256, 400};
  return w[SizeOf(m_canvas)];
}

int32_t VQRenderDialog::GetHeight() {
  static const int32_t h[3] = {152, 256, 400};
  return h[SizeOf(m_canvas)];
}

VQRenderDialog::~VQRenderDialog() {
  RestoreCarTextures();
  if (m_car) {
    m_car->Translate(VQVector(0, 0, -kCarLift));
    if (m_turntable) m_turntable->RemoveChild(m_car);
  }
  if (m_viewport && m_canvas) m_canvas->DeleteViewport(m_viewport);
  if (m_light && m_turntable) m_light->RemoveChild(m_turntable);
  if (m_root) {
    if (m_light) m_root->RemoveChild(m_light);
    delete m_root;
  }
  delete m_light;
  delete m_turntable;
  delete m_camera;
}

bool VQRenderDialog::CreateControls() {
  const int32_t w = GetWidth() - 2 * kRenderInset, h = GetHeight() - 2 * kRenderInset;
  if (m_canvas && m_window)
    m_viewport =
        m_canvas->CreateViewport(m_window->m_x + kRenderInset, m_window->m_y + kRenderInset, w, h);
  m_root = new (std::nothrow) VQRootNode();
  m_light = new (std::nothrow) VQLightNode();
  m_turntable = new (std::nothrow) VQTransformNode();
  if (m_root && m_light && m_turntable) {
    // The same light as the menu car previews: from above and behind the camera.
    m_light->m_direction = VQVector(0.3f, -0.6f, -0.7f);
    m_light->m_diffuse = VQColor(1, 1, 1, 1);
    m_light->m_ambient = VQColor(0.4f, 0.4f, 0.4f, 1);
    m_turntable->SetRotation(VQVector(0, 0, -2.4f));
    m_root->AddChild(m_light);
    m_light->SetChild(m_turntable);
  }
  m_camera = new (std::nothrow) VQCamera();
  if (m_camera) {
    m_camera->SetFieldOfView(float(M_PI / 3.0), 0.0f);
    m_camera->SetPosition(VQVector(0, m_cameraOffset, 0));
    m_camera->m_far = 10.0f;
    m_camera->m_near = 0.1f;
  }
  if (m_viewport) {
    m_viewport->m_root = m_root;
    if (m_camera) m_viewport->SetCamera(m_camera);
    m_viewport->m_active = 1;
  }
  auto* button =
      new (std::nothrow) VQToggleElement(0, new (std::nothrow) VQImageRef(), nullptr, true);
  if (button) {
    button->m_width = w;
    button->m_height = h;
    Place(button, kRenderInset, kRenderInset);
    button->SetId(12);
    SetSound(button, "renderwindow_click.wav");
    AddControl(button);
  }
  m_button = reinterpret_cast<VQImageElement*>(button);
  m_lastTime = m_context->clock();
  return true;
}

void VQRenderDialog::SetCar(VQNode* car) {
  if (!car) return;
  if (VQNode* shadow = car->FindByName("m_shadow")) shadow->m_enabled = 0;
  car->Translate(VQVector(0, 0, kCarLift));
  m_car = car;
  if (m_turntable) m_turntable->AddChild(car);
}

void VQRenderDialog::SetNodeTexture(const char* node, VQTexture* texture) {
  auto* geoset = m_car ? dynamic_cast<VQGeosetNode*>(m_car->FindByName(node)) : nullptr;
  VQMattable* table = geoset ? geoset->m_table : nullptr;
  if (!texture || !table || table->m_count == 0 || !table->m_slots[0]) return;
  VQMaterial* first = table->m_slots[0];
  const bool saved = std::any_of(m_savedTextures.begin(), m_savedTextures.end(),
                                 [&](const SavedTexture& t) { return t.material == first; });
  if (!saved) m_savedTextures.push_back({first, first->m_stages[0].m_texture, first->m_stageCount});
  if (first->m_stageCount == 0) first->m_stageCount = 1;
  first->m_stages[0].m_texture = texture;
}

void VQRenderDialog::SetBodyTexture(VQTexture* texture) { SetNodeTexture("m_body", texture); }

void VQRenderDialog::SetWheelTexture(VQTexture* texture) {
  for (const char* wheel : {"m_whl_lf", "m_whl_rf", "m_whl_lr", "m_whl_rr"})
    SetNodeTexture(wheel, texture);
}

void VQRenderDialog::RestoreCarTextures() {
  // Back to front: a material saved twice would otherwise keep the editor's texture.
  for (auto t = m_savedTextures.rbegin(); t != m_savedTextures.rend(); ++t) {
    t->material->m_stages[0].m_texture = t->texture;
    t->material->m_stageCount = t->stageCount;
  }
  m_savedTextures.clear();
}

void VQRenderDialog::OnMoved() {
  if (m_viewport && m_window)
    m_viewport->SetPosition(m_window->m_x + kRenderInset, m_window->m_y + kRenderInset);
  m_moved = 1;
}

void VQRenderDialog::OnRightButtonDown(VQOverlayElement* control, int32_t, int32_t) {
  if (control != reinterpret_cast<VQOverlayElement*>(m_button)) return;
  m_rightDrag = 1;
  if (m_mouse) m_mouse->GetPosition(&m_pointer[0], &m_pointer[1]);
  m_reference[0] = m_pointer[0];
  m_reference[1] = m_pointer[1];
  m_referenceTime = m_context->clock();
}

void VQRenderDialog::OnRightButtonUp(VQOverlayElement*, int32_t, int32_t) {
  if (!m_rightDrag) return;
  m_rightDrag = 0;
  m_spin[0] = -kFlickRate * float(m_pointer[1] - m_reference[1]);
  m_spin[1] = 0.0f;
  m_spin[2] = kFlickRate * float(m_pointer[0] - m_reference[0]);
}

void VQRenderDialog::OnLeftButtonDown(VQOverlayElement* control, int32_t, int32_t) {
  if (control != reinterpret_cast<VQOverlayElement*>(m_button)) return;
  m_leftDrag = 1;
  if (m_mouse) m_mouse->GetPosition(&m_pointer[0], &m_pointer[1]);
}

void VQRenderDialog::OnLeftButtonUp(VQOverlayElement*, int32_t, int32_t) { m_leftDrag = 0; }

void VQRenderDialog::Step(uint32_t now, int32_t x, int32_t y) {
  const float seconds = float(now - m_lastTime) / 1000.0f;
  m_lastTime = now;
  VQVector turn(0, 0, 0);
  if (!m_rightDrag) {
    turn = VQVector(m_spin[0] * seconds, m_spin[1] * seconds, m_spin[2] * seconds);
  } else {
    if (now - m_referenceTime > kFlickWindowMs) {
      m_reference[0] = m_pointer[0];
      m_reference[1] = m_pointer[1];
      m_referenceTime = now;
    }
    turn = VQVector(-kDragTurn * float(y - m_pointer[1]), 0, kDragTurn * float(x - m_pointer[0]));
  }
  if (m_leftDrag) {
    m_cameraOffset =
        std::clamp(m_cameraOffset + kZoomPerPixel * float(y - m_pointer[1]), kFarthest, kNearest);
    if (m_camera) m_camera->SetPosition(VQVector(0, m_cameraOffset, 0));
  }
  m_pointer[0] = x;
  m_pointer[1] = y;
  m_turned[0] += turn.x;
  m_turned[1] += turn.y;
  m_turned[2] += turn.z;
  if (m_turntable && (turn.x != 0 || turn.y != 0 || turn.z != 0)) m_turntable->Rotate(turn, 0);
}

bool VQRenderDialog::Update() {
  int32_t x = m_pointer[0], y = m_pointer[1];
  if (m_mouse && (m_rightDrag || m_leftDrag)) m_mouse->GetPosition(&x, &y);
  Step(m_context->clock(), x, y);
  return true;
}
