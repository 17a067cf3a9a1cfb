// BMP pictures and the play's texture cache. Calls core for files.
//
// [SECTION] Header and palette: what the file declares, checked against its size
// [SECTION] Uncompressed rows: 1-, 4-, 8-bit through the palette; 16- and 32-bit through bit masks; 24-bit
// [SECTION] RLE8 and RLE4 streams
// [SECTION] DecodeBmp and TextureCache
#include "engine/pictures/bmp.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "core/core.h"
#include "model/model.h"

namespace engine {
namespace {

// [SECTION] Header and palette

constexpr size_t kFileHeader = 14;   // "BM", file size, two reserved words, pixel array offset
constexpr uint32_t kInfoHeader = 40;  // the shortest header we read; the longer versions extend it
constexpr uint32_t kMasksInHeader = 52;  // from this size on, the colour masks are part of the header
constexpr int64_t kMaxSide = 16384;

constexpr uint32_t kCompressionNone = 0;
constexpr uint32_t kCompressionRle8 = 1;
constexpr uint32_t kCompressionRle4 = 2;
constexpr uint32_t kCompressionBitFields = 3;
constexpr uint32_t kCompressionAlphaBitFields = 6;

using Rgba = std::array<uint8_t, 4>;
constexpr Rgba kBlack = {0, 0, 0, 255};

uint16_t Read16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

uint32_t Read32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
         static_cast<uint32_t>(at[3]) << 24;
}

bool Fail(std::string* error, std::string text) {
  *error = std::move(text);
  return false;
}

// One colour channel of a 16- or 32-bit pixel, given by its mask: the masked bits are scaled so that
// their largest value gives 255 (5 bits: 31 -> 255, 16 -> 132). A zero mask gives 0.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t max = 0;

  explicit Channel(uint32_t bits) : mask(bits) {
    if (mask == 0) return;
    while (((mask >> shift) & 1) == 0) ++shift;
    max = mask >> shift;
  }
  uint8_t Of(uint32_t pixel) const {
    if (max == 0) return 0;
    const uint64_t value = (pixel & mask) >> shift;
    return static_cast<uint8_t>((value * 255 + max / 2) / max);
  }
};

// What the headers declare, once checked: sides within range, a known bit depth and compression
// that fit each other, and masks read from wherever this header version keeps them.
struct Layout {
  int64_t width = 0;
  int64_t height = 0;
  bool topDown = false;
  uint32_t bits = 0;
  uint32_t compression = 0;
  uint32_t masks[3] = {0, 0, 0};  // red, green, blue
  size_t pixels = 0;               // offset of the pixel array
};

bool BitsFitCompression(uint32_t bits, uint32_t compression) {
  switch (compression) {
    case kCompressionNone:
      return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    case kCompressionRle8:
      return bits == 8;
    case kCompressionRle4:
      return bits == 4;
    default:  // the two bit-field kinds
      return bits == 16 || bits == 32;
  }
}

// Reads the headers and the palette. Every entry of `palette` beyond what the file holds stays
// black, so that any index a pixel may carry reads a colour.
bool ReadLayout(const uint8_t* data, size_t size, Layout* layout, std::array<Rgba, 256>* palette,
                std::string* error) {
  if (size < kFileHeader + 4 || data[0] != 'B' || data[1] != 'M') return Fail(error, "not a BMP file");
  const uint32_t pixelOffset = Read32(data + 10);
  const uint32_t headerSize = Read32(data + kFileHeader);
  if (headerSize < kInfoHeader) {
    return Fail(error, "unsupported BMP header of " + std::to_string(headerSize) + " bytes");
  }
  if (kFileHeader + uint64_t{headerSize} > size) return Fail(error, "BMP header past the end of the file");
  const uint8_t* info = data + kFileHeader;
  // Both sides are signed; a negative height stores the rows top-down. Widened before negating so
  // that the most negative height cannot overflow.
  const int64_t width = static_cast<int32_t>(Read32(info + 4));
  const int64_t height = static_cast<int32_t>(Read32(info + 8));
  layout->width = width;
  layout->height = height < 0 ? -height : height;
  layout->topDown = height < 0;
  if (layout->width <= 0 || layout->height <= 0 || layout->width > kMaxSide || layout->height > kMaxSide) {
    return Fail(error, "BMP size " + std::to_string(width) + " x " + std::to_string(height) +
                           " out of range (each side 1 to 16384)");
  }
  layout->bits = Read16(info + 14);
  layout->compression = Read32(info + 16);
  const uint32_t colorsUsed = Read32(info + 32);
  if (layout->compression > kCompressionBitFields && layout->compression != kCompressionAlphaBitFields) {
    return Fail(error, "unknown BMP compression " + std::to_string(layout->compression));
  }
  if (!BitsFitCompression(layout->bits, layout->compression)) {
    return Fail(error, "unsupported BMP of " + std::to_string(layout->bits) + "-bit pixels with compression " +
                           std::to_string(layout->compression));
  }

  uint64_t tableStart = kFileHeader + uint64_t{headerSize};
  if (layout->compression == kCompressionBitFields || layout->compression == kCompressionAlphaBitFields) {
    // The 40-byte header is followed by the masks (three, or four with alpha); the longer headers
    // hold them at the same place inside.
    const uint8_t* masks = info + kInfoHeader;
    if (headerSize < kMasksInHeader) {
      const uint64_t length = layout->compression == kCompressionAlphaBitFields ? 16 : 12;
      if (tableStart + length > size) return Fail(error, "BMP bit fields past the end of the file");
      tableStart += length;
    }
    for (int i = 0; i < 3; ++i) layout->masks[i] = Read32(masks + 4 * i);
  } else if (layout->bits == 16) {
    layout->masks[0] = 0x7C00, layout->masks[1] = 0x03E0, layout->masks[2] = 0x001F;
  } else if (layout->bits == 32) {
    layout->masks[0] = 0xFF0000, layout->masks[1] = 0xFF00, layout->masks[2] = 0xFF;
  }
  if (pixelOffset < tableStart) return Fail(error, "BMP pixel array starts inside the headers");
  layout->pixels = pixelOffset;

  palette->fill(kBlack);
  if (layout->bits <= 8) {
    // A count of 0 means the full palette, but writers that leave it 0 often store a short one:
    // the pixel array starts where the palette must end.
    const uint64_t full = uint64_t{1} << layout->bits;
    uint64_t count = colorsUsed == 0 ? full : std::min<uint64_t>(colorsUsed, full);
    count = std::min<uint64_t>(count, (pixelOffset - tableStart) / 4);
    if (tableStart + count * 4 > size) return Fail(error, "BMP palette past the end of the file");
    for (uint64_t i = 0; i < count; ++i) {
      const uint8_t* entry = data + tableStart + 4 * i;  // blue, green, red, unused
      (*palette)[i] = {entry[2], entry[1], entry[0], 255};
    }
  }
  if (pixelOffset >= size) return Fail(error, "BMP pixel array past the end of the file");
  return true;
}

