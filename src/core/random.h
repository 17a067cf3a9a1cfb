// The table-driven random source shared by the brain instructions, play start and the tools.
// Pure arithmetic over a caller-owned table; calls nothing.
#pragma once

#include <cstdint>

namespace core {

// random.bin holds this many bytes of noise.
inline constexpr uint32_t kRandomTableBytes = 2000;
// The cursor runs over bytes 1..kRandomCursorLimit; a draw reads the 32-bit word starting at the
// cursor, so the last one reads the byte just past the table.
inline constexpr uint32_t kRandomCursorLimit = 1997;

// The value from low to high that equals `value` modulo high - low + 1; high when low >= high.
// The span is computed in 64 bits, so the full 32-bit range works.
int32_t Wrap(int32_t value, int32_t low, int32_t high);

// One random stream. The caller owns the table (the arena's random region: kRandomTableBytes bytes
// followed by at least one readable byte) and keeps the struct for the life of the program; the
// input poll increments loopCounter once per pass of the play loop, so the stream also depends on
// how many passes have run. Equal state gives equal draws: replays stay exact.
struct RandomSource {
  const uint8_t* table = nullptr;
  uint32_t cursor = 0;       // byte offset into the table of the last word read
  uint32_t loopCounter = 0;

  // An integer from min(low, high) to max(low, high) inclusive. Equal bounds give that value and
  // leave the cursor where it is. A missing table reads as zeros.
  int32_t Random(int32_t low, int32_t high);
};

// A small xorshift generator for test and benchmark inputs that must be the same on every run;
// brains never see it. A zero state would stay zero, so it is replaced by 1.
class XorShift {
 public:
  explicit XorShift(uint32_t state) : x_(state != 0 ? state : 1) {}
  uint32_t Next() {
    x_ ^= x_ << 13;
    x_ ^= x_ >> 17;
    x_ ^= x_ << 5;
    return x_;
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }

 private:
  uint32_t x_;
};

}  // namespace core
