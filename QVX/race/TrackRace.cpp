// The track's racers (list, grid, pit and podium places, colliders) and its race update: the
// physics sub-steps, lap tracking, the start sequence with countdown and start lights, the
// timed race with its warnings, the finish and the podium.
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "QVX/race/RaceField.h"
#include "QVX/race/Simulation.h"
#include "QVX/race/Track.h"
#include "Zentri/collision/VQCollisionWorld.h"
#include "Zentri/collision/VQTerrainTree.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"

namespace {
constexpr float kPi = 3.14159265358979f;
constexpr float kProgressInterval = 0.2f;

float HeadingOf(const VQVector& d) { return std::atan2(d.y, d.x) - kPi / 2.0f; }

// Message texts of the race (message-string identifiers).
enum RaceText : uint32_t {
  TEXT_TIME_UP = 200,
  TEXT_LAP_MISSED = 199,
  TEXT_TWO_MINUTES = 208,
  TEXT_ONE_MINUTE = 209
};
}  // namespace

// ---- racers ------------------------------------------------------------------------------------

void Track::PlaceRacer(TrackRacer* racer, uint32_t n, int32_t gameMode) {
  const TrackPoint* points = gameMode == GAME_MODE_PRACTICE ? m_pit : m_grid;
  const uint32_t count = gameMode == GAME_MODE_PRACTICE ? m_pitCount : m_gridCount;
  VQVector at(5.0f * float(n), 0.0f, 0.0f);
  float heading = 0.0f;
  if (n < count) {
    at = points[n].position;
    heading = HeadingOf(points[n].direction);
  } else if (count > 0) {
    // More racers than places: the rows continue behind the last ones instead of leaving the
    // car somewhere off the track.
    std::vector<GridPlace> grid;
    for (uint32_t k = 0; k < count; ++k)
      grid.push_back({VQVector2(points[k].position.x, points[k].position.y),
                      VQVector2(points[k].direction.x, points[k].direction.y)});
    const std::vector<GridPlace> places = RaceField_GridPlaces(grid, n + 1);
    at = VQVector(places[n].position.x, places[n].position.y, points[count - 1].position.z);
    heading = HeadingOf(VQVector(places[n].direction.x, places[n].direction.y, 0.0f));
  }
  const float h =
      m_terrain ? m_terrain->GetHeight(VQVector(at.x, at.y, at.z + 2.0f), nullptr, nullptr, nullptr)
                : VQTERRAIN_NO_GROUND;
  at.z = h >= VQTERRAIN_NO_GROUND ? 0.0f : h;
  racer->PlaceAtStart(at, heading);
}

bool Track::AddPlayer(TrackRacer* racer, int32_t gameMode) {
  if (!racer || m_playerCount >= TRACK_MAX_PLAYERS) return false;
  const uint32_t n = m_playerCount;
  m_players[m_playerCount++] = racer;
  if (gameMode >= GAME_MODE_PRACTICE && gameMode <= GAME_MODE_NETWORK)
    PlaceRacer(racer, n, gameMode);
  if (m_scene) m_scene->BoundsChanged();
  // A car beyond the collision world's 40 bodies races without collisions. A racer whose car
  // joined the world when it was made is not added twice.
  if (VQVehicleModel* body = racer->GetVehicle(); body && m_world) {
    bool held = false;
    for (uint32_t i = 0; i < m_world->GetBodyCount() && !held; ++i)
      held = m_world->GetBody(i) == body;
    if (!held) m_world->AddBody(body);
  }
  return true;
}

void Track::RemovePlayer(TrackRacer* racer) {
  for (uint32_t i = 0; i < m_playerCount; ++i) {
    if (m_players[i] != racer) continue;
    if (VQVehicleModel* body = racer->GetVehicle(); body && m_world) m_world->RemoveBody(body);
    if (m_tracker) m_tracker->RemoveCar(racer);
    racer->ReleaseCar();
    for (uint32_t k = i; k + 1 < m_playerCount; ++k) m_players[k] = m_players[k + 1];
    m_players[--m_playerCount] = nullptr;
    break;
  }
  if (m_scene) m_scene->BoundsChanged();
}

