// Printed text: the text queue, the font slots and their glyph caches, and the blending of glyph
// coverage into the back surface. Calls the platform's fonts and the C library's formatting.
#include "engine/text/printed_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <utility>

namespace engine {

// [SECTION] The text queue

void TextQueue::Clear() {
  used_ = 0;
  words_[0] = kTextEnd;
}

bool TextQueue::Append(std::initializer_list<int32_t> words) {
  // Room for the words and the end word after them.
  if (used_ + static_cast<int>(words.size()) + 1 > kTextQueueWords) return false;
  for (const int32_t word : words) words_[static_cast<size_t>(used_++)] = word;
  words_[static_cast<size_t>(used_)] = kTextEnd;
  return true;
}

bool TextQueue::QueueText(uint32_t colour, int32_t x, int32_t y, uint32_t text, int32_t slot) {
  return Append({kTextColour, static_cast<int32_t>(colour), kTextMove, x, y, kTextDraw, static_cast<int32_t>(text), slot});
}

bool TextQueue::QueueNumber(uint32_t colour, int32_t x, int32_t y, int32_t value, int32_t decimals, int32_t slot) {
  return Append({kTextColour, static_cast<int32_t>(colour), kTextMove, x, y, kTextNumber, value, decimals, slot});
}

std::string NumberText(int32_t value, int32_t decimals) {
  char text[64];
  if (decimals < 1) {
    // A negative precision counts as none given: six decimals.
    std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(value));
  } else {
    // The power is a double: 10^10 and beyond overflow 32 bits, and past 10^308 the quotient is
    // simply 0. A double has no digits beyond 1074 places after the point, so a larger count only
    // adds zeros and the first 63 characters are those of the full text.
    const double scaled = static_cast<double>(value) / std::pow(10.0, decimals);
    std::snprintf(text, sizeof text, "%.*f", std::min(decimals, 1100), scaled);
  }
  return text;
}

// [SECTION] Font slots

void FontSlot::Set(std::string face, int32_t height, int32_t weight) {
  // Brains often set the same font every tick: keep what is open and rendered.
  if (face == face_ && height == height_ && weight == weight_) return;
  face_ = std::move(face);
  height_ = height;
  weight_ = weight;
  font_.reset();
  failed_ = false;
  Forget();
}

void FontSlot::Forget() {
  glyphs_.fill(CachedGlyph{});
  weights_.clear();
}

platform::Font* FontSlot::Font() {
  if (font_ == nullptr && !failed_) {
    std::string error;
    font_ = platform::Font::Open(face_, height_, weight_, &error);
    if (font_ == nullptr) {
      failed_ = true;
      std::fprintf(stderr, "text: %s\n", error.c_str());
    }
  }
  return font_.get();
}

const CachedGlyph& FontSlot::Glyph(uint8_t byte) {
  CachedGlyph& glyph = glyphs_[byte];
  if (glyph.ready) return glyph;
  platform::GlyphBitmap bitmap;
  font_->RenderGlyph(byte, &bitmap);  // a byte the font cannot render stays empty, never retried
  ++rendered_;
  const int32_t stride = (bitmap.width + kGlyphRowGroup - 1) / kGlyphRowGroup * kGlyphRowGroup;
  const size_t count = static_cast<size_t>(stride) * static_cast<size_t>(bitmap.height);
  if ((weights_.size() + count) * sizeof(int16_t) > kGlyphCacheBytes) Forget();
  glyph.left = bitmap.left;
  glyph.top = bitmap.top;
  glyph.width = bitmap.width;
  glyph.height = bitmap.height;
  glyph.stride = stride;
  glyph.advance = bitmap.advance;
  glyph.offset = static_cast<uint32_t>(weights_.size());
  glyph.ready = true;
  weights_.resize(weights_.size() + count, 0);
  for (int32_t row = 0; row < bitmap.height; ++row) {
    int16_t* out = weights_.data() + glyph.offset + static_cast<size_t>(row) * static_cast<size_t>(stride);
    const uint8_t* in = bitmap.coverage.data() + static_cast<size_t>(row) * static_cast<size_t>(bitmap.width);
    for (int32_t x = 0; x < bitmap.width; ++x) out[x] = static_cast<int16_t>(in[x] + (in[x] >> 7));
  }
  return glyph;
}

