// Running the real programs in temporary working folders, for end-to-end tests.
#pragma once

#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace testing_support {

struct RunResult {
  int exitCode = -1;  // -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// Runs `program` with `args` in `folder` (no standard input), waits at most `timeoutSeconds`.
// `environment` entries ("NAME=value") replace or add to this process's environment.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& folder,
                     int timeoutSeconds = 60, const std::vector<std::string>& environment = {});

// Runs the engine headless in `folder`.
RunResult RunMain(const std::vector<std::string>& args, const std::string& folder);

bool WriteText(const std::string& path, const std::string& text);
bool FileExistsAt(const std::string& path);
std::string ReadText(const std::string& path);

}  // namespace testing_support
