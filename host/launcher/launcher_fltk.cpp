// The launcher's two dialogs in FLTK. The view holds no state of its own: every button, list and
// check box hands its command to the controller and does what the reply says (end, show or
// hide the configuration window, fill it again, set the labels again, show a message box).
#include <FL/Fl.H>
#include <FL/fl_ask.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Radio_Round_Button.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>
#include <X11/Xlib.h>

#include <map>
#include <memory>
#include <string>

#include "host/launcher/launcher.h"

namespace host {
namespace {

class LauncherView;

struct Binding {
  LauncherView* view;
  int control;
};

class LauncherView {
 public:
  LauncherView(LauncherController& controller, const LauncherRunOptions& options)
      : m_controller(controller), m_options(options) {}

  bool Build() {
    BuildLauncher();
    BuildConfig();
    return m_launcher && m_config;
  }

  void Relabel() {
    for (auto& [control, widget] : m_labelled) {
      const std::string text = m_controller.Label(control);
      if (text.empty()) continue;
      m_labels[control] = text;
      widget->copy_label(text.c_str());
    }
    SetTitle(m_launcher.get(), LAUNCHER_TITLE);
    SetTitle(m_config.get(), CONFIG_TITLE);
    m_launcher->redraw();
    m_config->redraw();
  }

  void Refill() {
    // The lists' texts stay alive in the view for as long as the lists show them.
    m_view = m_controller.ConfigView();
    const LauncherConfigView& v = m_view;
    m_filling = true;
    Fill(m_languages, v.languages, v.language);
    Fill(m_adapters, v.adapters, v.adapter);
    Fill(m_resolutions, v.resolutions, v.resolution);
    Fill(m_audio, v.audio, v.audio_index);
    m_tnl->value(v.tnl ? 1 : 0);
    if (v.tnl_enabled)
      m_tnl->activate();
    else
      m_tnl->deactivate();
    m_triple->value(v.triple ? 1 : 0);
    m_normal->value(v.texture_normal ? 1 : 0);
    m_high->value(v.texture_normal ? 0 : 1);
    if (v.cancel_enabled)
      m_cancel->activate();
    else
      m_cancel->deactivate();
    m_filling = false;
  }

  // Runs the command of a control and carries out the reply. False once the run is to end.
  void Handle(int control, int value) {
    if (m_filling || m_ended) return;
    const LauncherReply reply = m_controller.Command(control, value);
    Apply(reply);
  }

  void Apply(const LauncherReply& reply) {
    if (!reply.box_title.empty() || !reply.box_text.empty())
      ShowBox(reply.box_title, reply.box_text);
    if (reply.relabel) Relabel();
    if (reply.show_config) {
      Refill();
      m_config->show();
    }
    if (reply.refill) Refill();
    if (reply.hide_config) m_config->hide();
    if (reply.end) {
      m_ended = true;
      m_config->hide();
      m_launcher->hide();
    }
  }

  void ShowBox(const std::string& title, const std::string& text) {
    if (m_options.script_skips_boxes) {
      if (m_options.shown_boxes) m_options.shown_boxes->push_back(title + ": " + text);
      return;
    }
    fl_message_title(title.c_str());
    fl_message("%s", text.c_str());
  }

  int Run() {
    Relabel();
    m_launcher->show();
    if (!m_options.first_box_title.empty())
      ShowBox(m_options.first_box_title, m_options.first_box_text);
    if (m_options.show_config_first) {
      Refill();
      m_config->show();
    }
    if (!m_options.script.empty()) Fl::add_timeout(0.05, OnScriptStep, this);
    while (!m_ended && (m_launcher->shown() || m_config->shown())) Fl::wait(0.05);
    if (m_options.final_labels)
      for (auto& [control, text] : m_labels) m_options.final_labels->push_back({control, text});
    return 0;
  }

  // Tests: activates the next control of the script through its widget.
  static void OnScriptStep(void* data) {
    auto* view = static_cast<LauncherView*>(data);
    if (view->m_ended) return;
    if (view->m_scriptStep >= view->m_options.script.size()) {
      view->m_ended = true;
      view->m_config->hide();
      view->m_launcher->hide();
      return;
    }
    const auto [control, value] = view->m_options.script[view->m_scriptStep++];
    view->Press(control, value);
    Fl::add_timeout(0.02, OnScriptStep, view);
  }

