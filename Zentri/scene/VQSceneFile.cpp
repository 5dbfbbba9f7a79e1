// Reading and writing the scene files. See VQSceneFile.h for the contract; the byte layout
// of every record is spelled out next to the code that reads or writes it.
#include "Zentri/scene/VQSceneFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>

#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneTextures.h"
#include "Zentri/util/VQbytes.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfileio.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQscramble.h"

uint32_t (*g_VQsceneTextureSampling)(VQTexture* texture) = nullptr;

namespace {

const char kDatabaseMagic[] = "VQO_Database";  // 12 characters
const char kMattableMagic[] = "VQO_Mattable";  // 12 characters
const char kGeosetMagic[] = "VQO_Geoset";      // 10 characters
constexpr uint32_t kGeosetMarker = 0xEEEEEEEEu;
constexpr size_t kNameField = 35;

// ---- Block reader ---------------------------------------------------------------------------------

// One block of the file read through the engine's little-endian reader, with this format's
// vector, colour and padded-string fields. A read that runs out of memory fails the block and
// marks it, so the whole read ends with the out-of-memory code rather than a format error.
class Cursor : public VQByteReader {
 public:
  Cursor(const uint8_t* data, size_t start, size_t size) : VQByteReader(data + start, size) {}

  VQVector Vec() {
    const float x = F32(), y = F32(), z = F32();
    return VQVector(x, y, z);
  }
  VQColor Colour() {
    const float r = F32(), g = F32(), b = F32(), a = F32();
    return VQColor(r, g, b, a);
  }
  // A NUL-terminated string padded with zeros to a multiple of 4 from the block start. The
  // string must end inside the block. Returns a pointer into the data.
  const char* String() {
    if (!Ok()) return "";
    const uint8_t* here = Here();
    const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(here, 0, Left()));
    if (!nul) {
      Fail();
      return "";
    }
    const size_t after = (Pos() + size_t(nul - here) + 1 + 3) & ~size_t(3);
    if (after > Pos() + Left()) {
      Fail();
      return "";
    }
    Skip(after - Pos());
    return reinterpret_cast<const char*>(here);
  }
  void OutOfMemory() {
    m_outOfMemory = true;
    VQerror_Fail(VQERR_OUT_OF_MEMORY);
    Fail();
  }
  bool RanOutOfMemory() const { return m_outOfMemory; }

 private:
  bool m_outOfMemory = false;
};

// A node of the read, or null with the cursor failed for lack of memory.
template <class T, class... Args>
T* MakeNode(Cursor& c, Args... args) {
  T* n = new (std::nothrow) T(args...);
  if (!n) c.OutOfMemory();
  return n;
}

// ---- Little-endian writer ---------------------------------------------------------------------------

struct Writer : VQByteWriter {
  std::vector<uint8_t>& out;
  size_t start = 0;  // start of the block being written

  explicit Writer(std::vector<uint8_t>& o) : VQByteWriter(o), out(o) {}
  void Vec(const VQVector& v) {
    F32(v.x);
    F32(v.y);
    F32(v.z);
  }
  void Colour(const VQColor& c) {
    F32(c.r);
    F32(c.g);
    F32(c.b);
    F32(c.a);
  }
  void String(const char* text) {
    if (!text) text = "";
    Bytes(text, std::strlen(text) + 1);
    while ((out.size() - start) % 4) out.push_back(0);
  }
  void Mark(const void* p) { U32(p ? 1u : 0u); }
};

inline uint32_t SwapColour(uint32_t c) {
  return (c & 0xFF00FF00u) | ((c & 0xFFu) << 16) | ((c >> 16) & 0xFFu);
}

// ---- Reading state -----------------------------------------------------------------------------------

struct ReadState {
  VQSceneTextures* textures = nullptr;
  uint32_t colourFormat = 0;
  bool loadTextures = false;
  std::vector<VQMaterial*> materials;  // made by this read, each with one read hold
  std::vector<VQGeoset*> geosets;      // each with one read hold
  std::vector<VQMattable*> tables;     // each with one read hold

  // Drops the read holds. On success unreferenced materials stay in the library (the
  // library keeps them until shutdown); after a failure they are destroyed too.
  void Finish(bool success) {
    for (VQGeoset* g : geosets) VQGeoset::Release(g);
    for (VQMattable* t : tables) {
      if (t->m_refCount > 0) t->m_refCount--;
      if (t->m_refCount == 0) VQMattable::Release(t);
    }
    for (VQMaterial* m : materials) {
      if (m->m_refCount > 0) m->m_refCount--;
      if (!success && m->m_refCount == 0) VQMaterial::Destroy(m);
    }
    geosets.clear();
    tables.clear();
    materials.clear();
  }

  // By name, the first of this read's materials with it: the newest, as the library keeps
  // the file's order.
  std::unordered_map<std::string, VQMaterial*> byName;
  VQMaterial* FindMaterial(const char* name) const {
    auto it = byName.find(name);
    return it == byName.end() ? nullptr : it->second;
  }
};

