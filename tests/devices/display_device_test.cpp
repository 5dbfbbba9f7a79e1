#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/devices/display/VQSoftwareDisplayDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/util/VQerror.h"

namespace {

// A display device that supplies only what every driver must; the rest is the base behaviour.
class BareDisplay : public VQDisplayDevice {
 public:
  BareDisplay() : VQDisplayDevice(VQDEVICE_OPENGL_DISPLAY) {}
  bool Init() override { return true; }
  bool Open(uint32_t) override { return true; }
  void Close() override {}
  const char* GetName() override { return "bare"; }
  void RenderAll() override {}
  void PresentAll() override {}
  void DestroyCanvas(VQCanvas* c, int destroyWindow) override { destroyed.push_back({c, destroyWindow}); }
  void ApplyState() override { ++applied; }
  void CloseNow() { CloseDisplay(); }
  int applied = 0;
  std::vector<std::pair<VQCanvas*, int>> destroyed;
};

VQCanvas* FakeCanvas(uintptr_t i) { return reinterpret_cast<VQCanvas*>(0x1000 + i * 16); }

TEST(DisplayDevice, ConstructedWithDefaultSampling) {
  BareDisplay d;
  EXPECT_EQ(d.m_minFilter, 1u);
  EXPECT_EQ(d.m_magFilter, 2u);
  EXPECT_EQ(d.m_wrapU, 2u);
  EXPECT_EQ(d.m_wrapV, 2u);
  EXPECT_EQ(d.m_canvasCount, 0u);
  EXPECT_EQ(d.m_material, nullptr);
  EXPECT_EQ(d.m_textureManager, nullptr);
  d.SetTextureMinFilter(0);
  d.SetTextureMagFilter(1);
  EXPECT_EQ(d.m_minFilter, 1u);
  EXPECT_EQ(d.m_magFilter, 1u);
}

TEST(DisplayDevice, CanvasListHoldsSixtyFour) {
  BareDisplay d;
  for (uintptr_t i = 0; i < VQDISPLAY_MAX_CANVASES; ++i) ASSERT_TRUE(d.AddCanvas(FakeCanvas(i)));
  g_VQerror = 0;
  EXPECT_FALSE(d.AddCanvas(FakeCanvas(99)));
  EXPECT_EQ(g_VQerror, VQERR_TOO_MANY_CANVASES);
  EXPECT_EQ(d.CreateCanvas(0, 0, 64, 64, 32, 0), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_TOO_MANY_CANVASES);
  EXPECT_EQ(d.m_canvasCount, 64u);
  // Removing from the middle keeps the order; the last goes directly; an absent one fails.
  EXPECT_TRUE(d.RemoveCanvas(FakeCanvas(10)));
  EXPECT_EQ(d.m_canvases[10], FakeCanvas(11));
  EXPECT_TRUE(d.RemoveCanvas(FakeCanvas(63)));
  EXPECT_EQ(d.m_canvasCount, 62u);
  EXPECT_FALSE(d.RemoveCanvas(FakeCanvas(10)));
}

TEST(DisplayDevice, CloseDestroysCanvasesNewestFirst) {
  BareDisplay d;
  for (uintptr_t i = 0; i < 3; ++i) d.AddCanvas(FakeCanvas(i));
  d.m_initialised = 1;
  d.CloseNow();
  const std::vector<std::pair<VQCanvas*, int>> want = {{FakeCanvas(2), 1}, {FakeCanvas(1), 1}, {FakeCanvas(0), 1}};
  EXPECT_EQ(d.destroyed, want);
  EXPECT_EQ(d.m_canvasCount, 0u);
  EXPECT_EQ(d.m_initialised, 0);
}

TEST(DisplayDevice, MaterialAndLightingApplyState) {
  BareDisplay d;
  d.SetMaterial(nullptr);
  d.SetLighting(nullptr);
  EXPECT_EQ(d.applied, 2);
  EXPECT_EQ(d.m_lighting, nullptr);
}

TEST(DisplayDevice, BaseBehaviourAnswersNeutrally) {
  BareDisplay d;
  EXPECT_FALSE(d.GetRenderFlag(VQRENDER_BLENDING));
  EXPECT_EQ(d.PackColourF(1, 0, 0, 1), 0u);
  EXPECT_EQ(d.GetPixmapFormatFor(7), 7u);
  g_VQerror = 0;
  EXPECT_EQ(d.CopyPixmap(nullptr), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  uint32_t count = 5;
  VQDisplayMode* modes = reinterpret_cast<VQDisplayMode*>(1);
  d.GetModes(&count, &modes);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(modes, nullptr);
  // Colour words: red in the low byte, alpha in the high byte; channels clamp.
  EXPECT_EQ(VQcolour_Pack(1.0f, 0.0f, 0.0f, 1.0f), 0xFF0000FFu);
  EXPECT_EQ(VQcolour_Pack(0.5f, 2.0f, -1.0f, 0.0f), 0x0000FF7Fu);
}

TEST(SoftwareDisplay, GetterOpenAndClose) {
  g_VQsystem.Init();
  VQDevice* d = g_VQsystem.GetDevice(VQDEVICE_SOFTWARE_DISPLAY, 0);
  ASSERT_NE(d, nullptr);
  auto* sd = static_cast<VQSoftwareDisplayDevice*>(d);
  const uint32_t displays = g_VQsystem.m_displayCount;
  ASSERT_TRUE(sd->Open(7));
  EXPECT_EQ(sd->m_openParameter, 7u);
  EXPECT_TRUE(sd->Open(7));  // already open: nothing
  EXPECT_EQ(g_VQsystem.m_displayCount, displays + 1);
  EXPECT_NE(sd->m_textureManager, nullptr);
  EXPECT_EQ(sd->m_textureManager->m_device, sd);
  EXPECT_EQ(sd->m_pixmapManager->m_device, sd);
  EXPECT_EQ(g_VQsystem.GetDevice(VQDEVICE_SOFTWARE_DISPLAY, 0), d);
  g_VQerror = 0;
  EXPECT_EQ(g_VQsystem.GetDevice(VQDEVICE_SOFTWARE_DISPLAY, 1), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_DEVICE_UNAVAILABLE);
  sd->Close();
  EXPECT_EQ(sd->m_initialised, 0);
  EXPECT_EQ(sd->m_textureManager, nullptr);
  EXPECT_EQ(g_VQsystem.m_displayCount, displays);
  g_VQsystem.Shutdown();
  // Without an initialised system object the registration is refused and Open undoes itself.
  VQSoftwareDisplayDevice other(2);
  g_VQerror = 0;
  EXPECT_FALSE(other.Open(0));
  EXPECT_EQ(g_VQerror, VQERR_NOT_OPEN);
  EXPECT_EQ(other.m_textureManager, nullptr);
  EXPECT_EQ(other.m_initialised, 0);
}

TEST(SoftwareDisplay, PixelReadsOfPixmaps) {
  VQSoftwareDisplayDevice d(3);
  VQPixmap* p = d.CreatePixmap(1, 1, VQPF_XBGR8888);
  ASSERT_NE(p, nullptr);
  uint8_t* px = static_cast<uint8_t*>(p->Lock(nullptr));
  px[0] = 9;     // unused byte
  px[3] = 255;   // red
  float rgba[4];
  p->GetPixel(rgba, 0, 0);
  EXPECT_FLOAT_EQ(rgba[0], 1.0f);
  EXPECT_FLOAT_EQ(rgba[3], 1.0f);
  p->GetPixel(rgba, 3, 3);  // outside
  EXPECT_FLOAT_EQ(rgba[0], 0.0f);
  EXPECT_FLOAT_EQ(rgba[3], 1.0f);
  d.DeletePixmap(p);
  EXPECT_EQ(d.m_livePixmaps, 0u);
  g_VQerror = 0;
  EXPECT_EQ(d.CreatePixmap(2, 2, 0), nullptr);
  EXPECT_EQ(g_VQerror, VQERR_INVALID_ARGUMENT);
  EXPECT_EQ(d.m_livePixmaps, 0u);
}

}  // namespace
