#include "QVX/race/RaceSession.h"

#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "QVX/race/AIRace.h"
#include "QVX/race/AIRacer.h"
#include "QVX/race/CarCatalog.h"
#include "QVX/race/CarVehicle.h"
#include "QVX/race/GhostCar.h"
#include "QVX/race/Player.h"
#include "QVX/race/RaceFrame.h"
#include "QVX/race/RaceSounds.h"
#include "QVX/race/Simulation.h"
#include "QVX/race/TrackCars.h"
#include "QVX/race/WeatherDatabase.h"
#include "QVX/shell/Content.h"
#include "Zentri/devices/display/VQSoftwareDisplayDevice.h"
#include "Zentri/util/VQfileio.h"
#include "Zentri/vehicle/TolvuCarModel.h"

namespace {

constexpr int64_t kClockFrequency = 1000000;  // the frame clock counts microseconds
// A car that moves farther than this in one frame was put somewhere else (a rescue): the jump
// crosses no checkpoint line.
constexpr float kTeleport = 5.0f;
constexpr uint32_t kMessageLapRecord = 204;  // "new lap record", in the racer's view

struct FrameClock {
  int64_t counts = 0;
  static int64_t Now(void* user) { return static_cast<FrameClock*>(user)->counts; }
};

void OnPhysicsStep(VQVehicleModel*, float dt, uintptr_t user) {
  reinterpret_cast<AIDriver*>(user)->OnPhysicsStep(dt);
}

bool ReadMaterials(const std::string& path, std::vector<CollisionMaterial>& out) {
  std::vector<uint8_t> bytes;
  uint32_t header[3];
  return vqfileio::ReadWholeFile(path.c_str(), bytes, 24) &&
         Materials_Parse(bytes.data(), bytes.size(), header, out);
}

}  // namespace

// ---- the participant as the track sees it ----------------------------------------------------

class RaceSession::Entrant : public TrackRacer {
 public:
  Entrant(RaceSession* session, Player* player, std::unique_ptr<Player> owned)
      : m_session(session), m_player(player), m_owned(std::move(owned)) {}
  ~Entrant() override { ReleaseCar(); }

  AIDriver& Driver() { return *m_player->m_ai; }
  const AIDriver& Driver() const { return *m_player->m_ai; }

  uint32_t GetDriverType() const override { return TRACK_DRIVER_COMPUTER; }
  const char* GetName() const override { return m_player->m_name; }
  VQVehicleModel* GetVehicle() override { return Body(); }
  // The vehicle model: the game car's or the bare one's; null without a car.
  VQVehicleModel* Body() const;
  VQVector GetPosition() const override { return m_position; }
  VQVector GetPreviousPosition() const override { return m_previous; }
  float GetLapMarkTime() const override { return m_lapMark; }
  void SetLapMarkTime(float t) override { m_lapMark = t; }

  void PlaceAtStart(const VQVector& position, float heading) override;
  void ReleaseCar() override {
    if (m_player && m_player->m_ai) m_player->m_ai->Attach(nullptr, nullptr);
    m_vehicle.m_model = nullptr;
    m_model.reset();
    if (m_car) m_car->ReleaseCar();
    m_carVehicle.SetCar(nullptr);
  }
  void Update(float dt) override;
  void GetProgress(uint32_t* lap, uint32_t* segment, float* fraction) const override;
  void PrepareRace(bool grid, uint32_t index) override;
  void BeginRace() override;
  void PreparePractice(bool) override { PrepareRace(true, 0); }
  void Finish() override {
    Driver().m_state = AISTATE_FINISHED;
    // A finished car rolls out without blocking the ones still racing.
    if (Body()) Vehicle().SetCollisions(false);
  }
  void SetAILine(uint32_t line) override;
  void PlaceOnPodium(uint32_t place, const VQVector& position, float heading) override;
  Car* GetGameCar() override { return m_car ? m_car->GetGameCar() : nullptr; }
  Player* GetOwner() const override { return m_player; }

  RaceSession* m_session;
  Player* m_player;
  std::unique_ptr<Player> m_owned;
  // The controls of whichever car this entrant has.
  AIVehicle& Vehicle() { return m_car ? static_cast<AIVehicle&>(m_carVehicle) : m_vehicle; }

