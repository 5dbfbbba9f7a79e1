// The sound cache of a sound device: finds a sound file by name in a search folder
// (optionally recursively) and hands out a new buffer per request, sharing the data of sounds
// loaded before. Names are kept lower-cased.
#pragma once

#include <cstdint>

class VQSoundBuffer;
class VQSoundDevice;

constexpr uint32_t VQSOUNDCACHE_MAX_ENTRIES = 256;
constexpr uint32_t VQSOUND_PATH_SIZE = 260;        // path buffer, the NUL included
constexpr uint32_t VQSOUNDCACHE_MAX_DEPTH = 32;    // sub-folder levels searched

class VQSoundManager {
 public:
  explicit VQSoundManager(VQSoundDevice* device);
  ~VQSoundManager();
  VQSoundManager(const VQSoundManager&) = delete;
  VQSoundManager& operator=(const VQSoundManager&) = delete;

  // A new buffer for the name, or null: 28 null name; 31 a name or path longer than the path
  // buffer; 27 the cache is full; 29 not found (without recursion). With load false only
  // cached names are answered.
  VQSoundBuffer* Load(const char* name, bool load);
  // False with error 31 when the folder does not fit the path buffer.
  bool SetFolder(const char* folder, bool recurse);
  void SetBareNames(bool on) { m_bareNames = on ? 1 : 0; }
  void ReleaseAll();
  bool Release(VQSoundBuffer* buffer);

  uint32_t GetCount() const { return m_count; }
  const char* GetName(uint32_t index) const { return index < m_count ? m_names[index] : nullptr; }
  VQSoundBuffer* GetBuffer(uint32_t index) const { return index < m_count ? m_buffers[index] : nullptr; }

 private:
  VQSoundBuffer* LoadInFolder(const char* folder, const char* name, uint32_t depth);
  VQSoundBuffer* TryPath(const char* folder, const char* name, const char* extension);
  bool Append(VQSoundBuffer* buffer, const char* name);

  uint32_t m_count = 0;
  VQSoundBuffer* m_buffers[VQSOUNDCACHE_MAX_ENTRIES] = {};
  VQSoundDevice* m_device;
  char m_folder[VQSOUND_PATH_SIZE] = ".";
  uint8_t m_recurse = 0;
  uint8_t m_bareNames = 0;
  char* m_names[VQSOUNDCACHE_MAX_ENTRIES] = {};
  char m_path[VQSOUND_PATH_SIZE] = {};
};
