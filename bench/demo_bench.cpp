// The bundled game as a player meets it: one pass of its play loop and the render part alone, for
// both sub-projects at 640 x 480 and 1024 x 768, and the time from starting the engine to the first
// frame of sub-project 1. Each engine runs in a throwaway copy of the finished game; calls app,
// model and core, and spawns the copy's own engine program.
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/app.h"
#include "core/core.h"
#include "model/model.h"
#include "support/temp_folder.h"
#include "child_run.h"


namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Passes timed per loop benchmark: a whole play of a sub-project (45 s of game time, about 1400
// passes, less when every ring is picked) and the start of the next one.
constexpr int kPasses = 1500;
constexpr int kRenders = 600;
constexpr int kStartRuns = 10;
// The input script covers this many pump passes; every benchmark engine pumps far fewer.
constexpr int kScriptPasses = 20000;
constexpr double kChildLimitSeconds = 60;

int32_t DisplayModeOfWidth(int64_t width) { return width == 1024 ? 16 : 1; }

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

// The value below which `fraction` of the sorted samples lie (nearest rank).
double Percentile(std::vector<double> samples, double fraction) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  const auto rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(samples.size())));
  return samples[std::min(samples.size(), std::max<size_t>(rank, 1)) - 1];
}

// The player holds UP and turns now and then: every 40 passes LEFT or RIGHT (a fixed pseudo-random
// pick) for 10 to 35 passes, and every 320 passes backs off for 30 passes (DOWN instead of UP). So
// the craft keeps flying about the field, and the view keeps changing.
std::string FlyingScript() {
  std::string text = "# throttle held, turns, backing off now and then\n@0 keydown UP\n";
  uint32_t seed = 12345;
  for (int pass = 40; pass + 40 < kScriptPasses; pass += 40) {
    seed = seed * 1103515245u + 12345u;
    const char* key = (seed >> 16) & 1 ? "RIGHT" : "LEFT";
    const int hold = 10 + static_cast<int>((seed >> 17) % 26);
    const std::string at = "@" + std::to_string(pass);
    const std::string until = "@" + std::to_string(pass + hold);
    text += at + " keydown " + key + "\n" + until + " keyup " + key + "\n";
    if (pass % 320 == 0) {
      const std::string back = "@" + std::to_string(pass + 30);
      text += at + " keyup UP\n" + at + " keydown DOWN\n" + back + " keyup DOWN\n" + back + " keydown UP\n";
    }
  }
  return text;
}

// A fresh copy of the finished game with a config.ini asking for the software device in
// `displayMode`, and an input script beside it.
bool PrepareCopy(const testing_support::TempFolder& folder, int32_t displayMode, std::string* error) {
  if (!folder.ok()) {
    *error = "no temporary folder: " + folder.error();
    return false;
  }
  if (!folder.CopyFrom(VEXEL_DEMO_DIR)) {
    *error = "cannot copy " + std::string(VEXEL_DEMO_DIR);
    return false;
  }
  app::EngineSettings settings;
  settings.renderingDevice = 0;
  settings.displayMode = displayMode;
  if (!app::WriteEngineSettings(folder / "config.ini", settings) ||
      !core::WriteFileAtomic(folder / "flying.txt", FlyingScript())) {
    *error = "cannot write the settings or the input script";
    return false;
  }
  return true;
}

// An engine started in process in a copy of the finished game, headless on the virtual clock, set
// up as run mode 0 sets up a finished game. The current folder is the copy while it lives.
class DemoEngine {
 public:
  DemoEngine(int32_t displayMode, bool flying) : displayMode_(displayMode), flying_(flying) {
    PrepareCopy(folder_, displayMode, &error_);
  }

  // Starts the engine in the copy, which becomes the current folder.
  bool StartUp() {
    if (!error_.empty()) return false;
    std::error_code code;
    previous_ = fs::current_path(code);
    fs::current_path(folder_.path(), code);
    const std::string mode = std::to_string(displayMode_);
    std::vector<const char*> args{"main", "--headless", "--ticks", "2000000000", "--mode", mode.c_str()};
    if (flying_) {
      args.push_back("--input");
      args.push_back("flying.txt");
    }
    engine_ = std::make_unique<app::Engine>();
    if (app::StartUp(*engine_, static_cast<int>(args.size()), args.data()) != app::kStartedUp) {
      error_ = "the engine did not start";
      return false;
    }
    app::SetUpGameRunner(*engine_);
    return true;
  }

  ~DemoEngine() {
    if (playing_) app::EndPlay(*engine_);
    if (engine_) app::ShutDown(*engine_);
    engine_.reset();
    std::error_code code;
    if (!previous_.empty()) fs::current_path(previous_, code);
  }
  DemoEngine(const DemoEngine&) = delete;
  DemoEngine& operator=(const DemoEngine&) = delete;

  const std::string& error() const { return error_; }
  app::Engine& engine() { return *engine_; }

