#include "QVX/shell/Championship.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "QVX/race/PlayerProfile.h"
#include "QVX/shell/RecordBytes.h"

namespace {

// Points by finishing position 1..32.
const uint32_t kPoints[CHAMP_POINT_PLACES] = {10, 8, 6, 5, 4, 3, 2, 1};

constexpr size_t kAINameField = 20;
constexpr uint32_t kTimeTracks = 20;  // reference times per record
constexpr uint32_t kMaxGroup = 32;    // a simulated race holds at most a full field
constexpr int kSlotTries = 100;

uint32_t AddPoints(uint32_t a, uint32_t b) {
  const uint64_t sum = uint64_t(a) + b;
  return sum > CHAMP_MAX_POINTS ? CHAMP_MAX_POINTS : uint32_t(sum);
}

int32_t RecordClass(const AIDriverRecord& r) { return Record_GetI32(r.bytes, AIREC_CLASS); }
int32_t RecordColor(const AIDriverRecord& r) { return Record_GetI32(r.bytes, AIREC_COLOR); }
float RecordTime(const AIDriverRecord& r, uint32_t track) {
  return track < kTimeTracks ? Record_GetF32(r.bytes, AIREC_TIMES + 4 * size_t(track))
                             : CHAMP_DEFAULT_BEST;
}

const char* Text(const ChampionshipWorld& w, int32_t id) {
  if (!w.text) return "";
  const char* t = w.text(id);
  return t ? t : "";
}

std::string ClassName(const ChampionshipWorld& w, int32_t cls) {
  return cls >= 0 && size_t(cls) < w.classNames.size() ? w.classNames[size_t(cls)] : std::string();
}

std::string ColorName(const ChampionshipWorld& w, int32_t cls, int32_t color) {
  if (cls < 0 || size_t(cls) >= w.colorNames.size()) return std::string();
  const auto& names = w.colorNames[size_t(cls)];
  return color >= 0 && size_t(color) < names.size() ? names[size_t(color)] : std::string();
}

template <class... A>
void Append(std::string& out, const char* format, A... args) {
  char line[256];
  std::snprintf(line, sizeof line, format, args...);
  out += line;
}

// Puts value into a random free slot of the profile's weather table: up to 100 draws of
// rand() % 6; the first free slot drawn (never slot 1 when skipOne) takes it.
void PlaceWeather(int32_t* table, uint8_t* freeSlots, int32_t value, bool skipOne) {
  for (int attempt = 0; attempt < kSlotTries; ++attempt) {
    const int k = std::rand() % int(CHAMP_WEATHER_SLOTS);
    if (!freeSlots[k] || (skipOne && k == 1)) continue;
    table[k] = value;
    freeSlots[k] = 0;
    return;
  }
}

}  // namespace

uint32_t Championship_Points(uint32_t position) {
  return position >= 1 && position <= CHAMP_POINT_PLACES ? kPoints[position - 1] : 0;
}

void FormatRaceTime(char* out, size_t size, float seconds) {
  if (!out || size == 0) return;
  const double hundredths = double(seconds) * 100.0;
  // A time outside what a race can take (negative, not a number, beyond a day) shows as zero.
  const int64_t t = hundredths >= 0.0 && hundredths < 8640000.0 ? int64_t(hundredths) : 0;
  std::snprintf(out, size, "%d%d:%d%d:%d%d", int(t / 60000), int((t / 6000) % 10),
                int((t / 100) % 60 / 10), int((t / 100) % 60 % 10), int(t % 100 / 10),
                int(t % 100 % 10));
}

float RandomSymmetric(float a) { return (float(std::rand() % 1000) * 0.002f - 1.0f) * a; }

// ---- records -------------------------------------------------------------------------------------

AIDriverRecord* Championship::GetAIDriver(const ChampionshipWorld& w, uint32_t i) {
  if (!w.drivers || i >= w.drivers->size()) return nullptr;
  return &(*w.drivers)[i];
}

