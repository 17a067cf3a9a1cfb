// Visual file figures: decoding textures.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "engine/engine.h"

namespace {

void Put32(std::string* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A bottom-up 24-bit BMP of `side` x `side` pixels in a pattern of every channel value.
std::string Bmp24(int side) {
  const uint32_t stride = (static_cast<uint32_t>(side) * 3 + 3) / 4 * 4;
  std::string out = "BM";
  Put32(&out, 54 + stride * side);
  Put32(&out, 0);
  Put32(&out, 54);
  Put32(&out, 40);
  Put32(&out, side);
  Put32(&out, side);
  Put32(&out, 1 | 24 << 16);  // planes, bits
  for (int i = 0; i < 6; ++i) Put32(&out, 0);
  for (int y = 0; y < side; ++y) {
    for (uint32_t x = 0; x < stride; ++x) out.push_back(static_cast<char>((x * 7 + y * 13) & 0xFF));
  }
  return out;
}

// A 512 x 512 24-bit texture, from bytes in memory to RGBA pixels.
void BM_DecodeBmp512(benchmark::State& state) {
  const std::string file = Bmp24(512);
  engine::Picture picture;
  std::string error;
  for (auto _ : state) {
    if (!engine::DecodeBmp(file, &picture, &error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(picture.rgba.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_DecodeBmp512)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
