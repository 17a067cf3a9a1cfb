// Fuzz target body: PCX pictures decoded from memory, then prepared and drawn as frames, sprites
// and counters. Calls engine (the PCX reader and the prepared forms) and core (one arena for the
// whole run).
#include <algorithm>
#include <climits>
#include <cstring>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/core.h"
#include "engine/engine.h"
#include "targets.h"

namespace fuzzing {
namespace {

uint32_t Read16(const uint8_t* at) { return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8; }

// The picture coded again the plainest way: every pixel alone (a run of one when it is 192 or
// more), each row padded to an even width.
std::string Encode(const engine::PcxPicture& picture) {
  std::string out(128, '\0');
  out[0] = 10;
  out[8] = static_cast<char>((picture.width - 1) & 0xFF);
  out[9] = static_cast<char>((picture.width - 1) >> 8);
  out[10] = static_cast<char>((picture.height - 1) & 0xFF);
  out[11] = static_cast<char>((picture.height - 1) >> 8);
  for (int32_t y = 0; y < picture.height; ++y) {
    for (int32_t x = 0; x < (picture.width + 1) / 2 * 2; ++x) {
      const uint8_t pixel = x < picture.width ? picture.At(x, y) : 0;
      if (pixel >= 192) out.push_back(static_cast<char>(0xC1));
      out.push_back(static_cast<char>(pixel));
    }
  }
  out.append(reinterpret_cast<const char*>(picture.palette.data()), picture.palette.size());
  return out;
}

// The arena the frames are prepared in, made once: a fresh one per input would cost more than
// the decoding.
core::Arena* SharedArena() {
  static core::Arena arena;
  static const bool created = arena.Create();
  return created ? &arena : nullptr;
}

std::string CheckFrame(const engine::PcxPicture& picture, int bits) {
  core::Arena* arena = SharedArena();
  if (arena == nullptr) return "no arena";
  engine::AspectMemory memory;
  memory.Reset(arena);
  int32_t slot[16];
  engine::PixelFormat format;
  if (!engine::PrepareFrame(&memory, picture, format, slot)) return "a frame does not fit in the aspect data";
  // A surface a little smaller than the frame on one side, so that both clipping paths run.
  const int width = std::min(picture.width, 640) + 3;
  const int height = std::max(std::min(picture.height, 480) - 1, 1);
  format.bitsPerPixel = bits;
  format.pitch = width * bits / 8 + 2;
  std::vector<uint8_t> surface(static_cast<size_t>(format.pitch) * height, 0xAB);
  engine::DrawFrame(*arena, slot, surface.data(), format, width, height);
  uint16_t table[256];
  engine::BuildConversionTable(picture.palette.data(), format, table);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t* at = surface.data() + static_cast<size_t>(y) * format.pitch + static_cast<size_t>(x) * (bits / 8);
      uint32_t pixel = at[0] | at[1] << 8;
      if (bits == 32) pixel |= static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
      uint32_t expected = bits == 32 ? 0xABABABABu : 0xABABu;
      if (y < std::min(picture.height, 480) && x < std::min(picture.width, 640)) {
        expected = table[picture.At(x, y)];
        if (bits == 32) expected = engine::WidenPixel(static_cast<uint16_t>(expected), format);
      }
      if (pixel != expected) {
        return "frame pixel " + std::to_string(x) + "," + std::to_string(y) + " at " + std::to_string(bits) + " bits";
      }
    }
  }
  return {};
}

