// vexel build: the finished game of the project list built without a screen, in the current
// folder as the working folder. Calls src/builder, src/model and src/core.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "builder/builder.h"
#include "core/core.h"
#include "model/model.h"

namespace cli {
namespace {

constexpr const char* kBuildUsage =
    "usage: vexel build [--list FILE] [--title TEXT] [--screensaver] [--engine FILE] [--json]\n";

// Exit codes: every position switched on was built; some were left out; nothing was built.
constexpr int kBuiltAll = 0;
constexpr int kBuiltNothing = 1;
constexpr int kBadUsage = 2;
constexpr int kBuiltSome = 3;

// The engine beside this program.
std::string EngineBesideUs() {
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return "main";
  std::string path(self, static_cast<size_t>(length));
  return path.substr(0, path.rfind('/') + 1) + "main";
}

// Boxes are logged as the engine logs the boxes of a run without a screen.
void LogBox(const std::string& text) {
  std::string lines = text;
  for (char& c : lines) {
    if (c == '|') c = '\n';
  }
  std::fprintf(stderr, "[message box] Zu-Teal: %s ->  OK \n", core::PrintableText(lines).c_str());
}

}  // namespace

int BuildCommand(int argc, const char* const* argv) {
  std::string listPath;
  std::string title;
  bool titleGiven = false;
  bool screenSaver = false;
  bool json = false;
  std::string engine = EngineBesideUs();
  for (int i = 0; i < argc; ++i) {
    const bool takesValue =
        std::strcmp(argv[i], "--list") == 0 || std::strcmp(argv[i], "--title") == 0 || std::strcmp(argv[i], "--engine") == 0;
    if (takesValue && i + 1 >= argc) {
      std::fprintf(stderr, "vexel: %s needs a value\n%s", argv[i], kBuildUsage);
      return kBadUsage;
    }
    if (std::strcmp(argv[i], "--list") == 0) {
      listPath = argv[++i];
    } else if (std::strcmp(argv[i], "--title") == 0) {
      title = argv[++i];
      titleGiven = true;
    } else if (std::strcmp(argv[i], "--engine") == 0) {
      engine = argv[++i];
    } else if (std::strcmp(argv[i], "--screensaver") == 0) {
      screenSaver = true;
    } else if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else {
      std::fprintf(stderr, "vexel: unknown option %s\n%s", argv[i], kBuildUsage);
      return kBadUsage;
    }
  }

  const std::string working = core::CurrentFolder() + "/";
  const std::string data = working + "data/";
  model::EditorState state;
  model::ReadEditorState(working, data, &state);
  std::string& titleLine = state.curpaths[builder::kTitleLine - 1];
  if (titleGiven) {
    // As the list editor's "Executable Name" does: the title is kept for the next build.
    titleLine = title.substr(0, builder::kTitleBytes);
    if (!model::WriteEditorState(data, state)) std::fprintf(stderr, "vexel: cannot write the editor state in %s\n", data.c_str());
  }

  builder::ProjectList list;
  if (listPath.empty()) {
    builder::ReadList(builder::CurrentListPath(working), working, &list);
  } else if (!builder::ReadList(listPath, working, &list)) {
    std::fprintf(stderr, "vexel: cannot read the list %s\n", listPath.c_str());
    return kBuiltNothing;
  }

  FILE* progressOut = json ? stderr : stdout;
  builder::BuildOptions options;
  options.workingFolder = working;
  options.dataFolder = data;
  options.engineFile = engine;
  options.title = titleLine;
  options.progress = [progressOut](const std::string& text) { std::fprintf(progressOut, "%s\n", text.c_str()); };
  options.brainErrorBox = LogBox;
  options.askScreenSaver = [screenSaver] { return screenSaver; };
  builder::BuildReport report;
  const bool built = builder::BuildExecutable(list, options, &report);
  for (const builder::SkippedLevel& skipped : report.skipped) {
    std::fprintf(stderr, "vexel build: position %d (%s) left out: %s\n", skipped.position, skipped.project.c_str(),
                 skipped.error.c_str());
  }
  if (!built) std::fprintf(stderr, "vexel build: %s\n", report.failure.c_str());
  if (json) {
    std::printf("%s\n", builder::BuildReportJson(report).c_str());
  } else if (built) {
    std::string done = builder::kDoneText;
    for (char& c : done) {
      if (c == '|') c = '\n';
    }
    std::printf("%s\n", done.c_str());
  }
  if (!built) return kBuiltNothing;
  return report.skipped.empty() ? kBuiltAll : kBuiltSome;
}

}  // namespace cli
