// Running the real programs in temporary working folders, for end-to-end tests.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace testing_support {

struct RunResult {
  int exitCode = -1;    // -1 when the program did not exit normally
  int killedBy = 0;     // the signal that ended it, 0 when it exited
  bool timedOut = false;  // it was still running at the timeout and was killed
  std::string out;
  std::string err;
};

// A program running in the background, started in `folder` (no standard input; its output and
// error go to files read back by Wait). `environment` entries ("NAME=value") replace or add to this
// process's environment. A program still running when the object goes is killed and reaped.
class Program {
 public:
  Program(const std::string& program, const std::vector<std::string>& args, const std::string& folder,
          const std::vector<std::string>& environment = {});
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // Sends `signal` while the program has not been waited for; false otherwise.
  bool Signal(int signal) const;
  // What it has written to standard error so far.
  std::string ErrSoFar() const;
  // Waits at most `timeoutSeconds` for it to end, SIGKILLs it after that; its result. Once only.
  RunResult Wait(double timeoutSeconds);

 private:
  TempFolder capture_;
  pid_t pid_ = -1;
  bool reaped_ = false;
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
