// The stop signals: one process-wide flag and its handler. Calls POSIX only.
#include "platform/stop_signals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace platform {
namespace {

// A signal handler can reach nothing but a global; this flag is the one piece of process-wide
// mutable state the platform keeps. A lock-free atomic is safe to use from the handler.
std::atomic<int> stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the stop flag is written from a signal handler");

void OnStopSignal(int signal) {
  int expected = 0;
  if (!stopSignal.compare_exchange_strong(expected, signal)) {
    _exit(128 + signal);  // the second signal: the program did not stop in time, so stop it here
  }
}

}  // namespace

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // Both signals are blocked while the handler runs, so two that arrive together are still a
  // first and a second.
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGINT, SIGTERM}) {
    // A signal the starter ignores stays ignored: a shell script's background job is meant to
    // outlive the script's Ctrl-C.
    struct sigaction previous {};
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
  // And one the starter blocked is taken all the same, or nothing could stop the engine politely.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
}

int StopSignal() { return stopSignal.load(std::memory_order_relaxed); }

void ResetStopSignalForTest() { stopSignal.store(0, std::memory_order_relaxed); }

}  // namespace platform
