// Scene files: the database (".vqo", magic "VQO_Database") holding a node tree with its
// geosets, material tables and materials, and the two smaller files holding one material
// table ("VQO_Mattable") or one geoset ("VQO_Geoset"); plus the one-way VRML 1.0 export.
//
// The formats are 32-bit memory images of the engine's records, read and written here field
// by field in little-endian. Readers trust nothing in a file: every size, count, index, name
// terminator and material name is checked, and a failed read frees what it built, creates
// no root and leaves engine error 25 (or the file error) in g_VQerror. Writers build the
// file in memory, write it under a temporary name and rename it over the target, so a failed
// save leaves the old file alone.
//
// Colour format code 12 stores vertex colours with bytes 0 and 2 exchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class VQNode;
class VQGeoset;
class VQMattable;
class VQSceneTextures;
class VQTexture;
class VQDisplayDevice;

constexpr uint32_t VQSCENE_MAX_GEOSETS = 2000;
constexpr uint32_t VQSCENE_MAX_MATTABLES = 2000;
constexpr uint32_t VQSCENE_MAX_MATERIALS = 1000;   // per written file
constexpr uint32_t VQSCENE_MAX_NAME = 34;          // node name characters
constexpr uint32_t VQSCENE_MAX_DEPTH = 256;        // node nesting a reader accepts
constexpr int32_t VQERR_SCENE_TOO_MANY_MATERIALS = 33;
constexpr int32_t VQERR_SCENE_NO_VRML_IMPORT = 52;

// By the extension: "vqo" reads a database, "wrl" fails with 52 (VRML is not read); other: 25.
bool VQscene_LoadFile(VQNode** root, const char* path, VQSceneTextures* textures,
                      uint32_t colourFormat, bool loadTextures);
// By the file type given: 4 writes a database, 14 exports VRML; other: 25. word unused.
bool VQscene_SaveFile(VQNode* root, const char* path, int32_t fileType, uint32_t colourFormat,
                      uint32_t word);
bool VQscene_ImportVRML();

bool VQscene_ReadDatabase(VQNode** root, const char* path, VQSceneTextures* textures,
                          uint32_t colourFormat, bool loadTextures);
bool VQscene_ReadDatabaseMemory(VQNode** root, const uint8_t* data, size_t size,
                                VQSceneTextures* textures, uint32_t colourFormat,
                                bool loadTextures);
// loadTextures: load the stage textures through `textures` (else only their names are kept).
bool VQscene_ReadMattableFile(VQMattable** table, const char* path, VQSceneTextures* textures,
                              bool loadTextures);
bool VQscene_ReadMattableMemory(VQMattable** table, const uint8_t* data, size_t size,
                                VQSceneTextures* textures, bool loadTextures);
bool VQscene_ReadGeosetFile(VQGeoset** geoset, const char* path, uint32_t colourFormat);
bool VQscene_ReadGeosetMemory(VQGeoset** geoset, const uint8_t* data, size_t size,
                              uint32_t colourFormat);

// False (the file still complete and readable) when the tree holds an effect or callback
// node (error 28), a name longer than 34 characters (31, written cut), more than 1000
// materials (33) or more than 2000 geosets or tables (27).
bool VQscene_WriteDatabase(VQNode* root, const char* path, uint32_t colourFormat);
bool VQscene_WriteDatabaseMemory(VQNode* root, std::vector<uint8_t>& out, uint32_t colourFormat);
bool VQscene_WriteMattableFile(VQMattable* table, const char* path);
bool VQscene_WriteMattableMemory(VQMattable* table, std::vector<uint8_t>& out);
bool VQscene_WriteGeosetFile(VQGeoset* geoset, const char* path, uint32_t colourFormat);
bool VQscene_WriteGeosetMemory(VQGeoset* geoset, std::vector<uint8_t>& out, uint32_t colourFormat);

// After a load, the display device takes the meshes over: every mesh of every geoset under
// the root (or of one geoset) gets the device, with device buffer 0. The device then owns
// their release (VQDisplayDevice::DeleteMesh).
void VQscene_SetMeshDevice(VQNode* root, VQDisplayDevice* device);
void VQscene_SetGeosetDevice(VQGeoset* geoset, VQDisplayDevice* device);

// A display device's scene loads: the device's texture manager (stage numbers modulo
// `textureUnits`) and vertex-colour format, then the device takes the loaded meshes over.
// Null on failure (the reason in g_VQerror).
VQNode* VQscene_LoadForDevice(VQDisplayDevice* device, const char* path, bool loadTextures,
                              uint32_t textureUnits = 2);
VQGeoset* VQscene_LoadGeosetForDevice(VQDisplayDevice* device, const char* path);

// VRML 1.0 text of a subtree: geoset nodes as indexed face sets with their materials.
bool VQscene_ExportVRML(VQNode* node, const char* path);

// The sampling value of a texture, for the sampling word a writer stores beside a stage's
// texture name (VQscene_SamplingValue packs it). Installed by a display device whose
// textures know their sampling; without it, without a texture, or when it gives 0 (a texture
// of another device) the word read from the file is written back.
extern uint32_t (*g_VQsceneTextureSampling)(VQTexture* texture);

// A texture's sampling value as the writer takes it: minification filter in bits 0-3,
// magnification 4-7, wrap v 8-11, wrap u 12-15. The stored word has its two low bytes
// exchanged, which gives back the nibbles a reader pushes onto the texture manager.
inline uint32_t VQscene_SamplingValue(uint32_t wrapU, uint32_t wrapV, uint32_t magFilter,
                                      uint32_t minFilter) {
  return (minFilter & 0xF) | (magFilter & 0xF) << 4 | (wrapV & 0xF) << 8 | (wrapU & 0xF) << 12;
}
// The sampling word stored in a file for a sampling value.
inline uint32_t VQscene_SamplingWord(uint32_t value) {
  return ((value & 0xFF) << 8) | ((value >> 8) & 0xFF);
}
