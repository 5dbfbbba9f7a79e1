// Program's content loaders: collision materials, racing classes and their skins, computer
// drivers, HUD parameters, the music list and bonus archives.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "QVX/shell/DataPaths.h"
#include "QVX/shell/ShellText.h"
#include "Zentri/util/VQfileio.h"
#include "QVX/shell/Program.h"
#include "Zentri/devices/sound/VQSoundDevice.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/util/VQPackageFile.h"
#include "Zentri/util/VQStrings.h"
#include "Zentri/util/VQarchive.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQfileio.h"
#include "Zentri/scene/VQNode.h"

namespace {
constexpr uint32_t kTextureMaxSize = 32768;
// Message strings of the installed-bonus box: the text (formatted with the bonus name) and
// its title.
constexpr int32_t kMsgBonusInstalled = 8005;
constexpr int32_t kMsgBonusTitle = 8006;

bool ReadBytes(const char* path, std::string& out) { return vqfileio::ReadWholeFile(path, out, 24); }
const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }
// The message text comes from the language file, so it is never used as a printf format: its
// first "%s" takes the name, "%%" is a percent sign, and anything else stays as written.
std::string FormatOneName(const char* format, const char* name) {
  std::string out;
  bool used = false;
  for (const char* p = format ? format : ""; *p; ++p) {
    if (p[0] == '%' && p[1] == '%') {
      out += '%';
      ++p;
    } else if (p[0] == '%' && p[1] == 's' && !used) {
      out += name;
      used = true;
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}
}  // namespace

bool Program::LoadMaterials(bool load, const char* path) {
  if (!load) return true;
  char bin[DATAPATH_MAX_PATH];
  std::snprintf(bin, sizeof bin, "%s", path);
  if (!ReplaceTail(bin, ".bin")) return false;
  std::string data;
  if (!ReadBytes(bin, data)) return false;
  FreeMaterials();
  if (!Materials_Parse(Bytes(data), data.size(), m_materialHeader, m_materials)) return false;
  for (CollisionMaterial& m : m_materials) {
    // The material owns its buffer, made from the file in the audio folder: the sound
    // manager's cache is emptied between races, which must not take the materials' sounds.
    if (m_soundDevice && m.soundName[0]) {
      const std::string sound = DataFolder(DATAFOLDER_AUDIO) + "\\" + m.soundName;
      m.sound = static_cast<VQSoundDevice*>(m_soundDevice)->CreateBufferFromFile(sound.c_str());
      if (!m.sound) Log("Cannot load collision sound '%s'", sound.c_str());
    }
    if (m.textureName[0]) {
      m.textureEntry = new (std::nothrow) MaterialTextureEntry();
      if (!m.textureEntry) continue;
      std::snprintf(m.textureEntry->name, sizeof m.textureEntry->name, "%s", m.textureName);
      std::memcpy(m.textureEntry->values, m.textureValues, sizeof m.textureValues);
      if (m_textureManager)
        m.textureEntry->texture = m_textureManager->Load(m.textureName, 0, true, true, kTextureMaxSize, kTextureMaxSize);
    }
  }
  return true;
}

void Program::FreeMaterials() {
  for (CollisionMaterial& m : m_materials) {
    if (m.sound && m_soundDevice) static_cast<VQSoundDevice*>(m_soundDevice)->DeleteBuffer(m.sound);
    m.sound = nullptr;
    if (m.textureEntry && m.textureEntry->texture && m_textureManager) m_textureManager->Release(m.textureEntry->texture);
    delete m.textureEntry;
    m.textureEntry = nullptr;
  }
  m_materials.clear();
}

const CollisionMaterial* Program::FindMaterial(const char* name) const {
  for (const CollisionMaterial& m : m_materials)
    if (strcasecmp(m.name, name) == 0) return &m;
  return nullptr;
}

bool Program::LoadClass(bool load, RacingClass* cls) {
  const std::string textures = DataFolder(m_textureFolder);
  if (m_textureManager) {
    m_textureManager->SetFolder(textures.c_str(), false);
    m_textureManager->PushSampling(VQWRAP_CLAMP, VQWRAP_CLAMP, VQFILTER_LINEAR, VQFILTER_LINEAR);
  }
  bool ok = true;
  if (load) {
    char path[DATAPATH_MAX_PATH];
    std::snprintf(path, sizeof path, "%s\\class_%s.bin", DataFolder(DATAFOLDER_CARS).c_str(), cls->m_name);
    std::string data;
    if (!ReadBytes(path, data)) {
      ok = false;
    } else if (!ClassRecord_Parse(Bytes(data), data.size(), cls)) {
      // A record shorter than its size is damaged: the class is not taken.
      Log("Class file '%s' is too short (%zu bytes)", path, data.size());
      ok = false;
    } else {
      cls->m_material = FindMaterial(cls->m_materialName);
      if (!cls->m_material && !m_materials.empty()) cls->m_material = &m_materials.back();
      for (uint32_t i = 0; i < CLASS_IMAGES; ++i)
        if (m_textureManager && cls->m_imageNames[i][0])
          cls->m_images[i] = m_textureManager->Load(cls->m_imageNames[i], 0, true, true, kTextureMaxSize, kTextureMaxSize);
    }
  }
  if (m_textureManager) m_textureManager->PopSampling();
  return ok;
}

void Program::FreeClasses() {
  for (uint32_t i = 0; i < m_classCount; ++i) {
    for (VQNode*& model : m_classes[i]->m_menuModels) {
      VQNode::Destroy(model);
      model = nullptr;
    }
    delete m_classes[i];
    m_classes[i] = nullptr;
  }
  m_classCount = 0;
}

uint32_t Program::FindClassIndex(const char* name) const {
  for (uint32_t i = 0; i < m_classCount; ++i)
    if (strcasecmp(m_classes[i]->m_name, name) == 0) return i;
  return PROGRAM_NOT_FOUND;
}

void Program::LoadSkins(const char* folder) {
  VQFileStatus status;
  if (!VQfile_Stat(folder, &status) || !status.isFolder) return;
  VQFolderScan scan;
  if (!VQfile_FindFirst(&scan, folder)) return;
  VQFolderEntry entry;
  while (VQfile_FindNext(&scan, &entry)) {
    if (entry.m_isFolder || VQfile_TypeFromExtension(entry.m_name) != VQFILE_TXT) continue;
    char path[DATAPATH_MAX_PATH + VQFOLDER_NAME_SIZE];
    std::snprintf(path, sizeof path, "%s\\%s", folder, entry.m_name);
    char image[sizeof path];
    std::snprintf(image, sizeof image, "%s", path);
    ReplaceTail(image, "tga");
    if (!VQfile_Exists(image)) {
      Log("Skin '%s' is missing corresponding image file (skipping)", path);
      continue;
    }
    std::string className, skinName;
    if (!Skin_SplitName(entry.m_name, className, skinName)) {
      Log("Skin '%s' has invalid name (skipping)", path);
      continue;
    }
    const uint32_t index = FindClassIndex(className.c_str());
    if (index == PROGRAM_NOT_FOUND) {
      Log("Skin '%s' is for unknown class (skipping)", path);
      continue;
    }
    RacingClass* cls = m_classes[index];
    if (cls->m_skins.size() >= CLASS_MAX_SKINS) {
      Log("Too many skins (skipping '%s')", path);
      continue;
    }
    std::string text;
    if (!ShellText_ReadFile(path, text)) {
      Log("Cannot open skin file '%s' (skipping)", path);
      continue;
    }
    auto* skin = new (std::nothrow) Skin();
    if (!skin) continue;
    if (!Skin_Parse(text.data(), text.size(), skin)) {
      Log("Error in skin file '%s' (skipping)", path);
      delete skin;
      continue;
    }
    std::snprintf(skin->name, sizeof skin->name, "%s", skinName.c_str());
    skin->flag = 0;
    skin->imagePath = image;
    cls->m_skins.push_back(skin);
  }
  VQfile_FindClose(&scan);
}

bool Program::LoadAIParameters(bool load, const char* path, bool keep) {
  if (!keep) m_aiDrivers.clear();
  if (!load) return true;
  char bin[DATAPATH_MAX_PATH];
  std::snprintf(bin, sizeof bin, "%s", path);
  if (!ReplaceTail(bin, ".bin")) return false;
  std::string data;
  if (!ReadBytes(bin, data)) return false;
  AI_Parse(Bytes(data), data.size(), m_aiDrivers);
  return true;
}

bool Program::LoadHudParameters(const char* path) {
  std::string text;
  if (!ShellText_ReadFile(path, text)) {
    Error("Cannot open file '%s' for reading", path);
    return false;
  }
  Hud_Parse(
      text.data(), text.size(),
      [this](const char* name) {
        const uint32_t i = FindClassIndex(name);
        return i == PROGRAM_NOT_FOUND ? -1 : int(i);
      },
      [this](const char* name) {
        for (uint32_t i = 0; i < m_trackCount; ++i)
          if (strcasecmp(m_tracks[i].name, name) == 0) return int(i);
        return -1;
      },
      [this](int cls, int track, float first, float second) {
        m_classes[cls]->m_hud[track].first = first;
        m_classes[cls]->m_hud[track].second = second;
      },
      [this](const char* name) { Log("Warning: Unknown racing class '%s'", name); });
  return true;
}

bool Program::LoadMusicList(const char* path) {
  std::string text;
  if (!ShellText_ReadFile(path, text)) {
    Error("Cannot open file '%s' for reading", path);
    return false;
  }
  m_music = MusicList();
  Music_Parse(text.data(), text.size(), m_music);
  Log("Loaded music file names from file '%s'", path);
  return true;
}

// Installs one bonus archive into the game folder: inflate it to a package beside it, check
// every entry name, extract them all, then rename the archive to ".ok" so that it is not
// installed again. Every failure is logged, stops only this archive, and leaves the archive
// under its name (it is tried again at the next start).
void Program::InstallBonus(const char* archive, const char* kind) {
  if (!VQarchive_Decompress(archive, ".")) {
    Log("Cannot decompress bonus %s archive '%s'", kind, archive);
    return;
  }
  const std::string package = VQarchive_PackageName(archive, ".");
  VQPackageFile file;
  if (!file.Open(package.c_str())) {
    Log("Cannot open bonus %s archive '%s'", kind, package.c_str());
    VQfile_Delete(package.c_str());
    return;
  }
  // A name that leaves the game folder refuses the whole archive before anything is written,
  // so a doctored archive installs nothing at all.
  const uint32_t count = file.GetCount();
  for (uint32_t i = 0; i < count; ++i) {
    std::string name;
    uint32_t size = 0;
    if (!file.GetEntry(i, &name, &size) || !VQpackage_IsSafeName(name.c_str())) {
      Log("Bonus %s archive '%s' has a damaged or unsafe entry %u (nothing installed)", kind, archive, i);
      file.Close();
      VQfile_Delete(package.c_str());
      return;
    }
  }
  for (uint32_t i = 0; i < count; ++i) {
    if (!file.Extract(i, ".", true)) {
      Log("Cannot extract entry %u of bonus %s archive '%s'", i, kind, archive);
      file.Close();
      VQfile_Delete(package.c_str());
      return;
    }
  }
  file.Close();
  VQfile_Delete(package.c_str());
  char done[DATAPATH_MAX_PATH];
  std::snprintf(done, sizeof done, "%s", archive);
  char* dot = std::strrchr(done, '.');
  if (dot) *dot = 0;
  char bonusName[DATAPATH_MAX_PATH];
  const char* slash = std::strrchr(done, '/');
  std::snprintf(bonusName, sizeof bonusName, "%s", slash ? slash + 1 : done);
  std::strncat(done, ".ok", sizeof done - std::strlen(done) - 1);
  VQfile_Delete(done);
  if (!VQfile_MoveNew(done, archive)) Log("Cannot rename bonus %s archive '%s' to '%s'", kind, archive, done);
  Log("Installed bonus %s '%s'", kind, bonusName);
  const std::string text = FormatOneName(m_texts->GetById(kMsgBonusInstalled), bonusName);
  ShowMessage(text.c_str(), m_texts->GetById(kMsgBonusTitle));
}

void Program::InstallBonusCar(const char* archive) { InstallBonus(archive, "car"); }

void Program::InstallBonusTrack(const char* archive) { InstallBonus(archive, "track"); }
