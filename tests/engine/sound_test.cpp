// The element sound layer on the null audio service: the rules of rate, volume and settings, the
// sounds made from element records, the nearest-sound list and its placement, play and stop, and
// the sound system's stop and restart.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/core.h"
#include "engine/engine.h"
#include "mkdata/mkdata.h"
#include "model/model.h"
#include "platform/platform.h"
#include "support/temp_folder.h"
#include "support/wav_bytes.h"

namespace {

using testing_support::Pcm16;
using testing_support::ToneWav;
using testing_support::WavChunk;
using testing_support::WavFmt;
using testing_support::WavRiff;

constexpr int32_t kMetre = 512000;

TEST(SoundRules, RateRuleVolumesAndSettings) {
  EXPECT_EQ(engine::FrequencyOf(4096, 22050), 22050);
  EXPECT_EQ(engine::FrequencyOf(0, 22050), 100);
  EXPECT_EQ(engine::FrequencyOf(2048, 11025), 5512);
  EXPECT_EQ(engine::FrequencyOf(-4096, 22050), 100);
  // In 32 bits 100000 x 22050 wraps negative and would give the 100 Hz floor.
  EXPECT_EQ(engine::FrequencyOf(100000, 22050), 100000);
  EXPECT_EQ(engine::FrequencyOf(16384, 22050), 88200);

  EXPECT_EQ(engine::VolumeGain(0), 1.0f);
  EXPECT_NEAR(engine::VolumeGain(-2000), 0.1f, 1e-6);
  EXPECT_NEAR(engine::VolumeGain(-10000), 1e-5f, 1e-9);
  EXPECT_EQ(engine::VolumeGain(-10001), 0.0f);
  EXPECT_EQ(engine::VolumeGain(300), 1.0f);

  const engine::SoundParameters standard = engine::ParseSoundParameters("4096/2/50/0");
  EXPECT_EQ(standard.rate, 4096);
  EXPECT_EQ(standard.minDistance, 2.0f);
  EXPECT_EQ(standard.mode, 0);
  EXPECT_EQ(standard.volume, 0);
  const engine::SoundParameters full = engine::ParseSoundParameters("8192/2.5/50/3/-20");
  EXPECT_EQ(full.rate, 8192);
  EXPECT_EQ(full.minDistance, 2.5f);
  EXPECT_EQ(full.mode, 3);
  EXPECT_EQ(full.volume, -20);

  EXPECT_EQ(engine::SoundOutputRate(0), 0);
  EXPECT_EQ(engine::SoundOutputRate(3), 44100);
  EXPECT_EQ(engine::SoundOutputRate(4), 11025);  // outside the table: the default 1
  EXPECT_EQ(engine::SoundOutputRate(-1), 11025);
  EXPECT_EQ(engine::SoundMixingOf(4), 0);
  EXPECT_EQ(engine::NearestCount(1), 2);
  EXPECT_EQ(engine::NearestCount(3), 16);
  EXPECT_EQ(engine::NearestCount(7), 0);
}

class SoundLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(arena.Create());
    const std::vector<uint8_t> sine = mkdata::FineSineTable();
    std::memcpy(arena.Host(core::Region::kSineFine), sine.data(), sine.size());
    files.workingFolder = folder.path();
    ASSERT_TRUE(core::MakeFolders(folder / "sounds"));
    Write("sounds/null_.wav", ToneWav(440, 22050, 0.1));
    Write("sounds/tone.wav", ToneWav(440, 22050, 0.5));
  }
  void Write(const std::string& relative, const std::string& bytes) {
    ASSERT_TRUE(core::WriteFileAtomic(folder / relative, bytes));
  }
  int32_t* Record(int element) { return arena.As<int32_t>(core::Region::kElementRecords) + element * 256; }
  // An element that is on, with field 3 `sound` (relative to the folder) and field 39 `parameters`,
  // at (x, y, z) metres.
  int Add(const std::string& sound, const std::string& parameters = "4096/2/50/0", double x = 0, double y = 0, double z = 0) {
    std::string record = "E|" + model::DefaultCameraRecord(files.workingFolder);
    record = model::SetElementField(record, 3, sound.empty() ? std::string() : files.workingFolder + sound);
    record = model::SetElementField(record, 39, parameters);
    records.push_back(record);
    const int element = static_cast<int>(records.size()) - 1;
    Record(element)[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
    Record(element)[model::kWordPositionX] = static_cast<int32_t>(x * kMetre);
    Record(element)[model::kWordPositionY] = static_cast<int32_t>(y * kMetre);
    Record(element)[model::kWordPositionZ] = static_cast<int32_t>(z * kMetre);
    return element;
  }
  bool Start(int32_t sound = 1, int32_t mixing = 0) {
    engine::SoundSources sources;
    sources.audio = &audio;
    sources.arena = &arena;
    sources.lastElement = static_cast<int32_t>(records.size()) - 1;
    sources.records = &records;
    sources.files = &files;
    sources.sound = sound;
    sources.mixing = mixing;
    return sounds.Start(sources);
  }
  const platform::NullAudio::Source* SourceOf(int element) { return audio.FindSource(sounds.SourceOf(element)); }
  std::string Handle(int element) { return std::to_string(sounds.SourceOf(element)); }

  testing_support::TempFolder folder;
  model::ModelContext files;
  std::vector<std::string> records;
  core::Arena arena;
  platform::NullAudio audio;
  engine::ElementSounds sounds;  // after the audio it uses
};

