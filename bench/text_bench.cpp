// Printed text figures at 1024 x 768 x 16: a frame of 64 prints of 16 characters drawn from the
// text queue with warm glyph caches, the same frame cold (fonts opened, every glyph rendered), and
// the font library's own whole-line call for the same 64 texts, side by side. `per_print` is the
// time of one print. The portable drawing (no AVX2) is measured alone too.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "platform/platform.h"

namespace {

constexpr int kPrints = 64;

std::vector<std::string> Texts() {
  std::vector<std::string> texts;
  for (int i = 0; i < kPrints; ++i) {
    char text[32];
    std::snprintf(text, sizeof text, "Item %02d = %06d", i, i * 7919 % 1000000);  // 16 characters
    texts.emplace_back(text);
  }
  return texts;
}

engine::Display Screen() {
  engine::Display display;
  display.width = 1024;
  display.height = 768;
  display.format.bitsPerPixel = 16;
  display.format.pitch = 2048;
  display.backSurface.assign(2048u * 768u, 0);
  return display;
}

// Four columns of sixteen rows, in a few colours, from slot 0 at the play's default font.
void QueueFrame(engine::PrintedText* text) {
  text->queue.Clear();
  for (int i = 0; i < kPrints; ++i) {
    const uint32_t colour = i % 3 == 0 ? 0x00FFFFFF : i % 3 == 1 ? 0x0000FFFF : 0x00FF8040;
    text->queue.QueueText(colour, (i % 4) * 256, (i / 4) * 48, static_cast<uint32_t>(i), 0);
  }
}

void Report(benchmark::State& state) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kPrints);
  state.counters["per_print"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kPrints,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_TextQueueWarm(benchmark::State& state) {
  const std::vector<std::string> texts = Texts();
  const engine::TextResolver resolve = [&texts](uint32_t word) { return std::string_view(texts[word]); };
  engine::Display display = Screen();
  engine::PrintedText text;
  QueueFrame(&text);
  engine::DrawTextQueue(&text, display.Back(), resolve);
  const uint64_t rendered = text.fonts[0].GlyphsRendered();
  for (auto _ : state) {
    engine::DrawTextQueue(&text, display.Back(), resolve);
    benchmark::DoNotOptimize(display.backSurface.data());
  }
  if (text.fonts[0].GlyphsRendered() != rendered) state.SkipWithError("a warm frame rendered glyphs");
  Report(state);
}
BENCHMARK(BM_TextQueueWarm)->Unit(benchmark::kMicrosecond);

// The same 64 prints drawn with the portable 16-byte groups, as on a processor without AVX2.
void BM_TextPortableWarm(benchmark::State& state) {
  const std::vector<std::string> texts = Texts();
  engine::Display display = Screen();
  engine::PrintedText text;
  const auto frame = [&] {
    for (int i = 0; i < kPrints; ++i) {
      engine::DrawTextPortable(&text.fonts[0], display.Back(), (i % 4) * 256, (i / 4) * 48, 0x00FFFFFF, texts[static_cast<size_t>(i)]);
    }
  };
  frame();
  for (auto _ : state) {
    frame();
    benchmark::DoNotOptimize(display.backSurface.data());
  }
  Report(state);
}
BENCHMARK(BM_TextPortableWarm)->Unit(benchmark::kMicrosecond);

// The first frame of a play: the slot's font is opened and each byte's glyph rendered once.
void BM_TextQueueCold(benchmark::State& state) {
  const std::vector<std::string> texts = Texts();
  const engine::TextResolver resolve = [&texts](uint32_t word) { return std::string_view(texts[word]); };
  engine::Display display = Screen();
  for (auto _ : state) {
    state.PauseTiming();
    auto text = std::make_unique<engine::PrintedText>();
    QueueFrame(text.get());
    state.ResumeTiming();
    engine::DrawTextQueue(text.get(), display.Back(), resolve);
    benchmark::DoNotOptimize(display.backSurface.data());
    state.PauseTiming();
    text.reset();
    state.ResumeTiming();
  }
  Report(state);
}
BENCHMARK(BM_TextQueueCold)->Unit(benchmark::kMicrosecond);

// The library's own call per print, on the same open font: a blended ARGB line is made and freed
// (not yet blended into the back surface, which would only add to it).
void BM_LibraryRenderTextBlended(benchmark::State& state) {
  const std::vector<std::string> texts = Texts();
  std::string error;
  const std::unique_ptr<platform::Font> font =
      platform::Font::Open(engine::kDefaultFontFace, engine::kDefaultFontHeight, engine::kDefaultFontWeight, &error);
  if (font == nullptr) {
    state.SkipWithError(error.c_str());
    return;
  }
  for (auto _ : state) {
    for (int i = 0; i < kPrints; ++i) benchmark::DoNotOptimize(font->RenderTextReference(texts[static_cast<size_t>(i)], 0xFFFFFF));
  }
  Report(state);
}
BENCHMARK(BM_LibraryRenderTextBlended)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
