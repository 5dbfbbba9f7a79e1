// Headless races of computer drivers on the sample courses: every car is classified, nobody
// stands still longer than a rescue allows, and the same seed gives the same race.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "QVX/race/AIRace.h"

namespace {

std::vector<AIParameters> Field(uint32_t count) {
  std::vector<AIParameters> out;
  for (uint32_t i = 0; i < count; ++i) {
    AIParameters p;
    std::snprintf(p.name, sizeof p.name, "Driver %u", i + 1);
    p.number = i + 2;
    p.startDelay = 0.1f + 0.05f * float(i % 4);
    out.push_back(p);
  }
  return out;
}

class AIRaceOnCourse : public ::testing::TestWithParam<uint32_t> {};

TEST_P(AIRaceOnCourse, EightCarsThreeLapsAllClassified) {
  AICourseData course;
  ASSERT_TRUE(AICourse_Sample(GetParam(), 8, &course));
  AIRace race;
  ASSERT_TRUE(race.Setup(course, Field(8), 3, 1.0f / 60.0f, 7)) << race.m_error;
  EXPECT_TRUE(race.Run(600.0f));
  const std::vector<AIRaceResult> results = race.Results();
  std::vector<int> places(9, 0);
  for (const AIRaceResult& r : results) {
    SCOPED_TRACE(r.name);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.laps, 3u);
    ASSERT_GE(r.place, 1u);
    ASSERT_LE(r.place, 8u);
    ++places[r.place];
    EXPECT_GT(r.bestLap, 20.0f);
    // Standing longer than the stuck time brings a rescue at the next decision.
    EXPECT_LE(r.longestStill, AIParameters().stuckTime + 0.5f);
  }
  for (int p = 1; p <= 8; ++p) EXPECT_EQ(places[p], 1) << "place " << p;
}

INSTANTIATE_TEST_SUITE_P(Samples, AIRaceOnCourse, ::testing::Range(0u, AICOURSE_SAMPLES));

TEST(AIRaceTest, SameSeedSameRaceToTheLastDigit) {
  AICourseData course;
  ASSERT_TRUE(AICourse_Sample(1, 6, &course));
  std::vector<AIRaceResult> runs[2];
  for (auto& results : runs) {
    AIRace race;
    ASSERT_TRUE(race.Setup(course, Field(6), 1, 1.0f / 60.0f, 42)) << race.m_error;
    race.Run(200.0f);
    results = race.Results();
  }
  ASSERT_EQ(runs[0].size(), runs[1].size());
  for (size_t i = 0; i < runs[0].size(); ++i) {
    EXPECT_EQ(runs[0][i].place, runs[1][i].place);
    EXPECT_EQ(runs[0][i].finishTime, runs[1][i].finishTime);
    EXPECT_EQ(runs[0][i].bestLap, runs[1][i].bestLap);
    EXPECT_EQ(runs[0][i].rescues, runs[1][i].rescues);
    EXPECT_EQ(runs[0][i].x, runs[1][i].x);
    EXPECT_EQ(runs[0][i].y, runs[1][i].y);
  }
}

TEST(AIRaceTest, SetupRefusesAnEmptyFieldOrACourseWithoutLine) {
  AICourseData course;
  ASSERT_TRUE(AICourse_Sample(0, 2, &course));
  AIRace race;
  EXPECT_FALSE(race.Setup(course, {}, 1, 1.0f / 60.0f, 1));
  EXPECT_EQ(race.m_error, "the field holds no driver");
  AICourseData empty;
  EXPECT_FALSE(race.Setup(empty, Field(2), 1, 1.0f / 60.0f, 1));
  EXPECT_FALSE(race.Setup(course, Field(2), 1, 0.0f, 1));
}

TEST(AIRaceTest, CarsBeyondTheGridStillGetPlaces) {
  // Eleven drivers on a course with eight grid places: the last three line up behind the grid.
  AICourseData course;
  ASSERT_TRUE(AICourse_Sample(0, 8, &course));
  AIRace race;
  ASSERT_TRUE(race.Setup(course, Field(11), 1, 1.0f / 60.0f, 3)) << race.m_error;
  std::vector<AIRaceResult> r = race.Results();
  // The extra cars stand behind the grid, on the track beside the line.
  for (size_t i = 8; i < r.size(); ++i) {
    uint32_t seg;
    float frac;
    const float d2 = course.lines[0].Nearest(VQVector2(r[i].x, r[i].y), 0, 0, &seg, &frac);
    EXPECT_LT(d2, course.halfWidth * course.halfWidth) << "car " << i << " is off the track";
  }
  for (size_t i = 0; i < r.size(); ++i)
    for (size_t j = i + 1; j < r.size(); ++j) {
      const float dx = r[i].x - r[j].x, dy = r[i].y - r[j].y;
      EXPECT_GT(dx * dx + dy * dy, 9.0f) << i << " and " << j << " start on top of each other";
    }
}

}  // namespace

namespace {

// The generated drivers of the first track's file race the sample oval: the data, not the
// planner, sets how they drive, and every one of them must get round.
TEST(AIRaceTest, GeneratedDriversFinishARace) {
  const std::string dir = std::string(VQ_GAME_DIR) + "/Data";
  std::string file;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("class_AI_", 0) == 0 && name.size() > 4 &&
        name.substr(name.size() - 4) == ".bin") {
      file = entry.path().string();
      break;
    }
  }
  ASSERT_FALSE(file.empty()) << "no computer driver file in " << dir;
  std::ifstream in(file, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  std::vector<AIDriverRecord> records;
  AI_Parse(bytes.data(), bytes.size(), records);
  ASSERT_GE(records.size(), 8u);
  std::vector<AIParameters> field(8);
  for (size_t i = 0; i < field.size(); ++i)
    AIParameters_FromRecord(records[i * 3].bytes, &field[i]);
  AICourseData course;
  ASSERT_TRUE(AICourse_Sample(2, 8, &course));
  AIRace race;
  ASSERT_TRUE(race.Setup(course, field, 2, 1.0f / 60.0f, 11)) << race.m_error;
  EXPECT_TRUE(race.Run(400.0f));
  for (const AIRaceResult& r : race.Results()) EXPECT_TRUE(r.finished) << r.name;
}

}  // namespace
