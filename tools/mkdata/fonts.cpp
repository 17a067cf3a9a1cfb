// The editor's two bitmap font files, built from the shared 8 x 8 glyph table. Calls core (file
// writing) and the glyph table of src/engine/widgets/.
#include <cstdio>

#include "core/core.h"
#include "engine/widgets/glyphs8x8.h"
#include "mkdata/bytes.h"
#include "mkdata/mkdata.h"

namespace mkdata {
namespace {

// Font file layout: the fields the reader takes, at their offsets (little-endian).
constexpr size_t kWidthModeAt = 37;
constexpr size_t kLineGapAt = 38;
constexpr size_t kWidthsAt = 39;
constexpr size_t kFirstBitsAt = 295;
constexpr size_t kHeightAt = 809;
constexpr size_t kRowBytesAt = 811;
constexpr size_t kSpacingAt = 815;
constexpr size_t kSpaceWidthAt = 817;
constexpr size_t kTableAAt = 819;
constexpr size_t kTableBAt = 1843;
constexpr size_t kBitmapAt = 2867;
constexpr int kHeight = 8;

struct Glyph {
  int first = 0;  // leftmost column drawn, 0 = the cell's left
  int width = 0;  // columns kept
};

// The columns a glyph uses; a blank glyph keeps none.
Glyph Trimmed(const uint8_t (&rows)[8]) {
  uint8_t used = 0;
  for (const uint8_t row : rows) used |= row;
  if (used == 0) return {};
  int left = 0;
  while (!(used & (0x80 >> left))) ++left;
  int right = 7;
  while (!(used & (0x80 >> right))) --right;
  return {left, right - left + 1};
}

void Set16(Bytes* out, size_t at, uint32_t value) {
  (*out)[at] = static_cast<uint8_t>(value);
  (*out)[at + 1] = static_cast<uint8_t>(value >> 8);
}

// The header and tables of a font whose glyph c is widths[c] wide from bit firstBits[c]. Table A
// holds each width and table B zero, so the third width mode measures as mode 0 does.
Bytes Header(uint8_t widthMode, uint8_t lineGap, int spacing, int spaceWidth, int rowBytes, const int (&widths)[256],
             const int (&firstBits)[257]) {
  Bytes out(kBitmapAt, 0);
  out[kWidthModeAt] = widthMode;
  out[kLineGapAt] = lineGap;
  for (int c = 0; c < 256; ++c) {
    out[kWidthsAt + c] = static_cast<uint8_t>(widths[c]);
    Set32(&out, kTableAAt + 4 * c, static_cast<uint32_t>(widths[c]));
    Set32(&out, kTableBAt + 4 * c, 0);
  }
  for (int c = 0; c < 257; ++c) Set16(&out, kFirstBitsAt + 2 * c, static_cast<uint32_t>(firstBits[c]));
  Set16(&out, kHeightAt, kHeight);
  Set16(&out, kRowBytesAt, static_cast<uint32_t>(rowBytes));
  Set16(&out, kSpacingAt, static_cast<uint32_t>(spacing));
  Set16(&out, kSpaceWidthAt, static_cast<uint32_t>(spaceWidth));
  return out;
}

}  // namespace

std::vector<uint8_t> FixedFontFile() {
  // One byte column per glyph, each cell exactly as drawn; codes without a glyph use the blank
  // space cell, so every code is 8 pixels wide as the fixed width mode measures it.
  int widths[256], firstBits[257];
  for (int c = 0; c < 256; ++c) {
    widths[c] = 8;
    firstBits[c] = 0;
  }
  for (int i = 0; i < engine::kGlyphCount; ++i) firstBits[engine::kFirstGlyph + i] = 8 * i;
  firstBits[256] = 8 * engine::kGlyphCount;
  const int rowBytes = engine::kGlyphCount;
  Bytes out = Header(255, 2, 0, 8, rowBytes, widths, firstBits);
  for (int row = 0; row < kHeight; ++row) {
    for (int i = 0; i < engine::kGlyphCount; ++i) out.push_back(engine::kGlyphs8x8[i][row]);
  }
  return out;
}

std::vector<uint8_t> ProportionalFontFile() {
  // Each glyph trimmed to the columns it uses and packed bit after bit; the reader adds 2 pixels
  // of letter spacing between characters. Codes without a glyph are 0 pixels wide.
  int widths[256] = {}, firstBits[257] = {};
  Glyph glyphs[engine::kGlyphCount];
  int bit = 0;
  for (int i = 0; i < engine::kGlyphCount; ++i) {
    glyphs[i] = Trimmed(engine::kGlyphs8x8[i]);
    widths[engine::kFirstGlyph + i] = glyphs[i].width;
    firstBits[engine::kFirstGlyph + i] = bit;
    bit += glyphs[i].width;
  }
  for (int c = engine::kFirstGlyph + engine::kGlyphCount; c < 257; ++c) firstBits[c] = bit;
  const int rowBytes = (bit + 7) / 8;
  Bytes out = Header(0, 1, 2, 4, rowBytes, widths, firstBits);
  for (int row = 0; row < kHeight; ++row) {
    Bytes line(static_cast<size_t>(rowBytes), 0);
    for (int i = 0; i < engine::kGlyphCount; ++i) {
      const uint8_t cell = engine::kGlyphs8x8[i][row];
      for (int k = 0; k < glyphs[i].width; ++k) {
        if (!(cell & (0x80 >> (glyphs[i].first + k)))) continue;
        const int at = firstBits[engine::kFirstGlyph + i] + k;
        line[at / 8] |= static_cast<uint8_t>(0x80 >> (at % 8));
      }
    }
    out.insert(out.end(), line.begin(), line.end());
  }
  return out;
}

bool WriteEditorFonts(const std::string& folder) {
  return WriteBytes(folder + "font.fnt", ProportionalFontFile()) && WriteBytes(folder + "font8.fnt", FixedFontFile());
}

}  // namespace mkdata
