// Tests of the modal boxes driven through the scripted host: word wrap, the question layout, the
// message, input and menu boxes, the colour picker, scripted answers and hostile texts. Calls the
// widgets and the test host.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine/widgets/widgets.h"
#include "support/widget_host.h"

namespace engine::widgets {
namespace {

using test_support::SetUpScreen;
using test_support::WidgetHost;

const EditorFont& Font8() {
  static const EditorFont font = BuiltinEditorFont();
  return font;
}

bool AllBlack(const Canvas& canvas) {
  for (uint8_t p : canvas.pixels) {
    if (p != 0) return false;
  }
  return true;
}

// [SECTION] Word wrap

TEST(WidgetWrap, BreaksPastFiveHundredSixtyPixels) {
  // 34 + 1 + 35 characters of 8 pixels: exactly 560, one line.
  const std::string a(34, 'a'), b(35, 'b');
  EXPECT_EQ(WrapText(Font8(), a + " " + b), a + " " + b);
  EXPECT_EQ(WrapText(Font8(), a + " " + b + "b"), a + "|" + b + "b");
  EXPECT_EQ(WrapText(Font8(), a + " " + b + " c"), a + " " + b + "|c");
  // Runs of spaces collapse; a word wider than the line stands alone.
  const std::string wide(100, 'w');
  EXPECT_EQ(WrapText(Font8(), "x   y " + wide + " z"), "x y|" + wide + "|z");
}

TEST(WidgetWrap, BreaksAtEveryBar) {
  EXPECT_EQ(WrapText(Font8(), "Are you sure you want to reset the|current element's parameters?"),
            "Are you sure you want to reset the|current element's parameters?");
  EXPECT_EQ(WrapText(Font8(), "a|b c||d"), "a|b c||d");
  EXPECT_EQ(WrapText(Font8(), "a | b"), "a|b");
  EXPECT_EQ(WrapText(Font8(), "|||"), "|||");
  EXPECT_EQ(WrapText(Font8(), ""), "");
  EXPECT_EQ(WrapText(Font8(), "   "), "");
}

// [SECTION] Question box

TEST(WidgetQuestion, LayoutWorkedByHand) {
  // "Hello world" is 88 pixels; the inner width 92 grows past 32 + 4 + 32 + 68 = 136 to 140.
  const QuestionLayout layout = LayoutQuestion(Font8(), 640, 480, "Hello world", " OK ", " NO ");
  ASSERT_EQ(layout.lines.size(), 1u);
  EXPECT_EQ(layout.fontHeight, 8);
  EXPECT_EQ(layout.lineWidth, 88);
  EXPECT_EQ(layout.labelWidths, (std::array<int, 2>{32, 32}));
  EXPECT_EQ(layout.width, 172);
  EXPECT_EQ(layout.height, 14 * 5);   // pitch 14, one line + 4
  EXPECT_EQ(layout.left, 234);        // (640 - 172) / 4 * 2
  EXPECT_EQ(layout.top, 204);         // (480 - 70) / 4 * 2
  ASSERT_EQ(layout.buttons.size(), 2u);
  EXPECT_EQ(layout.buttons[0], (std::array<int, 4>{246, 246, 310, 260}));
  EXPECT_EQ(layout.buttons[1], (std::array<int, 4>{326, 246, 390, 260}));

  // Three lines of a long text at 1024 x 768 and one button.
  const std::string text = std::string(60, 'x') + "|ab|" + std::string(10, 'y');
  const QuestionLayout tall = LayoutQuestion(Font8(), 1024, 768, text, " CONTINUE ", "");
  ASSERT_EQ(tall.lines.size(), 3u);
  EXPECT_EQ(tall.lineWidth, 480);
  EXPECT_EQ(tall.width, 484 + 32);  // 480 + 4 already exceeds 80 + 4 + 0 + 68
  EXPECT_EQ(tall.height, 14 * 7);
  EXPECT_EQ(tall.left, (1024 - 516) / 4 * 2);
  EXPECT_EQ(tall.top, (768 - 98) / 4 * 2);
  ASSERT_EQ(tall.buttons.size(), 1u);
  EXPECT_EQ(tall.buttons[0], (std::array<int, 4>{tall.left + 12, tall.top + 70, tall.left + 12 + 80 + 32, tall.top + 84}));
}

TEST(WidgetQuestion, DrawsTheLayout) {
  WidgetHost host;
  WidgetScreen screen;
  SetUpScreen(screen, host);
  host.Key(kScanEnter);
  EXPECT_EQ(MessageBox(screen, "Hello world", " OK ", " NO "), 1);
  ASSERT_FALSE(host.frames.empty());
  const Canvas& frame = host.frames.front();
  // Both buttons lit on their top-left edge, the face in the middle shade, the text in white.
  EXPECT_EQ(frame.PixelAt(246, 246), screen.shades.light);
  EXPECT_EQ(frame.PixelAt(326, 246), screen.shades.light);
  EXPECT_EQ(frame.PixelAt(390, 260), screen.shades.dark);
  EXPECT_EQ(frame.PixelAt(315, 253), screen.skin.interior);  // between the buttons
  int white = 0;
  for (int y = 220; y < 236; ++y) {
    for (int x = 276; x < 364; ++x) white += frame.PixelAt(x, y) == 255;
  }
  EXPECT_GT(white, 40);
  EXPECT_EQ(frame.PixelAt(231, 250), 0);  // left of the box
  EXPECT_TRUE(AllBlack(screen.canvas));
  EXPECT_TRUE(host.displayBlack);
}

TEST(WidgetQuestion, EnterDeleteEscAndClicks) {
  struct Case {
    const char* name;
    void (*script)(WidgetHost&);
    int result;
  };
  const Case cases[] = {
      {"enter", [](WidgetHost& h) { h.Key(kScanEnter); }, 1},
      {"delete", [](WidgetHost& h) { h.Key(kScanDelete); }, 2},
      {"esc does nothing", [](WidgetHost& h) { h.Key(kScanEsc).Key(kScanDelete); }, 2},
      {"click second", [](WidgetHost& h) { h.Click(350, 250); }, 2},
      {"click first", [](WidgetHost& h) { h.Click(250, 259); }, 1},
      {"click beside", [](WidgetHost& h) { h.Click(318, 250).Key(kScanEnter); }, 1},
      {"right click counts", [](WidgetHost& h) { h.Click(350, 250, 2); }, 2},
  };
  for (const Case& c : cases) {
    WidgetHost host;
    WidgetScreen screen;
    SetUpScreen(screen, host);
    c.script(host);
    EXPECT_EQ(MessageBox(screen, "Hello world", " OK ", " NO "), c.result) << c.name;
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].kind, "box");
    EXPECT_EQ(host.boxes[0].result, std::to_string(c.result));
    EXPECT_FALSE(host.boxes[0].defaulted) << c.name;
  }
}

