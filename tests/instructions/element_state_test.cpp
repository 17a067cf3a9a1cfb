// Switch, bit and element memory instructions: the details of on and off, the reset mask, on_list
// clipping and its answers, the aliasing of locals, registers and pockets, the edges of the record
// array for registers and pockets, arguments that name nothing, and a brain calling them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "brain/brain.h"
#include "core/core.h"
#include "instructions/instructions.h"
#include "instructions/routine_fixture.h"
#include "model/model.h"
#include "state/state.h"

namespace {

constexpr uint32_t kFrameHandle = 0x80000007u;
constexpr size_t kArrayWords = 256u * 256u;

class ElementState : public testing_support::RoutineTest {
 protected:
  void SetUp() override {
    RoutineTest::SetUp();
    engine.play->brains.lastElement = 5;
  }
  uint32_t Status(int element) { return static_cast<uint32_t>(Record(element)[model::kWordStatus]); }
  std::vector<int32_t> Records() { return {Record(0), Record(0) + kArrayWords}; }
  bool Unchanged(const std::vector<int32_t>& before) {
    return std::memcmp(Record(0), before.data(), kArrayWords * sizeof(int32_t)) == 0;
  }
};

// [SECTION] Switches

TEST_F(ElementState, OnShowsTheFirstAspectAndOffClearsOnlyBitZero) {
  Record(2)[model::kWordCurrentAspect] = 0x5000 + 3 * 64;  // showing frame 3
  Record(2)[model::kWordFirstAspect] = 0x5000;
  Record(2)[model::kWordStatus] = static_cast<int32_t>(model::kStatusVisible | model::kStatusDisabled);
  EXPECT_EQ(Call("on", Address(2)), 0);
  EXPECT_EQ(Record(2)[model::kWordCurrentAspect], 0x5000);
  EXPECT_EQ(Record(2)[model::kWordFirstAspect], 0x5000);
  EXPECT_EQ(Status(2), model::kStatusOn | model::kStatusVisible | model::kStatusDisabled);
  EXPECT_EQ(Call("status", Address(2)), 1);  // 1, not the truth value -1

  // Bit 4 keeps the sound playing but the element still goes off; no other bit moves.
  Record(2)[model::kWordStatus] = static_cast<int32_t>(0xF0000000u | model::kStatusSoundMode | model::kStatusOn);
  EXPECT_EQ(Call("off", Address(2)), 0);
  EXPECT_EQ(Status(2), 0xF0000000u | model::kStatusSoundMode);
  Call("off", Address(2));
  EXPECT_EQ(Call("status", Address(2)), 0);
  EXPECT_EQ(Record(2)[model::kWordCurrentAspect], 0x5000);  // off leaves the aspect alone
  EXPECT_EQ(Status(1), 0u);
}

TEST_F(ElementState, ShowHideEnableDisableMoveOneBitEach) {
  Record(1)[model::kWordStatus] = static_cast<int32_t>(0xFFFFFFFFu);
  Call("hide", Address(1));
  EXPECT_EQ(Status(1), ~model::kStatusVisible);
  Call("enable", Address(1));
  EXPECT_EQ(Status(1), ~(model::kStatusVisible | model::kStatusDisabled));
  Record(1)[model::kWordStatus] = 0;
  Call("show", Address(1));
  Call("disable", Address(1));
  EXPECT_EQ(Status(1), model::kStatusVisible | model::kStatusDisabled);
  Call("show", Address(1));  // setting a set bit again changes nothing
  EXPECT_EQ(Status(1), model::kStatusVisible | model::kStatusDisabled);
}

TEST_F(ElementState, StateAndSignalBitsAndTheResetMask) {
  Record(3)[model::kWordStatus] = static_cast<int32_t>(0xF00000FFu);
  EXPECT_EQ(Call("state", Address(3), 0x100000F0u), 0x100000F0);
  Call("state_reset", Address(3), 0);  // mask 0 clears bits 28 to 31 and nothing else
  EXPECT_EQ(Status(3), 0x000000FFu);
  Call("state_set", Address(3), 0xC0000100u);
  EXPECT_EQ(Status(3), 0xC00001FFu);
  Call("state_reset", Address(3), 0xF);
  EXPECT_EQ(Status(3), 0x000001F0u);

  Record(3)[model::kWordSignals] = static_cast<int32_t>(0xFFFFFFFFu);
  // Bits 28 to 31 are cleared where the mask lacks them and kept where it has them.
  Call("signal_reset", Address(3), 0x80000001u);
  EXPECT_EQ(static_cast<uint32_t>(Record(3)[model::kWordSignals]), 0x8FFFFFFEu);
  Call("signal_set", Address(3), 0x40000000u);
  EXPECT_EQ(static_cast<uint32_t>(Call("signal", Address(3), 0xF0000003u)), 0xC0000002u);
  EXPECT_EQ(Status(3), 0x000001F0u);  // the signal rows leave the status word alone
}

// [SECTION] on_list and on_range

TEST_F(ElementState, OnListSwitchesOnTheFirstElementThatIsOff) {
  for (int e : {0, 1, 3}) Record(e)[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
  Record(5)[model::kWordFirstAspect] = 0x7000;
  // Step 2 from element 1: 1 and 3 are on, 5 is off.
  EXPECT_EQ(static_cast<uint32_t>(Call("on_list", Address(1), 3, 2)), Address(5));
  EXPECT_EQ(Status(5), model::kStatusOn);
  EXPECT_EQ(Record(5)[model::kWordCurrentAspect], 0x7000);  // switched on as `on` does
  EXPECT_EQ(Status(2) | Status(4), 0u);
  EXPECT_EQ(Call("on_list", Address(1), 3, 2), 0);   // all three on now
  EXPECT_EQ(Call("on_list", Address(0), 2, 1), 0);   // count 2 stops before element 2
  EXPECT_EQ(static_cast<uint32_t>(Call("on_list", Address(0), 3, 1)), Address(2));
}

TEST_F(ElementState, OnListAnswersTheFirstArgumentWhenCountOrStepIsNotPositive) {
  const std::vector<int32_t> before = Records();
  for (const auto& [count, step] : {std::pair{0, 1}, {-1, 1}, {5, 0}, {5, -1}, {INT32_MIN, INT32_MIN}}) {
    EXPECT_EQ(static_cast<uint32_t>(Call("on_list", Address(4), static_cast<uint32_t>(count), static_cast<uint32_t>(step))),
              Address(4));
  }
  EXPECT_EQ(static_cast<uint32_t>(Call("on_list", kFrameHandle, 0, 1)), kFrameHandle);
  EXPECT_TRUE(Unchanged(before));
}

// Huge counts and steps never leave the played elements: the records past the last element (copies
// of it) and the memory past the array stay untouched.
TEST_F(ElementState, OnListIsClippedToTheLastElement) {
  EXPECT_EQ(static_cast<uint32_t>(Call("on_list", Address(0), INT32_MAX, INT32_MAX)), Address(0));
  for (int e = 1; e <= 5; ++e) Record(e)[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
  EXPECT_EQ(Call("on_list", Address(0), INT32_MAX, 1), 0);
  EXPECT_EQ(Call("on_list", Address(1), INT32_MAX, 4), 0);  // 1 and 5, then past the end
  EXPECT_EQ(Status(6), 0u);
  EXPECT_EQ(Call("on_list", Address(6), 10, 1), 0);  // starts past the last element: visits none
  EXPECT_EQ(Status(6), 0u);

  engine.play->brains.lastElement = 255;
  for (int e = 6; e < 255; ++e) Record(e)[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
  EXPECT_EQ(static_cast<uint32_t>(Call("on_list", Address(0), INT32_MAX, 1)), Address(255));
  EXPECT_EQ(Call("on_list", Address(0), INT32_MAX, 1), 0);
  EXPECT_EQ(Call("on_list", Address(255), INT32_MAX, INT32_MAX), 0);

  engine.play.reset();  // no play: no elements to visit
  Record(0)[model::kWordStatus] = 0;
  EXPECT_EQ(Call("on_list", Address(0), 1, 1), 0);
  EXPECT_EQ(Status(0), 0u);
}

TEST_F(ElementState, OnRangeLeavesOutItsLastElement) {
  EXPECT_EQ(static_cast<uint32_t>(Call("on_range", Address(2), Address(3))), Address(2));
  EXPECT_EQ(Call("on_range", Address(2), Address(3)), 0);  // the next one is not in the range
  EXPECT_EQ(Status(3), 0u);
  EXPECT_EQ(static_cast<uint32_t>(Call("on_range", Address(2), Address(4) + 1023)), Address(3));  // whole records only
  // An empty or reversed range answers its first element and switches nothing on.
  EXPECT_EQ(static_cast<uint32_t>(Call("on_range", Address(4), Address(4))), Address(4));
  EXPECT_EQ(static_cast<uint32_t>(Call("on_range", Address(5), Address(1))), Address(5));
  EXPECT_EQ(Status(4) | Status(5), 0u);
  // A huge range is clipped to the last element.
  EXPECT_EQ(static_cast<uint32_t>(Call("on_range", Address(4), 0x7FFFFC00u)), Address(4));
  EXPECT_EQ(static_cast<uint32_t>(Call("on_range", Address(4), 0x7FFFFC00u)), Address(5));
  EXPECT_EQ(Call("on_range", Address(4), 0x7FFFFC00u), 0);
  EXPECT_EQ(Status(6), 0u);
}

// [SECTION] Element memory

TEST_F(ElementState, LocalsRegistersAndPocketsAliasTheRecordWords) {
  Record(1)[255] = 11;
  Record(1)[254] = 22;
  Record(1)[128] = 33;
  EXPECT_EQ(Call("local", Address(1), 0), 11);  // the first declared variable
  EXPECT_EQ(Call("local", Address(1), 1), 22);
  EXPECT_EQ(Call("local", Address(1), 127), 33);
  Call("local_set", Address(1), 2, 44);
  EXPECT_EQ(Record(1)[253], 44);

  Record(1)[model::kWordPositionX] = -512;
  EXPECT_EQ(Call("register", Address(1), 3), -512);
  Call("register_set", Address(1), 22, 0x41);
  EXPECT_EQ(Status(1), 0x41u);
  EXPECT_EQ(Call("register", Address(1), 253), 44);

  Call("pocket_set", Address(1), 0, 0x1AB);  // low 8 bits
  Call("pocket_set", Address(1), 1, 0xCD);
  Call("pocket_set", Address(1), 5, 0xFF);
  EXPECT_EQ(static_cast<uint32_t>(Record(1)[model::kWordPockets]), 0xCDABu);  // little-endian bytes of word 45
  EXPECT_EQ(static_cast<uint32_t>(Record(1)[model::kWordPockets + 1]), 0xFF00u);
  EXPECT_EQ(Call("pocket", Address(1), 5), 255);  // unsigned
  Call("pocket_add", Address(1), 5, 2);
  EXPECT_EQ(Call("pocket", Address(1), 5), 1);  // modulo 256
  Call("pocket_add", Address(1), 0, static_cast<uint32_t>(-0xAC));
  EXPECT_EQ(Call("pocket", Address(1), 0), 255);
  EXPECT_EQ(Call("pocket", Address(1), 1), 0xCD);  // no carry into the next pocket
}

TEST_F(ElementState, LocalNumbersAreUnsigned) {
  Record(1)[256 - 1] = 5;
  Record(2)[0] = 6;  // what local -1 would reach if it were word 256
  Record(1)[127] = 7;
  const std::vector<int32_t> before = Records();
  EXPECT_EQ(Call("local", Address(1), static_cast<uint32_t>(-1)), 0);
  EXPECT_EQ(Call("local", Address(1), 128), 0);
  EXPECT_EQ(Call("local", Address(1), 0x80000000u), 0);
  Call("local_set", Address(1), static_cast<uint32_t>(-1), 99);
  Call("local_set", Address(1), 128, 99);
  EXPECT_TRUE(Unchanged(before));
}

TEST_F(ElementState, TimerScoreAndIdentityWords) {
  Call("timer_set", Address(2), 1234);
  EXPECT_EQ(Record(2)[model::kWordTimer], 1234);
  EXPECT_EQ(Call("timer", Address(2)), 1234);
  Call("score_set", Address(2), INT32_MAX);
  Call("credits_add", Address(2), 1);  // the credits names share the score's routines
  EXPECT_EQ(Record(2)[model::kWordScore], INT32_MIN);
  EXPECT_EQ(Call("credits", Address(2)), INT32_MIN);
  Call("credits_set", Address(2), 7);
  Call("score_add", Address(2), static_cast<uint32_t>(-10));
  EXPECT_EQ(Call("score", Address(2)), -3);
  Call("element_id_set", Address(2), 0x80000010u);
  EXPECT_EQ(static_cast<uint32_t>(Record(2)[model::kWordIdentity]), 0x80000010u);
  EXPECT_EQ(static_cast<uint32_t>(Call("element_id", Address(2))), 0x80000010u);
  EXPECT_EQ(Record(1)[model::kWordScore] | Record(1)[model::kWordTimer] | Record(1)[model::kWordIdentity], 0);
}

// Registers and pockets reach neighbouring records, as brains use them, but never past the array.
TEST_F(ElementState, RegistersAndPocketsReachNeighboursInsideTheArray) {
  Record(2)[model::kWordPositionX] = 77;
  Record(0)[255] = 88;
  EXPECT_EQ(Call("register", Address(1), 256 + 3), 77);
  EXPECT_EQ(Call("register", Address(1), static_cast<uint32_t>(-1)), 88);
  Call("register_set", Address(1), 512 + 4, 9);
  EXPECT_EQ(Record(3)[model::kWordPositionY], 9);
  Record(1)[0] = 0x44;
  EXPECT_EQ(Call("pocket", Address(1), static_cast<uint32_t>(-180)), 0x44);  // byte 0 of its own record
  Call("pocket_set", Address(1), 1024 - 180, 0x55);                          // byte 0 of the next one
  EXPECT_EQ(Record(2)[0], 0x55);

  // The first and last word and byte of the array are reachable.
  Record(0)[0] = 1;
  Record(255)[255] = 2;
  EXPECT_EQ(Call("register", Address(0), 0), 1);
  EXPECT_EQ(Call("register", Address(255), 255), 2);
  EXPECT_EQ(Call("register", Address(0), 65535), 2);
  EXPECT_EQ(Call("register", Address(255), static_cast<uint32_t>(-65280)), 1);
  EXPECT_EQ(Call("pocket", Address(0), static_cast<uint32_t>(-180)), 1);
  Record(255)[255] = static_cast<int32_t>(0xEE000000u);
  EXPECT_EQ(Call("pocket", Address(255), 1024 - 180 - 1), 0xEE);
}

TEST_F(ElementState, RegisterAndPocketNumbersOutsideTheArrayEndThePlay) {
  const std::vector<int32_t> before = Records();
  const std::string outside = " lies outside the element records";
  EXPECT_EQ(Fault("register", Address(0), static_cast<uint32_t>(-1)), "register -1" + outside);
  EXPECT_EQ(Fault("register", Address(255), 256), "register 256" + outside);
  EXPECT_EQ(Fault("register", Address(0), 65536), "register 65536" + outside);
  EXPECT_EQ(Fault("register_set", Address(1), 70000, 5), "register 70000" + outside);
  EXPECT_EQ(Fault("register", Address(1), 0x80000000u), "register -2147483648" + outside);
  EXPECT_EQ(Fault("register_set", Address(255), 0x7FFFFFFFu, 5), "register 2147483647" + outside);
  // 2^30 words would wrap back to the same word in 32-bit byte arithmetic.
  EXPECT_EQ(Fault("register_set", Address(1), 0x40000000u, 5), "register 1073741824" + outside);
  EXPECT_EQ(Fault("pocket", Address(0), static_cast<uint32_t>(-181)), "pocket -181" + outside);
  EXPECT_EQ(Fault("pocket_set", Address(255), 1024 - 180, 1), "pocket 844" + outside);
  EXPECT_EQ(Fault("pocket_add", Address(255), 0x7FFFFFFFu, 1), "pocket 2147483647" + outside);
  EXPECT_EQ(Fault("pocket_add", Address(0), 0x80000000u, 1), "pocket -2147483648" + outside);
  EXPECT_TRUE(Unchanged(before));
}

// [SECTION] Arguments that name nothing

// A frame handle or a value below the record array (0, the answer of a failed lookup) answers 0
// and changes nothing, whatever the numbers; an address inside the array that is not a record's
// start is a fault.
TEST_F(ElementState, FrameHandlesAndLowValuesDoNothing) {
  for (int e = 0; e < 256; ++e) Record(e)[model::kWordStatus] = static_cast<int32_t>(0x0F0F0F0Eu);
  const std::vector<int32_t> before = Records();
  const char* names[] = {"on",        "off",         "status",     "show",         "hide",       "enable",
                         "disable",   "state",       "state_set",  "state_reset",  "signal",     "signal_set",
                         "signal_reset", "on_list",  "on_range",   "pocket",       "pocket_set", "pocket_add",
                         "local",     "local_set",   "register",   "register_set", "timer",      "timer_set",
                         "score",     "score_set",   "score_add",  "element_id",   "element_id_set"};
  // The second argument: a number (count 1 and step 1 for on_list, a far register or pocket), or
  // for on_range an end three records on, so that its count is positive.
  const auto second = [](const char* name, uint32_t element, uint32_t number) {
    return std::strcmp(name, "on_range") == 0 ? element + 3 * 1024 : number;
  };
  for (const uint32_t element : {kFrameHandle, 0x80000000u, 0u, 1u, Address(0) - 1}) {
    for (const char* name : names) {
      EXPECT_EQ(Call(name, element, second(name, element, 1), 1), 0) << name << " " << element;
      EXPECT_EQ(Call(name, element, second(name, element, 70000), 1), 0) << name << " " << element;
    }
  }
  EXPECT_TRUE(Unchanged(before));

  for (const uint32_t stray : {Address(1) + 4, Address(256), 0xFFFFFFF0u & 0x7FFFFFFFu}) {
    for (const char* name : names) {
      EXPECT_NE(Fault(name, stray, second(name, stray, 1), 1).find("Not an element"), std::string::npos) << name;
    }
  }
  EXPECT_TRUE(Unchanged(before));
}

// [SECTION] Brains

class ElementStateBrain : public ElementState, public ::testing::WithParamInterface<brain::Backend> {};

TEST_P(ElementStateBrain, BrainsCallTheBoundRoutines) {
  BrainRun run;
  StartBrainRun(&run, GetParam());
  brain::CompilerState& compiler = run.compiler;
  brain::BrainRuntime& runtime = run.runtime;
  const std::vector<std::string>& errors = run.errors;
  runtime.lastElement = 2;
  brain::CompileBrainText(&compiler,
                          "var a\r\nvar b\r\nvar c\r\nvar d\r\nvar e\r\n"
                          "b = 41\r\n"
                          "a = local(element, 1)\r\n"
                          "register_set(element, 3, 4096)\r\n"
                          "c = position_x(element)\r\n"
                          "pocket_set(element, 0, 300)\r\n"
                          "pocket_add(element, 0, 250)\r\n"
                          "d = pocket(element, 0)\r\n"
                          "state_set(element, 0x30000000)\r\n"
                          "state_reset(element, 0)\r\n"
                          "signal_set(element#1, 6)\r\n"
                          "e = signal(element#1, 0x12)\r\n"
                          "score_add(element, 5)\r\n"
                          "credits_add(element, 5)\r\n"
                          "on_range(element#1, element#2)\r\n"
                          "register(element, 70000)\r\n"
                          "a = 0\r\n");
  ASSERT_TRUE(compiler.error.empty()) << compiler.error;
  Record(0)[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
  // The neighbours are disabled, so only element 0's brain runs, whatever it switches on.
  Record(1)[model::kWordStatus] = static_cast<int32_t>(model::kStatusDisabled);
  Record(2)[model::kWordStatus] = static_cast<int32_t>(model::kStatusDisabled);
  EXPECT_EQ(brain::PrepareBrains(&runtime), 0);
  brain::RunBrains(&runtime);
  EXPECT_EQ(Record(0)[255], 41);    // a: local 1 is b
  EXPECT_EQ(Record(0)[253], 4096);  // c: register 3 is position x
  EXPECT_EQ(Record(0)[252], 38);    // d: (44 + 250) modulo 256
  EXPECT_EQ(Record(0)[251], 2);     // e
  EXPECT_EQ(Status(0), model::kStatusOn);
  EXPECT_EQ(Record(0)[model::kWordScore], 10);
  EXPECT_EQ(Status(1), model::kStatusOn | model::kStatusDisabled);
  EXPECT_EQ(Status(2), model::kStatusDisabled);
  ASSERT_EQ(errors.size(), 1u);  // the far register ends the play before the last line
  EXPECT_NE(errors[0].find("register 70000 lies outside the element records"), std::string::npos) << errors[0];
}

INSTANTIATE_TEST_SUITE_P(Backends, ElementStateBrain, ::testing::Values(brain::Backend::kInterpreter, brain::Backend::kNative),
                         [](const ::testing::TestParamInfo<brain::Backend>& info) {
                           return info.param == brain::Backend::kNative ? "Native" : "Interpreter";
                         });

}  // namespace
