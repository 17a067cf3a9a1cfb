// Sprites and counters: span lists, drawing on 5-6-5, 5-5-5 and 32-bit surfaces (opaque,
// translucent, clipped), hit tests, counter glyph sequences, glyph drawing and digit pictures.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/core.h"
#include "engine/engine.h"
#include "model/model.h"
#include "support/pcx_bytes.h"

namespace {

// A surface of `bits` with a few padding bytes a row, filled with `fill` pixels.
struct TestSurface {
  TestSurface(int w, int h, int bits, uint32_t fill = 0, int redShift = 11) {
    view.width = w;
    view.height = h;
    view.format.bitsPerPixel = bits;
    view.format.pitch = w * bits / 8 + 8;
    if (bits == 16 && redShift == 10) {
      view.format.redShift = 10;
      view.format.redMask = 0x7C00;
      view.format.greenMask = 0x03E0;
    } else if (bits == 32) {
      view.format.redShift = 16;
      view.format.greenShift = 8;
    }
    bytes.assign(static_cast<size_t>(view.format.pitch) * h + 64, 0xCD);
    view.pixels = bytes.data();
    Fill(fill);
  }
  TestSurface(const TestSurface&) = delete;
  TestSurface& operator=(const TestSurface&) = delete;
  void Fill(uint32_t value) {
    for (int y = 0; y < view.height; ++y)
      for (int x = 0; x < view.width; ++x) Set(x, y, value);
  }
  uint32_t At(int x, int y) const {
    uint32_t value = 0;
    std::memcpy(&value, view.Row(y) + static_cast<size_t>(x) * (view.format.bitsPerPixel / 8),
                view.format.bitsPerPixel / 8);
    return value;
  }
  void Set(int x, int y, uint32_t value) {
    std::memcpy(view.Row(y) + static_cast<size_t>(x) * (view.format.bitsPerPixel / 8), &value,
                view.format.bitsPerPixel / 8);
  }
  // The padding after each row and the guard bytes after the last stay as they were.
  bool PaddingKept() const {
    const size_t rowBytes = static_cast<size_t>(view.width) * (view.format.bitsPerPixel / 8);
    for (int y = 0; y < view.height; ++y)
      for (size_t i = rowBytes; i < static_cast<size_t>(view.format.pitch); ++i)
        if (view.Row(y)[i] != 0xCD) return false;
    for (size_t i = static_cast<size_t>(view.format.pitch) * view.height; i < bytes.size(); ++i)
      if (bytes[i] != 0xCD) return false;
    return true;
  }
  engine::Surface view;
  std::vector<uint8_t> bytes;
};

// A palette of exact 5-6-5 levels: entry i is red i & 31, green (i * 3) & 63, blue (i * 5) & 31,
// scaled to 8 bits with the low bits clear.
testing_support::PcxPalette LevelPalette() {
  testing_support::PcxPalette palette{};
  for (int i = 0; i < 256; ++i) {
    palette[i * 3] = static_cast<uint8_t>((i & 31) << 3);
    palette[i * 3 + 1] = static_cast<uint8_t>(((i * 3) & 63) << 2);
    palette[i * 3 + 2] = static_cast<uint8_t>(((i * 5) & 31) << 3);
  }
  return palette;
}
uint32_t Rgb565(int index) { return static_cast<uint32_t>((index & 31) << 11 | ((index * 3) & 63) << 5 | ((index * 5) & 31)); }

engine::PcxPicture Picture(int width, int height, const std::vector<uint8_t>& pixels) {
  engine::PcxPicture picture;
  picture.width = width;
  picture.height = height;
  picture.pixels = pixels;
  picture.palette = LevelPalette();
  return picture;
}

class Sprites : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(arena.Create());
    memory.Reset(&arena);
  }
  // The record of a sprite at (x, y) with a clip rectangle.
  static std::vector<int32_t> Record(int x, int y, int x1, int y1, int x2, int y2) {
    std::vector<int32_t> record(model::kRecordWords, 0);
    record[model::kWordPositionX] = x;
    record[model::kWordPositionY] = y;
    record[model::kWordExtent0] = x1;
    record[model::kWordExtent1] = y1;
    record[model::kWordExtent2] = x2;
    record[model::kWordExtent3] = y2;
    return record;
  }
  void Draw(const int32_t* slot, const std::vector<int32_t>& record, bool translucent, const TestSurface& surface) {
    engine::DrawSprite(arena, slot, record[model::kWordPositionX], record[model::kWordPositionY],
                       engine::SpriteClip(record.data(), surface.view.width, surface.view.height), translucent,
                       surface.view);
  }
  core::Arena arena;
  engine::AspectMemory memory;
  int32_t slot[16] = {};
};

