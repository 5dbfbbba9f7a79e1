// A race of a given field on a given track, stepped frame by frame: the track loaded with its
// weather, cameras and computer-driver course, every participant's car placed on the grid (rows
// continue behind the grid when the field is larger), the track's own start sequence (countdown,
// start lights, green light), computer drivers planning inside their cars' physics steps, rescues,
// the lap tracker's laps, standings and finish, and the lap records of the participants.
//
// Use:
//   RaceSession race;
//   RaceSessionConfig c;  c.dataFolder = ".../Data";  c.track = "forest";  c.laps = 3;
//   race.Load(c);                              // false: race.m_error says why
//   race.AddComputer(params) ... or race.AddPlayer(player) for a Player made by the shell
//   race.Start();                              // grid, start preparation, race clock
//   while (!race.Finished()) race.Frame();     // or race.Run(maxSeconds)
//   race.Results();
//
// The race goes by laps: the winner finishes when it completes them, every other car at its
// next crossing of the start line after that (Track::m_raceLaps), so every car is classified. The frame
// clock advances exactly the configured step per Frame and every random number comes from the
// seed, so the same configuration gives the same race to the last digit. The engine system
// object (g_VQsystem) must be initialised by the caller; only one race (one Track) may exist at
// a time, because the vehicle models' ground query reaches the track through g_track.
//
// Records: a racer whose owner (TrackRacer::GetOwner) is a human player keeps the lap record of
// its class and this track. The session reads it from the player's profile at the start, offers
// it every clean lap (a new record shows message 204 in the racer's view and raises
// RACE_EVENT_LAP_RECORD) and writes it back into the profile when the race ends (or the session
// goes), for the shell to save. In practice a human player with the profile's ghost mode set
// races against a ghost of its best lap when it drives a game car: the lap is recorded frame by
// frame and played back on the next one.
//
// Views and HUD: the session makes no window. A caller that shows the race creates the
// Simulation's views on its canvas (GetSimulation().CreateViews) and draws from the canvas
// hooks; Frame() runs the views' update with the track's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "QVX/race/AIParameters.h"
#include "QVX/race/LapRecords.h"
#include "QVX/race/Track.h"
#include "QVX/race/TrackCourse.h"

class GhostCar;
class Player;
class RaceFrame;
class RaceSounds;
class AIDriver;
class CarCatalog;
class TrackCarEnvironment;
class Simulation;
class VQDisplayDevice;
class VQNode;
class VQSoundDevice;
class WeatherDatabase;
struct CollisionMaterial;

struct RaceSessionConfig {
  std::string dataFolder;    // the data tree's "Data" folder: weather tables, materials, tracks
  std::string tracksFolder;  // where the track files are read and the terrain cache written;
                             // empty: dataFolder + "/Tracks"
  std::string track;         // the track's name
  std::string weather = "sunny";  // the track's weather variant; empty: none
  int32_t gameMode = GAME_MODE_COMPUTERS;
  uint32_t laps = 3;                   // 1..100
  uint32_t detail = TRACK_DETAIL_LOW;  // scene detail to load
  float frameStep = 1.0f / 60.0f;      // race seconds per Frame (above 0, at most 0.1)
  uint32_t seed = 1;
  // The CAR_1 model data file of the bare computer cars; empty: their default store.
  std::string modelFile;
  // A car class of the data tree ("junior_std", ...): every car is a game car of that class,
  // with its scene model, effects, sounds and shadow; empty: bare vehicle models (no scene,
  // the fastest for races that nobody watches).
  std::string carClass;
  VQSoundDevice* sound = nullptr;  // the cars' and track's sounds; null: silent
  // Devices that load the scenes and textures; null: the session opens software devices of its
  // own (nothing is drawn).
  VQDisplayDevice* display = nullptr;
  VQDisplayDevice* software = nullptr;
  // The track services to load with (the game's devices, folders, weather tables and materials);
  // null: the session reads the tables of dataFolder and uses the devices above.
  const TrackServices* services = nullptr;
  // Forwarded race hooks (events, errors, messages); the session sees every event first.
  RaceHooks hooks;
};

struct RaceSessionResult {
  std::string name;
  uint32_t laps = 0;  // completed laps
  bool finished = false;
  uint32_t place = 0;     // final position (1-based; among the finishers first)
  float raceTime = 0.0f;  // race seconds at the finish (or now when not finished)
  float bestLap = 0.0f;   // seconds; 0 without a counted lap
  uint32_t rescues = 0;
  float longestStill = 0.0f;  // longest time standing (below 0.4 m/s) while driving, not rescuing
  VQVector position{0, 0, 0};
};

