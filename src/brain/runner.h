// The brain step: every element that is on and not disabled runs its compiled brain once, in
// element order, with its own record in EDI. Calls the interpreter, the instruction table and the
// arena; routines are bound by the owner.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "brain/interpreter.h"
#include "brain/native.h"
#include "core/core.h"

namespace brain {

// An instruction routine: reads its arguments from EAX..ESI and the current record from EDI,
// leaves its result in EAX. False (with a text) reports a misuse that ends the play. A plain
// function: what it works on it takes from the one current engine.
using Routine = bool (*)(Regs* regs, std::string* fault);

// One line of an instruction family's table. Alias rows share one routine, so a family lists
// each routine once, under any one of its names.
struct RoutineEntry {
  const char* name;
  Routine routine;
};

// The routines of a runtime, by routine slot: the routine id of the instruction's rows (the
// index of the first row of an alias group), so every name of an instruction reaches one slot.
using RoutineSlots = std::vector<Routine>;

// Binds every entry at its routine's slot, growing the slots to the row count first. Each name
// that is not an instruction, and each slot bound a second time (under the same or another name
// of the instruction), is described in *problems and left as it was; true when there was none.
bool BindRoutines(std::span<const RoutineEntry> entries, RoutineSlots* slots, std::vector<std::string>* problems);
// The slot of the instruction named `name`, or -1.
int RoutineSlotOf(std::string_view name);

// Nested `execute` runs allowed inside one brain run.
inline constexpr int kMaxExecuteDepth = 64;

// What a network session does around the brain step, so that the runner need not know the
// session. Every call comes from the game thread, in this order within one step: BeforeElements;
// for each element up to the last, BeforeBrain, its brain (when it runs), AfterBrain; then
// AfterElements, before the tick counter counts the step.
class NetworkHooks {
 public:
  virtual ~NetworkHooks() = default;
  virtual void BeforeElements() = 0;
  virtual void BeforeBrain(int32_t element, int32_t* record) = 0;
  virtual void AfterBrain(int32_t element, int32_t* record) = 0;
  virtual void AfterElements() = 0;
};

// Which backend runs brain code: the native translation (x86-64 hosts) or the reference
// interpreter. A brain the translator refuses runs in the interpreter.
enum class Backend : uint8_t { kInterpreter, kNative };
#if defined(__x86_64__)
inline constexpr Backend kDefaultBackend = Backend::kNative;
#else
inline constexpr Backend kDefaultBackend = Backend::kInterpreter;
#endif

// What the brain step works on; lives as long as a play. The owner fills the first block.
struct BrainRuntime {
  Backend backend = kDefaultBackend;
  core::Arena* arena = nullptr;
  int32_t lastElement = -1;  // index of the last element of the played project
  RoutineSlots routines;  // by routine slot (BindRoutines)
  Routine pickRoutine = nullptr;  // visual_picked_get, resolved once when the routines are bound
  std::function<void(const std::string& text)> runtimeError;  // the play's run-time error box
  // Told once per play about each row without a routine; such a call returns 0.
  std::function<void(const std::string& text)> missingInstruction;
  RunLimits limits;
  NetworkHooks* network = nullptr;  // the session of a networked play; null otherwise

  int32_t tickCounter = 0;    // brain steps since the compilation; set to 0 by the compiler
  uint32_t pickedElement = 0;  // 0 picking off, 1 on and nothing picked, else the element picked
  int executeDepth = 0;
  bool faulted = false;  // a run-time error ended the step; the play ends after it
  std::vector<bool> missingReported;
  NativeBrains native;  // translations of the compiled brains, made by PrepareBrains
};

// After a compilation: with the native backend, translates the brain of every element up to the
// last (brains may not be translated while one runs). Returns how many brains fell back to the
// interpreter; their reasons go to `refused` when given.
int PrepareBrains(BrainRuntime* runtime, std::vector<std::string>* refused = nullptr);

// Names where a fault happened: the element and the code address of the faulting instruction.
using FaultPlace = std::function<std::string(int32_t element, uint32_t codeAddress)>;

// Runs one brain step: picking, status bit 3 cleared on every element, each element that is on
// (bit 0) and not disabled (bit 1) run with its timer (word 43) counted, then the tick counter.
// A fault inside a brain reports its text, followed by a line from `place` when given (for example
// "Element 'Ball', brain line 12"), through runtimeError, and stops the step.
void RunBrains(BrainRuntime* runtime, const FaultPlace& place = nullptr);

// Calls the routine whose stub starts at guest address `stub`, as brain code does: an address
// that is no routine stub is a fault; a routine not bound answers 0 and is reported once per
// runtime through missingInstruction.
bool CallRoutine(BrainRuntime* runtime, uint32_t stub, Regs* regs, std::string* fault);

// Runs the brain of the element whose record starts at `recordAddress` at once, with that record
// in EDI, without status test or timer: the `execute` instruction. The EAX the brain ends with goes
// to *result when given. False, with the fault text, after a fault inside the brain or when nested
// deeper than kMaxExecuteDepth; *result is then left as it was.
bool RunBrainOf(BrainRuntime* runtime, uint32_t recordAddress, std::string* fault, uint32_t* result = nullptr);

}  // namespace brain
