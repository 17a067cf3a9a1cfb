// Program control: how long a `save` holds up the play (the file is written through a temporary
// file and flushed to the disk).
#include <benchmark/benchmark.h>

#include <memory>

#include "instructions/instructions.h"
#include "state/state.h"
#include "support/temp_folder.h"

namespace {

void BM_SaveGame(benchmark::State& state) {
  testing_support::TempFolder folder("vexel-bench-save");
  state::Engine engine;
  if (!engine.arena.Create()) {
    state.SkipWithError("no arena");
    return;
  }
  engine.play = std::make_unique<state::Play>();
  engine.playerRun = true;
  engine.paths.working = folder.path();
  auto* records = engine.arena.As<int32_t>(core::Region::kElementRecords);
  for (int i = 0; i < 256 * 256; ++i) records[i] = i * 7;
  for (auto _ : state) {
    if (!instructions::SaveGame(engine, 0)) {
      state.SkipWithError("save failed");
      break;
    }
  }
}
BENCHMARK(BM_SaveGame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