TEST_F(SoundLayer, EachElementsSoundComesFromItsRecord) {
  Write("sounds/stereo8.wav", WavRiff(WavChunk("fmt ", WavFmt(2, 11025, 8)) + WavChunk("data", std::string(200, '\x90'))));
  Write("sounds/fmt13.wav", WavRiff(WavChunk("fmt ", WavFmt(1, 22050, 16, 1, -1, 13)) + WavChunk("data", Pcm16({1, 2}))));
  const int none = Add("sounds/null_.wav");                       // exists, but names no sound
  const int tone = Add("sounds/tone.wav", "2048/3/50/1/-20");     // half rate, once, -20 dB
  const int missing = Add("sounds/gone.wav");
  const int broken = Add("sounds/fmt13.wav");
  const int stereo = Add("sounds/stereo8.wav", "4096/0/50/0/5");  // minimum 0, volume above 0 dB
  const int outside = Add("../outside.wav");
  Record(stereo)[model::kWordStatus] |= static_cast<int32_t>(model::kStatusSoundMode);
  for (int e = 0; e <= outside; ++e) Record(e)[model::kWordSoundIndex] = 7;

  testing::internal::CaptureStderr();
  ASSERT_TRUE(Start(2, 1));
  const std::string err = testing::internal::GetCapturedStderr();
  for (const int e : {none, missing, broken, outside}) {
    EXPECT_EQ(Record(e)[model::kWordSoundIndex], -1) << e;
    EXPECT_FALSE(sounds.HasSound(e)) << e;
  }
  // One line for the file that cannot be played and one for the path that leaves the folder;
  // nothing for the missing file.
  EXPECT_NE(err.find("fmt13.wav of element 3 is not played: the \"fmt \" chunk is 13 bytes long"), std::string::npos) << err;
  EXPECT_NE(err.find("outside.wav of element 5 lies outside the working folder"), std::string::npos) << err;
  EXPECT_EQ(err.find("gone.wav"), std::string::npos) << err;

  EXPECT_EQ(Record(tone)[model::kWordSoundIndex], 0);
  EXPECT_NE(Record(tone)[model::kWordStatus] & static_cast<int32_t>(model::kStatusSoundMode), 0);
  EXPECT_EQ(Record(tone)[model::kWordSampleRate], 2048);
  EXPECT_EQ(Record(tone)[model::kWordSoundFrequency], 22050);
  const platform::NullAudio::Source* s = SourceOf(tone);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->pitch, 0.5f);
  EXPECT_EQ(s->minDistance, 3.0f);
  EXPECT_EQ(s->maxDistance, 1e8f);
  EXPECT_NEAR(s->gain, 0.1f, 1e-6);
  EXPECT_FALSE(s->relative);
  EXPECT_FALSE(s->playing);
  EXPECT_EQ(audio.FindBuffer(s->buffer)->format, (platform::PcmFormat{22050, 16, 1}));
  EXPECT_EQ(sounds.ElementJson(tone),
            "{\"frequency\": 11025, \"min_distance\": 3, \"max_distance\": 1e+08, \"volume\": -2000, \"mode\": "
            "\"normal\", \"playing\": false}");

  // A stereo file is mixed down at load; a minimum distance of 0 becomes 1 m; mode 0 clears bit 4.
  s = SourceOf(stereo);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(audio.FindBuffer(s->buffer)->format, (platform::PcmFormat{11025, 16, 1}));
  EXPECT_EQ(audio.FindBuffer(s->buffer)->bytes, 200u);
  EXPECT_EQ(s->minDistance, 1.0f);
  EXPECT_EQ(s->gain, 1.0f);
  EXPECT_EQ(Record(stereo)[model::kWordStatus] & static_cast<int32_t>(model::kStatusSoundMode), 0);
  EXPECT_EQ(audio.sampleRate(), 22050);
  EXPECT_EQ(audio.listener().doppler, 1.2f);
  EXPECT_EQ(audio.listener().rolloff, 0.7f);
  EXPECT_EQ(sounds.Json(0), "{\"on\": true, \"rate\": 22050, \"mixing\": 1, \"hearer\": 0, \"nearest\": []}");
}

