// datagen --source DATA --out GAME [--vqtool PATH]
// Writes the sample data tree: Config.ini and Data/... (folder and file names as the game
// spells them) from the readable sources in DATA (data/README.md describes them and the
// layouts of the binary records).
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "QVX/race/PlayerProfile.h"
#include "QVX/race/WeatherDatabase.h"
#include "QVX/shell/Content.h"
#include "QVX/shell/InputCodes.h"
#include "QVX/shell/RecordBytes.h"
#include "Zentri/util/VQStrings.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQscramble.h"
#include "tools/datagen/datagen.h"

namespace fs = std::filesystem;

namespace datagen {

namespace {
std::string g_out;
}

void Fail(const std::string& message) {
  std::fprintf(stderr, "datagen: %s\n", message.c_str());
  std::exit(1);
}

std::string OutPath(const std::string& relative) { return (fs::path(g_out) / relative).string(); }

void MakeFolder(const std::string& path) {
  std::error_code ec;
  fs::create_directories(g_out + "/" + path, ec);
  if (ec) Fail("cannot make folder " + path + ": " + ec.message());
}

void WriteFile(const std::string& path, const void* data, size_t size) {
  const fs::path full = fs::path(g_out) / path;
  std::error_code ec;
  fs::create_directories(full.parent_path(), ec);
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), std::streamsize(size));
  if (!out) Fail("cannot write " + full.string());
}

