// Fuzz target: project files with a .col, loaded, saved, loaded and saved again. The second save
// must write exactly the bytes of the first: whatever the input, what the loader keeps is stable.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/core.h"
#include "fuzz_folder.h"
#include "model/model.h"


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& folder = fuzzing::ScratchFolder();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  core::WriteFileAtomic(folder + "in.prj", input);
  // An odd first byte brings a .col: the input itself, so short and odd-sized ones are covered.
  if (size > 0 && (data[0] & 1) != 0) {
    core::WriteFileAtomic(folder + "in.col", input.substr(0, model::kCollisionMapBytes));
  } else {
    std::remove((folder + "in.col").c_str());
  }

  std::vector<uint8_t> map(model::kCollisionMapBytes, 0);
  model::ModelContext context;
  context.workingFolder = folder;
  context.temporaryFile = folder + "temp.tmp";
  context.collisionMap = map.data();
  context.finishedGame = size > 1 && (data[1] & 1) != 0;
  model::Project project;
  std::string error;
  if (!model::LoadProject(&context, folder + "in.prj", &project, &error)) return 0;
  if (project.records.size() > static_cast<size_t>(model::kMaxElements)) __builtin_trap();
  if (!model::SaveProject(&context, project, folder + "first.prj", &error)) return 0;

  model::Project again;
  if (!model::LoadProject(&context, folder + "first.prj", &again, &error)) __builtin_trap();
  if (again.records.size() != project.records.size() || again.header != project.header) __builtin_trap();
  if (!model::SaveProject(&context, again, folder + "second.prj", &error)) __builtin_trap();
  std::string first;
  std::string second;
  core::ReadFile(folder + "first.prj", &first);
  core::ReadFile(folder + "second.prj", &second);
  if (first != second) __builtin_trap();
  core::ReadFile(folder + "first.col", &first);
  core::ReadFile(folder + "second.col", &second);
  if (first != second) __builtin_trap();
  return 0;
}
