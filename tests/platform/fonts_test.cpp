// System fonts: face names and weights resolved through fontconfig, the meaning of the height,
// Windows-1252 bytes, and glyphs placed at their advances checked against the font library's own
// whole-line rendering.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <tuple>
#include <vector>

#include "platform/platform.h"

namespace {

using platform::Font;
using platform::FontFace;
using platform::GlyphBitmap;

std::unique_ptr<Font> Open(const char* face, int32_t height, int32_t weight = 400) {
  std::string error;
  std::unique_ptr<Font> font = Font::Open(face, height, weight, &error);
  EXPECT_NE(font, nullptr) << error;
  return font;
}

TEST(Fonts, WindowsFaceNamesResolveToTheMetricCompatibleFamiliesAtTheNearestWeight) {
  struct Case {
    const char* name;
    int32_t weight;
    const char* family;
    bool bold;
  };
  for (const Case& c : {Case{"Arial", 400, "Liberation Sans", false}, Case{"Arial", 700, "Liberation Sans", true},
                        Case{"Arial", 0, "Liberation Sans", false}, Case{"Arial", 650, "Liberation Sans", true},
                        Case{"Times New Roman", 400, "Liberation Serif", false},
                        Case{"Courier New", 900, "Liberation Mono", true}}) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.weight));
    FontFace face;
    ASSERT_TRUE(platform::FindFontFace(c.name, c.weight, &face));
    EXPECT_EQ(face.family, c.family);
    EXPECT_EQ(face.weight >= 600, c.bold) << face.weight;
    EXPECT_FALSE(face.emboldened);  // these families have a real bold face
  }
  // A name nobody has still draws, in fontconfig's best match.
  FontFace unknown;
  ASSERT_TRUE(platform::FindFontFace("No Such Face At All", 400, &unknown));
  EXPECT_FALSE(unknown.file.empty());
}

TEST(Fonts, APositiveHeightIsTheCellANegativeOneTheEmAndBothAreClamped) {
  // Positive: the largest em whose cell fits, so the cell is the height or a pixel short of it.
  for (const int32_t height : {12, 28, 29, 100, 1000}) {
    const auto font = Open("Arial", height);
    EXPECT_LE(font->CellHeight(), height) << height;
    EXPECT_GE(font->CellHeight(), height - 1) << height;
  }
  EXPECT_EQ(Open("Arial", 28)->EmHeight(), 25);  // Arial's cell is 1.117 em
  EXPECT_EQ(Open("Arial", -28)->EmHeight(), 28);
  EXPECT_GT(Open("Arial", -28)->CellHeight(), 28);
  // 0 is the default: the cell of 28.
  EXPECT_EQ(Open("Arial", 0)->EmHeight(), Open("Arial", 28)->EmHeight());
  // Beyond 1000 pixels either way: 1000.
  EXPECT_EQ(Open("Arial", 5000)->EmHeight(), Open("Arial", 1000)->EmHeight());
  EXPECT_EQ(Open("Arial", INT_MIN)->EmHeight(), 1000);
  EXPECT_EQ(Open("Arial", 1)->EmHeight(), 1);
}

TEST(Fonts, Windows1252BytesMapTheirTypographicMarks) {
  EXPECT_EQ(platform::CodePointOfWindows1252('A'), 0x41u);
  EXPECT_EQ(platform::CodePointOfWindows1252(0x80), 0x20ACu);  // euro
  EXPECT_EQ(platform::CodePointOfWindows1252(0x85), 0x2026u);  // ellipsis
  EXPECT_EQ(platform::CodePointOfWindows1252(0x9F), 0x0178u);  // Y diaeresis
  EXPECT_EQ(platform::CodePointOfWindows1252(0x81), 0x81u);    // unassigned: its own value
  EXPECT_EQ(platform::CodePointOfWindows1252(0xA0), 0xA0u);
  EXPECT_EQ(platform::CodePointOfWindows1252(0xE9), 0xE9u);
  // The euro byte draws the euro sign, not the missing-glyph box byte 0x81 draws.
  const auto font = Open("Arial", 28);
  GlyphBitmap euro, missing;
  ASSERT_TRUE(font->RenderGlyph(0x80, &euro));
  ASSERT_TRUE(font->RenderGlyph(0x81, &missing));
  EXPECT_GT(euro.width, 0);
  EXPECT_NE(euro.coverage, missing.coverage);
}

