// The element sound layer: the sound system's start, stop and restart, the element sounds, the
// nearest-sound list, placement and commit.
//
// [SECTION] Settings and rules
// [SECTION] Start, stop, restart
// [SECTION] Element sounds
// [SECTION] Element operations
// [SECTION] Placement and commit
// [SECTION] Dump
#include "engine/sound/sounds.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/scene/bridge.h"
#include "engine/sound/wav.h"

namespace engine {
namespace {

constexpr float kPositionUnits = 512000.0f;
constexpr float kVelocityUnits = 17067.0f;  // position units per tick of one metre a second
constexpr float kDopplerFactor = 1.2f;
constexpr float kRolloffFactor = 0.7f;
constexpr int32_t kSilence = -10000;  // 1/100 dB: -100 dB, the quietest volume a sound takes

// Sounds built into the program, looked up by name before the file: none ship, so every sound
// comes from its file.
struct BuiltInSound {
  const char* name;
  const uint8_t* bytes;
  size_t size;
};
constexpr std::array<BuiltInSound, 0> kBuiltInSounds{};

const BuiltInSound* FindBuiltInSound(std::string_view name) {
  for (const BuiltInSound& sound : kBuiltInSounds) {
    if (name == sound.name) return &sound;
  }
  return nullptr;
}

uint32_t Status(const int32_t* record) { return static_cast<uint32_t>(record[model::kWordStatus]); }
bool IsOn(const int32_t* record) { return (Status(record) & model::kStatusOn) != 0; }

platform::Vec3 Scaled(const int32_t* record, int firstWord, float units) {
  return {static_cast<float>(record[firstWord]) / units, static_cast<float>(record[firstWord + 1]) / units,
          static_cast<float>(record[firstWord + 2]) / units};
}

platform::Vec3 Unit(const int32_t v[3]) {
  return {static_cast<float>(v[0]) / 65536.0f, static_cast<float>(v[1]) / 65536.0f, static_cast<float>(v[2]) / 65536.0f};
}

float DistanceBetween(platform::Vec3 a, platform::Vec3 b) {
  const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return static_cast<float>(std::sqrt(dx * dx + dy * dy + dz * dz));
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

// [SECTION] Settings and rules

int32_t SoundOutputRate(int32_t sound) {
  constexpr int32_t kRates[] = {0, 11025, 22050, 44100};
  return kRates[sound >= 0 && sound <= 3 ? sound : 1];
}

int32_t SoundMixingOf(int32_t mixing) { return mixing >= 0 && mixing <= 3 ? mixing : 0; }

int32_t NearestCount(int32_t mixing) {
  constexpr int32_t kCounts[] = {0, 2, 4, 16};
  return kCounts[SoundMixingOf(mixing)];
}

// The product is taken in 64 bits: in 32 bits a large setting wraps (100000 x 22050 turns
// negative) and a fast sound would drop to the 100 Hz floor.
int32_t FrequencyOf(int32_t rateSetting, int32_t fileFrequency) {
  const int64_t frequency = (int64_t{rateSetting} * fileFrequency) >> 12;
  return static_cast<int32_t>(std::clamp<int64_t>(frequency, 100, 100000));
}

// Volumes are clamped rather than refused: a refused volume would leave the sound at full level,
// the opposite of what a very quiet setting asks for.
float VolumeGain(int32_t hundredths) {
  if (hundredths < kSilence) return 0.0f;
  if (hundredths >= 0) return 1.0f;
  return static_cast<float>(std::pow(10.0, hundredths / 2000.0));
}

SoundParameters ParseSoundParameters(std::string_view field) {
  SoundParameters p;
  p.rate = model::ParseInteger(model::ElementField(field, 1, '/'));
  p.minDistance = static_cast<float>(model::ParseThousandths(model::ElementField(field, 2, '/'))) / 1000.0f;
  p.mode = model::ParseInteger(model::ElementField(field, 4, '/'));
  p.volume = model::ParseInteger(model::ElementField(field, 5, '/'));
  return p;
}

// [SECTION] Start, stop, restart

ElementSounds::~ElementSounds() { Stop(); }

bool ElementSounds::Start(const SoundSources& sources) {
  Stop();
  sources_ = sources;
  remembered_.fill(false);
  StartSystem();
  CreateSounds();
  return on_;
}

// Start sound system: the device at the "Sound" rate with Doppler 1.2 and rolloff 0.7, released
// again at once for "Sound" 0. Any failure leaves sound off for the play.
bool ElementSounds::StartSystem() {
  on_ = false;
  rate_ = SoundOutputRate(sources_.sound);
  mixing_ = SoundMixingOf(sources_.mixing);
  nearest_.clear();
  for (Voice& voice : voices_) voice = Voice{};
  listenerPosition_ = {};
  listenerForward_ = {0, 0, 1};
  listenerUp_ = {0, 1, 0};
  listenerMoved_ = false;
  if (sources_.audio == nullptr || sources_.arena == nullptr) return false;
  std::string error;
  // "Sound" 0 opens the device at the lowest rate only to release it.
  if (!sources_.audio->Open(rate_ > 0 ? rate_ : SoundOutputRate(1), &error)) {
    std::fprintf(stderr, "main: no sound: %s; the play goes on without it\n", error.c_str());
    return false;
  }
  sources_.audio->SetDopplerFactor(kDopplerFactor);
  sources_.audio->SetRolloffFactor(kRolloffFactor);
  volume_ = 1.0f;
  savedVolume_ = 1.0f;
  sources_.audio->SetMasterGain(volume_);
  if (rate_ == 0) {
    sources_.audio->Close();
    return false;
  }
  on_ = true;
  return true;
}

void ElementSounds::Stop() {
  if (!on_) return;
  platform::Audio& audio = *sources_.audio;
  audio.SetMasterGain(savedVolume_);
  volume_ = savedVolume_;
  for (int32_t element = std::min(sources_.lastElement, kSoundElements - 1); element >= 0; --element) {
    Voice& voice = voices_[static_cast<size_t>(element)];
    remembered_[static_cast<size_t>(element)] = voice.source != 0 && audio.IsPlaying(voice.source);
    Release(&voice);
  }
  audio.Close();
  on_ = false;
  nearest_.clear();
}

void ElementSounds::Restart() {
  if (sources_.audio == nullptr) return;  // never started in this play
  Stop();
  const std::array<bool, kSoundElements> playing = remembered_;
  StartSystem();
  CreateSounds();
  for (int32_t element = std::min(sources_.lastElement, kSoundElements - 1); element >= 0; --element) {
    if (playing[static_cast<size_t>(element)]) Play(element);
  }
}

// [SECTION] Element sounds

int32_t* ElementSounds::Record(int32_t element) const {
  return sources_.arena->As<int32_t>(core::Region::kElementRecords) + element * model::kRecordWords;
}

ElementSounds::Voice* ElementSounds::VoiceOf(int32_t element) {
  if (!on_ || element < 0 || element >= kSoundElements) return nullptr;
  Voice& voice = voices_[static_cast<size_t>(element)];
  return voice.source != 0 ? &voice : nullptr;
}

const ElementSounds::Voice* ElementSounds::VoiceOf(int32_t element) const {
  return const_cast<ElementSounds*>(this)->VoiceOf(element);
}

void ElementSounds::Release(Voice* voice) {
  if (voice->source != 0) {
    sources_.audio->Stop(voice->source);
    sources_.audio->DeleteSource(voice->source);
  }
  if (voice->buffer != 0) sources_.audio->DeleteBuffer(voice->buffer);
  *voice = Voice{};
}

void ElementSounds::CreateSounds() {
  if (sources_.arena == nullptr) return;
  const int32_t last = std::min(sources_.lastElement, kSoundElements - 1);
  for (int32_t element = 0; element <= last; ++element) CreateSound(element);
}

// Create element sound. Every element's sound index is -1 first, also while sound is off.
void ElementSounds::CreateSound(int32_t element) {
  int32_t* record = Record(element);
  record[model::kWordSoundIndex] = -1;
  if (!on_ || sources_.records == nullptr || element >= static_cast<int32_t>(sources_.records->size())) return;
  const std::string& text = (*sources_.records)[static_cast<size_t>(element)];
  const std::string field = model::ElementField(text, 3);
  constexpr std::string_view kNoSound = "null_.wav";
  if (field.size() >= kNoSound.size() && field.compare(field.size() - kNoSound.size(), kNoSound.size(), kNoSound) == 0) {
    return;
  }
  std::string path;
  if (sources_.files != nullptr && !model::StoredFilePath(*sources_.files, field, &path)) {
    if (!field.empty() && field != "-") {
      std::fprintf(stderr, "main: the sound %s of element %d lies outside the working folder; it was treated as missing\n",
                   field.c_str(), element);
    }
    return;
  }
  if (sources_.files == nullptr) path = field;
  Voice& voice = voices_[static_cast<size_t>(element)];
  if (!Load(element, path, &voice)) {
    Release(&voice);
    return;
  }
  const SoundParameters parameters = ParseSoundParameters(model::ElementField(text, 39));
  record[model::kWordSoundIndex] = 0;
  uint32_t status = Status(record) & ~model::kStatusSoundMode;
  if ((parameters.mode & 1) != 0) status |= model::kStatusSoundMode;
  record[model::kWordStatus] = static_cast<int32_t>(status);
  record[model::kWordSampleRate] = parameters.rate;
  record[model::kWordSoundFrequency] = voice.fileRate;

  platform::Audio& audio = *sources_.audio;
  voice.frequency = FrequencyOf(parameters.rate, voice.fileRate);
  audio.SetPitch(voice.source, static_cast<float>(voice.frequency) / static_cast<float>(voice.fileRate));
  // A minimum distance of 0 or less would mute the sound at every distance: such a sound takes
  // the audio service's own default of 1 m.
  voice.minDistance = parameters.minDistance > 0 ? parameters.minDistance : 1.0f;
  voice.maxDistance = kSoundFullRange;
  voice.sentMaximum = kSoundFullRange;
  audio.SetDistances(voice.source, voice.minDistance, voice.maxDistance);
  voice.relative = mixing_ == 0;
  audio.SetRelative(voice.source, voice.relative);
  savedVolume_ = volume_;
  const int64_t volume = int64_t{parameters.volume} * 100;
  voice.volume = static_cast<int32_t>(std::clamp<int64_t>(volume, kSilence, 0));
  voice.gain = volume < kSilence ? 0.0f : VolumeGain(voice.volume);
  voice.sentGain = voice.gain;
  audio.SetGain(voice.source, voice.gain);
}

// The file (or a built-in sound of that name) read, walked and handed to the audio service: mono
// data as it is, stereo mixed down to mono, so that every sound can be placed.
bool ElementSounds::Load(int32_t element, const std::string& path, Voice* voice) {
  std::string bytes;
  if (const BuiltInSound* builtIn = FindBuiltInSound(path)) {
    bytes.assign(reinterpret_cast<const char*>(builtIn->bytes), builtIn->size);
  } else if (!core::FileExists(path)) {
    return false;  // a missing sound is silence, and no fault
  } else if (!core::ReadFile(path, &bytes)) {
    std::fprintf(stderr, "main: the sound %s of element %d cannot be read; it plays no sound\n", path.c_str(), element);
    return false;
  }
  if (sources_.scrambled) model::UnscrambleBytes(&bytes);
  WavFile wav;
  std::string error;
  if (!ReadWav(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &wav, &error)) {
    std::fprintf(stderr, "main: the sound %s of element %d is not played: %s\n", path.c_str(), element, error.c_str());
    return false;
  }
  if (wav.rate > 100000000u) {
    std::fprintf(stderr, "main: the sound %s of element %d is not played: a rate of %u frames per second\n",
                 path.c_str(), element, wav.rate);
    return false;
  }
  platform::Audio& audio = *sources_.audio;
  platform::PcmFormat format{static_cast<int>(wav.rate), wav.bits, 1};
  if (wav.channels == 1) {
    voice->buffer = audio.CreateBuffer(format, wav.data, wav.dataBytes);
  } else {
    // Mixed down where it lies: the bytes are this load's own.
    auto* mono = reinterpret_cast<int16_t*>(bytes.data() + (wav.data - reinterpret_cast<const uint8_t*>(bytes.data())));
    MonoSamples(wav, mono);
    format.bitsPerSample = 16;
    voice->buffer = audio.CreateBuffer(format, mono, wav.Frames() * sizeof(int16_t));
  }
  voice->source = voice->buffer != 0 ? audio.CreateSource() : 0;
  if (voice->source == 0) {
    std::fprintf(stderr, "main: the sound %s of element %d is not played: the sound device refused it\n", path.c_str(),
                 element);
    return false;
  }
  audio.SetBuffer(voice->source, voice->buffer);
  voice->fileRate = static_cast<int32_t>(wav.rate);
  return true;
}

// [SECTION] Element operations

bool ElementSounds::HasSound(int32_t element) const { return VoiceOf(element) != nullptr; }

bool ElementSounds::IsPlaying(int32_t element) const {
  const Voice* voice = VoiceOf(element);
  return voice != nullptr && sources_.audio->IsPlaying(voice->source);
}

void ElementSounds::PlaceAt(Voice* voice, const int32_t* record) {
  voice->position = Scaled(record, model::kWordPositionX, kPositionUnits);
  voice->velocity = Scaled(record, model::kWordVelocityX, kVelocityUnits);
}

void ElementSounds::Play(int32_t element) {
  Voice* voice = VoiceOf(element);
  if (voice == nullptr) return;
  platform::Audio& audio = *sources_.audio;
  const int32_t* record = Record(element);
  const bool once = (Status(record) & model::kStatusSoundMode) != 0;
  if (once) audio.Stop(voice->source);
  audio.SetLooping(voice->source, !once);
  audio.Play(voice->source);
  PlaceAt(voice, record);
  Commit();
}

void ElementSounds::StopElement(int32_t element) {
  Voice* voice = VoiceOf(element);
  if (voice != nullptr && IsOn(Record(element))) sources_.audio->Stop(voice->source);
}

void ElementSounds::SetOneShot(int32_t element, int32_t mode) {
  if (VoiceOf(element) == nullptr) return;
  int32_t* record = Record(element);
  uint32_t status = Status(record) & ~model::kStatusSoundMode;
  if ((mode & 1) != 0) status |= model::kStatusSoundMode;
  record[model::kWordStatus] = static_cast<int32_t>(status);
}

void ElementSounds::SetRate(int32_t element, int32_t rate) {
  Voice* voice = VoiceOf(element);
  if (voice == nullptr) return;
  int32_t* record = Record(element);
  record[model::kWordSampleRate] = rate;
  voice->frequency = FrequencyOf(rate, record[model::kWordSoundFrequency]);
  sources_.audio->SetPitch(voice->source, static_cast<float>(voice->frequency) / static_cast<float>(voice->fileRate));
}

void ElementSounds::SilenceAll() {
  if (!on_) return;
  for (const Voice& voice : voices_) {
    if (voice.source != 0) sources_.audio->Stop(voice.source);
  }
}

float ElementSounds::Mute() {
  const float before = volume_;
  if (on_) {
    volume_ = 0.0f;
    sources_.audio->SetMasterGain(volume_);
  }
  return before;
}

void ElementSounds::Unmute(float volume) {
  if (!on_) return;
  volume_ = volume;
  sources_.audio->SetMasterGain(volume_);
}

// [SECTION] Placement and commit

// The playing markers, then the list: the first N playing sounds in element order, after which
// each later one takes the place of the first listed sound that is farther away than itself.
size_t ElementSounds::BuildNearest(int32_t hearer) {
  nearest_.clear();
  const int32_t last = std::min(sources_.lastElement, kSoundElements - 1);
  platform::Audio& audio = *sources_.audio;
  int32_t playing = 0;
  for (int32_t element = 0; element <= last; ++element) {
    int32_t* record = Record(element);
    const size_t e = static_cast<size_t>(element);
    playing_[e] = false;
    if (!IsOn(record) || voices_[e].source == 0) continue;
    record[model::kWordSoundPlaying] = 0;
    if (audio.IsPlaying(voices_[e].source)) {
      playing_[e] = true;
      ++playing;
    } else {
      record[model::kWordSoundPlaying] = -1;
    }
  }
  const auto n = static_cast<size_t>(NearestCount(mixing_));
  if (playing == 0 || n == 0) return 0;
  const int32_t* listener = Record(hearer >= 0 && hearer < kSoundElements ? hearer : 0);
  for (int32_t element = 0; element <= last; ++element) {
    if (!playing_[static_cast<size_t>(element)]) continue;
    const int32_t* record = Record(element);
    int64_t distance = 0;
    for (int axis = 0; axis < 3; ++axis) {
      distance += std::abs(int64_t{record[model::kWordPositionX + axis]} - listener[model::kWordPositionX + axis]);
    }
    if (nearest_.size() < n) {
      nearest_.push_back({element, distance});
      continue;
    }
    for (NearSound& entry : nearest_) {
      if (entry.distance > distance) {
        entry = {element, distance};
        break;
      }
    }
  }
  return nearest_.size();
}

void ElementSounds::Place(int32_t hearer) {
  if (!on_ || BuildNearest(hearer) == 0) return;
  std::array<bool, kSoundElements> listed{};
  for (const NearSound& entry : nearest_) listed[static_cast<size_t>(entry.element)] = true;
  const int32_t* sine = sources_.arena->As<int32_t>(core::Region::kSineFine);
  const int32_t last = std::min(sources_.lastElement, kSoundElements - 1);
  for (int32_t element = 0; element <= last; ++element) {
    const int32_t* record = Record(element);
    if (!IsOn(record)) continue;
    if (element == hearer) {
      const FixedOrientation o = OrientationOf(sine, record);
      listenerPosition_ = Scaled(record, model::kWordPositionX, kPositionUnits);
      listenerForward_ = Unit(o.direction);
      listenerUp_ = Unit(o.up);
      listenerMoved_ = true;
    }
    Voice& voice = voices_[static_cast<size_t>(element)];
    if (voice.source == 0) continue;
    voice.maxDistance = listed[static_cast<size_t>(element)] ? kSoundFullRange : voice.minDistance;
    PlaceAt(&voice, record);
  }
}

// Only what changed since the last commit goes to the audio service, and only for sounds that
// play: a silent sound's place is heard by no one, and Play commits a sound's place as it starts
// it. A sound with 3D processing disabled stays where it is heard unchanged, at the listener.
void ElementSounds::Commit() {
  if (!on_) return;
  platform::Audio& audio = *sources_.audio;
  audio.Defer();
  if (listenerMoved_) {
    audio.SetListener(listenerPosition_, {}, listenerForward_, listenerUp_);
    listenerMoved_ = false;
  }
  for (Voice& voice : voices_) {
    if (voice.source == 0 || !audio.IsPlaying(voice.source)) continue;
    float gain = voice.gain;
    if (!voice.relative) {
      if (!(voice.position == voice.sentPosition)) {
        audio.SetPosition(voice.source, voice.position);
        voice.sentPosition = voice.position;
      }
      if (!(voice.velocity == voice.sentVelocity)) {
        audio.SetVelocity(voice.source, voice.velocity);
        voice.sentVelocity = voice.velocity;
      }
      if (DistanceBetween(voice.position, listenerPosition_) > voice.maxDistance) gain = 0.0f;
    }
    if (voice.maxDistance != voice.sentMaximum) {
      audio.SetDistances(voice.source, voice.minDistance, voice.maxDistance);
      voice.sentMaximum = voice.maxDistance;
    }
    if (gain != voice.sentGain) {
      audio.SetGain(voice.source, gain);
      voice.sentGain = gain;
    }
  }
  audio.Commit();
}

// [SECTION] Dump

std::string ElementSounds::Json(int32_t hearer) const {
  std::string json = std::string("{\"on\": ") + (on_ ? "true" : "false") + ", \"rate\": " + std::to_string(rate_) +
                     ", \"mixing\": " + std::to_string(mixing_) + ", \"hearer\": " + std::to_string(hearer) +
                     ", \"nearest\": [";
  for (size_t i = 0; i < nearest_.size(); ++i) json += (i == 0 ? "" : ", ") + std::to_string(nearest_[i].element);
  return json + "]}";
}

std::string ElementSounds::ElementJson(int32_t element) const {
  const Voice* voice = VoiceOf(element);
  if (voice == nullptr) return "null";
  return "{\"frequency\": " + std::to_string(voice->frequency) + ", \"min_distance\": " + Number(voice->minDistance) +
         ", \"max_distance\": " + Number(voice->maxDistance) + ", \"volume\": " + std::to_string(voice->volume) +
         ", \"mode\": " + (voice->relative ? "\"disabled\"" : "\"normal\"") +
         ", \"playing\": " + (sources_.audio->IsPlaying(voice->source) ? "true" : "false") + "}";
}

}  // namespace engine
