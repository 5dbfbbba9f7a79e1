#include "QVX/SkinEditor/SkinEditor.h"

#include <new>
#include <vector>

#include "QVX/shell/DataPaths.h"
#include "QVX/shell/Program.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/devices/input/VQMouseDevice.h"
#include "Zentri/devices/overlay/VQTooltips.h"
#include "Zentri/devices/overlay/VQWindowManager.h"
#include "Zentri/devices/VQDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/scene/VQViewport.h"

SkinEditor* g_skinEditor = nullptr;

namespace {

constexpr uint32_t kCursorHotSpot[2] = {1, 18};

void NoCanvasHook(VQCanvas*, uintptr_t) {}

// Game time in milliseconds, advanced by the frame pump's frame times while the editor runs:
// brush stamps and turntable spins follow the game's clock (a fixed step in scripted runs).
double s_frameClockMs = 0.0;
uint32_t FrameClock() { return uint32_t(s_frameClockMs); }
// Set while the game runs the editor: each frame also counts for the game's frame budget and
// feeds its scripted input, as the game's own screens do.
bool s_inGame = false;

// The editor's per-frame callback: passes the windows' request to leave on to the frame pump.
void EditorFrame(uintptr_t user) {
  s_frameClockMs += double(g_VQsystem.m_frameTime) * 1000.0;
  if (s_inGame) ProgramScreenFrame();
  auto* editor = reinterpret_cast<SkinEditor*>(user);
  if (editor && editor->m_stop) g_VQsystem.m_stop = 1;
}

bool MousePosition(uintptr_t user, int32_t* x, int32_t* y) {
  auto* mouse = reinterpret_cast<VQMouseDevice*>(user);
  if (!mouse) return false;
  mouse->GetPosition(x, y);
  return true;
}

// The number preview of the game: race number 1 as the edited class paints its numbers.
void PaintPreviewNumber(VQTexture* texture, int32_t classIndex, uintptr_t user) {
  if (auto* program = reinterpret_cast<Program*>(user))
    program->PaintCarNumber(texture, 1, uint32_t(classIndex));
}

VQTextureManager* TexturesOf(VQDisplayDevice* device) {
  return device ? device->m_textureManager : nullptr;
}

}  // namespace

SkinEditor::SkinEditor() {
  m_context.stop = &m_stop;
  g_skinEditor = this;
}

SkinEditor::~SkinEditor() {
  Close();
  m_result.Release();
  if (g_skinEditor == this) g_skinEditor = nullptr;
}

bool SkinEditor::KeyHandler(uint32_t event, void* record, uintptr_t context) {
  auto* editor = reinterpret_cast<SkinEditor*>(context);
  auto* key = static_cast<VQKeyEvent*>(record);
  if (event != VQEVENT_KEY || !key || !editor || key->code != SKIN_KEY_LEAVE || !key->pressed)
    return false;
  editor->m_stop = 1;
  g_VQsystem.m_stop = 1;
  return true;
}

