// One play of a project: state records, brain compilation, the tick loop and the run-time error.
#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "core/core.h"
#include "instructions/instructions.h"
#include "model/model.h"

namespace app {

namespace {

void RenderFrame(Engine& engine) {
  if (!engine.active) return;  // an inactive window draws nothing; the logic goes on
  // any_input_exit asks whether the pointer moved since the frame the player last saw.
  engine.frameMouseX = engine.mouseX;
  engine.frameMouseY = engine.mouseY;
  engine.platform.gl->BeginFrame({0, 0, 0});
  if (engine.play && engine.play->scene.Built()) engine.play->scene.Render(&engine.display, engine.renderer.get());
  engine.platform.gl->Present();
}

// Without a GL frame (a run without a display) the scene is still built, updated and picked.
void BuildScene(Engine& engine) {
  Play& play = *engine.play;
  OpenRenderer(engine);
  engine::SceneSources sources;
  sources.arena = &engine.arena;
  sources.lastElement = engine.project.LastIndex();
  sources.display = &engine.display;
  sources.project = engine.project.settings;
  sources.backdropPicture = engine.project.backgroundPath;
  sources.backdropRepetitions = engine.project.backgroundRepetitions;
  sources.root = engine.paths.working;
  sources.dataFolder = engine.paths.data;
  sources.textures = &play.visuals->textures;
  sources.scrambled = engine.model.finishedGame;
  sources.imports = &engine.modelImports;
  play.scene.fog = &engine.project.fog;
  // The text of the 2D pass, after the bridge's sprites and counters.
  play.scene.draw2d = [&engine](const engine::Surface& surface) {
    engine::DrawTextQueue(&engine.play->text, surface,
                          [&engine](uint32_t text) { return instructions::PrintedTextOf(engine, text); });
  };
  play.scene.pending2d = [&engine] { return engine.play->text.queue.Used() > 0; };
  play.scene.Build(sources);
}

// The sound system starts where the scene is built, with the hearer at element 0; the scene's
// update places the sounds and each rendered frame commits them.
void StartSounds(Engine& engine) {
  Play& play = *engine.play;
  engine.listener = 0;
  engine::SoundSources sources;
  sources.audio = engine.platform.audio.get();
  sources.arena = &engine.arena;
  sources.lastElement = engine.project.LastIndex();
  sources.records = &engine.project.records;
  sources.files = &engine.model;
  sources.scrambled = engine.model.finishedGame;
  sources.sound = engine.settings.sound;
  sources.mixing = engine.settings.soundMixing;
  play.sounds.Start(sources);
  play.scene.placeSounds = [&engine] { engine.play->sounds.Place(engine.listener); };
  play.scene.commitSounds = [&engine] { engine.play->sounds.Commit(); };
}

// --timing-log: one line per loop pass, written as the play goes so a long run costs no memory.
void LogLate(const Play& play, uint64_t pass, uint32_t now) {
  if (play.timingLog == nullptr) return;
  std::fprintf(play.timingLog, "%d %llu %u %u late\n", play.steps, static_cast<unsigned long long>(pass), now,
               play.deadline);
}

void LogFrame(const Play& play, uint64_t pass, uint32_t now, int64_t lateMicroseconds) {
  if (play.timingLog == nullptr) return;
  std::fprintf(play.timingLog, "%d %llu %u %u frame %lld\n", play.steps, static_cast<unsigned long long>(pass), now,
               play.deadline, static_cast<long long>(lateMicroseconds));
}

// Names the element and the brain line of a run-time fault.
std::string FaultPlace(const Engine& engine, int32_t element, uint32_t address) {
  return "Element '" + model::ElementField(engine.project.records[static_cast<size_t>(element)], 1) +
         "', brain line " + std::to_string(brain::SourceLineAt(engine.play->compiler, address));
}

}  // namespace

int32_t RunStepsLeft(const Engine& engine) {
  int64_t limit = engine.options.ticks;
  if (limit < 0) {
    if (!engine.platform.IsHeadless()) return INT32_MAX;
    limit = 3;  // a headless run without --ticks must end by itself
  }
  return static_cast<int32_t>(std::max<int64_t>(0, limit - engine.runSteps));
}

void RunBrainStep(Engine& engine) {
  // Every tick prints afresh: what the last tick queued has been drawn by now.
  engine.play->text.queue.Clear();
  brain::RunBrains(&engine.play->brains,
                   [&engine](int32_t element, uint32_t address) { return FaultPlace(engine, element, address); });
  instructions::CountDownPolygonTest(*engine.play);
}

namespace {

// The aspect an element shows now: its slot's tag, the picture's size where the kind has one, and
// the count of pictures the element animates through; null without a slot.
std::string AspectJson(const Engine& engine, const int32_t* words) {
  const int32_t* slot = engine::ShownSlot(engine.arena, words);
  if (slot == nullptr) return "null";
  const auto tag = static_cast<uint32_t>(slot[engine::kSlotTag]);
  int32_t width = 0, height = 0;
  bool animated = false;
  if (tag == engine::kSpriteTag) {
    width = slot[engine::kSpriteWidth];
    height = slot[engine::kSpriteHeight];
    animated = true;
  } else if (tag == engine::kFlatShapeTag) {
    width = slot[engine::kFlatShapeWidth];
    height = slot[engine::kFlatShapeHeight];
    animated = true;
  } else if (tag == engine::kCounterTag) {
    width = slot[engine::kCounterWidth];
    height = slot[engine::kCounterHeight];
  } else if (tag == engine::kFrameTag) {
    width = slot[engine::kFrameWidth];
    height = slot[engine::kFrameHeight];
  } else if (tag == engine::kBackgroundTag) {
    width = slot[engine::kBackgroundWidth];
    height = slot[engine::kBackgroundHeight];
  } else if (tag == engine::kTagVisual || tag == engine::kTagXVisual) {
    animated = true;
  }
  const int32_t frames = animated ? words[model::kWordLastFrame] : 1;
  return "{\"tag\": \"" + engine::SlotTagText(tag) + "\", \"width\": " + std::to_string(width) +
         ", \"height\": " + std::to_string(height) + ", \"frames\": " + std::to_string(frames) + "}";
}

}  // namespace

std::string DumpStateRecords(const Engine& engine, const std::string& scene, int64_t glObjects) {
  const int32_t tick = engine.play ? engine.play->brains.tickCounter : 0;
  const int32_t exitTarget = engine.play ? engine.play->exitTarget : kExitNone;
  std::string json = "{\"tick\": " + std::to_string(tick) + ", \"exit_target\": " + std::to_string(exitTarget) +
                     ", \"elements\": [";
  const auto* records = engine.arena.As<const int32_t>(core::Region::kElementRecords);
  for (int32_t i = 0; i <= engine.project.LastIndex() && i < model::kMaxElements; ++i) {
    const int32_t* words = records + i * model::kRecordWords;
    json += i == 0 ? "\n" : ",\n";
    json += "{\"index\": " + std::to_string(i) + ", \"name\": " +
            core::JsonString(model::ElementField(engine.project.records[static_cast<size_t>(i)], 1)) + ", \"words\": [";
    for (int w = 0; w < model::kRecordWords; ++w) json += (w == 0 ? "" : ", ") + std::to_string(words[w]);
    json += "], \"sound\": " + (engine.play ? engine.play->sounds.ElementJson(i) : std::string("null"));
    json += ", \"named\": {";
    bool first = true;
    for (int w = 0; w < model::kRecordWords; ++w) {
      const char* name = model::WordName(w);
      if (name == nullptr) continue;
      json += (first ? "\"" : ", \"") + std::string(name) + "\": " + std::to_string(words[w]);
      first = false;
    }
    json += "}, \"aspect\": " + AspectJson(engine, words) + "}";
  }
  // The play's orientation accumulator (w, x, y, z), exact to the last bit.
  json += "],\n\"orientation\": [";
  const std::array<double, 4> orientation = engine.play ? engine.play->orientation : std::array<double, 4>{1.0, 0.0, 0.0, 0.0};
  for (size_t i = 0; i < orientation.size(); ++i) {
    char number[32];
    std::snprintf(number, sizeof number, "%s%.17g", i == 0 ? "" : ", ", orientation[i]);
    json += number;
  }
  // The globals, and what the program-control instructions keep for the whole run.
  json += "],\n\"globals\": [";
  const auto* globals = engine.arena.As<const int32_t>(core::Region::kGlobals);
  for (int32_t i = 0; i < model::kGlobalCount; ++i) json += (i == 0 ? "" : ", ") + std::to_string(globals[i]);
  json += "],\n\"program\": {\"random_cursor\": " + std::to_string(engine.random.cursor) +
          ", \"loop_counter\": " + std::to_string(engine.random.loopCounter) +
          ", \"position_stack\": " + std::to_string(engine.positions.depth) + ", \"debug\": " +
          (engine.debug.shown ? core::JsonString(instructions::DebugText(engine.debug.value)) : std::string("null"));
  json += "},\n\"sound\": " + (engine.play ? engine.play->sounds.Json(engine.listener) : std::string("null"));
  json += ",\n\"collision_pairs\": [";
  // The pair list in list order, and the play's ground and volume references.
  const state::CollisionState empty;
  const state::CollisionState& collisions = engine.play ? engine.play->collisions : empty;
  for (size_t i = 0; i < collisions.pairs.size(); ++i) {
    const state::CollisionPair& pair = collisions.pairs[i];
    json += (i == 0 ? "[" : ", [") + std::to_string(pair.first) + ", " + std::to_string(pair.second) + ", " +
            std::to_string(pair.colour) + ", " + std::to_string(pair.hit) + "]";
  }
  json += "],\n\"ground\": {\"mesh\": " + std::to_string(collisions.groundMesh) +
          ", \"volume\": " + std::to_string(collisions.volumeMesh) +
          ", \"rebound_yr_divisor\": " + std::to_string(collisions.reboundDivisor) + "}";
  if (engine.network) json += ",\n\"network\": " + engine.network->Json();
  json += ",\n\"scene\": " + scene;
  json += ",\n\"gl_objects\": " + (glObjects >= 0 ? std::to_string(glObjects) : std::string("null"));
  // The game chain: the sub-project being played (-1 outside a finished game), and whether this
  // play came back from a saved game.
  json += ",\n\"sub_project\": " + std::to_string(engine.subProject) +
          ", \"resumed\": " + (engine.play && engine.play->resumed ? "true" : "false");
  return json + "}\n";
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

void StartPlay(Engine& engine) {
  engine.play = std::make_unique<Play>();
  engine.playing = true;
  engine.widgets.font = &engine.playFont;
  Play& play = *engine.play;
  engine.random.table = engine.arena.Host(core::Region::kRandom);
  engine.debug.shown = false;
  play.testPlay = !engine.gamePlay;
  if (play.testPlay) {
    ReadTestPlayGlobals(engine);
    ShowNotice(engine, "Loading data, please wait...");
  }

  // State records from the element records; ranges are drawn while playing.
  model::ConversionOptions conversion;
  conversion.displayMode = engine.display.displayMode;
  conversion.playing = true;
  conversion.recordsAddress = engine.arena.Address(core::Region::kElementRecords);
  conversion.random = &engine.random;
  std::vector<model::ElementSetup> setups;
  model::FillStateRecords(&engine.project, conversion, engine.arena.As<int32_t>(core::Region::kElementRecords),
                          &setups);

  if (play.testPlay && !engine.model.finishedGame) UpdateGroundMaps(engine);
  LoadAspects(engine, setups);
  if (play.testPlay) ShowNotice(engine, "Initializing objects, please wait...");
  BuildScene(engine);
  StartSounds(engine);
  instructions::StartCollisions(engine);

  // Brains: compiled into the code area, then made ready for the chosen backend.
  if (play.testPlay) ShowNotice(engine, "Compiling brains, please wait...");
  brain::CompilerState& compiler = play.compiler;
  compiler.playerRun = engine.playerRun;
  compiler.showErrorBox = [&engine](const std::string& text) { ShowProgramBox(engine, text, {" OK "}); };
  compiler.showValueBox = [&engine](const std::string& text) { ShowProgramBox(engine, text, {" OK "}); };
  brain::BeginCompilation(&compiler, &engine.arena);
  brain::CompileAllBrains(&compiler, engine.project);
  if (engine.gamePlay) DeleteWorkingCopies(engine.paths.working);
  play.brains.runtimeError = [&engine](const std::string& text) { ShowRuntimeError(engine, text); };
  std::vector<std::string> refused;
  instructions::SetUpBrains(engine, engine.project.LastIndex(), &refused);
  for (const std::string& reason : refused) std::fprintf(stderr, "main: brain interpreted: %s\n", reason.c_str());
  engine.hooks.renderFrame = [&engine] { RenderFrame(engine); };
  engine.hooks.pumpInput = [&engine] { PumpInput(engine); };
  engine.hooks.inputHeld = [&engine] { return AnyInputHeld(engine); };
  engine.hooks.showBox = [&engine](const std::string& text) { ShowProgramBox(engine, text, {" OK "}); };
  if (engine.gamePlay) ShowLoadCompletePicture(engine);
  // A resumed game comes back over the records just filled, keeping the fresh brain code.
  if (engine.resume.pending) engine.play->resumed = RestoreResumedGame(engine);
  BeginNetworkPlay(engine);

  // The play-wide fog is kept for after the play; a test play keeps the collision map too.
  play.fog = engine.project.fog;
  play.sounds.SilenceAll();
  if (play.testPlay) {
    ShowNotice(engine, "");
    const uint8_t* map = engine.arena.Host(core::Region::kCollisionMap);
    play.keptCollisionMap.assign(map, map + model::kCollisionMapBytes);
    if (const uint32_t free = brain::StringStoreFree(compiler); free < brain::kLowStringMemory) {
      ShowProgramBox(engine, brain::ValueBoxText(free, "Warning! Internal string memory low."), {" OK "});
    }
  }
  if (!engine.options.timingLogPath.empty()) {
    play.timingLog = std::fopen(engine.options.timingLogPath.c_str(), "w");
    if (play.timingLog == nullptr) ReportOutputFailure(engine, CannotWrite(engine.options.timingLogPath, errno));
  }
  play.stepLimit = RunStepsLeft(engine);

  // Four logic steps settle the elements; the first frame; then the deadline.
  for (int settle = 0; settle < 4 && !play.brains.faulted; ++settle) RunBrainStep(engine);
  engine.firstFrame = true;
  RenderFrame(engine);
  engine.firstFrame = false;
  MarkFlatFrames(engine.arena, engine.project.LastIndex());
  play.deadline = engine.platform.clock().Now() + engine.tickPeriod;
}

// Logic every pass; a pass that starts late skips its frame, so after a stall the steps run back
// to back until they have caught up. The deadline never jumps.
bool RunPlayPass(Engine& engine) {
  Play& play = *engine.play;
  if (play.steps >= play.stepLimit || platform::StopSignal() != 0) return false;
  PumpInput(engine);
  bool escape = false;
  if (play.testPlay) {
    engine.readKeyScan = 0;
    ReadKey(engine);
    escape = engine.readKeyScan == 0x01;
  } else if (engine.project.records.empty()) {
    escape = engine.platform.window->Input().scanDown[0x01];  // nothing plays yet: Escape leaves
  }
  instructions::CollisionPass(engine);
  RunBrainStep(engine);
  ++play.steps;
  if (play.exitTarget != kExitNone || escape) return false;
  platform::Clock& time = engine.platform.clock();
  const uint32_t now = time.Now();
  const uint64_t pass = engine.platform.window->PumpPasses() - 1;
  if (static_cast<int32_t>(now - play.deadline) > 0) {
    LogLate(play, pass, now);
    play.deadline += engine.tickPeriod;
    return true;
  }
  time.WaitUntil(play.deadline + 1);
  LogFrame(play, pass, now, time.MicrosecondsPast(play.deadline + 1));
  play.deadline += engine.tickPeriod;
  RenderFrame(engine);
  return true;
}

int32_t EndPlay(Engine& engine) {
  Play& play = *engine.play;
  engine.project.fog = play.fog;
  if (play.testPlay) {
    std::copy(play.keptCollisionMap.begin(), play.keptCollisionMap.end(), engine.arena.Host(core::Region::kCollisionMap));
  }
  if (play.timingLog != nullptr) {
    // The lines went out as the play went; a write that failed on the way (a full disk) shows
    // in the stream's error flag, or in the last flush.
    int failure = std::ferror(play.timingLog) != 0 ? EIO : 0;
    if (std::fclose(play.timingLog) != 0) failure = errno;
    play.timingLog = nullptr;
    if (failure != 0) ReportOutputFailure(engine, CannotWrite(engine.options.timingLogPath, failure));
  }
  // The dump shows the scene as the play left it, and the GL objects still alive once the scene is
  // let go: what one play leaves to the next.
  const bool dumping = !engine.options.dumpPath.empty();
  const std::string scene = dumping && play.scene.Built() ? play.scene.Json() : std::string("null");
  play.brains.native.Forget();
  play.scene.Release(engine.renderer.get());
  if (dumping) {
    const int64_t glObjects = engine.renderer ? static_cast<int64_t>(engine.renderer->LiveObjects()) : -1;
    if (!core::WriteFileAtomic(engine.options.dumpPath, DumpStateRecords(engine, scene, glObjects))) {
      ReportOutputFailure(engine, CannotWrite(engine.options.dumpPath, errno));
    }
  }
  play.sounds.Stop();
  engine.runSteps += play.steps;
  engine.playing = false;
  engine.widgets.font = &engine.toolFont;
  if (play.testPlay) FlushInput(engine);
  return play.exitTarget;
}

bool OpenRenderer(Engine& engine) {
  if (!engine.renderer && !engine.rendererFailed && engine.platform.gl->HasFrame()) {
    auto renderer = std::make_unique<engine::scene::Renderer>();
    std::string error;
    if (renderer->Open(&error)) {
      engine.renderer = std::move(renderer);
    } else {
      engine.rendererFailed = true;
      std::fprintf(stderr, "main: the renderer cannot start: %s\n", error.c_str());
    }
  }
  return engine.renderer != nullptr;
}

int32_t PlayProject(Engine& engine) {
  StartPlay(engine);
  while (RunPlayPass(engine)) {
  }
  return EndPlay(engine);
}

}  // namespace app
