// Variable instructions: the global variables every brain of a game shares.
#pragma once

#include <vector>

#include "brain/runner.h"
#include "core/arena.h"

namespace instructions {

// Binds `global`, `global_set` and `global_add` over the arena's globals block. Global numbers
// are taken modulo 2048, so a brain can never reach past the block.
void BindVariables(std::vector<brain::Routine>* routines, core::Arena* arena);

}  // namespace instructions
