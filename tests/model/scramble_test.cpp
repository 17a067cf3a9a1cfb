// Scrambled files: the word transformation, its byte layout and the file operations, directly and
// through the vexel command.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/model.h"
#include "support/run_program.h"

namespace {

using testing_support::FileExistsAt;
using testing_support::ReadText;
using testing_support::TempFolder;
using testing_support::WriteText;

TEST(Scramble, WordLayoutIsLittleEndianXorThenRotate) {
  std::string bytes("\x01\x02\x03\x04\0\0\0\0", 8);
  model::ScrambleBytes(&bytes);
  EXPECT_EQ(bytes, std::string("\xC2\x0B\x3D\x98\x42\x2B\x7D\xF8", 8));
  model::UnscrambleBytes(&bytes);
  EXPECT_EQ(bytes, std::string("\x01\x02\x03\x04\0\0\0\0", 8));
}

TEST(Scramble, EveryLengthRoundTripsAndKeepsItsTail) {
  const std::string source = "\x10\x32\x54\x76\x98\xBA\xDC\xFE\x01";
  for (size_t length = 0; length <= source.size(); ++length) {
    const std::string original = source.substr(0, length);
    std::string bytes = original;
    model::ScrambleBytes(&bytes);
    ASSERT_EQ(bytes.size(), length);
    const size_t whole = length / 4 * 4;
    EXPECT_EQ(bytes.substr(whole), original.substr(whole)) << "length " << length;
    if (whole > 0) {
      EXPECT_NE(bytes.substr(0, whole), original.substr(0, whole)) << "length " << length;
    }
    model::UnscrambleBytes(&bytes);
    EXPECT_EQ(bytes, original) << "length " << length;
  }
}

TEST(Scramble, FilesRoundTripInPlaceAndMissingSourcesWriteNothing) {
  TempFolder folder;
  const std::string plain = folder / "plain.bin";
  const std::string scrambled = folder / "scrambled.bin";
  ASSERT_TRUE(WriteText(plain, "abcdef"));
  ASSERT_TRUE(model::ScrambleFile(plain, scrambled));
  const std::string stored = ReadText(scrambled);
  EXPECT_EQ(stored.substr(4), "ef");
  EXPECT_NE(stored.substr(0, 4), "abcd");
  ASSERT_TRUE(model::UnscrambleFile(scrambled, scrambled));  // source and target the same file
  EXPECT_EQ(ReadText(scrambled), "abcdef");
  ASSERT_TRUE(model::CopyFile(plain, folder / "copy.bin"));
  EXPECT_EQ(ReadText(folder / "copy.bin"), "abcdef");

  EXPECT_FALSE(model::ScrambleFile(folder / "missing", folder / "a"));
  EXPECT_FALSE(model::UnscrambleFile(folder / "missing", folder / "b"));
  EXPECT_FALSE(model::CopyFile(folder / "missing", folder / "c"));
  EXPECT_EQ(folder.Files().size(), 3u);
}

TEST(Scramble, VexelCommandsRoundTripAndReportErrors) {
  TempFolder folder;
  ASSERT_TRUE(WriteText(folder / "in.bin", "0123456789"));
  auto run = [&](std::vector<std::string> args) {
    return testing_support::RunProgram(VEXEL_VEXEL_BINARY, args, folder.path());
  };
  EXPECT_EQ(run({"scramble", "in.bin", "s.bin"}).exitCode, 0);
  EXPECT_EQ(run({"unscramble", "s.bin", "u.bin"}).exitCode, 0);
  EXPECT_NE(ReadText(folder / "s.bin"), "0123456789");
  EXPECT_EQ(ReadText(folder / "u.bin"), "0123456789");

  const auto missing = run({"scramble", "nothing.bin", "out.bin"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("nothing.bin"), std::string::npos);
  EXPECT_FALSE(FileExistsAt(folder / "out.bin"));
  EXPECT_EQ(run({"unscramble", "in.bin"}).exitCode, 2);
  const auto unwritable = run({"scramble", "in.bin", "no/such/folder/out.bin"});
  EXPECT_EQ(unwritable.exitCode, 1);
  EXPECT_FALSE(unwritable.err.empty());
}

}  // namespace