bool ReadMaterials(Cursor& c, ReadState& st) {
  while (c.Ok() && c.Left() > 0) {
    VQMaterial* m = VQMaterial::Create(nullptr);
    if (!m) {
      c.OutOfMemory();
      return false;
    }
    m->SetDefaults();
    m->m_refCount = 1;  // the read hold
    st.materials.push_back(m);
    c.Skip(8);  // name pointer, reference count
    m->m_ambient = c.Colour();
    m->m_diffuse = c.Colour();
    m->m_specular = c.Colour();
    m->m_emission = c.Colour();
    m->m_opacity = c.F32();
    m->m_shininess = c.F32();
    const uint32_t stages = c.U32();
    if (!c.Ok() || stages > VQMATERIAL_MAX_STAGES) return VQerror_Fail(VQERR_FILE_TYPE);
    m->m_stageCount = stages;
    for (auto& stage : m->m_stages) {
      c.Skip(8);  // texture-name and texture pointers
      for (auto& s : stage.m_settings) s = c.U32();
      stage.m_operation = c.U32();
    }
    m->m_srcBlend = c.U32();
    m->m_dstBlend = c.U32();
    m->m_alphaFunc = c.U32();
    m->m_alphaValue = c.U32();
    m->m_alphaFactor = c.U32();
    c.Skip(4);  // list link
    const char* name = c.String();
    if (!c.Ok()) return VQerror_Fail(VQERR_FILE_TYPE);
    m->SetName(name);
    for (uint32_t s = 0; s < stages; ++s) {
      std::string texName = c.String();
      const uint32_t word = c.U32();
      if (!c.Ok()) return VQerror_Fail(VQERR_FILE_TYPE);
      for (char& ch : texName)
        if (ch == '/') ch = '\\';
      m->SetStageTextureName(s, texName.c_str());
      m->m_stages[s].m_samplingWord = word;
      m->m_stages[s].m_texture = nullptr;
      if (st.loadTextures && st.textures && !texName.empty()) {
        bool pushed = false;
        if (word != 0)
          pushed = st.textures->PushSampling((word >> 4) & 0xF, word & 0xF, (word >> 12) & 0xF,
                                             (word >> 8) & 0xF);
        uint32_t units = st.textures->SimultaneousTextures();
        if (units == 0) units = 1;
        m->m_stages[s].m_texture = st.textures->Load(texName.c_str(), s % units, 1, 0, 0x8000, 0x8000);
        if (pushed) st.textures->PopSampling();
      }
    }
    m->FixStageModes();
  }
  // The file lists materials newest first; relinking them in that order keeps the library's
  // order what it was when the file was written, so writing the scene again gives the same
  // material block.
  for (size_t i = st.materials.size(); i-- > 0;) VQmaterial_LibraryMoveToHead(st.materials[i]);
  for (VQMaterial* m : st.materials)
    if (m->m_name) st.byName.emplace(m->m_name, m);  // keeps the first of a name
  return c.Ok() ? true : VQerror_Fail(VQERR_FILE_TYPE);
}

// One mesh record with its arrays, as one allocation (record first).
VQMesh* ReadMesh(Cursor& c, uint32_t colourFormat) {
  const uint32_t flags = c.U32();
  c.Skip(4);  // single-block flag, 3 undefined
  const uint32_t n = c.U32();
  c.Skip(4);  // positions pointer
  const bool hasNormals = c.U32() != 0;
  const bool hasColours = c.U32() != 0;
  const bool hasUv0 = c.U32() != 0;
  const bool hasUv1 = c.U32() != 0;
  const uint32_t t = c.U32();
  c.Skip(8);  // indices and triangle-records pointers
  const uint32_t k = c.U32();
  c.Skip(12);  // extra-block, display-device pointers, device buffer
  if (!c.Ok()) return nullptr;
  const uint64_t nn = n, tt = t, kk = k;
  const uint64_t posBytes = 12 * nn, nrmBytes = hasNormals ? 12 * nn : 0,
                 colBytes = hasColours ? 4 * nn : 0, uv0Bytes = hasUv0 ? 8 * nn : 0,
                 uv1Bytes = hasUv1 ? 8 * nn : 0, idxBytes = 6 * tt, recBytes = 8 * tt,
                 extBytes = (flags & VQMESH_VERTEX_BLEND) ? 4 * nn * kk : 8 * kk;
  const uint64_t total =
      posBytes + nrmBytes + colBytes + uv0Bytes + uv1Bytes + idxBytes + recBytes + extBytes;
  if (total > c.Left()) {
    c.Fail();
    return nullptr;
  }
  auto align = [](uint64_t v) { return (v + 7) & ~uint64_t(7); };
  const uint64_t head = align(sizeof(VQMesh));
  const uint64_t block = head + align(posBytes) + align(nrmBytes) + align(colBytes) + align(uv0Bytes) +
                         align(uv1Bytes) + align(idxBytes) + align(recBytes) + align(extBytes);
  uint8_t* mem = static_cast<uint8_t*>(std::malloc(size_t(block)));
  if (!mem) {
    c.OutOfMemory();
    return nullptr;
  }
  VQMesh* m = new (mem) VQMesh();
  m->m_singleBlock = 1;
  m->m_flags = flags;
  m->m_vertexCount = n;
  m->m_triangleCount = t;
  m->m_triangleCapacity = t;
  m->m_extraCount = k;
  uint64_t off = head;
  auto take = [&](uint64_t bytes) -> uint8_t* {
    uint8_t* p = mem + off;
    c.Bytes(p, size_t(bytes));
    off += align(bytes);
    return p;
  };
  if (n > 0) m->m_positions = reinterpret_cast<VQVector*>(take(posBytes));
  if (hasNormals && n > 0) m->m_normals = reinterpret_cast<VQVector*>(take(nrmBytes));
  if (hasColours && n > 0) m->m_colours = reinterpret_cast<uint32_t*>(take(colBytes));
  if (hasUv0 && n > 0) m->m_uv0 = reinterpret_cast<float*>(take(uv0Bytes));
  if (hasUv1 && n > 0) m->m_uv1 = reinterpret_cast<float*>(take(uv1Bytes));
  if (t > 0) {
    m->m_indices = reinterpret_cast<uint16_t*>(take(idxBytes));
    m->m_records = take(recBytes);
  }
  if (k > 0 && extBytes > 0) m->m_extra = take(extBytes);
  // The file is little-endian like the engine's memory; floats and indices are used in place.
  bool good = c.Ok();
  for (uint64_t i = 0; good && i < 3 * tt; ++i)
    if (m->m_indices[i] >= n) good = false;
  if (good && m->m_colours && colourFormat == 12)
    for (uint32_t i = 0; i < n; ++i) m->m_colours[i] = SwapColour(m->m_colours[i]);
  if (!good) {
    c.Fail();
    VQMesh::FreeMemory(m);
    return nullptr;
  }
  return m;
}

