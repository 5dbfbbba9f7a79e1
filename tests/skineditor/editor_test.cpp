// The editor's windows on a recording canvas: event routing of the dialog base, start-up
// refusals that leave nothing installed, the default layout written back, the leave key,
// painting through the texture edit dialog, zoom limits and the saved layers.
#include <fstream>

#include "QVX/SkinEditor/SkinEditor.h"
#include "tests/skineditor/skin_support.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/devices/input/VQMouseDevice.h"
#include "Zentri/devices/overlay/VQOverlayElements.h"
#include "Zentri/devices/overlay/VQWindowManager.h"

namespace skin_test {
namespace {

class Canvas : public VQCanvas {
 public:
  explicit Canvas(uint32_t width) { Create(2, width, 600, 32); }
  ~Canvas() override { Destroy(); }
  bool RecreateSurfaces() override { return true; }
};

class TestMouse : public VQMouseDevice {
 public:
  TestMouse() : VQMouseDevice(0, VQDEVICE_WINDOWS_MOUSE) {}
  bool Init() override { return true; }
  bool Open(uint32_t) override {
    m_initialised = 1;
    return true;
  }
  void Close() override { m_initialised = 0; }
  const char* GetName() override { return "test mouse"; }
  void ShowPointer() override {}
  void HidePointer() override {}
  bool AttachToCanvas(VQCanvas* canvas) override {
    Link(canvas);
    return true;
  }
  void DetachFromCanvas() override { Unlink(); }
};

class TestKeyboard : public VQDevice {
 public:
  TestKeyboard() : VQDevice(VQDEVICE_WINDOWS_KEYBOARD) {}
  bool Init() override { return true; }
  bool Open(uint32_t) override { return true; }
  void Close() override {}
  const char* GetName() override { return "test keyboard"; }
};

// Records the slots reached.
class Probe : public VQSkinDialog {
 public:
  bool CreateControls() override { return ok; }
  void OnButton(VQOverlayElement* c) override { log.push_back({9, c, 0, 0}); }
  void OnLeftButtonDown(VQOverlayElement* c, int32_t x, int32_t y) override {
    log.push_back({1, c, x, y});
  }
  void OnLeftButtonUp(VQOverlayElement* c, int32_t x, int32_t y) override {
    log.push_back({2, c, x, y});
  }
  void OnRightButtonDown(VQOverlayElement* c, int32_t x, int32_t y) override {
    log.push_back({5, c, x, y});
  }
  void OnRightButtonUp(VQOverlayElement* c, int32_t x, int32_t y) override {
    log.push_back({6, c, x, y});
  }
  void OnMoved() override { log.push_back({0, nullptr, 0, 0}); }
  bool Update() override {
    ++updates;
    return true;
  }
  struct Call {
    uint32_t slot;
    VQOverlayElement* control;
    int32_t x, y;
  };
  std::vector<Call> log;
  int updates = 0;
  bool ok = true;
};

class Editor : public SkinFixture {
 protected:
  void SetUp() override {
    SkinFixture::SetUp();
    VQoverlay_InstallCanvasHooks();
  }
  SkinEditorSetup Setup(VQCanvas* canvas) {
    SkinEditorSetup s;
    s.display = &m_device;
    s.imageDevice = &m_device;
    s.canvas = canvas;
    s.keyboard = &m_keyboard;
    s.mouse = &m_mouse;
    s.className = "junior_std";
    s.folders.data = (m_dir / "data").string();
    s.folders.images = (m_dir / "images").string();
    s.layoutPath = (m_dir / "SkinEditor.ini").string();
    s.tooltipsPath = (m_dir / "SkinTooltips.txt").string();
    return s;
  }
  TestMouse m_mouse;
  TestKeyboard m_keyboard;
};

TEST_F(Editor, DialogBaseRoutesEventsBySlot) {
  Canvas canvas(640);
  Probe probe;
  EXPECT_EQ(Probe::DrawHook(nullptr, &canvas, reinterpret_cast<uintptr_t>(&probe)), true);
  EXPECT_EQ(probe.updates, 0);  // not created: the hook does nothing
  ASSERT_TRUE(probe.Create(&canvas, m_textures, &m_mouse, m_textures, 10, 20));
  ASSERT_NE(probe.m_window, nullptr);
  EXPECT_EQ(probe.m_window->m_x, 10);
  EXPECT_EQ(probe.m_background, nullptr);
  EXPECT_TRUE(Probe::DrawHook(probe.m_window, &canvas, reinterpret_cast<uintptr_t>(&probe)));
  EXPECT_EQ(probe.updates, 1);

  auto* element = new VQToggleElement(0, new VQImageRef(), nullptr, true);
  ASSERT_TRUE(probe.AddControl(element));
  const uintptr_t id = element->m_identifier;
  const uint32_t packed = 0xFFFF0005u;  // x 5, y -1
  for (uint32_t type : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 0xFFFFFFFFu})
    probe.DispatchEvent(id, packed, type);
  ASSERT_EQ(probe.log.size(), 6u);
  const uint32_t slots[] = {0, 1, 2, 5, 6, 9};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(probe.log[i].slot, slots[i]);
  EXPECT_EQ(probe.log[1].control, element);
  EXPECT_EQ(probe.log[1].x, 5);
  EXPECT_EQ(probe.log[1].y, -1);
  probe.DispatchEvent(999, 0, 9);  // an unknown identifier reaches the slot without a control
  EXPECT_EQ(probe.log.back().control, nullptr);

