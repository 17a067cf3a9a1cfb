// Motion instructions: angle folding, arctangent search, headings, distances, accessors, faults,
// and brains that call them through the runner.
#include <gtest/gtest.h>

#include <cstring>

#include "brain/compiler.h"
#include "brain/instruction_table.h"
#include "brain/runner.h"
#include "core/arena.h"
#include "instructions/motion.h"
#include "mkdata/mkdata.h"
#include "model/state_record.h"

namespace {

using instructions::WrapAngle;

// entry i = 10 * i: the search result is easy to work out by hand (the floor of ratio / 10).
std::vector<int32_t> TenfoldTable() {
  std::vector<int32_t> table(720);
  for (int i = 0; i < 720; ++i) table[static_cast<size_t>(i)] = 10 * i;
  return table;
}

TEST(AngleRules, WrapUsesModulusOneBelowAFullTurn) {
  EXPECT_EQ(WrapAngle(0), 0);
  EXPECT_EQ(WrapAngle(184319), 184319);
  EXPECT_EQ(WrapAngle(-1), 184318);
  EXPECT_EQ(WrapAngle(184320), 1);
  EXPECT_EQ(WrapAngle(368638), 0);
  EXPECT_EQ(WrapAngle(-184319), 184319);  // a negative multiple folds to the top, not to 0
  EXPECT_EQ(WrapAngle(INT32_MIN), -2147483648LL % 184319 + 184319);
}

TEST(AngleRules, ShortestDifferenceTurnsBackFromHalfATurnAndMore) {
  EXPECT_EQ(instructions::ShortestAngleDifference(0, 92160), 92160);
  EXPECT_EQ(instructions::ShortestAngleDifference(0, 92161), 92161 - 184320);
  EXPECT_EQ(instructions::ShortestAngleDifference(92161, 0), 184320 - 92161);
  EXPECT_EQ(instructions::ShortestAngleDifference(-1, 1), 3);  // 1 - 184318 + 184320
}

TEST(AngleRules, ArctangentSearchFindsTheStepAtOrBelowTheRatio) {
  const std::vector<int32_t> table = TenfoldTable();
  EXPECT_EQ(instructions::TableArctangent(table.data(), 0), 0);
  EXPECT_EQ(instructions::TableArctangent(table.data(), 55), 5);
  EXPECT_EQ(instructions::TableArctangent(table.data(), 60), 6);   // exact hit
  EXPECT_EQ(instructions::TableArctangent(table.data(), 7185), 718);  // never the last entry
  EXPECT_EQ(instructions::TableArctangent(table.data(), 511999), 718);
  EXPECT_EQ(instructions::TableArctangent(table.data(), 512000), 720);
}

TEST(AngleRules, PlanarDirectionInEachQuadrant) {
  const std::vector<int32_t> t = TenfoldTable();
  // dx = 10 mm, |dz| = 5 mm: ratio 2 * 2560 / 10 = 512, c = 51 eighths.
  EXPECT_EQ(instructions::PlanarDirection(t.data(), 5120, 2560), (51 - 720) * 64);
  EXPECT_EQ(instructions::PlanarDirection(t.data(), -5120, 2560), (1440 - 51 - 720) * 64);
  EXPECT_EQ(instructions::PlanarDirection(t.data(), 5120, -2560), (2880 - 51 - 720) * 64);
  EXPECT_EQ(instructions::PlanarDirection(t.data(), -5120, -2560), (51 + 1440 - 720) * 64);
  // dx 0..511 is straight along z; dx = -1 is -1 mm, not along z; dx = 1000 is 1 mm.
  EXPECT_EQ(instructions::PlanarDirection(t.data(), 511, 5), 0);
  EXPECT_EQ(instructions::PlanarDirection(t.data(), 300, -1000), 92160);
  EXPECT_EQ(instructions::PlanarDirection(t.data(), -1, 1000), (1440 - 200 - 720) * 64);
  EXPECT_EQ(instructions::PlanarDirection(t.data(), 1000, 100), (20 - 720) * 64);
}

class Motion : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(arena.Create());
    const std::vector<uint8_t> atan = mkdata::ArctangentTable();
    std::memcpy(arena.Host(core::Region::kArctangent), atan.data(), atan.size());
    const std::vector<uint8_t> sine = mkdata::FineSineTable();
    std::memcpy(arena.Host(core::Region::kSineFine), sine.data(), sine.size());
    instructions::BindMotion(&routines, &arena);
  }
  int32_t* Record(int element) { return arena.As<int32_t>(core::Region::kElementRecords) + element * 256; }
  uint32_t Address(int element) { return arena.Address(core::Region::kElementRecords) + 1024u * static_cast<uint32_t>(element); }
  // Calls the named routine; returns EAX, or fails the test on a fault.
  int32_t Call(const char* name, uint32_t a, uint32_t b = 0, uint32_t c = 0, uint32_t d = 0) {
    brain::Regs regs{a, b, c, d, 0, Address(0)};
    std::string fault;
    EXPECT_TRUE(routines[static_cast<size_t>(brain::RowOfName(name))](&regs, &fault)) << name << ": " << fault;
    return static_cast<int32_t>(regs.eax);
  }
  void SetVector(int element, int firstWord, int32_t x, int32_t y, int32_t z) {
    Record(element)[firstWord] = x;
    Record(element)[firstWord + 1] = y;
    Record(element)[firstWord + 2] = z;
  }

  core::Arena arena;
  std::vector<brain::Routine> routines;
};