VQGeoset* ReadGeosetRecord(Cursor& c, uint32_t colourFormat) {
  c.Skip(4);  // marker, not checked
  c.Skip(4);  // reference count
  const uint16_t levels = c.U16();
  c.Skip(2);
  const VQVector centre = c.Vec();
  const float radius = c.F32();
  const uint8_t frustum = c.U8();
  c.Skip(3);
  float distances[VQGEOSET_MAX_LEVELS];
  for (float& d : distances) d = c.F32();
  c.Skip(32);  // mesh pointers
  if (!c.Ok() || levels > VQGEOSET_MAX_LEVELS) {
    c.Fail();
    return nullptr;
  }
  VQGeoset* g = VQGeoset::Create();
  if (!g) {
    c.OutOfMemory();
    return nullptr;
  }
  g->m_centre = centre;
  g->m_radius = radius;
  g->m_frustumTest = frustum;
  std::memcpy(g->m_distances, distances, sizeof distances);
  for (uint32_t i = 0; i < levels; ++i) {
    VQMesh* mesh = ReadMesh(c, colourFormat);
    if (!mesh) {
      VQGeoset::Destroy(g);
      c.Fail();
      return nullptr;
    }
    g->m_meshes[i] = mesh;
    g->m_levelCount = uint16_t(i + 1);
  }
  return g;
}

VQMattable* ReadMattableRecord(Cursor& c, ReadState& st) {
  c.Skip(4);  // reference count
  c.Skip(2);  // has-transparent (recomputed), undefined
  const uint16_t count = c.U16();
  c.Skip(8);  // undefined, slot pointer
  if (!c.Ok()) return nullptr;
  VQMattable* t = VQMattable::Create(0);
  if (!t || !t->Resize(count)) {
    VQMattable::Release(t);
    c.OutOfMemory();
    return nullptr;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const char* name = c.String();
    VQMaterial* m = c.Ok() ? st.FindMaterial(name) : nullptr;
    if (!m) {  // a name the file's material block does not hold
      VQMattable::Release(t);
      c.Fail();
      return nullptr;
    }
    t->Set(m, i);
  }
  t->UpdateTransparency();
  return t;
}

VQNode* ReadNode(Cursor& c, ReadState& st, uint32_t depth, bool& failed);

bool ReadChildInto(Cursor& c, ReadState& st, uint32_t depth, VQNode* parent, bool& failed) {
  VQNode* child = ReadNode(c, st, depth + 1, failed);
  if (failed) return false;
  if (!child) return true;
  parent->SetChild(child);
  return true;
}

bool ReadChildren(Cursor& c, ReadState& st, uint32_t depth, VQListNode* list, uint32_t count,
                  bool& failed) {
  for (uint32_t i = 0; i < count; ++i) {
    VQNode* child = ReadNode(c, st, depth + 1, failed);
    if (failed) return false;
    // A child that yields no node leaves its slot empty.
    list->AddEmptySlot();
    if (child) list->SetChildAt(child, list->m_count - 1);
  }
  return true;
}

