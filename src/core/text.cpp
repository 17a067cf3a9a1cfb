// Text shown to people: non-printing bytes made visible and overlong lines cut.
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

}  // namespace core
