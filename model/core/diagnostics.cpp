#include "model/core/diagnostics.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "model/core/tolvu_model.h"

namespace tolvu {
namespace {

Settings g_settings;
bool g_started = false;
MessageObserver g_observer = nullptr;

// Length of a text up to its last non-blank character, at least 1 (a blank text stays one blank).
int trimmed_length(const char* text) {
  const int n = static_cast<int>(std::strlen(text));
  int end = n;
  while (end > 1 && text[end - 1] == ' ') --end;
  return end > 0 ? end : 0;
}

}  // namespace

Settings& settings() { return g_settings; }

void StartUp() {
  if (g_started) return;
  g_settings = Settings{};
  g_started = true;
}

void SetMessageObserver(MessageObserver observer) { g_observer = observer; }

}  // namespace tolvu

// Runs the start-up when the library is loaded, as the process-attach notification does.
__attribute__((constructor)) static void tolvu_library_entry() { tolvu::StartUp(); }

void OutputMessage(const char* text, int length) {
  if (tolvu::g_observer != nullptr && text != nullptr && length >= 0) tolvu::g_observer(text, length);
}

void ReportMessage(const char* code, const char* text1, const char* text2, const char* text3) {
  if (code == nullptr) code = " ";
  const tolvu::Settings& s = tolvu::settings();
  const bool information = code[0] == '1';
  if (information && s.informationLevel < 1) return;
  const char* texts[3] = {text1 ? text1 : " ", text2 ? text2 : " ", text3 ? text3 : " "};
  // Composed into a buffer of 100 characters: code**t1**t2**t3**, cut at the buffer's end.
  constexpr int kBuffer = 100;
  char buf[kBuffer + 1];
  int len = 0;
  auto append = [&](const char* t, int n) {
    for (int i = 0; i < n && len < kBuffer; ++i) buf[len++] = t[i];
  };
  append(code, static_cast<int>(std::strlen(code)));
  append("**", 2);
  for (const char* t : texts) {
    append(t, tolvu::trimmed_length(t));
    append("**", 2);
  }
  buf[len] = '\0';
  const bool warning = std::strlen(code) >= 5 && code[4] == 'W';
  bool pass;
  if (information)
    pass = s.informationLevel >= 1;
  else if (warning)
    pass = s.warningLevel >= 0;
  else
    pass = true;
  if (pass) OutputMessage(buf, len);
}

void TOLVU_STOP() {
  std::fputs("Stop - Program terminated.\n", stderr);
  std::fflush(stderr);
  std::exit(1);
}
