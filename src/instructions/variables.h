// Variable instructions: the global variables every brain of a game shares. Calls the current
// engine's arena.
#pragma once

#include <span>

#include "brain/brain.h"

namespace instructions {

// `global`, `global_set` and `global_add` over the arena's globals block, numbers taken modulo
// 2048; `globals_sort` of a range of them, which does nothing for a range outside the block.
std::span<const brain::RoutineEntry> VariableRoutines();

}  // namespace instructions
