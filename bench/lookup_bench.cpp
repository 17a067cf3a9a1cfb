// Element lookup figures: one brain step of 256 elements that each ask for their nearest
// neighbour among the other 255, and globals_sort over all 2048 globals. The workload brain lives
// in bench/brains/ of this repository.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "brain/brain.h"
#include "core/core.h"
#include "instructions/instructions.h"
#include "model/model.h"
#include "state/state.h"

namespace {

constexpr int kElements = 256;

// An engine with a play whose 256 element records start zeroed; every family is bound.
struct Scene {
  state::Engine engine;
  core::Arena& arena = engine.arena;
  std::string error;

  bool Begin(brain::Backend backend) {
    engine.options.brains = backend;
    engine.play = std::make_unique<state::Play>();
    if (!arena.Create() || !brain::BeginCompilation(&engine.play->compiler, &arena)) {
      error = "no arena";
      return false;
    }
    engine.play->brains.runtimeError = [this](const std::string& text) { error = text; };
    engine.play->brains.missingInstruction = [this](const std::string& text) { error = text; };
    return true;
  }
  int32_t* Record(int element) { return arena.As<int32_t>(core::Region::kElementRecords) + element * model::kRecordWords; }
};

// Every element on, sharing identity bit 0, scattered over a 200 m cube so that the nearest of each
// is found after a spread of improvements rather than at the first candidate.
void BM_NearestElementTick(benchmark::State& state, brain::Backend backend) {
  std::string text;
  if (!core::ReadFile(std::string(VEXEL_LOCAL_BENCH_BRAINS) + "/nearest.brn", &text)) {
    state.SkipWithError("workload nearest.brn not found");
    return;
  }
  Scene scene;
  if (!scene.Begin(backend)) {
    state.SkipWithError(scene.error.c_str());
    return;
  }
  brain::CompilerState& compiler = scene.engine.play->compiler;
  const uint32_t entry = compiler.code.Address();
  brain::CompileBrainText(&compiler, text);
  if (!compiler.error.empty()) {
    state.SkipWithError(("brain error: " + compiler.error).c_str());
    return;
  }
  core::XorShift noise(12345);
  for (int i = 0; i < kElements; ++i) {
    int32_t* record = scene.Record(i);
    record[model::kWordBrainEntry] = static_cast<int32_t>(entry);
    record[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
    record[model::kWordIdentity] = 1;
    for (int axis = 0; axis < 3; ++axis) {
      record[model::kWordPositionX + axis] = (noise.Below(200000) - 100000) * 512;  // millimetres
    }
  }
  std::vector<std::string> refused;
  instructions::SetUpBrains(scene.engine, kElements - 1, &refused);
  if (!refused.empty()) {
    state.SkipWithError(("translation refused: " + refused.front()).c_str());
    return;
  }
  brain::BrainRuntime& runtime = scene.engine.play->brains;
  for (auto _ : state) {
    brain::RunBrains(&runtime);
    if (runtime.faulted || !scene.error.empty()) break;
  }
  if (runtime.faulted || !scene.error.empty()) {
    state.SkipWithError(scene.error.c_str());
    return;
  }
  // Every element must have found another one: a 0 means the routine never ran.
  int found = 0;
  for (int i = 0; i < kElements; ++i) found += scene.Record(i)[255] != 0 ? 1 : 0;
  if (found != kElements) {
    state.SkipWithError("nearest_element answered 0");
    return;
  }
  state.counters["candidates_per_s"] = benchmark::Counter(static_cast<double>(kElements) * (kElements - 1),
                                                          benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK_CAPTURE(BM_NearestElementTick, interp, brain::Backend::kInterpreter)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_NearestElementTick, native, brain::Backend::kNative)->Unit(benchmark::kMicrosecond);

// globals_sort(0, 2047) over noise, called as brain code calls it. Each iteration first restores
// the unsorted values (an 8 KB copy, a small part of the figure), so every sort does the full work.
void BM_GlobalsSortAll(benchmark::State& state) {
  Scene scene;
  if (!scene.Begin(brain::kDefaultBackend)) {
    state.SkipWithError(scene.error.c_str());
    return;
  }
  instructions::SetUpBrains(scene.engine, kElements - 1);
  std::vector<int32_t> noise(model::kGlobalCount);
  core::XorShift random(99);
  for (int32_t& value : noise) value = static_cast<int32_t>(random.Next());
  int32_t* globals = scene.arena.As<int32_t>(core::Region::kGlobals);
  const uint32_t stub = brain::RoutineAddress(brain::RowOfName("globals_sort"));
  std::string fault;
  for (auto _ : state) {
    std::copy(noise.begin(), noise.end(), globals);
    brain::Regs regs{0, model::kGlobalCount - 1, 0, 0, 0, 0};
    if (!brain::CallRoutine(&scene.engine.play->brains, stub, &regs, &fault)) break;
    benchmark::ClobberMemory();
  }
  if (!fault.empty() || !scene.error.empty() || !std::is_sorted(globals, globals + model::kGlobalCount)) {
    state.SkipWithError(("globals_sort did not sort: " + fault + scene.error).c_str());
  }
}
BENCHMARK(BM_GlobalsSortAll)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
