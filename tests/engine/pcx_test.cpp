// The PCX reader against streams built here (odd widths, runs across rows and past the end,
// streams that stop early, refused headers), the placeholder pictures of the data tool, and the
// colour tables made from a palette.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "engine/engine.h"
#include "mkdata/mkdata.h"
#include "support/pcx_bytes.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace {

using testing_support::PcxFile;
using testing_support::PcxHeader;
using testing_support::PcxWithStream;
using testing_support::RampPalette;

std::string Repeat(int count, uint8_t value) { return {static_cast<char>(0xC0 | count), static_cast<char>(value)}; }

void ExpectDefaultPicture(const engine::PcxPicture& picture) {
  EXPECT_EQ(picture.width, 1);
  EXPECT_EQ(picture.height, 1);
  EXPECT_EQ(picture.pixels, std::vector<uint8_t>{0});
  EXPECT_EQ(picture.palette, engine::PcxPicture{}.palette);
}

TEST(Pcx, OddWidthsKeepEveryPixelAndDropThePadByte) {
  // Values of 192 and more are coded as runs of one; the pad byte is neither 0 nor any pixel.
  for (const int width : {1, 3, 5, 8}) {
    const int height = 3;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 37 + 190);
    engine::PcxPicture picture;
    ASSERT_TRUE(engine::DecodePcx(PcxFile(width, height, pixels, 0xEE), &picture)) << width;
    EXPECT_EQ(picture.width, width);
    EXPECT_EQ(picture.height, height);
    EXPECT_EQ(picture.pixels, pixels) << width;
  }
}

TEST(Pcx, TheCornersGiveTheSizeAndTheLastBytesThePalette) {
  // Corners away from the origin; junk between the stream and the palette is not the palette.
  std::string file = PcxHeader(10, 20, 12, 21) + Repeat(4, 7) + Repeat(4, 8) + "junk";
  testing_support::PcxPalette palette = RampPalette();
  palette[0] = 99;
  palette[767] = 42;
  file.append(reinterpret_cast<const char*>(palette.data()), palette.size());
  engine::PcxPicture picture;
  ASSERT_TRUE(engine::DecodePcx(file, &picture));
  EXPECT_EQ(picture.width, 3);
  EXPECT_EQ(picture.height, 2);
  EXPECT_EQ(picture.pixels, (std::vector<uint8_t>{7, 7, 7, 8, 8, 8}));
  EXPECT_EQ(picture.palette, palette);
}

TEST(Pcx, RunsCrossRowsAndStopAtThePicturesEnd) {
  engine::PcxPicture picture;
  // Width 3 is decoded 4 bytes a row: a run of 6 fills row 0 and its pad, then 2 of row 1.
  ASSERT_TRUE(engine::DecodePcx(PcxWithStream(3, 2, Repeat(6, 5) + Repeat(2, 6)), &picture));
  EXPECT_EQ(picture.pixels, (std::vector<uint8_t>{5, 5, 5, 5, 5, 6}));

  // A run far longer than the picture fills it and nothing more: the palette is still read whole.
  ASSERT_TRUE(engine::DecodePcx(PcxWithStream(3, 1, Repeat(63, 9) + Repeat(63, 9)), &picture));
  EXPECT_EQ(picture.pixels, (std::vector<uint8_t>{9, 9, 9}));
  EXPECT_EQ(picture.palette, RampPalette());

  // A zero-length run writes nothing.
  ASSERT_TRUE(engine::DecodePcx(PcxWithStream(2, 1, Repeat(0, 4) + "\x01\x02"), &picture));
  EXPECT_EQ(picture.pixels, (std::vector<uint8_t>{1, 2}));
}

