// The engine clock in 1/4500 s units, real or virtual.
#include <SDL2/SDL.h>

#include <ctime>

#include "platform/platform.h"

namespace platform {

void Clock::StartReal() {
  virtual_ = false;
  divisor_ = SDL_GetPerformanceFrequency() / kUnitsPerSecond;
  if (divisor_ == 0) divisor_ = 1;
}

void Clock::StartVirtual() {
  virtual_ = true;
  virtualNow_ = 0;
}

uint32_t Clock::Now() const {
  if (virtual_) return virtualNow_;
  return static_cast<uint32_t>(SDL_GetPerformanceCounter() / divisor_);
}

void Clock::Advance(uint32_t units) {
  if (virtual_) virtualNow_ += units;
}

void Clock::WaitUntil(uint32_t deadline) {
  if (virtual_) {
    if (static_cast<int32_t>(deadline - virtualNow_) > 0) virtualNow_ = deadline;
    return;
  }
  // Sleep while more than about 2 ms remain (the scheduler may oversleep by about that much), then
  // spin, so ticks keep their pacing without holding a core for the whole wait.
  constexpr int32_t kSpinUnits = 9;
  for (;;) {
    const int32_t remaining = static_cast<int32_t>(deadline - Now());
    if (remaining <= 0) return;
    if (remaining > kSpinUnits) {
      const long nanoseconds = static_cast<long>(remaining - kSpinUnits) * (1000000000L / kUnitsPerSecond);
      timespec pause{nanoseconds / 1000000000L, nanoseconds % 1000000000L};
      nanosleep(&pause, nullptr);
    }
  }
}

}  // namespace platform
