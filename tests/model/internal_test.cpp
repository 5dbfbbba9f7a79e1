// Inner services of the model library: diagnostics, the ground-query trampoline, the data-file
// assignment rules that the shipped tables cannot reach (type J, text lines, malformed tables).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "model/core/diagnostics.h"
#include "model/core/earth.h"
#include "model/core/tolvu_model.h"
#include "model/datafile/datafile.h"

namespace {

std::vector<std::string> g_messages;
void record_message(const char* text, int length) { g_messages.emplace_back(text, static_cast<size_t>(length)); }

class Observed : public testing::Test {
 protected:
  void SetUp() override {
    g_messages.clear();
    tolvu::SetMessageObserver(record_message);
  }
  void TearDown() override { tolvu::SetMessageObserver(nullptr); }
};

using Diagnostics = Observed;

TEST_F(Diagnostics, FilterAndComposition) {
  ReportMessage("1X099 ", "M_CAR", " ", " ");
  EXPECT_TRUE(g_messages.empty());  // information is dropped at level 0
  ReportMessage("C065W", "FOO   ", "bar", " ");
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0], "C065W**FOO**bar** **");
  ReportMessage("S057", std::string(300, 'x').c_str(), " ", " ");
  ASSERT_EQ(g_messages.size(), 2u);
  EXPECT_EQ(g_messages[1].size(), 100u);  // composed into 100 characters at most
  tolvu::settings().warningLevel = -1;
  ReportMessage("C065W", " ", " ", " ");
  EXPECT_EQ(g_messages.size(), 2u);
  tolvu::settings().warningLevel = 1;
  // A second start-up changes nothing once the library has started.
  tolvu::settings().informationLevel = 1;
  tolvu::StartUp();
  EXPECT_EQ(tolvu::settings().informationLevel, 1);
  tolvu::settings().informationLevel = 0;
}

double g_lastWheel = 0.0;
void fake_ground(double out[8], const double point[3], const double aux[3], double wheel) {
  for (int i = 0; i < 8; ++i) out[i] = point[0] + aux[0] + i;
  g_lastWheel = wheel;
}

TEST(EarthData, FlatGroundUnlessAFunctionIsRegistered) {
  const double point[3] = {5, -7, 3}, aux[3] = {0, 0, 0.4};
  double out[8];
  for (double wheel : {1.0, 4.0}) {
    GetEarthData(out, point, aux, wheel);
    const double flat[8] = {5, -7, 0, 0, 0, -1, 1, 0.01};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i], flat[i]) << i;
  }
  tolvu::SetEarthDataFunction(fake_ground);
  GetEarthData(out, point, aux, 3.0);
  EXPECT_EQ(out[7], 12.0);
  EXPECT_EQ(g_lastWheel, 3.0);
  tolvu::SetEarthDataFunction(nullptr);
  GetEarthData(out, point, aux, 3.0);
  EXPECT_EQ(out[5], -1.0);
}

// A small name table built by hand: records of 12 characters.
class SmallTable : public Observed {
 protected:
  void add(const char* name, char shape, char type) {
    char r[13];
    std::snprintf(r, sizeof r, "%-10.10s%c%c", name, shape, type);
    table.append(r, 12);
    store.push_back(0.0);
  }
  int n() const { return static_cast<int>(store.size()); }
  bool assign(const char* target, const char* value) {
    return reader.AssignDataValue(target, value, store.data(), table.data(), n());
  }
  std::string table;
  std::vector<double> store;
  tolvu::DataFileReader reader;  // the state of the read the assignments belong to
};

TEST_F(SmallTable, TypeJTruncatesTowardZero) {
  add("JVAR", ' ', 'J');
  add("IDX", ' ', 'K');
  add("BLANK", ' ', ' ');
  EXPECT_TRUE(assign("JVAR", "2.9"));
  EXPECT_EQ(store[0], 2.0);
  EXPECT_TRUE(assign("JVAR", "-2.9"));
  EXPECT_EQ(store[0], -2.0);
  EXPECT_FALSE(assign("BLANK", "1"));
  EXPECT_EQ(g_messages.back().rfind("C066W", 0), 0u);
}

