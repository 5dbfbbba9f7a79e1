// The generated variable tables: record encoding, shapes and the fixed positions.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "model/car1/car1_vars.h"
#include "model/core/diagnostics.h"
#include "model/core/tolvu_model.h"
#include "model/datafile/datafile.h"

namespace {

int g_n006 = 0;
void count_n006(const char* text, int length) {
  if (std::string(text, static_cast<size_t>(length)).rfind("N006", 0) == 0) ++g_n006;
}

struct Model {
  int type;
  int nvars;
  std::vector<char> table;
};

Model load(int type) {
  Model m{type, 0, {}};
  int ns, ni, nin, no;
  char name[10];
  Size_Model(type, name, m.nvars, ns, ni, nin, no);
  m.table.assign(static_cast<size_t>(m.nvars + 5) * 12, 'x');
  INI_NAM_MODEL(type, m.table.data(), 12, m.nvars + 5);
  return m;
}

std::string rec(const Model& m, int k) { return std::string(m.table.data() + (k - 1) * 12, 12); }

TEST(TolvuTables, FirstRecordsAndTrailingBlanks) {
  for (int type : {1, 2}) {
    Model m = load(type);
    EXPECT_EQ(rec(m, 1), "VG100     1R");
    EXPECT_EQ(rec(m, 2), "          dR");
    EXPECT_EQ(rec(m, 3), "          bR");
    // Records beyond the model's last are blank.
    for (int k = m.nvars + 1; k <= m.nvars + 5; ++k) EXPECT_EQ(rec(m, k), std::string(12, ' '));
  }
}

struct RecordCase {
  int type, index;
  const char* record;
};

TEST(TolvuTables, StatedRecords) {
  const RecordCase cases[] = {
      {1, 1324, "OUT_VARS  2A"}, {1, 1325, " 20138    uA"}, {1, 1326, "RG1000$CM1bA"}, {1, 1444, "FTY2100   1 "},
      {1, 1109, "NETV1600  - "}, {1, 1110, "          . "}, {1, 825, "INP_VARS  1C"},  {1, 826, "  6 44    iC"},
      {1, 755, "           J"},  {1, 343, "FZN900    .P"}, {1, 1277, "          dU"},
      {2, 29, "KPD2100    R"},   {2, 30, "ALPD2100   R"},  {2, 519, "TYR900    2 "},  {2, 520, "TYP900    lP"},
      {2, 521, "          b "},  {2, 522, "          b "}, {2, 523, "          a "}, {2, 555, "TYR950    2 "},
      {2, 1665, "OUT_VARS  2A"}, {2, 1666, " 20140    uA"}, {2, 1785, "IOM100    1 "}, {2, 1659, "NETV1600  - "},
      {2, 1660, "          . "}, {2, 2523, "          . "}, {2, 632, "  1  6    dA"}, {2, 633, "_TIRE$    bA"},
      {2, 1196, "          dU"}, {2, 1197, "          bU"}, {2, 828, "           J"},
      {3, 126, "INP_VARS  2C"},  {3, 127, " 18128    dC"}, {3, 204, "OUT_VARS  1Q"},
  };
  for (const RecordCase& c : cases) {
    Model m = load(c.type);
    EXPECT_EQ(rec(m, c.index), c.record) << c.type << " record " << c.index;
  }
}

TEST(TolvuTables, EveryVariableDecodesAndTheyTileTheStore) {
  g_n006 = 0;
  tolvu::SetMessageObserver(count_n006);
  for (int type : {1, 2, 3}) {
    Model m = load(type);
    int k = 1, variables = 0;
    while (k <= m.nvars) {
      int rows, cols;
      ASSERT_TRUE(tolvu::VariableDims(k, rows, cols, m.table.data(), m.nvars));
      ASSERT_GE(rows * cols, 1) << type << " record " << k;
      k += rows * cols;
      ++variables;
    }
    EXPECT_EQ(k, m.nvars + 1) << type;
    EXPECT_GT(variables, 50);
  }
  tolvu::SetMessageObserver(nullptr);
  EXPECT_EQ(g_n006, 0);
}

TEST(TolvuTables, TypeLetterCounts) {
  struct Count {
    int type;
    char letter;
    int count;
  };
  const Count cases[] = {{1, 'R', 19}, {1, 'P', 90}, {1, 'Q', 53}, {1, 'S', 15}, {1, 'K', 12}, {1, 'H', 40},
                         {1, 'A', 132}, {1, 'C', 8}, {1, 'J', 4}, {1, 'U', 10}, {1, ' ', 1416},
                         {2, 'R', 47}, {2, 'P', 173}, {2, 'Q', 52}, {2, 'S', 15}, {2, 'K', 12}, {2, 'H', 40},
                         {2, 'A', 132}, {2, 'C', 8}, {2, 'J', 4}, {2, 'U', 8}, {2, ' ', 2032}};
  for (const Count& c : cases) {
    Model m = load(c.type);
    int n = 0;
    for (int k = 1; k <= m.nvars; ++k) n += rec(m, k)[11] == c.letter;
    EXPECT_EQ(n, c.count) << c.type << " '" << c.letter << "'";
  }
}

TEST(TolvuTables, ElementNames) {
  Model m = load(2);
  EXPECT_EQ(tolvu::ElementName(1, m.table.data(), m.nvars), "VG100(1,1)");
  EXPECT_EQ(tolvu::ElementName(3, m.table.data(), m.nvars), "VG100(3,1)");
  EXPECT_EQ(tolvu::ElementName(61, m.table.data(), m.nvars), "TIME");
  EXPECT_EQ(tolvu::ElementName(215 + 7, m.table.data(), m.nvars), "MM100(2,3)");
  EXPECT_EQ(tolvu::ElementName(2523, m.table.data(), m.nvars), "DM1599(3,3)");
  EXPECT_EQ(tolvu::ElementName(0, m.table.data(), m.nvars), "");
  EXPECT_EQ(tolvu::ElementName(2524, m.table.data(), m.nvars), "");
}

TEST(TolvuTables, DisplayNames) {
  Model m = load(2);
  const char* t = m.table.data();
  EXPECT_EQ(tolvu::DisplayName(61, t, m.nvars), "TIME");
  EXPECT_EQ(tolvu::DisplayName(2, t, m.nvars), "VG100(2)");
  EXPECT_EQ(tolvu::DisplayName(1, t, m.nvars), "VG100(1)");
  EXPECT_EQ(tolvu::DisplayName(-1, t, m.nvars), "VG100");
  EXPECT_EQ(tolvu::DisplayName(215 + 7, t, m.nvars), "MM100(2,3)");
  EXPECT_EQ(tolvu::DisplayName(-215, t, m.nvars), "MM100");
  EXPECT_EQ(tolvu::DisplayName(520, t, m.nvars), "TYR900(2)");
  EXPECT_EQ(tolvu::DisplayName(0, t, m.nvars), "");
  EXPECT_EQ(tolvu::DisplayName(2524, t, m.nvars), "");
  std::vector<char> help(36, ' ');
  std::memcpy(help.data(), "#INTRO    1A", 12);
  std::memcpy(help.data() + 12, "  1  4    dA", 12);
  std::memcpy(help.data() + 24, "ABC$      bA", 12);
  EXPECT_EQ(tolvu::DisplayName(1, help.data(), 3), "ZZHELP(INTRO)");
}

// The CAR_1 offsets the compiler resolved: each names the record that the library's own name
// lookup finds for that name, and the unnamed controls sit on records without a name.
TEST(TolvuTables, Car1CompiledOffsetsMatchTheNameRecords) {
  const Model m = load(1);
  ASSERT_EQ(m.nvars, car1::kIndex.nv);
  int ns, ni, nin, no, nv;
  Sizes_Car_1(nv, ns, ni, nin, no);
  EXPECT_EQ(ns, car1::kIndex.ns);
  auto check = [&](const std::string& name, int offset) {
    ASSERT_GE(offset, 0) << name;
    EXPECT_EQ(Get_Var_Index(1, name.c_str(), static_cast<int>(name.size())), offset + 1) << name;
    std::string field = rec(m, offset + 1).substr(0, 10);
    field.erase(field.find_last_not_of(' ') + 1);
    EXPECT_EQ(field, name);
  };
  const car1::Index& o = car1::kIndex;
  char name[16];
  int checked = 0;
#define CHECK_S(n) check(#n, o.n), ++checked;
#define CHECK_W(n, f, b)                          \
  for (int w = 0; w < 4; ++w) {                   \
    std::snprintf(name, sizeof name, f, w + (b)); \
    check(name, o.n[w]);                          \
    ++checked;                                    \
  }
#define CHECK_A(n, f)                                     \
  for (int a = 0; a < 2; ++a) {                           \
    std::snprintf(name, sizeof name, f, a == 0 ? 0 : 5); \
    check(name, o.n[a]);                                  \
    ++checked;                                            \
  }
  CAR1_SCALARS(CHECK_S)
  CAR1_CORNERS(CHECK_W)
  CAR1_AXLES(CHECK_A)
#undef CHECK_S
#undef CHECK_W
#undef CHECK_A
  check("GAM1100", o.GAM1x00[0]);
  check("GAM1200", o.GAM1x00[1]);
  EXPECT_GT(checked, 600);
  for (int offset : {o.splineControl, o.lookupControl, o.pickRows, o.pickCols, o.NETV1600 + 1})
    EXPECT_EQ(rec(m, offset + 1).substr(0, 10), std::string(10, ' ')) << offset;
  EXPECT_EQ(o.splineControl, o.TE_PP1600 - 1);
  EXPECT_EQ(o.lookupControl, o.TE_PP1600 + 32);
  EXPECT_EQ(o.pickRows, o.GEAR_TAU + 1);
  EXPECT_EQ(o.pickCols, o.GEAR_TAU + 2);
}

}  // namespace