bool SkinEditor::Init(const SkinEditorSetup& setup, std::string* reason) {
  auto refuse = [&](const std::string& why) {
    if (reason) *reason = why;
    Close();
    return false;
  };
  Close();
  g_skinEditor = this;
  m_setup = setup;
  if (!SkinEditor_TemplateFolder(setup.className.c_str()))
    return refuse("The class '" + setup.className +
                  "' has no skin template: its skins cannot be painted");
  VQCanvas* canvas = setup.canvas;
  if (!canvas || !canvas->m_windowManager) return refuse("The skin editor needs the game window");
  VQTextureManager* textures = TexturesOf(setup.display);
  VQTextureManager* images = TexturesOf(setup.imageDevice);
  if (!textures || !images) return refuse("The skin editor needs the display devices");

  g_VQsystem.m_updateCallback = &EditorFrame;
  g_VQsystem.m_updateUserData = reinterpret_cast<uintptr_t>(this);
  m_stop = 0;
  m_result.Release();
  m_context.wheelTexture.clear();
  m_context.showNumbers = true;
  m_context.folders = setup.folders;
  m_context.numbers = setup.numbers;
  m_context.numbers.on = true;
  m_context.numbers.classIndex = setup.classIndex;
  if (setup.keyboard) {
    if (!setup.keyboard->PushHandler(&SkinEditor::KeyHandler, reinterpret_cast<uintptr_t>(this)))
      return refuse("The keyboard takes no further key handler");
    m_keyPushed = 1;
  }
  if (!setup.mouse) return refuse("The skin editor needs a mouse");
  VQMouseDevice* mouse = setup.mouse;
  if (!mouse->m_initialised && !mouse->Open(0)) return refuse("The mouse cannot be opened");
  m_mouseOpened = 1;
  mouse->ShowCursor(true);
  VQToolDialog loader(&m_context);  // only to load the cursor the way the windows load images
  loader.m_textures = textures;
  loader.m_folders = &m_context.folders;
  m_cursor = loader.LoadImage(SKIN_CURSOR_IMAGE, SKIN_IMAGE_MAX, SKIN_IMAGE_MAX);
  mouse->SetCursorImage(m_cursor, kCursorHotSpot);
  canvas->SetCallbacks(canvas->m_preFrame, canvas->m_preFrameWord, &NoCanvasHook, 0, &NoCanvasHook,
                       0);
  mouse->AttachToCanvas(canvas);
  VQWindowManager* manager = canvas->m_windowManager;
  m_savedMouseEnabled = manager->m_mouseEnabled;
  m_savedKeysEnabled = manager->m_keyboardEnabled;
  manager->m_mouseEnabled = manager->m_keyboardEnabled = 1;

  m_icons = new (std::nothrow) VQIconDialog(&m_context);
  m_render = new (std::nothrow) VQRenderDialog(&m_context);
  m_edit = new (std::nothrow) VQTextureEditDialog(&m_context);
  m_tool = new (std::nothrow) VQToolDialog(&m_context);
  if (!m_icons || !m_render || !m_edit || !m_tool) return refuse("Out of memory");
  m_context.icons = m_icons;
  m_context.render = m_render;
  m_context.edit = m_edit;
  m_context.tool = m_tool;
  for (VQSkinDialog* d : std::initializer_list<VQSkinDialog*>{m_icons, m_render, m_tool, m_edit}) {
    d->m_folders = &m_context.folders;
    d->m_soundDevice = nullptr;
  }
  m_icons->Create(canvas, textures, mouse, images, 0, 0);
  m_render->Create(canvas, textures, mouse, images, 0, 0);
  m_tool->Create(canvas, textures, mouse, images, 0, 0);
  m_tool->LoadPalette(SKIN_PALETTE_IMAGE);
  m_edit->Create(canvas, textures, mouse, images, 0, 0);
  if (!m_icons->m_window || !m_render->m_window || !m_tool->m_window || !m_edit->m_window)
    return refuse("The skin editor's windows cannot be created");

  m_settings.Load(m_setup.layoutPath.c_str());
  const int32_t sizes[SKIN_WINDOW_COUNT][2] = {
      {m_edit->m_window->m_width, m_edit->m_window->m_height},
      {m_render->m_window->m_width, m_render->m_window->m_height},
      {m_icons->m_window->m_width, m_icons->m_window->m_height},
      {m_tool->m_window->m_width, m_tool->m_window->m_height}};
  SkinLayout_Read(m_settings, canvas->m_width, sizes, &m_layout);

  m_tooltipImage = loader.LoadImage(m_layout.tooltipFont.c_str(), SKIN_IMAGE_MAX, SKIN_IMAGE_MAX);
  if (m_tooltipImage) m_tooltipFont.BuildGlyphs(m_tooltipImage);
  m_tooltips = new (std::nothrow) VQTooltips();
  if (m_tooltips) {
    VQtooltips_LoadFile(m_setup.tooltipsPath.c_str(), false);
    const uint32_t colour = uint32_t(m_layout.tooltip[3]) << 24 |
                            uint32_t(m_layout.tooltip[0]) << 16 |
                            uint32_t(m_layout.tooltip[1]) << 8 | m_layout.tooltip[2];
    const uint32_t text = 0;
    m_tooltips->Create(textures, &MousePosition, reinterpret_cast<uintptr_t>(mouse), manager,
                       m_tooltipImage ? &m_tooltipFont : nullptr, &colour, &text);
  }

  VQSkinDialog* order[SKIN_WINDOW_COUNT] = {m_edit, m_render, m_icons, m_tool};
  for (SkinWindowId id :
       {SKIN_WINDOW_RENDER, SKIN_WINDOW_TOOL, SKIN_WINDOW_EDIT, SKIN_WINDOW_ICON}) {
    VQWindow* w = order[id]->m_window;
    // A place from the file is kept inside the canvas, as dragging keeps it.
    const int32_t x =
        std::clamp(m_layout.place[id][0], 0, std::max(0, int32_t(canvas->m_width) - w->m_width));
    const int32_t y =
        std::clamp(m_layout.place[id][1], 0, std::max(0, int32_t(canvas->m_height) - w->m_height));
    w->SetPosition(x, y);
    order[id]->OnMoved();
    if (id == SKIN_WINDOW_RENDER && m_render->m_viewport) {
      const float scale = 1.0f / 255.0f;
      m_render->m_viewport->m_clearColour = VQColor(
          m_layout.render[0] * scale, m_layout.render[1] * scale, m_layout.render[2] * scale, 1.0f);
    }
  }

  std::vector<uint8_t> white(size_t(SKIN_LAYER_SIZE) * SKIN_LAYER_SIZE * 3, 255);
  textures->PushSampling(VQWRAP_KEEP, VQWRAP_KEEP, VQFILTER_LINEAR, VQFILTER_LINEAR);
  m_carTexture = textures->CreateEmpty(white.data(), SKIN_LAYER_SIZE, SKIN_LAYER_SIZE, VQPF_BGR888,
                                       nullptr, 0);
  textures->PopSampling();
  if (!m_edit->OpenCarSkin(m_carTexture, setup.classIndex, setup.className.c_str()))
    return refuse("The skin layers cannot be made");
  if (setup.car) {
    m_render->SetCar(setup.car);
    m_render->SetBodyTexture(m_carTexture);
  }
  m_initialised = 1;
  return true;
}

