// Native brain backend: brains compiled by the real compiler, and hand-written byte sequences at
// the edges of the format, run to the same registers, memory and fault texts as the interpreter.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "brain/compiler.h"
#include "brain/instruction_table.h"
#include "brain/interpreter.h"
#include "brain/native.h"
#include "core/core.h"

namespace {

using brain::RunResult;

// What one run left behind: its result, fault text, registers and the memory brains write.
struct Outcome {
  RunResult result = RunResult::kReturned;
  std::string fault;
  brain::Regs regs;
  std::vector<uint8_t> records, temporaries;
};

class Native : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(arena.Create());
    ASSERT_TRUE(brain::BeginCompilation(&state, &arena));
    record = arena.Address(core::Region::kElementRecords);
    // A routine whose results depend on every argument and that writes the element's record, so
    // argument order, the results taken back and the EDI kept all show in the comparison.
    call = [this](uint32_t routine, brain::Regs* r, std::string*) {
      ++calls;
      uint32_t* word = reinterpret_cast<uint32_t*>(arena.GuestToHost(r->edi + 40, 4));
      if (word != nullptr) *word = routine ^ r->esi;
      *r = brain::Regs{r->eax * 31 + r->ebx * 7 + r->ecx * 3 + r->edx * 5 + r->esi, r->eax, r->ebx, r->ecx,
                       r->edx, 0xDEAD0000};
      return true;
    };
  }

  // Compiles `text` at the start of the code area.
  void Compile(const std::string& text) {
    state.code.position = 0;
    state.code.overflow = false;
    brain::CompileBrainText(&state, text);
    if (state.error.empty()) brain::ResolveLabels(&state, 0, state.code.position);
    ASSERT_TRUE(state.error.empty()) << state.error;
  }
  void Raw(std::initializer_list<uint8_t> bytes) {
    uint8_t* at = arena.Host(core::Region::kCodeArea);
    for (uint8_t b : bytes) *at++ = b;
  }
  uint32_t Code() const { return arena.Address(core::Region::kCodeArea); }
  int32_t* Words() const { return arena.As<int32_t>(core::Region::kElementRecords); }

  // Runs the code at `entry` with both backends from the same memory and registers.
  Outcome Once(bool native, uint32_t entry, brain::Regs start, brain::RunLimits limits) {
    Outcome o;
    o.regs = start;
    if (native) {
      brains.Forget();
      std::string error;
      EXPECT_TRUE(brains.Translate(arena, entry, &error)) << error;
      o.result = brains.Run(entry, &o.regs, call, limits, &o.fault);
    } else {
      o.result = brain::Interpret(arena, entry, &o.regs, call, limits, &o.fault);
    }
    o.records.assign(arena.Host(core::Region::kElementRecords),
                     arena.Host(core::Region::kElementRecords) + core::Describe(core::Region::kElementRecords).size);
    o.temporaries.assign(arena.Host(core::Region::kTemporaries),
                         arena.Host(core::Region::kTemporaries) + core::Describe(core::Region::kTemporaries).size);
    return o;
  }
  Outcome Both(brain::Regs start, brain::RunLimits limits = {}, uint32_t entry = 0) {
    if (entry == 0) entry = Code();
    const std::vector<uint8_t> records = Snapshot(core::Region::kElementRecords);
    const std::vector<uint8_t> temporaries = Snapshot(core::Region::kTemporaries);
    const Outcome expected = Once(false, entry, start, limits);
    Restore(core::Region::kElementRecords, records);
    Restore(core::Region::kTemporaries, temporaries);
    const Outcome got = Once(true, entry, start, limits);
    EXPECT_EQ(got.result, expected.result);
    EXPECT_EQ(got.fault, expected.fault);
    EXPECT_EQ(got.regs.eax, expected.regs.eax);
    EXPECT_EQ(got.regs.ebx, expected.regs.ebx);
    EXPECT_EQ(got.regs.ecx, expected.regs.ecx);
    EXPECT_EQ(got.regs.edx, expected.regs.edx);
    EXPECT_EQ(got.regs.esi, expected.regs.esi);
    EXPECT_EQ(got.regs.edi, expected.regs.edi);
    EXPECT_TRUE(got.records == expected.records) << "element records differ";
    EXPECT_TRUE(got.temporaries == expected.temporaries) << "temporaries differ";
    return got;
  }
  Outcome Both() {
    brain::Regs start;
    start.edi = record;
    return Both(start);
  }
  std::vector<uint8_t> Snapshot(core::Region region) const {
    const uint8_t* host = arena.Host(region);
    return {host, host + core::Describe(region).size};
  }
  void Restore(core::Region region, const std::vector<uint8_t>& bytes) {
    std::memcpy(arena.Host(region), bytes.data(), bytes.size());
  }

  core::Arena arena;
  brain::CompilerState state;
  brain::NativeBrains brains;
  uint32_t record = 0;
  int calls = 0;
  brain::RoutineCall call;
};

