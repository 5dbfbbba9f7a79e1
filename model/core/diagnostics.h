// Library-wide settings and the diagnostics channel of the model library. Diagnostics are coded
// messages that are composed and then discarded by the sink; nothing is ever shown.
#pragma once

namespace tolvu {

struct Settings {
  int informationLevel = 0;  // information messages (codes beginning with "1") pass at 1 or more
  int warningLevel = 1;      // warnings (fifth code character "W") pass at 0 or more
  char separator = ' ';      // token separator of the data-file reader and the name parser
  int errorCount = 0;
  int inputUnit = 5;
  int outputUnit = 6;
};

Settings& settings();

// Runs the start-up presets once per process; later calls change nothing.
void StartUp();

// Observes what reaches the sink (for tests and tools inside the library's own build); the
// observer sees each composed text before it is discarded. Null removes it.
using MessageObserver = void (*)(const char* text, int length);
void SetMessageObserver(MessageObserver observer);

}  // namespace tolvu