TEST(Pcx, AStreamThatEndsEarlyKeepsWhatItDecoded) {
  // Everything before the last 768 bytes is pixel data, so a palette marker is a pixel here.
  engine::PcxPicture picture;
  ASSERT_TRUE(engine::DecodePcx(PcxWithStream(4, 2, "\x01\x02\x03"), &picture));
  EXPECT_EQ(picture.pixels, (std::vector<uint8_t>{1, 2, 3, 0x0C, 0, 0, 0, 0}));
  // A run count whose value would be the palette marker: the palette is not pixel data.
  std::string file = PcxHeader(0, 0, 1, 0) + "\x05\xC2";
  file.append(768, '\x11');
  ASSERT_TRUE(engine::DecodePcx(file, &picture));
  EXPECT_EQ(picture.pixels, (std::vector<uint8_t>{5, 0}));
  // No pixel data at all: header and palette only.
  file = PcxHeader(0, 0, 1, 1) + std::string(768, '\x22');
  ASSERT_TRUE(engine::DecodePcx(file, &picture));
  EXPECT_EQ(picture.pixels, std::vector<uint8_t>(4, 0));
  EXPECT_EQ(picture.palette[0], 0x22);
}

TEST(Pcx, UnreadableFilesGiveTheOnePixelPicture) {
  const std::string good = PcxFile(2, 2, {1, 2, 3, 4});
  engine::PcxPicture picture;
  ASSERT_TRUE(engine::DecodePcx(good, &picture));

  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string notTen = good;
  notTen[0] = 11;
  const std::string stream = Repeat(63, 1);
  const Case cases[] = {
      {"empty", ""},
      {"shorter than header and palette", good.substr(0, 128 + 767)},
      {"not starting with 10", notTen},
      {"xmax below xmin", PcxHeader(5, 0, 4, 0) + stream + std::string(768, '\x01')},
      {"ymax below ymin", PcxHeader(0, 5, 0, 4) + stream + std::string(768, '\x01')},
      {"width 4097", PcxHeader(0, 0, 4096, 0) + stream + std::string(768, '\x01')},
      {"height 4097", PcxHeader(100, 100, 100, 4196) + stream + std::string(768, '\x01')},
  };
  for (const Case& c : cases) {
    picture.width = 9;
    EXPECT_FALSE(engine::DecodePcx(c.bytes, &picture)) << c.what;
    ExpectDefaultPicture(picture);
  }

  // The largest sides are still read.
  ASSERT_TRUE(engine::DecodePcx(PcxHeader(0, 0, 4095, 0) + stream + std::string(768, '\x01'), &picture));
  EXPECT_EQ(picture.width, 4096);
  EXPECT_EQ(picture.pixels.size(), 4096u);
  EXPECT_EQ(picture.pixels[62], 1);
  EXPECT_EQ(picture.pixels[63], 0);
}

TEST(Pcx, ReadsFilesAndFallsBackForMissingOnes) {
  testing_support::TempFolder folder;
  ASSERT_TRUE(testing_support::WriteText(folder / "p.pcx", PcxFile(3, 1, {4, 5, 6})));
  const engine::PcxPicture picture = engine::ReadPcx(folder / "p.pcx");
  EXPECT_EQ(picture.pixels, (std::vector<uint8_t>{4, 5, 6}));
  ExpectDefaultPicture(engine::ReadPcx(folder / "missing.pcx"));
}

TEST(Pcx, ThePlaceholderPicturesDecodeToTheirSizeAndColour) {
  for (const auto& [width, height, colour] :
       {std::tuple{8, 8, 0}, {7, 5, 42}, {640, 480, 0}, {1, 1, 255}, {33, 2, 200}}) {
    const std::vector<uint8_t> bytes = mkdata::PcxPicture(width, height, static_cast<uint8_t>(colour));
    engine::PcxPicture picture;
    ASSERT_TRUE(engine::DecodePcx(std::string(bytes.begin(), bytes.end()), &picture)) << width << "x" << height;
    EXPECT_EQ(picture.width, width);
    EXPECT_EQ(picture.height, height);
    EXPECT_EQ(picture.pixels, std::vector<uint8_t>(static_cast<size_t>(width) * height, static_cast<uint8_t>(colour)));
    // The placeholders' palette: a 6 x 6 x 6 cube, index r * 36 + g * 6 + b.
    EXPECT_EQ(picture.palette[42 * 3], 51);
    EXPECT_EQ(picture.palette[42 * 3 + 1], 51);
    EXPECT_EQ(picture.palette[42 * 3 + 2], 0);
  }
}

