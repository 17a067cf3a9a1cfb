// End-to-end test plays driven by input scripts: what the input instructions read, read back
// from the state dump; any_input_exit ending a play.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/model.h"
#include "support/run_program.h"
#include "support/work_folder.h"

namespace {

using testing_support::DumpWord;
using testing_support::ReadText;
using testing_support::RunMain;
using testing_support::WorkFolder;
using testing_support::WriteText;

constexpr int VariableWord(int k) { return model::kRecordWords - k; }

std::string Brain(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// One brain reads every device each tick; the script presses, moves and plugs in controllers
// after the play has started (the loop's first pump pass is 20), so the second controller
// arrives mid-play.
TEST(InputPlay, EveryDeviceReadsAsTheScriptLeftIt) {
  const std::vector<std::string> reads = {
      "keyboard(\"e\")", "keyboard(\"E\")", "keyboard(18)",    "keyboard(\"nokey\")", "scancode()",
      "any_input()",     "mouse_x()",       "mouse_y()",       "mouse_click()",       "joy1_x(0, 100)",
      "joy1_x(100, 0)",  "joy1_y(0, 100)",  "joy1_dir1()",     "joy1_dir2()",         "joy1_b(16)",
      "joy_b(16)",       "joy2_b(15)",      "joy2_x(0, 100)",  "joy1_xr()",           "joy2_dir1()"};
  std::vector<std::string> lines;
  for (size_t i = 1; i <= reads.size(); ++i) lines.push_back("var v" + std::to_string(i));
  lines.push_back("var before");
  for (size_t i = 0; i < reads.size(); ++i) lines.push_back("v" + std::to_string(i + 1) + " = " + reads[i]);
  // What the second controller read before it was plugged in.
  lines.push_back("if joy2_b(15) = 0");
  lines.push_back("before = before + 1");
  lines.push_back("endif");
  for (const char* backend : {"--brains=interp", "--brains=native"}) {
    SCOPED_TRACE(backend);
    WorkFolder folder(1);
    testing_support::WriteTestProject(folder, {{"Reader", {}, Brain(lines)}});
    ASSERT_TRUE(WriteText(folder / "input.txt",
                          "@24 keydown E\n"
                          "@24 pad 1 on\n"
                          "@25 axis 1 x 1000\n"
                          "@25 axis 1 rx -321\n"
                          "@25 hat 1 0 9000\n"
                          "@25 button 1 0 down\n"
                          "@25 mouse 900 700\n"
                          "@25 mousedown right\n"
                          "@30 pad 2 on\n"
                          "@31 button 2 31 down\n"
                          "@31 axis 2 x -1000\n"
                          "@31 hat 2 0 33\n"));
    const auto run = RunMain({"--ticks", "30", backend, "--input", "input.txt", "--dump", "d.json"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string dump = ReadText(folder / "d.json");
    auto v = [&](int k) { return DumpWord(dump, VariableWord(k)); };
    EXPECT_EQ(v(1), -1);  // "e" and "E" are the same key, code 18
    EXPECT_EQ(v(2), -1);
    EXPECT_EQ(v(3), -1);
    EXPECT_EQ(v(4), 0);   // an unknown name reads nothing
    EXPECT_EQ(v(5), 18);  // the lowest code down
    EXPECT_EQ(v(6), -1);
    EXPECT_EQ(v(7), 639);  // clamped to the 640 x 480 screen
    EXPECT_EQ(v(8), 479);
    EXPECT_EQ(v(9), 2);
    EXPECT_EQ(v(10), 0);  // fully right
    EXPECT_EQ(v(11), 100);
    EXPECT_EQ(v(12), 50);  // centred
    EXPECT_EQ(v(13), 46080);
    EXPECT_EQ(v(14), -1);
    EXPECT_EQ(v(15), 16);
    EXPECT_EQ(v(16), 16);
    EXPECT_EQ(v(17), 8);  // button 31 wraps round to bit 3
    EXPECT_EQ(v(18), 100);
    EXPECT_EQ(v(19), -321);
    EXPECT_EQ(v(20), 168);
    // The second controller read idle for the ticks before it arrived, then its button.
    const int32_t before = DumpWord(dump, VariableWord(21));
    EXPECT_GT(before, 4);
    EXPECT_LT(before, 34);
  }
}

// The pointer never moves; a click alone ends the play, in the pass that sees it.
TEST(InputPlay, AnyInputExitEndsThePlayOnAScriptedClickOrAPointerMove) {
  for (const char* event : {"mousedown left", "mouse 10 20", "keydown SPACE"}) {
    SCOPED_TRACE(event);
    WorkFolder folder(1);
    testing_support::WriteTestProject(folder, {{"Watcher", {}, Brain({"any_input_exit(7)"})}});
    ASSERT_TRUE(WriteText(folder / "input.txt", std::string("@30 ") + event + "\n"));
    // The click goes through vexel play, which hands its input script to the engine.
    const bool click = std::string(event) == "mousedown left";
    const auto run = click ? testing_support::RunProgram(VEXEL_VEXEL_BINARY,
                                                         {"play", "projects/myprj/default.prj", "--ticks", "100", "--input",
                                                          "input.txt", "--dump", "d.json"},
                                                         folder.path())
                           : RunMain({"--ticks", "100", "--input", "input.txt", "--dump", "d.json"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string dump = ReadText(folder / "d.json");
    // Four settling steps, then one step per pass from pass 20: pass 30 runs tick 15.
    EXPECT_TRUE(StartsWith(dump, "{\"tick\": 15, \"exit_target\": 7,")) << dump.substr(0, 60);
  }
  // Modifier keys alone are no input: the play runs to its tick limit.
  WorkFolder folder(1);
  testing_support::WriteTestProject(folder, {{"Watcher", {}, Brain({"any_input_exit(7)"})}});
  ASSERT_TRUE(WriteText(folder / "input.txt", "@30 keydown LSHIFT\n"));
  const auto run = RunMain({"--ticks", "40", "--input", "input.txt", "--dump", "d.json"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(StartsWith(ReadText(folder / "d.json"), "{\"tick\": 44, \"exit_target\": -1,"))
      << ReadText(folder / "d.json").substr(0, 60);
}

// Ports stay off without --allow-ports, and the play says so once.
TEST(InputPlay, PortsReadZeroAndSaySoOncePerPlay) {
  WorkFolder folder(1);
  testing_support::WriteTestProject(
      folder, {{"Prober", {}, Brain({"var a", "var b", "a = input_b(96)", "b = input_d(65535)", "output_b(128, 255)"})}});
  const auto run = RunMain({"--ticks", "5", "--dump", "d.json"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string dump = ReadText(folder / "d.json");
  EXPECT_EQ(DumpWord(dump, VariableWord(1)), 0);
  EXPECT_EQ(DumpWord(dump, VariableWord(2)), 0);
  const size_t first = run.err.find("--allow-ports");
  EXPECT_NE(first, std::string::npos) << run.err;
  EXPECT_EQ(first, run.err.rfind("--allow-ports")) << run.err;
}

}  // namespace
