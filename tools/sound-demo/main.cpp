// sound-demo: plays sound files at once through the sound device.
//
// ".wav" and ".vqw" files become static buffers played through the voice limiter; ".mp3" and
// ".vq3" files are streamed. The options apply to every file: --volume through SetVolume,
// --pan (side set with --side) through SetPan, --speed through SetSpeed; --loop loops the
// buffers and repeats the streams. It plays for --seconds S, or until every sound has ended.
// With --render nothing is played on a sound card: S seconds (5 by default) of the mixer's
// output are written as a 16-bit stereo 44100 Hz WAVE file.
//
//   sound-demo FILE... [--volume G] [--pan PERCENT] [--side] [--speed PERCENT] [--loop]
//                      [--seconds S] [--render OUT.wav]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host/directx/dsound.h"
#include "host/time/clock.h"
#include "Zentri/devices/sound/VQDSoundDevice.h"
#include "Zentri/devices/sound/VQSoundStream.h"
#include "Zentri/platform/VQSystem.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQfileio.h"
#include "Zentri/util/VQlog.h"
#include "Zentri/util/VQpath.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kChannels = 2;
constexpr uint32_t kFrameMs = 20;           // one frame of the demo's pump
constexpr double kDefaultRenderSeconds = 5.0;
constexpr double kLongestPlay = 600.0;      // seconds, when --seconds is not given

struct Options {
  std::vector<std::string> files;
  float volume = 1.0f;
  bool hasVolume = false;
  int32_t pan = 100;
  bool hasPan = false;
  int32_t side = VQSOUND_SIDE_RIGHT;
  int32_t speed = 100;
  bool hasSpeed = false;
  bool loop = false;
  double seconds = -1.0;
  std::string render;
};

int Usage(FILE* to = stderr) {
  std::fprintf(
      to,
      "usage: sound-demo FILE... [--volume G] [--pan PERCENT] [--side] [--speed PERCENT] [--loop]\n"
      "                  [--seconds S] [--render OUT.wav]\n");
  return to == stderr ? 2 : 0;
}

bool ParseNumber(const char* text, double* out) {
  char* end = nullptr;
  *out = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(*out);
}

// The command line: 0 parsed, 1 --help (usage printed), 2 a bad option (which and why printed).
int Parse(int argc, char** argv, Options* o) {
  auto bad = [](const std::string& option, const char* why) {
    std::fprintf(stderr, "sound-demo: %s: %s\n", option.c_str(), why);
    return 2;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    double v = 0;
    auto value = [&](double* out) { return i + 1 < argc && ParseNumber(argv[++i], out); };
    if (a == "--help" || a == "-h") {
      Usage(stdout);
      return 1;
    } else if (a == "--volume") {
      if (!value(&v) || v < 0 || v > 1000)
        return bad(a, "needs a gain from 0 to 1000 (1 plays at full volume)");
      o->volume = float(v);
      o->hasVolume = true;
    } else if (a == "--pan") {
      if (!value(&v) || v < 0 || v > 100) return bad(a, "needs a percentage from 0 to 100");
      o->pan = int32_t(v);
      o->hasPan = true;
    } else if (a == "--side") {
      o->side = VQSOUND_SIDE_LEFT;
    } else if (a == "--speed") {
      if (!value(&v) || v <= 0 || v > 100000)
        return bad(a, "needs a percentage above 0 and at most 100000");
      o->speed = int32_t(v);
      o->hasSpeed = true;
    } else if (a == "--loop") {
      o->loop = true;
    } else if (a == "--seconds") {
      if (!value(&v) || v < 0 || v > 3600)
        return bad(a, "needs a number of seconds from 0 to 3600");
      o->seconds = v;
    } else if (a == "--render") {
      if (i + 1 >= argc) return bad(a, "needs the name of the WAVE file to write");
      o->render = argv[++i];
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "sound-demo: unknown option %s\n", a.c_str());
      return Usage();
    } else {
      o->files.push_back(a);
    }
  }
  if (o->files.empty()) {
    std::fprintf(stderr, "sound-demo: give at least one sound file\n");
    return Usage();
  }
  return 0;
}

void Apply(const Options& o, VQSoundBuffer* b) {
  if (o.hasVolume) b->SetVolume(o.volume);
  if (o.hasPan || o.side == VQSOUND_SIDE_LEFT) b->SetPan(o.pan, o.side);
  if (o.hasSpeed) b->SetSpeed(o.speed);
}

bool IsStream(const std::string& f) {
  const VQFileType t = VQfile_TypeFromExtension(f.c_str());
  return t == VQFILE_MP3 || t == VQFILE_VQ3;
}

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// A 16-bit stereo 44100 Hz WAVE file of the samples, written in place of the target only
// once complete.
bool WriteWave(const std::string& path, const std::vector<int16_t>& samples) {
  std::vector<uint8_t> b;
  const uint32_t dataBytes = uint32_t(samples.size() * 2);
  b.insert(b.end(), {'R', 'I', 'F', 'F'});
  Put32(b, 36 + dataBytes);
  b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put32(b, 16);
  Put16(b, WAVE_FORMAT_PCM);
  Put16(b, kChannels);
  Put32(b, kRate);
  Put32(b, kRate * kChannels * 2);
  Put16(b, kChannels * 2);
  Put16(b, 16);
  b.insert(b.end(), {'d', 'a', 't', 'a'});
  Put32(b, dataBytes);
  for (int16_t s : samples) Put16(b, uint16_t(s));
  return vqfileio::WriteWholeFile(path.c_str(), b.data(), b.size());
}