TEST_F(SmallTable, IndicesGivenByVariables) {
  add("ROW", ' ', 'K');
  add("VEC", '1', 'P');  // a 4-vector: "1", "e", "b", "."
  table[1 * 12 + 10] = '1';
  add("", 'e', 'P');
  add("", 'b', 'P');
  add("", '.', 'P');
  store[0] = 3.0;
  EXPECT_TRUE(assign("VEC(ROW)", "8"));
  EXPECT_EQ(store[1 + 2], 8.0);
  EXPECT_EQ(tolvu::LookupVariable("VEC(ROW)", 8, table.data(), n(), store.data()), 4);
  EXPECT_EQ(tolvu::LookupVariable("VEC(ROW)", 8, table.data(), n(), nullptr), 0);
  store[0] = 9.0;  // outside the shape
  EXPECT_FALSE(assign("VEC(ROW)", "8"));
}

TEST_F(SmallTable, MalformedShapesCountAsOneElement) {
  add("BAD", '2', 'P');  // says two dimension pairs, but the records do not follow
  add("", 'Z', 'P');
  add("NEXT", ' ', 'P');
  int rows, cols;
  ASSERT_TRUE(tolvu::VariableDims(1, rows, cols, table.data(), n()));
  EXPECT_EQ(rows * cols, 1);
  EXPECT_EQ(g_messages.back().rfind("N006", 0), 0u);
  add("HUGE", '1', 'P');  // dimensions that run past the table
  add("", 'y', 'P');
  add("", 'y', 'P');
  ASSERT_TRUE(tolvu::VariableDims(4, rows, cols, table.data(), n()));
  EXPECT_EQ(rows * cols, 1);
  EXPECT_TRUE(assign("HUGE", "5"));
  EXPECT_EQ(store[3], 5.0);
  EXPECT_EQ(store[4], 0.0);
}

TEST_F(SmallTable, TextLinesWriteIntoTheNameTable) {
  add("LIST", '1', ' ');  // 5 records: "1", "f", "b", ".", "."
  add("", 'f', ' ');
  add("", 'b', ' ');
  add("", '.', ' ');
  add("", '.', ' ');
  add("NUM", ' ', 'R');
  ASSERT_TRUE(reader.AssignText("LIST", "AB$CD", table.data(), n()));
  EXPECT_EQ(table.substr(12, 10), "  1  6    ");
  EXPECT_EQ(table.substr(24, 10), "AB@CD$    ");
  EXPECT_EQ(table[11], 'A');
  EXPECT_EQ(table[4 * 12 + 11], 'A');
  ASSERT_TRUE(reader.AssignText("LIST(2)", "XYZ", table.data(), n()));
  EXPECT_EQ(table.substr(12, 10), "  2 10    ");
  EXPECT_EQ(table.substr(24, 10), "AB@CD$XYZ$");
  EXPECT_EQ(table.substr(36, 10), "          ");
  EXPECT_FALSE(reader.AssignText("LIST(5)", "Q", table.data(), n()));  // beyond the list's end
  EXPECT_FALSE(reader.AssignText("LIST", std::string(31, 'L'), table.data(), n()));  // does not fit
  EXPECT_EQ(table.substr(24, 10), "AB@CD$XYZ$");
  EXPECT_FALSE(reader.AssignText("NUM", "T", table.data(), n()));
  EXPECT_EQ(g_messages.back().rfind("S059W", 0), 0u);
  // A text line in a data file.
  reader.AssignText("LIST", "ONE", table.data(), n());
  EXPECT_EQ(table.substr(24, 10), "ONE$      ");
}

TEST(DataNumbers, NumberRule) {
  tolvu::DataFileReader reader;
  const std::pair<const char*, double> numbers[] = {{"1", 1}, {"-2.5", -2.5}, {"1.5D2", 150}, {"1e3", 1000},
                                                    {"+.5", 0.5}, {"1.0E-11", 0}, {"3.", 3}};
  for (const auto& [t, v] : numbers) {
    double out = -1;
    EXPECT_TRUE(reader.ParseNumber(t, out)) << t;
    EXPECT_EQ(out, v) << t;
  }
  for (const char* t : {"E5", "5-", "d1", "1e", "1.2.3", "abc", "", "-", "1e999", "1,5"}) {
    double out;
    EXPECT_FALSE(reader.ParseNumber(t, out)) << t;
  }
  // The scanner answers a repeated token from memory, and only that token.
  double a = 0, b = 0;
  EXPECT_TRUE(reader.ParseNumber("2.5D1", a));
  EXPECT_TRUE(reader.ParseNumber("2.5D1", b));
  EXPECT_EQ(a, 25.0);
  EXPECT_EQ(b, 25.0);
  EXPECT_TRUE(reader.ParseNumber("2.5D2", b));
  EXPECT_EQ(b, 250.0);
  EXPECT_FALSE(reader.ParseNumber("X2", b));
  EXPECT_FALSE(reader.ParseNumber("X2", b));
  EXPECT_EQ(b, 250.0);  // no number: the output is left alone
}

