// Input scripts: parsing, bad lines, stalls, and replay into the same state the SDL events build.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "support/run_program.h"
#include "support/sdl_events.h"

namespace {

using platform::EventKind;
using platform::InputEvent;
using platform::InputScript;

std::vector<InputEvent> Replay(InputScript& script, uint64_t pass) {
  std::vector<InputEvent> events;
  script.TakeDue(pass, &events);
  return events;
}

TEST(InputScript, TimedCommandsBecomeEventsInPassOrder) {
  InputScript script;
  std::string error;
  ASSERT_TRUE(script.Parse("# replay\n@2 key ESC\n@0 text \"a\\n\"\n@1 click 10 20 right\n@1 axis 2 rz -1000\n"
                           "@3 hat 1 2 centre\n@3 button 1 31 down\n@4 pad 2 off\n@5 keydown up\n@5 keyup 0x48\n@6 quit\n",
                           &error))
      << error;
  auto pass0 = Replay(script, 0);
  ASSERT_EQ(pass0.size(), 2u);
  EXPECT_EQ(pass0[0].kind, EventKind::kCharacter);
  EXPECT_EQ(pass0[0].character, 'a');
  EXPECT_EQ(pass0[0].scan, 0x1E);
  EXPECT_EQ(pass0[1].character, 13);  // "\n" types Enter
  EXPECT_EQ(pass0[1].scan, 0x1C);

  auto pass1 = Replay(script, 1);
  ASSERT_EQ(pass1.size(), 3u);
  EXPECT_EQ(pass1[0].kind, EventKind::kMouseMove);
  EXPECT_EQ(pass1[0].x, 10);
  EXPECT_EQ(pass1[1].kind, EventKind::kMouseButton);
  EXPECT_EQ(pass1[1].index, 1);
  EXPECT_TRUE(pass1[1].down);
  EXPECT_EQ(pass1[2].kind, EventKind::kPadAxis);
  EXPECT_EQ(pass1[2].pad, 1);
  EXPECT_EQ(pass1[2].index, platform::kAxisRz);
  EXPECT_EQ(pass1[2].value, -1000);

  auto pass2 = Replay(script, 2);  // the key's press, then the click's release: script order
  ASSERT_EQ(pass2.size(), 2u);
  EXPECT_EQ(pass2[0].kind, EventKind::kKeyDown);
  EXPECT_EQ(pass2[0].scan, 1);
  EXPECT_EQ(pass2[1].kind, EventKind::kMouseButton);
  EXPECT_FALSE(pass2[1].down);

  auto later = Replay(script, 5);
  ASSERT_EQ(later.size(), 6u);
  EXPECT_EQ(later[0].kind, EventKind::kKeyUp);
  EXPECT_EQ(later[1].value, platform::kHatCentred);
  EXPECT_EQ(later[3].kind, EventKind::kPadRemoved);
  EXPECT_TRUE(later[4].extended);   // "up" is the arrow key
  EXPECT_EQ(later[4].vk, 0x26);
  EXPECT_FALSE(later[5].extended);  // a bare code is the keypad key
  EXPECT_FALSE(script.Finished());
  EXPECT_EQ(Replay(script, 100).size(), 1u);
  EXPECT_TRUE(script.Finished());
}

TEST(InputScript, BadLinesAreReportedAndSkipped) {
  InputScript script;
  std::string error;
  EXPECT_FALSE(script.Parse("@0 key A\nkey B\n@x key C\n@1 key NOSUCHKEY\n@1 axis 3 x 0\n@1 axis 1 x 2000\n"
                            "@1 wiggle\n@2 key D\n@3 text \"unterminated",
                            &error));
  // Every bad line is named, not only the first.
  const std::string axis = "axis takes a controller 1-2, an axis name and a value -1000..1000";
  EXPECT_EQ(error, "line 2: expected @PASS or answer\n"
                   "line 3: bad pass number '@x'\n"
                   "line 4: unknown key 'NOSUCHKEY'\n"
                   "line 5: " + axis + "\n"
                   "line 6: " + axis + "\n"
                   "line 7: unknown command or wrong arguments 'wiggle'\n"
                   "line 9: unterminated text");
  auto events = Replay(script, 10);
  ASSERT_EQ(events.size(), 4u);  // A down/up and D down/up survive
  EXPECT_EQ(events[0].scan, 0x1E);
  EXPECT_EQ(events[2].scan, 0x20);

  // A file names itself on each problem; that it could be read is told apart from bad lines.
  testing_support::TempFolder folder;
  const std::string path = folder / "in.txt";
  ASSERT_TRUE(testing_support::WriteText(path, "@1 keydown FOO\n@2 key A\n@x\n"));
  EXPECT_FALSE(script.Load(path, &error));
  EXPECT_TRUE(script.FileWasRead());
  EXPECT_EQ(error, path + ": line 1: unknown key 'FOO'\n" + path + ": line 3: bad pass number '@x'");
  EXPECT_EQ(Replay(script, 10).size(), 2u);
  EXPECT_FALSE(script.Load(folder / "missing.txt", &error));
  EXPECT_FALSE(script.FileWasRead());
}

TEST(InputScript, TruncatedOrEmptyScripts) {
  InputScript script;
  std::string error;
  EXPECT_TRUE(script.Parse("", &error));
  EXPECT_TRUE(script.Finished());
  EXPECT_FALSE(script.Parse("@1 cli", &error));
  EXPECT_FALSE(script.Parse("@", &error));
  EXPECT_FALSE(script.Parse("@99999999999999999999 key A", &error));
  EXPECT_FALSE(script.Load("/nonexistent/script.txt", &error));
  EXPECT_NE(error.find("/nonexistent/script.txt"), std::string::npos);
}

TEST(InputScript, StallsCarryClockUnitsToTheirPass) {
  InputScript script;
  std::string error;
  ASSERT_TRUE(script.Parse("@3 stall 450\n@0 stall 1\n@0 stall 270000\n@3 stall 450\n", &error)) << error;
  auto pass0 = Replay(script, 0);
  ASSERT_EQ(pass0.size(), 2u);
  EXPECT_EQ(pass0[0].kind, EventKind::kStall);
  EXPECT_EQ(pass0[0].value, 1);
  EXPECT_EQ(pass0[1].value, 270000);  // one minute, the longest
  EXPECT_TRUE(Replay(script, 2).empty());
  auto pass3 = Replay(script, 3);
  ASSERT_EQ(pass3.size(), 2u);  // two stalls in one pass stay two events
  EXPECT_EQ(pass3[1].kind, EventKind::kStall);
  EXPECT_EQ(pass3[1].value, 450);
}

TEST(InputScript, NumbersAreDecimalEvenWithLeadingZeros) {
  InputScript script;
  std::string error;
  ASSERT_TRUE(script.Parse("@010 stall 0450\n@08 keydown 0x1E\n", &error)) << error;
  auto pass8 = Replay(script, 8);
  ASSERT_EQ(pass8.size(), 1u);
  EXPECT_EQ(pass8[0].scan, 0x1E);
  auto pass10 = Replay(script, 10);
  ASSERT_EQ(pass10.size(), 1u);
  EXPECT_EQ(pass10[0].value, 450);
}

TEST(InputScript, BadStallsAreReportedWithTheirLineAndSkipped) {
  const std::string range = "line 2: stall takes clock units 1-270000 (1/4500 s)";
  const std::string arguments = "line 2: unknown command or wrong arguments 'stall'";
  const std::pair<const char*, std::string> cases[] = {
      {"@1 stall 0", range},          {"@1 stall -5", range},     {"@1 stall 270001", range},
      {"@1 stall 4294967746", range},  // 2^32 + 450 must not wrap to 450
      {"@1 stall 99999999999999999999", range}, {"@1 stall 4.5", range}, {"@1 stall slow", range},
      {"@1 stall", arguments},        {"@1 stall 10 20", arguments},
  };
  for (const auto& [line, message] : cases) {
    SCOPED_TRACE(line);
    InputScript script;
    std::string error;
    EXPECT_FALSE(script.Parse(std::string("@0 stall 9\n") + line + "\n@2 stall 7\n", &error));
    EXPECT_EQ(error, message);
    const auto events = Replay(script, 10);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].value, 9);
    EXPECT_EQ(events[1].value, 7);
  }
}

