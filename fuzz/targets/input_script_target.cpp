// Fuzz target body: input scripts, parsed and replayed into an input state. Calls
// platform/input_script.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "targets.h"

namespace fuzzing {

std::string FuzzInputScript(const uint8_t* data, size_t size) {
  platform::InputScript script;
  std::string error;
  const bool parsed = script.Parse(std::string_view(reinterpret_cast<const char*>(data), size), &error);
  // A refusal always says which line, and a success says nothing.
  if (parsed != error.empty()) {
    return "Parse returned " + std::string(parsed ? "true" : "false") + " with error '" + error + "'";
  }
  if (!parsed && error.rfind("line ", 0) != 0) return "the error does not name its line: '" + error + "'";
  const std::vector<platform::TimedEvent>& timed = script.Events();
  for (size_t i = 1; i < timed.size(); ++i) {
    if (timed[i].pass < timed[i - 1].pass) return "event " + std::to_string(i) + " is due before the one ahead of it";
  }

  platform::InputState state;
  std::vector<platform::InputEvent> events;
  script.TakeDue(UINT64_MAX, &events);
  if (events.size() != timed.size() || !script.Finished()) return "TakeDue did not hand out every event";
  for (const platform::InputEvent& e : events) state.Apply(e);
  platform::BoxAnswer answer;
  while (script.TakeAnswer(&answer)) {
  }
  return {};
}

}  // namespace fuzzing
