// Prepared forms of flat pictures: flat-shape slots and decals, frames coded and drawn back on 16-
// and 32-bit surfaces (also from damaged slots), backgrounds, rectangle fills, and camera files.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/core.h"
#include "engine/engine.h"
#include "support/pcx_bytes.h"

namespace {

using testing_support::RampPalette;

engine::PcxPicture MakePicture(int width, int height, uint32_t seed = 1) {
  engine::PcxPicture picture;
  picture.width = width;
  picture.height = height;
  picture.pixels.resize(static_cast<size_t>(width) * height);
  // Long runs, pairs and noise, so that both kinds of coded run appear in every row.
  for (size_t i = 0; i < picture.pixels.size(); ++i) {
    seed = seed * 1103515245u + 12345u;
    const size_t x = i % width;
    picture.pixels[i] = x < 150 ? static_cast<uint8_t>(i / width) : x % 7 < 2 ? 77 : static_cast<uint8_t>(seed >> 16);
  }
  picture.palette = RampPalette();
  return picture;
}

struct Surface {
  Surface(int w, int h, int bits, int padding = 6) : width(w), height(h) {
    format.bitsPerPixel = bits;
    format.pitch = w * bits / 8 + padding;
    bytes.assign(static_cast<size_t>(format.pitch) * h, kUntouched);
  }
  uint32_t At(int x, int y) const {
    uint32_t value = 0;
    std::memcpy(
        &value,
        bytes.data() + static_cast<size_t>(y) * format.pitch + static_cast<size_t>(x) * (format.bitsPerPixel / 8),
        format.bitsPerPixel / 8);
    return value;
  }
  bool Untouched() const {
    for (uint8_t b : bytes)
      if (b != kUntouched) return false;
    return true;
  }
  static constexpr uint8_t kUntouched = 0xAB;
  int width;
  int height;
  engine::PixelFormat format;
  std::vector<uint8_t> bytes;
};

class Forms : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(arena.Create());
    memory.Reset(&arena);
  }
  const uint8_t* Data(int32_t address, uint32_t length) const {
    return arena.GuestToHostIn(core::Region::kAspectData, static_cast<uint32_t>(address), length);
  }
  // Checks every pixel of the surface: the picture's colour inside the drawn area, untouched
  // bytes elsewhere (the row padding included).
  void ExpectFrameDrawn(const engine::PcxPicture& picture, const engine::PixelFormat& tableFormat,
                        const Surface& surface) {
    uint16_t table[256];
    engine::BuildConversionTable(picture.palette.data(), tableFormat, table);
    const int drawnWidth = std::min({picture.width, 640, surface.width});
    const int drawnHeight = std::min({picture.height, 480, surface.height});
    const int bytesPerPixel = surface.format.bitsPerPixel / 8;
    for (int y = 0; y < surface.height; ++y) {
      for (int x = 0; x < surface.width; ++x) {
        const uint32_t pixel = surface.At(x, y);
        if (x < drawnWidth && y < drawnHeight) {
          const uint16_t narrow = table[picture.At(x, y)];
          const uint32_t expected = bytesPerPixel == 4 ? engine::WidenPixel(narrow, surface.format) : narrow;
          ASSERT_EQ(pixel, expected) << x << "," << y;
        } else {
          ASSERT_EQ(pixel, bytesPerPixel == 4 ? 0xABABABABu : 0xABABu) << x << "," << y;
        }
      }
      for (int i = surface.width * bytesPerPixel; i < surface.format.pitch; ++i) {
        ASSERT_EQ(surface.bytes[static_cast<size_t>(y) * surface.format.pitch + i], Surface::kUntouched);
      }
    }
  }

  core::Arena arena;
  engine::AspectMemory memory;
  int32_t slot[16] = {};
};