namespace {

std::string ReadSource(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Out(const std::string& relative) { return (fs::path(g_out) / relative).string(); }

// ---- the content source ------------------------------------------------------------------------

struct MaterialSpec {
  std::string name, sound, texture;
  uint32_t values[6] = {};
  float gain = 1.0f;
  uint32_t kept = 0;
  uint32_t entry[4] = {};
};
struct ClassSpec {
  std::string name, material, skinClass;
  uint32_t difficulty = 1, gears = 5, style = 0;
  uint8_t r = 0, g = 0, b = 0;
};
struct WeatherSpec {
  std::string name;
  bool fog = false;
  float fogColour[3] = {}, fogStart = 0, fogEnd = 0;
  float sun[3] = {1, 1, 1};
  float dome[3] = {0.5f, 0.6f, 0.9f};
  bool reflection = false, crowd = true;
  std::vector<std::string> rain;     // rain variants
  std::vector<std::string> thunder;  // thunder variants
  std::string environment = "FX_environment_A";
  uint8_t rainLevel = 0;
};
struct RainSpec {
  std::string name, sound;
  float density = 0.5f, speed = 10, width = 0.02f, height = 0.6f, opacity = 0.5f, colour[3] = {0.7f, 0.7f, 0.8f},
        gain = 0.8f;
};
struct ThunderSpec {
  std::string name, sound;
  float duration = 0.2f, pauseMin = 5, pauseRange = 10, delayMin = 0.5f, delayRange = 2, gainMin = 0.6f,
        gainRange = 0.4f;
};
struct VariantSpec {
  std::string name;
  uint32_t slot = 0;
  std::vector<std::string> configs;
  std::vector<float> odds;
};
struct Content {
  std::vector<MaterialSpec> materials;
  std::vector<ClassSpec> classes;
  std::vector<std::string> tracks;
  std::vector<WeatherSpec> weather;
  std::vector<RainSpec> rain;
  std::vector<ThunderSpec> thunder;
  std::vector<VariantSpec> variants;  // every track gets all of them
  std::vector<std::string> drivers;
  std::vector<std::string> profiles;
};

Content ReadContent(const std::string& path) {
  Content c;
  std::istringstream lines(ReadSource(path));
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    std::istringstream w(line);
    std::string kind;
    if (!(w >> kind) || kind[0] == '#') continue;
    bool ok = true;
    if (kind == "material") {
      MaterialSpec m;
      ok = bool(w >> m.name >> m.values[0] >> m.values[1] >> m.values[2] >> m.values[3] >> m.values[4] >> m.values[5] >>
                m.sound >> m.gain >> m.texture >> m.entry[0] >> m.entry[1] >> m.entry[2] >> m.entry[3]);
      if (m.sound == "-") m.sound.clear();
      if (m.texture == "-") m.texture.clear();
      c.materials.push_back(m);
    } else if (kind == "class") {
      ClassSpec k;
      int r, g, b;
      ok = bool(w >> k.name >> k.difficulty >> k.gears >> k.material >> k.style >> k.skinClass >> r >> g >> b);
      k.r = uint8_t(r);
      k.g = uint8_t(g);
      k.b = uint8_t(b);
      c.classes.push_back(k);
    } else if (kind == "track") {
      std::string t;
      ok = bool(w >> t);
      c.tracks.push_back(t);
    } else if (kind == "weather") {
      WeatherSpec s;
      std::string rain, thunder;
      int fog, reflection, crowd, level;
      ok = bool(w >> s.name >> fog >> s.fogColour[0] >> s.fogColour[1] >> s.fogColour[2] >> s.fogStart >> s.fogEnd >>
                s.sun[0] >> s.sun[1] >> s.sun[2] >> s.dome[0] >> s.dome[1] >> s.dome[2] >> reflection >> crowd >> level >>
                rain >> thunder);
      s.fog = fog != 0;
      s.reflection = reflection != 0;
      s.crowd = crowd != 0;
      s.rainLevel = uint8_t(level);
      if (rain != "-") s.rain.push_back(rain);
      if (thunder != "-") s.thunder.push_back(thunder);
      c.weather.push_back(s);
    } else if (kind == "rain") {
      RainSpec s;
      ok = bool(w >> s.name >> s.density >> s.speed >> s.opacity >> s.sound >> s.gain);
      c.rain.push_back(s);
    } else if (kind == "thunder") {
      ThunderSpec s;
      ok = bool(w >> s.name >> s.duration >> s.pauseMin >> s.pauseRange >> s.sound >> s.gainMin);
      c.thunder.push_back(s);
    } else if (kind == "variant") {
      VariantSpec v;
      ok = bool(w >> v.name >> v.slot);
      std::string config;
      float odds;
      while (w >> config >> odds) {
        v.configs.push_back(config);
        v.odds.push_back(odds);
      }
      ok = ok && !v.configs.empty();
      c.variants.push_back(v);
    } else if (kind == "driver") {
      std::string d;
      ok = bool(w >> d);
      c.drivers.push_back(d);
    } else if (kind == "profile") {
      std::string p;
      ok = bool(w >> p);
      c.profiles.push_back(p);
    } else {
      ok = false;
    }
    if (!ok) Fail(path + ":" + std::to_string(number) + ": cannot read '" + line + "'");
  }
  if (c.classes.empty() || c.tracks.empty() || c.materials.empty()) Fail(path + ": needs classes, tracks, materials");
  return c;
}

// ---- languages ---------------------------------------------------------------------------------

const char* const kLanguages[7] = {"English", "Nederlands", "Deutsch", "Francais", "Italiano", "Espagnol", "Polish"};

void WriteLanguages(const std::string& source) {
  VQStrings english;
  const std::string englishText = ReadSource(source + "/languages/English.txt");
  if (!english.LoadText(englishText.data(), englishText.size(), false))
    Fail("languages/English.txt is damaged (" + VQerror_Describe(g_VQerror) + ")");
  for (const char* language : kLanguages) {
    const std::string text = ReadSource(source + "/languages/" + language + ".txt");
    VQStrings own;
    if (!own.LoadText(text.data(), text.size(), false))
      Fail(std::string("languages/") + language + ".txt is damaged (" + VQerror_Describe(g_VQerror) + ")");
    // Every entry of the English table exists in every language: a text that a language does
    // not give yet is the English one, so no identifier shows as empty.
    VQStrings table;
    for (uint32_t i = 0; i < english.GetCount(); ++i) {
      const char* key = english.GetKey(i);
      const int32_t id = english.GetId(i);
      const char* mine = *key ? own.GetByKey(key) : own.GetById(id);
      bool found = *mine != 0;
      if (!found) {
        for (uint32_t k = 0; k < own.GetCount(); ++k)
          if (std::strcmp(own.GetKey(k), key) == 0 && own.GetId(k) == id) found = true;
      }
      if (!table.Add(key, id, found ? mine : english.GetText(i))) Fail("too many message strings");
    }
    const std::string folder = "Data/Languages/";
    WriteFile(folder + language + ".txt", text);
    if (!table.SaveBinary(Out(folder + language + ".bin").c_str())) Fail(std::string("cannot write ") + language + ".bin");
  }
}

// ---- content records -----------------------------------------------------------------------------

void WriteMaterials(const Content& c) {
  std::vector<CollisionMaterial> table(c.materials.size());
  for (size_t i = 0; i < c.materials.size(); ++i) {
    const MaterialSpec& s = c.materials[i];
    CollisionMaterial& m = table[i];
    std::snprintf(m.name, sizeof m.name, "%s", s.name.c_str());
    std::memcpy(m.values, s.values, sizeof m.values);
    std::snprintf(m.soundName, sizeof m.soundName, "%s", s.sound.empty() ? "" : (s.sound + ".wav").c_str());
    m.soundGain = s.gain;
    m.kept = s.kept;
    std::snprintf(m.textureName, sizeof m.textureName, "%s", s.texture.c_str());
    std::memcpy(m.textureValues, s.entry, sizeof s.entry);
  }
  // Header: the three collision-sound parameters (minimum speed, base gain, gain per speed) as
  // floats.
  uint32_t header[3];
  const float params[3] = {2.0f, 0.3f, 0.05f};
  std::memcpy(header, params, sizeof header);
  const std::vector<uint8_t> bytes = Materials_Build(header, table);
  WriteFile("Data/Materials.bin", bytes.data(), bytes.size());
}

void PutFloats(uint8_t* r, size_t offset, std::initializer_list<float> values) {
  for (float v : values) {
    Record_PutF32(r, offset, v);
    offset += 4;
  }
}

void WriteClasses(const Content& c) {
  static const char* const kSoundSuffix[CLASS_SOUNDS] = {"engine", "engine_ai", "road", "road_wet", "horn"};
  static const SoundKind kSoundKinds[CLASS_SOUNDS] = {SoundKind::Engine, SoundKind::EngineLow, SoundKind::Road,
                                                      SoundKind::RoadWet, SoundKind::Horn};
  static const char* const kImageSuffix[CLASS_IMAGES] = {"speedo", "speedbar", "revs", "revbar"};
  for (size_t k = 0; k < c.classes.size(); ++k) {
    const ClassSpec& s = c.classes[k];
    uint8_t r[CLASS_RECORD_SIZE] = {};
    Record_PutU32(r, CLASSREC_DIFFICULTY, s.difficulty);
    Record_PutU32(r, CLASSREC_NUMBER, CLASS_NO_NUMBER);
    Record_PutU32(r, CLASSREC_GEARS, s.gears);
    Record_PutU32(r, CLASSREC_BASE_CLASS, 0);
    Record_PutU32(r, CLASSREC_NUMBER_STYLE, s.style);
    for (uint32_t i = 0; i < CLASS_SOUNDS; ++i) {
      const std::string name = "car_" + s.name + "_" + kSoundSuffix[i];
      Record_PutName(r, g_classSoundOffsets[i], CLASS_NAME_FIELD, (name + ".wav").c_str());
      const Sound sound = SynthesiseSound(kSoundKinds[i], uint32_t(k + 1));
      WriteFile("Data/Audio/" + name + ".wav", WaveFile(sound, false));
      WriteFile("Data/Audio/" + name + ".vqw", WaveFile(sound, true));
    }
    Record_PutName(r, CLASSREC_MATERIAL, CLASS_NAME_FIELD, s.material.c_str());
    for (uint32_t i = 0; i < CLASS_IMAGES; ++i) {
      const std::string name = "hud_" + s.name + "_" + kImageSuffix[i] + ".tga";
      Record_PutName(r, g_classImageOffsets[i], CLASS_NAME_FIELD, name.c_str());
      Image image = MakeImage(128, i % 2 ? 16 : 128);
      image.Fill(0, 0, 0, 0);
      if (i % 2) {
        image.Rect(0, 0, 128, 16, s.r, s.g, s.b, 220);
      } else {
        for (int a = 0; a < 360; a += 2) {
          const double rad = a * 3.14159265 / 180.0;
          image.Set(int(64 + 60 * std::cos(rad)), int(64 + 60 * std::sin(rad)), 255, 255, 255);
        }
      }
      WriteTga(Out("Data/Maps_low/" + name), image);
      WriteTga(Out("Data/Maps_high/" + name), image);
    }
    Record_PutName(r, CLASSREC_SKIN_CLASS, 32, s.skinClass.c_str());
    Record_PutName(r, CLASSREC_ENV_MAP, 64, "FX_environment_A");
    PutFloats(r, CLASSREC_WHEEL_POINTS, {-0.8f, 1.3f, 0.3f, 0.8f, 1.3f, 0.3f, -0.8f, -1.3f, 0.3f, 0.8f, -1.3f, 0.3f});
    PutFloats(r, CLASSREC_PITCH, {0.6f, 1.8f, 0.5f, 1.4f});
    PutFloats(r, CLASSREC_SLIP, {0.2f, 1.0f, 0.8f, 1.2f});
    Record_PutU32(r, CLASSREC_RECORD_LIST, 5);
    Record_PutU32(r, CLASSREC_PAIR_COUNT, 4);
    PutFloats(r, CLASSREC_PAIRS, {0.0f, 0.0f, 50.0f, 0.5f, 120.0f, 0.8f, 250.0f, 1.0f});
    FillCarRecord(r, s.name);
    const std::vector<uint8_t> stored = ClassRecord_Store(r);
    WriteFile("Data/Cars/class_" + s.name + ".bin", stored.data(), stored.size());
    WriteMenuCar(Out("Data/Cars/menucar_" + s.name + ".vqo"), s.name, s.r, s.g, s.b);
    // Two shipped skins per class in the first update pack's folder.
    static const char* const kSkins[2][2] = {{"works", "F1"}, {"classic", "F3"}};
    for (int i = 0; i < 2; ++i) {
      const std::string base = "Data/Maps_cars/Update1skins/MS " + s.name + " " + kSkins[i][0];
      Image paint = PatternImage(256, 256, i ? uint8_t(255 - s.r) : s.r, i ? uint8_t(255 - s.g) : s.g,
                                 i ? uint8_t(255 - s.b) : s.b, uint32_t(k * 2 + size_t(i)));
      paint.Rect(0, 120, 256, 16, 255, 255, 255);
      WriteTga(Out(base + ".tga"), paint, false);
      std::string text = "// Skin description\n";
      text += "author = Quorvex sample data\nversion = 1\ncomment = " + std::string(kSkins[i][0]) + " colours of the " +
              s.name + " class\nnumbers = on\nwheels = wheels\n";
      WriteFile(base + ".txt", text);
    }
  }
}

void WriteAIFiles(const Content& c) {
  const size_t records = 240;
  for (size_t t = 0; t < c.tracks.size(); ++t) {
    std::vector<uint8_t> file(records * AI_RECORD_SIZE, 0);
    for (size_t i = 0; i < records; ++i) {
      uint8_t* r = file.data() + i * AI_RECORD_SIZE;
      r[AIREC_AVAILABLE] = 1;
      Record_PutU32(r, AIREC_NUMBER, uint32_t(i + 2));
      const std::string& name = c.drivers[i % c.drivers.size()];
      Record_PutName(r, AIREC_NAME, 20, name.c_str());
      Record_PutI32(r, AIREC_COLOR, int32_t(i % 2));
      Record_PutI32(r, AIREC_CLASS, int32_t((i / 24) % c.classes.size()));
      const float skill = 0.85f + 0.15f * float((i * 37) % 100) / 100.0f;
      for (size_t k = 0; k < 20; ++k) Record_PutF32(r, AIREC_TIMES + 4 * k, 90.0f + 8.0f * float(k) + (1.0f - skill) * 40.0f);
      FillAIDriverParameters(r, skill);  // driving parameters (data/README.md names them)
    }
    VQscramble(file.data(), file.size(), nullptr, 0);
    WriteFile("Data/class_AI_" + c.tracks[t] + ".bin", file.data(), file.size());
  }
}

void WriteWeather(const Content& c) {
  std::vector<uint8_t> weather(c.weather.size() * WEATHER_RECORD_SIZE, 0);
  for (size_t i = 0; i < c.weather.size(); ++i) {
    const WeatherSpec& s = c.weather[i];
    uint8_t* r = weather.data() + i * WEATHER_RECORD_SIZE;
    Record_PutName(r, 0, 32, s.name.c_str());
    Record_PutU32(r, 32, s.fog ? 1 : 0);
    PutFloats(r, 36, {s.fogStart, s.fogEnd});
    PutFloats(r, 48, {s.fogColour[0], s.fogColour[1], s.fogColour[2], 1.0f});
    r[64] = s.reflection ? 1 : 0;
    PutFloats(r, 68, {s.sun[0], s.sun[1], s.sun[2]});
    r[92] = s.crowd ? 1 : 0;
    r[93] = s.rainLevel;
    r[156] = s.rainLevel ? 1 : 0;  // wet road
    PutFloats(r, 84, {20.0f * float(s.rainLevel), s.rainLevel ? 40.0f : 0.0f});  // spray base, scale
    PutFloats(r, 140, {s.dome[0], s.dome[1], s.dome[2]});
    Record_PutU32(r, 1188, uint32_t(s.rain.size()));
    for (size_t k = 0; k < s.rain.size() && k < 16; ++k) {
      Record_PutName(r, 1192 + 32 * k, 32, s.rain[k].c_str());
      Record_PutF32(r, 1704 + 4 * k, 1.0f / float(s.rain.size()));
    }
    Record_PutU32(r, 1768, uint32_t(s.thunder.size()));
    for (size_t k = 0; k < s.thunder.size() && k < 16; ++k) {
      Record_PutName(r, 1772 + 32 * k, 32, s.thunder[k].c_str());
      Record_PutF32(r, 2284 + 4 * k, 1.0f / float(s.thunder.size()));
    }
    Record_PutName(r, 2348, 32, s.environment.c_str());
    Record_PutF32(r, 2404, 1.0f);  // dome follow factor: the sky stays around the camera
  }
  VQscramble(weather.data(), weather.size(), nullptr, 0);
  WriteFile("Data/weather.bin", weather.data(), weather.size());

  std::vector<uint8_t> rain(c.rain.size() * RAIN_RECORD_SIZE, 0);
  for (size_t i = 0; i < c.rain.size(); ++i) {
    const RainSpec& s = c.rain[i];
    uint8_t* r = rain.data() + i * RAIN_RECORD_SIZE;
    Record_PutName(r, 0, 32, s.name.c_str());
    PutFloats(r, 32, {s.density, s.speed, s.width, s.height, s.opacity, s.colour[0], s.colour[1], s.colour[2]});
    Record_PutName(r, 64, 32, (s.sound + ".wav").c_str());
    Record_PutF32(r, 96, s.gain);
  }
  VQscramble(rain.data(), rain.size(), nullptr, 0);
  WriteFile("Data/weather_rain.bin", rain.data(), rain.size());

  std::vector<uint8_t> thunder(c.thunder.size() * THUNDER_RECORD_SIZE, 0);
  for (size_t i = 0; i < c.thunder.size(); ++i) {
    const ThunderSpec& s = c.thunder[i];
    uint8_t* r = thunder.data() + i * THUNDER_RECORD_SIZE;
    Record_PutName(r, 0, 32, s.name.c_str());
    PutFloats(r, 32, {s.duration, s.pauseMin, s.pauseRange});
    Record_PutName(r, 44, 32, (s.sound + ".wav").c_str());
    PutFloats(r, 76, {s.delayMin, s.delayRange, s.gainMin, s.gainRange, 1.0f, 1.0f, 1.0f, 0.8f, 0.8f, 0.9f, 0.5f,
                      0.9f, 0.9f, 1.0f, 0.7f});
    for (int k = 0; k < 16; ++k) Record_PutF32(r, 148 + 4 * size_t(k), k < 3 ? 1.0f : (k < 6 ? 0.4f : 0.0f));
  }
  VQscramble(thunder.data(), thunder.size(), nullptr, 0);
  WriteFile("Data/weather_thunder.bin", thunder.data(), thunder.size());

  for (const std::string& track : c.tracks) {
    for (const VariantSpec& v : c.variants) {
      uint8_t r[TRACK_WEATHER_RECORD_SIZE] = {};
      Record_PutU32(r, TRACK_WEATHER_VARIANT_OFFSET, v.slot);
      PutFloats(r, 652, {0.4f, 0.3f, -0.8f});
      PutFloats(r, 668, {-0.4f, -0.3f, 0.8f});
      PutFloats(r, 692, {0.0f, 1.0f});
      Record_PutName(r, 700, 32, "Shadowmap.tga");
      Record_PutU32(r, 764, uint32_t(v.configs.size()));
      for (size_t k = 0; k < v.configs.size() && k < 16; ++k) {
        Record_PutName(r, 768 + 32 * k, 32, v.configs[k].c_str());
        Record_PutF32(r, 1280 + 4 * k, v.odds[k]);
      }
      VQscramble(r, sizeof r, nullptr, 0);
      WriteFile("Data/Tracks/" + track + "_weather_" + v.name + ".bin", r, sizeof r);
    }
  }
}

void WriteProfiles(const Content& c) {
  MakeFolder("Data/Players");
  for (size_t i = 0; i < c.profiles.size(); ++i) {
    PlayerProfile p;
    p.number = int32_t(i + 1);
    static const char* const kKeys[PROFILE_BINDINGS] = {"left", "right", "up", "down", "c", "a", "z", "space",
                                                        "l", "h", "v", "f", "r", "p", "b"};
    for (int k = 0; k < PROFILE_BINDINGS; ++k) p.bindings[k] = InputCodeFromName(kKeys[k]);
    p.unlocked_cars[0] = 1;
    for (int k = 11; k < PROFILE_MAX_CLASSES; ++k) p.unlocked_cars[k] = 1;
    p.unlocked_champs[0] = 1;
    p.normal_opponents = 5;
    p.normal_length = 2;
    const std::vector<uint8_t> bytes = PlayerProfile_Write(p, uint32_t(c.classes.size()));
    WriteFile("Data/Players/" + c.profiles[i] + ".bin", bytes.data(), bytes.size());
  }
}

// ---- images, sounds, music, scenes --------------------------------------------------------------

void WriteBothTextureFolders(const std::string& name, const Image& image, bool alpha = true) {
  WriteTga(Out("Data/Maps_low/" + name), image, alpha);
  WriteTga(Out("Data/Maps_high/" + name), image, alpha);
}

void WriteImages(const Content& c) {
  // Menu frame pieces: in the menu folder and in both texture folders (the display device's
  // texture manager cuts the folder off the names it is asked for).
  struct Piece {
    const char* name;
    uint32_t w, h;
  };
  static const Piece kFrame[11] = {{"Menu_top", 256, 32},       {"Menu_topleft", 32, 32},
                                   {"Menu_topright", 32, 32},   {"Menu_bottom", 256, 32},
                                   {"Menu_bottomleft", 32, 32}, {"Menu_bottomright", 32, 32},
                                   {"Menu_entry", 256, 8},      {"Menu_entryleft", 32, 8},
                                   {"Menu_entryright", 32, 8},  {"Menu_arrowleft", 16, 16},
                                   {"Menu_arrowright", 16, 16}};
  for (const Piece& p : kFrame) {
    Image image = MakeImage(p.w, p.h);
    image.Fill(20, 30, 80, 200);
    if (std::strstr(p.name, "arrow")) {
      image.Fill(0, 0, 0, 0);
      for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
          if (std::abs(y - 8) < (std::strstr(p.name, "left") ? x : 16 - x) / 2) image.Set(x, y, 255, 220, 80);
    } else {
      image.Rect(0, 0, int(p.w), 2, 120, 140, 220);
    }
    WriteTga(Out(std::string("Data/Menu/") + p.name + ".tga"), image);
    WriteBothTextureFolders(std::string(p.name) + ".tga", image);
  }
  for (const char* name : {"Menu_slider1button_n", "Menu_slider1back_n"}) {
    Image image = MakeImage(name[12] == 'b' && name[13] == 'u' ? 16 : 128, 16);
    image.Fill(200, 200, 220, 255);
    WriteBothTextureFolders(std::string(name) + ".tga", image);
  }
  // Preloaded textures, environment, wheels, loading and outro pictures, slides, HUD pieces.
  WriteBothTextureFolders("AU_onderkant.tga", PatternImage(64, 64, 40, 40, 40, 1), false);
  WriteBothTextureFolders("FX_environment_A.tga", PatternImage(128, 128, 120, 150, 200, 2), false);
  WriteBothTextureFolders("wheels.tga", PatternImage(64, 64, 30, 30, 30, 3), false);
  WriteBothTextureFolders("ground.tga", PatternImage(128, 128, 60, 110, 50, 4), false);
  WriteBothTextureFolders("road.tga", PatternImage(128, 128, 90, 90, 95, 5), false);
  WriteBothTextureFolders("paint.tga", PatternImage(256, 256, 200, 200, 200, 6), false);
  WriteBothTextureFolders("menu_back.tga", PatternImage(256, 256, 20, 30, 70, 7), false);
  for (int i = 1; i <= 4; ++i) WriteBothTextureFolders("prize" + std::to_string(i) + ".tga", PatternImage(64, 64, 200, 180, 60, uint32_t(10 + i)), false);
  for (int i = 1; i <= 3; ++i) WriteBothTextureFolders("loading" + std::to_string(i) + ".tga", PatternImage(640, 480, uint8_t(30 * i), 40, 90, uint32_t(20 + i)), false);
  WriteBothTextureFolders("loading3overlay.tga", PatternImage(256, 64, 240, 240, 240, 24));
  WriteBothTextureFolders("outtro1.tga", PatternImage(640, 480, 10, 10, 40, 25), false);
  for (int i = 1; i <= 5; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "ga_slide%02d.tga", i);
    WriteBothTextureFolders(name, PatternImage(320, 240, uint8_t(40 * i), 80, 120, uint32_t(30 + i)), false);
  }
  Image bar = MakeImage(128, 16);
  bar.Fill(240, 200, 40, 220);
  WriteBothTextureFolders("hud_bar.tga", bar);
  Image split = MakeImage(64, 4);
  split.Fill(0, 0, 0, 255);
  WriteBothTextureFolders("doublesplit.tga", split);
  // Per-track texture folders: shadow map, checkpoint marker, divider.
  for (const std::string& t : c.tracks) {
    for (const char* quality : {"Data/Maps_low/", "Data/Maps_high/"}) {
      Image shadow = MakeImage(256, 256);
      shadow.Fill(255, 255, 255);
      WriteTga(Out(quality + t + "/Shadowmap.tga"), shadow, false);
      Image marker = MakeImage(32, 32);
      marker.Fill(255, 60, 60, 160);
      WriteTga(Out(quality + t + "/XT_checkpoint.tga"), marker);
      WriteTga(Out(quality + t + "/doublesplit.tga"), split);
      WriteTga(Out(quality + t + "/ground.tga"), PatternImage(128, 128, 60, 110, 50, 4), false);
      WriteTga(Out(quality + t + "/road.tga"), PatternImage(128, 128, 90, 90, 95, 5), false);
    }
  }
  // Fonts drawn from block glyphs: race numbers (four styles of ten digits), the countdown and
  // the map markers.
  std::vector<std::string> digits;
  for (int style = 0; style < 4; ++style)
    for (char d = '0'; d <= '9'; ++d) digits.push_back(std::string(1, d));
  for (const char* name : {"font_car256_std", "font_car256_hop"})
    WriteTga(Out(std::string("Data/Maps_cars/") + name + ".tga"), BlockFont(digits, 6, 250, 250, 250));
  for (const char* name : {"font_car128_std", "font_car128_hop"})
    WriteTga(Out(std::string("Data/Maps_cars/") + name + ".tga"), BlockFont(digits, 3, 250, 250, 250));
  WriteBothTextureFolders("font_54321.tga", BlockFont({"5", "4", "3", "2", "1", "GO"}, 8, 255, 210, 40));
  std::vector<std::string> markers;
  for (int i = 0; i < 72; ++i) markers.push_back(i < 10 ? std::string(1, char('0' + i)) : (i % 2 ? "o" : "*"));
  WriteBothTextureFolders("font_minimap.tga", BlockFont(markers, 1, 255, 255, 255));
}

