// runmode.ini, the run-mode dispatch and the test play's frame.
#include <cstdio>
#include <cstdlib>

#include "app/app.h"
#include "core/core.h"

namespace app {
namespace {

// Tools whose screens are not part of this build: they say so and return.
void ToolMissing(Engine& engine, const char* tool) {
  std::fprintf(stderr, "main: run mode %d (%s): %s\n", RunModeCode(engine.runMode), tool, kToolMissing);
  ShowProgramBox(engine, kToolMissing, {" OK "});
}

void TestPlay(Engine& engine) {
  const std::string marker = engine.paths.working + "temp/wasok.dat";
  std::remove(marker.c_str());

  const int32_t testView = engine.editorState.TestViewMode();
  engine.editorState.SetNumber(1, 0);
  const int32_t target = PlayProject(engine);
  engine.editorState.SetNumber(1, testView);
  // A play stopped by a signal did not go well, and the program is on its way out: no boxes (they
  // would hold it up until a second signal), no marker. A recorded track is still kept.
  const bool stopped = platform::StopSignal() != 0;

  if (!stopped && target != kExitNone && target != kExitRuntimeError) {
    std::string text;
    if (target == kExitEndScreen) text = "When compiled, exit to end screen";
    else if (target == kExitSystem) text = "When compiled, exit directly to Windows";
    else text = "When compiled, exit to sub-project " + std::to_string(target);
    ShowProgramBox(engine, text, {" OK "});
  }
  if (!engine.recordedTrack.empty()) {
    if (!stopped) {
      ShowProgramBox(engine,
                     "A " + std::to_string(engine.recordedTrack.size() / 720) +
                         " seconds track was successfully recorded!|Use the 'Save Recorded Track As' tool to|save "
                         "it as a new track-type element's aspect",
                     {" OK "});
    }
    const std::string track = engine.paths.working + "data/currtrck.i3d";
    if (!core::WriteFileAtomic(track, std::string_view(reinterpret_cast<const char*>(engine.recordedTrack.data()),
                                                       engine.recordedTrack.size()))) {
      std::fprintf(stderr, "main: cannot write %s\n", track.c_str());
    }
  }
  if (stopped) return;
  // The front end reads the marker as "the test play went well": a play that a run-time error
  // ended leaves none.
  if (target == kExitRuntimeError) return;
  if (!core::MakeFolders(engine.paths.working + "temp") || !core::WriteFileAtomic(marker, "wasok\r\n")) {
    std::fprintf(stderr, "main: cannot write %s\n", marker.c_str());
  }
}

void SaveAfterTool(Engine& engine) {
  if (!model::WriteEditorState(engine.paths.data, engine.editorState)) {
    std::fprintf(stderr, "main: cannot write the editor state in %s\n", engine.paths.data.c_str());
  }
  std::string error;
  if (!model::SaveProject(&engine.model, engine.project, engine.project.path, &error)) {
    ShowProgramBox(engine, "The project could not be saved|" + error, {" OK "});
  }
}

// The tools of the run modes. A tool without a runner is not part of this build; it saves
// nothing, since it changed nothing.
struct Tool {
  int32_t code;
  const char* name;
  void (*run)(Engine&);
  bool savesAfter;  // write the editor state and save the project after it
};
constexpr Tool kTools[] = {
    {1, "test play", TestPlay, false},
    {2, "collision channel map editor", nullptr, true},
    {3, "virtual 3D editor", nullptr, true},
    {5, "brain parameter editor", nullptr, true},
    {6, "stand-alone executable builder", RunBuilderTool, false},
    {7, "visual editor", nullptr, false},
    {8, "explosion generator", nullptr, false},
    {9, "animation renaming tool", nullptr, false},
    {13, "brain text editor", nullptr, true},
    {14, "display-area editor", nullptr, true},
    {15, "background choice", nullptr, true},
};

const Tool* FindTool(int32_t code) {
  for (const Tool& tool : kTools) {
    if (tool.code == code) return &tool;
  }
  return nullptr;
}

}  // namespace

RunModeFile ReadRunModeFile(const std::string& path) {
  RunModeFile file;
  std::string text;
  if (!core::ReadFile(path, &text)) return file;
  file.present = true;
  size_t start = 0;
  std::string_view line;
  while (core::NextLine(text, &start, &line)) file.lines.emplace_back(line);
  return file;
}

std::string RunModeProjectPath(const RunModeFile& file) {
  std::string path = file.lines.empty() ? std::string() : file.lines[0];
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

int32_t RunModeNumber(const RunModeFile& file, int k) {
  const size_t line = static_cast<size_t>(k) + 1;  // line k + 2, counted from 1
  if (!file.present) return k == 1 ? -1 : 0;
  if (line >= file.lines.size()) return 0;
  return static_cast<int32_t>(std::strtol(file.lines[line].c_str(), nullptr, 10));
}

int32_t RunModeCode(const RunModeFile& file) { return file.present ? RunModeNumber(file, 0) : 0; }

int RunModeDispatch(Engine& engine) {
  engine.platform.window->ShowCursor(false);
  engine.runMode = ReadRunModeFile(engine.paths.working + "runmode.ini");
  const int32_t code = RunModeCode(engine.runMode);
  const int32_t element = RunModeNumber(engine.runMode, 1);
  while (!ReadKey(engine).empty()) {
  }
  // A code no tool has is refused before anything is loaded or cleared.
  const Tool* tool = FindTool(code);
  if (code != 0 && tool == nullptr) {
    const std::string text = "Unknown run mode " + std::to_string(code);
    std::fprintf(stderr, "main: %s\n", text.c_str());
    ShowProgramBox(engine, text, {" OK "});
    engine.platform.window->ShowCursor(true);
    return kExitBadOptions;
  }

  if (code == 0) {
    SetUpGameRunner(engine);
    std::fprintf(stderr, "main: game runner, data folder %s\n", engine.paths.data.c_str());
    if (core::FileExists(SubProjectPath(engine.paths.working, 1))) {
      RunGame(engine);
    } else {
      PlayProject(engine);  // a folder without a game: an empty scene until Escape
    }
    engine.platform.window->ShowCursor(true);
    return kExitOk;
  }

  engine.paths.data = engine.paths.working + "data/";
  engine.model.dataFolder = engine.paths.data;
  core::RemoveLeftoverTemporaries(engine.paths.data);
  engine.playerRun = false;
  engine.model.finishedGame = false;
  std::fill_n(engine.arena.Host(core::Region::kGlobals), model::kGlobalsBytes, 0);
  std::fill_n(engine.arena.Host(core::Region::kCollisionMap), core::Describe(core::Region::kCollisionMap).size, 0);
  model::ReadEditorState(engine.paths.working, engine.paths.data, &engine.editorState);
  FlushInput(engine);
  if (code < 6 || code > 10) {
    // A relative project path is under the working folder, like every path the front end writes.
    std::string path = RunModeProjectPath(engine.runMode);
    if (!path.empty() && path[0] != '/') path = engine.paths.working + (path.rfind("./", 0) == 0 ? path.substr(2) : path);
    // What a save of this project left when it was killed goes before the project is read.
    if (const size_t slash = path.rfind('/'); slash != std::string::npos) {
      core::RemoveLeftoverTemporaries(path.substr(0, slash + 1));
    }
    std::string error;
    if (!model::LoadProject(&engine.model, path, &engine.project, &error)) {
      ShowProgramBox(engine, error, {" OK "});
      engine.platform.window->ShowCursor(true);
      return kExitOk;
    }
    for (const std::string& notice : engine.project.notices) ShowProgramBox(engine, notice, {" OK "});
  }
  engine.currentElement = element;
  engine.project.currentElement = element;

  if (tool->run == nullptr) {
    ToolMissing(engine, tool->name);
  } else {
    tool->run(engine);
    if (tool->savesAfter) SaveAfterTool(engine);
  }
  engine.platform.window->ShowCursor(true);
  return kExitOk;
}

}  // namespace app