  std::unique_ptr<TolvuCarModel1> m_model;  // a bare computer car (no game car classes)
  AIRacer m_vehicle{nullptr};
  std::unique_ptr<CarRacer> m_car;  // a game car of the session's class
  CarVehicle m_carVehicle;
  VQVector m_position{0, 0, 0}, m_previous{0, 0, 0};
  // The grid place, where each round starts (rescues and the podium move the start placement).
  VQVector m_gridAt{0, 0, 0};
  float m_gridHeading = 0.0f;
  float m_lapMark = -100.0f;
  float m_still = 0.0f, m_longestStill = 0.0f;
  bool m_made = false;
};

// The lap record of one human player's racer on this track (its class row of the profile), and
// its ghost in practice.
struct RecordKeeper {
  TrackRacer* racer = nullptr;
  Player* owner = nullptr;
  int32_t raceClass = 0, trackIndex = 0;
  float record = RECORD_NO_LAP;
  bool changed = false;
  std::unique_ptr<GhostCar> ghost;
};

struct RaceSession::Impl {
  RaceSessionConfig config;
  std::unique_ptr<VQSoftwareDisplayDevice> ownDisplay, ownSoftware;
  std::unique_ptr<CarCatalog> catalog;  // with a car class: the game cars
  std::unique_ptr<TrackCarEnvironment> environment;
  WeatherDatabase weather;
  std::vector<CollisionMaterial> materials;
  Track track;
  Simulation simulation;
  RaceFrame frame;
  TrackCourse course;
  FrameClock clock;
  std::vector<std::unique_ptr<Entrant>> entrants;
  std::vector<TrackRacer*> others;  // racers the caller owns (local players' cars)
  std::string store;                // the computer cars' model data file
  bool ownStore = false;
  bool loaded = false, started = false;
  uint32_t lineRandom = 1;  // the session's own random numbers (line choice after a lap)
  float greenAt = -1.0f;    // simulation time of the green light
  std::unique_ptr<RaceSounds> sounds;  // with a sound device: the track's sounds
  RaceSession::ViewEventHook viewHook = nullptr;
  void* viewUser = nullptr;
  std::vector<RecordKeeper> keepers;
  bool recordsSaved = false;

  RecordKeeper* Keeper(const TrackRacer* racer) {
    for (RecordKeeper& k : keepers)
      if (k.racer == racer) return &k;
    return nullptr;
  }

  ~Impl() {
    // The ghosts' scene copies go before the cars and the track they were made from.
    keepers.clear();
    sounds.reset();  // its nodes sit in the track's scene
    track.RemoveAllPlayers();
    track.Unload();
    entrants.clear();
    if (ownStore && !store.empty()) std::remove(store.c_str());
    if (ownDisplay) ownDisplay->Close();
    if (ownSoftware) ownSoftware->Close();
  }
};

void RaceSession::Entrant::GetProgress(uint32_t* lap, uint32_t* segment, float* fraction) const {
  const RaceTracker* t = m_session->m_impl->track.m_tracker;
  const RaceTrackerEntry* e = t ? t->FindEntry(this) : nullptr;
  *lap = e ? e->laps : 0;
  *segment = Driver().m_refSegment;
  *fraction = Driver().m_refFraction;
}

void RaceSession::Entrant::BeginRace() {
  if (Body()) Driver().StartRace(m_session->m_impl->config.frameStep);
}

// The track picks the next line with the C library's random numbers, which other code shares;
// the session picks from its own seeded sequence instead, so the race repeats exactly.
void RaceSession::Entrant::SetAILine(uint32_t) {
  Impl& s = *m_session->m_impl;
  const uint32_t count = s.course.LineCount();
  if (count < 2) return;
  uint32_t x = s.lineRandom ? s.lineRandom : 0x9E3779B9u;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  s.lineRandom = x;
  const uint32_t line = (x >> 1) % (count - 1);
  if (s.course.Line(line)) Driver().m_line = line;
}

// The car stands at its podium place, at rest, its driver done.
void RaceSession::Entrant::PlaceOnPodium(uint32_t, const VQVector& position, float heading) {
  VQVehicleModel* body = Body();
  if (!body) return;
  AIDriver& d = Driver();
  if (d.Rescuing()) d.PrepareStart(false);
  d.m_state = AISTATE_PODIUM;
  body->m_postStepCallback = nullptr;  // the driver plans no more
  Vehicle().Place(position, heading);
  Vehicle().SelectGear(1);  // neutral
  Vehicle().SetBrake(1.0f);
  if (m_car) {
    m_car->GetCar().SetBodyAlpha(1.0f);
    m_car->GetCar().ClearEffects();
    m_car->GetCar().SetFrozen(true);
  }
  m_position = m_previous = body->GetPosition();
}

