// Cut-scenes played by the engine: the headless count and its log line, the size from the file's
// own name, files that cannot be played, and (on SDL's offscreen driver) frames centred on the
// back surface, paced by the clock and ended by input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/app.h"
#include "support/avi_bytes.h"
#include "support/run_program.h"
#include "support/work_folder.h"

namespace {

using testing_support::Rgb8;

constexpr int kWidth = 32;
constexpr int kHeight = 24;
constexpr int kFrames = 7;
constexpr int kRate = 10;

Rgb8 Pixel(int frame, int x, int y) {
  if (y < kHeight / 2) return {static_cast<uint8_t>(frame * 30), 200, static_cast<uint8_t>(x * 8)};
  return {5, 60, static_cast<uint8_t>(250 - frame)};
}

class CutScene : public ::testing::Test {
 protected:
  void TearDown() override {
    engine_.reset();
    if (setDisplay_) unsetenv("DISPLAY");
  }
  // An engine on the system back ends with a 640 x 480 display of 32-bit pixels; `shown` makes
  // it a run with a window (SDL's offscreen driver stands in for the display server).
  void Start(bool shown, const std::string& script = "") {
    if (shown && std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
      setenv("DISPLAY", ":vexel-test", 1);
      setDisplay_ = true;
    }
    ASSERT_TRUE(testing_support::WriteText(folder_ / "input.txt", script));
    engine_ = std::make_unique<app::Engine>();
    platform::Options options;
    options.headless = !shown;
    options.windowed = true;
    options.virtualClock = true;
    options.inputScriptPath = folder_ / "input.txt";
    std::string error;
    ASSERT_TRUE(engine_->platform.Start(options, &error)) << error;
    ASSERT_EQ(engine_->platform.IsHeadless(), !shown);
    ASSERT_TRUE(engine_->arena.Create());
    ASSERT_TRUE(engine_->platform.OpenWindow(640, 480, "test", &error)) << error;
    engine::Display& display = engine_->display;
    display.width = 640;
    display.height = 480;
    display.format.bitsPerPixel = 32;
    display.format.pitch = 640 * 4;
    display.backSurface.assign(640 * 480 * 4, 0x77);
  }
  std::string WriteAvi(const std::string& relative) {
    const std::string path = folder_ / relative;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    EXPECT_TRUE(testing_support::WriteText(path, testing_support::RawAvi(kWidth, kHeight, kRate, kFrames, Pixel)));
    return path;
  }
  uint32_t BackPixel(int x, int y) {
    return reinterpret_cast<const uint32_t*>(engine_->display.backSurface.data())[y * 640 + x];
  }
  static uint32_t Packed(Rgb8 p) { return static_cast<uint32_t>(p.r) << 16 | p.g << 8 | p.b; }

