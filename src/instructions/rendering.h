// Rendering instructions: a frame at once, flat frame refreshes, picking, the 3D background, flats
// priority, fog and the clip distance. Calls the current engine and its play's scene bridge.
#pragma once

#include <span>

#include "brain/brain.h"
#include "state/state.h"

namespace instructions {

// The rendering routines (the table at the top of rendering.cpp).
std::span<const brain::RoutineEntry> RenderingRoutines();

}  // namespace instructions
