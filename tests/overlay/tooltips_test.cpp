// Tooltip files (text and binary), the table limits, and the bar: the wait, its place beside
// the pointer and what it skips.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "Zentri/devices/overlay/VQOverlayElements.h"
#include "Zentri/devices/overlay/VQTooltips.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/util/VQlog.h"
#include "tests/overlay/overlay_support.h"

namespace overlay_test {
namespace {

std::vector<std::string>& Log() {
  static std::vector<std::string> log;
  return log;
}

class Tooltips : public OverlayFixture {
 protected:
  void SetUp() override {
    OverlayFixture::SetUp();
    Log().clear();
    m_savedLog = VQlog_GetHandler();
    VQlog_SetHandler([](int, const char* text) { Log().push_back(text); });
  }
  void TearDown() override {
    VQlog_SetHandler(m_savedLog);
    VQtooltips_Clear();
    OverlayFixture::TearDown();
  }
  void WriteText(const std::string& name, int lines, const std::string& line = "tip") {
    std::ofstream out(Path(name));
    for (int i = 0; i < lines; ++i) out << "  " << line << i << "\n";
  }
  // A binary tooltip file: count, then identifier and scrambled text per entry.
  void WriteBinary(const std::string& name, uint32_t count, const std::vector<std::pair<uint32_t, std::string>>& entries,
                   bool cut = false) {
    std::string data;
    const auto u32 = [&](uint32_t v) {
      for (int i = 0; i < 4; ++i) data.push_back(char(v >> (8 * i)));
    };
    u32(count);
    for (const auto& [id, text] : entries) {
      u32(id);
      for (char c : text) data.push_back(char(uint8_t(c) + 127));
      data.push_back(char(127));
    }
    if (cut) data.resize(data.size() - 3);
    std::ofstream(Path(name), std::ios::binary) << data;
  }
  VQlogHandler m_savedLog = nullptr;
};

TEST_F(Tooltips, TextFileNumbersItsLinesUpTo256) {
  WriteText("t.txt", 256);
  EXPECT_TRUE(VQtooltips_LoadFile(Path("t.txt").c_str(), false));
  EXPECT_EQ(VQtooltips_Count(), 256u);
  EXPECT_STREQ(VQtooltips_Lookup(1), "tip0");
  EXPECT_STREQ(VQtooltips_Lookup(256), "tip255");
  EXPECT_EQ(VQtooltips_Lookup(257), nullptr);
  VQtooltips_Clear();
  WriteText("u.txt", 257);
  EXPECT_FALSE(VQtooltips_LoadFile(Path("u.txt").c_str(), false));
  EXPECT_EQ(VQtooltips_Count(), 256u);
  ASSERT_FALSE(Log().empty());
  EXPECT_EQ(Log().back(), "Too many tooltips");
  EXPECT_FALSE(VQtooltips_LoadFile(Path("missing.txt").c_str(), false));
  EXPECT_EQ(Log().back(), "Cannot load tooltip file '" + Path("missing.txt") + "'");
}

TEST_F(Tooltips, LongTextsAreCut) {
  WriteText("long.txt", 2, std::string(600, 'x'));
  EXPECT_TRUE(VQtooltips_LoadFile(Path("long.txt").c_str(), false));
  ASSERT_EQ(VQtooltips_Count(), 2u) << "the rest of a long line is no tooltip of its own";
  EXPECT_EQ(std::string(VQtooltips_Lookup(1)), std::string(255, 'x'));
  VQtooltips_Clear();
  WriteBinary("long.bin", 2, {{7, std::string(400, 'y')}, {8, "short"}});
  EXPECT_TRUE(VQtooltips_LoadFile(Path("long.bin").c_str(), true));
  EXPECT_EQ(std::string(VQtooltips_Lookup(7)), std::string(255, 'y'));
  EXPECT_STREQ(VQtooltips_Lookup(8), "short");
}

TEST_F(Tooltips, BinaryCountsAreChecked) {
  WriteBinary("b.bin", 2, {{40, "forty"}, {41, "forty-one"}});
  EXPECT_TRUE(VQtooltips_LoadFile(Path("b.bin").c_str(), true));
  EXPECT_STREQ(VQtooltips_Lookup(41), "forty-one");
  VQtooltips_Clear();
  WriteBinary("big.bin", 256, {});
  EXPECT_FALSE(VQtooltips_LoadFile(Path("big.bin").c_str(), true));
  EXPECT_EQ(Log().back(), "Too many tooltips");
  EXPECT_EQ(VQtooltips_Count(), 0u);
  // Appending past the table is refused as a whole.
  WriteText("t.txt", 200);
  ASSERT_TRUE(VQtooltips_LoadFile(Path("t.txt").c_str(), false));
  WriteBinary("more.bin", 100, {});
  EXPECT_FALSE(VQtooltips_LoadFile(Path("more.bin").c_str(), true));
  EXPECT_EQ(VQtooltips_Count(), 200u);
  VQtooltips_Clear();
  // A file cut short keeps what was read and fails.
  WriteBinary("cut.bin", 2, {{1, "one"}, {2, "two"}}, true);
  EXPECT_FALSE(VQtooltips_LoadFile(Path("cut.bin").c_str(), true));
  EXPECT_STREQ(VQtooltips_Lookup(1), "one");
  std::ofstream(Path("empty.bin"), std::ios::binary) << "";
  EXPECT_FALSE(VQtooltips_LoadFile(Path("empty.bin").c_str(), true));
}

uint32_t g_now = 0;
uint32_t Now() { return g_now; }

class Bar : public Tooltips {
 protected:
  void SetUp() override {
    Tooltips::SetUp();
    font = Font("", 12, true, "tip.tga");
    ASSERT_NE(font, nullptr);
    // The constructor empties the table: load after it.
    bar.m_clock = Now;
    WriteBinary("tips.bin", 2, {{50, "Fifty"}, {60, "Sixty"}});
    ASSERT_TRUE(VQtooltips_LoadFile(Path("tips.bin").c_str(), true));
    window = manager.CreateWindow(200, 100, nullptr, nullptr, 0, false);
    window->SetPosition(100, 100);
    window->Show();
    button = new VQToggleElement(1, Image(50, 20), nullptr, true);
    button->SetId(50);
    window->AddElement(button);
    const uint32_t colour = 0xC0203040;
    ASSERT_TRUE(bar.Create(m_device.m_textureManager, nullptr, 0, &manager, font, &colour, nullptr));
  }
  void TearDown() override {
    bar.Destroy();
    Tooltips::TearDown();
  }
  // Moves the pointer (a move event through the manager).
  void Move(int32_t x, int32_t y) {
    const int32_t rec[6] = {manager.m_pointerX, manager.m_pointerY, 0, x, y, 0};
    manager.HandleEvent(6, rec);
  }
  // One overlay frame at the given time; gives the tooltip blits of that frame.
  std::vector<Blit> Frame(uint32_t ms) {
    g_now = ms;
    canvas.blits.clear();
    manager.Draw();
    std::vector<Blit> out;
    for (const Blit& b : canvas.blits)
      if (b.image == bar.m_image) out.push_back(b);
    return out;
  }
  VQTooltips bar;
  VQFont* font = nullptr;
  RecordingCanvas canvas{640, 480};
  VQWindowManager manager{&canvas};
  VQWindow* window = nullptr;
  VQToggleElement* button = nullptr;
};

TEST_F(Bar, ShowsAfterFourStillFramesAndTheDelay) {
  Move(110, 105);
  EXPECT_TRUE(Frame(0).empty());  // moved
  EXPECT_TRUE(Frame(100).empty());  // still 1
  EXPECT_TRUE(Frame(200).empty());
  EXPECT_TRUE(Frame(300).empty());  // still 3: the wait starts here
  EXPECT_TRUE(Frame(700).empty());  // 0.4 s
  EXPECT_TRUE(Frame(800).empty());  // exactly the delay: not above it
  const auto shown = Frame(801);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].w[0], font->TextWidth("Fifty") + 6);
  EXPECT_EQ(shown[0].h[0], int32_t(font->m_glyphHeight) + 4);
  EXPECT_EQ(shown[0].dx[0], 110);
  EXPECT_EQ(bar.m_window->m_x, 110);
  EXPECT_EQ(bar.m_window->m_y, 105 - bar.m_height - 1);
  EXPECT_EQ(manager.m_top[1], bar.m_window);
  // The text is drawn into the bar's image.
  float rgba[4];
  int lit = 0;
  for (uint32_t y = 0; y < 20; ++y)
    for (uint32_t x = 0; x < 60; ++x) lit += bar.m_image->GetPixel(rgba, x, y)[0] > 0.6f;
  EXPECT_GT(lit, 5);
  // One pixel of movement restarts the wait.
  Move(111, 105);
  EXPECT_TRUE(Frame(900).empty());
  EXPECT_TRUE(Frame(1000).empty());
  EXPECT_TRUE(Frame(5000).empty());
}

