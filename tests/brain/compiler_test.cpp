// Brain compiler: whole brains, conditional blocks and their displacements, labels and jumps,
// limits, compile errors with their line context, and the project compilation with code sharing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "brain/compiler.h"
#include "brain/expected_code.h"
#include "brain/instruction_table.h"
#include "core/core.h"
#include "model/model.h"
#include "support/temp_folder.h"

namespace {

using brain_testing::Append32;
using brain_testing::Bytes;
using brain_testing::Expect;

constexpr uint32_t kX = 1020;

class Compiler : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(arena.Create());
    ASSERT_TRUE(brain::BeginCompilation(&state, &arena));
  }
  // Compiles one brain at the start of the code area and resolves its labels.
  Bytes Brain(const std::string& text) {
    state.code.position = 0;
    state.code.overflow = false;
    brain::CompileBrainText(&state, text);
    if (state.error.empty()) brain::ResolveLabels(&state, 0, state.code.position);
    return Bytes(state.code.code, state.code.code + state.code.position);
  }
  uint32_t Temp(int k) const { return arena.Address(core::Region::kTemporaries) + 4 * k; }

  core::Arena arena;
  brain::CompilerState state;
};

TEST_F(Compiler, EmptyBrainOnlyReturns) {
  EXPECT_EQ(Brain(""), (Bytes{0xC3}));
  EXPECT_EQ(Brain("; only a comment\r\n\r\n  \t\r\n"), (Bytes{0xC3}));
  EXPECT_TRUE(state.error.empty());
}

TEST_F(Compiler, Assignments) {
  EXPECT_EQ(Brain("var x\r\nx = 5"), Expect().Op({0xB8}, 5).Op({0x3E, 0x89, 0x87}, kX).Raw({0xC3}).b);
  // The text after a second "=" is ignored.
  EXPECT_EQ(Brain("x = 1 + 2 = 3\r\nvar x"),
            Expect().Op({0xB8}, 1).Op({0x05}, 2).Op({0x3E, 0xA3}, Temp(0)).Op({0x3E, 0x89, 0x87}, kX).Raw({0xC3}).b);
  // A declaration below its use; a negated group assigned alone.
  EXPECT_EQ(Brain("x = -[x + 1]\r\nvar x"), Expect()
                                                 .Op({0x3E, 0x8B, 0x87}, kX).Op({0x05}, 1).Op({0x3E, 0xA3}, Temp(0))
                                                 .Raw({0xF7, 0xD8}).Op({0x3E, 0x89, 0x87}, kX).Raw({0xC3}).b);
  // Two slots for one name: statements use the first.
  EXPECT_EQ(Brain("var a\r\nvar a\r\na = 1"), Expect().Op({0xB8}, 1).Op({0x3E, 0x89, 0x87}, 1020).Raw({0xC3}).b);
  // "x =" with nothing on the right is the expression statement "x".
  EXPECT_EQ(Brain("var x\r\nx ="), Expect().Op({0x3E, 0x8B, 0x87}, kX).Raw({0xC3}).b);
}

TEST_F(Compiler, IfWithoutElse) {
  Expect e;
  e.Op({0x3E, 0x8B, 0x87}, kX).Raw({0x8B, 0xD8}).Op({0xB8}, 1).Op({0x81, 0xFB}, 1).Raw({0x7F, 0x02, 0x33, 0xC0});
  e.Op({0x3E, 0xA3}, Temp(0)).Raw({0x83, 0xF8, 0x00}).Op({0x0F, 0x84}, 12);  // over the 12-byte block
  e.Op({0xB8}, 2).Op({0x3E, 0x89, 0x87}, kX).Raw({0xC3});
  EXPECT_EQ(Brain("var x\r\nif x > 1\r\n  x = 2\r\nendif"), e.b);
  EXPECT_EQ(Brain("VAR X\r\nIf X > 1\r\n  X = 2\r\nEnd If"), e.b);
}

TEST_F(Compiler, IfElseEndif) {
  Expect e;
  e.Op({0x3E, 0x8B, 0x87}, kX).Raw({0x83, 0xF8, 0x00}).Op({0x0F, 0x84}, 17);  // behind the E9
  e.Op({0xB8}, 1).Op({0x3E, 0x89, 0x87}, kX);
  e.Op({0xE9}, 12);  // to the code after endif
  e.Op({0xB8}, 2).Op({0x3E, 0x89, 0x87}, kX).Raw({0xC3});
  EXPECT_EQ(Brain("var x\r\nif x\r\nx = 1\r\nel se\r\nx = 2\r\nendif"), e.b);
}

