// Line splitting and line-end conversion; text shown to people: non-printing bytes made visible
// and overlong lines cut.
#include "core/text.h"

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
  size_t end = at;
  while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
  *line = text.substr(at, end - at);
  if (end < text.size()) end += text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1;
  *position = end;
  return true;
}

bool HasForeignLineEnds(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') return true;  // an LF not taken as the end of a CR LF pair
    if (text[i] == '\r') {
      if (i + 1 >= text.size() || text[i + 1] != '\n') return true;
      ++i;
    }
  }
  return false;
}

std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out.append("\r\n");
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace core
