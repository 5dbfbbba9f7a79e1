// The layers of a skin being painted. A skin is a stack of 256 x 256 images of pixel format
// 11 (blue, green, red, alpha bytes), composited from the bottom up into the texture the car
// shows. Layers the player paints on ("edit" layers) keep a ring of 15 undo images; the others
// are filled from a pattern, a stripe mask or a plain colour and may carry an alpha image that
// limits where they show. Every layer keeps the composite of itself over everything below it
// and an on-screen copy of that composite in the display device's texture cache.
//
// Rows of every image are stored bottom row first, as the image readers deliver them.
#pragma once

#include <cstdint>
#include <string>

class VQImageRef;
class VQTexture;
class VQTextureManager;

constexpr uint32_t SKIN_LAYER_SIZE = 256;  // width and height of every layer image
constexpr uint32_t SKIN_UNDO_DEPTH = 15;
// The empty pixel: a fresh image is (253, 253, 253) and fully transparent. The same colour is
// the colour key of the painting brushes.
constexpr uint8_t SKIN_EMPTY_GREY = 253;

// The race-number preview: when on, the composite shown on screen carries the number 1 painted
// the way the edited class paints its race numbers. paint may be null (no preview possible).
struct SkinNumberPreview {
  bool on = false;
  int32_t classIndex = 0;
  void (*paint)(VQTexture* texture, int32_t classIndex, uintptr_t user) = nullptr;
  uintptr_t user = 0;
};

// Drops one reference of a texture, destroying it at zero; gives the remaining count.
int32_t SkinTexture_Release(VQTexture* texture);
// Pixel access on a format-11 texture of level 0 (null when it has no pixels).
uint8_t* SkinTexture_Pixel(VQTexture* texture, uint32_t x, uint32_t y);
// Sets every pixel of a format-11 texture.
void SkinTexture_Fill(VQTexture* texture, uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha);
// Copies a whole image of the same size (any format the blitter converts) into a format-11
// texture; false, target unchanged, for another size or no pixels.
bool SkinTexture_CopyOver(VQTexture* target, VQTexture* source);
// True when an image read from a file can stand in for a layer image: exactly 256 x 256 and a
// 24- or 32-bit colour format. Anything else would leave stale pixels or be read wrongly.
bool SkinTexture_IsLayerImage(const VQTexture* texture);

class VQTextureLayer {
 public:
  // Creates the composite, and either the paint image with 15 undo images (withUndo) or the
  // fill image, all empty, in imageTextures; the view texture in viewTextures (either manager
  // may be the same). Then composites once with the view update. Check Ok() afterwards.
  VQTextureLayer(const char* name, const char* filePrefix, VQTextureManager* viewTextures,
                 VQTextureManager* imageTextures, VQTextureLayer* below, VQTextureLayer* above,
                 bool withUndo, SkinNumberPreview* preview = nullptr);
  ~VQTextureLayer();
  VQTextureLayer(const VQTextureLayer&) = delete;
  VQTextureLayer& operator=(const VQTextureLayer&) = delete;

  // False when an image could not be created (the layer must not be used then).
  bool Ok() const;
  bool IsEditLayer() const { return m_paint != nullptr; }

  // Clears valid here and on every layer above.
  void Invalidate();
  // Valid here and on every layer below.
  bool IsValid() const;
  // Rebuilds the composite of this layer and of the out-of-date layers below it.
  void Composite(bool updateView);

  void SaveUndo();
  // Steps back one saved state; there is no redo. After 15 undos in a row every further undo
  // gives the oldest state again.
  void Undo();
  void Clear();
  // Copies a whole 256 x 256 image over the fill image (pattern) or the alpha image (stripe
  // mask). Images of another size or format are refused (false, layer unchanged).
  bool SetPattern(VQTexture* texture);
  bool SetAlpha(VQTexture* texture);
  // Loads m_folder \ file prefix + suffix as the alpha image; a missing or unfit file leaves
  // the layer as it was (false).
  bool LoadAlpha(const char* suffix);
  // Only layers without undo are filled: every fill pixel becomes (r, g, b, 255).
  void Fill(uint8_t red, uint8_t green, uint8_t blue);

  // Draws a brush into target with its top-left corner at (x, y), clipped at the edges.
  // Brush pixels of the key colour are skipped; the others blend by the brush alpha, and
  // the target alpha rises by the brush alpha up to 255. With sourceAlpha (the eraser) the
  // brush is a stencil: where its alpha is 0 the target becomes the empty pixel, elsewhere
  // it stays as it is. Both images must be format 11.
  static void PaintImage(VQTexture* target, int32_t x, int32_t y, VQTexture* brush, uint8_t keyRed,
                         uint8_t keyGreen, uint8_t keyBlue, bool sourceAlpha);

  // The layer's images under m_folder \ base name + "_Edit.tga" (edit layer) or
  // "_UnderLayer.tga" and "_Alpha.tga". Load skips missing files and refuses files of the
  // wrong size or format (counted in the result: the number of images taken).
  uint32_t Load(const char* baseName);
  bool Save(const char* baseName) const;

  bool m_valid = false;
  VQTextureLayer* m_below = nullptr;
  VQTextureLayer* m_above = nullptr;
  VQTextureManager* m_viewTextures = nullptr;
  VQTextureManager* m_imageTextures = nullptr;
  std::string m_name;
  std::string m_filePrefix;
  // The folder of the saved layers and stripe masks (the skin editor's data folder).
  std::string m_folder;
  VQImageRef* m_view = nullptr;
  VQTexture* m_fill = nullptr;
  VQTexture* m_paint = nullptr;
  VQTexture* m_alpha = nullptr;
  VQTexture* m_composite = nullptr;
  VQTexture* m_undo[SKIN_UNDO_DEPTH] = {};  // oldest first
  SkinNumberPreview* m_preview = nullptr;   // not owned; may be null

 private:
  VQTexture* NewImage(VQTextureManager* manager, bool forView = false) const;
  bool EnsureAlpha();
  // Reads an image file refusing unfit ones; the texture is the caller's (released with
  // SkinTexture_Release).
  VQTexture* ReadImage(const std::string& path) const;
};
