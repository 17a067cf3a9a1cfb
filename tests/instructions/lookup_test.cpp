// Element lookup and globals_sort: positions in the array, the nearest and random candidates, names
// from text literals, counted walks, visual kinds, nested brain runs, and sorting a range of globals.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <set>

#include "brain/brain.h"
#include "core/core.h"
#include "instructions/instructions.h"
#include "model/model.h"
#include "state/state.h"

namespace {

constexpr uint32_t kFrame = 0x80000005u;  // a frame handle of the scene

class Lookup : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(arena.Create());
    engine.play = std::make_unique<state::Play>();
    ASSERT_TRUE(brain::BeginCompilation(&engine.play->compiler, &arena));
    engine.play->brains.runtimeError = [this](const std::string& text) { errors.push_back(text); };
    Ready(5);
  }
  // The play's brains set up for elements 0..last, as a play start does after compiling.
  void Ready(int32_t last) { instructions::SetUpBrains(engine, last); }
  int32_t* Record(int element) { return arena.As<int32_t>(core::Region::kElementRecords) + element * 256; }
  uint32_t Address(int element) {
    return arena.Address(core::Region::kElementRecords) + 1024u * static_cast<uint32_t>(element);
  }
  // An element that is on or off, with its identity bits and position in whole millimetres.
  void Place(int element, bool on, int32_t identity, int32_t x, int32_t y = 0, int32_t z = 0) {
    Record(element)[model::kWordStatus] = on ? static_cast<int32_t>(model::kStatusOn) : 0;
    Record(element)[model::kWordIdentity] = identity;
    Record(element)[model::kWordPositionX] = x * 512;
    Record(element)[model::kWordPositionY] = y * 512;
    Record(element)[model::kWordPositionZ] = z * 512;
  }
  // Calls the routine as brain code does; the fault text goes to *fault, the result is EAX.
  int32_t Call(const char* name, uint32_t a, uint32_t b, uint32_t c, uint32_t d, std::string* fault) {
    brain::Regs regs{a, b, c, d, 0, Address(0)};
    fault->clear();
    const bool ok = brain::CallRoutine(&engine.play->brains, brain::RoutineAddress(brain::RowOfName(name)), &regs, fault);
    EXPECT_EQ(ok, fault->empty()) << name << ": a fault comes with its text, and only then";
    return static_cast<int32_t>(regs.eax);
  }
  // The same, failing the test on a fault.
  int32_t Call(const char* name, uint32_t a = 0, uint32_t b = 0, uint32_t c = 0, uint32_t d = 0) {
    std::string fault;
    const int32_t result = Call(name, a, b, c, d, &fault);
    EXPECT_TRUE(fault.empty()) << name << ": " << fault;
    return result;
  }
  // The element index an answer names, -1 for 0 and -2 for anything else.
  int Index(int32_t answer) {
    if (answer == 0) return -1;
    const auto offset = static_cast<uint32_t>(answer) - Address(0);
    return offset % 1024 == 0 && offset / 1024 < 256 ? static_cast<int>(offset / 1024) : -2;
  }
  // Puts texts into the literal pool as a compilation does; returns the address of each.
  std::vector<uint32_t> Literals(const std::vector<std::string>& texts) {
    std::vector<uint32_t> addresses;
    brain::CompilerState& compiler = engine.play->compiler;
    for (const std::string& text : texts) {
      addresses.push_back(arena.Address(core::Region::kStringStore) + compiler.stringStoreUsed);
      std::memcpy(arena.Host(core::Region::kStringStore) + compiler.stringStoreUsed, text.c_str(), text.size() + 1);
      compiler.stringStoreUsed += static_cast<uint32_t>(text.size() + 1);
    }
    return addresses;
  }

  state::Engine engine;
  core::Arena& arena = engine.arena;
  std::vector<std::string> errors;
};

