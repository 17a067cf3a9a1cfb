// A little builder for expected machine code, so each golden case reads like the instruction list
// it stands for.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace brain_testing {

using Bytes = std::vector<uint8_t>;

inline void Append32(Bytes* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

struct Expect {
  Bytes b;
  Expect& Raw(std::initializer_list<uint8_t> bytes) {
    b.insert(b.end(), bytes);
    return *this;
  }
  Expect& Op(std::initializer_list<uint8_t> bytes, uint32_t v) {
    Raw(bytes);
    Append32(&b, v);
    return *this;
  }
  Expect& Text(std::string_view text) {
    b.insert(b.end(), text.begin(), text.end());
    return *this;
  }
};

}  // namespace brain_testing
