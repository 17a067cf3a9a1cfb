// The scene of played projects, end to end: projects written into the skeleton working folder (or
// the ring game) are played headless with `vexel play` on Mesa, and what the camera shows is
// read back from PNG screenshots, what the brains saw from the state dump.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/app.h"
#include "core/core.h"
#include "model/model.h"
#include "support/run_program.h"
// The one copy of the PNG decoder in this program.
#define STB_IMAGE_IMPLEMENTATION
#include "support/screenshot.h"
#include "support/work_folder.h"

namespace {

using testing_support::DumpWord;
using testing_support::ReadText;
using testing_support::RunProgram;
using testing_support::TestElement;
using testing_support::WorkFolder;
using testing_support::WriteText;
using testing_support::Image;
using testing_support::LoadPng;
using testing_support::Near;
using testing_support::Rgb;

constexpr int kTypeFlatShape = 2;
constexpr int kTypeVisual = 11;
constexpr int kTypeMeshes = 13;
constexpr const char* kFullScreen = "0/0/639/479/0/20&40/7";
constexpr int32_t kUnitsPerMetre = 512000;

// A colour field of a visual part as the part shows it unlit: value x 255 / 256, per channel.
Rgb Shown(const Rgb& c) { return {c[0] * 255 / 256, c[1] * 255 / 256, c[2] * 255 / 256}; }

// One part line of the skeleton's 1 m cube, colour only (mode 0) and unlit (quality 1).
std::string ColourPart(int frame, const Rgb& c) {
  return std::to_string(frame) + "|./images/none.bmp|./visuals/default_.3ds|0|1|0|0|0|0|0|0|25000|0|0|0|0|0|0|0|0|0|0|0|0|" +
         std::to_string(c[0]) + "|" + std::to_string(c[1]) + "|" + std::to_string(c[2]) + "|0|1|./visuals/default_.3ds|0\r\n";
}

// A visual element of `file` at (x, y, z) metres.
TestElement Visual(const std::string& name, const std::string& file, const std::string& x, const std::string& y,
                   const std::string& z, const std::string& brain = "") {
  return {name, {{2, file}, {5, x}, {6, y}, {7, z}, {36, std::to_string(kTypeVisual)}}, brain};
}

TestElement Camera(const std::string& rectangle, const std::string& brain) { return {"Camera", {{37, rectangle}}, brain}; }

// Plays the folder's default project headless for `ticks` ticks with a dump, and more options.
testing_support::RunResult Play(const WorkFolder& folder, int ticks, std::vector<std::string> more = {}) {
  std::vector<std::string> args = {"play", "projects/myprj/default.prj", "--ticks", std::to_string(ticks), "--dump",
                                   "d.json"};
  args.insert(args.end(), more.begin(), more.end());
  return RunProgram(VEXEL_VEXEL_BINARY, args, folder.path());
}

// The state dump's globals.
std::vector<int32_t> Globals(const std::string& dump) {
  std::vector<int32_t> values;
  size_t at = dump.find("\"globals\": [");
  if (at == std::string::npos) return values;
  const char* p = dump.c_str() + at + 12;
  while (*p != ']' && *p != '\0') {
    char* end = nullptr;
    values.push_back(static_cast<int32_t>(std::strtol(p, &end, 10)));
    p = end;
    while (*p == ',' || *p == ' ') ++p;
  }
  return values;
}

// The dump's scene object of `element` (the first slot), as its JSON text; empty when none.
std::string SceneObject(const std::string& dump, int element) {
  const size_t objects = dump.find("\"objects\": [");
  if (objects == std::string::npos) return "";
  const size_t at = dump.find("{\"element\": " + std::to_string(element) + ", \"slot\"", objects);
  if (at == std::string::npos) return "";
  return dump.substr(at, dump.find('}', at) - at + 1);
}

// Pixels of the rectangle [x0, x1) x [y0, y1) that pass `test`.
template <typename Test>
int Count(const Image& image, int x0, int y0, int x1, int y1, Test test) {
  int count = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) count += test(image.At(x, y)) ? 1 : 0;
  }
  return count;
}

