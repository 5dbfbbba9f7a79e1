// Fuzz target: the text form of message-string tables.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Zentri/util/VQStrings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VQStrings table;
  table.LoadText(reinterpret_cast<const char*>(data), size, false);
  if (table.GetCount() > VQSTRINGS_MAX_ENTRIES) __builtin_trap();
  for (uint32_t i = 0; i < table.GetCount(); ++i) {
    const char* key = table.GetKey(i);
    const char* text = table.GetText(i);
    if (!key || !text || std::strlen(text) >= VQSTRINGS_MAX_TEXT) __builtin_trap();
    if (!table.GetByKey(key) || !table.GetById(table.GetId(i))) __builtin_trap();
  }
  return 0;
}
