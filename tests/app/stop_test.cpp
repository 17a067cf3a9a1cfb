// Stopping the real programs with signals: a stopped play ends the normal way and saves what a play
// end saves, the exit code names the signal, and a second signal ends the program at once.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "app/app.h"
#include "support/run_program.h"
#include "support/work_folder.h"

namespace {

using testing_support::DumpWord;
using testing_support::FileExistsAt;
using testing_support::GameFolder;
using testing_support::Program;
using testing_support::ReadText;
using testing_support::WorkFolder;
using testing_support::WriteText;
using Clock = std::chrono::steady_clock;

// Generous for a loaded machine running sanitizers; the waits return as soon as they can.
constexpr double kStartSeconds = 60;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Polls `ready` every 10 ms for at most `seconds`; false when it never came true.
template <typename Ready>
bool WaitFor(Ready ready, double seconds) {
  const Clock::time_point start = Clock::now();
  while (!ready()) {
    if (SecondsSince(start) > seconds) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Waits until the engine says it is compiling the test play's brains, then a little longer, so a
// signal sent next lands in the play loop (or, on a slow machine, just before it).
bool WaitForTestPlay(const Program& program) {
  if (!WaitFor([&] { return program.ErrSoFar().find("[notice] Compiling brains") != std::string::npos; },
               kStartSeconds)) {
    return false;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  return true;
}

// The state of a process from /proc: 'T' while it is stopped.
char ProcessState(pid_t pid) {
  const std::string stat = ReadText("/proc/" + std::to_string(pid) + "/stat");
  const size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() ? stat[close + 2] : '?';
}

TEST(StopSignals, ALongTestPlayEndsTheNormalWayWithTheSignalsCode) {
  const std::pair<int, int> cases[] = {{SIGTERM, app::kExitTerminated}, {SIGINT, app::kExitInterrupted}};
  for (const auto& [signal, code] : cases) {
    SCOPED_TRACE("signal " + std::to_string(signal));
    WorkFolder folder(1);
    SetCameraBrain(folder, "var n\r\nn = n + 1\r\n");
    Program engine(VEXEL_MAIN_BINARY, {"--headless", "--ticks", "100000", "--real-clock", "--dump", "d.json"},
                   folder.path());
    ASSERT_TRUE(engine.Started());
    ASSERT_TRUE(WaitForTestPlay(engine)) << engine.ErrSoFar();
    const Clock::time_point sent = Clock::now();
    ASSERT_TRUE(engine.Signal(signal));
    const auto run = engine.Wait(10);
    const double seconds = SecondsSince(sent);
    EXPECT_EQ(run.exitCode, code) << run.err;
    EXPECT_LT(seconds, 2.0);
    // The play end ran: the dump holds the steps the play took, far fewer than --ticks.
    const std::string dump = ReadText(folder / "d.json");
    ASSERT_EQ(dump.rfind("{\"tick\": ", 0), 0u) << dump.substr(0, 40);
    EXPECT_GE(DumpWord(dump, 255), 4);
    EXPECT_LT(DumpWord(dump, 255), 1000);
    // A stopped test play did not go well: no marker, and no box waited for an answer.
    EXPECT_FALSE(FileExistsAt(folder / "temp/wasok.dat"));
    EXPECT_EQ(run.err.find("[message box]"), std::string::npos) << run.err;
  }
}

TEST(StopSignals, VexelPlayPassesTheCodeOnAndPutsRunmodeBack) {
  WorkFolder folder(13);
  const std::string before = ReadText(folder / "runmode.ini");
  Program vexel(VEXEL_VEXEL_BINARY, {"play", "projects/myprj/default.prj", "--ticks", "100000000"}, folder.path());
  ASSERT_TRUE(vexel.Started());
  ASSERT_TRUE(WaitForTestPlay(vexel)) << vexel.ErrSoFar();
  ASSERT_TRUE(vexel.Signal(SIGINT));
  const auto run = vexel.Wait(10);
  EXPECT_EQ(run.exitCode, app::kExitInterrupted) << run.err;
  EXPECT_EQ(run.out, "play stopped by a signal\n");
  EXPECT_EQ(ReadText(folder / "runmode.ini"), before);
}

// A game whose level sends it back to itself, on the virtual clock with no step limit to speak of:
// it plays and saves globvars.dat for ever, as fast as the machine goes. Global 5 is set to a known
// value; global 0 counts the brain runs, five in every play; global 7 is only carried over.
class EndlessGame : public GameFolder {
 public:
  EndlessGame() {
    AddLevel(1, "global_add(0, 1)\r\nglobal_set(5, 12345)\r\nexit(1)\r\n");
    std::vector<int32_t> globals(2048, 0);
    globals[7] = 777;
    EXPECT_TRUE(WriteText(*this / "globvars.dat",
                          std::string(reinterpret_cast<const char*>(globals.data()), globals.size() * 4)));
  }
  std::unique_ptr<Program> Start() const {
    return std::make_unique<Program>(VEXEL_MAIN_BINARY, std::vector<std::string>{"--headless", "--ticks", "2000000000"},
                                     path());
  }
  // Global 0 as saved now; 0 without a whole file.
  int32_t Count() const {
    const std::vector<int32_t> globals = Globals();
    return globals.size() == 2048 ? globals[0] : 0;
  }
  // Waits until the running chain has saved over a count of `before`.
  bool WaitForASaveAfter(int32_t before) const {
    return WaitFor([this, before] { return Count() > before; }, kStartSeconds);
  }
};

TEST(StopSignals, AStoppedGameAlwaysLeavesWholeGlobals) {
  EndlessGame game;
  std::mt19937 random(std::random_device{}());
  for (int run = 0; run < 4; ++run) {
    const int delay = std::uniform_int_distribution<int>(0, 250)(random);
    SCOPED_TRACE("run " + std::to_string(run) + ", SIGTERM " + std::to_string(delay) + " ms after a save");
    const int32_t before = game.Count();
    auto engine = game.Start();
    ASSERT_TRUE(engine->Started());
    ASSERT_TRUE(game.WaitForASaveAfter(before)) << engine->ErrSoFar();
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    const Clock::time_point sent = Clock::now();
    ASSERT_TRUE(engine->Signal(SIGTERM));
    const auto result = engine->Wait(10);
    EXPECT_EQ(result.exitCode, app::kExitTerminated) << result.err;
    EXPECT_LT(SecondsSince(sent), 2.0);
    // The play that was stopped saved too, whole, and nothing was left half-written.
    EXPECT_EQ(ReadText(game / "globvars.dat").size(), 8192u);
    const std::vector<int32_t> globals = game.Globals();
    ASSERT_EQ(globals.size(), 2048u);
    EXPECT_GT(globals[0], before);  // each run went on from what the one before saved
    EXPECT_EQ(globals[5], 12345);
    EXPECT_EQ(globals[7], 777);
    EXPECT_FALSE(FileExistsAt(game / "globvars.dat.tmp-write"));
    // The game stopped where it was: no box about a missing sub-project or anything else.
    EXPECT_EQ(result.err.find("[message box]"), std::string::npos) << result.err;
  }
}

TEST(StopSignals, AKilledGameLeavesTheOldGlobalsOrTheNewNeverPartOfThem) {
  EndlessGame game;
  std::mt19937 random(std::random_device{}());
  int32_t last = 0;
  for (int run = 0; run < 4; ++run) {
    const int delay = std::uniform_int_distribution<int>(0, 250)(random);
    SCOPED_TRACE("run " + std::to_string(run) + ", SIGKILL " + std::to_string(delay) + " ms after a save");
    auto engine = game.Start();
    ASSERT_TRUE(engine->Started());
    ASSERT_TRUE(game.WaitForASaveAfter(last)) << engine->ErrSoFar();
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    ASSERT_TRUE(engine->Signal(SIGKILL));
    EXPECT_EQ(engine->Wait(10).killedBy, SIGKILL);
    const std::vector<int32_t> globals = game.Globals();
    ASSERT_EQ(ReadText(game / "globvars.dat").size(), 8192u);
    // Only whole plays are saved, each one five brain runs after the one before.
    EXPECT_EQ(globals[0] % 5, 0) << globals[0];
    EXPECT_GT(globals[0], last);
    EXPECT_EQ(globals[5], 12345);
    EXPECT_EQ(globals[7], 777);
    last = globals[0];
  }
}

TEST(StopSignals, ASecondSignalEndsTheProgramAtOnce) {
  WorkFolder folder(1);
  Program engine(VEXEL_MAIN_BINARY, {"--headless", "--ticks", "100000", "--real-clock", "--dump", "d.json"},
                 folder.path());
  ASSERT_TRUE(engine.Started());
  ASSERT_TRUE(WaitForTestPlay(engine)) << engine.ErrSoFar();
  // Held stopped, the engine gets both signals at once when it goes on: the first asks for a stop,
  // the second (whichever of the two it is) ends the process before the play end can write the dump.
  ASSERT_TRUE(engine.Signal(SIGSTOP));
  ASSERT_TRUE(WaitFor([&] { return ProcessState(engine.pid()) == 'T'; }, 10));
  ASSERT_TRUE(engine.Signal(SIGINT));
  ASSERT_TRUE(engine.Signal(SIGTERM));
  const Clock::time_point sent = Clock::now();
  ASSERT_TRUE(engine.Signal(SIGCONT));
  const auto run = engine.Wait(10);
  EXPECT_LT(SecondsSince(sent), 1.0);
  EXPECT_TRUE(run.exitCode == app::kExitInterrupted || run.exitCode == app::kExitTerminated) << run.exitCode;
  EXPECT_FALSE(FileExistsAt(folder / "d.json"));
  EXPECT_FALSE(FileExistsAt(folder / "temp/wasok.dat"));
}

}  // namespace
