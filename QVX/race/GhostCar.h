// The ghost car of practice: a human player's lap is recorded frame by frame (body and wheel
// poses) and played back as a translucent copy of the same car on the next lap. Two recordings
// live in memory (nothing is written to disk): one being recorded, one being played back; each
// holds at most `capacity` frames, and a longer lap keeps its first `capacity` frames.
#pragma once

#include <cstdint>
#include <vector>

#include "Zentri/math/VQQuaternion.h"
#include "Zentri/math/VQVector.h"

class Car;
class VQNode;
class VQGroupNode;
class VQTransformNode;
class VQMaterial;

class GhostCar {
 public:
  static constexpr int kParts = 5;  // body, then wheels lf, rf, lr, rr

  // Builds the "ghost" group (not yet shown) with translucent clones of the car's body and
  // wheel geosets. car and parent are not owned.
  GhostCar(uint32_t capacity, Car* car, VQNode* parent, float interval);
  ~GhostCar();
  GhostCar(const GhostCar&) = delete;
  GhostCar& operator=(const GhostCar&) = delete;

  // No playback, recording into the first buffer from frame 0, ghost hidden and in the parent.
  void Reset();
  // Ghost hidden and taken out of the parent.
  void Remove();
  // At a lap's end. start and switchBuffers: the lap just recorded is played back and recording
  // moves to the other buffer; start alone: playback restarts; not start: ghost hidden and
  // playback stopped (switchBuffers still moves recording). The recording buffer starts empty.
  void Swap(bool start, bool switchBuffers);
  // Records one frame of the car and advances playback by dt. True.
  bool Advance(float dt);
  // The ghost body position during playback (interpolated), else (0, 0, 0).
  VQVector GetPosition() const;
  bool IsVisible() const;
  uint32_t GetRecordedFrames() const { return m_recording ? m_recording->count : 0; }
  uint32_t GetCapacity() const { return m_capacity; }
  VQNode* GetGroup() const;
  const VQTransformNode* GetPartNode(int part) const {
    return part >= 0 && part < kParts ? m_nodes[part] : nullptr;
  }

 private:
  struct Recording {
    std::vector<float> times;
    std::vector<VQQuaternion> rotations;  // kParts per frame
    std::vector<VQVector> positions;      // kParts per frame
    uint32_t count = 0;
    uint32_t index = 0;  // playback frame
    float accumulated = 0.0f;
  };
  void Record(float dt);
  void Play(float dt);

  uint32_t m_capacity;
  Recording m_buffers[2];
  Car* m_car;
  Recording* m_recording = nullptr;
  Recording* m_playing = nullptr;
  float m_interval;
  VQNode* m_parent;
  VQGroupNode* m_group = nullptr;
  VQTransformNode* m_nodes[kParts] = {};
  std::vector<VQMaterial*> m_materials;
};
