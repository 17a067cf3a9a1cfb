// The FFmpeg back end of the video service: container and decoder through libavformat and
// libavcodec, frames turned into RGB rows by libswscale. The one file that names FFmpeg.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include "platform/platform.h"

namespace platform {
namespace {

// A frame larger than this on either side is refused: the size comes from the file, and a damaged
// header must not make us allocate gigabytes per frame.
constexpr int kMaxSide = 8192;
// The rate of a stream that does not give one that makes sense.
constexpr double kDefaultFrameRate = 25.0;
constexpr double kMaxFrameRate = 1000.0;

std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

double RateOf(AVRational rate) {
  if (rate.num <= 0 || rate.den <= 0) return 0;
  const double value = av_q2d(rate);
  return value > 0 && value <= kMaxFrameRate ? value : 0;
}

class FfmpegVideo final : public Video {
 public:
  FfmpegVideo() {
    // A damaged file makes the demuxers and decoders talk at length; the caller gets one message.
    av_log_set_level(AV_LOG_QUIET);
  }
  ~FfmpegVideo() override { Close(); }

  bool Open(const std::string& path, std::string* error) override;
  void Close() override;
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  double FrameRate() const override { return frameRate_; }
  bool DecodeFrame(std::vector<uint8_t>* rgb) override;
  bool AtEnd() const override { return atEnd_; }

 private:
  bool Fail(const std::string& path, const std::string& why, std::string* error) {
    *error = path + ": " + why;
    Close();
    return false;
  }
  // The next decoded frame into frame_; false at the end of the stream.
  bool NextFrame();
  bool Convert(std::vector<uint8_t>* rgb);

  AVFormatContext* format_ = nullptr;
  AVCodecContext* codec_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  SwsContext* scaler_ = nullptr;
  int stream_ = -1;
  int width_ = 0;
  int height_ = 0;
  double frameRate_ = 0;
  bool draining_ = false;  // the container is read to its end; the decoder gives what it holds
  bool atEnd_ = true;
};

bool FfmpegVideo::Open(const std::string& path, std::string* error) {
  Close();
  int code = avformat_open_input(&format_, path.c_str(), nullptr, nullptr);
  if (code < 0) {
    format_ = nullptr;  // freed by the failed call
    return Fail(path, ErrorText(code), error);
  }
  code = avformat_find_stream_info(format_, nullptr);
  if (code < 0) return Fail(path, ErrorText(code), error);
  const AVCodec* decoder = nullptr;
  stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
  if (stream_ < 0 || decoder == nullptr) return Fail(path, "no video stream that can be decoded", error);
  AVStream* stream = format_->streams[stream_];
  // Only the picture is read: every other stream's packets are dropped by the demuxer.
  for (unsigned i = 0; i < format_->nb_streams; ++i) {
    if (static_cast<int>(i) != stream_) format_->streams[i]->discard = AVDISCARD_ALL;
  }
  codec_ = avcodec_alloc_context3(decoder);
  if (codec_ == nullptr) return Fail(path, "out of memory", error);
  code = avcodec_parameters_to_context(codec_, stream->codecpar);
  if (code < 0) return Fail(path, ErrorText(code), error);
  // One thread: frames come out in the order and number they went in, with no delay to drain.
  codec_->thread_count = 1;
  code = avcodec_open2(codec_, decoder, nullptr);
  if (code < 0) return Fail(path, ErrorText(code), error);
  if (codec_->width < 1 || codec_->height < 1 || codec_->width > kMaxSide || codec_->height > kMaxSide) {
    return Fail(path, "a frame size of " + std::to_string(codec_->width) + " x " + std::to_string(codec_->height) +
                          " cannot be shown", error);
  }
  packet_ = av_packet_alloc();
  frame_ = av_frame_alloc();
  if (packet_ == nullptr || frame_ == nullptr) return Fail(path, "out of memory", error);
  width_ = codec_->width;
  height_ = codec_->height;
  frameRate_ = RateOf(stream->avg_frame_rate);
  if (frameRate_ == 0) frameRate_ = RateOf(stream->r_frame_rate);
  if (frameRate_ == 0) frameRate_ = kDefaultFrameRate;
  draining_ = false;
  atEnd_ = false;
  return true;
}

void FfmpegVideo::Close() {
  sws_freeContext(scaler_);
  scaler_ = nullptr;
  av_frame_free(&frame_);
  av_packet_free(&packet_);
  avcodec_free_context(&codec_);
  if (format_ != nullptr) avformat_close_input(&format_);
  stream_ = -1;
  width_ = 0;
  height_ = 0;
  frameRate_ = 0;
  draining_ = false;
  atEnd_ = true;
}

bool FfmpegVideo::NextFrame() {
  for (;;) {
    const int received = avcodec_receive_frame(codec_, frame_);
    if (received == 0) return true;
    // Anything but "send more" ends the stream: the decoder is drained, or broken beyond use.
    if (received != AVERROR(EAGAIN) || draining_) return false;
    const int read = av_read_frame(format_, packet_);
    if (read < 0) {
      // The end of the file, or a read error: what the decoder still holds comes out first.
      draining_ = true;
      if (avcodec_send_packet(codec_, nullptr) < 0) return false;
      continue;
    }
    if (packet_->stream_index == stream_) {
      // A packet the decoder refuses is a damaged frame: it is skipped, and the next one tried.
      avcodec_send_packet(codec_, packet_);
    }
    av_packet_unref(packet_);
  }
}

bool FfmpegVideo::Convert(std::vector<uint8_t>* rgb) {
  // A stream may change its frame size or pixel format on the way; each frame is scaled to the
  // size the file opened with, so the caller's buffer size holds for the whole file.
  const auto format = static_cast<AVPixelFormat>(frame_->format);
  if (frame_->width < 1 || frame_->height < 1 || frame_->width > kMaxSide || frame_->height > kMaxSide ||
      format == AV_PIX_FMT_NONE) {
    return false;
  }
  scaler_ = sws_getCachedContext(scaler_, frame_->width, frame_->height, format, width_, height_, AV_PIX_FMT_RGB24,
                                 SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (scaler_ == nullptr) return false;
  std::vector<uint8_t> out(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3);
  uint8_t* planes[4] = {out.data(), nullptr, nullptr, nullptr};
  int pitches[4] = {width_ * 3, 0, 0, 0};
  if (sws_scale(scaler_, frame_->data, frame_->linesize, 0, frame_->height, planes, pitches) != height_) return false;
  *rgb = std::move(out);
  return true;
}

bool FfmpegVideo::DecodeFrame(std::vector<uint8_t>* rgb) {
  if (atEnd_) return false;
  // A frame that decodes but cannot be converted is skipped like a damaged packet.
  while (NextFrame()) {
    const bool converted = Convert(rgb);
    av_frame_unref(frame_);
    if (converted) return true;
  }
  atEnd_ = true;
  return false;
}

}  // namespace

std::unique_ptr<Video> MakeSystemVideo() { return std::make_unique<FfmpegVideo>(); }

}  // namespace platform
