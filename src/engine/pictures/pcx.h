// PCX pictures (8 bits per pixel, one plane) and the colour tables made from their palettes: the
// reader every flat picture kind shares. Calls core and the display's conversion table.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/display.h"

namespace engine {

// A decoded picture: `width` x `height` palette indices, the top row first, rows `width` bytes
// apart; the palette holds red, green, blue for each of the 256 indices. The default value is the
// picture an unreadable file becomes: 1 x 1 of index 0 with an all-black palette.
struct PcxPicture {
  int32_t width = 1;
  int32_t height = 1;
  std::vector<uint8_t> pixels = std::vector<uint8_t>(1, 0);
  std::array<uint8_t, 768> palette{};

  uint8_t At(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

inline constexpr int32_t kMaxPcxSide = 4096;

// Decodes a PCX held in memory. The header gives the size (16-bit little-endian xmin, ymin, xmax,
// ymax at offsets 4, 6, 8, 10); the run-length coded pixels start at byte 128 and end where the
// palette, the last 768 bytes of the file, begins. A byte of 192 or more is a run of (byte & 63)
// copies of the next byte, any other byte one pixel. Every row is decoded at the width rounded up
// to an even count, so the pad byte of an odd-width row lands on the first pixel of the next row
// and is overwritten by it; runs may cross rows. The header's bytes-per-line field is not used.
//
// Lenient where a picture can still be shown: a run reaching past the last row is cut there, and
// a stream that ends before the picture is full keeps what it decoded (the rest is index 0).
// False, with *out set to the default 1 x 1 picture, when the file does not start with 10, is
// shorter than 128 + 768 bytes, or has xmax < xmin, ymax < ymin or a side above 4096.
bool DecodePcx(std::string_view bytes, PcxPicture* out);

// The picture of the file at `path`; the default 1 x 1 picture when it cannot be read or decoded.
PcxPicture ReadPcx(const std::string& path);

// The display table of a picture is BuildConversionTable (display.h) over its palette.

// The 32-bit colours of flat shapes, 0xAARRGGBB, each colour byte masked with 0xf8. With
// `colourKey` alpha is 255, except 0 for the colours that mask to black (0, 0, 0); without it
// alpha = min(255, (r + g + b) * 45000 >> 16) over the masked bytes, so dark colours are more
// transparent. `palette768` holds 256 red, green, blue triples.
void FlatShapeTable(const uint8_t* palette768, bool colourKey, uint32_t table[256]);

// A display-table pixel widened for 32-bit surfaces: each 5- or 6-bit channel c becomes
// round(c x 255 / 31) or round(c x 255 / 63), the level a 16-bit surface shows, as 0x00RRGGBB. The pixel is 5-5-5 when `format` puts red at bit 10,
// else 5-6-5 (the layout the tables keep in 32-bit modes too).
uint32_t WidenPixel(uint16_t pixel, const PixelFormat& format);

}  // namespace engine
