// The championship of the championship game mode: the standings of the human and the computer
// drivers, the weather of each season, scoring a race (with the simulated races of the drivers
// who did not take part), moving the season from track to track, and the texts of the
// standings, results, start-list and time-table pages.
//
// The Championship works on a ChampionshipWorld that the Program fills from its content tables
// and its first local player, so that it can be used and tested without the rest of the game.
// Every index that comes from a file or a profile (driver records, positions, counts) is checked
// before it is used; a missing computer-driver record shows as an empty row and never races.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "QVX/shell/Content.h"

struct PlayerProfile;

constexpr uint32_t CHAMP_KINDS = 11;
constexpr uint32_t CHAMP_KIND_GRAND = 10;    // 240 drivers, two races a weekend
constexpr uint32_t CHAMP_ENTRIES = 24;       // kinds 0 to 9
constexpr uint32_t CHAMP_MAX_ENTRIES = 240;  // kind 10
constexpr uint32_t CHAMP_KIND_DRIVERS = 24;  // records per kind: kind x 24 + 0..22
constexpr uint32_t CHAMP_HUMAN = 99999;      // the driver word of the human's entry
constexpr uint32_t CHAMP_NO_DRIVER = 9999;   // driver words at or above this are no record
constexpr uint32_t CHAMP_POINT_PLACES = 32;  // finishing positions with a points value
constexpr uint32_t CHAMP_ROWS = 9;           // rows of the standings page
constexpr uint32_t CHAMP_WEATHER_SLOTS = 6;  // one weather choice per track index 0..5
constexpr int32_t CHAMP_START_OPPONENTS = 7;
constexpr int32_t CHAMP_MAX_BONUS = 3;          // a winner's bonus counter counts up to this
constexpr uint32_t CHAMP_MAX_POINTS = 1000000;  // a restored points word above this is cut
constexpr float CHAMP_NO_TIME = 9999.0f;
constexpr float CHAMP_SEARCH_TIME = 999.0f;  // simulated times are expected below this
constexpr float CHAMP_DEFAULT_BEST = 50.0f;  // best time without any record
constexpr float CHAMP_NO_LAP_TIME = 100.0f;  // a lap record of 100 s means none
constexpr uint32_t CHAMP_RACE_RECORDS = 5;

// Message strings the texts use.
enum ChampText : int32_t {
  CHAMPTEXT_ONE_LAP = 202,  // "+1 <lap>"
  CHAMPTEXT_LAPS = 203,     // "+n <laps>"
  CHAMPTEXT_TIME_TABLE = 8012,
};

enum ChampGameMode : int32_t {
  CHAMPMODE_PRACTICE = 1,
  CHAMPMODE_SPLIT = 2,
  CHAMPMODE_SINGLE = 3,
  CHAMPMODE_CHAMPIONSHIP = 4,
  CHAMPMODE_AI_ONLY = 5,
  CHAMPMODE_NETWORK = 6,
};

enum ChampParticipantType : int32_t {
  CHAMPPART_HUMAN = 1,
  CHAMPPART_COMPUTER = 2,
  CHAMPPART_REMOTE = 3,
};

struct ChampionshipEntry {
  uint32_t driver = CHAMP_HUMAN;  // AI driver record index, or CHAMP_HUMAN
  uint32_t position = 0;          // 1-based standings position
  uint32_t points = 0;
};

// The points of a finishing position (1..32); 0 for position 0 and beyond the table.
uint32_t Championship_Points(uint32_t position);
// "%d%d:%d%d:%d%d": minutes (not limited to two digits), seconds and hundredths of a race time.
void FormatRaceTime(char* out, size_t size, float seconds);
// (rand() % 1000 x 0.002 - 1) x a: a random value in [-a, a).
float RandomSymmetric(float a);

// One participant of a race as scoring and the results and start-list pages see it.
struct ChampParticipant {
  std::string name;
  int32_t type = CHAMPPART_COMPUTER;
  uint32_t aiDriver = CHAMP_NO_DRIVER;  // a computer participant's record index
  uint32_t position = 0;                // race position, 1-based; 0 = none
  uint8_t finished = 0;
  float time = 0.0f;  // race time in seconds
  uint32_t laps = 0;
  int32_t bonus = 0;  // the per-race bonus counter
  int32_t classIndex = 0, colorIndex = 0;
  uint32_t grid = 0;                     // grid number (start list)
  float record = CHAMP_DEFAULT_BEST;     // reference time in the compared class (start list)
  float ownRecord = CHAMP_DEFAULT_BEST;  // a computer participant's reference in its own class
  uint8_t own = 0;                       // network play: this machine's player
  uint8_t arrived = 1;                   // network play: in the lobby
  float roundTrip = 0.0f;                // network play: seconds
};

// What the championship reads of the game. The Program fills it before each operation.
struct ChampionshipWorld {
  std::vector<AIDriverRecord>* drivers = nullptr;
  std::vector<uint8_t> champTracks;  // per track index: 1 = part of the season
  std::vector<std::string> classNames;
  std::vector<std::vector<std::string>> colorNames;  // per class: its skins' names
  std::vector<uint32_t> baseClass;                   // per class: the class its records count in
  PlayerProfile* human = nullptr;                    // the first local player's profile
  std::string humanName;
  int32_t humanBonus = 0;
  int32_t gameMode = CHAMPMODE_CHAMPIONSHIP;
  uint32_t raceTrack = 0;                    // the track of the race (start list)
  std::function<const char*(int32_t)> text;  // message strings; null gives ""
  std::function<bool()> saveHuman;           // writes the human's profile record; may be null
};

