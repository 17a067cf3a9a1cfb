// Headless start-up to the first presented frame: in process, and as a whole engine process.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>

#include "app/app.h"

extern char** environ;

namespace {

// Platform start, engine memory, lookup tables, window and context, one cleared and presented
// frame; shut-down is outside the timing.
void BM_StartupToFirstFrameInProcess(benchmark::State& state) {
  for (auto _ : state) {
    platform::Platform platform;
    core::Arena arena;
    platform::Options options;
    options.headless = true;
    options.virtualClock = true;
    std::string error;
    if (!platform.Start(options, &error) || !arena.Create()) {
      state.SkipWithError(error.c_str());
      return;
    }
    app::LoadLookupTables(std::string(VEXEL_DEMO_DIR) + "/", &arena);
    const app::DisplayModeInfo& mode = app::DisplayModeOf(1);
    if (!platform.OpenWindow(mode.width, mode.height, "bench", &error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    platform.BeginFrame({0, 0, 64});
    platform.Present();
    state.PauseTiming();
    platform.Shutdown();
    arena.Destroy();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_StartupToFirstFrameInProcess)->Unit(benchmark::kMillisecond);

// The engine program from exec to exit after one presented frame (exit included).
void BM_EngineProcessOneFrame(benchmark::State& state) {
  const std::string program = VEXEL_MAIN_BINARY;
  const char* argv[] = {program.c_str(), "--headless", "--ticks", "1", nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, VEXEL_DEMO_DIR);
  for (auto _ : state) {
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, const_cast<char* const*>(argv), environ) != 0) {
      state.SkipWithError("cannot start the engine");
      break;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("the engine failed");
      break;
    }
  }
  posix_spawn_file_actions_destroy(&actions);
}
BENCHMARK(BM_EngineProcessOneFrame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
