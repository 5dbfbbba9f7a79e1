// The OpenGL device on a real context (SDL's offscreen driver with Mesa when there is no
// display): opening, canvases, drawing a mesh, texture uploads after pixmap blits, grabs, and
// vqview's screenshot of the demo scene checked by regions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#include <unistd.h>

#include "Zentri/devices/display/opengl/VQOpenGLCanvas.h"
#include "Zentri/devices/display/opengl/VQOpenGLDisplayDevice.h"
#include "Zentri/devices/display/opengl/VQopengl.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/platform/VQwin32.h"
#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/util/VQerror.h"

namespace {

class LiveOpenGL : public ::testing::Test {
 protected:
  void SetUp() override {
    g_VQsystem.Init();
    auto* d = g_VQsystem.GetDevice(VQDEVICE_OPENGL_DISPLAY, 0);
    ASSERT_NE(d, nullptr) << "error " << g_VQerror;
    ASSERT_TRUE(d->Open(0)) << "error " << g_VQerror;
    device_ = static_cast<VQOpenGLDisplayDevice*>(d);
  }
  void TearDown() override {
    if (device_) device_->Close();
    g_VQsystem.Shutdown();
  }

  // One pixel of a grab (format 7: blue, green, red), bottom row first.
  static void Pixel(VQPixmap* p, uint32_t x, uint32_t y, int* rgb) {
    const uint8_t* px = static_cast<const uint8_t*>(p->Lock(nullptr)) + 3 * (size_t(y) * p->m_width + x);
    rgb[0] = px[2];
    rgb[1] = px[1];
    rgb[2] = px[0];
  }

  VQOpenGLDisplayDevice* device_ = nullptr;
};

}  // namespace

namespace {
std::vector<VQCanvas*> g_destroyed;
void NoteDestroyed(VQCanvas* canvas) { g_destroyed.push_back(canvas); }
}  // namespace

TEST_F(LiveOpenGL, OpensOnceAndCloseDestroysEveryCanvasNewestFirst) {
  EXPECT_TRUE(device_->Open(0));  // open already: nothing new
  EXPECT_EQ(device_->GetName(), std::string("OpenGL display device"));
  EXPECT_TRUE(device_->m_depthBits == 32 || device_->m_depthBits == 24);
  EXPECT_GE(device_->LightCount(), 1u);
  const size_t windowsBefore = host::live_window_count();
  VQCanvas* made[3];
  for (auto& c : made) ASSERT_NE(c = device_->CreateCanvas(2, 0, 32, 32, 0, 0), nullptr) << g_VQerror;
  EXPECT_EQ(device_->m_canvasCount, 3u);
  EXPECT_EQ(host::live_window_count(), windowsBefore + 3);
  g_destroyed.clear();
  g_VQcanvasOverlay.destroy = NoteDestroyed;
  device_->Close();
  g_VQcanvasOverlay.destroy = nullptr;
  EXPECT_EQ(g_destroyed, (std::vector<VQCanvas*>{made[2], made[1], made[0]}));
  EXPECT_EQ(device_->m_canvasCount, 0u);
  EXPECT_FALSE(device_->m_initialised);
  EXPECT_LT(host::live_window_count(), windowsBefore + 1);
  ASSERT_TRUE(device_->Open(0));  // and opens again
}

TEST_F(LiveOpenGL, DrawsAMeshWithVertexColoursOverTheClearColour) {
  VQCanvas* canvas = device_->CreateCanvas(2, 0, 64, 48, 0, 0);
  ASSERT_NE(canvas, nullptr);
  VQViewport* viewport = canvas->CreateViewport(0, 0, 64, 48);
  ASSERT_NE(viewport, nullptr);
  // A square of side 4 across the view, 10 in front of the camera, facing it.
  VQMesh* mesh = VQMesh::Create(4, 2, 0, true, true, false);
  const VQVector corners[4] = {VQVector(-2, 0, -2), VQVector(2, 0, -2), VQVector(2, 0, 2), VQVector(-2, 0, 2)};
  for (int i = 0; i < 4; ++i) {
    mesh->m_positions[i] = corners[i];
    mesh->m_normals[i] = VQVector(0, -1, 0);
    mesh->m_colours[i] = 0xFF0000FFu;  // red
  }
  const uint16_t indices[6] = {0, 1, 2, 0, 2, 3};
  std::copy(indices, indices + 6, mesh->m_indices);
  VQGeoset* geoset = VQGeoset::Create();
  geoset->AddLevel(mesh, 1000.0f);
  geoset->GetBoundingSphere(geoset->m_centre, geoset->m_radius);
  auto* root = new VQRootNode();
  auto* node = new VQGeosetNode(geoset);
  node->SetMattable(VQMattable::Create(1));
  root->SetChild(node);
  VQCamera camera;
  camera.SetPosition(VQVector(0, -10, 0));
  viewport->SetCamera(&camera);
  viewport->m_root = root;
  viewport->m_active = 1;
  viewport->m_clearColour = VQColor(0, 0, 1, 1);
  canvas->Show(true);
  device_->RenderAll();
  VQPixmap* grab = canvas->GrabRect(0, 0, 64, 48);
  ASSERT_NE(grab, nullptr);
  int rgb[3];
  Pixel(grab, 32, 24, rgb);
  EXPECT_GT(rgb[0], 200);
  EXPECT_LT(rgb[1] + rgb[2], 40);
  Pixel(grab, 1, 1, rgb);
  EXPECT_LT(rgb[0] + rgb[1], 40);
  EXPECT_GT(rgb[2], 200);
  device_->DeletePixmap(grab);
  viewport->SetCamera(nullptr);
  viewport->m_root = nullptr;
  VQNode::Destroy(root);
}

