// Textures: reference-counted images a display device can sample (each device has its own
// subclass), and VQTextureManager, the device's cache of named textures. The manager finds
// texture files through a stack of search folders, creates textures through the device,
// shares them by name with a reference count, tags them with a group so that a whole group can
// be released at once, and keeps the sampling settings applied to textures created later.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "Zentri/resources/VQBlit.h"

// Texture sampling values; the KEEP value (0) in a setter keeps the old value. The mipmap
// filters name the filter within a level first, then the one between levels.
enum VQTextureFilter : uint32_t {
  VQFILTER_KEEP = 0,
  VQFILTER_NEAREST = 1,
  VQFILTER_LINEAR = 2,
  VQFILTER_NEAREST_MIP_NEAREST = 3,
  VQFILTER_NEAREST_MIP_LINEAR = 4,
  VQFILTER_LINEAR_MIP_NEAREST = 5,
  VQFILTER_LINEAR_MIP_LINEAR = 6,
};
enum VQTextureWrap : uint32_t { VQWRAP_KEEP = 0, VQWRAP_CLAMP = 1, VQWRAP_REPEAT = 2 };

class VQDisplayDevice;
class VQTextureManager;

class VQTexture {
 public:
  VQTexture() = default;

  // Drops the texture: through its manager when held (VQTextureManager::Remove), else the
  // device destroys it (VQDisplayDevice::DeleteTexture); without a device it is deleted.
  virtual void Release();
  // Frees the palette.
  virtual ~VQTexture();
  // The pixels of a mip level and their pitch in pixels (pitch may be null); null when none.
  virtual void* Lock(uint32_t* pitch, uint32_t level) = 0;
  // Wrap u, wrap v, magnification and minification filter; 0 keeps a value.
  virtual void SetSampling(uint32_t wrapU, uint32_t wrapV, uint32_t magFilter, uint32_t minFilter) = 0;
  // Sends the pixels to the device.
  virtual bool Upload() = 0;
  virtual float* GetPixel(float* rgba, uint32_t x, uint32_t y) = 0;
  virtual void SetPixel(uint32_t x, uint32_t y, const float* rgba) = 0;

  // The manager's name for it, else "".
  const char* GetName() const;
  // This texture when it already has the size; else a new texture of the device, rescaled
  // from mip level 0 (palette images by nearest index; null when that fails).
  VQTexture* CreateResized(uint32_t width, uint32_t height);
  // Writes mip level n (width >> n by height >> n) as an image file, bottom-up.
  bool SaveFile(const char* path, uint32_t fileType, uint32_t packing, uint32_t level);

  int32_t m_refCount = 1;
  VQTextureManager* m_manager = nullptr;  // null for a texture outside the cache
  uintptr_t m_driverWords[2] = {0, 0};    // kept by the device subclass
  uint32_t m_width = 0, m_height = 0;     // surface size at mip level 0
  uint32_t m_imageWidth = 0, m_imageHeight = 0;  // size of the picture it was made from
  uint32_t m_format = 0;
  VQDisplayDevice* m_device = nullptr;
  uint8_t* m_palette = nullptr;           // 1024 bytes for format 1, owned (std::free)

  VQTexture(const VQTexture&) = delete;
  VQTexture& operator=(const VQTexture&) = delete;
};

constexpr uint32_t VQTEXTURE_SLOTS = 512;
constexpr uint32_t VQTEXTURE_FOLDERS = 15;
constexpr uint32_t VQTEXTURE_SAMPLING_STACK = 32;
constexpr uint32_t VQTEXTURE_ALL_GROUPS = 0xFFFFFFFFu;

class VQTextureManager {
 public:
  VQTextureManager();
  ~VQTextureManager();

