// The 2D pass at 1024 x 768: 256 sprites of 64 x 48 tiling the screen (opaque, translucent, or half
// and half), 64 six-digit counters, side by side with a memcpy of the whole back surface, at 16 and
// 32 bits a pixel; and a 640 x 480 PCX decoded and coded as a span list.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/core.h"
#include "engine/engine.h"
#include "support/pcx_bytes.h"

namespace {

constexpr int kWidth = 1024, kHeight = 768;

// A 64 x 48 sprite picture: a rounded blob (its corners transparent) of noisy colours.
engine::PcxPicture SpritePicture() {
  engine::PcxPicture picture;
  picture.width = 64;
  picture.height = 48;
  picture.pixels.resize(64 * 48);
  uint32_t seed = 3;
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) {
      seed = seed * 1103515245u + 12345u;
      const int dx = x - 32, dy = (y - 24) * 4 / 3;
      picture.pixels[static_cast<size_t>(y) * 64 + x] =
          dx * dx + dy * dy < 34 * 34 ? static_cast<uint8_t>(1 + (seed >> 16) % 255) : 0;
    }
  }
  picture.palette = testing_support::RampPalette();
  return picture;
}

// Thirteen glyphs of 10 x 16 (the last column the marker).
engine::PcxPicture DigitPicture() {
  engine::PcxPicture picture;
  picture.width = 130;
  picture.height = 16;
  picture.pixels.resize(130 * 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 130; ++x)
      picture.pixels[static_cast<size_t>(y) * 130 + x] = x % 10 == 9 && y == 0 ? 255 : ((x + y) % 3 == 0 ? 0 : 200);
  picture.palette = testing_support::RampPalette();
  return picture;
}

struct Pass {
  explicit Pass(int bits) {
    arena.Create();
    memory.Reset(&arena);
    surface.width = kWidth;
    surface.height = kHeight;
    surface.format.bitsPerPixel = bits;
    surface.format.pitch = kWidth * bits / 8;
    if (bits == 32) {
      surface.format.redShift = 16;
      surface.format.greenShift = 8;
    }
    back.assign(static_cast<size_t>(surface.format.pitch) * kHeight, 0x5A);
    copy.assign(back.size(), 0);
    surface.pixels = back.data();
    engine::PrepareSprite(&memory, SpritePicture(), surface.format, sprite);
    engine::PrepareCounter(&memory, DigitPicture(), surface.format, counter);
  }
  // Every sprite of the 16 x 16 grid; translucent ones where `translucent` says.
  template <typename Translucent>
  void DrawSprites(Translucent&& translucent) {
    const engine::ClipRectangle clip{0, 0, kWidth - 1, kHeight - 1};
    for (int i = 0; i < 256; ++i) {
      engine::DrawSprite(arena, sprite, (i % 16) * 64, (i / 16) * 48, clip, translucent(i), surface);
    }
  }
  void DrawCounters() {
    for (int i = 0; i < 64; ++i) {
      engine::DrawCounter(arena, counter, engine::CounterValue{(i % 8) * 128, (i / 8) * 96, 123456 + i, 100000, 0, 1},
                          surface);
    }
  }
  core::Arena arena;
  engine::AspectMemory memory;
  engine::Surface surface;
  std::vector<uint8_t> back, copy;
  int32_t sprite[16] = {};
  int32_t counter[16] = {};
};

void BM_CopyBackSurface(benchmark::State& state) {
  Pass pass(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::memcpy(pass.copy.data(), pass.back.data(), pass.back.size());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CopyBackSurface)->Arg(16)->Arg(32)->Unit(benchmark::kMicrosecond);

void BM_SpritesOpaque(benchmark::State& state) {
  Pass pass(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    pass.DrawSprites([](int) { return false; });
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_SpritesOpaque)->Arg(16)->Arg(32)->Unit(benchmark::kMicrosecond);

void BM_SpritesTranslucent(benchmark::State& state) {
  Pass pass(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    pass.DrawSprites([](int) { return true; });
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_SpritesTranslucent)->Arg(16)->Arg(32)->Unit(benchmark::kMicrosecond);

// The 2D pass without text: half the sprites translucent, then the counters.
void BM_SpritesAndCounters(benchmark::State& state) {
  Pass pass(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    pass.DrawSprites([](int i) { return i % 2 == 1; });
    pass.DrawCounters();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_SpritesAndCounters)->Arg(16)->Arg(32)->Unit(benchmark::kMicrosecond);

void BM_PcxToSpanList(benchmark::State& state) {
  std::vector<uint8_t> pixels(640 * 480);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x)
      pixels[static_cast<size_t>(y) * 640 + x] = (x / 40 + y / 30) % 5 == 0 ? 0 : static_cast<uint8_t>(x ^ y);
  const std::string bytes = testing_support::PcxFile(640, 480, pixels);
  core::Arena arena;
  arena.Create();
  engine::AspectMemory memory;
  engine::PixelFormat format;
  format.pitch = kWidth * 2;
  int32_t slot[16];
  engine::PcxPicture picture;
  for (auto _ : state) {
    memory.Reset(&arena);
    engine::DecodePcx(bytes, &picture);
    engine::PrepareSprite(&memory, picture, format, slot);
    benchmark::DoNotOptimize(slot[engine::kSpriteSpans]);
  }
}
BENCHMARK(BM_PcxToSpanList)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
