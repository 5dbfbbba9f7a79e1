#include "Zentri/devices/display/VQDisplayDevice.h"

#include <cstdint>
#include <new>

#include "Zentri/platform/VQSystem.h"
#include "Zentri/resources/VQPixmap.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/scene/VQGeoset.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/scene/VQSceneTextures.h"
#include "Zentri/util/VQerror.h"

namespace {
uint32_t Channel(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 1.0f) return 255;
  return uint32_t(v * 255.0f);
}
}  // namespace

uint32_t VQcolour_Pack(float red, float green, float blue, float alpha) {
  return Channel(red) | Channel(green) << 8 | Channel(blue) << 16 | Channel(alpha) << 24;
}

VQDisplayDevice::VQDisplayDevice(uint32_t kind) : VQDevice(kind) {}

VQDisplayDevice::~VQDisplayDevice() { DestroyManagers(); }

uint32_t VQDisplayDevice::BindManagedTextures() { return 0; }
void VQDisplayDevice::SetFillMode(uint32_t) {}
VQCanvas* VQDisplayDevice::CreateCanvas(uint32_t, uintptr_t, uint32_t, uint32_t, uint32_t, uint32_t) {
  if (m_canvasCount >= VQDISPLAY_MAX_CANVASES) g_VQerror = VQERR_TOO_MANY_CANVASES;
  return nullptr;
}
bool VQDisplayDevice::GetModeCount(uint32_t* count) {
  if (count) *count = 0;
  return false;
}
bool VQDisplayDevice::GetModes(uint32_t* count, VQDisplayMode** modes) {
  if (count) *count = 0;
  if (modes) *modes = nullptr;
  return false;
}
bool VQDisplayDevice::GetCurrentMode(VQDisplayMode*) { return false; }
bool VQDisplayDevice::SetMode(uint32_t, uint32_t, uint32_t, uint32_t) { return false; }
uint32_t VQDisplayDevice::ColourToPixel(uint32_t, uint32_t) { return 0; }
uint32_t VQDisplayDevice::PackColourF(float, float, float, float) { return 0; }
uint32_t VQDisplayDevice::PackColourB(const uint8_t*) { return 0; }
uint32_t VQDisplayDevice::PackColourV(const float*) { return 0; }
bool VQDisplayDevice::EnableLight(const VQLightNode*, uint32_t) { return false; }
void VQDisplayDevice::DisableLight(const VQLightNode*, uint32_t) {}
bool VQDisplayDevice::FogOn(const VQFogNode*) { return false; }
void VQDisplayDevice::FogOff(const VQFogNode*) {}
void VQDisplayDevice::DrawMesh(VQMesh*, uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t) {}
void* VQDisplayDevice::ReservedQuery(uintptr_t) { return nullptr; }
VQTexture* VQDisplayDevice::CreateTexture(const void*, uint32_t, uint32_t, uint32_t, uint8_t*, uint32_t) {
  g_VQerror = VQERR_INVALID_ARGUMENT;
  return nullptr;
}
VQTexture* VQDisplayDevice::CreateTextureFromFile(const char*, uint32_t, uint32_t) { return nullptr; }
uint32_t VQDisplayDevice::DeleteTexture(VQTexture* texture) {
  if (texture) {
    delete texture;
    if (m_liveTextures) --m_liveTextures;
  }
  return m_liveTextures;
}
VQPixmap* VQDisplayDevice::CopyPixmap(const VQPixmap* pixmap) {
  if (!pixmap) g_VQerror = VQERR_INVALID_ARGUMENT;
  return nullptr;
}
VQPixmap* VQDisplayDevice::CreatePixmap(uint32_t, uint32_t, uint32_t) {
  g_VQerror = VQERR_INVALID_ARGUMENT;
  return nullptr;
}
VQPixmap* VQDisplayDevice::CreatePixmapFromFile(const char*) { return nullptr; }
uint32_t VQDisplayDevice::DeletePixmap(VQPixmap* pixmap) {
  if (pixmap) {
    delete pixmap;
    if (m_livePixmaps) --m_livePixmaps;
  }
  return m_livePixmaps;
}
VQMesh* VQDisplayDevice::CreateMeshFromRecord(const void* record, uintptr_t) {
  if (!record) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  VQMesh* mesh = VQMesh::Copy(static_cast<const VQMesh*>(record));
  if (!mesh) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  mesh->m_device = this;
  mesh->m_deviceBuffer = 0;
  return mesh;
}
VQMesh* VQDisplayDevice::CreateMesh(uint32_t vertexCount, uint32_t triangleCount, uintptr_t extra,
                                    uintptr_t normals, uintptr_t colours, uintptr_t texCoords) {
  if (extra > UINT32_MAX) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  VQMesh* mesh = VQMesh::Create(vertexCount, triangleCount, uint32_t(extra), normals != 0,
                                colours != 0, texCoords != 0);
  if (!mesh) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  mesh->m_device = this;
  mesh->m_deviceBuffer = 0;
  return mesh;
}
void VQDisplayDevice::DeleteMesh(VQMesh* mesh) {
  if (!mesh) return;
  mesh->m_deviceBuffer = 0;
  mesh->m_device = nullptr;
  VQMesh::FreeMemory(mesh);
}
uint32_t VQDisplayDevice::GetPixmapFormatFor(uint32_t format) { return format; }
uint32_t VQDisplayDevice::GetTextureFormatFor(uint32_t format) { return format; }
VQNode* VQDisplayDevice::ReadSceneFile(const char* path, uintptr_t loadTextures, uintptr_t) {
  return VQscene_LoadForDevice(this, path, loadTextures != 0, m_simultaneousTextures);
}
bool VQDisplayDevice::WriteSceneFile(VQNode* root, const char* path, uintptr_t fileType,
                                     uintptr_t word) {
  return VQscene_SaveFile(root, path, int32_t(fileType), m_vertexColourFormat, uint32_t(word));
}
VQMattable* VQDisplayDevice::LoadMattable(const char* path, uintptr_t, uintptr_t) {
  VQSceneTextureManager textures(m_textureManager, m_simultaneousTextures);
  VQMattable* table = nullptr;
  if (!VQscene_ReadMattableFile(&table, path, m_textureManager ? &textures : nullptr))
    return nullptr;
  return table;
}
bool VQDisplayDevice::SaveMattable(VQMattable* table, const char* path) {
  return VQscene_WriteMattableFile(table, path);
}
VQGeoset* VQDisplayDevice::LoadGeoset(const char* path, uintptr_t) {
  return VQscene_LoadGeosetForDevice(this, path);
}
bool VQDisplayDevice::SaveGeoset(VQGeoset* geoset, const char* path) {
  return VQscene_WriteGeosetFile(geoset, path, m_vertexColourFormat);
}
void VQDisplayDevice::PrepareMesh(VQMesh*, uintptr_t) {}
void VQDisplayDevice::PrepareGeoset(VQGeoset*) {}
void VQDisplayDevice::SetCanvasVectorA(const float*) {}
void VQDisplayDevice::SetCanvasVectorB(const float*) {}
void VQDisplayDevice::ApplyState() {}
void VQDisplayDevice::ApplyMaterial(VQMaterial*) {}
void VQDisplayDevice::SetModelMatrix(const VQMatrix*, uintptr_t) {}
void VQDisplayDevice::SetRenderFlag(uint32_t, bool) {}
bool VQDisplayDevice::GetRenderFlag(uint32_t) { return false; }
void VQDisplayDevice::SetBlend(uint32_t, uint32_t) {}
void VQDisplayDevice::BindTexture(VQTexture*) {}
void VQDisplayDevice::DrawTriangle(const float*, const uint32_t*, const float*, const float*) {}
void VQDisplayDevice::DrawQuad(const float*, const uint32_t*, const float*, const float*) {}
void VQDisplayDevice::DrawLines(uint32_t, const float*, bool) {}

