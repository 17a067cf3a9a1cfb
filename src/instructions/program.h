// Program instructions: the play's exit target, the command-line numbers and the tick rate.
// Calls the current engine.
#pragma once

#include <cstdint>
#include <span>

#include "brain/brain.h"
#include "state/state.h"

namespace instructions {

// `exit`, `par_count`, `par_get`, `max_framerate_set` and `max_framerate`.
std::span<const brain::RoutineEntry> ProgramRoutines();

// How many numbers the game's command line holds, and number `index` of them (0 outside).
int32_t ParCount(const state::Engine& engine);
int32_t ParGet(const state::Engine& engine, int32_t index);

}  // namespace instructions
