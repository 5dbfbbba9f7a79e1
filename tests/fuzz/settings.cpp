// Fuzz target: the settings text reader. Lines must survive a save unchanged (as the line
// splitter sees them), and values set afterwards must read back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "Zentri/util/VQSettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VQSettingsFile s;
  s.LoadText(reinterpret_cast<const char*>(data), size);
  const std::string text = s.ToText();
  VQSettingsFile again;
  again.LoadText(text.data(), text.size());
  if (again.LineCount() != s.LineCount() || again.ToText() != text) __builtin_trap();

  // Touch the first section's entries through the typed interface.
  if (VQSettingsSection* section = s.FirstSection()) {
    for (VQSettingsEntry* e = section->FirstEntry(); e; e = e->NextEntry()) {
      int32_t v = 0;
      const char* t = nullptr;
      s.GetInt(e->m_key.c_str(), &v, section->m_name.c_str());
      s.GetString(e->m_key.c_str(), &t, section->m_name.c_str());
    }
    std::string name = section->m_name;
    if (s.SetNumber("fuzzKey", 42, name.c_str())) {
      const std::string saved = s.ToText();
      VQSettingsFile back;
      back.LoadText(saved.data(), saved.size());
      int32_t v = 0;
      // The first section of that name holds the value unless an earlier entry of that key had
      // another type (then SetNumber fails and this is not reached).
      if (!back.GetInt("fuzzKey", &v, name.c_str()) || v != 42) __builtin_trap();
    }
  }
  return 0;
}
