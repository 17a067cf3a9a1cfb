// Program control: what a brain tells the play and the process (exit, pause, saving and resuming
// a game, the debug value, a flash of colour), the position stack, the game's command line and the
// date.
//
// | Instruction       | Arguments | Effect                                                        |
// |-------------------|-----------|---------------------------------------------------------------|
// | exit              | target    | ends the play after this step with the target (-1: play on)   |
// | par_count         |           | returns how many numbers the command line holds               |
// | par_get           | index     | returns number `index` of the command line (0 outside)        |
// | max_framerate_set | rate      | 15..250 ticks a second for the rest of the process            |
// | max_framerate     |           | returns the tick rate                                         |
// | pause             |           | a frame; the sound muted; 500 ms; waits until all input is    |
// |                   |           | released, then for a key, mouse or controller button; the     |
// |                   |           | sound back; the next tick is due one period later             |
// | save, save_x      | [slot]    | finished game only: writes "curr" + slot + ".dat" (slot 0 for |
// |                   |           | save), the sound muted meanwhile: sub-project, listener, the  |
// |                   |           | 256 records, the globals                                      |
// | resume, resume_x  | [slot]    | finished game only: exit target -4 when that file is a whole  |
// |                   |           | saved game; the chain restores it                             |
// | reset             |           | finished game only: starts a new instance of the running      |
// |                   |           | executable without arguments, then exit target -3             |
// | push              | element   | words 3-14 onto the 128-entry position stack; not when full   |
// | pop               | element   | the top entry into words 3-14; not when empty                 |
// | exemode           | mask      | mask & (1 in a finished game + 2 when vexel.ini line 14 is    |
// |                   |           | not 0)                                                        |
// | debug             | value     | every frame of the play shows "Debug value: V (HEX: 0xH)"     |
// | flash             | colour    | the screen filled with palette colour (index & 255), shown at |
// |                   |           | once                                                          |
// | year ... second   |           | the local date and time; the year in full                     |
#include "instructions/program.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>

#include "core/core.h"
#include "instructions/arguments.h"

