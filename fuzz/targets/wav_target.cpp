// Fuzz target body: WAV files walked and checked from memory, then mixed down to mono 16-bit.
// Calls engine (the WAV reader).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "targets.h"

namespace fuzzing {

std::string FuzzWav(const uint8_t* data, size_t size) {
  engine::WavFile wav;
  std::string error;
  if (!engine::ReadWav(data, size, &wav, &error)) {
    if (error.empty()) return "a refused file has no reason";
    return {};
  }
  if (wav.data < data + 12 || wav.dataBytes > size || wav.data + wav.dataBytes > data + size) {
    return "the samples lie outside the file";
  }
  if ((wav.channels != 1 && wav.channels != 2) || (wav.bits != 8 && wav.bits != 16) || wav.rate == 0 ||
      wav.blockAlign != wav.channels * wav.bits / 8 || !wav.IsPcm()) {
    return "an accepted format the engine does not play";
  }
  if (wav.dataBytes == 0 || wav.dataBytes % wav.blockAlign != 0) return "the samples are not whole frames";
  std::vector<int16_t> mono;
  engine::MonoSamples(wav, &mono);
  if (mono.size() != wav.Frames()) return "the mix-down has " + std::to_string(mono.size()) + " samples";
  // Each mixed sample lies between its channels, and a mono 16-bit file comes out as it is.
  for (size_t i = 0; i < mono.size(); ++i) {
    int first = 0, second = 0;
    const uint8_t* frame = wav.data + i * wav.blockAlign;
    if (wav.bits == 8) {
      first = (frame[0] - 128) * 256;
      second = wav.channels == 2 ? (frame[1] - 128) * 256 : first;
    } else {
      first = static_cast<int16_t>(frame[0] | frame[1] << 8);
      second = wav.channels == 2 ? static_cast<int16_t>(frame[2] | frame[3] << 8) : first;
    }
    if (mono[i] < std::min(first, second) || mono[i] > std::max(first, second)) {
      return "mixed sample " + std::to_string(i) + " is outside its channels";
    }
  }
  return {};
}

}  // namespace fuzzing
