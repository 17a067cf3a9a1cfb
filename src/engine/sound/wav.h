// The WAV reader: the RIFF chunk walk that finds the "fmt " and "data" chunks, the check of the
// formats the engine plays, and the mix-down of the samples to mono 16-bit. Calls only the C++
// library; reads from memory and never trusts a size the file gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace engine {

inline constexpr uint16_t kWaveFormatPcm = 1;
inline constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
// The shortest "fmt " chunk the walk accepts: format, channels, rate, bytes per second, block align.
inline constexpr uint32_t kWaveMinimumFmtBytes = 14;

// What the walk found. `data` points into the bytes walked and holds whole frames only: a data
// chunk that claims more than the file holds keeps what is there.
struct WavFile {
  uint16_t format = 0;      // the format tag as stored (1 PCM, 0xFFFE extensible)
  uint16_t subFormat = 0;   // extensible: the first two bytes of the sub-format GUID, 0 otherwise
  uint16_t channels = 0;
  uint32_t rate = 0;        // frames per second
  uint16_t blockAlign = 0;  // bytes per frame
  uint16_t bits = 0;        // per sample; a 14- or 15-byte fmt has none: block align / channels x 8
  const uint8_t* data = nullptr;
  size_t dataBytes = 0;

  size_t Frames() const { return blockAlign == 0 ? 0 : dataBytes / blockAlign; }
  // 8-bit unsigned or 16-bit signed PCM of one or two channels, as plain PCM or inside the
  // extensible format.
  bool IsPcm() const;
};

// The chunk walk: "RIFF", a size, "WAVE", then chunks from byte 12, each an id, a 32-bit size and
// its data padded to an even length. Only chunks that start before the RIFF end (byte 8 + the RIFF
// size, or the file's end when that is nearer) count. An "fmt " chunk shorter than 14 bytes fails;
// "fmt " and "data" may come in either order, and the walk stops when it has both. A size of
// 0xFFFFFFFF ends the walk. False with the reason when the file is no RIFF WAVE file or the chunks
// run out first.
bool WalkWav(const uint8_t* bytes, size_t size, WavFile* out, std::string* error);

// The walk and the format check: PCM (plain or extensible), 8 or 16 bits, one or two channels,
// a rate above 0, a block align of channels x bits / 8, and at least one whole frame. False with
// the reason otherwise.
bool ReadWav(const uint8_t* bytes, size_t size, WavFile* out, std::string* error);

// The frames of a file ReadWav accepted as mono 16-bit samples: 8-bit samples centred on 0 and
// widened, the two channels of a stereo file averaged.
void MonoSamples(const WavFile& file, std::vector<int16_t>* out);
// The same into `out`, room for Frames() samples. For a stereo file `out` may be the file's data
// itself (its bytes are then rewritten), which saves a buffer as large as the sound.
void MonoSamples(const WavFile& file, int16_t* out);

}  // namespace engine
