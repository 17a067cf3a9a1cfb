// Tests of the widgets' canvas, colours, presentation, skin and button table. Calls the widgets,
// the display's pixel formats and the test PCX writer.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/display.h"
#include "engine/pictures/pcx.h"
#include "engine/widgets/widgets.h"
#include "mkdata/mkdata.h"
#include "support/pcx_bytes.h"
#include "support/widget_host.h"

namespace engine::widgets {
namespace {

using test_support::SetUpScreen;
using test_support::WidgetHost;

TEST(WidgetColours, MappingWorkedByHand) {
  EXPECT_EQ(MapColour(255, 0, 0), 218);      // red step 6 of the cube: 6 * 36 + 2
  EXPECT_EQ(MapColour(171, 171, 171), 174);  // 4 * 36 + 4 * 6 + 4 + 2
  EXPECT_EQ(MapColour(69, 69, 69), 45);      // 36 + 6 + 1 + 2
  EXPECT_EQ(MapColour(245, 245, 245), 254);  // near white, sum 735 <= 744
  EXPECT_EQ(MapColour(10, 10, 10), 1);       // near black, sum 30 >= 24
  EXPECT_EQ(MapColour(7, 7, 7), 0);
  EXPECT_EQ(MapColour(255, 255, 255), 255);
  EXPECT_EQ(MapColour(0, 0, 0), 0);
  // Red 16 leaves the near-black rule and lands in the cube.
  EXPECT_EQ(MapColour(16, 0, 0), 2);
}

TEST(WidgetColours, Shades) {
  const Shades shades = InterfaceShades();
  EXPECT_EQ(shades.light, 255);
  EXPECT_EQ(shades.middle, 174);
  EXPECT_EQ(shades.dark, 45);
}

TEST(WidgetColours, PaletteRoundTrips) {
  const auto palette = CanvasPalette();
  EXPECT_EQ(palette[0] + palette[1] + palette[2], 0);
  EXPECT_EQ(palette[255 * 3], 255);
  EXPECT_EQ(palette[255 * 3 + 1], 255);
  EXPECT_EQ(palette[255 * 3 + 2], 255);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(MapColour(palette[i * 3], palette[i * 3 + 1], palette[i * 3 + 2]), i) << "index " << i;
  }
  // And every colour maps to an entry whose colour maps back to it.
  for (int r = 0; r < 256; r += 5) {
    for (int g = 0; g < 256; g += 17) {
      for (int b = 0; b < 256; b += 15) {
        const int index = MapColour(r, g, b);
        EXPECT_EQ(MapColour(palette[index * 3], palette[index * 3 + 1], palette[index * 3 + 2]), index);
      }
    }
  }
}

TEST(WidgetCanvas, SizedForEveryMode) {
  Canvas canvas;
  for (auto [w, h] : {std::pair{640, 480}, {800, 600}, {1024, 768}}) {
    canvas.Resize(w, h);
    ASSERT_EQ(canvas.pixels.size(), static_cast<size_t>(w * h));
    ASSERT_EQ(canvas.rows.size(), static_cast<size_t>(h));
    EXPECT_EQ(canvas.rows[h - 1], canvas.pixels.data() + static_cast<size_t>(w) * (h - 1));
    // The far corner is inside the canvas at every mode.
    canvas.FillRect(w - 1, h - 1, w + 50, h + 50, 9);
    EXPECT_EQ(canvas.PixelAt(w - 1, h - 1), 9);
  }
}

TEST(WidgetCanvas, FillClipsAndXors) {
  Canvas canvas;
  canvas.Resize(8, 6);
  canvas.FillRect(-100, -100, 2, 1, 7);
  EXPECT_EQ(canvas.PixelAt(0, 0), 7);
  EXPECT_EQ(canvas.PixelAt(2, 1), 7);
  EXPECT_EQ(canvas.PixelAt(3, 1), 0);
  EXPECT_EQ(canvas.PixelAt(2, 2), 0);
  canvas.FillRect(6, 4, 1000, 1000, 3);
  EXPECT_EQ(canvas.PixelAt(7, 5), 3);
  // Entirely outside or inverted: nothing.
  canvas.FillRect(9, 0, 20, 5, 1);
  canvas.FillRect(5, 3, 4, 3, 1);
  int ones = 0;
  for (uint8_t p : canvas.pixels) ones += p == 1;
  EXPECT_EQ(ones, 0);
  // A negative colour XORs with its absolute value; twice restores.
  canvas.FillRect(0, 0, 7, 5, -5);
  EXPECT_EQ(canvas.PixelAt(0, 0), 7 ^ 5);
  EXPECT_EQ(canvas.PixelAt(4, 2), 5);
  canvas.FillRect(0, 0, 7, 5, -5);
  EXPECT_EQ(canvas.PixelAt(0, 0), 7);
  EXPECT_EQ(canvas.PixelAt(4, 2), 0);
}

TEST(WidgetCanvas, CopiesDrawIntoTheirOwnPixels) {
  Canvas canvas;
  canvas.Resize(4, 4);
  Canvas copy = canvas;
  copy.FillRect(0, 0, 3, 3, 6);
  EXPECT_EQ(canvas.PixelAt(2, 2), 0);
  EXPECT_EQ(copy.PixelAt(2, 2), 6);
  canvas = copy;
  copy.Clear();
  EXPECT_EQ(canvas.PixelAt(3, 3), 6);
  Canvas moved = std::move(canvas);
  EXPECT_EQ(moved.PixelAt(1, 1), 6);
}

TEST(WidgetCanvas, PixelReadOutsideGivesTheCoordinate) {
  Canvas canvas;
  canvas.Resize(10, 10);
  EXPECT_EQ(canvas.PixelAt(-3, 4), -3);
  EXPECT_EQ(canvas.PixelAt(10, 4), 10);
  EXPECT_EQ(canvas.PixelAt(4, 12), 12);
  EXPECT_EQ(canvas.PixelAt(4, -1), -1);
  EXPECT_EQ(canvas.PixelAt(20, 30), 20);
}

Surface MakeSurface(std::vector<uint8_t>& bytes, int width, int height, int bits, int pad) {
  Surface surface;
  surface.width = width;
  surface.height = height;
  surface.format.bitsPerPixel = bits;
  surface.format.pitch = width * bits / 8 + pad;
  bytes.assign(static_cast<size_t>(surface.format.pitch) * height, 0xEE);
  surface.pixels = bytes.data();
  AnalysePixelFormat(&surface.format);
  return surface;
}

TEST(WidgetCanvas, PresentsAt16And32Bits) {
  const auto palette = CanvasPalette();
  Canvas canvas;
  canvas.Resize(7, 3);
  for (size_t i = 0; i < canvas.pixels.size(); ++i) canvas.pixels[i] = static_cast<uint8_t>(i * 37);
  for (int bits : {16, 32}) {
    std::vector<uint8_t> bytes;
    // The surface is narrower and taller than the canvas: the smaller of each is converted.
    const Surface surface = MakeSurface(bytes, 5, 4, bits, 3 * bits / 8);
    const CanvasColours colours = MakeCanvasColours(palette.data(), surface.format);
    uint16_t table[256];
    BuildConversionTable(palette.data(), surface.format, table);
    PresentCanvas(canvas, colours, surface);
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 5; ++x) {
        const uint8_t index = canvas.rows[y][x];
        if (bits == 16) {
          uint16_t pixel;
          std::memcpy(&pixel, surface.Row(y) + x * 2, 2);
          EXPECT_EQ(pixel, table[index]);
        } else {
          uint32_t pixel;
          std::memcpy(&pixel, surface.Row(y) + x * 4, 4);
          EXPECT_EQ(pixel, WidenPixel(table[index], surface.format));
        }
      }
      // The row's padding and the fourth row stay untouched.
      EXPECT_EQ(surface.Row(y)[5 * bits / 8], 0xEE);
    }
    EXPECT_EQ(surface.Row(3)[0], 0xEE);
  }
}