bool SamePath(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::weakly_canonical(VQpath_Resolve(a), ec) ==
         std::filesystem::weakly_canonical(VQpath_Resolve(b), ec);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (const int parsed = Parse(argc, argv, &o)) return parsed == 1 ? 0 : 2;
  const bool rendering = !o.render.empty();
  for (const std::string& f : o.files) {
    if (rendering && SamePath(f, o.render)) {
      std::fprintf(stderr, "sound-demo: '%s' is an input file; the output must be another file\n", f.c_str());
      return 2;
    }
  }
  host::ds_set_render_to_memory(rendering);
  // Engine messages go to stderr; the program writes no engine log into the folder it runs from.
  VQlog_SetFileName(nullptr);
  VQlog_SetHandler(VQlog_StderrHandler);
  g_VQsystem.Init();
  auto* device = static_cast<VQDSoundDevice*>(g_VQsystem.GetDevice(VQDEVICE_SOUND, 0));
  if (!device || !device->Open(0)) {
    std::fprintf(stderr, "sound-demo: no sound device (%s)\n", VQerror_Describe(g_VQerror).c_str());
    return 1;
  }
  device->SetPrimaryFormat(kChannels, 16, kRate);

  std::vector<VQSoundBuffer*> buffers;
  std::vector<VQMP3Stream*> streams;
  int failures = 0;
  for (const std::string& f : o.files) {
    if (IsStream(f)) {
      auto* s = new VQMP3Stream();
      if (!s->Start(f.c_str(), device) || !s->Play(o.loop)) {
        std::fprintf(stderr, "sound-demo: cannot stream '%s' (%s)\n", f.c_str(),
                     VQerror_Describe(g_VQerror).c_str());
        delete s;
        ++failures;
        continue;
      }
      if (o.hasVolume) s->SetVolume(o.volume);
      VQSoundBuffer* b = s->m_buffer;
      if (o.hasPan || o.side == VQSOUND_SIDE_LEFT) b->SetPan(o.pan, o.side);
      if (o.hasSpeed) b->SetSpeed(o.speed);
      streams.push_back(s);
      continue;
    }
    VQSoundBuffer* b = device->CreateBufferFromFile(f.c_str());
    if (!b) {
      std::fprintf(stderr, "sound-demo: cannot load '%s' (%s)\n", f.c_str(),
                   VQerror_Describe(g_VQerror).c_str());
      ++failures;
      continue;
    }
    Apply(o, b);
    device->PlayLimited(b, o.loop ? 1 : 0, 1.0f);
    buffers.push_back(b);
  }

  if (rendering && failures) {
    // A mix without one of its sounds is not what was asked for: nothing is written.
    std::fprintf(stderr, "sound-demo: '%s' not written\n", o.render.c_str());
    for (VQMP3Stream* s : streams) delete s;
    for (VQSoundBuffer* b : buffers) device->DeleteBuffer(b);
    device->Close();
    g_VQsystem.Shutdown();
    return 1;
  }
  double seconds = o.seconds >= 0 ? o.seconds : (rendering ? kDefaultRenderSeconds : kLongestPlay);
  std::vector<int16_t> mix;
  const uint32_t frameSamples = kRate * kFrameMs / 1000;
  auto anyPlaying = [&] {
    for (VQSoundBuffer* b : buffers)
      if (b->m_flags & VQSOUND_PLAYING) return true;
    for (VQMP3Stream* s : streams)
      if (s->m_playing) return true;
    return false;
  };
  const uint64_t totalFrames = uint64_t(seconds * kRate);
  for (uint64_t done = 0; done < totalFrames;) {
    const uint32_t n = uint32_t(std::min<uint64_t>(frameSamples, totalFrames - done));
    if (rendering) {
      const size_t at = mix.size();
      mix.resize(at + size_t(n) * kChannels);
      device->m_dsound->render(mix.data() + at, n);
    } else {
      if (o.seconds < 0 && !anyPlaying()) break;
      host::sleep_ms(n * 1000 / kRate);
    }
    done += n;
    VQdsound_UpdateBuffers();
  }
  int status = failures ? 1 : 0;
  if (rendering) {
    if (WriteWave(o.render, mix)) {
      std::printf("sound-demo: %.2f s of the mix written to %s\n", double(mix.size() / kChannels) / kRate,
                  o.render.c_str());
    } else {
      std::fprintf(stderr, "sound-demo: cannot write '%s' (%s)\n", o.render.c_str(),
                   VQerror_Describe(g_VQerror).c_str());
      status = 1;
    }
  }
  for (VQMP3Stream* s : streams) delete s;
  for (VQSoundBuffer* b : buffers) device->DeleteBuffer(b);
  device->Close();
  g_VQsystem.Shutdown();
  return status;
}
