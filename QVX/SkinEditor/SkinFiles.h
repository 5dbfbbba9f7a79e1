// Skin files: a skin painted in the skin editor is saved as a pair of one base name,
// "MS <class> <skin>", in the player skins folder: the painted texture as a TGA image and a
// five-line description text. The content loader lists such pairs in the class's skin list.
// The name the player types goes into a file name, so it is checked here first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Program;
class VQTexture;

// The loader reads at most 29 characters behind the class name and its blank, the name and its
// "." among them: a longer skin name could not be read back.
constexpr size_t SKIN_NAME_MAX = 28;
constexpr const char* SKIN_FILE_PREFIX = "MS";
constexpr const char* SKIN_DEFAULT_COMMENT = "Created with the Quorvex skin editor";

// What the editor leaves behind for the save: the finished texture (one reference held),
// the chosen wheel texture ("" for none) and the race-number choice.
struct SkinEditorResult {
  VQTexture* texture = nullptr;
  std::string wheelTexture;
  bool showNumbers = true;
  // Drops the texture reference (when the player leaves without saving).
  void Release();
};

// Checks a typed skin name for use in a file name: leading and trailing blanks are removed;
// an empty name, path separators ("\" and "/"), dots (a "." ends the name for the loader and
// ".." would climb folders), characters file systems refuse (":*?\"<>|") and control
// characters are refused with a reason; a longer name is cut to SKIN_NAME_MAX characters.
bool SkinFiles_CheckName(const char* typed, std::string* clean, std::string* reason);
// The loader reads the class name, its blank, the skin name and its "." from the 29 characters
// behind the prefix: the longest skin name that a class can save (0: none fits).
constexpr size_t SKIN_NAME_WINDOW = 29;
size_t SkinFiles_NameLimit(const char* skinClass);
// "MS <skin class> <skin name>".
std::string SkinFiles_BaseName(const char* skinClass, const char* skinName);
// The description text: Author, Version 1.0, Comment, Numbers on/off, Wheels <name>.tga.
std::string SkinFiles_Description(const char* author, bool numbers, const char* wheelTexture);

// Saves the editor's result as a skin of the class: both files in the player skins folder,
// then a new entry in the class's skin list (while it holds fewer than 1000), chosen for the
// first player. False, with a reason, for a refused name, a class out of range, a description
// that cannot be written, or no texture to save; the texture stays held on a failure before
// the image is written and is released otherwise.
bool SkinFiles_Save(Program* program, uint32_t classIndex, const char* typedName,
                    SkinEditorResult* result, std::string* reason);
