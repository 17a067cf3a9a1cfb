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

void BM_DecodePcx(benchmark::State& state) {
  const std::string bytes = testing_support::BackdropPcx();
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
    engine::DecodePcx(testing_support::BackdropPcx(), &picture);
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