void Track::RemoveAllPlayers() {
  const uint32_t n = m_playerCount;
  for (uint32_t i = 0; i < n; ++i) RemovePlayer(m_players[0]);
}

TrackRacer* Track::NextPlayer(const TrackRacer* racer, bool wrap) const {
  for (uint32_t i = 0; i < m_playerCount; ++i) {
    if (m_players[i] != racer) continue;
    if (i + 1 < m_playerCount) return m_players[i + 1];
    return wrap ? m_players[0] : nullptr;
  }
  return nullptr;
}

TrackCollider* Track::AddCollider(const VQVector2& a, const VQVector2& b, uint32_t id) {
  if (m_colliderCount >= TRACK_MAX_COLLIDERS) return nullptr;  // the list holds 50
  auto* c = new (std::nothrow) TrackCollider;
  if (!c) return nullptr;
  c->a = a;
  c->b = b;
  c->id = id;
  m_colliders[m_colliderCount++] = c;
  return c;
}

void Track::RemoveCollider(TrackCollider* record) {
  for (uint32_t i = 0; i < m_colliderCount; ++i) {
    if (m_colliders[i] != record) continue;
    delete record;
    for (uint32_t k = i; k + 1 < m_colliderCount; ++k) m_colliders[k] = m_colliders[k + 1];
    m_colliders[--m_colliderCount] = nullptr;
    return;
  }
}

bool Track::RegisterCameras(Simulation* simulation) {
  if (!simulation) return false;
  // Every view needs a camera: a race on a track without one cannot be shown, so it does not
  // start.
  if (m_cameraCount == 0) {
    Report("No cameras defined! (Need at least one)");
    return false;
  }
  for (uint32_t i = 0; i < m_cameraCount; ++i)
    if (!simulation->AddCamera(m_cameras[i])) return false;
  return true;
}

void Track::SetLight(VQMaterial* light, bool on) {
  if (!light) return;
  if (on)
    light->m_emission = VQColor(light->m_diffuse.r * 5.0f, light->m_diffuse.g * 5.0f,
                                light->m_diffuse.b * 5.0f, light->m_emission.a);
  else
    light->m_emission = VQColor(0, 0, 0, light->m_emission.a);
}

void Track::SetState(uint32_t state) {
  m_state = state;
  m_stateTime = 0.0f;
}

void Track::PrepareRace(bool grid) {
  if (m_podiumGroup && m_podiumGroup->m_parent == m_main && m_main)
    m_main->RemoveChild(m_podiumGroup);
  const int32_t mode = m_services.gameMode;
  SetState(mode == GAME_MODE_SINGLE || mode == GAME_MODE_CHAMPIONSHIP || mode == GAME_MODE_NETWORK
               ? RACE_STATE_WAITING
           : mode == GAME_MODE_SPLIT || mode == GAME_MODE_COMPUTERS ? RACE_STATE_START
                                                                    : RACE_STATE_NONE);
  m_remainingMark = float(m_raceLength) * 60.0f;
  if (m_tracker) {
    m_tracker->m_positionBase = 0;
    m_tracker->Stop();
    m_tracker->ResetAll();
  }
  for (uint32_t i = 0; i < m_playerCount; ++i) m_players[i]->PrepareRace(grid, i);
  m_finishedCount = 0;
  m_resultsRequest = m_resultsRefresh = m_winnerMarks[0] = m_winnerMarks[1] = 0;
  m_progressTimer = 1.0f;
  m_nextCameraSwitch = 30.0f;
  SetLight(m_red, false), SetLight(m_orange, false), SetLight(m_green, false);
  m_blink = 0;
  m_countdownImage = -1;
  if (m_services.startAtOnce) {
    SetState(RACE_STATE_RACING);
    if (m_tracker) m_tracker->Start(m_simulation ? m_simulation->m_raceTime : m_currentTime);
    for (uint32_t i = 0; i < m_playerCount; ++i) m_players[i]->BeginRace();
  }
}

