// Process start-up and shut-down of the engine program.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/app.h"
#include "core/core.h"

// The window name field: 32 bytes that the game builder patches in its copy of this program, so
// its size is fixed. External and kept, so it stays one byte array in the binary.
extern "C" {
__attribute__((used)) char kWindowNameField[33] = "Zu-Teal                         ";
}

namespace app {
namespace {


// Pause of the single-instance wait: half a second of real time, whichever clock the run uses.
void Pause500() { platform::Clock::Sleep(platform::Clock::kUnitsPerSecond / 2); }

std::string TrimmedWindowName() {
  // Read byte by byte through a volatile view: the field never changes while the program runs, so
  // an optimiser could otherwise fold its initial text into the code, and every built game would
  // carry the default name whatever the builder wrote into its copy.
  const volatile char* field = kWindowNameField;
  std::string name(32, ' ');
  for (size_t i = 0; i < name.size(); ++i) name[i] = field[i];
  while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
  return name;
}

struct TableFile {
  const char* name;
  core::Region region;
};
constexpr TableFile kTables[] = {
    {"sinus.bin", core::Region::kSineCoarse},
    {"sinusbig.bin", core::Region::kSineFine},
    {"atan.bin", core::Region::kArctangent},
    {"random.bin", core::Region::kRandom},
};

// How many bytes of each table file are read; the random buffer is larger than its file.
uint32_t TableBytes(core::Region region) {
  return region == core::Region::kRandom ? 2000 : core::Describe(region).size;
}

}  // namespace

WorkingPaths MakeWorkingPaths(const std::string& currentFolder, bool hasRunMode) {
  WorkingPaths paths;
  paths.working = currentFolder;
  for (char& c : paths.working) {
    if (c == '\\') c = '/';
  }
  if (paths.working.empty() || paths.working.back() != '/') paths.working += '/';
  paths.data = hasRunMode ? paths.working + "data/" : paths.working;
  paths.temporary = paths.working + "temp.tmp";
  paths.engineFile = hasRunMode ? "engine.dll" : "";
  return paths;
}

std::vector<std::string> LoadLookupTables(const std::string& dataFolder, core::Arena* arena) {
  std::vector<std::string> missing;
  for (const TableFile& table : kTables) {
    const uint32_t bytes = TableBytes(table.region);
    std::string content;
    // Read into a scratch copy first so a short file leaves the buffer untouched.
    if (!core::ReadFile(dataFolder + table.name, &content) || content.size() < bytes) {
      missing.push_back(table.name);
      continue;
    }
    std::copy(content.begin(), content.begin() + bytes, arena->Host(table.region));
  }
  return missing;
}

// Start-up in the engine's order; each failure goes straight to the shut-down of what exists.
int StartUp(Engine& engine, int argc, const char* const* argv) {
  std::string error;
  if (!ParseLaunchOptions(argc, argv, &engine.options, &error)) {
    std::fprintf(stderr, "main: %s\n%s", error.c_str(), LaunchOptionsHelp().c_str());
    return kExitBadOptions;
  }
  if (engine.options.showHelp) {
    std::printf("%s", LaunchOptionsHelp().c_str());
    return kExitOk;
  }
  // An input script that cannot be read is a bad option: nothing has started yet.
  if (const std::string& script = engine.options.platform.inputScriptPath; !script.empty()) {
    std::string text;
    if (!core::ReadFile(script, &text)) {
      std::fprintf(stderr, "main: cannot read input script %s\n", script.c_str());
      return kExitBadOptions;
    }
  }
  engine.windowName = TrimmedWindowName();

  // 1-2. Command-line numbers; the clock.
  engine.commandLine = ParseCommandLineNumbers(engine.options.remainder);
  if (!engine.platform.Start(engine.options.platform, &error)) {
    std::fprintf(stderr, "main: %s\n", error.c_str());
    return kExitStartFailed;
  }
  // 3. The fixed buffers (the typed-text buffer starts empty with them).
  if (!engine.arena.Create()) {
    ShowError(engine, "%s", "Not enough memory for the engine's buffers");
    return kExitStartFailed;
  }
  engine.typedLength = 0;
  // 4. Working paths and lookup tables; the identity tables are filled with the arena.
  engine.paths = MakeWorkingPaths(core::CurrentFolder(), core::FileExists("runmode.ini"));
  engine.model.workingFolder = engine.paths.working;
  // Files a killed run was writing are never read: they go at the next start.
  core::RemoveLeftoverTemporaries(engine.paths.working);
  core::RemoveLeftoverTemporaries(engine.paths.working + "temp/");
  engine.model.temporaryFile = engine.paths.temporary;
  engine.model.collisionMap = engine.arena.Host(core::Region::kCollisionMap);
  engine.model.notice = [&engine](const char* text) { ShowNotice(engine, text != nullptr ? text : ""); };
  const std::vector<std::string> missing = LoadLookupTables(engine.paths.data, &engine.arena);
  if (!missing.empty()) {
    std::string list;
    for (const std::string& name : missing) list += (list.empty() ? "" : ", ") + name;
    std::fprintf(stderr, "main: lookup tables missing or short in %s: %s\n", engine.paths.data.c_str(), list.c_str());
  }
  // 5. The network, when netmode.ini asks for it.
  if (core::FileExists("netmode.ini")) {
    if (!StartNetworkSession(engine)) return kExitStartFailed;
  }
  // 6. config.ini.
  engine.settings = ReadEngineSettings("config.ini");
  // 7. One engine per working folder.
  if (!platform::WaitForSingleInstance(engine.paths.working, engine.windowName, &engine.instance, Pause500)) {
    return kExitOtherInstance;
  }
  // 8. The rendering device.
  if (!engine.platform.window->VideoStarted()) {
    ShowError(engine, "%s", "No display is available");
    return kExitStartFailed;
  }
  // A headless run (or --software) has chosen software rendering already: it renders at once and
  // leaves the RenderingDevice setting as it found it.
  const bool softwareChosen = engine.platform.IsHeadless() || engine.options.platform.softwareRendering;
  const bool software = engine.settings.renderingDevice == 0 || softwareChosen;
  if (!engine.platform.gl->OpenDevice(software, &error)) {
    std::fprintf(stderr, "main: %s\n", error.c_str());
    ShowError(engine, "%s", "This program requires DirectX 8.0 or greater!");
    return kExitStartFailed;
  }
  if (!software) {
    if (engine::IsSoftwareRenderer(engine.platform.gl->RendererName())) {
      engine.settings.renderingDevice = 0;
      engine.settings.availableRenderingDevices = 0;
      WriteEngineSettings("config.ini", engine.settings);
      ShowError(engine, "%s",
                "Couldn't find a hardware rendering device.\nWhen run again, a software emulation device will be "
                "used instead");
      return kExitSwitchedToSoftware;
    }
    // OpenGL offers the one device it runs on.
    engine.settings.availableRenderingDevices = 1;
    engine.settings.renderingDevice = std::min(engine.settings.renderingDevice, 1);
  }
  WriteEngineSettings("config.ini", engine.settings);
  // 9. The window, the display and its rendering device.
  engine::DisplayRequest request;
  request.displayMode = engine.options.displayMode != 0 ? engine.options.displayMode : engine.settings.displayMode;
  request.legalDisplayModes = engine.settings.legalDisplayModes;
  request.software = software;
  request.windowName = engine.windowName;
  if (!engine::CreateDisplay(&engine.platform, request, &engine.display, &error)) {
    std::fprintf(stderr, "main: %s\n", error.c_str());
    ShowError(engine, "%s", "This program requires DirectX 8.0 or greater!");
    return kExitStartFailed;
  }
  engine.settings.displayMode = engine.display.displayMode;
  engine.settings.availableDisplayModes = engine.display.availableBits;
  // 10. Game controllers; absent ones are simply not there.
  engine.platform.window->OpenControllers();
  // 11. Rendering defaults for the scene.
  engine.renderDefaults = RenderDefaults{};
  // 12. config.ini with the device findings, the drawing surface, the run mode.
  WriteEngineSettings("config.ini", engine.settings);
  // The canvas, the skin (whose palette the drawing surface's conversion table is built from), the
  // editor fonts.
  StartWidgets(engine);
  return kStartedUp;
}

void ShutDown(Engine& engine) {
  // 13. In reverse order of start-up.
  if (engine.network) engine.network->Stop();
  engine.networkActive = false;
  // The renderer's GL objects go while their context still exists; the sounds before the device.
  if (engine.play) engine.play->scene.Release(engine.renderer.get());
  if (engine.play) engine.play->sounds.Stop();
  if (engine.renderer) engine.renderer->Close();
  engine.renderer.reset();
  engine::RestoreDisplay(&engine.platform, &engine.display);
  engine.arena.Destroy();
  engine.platform.Shutdown();
  // The last frame's screenshot is written as the context closes.
  if (const std::string failure = engine.platform.gl->ScreenshotError(); !failure.empty()) {
    ReportOutputFailure(engine, failure);
  }
  if (const std::string failure = engine.platform.audio->OutputError(); !failure.empty()) {
    ReportOutputFailure(engine, failure);
  }
}

std::string CannotWrite(const std::string& path, int error) { return "cannot write " + path + ": " + std::strerror(error); }

void ReportOutputFailure(Engine& engine, const std::string& failure) {
  std::fprintf(stderr, "main: %s\n", failure.c_str());
  engine.outputFailed = true;
}

int Main(int argc, const char* const* argv, RunOutcome* outcome) {
  platform::InstallStopSignals();
  auto engine = std::make_unique<Engine>();
  int code = StartUp(*engine, argc, argv);
  if (code == kStartedUp) code = RunModeDispatch(*engine);
  if (outcome != nullptr && engine->play) outcome->exitTarget = engine->play->exitTarget;
  ShutDown(*engine);
  // A run that went well still fails when a file it was asked for could not be written.
  if (code == kExitOk && engine->outputFailed) code = kExitOutputFailed;
  if (const int signal = platform::StopSignal(); signal != 0) code = 128 + signal;
  return code;
}

}  // namespace app
