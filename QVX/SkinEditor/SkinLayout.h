// The skin editor's layout file "SkinEditor.ini": colours in the global section (the section
// with the empty name) and the places of the four windows in a section per canvas width
// ("640", "800", "1024"). Any other width reads its places from a section "none" and
// writes nothing back.
#pragma once

#include <cstdint>
#include <string>

class VQSettingsFile;

constexpr const char* SKIN_LAYOUT_FILE = "SkinEditor.ini";
constexpr const char* SKIN_LAYOUT_GLOBAL = "";
constexpr const char* SKIN_LAYOUT_OTHER = "none";
constexpr const char* SKIN_DEFAULT_TOOLTIP_FONT = "Font_stats.tga";
constexpr int32_t SKIN_LAYOUT_MARGIN = 5;
// The default places fill the corners of a 640 by 480 canvas.
constexpr int32_t SKIN_LAYOUT_RIGHT = 635, SKIN_LAYOUT_TOP = 475;

enum SkinWindowId : uint32_t {
  SKIN_WINDOW_EDIT = 0,
  SKIN_WINDOW_RENDER = 1,
  SKIN_WINDOW_ICON = 2,
  SKIN_WINDOW_TOOL = 3,
  SKIN_WINDOW_COUNT = 4,
};

struct SkinLayout {
  uint8_t render[3] = {0, 0, 0};          // view background red, green, blue
  uint8_t tooltip[4] = {255, 0, 0, 255};  // tooltip bar red, green, blue, alpha
  std::string tooltipFont = SKIN_DEFAULT_TOOLTIP_FONT;
  int32_t place[SKIN_WINDOW_COUNT][2] = {};  // x, y of each window
};

// "640", "800", "1024", else "none".
const char* SkinLayout_Section(uint32_t canvasWidth);
// True for the widths whose places are written back.
bool SkinLayout_Writable(uint32_t canvasWidth);
// Reads the colours, the font name (from the width's section) and the places; what is missing
// takes its default, the places from the window sizes (width, height of each window).
void SkinLayout_Read(const VQSettingsFile& file, uint32_t canvasWidth,
                     const int32_t sizes[SKIN_WINDOW_COUNT][2], SkinLayout* layout);
// Writes everything back for a writable width (else nothing): the render background name and
// colours, the tooltip colours and font name in the global section, the places in the width's
// section. False when a value could not be stored.
bool SkinLayout_Write(VQSettingsFile& file, uint32_t canvasWidth, const SkinLayout& layout,
                      const char* renderBackground);
