// Throwaway folders for tests and benchmarks; calls POSIX and the C++ library only.
#include "support/temp_folder.h"

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace testing_support {
namespace fs = std::filesystem;

// Every filesystem call takes an error_code: a helper of the tests must not throw from a
// constructor or destructor, and the benchmarks report the reason instead of terminating.
TempFolder::TempFolder(std::string_view prefix) {
  std::error_code code;
  const fs::path temp = fs::temp_directory_path(code);
  if (code) {
    error_ = "no temporary folder: " + code.message();
    return;
  }
  // mkdtemp makes the folder only when the name is new and gives it mode 0700, so two runs at
  // once (ctest -j) never share a folder.
  std::string pattern = (temp / (std::string(prefix) + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) {
    error_ = "cannot create a folder under " + temp.string() + ": " + std::strerror(errno);
    return;
  }
  path_ = pattern + "/";
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (ok() && !keep_) fs::remove_all(path_, ignored);
}

bool TempFolder::CopyFrom(const std::string& source) const {
  if (!ok()) return false;
  std::error_code error;
  fs::copy(source, path_, fs::copy_options::recursive | fs::copy_options::overwrite_existing, error);
  return !error;
}

std::vector<std::string> TempFolder::Files() const {
  std::vector<std::string> files;
  if (!ok()) return files;
  // Stepping with increment(error) rather than a range-for, whose ++ throws when a folder
  // vanishes or cannot be read during the walk. The entries are built as path_ + relative name,
  // so cutting path_ off gives the relative path without resolving links.
  std::error_code error;
  for (fs::recursive_directory_iterator it(path_, error), end; !error && it != end; it.increment(error)) {
    std::error_code ignored;
    if (it->is_regular_file(ignored)) files.push_back(it->path().string().substr(path_.size()));
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace testing_support
