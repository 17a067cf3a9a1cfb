// Editor fonts: the file reader's fields and refusals, the three width modes, the drawing rules
// at the canvas edges, and the font files mkdata writes against the built-in font.
#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "core/core.h"
#include "engine/engine.h"
#include "engine/widgets/glyphs8x8.h"
#include "mkdata/mkdata.h"
#include "support/temp_folder.h"

namespace {

using engine::EditorFont;

// A font file built field by field: zero everywhere but the glyph height and row bytes.
class FontFile {
 public:
  FontFile(int height, int rowBytes)
      : rowBytes_(rowBytes), bytes_(engine::kEditorFontBitmapAt + static_cast<size_t>(height) * rowBytes, '\0') {
    U16(engine::kEditorFontHeightAt, height);
    U16(engine::kEditorFontRowBytesAt, rowBytes);
  }
  FontFile& U8(size_t at, int value) {
    bytes_[at] = static_cast<char>(value);
    return *this;
  }
  FontFile& U16(size_t at, int value) { return U8(at, value & 0xFF).U8(at + 1, (value >> 8) & 0xFF); }
  FontFile& U32(size_t at, int32_t value) {
    const uint32_t v = static_cast<uint32_t>(value);
    return U16(at, static_cast<int>(v & 0xFFFF)).U16(at + 2, static_cast<int>(v >> 16));
  }
  FontFile& Mode(int mode) { return U8(engine::kEditorFontWidthModeAt, mode); }
  FontFile& Gap(int gap) { return U8(engine::kEditorFontLineGapAt, gap); }
  FontFile& Spacing(int spacing) { return U16(engine::kEditorFontSpacingAt, spacing); }
  FontFile& Space(int width) { return U16(engine::kEditorFontSpaceWidthAt, width); }
  FontFile& Glyph(unsigned char code, int width, int firstBit) {
    return U8(engine::kEditorFontWidthsAt + code, width).U16(engine::kEditorFontFirstBitsAt + 2 * code, firstBit);
  }
  FontFile& Bit(int row, int bit) {
    bytes_[engine::kEditorFontBitmapAt + static_cast<size_t>(row) * rowBytes_ + bit / 8] |=
        static_cast<char>(0x80 >> (bit % 8));
    return *this;
  }
  const std::string& bytes() const { return bytes_; }

 private:
  int rowBytes_;
  std::string bytes_;
};

EditorFont Load(const FontFile& file, std::string_view name = "test.fnt") {
  EditorFont font;
  std::string error;
  EXPECT_TRUE(engine::LoadEditorFont(file.bytes(), name, &font, &error)) << error;
  return font;
}

// Draws on a `width` x `height` canvas whose rows carry 3 guard bytes past the width, and returns
// the rows as text: '#' for the colour, '.' for untouched. A write into the guard bytes fails.
std::vector<std::string> Render(const EditorFont& font, int width, int height, int x, int y, std::string_view text,
                                bool centred = false) {
  const int pitch = width + 3;
  std::vector<uint8_t> pixels(static_cast<size_t>(pitch) * height, 0xEE);
  const engine::CanvasView canvas{pixels.data(), pitch, width, height};
  if (centred) {
    engine::DrawEditorTextCentred(font, canvas, x, y, text, 7);
  } else {
    engine::DrawEditorText(font, canvas, x, y, text, 7);
  }
  std::vector<std::string> rows;
  for (int row = 0; row < height; ++row) {
    std::string line;
    for (int column = 0; column < pitch; ++column) {
      const uint8_t pixel = pixels[static_cast<size_t>(row) * pitch + column];
      EXPECT_TRUE(pixel == 0xEE || (pixel == 7 && column < width)) << "pixel " << column << "," << row;
      if (column < width) line += pixel == 7 ? '#' : '.';
    }
    rows.push_back(line);
  }
  return rows;
}

// 'A' a 4 x 3 block at bits 0..3, 'B' a 1 x 3 bar at bit 4; no gap or spacing unless the name
// sets them.
FontFile BlockFont() {
  FontFile file(3, 1);
  file.Glyph('A', 4, 0).Glyph('B', 1, 4);
  for (int row = 0; row < 3; ++row) {
    for (int bit = 0; bit < 5; ++bit) file.Bit(row, bit);
  }
  return file;
}

TEST(EditorFontLoad, ReadsEachFieldAtItsOffset) {
  FontFile file(2, 3);
  file.Mode(7).Gap(9).Spacing(-2).Space(5).Glyph('Q', 12, 9).U16(engine::kEditorFontFirstBitsAt + 512, 1234);
  file.U32(engine::kEditorFontTableAAt + 4 * 255, -5).U32(engine::kEditorFontTableBAt, 0x12345678);
  file.Bit(1, 23);
  std::string bytes = file.bytes() + "trailing bytes are not read";
  EditorFont font;
  std::string error;
  ASSERT_TRUE(engine::LoadEditorFont(bytes, "other.fnt", &font, &error)) << error;
  EXPECT_EQ(font.widthMode, 7);
  EXPECT_EQ(font.lineGap, 9);
  EXPECT_EQ(font.letterSpacing, -2);
  EXPECT_EQ(font.spaceWidth, 5);
  EXPECT_EQ(font.widths['Q'], 12);
  EXPECT_EQ(font.firstBits['Q'], 9);
  EXPECT_EQ(font.firstBits[256], 1234);
  EXPECT_EQ(font.height, 2);
  EXPECT_EQ(font.rowBytes, 3);
  EXPECT_EQ(font.tableA[255], -5);
  EXPECT_EQ(font.tableB[0], 0x12345678);
  EXPECT_EQ(font.bitmap, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0x01, 0, 0, 0, 0}));
}

