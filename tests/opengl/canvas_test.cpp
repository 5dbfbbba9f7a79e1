// The canvas base (viewport list, frame order, resizing) and the OpenGL entry-point loader.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/opengl/VQopengl.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQViewport.h"
#include "Zentri/util/VQerror.h"

namespace {

std::vector<std::string> g_journal;

class JournalViewport : public VQViewport {
 public:
  bool Begin() override {
    g_journal.push_back("viewport " + std::string(m_name ? m_name : ""));
    return false;  // the scene itself is not drawn here
  }
};

class JournalCanvas : public VQCanvas {
 public:
  VQViewport* CreateViewport(int32_t x, int32_t y, int32_t w, int32_t h) override {
    if (!m_created) return g_VQerror = VQERR_NOT_OPEN, nullptr;
    if (m_viewportCount >= VQCANVAS_MAX_VIEWPORTS) return g_VQerror = VQERR_TOO_MANY_VIEWPORTS, nullptr;
    auto* v = new JournalViewport();
    v->Create(this, x, y, w, h);
    v->m_active = 1;
    AddViewport(v);
    return v;
  }
  bool RecreateSurfaces() override { return m_acceptSize; }
  bool MakeCurrent() override {
    g_journal.push_back("current");
    m_in2D = 0;
    return m_current;
  }
  void Begin2D() override { g_journal.push_back("2d"); }
  bool End() override {
    g_journal.push_back("end");
    return true;
  }
  bool m_acceptSize = true;
  bool m_current = true;
};

void Note(VQCanvas*, uintptr_t word) { g_journal.push_back(reinterpret_cast<const char*>(word)); }

class CanvasBase : public ::testing::Test {
 protected:
  void SetUp() override {
    g_journal.clear();
    ASSERT_TRUE(canvas_.Create(2, 640, 480, 32));
  }
  void TearDown() override { canvas_.Destroy(); }
  JournalCanvas canvas_;
};

}  // namespace

TEST_F(CanvasBase, SeventeenthViewportFailsWithError15) {
  for (int i = 0; i < 16; ++i) ASSERT_NE(canvas_.CreateViewport(0, 0, 10, 10), nullptr);
  EXPECT_EQ(canvas_.CreateViewport(0, 0, 10, 10), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_TOO_MANY_VIEWPORTS);
  EXPECT_EQ(canvas_.m_viewportCount, 16u);
  EXPECT_EQ(canvas_.GetViewport(16), nullptr);
}

TEST_F(CanvasBase, RenderFrameRunsCallbacksAroundViewportsInOrder) {
  VQViewport* a = canvas_.CreateViewport(0, 0, 10, 10);
  VQViewport* b = canvas_.CreateViewport(0, 0, 10, 10);
  a->SetName("a");
  b->SetName("b");
  VQCamera camera;
  a->SetCamera(&camera);
  b->SetCamera(&camera);
  canvas_.SetCallbacks(Note, uintptr_t("pre"), Note, uintptr_t("post"), Note, uintptr_t("last"));
  canvas_.RenderFrame();  // hidden: nothing at all
  EXPECT_TRUE(g_journal.empty());
  canvas_.Show(true);
  canvas_.RenderFrame();
  EXPECT_EQ(g_journal, (std::vector<std::string>{"pre", "current", "viewport a", "viewport b", "2d", "post", "last",
                                                 "end"}));
  g_journal.clear();
  canvas_.m_current = false;  // a canvas that cannot be made current skips its frame
  canvas_.RenderFrame();
  EXPECT_EQ(g_journal, (std::vector<std::string>{"pre", "current"}));
  a->SetCamera(nullptr);
  b->SetCamera(nullptr);
}

namespace {
bool g_overlayAccepts = true;
bool OverlayCreate(VQCanvas*) {
  g_journal.push_back("overlay create");
  return g_overlayAccepts;
}
void OverlayDestroy(VQCanvas*) { g_journal.push_back("overlay destroy"); }
void OverlayDraw(VQCanvas*) { g_journal.push_back("overlay"); }
void CursorDraw(VQCanvas*) { g_journal.push_back("cursor"); }
}  // namespace

