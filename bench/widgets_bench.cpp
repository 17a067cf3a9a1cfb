// Widget figures at 1024 x 768: presenting the canvas to 16- and 32-bit surfaces beside a memcpy of
// the same destination bytes, and a question box from the call to its presented frame.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/engine.h"
#include "support/widget_host.h"

namespace {

namespace w = engine::widgets;

constexpr int kWidth = 1024, kHeight = 768;

struct Target {
  std::vector<uint8_t> bytes;
  engine::Surface surface;
};

Target MakeTarget(int bits) {
  Target target;
  target.surface.width = kWidth;
  target.surface.height = kHeight;
  target.surface.format.bitsPerPixel = bits;
  target.surface.format.pitch = kWidth * bits / 8;
  engine::AnalysePixelFormat(&target.surface.format);
  target.bytes.assign(static_cast<size_t>(target.surface.format.pitch) * kHeight, 0);
  target.surface.pixels = target.bytes.data();
  return target;
}

w::Canvas BusyCanvas() {
  w::Canvas canvas;
  canvas.Resize(kWidth, kHeight);
  for (size_t i = 0; i < canvas.pixels.size(); ++i) canvas.pixels[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
  return canvas;
}

void Present(benchmark::State& state, int bits) {
  const w::Canvas canvas = BusyCanvas();
  Target target = MakeTarget(bits);
  const auto palette = w::CanvasPalette();
  const w::CanvasColours colours = w::MakeCanvasColours(palette.data(), target.surface.format);
  for (auto _ : state) {
    w::PresentCanvas(canvas, colours, target.surface);
    benchmark::DoNotOptimize(target.bytes.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(target.bytes.size()));
}

// The yardstick: the destination's bytes copied whole.
void Copy(benchmark::State& state, int bits) {
  Target target = MakeTarget(bits);
  std::vector<uint8_t> source(target.bytes.size(), 7);
  for (auto _ : state) {
    std::memcpy(target.bytes.data(), source.data(), source.size());
    benchmark::DoNotOptimize(target.bytes.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(target.bytes.size()));
}

void BM_PresentCanvas16(benchmark::State& state) { Present(state, 16); }
void BM_Memcpy16(benchmark::State& state) { Copy(state, 16); }
void BM_PresentCanvas32(benchmark::State& state) { Present(state, 32); }
void BM_Memcpy32(benchmark::State& state) { Copy(state, 32); }
BENCHMARK(BM_PresentCanvas16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PresentCanvas32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy32)->Unit(benchmark::kMicrosecond);

// The test host with a real presentation: every presented canvas is converted into a 32-bit
// surface instead of being copied.
class PresentingHost : public test_support::WidgetHost {
 public:
  PresentingHost() : target_(MakeTarget(32)) {
    const auto palette = w::CanvasPalette();
    colours_ = w::MakeCanvasColours(palette.data(), target_.surface.format);
    keepFrames = false;
  }
  void Present(const w::Canvas& canvas) override {
    test_support::WidgetHost::Present(canvas);
    w::PresentCanvas(canvas, colours_, target_.surface);
  }

 private:
  Target target_;
  w::CanvasColours colours_;
};

// A two-line question answered by the script as soon as its frame is shown: wrap, layout, panel,
// buttons, labels, lines, the 32-bit present, then the clearing on the way out.
void BM_QuestionBox(benchmark::State& state) {
  PresentingHost host;
  w::WidgetScreen screen;
  test_support::SetUpScreen(screen, host, kWidth, kHeight);
  const std::string text =
      "Are you sure you want to reset the|current element's parameters to default values? This cannot be undone "
      "once the project is saved.";
  for (auto _ : state) {
    host.Answer(0);
    benchmark::DoNotOptimize(w::MessageBox(screen, text, " YES ", " NO "));
  }
  state.counters["presents"] = static_cast<double>(host.presents) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_QuestionBox)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