std::string Championship::DriverName(const ChampionshipWorld& w, uint32_t i) {
  const AIDriverRecord* r = GetAIDriver(w, i);
  if (!r) return std::string();
  char name[kAINameField + 1];
  Record_GetName(name, sizeof name, r->bytes, AIREC_NAME, kAINameField);
  return name;
}

float Championship::GetBestTime(const ChampionshipWorld& w, uint32_t cls, uint32_t track) {
  if (track >= w.champTracks.size() || track >= kTimeTracks || !w.drivers)
    return CHAMP_DEFAULT_BEST;
  bool any = false;
  float best = 0.0f;
  for (const AIDriverRecord& r : *w.drivers) {
    if (RecordClass(r) != int32_t(cls)) continue;
    const float t = RecordTime(r, track);
    if (!any || t > best) best = t;
    any = true;
  }
  return any ? best : CHAMP_DEFAULT_BEST;
}

float Championship::RecordAverage(const float list[CHAMP_RACE_RECORDS]) {
  if (!(list[0] > 0.0f)) return CHAMP_DEFAULT_BEST;
  float sum = 0.0f;
  for (uint32_t i = 0; i < CHAMP_RACE_RECORDS; ++i) sum += list[i];
  return sum / float(CHAMP_RACE_RECORDS);
}

void Championship::AddRecord(PlayerProfile& p, int32_t cls, int32_t track, float time) {
  if (!(time > 0.0f) || cls < 0 || cls >= PROFILE_MAX_CLASSES || track < 0 ||
      track >= PROFILE_MAX_TRACKS)
    return;
  float* list = p.race_records[cls][track];
  if (!(list[0] > 0.0f)) {
    for (int i = 0; i < PROFILE_RACE_RECORDS; ++i) list[i] = time;
    return;
  }
  for (int i = 0; i + 1 < PROFILE_RACE_RECORDS; ++i) list[i] = list[i + 1];
  list[PROFILE_RACE_RECORDS - 1] = time;
}

// ---- set-up and the profile ------------------------------------------------------------------------

bool Championship::Setup(ChampionshipWorld& w, uint32_t kind) {
  if (kind >= CHAMP_KINDS || !w.human) return false;
  const bool grand = kind == CHAMP_KIND_GRAND;
  m_count = grand ? CHAMP_MAX_ENTRIES : CHAMP_ENTRIES;
  m_entries[0] = ChampionshipEntry{CHAMP_HUMAN, m_count, 0};
  m_order[m_count] = 0;
  for (uint32_t k = 1; k < m_count; ++k) {
    m_entries[k].driver = grand ? CHAMP_MAX_ENTRIES - k : kind * CHAMP_KIND_DRIVERS + (k - 1);
    m_entries[k].position = k;
    m_entries[k].points = 0;
    m_order[k] = k;
  }
  m_scroll = -1;
  m_seasonWrapped = 0;
  m_gridBuilt = 0;
  FillWeatherTable(w, kind);
  PlayerProfile& p = *w.human;
  CopyToProfile(w);
  // The player starts the championship: in it, its class (championship n drives class n, the
  // grand championship class 0), the first weekend, seven opponents.
  p.in_champ = 1;
  p.champ_idx = int32_t(kind);
  p.champ_frame = grand ? 0 : int32_t(kind);
  if (size_t(p.champ_frame) >= w.classNames.size()) p.champ_frame = 0;
  p.champ_season = 0;
  p.champ_weekend = 0;
  p.champ_race = 0;
  p.champ_opponents = CHAMP_START_OPPONENTS;
  return true;
}