// Where the standings page's "continue" leads after a race, and what the championship gave.
struct ChampionshipProgress {
  int32_t continueTarget = 21;  // item 132: the next race's set-up page by default
  int32_t prizeTarget = 27;     // item 380 of the prize page
  int32_t newCarTarget = 21;    // item 210 of the new-car page
  int32_t openedTarget = 47;    // item 390 of the page of a newly opened championship
  int32_t unlockedCar = -1;     // class of a car opened now, -1 for none
  uint8_t ended = 0;            // the championship ended (the profile is to be saved)
  uint8_t prizeTrack = 0;       // the prize track was opened (class 5's car opened first)
};
// The end-of-championship rules after a scored race: prizes (best podium place, or 3 + the
// finishes off the podium), opening the next championship and the next class's car. place: the
// human's standings place. Changes the profile's championship fields.
ChampionshipProgress Championship_Progress(PlayerProfile& p, uint32_t place, bool fromResults);

class Championship {
 public:
  Championship() = default;

  // The AI driver record i, or null when i is not below the loaded count.
  static AIDriverRecord* GetAIDriver(const ChampionshipWorld& w, uint32_t i);
  // The record's name (cut at its field), "" without a record.
  static std::string DriverName(const ChampionshipWorld& w, uint32_t i);
  // The slowest reference time of the class's records on the track; 50.0 when the track index is
  // not below the track count or no record of the class exists.
  static float GetBestTime(const ChampionshipWorld& w, uint32_t cls, uint32_t track);
  // Average of a race-record list; 50.0 when its first entry is not above 0.
  static float RecordAverage(const float list[CHAMP_RACE_RECORDS]);
  // Pushes a race time into the profile's record list of (class, track); ignored unless above 0
  // or outside the tables.
  static void AddRecord(PlayerProfile& p, int32_t cls, int32_t track, float time);

  // A new championship of the kind (0..10; others are refused). Fills the weather table, the
  // standings, copies them into the profile and starts the championship in the profile.
  bool Setup(ChampionshipWorld& w, uint32_t kind);
  // The six weather variants of a season into the profile.
  void FillWeatherTable(ChampionshipWorld& w, uint32_t kind);
  // Takes the standings from the profile after it was loaded. Values the table cannot hold are
  // not trusted: a count that is not the kind's leaves the championship; points are limited;
  // entry 0 is always the human; positions are rebuilt from the points. False when the
  // championship was left for a bad count.
  bool RestoreFromProfile(ChampionshipWorld& w);

  // Scores a race (modes 3 and 4) and advances the season; participants: the race's field.
  void ScoreRace(ChampionshipWorld& w, const std::vector<ChampParticipant>& participants,
                 bool fromMenu, bool withoutRace);
  // Points for the computer drivers of the standings who are still available.
  void SimulateOtherRaces(ChampionshipWorld& w, bool perClass, uint32_t track);
  void SortStandings();
  // Marks every computer driver of the standings available (or not).
  void MarkStandingsAvailable(ChampionshipWorld& w, uint8_t value);

  // Texts of the pages; each rebuilds m_othersText / m_ownText / m_notArrivedText from empty.
  void FillStandings(const ChampionshipWorld& w);
  void FillRaceResults(const ChampionshipWorld& w,
                       const std::vector<ChampParticipant>& participants);
  void FillStartList(const ChampionshipWorld& w, const std::vector<ChampParticipant>& participants);
  void FillTimeTable(const ChampionshipWorld& w, float storedTime);

  // The human's standings position (1-based), 0 without standings.
  uint32_t HumanPosition() const;
  uint32_t EntryCount() const { return m_count; }
  const ChampionshipEntry& Entry(uint32_t i) const {
    return m_entries[i < CHAMP_MAX_ENTRIES ? i : 0];
  }
  // The entry index at a 1-based position; CHAMP_MAX_ENTRIES when the position is outside.
  uint32_t EntryAt(uint32_t position) const;
  // The standings position of a computer driver's entry, 0 when it has none.
  uint32_t PositionOfDriver(uint32_t driver) const;
  void Clear() { m_count = 0; }

  int32_t m_scroll = -1;        // first row of the standings page; -1 = around the human
  uint8_t m_seasonWrapped = 0;  // the last advance went past the season's last track
  uint8_t m_gridBuilt = 0;      // a championship grid was built for this race
  std::string m_othersText, m_ownText, m_notArrivedText, m_titleText;
  int32_t m_tabStops[8] = {};  // the tab stops of the last fill
  uint32_t m_tabStopCount = 0;

 private:
  void CopyToProfile(ChampionshipWorld& w) const;
  void Advance(ChampionshipWorld& w, bool fromMenu);
  void AddToDriver(uint32_t driver, uint32_t points);
  void SetTabStops(std::initializer_list<int32_t> stops);
  std::string RowText(uint32_t position, const std::string& name, const std::string& cls,
                      const std::string& color, uint32_t points) const;

  uint32_t m_count = 0;
  ChampionshipEntry m_entries[CHAMP_MAX_ENTRIES];
  uint32_t m_order[CHAMP_MAX_ENTRIES + 1] = {};  // by position 1..count: the entry index
};
