// Benchmarks that time a whole engine process: spawning it in a folder without a display, and
// waiting for it with its wall and CPU time. Header-only; calls POSIX spawn and wait.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

extern char** environ;

namespace bench_support {

// What one run of the engine gave.
struct ChildRun {
  int exitCode = -1;       // -1 when it did not exit normally (signal, or killed after the time limit)
  double wallSeconds = 0;  // spawn to reap, so the start-up and shut-down are included
  double cpuSeconds = 0;   // user + system, from the child's resource usage
  std::string error;       // why the run could not be made or finished
};

// This process's environment with SDL on its offscreen driver, so the run needs no display.
inline std::vector<std::string> ChildEnvironment() {
  constexpr std::string_view kVideo = "SDL_VIDEODRIVER=";
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!std::string_view(*entry).starts_with(kVideo)) entries.emplace_back(*entry);
  }
  entries.emplace_back(std::string(kVideo) + "offscreen");
  return entries;
}

// Runs `program` in `folder` (ending with '/') with its output in main.out and main.err there, and
// waits for it at most `limitSeconds`; a child still running then is killed with its process
// group, so a hung engine cannot hang the benchmark. The wait polls every `pollMilliseconds`: the
// wall time is late by at most that, and the parent's own CPU use is not in the child's usage.
inline ChildRun RunChild(const std::string& program, const std::vector<std::string>& args, const std::string& folder,
                         double limitSeconds, int pollMilliseconds = 20) {
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
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMilliseconds));
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

}  // namespace bench_support
