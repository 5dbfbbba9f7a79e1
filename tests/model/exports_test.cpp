// The library through its exports, as the program uses it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "model/include/tolvu.h"
#include "tests/model/test_support.h"

namespace {

struct SizeCase {
  int type, size, states, inertia;
};

TEST(TolvuExports, SizeQueriesPerModelType) {
  const SizeCase cases[] = {{1, 1963, 19, 6}, {2, 2743, 47, 16}, {3, 370, 0, 0},
                            {0, 0, 0, 0},     {4, 0, 0, 0},      {-1, 0, 0, 0}, {7, 0, 0, 0}};
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(c.type);
    EXPECT_EQ(tolvu_GetModelDefinitionSize(c.type), c.size);
    EXPECT_EQ(tolvu_GetNumberOfStates(c.type), c.states);
    EXPECT_EQ(tolvu_GetNumberOfInertiaStates(c.type), c.inertia);
  }
  EXPECT_EQ(tolvu_GetNumberOfModelDefinitions(), 3);
}

TEST(TolvuExports, OrdinalTableMapsOneToTenInOrder) {
  const void* expected[] = {
      reinterpret_cast<void*>(&tolvu_SetEarthDataFunction), reinterpret_cast<void*>(&tolvu_GetNumberOfModelDefinitions),
      reinterpret_cast<void*>(&tolvu_GetModelDefinitionSize), reinterpret_cast<void*>(&tolvu_InitializeModel),
      reinterpret_cast<void*>(&tolvu_InitializeData),        reinterpret_cast<void*>(&tolvu_CallModel),
      reinterpret_cast<void*>(&tolvu_GetVarIndex),            reinterpret_cast<void*>(&tolvu_Dump),
      reinterpret_cast<void*>(&tolvu_GetNumberOfStates),      reinterpret_cast<void*>(&tolvu_GetNumberOfInertiaStates)};
  for (int i = 0; i < TOLVU_EXPORT_COUNT; ++i) EXPECT_EQ(tolvu_ExportTable[i], expected[i]) << "ordinal " << i + 1;
}

struct IndexCase {
  int type;
  const char* name;
  int index;
};

TEST(TolvuExports, VariableIndicesOfNamesAndElements) {
  const IndexCase cases[] = {
      // CAR_2: the names the program looks up, and element forms.
      {2, "STEER", 994}, {2, "RPM1600", 1585}, {2, "VL100", 248}, {2, "TIME", 61}, {2, "OUT_VARS", 1665},
      {2, "RG100(1)", 17}, {2, "EUL100(1)", 20}, {2, "AG100(1)", 2275}, {2, "DL100(1)", 2281},
      {2, "FZ_DL2300", 1903}, {2, "KPD2400", 38}, {2, "ALPD2100", 30}, {2, "M_FUEL", 155}, {2, "X_COG(1)", 157},
      {2, "F_CLN100", 978}, {2, "T_CLN100", 981}, {2, "VG100(3)", 3}, {2, "MM100(2,3)", 215 + 1 + 2 * 3},
      {2, "TYP900", 520}, {2, "FTM950", 590}, {2, "KPD2300", 35}, {2, "DM1599(3,3)", 2523},
      {2, "ALPD100", 0}, {2, "NO_SUCH", 0}, {2, "VG100(4)", 0}, {2, "VG100(0)", 0}, {2, "MM100(4,1)", 0},
      {2, "X_COG(*)", 0}, {2, "VG*", 0}, {2, "MM100(DIA,1)", 0}, {2, "", 0}, {2, " ", 0}, {2, " STEER", 0},
      {2, "VG100(", 0}, {2, "(1)", 0}, {2, "MM100( 2, 3 )", 215 + 1 + 2 * 3}, {2, "stEEr", 994},
      // CAR_1: parameters, states and the fixed positions of the vocabulary.
      {1, "M_CAR", 128}, {1, "VG100", 1}, {1, "OL100", 4}, {1, "RG100", 7}, {1, "EUL100(4)", 13},
      {1, "BEW2400", 17}, {1, "GEAR_RAT", 18}, {1, "EBR2950", 19}, {1, "TSTOP", 35}, {1, "TIME", 33},
      {1, "INP_VARS", 825}, {1, "STEER", 833}, {1, "ORL2300", 1165}, {1, "OUT_VARS", 1324}, {1, "FTY2100", 1444},
      {1, "DM2396(3,3)", 1799}, {1, "ENG_TC_TB(7,2)", 734 + 8 + 6}, {1, "GEARS(2)", 790}, {1, "FZ_DL2100", 0},
      // The four hubs are bodies 2096 to 2396 and their contact frames 2099 to 2399, as the
      // acceleration block names them.
      {1, "RP2096", 374}, {1, "RP2296", 448}, {1, "RP2396", 583}, {1, "VAX2399", 675}, {1, "RP2496", 0},
      // CAR_R.
      {3, "ONE", 35}, {3, "STEER", 209}, {3, "INP_VARS(78)", 203}, {3, "FL100", 287}, {3, "TL100(3)", 292},
  };
  for (const IndexCase& c : cases) EXPECT_EQ(tolvu_GetVarIndex(c.type, c.name), c.index) << c.type << " " << c.name;
}

