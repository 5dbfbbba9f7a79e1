// The skin editor's sample data: its layout file and tooltip texts in the game folder, its
// window frames, buttons and cursor in both texture folders, and below Data/Maps_skineditor
// the colour chart, brushes, icons, patterns and the skin templates of the two classes that
// can be painted (junior_std: "junior", monster: "monstertruck").
#include <cmath>
#include <string>
#include <vector>

#include "tools/datagen/datagen.h"

namespace datagen {

namespace {

std::string g_root;  // the output folder of this run
std::string Out(const std::string& relative) { return g_root + "/" + relative; }

// A framed panel: dark body, lighter border.
Image Frame(uint32_t w, uint32_t h, uint8_t r, uint8_t g, uint8_t b) {
  Image im = MakeImage(w, h);
  im.Fill(r, g, b, 230);
  im.Rect(0, 0, int(w), 2, 200, 200, 210);
  im.Rect(0, int(h) - 2, int(w), 2, 200, 200, 210);
  im.Rect(0, 0, 2, int(h), 200, 200, 210);
  im.Rect(int(w) - 2, 0, 2, int(h), 200, 200, 210);
  return im;
}

// A disc of alpha coverage in white (brush stamps and masks).
Image Disc(uint32_t size, float softness) {
  Image im = MakeImage(size, size);
  const float c = (float(size) - 1.0f) / 2.0f, radius = float(size) / 2.0f;
  for (uint32_t y = 0; y < size; ++y)
    for (uint32_t x = 0; x < size; ++x) {
      const float d = std::hypot(float(x) - c, float(y) - c) / radius;
      const float a = d >= 1.0f ? 0.0f : (d < 1.0f - softness ? 1.0f : (1.0f - d) / softness);
      im.Set(int(x), int(y), 255, 255, 255, uint8_t(a * 255.0f));
    }
  return im;
}

void Button(const std::string& folder, const std::string& name, uint32_t w, uint32_t h, uint8_t r,
            uint8_t g, uint8_t b) {
  WriteTga(folder + name + ".tga", Frame(w, h, r, g, b));
  WriteTga(folder + name + "_highlight.tga",
           Frame(w, h, uint8_t(r / 2 + 120), uint8_t(g / 2 + 120), uint8_t(b / 2 + 120)));
  WriteTga(folder + name + "_disable.tga", Frame(w, h, 60, 60, 60));
}

void WriteTemplate(const std::string& root, const std::string& folder, uint32_t seed) {
  const std::string base = root + folder + "/";
  // The body outline: the skin shows inside a rounded band, the rest stays transparent.
  Image mask = MakeImage(256, 256);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x)
      mask.Set(x, y, 255, 255, 255, (x > 8 && x < 248 && y > 16 && y < 240) ? 255 : 0);
  WriteTga(Out(base + "base.tga"), mask);
  for (int s = 0; s < 2; ++s) {
    Image stripe = MakeImage(256, 256);
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) {
        const bool on = s == 0 ? (y / 16) % 4 == 0 : std::abs(x - y) < 20;
        stripe.Set(x, y, 255, 255, 255, on ? 255 : 0);
      }
    WriteTga(Out(base + "Stripings/stripe" + std::to_string(s) + ".tga"), stripe);
  }
  WriteTga(Out(base + "Windows/windows0.tga"), PatternImage(256, 256, 40, 60, 90, seed));
}

}  // namespace

