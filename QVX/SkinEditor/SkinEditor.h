// The skin editor screen: its four windows on the canvas overlay, the key that leaves it, the
// layout file "SkinEditor.ini", and what it leaves behind for the save (the painted texture,
// the wheel texture name and the race-number choice).
//
// SkinEditor_Run is the entry from the menus; SkinEditor itself takes its devices and folders
// from a SkinEditorSetup, so that it runs on any canvas and devices (the software display
// device in tests).
#pragma once

#include <cstdint>
#include <string>

#include "QVX/SkinEditor/SkinDialogs.h"
#include "QVX/SkinEditor/SkinFiles.h"
#include "QVX/SkinEditor/SkinLayout.h"
#include "Zentri/devices/overlay/VQFont.h"
#include "Zentri/util/VQSettingsFile.h"

class Program;
class VQCanvas;
class VQDevice;
class VQDisplayDevice;
class VQMouseDevice;
class VQNode;
class VQTooltips;

constexpr uint32_t SKIN_KEY_LEAVE = 13;  // the escape key leaves the editor
constexpr const char* SKIN_TOOLTIPS_FILE = "SkinTooltips.txt";
constexpr const char* SKIN_CURSOR_IMAGE = "mouse_arrow.tga";
constexpr const char* SKIN_PALETTE_IMAGE = "Colorchart.tga";

struct SkinEditorSetup {
  VQDisplayDevice* display = nullptr;      // its texture cache holds what is shown
  VQDisplayDevice* imageDevice = nullptr;  // the software device: images painted in memory
  VQCanvas* canvas = nullptr;
  VQDevice* keyboard = nullptr;  // may be null (a headless run without keyboard)
  VQMouseDevice* mouse = nullptr;
  VQNode* car = nullptr;  // the car shown turning; may be null
  int32_t classIndex = 0;
  std::string className;  // the racing class's name: its skins are filed under it
  SkinEditorFolders folders;
  std::string layoutPath = SKIN_LAYOUT_FILE;
  std::string tooltipsPath = SKIN_TOOLTIPS_FILE;
  SkinNumberPreview numbers;  // paint callback of the class's race numbers (may be empty)
};

class SkinEditor {
 public:
  SkinEditor();
  ~SkinEditor();  // closes what Init opened when Close was not called
  SkinEditor(const SkinEditor&) = delete;
  SkinEditor& operator=(const SkinEditor&) = delete;

  // Opens the editor. False with a reason, and nothing left installed (key handler, canvas
  // hooks, windows), for a class without skin template, no canvas or overlay, or no mouse.
  bool Init(const SkinEditorSetup& setup, std::string* reason);
  // Runs the frame pump until the stop byte is set (the leave key or the quit button), then
  // composites the layers into the result texture (one reference for the caller). False when
  // not initialised.
  bool Run();
  // Finishes the result without running the frame pump (the body of Run after the pump).
  void Finish();
  // Writes the layout back, removes the windows, pops the key handler, releases the mouse.
  void Close();
  static bool KeyHandler(uint32_t event, void* record, uintptr_t context);

  SkinEditorSetup m_setup;
  SkinEditorContext m_context;
  uint8_t m_initialised = 0;
  VQSettingsFile m_settings;
  SkinLayout m_layout;
  SkinEditorResult m_result;
  VQTexture* m_carTexture = nullptr;  // the 256 x 256 texture the car shows
  VQIconDialog* m_icons = nullptr;
  VQRenderDialog* m_render = nullptr;
  VQTextureEditDialog* m_edit = nullptr;
  VQToolDialog* m_tool = nullptr;
  VQTooltips* m_tooltips = nullptr;
  VQFont m_tooltipFont;
  VQImageRef* m_tooltipImage = nullptr;
  VQImageRef* m_cursor = nullptr;
  uint8_t m_keyPushed = 0, m_mouseOpened = 0;
  uint8_t m_savedMouseEnabled = 1, m_savedKeysEnabled = 1;
  uint8_t m_stop = 0;  // mirrors the frame pump's stop byte for the windows
};

// The one editor while it exists (the windows of other screens do not reach it otherwise).
extern SkinEditor* g_skinEditor;

// Fills the setup's devices and folders from the program (its display, software device,
// canvas, keyboard, the mouse of kind 10, the texture folder and the editor's data folders).
bool SkinEditor_SetupFromProgram(Program* program, uint32_t classIndex, VQNode* car,
                                 SkinEditorSetup* setup, std::string* reason);
// Runs one visit of the editor for a class: the result receives the painted texture, the
// wheel texture name and the number choice. False with a reason (shown to the player by the
// caller) when the editor cannot open. closed (may be null) is set when the frame pump ended
// without its stop byte: the game window was closed while the editor ran.
bool SkinEditor_Run(Program* program, uint32_t classIndex, VQNode* car, SkinEditorResult* result,
                    std::string* reason, bool* closed = nullptr);