  // Loads sub-project `level` and starts its play, which renders the first frame.
  bool Start(int32_t level) { return Load(level) && Play(); }

  // Loads sub-project `level` the way the chain does (globals, the scrambled project, the
  // collision map), without its pictures and input flushes.
  bool Load(int32_t level) {
    app::Engine& engine = *engine_;
    level_ = level;
    engine.subProject = level;
    engine.loadCompletePicture.clear();
    app::ReadGameGlobals(engine);
    std::string failure;
    if (!app::LoadSubProject(engine, app::SubProjectPath(engine.paths.working, level), &failure)) {
      error_ = failure;
      return false;
    }
    return true;
  }

  // The play start: records, aspects, scene, sounds, brains, the settling steps, the first frame.
  bool Play() {
    app::Engine& engine = *engine_;
    app::StartPlay(engine);
    playing_ = true;
    if (engine.play->brains.faulted) {
      error_ = "a brain of " + engine.project.path + " faulted at the play start";
      return false;
    }
    return true;
  }

  // A play that ended (time up, every ring picked) starts again from its load.
  bool Restart() {
    app::EndPlay(*engine_);
    playing_ = false;
    ++restarts_;
    return Start(level_);
  }

  int restarts() const { return restarts_; }

 private:
  testing_support::TempFolder folder_{"vexel-bench-demo"};
  int32_t displayMode_;
  bool flying_;
  fs::path previous_;
  std::unique_ptr<app::Engine> engine_;
  std::string error_;
  bool playing_ = false;
  int32_t level_ = 1;
  int restarts_ = 0;
};

// Wall and process CPU times of one timed call each. cpu_ms is the process's CPU per call, the
// rasteriser's worker threads included; the benchmark's own CPU column is the calling thread's
// alone (the engine's logic, scene update and GL calls, not the rasterising).
struct Samples {
  std::vector<double> wall;
  double cpuSeconds = 0;

  void Report(benchmark::State& state, int restarts) const {
    state.counters["median_ms"] = Percentile(wall, 0.5) * 1e3;
    state.counters["p99_ms"] = Percentile(wall, 0.99) * 1e3;
    state.counters["max_ms"] = Percentile(wall, 1.0) * 1e3;
    state.counters["cpu_ms"] = wall.empty() ? 0 : cpuSeconds / static_cast<double>(wall.size()) * 1e3;
    state.counters["restarts"] = restarts;
  }
};

// Times `call` alone: steady clock for the iteration's time, process CPU (the renderer's worker
// threads included) beside it.
template <typename Call>
auto Timed(Samples* samples, benchmark::State& state, Call&& call) {
  const double cpu = ProcessCpuSeconds();
  const auto start = Clock::now();
  auto result = call();
  const double wall = Seconds(Clock::now() - start);
  samples->cpuSeconds += ProcessCpuSeconds() - cpu;
  samples->wall.push_back(wall);
  state.SetIterationTime(wall);
  return result;
}

bool CheckSize(DemoEngine& demo, benchmark::State& state) {
  const int64_t width = state.range(1);
  if (demo.engine().display.width != width) {
    state.SkipWithError(("the display is " + std::to_string(demo.engine().display.width) + " wide, not " +
                         std::to_string(width)).c_str());
    return false;
  }
  return true;
}

// The engine of a loop benchmark: the copy at the display size under test (range 1) with the
// sub-project of range 0 started; null, with the benchmark skipped, when it could not start.
std::unique_ptr<DemoEngine> StartedDemo(benchmark::State& state) {
  auto demo = std::make_unique<DemoEngine>(DisplayModeOfWidth(state.range(1)), true);
  if (!demo->StartUp() || !demo->Start(static_cast<int32_t>(state.range(0)))) {
    state.SkipWithError(demo->error().c_str());
    return nullptr;
  }
  if (!CheckSize(*demo, state)) return nullptr;
  return demo;
}

