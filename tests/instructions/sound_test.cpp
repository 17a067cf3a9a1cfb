// Sound instructions called as brain code calls them, on the null audio service: their binding to
// the sound layer, the sound steps of `on` and `off`, the hearer, and arguments that name nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/core.h"
#include "instructions/routine_fixture.h"
#include "model/model.h"
#include "platform/platform.h"
#include "state/state.h"
#include "support/temp_folder.h"
#include "support/wav_bytes.h"

namespace {

constexpr uint32_t kFrameHandle = 0x80000003u;

class SoundInstructions : public testing_support::RoutineTest {
 protected:
  void SetUp() override {
    RoutineTest::SetUp();
    audio = dynamic_cast<platform::NullAudio*>(engine.platform.audio.get());
    ASSERT_NE(audio, nullptr);
    engine.model.workingFolder = folder.path();
    ASSERT_TRUE(core::WriteFileAtomic(folder / "tone.wav", testing_support::ToneWav(440, 22050, 0.25)));
    for (int e = 0; e < 3; ++e) {
      std::string record = "E|" + model::DefaultCameraRecord(folder.path());
      if (e > 0) record = model::SetElementField(record, 3, folder / "tone.wav");
      engine.project.records.push_back(record);
      Record(e)[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
    }
    engine::SoundSources sources;
    sources.audio = audio;
    sources.arena = &arena;
    sources.lastElement = 2;
    sources.records = &engine.project.records;
    sources.files = &engine.model;
    sources.sound = 2;
    sources.mixing = 1;
    ASSERT_TRUE(engine.play->sounds.Start(sources));
  }
  bool Playing(int element) { return audio->IsPlaying(engine.play->sounds.SourceOf(element)); }

  testing_support::TempFolder folder;
  platform::NullAudio* audio = nullptr;
};

TEST_F(SoundInstructions, RoutinesReachTheElementsSound) {
  EXPECT_EQ(Call("sound_status", Address(1)), 0);
  EXPECT_EQ(Call("play_sound", Address(1)), 0);
  EXPECT_TRUE(Playing(1));
  EXPECT_EQ(Call("sound_status", Address(1)), -1);
  EXPECT_EQ(Call("stop_sound", Address(1)), 0);
  EXPECT_EQ(Call("sound_status", Address(1)), 0);

  Call("samplerate_set", Address(2), 2048);
  EXPECT_EQ(Record(2)[model::kWordSampleRate], 2048);
  EXPECT_EQ(audio->FindSource(engine.play->sounds.SourceOf(2))->pitch, 0.5f);
  Call("sound_mode_set", Address(2), 1);
  EXPECT_NE(Record(2)[model::kWordStatus] & static_cast<int32_t>(model::kStatusSoundMode), 0);

  // An element without a sound, and arguments that name no element, answer 0 and change nothing.
  EXPECT_EQ(Call("play_sound", Address(0)), 0);
  EXPECT_EQ(Call("sound_status", kFrameHandle), 0);
  EXPECT_EQ(Call("samplerate_set", 0, 8192), 0);
  EXPECT_NE(Fault("play_sound", Address(1) + 4), "");

  Call("play_sound", Address(1));
  Call("stop_sound_system");
  EXPECT_FALSE(engine.play->sounds.On());
  EXPECT_EQ(Call("sound_status", Address(1)), 0);
  Call("restart_sound_system");
  EXPECT_TRUE(engine.play->sounds.On());
  EXPECT_EQ(Call("sound_status", Address(1)), -1);
}

TEST_F(SoundInstructions, OnStartsTheSoundAndOffStopsItUnlessTheBrainKeepsIt) {
  Record(1)[model::kWordStatus] = 0;
  Call("on", Address(1));
  EXPECT_TRUE(Playing(1));
  Call("off", Address(1));
  EXPECT_FALSE(Playing(1));
  // With status bit 4 the sound is the brain's: switching off leaves it playing.
  Call("on", Address(1));
  Call("sound_mode_set", Address(1), 1);
  Call("play_sound", Address(1));
  Call("off", Address(1));
  EXPECT_TRUE(Playing(1));
  // stop_sound stops only the sound of an element that is on.
  Call("stop_sound", Address(1));
  EXPECT_TRUE(Playing(1));
}

TEST_F(SoundInstructions, TheHearerIsTheElementsIndexAndSurvivesARestart) {
  Call("hearer", Address(2));
  EXPECT_EQ(engine.listener, 2);
  Call("listener", kFrameHandle);  // names nothing: the hearer stays
  EXPECT_EQ(engine.listener, 2);
  Call("restart_sound_system");
  EXPECT_EQ(engine.listener, 2);
  engine.play->sounds.Stop();
  Call("listener", Address(1));  // kept while sound is off too: saved games store it
  EXPECT_EQ(engine.listener, 1);
}

}  // namespace
