// Sound: what brains ask of their elements' sounds and of the sound system. Elements are record
// addresses; an element argument that names nothing answers 0 and changes nothing. While the sound
// system is off, or for an element without a sound, they do nothing and answer 0.
//
// | Instruction          | Arguments      | Effect                                                  |
// |----------------------|----------------|---------------------------------------------------------|
// | play_sound           | element        | plays the sound from its start: once when status bit 4  |
// |                      |                | is set, else looping; placed at the element and every   |
// |                      |                | deferred sound setting committed                        |
// | stop_sound           | element        | stops the sound when the element is on                  |
// | sound_status         | element        | -1 while the sound plays, else 0                        |
// | sound_mode_set       | element, mode  | status bit 4 (played once) = mode & 1                   |
// | sound_rate_set,      | element, rate  | word 33 = rate; frequency = (rate x word 34) >> 12,     |
// | samplerate_set       |                | within 100..100000 Hz (4096: the file's own rate)       |
// | hearer, listener     | element        | the element hears the sounds; the listener follows it   |
// | stop_sound_system    |                | every sound released (those playing remembered), the    |
// |                      |                | device closed                                           |
// | restart_sound_system |                | the device and sounds made again as at play start, the  |
// |                      |                | remembered sounds played again                          |
#include "instructions/sound.h"

#include "instructions/arguments.h"

namespace instructions {
namespace {

engine::ElementSounds* Sounds() {
  state::Engine& engine = state::Current();
  return engine.play ? &engine.play->sounds : nullptr;
}

int32_t IndexOf(const core::Arena* arena, const int32_t* record) {
  return static_cast<int32_t>((record - arena->As<const int32_t>(core::Region::kElementRecords)) / model::kRecordWords);
}

int32_t play_sound(const core::Arena* arena, int32_t* record, const brain::Regs&) {
  if (engine::ElementSounds* sounds = Sounds()) sounds->Play(IndexOf(arena, record));
  return 0;
}

int32_t stop_sound(const core::Arena* arena, int32_t* record, const brain::Regs&) {
  if (engine::ElementSounds* sounds = Sounds()) sounds->StopElement(IndexOf(arena, record));
  return 0;
}

int32_t sound_status(const core::Arena* arena, int32_t* record, const brain::Regs&) {
  const engine::ElementSounds* sounds = Sounds();
  return sounds != nullptr && sounds->IsPlaying(IndexOf(arena, record)) ? -1 : 0;
}

int32_t sound_mode_set(const core::Arena* arena, int32_t* record, const brain::Regs& regs) {
  if (engine::ElementSounds* sounds = Sounds()) sounds->SetOneShot(IndexOf(arena, record), static_cast<int32_t>(regs.ebx));
  return 0;
}

int32_t sound_rate_set(const core::Arena* arena, int32_t* record, const brain::Regs& regs) {
  if (engine::ElementSounds* sounds = Sounds()) sounds->SetRate(IndexOf(arena, record), static_cast<int32_t>(regs.ebx));
  return 0;
}

// The hearer is a plain index kept for the whole run (saved games store it), so it is taken
// whether or not sound is on.
int32_t hearer(const core::Arena* arena, int32_t* record, const brain::Regs&) {
  state::Current().listener = IndexOf(arena, record);
  return 0;
}

bool stop_sound_system(brain::Regs* regs, std::string*) {
  if (engine::ElementSounds* sounds = Sounds()) sounds->Stop();
  regs->eax = 0;
  return true;
}

bool restart_sound_system(brain::Regs* regs, std::string*) {
  if (engine::ElementSounds* sounds = Sounds()) sounds->Restart();
  regs->eax = 0;
  return true;
}

constexpr brain::RoutineEntry kSoundRoutines[] = {
    {"play_sound", OneElement<play_sound>},
    {"stop_sound", OneElement<stop_sound>},
    {"sound_status", OneElement<sound_status>},
    {"sound_mode_set", OneElement<sound_mode_set>},
    {"sound_rate_set", OneElement<sound_rate_set>},
    {"hearer", OneElement<hearer>},
    {"stop_sound_system", stop_sound_system},
    {"restart_sound_system", restart_sound_system},
};

}  // namespace

std::span<const brain::RoutineEntry> SoundRoutines() { return kSoundRoutines; }

void PlayElementSound(const int32_t* record) {
  if (engine::ElementSounds* sounds = Sounds()) sounds->Play(IndexOf(&state::Current().arena, record));
}

void StopElementSound(const int32_t* record) {
  if (engine::ElementSounds* sounds = Sounds()) sounds->StopElement(IndexOf(&state::Current().arena, record));
}

}  // namespace instructions