TEST(WidgetQuestion, HeldButtonWaitIsBounded) {
  WidgetHost host;
  WidgetScreen screen;
  SetUpScreen(screen, host);
  // The button goes down before the box and never comes up: the box stops waiting after 600
  // passes and still answers the key that follows.
  host.Press(350, 250).Idle(700).Key(kScanDelete);
  host.Pump();
  EXPECT_EQ(MessageBox(screen, "Held", " OK ", " NO "), 2);
  EXPECT_EQ(host.passes, 702);
}

TEST(WidgetQuestion, ScriptedAnswersAndDefault) {
  struct Case {
    void (*answer)(WidgetHost&);
    int result;
    bool defaulted;
  };
  const Case cases[] = {
      {[](WidgetHost& h) { h.Answer(1); }, 2, false},
      {[](WidgetHost& h) { h.Answer(0); }, 1, false},
      {[](WidgetHost& h) { h.Answer(" NO "); }, 2, false},
      {[](WidgetHost& h) { h.Answer("no"); }, 2, false},
      {[](WidgetHost& h) { h.Answer(7); }, 1, false},    // fits no button: the first
      {[](WidgetHost& h) { h.Answer(-1); }, 1, false},   // Esc: a question ignores it
      {[](WidgetHost&) {}, 1, true},                      // no input can come
  };
  for (const Case& c : cases) {
    WidgetHost host;
    WidgetScreen screen;
    SetUpScreen(screen, host);
    c.answer(host);
    EXPECT_EQ(MessageBox(screen, "Sure?", " YES ", " NO "), c.result);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(host.boxes[0].closed);
    EXPECT_EQ(host.boxes[0].defaulted, c.defaulted);
    EXPECT_EQ(host.boxes[0].text, "Sure?");
    EXPECT_EQ(host.presents, 1);  // the first frame is shown even when answered at once
    EXPECT_TRUE(AllBlack(screen.canvas));
  }
}

