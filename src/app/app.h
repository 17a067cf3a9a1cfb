// Public header of the application core: the engine program's options, settings, process state,
// input pump and run modes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "brain/brain.h"
#include "core/core.h"
#include "core/random.h"
#include "engine/engine.h"
#include "model/model.h"
#include "platform/platform.h"

namespace app {

// [SECTION] Launch options and the command line

// Options of one engine run. Long options ("--headless") are taken out of the command line
// first; what remains is the text the command-line numbers are read from.
struct LaunchOptions {
  platform::Options platform;
  int32_t ticks = -1;     // --ticks N: stop after N ticks on the virtual clock; -1: no limit
  brain::Backend brains = brain::kDefaultBackend;  // --brains=interp|native
  std::string dumpPath;   // --dump FILE: the element state records as JSON when a play ends
  std::string timingLogPath;  // --timing-log FILE: how each pass of the play loop was paced
  std::string remainder;  // the command line without the long options, words joined by blanks
  bool showHelp = false;
};

// Parses argv. False with a message in *error for an unknown option or a missing value.
bool ParseLaunchOptions(int argc, const char* const* argv, LaunchOptions* out, std::string* error);
std::string LaunchOptionsHelp();

// The command-line numbers: when the text starts with '/', each '/' is followed by a decimal
// number (C library conversion), then the blanks up to the next '/'; anything else ends the list.
std::vector<int32_t> ParseCommandLineNumbers(const std::string& text);

// [SECTION] Settings and paths

// config.ini, in the current folder: six user settings and the game's legal display modes.
struct EngineSettings {
  int32_t availableDisplayModes = 63;
  int32_t displayMode = 1;
  int32_t availableRenderingDevices = 3;
  int32_t renderingDevice = 1;
  int32_t sound = 1;
  int32_t soundMixing = 0;
  int32_t legalDisplayModes = 63;
};

// Reads the settings with their defaults (a missing file, key or a value with a bad checksum
// keeps the default), then validates the display modes against the legal ones.
EngineSettings ReadEngineSettings(const std::string& path);
// Writes all seven values back, keeping whatever else the file holds. False on failure.
bool WriteEngineSettings(const std::string& path, const EngineSettings& settings);

// Working paths, set once at start-up.
struct WorkingPaths {
  std::string working;  // current folder with a trailing '/'
  std::string data;     // working + "data/" beside runmode.ini, else the working folder
  std::string temporary;
  std::string engineFile;  // "engine.dll" beside runmode.ini, else empty (the builder's source)
};
WorkingPaths MakeWorkingPaths(const std::string& currentFolder, bool hasRunMode);

// Loads the four lookup tables from the data folder into the arena. A missing or short file
// leaves its buffer as it was; the names of such files are returned.
std::vector<std::string> LoadLookupTables(const std::string& dataFolder, core::Arena* arena);

// runmode.ini: line 1 the project path, line 2 the run mode, line 3 the current element; lines 4
// and 5 are numbers the engine does not use. Numbers that do not parse read as 0.
struct RunModeFile {
  bool present = false;
  std::vector<std::string> lines;
};
RunModeFile ReadRunModeFile(const std::string& path);
std::string RunModeProjectPath(const RunModeFile& file);  // empty without the file
int32_t RunModeCode(const RunModeFile& file);             // 0 without the file
int32_t RunModeNumber(const RunModeFile& file, int k);    // line k + 2; -1 for line 3 without the file

// [SECTION] Process state

// The key queue: 16 entries of the character (bits 0-7) and the scan code (bits 16-23), with read
// and write indices kept as byte offsets that wrap at 64.
struct KeyQueue {
  uint32_t entries[16] = {};
  uint32_t read = 0;
  uint32_t write = 0;

  // False, dropping the key, when the queue is full: a full ring must not wrap onto itself and
  // lose the sixteen keys it holds.
  bool Push(uint8_t character, uint8_t scan);
  bool Pop(uint32_t* entry);
  bool Empty() const { return read == write; }
  void Clear() { read = write; }
};

// Rendering defaults the scene layer starts from.
struct RenderDefaults {
  int bufferCount = 2;
  bool gouraud = true;
  bool lit = true;
  bool solidFill = true;
  int shades = 32;
  int textureColours = 64;
  int textureShades = 32;
};

inline constexpr uint32_t kTypedTextMax = 8191;
inline constexpr int32_t kExitNone = -1;
inline constexpr int32_t kExitEndScreen = -2;
inline constexpr int32_t kExitSystem = -3;
inline constexpr int32_t kExitRuntimeError = INT32_MIN;

// One play of a project: wiped at every play start.
struct Play {
  uint32_t deadline = 0;
  int32_t steps = 0;  // logic steps of the loop (the settling steps not counted)
  int32_t exitTarget = kExitNone;
  core::RandomSource random;
  brain::CompilerState compiler;
  brain::BrainRuntime brains;
};

// Everything the engine process keeps from start-up to shut-down; never wiped.
struct Engine {
  platform::Platform platform;
  core::Arena arena;
  LaunchOptions options;
  WorkingPaths paths;
  EngineSettings settings;
  std::vector<int32_t> commandLine;  // what par_count and par_get read
  engine::Display display;
  RenderDefaults renderDefaults;
  bool networkActive = false;
  uint32_t tickPeriod = 150;  // 1/4500 s; max_framerate_set changes it for the rest of the process
  int32_t maxFramerate = 30;
  // Index range of the last globals_save or globals_load; a test play reads temp/globvars.dat over it.
  int32_t globalsFirst = 0;
  int32_t globalsLast = 0;
  platform::SingleInstance instance;  // one engine per working folder
  std::string windowName;  // the 32-byte window name field, as the builder patched it