void Championship::FillWeatherTable(ChampionshipWorld& w, uint32_t kind) {
  if (!w.human) return;
  int32_t* table = w.human->champ_weather_idxs;
  uint8_t freeSlots[CHAMP_WEATHER_SLOTS];
  for (uint32_t i = 0; i < CHAMP_WEATHER_SLOTS; ++i) {
    table[i] = 0;
    freeSlots[i] = 1;
  }
  auto place = [&](std::initializer_list<int32_t> values, bool lastSkipsOne) {
    size_t n = 0;
    for (int32_t v : values) {
      ++n;
      PlaceWeather(table, freeSlots, v, lastSkipsOne && n == values.size());
    }
  };
  switch (kind) {
    case 0: break;
    case 1: place({2, 2, 4}, false); break;
    case 2: place({2, 4, 3}, true); break;
    case 3: place({4, 4, 2, 2}, false); break;
    case 4:
    case 5: place({4, 2, 1}, true); break;
    case 6: place({4, 2, 1, 3}, false); break;
    default:
      for (uint32_t i = 0; i < CHAMP_WEATHER_SLOTS; ++i) {
        const int r = std::rand() % 100;
        table[i] = r < 40 ? 0 : r < 55 ? 1 : r < 70 ? 2 : r < 85 ? 3 : 4;
      }
      break;
  }
}

void Championship::CopyToProfile(ChampionshipWorld& w) const {
  if (!w.human) return;
  PlayerProfile& p = *w.human;
  p.num_champ_players = int32_t(m_count);
  for (uint32_t i = 0; i < m_count; ++i) {
    p.champ_players[i][0] = int32_t(m_entries[i].driver);
    p.champ_players[i][1] = int32_t(m_entries[i].position);
    p.champ_players[i][2] = int32_t(m_entries[i].points);
  }
}

bool Championship::RestoreFromProfile(ChampionshipWorld& w) {
  m_count = 0;
  m_scroll = -1;
  m_seasonWrapped = 0;
  m_gridBuilt = 0;
  if (!w.human) return true;
  PlayerProfile& p = *w.human;
  if (p.champ_idx < 0 || p.champ_idx >= int32_t(CHAMP_KINDS)) p.champ_idx = 0;
  if (p.champ_season < 0) p.champ_season = 0;
  if (p.champ_race != 0 && p.champ_race != 1) p.champ_race = 0;
  if (p.champ_opponents < 0 || p.champ_opponents > CHAMP_START_OPPONENTS)
    p.champ_opponents = CHAMP_START_OPPONENTS;
  if (p.champ_weekend < 0 || size_t(p.champ_weekend) >= w.champTracks.size()) p.champ_weekend = 0;
  for (int32_t& v : p.champ_weather_idxs)
    if (v < -1 || v >= int32_t(CHAMP_WEATHER_SLOTS)) v = -1;
  if (!p.in_champ) return true;
  const uint32_t expected =
      p.champ_idx == int32_t(CHAMP_KIND_GRAND) ? CHAMP_MAX_ENTRIES : CHAMP_ENTRIES;
  if (p.num_champ_players != int32_t(expected)) {
    // Standings of another size cannot belong to this championship: the player leaves it
    // rather than racing on a table that does not fit.
    p.in_champ = 0;
    p.num_champ_players = 0;
    return false;
  }
  m_count = expected;
  for (uint32_t i = 0; i < m_count; ++i) {
    ChampionshipEntry& e = m_entries[i];
    e.driver = uint32_t(p.champ_players[i][0]);
    if (i == 0)
      e.driver = CHAMP_HUMAN;
    else if (e.driver == CHAMP_HUMAN || e.driver >= CHAMP_NO_DRIVER)
      e.driver = CHAMP_NO_DRIVER;  // one human only; other words name no driver
    const int32_t points = p.champ_players[i][2];
    e.points = points < 0                            ? 0
               : uint32_t(points) > CHAMP_MAX_POINTS ? CHAMP_MAX_POINTS
                                                     : uint32_t(points);
  }
  SortStandings();
  CopyToProfile(w);
  return true;
}

// ---- scoring -------------------------------------------------------------------------------------

void Championship::AddToDriver(uint32_t driver, uint32_t points) {
  if (driver >= CHAMP_NO_DRIVER) return;
  for (uint32_t e = 1; e < m_count; ++e) {
    if (m_entries[e].driver != driver) continue;
    m_entries[e].points = AddPoints(m_entries[e].points, points);
    return;
  }
}

