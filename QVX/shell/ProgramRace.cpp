// The race run: from the chosen settings to a running race and back to the menus. The race is
// the Track (weather, cameras, start sequence, lap tracking) driven by a Simulation whose clock
// advances by the frame step (a RaceSession), with the field's computer drivers in their game cars and
// the local players' game cars of the chosen class as HumanRacers driven by their bound controls;
// a RaceDisplay shows the race (one view, or two sharing the window as a split screen, with the
// HUD, the track map, the cars' shadows and the weather's rain); the in-race keys and menus
// pause, resume, restart and leave; a finished race shows its results page and is appended to
// the --results file.
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "QVX/menu/Menu.h"
#include "QVX/menu/MenuAreas.h"
#include "QVX/race/AIParameters.h"
#include "QVX/race/Car.h"
#include "QVX/race/CarCatalog.h"
#include "QVX/race/HumanRacer.h"
#include "QVX/race/Player.h"
#include "QVX/race/RaceDisplay.h"
#include "QVX/race/RaceField.h"
#include "QVX/race/RaceFrame.h"
#include "QVX/race/RaceSession.h"
#include "QVX/race/Simulation.h"
#include "QVX/race/Track.h"
#include "QVX/race/TrackCars.h"
#include "QVX/race/WeatherDatabase.h"
#include "QVX/shell/Content.h"
#include "QVX/shell/DataPaths.h"
#include "QVX/shell/KeywordDetector.h"
#include "QVX/shell/Program.h"
#include "QVX/shell/ProgramNetwork.h"
#include "QVX/shell/RaceRun.h"
#include "Zentri/devices/display/VQCanvas.h"
#include "Zentri/devices/display/VQDisplayDevice.h"
#include "Zentri/devices/sound/VQSoundDevice.h"
#include "Zentri/devices/VQDevice.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/scene/VQViewport.h"

namespace {

constexpr float kResultsWait = 60.0f;     // race seconds the others get after the humans finished
constexpr float kComputerEndWait = 3.0f;  // a computer-only race ends this long after its finish
constexpr int32_t kResultsPage = 22;
constexpr int32_t kStandingsPage = 23;
constexpr int32_t kLoadingPage = 28;
constexpr uint32_t kItemResume = 162;
constexpr int32_t kItemFinish = 120;  // the results page's "finish": on to the podium

}  // namespace

// Everything one race set-up holds, from loading to teardown.
struct RaceRunData {
  Program* program = nullptr;
  int32_t mode = GAMEMODE_SINGLE;
  uint32_t trackIndex = 0;
  std::string trackName, weather, className;
  int32_t classIndex = 0;
  uint32_t laps = 1;
  std::unique_ptr<RaceSession> session;
  TrackServices services;
  float step = 1.0f / 60.0f;
  std::vector<std::unique_ptr<HumanRacer>> humans;
  std::vector<uint32_t> computerRecords;  // AI record index per computer participant
  // The local cars' paints (display textures made for this race), released at teardown.
  std::vector<VQTexture*> paints;
  // The views of the race (made once the race is loaded, released once, at teardown) and the
  // canvas hooks they replace while they draw.
  std::unique_ptr<RaceDisplay> display;
  VQCanvasCallback savedHooks[3] = {};
  uintptr_t savedWords[3] = {};
  bool hooksSaved = false;
  LoadingDots dots;
  RaceLoader loader;
  bool loaded = false;
  bool handlerPushed = false;
  bool resultsShown = false;
  bool podium = false;
  float humansDoneAt = -1.0f;
  float finishedAt = -1.0f;
  std::string error;
};

