// Switch and bit instructions: the status word's switches and bits and the signal word of element
// state records. Calls core/arena, model/state_record, the brain runner's types, the current
// engine (its arena, and its play for the last element) and the sound family's element steps.
//
// | Instruction  | Arguments            | Effect                                                        |
// |--------------|----------------------|---------------------------------------------------------------|
// | on           | element              | sets bit 0, shows the first aspect slot (word 0 = word 1),    |
// |              |                      | starts the element's sound                                    |
// | off          | element              | stops the element's sound unless bit 4 is set; clears bit 0   |
// | status       | element              | 1 when bit 0 is set, else 0                                   |
// | show, hide   | element              | sets or clears bit 6 (visible)                                |
// | enable,      | element              | clears or sets bit 1 (disabled)                               |
// | disable      |                      |                                                               |
// | on_list      | first, count, step   | switches on, as `on` does, the first element that is off      |
// |              |                      | among first, first + step, ... (count of them, none past the  |
// |              |                      | last element) and returns it; 0 when all are on; the first    |
// |              |                      | argument unchanged when count or step is not positive         |
// | on_range     | first, last          | on_list(first, (last - first) / 1024, 1): last is left out    |
// | state        | element, mask        | returns status word & mask                                    |
// | state_set    | element, mask        | status word |= mask                                           |
// | state_reset  | element, mask        | status word &= mask ^ 0x0FFFFFFF: also clears bits 28 to 31   |
// |              |                      | that the mask does not have                                   |
// | signal,      | element, mask        | the same three on the signal word                             |
// | signal_set,  |                      |                                                               |
// | signal_reset |                      |                                                               |
//
// An element argument that names nothing (a frame handle, or a value below the record array) makes
// an instruction change nothing and answer 0; a stray address inside or past the array ends the
// play. For a frame handle `show`, `hide`, `enable` and `disable` will switch the frame's render or
// pick option once loaded objects have frames; until then they do nothing either. Instructions that
// return nothing leave 0 in EAX.
#include "instructions/switches.h"

#include <algorithm>

#include "instructions/arguments.h"
#include "instructions/sound.h"

