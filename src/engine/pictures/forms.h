// The prepared forms of flat pictures in their aspect slots (flat shapes, frames, backgrounds),
// drawing frames and filled rectangles into the CPU back surface. Calls the PCX reader, the aspect
// data region and core.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/core.h"
#include "engine/display.h"
#include "engine/pictures/bmp.h"
#include "engine/pictures/pcx.h"
#include "engine/visuals/aspect.h"

namespace engine {

// A slot's tag word: the four bytes of `name` in file order, read as one little-endian word.
constexpr uint32_t SlotTag(const char (&name)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(name[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(name[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(name[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(name[3])) << 24;
}
// The four bytes of a tag word as text for JSON: anything but a printable character other than a
// quote or a backslash shows as '?'.
std::string SlotTagText(uint32_t tag);

inline constexpr uint32_t kFlatShapeTag = SlotTag("d3b.");
inline constexpr uint32_t kFrameTag = SlotTag("d3f.");
inline constexpr uint32_t kBackgroundTag = SlotTag("d3g.");

// ---------------------------------------------------------------------------------------------
// Flat shapes
// ---------------------------------------------------------------------------------------------

// Slot words of a flat shape.
enum FlatShapeWord : int {
  kFlatShapePixels = 1,  // guest address of width x height 0xAARRGGBB colours, top row first
  kFlatShapeWidth = 2,
  kFlatShapeHeight = 3,
  kFlatShapeShift = 4,  // always 4 (the bytes of one colour)
  kFlatShapeLog2 = 5,   // log2(width)
};

// Fills `slot` (16 words, cleared first) from a square picture whose side is a power of two
// (1 included): its pixels become colours through FlatShapeTable(colourKey), stored in the aspect
// data region, and `decal` gets the same colours as RGBA bytes for the renderer. False, with
// nothing changed, for any other size: the caller then prepares data/error.pcx instead. When the
// region has no room the slot is filled but its pixel address is 0 (the decal is still made).
bool PrepareFlatShape(AspectMemory* memory, const PcxPicture& picture, bool colourKey, int32_t* slot, Picture* decal);

// ---------------------------------------------------------------------------------------------
// Frames
// ---------------------------------------------------------------------------------------------

inline constexpr int32_t kFrameMaxWidth = 640;
inline constexpr int32_t kFrameMaxHeight = 480;

// Slot words of a frame.
enum FrameWord : int {
  kFrameCode = 1,       // guest address of the coded picture
  kFrameCodeBytes = 2,  // its size in bytes
  kFrameWidth = 3,      // coded size: the picture clipped to 640 x 480
  kFrameHeight = 4,
  kFrameTable = 5,  // guest address of the 256 16-bit display pixels of the picture's palette
};

// The coded picture: for each row from the top, runs that cover exactly the row's width and never
// cross into the next row. A control byte c below 128 is followed by c + 1 literal palette
// indices; c of 128 or more by one index repeated c - 126 times (2 to 129).
//
// Fills `slot` (cleared first) with the picture clipped to its top-left 640 x 480 pixels, coded as
// above, and its display table built for `format` (BuildConversionTable), both in the aspect data
// region. False when they do not fit: the slot then keeps its tag and size but no addresses, and
// draws nothing.
bool PrepareFrame(AspectMemory* memory, const PcxPicture& picture, const PixelFormat& format, int32_t* slot);

// Expands a prepared frame into `surface` (`width` x `height` pixels, format.pitch bytes a row,
// 16 or 32 bits a pixel) from its top-left corner: each index through the frame's display table,
// widened (WidenPixel) on 32-bit surfaces. `format` is the display's, as given to PrepareFrame.
// Clipped to the surface. Draws nothing when the slot is not a frame, its sizes are out of range,
// its code or table is not wholly inside the aspect data region of `arena`, or the surface's pitch
// is too small for its width; a code that ends early or overruns a row stops or is cut there, so
// slot words and coded bytes changed by a brain never make it read or write outside its buffers.
void DrawFrame(const core::Arena& arena, const int32_t* slot, uint8_t* surface, const PixelFormat& format, int width,
               int height);

// ---------------------------------------------------------------------------------------------
// Backgrounds and filled rectangles
// ---------------------------------------------------------------------------------------------

// Slot words of a background.
enum BackgroundWord : int {
  kBackgroundWidth = 1,
  kBackgroundHeight = 2,
  kBackgroundColour = 3,  // palette index of the fill colour
};

// Fills `slot` (16 words) from a file's bytes. A PCX gives its width, height and the index of its
// top-left pixel (an unreadable one the 1 x 1 picture of index 0); with `g3d` the bytes are a
// 64-byte slot image copied whole, a shorter one reading zeros for what is missing and anything
// past 64 bytes ignored. Word 0 is set to the background tag either way.
void PrepareBackground(std::string_view bytes, bool g3d, int32_t* slot);

// Fills [x1, x2) x [y1, y2) of `surface` (`width` x `height` pixels, format.pitch bytes a row) with
// `pixel`, clipped to the surface: the low 16 bits on 16-bit surfaces, all 32 on 32-bit ones.
// Nothing on other depths or when the pitch is too small for the width.
void FillRectangle(uint8_t* surface, const PixelFormat& format, int width, int height, int x1, int y1, int x2, int y2,
                   uint32_t pixel);

}  // namespace engine
