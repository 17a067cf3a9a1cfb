// Sound instructions: an element's sound started, stopped, asked about and retuned, the hearer,
// and the sound system stopped and restarted. Calls the current engine's play and its sound layer.
#pragma once

#include <cstdint>
#include <span>

#include "brain/brain.h"

namespace instructions {

// `play_sound`, `stop_sound`, `sound_status`, `sound_mode_set`, `sound_rate_set` (also
// `samplerate_set`), `hearer` (also `listener`), `stop_sound_system` and `restart_sound_system`.
std::span<const brain::RoutineEntry> SoundRoutines();

// The sound steps of `on` and `off`: play_sound and stop_sound on the element whose record this is.
void PlayElementSound(const int32_t* record);
void StopElementSound(const int32_t* record);

}  // namespace instructions
