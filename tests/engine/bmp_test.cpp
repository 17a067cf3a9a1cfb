// The BMP reader against pictures encoded here at every depth and compression, its refusals and
// clipping, pictures made by other programs, and the texture cache on top of it.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/core.h"
#include "engine/pictures/bmp.h"
#include "model/model.h"
#include "support/temp_folder.h"

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

using Rgb = std::array<uint8_t, 3>;

constexpr Rgb K{0, 0, 0}, W{255, 255, 255}, R{255, 0, 0}, G{0, 255, 0}, B{0, 0, 255}, C{0, 255, 255},
    M{255, 0, 255}, Y{255, 255, 0};

// A small picture, top row first. Channels are 0 or 255 so that every depth holds it exactly; its
// odd width pads the rows of every depth below 32 bits, and its runs suit both RLE modes.
struct Reference {
  int width = 9;
  int height = 3;
  std::vector<Rgb> pixels = {R, R, R, R, G, B, W, K, K,  //
                             W, K, C, M, Y, Y, Y, R, G,  //
                             Y, Y, B, B, B, B, B, C, M};
  const Rgb& At(int x, int y) const { return pixels[y * width + x]; }
};

// The palette order of the indexed encodings.
const std::vector<Rgb> kPalette = {K, W, R, G, B, C, M, Y};

int IndexOf(const Rgb& colour) {
  for (size_t i = 0; i < kPalette.size(); ++i) {
    if (kPalette[i] == colour) return static_cast<int>(i);
  }
  return 0;
}

