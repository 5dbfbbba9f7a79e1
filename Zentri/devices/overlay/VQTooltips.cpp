#include "Zentri/devices/overlay/VQTooltips.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/overlay/VQFont.h"
#include "Zentri/devices/overlay/VQOverlayElement.h"
#include "Zentri/devices/overlay/VQWindowManager.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQlog.h"
#include "host/time/clock.h"

namespace {

constexpr int kLogLevel = 1;
constexpr int32_t kTextX = 3, kTextY = 2;  // where the text sits in the bar
constexpr int32_t kBarPadding = 6;         // bar width = text width + padding
constexpr int32_t kBarExtraHeight = 4;     // bar height = glyph height + this

struct TooltipTable {
  uint32_t count = 0;
  uintptr_t ids[VQTOOLTIP_MAX] = {};
  char* texts[VQTOOLTIP_MAX] = {};
};

TooltipTable& Table() {
  static TooltipTable table;
  return table;
}

// The bar currently created (at most one).
VQTooltips*& CurrentBar() {
  static VQTooltips* bar = nullptr;
  return bar;
}

bool Append(uintptr_t id, const char* text) {
  TooltipTable& t = Table();
  if (t.count >= VQTOOLTIP_MAX) return false;
  const size_t n = std::strlen(text);
  char* copy = new (std::nothrow) char[n + 1];
  if (!copy) return false;
  std::memcpy(copy, text, n + 1);
  t.ids[t.count] = id;
  t.texts[t.count] = copy;
  ++t.count;
  return true;
}

bool ReadU32(std::FILE* f, uint32_t* v) {
  uint8_t b[4];
  if (std::fread(b, 1, 4, f) != 4) return false;
  *v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  return true;
}

uint32_t ProgramMilliseconds() {
  static const uint64_t start = host::clock_nanoseconds();
  return uint32_t((host::clock_nanoseconds() - start) / 1000000u);
}

bool NoInput(uintptr_t, uint32_t, uint32_t, uintptr_t) { return true; }

}  // namespace

void VQtooltips_Clear() {
  TooltipTable& t = Table();
  for (uint32_t i = 0; i < t.count; ++i) {
    delete[] t.texts[i];
    t.texts[i] = nullptr;
  }
  t.count = 0;
}

uint32_t VQtooltips_Count() { return Table().count; }

const char* VQtooltips_Lookup(uintptr_t identifier) {
  const TooltipTable& t = Table();
  for (uint32_t i = 0; i < t.count; ++i)
    if (t.ids[i] == identifier) return t.texts[i];
  return nullptr;
}

