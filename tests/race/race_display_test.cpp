// Pictures of a race on a generated track through the OpenGL display device (headless): one
// view and the split screen, the HUD's texts and map, and fog in a foggy weather, each checked
// by rendering the same race frame with and without it; the cars' shadows and the rain streaks
// of a wet weather as the display builds them.
#include <cmath>

#include "QVX/race/RaceDisplay.h"
#include "QVX/race/Simulation.h"
#include "tests/race/race_world.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/devices/VQDevice.h"
#include "Zentri/resources/VQPixmap.h"
#include "Zentri/scene/VQNodes.h"

using namespace racetest;

namespace {

constexpr uint32_t kW = 640, kH = 480;

struct Picture {
  uint32_t w = 0, h = 0;
  std::vector<float> rgb;  // row 0 at the bottom
  float Luma(uint32_t x, uint32_t y) const {
    const float* p = &rgb[(size_t(y) * w + x) * 3];
    return 0.3f * p[0] + 0.59f * p[1] + 0.11f * p[2];
  }
  // Share of pixels of the rectangle that differ from the other picture by more than 0.05.
  float Differs(const Picture& o, uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) const {
    uint32_t n = 0, d = 0;
    for (uint32_t y = y0; y < y1; ++y)
      for (uint32_t x = x0; x < x1; ++x, ++n) d += std::fabs(Luma(x, y) - o.Luma(x, y)) > 0.05f;
    return n ? float(d) / float(n) : 0.0f;
  }
  float Mean(uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) const {
    double sum = 0.0;
    uint32_t n = 0;
    for (uint32_t y = y0; y < y1; ++y)
      for (uint32_t x = x0; x < x1; ++x, ++n) sum += Luma(x, y);
    return n ? float(sum / n) : 0.0f;
  }
};

class RaceDisplayTest : public RaceWorld {
 protected:
  void SetUp() override {
    RaceWorld::SetUp();
    device_ = static_cast<VQDisplayDevice*>(g_VQsystem.GetDevice(VQDEVICE_OPENGL_DISPLAY, 0));
    ASSERT_NE(device_, nullptr);
    ASSERT_TRUE(device_->Open(0));
    canvas_ = device_->CreateCanvas(2, 0, kW, kH, 0, 0);
    ASSERT_NE(canvas_, nullptr);
    canvas_->Show(true);
  }
  void TearDown() override {
    display_.Release();
    race_.reset();
    if (device_) device_->Close();
    RaceWorld::TearDown();
  }
  // A race of four game cars a few seconds after the green light.
  void Race(const std::string& track, const std::string& weather) {
    race_ = std::make_unique<RaceSession>();
    RaceSessionConfig c = Config(track, 1, 5);
    c.weather = weather;
    c.carClass = "junior_std";
    c.display = device_;
    c.detail = TRACK_DETAIL_LOW;
    ASSERT_TRUE(race_->Load(c)) << race_->m_error;
    for (const AIParameters& p : TrackDrivers(track, 4)) ASSERT_TRUE(race_->AddComputer(p));
    ASSERT_TRUE(race_->Start());
    while (race_->RaceTime() < 3.0f) race_->Frame();
  }
  Picture Shot(const RaceDisplayOptions& o) {
    EXPECT_TRUE(display_.Init(race_.get(), canvas_, o)) << display_.m_error;
    display_.Update(SIMULATION_DEFAULT_STEP);
    shadows_ = display_.ShadowCount();
    rain_ = display_.HasRain();
    g_VQsystem.RenderDisplays();
    Picture pic;
    VQPixmap* p = canvas_->GrabRect(0, 0, int32_t(kW), int32_t(kH));
    EXPECT_NE(p, nullptr);
    if (p) {
      pic.w = p->m_width, pic.h = p->m_height;
      pic.rgb.resize(size_t(pic.w) * pic.h * 3);
      float rgba[4];
      for (uint32_t y = 0; y < pic.h; ++y)
        for (uint32_t x = 0; x < pic.w; ++x) {
          p->GetPixel(rgba, x, y);
          for (int k = 0; k < 3; ++k) pic.rgb[(size_t(y) * pic.w + x) * 3 + k] = rgba[k];
        }
      device_->DeletePixmap(p);
    }
    display_.Release();
    return pic;
  }
  static RaceDisplayOptions Options(uint32_t views, bool hud, bool shadows, bool weather) {
    RaceDisplayOptions o;
    o.views = views;
    o.hud = hud;
    o.map = hud;
    o.shadows = shadows;
    o.weather = weather;
    o.fontFolder = DataDir() + "/Maps_high";
    return o;
  }

