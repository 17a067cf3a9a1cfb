// Tick pacing of the engine program on the real clock: how late each wait for a deadline ends, how
// many passes start late, and the CPU the process uses. Runs the real program as a child process
// in a throwaway working folder; calls core files and profiles, the temporary-folder helper, POSIX
// and the C++ library.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/core.h"
#include "support/temp_folder.h"
#include "child_run.h"


namespace {

namespace fs = std::filesystem;

// The play loop's default rate: one step per 150/4500 s.
constexpr int kTicksPerSecond = 30;

// What the timing log says about the passes of the play loop.
struct PacingFigures {
  std::vector<int64_t> frameLateness;  // microseconds past the deadline, one per pass that rendered
  int latePasses = 0;                  // passes that started after their deadline and skipped the frame
  int lines = 0;
};

// A working folder of the authoring front end: the skeleton tree, runmode.ini asking for a test
// play and a config.ini that selects the software device. Writing the device ourselves (instead of
// letting a first run detect it) keeps the figure on the same renderer on every machine, GPU or
// not. Removed on destruction unless kept for a post-mortem.
class PacingFolder {
 public:
  bool Create(std::string* error) {
    if (!folder_.ok()) {
      *error = folder_.error();
      return false;
    }
    std::error_code code;
    fs::copy(VEXEL_GAME_DIR, folder_.path(), fs::copy_options::recursive, code);
    if (code) {
      *error = std::string("cannot copy ") + VEXEL_GAME_DIR + ": " + code.message();
      return false;
    }
    if (!core::WriteFileAtomic(folder_ / "runmode.ini", "projects/myprj/default.prj\r\n1\r\n0\r\n0\r\n0\r\n")) {
      *error = "cannot write runmode.ini";
      return false;
    }
    // Every other setting keeps the engine's default when its key is absent.
    core::ProfileFile config;
    config.Load(folder_ / "config.ini");
    config.SetStructInt("User-Modifiable Engine Settings", "RenderingDevice", 0);
    if (!config.Save(folder_ / "config.ini")) {
      *error = "cannot write config.ini";
      return false;
    }
    return true;
  }

  const std::string& path() const { return folder_.path(); }  // ends with '/'
  void Keep() { folder_.Keep(); }

 private:
  testing_support::TempFolder folder_{"vexel-pacing"};
};

// Reads the timing log: "STEP PASS NOW DEADLINE frame LATE_US" or "STEP PASS NOW DEADLINE late"
// per pass. False (with the line) on anything else, so a changed format cannot pass as zeros.
bool ReadTimingLog(const std::string& text, PacingFigures* figures, std::string* error) {
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    if (line.empty()) continue;
    long step = 0;
    unsigned long long pass = 0;
    unsigned long now = 0, deadline = 0;
    char kind[8] = {};
    long long late = 0;
    int consumed = 0;
    const int fields = std::sscanf(line.c_str(), "%ld %llu %lu %lu %7s %n", &step, &pass, &now, &deadline, kind, &consumed);
    bool ok = fields == 5;
    if (ok && std::string_view(kind) == "late") {
      ok = line.find_first_not_of(" \r", static_cast<size_t>(consumed)) == std::string::npos;
      ++figures->latePasses;
    } else if (ok && std::string_view(kind) == "frame") {
      int tail = 0;
      ok = std::sscanf(line.c_str() + consumed, "%lld %n", &late, &tail) == 1 &&
           line.find_first_not_of(" \r", static_cast<size_t>(consumed + tail)) == std::string::npos;
      figures->frameLateness.push_back(late);
    } else {
      ok = false;
    }
    if (!ok) {
      *error = "unreadable timing log line: " + line;
      return false;
    }
    ++figures->lines;
  }
  return true;
}

