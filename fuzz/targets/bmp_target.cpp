// Fuzz target body: BMP pictures decoded from memory. Calls engine (the BMP reader).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/engine.h"
#include "targets.h"

namespace fuzzing {
namespace {

void Put32(std::string* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// The picture as a bottom-up 24-bit BMP with the 40-byte header.
std::string Encode24(const engine::Picture& picture) {
  const uint32_t stride = (static_cast<uint32_t>(picture.width) * 3 + 3) / 4 * 4;
  std::string out = "BM";
  Put32(&out, 54 + stride * static_cast<uint32_t>(picture.height));
  Put32(&out, 0);
  Put32(&out, 54);
  Put32(&out, 40);
  Put32(&out, static_cast<uint32_t>(picture.width));
  Put32(&out, static_cast<uint32_t>(picture.height));
  Put32(&out, 1 | 24 << 16);  // planes, bits
  for (int i = 0; i < 6; ++i) Put32(&out, 0);
  for (int32_t y = picture.height - 1; y >= 0; --y) {
    std::string row;
    for (int32_t x = 0; x < picture.width; ++x) {
      const uint8_t* p = picture.Pixel(x, y);
      row += {static_cast<char>(p[2]), static_cast<char>(p[1]), static_cast<char>(p[0])};
    }
    row.resize(stride, '\0');
    out += row;
  }
  return out;
}

int32_t Signed32(const uint8_t* at) {
  return static_cast<int32_t>(static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                              static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24);
}

}  // namespace

std::string FuzzBmp(const uint8_t* data, size_t size) {
  // A compressed picture may declare up to 16384 x 16384 pixels in a few bytes: a gigabyte that is
  // allowed, but a fuzzer would spend its time clearing it. Such inputs are skipped here.
  if (size >= 26 && std::llabs(static_cast<int64_t>(Signed32(data + 18)) * Signed32(data + 22)) > (int64_t{1} << 16)) {
    return {};
  }
  engine::Picture picture;
  std::string error;
  const bool decoded = engine::DecodeBmp(std::string_view(reinterpret_cast<const char*>(data), size), &picture, &error);
  if (!decoded) {
    if (error.empty()) return "refused without a reason";
    if (picture.width != 0 || picture.height != 0 || !picture.rgba.empty()) return "a refused picture is not empty";
    return {};
  }
  if (!error.empty()) return "decoded, yet with the error \"" + error + "\"";
  if (picture.width < 1 || picture.width > 16384 || picture.height < 1 || picture.height > 16384) {
    return "a decoded picture of " + std::to_string(picture.width) + " x " + std::to_string(picture.height);
  }
  if (picture.rgba.size() != static_cast<size_t>(picture.width) * picture.height * 4) {
    return "the pixels do not match the picture's size";
  }
  for (size_t i = 3; i < picture.rgba.size(); i += 4) {
    if (picture.rgba[i] != 255) return "a pixel is not opaque";
  }
  // Stored again as the plainest BMP, the picture reads back as it was.
  engine::Picture again;
  if (!engine::DecodeBmp(Encode24(picture), &again, &error)) return "the picture stored again is refused: " + error;
  if (again.width != picture.width || again.height != picture.height || again.rgba != picture.rgba) {
    return "the picture stored again reads back differently";
  }
  return {};
}

}  // namespace fuzzing
