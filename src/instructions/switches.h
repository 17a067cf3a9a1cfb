// Switch and bit instructions: the on, visible and enabled switches of elements, and the state and
// signal bits brains keep in the status and signal words. Calls the current engine's arena and play.
#pragma once

#include <span>

#include "brain/brain.h"

namespace instructions {

// `on`, `off`, `status`, `show`, `hide`, `enable`, `disable`, `on_list`, `on_range`, `state`,
// `state_set`, `state_reset`, `signal`, `signal_set` and `signal_reset`.
std::span<const brain::RoutineEntry> SwitchRoutines();

}  // namespace instructions
