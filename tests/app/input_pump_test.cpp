// The key queue, the typed-text buffer and the window-event rules, fed by input scripts and by
// SDL events through the real input pump.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <memory>

#include "app/app.h"
#include "instructions/instructions.h"
#include "support/run_program.h"
#include "support/sdl_events.h"

namespace {

using platform::EventKind;
using platform::InputEvent;

// An engine with the platform, arena and a window of 640 x 480, fed by an input script.
class Pump : public ::testing::Test {
 protected:
  void Start(const std::string& script) {
    ASSERT_TRUE(testing_support::WriteText(folder_ / "input.txt", script));
    engine_ = std::make_unique<app::Engine>();
    platform::Options options;
    options.headless = true;
    options.virtualClock = true;
    options.inputScriptPath = folder_ / "input.txt";
    std::string error;
    ASSERT_TRUE(engine_->platform.Start(options, &error)) << error;
    ASSERT_TRUE(engine_->arena.Create());
    ASSERT_TRUE(engine_->platform.OpenWindow(640, 480, "test", &error)) << error;
    engine_->display.width = 640;
    engine_->display.height = 480;
  }
  std::vector<std::string> Keys() {
    std::vector<std::string> keys;
    while (!engine_->keys.Empty()) {
      const std::string key = app::ReadKey(*engine_);
      keys.push_back(key + "/" + std::to_string(engine_->readKeyScan));
    }
    return keys;
  }

  testing_support::TempFolder folder_;
  std::unique_ptr<app::Engine> engine_;
};

TEST_F(Pump, ScriptedKeysReachTheQueueAndTheTypedText) {
  Start("@0 keydown A\n@0 text \"a\"\n@0 keyup A\n@0 key F1\n@1 text \"x1\\b\"\n@1 keydown 0x4C\n@1 text \"5\"\n");
  app::PumpInput(*engine_);
  app::PumpInput(*engine_);
  // "a" once (its key down is covered by the character), F1 as a bare key, then the characters;
  // the keypad "5" types the top-row code 6; backspace is queued and removes the "1".
  EXPECT_EQ(Keys(), (std::vector<std::string>{"a/30", "/59", "x/45", "1/2", "\b/14", "5/6"}));
  EXPECT_EQ(app::TypedText(*engine_), "ax5");
}

TEST_F(Pump, SdlKeysGiveTheSameQueue) {
  Start("");
  app::PumpInput(*engine_);
  Keys();
  ASSERT_TRUE(testing_support::PushKey(SDL_SCANCODE_A));
  ASSERT_TRUE(testing_support::PushText("a"));
  ASSERT_TRUE(testing_support::PushKey(SDL_SCANCODE_F1));
  ASSERT_TRUE(testing_support::PushKey(SDL_SCANCODE_BACKSPACE));
  app::PumpInput(*engine_);
  EXPECT_EQ(Keys(), (std::vector<std::string>{"a/30", "/59", "\b/14"}));
  EXPECT_EQ(app::TypedText(*engine_), "");
}

TEST_F(Pump, TypedTextHoldsAtMost8191Characters) {
  Start("@0 text \"" + std::string(8200, 'z') + "\"\n@1 text \"\\b\\b\"\n");
  app::PumpInput(*engine_);
  EXPECT_EQ(app::TypedText(*engine_).size(), 8191u);
  EXPECT_EQ(engine_->arena.As<char>(core::Region::kTypedText)[8191], '\0');
  app::PumpInput(*engine_);
  EXPECT_EQ(app::TypedText(*engine_).size(), 8189u);

  engine_->typedLength = 0;  // backspace on an empty buffer does nothing
  InputEvent backspace;
  backspace.kind = EventKind::kCharacter;
  backspace.character = 8;
  app::HandleWindowEvent(*engine_, backspace, nullptr);
  EXPECT_EQ(app::TypedText(*engine_), "");
}

TEST_F(Pump, MouseIsClampedAndFlushEmptiesTheQueue) {
  Start("@0 mouse 5000 -3\n@0 mousedown right\n@0 key Q\n@2 mouseup right\n");
  app::PumpInput(*engine_);
  EXPECT_EQ(engine_->mouseX, 639);
  EXPECT_EQ(engine_->mouseY, 0);
  EXPECT_EQ(engine_->mouseButtons, 2u);
  app::FlushInput(*engine_);  // waits for the button's release, then empties the queue
  EXPECT_EQ(engine_->mouseButtons, 0u);
  EXPECT_TRUE(engine_->keys.Empty());
}

TEST_F(Pump, ActivationAndCloseRequests) {
  Start("@0 quit\n");
  engine_->active = false;
  app::PumpInput(*engine_);  // a close request changes nothing
  InputEvent activate;
  activate.kind = EventKind::kActivate;
  app::HandleWindowEvent(*engine_, activate, nullptr);
  EXPECT_TRUE(engine_->active);
}

TEST(KeyQueue, SixteenSlotsWrapAtSixtyFourBytes) {
  app::KeyQueue queue;
  for (int i = 0; i < 15; ++i) EXPECT_TRUE(queue.Push(static_cast<uint8_t>('a' + i), 30));
  EXPECT_FALSE(queue.Push('z', 44));  // the 16th would make a full ring look empty: dropped
  uint32_t entry = 0;
  ASSERT_TRUE(queue.Pop(&entry));
  EXPECT_EQ(entry, 'a' | 30u << 16);
  EXPECT_TRUE(queue.Push('y', 21));
  EXPECT_EQ(queue.write, 0u);  // 15 pushes and one more wrapped to 0
  for (int i = 0; i < 14; ++i) ASSERT_TRUE(queue.Pop(&entry));
  ASSERT_TRUE(queue.Pop(&entry));
  EXPECT_EQ(entry, 'y' | 21u << 16);
  EXPECT_TRUE(queue.Empty());
  EXPECT_FALSE(queue.Pop(&entry));
}

TEST(RunModeFile, LinesAndBadNumbers) {
  testing_support::TempFolder folder;
  app::RunModeFile missing = app::ReadRunModeFile(folder / "runmode.ini");
  EXPECT_EQ(app::RunModeCode(missing), 0);
  EXPECT_EQ(app::RunModeProjectPath(missing), "");
  EXPECT_EQ(app::RunModeNumber(missing, 1), -1);

  ASSERT_TRUE(testing_support::WriteText(folder / "runmode.ini", "projects\\a\\b.prj\r\n13x\r\nzz\r\n"));
  app::RunModeFile file = app::ReadRunModeFile(folder / "runmode.ini");
  EXPECT_EQ(app::RunModeProjectPath(file), "projects/a/b.prj");
  EXPECT_EQ(app::RunModeCode(file), 13);
  EXPECT_EQ(app::RunModeNumber(file, 1), 0);  // does not parse
  EXPECT_EQ(app::RunModeNumber(file, 2), 0);  // absent line

  app::Engine engine;
  engine.commandLine = {3, 17};
  EXPECT_EQ(instructions::ParCount(engine), 2);
  EXPECT_EQ(instructions::ParGet(engine, 1), 17);
  EXPECT_EQ(instructions::ParGet(engine, 2), 0);
  EXPECT_EQ(instructions::ParGet(engine, -1), 0);
}

}  // namespace