namespace instructions {
namespace {

bool exit(brain::Regs* regs, std::string*) {
  state::Engine& engine = state::Current();
  // -1 is "play on": it never ends a play.
  const auto target = static_cast<int32_t>(regs->eax);
  if (target != state::kExitNone && engine.play) engine.play->exitTarget = target;
  return true;
}

bool par_count(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(ParCount(state::Current()));
  return true;
}

bool par_get(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(ParGet(state::Current(), static_cast<int32_t>(regs->eax)));
  return true;
}

// A rate outside the range is ignored.
bool max_framerate_set(brain::Regs* regs, std::string*) {
  state::Engine& engine = state::Current();
  const auto rate = static_cast<int32_t>(regs->eax);
  if (rate >= state::kMinFramerate && rate <= state::kMaxFramerate) {
    engine.maxFramerate = rate;
    engine.tickPeriod = state::TickPeriodAt(rate);
  }
  return true;
}

bool max_framerate(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(state::Current().maxFramerate);
  return true;
}

// 500 ms of the 4500-a-second clock.
constexpr uint32_t kPauseUnits = platform::Clock::kUnitsPerSecond / 2;

void Run(const std::function<void()>& hook) {
  if (hook) hook();
}

bool Held(const state::Engine& engine) { return engine.hooks.inputHeld && engine.hooks.inputHeld(); }

// Pump passes until `until` holds. A headless run with no input left to come would wait for ever:
// it goes on at once, and says so.
void PumpUntil(state::Engine& engine, bool (*until)(const state::Engine&)) {
  while (!until(engine) && platform::StopSignal() == 0) {
    if (!engine.platform.window->InputMayArrive()) {
      std::fprintf(stderr, "main: pause: no input can arrive any more; the play goes on\n");
      return;
    }
    if (!engine.platform.clock().IsVirtual()) platform::Clock::Sleep(platform::Clock::kUnitsPerSecond / 30);
    Run(engine.hooks.pumpInput);
  }
}

bool pause(brain::Regs* regs, std::string*) {
  state::Engine& engine = state::Current();
  Run(engine.hooks.renderFrame);
  const float volume = engine.play ? engine.play->sounds.Mute() : 1.0f;
  platform::Clock& clock = engine.platform.clock();
  if (clock.IsVirtual()) clock.Advance(kPauseUnits);
  else platform::Clock::Sleep(kPauseUnits);
  Run(engine.hooks.pumpInput);
  PumpUntil(engine, [](const state::Engine& e) { return !Held(e); });
  PumpUntil(engine, Held);
  if (engine.play) engine.play->sounds.Unmute(volume);
  // The pause is not caught up: the next tick is one period from now.
  if (engine.play) engine.play->deadline = clock.Now() + engine.tickPeriod;
  regs->eax = 0;
  return true;
}

bool reset(brain::Regs* regs, std::string*) {
  ResetGame(state::Current());
  regs->eax = 0;
  return true;
}

bool save(brain::Regs* regs, std::string*) {
  SaveGame(state::Current(), 0);
  regs->eax = 0;
  return true;
}

bool save_x(brain::Regs* regs, std::string*) {
  SaveGame(state::Current(), static_cast<int32_t>(regs->eax));
  regs->eax = 0;
  return true;
}

bool resume(brain::Regs* regs, std::string*) {
  RequestResume(state::Current(), 0);
  regs->eax = 0;
  return true;
}

bool resume_x(brain::Regs* regs, std::string*) {
  RequestResume(state::Current(), static_cast<int32_t>(regs->eax));
  regs->eax = 0;
  return true;
}

constexpr int kStackFirstWord = model::kWordPositionX;  // words 3..14

int32_t PushBody(const core::Arena*, int32_t* record, const brain::Regs&) {
  state::PositionStack& stack = state::Current().positions;
  if (stack.depth >= state::PositionStack::kEntries) return 0;
  std::memcpy(stack.entries[static_cast<size_t>(stack.depth++)].data(), record + kStackFirstWord,
              sizeof(int32_t) * state::PositionStack::kWords);
  return 0;
}

int32_t PopBody(const core::Arena*, int32_t* record, const brain::Regs&) {
  state::PositionStack& stack = state::Current().positions;
  if (stack.depth <= 0) return 0;
  std::memcpy(record + kStackFirstWord, stack.entries[static_cast<size_t>(--stack.depth)].data(),
              sizeof(int32_t) * state::PositionStack::kWords);
  return 0;
}

bool exemode(brain::Regs* regs, std::string*) {
  const state::Engine& engine = state::Current();
  const uint32_t mode = (engine.playerRun ? 1u : 0u) | (engine.editorState.Number(14) != 0 ? 2u : 0u);
  regs->eax &= mode;
  return true;
}

bool debug(brain::Regs* regs, std::string*) {
  state::Engine& engine = state::Current();
  engine.debug.value = static_cast<int32_t>(regs->eax);
  engine.debug.shown = true;
  return true;
}

// The palette colour through the display's conversion table, as the 16-bit pixel the 2D code
// writes, then as the colour the frame is cleared to.
bool flash(brain::Regs* regs, std::string*) {
  state::Engine& engine = state::Current();
  engine::Display& display = engine.display;
  const uint16_t pixel = display.conversion[regs->eax & 255u];
  for (size_t i = 0; i + 1 < display.backSurface.size(); i += 2) {
    display.backSurface[i] = static_cast<uint8_t>(pixel);
    display.backSurface[i + 1] = static_cast<uint8_t>(pixel >> 8);
  }
  const engine::PixelFormat& format = display.format;
  auto channel = [pixel](uint32_t mask, int shift) {
    const uint32_t top = mask >> shift;
    return static_cast<uint8_t>(top == 0 ? 0 : ((pixel & mask) >> shift) * 255u / top);
  };
  engine.platform.gl->BeginFrame({channel(format.redMask, format.redShift), channel(format.greenMask, format.greenShift),
                                  channel(format.blueMask, format.blueShift)});
  engine.platform.gl->Present();
  regs->eax = 0;
  return true;
}

// The local time now; fields of struct tm.
std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm fields{};
  localtime_r(&now, &fields);
  return fields;
}

bool year(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(LocalNow().tm_year + 1900);
  return true;
}

bool month(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(LocalNow().tm_mon + 1);
  return true;
}

bool day(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(LocalNow().tm_mday);
  return true;
}

bool hour(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(LocalNow().tm_hour);
  return true;
}

bool minute(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(LocalNow().tm_min);
  return true;
}

bool second(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(LocalNow().tm_sec);
  return true;
}

constexpr brain::RoutineEntry kProgramRoutines[] = {
    {"exit", exit},
    {"par_count", par_count},
    {"par_get", par_get},
    {"max_framerate_set", max_framerate_set},
    {"max_framerate", max_framerate},
    {"pause", pause},
    {"save", save},
    {"save_x", save_x},
    {"resume", resume},
    {"resume_x", resume_x},
    {"reset", reset},
    {"push", OneElement<PushBody>},
    {"pop", OneElement<PopBody>},
    {"exemode", exemode},
    {"debug", debug},
    {"flash", flash},
    {"year", year},
    {"month", month},
    {"day", day},
    {"hour", hour},
    {"minute", minute},
    {"second", second},
};

}  // namespace

