// Printed text: print_num's texts, the bounded queue, font slots, and text drawn onto 16-bit
// (5-6-5 and 5-5-5) and 32-bit back surfaces: colour channels, the cell, blending, clipping at
// every edge, bytes drawn as they are, and a warm glyph cache.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/engine.h"

namespace {

using engine::Display;
using engine::PrintedText;

// A back surface of the given format, black; `padding` bytes after each row.
Display Surface(int bits, int redShift = 11, int width = 240, int height = 120, int padding = 0) {
  Display display;
  display.width = width;
  display.height = height;
  display.format.bitsPerPixel = bits;
  display.format.pitch = width * bits / 8 + padding;
  if (bits == 16 && redShift == 10) {
    display.format.redShift = 10;
    display.format.redMask = 0x7C00;
    display.format.greenMask = 0x03E0;
  }
  display.backSurface.assign(static_cast<size_t>(display.format.pitch) * static_cast<size_t>(height), 0);
  return display;
}

uint32_t PixelAt(const Display& display, int x, int y) {
  const uint8_t* at = display.backSurface.data() + static_cast<size_t>(y) * static_cast<size_t>(display.format.pitch);
  if (display.format.bitsPerPixel == 16) {
    uint16_t pixel;
    std::memcpy(&pixel, at + x * 2, 2);
    return pixel;
  }
  uint32_t pixel;
  std::memcpy(&pixel, at + x * 4, 4);
  return pixel;
}

// The pen travel of a text in a slot: the width of its cell.
int CellWidth(engine::FontSlot* slot, const std::string& text) {
  EXPECT_NE(slot->Font(), nullptr);
  int width = 0;
  for (const char c : text) width += slot->Glyph(static_cast<uint8_t>(c)).advance;
  return width;
}

int InkedPixels(const Display& display) {
  int count = 0;
  for (int y = 0; y < display.height; ++y) {
    for (int x = 0; x < display.width; ++x) count += PixelAt(display, x, y) != 0 ? 1 : 0;
  }
  return count;
}

TEST(PrintNum, TextsOfValuesAndDecimals) {
  EXPECT_EQ(engine::NumberText(12345, 2), "123.45");
  EXPECT_EQ(engine::NumberText(12345, 0), "12345");
  EXPECT_EQ(engine::NumberText(-12345, 2), "-123.45");
  EXPECT_EQ(engine::NumberText(7, 1), "0.7");
  // A negative count divides nothing and shows six decimals.
  EXPECT_EQ(engine::NumberText(12345, -1), "12345.000000");
  EXPECT_EQ(engine::NumberText(12345, INT_MIN), "12345.000000");
  // 10^10 and more do not fit 32 bits.
  EXPECT_EQ(engine::NumberText(INT_MAX, 10), "0.2147483647");
  EXPECT_EQ(engine::NumberText(INT_MIN, 12), "-0.002147483648");
  // Huge counts: the first 63 characters of the full text, which keeps the divisor's place.
  EXPECT_EQ(engine::NumberText(1, 1000), "0." + std::string(61, '0'));
  EXPECT_EQ(engine::NumberText(INT_MAX, 70), "0." + std::string(60, '0') + "2");
  EXPECT_EQ(engine::NumberText(-5, INT_MAX), "-0." + std::string(60, '0'));
}

// The queue holds 4096 words with its end word: 511 prints of 8 words fit (4088 + end), the next
// print and a 9-word number are dropped whole, and the queue stays a walkable list.
TEST(TextQueue, PrintsThatDoNotFitWithTheEndWordAreDroppedWhole) {
  engine::TextQueue queue;
  EXPECT_EQ(queue.Words()[0], engine::kTextEnd);
  int accepted = 0;
  for (int i = 0; i < 600; ++i) accepted += queue.QueueText(0x123456, i, -i, 0x9000 + i, i % 16) ? 1 : 0;
  EXPECT_EQ(accepted, 511);
  EXPECT_EQ(queue.Used(), 4088);
  EXPECT_FALSE(queue.QueueNumber(1, 2, 3, 4, 5, 6));
  EXPECT_EQ(queue.Used(), 4088);
  EXPECT_EQ(queue.Words()[4088], engine::kTextEnd);
  // Every print whole and in order: colour, position, text.
  for (int i = 0; i < 511; ++i) {
    const int32_t* at = queue.Words().data() + i * 8;
    const std::vector<int32_t> print(at, at + 8);
    EXPECT_EQ(print, (std::vector<int32_t>{2, 0x123456, 0, i, -i, 1, 0x9000 + i, i % 16})) << i;
  }
  // Numbers: 455 of 9 words fill 4095 words exactly; then nothing more fits.
  queue.Clear();
  EXPECT_EQ(queue.Used(), 0);
  EXPECT_EQ(queue.Words()[0], engine::kTextEnd);
  accepted = 0;
  for (int i = 0; i < 500; ++i) accepted += queue.QueueNumber(0xFF, 10, 20, i, 2, 0) ? 1 : 0;
  EXPECT_EQ(accepted, 455);
  EXPECT_EQ(queue.Used(), 4095);
  EXPECT_EQ(queue.Words()[4095], engine::kTextEnd);
  EXPECT_FALSE(queue.QueueText(0, 0, 0, 1, 0));
}

TEST(FontSlots, StartAsArial28RegularInWhiteAndFontSetClamps) {
  PrintedText text;
  EXPECT_EQ(text.colour, 0x00FFFFFFu);
  EXPECT_EQ(text.queue.Used(), 0);
  for (const engine::FontSlot& slot : text.fonts) {
    EXPECT_EQ(slot.face(), "Arial");
    EXPECT_EQ(slot.height(), 28);
    EXPECT_EQ(slot.weight(), 400);
  }
  text.SetFont(-3, "Courier New", -40, 5000);
  EXPECT_EQ(text.fonts[0].face(), "Courier New");
  EXPECT_EQ(text.fonts[0].height(), -40);
  EXPECT_EQ(text.fonts[0].weight(), 1000);
  text.SetFont(99, "Times New Roman", 12, -7);
  EXPECT_EQ(text.fonts[15].face(), "Times New Roman");
  EXPECT_EQ(text.fonts[15].weight(), 0);
  EXPECT_EQ(text.fonts[1].face(), "Arial");
  // Queued slot numbers draw with the slot font_set would have clamped them to.
  EXPECT_EQ(&text.Slot(40), &text.fonts[15]);
  EXPECT_EQ(&text.Slot(INT_MIN), &text.fonts[0]);
  text.SetColour(300, -5, 128);
  EXPECT_EQ(text.colour, 0x008000FFu);
}

TEST(FontSlots, TheSameRequestKeepsTheOpenFontAndItsGlyphs) {
  engine::FontSlot slot;
  const platform::Font* first = slot.Font();
  ASSERT_NE(first, nullptr);
  slot.Glyph('A');
  slot.Set("Arial", 28, 400);
  EXPECT_EQ(slot.Font(), first);
  const uint64_t rendered = slot.GlyphsRendered();
  slot.Glyph('A');
  EXPECT_EQ(slot.GlyphsRendered(), rendered);
  slot.Set("Arial", 29, 400);
  ASSERT_NE(slot.Font(), nullptr);
  slot.Glyph('A');
  EXPECT_EQ(slot.GlyphsRendered(), rendered + 1);
}

// A text in a pure colour: every changed pixel lies in the text's cell (pen travel x cell height
// from its top-left corner), carries only that colour's channel, no more of it than the colour,
// and full coverage gives the colour exactly.
TEST(DrawText, APureColourLandsInsideItsCellOnEverySurface) {
  struct Format {
    int bits;
    int redShift;
    uint32_t red, green, blue;  // the pure colours as pixels
  };
  for (const Format& format : {Format{16, 11, 0xF800, 0x07E0, 0x001F}, Format{16, 10, 0x7C00, 0x03E0, 0x001F},
                               Format{32, 11, 0xFF0000, 0x00FF00, 0x0000FF}}) {
    for (const auto& [colour, pure] : std::vector<std::pair<uint32_t, uint32_t>>{
             {0x0000FF, format.red}, {0x00FF00, format.green}, {0xFF0000, format.blue}}) {
      SCOPED_TRACE(std::to_string(format.bits) + "/" + std::to_string(format.redShift) + " colour " + std::to_string(colour));
      Display display = Surface(format.bits, format.redShift);
      PrintedText text;
      const std::string line = "Hej, Wo%ld!";
      const int x = 21, y = 33;
      engine::DrawText(&text.fonts[0], display.Back(), x, y, colour, line);
      const int width = CellWidth(&text.fonts[0], line);
      const int cell = text.fonts[0].Font()->CellHeight();
      int full = 0, inked = 0;
      for (int py = 0; py < display.height; ++py) {
        for (int px = 0; px < display.width; ++px) {
          const uint32_t pixel = PixelAt(display, px, py);
          if (pixel == 0) continue;
          ++inked;
          EXPECT_TRUE(px >= x && px < x + width && py >= y && py < y + cell) << px << ", " << py;
          EXPECT_EQ(pixel & ~pure, 0u) << px << ", " << py;
          full += pixel == pure ? 1 : 0;
        }
      }
      EXPECT_GT(full, 40);
      EXPECT_GT(inked, full);  // anti-aliased edges
    }
  }
}

// Every pixel follows the blending rule, worked out here one pixel at a time from the cached
// weights over a noisy ground (bits outside the channels included), on every layout, at positions
// that cut the text at the right edge; the AVX2 groups and the portable ones agree.
TEST(DrawText, EveryPixelFollowsTheBlendingRuleOnBothPaths) {
  struct Layout {
    int bits;
    int redShift;
    uint32_t mask[3];
    int shift[3];
  };
  for (const Layout& layout : {Layout{16, 11, {0xF800, 0x07E0, 0x001F}, {11, 5, 0}},
                               Layout{16, 10, {0x7C00, 0x03E0, 0x001F}, {10, 5, 0}},
                               Layout{32, 11, {0xFF0000, 0x00FF00, 0x0000FF}, {16, 8, 0}}}) {
    for (const int x : {3, 150, 211, 232}) {
      SCOPED_TRACE(std::to_string(layout.bits) + "/" + std::to_string(layout.redShift) + " at " + std::to_string(x));
      Display ground = Surface(layout.bits, layout.redShift, 240, 60);
      uint32_t seed = 12345;
      for (uint8_t& byte : ground.backSurface) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(seed >> 16);
      }
      PrintedText text;
      engine::FontSlot* slot = &text.fonts[0];
      const std::string line = "Wj%g A@f";
      const uint32_t colour = 0x3080F0;
      const int y = 7;
      Display fast = ground, portable = ground, expected = ground;
      engine::DrawText(slot, fast.Back(), x, y, colour, line);
      engine::DrawTextPortable(slot, portable.Back(), x, y, colour, line);
      int pen = x;
      for (const char c : line) {
        const engine::CachedGlyph& glyph = slot->Glyph(static_cast<uint8_t>(c));
        for (int gy = 0; gy < glyph.height; ++gy) {
          for (int gx = 0; gx < glyph.width; ++gx) {
            const int px = pen + glyph.left + gx, py = y + glyph.top + gy;
            if (px < 0 || px >= expected.width || py < 0 || py >= expected.height) continue;
            const int32_t weight = slot->Weights(glyph)[gy * glyph.stride + gx];
            const uint32_t old = PixelAt(expected, px, py);
            uint32_t pixel = old & ~(layout.mask[0] | layout.mask[1] | layout.mask[2]);
            for (int ch = 0; ch < 3; ++ch) {
              const uint32_t top = layout.mask[ch] >> layout.shift[ch];
              const auto ink = static_cast<int32_t>(((colour >> (8 * ch) & 0xFF) * top + 127) / 255);
              const auto was = static_cast<int32_t>((old & layout.mask[ch]) >> layout.shift[ch]);
              pixel |= static_cast<uint32_t>(was + (((ink - was) * weight) >> 8)) << layout.shift[ch];
            }
            uint8_t* at = expected.backSurface.data() + static_cast<size_t>(py) * static_cast<size_t>(expected.format.pitch) +
                          static_cast<size_t>(px * layout.bits / 8);
            std::memcpy(at, &pixel, static_cast<size_t>(layout.bits / 8));
          }
        }
        pen += glyph.advance;
      }
      EXPECT_EQ(fast.backSurface, expected.backSurface);
      EXPECT_EQ(portable.backSurface, expected.backSurface);
      EXPECT_NE(fast.backSurface, ground.backSurface);
    }
  }
}