// The first column of a line image with any coverage, -1 for none.
int FirstInkedColumn(const std::vector<uint8_t>& image, int width, int height) {
  for (int x = 0; x < width; ++x) {
    for (int y = 0; y < height; ++y) {
      if (image[static_cast<size_t>(y * width + x)] != 0) return x;
    }
  }
  return -1;
}

// Each glyph as the cache takes it is exactly what the font library renders for a line of that one
// character: the same coverage, on the same rows of the cell (the library's line starts at the
// higher of the cell's top and the glyph's top). Every printable byte the library's Latin-1 call
// can also take, in three faces. (The line starts left of the pen by the glyph's untrimmed left
// bearing, which the cache does not keep: the columns are matched by the first inked one.)
TEST(Fonts, EachGlyphIsTheLibrarysOwnLineOfThatCharacter) {
  for (const auto& [face, height, weight] : std::vector<std::tuple<const char*, int32_t, int32_t>>{
           {"Arial", 28, 400}, {"Times New Roman", -15, 400}, {"Courier New", 40, 700}}) {
    SCOPED_TRACE(std::string(face) + " " + std::to_string(height));
    const auto font = Open(face, height, weight);
    for (int byte = 0x21; byte <= 0xFF; ++byte) {
      if (byte == 0x7F) byte = 0xA1;
      if (byte == 0xAD) continue;  // the soft hyphen: shaping leaves it out of a line
      SCOPED_TRACE(byte);
      GlyphBitmap glyph;
      ASSERT_TRUE(font->RenderGlyph(static_cast<uint8_t>(byte), &glyph));
      std::vector<uint8_t> line;
      int width = 0, lineHeight = 0;
      ASSERT_GT(font->RenderTextReference(std::string(1, static_cast<char>(byte)), 0xFFFFFF, &line, &width, &lineHeight), 0);
      ASSERT_GT(glyph.width, 0);
      const int originX = glyph.left - FirstInkedColumn(line, width, lineHeight);
      const int originY = std::min(0, glyph.top);
      ASSERT_LE(originX, 0);
      ASSERT_GE(width, std::max(glyph.advance, glyph.left + glyph.width) - originX);
      ASSERT_EQ(lineHeight, std::max(font->CellHeight(), glyph.top + glyph.height) - originY);
      std::vector<uint8_t> mine(line.size(), 0);
      for (int y = 0; y < glyph.height; ++y) {
        for (int x = 0; x < glyph.width; ++x) {
          mine[static_cast<size_t>((glyph.top - originY + y) * width + glyph.left - originX + x)] =
              glyph.coverage[static_cast<size_t>(y * glyph.width + x)];
        }
      }
      ASSERT_EQ(mine, line);
    }
  }
}

// Where the library's own line keeps whole-pixel advances, glyphs placed at their advances give
// that very line: pens, bearings (the 'j' starts left of its pen) and the baseline agree.
TEST(Fonts, GlyphsAtTheirAdvancesGiveTheLibrarysLine) {
  const auto font = Open("Arial", 28);
  const std::string text = "Hello, Wj%A";
  std::vector<uint8_t> line;
  int width = 0, lineHeight = 0;
  ASSERT_GT(font->RenderTextReference(text, 0xFFFFFF, &line, &width, &lineHeight), 0);
  ASSERT_EQ(lineHeight, font->CellHeight());
  std::vector<uint8_t> mine(line.size(), 0);
  int pen = 0;
  for (const char c : text) {
    GlyphBitmap glyph;
    ASSERT_TRUE(font->RenderGlyph(static_cast<uint8_t>(c), &glyph));
    for (int y = 0; y < glyph.height; ++y) {
      for (int x = 0; x < glyph.width; ++x) {
        const int atX = pen + glyph.left + x, atY = glyph.top + y;
        ASSERT_TRUE(atX >= 0 && atX < width && atY >= 0 && atY < lineHeight) << c;
        uint8_t& out = mine[static_cast<size_t>(atY * width + atX)];
        out = std::max(out, glyph.coverage[static_cast<size_t>(y * glyph.width + x)]);
      }
    }
    pen += glyph.advance;
  }
  EXPECT_EQ(pen, width);
  EXPECT_EQ(mine, line);
}

}  // namespace