void Championship::MarkStandingsAvailable(ChampionshipWorld& w, uint8_t value) {
  for (uint32_t e = 0; e < m_count; ++e)
    if (AIDriverRecord* r =
            m_entries[e].driver < CHAMP_NO_DRIVER ? GetAIDriver(w, m_entries[e].driver) : nullptr)
      r->bytes[AIREC_AVAILABLE] = value;
}

void Championship::ScoreRace(ChampionshipWorld& w,
                             const std::vector<ChampParticipant>& participants, bool fromMenu,
                             bool withoutRace) {
  if (!w.human) return;
  PlayerProfile& p = *w.human;
  const ChampParticipant* human = nullptr;
  for (const ChampParticipant& q : participants)
    if (q.type == CHAMPPART_HUMAN) {
      human = &q;
      break;
    }
  if (w.gameMode == CHAMPMODE_SINGLE) {
    if (human) AddRecord(p, p.normal_frame, p.normal_track, human->time);
    return;
  }
  if (w.gameMode != CHAMPMODE_CHAMPIONSHIP || m_count == 0) return;
  const uint32_t weekend = uint32_t(p.champ_weekend < 0 ? 0 : p.champ_weekend);
  // The computer drivers of the race raced: they sit out the simulated races of its weekend
  // (as the grid that placed them left them).
  if (!withoutRace)
    for (const ChampParticipant& q : participants)
      if (q.type == CHAMPPART_COMPUTER && (!fromMenu || m_gridBuilt))
        if (AIDriverRecord* r = GetAIDriver(w, q.aiDriver)) r->bytes[AIREC_AVAILABLE] = 0;
  auto computersScore = [&]() {
    for (const ChampParticipant& q : participants)
      if (q.type == CHAMPPART_COMPUTER) AddToDriver(q.aiDriver, Championship_Points(q.position));
  };
  if (withoutRace) {
    MarkStandingsAvailable(w, 1);
    SimulateOtherRaces(w, p.champ_race == 0, weekend);
    m_entries[0].points = AddPoints(m_entries[0].points, 1);
  } else if (fromMenu) {
    if (!m_gridBuilt) {
      MarkStandingsAvailable(w, 1);
      SimulateOtherRaces(w, false, weekend);
    } else {
      computersScore();
      SimulateOtherRaces(w, p.champ_race == 0, weekend);
      if (p.champ_race == 0) {
        MarkStandingsAvailable(w, 1);
        SimulateOtherRaces(w, false, weekend);
      }
    }
  } else {
    if (human) AddRecord(p, p.champ_frame, p.champ_weekend, human->time);
    SimulateOtherRaces(w, p.champ_race == 0, weekend);
    for (const ChampParticipant& q : participants) {
      if (q.type == CHAMPPART_HUMAN) {
        uint32_t gain = Championship_Points(q.position);
        if (q.position == 1) gain += uint32_t(std::clamp(q.bonus, 0, CHAMP_MAX_BONUS));
        m_entries[0].points = AddPoints(m_entries[0].points, gain);
      } else if (q.type == CHAMPPART_COMPUTER) {
        AddToDriver(q.aiDriver, Championship_Points(q.position));
      }
    }
  }
  SortStandings();
  m_scroll = -1;
  FillStandings(w);
  CopyToProfile(w);
  // Every record is free for the next race. The first record only counts as a reserve of the
  // grand championship; when a championship's standings hold it, it races again too.
  if (w.drivers)
    for (size_t i = 1; i < w.drivers->size(); ++i) (*w.drivers)[i].bytes[AIREC_AVAILABLE] = 1;
  MarkStandingsAvailable(w, 1);
  m_gridBuilt = 0;
  Advance(w, fromMenu);
}

