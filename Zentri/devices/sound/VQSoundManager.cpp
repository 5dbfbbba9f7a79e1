#include "Zentri/devices/sound/VQSoundManager.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Zentri/devices/sound/VQSoundDevice.h"
#include "Zentri/util/VQStrings.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQlog.h"

namespace {

// Windows-style absolute names, and the host's own absolute paths.
bool IsAbsoluteName(const char* name) { return VQpath_IsAbsolute(name) || name[0] == '/' || name[0] == '\\'; }

}  // namespace

VQSoundManager::VQSoundManager(VQSoundDevice* device) : m_device(device) {}

VQSoundManager::~VQSoundManager() { ReleaseAll(); }

bool VQSoundManager::SetFolder(const char* folder, bool recurse) {
  if (!folder) folder = "";
  if (std::strlen(folder) >= sizeof m_folder) return VQerror_Fail(VQERR_NAME_TOO_LONG);
  std::strcpy(m_folder, folder);
  m_recurse = recurse ? 1 : 0;
  return true;
}

bool VQSoundManager::Append(VQSoundBuffer* buffer, const char* name) {
  char* copy = VQstrdup(name);
  if (!copy) return false;
  m_buffers[m_count] = buffer;
  m_names[m_count] = copy;
  ++m_count;
  return true;
}

VQSoundBuffer* VQSoundManager::TryPath(const char* folder, const char* name, const char* extension) {
  const int n = folder[0] ? std::snprintf(m_path, sizeof m_path, "%s\\%s%s", folder, name, extension)
                          : std::snprintf(m_path, sizeof m_path, "%s%s", name, extension);
  if (n < 0 || static_cast<size_t>(n) >= sizeof m_path) {
    g_VQerror = VQERR_NAME_TOO_LONG;
    return nullptr;
  }
  if (!VQfile_Exists(m_path)) return nullptr;
  return m_device->CreateBufferFromFile(m_path);
}

VQSoundBuffer* VQSoundManager::LoadInFolder(const char* folder, const char* name, uint32_t depth) {
  VQSoundBuffer* b = nullptr;
  if (m_bareNames) {
    b = TryPath(folder, name, ".vqw");
    if (!b) b = TryPath(folder, name, ".wav");
  } else {
    b = TryPath(folder, name, "");
  }
  if (b || !m_recurse || !folder[0] || depth >= VQSOUNDCACHE_MAX_DEPTH) return b;
  VQFolderScan scan;
  if (!VQfile_FindFirst(&scan, folder)) return nullptr;
  VQFolderEntry entry;
  char sub[VQSOUND_PATH_SIZE];
  while (!b && VQfile_FindNext(&scan, &entry)) {
    if (!entry.m_isFolder) continue;
    const int n = std::snprintf(sub, sizeof sub, "%s\\%s", folder, entry.m_name);
    if (n < 0 || static_cast<size_t>(n) >= sizeof sub) continue;
    b = LoadInFolder(sub, name, depth + 1);
  }
  VQfile_FindClose(&scan);
  return b;
}

VQSoundBuffer* VQSoundManager::Load(const char* name, bool load) {
  if (!name) {
    g_VQerror = VQERR_INVALID_ARGUMENT;
    return nullptr;
  }
  if (std::strlen(name) >= VQSOUND_PATH_SIZE) {
    g_VQerror = VQERR_NAME_TOO_LONG;
    return nullptr;
  }
  char lowered[VQSOUND_PATH_SIZE];
  std::strcpy(lowered, name);
  VQstring_ToLower(lowered);
  if (m_bareNames) {
    const size_t len = std::strlen(lowered);
    for (size_t back = 2; back <= 4; ++back) {
      if (len >= back && lowered[len - back] == '.') {
        lowered[len - back] = '\0';
        break;
      }
    }
  }
  for (uint32_t i = 0; i < m_count; ++i) {
    if (std::strcmp(m_names[i], lowered) != 0) continue;
    if (m_count >= VQSOUNDCACHE_MAX_ENTRIES) {
      g_VQerror = VQERR_TABLE_FULL;
      return nullptr;
    }
    VQSoundBuffer* copy = m_device->DuplicateBuffer(m_buffers[i]);
    if (!copy) return nullptr;
    if (!Append(copy, lowered)) {
      m_device->DeleteBuffer(copy);
      return nullptr;
    }
    return copy;
  }
  if (!load) return nullptr;
  if (m_count >= VQSOUNDCACHE_MAX_ENTRIES) {
    g_VQerror = VQERR_TABLE_FULL;
    return nullptr;
  }
  const char* base = IsAbsoluteName(lowered) ? "" : m_folder;
  VQSoundBuffer* b = LoadInFolder(base, lowered, 0);
  if (!b) {
    VQlog_Printf(1, "Cannot load sound '%s' (dir is '%s', recurse is %s)", lowered, m_folder,
                 m_recurse ? "on" : "off");
    if (!m_recurse) g_VQerror = VQERR_NOT_FOUND;
    return nullptr;
  }
  if (!Append(b, lowered)) {
    m_device->DeleteBuffer(b);
    return nullptr;
  }
  return b;
}

void VQSoundManager::ReleaseAll() {
  for (uint32_t i = 0; i < m_count; ++i) {
    m_device->DeleteBuffer(m_buffers[i]);
    std::free(m_names[i]);
    m_buffers[i] = nullptr;
    m_names[i] = nullptr;
  }
  m_count = 0;
}

bool VQSoundManager::Release(VQSoundBuffer* buffer) {
  for (uint32_t i = 0; i < m_count; ++i) {
    if (m_buffers[i] != buffer) continue;
    m_device->DeleteBuffer(buffer);
    std::free(m_names[i]);
    --m_count;
    m_buffers[i] = m_buffers[m_count];
    m_names[i] = m_names[m_count];
    m_buffers[m_count] = nullptr;
    m_names[m_count] = nullptr;
    return true;
  }
  return false;
}
