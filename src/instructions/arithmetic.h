// Arithmetic instructions: 32-bit integer arithmetic in the fixed-point units brains use, the
// trigonometric rows on the motion family's angle rules, the table-driven random numbers and the
// tick-period test. Calls the current engine (the random source and the tick counter only).
#pragma once

#include <span>

#include "brain/brain.h"

namespace instructions {

// `sum` ... `every_tics`. Arguments are 32-bit words; no routine ever faults: a division by zero,
// a quotient past 32 bits or the root of a negative number each have a fixed answer. `random`
// draws from state::Current().random; `every_tics` reads the play's tick counter (0 without a
// play).
std::span<const brain::RoutineEntry> ArithmeticRoutines();

}  // namespace instructions