TEST(WidgetCanvas, ClearSurfaceClearsEveryPixelAt32Bits) {
  std::vector<uint8_t> bytes;
  const Surface surface = MakeSurface(bytes, 1024, 768, 32, 0);
  ClearSurface(surface);
  for (size_t i = 0; i < bytes.size(); i += 4093) ASSERT_EQ(bytes[i], 0) << i;
  EXPECT_EQ(bytes.back(), 0);
  EXPECT_EQ(bytes[bytes.size() / 2 + 1], 0);
}

// [SECTION] Skin

std::string SkinFile(int width, int height) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height, 3);
  return testing_support::PcxFile(width, height, pixels);
}

TEST(WidgetSkin, ReadsInteriorAndPalette) {
  std::vector<uint8_t> pixels(static_cast<size_t>(SkinLayout::kWidth) * SkinLayout::kHeight, 0);
  pixels[SkinLayout::kInteriorX] = 77;
  const std::string file = testing_support::PcxFile(SkinLayout::kWidth, SkinLayout::kHeight, pixels);
  Skin skin;
  std::string error;
  ASSERT_TRUE(LoadSkin(file, &skin, &error)) << error;
  EXPECT_FALSE(skin.builtin);
  EXPECT_EQ(skin.interior, 77);
  EXPECT_EQ(skin.palette, testing_support::RampPalette());
}