// The overlay layer draws after the post-scene callback, the cursor (only with a mouse that
// draws it in the overlay) after the overlay, both before the last callback.
TEST(CanvasOverlay, OverlayAndCursorDrawBetweenPostSceneAndLastCallbacks) {
  const VQCanvasOverlayHooks saved = g_VQcanvasOverlay;
  g_VQcanvasOverlay = {OverlayCreate, OverlayDestroy, OverlayDraw, CursorDraw};
  g_journal.clear();
  g_overlayAccepts = false;
  {
    JournalCanvas refused;
    EXPECT_FALSE(refused.Create(1, 64, 48, 32));
    EXPECT_FALSE(refused.m_created);
    EXPECT_EQ(refused.m_scratch, nullptr);  // the scratch record of mode 1 is freed again
  }
  g_overlayAccepts = true;
  JournalCanvas canvas;
  ASSERT_TRUE(canvas.Create(2, 64, 48, 32));
  canvas.SetCallbacks(Note, uintptr_t("pre"), Note, uintptr_t("post"), Note, uintptr_t("last"));
  canvas.Show(true);
  g_journal.clear();
  canvas.RenderFrame();
  EXPECT_EQ(g_journal, (std::vector<std::string>{"pre", "current", "2d", "post", "overlay", "last", "end"}));
  int mouse = 0;
  canvas.m_mouse = &mouse;
  canvas.m_overlayCursor = 1;
  g_journal.clear();
  canvas.RenderFrame();
  EXPECT_EQ(g_journal, (std::vector<std::string>{"pre", "current", "2d", "post", "overlay", "cursor", "last", "end"}));
  g_journal.clear();
  canvas.Destroy();
  EXPECT_EQ(g_journal, (std::vector<std::string>{"overlay destroy"}));
  EXPECT_EQ(canvas.m_mouse, nullptr);
  g_VQcanvasOverlay = saved;
}

TEST_F(CanvasBase, ResizeScalesActiveViewportsAndKeepsCameraAspect) {
  VQViewport* v = canvas_.CreateViewport(11, 21, 301, 201);
  VQViewport* idle = canvas_.CreateViewport(10, 10, 100, 100);
  idle->m_active = 0;
  VQCamera camera;
  camera.SetViewSize(2.0f, 1.5f);
  v->SetCamera(&camera);
  canvas_.SetResizeCallback(Note, uintptr_t("resized"));
  ASSERT_TRUE(canvas_.Resize(320, 120));
  EXPECT_EQ(v->m_x, 6);  // 5.5 + 0.5, truncated
  EXPECT_EQ(v->m_y, 5);
  EXPECT_EQ(v->m_width, 151);
  EXPECT_EQ(v->m_height, 50);
  EXPECT_EQ(idle->m_width, 100);
  EXPECT_FLOAT_EQ(camera.m_viewWidth, 2.0f);
  EXPECT_FLOAT_EQ(camera.m_viewHeight, 0.75f);  // 1.5 / (0.5 / 0.25)
  EXPECT_EQ(g_journal, (std::vector<std::string>{"resized"}));
  v->SetCamera(nullptr);
}

TEST_F(CanvasBase, RefusedResizesLeaveSizeAndViewportsAlone) {
  VQViewport* v = canvas_.CreateViewport(0, 0, 640, 480);
  canvas_.m_acceptSize = false;
  EXPECT_FALSE(canvas_.Resize(320, 240));
  canvas_.m_acceptSize = true;
  // A zero size would scale every viewport to nothing and could never be scaled back.
  EXPECT_FALSE(canvas_.Resize(0, 240));
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  EXPECT_FALSE(canvas_.Resize(320, 0));
  EXPECT_EQ(canvas_.m_width, 640u);
  EXPECT_EQ(canvas_.m_height, 480u);
  EXPECT_EQ(v->m_width, 640);
  EXPECT_EQ(v->m_height, 480);
  // Shrinking a tiny viewport keeps at least one pixel.
  VQViewport* tiny = canvas_.CreateViewport(0, 0, 1, 1);
  ASSERT_TRUE(canvas_.Resize(64, 48));
  EXPECT_EQ(tiny->m_width, 1);
  EXPECT_EQ(tiny->m_height, 1);
}

TEST_F(CanvasBase, RemoveViewportKeepsTheOrderOfTheRest) {
  VQViewport* v[4];
  for (auto& p : v) p = canvas_.CreateViewport(0, 0, 1, 1);
  EXPECT_TRUE(canvas_.RemoveViewport(v[3]));  // last: the fast path
  EXPECT_TRUE(canvas_.RemoveViewport(v[1]));
  EXPECT_FALSE(canvas_.RemoveViewport(v[1]));
  ASSERT_EQ(canvas_.m_viewportCount, 2u);
  EXPECT_EQ(canvas_.GetViewport(0), v[0]);
  EXPECT_EQ(canvas_.GetViewport(1), v[2]);
  delete v[1];
  delete v[3];
}

