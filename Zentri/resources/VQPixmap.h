// Pixmaps: a display device's 2D images in memory (overlay images, cursors, fonts, viewport
// backgrounds), and VQPixmapManager, the per-device cache that loads pixmaps by name from a
// base folder, optionally searching its subfolders. The device pixmap classes supply the pixel
// storage; what is independent of the device (loading and saving image files, flipping rows)
// is here.
#pragma once

#include <cstdint>
#include <set>
#include <string>

class VQDisplayDevice;

class VQPixmap {
 public:
  VQPixmap() = default;
  // Frees the palette and clears the valid flag; the device subclass frees the pixels.
  virtual ~VQPixmap();

  // Releases the pixel storage.
  virtual void FreePixels() = 0;
  // Replaces the pixel storage by one of width x height in the format; *pitch (pixels) may
  // be null. Null on failure (valid flag cleared).
  virtual void* Allocate(uint32_t width, uint32_t height, uint32_t format, uint32_t* pitch) = 0;
  // Copies another pixmap's pixels; false unless both have pixels of equal size and format.
  virtual bool CopyFrom(const VQPixmap& other) = 0;
  // The pixels and their pitch in pixels (pitch may be null); null without pixels.
  virtual void* Lock(uint32_t* pitch) = 0;
  // A new, empty pixmap of the same device class.
  virtual VQPixmap* CloneEmpty() = 0;
  // The pixel at (x, y) as red, green, blue, alpha in 0..1, written to rgba[4] and returned.
  virtual float* GetPixel(float* rgba, uint32_t x, uint32_t y) = 0;

  // Reads an image file and converts it into this pixmap in the format the device keeps for
  // that file format. Keeps the file's palette (format 1). False with the reader's error
  // code, 21 when the device cannot store the format, 16 when Allocate fails.
  bool LoadImage(const char* path);
  // Writes the pixels as an image file (VQimage_WriteFile) with the bottom-up flag.
  bool SaveImage(const char* path, uint32_t fileType, uint32_t packing);
  // Flips the rows in place; false without pixels.
  bool FlipVertical();

  uint32_t m_width = 0, m_height = 0;  // pixels
  uint32_t m_format = 0;               // pixel format
  uint32_t m_widthLog2 = 0;            // floor(log2(width)), set on load
  uint8_t m_deviceFlag = 0;            // cleared on load; its meaning belongs to the device
  uint32_t m_bottomUp = 0;             // row 0 is the bottom row of the picture
  VQDisplayDevice* m_device = nullptr;
  uint8_t* m_palette = nullptr;        // 1024 bytes (format 1 only), owned, std::malloc'd
  uint8_t m_valid = 0;                 // set once pixels have been loaded

  VQPixmap(const VQPixmap&) = delete;
  VQPixmap& operator=(const VQPixmap&) = delete;
};

constexpr uint32_t VQPIXMAP_SLOTS = 512;
constexpr uint32_t VQPATH_SIZE = 256;          // folder paths hold at most 255 characters
constexpr uint32_t VQSEARCH_MAX_DEPTH = 16;    // subfolder levels a search descends

class VQPixmapManager {
 public:
  VQPixmapManager();
  // Frees the names; the pixmaps themselves go with ReleaseAll.
  ~VQPixmapManager();

  // The pixmap of a name (compared lower-cased), loaded on first use. unique: always load a
  // new pixmap that later lookups never return. Errors: 28 null name, 31 name too long,
  // 27 when 512 are held, 29 not found (and the reader's codes).
  VQPixmap* Load(const char* name, bool unique);
  // Destroys every pixmap through the device and empties the cache.
  void ReleaseAll();
  // The base folder and whether searches descend into subfolders (at most 16 levels, so a
  // link cycle cannot trap a search). 256 characters or more: error 31, nothing changes.
  bool SetFolder(const char* path, bool searchSubfolders);

  bool FindFile(const char* name, VQPixmap** out);

  VQDisplayDevice* m_device = nullptr;
  uint32_t m_count = 0;
  VQPixmap* m_pixmaps[VQPIXMAP_SLOTS] = {};
  std::string m_names[VQPIXMAP_SLOTS];
  uint8_t m_unique[VQPIXMAP_SLOTS] = {};
  std::string m_folder = ".";
  uint8_t m_searchSubfolders = 0;

 private:
  bool SearchFolder(const std::string& folder, const char* name, VQPixmap** out, uint32_t depth,
                    std::set<std::string>& visited);
};

// True for paths that name a place on their own: a drive letter with ":\" or ":/", a leading
// double backslash, or a leading slash or backslash (rooted in the host file system).
bool VQimage_IsAbsolutePath(const char* path);