TEST(WidgetQuestion, HostileTextsStillAnswer) {
  const std::string texts[] = {"", std::string(50, '|'), std::string(10000, 'x'),
                               std::string(300, 'w') + " " + std::string(5000, '|') + " " + std::string(900, 'M'),
                               std::string(10000, ' ')};
  for (const std::string& text : texts) {
    for (auto [w, h] : {std::pair{640, 480}, {1024, 768}}) {
      WidgetHost host;
      WidgetScreen screen;
      SetUpScreen(screen, host, w, h);
      host.Key(kScanEnter);
      EXPECT_EQ(MessageBox(screen, text, " OK ", std::string(2000, 'N')), 1);
      host.Key(kScanDelete);
      EXPECT_EQ(MessageBox(screen, text, std::string(3000, 'Y'), " NO "), 2);
      // Notices of the same texts draw clipped and return at once.
      EXPECT_EQ(MessageBox(screen, text, "", ""), 0);
    }
  }
}

// [SECTION] Notices

TEST(WidgetNotice, ShownThenRemovedLeavesBlack) {
  WidgetHost host;
  WidgetScreen screen;
  SetUpScreen(screen, host);
  EXPECT_EQ(MessageBox(screen, "Loading data, please wait...", "", ""), 0);
  EXPECT_TRUE(screen.noticeShown);
  EXPECT_EQ(host.presents, 1);
  EXPECT_FALSE(host.displayBlack);
  EXPECT_FALSE(AllBlack(screen.canvas));
  EXPECT_TRUE(host.boxes.empty());  // notices are not modal boxes
  EXPECT_EQ(host.passes, 0);        // and do not wait
  // A single line: a box 1.5 times the line's 224 pixels (336) and 150 high, centred.
  EXPECT_NE(screen.canvas.PixelAt(152, 165), 0);
  EXPECT_EQ(screen.canvas.PixelAt(147, 240), 0);
  EXPECT_EQ(screen.canvas.PixelAt(320, 160), 0);

  // Lines given with '|': as wide as the widest line + 32 (48) and (8 + 2) x (2 + 3) = 50 high,
  // centred at (296, 214); the panel's corners round down to (296, 212) and (340, 260).
  EXPECT_EQ(MessageBox(screen, "a|bb", "", ""), 0);
  EXPECT_EQ(screen.canvas.PixelAt(296, 230), screen.shades.light);
  EXPECT_EQ(screen.canvas.PixelAt(340, 230), screen.shades.dark);
  EXPECT_EQ(screen.canvas.PixelAt(295, 230), 0);
  EXPECT_EQ(screen.canvas.PixelAt(341, 230), 0);
  EXPECT_EQ(screen.canvas.PixelAt(320, 260), screen.shades.dark);
  EXPECT_EQ(screen.canvas.PixelAt(320, 261), 0);

  EXPECT_EQ(MessageBox(screen, "", "", ""), 0);
  EXPECT_FALSE(screen.noticeShown);
  EXPECT_TRUE(AllBlack(screen.canvas));
  EXPECT_TRUE(host.displayBlack);
  EXPECT_EQ(host.displayClears, 1);
}

// [SECTION] Input box