  void Press(int control, int value) {
    if (control == LAUNCHER_CLOSE) {
      m_launcher->do_callback();
      return;
    }
    if (control == CONFIG_CLOSE) {
      m_config->do_callback();
      return;
    }
    auto it = m_widgets.find(control);
    if (it == m_widgets.end()) return;
    Fl_Widget* w = it->second;
    if (!w->active()) return;  // a disabled control cannot be pressed
    if (auto* choice = dynamic_cast<Fl_Choice*>(w))
      choice->value(value);
    else if (auto* check = dynamic_cast<Fl_Check_Button*>(w))
      check->value(value);
    w->do_callback();
  }

 private:
  static void OnWidget(Fl_Widget* w, void* data) {
    auto* binding = static_cast<Binding*>(data);
    int value = 0;
    if (auto* choice = dynamic_cast<Fl_Choice*>(w))
      value = choice->value();
    else if (auto* check = dynamic_cast<Fl_Check_Button*>(w))
      value = check->value();
    binding->view->Handle(binding->control, value);
  }

  template <typename W>
  W* Add(W* widget, int control, bool command) {
    m_widgets[control] = widget;
    m_labelled[control] = widget;
    if (command) {
      m_bindings.push_back(std::make_unique<Binding>(Binding{this, control}));
      widget->callback(OnWidget, m_bindings.back().get());
      if (dynamic_cast<Fl_Choice*>(static_cast<Fl_Widget*>(widget)) == nullptr)
        widget->when(FL_WHEN_RELEASE);
    }
    return widget;
  }

  void SetTitle(Fl_Window* window, int control) {
    const std::string text = m_controller.Label(control);
    if (!text.empty()) {
      m_labels[control] = text;
      window->copy_label(text.c_str());
    }
  }

  static void Fill(Fl_Choice* choice, const std::vector<std::string>& entries, int selected) {
    choice->clear();
    for (const std::string& e : entries) {
      // Menu texts treat "/", "&", "_" and "\\" specially; each entry is added as plain text.
      const int index = choice->add("x");
      choice->replace(index, e.c_str());
    }
    if (selected >= 0 && selected < int(entries.size()))
      choice->value(selected);
    else
      choice->value(-1);
  }

  void BuildLauncher() {
    m_launcher = std::make_unique<Fl_Window>(320, 250, "Quorvex launcher V1.00");
    auto* banner = new Fl_Box(10, 10, 300, 50, "QUORVEX");
    banner->labelsize(28);
    banner->labelfont(FL_HELVETICA_BOLD);
    banner->box(FL_FLAT_BOX);
    banner->color(fl_rgb_color(30, 40, 80));
    banner->labelcolor(FL_WHITE);
    Add(new Fl_Button(60, 70, 200, 28, "Play!"), LAUNCHER_PLAY, true);
    Add(new Fl_Button(60, 102, 200, 28, "Configure"), LAUNCHER_CONFIGURE, true);
    Add(new Fl_Button(60, 134, 200, 28, "View Readme.txt"), LAUNCHER_README, true);
    Add(new Fl_Button(60, 166, 200, 28, ""), LAUNCHER_WEB, true);
    Add(new Fl_Button(60, 206, 200, 28, "Quit"), LAUNCHER_QUIT, true);
    m_launcher->end();
    m_closeLauncher = std::make_unique<Binding>(Binding{this, LAUNCHER_CLOSE});
    m_launcher->callback(OnWidget, m_closeLauncher.get());
  }

