// mkdata's byte builders: little-endian words and floats, .3ds chunks, the finished game's word
// scrambling, 24-bit BMP pictures and 16-bit WAV sounds. Private to tools/mkdata/.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/core.h"

namespace mkdata {

using Bytes = std::vector<uint8_t>;

// Writes the file whole (atomically); false with "mkdata: cannot write PATH" on stderr.
inline bool WriteBytes(const std::string& path, const Bytes& bytes) {
  if (core::WriteFileAtomic(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) {
    return true;
  }
  std::fprintf(stderr, "mkdata: cannot write %s\n", path.c_str());
  return false;
}

// WriteBytes after creating the file's folder.
inline bool WriteWithFolders(const std::string& path, const Bytes& bytes) {
  const size_t slash = path.rfind('/');
  if (slash != std::string::npos && !core::MakeFolders(path.substr(0, slash))) {
    std::fprintf(stderr, "mkdata: cannot create %s\n", path.substr(0, slash).c_str());
    return false;
  }
  return WriteBytes(path, bytes);
}

inline void Put16(Bytes* out, uint32_t value) {
  out->push_back(static_cast<uint8_t>(value));
  out->push_back(static_cast<uint8_t>(value >> 8));
}

inline void Put32(Bytes* out, uint32_t value) {
  Put16(out, value & 0xFFFFu);
  Put16(out, value >> 16);
}

inline void PutFloat(Bytes* out, float value) {
  uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  Put32(out, bits);
}

inline void PutText(Bytes* out, std::string_view text) { out->insert(out->end(), text.begin(), text.end()); }

inline void Set32(Bytes* out, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*out)[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline Bytes FromText(std::string_view text) { return Bytes(text.begin(), text.end()); }

inline bool ValidSize(int width, int height) { return width >= 1 && height >= 1 && width <= 4096 && height <= 4096; }

// Finished games read some data files through the word scrambling; such files are stored
// scrambled here already. Trailing bytes beyond the last whole word stay as they are.
inline Bytes Scrambled(Bytes bytes) {
  constexpr uint32_t kKey = 0x5A17C3E9u;
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    uint32_t w = 0;
    for (int b = 0; b < 4; ++b) w |= static_cast<uint32_t>(bytes[i + b]) << (8 * b);
    w ^= kKey;
    Set32(&bytes, i, (w << 13) | (w >> 19));
  }
  return bytes;
}

inline Bytes Chunk(uint16_t id, const Bytes& body) {
  Bytes out;
  Put16(&out, id);
  Put32(&out, static_cast<uint32_t>(6 + body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// Collision map with no channels set and the settings block in row 254: clip distance 100 m, the
// 3D background over the whole screen, style 0 and the field setting 100.
inline Bytes CollisionFile() {
  Bytes out(65536, 0);
  Set32(&out, 65036, 100);
  Set32(&out, 65040, 0);
  Set32(&out, 65044, 479);
  Set32(&out, 65048, 0);
  Set32(&out, 65052, 0);
  Set32(&out, 65056, 100);
  return out;
}

// A .3ds file of one named triangle object: `xyz` three floats a vertex, `corners` three vertex
// indices a face (each face entry gets a zero flag word).
inline Bytes Model3dsFile(std::string_view name, const std::vector<float>& xyz, const std::vector<uint16_t>& corners) {
  Bytes vertices;
  Put16(&vertices, static_cast<uint32_t>(xyz.size() / 3));
  for (const float value : xyz) PutFloat(&vertices, value);
  Bytes faces;
  Put16(&faces, static_cast<uint32_t>(corners.size() / 3));
  for (size_t i = 0; i + 3 <= corners.size(); i += 3) {
    for (size_t k = 0; k < 3; ++k) Put16(&faces, corners[i + k]);
    Put16(&faces, 0);
  }
  Bytes mesh = Chunk(0x4110, vertices);
  const Bytes faceChunk = Chunk(0x4120, faces);
  mesh.insert(mesh.end(), faceChunk.begin(), faceChunk.end());
  Bytes object = FromText(name);
  object.push_back(0);  // the name ends with a zero byte
  const Bytes triangles = Chunk(0x4100, mesh);
  object.insert(object.end(), triangles.begin(), triangles.end());
  Bytes version;
  Put32(&version, 3);
  Bytes main = Chunk(0x0002, version);
  const Bytes editor = Chunk(0x3D3D, Chunk(0x4000, object));
  main.insert(main.end(), editor.begin(), editor.end());
  return Chunk(0x4D4D, main);
}

// 24-bit bottom-up picture; rows padded to four bytes. `colourAt` gives 0xRRGGBB at (x, y), the
// top row being y = 0.
inline Bytes Bmp(int width, int height, const std::function<uint32_t(int x, int y)>& colourAt) {
  const uint32_t rowBytes = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(height);
  Bytes out;
  PutText(&out, "BM");
  Put32(&out, 54 + imageBytes);
  Put32(&out, 0);
  Put32(&out, 54);  // pixels follow the two headers directly
  Put32(&out, 40);
  Put32(&out, static_cast<uint32_t>(width));
  Put32(&out, static_cast<uint32_t>(height));
  Put16(&out, 1);
  Put16(&out, 24);
  Put32(&out, 0);  // uncompressed
  Put32(&out, imageBytes);
  Put32(&out, 2835);  // 72 dots per inch
  Put32(&out, 2835);
  Put32(&out, 0);
  Put32(&out, 0);
  for (int y = height - 1; y >= 0; --y) {
    const size_t rowStart = out.size();
    for (int x = 0; x < width; ++x) {
      const uint32_t c = colourAt(x, y);
      out.push_back(static_cast<uint8_t>(c));
      out.push_back(static_cast<uint8_t>(c >> 8));
      out.push_back(static_cast<uint8_t>(c >> 16));
    }
    out.resize(rowStart + rowBytes, 0);
  }
  return out;
}

inline Bytes Bmp(int width, int height, uint32_t (*colourAt)(int x, int y, uint32_t rgb), uint32_t rgb) {
  return Bmp(width, height, [&](int x, int y) { return colourAt(x, y, rgb); });
}

// 16-bit mono PCM WAV of the given samples at `rate` Hz.
inline Bytes Wav16(int rate, const std::vector<int16_t>& samples) {
  const uint32_t dataBytes = static_cast<uint32_t>(samples.size()) * 2;
  Bytes out = FromText("RIFF");
  Put32(&out, 4 + 8 + 16 + 8 + dataBytes);
  PutText(&out, "WAVEfmt ");
  Put32(&out, 16);
  Put16(&out, 1);  // PCM
  Put16(&out, 1);  // mono
  Put32(&out, static_cast<uint32_t>(rate));
  Put32(&out, static_cast<uint32_t>(rate) * 2);
  Put16(&out, 2);
  Put16(&out, 16);
  PutText(&out, "data");
  Put32(&out, dataBytes);
  for (const int16_t sample : samples) Put16(&out, static_cast<uint16_t>(sample));
  return out;
}

}  // namespace mkdata