TEST(WidgetInput, RefusesAtTheWidthLimitButStillEdits) {
  WidgetHost host;
  WidgetScreen screen;
  SetUpScreen(screen, host);
  // Width 200: the field is 168 wide, the limit 168 - 40 / 5 - 32 = 128 pixels, 15 characters.
  host.Text(std::string(20, 'a'))
      .Key(kScanBackspace)
      .Key(kScanHome)
      .Key(kScanDelete)
      .Key(0, 'b')
      .Key(kScanEnd)
      .Key(kScanLeft)
      .Key(0, 'c')
      .Key(0, 'd')
      .Key(kScanRight)
      .Key(kScanRight)
      .Key(kScanEnter);
  EXPECT_EQ(InputBox(screen, 200, "", "Name?"), "b" + std::string(12, 'a') + "ca");
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].kind, "input");
  EXPECT_EQ(host.boxes[0].result, "b" + std::string(12, 'a') + "ca");
  EXPECT_TRUE(AllBlack(screen.canvas));
}

TEST(WidgetInput, EveryEndingReturnsTheText) {
  struct Case {
    void (*script)(WidgetHost&);
    std::string result;
    bool defaulted;
  };
  const Case cases[] = {
      {[](WidgetHost& h) { h.Text("xy").Key(kScanEsc); }, "oldxy", false},
      {[](WidgetHost& h) { h.Text("xy").Click(10, 10, 2); }, "oldxy", false},
      {[](WidgetHost& h) { h.Text("z"); }, "old", true},  // typed, never confirmed: the text as it came
      {[](WidgetHost& h) { h.Answer("typed"); }, "typed", false},
      {[](WidgetHost& h) { h.Answer(-1); }, "old", false},
      {[](WidgetHost& h) { h.Answer(42); }, "42", false},
      {[](WidgetHost&) {}, "old", true},
  };
  for (const Case& c : cases) {
    WidgetHost host;
    WidgetScreen screen;
    SetUpScreen(screen, host);
    c.script(host);
    EXPECT_EQ(InputBox(screen, 200, "old", "Prompt"), c.result);
    EXPECT_EQ(host.boxes.at(0).defaulted, c.defaulted);
  }
}

TEST(WidgetInput, CloseBoxAndClickInField) {
  WidgetHost host;
  WidgetScreen screen;
  SetUpScreen(screen, host);
  // Prompt of one line at 640 x 480, width 300: box left 170, top (480 - 80) / 4 * 2 = 200, the
  // field from 244.
  const int left = 170, top = 200;
  // The field's text starts at left + 24; a click 1 pixel right of the third character's left
  // edge puts the cursor before it.
  host.Click(left + 24 + 16 + 1, top + 14 * 2 + 16 + 5).Key(0, 'Q');
  // The close box of a panel from (168, 184) to (468, 276): 446..461 x 190..205.
  host.Click(450, 195);
  EXPECT_EQ(InputBox(screen, 300, "abcd", "Prompt"), "abQcd");
}

// [SECTION] Menu box

TEST(WidgetMenu, FKeysAndClicks) {
  const std::string entries = "One|Two|Three";
  const MenuLayout layout = LayoutMenu(Font8(), 640, 480, entries);
  ASSERT_EQ(layout.buttons.size(), 3u);
  EXPECT_EQ(layout.buttons[1][3] - layout.buttons[1][1], 8 + 8 - 1);     // font height + 8 high
  EXPECT_EQ(layout.buttons[1][1] - layout.buttons[0][1], 8 + 9);         // one pitch apart
  EXPECT_EQ(layout.buttons[0][2] - layout.buttons[0][0] + 1, 500);
  const auto centre = [&](int i, int k) { return (layout.buttons[i][k] + layout.buttons[i][k + 2]) / 2; };
  struct Case {
    std::function<void(WidgetHost&)> script;
    int result;
  };
  const Case cases[] = {
      {[](WidgetHost& h) { h.Key(59); }, 1},
      {[](WidgetHost& h) { h.Key(61); }, 3},
      {[](WidgetHost& h) { h.Key(62).Key(kScanEsc); }, 0},  // F4: no fourth entry
      {[&](WidgetHost& h) { h.Click(centre(1, 0), centre(1, 1)); }, 2},
      {[&](WidgetHost& h) { h.Click(centre(2, 0), centre(2, 1), 2).Key(60); }, 2},  // right click ignored
      {[&](WidgetHost& h) { h.Click(layout.left + layout.width - 20, layout.top + 10); }, 0},  // close box
      {[](WidgetHost& h) { h.Answer(2); }, 3},
      {[](WidgetHost& h) { h.Answer("two"); }, 2},
      {[](WidgetHost& h) { h.Answer(-1); }, 0},
      {[](WidgetHost& h) { h.Answer("Four"); }, 0},
  };
  for (const Case& c : cases) {
    WidgetHost host;
    WidgetScreen screen;
    SetUpScreen(screen, host);
    c.script(host);
    EXPECT_EQ(MenuBox(screen, entries), c.result);
    EXPECT_TRUE(AllBlack(screen.canvas));
    EXPECT_TRUE(host.displayBlack);
  }
}

