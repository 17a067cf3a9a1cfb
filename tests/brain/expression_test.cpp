// Brain expression compiler: rewriting, the reductions and their order, operands with units,
// calls and their arguments, negation rules and every compile message.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "brain/compiler.h"
#include "brain/expected_code.h"
#include "brain/expression.h"
#include "brain/instruction_table.h"
#include "core/core.h"

namespace {

using brain_testing::Append32;
using brain_testing::Bytes;
using brain_testing::Expect;

class Expression : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(arena.Create());
    ASSERT_TRUE(brain::BeginCompilation(&state, &arena));
    std::string box;
    brain::LoadInstructionTable(&state.symbols, state.rawTable.data(), state.rawTable.size(), &box);
    brain::CollectDeclarations("var a\r\nvar b\r\n", &state.symbols);
  }
  uint32_t Temp(int k) const { return arena.Address(core::Region::kTemporaries) + 4 * k; }
  // Compiles one source line as an expression; the code it emitted.
  Bytes Compile(const std::string& source) {
    brain::PrepareLine(source, 1, &state.line);
    state.status = 0;
    state.error.clear();
    state.temporaryCount = 0;
    std::string text;
    const uint32_t start = state.code.position;
    if (brain::RewriteStatement(&state, state.line.parsing, &text)) brain::CompileExpression(&state, text);
    return Bytes(state.code.code + start, state.code.code + state.code.position);
  }
  std::string Rewrite(const std::string& source) {
    std::string out;
    state.status = 0;
    brain::RewriteStatement(&state, source, &out);
    return out;
  }
  // The call E8 rel32 emitted at code offset `at`.
  uint32_t CallTarget(uint32_t routine, uint32_t at) const { return routine - (state.code.guestBase + at + 5); }

  core::Arena arena;
  brain::CompilerState state;
};

constexpr uint32_t kA = 1020;
constexpr uint32_t kB = 1016;

TEST_F(Expression, Rewriting) {
  EXPECT_EQ(Rewrite("a and b or c xor d"), "a&b\xF5" "c\xF8" "d");
  EXPECT_EQ(Rewrite("band or"), "bandor");  // the words need a blank on each side
  EXPECT_EQ(Rewrite("x = -5 + -a"), "x=\xD1" "5+\xD1" "a");
  EXPECT_EQ(Rewrite("-5"), "-5");  // nothing precedes it: not unary
  EXPECT_EQ(Rewrite("f(-1,-2)"), "f(\xD1" "1,\xD1" "2)");
  EXPECT_EQ(Rewrite("element#-3"), "element\\3");
  EXPECT_EQ(Rewrite("a <= b => c >= d =< e <> f >< g"), "a\xA3" "b$c$d\xA3" "e!f!g");
  EXPECT_EQ(Rewrite("x=--5"), "x=\xD1-5");
  EXPECT_EQ(Rewrite("[a+(b])"), "");
  EXPECT_EQ(state.error, "Brackets nesting error!");
  EXPECT_EQ(Rewrite("f(a"), "");
  EXPECT_EQ(Rewrite("a]"), "");
}

TEST_F(Expression, SingleOperands) {
  EXPECT_EQ(Compile("7"), Expect().Op({0xB8}, 7).b);
  EXPECT_EQ(Compile("a"), Expect().Op({0x3E, 0x8B, 0x87}, kA).b);
  EXPECT_EQ(Compile("element"), Expect().Raw({0x8B, 0xC7}).Op({0x81, 0xC0}, 0).b);
  EXPECT_EQ(Compile("element#2"), Expect().Raw({0x8B, 0xC7}).Op({0x81, 0xC0}, 2048).b);
  EXPECT_EQ(Compile("element#-1"), Expect().Raw({0x8B, 0xC7}).Op({0x81, 0xC0}, static_cast<uint32_t>(-1024)).b);
  // A bracket group around one operand is stored to a temporary of its own.
  EXPECT_EQ(Compile("[a]"), Expect().Op({0x3E, 0x8B, 0x87}, kA).Op({0x3E, 0xA3}, Temp(0)).b);
  EXPECT_EQ(Compile("[[a]]"),
            Expect().Op({0x3E, 0x8B, 0x87}, kA).Op({0x3E, 0xA3}, Temp(0)).Op({0x3E, 0x8B, 0x05}, Temp(0)).Op({0x3E, 0xA3}, Temp(1)).b);
  // A string alone loads its literal's address.
  state.line.literal = "\"Hi\"";
  const uint32_t literal = arena.Address(core::Region::kStringStore) + state.stringStoreUsed;
  EXPECT_EQ(Compile("\"..\""), Expect().Op({0xB8}, literal).b);
}

