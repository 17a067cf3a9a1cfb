// The binding of the instruction families: clean tables, and every name of every bound
// instruction reaching its routine from compiled brain code on both backends.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "brain/brain.h"
#include "instructions/instructions.h"
#include "model/model.h"
#include "state/state.h"

namespace {

constexpr size_t kSlots = static_cast<size_t>(brain::kInstructionRowCount);

// Routines are plain functions, so the probes that count the calls of each slot are generated, one
// per slot, and pass each call on to the routine the families bound there.
std::array<brain::Routine, kSlots> bound;
std::array<int, kSlots> hits;

template <size_t kSlot>
bool Probe(brain::Regs* regs, std::string* fault) {
  ++hits[kSlot];
  return bound[kSlot](regs, fault);
}

template <size_t... kSlot>
constexpr std::array<brain::Routine, kSlots> MakeProbes(std::index_sequence<kSlot...>) {
  return {Probe<kSlot>...};
}
constexpr std::array<brain::Routine, kSlots> kProbes = MakeProbes(std::make_index_sequence<kSlots>());

TEST(Binding, EveryFamilyTableIsClean) {
  brain::RoutineSlots slots;
  std::vector<std::string> problems;
  EXPECT_TRUE(instructions::BindAllRoutines(&slots, &problems));
  EXPECT_TRUE(problems.empty()) << problems.front();
  // Each routine appears in one family under one name.
  std::set<brain::Routine> routines;
  size_t entries = 0;
  for (const auto family : instructions::RoutineFamilies()) {
    for (const brain::RoutineEntry& entry : family) {
      routines.insert(entry.routine);
      ++entries;
    }
  }
  EXPECT_EQ(routines.size(), entries);
}

TEST(Binding, UnknownNamesAndSecondBindingsAreReported) {
  brain::RoutineSlots slots;
  std::vector<std::string> problems;
  const brain::Routine routine = [](brain::Regs*, std::string*) { return true; };
  const brain::RoutineEntry entries[] = {
      {"speed_set", routine},
      {"velocity_set", routine},  // the same instruction under its other name
      {"no_such_instruction", routine},
      {"speed_set", routine},
  };
  EXPECT_FALSE(brain::BindRoutines(entries, &slots, &problems));
  ASSERT_EQ(problems.size(), 3u);
  EXPECT_NE(problems[0].find("'velocity_set' is bound twice"), std::string::npos) << problems[0];
  EXPECT_NE(problems[1].find("'no_such_instruction' is not an instruction"), std::string::npos) << problems[1];
  EXPECT_NE(problems[2].find("'speed_set' is bound twice"), std::string::npos) << problems[2];
  EXPECT_EQ(slots[static_cast<size_t>(brain::RoutineSlotOf("velocity_set"))], routine);
}

class EveryName : public ::testing::TestWithParam<brain::Backend> {};

// For every row whose routine is bound, a brain calling it by that row's name (every alias is a
// row of its own) with the element as each argument reaches exactly that routine once.
TEST_P(EveryName, BrainsReachTheBoundRoutineByAnyOfItsNames) {
  state::Engine engine;
  ASSERT_TRUE(engine.arena.Create());
  engine.options.brains = GetParam();
  engine.play = std::make_unique<state::Play>();
  brain::CompilerState& compiler = engine.play->compiler;
  ASSERT_TRUE(brain::BeginCompilation(&compiler, &engine.arena));
  int32_t* record = engine.arena.As<int32_t>(core::Region::kElementRecords);
  record[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
  std::vector<std::string> errors;
  engine.play->brains.runtimeError = [&errors](const std::string& text) { errors.push_back(text); };
  instructions::SetUpBrains(engine, 0);
  brain::RoutineSlots& slots = engine.play->brains.routines;
  std::copy(slots.begin(), slots.end(), bound.begin());

  int reached = 0;
  for (int row = 0; row < brain::kInstructionRowCount; ++row) {
    const brain::InstructionRow& instruction = *brain::InstructionRowAt(row);
    const size_t slot = instruction.routineId;
    if (bound[slot] == nullptr) continue;
    std::string call = std::string("x = ") + instruction.name + "(";
    for (int p = 0; p < instruction.paramCount; ++p) call += p == 0 ? "element" : ", element";
    call += ")";
    const uint32_t entry = compiler.code.Address();
    compiler.brainStart = compiler.code.position;
    brain::CompileBrainText(&compiler, "var x\r\n" + call);
    ASSERT_TRUE(compiler.error.empty()) << instruction.name << ": " << compiler.error;
    record[model::kWordBrainEntry] = static_cast<int32_t>(entry);
    // Rows called before may have switched the element off or disabled it, which skips its brain.
    record[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);

    hits.fill(0);
    std::copy(kProbes.begin(), kProbes.end(), slots.begin());
    std::vector<std::string> refused;
    EXPECT_EQ(brain::PrepareBrains(&engine.play->brains, &refused), 0) << instruction.name;
    engine.play->brains.faulted = false;
    brain::RunBrains(&engine.play->brains);
    // `execute` given its own element runs the same brain again, once per nesting level, until
    // the depth limit ends the step.
    const int runs = std::string_view(instruction.name) == "execute" ? brain::kMaxExecuteDepth + 1 : 1;
    EXPECT_EQ(hits[slot], runs) << instruction.name;
    int others = 0;
    for (size_t s = 0; s < kSlots; ++s) others += s == slot ? 0 : hits[s];
    EXPECT_EQ(others, 0) << instruction.name;
    ++reached;
  }
  // Every family's rows, with the aliases of the motion and arithmetic families.
  EXPECT_GE(reached, 150);
  for (const char* alias : {"speed_set", "speed_xz_set", "rebound_x", "rebound_y", "rebound_z", "abs"}) {
    EXPECT_NE(bound[static_cast<size_t>(brain::RoutineSlotOf(alias))], nullptr) << alias;
  }
  bound.fill(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Backends, EveryName, ::testing::Values(brain::Backend::kInterpreter, brain::Backend::kNative),
                         [](const ::testing::TestParamInfo<brain::Backend>& info) {
                           return info.param == brain::Backend::kNative ? "Native" : "Interpreter";
                         });

}  // namespace
