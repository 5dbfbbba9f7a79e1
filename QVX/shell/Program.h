// The game's one application object: start-up (devices, configuration, language strings,
// content, players), the order of the screens, and shutdown. Every part of the game shell is a
// member of Program or is reached from it; g_program points at the one object while it exists.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "QVX/shell/Cheats.h"
#include "QVX/shell/Championship.h"
#include "QVX/shell/Config.h"
#include "QVX/shell/Content.h"
#include "QVX/shell/MenuState.h"
#include "QVX/SkinEditor/SkinFiles.h"
#include "Zentri/resources/VQTexture.h"
#include "Zentri/util/VQlog.h"

class DataPaths;
class Player;
class VQStrings;
class VQDevice;
class VQDisplayDevice;
class VQCanvas;
class VQCamera;
class VQViewport;
class VQTextureManager;
class VQPixmapManager;
class VQNode;
class WeatherDatabase;
class CarCatalog;
class VQSoundBuffer;
class NetSession;
class ProgramNetHooks;
class RaceSession;
struct NetRaceData;

class VQFont;
class VQFontManager;
class KeywordDetector;
class VQFontManager;
class VQMattable;
class VQTexture;
class Menu;
class MenuPage;
class MusicTrack;
struct MenuItem;

constexpr uint32_t PROGRAM_MAX_TRACKS = 20;
constexpr uint32_t PROGRAM_MAX_PROFILES = 256;
constexpr uint32_t PROGRAM_MAX_PLAYERS = 32;
constexpr uint32_t PROGRAM_JOYSTICKS = 4;
constexpr uint32_t PROGRAM_CAR_NUMBER_FONTS = 4;
constexpr uint32_t PROGRAM_LAP_TIME_FONTS = 5;
constexpr uint32_t PROGRAM_MENU_FONTS = 3;
constexpr uint32_t PROGRAM_CHAMP_TRACKS = 6;
constexpr uint32_t PROGRAM_RACE_LENGTHS = 6;
constexpr uint32_t PROGRAM_MAX_OPPONENTS = 7;
constexpr size_t PROGRAM_ERROR_SIZE = 2048;
constexpr uint32_t PROGRAM_NOT_FOUND = 9999;

enum SessionRequest : int32_t {
  SESSION_RACE = 0,
  SESSION_RESTART = 1,
  SESSION_RESTART_CHAMP = 2,
  SESSION_QUIT = 3,
};

// How this run was started (the Linux program's command line).
struct ProgramOptions {
  std::string dataDir;     // "" = the working folder
  bool headless = false;   // offscreen video, dummy audio, message boxes to stderr
  bool seeded = false;
  uint32_t seed = 0;
  float fixedStep = 0.0f;  // > 0: the clock advances exactly this per frame, no sleeping
  std::string inputFile;   // scripted input
  uint32_t frames = 0;     // > 0: the window closes after this many frames
  std::string resultsFile; // race results appended as CSV
  bool steerAssist = false; // the local players' cars steer along the computer line
  bool help = false;       // --help: print the usage and end
};

struct TrackEntry {
  char name[64] = {};
  std::string title;
  VQNode* scene = nullptr;
  uint8_t championship = 0;
};

struct ChoiceList {
  uint32_t count = 0;
  const char* texts[PROGRAM_RACE_LENGTHS] = {};
};

class Program {
 public:
  // The options of this run are known before the constructor reads Config.ini, so that a
  // message box it shows already follows them.
  explicit Program(const ProgramOptions& options = ProgramOptions());
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool Initialize(unsigned argc, char** argv);
  bool Shutdown();

  // Formats into one 2048-byte buffer (cut when longer), shows it in a message box titled "Error"
  // (stderr when headless) and logs "Error : %s".
  void Error(const char* format, ...) VQ_PRINTF_LIKE(2, 3);
  // One line of the game log "qvxlog.txt"; the observer, when set, sees every line too (from
  // whichever thread logs it).
  void Log(const char* format, ...) VQ_PRINTF_LIKE(2, 3);
  void (*m_logObserver)(void* user, const char* line) = nullptr;
  void* m_logObserverUser = nullptr;

  // Configuration (Config.cpp's reader and writer on the settings below).
  bool LoadConfig(const char* path);
  bool SaveConfig(const char* path);
  bool LoadLanguageStrings();

