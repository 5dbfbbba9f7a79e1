// Whole runs of Pindrel into the paint shop on copies of the generated data tree: the editor is
// opened from the menus by scripted keys, painted on with the scripted mouse, left, and its
// skin saved under a typed name; the next start finds the skin in the class's list, and the
// next race shows the player's car in the painted colour.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "QVX/race/PlayerProfile.h"
#include "QVX/shell/Content.h"
#include "tests/support/run_tool.h"
#include "Zentri/resources/VQImageFile.h"

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The windows' places on the 640 x 480 canvas, apart from each other: tool dialog (330 x 91)
// top left, icon dialog (292 x 366) below it, render dialog (270 x 152) top right, texture edit
// dialog (308 x 308) bottom right.
constexpr int kToolX = 0, kToolY = 0, kIconX = 0, kIconY = 100, kEditX = 332, kEditY = 160;
constexpr int kCanvasHeight = 480;  // the sample tree's resolution is 640 x 480
const char* const kLayout =
    "@\nRenderRCol = 40\nRenderGCol = 40\nRenderBCol = 60\n"
    "@640\nEditX = 332\nEditY = 160\nRenderX = 370\nRenderY = 0\nIconX = 0\nIconY = 100\n"
    "ToolX = 0\nToolY = 0\n";

// One uncompressed 24- or 32-bit TGA read back: size and the pixel at (x, y) from the top.
struct Tga {
  int width = 0, height = 0, bytes = 0;
  bool topDown = false;
  std::string data;
  bool Read(const fs::path& path) {
    data = ReadText(path);
    if (data.size() < 18 || data[2] != 2) return false;
    width = uint8_t(data[12]) | uint8_t(data[13]) << 8;
    height = uint8_t(data[14]) | uint8_t(data[15]) << 8;
    bytes = uint8_t(data[16]) / 8;
    topDown = (uint8_t(data[17]) & 0x20) != 0;
    return (bytes == 3 || bytes == 4) &&
           data.size() >= 18 + size_t(uint8_t(data[0])) + size_t(width) * height * bytes;
  }
  // Red, green, blue.
  std::vector<int> At(int x, int y) const {
    const int row = topDown ? y : height - 1 - y;
    const size_t at = 18 + uint8_t(data[0]) + (size_t(row) * width + x) * bytes;
    return {uint8_t(data[at + 2]), uint8_t(data[at + 1]), uint8_t(data[at])};
  }
};

