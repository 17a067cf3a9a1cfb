// Network instructions: the machine number, the session's state, element owners and text messages
// between machines. Calls the current engine's network session and records.
#pragma once

#include <span>

#include "brain/brain.h"

namespace instructions {

// machine_number_set, machine_number, machine_status, network_mismatch, network_mode, host,
// machine_element, machine_element_find, str_send, str_poll. Without a session they answer as a
// machine alone does.
std::span<const brain::RoutineEntry> NetworkRoutines();

// After global_set: the shared globals other machines own get their received values back.
void ReapplySharedGlobals();

}  // namespace instructions