TEST_F(Sprites, SpanListOfASmallPicture) {
  // Row 0: a run of two at column 1; row 1: nothing; row 2: runs at columns 0 and 3.
  const engine::PcxPicture picture = Picture(4, 3, {0, 7, 8, 0, /**/ 0, 0, 0, 0, /**/ 9, 0, 0, 10});
  engine::PixelFormat format;
  format.pitch = 100;
  ASSERT_TRUE(engine::PrepareSprite(&memory, picture, format, slot));
  EXPECT_EQ(static_cast<uint32_t>(slot[0]), engine::kSpriteTag);
  EXPECT_EQ(slot[engine::kSpriteWidth], 4);
  EXPECT_EQ(slot[engine::kSpriteHeight], 3);
  EXPECT_EQ(slot[engine::kSpritePixelBytes], 2);
  // Three records of 16 bytes, pixels padded to words (4, 4, 4 bytes) and the end word.
  ASSERT_EQ(slot[engine::kSpriteSpanBytes], 3 * 16 + 3 * 4 + 4);
  const auto* list = reinterpret_cast<const int32_t*>(arena.GuestToHostIn(
      core::Region::kAspectData, static_cast<uint32_t>(slot[engine::kSpriteSpans]), 64));
  ASSERT_NE(list, nullptr);
  const int32_t expected[][4] = {{2, 2, 1, 0}, {200, 1, 0, 2}, {206, 1, 3, 2}};
  const int32_t* at = list;
  const uint32_t colours[][2] = {{Rgb565(7), Rgb565(8)}, {Rgb565(9), 0}, {Rgb565(10), 0}};
  for (int i = 0; i < 3; ++i) {
    for (int w = 0; w < 4; ++w) EXPECT_EQ(at[w], expected[i][w]) << i << " " << w;
    uint16_t pixels[2] = {};
    std::memcpy(pixels, at + 4, static_cast<size_t>(expected[i][1]) * 2);
    for (int p = 0; p < expected[i][1]; ++p) EXPECT_EQ(pixels[p], colours[i][p]) << i;
    at += 5;
  }
  EXPECT_EQ(*at, engine::kSpanEnd);
  // The display table of the palette sits beside it.
  const auto* table = reinterpret_cast<const uint16_t*>(arena.GuestToHostIn(
      core::Region::kAspectData, static_cast<uint32_t>(slot[engine::kSpriteTable]), 512));
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table[9], Rgb565(9));
}

TEST_F(Sprites, OpaqueAndTranslucentOnEveryPixelFormat) {
  // 3 x 2: index 0 in the middle of the top row is a hole.
  const engine::PcxPicture picture = Picture(3, 2, {20, 0, 21, 22, 23, 24});
  for (int bits : {16, 32}) {
    for (int redShift : {11, 10}) {
      if (bits == 32 && redShift == 10) continue;
      TestSurface surface(8, 6, bits, 0, redShift);
      const uint32_t below = bits == 16 ? (redShift == 11 ? 0x8410u : 0x4210u) : 0x00806040u;
      surface.Fill(below);
      memory.Reset(&arena);
      ASSERT_TRUE(engine::PrepareSprite(&memory, picture, surface.view.format, slot));
      uint16_t table[256];
      engine::BuildConversionTable(picture.palette.data(), surface.view.format, table);
      const auto colour = [&](int index) {
        return bits == 16 ? uint32_t{table[index]} : engine::WidenPixel(table[index], surface.view.format);
      };
      // Opaque at (1, 1), translucent at (4, 3).
      Draw(slot, Record(1, 1, 0, 0, 7, 5), false, surface);
      Draw(slot, Record(4, 3, 0, 0, 7, 5), true, surface);
      EXPECT_EQ(surface.At(1, 1), colour(20));
      EXPECT_EQ(surface.At(2, 1), below) << "index 0 is transparent";
      EXPECT_EQ(surface.At(3, 2), colour(24));
      // The translucent average, channel by channel, worked out here from the channels.
      const auto average = [&](uint32_t a, uint32_t b) {
        uint32_t out = 0;
        const int shifts[3] = {bits == 32 ? 16 : redShift, bits == 32 ? 8 : 5, 0};
        const uint32_t masks[3] = {bits == 32 ? 255u : 31u, bits == 32 ? 255u : (redShift == 11 ? 63u : 31u),
                                   bits == 32 ? 255u : 31u};
        for (int c = 0; c < 3; ++c) {
          const uint32_t x = a >> shifts[c] & masks[c], y = b >> shifts[c] & masks[c];
          out |= ((x + y) / 2) << shifts[c];
        }
        return out;
      };
      EXPECT_EQ(surface.At(4, 3), average(colour(20), below)) << bits << " " << redShift;
      EXPECT_EQ(surface.At(5, 4), average(colour(23), below));
      EXPECT_EQ(surface.At(5, 3), below);
      EXPECT_EQ(surface.At(0, 0), below);
      EXPECT_TRUE(surface.PaddingKept());
    }
  }
}

