// Sprites: screen pictures prepared as span lists for the back surface, drawn opaque or
// translucent inside a clip rectangle, and hit-tested for picking. Calls the PCX reader, the
// display's conversion table and the aspect data region.
#pragma once

#include <cstdint>

#include "core/core.h"
#include "engine/display.h"
#include "engine/pictures/forms.h"
#include "engine/pictures/pcx.h"
#include "engine/visuals/aspect.h"

namespace engine {

inline constexpr uint32_t kSpriteTag = SlotTag("d3e.");

// Slot words of a sprite.
enum SpriteWord : int {
  kSpriteSpans = 1,       // guest address of the span list
  kSpriteSpanBytes = 2,   // its size in bytes, the end word included
  kSpriteWidth = 3,
  kSpriteHeight = 4,
  kSpriteTable = 5,       // guest address of the 256 16-bit display pixels of the picture's palette
  kSpritePixelBytes = 6,  // 2 or 4: the size of the surface pixels the spans hold
  kSpritePitch = 7,       // the surface pitch the span offsets were made for
};

// The span list: for each row from the top, each horizontal run of non-zero pixels is one record
// of four words -- byte offset on the surface (row x pitch + pixel size x column), run length,
// column, row -- followed by the run's pixels, already in the surface's format (the display table
// of the picture's palette, widened on 32-bit surfaces) and padded to a whole word. An offset word
// of kSpanEnd ends the list. Index 0 is transparent and makes no span.
inline constexpr int32_t kSpanEnd = 2147483647;
struct SpanRecord {
  int32_t offset;
  int32_t length;
  int32_t column;
  int32_t row;
};

// Fills `slot` (cleared first) with `picture` coded as a span list for surfaces of `format` and its
// display table, both in the aspect data region. False when they do not fit (the slot keeps its tag
// and size and draws nothing) or the format is not 16 or 32 bits a pixel.
bool PrepareSprite(AspectMemory* memory, const PcxPicture& picture, const PixelFormat& format, int32_t* slot);

// An inclusive rectangle of surface pixels.
struct ClipRectangle {
  int32_t x1 = 0, y1 = 0, x2 = -1, y2 = -1;
  bool Contains(int32_t x, int32_t y) const { return x >= x1 && x <= x2 && y >= y1 && y <= y2; }
};
// A sprite's clip rectangle (record words 15 to 18: x1, y1, x2, y2) intersected with the surface,
// so that a rectangle reaching past the screen never lets a sprite write outside it.
ClipRectangle SpriteClip(const int32_t* record, int width, int height);

// Draws a prepared sprite with its top-left corner at (x, y), only its pixels inside `clip` (which
// must lie on the surface). Opaque sprites write their pixels; translucent ones the per-channel
// average (rounded down) of the pixel and the one already there. Nothing is drawn when the slot is
// not a sprite, its span list is not wholly inside the aspect data region of `arena`, or it was made
// for another pixel size; a span list changed by a brain is walked only as far as it stays inside
// its own bytes.
void DrawSprite(const core::Arena& arena, const int32_t* slot, int32_t x, int32_t y, const ClipRectangle& clip,
                bool translucent, const Surface& surface);

// Whether the sprite at (x, y) draws a pixel at (px, py) inside `clip`.
bool SpriteCovers(const core::Arena& arena, const int32_t* slot, int32_t x, int32_t y, const ClipRectangle& clip,
                  int32_t px, int32_t py);

// The per-channel average, rounded down, of two pixels of `format` (16 or 32 bits).
inline uint32_t AveragePixels(uint32_t a, uint32_t b, uint32_t lowBits) { return (a & b) + (((a ^ b) & ~lowBits) >> 1); }
// The lowest bit of every channel: the bits the average above drops before halving.
uint32_t ChannelLowBits(const PixelFormat& format);

}  // namespace engine
