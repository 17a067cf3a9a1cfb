// Element lookup instructions: finding elements by position in the array, by distance, by name,
// at random and by walking with a count; the kind of an element's visual; running another
// element's brain. Calls the current engine (records, project, random source, brain runtime) and
// the motion family's distance.
#pragma once

#include <span>

#include "brain/brain.h"

namespace instructions {

// `first_element`, `last_element`, `element_index`, `nearest_element`, `random_element`,
// `element`, `element_find`, `type` and `execute`. Elements are the record addresses of the play's
// elements 0 to its last element; element arguments follow the family-wide rules (a frame handle or
// a value below the records names nothing, a stray address is a fault). `element` with a name no
// element has is a fault that ends the play.
std::span<const brain::RoutineEntry> LookupRoutines();

}  // namespace instructions