void SkinEditor::Finish() {
  if (!m_initialised || !m_edit) return;
  m_context.numbers.on = false;
  for (VQTextureLayer* l : m_edit->m_layers) l->Invalidate();
  m_edit->ApplyToCar();
  VQTextureLayer* top = m_edit->TopLayer();
  m_result.Release();
  if (top && top->m_composite) {
    ++top->m_composite->m_refCount;
    m_result.texture = top->m_composite;
  }
  m_result.wheelTexture = m_context.wheelTexture;
  m_result.showNumbers = m_context.showNumbers;
}

bool SkinEditor::Run() {
  if (!m_initialised) return false;
  g_VQsystem.Run();
  Finish();
  return true;
}

void SkinEditor::Close() {
  VQCanvas* canvas = m_setup.canvas;
  if (m_initialised && canvas && SkinLayout_Writable(canvas->m_width)) {
    VQSkinDialog* order[SKIN_WINDOW_COUNT] = {m_edit, m_render, m_icons, m_tool};
    for (uint32_t id = 0; id < SKIN_WINDOW_COUNT; ++id) {
      VQWindow* w = order[id] ? order[id]->m_window : nullptr;
      m_layout.place[id][0] = w ? w->m_x : -1;
      m_layout.place[id][1] = w ? w->m_y : -1;
    }
    if (m_render && m_render->m_viewport)
      for (int i = 0; i < 3; ++i) {
        const float c[3] = {m_render->m_viewport->m_clearColour.r,
                            m_render->m_viewport->m_clearColour.g,
                            m_render->m_viewport->m_clearColour.b};
        m_layout.render[i] = uint8_t(std::clamp(c[i], 0.0f, 1.0f) * 255.0f);
      }
    SkinLayout_Write(m_settings, canvas->m_width, m_layout,
                     m_render ? m_render->m_backgroundName.c_str() : "");
  }
  if (m_tooltips) {
    m_tooltips->Destroy();
    delete m_tooltips;
    m_tooltips = nullptr;
  }
  if (m_initialised) m_settings.Save(nullptr);
  delete m_icons;
  delete m_render;
  delete m_edit;
  delete m_tool;
  m_icons = nullptr;
  m_render = nullptr;
  m_edit = nullptr;
  m_tool = nullptr;
  m_context.icons = nullptr;
  m_context.render = nullptr;
  m_context.edit = nullptr;
  m_context.tool = nullptr;
  m_context.brush.Release();
  m_context.brush.notReady = 2;
  SkinTexture_Release(m_carTexture);
  m_carTexture = nullptr;
  if (m_keyPushed && m_setup.keyboard) m_setup.keyboard->RemoveHandler(&SkinEditor::KeyHandler);
  m_keyPushed = 0;
  if (m_mouseOpened && m_setup.mouse) {
    m_setup.mouse->SetCursorImage(nullptr, kCursorHotSpot);
    m_setup.mouse->ShowCursor(false);
  }
  m_mouseOpened = 0;
  // A second Close (the destructor after an explicit one) must not reach a canvas that may be gone.
  if (m_initialised && canvas && canvas->m_windowManager) {
    canvas->m_windowManager->m_mouseEnabled = m_savedMouseEnabled;
    canvas->m_windowManager->m_keyboardEnabled = m_savedKeysEnabled;
  }
  delete m_cursor;
  m_cursor = nullptr;
  delete m_tooltipImage;
  m_tooltipImage = nullptr;
  if (g_VQsystem.m_updateCallback == &EditorFrame) {
    g_VQsystem.m_updateCallback = nullptr;
    g_VQsystem.m_updateUserData = 0;
  }
  m_initialised = 0;
}

