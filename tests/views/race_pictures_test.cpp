// Pictures of a race on a generated track through both display devices (OpenGL and the
// Direct3D-shaped one, headless): the HUD's texts and the map image with the cars' marks, the
// shadow quads on the ground under the cars, the rain streaks of a wet weather and the fog of a
// foggy one. Each is checked by rendering the same race frame with and without it.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "QVX/race/RaceDisplay.h"
#include "QVX/race/Simulation.h"
#include "QVX/race/WeatherEffects.h"
#include "tests/race/race_world.h"
#include "Zentri/devices/display/direct3d/VQD3DDisplayDevice.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/devices/VQDevice.h"
#include "Zentri/resources/VQPixmap.h"
#include "Zentri/scene/VQNodes.h"

using namespace racetest;

namespace {

constexpr uint32_t kW = 640, kH = 480;
constexpr int32_t kMapSize = 96, kMapMargin = 8;  // the HUD map square in the lower right

struct Picture {
  uint32_t w = 0, h = 0;
  std::vector<float> rgb;  // row 0 at the bottom
  float Luma(uint32_t x, uint32_t y) const {
    const float* p = &rgb[(size_t(y) * w + x) * 3];
    return 0.3f * p[0] + 0.59f * p[1] + 0.11f * p[2];
  }
  // Pixels of the rectangle that are darker (sign -1) or lighter (+1) than in the other picture
  // by more than 0.04, as a share of the rectangle.
  float Changed(const Picture& o, int sign, uint32_t x0, uint32_t y0, uint32_t x1,
                uint32_t y1) const {
    uint32_t n = 0, d = 0;
    for (uint32_t y = y0; y < y1; ++y)
      for (uint32_t x = x0; x < x1; ++x, ++n)
        d += float(sign) * (Luma(x, y) - o.Luma(x, y)) > 0.04f;
    return n ? float(d) / float(n) : 0.0f;
  }
  // Mean colour, in this picture and in the other, of the rectangle's pixels that changed by
  // more than 0.04 of luma (sign 0: either way; -1 darker; +1 lighter here).
  struct Change {
    uint32_t count = 0;
    float here[3] = {}, there[3] = {};
    float Spread(const float* c) const {
      return std::fmax(c[0], std::fmax(c[1], c[2])) - std::fmin(c[0], std::fmin(c[1], c[2]));
    }
    float Luma(const float* c) const { return 0.3f * c[0] + 0.59f * c[1] + 0.11f * c[2]; }
  };
  Change Changes(const Picture& o, int sign, uint32_t x0, uint32_t y0, uint32_t x1,
                 uint32_t y1) const {
    Change c;
    for (uint32_t y = y0; y < y1; ++y)
      for (uint32_t x = x0; x < x1; ++x) {
        const float d = Luma(x, y) - o.Luma(x, y);
        if (!(sign == 0 ? std::fabs(d) > 0.04f : float(sign) * d > 0.04f)) continue;
        ++c.count;
        for (int k = 0; k < 3; ++k) {
          c.here[k] += rgb[(size_t(y) * w + x) * 3 + k];
          c.there[k] += o.rgb[(size_t(y) * w + x) * 3 + k];
        }
      }
    for (int k = 0; k < 3 && c.count; ++k) c.here[k] /= float(c.count), c.there[k] /= float(c.count);
    return c;
  }
  float Differs(const Picture& o, uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) const {
    return Changed(o, 1, x0, y0, x1, y1) + Changed(o, -1, x0, y0, x1, y1);
  }
  // Share of the rectangle's pixels brighter than a level.
  float Bright(float level, uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) const {
    uint32_t n = 0, d = 0;
    for (uint32_t y = y0; y < y1; ++y)
      for (uint32_t x = x0; x < x1; ++x, ++n) d += Luma(x, y) > level;
    return n ? float(d) / float(n) : 0.0f;
  }
  // For looking at a picture while a test is written: QVX_PICTURES names a folder.
  void Dump(const std::string& name) const {
    const char* dir = std::getenv("QVX_PICTURES");
    if (!dir || rgb.empty()) return;
    FILE* f = std::fopen((std::string(dir) + "/" + name + ".ppm").c_str(), "wb");
    if (!f) return;
    std::fprintf(f, "P6 %u %u 255\n", w, h);
    for (uint32_t y = h; y-- > 0;)
      for (uint32_t x = 0; x < w; ++x)
        for (int k = 0; k < 3; ++k)
          std::fputc(
              int(std::fmin(1.0f, std::fmax(0.0f, rgb[(size_t(y) * w + x) * 3 + k])) * 255.0f), f);
    std::fclose(f);
  }
};

class RacePictures : public RaceWorld, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    RaceWorld::SetUp();
    device_ = static_cast<VQDisplayDevice*>(g_VQsystem.GetDevice(GetParam(), 0));
    ASSERT_NE(device_, nullptr);
    // The Direct3D-shaped device takes the adapter's hardware, transformed and lit or not.
    const uint32_t flags = GetParam() == VQDEVICE_D3D_DISPLAY
                               ? VQD3D_ALLOW_HARDWARE | VQD3D_ALLOW_TNL | VQD3D_ALLOW_NON_TNL
                               : 0;
    ASSERT_TRUE(device_->Open(flags));
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
  // A race of four game cars on the grid, or a few seconds after the green light.
  void Race(const std::string& track, const std::string& weather, float seconds) {
    display_.Release();
    race_.reset();
    race_ = std::make_unique<RaceSession>();
    RaceSessionConfig c = Config(track, 1, 5);
    c.weather = weather;
    c.carClass = "junior_std";
    c.display = device_;
    c.detail = TRACK_DETAIL_LOW;
    ASSERT_TRUE(race_->Load(c)) << race_->m_error;
    for (const AIParameters& p : TrackDrivers(track, 4)) ASSERT_TRUE(race_->AddComputer(p));
    ASSERT_TRUE(race_->Start());
    while (race_->RaceTime() < seconds) race_->Frame();
  }
  Picture Shot(bool hud, bool shadows, bool weather, const char* name) {
    RaceDisplayOptions o;
    o.hud = o.map = hud;
    o.shadows = shadows;
    o.weather = weather;
    o.flyIn = false;
    o.fontFolder = DataDir() + "/Maps_high";
    Picture pic;
    EXPECT_TRUE(display_.Init(race_.get(), canvas_, o)) << display_.m_error;
    display_.Update(SIMULATION_DEFAULT_STEP);
    shadows_ = display_.ShadowCount();
    g_VQsystem.RenderDisplays();
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
    pic.Dump(std::string(GetParam() == VQDEVICE_OPENGL_DISPLAY ? "gl_" : "d3d_") + name);
    return pic;
  }