TEST_F(Diagnostics, CompactCopyDropsBlanksUnlessQuotedAndReportsACut) {
  char buf[8];
  EXPECT_EQ(tolvu::CompactCopy(" X_COG ( 1 ,\t2 )", buf, 8), 8);  // "X_COG(1,2)" is 10 long
  EXPECT_EQ(std::string(buf, 8), "X_COG(1,");
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0].rfind("S0180", 0), 0u);
  g_messages.clear();
  EXPECT_EQ(tolvu::CompactCopy("M_ CAR", buf, 8), 5);
  EXPECT_EQ(std::string(buf, 8), "M_CAR   ");
  EXPECT_EQ(tolvu::CompactCopy("'a b'", buf, 8), 5);
  EXPECT_EQ(std::string(buf, 8), "'a b'   ");
  EXPECT_TRUE(g_messages.empty());
}

TEST(DataTokens, SplitterSkipsBlanksAndTabs) {
  const std::string line = " \tM_CAR\t 1500  rest";
  size_t pos = 0;
  std::string token;
  const char* expected[] = {"M_CAR", "1500", "rest"};
  for (const char* want : expected) {
    ASSERT_TRUE(tolvu::NextToken(line, pos, token));
    EXPECT_EQ(token, want);
  }
  EXPECT_FALSE(tolvu::NextToken(line, pos, token));
  pos = 0;
  EXPECT_FALSE(tolvu::NextToken("\t \t", pos, token));
  // Another separator character: tabs and blanks are then part of the tokens.
  tolvu::settings().separator = ';';
  pos = 0;
  EXPECT_TRUE(tolvu::NextToken(";;A B\t;C", pos, token));
  EXPECT_EQ(token, "A B\t");
  EXPECT_TRUE(tolvu::NextToken(";;A B\t;C", pos, token));
  EXPECT_EQ(token, "C");
  tolvu::settings().separator = ' ';
}

TEST_F(SmallTable, InformationMessagesPassOnlyAtLevelOne) {
  add("TYR1", ' ', 'P');
  add("TYR2", ' ', 'P');
  EXPECT_TRUE(assign("TYR*", "1"));
  EXPECT_EQ(tolvu::LookupVariable("TYR2", 4, table.data(), n(), store.data()), 2);
  EXPECT_TRUE(g_messages.empty());
  tolvu::settings().informationLevel = 1;
  EXPECT_TRUE(assign("TYR*", "2"));
  EXPECT_EQ(tolvu::LookupVariable("TYR2", 4, table.data(), n(), store.data()), 2);
  tolvu::settings().informationLevel = 0;
  ASSERT_EQ(g_messages.size(), 2u);
  EXPECT_EQ(g_messages[0], "1X293 **TYR***2** **");
  EXPECT_EQ(g_messages[1], "1X099 **TYR2**2** **");
  EXPECT_EQ(store[0], 2.0);
  EXPECT_EQ(store[1], 2.0);
}

class DefaultIndices : public Observed {
 protected:
  tolvu::DataFileReader reader;
};

TEST_F(DefaultIndices, RegistryHoldsFortyPatternsAndPicksTheClosest) {
  int row = 0, col = 0;
  EXPECT_FALSE(reader.DefaultIndexLookup("VEC", 1, row, col));
  ASSERT_TRUE(reader.DefaultIndexAdd("*", 9, 9));          // fits every name
  ASSERT_TRUE(reader.DefaultIndexAdd("VEC__", 2, 1));      // "_": a digit or a blank
  ASSERT_TRUE(reader.DefaultIndexAdd("VEC12", 3, 2));
  ASSERT_TRUE(reader.DefaultIndexAdd("@VEC12", 4, 4));     // second kind
  ASSERT_TRUE(reader.DefaultIndexAdd("VEC12", 5, 2));      // same pattern: updated, not added
  EXPECT_EQ(reader.DefaultIndexCount(), 4);
  EXPECT_TRUE(reader.DefaultIndexLookup("VEC12", 1, row, col));
  EXPECT_EQ(row, 5);
  EXPECT_EQ(col, 2);
  EXPECT_TRUE(reader.DefaultIndexLookup("VEC7", 1, row, col));
  EXPECT_EQ(row, 2);
  EXPECT_TRUE(reader.DefaultIndexLookup("VECXY", 1, row, col));  // only "*" fits
  EXPECT_EQ(row, 9);
  EXPECT_TRUE(reader.DefaultIndexLookup("VEC12", 2, row, col));
  EXPECT_EQ(row, 4);
  EXPECT_FALSE(reader.DefaultIndexLookup("VEC7", 2, row, col));
  reader.DefaultIndexRemoveMatching("VEC12");  // every entry that fits the name goes
  EXPECT_EQ(reader.DefaultIndexCount(), 0);

  for (int i = 0; i < tolvu::kMaxDefaultIndices; ++i) ASSERT_TRUE(reader.DefaultIndexAdd("N" + std::to_string(i), i + 1, 1));
  g_messages.clear();
  EXPECT_FALSE(reader.DefaultIndexAdd("ONEMORE", 1, 1));
  EXPECT_EQ(reader.DefaultIndexCount(), tolvu::kMaxDefaultIndices);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0].rfind("D0519", 0), 0u);
  EXPECT_TRUE(reader.DefaultIndexAdd("N39", 7, 1));  // an update still works when full
  EXPECT_TRUE(reader.DefaultIndexLookup("N39", 1, row, col));
  EXPECT_EQ(row, 7);
}