  Probe failing;
  failing.ok = false;
  EXPECT_FALSE(failing.Create(&canvas, m_textures, &m_mouse, m_textures, 0, 0));
  EXPECT_EQ(failing.m_window->m_width, SKIN_DIALOG_DEFAULT_SIZE);
}

TEST_F(Editor, RefusalsLeaveNoKeyHandlerBehind) {
  Canvas canvas(800);
  SkinEditor editor;
  std::string reason;
  SkinEditorSetup s = Setup(&canvas);
  s.className = "formula";  // no template
  EXPECT_FALSE(editor.Init(s, &reason));
  EXPECT_NE(reason.find("no skin template"), std::string::npos);
  EXPECT_EQ(m_keyboard.m_handlerCount, 0u);

  s = Setup(&canvas);
  s.mouse = nullptr;
  reason.clear();
  EXPECT_FALSE(editor.Init(s, &reason));
  EXPECT_NE(reason.find("mouse"), std::string::npos);
  EXPECT_EQ(m_keyboard.m_handlerCount, 0u);
  EXPECT_FALSE(editor.Run());
  EXPECT_FALSE(fs::exists(m_dir / "SkinEditor.ini"));
}

TEST_F(Editor, OpensWithDefaultPlacesAndWritesThemBackOnLeaving) {
  Canvas canvas(800);
  {
    SkinEditor editor;
    std::string reason;
    ASSERT_TRUE(editor.Init(Setup(&canvas), &reason)) << reason;
    EXPECT_EQ(m_keyboard.m_handlerCount, 1u);
    EXPECT_EQ(editor.m_tool->m_window->m_x, 5);
    EXPECT_EQ(editor.m_tool->m_window->m_y, 5);
    EXPECT_EQ(editor.m_render->m_window->m_width, 256);
    EXPECT_EQ(editor.m_render->m_window->m_x, 635 - 256);
    EXPECT_EQ(editor.m_icons->m_window->m_y, 475 - 366);
    EXPECT_EQ(editor.m_edit->m_window->m_x, 635 - 308);
    ASSERT_EQ(editor.m_edit->m_layers.size(), 4u);

    // The leave key: a release does nothing, a press ends the editor.
    VQKeyEvent key{SKIN_KEY_LEAVE, 0};
    EXPECT_FALSE(SkinEditor::KeyHandler(VQEVENT_KEY, &key, reinterpret_cast<uintptr_t>(&editor)));
    EXPECT_EQ(editor.m_stop, 0);
    key.pressed = 1;
    EXPECT_TRUE(SkinEditor::KeyHandler(VQEVENT_KEY, &key, reinterpret_cast<uintptr_t>(&editor)));
    EXPECT_EQ(editor.m_stop, 1);
    g_VQsystem.m_stop = 0;

    editor.m_tool->m_window->SetPosition(40, 30);
    editor.Finish();
    ASSERT_NE(editor.m_result.texture, nullptr);
    editor.Close();
    EXPECT_EQ(m_keyboard.m_handlerCount, 0u);
  }
  VQSettingsFile file;
  file.Load((m_dir / "SkinEditor.ini").c_str());
  int32_t v = 0;
  EXPECT_TRUE(file.GetInt("ToolX", &v, "800"));
  EXPECT_EQ(v, 40);
  EXPECT_TRUE(file.GetInt("RenderX", &v, "800"));
  EXPECT_EQ(v, 635 - 256);
  EXPECT_TRUE(fs::exists(m_dir / "data" / "junior_std" / "3_Edit.tga"));
}

TEST_F(Editor, OtherCanvasWidthsLeaveTheLayoutFileUnchanged) {
  {
    std::ofstream out(m_dir / "SkinEditor.ini");
    out << "@none\nToolX = 70\nToolY = 60\n";
  }
  Canvas canvas(1280);
  SkinEditor editor;
  std::string reason;
  ASSERT_TRUE(editor.Init(Setup(&canvas), &reason)) << reason;
  EXPECT_EQ(editor.m_tool->m_window->m_x, 70);
  EXPECT_EQ(editor.m_render->m_window->m_width, 400);
  editor.m_tool->m_window->SetPosition(1, 1);
  editor.Close();
  std::ifstream in(m_dir / "SkinEditor.ini");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "@none\nToolX = 70\nToolY = 60\n");
}