  VQDisplayDevice* device_ = nullptr;
  VQCanvas* canvas_ = nullptr;
  std::unique_ptr<RaceSession> race_;
  RaceDisplay display_;
  uint32_t shadows_ = 0;  // of the last shot
  bool rain_ = false;
};

TEST_F(RaceDisplayTest, OneViewShowsTheTrackTheHudAndTheMap) {
  Race("harbour", "sunny");
  const Picture plain = Shot(Options(1, false, true, true));
  const Picture hud = Shot(Options(1, true, true, true));
  ASSERT_EQ(hud.w, kW);
  // The scene: not one flat colour.
  float lo = 1.0f, hi = 0.0f;
  for (uint32_t y = 0; y < kH; y += 8)
    for (uint32_t x = 0; x < kW; x += 8)
      lo = std::fmin(lo, plain.Luma(x, y)), hi = std::fmax(hi, plain.Luma(x, y));
  EXPECT_GT(hi - lo, 0.2f);
  // HUD texts in the upper corners (lap time, position) and the map in the lower right.
  EXPECT_GT(hud.Differs(plain, kW - 160, kH - 120, kW, kH), 0.002f);
  EXPECT_GT(hud.Differs(plain, kW - 110, 0, kW, 110), 0.002f);
  // Nothing else is touched: the middle of the picture is the same.
  EXPECT_LT(hud.Differs(plain, 200, 150, 440, 330), 0.01f);
}

TEST_F(RaceDisplayTest, SplitScreenShowsTwoViewsThatCoverEveryRow) {
  Race("city", "sunny");
  const Picture one = Shot(Options(1, false, false, false));
  const Picture two = Shot(Options(2, true, false, false));
  // The two views follow different cars: both halves show something else than one view.
  EXPECT_GT(two.Differs(one, 0, 0, kW, kH / 2 - 1), 0.1f);
  EXPECT_GT(two.Differs(one, 0, kH / 2 + 1, kW, kH), 0.1f);
  HudRect a, b;
  Hud_SplitRects(kW, kH + 1, &a, &b);
  EXPECT_EQ(uint32_t(a.height + b.height), kH + 1);
  EXPECT_EQ(a.y, b.y + b.height);
}

// Every car gets a shadow under the track's sun; a track without a sun light leaves them off.
TEST_F(RaceDisplayTest, EveryCarGetsAShadowUnderTheSun) {
  Race("desert", "sunny");
  ASSERT_NE(race_->GetTrack().m_sun, nullptr);
  Shot(Options(1, false, true, false));
  EXPECT_EQ(shadows_, 4u);
  // The shadow meshes go back into the cars afterwards.
  EXPECT_NE(race_->GetCarRoot(0)->FindByName("m_shadow"), nullptr);
  race_->GetTrack().m_sun = nullptr;
  Shot(Options(1, false, true, false));
  EXPECT_EQ(shadows_, 0u);
}

// The wet weather brings the rain streaks into the scene; the dry one none.
TEST_F(RaceDisplayTest, RainComesWithTheWetWeatherOnly) {
  Race("forest", "showers");
  EXPECT_TRUE(race_->GetTrack().m_rainConfig != nullptr);
  Shot(Options(1, false, false, true));
  EXPECT_TRUE(rain_);
  Shot(Options(1, false, false, false));
  EXPECT_FALSE(rain_);
  race_.reset();
  Race("forest", "sunny");
  Shot(Options(1, false, false, true));
  EXPECT_FALSE(rain_);
}

TEST_F(RaceDisplayTest, FogGreysTheDistanceInAFoggyWeather) {
  Race("city", "sunny");
  const Picture clear = Shot(Options(1, false, false, false));
  race_.reset();
  Race("city", "evening");
  ASSERT_NE(race_->GetTrack().m_fog, nullptr);
  EXPECT_TRUE(race_->GetTrack().m_fog->m_enabled);
  const Picture foggy = Shot(Options(1, false, false, false));
  // The distance (the upper middle of the view) is another colour than in clear weather.
  EXPECT_GT(foggy.Differs(clear, 0, kH / 2, kW, kH), 0.2f);
}

}  // namespace
