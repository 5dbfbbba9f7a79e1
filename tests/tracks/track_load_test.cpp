// Loading the generated tracks: every track at every detail level, the terrain cache, the
// fall-back to "high", failed loads that keep nothing, and bounded counts from the files.
#include <cstring>

#include "QVX/race/Simulation.h"
#include "QVX/shell/RecordBytes.h"
#include "tests/tracks/track_world.h"
#include "Zentri/collision/VQTerrainTree.h"
#include "Zentri/scene/VQMaterial.h"
#include "Zentri/scene/VQNodes.h"

using namespace trackstest;

namespace {
class TrackLoad : public TrackWorld {};
}  // namespace

TEST_F(TrackLoad, EveryGeneratedTrackLoadsAtEachDetailLevel) {
  for (const char* t : kTracks) {
    for (uint32_t level = TRACK_DETAIL_LOW; level <= TRACK_DETAIL_HIGH; ++level) {
      SCOPED_TRACE(std::string(t) + " " + g_trackDetailNames[level]);
      track_.m_services = Services(level);
      ASSERT_TRUE(track_.Load(t, "sunny", 0.0f)) << (errors_.empty() ? "" : errors_.back());
      EXPECT_EQ(g_track, &track_);
      EXPECT_EQ(track_.m_detail, level);
      EXPECT_EQ(track_.m_gridCount, 32u);
      EXPECT_EQ(track_.m_pitCount, 32u);
      EXPECT_EQ(track_.m_podiumCount, 3u);
      EXPECT_EQ(track_.m_prizeCount, 3u);
      EXPECT_EQ(track_.m_aiLineCount, 1u);
      EXPECT_EQ(track_.m_checkpointCount, 8u);
      EXPECT_EQ(track_.m_checkpoints[0]->kind, 1u);
      EXPECT_GE(track_.m_cameraCount, 4u);
      EXPECT_NE(track_.m_sun, nullptr);
      EXPECT_NE(track_.m_red, nullptr);
      EXPECT_NE(track_.m_orange, nullptr);
      EXPECT_NE(track_.m_green, nullptr);
      EXPECT_NE(track_.m_shadowMap, nullptr);
      EXPECT_GT(track_.m_terrain->GetTriangleCount(), 100u);
      EXPECT_NE(track_.m_weatherConfig, nullptr);
      // Every grid place stands on the road (tarmac, index 0) with ground below it.
      for (uint32_t i = 0; i < track_.m_gridCount; ++i) {
        uint32_t material = 99;
        const VQVector& p = track_.m_grid[i].position;
        const float h = track_.GroundHeight(VQVector(p.x, p.y, p.z + 3.0f), nullptr, nullptr,
                                            nullptr, nullptr, nullptr, &material, nullptr);
        EXPECT_NEAR(h, p.z - 0.3f, 0.2f) << i;
        EXPECT_EQ(material, 0u) << i;
      }
      track_.Unload();
      EXPECT_FALSE(track_.IsLoaded());
      EXPECT_EQ(g_track, nullptr);
    }
  }
}

TEST_F(TrackLoad, TerrainCacheIsBuiltOnceThenRead) {
  const fs::path cache = TrackFile("harbour_high.vqt");
  ASSERT_FALSE(fs::exists(cache));
  ASSERT_TRUE(track_.Load("harbour", "sunny", 0.0f));
  EXPECT_FALSE(track_.m_terrainFromCache);
  EXPECT_TRUE(fs::exists(cache));
  const uint32_t triangles = track_.m_terrain->GetTriangleCount();
  const float h =
      track_.GroundHeightAt(VQVector(track_.m_grid[0].position.x, track_.m_grid[0].position.y, 50));
  track_.Unload();
  ASSERT_TRUE(track_.Load("harbour", "sunny", 0.0f));
  EXPECT_TRUE(track_.m_terrainFromCache);
  EXPECT_EQ(track_.m_terrain->GetTriangleCount(), triangles);
  EXPECT_EQ(
      track_.GroundHeightAt(VQVector(track_.m_grid[0].position.x, track_.m_grid[0].position.y, 50)),
      h);
}

