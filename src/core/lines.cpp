// Line splitting and line-end conversion of text files. Calls nothing.
#include "core/lines.h"

namespace core {

bool NextLine(std::string_view text, size_t *position, std::string_view *line) {
  const size_t at = *position;
  if (at >= text.size())
    return false;
  const char *begin = text.data() + at;
  const size_t rest = text.size() - at;
  size_t end = rest;
  for (size_t i = 0; i < rest; ++i) {
    const char c = begin[i];
    if (c == '\n' || c == '\r') {
      end = i;
      break;
    }
  }
  *line = text.substr(at, end);
  size_t next = at + end;
  if (next < text.size()) {
    next +=
        text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n'
            ? 2
            : 1;
  }
  *position = next;
  return true;
}

bool HasForeignLineEnds(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n')
      return true; // an LF not taken as the end of a CR LF pair
    if (text[i] == '\r') {
      if (i + 1 >= text.size() || text[i + 1] != '\n')
        return true;
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
    if (c == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n')
        ++i;
      out.append("\r\n");
    } else if (c == '\n') {
      out.append("\r\n");
    } else {
      out.push_back(c);
    }
  }
  return out;
}

} // namespace core
