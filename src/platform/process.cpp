// Other processes through posix_spawn. Calls the C library only.
#include "platform/process.h"

#include <spawn.h>
#include <unistd.h>

#include <csignal>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace platform {

std::string RunningExecutable() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

bool StartProcess(const std::string& program, const std::vector<std::string>& args, std::string* error) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  // The child starts in a process group of its own, so a terminal's Ctrl+C aimed at this program
  // (which is ending anyway) does not reach the copy that replaces it. Signals this process
  // ignores or blocks are not passed on either.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  sigset_t defaults;
  sigfillset(&defaults);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t child = -1;
  const int result = posix_spawn(&child, program.c_str(), nullptr, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  if (result != 0) {
    if (error != nullptr) *error = std::strerror(result);
    return false;
  }
  return true;
}

}  // namespace platform
