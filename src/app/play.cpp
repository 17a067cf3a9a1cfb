// One play of a project: state records, brain compilation, the tick loop and the run-time error.
#include <climits>
#include <cstdio>

#include "app/app.h"
#include "instructions/instructions.h"
#include "model/model.h"

namespace app {

void ShowRuntimeError(Engine& engine, const std::string& text) {
  engine.platform.ShowCursor(true);
  platform::MessageBoxRequest box;
  box.caption = "Runtime Error";
  box.text = text;
  for (char& c : box.text) {
    if (c == '|') c = '\n';
  }
  box.buttons = {"OK"};
  engine.platform.ShowMessageBox(box);
  engine.platform.ShowCursor(false);
  // The time spent in the box is not caught up.
  if (engine.play) {
    engine.play->deadline = engine.platform.clock().Now() + engine.play->period;
    engine.play->exitTarget = kExitRuntimeError;
  }
}

int32_t PlayProject(Engine& engine) {
  engine.play = std::make_unique<Play>();
  Play& play = *engine.play;
  play.random.table = engine.arena.Host(core::Region::kRandom);

  // State records from the element records; ranges are drawn while playing.
  model::ConversionOptions conversion;
  conversion.displayMode = engine.display.displayMode;
  conversion.playing = true;
  conversion.recordsAddress = engine.arena.Address(core::Region::kElementRecords);
  conversion.random = &play.random;
  std::vector<model::ElementSetup> setups;
  model::FillStateRecords(&engine.project, conversion, engine.arena.As<int32_t>(core::Region::kElementRecords),
                          &setups);

  // Brains: compiled into the code area, then prepared for the chosen backend.
  brain::CompilerState& compiler = play.compiler;
  compiler.playerRun = engine.playerRun;
  compiler.tickCounter = &play.brains.tickCounter;
  compiler.showErrorBox = [&engine](const std::string& text) { ShowProgramBox(engine, text, {" OK "}); };
  compiler.showValueBox = [&engine](const std::string& text) { ShowProgramBox(engine, text, {" OK "}); };
  brain::BeginCompilation(&compiler, &engine.arena);
  brain::CompileAllBrains(&compiler, engine.project);

  brain::BrainRuntime& brains = play.brains;
  brains.arena = &engine.arena;
  brains.lastElement = engine.project.LastIndex();
  brains.backend = engine.options.brains;
  brains.pickedElement = compiler.picking ? 1u : 0u;
  brains.routines.assign(brain::kInstructionRowCount, nullptr);
  instructions::BindMotion(&brains.routines, &engine.arena);
  brains.runtimeError = [&engine](const std::string& text) { ShowRuntimeError(engine, text); };
  brains.missingInstruction = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
  std::vector<std::string> refused;
  brain::PrepareBrains(&brains, &refused);
  for (const std::string& reason : refused) std::fprintf(stderr, "main: brain interpreted: %s\n", reason.c_str());
  const brain::FaultPlace place = [&engine](int32_t element, uint32_t address) {
    return "Element '" + model::ElementField(engine.project.records[static_cast<size_t>(element)], 1) +
           "', brain line " + std::to_string(brain::SourceLineAt(engine.play->compiler, address));
  };

  // The tick loop. Rendering is an empty frame until the scene exists.
  const int32_t ticks = engine.options.ticks >= 0 ? engine.options.ticks : (engine.platform.IsHeadless() ? 3 : INT32_MAX);
  play.deadline = engine.platform.clock().Now();
  for (int32_t tick = 0; tick < ticks && play.exitTarget == kExitNone; ++tick) {
    PumpInput(engine);
    if (engine.platform.Input().scanDown[0x01]) break;
    brain::RunBrains(&brains, place);
    if (play.exitTarget != kExitNone) break;
    engine.platform.BeginFrame({0, 16, 32});
    engine.platform.Present();
    play.deadline += play.period;
    engine.platform.clock().WaitUntil(play.deadline);
  }
  brains.native.Forget();
  return play.exitTarget;
}

}  // namespace app
