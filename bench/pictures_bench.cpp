// Flat picture figures: decoding a full-screen PCX, coding it as a frame, drawing the frame into
// 16- and 32-bit back surfaces once per displayed frame, and a full-screen rectangle fill.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/core.h"
#include "engine/engine.h"
#include "support/pcx_bytes.h"

namespace {

// A 640 x 480 picture as backdrops are drawn: flat bands with a noisy strip in every row.
std::string ScreenPicture() {
  std::vector<uint8_t> pixels(640 * 480);
  uint32_t seed = 7;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      seed = seed * 1103515245u + 12345u;
      pixels[y * 640 + x] =
          x >= 200 && x < 328 ? static_cast<uint8_t>(seed >> 16) : static_cast<uint8_t>(y / 16 + x / 80);
    }
  }
  return testing_support::PcxFile(640, 480, pixels);
}

void BM_DecodePcx(benchmark::State& state) {
  const std::string bytes = ScreenPicture();
  engine::PcxPicture picture;
  for (auto _ : state) {
    engine::DecodePcx(bytes, &picture);
    benchmark::DoNotOptimize(picture.pixels.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 640 * 480);
}
BENCHMARK(BM_DecodePcx);

struct Prepared {
  Prepared() {
    arena.Create();
    memory.Reset(&arena);
    engine::DecodePcx(ScreenPicture(), &picture);
  }
  core::Arena arena;
  engine::AspectMemory memory;
  engine::PcxPicture picture;
  int32_t slot[16] = {};
};

void BM_PrepareFrame(benchmark::State& state) {
  Prepared prepared;
  for (auto _ : state) {
    prepared.memory.Reset(&prepared.arena);
    engine::PrepareFrame(&prepared.memory, prepared.picture, engine::PixelFormat{}, prepared.slot);
  }
  state.counters["code_bytes"] = prepared.slot[engine::kFrameCodeBytes];
}
BENCHMARK(BM_PrepareFrame);

// Argument: bits per pixel of the back surface.
void BM_DrawFrame(benchmark::State& state) {
  Prepared prepared;
  engine::PrepareFrame(&prepared.memory, prepared.picture, engine::PixelFormat{}, prepared.slot);
  engine::PixelFormat format;
  format.bitsPerPixel = static_cast<int>(state.range(0));
  format.pitch = 640 * format.bitsPerPixel / 8;
  std::vector<uint8_t> surface(static_cast<size_t>(format.pitch) * 480);
  for (auto _ : state) {
    engine::DrawFrame(prepared.arena, prepared.slot, surface.data(), format, 640, 480);
    benchmark::DoNotOptimize(surface.data());
  }
}
BENCHMARK(BM_DrawFrame)->Arg(16)->Arg(32);

void BM_FillRectangle(benchmark::State& state) {
  engine::PixelFormat format;
  format.pitch = 640 * 2;
  std::vector<uint8_t> surface(static_cast<size_t>(format.pitch) * 480);
  for (auto _ : state) {
    engine::FillRectangle(surface.data(), format, 640, 480, 0, 0, 640, 480, 0x1234);
    benchmark::DoNotOptimize(surface.data());
  }
}
BENCHMARK(BM_FillRectangle);

}  // namespace

BENCHMARK_MAIN();