VQNode* ReadNode(Cursor& c, ReadState& st, uint32_t depth, bool& failed) {
  if (depth > VQSCENE_MAX_DEPTH) {
    failed = true;
    return nullptr;
  }
  const uint32_t type = c.U32();
  const uint32_t userId = c.U32();
  const uint8_t enabled = c.U8();
  char name[kNameField];
  c.Bytes(name, kNameField);
  const VQVector centre = c.Vec();
  const float radius = c.F32();
  if (!c.Ok() || !std::memchr(name, 0, kNameField)) {
    failed = true;
    return nullptr;
  }
  VQNode* node = nullptr;
  switch (type) {
    case VQNODE_ROOT: {
      auto* n = MakeNode<VQRootNode>(c, userId);
      if (!n) break;
      node = n;
      const uint8_t has = c.U8();
      if (!c.Ok() || has > 1) {
        c.Fail();
        break;
      }
      if (has) ReadChildInto(c, st, depth, n, failed);
      break;
    }
    case VQNODE_TRANSFORM: {
      auto* n = MakeNode<VQTransformNode>(c, userId);
      if (!n) break;
      node = n;
      n->m_notify = c.U8();
      const uint8_t has = c.U8();
      c.Skip(2);
      for (float& e : n->m_matrix.m) e = c.F32();
      if (!c.Ok() || has > 1) {
        c.Fail();
        break;
      }
      if (has) ReadChildInto(c, st, depth, n, failed);
      break;
    }
    case VQNODE_GROUP: {
      auto* n = MakeNode<VQGroupNode>(c, userId);
      if (!n) break;
      node = n;
      const uint32_t count = c.U32();
      if (!c.Ok() || count > VQGROUP_MAX_CHILDREN) {
        c.Fail();
        break;
      }
      ReadChildren(c, st, depth, n, count, failed);
      break;
    }
    case VQNODE_LIGHT: {
      auto* n = MakeNode<VQLightNode>(c, userId);
      if (!n) break;
      node = n;
      const uint32_t has = c.U32();
      n->m_lightType = c.U32();
      n->m_direction = c.Vec();
      n->m_ambient = c.Colour();
      n->m_diffuse = c.Colour();
      n->m_specular = c.Colour();
      if (!c.Ok() || has > 1) {
        c.Fail();
        break;
      }
      if (has) ReadChildInto(c, st, depth, n, failed);
      break;
    }
    case VQNODE_LOD: {
      auto* n = MakeNode<VQLodNode>(c, userId);
      if (!n) break;
      node = n;
      const uint32_t count = c.U32();
      float d[VQLOD_MAX_CHILDREN];
      for (float& x : d) x = c.F32();
      if (!c.Ok() || count > VQLOD_MAX_CHILDREN) {
        c.Fail();
        break;
      }
      for (uint32_t i = 0; i < count; ++i) n->m_distances[i] = d[i];
      ReadChildren(c, st, depth, n, count, failed);
      break;
    }
    case VQNODE_GEOSET: {
      auto* n = MakeNode<VQGeosetNode>(c, nullptr, userId);
      if (!n) break;
      node = n;
      n->m_nodeWord = c.U32();
      const int32_t gi = c.I32();
      const int32_t ti = c.I32();
      if (!c.Ok() || gi < -1 || ti < -1 || (gi >= 0 && size_t(gi) >= st.geosets.size()) ||
          (ti >= 0 && size_t(ti) >= st.tables.size())) {
        c.Fail();
        break;
      }
      if (gi >= 0) n->SetGeoset(st.geosets[gi]);
      if (ti >= 0) n->SetMattable(st.tables[ti]);
      break;
    }
    case VQNODE_PORTAL: {
      auto* n = MakeNode<VQPortalNode>(c, userId);
      if (!n) break;
      node = n;
      n->m_target = c.I32();
      n->m_passesPerFrame = c.U16();
      const uint8_t hasPlacement = c.U8();
      c.Skip(1);
      VQMatrix placement;
      for (float& e : placement.m) e = c.F32();
      n->m_normal = c.Vec();
      const uint32_t count = c.U32();
      if (!c.Ok() || hasPlacement > 1 || count > VQRENDER_MAX_PORTAL_POINTS) {
        c.Fail();
        break;
      }
      // The count is checked above, so a refusal of either is a lack of memory.
      if (hasPlacement && !n->SetPlacement(&placement)) {
        c.OutOfMemory();
        break;
      }
      VQVector pts[VQRENDER_MAX_PORTAL_POINTS];
      for (uint32_t i = 0; i < count; ++i) pts[i] = c.Vec();
      if (c.Ok() && !n->SetPoints(pts, count)) c.OutOfMemory();
      break;
    }
    case VQNODE_CELL: {
      auto* n = MakeNode<VQCellNode>(c, userId);
      if (!n) break;
      node = n;
      n->m_flag = c.U8();
      c.Skip(1);
      const uint16_t count = c.U16();
      c.Skip(2);
      if (!c.Ok() || count > VQCELL_MAX_CHILDREN) {
        c.Fail();
        break;
      }
      if (n->m_flag)
        for (uint32_t i = 0; i < count; ++i) {
          n->m_records[i].m_vector = c.Vec();
          n->m_records[i].m_word = c.U32();
        }
      if (!c.Ok()) break;
      if (ReadChildren(c, st, depth, n, count, failed)) n->LinkPortals();
      break;
    }
    case VQNODE_FOG: {
      auto* n = MakeNode<VQFogNode>(c, userId);
      if (!n) break;
      node = n;
      const uint32_t has = c.U32();
      n->m_colour = c.Colour();
      n->m_mode = c.U32();
      n->m_start = c.F32();
      n->m_end = c.F32();
      if (!c.Ok() || has > 1) {
        c.Fail();
        break;
      }
      if (has) ReadChildInto(c, st, depth, n, failed);
      break;
    }
    default:
      return nullptr;  // sound source, effect, callback and unknown types: header only
  }
  if (!c.Ok()) failed = true;
  if (failed) {
    VQNode::Destroy(node);
    return nullptr;
  }
  node->m_type = type;
  node->m_userId = userId;
  node->m_enabled = enabled;
  if (radius >= 0.0f && node->m_sphere) {
    node->m_sphere->m_centre = centre;
    node->m_sphere->m_radius = radius;
  }
  if (name[0]) node->SetName(name);
  node->m_word = 0;
  return node;
}



}  // namespace

// ---- Database reading ------------------------------------------------------------------------------

bool VQscene_ReadDatabaseMemory(VQNode** root, const uint8_t* data, size_t size,
                                VQSceneTextures* textures, uint32_t colourFormat,
                                bool loadTextures) {
  if (root) *root = nullptr;
  if (!data || size < 13) return VQerror_Fail(VQERR_FILE_TYPE);
  uint8_t magic[12];
  std::memcpy(magic, data, 12);
  if (std::memcmp(magic, kDatabaseMagic, 12) != 0) {
    VQscramble(magic, 12, nullptr, 0);
    if (std::memcmp(magic, kDatabaseMagic, 12) != 0) return VQerror_Fail(VQERR_FILE_TYPE);
  }
  if (size < 13 + 16) return VQerror_Fail(VQERR_FILE_TYPE);
  const uint64_t N = VQbytes_GetU32(data + size - 16), G = VQbytes_GetU32(data + size - 12), T = VQbytes_GetU32(data + size - 8),
                 M = VQbytes_GetU32(data + size - 4);
  if (13 + N + G + T + M + 16 != size) return VQerror_Fail(VQERR_FILE_TYPE);

  ReadState st;
  st.textures = textures;
  st.colourFormat = colourFormat;
  st.loadTextures = loadTextures;
  const size_t nodeStart = 13, geoStart = nodeStart + N, tabStart = geoStart + G,
               matStart = tabStart + T;

  Cursor mc(data, matStart, M);
  if (!ReadMaterials(mc, st)) {
    st.Finish(false);
    return false;
  }
  Cursor gc(data, geoStart, G);
  while (gc.Ok() && gc.Left() > 0) {
    if (st.geosets.size() >= VQSCENE_MAX_GEOSETS) {
      gc.Fail();
      break;
    }
    VQGeoset* g = ReadGeosetRecord(gc, colourFormat);
    if (!g) break;
    g->m_refCount = 1;  // the read hold
    st.geosets.push_back(g);
  }
  Cursor tc(data, tabStart, T);
  while (gc.Ok() && tc.Ok() && tc.Left() > 0) {
    if (st.tables.size() >= VQSCENE_MAX_MATTABLES) {
      tc.Fail();
      break;
    }
    VQMattable* t = ReadMattableRecord(tc, st);
    if (!t) break;
    t->m_refCount = 1;
    st.tables.push_back(t);
  }
  if (!gc.Ok() || !tc.Ok()) {
    st.Finish(false);
    const bool memory = gc.RanOutOfMemory() || tc.RanOutOfMemory();
    return VQerror_Fail(memory ? VQERR_OUT_OF_MEMORY : VQERR_FILE_TYPE);
  }
  Cursor nc(data, nodeStart, N);
  bool failed = false;
  VQNode* node = nullptr;
  if (N > 0) node = ReadNode(nc, st, 0, failed);
  // The node block holds exactly one tree.
  if (!failed && nc.Left() != 0) {
    failed = true;
    VQNode::Destroy(node);
    node = nullptr;
  }
  if (failed) {
    st.Finish(false);
    return VQerror_Fail(nc.RanOutOfMemory() ? VQERR_OUT_OF_MEMORY : VQERR_FILE_TYPE);
  }
  st.Finish(true);
  if (root)
    *root = node;
  else
    VQNode::Destroy(node);
  return true;
}

