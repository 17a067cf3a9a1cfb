// Start-up and input pump figures: start-up to the run-mode dispatch in process, the whole engine
// process to one frame, and one pass of the input pump with nothing pending.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/app.h"
#include "support/temp_folder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// A working folder of the authoring front end: runmode.ini asking for a test play, the lookup
// tables in data/, and a config.ini that asks for the software device, so the start-up does not
// stop to switch devices on machines without a GPU.
class BenchFolder {
 public:
  BenchFolder() {
    if (!folder_.ok()) return;
    std::error_code ignored;
    fs::create_directory(folder_ / "data", ignored);
    for (const char* table : {"sinus.bin", "sinusbig.bin", "atan.bin", "random.bin"}) {
      fs::copy_file(fs::path(VEXEL_RING_GAME_DIR) / table, folder_ / ("data/" + std::string(table)), ignored);
    }
    core::WriteFileAtomic(folder_ / "runmode.ini", "projects/myprj/default.prj\r\n1\r\n0\r\n0\r\n0\r\n");
    app::EngineSettings settings;
    settings.renderingDevice = 0;
    app::WriteEngineSettings(folder_ / "config.ini", settings);
    previous_ = fs::current_path(ignored);
    if (!previous_.empty()) fs::current_path(folder_.path(), ignored);
  }
  // Runs before folder_ is removed, so the process never sits in a deleted folder.
  ~BenchFolder() {
    std::error_code ignored;
    if (!previous_.empty()) fs::current_path(previous_, ignored);
  }
  const std::string& path() const { return folder_.path(); }  // ends with '/'

 private:
  testing_support::TempFolder folder_{"vexel-bench"};
  fs::path previous_;
};

const char* const kHeadlessArgs[] = {"main", "--headless", "--ticks", "1"};

void BM_StartupToDispatch(benchmark::State& state) {
  BenchFolder folder;
  for (auto _ : state) {
    auto engine = std::make_unique<app::Engine>();
    const int code = app::StartUp(*engine, 4, kHeadlessArgs);
    state.PauseTiming();
    app::ShutDown(*engine);
    engine.reset();
    state.ResumeTiming();
    if (code != app::kStartedUp) {
      state.SkipWithError("start-up failed");
      break;
    }
  }
}
BENCHMARK(BM_StartupToDispatch)->Unit(benchmark::kMillisecond);

void BM_PumpInputIdle(benchmark::State& state) {
  BenchFolder folder;
  auto engine = std::make_unique<app::Engine>();
  if (app::StartUp(*engine, 4, kHeadlessArgs) != app::kStartedUp) {
    state.SkipWithError("start-up failed");
    return;
  }
  app::PumpInput(*engine);  // the events of the window's creation
  for (auto _ : state) app::PumpInput(*engine);
  app::ShutDown(*engine);
}
BENCHMARK(BM_PumpInputIdle)->Unit(benchmark::kMicrosecond);

// The engine program from exec to exit after one presented frame of a test play (exit included).
void BM_EngineProcessOneFrame(benchmark::State& state) {
  BenchFolder folder;
  const std::string program = VEXEL_MAIN_BINARY;
  const char* argv[] = {program.c_str(), "--headless", "--ticks", "1", nullptr};
  for (auto _ : state) {
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) {
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
}
BENCHMARK(BM_EngineProcessOneFrame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
