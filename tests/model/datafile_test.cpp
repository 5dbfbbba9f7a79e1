// Model data files read through tolvu_InitializeModel and tolvu_InitializeData.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/include/tolvu.h"
#include "tests/model/test_support.h"

namespace {

// A CAR_1 store initialised with a data file of the given text.
class DataFile : public testing::Test {
 protected:
  std::vector<double> load(const std::string& contents, int type = 1) {
    tolvu_test::TempFile file(contents);
    std::vector<double> s(static_cast<size_t>(tolvu_GetModelDefinitionSize(type)));
    EXPECT_EQ(tolvu_InitializeModel(type, s.data(), static_cast<int>(s.size()), file.path()), 1);
    return s;
  }
  static double get(const std::vector<double>& s, const char* name, int type = 1) {
    const int k = tolvu_GetVarIndex(type, name);
    EXPECT_GT(k, 0) << name;
    return k > 0 ? s[static_cast<size_t>(k - 1)] : 0.0;
  }
};

TEST_F(DataFile, TitleOnlyAndEmptyFileKeepTheDefaults) {
  for (const char* contents : {"M_CAR 5\n", "", "title\n", "title"}) {
    SCOPED_TRACE(contents);
    auto s = load(contents);
    EXPECT_EQ(get(s, "M_CAR"), 1000.0);  // line 1 is a title, never an assignment
    EXPECT_EQ(get(s, "TSTOP"), 1.0);
  }
}

TEST_F(DataFile, MissingFileKeepsTheDefaults) {
  std::vector<double> s(1963);
  EXPECT_EQ(tolvu_InitializeModel(1, s.data(), 1963, "/nonexistent/folder/none.dat"), 1);
  EXPECT_EQ(s[128 - 1], 1000.0);
}

struct ValueCase {
  const char* line;
  const char* name;
  double expected;
};

TEST_F(DataFile, ValuesAndTokens) {
  const ValueCase cases[] = {
      {"M_CAR 1500", "M_CAR", 1500.0},
      {"M_CAR 1500 kg of car and driver", "M_CAR", 1500.0},  // a third token is ignored
      {"M_CAR\t1500", "M_CAR", 1500.0},                       // a tab separates like a blank
      {"   M_CAR \t 1500\t", "M_CAR", 1500.0},
      {"M_CAR 1.0E-11", "M_CAR", 0.0},                        // below 1e-10: exactly zero
      {"M_CAR -3e-11", "M_CAR", 0.0},
      {"M_CAR 1.5D2", "M_CAR", 150.0},                        // D marks the exponent
      {"M_CAR 2.5d-1", "M_CAR", 0.25},
      {"M_CAR +7.", "M_CAR", 7.0},
      {"M_CAR E5", "M_CAR", 1000.0},                          // no number, no variable E5
      {"M_CAR 5-", "M_CAR", 1000.0},
      {"M_CAR 1e", "M_CAR", 1000.0},
      {"M_CAR M_AXLE", "M_CAR", 60.0},                        // a reference to a variable
      {"M_CAR -M_AXLE", "M_CAR", -60.0},
      {"M_CAR -X_COG(3)", "M_CAR", 0.8},
      {"m_car 1200", "M_CAR", 1200.0},
      {"X_COG(2) 0.3", "X_COG(2)", 0.3},
      {"CMHEAD(2,3) 5", "CMHEAD(2,3)", 5.0},
      {"CMHEAD(DIA,*) 9", "CMHEAD(2,2)", 9.0},
      {"CMHEAD(*,1) 4", "CMHEAD(3,1)", 4.0},
      {"CMHEAD(1,*) 4", "CMHEAD(1,3)", 4.0},
      {"X_COG(4) 3", "X_COG(3)", -0.8},                       // outside the shape: skipped
      {"SPEED 3", "SPEED", 0.0},                              // a computed variable takes no value
      {"NO_SUCH 3", "M_CAR", 1000.0},
      {"SPRL_* 123", "SPRL_REAR", 123.0},                     // a pattern sets every match
      {"SPRL_* 123", "SPRL_FRONT", 123.0},
      {"SPRL_* 123", "SPRL_FRONT", 123.0},
      {"*PRL_FRONT 5", "SPRL_FRONT", 5.0},
      {"S*RL_F* 6", "DMPI_FRONT", 4000.0},
      {"FTM9* 7", "FTM950", 7.0},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.line);
    auto s = load(std::string("title\n") + c.line + "\n");
    EXPECT_DOUBLE_EQ(get(s, c.name), c.expected);
  }
}

