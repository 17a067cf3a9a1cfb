// The binding of every instruction family and the brain runtime set-up shared by plays, the
// vexel command and the benchmarks.
#include <cstdio>

#include "instructions/instructions.h"

namespace instructions {

std::vector<std::span<const brain::RoutineEntry>> RoutineFamilies() {
  return {MotionRoutines(),  VariableRoutines(),      ProgramRoutines(),    SwitchRoutines(),
          LookupRoutines(),  ElementMemoryRoutines(), ArithmeticRoutines(), InputRoutines(),
          RenderingRoutines(), SpriteRoutines(), TextRoutines(), SoundRoutines(), CollisionRoutines(),
          GroundRoutines(), PolygonRoutines(), NetworkRoutines()};
}

bool BindAllRoutines(brain::RoutineSlots* slots, std::vector<std::string>* problems) {
  bool clean = true;
  for (const std::span<const brain::RoutineEntry> family : RoutineFamilies()) {
    clean = brain::BindRoutines(family, slots, problems) && clean;
  }
  return clean;
}

void SetUpBrains(state::Engine& engine, int32_t lastElement, std::vector<std::string>* refused) {
  state::MakeCurrent(&engine);
  state::Play& play = *engine.play;
  brain::BrainRuntime& brains = play.brains;
  brains.arena = &engine.arena;
  brains.lastElement = lastElement;
  brains.backend = engine.options.brains;
  brains.pickedElement = play.compiler.picking ? 1u : 0u;
  brains.routines.assign(static_cast<size_t>(brain::kInstructionRowCount), nullptr);
  std::vector<std::string> problems;
  // The tables are fixed; a test keeps them clean, so this only speaks after a bad edit.
  if (!BindAllRoutines(&brains.routines, &problems)) {
    for (const std::string& problem : problems) std::fprintf(stderr, "instructions: %s\n", problem.c_str());
  }
  const int pick = brain::RoutineSlotOf("visual_picked_get");
  brains.pickRoutine = pick >= 0 ? brains.routines[static_cast<size_t>(pick)] : nullptr;
  if (!brains.missingInstruction) {
    brains.missingInstruction = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
  }
  brain::PrepareBrains(&brains, refused);
}

}  // namespace instructions
