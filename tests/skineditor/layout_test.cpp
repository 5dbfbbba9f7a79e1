// The layout file "SkinEditor.ini": defaults per window size, the section per canvas width,
// what is written back and where.
#include <fstream>
#include <sstream>

#include "QVX/SkinEditor/SkinLayout.h"
#include "tests/skineditor/skin_support.h"
#include "Zentri/util/VQSettingsFile.h"

namespace skin_test {
namespace {

const int32_t kSizes[SKIN_WINDOW_COUNT][2] = {{308, 308}, {256, 256}, {292, 366}, {330, 91}};

class Layout : public SkinFixture {};

TEST_F(Layout, SectionsByCanvasWidth) {
  const std::pair<uint32_t, const char*> cases[] = {{640, "640"},   {800, "800"}, {1024, "1024"},
                                                    {1280, "none"}, {0, "none"},  {639, "none"}};
  for (const auto& [w, name] : cases) {
    EXPECT_STREQ(SkinLayout_Section(w), name);
    EXPECT_EQ(SkinLayout_Writable(w), std::string(name) != "none");
  }
}

TEST_F(Layout, MissingFileGivesCornerDefaultsAndLeavingWritesTheWidthSection) {
  const std::string path = (m_dir / "SkinEditor.ini").string();
  VQSettingsFile file;
  file.Load(path.c_str());
  SkinLayout layout;
  SkinLayout_Read(file, 800, kSizes, &layout);
  EXPECT_EQ(layout.place[SKIN_WINDOW_TOOL][0], 5);
  EXPECT_EQ(layout.place[SKIN_WINDOW_TOOL][1], 5);
  EXPECT_EQ(layout.place[SKIN_WINDOW_RENDER][0], 635 - 256);
  EXPECT_EQ(layout.place[SKIN_WINDOW_RENDER][1], 5);
  EXPECT_EQ(layout.place[SKIN_WINDOW_ICON][0], 5);
  EXPECT_EQ(layout.place[SKIN_WINDOW_ICON][1], 475 - 366);
  EXPECT_EQ(layout.place[SKIN_WINDOW_EDIT][0], 635 - 308);
  EXPECT_EQ(layout.place[SKIN_WINDOW_EDIT][1], 475 - 308);
  EXPECT_EQ(layout.tooltip[0], 255);
  EXPECT_EQ(layout.tooltip[1], 0);
  EXPECT_EQ(layout.tooltip[3], 255);
  EXPECT_EQ(layout.tooltipFont, "Font_stats.tga");

  layout.place[SKIN_WINDOW_TOOL][0] = 42;
  layout.render[1] = 128;
  ASSERT_TRUE(SkinLayout_Write(file, 800, layout, ""));
  ASSERT_TRUE(file.Save(nullptr));

  VQSettingsFile again;
  again.Load(path.c_str());
  int32_t v = 0;
  EXPECT_TRUE(again.GetInt("ToolX", &v, "800"));
  EXPECT_EQ(v, 42);
  EXPECT_TRUE(again.GetInt("EditY", &v, "800"));
  EXPECT_EQ(v, 475 - 308);
  EXPECT_TRUE(again.GetInt("RenderGCol", &v, ""));
  EXPECT_EQ(v, 128);
  SkinLayout back;
  SkinLayout_Read(again, 800, kSizes, &back);
  EXPECT_EQ(back.place[SKIN_WINDOW_TOOL][0], 42);
  EXPECT_EQ(back.render[1], 128);
  // The font name is written into the global section and read from the width's section only.
  const char* font = nullptr;
  EXPECT_TRUE(again.GetString("TooltipFont", &font, ""));
  EXPECT_FALSE(again.GetString("TooltipFont", &font, "800"));
}

TEST_F(Layout, OtherWidthsReadSectionNoneAndWriteNothing) {
  const std::string path = (m_dir / "SkinEditor.ini").string();
  {
    std::ofstream out(path);
    out << "TooltipR = 1\n@none\nToolX = 77\nTooltipFont = \"small.tga\"\n@800\nToolX = 12\n";
  }
  VQSettingsFile file;
  file.Load(path.c_str());
  const std::string before = file.ToText();
  SkinLayout layout;
  SkinLayout_Read(file, 1280, kSizes, &layout);
  EXPECT_EQ(layout.place[SKIN_WINDOW_TOOL][0], 77);
  EXPECT_EQ(layout.tooltipFont, "small.tga");
  layout.place[SKIN_WINDOW_TOOL][0] = 3;
  EXPECT_TRUE(SkinLayout_Write(file, 1280, layout, ""));
  EXPECT_EQ(file.ToText(), before);
}

}  // namespace
}  // namespace skin_test