TEST_F(LiveOpenGL, TextureUploadAfterAClippedPixmapBlitIsWhole) {
  VQCanvas* canvas = device_->CreateCanvas(2, 0, 64, 64, 0, 0);
  ASSERT_NE(canvas, nullptr);
  ASSERT_TRUE(canvas->MakeCurrent());
  canvas->Begin2D();
  // A pixmap drawn partly left of and below the canvas sets the unpack skips.
  VQPixmap* pixmap = device_->CreatePixmap(16, 16, VQPF_RGB888);
  ASSERT_NE(pixmap, nullptr);
  VQImageRef pixmapRef(pixmap);
  canvas->BlitImage(&pixmapRef, -5, -3, 0, 0);
  // Then a 4 x 4 texture whose columns are red, green, blue, white, drawn at 8 x scale.
  uint8_t pixels[4 * 4 * 3];
  const uint8_t columns[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      for (int c = 0; c < 3; ++c) pixels[3 * (4 * y + x) + c] = columns[x][c];
  device_->SetTextureMinFilter(VQFILTER_NEAREST);
  device_->SetTextureMagFilter(VQFILTER_NEAREST);
  VQTexture* texture = device_->CreateTexture(pixels, 4, 4, VQPF_RGB888, nullptr, 0);
  ASSERT_NE(texture, nullptr);
  texture->m_width = texture->m_height = 32;  // drawn size
  VQImageRef textureRef(texture);
  canvas->BlitImage(&textureRef, 0, 0, 0, 0);
  VQPixmap* grab = canvas->GrabRect(0, 0, 32, 32);
  ASSERT_NE(grab, nullptr);
  int rgb[3];
  for (int column = 0; column < 4; ++column) {
    SCOPED_TRACE(column);
    Pixel(grab, uint32_t(column * 8 + 4), 16, rgb);
    EXPECT_EQ(rgb[0], columns[column][0]);
    EXPECT_EQ(rgb[1], columns[column][1]);
    EXPECT_EQ(rgb[2], columns[column][2]);
  }
  canvas->End();
  device_->DeletePixmap(grab);
  device_->DeletePixmap(pixmap);
  textureRef.m_texture = nullptr;
  device_->DeleteTexture(texture);
}

namespace {
intptr_t OwnProc(host::window_handle w, uint32_t code, uintptr_t wp, intptr_t lp) {
  return host::default_window_proc(w, code, wp, lp);
}
}  // namespace

TEST_F(LiveOpenGL, AGivenWindowIsSubclassedWhileItCarriesTheCanvas) {
  ASSERT_TRUE(host::register_window_class("opengl_test_own", OwnProc) || host::window_class_registered("opengl_test_own"));
  host::gl::request_pixel_format(32, int(device_->m_depthBits), true);
  host::window_desc desc;
  desc.class_name = "opengl_test_own";
  desc.width = 48;
  desc.height = 32;
  const host::window_handle w = host::create_window(desc);
  ASSERT_NE(w, 0u);
  // A full-screen canvas makes its own window and leaves the given one alone.
  VQCanvas* full = device_->CreateCanvas(1, w, 48, 32, 0, 0);
  ASSERT_NE(full, nullptr) << g_VQerror;
  EXPECT_NE(full->m_window, w);
  EXPECT_EQ(full->m_suppliedWindow, 0);
  EXPECT_EQ(host::get_window_proc(w), &OwnProc);
  EXPECT_EQ(host::get_user_data(w), 0u);
  const host::window_handle fullWindow = full->m_window;
  device_->DestroyCanvas(full, 1);
  EXPECT_FALSE(host::is_window(fullWindow));
  EXPECT_TRUE(host::is_window(w));
  VQCanvas* canvas = device_->CreateCanvas(2, w, 48, 32, 0, 0);
  ASSERT_NE(canvas, nullptr) << g_VQerror;
  EXPECT_EQ(host::get_window_proc(w), &VQwin32_WindowProc);
  EXPECT_EQ(canvas->m_previousProc, &OwnProc);
  EXPECT_EQ(host::get_user_data(w), reinterpret_cast<uintptr_t>(canvas));
  device_->DestroyCanvas(canvas, 1);
  EXPECT_TRUE(host::is_window(w));  // the caller's window stays
  EXPECT_EQ(host::get_window_proc(w), &OwnProc);
  EXPECT_EQ(host::get_user_data(w), 0u);
  host::destroy_window(w);
}

TEST_F(LiveOpenGL, DisplayModesComeFromTheVideoSystem) {
  VQDisplayMode current;
  ASSERT_TRUE(device_->GetCurrentMode(&current));
  EXPECT_GT(current.width, 0u);
  EXPECT_GT(current.height, 0u);
  uint32_t count = 0, listed = 0;
  VQDisplayMode* modes = nullptr;
  ASSERT_TRUE(device_->GetModeCount(&count));
  ASSERT_TRUE(device_->GetModes(&listed, &modes));
  EXPECT_EQ(listed, count);
  EXPECT_EQ(modes == nullptr, listed == 0);
  delete[] modes;
}

TEST_F(LiveOpenGL, GrabRectClipsToTheCanvas) {
  VQCanvas* canvas = device_->CreateCanvas(2, 0, 40, 30, 0, 0);
  ASSERT_NE(canvas, nullptr);
  VQPixmap* p = canvas->GrabRect(-10, -5, 100, 100);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->m_width, 40u);
  EXPECT_EQ(p->m_height, 30u);
  EXPECT_EQ(p->m_format, uint32_t(VQPF_BGR888));
  device_->DeletePixmap(p);
  EXPECT_EQ(canvas->GrabRect(40, 0, 5, 5), nullptr);
  EXPECT_EQ(canvas->GrabRect(-10, 0, 10, 5), nullptr);
}

