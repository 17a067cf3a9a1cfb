// A finished game: one project of the chain played from its scrambled file, and the chain of
// sub-projects that exit targets lead through.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/app.h"

namespace app {
namespace {

constexpr int kEditorDisplayLine = 15;  // vexel.ini: the display flag a finished game sets

}  // namespace

void DeleteWorkingCopies(const std::string& folder) {
  std::vector<std::string> names;
  if (!core::ListFolder(folder, &names)) return;
  for (const std::string& name : names) {
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".bra") == 0) std::remove((folder + name).c_str());
  }
}

std::string SubProjectPath(const std::string& workingFolder, int32_t number) {
  char name[32];
  std::snprintf(name, sizeof name, "level%03d.prj", number);
  return workingFolder + name;
}

int32_t RunProject(Engine& engine, const std::string& path) {
  FlushInput(engine);
  const std::string globalsPath = engine.paths.working + "globvars.dat";
  auto* globals = engine.arena.As<int32_t>(core::Region::kGlobals);
  std::fill_n(globals, model::kGlobalCount, 0);
  std::string saved;
  if (core::ReadFile(globalsPath, &saved)) std::memcpy(globals, saved.data(), std::min(saved.size(), model::kGlobalsBytes));

  // The project is stored scrambled: it is loaded from a clear copy that lives only for the load.
  std::string error;
  const bool copied = model::UnscrambleFile(path, engine.paths.temporary);
  const bool loaded = copied && model::LoadProject(&engine.model, engine.paths.temporary, &engine.project, &error);
  std::remove(engine.paths.temporary.c_str());
  if (!loaded) {
    ShowProgramBox(engine, copied ? error : "The sub-project " + path + " cannot be read", {" OK "});
    return kExitSystem;
  }
  engine.project.path = path;
  // The collision map comes from the .col beside the scrambled file; without one, no pair collides
  // (the previous sub-project's map must not carry over).
  uint8_t* map = engine.arena.Host(core::Region::kCollisionMap);
  if (!model::ReadCollisionFile(model::CollisionPath(path), map, &engine.project.settings)) {
    std::fill_n(map, model::kCollisionMapBytes, 0);
  }

  const int32_t target = PlayProject(engine);

  const std::string_view bytes(reinterpret_cast<const char*>(globals), model::kGlobalsBytes);
  if (!core::WriteFileAtomic(globalsPath, bytes)) std::fprintf(stderr, "main: cannot write %s\n", globalsPath.c_str());
  FlushInput(engine);
  return target;
}

bool RestoreResumedGame(Engine& engine) {
  engine.resume.pending = false;
  const std::string bytes = std::move(engine.resume.bytes);
  engine.resume.bytes.clear();
  model::SavedGame game;
  if (!model::ParseSavedGame(bytes, &game)) {
    std::fprintf(stderr, "main: the saved game to resume is not whole; the sub-project starts afresh\n");
    return false;
  }
  model::RestoreSavedGame(game, engine.arena.As<int32_t>(core::Region::kElementRecords),
                          engine.arena.As<int32_t>(core::Region::kGlobals));
  engine.listener = game.listener;
  if (engine.play) engine.play->brains.tickCounter = kResumedTickCounter;
  return true;
}

void RunGame(Engine& engine) {
  engine.subProject = -1;
  // The editor state of a finished game lives beside it; its display flag is set for the run and
  // the state written back when the game ends.
  model::ReadEditorState(engine.paths.working, engine.paths.working, &engine.editorState);
  engine.editorState.SetNumber(kEditorDisplayLine, 1);
  int32_t target = 1;
  for (;;) {
    if (platform::StopSignal() != 0) break;
    const std::string path = SubProjectPath(engine.paths.working, target);
    if (!core::FileExists(path)) {
      if (target >= 1) {
        char number[16];
        std::snprintf(number, sizeof number, "%03d", target);
        ShowProgramBox(engine, std::string("Sub-project ") + number + " not found, error!", {" OK "});
      }
      break;
    }
    engine.subProject = target;
    target = RunProject(engine, path);
    if (target == state::kExitResume) {
      // The saved game names the sub-project to play; it is restored once that one is compiled.
      // The resume request read and checked the file; those bytes are the ones restored.
      const std::string saved = model::SavedGamePath(engine.paths.working, engine.saveSlot);
      std::string bytes = std::move(engine.resume.bytes);
      model::SavedGame game;
      if (bytes.empty() && !core::ReadFile(saved, &bytes)) bytes.clear();
      if (!model::CheckSavedGame(bytes, engine.paths.working, &game)) {
        std::fprintf(stderr, "main: %s is not a whole saved game; the game ends\n", saved.c_str());
        break;
      }
      target = game.subProject;
      engine.resume = {true, std::move(bytes)};
    } else if (target < 0) {
      break;  // the end of the game, a run-time error
    }
    // Every play with steps left takes at least one, so a chain that never ends by itself (a level
    // that sends the game back to itself) still ends with the run's step limit.
    if (RunStepsLeft(engine) == 0) break;
  }
  engine.resume = {};
  if (!model::WriteEditorState(engine.paths.working, engine.editorState)) {
    std::fprintf(stderr, "main: cannot write the editor state in %s\n", engine.paths.working.c_str());
  }
}

}  // namespace app