void Championship::Advance(ChampionshipWorld& w, bool fromMenu) {
  PlayerProfile& p = *w.human;
  m_seasonWrapped = 0;
  if (p.champ_idx == int32_t(CHAMP_KIND_GRAND) && p.champ_race == 0 && !fromMenu) {
    p.champ_race = 1;
    return;
  }
  p.champ_race = 0;
  const int32_t tracks = int32_t(w.champTracks.size());
  int32_t next = -1;
  for (int32_t t = p.champ_weekend + 1; t < tracks; ++t)
    if (t >= 0 && w.champTracks[size_t(t)]) {
      next = t;
      break;
    }
  if (next < 0) {
    ++p.champ_season;
    m_seasonWrapped = 1;
    for (int32_t t = 0; t < tracks; ++t)
      if (w.champTracks[size_t(t)]) {
        next = t;
        break;
      }
    FillWeatherTable(w, uint32_t(p.champ_idx));
  }
  p.champ_weekend = next < 0 ? 0 : next;
  if (w.saveHuman) w.saveHuman();
}

void Championship::SimulateOtherRaces(ChampionshipWorld& w, bool perClass, uint32_t track) {
  if (!w.human || !w.drivers) return;
  int32_t opponents = w.human->champ_opponents;
  if (opponents < 0) opponents = 0;
  uint32_t group = uint32_t(opponents) + 1;
  if (group > kMaxGroup) group = kMaxGroup;
  const int32_t passes = perClass ? int32_t(w.classNames.size()) : 1;
  for (int32_t cls = 0; cls < passes; ++cls) {
    for (;;) {
      uint32_t collected[kMaxGroup];
      float times[kMaxGroup];
      uint32_t n = 0;
      for (uint32_t pos = 1; pos <= m_count && n < group; ++pos) {
        const uint32_t e = m_order[pos];
        if (e >= m_count || m_entries[e].driver >= CHAMP_NO_DRIVER) continue;
        AIDriverRecord* r = GetAIDriver(w, m_entries[e].driver);
        if (!r || !r->bytes[AIREC_AVAILABLE] || (perClass && RecordClass(*r) != cls)) continue;
        r->bytes[AIREC_AVAILABLE] = 0;
        times[n] = RecordTime(*r, track) * (1.0f + RandomSymmetric(0.05f));
        collected[n++] = e;
      }
      if (n == 0) break;
      for (uint32_t place = 1; place <= group; ++place) {
        float best = CHAMP_SEARCH_TIME;
        int32_t pick = -1;
        for (uint32_t i = 0; i < n; ++i)
          if (times[i] <= best) {
            best = times[i];
            pick = int32_t(i);
          }
        if (pick < 0) break;
        m_entries[collected[pick]].points =
            AddPoints(m_entries[collected[pick]].points, Championship_Points(place));
        times[pick] = CHAMP_NO_TIME;
      }
    }
  }
}

void Championship::SortStandings() {
  // Insertion in entry order: an entry goes behind every earlier one with at least its points.
  uint32_t placed = 0;
  for (uint32_t e = 0; e < m_count; ++e) {
    uint32_t at = 1;
    while (at <= placed && m_entries[m_order[at]].points >= m_entries[e].points) ++at;
    for (uint32_t k = placed; k >= at; --k) m_order[k + 1] = m_order[k];
    m_order[at] = e;
    ++placed;
  }
  for (uint32_t pos = 1; pos <= m_count; ++pos) m_entries[m_order[pos]].position = pos;
}

uint32_t Championship::HumanPosition() const { return m_count ? m_entries[0].position : 0; }

uint32_t Championship::EntryAt(uint32_t position) const {
  return position >= 1 && position <= m_count ? m_order[position] : CHAMP_MAX_ENTRIES;
}

uint32_t Championship::PositionOfDriver(uint32_t driver) const {
  if (driver >= CHAMP_NO_DRIVER) return 0;
  for (uint32_t e = 1; e < m_count; ++e)
    if (m_entries[e].driver == driver) return m_entries[e].position;
  return 0;
}

// ---- texts ---------------------------------------------------------------------------------------