TEST_F(SoundLayer, MixingZeroPlaysWithout3dAndTheSettingsOutsideTheirTablesReadAsDefaults) {
  const int tone = Add("sounds/tone.wav");
  ASSERT_TRUE(Start(9, 5));
  EXPECT_EQ(audio.sampleRate(), 11025);
  EXPECT_EQ(sounds.Mixing(), 0);
  ASSERT_NE(SourceOf(tone), nullptr);
  EXPECT_TRUE(SourceOf(tone)->relative);
  // Without a list nothing is placed: the sound stays at the listener.
  Record(tone)[model::kWordPositionX] = 50 * kMetre;
  sounds.Play(tone);
  sounds.Place(0);
  sounds.Commit();
  EXPECT_EQ(SourceOf(tone)->position, (platform::Vec3{0, 0, 0}));
  EXPECT_EQ(SourceOf(tone)->gain, 1.0f);
  EXPECT_EQ(audio.log.Count("SetListener"), 0u);
}

TEST_F(SoundLayer, WithoutSoundEveryIndexIsMinusOneAndEveryOperationDoesNothing) {
  const int tone = Add("sounds/tone.wav");
  Record(tone)[model::kWordSoundIndex] = 0;
  EXPECT_FALSE(Start(0, 3));
  EXPECT_EQ(Record(tone)[model::kWordSoundIndex], -1);
  const std::vector<std::string> device = {"Open 11025", "SetDopplerFactor 1.2", "SetRolloffFactor 0.7",
                                           "SetMasterGain 1", "Close"};
  EXPECT_EQ(audio.log.Calls(), device);
  sounds.Play(tone);
  sounds.SetRate(tone, 8192);
  sounds.Place(0);
  sounds.Commit();
  EXPECT_FALSE(sounds.IsPlaying(tone));
  EXPECT_EQ(Record(tone)[model::kWordSampleRate], 0);
  EXPECT_EQ(audio.log.Calls(), device);
  EXPECT_EQ(sounds.Json(0), "{\"on\": false, \"rate\": 0, \"mixing\": 3, \"hearer\": 0, \"nearest\": []}");

  // No device at all: sound is off and the play goes on.
  audio.deviceAvailable = false;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(Start(2, 0));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("main: no sound: no sound device"), std::string::npos);
  EXPECT_EQ(Record(tone)[model::kWordSoundIndex], -1);
}

