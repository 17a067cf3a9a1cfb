// What plays sound like, end to end: the real engine plays projects of tone elements headless with
// --audio-out, and the capture is measured tone by tone with a Goertzel filter: loudness by
// distance, the side a sound comes from, the rate setting's pitch, the nearest-sound limit, "Sound"
// 0, and the sound system stopped and restarted. The virtual clock mixes the capture frame-exact
// through a loopback device; one run checks the real-clock capture through OpenAL Soft's wave
// driver.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app.h"
#include "core/core.h"
#include "engine/engine.h"
#include "support/run_program.h"
#include "support/wav_bytes.h"
#include "support/work_folder.h"

namespace {

using testing_support::DumpWord;
using testing_support::ReadText;
using testing_support::RunProgram;
using testing_support::TestElement;
using testing_support::ToneAmplitude;
using testing_support::ToneWav;
using testing_support::WorkFolder;

constexpr const char* kTrackType = "9";  // an element with no aspect: only its sound
constexpr const char* kPlayAtStart = "if timer(element) = 0\r\nplay_sound(element)\r\nendif\r\n";

struct Capture {
  int rate = 0;
  std::vector<double> left, right;

  // Channel samples between two times in seconds.
  std::vector<double> Span(const std::vector<double>& channel, double from, double to) const {
    const auto first = static_cast<size_t>(from * rate);
    const auto last = std::min(channel.size(), static_cast<size_t>(to * rate));
    return first < last ? std::vector<double>(channel.begin() + static_cast<long>(first), channel.begin() + static_cast<long>(last))
                        : std::vector<double>();
  }
  double Left(double hertz, double from, double to) const { return ToneAmplitude(Span(left, from, to), hertz, rate); }
  double Right(double hertz, double from, double to) const { return ToneAmplitude(Span(right, from, to), hertz, rate); }
  double Both(double hertz, double from, double to) const { return (Left(hertz, from, to) + Right(hertz, from, to)) / 2; }
};

// The capture as the engine's own reader sees it: 16-bit stereo.
Capture ReadCapture(const std::string& path) {
  Capture capture;
  const std::string bytes = ReadText(path);
  engine::WavFile wav;
  std::string error;
  if (!engine::ReadWav(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &wav, &error)) {
    ADD_FAILURE() << path << ": " << error;
    return capture;
  }
  EXPECT_EQ(wav.channels, 2u);
  EXPECT_EQ(wav.bits, 16u);
  capture.rate = static_cast<int>(wav.rate);
  for (size_t i = 0; i < wav.Frames(); ++i) {
    const uint8_t* frame = wav.data + i * 4;
    capture.left.push_back(static_cast<int16_t>(frame[0] | frame[1] << 8));
    capture.right.push_back(static_cast<int16_t>(frame[2] | frame[3] << 8));
  }
  return capture;
}

// A test-play folder with config.ini asking for `sound` and `mixing`, and a tone file of each
// frequency in sounds/ (22050 Hz, looping cleanly over `seconds`).
class SoundFolder : public WorkFolder {
 public:
  SoundFolder(int32_t sound, int32_t mixing, const std::vector<int>& tones, double seconds = 1.0) : WorkFolder(1) {
    app::EngineSettings settings;
    settings.renderingDevice = 0;
    settings.sound = sound;
    settings.soundMixing = mixing;
    EXPECT_TRUE(app::WriteEngineSettings(*this / "config.ini", settings));
    for (const int hertz : tones) {
      EXPECT_TRUE(core::WriteFileAtomic(*this / ToneFile(hertz), ToneWav(hertz, 22050, seconds)));
    }
  }
  static std::string ToneFile(int hertz) { return "sounds/tone" + std::to_string(hertz) + ".wav"; }
};

// A sound element playing the tone from the first tick, at (x, 0, z) metres, with field 39 `parameters`.
TestElement ToneElement(int hertz, const std::string& x, const std::string& z, const std::string& parameters = "4096/2/50/0",
                        const std::string& brain = kPlayAtStart) {
  return {"Tone" + std::to_string(hertz),
          {{3, "./" + SoundFolder::ToneFile(hertz)}, {5, x}, {7, z}, {36, kTrackType}, {39, parameters}},
          brain};
}

TestElement Hearer(const std::string& brain = "") { return {"Camera", {}, brain}; }

testing_support::RunResult Play(const WorkFolder& folder, int ticks) {
  return RunProgram(VEXEL_MAIN_BINARY, {"--headless", "--ticks", std::to_string(ticks), "--audio-out", "out.wav", "--dump", "d.json"},
                    folder.path());
}

int32_t Global(const std::string& dump, int index) {
  size_t at = dump.find("\"globals\": [");
  if (at == std::string::npos) return INT32_MIN;
  at += 12;
  for (int i = 0; i < index; ++i) at = dump.find(',', at) + 1;
  return static_cast<int32_t>(std::strtol(dump.c_str() + at, nullptr, 10));
}

// Four tones in 3D with every sound listed (mixing 3): ahead at 4 m and at 8 m, 3 m to the right,
// and a 550 Hz file at twice its rate.
TEST(SoundPlay, DistanceSideAndRateAreHeard) {
  SoundFolder folder(2, 3, {440, 660, 880, 550});
  testing_support::WriteTestProject(folder, {Hearer(), ToneElement(440, "0", "4"), ToneElement(660, "0", "8"),
                                             ToneElement(880, "3", "0"), ToneElement(550, "0", "2", "8192/2/50/0")});
  const testing_support::RunResult run = Play(folder, 30);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Capture capture = ReadCapture(folder / "out.wav");
  ASSERT_EQ(capture.rate, 22050);  // the rate "Sound" 2 asks for
  EXPECT_NEAR(static_cast<double>(capture.left.size()), 22050.0, 22050.0 * 0.1);
  const double from = 0.2, to = 0.9;

  // Ahead: both channels alike.
  const double near = capture.Both(440, from, to);
  EXPECT_GT(near, 1000.0);
  EXPECT_NEAR(capture.Left(440, from, to) / capture.Right(440, from, to), 1.0, 0.05);
  // Beyond the minimum distance m the gain is m / (m + 0.7 (d - m)).
  const auto gain = [](double d) { return 2.0 / (2.0 + 0.7 * (d - 2.0)); };
  EXPECT_NEAR(capture.Both(660, from, to) / near, gain(8) / gain(4), 0.15 * gain(8) / gain(4));
  // To the right of a hearer facing +z: louder on the right.
  EXPECT_GT(capture.Right(880, from, to), 1.5 * capture.Left(880, from, to));
  // 8192 / 4096 doubles the pitch.
  EXPECT_GT(capture.Both(1100, from, to), 1000.0);
  EXPECT_LT(capture.Both(550, from, to), 0.02 * capture.Both(1100, from, to));

  const std::string dump = ReadText(folder / "d.json");
  EXPECT_NE(dump.find("\"sound\": {\"on\": true, \"rate\": 22050, \"mixing\": 3, \"hearer\": 0, \"nearest\": [1, 2, 3, 4]}"),
            std::string::npos);
  EXPECT_EQ(DumpWord(dump, model::kWordSoundFrequency, 4), 22050);
  EXPECT_EQ(DumpWord(dump, model::kWordSampleRate, 4), 8192);
  EXPECT_NE(dump.find("\"sound\": {\"frequency\": 44100, \"min_distance\": 2, \"max_distance\": 1e+08, \"volume\": 0, "
                      "\"mode\": \"normal\", \"playing\": true}"),
            std::string::npos);
}

// Mixing 1 keeps two sounds at full range: the third, farthest one is muted.
TEST(SoundPlay, WithMixingOneTheFarthestOfThreeIsSilent) {
  SoundFolder folder(1, 1, {440, 550, 660});
  testing_support::WriteTestProject(
      folder, {Hearer(), ToneElement(440, "0", "3"), ToneElement(550, "0", "5"), ToneElement(660, "0", "9")});
  const testing_support::RunResult run = Play(folder, 24);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Capture capture = ReadCapture(folder / "out.wav");
  ASSERT_EQ(capture.rate, 11025);
  const double from = 0.2, to = 0.75;
  EXPECT_GT(capture.Both(440, from, to), 1000.0);
  EXPECT_GT(capture.Both(550, from, to), 500.0);
  EXPECT_LT(capture.Both(660, from, to), 0.01 * capture.Both(550, from, to));
  const std::string dump = ReadText(folder / "d.json");
  EXPECT_NE(dump.find("\"nearest\": [1, 2]"), std::string::npos);
  EXPECT_NE(dump.find("\"max_distance\": 2, \"volume\": 0, \"mode\": \"normal\", \"playing\": true"), std::string::npos);
}

TEST(SoundPlay, SoundZeroPlaysNothingAndLeavesEverySoundIndexAtMinusOne) {
  SoundFolder folder(0, 3, {440});
  testing_support::WriteTestProject(folder, {Hearer(), ToneElement(440, "0", "3"), ToneElement(440, "0", "4")});
  const testing_support::RunResult run = Play(folder, 10);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string dump = ReadText(folder / "d.json");
  for (int element = 0; element < 3; ++element) {
    EXPECT_EQ(DumpWord(dump, model::kWordSoundIndex, element), -1) << element;
  }
  EXPECT_NE(dump.find("\"sound\": {\"on\": false, \"rate\": 0"), std::string::npos);
  EXPECT_EQ(dump.find("\"frequency\""), std::string::npos);
  // The device was opened and let go at once: the capture holds no sound at all.
  const std::string bytes = ReadText(folder / "out.wav");
  for (size_t i = 44; i + 1 < bytes.size(); i += 2) {
    ASSERT_LE(std::abs(static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8)), 2);
  }
}

