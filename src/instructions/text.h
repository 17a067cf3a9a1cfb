// Printed text: print, print_num, color_set and font_set, and what a queued text word reads as
// when the frame draws it. Calls the current engine's play.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "brain/brain.h"
#include "state/state.h"

namespace instructions {

// The text routines (the table at the top of text.cpp).
std::span<const brain::RoutineEntry> TextRoutines();

// The text a queued text word names, read as print read it when it queued the word; the view lives
// as long as the play.
std::string_view PrintedTextOf(const state::Engine& engine, uint32_t text);

}  // namespace instructions
