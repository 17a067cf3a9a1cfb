// The element sound layer: one positioned sound per element, made from the WAV file its record
// names; the listener at the hearer element; the nearest-sound list that keeps only the nearest
// playing sounds audible at full range; the start, stop and restart of the sound system. Calls the
// platform's audio service, the WAV reader, the model's records, record words and file paths, and
// the scene bridge's fixed-point orientation.
//
// Order of calls, once per play: Start (the device, then every element's sound in element order);
// per rendered frame Place (the end of the scene update) and Commit (the end of the frame); the
// element operations at any time; Stop when the play ends. While the sound system is off (never
// started, "Sound" 0, no device, or stopped) every operation does nothing and answers "no sound";
// Restart starts it again. Elements are indices 0..255; anything else does nothing.
//
// Units: positions of records in position units (512000 a metre) and velocities in position units
// per tick (17067 per metre a second); frequencies in Hz; volumes in 1/100 decibel; distances in
// metres.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/core.h"
#include "model/model.h"
#include "platform/platform.h"

namespace engine {

inline constexpr int kSoundElements = model::kMaxElements;
inline constexpr float kSoundFullRange = 1e8f;  // the maximum distance of every sound heard at full range
inline constexpr int32_t kRateSettingOwn = 4096;  // a rate setting that plays the file at its own rate

// The output rate of a "Sound" setting: 0 (no sound), 11025, 22050 or 44100 Hz. A setting outside
// 0..3 reads as 1.
int32_t SoundOutputRate(int32_t sound);
// A "SoundMixing" setting outside 0..3 reads as 0.
int32_t SoundMixingOf(int32_t mixing);
// How many of the nearest playing sounds stay audible at full range: 2, 4 or 16 for mixing 1, 2,
// 3; 0 (no list) for mixing 0.
int32_t NearestCount(int32_t mixing);
// The rate rule: (setting x file frequency) >> 12, taken in 64 bits, held within 100..100000 Hz.
int32_t FrequencyOf(int32_t rateSetting, int32_t fileFrequency);
// The linear gain of a volume in 1/100 dB: 10^(v / 2000); below -10000 silence, above 0 full.
float VolumeGain(int32_t hundredths);

// Field 39 of an element record, "/"-separated: the rate setting, the minimum distance (metres,
// with decimals), an item sound does not use, the mode (bit 0: played once) and the volume in
// whole decibels. A missing item reads 0.
struct SoundParameters {
  int32_t rate = 0;
  float minDistance = 0;
  int32_t mode = 0;
  int32_t volume = 0;
};
SoundParameters ParseSoundParameters(std::string_view field);

// What Start reads besides the element state records.
struct SoundSources {
  platform::Audio* audio = nullptr;
  core::Arena* arena = nullptr;  // the element state records and the fine sine table
  int32_t lastElement = -1;
  const std::vector<std::string>* records = nullptr;  // element records: fields 3 (file) and 39
  const model::ModelContext* files = nullptr;         // where a project's files may lie
  bool scrambled = false;  // a finished game stores its sound files scrambled
  int32_t sound = 1;       // the "Sound" and "SoundMixing" settings of config.ini
  int32_t mixing = 0;
};

// One entry of the nearest-sound list: an element and its distance |dx| + |dy| + |dz| to the
// hearer in position units.
struct NearSound {
  int32_t element = 0;
  int64_t distance = 0;
};

class ElementSounds {
 public:
  ElementSounds() = default;
  ~ElementSounds();
  ElementSounds(const ElementSounds&) = delete;
  ElementSounds& operator=(const ElementSounds&) = delete;

  // Start sound system, then create element sound for every element in order. Each element's
  // sound index (word 28) becomes -1, and 0 once its sound exists; its one-shot bit (0x10 of the
  // status word), rate setting (word 33) and file frequency (word 34) come from the record. A file
  // that cannot be played silences its element with one line on stderr. True when sound is on.
  bool Start(const SoundSources& sources);
  // Stop sound system: the primary volume put back, then from the last element to the first,
  // whether its sound was playing remembered and the sound released; the device last.
  void Stop();
  // Stop sound system when it runs, start it and make the sounds as Start does, then, from the
  // last element to the first, play again as Play does those that were playing when it stopped.
  void Restart();
  bool On() const { return on_; }