void WriteSkinEditor(const std::string& outRoot) {
  g_root = outRoot;
  WriteFile("SkinEditor.ini",
            "// Skin editor layout: colours, and window places per screen width.\n@\nRenderRCol = "
            "40\nRenderGCol = 40\n"
            "RenderBCol = 60\nTooltipR = 255\nTooltipG = 0\nTooltipB = 0\nTooltipA = "
            "255\n@640\nTooltipFont = "
            "\"Font_stats.tga\"\n@800\nTooltipFont = \"Font_stats.tga\"\n@1024\nTooltipFont = "
            "\"Font_stats.tga\"\n");
  const char* tips[] = {"Colour chart: pick the paint colour",
                        "Current colour",
                        "Patterns",
                        "Brushes",
                        "Icons",
                        "Stripes",
                        "Fill with the colour",
                        "Window patterns",
                        "Undo the last stroke",
                        "Eraser",
                        "Clear the layer",
                        "Right button: spin the car, left button: move nearer",
                        "Previous page",
                        "Next page",
                        "Turn the icon",
                        "Flip the icon sideways",
                        "Flip the icon upside down",
                        "Icon categories",
                        "Pattern categories",
                        "Scroll left",
                        "Scroll right",
                        "Scroll down",
                        "Scroll up",
                        "Zoom in",
                        "Zoom out",
                        "Show the race number",
                        "Leave the skin editor",
                        "Choose the layer to paint"};
  std::string text;
  for (const char* t : tips) text += std::string(t) + "\n";
  WriteFile("SkinTooltips.txt", text);

  for (const std::string quality : {"Data/Maps_low/Skineditor/", "Data/Maps_high/Skineditor/"}) {
    const std::string f = Out(quality);
    WriteTga(f + "SkinTextureDialogWindow.tga", Frame(308, 308, 30, 34, 48));
    WriteTga(f + "SkinToolDialogWindow.tga", Frame(330, 91, 30, 34, 48));
    WriteTga(f + "SkinIconDialogWindow.tga", Frame(292, 366, 30, 34, 48));
    WriteTga(f + "SkinRenderDialogWindow.tga", Frame(270, 152, 20, 20, 30));
    WriteTga(f + "SkinRenderDialogWindowBig.tga", Frame(256, 256, 20, 20, 30));
    WriteTga(f + "SkinRenderDialogWindowHuge.tga", Frame(400, 400, 20, 20, 30));
    for (const char* name :
         {"LeftButton", "RightButton", "DownButton", "UpButton", "zoom_in", "zoom_out"})
      Button(f, name, 32, 32, 70, 90, 140);
    for (const char* name : {"shownumbers", "tool_quit", "tool_pattern", "tool_brush", "tool_erase",
                             "tool_clear", "tool_icon", "tool_stripes", "tool_bucket", "tool_undo",
                             "menu_rotate", "menu_fliphor", "menu_flipvert"})
      Button(f, name, 34, 34, 90, 110, 70);
    for (const char* name : {"layer_0", "layer_1", "layer_2", "layer_3", "layer_wheels"})
      Button(f, name, 34, 34, 120, 80, 60);
    Image clear = MakeImage(64, 64);
    clear.Fill(0, 0, 0, 0);
    WriteTga(f + "SeeThroughBUtton.tga", clear);
    WriteTga(f + "SeeThroughButton.tga", clear);
    Image marker = Frame(70, 70, 0, 0, 0);
    marker.Rect(3, 3, 64, 64, 0, 0, 0, 0);
    WriteTga(f + "select_icon.tga", marker);
    Image swatch = MakeImage(32, 32);
    swatch.Fill(255, 255, 255);
    WriteTga(f + "curcolalpha.tga", swatch, false);
    Image arrow = MakeImage(16, 20);
    arrow.Fill(0, 0, 0, 0);
    for (int y = 0; y < 16; ++y) arrow.Rect(0, y, std::max(1, (16 - y) / 2), 1, 255, 255, 255);
    WriteTga(f + "mouse_arrow.tga", arrow);
    WriteTga(f + "Icon_unknown.tga", Frame(34, 34, 80, 80, 80));
  }

  const std::string root = "Data/Maps_skineditor/";
  Image chart = MakeImage(200, 80);
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 200; ++x) {
      const float h = float(x) / 200.0f * 6.0f, v = float(y) / 79.0f;
      const float f = h - std::floor(h);
      float rgb[3];
      switch (int(h) % 6) {
        case 0: rgb[0] = 1, rgb[1] = f, rgb[2] = 0; break;
        case 1: rgb[0] = 1 - f, rgb[1] = 1, rgb[2] = 0; break;
        case 2: rgb[0] = 0, rgb[1] = 1, rgb[2] = f; break;
        case 3: rgb[0] = 0, rgb[1] = 1 - f, rgb[2] = 1; break;
        case 4: rgb[0] = f, rgb[1] = 0, rgb[2] = 1; break;
        default: rgb[0] = 1, rgb[1] = 0, rgb[2] = 1 - f; break;
      }
      chart.Set(x, y, uint8_t(rgb[0] * v * 255), uint8_t(rgb[1] * v * 255),
                uint8_t(rgb[2] * v * 255));
    }
  WriteTga(Out(root + "Colorchart.tga"), chart);
  WriteTga(Out(root + "Brushes/brush08.tga"), Disc(8, 0.2f));
  WriteTga(Out(root + "Brushes/brush16.tga"), Disc(16, 0.4f));
  WriteTga(Out(root + "Brushes/brush32.tga"), Disc(32, 0.6f));
  Image star = MakeImage(48, 48);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 48; ++x) {
      const bool on = std::abs(x - 24) + std::abs(y - 24) < 20 &&
                      (std::abs(x - 24) < 5 || std::abs(y - 24) < 5);
      star.Set(x, y, 250, 200, 20, on ? 255 : 0);
    }
  WriteTga(Out(root + "Icons/Shapes/cross.tga"), star);
  WriteTga(Out(root + "Icons/Shapes/dot.tga"), Disc(48, 0.1f));
  WriteTga(Out(root + "Patterns/Basic/checks.tga"), PatternImage(256, 256, 200, 40, 40, 11));
  WriteTga(Out(root + "Patterns/Basic/waves.tga"), PatternImage(256, 256, 40, 120, 200, 12));
  WriteTemplate(root, "junior", 21);
  WriteTemplate(root, "monstertruck", 22);
}

}  // namespace datagen
