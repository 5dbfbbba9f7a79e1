// Fuzz target: the binary (scrambled) message-string reader. The input is the unscrambled
// content (scrambling is a one-to-one map, so the fuzzer explores the layout directly); it is
// scrambled before the reader sees it. Whatever the reader accepts must survive a write and a
// second read unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Zentri/util/VQStrings.h"
#include "Zentri/util/VQscramble.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VQStrings table;
  bool append = size > 0 && (data[0] & 1);
  if (append) table.Add("pre", 1, "existing");
  std::vector<uint8_t> file(data, data + size);
  VQscramble_Builtin(file.data(), file.size());
  if (!table.LoadBinary(file.data(), file.size(), append)) return 0;
  if (table.GetCount() > VQSTRINGS_MAX_ENTRIES) __builtin_trap();
  std::string bytes = table.ToBinary();
  VQStrings again;
  if (!again.LoadBinary(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), false)) __builtin_trap();
  if (again.GetCount() != table.GetCount()) __builtin_trap();
  for (uint32_t i = 0; i < table.GetCount(); ++i) {
    if (std::strcmp(again.GetKey(i), table.GetKey(i)) || std::strcmp(again.GetText(i), table.GetText(i)) ||
        again.GetId(i) != table.GetId(i))
      __builtin_trap();
    if (!table.GetByKey(table.GetKey(i)) || !table.GetById(table.GetId(i))) __builtin_trap();
  }
  return 0;
}
