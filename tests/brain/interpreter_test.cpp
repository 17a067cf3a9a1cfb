// Brain interpreter: brains compiled by the real compiler run to the values the language defines;
// calls keep the register contract; faults stop the run with their messages.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "brain/compiler.h"
#include "brain/instruction_table.h"
#include "brain/interpreter.h"
#include "core/core.h"

namespace {

using brain::RunResult;

class Interpreter : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(arena.Create());
    ASSERT_TRUE(brain::BeginCompilation(&state, &arena));
    record = arena.Address(core::Region::kElementRecords);
  }

  // Compiles `text` at the start of the code area and runs it with EDI = element 0's record,
  // its variables zero.
  RunResult Run(const std::string& text, brain::RunLimits limits = {}) {
    std::memset(arena.Host(core::Region::kElementRecords), 0, 1024);
    state.code.position = 0;
    state.code.overflow = false;
    brain::CompileBrainText(&state, text);
    if (state.error.empty()) brain::ResolveLabels(&state, 0, state.code.position);
    EXPECT_TRUE(state.error.empty()) << state.error;
    return RunCode(limits);
  }
  RunResult RunCode(brain::RunLimits limits = {}) {
    regs = brain::Regs{};
    regs.edi = record;
    fault.clear();
    return brain::Interpret(arena, Code(), &regs, call, limits, &fault);
  }
  // Writes raw bytes at the start of the code area.
  void Raw(std::initializer_list<uint8_t> bytes) {
    uint8_t* at = arena.Host(core::Region::kCodeArea);
    for (uint8_t b : bytes) *at++ = b;
  }
  uint32_t Code() const { return arena.Address(core::Region::kCodeArea); }
  // The k-th declared variable (from 1): word 256 - k of the record.
  int32_t Var(int k) const { return arena.As<int32_t>(core::Region::kElementRecords)[256 - k]; }
  static std::string Hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
  }

  core::Arena arena;
  brain::CompilerState state;
  uint32_t record = 0;
  brain::Regs regs;
  brain::RoutineCall call;
  std::string fault;
};

TEST_F(Interpreter, ArithmeticPrecedenceAndNegation) {
  ASSERT_EQ(Run("var a\r\nvar b\r\nvar x1\r\nvar x2\r\nvar x3\r\nvar x4\r\nvar x5\r\nvar x6\r\nvar x7\r\nvar x8\r\n"
                "a = 3\r\nb = 4\r\n"
                "x1 = 7 - 2 - 1\r\nx2 = 2 * 7 / 2\r\nx3 = 9 / 3 * 2\r\nx4 = -7 / 2\r\n"
                "x5 = -[a + b]\r\nx6 = 5 + -[a + b]\r\nx7 = 1 + 2 * 3\r\nx8 = element#2"),
            RunResult::kReturned)
      << fault;
  EXPECT_EQ(Var(3), 4);
  EXPECT_EQ(Var(4), 6);
  EXPECT_EQ(Var(5), 6);
  EXPECT_EQ(Var(6), -3);
  EXPECT_EQ(Var(7), -7);
  EXPECT_EQ(Var(8), -2);
  EXPECT_EQ(Var(9), 7);
  EXPECT_EQ(static_cast<uint32_t>(Var(10)), record + 2048);
  EXPECT_EQ(regs.edi, record);
}

// Negated memory operands take a different byte form for every operator.
TEST_F(Interpreter, NegatedRightOperands) {
  const char* head = "var a\r\nvar b\r\nvar x\r\na = 12\r\nb = 5\r\n";
  struct Case { const char* expression; int32_t value; } cases[] = {
      {"a - -b", 17}, {"a + -b", 7}, {"a * -b", -60}, {"a / -b", -2}, {"a * b", 60},
      {"a or -b", 12 | -5}, {"a and -b", 12 & -5}, {"a xor -b", 12 ^ -5},
      {"a or b", 13}, {"a and b", 4}, {"a xor b", 9}, {"a - [b + 1]", 6}, {"a + -[b + 1]", 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expression);
    ASSERT_EQ(Run(std::string(head) + "x = " + c.expression), RunResult::kReturned) << fault;
    EXPECT_EQ(Var(3), c.value);
  }
}

TEST_F(Interpreter, Comparisons) {
  const char* head = "var a\r\nvar b\r\nvar x\r\na = 3\r\nb = -4\r\n";
  struct Case { const char* expression; int32_t value; } cases[] = {
      {"a <> 3", 0}, {"a <> 4", 1}, {"a < b", 0}, {"a > b", 1}, {"a <= 3", 1}, {"a >= 4", 0},
      {"b < a", 1}, {"b >= b", 1}, {"a < -b", 1}, {"a > -b", 0}, {"a <= -b", 1}, {"a >= -b", 0},
      {"-b <= a", 0}, {"a <> 3 or b <> 4", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expression);
    ASSERT_EQ(Run(std::string(head) + "x = " + c.expression), RunResult::kReturned) << fault;
    EXPECT_EQ(Var(3), c.value);
  }
  // "=" can only compare in a condition: in an assignment the second "=" ends the statement.
  for (const Case& c : {Case{"a = 3", 1}, Case{"a = -b", 0}, Case{"a = 3 and b = -4", 1}, Case{"a = 3 and b = 4", 0},
                        Case{"a and b", 0}}) {
    SCOPED_TRACE(c.expression);
    ASSERT_EQ(Run(std::string(head) + "if " + c.expression + "\r\nx = 1\r\nendif"), RunResult::kReturned) << fault;
    EXPECT_EQ(Var(3), c.value);
  }
}