  void BuildConfig() {
    m_config = std::make_unique<Fl_Window>(420, 390, "Quorvex configuration");
    auto* languageGroup =
        Add(new Fl_Group(10, 20, 400, 50, "Language Configuration"), CONFIG_LANGUAGE_GROUP, false);
    languageGroup->box(FL_ENGRAVED_FRAME);
    languageGroup->align(FL_ALIGN_TOP_LEFT);
    Add(new Fl_Box(20, 32, 110, 25, "Language"), CONFIG_LANGUAGE_LABEL, false)
        ->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    m_languages = Add(new Fl_Choice(140, 32, 260, 25), CONFIG_LANGUAGE_LIST, true);
    languageGroup->end();

    auto* video =
        Add(new Fl_Group(10, 95, 400, 150, "Video Configuration"), CONFIG_VIDEO_GROUP, false);
    video->box(FL_ENGRAVED_FRAME);
    video->align(FL_ALIGN_TOP_LEFT);
    Add(new Fl_Box(20, 105, 110, 25, "Video Card"), CONFIG_VIDEO_LABEL, false)
        ->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    m_adapters = Add(new Fl_Choice(140, 105, 260, 25), CONFIG_ADAPTER_LIST, true);
    Add(new Fl_Box(20, 135, 110, 25, "Resolution"), CONFIG_RESOLUTION_LABEL, false)
        ->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    m_resolutions = Add(new Fl_Choice(140, 135, 260, 25), CONFIG_RESOLUTION_LIST, true);
    m_tnl = Add(new Fl_Check_Button(20, 165, 180, 25, "Use hardware TnL"), CONFIG_TNL, true);
    m_triple = Add(new Fl_Check_Button(210, 165, 180, 25, "Triple buffering"), CONFIG_TRIPLE, true);
    auto* texture =
        Add(new Fl_Group(20, 205, 380, 35, "Texture Quality"), CONFIG_TEXTURE_GROUP, false);
    texture->box(FL_THIN_DOWN_FRAME);
    texture->align(FL_ALIGN_TOP_LEFT);
    m_normal = Add(new Fl_Radio_Round_Button(25, 210, 180, 25, "Normal (16 bit, faster)"),
                   CONFIG_TEXTURE_NORMAL, false);
    m_high = Add(new Fl_Radio_Round_Button(210, 210, 180, 25, "High (32 bit, slower)"),
                 CONFIG_TEXTURE_HIGH, false);
    texture->end();
    // The texture quality is fixed: its controls are shown but cannot be changed.
    texture->deactivate();
    video->end();

    auto* audio =
        Add(new Fl_Group(10, 270, 400, 50, "Audio Configuration"), CONFIG_AUDIO_GROUP, false);
    audio->box(FL_ENGRAVED_FRAME);
    audio->align(FL_ALIGN_TOP_LEFT);
    Add(new Fl_Box(20, 282, 110, 25, "Audio Driver"), CONFIG_AUDIO_LABEL, false)
        ->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    m_audio = Add(new Fl_Choice(140, 282, 260, 25), CONFIG_AUDIO_LIST, true);
    audio->end();

    m_cancel = Add(new Fl_Button(10, 345, 120, 30, "Cancel"), CONFIG_CANCEL, true);
    Add(new Fl_Button(150, 345, 120, 30, "Reset to Defaults"), CONFIG_DEFAULTS, true);
    Add(new Fl_Button(290, 345, 120, 30, "OK"), CONFIG_OK, true);
    m_config->end();
    m_closeConfig = std::make_unique<Binding>(Binding{this, CONFIG_CLOSE});
    m_config->callback(OnWidget, m_closeConfig.get());
  }

  LauncherController& m_controller;
  const LauncherRunOptions& m_options;
  std::unique_ptr<Fl_Window> m_launcher, m_config;
  std::map<int, Fl_Widget*> m_widgets, m_labelled;
  std::map<int, std::string> m_labels;
  std::vector<std::unique_ptr<Binding>> m_bindings;
  std::unique_ptr<Binding> m_closeLauncher, m_closeConfig;
  Fl_Choice *m_languages = nullptr, *m_adapters = nullptr, *m_resolutions = nullptr,
            *m_audio = nullptr;
  Fl_Check_Button *m_tnl = nullptr, *m_triple = nullptr;
  Fl_Radio_Round_Button *m_normal = nullptr, *m_high = nullptr;
  Fl_Button* m_cancel = nullptr;
  LauncherConfigView m_view;
  bool m_filling = false;
  bool m_ended = false;
  size_t m_scriptStep = 0;
};

// FLTK ends the process when it cannot open its display, so the connection is made here and
// handed to FLTK, which then uses it for the rest of the process.
bool OpenDisplay() {
  if (fl_display) return true;
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  fl_open_display(display);
  return true;
}

}  // namespace

bool launcher_run(LauncherController& controller, const LauncherRunOptions& options) {
  if (!launcher_display_present() || !OpenDisplay()) return false;
  LauncherView view(controller, options);
  if (!view.Build()) return false;
  view.Run();
  return true;
}

}  // namespace host