TEST_F(DataFile, WholeArraySetCopyAndShapeMismatch) {
  auto set = load("title\nGEARS 7.0\n");
  for (int i = 1; i <= 8; ++i) EXPECT_EQ(get(set, ("GEARS(" + std::to_string(i) + ")").c_str()), 7.0);

  auto fromElement = load("title\nX_COG RG100(3)\n");
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(get(fromElement, ("X_COG(" + std::to_string(i) + ")").c_str()), -0.8);

  auto copy = load("title\nX_COG -RG100\n");
  EXPECT_EQ(get(copy, "X_COG(1)"), -1.4);
  EXPECT_EQ(get(copy, "X_COG(2)"), 0.0);
  EXPECT_EQ(get(copy, "X_COG(3)"), 0.8);

  auto mismatch = load("title\nX_COG EUL100\n");
  EXPECT_EQ(get(mismatch, "X_COG(1)"), 1.4);
  EXPECT_EQ(get(mismatch, "X_COG(3)"), -0.8);

  auto matrix = load("title\nCMHEAD CMDUM\n");  // same shape, CMDUM all zero
  EXPECT_EQ(get(matrix, "CMHEAD(1,1)"), 0.0);
}

TEST_F(DataFile, IndexGivenByNameIsRememberedForTheRestOfTheFile) {
  // ROAD is a field number of type H (14): TYR900(ROAD) is element 14 of the front tyre set, FZN900.
  auto s = load("title\nM_CAR TYR900(ROAD)\nX_REAR TYR900\n");
  EXPECT_EQ(get(s, "M_CAR"), 3000.0);
  EXPECT_EQ(get(s, "X_REAR"), 3000.0);  // the bare name means the remembered element
  // The memory ends with the file: lookups and later files see plain names again.
  EXPECT_EQ(tolvu_GetVarIndex(1, "TYR900"), 330);
  auto plain = load("title\nX_REAR TYR900\n");
  EXPECT_EQ(get(plain, "X_REAR"), 0.0);  // the first element of the set
}

TEST_F(DataFile, SkippedLinesAndStops) {
  std::string col80(79, ' ');
  col80 += "X";
  auto s = load("title\n"
                "\n"
                "\" a comment line\n"
                "   \"\" a comment too, not a text line\n" +
                col80 + "\n"
                "M_AXLE 70\n"
                "K_ROLL 0.5  \" trailing comment\n");
  EXPECT_EQ(get(s, "M_AXLE"), 70.0);
  EXPECT_EQ(get(s, "K_ROLL"), 0.5);

  // A line with a single token stops the reading: values above it stay, none below is read.
  auto bad = load("title\nM_AXLE 70\nK_ROLL\nK_PITCH 0.9\n");
  EXPECT_EQ(get(bad, "M_AXLE"), 70.0);
  EXPECT_EQ(get(bad, "K_ROLL"), 0.13);
  EXPECT_EQ(get(bad, "K_PITCH"), 0.15);

  // A line of tabs only is no blank line: it has no tokens and stops the reading.
  auto tabs = load("title\nM_AXLE 70\n\t\t\nK_PITCH 0.9\n");
  EXPECT_EQ(get(tabs, "M_AXLE"), 70.0);
  EXPECT_EQ(get(tabs, "K_PITCH"), 0.15);

  // Lines longer than 81 columns are cut: a value past column 81 is not seen.
  auto longLine = load("title\nM_AXLE" + std::string(80, ' ') + "70\nK_PITCH 0.9\n");
  EXPECT_EQ(get(longLine, "M_AXLE"), 60.0);
  EXPECT_EQ(get(longLine, "K_PITCH"), 0.15);

  // Windows line ends read like plain ones.
  auto crlf = load("title\r\nM_AXLE 70\r\nK_PITCH 0.9\r\n");
  EXPECT_EQ(get(crlf, "M_AXLE"), 70.0);
  EXPECT_EQ(get(crlf, "K_PITCH"), 0.9);
}

TEST_F(DataFile, LongNamesAndValuesAreRefusedWithoutHarm) {
  const std::string huge(5000, 'A');
  auto s = load("title\n" + huge + " 5\nM_CAR " + huge + "\nM_CAR(" + huge + ") 1\nM_AXLE 70\n");
  EXPECT_EQ(get(s, "M_CAR"), 1000.0);
  EXPECT_EQ(get(s, "M_AXLE"), 60.0);  // the cut long lines hold one token only and stop the reading
  EXPECT_EQ(tolvu_GetVarIndex(1, huge.c_str()), 0);
}

TEST_F(DataFile, InitializeDataReadsOverTheModelWithoutDefaults) {
  std::vector<double> s(1963);
  ASSERT_EQ(tolvu_InitializeModel(1, s.data(), 1963, " "), 1);
  s[129 - 1] = 2.0;  // X_COG(1), not in the file
  tolvu_test::TempFile file("title\nM_CAR 900\n");
  EXPECT_EQ(tolvu_InitializeData(1, s.data(), 1963, file.path()), 1);
  EXPECT_EQ(s[128 - 1], 900.0);
  EXPECT_EQ(s[129 - 1], 2.0);
  // A store shorter than the variables is written only within its length.
  std::vector<double> shortStore(100, -1.0);
  EXPECT_EQ(tolvu_InitializeData(1, shortStore.data(), 100, file.path()), 1);
  for (double v : shortStore) EXPECT_EQ(v, -1.0);
}

}  // namespace
