// The bundled game played as a player gets it: its own engine copy in a copy of the finished
// folder, headless on the virtual clock, driven by input scripts. A scripted playthrough of both
// sub-projects on both brain backends, what the screen shows along the way, the pick-ups and the
// boulder, and thousands of ticks of random input.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/app.h"
#include "support/run_program.h"
#include "support/screenshot.h"
#include "support/work_folder.h"

namespace {

using testing_support::Image;
using testing_support::Program;
using testing_support::ReadText;
using testing_support::RunResult;
using testing_support::WriteText;

// Element indices of the hills (level001): the craft, the first ring, the boulder.
constexpr int kCraft = 5;
constexpr int kFirstRing = 6;
constexpr int kHillsBoulder = 14;
constexpr int kHillsGround = 3;
constexpr int kWordY = 4;
constexpr int kWordZ = 5;
constexpr int kWordVelocityZ = 11;
constexpr int kWordStatus = 22;
constexpr int32_t kShown = 0x40;

// A copy of the bundled game that asks for the software device.
class DemoFolder : public testing_support::GameFolder {
 public:
  DemoFolder() : GameFolder(VEXEL_DEMO_DIR) {}
  // Starts the game's own engine copy headless with `args` and the input script `script`.
  std::unique_ptr<Program> Start(const std::string& script, std::vector<std::string> args) const {
    const std::string scriptName = "input" + std::to_string(++scripts_) + ".txt";
    EXPECT_TRUE(WriteText(*this / scriptName, script));
    args.insert(args.begin(), {"--headless", "--input", scriptName});
    return std::make_unique<Program>(*this / "vexelexe", args, path());
  }

 private:
  mutable int scripts_ = 0;
};

// Minutes enough for the sanitizer build on a busy machine.
constexpr double kPlaySeconds = 900;

// The whole game, as scripts/play --headless tours it: a key at the hills' "press any key"
// picture, UP held through the hills (rings, the boulder, the far edge) until their time runs out;
// a key at the canyon's picture, UP held along the canyon; a key at the end picture.
constexpr const char* kPlaythroughTicks = "4000";
// Presented frames that land in each sub-project: the two pictures come first, then the hills;
// the canyon starts after the hills' 1411 steps and its own two pictures.
constexpr int kHillsFrame = 100;
constexpr int kCanyonFrame = 1510;
// Four rings of 100 points in the hills, three in the canyon.
constexpr int32_t kFinalScore = 700;

// The share of pixels in the rectangle for which `test` holds.
template <typename Test>
double Share(const Image& image, int left, int top, int right, int bottom, Test test) {
  int count = 0, total = 0;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x, ++total) count += test(image.At(x, y)) ? 1 : 0;
  }
  return total == 0 ? 0.0 : static_cast<double>(count) / total;
}
// The craft's red, lit or in shade: green and blue well under 40 % of red (sandstone has more).
bool Red(const testing_support::Rgb& c) { return c[0] > 90 && c[1] * 10 < c[0] * 4 && c[2] * 10 < c[0] * 4; }
bool Grass(const testing_support::Rgb& c) { return c[1] > c[0] + 20 && c[1] > c[2] + 20; }
bool Sandstone(const testing_support::Rgb& c) { return c[0] > c[1] + 20 && c[1] > c[2]; }
bool Bright(const testing_support::Rgb& c) { return c[0] > 200 && c[1] > 200 && c[2] > 200; }

// The panel along the top (40 rows): its text is bright, the bar under it darker than the sky or
// ground it lets through.
void ExpectPanel(const Image& image) {
  EXPECT_GT(Share(image, 0, 4, 640, 34, Bright), 0.01);
  EXPECT_LT(Share(image, 0, 4, 640, 34, Bright), 0.3);
}

