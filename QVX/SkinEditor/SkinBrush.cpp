#include "QVX/SkinEditor/SkinBrush.h"

#include <new>
#include <vector>

#include "QVX/SkinEditor/VQTextureLayer.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/resources/VQTexture.h"

void SkinBrushState::Set(VQTexture* texture, bool eraser) {
  if (!texture) return;
  Release();
  brush = texture;
  width = texture->m_width;
  height = texture->m_height;
  sourceAlpha = eraser;
  notReady = 0;
}

void SkinBrushState::Release() {
  SkinTexture_Release(brush);
  brush = nullptr;
  width = height = 0;
}

namespace {

// The image as width x height pixels of blue, green, red, alpha (row 0 = stored row 0).
bool ReadBgra(VQTexture* image, std::vector<uint8_t>& out) {
  if (!image || image->m_width == 0 || image->m_height == 0) return false;
  uint32_t pitch = 0;
  const void* p = image->Lock(&pitch, 0);
  if (!p || image->m_format < VQPF_RGB565 || image->m_format > VQPF_RGBX8888) return false;
  out.assign(size_t(image->m_width) * image->m_height * 4, 0);
  VQBlitOptions plain;
  VQpixels_Blit(out.data(), image->m_width, VQPF_BGRA8888, out.data(), image->m_width, p,
                image->m_width, image->m_height, pitch, image->m_format, plain);
  return true;
}

VQTexture* MakeTexture(VQTextureManager* textures, const std::vector<uint8_t>& pixels, uint32_t w,
                       uint32_t h) {
  if (!textures || !textures->m_device) return nullptr;
  return textures->CreateEmpty(pixels.data(), w, h, VQPF_BGRA8888, nullptr, 0);
}

}  // namespace

VQTexture* SkinBrush_Build(VQTextureManager* textures, VQTexture* image, uint8_t red, uint8_t green,
                           uint8_t blue, bool eraser) {
  std::vector<uint8_t> px;
  if (!ReadBgra(image, px)) return nullptr;
  for (size_t i = 0; i < px.size(); i += 4) {
    uint8_t a = px[i + 3];
    if (eraser) {
      a = uint8_t(255 - a);
      if (a != 255) a = 0;
    }
    px[i + 0] = blue;
    px[i + 1] = green;
    px[i + 2] = red;
    px[i + 3] = a;
  }
  return MakeTexture(textures, px, image->m_width, image->m_height);
}

VQTexture* SkinBrush_Transform(VQTextureManager* textures, VQTexture* image, bool flipX, bool flipY,
                               uint32_t quarterTurns) {
  std::vector<uint8_t> px;
  if (!ReadBgra(image, px)) return nullptr;
  uint32_t w = image->m_width, h = image->m_height;
  if (flipX) VQpixels_FlipHorizontal(px.data(), w, h, w, VQPF_BGRA8888);
  if (flipY) VQpixels_FlipVertical(px.data(), w, h, w, VQPF_BGRA8888);
  for (uint32_t t = 0; t < quarterTurns % 4; ++t) {
    VQpixels_Rotate90(px.data(), w, h, w, VQPF_BGRA8888);
    std::swap(w, h);
  }
  return MakeTexture(textures, px, w, h);
}

bool SkinBrush_Texel(int32_t x, int32_t y, uint32_t zoom, int32_t left, int32_t bottom,
                     uint32_t imageWidth, uint32_t imageHeight, uint32_t* texelX,
                     uint32_t* texelY) {
  if (zoom == 0) return false;
  const uint32_t tx = uint32_t(x) / zoom + uint32_t(left);
  const uint32_t ty = uint32_t(y) / zoom + uint32_t(bottom);
  if (tx >= imageWidth || ty >= imageHeight) return false;
  *texelX = tx;
  *texelY = ty;
  return true;
}

bool SkinBrush_Stamp(const SkinBrushState& state, VQTextureLayer* layer, uint32_t texelX,
                     uint32_t texelY) {
  if (state.notReady != 0 || !state.brush || !layer || !layer->m_paint) return false;
  const int32_t x = int32_t(texelX) - int32_t(state.width / 2);
  const int32_t y = int32_t(texelY) - int32_t(state.height / 2);
  VQTextureLayer::PaintImage(layer->m_paint, x, y, state.brush, SKIN_EMPTY_GREY, SKIN_EMPTY_GREY,
                             SKIN_EMPTY_GREY, state.sourceAlpha);
  layer->Invalidate();
  layer->Composite(true);
  layer->Invalidate();
  return true;
}
