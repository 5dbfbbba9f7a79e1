// The race display's samples: commentary phrases spoken by espeak-ng when it is installed (a
// short synthesised tone pattern otherwise, so the tree is complete either way) and the start
// beeps. Written as plain ".wav" and scrambled ".vqw" into Data/Audio.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/datagen/datagen.h"

namespace datagen {
namespace {

uint32_t Le(const std::string& b, size_t o, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) v |= uint32_t(uint8_t(b[o + size_t(i)])) << (8 * i);
  return v;
}

// Reads a 16-bit mono or stereo PCM WAVE file (as espeak-ng writes it) into a sound.
bool ReadWave(const std::string& path, Sound& out) {
  std::ifstream f(path, std::ios::binary);
  const std::string b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0) return false;
  size_t o = 12;
  uint16_t channels = 0, bits = 0;
  uint32_t rate = 0;
  while (o + 8 <= b.size()) {
    const std::string id = b.substr(o, 4);
    uint32_t size = Le(b, o + 4, 4);
    const size_t body = o + 8;
    // A streamed writer may leave the size open: the data runs to the end of the file.
    if (size > b.size() - body) size = uint32_t(b.size() - body);
    if (id == "fmt " && size >= 16) {
      channels = uint16_t(Le(b, body + 2, 2));
      rate = Le(b, body + 4, 4);
      bits = uint16_t(Le(b, body + 14, 2));
    } else if (id == "data") {
      if (bits != 16 || channels < 1 || channels > 2 || rate == 0) return false;
      out.rate = rate;
      out.channels = channels;
      out.samples.resize(size / 2);
      std::memcpy(out.samples.data(), b.data() + body, out.samples.size() * 2);
      return !out.samples.empty();
    }
    o = body + size + (size & 1);
  }
  return false;
}

Sound Tones(const std::initializer_list<double>& pitches, double each) {
  Sound s;
  s.rate = 22050;
  for (double hz : pitches) {
    const uint32_t n = uint32_t(each * s.rate);
    for (uint32_t i = 0; i < n; ++i) {
      const double env = std::min(1.0, std::min(i, n - i) / (0.01 * s.rate));
      s.samples.push_back(int16_t(9000.0 * env * std::sin(2.0 * M_PI * hz * i / s.rate)));
    }
  }
  return s;
}

bool Speak(const std::string& text, Sound& out) {
  static int available = -1;
  if (available < 0) available = std::system("command -v espeak-ng >/dev/null 2>&1") == 0 ? 1 : 0;
  if (!available) return false;
  const std::string tmp = "/tmp/datagen_speech_" + std::to_string(::getpid()) + ".wav";
  const std::string cmd = "espeak-ng -s 160 -w \"" + tmp + "\" \"" + text + "\" >/dev/null 2>&1";
  const bool ok = std::system(cmd.c_str()) == 0 && ReadWave(tmp, out);
  std::remove(tmp.c_str());
  return ok;
}

void Write(const std::string& name, const Sound& s) {
  WriteFile("Data/Audio/" + name + ".wav", WaveFile(s, false));
  WriteFile("Data/Audio/" + name + ".vqw", WaveFile(s, true));
}

}  // namespace

void WriteViewSamples() {
  struct Phrase {
    const char* name;
    const char* text;
    double pitch;
  };
  static const Phrase kPhrases[] = {
      {"comm_go", "And they are off!", 660.0},
      {"comm_finisher", "Another car crosses the line.", 520.0},
      {"comm_winner", "And we have a winner!", 780.0},
      {"comm_all_finished", "All cars are home. What a race!", 440.0},
      {"comm_last_minute", "One minute to go!", 600.0},
  };
  bool spoken = true;
  for (const Phrase& p : kPhrases) {
    Sound s;
    if (!Speak(p.text, s)) {
      spoken = false;
      s = Tones({p.pitch, p.pitch * 1.25, p.pitch}, 0.18);
    }
    Write(p.name, s);
  }
  if (!spoken)
    std::fprintf(stderr, "datagen: espeak-ng not available: commentary written as tones\n");
  Write("fx_beep_ready", Tones({880.0}, 0.25));
  Write("fx_beep_go", Tones({1320.0}, 0.6));
}

}  // namespace datagen
