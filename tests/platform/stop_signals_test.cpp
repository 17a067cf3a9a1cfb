// The stop signals inside one process: the flag, and the waits that a stop must cut short. (That a
// second signal ends the process, and what a stopped engine saves, is checked on the real program
// in tests/app.)
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/platform.h"
#include "support/temp_folder.h"

namespace {

using Seconds = std::chrono::duration<double>;

class StopSignals : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::InstallStopSignals();
    platform::ResetStopSignalForTest();
  }
  void TearDown() override { platform::ResetStopSignalForTest(); }

  // Sends `signal` to the whole process from another thread after `delay`, so the kernel may
  // hand it to either thread: the waits must end whichever takes it.
  static std::thread SendLater(int signal, std::chrono::milliseconds delay) {
    return std::thread([signal, delay] {
      std::this_thread::sleep_for(delay);
      kill(getpid(), signal);
    });
  }
};

TEST_F(StopSignals, TheFirstSignalIsRecordedAndTheProcessGoesOn) {
  EXPECT_EQ(platform::StopSignal(), 0);
  ASSERT_EQ(raise(SIGINT), 0);
  EXPECT_EQ(platform::StopSignal(), SIGINT);
  platform::ResetStopSignalForTest();
  platform::InstallStopSignals();  // installing again keeps the handler working
  ASSERT_EQ(raise(SIGTERM), 0);
  EXPECT_EQ(platform::StopSignal(), SIGTERM);
  platform::InstallStopSignals();  // and keeps a recorded signal
  EXPECT_EQ(platform::StopSignal(), SIGTERM);
}

TEST_F(StopSignals, SleepsAndTickWaitsEndSoonAfterAStop) {
  // Two seconds of sleep, a stop after 100 ms.
  auto start = std::chrono::steady_clock::now();
  std::thread sender = SendLater(SIGTERM, std::chrono::milliseconds(100));
  platform::Clock::Sleep(2 * platform::Clock::kUnitsPerSecond);
  double seconds = Seconds(std::chrono::steady_clock::now() - start).count();
  sender.join();
  EXPECT_EQ(platform::StopSignal(), SIGTERM);
  EXPECT_LT(seconds, 1.0);
  // Once stopped, a sleep does not start.
  start = std::chrono::steady_clock::now();
  platform::Clock::Sleep(2 * platform::Clock::kUnitsPerSecond);
  EXPECT_LT(Seconds(std::chrono::steady_clock::now() - start).count(), 0.5);

  // The real clock's wait for a deadline two seconds away.
  platform::ResetStopSignalForTest();
  platform::Clock clock;
  clock.StartReal();
  start = std::chrono::steady_clock::now();
  sender = SendLater(SIGINT, std::chrono::milliseconds(100));
  clock.WaitUntil(clock.Now() + 2 * platform::Clock::kUnitsPerSecond);
  seconds = Seconds(std::chrono::steady_clock::now() - start).count();
  sender.join();
  EXPECT_EQ(platform::StopSignal(), SIGINT);
  EXPECT_LT(seconds, 1.0);
}

TEST_F(StopSignals, TheSingleInstanceWaitGivesUpAtOnce) {
  testing_support::TempFolder folder;
  platform::SingleInstance first;
  ASSERT_TRUE(first.TryAcquire(folder.path(), "Zu-Teal"));
  static int pauses;
  pauses = 0;
  // A stop during the third pause: no more looks, no closing pause.
  platform::SingleInstance second;
  EXPECT_FALSE(platform::WaitForSingleInstance(folder.path(), "Zu-Teal", &second, [] {
    if (++pauses == 3) raise(SIGTERM);
  }));
  EXPECT_EQ(pauses, 3);
  // A free lock is still taken after a stop: the caller decides what a stopped run does with it.
  platform::SingleInstance other;
  EXPECT_TRUE(platform::WaitForSingleInstance(folder.path() + "x/", "Zu-Teal", &other, [] { ++pauses; }));
  EXPECT_EQ(pauses, 3);
}

}  // namespace
