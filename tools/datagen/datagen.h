// datagen: the sample data tree's generator. Each part writes its files below the output
// folder with the engine's own writers; sounds and music are synthesised here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace datagen {

// Fails the run with a message (the tool ends with exit code 1).
[[noreturn]] void Fail(const std::string& message);
// Writes bytes to out/relative (folders made as needed).
void WriteFile(const std::string& path, const void* data, size_t size);
inline void WriteFile(const std::string& path, const std::string& text) { WriteFile(path, text.data(), text.size()); }
void MakeFolder(const std::string& path);

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
void WriteMenuTrack(const std::string& path, const std::string& track, uint32_t seed);
void WriteMenuScene(const std::string& path);
void WritePrizesScene(const std::string& path);
void WriteMenuCar(const std::string& path, const std::string& cls, uint8_t r, uint8_t g, uint8_t b);

// ---- menus (menus.cpp) ----
// The menu frame pieces and arrows (Data/Menu and both texture folders), over the plain ones.
void WriteMenuFrames(const std::string& out);

}  // namespace datagen
