// Public header of src/state/: the engine's state, in structs named by how long they live (the
// process, one play), and the one current engine that every instruction routine reaches. Calls
// core, platform, model, brain and engine for the types it holds; has no behaviour of its own
// beyond small value types.
//
// Order: an `Engine` is made first and becomes the current engine; start-up fills it; every play
// start makes a fresh `Play` in `engine.play`, which lives until the next play start or the end of
// the process. Instruction routines take the engine from `Current()`.
#pragma once

#include <array>
#include <climits>
#include <cstdio>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "brain/brain.h"
#include "core/core.h"
#include "engine/engine.h"
#include "model/model.h"
#include "net/net.h"
#include "platform/platform.h"
#include "state/collision_state.h"
#include "state/handles.h"

namespace state {

// [SECTION] Options, settings and paths

// Options of one engine run. Long options ("--headless") are taken out of the command line
// first; what remains is the text the command-line numbers are read from.
struct LaunchOptions {
  platform::Options platform;
  int32_t ticks = -1;     // --ticks N: the run stops after N ticks in all, on the virtual clock; -1: no limit
  brain::Backend brains = brain::kDefaultBackend;  // --brains=interp|native
  std::string dumpPath;   // --dump FILE: the element state records as JSON when a play ends
  std::string timingLogPath;  // --timing-log FILE: how each pass of the play loop was paced
  bool allowPorts = false;    // --allow-ports: brains may read and write hardware I/O ports
  std::string boxScreenshotFolder;  // --box-screenshots DIR: the first frame of every box as DIR/boxN.png
  int32_t displayMode = 0;  // --mode CODE: this display mode instead of config.ini's (0: config.ini's)
  net::SessionOptions network;  // --net-loss PERCENT, --net-seed N, --net-delay MS
  std::string remainder;  // the command line without the long options, words joined by blanks
  bool showHelp = false;
};

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

// Working paths, set once at start-up.
struct WorkingPaths {
  std::string working;  // current folder with a trailing '/'
  std::string data;     // working + "data/" beside runmode.ini, else the working folder
  std::string temporary;
  std::string engineFile;  // "engine.dll" beside runmode.ini, else empty (the builder's source)
};

// runmode.ini: line 1 the project path, line 2 the run mode, line 3 the current element; lines 4
// and 5 are numbers the engine does not use.
struct RunModeFile {
  bool present = false;
  std::vector<std::string> lines;
};

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
inline constexpr int32_t kExitResume = -4;  // resume the saved game of the last resume request
inline constexpr int32_t kExitRuntimeError = INT32_MIN;

// Lowest and highest tick rate a brain may ask for, and the clock units of one tick at a rate.
inline constexpr int32_t kMinFramerate = 15;
inline constexpr int32_t kMaxFramerate = 250;
inline constexpr uint32_t TickPeriodAt(int32_t rate) { return platform::Clock::kUnitsPerSecond / static_cast<uint32_t>(rate); }

// One play of a project: wiped at every play start (a fresh one is made), kept after the play
// ends until the next one, so a state dump can read it.
struct Play {
  Play();  // points the compiler's tick counter at the brain runtime's
  Play(const Play&) = delete;
  Play& operator=(const Play&) = delete;

