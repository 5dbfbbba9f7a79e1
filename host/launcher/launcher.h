// The launcher's view of the machine and its dialogs. The game's launcher model (QVX) decides
// everything; this layer lists the displays and sound devices through SDL2, opens files and web
// addresses with the desktop's opener, and shows the two dialogs with FLTK
// (host/launcher/launcher_fltk.cpp, library host_launcher), driving them through the
// LauncherController interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

struct DisplayModeInfo {
  int width = 0;
  int height = 0;
  int bits = 0;  // bits per pixel
};

struct DisplayAdapterInfo {
  std::string name;
  bool hardware = false;      // accelerated rendering is available
  bool hardware_tnl = false;  // transform and lighting in hardware
  DisplayModeInfo desktop;    // the current mode (0 x 0 when unknown)
  std::vector<DisplayModeInfo> modes;
};

// True when SDL's video subsystem starts (it is shut down again at once).
bool launcher_video_available();
// Every display SDL reports, with its modes; empty without video.
std::vector<DisplayAdapterInfo> launcher_list_displays();
// The names of SDL's audio output devices; empty when audio does not start.
std::vector<std::string> launcher_list_sound_devices();
// True when a desktop session can show the dialogs: an X11 display is named (XWayland on a
// Wayland desktop) and SDL is not told to stay offscreen.
bool launcher_display_present();
// Starts "xdg-open target" without waiting for it; false when it cannot be started.
bool launcher_open_with_desktop(const char* target);

// ---- the dialogs ---------------------------------------------------------------------------

// Controls of the two dialogs; the numbers are the controls' identifiers, which also pick their
// labels from the language table.
enum LauncherControl : int {
  LAUNCHER_TITLE = 50,  // the launcher window's title
  CONFIG_TITLE = 51,    // the configuration window's title
  LAUNCHER_PLAY = 1001,
  LAUNCHER_QUIT = 1002,
  LAUNCHER_CONFIGURE = 1004,
  LAUNCHER_README = 1005,
  LAUNCHER_WEB = 1006,
  CONFIG_LANGUAGE_GROUP = 1097,
  CONFIG_LANGUAGE_LABEL = 1098,
  CONFIG_LANGUAGE_LIST = 1013,
  CONFIG_VIDEO_GROUP = 1099,
  CONFIG_VIDEO_LABEL = 1100,
  CONFIG_ADAPTER_LIST = 1010,
  CONFIG_RESOLUTION_LABEL = 1101,
  CONFIG_RESOLUTION_LIST = 2004,  // shares 1004 with Configure in the other dialog
  CONFIG_TNL = 2006,              // shares 1006 with the web button
  CONFIG_TRIPLE = 1011,
  CONFIG_TEXTURE_GROUP = 1102,
  CONFIG_TEXTURE_NORMAL = 1095,
  CONFIG_TEXTURE_HIGH = 1096,
  CONFIG_AUDIO_GROUP = 1103,
  CONFIG_AUDIO_LABEL = 1104,
  CONFIG_AUDIO_LIST = 1012,
  CONFIG_CANCEL = 1009,
  CONFIG_DEFAULTS = 1014,
  CONFIG_OK = 1008,
  CONFIG_CLOSE = 3000,    // the configuration window's close box
  LAUNCHER_CLOSE = 3001,  // the launcher window's close box
};

// What the configuration window shows.
struct LauncherConfigView {
  std::vector<std::string> languages;
  int language = -1;  // selected entry, -1 none
  std::vector<std::string> adapters;
  int adapter = -1;
  std::vector<std::string> resolutions;
  int resolution = -1;
  bool tnl = false;
  bool tnl_enabled = true;
  bool triple = false;
  bool texture_normal = true;      // the texture-quality controls are shown disabled
  std::vector<std::string> audio;  // "No Sound" first
  int audio_index = 0;
  bool cancel_enabled = true;
};

// What the view does after a command.
struct LauncherReply {
  bool end = false;          // close both dialogs and return from launcher_run
  bool show_config = false;  // show (and fill) the configuration window
  bool hide_config = false;
  bool refill = false;    // fill the configuration window again
  bool relabel = false;   // set every label again
  std::string box_title;  // a message box to show when not empty
  std::string box_text;
};

class LauncherController {
 public:
  virtual ~LauncherController() = default;
  // The label of a control or title; "" keeps the control's built-in label.
  virtual std::string Label(int control) = 0;
  virtual LauncherConfigView ConfigView() = 0;
  // One command: a button, a list's new selection (value = entry), a check box (value 0/1).
  virtual LauncherReply Command(int control, int value) = 0;
};

struct LauncherRunOptions {
  bool show_config_first = false;  // a first run confirms the configuration first
  std::string first_box_title;     // a box shown before anything else ("" none)
  std::string first_box_text;
  // Tests: controls activated one after the other once the dialogs are up, through the
  // widgets' own callbacks (a list's entry or a check box's state in the value); the run ends
  // when the script is done or a command ends it.
  std::vector<std::pair<int, int>> script;
  bool script_skips_boxes = false;  // boxes are recorded in shown_boxes instead of shown
  std::vector<std::string>* shown_boxes = nullptr;
  // Tests: the label each control shows at the end of the run.
  std::vector<std::pair<int, std::string>>* final_labels = nullptr;
};

// Runs the two dialogs until a command ends them. False when no window can be opened.
bool launcher_run(LauncherController& controller, const LauncherRunOptions& options);

}  // namespace host
