// The system video back end on AVI files the test writes itself (exact pixels, frame count and
// rate, damaged and missing files), and the rules of the size a name asks for and of frame times.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/avi_bytes.h"
#include "support/run_program.h"

namespace {

using testing_support::Rgb8;

constexpr int kWidth = 32;
constexpr int kHeight = 24;
constexpr int kFrames = 7;

// The top half changes from frame to frame; the bottom half tells top from bottom.
Rgb8 Pixel(int frame, int x, int y) {
  if (y < kHeight / 2) return {static_cast<uint8_t>(frame * 30), 200, static_cast<uint8_t>(x)};
  return {5, 60, static_cast<uint8_t>(250 - frame)};
}

Rgb8 At(const std::vector<uint8_t>& rgb, int x, int y) {
  const size_t at = (static_cast<size_t>(y) * kWidth + x) * 3;
  return {rgb[at], rgb[at + 1], rgb[at + 2]};
}

class SystemVideo : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = folder_ / name;
    EXPECT_TRUE(testing_support::WriteText(path, bytes));
    return path;
  }
  // Opens the file and decodes it to the end; -1 when it does not open.
  int CountFrames(const std::string& path) {
    std::string error;
    if (!video_->Open(path, &error)) {
      EXPECT_FALSE(error.empty());
      EXPECT_TRUE(video_->AtEnd());
      EXPECT_EQ(video_->Width(), 0);
      return -1;
    }
    std::vector<uint8_t> rgb;
    int frames = 0;
    while (video_->DecodeFrame(&rgb)) {
      EXPECT_EQ(rgb.size(), static_cast<size_t>(video_->Width()) * video_->Height() * 3);
      ++frames;
    }
    return frames;
  }

  testing_support::TempFolder folder_;
  std::unique_ptr<platform::Video> video_ = platform::MakeSystemVideo();
  const std::string avi_ = testing_support::RawAvi(kWidth, kHeight, 10, kFrames, Pixel);
};

TEST_F(SystemVideo, DecodesEveryFrameOfAnAviExactlyAndTopRowFirst) {
  const std::string path = Write("clip.avi", avi_);
  std::string error;
  ASSERT_TRUE(video_->Open(path, &error)) << error;
  EXPECT_EQ(video_->Width(), kWidth);
  EXPECT_EQ(video_->Height(), kHeight);
  EXPECT_DOUBLE_EQ(video_->FrameRate(), 10.0);
  EXPECT_FALSE(video_->AtEnd());
  std::vector<uint8_t> rgb;
  for (int n = 0; n < kFrames; ++n) {
    ASSERT_TRUE(video_->DecodeFrame(&rgb)) << "frame " << n;
    ASSERT_EQ(rgb.size(), static_cast<size_t>(kWidth * kHeight * 3));
    for (const auto& [x, y] : {std::pair{0, 0}, {kWidth - 1, 0}, {7, kHeight / 2 - 1}, {0, kHeight / 2}, {31, 23}}) {
      EXPECT_EQ(At(rgb, x, y), Pixel(n, x, y)) << "frame " << n << " at " << x << "," << y;
    }
  }
  const std::vector<uint8_t> last = rgb;
  EXPECT_FALSE(video_->DecodeFrame(&rgb));
  EXPECT_TRUE(video_->AtEnd());
  EXPECT_EQ(rgb, last);  // the end leaves the last frame as it was
  EXPECT_FALSE(video_->DecodeFrame(&rgb));

  // Open again starts over; Close empties it.
  EXPECT_EQ(CountFrames(path), kFrames);
  video_->Close();
  EXPECT_EQ(video_->Width(), 0);
  EXPECT_EQ(video_->FrameRate(), 0.0);
  EXPECT_TRUE(video_->AtEnd());
  video_->Close();
}