VQVehicleModel* RaceSession::Entrant::Body() const {
  if (m_car) return m_car->GetVehicle();
  return m_model.get();
}

void RaceSession::Entrant::PlaceAtStart(const VQVector& position, float heading) {
  Impl& s = *m_session->m_impl;
  ReleaseCar();
  m_gridAt = position;
  m_gridHeading = heading;
  AIDriver& d = Driver();
  VQVehicleModel* body = nullptr;
  if (s.catalog) {
    if (!m_car) {
      CarSetup setup;
      setup.carName = s.config.carClass.c_str();
      setup.computer = true;
      setup.number = int32_t(d.m_params.number);
      setup.detail = s.config.detail;
      setup.horn = false;
      m_car = std::make_unique<CarRacer>(s.catalog.get(), s.environment.get(), setup,
                                         TRACK_DRIVER_COMPUTER);
    }
    m_car->PlaceAtStart(position, heading);
    body = m_car->GetVehicle();
    if (!body) return;
    m_car->GetCar().m_owner = m_player;
    m_carVehicle.SetCar(&m_car->GetCar());
    d.Attach(&m_carVehicle, &s.course);
  } else {
    m_model = std::make_unique<TolvuCarModel1>();
    if (!m_model->Initialize(nullptr, s.store.c_str(), position, VQVector(0, 0, heading),
                             Track::GroundQuery)) {
      m_model.reset();
      return;
    }
    AIRacer_AddContactSpheres(m_model.get(),
                              s.track.m_contacts.empty() ? nullptr : &s.track.m_contacts[0]);
    m_vehicle.m_model = m_model.get();
    d.Attach(&m_vehicle, &s.course);
    body = m_model.get();
  }
  body->m_postStepCallback = OnPhysicsStep;
  body->m_postStepUserData = reinterpret_cast<uintptr_t>(&d);
  m_position = m_previous = body->GetPosition();
  m_made = true;
}

void RaceSession::Entrant::PrepareRace(bool, uint32_t) {
  VQVehicleModel* body = Body();
  if (!body) return;
  // Back from a podium: unfrozen, planning again.
  body->m_postStepCallback = OnPhysicsStep;
  body->m_postStepUserData = reinterpret_cast<uintptr_t>(&Driver());
  if (m_car) m_car->GetCar().SetFrozen(false);
  body->SetStartPlacement(m_gridAt, VQVector(0.0f, 0.0f, m_gridHeading));
  if (m_car)
    m_car->GetCar().Reset();
  else
    m_model->Reset(false);  // back to the grid place, at rest
  body->m_collidable = 1;
  AIVehicle& v = Vehicle();
  v.SelectGear(1);  // neutral
  v.SetClutch(0.0f);
  v.SetThrottle(0.0f);
  v.SetBrake(0.0f);
  v.SetSteering(0.0f);
  m_position = m_previous = body->GetPosition();
  m_lapMark = -100.0f;
  m_still = m_longestStill = 0.0f;
  Driver().PrepareStart(m_session->m_impl->config.gameMode == GAME_MODE_PRACTICE);
}

void RaceSession::Entrant::Update(float dt) {
  VQVehicleModel* body = Body();
  if (!body) return;
  m_previous = m_position;
  AIDriver& d = Driver();
  if (m_car)
    m_car->Update(dt);  // pose, automatic gearbox, effects, sounds, shadow
  else
    m_vehicle.UpdateGearbox(dt);
  d.UpdateFrame(dt);
  const VQVector now = body->GetPosition();
  const VQVector jump = now - m_previous;
  if (jump.Dot(jump) > kTeleport * kTeleport) m_previous = now;
  m_position = now;
  if (d.m_state == AISTATE_DRIVING && !d.Rescuing() && Vehicle().Speed() < AI_MOVING_SPEED) {
    m_still += dt;
    m_longestStill = std::max(m_longestStill, m_still);
  } else {
    m_still = 0.0f;
  }
}

// ---- the session -------------------------------------------------------------------------------

RaceSession::RaceSession() : m_impl(std::make_unique<Impl>()) {}
RaceSession::~RaceSession() { SaveRecords(); }

Track& RaceSession::GetTrack() { return m_impl->track; }
Simulation& RaceSession::GetSimulation() { return m_impl->simulation; }
TrackCourse& RaceSession::GetCourse() { return m_impl->course; }
RaceFrame& RaceSession::GetFrame() { return m_impl->frame; }
RaceSounds* RaceSession::GetSounds() { return m_impl->sounds.get(); }

