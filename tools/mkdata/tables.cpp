// The lookup tables the motion and random instructions read.
#include <cmath>
#include <cstdio>
#include <numbers>

#include "core/core.h"
#include "mkdata/bytes.h"
#include "mkdata/mkdata.h"

namespace mkdata {
namespace {

void PutWord(std::vector<uint8_t>* out, int32_t value) {
  const uint32_t v = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<uint8_t>(v >> shift));
}

double Radians(double degrees) { return degrees * std::numbers::pi / 180.0; }

}  // namespace

std::vector<uint8_t> FineSineTable() {
  std::vector<uint8_t> out;
  for (int i = 0; i < 3600; ++i) PutWord(&out, static_cast<int32_t>(std::lround(std::sin(Radians(i / 8.0)) * 32768.0)));
  return out;
}

std::vector<uint8_t> CoarseSineTable() {
  std::vector<uint8_t> out;
  for (int row = 0; row < 450; ++row) {
    const double s = std::sin(Radians(row));
    for (int k = 0; k < 256; ++k) out.push_back(static_cast<uint8_t>(static_cast<int8_t>(std::lround((k - 128) * s))));
  }
  return out;
}

std::vector<uint8_t> ArctangentTable() {
  std::vector<uint8_t> out;
  for (int i = 0; i < 720; ++i) PutWord(&out, static_cast<int32_t>(std::lround(std::tan(Radians(i / 8.0)) * 1024.0)));
  return out;
}

std::vector<uint8_t> RandomTable() {
  // xorshift32 from a fixed seed: noise that is identical on every machine.
  uint32_t state = 0x1F2E3D4Cu;
  std::vector<uint8_t> out;
  for (int i = 0; i < 2000; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    out.push_back(static_cast<uint8_t>(state >> 24));
  }
  return out;
}

bool WriteTables(const std::string& folder) {
  const std::string& data = folder;
  return WriteBytes(data + "sinusbig.bin", FineSineTable()) && WriteBytes(data + "sinus.bin", CoarseSineTable()) &&
         WriteBytes(data + "atan.bin", ArctangentTable()) && WriteBytes(data + "random.bin", RandomTable());
}

}  // namespace mkdata
