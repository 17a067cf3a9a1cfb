// The null back ends of the platform services: no window, no GL, no sound card, no network and
// no decoder. Each answers as a machine without the device would and records what it was asked,
// for tests to read. Calls only the C++ library and the platform's shared input and screenshot
// code; never SDL or GL.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/gl_context.h"
#include "platform/options.h"
#include "platform/transport.h"
#include "platform/video.h"
#include "platform/window.h"

namespace platform {

class InputFeed;
struct Screenshot;

// What a null back end was asked, one line per call with its arguments ("BeginFrame 0 16 32"),
// in order. The first kMaxCalls lines are kept; Count is exact however long the run.
class CallLog {
 public:
  static constexpr size_t kMaxCalls = 4096;

  void Add(std::string call);
  const std::vector<std::string>& Calls() const { return calls_; }
  // Calls whose first word is `name`.
  uint64_t Count(std::string_view name) const;
  void Clear();

 private:
  std::vector<std::string> calls_;
  std::map<std::string, uint64_t, std::less<>> counts_;
};

// No window: input comes only from the input script, boxes are answered from it or with their
// default button and logged on stderr, as a headless run does. Show only records the logical
// size, which pointer positions are clamped to.
class NullWindow final : public Window {
 public:
  // The desktop the null display reports: 1024 x 768, and the three logical modes at 16 and 32
  // bits.
  static DisplayInfo NullDisplay();

  NullWindow(const Options& options, Clock* clock);
  ~NullWindow() override;

  bool Start(std::string* error) override;
  void Shutdown() override;
  bool VideoStarted() override { return true; }
  DisplayInfo Display() override { return NullDisplay(); }
  bool OpenControllers() override;
  bool Show(int logicalWidth, int logicalHeight, const std::string& title, std::string* error) override;
  void Close() override;
  bool IsOpen() const override { return width_ > 0; }
  void PumpEvents(std::vector<InputEvent>* out) override;
  uint64_t PumpPasses() const override;
  bool InputMayArrive() const override;
  const InputState& Input() const override;
  void SetMousePosition(int x, int y) override;
  void ShowCursor(bool show) override;
  int ShowMessageBox(const MessageBoxRequest& request) override;
  void ShowNotice(const std::string& text) override;
  bool TakeAnswer(BoxAnswer* answer) override;
  bool Minimise() override { return false; }

  CallLog log;  // Show, Close, OpenControllers, SetMousePosition, ShowCursor, MessageBox, Notice

 private:
  Options options_;
  std::unique_ptr<InputFeed> feed_;
  int width_ = 0;
  int height_ = 0;
};

// No GL: frames are counted, and a frame reads back as the colour it was last cleared to, so
// screenshots are still written, at the logical size.
class NullGlContext final : public GlContext {
 public:
  static constexpr const char* kRendererName = "null";

  explicit NullGlContext(const Options& options);
  ~NullGlContext() override;

  bool OpenDevice(bool forceSoftware, std::string* error) override;
  bool OpenFrame(int logicalWidth, int logicalHeight, std::string* error) override;
  void Close() override;
  void Shutdown() override;
  std::string ScreenshotError() const override;
  int LogicalWidth() const override { return width_; }
  int LogicalHeight() const override { return height_; }
  std::string RendererName() const override { return open_ ? kRendererName : ""; }
  void BeginFrame(Rgb colour) override;
  void Present() override;
  uint64_t PresentedFrames() const override { return presented_; }
  bool ReadFrame(std::vector<uint8_t>* rgb) const override;

  CallLog log;  // OpenDevice, OpenFrame, BeginFrame, Present, Close

 private:
  void CaptureScreenshot();

  std::unique_ptr<Screenshot> screenshot_;
  bool open_ = false;
  int width_ = 0;
  int height_ = 0;
  Rgb cleared_;          // the frame as it is now
  Rgb presentedColour_;  // the frame as last presented
  uint64_t presented_ = 0;
};

// No sound card: buffers and sources are kept with their settings so tests can read them; a
// played source stays playing until stopped (no time passes here), unless Finish ends it. Changes
// take effect at once: Defer and Commit are only logged.
class NullAudio final : public Audio {
 public:
  struct Buffer {
    PcmFormat format;
    size_t bytes = 0;
  };
  struct Source {
    AudioBuffer buffer = 0;
    Vec3 position;
    Vec3 velocity;
    float gain = 1;
    float pitch = 1;
    bool looping = false;
    float minDistance = 1;
    float maxDistance = 10000;
    bool relative = false;
    bool playing = false;
  };
  struct Listener {
    Vec3 position;
    Vec3 velocity;
    Vec3 forward{0, 0, 1};
    Vec3 up{0, 1, 0};
    float gain = 1;
    float doppler = 1;
    float rolloff = 1;
  };

