// Element memory instructions: the pockets, locals, registers, timer, score and identity bits of
// element state records. Calls the current engine's arena.
#pragma once

#include <span>

#include "brain/brain.h"

namespace instructions {

// `pocket`, `pocket_set`, `pocket_add`, `local`, `local_set`, `register`, `register_set`, `timer`,
// `timer_set`, `score`, `score_set`, `score_add` (also named `credits`, `credits_set`,
// `credits_add`), `element_id` and `element_id_set`.
std::span<const brain::RoutineEntry> ElementMemoryRoutines();

}  // namespace instructions