TEST_F(Forms, FlatShapesStoreTheirColoursAndDecal) {
  engine::PcxPicture picture = MakePicture(8, 8);
  picture.pixels[0] = 0;  // (0, 255, 0): not black, so opaque with the colour key
  engine::Picture decal;
  ASSERT_TRUE(engine::PrepareFlatShape(&memory, picture, true, slot, &decal));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(slot), 4), "d3b.");
  EXPECT_EQ(slot[2], 8);
  EXPECT_EQ(slot[3], 8);
  EXPECT_EQ(slot[4], 4);
  EXPECT_EQ(slot[5], 3);

  uint32_t table[256];
  engine::FlatShapeTable(picture.palette.data(), true, table);
  const uint8_t* colours = Data(slot[1], 8 * 8 * 4);
  ASSERT_NE(colours, nullptr);
  ASSERT_EQ(decal.width, 8);
  ASSERT_EQ(decal.height, 8);
  ASSERT_EQ(decal.rgba.size(), 8u * 8 * 4);
  for (int i = 0; i < 64; ++i) {
    uint32_t stored;
    std::memcpy(&stored, colours + i * 4, 4);
    const uint32_t expected = table[picture.pixels[i]];
    EXPECT_EQ(stored, expected) << i;
    const uint8_t* rgba = decal.rgba.data() + i * 4;
    EXPECT_EQ(static_cast<uint32_t>(rgba[0] << 16 | rgba[1] << 8 | rgba[2]) | static_cast<uint32_t>(rgba[3]) << 24,
              expected);
  }

  // Without the colour key the alpha follows the brightness; a 1 x 1 picture is a power of two.
  engine::PcxPicture one;
  one.palette = RampPalette();
  one.pixels = {200};
  ASSERT_TRUE(engine::PrepareFlatShape(&memory, one, false, slot, &decal));
  EXPECT_EQ(slot[5], 0);
  engine::FlatShapeTable(one.palette.data(), false, table);
  EXPECT_EQ(decal.rgba[3], table[200] >> 24);
  EXPECT_LT(decal.rgba[3], 255);
}

TEST_F(Forms, FlatShapesRefuseOtherSizesAndSurviveAFullRegion) {
  engine::Picture decal;
  for (const auto& [w, h] : {std::pair{8, 4}, {4, 8}, {3, 3}, {6, 6}, {12, 12}}) {
    std::fill(std::begin(slot), std::end(slot), 7);
    EXPECT_FALSE(engine::PrepareFlatShape(&memory, MakePicture(w, h), true, slot, &decal)) << w << "x" << h;
    EXPECT_EQ(slot[0], 7);
    EXPECT_TRUE(decal.rgba.empty());
  }
  EXPECT_EQ(memory.DataUsed(), 0u);

  uint32_t address;
  ASSERT_NE(memory.Allocate(core::Describe(core::Region::kAspectData).size - 16, &address), nullptr);
  ASSERT_TRUE(engine::PrepareFlatShape(&memory, MakePicture(4, 4), true, slot, &decal));
  EXPECT_EQ(slot[1], 0);
  EXPECT_EQ(slot[2], 4);
  EXPECT_EQ(decal.rgba.size(), 4u * 4 * 4);
}

TEST_F(Forms, FramesDrawBackTheirPictureOnEverySurface) {
  engine::PixelFormat rgb565;
  engine::PixelFormat rgb555;
  rgb555.redShift = 10;
  rgb555.greenShift = 5;
  struct Case {
    int pictureWidth, pictureHeight, surfaceWidth, surfaceHeight, bits;
    const engine::PixelFormat* tableFormat;
  };
  const Case cases[] = {
      {37, 11, 50, 20, 16, &rgb565},      // smaller than the surface
      {37, 11, 50, 20, 16, &rgb555},      //
      {37, 11, 50, 20, 32, &rgb565},      // widened
      {301, 9, 200, 5, 16, &rgb565},      // cut by a smaller surface
      {700, 500, 800, 600, 32, &rgb565},  // cut to 640 x 480
      {1, 1, 3, 3, 16, &rgb565},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.pictureWidth << "x" << c.pictureHeight << " on " << c.surfaceWidth << "x"
                                    << c.surfaceHeight << "x" << c.bits);
    const engine::PcxPicture picture = MakePicture(c.pictureWidth, c.pictureHeight);
    ASSERT_TRUE(engine::PrepareFrame(&memory, picture, *c.tableFormat, slot));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(slot), 4), "d3f.");
    EXPECT_EQ(slot[engine::kFrameWidth], std::min(c.pictureWidth, 640));
    EXPECT_EQ(slot[engine::kFrameHeight], std::min(c.pictureHeight, 480));
    Surface surface(c.surfaceWidth, c.surfaceHeight, c.bits);
    surface.format.redShift = c.tableFormat->redShift;
    engine::DrawFrame(arena, slot, surface.bytes.data(), surface.format, surface.width, surface.height);
    ExpectFrameDrawn(picture, *c.tableFormat, surface);
  }
}