TEST_F(Sprites, ClippedAtEveryEdgeAndByTheClipRectangle) {
  std::vector<uint8_t> pixels(4 * 4, 30);
  const engine::PcxPicture picture = Picture(4, 4, pixels);
  TestSurface surface(10, 8, 16);
  ASSERT_TRUE(engine::PrepareSprite(&memory, picture, surface.view.format, slot));
  const uint32_t c = Rgb565(30);
  const auto count = [&] {
    int n = 0;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 10; ++x) n += surface.At(x, y) == c;
    return n;
  };
  // Off each edge by two pixels: 2 x 4 visible each time.
  for (const auto& [x, y] : {std::pair{-2, 2}, std::pair{8, 2}, std::pair{3, -2}, std::pair{3, 6}}) {
    surface.Fill(0);
    Draw(slot, Record(x, y, -100, -100, 5000, 5000), false, surface);
    EXPECT_EQ(count(), 8) << x << "," << y;
    EXPECT_TRUE(surface.PaddingKept()) << x << "," << y;
  }
  // Three pixels from the right edge with a clip rectangle reaching x = 5000: three columns, and
  // nothing in the next row.
  surface.Fill(0);
  Draw(slot, Record(7, 0, 0, 0, 5000, 7), false, surface);
  EXPECT_EQ(count(), 12);
  for (int y = 0; y < 4; ++y) EXPECT_EQ(surface.At(0, y + 1), 0u);
  EXPECT_TRUE(surface.PaddingKept());
  // A clip rectangle inside the sprite keeps only its inclusive columns and rows.
  surface.Fill(0);
  Draw(slot, Record(2, 2, 3, 3, 4, 5), false, surface);
  EXPECT_EQ(count(), 2 * 3);
  EXPECT_EQ(surface.At(3, 3), c);
  EXPECT_EQ(surface.At(2, 2), 0u);
  // Entirely outside, or an empty rectangle: nothing.
  surface.Fill(0);
  Draw(slot, Record(-50, 100, 0, 0, 9, 7), false, surface);
  Draw(slot, Record(2, 2, 6, 6, 3, 3), false, surface);
  EXPECT_EQ(count(), 0);
}

TEST_F(Sprites, DamagedSlotsDrawNothing) {
  const engine::PcxPicture picture = Picture(2, 2, {5, 5, 5, 5});
  TestSurface surface(4, 4, 16);
  ASSERT_TRUE(engine::PrepareSprite(&memory, picture, surface.view.format, slot));
  int32_t damaged[16];
  std::memcpy(damaged, slot, sizeof damaged);
  damaged[engine::kSpriteSpans] = 12;  // outside the aspect data
  Draw(damaged, Record(0, 0, 0, 0, 3, 3), false, surface);
  std::memcpy(damaged, slot, sizeof damaged);
  damaged[engine::kSpriteSpanBytes] = 0x7FFFFFF0;
  Draw(damaged, Record(0, 0, 0, 0, 3, 3), false, surface);
  // Made for 16-bit pixels: a 32-bit surface gets nothing.
  TestSurface wide(4, 4, 32);
  Draw(slot, Record(0, 0, 0, 0, 3, 3), false, wide);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(surface.At(x, y), 0u);
      EXPECT_EQ(wide.At(x, y), 0u);
    }
  // A run length changed to reach past the list stops the walk.
  auto* list = reinterpret_cast<int32_t*>(arena.GuestToHostIn(core::Region::kAspectData,
                                                              static_cast<uint32_t>(slot[engine::kSpriteSpans]), 16));
  list[1] = 4000;
  Draw(slot, Record(0, 0, 0, 0, 3, 3), false, surface);
  EXPECT_TRUE(surface.PaddingKept());
}

