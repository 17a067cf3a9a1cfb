// End-to-end runs of a finished game's chain of sub-projects, headless.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "app/app.h"
#include "support/run_program.h"
#include "support/screenshot.h"
#include "support/work_folder.h"

namespace {

using testing_support::GameFolder;
using testing_support::ReadText;
using testing_support::RunMain;

TEST(GameRun, ExitTargetsLeadThroughTheChainAndGlobalsCarryOver) {
  GameFolder game;
  game.AddLevel(1, "global_add(0, 1)\r\nexit(2)\r\n");
  game.AddLevel(2, "global_add(1, 1)\r\nif global(0) > 9\r\nexit(-2)\r\nelse\r\nexit(1)\r\nendif\r\n");
  auto run = RunMain({"--ticks", "100", "--dump", "d.json"}, game.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // Level 1 runs 4 settling steps and one loop step (its exit was set while settling), then level 2
  // (5 steps) sends the game back to level 1 until global 0 passes 9: 1, 2, 1, 2 -> 5, 10.
  std::vector<int32_t> globals = game.Globals();
  ASSERT_EQ(globals.size(), 2048u);
  EXPECT_EQ(globals[0], 10);
  EXPECT_EQ(globals[1], 10);
  EXPECT_EQ(ReadText(game / "d.json").rfind("{\"tick\": 5, \"exit_target\": -2,", 0), 0u);
  EXPECT_NE(ReadText(game / "d.json").find("\"sub_project\": 2, \"resumed\": false}"), std::string::npos);
  // The game's editor state is written beside it with the display flag (line 15) set.
  const std::string editor = ReadText(game / "vexel.ini");
  size_t line15 = 0;
  for (int line = 1; line < 15; ++line) line15 = editor.find("\r\n", line15) + 2;
  EXPECT_EQ(editor.substr(line15, 3), "1\r\n");
  for (const std::string& file : game.Files()) EXPECT_FALSE(file.ends_with(".bra")) << file;  // working copies gone

  // The next run of the game starts from the saved globals.
  run = RunMain({"--ticks", "100"}, game.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  globals = game.Globals();
  EXPECT_EQ(globals[0], 15);
  EXPECT_EQ(globals[1], 15);
}

// Level 1 saves once and moves on to level 2, which changes a global and resumes: level 1 comes
// back with the saved position, brain variables and globals, from tick 10000.
TEST(GameRun, ASavedGameComesBackWithPositionsVariablesAndGlobals) {
  GameFolder game;
  game.AddLevel(1, "var n\r\nvar seen\r\nif n = 0\r\nn = 1\r\nposition_x_set(element, 777)\r\n"
                   "global_set(2, 55)\r\nsave()\r\nexit(2)\r\nendif\r\nseen = seen + 1\r\n");
  game.AddLevel(2, "global_set(2, 99)\r\nposition_x_set(element, 1)\r\nresume()\r\n");
  const auto run = RunMain({"--ticks", "30", "--dump", "d.json"}, game.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadText(game / "curr0.dat").size(), model::kSavedGameBytes);
  const std::string dump = ReadText(game / "d.json");
  EXPECT_EQ(testing_support::DumpWord(dump, model::kWordPositionX), 777);
  EXPECT_EQ(testing_support::DumpWord(dump, 255), 1);  // n as saved
  EXPECT_GT(testing_support::DumpWord(dump, 254), 0);  // seen counts the ticks after the resume
  EXPECT_NE(dump.find("\"globals\": [0, 0, 55, 0,"), std::string::npos) << dump.substr(dump.find("\"globals\""), 40);
  const int tick = std::atoi(dump.c_str() + dump.find("\"tick\": ") + 8);
  EXPECT_NE(dump.find("\"sub_project\": 1, \"resumed\": true}"), std::string::npos);
  EXPECT_GE(tick, 10000);
  EXPECT_LE(tick, 10000 + 4 + 30);  // settling steps and the loop steps left
}

// A saved game naming a sub-project the game does not have is damaged: the resume is refused in a
// box, the chain does not move, and the play goes on (debug and push keep running every step).
TEST(GameRun, AResumedSubProjectThatDoesNotExistIsRefusedAndThePlayGoesOn) {
  GameFolder game;
  game.AddLevel(1, "debug(42)\r\npush(element)\r\nresume()\r\n");
  std::string saved(model::kSavedGameBytes, '\0');
  saved[0] = 7;
  ASSERT_TRUE(testing_support::WriteText(game / "curr0.dat", saved));
  const auto run = RunMain({"--ticks", "30", "--dump", "d.json"}, game.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err.find("Sub-project 007 not found, error!"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Saved game 'curr0.dat' is damaged and cannot be resumed!"), std::string::npos) << run.err;
  const std::string dump = ReadText(game / "d.json");
  EXPECT_NE(dump.find("\"position_stack\": 34, \"debug\": \"Debug value: 42 (HEX: 0x2A)\"}"), std::string::npos)
      << dump.substr(dump.find("\"program\""));
}

// A test play never writes a saved game, and a resume there does nothing.
TEST(GameRun, SaveAndResumeDoNothingInATestPlay) {
  testing_support::WorkFolder folder(1);
  testing_support::SetCameraBrain(folder, "save()\r\nresume()\r\n");
  const auto run = RunMain({"--ticks", "3", "--dump", "d.json"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_FALSE(testing_support::FileExistsAt(folder / "curr0.dat"));
  EXPECT_EQ(ReadText(folder / "d.json").rfind("{\"tick\": 7, \"exit_target\": -1,", 0), 0u);
}

TEST(GameRun, TheStepLimitCapsTheWholeChain) {
  // Each play of a level that sends the game back to itself runs 4 settling steps and one loop
  // step; 50 steps are 50 plays, and the chain ends with them.
  const std::string loop = "global_add(0, 1)\r\nexit(1)\r\n";
  {
    GameFolder game;
    game.AddLevel(1, loop);
    const auto run = testing_support::RunProgram(VEXEL_MAIN_BINARY, {"--headless", "--ticks", "50"}, game.path(), 30);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(game.Globals().at(0), 250);
  }
  {
    GameFolder game;  // a later play gets what the earlier ones left: 50 - 1 loop steps
    game.AddLevel(1, "global_add(0, 1)\r\nexit(2)\r\n");
    game.AddLevel(2, "global_add(1, 1)\r\n");
    const auto run = RunMain({"--ticks", "50", "--dump", "d.json"}, game.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(game.Globals().at(0), 5);
    EXPECT_EQ(game.Globals().at(1), 4 + 49);
    EXPECT_EQ(ReadText(game / "d.json").rfind("{\"tick\": 53, \"exit_target\": -1,", 0), 0u);
  }
  {
    GameFolder game;  // no loop step at all: the first play settles and the chain ends
    game.AddLevel(1, loop);
    const auto run = RunMain({"--ticks", "0"}, game.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(game.Globals().at(0), 4);
  }
  {
    GameFolder game;  // headless without --ticks: 3 steps for the whole run, not for each play
    game.AddLevel(1, loop);
    const auto run = testing_support::RunProgram(VEXEL_MAIN_BINARY, {"--headless"}, game.path(), 30);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(game.Globals().at(0), 15);
  }
}

TEST(GameRun, MissingSubProjects) {
  {
    GameFolder game;  // sub-project 0 does not exist: the game ends without a word
    game.AddLevel(1, "exit(0)\r\n");
    const auto run = RunMain({"--ticks", "3"}, game.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err.find("[message box]"), std::string::npos) << run.err;
  }
  {
    GameFolder game;  // a missing sub-project from 1 on is an error the player sees
    game.AddLevel(1, "exit(12)\r\n");
    const auto run = RunMain({"--ticks", "3"}, game.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find(": Sub-project 012 not found, error! ->  OK "), std::string::npos) << run.err;
  }
  {
    GameFolder game;  // a run-time error ends the game
    game.AddLevel(1, "var a\r\na = 1 / a\r\n");
    game.AddLevel(2, "exit(-3)\r\n");
    const auto run = RunMain({"--ticks", "3"}, game.path());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find("[message box] Runtime Error: "), std::string::npos) << run.err;
    EXPECT_EQ(game.Globals().size(), 2048u);
  }
}

// A 24-bit BMP of 2 x 2 pixels, given top row first, scrambled as a game stores its pictures.
std::string Bmp2x2(const testing_support::Rgb& topLeft, const testing_support::Rgb& topRight,
                   const testing_support::Rgb& bottomLeft, const testing_support::Rgb& bottomRight) {
  const auto le = [](uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
  };
  const auto row = [](const testing_support::Rgb& a, const testing_support::Rgb& b) {
    std::string out;
    for (const auto& c : {a, b}) out += {static_cast<char>(c[2]), static_cast<char>(c[1]), static_cast<char>(c[0])};
    return out + std::string(2, '\0');  // rows are padded to four bytes
  };
  std::string bmp = "BM" + le(54 + 16, 4) + le(0, 4) + le(54, 4) + le(40, 4) + le(2, 4) + le(2, 4) + le(1, 2) +
                    le(24, 2) + le(0, 4) + le(16, 4) + le(2835, 4) + le(2835, 4) + le(0, 4) + le(0, 4);
  bmp += row(bottomLeft, bottomRight) + row(topLeft, topRight);  // bottom-up
  model::ScrambleBytes(&bmp);
  return bmp;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// The loading picture of multilev.ini line 1 fills the screen of display mode 2 (640 x 480, 32
// bits): each pixel of a 2 x 2 picture becomes a quadrant, in its exact colour. The load-complete
// picture follows once the level is compiled; one named black_.bmp is skipped.
TEST(GameRun, ChainPicturesAreStretchedOverTheScreenAndPresented) {
  using testing_support::Rgb;
  GameFolder game;
  app::EngineSettings settings;
  settings.renderingDevice = 0;
  settings.displayMode = 2;
  ASSERT_TRUE(app::WriteEngineSettings(game / "config.ini", settings));
  game.AddLevel(1, "exit(2)\r\n");
  game.AddLevel(2, "exit(-2)\r\n");
  ASSERT_TRUE(testing_support::WriteText(game / "multilev.ini", "load.bmp|done.bmp|\r\n.\\load.bmp|BLACK_.BMP|\r\n"));
  const Rgb red = {255, 0, 0}, green = {0, 255, 0}, blue = {0, 0, 255}, white = {255, 255, 255};
  ASSERT_TRUE(testing_support::WriteText(game / "load.bmp", Bmp2x2(red, green, blue, white)));
  ASSERT_TRUE(testing_support::WriteText(game / "done.bmp", Bmp2x2(white, white, white, white)));
  std::string end = Bmp2x2(blue, blue, blue, blue);  // the end picture is stored as it is
  model::UnscrambleBytes(&end);
  ASSERT_TRUE(testing_support::WriteText(game / "end_.bmp", end));
  const auto run = RunMain({"--ticks", "20", "--screenshot-at", "1", "--screenshot", "shot.png"}, game.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const testing_support::Image shot = testing_support::LoadPng(game / "shot.png");
  ASSERT_EQ(shot.width, 640);
  ASSERT_EQ(shot.height, 480);
  for (const auto& [x, y, colour] : {std::tuple{0, 0, red}, {319, 239, red}, {320, 0, green}, {639, 239, green},
                                     {0, 240, blue}, {319, 479, blue}, {320, 240, white}, {639, 479, white}}) {
    EXPECT_TRUE(testing_support::Near(shot.At(x, y), colour)) << x << ", " << y;
  }
  // Level 1 shows both pictures; level 2 (its list line written with '\\') the loading one only;
  // its exit(-2) ends the game with the end picture.
  EXPECT_NE(run.err.find("[picture] load.bmp 2x2\n[picture] done.bmp 2x2\n[picture] load.bmp 2x2\n"
                         "[picture] end_.bmp 2x2\n"),
            std::string::npos) << run.err;
  EXPECT_EQ(Count(run.err, "[picture]"), 4u) << run.err;
}

// A resumed game shows resume_.bmp while it loads and skips the load-complete wait; a game cut
// off by the run's step limit shows no end picture.
TEST(GameRun, AResumeShowsTheResumePictureWithoutTheLoadCompleteWait) {
  GameFolder game;
  game.AddLevel(1, "var n\r\nif n = 0\r\nn = 1\r\nglobal_add(0, 1)\r\nsave()\r\nexit(2)\r\nendif\r\n");
  game.AddLevel(2, "resume()\r\n");
  const testing_support::Rgb grey = {128, 128, 128};
  ASSERT_TRUE(testing_support::WriteText(game / "multilev.ini", "load.bmp|done.bmp|\r\nload.bmp|done.bmp|\r\n"));
  for (const char* name : {"load.bmp", "done.bmp", "resume_.bmp"}) {
    ASSERT_TRUE(testing_support::WriteText(game / name, Bmp2x2(grey, grey, grey, grey)));
  }
  std::string end = Bmp2x2(grey, grey, grey, grey);  // the end picture is stored as it is
  model::UnscrambleBytes(&end);
  ASSERT_TRUE(testing_support::WriteText(game / "end_.bmp", end));
  const auto run = RunMain({"--ticks", "30", "--dump", "d.json"}, game.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("[picture] load.bmp 2x2\n[picture] done.bmp 2x2\n"    // level 1
                         "[picture] load.bmp 2x2\n[picture] done.bmp 2x2\n"    // level 2
                         "[picture] resume_.bmp 2x2\n"),                           // level 1 resumed
            std::string::npos) << run.err;
  EXPECT_EQ(Count(run.err, "[picture]"), 5u) << run.err;
  EXPECT_NE(ReadText(game / "d.json").find("\"sub_project\": 1, \"resumed\": true}"), std::string::npos);
  EXPECT_EQ(game.Globals().at(0), 1);  // the saved globals came back
}

// The processes whose current folder is `folder`.
std::vector<pid_t> ProcessesIn(const std::string& folder) {
  std::vector<pid_t> found;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return found;
  std::string wanted = folder;
  if (wanted.size() > 1 && wanted.back() == '/') wanted.pop_back();
  while (dirent* entry = readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (pid <= 0) continue;
    char link[4096];
    const std::string cwd = "/proc/" + std::string(entry->d_name) + "/cwd";
    const ssize_t length = readlink(cwd.c_str(), link, sizeof link - 1);
    if (length > 0 && std::string(link, static_cast<size_t>(length)) == wanted) found.push_back(pid);
  }
  closedir(proc);
  return found;
}

// reset starts the game's executable again, without arguments, in the game's folder: the new
// instance waits for this one to end, then plays the game anew with the globals it left, and ends
// by itself here (exit -3 in both, so neither shows the end picture).
TEST(GameRun, ResetStartsTheGameAgainInANewInstance) {
  GameFolder game;
  game.AddLevel(1, "var n\r\nif n = 0\r\nn = 1\r\nif global(0) = 0\r\nglobal_set(0, 1)\r\nreset()\r\n"
                   "else\r\nglobal_add(1, 1)\r\nexit(-3)\r\nendif\r\nendif\r\n");
  ASSERT_TRUE(testing_support::WriteText(game / "end_.bmp", Bmp2x2({0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0})));
  const auto run = RunMain({"--ticks", "10"}, game.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err.find("[picture] end_.bmp"), std::string::npos) << run.err;  // -3: no end picture
  // The new instance is on its own: wait for it to leave the folder (and never let it linger).
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!ProcessesIn(game.path()).empty() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const std::vector<pid_t> left = ProcessesIn(game.path());
  for (const pid_t pid : left) kill(pid, SIGKILL);
  EXPECT_TRUE(left.empty()) << "the new instance did not end by itself";
  const std::vector<int32_t> globals = game.Globals();
  ASSERT_EQ(globals.size(), 2048u);
  EXPECT_EQ(globals[0], 1);
  EXPECT_EQ(globals[1], 1);  // the new instance played level 1 once
}

}  // namespace

