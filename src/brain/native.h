// Native backend of compiled brain code: translates a brain's 32-bit byte sequences into x86-64
// machine code with asmjit and runs it. Calls core/arena, the instruction table and asmjit.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "brain/interpreter.h"
#include "core/core.h"

namespace brain {

struct NativeContext;
struct NativeRuntime;

// Translations of brains, cached by entry address, with the same observable behaviour as
// `Interpret`: the same registers, the same memory writes, the same faults and fault texts.
//
// Order of calls: Translate(entry) once per compiled brain, then Run(entry) any number of times.
// A translation refers to the arena it was made against; that arena must outlive it and keep its
// block (Forget or destroy the NativeBrains before Arena::Destroy). Recompiling code at an entry
// needs Forget first, since the cache never looks at the code again.
class NativeBrains {
 public:
  NativeBrains();
  ~NativeBrains();
  NativeBrains(const NativeBrains&) = delete;
  NativeBrains& operator=(const NativeBrains&) = delete;

  // Translates the code reachable from guest address `entry` (inside the code area). False with
  // *error set when anything reachable lies outside the brain code format, or asmjit fails; the
  // caller then runs that brain with `Interpret`. Faults the interpreter would only report at run
  // time (a memory operand outside the arena, a call of something that is not a routine stub,
  // code running off the code area) translate into fault exits and do not fail the translation.
  bool Translate(const core::Arena& arena, uint32_t entry, std::string* error);
  bool IsTranslated(uint32_t entry) const;

  // Runs a translated brain exactly as `Interpret` would. Entries not translated fault at once.
  // Reentrant: a routine may run another brain through the same object, though it may not
  // translate or forget while a brain runs.
  // *faultAt, when given, receives the guest address of the faulting instruction.
  RunResult Run(uint32_t entry, Regs* regs, const RoutineCall& call, const RunLimits& limits,
                std::string* fault, uint32_t* faultAt = nullptr) const;

  // Drops every translation (after the code area was rewritten).
  void Forget();

 private:
  using Function = int (*)(NativeContext*);
  std::unique_ptr<NativeRuntime> runtime_;
  std::unordered_map<uint32_t, Function> functions_;
};

}  // namespace brain