TEST_F(Sprites, PickingFindsDrawnPixelsInsideTheClip) {
  const engine::PcxPicture picture = Picture(3, 2, {1, 0, 1, 1, 1, 1});
  engine::PixelFormat format;
  format.pitch = 64;
  ASSERT_TRUE(engine::PrepareSprite(&memory, picture, format, slot));
  const engine::ClipRectangle all{0, 0, 99, 99};
  EXPECT_TRUE(engine::SpriteCovers(arena, slot, 10, 20, all, 10, 20));
  EXPECT_FALSE(engine::SpriteCovers(arena, slot, 10, 20, all, 11, 20)) << "a transparent pixel";
  EXPECT_TRUE(engine::SpriteCovers(arena, slot, 10, 20, all, 12, 21));
  EXPECT_FALSE(engine::SpriteCovers(arena, slot, 10, 20, all, 13, 21));
  EXPECT_FALSE(engine::SpriteCovers(arena, slot, 10, 20, all, 10, 22));
  const engine::ClipRectangle left{0, 0, 10, 99};
  EXPECT_FALSE(engine::SpriteCovers(arena, slot, 10, 20, left, 12, 21)) << "outside the clip rectangle";
}

// Counters

std::vector<int> Glyphs(int32_t value, int32_t leading, int32_t point, int32_t sign) {
  int8_t glyphs[16];
  const int count = engine::CounterGlyphs(value, leading, point, sign, glyphs);
  return std::vector<int>(glyphs, glyphs + count);
}

TEST(CounterGlyphs, DivisorWalkWithSignAndPoint) {
  EXPECT_EQ(Glyphs(345, 100, 10, 0), (std::vector<int>{3, 4, 12, 5}));
  EXPECT_EQ(Glyphs(-345, 100, 10, 1), (std::vector<int>{11, 3, 4, 12, 5}));
  EXPECT_EQ(Glyphs(345, 100, 10, 1), (std::vector<int>{10, 3, 4, 12, 5}));
  EXPECT_EQ(Glyphs(0, 1000, 0, 1), (std::vector<int>{10, 0, 0, 0, 0}));
  EXPECT_EQ(Glyphs(7, 1, 1, 0), (std::vector<int>{7, 12}));
  // More digits than the leading divisor: the first quotient names no glyph.
  EXPECT_EQ(Glyphs(12345, 100, 0, 0), (std::vector<int>{-1, 4, 5}));
  EXPECT_EQ(Glyphs(1234, 100, 0, 0), (std::vector<int>{12, 3, 4}));
  // A leading divisor below 1 would divide by zero: nothing at all.
  EXPECT_TRUE(Glyphs(5, 0, 0, 1).empty());
  EXPECT_TRUE(Glyphs(5, -10, 0, 0).empty());
  // The sign flag negates the lowest value in 64 bits.
  EXPECT_EQ(Glyphs(INT32_MIN, 1000000000, 0, 1), (std::vector<int>{11, 2, 1, 4, 7, 4, 8, 3, 6, 4, 8}));
  // Without the sign flag a negative value has no glyphs to draw.
  EXPECT_EQ(Glyphs(-5, 10, 0, 0), (std::vector<int>{0, -1}));
}

// A digit picture: glyph g is g + 2 columns wide, filled with index 40 + g, its marker column's top
// pixel 255 and the rest of the marker column index 90; row 1 has a hole (index 0) in column 0 of
// every glyph.
engine::PcxPicture DigitPicture(int markers = 13) {
  std::vector<uint8_t> columns;
  for (int g = 0; g < markers; ++g)
    for (int c = 0; c < g + 2; ++c) columns.push_back(static_cast<uint8_t>(g));
  const int width = static_cast<int>(columns.size());
  const int height = 3;
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height);
  for (int x = 0; x < width; ++x) {
    const int g = columns[static_cast<size_t>(x)];
    const bool marker = x + 1 == width || columns[static_cast<size_t>(x + 1)] != g;
    const bool first = x == 0 || columns[static_cast<size_t>(x - 1)] != g;
    for (int y = 0; y < height; ++y) {
      uint8_t value = marker ? (y == 0 ? 255 : 90) : static_cast<uint8_t>(40 + g);
      if (y == 1 && first) value = 0;
      pixels[static_cast<size_t>(y) * width + x] = value;
    }
  }
  return Picture(width, height, pixels);
}

class Counters : public Sprites {};