// The bytes are drawn as they are: "%%" is two percent signs, "%s%n" four glyphs and no
// formatting at all.
TEST(DrawText, PercentSignsAreDrawnAsStored) {
  PrintedText text;
  const auto inkOf = [&text](const std::string& line) {
    Display display = Surface(32);
    engine::DrawText(&text.fonts[0], display.Back(), 10, 10, 0xFFFFFF, line);
    return InkedPixels(display);
  };
  const int one = inkOf("%");
  ASSERT_GT(one, 0);
  EXPECT_EQ(inkOf("%%"), 2 * one);
  EXPECT_EQ(inkOf("%s%n"), 2 * one + inkOf("s") + inkOf("n"));
  EXPECT_GT(inkOf("100%"), inkOf("100"));
}

// Drawn partly off any edge, the text is the same text moved, cut at the edge: nothing wraps into
// the next row (the row padding stays clear) and nothing lands outside the surface.
TEST(DrawText, TextIsClippedAtEveryEdge) {
  for (const int bits : {16, 32}) {
    SCOPED_TRACE(bits);
    const int padding = 6;
    const auto draw = [&](int x, int y) {
      Display display = Surface(bits, 11, 120, 60, padding);
      PrintedText text;
      engine::DrawText(&text.fonts[0], display.Back(), x, y, 0xFFFFFF, "Clip Wj");
      return display;
    };
    const int shift = 30;
    // Left and top: drawn at (-9, -7) against the same text drawn 30 pixels right and down.
    // Right and bottom: drawn at (95, 45) against the same text 30 pixels left and up.
    for (const auto& [x, y, dx] : std::vector<std::tuple<int, int, int>>{{-9, -7, shift}, {95, 45, -shift}}) {
      const Display cut = draw(x, y);
      const Display whole = draw(x + dx, y + dx);
      int compared = 0;
      for (int py = 0; py < cut.height; ++py) {
        for (int px = 0; px < cut.width; ++px) {
          const int wx = px + dx, wy = py + dx;
          if (wx < 0 || wy < 0 || wx >= whole.width || wy >= whole.height) continue;
          ASSERT_EQ(PixelAt(cut, px, py), PixelAt(whole, wx, wy)) << px << ", " << py;
          compared += PixelAt(cut, px, py) != 0 ? 1 : 0;
        }
        const uint8_t* pad = cut.backSurface.data() + static_cast<size_t>(py) * static_cast<size_t>(cut.format.pitch) +
                             static_cast<size_t>(cut.width * bits / 8);
        for (int i = 0; i < padding; ++i) ASSERT_EQ(pad[i], 0) << "row " << py;
      }
      EXPECT_GT(compared, 0);
    }
    // Far away in every direction: nothing.
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{{INT_MAX, 0}, {INT_MIN, 0}, {0, INT_MAX}, {0, INT_MIN}, {-200, 10}}) {
      EXPECT_EQ(InkedPixels(draw(x, y)), 0) << x << ", " << y;
    }
  }
}