// The picture as a sprite drawn at an offset that puts part of it off the surface, and as a counter
// when it is a digit picture: every pixel drawn matches the picture, nothing outside the surface
// is touched, and picking agrees with drawing.
std::string CheckSpriteAndCounter(const engine::PcxPicture& picture, int bits) {
  core::Arena* arena = SharedArena();
  if (arena == nullptr) return "no arena";
  engine::AspectMemory memory;
  memory.Reset(arena);
  engine::Surface surface;
  surface.width = std::min(picture.width, 300) + 5;
  surface.height = std::min(picture.height, 300) + 2;
  surface.format.bitsPerPixel = bits;
  surface.format.pitch = surface.width * bits / 8 + 4;
  std::vector<uint8_t> bytes(static_cast<size_t>(surface.format.pitch) * surface.height + 16, 0);
  surface.pixels = bytes.data();
  int32_t slot[16];
  if (!engine::PrepareSprite(&memory, picture, surface.format, slot)) return "a sprite does not fit in the aspect data";
  const int32_t x = -2, y = 3;
  const engine::ClipRectangle clip{0, 0, surface.width - 1, surface.height - 1};
  engine::DrawSprite(*arena, slot, x, y, clip, false, surface);
  for (size_t i = static_cast<size_t>(surface.format.pitch) * surface.height; i < bytes.size(); ++i) {
    if (bytes[i] != 0) return "a sprite wrote past the surface";
  }
  for (int py = 0; py < surface.height; ++py) {
    for (int px = 0; px < surface.width; ++px) {
      const int sx = px - x, sy = py - y;
      const bool inside = sx >= 0 && sy >= 0 && sx < picture.width && sy < picture.height;
      const bool drawn = inside && picture.At(sx, sy) != 0;
      if (engine::SpriteCovers(*arena, slot, x, y, clip, px, py) != drawn) {
        return "sprite picking disagrees at " + std::to_string(px) + "," + std::to_string(py);
      }
      uint32_t pixel = 0;
      std::memcpy(&pixel, surface.Row(py) + static_cast<size_t>(px) * (bits / 8), bits / 8);
      if (!drawn && pixel != 0) return "a sprite drew a transparent pixel";
    }
  }
  if (engine::IsDigitPicture(picture)) {
    if (!engine::PrepareCounter(&memory, picture, surface.format, slot)) return "a digit picture was refused";
    std::fill(bytes.begin(), bytes.end(), 0);
    for (const int32_t value : {0, -12345, 2147483647, INT32_MIN}) {
      engine::DrawCounter(*arena, slot, engine::CounterValue{1, 0, value, 1000000, 100, 1}, surface);
    }
    for (size_t i = static_cast<size_t>(surface.format.pitch) * surface.height; i < bytes.size(); ++i) {
      if (bytes[i] != 0) return "a counter wrote past the surface";
    }
  }
  return {};
}

}  // namespace

std::string FuzzPcx(const uint8_t* data, size_t size) {
  // A few bytes may declare 4096 x 4096 pixels: allowed, but a fuzzer would spend its time
  // clearing them. Such inputs are skipped here.
  if (size >= 12) {
    const uint32_t xmin = Read16(data + 4), ymin = Read16(data + 6), xmax = Read16(data + 8), ymax = Read16(data + 10);
    if (xmax >= xmin && ymax >= ymin && (xmax - xmin + 1) * (ymax - ymin + 1) > (1u << 16)) return {};
  }
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  engine::PcxPicture picture;
  picture.width = 7;
  if (!engine::DecodePcx(bytes, &picture)) {
    const engine::PcxPicture fallback;
    if (picture.width != 1 || picture.height != 1 || picture.pixels != fallback.pixels ||
        picture.palette != fallback.palette) {
      return "a refused picture is not the one-pixel picture";
    }
    return {};
  }
  if (picture.width < 1 || picture.width > engine::kMaxPcxSide || picture.height < 1 ||
      picture.height > engine::kMaxPcxSide) {
    return "a decoded picture of " + std::to_string(picture.width) + " x " + std::to_string(picture.height);
  }
  if (picture.pixels.size() != static_cast<size_t>(picture.width) * picture.height) {
    return "the pixels do not match the picture's size";
  }
  if (!std::equal(picture.palette.begin(), picture.palette.end(), data + size - 768)) {
    return "the palette is not the last 768 bytes";
  }
  engine::PcxPicture again;
  if (!engine::DecodePcx(Encode(picture), &again)) return "the picture coded again is refused";
  if (again.width != picture.width || again.height != picture.height || again.pixels != picture.pixels ||
      again.palette != picture.palette) {
    return "the picture coded again reads back differently";
  }
  for (const int bits : {16, 32}) {
    if (std::string failure = CheckFrame(picture, bits); !failure.empty()) return failure;
    if (std::string failure = CheckSpriteAndCounter(picture, bits); !failure.empty()) return failure;
  }
  return {};
}

}  // namespace fuzzing