// Five playing sounds with mixing 1: the first two in element order are listed, then each later one
// replaces the first listed sound farther than itself. Element 1 is nearer than element 3, yet
// element 4 takes its place because it comes first in the list.
TEST_F(SoundLayer, TheNearestListFollowsItsReplacementRule) {
  const int hearer = Add("");
  Record(hearer)[model::kWordRotationY] = 46080;  // a quarter turn
  const int a = Add("sounds/tone.wav", "4096/2/50/0", 0, 0, 10);
  const int b = Add("sounds/tone.wav", "4096/2/50/0", 0, -30, 0);
  const int c = Add("sounds/tone.wav", "4096/2/50/0", 20, 0, 0);
  const int d = Add("sounds/tone.wav", "4096/2/50/0", 0, 0, -5);
  const int e = Add("sounds/tone.wav", "4096/2/50/0", -25, 0, 0);
  const int quiet = Add("sounds/tone.wav", "4096/2/50/0", 0, 0, 1);  // on, not playing
  const int off = Add("sounds/tone.wav", "4096/2/50/0", 0, 0, 1);    // playing, but off
  ASSERT_TRUE(Start(2, 1));
  for (const int element : {a, b, c, d, e, off}) sounds.Play(element);
  Record(off)[model::kWordStatus] = 0;
  Record(off)[model::kWordSoundPlaying] = 7;
  audio.log.Clear();

  sounds.Place(hearer);
  ASSERT_EQ(sounds.Nearest().size(), 2u);
  EXPECT_EQ(sounds.Nearest()[0].element, d);
  EXPECT_EQ(sounds.Nearest()[1].element, c);
  EXPECT_EQ(sounds.Nearest()[0].distance, 5 * kMetre);
  EXPECT_EQ(sounds.Json(hearer), "{\"on\": true, \"rate\": 22050, \"mixing\": 1, \"hearer\": 0, \"nearest\": [4, 3]}");
  EXPECT_EQ(Record(a)[model::kWordSoundPlaying], 0);
  EXPECT_EQ(Record(quiet)[model::kWordSoundPlaying], -1);
  EXPECT_EQ(Record(off)[model::kWordSoundPlaying], 7);  // elements that are off are not asked
  EXPECT_EQ(audio.log.Count("Defer"), 0u);             // placing is deferred to the commit

  sounds.Commit();
  EXPECT_EQ(audio.log.Count("Defer"), 1u);
  EXPECT_EQ(audio.log.Count("Commit"), 1u);
  // The listener stands at the hearer, turned as the scene turns it.
  const engine::FixedOrientation o =
      engine::OrientationOf(arena.As<int32_t>(core::Region::kSineFine), Record(hearer));
  EXPECT_EQ(audio.listener().forward, (platform::Vec3{o.direction[0] / 65536.0f, o.direction[1] / 65536.0f, o.direction[2] / 65536.0f}));
  EXPECT_NEAR(audio.listener().forward.x, -1.0f, 1e-3);
  // Listed sounds are heard at full range; the others only up to their minimum distance, beyond
  // which they are muted.
  for (const int listed : {c, d}) {
    EXPECT_EQ(SourceOf(listed)->maxDistance, 1e8f) << listed;
    EXPECT_EQ(SourceOf(listed)->gain, 1.0f) << listed;
  }
  for (const int unlisted : {a, b, e}) {
    EXPECT_EQ(SourceOf(unlisted)->maxDistance, 2.0f) << unlisted;
    EXPECT_EQ(SourceOf(unlisted)->gain, 0.0f) << unlisted;
  }
  EXPECT_EQ(SourceOf(b)->position, (platform::Vec3{0, -30, 0}));
  // An unlisted sound within its minimum distance is not muted; nor is the quiet one, which is not
  // listed either.
  EXPECT_EQ(SourceOf(quiet)->gain, 1.0f);

  // Once element 4 falls silent, element 1 keeps its place in the list and is heard again.
  audio.Stop(sounds.SourceOf(d));
  sounds.Place(hearer);
  sounds.Commit();
  ASSERT_EQ(sounds.Nearest().size(), 2u);
  EXPECT_EQ(sounds.Nearest()[0].element, a);
  EXPECT_EQ(sounds.Nearest()[1].element, c);
  EXPECT_EQ(SourceOf(a)->gain, 1.0f);
  EXPECT_EQ(SourceOf(a)->maxDistance, 1e8f);

  // Nothing playing: no list and nothing placed.
  for (const int element : {a, b, c, e}) sounds.StopElement(element);
  audio.log.Clear();
  Record(hearer)[model::kWordPositionX] = 3 * kMetre;
  sounds.Place(hearer);
  sounds.Commit();
  EXPECT_TRUE(sounds.Nearest().empty());
  EXPECT_EQ(audio.log.Count("SetListener"), 0u);
  EXPECT_EQ(Record(a)[model::kWordSoundPlaying], -1);
}