TEST_F(SystemVideo, MissingAndDamagedFilesAreRefusedOrCutShortWithoutHarm) {
  std::string error;
  EXPECT_FALSE(video_->Open(folder_ / "none.avi", &error));
  EXPECT_NE(error.find("none.avi"), std::string::npos) << error;
  EXPECT_EQ(CountFrames(Write("empty.avi", "")), -1);
  EXPECT_EQ(CountFrames(Write("text.avi", std::string(3000, 'q'))), -1);
  EXPECT_EQ(CountFrames(Write("header.avi", avi_.substr(0, 200))), -1);

  // A file cut in the middle of its fourth frame gives the three whole ones; the cut frame is
  // dropped, not shown half-filled.
  const size_t frameChunk = 8 + ((kWidth * 3 + 3) & ~3) * kHeight;
  const size_t firstFrame = avi_.find("00db");
  ASSERT_NE(firstFrame, std::string::npos);
  EXPECT_EQ(CountFrames(Write("cut.avi", avi_.substr(0, firstFrame + 3 * frameChunk + frameChunk / 2))), 3);

  // A header claiming a frame far larger than any screen is refused before a frame is allocated.
  std::string huge = avi_;
  const size_t strf = huge.find("strf");
  ASSERT_NE(strf, std::string::npos);
  huge[strf + 12] = 0;
  huge[strf + 13] = 0;
  huge[strf + 14] = 1;  // width 65536
  EXPECT_EQ(CountFrames(Write("huge.avi", huge)), -1);

  // Bytes flipped all through the frames and the index: whatever opens decodes to an end.
  std::string noisy = avi_;
  for (size_t i = firstFrame; i < noisy.size(); i += 37) noisy[i] = static_cast<char>(noisy[i] ^ 0x5A);
  EXPECT_LE(CountFrames(Write("noisy.avi", noisy)), kFrames);

  // A failed open leaves nothing open, and the next file plays.
  EXPECT_EQ(CountFrames(Write("good.avi", avi_)), kFrames);
}

TEST(VideoSize, ComesFromTheSecondPartOfTheFileNameOnly) {
  using platform::VideoSize;
  const auto size = [](const std::string& path) { return platform::VideoSizeFromName(path, 800, 600); };
  EXPECT_EQ(size("/games/_160x120.avi"), (VideoSize{160, 120}));
  EXPECT_EQ(size("/games/intro_320x240.avi"), (VideoSize{320, 240}));
  EXPECT_EQ(size("intro_320x240_final.avi"), (VideoSize{320, 240}));
  // The folders never count: neither a '_' in them nor a size-like part.
  EXPECT_EQ(size("/home/me/my_games/_160x120.avi"), (VideoSize{160, 120}));
  EXPECT_EQ(size("/home/me/my_games/intro.avi"), (VideoSize{800, 600}));
  EXPECT_EQ(size("/v/_64x48/intro.avi"), (VideoSize{800, 600}));
  EXPECT_EQ(size("C:\\my_games\\_32x16.avi"), (VideoSize{32, 16}));
  // The second part only: a third part is not looked at.
  EXPECT_EQ(size("a_b_320x240.avi"), (VideoSize{800, 600}));
  // Numbers as the C library reads them; a side below 1 fills the screen.
  EXPECT_EQ(size("_ 64x+32.avi"), (VideoSize{64, 32}));
  EXPECT_EQ(size("_0x240.avi"), (VideoSize{800, 600}));
  EXPECT_EQ(size("_320x-5.avi"), (VideoSize{800, 600}));
  EXPECT_EQ(size("_320.avi"), (VideoSize{800, 600}));
  EXPECT_EQ(size("_xbox.avi"), (VideoSize{800, 600}));
  EXPECT_EQ(size("_.avi"), (VideoSize{800, 600}));
  EXPECT_EQ(size(""), (VideoSize{800, 600}));
  EXPECT_EQ(size("_99999999999999999999x7.avi"), (VideoSize{platform::kMaxVideoSide, 7}));
}

TEST(VideoFrameTime, CountsClockUnitsFromTheStart) {
  EXPECT_EQ(platform::VideoFrameTime(0, 30), 0u);
  EXPECT_EQ(platform::VideoFrameTime(1, 30), 150u);
  EXPECT_EQ(platform::VideoFrameTime(30, 30), 4500u);
  EXPECT_EQ(platform::VideoFrameTime(1, 29.97), 150u);  // 150.15, rounded
  EXPECT_EQ(platform::VideoFrameTime(2997, 29.97), 450000u);
  EXPECT_EQ(platform::VideoFrameTime(5, 0), 0u);
  EXPECT_EQ(platform::VideoFrameTime(5, -1), 0u);
}

}  // namespace
