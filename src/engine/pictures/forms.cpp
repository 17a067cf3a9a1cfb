// Prepared forms of flat pictures, frame drawing and rectangle fills. Calls the PCX reader, the
// aspect data region and core.
#include "engine/pictures/forms.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace engine {

namespace {

void ClearSlot(int32_t* slot, uint32_t tag) {
  std::memset(slot, 0, kSlotBytes);
  slot[kSlotTag] = static_cast<int32_t>(tag);
}

int BytesPerPixel(const PixelFormat& format) {
  if (format.bitsPerPixel == 16) return 2;
  if (format.bitsPerPixel == 32) return 4;
  return 0;
}

// Whether `width` pixels of `format` fit in one row of the surface.
bool SurfaceUsable(const uint8_t* surface, const PixelFormat& format, int width, int height) {
  const int bytes = BytesPerPixel(format);
  return surface != nullptr && bytes != 0 && width > 0 && height > 0 &&
         static_cast<int64_t>(format.pitch) >= static_cast<int64_t>(width) * bytes;
}

constexpr int kMaxLiteral = 128;  // control bytes 0..127
constexpr int kMinRepeat = 2;     // control bytes 128..255
constexpr int kMaxRepeat = 129;

// Appends one row coded as literal and repeat runs.
void CodeRow(const uint8_t* row, int width, std::vector<uint8_t>* code) {
  int x = 0;
  while (x < width) {
    int repeat = 1;
    while (x + repeat < width && repeat < kMaxRepeat && row[x + repeat] == row[x]) ++repeat;
    if (repeat >= kMinRepeat) {
      code->push_back(static_cast<uint8_t>(repeat + 126));
      code->push_back(row[x]);
      x += repeat;
      continue;
    }
    // Literals run up to the next pair of equal pixels.
    int literal = 1;
    while (x + literal < width && literal < kMaxLiteral &&
           !(x + literal + 1 < width && row[x + literal] == row[x + literal + 1])) {
      ++literal;
    }
    code->push_back(static_cast<uint8_t>(literal - 1));
    code->insert(code->end(), row + x, row + x + literal);
    x += literal;
  }
}

template <typename Pixel>
void PutPixels(uint8_t* at, Pixel value, int count) {
  for (int i = 0; i < count; ++i) std::memcpy(at + static_cast<size_t>(i) * sizeof(Pixel), &value, sizeof(Pixel));
}

// Expands the code into the surface; `colours` holds the 256 surface pixels.
template <typename Pixel>
void ExpandFrame(const uint8_t* code, uint32_t codeBytes, int frameWidth, int frameHeight, const Pixel* colours,
                 uint8_t* surface, int pitch, int width, int height) {
  const int rows = std::min(frameHeight, height);
  const int columns = std::min(frameWidth, width);
  uint32_t at = 0;
  for (int y = 0; y < rows; ++y) {
    uint8_t* line = surface + static_cast<size_t>(y) * pitch;
    int x = 0;
    while (x < frameWidth) {
      if (at >= codeBytes) return;
      const uint8_t control = code[at++];
      if (control >= 128) {
        if (at >= codeBytes) return;
        const uint8_t index = code[at++];
        const int count = std::min(control - 126, frameWidth - x);
        const int shown = std::clamp(columns - x, 0, count);
        PutPixels(line + static_cast<size_t>(x) * sizeof(Pixel), colours[index], shown);
        x += count;
      } else {
        const int count = control + 1;
        if (count > static_cast<int>(codeBytes - at)) return;
        const int used = std::min(count, frameWidth - x);
        const int shown = std::clamp(columns - x, 0, used);
        for (int i = 0; i < shown; ++i) {
          std::memcpy(line + static_cast<size_t>(x + i) * sizeof(Pixel), &colours[code[at + i]], sizeof(Pixel));
        }
        at += static_cast<uint32_t>(count);
        x += used;
      }
    }
  }
}

}  // namespace

std::string SlotTagText(uint32_t tag) {
  std::string text(4, ' ');
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((tag >> (8 * i)) & 0xFF);
    text[static_cast<size_t>(i)] = c >= 32 && c < 127 && c != '"' && c != '\\' ? c : '?';
  }
  return text;
}

bool PrepareFlatShape(AspectMemory* memory, const PcxPicture& picture, bool colourKey, int32_t* slot, Picture* decal) {
  const int32_t side = picture.width;
  if (picture.height != side || side < 1 || (side & (side - 1)) != 0) return false;
  if (picture.pixels.size() != static_cast<size_t>(side) * side) return false;

  uint32_t table[256];
  FlatShapeTable(picture.palette.data(), colourKey, table);
  const size_t count = static_cast<size_t>(side) * side;

  ClearSlot(slot, kFlatShapeTag);
  slot[kFlatShapeWidth] = side;
  slot[kFlatShapeHeight] = side;
  slot[kFlatShapeShift] = 4;
  int32_t log2 = 0;
  while ((1 << log2) < side) ++log2;
  slot[kFlatShapeLog2] = log2;

  uint32_t address = 0;
  uint8_t* colours = count * 4 <= UINT32_MAX ? memory->Allocate(static_cast<uint32_t>(count * 4), &address) : nullptr;
  if (colours != nullptr) {
    for (size_t i = 0; i < count; ++i) std::memcpy(colours + i * 4, &table[picture.pixels[i]], 4);
    slot[kFlatShapePixels] = static_cast<int32_t>(address);
  }

  decal->width = side;
  decal->height = side;
  decal->rgba.resize(count * 4);
  for (size_t i = 0; i < count; ++i) {
    const uint32_t colour = table[picture.pixels[i]];
    uint8_t* out = decal->rgba.data() + i * 4;
    out[0] = static_cast<uint8_t>(colour >> 16);
    out[1] = static_cast<uint8_t>(colour >> 8);
    out[2] = static_cast<uint8_t>(colour);
    out[3] = static_cast<uint8_t>(colour >> 24);
  }
  return true;
}

