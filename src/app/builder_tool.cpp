// Run mode 6, the stand-alone executable builder: the project list's "Create Executable" with its
// questions and messages in the program's boxes. Calls src/builder and the app's boxes.
#include <unistd.h>

#include <cstdio>

#include "app/app.h"
#include "builder/builder.h"

namespace app {

void RunBuilderTool(Engine& engine) {
  builder::ListEditor editor(engine.paths.working, engine.paths.data);
  editor.Open();
  editor.Write();
  FlushInput(engine);
  if (ShowProgramBox(engine, builder::kConfirmText, {" CONTINUE ", " ABORT "}) != 0) return;

  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  builder::BuildOptions options;
  options.workingFolder = engine.paths.working;
  options.dataFolder = engine.paths.data;
  options.engineFile = length > 0 ? std::string(self, static_cast<size_t>(length)) : std::string();
  options.title = editor.title();
  options.progress = [&engine](const std::string& text) {
    std::fprintf(stderr, "main: %s\n", text.c_str());
    engine.platform.window->ShowNotice(text);
  };
  options.brainErrorBox = [&engine](const std::string& text) { ShowProgramBox(engine, text, {" OK "}); };
  options.askScreenSaver = [&engine] {
    return ShowProgramBox(engine, builder::kScreenSaverText, {" YES ", " NO "}) == 0;
  };
  builder::BuildReport report;
  const bool built = builder::BuildExecutable(editor.list(), options, &report);
  engine.platform.window->ShowNotice("");
  if (!built) {
    std::fprintf(stderr, "main: the game was not built: %s\n", report.failure.c_str());
    if (!report.levels.empty() || report.skipped.empty()) ShowProgramBox(engine, report.failure, {" OK "});
    return;
  }
  ShowProgramBox(engine, builder::kDoneText, {" OK "});
}

}  // namespace app
