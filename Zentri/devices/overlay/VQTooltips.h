// Tooltips: a one-line help text shown next to the mouse pointer once it has rested over an
// overlay element for a moment. The texts come from a tooltip file loaded into one table of at
// most 256 entries, keyed by the element's identifier (VQOverlayElement::GetId). The bar is a
// 640-pixel-wide overlay window kept above all others; its background is a 256 x 64 texture of
// one colour into which the text is drawn, and that texture is put on the canvas beside the
// pointer. At most one bar exists at a time.
//
// Tooltip files: text, one tooltip per line, identifiers 1, 2, 3... in line order (leading
// blanks and empty lines skipped); or binary, little-endian: a count below 256, then per entry
// a 4-byte identifier and a scrambled zero-terminated text. Texts are cut to 255 bytes.
#pragma once

#include <cstdint>

class VQCanvas;
class VQFont;
class VQImageRef;
class VQTextureManager;
class VQWindow;
class VQWindowManager;

constexpr uint32_t VQTOOLTIP_MAX = 256;
constexpr uint32_t VQTOOLTIP_TEXT_BYTES = 256;  // longest text + 1
constexpr uint32_t VQTOOLTIP_IMAGE_WIDTH = 256, VQTOOLTIP_IMAGE_HEIGHT = 64;
constexpr int32_t VQTOOLTIP_BAR_WIDTH = 640;
constexpr uint32_t VQTOOLTIP_STILL_FRAMES = 4;  // the wait starts on the fourth still frame

// Appends the file's tooltips to the table. Unopenable file: "Cannot load tooltip file '%s'"
// at level 1, false. More than 256 entries: "Too many tooltips", false (a text file keeps
// the lines read; a binary file's count of 256 or more, or one that would overfill the table,
// adds nothing). A binary file cut short keeps the entries read and gives false.
bool VQtooltips_LoadFile(const char* name, bool binary);
// The text of the first entry with the identifier, or null.
const char* VQtooltips_Lookup(uintptr_t identifier);
// Empties the table (also done by the VQTooltips constructor).
void VQtooltips_Clear();
uint32_t VQtooltips_Count();

// Where the bar reads the pointer (canvas pixels, y up): the mouse device's position. Without
// one the bar uses the last position the window manager's events carried.
using VQPointerSource = bool (*)(uintptr_t user, int32_t* x, int32_t* y);
// Milliseconds since the program started (replaceable for tests).
using VQMillisecondClock = uint32_t (*)();

class VQTooltips {
 public:
  VQTooltips();  // empties the tooltip table
  ~VQTooltips() { Destroy(); }
  VQTooltips(const VQTooltips&) = delete;
  VQTooltips& operator=(const VQTooltips&) = delete;

  // colour: 0xAARRGGBB. False when another bar is current (or this one already is), when the
  // texture cannot be made, or the window cannot be created.
  bool Create(VQTextureManager* textures, VQPointerSource pointer, uintptr_t pointerUser, VQWindowManager* manager,
              VQFont* font, const uint32_t* colour, const uint32_t* word);
  void Destroy();
  // The bar window's draw callback: the per-frame update (context = the bar).
  static bool OnDraw(VQWindow* window, VQCanvas* canvas, uintptr_t context);
  void Update();

  uint8_t* m_colourBuffer = nullptr;  // 256 x 64 pixels of blue, green, red, alpha
  VQPointerSource m_pointer = nullptr;
  uintptr_t m_pointerUser = 0;
  uint32_t m_stillFrames = 0;
  VQImageRef* m_image = nullptr;  // owned
  VQTextureManager* m_textures = nullptr;
  VQWindow* m_window = nullptr;
  VQWindowManager* m_manager = nullptr;
  VQFont* m_font = nullptr;
  uint8_t m_shown = 0, m_created = 0;
  int32_t m_width = 0, m_width2 = VQTOOLTIP_BAR_WIDTH;
  int32_t m_height = 0;
  float m_delay = 0.5f;  // seconds the pointer must rest
  VQCanvas* m_canvas = nullptr;
  uint8_t m_showForDisabled = 0;
  uint8_t m_colour[4] = {};  // blue, green, red, alpha
  uint32_t m_word = 0;
  uint32_t m_hoverStart = 0;  // milliseconds
  VQMillisecondClock m_clock;
};