  // Input, refreshed by PumpInput.
  KeyQueue keys;
  uint32_t typedLength = 0;  // characters in the typed-text buffer (in the arena)
  uint8_t readKeyScan = 0;   // scan code of the entry ReadKey took last
  bool active = true;        // the window has been activated; the renderer draws only then
  bool playing = false;      // from the start of a play to its end
  bool firstFrame = false;   // only around the first render of a play
  int32_t mouseX = 0;
  int32_t mouseY = 0;
  uint32_t mouseButtons = 0;
  uint64_t frames = 0;
  std::vector<platform::InputEvent> events;  // one pump pass, kept to avoid allocations

  // The run mode and what the tools work on.
  RunModeFile runMode;
  bool gamePlay = false;
  bool playerRun = false;
  int32_t currentElement = -1;
  model::ModelContext model;  // working folder, working-copy counter, collision map
  model::EditorState editorState;
  model::Project project;
  std::vector<uint8_t> recordedTrack;  // 720 bytes a second, filled by track recording
  std::unique_ptr<Play> play;  // made anew by every play start
};

// The run-time error box of a play (caption "Runtime Error"): the cursor is shown while it is up,
// the next tick is due one period after it closes, and the play ends after the current step.
void ShowRuntimeError(Engine& engine, const std::string& text);
// Plays the loaded project until Escape, an exit target or the tick limit; returns the exit target.
int32_t PlayProject(Engine& engine);
// One project of a finished game: reads globvars.dat (or clears the globals), loads the scrambled
// project and its .col, plays it, writes globvars.dat back. Returns the exit target.
int32_t RunProject(Engine& engine, const std::string& path);
// The chain of a finished game: sub-project 1, then whichever sub-project each play asks for, until
// a play ends the game or asks for a sub-project that does not exist.
void RunGame(Engine& engine);
// Removes the brain working copies (*.bra) of a finished game's folder: once the brains are
// compiled they are not needed, and they are not left lying about.
void DeleteWorkingCopies(const std::string& folder);
// working folder + "level" + three digits + ".prj".
std::string SubProjectPath(const std::string& workingFolder, int32_t number);
// Sets state word 15 to 2 for every element that is on and whose current aspect slot holds a flat
// frame (kind tag "d3f."): the renderer counts down its redraws from there.
void MarkFlatFrames(const core::Arena& arena, int32_t lastElement);
// Test play: clears the globals and reads temp/globvars.dat, in the text form, over the range of
// the last globals_save or globals_load. Returns how many globals the file gave.
int32_t ReadTestPlayGlobals(Engine& engine);
// The element state records of the play as JSON: tick, exit target, and per element its index,
// name, 256 words and the named words.
std::string DumpStateRecords(const Engine& engine);

int32_t ParCount(const Engine& engine);
int32_t ParGet(const Engine& engine, int32_t index);

// [SECTION] Input pump

// One pass of input work, once per frame in every loop: window events (the window-procedure
// rules), the pointer and buttons, the frame count.
void PumpInput(Engine& engine);
// 20 passes of: pump, wait until no key or mouse button is down, empty the key queue.
void FlushInput(Engine& engine);
// The oldest key of the queue as a one-character string (empty for a bare key or an empty
// queue); its scan code is kept in readKeyScan.
std::string ReadKey(Engine& engine);
// The typed-text buffer.
std::string TypedText(const Engine& engine);
// Applies one event the way the window procedure does; `next` is the event after it, if any.
void HandleWindowEvent(Engine& engine, const platform::InputEvent& event, const platform::InputEvent* next);

// [SECTION] Boxes

// Formats at most 255 characters, appends "\r\n" and shows a system box with " OK " and the
// window name as caption.
void ShowError(Engine& engine, const char* format, ...) __attribute__((format(printf, 2, 3)));
// A box of the program's own look: lines separated by '|'; returns the chosen button's index.
int ShowProgramBox(Engine& engine, const std::string& text, const std::vector<std::string>& buttons);
inline constexpr const char* kToolMissing = "This tool is not available in this build";

// [SECTION] Start-up and run modes

// Exit codes of the engine program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitStartFailed = 1;
inline constexpr int kExitBadOptions = 2;
inline constexpr int kExitSwitchedToSoftware = 3;  // no hardware device; the next run uses software
inline constexpr int kExitOtherInstance = 4;

// Start-up steps 1-12: returns kStartedUp when the run mode can be dispatched, else the exit code.
inline constexpr int kStartedUp = -1;
int StartUp(Engine& engine, int argc, const char* const* argv);
// Reads runmode.ini and runs the mode it names (or the game), then returns.
void RunModeDispatch(Engine& engine);
// Releases everything start-up made, in reverse order. Safe after a partial start-up.
void ShutDown(Engine& engine);

// The engine program: returns the process exit code.
int Main(int argc, const char* const* argv);

}  // namespace app
