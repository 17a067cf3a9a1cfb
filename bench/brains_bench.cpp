// Brain execution figures: one brain step of the standard 256-element scene on each backend, for
// plain arithmetic, for the motion instructions and for a brain of instruction calls beside the
// same brain calling only `sum`, and the native translation of 256 distinct brains; the workload
// brains are read from the shared folder and from bench/brains/.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "brain/brain.h"
#include "core/core.h"
#include "instructions/instructions.h"
#include "mkdata/mkdata.h"
#include "support/hand_window.h"
#include "model/model.h"
#include "state/state.h"

namespace {

constexpr int kElements = 256;

// The workloads are shared by every benchmark run so that figures stay comparable; they live
// outside the repository and may be missing in a bare checkout.
bool ReadWorkload(const char* name, std::string* text) {
  return core::ReadFile(std::string(VEXEL_BENCH_BRAINS) + "/" + name, text);
}

// An engine with a play, its compiler and brain runtime; every element record starts zeroed.
struct Scene {
  state::Engine engine;
  core::Arena& arena = engine.arena;
  std::string error;

  brain::CompilerState& compiler() { return engine.play->compiler; }
  brain::BrainRuntime& runtime() { return engine.play->brains; }

  bool Begin(brain::Backend backend) {
    engine.options.brains = backend;
    engine.play = std::make_unique<state::Play>();
    if (!arena.Create() || !brain::BeginCompilation(&compiler(), &arena)) {
      error = "no arena";
      return false;
    }
    runtime().runtimeError = [this](const std::string& text) { error = text; };
    return true;
  }
  int32_t* Record(int element) { return arena.As<int32_t>(core::Region::kElementRecords) + element * model::kRecordWords; }

