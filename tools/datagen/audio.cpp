// Synthesised sounds and music for the sample data tree.
#include <lame/lame.h>

#include <cmath>
#include <cstring>

#include "Zentri/util/VQscramble.h"
#include "tools/datagen/datagen.h"

namespace datagen {
namespace {

constexpr double kPi = 3.14159265358979323846;

// A small deterministic generator (the tree must be the same on every build).
struct Random {
  uint32_t state;
  explicit Random(uint32_t seed) : state(seed * 2654435761u + 1u) {}
  uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  double Unit() { return (Next() & 0xFFFFFF) / double(0x1000000); }
  double Signed() { return Unit() * 2.0 - 1.0; }
};

int16_t Clip(double v) {
  if (v > 1.0) v = 1.0;
  if (v < -1.0) v = -1.0;
  return int16_t(std::lround(v * 32000.0));
}

void PutU32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += char(uint8_t(v >> (8 * i)));
}
void PutU16(std::string& s, uint16_t v) {
  s += char(uint8_t(v));
  s += char(uint8_t(v >> 8));
}

}  // namespace

Sound SynthesiseSound(SoundKind kind, uint32_t seed) {
  Sound s;
  Random rnd(seed + uint32_t(kind) * 977u);
  double seconds = 0.5;
  switch (kind) {
    case SoundKind::Engine:
    case SoundKind::EngineLow:
    case SoundKind::Road:
    case SoundKind::RoadWet:
    case SoundKind::Crowd:
    case SoundKind::Rain:
    case SoundKind::Gravel:
    case SoundKind::Grass:
      seconds = 1.0;  // loops
      break;
    case SoundKind::Thunder:
      seconds = 2.5;
      break;
    case SoundKind::Click:
    case SoundKind::Blip:
      seconds = 0.08;
      break;
    default:
      break;
  }
  const uint32_t n = uint32_t(seconds * s.rate);
  s.samples.resize(n);
  double phase = 0.0, low = 0.0, low2 = 0.0;
  const double base = 40.0 + 10.0 * (seed % 7);
  for (uint32_t i = 0; i < n; ++i) {
    const double t = double(i) / s.rate;
    const double u = double(i) / n;
    double v = 0.0;
    const double noise = rnd.Signed();
    switch (kind) {
      case SoundKind::Engine:
      case SoundKind::EngineLow: {
        // A whole number of firing cycles in the loop, so it repeats without a click.
        const double f = (kind == SoundKind::Engine ? 2.0 : 1.0) * std::round(base);
        phase = 2 * kPi * f * t;
        v = 0.45 * std::sin(phase) + 0.25 * std::sin(2 * phase + 0.3) + 0.15 * std::sin(3 * phase) +
            0.08 * ((std::fmod(f * t, 1.0) < 0.2) ? 1.0 : -0.25) + 0.05 * noise;
        break;
      }
      case SoundKind::Road:
      case SoundKind::Gravel:
      case SoundKind::Grass:
        low += (noise - low) * (kind == SoundKind::Road ? 0.05 : kind == SoundKind::Gravel ? 0.3 : 0.12);
        v = low * (kind == SoundKind::Gravel ? 0.9 : 1.6);
        break;
      case SoundKind::RoadWet:
      case SoundKind::Rain:
        low += (noise - low) * 0.5;
        v = 0.5 * (noise - low) + ((rnd.Next() % 400) == 0 ? 0.6 * rnd.Signed() : 0.0);
        break;
      case SoundKind::Horn:
        v = 0.35 * (std::sin(2 * kPi * 420 * t) + std::sin(2 * kPi * 530 * t)) * std::min(1.0, (1.0 - u) * 20.0);
        break;
      case SoundKind::Skid:
        v = 0.5 * std::sin(2 * kPi * (900 + 80 * std::sin(2 * kPi * 11 * t)) * t) * (1.0 - u) + 0.1 * noise;
        break;
      case SoundKind::Crash:
      case SoundKind::Metal:
        low += (noise - low) * 0.2;
        v = (low * 1.5 + 0.3 * std::sin(2 * kPi * (kind == SoundKind::Metal ? 1300 : 180) * t)) * std::exp(-6.0 * u);
        break;
      case SoundKind::Click:
        v = 0.6 * std::sin(2 * kPi * 1800 * t) * std::exp(-40.0 * u);
        break;
      case SoundKind::Blip:
        v = 0.5 * std::sin(2 * kPi * 1200 * t) * std::exp(-10.0 * u);
        break;
      case SoundKind::Action:
        v = 0.5 * std::sin(2 * kPi * (600 + 600 * u) * t) * (1.0 - u);
        break;
      case SoundKind::FalseStart:
        v = 0.5 * ((std::fmod(t * 8.0, 1.0) < 0.5) ? std::sin(2 * kPi * 300 * t) : 0.0) * (1.0 - u);
        break;
      case SoundKind::Crowd:
        low += (noise - low) * 0.08;
        low2 += (low - low2) * 0.02;
        v = (low - low2) * 2.5 * (0.8 + 0.2 * std::sin(2 * kPi * 1.0 * t));
        break;
      case SoundKind::Thunder:
        low += (noise - low) * 0.03;
        v = low * 4.0 * std::exp(-2.0 * u) * (u < 0.02 ? u / 0.02 : 1.0);
        break;
    }
    s.samples[i] = Clip(v);
  }
  return s;
}