bool VQtooltips_LoadFile(const char* name, bool binary) {
  std::FILE* f = name ? VQfile_Open(name, binary ? "rb" : "rt") : nullptr;
  if (!f) {
    VQlog_Printf(kLogLevel, "Cannot load tooltip file '%s'", name ? name : "");
    return false;
  }
  TooltipTable& t = Table();
  char text[VQTOOLTIP_TEXT_BYTES];
  if (!binary) {
    uint32_t line = 0;
    for (;;) {
      VQfile_SkipBlank(f);
      const int c = std::fgetc(f);
      if (c == EOF) break;
      std::ungetc(c, f);
      if (t.count >= VQTOOLTIP_MAX) {
        std::fclose(f);
        VQlog_Printf(kLogLevel, "Too many tooltips");
        return false;
      }
      // A line longer than the buffer is cut; the rest of it is passed over.
      if (!VQfile_ReadLine(f, text, sizeof text)) {
        int d;
        while ((d = std::fgetc(f)) != EOF && d != '\n') {
        }
      }
      Append(++line, text);
    }
    std::fclose(f);
    return true;
  }
  uint32_t count = 0;
  if (!ReadU32(f, &count)) {
    std::fclose(f);
    VQlog_Printf(kLogLevel, "Cannot load tooltip file '%s'", name);
    return false;
  }
  // The count is checked against the room left, not only the table size: the loader appends.
  if (count >= VQTOOLTIP_MAX || count > VQTOOLTIP_MAX - t.count) {
    std::fclose(f);
    VQlog_Printf(kLogLevel, "Too many tooltips");
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t id;
    if (!ReadU32(f, &id)) {
      std::fclose(f);
      VQlog_Printf(kLogLevel, "Cannot load tooltip file '%s'", name);
      return false;
    }
    // A text longer than the buffer is cut (the reader passes over the rest of it).
    // A text whose terminator is missing means the file was cut short.
    VQfile_ReadScrambledString(f, text, sizeof text);
    if (std::feof(f)) {
      std::fclose(f);
      VQlog_Printf(kLogLevel, "Cannot load tooltip file '%s'", name);
      return false;
    }
    Append(id, text);
  }
  std::fclose(f);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Bar

VQTooltips::VQTooltips() : m_clock(ProgramMilliseconds) { VQtooltips_Clear(); }

bool VQTooltips::Create(VQTextureManager* textures, VQPointerSource pointer, uintptr_t pointerUser,
                        VQWindowManager* manager, VQFont* font, const uint32_t* colour, const uint32_t* word) {
  m_pointer = pointer;
  m_pointerUser = pointerUser;
  if (CurrentBar()) return false;
  if (m_created) return true;
  if (!textures || !manager || !font) return false;
  m_manager = manager;
  m_textures = textures;
  m_canvas = manager->m_canvas;
  m_height = int32_t(font->m_glyphHeight) + kBarExtraHeight;
  const uint32_t c = colour ? *colour : 0xFF000000u;
  m_colour[0] = uint8_t(c);        // blue
  m_colour[1] = uint8_t(c >> 8);   // green
  m_colour[2] = uint8_t(c >> 16);  // red
  m_colour[3] = uint8_t(c >> 24);  // alpha
  m_word = word ? *word : 0;
  const size_t bytes = size_t(VQTOOLTIP_IMAGE_WIDTH) * VQTOOLTIP_IMAGE_HEIGHT * 4;
  m_colourBuffer = new (std::nothrow) uint8_t[bytes];
  if (!m_colourBuffer) return false;
  for (size_t i = 0; i < bytes; i += 4) std::memcpy(m_colourBuffer + i, m_colour, 4);
  VQTexture* texture = textures->CreateEmpty(m_colourBuffer, VQTOOLTIP_IMAGE_WIDTH, VQTOOLTIP_IMAGE_HEIGHT,
                                             VQPF_BGRA8888, nullptr, 0);
  if (texture) {
    m_image = new (std::nothrow) VQImageRef(texture);
    --texture->m_refCount;  // the creation reference: the handle keeps the texture
  }
  if (!m_image) {
    if (texture) textures->Remove(texture);
    delete[] m_colourBuffer;
    m_colourBuffer = nullptr;
    return false;
  }
  m_window = manager->CreateWindow(VQTOOLTIP_BAR_WIDTH, m_height, m_image, NoInput, reinterpret_cast<uintptr_t>(this),
                                   false);
  if (!m_window) {
    delete m_image;
    m_image = nullptr;
    delete[] m_colourBuffer;
    m_colourBuffer = nullptr;
    return false;
  }
  // The bar shows text only; it never takes the pointer or the keys from the windows below.
  m_window->m_hit = 0;
  m_window->m_movable = 0;
  manager->Raise(m_window);
  m_window->m_drawCallback = OnDraw;
  m_window->m_drawContext = reinterpret_cast<uintptr_t>(this);
  VQWindow* active = manager->m_active;
  m_window->Show();
  if (active && active != m_window) manager->SetActive(active);
  m_width = VQTOOLTIP_BAR_WIDTH;
  m_font = font;
  m_shown = m_created = 1;
  CurrentBar() = this;
  return true;
}

void VQTooltips::Destroy() {
  if (CurrentBar() == this) CurrentBar() = nullptr;
  if (m_window && m_manager) {
    m_manager->DestroyWindow(m_window);
    m_manager->m_top[1] = nullptr;
  }
  m_window = nullptr;
  delete[] m_colourBuffer;
  m_colourBuffer = nullptr;
  delete m_image;
  m_image = nullptr;
  m_created = m_shown = 0;
}

bool VQTooltips::OnDraw(VQWindow*, VQCanvas*, uintptr_t context) {
  if (!context) return false;
  reinterpret_cast<VQTooltips*>(context)->Update();
  return true;
}

void VQTooltips::Update() {
  if (!m_manager || !m_window) return;
  m_manager->m_top[1] = m_window;
  if (m_manager->m_moved) {
    m_stillFrames = 0;
    return;
  }
  ++m_stillFrames;
  if (!m_shown || !m_created) return;
  const uint32_t now = m_clock();
  if (m_stillFrames < VQTOOLTIP_STILL_FRAMES) {
    m_hoverStart = now;
    return;
  }
  const VQTooltips* current = CurrentBar();
  const float delay = current ? current->m_delay : m_delay;
  if (float(now - m_hoverStart) * 0.001f <= delay) return;
  int32_t px = m_manager->m_pointerX, py = m_manager->m_pointerY;
  if (m_pointer && !m_pointer(m_pointerUser, &px, &py)) return;
  VQOverlayElement* e = m_manager->ElementAt(px, py);
  if (!e || (!e->m_enabled && !m_showForDisabled)) return;
  const uintptr_t id = e->GetId();
  if (id == VQELEMENT_NO_TOOLTIP) return;
  const char* text = VQtooltips_Lookup(id);
  if (!text) return;

  const int32_t cw = m_canvas ? int32_t(m_canvas->m_width) : 0, ch = m_canvas ? int32_t(m_canvas->m_height) : 0;
  m_width = m_font->TextWidth(text) + kBarPadding;
  // The text cannot be wider than the image it is drawn into.
  if (m_width > int32_t(VQTOOLTIP_IMAGE_WIDTH)) m_width = int32_t(VQTOOLTIP_IMAGE_WIDTH);
  int32_t x = px < 0 ? 0 : px, y = py - m_height - 1;
  if (y < 0) y = 0;
  if (x + m_width > cw) x = cw - m_width;
  if (y + m_height > ch) y = ch - m_height;
  m_window->SetPosition(x, y);
  m_window->m_width = m_width;
  m_window->m_height = m_height;

  VQTexture* texture = m_image->m_texture;
  VQtexture_BlitPixels(texture, m_colourBuffer, 0, VQPF_BGRA8888, 0);
  m_font->DrawToImage(m_image, kTextX, kTextY, text);
  texture->Upload();

  if (m_canvas) {
    int32_t bx = px, by = py;
    if (bx + m_width > cw) bx = cw - m_width;
    if (by + m_height > ch) by = ch - m_height;
    const int32_t sx = 0, sy = 0, w = m_width, h = m_height;
    m_canvas->BlitImageRects(m_image, 1, &bx, &by, &sx, &sy, &w, &h);
  }
  m_window->Show();
}
