// Message bytes for the network tests: 32-bit words, little-endian, as the formats store them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace net_testing {

inline std::vector<uint8_t> Words(std::initializer_list<int32_t> words) {
  std::vector<uint8_t> out;
  for (const int32_t word : words) {
    const auto value = static_cast<uint32_t>(word);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
  return out;
}

}  // namespace net_testing