  VQDisplayDevice* device_ = nullptr;
  VQCanvas* canvas_ = nullptr;
  std::unique_ptr<RaceSession> race_;
  RaceDisplay display_;
  uint32_t shadows_ = 0;  // of the last shot
};

TEST_P(RacePictures, HudTextsAndTheMapImageWithTheCarsMarks) {
  Race("harbour", "sunny", 3.0f);
  const Picture plain = Shot(false, false, false, "plain");
  const Picture hud = Shot(true, false, false, "hud");
  ASSERT_EQ(hud.w, kW);
  // The times and the position in the upper right corner.
  EXPECT_GT(hud.Differs(plain, kW - 160, kH - 120, kW, kH), 0.01f);
  // The map square: the light line of the track and the dark square around it.
  const uint32_t mx = kW - kMapSize - kMapMargin, my = kMapMargin;
  EXPECT_GT(hud.Bright(0.85f, mx, my, mx + kMapSize, my + kMapSize), 0.03f);
  EXPECT_GT(hud.Changed(plain, -1, mx, my, mx + kMapSize, my + kMapSize), 0.3f);
  // The middle of the picture stays the scene.
  EXPECT_LT(hud.Differs(plain, 200, 150, 440, 330), 0.01f);
}

// The shadow quads lie on the ground under the cars on the grid, where the view looks down on
// them: the lower half of the picture changes, the sky does not.
TEST_P(RacePictures, ShadowsLieOnTheGroundUnderTheCars) {
  Race("desert", "sunny", 0.0f);
  for (int i = 0; i < 60; ++i) race_->Frame();  // the cars settle on the grid
  const Picture off = Shot(false, false, false, "noshadow");
  const Picture on = Shot(false, true, false, "shadow");
  EXPECT_EQ(shadows_, 4u);
  EXPECT_GT(on.Differs(off, 0, 0, kW, kH / 2), 0.01f);
  EXPECT_LT(on.Differs(off, 0, kH - 60, kW, kH), 0.001f);
  // The see-through dark quad darkens the ground and keeps its colour: no pixel gets lighter,
  // the darkened ones stay as grey as the road was and lose a good part of their light.
  EXPECT_GT(on.Changed(off, -1, 0, 0, kW, kH / 2), 0.01f);
  EXPECT_LT(on.Changed(off, +1, 0, 0, kW, kH / 2), 0.001f);
  const Picture::Change dark = on.Changes(off, -1, 0, 0, kW, kH / 2);
  ASSERT_GT(dark.count, 0u);
  EXPECT_LT(dark.Spread(dark.here), dark.Spread(dark.there) + 0.05f);
  EXPECT_LT(dark.Luma(dark.here), 0.85f * dark.Luma(dark.there));
  EXPECT_GT(dark.Luma(dark.here), 0.2f * dark.Luma(dark.there)) << "see-through, not black";
}