TEST_F(Counters, DigitPicturesNeedThirteenMarkers) {
  engine::PixelFormat format;
  format.pitch = 64;
  EXPECT_TRUE(engine::IsDigitPicture(DigitPicture()));
  EXPECT_FALSE(engine::IsDigitPicture(DigitPicture(12)));
  EXPECT_FALSE(engine::IsDigitPicture(DigitPicture(14)));
  EXPECT_FALSE(engine::PrepareCounter(&memory, DigitPicture(12), format, slot));
  EXPECT_FALSE(engine::PrepareCounter(&memory, engine::PcxPicture{}, format, slot));
  ASSERT_TRUE(engine::PrepareCounter(&memory, DigitPicture(), format, slot));
  EXPECT_EQ(static_cast<uint32_t>(slot[0]), engine::kCounterTag);
  EXPECT_EQ(slot[engine::kCounterHeight], 3);
}

TEST_F(Counters, GlyphsDrawnLeftToRight) {
  for (int bits : {16, 32}) {
    TestSurface surface(60, 8, bits);
    memory.Reset(&arena);
    ASSERT_TRUE(engine::PrepareCounter(&memory, DigitPicture(), surface.view.format, slot));
    uint16_t table[256];
    engine::BuildConversionTable(LevelPalette().data(), surface.view.format, table);
    const auto colour = [&](int index) {
      return bits == 16 ? uint32_t{table[index]} : engine::WidenPixel(table[index], surface.view.format);
    };
    // 3, 4, point, 5 at (2, 1): widths 5, 6, 14, 7.
    engine::CounterValue counter{2, 1, 345, 100, 10, 0};
    engine::DrawCounter(arena, slot, counter, surface.view);
    const int starts[] = {2, 7, 13, 27, 34};
    const int glyphs[] = {3, 4, 12, 5};
    for (int i = 0; i < 4; ++i) {
      const int x = starts[i], last = starts[i + 1] - 1;
      EXPECT_EQ(surface.At(x, 1), colour(40 + glyphs[i])) << bits << " glyph " << i;
      EXPECT_EQ(surface.At(x, 2), 0u) << "index 0 is transparent";
      EXPECT_EQ(surface.At(last - 1, 3), colour(40 + glyphs[i]));
      EXPECT_EQ(surface.At(last, 1), 0u) << "the marker pixel is not drawn";
      EXPECT_EQ(surface.At(last, 2), colour(90)) << "the rest of the marker column is";
    }
    EXPECT_EQ(surface.At(34, 2), 0u);
    EXPECT_EQ(surface.At(1, 2), 0u);
    EXPECT_TRUE(surface.PaddingKept());
  }
}

TEST_F(Counters, PlacementRulesAndThePointerBoxes) {
  TestSurface surface(20, 6, 16);
  ASSERT_TRUE(engine::PrepareCounter(&memory, DigitPicture(), surface.view.format, slot));
  const auto drawn = [&] {
    int n = 0;
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 20; ++x) n += surface.At(x, y) != 0;
    return n;
  };
  // Glyphs stop at the right edge instead of wrapping into the next row.
  engine::DrawCounter(arena, slot, engine::CounterValue{15, 0, 999, 100, 0, 0}, surface.view);
  EXPECT_GT(drawn(), 0);
  for (int y = 0; y < 6; ++y) EXPECT_EQ(surface.At(0, y), 0u);
  EXPECT_TRUE(surface.PaddingKept());
  // Off the surface, or reaching below its last row: not drawn.
  surface.Fill(0);
  engine::DrawCounter(arena, slot, engine::CounterValue{-1, 0, 1, 1, 0, 0}, surface.view);
  engine::DrawCounter(arena, slot, engine::CounterValue{0, 4, 1, 1, 0, 0}, surface.view);
  engine::DrawCounter(arena, slot, engine::CounterValue{0, 0, 5, 0, 0, 1}, surface.view);
  engine::DrawCounter(arena, slot, engine::CounterValue{0, 0, 99, 1, 0, 0}, surface.view);
  EXPECT_EQ(drawn(), 0);
  // The glyph boxes of 12 at (2, 1): columns 2..4 and 5..8, rows 1..3.
  const engine::CounterValue twelve{2, 1, 12, 10, 0, 0};
  EXPECT_TRUE(engine::CounterCovers(arena, slot, twelve, 20, 6, 2, 1));
  EXPECT_TRUE(engine::CounterCovers(arena, slot, twelve, 20, 6, 8, 3));
  EXPECT_FALSE(engine::CounterCovers(arena, slot, twelve, 20, 6, 9, 2));
  EXPECT_FALSE(engine::CounterCovers(arena, slot, twelve, 20, 6, 3, 4));
  EXPECT_FALSE(engine::CounterCovers(arena, slot, twelve, 20, 6, 1, 2));
}

}  // namespace
