// The editor's bitmap fonts: reading, the built-in font, measuring and drawing. Calls nothing
// outside the standard library and the built-in glyph table.
#include "engine/widgets/editor_font.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

#include "engine/widgets/glyphs8x8.h"

namespace engine {

namespace {

uint32_t Read16(std::string_view bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8;
}

int32_t Read32(std::string_view bytes, size_t at) {
  return static_cast<int32_t>(Read16(bytes, at) | Read16(bytes, at + 2) << 16);
}

std::string_view LastComponent(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Space, CR and LF move the pen and are never drawn as glyphs, so their table entries are not
// held to the glyph rules.
bool IsDrawn(int code) { return code != ' ' && code != '\r' && code != '\n'; }

std::string Fail(std::string_view fileName, const std::string& what) {
  return std::string(fileName) + ": " + what;
}

}  // namespace

bool LoadEditorFont(std::string_view bytes, std::string_view fileName, EditorFont* out, std::string* error) {
  auto refuse = [&](const std::string& what) {
    if (error != nullptr) *error = Fail(fileName, what);
    return false;
  };
  if (bytes.size() < kEditorFontHeaderBytes) {
    return refuse("the file is " + std::to_string(bytes.size()) + " bytes, too short for the " +
                  std::to_string(kEditorFontHeaderBytes) + "-byte header");
  }
  if (bytes.size() < kEditorFontBitmapAt) {
    return refuse("the file is " + std::to_string(bytes.size()) + " bytes, too short for the width tables (" +
                  std::to_string(kEditorFontBitmapAt) + " bytes)");
  }

  EditorFont font;
  font.widthMode = static_cast<uint8_t>(bytes[kEditorFontWidthModeAt]);
  font.lineGap = static_cast<uint8_t>(bytes[kEditorFontLineGapAt]);
  for (int c = 0; c < 256; ++c) font.widths[c] = static_cast<uint8_t>(bytes[kEditorFontWidthsAt + c]);
  for (int c = 0; c < 257; ++c) font.firstBits[c] = static_cast<uint16_t>(Read16(bytes, kEditorFontFirstBitsAt + 2 * c));
  font.height = static_cast<int>(Read16(bytes, kEditorFontHeightAt));
  font.rowBytes = static_cast<int>(Read16(bytes, kEditorFontRowBytesAt));
  font.letterSpacing = static_cast<int16_t>(Read16(bytes, kEditorFontSpacingAt));
  font.spaceWidth = static_cast<int16_t>(Read16(bytes, kEditorFontSpaceWidthAt));
  for (int c = 0; c < 256; ++c) {
    font.tableA[c] = Read32(bytes, kEditorFontTableAAt + 4 * c);
    font.tableB[c] = Read32(bytes, kEditorFontTableBAt + 4 * c);
  }

  if (font.height == 0) return refuse("the glyph height is 0");
  if (font.height > kEditorFontMaxHeight) {
    return refuse("the glyph height " + std::to_string(font.height) + " is above " +
                  std::to_string(kEditorFontMaxHeight));
  }
  const size_t bitmapBytes = static_cast<size_t>(font.height) * static_cast<size_t>(font.rowBytes);
  if (bytes.size() - kEditorFontBitmapAt < bitmapBytes) {
    return refuse("the file is " + std::to_string(bytes.size()) + " bytes, too short for a bitmap of " +
                  std::to_string(font.height) + " rows of " + std::to_string(font.rowBytes) + " bytes");
  }
  const uint32_t rowBits = static_cast<uint32_t>(font.rowBytes) * 8;
  for (int c = 0; c < 256; ++c) {
    const uint32_t width = font.widths[c], first = font.firstBits[c];
    if (width == 0 || !IsDrawn(c)) continue;
    if (width + first % 8 > kEditorFontMaxGlyphBits) {
      return refuse("glyph " + std::to_string(c) + " is " + std::to_string(width) + " pixels wide from bit " +
                    std::to_string(first) + ", more than 32 bits from its first byte");
    }
    if (first + width > rowBits) {
      return refuse("glyph " + std::to_string(c) + " (bits " + std::to_string(first) + " to " +
                    std::to_string(first + width - 1) + ") reaches past the end of its " +
                    std::to_string(font.rowBytes) + "-byte row");
    }
  }

  font.bitmap.assign(bitmapBytes + kEditorFontBitmapSlack, 0);
  if (bitmapBytes > 0) std::memcpy(font.bitmap.data(), bytes.data() + kEditorFontBitmapAt, bitmapBytes);

  const std::string_view name = LastComponent(fileName);
  if (name == "font.fnt") {
    font.lineGap = 1;
    font.letterSpacing = 2;
  } else if (name == "font8.fnt") {
    font.lineGap = 2;
    font.letterSpacing = 0;
  }
  *out = std::move(font);
  return true;
}

EditorFont BuiltinEditorFont() {
  // One byte column per printable glyph; every other code shares the blank glyph of the space.
  EditorFont font;
  font.widthMode = kEditorFontFixed;
  font.lineGap = 2;
  font.letterSpacing = 0;
  font.spaceWidth = 8;
  font.height = 8;
  font.rowBytes = kGlyphCount;
  font.widths.fill(8);
  font.firstBits.fill(0);
  for (int i = 0; i < kGlyphCount; ++i) font.firstBits[kFirstGlyph + i] = static_cast<uint16_t>(8 * i);
  font.firstBits[256] = static_cast<uint16_t>(8 * kGlyphCount);
  font.tableA.fill(8);
  font.bitmap.assign(static_cast<size_t>(font.height) * font.rowBytes + kEditorFontBitmapSlack, 0);
  for (int row = 0; row < 8; ++row) {
    for (int i = 0; i < kGlyphCount; ++i) font.bitmap[static_cast<size_t>(row) * font.rowBytes + i] = kGlyphs8x8[i][row];
  }
  return font;
}

int EditorTextWidth(const EditorFont& font, std::string_view text) {
  if (font.widthMode == kEditorFontFixed) {
    return static_cast<int>(std::min<size_t>(text.size() * 8, INT_MAX));
  }
  // Tables A and B are any 32-bit values: sum wide and clamp once.
  int64_t width = 0;
  for (const char ch : text) {
    const uint8_t c = static_cast<uint8_t>(ch);
    if (c == ' ') {
      width += font.spaceWidth;
    } else if (font.widthMode == kEditorFontByteWidths) {
      width += font.widths[c] + font.letterSpacing;
    } else {
      width += static_cast<int64_t>(font.tableA[c]) + font.tableB[c] + font.letterSpacing;
    }
    // Each step adds less than 2^34, so a sum clamped on the way never overflows 64 bits.
    width = std::clamp<int64_t>(width, INT64_MIN / 2, INT64_MAX / 2);
  }
  return static_cast<int>(std::clamp<int64_t>(width, INT_MIN, INT_MAX));
}

int EditorTextCentreHeight(const EditorFont& font) {
  return font.widthMode == kEditorFontFixed ? 8 : font.height;
}

namespace {

// Positions are kept in 64 bits: the advances of a long line, a start near the int range or a
// centred start left of it would otherwise overflow.
void Draw(const EditorFont& font, const CanvasView& canvas, int64_t penX, int64_t penY, std::string_view text,
          uint8_t colour) {
  if (canvas.pixels == nullptr || canvas.width <= 0 || canvas.height <= 0 || font.height <= 0) return;
  if (font.bitmap.size() < static_cast<size_t>(font.height) * font.rowBytes + kEditorFontBitmapSlack) return;
  penY += font.lineGap / 2;
  const int64_t lastX = canvas.width, lastY = canvas.height;
  const uint8_t* const bitmap = font.bitmap.data();
  const size_t rowBytes = static_cast<size_t>(font.rowBytes);
  const int height = font.height;
  for (const char ch : text) {
    const uint8_t c = static_cast<uint8_t>(ch);
    if (c == ' ') {
      penX += font.spaceWidth;
      continue;
    }
    if (c == '\r') {
      penX = 0;
      continue;
    }
    if (c == '\n') {
      penY += font.lineGap + height;
      continue;
    }
    const uint32_t width = font.widths[c];
    if (penX < 0 || penY < 0 || penX + width >= lastX || penY + height >= lastY) continue;
    const uint32_t first = font.firstBits[c];
    // The reader refuses glyphs that break these rules; a font put together by hand may still
    // hold one, which then shows as blank.
    if (width == 0 || width + first % 8 > uint32_t{kEditorFontMaxGlyphBits} || first + width > rowBytes * 8) {
      penX += static_cast<int64_t>(width) + font.letterSpacing;
      continue;
    }
    // The w bits from bit (first mod 8) of a big-endian word, moved to the word's top.
    const uint32_t mask = ~uint32_t{0} << (32 - width);
    const unsigned shift = first % 8;
    const uint8_t* source = bitmap + first / 8;
    uint8_t* target = canvas.pixels + static_cast<size_t>(penY) * static_cast<size_t>(canvas.pitch) +
                      static_cast<size_t>(penX);
    for (int row = 0; row < height; ++row, source += rowBytes, target += canvas.pitch) {
      uint32_t word;
      std::memcpy(&word, source, sizeof word);
      if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap32(word);
      uint32_t bits = (word << shift) & mask;
      while (bits != 0) {
        const int column = std::countl_zero(bits);
        target[column] = colour;
        bits &= ~(uint32_t{0x80000000u} >> column);
      }
    }
    penX += static_cast<int64_t>(width) + font.letterSpacing;
  }
}

}  // namespace

void DrawEditorText(const EditorFont& font, const CanvasView& canvas, int x, int y, std::string_view text,
                    uint8_t colour) {
  Draw(font, canvas, x, y, text, colour);
}

void DrawEditorTextCentred(const EditorFont& font, const CanvasView& canvas, int x, int y, std::string_view text,
                           uint8_t colour) {
  Draw(font, canvas, static_cast<int64_t>(x) - EditorTextWidth(font, text) / 2,
       static_cast<int64_t>(y) - EditorTextCentreHeight(font) / 2, text, colour);
}

}  // namespace engine