// The cars on the grid wear their paint texture through both devices: the body of the car ahead
// is the texture's red, with the texture's checks (neighbouring pixels of different light),
// where an untextured body would be the flat white of the material under the texture.
TEST_P(RacePictures, CarsWearTheirPaintTexture) {
  Race("desert", "sunny", 0.0f);
  for (int i = 0; i < 60; ++i) race_->Frame();
  const Picture pic = Shot(false, false, false, "cars");
  constexpr uint32_t x0 = 290, y0 = 160, x1 = 360, y1 = 210;  // the body of the car ahead
  float mean[3] = {};
  uint32_t n = 0, edges = 0, pairs = 0;
  for (uint32_t y = y0; y < y1; ++y)
    for (uint32_t x = x0; x < x1; ++x, ++n) {
      for (int k = 0; k < 3; ++k) mean[k] += pic.rgb[(size_t(y) * pic.w + x) * 3 + k];
      if (x + 1 < x1) {
        ++pairs;
        edges += std::fabs(pic.Luma(x + 1, y) - pic.Luma(x, y)) > 0.03f;
      }
    }
  for (float& m : mean) m /= float(n);
  EXPECT_GT(mean[0] - mean[1], 0.2f) << "red paint";
  EXPECT_GT(mean[0] - mean[2], 0.2f) << "red paint";
  EXPECT_GT(float(edges) / float(pairs), 0.05f) << "the texture's checks";
}

// The track's materials draw their textures through both devices: the road beside the car
// ahead shows its texture's checks and noise in the texture's grey, the ground beyond the kerb
// the track's sand with its checks (an untextured flat piece of track is one smooth lit colour),
// and the sky glows in the weather's light blue on both devices.
TEST_P(RacePictures, TrackWearsItsTextures) {
  Race("desert", "sunny", 0.0f);
  for (int i = 0; i < 60; ++i) race_->Frame();
  const Picture pic = Shot(false, false, false, "track");
  struct Look {
    float mean[3] = {};
    float spread = 0.0f;  // standard deviation of the luma
  };
  auto look = [&](uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) {
    Look l;
    double sum = 0.0, squares = 0.0;
    const double n = double(x1 - x0) * double(y1 - y0);
    for (uint32_t y = y0; y < y1; ++y)
      for (uint32_t x = x0; x < x1; ++x) {
        for (int k = 0; k < 3; ++k) l.mean[k] += pic.rgb[(size_t(y) * pic.w + x) * 3 + k] / float(n);
        sum += pic.Luma(x, y);
        squares += double(pic.Luma(x, y)) * pic.Luma(x, y);
      }
    l.spread = float(std::sqrt(std::fmax(0.0, squares / n - (sum / n) * (sum / n))));
    return l;
  };
  const Look road = look(450, 20, 620, 120);
  EXPECT_GT(road.spread, 0.02f) << "the road texture's checks";
  EXPECT_LT(std::fabs(road.mean[0] - road.mean[2]), 0.08f) << "grey road";
  EXPECT_GT(road.mean[1], 0.3f);
  const Look ground = look(0, 180, 80, 230);
  EXPECT_GT(ground.spread, 0.02f) << "the ground texture's checks";
  EXPECT_GT(ground.mean[0], ground.mean[2] + 0.15f) << "desert sand";
  const Look sky = look(100, kH - 30, kW, kH);
  EXPECT_GT(sky.mean[2], sky.mean[0] + 0.2f) << "blue sky";
  EXPECT_GT(sky.mean[2], 0.7f) << "a light sky";
}