void WriteSounds(const Content& c) {
  struct Named {
    const char* name;
    SoundKind kind;
  };
  static const Named kSounds[] = {{"menu_updown", SoundKind::Click},       {"menu_leftright", SoundKind::Blip},
                                  {"menu_action", SoundKind::Action},      {"fx_false_start", SoundKind::FalseStart},
                                  {"fx_skid", SoundKind::Skid},            {"fx_crash", SoundKind::Crash},
                                  {"fx_crowd", SoundKind::Crowd},          {"fx_rain", SoundKind::Rain},
                                  {"fx_thunder", SoundKind::Thunder},      {"coll_tarmac", SoundKind::Crash},
                                  {"coll_gravel", SoundKind::Gravel},      {"coll_grass", SoundKind::Grass},
                                  {"coll_metal", SoundKind::Metal}};
  for (const Named& s : kSounds) {
    const Sound sound = SynthesiseSound(s.kind, 7);
    WriteFile(std::string("Data/Audio/") + s.name + ".wav", WaveFile(sound, false));
    WriteFile(std::string("Data/Audio/") + s.name + ".vqw", WaveFile(sound, true));
  }
  (void)c;
}

void WriteMusic(const std::string& source) {
  // Every title named in Music.ini is composed and written in the two forms the game plays:
  // "<title>.vq3" (scrambled MP3) and "<title>.vqw" (scrambled WAVE).
  const std::string text = ReadSource(source + "/Music.ini");
  WriteFile("Data/Music.ini", text);
  MusicList list;
  Music_Parse(text.data(), text.size(), list);
  std::vector<std::string> titles(std::begin(list.titles), std::end(list.titles));
  for (const auto& r : list.race) titles.push_back(r.name);
  uint32_t seed = 1;
  std::map<std::string, bool> done;
  for (const std::string& title : titles) {
    if (title.empty() || done[title]) continue;
    done[title] = true;
    const Sound music = ComposeMusic(seed++, 6.0f);
    const std::string path = "Data/Audio/" + title;
    WriteFile(path + ".vq3", Mp3File(music, true));
    WriteFile(path + ".mp3", Mp3File(music, false));
    WriteFile(path + ".vqw", WaveFile(music, true));
  }
}