// Every brain runs from a few starting records, so both branches of each condition are taken.
TEST_F(Native, CompiledBrainsMatchTheInterpreter) {
  const char* head = "var a\r\nvar b\r\nvar x1\r\nvar x2\r\nvar x3\r\nvar x4\r\nvar x5\r\nvar x6\r\n";
  const char* bodies[] = {
      "x1 = 7 - 2 - 1\r\nx2 = a * 7 / 2\r\nx3 = 9 / b * 2\r\nx4 = -a / 2\r\nx5 = -[a + b]\r\nx6 = 5 + -[a * b]",
      "x1 = a - -b\r\nx2 = a + -b\r\nx3 = a * -b\r\nx4 = a or -b\r\nx5 = a and -b\r\nx6 = a xor -b",
      "x1 = a or b\r\nx2 = a and b\r\nx3 = a xor b\r\nx4 = a - [b + 1]\r\nx5 = 1 + 2 * a\r\nx6 = element#2",
      "x1 = a < b\r\nx2 = a > -b\r\nx3 = a <= b\r\nx4 = a >= -b\r\nx5 = a <> b\r\nx6 = -b <= a or b <> 4",
      "if a > b\r\nx1 = 1\r\nelse\r\nx1 = 2\r\nendif\r\nif a = -b and a\r\nx2 = 5\r\nendif\r\nif b\r\nx3 = b\r\nendif",
      "top:\r\nx1 = x1 + a\r\nx2 = x2 + 1\r\nif x2 < 20\r\ngoto top\r\nendif\r\ngoto done\r\nx3 = 99\r\ndone:\r\nx4 = x1",
      "x1 = interpolate(1, a, -a, element#1, b * 2)\r\nx2 = a\r\nx3 = abs(x1 - b)\r\nx4 = element#-1",
  };
  const int32_t starts[][2] = {{3, 4}, {-12, 5}, {0, -1}, {2147483647, 1}, {7, -7}};
  for (const char* body : bodies) {
    SCOPED_TRACE(body);
    Compile(std::string(head) + body);
    for (const auto& start : starts) {
      SCOPED_TRACE(start[0]);
      std::memset(Words(), 0, 1024 * 3);
      Words()[255] = start[0];
      Words()[254] = start[1];
      Words()[256 + 10] = 123;  // a neighbour record the brain must leave alone
      const Outcome o = Both();
      EXPECT_EQ(o.result, RunResult::kReturned) << o.fault;
    }
  }
  EXPECT_GT(calls, 0);
}

TEST_F(Native, FaultsMatchTheInterpreter) {
  // Division by zero, INT_MIN / -1, with the statements before the fault done in both.
  Compile("var a\r\nvar b\r\nvar x\r\nx = 1\r\nx = a / b");
  Words()[255] = 5;
  Outcome o = Both();
  EXPECT_EQ(o.fault.rfind("Brain divided by zero (code 0x", 0), 0u) << o.fault;
  Words()[255] = INT32_MIN;
  Words()[254] = -1;
  o = Both();
  EXPECT_EQ(o.fault.rfind("Brain division overflows: -2147483648 / -1 does not fit 32 bits", 0), 0u) << o.fault;
  Words()[254] = 1;
  EXPECT_EQ(Both().result, RunResult::kReturned);

  // The jump budget: exactly enough, one short, none at all.
  Compile("var i\r\ntop:\r\ni = i + 1\r\nif i < 10\r\ngoto top\r\nendif");
  Words()[255] = 0;
  EXPECT_EQ(Both({0, 0, 0, 0, 0, record}, brain::RunLimits{9}).result, RunResult::kReturned);
  Words()[255] = 0;
  o = Both({0, 0, 0, 0, 0, record}, brain::RunLimits{8});
  EXPECT_EQ(o.fault.rfind("Brain never ends: more than 8 backward jumps in one run (code 0x", 0), 0u) << o.fault;
  Words()[255] = 0;
  EXPECT_EQ(Both({0, 0, 0, 0, 0, record}, brain::RunLimits{0}).result, RunResult::kFault);

  // A bad EDI: below the arena, straddling its end, and wrapping past 2^32.
  Compile("var a\r\nvar x\r\nx = a + 1");
  for (uint32_t edi : {0x10u, arena.GuestEnd() - 1024 + 2, arena.GuestEnd() - 1024 + 4, 0xFFFFFF00u}) {
    SCOPED_TRACE(edi);
    o = Both({1, 2, 3, 4, 5, edi});
    EXPECT_EQ(o.result, RunResult::kFault);
    EXPECT_NE(o.fault.find("outside the engine's memory"), std::string::npos) << o.fault;
  }
  EXPECT_EQ(Both({0, 0, 0, 0, 0, arena.GuestEnd() - 1024}).result, RunResult::kReturned);

  // A failing routine, with and without its own text, leaves the registers of before the call.
  Compile("var x\r\nx = interpolate(1, 2, 3, 4, 5)\r\nx = 5");
  call = [](uint32_t, brain::Regs* r, std::string* text) {
    r->eax = 77;
    *text = "String variable expected";
    return false;
  };
  EXPECT_EQ(Both().fault, "String variable expected");
  call = nullptr;
  EXPECT_EQ(Both().fault.rfind("Instruction routine at 0x", 0), 0u);
}