TEST_F(Editor, PaintingReachesTheCarAndIsThereAtTheNextVisit) {
  Canvas canvas(640);
  {
    SkinEditor editor;
    std::string reason;
    ASSERT_TRUE(editor.Init(Setup(&canvas), &reason)) << reason;
    VQTextureEditDialog* edit = editor.m_edit;
    // Before any brush is chosen nothing paints.
    edit->SelectLayer(SKIN_LAYER_EDIT);
    EXPECT_FALSE(edit->PaintAt(50, 50));
    editor.m_context.brush.Set(Solid(2, 2, {255, 0, 0, 255}), false);
    ASSERT_TRUE(edit->PaintAt(50, 50));
    edit->ApplyToCar();
    EXPECT_EQ(At(edit->TopLayer()->m_composite, 50, 50), (Px{255, 0, 0, 0}));
    EXPECT_FALSE(edit->PaintAt(-1, 50));

    for (int i = 0; i < 4; ++i) edit->Zoom(true);
    EXPECT_EQ(edit->m_zoom, 8u);
    EXPECT_FALSE(edit->m_zoomIn->m_enabled);
    edit->Scroll(-500, 0);
    EXPECT_EQ(edit->m_source[0], 0);
    edit->Scroll(1000, 1000);
    EXPECT_EQ(edit->m_source[0], 256 - 32);
    for (int i = 0; i < 3; ++i) edit->Zoom(false);
    EXPECT_EQ(edit->m_zoom, 1u);
    EXPECT_FALSE(edit->m_zoomOut->m_enabled);
    editor.Close();
  }
  SkinEditor again;
  std::string reason;
  ASSERT_TRUE(again.Init(Setup(&canvas), &reason)) << reason;
  EXPECT_EQ(At(again.m_edit->m_layers[SKIN_LAYER_EDIT]->m_paint, 50, 50), (Px{255, 0, 0, 255}));
}

}  // namespace
}  // namespace skin_test

namespace skin_test {
namespace {

// The sample data tree: the editor finds its palette, brushes, icons, patterns and the
// template of junior_std, and the layout file of the tree gives its colours.
TEST_F(Editor, OpensOnTheGeneratedDataTree) {
  const fs::path game = VQ_GAME_DIR;
  ASSERT_TRUE(fs::exists(game / "SkinEditor.ini"));
  Canvas canvas(640);
  SkinEditorSetup s = Setup(&canvas);
  s.folders.images = (game / "Data" / "Maps_low" / "Skineditor").string();
  s.folders.data = (game / "Data" / "Maps_skineditor").string();
  s.folders.brushes = s.folders.data + "/Brushes";
  s.folders.icons = s.folders.data + "/Icons";
  s.folders.patterns = s.folders.data + "/Patterns";
  s.folders.wheels = (game / "Data" / "Maps_wheels").string();
  fs::copy_file(game / "SkinEditor.ini", m_dir / "SkinEditor.ini");
  // The layers are saved into the data folder: work on a copy of it.
  fs::copy(s.folders.data, m_dir / "data", fs::copy_options::recursive);
  s.folders.data = (m_dir / "data").string();
  SkinEditor editor;
  std::string reason;
  ASSERT_TRUE(editor.Init(s, &reason)) << reason;
  EXPECT_NE(editor.m_tool->m_palette, nullptr);
  EXPECT_EQ(editor.m_icons->m_brushes.size(), 3u);
  EXPECT_EQ(editor.m_icons->m_iconCategories.size(), 1u);
  EXPECT_EQ(editor.m_icons->m_patternCategories.size(), 1u);
  EXPECT_EQ(editor.m_icons->m_stripes.size(), 2u);
  EXPECT_EQ(editor.m_icons->m_wheels.size(), 1u);
  EXPECT_EQ(editor.m_layout.render[2], 60);
  EXPECT_NE(editor.m_edit->m_background, nullptr);
  // A brush from the dialog, painted on the edit layer.
  editor.m_edit->SelectLayer(SKIN_LAYER_EDIT);
  editor.m_icons->SetMode(SKIN_MODE_BRUSH);
  editor.m_icons->ChooseSlot(2);  // brush32
  EXPECT_EQ(editor.m_context.brush.notReady, 0u);
  EXPECT_EQ(editor.m_context.brush.width, 32u);
  editor.m_tool->SetColor(0, 0, 255);
  ASSERT_TRUE(editor.m_edit->PaintAt(128, 128));
  EXPECT_EQ(At(editor.m_edit->m_layers[SKIN_LAYER_EDIT]->m_paint, 128, 128), (Px{0, 0, 255, 255}));
  // The wheel choice is kept by file name.
  editor.m_edit->SelectLayer(SKIN_SELECT_WHEELS);
  editor.m_icons->ChooseSlot(0);
  EXPECT_EQ(editor.m_context.wheelTexture, "wheels.tga");
  editor.Finish();
  EXPECT_EQ(editor.m_result.wheelTexture, "wheels.tga");
}

}  // namespace
}  // namespace skin_test