class RememberedIndices : public SmallTable {
 protected:
  void SetUp() override {
    SmallTable::SetUp();
    add("ROW", ' ', 'K');
    add("VEC", '1', 'P');  // a 4-vector: "1", "e", "b", "."
    add("", 'e', 'P');
    add("", 'b', 'P');
    add("", '.', 'P');
    add("X", ' ', 'P');
    add("W", '1', 'P');  // another 4-vector
    add("", 'e', 'P');
    add("", 'b', 'P');
    add("", '.', 'P');
    store[0] = 3.0;
    for (int e = 0; e < 4; ++e) store[1 + e] = 10.0 + e;
  }
};

TEST_F(RememberedIndices, AnIndexGivenByNameBecomesTheNamesDefault) {
  EXPECT_TRUE(assign("X", "VEC(ROW)"));
  EXPECT_EQ(store[5], 12.0);
  EXPECT_TRUE(assign("X", "VEC"));  // VEC now means VEC(3)
  EXPECT_EQ(store[5], 12.0);
  EXPECT_TRUE(assign("W", "-VEC"));  // one element: set every element of W, not a copy
  for (int e = 0; e < 4; ++e) EXPECT_EQ(store[6 + e], -12.0) << e;
  EXPECT_EQ(reader.Lookup("VEC", 3, table.data(), n(), store.data()), 4);
}

TEST_F(RememberedIndices, EachReadKeepsItsOwnMemory) {
  EXPECT_TRUE(assign("X", "VEC(ROW)"));
  EXPECT_EQ(reader.Lookup("VEC", 3, table.data(), n(), store.data()), 4);
  // Outside the read, and in another read, VEC is the whole array again.
  EXPECT_EQ(tolvu::LookupVariable("VEC", 3, table.data(), n(), store.data()), 2);
  tolvu::DataFileReader other;
  EXPECT_EQ(other.DefaultIndexCount(), 0);
  EXPECT_EQ(other.Lookup("VEC", 3, table.data(), n(), store.data()), 2);
  EXPECT_TRUE(other.AssignDataValue("X", "VEC", store.data(), table.data(), n()));
  EXPECT_EQ(store[5], 10.0) << "the other read takes VEC's first element";
  EXPECT_EQ(reader.DefaultIndexCount(), 1);
}

TEST_F(RememberedIndices, TargetsForgetTheirNamesAndNameIndicesClearAll) {
  EXPECT_TRUE(assign("X", "VEC(ROW)"));
  EXPECT_TRUE(assign("VEC", "1"));  // the target forgets VEC's default: the whole array is set
  for (int e = 0; e < 4; ++e) EXPECT_EQ(store[1 + e], 1.0) << e;
  EXPECT_EQ(reader.Lookup("VEC", 3, table.data(), n(), store.data()), 2);
  EXPECT_TRUE(assign("X", "VEC(ROW)"));
  EXPECT_EQ(reader.DefaultIndexCount(), 1);
  EXPECT_TRUE(assign("W(ROW)", "5"));  // an index that is no number: only W's own entry is left
  EXPECT_EQ(reader.DefaultIndexCount(), 1);
  EXPECT_EQ(reader.Lookup("VEC", 3, table.data(), n(), store.data()), 2);
  EXPECT_EQ(reader.Lookup("W", 1, table.data(), n(), store.data()), 7 + 2);
  EXPECT_TRUE(assign("X", "4"));  // a plain target leaves the others alone
  EXPECT_EQ(reader.DefaultIndexCount(), 1);
}

}  // namespace
