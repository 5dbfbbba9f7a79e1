// The small map of the track in a player's heads-up display: where on the screen the map puts a
// point of the track, which checkpoints the player still has to pass (the next one blinking),
// and the glyph of every car and visible ghost. The markers are built into fixed buffers that a
// view then draws with the map image, the checkpoint image and the marker font.
#pragma once

#include <cstdint>
#include <vector>

#include "Zentri/math/VQVector.h"

constexpr uint32_t TRACKMAP_MAX_MARKERS = 66;  // checkpoints plus twice the players
constexpr float TRACKMAP_BLINK = 0.25f;        // seconds shown, then seconds hidden

// Marker glyphs of the marker font.
enum TrackMapGlyph : uint8_t {
  TMGLYPH_BASE_OTHER = 0x2A,
  TMGLYPH_BASE_SAME = 0x34,
  TMGLYPH_BASE_ONE_BEHIND = 0x3E,  // standing = reference + 1: one place behind
  TMGLYPH_BASE_ONE_AHEAD = 0x48,   // standing = reference - 1: one place ahead
  TMGLYPH_BASE_LEADER = 0x52,
  TMGLYPH_GHOST = 0x5C,
  TMGLYPH_GHOST_OVERLAY = 0x5D,
  TMGLYPH_PLAIN_LEADER = 0x5E,
  TMGLYPH_PLAIN_OVERLAY_LEADER = 0x5F,
  TMGLYPH_OVERLAY_BASE = 0x20,
};

struct TrackMapCar {
  VQVector2 position;     // the car's reference position (track ground plane)
  uint32_t standing = 0;  // running position, 1 = leader
  bool ghostVisible = false;
  VQVector2 ghostPosition{0.0f, 0.0f};
};

class TrackMap {
 public:
  // imageW/H: the map image's size (0 without an image: nothing is drawn); extentW/H: the track's
  // map extent for this view; screen, scale, origin and mirror as the HUD gives them.
  void Init(uint32_t viewIndex, float imageW, float imageH, float extentW, float extentH,
            VQVector2 screen, float scale, VQVector2 origin, bool mirror);
  bool HasImage() const { return m_hasImage; }

  // Screen position of a track point when the map is drawn at (x, y).
  VQVector2 MapPosition(const VQVector2& p, float x, float y) const;

  // Checkpoint markers: for checkpoints 1 .. count - 2 not yet passed, the precomputed map point
  // plus (x, y); the first of them blinks (dt advances the blink timer). Returns the count.
  uint32_t BuildCheckpoints(float dt, float x, float y, const std::vector<VQVector2>& mapPoints,
                            const std::vector<uint8_t>& passed);
  // Car and ghost markers, two passes (markers, then overlays). reference: the standing of the
  // view's car; plain: the shell's plain-marker flag. Returns the glyph count (bounded).
  uint32_t BuildCars(float x, float y, const std::vector<TrackMapCar>& cars, uint32_t reference,
                     bool plain);

  uint32_t m_view = 0;
  bool m_hasImage = false;
  VQVector2 m_screen{0, 0};
  float m_scale = 1.0f;
  bool m_mirror = false;
  float m_blinkTimer = 0.0f;
  bool m_blinkShown = true;
  float m_factorX = 0.0f, m_factorY = 0.0f;
  VQVector2 m_origin{0, 0};

  uint32_t m_checkpointCount = 0;
  int32_t m_checkpointX[TRACKMAP_MAX_MARKERS] = {}, m_checkpointY[TRACKMAP_MAX_MARKERS] = {};
  uint32_t m_markerCount = 0;
  uint8_t m_glyphs[TRACKMAP_MAX_MARKERS] = {};
  int32_t m_markerX[TRACKMAP_MAX_MARKERS] = {}, m_markerY[TRACKMAP_MAX_MARKERS] = {};

 private:
  void Add(uint8_t glyph, const VQVector2& p, float x, float y);
};