// The game builder puts a placeholder in place of a missing file without a word, so a misspelt
// path in the game's sources would go unseen: every "./" path the projects, the visuals and the
// list name must lie in the working folder the game is built from.
TEST(DemoGame, EveryFileTheSourcesNameIsThere) {
  const std::string work = VEXEL_DEMO_WORK;
  int named = 0;
  for (const char* source : {"projects/ringrun/hills.prj", "projects/ringrun/canyon.prj", "visuals/craft.v3d",
                             "visuals/ring.v3d", "visuals/boulder.v3d", "visuals/tree.v3d", "visuals/hills.v3d",
                             "visuals/canyon.v3d", "multilev/ringrun.mlv"}) {
    const std::string text = ReadText(work + "/" + source);
    ASSERT_FALSE(text.empty()) << source;
    for (size_t at = text.find("./"); at != std::string::npos; at = text.find("./", at + 2)) {
      if (at > 0 && text[at - 1] != '|' && text[at - 1] != '\n') continue;
      const std::string path = text.substr(at + 2, text.find_first_of("|\r\n", at) - at - 2);
      EXPECT_TRUE(testing_support::FileExistsAt(work + "/" + path)) << path << " named by " << source;
      ++named;
    }
  }
  EXPECT_GT(named, 100);
}

TEST(DemoGame, AScriptedPlaythroughReachesTheEndPictureAlikeOnBothBrainBackends) {
  DemoFolder interp, native;
  const std::string tour = ReadText(VEXEL_TOUR_SCRIPT);
  ASSERT_FALSE(tour.empty());
  auto first = interp.Start(tour, {"--ticks", kPlaythroughTicks, "--brains=interp", "--dump", "d.json",
                                           "--screenshot", "s.png", "--screenshot-at", std::to_string(kHillsFrame)});
  auto second = native.Start(tour, {"--ticks", kPlaythroughTicks, "--brains=native", "--dump", "d.json",
                                            "--screenshot", "s.png", "--screenshot-at", std::to_string(kCanyonFrame)});
  const RunResult a = first->Wait(kPlaySeconds);
  const RunResult b = second->Wait(kPlaySeconds);
  ASSERT_EQ(a.exitCode, 0) << a.err;
  ASSERT_EQ(b.exitCode, 0) << b.err;

  // Start picture, both sub-projects with their pictures, the end picture; no box on the way.
  for (const RunResult* run : {&a, &b}) {
    size_t at = 0;
    for (const char* picture : {"title.bmp", "hillsgo.bmp", "canyonload.bmp", "canyongo.bmp", "end_.bmp"}) {
      at = run->err.find("[picture] " + std::string(picture) + " 640x480", at);
      ASSERT_NE(at, std::string::npos) << picture << " missing or out of order:\n" << run->err;
    }
    EXPECT_EQ(run->err.find("[message box]"), std::string::npos) << run->err;
  }

  // The last play was the canyon, which ended the game; the score went through globvars.dat.
  const std::string dump = ReadText(interp / "d.json");
  EXPECT_NE(dump.find("\"exit_target\": -2"), std::string::npos);
  EXPECT_NE(dump.find("\"sub_project\": 2"), std::string::npos);
  EXPECT_EQ(dump, ReadText(native / "d.json"));
  EXPECT_EQ(interp.Globals().at(0), kFinalScore);
  EXPECT_EQ(native.Globals().at(0), kFinalScore);

  // The hills: red craft in the middle of the lower half, grass along the bottom, the panel.
  const Image hills = testing_support::LoadPng(interp / "s.png");
  ASSERT_EQ(hills.width, 640);
  EXPECT_GT(Share(hills, 200, 240, 440, 420, Red), 0.03);
  EXPECT_GT(Share(hills, 0, 430, 640, 480, Grass), 0.8);
  ExpectPanel(hills);
  // The canyon: the craft again, over sandstone.
  const Image canyon = testing_support::LoadPng(native / "s.png");
  ASSERT_EQ(canyon.width, 640);
  EXPECT_GT(Share(canyon, 200, 240, 440, 420, Red), 0.02);
  EXPECT_GT(Share(canyon, 0, 430, 640, 480, Sandstone), 0.8);
  ExpectPanel(canyon);
}

