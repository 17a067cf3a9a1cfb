// Text: the lines of the text files the engine reads, and text shown to people (message boxes and
// terminal lines). Calls only the C++ library.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>

namespace core {

// [SECTION] Lines
//
// Every text file the engine reads is split here, so a file whose line ends were changed by an
// editor or another system reads the same.

// The next line of `text` from *position, without its line end; a line ends at CR LF, at LF or at
// CR alone, and a last line without a line end still counts. False once the text is used up.
bool NextLine(std::string_view text, size_t* position, std::string_view* line);

// The same as a reader object, for loops that keep their place between calls.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}
  bool Next(std::string_view* line) { return NextLine(text_, &at_, line); }
  size_t Position() const { return at_; }

 private:
  std::string_view text_;
  size_t at_ = 0;
};

// [SECTION] Formatted text

// printf-style text of any length: measured first, never cut short.
std::string FormatArgs(const char* format, va_list args);

// [SECTION] Printable text

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
