// What the menus and the screens keep between frames and pages: the set-up choices while a page
// is open, the choice lists the value items point at, the text buffers of the tree, the preview
// animations and the intro, menu and outro screens' timelines. One lives in the Program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "QVX/menu/TextField.h"

class MenuPage;
class VQMattable;
class VQCamera;
class VQImageRef;
class VQNode;
class VQTextElement;
class VQTexture;
class VQViewport;

constexpr uint32_t MENUSTATE_MAX_CHOICES = 256;
constexpr uint32_t MENUSTATE_MAX_WEATHERS = 10;
constexpr float MENU_IDLE_SECONDS = 30.0f;

// One of the previews beside the menus: a direction of fade (alpha 0.45 to 1) and of slide
// (0 to 1), each -1 or +1, with a moving flag.
struct MenuPreview {
  float fadeDirection = 1.0f, slideDirection = -1.0f;
  uint8_t fading = 0, sliding = 0;
  float alpha = 1.0f, slide = 0.0f;
  uint8_t shown = 0;  // the display is switched on
  VQNode* model = nullptr;
  VQTexture* paint = nullptr;  // the shown car's painted skin (display texture), or null
  VQNode* group = nullptr;
  VQNode* scene = nullptr;
  VQCamera* camera = nullptr;
  VQViewport* viewport = nullptr;
  void Fade(float direction) {
    fadeDirection = direction;
    fading = 1;
  }
  void Slide(float direction) {
    slideDirection = direction;
    sliding = 1;
  }
  // Moves alpha and slide by the frame time within their ranges.
  void Step(float dt);
};

// A racing class's menu car, loaded once and kept: its scene and the body and wheel material
// tables it gave up (the previews put painted copies on the nodes).
struct MenuCarScene {
  VQNode* scene = nullptr;
  VQMattable* bodyTable = nullptr;
  VQMattable* wheelTable = nullptr;
};
constexpr uint32_t MENUSTATE_MAX_CLASSES = 40;

struct MenuState {
  // Set-up choices while a page is open.
  int32_t menuClass = 0, menuColor = 0, menuClass2 = 0, menuColor2 = 0, menuTrack = 0,
          menuLength = 0, menuWeather = 0, menuGhostMode = 0, menuRaceType = 0;

  // Choice lists of the tree (texts are not owned).
  const char* classNames[MENUSTATE_MAX_CHOICES] = {};
  const char* trackNames[MENUSTATE_MAX_CHOICES] = {};
  const char* profileNames[MENUSTATE_MAX_CHOICES] = {};
  const char* skins1[MENUSTATE_MAX_CHOICES] = {};  // handler list 1: player 1's skins
  const char* skins2[MENUSTATE_MAX_CHOICES] = {};  // handler list 2: player 2's skins
  const char* weathers[MENUSTATE_MAX_WEATHERS + 1] = {};
  std::vector<std::string> weatherTexts;  // what weathers points at

  // Text buffers of the tree.
  char playerLine[96] = {};
  char networkLine[128] = {};
  char actionBuffers[10][32] = {};  // items 30 to 39
  char newProfileName[32] = {};     // item 90
  char addressText[32] = {};        // item 320
  char skinNameText[32] = {};       // item 520
  char loadingTitle[64] = {};       // page 28's subtitle
  char page42Subtitle[8] = {};
  char page43Line[64] = {};
  char page33Heading[64] = {};
  char resultsText[3][2048] = {};  // result pages' text blocks

  // Built flags and the pages kept by pointer.
  uint8_t menusBuilt = 0, sessionBuilt = 0, raceMenusBuilt = 0;
  MenuPage* sessionPage = nullptr;
  MenuPage* racePage = nullptr;
  uint32_t gammaControl = 0;  // the display device offers gamma control

  // The text field being typed into (items 90, 320 and 520).
  TextField field;

  // Previews.
  MenuPreview car1, car2, track;
  MenuCarScene menuCars[MENUSTATE_MAX_CLASSES];

  // Screens.
  uint8_t menuRunning = 0;
  uint8_t closed = 0;  // the game window was closed (a quit message): no outro
  uint8_t raceStart = 0;
  int32_t startPage = 1;
  float idleCountdown = MENU_IDLE_SECONDS;
  VQTextElement* idleText = nullptr;
  uint8_t idleShown = 0;
  char idleBuffer[64] = {};
  VQTextElement* versionText = nullptr;
  VQNode* menuScene = nullptr;
  VQNode* menuSceneGroup = nullptr;
  uint8_t controllerPlaced = 0;
  float overlayAngle = 0.0f, caretClock = 0.0f;
  uint8_t caretOn = 0;
  uint32_t currentTrack = 0, previousTrack = 999;
  // Slides of the picture panel.
  VQImageRef* slide = nullptr;
  int32_t slideCurrent = -1, slideRequested = 0, slideFadeState = 2;
  float slideFade = 0.0f;
  // Intro and outro.
  float introTime = 0.0f, outroTime = 0.0f;
  uint8_t introSkip = 0, outroSkip = 0;
  VQImageRef* introImages[4] = {};
  VQTextElement* introText = nullptr;
  VQTextElement* outroText = nullptr;
  VQImageRef* outroImage = nullptr;
  int32_t introScroll = 0, outroScroll = 0, outroScrollLength = 0;
  uint8_t introMusic = 0;
  float introFade = 0.0f;
  // The in-race menu and the small game of page 32.
  uint8_t restartRebuildsGrid = 0;
  int32_t smallGame[2] = {};
  // How many screenshots were written this run.
  uint32_t screenshots = 0;
};