// The nearest-rank percentile of sorted values: the smallest value that at least `percent` of
// them do not exceed. Integer arithmetic, so 99 % of 300 is exactly rank 297. 0 for no values.
int64_t Percentile(const std::vector<int64_t>& sorted, int percent) {
  if (sorted.empty()) return 0;
  const size_t rank = (static_cast<size_t>(percent) * sorted.size() + 99) / 100;
  return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
}

// The last lines of the engine's error output, for a failure message.
std::string ErrorTail(const std::string& folder) {
  std::string text;
  core::ReadFile(folder + "main.err", &text);
  constexpr size_t kTail = 600;
  return text.size() > kTail ? "..." + text.substr(text.size() - kTail) : text;
}

// A test play of state.range(0) seconds at 30 steps a second on the real clock. The wall and CPU
// times cover the whole child process, so its start-up and shut-down (about 60 ms together) are
// in both: negligible in the 10-second figure, a large share of the 1-second smoke run. False
// after SkipWithError.
bool MeasurePacing(benchmark::State& state) {
  const auto seconds = static_cast<int>(state.range(0));
  const int ticks = kTicksPerSecond * seconds;
  PacingFolder folder;
  std::string error;
  if (!folder.Create(&error)) {
    state.SkipWithError(error.c_str());
    return false;
  }
  const std::string logPath = folder.path() + "timing.log";
  const std::vector<std::string> args{"--headless", "--real-clock", "--ticks", std::to_string(ticks),
                                      "--timing-log", logPath};
  bench_support::ChildRun run;
  for (auto _ : state) run = bench_support::RunChild(VEXEL_MAIN_BINARY, args, folder.path(), 3.0 * seconds + 30.0);

  // A failed run keeps its folder: the log and the engine's output are the evidence.
  if (!run.error.empty() || run.exitCode != 0) {
    folder.Keep();
    const std::string why = !run.error.empty() ? run.error : "the engine exited with " + std::to_string(run.exitCode);
    state.SkipWithError((why + " (folder " + folder.path() + ")\n" + ErrorTail(folder.path())).c_str());
    return false;
  }
  std::string log;
  PacingFigures figures;
  if (!core::ReadFile(logPath, &log) || !ReadTimingLog(log, &figures, &error)) {
    folder.Keep();
    state.SkipWithError((error.empty() ? "no timing log " + logPath : error).c_str());
    return false;
  }
  if (figures.lines != ticks) {
    folder.Keep();
    state.SkipWithError(("the timing log has " + std::to_string(figures.lines) + " lines for " +
                         std::to_string(ticks) + " ticks (" + logPath + ")")
                            .c_str());
    return false;
  }
  std::sort(figures.frameLateness.begin(), figures.frameLateness.end());
  state.counters["p50_late_us"] = static_cast<double>(Percentile(figures.frameLateness, 50));
  state.counters["p99_late_us"] = static_cast<double>(Percentile(figures.frameLateness, 99));
  state.counters["max_late_us"] = static_cast<double>(Percentile(figures.frameLateness, 100));
  state.counters["frames"] = static_cast<double>(figures.frameLateness.size());
  state.counters["late_passes"] = figures.latePasses;
  state.counters["cpu_percent"] = run.wallSeconds > 0 ? 100.0 * run.cpuSeconds / run.wallSeconds : 0.0;
  return true;
}

}  // namespace

// The library's own main exits 0 when the filter matches nothing or a run skips with an error, so
// a smoke test of it could never fail; this one exits 1 in both cases.
int main(int argc, char** argv) {
  int failures = 0;
  benchmark::RegisterBenchmark("BM_Pacing", [&failures](benchmark::State& state) {
    if (!MeasurePacing(state)) ++failures;
  })
      ->Arg(10)
      ->Arg(1)
      ->Iterations(1)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const size_t ran = benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (ran == 0) {
    std::fprintf(stderr, "bench_pacing: no benchmark matched; the names are BM_Pacing/<seconds>/iterations:1/real_time\n");
    return 1;
  }
  return failures == 0 ? 0 : 1;
}