  // play_sound: a one-shot element (status bit 0x10) is stopped and played once from the start,
  // another played looping from the start; then it is placed at the record's position and velocity
  // and every deferred setting is committed.
  void Play(int32_t element);
  // stop_sound: stops the sound of an element that is on.
  void StopElement(int32_t element);
  bool IsPlaying(int32_t element) const;
  bool HasSound(int32_t element) const;
  // sound_mode_set: status bit 0x10 = mode & 1.
  void SetOneShot(int32_t element, int32_t mode);
  // samplerate_set: word 33 = rate; the frequency is the rate rule of it and word 34.
  void SetRate(int32_t element, int32_t rate);
  // Stops every element's sound.
  void SilenceAll();

  // Scene update: the nearest-sound list, and when it holds a sound, the listener at the hearer
  // (when it is on) with its fixed-point direction and up, and every sound of an element that is on
  // at its position and velocity, at full range when listed, else up to its minimum distance. Also
  // each sounding element's playing marker (word 29): 0 playing, -1 not. All deferred.
  void Place(int32_t hearer);
  // The deferred listener and playing sounds, applied together. A sound whose listener is farther
  // than its maximum distance is muted until it is in range again.
  void Commit();
  // The primary volume silenced (for a box that stops the play) and its value before; Unmute puts
  // a value back.
  float Mute();
  void Unmute(float volume);

  // The audio service's source of the element's sound; 0 without one.
  platform::AudioSource SourceOf(int32_t element) const {
    const Voice* voice = VoiceOf(element);
    return voice != nullptr ? voice->source : 0;
  }
  const std::vector<NearSound>& Nearest() const { return nearest_; }
  int32_t OutputRate() const { return rate_; }
  int32_t Mixing() const { return mixing_; }
  // {"on": ..., "rate": Hz, "mixing": n, "hearer": index, "nearest": [elements in list order]}.
  std::string Json(int32_t hearer) const;
  // null, or {"frequency": Hz, "min_distance": m, "max_distance": m, "volume": 1/100 dB, "mode":
  // "normal" | "disabled", "playing": bool}.
  std::string ElementJson(int32_t element) const;

 private:
  struct Voice {
    platform::AudioBuffer buffer = 0;
    platform::AudioSource source = 0;
    int32_t fileRate = 0;
    int32_t frequency = 0;
    float minDistance = 1;
    float maxDistance = kSoundFullRange;
    int32_t volume = 0;  // 1/100 dB, within -10000..0
    float gain = 1;
    bool relative = false;  // 3D processing disabled: heard at the listener
    platform::Vec3 position, velocity;
    // What the audio service was last given, so that a commit sends only changes.
    platform::Vec3 sentPosition, sentVelocity;
    float sentMaximum = kSoundFullRange;
    float sentGain = 1;
  };

  bool StartSystem();
  void CreateSounds();
  void CreateSound(int32_t element);
  bool Load(int32_t element, const std::string& path, Voice* voice);
  void Release(Voice* voice);
  int32_t* Record(int32_t element) const;
  Voice* VoiceOf(int32_t element);
  const Voice* VoiceOf(int32_t element) const;
  void PlaceAt(Voice* voice, const int32_t* record);
  size_t BuildNearest(int32_t hearer);

  SoundSources sources_;
  bool on_ = false;
  int32_t rate_ = 0;
  int32_t mixing_ = 0;
  float volume_ = 1;       // the primary volume now
  float savedVolume_ = 1;  // put back when the system stops
  std::array<Voice, kSoundElements> voices_{};
  std::array<bool, kSoundElements> remembered_{};  // playing when the system last stopped
  std::vector<NearSound> nearest_;
  // The listener as placed and as last given to the audio service.
  platform::Vec3 listenerPosition_, listenerForward_{0, 0, 1}, listenerUp_{0, 1, 0};
  bool listenerMoved_ = false;
  std::array<bool, kSoundElements> playing_{};  // scratch of the nearest-sound list
};

}  // namespace engine