// [SECTION] The play's printed text

void PrintedText::SetFont(int32_t slot, std::string face, int32_t height, int32_t weight) {
  Slot(slot).Set(std::move(face), height, std::clamp(weight, 0, 1000));
}

void PrintedText::SetColour(int32_t red, int32_t green, int32_t blue) {
  colour = static_cast<uint32_t>(std::clamp(red, 0, 255)) | static_cast<uint32_t>(std::clamp(green, 0, 255)) << 8 |
           static_cast<uint32_t>(std::clamp(blue, 0, 255)) << 16;
}

FontSlot& PrintedText::Slot(int32_t slot) { return fonts[static_cast<size_t>(std::clamp(slot, 0, kFontSlotCount - 1))]; }

// [SECTION] Drawing
//
// Drawing is all pixel work (the glyphs come from the cache), so it is done a group of pixels at a
// time with the compiler's vector types: 16-byte groups everywhere, 32-byte groups where the
// processor has AVX2, chosen at run time. The three surface layouts are compile-time types, so the
// channel shifts and masks are constants.

namespace {

struct Rgb565 {
  using Pixel = uint16_t;
  static constexpr uint32_t kMask[3] = {0xF800, 0x07E0, 0x001F};
  static constexpr int kShift[3] = {11, 5, 0};
};
struct Rgb555 {
  using Pixel = uint16_t;
  static constexpr uint32_t kMask[3] = {0x7C00, 0x03E0, 0x001F};
  static constexpr int kShift[3] = {10, 5, 0};
};
struct Xrgb8888 {
  using Pixel = uint32_t;
  static constexpr uint32_t kMask[3] = {0xFF0000, 0x00FF00, 0x0000FF};
  static constexpr int kShift[3] = {16, 8, 0};
};

// A group of pixels as one vector of `kBytes` bytes, the same lanes signed, and the group's
// glyph weights as a vector of as many lanes.
template <typename Pixel, int kBytes>
struct Group {
  typedef Pixel Lanes __attribute__((vector_size(kBytes)));
  typedef std::make_signed_t<Pixel> Signed __attribute__((vector_size(kBytes)));
  static constexpr int kLanes = kBytes / static_cast<int>(sizeof(Pixel));
  typedef int16_t Weights __attribute__((vector_size(kLanes * 2)));
};

// The colour of one text in a layout's channels: each 8-bit channel scaled to the channel's width
// with rounding, as the other 2D drawing makes its pixels. Bits outside the channels are kept.
template <typename Layout>
struct Ink {
  explicit Ink(uint32_t colour) {
    const uint32_t bytes[3] = {colour & 0xFF, colour >> 8 & 0xFF, colour >> 16 & 0xFF};
    for (int c = 0; c < 3; ++c) {
      value[c] = static_cast<int32_t>((bytes[c] * (Layout::kMask[c] >> Layout::kShift[c]) + 127) / 255);
      pixel |= static_cast<uint32_t>(value[c]) << Layout::kShift[c];
    }
  }
  static constexpr uint32_t kKeep = ~(Layout::kMask[0] | Layout::kMask[1] | Layout::kMask[2]);
  int32_t value[3] = {};
  uint32_t pixel = 0;
};

// Channel `kChannel` of a group blended into `pixel`. Vectors go by reference: a 32-byte vector
// passed by value would depend on how the caller was compiled.
template <typename Layout, int kChannel, typename Lanes, typename Signed>
[[gnu::always_inline]] inline void MixChannel(const Lanes& old, const Signed& weight, const Signed& ink, Lanes* pixel) {
  using Pixel = typename Layout::Pixel;
  constexpr auto kMask = static_cast<Pixel>(Layout::kMask[kChannel]);
  constexpr int kShift = Layout::kShift[kChannel];
  // A channel at the top of the pixel needs no mask: the shift drops the bits below it.
  constexpr bool kTop = static_cast<Pixel>(static_cast<Pixel>(~Pixel{0}) >> kShift << kShift) == kMask;
  const Signed was = reinterpret_cast<Signed>((kTop ? old : old & kMask) >> kShift);
  const Signed mixed = was + (((ink - was) * weight) >> 8);
  *pixel |= reinterpret_cast<Lanes>(mixed) << kShift;
}

// Blends `rows` x `columns` glyph weights (`stride` apart) into the surface at `target`: each
// channel moves toward the ink by (ink - old) x weight / 256, rounded down, so full coverage gives
// the ink exactly and none leaves the pixel. Groups of pixels go together while `reach` allows
// (the surface has the pixels and the glyph row its zero padding, so pixels beyond `columns` are
// rewritten unchanged). Single pixels at the surface's right edge blend alike, so a text's pixels
// never depend on where it is cut. Pixels are read and written bytewise: a row pitch need not keep
// them aligned.
template <typename Layout, int kBytes>
[[gnu::always_inline]] inline void Blend(uint8_t* target, int pitch, const int16_t* weights, int stride, int columns,
                                         int reach, int rows, const Ink<Layout>& ink) {
  using Pixel = typename Layout::Pixel;
  using G = Group<Pixel, kBytes>;
  using Lanes = typename G::Lanes;
  using Signed = typename G::Signed;
  using Lane = std::make_signed_t<Pixel>;
  static_assert(kGlyphRowGroup % G::kLanes == 0 || G::kLanes % kGlyphRowGroup == 0);
  const Lanes keep = Lanes{} + static_cast<Pixel>(Ink<Layout>::kKeep);
  const Signed red = Signed{} + static_cast<Lane>(ink.value[0]);
  const Signed green = Signed{} + static_cast<Lane>(ink.value[1]);
  const Signed blue = Signed{} + static_cast<Lane>(ink.value[2]);
  for (int y = 0; y < rows; ++y) {
    uint8_t* out = target + static_cast<ptrdiff_t>(y) * pitch;
    const int16_t* in = weights + static_cast<ptrdiff_t>(y) * stride;
    int x = 0;
    for (; x < columns && x + G::kLanes <= reach; x += G::kLanes) {
      typename G::Weights group;
      std::memcpy(&group, in + x, sizeof group);
      const Signed weight = __builtin_convertvector(group, Signed);
      Lanes old;
      std::memcpy(&old, out + x * sizeof(Pixel), sizeof old);
      Lanes pixel = old & keep;
      MixChannel<Layout, 0>(old, weight, red, &pixel);
      MixChannel<Layout, 1>(old, weight, green, &pixel);
      MixChannel<Layout, 2>(old, weight, blue, &pixel);
      std::memcpy(out + x * sizeof(Pixel), &pixel, sizeof pixel);
    }
    for (; x < columns; ++x) {
      const int32_t weight = in[x];
      if (weight == 0) continue;
      Pixel old;
      std::memcpy(&old, out + x * sizeof(Pixel), sizeof old);
      uint32_t pixel = old & Ink<Layout>::kKeep;
      for (int c = 0; c < 3; ++c) {
        const auto was = static_cast<int32_t>((old & Layout::kMask[c]) >> Layout::kShift[c]);
        pixel |= static_cast<uint32_t>(was + (((ink.value[c] - was) * weight) >> 8)) << Layout::kShift[c];
      }
      const auto written = static_cast<Pixel>(pixel);
      std::memcpy(out + x * sizeof(Pixel), &written, sizeof written);
    }
  }
}

template <typename Layout, int kBytes>
[[gnu::always_inline]] inline void DrawGlyphs(FontSlot* slot, const Surface& surface, int64_t width, int64_t height,
                                              int64_t x, int64_t y, uint32_t colour, std::string_view text) {
  using Pixel = typename Layout::Pixel;
  const int pitch = surface.format.pitch;
  const Ink<Layout> ink(colour);
  int64_t pen = x;
  for (const char c : text) {
    const CachedGlyph& glyph = slot->Glyph(static_cast<uint8_t>(c));
    const int64_t left = pen + glyph.left;
    const int64_t top = y + glyph.top;
    pen += glyph.advance;
    if (glyph.width == 0) continue;
    const int64_t x0 = std::max<int64_t>(left, 0);
    const int64_t x1 = std::min<int64_t>(left + glyph.width, width);
    const int64_t y0 = std::max<int64_t>(top, 0);
    const int64_t y1 = std::min<int64_t>(top + glyph.height, height);
    if (x0 >= x1 || y0 >= y1) continue;
    uint8_t* target = surface.pixels + y0 * pitch + x0 * static_cast<int64_t>(sizeof(Pixel));
    const int16_t* weights = slot->Weights(glyph) + (y0 - top) * glyph.stride + (x0 - left);
    const int reach = static_cast<int>(std::min<int64_t>(glyph.stride - (x0 - left), width - x0));
    Blend<Layout, kBytes>(target, pitch, weights, glyph.stride, static_cast<int>(x1 - x0), reach,
                          static_cast<int>(y1 - y0), ink);
  }
}

template <typename Layout>
void DrawGlyphsPortable(FontSlot* slot, const Surface& surface, int64_t width, int64_t height, int64_t x, int64_t y,
                        uint32_t colour, std::string_view text) {
  DrawGlyphs<Layout, 16>(slot, surface, width, height, x, y, colour, text);
}

#if defined(__x86_64__)
template <typename Layout>
[[gnu::target("avx2")]] void DrawGlyphsAvx2(FontSlot* slot, const Surface& surface, int64_t width, int64_t height, int64_t x,
                                            int64_t y, uint32_t colour, std::string_view text) {
  DrawGlyphs<Layout, 32>(slot, surface, width, height, x, y, colour, text);
}
#endif

template <typename Layout>
void DrawGlyphsOf(bool portable, FontSlot* slot, const Surface& surface, int64_t width, int64_t height, int64_t x, int64_t y,
                  uint32_t colour, std::string_view text) {
#if defined(__x86_64__)
  if (!portable && __builtin_cpu_supports("avx2")) {
    DrawGlyphsAvx2<Layout>(slot, surface, width, height, x, y, colour, text);
    return;
  }
#endif
  DrawGlyphsPortable<Layout>(slot, surface, width, height, x, y, colour, text);
}

void DrawTextOn(bool portable, FontSlot* slot, const Surface& surface, int64_t x, int64_t y, uint32_t colour,
                std::string_view text) {
  const PixelFormat& format = surface.format;
  if (format.bitsPerPixel != 16 && format.bitsPerPixel != 32) return;
  const int bytesPerPixel = format.bitsPerPixel / 8;
  if (format.pitch <= 0 || text.empty()) return;
  // The surface as it really is: never a row or column beyond the buffer, whatever the mode says.
  const int64_t width = std::min<int64_t>(surface.width, format.pitch / bytesPerPixel);
  const int64_t height = surface.height;
  if (width <= 0 || height <= 0) return;
  if (slot->Font() == nullptr) return;
  if (format.bitsPerPixel == 32) {
    DrawGlyphsOf<Xrgb8888>(portable, slot, surface, width, height, x, y, colour, text);
  } else if (format.redShift == 10) {
    DrawGlyphsOf<Rgb555>(portable, slot, surface, width, height, x, y, colour, text);
  } else {
    DrawGlyphsOf<Rgb565>(portable, slot, surface, width, height, x, y, colour, text);
  }
}

}  // namespace

