// Tick pacing of the engine program on the real clock: how late each wait for a deadline ends, how
// many passes start late, and the CPU the process uses. Runs the real program as a child process
// in a throwaway working folder; calls core files and profiles, the temporary-folder helper, POSIX
// and the C++ library.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/core.h"
#include "support/temp_folder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The play loop's default rate: one step per 150/4500 s.
constexpr int kTicksPerSecond = 30;

// What one run of the engine gave.
struct ChildRun {
  int exitCode = -1;       // -1 when it did not exit normally (signal, or killed after the time limit)
  double wallSeconds = 0;  // spawn to reap, so the start-up and shut-down are included
  double cpuSeconds = 0;   // user + system, from the child's resource usage
  std::string error;       // why the run could not be made or finished
};

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

// This process's environment with SDL on its offscreen driver, so the run needs no display.
std::vector<std::string> ChildEnvironment() {
  constexpr std::string_view kVideo = "SDL_VIDEODRIVER=";
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!std::string_view(*entry).starts_with(kVideo)) entries.emplace_back(*entry);
  }
  entries.emplace_back(std::string(kVideo) + "offscreen");
  return entries;
}

// Runs `program` in `folder` with its output in main.out and main.err there, and waits for it at
// most `limitSeconds`; a child still running then is killed with its process group, so a hung
// engine cannot hang the benchmark. The wait polls every 20 ms: the parent sleeps nearly all the
// time, and its own CPU use is not counted in the child's usage anyway.
ChildRun RunChild(const std::string& program, const std::vector<std::string>& args, const std::string& folder,
                  double limitSeconds) {
  ChildRun run;
  std::vector<std::string> environment = ChildEnvironment();
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> words{program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, (folder + "main.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, (folder + "main.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  // Its own process group, so a time-out kill also reaches anything it started.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid = 0;
  const auto start = std::chrono::steady_clock::now();
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    run.error = "cannot start " + program + ": " + std::strerror(spawned);
    return run;
  }

  int status = 0;
  rusage usage{};
  bool killed = false;
  for (;;) {
    const pid_t reaped = wait4(pid, &status, killed ? 0 : WNOHANG, &usage);
    if (reaped == pid) break;
    if (reaped < 0 && errno != EINTR) {
      run.error = std::string("wait4 failed: ") + std::strerror(errno);
      return run;
    }
    if (reaped == 0) {
      const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
      if (waited.count() > limitSeconds) {
        kill(-pid, SIGKILL);
        killed = true;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
  }
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  run.wallSeconds = wall.count();
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  if (killed) {
    run.error = "the engine was still running after " + std::to_string(static_cast<int>(limitSeconds)) + " s";
  } else if (WIFEXITED(status)) {
    run.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    run.error = "the engine died of signal " + std::to_string(WTERMSIG(status));
  }
  return run;
}

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
  ChildRun run;
  for (auto _ : state) run = RunChild(VEXEL_MAIN_BINARY, args, folder.path(), 3.0 * seconds + 30.0);

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
