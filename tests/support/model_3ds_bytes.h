// .3ds files written by tests: the chunk layout the reader walks, built byte by byte.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace testing_support {

inline void Put16(std::string* out, uint16_t value) {
  out->push_back(static_cast<char>(value & 0xFF));
  out->push_back(static_cast<char>(value >> 8));
}

inline void Put32(std::string* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A chunk: id, length including the 6-byte header, body.
inline std::string Chunk(uint16_t id, const std::string& body) {
  std::string out;
  Put16(&out, id);
  Put32(&out, static_cast<uint32_t>(body.size() + 6));
  return out + body;
}

// A whole model of one object: vertices as the file stores them (x, y, z), faces of three indices.
inline std::string Model3ds(const std::vector<std::array<float, 3>>& vertices,
                            const std::vector<std::array<uint16_t, 3>>& faces) {
  std::string list;
  Put16(&list, static_cast<uint16_t>(vertices.size()));
  for (const auto& v : vertices) {
    for (float c : v) {
      uint32_t bits = 0;
      std::memcpy(&bits, &c, 4);
      Put32(&list, bits);
    }
  }
  std::string faceList;
  Put16(&faceList, static_cast<uint16_t>(faces.size()));
  for (const auto& f : faces) {
    for (uint16_t i : f) Put16(&faceList, i);
    Put16(&faceList, 0);
  }
  const std::string mesh = Chunk(0x4100, Chunk(0x4110, list) + Chunk(0x4120, faceList));
  return Chunk(0x4D4D, Chunk(0x3D3D, Chunk(0x4000, std::string("obj", 4) + mesh)));
}

}  // namespace testing_support
