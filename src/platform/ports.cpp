// Hardware I/O ports through the system's ioperm and the machine's in/out instructions. Calls the
// C library only.
#include "platform/ports.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__linux__) && __has_include(<sys/io.h>)
#include <sys/io.h>
#define VEXEL_HAVE_PORTS 1
#else
#define VEXEL_HAVE_PORTS 0
#endif

namespace platform {
namespace {

bool Granted(uint32_t port, int bytes) {
  if (bytes != 1 && bytes != 2 && bytes != 4) return false;
  // The whole range must lie in the 64 K port space: a word at 0xFFFF would reach past it.
  if (port > 0xFFFFu || port + static_cast<uint32_t>(bytes) > 0x10000u) return false;
#if VEXEL_HAVE_PORTS
  return ioperm(port, static_cast<unsigned long>(bytes), 1) == 0;
#else
  return false;
#endif
}

}  // namespace

bool ReadPort(uint32_t port, int bytes, uint32_t* value) {
  *value = 0;
  if (!Granted(port, bytes)) return false;
#if VEXEL_HAVE_PORTS
  const auto p = static_cast<unsigned short>(port);
  if (bytes == 1) *value = inb(p);
  else if (bytes == 2) *value = inw(p);
  else *value = inl(p);
  ioperm(port, static_cast<unsigned long>(bytes), 0);
  return true;
#else
  return false;
#endif
}

bool WritePort(uint32_t port, int bytes, uint32_t value) {
  if (!Granted(port, bytes)) return false;
#if VEXEL_HAVE_PORTS
  const auto p = static_cast<unsigned short>(port);
  if (bytes == 1) outb(static_cast<unsigned char>(value), p);
  else if (bytes == 2) outw(static_cast<unsigned short>(value), p);
  else outl(value, p);
  ioperm(port, static_cast<unsigned long>(bytes), 0);
  return true;
#else
  static_cast<void>(value);
  return false;
#endif
}

}  // namespace platform