TEST_F(Expression, ConstantsAndUnits) {
  struct Case {
    const char* text;
    int32_t value;
  };
  const Case cases[] = {{"1.5mt", 768000}, {"90dg", 46080},   {"1ms", 17067},          {"60rm", 6144},
                        {"0.0005mt", 0},   {"0x1f", 31},      {"0xffffffff", -1},      {"4294967297", 1},
                        {"0", 0},          {"2.25dg", 1152},  {"1.2345ms", 21060},     {"[-90dg]", -46080}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    brain::Operand operand;
    state.status = 0;
    std::string text = Rewrite(c.text);
    if (text.front() == '[') text = text.substr(1, text.size() - 2);
    ASSERT_TRUE(brain::ParseOperand(&state, text, &operand)) << state.error;
    EXPECT_EQ(operand.kind, brain::kOperandConstant);
    EXPECT_EQ(operand.value, c.value);
    EXPECT_EQ(state.status, brain::kOperandConstant);
  }
  const char* unknown[] = {"1.5", "12abc", "0x1g", "element#0", "elementx", "@2000", "zz", ""};
  for (const char* text : unknown) {
    SCOPED_TRACE(text);
    brain::Operand operand;
    state.status = 0;
    EXPECT_FALSE(brain::ParseOperand(&state, text, &operand));
    EXPECT_EQ(state.error, "Unknown symbol '" + std::string(text) + "'!");
    EXPECT_EQ(state.status, brain::kStatusFailed);
  }
}

TEST_F(Expression, PrecedenceAndLeftToRight) {
  // 7 - 2 - 1: the first minus first.
  EXPECT_EQ(Compile("7-2-1"), Expect()
                                  .Op({0xB8}, 7).Op({0x2D}, 2).Op({0x3E, 0xA3}, Temp(0))
                                  .Op({0x3E, 0x8B, 0x05}, Temp(0)).Op({0x2D}, 1).Op({0x3E, 0xA3}, Temp(1)).b);
  // 2 * 7 / 2: the division binds tighter.
  EXPECT_EQ(Compile("2*7/2"), Expect()
                                  .Op({0xB8}, 7).Op({0xB9}, 2).Raw({0x99, 0xF7, 0xF9}).Op({0x3E, 0xA3}, Temp(0))
                                  .Op({0xB8}, 2).Op({0x3E, 0x0F, 0xAF, 0x05}, Temp(0)).Op({0x3E, 0xA3}, Temp(1)).b);
  // a + b - 1: the minus before the plus.
  EXPECT_EQ(Compile("a+b-1"), Expect()
                                  .Op({0x3E, 0x8B, 0x87}, kB).Op({0x2D}, 1).Op({0x3E, 0xA3}, Temp(0))
                                  .Op({0x3E, 0x8B, 0x87}, kA).Op({0x3E, 0x03, 0x05}, Temp(0)).Op({0x3E, 0xA3}, Temp(1)).b);
  // a = 1 and b = 2: both comparisons, then the and.
  const Bytes compareHead = {0x8B, 0xD8, 0xB8, 1, 0, 0, 0};
  Expect e;
  e.Op({0x3E, 0x8B, 0x87}, kA).Raw({0x8B, 0xD8}).Op({0xB8}, 1).Op({0x81, 0xFB}, 1).Raw({0x74, 0x02, 0x33, 0xC0}).Op({0x3E, 0xA3}, Temp(0));
  e.Op({0x3E, 0x8B, 0x87}, kB).Raw({0x8B, 0xD8}).Op({0xB8}, 1).Op({0x81, 0xFB}, 2).Raw({0x74, 0x02, 0x33, 0xC0}).Op({0x3E, 0xA3}, Temp(1));
  e.Op({0x3E, 0x8B, 0x05}, Temp(0)).Op({0x3E, 0x23, 0x05}, Temp(1)).Op({0x3E, 0xA3}, Temp(2));
  EXPECT_EQ(Compile("a = 1 and b = 2"), e.b);
}