TEST(EditorFontLoad, TheFileNameSetsLineGapAndSpacing) {
  FontFile file = BlockFont();
  file.Gap(7).Spacing(5);
  struct Case {
    const char* name;
    int gap, spacing;
  };
  for (const Case& c : {Case{"font.fnt", 1, 2}, Case{"./data/font.fnt", 1, 2}, Case{"data/font8.fnt", 2, 0},
                        Case{"myfont.fnt", 7, 5}, Case{"font.fnt/other", 7, 5}, Case{"font8.fnt.bak", 7, 5}}) {
    const EditorFont font = Load(file, c.name);
    EXPECT_EQ(font.lineGap, c.gap) << c.name;
    EXPECT_EQ(font.letterSpacing, c.spacing) << c.name;
  }
}

TEST(EditorFontLoad, RefusesBrokenFilesAndLeavesTheFontAsItWas) {
  const auto refused = [](const std::string& bytes, const std::string& expected) {
    EditorFont font;
    font.height = 77;
    std::string error;
    EXPECT_FALSE(engine::LoadEditorFont(bytes, "data/font.fnt", &font, &error)) << expected;
    EXPECT_NE(error.find(expected), std::string::npos) << error;
    EXPECT_EQ(error.rfind("data/font.fnt: ", 0), 0u) << error;
    EXPECT_EQ(font.height, 77);
  };
  const std::string good = BlockFont().bytes();
  refused("", "too short for the 819-byte header");
  refused(good.substr(0, 818), "too short for the 819-byte header");
  refused(good.substr(0, 2866), "too short for the width tables");
  refused(good.substr(0, good.size() - 1), "too short for a bitmap of 3 rows of 1 bytes");
  refused(FontFile(0, 1).bytes(), "glyph height is 0");
  refused(FontFile(257, 1).bytes(), "height 257 is above 256");
  // 3 bits into its first byte, 30 wide: 33 bits from that byte.
  refused(FontFile(1, 8).Glyph('x', 30, 3).bytes(), "glyph 120 is 30 pixels wide from bit 3");
  // Bits 28..35 of a 4-byte row.
  refused(FontFile(1, 4).Glyph('y', 8, 28).bytes(), "glyph 121 (bits 28 to 35) reaches past the end of its 4-byte row");
  // Every glyph is checked, not only printable ones.
  refused(FontFile(1, 1).Glyph(200, 2, 7).bytes(), "glyph 200");

  // The limits themselves are accepted: 29 wide from bit 3, a glyph ending on its row's last bit,
  // 256 rows; space, CR and LF are never drawn, so their entries are free.
  EditorFont font;
  std::string error;
  EXPECT_TRUE(engine::LoadEditorFont(FontFile(1, 8).Glyph('x', 29, 3).bytes(), "a.fnt", &font, &error)) << error;
  EXPECT_TRUE(engine::LoadEditorFont(FontFile(1, 4).Glyph('y', 4, 28).bytes(), "a.fnt", &font, &error)) << error;
  EXPECT_TRUE(engine::LoadEditorFont(FontFile(256, 1).bytes(), "a.fnt", &font, &error)) << error;
  EXPECT_TRUE(engine::LoadEditorFont(FontFile(1, 1).Glyph(' ', 200, 60000).Glyph('\r', 40, 7).Glyph('\n', 9, 9).bytes(),
                                     "a.fnt", &font, &error))
      << error;
}

