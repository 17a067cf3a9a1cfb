// The WAV reader on hand-built files: the chunk walk's order, padding and ends, the formats it
// plays, the sizes it must not trust, and the mix-down to mono 16-bit.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/sound/wav.h"
#include "support/wav_bytes.h"

namespace {

using testing_support::Pcm16;
using testing_support::WavChunk;
using testing_support::WavExtensibleFmt;
using testing_support::WavFmt;
using testing_support::WavRiff;

struct Read {
  bool ok = false;
  engine::WavFile wav;
  std::string error;
  std::string bytes;  // kept alive: wav.data points into it
};

Read ReadBytes(std::string bytes) {
  Read r;
  r.bytes = std::move(bytes);
  r.ok = engine::ReadWav(reinterpret_cast<const uint8_t*>(r.bytes.data()), r.bytes.size(), &r.wav, &r.error);
  return r;
}

size_t DataOffset(const Read& r) { return static_cast<size_t>(r.wav.data - reinterpret_cast<const uint8_t*>(r.bytes.data())); }

const std::string kSamples = Pcm16({100, -200, 300, -400, 500, -600});

TEST(WavReader, ChunksComeInEitherOrderAndOddChunksArePadded) {
  // data before fmt
  Read r = ReadBytes(WavRiff(WavChunk("data", kSamples) + WavChunk("fmt ", WavFmt(1, 22050, 16))));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(DataOffset(r), 20u);
  EXPECT_EQ(r.wav.Frames(), 6u);
  EXPECT_EQ(r.wav.rate, 22050u);

  // An odd-sized chunk first: the next one starts after its pad byte, not right after its body.
  r = ReadBytes(WavRiff(WavChunk("LIST", "abc") + WavChunk("fmt ", WavFmt(1, 11025, 16)) + WavChunk("data", kSamples)));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(DataOffset(r), 12u + 12u + 24u + 8u);
  EXPECT_EQ(r.wav.rate, 11025u);

  // Bytes after both chunks are never looked at.
  r = ReadBytes(WavRiff(WavChunk("fmt ", WavFmt(1, 8000, 8)) + WavChunk("data", "\x80\x81") + "junk\xFF\xFF\xFF\xFF"));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.wav.bits, 8u);
}

TEST(WavReader, OnlyChunksStartingBeforeTheRiffEndCount) {
  const std::string fmt = WavChunk("fmt ", WavFmt(1, 22050, 16));
  // The RIFF size ends right after "fmt ": the data chunk behind it is not part of the file.
  Read r = ReadBytes(WavRiff(fmt + WavChunk("data", kSamples), 4 + static_cast<int64_t>(fmt.size())));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "no \"data\" chunk");
  // One byte more and the data chunk starts inside it: the whole chunk counts.
  r = ReadBytes(WavRiff(fmt + WavChunk("data", kSamples), 5 + static_cast<int64_t>(fmt.size())));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.wav.Frames(), 6u);
  // A RIFF size beyond the file: the chunks present are read.
  r = ReadBytes(WavRiff(fmt + WavChunk("data", kSamples), 0x7FFFFFF0));
  ASSERT_TRUE(r.ok) << r.error;
  // A chunk size of 0xFFFFFFFF ends the walk, though the data would follow.
  r = ReadBytes(WavRiff(fmt + "LIST\xFF\xFF\xFF\xFF" + WavChunk("data", kSamples)));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "no \"data\" chunk");
  // A size near 2^32 must not wrap the walk back to the start of the file.
  r = ReadBytes(WavRiff(fmt + "LIST\xF0\xFF\xFF\xFF" + WavChunk("data", kSamples)));
  EXPECT_FALSE(r.ok);
}

TEST(WavReader, FmtChunksOfFewerThanFourteenBytesFailAndShortOnesTakeBitsFromBlockAlign) {
  Read r = ReadBytes(WavRiff(WavChunk("fmt ", WavFmt(1, 22050, 16, 1, -1, 13)) + WavChunk("data", kSamples)));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "the \"fmt \" chunk is 13 bytes long, fewer than 14");
  for (const size_t length : {size_t{14}, size_t{15}}) {
    r = ReadBytes(WavRiff(WavChunk("fmt ", WavFmt(2, 22050, 16, 1, 4, length)) + WavChunk("data", kSamples)));
    ASSERT_TRUE(r.ok) << length << ": " << r.error;
    EXPECT_EQ(r.wav.bits, 16u);
    EXPECT_EQ(r.wav.Frames(), 3u);
  }
  r = ReadBytes(WavRiff(WavChunk("fmt ", WavFmt(1, 22050, 16, 1, 1, 14)) + WavChunk("data", kSamples)));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.wav.bits, 8u);
}

TEST(WavReader, DataCutShortPlaysTheWholeFramesPresent) {
  // The data chunk claims 100000 bytes; the file holds 601 of them: 300 frames play.
  std::string claim = "data";
  testing_support::PutLe(&claim, 100000, 4);
  const std::string header = WavRiff(WavChunk("fmt ", WavFmt(1, 22050, 16)) + claim);
  Read r = ReadBytes(header + std::string(601, '\x01'));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.wav.dataBytes, 600u);
  EXPECT_EQ(r.wav.Frames(), 300u);
  // Less than one frame is no sound.
  r = ReadBytes(header + std::string(1, '\x01'));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "no sample data");
  // A file that ends inside the fmt chunk.
  r = ReadBytes(WavRiff(WavChunk("data", kSamples) + WavChunk("fmt ", WavFmt(1, 22050, 16)).substr(0, 18)));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "the file ends inside the \"fmt \" chunk");
}