  // Compiles one brain at the emission position, as the project compilation does, and gives its
  // entry address; false with the compile error.
  bool Compile(const std::string& text, uint32_t* entry) {
    brain::CompilerState& c = compiler();
    *entry = c.code.Address();
    c.brainStart = c.code.position;
    brain::CompileBrainText(&c, text);
    if (c.error.empty()) brain::ResolveLabels(&c, c.brainStart, c.code.position);
    if (!c.error.empty()) {
      error = "brain error: " + c.error;
      return false;
    }
    return true;
  }
};

// Sets the scene's brains up as a play does (every family bound, translated for its backend), then
// runs one brain step per iteration. False, after SkipWithError, when translation is refused, a
// brain faults or the scene records an error.
bool RunTicks(benchmark::State& state, Scene* scene) {
  std::vector<std::string> refused;
  instructions::SetUpBrains(scene->engine, kElements - 1, &refused);
  if (!refused.empty()) {
    state.SkipWithError(("translation refused: " + refused.front()).c_str());
    return false;
  }
  brain::BrainRuntime& runtime = scene->runtime();
  for (auto _ : state) {
    brain::RunBrains(&runtime);
    if (runtime.faulted || !scene->error.empty()) break;
  }
  if (runtime.faulted || !scene->error.empty()) {
    state.SkipWithError(((runtime.faulted ? "brain fault: " : "") + scene->error).c_str());
    return false;
  }
  state.counters["brains_per_s"] =
      benchmark::Counter(static_cast<double>(kElements), benchmark::Counter::kIsIterationInvariantRate);
  return true;
}

// One brain step of 256 elements, all on, all running arith.brn. Equal brain files share one
// compiled copy in a project, so every element's entry points at the same code.
void BM_TickArith(benchmark::State& state, brain::Backend backend) {
  std::string text;
  if (!ReadWorkload("arith.brn", &text)) {
    state.SkipWithError("workload arith.brn not found beside the repository");
    return;
  }
  Scene scene;
  uint32_t entry = 0;
  if (!scene.Begin(backend) || !scene.Compile(text, &entry)) {
    state.SkipWithError(scene.error.c_str());
    return;
  }
  for (int i = 0; i < kElements; ++i) {
    scene.Record(i)[model::kWordBrainEntry] = static_cast<int32_t>(entry);
    scene.Record(i)[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
  }
  RunTicks(state, &scene);
}
BENCHMARK_CAPTURE(BM_TickArith, interp, brain::Backend::kInterpreter)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TickArith, native, brain::Backend::kNative)->Unit(benchmark::kMicrosecond);

// The motion instructions read the sine and arctangent tables from guest memory; the engine loads
// them from its data files, the benchmark takes them from the generator that writes those files.
bool LoadMotionTables(core::Arena* arena, std::string* error) {
  const struct {
    core::Region region;
    std::vector<uint8_t> bytes;
  } tables[] = {
      {core::Region::kSineFine, mkdata::FineSineTable()},
      {core::Region::kSineCoarse, mkdata::CoarseSineTable()},
      {core::Region::kArctangent, mkdata::ArctangentTable()},
  };
  for (const auto& table : tables) {
    const core::RegionInfo& info = core::Describe(table.region);
    if (table.bytes.size() > info.size) {
      *error = std::string("lookup table larger than its region ") + info.name;
      return false;
    }
    std::copy(table.bytes.begin(), table.bytes.end(), arena->Host(table.region));
  }
  return true;
}

// One brain step of 256 elements, all on, all running motion.brn (one shared compiled copy).
// Each element starts somewhere else, with its own heading and velocity, so the forces, the
// steering and the drag see a spread of inputs rather than 256 copies of one case.
void BM_TickMotion(benchmark::State& state, brain::Backend backend) {
  std::string text;
  if (!ReadWorkload("motion.brn", &text)) {
    state.SkipWithError("workload motion.brn not found beside the repository");
    return;
  }
  Scene scene;
  uint32_t entry = 0;
  if (!scene.Begin(backend) || !LoadMotionTables(&scene.arena, &scene.error) || !scene.Compile(text, &entry)) {
    state.SkipWithError(scene.error.c_str());
    return;
  }
  // A row without a routine would answer 0 and make the step look cheaper than it is.
  scene.runtime().missingInstruction = [&scene](const std::string& message) {
    if (scene.error.empty()) scene.error = message;
  };
  std::vector<int32_t> startX(kElements), startZ(kElements);
  for (int i = 0; i < kElements; ++i) {
    int32_t* record = scene.Record(i);
    record[model::kWordBrainEntry] = static_cast<int32_t>(entry);
    record[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
    record[model::kWordPositionX] = (i % 16 - 8) * 512 * 4000;
    record[model::kWordPositionY] = (i % 5) * 512 * 300;
    record[model::kWordPositionZ] = (i / 16 - 8) * 512 * 4000;
    record[model::kWordRotationY] = i * (instructions::kFullTurn / kElements);
    record[model::kWordVelocityX] = (i % 7 - 3) * 512 * 10;
    record[model::kWordVelocityZ] = (i % 11 - 5) * 512 * 10;
    record[model::kWordSpinY] = (i % 3 - 1) * 256;
    startX[static_cast<size_t>(i)] = record[model::kWordPositionX];
    startZ[static_cast<size_t>(i)] = record[model::kWordPositionZ];
  }
  if (!RunTicks(state, &scene)) return;
  // Thrust and velocity_update move every element every step; positions that all stayed put mean
  // the routines never ran.
  int moved = 0;
  for (int i = 0; i < kElements; ++i) {
    const int32_t* record = scene.Record(i);
    if (record[model::kWordPositionX] != startX[static_cast<size_t>(i)] ||
        record[model::kWordPositionZ] != startZ[static_cast<size_t>(i)]) {
      ++moved;
    }
  }
  if (moved == 0) {
    state.SkipWithError("no element moved: the motion instructions did not run");
    return;
  }
  state.counters["moved"] = moved;
}
BENCHMARK_CAPTURE(BM_TickMotion, interp, brain::Backend::kInterpreter)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TickMotion, native, brain::Backend::kNative)->Unit(benchmark::kMicrosecond);

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '#';
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The brain text with every instruction call replaced by `sum` of its first two arguments (0 for
// a missing one), calls inside arguments included: the same statements, branches taken on the
// sums' answers, and every routine the cheapest one, so the difference to the original is what
// the routines cost beyond being called. Comments are copied as they are.
std::string EveryCallAsSum(std::string_view text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ';') {
      const size_t end = std::min(text.find('\n', i), text.size());
      out.append(text.substr(i, end - i));
      i = end;
      continue;
    }
    if (!IsNameCharacter(text[i])) {
      out += text[i++];
      continue;
    }
    size_t end = i;
    while (end < text.size() && IsNameCharacter(text[end])) ++end;
    const std::string_view name = text.substr(i, end - i);
    i = end;
    if (end >= text.size() || text[end] != '(' || brain::RowOfName(name) < 0) {
      out.append(name);
      continue;
    }
    // The arguments: split at the commas outside brackets, up to the closing parenthesis.
    std::vector<std::string_view> arguments;
    int depth = 0;
    size_t start = end + 1;
    size_t j = start;
    for (; j < text.size(); ++j) {
      const char c = text[j];
      if (c == '(' || c == '[') {
        ++depth;
      } else if ((c == ')' || c == ']') && depth > 0) {
        --depth;
      } else if (c == ')') {
        break;
      } else if (c == ',' && depth == 0) {
        arguments.push_back(text.substr(start, j - start));
        start = j + 1;
      }
    }
    arguments.push_back(text.substr(start, j - start));
    const auto argument = [&arguments](size_t k) {
      const std::string_view given = k < arguments.size() ? Trimmed(arguments[k]) : std::string_view();
      return given.empty() ? std::string("0") : EveryCallAsSum(given);
    };
    out += "sum(" + argument(0) + ", " + argument(1) + ")";
    i = j + 1;
  }
  return out;
}

