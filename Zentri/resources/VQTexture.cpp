#include "Zentri/resources/VQTexture.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQImageIO.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/resources/VQPixmap.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQlog.h"

namespace {
std::string Lower(const char* s) {
  std::string r(s ? s : "");
  for (char& c : r) c = char(std::tolower(static_cast<unsigned char>(c)));
  return r;
}
bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// VQTexture

VQTexture::~VQTexture() {
  std::free(m_palette);
  m_palette = nullptr;
}

void VQTexture::Release() {
  if (m_manager && m_manager->IndexOf(this) >= 0) {
    m_manager->Remove(this);
  } else if (m_device) {
    m_device->DeleteTexture(this);
  } else {
    delete this;
  }
}

const char* VQTexture::GetName() const {
  if (!m_manager) return "";
  const char* name = m_manager->GetEntryName(this);
  return name ? name : "";
}

VQTexture* VQTexture::CreateResized(uint32_t width, uint32_t height) {
  if (width == m_width && height == m_height) return this;
  if (!m_device || width == 0 || height == 0) return nullptr;
  uint32_t pitch = 0;
  const void* pixels = Lock(&pitch, 0);
  const uint32_t bpp = VQPixelFormat_BytesPerPixel(m_format);
  if (!pixels || bpp == 0) return nullptr;
  uint8_t* buffer = static_cast<uint8_t*>(std::calloc(size_t(width) * height, 4));
  if (!buffer) {
    g_VQerror = VQERR_OUT_OF_MEMORY;
    return nullptr;
  }
  if (m_format == VQPF_PAL8) {
    // Palette indices cannot be averaged (and the rescaler leaves format 1 alone, which would
    // give an image of index 0): each new pixel takes the index at its nearest source pixel.
    for (uint32_t y = 0; y < height; ++y) {
      const uint64_t sy = uint64_t(y) * m_height / height;
      const uint8_t* row = static_cast<const uint8_t*>(pixels) + size_t(sy) * pitch;
      for (uint32_t x = 0; x < width; ++x)
        buffer[size_t(y) * width + x] = row[uint64_t(x) * m_width / width];
    }
  } else {
    VQpixels_Rescale(buffer, width, height, width, pixels, m_width, m_height, pitch, m_format);
  }
  // The new texture takes its own copy of the palette.
  uint8_t* palette = nullptr;
  if (m_palette) {
    palette = static_cast<uint8_t*>(std::malloc(VQPALETTE_BYTES));
    if (palette) std::memcpy(palette, m_palette, VQPALETTE_BYTES);
  }
  VQTexture* t = m_device->CreateTexture(buffer, width, height, m_format, palette, 0);
  if (!t) std::free(palette);
  std::free(buffer);
  return t;
}

bool VQTexture::SaveFile(const char* path, uint32_t fileType, uint32_t packing, uint32_t level) {
  uint32_t pitch = 0;
  const void* pixels = Lock(&pitch, level);
  if (!pixels || level >= 32) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  return VQimage_WriteFile(pixels, m_width >> level, m_height >> level, pitch, m_format, m_palette, true,
                           path, fileType, packing);
}

// ---------------------------------------------------------------------------------------------
// VQTextureManager

VQTextureManager::VQTextureManager() = default;

VQTextureManager::~VQTextureManager() = default;

int32_t VQTextureManager::IndexOf(const VQTexture* texture) const {
  if (!texture) return -1;
  for (uint32_t i = 0; i < m_count; ++i)
    if (m_textures[i] == texture) return int32_t(i);
  return -1;
}

VQTexture* VQTextureManager::Add(VQTexture* texture, const char* name, uint32_t maxWidth,
                                 uint32_t maxHeight) {
  if (!texture) return nullptr;
  if (m_count >= VQTEXTURE_SLOTS) {
    g_VQerror = VQERR_TABLE_FULL;
    return nullptr;
  }
  const uint32_t slot = m_count;
  texture->m_manager = this;
  m_textures[slot] = texture;
  m_groups[slot] = m_currentGroup;
  m_names[slot] = Lower(name);
  ++m_count;
  if (texture->m_width > maxWidth || texture->m_height > maxHeight) {
    const uint32_t w = texture->m_width > maxWidth ? maxWidth : texture->m_width;
    const uint32_t h = texture->m_height > maxHeight ? maxHeight : texture->m_height;
    VQTexture* resized = texture->CreateResized(w, h);
    // Without a resized copy the original stays in the slot.
    if (resized && resized != texture) {
      resized->m_manager = this;
      resized->m_refCount = texture->m_refCount;
      m_textures[slot] = resized;
      texture->m_manager = nullptr;
      if (m_device) m_device->DeleteTexture(texture);
      else delete texture;
    }
  }
  return m_textures[slot];
}

VQTexture* VQTextureManager::CreateEmpty(const void* pixels, uint32_t width, uint32_t height,
                                         uint32_t format, uint8_t* palette, uint32_t word) {
  if (!m_device) {
    g_VQerror = VQERR_NOT_OPEN;
    return nullptr;
  }
  if (m_count >= VQTEXTURE_SLOTS) {
    g_VQerror = VQERR_TABLE_FULL;
    return nullptr;
  }
  VQTexture* t = m_device->CreateTexture(pixels, width, height, format, palette, word);
  return Add(t, "", 0xFFFFFFFFu, 0xFFFFFFFFu);
}

bool VQTextureManager::Remove(VQTexture* texture) {
  const int32_t index = IndexOf(texture);
  if (index < 0) return false;
  const uint32_t i = uint32_t(index);
  texture->m_manager = nullptr;
  if (m_device) m_device->DeleteTexture(texture);
  else delete texture;
  const uint32_t last = m_count - 1;
  m_textures[i] = m_textures[last];
  m_names[i] = std::move(m_names[last]);
  m_groups[i] = m_groups[last];
  m_textures[last] = nullptr;
  m_names[last].clear();
  m_groups[last] = 0;
  m_count = last;
  return true;
}

bool VQTextureManager::ReleaseSlot(uint32_t index) {
  if (index >= m_count || !m_textures[index]) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  VQTexture* t = m_textures[index];
  if (--t->m_refCount <= 0) t->Release();
  return true;
}

bool VQTextureManager::Release(VQTexture* texture) {
  if (!texture) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  const int32_t index = IndexOf(texture);
  if (index < 0) return VQerror_Fail(VQERR_NOT_FOUND);
  return ReleaseSlot(uint32_t(index));
}

void VQTextureManager::ReleaseGroup(uint32_t group) {
  if (group == VQTEXTURE_ALL_GROUPS) {
    for (uint32_t i = 0; i < m_count; ++i) {
      VQTexture* t = m_textures[i];
      m_textures[i] = nullptr;
      m_names[i].clear();
      m_groups[i] = 0;
      if (!t) continue;
      t->m_manager = nullptr;
      if (m_device) m_device->DeleteTexture(t);
      else delete t;
    }
    m_count = 0;
    return;
  }
  // From the last slot down: Remove moves the last slot into the gap, which has been seen.
  for (uint32_t i = m_count; i-- > 0;) {
    if (i >= m_count || m_groups[i] != group || !m_textures[i]) continue;
    m_textures[i]->m_refCount = 1;
    ReleaseSlot(i);
  }
}

const char* VQTextureManager::GetEntryName(const VQTexture* texture) const {
  const int32_t i = IndexOf(texture);
  return i < 0 ? nullptr : m_names[i].c_str();
}

bool VQTextureManager::SetSlotName(uint32_t index, const char* name) {
  if (index >= m_count || !name) return false;
  m_names[index] = name;
  return true;
}

bool VQTextureManager::SetName(const VQTexture* texture, const char* name) {
  const int32_t i = IndexOf(texture);
  return i >= 0 && SetSlotName(uint32_t(i), name);
}

bool VQTextureManager::SetFolder(const char* path, bool searchSubfolders) {
  if (!path) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  if (std::strlen(path) >= VQPATH_SIZE) return VQerror_Fail(VQERR_NAME_TOO_LONG);
  for (uint32_t i = 0; i < VQTEXTURE_FOLDERS; ++i) m_folders[i].clear();
  m_folders[0] = path;
  m_searchSubfolders[0] = searchSubfolders ? 1 : 0;
  m_folderCount = 1;
  return true;
}

bool VQTextureManager::PushFolder(const char* path, bool searchSubfolders) {
  if (!path) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  if (m_folderCount >= VQTEXTURE_FOLDERS) return VQerror_Fail(VQERR_HANDLER_STACK_FULL);
  if (std::strlen(path) >= VQPATH_SIZE) return VQerror_Fail(VQERR_NAME_TOO_LONG);
  m_folders[m_folderCount] = path;
  m_searchSubfolders[m_folderCount] = searchSubfolders ? 1 : 0;
  ++m_folderCount;
  return true;
}

bool VQTextureManager::PopFolder() {
  if (m_folderCount == 0) return VQerror_Fail(VQERR_HANDLER_STACK_EMPTY);
  --m_folderCount;
  m_folders[m_folderCount].clear();
  m_searchSubfolders[m_folderCount] = 0;
  return true;
}

bool VQTextureManager::SetLoadFactor(uint32_t factor) {
  if (factor == 0 || (factor & (factor - 1)) != 0) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  m_loadFactor = factor;
  return true;
}

void VQTextureManager::SetSampling(uint32_t wrapU, uint32_t wrapV, uint32_t magFilter,
                                   uint32_t minFilter) {
  if (m_device) {
    m_device->SetTextureMagFilter(magFilter);
    m_device->SetTextureMinFilter(minFilter);
    m_device->SetTextureWrap(wrapU, wrapV);
  }
  m_sampling[0] = wrapU;
  m_sampling[1] = wrapV;
  m_sampling[2] = magFilter;
  m_sampling[3] = minFilter;
}

bool VQTextureManager::PushSampling(uint32_t wrapU, uint32_t wrapV, uint32_t magFilter,
                                    uint32_t minFilter) {
  if (m_samplingDepth >= VQTEXTURE_SAMPLING_STACK) return VQerror_Fail(VQERR_HANDLER_STACK_FULL);
  std::memcpy(m_samplingStack[m_samplingDepth], m_sampling, sizeof m_sampling);
  ++m_samplingDepth;
  SetSampling(wrapU, wrapV, magFilter, minFilter);
  return true;
}

void VQTextureManager::PopSampling() {
  if (m_samplingDepth == 0) return;
  --m_samplingDepth;
  const uint32_t* s = m_samplingStack[m_samplingDepth];
  SetSampling(s[0], s[1], s[2], s[3]);
}

VQTexture* VQTextureManager::Load(const char* name, uint32_t loadParameter, bool create, bool quiet,
                                  uint32_t maxWidth, uint32_t maxHeight) {
  if (!name) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  if (m_cutFolder) {
    if (const char* slash = std::strrchr(name, '\\')) name = slash + 1;
  }
  if (std::strlen(name) >= VQPATH_SIZE) {
    g_VQerror = VQERR_NAME_TOO_LONG;
    return nullptr;
  }
  std::string base(name);
  if (m_cutExtension) {
    const size_t n = base.size();
    for (size_t back = 2; back <= 4; ++back) {
      if (n >= back && base[n - back] == '.') {
        base.resize(n - back);
        break;
      }
    }
  }
  // Unnamed textures (CreateEmpty) are never found by name.
  for (uint32_t i = 0; i < m_count; ++i) {
    if (m_textures[i] && !m_names[i].empty() && SameName(m_names[i], base)) {
      ++m_textures[i]->m_refCount;
      return m_textures[i];
    }
  }
  if (!create) return nullptr;
  if (m_count >= VQTEXTURE_SLOTS) {
    g_VQerror = VQERR_TABLE_FULL;
    return nullptr;
  }
  m_loadParameter = loadParameter;
  VQTexture* found = nullptr;
  if (m_folderCount == 0) {
    FindFile(base.c_str(), ".", false, &found);
  } else {
    for (uint32_t i = m_folderCount; i-- > 0 && !found;)
      FindFile(base.c_str(), m_folders[i], m_searchSubfolders[i] != 0, &found);
  }
  if (!found) {
    if (!quiet) VQlog_Printf(VQLOG_INFO, "Cannot load texture '%s'", base.c_str());
    return nullptr;
  }
  return Add(found, base.c_str(), maxWidth, maxHeight);
}

bool VQTextureManager::FindFile(const char* name, const std::string& folder, bool searchSubfolders,
                                VQTexture** out) {
  std::set<std::string> visited;
  return SearchFolder(VQimage_IsAbsolutePath(name) ? std::string() : folder, name, searchSubfolders, out, 0,
                      visited);
}

bool VQTextureManager::SearchFolder(const std::string& folder, const char* name, bool searchSubfolders,
                                    VQTexture** out, uint32_t depth, std::set<std::string>& visited) {
  if (!m_device) return false;
  std::string candidate;
  if (m_cutExtension) {
    // The first candidate that exists is the only one loaded: a broken x.vqp does not fall
    // back to x.tga.
    for (const char* ext : {".vqp", ".tga", ".jpg", ".png"}) {
      std::string path = folder.empty() ? std::string(name) + ext : folder + "\\" + name + ext;
      if (VQfile_Exists(path.c_str())) {
        candidate = path;
        break;
      }
    }
  } else {
    std::string path = folder.empty() ? std::string(name) : folder + "/" + name;
    if (VQfile_Exists(path.c_str())) candidate = path;
  }
  if (!candidate.empty()) {
    if (VQTexture* t = m_device->CreateTextureFromFile(candidate.c_str(), m_loadFactor, m_loadParameter)) {
      *out = t;
      return true;
    }
  }
  if (!searchSubfolders || depth >= VQSEARCH_MAX_DEPTH) return false;
  const std::string listed = folder.empty() ? std::string(".") : folder;
  if (!VQimage_EnterFolder(visited, listed)) return false;
  VQFolderScan scan;
  if (!VQfile_FindFirst(&scan, listed.c_str())) return false;
  bool found = false;
  VQFolderEntry entry;
  while (!found && VQfile_FindNext(&scan, &entry)) {
    if (!entry.m_isFolder) continue;
    found = SearchFolder(listed + "/" + entry.m_name, name, true, out, depth + 1, visited);
  }
  VQfile_FindClose(&scan);
  return found;
}

// ---------------------------------------------------------------------------------------------
// Texture blits

namespace {
struct Locked {
  uint8_t* pixels = nullptr;
  uint32_t pitch = 0;
};
Locked LockLevel0(VQTexture* t) {
  Locked l;
  if (t) l.pixels = static_cast<uint8_t*>(t->Lock(&l.pitch, 0));
  return l;
}
bool Fits(const VQTexture* src, const VQTexture* dst) {
  return src->m_width <= dst->m_width && src->m_height <= dst->m_height;
}
}  // namespace

void VQtexture_BlitPixels(VQTexture* texture, const void* pixels, uint8_t forceAlpha, uint32_t srcFormat,
                          uint8_t keepAlpha) {
  const Locked d = LockLevel0(texture);
  if (!d.pixels || !pixels) return;
  VQBlitOptions o;
  o.forceAlpha = forceAlpha;
  o.keepAlpha = keepAlpha;
  VQpixels_Blit(d.pixels, d.pitch, texture->m_format, d.pixels, d.pitch, pixels, texture->m_width,
                texture->m_height, texture->m_width, srcFormat, o);
}

void VQtexture_SetPixels(VQTexture* texture, const void* pixels, uint32_t srcFormat) {
  VQtexture_BlitPixels(texture, pixels, 0, srcFormat, 0);
}

void VQtexture_Blit(VQTexture* dst, VQTexture* src, uint8_t forceAlpha) {
  const Locked d = LockLevel0(dst), s = LockLevel0(src);
  if (!d.pixels || !s.pixels || !Fits(src, dst)) return;
  VQBlitOptions o;
  o.forceAlpha = forceAlpha;
  VQpixels_Blit(d.pixels, d.pitch, dst->m_format, d.pixels, d.pitch, s.pixels, src->m_width, src->m_height,
                s.pitch, src->m_format, o);
}

void VQtexture_BlitBlend(VQTexture* dst, VQTexture* background, VQTexture* src, uint8_t keepAlpha) {
  const Locked d = LockLevel0(dst), g = LockLevel0(background), s = LockLevel0(src);
  if (!d.pixels || !g.pixels || !s.pixels || !Fits(src, dst) || !Fits(src, background)) return;
  // The background is read in the destination's layout.
  if (background->m_format != dst->m_format) return;
  VQBlitOptions o;
  o.blend = 1;
  o.keepAlpha = keepAlpha;
  VQpixels_Blit(d.pixels, d.pitch, dst->m_format, g.pixels, g.pitch, s.pixels, src->m_width, src->m_height,
                s.pitch, src->m_format, o);
}

void VQtexture_BlitAlpha(VQTexture* dst, VQTexture* src, uint8_t invertAlpha) {
  const Locked d = LockLevel0(dst), s = LockLevel0(src);
  if (!d.pixels || !s.pixels || !Fits(src, dst)) return;
  VQBlitOptions o;
  o.blend = 1;
  o.alphaOnly = 1;
  o.invertAlpha = invertAlpha;
  VQpixels_Blit(d.pixels, d.pitch, dst->m_format, d.pixels, d.pitch, s.pixels, src->m_width, src->m_height,
                s.pitch, src->m_format, o);
}