bool VQscene_ReadDatabase(VQNode** root, const char* path, VQSceneTextures* textures,
                          uint32_t colourFormat, bool loadTextures) {
  if (root) *root = nullptr;
  std::vector<uint8_t> data;
  if (!vqfileio::ReadWholeFile(path, data, VQERR_OPEN_INPUT)) return false;
  return VQscene_ReadDatabaseMemory(root, data.data(), data.size(), textures, colourFormat,
                                    loadTextures);
}

bool VQscene_ReadMattableMemory(VQMattable** table, const uint8_t* data, size_t size,
                                VQSceneTextures* textures, bool loadTextures) {
  if (table) *table = nullptr;
  if (!data || size < 13 || std::memcmp(data, kMattableMagic, 12) != 0 || data[12] != 0)
    return false;
  if (size < 13 + 8) return VQerror_Fail(VQERR_FILE_TYPE);
  const uint64_t T = VQbytes_GetU32(data + size - 8), M = VQbytes_GetU32(data + size - 4);
  if (13 + T + M + 8 != size) return VQerror_Fail(VQERR_FILE_TYPE);
  ReadState st;
  st.textures = textures;
  st.loadTextures = loadTextures;
  Cursor mc(data, 13 + size_t(T), size_t(M));
  if (!ReadMaterials(mc, st)) {
    st.Finish(false);
    return false;
  }
  Cursor tc(data, 13, size_t(T));
  VQMattable* t = ReadMattableRecord(tc, st);
  if (!t || tc.Left() != 0) {
    VQMattable::Release(t);
    st.Finish(false);
    return VQerror_Fail(tc.RanOutOfMemory() ? VQERR_OUT_OF_MEMORY : VQERR_FILE_TYPE);
  }
  st.Finish(true);
  if (table)
    *table = t;
  else
    VQMattable::Release(t);
  return true;
}

bool VQscene_ReadMattableFile(VQMattable** table, const char* path, VQSceneTextures* textures,
                              bool loadTextures) {
  if (table) *table = nullptr;
  std::vector<uint8_t> data;
  if (!vqfileio::ReadWholeFile(path, data, VQERR_OPEN_INPUT)) return false;
  return VQscene_ReadMattableMemory(table, data.data(), data.size(), textures, loadTextures);
}

bool VQscene_ReadGeosetMemory(VQGeoset** geoset, const uint8_t* data, size_t size,
                              uint32_t colourFormat) {
  if (geoset) *geoset = nullptr;
  if (!data || size < 11 || std::memcmp(data, kGeosetMagic, 10) != 0 || data[10] != 0) return false;
  if (size < 11 + 4) return VQerror_Fail(VQERR_FILE_TYPE);
  const uint64_t G = VQbytes_GetU32(data + size - 4);
  if (11 + G + 4 != size) return VQerror_Fail(VQERR_FILE_TYPE);
  Cursor c(data, 11, size_t(G));
  VQGeoset* g = ReadGeosetRecord(c, colourFormat);
  if (!g || c.Left() != 0) {
    VQGeoset::Destroy(g);
    return VQerror_Fail(c.RanOutOfMemory() ? VQERR_OUT_OF_MEMORY : VQERR_FILE_TYPE);
  }
  if (geoset)
    *geoset = g;
  else
    VQGeoset::Destroy(g);
  return true;
}

bool VQscene_ReadGeosetFile(VQGeoset** geoset, const char* path, uint32_t colourFormat) {
  if (geoset) *geoset = nullptr;
  std::vector<uint8_t> data;
  if (!vqfileio::ReadWholeFile(path, data, VQERR_OPEN_INPUT)) return false;
  return VQscene_ReadGeosetMemory(geoset, data.data(), data.size(), colourFormat);
}

// ---- Writing -----------------------------------------------------------------------------------------

namespace {

struct WriteState {
  uint32_t colourFormat = 0;
  std::vector<VQGeoset*> geosets;
  std::vector<VQMattable*> tables;
  std::vector<VQMaterial*> materials;
  bool ok = true;
  int32_t error = 0;