TEST(EditorTextWidth, ThreeModes) {
  FontFile file = BlockFont();
  file.Glyph('a', 3, 0).Glyph('b', 5, 0).Space(4);
  file.U32(engine::kEditorFontTableAAt + 4 * 'a', 10).U32(engine::kEditorFontTableBAt + 4 * 'a', -3);
  file.U32(engine::kEditorFontTableAAt + 4 * 'b', 1);
  file.U32(engine::kEditorFontTableAAt + 4 * 'x', INT_MAX).U32(engine::kEditorFontTableBAt + 4 * 'x', INT_MAX);
  file.U32(engine::kEditorFontTableAAt + 4 * 'y', INT_MIN);

  // Byte table widths + letter spacing (2 for this name); a space counts the space width.
  const EditorFont bytes = Load(file.Mode(0), "font.fnt");
  EXPECT_EQ(engine::EditorTextWidth(bytes, "ab a"), 5 + 7 + 4 + 5);
  EXPECT_EQ(engine::EditorTextWidth(bytes, "\xC8"), 2);  // a code with no glyph still spaces
  EXPECT_EQ(engine::EditorTextWidth(bytes, ""), 0);

  // Fixed: 8 for every character, a space included.
  EXPECT_EQ(engine::EditorTextWidth(Load(file.Mode(255), "font.fnt"), "ab a"), 32);

  // Any other mode: table A + table B + spacing; the sum saturates instead of wrapping.
  const EditorFont tables = Load(file.Mode(9), "font.fnt");
  EXPECT_EQ(engine::EditorTextWidth(tables, "ab a"), 9 + 3 + 4 + 9);
  EXPECT_EQ(engine::EditorTextWidth(tables, "xxx"), INT_MAX);
  EXPECT_EQ(engine::EditorTextWidth(tables, "yyy"), INT_MIN);
  // A sum that leaves the int range on the way and comes back is exact.
  EXPECT_EQ(engine::EditorTextWidth(tables, "xyy"), 4);
}

TEST(EditorTextDraw, OneGlyphsExactPixelsAcrossAByteBoundary) {
  // A 6-wide glyph from bit 5 (bytes 0 and 1), with the neighbouring bits 4 and 11 set in every
  // row: only bits 5..10 may show. A stored gap of 4 moves the text 2 rows down.
  FontFile file(3, 3);
  file.Glyph('g', 6, 5).Gap(4);
  for (int row = 0; row < 3; ++row) file.Bit(row, 4).Bit(row, 11);
  file.Bit(0, 5).Bit(0, 10);
  for (int bit = 6; bit <= 9; ++bit) file.Bit(1, bit);
  file.Bit(2, 7);
  EXPECT_EQ(Render(Load(file), 16, 8, 2, 1, "g"), (std::vector<std::string>{
                                                       "................",
                                                       "................",
                                                       "................",
                                                       "..#....#........",
                                                       "...####.........",
                                                       "....#...........",
                                                       "................",
                                                       "................",
                                                   }));
}