class PaintShopRun : public ::testing::Test {
 public:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir =
        fs::temp_directory_path() / ("qvx_paint_runs_" + std::to_string(::getpid())) / info->name();
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    fs::copy(VQ_GAME_DIR, m_dir, fs::copy_options::recursive | fs::copy_options::create_hard_links);
    // Files the editor writes are replaced, never written through the links into the tree.
    fs::remove(m_dir / "SkinEditor.ini");
    std::ofstream(m_dir / "SkinEditor.ini") << kLayout;
    const fs::path layers = m_dir / "Data" / "Maps_skineditor";
    for (const auto& entry : fs::recursive_directory_iterator(layers)) {
      if (!entry.is_regular_file()) continue;
      const fs::path copy = entry.path().string() + ".copy";
      fs::copy_file(entry.path(), copy);
      fs::rename(copy, entry.path());
    }
  }
  void TearDown() override {
    if (HasFailure()) return;  // kept for a look at what the run left
    fs::remove_all(m_dir);
    std::error_code ec;
    fs::remove(m_dir.parent_path(), ec);  // once empty
  }
  void Key(int frame, const std::string& key) {
    m_script += std::to_string(frame) + " key " + key + " down\n" + std::to_string(frame + 1) +
                " key " + key + " up\n";
  }
  // (x, y) on the canvas, y upwards; the script takes window client places, y downwards.
  void Mouse(int frame, int x, int y, int buttons) {
    m_script += std::to_string(frame) + " mouse " + std::to_string(x) + " " +
                std::to_string(kCanvasHeight - 1 - y) + " " + std::to_string(buttons) + "\n";
  }
  // A left click: down on the frame, up two frames later.
  void Click(int frame, int x, int y) {
    Mouse(frame, x, y, 1);
    Mouse(frame + 2, x, y, 0);
  }
  // The intro's three pictures skipped, then from the main page down to the paint shop and in;
  // `right` presses of Right choose the class; the editor opens at frame 300.
  void IntoTheEditor(int right) {
    for (int frame : {3, 20, 60}) Key(frame, "space");
    for (int i = 0; i < 5; ++i) Key(150 + 10 * i, "down");
    Key(210, "enter");
    for (int i = 0; i < right; ++i) Key(240 + 10 * i, "right");
    Key(280, "down");
    Key(290, "enter");
  }
  // On page 54 the name field has the focus with its cursor at the start: to its end, the
  // default text removed, the name typed, Return to the save item and Return to save.
  int TypeNameAndSave(int frame, const std::string& name) {
    for (int i = 0; i < 9; ++i, frame += 4) Key(frame, "right");
    for (int i = 0; i < 9; ++i, frame += 4) Key(frame, "back");
    for (char c : name) {
      const bool upper = c >= 'A' && c <= 'Z';
      if (upper) m_script += std::to_string(frame) + " key left_shift down\n";
      Key(frame + 1, std::string(1, char(upper ? c - 'A' + 'a' : c)));
      if (upper) m_script += std::to_string(frame + 3) + " key left_shift up\n";
      frame += 5;
    }
    Key(frame + 10, "enter");
    Key(frame + 30, "enter");
    return frame + 60;
  }
  int Run(int frames) {
    fs::remove(m_dir / "input.txt");
    std::ofstream(m_dir / "input.txt") << m_script;
    fs::remove(m_dir / "qvxlog.txt");
    const std::string command =
        "'" + vqtest::BinDir() + "'/Pindrel --headless --fixed-step 0.01 --seed 5 --frames " +
        std::to_string(frames) + " --input input.txt --data '" + m_dir.string() + "'";
    const int status = vqtest::RunCommand(command, &m_out);
    m_log = ReadText(m_dir / "qvxlog.txt");
    m_script.clear();
    return status;
  }
  void ExpectInOrder(const std::vector<std::string>& lines) {
    size_t at = 0;
    for (const std::string& line : lines) {
      const size_t found = m_log.find(line, at);
      ASSERT_NE(found, std::string::npos) << "missing after offset " << at << ": " << line << "\n"
                                          << m_log << "\n"
                                          << m_out;
      at = found + line.size();
    }
  }

  fs::path m_dir;
  std::string m_script, m_out, m_log;
};

