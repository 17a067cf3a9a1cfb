// Screen pictures end to end: a frame, a background, sprites (opaque and translucent) and a counter
// played headless by the real engine at 16 and 32 bits a pixel, read back from the screenshot;
// fallback pictures and picture sizes from the state dump.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/pcx_bytes.h"
#include "support/run_program.h"
#include "support/screenshot.h"
#include "support/work_folder.h"

namespace {

using testing_support::Image;
using testing_support::LoadPng;
using testing_support::Near;
using testing_support::Rgb;
using testing_support::TestElement;
using testing_support::WorkFolder;

constexpr int kTypeSprite = 5;
constexpr int kTypeFrame = 6;
constexpr int kTypeBackground = 7;
constexpr int kTypeCounter = 8;

// A palette of exact 5-6-5 levels, so that what reaches the screen can be worked out here: entry
// i has red level i & 31, green level (3 i) & 63 and blue level 31 - (i & 31).
testing_support::PcxPalette LevelPalette() {
  testing_support::PcxPalette palette{};
  for (int i = 0; i < 256; ++i) {
    palette[static_cast<size_t>(i) * 3] = static_cast<uint8_t>((i & 31) << 3);
    palette[static_cast<size_t>(i) * 3 + 1] = static_cast<uint8_t>(((3 * i) & 63) << 2);
    palette[static_cast<size_t>(i) * 3 + 2] = static_cast<uint8_t>((31 - (i & 31)) << 3);
  }
  return palette;
}
struct Levels {
  int r, g, b;  // 5, 6 and 5 bits
};
Levels LevelsOf(int index) { return {index & 31, (3 * index) & 63, 31 - (index & 31)}; }
// A level as the screen shows it: the nearest 8-bit value.
int Widen(int level, int steps) { return (level * 255 + steps / 2) / steps; }
Rgb Shown(const Levels& c) { return {Widen(c.r, 31), Widen(c.g, 63), Widen(c.b, 31)}; }
// A translucent pixel over another: the per-channel average, rounded down, of the surface's own
// channels (5-6-5 levels at 16 bits, the widened 8-bit values at 32).
Rgb Average(const Levels& a, const Levels& b, int bits) {
  if (bits == 16) return Shown({(a.r + b.r) / 2, (a.g + b.g) / 2, (a.b + b.b) / 2});
  const Rgb x = Shown(a), y = Shown(b);
  return {(x[0] + y[0]) / 2, (x[1] + y[1]) / 2, (x[2] + y[2]) / 2};
}

std::string Picture(int width, int height, const std::vector<uint8_t>& pixels) {
  return testing_support::PcxFile(width, height, pixels, 0, LevelPalette());
}
std::string Solid(int width, int height, uint8_t index) {
  return Picture(width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height, index));
}

// A digit picture of 13 glyphs, each three columns of index 40 + g and a marker column (255 on top,
// 0 below), five rows high.
std::string Digits() {
  const int width = 13 * 4, height = 5;
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height, 0);
  for (int g = 0; g < 13; ++g) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < 3; ++x) pixels[static_cast<size_t>(y) * width + g * 4 + x] = static_cast<uint8_t>(40 + g);
    pixels[static_cast<size_t>(g) * 4 + 3] = 255;
  }
  return Picture(width, height, pixels);
}

TestElement Element(const std::string& name, int type, const std::string& aspect, int x, int y,
                    const std::string& typeData = "", const std::string& brain = "") {
  TestElement element{name, {{2, aspect}, {5, std::to_string(x)}, {6, std::to_string(y)}, {36, std::to_string(type)}}, brain};
  if (!typeData.empty()) element.fields.push_back({37, typeData});
  return element;
}

// The dump's "aspect" member of element `index`.
std::string AspectOf(const std::string& dump, int index) {
  const size_t at = dump.find("{\"index\": " + std::to_string(index) + ",");
  if (at == std::string::npos) return "";
  const size_t aspect = dump.find("\"aspect\": ", at);
  if (aspect == std::string::npos) return "";
  return dump.substr(aspect + 10, dump.find_first_of("}\n", aspect) - aspect - 9);
}

