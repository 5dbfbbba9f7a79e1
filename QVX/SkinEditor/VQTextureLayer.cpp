#include "QVX/SkinEditor/VQTextureLayer.h"

#include <cstring>
#include <filesystem>
#include <new>

#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQImageRef.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQpath.h"

namespace {

constexpr size_t kLayerBytes = size_t(SKIN_LAYER_SIZE) * SKIN_LAYER_SIZE * 4;

inline uint8_t Blend(uint32_t lower, uint32_t upper, uint32_t alpha) {
  return uint8_t((lower * (255u - alpha) + upper * alpha) / 255u);
}

uint8_t* Pixels(VQTexture* texture) {
  if (!texture || texture->m_format != VQPF_BGRA8888) return nullptr;
  uint32_t pitch = 0;
  auto* p = static_cast<uint8_t*>(texture->Lock(&pitch, 0));
  if (!p || pitch != texture->m_width) return nullptr;
  return p;
}

// dst = upper blended over lower by upper's alpha; dst alpha = lower's alpha. dst may be upper.
void BlendOver(VQTexture* dst, VQTexture* lower, VQTexture* upper) {
  uint8_t* d = Pixels(dst);
  const uint8_t* l = Pixels(lower);
  const uint8_t* u = Pixels(upper);
  if (!d || !l || !u) return;
  for (size_t i = 0; i < kLayerBytes; i += 4) {
    const uint32_t a = u[i + 3];
    d[i + 0] = Blend(l[i + 0], u[i + 0], a);
    d[i + 1] = Blend(l[i + 1], u[i + 1], a);
    d[i + 2] = Blend(l[i + 2], u[i + 2], a);
    d[i + 3] = l[i + 3];
  }
}

void CopyImage(VQTexture* dst, VQTexture* src) {
  uint8_t* d = Pixels(dst);
  const uint8_t* s = Pixels(src);
  if (d && s && d != s) std::memcpy(d, s, kLayerBytes);
}

}  // namespace

int32_t SkinTexture_Release(VQTexture* texture) {
  if (!texture) return 0;
  const int32_t left = --texture->m_refCount;
  if (left <= 0) texture->Release();
  return left < 0 ? 0 : left;
}

uint8_t* SkinTexture_Pixel(VQTexture* texture, uint32_t x, uint32_t y) {
  if (!texture || texture->m_format != VQPF_BGRA8888 || x >= texture->m_width ||
      y >= texture->m_height)
    return nullptr;
  uint32_t pitch = 0;
  auto* p = static_cast<uint8_t*>(texture->Lock(&pitch, 0));
  return p ? p + (size_t(y) * pitch + x) * 4 : nullptr;
}

void SkinTexture_Fill(VQTexture* texture, uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha) {
  if (!texture || texture->m_format != VQPF_BGRA8888) return;
  uint32_t pitch = 0;
  auto* p = static_cast<uint8_t*>(texture->Lock(&pitch, 0));
  if (!p) return;
  for (uint32_t y = 0; y < texture->m_height; ++y) {
    uint8_t* row = p + size_t(y) * pitch * 4;
    for (uint32_t x = 0; x < texture->m_width; ++x) {
      row[4 * x + 0] = blue;
      row[4 * x + 1] = green;
      row[4 * x + 2] = red;
      row[4 * x + 3] = alpha;
    }
  }
}

bool SkinTexture_IsLayerImage(const VQTexture* texture) {
  if (!texture || texture->m_width != SKIN_LAYER_SIZE || texture->m_height != SKIN_LAYER_SIZE)
    return false;
  switch (texture->m_format) {
    case VQPF_BGR888:
    case VQPF_RGB888:
    case VQPF_BGRA8888:
    case VQPF_ARGB8888:
    case VQPF_RGBA8888:
    case VQPF_ABGR8888: return true;
    default: return false;
  }
}