TEST_F(TrackLoad, MissingDetailLevelFallsBackToHighForSceneAndCache) {
  fs::remove(TrackFile("forest_low.vqo"));
  track_.m_services = Services(TRACK_DETAIL_LOW);
  ASSERT_TRUE(track_.Load("forest", "sunny", 0.0f));
  EXPECT_EQ(track_.m_detail, TRACK_DETAIL_HIGH);
  EXPECT_TRUE(fs::exists(TrackFile("forest_high.vqt")));
  EXPECT_FALSE(fs::exists(TrackFile("forest_low.vqt")));
}

TEST_F(TrackLoad, WeatherVariantIsPickedByCumulativeOdds) {
  // The "showers" file lists rain (0.7) and cloudy (0.3).
  ASSERT_TRUE(track_.Load("city", "showers", 0.0f));
  EXPECT_EQ(track_.m_weatherName, "rain");
  EXPECT_NE(track_.m_rainConfig, nullptr);
  track_.Unload();
  ASSERT_TRUE(track_.Load("city", "showers", 0.75f));
  EXPECT_EQ(track_.m_weatherName, "cloudy");
  track_.Unload();
  ASSERT_TRUE(track_.Load("city", "thunderstorm", 0.5f));
  EXPECT_EQ(track_.m_thunderCount, 1u);
  EXPECT_NE(track_.m_fog, nullptr);
}

