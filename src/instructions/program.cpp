// Program instructions: what a brain tells the play and the process, and what it reads of the
// game's command line.
//
// | Instruction       | Arguments | Effect                                                        |
// |-------------------|-----------|---------------------------------------------------------------|
// | exit              | target    | ends the play after this step with the target (-1: play on)   |
// | par_count         |           | returns how many numbers the command line holds               |
// | par_get           | index     | returns number `index` of the command line (0 outside)        |
// | max_framerate_set | rate      | 15..250 ticks a second for the rest of the process            |
// | max_framerate     |           | returns the tick rate                                         |
#include "instructions/program.h"

namespace instructions {
namespace {

bool exit(brain::Regs* regs, std::string*) {
  state::Engine& engine = state::Current();
  // -1 is "play on": it never ends a play.
  const auto target = static_cast<int32_t>(regs->eax);
  if (target != state::kExitNone && engine.play) engine.play->exitTarget = target;
  return true;
}

bool par_count(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(ParCount(state::Current()));
  return true;
}

bool par_get(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(ParGet(state::Current(), static_cast<int32_t>(regs->eax)));
  return true;
}

// A rate outside the range is ignored.
bool max_framerate_set(brain::Regs* regs, std::string*) {
  state::Engine& engine = state::Current();
  const auto rate = static_cast<int32_t>(regs->eax);
  if (rate >= state::kMinFramerate && rate <= state::kMaxFramerate) {
    engine.maxFramerate = rate;
    engine.tickPeriod = state::TickPeriodAt(rate);
  }
  return true;
}

bool max_framerate(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(state::Current().maxFramerate);
  return true;
}

constexpr brain::RoutineEntry kProgramRoutines[] = {
    {"exit", exit},
    {"par_count", par_count},
    {"par_get", par_get},
    {"max_framerate_set", max_framerate_set},
    {"max_framerate", max_framerate},
};

}  // namespace

std::span<const brain::RoutineEntry> ProgramRoutines() { return kProgramRoutines; }

int32_t ParCount(const state::Engine& engine) { return static_cast<int32_t>(engine.commandLine.size()); }

int32_t ParGet(const state::Engine& engine, int32_t index) {
  if (index < 0 || index >= ParCount(engine)) return 0;
  return engine.commandLine[static_cast<size_t>(index)];
}

}  // namespace instructions
