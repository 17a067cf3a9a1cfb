// Line splitting and line-end conversion; text shown to people: non-printing bytes made visible
// and overlong lines cut.
#include "core/text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace core {
namespace {

// How many UTF-8 continuation bytes a lead byte announces; 0 for any other byte.
int ContinuationBytes(unsigned char c) {
  if ((c & 0xE0) == 0xC0) return 1;
  if ((c & 0xF0) == 0xE0) return 2;
  if ((c & 0xF8) == 0xF0) return 3;
  return 0;
}

}  // namespace

std::string PrintableText(std::string_view text, std::string_view lineBreaks) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() < 4096 ? text.size() + 16 : 4096);
  size_t shown = 0;   // characters of the current line written so far
  bool cut = false;   // the current line has had its "..."; the rest of it is dropped
  int following = 0;  // continuation bytes that still belong to the last character kept
  for (const unsigned char c : text) {
    if (lineBreaks.find(static_cast<char>(c)) != std::string_view::npos) {
      out.push_back(static_cast<char>(c));
      shown = 0;
      cut = false;
      following = 0;
      continue;
    }
    if (cut) continue;
    // A continuation byte goes with the character it continues, so a sequence is never split.
    // Stray ones (8-bit text that is not UTF-8) count as characters of their own, which keeps
    // the length of a line bounded whatever its bytes.
    if ((c & 0xC0) == 0x80 && following > 0) {
      --following;
      out.push_back(static_cast<char>(c));
      continue;
    }
    const bool escaped = c < 0x20 || c == 0x7F;
    const size_t width = escaped ? 4 : 1;
    if (shown + width > kPrintableLineMax) {
      out += "...";
      cut = true;
      following = 0;
      continue;
    }
    shown += width;
    following = ContinuationBytes(c);
    if (escaped) {
      out += "\\x";
      out.push_back(kDigits[c >> 4]);
      out.push_back(kDigits[c & 15]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

bool NextLine(std::string_view text, size_t* position, std::string_view* line) {
  const size_t at = *position;
  if (at >= text.size()) return false;
  // memchr runs many bytes a step. The text is searched a window at a time, for an LF and for a CR
  // before it, so a file with only one kind of line end is still read once, not once per line.
  constexpr size_t kWindow = 256;
  const char* begin = text.data() + at;
  const size_t rest = text.size() - at;
  size_t end = rest;
  for (size_t from = 0; from < rest; from += kWindow) {
    const size_t length = std::min(kWindow, rest - from);
    const auto* lf = static_cast<const char*>(std::memchr(begin + from, '\n', length));
    const size_t scanned = lf != nullptr ? static_cast<size_t>(lf - (begin + from)) : length;
    const auto* cr = static_cast<const char*>(std::memchr(begin + from, '\r', scanned));
    if (cr != nullptr || lf != nullptr) {
      end = static_cast<size_t>((cr != nullptr ? cr : lf) - begin);
      break;
    }
  }
  *line = text.substr(at, end);
  if (end < rest) end += begin[end] == '\r' && end + 1 < rest && begin[end + 1] == '\n' ? 2 : 1;
  *position = at + end;
  return true;
}

std::string FormatArgs(const char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  return text;
}

}  // namespace core