TEST_P(RacePictures, RainStreaksInAWetWeatherOnly) {
  Race("forest", "thunderstorm", 3.0f);
  const Picture dry = Shot(false, false, false, "norain");
  const Picture wet = Shot(false, false, true, "rain");
  EXPECT_GT(wet.Differs(dry, 0, 0, kW, kH), 0.01f);
  // The streaks are the rain's light grey, see-through: where they lie the dark stormy picture
  // gets a little lighter and stays grey (neither a colour nor white).
  EXPECT_GT(wet.Changed(dry, +1, 0, 0, kW, kH), wet.Changed(dry, -1, 0, 0, kW, kH));
  const Picture::Change streaks = wet.Changes(dry, 0, 0, 0, kW, kH);
  ASSERT_GT(streaks.count, 0u);
  EXPECT_LT(streaks.Spread(streaks.here), 0.15f);
  EXPECT_GT(streaks.Luma(streaks.here), streaks.Luma(streaks.there));
  EXPECT_LT(streaks.Luma(streaks.here), streaks.Luma(streaks.there) + 0.25f);
  Race("forest", "sunny", 3.0f);
  const Picture a = Shot(false, false, false, "sunny");
  const Picture b = Shot(false, false, true, "sunnyweather");
  EXPECT_LT(b.Differs(a, 0, 0, kW, kH), 0.001f);
}

// On a split screen each view's rain scrolls by its own state: after n rendered frames both
// have fallen n steps (no view takes the other's steps).
TEST_P(RacePictures, SplitScreenViewsScrollTheirOwnRain) {
  Race("forest", "thunderstorm", 3.0f);
  RaceDisplayOptions o;
  o.views = 2;
  o.hud = o.map = o.shadows = false;
  o.flyIn = false;
  ASSERT_TRUE(display_.Init(race_.get(), canvas_, o)) << display_.m_error;
  WeatherEffects* weather = display_.Weather();
  ASSERT_NE(weather, nullptr);
  ASSERT_NE(weather->m_rain, nullptr);
  const float step = SIMULATION_DEFAULT_STEP;
  constexpr int kFrames = 12;
  for (int i = 0; i < kFrames; ++i) {
    display_.Update(step);
    g_VQsystem.RenderDisplays();
  }
  float expected = -float(kFrames) * step * weather->m_rain->m_fallSpeed;
  while (expected < -1.0f) expected += 2.0f;
  ASSERT_LT(expected, -1e-3f);
  for (uint32_t v = 0; v < 2; ++v)
    EXPECT_NEAR(weather->m_scroll[v].offset.z, expected, 1e-4f) << "view " << v;
  display_.Release();
}

TEST_P(RacePictures, FogGreysTheDistanceInAFoggyWeather) {
  Race("city", "sunny", 3.0f);
  const Picture clear = Shot(false, false, false, "clear");
  Race("city", "evening", 3.0f);
  ASSERT_NE(race_->GetTrack().m_fog, nullptr);
  const Picture foggy = Shot(false, false, false, "foggy");
  EXPECT_GT(foggy.Differs(clear, 0, kH / 2, kW, kH), 0.2f);
}

INSTANTIATE_TEST_SUITE_P(Devices, RacePictures,
                         ::testing::Values(int(VQDEVICE_OPENGL_DISPLAY), int(VQDEVICE_D3D_DISPLAY)),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return std::string(i.param == VQDEVICE_OPENGL_DISPLAY ? "OpenGL"
                                                                                 : "Direct3D");
                         });

}  // namespace
