// Running the real programs in temporary working folders, for end-to-end tests.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with everything in it on
// destruction.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }  // ends with '/'
  std::string operator/(const std::string& name) const { return path_ + name; }
  // Copies a whole folder tree (e.g. the working-folder skeleton) into this folder.
  bool CopyFrom(const std::string& source) const;
  // Every file under the folder, relative paths, sorted.
  std::vector<std::string> Files() const;

 private:
  std::string path_;
};

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
