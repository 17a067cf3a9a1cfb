// End-to-end runs of the engine program, headless, in temporary working folders.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "app/app.h"
#include "core/core.h"
#include "support/run_program.h"
#include "support/work_folder.h"

namespace {

using testing_support::DumpWord;
using testing_support::ReadText;
using testing_support::RunMain;
using testing_support::SetCameraBrain;
using testing_support::TempFolder;
using testing_support::WorkFolder;
using testing_support::WriteText;

// Width and height from a PNG's header chunk.
bool PngSize(const std::string& png, int* width, int* height) {
  if (png.size() < 24 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || png.compare(12, 4, "IHDR") != 0) return false;
  auto be = [&](size_t at) {
    return static_cast<int>(static_cast<uint8_t>(png[at]) << 24 | static_cast<uint8_t>(png[at + 1]) << 16 |
                            static_cast<uint8_t>(png[at + 2]) << 8 | static_cast<uint8_t>(png[at + 3]));
  };
  *width = be(16);
  *height = be(20);
  return true;
}

TEST(EngineRun, TestPlayWritesTheMarkerAndAScreenshotOfTheMode) {
  const std::pair<int32_t, std::pair<int, int>> modes[] = {{1, {640, 480}}, {8, {800, 600}}, {32, {1024, 768}}};
  for (const auto& [code, size] : modes) {
    WorkFolder folder(1, code);
    const auto run = RunMain({"--ticks", "2", "--screenshot", "shot.png"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // The project load and the play each say they are loading; nothing else is logged.
    EXPECT_EQ(run.err,
              "[notice] Loading data, please wait...\n"
              "[notice] Loading data, please wait...\n"
              "[notice] Initializing objects, please wait...\n"
              "[notice] Compiling brains, please wait...\n");
    EXPECT_EQ(ReadText(folder / "temp/wasok.dat"), "wasok\r\n");
    int width = 0, height = 0;
    ASSERT_TRUE(PngSize(ReadText(folder / "shot.png"), &width, &height)) << "mode " << code;
    EXPECT_EQ(width, size.first);
    EXPECT_EQ(height, size.second);
  }
}

TEST(EngineRun, TestPlayRunsBrainsAndARuntimeErrorEndsIt) {
  for (const char* backend : {"--brains=interp", "--brains=native"}) {
    WorkFolder folder(1);
    SetCameraBrain(folder, "var a\r\nvar b\r\na = a + 1\r\nb = 10 / [3 - a]\r\n");
    const auto run = RunMain({"--ticks", "100", backend, "--screenshot", "s.png", "--screenshot-at", "50"}, folder.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // The third tick divides by zero: the box names the fault, the element and the line, and the
    // play ends there (frame 50 is never presented). The engine did its work (exit 0), but the
    // play did not go well, so the front end finds no marker.
    EXPECT_NE(run.err.find("[message box] Runtime Error: Brain divided by zero (code 0x"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\nElement 'Camera', brain line 4 ->  OK "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("frame 50 was never presented"), std::string::npos) << run.err;
    EXPECT_FALSE(testing_support::FileExistsAt(folder / "temp/wasok.dat"));
  }
}

TEST(EngineRun, ProgramInstructionsAndExitTargets) {
  {
    WorkFolder folder(1);  // exit(-1) never ends a play; the command-line numbers reach brains
    SetCameraBrain(folder, "var a\r\nvar b\r\nvar r\r\na = par_count()\r\nb = par_get(1)\r\nexit(-1)\r\n"
                           "max_framerate_set(14)\r\nr = max_framerate()\r\n");
    const auto run = RunMain({"/3", "/17", "--ticks", "5", "--dump", "d.json"}, folder.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string dump = ReadText(folder / "d.json");
    EXPECT_EQ(dump.rfind("{\"tick\": 9, \"exit_target\": -1, \"elements\": [", 0), 0u) << dump.substr(0, 80);
    EXPECT_EQ(DumpWord(dump, 255), 2);
    EXPECT_EQ(DumpWord(dump, 254), 17);
    EXPECT_EQ(DumpWord(dump, 253), 30);  // 14 is out of range: the rate stays 30
    // The camera shows the first aspect slot.
    EXPECT_EQ(static_cast<uint32_t>(DumpWord(dump, model::kWordCurrentAspect)),
              core::Arena::kGuestBase + core::Describe(core::Region::kAspectSlots).offset);
  }
  {
    WorkFolder folder(1);  // a target set while settling ends the play after the first pass
    SetCameraBrain(folder, "max_framerate_set(40)\r\nexit(7)\r\n");
    const auto run = RunMain({"--ticks", "50", "--dump", "d.json"}, folder.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadText(folder / "d.json").rfind("{\"tick\": 5, \"exit_target\": 7,", 0), 0u);
    EXPECT_NE(run.err.find("When compiled, exit to sub-project 7 ->  OK "), std::string::npos) << run.err;
    EXPECT_EQ(ReadText(folder / "temp/wasok.dat"), "wasok\r\n");
  }
}

TEST(EngineRun, VexelPlayRunsATestPlayAndPutsRunmodeBack) {
  WorkFolder folder(13);
  const std::string before = ReadText(folder / "runmode.ini");
  SetCameraBrain(folder, "var n\r\nn = n + 1\r\n");
  auto run = testing_support::RunProgram(VEXEL_VEXEL_BINARY,
                                         {"play", "projects/myprj/default.prj", "--ticks", "6", "--dump", "d.json"},
                                         folder.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "play ended normally\n");
  EXPECT_EQ(DumpWord(ReadText(folder / "d.json"), 255), 10);  // 4 settling steps and 6 ticks
  EXPECT_EQ(ReadText(folder / "runmode.ini"), before);

  SetCameraBrain(folder, "var n\r\nn = 1 / n\r\n");
  run = testing_support::RunProgram(VEXEL_VEXEL_BINARY, {"play", "projects/myprj/default.prj"}, folder.path());
  EXPECT_EQ(run.exitCode, 1);  // a play a run-time error ended did not go well
  EXPECT_EQ(run.out, "play ended by a run-time error\n");
  EXPECT_FALSE(testing_support::FileExistsAt(folder / "temp/wasok.dat"));
  EXPECT_EQ(ReadText(folder / "runmode.ini"), before);
  EXPECT_EQ(testing_support::RunProgram(VEXEL_VEXEL_BINARY, {"play"}, folder.path()).exitCode, 2);
}

TEST(EngineRun, VexelPlayRefusesWhatItCannotPlayAndWritesNothing) {
  WorkFolder folder(13);
  const std::string before = ReadText(folder / "runmode.ini");
  ASSERT_TRUE(core::MakeFolders(folder / "temp"));
  ASSERT_TRUE(WriteText(folder / "temp/wasok.dat", "left by an earlier play"));
  for (const char* project : {"projects/myprj/none.prj", "projects/myprj", ""}) {
    SCOPED_TRACE(project);
    const auto run = testing_support::RunProgram(VEXEL_VEXEL_BINARY, {"play", project}, folder.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(std::string("No such project: ") + project + "\n"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
  // A tick count the engine would refuse is a bad option of vexel play itself.
  for (const char* ticks : {"-1", "abc", "", "2147483648", "5x"}) {
    SCOPED_TRACE(ticks);
    const auto run =
        testing_support::RunProgram(VEXEL_VEXEL_BINARY, {"play", "projects/myprj/default.prj", "--ticks", ticks}, folder.path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("--ticks needs a whole number"), std::string::npos) << run.err;
  }
  // So is a bad choice of backend, refused before anything is written.
  const auto run =
      testing_support::RunProgram(VEXEL_VEXEL_BINARY, {"play", "projects/myprj/default.prj", "--brains=fast"}, folder.path());
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("--brains takes interp or native, not 'fast'"), std::string::npos) << run.err;
  EXPECT_EQ(ReadText(folder / "runmode.ini"), before);
  EXPECT_EQ(ReadText(folder / "temp/wasok.dat"), "left by an earlier play");
}

TEST(EngineRun, ScreenshotOfANumberedFrame) {
  WorkFolder folder(1);
  auto run = RunMain({"--ticks", "5", "--screenshot", "third.png", "--screenshot-at", "3"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  int width = 0, height = 0;
  EXPECT_TRUE(PngSize(ReadText(folder / "third.png"), &width, &height));

  // Nine frames in all: six of the loading notices (the project load's notice and its removal, the
  // play's three notices and their removal), the play's first frame and two ticks.
  run = RunMain({"--ticks", "2", "--screenshot", "never.png", "--screenshot-at", "10"}, folder.path());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.err.find("frame 10 was never presented"), std::string::npos) << run.err;
  EXPECT_EQ(ReadText(folder / "never.png"), "");
}

TEST(EngineRun, EscapeFromTheInputScriptEndsTheTestPlay) {
  WorkFolder folder(1);
  ASSERT_TRUE(WriteText(folder / "input.txt", "@30 key ESC\n"));
  const auto run =
      RunMain({"--ticks", "1000", "--input", "input.txt", "--screenshot", "late.png", "--screenshot-at", "200"},
              folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("frame 200 was never presented"), std::string::npos) << run.err;
  EXPECT_EQ(ReadText(folder / "temp/wasok.dat"), "wasok\r\n");
}

TEST(EngineRun, GameRunsFromTheWorkingFolder) {
  for (int runMode : {-1, 0}) {  // no runmode.ini, and runmode.ini with code 0
    WorkFolder folder(runMode);
    const auto run = RunMain({"--ticks", "1"}, folder.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("main: game runner, data folder " + folder.path() + "\n"), std::string::npos) << run.err;
    EXPECT_FALSE(testing_support::FileExistsAt(folder / "temp/wasok.dat"));
  }
}

TEST(EngineRun, ToolsNotInThisBuildSaySo) {
  WorkFolder folder(13);
  const auto run = RunMain({"--ticks", "1"}, folder.path());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.err.find("run mode 13 (brain text editor): This tool is not available in this build"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("[message box] Zu-Teal: This tool is not available in this build ->  OK "), std::string::npos)
      << run.err;
}

TEST(EngineRun, ARunModeWithoutAToolIsRefusedBeforeAnythingIsLoaded) {
  for (int runMode : {99, 4, 11}) {
    WorkFolder folder(runMode);
    const std::string project = ReadText(folder / "projects/myprj/default.prj");
    const auto run = RunMain({"--ticks", "1"}, folder.path());
    EXPECT_EQ(run.exitCode, app::kExitBadOptions) << run.err;
    const std::string text = "Unknown run mode " + std::to_string(runMode);
    EXPECT_EQ(run.err, "main: " + text + "\n[message box] Zu-Teal: " + text + " ->  OK \n");
    EXPECT_EQ(ReadText(folder / "projects/myprj/default.prj"), project);
  }
  WorkFolder folder(0);  // a negative code cannot come from WorkFolder, which then writes no file
  ASSERT_TRUE(WriteText(folder / "runmode.ini", "projects/myprj/default.prj\r\n-1\r\n0\r\n"));
  const auto run = RunMain({"--ticks", "1"}, folder.path());
  EXPECT_EQ(run.exitCode, app::kExitBadOptions);
  EXPECT_NE(run.err.find("[message box] Zu-Teal: Unknown run mode -1 ->  OK "), std::string::npos) << run.err;
}

TEST(EngineRun, ConfigIsWrittenBackAndReadAgain) {
  WorkFolder folder(1);
  app::EngineSettings settings;
  settings.renderingDevice = 0;
  settings.legalDisplayModes = 0x0C;  // only 800 x 600
  settings.displayMode = 16;          // not legal: becomes 1
  ASSERT_TRUE(app::WriteEngineSettings(folder / "config.ini", settings));
  auto run = RunMain({"--ticks", "1"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string first = ReadText(folder / "config.ini");
  for (const char* key : {"AvailableDisplayModes=", "DisplayMode=", "AvailableRenderingDevices=", "RenderingDevice=",
                          "Sound=", "SoundMixing=", "LegalDisplayModes="}) {
    EXPECT_NE(first.find(std::string("\r\n") + key), std::string::npos) << key;
  }
  app::EngineSettings read = app::ReadEngineSettings(folder / "config.ini");
  // 1 is not among the legal modes either, so the downward search ends at 1 and stores it.
  EXPECT_EQ(read.displayMode, 1);
  EXPECT_EQ(read.availableDisplayModes, 0x0C);  // headless: all six exist, AND the legal ones
  run = RunMain({"--ticks", "1"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadText(folder / "config.ini"), first);
}

TEST(EngineRun, GarbageConfigReadsAsDefaultsAndIsRewritten) {
  WorkFolder folder(1);
  ASSERT_TRUE(WriteText(folder / "config.ini",
                        "\x01garbage\n[User-Modifiable Engine Settings]\nDisplayMode=0400000005\nRenderingDevice=zz\n"));
  // A headless run has chosen software rendering: it plays at once, shows no box about a missing
  // hardware device, and leaves the device setting as it found it (the default 1).
  const auto run = RunMain({"--ticks", "1"}, folder.path());
  const app::EngineSettings read = app::ReadEngineSettings(folder / "config.ini");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err.find("Couldn't find a hardware rendering device"), std::string::npos) << run.err;
  EXPECT_EQ(read.renderingDevice, 1);
  EXPECT_EQ(read.displayMode, 1);  // the bad checksum kept the default
  EXPECT_EQ(ReadText(folder / "temp/wasok.dat"), "wasok\r\n");
}

TEST(EngineRun, MissingFilesAndBadScriptsGetMessages) {
  TempFolder folder;  // no tables, no runmode.ini
  app::EngineSettings settings;
  settings.renderingDevice = 0;
  ASSERT_TRUE(app::WriteEngineSettings(folder / "config.ini", settings));
  ASSERT_TRUE(WriteText(folder / "input.txt", "@0 key ESC\n@1 text \"unterminated"));
  auto run = RunMain({"--ticks", "2", "--input", "input.txt"}, folder.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("lookup tables missing or short"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("line 2: unterminated text"), std::string::npos) << run.err;
  // Nothing but config.ini was written into the folder.
  EXPECT_EQ(folder.Files(), (std::vector<std::string>{"config.ini", "input.txt"}));

  // A script that cannot be read is a bad option, said once, before anything starts.
  for (const char* script : {"missing.txt", "."}) {
    run = RunMain({"--ticks", "2", "--input", script}, folder.path());
    EXPECT_EQ(run.exitCode, app::kExitBadOptions);
    EXPECT_EQ(run.err, std::string("main: cannot read input script ") + script + "\n");
  }

  run = RunMain({"--bogus"}, folder.path());
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("unknown option --bogus"), std::string::npos);
}

TEST(EngineRun, BadScriptLinesAreReportedOnceAndTheRunGoesOn) {
  // A script of nothing but bad lines used to stop the start-up, its message printed twice.
  WorkFolder folder(1);
  ASSERT_TRUE(WriteText(folder / "input.txt", "@1 keydown FOO\n# fine\n@2 wiggle\nanswer 0\n"));
  const auto run = RunMain({"--ticks", "3", "--input", "input.txt"}, folder.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const std::string first = "input.txt: line 1: unknown key 'FOO'\n";
  const std::string third = "input.txt: line 3: unknown command or wrong arguments 'wiggle'\n";
  EXPECT_EQ(run.err.rfind(first + third, 0), 0u) << run.err;
  EXPECT_EQ(run.err.find("FOO", first.size()), std::string::npos) << run.err;
  EXPECT_EQ(ReadText(folder / "temp/wasok.dat"), "wasok\r\n");
}

TEST(EngineRun, OutputsThatCannotBeWrittenFailTheRunAtItsEnd) {
  WorkFolder folder(1);
  ASSERT_TRUE(core::MakeFolders(folder / "taken"));
  struct Case {
    std::vector<std::string> args;
    std::string path;
  };
  std::vector<Case> cases = {
      {{"--screenshot", "taken"}, "taken"},                        // a folder where the picture goes
      {{"--screenshot", "taken", "--screenshot-at", "2"}, "taken"},  // a numbered frame likewise
      {{"--dump", "missing/d.json"}, "missing/d.json"},
      {{"--timing-log", "taken"}, "taken"},
  };
  // A device that takes no bytes: opening works, only the writes fail.
  if (access("/dev/full", W_OK) == 0) {
    cases.push_back({{"--screenshot", "/dev/full"}, "/dev/full"});
    cases.push_back({{"--timing-log", "/dev/full"}, "/dev/full"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.path);
    std::remove((folder / "temp/wasok.dat").c_str());
    std::vector<std::string> args = {"--ticks", "3"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto run = RunMain(args, folder.path());
    EXPECT_EQ(run.exitCode, app::kExitOutputFailed) << run.err;
    const std::string message = "main: cannot write " + c.path + ": ";
    const size_t at = run.err.find(message);
    ASSERT_NE(at, std::string::npos) << run.err;
    EXPECT_GT(run.err.find('\n', at), at + message.size()) << "the reason is missing";
    EXPECT_EQ(run.err.find(message, at + 1), std::string::npos) << "reported twice";
    // The run itself went on to its end.
    EXPECT_EQ(ReadText(folder / "temp/wasok.dat"), "wasok\r\n");
  }
}

TEST(EngineRun, BoxesShowEveryByteOfABrainLineAndCutLongLines) {
  WorkFolder folder(1);
  // The compiler's box quotes the line: a NUL in it used to end the whole box there.
  SetCameraBrain(folder, std::string("var x\r\nx = 1\0 + zz\x01\r\n", 21));
  auto run = RunMain({"--ticks", "1"}, folder.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("[message box] Zu-Teal: 'Camera' brain ERROR!\nx = 1\\x00 + zz\\x01 (2)\nUnknown symbol "),
            std::string::npos)
      << run.err;

  // A line of a megabyte is cut in the box; the reason after it stays.
  SetCameraBrain(folder, "var x\r\nx = " + std::string(1 << 20, 'q') + "\r\n");
  run = RunMain({"--ticks", "1"}, folder.path());
  EXPECT_EQ(run.exitCode, 0);
  const size_t at = run.err.find("brain ERROR!\nx = q");
  ASSERT_NE(at, std::string::npos) << run.err.substr(0, 400);
  const size_t line = at + 13;
  const size_t end = run.err.find('\n', line);
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(run.err.substr(line, end - line), "x = " + std::string(251, 'q') + "...");
  EXPECT_LT(run.err.size(), 4096u);
  EXPECT_NE(run.err.find("\n", end + 1), std::string::npos);
  EXPECT_GT(run.err.find(" ->  OK ", end), end + 1) << "the reason line is missing";
}

TEST(EngineRun, NoDisplayGivesTheMessageAndFails) {
  WorkFolder folder(1);
  const auto run = testing_support::RunProgram(VEXEL_MAIN_BINARY, {"--ticks", "1"}, folder.path(), 60,
                                               {"SDL_VIDEODRIVER=x11", "DISPLAY=:4711", "WAYLAND_DISPLAY="});
  EXPECT_EQ(run.exitCode, app::kExitStartFailed);
  EXPECT_NE(run.err.find("No display is available"), std::string::npos) << run.err;
  EXPECT_FALSE(testing_support::FileExistsAt(folder / "temp/wasok.dat"));
}

TEST(EngineRun, ASecondEngineWaitsAndGivesUp) {
  WorkFolder folder(1);
  // The first engine runs about 8.5 s of real ticks in the same working folder.
  std::thread first([&] { RunMain({"--ticks", "255", "--real-clock"}, folder.path()); });
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  const auto start = std::chrono::steady_clock::now();
  const auto second = RunMain({"--ticks", "1"}, folder.path());
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  first.join();
  EXPECT_EQ(second.exitCode, app::kExitOtherInstance) << second.err;
  EXPECT_EQ(second.err, "");  // it gives up silently
  EXPECT_GE(seconds, 5.4);
  EXPECT_LT(seconds, 7.0);
}

}  // namespace
