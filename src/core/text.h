// Text shown to people: message boxes and terminal lines. Calls only the C++ library.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace core {

// The longest line PrintableText keeps, in characters as shown.
inline constexpr size_t kPrintableLineMax = 255;

// `text` as a box or a terminal can show it whole. The bytes of `lineBreaks` end a line and are
// kept: a box breaks its lines at '\r' and '\n'; a report on one terminal line may separate the
// lines of a box by '|' instead. Other bytes that would not print (0x00-0x1F and 0x7F) become
// "\xNN" with two upper-case hex digits, so nothing after a NUL or an escape sequence is lost or
// misread. Each line longer than kPrintableLineMax characters is cut there and ends in "..."; an
// escape counts as the four characters it shows, and a cut never splits an escape or a UTF-8
// sequence. Other bytes (UTF-8, or the 8-bit bytes of a project's own texts) are kept as they are.
std::string PrintableText(std::string_view text, std::string_view lineBreaks = "\r\n");

}  // namespace core
