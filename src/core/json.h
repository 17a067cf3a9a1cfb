// JSON text for the state dumps and the vexel command's reports. Calls only the C++ library.
#pragma once

#include <string>
#include <string_view>

namespace core {

// `text` as a JSON string literal, quotes included, whole whatever its bytes: '"' and '\' escaped,
// every control byte (0x00-0x1F and 0x7F) as \u00XX; other bytes are copied as they are
// (element names are the project's own bytes).
std::string JsonString(std::string_view text);

}  // namespace core