bool SkinTexture_CopyOver(VQTexture* target, VQTexture* source) {
  if (!target || !source || source->m_width != target->m_width ||
      source->m_height != target->m_height)
    return false;
  uint32_t tp = 0, sp = 0;
  void* t = target->Lock(&tp, 0);
  const void* s = source->Lock(&sp, 0);
  if (!t || !s) return false;
  VQBlitOptions plain;
  plain.forceAlpha = VQPixelFormat_HasAlpha(source->m_format) ? 0 : 1;
  VQpixels_Blit(t, tp, target->m_format, t, tp, s, source->m_width, source->m_height, sp,
                source->m_format, plain);
  return true;
}

VQTextureLayer::VQTextureLayer(const char* name, const char* filePrefix,
                               VQTextureManager* viewTextures, VQTextureManager* imageTextures,
                               VQTextureLayer* below, VQTextureLayer* above, bool withUndo,
                               SkinNumberPreview* preview)
    : m_below(below),
      m_above(above),
      m_viewTextures(viewTextures),
      m_imageTextures(imageTextures),
      m_name(name ? name : ""),
      m_filePrefix(filePrefix ? filePrefix : ""),
      m_preview(preview) {
  m_composite = NewImage(imageTextures);
  if (withUndo) {
    for (VQTexture*& u : m_undo) u = NewImage(imageTextures);
    m_paint = NewImage(imageTextures);
  } else {
    m_fill = NewImage(imageTextures);
  }
  if (VQTexture* view = NewImage(viewTextures, true)) {
    view->SetSampling(VQWRAP_KEEP, VQWRAP_KEEP, VQFILTER_NEAREST, VQFILTER_NEAREST);
    m_view = new (std::nothrow) VQImageRef(view);
    SkinTexture_Release(view);  // the handle holds the texture alone
  }
  if (Ok()) Composite(true);
}

VQTextureLayer::~VQTextureLayer() {
  for (VQTexture*& u : m_undo) {
    SkinTexture_Release(u);
    u = nullptr;
  }
  delete m_view;
  SkinTexture_Release(m_fill);
  SkinTexture_Release(m_paint);
  SkinTexture_Release(m_alpha);
  SkinTexture_Release(m_composite);
}

bool VQTextureLayer::Ok() const {
  if (!m_composite || !m_view || !m_view->m_texture) return false;
  if (m_paint) {
    for (VQTexture* u : m_undo)
      if (!u) return false;
    return true;
  }
  return m_fill != nullptr;
}

VQTexture* VQTextureLayer::NewImage(VQTextureManager* manager, bool forView) const {
  if (!manager || !manager->m_device) return nullptr;
  uint8_t* pixels = new (std::nothrow) uint8_t[kLayerBytes];
  if (!pixels) return nullptr;
  for (size_t i = 0; i < kLayerBytes; i += 4) {
    pixels[i] = pixels[i + 1] = pixels[i + 2] = SKIN_EMPTY_GREY;
    pixels[i + 3] = 0;
  }
  VQTexture* t =
      manager->CreateEmpty(pixels, SKIN_LAYER_SIZE, SKIN_LAYER_SIZE, VQPF_BGRA8888, nullptr, 0);
  delete[] pixels;
  // A display device may keep the view in its own 32-bit order (RGBA on OpenGL): the view
  // then gets the composite converted; every other image must be BGRA in memory.
  uint32_t pitch = 0;
  const bool usable = t && (forView ? VQPixelFormat_BytesPerPixel(t->m_format) == 4 &&
                                          t->Lock(&pitch, 0) && pitch == t->m_width
                                    : Pixels(t) != nullptr);
  if (t && !usable) {
    SkinTexture_Release(t);
    return nullptr;
  }
  return t;
}

bool VQTextureLayer::EnsureAlpha() {
  if (m_alpha) return true;
  m_alpha = NewImage(m_imageTextures);
  if (!m_alpha) return false;
  SkinTexture_Fill(m_alpha, 255, 255, 255, 255);
  return true;
}

void VQTextureLayer::Invalidate() {
  for (VQTextureLayer* l = this; l; l = l->m_above) l->m_valid = false;
}

bool VQTextureLayer::IsValid() const {
  for (const VQTextureLayer* l = this; l; l = l->m_below)
    if (!l->m_valid) return false;
  return true;
}