  void Fail(int32_t code) {
    if (ok) error = code;
    ok = false;
  }
  template <typename T>
  int32_t IndexOf(std::vector<T*>& list, T* item, uint32_t limit) {
    if (!item) return -1;
    for (size_t i = 0; i < list.size(); ++i)
      if (list[i] == item) return int32_t(i);
    if (list.size() >= limit) {
      Fail(VQERR_TABLE_FULL);
      return -1;
    }
    list.push_back(item);
    return int32_t(list.size() - 1);
  }
};

void WriteHeader(Writer& w, WriteState& st, VQNode* node) {
  if (!node) {  // an empty child slot: a header of type 0, read back as an empty slot
    w.U32(0);
    w.U32(0);
    w.U8(0);
    w.Zeros(kNameField);
    w.Vec(VQVector(0, 0, 0));
    w.F32(-1.0f);
    return;
  }
  w.U32(node->m_type);
  w.U32(node->m_userId);
  w.U8(node->m_enabled);
  char name[kNameField] = {};
  if (node->m_name) {
    const size_t len = std::strlen(node->m_name);
    if (len > VQSCENE_MAX_NAME) st.Fail(VQERR_NAME_TOO_LONG);
    std::memcpy(name, node->m_name, len > VQSCENE_MAX_NAME ? VQSCENE_MAX_NAME : len);
  }
  w.Bytes(name, kNameField);
  if (node->m_sphere) {
    w.Vec(node->m_sphere->m_centre);
    w.F32(node->m_sphere->m_radius);
  } else {
    w.Vec(VQVector(0, 0, 0));
    w.F32(-1.0f);
  }
}

void WriteNode(Writer& w, WriteState& st, VQNode* node) {
  WriteHeader(w, st, node);
  if (!node) return;
  switch (node->m_type) {
    case VQNODE_ROOT: {
      auto* n = static_cast<VQRootNode*>(node);
      w.U8(n->m_child ? 1 : 0);
      if (n->m_child) WriteNode(w, st, n->m_child);
      break;
    }
    case VQNODE_TRANSFORM: {
      auto* n = static_cast<VQTransformNode*>(node);
      w.U8(n->m_notify);
      w.U8(n->m_child ? 1 : 0);
      w.Zeros(2);
      for (float e : n->m_matrix.m) w.F32(e);
      if (n->m_child) WriteNode(w, st, n->m_child);
      break;
    }
    case VQNODE_GROUP: {
      auto* n = static_cast<VQGroupNode*>(node);
      w.U32(n->m_count);
      for (uint32_t i = 0; i < n->m_count; ++i) WriteNode(w, st, n->m_slots[i]);
      break;
    }
    case VQNODE_LIGHT: {
      auto* n = static_cast<VQLightNode*>(node);
      w.U32(n->m_child ? 1 : 0);
      w.U32(n->m_lightType);
      w.Vec(n->m_direction);
      w.Colour(n->m_ambient);
      w.Colour(n->m_diffuse);
      w.Colour(n->m_specular);
      if (n->m_child) WriteNode(w, st, n->m_child);
      break;
    }
    case VQNODE_LOD: {
      auto* n = static_cast<VQLodNode*>(node);
      w.U32(n->m_count);
      for (uint32_t i = 0; i < VQLOD_MAX_CHILDREN; ++i) w.F32(i < n->m_count ? n->m_distances[i] : 0.0f);
      for (uint32_t i = 0; i < n->m_count; ++i) WriteNode(w, st, n->m_slots[i]);
      break;
    }
    case VQNODE_GEOSET: {
      auto* n = static_cast<VQGeosetNode*>(node);
      w.U32(n->m_nodeWord);
      w.U32(uint32_t(st.IndexOf(st.geosets, n->m_geoset, VQSCENE_MAX_GEOSETS)));
      w.U32(uint32_t(st.IndexOf(st.tables, n->m_table, VQSCENE_MAX_MATTABLES)));
      break;
    }
    case VQNODE_PORTAL: {
      auto* n = static_cast<VQPortalNode*>(node);
      w.U32(uint32_t(n->m_target));
      w.U16(n->m_passesPerFrame);
      w.U8(n->m_placement ? 1 : 0);
      w.U8(0);
      if (n->m_placement)
        for (float e : n->m_placement->m) w.F32(e);
      else
        w.Zeros(64);
      w.Vec(n->m_normal);
      w.U32(n->m_pointCount);
      for (uint32_t i = 0; i < n->m_pointCount; ++i) w.Vec(n->m_points[i]);
      break;
    }
    case VQNODE_CELL: {
      auto* n = static_cast<VQCellNode*>(node);
      w.U8(n->m_flag);
      w.U8(0);
      w.U16(uint16_t(n->m_count));
      w.Zeros(2);
      if (n->m_flag)
        for (uint32_t i = 0; i < n->m_count; ++i) {
          w.Vec(n->m_records[i].m_vector);
          w.U32(n->m_records[i].m_word);
        }
      for (uint32_t i = 0; i < n->m_count; ++i) WriteNode(w, st, n->m_slots[i]);
      break;
    }
    case VQNODE_FOG: {
      auto* n = static_cast<VQFogNode*>(node);
      w.U32(n->m_child ? 1 : 0);
      w.Colour(n->m_colour);
      w.U32(n->m_mode);
      w.F32(n->m_start);
      w.F32(n->m_end);
      if (n->m_child) WriteNode(w, st, n->m_child);
      break;
    }
    case VQNODE_EFFECT:
    case VQNODE_CALLBACK:
      // The format has no body for these: the header alone, and the save reports failure.
      st.Fail(VQERR_INVALID_ARGUMENT);
      break;
    default:
      break;  // sound source: header only
  }
}

void WriteMesh(Writer& w, const VQMesh* m, uint32_t colourFormat) {
  const uint32_t n = m->m_positions ? m->m_vertexCount : 0;
  w.U32(m->m_flags);
  w.U8(1);  // a mesh read from a file is one block
  w.Zeros(3);
  w.U32(n);
  w.Mark(m->m_positions);
  w.Mark(m->m_normals);
  w.Mark(m->m_colours);
  w.Mark(m->m_uv0);
  w.Mark(m->m_uv1);
  const uint32_t t = m->m_indices ? m->m_triangleCount : 0;
  w.U32(t);
  w.Mark(t ? m->m_indices : nullptr);
  w.Mark(t ? m->m_records : nullptr);
  w.U32(m->m_extraCount);
  w.Mark(m->m_extraCount ? m->m_extra : nullptr);
  w.U32(0);  // display device
  w.U32(0);  // device buffer
  for (uint32_t i = 0; i < n; ++i) w.Vec(m->m_positions[i]);
  if (m->m_normals)
    for (uint32_t i = 0; i < n; ++i) w.Vec(m->m_normals[i]);
  if (m->m_colours)
    for (uint32_t i = 0; i < n; ++i) w.U32(colourFormat == 12 ? SwapColour(m->m_colours[i]) : m->m_colours[i]);
  if (m->m_uv0)
    for (uint32_t i = 0; i < 2 * n; ++i) w.F32(m->m_uv0[i]);
  if (m->m_uv1)
    for (uint32_t i = 0; i < 2 * n; ++i) w.F32(m->m_uv1[i]);
  for (uint32_t i = 0; i < 3 * t; ++i) w.U16(m->m_indices[i]);
  if (t) {
    if (m->m_records)
      w.Bytes(m->m_records, 8ull * t);
    else
      w.Zeros(8ull * t);
  }
  const uint64_t extra = (m->m_flags & VQMESH_VERTEX_BLEND) ? 4ull * n * m->m_extraCount
                                                            : 8ull * m->m_extraCount;
  if (m->m_extraCount) {
    if (m->m_extra)
      w.Bytes(m->m_extra, size_t(extra));
    else
      w.Zeros(size_t(extra));
  }
}

void WriteGeoset(Writer& w, const VQGeoset* g, uint32_t colourFormat) {
  const uint32_t levels = g->m_levelCount <= VQGEOSET_MAX_LEVELS ? g->m_levelCount : 0;
  w.U32(kGeosetMarker);
  w.U32(g->m_refCount);
  w.U16(uint16_t(levels));
  w.Zeros(2);
  w.Vec(g->m_centre);
  w.F32(g->m_radius);
  w.U8(g->m_frustumTest);
  w.Zeros(3);
  for (float d : g->m_distances) w.F32(d);
  for (uint32_t i = 0; i < VQGEOSET_MAX_LEVELS; ++i) w.U32(i < levels && g->m_meshes[i] ? 1 : 0);
  for (uint32_t i = 0; i < levels; ++i) {
    if (g->m_meshes[i]) {
      WriteMesh(w, g->m_meshes[i], colourFormat);
    } else {
      VQMesh empty;
      WriteMesh(w, &empty, colourFormat);
    }
  }
}

void WriteMattable(Writer& w, WriteState& st, const VQMattable* t) {
  w.U32(t->m_refCount);
  w.U8(t->m_hasTransparent);
  w.U8(0);
  w.U16(t->m_count);
  w.Zeros(4);
  w.Mark(t->m_count ? t->m_slots : nullptr);
  for (uint32_t i = 0; i < t->m_count; ++i) {
    VQMaterial* m = t->m_slots[i];
    if (!m) {
      st.Fail(VQERR_INVALID_ARGUMENT);
      w.String("");
      continue;
    }
    bool listed = false;
    for (VQMaterial* x : st.materials) listed |= (x == m);
    if (!listed) {
      if (st.materials.size() >= VQSCENE_MAX_MATERIALS) {
        // The rest of this table's names are not written, which leaves a file the reader
        // refuses; the save reports failure with error 33.
        st.Fail(VQERR_SCENE_TOO_MANY_MATERIALS);
        return;
      }
      st.materials.push_back(m);
    }
    w.String(m->m_name);
  }
}

void WriteMaterial(Writer& w, const VQMaterial* m) {
  w.Mark(m->m_name);
  w.U32(m->m_refCount);
  w.Colour(m->m_ambient);
  w.Colour(m->m_diffuse);
  w.Colour(m->m_specular);
  w.Colour(m->m_emission);
  w.F32(m->m_opacity);
  w.F32(m->m_shininess);
  const uint32_t stages = m->m_stageCount <= VQMATERIAL_MAX_STAGES ? m->m_stageCount : VQMATERIAL_MAX_STAGES;
  w.U32(stages);
  for (const auto& s : m->m_stages) {
    w.Mark(s.m_textureName);
    w.U32(0);  // texture pointer
    for (uint32_t v : s.m_settings) w.U32(v);
    w.U32(s.m_operation);
  }
  w.U32(m->m_srcBlend);
  w.U32(m->m_dstBlend);
  w.U32(m->m_alphaFunc);
  w.U32(m->m_alphaValue);
  w.U32(m->m_alphaFactor);
  w.U32(0);  // list link
  w.String(m->m_name);
  for (uint32_t i = 0; i < stages; ++i) {
    const VQMaterialStage& s = m->m_stages[i];
    w.String(s.m_textureName ? s.m_textureName : "");
    uint32_t word = s.m_samplingWord;
    if (s.m_texture && g_VQsceneTextureSampling) {
      const uint32_t v = g_VQsceneTextureSampling(s.m_texture);
      if (v != 0) word = VQscene_SamplingWord(v);
    }
    w.U32(word);
  }
}

// Materials of the list in library order (newest first); listed materials no longer in the
// library cannot occur (a table holds a reference).
void WriteMaterialBlock(Writer& w, const WriteState& st) {
  for (VQMaterial* m = VQmaterial_LibraryHead(); m; m = m->m_next) {
    for (VQMaterial* x : st.materials)
      if (x == m) {
        WriteMaterial(w, m);
        break;
      }
  }
}


}  // namespace

