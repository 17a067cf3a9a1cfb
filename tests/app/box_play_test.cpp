// The program's own boxes end to end with the real engine, headless: the compile error box drawn
// and waiting for scripted input before the play goes on, loading notices on the first frames, the
// run-time error box ending the play, box screenshots, the stuck-box stop, and `vexel widget`.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/screenshot.h"
#include "support/work_folder.h"

namespace {

using testing_support::Image;
using testing_support::LoadPng;
using testing_support::ReadText;
using testing_support::RunMain;
using testing_support::RunProgram;
using testing_support::SetCameraBrain;
using testing_support::WorkFolder;
using testing_support::WriteText;

// Distinct colours in a picture: a drawn box has a panel, its frame, buttons and text; a cleared
// or failed frame has one colour.
size_t Colours(const Image& image) {
  std::vector<uint32_t> seen;
  for (size_t i = 0; i + 2 < image.rgb.size(); i += 3) {
    const uint32_t c = image.rgb[i] << 16 | image.rgb[i + 1] << 8 | image.rgb[i + 2];
    if (std::find(seen.begin(), seen.end(), c) == seen.end()) seen.push_back(c);
    if (seen.size() > 16) break;
  }
  return seen.size();
}

// The pump pass of the first loop pass of the play, from the timing log ("step N pass P ...").
long FirstPlayPass(const std::string& log) {
  const size_t at = log.find("pass ");
  return at == std::string::npos ? -1 : std::strtol(log.c_str() + at + 5, nullptr, 10);
}

TEST(ProgramBoxes, TheCompileErrorBoxIsDrawnAndWaitsForAScriptedKey) {
  WorkFolder folder(1);
  SetCameraBrain(folder, "no_such_instruction(1)\r\n");
  // No answer line: the box runs on the script's timed input and ends with the Enter of pass 40.
  ASSERT_TRUE(WriteText(folder / "keys.txt", "@40 key RETURN\n"));
  const auto run = RunMain({"--ticks", "3", "--input", "keys.txt", "--box-screenshots", "boxes", "--timing-log",
                            "timing.txt"},
                           folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("[message box] Zu-Teal: 'Camera' brain ERROR!"), std::string::npos) << run.err;
  const Image box = LoadPng(folder / "boxes/box1.png");
  ASSERT_GT(box.width, 0);
  EXPECT_GT(Colours(box), 3u);  // a panel with its frame, a button and text
  EXPECT_FALSE(testing_support::FileExistsAt(folder / "boxes/box2.png"));
  // The play only went on once the box had its key.
  EXPECT_GT(FirstPlayPass(ReadText(folder / "timing.txt")), 40) << ReadText(folder / "timing.txt");
  EXPECT_EQ(ReadText(folder / "temp/wasok.dat"), "wasok\r\n");
}

TEST(ProgramBoxes, AClickOnTheButtonAnswersTheBox) {
  WorkFolder folder(1);
  SetCameraBrain(folder, "no_such_instruction(1)\r\n");
  // The single " OK " button of a question box lies 12 pixels in from the box's left, two rows
  // from its foot; with the box's layout unknown here, the test asks the widget command for it.
  const auto layout = RunProgram(VEXEL_VEXEL_BINARY, {"widget", "box", "x", " OK ", "--json"}, folder.path());
  ASSERT_EQ(layout.exitCode, 0) << layout.err;
  const size_t at = layout.out.find("\"buttons\": [[");
  ASSERT_NE(at, std::string::npos) << layout.out;
  int left = 0, top = 0, right = 0, bottom = 0;
  ASSERT_EQ(std::sscanf(layout.out.c_str() + at, "\"buttons\": [[%d, %d, %d, %d]", &left, &top, &right, &bottom), 4);
  // The error box has more lines than "x", so its button sits lower; a click in the middle of the
  // screen's width at each row from the top finds it without knowing the text's height.
  std::string script;
  for (int y = 0, pass = 10; y < 480; y += 8, pass += 2) {
    script += "@" + std::to_string(pass) + " click " + std::to_string((left + right) / 2) + " " + std::to_string(y) +
              " left\n";
  }
  ASSERT_TRUE(WriteText(folder / "clicks.txt", script));
  const auto run = RunMain({"--ticks", "3", "--input", "clicks.txt"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("[message box] Zu-Teal: 'Camera' brain ERROR!"), std::string::npos) << run.err;
  EXPECT_EQ(ReadText(folder / "temp/wasok.dat"), "wasok\r\n");
}

TEST(ProgramBoxes, LoadingNoticesAppearOnTheFirstFrames) {
  WorkFolder folder(1);
  const auto run = RunMain({"--ticks", "3", "--screenshot", "first.png", "--screenshot-at", "1"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Image first = LoadPng(folder / "first.png");
  ASSERT_GT(first.width, 0);
  EXPECT_GT(Colours(first), 2u);  // the notice's panel and text on black
}

TEST(ProgramBoxes, TheRuntimeErrorBoxIsDrawnAndEndsThePlay) {
  WorkFolder folder(1);
  SetCameraBrain(folder, "var z\r\nz = 1 / z\r\n");
  const auto run = RunMain({"--ticks", "30", "--box-screenshots", "boxes"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("[message box] Runtime Error: "), std::string::npos) << run.err;
  const Image box = LoadPng(folder / "boxes/box1.png");
  ASSERT_GT(box.width, 0);
  EXPECT_GT(Colours(box), 3u);
  EXPECT_FALSE(testing_support::FileExistsAt(folder / "temp/wasok.dat"));
}

TEST(ProgramBoxes, AHeadlessRunWhoseBoxesKeepTakingDefaultsStops) {
  // 60 elements whose brains fail to compile: with no input left each box takes its default, and
  // the run gives up at the 50th in a row instead of answering for ever.
  WorkFolder folder(1);
  std::vector<testing_support::TestElement> elements;
  for (int i = 0; i < 60; ++i) elements.push_back({"E" + std::to_string(i), {}, "no_such_instruction(1)\r\n"});
  testing_support::WriteTestProject(folder, elements);
  const auto run = RunMain({"--ticks", "3"}, folder.path());
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_NE(run.err.find("keeps asking with no input left"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("'E49' brain ERROR!"), std::string::npos);
  EXPECT_EQ(run.err.find("'E50' brain ERROR!"), std::string::npos);
  // Scripted answers are input: with one for every box the play goes through.
  std::string answers;
  for (int i = 0; i < 60; ++i) answers += "answer 0\n";
  ASSERT_TRUE(WriteText(folder / "answers.txt", answers));
  const auto answered = RunMain({"--ticks", "3", "--input", "answers.txt"}, folder.path());
  EXPECT_EQ(answered.exitCode, 0) << answered.err;
  EXPECT_NE(answered.err.find("'E59' brain ERROR!"), std::string::npos);
}

TEST(WidgetCommand, ABoxReportsItsLayoutAndTakesItsDefault) {
  WorkFolder folder(1);
  const auto run = RunProgram(VEXEL_VEXEL_BINARY, {"widget", "box", "Are you sure?|Really", " YES ", " NO ", "--json"},
                              folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("{\"result\": 1, \"lines\": [\"Are you sure?\", \"Really\"]"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"box\": ["), std::string::npos) << run.out;
  const auto plain = RunProgram(VEXEL_VEXEL_BINARY, {"widget", "input", "Name?", "old"}, folder.path());
  EXPECT_EQ(plain.out, "result old\n") << plain.err;
  ASSERT_TRUE(WriteText(folder / "answer.txt", "answer \"new name\"\n"));
  const auto typed = RunProgram(VEXEL_VEXEL_BINARY, {"widget", "input", "Name?", "old", "--input", "answer.txt"},
                                folder.path());
  EXPECT_EQ(typed.out, "result new name\n") << typed.err;
  ASSERT_TRUE(WriteText(folder / "menu.txt", "answer 2\n"));
  const auto menu = RunProgram(VEXEL_VEXEL_BINARY, {"widget", "menu", "One|Two|Three", "--input", "menu.txt"},
                               folder.path());
  EXPECT_EQ(menu.out, "result 3\n") << menu.err;
  ASSERT_TRUE(WriteText(folder / "esc.txt", "answer -1\n"));
  const auto colour = RunProgram(VEXEL_VEXEL_BINARY, {"widget", "colour", "17", "--input", "esc.txt"}, folder.path());
  EXPECT_EQ(colour.out, "result 17\n") << colour.err;
}

TEST(WidgetCommand, TheScreenshotIsTheWidgetsFirstFrameInTheAskedMode) {
  WorkFolder folder(1);
  const auto run = RunProgram(VEXEL_VEXEL_BINARY,
                              {"widget", "box", "Hello", " OK ", "--screenshot", "box.png", "--mode", "16"},
                              folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Image box = LoadPng(folder / "box.png");
  EXPECT_EQ(box.width, 1024);
  EXPECT_EQ(box.height, 768);
  EXPECT_GT(Colours(box), 3u);
  const auto bad = RunProgram(VEXEL_VEXEL_BINARY, {"widget", "dialog"}, folder.path());
  EXPECT_EQ(bad.exitCode, 2);
}

}  // namespace
