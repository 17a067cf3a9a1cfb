// One engine per working folder: a lock held as long as the process holds it.
#pragma once

#include <string>

namespace platform {

// An abstract local socket named after the working folder and the window name (which stands for
// the window class): the system releases it when its holder ends, however it ends, so a crashed
// engine never leaves a stale lock behind.
class SingleInstance {
 public:
  SingleInstance() = default;
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;
  ~SingleInstance();

  // Takes the lock for the folder and name; true when this object holds it (also when it already
  // did), false while another holder has it.
  bool TryAcquire(const std::string& workingFolder, const std::string& windowName);
  bool Held() const { return socket_ >= 0; }

 private:
  int socket_ = -1;
};

// Looks for another engine; while there is one, pauses and looks again, at most 10 more times,
// and if the 11th look still finds it, pauses once more and gives up (false). A stop signal ends
// the wait: no more pauses, false unless the lock was already taken.
bool WaitForSingleInstance(const std::string& workingFolder, const std::string& windowName, SingleInstance* instance,
                           void (*pause)());

}  // namespace platform