TEST(WidgetMenu, ShowsTheFirstFifteen) {
  std::string entries;
  for (int i = 1; i <= 20; ++i) entries += (i > 1 ? "|E" : "E") + std::to_string(i);
  WidgetHost host;
  WidgetScreen screen;
  SetUpScreen(screen, host);
  host.Key(88);
  EXPECT_EQ(MenuBox(screen, entries), 15);
  int used = 0;
  for (const ButtonSlot& slot : screen.buttons) used += slot.left != -1;
  EXPECT_EQ(used, 15);
  host.Answer("E16");
  EXPECT_EQ(MenuBox(screen, entries), 0);
  EXPECT_TRUE(host.boxes.back().closed);
  // No input: nothing chosen.
  EXPECT_EQ(MenuBox(screen, entries), 0);
  EXPECT_TRUE(host.boxes.back().defaulted);
}

// [SECTION] Colour picker

TEST(WidgetColourPicker, GridCorners) {
  struct Case {
    int x, y, buttons, result;
  };
  const Case cases[] = {
      {192, 112, 1, 0},      {207, 127, 1, 0},  {447, 112, 1, 240}, {192, 367, 1, 15},
      {447, 367, 1, 255},    {208, 112, 1, 16}, {192, 128, 1, 1},
      {300, 300, 2, 77},     // right click: the old index
  };
  for (const Case& c : cases) {
    WidgetHost host;
    WidgetScreen screen;
    SetUpScreen(screen, host);
    // Outside the grid first: nothing happens.
    host.Click(191, 112).Click(192, 368).Click(c.x, c.y, c.buttons);
    EXPECT_EQ(ColourPicker(screen, 77), c.result) << c.x << "," << c.y;
    EXPECT_EQ(screen.shades.middle, InterfaceShades().middle);
  }
}

TEST(WidgetColourPicker, DrawsCellsAndCodeLine) {
  WidgetHost host;
  WidgetScreen screen;
  SetUpScreen(screen, host);
  host.Move(200, 120).Key(kScanEsc);
  EXPECT_EQ(ColourPicker(screen, 33), 33);
  ASSERT_GE(host.frames.size(), 2u);
  const Canvas& first = host.frames[0];
  // Cell 18 (column 1, row 2) is faced in its own colour; the current one is sunken.
  EXPECT_EQ(first.PixelAt(208 + 8, 112 + 32 + 8), 18);
  EXPECT_EQ(first.PixelAt(224, 128), screen.shades.dark);  // cell 33's top-left edge
  // The hover line appears in a later frame.
  int white = 0;
  for (int x = 270; x < 400; ++x) white += host.frames[1].PixelAt(x, 393) == 255;
  EXPECT_GT(white, 5);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].kind, "colour");
}

TEST(WidgetColourPicker, ScriptedAndDefault) {
  WidgetHost host;
  WidgetScreen screen;
  SetUpScreen(screen, host);
  host.Answer(200).Answer(-1).Answer("254").Answer(256);
  EXPECT_EQ(ColourPicker(screen, 5), 200);
  EXPECT_EQ(ColourPicker(screen, 5), 5);
  EXPECT_EQ(ColourPicker(screen, 5), 254);
  EXPECT_EQ(ColourPicker(screen, 5), 5);
  EXPECT_EQ(ColourPicker(screen, 9), 9);
  EXPECT_TRUE(host.boxes.back().defaulted);
}

}  // namespace
}  // namespace engine::widgets
