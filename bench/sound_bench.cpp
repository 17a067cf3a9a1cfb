// Sound costs: the frame's sound step (nearest-sound list, placement, commit) for 256 sounding
// elements of which 64 play; loading a 10 MB WAV (walk, mix-down, upload) beside a plain copy of its
// data, and the chunk walk alone; and what mixing 16 looping 3D sounds adds to a real-clock play.
// Sounds go through OpenAL Soft's null driver, as in a headless run. Calls the engine's sound layer
// and WAV reader, the platform, core files, the temporary-folder helper and POSIX. Run from a
// release build with SDL_VIDEODRIVER=offscreen LP_NUM_THREADS=2.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/core.h"
#include "engine/engine.h"
#include "mkdata/mkdata.h"
#include "model/model.h"
#include "platform/platform.h"
#include "support/temp_folder.h"
#include "support/wav_bytes.h"
#include "child_run.h"


namespace {

constexpr int kElements = 256;
constexpr int kPlaying = 64;
constexpr int32_t kMetre = 512000;

// The OpenAL back end on its null driver, as a headless run has it.
std::unique_ptr<platform::Platform> HeadlessPlatform() {
  auto result = std::make_unique<platform::Platform>();
  platform::Options options;
  options.headless = true;
  options.virtualClock = true;
  std::string error;
  if (!result->Start(options, &error)) return nullptr;
  return result;
}

// 256 elements, each with a 0.2 s tone, spread over a 100 m square around the hearer (element 0),
// every fourth one playing, mixing 3: the list holds 16 of the 64.
struct SoundWorld {
  testing_support::TempFolder folder{"vexel-sound-bench"};
  std::unique_ptr<platform::Platform> platform = HeadlessPlatform();
  core::Arena arena;
  model::ModelContext files;
  std::vector<std::string> records;
  engine::ElementSounds sounds;
  bool ready = false;

