// Counters: digit pictures, glyph sequences, drawing and glyph boxes. Calls the PCX reader, the
// display's conversion table and the aspect data region.
#include "engine/pictures/counters.h"

#include <algorithm>
#include <cstring>

#include "model/model.h"

namespace engine {

namespace {

struct GlyphColumns {
  int32_t first;
  int32_t width;
};

// A prepared counter's data, checked to lie inside the aspect data region and to agree with each
// other; `valid` is false otherwise.
struct DigitPicture {
  bool valid = false;
  const uint8_t* pixels = nullptr;
  int32_t width = 0, height = 0;
  GlyphColumns glyphs[kCounterGlyphCount] = {};
  const uint8_t* colours = nullptr;
  int pixelBytes = 0;
};

DigitPicture Resolve(const core::Arena& arena, const int32_t* slot) {
  DigitPicture picture;
  if (static_cast<uint32_t>(slot[kSlotTag]) != kCounterTag) return picture;
  picture.width = slot[kCounterWidth];
  picture.height = slot[kCounterHeight];
  picture.pixelBytes = slot[kCounterPixelBytes];
  if (picture.width < 1 || picture.width > kMaxPcxSide || picture.height < 1 || picture.height > kMaxPcxSide ||
      (picture.pixelBytes != 2 && picture.pixelBytes != 4)) {
    return picture;
  }
  const auto guest = [&](int word, uint32_t bytes) {
    return arena.GuestToHostIn(core::Region::kAspectData, static_cast<uint32_t>(slot[word]), bytes);
  };
  picture.pixels = guest(kCounterPixels, static_cast<uint32_t>(picture.width * picture.height));
  picture.colours = guest(kCounterColours, 256u * static_cast<uint32_t>(picture.pixelBytes));
  const uint8_t* glyphs = guest(kCounterGlyphs, sizeof picture.glyphs);
  if (picture.pixels == nullptr || picture.colours == nullptr || glyphs == nullptr) return picture;
  std::memcpy(picture.glyphs, glyphs, sizeof picture.glyphs);
  for (const GlyphColumns& glyph : picture.glyphs) {
    if (glyph.first < 0 || glyph.width < 1 || glyph.width > picture.width - glyph.first) return picture;
  }
  picture.valid = true;
  return picture;
}

// Calls visit(glyph, x) for each glyph the counter draws at pen position x, left to right, while
// the glyphs start on the surface.
template <typename Visit>
void ForEachGlyph(const DigitPicture& picture, const CounterValue& counter, int width, int height, Visit&& visit) {
  if (counter.x < 0 || counter.x >= width || counter.y < 0 || int64_t{counter.y} + picture.height > height) return;
  int8_t glyphs[16];
  const int count = CounterGlyphs(counter.value, counter.leading, counter.point, counter.sign, glyphs);
  int64_t pen = counter.x;
  for (int i = 0; i < count && pen < width; ++i) {
    if (glyphs[i] < 0 || glyphs[i] >= kCounterGlyphCount) continue;
    const GlyphColumns& glyph = picture.glyphs[glyphs[i]];
    visit(glyph, static_cast<int32_t>(pen));
    pen += glyph.width;
  }
}

template <typename Pixel>
void DrawGlyphs(const DigitPicture& picture, const CounterValue& counter, const Surface& surface) {
  Pixel colours[256];
  std::memcpy(colours, picture.colours, sizeof colours);
  ForEachGlyph(picture, counter, surface.width, surface.height, [&](const GlyphColumns& glyph, int32_t x) {
    const int32_t columns = std::min(glyph.width, surface.width - x);  // cut at the right edge
    const int32_t marker = glyph.width - 1;
    for (int32_t row = 0; row < picture.height; ++row) {
      const uint8_t* from = picture.pixels + static_cast<size_t>(row) * picture.width + glyph.first;
      Pixel* out = reinterpret_cast<Pixel*>(surface.Row(counter.y + row)) + x;
      for (int32_t column = 0; column < columns; ++column) {
        const uint8_t index = from[column];
        if (index == 0 || (row == 0 && column == marker)) continue;
        out[column] = colours[index];
      }
    }
  });
}

}  // namespace

bool IsDigitPicture(const PcxPicture& picture) {
  if (picture.pixels.size() < static_cast<size_t>(picture.width)) return false;
  return std::count(picture.pixels.begin(), picture.pixels.begin() + picture.width, kGlyphMarker) == kCounterGlyphCount;
}

bool PrepareCounter(AspectMemory* memory, const PcxPicture& picture, const PixelFormat& format, int32_t* slot) {
  std::memset(slot, 0, kSlotBytes);
  slot[kSlotTag] = static_cast<int32_t>(kCounterTag);
  const int pixelBytes = format.bitsPerPixel == 16 ? 2 : format.bitsPerPixel == 32 ? 4 : 0;
  const size_t count = static_cast<size_t>(picture.width) * picture.height;
  if (pixelBytes == 0 || picture.pixels.size() < count || !IsDigitPicture(picture)) return false;

  GlyphColumns glyphs[kCounterGlyphCount];
  int found = 0;
  int32_t first = 0;
  for (int32_t column = 0; column < picture.width; ++column) {
    if (picture.pixels[static_cast<size_t>(column)] != kGlyphMarker) continue;
    glyphs[found++] = GlyphColumns{first, column - first + 1};
    first = column + 1;
  }

  uint16_t table[256];
  BuildConversionTable(picture.palette.data(), format, table);
  uint32_t pixelsAt = 0, tableAt = 0, glyphsAt = 0, coloursAt = 0;
  uint8_t* pixels = memory->Allocate(static_cast<uint32_t>(count), &pixelsAt);
  uint8_t* tableBytes = pixels != nullptr ? memory->Allocate(sizeof table, &tableAt) : nullptr;
  uint8_t* glyphBytes = tableBytes != nullptr ? memory->Allocate(sizeof glyphs, &glyphsAt) : nullptr;
  uint8_t* colours = glyphBytes != nullptr ? memory->Allocate(256u * pixelBytes, &coloursAt) : nullptr;
  slot[kCounterWidth] = picture.width;
  slot[kCounterHeight] = picture.height;
  if (colours == nullptr) return false;
  std::memcpy(pixels, picture.pixels.data(), count);
  std::memcpy(tableBytes, table, sizeof table);
  std::memcpy(glyphBytes, glyphs, sizeof glyphs);
  for (int i = 0; i < 256; ++i) {
    if (pixelBytes == 2) {
      std::memcpy(colours + i * 2, &table[i], 2);
    } else {
      const uint32_t wide = WidenPixel(table[i], format);
      std::memcpy(colours + i * 4, &wide, 4);
    }
  }
  slot[kCounterPixels] = static_cast<int32_t>(pixelsAt);
  slot[kCounterTable] = static_cast<int32_t>(tableAt);
  slot[kCounterGlyphs] = static_cast<int32_t>(glyphsAt);
  slot[kCounterColours] = static_cast<int32_t>(coloursAt);
  slot[kCounterPixelBytes] = pixelBytes;
  return true;
}

int CounterGlyphs(int32_t value, int32_t leading, int32_t point, int32_t sign, int8_t glyphs[16]) {
  if (leading < 1) return 0;
  int count = 0;
  int64_t rest = value;
  if (sign != 0) {
    glyphs[count++] = rest >= 0 ? kGlyphPlus : kGlyphMinus;
    rest = rest < 0 ? -rest : rest;
  }
  for (int64_t divisor = leading; divisor > 0; divisor /= 10) {
    const int64_t digit = rest / divisor;
    // Out-of-range quotients draw nothing; -1 stands for all of them.
    glyphs[count++] = digit >= 0 && digit <= kGlyphPoint ? static_cast<int8_t>(digit) : int8_t{-1};
    if (divisor == point) glyphs[count++] = kGlyphPoint;
    rest %= divisor;
  }
  return count;
}

CounterValue CounterOf(const int32_t* record) {
  CounterValue counter;
  counter.x = record[model::kWordPositionX];
  counter.y = record[model::kWordPositionY];
  counter.value = record[model::kWordScore];
  counter.leading = record[model::kWordExtent0];
  counter.point = record[model::kWordExtent1];
  counter.sign = record[model::kWordExtent2];
  return counter;
}

void DrawCounter(const core::Arena& arena, const int32_t* slot, const CounterValue& counter, const Surface& surface) {
  if (!surface.Usable()) return;
  const DigitPicture picture = Resolve(arena, slot);
  if (!picture.valid || picture.pixelBytes != surface.format.bitsPerPixel / 8) return;
  if (picture.pixelBytes == 2) {
    DrawGlyphs<uint16_t>(picture, counter, surface);
  } else {
    DrawGlyphs<uint32_t>(picture, counter, surface);
  }
}

bool CounterCovers(const core::Arena& arena, const int32_t* slot, const CounterValue& counter, int width, int height,
                   int32_t px, int32_t py) {
  const DigitPicture picture = Resolve(arena, slot);
  if (!picture.valid || py < counter.y || int64_t{py} >= int64_t{counter.y} + picture.height) return false;
  bool covered = false;
  ForEachGlyph(picture, counter, width, height, [&](const GlyphColumns& glyph, int32_t x) {
    if (px >= x && int64_t{px} < int64_t{x} + glyph.width && px < width) covered = true;
  });
  return covered;
}

}  // namespace engine
