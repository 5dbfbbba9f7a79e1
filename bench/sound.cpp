// The mixer's cost: 32 buffers playing through the voice limiter (16 audible, the rest paused),
// mono and stereo, at mixed frequencies, rendered in 20 ms frames with the per-frame update in
// between. Reported as the fraction of real time one second of audio takes to mix (baseline:
// real time, 1.0); a single audible buffer is measured beside it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "Zentri/devices/sound/VQDSoundDevice.h"
#include "Zentri/devices/sound/VQVoiceLimiter.h"
#include "Zentri/platform/VQSystem.h"
#include "host/directx/dsound.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kFrameMs = 20;

VQDSoundDevice* Device() {
  static VQDSoundDevice* device = [] {
    host::ds_set_render_to_memory(true);
    g_VQsystem.Init();
    auto* d = static_cast<VQDSoundDevice*>(g_VQsystem.GetDevice(VQDEVICE_SOUND, 0));
    if (!d || !d->Open(0) || !d->SetPrimaryFormat(2, 16, kRate)) std::abort();
    return d;
  }();
  return device;
}

VQSoundBuffer* Tone(VQDSoundDevice* d, uint32_t channels, uint32_t rate, double hz) {
  const uint32_t frames = rate;  // one second
  auto* p = static_cast<int16_t*>(std::malloc(size_t(frames) * channels * 2));
  for (uint32_t i = 0; i < frames; ++i)
    for (uint32_t c = 0; c < channels; ++c)
      p[size_t(i) * channels + c] = int16_t(8000 * std::sin(2 * M_PI * hz * i / rate));
  return d->CreateBuffer(p, frames * channels * 2, channels, 16, rate, true, "bench");
}

void MixOneSecond(benchmark::State& state) {
  const uint32_t playing = uint32_t(state.range(0));
  VQDSoundDevice* d = Device();
  d->m_limiter->SetMaxVoices(VQVOICE_DEFAULT_AUDIBLE);
  static const uint32_t kRates[] = {11025, 22050, 44100, 32000};
  std::vector<VQSoundBuffer*> buffers;
  for (uint32_t i = 0; i < playing; ++i) {
    VQSoundBuffer* b = Tone(d, 1 + i % 2, kRates[i % 4], 200.0 + 37.0 * i);
    b->SetSpeed(70 + int32_t(i * 7 % 80));
    b->SetPan(40 + int32_t(i * 13 % 60), int32_t(i % 2));
    d->PlayLimited(b, 1, float(i % 5));
    buffers.push_back(b);
  }
  const uint32_t frame = kRate * kFrameMs / 1000;
  std::vector<int16_t> out(size_t(frame) * 2);
  double seconds = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    for (uint32_t ms = 0; ms < 1000; ms += kFrameMs) {
      d->m_dsound->render(out.data(), frame);
      VQdsound_UpdateBuffers();
    }
    benchmark::DoNotOptimize(out.data());
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  state.counters["fraction_of_real_time"] = seconds / double(state.iterations());
  for (VQSoundBuffer* b : buffers) d->DeleteBuffer(b);
}

}  // namespace

BENCHMARK(MixOneSecond)->Arg(1)->Arg(32)->Unit(benchmark::kMillisecond);
