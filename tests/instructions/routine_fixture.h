// A fresh engine with an arena, the lookup tables and every family bound, for tests that call
// instruction routines the way brain code does.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "brain/brain.h"
#include "core/core.h"
#include "instructions/instructions.h"
#include "mkdata/mkdata.h"
#include "model/model.h"
#include "state/state.h"

namespace testing_support {

class RoutineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(arena.Create());
    engine.play = std::make_unique<state::Play>();
    const std::vector<uint8_t> atan = mkdata::ArctangentTable();
    std::memcpy(arena.Host(core::Region::kArctangent), atan.data(), atan.size());
    const std::vector<uint8_t> sine = mkdata::FineSineTable();
    std::memcpy(arena.Host(core::Region::kSineFine), sine.data(), sine.size());
    const std::vector<uint8_t> coarse = mkdata::CoarseSineTable();
    std::memcpy(arena.Host(core::Region::kSineCoarse), coarse.data(), coarse.size());
    engine.random.table = arena.Host(core::Region::kRandom);
    calls.arena = &arena;
    std::vector<std::string> problems;
    ASSERT_TRUE(instructions::BindAllRoutines(&calls.routines, &problems)) << problems[0];
  }
  // A text literal in the brain's pool, as compiled brains pass it.
  uint32_t Literal(const char* text) {
    char* pool = arena.As<char>(core::Region::kStringStore);
    const uint32_t at = engine.play->compiler.stringStoreUsed;
    std::memcpy(pool + at, text, std::strlen(text) + 1);
    engine.play->compiler.stringStoreUsed += static_cast<uint32_t>(std::strlen(text) + 1);
    return arena.Address(core::Region::kStringStore) + at;
  }
  int32_t* Record(int element) { return arena.As<int32_t>(core::Region::kElementRecords) + element * 256; }
  uint32_t Address(int element) {
    return arena.Address(core::Region::kElementRecords) + 1024u * static_cast<uint32_t>(element);
  }
  // Calls the named routine as brain code does, through its stub address; returns EAX, or fails
  // the test on a fault.
  int32_t Call(const char* name, uint32_t a = 0, uint32_t b = 0, uint32_t c = 0, uint32_t d = 0, uint32_t e = 0) {
    brain::Regs regs{a, b, c, d, e, Address(0)};
    std::string fault;
    EXPECT_TRUE(brain::CallRoutine(&calls, brain::RoutineAddress(brain::RowOfName(name)), &regs, &fault))
        << name << ": " << fault;
    return static_cast<int32_t>(regs.eax);
  }
  // The same call when it must fault: returns the fault text (empty when it did not fault).
  std::string Fault(const char* name, uint32_t a = 0, uint32_t b = 0, uint32_t c = 0, uint32_t d = 0, uint32_t e = 0) {
    brain::Regs regs{a, b, c, d, e, Address(0)};
    std::string fault;
    if (brain::CallRoutine(&calls, brain::RoutineAddress(brain::RowOfName(name)), &regs, &fault)) return {};
    return fault.empty() ? "(fault without text)" : fault;
  }
  // A brain of element 0 compiled and run through the bound routines, its run-time errors kept.
  struct BrainRun {
    brain::CompilerState compiler;
    brain::BrainRuntime runtime;
    std::vector<std::string> errors;
  };
  // Readies `run` for `backend`: compilation begun, element 0's brain entry at the code's start.
  void StartBrainRun(BrainRun* run, brain::Backend backend) {
    ASSERT_TRUE(brain::BeginCompilation(&run->compiler, &arena));
    run->runtime.arena = &arena;
    run->runtime.backend = backend;
    run->runtime.routines = calls.routines;
    run->runtime.runtimeError = [run](const std::string& text) { run->errors.push_back(text); };
    Record(0)[model::kWordBrainEntry] = static_cast<int32_t>(run->compiler.code.Address());
  }
  void SetVector(int element, int firstWord, int32_t x, int32_t y, int32_t z) {
    Record(element)[firstWord] = x;
    Record(element)[firstWord + 1] = y;
    Record(element)[firstWord + 2] = z;
  }

  state::Engine engine;  // the current engine the routines work on
  core::Arena& arena = engine.arena;
  brain::BrainRuntime calls;  // what Call dispatches through
};

}  // namespace testing_support