TEST(ScreenPlay, FrameBackgroundSpritesAndCounterShowTheirExactPixels) {
  for (const int mode : {1, 2}) {
    const int bits = mode == 1 ? 16 : 32;
    SCOPED_TRACE(bits);
    WorkFolder folder(1, mode);
    ASSERT_TRUE(testing_support::WriteText(folder / "frames/f.pcx", Solid(4, 4, 7)));
    ASSERT_TRUE(testing_support::WriteText(folder / "bckgrnds/b.pcx", Solid(2, 2, 9)));
    // 8 x 6 of index 20 with a hole (index 0) at its top-left pixel.
    std::vector<uint8_t> sprite(48, 20);
    sprite[0] = 0;
    ASSERT_TRUE(testing_support::WriteText(folder / "sprites/s.pcx", Picture(8, 6, sprite)));
    ASSERT_TRUE(testing_support::WriteText(folder / "sprites/t.pcx", Solid(8, 6, 26)));
    ASSERT_TRUE(testing_support::WriteText(folder / "counters/c.pcx", Digits()));
    testing_support::WriteTestProject(
        folder, {Element("Frame", kTypeFrame, "./frames/f.pcx", 0, 0),
                 Element("Fill", kTypeBackground, "./bckgrnds/b.pcx", 0, 0, "10/20/59/69"),
                 Element("Opaque", kTypeSprite, "./sprites/s.pcx", 100, 100, "0/0/639/479"),
                 Element("Glass", kTypeSprite, "./sprites/t.pcx", 30, 40, "0/0/639/479",
                         "translucent(element, 1)\r\ncredits_set(element#1, 345)\r\n"),
                 Element("Counter", kTypeCounter, "./counters/c.pcx", 300, 200, "100/10/0"),
                 Element("Missing", kTypeSprite, "./sprites/none.pcx", 600, 400, "0/0/639/479")});
    const auto run = testing_support::RunProgram(
        VEXEL_VEXEL_BINARY,
        {"play", "projects/myprj/default.prj", "--ticks", "3", "--dump", "d.json", "--screenshot", "s.png"},
        folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Image image = LoadPng(folder / "s.png");
    ASSERT_EQ(image.width, 640);
    // The frame's 4 x 4 picture at the top-left corner, the rest of the screen black.
    EXPECT_TRUE(Near(image.At(0, 0), Shown(LevelsOf(7))));
    EXPECT_TRUE(Near(image.At(3, 3), Shown(LevelsOf(7))));
    EXPECT_TRUE(Near(image.At(4, 4), {0, 0, 0}));
    // The background fills (10, 20) to (59, 69) inclusive with the display palette's colour of its
    // picture's top-left index (9): one colour, not black, and nothing outside.
    const Rgb fill = image.At(10, 20);
    EXPECT_FALSE(Near(fill, {0, 0, 0}));
    EXPECT_TRUE(Near(image.At(59, 69), fill));
    EXPECT_TRUE(Near(image.At(60, 69), {0, 0, 0}));
    EXPECT_TRUE(Near(image.At(59, 70), {0, 0, 0}));
    const Levels fillLevels = {(fill[0] * 31 + 127) / 255, (fill[1] * 63 + 127) / 255, (fill[2] * 31 + 127) / 255};
    ASSERT_TRUE(Near(Shown(fillLevels), fill)) << "a 5-6-5 colour widened";
    // The opaque sprite with its hole.
    EXPECT_TRUE(Near(image.At(101, 100), Shown(LevelsOf(20))));
    EXPECT_TRUE(Near(image.At(107, 105), Shown(LevelsOf(20))));
    EXPECT_TRUE(Near(image.At(100, 100), {0, 0, 0}));
    EXPECT_TRUE(Near(image.At(108, 105), {0, 0, 0}));
    // The translucent sprite: the average with the fill it covers.
    EXPECT_TRUE(Near(image.At(32, 42), Average(LevelsOf(26), fillLevels, bits)));
    EXPECT_TRUE(Near(image.At(37, 45), Average(LevelsOf(26), fillLevels, bits)));
    EXPECT_TRUE(Near(image.At(38, 45), fill));
    // The counter 345 with its point after the 4: glyphs 3, 4, point, 5 four columns apart, the
    // marker columns not drawn.
    const int glyphs[] = {3, 4, 12, 5};
    for (int i = 0; i < 4; ++i) {
      EXPECT_TRUE(Near(image.At(300 + 4 * i + 1, 202), Shown(LevelsOf(40 + glyphs[i])))) << i;
      EXPECT_TRUE(Near(image.At(300 + 4 * i + 3, 200), {0, 0, 0})) << i;
    }
    EXPECT_TRUE(Near(image.At(317, 202), {0, 0, 0}));
    // The picture sizes in the dump; the missing sprite shows the default picture.
    const std::string dump = testing_support::ReadText(folder / "d.json");
    EXPECT_EQ(AspectOf(dump, 0), "{\"tag\": \"d3f.\", \"width\": 4, \"height\": 4, \"frames\": 1}");
    EXPECT_EQ(AspectOf(dump, 2), "{\"tag\": \"d3e.\", \"width\": 8, \"height\": 6, \"frames\": 1}");
    EXPECT_EQ(AspectOf(dump, 4), "{\"tag\": \"d3h.\", \"width\": 52, \"height\": 5, \"frames\": 1}");
    EXPECT_EQ(AspectOf(dump, 5), "{\"tag\": \"d3e.\", \"width\": 16, \"height\": 16, \"frames\": 1}");
  }
}

// A sprite animates through its numbered pictures: the count found is word 42 and the dump's
// frame count, and every picture has its own slot.
TEST(ScreenPlay, SpriteAnimationPicturesFillConsecutiveSlots) {
  WorkFolder folder(1);
  ASSERT_TRUE(testing_support::WriteText(folder / "sprites/a.pcx", Solid(2, 2, 1)));
  ASSERT_TRUE(testing_support::WriteText(folder / "sprites/a.002", Solid(3, 2, 2)));
  ASSERT_TRUE(testing_support::WriteText(folder / "sprites/a.003", Solid(4, 2, 3)));
  ASSERT_TRUE(testing_support::WriteText(folder / "sprites/a.005", Solid(5, 2, 4)));  // after a gap: not read
  TestElement sprite = Element("Walker", kTypeSprite, "./sprites/a.pcx", 10, 10, "0/0/639/479");
  sprite.fields.push_back({38, "0/9"});  // a stale stored count
  testing_support::WriteTestProject(folder, {sprite});
  const auto run = testing_support::RunProgram(
      VEXEL_VEXEL_BINARY, {"play", "projects/myprj/default.prj", "--ticks", "1", "--dump", "d.json"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string dump = testing_support::ReadText(folder / "d.json");
  EXPECT_EQ(AspectOf(dump, 0), "{\"tag\": \"d3e.\", \"width\": 2, \"height\": 2, \"frames\": 3}");
  EXPECT_EQ(testing_support::DumpWord(dump, 42, 0), 3);
}

}  // namespace