  // Screens (ProgramScreens.cpp) and the race (ProgramRace.cpp). RunMenus is false when its
  // viewports or the menu tree cannot be made.
  bool PlayIntro();
  bool RunMenus();
  bool PlayOutro();
  bool RunRace();

  // Menus (ProgramMenus.cpp): the tree, its event handler and the screens' callbacks.
  bool BuildMenus();
  bool BuildSessionMenus();
  bool BuildRaceMenus();
  void DestroyMenus();
  bool InitMenu();
  static void OnMenuEventThunk(MenuPage* page, MenuItem* item, uint32_t event, uintptr_t user);
  void OnMenuEvent(MenuPage* page, MenuItem* item, uint32_t event);
  // Serves the target of an activated item (quit, back into the race, start or leave, restart).
  void RunTargetTail(MenuItem* item);
  // The paint shop: runs the skin editor on the menu car of the class chosen on page 51 and
  // keeps its result for SaveSkin; true when the editor ran (page 54 is then shown). A class
  // that cannot be painted shows the editor's reason and page 51 again.
  bool RunSkinEditor();
  // Saves the kept result under the typed name into the painted class (its skin list gets it
  // at once); false with a reason for a refused name or a write that failed.
  bool SaveSkin(const char* name, std::string* reason);
  SkinEditorResult m_skinResult;    // what the last editor visit left, until saved or discarded
  int32_t m_skinClass = 0;          // the class that was painted
  uint8_t m_skinEditorPending = 0;  // item 511 asked for the editor: run between frame pumps
  uint8_t m_skinEditorRunning = 0;  // the editor has the keys: the menus ignore them
  const char* Text(int32_t id) const;
  void FillPlayerLine();
  // Clamps the first player's set-up fields to what the content holds.
  void ClampSetup();
  // Weather names of a track into the weather choice list; gives the count (last: random).
  uint32_t FillWeatherChoices(int32_t track);
  // Writes the canvas's picture to the first free "snapNNN.jpg" of the data root (1 to 998);
  // the number written, 0 when none.
  uint32_t TakeScreenshot();
  void Pause(bool withMessage);
  // Hands the sound settings (cars, ambient, commentary, each times the master) to the running
  // race, if any, so a change on the in-race sound page is heard at once.
  void ApplyRaceVolumes();
  bool OnMenuFrame();
  bool OnMenuKey(uint32_t key, bool pressed);
  void AnimateMenuScene(float dt);
  void PlayMusicTitle(int key, bool repeat);

  // Menu cars and tracks (ProgramMenuCars.cpp).
  RacingClass* FindCar(const char* name) const;
  VQNode* LoadMenuCar(uint32_t classIndex);
  VQNode* LoadMenuTrack(uint32_t trackIndex);
  // Car paint (ProgramCarPaint.cpp). PaintCarNumber paints a race number into a 24- or 32-bit
  // image in memory at the class's number places with the class's car-number fonts (false when
  // it cannot). MakeCarPaint gives a new display texture (one reference for the caller) of a
  // skin image, with the number painted on when paintNumber is set, the cached skin left
  // clean; null when the image cannot be read. MakeRaceCarPaint does so for a skin of a class
  // with the skin's own number choice, and logs which skin the car wears.
  bool PaintCarNumber(VQTexture* image, int32_t number, uint32_t classIndex);
  VQTexture* MakeCarPaint(const char* skinImage, int32_t number, uint32_t classIndex,
                          bool paintNumber);
  VQTexture* MakeRaceCarPaint(uint32_t classIndex, uint32_t skinIndex, int32_t number);
  // The race number a local player's car wears: the profile's, 1 when it has none.
  int32_t PlayerRaceNumber(uint32_t player) const;
  // A painted copy of the class's body table (alpha < 0 keeps the copied blending) and a copy
  // of its wheel table; null without a menu car. With makePaint the first material wears the
  // skin made by MakeCarPaint, the race number painted on when paintNumber is set; that new
  // texture goes to *paint when given (the caller releases it once the table is gone).
  VQMattable* SetMenuCarPaint(uint32_t classIndex, uint32_t skinIndex, float alpha,
                              bool paintNumber, int32_t number, bool makePaint,
                              VQTexture** paint = nullptr);
  VQMattable* SetMenuCarWheels(uint32_t classIndex, uint32_t skinIndex, bool withTexture);
  // Shows the class's menu car in preview `which` (0 first player's, 1 second's) with the skin
  // and that player's race number where the skin asks for one; the car it replaces gives up its
  // tables and paint.
  void ShowMenuCar(uint32_t classIndex, int which, uint32_t skinIndex, float alpha);
  // Takes the painted tables off the preview's car and releases its paint texture.
  void ReleaseMenuCarPaint(MenuPreview& preview);
  void ShowMenuTrack(uint32_t trackIndex);
  bool CreateMenuPreviews();
  void DestroyMenuPreviews();
  void FreeMenuCars();