// ---- vqview ------------------------------------------------------------------------------------

namespace {

struct Image {
  uint32_t width = 0, height = 0;
  uint8_t* pixels = nullptr;  // RGB, top row first
  ~Image() { std::free(pixels); }
  // Mean colour of the 7 x 7 box around (x, y), y counted from the top.
  void Mean(uint32_t x, uint32_t y, double* rgb) const {
    rgb[0] = rgb[1] = rgb[2] = 0;
    int n = 0;
    for (uint32_t yy = y - 3; yy <= y + 3; ++yy)
      for (uint32_t xx = x - 3; xx <= x + 3; ++xx, ++n)
        for (int c = 0; c < 3; ++c) rgb[c] += pixels[3 * (size_t(yy) * width + xx) + c];
    for (int c = 0; c < 3; ++c) rgb[c] /= n;
  }
};

}  // namespace

TEST(VqviewScreenshot, DemoSceneShowsSkyGroundColoursAndFogWhereExpected) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("vqview_screenshot_test_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string bin = VQ_BIN_DIR;
  const std::string scene = (dir / "demo.vqo").string(), shot = (dir / "shot.jpg").string();
  ASSERT_EQ(std::system((bin + "/vqtool scene-demo " + scene).c_str()), 0);
  ASSERT_EQ(std::system((bin + "/vqview " + scene + " --camera 0,-150,60 --orbit 0 --frames 3 --size 320x240 --shot " +
                         shot + " > /dev/null")
                            .c_str()),
            0);
  Image image;
  uint32_t format = 0;
  uint8_t* palette = nullptr;
  image.pixels = VQimage_ReadFile(shot.c_str(), &image.width, &image.height, &format, &palette);
  ASSERT_NE(image.pixels, nullptr);
  ASSERT_EQ(image.width, 320u);
  ASSERT_EQ(image.height, 240u);
  double sky[3], lowSky[3], nearGround[3], farGround[3], left[3], right[3];
  image.Mean(160, 30, sky);        // above the scene: the clear colour (0.1, 0.1, 0.3)
  image.Mean(160, 215, lowSky);    // below the ground's near edge: the clear colour as well
  image.Mean(160, 158, nearGround);
  image.Mean(160, 102, farGround);
  image.Mean(70, 145, left);
  image.Mean(250, 145, right);
  for (const double* s : {sky, lowSky}) {
    EXPECT_NEAR(s[0], 26, 8);
    EXPECT_NEAR(s[1], 26, 8);
    EXPECT_NEAR(s[2], 77, 8);
  }
  // The ground is there: green grows with depth in its vertex colours.
  EXPECT_GT(farGround[1], nearGround[1] + 40);
  EXPECT_GT(nearGround[1], sky[1]);
  // Fog (0.5, 0.6, 0.7 from 50 to 400) lightens the far ground towards its colour: the
  // channel the vertex colours leave alone in the middle column grows with distance.
  EXPECT_GT(farGround[0] + farGround[2], nearGround[0] + nearGround[2] + 30);
  // The other vertex-colour gradient runs across: left and right differ by far more than
  // lighting or fog would make them.
  EXPECT_GT(right[0] + right[2], left[0] + left[2] + 60);
  fs::remove_all(dir);
}
