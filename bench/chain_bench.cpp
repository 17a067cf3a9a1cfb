// The finished game's two costs: building it (BuildExecutable of 10 projects of 32 elements over
// 64 MB of resources, several shared, beside a plain copy of the same bytes), and the chain's
// switch from one sub-project's exit to the next one's first loop step (256 elements, no
// load-complete wait). The test data is generated in a throwaway folder at run time.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/app.h"
#include "builder/builder.h"
#include "core/core.h"
#include "model/model.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

constexpr int kProjects = 10;
constexpr int kElements = 32;
constexpr int kResources = 32;                   // distinct resource files
constexpr size_t kResourceBytes = 2 << 20;       // 32 x 2 MB = 64 MB
constexpr int kSwitchElements = 256;

// The one-camera record of the skeleton's project: every element below is a copy of it.
std::string CameraRecord(const std::string& skeleton) {
  std::string text;
  core::ReadFile(skeleton + "/projects/myprj/default.prj", &text);
  const size_t first = text.find("\r\n", text.find("\r\n") + 2) + 2;
  return text.substr(first, text.find("\r\n", first) - first);
}

// A project of `count` elements: element 0 the camera, the others naming `aspect(i)` as their
// picture, each with an empty brain but the first, which gets `brain`.
std::string ProjectText(const std::string& camera, int count, const std::function<std::string(int)>& aspect,
                        const std::string& brain) {
  std::string text = ";Bench\r\n" + std::to_string(count) + "\r\n";
  for (int i = 0; i < count; ++i) {
    std::string record = model::SetElementField(camera, 1, "E" + std::to_string(i));
    if (i > 0) record = model::SetElementField(record, 2, aspect(i));
    text += record + "\r\n";
  }
  text += "./bckgrnds/bkgr000_.bmp|1|\r\n";
  for (int i = 0; i < count; ++i) text += "@" + std::to_string(i) + "\r\n" + (i == 0 ? brain : "");
  return text;
}

// The builder's working folder: the skeleton, 32 resources of 2 MB, and 10 projects whose
// elements use overlapping runs of them, so most resources are shared by several projects.
class BuildBench {
 public:
  BuildBench() {
    folder_.CopyFrom(VEXEL_GAME_DIR);
    const std::string camera = CameraRecord(VEXEL_GAME_DIR);
    core::MakeFolders(folder_ / "sprites/bench");
    std::string bytes(kResourceBytes, '\0');
    for (int r = 0; r < kResources; ++r) {
      for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 131 + static_cast<size_t>(r)) >> 3);
      core::WriteFileAtomic(folder_ / ("sprites/bench/r" + std::to_string(r) + ".pcx"), bytes);
    }
    for (int p = 0; p < kProjects; ++p) {
      const auto aspect = [p](int i) { return "./sprites/bench/r" + std::to_string((p * 3 + i) % kResources) + ".pcx"; };
      const std::string name = "projects/p" + std::to_string(p) + ".prj";
      core::WriteFileAtomic(folder_ / name, ProjectText(camera, kElements, aspect, ""));
      builder::ListEntry& entry = list_[static_cast<size_t>(p)];
      entry = builder::DefaultEntry(folder_.path());
      entry.project = folder_ / name;
      entry.on = true;
    }
    for (int p = kProjects; p < builder::kListPositions; ++p) {
      list_[static_cast<size_t>(p)] = builder::DefaultEntry(folder_.path());
    }
    options_.workingFolder = folder_.path();
    options_.dataFolder = folder_ / "data/";
    options_.engineFile = fs::read_symlink("/proc/self/exe").string();
    options_.title = "Bench";
  }

  bool Build() {
    builder::BuildReport report;
    return builder::BuildExecutable(list_, options_, &report) && report.levels.size() == kProjects;
  }

  // The same bytes copied plainly: every resource and the engine, into a fresh folder.
  bool Copy() {
    const fs::path target = folder_ / "copy";
    std::error_code error;
    fs::remove_all(target, error);
    fs::create_directories(target, error);
    bool ok = fs::copy_file(options_.engineFile, target / "engine", error);
    for (int r = 0; r < kResources; ++r) {
      const std::string name = "r" + std::to_string(r) + ".pcx";
      ok = fs::copy_file(folder_ / ("sprites/bench/" + name), target / name, error) && ok;
    }
    return ok;
  }

 private:
  testing_support::TempFolder folder_{"vexel-bench-build"};
  builder::ProjectList list_;
  builder::BuildOptions options_;
};

void BM_BuildExecutable(benchmark::State& state) {
  BuildBench bench;
  bench.Build();  // warm caches
  for (auto _ : state) {
    if (!bench.Build()) state.SkipWithError("the build failed");
  }
}
BENCHMARK(BM_BuildExecutable)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainCopyOfTheSameBytes(benchmark::State& state) {
  BuildBench bench;
  bench.Copy();
  for (auto _ : state) {
    if (!bench.Copy()) state.SkipWithError("the copy failed");
  }
}
BENCHMARK(BM_PlainCopyOfTheSameBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

// A finished game of two sub-projects of 256 elements, level 2 played again and again as the
// chain plays it after level 1's exit: list line with black_.bmp (no wait), globals read, load of
// the scrambled project, aspects, scene, brains, settling steps, the first loop step (its exit
// ends the play), globals written.
void BM_SubProjectSwitch(benchmark::State& state) {
  testing_support::TempFolder folder("vexel-bench-chain");
  folder.CopyFrom(VEXEL_RING_GAME_DIR);
  const std::string camera = CameraRecord(VEXEL_GAME_DIR);
  const auto aspect = [](int) { return std::string("./cameras/default_.03d"); };
  for (int level = 1; level <= 2; ++level) {
    std::string text = ProjectText(camera, kSwitchElements, aspect, "exit(" + std::to_string(3 - level) + ")\r\n");
    model::ScrambleBytes(&text);
    core::WriteFileAtomic(app::SubProjectPath(folder.path(), level), text);
  }
  core::WriteFileAtomic(folder / "multilev.ini", "wait_.bmp|black_.bmp|\r\nwait_.bmp|black_.bmp|\r\n");
  app::EngineSettings settings;
  settings.renderingDevice = 0;
  app::WriteEngineSettings(folder / "config.ini", settings);
  std::error_code error;
  const fs::path previous = fs::current_path(error);
  fs::current_path(folder.path(), error);

  const char* const args[] = {"main", "--headless", "--ticks", "2000000000"};
  auto engine = std::make_unique<app::Engine>();
  if (app::StartUp(*engine, 4, args) != app::kStartedUp) {
    state.SkipWithError("the engine did not start");
  } else {
    // As run mode 0 sets up a finished game.
    app::SetUpGameRunner(*engine);
    const std::string level2 = app::SubProjectPath(engine->paths.working, 2);
    engine->subProject = 1;
    app::RunProject(*engine, app::SubProjectPath(engine->paths.working, 1));
    for (auto _ : state) {
      engine->subProject = 2;
      if (app::RunProject(*engine, level2) != 1) state.SkipWithError("level 2 did not exit to level 1");
    }
  }
  app::ShutDown(*engine);
  engine.reset();
  fs::current_path(previous, error);
}
BENCHMARK(BM_SubProjectSwitch)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
