// Text printed by brains: the per-tick text queue, the sixteen font slots with their glyph caches,
// and drawing the queue onto the CPU back surface. Calls the platform's fonts and the display's
// pixel format.
//
// Order: a play makes a fresh PrintedText (every slot "Arial", cell height 28, weight 400; colour
// white); the brain step empties the queue at the start of every tick; brains queue prints; every
// rendered frame draws the queue with DrawTextQueue. A slot opens its font at its first drawing
// and renders each byte's glyph once, so a frame that prints what earlier frames printed never
// calls the font library.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/display.h"
#include "platform/platform.h"

namespace engine {

// [SECTION] The text queue

inline constexpr int kTextQueueWords = 4096;
// Commands, each followed by its words.
inline constexpr int32_t kTextMove = 0;     // x, y: the top-left corner of the next text's cell
inline constexpr int32_t kTextDraw = 1;     // text (the argument as the brain gave it), font slot
inline constexpr int32_t kTextColour = 2;   // colour 0x00BBGGRR for the texts that follow
inline constexpr int32_t kTextNumber = 3;   // value, decimals, font slot
inline constexpr int32_t kTextEnd = -1;

// The commands of one tick, always ended by kTextEnd. A print that does not fit whole with the end
// word is dropped whole, so the queue never holds half a print.
class TextQueue {
 public:
  TextQueue() { Clear(); }

  // Empties the queue: the first word becomes the end.
  void Clear();
  // Colour, position, text: 8 words. False, queuing nothing, when they do not fit.
  bool QueueText(uint32_t colour, int32_t x, int32_t y, uint32_t text, int32_t slot);
  // Colour, position, number: 9 words. False, queuing nothing, when they do not fit.
  bool QueueNumber(uint32_t colour, int32_t x, int32_t y, int32_t value, int32_t decimals, int32_t slot);

  // The words before the end word.
  int Used() const { return used_; }
  const std::array<int32_t, kTextQueueWords>& Words() const { return words_; }

 private:
  bool Append(std::initializer_list<int32_t> words);

  std::array<int32_t, kTextQueueWords> words_;
  int used_ = 0;
};

// The text print_num shows: the value itself when decimals < 1, else value / 10^decimals with that
// many decimals, as "%.*f" writes it (a negative count means six decimals); at most 63 characters,
// the first 63 of the full text.
std::string NumberText(int32_t value, int32_t decimals);

// [SECTION] Font slots

inline constexpr int kFontSlotCount = 16;
inline constexpr int32_t kDefaultFontHeight = 28;
inline constexpr int32_t kDefaultFontWeight = 400;
inline constexpr const char* kDefaultFontFace = "Arial";
// Bytes of glyph weights one slot keeps cached; past it the slot's glyphs are dropped and rendered
// again as they are met, so a brain printing every byte at 1000 pixels cannot exhaust memory.
inline constexpr size_t kGlyphCacheBytes = size_t{16} << 20;

// Glyph rows are kept this many pixels apart at least, padded with zeros, so drawing can take
// whole groups of pixels.
inline constexpr int kGlyphRowGroup = 16;

// A glyph as the cache keeps it: its weights lie in the slot's store at `offset`, `height` rows of
// `stride`, the first `width` of each the glyph's and the rest 0. A weight is the pixel's coverage
// 0..255 taken as 0..256: a covered pixel moves toward the ink by weight / 256, a fully covered
// one all the way.
struct CachedGlyph {
  int32_t left = 0;  // from the pen to the first column
  int32_t top = 0;   // from the cell's top to the first row
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;  // width rounded up to a whole group
  int32_t advance = 0;
  uint32_t offset = 0;
  bool ready = false;
};

// One font slot: what the brain asked for, the font opened from it, and its glyphs by byte.
class FontSlot {
 public:
  // A new request. The same face, height and weight again keep the open font and its glyphs.
  void Set(std::string face, int32_t height, int32_t weight);
  const std::string& face() const { return face_; }
  int32_t height() const { return height_; }
  int32_t weight() const { return weight_; }

  // The font, opened at the first call after Set; null when no face can be opened (said once on
  // stderr).
  platform::Font* Font();
  // The glyph of a byte, rendered at its first use; only while Font() is not null. Its weights
  // stay where they are until the next call renders a glyph (the store grows, or starts again when
  // full).
  const CachedGlyph& Glyph(uint8_t byte);
  const int16_t* Weights(const CachedGlyph& glyph) const { return weights_.data() + glyph.offset; }
  // Glyphs this slot has had the font library render: a warm frame adds none.
  uint64_t GlyphsRendered() const { return rendered_; }

 private:
  void Forget();

  std::string face_ = kDefaultFontFace;
  int32_t height_ = kDefaultFontHeight;
  int32_t weight_ = kDefaultFontWeight;
  std::unique_ptr<platform::Font> font_;
  bool failed_ = false;
  std::array<CachedGlyph, 256> glyphs_{};
  std::vector<int16_t> weights_;
  uint64_t rendered_ = 0;
};

// [SECTION] The play's printed text

inline constexpr uint32_t kTextWhite = 0x00FFFFFF;

// Lives as long as a play: made fresh at every play start.
struct PrintedText {
  TextQueue queue;
  std::array<FontSlot, kFontSlotCount> fonts;
  uint32_t colour = kTextWhite;  // 0x00BBGGRR, for the prints to come

  // `font_set`: the slot is clamped to 0..15 and the weight to 0..1000; the height is kept as
  // given (the font takes |height| up to 1000).
  void SetFont(int32_t slot, std::string face, int32_t height, int32_t weight);
  // `color_set`: each channel clamped to 0..255.
  void SetColour(int32_t red, int32_t green, int32_t blue);
  // The slot a queued slot number draws with: clamped to 0..15 as font_set clamps it.
  FontSlot& Slot(int32_t slot);
};

// What a queued text word reads as when drawn; an empty view draws nothing.
using TextResolver = std::function<std::string_view(uint32_t text)>;

// Draws one text with its cell's top-left corner at (x, y), each glyph blended by its coverage in
// `colour` (0x00BBGGRR), clipped to the surface. The bytes are drawn as they are. A channel moves
// from its old value toward the ink by (ink - old) x weight / 256, rounded down, where the weight
// is the coverage 0..255 taken as coverage + coverage / 128: full coverage gives the ink exactly.
void DrawText(FontSlot* slot, const Surface& surface, int64_t x, int64_t y, uint32_t colour, std::string_view text);
// The same, always with the plain 16-byte groups a processor without AVX2 draws with: the same
// pixels, kept callable so the two can be checked against each other.
void DrawTextPortable(FontSlot* slot, const Surface& surface, int64_t x, int64_t y, uint32_t colour, std::string_view text);
// Walks the queue and draws it onto the back surface (nothing without one); the queue is left as
// it is for the next tick to empty.
void DrawTextQueue(PrintedText* text, const Surface& surface, const TextResolver& resolve);

}  // namespace engine
