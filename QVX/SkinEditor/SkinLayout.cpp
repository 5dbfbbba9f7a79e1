#include "QVX/SkinEditor/SkinLayout.h"

#include "Zentri/util/VQSettingsFile.h"

namespace {

const char* const kPlaceKeys[SKIN_WINDOW_COUNT][2] = {
    {"EditX", "EditY"}, {"RenderX", "RenderY"}, {"IconX", "IconY"}, {"ToolX", "ToolY"}};
const char* const kRenderKeys[3] = {"RenderRCol", "RenderGCol", "RenderBCol"};
const char* const kTooltipKeys[4] = {"TooltipR", "TooltipG", "TooltipB", "TooltipA"};

}  // namespace

const char* SkinLayout_Section(uint32_t canvasWidth) {
  switch (canvasWidth) {
    case 640: return "640";
    case 800: return "800";
    case 1024: return "1024";
    default: return SKIN_LAYOUT_OTHER;
  }
}

bool SkinLayout_Writable(uint32_t canvasWidth) {
  return canvasWidth == 640 || canvasWidth == 800 || canvasWidth == 1024;
}

void SkinLayout_Read(const VQSettingsFile& file, uint32_t canvasWidth,
                     const int32_t sizes[SKIN_WINDOW_COUNT][2], SkinLayout* layout) {
  *layout = SkinLayout();
  const char* section = SkinLayout_Section(canvasWidth);
  for (int i = 0; i < 3; ++i) file.GetByte(kRenderKeys[i], &layout->render[i], SKIN_LAYOUT_GLOBAL);
  for (int i = 0; i < 4; ++i)
    file.GetByte(kTooltipKeys[i], &layout->tooltip[i], SKIN_LAYOUT_GLOBAL);
  const char* font = nullptr;
  if (file.GetString("TooltipFont", &font, section) && font) layout->tooltipFont = font;
  const int32_t defaults[SKIN_WINDOW_COUNT][2] = {
      {SKIN_LAYOUT_RIGHT - sizes[SKIN_WINDOW_EDIT][0],
       SKIN_LAYOUT_TOP - sizes[SKIN_WINDOW_EDIT][1]},
      {SKIN_LAYOUT_RIGHT - sizes[SKIN_WINDOW_RENDER][0], SKIN_LAYOUT_MARGIN},
      {SKIN_LAYOUT_MARGIN, SKIN_LAYOUT_TOP - sizes[SKIN_WINDOW_ICON][1]},
      {SKIN_LAYOUT_MARGIN, SKIN_LAYOUT_MARGIN}};
  for (uint32_t w = 0; w < SKIN_WINDOW_COUNT; ++w)
    for (int k = 0; k < 2; ++k) {
      layout->place[w][k] = defaults[w][k];
      file.GetInt(kPlaceKeys[w][k], &layout->place[w][k], section);
    }
}

bool SkinLayout_Write(VQSettingsFile& file, uint32_t canvasWidth, const SkinLayout& layout,
                      const char* renderBackground) {
  if (!SkinLayout_Writable(canvasWidth)) return true;
  const char* section = SkinLayout_Section(canvasWidth);
  bool ok = file.SetString("RenderBackground", renderBackground ? renderBackground : "",
                           SKIN_LAYOUT_GLOBAL);
  for (int i = 0; i < 3; ++i)
    ok = file.SetNumber(kRenderKeys[i], layout.render[i], SKIN_LAYOUT_GLOBAL) && ok;
  for (int i = 0; i < 4; ++i)
    ok = file.SetNumber(kTooltipKeys[i], layout.tooltip[i], SKIN_LAYOUT_GLOBAL) && ok;
  ok = file.SetString("TooltipFont", layout.tooltipFont.c_str(), SKIN_LAYOUT_GLOBAL) && ok;
  for (uint32_t w = 0; w < SKIN_WINDOW_COUNT; ++w)
    for (int k = 0; k < 2; ++k)
      ok = file.SetNumber(kPlaceKeys[w][k], layout.place[w][k], section) && ok;
  return ok;
}
