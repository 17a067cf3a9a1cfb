// Fuzz target body: editor font files read from memory, then text measured and drawn with them.
// Calls engine (the editor font reader and text drawing).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "targets.h"

namespace fuzzing {
namespace {

constexpr int kWidth = 64, kHeight = 24, kPitch = kWidth + 5, kGuardRows = 2;
constexpr uint8_t kBlank = 0xEE, kColour = 7;

uint32_t Read16(std::string_view bytes, size_t at) {
  return static_cast<uint8_t>(bytes[at]) | static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8;
}

// The plainest drawing of the same rules, one bit at a time from the file's own bytes.
void ReferenceDraw(const engine::EditorFont& font, std::string_view file, std::vector<uint8_t>* canvas, int64_t x,
                   int64_t y, std::string_view text) {
  y += font.lineGap / 2;
  for (const char ch : text) {
    const uint8_t c = static_cast<uint8_t>(ch);
    if (c == ' ') {
      x += font.spaceWidth;
    } else if (c == '\r') {
      x = 0;
    } else if (c == '\n') {
      y += font.lineGap + font.height;
    } else if (x >= 0 && y >= 0 && x + font.widths[c] < kWidth && y + font.height < kHeight) {
      for (int row = 0; row < font.height; ++row) {
        for (int k = 0; k < font.widths[c]; ++k) {
          const size_t bit = font.firstBits[c] + static_cast<size_t>(k);
          const uint8_t byte = static_cast<uint8_t>(file[engine::kEditorFontBitmapAt + row * font.rowBytes + bit / 8]);
          if (byte & (0x80 >> (bit % 8))) (*canvas)[(kGuardRows + y + row) * kPitch + x + k] = kColour;
        }
      }
      x += font.widths[c] + font.letterSpacing;
    }
  }
}

std::string CheckFields(const engine::EditorFont& font, std::string_view file, std::string_view name) {
  if (font.height < 1 || font.height > engine::kEditorFontMaxHeight) return "a font of height " + std::to_string(font.height);
  if (font.height != static_cast<int>(Read16(file, engine::kEditorFontHeightAt)) ||
      font.rowBytes != static_cast<int>(Read16(file, engine::kEditorFontRowBytesAt))) {
    return "height or row bytes differ from the file";
  }
  const size_t bitmapBytes = static_cast<size_t>(font.height) * font.rowBytes;
  if (font.bitmap.size() != bitmapBytes + engine::kEditorFontBitmapSlack ||
      std::memcmp(font.bitmap.data(), file.data() + engine::kEditorFontBitmapAt, bitmapBytes) != 0) {
    return "the bitmap is not the file's";
  }
  for (size_t i = bitmapBytes; i < font.bitmap.size(); ++i) {
    if (font.bitmap[i] != 0) return "the bytes after the bitmap are not zero";
  }
  for (int c = 0; c < 256; ++c) {
    const uint32_t width = font.widths[c], first = font.firstBits[c];
    if (width == 0 || c == ' ' || c == '\r' || c == '\n') continue;
    if (width + first % 8 > 32 || first + width > static_cast<uint32_t>(font.rowBytes) * 8) {
      return "glyph " + std::to_string(c) + " was accepted outside its row";
    }
  }
  const int gap = name == "font.fnt" ? 1 : name == "font8.fnt" ? 2 : static_cast<uint8_t>(file[engine::kEditorFontLineGapAt]);
  const int spacing = name == "font.fnt"    ? 2
                      : name == "font8.fnt" ? 0
                                            : static_cast<int16_t>(Read16(file, engine::kEditorFontSpacingAt));
  if (font.lineGap != gap || font.letterSpacing != spacing) return "line gap or spacing not set by the name";
  return {};
}

}  // namespace

std::string FuzzEditorFont(const uint8_t* data, size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  // Byte 0 is not part of the format: it picks the name, and with it the gap and spacing rules.
  static constexpr std::string_view kNames[] = {"font.fnt", "font8.fnt", "other.fnt"};
  const std::string_view name = kNames[size > 0 ? data[0] % 3 : 2];
  engine::EditorFont font;
  font.height = -5;
  std::string error;
  if (!engine::LoadEditorFont(file, std::string("data/") + std::string(name), &font, &error)) {
    if (error.empty()) return "a refusal without a message";
    if (font.height != -5) return "a refused file changed the font";
    return {};
  }
  if (std::string failure = CheckFields(font, file, name); !failure.empty()) return failure;

  // Text from the file's own bytes after a fixed line with every pen move.
  std::string text = "Ag \r\n~x yz\n";
  text.append(file.substr(1, 40));
  const int width = engine::EditorTextWidth(font, text);
  if (font.widthMode == engine::kEditorFontFixed && width != static_cast<int>(text.size()) * 8) {
    return "a fixed font's width is not 8 per character";
  }
  struct Start {
    int x, y;
  };
  for (const Start start : {Start{0, 0}, Start{-3, 5}, Start{30, -2}, Start{5, 9}}) {
    std::vector<uint8_t> pixels(static_cast<size_t>(kPitch) * (kHeight + 2 * kGuardRows), kBlank);
    std::vector<uint8_t> expected = pixels;
    const engine::CanvasView canvas{pixels.data() + kGuardRows * kPitch, kPitch, kWidth, kHeight};
    engine::DrawEditorText(font, canvas, start.x, start.y, text, kColour);
    ReferenceDraw(font, file, &expected, start.x, start.y, text);
    if (pixels != expected) {
      return "text drawn at " + std::to_string(start.x) + "," + std::to_string(start.y) + " differs from the reference";
    }
  }
  // Centred text lands wherever the width says; only the canvas may change.
  std::vector<uint8_t> pixels(static_cast<size_t>(kPitch) * (kHeight + 2 * kGuardRows), kBlank);
  engine::DrawEditorTextCentred(font, {pixels.data() + kGuardRows * kPitch, kPitch, kWidth, kHeight}, kWidth / 2,
                                kHeight / 2, text, kColour);
  for (size_t i = 0; i < pixels.size(); ++i) {
    const int row = static_cast<int>(i / kPitch) - kGuardRows, column = static_cast<int>(i % kPitch);
    if (pixels[i] != kBlank && (row < 0 || row >= kHeight || column >= kWidth)) return "centred text outside the canvas";
  }
  return {};
}

}  // namespace fuzzing