void RaceSession::SetViewEventHook(ViewEventHook hook, void* user) {
  m_impl->viewHook = hook;
  m_impl->viewUser = hook ? user : nullptr;
}

void RaceSession::SetVolumes(float cars, float ambient, float commentary, float master) {
  Impl& s = *m_impl;
  TrackServices& sv = s.track.m_services;
  sv.volumeCars = cars;
  sv.volumeAmbient = ambient;
  sv.volumeComment = commentary;
  sv.volumeMaster = master;
  if (s.catalog) {
    s.catalog->m_volumeCars = cars;
    s.catalog->m_volumeMaster = master;
  }
  if (s.sounds) s.sounds->SetVolumes(cars, ambient, commentary, master);
}

bool RaceSession::Load(const RaceSessionConfig& config) {
  m_error.clear();
  if (m_impl->loaded) return m_error = "a track is loaded already", false;
  if (config.laps < 1 || config.laps > 100) return m_error = "laps must be 1 to 100", false;
  if (!(config.frameStep > 0.0f && config.frameStep <= 0.1f))
    return m_error = "the frame step must be above 0 and at most 0.1 s", false;
  if (config.gameMode < GAME_MODE_PRACTICE || config.gameMode > GAME_MODE_NETWORK)
    return m_error = "unknown game mode", false;
  Impl& s = *m_impl;
  s.config = config;
  const std::string data = config.dataFolder;
  VQDisplayDevice* display = config.display;
  VQDisplayDevice* software = config.software;
  if (!software) {
    s.ownSoftware = std::make_unique<VQSoftwareDisplayDevice>(29);
    if (!s.ownSoftware->Open(0)) return m_error = "cannot open a software display device", false;
    software = s.ownSoftware.get();
  }
  if (!display) {
    s.ownDisplay = std::make_unique<VQSoftwareDisplayDevice>(28);
    if (!s.ownDisplay->Open(0)) return m_error = "cannot open a software display device", false;
    display = s.ownDisplay.get();
  }
  if (config.services) {
    // The caller's tables and folders; the devices come from the services too.
    if (!config.services->weather || !config.services->materials)
      return m_error = "the track services lack the weather tables or the materials", false;
  } else if (!s.weather.LoadWeatherConfigs(true, (data + "/weather.ini").c_str()) ||
             !s.weather.LoadRainConfigs(true, (data + "/weather_rain.ini").c_str()) ||
             !s.weather.LoadThunderConfigs(true, (data + "/weather_thunder.ini").c_str()))
    return m_error = "cannot read the weather tables of " + data, false;
  if (!config.services && !ReadMaterials(data + "/Materials.bin", s.materials))
    return m_error = "cannot read the collision materials of " + data, false;

  Track& track = s.track;
  TrackServices& sv = track.m_services;
  sv.display = display;
  sv.software = software;
  sv.weather = &s.weather;
  sv.materials = &s.materials;
  sv.tracksFolder = config.tracksFolder.empty() ? data + "/Tracks" : config.tracksFolder;
  sv.textureFolder = data + "/Maps_high";
  sv.mapsCarsFolder = data + "/Maps_cars";
  sv.detail = config.detail;
  sv.gameMode = config.gameMode;
  sv.sound = config.sound != nullptr;
  if (config.services) {
    sv = *config.services;
    sv.detail = config.detail;
    sv.gameMode = config.gameMode;
    if (sv.tracksFolder.empty()) sv.tracksFolder = data + "/Tracks";
    display = sv.display ? sv.display : display;
    sv.display = display;
    if (!sv.software) sv.software = software;
  }
  InstallHooks();
  // The random number of the load (weather variants) comes from the seed.
  const float r = float((config.seed * 2654435761u) >> 8) / 16777216.0f;
  const bool ok = track.Load(config.track.c_str(),
                             config.weather.empty() ? nullptr : config.weather.c_str(), r);
  if (!ok) {
    if (m_error.empty()) m_error = "cannot load track '" + config.track + "'";
    return false;
  }
  if (!track.RegisterCameras(&s.simulation)) {
    if (m_error.empty()) m_error = "No cameras defined! (Need at least one)";
    track.Unload();
    return false;
  }
  if (!config.carClass.empty()) {
    // The data root is the folder that holds "Data".
    const std::string root = data.size() > 5 && data.compare(data.size() - 5, 5, "/Data") == 0
                                 ? data.substr(0, data.size() - 5)
                                 : data + "/..";
    s.catalog = std::make_unique<CarCatalog>(root.c_str(), display, config.sound);
    if (!s.catalog->LoadClass(config.carClass.c_str(), nullptr)) {
      track.Unload();
      s.catalog.reset();
      return m_error = "unknown car class '" + config.carClass + "'", false;
    }
    s.environment = std::make_unique<TrackCarEnvironment>(&track);
    s.catalog->m_volumeCars = sv.volumeCars;
    s.catalog->m_volumeMaster = sv.volumeMaster;
  }
  // Every lap reaches the track first, then the records.
  if (track.m_tracker) track.m_tracker->SetLapCallback(&RaceSession::LapHook, this);
  s.simulation.SetTrack(&track);
  track.SetStartCameras(s.simulation.FindCamera("tower"), s.simulation.FindCamera("follow"));
  s.course.Build(&track);
  // The finish goes by laps, not by the track's race minutes (which then never run out).
  track.m_raceLength = 255;
  track.m_raceLaps = config.laps;

  if (config.modelFile.empty()) {
    s.store = "/tmp/qvx_race_" + std::to_string(::getpid()) + "_" +
              std::to_string(reinterpret_cast<uintptr_t>(this)) + ".bin";
    s.ownStore = true;
    if (!AIRace_WriteModelStore(s.store)) {
      track.Unload();
      return m_error = "cannot write the model data file " + s.store, false;
    }
  } else {
    s.store = config.modelFile;
  }
  if (config.sound && sv.sound) {
    RaceSoundsSetup ss;
    ss.gameMode = config.gameMode;
    ss.audioFolder = data + "/Audio";
    ss.materials = sv.materials;
    ss.volumeCars = sv.volumeCars, ss.volumeAmbient = sv.volumeAmbient;
    ss.volumeCommentary = sv.volumeComment, ss.volumeMaster = sv.volumeMaster;
    s.sounds = std::make_unique<RaceSounds>();
    if (!s.sounds->Init(&track, config.sound, ss)) s.sounds.reset();
  }
  s.loaded = true;
  return true;
}

