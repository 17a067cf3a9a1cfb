// Text form of the global variables.
#include "model/globals.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "core/core.h"

namespace model {

std::string GlobalsText(const int32_t* globals, int32_t first, int32_t last) {
  std::string text;
  for (int32_t i = first & (kGlobalCount - 1); i <= (last & (kGlobalCount - 1)); ++i) {
    text += std::to_string(globals[i]);
    text += "\r\n";
  }
  return text;
}

int32_t ReadGlobalsText(std::string_view text, int32_t first, int32_t last, int32_t* globals) {
  int32_t read = 0;
  size_t at = 0;
  std::string_view raw;
  for (int32_t i = first & (kGlobalCount - 1); i <= (last & (kGlobalCount - 1)) && core::NextLine(text, &at, &raw); ++i) {
    const std::string line(raw);
    // Out-of-range numbers are held at the 32-bit limits rather than wrapped.
    const long long value = std::strtoll(line.c_str(), nullptr, 10);
    globals[i] = static_cast<int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
    ++read;
  }
  return read;
}

}  // namespace model
