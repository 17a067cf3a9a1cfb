// The OpenAL Soft back end of the audio service and the --audio-out captures. The one file that
// names OpenAL; calls the C library for the capture file and the library's configuration.
//
// [SECTION] Choosing the driver
// [SECTION] Device
// [SECTION] Buffers and sources
// [SECTION] Listener and batches
// [SECTION] Loopback capture
#include "platform/openal_backend.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace platform {
namespace {

// The engine's space is left-handed (z forward), OpenAL's right-handed (z backward): every
// position, velocity and direction crosses over with z negated.
void AlVector(Vec3 v, ALfloat out[3]) {
  out[0] = v.x;
  out[1] = v.y;
  out[2] = -v.z;
}

ALenum AlFormat(const PcmFormat& format) {
  if (format.channels == 1) return format.bitsPerSample == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
  return format.bitsPerSample == 8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16;
}

std::string Absolute(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.string();
}

void PutLittle(uint8_t* at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The 44-byte header of a 16-bit PCM WAV file of `frames` frames.
std::array<uint8_t, 44> WavHeader(int rate, int channels, uint64_t frames) {
  const uint64_t dataBytes = std::min<uint64_t>(frames * 2u * static_cast<uint64_t>(channels), 0xFFFFFFFFu - 36u);
  std::array<uint8_t, 44> h{};
  std::memcpy(h.data(), "RIFF", 4);
  PutLittle(h.data() + 4, static_cast<uint32_t>(36 + dataBytes), 4);
  std::memcpy(h.data() + 8, "WAVEfmt ", 8);
  PutLittle(h.data() + 16, 16, 4);
  PutLittle(h.data() + 20, 1, 2);
  PutLittle(h.data() + 22, static_cast<uint32_t>(channels), 2);
  PutLittle(h.data() + 24, static_cast<uint32_t>(rate), 4);
  PutLittle(h.data() + 28, static_cast<uint32_t>(rate * channels * 2), 4);
  PutLittle(h.data() + 32, static_cast<uint32_t>(channels * 2), 2);
  PutLittle(h.data() + 34, 16, 2);
  std::memcpy(h.data() + 36, "data", 4);
  PutLittle(h.data() + 40, static_cast<uint32_t>(dataBytes), 4);
  return h;
}

class OpenAlAudio final : public Audio {
 public:
  OpenAlAudio(const Options& options, Clock* clock)
      : clock_(clock),
        headless_(options.headless),
        outPath_(options.audioOutPath.empty() ? std::string() : Absolute(options.audioOutPath)),
        loopback_(!options.audioOutPath.empty() && options.virtualClock) {}

  ~OpenAlAudio() override {
    Close();
    if (capture_ != nullptr) {
      FinishCaptureHeader();
      std::fclose(capture_);
    }
    if (!configPath_.empty()) std::remove(configPath_.c_str());
  }

  bool Open(int sampleRate, std::string* error) override;
  void Close() override;
  bool IsOpen() const override { return context_ != nullptr; }
  std::string OutputError() const override { return outputError_; }

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

 private:
  bool PrepareLibrary(int sampleRate, std::string* error);
  // What this back end knows of a source's playing without asking OpenAL, whose every query takes
  // its locks: a stopped source never starts by itself, and a looping one never stops by itself.
  // Only a source played once must be asked whether it has reached its end.
  struct SourceState {
    bool looping = false;
    bool started = false;  // played, and not stopped since
  };
  // Asked by every call, so a hash lookup rather than a walk of the lists.
  SourceState* Live(AudioSource source) const {
    if (context_ == nullptr) return nullptr;
    const auto found = liveSources_.find(source);
    return found == liveSources_.end() ? nullptr : &found->second;
  }
  bool LiveSource(AudioSource source) const { return Live(source) != nullptr; }
  bool LiveBuffer(AudioBuffer buffer) const { return context_ != nullptr && liveBuffers_.count(buffer) != 0; }
  bool StartCapture(int sampleRate, std::string* error);
  void CatchUp() const;
  void FinishCaptureHeader() const;

  Clock* clock_;
  bool headless_;
  std::string outPath_;  // absolute; empty without --audio-out
  bool loopback_;
  bool prepared_ = false;
  std::string configPath_;  // the wave driver's configuration, removed at the end
  mutable std::string outputError_;  // the first failure to write the capture

  ALCdevice* device_ = nullptr;
  ALCcontext* context_ = nullptr;
  std::vector<ALuint> sources_;  // live, in creation order
  std::vector<ALuint> buffers_;
  mutable std::unordered_map<ALuint, SourceState> liveSources_;  // the same, to look up
  std::unordered_set<ALuint> liveBuffers_;
  float rolloff_ = 1.0f;

  // The loopback capture: the file, its rate, and how far it has been mixed. Mixing follows the
  // clock whenever the back end is asked anything, so it is done from const queries too.
  mutable std::FILE* capture_ = nullptr;
  int captureRate_ = 0;
  mutable uint32_t lastNow_ = 0;
  mutable uint64_t units_ = 0;    // clock units since the capture started
  mutable uint64_t written_ = 0;  // frames in the file
  mutable std::vector<int16_t> chunk_;
};

// [SECTION] Choosing the driver

// OpenAL Soft reads ALSOFT_DRIVERS and ALSOFT_CONF once, at its first call: they are set here,
// just before it.
bool OpenAlAudio::PrepareLibrary(int sampleRate, std::string* error) {
  if (prepared_) return true;
  prepared_ = true;
  if (!outPath_.empty() && !loopback_) {
    // The wave driver opens the file itself and cannot say why it failed: a first open here can.
    if (std::FILE* probe = std::fopen(outPath_.c_str(), "wb")) {
      std::fclose(probe);
    } else {
      outputError_ = "cannot write " + outPath_ + ": " + std::strerror(errno);
      *error = outputError_;
      return false;
    }
    std::error_code ignored;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(ignored);
    configPath_ = (folder / ("vexel-alsoft-" + std::to_string(getpid()) + ".conf")).string();
    const std::string text = "[general]\ndrivers=wave\nsample-type=int16\nchannels=stereo\nhrtf=false\nfrequency=" +
                             std::to_string(sampleRate) + "\n[wave]\nfile=" + outPath_ + "\n";
    std::FILE* config = std::fopen(configPath_.c_str(), "w");
    if (config == nullptr || std::fwrite(text.data(), 1, text.size(), config) != text.size()) {
      if (config != nullptr) std::fclose(config);
      *error = "cannot write " + configPath_ + ": " + std::strerror(errno);
      return false;
    }
    std::fclose(config);
    setenv("ALSOFT_CONF", configPath_.c_str(), 1);
    setenv("ALSOFT_DRIVERS", "wave", 1);
  } else if (headless_ && !loopback_) {
    setenv("ALSOFT_DRIVERS", "null", 0);
  }
  return true;
}

// [SECTION] Device

bool OpenAlAudio::Open(int sampleRate, std::string* error) {
  Close();
  if (sampleRate <= 0) {
    *error = "no output rate";
    return false;
  }
  if (!PrepareLibrary(sampleRate, error)) return false;
  if (loopback_) {
    if (!StartCapture(sampleRate, error)) return false;
    CatchUp();  // the time the device was closed is silence
    sampleRate = captureRate_;
    device_ = alcLoopbackOpenDeviceSOFT(nullptr);
    if (device_ == nullptr || alcIsRenderFormatSupportedSOFT(device_, sampleRate, ALC_STEREO_SOFT, ALC_SHORT_SOFT) == ALC_FALSE) {
      *error = "OpenAL cannot mix 16-bit stereo at " + std::to_string(sampleRate) + " Hz";
      Close();
      return false;
    }
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_SHORT_SOFT,
                                 ALC_FREQUENCY, sampleRate, ALC_HRTF_SOFT, ALC_FALSE, 0};
    context_ = alcCreateContext(device_, attributes);
  } else {
    device_ = alcOpenDevice(nullptr);
    if (device_ == nullptr) {
      *error = "no sound device can be opened";
      return false;
    }
    const ALCint attributes[] = {ALC_FREQUENCY, sampleRate, ALC_HRTF_SOFT, ALC_FALSE, 0};
    context_ = alcCreateContext(device_, attributes);
  }
  if (context_ == nullptr || alcMakeContextCurrent(context_) == ALC_FALSE) {
    *error = "the sound device refuses a context at " + std::to_string(sampleRate) + " Hz";
    Close();
    return false;
  }
  alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
  rolloff_ = 1.0f;
  return true;
}

void OpenAlAudio::Close() {
  CatchUp();
  if (context_ != nullptr) {
    for (const ALuint source : sources_) alSourceStop(source);
    if (!sources_.empty()) alDeleteSources(static_cast<ALsizei>(sources_.size()), sources_.data());
    if (!buffers_.empty()) alDeleteBuffers(static_cast<ALsizei>(buffers_.size()), buffers_.data());
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context_);
    context_ = nullptr;
  }
  sources_.clear();
  buffers_.clear();
  liveSources_.clear();
  liveBuffers_.clear();
  if (device_ != nullptr) alcCloseDevice(device_);
  device_ = nullptr;
  // The file is whole after every session, in case the process is stopped for good later.
  if (capture_ != nullptr) FinishCaptureHeader();
}