// One brain step of 256 elements, all on, all running calls.brn (one shared compiled copy), or
// that brain with every call replaced by `sum`. The elements start at spread positions, and the
// random instructions draw from the generated random.bin table as in a play.
void TickCalls(benchmark::State& state, brain::Backend backend, bool asSum, const char* workload = "calls.brn",
               void (*prepare)(Scene*) = nullptr) {
  std::string text;
  if (!core::ReadFile(std::string(VEXEL_BENCH_OWN_BRAINS) + "/" + workload, &text)) {
    state.SkipWithError((std::string("workload bench/brains/") + workload + " not found").c_str());
    return;
  }
  if (asSum) text = EveryCallAsSum(text);
  Scene scene;
  uint32_t entry = 0;
  if (!scene.Begin(backend) || !scene.Compile(text, &entry)) {
    state.SkipWithError(scene.error.c_str());
    return;
  }
  // A row without a routine would answer 0 and make the step look cheaper than it is.
  scene.runtime().missingInstruction = [&scene](const std::string& message) {
    if (scene.error.empty()) scene.error = message;
  };
  if (prepare != nullptr) prepare(&scene);
  const std::vector<uint8_t> noise = mkdata::RandomTable();
  std::copy(noise.begin(), noise.end(), scene.arena.Host(core::Region::kRandom));
  scene.engine.random = core::RandomSource{scene.arena.Host(core::Region::kRandom), 0, 0};
  for (int i = 0; i < kElements; ++i) {
    int32_t* record = scene.Record(i);
    record[model::kWordBrainEntry] = static_cast<int32_t>(entry);
    record[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
    record[model::kWordPositionX] = (i % 16 - 8) * 512 * 500;
  }
  if (RunTicks(state, &scene)) state.counters["random_cursor"] = scene.engine.random.cursor;
}
void BM_TickCalls(benchmark::State& state, brain::Backend backend) { TickCalls(state, backend, false); }
void BM_TickCallsAsSum(benchmark::State& state, brain::Backend backend) { TickCalls(state, backend, true); }
BENCHMARK_CAPTURE(BM_TickCalls, native, brain::Backend::kNative)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TickCallsAsSum, native, brain::Backend::kNative)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TickCalls, interp, brain::Backend::kInterpreter)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TickCallsAsSum, interp, brain::Backend::kInterpreter)->Unit(benchmark::kMicrosecond);

// A window whose input state holds still: both controllers plugged in, pushed and pressed, and a
// key down, so the input reads take their full paths.
std::unique_ptr<testing_support::HandWindow> HeldInput() {
  auto window = std::make_unique<testing_support::HandWindow>();
  platform::InputState& input = window->state;
  input.scanDown[0x4B] = true;
  input.vkDown[platform::VirtualKeyFromScanCode(0x4B)] = true;
  for (platform::PadState& pad : input.pads) {
    pad.present = true;
    pad.axes[platform::kAxisX] = 400;
    pad.buttons = 1;
    pad.hats[0] = 9000;
  }
  return window;
}

// The same pair for input.brn: 16 input instructions, or 16 `sum` calls in their place.
void TickInput(benchmark::State& state, brain::Backend backend, bool asSum) {
  TickCalls(state, backend, asSum, "input.brn", [](Scene* scene) {
    scene->engine.platform.window = HeldInput();
  });
}
void BM_TickInput(benchmark::State& state, brain::Backend backend) { TickInput(state, backend, false); }
void BM_TickInputAsSum(benchmark::State& state, brain::Backend backend) { TickInput(state, backend, true); }
BENCHMARK_CAPTURE(BM_TickInput, native, brain::Backend::kNative)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TickInputAsSum, native, brain::Backend::kNative)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TickInput, interp, brain::Backend::kInterpreter)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TickInputAsSum, interp, brain::Backend::kInterpreter)->Unit(benchmark::kMicrosecond);

// PrepareBrains after a compilation of 256 distinct brains: arith.brn, each with one more line
// whose constant differs, so no two elements share code and every one is translated.
void BM_PrepareBrains(benchmark::State& state) {
  std::string text;
  if (!ReadWorkload("arith.brn", &text)) {
    state.SkipWithError("workload arith.brn not found beside the repository");
    return;
  }
  Scene scene;
  if (!scene.Begin(brain::Backend::kNative)) {
    state.SkipWithError(scene.error.c_str());
    return;
  }
  scene.runtime().arena = &scene.arena;
  scene.runtime().lastElement = kElements - 1;
  if (!text.empty() && !text.ends_with("\r\n")) text += "\r\n";
  for (int i = 0; i < kElements; ++i) {
    uint32_t entry = 0;
    if (!scene.Compile(text + "c = c xor " + std::to_string(1000 + i) + "\r\n", &entry)) {
      state.SkipWithError(scene.error.c_str());
      return;
    }
    scene.Record(i)[model::kWordBrainEntry] = static_cast<int32_t>(entry);
  }
  std::vector<std::string> refused;
  for (auto _ : state) {
    refused.clear();
    benchmark::DoNotOptimize(brain::PrepareBrains(&scene.runtime(), &refused));
  }
  if (!refused.empty()) {
    state.SkipWithError(("translation refused: " + refused.front()).c_str());
    return;
  }
  state.counters["code_bytes"] = scene.compiler().code.position;
  state.counters["brains_per_s"] =
      benchmark::Counter(static_cast<double>(kElements), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PrepareBrains)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
