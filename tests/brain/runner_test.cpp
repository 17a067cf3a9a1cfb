// The brain step: which elements run, in which order, with their timers, ticks and faults.
#include <gtest/gtest.h>

#include <climits>

#include "brain/compiler.h"
#include "brain/instruction_table.h"
#include "brain/runner.h"
#include "core/core.h"
#include "model/model.h"

namespace {

class Runner;
// The test that runs: routines are plain functions, so the test's own ones find it here.
Runner* running = nullptr;

class Runner : public ::testing::TestWithParam<brain::Backend> {
 protected:
  void SetUp() override {
    running = this;
    ASSERT_TRUE(arena.Create());
    ASSERT_TRUE(brain::BeginCompilation(&compiler, &arena));
    runtime.arena = &arena;
    runtime.backend = GetParam();
    runtime.routines.resize(brain::kInstructionRowCount);
    runtime.runtimeError = [this](const std::string& text) { errors.push_back(text); };
    // `on` switches the element it is given on, as the state instruction does.
    Bind("on", [](brain::Regs* regs, std::string*) {
      int32_t* record = reinterpret_cast<int32_t*>(running->arena.GuestToHost(regs->eax, 1024));
      record[model::kWordStatus] |= static_cast<int32_t>(model::kStatusOn);
      return true;
    });
    Bind("execute", [](brain::Regs* regs, std::string* fault) {
      return brain::RunBrainOf(&running->runtime, regs->eax, fault);
    });
  }
  void TearDown() override { running = nullptr; }
  void Bind(const char* name, brain::Routine routine) {
    const brain::RoutineEntry entry[] = {{name, routine}};
    std::vector<std::string> problems;
    ASSERT_TRUE(brain::BindRoutines(entry, &runtime.routines, &problems));
  }
  int32_t* Record(int element) { return arena.As<int32_t>(core::Region::kElementRecords) + element * 256; }
  // Compiles a brain for the element and sets its status word.
  void Give(int element, const std::string& text, uint32_t status) {
    Record(element)[model::kWordBrainEntry] = static_cast<int32_t>(compiler.code.Address());
    brain::CompileBrainText(&compiler, text);
    ASSERT_TRUE(compiler.error.empty()) << compiler.error;
    Record(element)[model::kWordStatus] = static_cast<int32_t>(status);
    runtime.lastElement = std::max(runtime.lastElement, element);
    std::vector<std::string> refused;
    EXPECT_EQ(brain::PrepareBrains(&runtime, &refused), 0) << (refused.empty() ? "" : refused[0]);
  }