// One pass of the play loop as the engine plays it: input, collisions, the brain step, then the
// (virtual, so instant) wait for the tick's deadline and the frame: scene update, render, present.
// A pass that ends the play is timed too; the restart is not.
void BM_DemoLoopPass(benchmark::State& state) {
  const std::unique_ptr<DemoEngine> started = StartedDemo(state);
  if (!started) return;
  DemoEngine& demo = *started;
  Samples samples;
  samples.wall.reserve(kPasses);
  for (auto _ : state) {
    const bool going = Timed(&samples, state, [&demo] { return app::RunPlayPass(demo.engine()); });
    if (!going) {
      state.PauseTiming();
      const bool restarted = demo.Restart();
      state.ResumeTiming();
      if (!restarted) {
        state.SkipWithError(demo.error().c_str());
        break;
      }
    }
  }
  samples.Report(state, demo.restarts());
}
BENCHMARK(BM_DemoLoopPass)
    ->ArgNames({"level", "width"})
    ->ArgsProduct({{1, 2}, {640, 1024}})
    ->Iterations(kPasses)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The render part of a pass alone: each iteration plays one pass untimed (so the scene moves on as
// in play), then times one more frame of the same state through the loop's render hook.
void BM_DemoRenderOnly(benchmark::State& state) {
  const std::unique_ptr<DemoEngine> started = StartedDemo(state);
  if (!started) return;
  DemoEngine& demo = *started;
  Samples samples;
  samples.wall.reserve(kRenders);
  for (auto _ : state) {
    state.PauseTiming();
    const bool restarted = app::RunPlayPass(demo.engine()) || demo.Restart();
    state.ResumeTiming();
    if (!restarted) {
      state.SkipWithError(demo.error().c_str());
      break;
    }
    Timed(&samples, state, [&demo] {
      demo.engine().hooks.renderFrame();
      return true;
    });
  }
  samples.Report(state, demo.restarts());
}
BENCHMARK(BM_DemoRenderOnly)
    ->ArgNames({"level", "width"})
    ->ArgsProduct({{1, 2}, {640, 1024}})
    ->Iterations(kRenders)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Runs the copy's own engine program in the copy: spawn to reap in seconds (the child's user and
// system CPU in *cpuSeconds), or a negative value with *error set. The wait polls every
// millisecond, so the figure is at most that late.
double RunEngineProcess(const std::string& folder, const std::vector<std::string>& args, double* cpuSeconds,
                        std::string* error) {
  const bench_support::ChildRun run = bench_support::RunChild(folder + "vexelexe", args, folder, kChildLimitSeconds, 1);
  if (!run.error.empty() || run.exitCode != 0) {
    std::string log;
    core::ReadFile(folder + "main.err", &log);
    *error = "the engine did not exit cleanly (" + (run.error.empty() ? "exit " + std::to_string(run.exitCode) : run.error) +
             "): " + log.substr(0, 400);
    return -1;
  }
  *cpuSeconds = run.cpuSeconds;
  return run.wallSeconds;
}

// The whole engine process from spawn to exit, on the virtual clock at 640 x 480: start-up, the
// chain's first loading picture, the load of sub-project 1, its play start (the first frame), then
// `ticks` passes, the play end and the shut-down. With no input script the load-complete wait has
// nothing to wait for and goes on at once, as it does headless.
void BM_DemoStartToFirstFrame(benchmark::State& state) {
  const std::string ticks = std::to_string(state.range(0));
  Samples samples;
  for (auto _ : state) {
    // Each run starts from the game as shipped: a run leaves its globals and editor state behind.
    state.PauseTiming();
    testing_support::TempFolder folder("vexel-bench-demo-start");
    std::string error;
    const bool prepared = PrepareCopy(folder, 1, &error);
    state.ResumeTiming();
    if (!prepared) {
      state.SkipWithError(error.c_str());
      break;
    }
    double cpu = 0;
    const double wall = RunEngineProcess(folder.path(), {"--headless", "--ticks", ticks}, &cpu, &error);
    if (wall < 0) {
      state.SkipWithError(error.c_str());
      break;
    }
    samples.wall.push_back(wall);
    samples.cpuSeconds += cpu;
    state.SetIterationTime(wall);
  }
  samples.Report(state, 0);
}
BENCHMARK(BM_DemoStartToFirstFrame)
    ->ArgName("ticks")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(kStartRuns)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The same in process, without the process start and end: StartUp, the load of sub-project 1 and
// its play start up to the first frame presented; the play end and shut-down are not timed. The
// three parts are reported apart (medians), since the whole is what the player waits for.
void BM_DemoStartToFirstFrameInProcess(benchmark::State& state) {
  Samples samples;
  std::vector<double> startUp, load, playStart;
  for (auto _ : state) {
    state.PauseTiming();
    auto demo = std::make_unique<DemoEngine>(1, false);
    state.ResumeTiming();
    const double cpu = ProcessCpuSeconds();
    const auto start = Clock::now();
    bool started = demo->StartUp();
    const auto startedUp = Clock::now();
    started = started && demo->Load(1);
    const auto loaded = Clock::now();
    started = started && demo->Play();
    const auto end = Clock::now();
    samples.cpuSeconds += ProcessCpuSeconds() - cpu;
    samples.wall.push_back(Seconds(end - start));
    startUp.push_back(Seconds(startedUp - start));
    load.push_back(Seconds(loaded - startedUp));
    playStart.push_back(Seconds(end - loaded));
    state.SetIterationTime(Seconds(end - start));
    state.PauseTiming();
    const std::string error = demo->error();
    demo.reset();
    state.ResumeTiming();
    if (!started) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  samples.Report(state, 0);
  state.counters["startup_ms"] = Percentile(startUp, 0.5) * 1e3;
  state.counters["load_ms"] = Percentile(load, 0.5) * 1e3;
  state.counters["play_start_ms"] = Percentile(playStart, 0.5) * 1e3;
}
BENCHMARK(BM_DemoStartToFirstFrameInProcess)
    ->Iterations(kStartRuns)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