TEST_F(Compiler, NestedIfs) {
  const Bytes code = Brain("var x\r\nif x\r\nif x\r\nx = 1\r\nendif\r\nendif");
  // Outer jz after 16 bytes, inner jz after 32; both blocks end at 44.
  ASSERT_EQ(code.size(), 45u);
  uint32_t outer = 0, inner = 0;
  std::memcpy(&outer, code.data() + 12, 4);
  std::memcpy(&inner, code.data() + 28, 4);
  EXPECT_EQ(outer, 44u - 16u);
  EXPECT_EQ(inner, 44u - 32u);
}

TEST_F(Compiler, NestingErrorsHaveNoLineContext) {
  for (const char* text : {"else", "x = 1\r\nendif", "if 1", "if 1\r\nelse\r\nelse\r\nendif\r\nendif"}) {
    SCOPED_TRACE(text);
    Brain(std::string("var x\r\n") + text);
    EXPECT_EQ(state.error, "If...endif nesting error!");
  }
  Brain("var x\r\nifx > 1");  // "if" needs its blank: this is an expression
  EXPECT_EQ(state.error, "ifx > 1 (2)|Unknown symbol 'ifx'!");
}

TEST_F(Compiler, ErrorsCarryTheirLineContext) {
  Brain("var x\r\n\r\nx = Zz + 1 ; sum");
  EXPECT_EQ(state.error, "x = zz + 1 (3)|Unknown symbol 'zz'!");
  Brain("print(\"Hi\", 1)");
  EXPECT_EQ(state.error, "print(\"..\", 1) (1)|'print' requires 4 parameter(s)!");
  // A ';' in a literal cuts the line, which then fails the bracket check.
  Brain("print(\"a;b\", 1, 2, 3)");
  EXPECT_EQ(state.error, "print(\"a (1)|Brackets nesting error!");
  Brain("x = element#0\r\nvar x");
  EXPECT_EQ(state.error, "x = element#0 (1)|Unknown symbol 'element#0'!");
}

TEST_F(Compiler, AssignmentNeedsADeclaredVariable) {
  for (const char* target : {"5", "element", "element#1", "@0"}) {
    SCOPED_TRACE(target);
    Brain(std::string(target) + " = 1");
    EXPECT_EQ(state.status, brain::kStatusFailed);
    EXPECT_EQ(state.error, std::string(target) + " = 1 (1)|'" + target + "' can't be assigned: only declared variables can");
  }
  Brain("y = 1");
  EXPECT_EQ(state.error, "y = 1 (1)|Unknown symbol 'y'!");
}

TEST_F(Compiler, VariableLimit) {
  std::string text;
  for (int i = 1; i <= 127; ++i) text += "var v" + std::to_string(i) + "\r\n";
  Brain(text + "v127 = 1");
  EXPECT_TRUE(state.error.empty()) << state.error;
  EXPECT_EQ(Bytes(state.code.code + 5, state.code.code + 12), Expect().Op({0x3E, 0x89, 0x87}, 516).b);
  Brain(text + "var v128\r\nv1 = 1");
  EXPECT_EQ(state.error, "Too many variables defined!");
}

TEST_F(Compiler, UserLineWithoutKnownKindFails) {
  Brain("userint a\r\nuserfoo b\r\na = 1");
  EXPECT_EQ(state.status, brain::kStatusFailed);
  EXPECT_EQ(state.error.rfind("userfoo b (2)|", 0), 0u);
}

TEST_F(Compiler, LongLines) {
  const std::string longest = "var x\r\nx = " + std::string(2040, '1');  // 2044 characters
  Brain(longest);
  EXPECT_EQ(state.error.find("Line longer"), std::string::npos);
  Brain(longest + "1");
  EXPECT_NE(state.error.find("(2)|Line longer than 2044 characters"), std::string::npos);
}