  SoundWorld() {
    if (!platform || !arena.Create() || !folder.ok()) return;
    const std::vector<uint8_t> sine = mkdata::FineSineTable();
    std::memcpy(arena.Host(core::Region::kSineFine), sine.data(), sine.size());
    files.workingFolder = folder.path();
    if (!core::WriteFileAtomic(folder / "tone.wav", testing_support::ToneWav(440, 22050, 0.2))) return;
    int32_t* words = arena.As<int32_t>(core::Region::kElementRecords);
    for (int e = 0; e < kElements; ++e) {
      std::string record = "E|" + model::DefaultCameraRecord(folder.path());
      records.push_back(model::SetElementField(record, 3, folder / "tone.wav"));
      int32_t* w = words + e * model::kRecordWords;
      w[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn | model::kStatusVisible);
      w[model::kWordPositionX] = (e % 16 - 8) * 6 * kMetre;
      w[model::kWordPositionZ] = (e / 16 - 8) * 6 * kMetre;
      w[model::kWordVelocityX] = 17067;
    }
    engine::SoundSources sources;
    sources.audio = platform->audio.get();
    sources.arena = &arena;
    sources.lastElement = kElements - 1;
    sources.records = &records;
    sources.files = &files;
    sources.sound = 3;
    sources.mixing = 3;
    if (!sounds.Start(sources)) return;
    for (int e = 0; e < kElements; e += kElements / kPlaying) sounds.Play(e);
    ready = true;
  }
  // One tick of motion: every element moves on by its velocity, the hearer turns.
  void Move() {
    int32_t* words = arena.As<int32_t>(core::Region::kElementRecords);
    for (int e = 0; e < kElements; ++e) words[e * model::kRecordWords + model::kWordPositionX] += 17067;
    words[model::kWordRotationY] += 512;
  }
};

void BM_SoundFrame(benchmark::State& state) {
  SoundWorld world;
  if (!world.ready) {
    state.SkipWithError("no sound world");
    return;
  }
  const bool moving = state.range(0) != 0;
  for (auto _ : state) {
    if (moving) world.Move();
    world.sounds.Place(0);
    world.sounds.Commit();
  }
  state.counters["listed"] = static_cast<double>(world.sounds.Nearest().size());
}
BENCHMARK(BM_SoundFrame)->Arg(0)->Arg(1)->ArgName("moving")->Unit(benchmark::kMicrosecond);

// A 10 MB file of 16-bit samples, mono or stereo, with a LIST chunk in front as editors write.
std::string BigWav(int channels) {
  const size_t bytes = 10u << 20;
  std::string samples(bytes, '\0');
  for (size_t i = 0; i + 1 < bytes; i += 2) {
    const auto v = static_cast<int16_t>(8000 * std::sin(static_cast<double>(i) * 0.01));
    samples[i] = static_cast<char>(v & 0xFF);
    samples[i + 1] = static_cast<char>(v >> 8);
  }
  using namespace testing_support;
  return WavRiff(WavChunk("LIST", std::string(26, 'x')) + WavChunk("fmt ", WavFmt(static_cast<uint16_t>(channels), 44100, 16)) +
                 WavChunk("data", samples));
}

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// The element sound's load steps after the file is read into memory: walk and check, the mix-down
// of a stereo file where it lies, upload into the audio service (which copies), and the buffer let
// go again. Each load gets a fresh copy of the file, made outside the timing, as each load reads
// its own.
void BM_WavLoad(benchmark::State& state) {
  const std::string file = BigWav(static_cast<int>(state.range(0)));
  const std::unique_ptr<platform::Platform> platform = HeadlessPlatform();
  std::string error;
  if (!platform || !platform->audio->Open(44100, &error)) {
    state.SkipWithError(("no sound device: " + error).c_str());
    return;
  }
  std::string bytes;
  for (auto _ : state) {
    state.PauseTiming();
    bytes = file;
    state.ResumeTiming();
    engine::WavFile wav;
    if (!engine::ReadWav(Bytes(bytes), bytes.size(), &wav, &error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    platform::AudioBuffer buffer = 0;
    if (wav.channels == 1) {
      buffer = platform->audio->CreateBuffer({static_cast<int>(wav.rate), 16, 1}, wav.data, wav.dataBytes);
    } else {
      auto* mono = reinterpret_cast<int16_t*>(bytes.data() + (wav.data - Bytes(bytes)));
      engine::MonoSamples(wav, mono);
      buffer = platform->audio->CreateBuffer({static_cast<int>(wav.rate), 16, 1}, mono, wav.Frames() * 2);
    }
    benchmark::DoNotOptimize(buffer);
    platform->audio->DeleteBuffer(buffer);
  }
  platform->audio->Close();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_WavLoad)->Arg(1)->Arg(2)->ArgName("channels")->Unit(benchmark::kMillisecond);

// The yardstick: the same data copied into a fresh buffer.
void BM_WavPlainCopy(benchmark::State& state) {
  const std::string file = BigWav(1);
  for (auto _ : state) {
    std::vector<uint8_t> copy(Bytes(file) + 44, Bytes(file) + file.size());
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_WavPlainCopy)->Unit(benchmark::kMillisecond);

void BM_WavWalk(benchmark::State& state) {
  const std::string file = BigWav(2);
  engine::WavFile wav;
  std::string error;
  for (auto _ : state) {
    benchmark::DoNotOptimize(engine::WalkWav(Bytes(file), file.size(), &wav, &error));
  }
}
BENCHMARK(BM_WavWalk)->Unit(benchmark::kNanosecond);

// [SECTION] Mixing cost of a real-clock play

// A test-play folder: the skeleton with a hearer and 16 looping tones around it, at "Sound" 3
// (44100 Hz) and mixing 3, or "Sound" 0.
bool WritePlayFolder(const testing_support::TempFolder& folder, int32_t sound, std::string* error) {
  std::error_code code;
  std::filesystem::copy(VEXEL_GAME_DIR, folder.path(), std::filesystem::copy_options::recursive, code);
  if (code) {
    *error = "cannot copy the skeleton: " + code.message();
    return false;
  }
  std::string skeleton;
  core::ReadFile(folder / "projects/myprj/default.prj", &skeleton);
  size_t at = 0;
  std::string_view line;
  std::vector<std::string> lines;
  while (core::NextLine(skeleton, &at, &line)) lines.emplace_back(line);
  if (lines.size() < 4) {
    *error = "the skeleton project is not what this benchmark expects";
    return false;
  }
  const std::string camera = lines[2];
  std::string text = ";sounds\r\n17\r\n" + camera + "\r\n";
  std::string brains = "@0\r\n";
  for (int i = 1; i <= 16; ++i) {
    const std::string file = "sounds/tone" + std::to_string(i) + ".wav";
    core::WriteFileAtomic(folder / file, testing_support::ToneWav(200 + 50 * i, 22050, 1.0));
    std::string record = model::SetElementField(camera, 1, "Tone" + std::to_string(i));
    record = model::SetElementField(record, 3, "./" + file);
    record = model::SetElementField(record, 5, std::to_string((i % 4) * 3 - 4));
    record = model::SetElementField(record, 7, std::to_string((i / 4) * 3 - 4));
    record = model::SetElementField(record, 36, "9");
    text += record + "\r\n";
    brains += "@" + std::to_string(i) + "\r\nif timer(element) = 0\r\nplay_sound(element)\r\nendif\r\n";
  }
  text += lines[3] + "\r\n" + brains;
  core::ProfileFile config;
  config.SetStructInt("User-Modifiable Engine Settings", "RenderingDevice", 0);
  config.SetStructInt("User-Modifiable Engine Settings", "Sound", sound);
  config.SetStructInt("User-Modifiable Engine Settings", "SoundMixing", 3);
  if (!core::WriteFileAtomic(folder / "projects/myprj/default.prj", text) || !config.Save(folder / "config.ini") ||
      !core::WriteFileAtomic(folder / "runmode.ini", "projects/myprj/default.prj\r\n1\r\n0\r\n0\r\n0\r\n")) {
    *error = "cannot write the play folder";
    return false;
  }
  return true;
}

// The CPU seconds (user + system) of one run of the engine in `folder`; negative when it failed.
double ChildCpuSeconds(const std::string& folder, const std::vector<std::string>& args) {
  const bench_support::ChildRun run = bench_support::RunChild(VEXEL_MAIN_BINARY, args, folder, 120);
  return run.error.empty() && run.exitCode == 0 ? run.cpuSeconds : -1;
}

// Ten seconds of real-clock play with 16 looping sounds at 44100 Hz, and the same play with
// "Sound" 0: the difference of their CPU time, as a share of one core over the ten seconds. The
// two plays alternate, `pairs` times; the figure is the median difference, since the rendering
// both plays do varies by more than the mixing costs on a busy machine.
void BM_MixingCost(benchmark::State& state) {
  testing_support::TempFolder sounding{"vexel-sound-mix"}, silent{"vexel-sound-silent"};
  std::string error;
  if (!WritePlayFolder(sounding, 3, &error) || !WritePlayFolder(silent, 0, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  const double seconds = static_cast<double>(state.range(0));
  const auto pairs = static_cast<int>(state.range(1));
  const std::vector<std::string> args{"--headless", "--real-clock", "--ticks", std::to_string(state.range(0) * 30),
                                      "--dump", "d.json"};
  std::vector<double> withSound, without, difference;
  for (auto _ : state) {
    for (int pair = 0; pair < pairs; ++pair) {
      withSound.push_back(ChildCpuSeconds(sounding.path(), args));
      without.push_back(ChildCpuSeconds(silent.path(), args));
      difference.push_back(withSound.back() - without.back());
    }
  }
  if (*std::min_element(withSound.begin(), withSound.end()) < 0 || *std::min_element(without.begin(), without.end()) < 0) {
    state.SkipWithError("the engine did not finish its play");
    return;
  }
  // The figures compare what they claim to: sixteen sounds playing, and none.
  std::string sounded, silence;
  core::ReadFile(sounding / "d.json", &sounded);
  core::ReadFile(silent / "d.json", &silence);
  if (sounded.find("\"on\": true, \"rate\": 44100, \"mixing\": 3, \"hearer\": 0, \"nearest\": [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, "
                   "11, 12, 13, 14, 15, 16]") == std::string::npos ||
      silence.find("\"on\": false") == std::string::npos) {
    state.SkipWithError("the plays did not sound as set up");
    return;
  }
  const auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  state.counters["cpu_sound_s"] = median(withSound);
  state.counters["cpu_silent_s"] = median(without);
  state.counters["mixing_percent_of_core"] = 100.0 * median(difference) / seconds;
}
BENCHMARK(BM_MixingCost)->Args({10, 5})->ArgNames({"seconds", "pairs"})->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