TEST_F(Interpreter, IfElseEndif) {
  const std::string text = "var a\r\nvar x\r\nvar y\r\nif a > 1\r\nx = 1\r\nelse\r\nx = 2\r\nendif\r\n"
                           "if a\r\ny = 5\r\nendif";
  ASSERT_EQ(Run(text), RunResult::kReturned) << fault;
  EXPECT_EQ(Var(2), 2);
  EXPECT_EQ(Var(3), 0);
  arena.As<int32_t>(core::Region::kElementRecords)[255] = 7;  // a = 7 for the next run
  ASSERT_EQ(RunCode(), RunResult::kReturned) << fault;
  EXPECT_EQ(Var(2), 1);
  EXPECT_EQ(Var(3), 5);
}

TEST_F(Interpreter, LoopsAndTheJumpBudget) {
  // Nine backward jumps: i runs from 1 to 10; the forward goto skips n = 99.
  const std::string text = "var i\r\nvar n\r\ntop:\r\ni = i + 1\r\nif i < 10\r\ngoto top\r\nendif\r\n"
                           "goto done\r\nn = 99\r\ndone:";
  ASSERT_EQ(Run(text, brain::RunLimits{9}), RunResult::kReturned) << fault;
  EXPECT_EQ(Var(1), 10);
  EXPECT_EQ(Var(2), 0);
  // One jump short: the run stops at the tenth backward jump, with i where it got to.
  arena.As<int32_t>(core::Region::kElementRecords)[255] = 0;
  EXPECT_EQ(RunCode(brain::RunLimits{8}), RunResult::kFault);
  EXPECT_EQ(Var(1), 9);
  EXPECT_EQ(fault.rfind("Brain never ends: more than 8 backward jumps in one run (code 0x", 0), 0u) << fault;
  // An endless loop ends under the default budget.
  EXPECT_EQ(Run("top:\r\ngoto top"), RunResult::kFault);
  EXPECT_EQ(fault.rfind("Brain never ends: more than 1000000 backward jumps", 0), 0u) << fault;
}

TEST_F(Interpreter, RoutineCallsKeepTheRegisterContract) {
  std::vector<uint32_t> seen;
  call = [&](uint32_t routine, brain::Regs* r, std::string*) {
    seen = {routine, r->eax, r->ebx, r->ecx, r->edx, r->esi, r->edi};
    *r = brain::Regs{42, 1, 2, 3, 4, 0};  // a routine that loses EDI must not break the brain
    return true;
  };
  ASSERT_EQ(Run("var a\r\nvar x\r\nvar y\r\na = 3\r\nx = interpolate(1, a, -a, element#1, 5 * 2)\r\ny = a"),
            RunResult::kReturned)
      << fault;
  const uint32_t minus3 = static_cast<uint32_t>(-3);
  EXPECT_EQ(seen, (std::vector<uint32_t>{brain::RoutineAddress(brain::RowOfName("interpolate")), 1, 3, minus3,
                                         record + 1024, 10, record}));
  EXPECT_EQ(Var(2), 42);
  EXPECT_EQ(Var(3), 3);
  EXPECT_EQ(regs.edi, record);

  // A failing routine ends the run with its own text, or a generic one.
  call = [](uint32_t, brain::Regs*, std::string* text) {
    *text = "String variable expected";
    return false;
  };
  EXPECT_EQ(Run("var x\r\nx = abs(1)\r\nx = 5"), RunResult::kFault);
  EXPECT_EQ(fault, "String variable expected");
  EXPECT_EQ(Var(1), 0);
  call = nullptr;
  EXPECT_EQ(Run("abs(1)"), RunResult::kFault);
  EXPECT_EQ(fault.rfind("Instruction routine at 0x", 0), 0u) << fault;
}