std::span<const brain::RoutineEntry> ProgramRoutines() { return kProgramRoutines; }

int32_t ParCount(const state::Engine& engine) { return static_cast<int32_t>(engine.commandLine.size()); }

int32_t ParGet(const state::Engine& engine, int32_t index) {
  if (index < 0 || index >= ParCount(engine)) return 0;
  return engine.commandLine[static_cast<size_t>(index)];
}

bool ResetGame(state::Engine& engine) {
  if (!engine.playerRun) return false;
  const std::string program = platform::RunningExecutable();
  std::string error = "the running executable cannot be found";
  const bool started = !program.empty() && (engine.hooks.startInstance ? engine.hooks.startInstance(program, &error)
                                                                       : platform::StartProcess(program, {}, &error));
  // Ending this instance when no new one started would leave the player with no game at all:
  // the play goes on instead, and says why on stderr.
  if (!started) {
    std::fprintf(stderr, "main: reset: cannot start %s: %s; the game goes on\n", program.c_str(), error.c_str());
    return false;
  }
  if (engine.play) engine.play->exitTarget = state::kExitSystem;
  return true;
}

bool SaveGame(state::Engine& engine, int32_t slot) {
  if (!engine.playerRun) return false;
  engine.saveSlot = slot;
  Run(engine.hooks.renderFrame);
  const float volume = engine.play ? engine.play->sounds.Mute() : 1.0f;
  const std::string path = model::SavedGamePath(engine.paths.working, slot);
  const std::string bytes =
      model::SavedGameBytes(engine.subProject, engine.listener, engine.arena.As<int32_t>(core::Region::kElementRecords),
                            engine.arena.As<int32_t>(core::Region::kGlobals));
  // Through a temporary file: a full disk or a crash in the middle leaves the previous save whole.
  std::string reason;
  const bool written = core::WriteFileAtomic(path, bytes, &reason);
  if (!written) std::fprintf(stderr, "main: cannot save the game to %s: %s\n", path.c_str(), reason.c_str());
  if (engine.play) engine.play->sounds.Unmute(volume);
  if (engine.play) engine.play->deadline = engine.platform.clock().Now() + engine.tickPeriod;
  return written;
}

bool RequestResume(state::Engine& engine, int32_t slot) {
  if (!engine.playerRun) return false;
  const std::string path = model::SavedGamePath(engine.paths.working, slot);
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;  // no save in that slot: nothing happens
  // The file is read and checked whole once; the restore uses these very bytes, so a file changed
  // afterwards cannot be half-taken. A damaged one is refused where the player sees it.
  std::string bytes;
  model::SavedGame game;
  if (!S_ISREG(st.st_mode) || !core::ReadFile(path, &bytes) || !model::CheckSavedGame(bytes, engine.paths.working, &game)) {
    const std::string name = path.substr(path.rfind('/') + 1);
    std::fprintf(stderr, "main: %s is not a whole saved game of this game; it was not resumed\n", path.c_str());
    if (engine.hooks.showBox) engine.hooks.showBox("Saved game '" + name + "' is damaged and cannot be resumed!");
    if (engine.play) engine.play->deadline = engine.platform.clock().Now() + engine.tickPeriod;
    return false;
  }
  engine.saveSlot = slot;
  engine.resume = {false, std::move(bytes)};
  if (engine.play) engine.play->exitTarget = state::kExitResume;
  return true;
}

std::string DebugText(int32_t value) {
  char text[64];
  std::snprintf(text, sizeof text, "Debug value: %d (HEX: 0x%X)", value, static_cast<unsigned>(value));
  return text;
}

}  // namespace instructions