void DrawText(FontSlot* slot, const Surface& surface, int64_t x, int64_t y, uint32_t colour, std::string_view text) {
  DrawTextOn(false, slot, surface, x, y, colour, text);
}

void DrawTextPortable(FontSlot* slot, const Surface& surface, int64_t x, int64_t y, uint32_t colour, std::string_view text) {
  DrawTextOn(true, slot, surface, x, y, colour, text);
}

void DrawTextQueue(PrintedText* text, const Surface& surface, const TextResolver& resolve) {
  if (!surface.Usable()) return;
  const auto& words = text->queue.Words();
  const int used = text->queue.Used();
  uint32_t colour = kTextWhite;
  int64_t x = 0;
  int64_t y = 0;
  // Each command's words are all there: the queue only ever takes whole prints.
  for (int i = 0; i < used;) {
    const int32_t* at = words.data() + i;
    switch (at[0]) {
      case kTextMove:
        x = at[1];
        y = at[2];
        i += 3;
        break;
      case kTextColour:
        colour = static_cast<uint32_t>(at[1]);
        i += 2;
        break;
      case kTextDraw:
        if (resolve) DrawText(&text->Slot(at[2]), surface, x, y, colour, resolve(static_cast<uint32_t>(at[1])));
        i += 3;
        break;
      case kTextNumber:
        DrawText(&text->Slot(at[3]), surface, x, y, colour, NumberText(at[1], at[2]));
        i += 4;
        break;
      default:
        return;
    }
  }
}

}  // namespace engine