// [SECTION] Uncompressed rows

void DecodeRow(const Layout& layout, const std::array<Rgba, 256>& palette, const uint8_t* in, uint8_t* out) {
  const int64_t width = layout.width;
  switch (layout.bits) {
    case 1:
      for (int64_t x = 0; x < width; ++x, out += 4) {
        std::memcpy(out, palette[(in[x >> 3] >> (7 - (x & 7))) & 1].data(), 4);  // leftmost pixel in the top bit
      }
      return;
    case 4:
      for (int64_t x = 0; x < width; ++x, out += 4) {
        std::memcpy(out, palette[(in[x >> 1] >> ((x & 1) ? 0 : 4)) & 15].data(), 4);
      }
      return;
    case 8:
      for (int64_t x = 0; x < width; ++x, out += 4) std::memcpy(out, palette[in[x]].data(), 4);
      return;
    case 24:
      for (int64_t x = 0; x < width; ++x, in += 3, out += 4) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = 255;
      }
      return;
    default:
      break;
  }
  if (layout.bits == 32 && layout.masks[0] == 0xFF0000 && layout.masks[1] == 0xFF00 && layout.masks[2] == 0xFF) {
    for (int64_t x = 0; x < width; ++x, in += 4, out += 4) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      out[3] = 255;
    }
    return;
  }
  const Channel red(layout.masks[0]), green(layout.masks[1]), blue(layout.masks[2]);
  const int bytes = static_cast<int>(layout.bits / 8);
  for (int64_t x = 0; x < width; ++x, in += bytes, out += 4) {
    const uint32_t pixel = bytes == 2 ? Read16(in) : Read32(in);
    out[0] = red.Of(pixel);
    out[1] = green.Of(pixel);
    out[2] = blue.Of(pixel);
    out[3] = 255;
  }
}

// Rows are padded to 4 bytes.
uint64_t RowStride(const Layout& layout) { return (static_cast<uint64_t>(layout.width) * layout.bits + 31) / 32 * 4; }

// The last row need not carry its padding.
bool RowsFit(size_t size, const Layout& layout) {
  const uint64_t lastRow = (static_cast<uint64_t>(layout.width) * layout.bits + 7) / 8;
  return layout.pixels + RowStride(layout) * static_cast<uint64_t>(layout.height - 1) + lastRow <= size;
}

void DecodeRows(const uint8_t* data, const Layout& layout, const std::array<Rgba, 256>& palette, Picture* picture) {
  const uint64_t stride = RowStride(layout);
  const size_t outStride = static_cast<size_t>(layout.width) * 4;
  for (int64_t row = 0; row < layout.height; ++row) {
    const int64_t shown = layout.topDown ? row : layout.height - 1 - row;
    DecodeRow(layout, palette, data + layout.pixels + row * stride, picture->rgba.data() + shown * outStride);
  }
}