// Every way a load can fail: false, an error where the user must see one, and nothing kept:
// no global track, the texture manager back to its state before, no sampling left pushed.
TEST_F(TrackLoad, FailedLoadReportsAndKeepsNothing) {
  struct Case {
    const char* what;
    std::function<void(TrackLoad*)> spoil;
    const char* weather;
    const char* message;  // start of the expected error, "" for none
  };
  const Case cases[] = {
      {"settings missing", [](TrackLoad* w) { fs::remove(w->TrackFile("desert.bin")); }, "sunny",
       ""},
      {"weather file missing", [](TrackLoad*) {}, "nosuchweather",
       "Unknown weather type '' in track weather file"},
      {"weather config unknown",
       [](TrackLoad* w) {
         std::vector<uint8_t> r = ReadPlain(w->TrackFile("desert_weather_sunny.bin"));
         Record_PutName(r.data(), 768, 32, "hailstorm");
         WritePlain(w->TrackFile("desert_weather_sunny.bin"), r);
       },
       "sunny", "Unknown weather type 'hailstorm'"},
      {"database missing", [](TrackLoad* w) { fs::remove(w->TrackFile("desert_high.vqo")); },
       "sunny", "Cannot load track database"},
      {"meta missing", [](TrackLoad* w) { fs::remove(w->TrackFile("desert_meta.vqo")); }, "sunny",
       "Cannot load track meta database"},
      {"cameras missing", [](TrackLoad* w) { fs::remove(w->TrackFile("desert_cams.bin")); },
       "sunny", ""},
      {"51 cameras",
       [](TrackLoad* w) {
         std::vector<uint8_t> one = ReadPlain(w->TrackFile("desert_cams.bin"));
         one.resize(TRACK_CAMERA_SIZE);
         std::vector<uint8_t> many;
         for (int i = 0; i < 51; ++i) many.insert(many.end(), one.begin(), one.end());
         WritePlain(w->TrackFile("desert_cams.bin"), many);
       },
       "sunny", "Too many cameras"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    c.spoil(this);
    const uint32_t textures = display_.m_textureManager->m_count;
    const uint32_t materials = VQmaterial_LibraryCount();
    errors_.clear();
    EXPECT_FALSE(track_.Load("desert", c.weather, 0.0f));
    EXPECT_FALSE(track_.IsLoaded());
    EXPECT_EQ(g_track, nullptr);
    EXPECT_EQ(track_.m_scene, nullptr);
    EXPECT_EQ(track_.m_terrain, nullptr);
    EXPECT_EQ(track_.m_cameraCount, 0u);
    EXPECT_EQ(track_.m_checkpointCount, 0u);
    EXPECT_EQ(display_.m_textureManager->m_count, textures);
    EXPECT_EQ(display_.m_textureManager->m_samplingDepth, 0u);
    EXPECT_EQ(display_.m_textureManager->m_currentGroup, 0u);
    EXPECT_EQ(VQmaterial_LibraryCount(), materials);
    if (*c.message) {
      ASSERT_FALSE(errors_.empty());
      EXPECT_EQ(errors_.back().rfind(c.message, 0), 0u) << errors_.back();
    }
    // The same object loads a good track afterwards.
    EXPECT_TRUE(track_.Load("harbour", "sunny", 0.0f));
    track_.Unload();
  }
}

TEST_F(TrackLoad, CountsInTheSettingsRecordAreBounded) {
  std::vector<uint8_t> r = ReadPlain(TrackFile("canyon.bin"));
  Record_PutU32(r.data(), 924, 1000000);      // map points
  Record_PutU32(r.data(), 1312, 0xFFFFFFFF);  // sound events
  for (uint32_t k = 0; k < TRACK_MAX_SOUND_EVENTS; ++k) {
    uint8_t* e = r.data() + 1316 + TRACK_SOUND_EVENT_SIZE * k;
    Record_PutU32(e, 0, 1);  // commentary, grouped by name
    Record_PutName(e, 40, 64, k % 2 ? "phrase_a.wav" : "phrase_b.wav");
  }
  WritePlain(TrackFile("canyon.bin"), r);
  track_.m_services.sound = true;
  ASSERT_TRUE(track_.Load("canyon", "sunny", 0.0f));
  EXPECT_EQ(track_.m_mapPointCount, TRACK_MAP_POINTS);
  EXPECT_EQ(track_.m_soundEventCount, TRACK_MAX_SOUND_EVENTS);
  EXPECT_STREQ(track_.m_soundEvents[0].sound, "phrase_b.vqw");
  EXPECT_EQ(track_.m_soundEvents[0].group, 1u);
  EXPECT_EQ(track_.m_soundEvents[1].group, 2u);
  EXPECT_EQ(track_.m_soundEvents[2].group, 1u);
  track_.Unload();
  // Two local players on one screen make no sound events.
  track_.m_services.gameMode = GAME_MODE_SPLIT;
  ASSERT_TRUE(track_.Load("canyon", "sunny", 0.0f));
  EXPECT_EQ(track_.m_soundEventCount, 0u);
}

TEST_F(TrackLoad, CamerasRegisterAndAreFoundByName) {
  ASSERT_TRUE(track_.Load("alpine", "sunny", 0.0f));
  Simulation sim;
  ASSERT_TRUE(track_.RegisterCameras(&sim));
  EXPECT_EQ(sim.m_cameraCount, track_.m_cameraCount);
  for (const char* name : {"tower", "TowerPractice", "FOLLOW", "podium"})
    EXPECT_NE(sim.FindCamera(name), nullptr) << name;
  EXPECT_EQ(sim.FindCamera("nothing"), nullptr);
  EXPECT_EQ(sim.FindCamera("follow")->type, uint32_t(TRACK_CAMERA_CHASE));
}

TEST_F(TrackLoad, UnloadReleasesTexturesAndMaterials) {
  const uint32_t textures = display_.m_textureManager->m_count;
  const uint32_t materials = VQmaterial_LibraryCount();
  ASSERT_TRUE(track_.Load("city", "sunny", 0.0f));
  EXPECT_GT(display_.m_textureManager->m_count, textures);
  track_.Unload();
  EXPECT_EQ(display_.m_textureManager->m_count, textures);
  EXPECT_EQ(VQmaterial_LibraryCount(), materials);
}

TEST_F(TrackLoad, EveryTrackLoadsEveryWeatherOfItsList) {
  for (const char* t : kTracks)
    for (const char* w : {"sunny", "overcast", "evening", "showers", "thunderstorm"}) {
      SCOPED_TRACE(std::string(t) + " " + w);
      ASSERT_TRUE(track_.Load(t, w, 0.5f)) << (errors_.empty() ? "" : errors_.back());
      EXPECT_EQ(track_.m_fog != nullptr, std::string(w) != "sunny");
      track_.Unload();
    }
  ASSERT_TRUE(track_.Load("city", "evening", 0.0f));
  EXPECT_EQ(track_.m_weatherName, "night");
  EXPECT_LT(track_.m_sun->m_diffuse.r, 0.5f);
}
