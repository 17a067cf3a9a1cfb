// WAV files written by tests, chunk by chunk, and tones to fill them; the Goertzel filter that
// measures a tone in what the engine wrote.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

inline void PutLe(std::string* out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>(value >> (8 * i)));
}

// A chunk: id, the size (the body's unless given), the body and the pad byte of an odd body.
inline std::string WavChunk(const std::string& id, const std::string& body, int64_t size = -1) {
  std::string out = id;
  PutLe(&out, static_cast<uint32_t>(size < 0 ? body.size() : static_cast<uint64_t>(size)), 4);
  out += body;
  if (body.size() % 2 != 0) out.push_back('\0');
  return out;
}

// The 16 bytes of a "fmt " chunk's body (cut to `length` when shorter), block align from channels
// and bits unless given.
inline std::string WavFmt(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t format = 1, int blockAlign = -1,
                          size_t length = 16) {
  std::string out;
  const uint32_t align = blockAlign >= 0 ? static_cast<uint32_t>(blockAlign) : channels * bits / 8u;
  PutLe(&out, format, 2);
  PutLe(&out, channels, 2);
  PutLe(&out, rate, 4);
  PutLe(&out, rate * align, 4);
  PutLe(&out, align, 2);
  PutLe(&out, bits, 2);
  return out.substr(0, length);
}

// The 40-byte extensible "fmt " body: 16 bytes as above, then the extension with the sub-format's
// first two bytes `subFormat` and the rest of the PCM GUID.
inline std::string WavExtensibleFmt(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t subFormat = 1) {
  std::string out = WavFmt(channels, rate, bits, 0xFFFE);
  PutLe(&out, 22, 2);
  PutLe(&out, bits, 2);
  PutLe(&out, channels == 2 ? 3 : 4, 4);
  PutLe(&out, subFormat, 2);
  const uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  out.append(reinterpret_cast<const char*>(tail), sizeof tail);
  return out;
}

// "RIFF", the size (that of what follows unless given), "WAVE" and the chunks.
inline std::string WavRiff(const std::string& chunks, int64_t size = -1) {
  std::string out = "RIFF";
  PutLe(&out, static_cast<uint32_t>(size < 0 ? chunks.size() + 4 : static_cast<uint64_t>(size)), 4);
  return out + "WAVE" + chunks;
}

// 16-bit samples as little-endian bytes.
inline std::string Pcm16(const std::vector<int16_t>& samples) {
  std::string out;
  for (const int16_t s : samples) PutLe(&out, static_cast<uint16_t>(s), 2);
  return out;
}

// `seconds` of a sine of `hertz` at `amplitude`, mono 16-bit at `rate`.
inline std::vector<int16_t> Tone(double hertz, int rate, double seconds, double amplitude = 12000) {
  std::vector<int16_t> samples(static_cast<size_t>(rate * seconds));
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * hertz * static_cast<double>(i) / rate)));
  }
  return samples;
}

// A whole mono 16-bit file of the tone.
inline std::string ToneWav(double hertz, int rate, double seconds, double amplitude = 12000) {
  return WavRiff(WavChunk("fmt ", WavFmt(1, static_cast<uint32_t>(rate), 16)) +
                 WavChunk("data", Pcm16(Tone(hertz, rate, seconds, amplitude))));
}

// The amplitude of the `hertz` component of the samples (Goertzel over a Hann window, scaled so
// that a full-window sine of amplitude A reads A).
inline double ToneAmplitude(const std::vector<double>& samples, double hertz, int rate) {
  if (samples.empty()) return 0;
  const double k = 2 * std::cos(2 * M_PI * hertz / rate);
  double s1 = 0, s2 = 0;
  const double n = static_cast<double>(samples.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    const double window = 0.5 - 0.5 * std::cos(2 * M_PI * static_cast<double>(i) / n);
    const double s0 = samples[i] * window + k * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  const double power = s1 * s1 + s2 * s2 - k * s1 * s2;
  return std::sqrt(std::max(power, 0.0)) * 4 / n;
}

}  // namespace testing_support
