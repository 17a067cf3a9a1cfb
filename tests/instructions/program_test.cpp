// Program control routines: the position stack, exemode, the debug text, flash, the date, and
// saved games written, refused and restored.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <string>

#include "instructions/routine_fixture.h"
#include "support/temp_folder.h"

namespace {

using testing_support::TempFolder;

class Program : public testing_support::RoutineTest {
 protected:
  // A finished game in `folder`: saves and resumes are allowed and land there.
  void PlayerRunIn(const TempFolder& folder) {
    engine.playerRun = true;
    engine.paths.working = folder.path();
  }
  std::string ReadFile(const std::string& path) {
    std::string bytes;
    core::ReadFile(path, &bytes);
    return bytes;
  }
};

TEST_F(Program, PositionStackHoldsWords3To14Of128Entries) {
  for (int w = 0; w < 16; ++w) Record(1)[w] = 100 + w;
  Call("push", Address(1));
  for (int w = 3; w <= 14; ++w) Record(1)[w] = 0;
  Call("pop", Address(2));
  EXPECT_EQ(Record(2)[2], 0);  // words 3..14 only
  EXPECT_EQ(Record(2)[3], 103);
  EXPECT_EQ(Record(2)[14], 114);
  EXPECT_EQ(Record(2)[15], 0);
  Call("pop", Address(3));  // empty: nothing
  EXPECT_EQ(Record(3)[3], 0);

  for (int i = 0; i < 128; ++i) {
    Record(1)[3] = i;
    Call("push", Address(1));
  }
  Record(1)[3] = 999;
  Call("push", Address(1));  // full: not taken
  EXPECT_EQ(engine.positions.depth, 128);
  Call("pop", Address(4));
  EXPECT_EQ(Record(4)[3], 127);
  Call("push", 0x80000005u);  // a frame handle pushes nothing
  EXPECT_EQ(engine.positions.depth, 127);
}

TEST_F(Program, ExemodeDebugFlashAndTheDate) {
  EXPECT_EQ(Call("exemode", 3), 0);  // a test play, vexel.ini line 14 is 0
  engine.playerRun = true;
  EXPECT_EQ(Call("exemode", 3), 1);
  engine.editorState.SetNumber(14, 1);
  EXPECT_EQ(Call("exemode", 3), 3);
  EXPECT_EQ(Call("exemode", 0xFFFFFFFEu), 2);

  EXPECT_EQ(instructions::DebugText(42), "Debug value: 42 (HEX: 0x2A)");
  EXPECT_EQ(instructions::DebugText(-1), "Debug value: -1 (HEX: 0xFFFFFFFF)");
  Call("debug", static_cast<uint32_t>(-300));
  EXPECT_TRUE(engine.debug.shown);
  EXPECT_EQ(engine.debug.value, -300);

  // Palette colour 7 is pure red in the 5-6-5 surface: the back surface and the frame take it.
  engine.display.conversion[7] = 0xF800;
  engine.display.backSurface.assign(8, 0);
  auto* gl = dynamic_cast<platform::NullGlContext*>(engine.platform.gl.get());
  ASSERT_NE(gl, nullptr);
  std::string error;
  ASSERT_TRUE(gl->OpenFrame(640, 480, &error)) << error;
  Call("flash", 256 + 7);
  EXPECT_EQ(engine.display.backSurface, (std::vector<uint8_t>{0x00, 0xF8, 0x00, 0xF8, 0x00, 0xF8, 0x00, 0xF8}));
  ASSERT_GE(gl->log.Calls().size(), 2u);
  EXPECT_EQ(gl->log.Calls()[gl->log.Calls().size() - 2], "BeginFrame 255 0 0");
  EXPECT_EQ(gl->log.Calls().back(), "Present");

  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_EQ(Call("year"), local.tm_year + 1900);  // in full, not from two digits
  EXPECT_EQ(Call("month"), local.tm_mon + 1);
  EXPECT_GE(Call("day"), 1);
  EXPECT_LE(Call("hour"), 23);
  EXPECT_LE(Call("second"), 60);
}

TEST_F(Program, SavesOnlyInAFinishedGameAndThroughATemporaryFile) {
  TempFolder folder;
  engine.paths.working = folder.path();
  Call("save");  // a test play: nothing is written, no resume is asked for
  Call("resume");
  EXPECT_TRUE(folder.Files().empty());
  EXPECT_EQ(engine.play->exitTarget, state::kExitNone);

  PlayerRunIn(folder);
  engine.subProject = 3;
  engine.listener = 2;
  Record(0)[model::kWordPositionX] = 777;
  Record(255)[255] = -5;
  engine.arena.As<int32_t>(core::Region::kGlobals)[2047] = 31;
  Call("save_x", 4);
  const std::string bytes = ReadFile(folder / "curr4.dat");
  ASSERT_EQ(bytes.size(), model::kSavedGameBytes);
  model::SavedGame game;
  ASSERT_TRUE(model::ParseSavedGame(bytes, &game));
  EXPECT_EQ(game.subProject, 3);
  EXPECT_EQ(game.listener, 2);
  int32_t word = 0;
  std::memcpy(&word, bytes.data() + 8 + 3 * 4, 4);
  EXPECT_EQ(word, 777);
  std::memcpy(&word, bytes.data() + model::kSavedGameGlobalsOffset - 4, 4);
  EXPECT_EQ(word, -5);
  std::memcpy(&word, bytes.data() + bytes.size() - 4, 4);
  EXPECT_EQ(word, 31);
  EXPECT_EQ(folder.Files(), (std::vector<std::string>{"curr4.dat"}));

  // A save that cannot be written (a folder has its name) says so, and the play goes on.
  ASSERT_TRUE(core::MakeFolders(folder / "curr5.dat"));
  engine.play->deadline = 0;
  EXPECT_FALSE(instructions::SaveGame(engine, 5));
  EXPECT_NE(engine.play->deadline, 0u);  // the next tick is due a period after the save
  EXPECT_EQ(ReadFile(folder / "curr4.dat"), bytes);
}

TEST_F(Program, ResumeAsksForAWholeSaveOnly) {
  TempFolder folder;
  PlayerRunIn(folder);
  Call("resume_x", 1);  // no file: nothing
  EXPECT_EQ(engine.play->exitTarget, state::kExitNone);
  std::string bytes(model::kSavedGameBytes, '\0');
  for (const size_t size : {model::kSavedGameBytes - 1, model::kSavedGameBytes + 1}) {
    ASSERT_TRUE(core::WriteFileAtomic(folder / "curr1.dat", bytes.substr(0, std::min(size, bytes.size())) +
                                                                      std::string(size > bytes.size() ? 1 : 0, 'x')));
    Call("resume_x", 1);
    EXPECT_EQ(engine.play->exitTarget, state::kExitNone) << size;
  }
  // A whole file must also name a sub-project the game has (level000.prj here) and a listener of
  // 0..255; a refusal is shown in a box naming the file, and nothing changes.
  std::vector<std::string> boxes;
  engine.hooks.showBox = [&boxes](const std::string& text) { boxes.push_back(text); };
  ASSERT_TRUE(core::WriteFileAtomic(folder / "curr1.dat", bytes));
  Call("resume_x", 1);
  EXPECT_EQ(engine.play->exitTarget, state::kExitNone);
  ASSERT_EQ(boxes, std::vector<std::string>{"Saved game 'curr1.dat' is damaged and cannot be resumed!"});
  ASSERT_TRUE(core::WriteFileAtomic(folder / "level000.prj", "x"));
  std::string badListener = bytes;
  badListener[5] = 1;  // listener 256
  ASSERT_TRUE(core::WriteFileAtomic(folder / "curr1.dat", badListener));
  Call("resume_x", 1);
  EXPECT_EQ(engine.play->exitTarget, state::kExitNone);
  EXPECT_EQ(boxes.size(), 2u);
  ASSERT_TRUE(core::WriteFileAtomic(folder / "curr1.dat", bytes));
  Call("resume_x", 1);
  EXPECT_EQ(engine.play->exitTarget, state::kExitResume);
  EXPECT_EQ(engine.saveSlot, 1);
  // The bytes the chain restores are the ones checked, whatever happens to the file afterwards.
  EXPECT_EQ(engine.resume.bytes, bytes);
  EXPECT_FALSE(engine.resume.pending);
}

// The restore keeps each record's brain entry, which belongs to the fresh compilation.
TEST(SavedGames, RestoreKeepsTheBrainEntriesAndRefusesOddSizes) {
  std::vector<int32_t> records(256 * 256, 0);
  std::vector<int32_t> globals(2048, 0);
  for (size_t i = 0; i < records.size(); ++i) records[i] = static_cast<int32_t>(i);
  for (size_t i = 0; i < globals.size(); ++i) globals[i] = -static_cast<int32_t>(i);
  const std::string bytes = model::SavedGameBytes(9, 4, records.data(), globals.data());
  std::vector<int32_t> now(256 * 256, 7);
  for (int e = 0; e < 256; ++e) now[static_cast<size_t>(e) * 256 + model::kWordBrainEntry] = 5000 + e;
  std::vector<int32_t> nowGlobals(2048, 1);
  model::SavedGame game;
  ASSERT_TRUE(model::ParseSavedGame(bytes, &game));
  EXPECT_EQ(game.subProject, 9);
  model::RestoreSavedGame(game, now.data(), nowGlobals.data());
  EXPECT_EQ(now[3], 3);
  EXPECT_EQ(now[255 * 256 + 255], 255 * 256 + 255);
  EXPECT_EQ(now[model::kWordBrainEntry], 5000);
  EXPECT_EQ(now[200 * 256 + model::kWordBrainEntry], 5200);
  EXPECT_EQ(nowGlobals, globals);
  EXPECT_FALSE(model::ParseSavedGame(std::string_view(bytes).substr(1), &game));
  EXPECT_FALSE(model::ParseSavedGame(bytes + "x", &game));
  EXPECT_EQ(model::SavedGamePath("/g/", 12), "/g/curr12.dat");
}

}  // namespace

namespace {

// reset starts the running executable again, without arguments, and ends this game without the
// end picture; a test play does nothing, and a copy that cannot start leaves the play going.
TEST_F(Program, ResetStartsTheRunningExecutableAgainInAFinishedGameOnly) {
  std::vector<std::string> started;
  bool starts = true;
  engine.hooks.startInstance = [&](const std::string& program, std::string* error) {
    started.push_back(program);
    *error = "no such file";
    return starts;
  };
  Call("reset");  // a test play
  EXPECT_TRUE(started.empty());
  EXPECT_EQ(engine.play->exitTarget, state::kExitNone);

  engine.playerRun = true;
  starts = false;
  Call("reset");
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(engine.play->exitTarget, state::kExitNone);
  starts = true;
  Call("reset");
  ASSERT_EQ(started.size(), 2u);
  EXPECT_EQ(started[1], platform::RunningExecutable());
  EXPECT_NE(started[1].find("test_instructions"), std::string::npos) << started[1];
  EXPECT_EQ(engine.play->exitTarget, state::kExitSystem);
}

}  // namespace