void Track::PreparePractice(bool flag) {
  SetLight(m_red, false), SetLight(m_orange, false), SetLight(m_green, true);
  m_blinkLight = m_green;
  m_blinkTime = 0.0f;
  m_blinkPhase = 1;
  m_blink = 1;
  m_countdownImage = -1;
  if (m_tracker) {
    m_tracker->m_positionBase = 0;
    m_tracker->ResetAll();
    m_tracker->Start(m_simulation ? m_simulation->m_raceTime : m_currentTime);
  }
  m_stateTime = 0.0f;
  m_resultsRequest = m_resultsRefresh = 0;
  m_progressTimer = 1.0f;
  for (uint32_t i = 0; i < m_playerCount; ++i) m_players[i]->PreparePractice(flag);
}

void Track::StopTracker() {
  if (m_tracker) m_tracker->Stop();
}

void Track::ShowPodium() {
  const uint32_t c = m_playerCount < m_podiumCount ? m_playerCount : m_podiumCount;
  SetLight(m_red, false), SetLight(m_orange, false), SetLight(m_green, false);
  m_blink = 0;
  for (uint32_t p = 1; p <= c && m_tracker; ++p) {
    RaceTrackerEntry* e = m_tracker->FindEntryByPosition(p);
    if (!e) continue;
    VQVector at = m_podium[p - 1].position;
    at.z = GroundHeightAt(VQVector(at.x, at.y, at.z + 2.0f));
    e->car->PlaceOnPodium(p, at, HeadingOf(m_podium[p - 1].direction));
  }
  for (uint32_t i = 0; i < m_prizeCount && i < 3; ++i) {
    VQTransformNode* t = m_podiumPlaces[i];
    if (!t) continue;
    t->SetPosition(m_prize[i].position);
    t->SetRotation(VQVector(0, 0, std::atan2(m_prize[i].direction.y, m_prize[i].direction.x)));
  }
  if (m_podiumGroup && m_main && !m_podiumGroup->m_parent) m_main->AddChild(m_podiumGroup);
  m_podiumFade = 1.0f;
  m_podiumAngles[0] = -kPi / 2.0f;
  m_podiumAngles[1] = 0.0f;
  SetState(RACE_STATE_PODIUM);
}

// ---- race update -------------------------------------------------------------------------------

void Track::SetStartCameras(const TrackCameraRecord* first, const TrackCameraRecord* final) {
  m_startCameras[0] = first;
  m_startCameras[1] = final;
}

float Track::FlyInBlend(float t) {
  const float s = t * 0.5f;
  if (t < 2.0f) return s * s * 0.5f;
  if (t >= 4.0f) return 1.0f;
  return 1.0f - (2.0f - s) * (2.0f - s) * 0.5f;
}

void Track::Raise(int32_t event, TrackRacer* racer, int32_t argument) {
  if (m_hooks.raceEvent) m_hooks.raceEvent(m_hooks.user, event, racer, argument);
}

void Track::ShowMessage(uint32_t textId, float seconds) {
  if (m_hooks.showMessage) m_hooks.showMessage(m_hooks.user, textId, seconds);
}

void Track::UpdateRace(float time, float dt) {
  const float scale = m_simulation ? m_simulation->m_timeScale : 1.0f;
  time *= scale;
  m_currentTime = time;
  if (m_resultsRequest) {
    if (m_hooks.showRaceResults) m_hooks.showRaceResults(m_hooks.user);
    m_resultsRequest = 0;
  }
  if (m_resultsRefresh && m_hooks.fillRaceResults) m_hooks.fillRaceResults(m_hooks.user);
  if (m_blink) {
    m_blinkTime += dt;
    if (m_blinkTime >= m_blinkPeriod) {
      m_blinkTime -= m_blinkPeriod;
      m_blinkPhase = !m_blinkPhase;
      SetLight(m_blinkLight, m_blinkPhase != 0);
    }
  }
  if (m_world) m_world->Step(time, dt);
  for (uint32_t i = 0; i < m_playerCount; ++i) m_players[i]->Update(dt);
  m_progressTimer += dt;
  if (m_progressTimer > kProgressInterval) {
    for (uint32_t i = 0; i < m_playerCount; ++i) m_players[i]->UpdateProgress();
    m_progressTimer -= kProgressInterval;
  }
  if (m_tracker) m_tracker->Update(time);
  if (m_services.gameMode == GAME_MODE_PRACTICE) {
    if (m_stateTime == 0.0f) {
      for (uint32_t i = 0; i < m_playerCount; ++i) m_players[i]->BeginRace();
      m_practiceStartMark = 1;
    }
    if (!m_services.startAtOnce) {
      if (m_stateTime < 4.0f) {
        if (m_hooks.cameraMove)
          m_hooks.cameraMove(m_hooks.user, RACE_STATE_START, FlyInBlend(m_stateTime));
      } else if (m_practiceStartMark) {
        if (m_hooks.cameraMove) m_hooks.cameraMove(m_hooks.user, RACE_STATE_START, 1.0f);
        m_practiceStartMark = 0;
      }
    }
  } else if (m_services.gameMode >= GAME_MODE_SPLIT && m_services.gameMode <= GAME_MODE_NETWORK) {
    UpdateRaceStates(dt);
  }
  m_stateTime += dt;
}