TEST_F(Motion, AccessorsUseTheFirstArgumentAndFoldOnlyRotationReads) {
  Call("position_y_set", Address(2), 700);
  Call("position_y_add", Address(2), static_cast<uint32_t>(-50));
  EXPECT_EQ(Call("position_y", Address(2)), 650);
  EXPECT_EQ(Record(0)[model::kWordPositionY], 0);  // not the current element
  Call("rotation_z_set", Address(1), 184319);
  EXPECT_EQ(Call("rotation_z", Address(1)), 184319);
  Call("rotation_z_add", Address(1), 1);
  EXPECT_EQ(Record(1)[model::kWordRotationZ], 184320);  // stored unfolded
  EXPECT_EQ(Call("rotation_z", Address(1)), 1);
  Record(1)[model::kWordRotationX] = -1;
  EXPECT_EQ(Call("rotation_x", Address(1)), 184318);
  Call("spin_x_add", Address(1), 9);
  Call("velocity_z_set", Address(1), static_cast<uint32_t>(-4));
  EXPECT_EQ(Call("spin_x", Address(1)) * 10 + Call("velocity_z", Address(1)), 86);
  Call("position_set", Address(3), 1, 2, 3);
  EXPECT_EQ(Record(3)[model::kWordPositionX] * 100 + Record(3)[model::kWordPositionY] * 10 + Record(3)[model::kWordPositionZ], 123);
}

TEST_F(Motion, CopiesGoFromFirstToSecondAndAddTheChildOffset) {
  SetVector(1, model::kWordRotationX, 10, 20, 30);
  SetVector(1, model::kWordChildRotationX, 1, 2, 3);
  Call("rotation_copy", Address(1), Address(2));
  EXPECT_EQ(Record(2)[model::kWordRotationZ], 30);
  Record(1)[model::kWordStatus] = static_cast<int32_t>(model::kStatusChildOffset);
  Call("rotation_copy", Address(1), Address(2));
  EXPECT_EQ(Record(2)[model::kWordRotationX], 11);
  EXPECT_EQ(Record(2)[model::kWordRotationZ], 33);
  SetVector(1, model::kWordVelocityX, 4, 5, 6);
  Call("velocity_copy", Address(1), Address(3));
  EXPECT_EQ(Record(3)[model::kWordVelocityZ], 6);
  EXPECT_EQ(Record(1)[model::kWordVelocityZ], 6);
}

TEST_F(Motion, UpdatesAddTheRateToTheState) {
  SetVector(1, model::kWordPositionX, 100, 200, 300);
  SetVector(1, model::kWordVelocityX, 1, -2, 3);
  SetVector(1, model::kWordRotationX, 184319, 0, 0);
  SetVector(1, model::kWordSpinX, 5, 0, -7);
  Call("velocity_update", Address(1));
  Call("spin_update", Address(1));
  EXPECT_EQ(Record(1)[model::kWordPositionY], 198);
  EXPECT_EQ(Record(1)[model::kWordPositionZ], 303);
  EXPECT_EQ(Record(1)[model::kWordRotationX], 184324);  // not folded
  EXPECT_EQ(Record(1)[model::kWordRotationZ], -7);
}

TEST_F(Motion, SpeedsAndDistancesRoundWholeMillimetres) {
  SetVector(1, model::kWordVelocityX, 3 * 512, 4 * 512, 12 * 512);
  EXPECT_EQ(Call("velocity", Address(1)), 13);
  EXPECT_EQ(Call("speed", Address(1)), 13 * 512);
  EXPECT_EQ(Call("velocity_xz", Address(1)), 12);  // sqrt(153) = 12.37
  EXPECT_EQ(Call("speed_xz", Address(1)), 12 * 512);
  SetVector(1, model::kWordVelocityX, -1, 0, 0);  // the shift makes -1 a whole millimetre
  EXPECT_EQ(Call("velocity", Address(1)), 1);
  SetVector(2, model::kWordPositionX, 2 * 512, 100 * 512, 3 * 512);
  EXPECT_EQ(Call("distance_xz", Address(1), Address(2)), 4 * 512);  // sqrt(13) = 3.6
  SetVector(2, model::kWordPositionX, 3 * 512, 4 * 512, 12 * 512);
  EXPECT_EQ(Call("distance", Address(1), Address(2)), 13 * 512);
}