// The track's hooks reach the session first; the caller's hooks get the caller's user word.
void RaceSession::InstallHooks() {
  RaceHooks& h = m_impl->track.m_hooks;
  h = RaceHooks();
  h.user = this;
  h.raceEvent = &RaceSession::EventHook;
  h.error = [](void* user, const char* text) {
    auto* self = static_cast<RaceSession*>(user);
    if (self->m_error.empty()) self->m_error = text;
    const RaceHooks& c = self->m_impl->config.hooks;
    if (c.error) c.error(c.user, text);
  };
  const RaceHooks& c = m_impl->config.hooks;
  if (c.log)
    h.log = [](void* u, const char* t) {
      const RaceHooks& k = static_cast<RaceSession*>(u)->m_impl->config.hooks;
      k.log(k.user, t);
    };
  if (c.menuShown)
    h.menuShown = [](void* u) {
      const RaceHooks& k = static_cast<RaceSession*>(u)->m_impl->config.hooks;
      return k.menuShown(k.user);
    };
  if (c.showMessage)
    h.showMessage = [](void* u, uint32_t id, float seconds) {
      const RaceHooks& k = static_cast<RaceSession*>(u)->m_impl->config.hooks;
      k.showMessage(k.user, id, seconds);
    };
  if (c.showRaceResults)
    h.showRaceResults = [](void* u) {
      const RaceHooks& k = static_cast<RaceSession*>(u)->m_impl->config.hooks;
      k.showRaceResults(k.user);
    };
  if (c.fillRaceResults)
    h.fillRaceResults = [](void* u) {
      const RaceHooks& k = static_cast<RaceSession*>(u)->m_impl->config.hooks;
      k.fillRaceResults(k.user);
    };
  if (c.endRace)
    h.endRace = [](void* u) {
      const RaceHooks& k = static_cast<RaceSession*>(u)->m_impl->config.hooks;
      k.endRace(k.user);
    };
  if (c.cameraMove)
    h.cameraMove = [](void* u, uint32_t state, float blend) {
      const RaceHooks& k = static_cast<RaceSession*>(u)->m_impl->config.hooks;
      k.cameraMove(k.user, state, blend);
    };
}

void RaceSession::EventHook(void* user, int32_t event, TrackRacer* racer, int32_t argument) {
  static_cast<RaceSession*>(user)->OnEvent(event, racer, argument);
}

