// Reference interpreter of compiled brain code: runs the closed set of 32-bit x86 byte sequences
// the emitter writes, from the code area, against the arena. Calls only core/arena and the
// instruction table (to recognise routine stubs).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/core.h"

namespace brain {

// The registers brain code uses. EDI holds the current element's record address for the whole
// run; EAX..ESI carry a call's arguments in the order written in the brain, EAX its result.
struct Regs {
  uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0, esi = 0, edi = 0;
};

// Runs the routine whose stub starts at guest address `routine` (always a stub an instruction-table
// row uses). The routine leaves its result in regs->eax and may change EBX, ECX, EDX and ESI as
// well; EDI is put back to its value before the call whatever the routine did. Returning false
// stops the brain run as a fault with *fault as its text (a generic text when left empty).
using RoutineCall = std::function<bool(uint32_t routine, Regs* regs, std::string* fault)>;

// Taken backward jumps allowed in one run before it counts as a brain that never ends.
inline constexpr uint32_t kDefaultBackwardJumpBudget = 1000000;

struct RunLimits {
  uint32_t backwardJumpBudget = kDefaultBackwardJumpBudget;  // 0: no backward jump at all
};

enum class RunResult : uint8_t { kReturned, kFault };

// Runs the brain code at guest address `entry` (inside the code area) until its `ret`. `regs`
// holds the registers on entry (EDI = the element's record address) and on return, also after a
// fault. A fault (memory outside the arena, division by zero or overflow, the jump budget spent,
// a byte sequence outside the brain code format, a call of anything but a routine stub, a failed
// routine) stops the run at once and sets *fault to a message naming the code address (and
// *faultAt, when given, to the guest address of the instruction); memory written before the fault
// stays written. Reentrant: a routine may run another brain.
RunResult Interpret(const core::Arena& arena, uint32_t entry, Regs* regs, const RoutineCall& call,
                    const RunLimits& limits, std::string* fault, uint32_t* faultAt = nullptr);

}  // namespace brain
