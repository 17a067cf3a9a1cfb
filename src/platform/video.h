// The video service: what a back end provides for playing a video file (cut-scenes and the
// play instruction): open a file, its frame size and rate, decode frame after frame into RGB.
// Contract only; back ends live in src/platform/. Showing the frames is the engine's business.
//
// Order of calls: Open; DecodeFrame until it returns false (the end of the stream, or a stream
// that cannot be decoded any further); Close, or Open again for the next file.
#pragma once

#include <cstdint>
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

}  // namespace platform