TEST(WidgetSkin, FallsBackToTheBuiltInLook) {
  const std::string cases[] = {
      "",                                           // missing
      std::string("\x0A\x05\x01\x08", 4),           // cut short
      SkinFile(SkinLayout::kWidth - 1, 200),        // too narrow
      SkinFile(SkinLayout::kWidth, SkinLayout::kHeight - 1),  // too few rows for the icons
  };
  for (const std::string& file : cases) {
    Skin skin;
    std::string error;
    EXPECT_FALSE(LoadSkin(file, &skin, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(skin.builtin);
    EXPECT_EQ(skin.interior, InterfaceShades().middle);
    EXPECT_EQ(skin.palette, CanvasPalette());
    ASSERT_EQ(skin.pixels.size(), static_cast<size_t>(skin.width) * skin.height);
  }
}

TEST(WidgetSkin, BuiltInPanelHasGreyInteriorAndLitEdges) {
  WidgetHost host;
  WidgetScreen screen;
  SetUpScreen(screen, host);
  DrawPanel(screen, 101, 102, 303, 204, true);
  // Rounded down to multiples of 4: 100, 100, 300, 204.
  EXPECT_EQ(screen.canvas.PixelAt(100, 150), screen.shades.light);
  EXPECT_EQ(screen.canvas.PixelAt(300, 150), screen.shades.dark);
  EXPECT_EQ(screen.canvas.PixelAt(200, 204), screen.shades.dark);
  EXPECT_EQ(screen.canvas.PixelAt(99, 150), 0);
  EXPECT_EQ(screen.canvas.PixelAt(301, 150), 0);
  EXPECT_EQ(screen.canvas.PixelAt(200, 180), screen.skin.interior);
  EXPECT_EQ(screen.closeBox, (std::array<int, 4>{278, 106, 293, 121}));
  EXPECT_TRUE(screen.hasCloseBox);
}

TEST(WidgetSkin, DrawingFromAnOddSkinStaysInside) {
  // A skin wider than needed: the pieces are read at its own width.
  std::vector<uint8_t> pixels(static_cast<size_t>(300) * SkinLayout::kHeight, 9);
  Skin skin;
  ASSERT_TRUE(LoadSkin(testing_support::PcxFile(300, SkinLayout::kHeight, pixels), &skin, nullptr));
  WidgetHost host;
  WidgetScreen screen;
  SetUpScreen(screen, host, 64, 48);
  screen.skin = skin;
  // Panels hanging over every edge are clipped.
  DrawPanel(screen, -40, -40, 100, 100, true);
  DrawPanel(screen, 30, 30, 30, 30, false);
  DrawFrame(screen, -3, 20, 2000, 21);
  EXPECT_EQ(screen.canvas.PixelAt(10, 10), 9);
}

TEST(WidgetSkin, GeneratedSkinsLoadWithTheirOwnLook) {
  for (const auto& bytes : {mkdata::ToolSkinPicture(), mkdata::GameSkinPicture()}) {
    Skin skin;
    std::string error;
    ASSERT_TRUE(LoadSkin(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), &skin, &error))
        << error;
    EXPECT_EQ(skin.width, SkinLayout::kWidth);
    EXPECT_EQ(skin.height, SkinLayout::kHeight);
    EXPECT_NE(skin.interior, 0);
    EXPECT_EQ(skin.palette, CanvasPalette());
    const auto at = [&](int x, int y) { return skin.pixels[static_cast<size_t>(y) * skin.width + x]; };
    // Raised pieces lit at the top-left and shaded at the bottom-right; sunken the other way;
    // inside the bevel transparent.
    EXPECT_NE(at(SkinLayout::kRaisedX, 0), 0);
    EXPECT_EQ(at(SkinLayout::kRaisedX + 3, 3), 0);
    EXPECT_EQ(at(SkinLayout::kSunkenX + 7 * 4 + 3, 3), at(SkinLayout::kRaisedX, 0));
    EXPECT_NE(at(SkinLayout::kRaisedX, 0), at(SkinLayout::kRaisedX + 7 * 4 + 3, 3));
    // Title and icons are drawn.
    EXPECT_NE(at(127, SkinLayout::kTitleY + 10), 0);
    int inked = 0;
    for (int y = SkinLayout::kIconsY; y < SkinLayout::kHeight; ++y) {
      for (int x = 0; x < SkinLayout::kWidth; ++x) inked += at(x, y) != 0;
    }
    EXPECT_GT(inked, 16 * 10);
  }
  EXPECT_NE(mkdata::ToolSkinPicture(), mkdata::GameSkinPicture());
}

// [SECTION] Buttons

TEST(WidgetButtons, TableAndHitTest) {
  WidgetHost host;
  WidgetScreen screen;
  SetUpScreen(screen, host);
  EXPECT_EQ(AddButton(screen, 10, 10, 50, 30, false), 0);
  EXPECT_EQ(AddButton(screen, 60, 10, 100, 30, true), 1);
  EXPECT_LT(screen.buttons[1].left, 0);  // the sunken mark
  EXPECT_EQ(screen.canvas.PixelAt(30, 20), screen.shades.middle);
  EXPECT_EQ(screen.canvas.PixelAt(10, 10), screen.shades.light);
  EXPECT_EQ(screen.canvas.PixelAt(60, 10), screen.shades.dark);
  host.Move(60, 30).Move(55, 20).Move(10, 10);
  host.Pump();
  EXPECT_EQ(HitTest(screen), 1);  // the sunken button's inclusive corner
  host.Pump();
  EXPECT_EQ(HitTest(screen), -1);
  host.Pump();
  EXPECT_EQ(HitTest(screen), 0);
  ClearButtons(screen);
  EXPECT_EQ(HitTest(screen), -1);
}

TEST(WidgetButtons, FullTableReturnsMinusOneAndDrawsNothing) {
  WidgetHost host;
  WidgetScreen screen;
  SetUpScreen(screen, host);
  for (int i = 0; i < kButtonSlots; ++i) ASSERT_EQ(AddButton(screen, 0, 0, 3, 3, false), i);
  const std::vector<uint8_t> before = screen.canvas.pixels;
  EXPECT_EQ(AddButton(screen, 100, 100, 200, 200, false), -1);
  EXPECT_EQ(screen.canvas.pixels, before);
  ButtonLabel(screen, "x", -1);
  ButtonLabel(screen, "x", kButtonSlots);
  EXPECT_EQ(screen.canvas.pixels, before);
}

TEST(WidgetButtons, LabelIsCentred) {
  WidgetHost host;
  WidgetScreen screen;
  SetUpScreen(screen, host);
  const int slot = AddButton(screen, 100, 100, 199, 131, false);
  ButtonLabel(screen, "II", slot);
  // Two 8-pixel glyphs centred on x 149: columns 133..164 hold the text, nothing white outside.
  int minX = 1000, maxX = -1, minY = 1000, maxY = -1;
  for (int y = 100; y <= 131; ++y) {
    for (int x = 100; x <= 199; ++x) {
      if (screen.canvas.PixelAt(x, y) != 255 || x == 100 || y == 100) continue;
      minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
    }
  }
  EXPECT_GE(minX, 133);
  EXPECT_LE(maxX, 164);
  EXPECT_GE(minY, 111);
  EXPECT_LE(maxY, 120);
}

TEST(WidgetButtons, CloseBoxAndMinimiseStrip) {
  WidgetHost host;
  WidgetScreen screen;
  SetUpScreen(screen, host);
  DrawPanel(screen, 0, 0, 400, 300, true);
  AddButton(screen, 0, 0, 639, 479, false);  // under everything
  host.Move(400 - 15, 10).Press(400 - 33, 10).Release();
  host.Pump();
  EXPECT_EQ(HitTest(screen), kCloseBoxCode);
  host.Pump();
  EXPECT_EQ(HitTest(screen), -1);  // waits for the release, then minimises
  EXPECT_EQ(host.minimises, 1);
  EXPECT_EQ(host.MouseButtons(), 0);
  // Without a close box the same place is the button under it.
  DrawPanel(screen, 0, 0, 400, 300, false);
  host.Move(400 - 15, 10);
  host.Pump();
  EXPECT_EQ(HitTest(screen), 0);
}

TEST(WidgetButtons, MinimiseWaitIsBounded) {
  WidgetHost host;
  host.alwaysInput = true;  // the button is never released
  WidgetScreen screen;
  SetUpScreen(screen, host);
  DrawPanel(screen, 0, 0, 400, 300, true);
  host.Press(400 - 33, 10);
  host.Pump();
  EXPECT_EQ(HitTest(screen), -1);
  EXPECT_LE(host.passes, 602);
  EXPECT_EQ(host.minimises, 1);
}

}  // namespace
}  // namespace engine::widgets
