// Brain source text: line ends, the line treatment, statement kinds, declarations, label names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "brain/instruction_table.h"
#include "brain/source.h"
#include "brain/symbols.h"

namespace {

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> out;
  size_t position = 0;
  std::string_view line;
  while (brain::NextLine(text, &position, &line)) out.emplace_back(line);
  return out;
}

// A brain saved by an editor of either convention reads as the same lines.
TEST(BrainSource, EveryLineEndEndsALine) {
  EXPECT_EQ(Lines("a\nb\nc"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(Lines("a\r\nb\r\n"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(Lines("a\r\n\r\nlast"), (std::vector<std::string>{"a", "", "last"}));
  EXPECT_EQ(Lines("x\ry\r\n"), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(Lines("a\n\r\n\r\rb"), (std::vector<std::string>{"a", "", "", "", "b"}));
  EXPECT_TRUE(Lines("").empty());
}

TEST(BrainSource, LineTreatment) {
  brain::SourceLine line;
  brain::PrepareLine("\t If X > 1  ; compare X\t", 7, &line);
  EXPECT_EQ(line.literal, "If X > 1");
  EXPECT_EQ(line.parsing, "if x > 1");
  EXPECT_EQ(brain::ErrorContext(line), "if x > 1 (7)|");

  brain::PrepareLine("print(\"Hi\tThere\", X)", 1, &line);
  EXPECT_EQ(line.literal, "print(\"Hi\tThere\", X)");
  EXPECT_EQ(line.parsing, "print(\"........\", x)");

  // A ';' inside quotes still starts the comment.
  brain::PrepareLine("msg(\"a;b\")", 2, &line);
  EXPECT_EQ(line.literal, "msg(\"a");
  EXPECT_EQ(line.parsing, "msg(\"a");

  // A lone quote hides nothing.
  brain::PrepareLine("A\"B", 3, &line);
  EXPECT_EQ(line.parsing, "a\"b");
}

TEST(BrainSource, StatementKindsInTheirOrder) {
  using brain::LineKind;
  EXPECT_EQ(brain::ClassifyLine(""), LineKind::kEmpty);
  EXPECT_EQ(brain::ClassifyLine("var count"), LineKind::kDeclaration);
  EXPECT_EQ(brain::ClassifyLine("userint lives = 3"), LineKind::kDeclaration);
  EXPECT_EQ(brain::ClassifyLine("userspi turn"), LineKind::kDeclaration);
  EXPECT_EQ(brain::ClassifyLine("userabc x"), LineKind::kBadDeclaration);
  EXPECT_EQ(brain::ClassifyLine("username = 3"), LineKind::kBadDeclaration);
  EXPECT_EQ(brain::ClassifyLine("goto loop"), LineKind::kJump);
  EXPECT_EQ(brain::ClassifyLine("goto loop:"), LineKind::kJump);  // jump is tested before label
  EXPECT_EQ(brain::ClassifyLine("loop:"), LineKind::kLabel);
  EXPECT_EQ(brain::ClassifyLine("show(element) editor"), LineKind::kEditorTagged);
  EXPECT_EQ(brain::ClassifyLine("var x) editor"), LineKind::kDeclaration);
  EXPECT_EQ(brain::ClassifyLine("variable = 1"), LineKind::kStatement);  // "var" needs its blank
  EXPECT_EQ(brain::ClassifyLine("if x > 1"), LineKind::kStatement);
}

TEST(BrainSource, ParseDeclaration) {
  EXPECT_EQ(brain::ParseDeclaration("var count"), "0|count");
  EXPECT_EQ(brain::ParseDeclaration("var  count  = 5 "), "0|count");
  EXPECT_EQ(brain::ParseDeclaration("userele target=element#1"), "1|target");
  EXPECT_EQ(brain::ParseDeclaration("userint lives = 3"), "2|lives");
  EXPECT_EQ(brain::ParseDeclaration("usermet d"), "3|d");
  EXPECT_EQ(brain::ParseDeclaration("userdeg a"), "4|a");
  EXPECT_EQ(brain::ParseDeclaration("uservel v"), "5|v");
  EXPECT_EQ(brain::ParseDeclaration("userspi s"), "6|s");
  EXPECT_EQ(brain::ParseDeclaration("userxyz s"), "");
  EXPECT_EQ(brain::ParseDeclaration("x = 1"), "");
}

struct Symbols {
  brain::SymbolList list;
  Symbols() {
    std::vector<uint8_t> raw(brain::kRawTableBytes);
    brain::WriteRawInstructionTable(raw.data(), raw.size());
    std::string box;
    brain::LoadInstructionTable(&list, raw.data(), raw.size(), &box);
  }
};

std::string Declarations(int count, std::string_view kind = "var ") {
  std::string text;
  for (int i = 1; i <= count; ++i) text += std::string(kind) + "v" + std::to_string(i) + "\r\n";
  return text;
}

TEST(BrainSource, CollectDeclarationsGivesOffsetsDownFrom1020) {
  Symbols s;
  const int count = brain::CollectDeclarations(
      "x = a\r\nVar A = 5 ; first\r\nuserINT Lives\r\nvar a\r\n; var hidden\r\nuserfoo bad\r\n", &s.list);
  EXPECT_EQ(count, 4);
  const int element = s.list.keywordCount;
  EXPECT_EQ(s.list.entries[element], "0|element|0");
  EXPECT_EQ(s.list.entries[element + 1], "0|a|1020");
  EXPECT_EQ(s.list.entries[element + 2], "2|lives|1016");
  EXPECT_EQ(s.list.entries[element + 3], "0|a|1012");
  EXPECT_EQ(s.list.entries[element + 4], "*end*");
  // The first of two equal names is the one statements use.
  EXPECT_EQ(brain::FindVariable(s.list, "a"), element + 1);
}

TEST(BrainSource, VariableLimit) {
  Symbols s;
  EXPECT_EQ(brain::CollectDeclarations(Declarations(127), &s.list), 128);
  EXPECT_EQ(s.list.entries[s.list.keywordCount + 127], "0|v127|516");
  EXPECT_EQ(brain::CollectDeclarations(Declarations(128), &s.list), 129);
  EXPECT_EQ(brain::CollectDeclarations(Declarations(200), &s.list), 129);  // stops after the 128th
  EXPECT_EQ(brain::FindVariable(s.list, "v128"), -1);
}

TEST(BrainSource, LabelNames) {
  std::string padded;
  ASSERT_TRUE(brain::PadLabel("loop", &padded));
  EXPECT_EQ(padded, "loop            ");
  ASSERT_TRUE(brain::PadLabel("abcdefghijklmnop", &padded));
  EXPECT_EQ(padded, "abcdefghijklmnop");
  EXPECT_FALSE(brain::PadLabel("abcdefghijklmnopq", &padded));
  ASSERT_TRUE(brain::PadLabel(" loop", &padded));
  EXPECT_EQ(padded, " loop           ");
}

TEST(BrainSource, StripEditorTag) {
  EXPECT_EQ(brain::StripEditorTag("show(element) editor"), "show(element)");
  EXPECT_EQ(brain::StripEditorTag("a(b) editor + c(d) editor"), "a(b) + c(d)");
}

}  // namespace