// Byte sequences the compiler does not write today but the format allows: the division of an
// EDX:EAX that is not a sign extension, memory and code outside their areas.
TEST_F(Native, EdgesOfTheFormat) {
  const auto word = [](uint32_t v) {
    return std::vector<uint8_t>{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                                static_cast<uint8_t>(v >> 24)};
  };
  // idiv ecx with EDX:EAX = edx:eax as given; the processor would trap on the overflowing ones.
  const uint32_t divisions[][3] = {{1, 0, 1}, {0, 0x80000000u, 0xFFFFFFFFu}, {0xFFFFFFFFu, 0x7FFFFFFFu, 0xFFFFFFFFu},
                                   {0x3FFFFFFFu, 0, 0x80000000u}, {0x40000000u, 0, 0x80000000u}, {5, 7, 9}};
  Raw({0xF7, 0xF9, 0xC3});
  for (const auto& d : divisions) {
    const Outcome o = Both({d[1], 0, d[2], d[0], 0, record});
    SCOPED_TRACE(o.fault);
  }
  // Absolute operands outside the arena become fault exits; so does a call of a non-routine.
  const uint32_t end = arena.GuestEnd();
  std::vector<uint8_t> bytes = {0x3E, 0xA3};
  for (uint8_t b : word(end - 2)) bytes.push_back(b);
  std::memcpy(arena.Host(core::Region::kCodeArea), bytes.data(), bytes.size());
  EXPECT_EQ(Both().fault.rfind("Brain wrote outside the engine's memory at", 0), 0u);
  Raw({0x3E, 0x8B, 0x05, 0x10, 0x00, 0x00, 0x00, 0xC3});
  EXPECT_EQ(Both().fault.rfind("Brain read outside", 0), 0u);
  Raw({0xE8, 0xFB, 0xFF, 0xFF, 0xFF});
  EXPECT_NE(Both().fault.find("which is not an instruction routine"), std::string::npos);
  // Jumps out of the code area, backwards to themselves, and code running off its end.
  Raw({0xE9, 0x00, 0x00, 0x00, 0x80});
  EXPECT_EQ(Both().fault.rfind("Brain code ran outside the code area at 0x", 0), 0u);
  Raw({0x33, 0xC0, 0x74, 0xFE, 0xC3});
  EXPECT_EQ(Both({0, 0, 0, 0, 0, record}, brain::RunLimits{5}).fault.rfind("Brain never ends", 0), 0u);
  const uint32_t size = core::Describe(core::Region::kCodeArea).size;
  uint8_t* code = arena.Host(core::Region::kCodeArea);
  code[size - 3] = 0xB8;
  EXPECT_EQ(Both({}, {}, Code() + size - 3).fault, "Brain code ran outside the code area at 0x" +
                                                       [&] {
                                                         char t[16];
                                                         std::snprintf(t, sizeof t, "%08X", Code() + size - 3);
                                                         return std::string(t);
                                                       }());
  code[size - 1] = 0x99;  // cdq, then off the end
  EXPECT_EQ(Both({}, {}, Code() + size - 1).result, RunResult::kFault);
}

TEST_F(Native, RefusesWhatItCannotTranslate) {
  std::string error;
  Raw({0xB8, 1, 0, 0, 0, 0x90, 0xC3});
  EXPECT_FALSE(brains.Translate(arena, Code(), &error));
  EXPECT_NE(error.find("has no native translation"), std::string::npos) << error;
  EXPECT_FALSE(brains.IsTranslated(Code()));
  // A jump into the middle of the B8 above.
  Raw({0xB8, 0xC3, 0, 0, 0, 0x74, 0xFA, 0xC3});
  EXPECT_FALSE(brains.Translate(arena, Code(), &error));
  EXPECT_NE(error.find("overlaps another instruction"), std::string::npos) << error;
  // An unreachable stray byte after an unconditional jump does not matter.
  Raw({0xE9, 1, 0, 0, 0, 0x90, 0xC3});
  EXPECT_TRUE(brains.Translate(arena, Code(), &error)) << error;
  brain::Regs regs;
  EXPECT_EQ(brains.Run(Code() + 5, &regs, call, {}, &error), RunResult::kFault);
  EXPECT_NE(error.find("is not translated"), std::string::npos);
}