TEST_F(SoundLayer, PlayRestartsFromTheStartOnceOrLoopingAndPlacesTheSound) {
  const int loop = Add("sounds/tone.wav", "4096/2/50/0", 1, 2, 3);
  const int once = Add("sounds/tone.wav", "4096/2/50/1");
  ASSERT_TRUE(Start(2, 2));
  Record(loop)[model::kWordVelocityZ] = 17067;
  audio.log.Clear();
  sounds.Play(loop);
  sounds.Play(once);
  const std::string l = Handle(loop);
  const std::string o = Handle(once);
  const std::vector<std::string>& calls = audio.log.Calls();
  ASSERT_GE(calls.size(), 7u);
  EXPECT_EQ(calls[0], "SetLooping " + l + " 1");
  EXPECT_EQ(calls[1], "Play " + l);
  EXPECT_EQ(calls[2], "Defer");
  EXPECT_EQ(calls[3], "SetPosition " + l + " 1 2 3");
  EXPECT_EQ(calls[4], "SetVelocity " + l + " 0 0 1");
  const size_t stop = std::find(calls.begin(), calls.end(), "Stop " + o) - calls.begin();
  ASSERT_LT(stop + 2, calls.size());
  EXPECT_EQ(calls[stop + 1], "SetLooping " + o + " 0");
  EXPECT_EQ(calls[stop + 2], "Play " + o);
  EXPECT_TRUE(sounds.IsPlaying(loop));
  EXPECT_TRUE(sounds.IsPlaying(once));
  audio.Finish(sounds.SourceOf(once));
  EXPECT_FALSE(sounds.IsPlaying(once));

  // stop_sound needs the element on; the rate follows word 34 as the record holds it.
  Record(loop)[model::kWordStatus] = 0;
  sounds.StopElement(loop);
  EXPECT_TRUE(sounds.IsPlaying(loop));
  Record(loop)[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
  sounds.StopElement(loop);
  EXPECT_FALSE(sounds.IsPlaying(loop));
  sounds.SetRate(loop, 8192);
  EXPECT_EQ(Record(loop)[model::kWordSampleRate], 8192);
  EXPECT_EQ(SourceOf(loop)->pitch, 2.0f);
  Record(loop)[model::kWordSoundFrequency] = 11025;
  sounds.SetRate(loop, 8192);
  EXPECT_EQ(SourceOf(loop)->pitch, 1.0f);
  sounds.SetOneShot(loop, 3);
  EXPECT_NE(Record(loop)[model::kWordStatus] & static_cast<int32_t>(model::kStatusSoundMode), 0);
  sounds.SetOneShot(loop, 2);
  EXPECT_EQ(Record(loop)[model::kWordStatus] & static_cast<int32_t>(model::kStatusSoundMode), 0);
}

TEST_F(SoundLayer, StopRemembersWhatPlayedAndRestartPlaysItAgainFromTheLast) {
  const int first = Add("sounds/tone.wav", "4096/2/50/0");
  const int idle = Add("sounds/tone.wav", "4096/2/50/0");
  const int last = Add("sounds/tone.wav", "4096/2/50/1");
  ASSERT_TRUE(Start(3, 1));
  sounds.Play(first);
  sounds.Play(last);
  sounds.SetRate(first, 8192);
  const float volume = sounds.Mute();
  EXPECT_EQ(volume, 1.0f);
  EXPECT_EQ(audio.listener().gain, 0.0f);
  sounds.Unmute(volume);
  EXPECT_EQ(audio.listener().gain, 1.0f);
  sounds.Mute();
  audio.log.Clear();

  sounds.Stop();
  EXPECT_FALSE(sounds.On());
  EXPECT_EQ(audio.log.Calls().front(), "SetMasterGain 1");  // the volume saved when sounds were made
  EXPECT_EQ(audio.log.Calls().back(), "Close");
  EXPECT_EQ(audio.LiveSources(), 0u);
  EXPECT_EQ(audio.LiveBuffers(), 0u);
  sounds.Play(first);
  EXPECT_FALSE(sounds.IsPlaying(first));
  EXPECT_EQ(audio.log.Count("Play"), 0u);

  audio.log.Clear();
  sounds.Restart();
  ASSERT_TRUE(sounds.On());
  EXPECT_EQ(audio.LiveSources(), 3u);
  EXPECT_TRUE(sounds.IsPlaying(first));
  EXPECT_FALSE(sounds.IsPlaying(idle));
  EXPECT_TRUE(sounds.IsPlaying(last));
  // Made again as at play start: the rate setting is the record's again.
  EXPECT_EQ(Record(first)[model::kWordSampleRate], 4096);
  std::vector<std::string> plays;
  for (const std::string& call : audio.log.Calls()) {
    if (call.rfind("Play ", 0) == 0) plays.push_back(call);
  }
  EXPECT_EQ(plays, (std::vector<std::string>{"Play " + Handle(last), "Play " + Handle(first)}));

  // A restart while sound runs stops it first: one device at a time.
  audio.log.Clear();
  sounds.Restart();
  const std::vector<std::string>& calls = audio.log.Calls();
  const auto close = std::find(calls.begin(), calls.end(), "Close");
  const auto open = std::find(calls.begin(), calls.end(), "Open 44100");
  ASSERT_NE(close, calls.end());
  EXPECT_LT(close, open);
  EXPECT_TRUE(sounds.IsPlaying(first));
  EXPECT_TRUE(sounds.IsPlaying(last));
}

}  // namespace
