// Materials, material tables and the material library.
//
// A VQMaterial says how a surface is lit, blended and textured (four colours, opacity,
// shininess, up to two texture stages, blend factors, alpha test). Every material lives in
// one engine-wide list, the library, newest first; scene files name materials by their
// library name. A VQMattable is a reference-counted array of material references; a mesh's
// triangles name their material by its index in the table drawn with the mesh.
#pragma once

#include <cstdint>

#include "Zentri/math/VQColor.h"

class VQTexture;

constexpr uint32_t VQMATERIAL_MAX_STAGES = 2;
constexpr uint32_t VQMATERIAL_STAGE_SETTINGS = 6;

struct VQMaterialStage {
  char* m_textureName = nullptr;  // owned, or null
  VQTexture* m_texture = nullptr;  // not owned: the texture manager owns it
  uint32_t m_settings[VQMATERIAL_STAGE_SETTINGS] = {};  // read by the display device
  uint32_t m_operation = 0;  // 0 and 1: the stage has no effect
  // Sampling word of the scene file the stage was read from (low bytes exchanged), written
  // back when the texture's own sampling value is not known.
  uint32_t m_samplingWord = 0;
};

class VQMaterial {
 public:
  // A new material at the head of the library with reference count 0. A null name becomes
  // "_N" from the name counter; an explicit "_N" (N >= 1) moves the counter to N + 1.
  // Colours and stages are left to SetDefaults or CopyFrom.
  static VQMaterial* Create(const char* name);
  static VQMaterial* Clone(const VQMaterial* source, const char* name);
  // Unlinks from the library and frees.
  static void Destroy(VQMaterial* material);

  void SetDefaults();
  // Everything but name, reference count and list link; stage names are duplicated.
  void CopyFrom(const VQMaterial* source);
  bool IsTransparent() const { return m_srcBlend != 1; }
  // A second stage that combines while the first does not: the first becomes operation 4.
  bool FixStageModes();
  // Replaces the name (a copy; null clears).
  void SetName(const char* name);
  // Replaces a stage's texture name (a copy; null clears).
  void SetStageTextureName(uint32_t stage, const char* name);

  char* m_name = nullptr;
  uint32_t m_refCount = 0;
  VQColor m_ambient{0, 0, 0, 1};
  VQColor m_diffuse{1, 1, 1, 1};
  VQColor m_specular{0, 0, 0, 1};
  VQColor m_emission{0, 0, 0, 1};
  float m_opacity = 1.0f;
  float m_shininess = 0.0f;
  uint32_t m_stageCount = 0;
  VQMaterialStage m_stages[VQMATERIAL_MAX_STAGES];
  uint32_t m_srcBlend = 1;  // 0 zero, 1 one, 2 src alpha, 3 1-src alpha, 4 src colour, 5 1-src colour
  uint32_t m_dstBlend = 0;
  uint32_t m_alphaFunc = 0;
  uint32_t m_alphaValue = 0;   // 32 bits carried as they are
  uint32_t m_alphaFactor = 0;  // 32 bits carried as they are
  VQMaterial* m_next = nullptr;
  // Back link and library generation (0: not in the library), so that unlinking a material
  // costs no search; the library is still walked from its head through m_next.
  VQMaterial* m_prev = nullptr;
  uint32_t m_libraryGeneration = 0;

 private:
  friend void VQmaterial_LibraryFreeAll();
  VQMaterial() = default;
  ~VQMaterial();
};

uint32_t VQmaterial_LibraryCount();
VQMaterial* VQmaterial_LibraryHead();
VQMaterial* VQmaterial_LibraryGet(uint32_t index);
// The newest material with exactly this name (case-sensitive), or null.
VQMaterial* VQmaterial_LibraryFind(const char* name);
// Moves a material of the library to the head (it becomes the newest).
void VQmaterial_LibraryMoveToHead(VQMaterial* material);
// Name counter 1, empty list (forgets without freeing; call at system start).
void VQmaterial_LibraryReset();
// Frees every material regardless of references.
void VQmaterial_LibraryFreeAll();
void VQmaterial_LibraryShutdown();

class VQMattable {
 public:
  // count slots, each a new unnamed material with defaults; 0 gives no slots. Null when
  // out of memory.
  static VQMattable* Create(uint32_t count);
  // Each slot's material loses a reference (destroyed at 0); the table is freed.
  static void Release(VQMattable* table);
  static VQMattable* Clone(const VQMattable* source, bool deep);

  // False when the index is not below the count. Sets has-transparent for a transparent
  // material (never clears it).
  bool Set(VQMaterial* material, uint32_t index);
  void UpdateTransparency();
  // Replaces the slot array by count empty slots (releasing old materials); false when out
  // of memory.
  bool Resize(uint32_t count);

  uint32_t m_refCount = 0;
  uint8_t m_hasTransparent = 0;
  uint16_t m_count = 0;
  VQMaterial** m_slots = nullptr;

 private:
  VQMattable() = default;
};
