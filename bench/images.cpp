// Image pipeline throughput: pixel conversion and blits in megapixels per second for the common
// format pairs, against a plain memcpy of the destination's bytes as the baseline
// (BM_Baseline_Memcpy), and JPEG decoding of a 1024 x 1024 picture.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "Zentri/resources/VQBlit.h"
#include "Zentri/resources/VQImageFile.h"
#include "Zentri/resources/VQPixels.h"

namespace {

constexpr uint32_t kSide = 512;
constexpr uint32_t kPixels = kSide * kSide;

std::vector<uint8_t> Pattern(size_t bytes) {
  std::vector<uint8_t> v(bytes);
  uint32_t x = 12345;
  for (auto& b : v) {
    x = x * 1103515245u + 12345u;
    b = uint8_t(x >> 16);
  }
  return v;
}

void SetRate(benchmark::State& state) {
  state.counters["MPix/s"] =
      benchmark::Counter(double(kPixels) * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

void BM_Baseline_Memcpy(benchmark::State& state) {
  const size_t bytes = size_t(kPixels) * state.range(0);
  std::vector<uint8_t> src = Pattern(bytes), dst(bytes);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::DoNotOptimize(dst.data());
  }
  SetRate(state);
}
BENCHMARK(BM_Baseline_Memcpy)->Arg(3)->Arg(4);

void BM_Convert(benchmark::State& state) {
  const uint32_t sf = uint32_t(state.range(0)), df = uint32_t(state.range(1));
  const uint8_t blend = uint8_t(state.range(2));
  std::vector<uint8_t> src = Pattern(size_t(kPixels) * VQPixelFormat_BytesPerPixel(sf));
  std::vector<uint8_t> dst = Pattern(size_t(kPixels) * VQPixelFormat_BytesPerPixel(df));
  for (auto _ : state) {
    VQpixels_Convert(dst.data(), kSide, df, src.data(), kSide, sf, kSide, kSide, blend);
    benchmark::DoNotOptimize(dst.data());
  }
  SetRate(state);
}
// (source, destination, blend): TGA/BMP to JPEG order, 24 to 32 bits, 32 to 16 bits, the byte
// reorders, and blended 32-bit compositing.
BENCHMARK(BM_Convert)
    ->Args({VQPF_BGR888, VQPF_RGB888, 0})
    ->Args({VQPF_BGR888, VQPF_BGRA8888, 0})
    ->Args({VQPF_BGRA8888, VQPF_RGBA8888, 0})
    ->Args({VQPF_BGRA8888, VQPF_RGB565, 0})
    ->Args({VQPF_BGRA8888, VQPF_BGR888, 1})
    ->Args({VQPF_BGRA8888, VQPF_BGRA8888, 1});

void BM_Blit(benchmark::State& state) {
  const uint32_t sf = uint32_t(state.range(0)), df = uint32_t(state.range(1));
  VQBlitOptions o;
  o.blend = uint8_t(state.range(2));
  o.colourKey = uint8_t(state.range(3));
  o.keyRed = 255;
  o.keyBlue = 255;
  std::vector<uint8_t> src = Pattern(size_t(kPixels) * VQPixelFormat_BytesPerPixel(sf));
  std::vector<uint8_t> dst = Pattern(size_t(kPixels) * VQPixelFormat_BytesPerPixel(df));
  for (auto _ : state) {
    VQpixels_Blit(dst.data(), kSide, df, dst.data(), kSide, src.data(), kSide, kSide, kSide, sf, o);
    benchmark::DoNotOptimize(dst.data());
  }
  SetRate(state);
}
// (source, destination, blend, colour key)
BENCHMARK(BM_Blit)
    ->Args({VQPF_BGRA8888, VQPF_BGRA8888, 0, 0})
    ->Args({VQPF_BGR888, VQPF_BGRA8888, 0, 0})
    ->Args({VQPF_BGRA8888, VQPF_RGBA8888, 1, 0})
    ->Args({VQPF_BGRA8888, VQPF_BGRA8888, 1, 1})
    ->Args({VQPF_ARGB4444, VQPF_RGB565, 1, 0});

void BM_JpegDecode1024(benchmark::State& state) {
  const uint32_t side = 1024;
  // A smooth gradient with some texture, as a photograph-like test picture.
  std::vector<uint8_t> rgb(size_t(side) * side * 3);
  for (uint32_t y = 0; y < side; ++y)
    for (uint32_t x = 0; x < side; ++x) {
      uint8_t* p = &rgb[(size_t(y) * side + x) * 3];
      p[0] = uint8_t(x / 4);
      p[1] = uint8_t(y / 4);
      p[2] = uint8_t((x ^ y) & 0xFF);
    }
  uint8_t* file = nullptr;
  size_t size = 0;
  if (!VQimage_WriteMemory(rgb.data(), side, side, side, VQPF_RGB888, nullptr, false, VQIMAGE_JPEG, 0, &file,
                           &size)) {
    state.SkipWithError("JPEG encoding failed");
    return;
  }
  for (auto _ : state) {
    uint32_t w, h, f;
    uint8_t* pal = nullptr;
    uint8_t* px = VQimage_ReadMemory(file, size, VQIMAGE_JPEG, &w, &h, &f, &pal);
    benchmark::DoNotOptimize(px);
    std::free(px);
  }
  std::free(file);
  state.counters["MPix/s"] =
      benchmark::Counter(double(side) * side * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
  state.counters["bytes"] = double(size);
}
BENCHMARK(BM_JpegDecode1024)->Unit(benchmark::kMillisecond);

}  // namespace