void Championship::SetTabStops(std::initializer_list<int32_t> stops) {
  m_tabStopCount = 0;
  for (int32_t s : stops)
    if (m_tabStopCount < sizeof m_tabStops / sizeof m_tabStops[0]) m_tabStops[m_tabStopCount++] = s;
}

std::string Championship::RowText(uint32_t position, const std::string& name,
                                  const std::string& cls, const std::string& color,
                                  uint32_t points) const {
  std::string out;
  const char hundreds = position >= 100 ? char('0' + position / 100 % 10) : ' ';
  const char tens = position >= 10 ? char('0' + position / 10 % 10) : ' ';
  const char units = char('0' + position % 10);
  Append(out, "%c%c%c\t%s\t%s\t%s\t%d\n", hundreds, tens, units, name.c_str(), cls.c_str(),
         color.c_str(), int(points));
  return out;
}

void Championship::FillStandings(const ChampionshipWorld& w) {
  SetTabStops({70, 200, 320, 440, 490, 0});
  m_othersText.clear();
  m_ownText.clear();
  const int32_t top = m_count > CHAMP_ROWS ? int32_t(m_count - CHAMP_ROWS) : 0;
  if (m_scroll == -1) m_scroll = int32_t(HumanPosition()) - 5;
  m_scroll = std::clamp(m_scroll, 0, top);
  for (uint32_t pos = uint32_t(m_scroll) + 1; pos <= uint32_t(m_scroll) + CHAMP_ROWS; ++pos) {
    const uint32_t e = EntryAt(pos);
    if (e >= m_count) {
      m_othersText += "\n";
      m_ownText += "\n";
      continue;
    }
    const ChampionshipEntry& entry = m_entries[e];
    if (e == 0) {
      m_othersText += "\n";
      const PlayerProfile* p = w.human;
      const int32_t cls = p ? p->champ_frame : 0;
      m_ownText += RowText(pos, w.humanName, ClassName(w, cls),
                           ColorName(w, cls, p ? p->champ_color : 0), entry.points);
      continue;
    }
    m_ownText += "\n";
    const AIDriverRecord* r =
        entry.driver < CHAMP_NO_DRIVER ? GetAIDriver(w, entry.driver) : nullptr;
    const int32_t cls = r ? RecordClass(*r) : -1;
    m_othersText += RowText(pos, DriverName(w, entry.driver), ClassName(w, cls),
                            r ? ColorName(w, cls, RecordColor(*r)) : std::string(), entry.points);
  }
}

void Championship::FillRaceResults(const ChampionshipWorld& w,
                                   const std::vector<ChampParticipant>& participants) {
  SetTabStops({60, 190, 320, 480, 500, 485});
  m_othersText.clear();
  m_ownText.clear();
  const ChampParticipant* winner = nullptr;
  const ChampParticipant* human = nullptr;
  for (const ChampParticipant& q : participants) {
    if (q.position == 1 && !winner) winner = &q;
    if (q.type == CHAMPPART_HUMAN && !human) human = &q;
  }
  const bool ownLine = (w.gameMode == CHAMPMODE_SINGLE || w.gameMode == CHAMPMODE_CHAMPIONSHIP ||
                        w.gameMode == CHAMPMODE_NETWORK) &&
                       human && human->finished;
  char time[32];
  for (uint32_t pos = 1; pos <= participants.size(); ++pos) {
    const ChampParticipant* q = nullptr;
    for (const ChampParticipant& c : participants)
      if (c.position == pos && c.finished) {
        q = &c;
        break;
      }
    if (!q) {
      m_othersText += "\n";
      m_ownText += "\n";
      continue;
    }
    int32_t cls = 0;
    if (w.gameMode == CHAMPMODE_CHAMPIONSHIP)
      cls = w.human ? w.human->champ_frame : 0;
    else if (w.gameMode == CHAMPMODE_SPLIT || w.gameMode == CHAMPMODE_SINGLE ||
             w.gameMode == CHAMPMODE_AI_ONLY || w.gameMode == CHAMPMODE_NETWORK)
      cls = q->classIndex;
    std::string timeText;
    if (!winner || q == winner) {
      // Without a winner every finisher shows its own time.
      FormatRaceTime(time, sizeof time, q->time);
      timeText = std::string(" ") + time;
    } else if (q->laps == winner->laps && q->time >= winner->time) {
      FormatRaceTime(time, sizeof time, q->time - winner->time);
      timeText = std::string("+") + time;
    } else if (q->laps + 1 == winner->laps) {
      Append(timeText, "+1 %s", Text(w, CHAMPTEXT_ONE_LAP));
    } else if (q->laps + 1 < winner->laps) {
      Append(timeText, "+%d %s", int(winner->laps - q->laps), Text(w, CHAMPTEXT_LAPS));
    } else {
      FormatRaceTime(time, sizeof time, q->time);
      timeText = std::string(" ") + time;
    }
    uint32_t points = Championship_Points(pos);
    if (pos == 1 && (q->type == CHAMPPART_HUMAN || q->type == CHAMPPART_REMOTE))
      points += uint32_t(std::clamp(q->bonus, 0, CHAMP_MAX_BONUS));
    std::string line;
    Append(line, "%d\t%s\t%s\t%s\t%d\n", int(pos), q->name.c_str(), ClassName(w, cls).c_str(),
           timeText.c_str(), int(points));
    m_othersText += line;
    m_ownText += ownLine && q == human ? line : std::string("\n");
  }
}