TEST(EditorTextDraw, AGlyphCrossingAnEdgeIsSkippedWithoutAdvancing) {
  const EditorFont font = Load(BlockFont());
  // 'A' would reach the last column: skipped, and 'B' takes its place.
  EXPECT_EQ(Render(font, 10, 4, 6, 0, "AB"),
            (std::vector<std::string>{"......#...", "......#...", "......#...", ".........."}));
  // 'A' ends one column before the last; 'B' would sit on the last column.
  EXPECT_EQ(Render(font, 10, 4, 5, 0, "AB"),
            (std::vector<std::string>{".....####.", ".....####.", ".....####.", ".........."}));
  // Left of column 0: skipped; CR starts again at column 0.
  EXPECT_EQ(Render(font, 10, 4, -1, 0, "AB\rB"),
            (std::vector<std::string>{"#.........", "#.........", "#.........", ".........."}));
  // Above row 0: skipped. Under the name font8.fnt the line gap is 2, moving the same start down
  // by one row onto row 0.
  EXPECT_EQ(Render(font, 6, 4, 0, -1, "A"), (std::vector<std::string>(4, "......")));
  EXPECT_EQ(Render(Load(BlockFont(), "font8.fnt"), 6, 4, 0, -1, "A"),
            (std::vector<std::string>{"####..", "####..", "####..", "......"}));
  // Reaching the last row: skipped; one row higher it is drawn.
  EXPECT_EQ(Render(font, 6, 4, 0, 1, "A"), (std::vector<std::string>(4, "......")));
  EXPECT_EQ(Render(font, 6, 5, 0, 1, "A"),
            (std::vector<std::string>{"......", "####..", "####..", "####..", "......"}));
  // Far outside, with positions near the int range, nothing is drawn.
  EXPECT_EQ(Render(font, 6, 4, INT_MAX - 2, INT_MIN, "AAB"), (std::vector<std::string>(4, "......")));
}

TEST(EditorTextDraw, SpaceCarriageReturnLineFeedAndSpacing) {
  // Gap 2 (one row down at the start), spacing 1, space 3.
  FontFile file(2, 1);
  file.Glyph('A', 2, 0).Bit(0, 0).Bit(0, 1).Bit(1, 0).Bit(1, 1).Gap(2).Spacing(1).Space(3);
  const EditorFont font = Load(file);
  // LF keeps x; CR alone returns to column 0 on the same row.
  EXPECT_EQ(Render(font, 12, 8, 0, 0, "A A\nA\rA"), (std::vector<std::string>{
                                                       "............",
                                                       "##....##....",
                                                       "##....##....",
                                                       "............",
                                                       "............",
                                                       "##.......##.",
                                                       "##.......##.",
                                                       "............",
                                                   }));
  // CR LF starts the next line at column 0, not at the text's own start.
  EXPECT_EQ(Render(font, 12, 8, 4, 0, "A\r\nA"), (std::vector<std::string>{
                                                   "............",
                                                   "....##......",
                                                   "....##......",
                                                   "............",
                                                   "............",
                                                   "##..........",
                                                   "##..........",
                                                   "............",
                                               }));
  // Spacing -3 after a 2-wide glyph (one pixel at its left) starts the next glyph one column
  // further left; after the 0-wide 'z' the pen moves back the whole 3.
  FontFile back(1, 1);
  back.Glyph('A', 2, 0).Glyph('z', 0, 0).Bit(0, 0).Spacing(-3);
  EXPECT_EQ(Render(Load(back), 12, 2, 6, 0, "AA"), (std::vector<std::string>{".....##.....", "............"}));
  EXPECT_EQ(Render(Load(back), 12, 2, 6, 0, "zA"), (std::vector<std::string>{"...#........", "............"}));
}

TEST(EditorTextDraw, CentredOnAPoint) {
  // "AA" is 8 wide and 3 high in width mode 0: from (10 - 4, 9 - 1).
  FontFile file = BlockFont();
  std::vector<std::string> expected(12, std::string(16, '.'));
  for (int row = 8; row < 11; ++row) expected[row].replace(6, 8, "########");
  EXPECT_EQ(Render(Load(file), 16, 12, 10, 9, "AA", true), expected);
  // Width mode 255 counts 8 per character (16) and 4 rows up whatever the glyph height, while the
  // glyphs still advance by their byte table widths: from (10 - 8, 9 - 4).
  expected.assign(12, std::string(16, '.'));
  for (int row = 5; row < 8; ++row) expected[row].replace(2, 8, "########");
  EXPECT_EQ(Render(Load(file.Mode(255)), 16, 12, 10, 9, "AA", true), expected);
}

// Where a built-in glyph's drawn columns begin and how many there are.
void Columns(int glyph, int* left, int* width) {
  uint8_t used = 0;
  for (const uint8_t row : engine::kGlyphs8x8[glyph]) used |= row;
  *left = used == 0 ? 0 : std::countl_zero(used);
  *width = used == 0 ? 0 : 8 - *left - std::countr_zero(used);
}