TEST(ColourTables, FlatShapeColoursWithAndWithoutColourKey) {
  testing_support::PcxPalette palette{};
  auto set = [&](int i, uint8_t r, uint8_t g, uint8_t b) {
    palette[i * 3] = r;
    palette[i * 3 + 1] = g;
    palette[i * 3 + 2] = b;
  };
  set(0, 0, 0, 0);
  set(1, 7, 7, 7);  // masks to black
  set(2, 255, 255, 255);
  set(3, 0x8F, 0x41, 0x0C);
  set(4, 8, 0, 0);
  uint32_t keyed[256], shaded[256];
  engine::FlatShapeTable(palette.data(), true, keyed);
  engine::FlatShapeTable(palette.data(), false, shaded);

  EXPECT_EQ(keyed[0], 0x00000000u);
  EXPECT_EQ(keyed[1], 0x00000000u);
  EXPECT_EQ(keyed[2], 0xFFF8F8F8u);
  EXPECT_EQ(keyed[3], 0xFF884008u);
  EXPECT_EQ(keyed[4], 0xFF080000u);

  EXPECT_EQ(shaded[0], 0x00000000u);
  EXPECT_EQ(shaded[1], 0x00000000u);
  EXPECT_EQ(shaded[2], 0xFFF8F8F8u);  // (248 * 3) * 45000 >> 16 = 510, capped
  const uint32_t alpha3 = (0x88u + 0x40u + 0x08u) * 45000u >> 16;
  EXPECT_EQ(alpha3, 142u);
  EXPECT_EQ(shaded[3], alpha3 << 24 | 0x884008u);
  EXPECT_EQ(shaded[4], 5u << 24 | 0x080000u);
}

TEST(ColourTables, WidenedPixelsReachFullIntensity) {
  engine::PixelFormat rgb565;
  engine::PixelFormat rgb555;
  rgb555.redShift = 10;
  EXPECT_EQ(engine::WidenPixel(0xFFFF, rgb565), 0xFFFFFFu);
  EXPECT_EQ(engine::WidenPixel(0x7FFF, rgb555), 0xFFFFFFu);
  EXPECT_EQ(engine::WidenPixel(0x03E0, rgb555), 0x00FF00u);
  // 5-6-5 (16, 32, 8) -> (132, 130, 66)
  EXPECT_EQ(engine::WidenPixel(16 << 11 | 32 << 5 | 8, rgb565), 0x848242u);
  // Every level is the nearest 8-bit one: copying the top bits down instead would give 5-bit 3 ->
  // 24 where 3 x 255 / 31 = 24.7 rounds to 25.
  for (uint32_t c = 0; c < 32; ++c) {
    EXPECT_EQ(engine::WidenPixel(static_cast<uint16_t>(c << 11 | c), rgb565) >> 16, (c * 255 * 2 + 31) / 62) << c;
  }
  for (uint32_t c = 0; c < 64; ++c) {
    EXPECT_EQ(engine::WidenPixel(static_cast<uint16_t>(c << 5), rgb565) >> 8, (c * 255 * 2 + 63) / 126) << c;
  }

  // A palette colour through the display table and back loses only the low bits.
  const testing_support::PcxPalette palette = RampPalette();
  uint16_t table[256];
  engine::BuildConversionTable(palette.data(), rgb565, table);
  for (int i = 0; i < 256; ++i) {
    const uint32_t wide = engine::WidenPixel(table[i], rgb565);
    EXPECT_EQ(wide >> 16 & 0xF8u, palette[i * 3] & 0xF8u);
    EXPECT_EQ(wide >> 8 & 0xFCu, palette[i * 3 + 1] & 0xFCu);
    EXPECT_EQ(wide & 0xF8u, palette[i * 3 + 2] & 0xF8u);
  }
}

}  // namespace
