// Formatting of brain fault texts. Calls core.
#include "brain/faults.h"

#include <cstdarg>

#include "core/core.h"

namespace brain::fault_detail {

// Faults are rare, so the text is measured first and never cut short.
std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = core::FormatArgs(format, args);
  va_end(args);
  return text;
}

}  // namespace brain::fault_detail