// [SECTION] Buffers and sources

AudioBuffer OpenAlAudio::CreateBuffer(const PcmFormat& format, const void* data, size_t bytes) {
  const bool valid = format.sampleRate > 0 && (format.bitsPerSample == 8 || format.bitsPerSample == 16) &&
                     (format.channels == 1 || format.channels == 2) && data != nullptr && bytes > 0 &&
                     bytes <= 0x7FFFFFFFu && bytes % static_cast<size_t>(format.bitsPerSample / 8 * format.channels) == 0;
  if (context_ == nullptr || !valid) return 0;
  CatchUp();
  alGetError();
  ALuint buffer = 0;
  alGenBuffers(1, &buffer);
  if (alGetError() != AL_NO_ERROR) return 0;
  alBufferData(buffer, AlFormat(format), data, static_cast<ALsizei>(bytes), format.sampleRate);
  if (alGetError() != AL_NO_ERROR) {
    alDeleteBuffers(1, &buffer);
    return 0;
  }
  buffers_.push_back(buffer);
  liveBuffers_.insert(buffer);
  return buffer;
}

void OpenAlAudio::DeleteBuffer(AudioBuffer buffer) {
  if (!LiveBuffer(buffer)) return;
  CatchUp();
  for (const ALuint source : sources_) {
    ALint attached = 0;
    alGetSourcei(source, AL_BUFFER, &attached);
    if (static_cast<ALuint>(attached) != buffer) continue;
    alSourceStop(source);
    alSourcei(source, AL_BUFFER, 0);
    liveSources_[source].started = false;
  }
  const ALuint name = buffer;
  alDeleteBuffers(1, &name);
  buffers_.erase(std::find(buffers_.begin(), buffers_.end(), buffer));
  liveBuffers_.erase(buffer);
}

