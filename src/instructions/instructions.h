// Public header of src/instructions/: the brain instruction library, one file per family, each
// exporting one table of {name, routine}; the one binding step; and the one way brains are made
// ready to run. Routines reach everything through the current engine (state::Current()).
//
// Order: compile the play's brains (state::Play::compiler), then SetUpBrains, then run brain steps
// (brain::RunBrains on play->brains).
#pragma once

#include <span>
#include <string>
#include <vector>

#include "brain/brain.h"
#include "instructions/arithmetic.h"
#include "instructions/collisions.h"
#include "instructions/element_memory.h"
#include "instructions/ground.h"
#include "instructions/input.h"
#include "instructions/lookup.h"
#include "instructions/motion.h"
#include "instructions/network.h"
#include "instructions/polygons.h"
#include "instructions/program.h"
#include "instructions/rendering.h"
#include "instructions/sound.h"
#include "instructions/sprites.h"
#include "instructions/switches.h"
#include "instructions/text.h"
#include "instructions/variables.h"
#include "state/state.h"

namespace instructions {

// Every family's table.
std::vector<std::span<const brain::RoutineEntry>> RoutineFamilies();

// Binds every family's routines at their slots (brain::BindRoutines). False, with each problem
// described, when a family names something that is no instruction or binds a routine twice.
bool BindAllRoutines(brain::RoutineSlots* slots, std::vector<std::string>* problems);

// Gets the brains of engine.play ready to run, after their compilation: makes `engine` the current
// engine, points the play's runtime at the engine's arena for elements 0..lastElement with the
// engine's backend and the compiler's picking, binds every family, resolves the picking routine,
// and translates the brains for the native backend (the reasons of brains left to the interpreter
// go to `refused` when given). The runtime's runtimeError is the caller's to set; a missing
// instruction is reported on stderr unless the caller set missingInstruction.
void SetUpBrains(state::Engine& engine, int32_t lastElement, std::vector<std::string>* refused = nullptr);

}  // namespace instructions
