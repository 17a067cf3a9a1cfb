// Program control: the play's exit target, pause, saved games, the position stack, the debug
// value, the command-line numbers, the tick rate and the date. Calls the current engine.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "brain/brain.h"
#include "state/state.h"

namespace instructions {

// The program-control routines (the table at the top of program.cpp).
std::span<const brain::RoutineEntry> ProgramRoutines();

// How many numbers the game's command line holds, and number `index` of them (0 outside).
int32_t ParCount(const state::Engine& engine);
int32_t ParGet(const state::Engine& engine, int32_t index);

// `save` and `save_x`: in a finished game only (false elsewhere, nothing written), renders a frame
// and writes the saved game of `slot` through a temporary file, the sound muted meanwhile; a
// failure is said on stderr and the play goes on (false). The next tick is due one period after it.
bool SaveGame(state::Engine& engine, int32_t slot);
// `reset`: in a finished game only (false elsewhere, nothing happens), starts a new instance of
// the running executable without arguments (through engine.hooks.startInstance when set) and sets
// the play's exit target to kExitSystem, so this one ends without the end picture. When no new
// instance starts the play goes on (a line on stderr, false).
bool ResetGame(state::Engine& engine);
// `resume` and `resume_x`: in a finished game only, when the slot's file is a whole saved game,
// sets the play's exit target to kExitResume (the chain restores it) and remembers the slot. A
// missing file does nothing; a file of the wrong size is said on stderr and does nothing.
bool RequestResume(state::Engine& engine, int32_t slot);
// "Debug value: 42 (HEX: 0x2A)": upper-case digits, a negative value as its 32-bit pattern.
std::string DebugText(int32_t value);

}  // namespace instructions
