// Arbitrary bytes as a terrain cache file: the reader must refuse or accept without reading
// outside its input or its arrays, and an accepted tree must answer queries.
#include <cstddef>
#include <cstdint>

#include "Zentri/collision/VQTerrainTree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VQTerrainTree tree;
  if (!tree.ReadFromMemory(data, size)) return 0;
  uint32_t hint = 1, word;
  VQVector normal;
  float t;
  VQVector h;
  tree.GetHeight({0.5f, 0.5f, 0}, &normal, &word, &hint);
  tree.GetHeight({0.5f, 0.5f, 0}, &normal, &word, &hint);
  tree.SweepSphere({0, 0, 1}, {1, 1, -1}, 0.5f, &t, &h, &word);
  return 0;
}