TEST(ClipStack, BaseEntryStays) {
  EXPECT_EQ(VQclip_Top().x1, 640);
  EXPECT_TRUE(VQclip_Push(1, 2, 3, 4));
  EXPECT_EQ(VQclip_Top().y1, 4);
  VQclip_Pop();
  VQclip_Pop();
  EXPECT_EQ(VQclip_Top().y1, 480);
}

// ---- Loader -------------------------------------------------------------------------------------

namespace {
bool s_glOk = true, s_gluOk = true;
int s_unloads = 0;
std::string s_missing;
void Dummy() {}
const VQopenglLoader kFakeLoader = {
    [] { return s_glOk; }, [] { return s_gluOk; }, [] { ++s_unloads; },
    [](const char* symbol) -> void* {
      return s_missing == symbol ? nullptr : reinterpret_cast<void*>(&Dummy);
    }};

class Loader : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = g_VQgl;
    previous_ = VQopengl_SetLoader(&kFakeLoader);
    s_glOk = s_gluOk = true;
    s_unloads = 0;
    s_missing.clear();
    g_VQerror = 0;
  }
  void TearDown() override {
    VQopengl_SetLoader(previous_);
    g_VQgl = saved_;
  }
  VQopenglTable saved_{};
  const VQopenglLoader* previous_ = nullptr;
};
}  // namespace

TEST_F(Loader, FillsEveryEntryOnceInLoadOrder) {
  EXPECT_EQ(VQGL_FUNCTION_COUNT, 71u);  // 70 OpenGL entry points and gluOrtho2D
  EXPECT_STREQ(VQopengl_Symbol(0), "glAlphaFunc");
  EXPECT_STREQ(VQopengl_Symbol(VQGL_FUNCTION_COUNT - 1), "gluOrtho2D");
  ASSERT_TRUE(VQopengl_LoadLibrary());
  EXPECT_TRUE(VQopengl_IsLoaded());
  EXPECT_EQ(reinterpret_cast<void*>(g_VQgl.Viewport), reinterpret_cast<void*>(&Dummy));
  EXPECT_EQ(reinterpret_cast<void*>(g_VQgl.Ortho2D), reinterpret_cast<void*>(&Dummy));
  s_glOk = false;
  EXPECT_TRUE(VQopengl_LoadLibrary());  // loaded already
  VQopengl_UnloadLibrary();
  EXPECT_EQ(g_VQgl.Viewport, nullptr);
  EXPECT_EQ(s_unloads, 1);
}

TEST_F(Loader, MissingLibrariesFailWithError9) {
  s_gluOk = false;
  EXPECT_FALSE(VQopengl_LoadLibrary());
  EXPECT_EQ(g_VQerror, VQERR_GL_LOAD_LIBRARY);
  s_gluOk = true;
  s_glOk = false;
  g_VQerror = 0;
  EXPECT_FALSE(VQopengl_LoadLibrary());
  EXPECT_EQ(g_VQerror, VQERR_GL_LOAD_LIBRARY);
  EXPECT_FALSE(VQopengl_IsLoaded());
}

TEST_F(Loader, MissingEntryPointFailsWithError3AndClearsTheTable) {
  s_missing = "glTexImage2D";
  EXPECT_FALSE(VQopengl_LoadLibrary());
  EXPECT_EQ(g_VQerror, VQERR_GL_LOAD);
  EXPECT_EQ(g_VQgl.AlphaFunc, nullptr);
  EXPECT_EQ(s_unloads, 1);
}

TEST(OpenGLVersion, OlderThanOneOneOrUnreadableIsRefused) {
  const std::pair<const char*, int32_t> cases[] = {
      {"1.0", VQERR_GL_PROBE_OLD}, {"0.9 beta", VQERR_GL_PROBE_OLD}, {"1.1", 0}, {"2.0", 0},
      {"4.5 (Compatibility Profile) Mesa 22.3.6", 0}, {"abc", VQERR_GL_PROBE_VERSION}, {"3", VQERR_GL_PROBE_VERSION},
      {nullptr, VQERR_GL_PROBE_VERSION}};
  for (auto [text, code] : cases) EXPECT_EQ(VQopengl_CheckVersion(text), code) << (text ? text : "null");
}