AudioSource OpenAlAudio::CreateSource() {
  if (context_ == nullptr) return 0;
  CatchUp();
  alGetError();
  ALuint source = 0;
  alGenSources(1, &source);
  if (alGetError() != AL_NO_ERROR) return 0;
  alSourcef(source, AL_ROLLOFF_FACTOR, rolloff_);
  alSourcef(source, AL_REFERENCE_DISTANCE, 1.0f);
  alSourcef(source, AL_MAX_DISTANCE, 10000.0f);
  sources_.push_back(source);
  liveSources_[source] = SourceState{};
  return source;
}

void OpenAlAudio::DeleteSource(AudioSource source) {
  if (!LiveSource(source)) return;
  CatchUp();
  const ALuint name = source;
  alSourceStop(name);
  alDeleteSources(1, &name);
  sources_.erase(std::find(sources_.begin(), sources_.end(), source));
  liveSources_.erase(source);
}

void OpenAlAudio::SetBuffer(AudioSource source, AudioBuffer buffer) {
  SourceState* state = Live(source);
  if (state == nullptr || (buffer != 0 && !LiveBuffer(buffer))) return;
  CatchUp();
  alSourceStop(source);
  state->started = false;
  alSourcei(source, AL_BUFFER, static_cast<ALint>(buffer));
}

