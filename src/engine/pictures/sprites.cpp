// Sprite span lists: preparation, drawing and hit tests. Calls the PCX reader, the display's
// conversion table and the aspect data region.
#include "engine/pictures/sprites.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "model/model.h"

namespace engine {

namespace {

constexpr uint32_t kRecordBytes = sizeof(SpanRecord);

uint32_t PaddedBytes(int32_t length, int32_t pixelBytes) {
  return (static_cast<uint32_t>(length) * static_cast<uint32_t>(pixelBytes) + 3u) & ~3u;
}

// The span list of a slot as host bytes, or nullptr when the slot does not name one wholly inside
// the aspect data region that was made for surfaces of `pixelBytes`.
const uint8_t* SpanList(const core::Arena& arena, const int32_t* slot, int pixelBytes, uint32_t* bytes) {
  if (static_cast<uint32_t>(slot[kSlotTag]) != kSpriteTag || slot[kSpritePixelBytes] != pixelBytes) return nullptr;
  *bytes = static_cast<uint32_t>(slot[kSpriteSpanBytes]);
  if (*bytes < 4) return nullptr;
  return arena.GuestToHostIn(core::Region::kAspectData, static_cast<uint32_t>(slot[kSpriteSpans]), *bytes);
}

// Walks the spans of a list of `bytes` bytes, calling visit(record, pixels) for each record whose
// pixels lie inside the list; stops at the end word or at the first record that does not fit.
template <typename Visit>
void ForEachSpan(const uint8_t* list, uint32_t bytes, int pixelBytes, Visit&& visit) {
  uint32_t at = 0;
  while (bytes - at >= kRecordBytes) {
    SpanRecord span;
    std::memcpy(&span, list + at, kRecordBytes);
    if (span.offset == kSpanEnd || span.length < 0 || span.length > kMaxPcxSide) return;
    const uint32_t pixels = PaddedBytes(span.length, pixelBytes);
    if (pixels > bytes - at - kRecordBytes) return;
    if (!visit(span, list + at + kRecordBytes)) return;
    at += kRecordBytes + pixels;
  }
}

template <typename Pixel>
void CopySpan(Pixel* out, const uint8_t* pixels, int count) {
  std::memcpy(out, pixels, static_cast<size_t>(count) * sizeof(Pixel));
}

template <typename Pixel>
void BlendSpan(Pixel* out, const uint8_t* pixels, int count, uint32_t lowBits) {
  const auto keep = static_cast<Pixel>(~lowBits);
  for (int i = 0; i < count; ++i) {
    Pixel source;
    std::memcpy(&source, pixels + static_cast<size_t>(i) * sizeof(Pixel), sizeof(Pixel));
    const Pixel there = out[i];
    out[i] = static_cast<Pixel>((source & there) + (((source ^ there) & keep) >> 1));
  }
}

template <typename Pixel>
void DrawSpans(const uint8_t* list, uint32_t bytes, int32_t x, int32_t y, const ClipRectangle& clip, bool translucent,
               const Surface& surface) {
  const uint32_t lowBits = ChannelLowBits(surface.format);
  ForEachSpan(list, bytes, sizeof(Pixel), [&](const SpanRecord& span, const uint8_t* pixels) {
    const int64_t row = int64_t{y} + span.row;
    if (row > clip.y2) return false;  // rows only grow along the list
    if (row < clip.y1) return true;
    const int64_t left = int64_t{x} + span.column;
    const int64_t first = std::max<int64_t>(left, clip.x1);
    const int64_t last = std::min<int64_t>(left + span.length - 1, clip.x2);
    if (first > last) return true;
    Pixel* out = reinterpret_cast<Pixel*>(surface.Row(static_cast<int>(row))) + first;
    const uint8_t* from = pixels + static_cast<size_t>(first - left) * sizeof(Pixel);
    const int count = static_cast<int>(last - first + 1);
    if (translucent) {
      BlendSpan(out, from, count, lowBits);
    } else {
      CopySpan(out, from, count);
    }
    return true;
  });
}

}  // namespace

uint32_t ChannelLowBits(const PixelFormat& format) {
  if (format.bitsPerPixel == 32) return 0x010101u;
  return 1u << format.redShift | 1u << format.greenShift | 1u << format.blueShift;
}

bool PrepareSprite(AspectMemory* memory, const PcxPicture& picture, const PixelFormat& format, int32_t* slot) {
  std::memset(slot, 0, kSlotBytes);
  slot[kSlotTag] = static_cast<int32_t>(kSpriteTag);
  slot[kSpriteWidth] = picture.width;
  slot[kSpriteHeight] = picture.height;
  const int pixelBytes = format.bitsPerPixel == 16 ? 2 : format.bitsPerPixel == 32 ? 4 : 0;
  if (pixelBytes == 0 || picture.pixels.size() < static_cast<size_t>(picture.width) * picture.height) return false;

  uint16_t table[256];
  BuildConversionTable(picture.palette.data(), format, table);
  uint32_t colours[256];
  for (int i = 0; i < 256; ++i) colours[i] = pixelBytes == 4 ? WidenPixel(table[i], format) : table[i];

  std::vector<uint8_t> list;
  for (int32_t row = 0; row < picture.height; ++row) {
    const uint8_t* line = picture.pixels.data() + static_cast<size_t>(row) * picture.width;
    for (int32_t column = 0; column < picture.width;) {
      if (line[column] == 0) {
        ++column;
        continue;
      }
      int32_t length = 1;
      while (column + length < picture.width && line[column + length] != 0) ++length;
      const SpanRecord span{row * format.pitch + pixelBytes * column, length, column, row};
      const size_t at = list.size();
      list.resize(at + kRecordBytes + PaddedBytes(length, pixelBytes), 0);
      std::memcpy(list.data() + at, &span, kRecordBytes);
      uint8_t* out = list.data() + at + kRecordBytes;
      for (int32_t i = 0; i < length; ++i) {
        const uint32_t colour = colours[line[column + i]];
        if (pixelBytes == 2) {
          const auto narrow = static_cast<uint16_t>(colour);
          std::memcpy(out + static_cast<size_t>(i) * 2, &narrow, 2);
        } else {
          std::memcpy(out + static_cast<size_t>(i) * 4, &colour, 4);
        }
      }
      column += length;
    }
  }
  const int32_t end = kSpanEnd;
  list.insert(list.end(), reinterpret_cast<const uint8_t*>(&end), reinterpret_cast<const uint8_t*>(&end) + 4);
  if (list.size() > UINT32_MAX / 2) return false;

  uint32_t tableAddress = 0, listAddress = 0;
  uint8_t* tableBytes = memory->Allocate(sizeof(table), &tableAddress);
  if (tableBytes == nullptr) return false;
  uint8_t* listBytes = memory->Allocate(static_cast<uint32_t>(list.size()), &listAddress);
  if (listBytes == nullptr) return false;
  std::memcpy(tableBytes, table, sizeof(table));
  std::memcpy(listBytes, list.data(), list.size());
  slot[kSpriteSpans] = static_cast<int32_t>(listAddress);
  slot[kSpriteSpanBytes] = static_cast<int32_t>(list.size());
  slot[kSpriteTable] = static_cast<int32_t>(tableAddress);
  slot[kSpritePixelBytes] = pixelBytes;
  slot[kSpritePitch] = format.pitch;
  return true;
}

ClipRectangle SpriteClip(const int32_t* record, int width, int height) {
  ClipRectangle clip;
  clip.x1 = std::max(record[model::kWordExtent0], 0);
  clip.y1 = std::max(record[model::kWordExtent1], 0);
  clip.x2 = std::min(record[model::kWordExtent2], width - 1);
  clip.y2 = std::min(record[model::kWordExtent3], height - 1);
  return clip;
}

void DrawSprite(const core::Arena& arena, const int32_t* slot, int32_t x, int32_t y, const ClipRectangle& clip,
                bool translucent, const Surface& surface) {
  if (!surface.Usable() || clip.x1 < 0 || clip.y1 < 0 || clip.x2 >= surface.width || clip.y2 >= surface.height) return;
  const int pixelBytes = surface.format.bitsPerPixel / 8;
  uint32_t bytes = 0;
  const uint8_t* list = SpanList(arena, slot, pixelBytes, &bytes);
  if (list == nullptr) return;
  if (pixelBytes == 2) {
    DrawSpans<uint16_t>(list, bytes, x, y, clip, translucent, surface);
  } else {
    DrawSpans<uint32_t>(list, bytes, x, y, clip, translucent, surface);
  }
}

bool SpriteCovers(const core::Arena& arena, const int32_t* slot, int32_t x, int32_t y, const ClipRectangle& clip,
                  int32_t px, int32_t py) {
  if (!clip.Contains(px, py)) return false;
  const int pixelBytes = slot[kSpritePixelBytes];
  if (pixelBytes != 2 && pixelBytes != 4) return false;
  uint32_t bytes = 0;
  const uint8_t* list = SpanList(arena, slot, pixelBytes, &bytes);
  if (list == nullptr) return false;
  const int64_t row = int64_t{py} - y, column = int64_t{px} - x;
  bool covered = false;
  ForEachSpan(list, bytes, pixelBytes, [&](const SpanRecord& span, const uint8_t*) {
    if (span.row > row) return false;
    if (span.row == row && column >= span.column && column < int64_t{span.column} + span.length) {
      covered = true;
      return false;
    }
    return true;
  });
  return covered;
}

}  // namespace engine