TEST_F(Forms, FramesAreCodedSmallerThanTheirPixels) {
  engine::PcxPicture flat = MakePicture(640, 480);
  std::fill(flat.pixels.begin(), flat.pixels.end(), 3);
  ASSERT_TRUE(engine::PrepareFrame(&memory, flat, engine::PixelFormat{}, slot));
  EXPECT_EQ(slot[engine::kFrameCodeBytes], 480 * 5 * 2);  // 4 runs of 129 and one of 124 a row
  // Noise costs one control byte in 128.
  engine::PcxPicture noise = MakePicture(640, 2);
  for (size_t i = 0; i < noise.pixels.size(); ++i) noise.pixels[i] = static_cast<uint8_t>(i);
  ASSERT_TRUE(engine::PrepareFrame(&memory, noise, engine::PixelFormat{}, slot));
  EXPECT_EQ(slot[engine::kFrameCodeBytes], 2 * (640 + 5));
}

TEST_F(Forms, DamagedFrameSlotsStayInsideTheirBuffers) {
  const engine::PcxPicture picture = MakePicture(40, 10);
  ASSERT_TRUE(engine::PrepareFrame(&memory, picture, engine::PixelFormat{}, slot));
  int32_t good[16];
  std::memcpy(good, slot, sizeof(good));
  const uint32_t slotsAddress = arena.Address(core::Region::kAspectSlots);
  const uint32_t dataEnd = arena.Address(core::Region::kAspectData) + core::Describe(core::Region::kAspectData).size;

  struct Change {
    const char* what;
    int word;
    int32_t value;
  };
  const Change nothingDrawn[] = {
      {"another tag", 0, static_cast<int32_t>(engine::kBackgroundTag)},
      {"code address 0", engine::kFrameCode, 0},
      {"code outside the data region", engine::kFrameCode, static_cast<int32_t>(slotsAddress)},
      {"code running past the region", engine::kFrameCodeBytes, static_cast<int32_t>(dataEnd)},
      {"no code", engine::kFrameCodeBytes, 0},
      {"table at the region's last byte", engine::kFrameTable, static_cast<int32_t>(dataEnd - 1)},
      {"width 641", engine::kFrameWidth, 641},
      {"height 0", engine::kFrameHeight, 0},
      {"negative width", engine::kFrameWidth, -5},
  };
  for (const Change& change : nothingDrawn) {
    std::memcpy(slot, good, sizeof(good));
    slot[change.word] = change.value;
    Surface surface(64, 16, 16);
    engine::DrawFrame(arena, slot, surface.bytes.data(), surface.format, surface.width, surface.height);
    EXPECT_TRUE(surface.Untouched()) << change.what;
  }

  // Code that stops early, rows claimed wider than coded and code bytes turned to long runs are
  // drawn as far as they go, inside the surface (the sanitizers check the reads and writes).
  std::memcpy(slot, good, sizeof(good));
  slot[engine::kFrameCodeBytes] = 3;  // every row is one run of two bytes: row 0 and a control byte
  Surface cut(64, 16, 16);
  engine::DrawFrame(arena, slot, cut.bytes.data(), cut.format, cut.width, cut.height);
  EXPECT_NE(cut.At(0, 0), 0xABABu);
  EXPECT_EQ(cut.At(0, 1), 0xABABu);

  std::memcpy(slot, good, sizeof(good));
  slot[engine::kFrameWidth] = 640;
  slot[engine::kFrameHeight] = 480;
  uint8_t* code = arena.GuestToHostIn(core::Region::kAspectData, static_cast<uint32_t>(slot[engine::kFrameCode]), 4);
  ASSERT_NE(code, nullptr);
  code[0] = 0xFF;
  code[2] = 0x7F;  // a literal of 128 bytes running past the code's end
  Surface wide(640, 480, 32);
  engine::DrawFrame(arena, slot, wide.bytes.data(), wide.format, wide.width, wide.height);
  Surface narrow(10, 3, 16, 0);
  engine::DrawFrame(arena, slot, narrow.bytes.data(), narrow.format, narrow.width, narrow.height);

  // A pitch too small for the width, and depths other than 16 and 32 bits, draw nothing.
  std::memcpy(slot, good, sizeof(good));
  Surface tight(64, 16, 16);
  tight.format.pitch = 127;
  engine::DrawFrame(arena, slot, tight.bytes.data(), tight.format, tight.width, tight.height);
  EXPECT_TRUE(tight.Untouched());
  Surface eight(64, 16, 8);
  engine::DrawFrame(arena, slot, eight.bytes.data(), eight.format, eight.width, eight.height);
  EXPECT_TRUE(eight.Untouched());
}