void Track::UpdateRaceStates(float& dt) {
  if (m_state == RACE_STATE_WAITING) {
    m_stateTime = 0.0f;
    dt = 0.0f;
    const bool menu = m_hooks.menuShown && m_hooks.menuShown(m_hooks.user);
    if (!menu && m_services.gameMode != GAME_MODE_NETWORK) SetState(RACE_STATE_START);
    if (m_hooks.cameraMove) m_hooks.cameraMove(m_hooks.user, RACE_STATE_START, 0.0f);
    return;
  }
  const float t = m_stateTime;
  switch (m_state) {
    case RACE_STATE_START:
      if (t < 4.0f) {
        if (m_hooks.cameraMove) m_hooks.cameraMove(m_hooks.user, RACE_STATE_START, FlyInBlend(t));
        if (t >= 3.0f)
          m_countdownImage = 1;
        else if (t >= 2.0f)
          m_countdownImage = 0;
      } else if (t < 5.0f) {
        m_countdownImage = 2;
        SetLight(m_red, true), SetLight(m_orange, false), SetLight(m_green, false);
        if (m_hooks.cameraMove) m_hooks.cameraMove(m_hooks.user, RACE_STATE_START, 1.0f);
      } else if (t < 6.0f) {
        m_countdownImage = 3;
        SetLight(m_red, true), SetLight(m_orange, true), SetLight(m_green, false);
      } else if (t < 7.0f + m_goDelay) {
        m_countdownImage = -1;
        SetLight(m_red, false), SetLight(m_orange, false), SetLight(m_green, false);
      } else {
        Raise(RACE_EVENT_GREEN, nullptr, 0);
        m_countdownImage = 5;
        SetLight(m_red, false), SetLight(m_orange, false), SetLight(m_green, true);
        m_blinkLight = m_green;
        m_blink = 1;
        m_blinkPhase = 1;
        m_blinkTime = 0.0f;
        SetState(RACE_STATE_RACING);
        if (m_tracker) m_tracker->Start(m_simulation ? m_simulation->m_raceTime : m_currentTime);
        for (uint32_t i = 0; i < m_playerCount; ++i) m_players[i]->BeginRace();
      }
      break;
    case RACE_STATE_RACING: {
      if (t > 2.0f) m_countdownImage = -1;
      const float r = float(m_raceLength) * 60.0f - t;
      const float m = m_remainingMark;
      if (m > 120.0f && m <= 180.0f && r <= 120.0f) ShowMessage(TEXT_TWO_MINUTES, 2.0f);
      if (m > 60.0f && m <= 120.0f && r <= 60.0f) ShowMessage(TEXT_ONE_MINUTE, 2.0f);
      if (m > 0.0f && m <= 60.0f && r <= 0.0f) {
        ShowMessage(TEXT_TIME_UP, 2.0f);
        SetLight(m_red, false), SetLight(m_orange, false), SetLight(m_green, false);
        m_blinkLight = m_orange;
      }
      m_remainingMark = r;
      // The computer-only race follows another car now and then.
      if (m_services.gameMode == GAME_MODE_COMPUTERS && m_playerCount > 1 &&
          t > m_nextCameraSwitch) {
        if (m_hooks.cameraMove) m_hooks.cameraMove(m_hooks.user, RACE_STATE_RACING, 0.0f);
        m_nextCameraSwitch = t + 60.0f;
      }
      break;
    }
    case RACE_STATE_FINISH_CAMERA:
      if (t < 4.0f && m_hooks.cameraMove)
        m_hooks.cameraMove(m_hooks.user, RACE_STATE_FINISH_CAMERA, FlyInBlend(t));
      break;
    case RACE_STATE_PODIUM:
      m_resultsRefresh = 0;
      if (m_hooks.cameraMove) m_hooks.cameraMove(m_hooks.user, RACE_STATE_PODIUM, 0.0f);
      m_podiumAngles[0] += dt * 0.3f;
      m_podiumAngles[1] += dt * 0.12f;
      for (float& a : m_podiumAngles)
        if (a > kPi) a -= 2.0f * kPi;
      break;
    default: break;
  }
}

