// The engine's lifetime as the current engine, the play's wiring, and the key queue.
#include "state/state.h"

namespace state {
namespace {

constexpr uint32_t kRingBytes = 64;

}  // namespace

// The compiler resets the tick counter at each compilation; the brain step counts it up.
Play::Play() { compiler.tickCounter = &brains.tickCounter; }

Engine::Engine() { MakeCurrent(this); }

Engine::~Engine() {
  // The play's native translations refer to the arena: they go first.
  play.reset();
  if (detail::current == this) MakeCurrent(nullptr);
}

bool KeyQueue::Push(uint8_t character, uint8_t scan) {
  const uint32_t next = (write + 4) % kRingBytes;
  if (next == read) return false;
  entries[write / 4] = uint32_t{character} | uint32_t{scan} << 16;
  write = next;
  return true;
}

bool KeyQueue::Pop(uint32_t* entry) {
  if (Empty()) return false;
  *entry = entries[read / 4];
  read = (read + 4) % kRingBytes;
  return true;
}

}  // namespace state
