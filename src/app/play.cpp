// One play of a project: state records, brain compilation, the tick loop and the run-time error.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "instructions/instructions.h"
#include "model/model.h"

namespace app {

void ShowRuntimeError(Engine& engine, const std::string& text) {
  engine.platform.window->ShowCursor(true);
  platform::MessageBoxRequest box;
  box.caption = "Runtime Error";
  box.text = text;
  for (char& c : box.text) {
    if (c == '|') c = '\n';
  }
  box.buttons = {"OK"};
  engine.platform.window->ShowMessageBox(box);
  engine.platform.window->ShowCursor(false);
  // The time spent in the box is not caught up.
  if (engine.play) {
    engine.play->deadline = engine.platform.clock().Now() + engine.tickPeriod;
    engine.play->exitTarget = kExitRuntimeError;
  }
}

namespace {

void RenderFrame(Engine& engine) {
  if (!engine.active) return;  // an inactive window draws nothing; the logic goes on
  engine.platform.gl->BeginFrame({0, 16, 32});
  engine.platform.gl->Present();
}

// Routines that reach into the play and the process: the exit target, the command-line numbers
// and the tick rate.
void BindProgramRoutines(Engine& engine, std::vector<brain::Routine>* routines) {
  auto bind = [routines](const char* name, brain::Routine routine) {
    brain::BindRoutine(routines, name, std::move(routine));
  };
  bind("exit", [&engine](brain::Regs* r, std::string*) {
    // -1 is "play on": it never ends a play.
    if (static_cast<int32_t>(r->eax) != kExitNone) engine.play->exitTarget = static_cast<int32_t>(r->eax);
    return true;
  });
  bind("par_count", [&engine](brain::Regs* r, std::string*) {
    r->eax = static_cast<uint32_t>(ParCount(engine));
    return true;
  });
  bind("par_get", [&engine](brain::Regs* r, std::string*) {
    r->eax = static_cast<uint32_t>(ParGet(engine, static_cast<int32_t>(r->eax)));
    return true;
  });
  bind("max_framerate_set", [&engine](brain::Regs* r, std::string*) {
    const auto rate = static_cast<int32_t>(r->eax);
    if (rate >= 15 && rate <= 250) {
      engine.maxFramerate = rate;
      engine.tickPeriod = static_cast<uint32_t>(4500 / rate);
    }
    return true;
  });
  bind("max_framerate", [&engine](brain::Regs* r, std::string*) {
    r->eax = static_cast<uint32_t>(engine.maxFramerate);
    return true;
  });
}

// --timing-log: one line per loop pass, written as the play goes so a long run costs no memory.
class TimingLog {
 public:
  explicit TimingLog(const std::string& path) {
    if (path.empty()) return;
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) std::fprintf(stderr, "main: cannot write %s\n", path.c_str());
  }
  TimingLog(const TimingLog&) = delete;
  TimingLog& operator=(const TimingLog&) = delete;
  ~TimingLog() {
    if (file_ != nullptr) std::fclose(file_);
  }
  void Late(int32_t step, uint64_t pass, uint32_t now, uint32_t deadline) {
    if (file_ != nullptr) std::fprintf(file_, "%d %llu %u %u late\n", step, static_cast<unsigned long long>(pass), now, deadline);
  }
  void Frame(int32_t step, uint64_t pass, uint32_t now, uint32_t deadline, int64_t lateMicroseconds) {
    if (file_ == nullptr) return;
    std::fprintf(file_, "%d %llu %u %u frame %lld\n", step, static_cast<unsigned long long>(pass), now, deadline,
                 static_cast<long long>(lateMicroseconds));
  }

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace

std::string DumpStateRecords(const Engine& engine) {
  auto quoted = [](const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
      if (c == '"' || c == '\\') out += '\\';
      if (c < 0x20) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
        out += escaped;
      } else {
        out += static_cast<char>(c);
      }
    }
    return out + "\"";
  };
  const int32_t tick = engine.play ? engine.play->brains.tickCounter : 0;
  const int32_t exitTarget = engine.play ? engine.play->exitTarget : kExitNone;
  std::string json = "{\"tick\": " + std::to_string(tick) + ", \"exit_target\": " + std::to_string(exitTarget) +
                     ", \"elements\": [";
  const auto* records = engine.arena.As<const int32_t>(core::Region::kElementRecords);
  for (int32_t i = 0; i <= engine.project.LastIndex() && i < model::kMaxElements; ++i) {
    const int32_t* words = records + i * model::kRecordWords;
    json += i == 0 ? "\n" : ",\n";
    json += "{\"index\": " + std::to_string(i) + ", \"name\": " +
            quoted(model::ElementField(engine.project.records[static_cast<size_t>(i)], 1)) + ", \"words\": [";
    for (int w = 0; w < model::kRecordWords; ++w) json += (w == 0 ? "" : ", ") + std::to_string(words[w]);
    json += "], \"named\": {";
    bool first = true;
    for (int w = 0; w < model::kRecordWords; ++w) {
      const char* name = model::WordName(w);
      if (name == nullptr) continue;
      json += (first ? "\"" : ", \"") + std::string(name) + "\": " + std::to_string(words[w]);
      first = false;
    }
    json += "}}";
  }
  return json + "]}\n";
}

