#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "Zentri/devices/VQDevice.h"
#include "Zentri/devices/VQDriverTable.h"

TEST(DriverTable, EveryAssignedKindHasExactlyOneDriver) {
  for (uint32_t kind = 0; kind <= VQDEVICE_KIND_LIMIT + 1; ++kind) {
    const bool assigned = kind >= 1 && kind <= VQDEVICE_KIND_LIMIT && kind != 7 && kind != 8;
    const VQDriverRow* row = VQdevices_FindDriver(kind);
    EXPECT_EQ(row != nullptr, assigned) << kind;
    if (row) {
      EXPECT_EQ(row->kind, kind);
      EXPECT_NE(row->create, nullptr) << kind;
    }
  }
  std::set<uint32_t> kinds;
  std::set<std::string> names;
  size_t rows = 0;
  for (size_t f = 0; f < VQdevices_FamilyCount(); ++f) {
    const VQDriverFamily* family = VQdevices_Family(f);
    ASSERT_NE(family, nullptr);
    for (size_t i = 0; i < family->count; ++i, ++rows) {
      kinds.insert(family->rows[i].kind);
      names.insert(std::string(family->name) + "/" + family->rows[i].name);
    }
  }
  EXPECT_EQ(kinds.size(), rows) << "a kind served by two rows";
  EXPECT_EQ(names.size(), rows) << "two drivers of one family share a name";
  EXPECT_EQ(VQdevices_Family(VQdevices_FamilyCount()), nullptr);
}

TEST(DriverTable, DisplayRowsNameTheirDrivers) {
  EXPECT_STREQ(VQdevices_FindDriver(VQDEVICE_OPENGL_DISPLAY)->name, "opengl");
  EXPECT_STREQ(VQdevices_FindDriver(VQDEVICE_SOFTWARE_DISPLAY)->name, "software");
  EXPECT_STREQ(g_VQdisplayDrivers.name, "display");
}
