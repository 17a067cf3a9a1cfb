// Fuzz target body: vexel.ini and curpaths.ini, read, written and read again in memory; every line
// must survive. Calls model.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/model.h"
#include "targets.h"

namespace fuzzing {

std::string FuzzEditorState(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  // The two files get the two halves, so each sees text the other does not.
  model::EditorState state;
  model::ParseEditorState("/w/", input.substr(0, size / 2), input.substr(size / 2), &state);
  const int32_t mode = state.TestViewMode();
  state.SetNumber(15, 1);
  std::string vexelText;
  std::string curpathsText;
  model::FormatEditorState(state, &vexelText, &curpathsText);
  model::EditorState again;
  model::ParseEditorState("/w/", vexelText, curpathsText, &again);
  for (int line = 0; line < 20; ++line) {
    if (again.vexel[line] != state.vexel[line]) return "vexel.ini line " + std::to_string(line + 1) + " changed";
  }
  for (int line = 0; line < 23; ++line) {
    if (again.curpaths[line] != state.curpaths[line]) {
      return "curpaths.ini line " + std::to_string(line + 1) + " changed";
    }
  }
  if (again.Number(15) != 1) return "vexel.ini line 15 reads back as " + std::to_string(again.Number(15));
  if (again.TestViewMode() != mode) return "the test view mode reads back as " + std::to_string(again.TestViewMode());
  return {};
}

}  // namespace fuzzing