bool VQscene_WriteDatabaseMemory(VQNode* root, std::vector<uint8_t>& out, uint32_t colourFormat) {
  out.clear();
  WriteState st;
  st.colourFormat = colourFormat;
  Writer w(out);
  w.Bytes(kDatabaseMagic, 12);
  w.U8(0);
  w.start = out.size();
  if (root) WriteNode(w, st, root);
  const uint32_t N = uint32_t(out.size() - w.start);
  w.start = out.size();
  for (VQGeoset* g : st.geosets) WriteGeoset(w, g, colourFormat);
  const uint32_t G = uint32_t(out.size() - w.start);
  w.start = out.size();
  for (VQMattable* t : st.tables) WriteMattable(w, st, t);
  const uint32_t T = uint32_t(out.size() - w.start);
  w.start = out.size();
  WriteMaterialBlock(w, st);
  const uint32_t M = uint32_t(out.size() - w.start);
  w.U32(N);
  w.U32(G);
  w.U32(T);
  w.U32(M);
  if (!st.ok) return VQerror_Fail(st.error);
  return true;
}

bool VQscene_WriteDatabase(VQNode* root, const char* path, uint32_t colourFormat) {
  std::vector<uint8_t> data;
  const bool built = VQscene_WriteDatabaseMemory(root, data, colourFormat);
  const int32_t code = g_VQerror;
  if (!vqfileio::WriteWholeFile(path, data.data(), data.size())) return false;
  if (!built) g_VQerror = code;
  return built;
}