TEST_F(Compiler, ForwardAndBackwardJumps) {
  // goto end / x = 1 / end:  -- E9 to offset 28 from the end of E9 at 5; the name's tail stays.
  Expect forward;
  forward.Op({0xE9}, 23).Text("           ").Op({0xB8}, 1).Op({0x3E, 0x89, 0x87}, kX).Raw({0xC3});
  EXPECT_EQ(Brain("var x\r\ngoto end\r\nx = 1\r\nEnd:"), forward.b);
  // top: / x = 1 / goto top  -- negative displacement.
  Expect backward;
  backward.Op({0xB8}, 1).Op({0x3E, 0x89, 0x87}, kX).Op({0xE9}, static_cast<uint32_t>(-17)).Text("           ").Raw({0xC3});
  EXPECT_EQ(Brain("var x\r\ntop:\r\nx = 1\r\ngoto top"), backward.b);
  // Trailing blanks do not matter; 16 characters are accepted.
  Brain("loop :\r\ngoto loop\r\nabcdefghijklmnop:\r\ngoto abcdefghijklmnop");
  EXPECT_TRUE(state.error.empty()) << state.error;
  EXPECT_EQ(brain::LabelCount(state), 2);
}

TEST_F(Compiler, LabelErrors) {
  // Recorded without stopping: the later lines still compile, the context is the last line's.
  Brain("var x\r\nabcdefghijklmnopq:\r\nx = 1");
  EXPECT_EQ(state.error, "x = 1 (3)|Labels can't be longer than 16 characters");
  EXPECT_EQ(state.code.position, 13u);
  Brain("goto abcdefghijklmnopq\r\nvar x");
  EXPECT_EQ(state.error, "var x (2)|Labels can't be longer than 16 characters");
  Brain("a:\r\nA:\r\nb:");
  EXPECT_EQ(state.error, "b: (3)|Label already defined");
  // A leading blank belongs to the name.
  Brain("loop:\r\ngoto  loop\r\n");
  EXPECT_EQ(state.error, "goto  loop (2)|Label ' loop' is not defined in this brain");
  Brain("x:\r\ngoto nowhere\r\ngoto x");
  EXPECT_EQ(state.error, "goto nowhere (2)|Label 'nowhere' is not defined in this brain");
}

TEST_F(Compiler, LabelLimit) {
  std::string text;
  for (int i = 0; i < 102; ++i) text += "l" + std::to_string(i) + ":\r\n";
  Brain(text);
  EXPECT_TRUE(state.error.empty()) << state.error;
  Brain(text + "one_more:");
  EXPECT_EQ(state.error, "one_more: (103)|Too many labels: a brain holds at most 102");
}

TEST_F(Compiler, CodeAreaOverflowIsAnError) {
  state.code.capacity = 20;
  Brain("var x\r\nx = 1\r\nx = 2");
  EXPECT_EQ(state.error, "x = 2 (3)|Brain code area full: the project's brains are too large");
  EXPECT_LE(state.code.position, 20u);
}

TEST_F(Compiler, EditorTag) {
  const uint32_t abs = brain::RoutineAddress(brain::RowOfName("abs"));
  const uint32_t base = state.code.guestBase;
  // A normal play compiles the tagged line as an ordinary statement.
  EXPECT_EQ(Brain("var x\r\nx = abs(-3) editor"),
            Expect().Op({0xB8}, static_cast<uint32_t>(-3)).Op({0xE8}, abs - (base + 10)).Op({0x3E, 0xA3}, Temp(0))
                .Op({0x3E, 0x89, 0x87}, kX).Raw({0xC3}).b);
  // The editor mode compiles only tagged lines, each as one call; failures are dropped.
  state.editorMode = true;
  EXPECT_EQ(Brain("var x\r\nx = 1\r\nnosuch(1) editor\r\nabs(x) editor\r\nabs( 7 ) editor\r\ngoto nowhere\r\nelse"),
            Expect().Op({0xB8}, 0).Op({0xE8}, abs - (base + 10)).Op({0xB8}, 7).Op({0xE8}, abs - (base + 20)).Raw({0xC3}).b);
  EXPECT_TRUE(state.error.empty()) << state.error;
}

// [SECTION] Project compilation

class Project : public Compiler {
 protected:
  void SetUp() override {
    Compiler::SetUp();
    ASSERT_TRUE(temp.ok()) << temp.error();
    folder = temp.path();
    state.showErrorBox = [this](const std::string& text) { boxes.push_back(text); };
    state.tickCounter = &ticks;
  }
  void Add(const std::string& name, const std::string& file, const std::string& text, bool write = true) {
    if (write) {
      ASSERT_TRUE(core::WriteFileAtomic(folder + file, text));
    }
    project.records.push_back(name + "|1|0|" + folder + file + "|");
  }
  int32_t Entry(int element) const {
    return arena.As<int32_t>(core::Region::kElementRecords)[element * model::kRecordWords + model::kWordBrainEntry];
  }