  // Content.
  bool LoadClass(bool load, RacingClass* cls);
  void FreeClasses();
  void LoadSkins(const char* folder);
  bool LoadMaterials(bool load, const char* path);
  void FreeMaterials();
  bool LoadAIParameters(bool load, const char* path, bool keep);
  bool LoadHudParameters(const char* path);
  bool LoadMusicList(const char* path);
  void InstallBonusCar(const char* archive);
  void InstallBonusTrack(const char* archive);

  // Players.
  bool ScanPlayerProfiles();
  Player* CreatePlayerFromProfile(uint32_t profileIndex);
  Player* ReplacePlayerFromProfile(uint32_t profileIndex, uint32_t slot);
  void DestroyPlayer(Player* player);
  bool CheckClassIndex(int32_t* index) const;
  bool CheckColorIndex(int32_t classIndex, int32_t* index) const;
  bool CheckTrackIndex(int32_t* index) const;
  bool CheckLengthIndex(int32_t* index) const;
  bool CheckOpponentCount(int32_t* count) const;
  const CollisionMaterial* FindMaterial(const char* name) const;
  uint32_t FindClassIndex(const char* name) const;
  uint32_t FindNameIndex(const char* name) const;
  float GetFovScale() const;
  // Up to 100 random tries to find a set flag k (0..5; k = 1 not when skipOne): stores value in
  // entry k of the first player's six-entry championship table and clears flag k.
  void RandomFreeSlot(int32_t value, uint8_t flags[6], bool skipOne);
  void ApplySettings();
  // True while the game window's canvas still exists (closing the window destroys it).
  bool CanvasAlive() const;

  // Typed cheat words: the keyword detector's callback forwards the word's identifier here.
  void ApplyCheat(uint32_t index);
  static void OnCheatWord(uint32_t identifier, uintptr_t user);
  // Championship and results (ProgramChampionship.cpp; the rules are in Championship.h).
  ChampionshipWorld ChampWorld();
  bool SetupChampionship(uint32_t kind);
  void FillChampionshipTable(uint32_t kind);
  void ScoreRace(bool fromMenu, bool withoutRace);
  void SimulateOtherRaces(bool perClass, uint32_t track);
  void SortStandings();
  void FillStandings();
  void FillRaceResults();
  void FillStartList();
  void FillTimeTable();
  AIDriverRecord* GetAIDriver(uint32_t i);
  float GetBestTime(uint32_t cls, uint32_t track);
  // Takes the first player's saved standings, checked (after a profile was loaded).
  void RestoreChampionship();
  // Profiles of the options pages (ProgramProfiles.cpp). CreateProfile returns the page to show
  // (26 made; 17 full, 18 empty or unusable name, 19 taken). SelectProfile puts the profile into
  // the local player slot (0 or 1), saving the player it replaces.
  int32_t CreateProfile(const char* name, int32_t number);
  bool SelectProfile(uint32_t slot, uint32_t profileIndex);
  uint32_t LocalPlayerCount() const;

  // Names and version.
  const char* m_productName = "Quorvex";
  char m_versionText[32] = {};
  char m_versionLabel[32] = {};

  ProgramOptions m_options;
  GameSettings m_config;
  uint32_t m_textureFolder = 16;
  DataPaths* m_dataPaths = nullptr;
  int m_rootIndex = 2;
  VQStrings* m_texts = nullptr;

  uint8_t m_quit = 0;
  int32_t m_gameMode = 0;
  int32_t m_sessionRequest = SESSION_QUIT;
  int32_t m_menuReturnPage = 0;

  // Devices.
  VQDisplayDevice* m_displayDevice = nullptr;
  VQTextureManager* m_textureManager = nullptr;
  VQPixmapManager* m_pixmapManager = nullptr;
  VQDisplayDevice* m_softwareDevice = nullptr;
  VQDevice* m_keyboard = nullptr;
  VQDevice* m_soundDevice = nullptr;
  VQDevice* m_joysticks[PROGRAM_JOYSTICKS] = {};
  uint8_t m_joystickEnabled[PROGRAM_JOYSTICKS] = {};
  VQCanvas* m_canvas = nullptr;
  VQCamera* m_mainCamera = nullptr;
  VQViewport* m_mainViewport = nullptr;
  int m_displayKind = 0;
  bool m_twoTextures = true;

