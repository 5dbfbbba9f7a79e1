// The editor driven only through its mouse on the generated data tree: every click and stroke
// goes through the mouse device, the canvas's window manager and the dialogs' event routing,
// and the windows' overlay passes run the painting, as in the game.
#include <fstream>
#include <memory>

#include "QVX/SkinEditor/SkinEditor.h"
#include "tests/skineditor/skin_support.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/input/VQMouseDevice.h"
#include "Zentri/devices/overlay/VQOverlayElements.h"
#include "Zentri/devices/overlay/VQWindowManager.h"

namespace skin_test {
namespace {

class MouseCanvas : public VQCanvas {
 public:
  MouseCanvas() { Create(2, 640, 480, 32); }
  ~MouseCanvas() override { Destroy(); }
  bool RecreateSurfaces() override { return true; }
};

class ScriptMouse : public VQMouseDevice {
 public:
  ScriptMouse() : VQMouseDevice(0, VQDEVICE_WINDOWS_MOUSE) {}
  bool Init() override { return true; }
  bool Open(uint32_t) override {
    m_initialised = 1;
    return true;
  }
  void Close() override { m_initialised = 0; }
  const char* GetName() override { return "scripted mouse"; }
  void ShowPointer() override {}
  void HidePointer() override {}
  bool AttachToCanvas(VQCanvas* canvas) override {
    Link(canvas);
    return true;
  }
  void DetachFromCanvas() override { Unlink(); }
};

// The editor's clock, advanced by the test: one overlay pass every 10 ms.
uint32_t s_now = 0;
uint32_t TestClock() { return s_now; }

class EditorMouse : public SkinFixture {
 protected:
  void SetUp() override {
    SkinFixture::SetUp();
    VQoverlay_InstallCanvasHooks();  // before the canvas: it makes its window manager
    m_canvasStore = std::make_unique<MouseCanvas>();
    s_now = 1000;
    const fs::path game = VQ_GAME_DIR;
    m_setup.display = &m_device;
    m_setup.imageDevice = &m_device;
    m_setup.canvas = m_canvasStore.get();
    m_setup.mouse = &m_mouse;
    m_setup.className = "junior_std";
    m_setup.folders.images = (game / "Data" / "Maps_low" / "Skineditor").string();
    // The layers are saved into the data folder: the editor works on a copy of it.
    fs::copy(game / "Data" / "Maps_skineditor", m_dir / "data", fs::copy_options::recursive);
    m_setup.folders.data = (m_dir / "data").string();
    m_setup.folders.brushes = m_setup.folders.data + "/Brushes";
    m_setup.folders.icons = m_setup.folders.data + "/Icons";
    m_setup.folders.patterns = m_setup.folders.data + "/Patterns";
    m_setup.folders.wheels = (game / "Data" / "Maps_wheels").string();
    m_setup.layoutPath = (m_dir / "SkinEditor.ini").string();
    m_setup.tooltipsPath = (m_dir / "SkinTooltips.txt").string();
  }
  void TearDown() override {
    m_editor.Close();  // before the fixture closes the device that holds the images
    m_editor.m_result.Release();
    m_canvasStore.reset();
    SkinFixture::TearDown();
  }
  bool Open(std::string* reason) {
    if (!m_editor.Init(m_setup, reason)) return false;
    m_editor.m_context.clock = &TestClock;
    return true;
  }
  // One frame: the overlay pass that runs every window's update, 10 ms later.
  void Pass() {
    s_now += 10;
    m_canvasStore->m_windowManager->Draw();
  }
  void Move(int32_t x, int32_t y) {
    m_mouse.PostEvent(VQEVENT_POINTER_MOVE, x, y, 0);
    Pass();
  }
  void Click(int32_t x, int32_t y) {
    Move(x, y);
    m_mouse.PostEvent(VQEVENT_LEFT_DOWN, x, y, 0);
    Pass();
    m_mouse.PostEvent(VQEVENT_LEFT_UP, x, y, 0);
    Pass();
  }
  // A canvas point of a window-relative place.
  static int32_t X(VQSkinDialog* d, int32_t x) { return d->m_window->m_x + x; }
  static int32_t Y(VQSkinDialog* d, int32_t y) { return d->m_window->m_y + y; }