void OpenAlAudio::SetPosition(AudioSource source, Vec3 position) {
  if (!LiveSource(source)) return;
  CatchUp();
  ALfloat v[3];
  AlVector(position, v);
  alSourcefv(source, AL_POSITION, v);
}

void OpenAlAudio::SetVelocity(AudioSource source, Vec3 velocity) {
  if (!LiveSource(source)) return;
  CatchUp();
  ALfloat v[3];
  AlVector(velocity, v);
  alSourcefv(source, AL_VELOCITY, v);
}

void OpenAlAudio::SetGain(AudioSource source, float gain) {
  if (!LiveSource(source) || !(gain >= 0)) return;
  CatchUp();
  alSourcef(source, AL_GAIN, gain);
}

void OpenAlAudio::SetPitch(AudioSource source, float pitch) {
  if (!LiveSource(source) || !(pitch > 0)) return;
  CatchUp();
  alSourcef(source, AL_PITCH, pitch);
}

void OpenAlAudio::SetLooping(AudioSource source, bool looping) {
  SourceState* state = Live(source);
  if (state == nullptr) return;
  CatchUp();
  // A sound played once may have ended already: looping from now on does not start it again.
  if (looping && !state->looping && state->started) state->started = IsPlaying(source);
  alSourcei(source, AL_LOOPING, looping ? AL_TRUE : AL_FALSE);
  state->looping = looping;
}

void OpenAlAudio::SetDistances(AudioSource source, float minimum, float maximum) {
  if (!LiveSource(source) || !(minimum > 0) || !(maximum >= minimum)) return;
  CatchUp();
  alSourcef(source, AL_REFERENCE_DISTANCE, minimum);
  alSourcef(source, AL_MAX_DISTANCE, maximum);
}

void OpenAlAudio::SetRelative(AudioSource source, bool relative) {
  if (!LiveSource(source)) return;
  CatchUp();
  alSourcei(source, AL_SOURCE_RELATIVE, relative ? AL_TRUE : AL_FALSE);
}

void OpenAlAudio::Play(AudioSource source) {
  SourceState* state = Live(source);
  if (state == nullptr) return;
  CatchUp();
  ALint buffer = 0;
  alGetSourcei(source, AL_BUFFER, &buffer);
  if (buffer == 0) return;  // nothing to play: it stays stopped
  alSourcePlay(source);  // from the start, also when it was playing
  state->started = true;
}

void OpenAlAudio::Stop(AudioSource source) {
  SourceState* state = Live(source);
  if (state == nullptr) return;
  CatchUp();
  alSourceStop(source);
  state->started = false;
}

bool OpenAlAudio::IsPlaying(AudioSource source) const {
  SourceState* state = Live(source);
  if (state == nullptr || !state->started) return false;
  if (state->looping) return true;
  CatchUp();  // a sound played once ends as the mix reaches its end
  ALint playing = AL_STOPPED;
  alGetSourcei(source, AL_SOURCE_STATE, &playing);
  state->started = playing == AL_PLAYING;
  return state->started;
}

// [SECTION] Listener and batches

void OpenAlAudio::SetListener(Vec3 position, Vec3 velocity, Vec3 forward, Vec3 up) {
  if (context_ == nullptr) return;
  CatchUp();
  ALfloat p[3], v[3], o[6];
  AlVector(position, p);
  AlVector(velocity, v);
  AlVector(forward, o);
  AlVector(up, o + 3);
  alListenerfv(AL_POSITION, p);
  alListenerfv(AL_VELOCITY, v);
  alListenerfv(AL_ORIENTATION, o);
}