// UP held from the start: the craft flies through the first three rings (each gone once picked,
// 100 points each) into the boulder, which throws it back with a thump.
TEST(DemoGame, TheCraftPicksUpRingsAndBouncesOffTheBoulder) {
  DemoFolder game;
  auto run = game.Start("@2 key RETURN\n@10 keydown UP\n", {"--ticks", "100", "--dump", "d.json"});
  const RunResult result = run->Wait(kPlaySeconds);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::string dump = ReadText(game / "d.json");
  for (int ring = kFirstRing; ring < kFirstRing + 8; ++ring) {
    EXPECT_EQ((testing_support::DumpWord(dump, kWordStatus, ring) & kShown) == 0, ring < kFirstRing + 3) << ring;
  }
  EXPECT_EQ(game.Globals().at(0), 300);
  EXPECT_EQ(game.Globals().at(1), 3);
  // The ground map (stored scrambled like every resource of a built game) carries the craft over
  // the hills, more than a metre up at this point.
  EXPECT_NE(dump.find("\"ground\": {\"mesh\": " + std::to_string(kHillsGround)), std::string::npos);
  EXPECT_GT(testing_support::DumpWord(dump, kWordY, kCraft), 512000);
  // Thrown back towards the start, short of the boulder.
  EXPECT_LT(testing_support::DumpWord(dump, kWordVelocityZ, kCraft), 0);
  EXPECT_LT(testing_support::DumpWord(dump, kWordZ, kCraft), testing_support::DumpWord(dump, kWordZ, kHillsBoulder));
}

// The first controller flies the craft as the keys do: button 1 is full power, the stick held
// right turns it to the right (towards +x).
TEST(DemoGame, AGameControllerFliesTheCraftToo) {
  DemoFolder game;
  auto run = game.Start("@0 pad 1 on\n@2 button 1 0 down\n@4 button 1 0 up\n@10 button 1 0 down\n@40 axis 1 x 1000\n",
                        {"--ticks", "70", "--dump", "d.json"});
  const RunResult result = run->Wait(kPlaySeconds);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::string dump = ReadText(game / "d.json");
  constexpr int kWordX = 3, kWordVelocityX = 9;
  EXPECT_GT(testing_support::DumpWord(dump, kWordZ, kCraft), -12 * 512000);  // flown forwards from z = -18 m
  EXPECT_GT(testing_support::DumpWord(dump, kWordX, kCraft), 512000);       // and off to the right
  EXPECT_GT(testing_support::DumpWord(dump, kWordVelocityX, kCraft), 0);
}

// Escape in the hills leaves the game at once: no canyon, no end picture.
TEST(DemoGame, EscapeLeavesTheGameAtOnce) {
  DemoFolder game;
  auto run = game.Start("@2 key RETURN\n@30 key ESC\n", {"--ticks", "1000", "--dump", "d.json"});
  const RunResult result = run->Wait(kPlaySeconds);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err.find("canyonload.bmp"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("end_.bmp"), std::string::npos) << result.err;
  const std::string dump = ReadText(game / "d.json");
  EXPECT_NE(dump.find("\"exit_target\": -3"), std::string::npos);
  EXPECT_NE(dump.find("\"sub_project\": 1"), std::string::npos);
}

// Thousands of ticks of random keys and controller moves (never Escape) through both
// sub-projects: no brain fails at run time and no box opens.
TEST(DemoGame, RandomInputForThousandsOfTicksRaisesNoRunTimeError) {
  std::mt19937 random(20261209);
  const char* const keys[] = {"UP", "DOWN", "LEFT", "RIGHT", "SPACE", "RETURN", "A", "1"};
  std::string script = "@0 pad 1 on\n";
  for (int pass = 1; pass < 3000; pass += 1 + static_cast<int>(random() % 12)) {
    const std::string at = "@" + std::to_string(pass) + " ";
    switch (random() % 4) {
      case 0: script += at + "keydown " + keys[random() % 8] + "\n"; break;
      case 1: script += at + "keyup " + keys[random() % 8] + "\n"; break;
      case 2:
        script += at + "axis 1 " + (random() % 2 ? "x " : "y ") + std::to_string(static_cast<int>(random() % 2001) - 1000) + "\n";
        break;
      default: script += at + "button 1 " + std::to_string(random() % 4) + (random() % 2 ? " down\n" : " up\n"); break;
    }
  }
  DemoFolder game;
  auto run = game.Start(script, {"--ticks", "3000", "--dump", "d.json"});
  const RunResult result = run->Wait(kPlaySeconds);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err.find("Runtime Error"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("[message box]"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("[picture] canyonload.bmp"), std::string::npos) << result.err;
  EXPECT_TRUE(testing_support::FileExistsAt(game / "d.json"));
}

}  // namespace