void VQDisplayDevice::SetTextureMinFilter(uint32_t value) {
  if (value) m_minFilter = value;
}
void VQDisplayDevice::SetTextureMagFilter(uint32_t value) {
  if (value) m_magFilter = value;
}
void VQDisplayDevice::SetTextureWrap(uint32_t wrapU, uint32_t wrapV) {
  if (wrapU) m_wrapU = wrapU;
  if (wrapV) m_wrapV = wrapV;
}
void VQDisplayDevice::SetLighting(VQLighting* lighting) {
  m_lighting = lighting;
  ApplyState();
}
void VQDisplayDevice::SetMaterial(VQMaterial* material) {
  m_material = material;
  ApplyState();
}

bool VQDisplayDevice::AddCanvas(VQCanvas* canvas) {
  if (m_canvasCount >= VQDISPLAY_MAX_CANVASES) return VQerror_Fail(VQERR_TOO_MANY_CANVASES);
  m_canvases[m_canvasCount++] = canvas;
  return true;
}

bool VQDisplayDevice::RemoveCanvas(VQCanvas* canvas) {
  for (uint32_t i = 0; i < m_canvasCount; ++i) {
    if (m_canvases[i] != canvas) continue;
    for (uint32_t j = i + 1; j < m_canvasCount; ++j) m_canvases[j - 1] = m_canvases[j];
    m_canvases[--m_canvasCount] = nullptr;
    return true;
  }
  return false;
}

bool VQDisplayDevice::CreateManagers() {
  DestroyManagers();
  m_textureManager = new (std::nothrow) VQTextureManager();
  m_pixmapManager = new (std::nothrow) VQPixmapManager();
  if (!m_textureManager || !m_pixmapManager) {
    DestroyManagers();
    return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  }
  m_textureManager->m_device = this;
  m_pixmapManager->m_device = this;
  return true;
}

void VQDisplayDevice::DestroyManagers() {
  if (m_textureManager) {
    m_textureManager->ReleaseAll();
    delete m_textureManager;
    m_textureManager = nullptr;
  }
  if (m_pixmapManager) {
    m_pixmapManager->ReleaseAll();
    delete m_pixmapManager;
    m_pixmapManager = nullptr;
  }
}

void VQDisplayDevice::CloseDisplay() {
  while (m_canvasCount > 0) {
    const uint32_t before = m_canvasCount;
    DestroyCanvas(m_canvases[m_canvasCount - 1], 1);
    // A driver whose DestroyCanvas leaves the list alone must not hold Close in a loop.
    if (m_canvasCount == before) RemoveCanvas(m_canvases[m_canvasCount - 1]);
  }
  DestroyManagers();
  if (m_registered) g_VQsystem.RemoveDevice(this);
  m_registered = 0;
  m_initialised = 0;
}
