// The player view's HUD: element placement in both layouts, HUD modes, the split screen of any
// height, the texts (times, records, positions, gaps, mode text), the message and its expiry,
// name tags and standings for fields of up to 32 cars, all drawn through a recording painter.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "QVX/race/PlayerView.h"

namespace {

// Every text is 10 pixels a character and 12 high; images are 100 x 16.
struct Drawn {
  std::string what;
  int32_t x, y, w;
};
class RecordingPainter : public HudPainter {
 public:
  void MeasureText(VQFont*, const char* text, int32_t* w, int32_t* h) override {
    *w = int32_t(std::strlen(text)) * 10;
    *h = 12;
  }
  void DrawText(VQFont*, int32_t x, int32_t y, const char* text) override {
    drawn.push_back({text, x, y, 0});
  }
  void DrawTextInRect(VQFont*, const char* text, int32_t x, int32_t y, int32_t w,
                      int32_t) override {
    drawn.push_back({text, x, y, w});
  }
  void DrawTextAtPoint(VQFont*, const VQVector& p, const char* text) override {
    drawn.push_back({text, int32_t(p.x), int32_t(p.y), 0});
  }
  void SetTabStops(VQFont*, const uint32_t*, uint32_t) override {}
  void ImageSize(const VQImageRef*, int32_t* w, int32_t* h) override { *w = 100, *h = 16; }
  void DrawImage(const VQImageRef*, int32_t x, int32_t y, int32_t w) override {
    drawn.push_back({"<image>", x, y, w});
  }
  const Drawn* Find(const std::string& text) const {
    for (const auto& d : drawn)
      if (d.what == text) return &d;
    return nullptr;
  }
  std::vector<Drawn> drawn;
};

VQFont* Fake(int n) { return reinterpret_cast<VQFont*>(uintptr_t(0x1000 * n)); }
HudFonts Fonts() {
  HudFonts f;
  f.a = Fake(1), f.b = Fake(2), f.own = Fake(3), f.ahead = Fake(4), f.behind = Fake(5),
  f.countdown = Fake(6), f.menu = Fake(7);
  return f;
}

TEST(HudPlacement, AnchorsMeasureFromTheirEdgesInsideTheViewport) {
  const HudRect view{10, 20, 640, 480};
  struct Case {
    HudElement e;
    int32_t x, y;
  } cases[] = {
      {{1, 0, 2, 5, 10}, 10 + 5, 20 + 480 - 10 - 12},
      {{1, 1, 3, 5, 15}, 10 + 640 - 5 - 40, 20 + 15},
      {{1, 4, 4, 0, 7}, 10 + 300, 20 + 234 + 7},
      {{1, 1, 2, -50, 24}, 10 + 640 + 50 - 40, 20 + 480 - 24 - 12},
  };
  for (const Case& c : cases) {
    int32_t x, y;
    Hud_Place(c.e, 40, 12, view, &x, &y);
    EXPECT_EQ(x, c.x);
    EXPECT_EQ(y, c.y);
  }
}

TEST(HudPlacement, SplitScreenCoversEveryRowOnceForAnyHeight) {
  for (uint32_t h : {480u, 481u, 1u, 2u, 767u}) {
    HudRect up, low;
    Hud_SplitRects(640, h, &up, &low);
    EXPECT_EQ(low.y, 0);
    EXPECT_EQ(up.y, low.y + low.height) << h;      // no gap, no overlap
    EXPECT_EQ(up.y + up.height, int32_t(h)) << h;  // up to the top row
    EXPECT_GE(up.height, 0);
  }
  EXPECT_EQ(Hud_SizeClass(640), 0u);
  EXPECT_EQ(Hud_SizeClass(641), 1u);
  EXPECT_EQ(Hud_SizeClass(1024), 2u);
}

TEST(HudLayout, LayoutsAndModesChooseTheElements) {
  PlayerView v;
  v.Layout(false, 0);
  EXPECT_EQ(v.m_elements[HUD_TRACK_MAP].visible, 0);  // no map
  EXPECT_EQ(v.m_elements[HUD_FRAME_RATE].x, 240);
  v.Layout(false, 0, true, 33, 44);
  EXPECT_EQ(v.m_elements[HUD_TRACK_MAP].x, 33);
  EXPECT_EQ(v.m_elements[HUD_TRACK_MAP].visible, 1);
  PlayerView first, second;
  first.Layout(true, 0);
  second.Layout(true, 1);
  EXPECT_EQ(first.m_elements[HUD_RACE_INFO].visible, 0);
  EXPECT_EQ(first.m_elements[HUD_FRAME_RATE].visible, 0);  // not written
  EXPECT_EQ(second.m_elements[HUD_FRAME_RATE].horizontal, HUD_CENTRE);
  EXPECT_EQ(second.m_elements[HUD_FRAME_RATE].y, 80);
  EXPECT_EQ(second.m_elements[HUD_MESSAGE].y, 160);

  const std::string expected[] = {"1111111111111111111", "1111111111111001100",
                                  "1111111111111001101", "0011111111001011111",
                                  "0000000000000000001", "0000000000000000000"};
  for (uint32_t mode = 0; mode < 6; ++mode) {
    v.SetHudMode(mode);
    std::string got;
    for (const auto& e : v.m_elements) got += char('0' + e.visible);
    EXPECT_EQ(got, expected[mode]) << mode;
  }
}

TEST(HudTexts, TimesRecordsPositionsAndGaps) {
  char t[32];
  EXPECT_STREQ(Hud_FormatLapTime(59.996f, t, sizeof t), "1:00:00");
  EXPECT_STREQ(Hud_FormatLapTime(600.0f, t, sizeof t), "10:00:00");
  EXPECT_STREQ(Hud_FormatLapTime(83.456f, t, sizeof t), "1:23:46");
  EXPECT_STREQ(Hud_FormatLapTime(-3.0f, t, sizeof t), "0:00:00");
  EXPECT_STREQ(Hud_FormatRecord(100.0f, t, sizeof t), "--:--:--");
  EXPECT_STREQ(Hud_FormatRecord(83.459f, t, sizeof t), "1:23:45");
  EXPECT_STREQ(Hud_FormatTimeLeft(3, 200.0f, t, sizeof t), "00:00");
  EXPECT_STREQ(Hud_FormatTimeLeft(3, 59.5f, t, sizeof t), "02:00");
  EXPECT_STREQ(Hud_GapText(-12.4f, 1000.0f, t, sizeof t), "\t-11m");
  EXPECT_STREQ(Hud_GapText(2500.0f, 1000.0f, t, sizeof t), "\t+2l");
  EXPECT_STREQ(Hud_GapText(0.0f, 0.0f, t, sizeof t), "\t+0m");  // no lap length: no division
  // Positions of a 32-car field all have a text; beyond it nothing is read.
  for (uint32_t p = 1; p <= 32; ++p)
    EXPECT_STREQ(Hud_PositionText(p, t, sizeof t), std::to_string(p).c_str());
  EXPECT_STREQ(Hud_PositionText(0, t, sizeof t), "");
  EXPECT_STREQ(Hud_PositionText(33, t, sizeof t), "");
  EXPECT_STREQ(Hud_PositionText(4000000000u, t, sizeof t), "");
  char mode[] = "Single RACE (\xBF\xBE\xB6)";
  Hud_LowerModeText(mode);
  EXPECT_STREQ(mode, "single race (\xBF\xB5\xAD)");
}

TEST(HudTexts, NameTagsOfAFullFieldAreAllOrderedFarthestFirst) {
  float d[40];
  uint32_t order[HUD_MAX_PLAYERS];
  for (uint32_t i = 0; i < 40; ++i) d[i] = float((i * 7) % 40);
  const uint32_t n = Hud_OrderNameTags(d, 40, order);
  EXPECT_EQ(n, HUD_MAX_PLAYERS);  // cut at the track's players, never past the table
  for (uint32_t i = 1; i < n; ++i) EXPECT_GE(d[order[i - 1]], d[order[i]]);
  EXPECT_TRUE(Hud_IntervalHolds(10, 20, 10));
  EXPECT_FALSE(Hud_IntervalHolds(10, 20, 20));
  EXPECT_TRUE(Hud_IntervalHolds(900, 100, 950));
  EXPECT_TRUE(Hud_IntervalHolds(900, 100, 50));
  EXPECT_FALSE(Hud_IntervalHolds(900, 100, 500));
  EXPECT_FALSE(Hud_IntervalHolds(5, 5, 5));
}

class Hud : public ::testing::Test {
 protected:
  void SetUp() override {
    view_.SetRect(0, 0, 640, 480);
    view_.Layout(false, 0);
    view_.SetHudMode(0);
    frame_.hasEntry = true;
    frame_.lapTime = 61.5f;
    frame_.lapCounter = 2;
    frame_.position = 2;
    frame_.playerCount = 3;
    frame_.lapLength = 1000.0f;
    frame_.myDistance = 2500.0f;
    frame_.own = {true, 2, 7, "Me", 2, 2500.0f};
    frame_.ahead = {true, 1, 12, "Ann", 2, 2600.0f};
    frame_.behind = {true, 3, 3, "Bo", 2, 2487.6f};
  }
  PlayerView view_;
  HudFrame frame_;
  RecordingPainter painter_;
  int bar_ = 0;
  const VQImageRef* Bar() const { return reinterpret_cast<const VQImageRef*>(&bar_); }
};

TEST_F(Hud, NothingWithoutATrackerEntry) {
  frame_.hasEntry = false;
  view_.DrawHud(painter_, frame_, Fonts(), Bar(), 0.016f);
  EXPECT_TRUE(painter_.drawn.empty());
}

TEST_F(Hud, DrawsValuesBarsAndStandingsRows) {
  view_.m_labels[1] = "LAP TIME";
  view_.DrawHud(painter_, frame_, Fonts(), Bar(), 0.016f);
  const Drawn* lap = painter_.Find("1:01:50");
  ASSERT_NE(lap, nullptr);
  EXPECT_EQ(lap->x, 640 - 5 - 70);
  EXPECT_EQ(lap->y, 480 - 50 - 12);
  ASSERT_NE(painter_.Find("LAP TIME"), nullptr);
  EXPECT_NE(painter_.Find("2"), nullptr);  // lap counter and position
  EXPECT_NE(painter_.Find("3\t03\tBo\t2\t-11m"), nullptr);
  EXPECT_NE(painter_.Find("2\t07\tMe\t2\t "), nullptr);
  EXPECT_NE(painter_.Find("1\t12\tAnn\t2\t+100m"), nullptr);
  int bars = 0;
  for (const auto& d : painter_.drawn) bars += d.what == "<image>";
  EXPECT_EQ(bars, 5);
}

TEST_F(Hud, LeaderSeesNoRowAheadAndTheLastNoRowBehind) {
  frame_.position = 1;
  view_.DrawHud(painter_, frame_, Fonts(), nullptr, 0.016f);
  EXPECT_EQ(painter_.Find("1\t12\tAnn\t2\t+100m"), nullptr);
  const Drawn* own = painter_.Find("2\t07\tMe\t2\t ");
  ASSERT_NE(own, nullptr);
  const int32_t ownY = own->y;
  painter_.drawn.clear();
  frame_.position = 3;
  view_.DrawHud(painter_, frame_, Fonts(), nullptr, 0.016f);
  EXPECT_EQ(painter_.Find("3\t03\tBo\t2\t-11m"), nullptr);
  const Drawn* own2 = painter_.Find("2\t07\tMe\t2\t ");
  ASSERT_NE(own2, nullptr);
  EXPECT_EQ(own2->y, ownY);  // the own row keeps the middle place
}

TEST_F(Hud, MessageIsCutAndExpiresAfterItsDuration) {
  std::string longText(300, 'x');
  view_.SetMessage(longText.c_str(), 2.0f, 10.0f);
  EXPECT_EQ(std::strlen(view_.m_message), 255u);
  view_.SetMessage("GO", 2.0f, 10.0f);
  for (float t : {10.5f, 12.0f}) {
    frame_.raceTime = t;
    painter_.drawn.clear();
    view_.DrawHud(painter_, frame_, Fonts(), nullptr, 0.016f);
    EXPECT_NE(painter_.Find("GO"), nullptr) << t;
  }
  frame_.raceTime = 12.01f;
  painter_.drawn.clear();
  view_.DrawHud(painter_, frame_, Fonts(), nullptr, 0.016f);
  EXPECT_NE(painter_.Find("GO"), nullptr);  // drawn in the frame that passes the end, then gone
  EXPECT_EQ(view_.m_message[0], 0);
  view_.SetMessage("STAY", 0.0f, 0.0f);
  frame_.raceTime = 1000.0f;
  view_.DrawHud(painter_, frame_, Fonts(), nullptr, 0.016f);
  EXPECT_STREQ(view_.m_message, "STAY");
  view_.SetMessage(nullptr, 1.0f, 0.0f);
  EXPECT_EQ(view_.m_message[0], 0);
}

TEST_F(Hud, NameTagsOfThirtyOneRivalsAreAllDrawnFarthestFirst) {
  frame_.nameTags = true;
  frame_.tagCount = 31;
  static char names[31][8];
  for (uint32_t i = 0; i < 31; ++i) {
    std::snprintf(names[i], sizeof names[i], "P%u", i);
    frame_.tags[i].name = names[i];
    frame_.tags[i].distance2 = float((i * 11) % 31);
  }
  view_.DrawHud(painter_, frame_, Fonts(), nullptr, 0.016f);
  std::vector<float> seen;
  for (const auto& d : painter_.drawn)
    if (d.what[0] == 'P') seen.push_back(frame_.tags[std::stoi(d.what.substr(1))].distance2);
  ASSERT_EQ(seen.size(), 31u);
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_GE(seen[i - 1], seen[i]);
}

TEST_F(Hud, GaugeFillIsClippedToTheBarAndTheCountdownIsCentred) {
  frame_.speedGauge = Bar();
  frame_.speedBar = Bar();
  frame_.gaugeFont = Fake(9);
  frame_.speedLabel = "KMH";
  frame_.fullSpeed = 100.0f;
  frame_.speed = 50.0f;  // 180 km/h: beyond full scale
  frame_.countdown = 3;
  view_.DrawHud(painter_, frame_, Fonts(), nullptr, 0.016f);
  int32_t widest = 0;
  for (const auto& d : painter_.drawn)
    if (d.what == "<image>") widest = std::max(widest, d.w);
  EXPECT_EQ(widest, 100);
  EXPECT_NE(painter_.Find("KMH 180"), nullptr);
  const Drawn* c = painter_.Find("#");  // 32 + 3
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->x, (640 - 10) / 2);
  EXPECT_EQ(c->y, (480 - 12) / 2 + 48);
}

}  // namespace
