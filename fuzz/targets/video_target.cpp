// Fuzz target body: video files opened and decoded to the end by the system's decoder, from a
// temporary file of its own process (the container reader reads files). Calls the platform's video
// service and the tests' AVI writer.
//
// An input starting with 'G' is not a file: bytes 1-4 give an uncompressed AVI's width, height,
// frame count and rate, which the target writes itself, and the remaining bytes, in pairs of
// position and value, are XOR-ed into it. That reaches deep into the container and the frames
// without any sample file in the corpus; any other input is the file itself.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/core.h"
#include "platform/platform.h"
#include "support/avi_bytes.h"
#include "targets.h"

namespace fuzzing {
namespace {

// Enough frames to pass the first index entries and the decoder's start; a longer file costs time
// and finds nothing new.
constexpr int kMaxFrames = 64;

const std::string& InputPath() {
  static const std::string path = [] {
    const char* folder = std::getenv("TMPDIR");
    return std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/vexel-video-fuzz-" +
           std::to_string(getpid()) + ".avi";
  }();
  return path;
}

std::string GeneratedFile(const uint8_t* data, size_t size) {
  const int width = 1 + data[1] % 64;
  const int height = 1 + data[2] % 64;
  const int frames = data[3] % 8;
  const int rate = 1 + data[4] % 60;
  std::string file = testing_support::RawAvi(width, height, rate, frames, [](int n, int x, int y) {
    return testing_support::Rgb8{static_cast<uint8_t>(n * 40), static_cast<uint8_t>(x * 3), static_cast<uint8_t>(y * 5)};
  });
  for (size_t i = 5; i + 1 < size; i += 2) {
    const size_t at = (static_cast<size_t>(data[i]) * 7919u + i * 31u) % file.size();
    file[at] = static_cast<char>(file[at] ^ data[i + 1]);
  }
  return file;
}

}  // namespace

std::string FuzzVideo(const uint8_t* data, size_t size) {
  const std::string file = size >= 5 && data[0] == 'G' ? GeneratedFile(data, size)
                                                        : std::string(reinterpret_cast<const char*>(data), size);
  const std::string& path = InputPath();
  if (!core::WriteFileAtomic(path, file)) return {};
  const std::unique_ptr<platform::Video> video = platform::MakeSystemVideo();
  std::string error;
  const bool opened = video->Open(path, &error);
  std::string failure;
  if (!opened) {
    if (error.empty()) failure = "refused without a message";
    else if (video->Width() != 0 || !video->AtEnd()) failure = "a refused file left something open";
  } else if (video->Width() < 1 || video->Height() < 1 || video->Width() > 8192 || video->Height() > 8192) {
    failure = "opened with a frame of " + std::to_string(video->Width()) + " x " + std::to_string(video->Height());
  } else if (!(video->FrameRate() > 0) || video->FrameRate() > 1000) {
    failure = "opened with a frame rate of " + std::to_string(video->FrameRate());
  } else {
    const size_t frameBytes = static_cast<size_t>(video->Width()) * static_cast<size_t>(video->Height()) * 3;
    std::vector<uint8_t> rgb;
    int frames = 0;
    while (failure.empty() && frames < kMaxFrames && video->DecodeFrame(&rgb)) {
      if (rgb.size() != frameBytes) failure = "a frame of " + std::to_string(rgb.size()) + " bytes";
      ++frames;
    }
    if (failure.empty() && frames < kMaxFrames && !video->AtEnd()) failure = "the end of the stream is not reported";
  }
  video->Close();
  unlink(path.c_str());
  return failure;
}

}  // namespace fuzzing
