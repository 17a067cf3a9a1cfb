// Profile (INI) files: struct values, editing in place, bad input.
#include <gtest/gtest.h>

#include "core/profile.h"
#include "support/run_program.h"

namespace {

using core::ProfileFile;

TEST(ProfileStruct, WritesHexBytesAndChecksum) {
  ProfileFile file;
  file.SetStructInt("User-Modifiable Engine Settings", "DisplayMode", 63);
  EXPECT_EQ(file.GetString("User-Modifiable Engine Settings", "DisplayMode"), "3F0000003F");
  file.SetStructInt("S", "Negative", -2);
  EXPECT_EQ(file.GetString("S", "Negative"), "FEFFFFFFFB");  // 0xFE + 3 * 0xFF = 0x3FB
  int32_t value = 0;
  EXPECT_TRUE(file.GetStructInt("S", "negative", &value));
  EXPECT_EQ(value, -2);
}

TEST(ProfileStruct, BadValuesReadAsAbsent) {
  ProfileFile file;
  file.Parse("[S]\r\nWrongSum=3F0000003E\r\nShort=3F00003F\r\nLong=3F000000003F\r\nBadDigit=3G0000003F\r\n"
             "Lower=3f0000003f\r\n");
  for (const char* key : {"WrongSum", "Short", "Long", "BadDigit", "Missing"}) {
    int32_t value = 1234;
    EXPECT_FALSE(file.GetStructInt("S", key, &value)) << key;
    EXPECT_EQ(value, 1234) << key;
  }
  int32_t value = 0;
  EXPECT_TRUE(file.GetStructInt("S", "Lower", &value));
  EXPECT_EQ(value, 63);
}

TEST(ProfileFile, EditsKeepUnknownLinesAndOrder) {
  ProfileFile file;
  file.Parse("; made by hand\n[Other]\nKeep = yes\n\n[Engine Settings]\nLegalDisplayModes=3F0000003F\nExtra=1\n");
  file.SetStructInt("Engine Settings", "LegalDisplayModes", 1);
  file.SetString("Engine Settings", "Added", "2");
  file.SetString("New Section", "Key", "v");
  EXPECT_EQ(file.Text(),
            "; made by hand\r\n[Other]\r\nKeep = yes\r\n\r\n[Engine Settings]\r\nLegalDisplayModes=0100000001\r\n"
            "Extra=1\r\nAdded=2\r\n\r\n[New Section]\r\nKey=v\r\n");
}

TEST(ProfileFile, NewKeyGoesBeforeTheBlankLineOfItsSection) {
  ProfileFile file;
  file.Parse("[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
  file.SetString("a", "z", "3");
  EXPECT_EQ(file.Text(), "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n");
}

TEST(ProfileFile, NamesMatchWithoutCaseAndValuesAreTrimmed) {
  ProfileFile file;
  file.Parse("[Engine Settings]\r\n  Mode =  \"quoted value\"  \r\nNumber= 42abc\r\n");
  EXPECT_EQ(file.GetString("ENGINE SETTINGS", "mode"), "quoted value");
  EXPECT_EQ(file.GetInt("engine settings", "Number", -1), 42);
  EXPECT_EQ(file.GetInt("engine settings", "Mode", -1), -1);
  EXPECT_FALSE(file.GetString("Engine Settings", "Absent").has_value());
  EXPECT_FALSE(file.GetString("Absent", "Mode").has_value());
}

TEST(ProfileFile, GarbageNeverMatchesAndSurvivesARewrite) {
  static const char kBytes[] = "\x00\xFF[[]]==\n=novalue\n[unterminated\nkey-without-equals\n\x01\x02=\x03";
  const std::string garbage(kBytes, sizeof kBytes - 1);
  ProfileFile file;
  file.Parse(garbage);
  EXPECT_FALSE(file.GetString("", "").has_value());
  file.SetStructInt("Engine Settings", "LegalDisplayModes", 63);
  int32_t value = 0;
  ProfileFile reread;
  reread.Parse(file.Text());
  EXPECT_TRUE(reread.GetStructInt("Engine Settings", "LegalDisplayModes", &value));
  EXPECT_EQ(value, 63);
}

TEST(ProfileFile, SavesAndLoadsThroughTheDisk) {
  testing_support::TempFolder folder;
  ProfileFile file;
  EXPECT_FALSE(file.Load(folder / "missing.ini"));
  file.SetStructInt("S", "K", 7);
  ASSERT_TRUE(file.Save(folder / "config.ini"));
  ProfileFile loaded;
  ASSERT_TRUE(loaded.Load(folder / "config.ini"));
  int32_t value = 0;
  EXPECT_TRUE(loaded.GetStructInt("S", "K", &value));
  EXPECT_EQ(value, 7);
  EXPECT_EQ(folder.Files(), std::vector<std::string>{"config.ini"});  // no temporary file left
}

}  // namespace