// Every fault text in full, from both backends wherever both reach it: the texts are what a player
// sees in the run-time error box, down to the addresses.
TEST_F(Native, FaultTextsInFull) {
  const auto hex = [](uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return std::string(text);
  };
  const uint32_t routine = brain::RoutineAddress(brain::RowOfName("abs"));
  const uint32_t rel = routine - (Code() + 5);
  const struct {
    std::vector<uint8_t> bytes;
    brain::RunLimits limits;
    std::string text;
  } runs[] = {
      {{0xB8, 0, 0, 0, 0x80, 0x99, 0xB9, 0xFF, 0xFF, 0xFF, 0xFF, 0xF7, 0xF9, 0xC3}, {},
       "Brain division overflows: -2147483648 / -1 does not fit 32 bits (code " + hex(Code() + 11) + ")"},
      {{0xB9, 0, 0, 0, 0, 0xF7, 0xF9, 0xC3}, {}, "Brain divided by zero (code " + hex(Code() + 5) + ")"},
      {{0x33, 0xC0, 0x74, 0xFE, 0xC3}, {3},
       "Brain never ends: more than 3 backward jumps in one run (code " + hex(Code() + 2) + ")"},
      {{0xE8, static_cast<uint8_t>(rel), static_cast<uint8_t>(rel >> 8), static_cast<uint8_t>(rel >> 16),
        static_cast<uint8_t>(rel >> 24), 0xC3},
       {},
       "Instruction routine at " + hex(routine) + " failed (code " + hex(Code()) + ")"},
  };
  call = nullptr;  // a routine that cannot run, and says nothing of its own
  for (const auto& run : runs) {
    SCOPED_TRACE(run.text);
    std::memcpy(arena.Host(core::Region::kCodeArea), run.bytes.data(), run.bytes.size());
    EXPECT_EQ(Both({0, 0, 0, 0, 0, record}, run.limits).fault, run.text);
  }

  // Bytes outside the format: the interpreter names them, the translator refuses the brain.
  const struct {
    std::vector<uint8_t> bytes;
    const char* named;
  } strays[] = {
      {{0x69, 0xC1, 0, 0, 0, 0, 0xC3}, "69 C1"},  // imul ecx, ecx, imm32: whole, so not cut off
      {{0x3E, 0x0F, 0xAE, 0x87, 0, 0, 0, 0}, "3E 0F AE"},
      {{0x3E, 0x0F, 0xAF, 0x04, 0, 0, 0, 0}, "3E 0F AF 04"},
      {{0x3E, 0x0F, 0xAF, 0x9F, 0, 0, 0, 0}, "3E 0F AF 9F"},  // imul ebx, [edi+d]
  };
  std::string error;
  brain::Regs regs;
  for (const auto& stray : strays) {
    SCOPED_TRACE(stray.named);
    std::memcpy(arena.Host(core::Region::kCodeArea), stray.bytes.data(), stray.bytes.size());
    EXPECT_EQ(brain::Interpret(arena, Code(), &regs, call, {}, &error), RunResult::kFault);
    EXPECT_EQ(error, std::string("Unknown brain code ") + stray.named + " at " + hex(Code()));
    brains.Forget();
    EXPECT_FALSE(brains.Translate(arena, Code(), &error));
    EXPECT_EQ(error, "Brain code at " + hex(Code()) + " has no native translation");
  }

  // Translation refusals, and runs that cannot start.
  Raw({0xB8, 0xC3, 0, 0, 0, 0x74, 0xFA, 0xC3});
  EXPECT_FALSE(brains.Translate(arena, Code(), &error));
  EXPECT_EQ(error, "Brain code at " + hex(Code() + 1) + " overlaps another instruction");
  EXPECT_EQ(brains.Run(Code(), &regs, call, {}, &error), RunResult::kFault);
  EXPECT_EQ(error, "Brain code at " + hex(Code()) + " is not translated");
  core::Arena unready;
  EXPECT_EQ(brain::Interpret(unready, Code(), &regs, call, {}, &error), RunResult::kFault);
  EXPECT_EQ(error, "Brain code area is not ready");
  EXPECT_FALSE(brains.Translate(unready, Code(), &error));
  EXPECT_EQ(error, "Brain code area is not ready");
}

}  // namespace