namespace instructions {
namespace {

using model::kStatusDisabled;
using model::kStatusOn;
using model::kStatusSoundMode;
using model::kStatusVisible;
using model::kWordSignals;
using model::kWordStatus;

// The reset instructions keep word & (mask ^ 0x0FFFFFFF), not word & ~mask: bits 0 to 27 of the
// mask are cleared, but bits 28 to 31 survive only where the mask has them set, so a reset with
// mask 0 clears bits 28 to 31. Brains rely on that to drop the top bits.
constexpr uint32_t kResetKeeps = 0x0FFFFFFFu;

uint32_t Bits(const int32_t* record, int word) { return static_cast<uint32_t>(record[word]); }
void SetBits(int32_t* record, int word, uint32_t bits) { record[word] = static_cast<int32_t>(bits); }

void SwitchOn(int32_t* record) {
  SetBits(record, kWordStatus, Bits(record, kWordStatus) | kStatusOn);
  record[model::kWordCurrentAspect] = record[model::kWordFirstAspect];
  PlayElementSound(record);
}

int32_t on(const core::Arena*, int32_t* record, const brain::Regs&) {
  SwitchOn(record);
  return 0;
}

// Bit 4 hands the sound to the brain: switching the element off leaves it playing.
int32_t off(const core::Arena*, int32_t* record, const brain::Regs&) {
  if ((Bits(record, kWordStatus) & kStatusSoundMode) == 0) StopElementSound(record);
  SetBits(record, kWordStatus, Bits(record, kWordStatus) & ~kStatusOn);
  return 0;
}

// 1, not the bit's truth value -1: brains compare it with 1.
int32_t status(const core::Arena*, int32_t* record, const brain::Regs&) {
  return (Bits(record, kWordStatus) & kStatusOn) != 0 ? 1 : 0;
}

template <int kWord, uint32_t kBit, bool kSet>
int32_t Switch(const core::Arena*, int32_t* record, const brain::Regs&) {
  const uint32_t bits = Bits(record, kWord);
  SetBits(record, kWord, kSet ? bits | kBit : bits & ~kBit);
  return 0;
}

template <int kWord>
int32_t Test(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  return static_cast<int32_t>(Bits(record, kWord) & regs.ebx);
}
template <int kWord>
int32_t Set(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  SetBits(record, kWord, Bits(record, kWord) | regs.ebx);
  return 0;
}
template <int kWord>
int32_t Reset(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  SetBits(record, kWord, Bits(record, kWord) & (regs.ebx ^ kResetKeeps));
  return 0;
}

// Index of the played project's last element, never past the record array; -1 without a play.
int64_t LastElement() {
  const state::Engine& engine = state::Current();
  if (!engine.play) return -1;
  return std::min<int64_t>(engine.play->brains.lastElement, model::kMaxElements - 1);
}

// Switches on the first element that is off among first, first + step, ..., count of them at most
// and none past the last element, which keeps any count and step inside the records. Answers the
// element switched on, or 0. Count and step are positive.
bool SwitchOnFirstOff(brain::Regs* regs, int64_t count, int64_t step, std::string* fault) {
  const core::Arena* arena = &state::Current().arena;
  int32_t* record = ElementRecord(arena, regs->eax, fault);
  regs->eax = 0;
  if (record == nullptr) return fault->empty();
  int32_t* const records = arena->As<int32_t>(core::Region::kElementRecords);
  const int64_t first = (record - records) / model::kRecordWords;
  const int64_t last = LastElement();
  const int64_t reachable = first > last ? 0 : (last - first) / step + 1;
  for (int64_t index = first, left = std::min(count, reachable); left > 0; --left, index += step) {
    int32_t* candidate = records + index * model::kRecordWords;
    if ((Bits(candidate, kWordStatus) & kStatusOn) != 0) continue;
    SwitchOn(candidate);
    regs->eax = arena->Address(core::Region::kElementRecords) + static_cast<uint32_t>(index) * model::kRecordBytes;
    return true;
  }
  return true;
}

bool on_list(brain::Regs* regs, std::string* fault) {
  const auto count = static_cast<int32_t>(regs->ebx);
  const auto step = static_cast<int32_t>(regs->ecx);
  if (count <= 0 || step <= 0) return true;
  return SwitchOnFirstOff(regs, count, step, fault);
}

// The count is the 32-bit difference of the two addresses in whole records, so the last element
// is never visited: from an element to the next one only the first is.
bool on_range(brain::Regs* regs, std::string* fault) {
  const auto count = static_cast<int32_t>(regs->ebx - regs->eax) / model::kRecordBytes;
  if (count <= 0) return true;
  return SwitchOnFirstOff(regs, count, 1, fault);
}

constexpr brain::RoutineEntry kSwitchRoutines[] = {
    {"on", OneElement<on>},
    {"off", OneElement<off>},
    {"status", OneElement<status>},
    {"show", OneElement<Switch<kWordStatus, kStatusVisible, true>>},
    {"hide", OneElement<Switch<kWordStatus, kStatusVisible, false>>},
    {"enable", OneElement<Switch<kWordStatus, kStatusDisabled, false>>},
    {"disable", OneElement<Switch<kWordStatus, kStatusDisabled, true>>},
    {"on_list", on_list},
    {"on_range", on_range},
    {"state", OneElement<Test<kWordStatus>>},
    {"state_set", OneElement<Set<kWordStatus>>},
    {"state_reset", OneElement<Reset<kWordStatus>>},
    {"signal", OneElement<Test<kWordSignals>>},
    {"signal_set", OneElement<Set<kWordSignals>>},
    {"signal_reset", OneElement<Reset<kWordSignals>>},
};

}  // namespace

std::span<const brain::RoutineEntry> SwitchRoutines() { return kSwitchRoutines; }

}  // namespace instructions