TEST_F(PaintShopRun, PaintedSkinIsSavedAndListedAtTheNextStart) {
  IntoTheEditor(0);  // junior_std, the first class, has a template
  // A dark red from the palette's left edge (half way up), the edit layer, the first brush,
  // then a stroke along the view's row 100 from x 60 to x 160.
  Click(320, kToolX + 5 + 1, kToolY + 6 + 40);
  Click(330, kEditX + 268 + 17, kEditY + 85 + 3 * 37 + 17);
  Click(340, kIconX + 10 + 32, kIconY + 255 + 32);
  const int viewX = kEditX + 5, viewY = kEditY + 46;
  Mouse(358, viewX + 60, viewY + 100, 0);
  Mouse(360, viewX + 60, viewY + 100, 1);
  for (int i = 1; i <= 10; ++i) Mouse(360 + 8 * i, viewX + 60 + 10 * i, viewY + 100, 1);
  Mouse(450, viewX + 160, viewY + 100, 0);
  Click(455, kEditX + 62 + 5, kEditY + 7 + 5);  // the race-number switch: off
  Key(470, "esc");                              // leaves the editor
  const int end = TypeNameAndSave(500, "Fire");
  ASSERT_EQ(Run(end + 20), 0) << m_out;
  ExpectInOrder({"Menu page 51 'Paint shop'", "Skin editor for class 'junior_std'",
                 "Skin editor left", "Menu page 54 'Save skin'", "Skin '",
                 "MS junior_std Fire' saved", "Menu page 1 "});

  // The pair of files in the player skins folder.
  const fs::path skins = m_dir / "Data" / "Maps_cars" / "Myskins";
  ASSERT_TRUE(fs::exists(skins / "MS junior_std Fire.txt")) << m_log;
  const std::string text = ReadText(skins / "MS junior_std Fire.txt");
  EXPECT_NE(text.find("Version = 1.0"), std::string::npos) << text;
  EXPECT_NE(text.find("Wheels = "), std::string::npos) << text;
  EXPECT_NE(text.find("Numbers = off"), std::string::npos) << text;
  Tga image;
  ASSERT_TRUE(image.Read(skins / "MS junior_std Fire.tga"));
  EXPECT_EQ(image.width, 256);
  EXPECT_EQ(image.height, 256);
  // The stroke is in the skin where it was painted (texture rows count from the bottom, the
  // way the view shows them), and nowhere off its row.
  auto reddish = [](const std::vector<int>& c) { return c[0] > 90 && c[1] < 40 && c[2] < 40; };
  for (int x = 60; x <= 160; x += 10)
    EXPECT_TRUE(reddish(image.At(x, 255 - 100)))
        << "x " << x << ": " << image.At(x, 155)[0] << " " << image.At(x, 155)[1] << " "
        << image.At(x, 155)[2];
  for (int x : {30, 100, 200}) EXPECT_FALSE(reddish(image.At(x, 255 - 140))) << x;
  EXPECT_FALSE(fs::exists(m_dir / "Crashlog.txt"));
  // The new skin is the first player's choice of the class, kept in the profile.
  const std::string listed = "Skin 'Fire' is skin ";
  const size_t at = m_log.find(listed);
  ASSERT_NE(at, std::string::npos) << m_log;
  const int index = std::atoi(m_log.c_str() + at + listed.size());
  const std::string stored = ReadText(m_dir / "Data" / "Players" / "Driver.bin");
  PlayerProfile profile;
  ASSERT_EQ(PlayerProfile_Read(reinterpret_cast<const uint8_t*>(stored.data()), stored.size(),
                               CLASS_MAX, &profile),
            PROFILE_OK);
  EXPECT_EQ(profile.normal_frame, 0);  // junior_std
  EXPECT_EQ(profile.normal_color, index);

  // The next start lists Fire for the class: saving the same name (any case) is refused.
  IntoTheEditor(0);
  Key(470, "esc");
  const int again = TypeNameAndSave(500, "FIRE");
  ASSERT_EQ(Run(again + 20), 0) << m_out;
  ExpectInOrder({"Skin editor left", "Menu page 54 'Save skin'", "Menu page 52 "});
  EXPECT_FALSE(fs::exists(skins / "MS junior_std FIRE.txt"));
}

TEST_F(PaintShopRun, ClassWithoutTemplateIsRefusedAndThePaintShopComesBack) {
  IntoTheEditor(1);  // the second class has no skin template
  Key(330, "esc");
  ASSERT_EQ(Run(400), 0) << m_out;
  ExpectInOrder({"Menu page 51 'Paint shop'", "Skin editor for class", "Skin editor refused: ",
                 "has no skin template", "Menu page 51 'Paint shop'", "Menu page 1 "});
  EXPECT_NE(m_out.find("has no skin template"), std::string::npos) << m_out;
  EXPECT_EQ(m_log.find("Skin editor left"), std::string::npos);
}

