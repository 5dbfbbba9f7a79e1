#include "QVX/SkinEditor/SkinFiles.h"

#include <strings.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "QVX/race/Player.h"
#include "QVX/shell/DataPaths.h"
#include "QVX/shell/Program.h"
#include "QVX/SkinEditor/VQTextureLayer.h"
#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQfileio.h"

void SkinEditorResult::Release() {
  SkinTexture_Release(texture);
  texture = nullptr;
}

bool SkinFiles_CheckName(const char* typed, std::string* clean, std::string* reason) {
  auto refuse = [&](const char* why) {
    if (reason) *reason = why;
    return false;
  };
  std::string name = typed ? typed : "";
  const size_t first = name.find_first_not_of(" \t");
  if (first == std::string::npos) return refuse("the skin needs a name");
  name = name.substr(first, name.find_last_not_of(" \t") - first + 1);
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\\' || c == '/') return refuse("a skin name cannot hold a folder separator");
    if (c == '.') return refuse("a skin name cannot hold a dot");
    if (u < 32 || u == 127) return refuse("a skin name cannot hold control characters");
    if (std::strchr(":*?\"<>|", c)) return refuse("a skin name cannot hold any of : * ? \" < > |");
  }
  if (name.size() > SKIN_NAME_MAX) {
    name.resize(SKIN_NAME_MAX);
    name.erase(name.find_last_not_of(" \t") + 1);
  }
  if (clean) *clean = name;
  return true;
}

size_t SkinFiles_NameLimit(const char* skinClass) {
  const size_t used = std::strlen(skinClass ? skinClass : "") + 2;  // the blank and the "."
  if (used >= SKIN_NAME_WINDOW) return 0;
  return std::min(SKIN_NAME_MAX, SKIN_NAME_WINDOW - used);
}

std::string SkinFiles_BaseName(const char* skinClass, const char* skinName) {
  return std::string(SKIN_FILE_PREFIX) + " " + (skinClass ? skinClass : "") + " " +
         (skinName ? skinName : "");
}

std::string SkinFiles_Description(const char* author, bool numbers, const char* wheelTexture) {
  std::string text;
  text += "Author = " + std::string(author ? author : "") + "\n";
  text += "Version = 1.0\n";
  text += "Comment = " + std::string(SKIN_DEFAULT_COMMENT) + "\n";
  text += std::string("Numbers = ") + (numbers ? "on" : "off") + "\n";
  text += "Wheels = " + std::string(wheelTexture ? wheelTexture : "") + ".tga\n";
  return text;
}

bool SkinFiles_Save(Program* program, uint32_t classIndex, const char* typedName,
                    SkinEditorResult* result, std::string* reason) {
  auto refuse = [&](const std::string& why) {
    if (reason) *reason = why;
    return false;
  };
  std::string name;
  if (!SkinFiles_CheckName(typedName, &name, reason)) return false;
  if (!program || classIndex >= program->m_classCount || !program->m_classes[classIndex])
    return refuse("no racing class to save the skin for");
  if (!result || !result->texture) return refuse("there is no painted skin to save");
  RacingClass* cls = program->m_classes[classIndex];
  const size_t limit = SkinFiles_NameLimit(cls->m_name);
  if (limit == 0) return refuse("the class name leaves no room for a skin name");
  if (name.size() > limit) {
    name.resize(limit);
    name.erase(name.find_last_not_of(" \t") + 1);
  }

  char folder[DATAPATH_MAX_PATH];
  if (!program->m_dataPaths ||
      !program->m_dataPaths->GetFolderPath(folder, sizeof folder, DATAFOLDER_MY_SKINS,
                                           program->m_rootIndex))
    return refuse("the player skins folder is unknown");
  VQfile_MakePath(folder);
  const std::string base =
      std::string(folder) + "\\" + SkinFiles_BaseName(cls->m_name, name.c_str());
  const std::string textPath = base + ".txt", imagePath = base + ".tga";

  // The wheel texture is named without folder and extension; the description adds ".tga".
  std::string wheels = result->wheelTexture;
  if (wheels.size() >= 4 && strcasecmp(wheels.c_str() + wheels.size() - 4, ".tga") == 0)
    wheels.resize(wheels.size() - 4);
  const char* author =
      program->m_playerCount > 0 && program->m_players[0] ? program->m_players[0]->m_name : "";
  const std::string text = SkinFiles_Description(author, result->showNumbers, wheels.c_str());
  if (!vqfileio::WriteWholeFile(textPath.c_str(), text.data(), text.size()))
    return refuse("cannot write the skin description '" + textPath + "'");
  const bool imageWritten =
      result->texture->SaveFile(imagePath.c_str(), VQIMAGE_TGA, VQIMAGE_RAW, 0);
  result->Release();
  if (!imageWritten) {
    // A description without its image would only be skipped at the next start.
    VQfile_Delete(textPath.c_str());
    return refuse("cannot write the skin image '" + imagePath + "'");
  }
  program->Log("Skin '%s' saved", base.c_str());

  if (cls->m_skins.size() < CLASS_MAX_SKINS) {
    auto* skin = new (std::nothrow) Skin();
    if (skin) {
      std::snprintf(skin->name, sizeof skin->name, "%s", name.c_str());
      skin->author = author;
      skin->version = "1.0";
      skin->comment = SKIN_DEFAULT_COMMENT;
      skin->imagePath = imagePath;
      skin->wheels = wheels;
      skin->numbers = result->showNumbers;
      skin->flag = 1;  // the menu car takes the skin's own wheel texture
      cls->m_skins.push_back(skin);
      if (program->m_playerCount > 0 && program->m_players[0])
        program->m_players[0]->m_profile.normal_color = int32_t(cls->m_skins.size()) - 1;
      program->Log("Skin '%s' is skin %zu of class '%s'", skin->name, cls->m_skins.size() - 1,
                   cls->m_name);
    }
  }
  return true;
}