void RaceSession::OnEvent(int32_t event, TrackRacer* racer, int32_t argument) {
  Impl& s = *m_impl;
  Entrant* e = nullptr;
  for (auto& x : s.entrants)
    if (x.get() == racer) e = x.get();
  if (event == RACE_EVENT_GREEN && s.greenAt < 0.0f) s.greenAt = s.simulation.m_raceTime;
  if (e && e->Body()) {
    AIDriver& d = e->Driver();
    if (event == RACE_EVENT_CHECKPOINT && s.track.m_tracker) {
      // The driver's aggressiveness follows its last recorded positions (newest last).
      const RaceTrackerEntry* t = s.track.m_tracker->FindEntry(racer);
      if (t) {
        uint32_t recent[TRACKER_HISTORY];
        const uint32_t n = std::min<uint32_t>(t->crossings, TRACKER_HISTORY);
        for (uint32_t k = 0; k < n; ++k)
          recent[k] = t->history[(t->crossings - n + k) % TRACKER_HISTORY];
        d.OnCheckpoint(recent, n, t->position, false);
      }
    } else if (event == RACE_EVENT_LONG_LAP) {
      // No progress for a whole long lap: rescued, straight onto the line.
      d.m_rescueRepeats = 1000;
      if (!d.Rescuing()) d.Rescue(0.0f);
    }
  }
  if (s.sounds) s.sounds->OnRaceEvent(event, racer, argument);
  if (s.viewHook) s.viewHook(s.viewUser, event, racer, argument);
  if (s.config.hooks.raceEvent)
    s.config.hooks.raceEvent(s.config.hooks.user, event, racer, argument);
}

bool RaceSession::Add(Player* player, std::unique_ptr<Player> owned) {
  m_error.clear();
  Impl& s = *m_impl;
  if (!s.loaded) return m_error = "no track is loaded", false;
  if (s.started) return m_error = "the race has started", false;
  if (!player || !player->m_ai) return m_error = "the player is not a computer driver", false;
  if (s.track.m_playerCount >= TRACK_MAX_PLAYERS)
    return m_error = "the track holds 32 racers", false;
  auto entrant = std::make_unique<Entrant>(this, player, std::move(owned));
  Entrant* e = entrant.get();
  const uint32_t index = uint32_t(s.entrants.size());
  player->m_ai->m_random = s.config.seed * 747796405u + index * 2891336453u + 1u;
  s.entrants.push_back(std::move(entrant));
  s.course.AddParticipant(player->m_ai.get(), e);
  if (!s.track.AddPlayer(e, s.config.gameMode) || !e->Body()) {
    s.track.RemovePlayer(e);
    s.course.RemoveParticipant(player->m_ai.get());
    s.entrants.pop_back();
    std::string why = "the car of '" + std::string(player->m_name) + "' cannot be made";
    return m_error = why, false;
  }
  if (s.track.m_tracker) s.track.m_tracker->AddCar(e);
  return true;
}

bool RaceSession::AddComputer(const AIParameters& params) {
  auto player = std::make_unique<Player>();
  player->SetupComputer(params);
  Player* p = player.get();
  return Add(p, std::move(player));
}

bool RaceSession::AddPlayer(Player* player) { return Add(player, nullptr); }

bool RaceSession::AddRacer(TrackRacer* racer, AIDriver* follower) {
  m_error.clear();
  Impl& s = *m_impl;
  if (!s.loaded) return m_error = "no track is loaded", false;
  if (s.started) return m_error = "the race has started", false;
  if (!racer) return m_error = "no racer", false;
  if (s.track.m_playerCount >= TRACK_MAX_PLAYERS)
    return m_error = "the track holds 32 racers", false;
  if (!s.track.AddPlayer(racer, s.config.gameMode) || !racer->GetVehicle()) {
    s.track.RemovePlayer(racer);
    return m_error = "the car of '" + std::string(racer->GetName()) + "' cannot be made", false;
  }
  if (follower) s.course.AddParticipant(follower, racer);
  if (s.track.m_tracker) s.track.m_tracker->AddCar(racer);
  s.others.push_back(racer);
  return true;
}