namespace {

uint32_t ClampIndex(int32_t value, uint32_t count) {
  return count == 0 || value < 0 ? 0 : std::min<uint32_t>(uint32_t(value), count - 1);
}

Player* FirstPlayer(Program& p) { return p.m_playerCount > 0 ? p.m_players[0] : nullptr; }

uint32_t LocalCount(int32_t mode) {
  return mode == GAMEMODE_SPLIT ? 2 : (mode == GAMEMODE_AI_ONLY ? 0 : 1);
}

// The weather variant of the race: the profile's choice, the last entry (and a negative
// championship choice) drawing one at random, and an index past the list falling back to 0.
std::string PickWeather(Program& p, uint32_t track, int32_t chosen, bool championship) {
  if (!p.m_weather || track >= p.m_weather->m_trackVariants.size()) return "";
  std::vector<std::string> names;
  for (const TrackWeatherVariant& v : p.m_weather->m_trackVariants[track])
    if (!v.name.empty()) names.push_back(v.name);
  if (names.empty()) return "";
  const int32_t count = int32_t(names.size());
  int32_t v = chosen;
  const bool random = championship ? chosen < 0 : chosen >= count;  // the menu's last: random
  if (random) v = std::rand() % count;
  if (v < 0 || v + 1 > count) v = 0;
  return names[size_t(v)];
}

// Computer drivers of the field, by game mode, as AI record indices in grid order.
std::vector<uint32_t> PickField(Program& p, RaceRunData& r, std::string* error) {
  std::vector<FieldEntry> entries(p.m_aiDrivers.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    AIParameters a;
    AIParameters_FromRecord(p.m_aiDrivers[i].bytes, &a);
    entries[i].raceClass = a.raceClass;
    entries[i].time = r.trackIndex < AIPARAM_TRACK_TIMES ? a.referenceTimes[r.trackIndex] : 50.0f;
  }
  std::vector<uint32_t> out;
  Player* p1 = FirstPlayer(p);
  if (r.mode == GAMEMODE_AI_ONLY) {
    std::vector<int32_t> picked;
    if (!RaceField_PickAIOnly(entries, r.classIndex, &picked, error)) return out;
    for (int32_t i : picked) out.push_back(uint32_t(i));
  } else if (r.mode == GAMEMODE_SINGLE && p1) {
    const PlayerProfile& pr = p1->m_profile;
    const float own = Championship::RecordAverage(pr.race_records[ClampIndex(
        r.classIndex, PROFILE_MAX_CLASSES)][r.trackIndex % PROFILE_MAX_TRACKS]);
    const int32_t base = r.classIndex >= FIELD_BASE_CLASSES ? 0 : r.classIndex;
    for (int32_t i : RaceField_PickRace(entries, r.classIndex, base, own, pr.normal_racetype,
                                        std::clamp(pr.normal_opponents, 0, 7)))
      out.push_back(uint32_t(i));
  } else if (r.mode == GAMEMODE_CHAMPIONSHIP && p1) {
    // The standings' computer drivers in table order, the player's slot last.
    std::vector<int32_t> table;
    for (uint32_t k = 1; k < p.m_championship.EntryCount(); ++k)
      table.push_back(int32_t(p.m_championship.Entry(k).driver));
    table.push_back(-1);
    const int32_t n = std::clamp(p1->m_profile.champ_opponents, 0, 7);
    for (int32_t i : RaceField_PickChampionship(table, n, p.m_aiDrivers.size()))
      out.push_back(uint32_t(i));
    p.m_championship.m_gridBuilt = 1;
  }
  return out;
}

// The participant a view follows: the local player's car, or (a race of computer drivers)
// the leader.
uint32_t FollowedParticipant(RaceRunData& r, uint32_t view) {
  RaceSession& race = *r.session;
  const uint32_t computers = uint32_t(r.computerRecords.size());
  Track& t = race.GetTrack();
  const bool podium = t.m_state == RACE_STATE_PODIUM;
  if (view < r.humans.size() && !(podium && view == 0)) {
    // Other machines' cars may sit before the local ones in a network race: find the own car.
    for (uint32_t i = 0; i < race.ParticipantCount(); ++i)
      if (race.GetRacer(i) == r.humans[view].get()) return i;
    return computers + view;
  }
  const RaceTrackerEntry* leader = t.m_tracker ? t.m_tracker->FindEntryByPosition(1) : nullptr;
  for (uint32_t i = 0; leader && i < race.ParticipantCount(); ++i)
    if (race.GetRacer(i) == leader->car) return i;
  return view < r.humans.size() ? computers + view : 0;
}

// The final table of the race, in position order.
std::vector<ChampParticipant> CollectParticipants(Program& p, RaceRunData& r) {
  std::vector<ChampParticipant> out;
  Track& t = r.session->GetTrack();
  for (uint32_t i = 0; i < t.m_playerCount; ++i) {
    TrackRacer* racer = t.m_players[i];
    const RaceTrackerEntry* e = t.m_tracker ? t.m_tracker->FindEntry(racer) : nullptr;
    ChampParticipant c;
    c.name = racer->GetName();
    c.type = racer->GetDriverType() == TRACK_DRIVER_HUMAN ? CHAMPPART_HUMAN : CHAMPPART_COMPUTER;
    c.classIndex = r.classIndex;
    c.grid = i + 1;
    if (e) {
      c.position = e->position;
      c.finished = e->finished;
      c.time = e->carRaceTime;
      c.laps = e->laps > 0 ? e->laps - 1 : 0;
    }
    // Computer participants were added first, in the order of their records.
    if (c.type == CHAMPPART_COMPUTER && i < r.computerRecords.size())
      c.aiDriver = r.computerRecords[i];
    out.push_back(c);
  }
  (void)p;
  return out;
}

void WriteResultsFile(Program& p, RaceRunData& r) {
  if (p.m_options.resultsFile.empty()) return;
  Track& t = r.session->GetTrack();
  std::vector<RaceResultRow> rows;
  for (uint32_t i = 0; i < t.m_playerCount; ++i) {
    TrackRacer* racer = t.m_players[i];
    const RaceTrackerEntry* e = t.m_tracker ? t.m_tracker->FindEntry(racer) : nullptr;
    RaceResultRow row;
    row.track = r.trackName;
    row.mode = RaceRun_ModeName(r.mode);
    row.player = racer->GetName();
    row.raceClass = r.className;
    if (e) {
      row.position = e->finished ? e->position : 0;
      row.raceTime = e->finished ? e->carRaceTime : 0.0f;
      row.bestLap = float(e->bestLap.Seconds());
    }
    rows.push_back(row);
  }
  std::sort(rows.begin(), rows.end(), [](const RaceResultRow& a, const RaceResultRow& b) {
    const uint32_t pa = a.position ? a.position : 9999, pb = b.position ? b.position : 9999;
    return pa < pb;
  });
  std::string error;
  if (!RaceResults_AppendCsv(p.m_options.resultsFile, rows, &error))
    p.Log("Cannot write the race results: %s", error.c_str());
  else
    p.Log("Race results appended to '%s'", p.m_options.resultsFile.c_str());
}

void CopyResultTexts(Program& p) {
  std::snprintf(p.m_ms.resultsText[0], sizeof p.m_ms.resultsText[0], "%s",
                p.m_championship.m_othersText.c_str());
  std::snprintf(p.m_ms.resultsText[1], sizeof p.m_ms.resultsText[1], "%s",
                p.m_championship.m_ownText.c_str());
  std::snprintf(p.m_ms.resultsText[2], sizeof p.m_ms.resultsText[2], "%s",
                p.m_championship.m_notArrivedText.c_str());
}

// Scores a championship race that was driven to its end and logs what each participant's
// standings entry gained by it (the human's entry is entry 0; a computer driver without an
// entry gains nothing).
void ScoreChampionshipRace(Program& p) {
  const Championship& c = p.m_championship;
  auto entryOf = [&](const ChampParticipant& q) -> int64_t {
    if (q.type == CHAMPPART_HUMAN) return c.EntryCount() ? 0 : -1;
    for (uint32_t i = 1; i < c.EntryCount(); ++i)
      if (c.Entry(i).driver == q.aiDriver) return i;
    return -1;
  };
  std::vector<uint32_t> before;
  for (const ChampParticipant& q : p.m_raceParticipants) {
    const int64_t e = entryOf(q);
    before.push_back(e < 0 ? 0 : c.Entry(uint32_t(e)).points);
  }
  p.ScoreRace(false, false);
  for (size_t i = 0; i < p.m_raceParticipants.size(); ++i) {
    const ChampParticipant& q = p.m_raceParticipants[i];
    const int64_t e = entryOf(q);
    p.Log("Championship race scored: place %u %s%s, %u points", q.position, q.name.c_str(),
          q.type == CHAMPPART_HUMAN ? " (player)" : "",
          e < 0 ? 0u : c.Entry(uint32_t(e)).points - before[i]);
  }
}

// The race is over for the players: results (and scoring) once.
void OnRaceFinished(Program& p, RaceRunData& r) {
  if (r.resultsShown) return;
  r.resultsShown = true;
  p.m_raceParticipants = CollectParticipants(p, r);
  for (const ChampParticipant& c : p.m_raceParticipants)
    p.Log("Race result: %u %s%s %.2f", c.position, c.name.c_str(), c.finished ? "" : " (running)",
          double(c.time));
  WriteResultsFile(p, r);
  if (r.mode == GAMEMODE_AI_ONLY) return;  // the computers' race ends by itself
  if (r.mode == GAMEMODE_CHAMPIONSHIP) {
    ScoreChampionshipRace(p);
  } else if (r.mode == GAMEMODE_SINGLE) {
    p.ScoreRace(false, false);
  }
  p.FillRaceResults();
  CopyResultTexts(p);
  if (!p.m_menu) return;
  if (r.mode == GAMEMODE_CHAMPIONSHIP) {
    p.m_championship.m_scroll = -1;
    p.FillStandings();
    CopyResultTexts(p);
    p.Log("Championship standings: %u points, place %u", p.m_championship.Entry(0).points,
          p.m_championship.HumanPosition());
    p.m_menu->ShowPage(kStandingsPage);
  } else {
    p.m_menu->ShowPage(kResultsPage);
  }
}

// The end of a race from its results page: lap tracking stops, a paused race goes on, and the
// first three cars stand on the podium, where the first view watches the winner.
void FinishRace(Program& p, RaceRunData& r) {
  if (!r.session || r.podium) return;
  r.podium = true;
  Track& t = r.session->GetTrack();
  t.StopTracker();
  if (r.session->GetSimulation().m_paused) p.Pause(false);
  t.ShowPodium();
  const uint32_t places = std::min(t.m_playerCount, t.m_podiumCount);
  p.Log("Podium: %u cars", places);
  for (uint32_t place = 1; place <= places && t.m_tracker; ++place)
    if (const RaceTrackerEntry* e = t.m_tracker->FindEntryByPosition(place))
      p.Log("Podium place %u: %s", place, e->car->GetName());
}

// ---- callbacks --------------------------------------------------------------------------------

RaceRunData* g_raceRun = nullptr;

bool MenuShown(void* user) {
  auto* p = static_cast<Program*>(user);
  return p->m_menu && p->m_menu->GetCurrentPage();
}

bool MenuBack(void* user) {
  auto* p = static_cast<Program*>(user);
  MenuPage* page = p->m_menu ? p->m_menu->GetCurrentPage() : nullptr;
  if (!page) return false;
  for (int32_t text : {1310, 1004, 100, 102})
    if (*p->Text(text) && page->ActivateByLabel(p->Text(text))) return true;
  return false;
}

void OpenRaceMenu(void* user, uint32_t raceState) {
  auto* p = static_cast<Program*>(user);
  if (!p->m_menu) return;
  p->Log("In-race menu (race state %u)", raceState);
  // The main menus' options page shares the race page's number: the race page is shown by itself.
  MenuPage* race = p->m_ms.racePage;
  if (!race) return;
  if (MenuPage* current = p->m_menu->GetCurrentPage()) current->Hide();
  if (g_raceRun && g_raceRun->session) p->m_raceParticipants = CollectParticipants(*p, *g_raceRun);
  race->Show();
  race->FocusItem(kItemResume);
  if (p->m_gameMode != GAMEMODE_NETWORK && g_raceRun && g_raceRun->session &&
      !g_raceRun->session->GetSimulation().m_paused)
    p->Pause(false);
}

const char* TextHook(void* user, uint32_t id) {
  return static_cast<Program*>(user)->Text(int32_t(id));
}

void RaceFrameCallback(uintptr_t user) {
  auto* p = reinterpret_cast<Program*>(user);
  if (!ProgramScreenFrame() || !g_raceRun || !g_raceRun->session) return;
  RaceRunData& r = *g_raceRun;
  const bool menu = MenuShown(p);
  Simulation& sim = r.session->GetSimulation();
  for (auto& h : r.humans) h->m_controlsOn = !menu && !sim.m_paused;
  r.session->Frame();
  const int32_t net = r.mode == GAMEMODE_NETWORK ? p->NetworkRaceFrame(*r.session) : NETRACE_OFF;
  if (r.display) {
    for (uint32_t v = 0; v < r.display->ViewCount(); ++v)
      r.display->Follow(v, FollowedParticipant(r, v));
    r.display->Update(sim.m_paused ? 0.0f : sim.m_frameStep);
  }
  if (r.resultsShown) {
    if (r.mode == GAMEMODE_AI_ONLY) {
      r.finishedAt += sim.m_frameStep;
      if (r.finishedAt >= kComputerEndWait) {
        p->m_sessionRequest = SESSION_RACE;
        g_VQsystem.m_stop = 1;
      }
    }
    return;
  }
  if (net == NETRACE_RESULTS || (net == NETRACE_OFF && r.session->Finished())) {
    r.finishedAt = 0.0f;
    OnRaceFinished(*p, r);
    return;
  }
  if (net != NETRACE_OFF) return;  // the network's results end it
  bool humansDone = !r.humans.empty();
  for (auto& h : r.humans) humansDone = humansDone && h->Finished();
  if (humansDone) {
    if (r.humansDoneAt < 0.0f) r.humansDoneAt = r.session->RaceTime();
    if (r.session->RaceTime() - r.humansDoneAt > kResultsWait) OnRaceFinished(*p, r);
  }
}

void LoadingFrameCallback(uintptr_t user) {
  auto* p = reinterpret_cast<Program*>(user);
  if (!ProgramScreenFrame() || !g_raceRun) return;
  RaceRunData& r = *g_raceRun;
  r.dots.Step(p->m_options.fixedStep > 0.0f ? p->m_options.fixedStep : g_VQsystem.GetFrameTime(0));
  if (MenuPage* page = p->m_menu ? p->m_menu->GetCurrentPage() : nullptr) {
    const std::string title = r.dots.Title(p->Text(3800));
    std::snprintf(p->m_ms.loadingTitle, sizeof p->m_ms.loadingTitle, "%s", title.c_str());
    page->SetTitle(p->m_ms.loadingTitle);
  }
  // The loader's atomic flag hands control back; the stop byte is set here, on this thread.
  if (r.loader.Finished())
    g_VQsystem.m_stop = 1;
  else if (p->m_options.fixedStep <= 0.0f)
    ::usleep(100000);
}

// The race's own menu items beyond the shell's: the results page's finish.
bool RaceMenuEvent(Program& p, MenuPage* page, MenuItem* item, uint32_t event) {
  if (!page || !item || page->m_id != kResultsPage || item->id != kItemFinish) return false;
  if (event == MENU_ACTIVATE && g_raceRun) FinishRace(p, *g_raceRun);
  return true;
}

// ---- loading ----------------------------------------------------------------------------------

// A local player's car: the race's class with the paint of the profile's colour (the class's
// skin of that index; the model's own paint when the class has none) and the player's number.
CarSetup PlayerCarSetup(Program& p, RaceRunData& r, const Player& player) {
  CarSetup setup;
  setup.carName = r.className.c_str();
  setup.computer = false;
  setup.number = player.m_profile.number > 0 ? player.m_profile.number : 1;
  setup.detail = player.m_profile.highDetailModel ? 2 : 1;
  setup.manual = player.m_profile.manual != 0;
  const RacingClass* cls =
      r.classIndex >= 0 && uint32_t(r.classIndex) < p.m_classCount ? p.m_classes[r.classIndex]
                                                                    : nullptr;
  const int32_t colour = r.mode == GAMEMODE_CHAMPIONSHIP ? player.m_profile.champ_color
                                                         : player.m_profile.normal_color;
  if (cls && !cls->m_skins.empty()) {
    // The chosen skin, with the player's race number painted on where the skin asks for it.
    setup.paint = p.MakeRaceCarPaint(uint32_t(r.classIndex),
                                     ClampIndex(colour, uint32_t(cls->m_skins.size())),
                                     setup.number);
  }
  return setup;
}

// Everything the loader does: the session (track, weather, cameras, course), the computer
// drivers and the local players' cars. Touches only r (and reads the Program's tables, which
// the main thread does not change while it only animates the loading page).
void LoadRace(Program& p, RaceRunData& r) {
  auto race = std::make_unique<RaceSession>();
  r.services = TrackServices_FromProgram(p);
  RaceSessionConfig c;
  c.services = &r.services;
  c.display = p.m_displayDevice;
  c.software = p.m_softwareDevice;
  c.tracksFolder = r.services.tracksFolder;
  // The data folder holds the track folder.
  c.dataFolder = c.tracksFolder;
  std::replace(c.dataFolder.begin(), c.dataFolder.end(), '\\', '/');
  const size_t slash = c.dataFolder.find_last_of('/');
  if (slash != std::string::npos) c.dataFolder.resize(slash);
  c.track = r.trackName;
  c.weather = r.weather;
  c.gameMode = r.mode == GAMEMODE_AI_ONLY ? GAME_MODE_COMPUTERS : r.mode;
  c.laps = std::clamp<uint32_t>(r.laps, 1, 100);
  c.detail = TRACK_DETAIL_LOW;
  c.frameStep = std::clamp(r.step, 0.001f, 0.1f);
  // The race's own random numbers follow the program's (seeded by --seed).
  c.seed = uint32_t(std::rand()) + 1u;
  c.carClass = r.className;
  c.sound = static_cast<VQSoundDevice*>(p.m_soundDevice);
  RaceHooks& h = c.hooks;
  h.user = &r;
  h.error = [](void* user, const char* text) {
    auto* run = static_cast<RaceRunData*>(user);
    if (run->error.empty()) run->error = text;
  };
  h.log = [](void* user, const char* text) {
    static_cast<RaceRunData*>(user)->program->Log("%s", text);
  };
  h.raceEvent = [](void* user, int32_t event, TrackRacer* racer, int32_t argument) {
    auto* run = static_cast<RaceRunData*>(user);
    const char* name = racer ? racer->GetName() : "";
    if (event == RACE_EVENT_GREEN) run->program->Log("Green light");
    if (event == RACE_EVENT_LAP) run->program->Log("Lap: %s", name);
    if (event == RACE_EVENT_FINISHED) run->program->Log("Finished: %s, place %d", name, argument);
    // No progress for a whole long lap: the car is put back onto the line.
    if (event != RACE_EVENT_LONG_LAP) return;
    for (auto& human : run->humans)
      if (human.get() == racer) human->Rescue();
  };
  if (!race->Load(c)) {
    if (r.error.empty()) r.error = race->m_error;
    return;
  }
  Track& t = race->GetTrack();
  t.m_trackNumber = r.trackIndex;
  if (r.mode == GAMEMODE_PRACTICE)
    t.SetStartCameras(race->GetSimulation().FindCamera("towerpractice"),
                      race->GetSimulation().FindCamera("follow"));
  std::string why;
  std::vector<uint32_t> field = PickField(p, r, &why);
  if (!why.empty()) p.Log("Race field: %s", why.c_str());
  // Who goes onto the track and in which order (the track gives the grid places in that order).
  // The other machines' cars of a network race are put before and after the own one by their
  // start slots.
  std::vector<int32_t> computers;
  for (uint32_t record : field)
    if (record < p.m_aiDrivers.size()) computers.push_back(int32_t(record));
  const std::vector<FieldSlot> order = RaceField_Order(r.mode, computers, {}, 0);
  const bool net = r.mode == GAMEMODE_NETWORK;
  bool computersAdded = false;
  // Called once, when the last computer driver is on the track.
  const auto endOfComputers = [&]() {
    if (computersAdded) return true;
    computersAdded = true;
    p.Log("Computer drivers of this field: %zu", r.computerRecords.size());
    return !net || p.AddNetworkRacers(*race, r.trackName, r.className, true, &r.error);
  };
  CarCatalog* catalog = race->GetCarCatalog();
  TrackCarEnvironment* environment = race->GetCarEnvironment();
  for (const FieldSlot& slot : order) {
    if (slot.kind == FIELD_COMPUTER) {
      const uint32_t record = uint32_t(slot.index);
      AIParameters a;
      AIParameters_FromRecord(p.m_aiDrivers[record].bytes, &a);
      if (!race->AddComputer(a)) {
        p.Log("Computer driver %u stays out: %s", record, race->m_error.c_str());
        continue;
      }
      r.computerRecords.push_back(record);
      continue;
    }
    if (slot.kind != FIELD_LOCAL) continue;
    if (!endOfComputers()) return;
    const uint32_t i = uint32_t(slot.index);
    if (i >= p.m_playerCount) continue;
    if (!catalog || !environment) {
      r.error = "Cannot find the model data of car '" + r.className + "'";
      return;
    }
    Player* player = p.m_players[i];
    CarSetup setup = PlayerCarSetup(p, r, *player);
    if (setup.paint) r.paints.push_back(setup.paint);
    auto human = std::make_unique<HumanRacer>(player, catalog, environment, setup,
                                              &race->GetCourse(), int32_t(i));
    if (!race->AddRacer(human.get(), &human->Follower()) || !human->HasCar()) {
      const std::string why = human->GetCar().GetError();
      r.error = !why.empty()            ? why
                : race->m_error.empty() ? std::string("the car of '") + player->m_name +
                                              "' cannot be made"
                                        : race->m_error;
      return;
    }
    p.Log("Car of '%s': class '%s', paint %s, number %d, %s gearbox", player->m_name,
          r.className.c_str(), setup.paint ? "of the profile" : "of the model", setup.number,
          player->m_profile.manual ? "manual" : "automatic");
    human->m_steerAssist = p.m_options.steerAssist;
    r.humans.push_back(std::move(human));
  }
  if (!endOfComputers()) return;
  if (net && !p.AddNetworkRacers(*race, r.trackName, r.className, false, &r.error)) return;
  if (t.m_playerCount == 0) {
    r.error = "The race has no driver";
    return;
  }
  r.session = std::move(race);
  r.loaded = true;
}

// The race's views on the game window: one, or two as a split screen, each with its HUD and
// track map, over the cars' shadows and the weather's rain.
void CreateViews(Program& p, RaceRunData& r) {
  if (!p.m_canvas || !p.m_canvas->m_device) return;
  RaceDisplayOptions o;
  o.views = r.mode == GAMEMODE_SPLIT && r.humans.size() >= 2 ? 2 : 1;
  char folder[DATAPATH_MAX_PATH];
  if (GetDataFolderPath(folder, DATAFOLDER_MAPS_HIGH)) o.fontFolder = folder;
  VQCanvas& canvas = *p.m_canvas;
  r.savedHooks[0] = canvas.m_preFrame;
  r.savedHooks[1] = canvas.m_postScene;
  r.savedHooks[2] = canvas.m_lastCallback;
  r.savedWords[0] = canvas.m_preFrameWord;
  r.savedWords[1] = canvas.m_postSceneWord;
  r.savedWords[2] = canvas.m_lastWord;
  r.hooksSaved = true;
  r.display = std::make_unique<RaceDisplay>();
  if (!r.display->Init(r.session.get(), &canvas, o)) {
    p.Log("Race views: none (%s)", r.display->m_error.c_str());
    r.display.reset();
    return;
  }
  for (uint32_t v = 0; v < r.display->ViewCount(); ++v)
    r.display->Follow(v, FollowedParticipant(r, v));
  r.display->Update(0.0f);
  p.Log("Race views: %u", r.display->ViewCount());
}

// One teardown for every way out of a race.
void Teardown(Program& p, RaceRunData& r) {
  if (p.m_keywordDetector) p.m_keywordDetector->Detach();
  if (r.handlerPushed && p.m_keyboard) p.m_keyboard->RemoveHandler(RaceFrame::KeyHandler);
  r.handlerPushed = false;
  // The views go before the track they show.
  if (r.display) r.display->Release();
  r.display.reset();
  if (r.hooksSaved && p.m_canvas)
    p.m_canvas->SetCallbacks(r.savedHooks[0], r.savedWords[0], r.savedHooks[1], r.savedWords[1],
                             r.savedHooks[2], r.savedWords[2]);
  r.hooksSaved = false;
  if (r.mode == GAMEMODE_NETWORK) p.ReleaseLeftNetworkCars();
  if (r.session) {
    r.session->GetSimulation().SetTimeScale(1.0f);
    Track& t = r.session->GetTrack();
    t.RemoveAllPlayers();
  }
  r.humans.clear();
  r.session.reset();
  // The cars that wore the paints are gone with the session.
  for (VQTexture* paint : r.paints)
    if (p.m_textureManager) p.m_textureManager->Release(paint);
  r.paints.clear();
  if (r.mode == GAMEMODE_NETWORK) p.EndNetworkRace();
  // Both local players' profiles keep what the race changed.
  for (uint32_t i = 0; i < 2 && i < p.m_playerCount && i < LocalCount(r.mode); ++i) {
    if (i == 1 && p.m_players[1]->m_profileIndex == p.m_players[0]->m_profileIndex) break;
    if (p.m_players[i]->m_type == PLAYER_HUMAN && !p.m_players[i]->Save(true))
      p.Log("Cannot save profile '%s'", p.m_players[i]->m_name);
  }
  if (p.m_menu) p.m_menu->HideAllPages();
  if (p.m_mainViewport) p.m_mainViewport->m_active = 1;
  g_VQsystem.m_updateCallback = nullptr;
}

}  // namespace

