// The WAV reader: chunk walk, format check, mono 16-bit samples. Calls only the C++ library.
#include "engine/sound/wav.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace engine {
namespace {

// 16-bit samples are copied as the file stores them, little-endian, which is the machine's order.
static_assert(std::endian::native == std::endian::little);

uint16_t Get16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }
uint32_t Get32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
         static_cast<uint32_t>(at[3]) << 24;
}

// The GUID of the PCM sub-format after its first two bytes (00000001-0000-0010-8000-00AA00389B71).
constexpr uint8_t kPcmGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

void ReadFmt(const uint8_t* chunk, uint32_t length, WavFile* out) {
  out->format = Get16(chunk);
  out->channels = Get16(chunk + 2);
  out->rate = Get32(chunk + 4);
  out->blockAlign = Get16(chunk + 12);
  // Without the bits field the frame says it: block align shared by the channels.
  if (length >= 16) out->bits = Get16(chunk + 14);
  else out->bits = out->channels == 0 ? 0 : static_cast<uint16_t>(out->blockAlign / out->channels * 8);
  out->subFormat = 0;
  if (out->format == kWaveFormatExtensible && length >= 40 && std::memcmp(chunk + 26, kPcmGuidTail, 14) == 0) {
    out->subFormat = Get16(chunk + 24);
  }
}

// Stereo 16-bit frames to their mean, rounded down. With `in` and `out` apart the compiler's
// vectorised loop runs (it checks for overlap itself).
void MixPairs(const uint8_t* in, int16_t* out, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    int32_t frame;
    std::memcpy(&frame, in + 4 * i, 4);
    const int32_t left = static_cast<int32_t>(static_cast<uint32_t>(frame) << 16) >> 16;
    const auto mean = static_cast<int16_t>((left + (frame >> 16)) >> 1);
    std::memcpy(out + i, &mean, 2);
  }
}

}  // namespace

bool WavFile::IsPcm() const {
  return format == kWaveFormatPcm || (format == kWaveFormatExtensible && subFormat == kWaveFormatPcm);
}

bool WalkWav(const uint8_t* bytes, size_t size, WavFile* out, std::string* error) {
  *out = WavFile{};
  if (size < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0) {
    *error = "not a RIFF WAVE file";
    return false;
  }
  // Offsets are 64-bit: a size near 2^32 added to an offset must not wrap round to the start.
  const uint64_t riffEnd = 8 + uint64_t{Get32(bytes + 4)};
  const uint64_t end = std::min<uint64_t>(riffEnd, size);
  bool haveFmt = false;
  bool haveData = false;
  uint64_t at = 12;
  while (at < end && at + 8 <= size && !(haveFmt && haveData)) {
    const uint8_t* chunk = bytes + at;
    const uint32_t length = Get32(chunk + 4);
    if (length == 0xFFFFFFFFu) break;
    const uint64_t body = at + 8;
    const uint64_t present = std::min<uint64_t>(length, size - body);
    if (std::memcmp(chunk, "fmt ", 4) == 0 && !haveFmt) {
      if (length < kWaveMinimumFmtBytes) {
        *error = "the \"fmt \" chunk is " + std::to_string(length) + " bytes long, fewer than 14";
        return false;
      }
      if (present < kWaveMinimumFmtBytes) {
        *error = "the file ends inside the \"fmt \" chunk";
        return false;
      }
      ReadFmt(bytes + body, static_cast<uint32_t>(present), out);
      haveFmt = true;
    } else if (std::memcmp(chunk, "data", 4) == 0 && !haveData) {
      out->data = bytes + body;
      out->dataBytes = static_cast<size_t>(present);
      haveData = true;
    }
    at = body + ((uint64_t{length} + 1) & ~uint64_t{1});
  }
  if (!haveFmt || !haveData) {
    *error = !haveFmt ? "no \"fmt \" chunk" : "no \"data\" chunk";
    return false;
  }
  return true;
}

bool ReadWav(const uint8_t* bytes, size_t size, WavFile* out, std::string* error) {
  if (!WalkWav(bytes, size, out, error)) return false;
  if (!out->IsPcm()) {
    *error = out->format == kWaveFormatExtensible ? "an extensible format whose samples are not PCM"
                                                  : "format " + std::to_string(out->format) + " is not PCM";
    return false;
  }
  if (out->channels != 1 && out->channels != 2) {
    *error = std::to_string(out->channels) + " channels (1 or 2 are played)";
    return false;
  }
  if (out->rate == 0) {
    *error = "a rate of 0 frames per second";
    return false;
  }
  if (out->bits != 8 && out->bits != 16) {
    *error = std::to_string(out->bits) + " bits per sample (8 or 16 are played)";
    return false;
  }
  if (out->blockAlign != out->channels * out->bits / 8) {
    *error = "a block align of " + std::to_string(out->blockAlign) + " for " + std::to_string(out->channels) +
             " channels of " + std::to_string(out->bits) + " bits";
    return false;
  }
  out->dataBytes -= out->dataBytes % out->blockAlign;
  if (out->dataBytes == 0) {
    *error = "no sample data";
    return false;
  }
  return true;
}

void MonoSamples(const WavFile& file, int16_t* out) {
  const size_t frames = file.Frames();
  const uint8_t* in = file.data;
  // Samples are written through memcpy, each after its frame is read, so `out` may be the data
  // itself for a stereo file: sample i never lies past the start of frame i.
  const auto put = [out](size_t i, int value) {
    const auto sample = static_cast<int16_t>(value);
    std::memcpy(out + i, &sample, 2);
  };
  if (file.bits == 8 && file.channels == 1) {
    for (size_t i = 0; i < frames; ++i) put(i, (in[i] - 128) * 256);
  } else if (file.bits == 8) {
    for (size_t i = 0; i < frames; ++i) put(i, (in[2 * i] + in[2 * i + 1] - 256) * 128);
  } else if (file.channels == 1) {
    std::memmove(out, in, frames * 2);
  } else {
    // The first frames go through a buffer of their own; after them every chunk of at most as many
    // frames as are done has its samples end before its frames begin, so even in place the chunk's
    // input and output are apart and the fast loop runs.
    constexpr size_t kFirst = 1024;
    size_t done = std::min(frames, kFirst);
    int16_t first[kFirst];
    MixPairs(in, first, done);
    std::memcpy(out, first, 2 * done);
    while (done < frames) {
      const size_t count = std::min(done, frames - done);
      MixPairs(in + 4 * done, out + done, count);
      done += count;
    }
  }
}

void MonoSamples(const WavFile& file, std::vector<int16_t>* out) {
  out->resize(file.Frames());
  MonoSamples(file, out->data());
}

}  // namespace engine
