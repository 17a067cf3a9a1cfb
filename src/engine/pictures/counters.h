// Counters: numbers drawn with a digit picture of 13 glyphs. Preparation of the picture, the glyph
// sequence of a value, drawing onto the back surface and the glyph boxes used for picking. Calls
// the PCX reader, the display's conversion table and the aspect data region.
#pragma once

#include <cstdint>

#include "core/core.h"
#include "engine/display.h"
#include "engine/pictures/forms.h"
#include "engine/pictures/pcx.h"
#include "engine/visuals/aspect.h"

namespace engine {

inline constexpr uint32_t kCounterTag = SlotTag("d3h.");

// The glyphs of a digit picture: 0..9 the digits, then these three.
inline constexpr int kGlyphPlus = 10;   // the sign shown for 0 and above
inline constexpr int kGlyphMinus = 11;
inline constexpr int kGlyphPoint = 12;
inline constexpr int kCounterGlyphCount = 13;
inline constexpr uint8_t kGlyphMarker = 255;  // top-row index of a glyph's last column

// Slot words of a counter.
enum CounterWord : int {
  kCounterPixels = 1,      // guest address of width x height palette indices, top row first
  kCounterWidth = 2,
  kCounterHeight = 3,
  kCounterTable = 4,       // guest address of the 256 16-bit display pixels of the picture's palette
  kCounterGlyphs = 5,      // guest address of 13 pairs of words: first column, width
  kCounterColours = 6,     // guest address of the 256 surface pixels, kCounterPixelBytes each
  kCounterPixelBytes = 7,  // 2 or 4
};

// Whether the top row of `picture` holds exactly 13 glyph markers.
bool IsDigitPicture(const PcxPicture& picture);

// Fills `slot` (cleared first) from a digit picture for surfaces of `format`: its pixels, display
// table, surface colours and glyph table in the aspect data region. A glyph is the columns after
// the previous marker up to and including its own. False for a picture without exactly 13 markers
// (the caller prepares counters/default_.pcx instead) or when the region has no room.
bool PrepareCounter(AspectMemory* memory, const PcxPicture& picture, const PixelFormat& format, int32_t* slot);

// The glyph indices a counter draws for `value`: with `sign` first 10 (value >= 0) or 11, the value
// then taken as positive in 64 bits; then for d = leading, leading / 10, ... down to 1 the glyph
// value / d (value reduced mod d after it), with the point glyph after the digit whose d equals
// `point`. A leading divisor below 1 draws nothing. A quotient outside 0..12 (more digits than the
// leading divisor provides) is given as -1: it draws nothing and takes no room. Returns the count
// (at most 16).
int CounterGlyphs(int32_t value, int32_t leading, int32_t point, int32_t sign, int8_t glyphs[16]);

// What a counter element asks to draw: its position, value and the three type-data words.
struct CounterValue {
  int32_t x = 0, y = 0;
  int32_t value = 0;
  int32_t leading = 0, point = 0, sign = 0;
};
// The counter value of a record: position x and y, credits, words 15 to 17.
CounterValue CounterOf(const int32_t* record);

// Draws the counter when its position lies on the surface and its glyphs fit above the last row.
// Glyph pixels of index 0 and the marker pixels are not drawn; the glyphs stop at the right edge.
// Nothing is drawn when the slot is not a prepared counter whose data lie inside the aspect data
// region of `arena`, or was made for another pixel size.
void DrawCounter(const core::Arena& arena, const int32_t* slot, const CounterValue& counter, const Surface& surface);

// Whether (px, py) lies in one of the glyph boxes the counter draws on a surface of this size.
bool CounterCovers(const core::Arena& arena, const int32_t* slot, const CounterValue& counter, int width, int height,
                   int32_t px, int32_t py);

}  // namespace engine
