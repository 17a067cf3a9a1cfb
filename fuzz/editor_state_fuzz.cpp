// Fuzz target: vexel.ini and curpaths.ini, read, written and read again; every line must survive.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "core/core.h"
#include "fuzz_folder.h"
#include "model/model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& folder = fuzzing::ScratchFolder();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  // The two files get the two halves, so each sees text the other does not.
  core::WriteFileAtomic(folder + "vexel.ini", input.substr(0, size / 2));
  core::WriteFileAtomic(folder + "curpaths.ini", input.substr(size / 2));

  model::EditorState state;
  model::ReadEditorState("/w/", folder, &state);
  const int32_t mode = state.TestViewMode();
  state.SetNumber(15, 1);
  if (!model::WriteEditorState(folder, state)) return 0;
  model::EditorState again;
  model::ReadEditorState("/w/", folder, &again);
  for (int line = 0; line < 20; ++line) {
    if (again.vexel[line] != state.vexel[line]) __builtin_trap();
  }
  for (int line = 0; line < 23; ++line) {
    if (again.curpaths[line] != state.curpaths[line]) __builtin_trap();
  }
  if (again.Number(15) != 1 || again.TestViewMode() != mode) __builtin_trap();
  return 0;
}