TEST_F(Expression, NegatedRightOperands) {
  // a < -b: the left side is negated and the comparison mirrored.
  EXPECT_EQ(Compile("a<-b"), Expect()
                                 .Op({0x3E, 0x8B, 0x87}, kA).Raw({0x8B, 0xD8}).Op({0xB8}, 1)
                                 .Raw({0xF7, 0xDB}).Op({0x3E, 0x3B, 0x9F}, kB).Raw({0x7F, 0x02, 0x33, 0xC0})
                                 .Op({0x3E, 0xA3}, Temp(0)).b);
  // a - -b = -((-a) - b).
  EXPECT_EQ(Compile("a--b"), Expect()
                                 .Op({0x3E, 0x8B, 0x87}, kA).Raw({0xF7, 0xD8}).Op({0x3E, 0x2B, 0x87}, kB).Raw({0xF7, 0xD8})
                                 .Op({0x3E, 0xA3}, Temp(0)).b);
  // A negated constant is folded.
  EXPECT_EQ(Compile("a*-3"), Expect().Op({0x3E, 0x8B, 0x87}, kA).Op({0x69, 0xC0}, static_cast<uint32_t>(-3)).Op({0x3E, 0xA3}, Temp(0)).b);
}

TEST_F(Expression, NegatedGroupsAndCalls) {
  const uint32_t abs = brain::RoutineAddress(brain::RowOfName("abs"));
  // -[a + b] inside a group: the negated temporary is a single operand of its own.
  EXPECT_EQ(Compile("[-[a+b]]"), Expect()
                                     .Op({0x3E, 0x8B, 0x87}, kA).Op({0x3E, 0x03, 0x87}, kB).Op({0x3E, 0xA3}, Temp(0))
                                     .Op({0x3E, 0x8B, 0x05}, Temp(0)).Raw({0xF7, 0xD8}).Op({0x3E, 0xA3}, Temp(1)).b);
  // -[a + b] as an argument: the group's value is negated in EAX after its store, so it is stored
  // again and that temporary is passed, never the un-negated one.
  uint32_t at = state.code.position;
  Expect arg;
  arg.Op({0x3E, 0x8B, 0x87}, kA).Op({0x3E, 0x03, 0x87}, kB).Op({0x3E, 0xA3}, Temp(0)).Raw({0xF7, 0xD8}).Op({0x3E, 0xA3}, Temp(1));
  arg.Op({0x3E, 0x8B, 0x05}, Temp(1)).Op({0xE8}, CallTarget(abs, at + 28 + 7)).Op({0x3E, 0xA3}, Temp(2));
  EXPECT_EQ(Compile("abs(-[a+b])"), arg.b);
  // 5 + -abs(a): the call result is negated once, before it is stored.
  const uint32_t start = state.code.position;
  Expect e;
  e.Op({0x3E, 0x8B, 0x87}, kA).Op({0xE8}, CallTarget(abs, start + 7)).Raw({0xF7, 0xD8}).Op({0x3E, 0xA3}, Temp(0));
  e.Op({0xB8}, 5).Op({0x3E, 0x03, 0x05}, Temp(0)).Op({0x3E, 0xA3}, Temp(1));
  EXPECT_EQ(Compile("5 + -abs(a)"), e.b);
}

TEST_F(Expression, ArgumentsReduceBeforeTheirCall) {
  const uint32_t interpolate = brain::RoutineAddress(brain::RowOfName("random"));
  // random(a + 1, -b): the marked argument first, then the call with a temporary and a negated variable.
  const uint32_t start = state.code.position;
  Expect e;
  e.Op({0x3E, 0x8B, 0x87}, kA).Op({0x05}, 1).Op({0x3E, 0xA3}, Temp(0));
  e.Op({0x3E, 0x8B, 0x05}, Temp(0)).Op({0x3E, 0x8B, 0x9F}, kB).Raw({0xF7, 0xDB});
  e.Op({0xE8}, CallTarget(interpolate, start + 18 + 16)).Op({0x3E, 0xA3}, Temp(1));
  EXPECT_EQ(Compile("random(a + 1, -b)"), e.b);
}

