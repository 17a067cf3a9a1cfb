// The engine clock in 1/4500 s units, real or virtual, and sleeping on the real one.
#pragma once

#include <cstdint>

namespace platform {

// Time in 1/4500 s units. The real clock divides the performance counter by (frequency / 4500);
// the virtual clock starts at 0 and moves only when told.
class Clock {
 public:
  static constexpr uint32_t kUnitsPerSecond = 4500;

  // Sleeps for `units` of real time, whichever clock runs: for waits on other processes and on
  // the user, which a virtual clock cannot shorten. Other signals do not cut the sleep short; a
  // stop signal (StopSignal) ends it within about 1/30 s, at once when it interrupts this thread.
  static void Sleep(uint32_t units);

  void StartReal();
  void StartVirtual();
  bool IsVirtual() const { return virtual_; }

  uint32_t Now() const;
  void Advance(uint32_t units);  // virtual clock only
  // Lets `units` pass: the virtual clock moves on, the real one is slept through.
  void Stall(uint32_t units);
  // Microseconds by which the real time is past `time` (negative before it); 0 on the virtual
  // clock. Finer than the 1/4500 s unit, for measuring how late a wait returned.
  int64_t MicrosecondsPast(uint32_t time) const;
  // Returns when Now() has reached `deadline` (compared modulo 2^32), or early once a stop signal
  // is recorded. Real clock: sleeps until shortly before it and spins the rest; virtual clock:
  // moves the time there at once.
  void WaitUntil(uint32_t deadline);

 private:
  bool virtual_ = false;
  uint64_t divisor_ = 1;
  uint32_t virtualNow_ = 0;
};

}  // namespace platform