TEST_F(Motion, ForwardSpeedIsMeasuredInTheElementsOwnFrame) {
  SetVector(1, model::kWordVelocityX, 512, 0, 0);
  EXPECT_EQ(Call("speed_lz", Address(1)), 0);  // no rotation: moving sideways
  Record(1)[model::kWordRotationY] = -46080;    // heading +x
  EXPECT_EQ(Call("speed_lz", Address(1)), 512);
  Record(1)[model::kWordRotationY] = 46080;     // heading -x: index 2159, sin -32768
  EXPECT_EQ(Call("speed_lz", Address(1)), -512);
  SetVector(1, model::kWordRotationX, -46080, 0, 0);  // pitched: the climb is the forward speed
  SetVector(1, model::kWordVelocityX, 0, 512, 0);
  EXPECT_EQ(Call("speed_lz", Address(1)), 512);
}

TEST_F(Motion, HeadingsWithTheRealTable) {
  EXPECT_EQ(Call("angle", 1000, 1000), -23040);
  EXPECT_EQ(Call("angle", 0, static_cast<uint32_t>(-5)), 92160);
  EXPECT_EQ(Call("angle", 0, 5), 0);
  SetVector(2, model::kWordPositionX, 1000 * 512, 0, 1000 * 512);
  EXPECT_EQ(Call("direction_xz", Address(1), Address(2)), -23040);
  EXPECT_EQ(Call("direction_xz", Address(2), Address(2)), 0);
}

TEST_F(Motion, FrameHandlesDoNothingAndStrayAddressesFault) {
  const uint32_t frame = 0x80000001u;
  Record(0)[model::kWordVelocityX] = 77;
  EXPECT_EQ(Call("velocity_x", frame), 0);
  EXPECT_EQ(Call("distance", Address(0), frame), 0);
  Call("velocity_copy", frame, Address(1));
  EXPECT_EQ(Record(1)[model::kWordVelocityX], 0);
  for (uint32_t bad : {0u, Address(1) + 4, Address(256)}) {
    brain::Regs regs{bad, 5, 0, 0, 0, Address(0)};
    std::string fault;
    EXPECT_FALSE(routines[static_cast<size_t>(brain::RowOfName("position_x_set"))](&regs, &fault));
    EXPECT_NE(fault.find("Not an element"), std::string::npos) << fault;
  }
}

class MotionBrain : public Motion, public ::testing::WithParamInterface<brain::Backend> {};

// The routines bound into a runner and called from compiled brain code.
TEST_P(MotionBrain, BrainsCallTheBoundRoutines) {
  brain::CompilerState compiler;
  brain::BrainRuntime runtime;
  ASSERT_TRUE(brain::BeginCompilation(&compiler, &arena));
  runtime.arena = &arena;
  runtime.backend = GetParam();
  runtime.routines = routines;
  std::vector<std::string> errors;
  runtime.runtimeError = [&errors](const std::string& text) { errors.push_back(text); };
  Record(0)[model::kWordBrainEntry] = static_cast<int32_t>(compiler.code.Address());
  brain::CompileBrainText(&compiler,
                          "var a\r\nvar b\r\nvelocity_x_set(element, 512)\r\nvelocity_update(element)\r\n"
                          "position_z_set(element#1, 7)\r\na = angle(1000, 1000)\r\nb = position_x(element)\r\n"
                          "position_x(123)");
  ASSERT_TRUE(compiler.error.empty()) << compiler.error;
  Record(0)[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
  runtime.lastElement = 1;
  EXPECT_EQ(brain::PrepareBrains(&runtime), 0);
  brain::RunBrains(&runtime);
  EXPECT_EQ(Record(0)[255], -23040);
  EXPECT_EQ(Record(0)[254], 512);
  EXPECT_EQ(Record(1)[model::kWordPositionZ], 7);
  ASSERT_EQ(errors.size(), 1u);  // the last line hands over a number that is no element
  EXPECT_NE(errors[0].find("Not an element"), std::string::npos) << errors[0];
}

INSTANTIATE_TEST_SUITE_P(Backends, MotionBrain, ::testing::Values(brain::Backend::kInterpreter, brain::Backend::kNative));

}  // namespace
