// Printed text: the text queue, the font slots and their glyph caches, and the blending of glyph
// coverage into the back surface. Calls the platform's fonts and the C library's formatting.
#include "engine/text/printed_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
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
  coverage_.clear();
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
  if (coverage_.size() + bitmap.coverage.size() > kGlyphCacheBytes) Forget();
  glyph.left = bitmap.left;
  glyph.top = bitmap.top;
  glyph.width = bitmap.width;
  glyph.height = bitmap.height;
  glyph.advance = bitmap.advance;
  glyph.offset = static_cast<uint32_t>(coverage_.size());
  glyph.ready = true;
  coverage_.insert(coverage_.end(), bitmap.coverage.begin(), bitmap.coverage.end());
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

namespace {

// The colour of one text in the surface's channels: each 8-bit channel scaled to the channel's
// width with rounding, as the other 2D drawing makes its pixels.
struct Ink {
  uint32_t mask[3];
  int shift[3];
  uint32_t value[3];  // the colour's channels at their own width
  uint32_t pixel;     // the whole colour, for fully covered pixels
  uint32_t keep;      // bits outside the channels, left as they are
};

Ink InkOf(const PixelFormat& format, uint32_t colour) {
  Ink ink{};
  if (format.bitsPerPixel == 32) {
    ink = Ink{{0xFF0000u, 0x00FF00u, 0x0000FFu}, {16, 8, 0}, {}, 0, 0xFF000000u};
  } else {
    ink = Ink{{format.redMask, format.greenMask, format.blueMask},
              {format.redShift, format.greenShift, format.blueShift},
              {},
              0,
              0xFFFF0000u | ~(format.redMask | format.greenMask | format.blueMask)};
  }
  const uint32_t bytes[3] = {colour & 0xFF, colour >> 8 & 0xFF, colour >> 16 & 0xFF};
  for (int c = 0; c < 3; ++c) {
    const uint32_t top = ink.mask[c] >> ink.shift[c];
    ink.value[c] = (bytes[c] * top + 127) / 255;
    ink.pixel |= ink.value[c] << ink.shift[c];
  }
  return ink;
}

// Blends `rows` x `columns` coverage bytes (`stride` apart) into the surface at `target`: a fully
// covered pixel takes the colour, a partly covered one moves toward it by its coverage. Pixels are
// read and written bytewise: a row pitch need not keep them aligned.
template <typename Pixel>
void Blend(uint8_t* target, int pitch, const uint8_t* coverage, int stride, int columns, int rows, const Ink& ink) {
  for (int y = 0; y < rows; ++y) {
    uint8_t* out = target + static_cast<ptrdiff_t>(y) * pitch;
    const uint8_t* in = coverage + static_cast<ptrdiff_t>(y) * stride;
    for (int x = 0; x < columns; ++x) {
      const uint32_t a = in[x];
      if (a == 0) continue;
      Pixel old;
      std::memcpy(&old, out + x * sizeof(Pixel), sizeof(Pixel));
      uint32_t pixel = old & ink.keep;
      if (a == 255) {
        pixel |= ink.pixel;
      } else {
        for (int c = 0; c < 3; ++c) {
          const uint32_t was = (old & ink.mask[c]) >> ink.shift[c];
          pixel |= ((was * (255 - a) + ink.value[c] * a + 127) / 255) << ink.shift[c];
        }
      }
      const auto written = static_cast<Pixel>(pixel);
      std::memcpy(out + x * sizeof(Pixel), &written, sizeof(Pixel));
    }
  }
}

}  // namespace

void DrawText(FontSlot* slot, Display* display, int64_t x, int64_t y, uint32_t colour, std::string_view text) {
  const PixelFormat& format = display->format;
  if (format.bitsPerPixel != 16 && format.bitsPerPixel != 32) return;
  const int bytesPerPixel = format.bitsPerPixel / 8;
  if (format.pitch <= 0 || text.empty()) return;
  // The surface as it really is: never a row or column beyond the buffer, whatever the mode says.
  const int64_t width = std::min<int64_t>(display->width, format.pitch / bytesPerPixel);
  const int64_t height = std::min<int64_t>(display->height, static_cast<int64_t>(display->backSurface.size() / static_cast<size_t>(format.pitch)));
  if (width <= 0 || height <= 0) return;
  if (slot->Font() == nullptr) return;
  const Ink ink = InkOf(format, colour);
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
    uint8_t* target = display->backSurface.data() + y0 * format.pitch + x0 * bytesPerPixel;
    const uint8_t* coverage = slot->Coverage(glyph) + (y0 - top) * glyph.width + (x0 - left);
    const int columns = static_cast<int>(x1 - x0);
    const int rows = static_cast<int>(y1 - y0);
    if (bytesPerPixel == 2) {
      Blend<uint16_t>(target, format.pitch, coverage, glyph.width, columns, rows, ink);
    } else {
      Blend<uint32_t>(target, format.pitch, coverage, glyph.width, columns, rows, ink);
    }
  }
}

void DrawTextQueue(PrintedText* text, Display* display, const TextResolver& resolve) {
  if (display == nullptr || display->backSurface.empty()) return;
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
        if (resolve) DrawText(&text->Slot(at[2]), display, x, y, colour, resolve(static_cast<uint32_t>(at[1])));
        i += 3;
        break;
      case kTextNumber:
        DrawText(&text->Slot(at[3]), display, x, y, colour, NumberText(at[1], at[2]));
        i += 4;
        break;
      default:
        return;
    }
  }
}

}  // namespace engine
