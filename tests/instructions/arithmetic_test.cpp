// Arithmetic instructions: each row against values worked out by hand, the answers that replace
// processor faults, the random stream draw by draw, the tick-period test, and brains calling them
// on both backends.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "brain/brain.h"
#include "core/core.h"
#include "instructions/instructions.h"
#include "model/model.h"
#include "state/state.h"
#include "instructions/routine_fixture.h"

namespace {

uint32_t W(int32_t value) { return static_cast<uint32_t>(value); }

class Arithmetic : public testing_support::RoutineTest {
 protected:
  void SetUp() override {
    RoutineTest::SetUp();
    table = arena.Host(core::Region::kRandom);
    engine.random = core::RandomSource{table, 0, 0};  // as a play start leaves it
  }
  int32_t Interpolate(int32_t x, int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
    return Call("interpolate", W(x), W(x0), W(x1), W(y0), W(y1));
  }
  // Little-endian word at byte `offset` of the random table (the region has bytes past it).
  void PutWord(uint32_t offset, uint32_t word) { std::memcpy(table + offset, &word, 4); }

  uint8_t* table = nullptr;
};

TEST_F(Arithmetic, WordArithmeticKeepsTheLow32Bits) {
  EXPECT_EQ(Call("sum", W(INT_MAX), 1), INT_MIN);
  EXPECT_EQ(Call("subtract", W(INT_MIN), 1), INT_MAX);
  EXPECT_EQ(Call("subtract", 3, 10), -7);  // the first argument minus the second
  EXPECT_EQ(Call("multiply", 65536, 65536), 0);
  EXPECT_EQ(Call("multiply", 100000, 100000), 1410065408);  // 10^10 - 2 * 2^32
}

TEST_F(Arithmetic, DivisionTruncatesAndNeverFaults) {
  EXPECT_EQ(Call("divide", 7, 2), 3);
  EXPECT_EQ(Call("divide", W(-7), 2), -3);  // toward zero, not -4
  EXPECT_EQ(Call("divide", 2, 7), 0);       // the dividend first
  EXPECT_EQ(Call("divide", 5, 0), INT_MAX);
  EXPECT_EQ(Call("divide", W(-5), 0), INT_MAX);
  // The one quotient a 32-bit division cannot hold: the negation's 32-bit answer.
  EXPECT_EQ(Call("divide", W(INT_MIN), W(-1)), INT_MIN);
  EXPECT_EQ(Call("divide", 9, W(-1)), -9);
  EXPECT_EQ(Call("divide", W(INT_MIN), W(INT_MIN)), 1);
}

TEST_F(Arithmetic, AbsoluteValueUnderBothNames) {
  EXPECT_EQ(Call("abs", W(-5)), 5);
  EXPECT_EQ(Call("absolute_value", W(-5)), 5);
  EXPECT_EQ(Call("abs", W(INT_MIN)), INT_MIN);  // no positive word: it stays
  EXPECT_EQ(brain::RoutineSlotOf("abs"), brain::RoutineSlotOf("absolute_value"));
}

TEST_F(Arithmetic, Factor512ShiftsTheLowProductAndZeroesTheTopOfItsRange) {
  EXPECT_EQ(Call("factor_512", 3, 1024), 6);
  EXPECT_EQ(Call("factor_512", 511, 1), 0);
  EXPECT_EQ(Call("factor_512", 100000, 100000), 2754034);  // 1410065408 (the low product) / 512
  EXPECT_EQ(Call("factor_512", W(-1), W(-512)), 1);
  // Products from -512 to -1 read 4294966784 or more unsigned: 0, not the shift's -1.
  EXPECT_EQ(Call("factor_512", W(-1), 512), 0);
  EXPECT_EQ(Call("factor_512", W(-512), 1), 0);
  EXPECT_EQ(Call("factor_512", 1, W(-1)), 0);
  // Below that the arithmetic shift rounds toward minus infinity.
  EXPECT_EQ(Call("factor_512", W(-513), 1), -2);
  EXPECT_EQ(Call("factor_512", W(-1025), 1), -3);
}

TEST_F(Arithmetic, SquareRootTimes512) {
  EXPECT_EQ(Call("sqrt_512", 0), 0);
  EXPECT_EQ(Call("sqrt_512", 1), 512);
  EXPECT_EQ(Call("sqrt_512", 2), 724);  // 724.077
  EXPECT_EQ(Call("sqrt_512", W(INT_MAX)), 23726566);  // 23726566.40
  EXPECT_EQ(Call("sqrt_512", W(-1)), 0);  // no root: 0, never a converted NaN
  EXPECT_EQ(Call("sqrt_512", W(INT_MIN)), 0);
}

// A radian is 29335 units, a little short of a full turn / 2 pi (29335.21), and angles are folded
// with 184319 first. Several values sit within 0.02 of a rounding edge that a true radian or a
// fold by 184320 would cross.
TEST_F(Arithmetic, TrigonometryOnTheFoldedAngle) {
  EXPECT_EQ(Call("sin_512", 0), 0);
  EXPECT_EQ(Call("sin_512", 46080), 512);
  EXPECT_EQ(Call("sin_512", 84480), 132);       // 132.494; 132.515 with a true radian
  EXPECT_EQ(Call("sin_512", W(-95232)), 54);    // 89087: 53.513; folded by 184320, 89088: 53.495
  EXPECT_EQ(Call("sin_512", W(INT_MIN)), 281);  // 17021: 280.686
  EXPECT_EQ(Call("cos_512", 30720), 256);       // 255.993
  EXPECT_EQ(Call("cos_512", W(-45308)), 13);    // 139011: 13.491
  EXPECT_EQ(Call("tan_512", 23040), 512);       // 512.012
  EXPECT_EQ(Call("tan_512", 16896), 333);       // 332.503; 332.497 with a true radian
  EXPECT_EQ(Call("tan_512", W(-16896)), -332);  // 167423: -332.459, not the negated 333
  // The quarter turn lies at 46079.3 units: the sign flips between the neighbouring angles.
  EXPECT_EQ(Call("tan_512", 46079), 48411565);
  EXPECT_EQ(Call("tan_512", 46080), -21775200);
  EXPECT_EQ(Call("tan_512", 138238), -216855761);  // the largest size on any folded angle
  EXPECT_EQ(Call("atan_512", 512), 23040);       // 23039.655
  EXPECT_EQ(Call("atan_512", W(-512)), -23040);
  EXPECT_EQ(Call("atan_512", 120), 6753);        // 6753.492; 6753.593 with a true radian
  EXPECT_EQ(Call("atan_512", W(INT_MAX)), 46079);
  EXPECT_EQ(Call("atan_512", W(INT_MIN)), -46079);
}

TEST_F(Arithmetic, LimitWrapAndBetweenAtTheirBounds) {
  EXPECT_EQ(Call("limit", 9, 0, 9), 9);
  EXPECT_EQ(Call("limit", 10, 0, 9), 9);
  EXPECT_EQ(Call("limit", W(-1), 0, 9), 0);
  EXPECT_EQ(Call("limit", W(INT_MIN), W(-5), 5), -5);  // signed comparisons
  // Crossed bounds: the lower test comes first.
  EXPECT_EQ(Call("limit", 5, 9, 0), 9);
  EXPECT_EQ(Call("limit", 10, 9, 0), 0);

  EXPECT_EQ(Call("wrap", 10, 0, 9), 0);
  EXPECT_EQ(Call("wrap", W(-1), 0, 9), 9);
  EXPECT_EQ(Call("wrap", W(-10), 0, 9), 0);
  EXPECT_EQ(Call("wrap", 25, 10, 19), 15);
  EXPECT_EQ(Call("wrap", 3, 9, 0), 0);  // no span: the upper bound
  EXPECT_EQ(Call("wrap", W(INT_MIN), 0, 9), 2);  // -2147483648 = -214748365 * 10 + 2
  EXPECT_EQ(Call("wrap", W(INT_MAX), W(INT_MIN), W(INT_MAX)), INT_MAX);  // the full span
  EXPECT_EQ(Call("wrap", W(INT_MAX), W(-1), 1), 1);

  EXPECT_EQ(Call("between", 0, 0, 9), -1);
  EXPECT_EQ(Call("between", 9, 0, 9), -1);
  EXPECT_EQ(Call("between", 10, 0, 9), 0);
  EXPECT_EQ(Call("between", W(-1), 0, 9), 0);
  EXPECT_EQ(Call("between", 5, 9, 0), 0);
  EXPECT_EQ(Call("between", W(INT_MIN), W(INT_MIN), W(INT_MIN)), -1);
}

TEST_F(Arithmetic, InterpolateTruncatesAndHoldsOverflowAtTheRangeEnds) {
  EXPECT_EQ(Interpolate(5, 0, 10, 0, 100), 50);
  EXPECT_EQ(Interpolate(20, 0, 10, 0, 100), 200);  // outside the run it extrapolates
  EXPECT_EQ(Interpolate(5, 10, 0, 0, 100), 50);    // (-5) * 100 / (-10)
  EXPECT_EQ(Interpolate(1, 0, 3, 0, -2), 0);       // -2 / 3 truncates toward zero
  EXPECT_EQ(Interpolate(2, 0, 3, 10, -2), 2);      // 10 + 2 * (-12) / 3
  EXPECT_EQ(Interpolate(7, 3, 3, 1, 2), 0);        // an empty run
  EXPECT_EQ(Interpolate(100000, 0, 100000, 0, 100000), 100000);  // the product needs 64 bits
  // A quotient past 32 bits is held at the range end before y0 is added.
  EXPECT_EQ(Interpolate(3, 0, 1, 0, 2000000000), INT_MAX);
  EXPECT_EQ(Interpolate(3, 0, 1, 0, -2000000000), INT_MIN);
  EXPECT_EQ(Interpolate(3, 0, 1, -2000000000, 0), 147483647);  // 6e9 held, then - 2e9
  // So is the sum with y0.
  EXPECT_EQ(Interpolate(2, 0, 1, 2000000000, 2100000000), INT_MAX);
  EXPECT_EQ(Interpolate(2, 0, 1, -2000000000, -2100000000), INT_MIN);
  // The differences are 32-bit words: INT_MAX - INT_MIN is -1, 0 - INT_MIN is INT_MIN.
  EXPECT_EQ(Interpolate(0, INT_MIN, INT_MAX, 0, 100), INT_MAX);
}

// Table bytes 1..4 hold the word 1000 and the word at byte 2 is 3: a draw that stepped by a whole
// word, or read before stepping, would see something else.
TEST_F(Arithmetic, RandomFollowsTheTableDrawByDraw) {
  PutWord(1, 1000);
  EXPECT_EQ(Call("random", 5, 5), 5);
  EXPECT_EQ(engine.random.cursor, 0u);  // equal bounds draw nothing
  EXPECT_EQ(Call("random", 0, 1000000), 500);  // word at 1, halved
  EXPECT_EQ(Call("random", 1000000, 0), 1);    // word at 2 (bytes 2..5: 3), either order
  EXPECT_EQ(Call("random", 0, 1000000), 0);
  EXPECT_EQ(engine.random.cursor, 3u);
  // The loop counter adds 65537 times itself before the halving.
  engine.random.cursor = 0;
  engine.random.loopCounter = 2;
  EXPECT_EQ(Call("random", 0, 1000000), 66037);  // (131074 + 1000) >> 1
  EXPECT_EQ(Call("random", 1, 6), 6);            // (131074 + 3) >> 1 = 65538; 1 + 65537 mod 6
  EXPECT_EQ(Call("random", W(-10), W(-1)), -3);  // (131074 + 0) >> 1 = 65537; -10 + 65547 mod 10
}

TEST_F(Arithmetic, RandomRunsToTheByteBeyondTheTableThenRestartsAtByteOne) {
  PutWord(1, 1000);
  PutWord(1997, 0x01000002u);  // its top byte is the one past the 2000 of the table
  engine.random.cursor = 1996;
  EXPECT_EQ(Call("random", 0, INT_MAX), 0x00800001);
  EXPECT_EQ(engine.random.cursor, 1997u);
  EXPECT_EQ(Call("random", 0, INT_MAX), 500);  // back to the word at byte 1, never byte 0
  EXPECT_EQ(engine.random.cursor, 1u);
}

TEST_F(Arithmetic, RandomOverTheFull32BitSpan) {
  PutWord(1, 0xFFFFFFFFu);
  EXPECT_EQ(Call("random", W(INT_MIN), W(INT_MAX)), INT_MAX);
  engine.random.cursor = 0;
  EXPECT_EQ(Call("random", W(INT_MAX), W(INT_MIN)), INT_MAX);
  engine.random.cursor = 0;
  engine.random.loopCounter = 1;  // 65537 + 0xFFFFFFFF wraps to 65536
  EXPECT_EQ(Call("random", W(INT_MIN), W(INT_MAX)), 32768);
  engine.random.cursor = 0;
  EXPECT_EQ(Call("random", W(INT_MIN), 0), -2147450881);  // INT_MIN + (2^31 + 32768) mod (2^31 + 1)
}

TEST_F(Arithmetic, EveryTicsComparesTheTickCounterUnsigned) {
  int32_t& ticks = engine.play->brains.tickCounter;
  std::vector<int32_t> hits;
  for (ticks = 0; ticks < 120; ++ticks) {
    if (Call("every_tics", 4, 100) == -1) hits.push_back(ticks);
  }
  std::vector<int32_t> expected;
  for (int32_t t = 0; t <= 96; t += 4) expected.push_back(t);
  EXPECT_EQ(hits, expected);
  // Above 2^31 the counter is still below an unsigned limit of -1, and not below 100.
  ticks = -4;
  EXPECT_EQ(Call("every_tics", 4, W(-1)), -1);
  EXPECT_EQ(Call("every_tics", 4, 100), 0);
  ticks = 8;
  EXPECT_EQ(Call("every_tics", 4, W(-1)), -1);
  EXPECT_EQ(Call("every_tics", 4, 0), 0);
  // Period 0 masks every bit: only tick 0 passes. A period that is no power of two masks its
  // predecessor's bits: 3 passes ticks whose bit 1 is clear.
  ticks = 0;
  EXPECT_EQ(Call("every_tics", 0, 100), -1);
  ticks = 64;
  EXPECT_EQ(Call("every_tics", 0, 100), 0);
  EXPECT_EQ(Call("every_tics", 3, 100), -1);
  ticks = 66;
  EXPECT_EQ(Call("every_tics", 3, 100), 0);
  ticks = 5;
  EXPECT_EQ(Call("every_tics", 3, 100), -1);
  engine.play.reset();  // no play: tick 0
  EXPECT_EQ(Call("every_tics", 16, 1), -1);
}

// The routines reached from compiled brain code through the play's runtime: both backends must
// draw the same stream, read the play's tick counter and give the mended answers.
class ArithmeticBrain : public Arithmetic, public ::testing::WithParamInterface<brain::Backend> {};

TEST_P(ArithmeticBrain, BrainsDrawTheSameStreamOnEitherBackend) {
  engine.options.brains = GetParam();
  brain::CompilerState& compiler = engine.play->compiler;
  ASSERT_TRUE(brain::BeginCompilation(&compiler, &arena));
  int32_t* record = arena.As<int32_t>(core::Region::kElementRecords);
  record[model::kWordBrainEntry] = static_cast<int32_t>(compiler.code.Address());
  record[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
  brain::CompileBrainText(&compiler,
                          "var a\r\nvar b\r\nvar c\r\nvar d\r\nvar e\r\nvar f\r\n"
                          "a = random(0, 1000000)\r\nb = random(1000000, 0)\r\nc = random(6, 6)\r\n"
                          "d = divide(2147483648, -1)\r\ne = every_tics(4, 100)\r\n"
                          "f = interpolate(3, 0, 1, 0, 2000000000) + sqrt_512(-4)");
  ASSERT_TRUE(compiler.error.empty()) << compiler.error;
  std::vector<std::string> errors;
  engine.play->brains.runtimeError = [&errors](const std::string& text) { errors.push_back(text); };
  std::vector<std::string> refused;
  instructions::SetUpBrains(engine, 0, &refused);
  EXPECT_TRUE(refused.empty());
  PutWord(1, 1000);

  brain::RunBrains(&engine.play->brains);
  EXPECT_EQ(record[255], 500);
  EXPECT_EQ(record[254], 1);
  EXPECT_EQ(record[253], 6);
  EXPECT_EQ(record[252], INT_MIN);
  EXPECT_EQ(record[251], -1);  // tick 0
  EXPECT_EQ(record[250], INT_MAX);
  EXPECT_EQ(engine.random.cursor, 2u);

  engine.random.loopCounter = 1;  // one pass of the input pump
  brain::RunBrains(&engine.play->brains);
  EXPECT_EQ(record[255], 32768);  // (65537 + word at 3, which is 0) >> 1
  EXPECT_EQ(record[254], 32768);
  EXPECT_EQ(record[251], 0);      // tick 1
  EXPECT_EQ(engine.random.cursor, 4u);
  EXPECT_TRUE(errors.empty()) << errors[0];
}

INSTANTIATE_TEST_SUITE_P(Backends, ArithmeticBrain,
                         ::testing::Values(brain::Backend::kInterpreter, brain::Backend::kNative),
                         [](const ::testing::TestParamInfo<brain::Backend>& info) {
                           return info.param == brain::Backend::kNative ? "Native" : "Interpreter";
                         });

}  // namespace
