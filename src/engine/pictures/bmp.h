// BMP pictures: our own reader, and the textures of a play loaded once per path. Calls core.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// A decoded picture: `width` x `height` pixels, 4 bytes each (r, g, b, a = 255), the top row first.
struct Picture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgba;

  const uint8_t* Pixel(int32_t x, int32_t y) const { return rgba.data() + (static_cast<size_t>(y) * width + x) * 4; }
};

// Decodes a BMP held in memory: the 40-byte header and its longer versions; 1-, 4-, 8-bit (short
// palettes too), 16-bit (5-5-5 and bit fields), 24- and 32-bit (plain or bit fields); RLE8 and RLE4;
// bottom-up and top-down. Channels narrower than 8 bits are stretched to 0..255; alpha is ignored.
// False with the reason, and `picture` empty, for anything else: a side not in 1..16384, an unknown
// compression or one that does not fit the depth, a palette or pixel array past the end of the
// file. Palette indices beyond the palette are black; RLE runs stop at the edges, pixels a stream
// skips are black, and a stream that ends between two commands keeps what it drew.
bool DecodeBmp(std::string_view bytes, Picture* picture, std::string* error);

// The textures of one play: each normalised path is read once; a file that cannot be read or
// decoded is replaced by the error picture (data/error.bmp of the data folder; a 1 x 1 magenta
// picture when even that fails).
class TextureCache {
 public:
  explicit TextureCache(std::string errorPicturePath) : errorPicturePath_(std::move(errorPicturePath)) {}
  struct Entry {
    Picture picture;
    bool errorPicture = false;  // the file could not be used
  };
  // The texture of `path` (absolute and normalised); never null, valid until Clear.
  const Entry* Load(const std::string& path);
  size_t Size() const { return entries_.size(); }
  void Clear() { entries_.clear(); }

 private:
  std::string errorPicturePath_;
  std::map<std::string, std::unique_ptr<Entry>, std::less<>> entries_;
};

}  // namespace engine
