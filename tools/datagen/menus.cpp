// The menu frame pieces: the corners, edges and entry strips the menus build their panels from,
// and the two arrows beside a focused value. Entry strips are 6 pixels high, so a row (five
// strips) is 30 pixels and the tallest page of the tree fits a 640 x 480 window.
#include <cstdlib>
#include <string>

#include "tools/datagen/datagen.h"

namespace datagen {

void WriteMenuFrames(const std::string& out) {
  struct Piece {
    const char* name;
    uint32_t w, h;
    int edge;  // 1 a light line along the top, 2 along the bottom, 0 none
  };
  static const Piece kPieces[] = {
      {"Menu_top", 256, 24, 1},    {"Menu_topleft", 24, 24, 1},    {"Menu_topright", 24, 24, 1},
      {"Menu_bottom", 256, 24, 2}, {"Menu_bottomleft", 24, 24, 2}, {"Menu_bottomright", 24, 24, 2},
      {"Menu_entry", 256, 6, 0},   {"Menu_entryleft", 24, 6, 0},   {"Menu_entryright", 24, 6, 0},
  };
  for (const Piece& p : kPieces) {
    Image image = MakeImage(p.w, p.h);
    image.Fill(16, 24, 64, 210);
    // Rows are stored top first: row 0 is the top edge.
    if (p.edge == 1) image.Rect(0, 0, int(p.w), 2, 120, 140, 220);
    if (p.edge == 2) image.Rect(0, int(p.h) - 2, int(p.w), 2, 120, 140, 220);
    const std::string name = std::string(p.name) + ".tga";
    WriteTga(out + "/Data/Menu/" + name, image);
    WriteTga(out + "/Data/Maps_low/" + name, image);
    WriteTga(out + "/Data/Maps_high/" + name, image);
  }
  for (int side = 0; side < 2; ++side) {
    Image arrow = MakeImage(12, 12);
    arrow.Fill(0, 0, 0, 0);
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 12; ++x) {
        const int reach = side == 0 ? x : 11 - x;  // the point faces outwards
        if (std::abs(2 * y - 11) <= reach) arrow.Set(x, y, 255, 210, 80);
      }
    const std::string name = side == 0 ? "Menu_arrowleft.tga" : "Menu_arrowright.tga";
    WriteTga(out + "/Data/Menu/" + name, arrow);
    WriteTga(out + "/Data/Maps_low/" + name, arrow);
    WriteTga(out + "/Data/Maps_high/" + name, arrow);
  }
}

}  // namespace datagen
