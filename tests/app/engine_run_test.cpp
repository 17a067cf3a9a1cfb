// End-to-end runs of the engine program, headless, in temporary working folders.
#include <gtest/gtest.h>

#include "app/app.h"
#include "support/run_program.h"

namespace {

using testing_support::ReadText;
using testing_support::RunMain;
using testing_support::TempFolder;

// Width and height from a PNG's header chunk.
bool PngSize(const std::string& png, int* width, int* height) {
  if (png.size() < 24 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || png.compare(12, 4, "IHDR") != 0) return false;
  auto be = [&](size_t at) {
    return static_cast<int>(static_cast<uint8_t>(png[at]) << 24 | static_cast<uint8_t>(png[at + 1]) << 16 |
                            static_cast<uint8_t>(png[at + 2]) << 8 | static_cast<uint8_t>(png[at + 3]));
  };
  *width = be(16);
  *height = be(20);
  return true;
}

TEST(EngineRun, ScreenshotHasTheSizeOfEachDisplayMode) {
  const std::pair<int32_t, std::pair<int, int>> modes[] = {{1, {640, 480}}, {8, {800, 600}}, {32, {1024, 768}}};
  for (const auto& [code, size] : modes) {
    TempFolder folder;
    ASSERT_TRUE(folder.CopyFrom(VEXEL_DEMO_DIR));
    app::EngineSettings settings;
    settings.displayMode = code;
    ASSERT_TRUE(app::WriteEngineSettings(folder / "config.ini", settings));
    const auto run = RunMain({"--ticks", "2", "--screenshot", "shot.png"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");  // tables found, nothing to complain about
    int width = 0, height = 0;
    ASSERT_TRUE(PngSize(ReadText(folder / "shot.png"), &width, &height)) << "mode " << code;
    EXPECT_EQ(width, size.first);
    EXPECT_EQ(height, size.second);
  }
}

TEST(EngineRun, ScreenshotOfANumberedFrame) {
  TempFolder folder;
  ASSERT_TRUE(folder.CopyFrom(VEXEL_DEMO_DIR));
  auto run = RunMain({"--ticks", "5", "--screenshot", "third.png", "--screenshot-at", "3"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  int width = 0, height = 0;
  EXPECT_TRUE(PngSize(ReadText(folder / "third.png"), &width, &height));

  run = RunMain({"--ticks", "2", "--screenshot", "never.png", "--screenshot-at", "9"}, folder.path());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.err.find("frame 9 was never presented"), std::string::npos) << run.err;
  EXPECT_EQ(ReadText(folder / "never.png"), "");
}

TEST(EngineRun, EscapeFromTheInputScriptEndsTheRun) {
  TempFolder folder;
  ASSERT_TRUE(folder.CopyFrom(VEXEL_DEMO_DIR));
  ASSERT_TRUE(testing_support::WriteText(folder / "input.txt", "@2 key ESC\n"));
  const auto run = RunMain({"--ticks", "1000", "--input", "input.txt", "--screenshot", "shot.png"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_FALSE(ReadText(folder / "shot.png").empty());
}

TEST(EngineRun, BadInputGetsAClearMessageNotACrash) {
  TempFolder folder;  // empty: no lookup tables, no config.ini
  ASSERT_TRUE(testing_support::WriteText(folder / "config.ini", "\x01garbage\n[User-Modifiable Engine Settings]\nDisplayMode=1\n"));
  ASSERT_TRUE(testing_support::WriteText(folder / "input.txt", "@0 key ESC\n@1 text \"unterminated"));
  auto run = RunMain({"--ticks", "2", "--input", "input.txt"}, folder.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("lookup tables missing or short"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("line 2: unterminated text"), std::string::npos) << run.err;
  // The run wrote nothing of its own into the working folder.
  EXPECT_EQ(folder.Files(), (std::vector<std::string>{"config.ini", "input.txt"}));

  run = RunMain({"--ticks", "2", "--input", "missing.txt"}, folder.path());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("cannot read input script missing.txt"), std::string::npos) << run.err;

  run = RunMain({"--bogus"}, folder.path());
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("unknown option --bogus"), std::string::npos);
}

}  // namespace
