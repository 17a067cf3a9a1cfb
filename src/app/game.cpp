// A finished game: one project of the chain played from its scrambled file, and the chain of
// sub-projects that exit targets lead through.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/app.h"

namespace app {

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

void RunGame(Engine& engine) {
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
    target = RunProject(engine, path);
    if (target < 0) break;  // the end of the game, a run-time error, or a resume (not in this build)
    // Every play with steps left takes at least one, so a chain that never ends by itself (a level
    // that sends the game back to itself) still ends with the run's step limit.
    if (RunStepsLeft(engine) == 0) break;
  }
}

}  // namespace app
