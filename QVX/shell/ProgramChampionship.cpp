// Program's championship operations: each fills a ChampionshipWorld from the content tables and
// the first local player and runs the rule of Championship.h on it.
#include <cstdint>

#include "QVX/race/Player.h"
#include "QVX/shell/Program.h"
#include "QVX/shell/RecordBytes.h"
#include "Zentri/util/VQStrings.h"

ChampionshipWorld Program::ChampWorld() {
  ChampionshipWorld w;
  w.drivers = &m_aiDrivers;
  const uint32_t tracks = m_trackCount < PROGRAM_MAX_TRACKS ? m_trackCount : PROGRAM_MAX_TRACKS;
  for (uint32_t t = 0; t < tracks; ++t) w.champTracks.push_back(m_tracks[t].championship);
  const uint32_t classes = m_classCount < CLASS_MAX ? m_classCount : CLASS_MAX;
  for (uint32_t c = 0; c < classes; ++c) {
    const RacingClass* cls = m_classes[c];
    w.classNames.emplace_back(cls ? (cls->m_title.empty() ? cls->m_name : cls->m_title.c_str())
                                  : "");
    std::vector<std::string> colors;
    if (cls)
      for (const Skin* skin : cls->m_skins) colors.emplace_back(skin ? skin->name : "");
    w.colorNames.push_back(std::move(colors));
    w.baseClass.push_back(cls ? Record_GetU32(cls->m_record, CLASSREC_BASE_CLASS) : 0);
  }
  if (m_playerCount > 0 && m_players[0]) {
    Player* first = m_players[0];
    w.human = &first->m_profile;
    w.humanName = first->m_name;
    w.saveHuman = [first]() { return first->Save(true); };
  }
  w.gameMode = m_gameMode;
  w.text = [this](int32_t id) { return m_texts ? m_texts->GetById(id) : ""; };
  return w;
}

bool Program::SetupChampionship(uint32_t kind) {
  ChampionshipWorld w = ChampWorld();
  const uint32_t needed =
      kind == CHAMP_KIND_GRAND ? CHAMP_MAX_ENTRIES : (kind + 1) * CHAMP_KIND_DRIVERS - 1;
  if (m_aiDrivers.size() < needed)
    Log("Warning: championship %u needs %u computer drivers, %zu are loaded", kind, needed,
        m_aiDrivers.size());
  if (!m_championship.Setup(w, kind)) return false;
  m_champPlayerCount = m_championship.EntryCount();
  return true;
}

void Program::FillChampionshipTable(uint32_t kind) {
  ChampionshipWorld w = ChampWorld();
  m_championship.FillWeatherTable(w, kind);
}

void Program::ScoreRace(bool fromMenu, bool withoutRace) {
  ChampionshipWorld w = ChampWorld();
  m_championship.ScoreRace(w, m_raceParticipants, fromMenu, withoutRace);
}

void Program::SimulateOtherRaces(bool perClass, uint32_t track) {
  ChampionshipWorld w = ChampWorld();
  m_championship.SimulateOtherRaces(w, perClass, track);
}

void Program::SortStandings() { m_championship.SortStandings(); }

void Program::FillStandings() { m_championship.FillStandings(ChampWorld()); }

void Program::FillRaceResults() {
  m_championship.FillRaceResults(ChampWorld(), m_raceParticipants);
}

void Program::FillStartList() { m_championship.FillStartList(ChampWorld(), m_raceParticipants); }

void Program::FillTimeTable() {
  ChampionshipWorld w = ChampWorld();
  // The sixth column shows the first player's lap record of class 0 on track 5.
  const float stored = w.human ? w.human->lap_records[0][5] : CHAMP_NO_LAP_TIME;
  m_championship.FillTimeTable(w, stored);
}

AIDriverRecord* Program::GetAIDriver(uint32_t i) {
  return i < m_aiDrivers.size() ? &m_aiDrivers[i] : nullptr;
}

float Program::GetBestTime(uint32_t cls, uint32_t track) {
  return Championship::GetBestTime(ChampWorld(), cls, track);
}

void Program::RestoreChampionship() {
  ChampionshipWorld w = ChampWorld();
  if (!m_championship.RestoreFromProfile(w))
    Log("Player '%s' left a championship whose standings do not fit it", w.humanName.c_str());
  m_champPlayerCount = m_championship.EntryCount();
}
