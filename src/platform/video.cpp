// The rules of showing a video that do not depend on the decoder: the size a file's name asks for
// and the time each frame is due. Calls only the C++ library.
#include <cmath>
#include <string_view>

#include "platform/clock.h"
#include "platform/video.h"

namespace platform {
namespace {

// Leading blanks, an optional sign, then digits up to the first other character; no digits read
// as 0. Capped instead of overflowing.
int ReadDecimal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kMaxVideoSide) value = kMaxVideoSide;
  }
  return static_cast<int>(negative ? -value : value);
}

}  // namespace

VideoSize VideoSizeFromName(const std::string& path, int fullWidth, int fullHeight) {
  const VideoSize full{fullWidth, fullHeight};
  std::string_view name(path);
  const size_t slash = name.find_last_of("/\\");
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  const size_t first = name.find('_');
  if (first == std::string_view::npos) return full;
  std::string_view part = name.substr(first + 1);
  part = part.substr(0, part.find('_'));
  const size_t x = part.find('x');
  const int width = ReadDecimal(part.substr(0, x));
  const int height = x == std::string_view::npos ? 0 : ReadDecimal(part.substr(x + 1));
  if (width < 1 || height < 1) return full;
  return {width, height};
}

uint32_t VideoFrameTime(int64_t frame, double frameRate) {
  if (!(frameRate > 0) || frame <= 0) return 0;
  return static_cast<uint32_t>(std::llround(static_cast<double>(frame) * Clock::kUnitsPerSecond / frameRate));
}

}  // namespace platform