TEST_F(Forms, AFrameThatDoesNotFitHasNoAddresses) {
  uint32_t address;
  ASSERT_NE(memory.Allocate(core::Describe(core::Region::kAspectData).size - 600, &address), nullptr);
  ASSERT_FALSE(engine::PrepareFrame(&memory, MakePicture(640, 480), engine::PixelFormat{}, slot));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(slot), 4), "d3f.");
  EXPECT_EQ(slot[engine::kFrameCode], 0);
  Surface surface(64, 16, 16);
  engine::DrawFrame(arena, slot, surface.bytes.data(), surface.format, surface.width, surface.height);
  EXPECT_TRUE(surface.Untouched());
}

TEST(Backgrounds, FromAPictureOrASlotImage) {
  int32_t slot[16];
  std::fill(std::begin(slot), std::end(slot), -1);
  engine::PrepareBackground(testing_support::PcxFile(3, 2, {9, 1, 1, 1, 1, 1}), false, slot);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(slot), 4), "d3g.");
  EXPECT_EQ(slot[1], 3);
  EXPECT_EQ(slot[2], 2);
  EXPECT_EQ(slot[3], 9);
  EXPECT_EQ(slot[4], 0);

  engine::PrepareBackground("not a picture", false, slot);
  EXPECT_EQ(slot[1], 1);
  EXPECT_EQ(slot[2], 1);
  EXPECT_EQ(slot[3], 0);

  // A slot image: its own tag is replaced; a short one reads zeros for what is missing.
  std::string image = "XXXX";
  for (int32_t word : {640, 480, 17, 5}) image.append(reinterpret_cast<const char*>(&word), 4);
  image.append(64 - image.size(), '\x01');
  image.append("beyond the slot");
  engine::PrepareBackground(image, true, slot);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(slot), 4), "d3g.");
  EXPECT_EQ(slot[1], 640);
  EXPECT_EQ(slot[3], 17);
  EXPECT_EQ(slot[15], 0x01010101);
  engine::PrepareBackground(image.substr(0, 10), true, slot);
  EXPECT_EQ(slot[1], 640);
  EXPECT_EQ(slot[2], 480 & 0xFFFF);
  EXPECT_EQ(slot[3], 0);
  EXPECT_EQ(slot[15], 0);
  engine::PrepareBackground("", true, slot);
  EXPECT_EQ(slot[0], static_cast<int32_t>(engine::kBackgroundTag));
  EXPECT_EQ(slot[1], 0);
}

TEST(FillRectangle, FillsTheHalfOpenRectangleClippedToTheSurface) {
  for (const int bits : {16, 32}) {
    SCOPED_TRACE(bits);
    const uint32_t pixel = bits == 16 ? 0x1234u : 0x00C0FFEEu;
    const uint32_t untouched = bits == 16 ? 0xABABu : 0xABABABABu;
    Surface surface(10, 6, bits);
    engine::FillRectangle(surface.bytes.data(), surface.format, surface.width, surface.height, 2, 1, 4, 3, pixel);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 10; ++x) EXPECT_EQ(surface.At(x, y), x >= 2 && x < 4 && y >= 1 && y < 3 ? pixel : untouched);

    Surface clipped(10, 6, bits);
    engine::FillRectangle(clipped.bytes.data(), clipped.format, 10, 6, -5, 4, 100, 1000, pixel);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 10; ++x) EXPECT_EQ(clipped.At(x, y), y >= 4 ? pixel : untouched);
    for (int y = 0; y < 6; ++y)
      for (int i = 10 * bits / 8; i < clipped.format.pitch; ++i)
        EXPECT_EQ(clipped.bytes[static_cast<size_t>(y) * clipped.format.pitch + i], Surface::kUntouched);

    Surface whole(10, 6, bits);
    engine::FillRectangle(whole.bytes.data(), whole.format, 10, 6, INT_MIN, INT_MIN, INT_MAX, INT_MAX, pixel);
    EXPECT_EQ(whole.At(0, 0), pixel);
    EXPECT_EQ(whole.At(9, 5), pixel);

    Surface none(10, 6, bits);
    engine::FillRectangle(none.bytes.data(), none.format, 10, 6, 4, 1, 2, 3, pixel);    // x2 < x1
    engine::FillRectangle(none.bytes.data(), none.format, 10, 6, 10, 0, 20, 6, pixel);  // right of it
    engine::FillRectangle(none.bytes.data(), none.format, 10, 6, 0, -9, 10, 0, pixel);  // above it
    none.format.pitch = 10 * bits / 8 - 1;
    engine::FillRectangle(none.bytes.data(), none.format, 10, 6, 0, 0, 10, 6, pixel);  // pitch too small
    EXPECT_TRUE(none.Untouched());
  }
}