bool SkinEditor_SetupFromProgram(Program* program, uint32_t classIndex, VQNode* car,
                                 SkinEditorSetup* setup, std::string* reason) {
  if (!program || classIndex >= program->m_classCount || !program->m_classes[classIndex]) {
    if (reason) *reason = "No racing class is chosen";
    return false;
  }
  setup->display = program->m_displayDevice;
  setup->imageDevice = program->m_softwareDevice;
  setup->canvas = program->m_canvas;
  setup->keyboard = program->m_keyboard;
  VQDevice* mouse = g_VQsystem.GetDevice(VQDEVICE_WINDOWS_MOUSE, 0);
  setup->mouse = mouse ? static_cast<VQMouseDevice*>(mouse) : nullptr;
  setup->car = car;
  setup->classIndex = int32_t(classIndex);
  setup->className = program->m_classes[classIndex]->m_name;
  setup->numbers.paint = &PaintPreviewNumber;
  setup->numbers.user = reinterpret_cast<uintptr_t>(program);
  setup->numbers.classIndex = int32_t(classIndex);
  char path[DATAPATH_MAX_PATH];
  auto folder = [&](uint32_t id) {
    return GetDataFolderPath(path, id) ? std::string(path) : std::string();
  };
  setup->folders.images = folder(program->m_textureFolder) + "\\Skineditor";
  setup->folders.data = folder(DATAFOLDER_SKINEDITOR);
  setup->folders.brushes = folder(DATAFOLDER_SKINEDITOR_BRUSHES);
  setup->folders.icons = folder(DATAFOLDER_SKINEDITOR_ICONS);
  setup->folders.patterns = folder(DATAFOLDER_SKINEDITOR_PATTERNS);
  setup->folders.wheels = folder(DATAFOLDER_MAPS_WHEELS);
  return true;
}

bool SkinEditor_Run(Program* program, uint32_t classIndex, VQNode* car, SkinEditorResult* result,
                    std::string* reason, bool* closed) {
  if (closed) *closed = false;
  SkinEditorSetup setup;
  if (!SkinEditor_SetupFromProgram(program, classIndex, car, &setup, reason)) return false;
  auto* editor = new (std::nothrow) SkinEditor();
  if (!editor) return false;
  editor->m_context.clock = &FrameClock;
  s_inGame = true;
  const bool ok = editor->Init(setup, reason) && editor->Run();
  s_inGame = false;
  // The pump also stops for the game's frame budget or a closed window: both end the game.
  if (ok && closed) *closed = !g_VQsystem.m_stop || (program && program->m_quit);
  if (ok && result) {
    result->Release();
    *result = editor->m_result;
    editor->m_result = SkinEditorResult();
  }
  delete editor;
  g_VQsystem.m_stop = 0;
  return ok;
}