  // Settings a player profile replaces, and the defaults of start-up.
  uint32_t m_voiceLimit = 1;
  uint32_t m_soundFormat[3] = {2, 16, 22050};
  uint32_t m_magFilter = VQFILTER_LINEAR, m_minFilter = VQFILTER_LINEAR;
  float m_volumeMusic = 0.6f, m_volumeMaster = 1.0f, m_volumeCars = 1.0f, m_volumeAmbient = 1.0f,
        m_volumeComment = 1.0f;
  float m_materialDefaults[3] = {0.5f, 0.1f, 0.2f};
  float m_physicsStep = 0.005f;
  float m_timeScale = 1.0f;
  uint32_t m_networkTimeout = 30;
  uint32_t m_champTrackCount = PROGRAM_CHAMP_TRACKS;
  uint32_t m_previousAITrack = 999;
  int32_t m_playerCarDefaults[2][9] = {};
  std::string m_windowTitle;
  int32_t m_bindings[16] = {};

  // Content tables.
  uint32_t m_materialHeader[3] = {};
  std::vector<CollisionMaterial> m_materials;
  RacingClass* m_classes[CLASS_MAX] = {};
  uint32_t m_classCount = 0;
  TrackEntry m_tracks[PROGRAM_MAX_TRACKS];
  uint32_t m_trackCount = 0;
  std::vector<AIDriverRecord> m_aiDrivers;
  MusicList m_music;
  WeatherDatabase* m_weather = nullptr;
  CarCatalog* m_carCatalog = nullptr;  // the classes' cars for the race (scene models, records)
  uint32_t m_raceLengths[PROGRAM_RACE_LENGTHS] = {1, 2, 3, 5, 10, 20};
  ChoiceList m_lengthChoices, m_choices3, m_choices2;

  // Fonts: the manager owns the lap-time, menu, help and countdown fonts; the four car-number
  // fonts are built here from the software device's textures and owned by the Program.
  VQFontManager* m_fontManager = nullptr;
  VQFont* m_carNumberFonts[PROGRAM_CAR_NUMBER_FONTS] = {};
  VQFont* m_lapTimeFonts[PROGRAM_LAP_TIME_FONTS] = {};
  VQFont* m_menuFonts[PROGRAM_MENU_FONTS] = {};  // normal, title, highlighted
  VQFont* m_helpFont = nullptr;
  VQFont* m_classFont = nullptr;  // every class record starts with it
  VQFont* m_countdownFont = nullptr;

  KeywordDetector* m_keywordDetector = nullptr;
  CheatState m_cheats;

  // Menus and music.
  Menu* m_menu = nullptr;
  MusicTrack* m_musicTrack = nullptr;  // the music player; null without a sound device
  MenuState m_ms;
  uint8_t m_raceRunning = 0;  // a race is loaded (menus then serve its pause menu)
  RaceSession* m_raceSession = nullptr;  // the loaded race while one runs

  VQSoundBuffer* m_falseStartSample = nullptr;  // data file 32; null without sound
  VQNode* m_prizesScene = nullptr;  // "Data\prizes_track.vqo"
  VQNode* m_prizeNode = nullptr;    // its node "1", whose first mesh gives the prize picture

  // Players.
  std::vector<std::string> m_profileNames;
  Player* m_players[PROGRAM_MAX_PLAYERS] = {};
  uint32_t m_playerCount = 0;
  uint32_t m_remotePlayerCount = 0;
  uint32_t m_champPlayerCount = 0;
  Championship m_championship;
  std::vector<ChampParticipant> m_raceParticipants;  // the last race's field, for scoring
  uint8_t m_playerFlag = 0;

