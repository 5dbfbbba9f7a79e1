// The blitter: copies a rectangle between buffers of any two pixel formats 2..16, converting
// channel by channel, optionally blending by the source alpha, honouring a colour key and
// deriving the written alpha in several ways. Pitches are row lengths in pixels.
#pragma once

#include <cstdint>

// Options of a blit (each a byte in the original call shape: 0 off, anything else on).
struct VQBlitOptions {
  uint8_t blend = 0;        // blend by the source alpha
  uint8_t alphaOnly = 0;    // write only the alpha field into the background pixel
  uint8_t addAlpha = 0;     // written alpha = background alpha + alpha, at most 255
  uint8_t colourKey = 0;    // enable the key test (blend path only)
  uint8_t keyRed = 0, keyGreen = 0, keyBlue = 0;
  uint8_t forceAlpha = 0;   // written alpha 255
  uint8_t keepAlpha = 0;    // written alpha = background alpha
  uint8_t invertAlpha = 0;  // written alpha = 255 - alpha, applied last
  uint8_t plainAlpha = 0;   // turns addAlpha and keepAlpha off
};

// Blits width x height pixels from src into dst; `background` is read as the destination's
// current content (most callers pass dst itself and its pitch). Same formats without blending
// (or with a source without alpha) are a plain copy that ignores every other option. A format
// outside 2..16 writes nothing.
void VQpixels_Blit(void* dst, uint32_t dstPitch, uint32_t dstFormat, const void* background,
                   uint32_t backgroundPitch, const void* src, uint32_t width, uint32_t height,
                   uint32_t srcPitch, uint32_t srcFormat, const VQBlitOptions& options);

// Blits a rectangle between two buffers at the given origins, the destination being its own
// background. Nothing happens unless the rectangle lies inside both buffers.
void VQpixels_BlitRect(void* dst, uint32_t dstWidth, uint32_t dstHeight, uint32_t dstPitch,
                       uint32_t dstX, uint32_t dstY, uint32_t dstFormat, const void* src,
                       uint32_t srcWidth, uint32_t srcHeight, uint32_t srcPitch, uint32_t srcX,
                       uint32_t srcY, uint32_t width, uint32_t height, uint32_t srcFormat,
                       const VQBlitOptions& options);