bool Track::LapCallback(RaceTrackerEntry* entry, bool newBest, uint32_t missed,
                        const LapTime* lapTime, uint32_t lapFlag, void* user, uint8_t* finished) {
  return static_cast<Track*>(user)->OnLapCompleted(entry, newBest, missed, lapTime, lapFlag,
                                                   finished);
}

bool Track::OnLapCompleted(RaceTrackerEntry* entry, bool newBest, uint32_t missed,
                           const LapTime* lapTime, uint32_t lapFlag, uint8_t* finished) {
  *finished = 0;
  TrackRacer* racer = entry->car;
  const bool computer = racer->GetDriverType() == TRACK_DRIVER_COMPUTER;
  const int32_t mode = m_services.gameMode;
  const float raceTime = m_tracker ? m_tracker->m_raceTime : 0.0f;
  // A lap that does not count (checkpoints missed: the car came back over the line, or cut
  // the track) does not finish the race either, for computer drivers as for humans.
  const bool counts = computer ? missed < m_checkpointCount / 2 : missed < 2;
  if (mode >= GAME_MODE_SPLIT && mode <= GAME_MODE_NETWORK &&
      (m_state == RACE_STATE_RACING || m_state == RACE_STATE_FINISH_CAMERA) && counts &&
      (m_raceLaps ? entry->laps >= m_raceLaps || m_finishedCount > 0
                  : raceTime >= float(m_raceLength) * 60.0f)) {
    if (entry->position == 1) {
      m_winnerMarks[0] = m_winnerMarks[1] = 1;
      Raise(RACE_EVENT_WINNER, racer, 1);
    }
    if (!m_services.repeatRace) m_resultsRefresh = 1;
    racer->Finish();
    *finished = 1;
    entry->finished = 1;
    ++m_finishedCount;
    if (m_finishedCount == m_playerCount) {
      SetState(RACE_STATE_ALL_FINISHED);
      Raise(RACE_EVENT_ALL_FINISHED, nullptr, 0);
      SetLight(m_red, false), SetLight(m_orange, false), SetLight(m_green, false);
      m_blinkLight = m_red;
    }
    Raise(RACE_EVENT_FINISHED, racer, int32_t(entry->position));
    const bool human = racer->GetDriverType() == TRACK_DRIVER_HUMAN;
    if ((mode == GAME_MODE_SINGLE || mode == GAME_MODE_CHAMPIONSHIP) && human &&
        !m_services.repeatRace) {
      m_resultsRequest = 1;
      SetState(RACE_STATE_FINISH_CAMERA);
    } else if (mode == GAME_MODE_SPLIT && m_state == RACE_STATE_ALL_FINISHED &&
               !m_services.repeatRace) {
      m_resultsRequest = 1;
      SetState(RACE_STATE_FINISH_CAMERA);
    } else if (mode == GAME_MODE_COMPUTERS && m_state == RACE_STATE_ALL_FINISHED) {
      if (m_hooks.endRace) m_hooks.endRace(m_hooks.user);
    }
    return true;
  }
  if (lapTime) racer->RecordLap(newBest, *lapTime, lapFlag, missed);
  if (missed > 1 && lapFlag && racer->GetViewIndex() >= 0) ShowMessage(TEXT_LAP_MISSED, 2.0f);
  if (m_aiLineCount > 1) racer->SetAILine(uint32_t(std::rand()) % (m_aiLineCount - 1));
  return counts;
}
