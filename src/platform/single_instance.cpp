// The single-instance lock: an abstract Unix-domain socket. Calls only POSIX and the stop flag.
#include "platform/single_instance.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/stop_signals.h"

namespace platform {

SingleInstance::~SingleInstance() {
  if (socket_ >= 0) close(socket_);
}

bool SingleInstance::TryAcquire(const std::string& workingFolder, const std::string& windowName) {
  if (socket_ >= 0) return true;
  // FNV-1a of folder and name keeps the socket name short whatever the path.
  uint64_t hash = 1469598103934665603ull;
  for (const std::string* part : {&workingFolder, &windowName}) {
    for (unsigned char c : *part) hash = (hash ^ c) * 1099511628211ull;
    hash = (hash ^ 0xFF) * 1099511628211ull;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  char name[64];
  const int length = std::snprintf(name, sizeof name, "vexel-main-%016llx", static_cast<unsigned long long>(hash));
  std::memcpy(address.sun_path + 1, name, static_cast<size_t>(length));  // sun_path[0] = 0: abstract name
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), static_cast<socklen_t>(sizeof(sa_family_t) + 1 + length)) != 0) {
    close(fd);
    return false;
  }
  socket_ = fd;
  return true;
}

bool WaitForSingleInstance(const std::string& workingFolder, const std::string& windowName, SingleInstance* instance,
                           void (*pause)()) {
  int looks = 1;
  bool free = instance->TryAcquire(workingFolder, windowName);
  while (!free && looks < 11 && StopSignal() == 0) {
    pause();
    free = instance->TryAcquire(workingFolder, windowName);
    ++looks;
  }
  if (!free && StopSignal() == 0) pause();
  return free;
}

}  // namespace platform
