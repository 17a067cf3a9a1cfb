// Project file figures: loading and saving a full project (256 elements, a 200-line brain each)
// with its .col, in a temporary working folder.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/core.h"
#include "model/model.h"
#include "support/temp_folder.h"

namespace {

constexpr int kBrainLines = 200;

// A working folder holding full.prj and full.col; removed on destruction.
class ProjectFolder {
 public:
  ProjectFolder() {
    if (!folder_.ok()) return;
    core::MakeFolders(folder_ / "brains");
    std::string text = ";Benchmark project\r\n256\r\n";
    for (int i = 0; i < model::kMaxElements; ++i) {
      text += "Element " + std::to_string(i) + "|./sprites/s" + std::to_string(i) + ".pcx|./sounds/null_.wav|-";
      text += "|1.5|0|-2.25|0|0|0|0.000|90|0.000|0|0|0|0.000|0.000|0.000|0|0|0|0.000|0.000|0.000|0|0|0";
      text += "|0|0|" + std::to_string(i + 1) + "|1.000|1|0|1/1/2/1020|" + std::to_string(i % 13);
      text += "|160/120/479/359/0/20&40/7|0/1|4096/2/50/0|14815378\r\n";
    }
    text += "./bckgrnds/sky.bmp|2|\r\n";
    for (int i = 0; i < model::kMaxElements; ++i) {
      text += "@" + std::to_string(i) + "\r\n";
      for (int line = 0; line < kBrainLines; ++line) {
        text += line % 10 == 0 ? "var v" + std::to_string(line) : "v = v + " + std::to_string(line);
        text += "\r\n";
      }
    }
    core::WriteFileAtomic(folder_ / "full.prj", text);
    core::WriteFileAtomic(folder_ / "full.col", std::string(model::kCollisionMapBytes, '\0'));
  }
  const std::string& path() const { return folder_.path(); }  // ends with '/'

 private:
  testing_support::TempFolder folder_{"vexel-bench-project"};
};

struct BenchModel {
  explicit BenchModel(const std::string& folder) {
    context.workingFolder = folder;
    context.temporaryFile = folder + "temp.tmp";
    context.collisionMap = map.data();
  }
  std::vector<uint8_t> map = std::vector<uint8_t>(model::kCollisionMapBytes, 0);
  model::ModelContext context;
};

void BM_LoadProject(benchmark::State& state) {
  ProjectFolder folder;
  BenchModel bench(folder.path());
  for (auto _ : state) {
    bench.context.nextWorkingCopy = 1;  // rewrite the same 256 copies instead of filling the folder
    model::Project project;
    std::string error;
    if (!model::LoadProject(&bench.context, folder.path() + "full.prj", &project, &error) ||
        project.records.size() != 256) {
      state.SkipWithError("load failed");
      break;
    }
  }
}
BENCHMARK(BM_LoadProject)->Unit(benchmark::kMillisecond);

void BM_SaveProject(benchmark::State& state) {
  ProjectFolder folder;
  BenchModel bench(folder.path());
  model::Project project;
  std::string error;
  if (!model::LoadProject(&bench.context, folder.path() + "full.prj", &project, &error)) {
    state.SkipWithError("load failed");
    return;
  }
  for (auto _ : state) {
    if (!model::SaveProject(&bench.context, project, folder.path() + "saved.prj", &error)) {
      state.SkipWithError("save failed");
      break;
    }
  }
}
BENCHMARK(BM_SaveProject)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
