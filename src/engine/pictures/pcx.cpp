// PCX pictures and their colour tables. Calls core.
#include "engine/pictures/pcx.h"

#include <algorithm>
#include <cstring>

#include "core/core.h"

namespace engine {

namespace {

constexpr size_t kHeaderBytes = 128;
constexpr size_t kPaletteBytes = 768;

uint32_t Read16(std::string_view bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8;
}

}  // namespace

bool DecodePcx(std::string_view bytes, PcxPicture* out) {
  *out = PcxPicture{};
  if (bytes.size() < kHeaderBytes + kPaletteBytes || static_cast<uint8_t>(bytes[0]) != 10) return false;
  const uint32_t xmin = Read16(bytes, 4), ymin = Read16(bytes, 6), xmax = Read16(bytes, 8), ymax = Read16(bytes, 10);
  if (xmax < xmin || ymax < ymin) return false;
  const int32_t width = static_cast<int32_t>(xmax - xmin + 1);
  const int32_t height = static_cast<int32_t>(ymax - ymin + 1);
  if (width > kMaxPcxSide || height > kMaxPcxSide) return false;

  // One spare byte after the picture takes the pad byte of the last row of an odd width.
  const size_t lineBytes = (static_cast<size_t>(width) + 1) & ~size_t{1};
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height + 1, 0);
  const auto* stream = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t streamEnd = bytes.size() - kPaletteBytes;
  size_t at = kHeaderBytes;
  int32_t row = 0;
  size_t column = 0;
  while (row < height && at < streamEnd) {
    uint8_t value = stream[at++];
    if (value < 192) {
      // Single pixels are most of a detailed picture's stream.
      pixels[static_cast<size_t>(row) * width + column] = value;
      if (++column == lineBytes) {
        column = 0;
        ++row;
      }
      continue;
    }
    if (at >= streamEnd) break;  // a run count with no value: the stream ends here
    size_t count = value & 63u;
    value = stream[at++];
    // Runs are cut into row pieces; the writes end at most one byte past a row's width, which is
    // the next row's first byte or the spare byte.
    while (count > 0 && row < height) {
      const size_t piece = std::min(count, lineBytes - column);
      std::memset(pixels.data() + static_cast<size_t>(row) * width + column, value, piece);
      column += piece;
      count -= piece;
      if (column == lineBytes) {
        column = 0;
        ++row;
      }
    }
  }
  pixels.pop_back();

  out->width = width;
  out->height = height;
  out->pixels = std::move(pixels);
  std::memcpy(out->palette.data(), stream + streamEnd, kPaletteBytes);
  return true;
}

PcxPicture ReadPcx(const std::string& path) {
  std::string bytes;
  PcxPicture picture;
  if (core::ReadFile(path, &bytes)) DecodePcx(bytes, &picture);
  return picture;
}

void FlatShapeTable(const uint8_t* palette768, bool colourKey, uint32_t table[256]) {
  for (int i = 0; i < 256; ++i) {
    const uint32_t r = palette768[i * 3] & 0xF8u;
    const uint32_t g = palette768[i * 3 + 1] & 0xF8u;
    const uint32_t b = palette768[i * 3 + 2] & 0xF8u;
    uint32_t alpha;
    if (colourKey) {
      // Judged on the masked bytes: the renderer sees only those, and drops (0, 0, 0) texels.
      alpha = (r | g | b) == 0 ? 0 : 255;
    } else {
      alpha = std::min<uint32_t>(255, (r + g + b) * 45000u >> 16);
    }
    table[i] = alpha << 24 | r << 16 | g << 8 | b;
  }
}

uint32_t WidenPixel(uint16_t pixel, const PixelFormat& format) {
  uint32_t r, g, b, greenSteps;
  if (format.redShift == 10) {
    r = (pixel >> 10) & 31u;
    g = (pixel >> 5) & 31u;
    greenSteps = 31;
  } else {
    r = (pixel >> 11) & 31u;
    g = (pixel >> 5) & 63u;
    greenSteps = 63;
  }
  b = pixel & 31u;
  // The nearest 8-bit level, as a 16-bit surface is widened when it is shown.
  r = (r * 255 + 15) / 31;
  g = (g * 255 + greenSteps / 2) / greenSteps;
  b = (b * 255 + 15) / 31;
  return r << 16 | g << 8 | b;
}

}  // namespace engine