void Put16(std::string* out, uint32_t value) {
  out->push_back(static_cast<char>(value & 0xFF));
  out->push_back(static_cast<char>((value >> 8) & 0xFF));
}
void Put32(std::string* out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// What goes into a file's headers; the pixel array comes separately.
struct Head {
  int32_t width = 9;
  int32_t height = 3;  // negative: top-down
  uint16_t bits = 24;
  uint32_t compression = 0;
  uint32_t headerSize = 40;
  uint32_t colorsUsed = 0;
  std::vector<Rgb> palette = {};
  std::vector<uint32_t> masks = {};  // after a 40-byte header, or inside a longer one
};

std::string Encode(const Head& head, const std::string& pixelArray) {
  std::string info;
  Put32(&info, head.headerSize);
  Put32(&info, static_cast<uint32_t>(head.width));
  Put32(&info, static_cast<uint32_t>(head.height));
  Put16(&info, 1);
  Put16(&info, head.bits);
  Put32(&info, head.compression);
  Put32(&info, static_cast<uint32_t>(pixelArray.size()));
  Put32(&info, 2835);
  Put32(&info, 2835);
  Put32(&info, head.colorsUsed);
  Put32(&info, 0);
  if (head.headerSize > 40) {
    for (uint32_t mask : head.masks) Put32(&info, mask);
    info.resize(head.headerSize, '\0');
  } else {
    for (uint32_t mask : head.masks) Put32(&info, mask);
  }
  for (const Rgb& colour : head.palette) info += {static_cast<char>(colour[2]), static_cast<char>(colour[1]),
                                                   static_cast<char>(colour[0]), 0};
  std::string file = "BM";
  Put32(&file, static_cast<uint32_t>(14 + info.size() + pixelArray.size()));
  Put32(&file, 0);
  Put32(&file, static_cast<uint32_t>(14 + info.size()));
  return file + info + pixelArray;
}

// The rows of the reference in storage order, each made by `row` and padded to 4 bytes.
template <typename RowFn>
std::string Rows(const Reference& picture, bool topDown, RowFn row) {
  std::string out;
  for (int i = 0; i < picture.height; ++i) {
    const int y = topDown ? i : picture.height - 1 - i;
    std::string bytes = row(y);
    bytes.resize((bytes.size() + 3) / 4 * 4, '\0');
    out += bytes;
  }
  return out;
}

std::string Indexed(const Reference& picture, int bits, bool topDown = false) {
  return Rows(picture, topDown, [&](int y) {
    std::string bytes((picture.width * bits + 7) / 8, '\0');
    for (int x = 0; x < picture.width; ++x) {
      const int bit = x * bits;
      bytes[bit / 8] = static_cast<char>(bytes[bit / 8] | IndexOf(picture.At(x, y)) << (8 - bits - bit % 8));
    }
    return bytes;
  });
}

// Each channel cut to its mask's width and put in its place.
std::string Masked(const Reference& picture, int bytesPerPixel, const std::array<uint32_t, 3>& masks) {
  return Rows(picture, false, [&](int y) {
    std::string bytes;
    for (int x = 0; x < picture.width; ++x) {
      uint32_t value = 0;
      for (int c = 0; c < 3; ++c) {
        int shift = 0, width = 0;
        while (((masks[c] >> shift) & 1) == 0) ++shift;
        while ((masks[c] >> (shift + width)) & 1) ++width;
        value |= static_cast<uint32_t>(picture.At(x, y)[c] >> (8 - width)) << shift;
      }
      for (int i = 0; i < bytesPerPixel; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
    return bytes;
  });
}

std::string Bgr(const Reference& picture, bool topDown, int bytesPerPixel) {
  return Rows(picture, topDown, [&](int y) {
    std::string bytes;
    for (int x = 0; x < picture.width; ++x) {
      const Rgb& p = picture.At(x, y);
      bytes += {static_cast<char>(p[2]), static_cast<char>(p[1]), static_cast<char>(p[0])};
      if (bytesPerPixel == 4) bytes.push_back('\0');
    }
    return bytes;
  });
}

// Runs of two or more equal indices as runs; the rest as literals (three or more) or runs of one,
// literals padded to 16 bits. RLE4 packs a literal two indices to a byte and repeats a run's one
// index in both nibbles.
std::string Rle(const Reference& picture, bool nibbles) {
  std::string out;
  auto literal = [&](const std::vector<int>& indices) {
    if (indices.size() < 3) {
      for (int index : indices) out += {1, static_cast<char>(nibbles ? index * 17 : index)};
      return;
    }
    out += {0, static_cast<char>(indices.size())};
    std::string bytes;
    for (size_t i = 0; i < indices.size(); ++i) {
      if (!nibbles) bytes.push_back(static_cast<char>(indices[i]));
      else if (i % 2 == 0) bytes.push_back(static_cast<char>(indices[i] << 4));
      else bytes.back() = static_cast<char>(bytes.back() | indices[i]);
    }
    if (bytes.size() % 2) bytes.push_back('\0');
    out += bytes;
  };
  for (int y = picture.height - 1; y >= 0; --y) {
    std::vector<int> pending;
    int x = 0;
    while (x < picture.width) {
      int run = 1;
      while (x + run < picture.width && picture.At(x + run, y) == picture.At(x, y)) ++run;
      if (run >= 2) {
        literal(pending);
        pending.clear();
        const int index = IndexOf(picture.At(x, y));
        out += {static_cast<char>(run), static_cast<char>(nibbles ? index * 17 : index)};
      } else {
        pending.push_back(IndexOf(picture.At(x, y)));
      }
      x += run;
    }
    literal(pending);
    out += {0, 0};
  }
  out += {0, 1};
  return out;
}

std::vector<uint8_t> Rgba(const Reference& picture) {
  std::vector<uint8_t> out;
  for (const Rgb& p : picture.pixels) out.insert(out.end(), {p[0], p[1], p[2], 255});
  return out;
}

engine::Picture Decoded(const std::string& file) {
  engine::Picture picture;
  std::string error;
  EXPECT_TRUE(engine::DecodeBmp(file, &picture, &error)) << error;
  return picture;
}

struct Variant {
  std::string name;
  std::string file;
};

TEST(DecodeBmp, EveryDepthAndCompressionOfOnePictureDecodesToTheSamePixels) {
  const Reference picture;
  const std::vector<uint32_t> mask555 = {0x7C00, 0x03E0, 0x001F}, mask565 = {0xF800, 0x07E0, 0x001F};
  const std::vector<uint32_t> maskBgr = {0x0000FF, 0x00FF00, 0xFF0000};  // red in the lowest byte
  Head fourBit{.bits = 4, .colorsUsed = 8, .palette = kPalette};
  Head fourBitUncounted{.bits = 4, .colorsUsed = 0, .palette = kPalette};  // short, yet the count says full
  Head eightBit{.bits = 8, .colorsUsed = 8, .palette = kPalette};
  Head topDownEight = eightBit;
  topDownEight.height = -3;
  const std::vector<Variant> variants = {
      {"4-bit, short palette", Encode(fourBit, Indexed(picture, 4))},
      {"4-bit, short palette with a count of 0", Encode(fourBitUncounted, Indexed(picture, 4))},
      {"8-bit, short palette", Encode(eightBit, Indexed(picture, 8))},
      {"8-bit top-down", Encode(topDownEight, Indexed(picture, 8, true))},
      {"16-bit 5-5-5", Encode(Head{.bits = 16}, Masked(picture, 2, {0x7C00, 0x03E0, 0x001F}))},
      {"16-bit 5-5-5 bit fields", Encode(Head{.bits = 16, .compression = 3, .masks = mask555},
                                         Masked(picture, 2, {0x7C00, 0x03E0, 0x001F}))},
      {"16-bit 5-6-5 bit fields", Encode(Head{.bits = 16, .compression = 3, .masks = mask565},
                                         Masked(picture, 2, {0xF800, 0x07E0, 0x001F}))},
      {"16-bit 5-6-5 in a 108-byte header", Encode(Head{.bits = 16, .compression = 3, .headerSize = 108, .masks = mask565},
                                                   Masked(picture, 2, {0xF800, 0x07E0, 0x001F}))},
      {"24-bit, padded rows", Encode(Head{.bits = 24}, Bgr(picture, false, 3))},
      {"24-bit in a 124-byte header", Encode(Head{.bits = 24, .headerSize = 124}, Bgr(picture, false, 3))},
      {"24-bit top-down", Encode(Head{.height = -3, .bits = 24}, Bgr(picture, true, 3))},
      {"32-bit", Encode(Head{.bits = 32}, Bgr(picture, false, 4))},
      {"32-bit bit fields, red lowest", Encode(Head{.bits = 32, .compression = 3, .masks = maskBgr},
                                               Masked(picture, 4, {0x0000FF, 0x00FF00, 0xFF0000}))},
      {"32-bit alpha bit fields", Encode(Head{.bits = 32, .compression = 6, .masks = {0xFF0000, 0xFF00, 0xFF, 0}},
                                         Bgr(picture, false, 4))},
      {"RLE8", Encode(Head{.bits = 8, .compression = 1, .colorsUsed = 8, .palette = kPalette}, Rle(picture, false))},
      {"RLE4", Encode(Head{.bits = 4, .compression = 2, .colorsUsed = 8, .palette = kPalette}, Rle(picture, true))},
  };
  for (const Variant& variant : variants) {
    SCOPED_TRACE(variant.name);
    const engine::Picture decoded = Decoded(variant.file);
    EXPECT_EQ(decoded.width, 9);
    EXPECT_EQ(decoded.height, 3);
    EXPECT_EQ(decoded.rgba, Rgba(picture));
  }

  // One bit holds two colours: the picture's red pixels against the rest, over several bytes a row.
  Reference twoColour;
  twoColour.width = 19;
  twoColour.pixels.clear();
  for (int i = 0; i < 19 * 3; ++i) twoColour.pixels.push_back(i % 3 == 0 || i % 7 == 0 ? W : K);
  const engine::Picture oneBit = Decoded(Encode(Head{.width = 19, .bits = 1, .palette = {K, W}}, Indexed(twoColour, 1)));
  EXPECT_EQ(oneBit.rgba, Rgba(twoColour));
}

TEST(DecodeBmp, FewerThanEightBitsPerChannelStretchToTheFullRange) {
  // Red 16 of 31, green 32 of 63, blue 31 of 31; then every channel 1.
  std::string pixels;
  Put16(&pixels, 16u << 11 | 32u << 5 | 31u);
  Put16(&pixels, 1u << 11 | 1u << 5 | 1u);
  const engine::Picture picture =
      Decoded(Encode(Head{.width = 2, .height = 1, .bits = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F}},
                     pixels));
  ASSERT_EQ(picture.rgba.size(), 8u);
  EXPECT_EQ(std::vector<uint8_t>(picture.rgba.begin(), picture.rgba.begin() + 4), (std::vector<uint8_t>{132, 130, 255, 255}));
  EXPECT_EQ(std::vector<uint8_t>(picture.rgba.begin() + 4, picture.rgba.end()), (std::vector<uint8_t>{8, 4, 8, 255}));
}

TEST(DecodeBmp, RefusesWhatItCannotReadAndLeavesThePictureEmpty) {
  const Reference picture;
  const std::string good = Encode(Head{.bits = 24}, Bgr(picture, false, 3));
  const std::string goodIndexed = Encode(Head{.bits = 8, .colorsUsed = 8, .palette = kPalette}, Indexed(picture, 8));
  auto with32 = [](std::string file, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return file;
  };
  auto with16 = [](std::string file, size_t at, uint16_t value) {
    file[at] = static_cast<char>(value & 0xFF);
    file[at + 1] = static_cast<char>(value >> 8);
    return file;
  };
  const std::vector<Variant> refused = {
      {"empty", ""},
      {"not BM", "XY" + good.substr(2)},
      {"12-byte header", with32(good, 14, 12)},
      {"header past the end", good.substr(0, 40)},
      {"width 0", with32(good, 18, 0)},
      {"negative width", with32(good, 18, static_cast<uint32_t>(-9))},
      {"width 16385", with32(good, 18, 16385)},
      {"height 0", with32(good, 22, 0)},
      {"height -16385", with32(good, 22, static_cast<uint32_t>(-16385))},
      {"most negative height", with32(good, 22, 0x80000000u)},
      {"2-bit pixels", with16(good, 28, 2)},
      {"64-bit pixels", with16(good, 28, 64)},
      {"JPEG compression", with32(good, 30, 4)},
      {"PNG compression", with32(good, 30, 5)},
      {"compression 7", with32(good, 30, 7)},
      {"RLE8 on 24-bit pixels", with32(good, 30, 1)},
      {"RLE4 on 8-bit pixels", with32(goodIndexed, 30, 2)},
      {"bit fields on 24-bit pixels", with32(good, 30, 3)},
      {"bit fields past the end", Encode(Head{.bits = 32, .compression = 3}, "")},
      {"pixel array one byte short", good.substr(0, good.size() - 2)},  // the last row keeps no padding
      {"pixel offset past the end", with32(good, 10, static_cast<uint32_t>(good.size()))},
      {"pixel offset inside the headers", with32(good, 10, 40)},
      {"palette past the end", goodIndexed.substr(0, 54 + 12)},
      {"RLE8 cut inside a literal", Encode(Head{.bits = 8, .compression = 1, .palette = kPalette}, std::string{0, 5, 1, 2})},
      {"RLE8 cut inside a delta", Encode(Head{.bits = 8, .compression = 1, .palette = kPalette}, std::string{0, 2, 1})},
      {"RLE4 cut inside a pair", Encode(Head{.bits = 4, .compression = 2, .palette = kPalette}, std::string{2, 0x11, 3})},
  };
  for (const Variant& variant : refused) {
    SCOPED_TRACE(variant.name);
    engine::Picture decoded = Decoded(good);  // a failure must not leave the last picture behind
    std::string error;
    EXPECT_FALSE(engine::DecodeBmp(variant.file, &decoded, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(decoded.width, 0);
    EXPECT_EQ(decoded.height, 0);
    EXPECT_TRUE(decoded.rgba.empty());
  }

  // Just inside each limit.
  EXPECT_EQ(Decoded(good.substr(0, good.size() - 1)).rgba, Rgba(picture));
  const engine::Picture wide = Decoded(Encode(Head{.width = 16384, .height = -1, .bits = 8, .palette = {W}},
                                              std::string(16384, '\0')));
  EXPECT_EQ(wide.width, 16384);
}

TEST(DecodeBmp, IndicesBeyondThePaletteAreBlack) {
  const Head twoColours{.width = 4, .height = 1, .bits = 8, .colorsUsed = 2, .palette = {R, G}};
  const std::vector<uint8_t> expected = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
  EXPECT_EQ(Decoded(Encode(twoColours, std::string{0, 1, 2, static_cast<char>(255)})).rgba, expected);
  Head rle = twoColours;
  rle.compression = 1;
  EXPECT_EQ(Decoded(Encode(rle, std::string{1, 0, 1, 1, 2, static_cast<char>(200), 0, 1})).rgba, expected);
  Head nibbles = twoColours;
  nibbles.bits = 4;
  EXPECT_EQ(Decoded(Encode(nibbles, std::string{0x01, 0x2F, 0, 0})).rgba, expected);
  // A count above the depth's palette size reads no more than that size, however much is stored.
  Head overlong{.width = 2, .height = 1, .bits = 8, .colorsUsed = 300, .palette = std::vector<Rgb>(300, B)};
  overlong.palette[255] = Y;
  EXPECT_EQ(Decoded(Encode(overlong, std::string{0, static_cast<char>(255), 0, 0})).rgba,
            (std::vector<uint8_t>{0, 0, 255, 255, 255, 255, 0, 255}));
}

// Pixels of a decoded picture, one letter each: palette K W R G B C M Y, '?' for anything else.
std::vector<std::string> Letters(const engine::Picture& picture) {
  std::vector<std::string> rows;
  for (int y = 0; y < picture.height; ++y) {
    std::string row;
    for (int x = 0; x < picture.width; ++x) {
      const uint8_t* p = picture.Pixel(x, y);
      const int index = IndexOf({p[0], p[1], p[2]});
      row.push_back(kPalette[index] == Rgb{p[0], p[1], p[2]} ? "KWRGBCMY"[index] : '?');
    }
    rows.push_back(row);
  }
  return rows;
}

TEST(DecodeBmp, RleStopsAtThePictureEdgesAndLeavesSkippedPixelsBlack) {
  // A 4 x 3 picture, stored bottom line first.
  const Head rle8{.width = 4, .height = 3, .bits = 8, .compression = 1, .colorsUsed = 8, .palette = kPalette};
  // Lines, literals and moves: a run of 200 fills its line only; a literal of five drops its fifth;
  // a delta moves along the top line, and what follows end of picture is ignored.
  const std::string basics = {static_cast<char>(200), 2, 0, 0,  // bottom: R x 200, end of line
                              0, 5, 3, 4, 5, 6, 7, 0, 0, 0,     // middle: literal G B C M Y, padded
                              0, 2, 1, 0, 2, 6,                 // top: move to x = 1, M M
                              0, 2, 10, 0, 2, 1,                // far right: W W, dropped
                              0, 1, 4, 1};                      // end of picture; then a stray run
  EXPECT_EQ(Letters(Decoded(Encode(rle8, basics))), (std::vector<std::string>{"KMMK", "GBCM", "RRRR"}));
  // A run past the right edge does not wrap onto the next line, and a delta up leaves the line it
  // skips black.
  const std::string edges = {0, 2, 1, 0, 5, 2,              // bottom: from x = 1, R x 5
                             0, 2, 0, 1, 2, 1, 0, 0,        // one line up, past the edge: W W; end of line
                             0, 5, 3, 4, 5, 6, 7, 0, 0, 1};  // top: literal G B C M Y
  EXPECT_EQ(Letters(Decoded(Encode(rle8, edges))), (std::vector<std::string>{"GBCM", "KKKK", "KRRR"}));

  // Lines past the top and moves far beyond every edge write nothing: the sanitizer build would
  // catch a write outside the picture.
  std::string beyond;
  for (int i = 0; i < 10; ++i) beyond += {0, 0};
  beyond += {static_cast<char>(255), 2, 0, 2, static_cast<char>(255), static_cast<char>(255), 0, 3, 1, 2, 3, 0};
  EXPECT_EQ(Letters(Decoded(Encode(rle8, beyond))), (std::vector<std::string>{"KKKK", "KKKK", "KKKK"}));
  std::string sideways = {0, 2, static_cast<char>(255), 0};
  for (int i = 0; i < 300; ++i) sideways += {static_cast<char>(255), 3, 0, 2, static_cast<char>(255), 0};
  EXPECT_EQ(Letters(Decoded(Encode(rle8, sideways))), (std::vector<std::string>{"KKKK", "KKKK", "KKKK"}));

  // RLE4: a run alternates its two nibbles and stops at the edge; an odd literal reads its last
  // nibble from the high half; a stream that ends between two commands keeps what it drew.
  const Head rle4{.width = 5, .height = -2, .bits = 4, .compression = 2, .colorsUsed = 8, .palette = kPalette};
  const std::string nibbles = {9, 0x23, 0, 0, 0, 3, 0x45, 0x60, 1, 0x70};
  EXPECT_EQ(Letters(Decoded(Encode(rle4, nibbles))), (std::vector<std::string>{"RGRGR", "BCMYK"}));
}

// Pictures made by other programs, in a Debian test-data package; checked against stb_image, an
// independent decoder.
TEST(DecodeBmp, PicturesMadeByOthersAgreeWithAnIndependentDecoder) {
  const std::vector<std::string> files = {"/usr/share/assimp/models/MD2/sydney.bmp",
                                          "/usr/share/assimp/models/MD2/faerie2.bmp",
                                          "/usr/share/assimp/models/LWO/LWO2/white.bmp"};
  if (!std::filesystem::exists(files[0])) GTEST_SKIP() << "assimp-testmodels is not installed";
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    std::string bytes;
    ASSERT_TRUE(core::ReadFile(path, &bytes));
    const engine::Picture picture = Decoded(bytes);
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()),
                                            static_cast<int>(bytes.size()), &width, &height, &channels, 4);
    ASSERT_NE(pixels, nullptr);
    const std::vector<uint8_t> theirs(pixels, pixels + static_cast<size_t>(width) * height * 4);
    stbi_image_free(pixels);
    EXPECT_EQ(picture.width, width);
    EXPECT_EQ(picture.height, height);
    EXPECT_TRUE(picture.rgba == theirs);
  }
}

class TextureCacheTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder_.ok()) << folder_.error(); }
  std::string Write(const std::string& name, const std::string& bytes) {
    EXPECT_TRUE(core::WriteFileAtomic(folder_ / name, bytes));
    return folder_ / name;
  }
  static std::string OnePixel(const Rgb& colour) {
    return Encode(Head{.width = 1, .height = 1, .bits = 24},
                  std::string{static_cast<char>(colour[2]), static_cast<char>(colour[1]), static_cast<char>(colour[0]), 0});
  }
  static std::vector<uint8_t> Pixels(const Rgb& colour) { return {colour[0], colour[1], colour[2], 255}; }
  testing_support::TempFolder folder_{"vexel-bmp"};
};

