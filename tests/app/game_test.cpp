// End-to-end runs of a finished game's chain of sub-projects, headless.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "app/app.h"
#include "model/model.h"
#include "support/run_program.h"

namespace {

using testing_support::ReadText;
using testing_support::RunMain;
using testing_support::TempFolder;

// A finished game's folder: the tables beside the engine, the software device, and sub-projects
// written scrambled from the skeleton's one-camera project with the given camera brains.
class GameFolder : public TempFolder {
 public:
  GameFolder() {
    EXPECT_TRUE(CopyFrom(VEXEL_DEMO_DIR));
    app::EngineSettings settings;
    settings.renderingDevice = 0;
    EXPECT_TRUE(app::WriteEngineSettings(*this / "config.ini", settings));
  }
  void AddLevel(int number, const std::string& brain) const {
    std::string text = ReadText(std::string(VEXEL_GAME_DIR) + "/projects/myprj/default.prj");
    const size_t at = text.find("@0\r\n");
    ASSERT_NE(at, std::string::npos);
    text = text.substr(0, at + 4) + brain;
    model::ScrambleBytes(&text);
    ASSERT_TRUE(testing_support::WriteText(app::SubProjectPath(path(), number), text));
  }
  std::vector<int32_t> Globals() const {
    const std::string bytes = ReadText(*this / "globvars.dat");
    std::vector<int32_t> values(bytes.size() / 4);
    std::memcpy(values.data(), bytes.data(), values.size() * 4);
    return values;
  }
};

TEST(GameRun, ExitTargetsLeadThroughTheChainAndGlobalsCarryOver) {
  GameFolder game;
  game.AddLevel(1, "global_add(0, 1)\r\nexit(2)\r\n");
  game.AddLevel(2, "global_add(1, 1)\r\nif global(0) > 9\r\nexit(-2)\r\nelse\r\nexit(1)\r\nendif\r\n");
  auto run = RunMain({"--ticks", "3", "--dump", "d.json"}, game.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // Level 1 runs 4 settling steps and one loop step (its exit was set while settling), then level 2
  // (5 steps) sends the game back to level 1 until global 0 passes 9: 1, 2, 1, 2 -> 5, 10.
  std::vector<int32_t> globals = game.Globals();
  ASSERT_EQ(globals.size(), 2048u);
  EXPECT_EQ(globals[0], 10);
  EXPECT_EQ(globals[1], 10);
  EXPECT_EQ(ReadText(game / "d.json").rfind("{\"tick\": 5, \"exit_target\": -2,", 0), 0u);
  for (const std::string& file : game.Files()) EXPECT_FALSE(file.ends_with(".bra")) << file;  // working copies gone

  // The next run of the game starts from the saved globals.
  run = RunMain({"--ticks", "3"}, game.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  globals = game.Globals();
  EXPECT_EQ(globals[0], 15);
  EXPECT_EQ(globals[1], 15);
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

}  // namespace