void WriteScenes(const Content& c) {
  WriteMenuScene(Out("Data/Menuscene.vqo"));
  WritePrizesScene(Out("Data/prizes_track.vqo"));
  for (size_t t = 0; t < c.tracks.size(); ++t)
    WriteMenuTrack(Out("Data/Tracks/menutrack_" + c.tracks[t] + ".vqo"), c.tracks[t], uint32_t(t));
}

void WriteFonts(const std::string& vqtool) {
  // The text fonts come from the DejaVu TrueType fonts through "vqtool font-sheet"; a vqtool
  // without that command leaves them out (the game then shows no text).
  const std::string probe = "\"" + vqtool + "\" help 2>/dev/null | grep -q font-sheet";
  if (vqtool.empty() || std::system(probe.c_str()) != 0) {
    std::fprintf(stderr, "datagen: vqtool has no font-sheet command: text fonts left out\n");
    return;
  }
  const std::string sans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
  const std::string bold = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
  const std::string mono = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf";
  struct Font {
    const char* name;
    const std::string* file;
    int pixels;
    const char* colour;
  };
  const Font kFonts[] = {{"Font_menu_normal", &sans, 20, "E0E0F0"},   {"Font_menu_title", &bold, 28, "FFD040"},
                         {"Font_menu_hilite", &bold, 20, "FFFFFF"},   {"Font_menu_disabled", &sans, 20, "707080"},
                         {"Font_menu_help", &sans, 14, "C0C0D0"},     {"font_menu_help_grey", &sans, 14, "808080"},
                         {"font_laptimes", &mono, 18, "FFFFFF"},      {"font_laptimes75white", &mono, 14, "FFFFFF"},
                         {"font_laptimes75green", &mono, 14, "60FF60"}, {"font_laptimes75orange", &mono, 14, "FFA030"},
                         {"font_laptimes75blue", &mono, 14, "60A0FF"},  {"Font_stats", &sans, 12, "FFFFFF"}};
  for (const Font& f : kFonts) {
    for (const char* folder : {"Data/Maps_low/", "Data/Maps_high/"}) {
      const std::string out = Out(std::string(folder) + f.name + ".tga");
      const std::string cmd = "\"" + vqtool + "\" font-sheet \"" + *f.file + "\" " + std::to_string(f.pixels) + " \"" +
                              out + "\" --colour " + f.colour + " --outline 1 >/dev/null";
      if (std::system(cmd.c_str()) != 0) Fail("vqtool font-sheet failed for " + std::string(f.name));
    }
  }
  // Both spellings of the menu fonts' names are asked for.
  for (const char* folder : {"Data/Maps_low/", "Data/Maps_high/"})
    for (const char* name : {"Font_menu_normal", "Font_menu_title", "Font_menu_hilite"}) {
      std::string lower = name;
      lower[0] = 'f';
      fs::copy_file(Out(std::string(folder) + name + ".tga"), Out(std::string(folder) + lower + ".tga"),
                    fs::copy_options::overwrite_existing);
    }
}

