// Hardware I/O ports: byte, 16-bit and 32-bit reads and writes through ioperm/inb/outb where the
// machine has port instructions and the system grants the port. Contract only; ports.cpp.
#pragma once

#include <cstdint>

namespace platform {

// Reads `bytes` (1, 2 or 4) from the port into *value. False, with *value 0, when the machine has
// no port instructions, the port range does not fit below 0x10000, or the system refuses it
// (access needs privileges a normal user does not have). Each call asks for the permission anew.
bool ReadPort(uint32_t port, int bytes, uint32_t* value);
// Writes the low `bytes` of value to the port; false, writing nothing, where ReadPort would fail.
bool WritePort(uint32_t port, int bytes, uint32_t value);

}  // namespace platform