  bool Open(int sampleRate, std::string* error) override;
  void Close() override;
  bool IsOpen() const override { return sampleRate_ > 0; }
  AudioBuffer CreateBuffer(const PcmFormat& format, const void* data, size_t bytes) override;
  void DeleteBuffer(AudioBuffer buffer) override;
  AudioSource CreateSource() override;
  void DeleteSource(AudioSource source) override;
  void SetBuffer(AudioSource source, AudioBuffer buffer) override;
  void SetPosition(AudioSource source, Vec3 position) override;
  void SetVelocity(AudioSource source, Vec3 velocity) override;
  void SetGain(AudioSource source, float gain) override;
  void SetPitch(AudioSource source, float pitch) override;
  void SetLooping(AudioSource source, bool looping) override;
  void SetDistances(AudioSource source, float minimum, float maximum) override;
  void SetRelative(AudioSource source, bool relative) override;
  void Play(AudioSource source) override;
  void Stop(AudioSource source) override;
  bool IsPlaying(AudioSource source) const override;
  void SetListener(Vec3 position, Vec3 velocity, Vec3 forward, Vec3 up) override;
  void SetMasterGain(float gain) override;
  void SetDopplerFactor(float factor) override;
  void SetRolloffFactor(float factor) override;
  void Defer() override;
  void Commit() override;

  // The buffer of a non-looping source has played to its end.
  void Finish(AudioSource source);
  // nullptr for a handle that is not live.
  const Buffer* FindBuffer(AudioBuffer buffer) const;
  const Source* FindSource(AudioSource source) const;
  const Listener& listener() const { return listener_; }
  int sampleRate() const { return sampleRate_; }  // of the open device; 0 when closed
  size_t LiveSources() const { return sources_.size(); }
  size_t LiveBuffers() const { return buffers_.size(); }

  // What the next Open answers: a machine without a sound device when false.
  bool deviceAvailable = true;
  CallLog log;  // every call, with its handle and values; calls on dead handles too

 private:
  Source* Live(AudioSource source);

  std::map<AudioBuffer, Buffer> buffers_;
  std::map<AudioSource, Source> sources_;
  Listener listener_;
  int sampleRate_ = 0;
  uint32_t nextHandle_ = 1;  // buffers and sources share the numbering, so a mix-up shows
};

// No network: nobody else is out there, so nothing arrives but what a test puts in with Receive
// (a kConnected of kHostPeer completes a join). Hosting or joining only takes the local peer
// number; sent messages are kept.
class NullTransport final : public Transport {
 public:
  static constexpr PeerId kHostPeer = 1;    // the local peer of a hosted session
  static constexpr PeerId kJoinedPeer = 2;  // the local peer of a joined one
  struct Sent {
    PeerId peer = 0;
    Delivery delivery = Delivery::kReliable;
    std::vector<uint8_t> data;
    bool operator==(const Sent&) const = default;
  };

  bool Host(const std::string& session, uint16_t port, int maxPeers, std::string* error) override;
  bool Join(const std::string& session, const std::string& address, uint16_t port, std::string* error) override;
  void Leave() override;
  PeerId LocalPeer() const override { return local_; }
  bool Send(PeerId peer, Delivery delivery, const void* data, size_t bytes) override;
  void Poll(std::vector<TransportEvent>* out) override;

  // Queues an event for the next Poll, as if it had arrived. When Poll hands it out, a kConnected
  // peer becomes known to Send and a kDisconnected one unknown.
  void Receive(TransportEvent event);
  const std::vector<Sent>& sent() const { return sent_; }
  const std::vector<PeerId>& peers() const { return peers_; }

  CallLog log;  // Host, Join, Leave, Send (peer, delivery, size), Poll (events handed out)

 private:
  PeerId local_ = 0;
  std::vector<PeerId> peers_;  // connected, in order of connection
  std::deque<TransportEvent> incoming_;
  std::vector<Sent> sent_;
};

// No decoder: a file opens as the clip a test set, whatever the path; with no clip set (the
// default) nothing opens, as on a machine without the codecs. Frame n decodes as a solid grey of
// level n % 256.
class NullVideo final : public Video {
 public:
  struct Clip {
    int width = 0;
    int height = 0;
    double frameRate = 0;
    int frames = 0;
  };

  bool Open(const std::string& path, std::string* error) override;
  void Close() override;
  int Width() const override { return open_ ? clip.width : 0; }
  int Height() const override { return open_ ? clip.height : 0; }
  double FrameRate() const override { return open_ ? clip.frameRate : 0; }
  bool DecodeFrame(std::vector<uint8_t>* rgb) override;
  bool AtEnd() const override { return !open_ || atEnd_; }

  Clip clip;    // what the next Open gives
  CallLog log;  // Open (path), Close, Decode (frame number, or "end")

 private:
  bool open_ = false;
  bool atEnd_ = false;
  int next_ = 0;
};

}  // namespace platform