int Usage() {
  std::fprintf(stderr, "usage: datagen --source DATA --out GAME [--vqtool PATH]\n");
  return 2;
}

}  // namespace
}  // namespace datagen

int main(int argc, char** argv) {
  using namespace datagen;
  std::string source, vqtool;
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf("usage: datagen --source DATA --out GAME [--vqtool PATH]\n"
                "  writes the sample data tree (Config.ini and Data/...) from the sources in DATA into GAME\n");
    return 0;
  }
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--source") {
      source = argv[i + 1];
    } else if (a == "--out") {
      g_out = argv[i + 1];
    } else if (a == "--vqtool") {
      vqtool = argv[i + 1];
    } else {
      return Usage();
    }
  }
  if (source.empty() || g_out.empty() || argc % 2 == 0) return Usage();
  std::error_code ec;
  fs::remove_all(fs::path(g_out) / "Data", ec);
  const Content content = ReadContent(source + "/content.txt");
  WriteFile("Config.ini", ReadSource(source + "/Config.ini"));
  WriteFile("Readme.txt", ReadSource(source + "/Readme.txt"));
  WriteLanguages(source);
  WriteMaterials(content);
  WriteClasses(content);
  WriteAIFiles(content);
  WriteWeather(content);
  WriteProfiles(content);
  WriteFile("Data/hud.ini", ReadSource(source + "/hud.ini"));
  WriteImages(content);
  WriteMenuFrames(g_out);
  WriteSounds(content);
  WriteViewSamples();
  WriteMusic(source);
  WriteScenes(content);
  {
    std::vector<std::string> names;
    std::vector<std::array<uint8_t, 3>> colours;
    std::vector<uint32_t> gears;
    for (const ClassSpec& k : content.classes) {
      names.push_back(k.name);
      colours.push_back({k.r, k.g, k.b});
      gears.push_back(k.gears);
    }
    WriteCars(g_out, names, colours, gears);
  }

  WriteTracks(content.tracks);
  WriteFonts(vqtool);
  for (const char* folder : {"Data/Maps_cars/Standardskins", "Data/Maps_cars/Update2skins", "Data/Maps_cars/Myskins",
                             "Data/Maps_wheels", "Data/Maps_skineditor/Brushes", "Data/Maps_skineditor/Icons",
                             "Data/Maps_skineditor/Patterns"})
    MakeFolder(folder);
  WriteTga(Out("Data/Maps_wheels/wheels.tga"), PatternImage(64, 64, 30, 30, 30, 3), false);
  WriteSkinEditor(g_out);
  std::printf("datagen: wrote %s\n", g_out.c_str());
  return 0;
}
