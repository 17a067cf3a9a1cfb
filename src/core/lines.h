// Text lines: every text file the engine reads is split here, so a file whose
// line ends were changed by an editor or another system reads the same. Calls
// nothing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace core {

// The next line of `text` from *position, without its line end; a line ends at
// CR LF, at LF or at CR alone, and a last line without a line end still counts.
// False once the text is used up.
bool NextLine(std::string_view text, size_t *position, std::string_view *line);

// The same as a reader object, for loops that keep their place between calls.
class LineReader {
public:
  explicit LineReader(std::string_view text) : text_(text) {}
  bool Next(std::string_view *line) { return NextLine(text_, &at_, line); }
  size_t Position() const { return at_; }

private:
  std::string_view text_;
  size_t at_ = 0;
};

// True when some line of `text` ends in LF alone or CR alone.
bool HasForeignLineEnds(std::string_view text);
// `text` with every line end (CR LF, LF or CR alone) written as CR LF, the way
// the engine writes its files.
std::string WithCrLf(std::string_view text);

} // namespace core
