// Engine settings, launch options and command-line numbers.
#include <gtest/gtest.h>

#include "app/app.h"
#include "support/run_program.h"

namespace {

TEST(EngineSettings, DefaultsWithoutAFile) {
  testing_support::TempFolder folder;
  const app::EngineSettings s = app::ReadEngineSettings(folder / "config.ini");
  EXPECT_EQ(s.availableDisplayModes, 63);
  EXPECT_EQ(s.displayMode, 1);
  EXPECT_EQ(s.availableRenderingDevices, 3);
  EXPECT_EQ(s.renderingDevice, 1);
  EXPECT_EQ(s.sound, 1);
  EXPECT_EQ(s.soundMixing, 0);
  EXPECT_EQ(s.legalDisplayModes, 63);
}

TEST(EngineSettings, LegalModesLimitTheOthers) {
  testing_support::TempFolder folder;
  app::EngineSettings written;
  written.legalDisplayModes = 64;  // no legal bit left: becomes 1
  written.displayMode = 8;
  written.availableDisplayModes = 63;
  ASSERT_TRUE(app::WriteEngineSettings(folder / "config.ini", written));
  app::EngineSettings s = app::ReadEngineSettings(folder / "config.ini");
  EXPECT_EQ(s.legalDisplayModes, 1);
  EXPECT_EQ(s.availableDisplayModes, 1);
  EXPECT_EQ(s.displayMode, 1);

  written.legalDisplayModes = 0x4C;  // 4 and 8 legal, bit 6 dropped
  written.displayMode = 16;          // not legal: back to 1
  ASSERT_TRUE(app::WriteEngineSettings(folder / "config.ini", written));
  s = app::ReadEngineSettings(folder / "config.ini");
  EXPECT_EQ(s.legalDisplayModes, 12);
  EXPECT_EQ(s.availableDisplayModes, 12);
  EXPECT_EQ(s.displayMode, 1);
}

TEST(EngineSettings, WrittenInStructFormKeepingOtherLines) {
  testing_support::TempFolder folder;
  ASSERT_TRUE(testing_support::WriteText(folder / "config.ini", "[Mine]\r\nKeep=1\r\n"));
  app::EngineSettings s;
  s.displayMode = 4;
  ASSERT_TRUE(app::WriteEngineSettings(folder / "config.ini", s));
  const std::string text = testing_support::ReadText(folder / "config.ini");
  EXPECT_NE(text.find("[Mine]\r\nKeep=1\r\n"), std::string::npos);
  EXPECT_NE(text.find("[User-Modifiable Engine Settings]\r\nAvailableDisplayModes=3F0000003F\r\n"
                      "DisplayMode=0400000004\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("[Engine Settings]\r\nLegalDisplayModes=3F0000003F\r\n"), std::string::npos);
}

TEST(EngineSettings, GarbageFileGivesDefaults) {
  testing_support::TempFolder folder;
  static const char kGarbage[] = "\0\0[User-Modifiable Engine Settings\nDisplayMode=zz\n";
  ASSERT_TRUE(testing_support::WriteText(folder / "config.ini", std::string(kGarbage, sizeof kGarbage - 1)));
  const app::EngineSettings s = app::ReadEngineSettings(folder / "config.ini");
  EXPECT_EQ(s.displayMode, 1);
  EXPECT_EQ(s.legalDisplayModes, 63);
}

TEST(CommandLine, NumbersAfterSlashes) {
  EXPECT_EQ(app::ParseCommandLineNumbers("/3 /17"), (std::vector<int32_t>{3, 17}));
  EXPECT_EQ(app::ParseCommandLineNumbers("/-5   /x /9"), (std::vector<int32_t>{-5, 0, 9}));
  EXPECT_EQ(app::ParseCommandLineNumbers("/1 2 /3"), (std::vector<int32_t>{1}));  // "2" ends the list
  EXPECT_TRUE(app::ParseCommandLineNumbers("3 /4").empty());
  EXPECT_TRUE(app::ParseCommandLineNumbers("").empty());
  EXPECT_EQ(app::ParseCommandLineNumbers("/"), std::vector<int32_t>{});
}

TEST(LaunchOptions, LongOptionsComeOutFirst) {
  const char* argv[] = {"main", "/3", "--headless", "--ticks", "12", "/17", "--screenshot=out.png", "--input", "in.txt"};
  app::LaunchOptions options;
  std::string error;
  ASSERT_TRUE(app::ParseLaunchOptions(9, argv, &options, &error)) << error;
  EXPECT_EQ(options.remainder, "/3 /17");
  EXPECT_TRUE(options.platform.headless);
  EXPECT_TRUE(options.platform.virtualClock);
  EXPECT_EQ(options.ticks, 12);
  EXPECT_EQ(options.platform.screenshotPath, "out.png");
  EXPECT_EQ(options.platform.inputScriptPath, "in.txt");
}

TEST(LaunchOptions, PortsStayOffUnlessAskedFor) {
  app::LaunchOptions options;
  std::string error;
  const char* plain[] = {"main", "--headless"};
  ASSERT_TRUE(app::ParseLaunchOptions(2, plain, &options, &error)) << error;
  EXPECT_FALSE(options.allowPorts);
  const char* asked[] = {"main", "--allow-ports", "/4"};
  ASSERT_TRUE(app::ParseLaunchOptions(3, asked, &options, &error)) << error;
  EXPECT_TRUE(options.allowPorts);
  EXPECT_EQ(options.remainder, "/4");
  EXPECT_NE(app::LaunchOptionsHelp().find("--allow-ports"), std::string::npos);
}

TEST(LaunchOptions, BadOptionsAreRefused) {
  app::LaunchOptions options;
  std::string error;
  const char* unknown[] = {"main", "--fly"};
  EXPECT_FALSE(app::ParseLaunchOptions(2, unknown, &options, &error));
  EXPECT_EQ(error, "unknown option --fly");
  const char* missing[] = {"main", "--ticks"};
  EXPECT_FALSE(app::ParseLaunchOptions(2, missing, &options, &error));
  const char* negative[] = {"main", "--ticks", "-1"};
  EXPECT_FALSE(app::ParseLaunchOptions(3, negative, &options, &error));
  const char* zero[] = {"main", "--screenshot-at", "0"};
  EXPECT_FALSE(app::ParseLaunchOptions(3, zero, &options, &error));
}

}  // namespace