TEST(TolvuExports, UnknownTypeGivesMinusOneThenKnownTypesWork) {
  EXPECT_EQ(tolvu_GetVarIndex(7, "M_CAR"), -1);
  EXPECT_EQ(tolvu_GetVarIndex(0, "M_CAR"), -1);
  EXPECT_EQ(tolvu_GetVarIndex(1, "M_CAR"), 128);
  EXPECT_EQ(tolvu_GetVarIndex(7, "M_CAR"), -1);
  EXPECT_EQ(tolvu_GetVarIndex(1, "M_CAR"), 128);
}

TEST(TolvuExports, AlternatingTypesRefillTheNameTable) {
  tolvu_test::InPrivateFolder folder;  // the dump below writes into the current folder
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(tolvu_GetVarIndex(1, "M_CAR"), 128);
    EXPECT_EQ(tolvu_GetVarIndex(2, "M_CAR"), 156);
    EXPECT_EQ(tolvu_GetVarIndex(3, "STEER"), 209);
  }
  std::vector<double> store(2743);
  ASSERT_EQ(tolvu_InitializeModel(2, store.data(), 2743, " "), 1);
  EXPECT_EQ(tolvu_GetVarIndex(1, "TSTOP"), 35);
  // A dump of another type refills the table too; the next lookup still answers for its own type.
  std::vector<double> store3(370);
  ASSERT_EQ(tolvu_InitializeModel(3, store3.data(), 370, " "), 1);
  EXPECT_EQ(tolvu_Dump(1, 0.0, store.data(), 1799), 0);
  EXPECT_EQ(tolvu_GetVarIndex(3, "ONE"), 35);
  EXPECT_EQ(tolvu_GetVarIndex(1, "TSTOP"), 35);
}

TEST(TolvuExports, InitializeModelNeedsAStoreLongerThanTheVariables) {
  std::vector<double> store(1963, -7.0);
  EXPECT_EQ(tolvu_InitializeModel(1, store.data(), 1799, " "), 0);
  for (double v : store) ASSERT_EQ(v, -7.0);
  EXPECT_EQ(tolvu_InitializeModel(4, store.data(), 1963, " "), 0);
  EXPECT_EQ(tolvu_InitializeModel(1, nullptr, 1963, " "), 0);
  for (double v : store) ASSERT_EQ(v, -7.0);
  EXPECT_EQ(tolvu_InitializeModel(1, store.data(), 1963, " "), 1);
  EXPECT_EQ(store[128 - 1], 1000.0);
}

TEST(TolvuExports, InitializeModelWritesNothingBeyondAShortStore) {
  // Long enough for the variables, too short for the input area: the copy stops at the end.
  std::vector<double> store(1963, -7.0);
  EXPECT_EQ(tolvu_InitializeModel(1, store.data(), 1800, nullptr), 1);
  for (size_t k = 1800; k < store.size(); ++k) ASSERT_EQ(store[k], -7.0) << k;
}

double at(const std::vector<double>& s, int type, const char* name) {
  const int k = tolvu_GetVarIndex(type, name);
  EXPECT_GT(k, 0) << name;
  return k > 0 ? s[static_cast<size_t>(k - 1)] : 0.0;
}

