// Other processes: the running executable's path and the start of a program that is not waited for.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The running executable's path (/proc/self/exe), or "" when it cannot be read.
std::string RunningExecutable();
// Starts `program` with `args` after its own path as argv[0], in the current folder with the
// current environment and standard streams, and does not wait for it: it lives on after this
// process ends. False with the reason when it cannot be started.
bool StartProcess(const std::string& program, const std::vector<std::string>& args, std::string* error);

}  // namespace platform
