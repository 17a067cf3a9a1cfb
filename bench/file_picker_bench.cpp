// File picker figure: one page of nine 640 x 480 PCX previews from the call to the answered box
// (listing, crash marker, decoding, scaling, labels and every present converted to a 16-bit
// surface).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/core.h"
#include "engine/engine.h"
#include "support/pcx_bytes.h"
#include "support/temp_folder.h"
#include "support/widget_host.h"

namespace {

namespace w = engine::widgets;

// The scripted host, presenting each frame into a 640 x 480 16-bit surface as the program does.
class PresentingHost : public test_support::WidgetHost {
 public:
  PresentingHost() : bytes_(640 * 480 * 2) {
    surface_.pixels = bytes_.data();
    surface_.width = 640;
    surface_.height = 480;
    surface_.format.pitch = 640 * 2;
    const auto palette = w::CanvasPalette();
    colours_ = w::MakeCanvasColours(palette.data(), surface_.format);
    keepFrames = false;
  }
  void Present(const w::Canvas& canvas) override {
    test_support::WidgetHost::Present(canvas);
    w::PresentCanvas(canvas, colours_, surface_);
  }

 private:
  std::vector<uint8_t> bytes_;
  engine::Surface surface_;
  w::CanvasColours colours_;
};

struct Folder {
  Folder() {
    for (int i = 0; i < 9; ++i) {
      core::WriteFileAtomic(files / ("backdrop" + std::to_string(i) + ".pcx"), testing_support::BackdropPcx(i));
    }
  }
  testing_support::TempFolder data{"bench-picker-data"};
  testing_support::TempFolder files{"bench-picker-files"};
};

void BM_FilePickerPage(benchmark::State& state) {
  Folder folder;
  PresentingHost host;
  w::WidgetScreen screen;
  test_support::SetUpScreen(screen, host);
  for (auto _ : state) {
    // The answer is taken once the page is drawn and presented.
    host.Answer(0);
    const std::string chosen = w::FilePicker(screen, folder.data.path(), folder.files.path(), 2, "Select a picture");
    if (chosen != "backdrop0.pcx") state.SkipWithError("the page did not answer");
  }
  state.counters["presents_per_page"] = benchmark::Counter(static_cast<double>(host.presents) / state.iterations());
}
BENCHMARK(BM_FilePickerPage)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
