// Fuzz target: input scripts.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::InputScript script;
  std::string error;
  script.Parse(std::string_view(reinterpret_cast<const char*>(data), size), &error);
  platform::InputState state;
  std::vector<platform::InputEvent> events;
  script.TakeDue(UINT64_MAX, &events);
  for (const platform::InputEvent& e : events) state.Apply(e);
  platform::BoxAnswer answer;
  while (script.TakeAnswer(&answer)) {
  }
  return 0;
}