void Championship::FillStartList(const ChampionshipWorld& w,
                                 const std::vector<ChampParticipant>& participants) {
  SetTabStops({60, 190, 320, 480, 500, 485});
  m_othersText.clear();
  m_ownText.clear();
  m_notArrivedText.clear();
  uint32_t i = 0;
  for (const ChampParticipant& q : participants) {
    ++i;
    const std::string cls = ClassName(w, q.classIndex),
                      color = ColorName(w, q.classIndex, q.colorIndex);
    if (w.gameMode == CHAMPMODE_NETWORK) {
      std::string line;
      if (q.own || q.arrived)
        Append(line, "%d\t%s\t%s\t%s\t%d\n", int(i), q.name.c_str(), cls.c_str(), color.c_str(),
               int(q.roundTrip * 1000.0f + 0.5f));
      else
        Append(line, "%d\t%s\t%s\t%s\n", int(i), q.name.c_str(), cls.c_str(), color.c_str());
      m_ownText += q.own ? line : "\n";
      m_othersText += !q.own && q.arrived ? line : "\n";
      m_notArrivedText += !q.own && !q.arrived ? line : "\n";
      continue;
    }
    int32_t number = 0;
    const bool grand = w.gameMode == CHAMPMODE_CHAMPIONSHIP && w.human &&
                       w.human->champ_idx == int32_t(CHAMP_KIND_GRAND);
    if (w.gameMode == CHAMPMODE_SINGLE || grand) {
      int32_t compared = q.classIndex;
      if (compared > 9 && size_t(compared) < w.baseClass.size())
        compared = int32_t(w.baseClass[size_t(compared)]);
      number = 1;
      if (w.drivers && w.raceTrack < kTimeTracks)
        for (size_t r = 0; r < w.drivers->size(); ++r) {
          if (q.type == CHAMPPART_COMPUTER && r == q.aiDriver) continue;
          const AIDriverRecord& rec = (*w.drivers)[r];
          if (RecordClass(rec) == compared && RecordTime(rec, w.raceTrack) <= q.record) ++number;
        }
      if (q.type == CHAMPPART_COMPUTER && q.ownRecord < q.record) ++number;
    } else if (q.type == CHAMPPART_HUMAN) {
      number = int32_t(HumanPosition());
    } else if (q.type == CHAMPPART_COMPUTER) {
      number = int32_t(PositionOfDriver(q.aiDriver));
    }
    std::string line;
    Append(line, "%d\t%s\t%s\t%s\t%d\n", int(q.grid), q.name.c_str(), cls.c_str(), color.c_str(),
           int(number));
    m_othersText += line;
    m_ownText += q.type == CHAMPPART_HUMAN ? line : "\n";
  }
}