// [SECTION] RLE8 and RLE4 streams
//
// A stream of byte pairs: (n > 0, v) repeats v (RLE4: its two nibbles in turn) n times; (0, 0) ends
// the line, (0, 1) ends the picture, (0, 2, dx, dy) moves right and up, and (0, n >= 3) is followed by
// n literal indices (RLE4: packed two to a byte), padded to a 16-bit boundary. Pixels that a stream
// skips stay black. Runs, literals and moves are clipped at the picture's edges, never wrapped to
// the next line. A stream that stops between two commands keeps what it drew; one cut inside a
// command is a truncated file.
bool DecodeRle(const uint8_t* data, size_t size, const Layout& layout, const std::array<Rgba, 256>& palette,
               Picture* picture, std::string* error) {
  const bool nibbles = layout.compression == kCompressionRle4;
  const uint8_t* stream = data + layout.pixels;
  const size_t length = size - layout.pixels;
  const size_t outStride = static_cast<size_t>(layout.width) * 4;
  int64_t x = 0;
  int64_t line = 0;  // in storage order
  size_t at = 0;
  auto rowOut = [&]() {
    const int64_t shown = layout.topDown ? line : layout.height - 1 - line;
    return picture->rgba.data() + shown * outStride;
  };
  const std::string truncated = "BMP pixel array past the end of the file";
  while (line < layout.height && at < length) {
    if (length - at < 2) return Fail(error, truncated);
    const uint8_t count = stream[at];
    const uint8_t value = stream[at + 1];
    at += 2;
    if (count > 0) {
      const int64_t shown = std::min<int64_t>(count, layout.width - std::min(x, layout.width));
      uint8_t* out = shown > 0 ? rowOut() + x * 4 : nullptr;
      for (int64_t i = 0; i < shown; ++i, out += 4) {
        const uint8_t index = nibbles ? ((i & 1) ? value & 15 : value >> 4) : value;
        std::memcpy(out, palette[index].data(), 4);
      }
      x += count;
    } else if (value == 0) {
      x = 0;
      ++line;
    } else if (value == 1) {
      break;
    } else if (value == 2) {
      if (length - at < 2) return Fail(error, truncated);
      x += stream[at];
      line += stream[at + 1];
      at += 2;
    } else {
      const size_t bytes = nibbles ? (value + 1u) / 2 : value;
      if (length - at < bytes) return Fail(error, truncated);
      const int64_t shown = std::min<int64_t>(value, layout.width - std::min(x, layout.width));
      uint8_t* out = shown > 0 ? rowOut() + x * 4 : nullptr;
      for (int64_t i = 0; i < shown; ++i, out += 4) {
        const uint8_t packed = stream[at + (nibbles ? i / 2 : i)];
        const uint8_t index = nibbles ? ((i & 1) ? packed & 15 : packed >> 4) : packed;
        std::memcpy(out, palette[index].data(), 4);
      }
      x += value;
      at += std::min(length - at, bytes + (bytes & 1));  // a missing last padding byte is harmless
    }
  }
  return true;
}

}  // namespace

// [SECTION] DecodeBmp and TextureCache

bool DecodeBmp(std::string_view bytes, Picture* picture, std::string* error) {
  *picture = Picture{};
  error->clear();
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  Layout layout;
  std::array<Rgba, 256> palette;
  if (!ReadLayout(data, bytes.size(), &layout, &palette, error)) return false;
  Picture decoded;
  decoded.width = static_cast<int32_t>(layout.width);
  decoded.height = static_cast<int32_t>(layout.height);
  const size_t pixelCount = static_cast<size_t>(layout.width * layout.height);
  const bool rle = layout.compression == kCompressionRle8 || layout.compression == kCompressionRle4;
  if (rle) {
    decoded.rgba.resize(pixelCount * 4);
    for (size_t i = 0; i < pixelCount; ++i) std::memcpy(decoded.rgba.data() + i * 4, kBlack.data(), 4);
    if (!DecodeRle(data, bytes.size(), layout, palette, &decoded, error)) return false;
  } else {
    // Checked before the allocation: a header alone must not cost a gigabyte.
    if (!RowsFit(bytes.size(), layout)) return Fail(error, "BMP pixel array past the end of the file");
    decoded.rgba.resize(pixelCount * 4);
    DecodeRows(data, layout, palette, &decoded);
  }
  *picture = std::move(decoded);
  return true;
}

const TextureCache::Entry* TextureCache::Load(const std::string& path) {
  const auto found = entries_.find(path);
  if (found != entries_.end()) return found->second.get();
  auto entry = std::make_unique<Entry>();
  std::string bytes;
  std::string error;
  // The game builder stores a finished game's textures scrambled: a file that is no BMP as it
  // stands is read once more through the unscrambling.
  const auto decode = [&] {
    if (DecodeBmp(bytes, &entry->picture, &error)) return true;
    if (bytes.rfind("BM", 0) == 0) return false;
    model::UnscrambleBytes(&bytes);
    return DecodeBmp(bytes, &entry->picture, &error);
  };
  if (!core::ReadFile(path, &bytes) || !decode()) {
    entry->errorPicture = true;
    if (!core::ReadFile(errorPicturePath_, &bytes) || !DecodeBmp(bytes, &entry->picture, &error)) {
      entry->picture.width = entry->picture.height = 1;
      entry->picture.rgba = {255, 0, 255, 255};
    }
  }
  const Entry* result = entry.get();
  entries_.emplace(path, std::move(entry));
  return result;
}

}  // namespace engine