TEST(WavReader, FormatsThatAreNotPlayedSayWhy) {
  const std::string data = WavChunk("data", kSamples);
  struct Case {
    std::string fmt;
    std::string error;
  };
  const Case cases[] = {
      {WavFmt(0, 22050, 16, 1, 2), "0 channels (1 or 2 are played)"},
      {WavFmt(3, 22050, 16), "3 channels (1 or 2 are played)"},
      {WavFmt(1, 0, 16), "a rate of 0 frames per second"},
      {WavFmt(1, 22050, 24), "24 bits per sample (8 or 16 are played)"},
      {WavFmt(2, 22050, 16, 1, 2), "a block align of 2 for 2 channels of 16 bits"},
      {WavFmt(1, 22050, 16, 3), "format 3 is not PCM"},
      {WavExtensibleFmt(1, 22050, 16, 3), "an extensible format whose samples are not PCM"},
      {WavFmt(1, 22050, 16, 0xFFFE), "an extensible format whose samples are not PCM"},  // no extension
  };
  for (const Case& c : cases) {
    const Read r = ReadBytes(WavRiff(WavChunk("fmt ", c.fmt) + data));
    EXPECT_FALSE(r.ok) << c.error;
    EXPECT_EQ(r.error, c.error);
  }
  EXPECT_EQ(ReadBytes(std::string("RIFF\x04\0\0\0WAVX", 12)).error, "not a RIFF WAVE file");
  EXPECT_EQ(ReadBytes(WavRiff(WavChunk("fmt ", WavFmt(1, 8000, 8)))).error, "no \"data\" chunk");
  EXPECT_EQ(ReadBytes(WavRiff(data)).error, "no \"fmt \" chunk");
}

TEST(WavReader, MixesEveryPlayedFormatDownToMono16) {
  std::vector<int16_t> mono;
  // 8-bit mono: centred on 0 and widened.
  Read r = ReadBytes(WavRiff(WavChunk("fmt ", WavFmt(1, 8000, 8)) + WavChunk("data", std::string("\x00\x80\xFF", 3))));
  ASSERT_TRUE(r.ok) << r.error;
  engine::MonoSamples(r.wav, &mono);
  EXPECT_EQ(mono, (std::vector<int16_t>{-32768, 0, 32512}));
  // 8-bit stereo: the two channels averaged.
  r = ReadBytes(WavRiff(WavChunk("fmt ", WavFmt(2, 8000, 8)) + WavChunk("data", std::string("\x00\xFF\x90\x70", 4))));
  ASSERT_TRUE(r.ok) << r.error;
  engine::MonoSamples(r.wav, &mono);
  EXPECT_EQ(mono, (std::vector<int16_t>{-128, 0}));
  // 16-bit stereo, and an odd sum rounds toward minus infinity.
  r = ReadBytes(WavRiff(WavChunk("fmt ", WavFmt(2, 44100, 16)) + WavChunk("data", Pcm16({32767, 32767, -32768, -32767, 1000, -3001}))));
  ASSERT_TRUE(r.ok) << r.error;
  engine::MonoSamples(r.wav, &mono);
  EXPECT_EQ(mono, (std::vector<int16_t>{32767, -32768, -1001}));
  // Extensible PCM reads as plain PCM.
  r = ReadBytes(WavRiff(WavChunk("fmt ", WavExtensibleFmt(2, 48000, 16)) + WavChunk("data", Pcm16({10, 20, 30, 40}))));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.wav.format, engine::kWaveFormatExtensible);
  engine::MonoSamples(r.wav, &mono);
  EXPECT_EQ(mono, (std::vector<int16_t>{15, 35}));
  // Mono 16-bit comes out as stored.
  r = ReadBytes(WavRiff(WavChunk("fmt ", WavFmt(1, 22050, 16)) + WavChunk("data", kSamples)));
  ASSERT_TRUE(r.ok) << r.error;
  engine::MonoSamples(r.wav, &mono);
  EXPECT_EQ(mono, (std::vector<int16_t>{100, -200, 300, -400, 500, -600}));
}

// The layer mixes a stereo file down where it lies; chunk edges (the first 1024 frames, then
// doubling chunks) must not change a sample.
TEST(WavReader, MixingDownInPlaceGivesTheSameSamples) {
  std::vector<int16_t> stereo;
  uint32_t seed = 12345;
  for (int i = 0; i < 2 * 5000 + 2; ++i) {
    seed = seed * 1103515245u + 12345u;
    stereo.push_back(static_cast<int16_t>(seed >> 16));
  }
  Read r = ReadBytes(WavRiff(WavChunk("fmt ", WavFmt(2, 22050, 16)) + WavChunk("data", Pcm16(stereo))));
  ASSERT_TRUE(r.ok) << r.error;
  std::vector<int16_t> apart;
  engine::MonoSamples(r.wav, &apart);
  ASSERT_EQ(apart.size(), 5001u);
  for (size_t i = 0; i < apart.size(); ++i) {
    ASSERT_EQ(apart[i], (stereo[2 * i] + stereo[2 * i + 1]) >> 1) << i;
  }
  engine::MonoSamples(r.wav, reinterpret_cast<int16_t*>(r.bytes.data() + DataOffset(r)));
  std::vector<int16_t> inPlace(apart.size());
  std::memcpy(inPlace.data(), r.bytes.data() + DataOffset(r), inPlace.size() * 2);
  EXPECT_EQ(inPlace, apart);
}

}  // namespace
