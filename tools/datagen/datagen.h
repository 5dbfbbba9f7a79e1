// datagen: the sample data tree's generator. Each part writes its files below the output
// folder with the engine's own writers; sounds and music are synthesised here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class VQMaterial;

namespace datagen {

// Writes the driving parameters of a computer driver's record (ai.cpp); skill 0.85 to 1.0.
void FillAIDriverParameters(uint8_t* record, float skill);

// A computer driver's speed limit is the shortest segment of its line ahead times its speed
// per metre of segment plus its speed offset. The generated drivers at full pace use these two
// values, and the generated tracks cut their driver lines so that the limit they give on each
// bend is the speed the computer cars hold on it (tracks.cpp).
constexpr float kAISpeedPerLength = 1.0f;  // m/s per metre of segment
constexpr float kAISpeedOffset = 8.0f;     // m/s

// Fails the run with a message (the tool ends with exit code 1).
[[noreturn]] void Fail(const std::string& message);
// Writes bytes to out/relative (folders made as needed).
void WriteFile(const std::string& path, const void* data, size_t size);
inline void WriteFile(const std::string& path, const std::string& text) { WriteFile(path, text.data(), text.size()); }
void MakeFolder(const std::string& path);
// The full path of a file below the output folder.
std::string OutPath(const std::string& relative);

// ---- audio (audio.cpp) ----
// 16-bit PCM samples, interleaved when stereo.
struct Sound {
  uint32_t rate = 22050;
  uint16_t channels = 1;
  std::vector<int16_t> samples;
};
enum class SoundKind { Engine, EngineLow, Road, RoadWet, Horn, Skid, Crash, Click, Blip, Action, Crowd, Rain,
                       Thunder, FalseStart, Gravel, Grass, Metal };
Sound SynthesiseSound(SoundKind kind, uint32_t seed);
// A short piece: tempo in beats per minute, a root note (MIDI number), a style seed. 44100 Hz stereo.
Sound ComposeMusic(uint32_t seed, float seconds);
// The WAVE file; scrambled: the data chunk's contents scrambled with the built-in key (.vqw).
std::string WaveFile(const Sound& sound, bool scrambled);
// MPEG-1 Layer III, 44100 Hz stereo (libmp3lame); scrambled: the whole file (.vq3).
std::string Mp3File(const Sound& sound, bool scrambled);

// ---- images (images.cpp) ----
struct Image {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> bgra;  // top row first
  void Fill(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255);
  void Rect(int x, int y, int w, int h, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255);
  void Set(int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255);
};
Image MakeImage(uint32_t w, uint32_t h);
// Writes a 32-bit TGA (or 24-bit when alpha is not wanted).
void WriteTga(const std::string& path, const Image& image, bool alpha = true);
// A patterned texture with a colour and a seed (checks, stripes and noise).
Image PatternImage(uint32_t w, uint32_t h, uint8_t r, uint8_t g, uint8_t b, uint32_t seed);
// A bitmap font sheet drawn from a built-in 5x7 glyph set, for fonts outside the TrueType
// range (race numbers, countdown, map markers); first code 32, glyphs as listed.
Image BlockFont(const std::vector<std::string>& glyphs, uint32_t scale, uint8_t r, uint8_t g, uint8_t b);

// ---- scenes (scenes.cpp) ----
// Gives the material one texture stage: the named texture times the material's lit colour, for
// colour and alpha. Both arguments are named: a display device keeps an argument left at 0 as
// it was (which would multiply the colour by itself and leave the texture out), and a stage
// left at operation 0 has no effect and draws the flat colour.
void SetModulatedTexture(VQMaterial* material, const char* texture);

void WriteMenuTrack(const std::string& path, const std::string& track, uint32_t seed);
void WriteMenuScene(const std::string& path);
void WritePrizesScene(const std::string& path);
void WriteMenuCar(const std::string& path, const std::string& cls, uint8_t r, uint8_t g, uint8_t b);

// ---- skin editor (skineditor.cpp) ----
// Its layout and tooltip files, window images, colour chart, brushes, icons, patterns and the
// skin templates, below the output folder.
void WriteSkinEditor(const std::string& outRoot);

// ---- race display samples (views.cpp) ----
// Commentary phrases (espeak-ng, else tones) and start beeps into Data/Audio.
void WriteViewSamples();

// ---- cars (cars.cpp) ----
// The car fields of a class record (plain bytes): wheel points, pitch, slip, gains, smoke,
// spray, engine smoke, contact spheres; the gear count bounded to 1..6.
void FillCarRecord(uint8_t* record, const std::string& cls);
// Every class's car scenes (Data/Cars/<c>/<c>_<detail>.vqo), menu model, textures and model
// data files (Data/Cars/default/tolvu_<c>_high|mid.bin).
void WriteCars(const std::string& out, const std::vector<std::string>& classes,
               const std::vector<std::array<uint8_t, 3>>& colours, const std::vector<uint32_t>& gears);

// ---- tracks (tracks.cpp) ----
// Every track's scenes, meta markers, settings, cameras and textures.
void WriteTracks(const std::vector<std::string>& tracks);

// ---- menus (menus.cpp) ----
// The menu frame pieces and arrows (Data/Menu and both texture folders), over the plain ones.
void WriteMenuFrames(const std::string& out);

}  // namespace datagen