TEST(InputScript, AnswersComeInOrder) {
  InputScript script;
  std::string error;
  ASSERT_TRUE(script.Parse("answer 1\nanswer \" YES \"\nanswer 2\nanswer -1\nanswer 255\nanswer \"17\"\n"
                           "answer /home/user/games\n",
                           &error))
      << error;
  platform::BoxAnswer answer;
  ASSERT_TRUE(script.TakeAnswer(&answer));
  EXPECT_TRUE(answer.isNumber);
  EXPECT_EQ(answer.number, 1);
  ASSERT_TRUE(script.TakeAnswer(&answer));
  EXPECT_FALSE(answer.isNumber);
  EXPECT_EQ(answer.text, " YES ");
  ASSERT_TRUE(script.TakeAnswer(&answer));
  ASSERT_TRUE(script.TakeAnswer(&answer));
  EXPECT_TRUE(answer.isNumber);
  EXPECT_EQ(answer.number, -1);  // Esc
  ASSERT_TRUE(script.TakeAnswer(&answer));
  EXPECT_EQ(answer.number, 255);  // a colour index
  ASSERT_TRUE(script.TakeAnswer(&answer));
  EXPECT_FALSE(answer.isNumber);  // quoted digits are a text (an input box's answer)
  EXPECT_EQ(answer.text, "17");
  ASSERT_TRUE(script.TakeAnswer(&answer));
  EXPECT_EQ(answer.text, "/home/user/games");
  EXPECT_FALSE(script.TakeAnswer(&answer));
}

