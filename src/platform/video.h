// The video service: what a back end provides for playing a video file (cut-scenes and the
// play instruction): open a file, its frame size and rate, decode frame after frame into RGB.
// Back ends live in src/platform/; here also the two rules every caller shows frames by: the size
// a file's name asks for, and when each frame is due. Showing the frames is the engine's business.
//
// Order of calls: Open; DecodeFrame until it returns false (the end of the stream, or a stream
// that cannot be decoded any further); Close, or Open again for the next file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class Video {
 public:
  virtual ~Video() = default;

  // Opens the file and its first video stream. False with a message when the file cannot be read
  // or holds no video; the previous file is closed either way.
  virtual bool Open(const std::string& path, std::string* error) = 0;
  // Safe when nothing is open.
  virtual void Close() = 0;

  // Frame size in pixels and frames per second of the open file; 0 when nothing is open.
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual double FrameRate() const = 0;

  // Decodes the next frame into `rgb` as Width() * Height() * 3 bytes, rows from top to bottom.
  // False at the end of the stream, leaving `rgb` as it was.
  virtual bool DecodeFrame(std::vector<uint8_t>* rgb) = 0;
  // True once DecodeFrame has returned false, or when nothing is open.
  virtual bool AtEnd() const = 0;
};

// The system's decoder (FFmpeg), usable without a window: the back end a system platform gets.
std::unique_ptr<Video> MakeSystemVideo();

// The size a video is shown at, from its file's own name (the folders never count, so a folder
// named "my_games" cannot decide it): the second '_'-separated part of the name, split at the
// first 'x' into width and height, each read as the C library reads a decimal number
// ("intro_320x240.avi" and "_320x240.avi" are 320 x 240; "a_b_320x240.avi" reads "b"). When either
// side comes out below 1, or the name has no such part, the video fills the screen:
// fullWidth x fullHeight. Sides are capped at kMaxVideoSide.
struct VideoSize {
  int width = 0;
  int height = 0;
  bool operator==(const VideoSize&) const = default;
};
inline constexpr int kMaxVideoSide = 1 << 16;
VideoSize VideoSizeFromName(const std::string& path, int fullWidth, int fullHeight);

// Clock units (Clock::kUnitsPerSecond a second) from the start of a video to frame `frame`, at
// `frameRate` frames a second; 0 for a rate that is not positive.
uint32_t VideoFrameTime(int64_t frame, double frameRate);

}  // namespace platform