  std::unique_ptr<MouseCanvas> m_canvasStore;
  ScriptMouse m_mouse;
  SkinEditorSetup m_setup;
  SkinEditor m_editor;
};

TEST_F(EditorMouse, StrokeOfClicksAndDragsLandsOnTheEditLayer) {
  std::string reason;
  ASSERT_TRUE(Open(&reason)) << reason;
  VQTextureEditDialog* edit = m_editor.m_edit;
  VQToolDialog* tool = m_editor.m_tool;
  VQIconDialog* icons = m_editor.m_icons;

  // A colour from the palette, the edit layer from the selector, the first brush.
  Click(X(tool, 5 + 1), Y(tool, 6 + 40));
  const uint8_t picked[3] = {tool->m_color[0], tool->m_color[1], tool->m_color[2]};
  EXPECT_NE((Px{picked[0], picked[1], picked[2], 255}), (Px{255, 255, 255, 255}));
  Click(X(edit, 268 + 17), Y(edit, 85 + 3 * 37 + 17));
  ASSERT_EQ(edit->m_selectedEntry, int32_t(SKIN_LAYER_EDIT));
  ASSERT_EQ(icons->m_mode, int32_t(SKIN_MODE_BRUSH));
  Click(X(icons, 10 + 32), Y(icons, 255 + 32));
  ASSERT_EQ(m_editor.m_context.brush.notReady, 0u) << "the brush click did not reach its slot";

  // A stroke along the view's row 100 from x 60 to x 160.
  const int32_t viewX = X(edit, 5), viewY = Y(edit, 46);
  Move(viewX + 60, viewY + 100);
  m_mouse.PostEvent(VQEVENT_LEFT_DOWN, viewX + 60, viewY + 100, 0);
  for (int32_t x = 60; x <= 160; x += 2) Move(viewX + x, viewY + 100);
  m_mouse.PostEvent(VQEVENT_LEFT_UP, viewX + 160, viewY + 100, 0);
  Pass();
  EXPECT_EQ(edit->m_painting, 0);

  VQTexture* paint = edit->m_layers[SKIN_LAYER_EDIT]->m_paint;
  for (int32_t x : {60, 100, 160})
    EXPECT_EQ(At(paint, uint32_t(x), 100), (Px{picked[0], picked[1], picked[2], 255})) << x;
  EXPECT_EQ(At(paint, 100, 140), kEmpty);  // away from the stroke
  // The car shows the stroke once the button is up.
  const Px car = At(edit->TopLayer()->m_composite, 100, 100);
  EXPECT_EQ((Px{car[0], car[1], car[2], 255}), (Px{picked[0], picked[1], picked[2], 255}));

  // Undo from the tool dialog takes the whole stroke back.
  ASSERT_NE(tool->m_buttons[VQToolDialog::TOOL_UNDO], nullptr);
  const VQImageElement* undo = tool->m_buttons[VQToolDialog::TOOL_UNDO];
  Click(X(tool, undo->m_x + 5), Y(tool, undo->m_y + 5));
  EXPECT_EQ(At(paint = edit->m_layers[SKIN_LAYER_EDIT]->m_paint, 100, 100), kEmpty);
}

TEST_F(EditorMouse, PressOutsideTheViewPaintsNothing) {
  std::string reason;
  ASSERT_TRUE(Open(&reason)) << reason;
  VQTextureEditDialog* edit = m_editor.m_edit;
  Click(X(edit, 268 + 17), Y(edit, 85 + 3 * 37 + 17));
  Click(X(m_editor.m_icons, 10 + 32), Y(m_editor.m_icons, 255 + 32));
  ASSERT_EQ(m_editor.m_context.brush.notReady, 0u);
  // Pressed on the window's frame left of the view, then dragged over it.
  const int32_t y = Y(edit, 46 + 100);
  m_mouse.PostEvent(VQEVENT_LEFT_DOWN, X(edit, 2), y, 0);
  for (int32_t x = 2; x <= 100; x += 4) Move(X(edit, x), y);
  m_mouse.PostEvent(VQEVENT_LEFT_UP, X(edit, 100), y, 0);
  Pass();
  for (uint32_t x : {0u, 50u, 95u})
    EXPECT_EQ(At(edit->m_layers[SKIN_LAYER_EDIT]->m_paint, x, 100), kEmpty);
}

// The colour of a pixel without its alpha.
Px Rgb(Px p) { return {p[0], p[1], p[2], 255}; }

TEST_F(EditorMouse, BucketPatternAndClearOfTheLowerLayersReachTheCar) {
  std::string reason;
  ASSERT_TRUE(Open(&reason)) << reason;
  VQTextureEditDialog* edit = m_editor.m_edit;
  VQToolDialog* tool = m_editor.m_tool;
  VQIconDialog* icons = m_editor.m_icons;
  auto button = [&](VQToolDialog::Tool which) {
    const VQImageElement* b = tool->m_buttons[which];
    ASSERT_NE(b, nullptr);
    ASSERT_LT(b->m_x, 1000) << "tool " << which << " is not offered";
    Click(X(tool, b->m_x + 5), Y(tool, b->m_y + 5));
  };
  auto car = [&](uint32_t x, uint32_t y) { return Rgb(At(edit->TopLayer()->m_composite, x, y)); };
  VQTextureLayer* wire = edit->m_layers[SKIN_LAYER_WIRE];
  VQTextureLayer* stripes = edit->m_layers[SKIN_LAYER_STRIPE];

  // The bottom layer: the bucket fills it with the palette's colour, and the car shows it.
  Click(X(edit, 268 + 17), Y(edit, 85 + 17));
  ASSERT_EQ(edit->m_selectedEntry, int32_t(SKIN_LAYER_WIRE));
  EXPECT_EQ(icons->m_mode, int32_t(SKIN_MODE_PATTERN));
  Click(X(tool, 5 + 67), Y(tool, 6 + 8));
  const Px picked = {tool->m_color[0], tool->m_color[1], tool->m_color[2], 255};
  EXPECT_GT(int(picked[1]), int(picked[0]) + 100);  // a bright green
  button(VQToolDialog::TOOL_BUCKET);
  for (uint32_t xy : {0u, 128u, 255u}) {
    EXPECT_EQ(At(wire->m_fill, xy, xy), picked) << xy;
    EXPECT_EQ(car(xy, xy), picked) << xy;
  }

  // A pattern thumbnail replaces the fill with the pattern, on the car too.
  Click(X(icons, 10 + 32), Y(icons, 255 + 32));
  bool changed = false;
  for (uint32_t y = 0; y < 256; y += 5)
    for (uint32_t x = 0; x < 256; x += 5) {
      changed = changed || At(wire->m_fill, x, y) != picked;
      ASSERT_EQ(car(x, y), Rgb(At(wire->m_fill, x, y))) << x << " " << y;
    }
  EXPECT_TRUE(changed);

  // The stripe layer: the bucket fills it, and clear empties it again; with no stripe chosen
  // its mask keeps it off the car either way.
  Click(X(edit, 268 + 17), Y(edit, 85 + 37 + 17));
  ASSERT_EQ(edit->m_selectedEntry, int32_t(SKIN_LAYER_STRIPE));
  EXPECT_EQ(icons->m_mode, int32_t(SKIN_MODE_STRIPES));
  button(VQToolDialog::TOOL_BUCKET);
  EXPECT_EQ(At(stripes->m_fill, 10, 10), picked);
  button(VQToolDialog::TOOL_CLEAR);
  EXPECT_EQ(At(stripes->m_fill, 10, 10), kEmpty);
  for (uint32_t y = 0; y < 256; y += 5)
    for (uint32_t x = 0; x < 256; x += 5)
      ASSERT_EQ(car(x, y), Rgb(At(wire->m_fill, x, y))) << x << " " << y;
}

}  // namespace
}  // namespace skin_test