TEST_F(Lookup, ArrayPositionsAndIndexArithmetic) {
  EXPECT_EQ(Index(Call("first_element")), 0);
  EXPECT_EQ(Index(Call("last_element")), 5);
  Ready(0);
  EXPECT_EQ(Index(Call("last_element")), 0);
  EXPECT_EQ(Index(Call("element_index", Address(2), 3)), 5);
  EXPECT_EQ(Index(Call("element_index", Address(2), static_cast<uint32_t>(-2))), 0);
  // Nothing is read, so a number past the records comes back as it is (a walk's end marker)...
  EXPECT_EQ(static_cast<uint32_t>(Call("element_index", Address(255), 1)), Address(256));
  // ...and what names no element, such as the 0 of a failed lookup or a frame handle, gives 0.
  EXPECT_EQ(Call("element_index", 0, 3), 0);
  EXPECT_EQ(Call("element_index", Address(0) - 1024, 1), 0);
  EXPECT_EQ(Call("element_index", kFrame, 1), 0);
}

TEST_F(Lookup, NearestIsTheClosestCandidateByRoundedDistance) {
  Place(0, true, 1, 0);
  Place(1, false, 1, 1);   // off
  Place(2, true, 2, 2);    // identity outside the mask
  Place(3, true, 1, 10);   // 10 mm
  Place(4, true, 1, 9, 4);  // sqrt(97) = 9.85 mm: truly closer, but rounds to 10 as well
  Place(5, true, 1, 0, 0, -10);
  EXPECT_EQ(Index(Call("nearest_element", Address(0), 1)), 3);  // the first of a rounded tie wins
  EXPECT_EQ(Index(Call("nearest_element", Address(0), 3)), 2);  // the mask is any shared bit
  EXPECT_EQ(Index(Call("nearest_element", Address(0), 4)), -1);
  Place(5, true, 1, 0, 0, -9);  // rounds smaller: a later element wins only so
  EXPECT_EQ(Index(Call("nearest_element", Address(0), 1)), 5);
  // The asking element, a candidate at distance 0, is never its own nearest.
  Place(3, false, 1, 10);
  EXPECT_EQ(Index(Call("nearest_element", Address(4), 1)), 0);  // 9.85 mm; element 5 is 13.3 mm away
  Place(0, false, 1, 0);
  EXPECT_EQ(Index(Call("nearest_element", Address(4), 1)), 5);
  EXPECT_EQ(Call("nearest_element", kFrame, 1), 0);
  EXPECT_EQ(Call("nearest_element", 0, 1), 0);
}

// The search skips the square root for separations that cannot win; it must still agree with
// taking `distance` of every candidate. Positions within a few millimetres, in 1/512 mm, make
// rounded ties common.
TEST_F(Lookup, NearestAgreesWithDistanceOfEveryCandidate) {
  Ready(39);
  core::XorShift noise(2024);
  for (int scene = 0; scene < 200; ++scene) {
    for (int i = 0; i < 40; ++i) {
      Record(i)[model::kWordStatus] = noise.Below(5) != 0 ? static_cast<int32_t>(model::kStatusOn) : 0;
      Record(i)[model::kWordIdentity] = noise.Below(4);
      for (int axis = 0; axis < 3; ++axis) Record(i)[model::kWordPositionX + axis] = noise.Below(6 * 512) - 3 * 512;
    }
    const int asking = noise.Below(40);
    const uint32_t mask = 1 + static_cast<uint32_t>(noise.Below(3));
    int expected = -1;
    int32_t best = INT32_MAX;
    for (int i = 0; i < 40; ++i) {
      const auto status = static_cast<uint32_t>(Record(i)[model::kWordStatus]);
      if (i == asking || (status & model::kStatusOn) == 0 || (Record(i)[model::kWordIdentity] & static_cast<int32_t>(mask)) == 0) continue;
      const int32_t d = Call("distance", Address(asking), Address(i));
      if (d < best) {
        best = d;
        expected = i;
      }
    }
    ASSERT_EQ(Index(Call("nearest_element", Address(asking), mask)), expected) << "scene " << scene;
  }
}