bool VQscene_WriteMattableMemory(VQMattable* table, std::vector<uint8_t>& out) {
  out.clear();
  if (!table) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  WriteState st;
  Writer w(out);
  w.Bytes(kMattableMagic, 12);
  w.U8(0);
  w.start = out.size();
  WriteMattable(w, st, table);
  const uint32_t T = uint32_t(out.size() - w.start);
  w.start = out.size();
  WriteMaterialBlock(w, st);
  const uint32_t M = uint32_t(out.size() - w.start);
  w.U32(T);
  w.U32(M);
  if (!st.ok) return VQerror_Fail(st.error);
  return true;
}

bool VQscene_WriteMattableFile(VQMattable* table, const char* path) {
  std::vector<uint8_t> data;
  if (!table) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  const bool built = VQscene_WriteMattableMemory(table, data);
  const int32_t code = g_VQerror;
  if (!vqfileio::WriteWholeFile(path, data.data(), data.size())) return false;
  if (!built) g_VQerror = code;
  return built;
}

bool VQscene_WriteGeosetMemory(VQGeoset* geoset, std::vector<uint8_t>& out, uint32_t colourFormat) {
  out.clear();
  if (!geoset) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  Writer w(out);
  w.Bytes(kGeosetMagic, 10);
  w.U8(0);
  w.start = out.size();
  WriteGeoset(w, geoset, colourFormat);
  w.U32(uint32_t(out.size() - w.start));
  return true;
}

bool VQscene_WriteGeosetFile(VQGeoset* geoset, const char* path, uint32_t colourFormat) {
  std::vector<uint8_t> data;
  if (!VQscene_WriteGeosetMemory(geoset, data, colourFormat)) return false;
  return vqfileio::WriteWholeFile(path, data.data(), data.size());
}

// ---- Dispatch by file type -------------------------------------------------------------------------

bool VQscene_ImportVRML() { return VQerror_Fail(VQERR_SCENE_NO_VRML_IMPORT); }

bool VQscene_LoadFile(VQNode** root, const char* path, VQSceneTextures* textures,
                      uint32_t colourFormat, bool loadTextures) {
  switch (VQfile_TypeFromExtension(path)) {
    case VQFILE_VQO:
      return VQscene_ReadDatabase(root, path, textures, colourFormat, loadTextures);
    case VQFILE_WRL:
      return VQscene_ImportVRML();
    default:
      return VQerror_Fail(VQERR_FILE_TYPE);
  }
}

bool VQscene_SaveFile(VQNode* root, const char* path, int32_t fileType, uint32_t colourFormat,
                      uint32_t) {
  switch (fileType) {
    case VQFILE_VQO:
      return VQscene_WriteDatabase(root, path, colourFormat);
    case VQFILE_WRL:
      return VQscene_ExportVRML(root, path);
    default:
      return VQerror_Fail(VQERR_FILE_TYPE);
  }
}

// ---- Handing meshes to a display device ---------------------------------------------------------

void VQscene_SetGeosetDevice(VQGeoset* geoset, VQDisplayDevice* device) {
  if (!geoset) return;
  for (uint32_t i = 0; i < geoset->m_levelCount && i < VQGEOSET_MAX_LEVELS; ++i) {
    if (!geoset->m_meshes[i]) continue;
    geoset->m_meshes[i]->m_device = device;
    geoset->m_meshes[i]->m_deviceBuffer = 0;
  }
}

void VQscene_SetMeshDevice(VQNode* root, VQDisplayDevice* device) {
  if (!root) return;
  root->Visit(
      [](VQNode* node, void* d) {
        if (node->m_type == VQNODE_GEOSET)
          VQscene_SetGeosetDevice(static_cast<VQGeosetNode*>(node)->m_geoset, static_cast<VQDisplayDevice*>(d));
        return true;
      },
      device);
}

VQNode* VQscene_LoadForDevice(VQDisplayDevice* device, const char* path, bool loadTextures,
                              uint32_t textureUnits) {
  if (!device) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  VQSceneTextureManager textures(device->m_textureManager, textureUnits);
  // Mattable files the device loads later follow the choice of its last scene read.
  device->m_sceneLoadTextures = loadTextures ? 1 : 0;
  VQNode* root = nullptr;
  if (!VQscene_LoadFile(&root, path, device->m_textureManager ? &textures : nullptr,
                        device->m_vertexColourFormat, loadTextures))
    return nullptr;
  VQscene_SetMeshDevice(root, device);
  return root;
}

VQGeoset* VQscene_LoadGeosetForDevice(VQDisplayDevice* device, const char* path) {
  if (!device) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  VQGeoset* geoset = nullptr;
  if (!VQscene_ReadGeosetFile(&geoset, path, device->m_vertexColourFormat)) return nullptr;
  VQscene_SetGeosetDevice(geoset, device);
  return geoset;
}
