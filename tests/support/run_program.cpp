// Running the real programs in temporary working folders.
#include "support/run_program.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "core/core.h"

extern char** environ;

namespace testing_support {

Program::Program(const std::string& program, const std::vector<std::string>& args, const std::string& folder,
                 const std::vector<std::string>& environment) {
  const std::string outPath = capture_ / "out.txt";
  const std::string errPath = capture_ / "err.txt";

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  std::vector<std::string> variables = environment;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    const bool replaced = std::any_of(environment.begin(), environment.end(),
                                      [&](const std::string& v) { return v.rfind(name + "=", 0) == 0; });
    if (!replaced) variables.push_back(entry);
  }
  std::vector<char*> envp;
  for (std::string& v : variables) envp.push_back(v.data());
  envp.push_back(nullptr);

  // The child gets SIGINT and SIGTERM as a program started from a terminal does: not blocked, not
  // ignored, whatever this test program has set.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &stops);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data()) == 0) pid_ = pid;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
}

Program::~Program() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
}

bool Program::Signal(int signal) const { return pid_ > 0 && !reaped_ && kill(pid_, signal) == 0; }

std::string Program::ErrSoFar() const {
  std::string text;
  core::ReadFile(capture_ / "err.txt", &text);
  return text;
}

RunResult Program::Wait(double timeoutSeconds) {
  RunResult result;
  if (pid_ <= 0 || reaped_) return result;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
  for (;;) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) break;
    if (std::chrono::steady_clock::now() > deadline) {
      result.timedOut = true;
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  reaped_ = true;
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.killedBy = WTERMSIG(status);
  core::ReadFile(capture_ / "out.txt", &result.out);
  core::ReadFile(capture_ / "err.txt", &result.err);
  return result;
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& folder,
                     int timeoutSeconds, const std::vector<std::string>& environment) {
  Program running(program, args, folder, environment);
  return running.Wait(timeoutSeconds);
}

RunResult RunMain(const std::vector<std::string>& args, const std::string& folder) {
  std::vector<std::string> all = {"--headless"};
  all.insert(all.end(), args.begin(), args.end());
  return RunProgram(VEXEL_MAIN_BINARY, all, folder);
}

bool WriteText(const std::string& path, const std::string& text) { return core::WriteFileAtomic(path, text); }

bool FileExistsAt(const std::string& path) { return core::FileExists(path); }

std::string ReadText(const std::string& path) {
  std::string text;
  core::ReadFile(path, &text);
  return text;
}

}  // namespace testing_support