TEST(TolvuExports, DefaultsOfCar1AfterInitialisation) {
  std::vector<double> s(1963, -7.0);
  ASSERT_EQ(tolvu_InitializeModel(1, s.data(), 1963, " "), 1);
  const std::pair<const char*, double> expected[] = {
      {"GEARS(2)", 0.0},        {"GEARS(8)", 0.0},        {"GEARS(1)", -11.0},     {"GEARS(3)", 11.0},
      {"ENG_TC_TB(7,2)", 0.0},  {"ENG_TC_TB(8,2)", 0.0},  {"ENG_TC_TB(8,1)", 1.41}, {"ENG_TC_TB(5,2)", 1.0},
      {"TIME", 0.0},            {"TSTOP", 1.0},           {"PI", 0.0},             {"M_CAR", 1000.0},
      {"X_COG(3)", -0.8},       {"VG100(1)", 1e-12},      {"EUL100(1)", 1.0},      {"RG100(1)", 1.4},
      {"FTM950", 100000.0},     {"EYS900", -1.0},         {"CGRAV(3)", 9.80766},   {"XALPHA", 0.001},
      {"CMHEAD(3,3)", 0.81649658}, {"P_3D(6)", 6.0},      {"C_TYR(11)", 11.0},     {"C_TYR(9)", 0.0},
      {"R_TYR(16)", 16.0},      {"OUT_LENG", 120.0},      {"SPEED", 0.0},
  };
  for (const auto& [name, value] : expected) EXPECT_DOUBLE_EQ(at(s, 1, name), value) << name;
  // The unnamed integer controls beside the tables: 755, 788, 799, 800.
  EXPECT_EQ(s[755 - 1], 4.0);
  EXPECT_EQ(s[788 - 1], 2.0);
  EXPECT_EQ(s[799 - 1], 1.0);
  EXPECT_EQ(s[800 - 1], 1.0);
  // Beyond the variables, only the input area is written (a copy of INP_VARS, all 0 here).
  for (int k = 1800; k <= 1837; ++k) EXPECT_EQ(s[static_cast<size_t>(k - 1)], -7.0) << k;
  for (int k = 1838; k <= 1843; ++k) EXPECT_EQ(s[static_cast<size_t>(k - 1)], 0.0) << k;
  for (int k = 1844; k <= 1963; ++k) EXPECT_EQ(s[static_cast<size_t>(k - 1)], -7.0) << k;
}

TEST(TolvuExports, DefaultsOfCar2AfterInitialisation) {
  std::vector<double> s(2743);
  ASSERT_EQ(tolvu_InitializeModel(2, s.data(), 2743, " "), 1);
  const std::pair<const char*, double> expected[] = {
      {"OWL2300", -2.5e-12}, {"XALPHA", 5.0},      {"FZN900", 3000.0},   {"MUH950", 0.8},    {"FTM950", 100000.0},
      {"RRM900", 0.25},      {"TYR900(10)", 0.35}, {"ENG_TR_CM", 0.5},   {"SIZ1600", 0.05},  {"BRAKE_FRN", 0.75},
      {"CAM_REAR(4)", 8.76}, {"TOE_FRONT(2)", 0.037}, {"VIEW_MAX(1)", 19.522979}, {"C_TYR(14)", 14.0},
      {"ENG_GM_BD", 1.570796}, {"GEARS(2)", 0.0}, {"WD_TYRE", 0.3},    {"M_FUEL", 0.0},
  };
  for (const auto& [name, value] : expected) EXPECT_DOUBLE_EQ(at(s, 2, name), value) << name;
  EXPECT_EQ(s[828 - 1], 1.0);
  EXPECT_EQ(s[829 - 1], 1.0);
  EXPECT_EQ(s[925 - 1], 4.0);
  EXPECT_EQ(s[958 - 1], 2.0);
}

TEST(TolvuExports, InputBlockCopiedFromInpVars) {
  tolvu_test::TempFile file("title\nINP_VARS(1) 0.25\nINP_VARS(5) 3\nINP_VARS(6) 1\n");
  std::vector<double> s(2743);
  ASSERT_EQ(tolvu_InitializeModel(2, s.data(), 2743, file.path()), 1);
  EXPECT_EQ(s[2618 - 1], 0.25);
  EXPECT_EQ(s[2622 - 1], 3.0);
  EXPECT_EQ(s[2623 - 1], 1.0);
  // A further data file over the set-up model keeps what it does not name.
  s[156 - 1] = 1234.0;
  tolvu_test::TempFile more("title\nINP_VARS(1) -0.5\n");
  EXPECT_EQ(tolvu_InitializeData(2, s.data(), 2743, more.path()), 1);
  EXPECT_EQ(s[2618 - 1], -0.5);
  EXPECT_EQ(s[2622 - 1], 3.0);
  EXPECT_EQ(s[156 - 1], 1234.0);
}