bool Program::RunRace() {
  if (!BuildMenus() || !BuildRaceMenus()) return false;
  Log("Race in game mode %d", m_gameMode);
  Log("Race start: %u keyboard handlers", m_keyboard ? m_keyboard->m_handlerCount : 0u);
  auto run = std::make_unique<RaceRunData>();
  RaceRunData& r = *run;
  r.program = this;
  r.mode = m_gameMode >= GAMEMODE_PRACTICE && m_gameMode <= GAMEMODE_NETWORK ? m_gameMode
                                                                             : GAMEMODE_SINGLE;
  Player* p1 = FirstPlayer(*this);
  if (m_trackCount == 0 || (r.mode != GAMEMODE_AI_ONLY && !p1)) {
    Error("No race can start: %s", m_trackCount == 0 ? "no track" : "no player");
    if (m_menu) m_menu->HideAllPages();
    m_menuReturnPage = 1;
    return true;
  }
  const PlayerProfile* pr = p1 ? &p1->m_profile : nullptr;
  const bool champ = r.mode == GAMEMODE_CHAMPIONSHIP;
  int32_t track = r.mode == GAMEMODE_AI_ONLY ? int32_t(m_ms.currentTrack)
                  : champ                    ? pr->champ_weekend
                                             : pr->normal_track;
  r.trackIndex = ClampIndex(track, m_trackCount);
  r.trackName = m_tracks[r.trackIndex].name;
  int32_t weather = r.mode == GAMEMODE_AI_ONLY ? 1 << 30  // random
                    : champ ? pr->champ_weather_idxs[r.trackIndex % PROFILE_CHAMP_WEATHERS]
                            : pr->normal_weather;
  r.weather = PickWeather(*this, r.trackIndex, weather, champ);
  int32_t hostWeather = -1;
  if (r.mode == GAMEMODE_NETWORK && NetworkRaceWeather(&hostWeather) && m_weather &&
      r.trackIndex < m_weather->m_trackVariants.size()) {
    // The host's weather (an entry of the track's list), so every machine races in the same.
    const auto& variants = m_weather->m_trackVariants[r.trackIndex];
    if (hostWeather >= 0 && size_t(hostWeather) < variants.size() &&
        !variants[size_t(hostWeather)].name.empty())
      r.weather = variants[size_t(hostWeather)].name;
  }
  r.classIndex =
      int32_t(ClampIndex(pr ? (champ ? pr->champ_frame : pr->normal_frame) : 0, m_classCount));
  r.className = m_classCount ? m_classes[r.classIndex]->m_name : "";
  r.laps = r.mode == GAMEMODE_AI_ONLY || champ
               ? 1
               : m_raceLengths[ClampIndex(pr->normal_length, PROGRAM_RACE_LENGTHS)];
  r.step = m_options.fixedStep > 0.0f ? m_options.fixedStep : 1.0f / 60.0f;
  Log("Race set-up: track '%s', weather '%s', class '%s', %u laps", r.trackName.c_str(),
      r.weather.c_str(), r.className.c_str(), r.laps);

  // Loading: on a loader thread with the Direct3D device (the main thread only animates the
  // loading page), on this thread otherwise.
  g_raceRun = &r;
  const bool threaded = strcasecmp(m_config.displayDeviceType, "direct3d") == 0;
  if (r.loader.Start([this, &r] { LoadRace(*this, r); }, threaded)) {
    Log("Race loading on the loader thread");
    g_VQsystem.m_updateCallback = LoadingFrameCallback;
    g_VQsystem.m_updateUserData = reinterpret_cast<uintptr_t>(this);
    g_VQsystem.Run();
    const bool closed = !r.loader.Finished();
    r.loader.Join();
    if (closed) m_quit = m_ms.closed = 1;
  }
  r.loader.Join();
  if (!r.loaded) {
    if (!m_quit) Error("%s", r.error.empty() ? "The race cannot be loaded" : r.error.c_str());
    Teardown(*this, r);
    g_raceRun = nullptr;
    Log("Race teardown: %u keyboard handlers, %u textures",
        m_keyboard ? m_keyboard->m_handlerCount : 0u,
        m_textureManager ? m_textureManager->m_count : 0u);
    m_menuReturnPage = 1;
    return true;
  }
  Log("Race loaded: %u cars", r.session->GetTrack().m_playerCount);

  if (m_menu) m_menu->HideAllPages();
  if (m_mainViewport) m_mainViewport->m_active = 0;
  CreateViews(*this, r);
  RaceFrame& k = r.session->GetFrame();
  k.m_simulation = &r.session->GetSimulation();
  k.m_track = &r.session->GetTrack();
  k.m_canvas = m_canvas;
  k.m_display = m_displayDevice;
  k.m_gameMode = r.mode;
  k.m_dataRoot = ".";
  k.m_hooks.user = this;
  k.m_hooks.menuShown = MenuShown;
  k.m_hooks.menuBack = MenuBack;
  k.m_hooks.openRaceMenu = OpenRaceMenu;
  k.m_hooks.text = [](void* u, uint32_t id) { return TextHook(u, id); };
  if (m_keyboard)
    r.handlerPushed =
        m_keyboard->PushHandler(RaceFrame::KeyHandler, reinterpret_cast<uintptr_t>(&k));
  if (m_keywordDetector && m_keyboard) m_keywordDetector->Attach(m_keyboard);
  if (m_canvas) m_canvas->Show(true);
  m_raceRunning = 1;
  m_raceSession = r.session.get();
  ApplyRaceVolumes();

  // Rounds until the players leave (0) or quit (3).
  bool first = true;
  for (;;) {
    if (!first) {
      // A new round: the same field back on the grid.
      r.resultsShown = r.podium = false;
      r.humansDoneAt = r.finishedAt = -1.0f;
    }
    first = false;
    if (!r.session->Start()) {
      Error("%s", r.session->m_error.c_str());
      m_sessionRequest = SESSION_RACE;
      break;
    }
    Log("Race round starts");
    m_sessionRequest = -1;
    g_VQsystem.m_updateCallback = RaceFrameCallback;
    g_VQsystem.m_updateUserData = reinterpret_cast<uintptr_t>(this);
    g_VQsystem.Run();
    if (!g_VQsystem.m_stop) m_quit = m_ms.closed = 1;  // the window was closed
    r.session->GetSimulation().Stop();
    if (m_quit) break;
    const RaceLoopAction next = RaceLoop_Next(
        m_sessionRequest, r.mode, m_ms.restartRebuildsGrid != 0, pr ? pr->champ_race : 0);
    if (next == RACELOOP_MENUS) break;
    if (next == RACELOOP_QUIT) {
      m_quit = 1;
      break;
    }
    if (r.session->GetSimulation().m_paused) r.session->GetSimulation().Pause(false);
    if (m_menu) m_menu->HideAllPages();
    Log("Race restart%s", next == RACELOOP_NEW_GRID ? " with a new grid" : "");
  }
  Log("Race ends");
  m_raceRunning = 0;
  m_raceSession = nullptr;
  Teardown(*this, r);
  g_raceRun = nullptr;
  Log("Race teardown: %u keyboard handlers, %u textures",
      m_keyboard ? m_keyboard->m_handlerCount : 0u,
      m_textureManager ? m_textureManager->m_count : 0u);
  m_menuReturnPage = 1;
  return true;
}

MenuArea RaceRun_MenuArea() {
  MenuArea area;
  area.name = "race";
  area.onEvent = RaceMenuEvent;
  return area;
}

void Program::ApplyRaceVolumes() {
  if (m_raceSession)
    m_raceSession->SetVolumes(m_volumeCars, m_volumeAmbient, m_volumeComment, m_volumeMaster);
}

void Program::Pause(bool withMessage) {
  if (!g_raceRun || !g_raceRun->session) return;
  g_raceRun->session->GetFrame().Pause(withMessage);
  Log("Race %s", g_raceRun->session->GetSimulation().m_paused ? "paused" : "resumed");
}