// Pixels of a JPEG screenshot inside a box (top row 0) that are clearly green or clearly red.
struct BoxColours {
  bool read = false;
  int green = 0, red = 0;
};
BoxColours CountColours(const fs::path& shot, int x0, int y0, int x1, int y1) {
  BoxColours c;
  uint32_t w = 0, h = 0;
  uint8_t* rgb = VQimage_ReadJpeg(shot.string().c_str(), &w, &h);
  if (!rgb) return c;
  c.read = w >= uint32_t(x1) && h >= uint32_t(y1);
  for (int y = y0; c.read && y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const uint8_t* p = rgb + (size_t(y) * w + size_t(x)) * 3;
      if (p[1] > p[0] + 80 && p[1] > p[2] + 80) ++c.green;
      if (p[0] > p[1] + 80 && p[0] > p[2] + 40) ++c.red;
    }
  std::free(rgb);
  return c;
}

// Whole races after the paint shop (the name keeps them out of the sanitizer stage).
class RaceRun : public PaintShopRun {
 public:
  // From the main page with the focus on its first item: Single player, Single race, Start;
  // 7.5 seconds later F9. The first player's car then stands on its grid place in the middle
  // of the start camera's picture (it is given no throttle). The frame after the shot.
  int StartRaceAndShoot(int frame) {
    Key(frame, "enter");
    Key(frame + 20, "down");
    Key(frame + 40, "enter");
    Key(frame + 60, "enter");
    Key(frame + 810, "F9");
    return frame + 830;
  }
  // Where the player's car is in that picture (640 x 480, top row 0).
  static BoxColours CarColours(const fs::path& shot) {
    return CountColours(shot, 290, 200, 370, 260);
  }
};

TEST_F(RaceRun, PaintedSkinIsOnThePlayersCarInTheNextRace) {
  // The race with the class's stock skin: the car is red.
  for (int frame : {3, 20, 60}) Key(frame, "space");
  const int baseEnd = StartRaceAndShoot(220);
  ASSERT_EQ(Run(baseEnd + 10), 0) << m_out;
  ExpectInOrder({"Race in game mode 3", "Car paint: class 'junior_std', skin 0 '"});
  ASSERT_TRUE(fs::exists(m_dir / "snap001.jpg")) << m_log;
  fs::rename(m_dir / "snap001.jpg", m_dir / "stock.jpg");
  const BoxColours stock = CarColours(m_dir / "stock.jpg");
  ASSERT_TRUE(stock.read);
  EXPECT_GE(stock.red, 300);
  EXPECT_LE(stock.green, 10);

  // The paint shop: the bottom layer, a bright green from the top of the palette, the bucket;
  // saved as Glow (which becomes the player's skin of the class); then the same race.
  IntoTheEditor(0);
  Click(320, kEditX + 268 + 17, kEditY + 85 + 17);
  Click(330, kToolX + 5 + 67, kToolY + 6 + 8);
  Click(340, kToolX + 254 + 16, kToolY + 17 + 16);
  Key(370, "esc");
  int frame = TypeNameAndSave(400, "Glow");
  for (int i = 0; i < 5; ++i) Key(frame + 10 * i, "up");  // the main page's first item
  const int end = StartRaceAndShoot(frame + 60);
  ASSERT_EQ(Run(end + 10), 0) << m_out;
  ExpectInOrder({"Skin editor for class 'junior_std'", "Skin editor left",
                 "MS junior_std Glow' saved", "Skin 'Glow' is skin ", "Race in game mode 3",
                 "Car paint: class 'junior_std', skin "});
  const std::string listed = "Skin 'Glow' is skin ";
  const int index = std::atoi(m_log.c_str() + m_log.find(listed) + listed.size());
  EXPECT_NE(m_log.find("Car paint: class 'junior_std', skin " + std::to_string(index) + " 'Glow'"),
            std::string::npos)
      << m_log;
  ASSERT_TRUE(fs::exists(m_dir / "snap001.jpg")) << m_log;
  const BoxColours painted = CarColours(m_dir / "snap001.jpg");
  ASSERT_TRUE(painted.read);
  EXPECT_GE(painted.green, 300);
  EXPECT_LE(painted.red, painted.green / 10);
  EXPECT_FALSE(fs::exists(m_dir / "Crashlog.txt"));
}

}  // namespace