void Championship::FillTimeTable(const ChampionshipWorld& w, float storedTime) {
  SetTabStops({90, 160, 220, 280, 340, 400, 460});
  m_titleText = Text(w, CHAMPTEXT_TIME_TABLE);
  std::string first = w.classNames.empty() ? std::string() : w.classNames[0];
  std::string second;
  int64_t total = 0;  // hundredths
  for (uint32_t t = 0; t < CHAMP_WEATHER_SLOTS; ++t) {
    if (t == 5 && storedTime != CHAMP_NO_LAP_TIME && storedTime >= 0.0f && storedTime < 6000.0f) {
      const int64_t h = int64_t(double(storedTime) * 100.0);
      const int s = int(h / 100 % 60), c = int(h % 100);
      Append(first, "\t%d%1d:%1d%1d", s / 10, s % 10, c / 10, c % 10);
      second += "\t    ";
      total += h;
    } else {
      first += "\t50:00";
      second += "\t50:00";
      total += 5000;
    }
  }
  const int minutes = int(total / 6000 % 10), s = int(total / 100 % 60), c = int(total % 100);
  Append(first, "\t%1d:%d%1d:%1d%1d", minutes, s / 10, s % 10, c / 10, c % 10);
  first += "\n";
  second += "\n";
  m_othersText = first;
  m_ownText = second;
}

// ---- end of a championship ---------------------------------------------------------------------

ChampionshipProgress Championship_Progress(PlayerProfile& p, uint32_t place, bool fromResults) {
  ChampionshipProgress r;
  if (p.champ_race != 0) return r;  // the second race of a grand weekend follows
  auto openCar = [&](int32_t cls) {
    if (cls < 0 || cls >= PROFILE_MAX_CLASSES) return;
    r.unlockedCar = cls;
    if (cls == 5 && !p.unlocked_cars[cls]) r.prizeTrack = 1;
    p.unlocked_cars[cls] = 1;
  };
  auto end = [&]() {
    p.in_champ = 0;
    p.champ_opponents = 0;
    r.ended = 1;
  };
  const int32_t i = p.champ_idx;
  if (i == int32_t(CHAMP_KIND_GRAND)) {
    if (place == 1 && p.champ_weekend == 0) {
      r.continueTarget = 48;
      r.prizeTarget = 27;
      r.newCarTarget = 47;
      end();
      p.champ_prizes[i] = 1;  // the grand championship won
      openCar(int32_t(CHAMP_KIND_GRAND));
    } else if (fromResults) {
      r.continueTarget = 31;
    }
    return r;
  }
  if (i < 0 || i >= int32_t(CHAMP_KIND_GRAND) || p.champ_season == 0) return r;
  const bool nextOpen = p.unlocked_champs[i + 1] != 0;
  const bool carPossible = i < 9 && !p.unlocked_cars[i + 1];
  r.continueTarget = 48;
  r.newCarTarget = 47;
  if (place >= 1 && place <= 3) {
    p.unlocked_champs[i + 1] = 1;
    if (carPossible) {
      r.prizeTarget = 27;
      openCar(i + 1);
    } else {
      r.prizeTarget = 47;
    }
    if (p.champ_prizes[i] == 0 || p.champ_prizes[i] > int32_t(place))
      p.champ_prizes[i] = int32_t(place);
  } else {
    r.prizeTarget = 47;
    int32_t& prize = p.champ_prizes[i];
    if (prize <= 0)
      prize = 4;
    else if (prize >= 4)
      ++prize;
    if (prize >= 6 && !nextOpen) {
      // Three finishes off the podium open the next championship after all.
      p.unlocked_champs[i + 1] = 1;
      r.prizeTarget = 49;
      if (carPossible) {
        r.openedTarget = 27;
        openCar(i + 1);
      } else {
        r.openedTarget = 47;
      }
    }
  }
  end();
  return r;
}