  testing_support::TempFolder folder_;
  std::unique_ptr<app::Engine> engine_;
  bool setDisplay_ = false;
};

TEST_F(CutScene, HeadlessCountsEveryFrameAtTheSizeOfTheFilesOwnName) {
  Start(false);
  const std::string plain = WriteAvi("game/_160x120.avi");
  const std::string underscored = WriteAvi("my_games/_160x120.avi");
  const std::string unsized = WriteAvi("my_games/intro.avi");
  testing::internal::CaptureStderr();
  EXPECT_TRUE(app::PlayCutScene(*engine_, plain));
  EXPECT_TRUE(app::PlayCutScene(*engine_, underscored));
  EXPECT_TRUE(app::PlayCutScene(*engine_, unsized));
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_EQ(log, "[video] _160x120.avi 160x120 7 frames\n"
                 "[video] _160x120.avi 160x120 7 frames\n"
                 "[video] intro.avi 640x480 7 frames\n");
  // No window, no waiting: nothing was shown and no time passed.
  EXPECT_EQ(engine_->platform.gl->PresentedFrames(), 0u);
  EXPECT_EQ(engine_->platform.clock().Now(), 0u);
}

TEST_F(CutScene, AFileThatCannotBePlayedIsSkipped) {
  Start(false);
  ASSERT_TRUE(testing_support::WriteText(folder_ / "_160x120.avi", "RIFF\x10\0\0\0AVI junk"));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(app::PlayCutScene(*engine_, folder_ / "none_160x120.avi"));
  EXPECT_FALSE(app::PlayCutScene(*engine_, folder_ / "_160x120.avi"));
  EXPECT_TRUE(app::PlayCutScene(*engine_, WriteAvi("after_64x48.avi")));  // the service still works
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("main: the cut-scene cannot be played: " + folder_ / "none_160x120.avi"), std::string::npos)
      << log;
  EXPECT_NE(log.find("main: the cut-scene cannot be played: " + folder_ / "_160x120.avi"), std::string::npos) << log;
  EXPECT_NE(log.find("[video] after_64x48.avi 64x48 7 frames\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("[video] _160x120.avi"), std::string::npos) << log;
}

TEST_F(CutScene, FramesAreCentredScaledAndPacedByTheFilesRate) {
  Start(true, "@0 keydown SPACE\n");  // held from before the video: it does not end it
  ASSERT_TRUE(app::PlayCutScene(*engine_, WriteAvi("my_games/_160x120.avi")));
  EXPECT_EQ(engine_->platform.gl->PresentedFrames(), static_cast<uint64_t>(kFrames));
  // The last frame stays up for its time: seven frames at 10 a second.
  EXPECT_EQ(engine_->platform.clock().Now(), platform::VideoFrameTime(kFrames, kRate));
  // 160 x 120 centred on 640 x 480 covers x 240..399 and y 180..299, five screen pixels a frame
  // pixel; the rest of the screen is black.
  EXPECT_EQ(BackPixel(240, 180), Packed(Pixel(kFrames - 1, 0, 0)));
  EXPECT_EQ(BackPixel(244, 184), Packed(Pixel(kFrames - 1, 0, 0)));
  EXPECT_EQ(BackPixel(245, 180), Packed(Pixel(kFrames - 1, 1, 0)));
  EXPECT_EQ(BackPixel(399, 239), Packed(Pixel(kFrames - 1, kWidth - 1, kHeight / 2 - 1)));
  EXPECT_EQ(BackPixel(300, 240), Packed(Pixel(kFrames - 1, 12, kHeight / 2)));
  EXPECT_EQ(BackPixel(399, 299), Packed(Pixel(kFrames - 1, kWidth - 1, kHeight - 1)));
  for (const auto& [x, y] : {std::pair{239, 180}, {400, 180}, {240, 179}, {240, 300}, {0, 0}, {639, 479}}) {
    EXPECT_EQ(BackPixel(x, y), 0u) << x << "," << y;
  }
}

TEST_F(CutScene, AKeyPressedWhileItPlaysEndsIt) {
  // The key held at the start is let go, then a key pressed half a second in: five frames are due
  // by then, and the sixth is never shown.
  Start(true, "@0 keydown SPACE\n@1 keyup SPACE\n@30 keydown A\n");
  ASSERT_TRUE(app::PlayCutScene(*engine_, WriteAvi("_64x48.avi")));
  const uint64_t shown = engine_->platform.gl->PresentedFrames();
  EXPECT_GE(shown, 1u);
  EXPECT_LT(shown, static_cast<uint64_t>(kFrames));
  EXPECT_LT(engine_->platform.clock().Now(), platform::VideoFrameTime(kFrames, kRate));
  // A size larger than the screen is cut at its edges.
  const std::string big = WriteAvi("_1280x960.avi");
  Start(true);
  ASSERT_TRUE(app::PlayCutScene(*engine_, big));
  EXPECT_EQ(engine_->platform.gl->PresentedFrames(), static_cast<uint64_t>(kFrames));
  EXPECT_EQ(BackPixel(0, 0), Packed(Pixel(kFrames - 1, 8, 6)));  // (320, 240) of 1280 x 960
  EXPECT_EQ(BackPixel(639, 479), Packed(Pixel(kFrames - 1, 23, 17)));
}

// In a finished game the video named like the loading picture plays in its place: the whole chain
// through the real engine, from a folder whose own name holds '_' (the size comes from the file's
// name only), and a second level whose video is damaged shows its picture instead.
TEST(CutSceneGame, TheLoadingVideoOfALevelPlaysInsteadOfItsPicture) {
  testing_support::GameFolder game;
  game.AddLevel(1, "exit(2)\r\n");
  game.AddLevel(2, "exit(-3)\r\n");
  std::filesystem::create_directories(game / "my_games");
  ASSERT_TRUE(testing_support::WriteText(game / "multilev.ini",
                                         "my_games/_160x120.bmp|black_.bmp|\r\nbroken.bmp|black_.bmp|\r\n"));
  const std::string avi = testing_support::RawAvi(32, 16, 25, 7, [](int frame, int x, int y) {
    return Rgb8{static_cast<uint8_t>(frame * 30), static_cast<uint8_t>(x * 8), static_cast<uint8_t>(y * 16)};
  });
  ASSERT_TRUE(testing_support::WriteText(game / "my_games/_160x120.avi", avi));
  ASSERT_TRUE(testing_support::WriteText(game / "broken.avi", avi.substr(0, 40)));
  const auto run = testing_support::RunMain({"--ticks", "10"}, game.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("[video] _160x120.avi 160x120 7 frames"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("main: the cut-scene cannot be played"), std::string::npos) << run.err;
}

}  // namespace