void VQTextureLayer::Composite(bool updateView) {
  if (m_valid && (!m_below || m_below->IsValid())) return;
  if (m_below) m_below->Composite(false);
  if (m_paint) {
    if (m_below)
      BlendOver(m_composite, m_below->m_composite, m_paint);
    else
      CopyImage(m_composite, m_paint);
  } else {
    CopyImage(m_composite, m_fill);
    if (m_alpha) {
      uint8_t* c = Pixels(m_composite);
      const uint8_t* a = Pixels(m_alpha);
      if (c && a)
        for (size_t i = 3; i < kLayerBytes; i += 4) c[i] = a[i];
    }
    if (m_below) {
      m_below->Composite(true);
      BlendOver(m_composite, m_below->m_composite, m_composite);
    }
  }
  if (updateView && m_view && m_view->m_texture) {
    if (m_view->m_texture->m_format == m_composite->m_format)
      CopyImage(m_view->m_texture, m_composite);
    else
      SkinTexture_CopyOver(m_view->m_texture, m_composite);
    if (m_preview && m_preview->on && m_preview->paint)
      m_preview->paint(m_view->m_texture, m_preview->classIndex, m_preview->user);
    m_view->m_texture->Upload();
  }
  m_valid = true;
}

void VQTextureLayer::SaveUndo() {
  if (!m_paint) return;
  VQTexture* oldest = m_undo[0];
  std::memmove(&m_undo[0], &m_undo[1], sizeof(VQTexture*) * (SKIN_UNDO_DEPTH - 1));
  CopyImage(oldest, m_paint);
  m_undo[SKIN_UNDO_DEPTH - 1] = oldest;
}

void VQTextureLayer::Undo() {
  if (!m_paint) return;
  Invalidate();
  VQTexture* former = m_paint;
  m_paint = m_undo[SKIN_UNDO_DEPTH - 1];
  std::memmove(&m_undo[1], &m_undo[0], sizeof(VQTexture*) * (SKIN_UNDO_DEPTH - 1));
  m_undo[0] = former;
  CopyImage(m_undo[0], m_undo[1]);  // the oldest state stays, twice
  Composite(true);
}

void VQTextureLayer::Clear() {
  if (m_paint) {
    SaveUndo();
    SkinTexture_Fill(m_paint, SKIN_EMPTY_GREY, SKIN_EMPTY_GREY, SKIN_EMPTY_GREY, 0);
  }
  if (m_alpha) SkinTexture_Fill(m_alpha, 0, 0, 0, 0);
  if (m_fill) SkinTexture_Fill(m_fill, SKIN_EMPTY_GREY, SKIN_EMPTY_GREY, SKIN_EMPTY_GREY, 0);
  Invalidate();
  Composite(true);
  Invalidate();  // the next composite runs again
}

bool VQTextureLayer::SetPattern(VQTexture* texture) {
  if (!m_fill || !SkinTexture_IsLayerImage(texture)) return false;
  Invalidate();
  SkinTexture_CopyOver(m_fill, texture);
  Composite(true);
  return true;
}

bool VQTextureLayer::SetAlpha(VQTexture* texture) {
  if (!SkinTexture_IsLayerImage(texture) || !EnsureAlpha()) return false;
  Invalidate();
  SkinTexture_CopyOver(m_alpha, texture);
  Composite(true);
  return true;
}

VQTexture* VQTextureLayer::ReadImage(const std::string& path) const {
  if (!m_imageTextures || !m_imageTextures->m_device || !VQfile_Exists(path.c_str()))
    return nullptr;
  VQTexture* t = m_imageTextures->m_device->CreateTextureFromFile(path.c_str(), 1, 0);
  if (t && !SkinTexture_IsLayerImage(t)) {
    SkinTexture_Release(t);
    return nullptr;
  }
  return t;
}

bool VQTextureLayer::LoadAlpha(const char* suffix) {
  VQTexture* t = ReadImage(m_folder + "\\" + m_filePrefix + (suffix ? suffix : ""));
  if (!t) return false;
  bool ok = false;
  if (EnsureAlpha()) {
    Invalidate();
    SkinTexture_CopyOver(m_alpha, t);
    Composite(true);
    ok = true;
  }
  SkinTexture_Release(t);
  return ok;
}