TEST_F(Expression, ArgumentKindsInEveryRegister) {
  const uint32_t routine = brain::RoutineAddress(brain::RowOfName("child_pos"));  // five parameters
  state.line.literal = "child_pos(element#1, 3, a, \"Txt\\n\", -b)";
  const uint32_t literal = arena.Address(core::Region::kStringStore) + state.stringStoreUsed;
  const uint32_t start = state.code.position;
  state.status = 0;
  ASSERT_TRUE(brain::CompileCall(&state, "child_pos(element#1,3,a,\"...\",\xD1" "b)")) << state.error;
  Expect e;
  e.Raw({0x8B, 0xC7}).Op({0x81, 0xC0}, 1024);
  e.Op({0xBB}, 3);
  e.Op({0x3E, 0x8B, 0x8F}, kA);
  e.Op({0xBA}, literal);
  e.Op({0x3E, 0x8B, 0xB7}, kB).Raw({0xF7, 0xDE});
  e.Op({0xE8}, CallTarget(routine, start + 8 + 5 + 7 + 5 + 9));
  EXPECT_EQ(Bytes(state.code.code + start, state.code.code + state.code.position), e.b);
  const char* text = reinterpret_cast<const char*>(arena.GuestToHost(literal, 5));
  EXPECT_EQ(std::string(text, 5), std::string("Txt\n\0", 5));
}

TEST_F(Expression, StringLiteralsJoinEveryQuotedPart) {
  state.line.literal = "str_comp(\"Ab\", \"C\\0d\", 1)";
  brain::Operand operand;
  const uint32_t before = state.stringStoreUsed;
  ASSERT_TRUE(brain::ParseOperand(&state, "\"..\"", &operand));
  EXPECT_EQ(operand.kind, brain::kOperandString);
  EXPECT_EQ(state.stringStoreUsed - before, 6u);
  const char* text = reinterpret_cast<const char*>(arena.GuestToHost(static_cast<uint32_t>(operand.value), 6));
  EXPECT_EQ(std::string(text, 6), std::string("AbC\0d\0", 6));
}

TEST_F(Expression, CallChecksAndMessages) {
  struct Case {
    const char* source;
    const char* message;
  };
  const Case cases[] = {
      {"abs()", "'abs' requires 1 parameter(s)!"},
      {"random(1)", "'random' requires 2 parameter(s)!"},
      {"nosuch(1)", "Unknown function/instruction 'nosuch'!"},
      {"[(a+b)]", "Square brackets '[' exected but round brackets '(' found instead!"},
      {"abs([a])", "Unknown parameter '[a]'!"},
      {"abs(zz)", "Unknown parameter 'zz'!"},
      {"abs(-zz)", "Unknown parameter '-zz'!"},
      {"5 + -zz", "Unknown symbol '-zz'!"},
      {"element#-2 + 1 <= ", "Variable (or value, or function) expected: @0<="},
      {"a+element", "Variable 'element' must be left operand"},
      {"a+", "Variable (or value, or function) expected: a+"},
      {"-5", "Unknown symbol ''!"},
      {"abs", "Unknown symbol 'abs'!"},
      {"first_element", "Unknown symbol 'first_element'!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    Compile(c.source);
    EXPECT_EQ(state.error, c.message);
    EXPECT_EQ(state.status, brain::kStatusFailed);
  }
}

TEST_F(Expression, CallsOfAliasesAndZeroParameterRows) {
  const uint32_t start = state.code.position;
  Compile("first_element()");
  EXPECT_EQ(Bytes(state.code.code + start, state.code.code + state.code.position),
            Expect().Op({0xE8}, CallTarget(brain::RoutineAddress(brain::RowOfName("first_element")), start)).Op({0x3E, 0xA3}, Temp(0)).b);
  // Upper case and the alias reach abs's routine.
  const uint32_t abs = brain::RoutineAddress(brain::RowOfName("abs"));
  for (const char* call : {"ABS(a)", "absolute_value(a)"}) {
    const uint32_t at = state.code.position;
    EXPECT_EQ(Compile(call), Expect().Op({0x3E, 0x8B, 0x87}, kA).Op({0xE8}, CallTarget(abs, at + 7)).Op({0x3E, 0xA3}, Temp(0)).b);
  }
  EXPECT_FALSE(state.picking);
  Compile("visual_picked(1)");
  EXPECT_TRUE(state.picking);
}

TEST_F(Expression, TemporaryLimit) {
  std::string sum = "1";
  for (int i = 0; i < 1024; ++i) sum += "+1";
  Compile(sum);
  EXPECT_TRUE(state.error.empty()) << state.error;  // 1024 operations: 1024 temporaries
  Compile(sum + "+1");
  EXPECT_EQ(state.status, brain::kStatusFailed);
  EXPECT_NE(state.error.find("1024 temporaries"), std::string::npos);
}

}  // namespace
