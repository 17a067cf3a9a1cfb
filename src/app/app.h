// Public header of the application core: the engine program's options, settings, process state,
// input pump and run modes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "state/state.h"

namespace app {

// The state the application works on lives below the instruction families, which reach it too.
using state::Engine;
using state::EngineSettings;
using state::KeyQueue;
using state::LaunchOptions;
using state::Play;
using state::RenderDefaults;
using state::RunModeFile;
using state::WorkingPaths;
using state::kExitEndScreen;
using state::kExitNone;
using state::kExitRuntimeError;
using state::kExitSystem;
using state::kTypedTextMax;

// [SECTION] Launch options and the command line

// Parses argv. False with a message in *error for an unknown option or a missing value.
bool ParseLaunchOptions(int argc, const char* const* argv, LaunchOptions* out, std::string* error);
std::string LaunchOptionsHelp();

// The command-line numbers: when the text starts with '/', each '/' is followed by a decimal
// number (C library conversion), then the blanks up to the next '/'; anything else ends the list.
std::vector<int32_t> ParseCommandLineNumbers(const std::string& text);

// [SECTION] Settings and paths

// Reads the settings with their defaults (a missing file, key or a value with a bad checksum
// keeps the default), then validates the display modes against the legal ones.
EngineSettings ReadEngineSettings(const std::string& path);
// Writes all seven values back, keeping whatever else the file holds. False on failure.
bool WriteEngineSettings(const std::string& path, const EngineSettings& settings);

WorkingPaths MakeWorkingPaths(const std::string& currentFolder, bool hasRunMode);

// Loads the four lookup tables from the data folder into the arena. A missing or short file
// leaves its buffer as it was; the names of such files are returned.
std::vector<std::string> LoadLookupTables(const std::string& dataFolder, core::Arena* arena);

RunModeFile ReadRunModeFile(const std::string& path);
std::string RunModeProjectPath(const RunModeFile& file);  // empty without the file
int32_t RunModeCode(const RunModeFile& file);             // 0 without the file
int32_t RunModeNumber(const RunModeFile& file, int k);    // line k + 2; -1 for line 3 without the file


// The run-time error box of a play (caption "Runtime Error", lines separated by '|', the text
// shown as every box shows it, see [SECTION] Boxes): the sound is muted and the cursor shown while
// it is up, the next tick is due one period after it closes, and the play ends after the current
// step.
void ShowRuntimeError(Engine& engine, const std::string& text);
// Plays the loaded project until Escape, an exit target, the step limit or a stop signal; returns
// the exit target. It is the three steps below in order.
int32_t PlayProject(Engine& engine);
// One brain step of the play (brain::RunBrains on engine.play->brains), after emptying the text
// queue; a run-time fault names the element and its brain line ("Element 'Ball', brain line 12").
void RunBrainStep(Engine& engine);
// Play start: a fresh engine.play; state records; the scene built and the sound system started
// (hearer 0); the brains compiled and set up; what the play end puts back kept aside; every
// element's sound silenced; four settling steps; the first frame; the first deadline.
void StartPlay(Engine& engine);
// One pass of the loop: input, one logic step, then either the wait for the deadline and a frame,
// or (late) no frame. False when the play ends: step limit, exit target, Escape, or a stop signal
// (seen before the pass does anything; a wait it interrupts ends early).
bool RunPlayPass(Engine& engine);
// Play end: fog and (test play) collision map put back, timing log closed, state dump written,
// the sound system stopped, the play's steps added to the run's, input flushed (test play).
// Returns the exit target.
// engine.play stays for inspection.
int32_t EndPlay(Engine& engine);
// Run mode 0's set-up of a finished game: the data files beside the engine, a player's run of a
// game whose files are stored scrambled.
void SetUpGameRunner(Engine& engine);
// The 2048 globals from the game's globvars.dat; cleared when there is none.
void ReadGameGlobals(Engine& engine);
// Loads a sub-project as the chain does: the scrambled project through a clear copy that lives only
// for the load, and its collision map and settings from the .col beside it (no pair collides
// without one). False with the message the chain's box shows.
bool LoadSubProject(Engine& engine, const std::string& path, std::string* error);
// One project of a finished game: reads globvars.dat (or clears the globals), loads the scrambled
// project and its .col, plays it, writes globvars.dat back. Returns the exit target.
int32_t RunProject(Engine& engine, const std::string& path);
// The chain of a finished game: sub-project 1, then whichever sub-project each play asks for, until
// a play ends the game or asks for a sub-project that does not exist, the run's step limit is
// used up, or a stop signal came (no further sub-project starts). Exit target -4 resumes the saved
// game of the last resume request: its sub-project is played next and restored at its start.
// When the game ends (not by exit -3, a stop signal or the run's step limit) the end picture
// end_.bmp is shown until any input.
void RunGame(Engine& engine);
// A cut-scene: the video at `path` played once, its frames centred on the back surface at the size
// its file name asks for (platform::VideoSizeFromName, the display's size when none) and shown at
// the file's frame rate, each scaled to that size; picture only. Input ends it: a key, mouse or
// controller button pressed (one held when it starts must be let go first), or a stop signal.
// Headless there is no window: every frame is decoded and counted without waiting, and
// "[video] NAME WIDTHxHEIGHT N frames" goes to stderr (NAME the file's own name, the size the one
// it would be shown at). A file that cannot be opened is skipped with a line on stderr; false then.
bool PlayCutScene(Engine& engine, const std::string& path);
// A resumed game starts its brains from this tick count.
inline constexpr int32_t kResumedTickCounter = 10000;
// The restore of a saved game at the start of the play of the sub-project it names, after the
// records are filled and the brains compiled: clears the pending request; takes the file the chain
// read, which must be a whole saved game (else a line on stderr, false, and the play starts afresh);
// puts the records back but for their brain entries, the globals, the listener; the tick counter
// becomes kResumedTickCounter.
bool RestoreResumedGame(Engine& engine);
// [SECTION] The game chain's pictures and waits

// Stretches the picture over the whole surface, nearest pixel, in the surface's pixel format.
void StretchPicture(const engine::Picture& picture, const engine::Surface& surface);
// Fills the back surface with black and presents it.
void ClearScreen(Engine& engine);
// Reads a BMP (unscrambled first when `scrambled`; a picture stored the other way is taken too),
// stretches it over the display mode's screen into the back surface and presents it: one
// presented frame, which --screenshot-at counts. A picture that is missing or cannot be decoded
// clears the screen instead (false). Headless runs log a shown picture as "[picture] NAME WxH".
bool ShowChainPicture(Engine& engine, const std::string& path, bool scrambled);
// Waits until no key, mouse button or controller button is held, then until one is pressed (the
// test of `pause`). Returns at once on a stop signal, or in a headless run when the input script
// has nothing left to press.
void WaitForAnyInput(Engine& engine);
// The loading and load-complete pictures of sub-project `number` from the game's multilev.ini
// (line `number`, fields 1 and 2), each under the working folder; "" for an empty, over-long or
// missing field. False (both "") when the file or the line is missing.
bool ReadChainPictures(const std::string& workingFolder, int32_t number, std::string* loading,
                       std::string* loadComplete);
// Once a sub-project's brains are compiled: its load-complete picture (engine.loadCompletePicture,
// taken and cleared), then the wait for any input, then a black screen. No picture, or one named
// black_.bmp (in any case), shows nothing and waits for nothing; the back surface is cleared for
// the play either way.
void ShowLoadCompletePicture(Engine& engine);

// Run mode 6: the game builder. Builds the finished game of data/multilev.ini after the
// confirmation, with the engine that is running as the game's engine.
void RunBuilderTool(Engine& engine);
// Removes the brain working copies (*.bra) of a finished game's folder: once the brains are
// compiled they are not needed, and they are not left lying about.
void DeleteWorkingCopies(const std::string& folder);
// Logic steps the run may still take: --ticks N (3 for a headless run without it) less the steps
// of the plays so far, never below 0; INT32_MAX without a limit.
int32_t RunStepsLeft(const Engine& engine);
// working folder + "level" + three digits + ".prj".
std::string SubProjectPath(const std::string& workingFolder, int32_t number);
// Play start, after the state records are filled: the aspect slots of the elements in element
// order, for the kinds loaded so far. A visual (type 11) gets one slot per frame with its collision
// faces (words 1 and 0 the first slot, word 42 and item 2 of field 38 the frame count), its built
// frames (shared with earlier elements naming the same file) and its box in words 15-20 (maxima x,
// y, z, then minima); a .x element (type 13) the box of its box file. The aspect memory is emptied
// first. A boundary element (type 12) gets one slot holding its ground map's header, with words 1
// and 2 a handle of the map the play keeps (state::GroundMapOfSlot), and words 1 and 0 that slot.
void LoadAspects(Engine& engine, const std::vector<model::ElementSetup>& setups);
// Test-play start, before the aspects load: for every boundary element whose map's .3ds source
// (the map path with ".3ds" for its last four characters) exists and differs from the checksum
// stored in the map, rebuilds the map with the build notice, then "Loading data, please wait...".
// A source that is no model keeps the old map and says so in a notice.
void UpdateGroundMaps(Engine& engine);
// Sets state word 15 to 2 for every element that is on and whose current aspect slot holds a flat
// frame (kind tag "d3f."): the renderer counts down its redraws from there.
void MarkFlatFrames(const core::Arena& arena, int32_t lastElement);
// Test play: clears the globals and reads temp/globvars.dat, in the text form, over the range of
// the last globals_save or globals_load. Returns how many globals the file gave.
int32_t ReadTestPlayGlobals(Engine& engine);
// The element state records of the play as JSON: tick, exit target, per element its index, name,
// 256 words and the named words, then the play's orientation accumulator, the 2048 globals and the
// program state ("program": random cursor, loop counter, position stack depth, debug text or null),
// the sound system ("sound", engine::ElementSounds::Json; each element has its own "sound" too),
// then `scene` as it is (the scene's JSON, or null) and "gl_objects": `glObjects`, null when it is
// negative (no renderer).
std::string DumpStateRecords(const Engine& engine, const std::string& scene, int64_t glObjects);


// [SECTION] Input pump

// One pass of input work, once per frame in every loop: window events (the window-procedure
// rules), the pointer and buttons, the frame count.
void PumpInput(Engine& engine);
// True while a key, a mouse button or a controller button is down: the one "any input held" test
// of the flush, the pause and the chain's waits.
bool AnyInputHeld(const Engine& engine);
// 20 passes of: pump, wait until no key, mouse or controller button is down, empty the key queue. A stop signal
// cuts it short, leaving the queue empty.
void FlushInput(Engine& engine);
// The oldest key of the queue as a one-character string (empty for a bare key or an empty
// queue); its scan code is kept in readKeyScan.
std::string ReadKey(Engine& engine);
// The typed-text buffer.
std::string TypedText(const Engine& engine);
// Applies one event the way the window procedure does; `next` is the event after it, if any.
void HandleWindowEvent(Engine& engine, const platform::InputEvent& event, const platform::InputEvent* next);

// [SECTION] Boxes

// Every box shows its text through core::PrintableText: non-printing bytes as \xNN, each line cut
// at 255 characters with "...". Headless runs log every box on stderr as
// "[message box] CAPTION: TEXT -> BUTTON" (lines separated by line feeds).
//
// Formats the text, appends "\r\n" and shows a system box with "OK" and the window name as
// caption; headless (and with the display made) it is a question box on the canvas with the
// caption as its first line and " OK ".
void ShowError(Engine& engine, const char* format, ...) __attribute__((format(printf, 2, 3)));
// A question box of the program's own look on the canvas: lines separated by '|', one or two
// buttons; returns the chosen button's index, `defaultButton` when no input can come. A system box
// stands in before the display exists. During a play the frame pictures are drawn again afterwards
// and the box's time is not caught up.
int ShowProgramBox(Engine& engine, const std::string& text, const std::vector<std::string>& buttons,
                   int defaultButton = 0);
// A notice drawn on the canvas while long work runs ("Loading data, please wait..."), logged in
// headless runs; the empty text takes it down, leaving a black screen.
void ShowNotice(Engine& engine, const std::string& text);
// Start-up, once the display exists: the skin data/panels.pcx (its palette makes the drawing
// surface's conversion table; a missing or bad one gives the plain look), the two editor fonts
// (the built-in one for a missing or bad file), the canvas at the display's size, the widget host.
void StartWidgets(Engine& engine);
// Shows the back surface alone as a frame (the boxes' and tools' screens).
void ShowBackSurface(Engine& engine);
// Opens the renderer once a GL frame exists (a failure is reported once); true when it is open.
bool OpenRenderer(Engine& engine);

inline constexpr const char* kToolMissing = "This tool is not available in this build";

// [SECTION] Start-up and run modes

// Exit codes of the engine program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitStartFailed = 1;
inline constexpr int kExitOutputFailed = 1;  // the run went on, but a file it was asked for was not written
inline constexpr int kExitBadOptions = 2;    // also a missing input script and an unknown run mode
inline constexpr int kExitSwitchedToSoftware = 3;  // no hardware device; the next run uses software
inline constexpr int kExitOtherInstance = 4;
// A run stopped by SIGINT or SIGTERM: 128 + the signal's number, as a shell reports it.
inline constexpr int kExitInterrupted = 130;
inline constexpr int kExitTerminated = 143;

// A file the options ask for could not be written: "main: FAILURE" on stderr, where FAILURE is
// "cannot write PATH: REASON" (CannotWrite gives it for errno); the run goes on and ends with
// kExitOutputFailed.
void ReportOutputFailure(Engine& engine, const std::string& failure);
std::string CannotWrite(const std::string& path, int error);

// Start-up step 5: makes the network session (ENet, or no network with the null back end) and
// starts it by network.ini or the dialog. False when the run should end.
bool StartNetworkSession(Engine& engine);
// Play start: hooks the session (when one is active) into the play's brain step.
void BeginNetworkPlay(Engine& engine);

// Start-up steps 1-12: returns kStartedUp when the run mode can be dispatched, else the exit code.
inline constexpr int kStartedUp = -1;
int StartUp(Engine& engine, int argc, const char* const* argv);
// Reads runmode.ini and runs the mode it names (or the game), then returns the exit code: kExitOk,
// or kExitBadOptions for a run mode that names no tool ("Unknown run mode N" on stderr and in a
// box, before anything is loaded).
int RunModeDispatch(Engine& engine);
// Releases everything start-up made, in reverse order, then reports a screenshot that could not
// be written (ReportOutputFailure). Safe after a partial start-up.
void ShutDown(Engine& engine);

// One widget run as a tool would run it (vexel widget): `kind` is box (TEXT [LABEL1 [LABEL2]]),
// menu (ENTRIES), input (PROMPT [TEXT], `width`), colour (INDEX), files (FOLDER CATEGORY TITLE) or
// folder (PATH PATTERN).
struct WidgetRequest {
  std::string kind;
  std::vector<std::string> args;
  int width = 0;  // input: the minimum width; 0 for the default
  bool font8 = false;  // the play font instead of the tool font
  bool json = false;
};
bool IsWidgetKind(const std::string& kind);
// Starts the engine with argv (headless options), runs the widget in the data folder under the
// current folder and puts "result VALUE\n" (or with `json` the object) in *output. Returns the
// engine's exit code.
int RunWidget(int argc, const char* const* argv, const WidgetRequest& request, std::string* output);

// What a run of the engine leaves for a caller in the same process (vexel play).
struct RunOutcome {
  int32_t exitTarget = kExitNone;  // the exit target of the last play; kExitNone when none ran
};

// The engine program: returns the process exit code, and fills *outcome when given. It installs the
// stop signals first; after a stop signal the run winds down the normal way (the play ends and
// saves what a play end saves) and the code is 128 + the signal's number, whatever the run reached.
int Main(int argc, const char* const* argv, RunOutcome* outcome = nullptr);

}  // namespace app
