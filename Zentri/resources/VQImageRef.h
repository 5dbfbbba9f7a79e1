// VQImageRef: the small handle through which overlay elements, fonts, viewport backgrounds and
// the game's screens refer to an image, a pixmap of the display device or a texture, with the
// drawing orientation (flips and quarter turns) that the display devices apply.
#pragma once

#include <cstdint>

class VQPixmap;
class VQTexture;

class VQImageRef {
 public:
  VQImageRef() = default;
  explicit VQImageRef(VQPixmap* pixmap);   // not owned
  explicit VQImageRef(VQTexture* texture); // takes one counted reference (null: empty)
  // Drops the texture reference (the texture is released at 0); a pixmap is left alone.
  ~VQImageRef();

  uint32_t GetWidth() const;   // pixmap size or the texture's image size; 0 when empty
  uint32_t GetHeight() const;
  void GetSize(uint32_t* width, uint32_t* height) const;  // outputs unchanged when empty
  void GetSizeF(float* size) const;                       // (0, 0) when empty
  // The image's pixel; (0, 0, 0, 0) for an empty handle.
  float* GetPixel(float* rgba, uint32_t x, uint32_t y) const;
  // When both handles hold textures: copies count rectangles from source into this image
  // (blended by the source alpha; a rectangle outside either texture is skipped).
  void CopyRects(const VQImageRef& source, uint32_t count, const uint32_t* dstX, const uint32_t* dstY,
                 const uint32_t* srcX, const uint32_t* srcY, const uint32_t* width,
                 const uint32_t* height);
  void SetRotation(uint32_t quarterTurns) { m_rotation = quarterTurns; }
  void SetFlipX(uint8_t flip) { m_flipX = flip; }
  void SetFlipY(uint8_t flip) { m_flipY = flip; }
  // One more quarter turn (3 becomes 0); the flips exchange places.
  void Rotate();

  VQPixmap* m_pixmap = nullptr;
  VQTexture* m_texture = nullptr;
  uint8_t m_flipX = 0;
  uint8_t m_flipY = 0;
  uint32_t m_rotation = 0;

  VQImageRef(const VQImageRef&) = delete;
  VQImageRef& operator=(const VQImageRef&) = delete;
};
