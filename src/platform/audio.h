// The audio service: what a back end provides for positional sound (buffers of PCM data, one
// source per sounding element, one listener). Contract only; back ends live in src/platform/.
//
// Order of calls: Open; buffers and sources made and changed in any order; Close last (it
// releases every buffer and source). Open again after Close starts afresh. Calls that name a
// handle that is not live, and every call while the device is closed, do nothing.
//
// Units: positions in metres and velocities in metres per second, in the engine's world
// coordinates (left-handed: x right, y up, z forward); gains linear, 1 = the level as recorded,
// 0 silent; pitch a factor, 1 = as recorded, 2 an octave up. Distances: within a source's minimum
// distance it plays at full gain; beyond it the gain falls as
// minimum / (minimum + rolloff * (distance - minimum)) up to the maximum distance, where it stops
// falling (it is not muted there: a caller that wants silence beyond it sets the gain).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Handles: 0 is never a live buffer or source, so a zeroed record means "none".
using AudioBuffer = uint32_t;
using AudioSource = uint32_t;

struct Vec3 {
  float x = 0, y = 0, z = 0;
  bool operator==(const Vec3&) const = default;
};

// Interleaved PCM samples: 8-bit unsigned or 16-bit signed little-endian, 1 or 2 channels.
struct PcmFormat {
  int sampleRate = 22050;  // frames per second
  int bitsPerSample = 16;  // 8 or 16
  int channels = 1;        // 1 or 2; only mono buffers are positioned in space
  bool operator==(const PcmFormat&) const = default;
};

class Audio {
 public:
  virtual ~Audio() = default;

  // Opens the output device: stereo, 16-bit, `sampleRate` frames per second. False with a message
  // when there is no usable device; the engine then plays on without sound.
  virtual bool Open(int sampleRate, std::string* error) = 0;
  // Releases every buffer and source and the device. Safe when nothing is open.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // "cannot write PATH: REASON" once an output file the options asked for could not be written.
  virtual std::string OutputError() const { return {}; }

  // Copies `bytes` bytes of samples into a new buffer (the caller keeps its data). 0 when the
  // format is not one of the above, the data is not a whole number of frames, or it is empty.
  virtual AudioBuffer CreateBuffer(const PcmFormat& format, const void* data, size_t bytes) = 0;
  // Sources that play the buffer are stopped and lose it first.
  virtual void DeleteBuffer(AudioBuffer buffer) = 0;

  // A new source: stopped, no buffer, at the origin, at rest, gain 1, pitch 1, not looping,
  // minimum distance 1, maximum distance 10000. 0 when no more sources can be made.
  virtual AudioSource CreateSource() = 0;
  virtual void DeleteSource(AudioSource source) = 0;
  // Stops the source and gives it the buffer (0: none).
  virtual void SetBuffer(AudioSource source, AudioBuffer buffer) = 0;
  virtual void SetPosition(AudioSource source, Vec3 position) = 0;
  virtual void SetVelocity(AudioSource source, Vec3 velocity) = 0;
  // Gain >= 0 and pitch > 0; other values are ignored.
  virtual void SetGain(AudioSource source, float gain) = 0;
  virtual void SetPitch(AudioSource source, float pitch) = 0;
  virtual void SetLooping(AudioSource source, bool looping) = 0;
  // Minimum and maximum distance (metres, 0 < minimum <= maximum); other values are ignored.
  virtual void SetDistances(AudioSource source, float minimum, float maximum) = 0;
  // A relative source is placed in the listener's space instead of the world: at (0, 0, 0) it is
  // heard as it is recorded, without attenuation, panning or Doppler shift.
  virtual void SetRelative(AudioSource source, bool relative) = 0;
  // Plays the buffer from its start (a playing source starts again).
  virtual void Play(AudioSource source) = 0;
  virtual void Stop(AudioSource source) = 0;
  // True from Play until the buffer ends (never, when looping) or Stop.
  virtual bool IsPlaying(AudioSource source) const = 0;

  // The listener: where the sound is heard, how it moves, and which way it faces (`forward` and
  // `up`, not necessarily unit length).
  virtual void SetListener(Vec3 position, Vec3 velocity, Vec3 forward, Vec3 up) = 0;
  // Overall gain of everything heard, 1 = unchanged; negative values are ignored.
  virtual void SetMasterGain(float gain) = 0;
  // How strongly relative motion shifts the pitch: 0 none, 1 as in air. Applies to every source;
  // negative values are ignored, as by SetRolloffFactor.
  virtual void SetDopplerFactor(float factor) = 0;
  // How fast the gain falls with distance beyond the minimum: 0 never, 1 as in air. Applies to
  // every source.
  virtual void SetRolloffFactor(float factor) = 0;

  // Changes of positions, velocities, gains, distances and the listener made after Defer are held
  // back and take effect together at Commit, so that the output never mixes half of them. Play,
  // Stop and the buffers are not held back.
  virtual void Defer() = 0;
  virtual void Commit() = 0;
};

}  // namespace platform