  testing_support::TempFolder temp{"brain_compiler"};
  std::string folder;  // temp's path, ends with '/'
  model::Project project;
  std::vector<std::string> boxes;
  int32_t ticks = 99;
};

TEST_F(Project, EqualBrainsShareOneCopy) {
  Add("a", "1.bra", "var x\r\nx = 1");
  Add("b", "2.bra", "var x\r\nx = 1");
  Add("c", "3.bra", "var x\r\nx = 2");
  brain::CompileAllBrains(&state, project);
  const int32_t base = static_cast<int32_t>(state.code.guestBase);
  EXPECT_EQ(Entry(0), base);
  EXPECT_EQ(Entry(1), base);
  EXPECT_EQ(Entry(2), base + 13);
  EXPECT_EQ(state.code.position, 26u);
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(state.brainErrorSeen);
  EXPECT_EQ(ticks, 0);
}

TEST_F(Project, EqualChecksumsAloneDoNotShare) {
  // The same 32-bit words in another order: equal sums, different brains.
  const std::string first = "var x \r\nx=10\r\n  x=20\r\n  ";
  const std::string second = "var x \r\nx=20\r\n  x=10\r\n  ";
  Add("a", "1.bra", first);
  Add("b", "2.bra", second);
  ASSERT_EQ(brain::BrainChecksum(first), brain::BrainChecksum(second));
  brain::CompileAllBrains(&state, project);
  EXPECT_NE(Entry(0), Entry(1));
}

TEST_F(Project, FailedBrainBecomesAPlainReturn) {
  Add("good", "1.bra", "var x\r\nx = 1");
  Add("bad", "2.bra", "var x\r\nx = 1\r\nx = zz\r\nx = 3");
  Add("gone", "3.bra", "", false);
  Add("after", "4.bra", "var x\r\nx = 4");
  brain::CompileAllBrains(&state, project);
  const int32_t base = static_cast<int32_t>(state.code.guestBase);
  EXPECT_EQ(Entry(1), base + 13);
  EXPECT_EQ(state.code.code[13], 0xC3);
  EXPECT_EQ(Entry(2), base + 14);
  EXPECT_EQ(state.code.code[14], 0xC3);
  EXPECT_EQ(Entry(3), base + 15);
  EXPECT_EQ(state.code.code[15], 0xB8);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0], "'bad' brain ERROR!|x = zz (3)|Unknown symbol 'zz'!");
  EXPECT_EQ(boxes[1], "'gone' brain ERROR!|Brain not found (3.bra)!");
  EXPECT_TRUE(state.brainErrorSeen);
}

TEST_F(Project, LiteralBoundsAndPicking) {
  state.stringStoreUsed = 100;
  Add("a", "1.bra", "str_len(\"abc\")\r\nvisual_picked(element)");
  brain::CompileAllBrains(&state, project);
  const uint32_t store = arena.Address(core::Region::kStringStore);
  EXPECT_EQ(state.literalStart, store + 100);
  EXPECT_EQ(state.literalEnd, store + 104);
  EXPECT_TRUE(state.picking);
  Add("b", "2.bra", "x");
  brain::CompileAllBrains(&state, project);  // a new compilation clears the flag first
  EXPECT_TRUE(state.picking);
  project.records.erase(project.records.begin());
  brain::CompileAllBrains(&state, project);
  EXPECT_FALSE(state.picking);
}

TEST_F(Project, PlayerRunReadsScrambledCopiesAndDeletesThem) {
  std::string text = "var x\r\nx = 1";
  model::ScrambleBytes(&text);
  Add("a", "1.bra", text);
  state.playerRun = true;
  brain::CompileAllBrains(&state, project);
  EXPECT_TRUE(boxes.empty()) << boxes[0];
  EXPECT_EQ(Bytes(state.code.code, state.code.code + 13), Expect().Op({0xB8}, 1).Op({0x3E, 0x89, 0x87}, kX).Raw({0xC3}).b);
  EXPECT_FALSE(core::FileExists(folder + "1.bra"));
}

}  // namespace