void VQTextureLayer::Fill(uint8_t red, uint8_t green, uint8_t blue) {
  if (!m_fill) return;
  Invalidate();
  SkinTexture_Fill(m_fill, red, green, blue, 255);
  Composite(true);
}

void VQTextureLayer::PaintImage(VQTexture* target, int32_t x, int32_t y, VQTexture* brush,
                                uint8_t keyRed, uint8_t keyGreen, uint8_t keyBlue,
                                bool sourceAlpha) {
  if (!target || !brush || target->m_format != VQPF_BGRA8888 || brush->m_format != VQPF_BGRA8888)
    return;
  uint32_t tp = 0, bp = 0;
  auto* t = static_cast<uint8_t*>(target->Lock(&tp, 0));
  auto* b = static_cast<uint8_t*>(brush->Lock(&bp, 0));
  if (!t || !b) return;
  // Clip in 64 bits: positions come from the mouse and may lie anywhere.
  int64_t sx = 0, sy = 0, dx = x, dy = y;
  int64_t w = brush->m_width, h = brush->m_height;
  if (dx < 0) {
    sx = -dx;
    w += dx;
    dx = 0;
  }
  if (dy < 0) {
    sy = -dy;
    h += dy;
    dy = 0;
  }
  if (dx + w > int64_t(target->m_width)) w = int64_t(target->m_width) - dx;
  if (dy + h > int64_t(target->m_height)) h = int64_t(target->m_height) - dy;
  if (w <= 0 || h <= 0) return;
  for (int64_t row = 0; row < h; ++row) {
    const uint8_t* s = b + (size_t(sy + row) * bp + size_t(sx)) * 4;
    uint8_t* d = t + (size_t(dy + row) * tp + size_t(dx)) * 4;
    for (int64_t col = 0; col < w; ++col, s += 4, d += 4) {
      const uint32_t a = s[3];
      if (sourceAlpha) {
        if (a == 0) {
          d[0] = d[1] = d[2] = SKIN_EMPTY_GREY;
          d[3] = 0;
        }
        continue;
      }
      if (s[0] == keyBlue && s[1] == keyGreen && s[2] == keyRed) continue;
      d[0] = Blend(d[0], s[0], a);
      d[1] = Blend(d[1], s[1], a);
      d[2] = Blend(d[2], s[2], a);
      d[3] = uint8_t(d[3] + a > 255 ? 255 : d[3] + a);
    }
  }
}

uint32_t VQTextureLayer::Load(const char* baseName) {
  const std::string base = m_folder + "\\" + (baseName ? baseName : "");
  uint32_t taken = 0;
  auto take = [&](VQTexture* into, const char* suffix) {
    if (!into) return;
    if (VQTexture* t = ReadImage(base + suffix)) {
      if (SkinTexture_CopyOver(into, t)) ++taken;
      SkinTexture_Release(t);
    }
  };
  if (m_paint) {
    take(m_paint, "_Edit.tga");
  } else {
    take(m_fill, "_UnderLayer.tga");
    take(m_alpha, "_Alpha.tga");
  }
  if (taken) Invalidate();
  return taken;
}

bool VQTextureLayer::Save(const char* baseName) const {
  const std::string base = m_folder + "\\" + (baseName ? baseName : "");
  const size_t cut = base.find_last_of('\\');
  if (cut != std::string::npos) {
    std::error_code ec;
    std::filesystem::create_directories(VQpath_Resolve(base.substr(0, cut)), ec);
  }
  bool ok = true;
  if (m_paint) {
    ok = m_paint->SaveFile((base + "_Edit.tga").c_str(), VQIMAGE_TGA, VQIMAGE_RAW, 0);
  } else {
    ok =
        m_fill && m_fill->SaveFile((base + "_UnderLayer.tga").c_str(), VQIMAGE_TGA, VQIMAGE_RAW, 0);
    if (m_alpha)
      ok = m_alpha->SaveFile((base + "_Alpha.tga").c_str(), VQIMAGE_TGA, VQIMAGE_RAW, 0) && ok;
  }
  return ok;
}
