// Global variable instructions: the 2048 globals every brain of a game shares.
//
// | Instruction  | Arguments     | Effect                                             |
// |--------------|---------------|----------------------------------------------------|
// | global       | number        | returns global (number modulo 2048)                |
// | global_set   | number, value | sets it; then the shared globals other machines    |
// |              |               | own get their received values back                 |
// | global_add   | number, value | adds to it, wrapping like the 32-bit add           |
// | globals_sort | first, last   | sorts globals first..last in place, ascending and  |
// |              |               | signed; nothing when last < first, last >= 2048 or |
// |              |               | first < 0                                          |
#include "instructions/variables.h"

#include <algorithm>

#include "instructions/arguments.h"
#include "instructions/network.h"

namespace instructions {
namespace {

// Numbers are taken modulo 2048, so a brain can never reach past the block.
int32_t& Global(uint32_t number) {
  return state::Current().arena.As<int32_t>(core::Region::kGlobals)[number & (model::kGlobalCount - 1)];
}

bool global(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(Global(regs->eax));
  return true;
}

bool global_set(brain::Regs* regs, std::string*) {
  Global(regs->eax) = static_cast<int32_t>(regs->ebx);
  // A global another machine owns follows that machine, whatever a local brain sets.
  ReapplySharedGlobals();
  return true;
}

bool global_add(brain::Regs* regs, std::string*) {
  int32_t& value = Global(regs->eax);
  value = AddWrapping(value, static_cast<int32_t>(regs->ebx));
  return true;
}

// Equal values are indistinguishable, so any sort gives the one ascending order; EAX is left 0.
bool globals_sort(brain::Regs* regs, std::string*) {
  const auto first = static_cast<int32_t>(regs->eax);
  const auto last = static_cast<int32_t>(regs->ebx);
  regs->eax = 0;
  if (last < first || last >= model::kGlobalCount || first < 0) return true;
  int32_t* globals = state::Current().arena.As<int32_t>(core::Region::kGlobals);
  std::sort(globals + first, globals + last + 1);
  return true;
}

constexpr brain::RoutineEntry kVariableRoutines[] = {
    {"global", global},
    {"global_set", global_set},
    {"global_add", global_add},
    {"globals_sort", globals_sort},
};

}  // namespace

std::span<const brain::RoutineEntry> VariableRoutines() { return kVariableRoutines; }

}  // namespace instructions