TEST_F(Lookup, NearestStaysTrueWhereTheDistanceWordWraps) {
  // 8388607 mm apart: `distance` times 512 passes 2^31 and wraps to a small word, yet the far
  // element must not beat one a metre away.
  Record(0)[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
  Record(0)[model::kWordPositionX] = INT32_MIN;
  Place(1, true, 1, 0);
  Record(1)[model::kWordPositionX] = INT32_MAX;
  Place(2, true, 1, 0);
  Record(2)[model::kWordPositionX] = INT32_MIN + 1000 * 512;
  const int32_t far = Call("distance", Address(0), Address(1));
  ASSERT_LT(far, Call("distance", Address(0), Address(2)));  // the wrapped word
  EXPECT_EQ(Index(Call("nearest_element", Address(0), 1)), 2);
}

TEST_F(Lookup, RandomElementDrawsOnlyCandidatesInArrayOrder) {
  std::vector<uint8_t> table(2004);
  core::XorShift noise(7);
  for (uint8_t& byte : table) byte = static_cast<uint8_t>(noise.Next());
  engine.random.table = table.data();
  Place(0, true, 1, 0);
  Place(1, true, 0, 0);   // no identity bit: no candidate for the all-bits mask
  Place(2, true, 1, 0);
  Place(3, false, 1, 0);
  Place(4, true, INT32_MIN, 0);  // the top bit alone counts
  Place(5, true, 2, 0);
  const int candidates[] = {2, 4, 5};
  core::RandomSource expected = engine.random;
  std::set<int> drawn;
  for (int draw = 0; draw < 300; ++draw) {
    const int index = Index(Call("random_element", Address(0)));
    const int32_t k = expected.Random(1, 3);
    ASSERT_EQ(index, candidates[k - 1]) << "draw " << draw;
    drawn.insert(index);
  }
  EXPECT_EQ(drawn.size(), 3u);
  // One candidate, or none: no table byte is used; none gives 0.
  Place(2, false, 1, 0);
  Place(4, false, 1, 0);
  const uint32_t cursor = engine.random.cursor;
  EXPECT_EQ(Index(Call("random_element", Address(0))), 5);
  Place(5, false, 1, 0);
  EXPECT_EQ(Call("random_element", Address(0)), 0);
  EXPECT_EQ(engine.random.cursor, cursor);
  EXPECT_EQ(Call("random_element", kFrame), 0);
}

TEST_F(Lookup, ElementByNameReadsOnlyThePoolAndReportsUnknownNames) {
  engine.project.records = {"Camera|a|b|-", "Ball|a|b|-", "Ball|x|y|-", "|a|b|-", "Wall|a|b|-", "Box|a|b|-",
                            "Hidden|a|b|-"};  // the last is past the play's last element
  const std::vector<uint32_t> texts = Literals({"Ball", "Wall", "Hidden", "ball", "Boxes"});
  EXPECT_EQ(Index(Call("element", texts[0])), 1);  // the first of equal names
  EXPECT_EQ(Index(Call("element", texts[1])), 4);
  std::string fault;
  EXPECT_EQ(Call("element", texts[0] + 1, 0, 0, 0, &fault), -1);  // inside a literal: its rest
  EXPECT_EQ(fault, "ELEMENT() instruction error! Could not find 'all' element");
  EXPECT_EQ(Call("element", texts[3], 0, 0, 0, &fault), -1);  // names are compared exactly
  EXPECT_EQ(fault, "ELEMENT() instruction error! Could not find 'ball' element");
  EXPECT_EQ(Call("element", texts[2], 0, 0, 0, &fault), -1);
  EXPECT_EQ(fault, "ELEMENT() instruction error! Could not find 'Hidden' element");
  // Anything that is no literal is the empty name, which matches no element, unnamed ones included.
  for (const uint32_t value : {0u, 12345u, Address(1), kFrame, texts[4] + 6}) {
    EXPECT_EQ(Call("element", value, 0, 0, 0, &fault), -1) << value;
    EXPECT_EQ(fault, "ELEMENT() instruction error! Could not find '' element") << value;
  }
  // A literal is read up to its zero or the pool's end, never past it.
  engine.play->compiler.stringStoreUsed -= 4;  // the pool now ends after "Bo"
  EXPECT_EQ(Call("element", texts[4], 0, 0, 0, &fault), -1);
  EXPECT_EQ(fault, "ELEMENT() instruction error! Could not find 'Bo' element");
}

TEST_F(Lookup, ElementFindCountsInBothDirectionsAndSkipsTheEnds) {
  // Elements 0..5: identity 1 on all but 4 (identity 2); 2 and 3 are off.
  for (int i = 0; i <= 5; ++i) Place(i, i != 2 && i != 3, i == 4 ? 2 : 1, 0);
  struct Case {
    int start;
    uint32_t mask;
    int32_t count;
    int32_t mode;
    int expected;  // index, -1 for 0
  };
  const Case cases[] = {
      {0, 1, 1, 1, 1},    {0, 1, 3, 1, 3},   {0, 1, 4, 1, -1},  // element 5, the last, is never examined
      {0, 3, 4, 1, 4},    {0, 1, 1, 2, 2},   {0, 1, 2, 2, 3},   {0, 1, 3, 2, -1},
      {0, 1, 2, 3, -1},   {1, 1, 1, 3, -1},  {0, 2, 1, 3, 4},
      {5, 1, 1, -1, 3},   {5, 1, 3, -1, 1},  {5, 1, 4, -1, -1},  // element 0, the first, is never examined
      {5, 1, 1, -2, 3},   {5, 1, 2, -2, 2},  {5, 1, 1, -3, 1},  {5, 3, 1, -3, 4},
      {3, 1, 0, 1, 3},    {3, 1, -5, -1, 3},  // a count at or below 0 gives the start back
      {0, 1, 1, 0, -1},   {0, 1, 1, 4, -1},  {5, 1, 1, -4, -1},  // no mode of these counts anything
      {0, 0, 1, 1, -1},   {4, 1, 1, 1, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Index(Call("element_find", Address(c.start), c.mask, static_cast<uint32_t>(c.count),
                         static_cast<uint32_t>(c.mode))),
              c.expected)
        << "from " << c.start << " mask " << c.mask << " count " << c.count << " mode " << c.mode;
  }
  // A start past the play's last element walks back over the play's elements only.
  Place(7, true, 1, 0);
  Place(6, true, 1, 0);
  EXPECT_EQ(Index(Call("element_find", Address(8), 1, 1, static_cast<uint32_t>(-1))), 5);
  EXPECT_EQ(Call("element_find", kFrame, 1, 1, 1), 0);
  EXPECT_EQ(Call("element_find", 0, 1, 0, 1), 0);
  std::string fault;
  Call("element_find", Address(1) + 4, 1, 1, 1, &fault);
  EXPECT_NE(fault.find("Not an element"), std::string::npos) << fault;
}

TEST_F(Lookup, TypeFollowsTheVisualFileExtension) {
  engine.project.records = {"A|/w/cameras/default_.03d", "B|/w/s/ship.A3D", "C|/w/v/x.v3d", "D|/w/m/mesh.x3d",
                            "E|/w/i/pic.pcx", "F|3d"};
  EXPECT_EQ(Call("type", Address(0)), 0);
  EXPECT_EQ(Call("type", Address(1)), 1);
  EXPECT_EQ(Call("type", Address(2)), 9);
  EXPECT_EQ(Call("type", Address(3)), 11);
  EXPECT_EQ(Call("type", Address(4)), -1);
  EXPECT_EQ(Call("type", Address(5)), -1);   // shorter than an extension
  EXPECT_EQ(Call("type", Address(6)), -1);   // no project record
  EXPECT_EQ(Call("type", kFrame), -1);
  EXPECT_EQ(Call("type", 0), -1);  // not kind 0: the 0 of a failed lookup names no visual
  std::string fault;
  Call("type", Address(256), 0, 0, 0, &fault);
  EXPECT_NE(fault.find("Not an element"), std::string::npos) << fault;
}

TEST_F(Lookup, GlobalsSortOrdersTheRangeOnly) {
  int32_t* globals = arena.As<int32_t>(core::Region::kGlobals);
  const int32_t start[] = {5, INT32_MAX, -3, 0, INT32_MIN, -3, 7, 1};
  std::memcpy(globals, start, sizeof start);
  Call("globals_sort", 1, 6);
  const int32_t sorted[] = {5, INT32_MIN, -3, -3, 0, 7, INT32_MAX, 1};  // signed order; 5 and 1 kept
  EXPECT_TRUE(std::equal(sorted, sorted + 8, globals));
  // Ranges outside the block, or backwards, change nothing.
  std::memcpy(globals, start, sizeof start);
  globals[2047] = -9;
  for (const auto& [first, last] : std::vector<std::pair<int32_t, int32_t>>{{6, 1}, {-1, 6}, {0, 2048}, {INT32_MIN, 3}}) {
    Call("globals_sort", static_cast<uint32_t>(first), static_cast<uint32_t>(last));
    EXPECT_TRUE(std::equal(start, start + 8, globals)) << first << ".." << last;
  }
  Call("globals_sort", 0, 2047);
  EXPECT_TRUE(std::is_sorted(globals, globals + 2048));
  EXPECT_EQ(globals[1], -9);  // the last global took part
  EXPECT_EQ(globals[2047], INT32_MAX);
}

// Brains calling the family: text literals as the compiler passes them, and nested runs.
class LookupBrain : public Lookup, public ::testing::WithParamInterface<brain::Backend> {
 protected:
  void Give(int element, const std::string& text, bool on) {
    brain::CompilerState& compiler = engine.play->compiler;
    Record(element)[model::kWordBrainEntry] = static_cast<int32_t>(compiler.code.Address());
    compiler.brainStart = compiler.code.position;
    brain::CompileBrainText(&compiler, text);
    ASSERT_TRUE(compiler.error.empty()) << compiler.error;
    brain::ResolveLabels(&compiler, compiler.brainStart, compiler.code.position);
    Record(element)[model::kWordStatus] = on ? static_cast<int32_t>(model::kStatusOn) : 0;
  }
  void Start(int32_t last) {
    engine.options.brains = GetParam();
    std::vector<std::string> refused;
    instructions::SetUpBrains(engine, last, &refused);
    EXPECT_TRUE(refused.empty()) << refused[0];
  }
};

TEST_P(LookupBrain, ExecuteRunsTheOtherBrainAndHandsBackItsResult) {
  engine.project.records = {"Main|a", "Helper|a", "Thrower|a"};
  // The helper is off: execute does not look at the status, nor count its timer. It ends with
  // the address two places on from its own record, so the EAX shows it ran as element 1.
  Give(0,
       "var r\r\nvar n\r\nvar f\r\nr = execute(element(\"Helper\"))\r\nn = execute(0)\r\n"
       "f = nearest_element(element, 1)",
       true);
  Give(1, "var calls\r\ncalls = calls + 1\r\nelement_index(element, 2)", false);
  Give(2, "", false);
  Record(1)[model::kWordIdentity] = 1;
  Start(2);
  brain::RunBrains(&engine.play->brains);
  ASSERT_TRUE(errors.empty()) << errors[0];
  EXPECT_EQ(Index(Record(0)[255]), 3);
  EXPECT_EQ(Record(0)[254], 0);  // the 0 of a failed lookup runs nothing
  EXPECT_EQ(Call("execute", kFrame), 0);
  EXPECT_EQ(Record(0)[253], 0);  // the helper is off: no candidate
  EXPECT_EQ(Record(1)[255], 1);
  EXPECT_EQ(Record(1)[model::kWordTimer], 0);
}

TEST_P(LookupBrain, FaultsInsideTheOtherBrainAndUnknownNamesEndTheStep) {
  engine.project.records = {"Main|a", "Thrower|a", "Last|a"};
  Give(0, "var r\r\nr = execute(element#1)\r\nr = 7", true);
  Give(1, "var x\r\nx = 1 / x", false);
  Give(2, "var r\r\nr = 5", true);
  Start(2);
  brain::RunBrains(&engine.play->brains);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("divided by zero"), std::string::npos) << errors[0];
  EXPECT_EQ(Record(0)[255], 0);
  EXPECT_EQ(Record(2)[255], 0);  // the step ended at the fault

  errors.clear();
  engine.play->brains.faulted = false;
  Give(0, "var e\r\ne = element(\"Last\")\r\ne = element(\"Lost\")", true);
  Start(2);
  brain::RunBrains(&engine.play->brains);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "ELEMENT() instruction error! Could not find 'Lost' element");
  EXPECT_EQ(Index(Record(0)[255]), 2);
}

INSTANTIATE_TEST_SUITE_P(Backends, LookupBrain, ::testing::Values(brain::Backend::kInterpreter, brain::Backend::kNative),
                         [](const ::testing::TestParamInfo<brain::Backend>& info) {
                           return info.param == brain::Backend::kNative ? "Native" : "Interpreter";
                         });

}  // namespace