  core::Arena arena;
  brain::CompilerState compiler;
  brain::BrainRuntime runtime;
  std::vector<std::string> errors;
};

constexpr uint32_t kOn = model::kStatusOn;
constexpr uint32_t kDisabled = model::kStatusDisabled;

TEST_P(Runner, OnlyElementsThatAreOnAndEnabledRun) {
  Give(0, "var x\r\nx = x + 1", kOn);
  Give(1, "var x\r\nx = x + 1", kOn | kDisabled);
  Give(2, "var x\r\nx = x + 1", 0);
  Record(0)[model::kWordStatus] |= static_cast<int32_t>(model::kStatusChildOffset);
  brain::RunBrains(&runtime);
  brain::RunBrains(&runtime);
  EXPECT_EQ(Record(0)[255], 2);
  EXPECT_EQ(Record(0)[model::kWordTimer], 2);
  EXPECT_EQ(Record(1)[255], 0);  // disabled: skipped, timer kept
  EXPECT_EQ(Record(1)[model::kWordTimer], 0);
  EXPECT_EQ(Record(2)[model::kWordTimer], 0);
  EXPECT_EQ(Record(0)[model::kWordStatus] & static_cast<int32_t>(model::kStatusChildOffset), 0);
  EXPECT_EQ(runtime.tickCounter, 2);
}

TEST_P(Runner, TimerAndTickCounterWrapAsWordsDo) {
  // A run of 2^31 steps, or a timer a brain set high, goes on from the lowest word.
  Give(0, "var x\r\nx = x + 1", kOn);
  Record(0)[model::kWordTimer] = INT32_MAX;
  runtime.tickCounter = INT32_MAX;
  brain::RunBrains(&runtime);
  EXPECT_EQ(Record(0)[model::kWordTimer], INT32_MIN);
  EXPECT_EQ(runtime.tickCounter, INT32_MIN);
  brain::RunBrains(&runtime);
  EXPECT_EQ(runtime.tickCounter, INT32_MIN + 1);
}

TEST_P(Runner, SwitchingOnALaterElementRunsItInTheSameStep) {
  Give(0, "var x\r\nx = x + 1", 0);
  Give(1, "on(element#1)\r\non(element#-1)", kOn);
  Give(2, "var x\r\nx = x + 1", 0);
  brain::RunBrains(&runtime);
  EXPECT_EQ(Record(2)[255], 1);  // later: ran in this step
  EXPECT_EQ(Record(0)[255], 0);  // earlier: waits for the next step
  brain::RunBrains(&runtime);
  EXPECT_EQ(Record(0)[255], 1);
}

TEST_P(Runner, FaultsEndTheStepThroughTheRuntimeError) {
  Give(0, "var x\r\nx = 1 / x", kOn);
  Give(1, "var x\r\nx = x + 1", kOn);
  brain::RunBrains(&runtime, [this](int32_t element, uint32_t address) {
    return "Element " + std::to_string(element) + ", brain line " + std::to_string(brain::SourceLineAt(compiler, address));
  });
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("divided by zero"), std::string::npos) << errors[0];
  EXPECT_NE(errors[0].find("|Element 0, brain line"), std::string::npos) << errors[0];
  EXPECT_TRUE(runtime.faulted);
  EXPECT_EQ(Record(1)[255], 0);  // the step stopped at the fault
  EXPECT_EQ(runtime.tickCounter, 0);
}

TEST_P(Runner, UnboundInstructionsAnswerZeroAndSaySoOnce) {
  std::vector<std::string> missing;
  runtime.missingInstruction = [&](const std::string& text) { missing.push_back(text); };
  Give(0, "var x\r\nx = 7\r\nx = sqrt_512(4) + x", kOn);
  brain::RunBrains(&runtime);
  brain::RunBrains(&runtime);
  EXPECT_EQ(Record(0)[255], 7);
  EXPECT_EQ(missing, std::vector<std::string>{"Instruction 'sqrt_512' is not available in this build"});
  EXPECT_TRUE(errors.empty());
}

TEST_P(Runner, RunawayExecuteIsAFault) {
  Give(0, "execute(element)", kOn);  // a brain that executes itself
  brain::RunBrains(&runtime);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("more than 64 deep"), std::string::npos) << errors[0];
}

TEST_P(Runner, ArithmeticAsTheLanguageDefinesIt) {
  // "/" binds tighter than "*" and "-" tighter than "+"; division truncates; and/or/xor work on bits.
  Give(0,
       "var a\r\nvar b\r\nvar c\r\nvar d\r\nvar e\r\nvar f\r\nvar g\r\nvar h\r\n"
       "a = 7 - 2 - 1\r\nb = 2 * 7 / 2\r\nc = -7 / 2\r\nd = 1 and -1\r\ne = 1 and 2\r\nf = 1.5mt\r\n"
       "g = 90dg\r\nh = -[a + b] * 2",
       kOn);
  brain::RunBrains(&runtime);
  ASSERT_TRUE(errors.empty()) << errors[0];
  EXPECT_EQ(Record(0)[255], 4);
  EXPECT_EQ(Record(0)[254], 6);
  EXPECT_EQ(Record(0)[253], -3);
  EXPECT_EQ(Record(0)[252], 1);
  EXPECT_EQ(Record(0)[251], 0);
  EXPECT_EQ(Record(0)[250], 768000);  // 1.5 metres in 1/512 mm
  EXPECT_EQ(Record(0)[249], 46080);   // a quarter turn
  EXPECT_EQ(Record(0)[248], -20);
}

INSTANTIATE_TEST_SUITE_P(Backends, Runner, ::testing::Values(brain::Backend::kInterpreter, brain::Backend::kNative),
                         [](const ::testing::TestParamInfo<brain::Backend>& info) {
                           return info.param == brain::Backend::kNative ? "Native" : "Interpreter";
                         });

}  // namespace