void OpenAlAudio::SetMasterGain(float gain) {
  if (context_ == nullptr || !(gain >= 0)) return;
  CatchUp();
  alListenerf(AL_GAIN, gain);
}

void OpenAlAudio::SetDopplerFactor(float factor) {
  if (context_ == nullptr || !(factor >= 0)) return;
  CatchUp();
  alDopplerFactor(factor);
}

// OpenAL keeps the rolloff per source: every source gets it, and so does every new one.
void OpenAlAudio::SetRolloffFactor(float factor) {
  if (context_ == nullptr || !(factor >= 0)) return;
  CatchUp();
  rolloff_ = factor;
  for (const ALuint source : sources_) alSourcef(source, AL_ROLLOFF_FACTOR, factor);
}

void OpenAlAudio::Defer() {
  if (context_ == nullptr) return;
  CatchUp();
  alDeferUpdatesSOFT();
}

void OpenAlAudio::Commit() {
  if (context_ == nullptr) return;
  CatchUp();
  alProcessUpdatesSOFT();
}

// [SECTION] Loopback capture

bool OpenAlAudio::StartCapture(int sampleRate, std::string* error) {
  if (capture_ != nullptr) return true;
  if (!outputError_.empty()) {
    *error = outputError_;
    return false;
  }
  capture_ = std::fopen(outPath_.c_str(), "wb");
  if (capture_ == nullptr) {
    outputError_ = "cannot write " + outPath_ + ": " + std::strerror(errno);
    *error = outputError_;
    return false;
  }
  captureRate_ = sampleRate;
  const std::array<uint8_t, 44> header = WavHeader(captureRate_, 2, 0);
  std::fwrite(header.data(), 1, header.size(), capture_);
  lastNow_ = clock_->Now();
  units_ = 0;
  written_ = 0;
  return true;
}

// Mixes (or, with no device open, writes silence) up to the clock's present: frame n of the file
// is the output at clock time start + n / rate.
void OpenAlAudio::CatchUp() const {
  if (capture_ == nullptr) return;
  const uint32_t now = clock_->Now();
  units_ += static_cast<uint32_t>(now - lastNow_);
  lastNow_ = now;
  const uint64_t target = units_ * static_cast<uint64_t>(captureRate_) / Clock::kUnitsPerSecond;
  constexpr uint64_t kChunkFrames = 4096;
  chunk_.resize(kChunkFrames * 2);
  while (written_ < target) {
    const auto frames = static_cast<size_t>(std::min(target - written_, kChunkFrames));
    if (device_ != nullptr && context_ != nullptr) {
      alcRenderSamplesSOFT(device_, chunk_.data(), static_cast<ALCsizei>(frames));
    } else {
      std::fill_n(chunk_.begin(), frames * 2, int16_t{0});
    }
    if (std::fwrite(chunk_.data(), 4, frames, capture_) != frames && outputError_.empty()) {
      outputError_ = "cannot write " + outPath_ + ": " + std::strerror(errno);
    }
    written_ += frames;
  }
}

void OpenAlAudio::FinishCaptureHeader() const {
  const std::array<uint8_t, 44> header = WavHeader(captureRate_, 2, written_);
  std::fflush(capture_);
  const long end = std::ftell(capture_);
  std::fseek(capture_, 0, SEEK_SET);
  std::fwrite(header.data(), 1, header.size(), capture_);
  std::fseek(capture_, end, SEEK_SET);
  if (std::fflush(capture_) != 0 && outputError_.empty()) {
    outputError_ = "cannot write " + outPath_ + ": " + std::strerror(errno);
  }
}

}  // namespace

std::unique_ptr<Audio> MakeOpenAlAudio(const Options& options, Clock* clock) {
  return std::make_unique<OpenAlAudio>(options, clock);
}

}  // namespace platform