namespace skin_test {
namespace {

// The number preview stands in as one magenta pixel at (0, 0).
void MarkNumber(VQTexture* texture, int32_t, uintptr_t calls) {
  ++*reinterpret_cast<int*>(calls);
  const Px magenta = {255, 0, 255, 255};
  if (uint8_t* p = SkinTexture_Pixel(texture, 0, 0)) {
    p[0] = magenta[2];
    p[1] = magenta[1];
    p[2] = magenta[0];
    p[3] = magenta[3];
  } else if (texture && texture->m_format == VQPF_BGR888) {
    uint32_t pitch = 0;
    auto* q = static_cast<uint8_t*>(texture->Lock(&pitch, 0));
    if (q) q[0] = magenta[2], q[1] = magenta[1], q[2] = magenta[0];
  }
}

Px CarPixel(VQTexture* car) {
  uint32_t pitch = 0;
  auto* q = static_cast<uint8_t*>(car->Lock(&pitch, 0));
  return q ? Px{q[2], q[1], q[0], 255} : Px{};
}

TEST_F(EditorMouse, NumberPreviewShowsOnViewAndCarButNeverInTheSkin) {
  int calls = 0;
  m_setup.numbers.paint = &MarkNumber;
  m_setup.numbers.user = reinterpret_cast<uintptr_t>(&calls);
  std::string reason;
  ASSERT_TRUE(Open(&reason)) << reason;
  VQTextureEditDialog* edit = m_editor.m_edit;
  const Px magenta = {255, 0, 255, 255};
  EXPECT_GT(calls, 0);
  EXPECT_EQ(At(edit->m_selected->m_view->m_texture, 0, 0), magenta);
  EXPECT_EQ(CarPixel(m_editor.m_carTexture), magenta);
  EXPECT_NE(At(edit->TopLayer()->m_composite, 0, 0), magenta);
  EXPECT_TRUE(m_editor.m_context.showNumbers);

  // The switch turns the preview off everywhere, and the skin says so.
  ASSERT_NE(edit->m_showNumbers, nullptr);
  Click(X(edit, edit->m_showNumbers->m_x + 5), Y(edit, edit->m_showNumbers->m_y + 5));
  EXPECT_FALSE(m_editor.m_context.showNumbers);
  EXPECT_NE(At(edit->m_selected->m_view->m_texture, 0, 0), magenta);
  EXPECT_NE(CarPixel(m_editor.m_carTexture), magenta);
  m_editor.Finish();
  EXPECT_FALSE(m_editor.m_result.showNumbers);
  EXPECT_EQ(
      SkinFiles_Description("Driver", m_editor.m_result.showNumbers, "").find("Numbers = off\n") !=
          std::string::npos,
      true);

  // On again: the result still comes without the number, but says it shows one.
  Click(X(edit, edit->m_showNumbers->m_x + 5), Y(edit, edit->m_showNumbers->m_y + 5));
  EXPECT_EQ(CarPixel(m_editor.m_carTexture), magenta);
  m_editor.Finish();
  EXPECT_TRUE(m_editor.m_result.showNumbers);
  EXPECT_NE(At(m_editor.m_result.texture, 0, 0), magenta);
}

}  // namespace
}  // namespace skin_test