  // Options and championship pages (OptionsMenus.cpp).
  int32_t m_bindingPlayer = 0;         // the local player whose bindings page 12 shows
  MenuItem* m_captureItem = nullptr;   // a binding item waiting for a key, axis or button
  float m_captureAxes[PROGRAM_JOYSTICKS][8] = {};  // joystick states when the capture began
  uint32_t m_captureButtons[PROGRAM_JOYSTICKS] = {};
  int32_t m_unlockedCar = -1;          // class of the car the last championship opened
  uint32_t m_lastChampionshipPlace = 0;
  uint8_t m_fromResults = 0;           // the standings were reached from the race results
  uint8_t m_scoreAfterRace = 0;        // the set-up page's "start and score" was chosen
  uint8_t m_prizeTrack = 0;            // the prize track was opened
  char m_champTitle[64] = {};          // the title of the championship race set-up page
  // The next championship race was started from the pages shown over a finished race: the
  // menus that follow that race start it at once instead of showing their first page.
  uint8_t m_champNextRace = 0;

  // Network play (ProgramNetwork.cpp). The Open operations write the page to show next into
  // *page; UpdateNetwork runs the session once a frame (menu and race frames in game mode 6).
  bool OpenNetwork();
  bool OpenDatagramLayers(int32_t* page);
  bool OpenGameConnection(int32_t* page);
  void CloseNetwork();
  void UpdateNetwork(float frameTime);
  void AddChatLine(const char* text);
  NetSession* m_net = nullptr;
  ProgramNetHooks* m_netHooks = nullptr;
  uint8_t m_isHost = 0;
  uint8_t m_netSearch = 0;                 // joining by the beacon (1) or the typed address (0)
  uint8_t m_localAddress[4] = {};          // zeros when unknown
  char m_connectionText[128] = {};
  char m_chatLines[5][78] = {};            // the newest at the end
  int32_t m_netPage = -1;                  // a page the network asks the menus to show (-1 none)
  char m_netPageText[256] = {};            // the refusal text of that page
  float m_netRaceTime = 0.0f;              // the race clock until a race runs
  // Network races, called by the race run in game mode 6. AddNetworkRacers puts the other
  // players' cars into the field: those whose start slot comes before the own player's
  // (beforeOwn) ahead of it, the rest behind it, so that every machine has the same grid.
  // NetworkRaceFrame runs the network once a race frame and tells whether the race's results
  // are in (NetRaceFrame); EndNetworkRace follows the race's teardown.
  bool AddNetworkRacers(RaceSession& race, const std::string& track, const std::string& className,
                        bool beforeOwn, std::string* error);
  int32_t NetworkRaceFrame(RaceSession& race);
  // The cars of players who left during the race, kept for the race's views: released once
  // the views are gone, while the track still holds their scene.
  void ReleaseLeftNetworkCars();
  void EndNetworkRace();
  // The weather of the network race about to load: the host's choice from the race set-up
  // (already drawn when the host chose a random one), so every machine races in the same one.
  // False when no set-up is in.
  bool NetworkRaceWeather(int32_t* weather) const;
  NetRaceData* m_netRace = nullptr;

  // Last text given to Error (for tests and the headless report) and how many were shown.
  std::string m_lastError;
  uint32_t m_errorCount = 0;

 private:
  bool OpenDisplayDevice();
  bool OpenSoftwareDevice();
  bool OpenKeyboard();
  void OpenSound();
  bool CreateCanvasAndViewport();
  void AttachDevicesToCanvas();
  void OpenJoysticks();
  void LoadFonts();
  void FreeFonts();
  bool CreateKeywordDetector();
  bool LoadClasses();
  bool LoadTracks();
  bool LoadPlayers();
  void CreateMenus();
  void LoadPrizesScene();
  void ShowMessageBox(const char* text);
  // A message box with its own title (stderr and the log when headless).
  void ShowMessage(const char* text, const char* title);
  void InstallBonus(const char* archive, const char* kind);
  std::string DataFile(uint32_t id) const;
  std::string DataFolder(uint32_t id) const;
};

extern Program* g_program;
// The game log, between the Program's construction and its shutdown.
extern VQLogFile* g_gameLog;

// The per-frame work every screen's update callback does first: the frame budget (--frames),
// the scripted input and a closed game window; false once the screen is to end.
bool ProgramScreenFrame();
// Lets the screens of a Program run outside RunProgram (benchmarks, tools): the window closes
// after that many more frames (0: no limit).
void ProgramSetFrameBudget(Program* program, uint32_t frames);

// The main routine: runs the screens; 0 after a normal end, 1 when start-up fails.
int RunProgram(int argc, char** argv);
// Reads the Linux options (--data, --headless, --seed, --fixed-step, --input, --frames,
// --results); false with a message in error for a bad command line.
bool ParseProgramOptions(int argc, char** argv, ProgramOptions* options, std::string* error);