class RaceSession {
 public:
  RaceSession();
  ~RaceSession();
  RaceSession(const RaceSession&) = delete;
  RaceSession& operator=(const RaceSession&) = delete;

  // Loads the weather tables, the collision materials, the track and its cameras, and builds
  // the computer drivers' course. False, with m_error set and nothing held, when a table or the
  // track cannot be read, the track has no camera, or the configuration is out of range.
  bool Load(const RaceSessionConfig& config);

  // Adds a computer driver made from params (the session owns its Player); it takes the next
  // grid place. False (with m_error) after Start, when the track holds 32 racers, or when the
  // car cannot be made.
  bool AddComputer(const AIParameters& params);
  // Adds a computer Player made by the caller (SetupComputer); the Player must outlive the
  // session. Same refusals as AddComputer, and for a Player without an AIDriver.
  bool AddPlayer(Player* player);
  // Adds a racer the caller owns and drives (a local player's car); it takes the next grid
  // place. follower, when given, is its place on the computer lines, which the computer drivers
  // see as another car. The racer must outlive the session's race. Same refusals as AddComputer.
  bool AddRacer(TrackRacer* racer, AIDriver* follower);

  // The start preparation and the race clock; the track's start sequence follows in Frame.
  // False (with m_error) for an empty field or when the track has no computer-driver line.
  bool Start();
  // One frame of the configured step: clock, physics with the drivers' decisions, rescues, lap
  // tracking, the lap rule of the finish, views.
  void Frame();
  bool Finished() const;
  // Frames until Finished() or maxSeconds of race time after the green light; true when
  // finished.
  bool Run(float maxSeconds);

  std::vector<RaceSessionResult> Results() const;
  // The participants: the computer drivers in the order added, then the caller's racers
  // (AddRacer) in theirs. GetPlayer is null for the caller's racers.
  uint32_t ParticipantCount() const;
  Player* GetPlayer(uint32_t i) const;
  TrackRacer* GetRacer(uint32_t i) const;
  // The scene root of participant i's game car (a CarRacer's too); null for bare cars and
  // beyond the field.
  VQNode* GetCarRoot(uint32_t i) const;
  // With a car class: the catalog of the game cars and the track as their environment, for the
  // caller's own cars of the class; null without one.
  CarCatalog* GetCarCatalog() const;
  TrackCarEnvironment* GetCarEnvironment() const;
  // The race time since the green light (0 before it).
  float RaceTime() const;
  Track& GetTrack();
  Simulation& GetSimulation();
  TrackCourse& GetCourse();
  // The race frame the session steps: a caller that shows the race sets its canvas and hooks
  // and hands its key handler to the keyboard.
  RaceFrame& GetFrame();
  // The track's sounds (events, beeps, collisions); null without a sound device.
  RaceSounds* GetSounds();
  // The receiver of the race events on the views' side (cameras that change at the lap line),
  // called after the session's own handling and before the configured hook. One at a time; a
  // null hook removes it.
  using ViewEventHook = void (*)(void* user, int32_t event, TrackRacer* racer, int32_t argument);
  void SetViewEventHook(ViewEventHook hook, void* user);
  // The sound volumes (0 to 1; the master scales the other three): the cars' engines, road
  // noise and contacts; the track's ambient events and the weather; the commentary. They take
  // effect at once, in a running race too (the sound page of the in-race menu). Load takes them
  // from the services.
  void SetVolumes(float cars, float ambient, float commentary, float master);

  // The lap record (seconds) the session keeps for a racer; RECORD_NO_LAP when none is set or
  // the racer keeps no records.
  float LapRecord(const TrackRacer* racer) const;
  // The ghost of a racer in practice; null without one.
  const GhostCar* GetGhost(const TrackRacer* racer) const;
  // Writes the lap records the race improved into their players' profiles (done when the race
  // ends and when the session goes).
  void SaveRecords();

  std::string m_error;

 private:
  class Entrant;
  struct Impl;
  bool Add(Player* player, std::unique_ptr<Player> owned);
  void InstallHooks();
  void OnEvent(int32_t event, TrackRacer* racer, int32_t argument);
  static void EventHook(void* user, int32_t event, TrackRacer* racer, int32_t argument);
  static bool LapHook(RaceTrackerEntry* entry, bool newBest, uint32_t missed,
                      const LapTime* lapTime, uint32_t lapFlag, void* user, uint8_t* finished);
  void OnLap(TrackRacer* racer, bool newBest, uint32_t missed, const LapTime* lapTime);
  void PrepareKeepers();
  std::unique_ptr<Impl> m_impl;
};
