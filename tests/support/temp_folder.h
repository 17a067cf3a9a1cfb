// Throwaway folders for tests and benchmarks; calls POSIX and the C++ library only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// A fresh folder under the system's temporary folder ($TMPDIR, else /tmp), named `prefix` plus a
// unique suffix, and removed with everything in it on destruction unless Keep() was called.
//
// Making the folder can fail (no temporary folder, a full disk): then ok() is false, error() says
// why, path() is empty and so is every `folder / name`, so writes through it fail instead of
// landing in the current folder. Callers that need the folder check ok() first.
class TempFolder {
 public:
  explicit TempFolder(std::string_view prefix = "vexel-test");  // a plain name, no '/'
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& error() const { return error_; }  // empty when ok()
  const std::string& path() const { return path_; }    // ends with '/'
  std::string operator/(const std::string& name) const { return ok() ? path_ + name : std::string(); }

  // Copies a whole folder tree (e.g. the working-folder skeleton) into this folder, replacing
  // files of the same name.
  bool CopyFrom(const std::string& source) const;
  // Every regular file under the folder, as paths relative to it, sorted.
  std::vector<std::string> Files() const;
  // Leaves the folder and its files in place on destruction, e.g. as the evidence of a failed run.
  void Keep() { keep_ = true; }

 private:
  std::string path_;
  std::string error_;
  bool keep_ = false;
};

}  // namespace testing_support