void MarkFlatFrames(const core::Arena& arena, int32_t lastElement) {
  auto* records = arena.As<int32_t>(core::Region::kElementRecords);
  for (int32_t i = 0; i <= lastElement && i < model::kMaxElements; ++i) {
    int32_t* words = records + i * model::kRecordWords;
    if ((static_cast<uint32_t>(words[model::kWordStatus]) & model::kStatusOn) == 0) continue;
    const uint8_t* slot =
        arena.GuestToHostIn(core::Region::kAspectSlots, static_cast<uint32_t>(words[model::kWordCurrentAspect]), 4);
    if (slot != nullptr && std::memcmp(slot, "d3f.", 4) == 0) words[model::kWordExtent0] = 2;
  }
}

int32_t ReadTestPlayGlobals(Engine& engine) {
  auto* globals = engine.arena.As<int32_t>(core::Region::kGlobals);
  std::fill_n(globals, model::kGlobalCount, 0);
  std::string text;
  if (!core::ReadFile(engine.paths.working + "temp/globvars.dat", &text)) return 0;
  return model::ReadGlobalsText(text, engine.globalsFirst, engine.globalsLast, globals);
}

int32_t PlayProject(Engine& engine) {
  engine.play = std::make_unique<Play>();
  engine.playing = true;
  Play& play = *engine.play;
  play.random.table = engine.arena.Host(core::Region::kRandom);
  const bool testPlay = !engine.gamePlay;
  if (testPlay) {
    ReadTestPlayGlobals(engine);
    engine.platform.window->ShowNotice("Loading data, please wait...");
  }

  // State records from the element records; ranges are drawn while playing.
  model::ConversionOptions conversion;
  conversion.displayMode = engine.display.displayMode;
  conversion.playing = true;
  conversion.recordsAddress = engine.arena.Address(core::Region::kElementRecords);
  conversion.random = &play.random;
  std::vector<model::ElementSetup> setups;
  model::FillStateRecords(&engine.project, conversion, engine.arena.As<int32_t>(core::Region::kElementRecords),
                          &setups);

  // The scene is built here once it exists.
  if (testPlay) engine.platform.window->ShowNotice("Initializing objects, please wait...");

  // Brains: compiled into the code area, then prepared for the chosen backend.
  if (testPlay) engine.platform.window->ShowNotice("Compiling brains, please wait...");
  brain::CompilerState& compiler = play.compiler;
  compiler.playerRun = engine.playerRun;
  compiler.tickCounter = &play.brains.tickCounter;
  compiler.showErrorBox = [&engine](const std::string& text) { ShowProgramBox(engine, text, {" OK "}); };
  compiler.showValueBox = [&engine](const std::string& text) { ShowProgramBox(engine, text, {" OK "}); };
  brain::BeginCompilation(&compiler, &engine.arena);
  brain::CompileAllBrains(&compiler, engine.project);
  if (engine.gamePlay) DeleteWorkingCopies(engine.paths.working);

  brain::BrainRuntime& brains = play.brains;
  brains.arena = &engine.arena;
  brains.lastElement = engine.project.LastIndex();
  brains.backend = engine.options.brains;
  brains.pickedElement = compiler.picking ? 1u : 0u;
  brains.routines.assign(brain::kInstructionRowCount, nullptr);
  instructions::BindMotion(&brains.routines, &engine.arena, &brains.tickCounter);
  instructions::BindVariables(&brains.routines, &engine.arena);
  brains.runtimeError = [&engine](const std::string& text) { ShowRuntimeError(engine, text); };
  brains.missingInstruction = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
  std::vector<std::string> refused;
  brain::PrepareBrains(&brains, &refused);
  for (const std::string& reason : refused) std::fprintf(stderr, "main: brain interpreted: %s\n", reason.c_str());
  const brain::FaultPlace place = [&engine](int32_t element, uint32_t address) {
    return "Element '" + model::ElementField(engine.project.records[static_cast<size_t>(element)], 1) +
           "', brain line " + std::to_string(brain::SourceLineAt(engine.play->compiler, address));
  };

  BindProgramRoutines(engine, &brains.routines);

  // Play start: the play-wide fog is kept for after the play; four logic steps settle the
  // elements; the first frame; then the deadline. Rendering is an empty frame until the scene
  // exists.
  const model::Fog fog = engine.project.fog;
  std::vector<uint8_t> keptMap;
  if (testPlay) {
    engine.platform.window->ShowNotice("");
    const uint8_t* map = engine.arena.Host(core::Region::kCollisionMap);
    keptMap.assign(map, map + model::kCollisionMapBytes);
    if (const uint32_t free = brain::StringStoreFree(compiler); free < brain::kLowStringMemory) {
      ShowProgramBox(engine, brain::ValueBoxText(free, "Warning! Internal string memory low."), {" OK "});
    }
  }
  TimingLog log(engine.options.timingLogPath);
  const int32_t ticks = engine.options.ticks >= 0 ? engine.options.ticks : (engine.platform.IsHeadless() ? 3 : INT32_MAX);
  int32_t steps = 0;
  for (int settle = 0; settle < 4 && !brains.faulted; ++settle) brain::RunBrains(&brains, place);
  engine.firstFrame = true;
  RenderFrame(engine);
  engine.firstFrame = false;
  MarkFlatFrames(engine.arena, engine.project.LastIndex());
  play.deadline = engine.platform.clock().Now() + engine.tickPeriod;

  // The loop: logic every pass; a pass that starts late skips its frame, so after a stall the
  // steps run back to back until they have caught up. The deadline never jumps.
  while (steps < ticks) {
    PumpInput(engine);
    bool escape = false;
    if (testPlay) {
      engine.readKeyScan = 0;
      ReadKey(engine);
      escape = engine.readKeyScan == 0x01;
    } else if (engine.project.records.empty()) {
      escape = engine.platform.window->Input().scanDown[0x01];  // nothing plays yet: Escape leaves
    }
    brain::RunBrains(&brains, place);
    ++steps;
    if (play.exitTarget != kExitNone || escape) break;
    platform::Clock& time = engine.platform.clock();
    const uint32_t now = time.Now();
    if (static_cast<int32_t>(now - play.deadline) > 0) {
      log.Late(steps, engine.platform.window->PumpPasses() - 1, now, play.deadline);
      play.deadline += engine.tickPeriod;
      continue;
    }
    time.WaitUntil(play.deadline + 1);
    log.Frame(steps, engine.platform.window->PumpPasses() - 1, now, play.deadline, time.MicrosecondsPast(play.deadline + 1));
    play.deadline += engine.tickPeriod;
    RenderFrame(engine);
  }
  engine.project.fog = fog;
  if (testPlay) std::copy(keptMap.begin(), keptMap.end(), engine.arena.Host(core::Region::kCollisionMap));
  play.steps = steps;
  if (!engine.options.dumpPath.empty() && !core::WriteFileAtomic(engine.options.dumpPath, DumpStateRecords(engine))) {
    std::fprintf(stderr, "main: cannot write %s\n", engine.options.dumpPath.c_str());
  }
  brains.native.Forget();
  engine.playing = false;
  if (testPlay) FlushInput(engine);
  return play.exitTarget;
}

}  // namespace app