// The hearer's brain stops the sound system at tick 10 and restarts it at tick 20. The looping
// 440 Hz sound plays from the start, is silent while sound is stopped, and plays again; the 660 Hz
// one-shot, started at tick 8 and playing at the stop, plays once more after the restart and then
// reports that it no longer plays. Brain run T happens (T - 4) / 30 s into the capture.
TEST(SoundPlay, StopAndRestartPlayAgainWhatWasPlaying) {
  SoundFolder folder(2, 3, {440, 660}, 0.5);
  const std::string hearer = "if timer(element) = 10\r\nstop_sound_system()\r\nendif\r\n"
                             "if timer(element) = 20\r\nrestart_sound_system()\r\nendif\r\n";
  const std::string once = "if timer(element) = 8\r\nplay_sound(element)\r\nendif\r\n"
                           "if timer(element) = 25\r\nglobal_set(1, sound_status(element))\r\nendif\r\n"
                           "global_set(0, sound_status(element))\r\n";
  testing_support::WriteTestProject(folder, {Hearer(hearer), ToneElement(440, "0", "3"),
                                             ToneElement(660, "0", "3", "4096/2/50/1", once)});
  const testing_support::RunResult run = Play(folder, 45);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Capture capture = ReadCapture(folder / "out.wav");
  ASSERT_EQ(capture.rate, 22050);
  const double playing = capture.Both(440, 0.02, 0.18);
  EXPECT_GT(playing, 1000.0);
  EXPECT_LT(capture.Both(440, 0.25, 0.5), 0.01 * playing);  // stopped
  EXPECT_LT(capture.Both(660, 0.25, 0.5), 0.01 * playing);
  EXPECT_NEAR(capture.Both(440, 0.6, 0.95), playing, 0.1 * playing);  // played again, looping
  EXPECT_GT(capture.Both(660, 0.6, 0.95), 0.5 * playing);              // the one-shot once more
  EXPECT_NEAR(capture.Both(440, 1.1, 1.45), playing, 0.1 * playing);
  EXPECT_LT(capture.Both(660, 1.1, 1.45), 0.01 * playing);            // and only once
  const std::string dump = ReadText(folder / "d.json");
  EXPECT_EQ(Global(dump, 1), -1);
  EXPECT_EQ(Global(dump, 0), 0);
}

// On the real clock the capture goes through OpenAL Soft's wave driver; vexel play passes the
// options on.
TEST(SoundPlay, RealClockCapturesThroughTheWaveDriver) {
  SoundFolder folder(2, 0, {440});
  testing_support::WriteTestProject(folder, {Hearer(), ToneElement(440, "0", "3")});
  const testing_support::RunResult run =
      RunProgram(VEXEL_VEXEL_BINARY,
                 {"play", "projects/myprj/default.prj", "--ticks", "15", "--real-clock", "--audio-out", "out.wav"},
                 folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  const Capture capture = ReadCapture(folder / "out.wav");
  ASSERT_EQ(capture.rate, 22050);
  ASSERT_GT(capture.left.size(), 22050u / 4);
  EXPECT_GT(capture.Both(440, 0.05, 0.25), 1000.0);
  EXPECT_LT(capture.Both(660, 0.05, 0.25), 100.0);
}

}  // namespace
