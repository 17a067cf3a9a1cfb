// PCX files written by tests: a 128-byte header, a run-length stream given whole or coded here,
// and a palette as the last 768 bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

using PcxPalette = std::array<uint8_t, 768>;

// A palette whose entry i is (i, 255 - i, i * 7 mod 256): every entry differs.
inline PcxPalette RampPalette() {
  PcxPalette palette{};
  for (int i = 0; i < 256; ++i) {
    palette[i * 3] = static_cast<uint8_t>(i);
    palette[i * 3 + 1] = static_cast<uint8_t>(255 - i);
    palette[i * 3 + 2] = static_cast<uint8_t>(i * 7);
  }
  return palette;
}

// The header of an 8-bit one-plane picture with these corners; `maker` is byte 0.
inline std::string PcxHeader(uint16_t xmin, uint16_t ymin, uint16_t xmax, uint16_t ymax, uint8_t maker = 10) {
  std::string header(128, '\0');
  header[0] = static_cast<char>(maker);
  header[1] = 5;
  header[2] = 1;
  header[3] = 8;
  const uint16_t corners[4] = {xmin, ymin, xmax, ymax};
  for (int i = 0; i < 4; ++i) {
    header[4 + i * 2] = static_cast<char>(corners[i] & 0xFF);
    header[5 + i * 2] = static_cast<char>(corners[i] >> 8);
  }
  header[65] = 1;
  // A bytes-per-line the reader must not use.
  header[66] = 3;
  return header;
}

// Header, the stream as given, the 0x0C marker and the palette.
inline std::string PcxWithStream(int width, int height, const std::string& stream,
                                 const PcxPalette& palette = RampPalette()) {
  std::string file = PcxHeader(0, 0, static_cast<uint16_t>(width - 1), static_cast<uint16_t>(height - 1)) + stream;
  file.push_back('\x0C');
  file.append(reinterpret_cast<const char*>(palette.data()), palette.size());
  return file;
}

// Codes `pixels` (width x height, top row first) row by row at the even width, odd rows padded
// with `pad`; equal bytes become runs of up to 63, and literals of 192 or more runs of one.
inline std::string PcxFile(int width, int height, const std::vector<uint8_t>& pixels, uint8_t pad = 0,
                           const PcxPalette& palette = RampPalette()) {
  const int lineBytes = (width + 1) & ~1;
  std::string stream;
  std::vector<uint8_t> line(lineBytes);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < lineBytes; ++x) line[x] = x < width ? pixels[static_cast<size_t>(y) * width + x] : pad;
    for (int x = 0; x < lineBytes;) {
      int run = 1;
      while (x + run < lineBytes && run < 63 && line[x + run] == line[x]) ++run;
      if (run > 1 || line[x] >= 192) stream.push_back(static_cast<char>(0xC0 | run));
      stream.push_back(static_cast<char>(line[x]));
      x += run;
    }
  }
  return PcxWithStream(width, height, stream, palette);
}

// A 640 x 480 picture as backdrops are drawn: flat bands with a noisy strip (from `seed`) in every
// row, for timing the readers on realistic run lengths.
inline std::string BackdropPcx(uint32_t seed = 7) {
  std::vector<uint8_t> pixels(640 * 480);
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      seed = seed * 1103515245u + 12345u;
      pixels[static_cast<size_t>(y) * 640 + x] =
          x >= 200 && x < 328 ? static_cast<uint8_t>(seed >> 16) : static_cast<uint8_t>(y / 16 + x / 80);
    }
  }
  return PcxFile(640, 480, pixels);
}

}  // namespace testing_support