TEST_F(Bar, StaysInsideTheCanvasAtTheTopRightCorner) {
  window->SetPosition(440, 380);
  button->m_x = 150;
  button->m_y = 80;
  Move(639, 479);
  for (uint32_t t = 0; t < 5; ++t) Frame(t);
  const auto shown = Frame(2000);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].dx[0] + shown[0].w[0], 640);
  EXPECT_EQ(shown[0].dy[0] + shown[0].h[0], 480);
  EXPECT_EQ(bar.m_window->m_x + bar.m_window->m_width, 640);
}

TEST_F(Bar, ALongTextStaysInsideTheBarImage) {
  VQtooltips_Clear();
  WriteText("long.txt", 1, std::string(120, 'W'));
  ASSERT_TRUE(VQtooltips_LoadFile(Path("long.txt").c_str(), false));
  button->SetId(1);
  Move(110, 105);
  for (uint32_t t = 0; t < 5; ++t) Frame(t);
  const auto shown = Frame(2000);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].w[0], int32_t(VQTOOLTIP_IMAGE_WIDTH));
}

TEST_F(Bar, NoTooltipForKey257OrDisabledElements) {
  button->SetId(VQELEMENT_NO_TOOLTIP);
  Move(110, 105);
  for (uint32_t t = 0; t < 5; ++t) Frame(t);
  EXPECT_TRUE(Frame(2000).empty());
  button->SetId(60);
  button->Hide();
  EXPECT_TRUE(Frame(3000).empty());
  bar.m_showForDisabled = 1;
  EXPECT_EQ(Frame(4000).size(), 1u);
}

TEST_F(Bar, OnlyOneBarAtATime) {
  const uint32_t colour = 0xFF000000;
  EXPECT_FALSE(bar.Create(m_device.m_textureManager, nullptr, 0, &manager, font, &colour, nullptr))
      << "not even again on the current bar";
  VQTooltips other;
  EXPECT_FALSE(other.Create(m_device.m_textureManager, nullptr, 0, &manager, font, &colour, nullptr));
  EXPECT_FALSE(VQTooltips::OnDraw(nullptr, nullptr, 0));
}

}  // namespace
}  // namespace overlay_test
