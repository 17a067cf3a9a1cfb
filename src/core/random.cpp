// The table-driven random source.
#include "core/random.h"

namespace core {

int32_t Wrap(int32_t value, int32_t low, int32_t high) {
  if (low >= high) return high;
  const int64_t span = int64_t{high} - low + 1;
  int64_t offset = (int64_t{value} - low) % span;
  if (offset < 0) offset += span;
  return static_cast<int32_t>(low + offset);
}

int32_t RandomSource::Random(int32_t low, int32_t high) {
  if (low > high) {
    const int32_t swap = low;
    low = high;
    high = swap;
  }
  if (low == high) return low;

  // The cursor steps before the read and restarts at the table start once it has reached the
  // limit, so byte 0 is never read: draws use the words starting at bytes 1..1997.
  if (cursor >= kRandomCursorLimit) cursor = 0;
  ++cursor;
  uint32_t word = 0;
  if (table != nullptr) {
    const uint8_t* bytes = table + cursor;
    word = uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
  }
  // Unsigned arithmetic wraps to 32 bits; the shift keeps the value non-negative as a signed word.
  const uint32_t mixed = (loopCounter * 65537u + word) >> 1;
  return Wrap(static_cast<int32_t>(mixed), low, high);
}

}  // namespace core
