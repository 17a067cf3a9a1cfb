// vexel sound info: a WAV file as the engine's reader sees it: its format, or why it plays no sound.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/core.h"
#include "engine/engine.h"

namespace cli {

int SoundCommand(int argc, const char* const* argv) {
  constexpr const char* kUsage = "usage: vexel sound info FILE [--json]\n";
  if (argc < 1 || std::strcmp(argv[0], "info") != 0) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  bool json = false;
  const char* file = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (file == nullptr && argv[i][0] != '-') {
      file = argv[i];
    } else {
      std::fprintf(stderr, "vexel: unexpected argument %s\n%s", argv[i], kUsage);
      return 2;
    }
  }
  if (file == nullptr) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  std::string bytes;
  engine::WavFile wav;
  std::string error;
  const bool read = core::ReadFile(file, &bytes);
  if (!read) error = "cannot read the file";
  const bool ok = read && engine::ReadWav(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &wav, &error);
  if (!ok) {
    if (json) std::printf("{\"ok\": false, \"error\": %s}\n", core::JsonString(error).c_str());
    else std::printf("%s: no sound: %s\n", file, error.c_str());
    return 1;
  }
  if (json) {
    std::printf("{\"ok\": true, \"format\": %u, \"channels\": %u, \"rate\": %u, \"bits\": %u, \"block_align\": %u, "
                "\"data_bytes\": %zu, \"frames\": %zu}\n",
                wav.format, wav.channels, wav.rate, wav.bits, wav.blockAlign, wav.dataBytes, wav.Frames());
  } else {
    std::printf("%s: format %u%s, %u channel%s, %u Hz, %u bits, block align %u, %zu bytes of data, %zu frames\n", file,
                wav.format, wav.format == engine::kWaveFormatExtensible ? " (extensible PCM)" : "", wav.channels,
                wav.channels == 1 ? "" : "s", wav.rate, wav.bits, wav.blockAlign, wav.dataBytes, wav.Frames());
  }
  return 0;
}

}  // namespace cli
