#include "Zentri/resources/VQPixmap.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/resources/VQBlit.h"
#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQImageIO.h"
#include "Zentri/resources/VQPixels.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"

namespace {
uint32_t Log2(uint32_t v) {
  uint32_t r = 0;
  while (v > 1) {
    v >>= 1;
    ++r;
  }
  return r;
}
}  // namespace

bool VQimage_IsAbsolutePath(const char* path) {
  if (!path || !path[0]) return false;
  if (path[0] == '/' || path[0] == '\\') return true;
  return std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
         (path[2] == '\\' || path[2] == '/');
}

VQPixmap::~VQPixmap() {
  std::free(m_palette);
  m_palette = nullptr;
  m_valid = 0;
}

bool VQPixmap::LoadImage(const char* path) {
  uint32_t width = 0, height = 0, fileFormat = 0;
  uint8_t* palette = nullptr;
  uint8_t* pixels = VQimage_ReadFile(path, &width, &height, &fileFormat, &palette);
  if (!pixels) return false;
  const uint32_t format = m_device ? m_device->GetPixmapFormatFor(fileFormat) : fileFormat;
  // A palette image can only be kept as a palette image.
  if (format == 0 || (fileFormat == VQPF_PAL8) != (format == VQPF_PAL8)) {
    std::free(pixels);
    std::free(palette);
    return VQerror_Fail(VQERR_NOT_SUPPORTED);
  }
  uint32_t pitch = 0;
  uint8_t* dst = static_cast<uint8_t*>(Allocate(width, height, format, &pitch));
  if (!dst) {
    std::free(pixels);
    std::free(palette);
    if (g_VQerror != VQERR_OUT_OF_MEMORY) g_VQerror = VQERR_OUT_OF_MEMORY;
    return false;
  }
  if (format == fileFormat) {
    const uint32_t bpp = VQPixelFormat_BytesPerPixel(format);
    for (uint32_t y = 0; y < height; ++y)
      std::memcpy(dst + size_t(y) * pitch * bpp, pixels + size_t(y) * width * bpp, size_t(width) * bpp);
  } else {
    // The blitter converts every pair of direct-colour formats, opaque sources to alpha 255.
    VQpixels_Blit(dst, pitch, format, nullptr, 0, pixels, width, height, width, fileFormat, VQBlitOptions{});
  }
  std::free(pixels);
  std::free(m_palette);
  m_palette = palette;
  // JPEG rows come top first; the other readers deliver the bottom row first.
  m_bottomUp = VQimage_TypeFromName(path) == VQIMAGE_JPEG ? 0 : 1;
  m_valid = 1;
  m_widthLog2 = Log2(width);
  m_deviceFlag = 0;
  return true;
}

bool VQPixmap::SaveImage(const char* path, uint32_t fileType, uint32_t packing) {
  uint32_t pitch = 0;
  void* pixels = Lock(&pitch);
  if (!pixels) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  return VQimage_WriteFile(pixels, m_width, m_height, pitch, m_format, m_palette, m_bottomUp != 0, path,
                           fileType, packing);
}

bool VQPixmap::FlipVertical() {
  uint32_t pitch = 0;
  void* pixels = Lock(&pitch);
  if (!pixels) return false;
  return VQpixels_FlipVertical(pixels, m_width, m_height, pitch, m_format);
}

VQPixmapManager::VQPixmapManager() = default;

VQPixmapManager::~VQPixmapManager() = default;

void VQPixmapManager::ReleaseAll() {
  for (uint32_t i = 0; i < m_count; ++i) {
    if (m_pixmaps[i]) {
      if (m_device) m_device->DeletePixmap(m_pixmaps[i]);
      else delete m_pixmaps[i];
    }
    m_pixmaps[i] = nullptr;
    m_names[i].clear();
    m_unique[i] = 0;
  }
  m_count = 0;
}

bool VQPixmapManager::SetFolder(const char* path, bool searchSubfolders) {
  if (!path) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  if (std::strlen(path) >= VQPATH_SIZE) return VQerror_Fail(VQERR_NAME_TOO_LONG);
  m_folder = path;
  m_searchSubfolders = searchSubfolders ? 1 : 0;
  return true;
}

VQPixmap* VQPixmapManager::Load(const char* name, bool unique) {
  if (!name) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  if (std::strlen(name) >= VQPATH_SIZE) {
    g_VQerror = VQERR_NAME_TOO_LONG;
    return nullptr;
  }
  std::string lower(name);
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (!unique) {
    for (uint32_t i = 0; i < m_count; ++i)
      if (m_pixmaps[i] && !m_unique[i] && m_names[i] == lower) return m_pixmaps[i];
  }
  if (m_count >= VQPIXMAP_SLOTS) {
    g_VQerror = VQERR_TABLE_FULL;
    return nullptr;
  }
  VQPixmap* pixmap = nullptr;
  if (!FindFile(name, &pixmap)) return nullptr;
  m_pixmaps[m_count] = pixmap;
  m_unique[m_count] = unique ? 1 : 0;
  m_names[m_count] = lower;
  ++m_count;
  return pixmap;
}

bool VQPixmapManager::FindFile(const char* name, VQPixmap** out) {
  std::set<std::string> visited;
  return SearchFolder(VQimage_IsAbsolutePath(name) ? std::string() : m_folder, name, out, 0, visited);
}

bool VQPixmapManager::SearchFolder(const std::string& folder, const char* name, VQPixmap** out,
                                   uint32_t depth, std::set<std::string>& visited) {
  if (!m_device) return VQerror_Fail(VQERR_NOT_OPEN);
  const std::string path = folder.empty() ? std::string(name) : folder + "\\" + name;
  if (VQPixmap* p = m_device->CreatePixmapFromFile(path.c_str())) {
    *out = p;
    return true;
  }
  if (!m_searchSubfolders) return VQerror_Fail(VQERR_NOT_FOUND);
  const std::string listed = folder.empty() ? std::string(".") : folder;
  if (depth >= VQSEARCH_MAX_DEPTH || !VQimage_EnterFolder(visited, listed)) return VQerror_Fail(VQERR_NOT_FOUND);
  VQFolderScan scan;
  if (!VQfile_FindFirst(&scan, listed.c_str())) return false;
  bool found = false;
  VQFolderEntry entry;
  while (!found && VQfile_FindNext(&scan, &entry)) {
    if (!entry.m_isFolder) continue;
    found = SearchFolder(listed + "\\" + entry.m_name, name, out, depth + 1, visited);
  }
  VQfile_FindClose(&scan);
  if (!found) g_VQerror = VQERR_NOT_FOUND;
  return found;
}