Sound ComposeMusic(uint32_t seed, float seconds) {
  Sound s;
  s.rate = 44100;
  s.channels = 2;
  Random rnd(seed);
  const double bpm = 96 + rnd.Next() % 60;
  const int root = 45 + int(rnd.Next() % 12);
  static const int kScale[7] = {0, 2, 3, 5, 7, 8, 10};
  const uint32_t frames = uint32_t(seconds * s.rate);
  s.samples.resize(size_t(frames) * 2);
  const double beat = 60.0 / bpm;
  int melody[16];
  for (int& m : melody) m = kScale[rnd.Next() % 7] + 12 * int(rnd.Next() % 2);
  for (uint32_t i = 0; i < frames; ++i) {
    const double t = double(i) / s.rate;
    const int step = int(t / (beat / 2));
    const double inStep = std::fmod(t, beat / 2) / (beat / 2);
    const int note = root + 12 + melody[step % 16];
    const double fm = 440.0 * std::pow(2.0, (note - 69) / 12.0);
    const double fb = 440.0 * std::pow(2.0, (root - 12 + ((step / 8) % 2 ? 5 : 0) - 69) / 12.0);
    const double lead = 0.22 * std::sin(2 * kPi * fm * t) * std::exp(-3.0 * inStep);
    const double bass = 0.25 * ((std::fmod(fb * t, 1.0) < 0.5) ? 1.0 : -1.0) * 0.6;
    const double inBeat = std::fmod(t, beat) / beat;
    const double kick = 0.5 * std::sin(2 * kPi * (50 + 100 * std::exp(-20 * inBeat)) * t) * std::exp(-12.0 * inBeat);
    const double hat = (step % 2 ? 0.06 : 0.0) * rnd.Signed() * std::exp(-30.0 * inStep);
    const double fade = std::min(1.0, std::min(t / 0.05, (seconds - t) / 0.3));
    s.samples[2 * i] = Clip((lead * 0.8 + bass + kick + hat) * fade);
    s.samples[2 * i + 1] = Clip((lead * 1.2 + bass + kick - hat) * fade);
  }
  return s;
}

std::string WaveFile(const Sound& sound, bool scrambled) {
  std::string data(reinterpret_cast<const char*>(sound.samples.data()), sound.samples.size() * 2);
  if (scrambled) VQscramble(data.data(), data.size(), nullptr, 0);
  std::string f = "RIFF";
  PutU32(f, uint32_t(4 + 8 + 16 + 8 + data.size() + (data.size() & 1)));
  f += "WAVEfmt ";
  PutU32(f, 16);
  PutU16(f, 1);
  PutU16(f, sound.channels);
  PutU32(f, sound.rate);
  PutU32(f, sound.rate * sound.channels * 2);
  PutU16(f, uint16_t(sound.channels * 2));
  PutU16(f, 16);
  f += "data";
  PutU32(f, uint32_t(data.size()));
  f += data;
  if (data.size() & 1) f += '\0';
  return f;
}

std::string Mp3File(const Sound& sound, bool scrambled) {
  lame_t lame = lame_init();
  if (!lame) Fail("libmp3lame cannot start");
  lame_set_in_samplerate(lame, int(sound.rate));
  lame_set_out_samplerate(lame, 44100);
  lame_set_num_channels(lame, 2);
  lame_set_mode(lame, JOINT_STEREO);
  lame_set_brate(lame, 128);
  lame_set_VBR(lame, vbr_off);
  lame_set_bWriteVbrTag(lame, 0);
  lame_set_quality(lame, 7);
  if (lame_init_params(lame) < 0) Fail("libmp3lame refuses the parameters");
  const int frames = int(sound.samples.size() / 2);
  std::vector<unsigned char> out(size_t(1.25 * frames + 7200) + 16384);
  std::vector<short> pcm(sound.samples.begin(), sound.samples.end());
  int n = lame_encode_buffer_interleaved(lame, pcm.data(), frames, out.data(), int(out.size()));
  if (n < 0) Fail("libmp3lame cannot encode");
  int m = lame_encode_flush(lame, out.data() + n, int(out.size()) - n);
  if (m < 0) Fail("libmp3lame cannot finish");
  lame_close(lame);
  std::string f(reinterpret_cast<const char*>(out.data()), size_t(n + m));
  if (scrambled) VQscramble(f.data(), f.size(), nullptr, 0);
  return f;
}

}  // namespace datagen
