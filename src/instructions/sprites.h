// Sprite and counter instructions: translucency, clip rectangles, picture sizes, picking by the
// pointer. Calls the current engine, its display and the sprite and counter forms.
#pragma once

#include <span>

#include "brain/brain.h"
#include "state/state.h"

namespace instructions {

// The sprite and counter routines (the table at the top of sprites.cpp).
std::span<const brain::RoutineEntry> SpriteRoutines();

}  // namespace instructions