TEST(EditorFontData, BuiltinFontCoversPrintableAscii) {
  const EditorFont font = engine::BuiltinEditorFont();
  EXPECT_EQ(font.widthMode, 255);
  EXPECT_EQ(font.height, 8);
  for (int glyph = 1; glyph < engine::kGlyphCount; ++glyph) {
    int left = 0, width = 0;
    Columns(glyph, &left, &width);
    EXPECT_GT(width, 0) << "character " << glyph + engine::kFirstGlyph << " is blank";
  }
  EXPECT_EQ(engine::EditorTextWidth(font, "Hello, world"), 96);
  // Codes without a glyph are blank but still 8 wide.
  EXPECT_EQ(Render(font, 30, 10, 0, 0, "\x01\xFF" "A"), Render(font, 30, 10, 16, 0, "A"));
}

TEST(EditorFontData, Font8FileDrawsAsTheBuiltinFont) {
  EditorFont fixed;
  std::string error;
  const std::vector<uint8_t> bytes = mkdata::FixedFontFile();
  ASSERT_TRUE(engine::LoadEditorFont(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                                     "data/font8.fnt", &fixed, &error))
      << error;
  const EditorFont builtin = engine::BuiltinEditorFont();
  EXPECT_EQ(fixed.widthMode, 255);
  EXPECT_EQ(fixed.spaceWidth, 8);
  EXPECT_EQ(fixed.widths, builtin.widths);
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c == '\r' || c == '\n' ? 'x' : c);
  EXPECT_EQ(engine::EditorTextWidth(fixed, all), 255 * 8);
  for (size_t at = 0; at < all.size(); at += 100) {
    const std::string part = all.substr(at, 100);
    EXPECT_EQ(Render(fixed, 820, 10, 0, 0, part), Render(builtin, 820, 10, 0, 0, part)) << at;
  }
}

TEST(EditorFontData, ProportionalFileHoldsTheTrimmedGlyphs) {
  EditorFont font;
  std::string error;
  const std::vector<uint8_t> bytes = mkdata::ProportionalFontFile();
  ASSERT_TRUE(engine::LoadEditorFont(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                                     "data/font.fnt", &font, &error))
      << error;
  EXPECT_EQ(font.widthMode, 0);
  EXPECT_EQ(font.lineGap, 1);
  EXPECT_EQ(font.letterSpacing, 2);
  EXPECT_EQ(font.height, 8);
  const EditorFont builtin = engine::BuiltinEditorFont();
  for (int glyph = 1; glyph < engine::kGlyphCount; ++glyph) {
    const char c = static_cast<char>(glyph + engine::kFirstGlyph);
    int left = 0, width = 0;
    Columns(glyph, &left, &width);
    EXPECT_EQ(font.widths[static_cast<uint8_t>(c)], width) << c;
    EXPECT_EQ(engine::EditorTextWidth(font, std::string(1, c)), width + 2) << c;
    // The same pixels as the 8 x 8 cell drawn with its blank left columns moved off. The built-in
    // font's line gap is one more: start it a row higher (the gap halves to 0 and 1).
    EXPECT_EQ(Render(font, 20, 10, 4, 1, std::string(1, c)), Render(builtin, 20, 10, 4 - left, 0, std::string(1, c)))
        << c;
  }
  EXPECT_LT(font.widths['i'], font.widths['W']);
  EXPECT_EQ(engine::EditorTextWidth(font, "a b"), font.widths['a'] + 2 + font.spaceWidth + font.widths['b'] + 2);
}

TEST(EditorFontData, WrittenIntoTheDataFolder) {
  testing_support::TempFolder folder("efont");
  ASSERT_TRUE(folder.ok()) << folder.error();
  ASSERT_TRUE(mkdata::WriteEditorFonts(folder.path()));
  for (const auto& [name, expected] :
       {std::pair{"font.fnt", mkdata::ProportionalFontFile()}, std::pair{"font8.fnt", mkdata::FixedFontFile()}}) {
    std::string bytes;
    ASSERT_TRUE(core::ReadFile(folder / name, &bytes)) << name;
    EXPECT_EQ(bytes, std::string(expected.begin(), expected.end())) << name;
    EditorFont font;
    std::string error;
    EXPECT_TRUE(engine::LoadEditorFont(bytes, folder / name, &font, &error)) << error;
    EXPECT_GT(engine::EditorTextWidth(font, "Mm0wW"), 20) << name;
  }
}

}  // namespace