bool Magenta(const Rgb& c) { return c[0] > 200 && c[1] < 60 && c[2] > 200; }

// The skeleton camera looks along +z from the origin with a lens that gives a field of half the
// front distance across 320 pixels: a point (x, y, z) shows at (320 + 640 x / z, 240 - 640 y / z).
// The cube at z = 5 has its near face at 4.5 m and spans 142 pixels each side of its centre.
TEST(ScenePlay, AnUnlitColourShowsStraightAheadWithXToTheRightAndYUp) {
  WorkFolder folder(1);
  const Rgb centre = {200, 100, 50}, right = {40, 220, 90}, up = {90, 60, 230};
  ASSERT_TRUE(WriteText(folder / "visuals/centre.v3d", ColourPart(1, centre)));
  ASSERT_TRUE(WriteText(folder / "visuals/right.v3d", ColourPart(1, right)));
  ASSERT_TRUE(WriteText(folder / "visuals/up.v3d", ColourPart(1, up)));
  testing_support::WriteTestProject(folder, {Camera(kFullScreen, ""), Visual("Centre", "./visuals/centre.v3d", "0", "0", "5"),
                                             Visual("Right", "./visuals/right.v3d", "2", "0", "5"),
                                             Visual("Up", "./visuals/up.v3d", "0", "1.6", "5")});
  const auto run = Play(folder, 2, {"--screenshot", "s.png"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Image image = LoadPng(folder / "s.png");
  ASSERT_EQ(image.width, 640);
  ASSERT_EQ(image.height, 480);
  // Exactly the part colour as the visual keeps it: no light, no rounding on the way to the screen.
  EXPECT_TRUE(Near(image.At(320, 240), Shown(centre)));
  EXPECT_TRUE(Near(image.At(300, 260), Shown(centre)));
  // Right: x 1.5..2.5 at 4.5 m is 213..356 pixels right of centre; left of the centre cube, nothing.
  EXPECT_TRUE(Near(image.At(600, 240), Shown(right)));
  EXPECT_TRUE(Near(image.At(40, 240), {0, 0, 0}));
  // Up: y 1.1..2.1 at 4.5 m is 156..299 pixels above the centre row; below the cube, nothing.
  EXPECT_TRUE(Near(image.At(320, 30), Shown(up)));
  EXPECT_TRUE(Near(image.At(320, 450), {0, 0, 0}));
}

// A colour fill of camera rectangles: the camera's rectangle only, components held to 0..255.
TEST(ScenePlay, BackgroundModeTwoFillsTheCameraRectangleWithTheClampedColour) {
  WorkFolder folder(1, 2);  // a 32-bit display mode: the colour reaches the screen unrounded
  testing_support::WriteTestProject(
      folder, {Camera("100/50/399/299/0/20&40/7", "background3d_set(2)\r\n3dbg_color_set(300, -5, 128)\r\n")});
  const auto run = Play(folder, 2, {"--screenshot", "s.png"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Image image = LoadPng(folder / "s.png");
  ASSERT_EQ(image.width, 640);
  for (const auto& [x, y] : std::vector<std::pair<int, int>>{{100, 50}, {399, 299}, {250, 170}, {100, 299}}) {
    EXPECT_TRUE(Near(image.At(x, y), {255, 0, 128})) << x << ", " << y;
  }
  for (const auto& [x, y] : std::vector<std::pair<int, int>>{{99, 50}, {400, 299}, {250, 49}, {250, 300}, {600, 400}}) {
    EXPECT_TRUE(Near(image.At(x, y), {0, 0, 0})) << x << ", " << y;
  }
  const std::string dump = ReadText(folder / "d.json");
  EXPECT_NE(dump.find("\"scene\": {\"background_mode\": 2, \"background_colour\": [255, 0, 128]"), std::string::npos)
      << dump.substr(dump.find("\"scene\""), 120);
}

// Three elements go from the screen: one whose flags leave it off from the start, one hidden and
// one switched off by the camera's brain after its eighth run (4 settling steps and 4 ticks); a
// fourth stays.
TEST(ScenePlay, ElementsSwitchedOffOrHiddenDisappear) {
  WorkFolder folder(1);
  const Rgb colour = {200, 100, 50};
  ASSERT_TRUE(WriteText(folder / "visuals/c.v3d", ColourPart(1, colour)));
  TestElement never = Visual("Never", "./visuals/c.v3d", "-1.6", "0", "5");
  never.fields.push_back({33, "0"});
  testing_support::WriteTestProject(
      folder, {Camera(kFullScreen, "var n\r\nn = n + 1\r\nif n > 8\r\nhide(element#2)\r\noff(element#3)\r\nendif\r\n"),
               never, Visual("Hidden", "./visuals/c.v3d", "0", "0", "5"), Visual("Off", "./visuals/c.v3d", "1.6", "0", "5"),
               Visual("Stays", "./visuals/c.v3d", "0", "1.6", "5")});
  const std::array<int, 4> x = {93, 320, 547, 320};  // the centres of the four on screen
  const std::array<int, 4> y = {240, 240, 240, 13};
  for (const int ticks : {2, 6}) {
    SCOPED_TRACE(ticks);
    const auto run = Play(folder, ticks, {"--screenshot", "s.png"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Image image = LoadPng(folder / "s.png");
    const std::string dump = ReadText(folder / "d.json");
    for (int element = 1; element <= 4; ++element) {
      const bool shown = element == 4 || (element != 1 && ticks == 2);
      EXPECT_TRUE(Near(image.At(x[static_cast<size_t>(element - 1)], y[static_cast<size_t>(element - 1)]),
                       shown ? Shown(colour) : Rgb{0, 0, 0}))
          << "element " << element;
      EXPECT_NE(SceneObject(dump, element).find(shown ? "\"shown\": true" : "\"shown\": false"), std::string::npos)
          << SceneObject(dump, element);
    }
  }
}

// Camera 1 fills the screen and sees a flat shape 2 m ahead; camera 2, 100 m to the side, shows a
// green cube 3.5 m ahead in a rectangle at the screen's centre. The flat is nearer its camera than
// the cube is to its own, so when camera 1's flats come after camera 2's main scene they cover the
// cube; otherwise camera 2's pass paints over them.
TEST(ScenePlay, FlatsPriorityDrawsEveryCamerasFlatsAfterAllMainScenes) {
  WorkFolder folder(1);
  const Rgb green = {0, 200, 0};
  ASSERT_TRUE(WriteText(folder / "visuals/green.v3d", ColourPart(1, green)));
  for (const int priority : {0, 1}) {
    SCOPED_TRACE(priority);
    TestElement second = Camera("240/180/399/299/0/20&40/7", "");
    second.name = "Second";
    second.fields.push_back({5, "100"});
    testing_support::WriteTestProject(
        folder, {Camera(kFullScreen, "flats_priority_set(" + std::to_string(priority) + ")\r\n"), second,
                 {"Flat", {{2, "./data/error.pcx"}, {7, "2"}, {36, std::to_string(kTypeFlatShape)}}, ""},
                 Visual("Cube", "./visuals/green.v3d", "100", "0", "4")});
    const auto run = Play(folder, 2, {"--screenshot", "s.png"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Image image = LoadPng(folder / "s.png");
    // The cube spans 22 pixels each side of the centre of camera 2's rectangle (320, 240).
    const int magenta = Count(image, 302, 222, 338, 258, Magenta);
    const int cube = Count(image, 302, 222, 338, 258, [&](const Rgb& c) { return Near(c, Shown(green)); });
    // Outside camera 2's rectangle camera 1's flat shows either way.
    EXPECT_GT(Count(image, 170, 100, 230, 380, Magenta), 100);
    if (priority == 0) {
      EXPECT_EQ(magenta, 0);
      EXPECT_EQ(cube, 36 * 36);
    } else {
      // The flat covers most of the cube; only texels of pure black (inside the checker's black
      // squares, away from the filtered edges) let it show through.
      EXPECT_GT(magenta, 36 * 36 / 8);
      EXPECT_LT(cube, 36 * 36 / 2);
    }
  }
}

// Fog from 20 m to 30 m: a face at 10 m keeps its colour, one at 25 m is halfway to the fog colour,
// one at 40 m is the fog colour.
TEST(ScenePlay, LinearFogTakesAFaceHalfwayAtTheMiddleOfItsRange) {
  WorkFolder folder(1);
  const Rgb colour = {200, 100, 50};
  const Rgb fog = {0, 200, 250};
  ASSERT_TRUE(WriteText(folder / "visuals/c.v3d", ColourPart(1, colour)));
  testing_support::WriteTestProject(
      folder, {Camera(kFullScreen, "fog_set(10240000, 15360000)\r\nfogeffect_set(1)\r\nfog_color_set(0, 200, 250)\r\n"
                                   "global_set(0, fog_start())\r\nglobal_set(1, fog_end())\r\n"),
               Visual("Near", "./visuals/c.v3d", "-3", "0", "10.5"), Visual("Middle", "./visuals/c.v3d", "0", "0", "25.5"),
               Visual("Far", "./visuals/c.v3d", "12", "0", "40.5")});
  const auto run = Play(folder, 2, {"--screenshot", "s.png"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Image image = LoadPng(folder / "s.png");
  const Rgb shown = Shown(colour);
  EXPECT_TRUE(Near(image.At(128, 240), shown));
  Rgb half;
  for (size_t i = 0; i < 3; ++i) half[i] = (shown[i] + fog[i]) / 2;
  EXPECT_TRUE(Near(image.At(320, 240), half, 2));
  EXPECT_TRUE(Near(image.At(512, 240), fog, 1));
  const std::vector<int32_t> globals = Globals(ReadText(folder / "d.json"));
  ASSERT_GE(globals.size(), 2u);
  EXPECT_EQ(globals[0], 20 * kUnitsPerMetre);
  EXPECT_EQ(globals[1], 30 * kUnitsPerMetre);
}

// Picking with the pointer and along an element's forward ray. Globals 10 on hold what the pointer
// picked at each brain run; the out elements (off, so never hit) are moved to the hit points.
TEST(ScenePlay, ThePointerAndForwardRaysPickTheElementInFrontAtItsNearFace) {
  WorkFolder folder(1);
  ASSERT_TRUE(WriteText(folder / "visuals/c.v3d", ColourPart(1, {200, 100, 50})));
  ASSERT_TRUE(WriteText(folder / "visuals/two.v3d", ColourPart(1, {200, 100, 50}) + ColourPart(2, {50, 100, 200})));
  auto off = [](TestElement element) {
    element.fields.push_back({33, "0"});
    return element;
  };
  const std::string brain =
      "var n\r\n"
      "n = n + 1\r\n"
      "global_set(0, element#1)\r\n"
      "global_set(1, element#5)\r\n"
      "global_set(2, element#8)\r\n"
      "global_set(9 + n, visual_picked_get_ex(element#3))\r\n"
      // The animated target shows its second frame.
      "register_set(element#8, 0, register(element#8, 1) + 64)\r\n"
      "global_set(3, visual_ray(element#4, element#6))\r\n"
      "global_set(4, visual_ray(element#7, element#9))\r\n"
      "global_set(5, visual_ray(element#10, 0))\r\n"
      "global_set(6, register(element#8, 0) - register(element#8, 1))\r\n";
  testing_support::WriteTestProject(
      folder, {Camera(kFullScreen, brain), Visual("Front", "./visuals/c.v3d", "0", "0", "5"),
               Visual("Behind", "./visuals/c.v3d", "0", "0", "9"), off(Visual("PointerHit", "./visuals/c.v3d", "0", "0", "0")),
               Visual("Shooter", "./visuals/c.v3d", "8", "0", "0"), Visual("Target", "./visuals/c.v3d", "8", "0", "6"),
               off(Visual("RayHit", "./visuals/c.v3d", "0", "0", "0")),
               Visual("Shooter2", "./visuals/c.v3d", "-8", "0", "0"), Visual("Animated", "./visuals/two.v3d", "-8", "0", "6"),
               off(Visual("RayHit2", "./visuals/c.v3d", "0", "0", "0")),
               Visual("Alone", "./visuals/c.v3d", "-30", "0", "0")});
  // The pointer over the front cube, 10 pixels right of and below the centre, then over nothing
  // (start-up takes some twenty input passes before the first tick).
  ASSERT_TRUE(WriteText(folder / "input.txt", "@0 mouse 330 250\r\n@24 mouse 600 30\r\n"));
  const auto run = Play(folder, 8, {"--input", "input.txt"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string dump = ReadText(folder / "d.json");
  const std::vector<int32_t> globals = Globals(dump);
  ASSERT_GE(globals.size(), 30u);
  const int32_t front = globals[0];
  ASSERT_NE(front, 0);
  // 4 settling steps and 8 ticks: the front cube while the pointer is over it, then nothing. The
  // settling steps come before the first frame and see the scene placed from the records already.
  int picked = 0;
  for (int run = 1; run <= 12; ++run) {
    const int32_t value = globals[static_cast<size_t>(9 + run)];
    EXPECT_TRUE(value == 0 || value == front) << "run " << run << ": element " << (value - front) / 1024 + 1;
    if (value == front) {
      EXPECT_EQ(picked, run - 1) << "picked again after nothing";
      picked = run;
    }
  }
  EXPECT_EQ(globals[10], front);
  EXPECT_GE(picked, 2);
  EXPECT_EQ(globals[21], 0);
  // The hit is on the near face (z 4.5 m); x and y as the pixel's ray meets it, within a pixel.
  const int32_t pixel = 4.5 * 0.5 / 320 * kUnitsPerMetre;
  EXPECT_NEAR(DumpWord(dump, model::kWordPositionX, 3), 10 * pixel, pixel);
  EXPECT_NEAR(DumpWord(dump, model::kWordPositionY, 3), -10 * pixel, pixel);
  EXPECT_NEAR(DumpWord(dump, model::kWordPositionZ, 3), 4.5 * kUnitsPerMetre, 512);

  // Forward rays start inside their own cube, which does not count.
  EXPECT_EQ(globals[3], globals[1]);
  EXPECT_EQ(DumpWord(dump, model::kWordPositionX, 6), 8 * kUnitsPerMetre);
  EXPECT_NEAR(DumpWord(dump, model::kWordPositionY, 6), 0, 512);
  EXPECT_NEAR(DumpWord(dump, model::kWordPositionZ, 6), 5.5 * kUnitsPerMetre, 512);
  EXPECT_EQ(globals[6], 64);  // the animated target showed its second frame
  EXPECT_EQ(globals[4], globals[2]);
  EXPECT_NEAR(DumpWord(dump, model::kWordPositionZ, 9), 5.5 * kUnitsPerMetre, 512);
  EXPECT_EQ(globals[5], 0);
}

// The "scene" member of the dump: viewports and objects as the last frame left them. A camera
// whose field 37 lacks its seventh item keeps its file's rectangle (the skeleton's centre quarter).
TEST(ScenePlay, TheDumpListsViewportsAndObjects) {
  WorkFolder folder(1);
  ASSERT_TRUE(WriteText(folder / "visuals/c.v3d", ColourPart(1, {200, 100, 50})));
  TestElement six = Camera("0/0/639/479/0/20&40", "");
  six.name = "Six";
  TestElement off = Visual("Off", "./visuals/c.v3d", "0", "0", "-5");
  off.fields.push_back({33, "0"});
  testing_support::WriteTestProject(
      folder, {Camera(kFullScreen, ""), six, Visual("Cube", "./visuals/c.v3d", "1.5", "-2", "7.25"), off,
               {"Flat", {{2, "./data/error.pcx"}, {6, "3"}, {36, std::to_string(kTypeFlatShape)}}, ""}});
  const auto run = Play(folder, 1);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string dump = ReadText(folder / "d.json");
  const size_t scene = dump.find("\"scene\": {");
  ASSERT_NE(scene, std::string::npos) << dump;
  const std::string text = dump.substr(scene);
  EXPECT_NE(text.find("\"viewports\": [{\"element\": 0, \"rect\": [0, 0, 640, 480], \"front\": 1, \"back\": 100, "
                      "\"field\": 0.5}, {\"element\": 1, \"rect\": [160, 120, 320, 240], \"front\": 1, \"back\": 100, "
                      "\"field\": 0.5}]"),
            std::string::npos)
      << text.substr(0, 400);
  const std::string cube = SceneObject(dump, 2);
  EXPECT_NE(cube.find("\"scene\": \"main\", \"shown\": true, \"position\": [1.5, -2, 7.25]"), std::string::npos) << cube;
  EXPECT_NE(cube.find("\"kind\": \"d3v.\""), std::string::npos) << cube;
  EXPECT_NE(SceneObject(dump, 3).find("\"shown\": false"), std::string::npos) << SceneObject(dump, 3);
  const std::string flat = SceneObject(dump, 4);
  EXPECT_NE(flat.find("\"scene\": \"flats\", \"shown\": true, \"position\": [0, 3, 0]"), std::string::npos) << flat;
  EXPECT_NE(SceneObject(dump, 1).find("\"kind\": \"d30.\""), std::string::npos) << SceneObject(dump, 1);
}

// The skeleton as it is made, without the settings file the front end writes.
TEST(ScenePlay, AFreshSkeletonPlaysHeadless) {
  testing_support::TempFolder folder;
  ASSERT_TRUE(folder.CopyFrom(VEXEL_GAME_DIR));
  ASSERT_FALSE(testing_support::FileExistsAt(folder / "config.ini"));
  const auto run = RunProgram(VEXEL_VEXEL_BINARY, {"play", "projects/myprj/default.prj", "--ticks", "3", "--dump", "d.json"},
                              folder.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "play ended normally\n");
  EXPECT_NE(ReadText(folder / "d.json").find("\"viewports\": [{\"element\": 0, \"rect\": [160, 120, 320, 240]"),
            std::string::npos);
}

// The ring game: a lit, textured ring turning under a sky.
TEST(ScenePlay, TheRingGameShowsAMovingLitTexturedRing) {
  std::array<Image, 2> frames;
  for (size_t i = 0; i < 2; ++i) {
    testing_support::GameFolder game;
    const std::string ticks = i == 0 ? "5" : "40";
    const auto run = testing_support::RunMain({"--ticks", ticks, "--screenshot", "s.png"}, game.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    frames[i] = LoadPng(game / "s.png");
    ASSERT_EQ(frames[i].width, 640);
    ASSERT_EQ(frames[i].height, 480);
  }
  EXPECT_NE(frames[0].rgb, frames[1].rgb);
  for (const Image& image : frames) {
    // The sky: the colours of the top rows, above the ring.
    std::set<uint32_t> sky, centre;
    const auto key = [](const Rgb& c) { return static_cast<uint32_t>(c[0] << 16 | c[1] << 8 | c[2]); };
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 640; ++x) sky.insert(key(image.At(x, y)));
    }
    int notSky = 0;
    for (int y = 160; y < 320; ++y) {
      for (int x = 220; x < 420; ++x) {
        const uint32_t c = key(image.At(x, y));
        centre.insert(c);
        notSky += sky.count(c) == 0 ? 1 : 0;
      }
    }
    // Texture and light: many shades in the centre, most of them not the sky's.
    EXPECT_GT(centre.size(), 50u);
    EXPECT_GT(notSky, 2000);
  }
}

// The project text WriteTestProject writes, for a game's sub-project.
std::string ProjectText(const std::vector<TestElement>& elements) {
  testing_support::TempFolder scratch;
  EXPECT_TRUE(core::MakeFolders(scratch / "projects/myprj"));
  EXPECT_TRUE(WriteText(scratch / "projects/myprj/default.prj",
                        ReadText(std::string(VEXEL_GAME_DIR) + "/projects/myprj/default.prj")));
  testing_support::WriteTestProject(scratch, elements, "level.prj");
  return ReadText(scratch / "level.prj");
}

// The "gl_objects" member of a dump; -1 when it is missing or null.
int64_t GlObjects(const std::string& dump) {
  const size_t at = dump.find("\"gl_objects\": ");
  if (at == std::string::npos || dump.compare(at + 14, 4, "null") == 0) return -1;
  return std::strtoll(dump.c_str() + at + 14, nullptr, 10);
}

// A game of `levels` sub-projects, each showing the bundled ring, a colour cube and a flat shape
// once and moving on to the next; the last ends the game. Returns the dump of the last play.
std::string PlayChain(int levels) {
  testing_support::GameFolder game;
  EXPECT_TRUE(WriteText(game / "visuals/cube.v3d", ColourPart(1, {200, 100, 50})));
  for (int level = 1; level <= levels; ++level) {
    const std::string brain = level < levels ? "exit(" + std::to_string(level + 1) + ")\r\n" : "exit(-2)\r\n";
    std::string text = ProjectText({Camera(kFullScreen, brain), Visual("Ring", "./visuals/ring.v3d", "0", "0", "4"),
                                    Visual("Cube", "./visuals/cube.v3d", "1", "0", "5"),
                                    {"Flat", {{2, "./data/error.pcx"}, {7, "3"}, {36, std::to_string(kTypeFlatShape)}}, ""}});
    model::ScrambleBytes(&text);
    EXPECT_TRUE(WriteText(app::SubProjectPath(game.path(), level), text));
  }
  const auto run = testing_support::RunMain({"--ticks", "200", "--dump", "d.json"}, game.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  return ReadText(game / "d.json");
}

// Every play lets go of the GL objects it made: after the twentieth play as many are alive as after
// the only play of a one-level game (the renderer's programs and shared buffers).
TEST(ScenePlay, TwentyPlaysInOneRunLeaveNoGlObjectsBehind) {
  const std::string one = PlayChain(1);
  const std::string twenty = PlayChain(20);
  EXPECT_EQ(twenty.rfind("{\"tick\": 5, \"exit_target\": -2,", 0), 0u) << twenty.substr(0, 60);
  // The scene of the last play was there to draw.
  EXPECT_NE(SceneObject(twenty, 1).find("\"shown\": true"), std::string::npos) << SceneObject(twenty, 1);
  const int64_t first = GlObjects(one);
  ASSERT_GT(first, 0) << one.substr(one.find("\"gl_objects\""));
  EXPECT_EQ(GlObjects(twenty), first);
}

// Every .x model of the importer's test set, as a .x element of a play: shown, or refused with a
// line on stderr naming it; never a crash.
TEST(ScenePlay, TheImportersXModelsLoadOrAreRefusedInAPlay) {
  const auto listed = RunProgram("/usr/bin/dpkg", {"-L", "assimp-testmodels"}, "/", 30);
  std::vector<std::string> models;
  size_t at = 0;
  std::string_view line;
  while (core::NextLine(listed.out, &at, &line)) {
    if (line.size() > 2 && (line.ends_with(".x") || line.ends_with(".X"))) models.emplace_back(line);
  }
  if (listed.exitCode != 0 || models.empty()) GTEST_SKIP() << "assimp-testmodels is not installed";
  WorkFolder folder(1);
  ASSERT_TRUE(core::MakeFolders(folder / "objects"));
  std::vector<TestElement> elements = {Camera(kFullScreen, "")};
  std::vector<std::string> paths;
  std::set<std::string> copied;
  for (size_t i = 0; i < models.size(); ++i) {
    // Into the working folder, beside the textures they name.
    const std::string from = models[i].substr(0, models[i].rfind('/'));
    if (copied.insert(from).second) {
      for (const auto& entry : std::filesystem::directory_iterator(from)) {
        if (!entry.is_regular_file()) continue;
        ASSERT_TRUE(WriteText(folder / ("objects/" + entry.path().filename().string()), ReadText(entry.path().string())));
      }
    }
    paths.push_back(folder / ("objects/" + models[i].substr(from.size() + 1)));
    elements.push_back({"X" + std::to_string(i), {{2, paths.back()}, {7, "6"}, {36, std::to_string(kTypeMeshes)}}, ""});
  }
  testing_support::WriteTestProject(folder, elements);
  const auto run = Play(folder, 3, {"--screenshot", "s.png"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.killedBy, 0);
  const std::string dump = ReadText(folder / "d.json");
  int shown = 0;
  for (size_t i = 0; i < models.size(); ++i) {
    SCOPED_TRACE(models[i]);
    const int element = static_cast<int>(i) + 1;
    const std::string object = SceneObject(dump, element);
    const bool refused = run.err.find("main: the .x file " + paths[i] + " of element " + std::to_string(element) +
                                      " cannot be shown: ") != std::string::npos;
    // A refused file still gets its slot, an empty frame.
    EXPECT_NE(object.find("\"kind\": \"d3x.\""), std::string::npos) << object;
    if (!refused) ++shown;
  }
  EXPECT_GE(shown, static_cast<int>(models.size()) / 2) << run.err;
  // The importer's empty file is refused, with the reason.
  for (size_t i = 0; i < models.size(); ++i) {
    if (models[i].ends_with("/invalid/empty.x")) {
      EXPECT_NE(run.err.find("main: the .x file " + paths[i]), std::string::npos) << run.err;
    }
  }
}

// Printed text reaches the screen: a text and a number in a pure colour, each inside its cell
// (top-left corner at the print's position, 28 pixels high).
TEST(ScenePlay, PrintedTextInAPureColourLiesInsideItsCell) {
  WorkFolder folder(1, 2);  // 32-bit: the colour reaches the screen unrounded
  testing_support::WriteTestProject(
      folder, {Camera(kFullScreen, "color_set(255, 0, 0)\r\nprint(\"Hi %d\", 0, 100, 50)\r\nprint_num(-25, 0, 1, 300, 200)\r\n")});
  const auto run = Play(folder, 3, {"--screenshot", "s.png"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Image image = LoadPng(folder / "s.png");
  ASSERT_EQ(image.width, 640);
  int inside = 0;
  int full = 0;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const Rgb pixel = image.At(x, y);
      if (pixel == Rgb{0, 0, 0}) continue;
      const bool text = x >= 100 && x < 170 && y >= 50 && y < 78;  // "Hi %d": 67 pixels
      const bool number = x >= 300 && x < 345 && y >= 200 && y < 228;  // "-2.5": 43
      EXPECT_TRUE(text || number) << x << ", " << y;
      EXPECT_EQ(pixel[1], 0) << x << ", " << y;
      EXPECT_EQ(pixel[2], 0) << x << ", " << y;
      inside += text ? 1 : 0;
      full += pixel == Rgb{255, 0, 0} ? 1 : 0;
    }
  }
  EXPECT_GT(inside, 50);
  EXPECT_GT(full, 50);
}

}  // namespace
