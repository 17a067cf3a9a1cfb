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

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& folder,
                     int timeoutSeconds, const std::vector<std::string>& environment) {
  RunResult result;
  TempFolder capture;
  const std::string outPath = capture / "out.txt";
  const std::string errPath = capture / "err.txt";

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

  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return result;

  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  core::ReadFile(outPath, &result.out);
  core::ReadFile(errPath, &result.err);
  return result;
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