bool RaceSession::Start() {
  m_error.clear();
  Impl& s = *m_impl;
  if (!s.loaded) return m_error = "no track is loaded", false;
  if (s.entrants.empty() && s.others.empty()) return m_error = "the field holds no driver", false;
  if (!s.entrants.empty() && s.course.LineCount() == 0)
    return m_error = "the track has no computer-driver line", false;
  s.clock.counts = 0;
  s.simulation.SetClock(SimulationClock{FrameClock::Now, kClockFrequency, &s.clock});
  s.frame.m_simulation = &s.simulation;
  s.frame.m_track = &s.track;
  s.frame.m_gameMode = s.config.gameMode;
  // The go delay after the last light comes from the seed too.
  s.track.m_goDelay = float((s.config.seed * 2246822519u) >> 8) / 16777216.0f * 0.5f;
  // Practice has no start sequence: the lap tracker runs at once and the cars drive from the
  // pit places.
  if (s.config.gameMode == GAME_MODE_PRACTICE)
    s.track.PreparePractice(true);
  else
    s.track.PrepareRace(true);
  if (s.sounds) s.sounds->StartRace();
  PrepareKeepers();
  if (!s.simulation.Start(false, false)) return m_error = "the race clock cannot start", false;
  s.started = true;
  s.lineRandom = s.config.seed * 2654435761u + 12345u;
  s.greenAt = -1.0f;
  return true;
}

void RaceSession::Frame() {
  Impl& s = *m_impl;
  if (!s.started) return;
  s.clock.counts += int64_t(std::llround(double(s.config.frameStep) * double(kClockFrequency)));
  s.frame.OnFrame();
  if (s.sounds) s.sounds->Update(s.config.frameStep);
  if (!s.simulation.m_paused)
    for (RecordKeeper& k : s.keepers)
      if (k.ghost) k.ghost->Advance(s.config.frameStep);
  if (!s.recordsSaved && Finished()) SaveRecords();
}

// ---- records and ghosts ------------------------------------------------------------------------

// The keepers of this round: every racer of a human player, with the lap record of its class
// (the championship's in a championship) on this track read from the profile once per session;
// in practice, with the profile's ghost mode and a game car, a ghost of the car that starts
// recording at the first crossing of the line.
void RaceSession::PrepareKeepers() {
  Impl& s = *m_impl;
  const int32_t trackIndex = int32_t(s.track.m_trackNumber);
  const bool practice = s.config.gameMode == GAME_MODE_PRACTICE;
  for (uint32_t i = 0; i < s.track.m_playerCount; ++i) {
    TrackRacer* racer = s.track.m_players[i];
    Player* owner = racer ? racer->GetOwner() : nullptr;
    if (!owner || owner->m_type != PLAYER_HUMAN || trackIndex >= PROFILE_MAX_TRACKS) continue;
    RecordKeeper* k = s.Keeper(racer);
    if (!k) {
      RecordKeeper fresh;
      fresh.racer = racer;
      fresh.owner = owner;
      const PlayerProfile& p = owner->m_profile;
      const int32_t c =
          s.config.gameMode == GAME_MODE_CHAMPIONSHIP ? p.champ_frame : p.normal_frame;
      fresh.raceClass = std::clamp(c, 0, PROFILE_MAX_CLASSES - 1);
      fresh.trackIndex = trackIndex;
      const float stored = p.lap_records[fresh.raceClass][trackIndex];
      // A new profile holds zeros: no record yet.
      fresh.record = stored > 0.0f ? stored : RECORD_NO_LAP;
      s.keepers.push_back(std::move(fresh));
      k = &s.keepers.back();
    }
    Car* car = racer->GetGameCar();
    if (practice && owner->m_profile.ghost_mode && car && s.environment && !k->ghost)
      k->ghost = std::make_unique<GhostCar>(10000, car, s.environment->GetCarGroup(), 0.1f);
    if (k->ghost) k->ghost->Reset();
  }
  s.recordsSaved = false;
}

bool RaceSession::LapHook(RaceTrackerEntry* entry, bool newBest, uint32_t missed,
                          const LapTime* lapTime, uint32_t lapFlag, void* user, uint8_t* finished) {
  auto* self = static_cast<RaceSession*>(user);
  const bool counts =
      Track::LapCallback(entry, newBest, missed, lapTime, lapFlag, &self->m_impl->track, finished);
  self->OnLap(entry->car, newBest, missed, lapTime);
  return counts;
}

void RaceSession::OnLap(TrackRacer* racer, bool newBest, uint32_t missed, const LapTime* lapTime) {
  Impl& s = *m_impl;
  RecordKeeper* k = s.Keeper(racer);
  if (!k) return;
  if (!lapTime) {
    // The first crossing: the lap to record starts here.
    if (k->ghost) k->ghost->Swap(false, false);
    return;
  }
  // The ghost plays the lap just driven when it was the best so far and clean, else the last
  // kept one again.
  if (k->ghost) k->ghost->Swap(true, Records_GhostKeepsLap(newBest, missed));
  if (missed != 0) return;
  const LapRecordResult r =
      Records_OfferLap(&k->record, lapTime->minutes, lapTime->seconds, lapTime->hundredths);
  if (r == LAPRECORD_NONE) return;
  k->changed = true;
  s.recordsSaved = false;
  if (r != LAPRECORD_NEW) return;
  const RaceHooks& h = s.config.hooks;
  if (racer->GetViewIndex() >= 0 && h.showMessage) h.showMessage(h.user, kMessageLapRecord, 2.0f);
  if (h.raceEvent)
    h.raceEvent(h.user, RACE_EVENT_LAP_RECORD, racer, int32_t(lapTime->Hundredths()));
}