// The SDL back end and the script must leave identical state and events for the same input.
class PlatformReplay : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::Options options;
    options.headless = true;
    options.virtualClock = true;
    options.inputScriptPath = scriptPath_;
    std::string error;
    ASSERT_TRUE(testing_support::WriteText(scriptPath_, script_));
    ASSERT_TRUE(platform_.Start(options, &error)) << error;
    ASSERT_TRUE(platform_.OpenWindow(640, 480, "test", &error)) << error;
  }

  testing_support::TempFolder folder_;
  std::string scriptPath_ = folder_ / "input.txt";
  std::string script_ = "@1 keydown A\n@1 text \"a\"\n@1 mouse 100 50\n@1 mousedown left\n@1 keyup A\n"
                        "@1 keydown RETURN\n@1 text \"\\n\"\n";
  platform::Platform platform_;
};

TEST_F(PlatformReplay, ScriptAndSdlEventsFillTheSameState) {
  std::vector<InputEvent> fromScript;
  platform_.window->PumpEvents(&fromScript);  // pass 0: nothing due
  fromScript.clear();
  platform_.window->PumpEvents(&fromScript);
  const platform::InputState scriptState = platform_.window->Input();

  platform::Platform sdl;
  platform::Options options;
  options.headless = true;
  options.virtualClock = true;
  std::string error;
  platform_.Shutdown();
  ASSERT_TRUE(sdl.Start(options, &error)) << error;
  ASSERT_TRUE(sdl.OpenWindow(640, 480, "test", &error)) << error;
  std::vector<InputEvent> ignored;
  sdl.window->PumpEvents(&ignored);  // window events of the start

  using namespace testing_support;
  ASSERT_TRUE(PushKey(SDL_SCANCODE_A));
  ASSERT_TRUE(PushText("a"));
  ASSERT_TRUE(PushMouseMove(100, 50));
  ASSERT_TRUE(PushMouseButton(SDL_BUTTON_LEFT, 100, 50, true));
  ASSERT_TRUE(PushKey(SDL_SCANCODE_A, false));
  ASSERT_TRUE(PushKey(SDL_SCANCODE_RETURN));

  std::vector<InputEvent> fromSdl;
  sdl.window->PumpEvents(&fromSdl);
  EXPECT_EQ(sdl.window->Input(), scriptState);
  ASSERT_EQ(fromSdl.size(), fromScript.size());
  for (size_t i = 0; i < fromSdl.size(); ++i) EXPECT_EQ(fromSdl[i], fromScript[i]) << "event " << i;
}

// A stall is a slow pass: the virtual clock moves on by its units in the pass it is due, and the
// input state does not change.
TEST(PlatformStall, ScriptedStallsMoveTheVirtualClockInTheirPass) {
  testing_support::TempFolder folder;
  ASSERT_TRUE(testing_support::WriteText(folder / "input.txt", "@1 stall 450\n@3 stall 4000\n@3 stall 500\n"));
  platform::Platform platform;
  platform::Options options;
  options.headless = true;
  options.virtualClock = true;
  options.inputScriptPath = folder / "input.txt";
  std::string error;
  ASSERT_TRUE(platform.Start(options, &error)) << error;
  std::vector<InputEvent> events;
  platform.window->PumpEvents(&events);
  EXPECT_EQ(platform.clock().Now(), 0u);
  const platform::InputState before = platform.window->Input();
  events.clear();
  platform.window->PumpEvents(&events);
  EXPECT_EQ(platform.clock().Now(), 450u);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, EventKind::kStall);
  EXPECT_EQ(platform.window->Input(), before);
  platform.window->PumpEvents(&events);
  EXPECT_EQ(platform.clock().Now(), 450u);
  platform.window->PumpEvents(&events);
  EXPECT_EQ(platform.clock().Now(), 4950u);
  platform.Shutdown();
}

TEST_F(PlatformReplay, KeypadDigitsTypeTheTopRowScanCode) {
  platform_.Shutdown();
  platform::Platform sdl;
  platform::Options options;
  options.headless = true;
  std::string error;
  ASSERT_TRUE(sdl.Start(options, &error)) << error;
  std::vector<InputEvent> events;
  sdl.window->PumpEvents(&events);
  events.clear();
  ASSERT_TRUE(testing_support::PushKey(SDL_SCANCODE_KP_5));
  ASSERT_TRUE(testing_support::PushText("5"));
  ASSERT_TRUE(testing_support::PushKey(SDL_SCANCODE_KP_0));
  ASSERT_TRUE(testing_support::PushText("0"));
  sdl.window->PumpEvents(&events);
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].scan, 0x4C);  // the key itself is the keypad key
  EXPECT_TRUE(sdl.window->Input().scanDown[0x4C]);
  EXPECT_EQ(events[1].kind, EventKind::kCharacter);
  EXPECT_EQ(events[1].scan, 0x06);  // the digit it typed is the top-row "5"
  EXPECT_EQ(events[3].scan, 0x0B);
}

}  // namespace
