// A scratch folder for fuzz targets that work through files: one per run, removed at exit.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace fuzzing {

// Every input overwrites the same few files in the folder, so it stays small. The name is never
// freed: the exit handler that removes the folder runs after static destructors would have.
inline const std::string& ScratchFolder() {
  static const std::string* folder = [] {
    std::string pattern = "/tmp/vexel-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    auto* name = new std::string(pattern + "/");
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(ScratchFolder(), ignored);
    });
    return name;
  }();
  return *folder;
}

}  // namespace fuzzing