TEST(TolvuExports, DumpWritesNamedValuesThatReadBack) {
  tolvu_test::InPrivateFolder folder;
  std::vector<double> s(1963);
  ASSERT_EQ(tolvu_InitializeModel(1, s.data(), 1963, " "), 1);
  s[128 - 1] = 1234.5;      // M_CAR
  s[790 - 1] = -2.0;        // GEARS(2)
  ASSERT_EQ(tolvu_Dump(1, 12.5, s.data(), 1799), 0);
  std::ifstream in("My_States.mdl");
  ASSERT_TRUE(in);
  std::stringstream text;
  text << in.rdbuf();
  const std::string dump = text.str();
  EXPECT_EQ(dump.rfind("\"WRITEFORMAT= ", 0), 0u);
  EXPECT_NE(dump.find("\" Time is   12.50000\""), std::string::npos);
  EXPECT_NE(dump.find("M_CAR" + std::string(18, ' ') + "0.1234500E+04\n"), std::string::npos);
  EXPECT_NE(dump.find("GEARS(2,1)" + std::string(12, ' ') + "-0.2000000E+01\n"), std::string::npos);
  EXPECT_EQ(dump.find("SPEED"), std::string::npos);  // computed variables are not dumped
  EXPECT_EQ(dump.find("OUT_VARS"), std::string::npos);

  // The dump is itself a data file: reading it back restores the values.
  std::vector<double> t(1963);
  ASSERT_EQ(tolvu_InitializeModel(1, t.data(), 1963, "My_States.mdl"), 1);
  EXPECT_EQ(t[128 - 1], 1234.5);
  EXPECT_EQ(t[790 - 1], -2.0);
  EXPECT_EQ(t[1 - 1], 0.0);  // VG100(1) = 1e-12 reads back as 0: below 1e-10 a number is zero
}

TEST(TolvuExports, DumpCoversAtMostTheModelsVariables) {
  tolvu_test::InPrivateFolder folder;
  std::vector<double> s(2743);
  ASSERT_EQ(tolvu_InitializeModel(2, s.data(), 2743, " "), 1);
  // A count beyond the variables reads no store element past them; the last dumped element is
  // the last named one.
  ASSERT_EQ(tolvu_Dump(2, 0.0, s.data(), 1000000), 0);
  std::ifstream in("My_States.mdl");
  std::string line, last;
  int lines = 0;
  while (std::getline(in, line)) {
    last = line;
    ++lines;
  }
  EXPECT_GT(lines, 250);  // the P, Q, R, C and J elements of CAR_2
  EXPECT_EQ(last.rfind("TYR950(36,1)", 0), std::string::npos);  // the tyre data come before the end
  EXPECT_EQ(tolvu_Dump(2, 0.0, nullptr, 2523), 0);
  EXPECT_EQ(tolvu_Dump(2, 0.0, s.data(), -5), 0);
}

TEST(TolvuExports, UnknownTypeStopsTheProcessInEvaluation) {
  std::vector<double> s(2743);
  EXPECT_EXIT(tolvu_CallModel(9, 1, 0, 0.0, s.data(), 2743), testing::ExitedWithCode(1), "Stop - Program terminated.");
  EXPECT_EXIT(tolvu_InitializeData(0, s.data(), 2743, " "), testing::ExitedWithCode(1), "Stop - Program terminated.");
}

}  // namespace

namespace {

TEST(TolvuInfoTool, PrintsSizesAndIndices) {
  // vqtool lands beside the test programs.
  std::string bin = std::getenv("VQ_BIN_DIR") ? std::getenv("VQ_BIN_DIR") : "";
  if (bin.empty()) bin = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
  if (!std::filesystem::exists(bin + "/vqtool")) GTEST_SKIP() << "vqtool not built";
  const std::string cmd = bin + "/vqtool tolvu-info CAR_1 M_CAR \"ENG_TC_TB(2,2)\" 2>&1";
  std::FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[256];
  while (std::fgets(buf, sizeof buf, p)) out += buf;
  EXPECT_EQ(pclose(p), 0) << out;
  EXPECT_NE(out.find("store length    1963"), std::string::npos) << out;
  EXPECT_NE(out.find("inertia states  6"), std::string::npos) << out;
  EXPECT_NE(out.find("M_CAR                128"), std::string::npos) << out;
  EXPECT_NE(out.find("ENG_TC_TB(2,2)       743"), std::string::npos) << out;
}

}  // namespace