  uint32_t deadline = 0;  // clock time at which the next tick is due
  int32_t steps = 0;      // logic steps of the loop (the settling steps not counted)
  bool resumed = false;   // the play restored a saved game at its start
  int32_t exitTarget = kExitNone;
  int32_t stepLimit = INT32_MAX;  // what the run's step limit leaves for this play
  bool testPlay = false;
  std::FILE* timingLog = nullptr;  // --timing-log: one line per loop pass, closed at play end
  brain::CompilerState compiler;
  brain::BrainRuntime brains;
  // The orientation accumulator of rotation_axis_set, rotation_axis_add and orientation_set: a
  // unit quaternion (w, x, y, z) that starts as no rotation.
  std::array<double, 4> orientation = {1.0, 0.0, 0.0, 0.0};
  // The loaded aspects: the slot table and aspect data in the arena, and the visuals (file, built
  // frames, textures) behind the visual slots.
  engine::AspectMemory aspects;
  std::unique_ptr<engine::VisualLibrary> visuals;
  // The ground maps of the boundary elements. Their aspect slots hold the map's header, with words
  // 1 and 2 replaced by a handle (map number + 1; 0 for none) that GroundMapOfSlot resolves: the
  // triangles and buckets stay out of guest memory.
  std::vector<model::GroundMap> groundMaps;
  // The scene of the play: built after the aspects are loaded, released when the play ends.
  engine::SceneBridge scene;
  // Text printed by brains: the queue the brain step empties at the start of every tick, the font
  // slots and the current colour, all at their defaults at every play start.
  engine::PrintedText text;
  // The elements' sounds: started with the scene, stopped when the play ends.
  engine::ElementSounds sounds;
  // What the play start put aside and the play end puts back.
  model::Fog fog;
  std::vector<uint8_t> keptCollisionMap;  // test play only
  CollisionState collisions;  // pair list, ground and volume references, polygon test results
  bool portsNoticeGiven = false;  // a port instruction was refused and said so on stderr
};

// The ground map a boundary element's aspect slot names, or nullptr (no slot, not a ground map
// slot, or a handle of no map of this play).
inline const model::GroundMap* GroundMapOfSlot(const Play& play, const int32_t* slot) {
  if (slot == nullptr || static_cast<uint32_t>(slot[model::kGroundWordTag]) != model::kGroundTag) return nullptr;
  const int64_t handle = slot[model::kGroundWordTriangles];
  if (handle < 1 || handle > static_cast<int64_t>(play.groundMaps.size())) return nullptr;
  return &play.groundMaps[static_cast<size_t>(handle - 1)];
}

// The position stack of push and pop: entries of words 3 to 14 of a record (position, rotation,
// velocity, spin).
struct PositionStack {
  static constexpr int kEntries = 128;
  static constexpr int kWords = 12;
  std::array<std::array<int32_t, kWords>, kEntries> entries{};
  int depth = 0;
};

// The value of `debug`: once set, every rendered frame of the play shows it.
struct DebugValue {
  int32_t value = 0;
  bool shown = false;  // cleared at each play start
};

// What instruction routines need of the play loop, which lives above them; the application fills
// them before a play. An empty hook does nothing (routine tests run without a loop).
struct LoopHooks {
  std::function<void()> renderFrame;  // render and present one frame of the play
  std::function<void()> pumpInput;    // one pass of the input pump
  std::function<bool()> inputHeld;    // a key, a mouse button or a controller button is down
  std::function<void(const std::string&)> showBox;  // a box of the program's look with " OK "
  // Starts a new instance of `program` without arguments (reset); when empty the platform starts
  // it. Tests put their own here so that no second engine runs.
  std::function<bool(const std::string& program, std::string* error)> startInstance;
};

// A saved game waiting to be restored: the chain found exit target -4, read the slot's file and
// restores it at the next play start, after the brains are compiled.
struct ResumeRequest {
  bool pending = false;
  std::string bytes;  // the slot's file as the chain read it: the restore uses these very bytes
};

// Everything the engine process keeps from start-up to shut-down; never wiped. Making one makes
// it the current engine; destroying the current one leaves none.
struct Engine {
  Engine();
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  platform::Platform platform;
  core::Arena arena;
  LaunchOptions options;
  WorkingPaths paths;
  EngineSettings settings;
  std::vector<int32_t> commandLine;  // what par_count and par_get read
  engine::Display display;
  // The renderer of every play's scene; opened with the first scene, closed at shut-down. Null
  // while no GL device is open (and in runs without one).
  std::unique_ptr<engine::scene::Renderer> renderer;
  platform::ModelImportCache modelImports;  // model files imported once for all the plays of the run
  bool rendererFailed = false;  // it could not open once: not tried again
  RenderDefaults renderDefaults;
  bool networkActive = false;
  // The network session once netmode.ini has started one (connected or playing alone); null
  // otherwise. Declared after the platform, so it ends first.
  std::unique_ptr<net::Session> network;
  HandleTable handles;  // string variables and arrays
  uint32_t tickPeriod = TickPeriodAt(30);  // max_framerate_set changes it for the rest of the process
  int32_t maxFramerate = 30;
  // Index range of the last globals_save or globals_load; a test play reads temp/globvars.dat over it.
  int32_t globalsFirst = 0;
  int32_t globalsLast = 0;
  // The brains' random source (the arena's random table, a cursor, the loop counter the input pump
  // counts), the position stack and the debug value: they outlive the plays of a run.
  core::RandomSource random;
  PositionStack positions;
  DebugValue debug;
  LoopHooks hooks;
  // The game chain: the sub-project being played (-1 before the first), the slot of the last save
  // or resume request, a restore waiting for the next play.
  int32_t subProject = -1;
  int32_t saveSlot = 0;
  ResumeRequest resume;
  std::string loadCompletePicture;  // shown once the sub-project being loaded is compiled; "" none
  int32_t listener = 0;  // the element that hears the sounds (the hearer): 0 at every play start
  platform::SingleInstance instance;  // one engine per working folder
  std::string windowName;  // the 32-byte window name field, as the builder patched it
  // A file the options ask for (--screenshot, --dump, --timing-log) could not be written; the run
  // went on, and the process fails at its end.
  bool outputFailed = false;

  // The program's own screens and boxes (canvas, skin, button table), the two editor fonts
  // ("font.fnt" for the tools, "font8.fnt" while a play runs) and the host that pumps input and
  // presents for them. The canvas follows the display mode.
  engine::widgets::WidgetScreen widgets;
  engine::EditorFont toolFont;
  engine::EditorFont playFont;
  std::unique_ptr<engine::widgets::WidgetHost> widgetHost;

  // Input, refreshed by the input pump.
  KeyQueue keys;
  uint32_t typedLength = 0;  // characters in the typed-text buffer (in the arena)
  uint8_t readKeyScan = 0;   // scan code of the entry ReadKey took last
  bool active = true;        // the window has been activated; the renderer draws only then
  bool playing = false;      // from the start of a play to its end
  bool firstFrame = false;   // only around the first render of a play
  int32_t mouseX = 0;
  int32_t mouseY = 0;
  uint32_t mouseButtons = 0;
  // The pointer as the last rendered frame saw it: any_input_exit compares the pointer with it.
  int32_t frameMouseX = 0;
  int32_t frameMouseY = 0;
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
  // Logic steps of all the plays of the run so far, counted at each play end: the run's step limit
  // (--ticks) caps the whole run, a game's chain of plays included.
  int64_t runSteps = 0;
};

// [SECTION] The current engine

namespace detail {
inline Engine* current = nullptr;
}

// The engine instruction routines work on. Only valid while one exists; routines run only inside
// a brain step of a play, so they always have one.
inline Engine& Current() { return *detail::current; }
inline bool HasCurrent() { return detail::current != nullptr; }
// Makes `engine` the current one (a test that keeps two engines switches between them).
inline void MakeCurrent(Engine* engine) { detail::current = engine; }

}  // namespace state
