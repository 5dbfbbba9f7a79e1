// The painting brush of the skin editor: built from a brush, eraser or icon image, stamped
// into the selected layer's paint image where the mouse holds the left button down.
#pragma once

#include <cstdint>

class VQTexture;
class VQTextureManager;
class VQTextureLayer;

// The brush the texture edit dialog paints with. notReady is 2 until a brush or an icon has
// been chosen and 0 afterwards: only then does the paint area paint.
struct SkinBrushState {
  VQTexture* brush = nullptr;  // format 11, one reference held
  uint32_t width = 0, height = 0;
  uint32_t notReady = 2;
  bool sourceAlpha = false;  // the eraser
  // Replaces the brush (the old one released); the state becomes ready.
  void Set(VQTexture* texture, bool eraser);
  void Release();
};

// A format-11 texture of the image's size in the colour, taking the image's alpha. For the
// eraser the alpha is inverted and every pixel whose alpha is not 255 gets 0, so that the shape
// of the image is where the eraser clears. Null when the image has no pixels.
VQTexture* SkinBrush_Build(VQTextureManager* textures, VQTexture* image, uint8_t red, uint8_t green,
                           uint8_t blue, bool eraser);
// A format-11 copy of an icon in its own colours, flipped and turned by quarter turns (width
// and height swap for an odd number of turns). Null when the image has no pixels.
VQTexture* SkinBrush_Transform(VQTextureManager* textures, VQTexture* image, bool flipX, bool flipY,
                               uint32_t quarterTurns);
// The texel under a point of the paint area (element-relative, y up) at the zoom, with the
// view's source rectangle starting at (left, bottom). False for a point left of or below the
// area (unsigned division: those become huge) or outside the image.
bool SkinBrush_Texel(int32_t x, int32_t y, uint32_t zoom, int32_t left, int32_t bottom,
                     uint32_t imageWidth, uint32_t imageHeight, uint32_t* texelX, uint32_t* texelY);
// Stamps the brush centred on the texel into the layer's paint image (key colour: the empty
// grey) and composites the layer with its view; marks it and the layers above out of date.
// False when the brush is not ready or the layer keeps no paint image.
bool SkinBrush_Stamp(const SkinBrushState& state, VQTextureLayer* layer, uint32_t texelX,
                     uint32_t texelY);
