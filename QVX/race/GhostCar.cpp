#include "QVX/race/GhostCar.h"

#include <algorithm>

#include "QVX/race/Car.h"
#include "Zentri/math/VQMatrix.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNode.h"
#include "Zentri/scene/VQNodes.h"

namespace {
const char* const kGeosets[GhostCar::kParts] = {"m_body", "m_whl_lf", "m_whl_rf", "m_whl_lr",
                                                "m_whl_rr"};
}

GhostCar::GhostCar(uint32_t capacity, Car* car, VQNode* parent, float interval)
    : m_capacity(capacity), m_car(car), m_interval(interval), m_parent(parent) {
  for (Recording& r : m_buffers) {
    r.times.assign(capacity, 0.0f);
    r.rotations.assign(size_t(capacity) * kParts, VQQuaternion());
    r.positions.assign(size_t(capacity) * kParts, VQVector(0, 0, 0));
  }
  m_recording = &m_buffers[0];
  m_group = new VQGroupNode(0);
  m_group->SetName("ghost");
  m_group->m_enabled = 0;
  for (int i = 0; i < kParts; ++i) {
    m_nodes[i] = new VQTransformNode(0);
    m_group->AddChild(m_nodes[i]);
    VQNode* source = car ? car->FindNode(kGeosets[i]) : nullptr;
    if (!source || source->m_type != VQNODE_GEOSET) continue;
    auto* clone = static_cast<VQGeosetNode*>(source->Clone(false, true));
    if (!clone) continue;
    m_nodes[i]->SetChild(clone);
    if (VQMattable* table = clone->m_table) {
      for (uint32_t k = 0; k < table->m_count; ++k) {
        VQMaterial* m = table->m_slots[k];
        if (!m || std::find(m_materials.begin(), m_materials.end(), m) != m_materials.end())
          continue;
        m->m_srcBlend = 2;
        m->m_dstBlend = 3;
        m->m_diffuse.a = 0.4f;
        m->m_opacity = 0.4f;
        m_materials.push_back(m);
      }
      table->m_hasTransparent = 1;
    }
  }
}

GhostCar::~GhostCar() {
  if (m_group) VQNode::Destroy(m_group);  // detaches it from the parent first
}

VQNode* GhostCar::GetGroup() const { return m_group; }

void GhostCar::Reset() {
  m_playing = nullptr;
  m_recording = &m_buffers[0];
  m_recording->count = 0;
  m_group->m_enabled = 0;
  if (m_parent && m_group->m_parent != m_parent) {
    if (m_group->m_parent) m_group->Detach();
    m_parent->AddChild(m_group);
  }
}

void GhostCar::Remove() {
  m_group->m_enabled = 0;
  if (m_group->m_parent) m_group->Detach();
}

void GhostCar::Swap(bool start, bool switchBuffers) {
  Recording* other = m_recording == &m_buffers[0] ? &m_buffers[1] : &m_buffers[0];
  if (start) {
    if (switchBuffers) {
      m_playing = m_recording;
      m_recording = other;
    }
    if (!m_playing) m_playing = other;  // nothing recorded yet: an empty playback
    m_playing->index = 0;
    m_playing->accumulated = 0.0f;
  } else {
    m_group->m_enabled = 0;
    m_playing = nullptr;
    if (switchBuffers) m_recording = other;
  }
  m_recording->count = 0;
}

bool GhostCar::Advance(float dt) {
  Record(dt);
  Play(dt);
  return true;
}

void GhostCar::Record(float dt) {
  Recording& r = *m_recording;
  // A full recording stops growing: a lap longer than the room keeps its first frames.
  if (!m_car || r.count >= m_capacity) return;
  const VQMatrix* matrices[kParts] = {m_car->GetBodyMatrix(), m_car->GetWheelNodeMatrix(0),
                                      m_car->GetWheelNodeMatrix(1), m_car->GetWheelNodeMatrix(2),
                                      m_car->GetWheelNodeMatrix(3)};
  const size_t base = size_t(r.count) * kParts;
  r.times[r.count] = dt;
  for (int i = 0; i < kParts; ++i) {
    if (!matrices[i]) continue;
    r.rotations[base + size_t(i)].FromMatrix(*matrices[i]);
    matrices[i]->GetTranslation(r.positions[base + size_t(i)]);
  }
  ++r.count;
}

void GhostCar::Play(float dt) {
  if (!m_playing) return;
  Recording& r = *m_playing;
  float t = r.accumulated + dt;
  while (r.index < r.count && t >= r.times[r.index]) {
    t -= r.times[r.index];
    ++r.index;
  }
  if (r.index >= r.count) {
    r.accumulated = 0.0f;  // past the end: the ghost keeps its last pose
    return;
  }
  r.accumulated = t;
  m_group->m_enabled = 1;
  const size_t a = size_t(r.index) * kParts;
  const bool last = r.index + 1 >= r.count;
  const float frame = r.times[r.index];
  const float f = frame > 0.0f ? std::clamp(t / frame, 0.0f, 1.0f) : 0.0f;
  for (int i = 0; i < kParts; ++i) {
    VQQuaternion q = r.rotations[a + size_t(i)];
    VQVector p = r.positions[a + size_t(i)];
    if (!last) {
      const size_t b = a + kParts + size_t(i);
      q.Slerp(r.rotations[a + size_t(i)], r.rotations[b], f);
      p = p + (r.positions[b] - p) * f;
    }
    VQMatrix m;
    m.SetRotationFromQuaternion(q);
    m.SetTranslation(p);
    m_nodes[i]->m_matrix = m;
    m_nodes[i]->Notify();
  }
}

VQVector GhostCar::GetPosition() const {
  if (!m_playing || m_playing->count == 0) return VQVector(0, 0, 0);
  const Recording& r = *m_playing;
  if (r.index + 1 >= r.count) return r.positions[size_t(std::min(r.index, r.count - 1)) * kParts];
  const float frame = r.times[r.index];
  const float f = frame > 0.0f ? std::clamp(r.accumulated / frame, 0.0f, 1.0f) : 0.0f;
  const VQVector& p = r.positions[size_t(r.index) * kParts];
  const VQVector& q = r.positions[size_t(r.index + 1) * kParts];
  return p + (q - p) * f;
}

bool GhostCar::IsVisible() const { return m_group && m_group->m_enabled; }