TEST_F(Interpreter, DivisionFaults) {
  EXPECT_EQ(Run("var a\r\nvar b\r\nvar x\r\na = 5\r\nx = 1\r\nx = a / b"), RunResult::kFault);
  EXPECT_EQ(fault.rfind("Brain divided by zero (code 0x", 0), 0u) << fault;
  EXPECT_EQ(Var(3), 1);  // the statements before the fault ran
  EXPECT_EQ(Run("var x\r\nx = 7 / 0"), RunResult::kFault);
  EXPECT_EQ(fault.rfind("Brain divided by zero", 0), 0u) << fault;
  EXPECT_EQ(Run("var a\r\nvar x\r\na = -2147483647 - 1\r\nx = a / -1"), RunResult::kFault);
  EXPECT_EQ(fault.rfind("Brain division overflows: -2147483648 / -1 does not fit 32 bits", 0), 0u) << fault;
  // The neighbours of the overflow are fine.
  ASSERT_EQ(Run("var a\r\nvar x\r\nvar y\r\na = -2147483647\r\nx = a / -1\r\na = a - 1\r\ny = a / 1"),
            RunResult::kReturned)
      << fault;
  EXPECT_EQ(Var(2), 2147483647);
  EXPECT_EQ(Var(3), INT32_MIN);
}

TEST_F(Interpreter, MemoryOutsideTheArena) {
  Raw({0x3E, 0x8B, 0x05, 0x10, 0x00, 0x00, 0x00, 0xC3});  // mov eax, [0x10]
  EXPECT_EQ(RunCode(), RunResult::kFault);
  EXPECT_EQ(fault, "Brain read outside the engine's memory at 0x00000010 (code " + Hex(Code()) + ")");
  // A word straddling the arena's end is outside too; the last whole word is inside.
  const uint32_t end = arena.GuestEnd();
  Raw({0x3E, 0xA3, static_cast<uint8_t>(end - 2), static_cast<uint8_t>((end - 2) >> 8),
       static_cast<uint8_t>((end - 2) >> 16), static_cast<uint8_t>((end - 2) >> 24), 0xC3});
  EXPECT_EQ(RunCode(), RunResult::kFault);
  EXPECT_EQ(fault, "Brain wrote outside the engine's memory at " + Hex(end - 2) + " (code " + Hex(Code()) + ")");
  Raw({0x8B, 0xDF, 0x3E, 0x8B, 0x87, 0xFC, 0x03, 0x00, 0x00, 0xC3});  // mov eax, [edi+1020]
  regs = brain::Regs{};
  regs.edi = end - 1020 - 4;
  EXPECT_EQ(brain::Interpret(arena, Code(), &regs, call, {}, &fault), RunResult::kReturned) << fault;
  regs.edi = end - 1020 - 3;
  EXPECT_EQ(brain::Interpret(arena, Code(), &regs, call, {}, &fault), RunResult::kFault);
  EXPECT_EQ(regs.ebx, end - 1020 - 3);  // registers as they were at the fault
}

TEST_F(Interpreter, CodeOutsideTheFormat) {
  const std::string at = " at " + Hex(Code());
  Raw({0x90});
  EXPECT_EQ(RunCode(), RunResult::kFault);
  EXPECT_EQ(fault, "Unknown brain code 90" + at);
  Raw({0x8B, 0xC0});  // mov eax, eax: a valid x86 instruction the compiler never writes
  EXPECT_EQ(RunCode(), RunResult::kFault);
  EXPECT_EQ(fault, "Unknown brain code 8B C0" + at);
  Raw({0x3E, 0x89, 0x9F, 0, 0, 0, 0});  // mov [edi], ebx
  EXPECT_EQ(RunCode(), RunResult::kFault);
  EXPECT_EQ(fault, "Unknown brain code 3E 89 9F" + at);
  Raw({0x3E, 0x8B, 0x04, 0x24, 0, 0, 0});  // mov eax, [esp]
  EXPECT_EQ(RunCode(), RunResult::kFault);
  EXPECT_EQ(fault, "Unknown brain code 3E 8B 04" + at);

  // A call into the code area instead of a routine stub.
  Raw({0xE8, 0xFB, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(RunCode(), RunResult::kFault);
  EXPECT_EQ(fault, "Brain called " + Hex(Code()) + ", which is not an instruction routine (code " + Hex(Code()) + ")");
  // Jumps out of the code area, and code running off its end.
  Raw({0xE9, 0x00, 0x00, 0x00, 0x80});
  EXPECT_EQ(RunCode(), RunResult::kFault);
  EXPECT_EQ(fault.rfind("Brain code ran outside the code area at 0x", 0), 0u) << fault;
  const uint32_t size = core::Describe(core::Region::kCodeArea).size;
  uint8_t* code = arena.Host(core::Region::kCodeArea);
  code[size - 3] = 0xB8;
  regs = brain::Regs{};
  EXPECT_EQ(brain::Interpret(arena, Code() + size - 3, &regs, call, {}, &fault), RunResult::kFault);
  EXPECT_EQ(fault, "Brain code ran outside the code area at " + Hex(Code() + size - 3));
  EXPECT_EQ(brain::Interpret(arena, Code() - 1, &regs, call, {}, &fault), RunResult::kFault);
  EXPECT_EQ(fault.rfind("Brain code ran outside the code area", 0), 0u) << fault;
}

}  // namespace
