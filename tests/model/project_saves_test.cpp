// Saves that cannot lose a user's work: every way a save can fail leaves the old files byte for
// byte, says which file failed and why, and exits non-zero; projects with any line ends; brain
// paths that leave the working folder. End to end through the vexel command where users meet it.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/core.h"
#include "model/model.h"
#include "model/project_text.h"
#include "support/run_program.h"

namespace {

using testing_support::ProjectText;
using testing_support::ReadText;
using testing_support::Record;
using testing_support::RunProgram;
using testing_support::RunResult;
using testing_support::TempFolder;
using testing_support::WriteText;

// A project of `elements` elements whose brains are stored in it, `brainBytes` each.
std::string BigProject(int elements, size_t brainBytes) {
  std::vector<std::string> records;
  std::vector<std::string> brains;
  for (int i = 0; i < elements; ++i) {
    records.push_back(Record("E" + std::to_string(i), i % 13, "-"));
    std::string brain;
    while (brain.size() < brainBytes) brain += "var n" + std::to_string(brain.size()) + "\r\n";
    brains.push_back(brain);
  }
  return ProjectText("Big", records, "./bckgrnds/b.bmp|1|", brains);
}

std::string Collision(char fill) {
  std::string bytes(model::kCollisionMapBytes, fill);
  bytes.replace(model::kSettingsBlockOffset, 24, 24, '\0');
  return bytes;
}

// vexel in `folder`, with the size of any file it writes limited to `limitBytes` (0: no limit): the
// limit stands for a disk that fills up in the middle of a write.
RunResult Vexel(const TempFolder& folder, const std::vector<std::string>& args, size_t limitBytes = 0) {
  if (limitBytes == 0) return RunProgram(VEXEL_VEXEL_BINARY, args, folder.path());
  std::string command = "ulimit -f " + std::to_string(limitBytes / 512) + "; exec " + VEXEL_VEXEL_BINARY;
  for (const std::string& arg : args) command += " '" + arg + "'";
  return RunProgram("/bin/sh", {"-c", command}, folder.path());
}

// The state of a folder: every file with its bytes.
std::vector<std::pair<std::string, std::string>> Snapshot(const TempFolder& folder) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const std::string& name : folder.Files()) files.emplace_back(name, ReadText(folder / name));
  return files;
}

