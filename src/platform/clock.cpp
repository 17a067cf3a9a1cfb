// The engine clock in 1/4500 s units, real or virtual. Calls SDL's performance counter, POSIX
// sleeps and the stop flag.
#include "platform/clock.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "platform/stop_signals.h"

namespace platform {

void Clock::Sleep(uint32_t units) {
  // Slept in slices of at most a tick at 30 Hz: the stop signal may be delivered to another thread
  // (SDL's, Mesa's) and so not interrupt this sleep, and a stop must still be seen promptly.
  constexpr uint32_t kSliceUnits = kUnitsPerSecond / 30;
  while (units > 0 && StopSignal() == 0) {
    const uint32_t slice = std::min(units, kSliceUnits);
    units -= slice;
    const int64_t nanoseconds = int64_t{slice} * 1000000000 / kUnitsPerSecond;
    timespec pause{static_cast<time_t>(nanoseconds / 1000000000), static_cast<long>(nanoseconds % 1000000000)};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR && StopSignal() == 0) {
    }
  }
}

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

void Clock::Stall(uint32_t units) {
  if (virtual_) virtualNow_ += units;
  else Sleep(units);
}

int64_t Clock::MicrosecondsPast(uint32_t time) const {
  if (virtual_) return 0;
  // Counter value of `time` in the same 2^32-unit period as now.
  const uint64_t counter = SDL_GetPerformanceCounter();
  const auto now = static_cast<uint32_t>(counter / divisor_);
  const int64_t unitsPast = static_cast<int32_t>(now - time);
  const int64_t ticksPast = unitsPast * static_cast<int64_t>(divisor_) + static_cast<int64_t>(counter % divisor_);
  return ticksPast * 1000000 / static_cast<int64_t>(SDL_GetPerformanceFrequency());
}

void Clock::WaitUntil(uint32_t deadline) {
  if (virtual_) {
    if (static_cast<int32_t>(deadline - virtualNow_) > 0) virtualNow_ = deadline;
    return;
  }
  // Sleep while more than about 1 ms remains (a sleep overruns by well under that on an idle
  // machine), then spin, so ticks keep their pacing without holding a core for the whole wait.
  // A stop signal interrupts the sleep when this thread takes it; sleeping at most 1/30 s at a
  // time bounds the wait when another thread does.
  constexpr int32_t kSpinUnits = 4;
  constexpr int32_t kSliceUnits = kUnitsPerSecond / 30;
  for (;;) {
    const int32_t remaining = static_cast<int32_t>(deadline - Now());
    if (remaining <= 0 || StopSignal() != 0) return;
    if (remaining > kSpinUnits) {
      const long nanoseconds = static_cast<long>(std::min(remaining - kSpinUnits, kSliceUnits)) * (1000000000L / kUnitsPerSecond);
      timespec pause{nanoseconds / 1000000000L, nanoseconds % 1000000000L};
      nanosleep(&pause, nullptr);
    }
  }
}

}  // namespace platform
