// Input instructions: the keyboard, the mouse, two controllers and hardware ports, as the input
// pump left them or read at the moment of the call. Calls the current engine's platform.
#pragma once

#include <cstdint>
#include <span>

#include "brain/brain.h"

namespace instructions {

// Every input instruction and any_input_exit.
std::span<const brain::RoutineEntry> InputRoutines();

// An axis (-1000..1000) scaled to the caller's range: +1000 gives lo, -1000 gives hi, in between
// linearly with the 64-bit product truncated toward zero. Works the same way when lo > hi.
int32_t ScaleAxisTo(int32_t axis, int32_t lo, int32_t hi);
// A hat in hundredths of a degree as an angle (512 units per degree); -1 when centred.
int32_t HatToAngle(int32_t hat);

}  // namespace instructions