bool PrepareFrame(AspectMemory* memory, const PcxPicture& picture, const PixelFormat& format, int32_t* slot) {
  ClearSlot(slot, kFrameTag);
  const int width = std::clamp(picture.width, 0, kFrameMaxWidth);
  const int height = std::clamp(picture.height, 0, kFrameMaxHeight);
  slot[kFrameWidth] = width;
  slot[kFrameHeight] = height;
  if (picture.pixels.size() < static_cast<size_t>(picture.width) * picture.height) return false;

  std::vector<uint8_t> code;
  code.reserve(static_cast<size_t>(width) * height / 2);
  for (int y = 0; y < height; ++y)
    CodeRow(picture.pixels.data() + static_cast<size_t>(y) * picture.width, width, &code);

  uint16_t table[256];
  BuildConversionTable(picture.palette.data(), format, table);
  uint32_t tableAddress = 0, codeAddress = 0;
  uint8_t* tableBytes = memory->Allocate(sizeof(table), &tableAddress);
  if (tableBytes == nullptr) return false;
  uint8_t* codeBytes = memory->Allocate(static_cast<uint32_t>(code.size()), &codeAddress);
  if (codeBytes == nullptr) return false;
  std::memcpy(tableBytes, table, sizeof(table));
  if (!code.empty()) std::memcpy(codeBytes, code.data(), code.size());
  slot[kFrameCode] = static_cast<int32_t>(codeAddress);
  slot[kFrameCodeBytes] = static_cast<int32_t>(code.size());
  slot[kFrameTable] = static_cast<int32_t>(tableAddress);
  return true;
}

void DrawFrame(const core::Arena& arena, const int32_t* slot, uint8_t* surface, const PixelFormat& format, int width,
               int height) {
  if (static_cast<uint32_t>(slot[kSlotTag]) != kFrameTag || !SurfaceUsable(surface, format, width, height)) return;
  const int32_t frameWidth = slot[kFrameWidth], frameHeight = slot[kFrameHeight];
  if (frameWidth < 1 || frameWidth > kFrameMaxWidth || frameHeight < 1 || frameHeight > kFrameMaxHeight) return;
  const auto codeBytes = static_cast<uint32_t>(slot[kFrameCodeBytes]);
  const uint8_t* code =
      arena.GuestToHostIn(core::Region::kAspectData, static_cast<uint32_t>(slot[kFrameCode]), std::max(codeBytes, 1u));
  const uint8_t* tableBytes =
      arena.GuestToHostIn(core::Region::kAspectData, static_cast<uint32_t>(slot[kFrameTable]), 256 * 2);
  if (code == nullptr || tableBytes == nullptr || codeBytes == 0) return;

  uint16_t table[256];
  std::memcpy(table, tableBytes, sizeof(table));
  if (format.bitsPerPixel == 32) {
    uint32_t colours[256];
    for (int i = 0; i < 256; ++i) colours[i] = WidenPixel(table[i], format);
    ExpandFrame(code, codeBytes, frameWidth, frameHeight, colours, surface, format.pitch, width, height);
  } else {
    ExpandFrame(code, codeBytes, frameWidth, frameHeight, table, surface, format.pitch, width, height);
  }
}

void PrepareBackground(std::string_view bytes, bool g3d, int32_t* slot) {
  ClearSlot(slot, kBackgroundTag);
  if (g3d) {
    if (!bytes.empty()) std::memcpy(slot, bytes.data(), std::min<size_t>(bytes.size(), kSlotBytes));
    slot[kSlotTag] = static_cast<int32_t>(kBackgroundTag);
    return;
  }
  PcxPicture picture;
  DecodePcx(bytes, &picture);
  slot[kBackgroundWidth] = picture.width;
  slot[kBackgroundHeight] = picture.height;
  slot[kBackgroundColour] = picture.pixels.empty() ? 0 : picture.pixels[0];
}

void FillRectangle(uint8_t* surface, const PixelFormat& format, int width, int height, int x1, int y1, int x2, int y2,
                   uint32_t pixel) {
  if (!SurfaceUsable(surface, format, width, height)) return;
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, width);
  y2 = std::min(y2, height);
  if (x1 >= x2 || y1 >= y2) return;
  for (int y = y1; y < y2; ++y) {
    uint8_t* line = surface + static_cast<size_t>(y) * format.pitch;
    if (format.bitsPerPixel == 16) {
      PutPixels(line + static_cast<size_t>(x1) * 2, static_cast<uint16_t>(pixel), x2 - x1);
    } else {
      PutPixels(line + static_cast<size_t>(x1) * 4, pixel, x2 - x1);
    }
  }
}

}  // namespace engine