  // The texture of a name, shared by name (compared without regard to case) with a
  // reference count; with create set a missing one is searched on the folder stack (top
  // first; "." when empty) and loaded through the device, at most maxWidth x maxHeight.
  // Errors: 28 null name, 31 name too long, 27 when 512 are held. A texture not found is
  // logged ("Cannot load texture '%s'") unless quiet; the result is null.
  VQTexture* Load(const char* name, uint32_t loadParameter, bool create, bool quiet,
                  uint32_t maxWidth, uint32_t maxHeight);
  // Creates a texture through the device (arguments passed on) and adds it without a name.
  VQTexture* CreateEmpty(const void* pixels, uint32_t width, uint32_t height, uint32_t format,
                         uint8_t* palette, uint32_t word);
  // Takes a texture into the cache under a lower-cased name and the current group; one larger
  // than the maximum is replaced by a copy rescaled to fit (each side clamped to its maximum).
  // Null stays null; a full cache: error 27, null (the texture is left to the caller).
  VQTexture* Add(VQTexture* texture, const char* name, uint32_t maxWidth, uint32_t maxHeight);
  // Destroys a held texture through the device and closes the gap with the last slot.
  // False when not held.
  bool Remove(VQTexture* texture);
  // Drops one reference of a slot; at 0 the texture's Release runs. Bad index: error 28.
  bool ReleaseSlot(uint32_t index);
  // Null: error 28; not held: error 29; else ReleaseSlot.
  bool Release(VQTexture* texture);
  // Releases every texture of a group whatever its count; VQTEXTURE_ALL_GROUPS destroys every
  // texture without looking at counts.
  void ReleaseGroup(uint32_t group);
  void ReleaseAll() { ReleaseGroup(VQTEXTURE_ALL_GROUPS); }

  const char* GetEntryName(const VQTexture* texture) const;
  bool SetSlotName(uint32_t index, const char* name);
  bool SetName(const VQTexture* texture, const char* name);
  // Slot index of a held texture, or -1.
  int32_t IndexOf(const VQTexture* texture) const;

  // The folder stack (15 folders of at most 255 characters). Errors: 31 too long, 43 full,
  // 44 empty.
  bool SetFolder(const char* path, bool searchSubfolders);
  bool PushFolder(const char* path, bool searchSubfolders);
  bool PopFolder();
  // A power of two (not 0) is stored; else error 28.
  bool SetLoadFactor(uint32_t factor);
  // Sets the device's filters and wraps (0 keeps a device value), then stores the four.
  void SetSampling(uint32_t wrapU, uint32_t wrapV, uint32_t magFilter, uint32_t minFilter);
  // Saves the current four and sets new ones; 32 saved: error 43.
  bool PushSampling(uint32_t wrapU, uint32_t wrapV, uint32_t magFilter, uint32_t minFilter);
  // Restores the last saved set; nothing when none is saved.
  void PopSampling();

  bool FindFile(const char* name, const std::string& folder, bool searchSubfolders, VQTexture** out);

  VQDisplayDevice* m_device = nullptr;
  uint32_t m_count = 0;
  VQTexture* m_textures[VQTEXTURE_SLOTS] = {};
  std::string m_names[VQTEXTURE_SLOTS];
  uint32_t m_groups[VQTEXTURE_SLOTS] = {};
  uint32_t m_folderCount = 0;
  std::string m_folders[VQTEXTURE_FOLDERS];  // bottom first
  uint8_t m_searchSubfolders[VQTEXTURE_FOLDERS] = {};
  uint32_t m_loadFactor = 1;
  uint32_t m_loadParameter = 0;
  uint8_t m_cutExtension = 0;  // names lose a 1- to 3-character extension; known ones are tried
  uint8_t m_cutFolder = 0;     // names lose everything up to the last backslash
  uint32_t m_currentGroup = 0;
  // Wrap u, wrap v, magnification, minification; a new manager repeats in both directions and
  // filters linearly both ways.
  uint32_t m_sampling[4] = {VQWRAP_REPEAT, VQWRAP_REPEAT, VQFILTER_LINEAR, VQFILTER_LINEAR};
  uint32_t m_samplingStack[VQTEXTURE_SAMPLING_STACK][4] = {};
  uint32_t m_samplingDepth = 0;

 private:
  bool SearchFolder(const std::string& folder, const char* name, bool searchSubfolders,
                    VQTexture** out, uint32_t depth, std::set<std::string>& visited);
};

// Texture blits (each texture locked at mip level 0; the caller uploads afterwards). The
// source must fit inside the destination and the background: otherwise nothing happens.
// The whole texture from a tightly packed buffer of its own width x height.
void VQtexture_BlitPixels(VQTexture* texture, const void* pixels, uint8_t forceAlpha,
                          uint32_t srcFormat, uint8_t keepAlpha);
void VQtexture_SetPixels(VQTexture* texture, const void* pixels, uint32_t srcFormat);
// The source's width x height at the destination's origin.
void VQtexture_Blit(VQTexture* dst, VQTexture* src, uint8_t forceAlpha);
void VQtexture_BlitBlend(VQTexture* dst, VQTexture* background, VQTexture* src, uint8_t keepAlpha);
void VQtexture_BlitAlpha(VQTexture* dst, VQTexture* src, uint8_t invertAlpha);
