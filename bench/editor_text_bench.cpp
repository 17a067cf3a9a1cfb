// Editor text figures: a 1024 x 768 canvas filled with 96 lines of 128 characters, drawn with the
// 8-pixel font and with the proportional one, and the width of one such line.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "mkdata/mkdata.h"

namespace {

constexpr int kWidth = 1024, kHeight = 768, kLines = 96, kColumns = 128;

engine::EditorFont Font(bool fixed) {
  const std::vector<uint8_t> bytes = fixed ? mkdata::FixedFontFile() : mkdata::ProportionalFontFile();
  engine::EditorFont font;
  std::string error;
  if (!engine::LoadEditorFont(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                              fixed ? "font8.fnt" : "font.fnt", &font, &error)) {
    font = engine::BuiltinEditorFont();
  }
  return font;
}

// Line i runs through the printable characters from a different place, no spaces.
std::vector<std::string> Lines() {
  std::vector<std::string> lines(kLines);
  for (int i = 0; i < kLines; ++i) {
    for (int k = 0; k < kColumns; ++k) lines[i] += static_cast<char>('!' + (i * 7 + k) % 94);
  }
  return lines;
}

// One iteration draws every line, 8 rows apart with the glyphs' top on the line's first row. The
// last line and the 128th character of a fixed-font line reach the canvas's last row or column,
// and are skipped as the drawing rules say; their cost is counted with the rest.
void DrawCanvas(benchmark::State& state, bool fixed) {
  const engine::EditorFont font = Font(fixed);
  const std::vector<std::string> lines = Lines();
  std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight, 0);
  const engine::CanvasView canvas{pixels.data(), kWidth, kWidth, kHeight};
  for (auto _ : state) {
    for (int i = 0; i < kLines; ++i) {
      engine::DrawEditorText(font, canvas, 0, i * 8 - font.lineGap / 2, lines[i], static_cast<uint8_t>(i + 1));
    }
    benchmark::DoNotOptimize(pixels.data());
    benchmark::ClobberMemory();
  }
  size_t painted = 0;
  for (const uint8_t pixel : pixels) painted += pixel != 0;
  state.counters["painted_pixels"] = static_cast<double>(painted);
  state.counters["chars"] = benchmark::Counter(static_cast<double>(state.iterations()) * kLines * kColumns,
                                               benchmark::Counter::kIsRate);
}

void BM_EditorTextFixedCanvas(benchmark::State& state) { DrawCanvas(state, true); }
BENCHMARK(BM_EditorTextFixedCanvas)->Unit(benchmark::kMicrosecond);

void BM_EditorTextProportionalCanvas(benchmark::State& state) { DrawCanvas(state, false); }
BENCHMARK(BM_EditorTextProportionalCanvas)->Unit(benchmark::kMicrosecond);

void BM_EditorTextWidthLine(benchmark::State& state) {
  const engine::EditorFont font = Font(false);
  const std::string line = Lines()[0];
  for (auto _ : state) benchmark::DoNotOptimize(engine::EditorTextWidth(font, line));
}
BENCHMARK(BM_EditorTextWidthLine);

}  // namespace

BENCHMARK_MAIN();
