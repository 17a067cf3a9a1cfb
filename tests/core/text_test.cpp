// Text for boxes and terminals, and JSON strings: every byte of a message survives in a form
// that shows, and overlong lines are cut where a reader can see it.
#include <gtest/gtest.h>

#include <string>

#include "core/json.h"
#include "core/text.h"

namespace {

using namespace std::string_literals;

TEST(PrintableText, NonPrintingBytesAreShownAndTheRestOfTheTextKept) {
  // A NUL in the middle of a line used to end the text there.
  EXPECT_EQ(core::PrintableText("x = 1\0 y (3)|Unknown symbol"s), "x = 1\\x00 y (3)|Unknown symbol");
  EXPECT_EQ(core::PrintableText("\x01\x1B[2J\x1F\x7F\t"), "\\x01\\x1B[2J\\x1F\\x7F\\x09");
  // The line breaks of a box stay; a backslash or a bar is ordinary text.
  EXPECT_EQ(core::PrintableText("one\r\ntwo\nthree|\\x41"), "one\r\ntwo\nthree|\\x41");
  // UTF-8 and the 8-bit bytes of older texts are kept as they are.
  EXPECT_EQ(core::PrintableText("B\xC3\xA4r \xE2\x82\xAC \xF0\x9F\x99\x82 caf\xE9 \x80\xFF"),
            "B\xC3\xA4r \xE2\x82\xAC \xF0\x9F\x99\x82 caf\xE9 \x80\xFF");
  EXPECT_EQ(core::PrintableText(""), "");
  // A report on one terminal line separates the lines of a box by '|': line breaks inside a line
  // are then escapes, and each line is cut on its own.
  EXPECT_EQ(core::PrintableText("a\r\nb|" + std::string(300, 'c') + "|d", "|"),
            "a\\x0D\\x0Ab|" + std::string(255, 'c') + "...|d");
}

TEST(PrintableText, EachLineIsCutAt255CharactersWithAnEllipsis) {
  const std::string full(255, 'a');
  EXPECT_EQ(core::PrintableText(full), full);  // exactly the limit: kept whole
  EXPECT_EQ(core::PrintableText(full + "b"), full + "...");
  // Each line is measured on its own, and what follows a cut line is kept.
  const std::string big(1 << 20, 'z');
  EXPECT_EQ(core::PrintableText("head\n" + big + "\r\n" + full + "c\ntail"),
            "head\n" + std::string(255, 'z') + "...\r\n" + full + "...\ntail");
  // An escape counts as the four characters it shows and is never split.
  EXPECT_EQ(core::PrintableText(std::string(253, 'a') + '\0'), std::string(253, 'a') + "...");
  EXPECT_EQ(core::PrintableText(std::string(251, 'a') + '\0'), std::string(251, 'a') + "\\x00");
  // A UTF-8 character counts once and is never split; stray continuation bytes count one each,
  // so a line of them is cut too.
  std::string euros;
  for (int i = 0; i < 300; ++i) euros += "\xE2\x82\xAC";
  std::string kept;
  for (int i = 0; i < 255; ++i) kept += "\xE2\x82\xAC";
  EXPECT_EQ(core::PrintableText(euros), kept + "...");
  EXPECT_EQ(core::PrintableText(std::string(1000, '\x80')), std::string(255, '\x80') + "...");
  EXPECT_EQ(core::PrintableText(std::string(254, 'a') + "\xE2\x82\xAC" + "b"), std::string(254, 'a') + "\xE2\x82\xAC...");
}

TEST(JsonString, EveryByteSurvivesAndControlBytesAreEscaped) {
  EXPECT_EQ(core::JsonString("a\0b\x1F\x7F\"\\\n\xC3\xA4\xE9"s), "\"a\\u0000b\\u001f\\u007f\\\"\\\\\\u000a\xC3\xA4\xE9\"");
  // No cut: a long text is kept whole.
  EXPECT_EQ(core::JsonString(std::string(100000, 'q')).size(), 100002u);
}

}  // namespace