std::string Word(int32_t value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

TEST(CameraFiles, ShortExactAndLongFiles) {
  std::string bytes = "d30." + Word(11) + std::string(56, '\0');
  std::string record(112, '\0');
  record.replace(0, 4, Word(10));
  record.replace(4, 4, Word(20));
  record.replace(8, 4, Word(300));
  record.replace(20, 4, Word(200));
  record.replace(32, 4, Word(309));
  record.replace(36, 4, Word(219));
  record.replace(48, 4, Word(-240));
  bytes += record;
  ASSERT_EQ(bytes.size(), 176u);

  engine::CameraFile exact = engine::ParseCameraFile(bytes);
  EXPECT_TRUE(exact.complete);
  EXPECT_EQ(static_cast<uint32_t>(exact.slot[0]), engine::kCameraTag);
  EXPECT_EQ(static_cast<uint32_t>(exact.slot[0]), engine::SlotTag("d30."));
  EXPECT_EQ(exact.slot[1], 11);
  const engine::CameraParameters p = engine::ReadCameraParameters(exact);
  EXPECT_EQ(p.left, 10);
  EXPECT_EQ(p.top, 20);
  EXPECT_EQ(p.width, 300);
  EXPECT_EQ(p.height, 200);
  EXPECT_EQ(p.right, 309);
  EXPECT_EQ(p.bottom, 219);
  EXPECT_EQ(p.lensFactor, 240);

  const engine::CameraFile longer = engine::ParseCameraFile(bytes + "trailing bytes");
  EXPECT_TRUE(longer.complete);
  EXPECT_EQ(longer.record, exact.record);
  EXPECT_EQ(longer.slot, exact.slot);

  // Cut inside the record's width field: what is missing reads as zeros; a damaged tag is mended.
  std::string shortBytes = bytes.substr(0, 64 + 10);
  shortBytes[0] = 'Z';
  const engine::CameraFile cut = engine::ParseCameraFile(shortBytes);
  EXPECT_FALSE(cut.complete);
  EXPECT_EQ(static_cast<uint32_t>(cut.slot[0]), engine::kCameraTag);
  const engine::CameraParameters q = engine::ReadCameraParameters(cut);
  EXPECT_EQ(q.left, 10);
  EXPECT_EQ(q.top, 20);
  EXPECT_EQ(q.width, 300 & 0xFFFF);
  EXPECT_EQ(q.height, 0);
  EXPECT_EQ(q.lensFactor, 0);
  const engine::CameraFile empty = engine::ParseCameraFile("");
  EXPECT_FALSE(empty.complete);
  EXPECT_EQ(empty.slot[1], 0);
  EXPECT_EQ(empty.record, (std::array<uint8_t, 112>{}));

  // The most negative lens word has no negation: it gives the largest factor.
  std::string extreme = bytes;
  extreme.replace(64 + 48, 4, Word(INT32_MIN));
  EXPECT_EQ(engine::ReadCameraParameters(engine::ParseCameraFile(extreme)).lensFactor, INT32_MAX);
}

TEST(CameraFiles, TheRectangleSetsAllSixFieldsAndNothingElse) {
  std::string bytes(176, '\x5A');
  engine::CameraFile file = engine::ParseCameraFile(bytes);
  engine::SetCameraRectangle(&file, 100, 50, 419, 289);
  const engine::CameraParameters p = engine::ReadCameraParameters(file);
  EXPECT_EQ(p.left, 100);
  EXPECT_EQ(p.top, 50);
  EXPECT_EQ(p.width, 320);
  EXPECT_EQ(p.height, 240);
  EXPECT_EQ(p.right, 419);
  EXPECT_EQ(p.bottom, 289);
  for (size_t at : {12u, 16u, 24u, 28u, 40u, 48u, 111u}) EXPECT_EQ(file.record[at], 0x5A) << at;

  engine::SetCameraRectangle(&file, 0, 0, INT_MAX, -1);  // wraps instead of overflowing
  EXPECT_EQ(engine::ReadCameraParameters(file).width, INT_MIN);
  EXPECT_EQ(engine::ReadCameraParameters(file).height, 0);
}

}  // namespace
