// Feeds arbitrary bytes to the scene readers. The first byte picks the reader; for the
// database, mattable and geoset files the magic is put in front of the rest, and mode 3
// patches the bytes of a complete sample database at offsets taken from the input, so the
// fuzzer reaches the inner records quickly. Whatever reads is written again and freed.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"
#include "Zentri/scene/VQSceneFile.h"
#include "Zentri/scene/VQSceneTools.h"

namespace {

const std::vector<uint8_t>& Sample() {
  static std::vector<uint8_t> sample;
  if (sample.empty()) {
    VQNode* demo = VQscene_BuildDemo();
    VQscene_WriteDatabaseMemory(demo, sample, 11);
    VQNode::Destroy(demo);
    VQmaterial_LibraryFreeAll();
  }
  return sample;
}

void ReadDatabase(const std::vector<uint8_t>& file, uint32_t colourFormat) {
  VQNode* root = nullptr;
  if (VQscene_ReadDatabaseMemory(&root, file.data(), file.size(), nullptr, colourFormat, false)) {
    std::vector<uint8_t> out;
    VQscene_WriteDatabaseMemory(root, out, colourFormat);
    VQNode::Destroy(root);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0] % 4;
  const uint32_t colourFormat = (data[0] & 0x80) ? 12 : 11;
  data++;
  size--;
  std::vector<uint8_t> file;
  switch (mode) {
    case 0: {
      static const char magic[13] = "VQO_Database";
      file.assign(magic, magic + 13);
      file.insert(file.end(), data, data + size);
      ReadDatabase(file, colourFormat);
      break;
    }
    case 1: {
      static const char magic[13] = "VQO_Mattable";
      file.assign(magic, magic + 13);
      file.insert(file.end(), data, data + size);
      VQMattable* table = nullptr;
      if (VQscene_ReadMattableMemory(&table, file.data(), file.size(), nullptr, true)) {
        std::vector<uint8_t> out;
        VQscene_WriteMattableMemory(table, out);
        VQMattable::Release(table);
      }
      break;
    }
    case 2: {
      static const char magic[11] = "VQO_Geoset";
      file.assign(magic, magic + 11);
      file.insert(file.end(), data, data + size);
      VQGeoset* geoset = nullptr;
      if (VQscene_ReadGeosetMemory(&geoset, file.data(), file.size(), colourFormat)) {
        std::vector<uint8_t> out;
        VQscene_WriteGeosetMemory(geoset, out, colourFormat);
        VQGeoset::Destroy(geoset);
      }
      break;
    }
    default: {
      file = Sample();
      // Triples of (offset low, offset high, value) patch the sample; a last odd byte cuts it.
      size_t i = 0;
      for (; i + 3 <= size; i += 3) {
        const size_t at = (size_t(data[i]) | (size_t(data[i + 1]) << 8)) % file.size();
        file[at] = data[i + 2];
      }
      if (i < size) file.resize(file.size() - data[i] % 32);
      ReadDatabase(file, colourFormat);
      break;
    }
  }
  VQmaterial_LibraryFreeAll();
  return 0;
}