void RaceSession::SaveRecords() {
  Impl& s = *m_impl;
  for (RecordKeeper& k : s.keepers) {
    if (!k.changed || !k.owner) continue;
    k.owner->m_profile.lap_records[k.raceClass][k.trackIndex] = k.record;
    k.changed = false;
  }
  s.recordsSaved = true;
}

float RaceSession::LapRecord(const TrackRacer* racer) const {
  const RecordKeeper* k = m_impl->Keeper(racer);
  return k ? k->record : RECORD_NO_LAP;
}

const GhostCar* RaceSession::GetGhost(const TrackRacer* racer) const {
  const RecordKeeper* k = m_impl->Keeper(racer);
  return k ? k->ghost.get() : nullptr;
}

bool RaceSession::Finished() const {
  const Impl& s = *m_impl;
  if (!s.started) return false;
  const RaceTracker* t = s.track.m_tracker;
  if (!t || t->m_count == 0) return false;
  for (uint32_t i = 0; i < t->m_count; ++i)
    if (!t->m_entries[i]->finished) return false;
  return true;
}

float RaceSession::RaceTime() const {
  const Impl& s = *m_impl;
  return s.greenAt < 0.0f ? 0.0f : s.simulation.m_raceTime - s.greenAt;
}

bool RaceSession::Run(float maxSeconds) {
  Impl& s = *m_impl;
  if (!s.started) return false;
  // The start sequence takes some 7.5 s; it does not count against the limit.
  const uint64_t maxFrames = uint64_t((maxSeconds + 15.0f) / s.config.frameStep) + 1;
  for (uint64_t f = 0; f < maxFrames && !Finished(); ++f) {
    Frame();
    if (s.greenAt >= 0.0f && RaceTime() > maxSeconds) break;
  }
  return Finished();
}

// The computer drivers, then the caller's racers.
uint32_t RaceSession::ParticipantCount() const {
  return uint32_t(m_impl->entrants.size() + m_impl->others.size());
}

Player* RaceSession::GetPlayer(uint32_t i) const {
  return i < m_impl->entrants.size() ? m_impl->entrants[i]->m_player : nullptr;
}

TrackRacer* RaceSession::GetRacer(uint32_t i) const {
  const size_t n = m_impl->entrants.size();
  if (i < n) return m_impl->entrants[i].get();
  return i - n < m_impl->others.size() ? m_impl->others[i - n] : nullptr;
}

VQNode* RaceSession::GetCarRoot(uint32_t i) const {
  const size_t n = m_impl->entrants.size();
  CarRacer* racer = nullptr;
  if (i < n)
    racer = m_impl->entrants[i]->m_car.get();
  else if (i - n < m_impl->others.size())
    racer = dynamic_cast<CarRacer*>(m_impl->others[i - n]);
  if (!racer) return nullptr;
  Car& car = racer->GetCar();
  return car.IsCreated() ? car.GetRoot() : nullptr;
}

CarCatalog* RaceSession::GetCarCatalog() const { return m_impl->catalog.get(); }

TrackCarEnvironment* RaceSession::GetCarEnvironment() const { return m_impl->environment.get(); }

std::vector<RaceSessionResult> RaceSession::Results() const {
  const Impl& s = *m_impl;
  std::vector<RaceSessionResult> out;
  const RaceTracker* t = s.track.m_tracker;
  for (const auto& e : s.entrants) {
    RaceSessionResult r;
    r.name = e->m_player->m_name;
    const RaceTrackerEntry* entry = t ? t->FindEntry(e.get()) : nullptr;
    if (entry) {
      r.laps = entry->laps > 0 ? entry->laps - 1 : 0;
      r.finished = entry->finished != 0;
      r.place = entry->position;
      r.raceTime = entry->carRaceTime;
      r.bestLap = float(entry->bestLap.Seconds());
    }
    r.rescues = uint32_t(e->Driver().m_rescueCount);
    r.longestStill = e->m_longestStill;
    r.position = e->m_position;
    out.push_back(r);
  }
  return out;
}
