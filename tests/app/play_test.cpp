// End-to-end test plays of the engine: motion over the ticks, the loop's pacing, exit targets, globals, notices.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/app.h"
#include "core/core.h"
#include "model/model.h"
#include "support/run_program.h"
#include "support/work_folder.h"

namespace {

using testing_support::DumpWord;
using testing_support::ReadText;
using testing_support::RunMain;
using testing_support::SetCameraBrain;
using testing_support::WorkFolder;
using testing_support::WriteText;

// The word of a brain's k-th declared variable (k from 1).
constexpr int VariableWord(int k) { return model::kRecordWords - k; }

// Brain source from its lines.
std::string Brain(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\r\n";
  return text;
}

// The skeleton project rewritten with the given elements.
void WriteProject(const WorkFolder& folder, const std::vector<testing_support::TestElement>& elements) {
  testing_support::WriteTestProject(folder, elements);
}

// One line of --timing-log.
struct LoopPass {
  int32_t step = 0;
  uint64_t pass = 0;
  uint32_t now = 0;
  uint32_t deadline = 0;
  bool late = false;
};

std::vector<LoopPass> ReadTimingLog(const std::string& path) {
  std::vector<LoopPass> passes;
  std::istringstream lines(ReadText(path));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    LoopPass pass;
    std::string kind;
    fields >> pass.step >> pass.pass >> pass.now >> pass.deadline >> kind;
    EXPECT_TRUE(kind == "late" || kind == "frame") << line;
    pass.late = kind == "late";
    passes.push_back(pass);
  }
  return passes;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

TEST(PlayMotion, RecordVelocityMovesOnlyTheElementThatAppliesIt) {
  for (const char* backend : {"--brains=interp", "--brains=native"}) {
    WorkFolder folder(1);
    // Metres and metres per second as the record stores them; whole metres per second convert
    // exactly (3 m/s = 3000 thousandths x 17067 / 1000 = 51201 units a tick).
    const std::vector<std::pair<int, std::string>> motion = {{5, "1.5"}, {6, "0"},      {7, "-0.25"},
                                                             {17, "3"},  {18, "-2.000"}, {19, "1"}};
    WriteProject(folder, {{"Still", motion, ""}, {"Mover", motion, Brain({"velocity_update(element)"})}});
    const auto run = RunMain({"--ticks", "30", backend, "--dump", "d.json"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string dump = ReadText(folder / "d.json");
    ASSERT_TRUE(StartsWith(dump, "{\"tick\": 34, ")) << dump.substr(0, 60);

    const int32_t start[3] = {768000, 0, -128000};  // 1500, 0 and -250 thousandths x 512
    const int32_t velocity[3] = {51201, -34134, 17067};
    for (int axis = 0; axis < 3; ++axis) {
      SCOPED_TRACE(std::string(backend) + " axis " + std::to_string(axis));
      EXPECT_EQ(DumpWord(dump, model::kWordVelocityX + axis, 0), velocity[axis]);
      EXPECT_EQ(DumpWord(dump, model::kWordVelocityX + axis, 1), velocity[axis]);
      // Nothing moves an element by itself: the element whose brain never applies its velocity stays.
      EXPECT_EQ(DumpWord(dump, model::kWordPositionX + axis, 0), start[axis]);
      // The four settling steps run the brain too: 34 applications after 30 ticks.
      EXPECT_EQ(DumpWord(dump, model::kWordPositionX + axis, 1), start[axis] + 34 * velocity[axis]);
    }
  }
}

TEST(PlayTiming, AStallSkipsTheFramesOfThePeriodsItOverran) {
  // The pass after a frame starts one unit past the last deadline and is due 150 later. A stall of
  // 450 leaves it one unit past the deadline two steps on, so three steps run late; a stall of 449
  // reaches that deadline exactly, which is not late, so only two do.
  const std::pair<uint32_t, size_t> cases[] = {{450, 3}, {449, 2}};
  for (const auto& [stall, lateSteps] : cases) {
    SCOPED_TRACE("stall " + std::to_string(stall));
    WorkFolder folder(1);
    const uint64_t stalledPass = 30;
    ASSERT_TRUE(
        WriteText(folder / "input.txt", "@" + std::to_string(stalledPass) + " stall " + std::to_string(stall) + "\n"));
    const auto run = RunMain({"--ticks", "40", "--input", "input.txt", "--timing-log", "t.log"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<LoopPass> log = ReadTimingLog(folder / "t.log");
    ASSERT_EQ(log.size(), 40u);

    size_t stalled = log.size();
    for (size_t i = 0; i < log.size(); ++i) {
      if (log[i].pass == stalledPass) stalled = i;
    }
    ASSERT_GE(stalled, 1u) << "the stalled pass must fall inside the loop, after a frame";
    ASSERT_LE(stalled + lateSteps + 2, log.size());
    EXPECT_EQ(log[stalled].now, log[stalled - 1].deadline + 1 + stall);
    for (size_t i = 0; i < log.size(); ++i) {
      SCOPED_TRACE("line " + std::to_string(i));
      EXPECT_EQ(log[i].step, static_cast<int32_t>(i + 1));
      EXPECT_EQ(log[i].pass, log[0].pass + i);  // one input pump per pass
      EXPECT_EQ(log[i].late, i >= stalled && i < stalled + lateSteps);
      // The deadline never jumps: it moves one period per pass, late or not.
      if (i > 0) {
        EXPECT_EQ(log[i].deadline - log[i - 1].deadline, 150u);
      }
    }
  }
}

// A pause renders, waits 500 ms, then for all input to be released and a key to be pressed; the
// next tick is due a period after it, so the loop runs on without a burst of late steps.
TEST(PlayTiming, PauseWaitsForAPressAndIsNotCaughtUp) {
  WorkFolder folder(1);
  SetCameraBrain(folder, "var n\r\nn = n + 1\r\nif n = 8\r\npause()\r\nendif\r\n");
  // The loop starts at pump pass 20 (the test play's input flush takes the first 20); its 4th step,
  // pumped at pass 23, pauses: B, held since that pass, must be released (pass 30) before the press
  // of A (pass 35) ends the pause.
  ASSERT_TRUE(WriteText(folder / "input.txt", "@23 keydown B\n@30 keyup B\n@35 keydown A\n@36 keyup A\n"));
  auto run = RunMain({"--ticks", "20", "--input", "input.txt", "--timing-log", "t.log"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::vector<LoopPass> log = ReadTimingLog(folder / "t.log");
  ASSERT_EQ(log.size(), 20u);
  // The timing line of a step is written after its brain ran, with the last pass pumped: the pause
  // pumped until the press of A, at pass 35 (without the release wait it would have ended at once).
  ASSERT_EQ(log[2].pass, 22u);
  EXPECT_EQ(log[3].pass, 35u);
  EXPECT_EQ(log[4].pass, 36u);
  EXPECT_GE(log[3].now - log[2].now, 2250u);  // the 500 ms, on the virtual clock
  for (const LoopPass& pass : log) EXPECT_FALSE(pass.late) << "step " << pass.step;

  // Headless with nothing left to come, the pause ends at once and says so.
  run = RunMain({"--ticks", "10"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("pause: no input can arrive any more; the play goes on"), std::string::npos) << run.err;
}

TEST(PlayTiming, MaxFramerateSetChangesThePeriodOnlyWithinItsRange) {
  // The period is 4500 / rate in whole units; rates outside 15..250 leave the default 150.
  const std::pair<int, uint32_t> cases[] = {{15, 300}, {250, 18}, {40, 112}, {14, 150}, {251, 150}};
  for (const auto& [rate, period] : cases) {
    SCOPED_TRACE("rate " + std::to_string(rate));
    WorkFolder folder(1);
    SetCameraBrain(folder, "max_framerate_set(" + std::to_string(rate) + ")\r\n");
    const auto run = RunMain({"--ticks", "6", "--timing-log", "t.log"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<LoopPass> log = ReadTimingLog(folder / "t.log");
    ASSERT_EQ(log.size(), 6u);
    // The settling steps already set the rate, so even the first deadline is one new period away.
    EXPECT_EQ(log[0].deadline - log[0].now, period);
    for (size_t i = 0; i < log.size(); ++i) {
      EXPECT_FALSE(log[i].late) << "line " << i;
      if (i > 0) {
        EXPECT_EQ(log[i].deadline - log[i - 1].deadline, period) << "line " << i;
      }
    }
  }
}

TEST(PlayExit, AnExitTargetEndsThePlayAfterTheLogicOfTheStepThatSeesIt) {
  // The first element sets the target in its n-th run; the second counts its own runs, which shows
  // that the step that set the target still ran every element.
  auto project = [](const WorkFolder& folder, int exitRun) {
    const std::string exitIf = "if n = " + std::to_string(exitRun);
    WriteProject(folder, {{"Exiter", {}, Brain({"var n", "n = n + 1", exitIf.c_str(), "exit(2)", "endif"})},
                          {"Counter", {}, Brain({"var m", "m = m + 1"})}});
  };
  {
    // Set in the second settling step: the remaining settling steps and the first pass of the loop
    // still run; that pass leaves before its time check, so it logs no line and renders nothing.
    WorkFolder folder(1);
    project(folder, 2);
    const auto run = RunMain({"--ticks", "50", "--dump", "d.json", "--timing-log", "t.log"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string dump = ReadText(folder / "d.json");
    EXPECT_TRUE(StartsWith(dump, "{\"tick\": 5, \"exit_target\": 2,")) << dump.substr(0, 60);
    EXPECT_EQ(DumpWord(dump, VariableWord(1), 1), 5);
    EXPECT_EQ(ReadText(folder / "t.log"), "");
    EXPECT_NE(run.err.find("[message box] Zu-Teal: When compiled, exit to sub-project 2 ->  OK \n"), std::string::npos)
        << run.err;
    EXPECT_EQ(ReadText(folder / "temp/wasok.dat"), "wasok\r\n");
  }
  {
    // Set in the third step of the loop: steps 1 and 2 waited and rendered, step 3 ends unrendered.
    // Presented frames: six of the loading notices, the play's first frame, one per rendered step,
    // then the two of the closing box (drawn, then cleared): frame 12 never comes.
    WorkFolder folder(1);
    project(folder, 7);
    const auto run = RunMain({"--ticks", "50", "--dump", "d.json", "--timing-log", "t.log", "--screenshot", "s.png",
                              "--screenshot-at", "12"},
                             folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string dump = ReadText(folder / "d.json");
    EXPECT_TRUE(StartsWith(dump, "{\"tick\": 7, \"exit_target\": 2,")) << dump.substr(0, 60);
    EXPECT_EQ(DumpWord(dump, VariableWord(1), 1), 7);
    const std::vector<LoopPass> log = ReadTimingLog(folder / "t.log");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].step, 2);
    EXPECT_NE(run.err.find("frame 12 was never presented"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("[message box] Zu-Teal: When compiled, exit to sub-project 2 ->  OK \n"), std::string::npos)
        << run.err;
  }
}

// Globals in their text form where a test play looks for them; the skeleton has no temp folder.
bool WriteTestPlayGlobals(const WorkFolder& folder, const std::string& text) {
  std::error_code error;
  std::filesystem::create_directories(folder / "temp", error);
  return !error && WriteText(folder / "temp/globvars.dat", text);
}

// A brain that reads the first two globals into its first two variables.
const std::string kReadGlobals = Brain({"var a", "var b", "a = global(0)", "b = global(1)"});

TEST(PlayGlobals, TheTestPlayReadsTempGlobvarsOverGlobalZeroAlone) {
  {
    // Until a brain saves or loads a range, the range is global 0 alone: the second line is not read.
    WorkFolder folder(1);
    ASSERT_TRUE(WriteTestPlayGlobals(folder, "123\r\n456\r\n"));
    SetCameraBrain(folder, kReadGlobals);
    const auto run = RunMain({"--ticks", "1", "--dump", "d.json"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string dump = ReadText(folder / "d.json");
    EXPECT_EQ(DumpWord(dump, VariableWord(1)), 123);
    EXPECT_EQ(DumpWord(dump, VariableWord(2)), 0);
  }
  {
    WorkFolder folder(1);
    ASSERT_FALSE(testing_support::FileExistsAt(folder / "temp/globvars.dat"));
    SetCameraBrain(folder, kReadGlobals);
    const auto run = RunMain({"--ticks", "1", "--dump", "d.json"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string dump = ReadText(folder / "d.json");
    EXPECT_EQ(DumpWord(dump, VariableWord(1)), 0);
    EXPECT_EQ(DumpWord(dump, VariableWord(2)), 0);
  }
}

TEST(PlayGlobals, BrainsReachGlobalsByNumberModulo2048) {
  WorkFolder folder(1);
  ASSERT_TRUE(WriteTestPlayGlobals(folder, "100\r\n"));
  SetCameraBrain(folder, Brain({"var a", "var b", "var c", "var d",
                                "global_set(2053, 40)",  // global 5
                                "global_add(5, 2)",
                                "a = global(5)",
                                "global_set(-1, 77)",  // global 2047
                                "b = global(2047)",
                                "global_add(4096, 3)",  // global 0, kept from step to step
                                "c = global(0)",
                                "d = global(6149)"}));  // global 5 again
  const auto run = RunMain({"--ticks", "1", "--dump", "d.json"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string dump = ReadText(folder / "d.json");
  EXPECT_EQ(DumpWord(dump, VariableWord(1)), 42);
  EXPECT_EQ(DumpWord(dump, VariableWord(2)), 77);
  EXPECT_EQ(DumpWord(dump, VariableWord(3)), 100 + 5 * 3);  // four settling steps and one tick
  EXPECT_EQ(DumpWord(dump, VariableWord(4)), 42);
}

TEST(PlayGlobals, TheTestPlayWritesNoGlobvars) {
  for (const bool withFile : {true, false}) {
    SCOPED_TRACE(withFile ? "with temp/globvars.dat" : "without it");
    WorkFolder folder(1);
    if (withFile) {
      ASSERT_TRUE(WriteTestPlayGlobals(folder, "5\r\n"));
    }
    SetCameraBrain(folder, Brain({"global_add(0, 1)", "global_set(1, 9)", "global_set(2047, -3)"}));
    const auto run = RunMain({"--ticks", "3"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(ReadText(folder / "temp/wasok.dat"), "wasok\r\n");  // the play did end normally
    std::vector<std::string> globals;
    for (const std::string& file : folder.Files()) {
      if (file.size() >= 12 && file.compare(file.size() - 12, 12, "globvars.dat") == 0) globals.push_back(file);
    }
    if (withFile) {
      EXPECT_EQ(globals, std::vector<std::string>{"temp/globvars.dat"});
      EXPECT_EQ(ReadText(folder / "temp/globvars.dat"), "5\r\n");
    } else {
      EXPECT_EQ(globals, std::vector<std::string>{});
    }
  }
}

TEST(PlayNotices, LoadingInitialisingAndCompilingAreAnnouncedInOrder) {
  // A brain that does not compile: its error box must come after the compiling notice.
  WorkFolder folder(1);
  SetCameraBrain(folder, Brain({"no_such_instruction(1)"}));
  const auto run = RunMain({"--ticks", "1"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string loading = "[notice] Loading data, please wait...\n";
  const std::string expected = loading + loading +  // the project load, then the play
                               "[notice] Initializing objects, please wait...\n"
                               "[notice] Compiling brains, please wait...\n"
                               "[message box] Zu-Teal: 'Camera' brain ERROR!\n";
  EXPECT_TRUE(StartsWith(run.err, expected)) << run.err;
}

TEST(PlayOscillate, FollowsTheTickCounterFromTheFirstSettlingStep) {
  // Each step shifts the earlier results down the variables and puts this step's value in v0, so
  // after eight steps (four settling, four ticks) v0..v7 hold the values of steps 8..1.
  // The compiler sets the tick counter to 0 and the runner adds 1 after every step, so the first
  // call, in the first settling step, sees tick 0 and step s sees tick s - 1.
  // Angle = 20480 x tick + 5120 (10 degrees, then 40 more a tick, all below a full turn);
  // value = 1000 x round(cos(angle / 29335) x 512) >> 9, the shift rounding negative values down:
  //   tick 0: cos(0.17454) x 512 = 504.22 -> 504, 504000 >> 9 = 984
  //   tick 1: 329.10 -> 329 -> 642          tick 2: -0.012 -> 0 -> 0
  //   tick 3: -329.12 -> -329 -> -643       tick 4: -504.23 -> -504 -> -985
  //   tick 5: -443.39 -> -443 -> -866       tick 6: -175.08 -> -175 -> -342
  //   tick 7: 175.15 -> 175 -> 341
  const int32_t byTick[8] = {984, 642, 0, -643, -985, -866, -342, 341};
  const std::string brain = Brain({"var v0", "var v1", "var v2", "var v3", "var v4", "var v5", "var v6", "var v7",
                                   "v7 = v6", "v6 = v5", "v5 = v4", "v4 = v3", "v3 = v2", "v2 = v1", "v1 = v0",
                                   "v0 = oscillate(1000, 20480, 5120)"});
  for (const char* backend : {"--brains=interp", "--brains=native"}) {
    WorkFolder folder(1);
    SetCameraBrain(folder, brain);
    const auto run = RunMain({"--ticks", "4", backend, "--dump", "d.json"}, folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string dump = ReadText(folder / "d.json");
    for (int k = 0; k < 8; ++k) {
      EXPECT_EQ(DumpWord(dump, VariableWord(k + 1)), byTick[7 - k]) << backend << " v" << k;
    }
  }
}

// Elements that are on and show a flat frame get state word 15 = 2 at play start; others keep it.
TEST(PlayStart, FlatFramesAreMarkedForTheRenderer) {
  core::Arena arena;
  ASSERT_TRUE(arena.Create());
  auto* records = arena.As<int32_t>(core::Region::kElementRecords);
  uint8_t* slots = arena.Host(core::Region::kAspectSlots);
  const uint32_t slotBase = arena.Address(core::Region::kAspectSlots);
  std::memcpy(slots, "d3f.", 4);
  std::memcpy(slots + 64, "d3e.", 4);
  auto element = [&](int i, uint32_t slot, bool on) {
    int32_t* words = records + i * model::kRecordWords;
    words[model::kWordCurrentAspect] = static_cast<int32_t>(slot);
    words[model::kWordStatus] = on ? static_cast<int32_t>(model::kStatusOn) : 0;
    words[model::kWordExtent0] = 7;
  };
  element(0, slotBase, true);        // flat frame, on
  element(1, slotBase, false);       // flat frame, off
  element(2, slotBase + 64, true);   // a sprite
  element(3, 0, true);               // no aspect loaded
  element(4, 0xFFFFFFFCu, true);     // an address outside guest memory
  element(5, slotBase, true);        // past the last element
  app::MarkFlatFrames(arena, 4);
  const int32_t expected[] = {2, 7, 7, 7, 7, 7};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(records[i * model::kRecordWords + model::kWordExtent0], expected[i]) << i;
}


// vexel brain run binds every instruction family as a play does: a brain that moves its element,
// measures it and keeps a global gives the same values there as after a test play of as many
// brain steps (four settling steps and 30 ticks).
TEST(BrainRun, GivesTheValuesOfAPlay) {
  const std::string brain = Brain({"var n", "var x", "var s", "var g", "var a", "n = n + 1", "if n = 1",
                                   "position_set(element, 0, 0, 0)", "rotation_y_set(element, 0)", "endif",
                                   "velocity_set(element, 2560)", "speed_xz_set(element, 1536)",
                                   "velocity_update(element)", "x = position_z(element)", "s = speed_xz(element)",
                                   "global_add(7, n)", "g = global(7)", "a = max_framerate()",
                                   "rotation_axis_set(0, 512000, 0, 46080)"});
  WorkFolder folder(1);
  WriteProject(folder, {{"Mover", {}, brain}});
  ASSERT_TRUE(WriteText(folder / "mover.brn", brain));
  const auto play = RunMain({"--ticks", "30", "--dump", "d.json"}, folder.path());
  ASSERT_EQ(play.exitCode, 0) << play.err;
  const std::string dump = ReadText(folder / "d.json");
  const auto run = testing_support::RunProgram(VEXEL_VEXEL_BINARY, {"brain", "run", "mover.brn", "--ticks", "34"},
                                               folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(run.err.find("not available"), std::string::npos) << run.err;
  // 34 steps of about 1536 along z (speed_xz_set replaced the 2560 of velocity_set through the
  // coarse table), and 1 + 2 + ... + 34.
  ASSERT_GT(DumpWord(dump, VariableWord(2)), 34 * 1500);
  ASSERT_EQ(DumpWord(dump, VariableWord(4)), 34 * 35 / 2);
  // The orientation accumulator is play state: a quarter turn about y shows in the dump.
  EXPECT_NE(dump.find("\"orientation\": [0.707106781186547"), std::string::npos) << dump.substr(dump.size() - 120);
  EXPECT_NE(dump.find(", 0, 0.707106781186547"), std::string::npos) << dump.substr(dump.size() - 120);
  const char* names[] = {"n", "x", "s", "g", "a"};
  for (int k = 1; k <= 5; ++k) {
    const std::string line = std::string(names[k - 1]) + " = " + std::to_string(DumpWord(dump, VariableWord(k))) + "\n";
    EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;
  }
}

}  // namespace