TEST_F(TextureCacheTest, EachPathIsReadOnceUntilCleared) {
  const std::string path = Write("t.bmp", OnePixel(G));
  engine::TextureCache cache(folder_ / "error.bmp");
  const engine::TextureCache::Entry* first = cache.Load(path);
  EXPECT_FALSE(first->errorPicture);
  EXPECT_EQ(first->picture.rgba, Pixels(G));
  Write("t.bmp", OnePixel(B));
  EXPECT_EQ(cache.Load(path), first);
  EXPECT_EQ(first->picture.rgba, Pixels(G));
  EXPECT_EQ(cache.Size(), 1u);
  cache.Clear();
  EXPECT_EQ(cache.Size(), 0u);
  EXPECT_EQ(cache.Load(path)->picture.rgba, Pixels(B));
}

// A built game stores its textures scrambled; a plain one still reads as it is.
TEST_F(TextureCacheTest, ScrambledTexturesOfABuiltGameAreReadThroughTheUnscrambling) {
  std::string scrambled = OnePixel(G);
  model::ScrambleBytes(&scrambled);
  ASSERT_NE(scrambled.substr(0, 2), "BM");
  engine::TextureCache cache(Write("error.bmp", OnePixel(Y)));
  const engine::TextureCache::Entry* entry = cache.Load(Write("scrambled.bmp", scrambled));
  EXPECT_FALSE(entry->errorPicture);
  EXPECT_EQ(entry->picture.rgba, Pixels(G));
  EXPECT_EQ(cache.Load(Write("plain.bmp", OnePixel(B)))->picture.rgba, Pixels(B));
  // A file that is a broken BMP as it stands is not tried the other way.
  std::string broken = "BM not a picture";
  EXPECT_TRUE(cache.Load(Write("broken.bmp", broken))->errorPicture);
}

TEST_F(TextureCacheTest, UnusableFilesGetTheErrorPictureAndWithoutItOneMagentaPixel) {
  const std::string errorPicture = Write("error.bmp", OnePixel(Y));
  const std::string broken = Write("broken.bmp", "BM not a picture");
  engine::TextureCache cache(errorPicture);
  for (const std::string& path : {folder_ / "missing.bmp", broken}) {
    SCOPED_TRACE(path);
    const engine::TextureCache::Entry* entry = cache.Load(path);
    EXPECT_TRUE(entry->errorPicture);
    EXPECT_EQ(entry->picture.rgba, Pixels(Y));
    EXPECT_EQ(cache.Load(path), entry);
  }
  EXPECT_EQ(cache.Size(), 2u);

  for (const std::string& unusable : {folder_ / "no-error.bmp", broken}) {
    engine::TextureCache bare(unusable);
    const engine::TextureCache::Entry* entry = bare.Load(folder_ / "missing.bmp");
    EXPECT_TRUE(entry->errorPicture);
    EXPECT_EQ(entry->picture.width, 1);
    EXPECT_EQ(entry->picture.height, 1);
    EXPECT_EQ(entry->picture.rgba, Pixels(M));
  }
}

}  // namespace