TEST(ProjectSaves, EveryFailedSaveLeavesTheOldFilesAndSaysWhy) {
  TempFolder folder;
  // 300 elements (256 load), brains of 400 bytes: a .prj of about 140 KB beside a 64 KB .col.
  ASSERT_TRUE(WriteText(folder / "a.prj", BigProject(300, 400)));
  ASSERT_TRUE(WriteText(folder / "a.col", Collision('\x01')));
  ASSERT_TRUE(WriteText(folder / "w.prj", BigProject(3, 2000)));
  ASSERT_TRUE(core::MakeFolders(folder / "brains"));
  const auto before = Snapshot(folder);

  struct Case {
    const char* what;
    const char* project;
    size_t limit;
    std::string message;
  };
  const Case cases[] = {
      {"disk full at a working copy", "w.prj", 1024, "cannot be written (File too large)"},
      {"disk full at the .col", "a.prj", 20000, "Cannot write a.col (File too large)"},
      {"disk full at the .prj", "a.prj", 100000, "Cannot write a.prj (File too large)"},
  };
  for (const Case& c : cases) {
    const RunResult run = Vexel(folder, {"project", "resave", c.project, c.project}, c.limit);
    EXPECT_EQ(run.exitCode, 1) << c.what;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": " << run.err;
    EXPECT_TRUE(Snapshot(folder) == before) << c.what;
  }

  // The .col cannot be replaced (a folder has its name): it is renamed first, so the .prj is still
  // the old one, with all of its 300 elements.
  ASSERT_TRUE(core::MakeFolders(folder / "in/b.col/x"));
  ASSERT_TRUE(WriteText(folder / "in/b.prj", ReadText(folder / "a.prj")));
  RunResult run = Vexel(folder, {"project", "resave", "in/b.prj", "in/b.prj"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("Cannot replace in/b.col (Is a directory)"), std::string::npos) << run.err;
  EXPECT_EQ(ReadText(folder / "in/b.prj"), ReadText(folder / "a.prj"));

  // The .prj cannot be replaced after the .col was: the old .col is put back.
  ASSERT_TRUE(core::MakeFolders(folder / "out/c.prj/x"));
  ASSERT_TRUE(WriteText(folder / "out/c.col", "the old collision file"));
  run = Vexel(folder, {"project", "resave", "a.prj", "out/c.prj"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("Cannot replace out/c.prj (Is a directory)"), std::string::npos) << run.err;
  EXPECT_EQ(ReadText(folder / "out/c.col"), "the old collision file");
  std::vector<std::string> expected;
  for (const auto& [name, bytes] : before) expected.push_back(name);
  expected.insert(expected.end(), {"in/b.prj", "out/c.col"});  // no temporary file left
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(folder.Files(), expected);

  // Saved under the name of its own collision file, both would be one file.
  run = Vexel(folder, {"project", "resave", "a.prj", "x.col"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("name of its own collision file"), std::string::npos) << run.err;
  EXPECT_FALSE(testing_support::FileExistsAt(folder / "x.col"));
}

// Without a folder for the working copies the brains cannot be carried to the save: the load fails
// instead of saving them empty.
TEST(ProjectSaves, WorkingCopiesThatCannotBeWrittenStopTheLoad) {
  TempFolder folder;
  const std::string text = ProjectText("", {Record("A", 0, "-"), Record("B", 0, "-")}, "|1|", {"a = 1\r\n", "b\r\n"});
  ASSERT_TRUE(WriteText(folder / "p.prj", text));
  ASSERT_TRUE(WriteText(folder / "brains", "a file where the folder should be"));
  const auto before = Snapshot(folder);
  const RunResult run = Vexel(folder, {"project", "resave", "p.prj", "p.prj"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("brains/"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("cannot be written (Not a directory)"), std::string::npos) << run.err;
  EXPECT_TRUE(Snapshot(folder) == before);

  // In memory: a working copy that has gone since the load stops the save.
  ASSERT_EQ(std::remove((folder / "brains").c_str()), 0);
  model::ModelContext context;
  context.workingFolder = folder.path();
  model::Project project;
  std::string error;
  ASSERT_TRUE(model::LoadProject(&context, folder / "p.prj", &project, &error)) << error;
  ASSERT_EQ(std::remove(model::ElementField(project.records[1], 4).c_str()), 0);
  EXPECT_FALSE(model::SaveProject(&context, project, folder / "p.prj", &error));
  EXPECT_NE(error.find("element 1 cannot be read from its working copy"), std::string::npos) << error;
  EXPECT_EQ(ReadText(folder / "p.prj"), text);
}

// A small file system that really fills up, where the tests may mount one.
TEST(ProjectSaves, AFullFileSystemLeavesTheOldFiles) {
  TempFolder folder;
  const std::string small = folder / "small";
  ASSERT_TRUE(core::MakeFolders(small));
  if (getuid() != 0 || mount("vexel-test", small.c_str(), "tmpfs", 0, "size=1m") != 0) {
    GTEST_SKIP() << "no small file system can be mounted here";
  }
  // 16 brains of 8000 bytes: a .prj of about 130 KB. The filler leaves room for the working copies
  // (two pages each) and the new .col, not for the new .prj.
  const std::string text = BigProject(16, 8000);
  bool written = WriteText(small + "/a.prj", text) && WriteText(small + "/a.col", Collision('\x02'));
  written = written && WriteText(small + "/filler", std::string(1024 * 1024 - 2 * 128 * 1024 - 3 * 64 * 1024, 'f'));
  RunResult run;
  if (written) {
    std::string command = std::string("cd small && exec ") + VEXEL_VEXEL_BINARY + " project resave a.prj a.prj";
    run = RunProgram("/bin/sh", {"-c", command}, folder.path());
  }
  const std::string prj = ReadText(small + "/a.prj");
  const std::string col = ReadText(small + "/a.col");
  std::vector<std::string> names;
  core::ListFolder(small, &names);
  umount(small.c_str());
  ASSERT_TRUE(written);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("(No space left on device)"), std::string::npos) << run.err;
  EXPECT_TRUE(prj == text);
  EXPECT_TRUE(col == Collision('\x02'));
  EXPECT_EQ(names, (std::vector<std::string>{"a.col", "a.prj", "filler"}));
}

TEST(ProjectSaves, CollisionFileNameFollowsTheProjectName) {
  EXPECT_EQ(model::CollisionPath("/w/level001.prj"), "/w/level001.col");
  EXPECT_EQ(model::CollisionPath("/w/backup"), "/w/backup.col");
  EXPECT_EQ(model::CollisionPath("/w.d/backup"), "/w.d/backup.col");
  EXPECT_EQ(model::CollisionPath("/w/.prj"), "/w/.prj.col");
  EXPECT_EQ(model::CollisionPath("a.project"), "a.col");

  TempFolder folder;
  ASSERT_TRUE(WriteText(folder / "a.prj", ProjectText("", {Record("A", 0, "-")}, "|1|", {"x\r\n"})));
  EXPECT_EQ(Vexel(folder, {"project", "resave", "a.prj", "backup"}).exitCode, 0);
  EXPECT_EQ(ReadText(folder / "backup.col").size(), model::kCollisionMapBytes);
  EXPECT_FALSE(testing_support::FileExistsAt(folder / "baccol"));
}

// LF alone and CR alone end lines as CR LF does: the records and every brain load, and a resave
// writes CR LF.
TEST(ProjectSaves, ProjectsWithAnyLineEndsKeepTheirBrains) {
  TempFolder folder;
  const std::string crlf =
      ProjectText("Ends", {Record("A", 0, "-"), Record("B", 0, "-")}, "|1|", {"var a\r\na = 1\r\n", "var b\r\n"});
  for (const char* end : {"\n", "\r"}) {
    std::string text = crlf;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.replace(at, 2, end);
    ASSERT_TRUE(WriteText(folder / "p.prj", text));
    EXPECT_EQ(Vexel(folder, {"project", "resave", "p.prj", "q.prj"}).exitCode, 0);
    EXPECT_EQ(ReadText(folder / "q.prj"), crlf) << (end[0] == '\n' ? "LF" : "CR");
  }
}

// A brain field may not reach out of the working folder: the file is treated as missing and a line
// names it; a path that only passes through a parent step and stays inside is read.
TEST(ProjectSaves, BrainPathsStayInsideTheWorkingFolder) {
  TempFolder outside;
  ASSERT_TRUE(WriteText(outside / "secret.txt", "secret text\r\n"));
  TempFolder folder;
  ASSERT_TRUE(core::MakeFolders(folder / "brains"));
  ASSERT_TRUE(WriteText(folder / "mine.brn", "var mine\r\n"));
  const std::string climb = "../../../../../../../../.." + outside.path() + "secret.txt";
  const std::string text = ProjectText(
      "", {Record("Up", 0, climb), Record("Abs", 0, outside / "secret.txt"), Record("In", 0, "./brains/../mine.brn")},
      "|1|", {});
  ASSERT_TRUE(WriteText(folder / "p.prj", text));
  const RunResult run = Vexel(folder, {"project", "resave", "p.prj", "q.prj"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("The brain file " + climb + " of element 0 lies outside the working folder"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("of element 1 lies outside the working folder"), std::string::npos) << run.err;
  const std::string saved = ReadText(folder / "q.prj");
  EXPECT_EQ(saved.find("secret text"), std::string::npos);
  EXPECT_NE(saved.find("\r\n@2\r\nvar mine\r\n"), std::string::npos) << saved;
}

}  // namespace
