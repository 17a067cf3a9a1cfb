// The editor's bitmap fonts: the font file reader, the built-in fallback font, text measuring and
// drawing onto the tools' 8-bit canvas. Calls nothing outside the standard library.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Font file layout, all numbers little-endian.
inline constexpr size_t kEditorFontWidthModeAt = 37;    // 1 byte
inline constexpr size_t kEditorFontLineGapAt = 38;      // 1 byte
inline constexpr size_t kEditorFontWidthsAt = 39;       // 256 bytes
inline constexpr size_t kEditorFontFirstBitsAt = 295;   // 257 unsigned 16-bit
inline constexpr size_t kEditorFontHeightAt = 809;      // unsigned 16-bit
inline constexpr size_t kEditorFontRowBytesAt = 811;    // unsigned 16-bit
inline constexpr size_t kEditorFontSpacingAt = 815;     // signed 16-bit
inline constexpr size_t kEditorFontSpaceWidthAt = 817;  // signed 16-bit
inline constexpr size_t kEditorFontHeaderBytes = 819;
inline constexpr size_t kEditorFontTableAAt = 819;      // 256 signed 32-bit
inline constexpr size_t kEditorFontTableBAt = 1843;     // 256 signed 32-bit
inline constexpr size_t kEditorFontBitmapAt = 2867;     // height x row bytes

// Width modes (byte 37): every character 8 pixels wide; widths from the byte table; any other
// value measures by tables A and B.
inline constexpr uint8_t kEditorFontFixed = 255;
inline constexpr uint8_t kEditorFontByteWidths = 0;

// Limits of what the reader accepts; real fonts are a few dozen rows of a few hundred bytes.
inline constexpr int kEditorFontMaxHeight = 256;
inline constexpr int kEditorFontMaxGlyphBits = 32;

// A loaded font. Glyph c is drawn from the bitmap rows at bits firstBits[c] ..
// firstBits[c] + widths[c] - 1; the bitmap holds `height` rows of `rowBytes` bytes, the most
// significant bit of a byte first, followed by kEditorFontBitmapSlack zero bytes so that a
// glyph's row is always read as one 32-bit word. Every glyph that can be drawn (all codes but
// space, CR and LF) has widths[c] + firstBits[c] % 8 <= 32 and lies inside its row.
inline constexpr size_t kEditorFontBitmapSlack = 4;
struct EditorFont {
  uint8_t widthMode = kEditorFontFixed;
  uint8_t lineGap = 0;
  std::array<uint8_t, 256> widths{};
  std::array<uint16_t, 257> firstBits{};
  int height = 0;
  int rowBytes = 0;
  int letterSpacing = 0;
  int spaceWidth = 0;
  std::array<int32_t, 256> tableA{};
  std::array<int32_t, 256> tableB{};
  std::vector<uint8_t> bitmap;
};

// Reads a font file held in memory. The line gap and letter spacing are set by the file's name
// (its last path component): 1 and 2 for "font.fnt", 2 and 0 for "font8.fnt"; other names keep
// the stored values. False, with a message in *error and *out untouched, when the file is too
// short for the header, the two tables or the bitmap, when the glyph height is 0 or above 256,
// or when a glyph is wider than 32 bits from its first byte or reaches past the end of its row.
bool LoadEditorFont(std::string_view bytes, std::string_view fileName, EditorFont* out, std::string* error);

// An 8 x 8 fixed font (width mode 255, line gap 2, no letter spacing, space 8 pixels) drawn from
// the built-in glyphs: printable ASCII, every other code blank. Used when a font file is refused.
EditorFont BuiltinEditorFont();

// Width in pixels of `text`: 8 per character in width mode 255; in mode 0 each character's byte
// table width + letter spacing; otherwise table A + table B + letter spacing; in modes other than
// 255 a space counts the space width instead. Clamped to the int range.
int EditorTextWidth(const EditorFont& font, std::string_view text);

// Height used to centre text vertically: 8 in width mode 255, else the glyph height.
int EditorTextCentreHeight(const EditorFont& font);

// A view of an 8-bit canvas (palette indices): `height` rows of `width` pixels, rows `pitch`
// bytes apart (pitch >= width). The view does not own the pixels.
struct CanvasView {
  uint8_t* pixels = nullptr;
  int pitch = 0;
  int width = 0;
  int height = 0;
};

// Draws `text` with its top-left corner at (x, y) in palette index `colour`; set bits of a glyph
// paint, clear bits leave the canvas as it is. The first row is moved down by half the line gap.
// A space advances x by the space width, CR sets x to 0, LF moves down by line gap + glyph
// height; any other character is drawn and advances x by its byte table width + letter spacing.
// A glyph that would start left of column 0 or above row 0, or whose last column or row would
// reach the canvas's last column or row (x + width >= canvas width, y + height >= canvas
// height), is skipped and x does not advance. Nothing outside the canvas is ever written.
void DrawEditorText(const EditorFont& font, const CanvasView& canvas, int x, int y, std::string_view text,
                    uint8_t colour);

// Draws `text` centred on (x, y): from x - EditorTextWidth / 2 and y - EditorTextCentreHeight / 2.
void DrawEditorTextCentred(const EditorFont& font, const CanvasView& canvas, int x, int y, std::string_view text,
                           uint8_t colour);

}  // namespace engine