// The queue draws each print in its own colour and slot at its own position, numbers as print_num
// texts, a text word through the resolver; a second frame renders no glyph again.
TEST(DrawTextQueue, DrawsEachPrintAsDrawnAloneAndAWarmFrameRendersNoGlyph) {
  PrintedText text;
  text.SetFont(3, "Times New Roman", -20, 700);
  text.queue.QueueText(0x0000FF, 5, 4, 77, 0);
  text.queue.QueueNumber(0x00FF00, 60, 40, 12345, 2, 3);
  text.queue.QueueText(0xFF0000, 100, 80, 78, 0);  // resolves to nothing: draws nothing
  const engine::TextResolver resolve = [](uint32_t word) {
    return word == 77 ? std::string_view("Score") : std::string_view();
  };
  Display queued = Surface(16);
  engine::DrawTextQueue(&text, queued.Back(), resolve);

  PrintedText alone;
  alone.SetFont(3, "Times New Roman", -20, 700);
  Display expected = Surface(16);
  engine::DrawText(&alone.fonts[0], expected.Back(), 5, 4, 0x0000FF, "Score");
  engine::DrawText(&alone.fonts[3], expected.Back(), 60, 40, 0x00FF00, "123.45");
  EXPECT_EQ(queued.backSurface, expected.backSurface);

  const uint64_t rendered = text.fonts[0].GlyphsRendered() + text.fonts[3].GlyphsRendered();
  EXPECT_GT(rendered, 0u);
  Display again = Surface(16);
  engine::DrawTextQueue(&text, again.Back(), resolve);
  EXPECT_EQ(again.backSurface, expected.backSurface);
  EXPECT_EQ(text.fonts[0].GlyphsRendered() + text.fonts[3].GlyphsRendered(), rendered);

  // No back surface: nothing drawn, nothing opened.
  PrintedText untouched;
  untouched.queue.QueueText(0xFFFFFF, 0, 0, 77, 0);
  Display none;
  engine::DrawTextQueue(&untouched, none.Back(), resolve);
  EXPECT_EQ(untouched.fonts[0].GlyphsRendered(), 0u);
}

// Large glyphs overflow a slot's cache, which then starts again mid-text: the picture is the same
// as drawn with a cold cache.
TEST(DrawTextQueue, AFullGlyphCacheStartsAgainWithoutChangingThePicture) {
  PrintedText text;
  text.SetFont(0, "Arial", 1000, 400);
  const std::string line = "WMBQ@#&%8gODACEFGHKNRUVXYZ";  // no byte twice
  Display first = Surface(16, 11, 1024, 768);
  engine::DrawText(&text.fonts[0], first.Back(), -200, -150, 0xFFFFFF, line);
  EXPECT_EQ(text.fonts[0].GlyphsRendered(), line.size());
  Display second = Surface(16, 11, 1024, 768);
  engine::DrawText(&text.fonts[0], second.Back(), -200, -150, 0xFFFFFF, line);
  EXPECT_GT(text.fonts[0].GlyphsRendered(), line.size());  // some had to be rendered again
  EXPECT_EQ(first.backSurface, second.backSurface);
  EXPECT_GT(InkedPixels(first), 0);
}

}  // namespace
