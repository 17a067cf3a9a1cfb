// The printed-text instructions called as brain code calls them: argument registers, the words
// they queue, text arguments, clamping, and a compiled brain printing through both backends.
#include <cstring>
#include <vector>

#include "instructions/text.h"
#include "routine_fixture.h"

namespace {

class TextTest : public testing_support::RoutineTest {
 protected:
  engine::PrintedText& Text() { return engine.play->text; }
  std::vector<int32_t> Queued() {
    const auto& words = Text().queue.Words();
    return std::vector<int32_t>(words.begin(), words.begin() + Text().queue.Used() + 1);
  }
};

TEST_F(TextTest, PrintAndPrintNumQueueColourPositionAndItemFromTheirRegisters) {
  const uint32_t hello = Literal("Hello %d");
  Call("print", hello, 3, 100, 50);  // text, slot, x, y
  Call("color_set", 255, 128, 0);
  Call("print_num", static_cast<uint32_t>(-12345), 7, 2, 30, 40);  // value, slot, decimals, x, y
  EXPECT_EQ(Queued(), (std::vector<int32_t>{2, 0x00FFFFFF, 0, 100, 50, 1, static_cast<int32_t>(hello), 3,  //
                                            2, 0x000080FF, 0, 30, 40, 3, -12345, 2, 7, -1}));
  // The text word resolves to the text as print read it, "%" and all.
  EXPECT_EQ(instructions::PrintedTextOf(engine, hello), "Hello %d");
}

TEST_F(TextTest, AnEmptyTextOrANumberThatNamesNoTextQueuesNothing) {
  Call("print", Literal(""), 0, 1, 2);
  Call("print", 12345, 0, 1, 2);
  Call("print", 0, 0, 1, 2);
  EXPECT_EQ(Text().queue.Used(), 0);
  // The middle of a literal is the rest of it.
  const uint32_t word = Literal("Score");
  Call("print", word + 2, 0, 1, 2);
  ASSERT_EQ(Text().queue.Used(), 8);
  EXPECT_EQ(instructions::PrintedTextOf(engine, static_cast<uint32_t>(Queued()[6])), "ore");
}

TEST_F(TextTest, ColorSetAndFontSetClamp) {
  Call("color_set", 300, static_cast<uint32_t>(-5), 128);
  EXPECT_EQ(Text().colour, 0x008000FFu);
  Call("font_set", Literal("Courier New"), static_cast<uint32_t>(-40), 5000, 99);  // face, height, weight, slot
  EXPECT_EQ(Text().fonts[15].face(), "Courier New");
  EXPECT_EQ(Text().fonts[15].height(), -40);
  EXPECT_EQ(Text().fonts[15].weight(), 1000);
  Call("font_set", Literal("Times New Roman"), 12, static_cast<uint32_t>(-1), static_cast<uint32_t>(-2));
  EXPECT_EQ(Text().fonts[0].face(), "Times New Roman");
  EXPECT_EQ(Text().fonts[0].height(), 12);
  EXPECT_EQ(Text().fonts[0].weight(), 0);
  for (int slot = 1; slot < 15; ++slot) EXPECT_EQ(Text().fonts[static_cast<size_t>(slot)].face(), "Arial");
}

// A compiled brain reaches the routines with its arguments in the right registers on both
// backends, and its literal is the text word.
TEST_F(TextTest, ABrainPrintsThroughBothBackends) {
  for (const brain::Backend backend : {brain::Backend::kInterpreter, brain::Backend::kNative}) {
    SCOPED_TRACE(static_cast<int>(backend));
    engine.play = std::make_unique<state::Play>();
    BrainRun run;
    StartBrainRun(&run, backend);
    run.runtime.lastElement = 0;
    brain::CompileBrainText(&run.compiler,
                            "var i\r\ni = 239\r\ncolor_set(0, 255, 0)\r\nprint(\"Hi\", 1, i, 7)\r\n"
                            "font_set(\"Courier New\", -13, 700, 2)\r\nprint_num(i, 2, 1, 5, i + 1)\r\n");
    ASSERT_TRUE(run.compiler.error.empty()) << run.compiler.error;
    engine.play->compiler.stringStoreUsed = run.compiler.stringStoreUsed;
    Record(0)[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
    brain::PrepareBrains(&run.runtime);
    brain::RunBrains(&run.runtime);
    ASSERT_TRUE(run.errors.empty()) << run.errors[0];
    const std::vector<int32_t> words = Queued();
    ASSERT_EQ(words.size(), 18u);
    EXPECT_EQ(words, (std::vector<int32_t>{2, 0x0000FF00, 0, 239, 7, 1, words[6], 1,  //
                                           2, 0x0000FF00, 0, 5, 240, 3, 239, 1, 2, -1}));
    EXPECT_EQ(instructions::PrintedTextOf(engine, static_cast<uint32_t>(words[6])), "Hi");
    EXPECT_EQ(Text().fonts[2].face(), "Courier New");
    EXPECT_EQ(Text().fonts[2].height(), -13);
    EXPECT_EQ(Text().fonts[2].weight(), 700);
  }
}

}  // namespace
