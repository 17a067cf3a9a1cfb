// What a start finds in its working folder: files a killed run left half written, projects saved
// with other line ends, brain paths that lead out of the folder. End to end, headless.
#include <gtest/gtest.h>

#include <string>

#include "core/core.h"
#include "support/run_program.h"
#include "support/work_folder.h"

namespace {

using testing_support::DumpWord;
using testing_support::FileExistsAt;
using testing_support::ReadText;
using testing_support::RunMain;
using testing_support::WorkFolder;
using testing_support::WriteText;

// A process id no system hands out: the run that wrote these files is gone.
constexpr const char* kGoneWriter = ".vexel-tmp-99999999-3";

TEST(WorkingFolder, LeftoversOfAKilledRunGoAtTheNextStart) {
  WorkFolder folder(1);
  const std::string project = folder / "projects/myprj/default.prj";
  ASSERT_TRUE(WriteText(folder / (std::string("globvars.dat") + kGoneWriter), "half"));
  ASSERT_TRUE(core::MakeFolders(folder / "temp"));
  ASSERT_TRUE(WriteText(folder / (std::string("temp/wasok.dat") + kGoneWriter), "half"));
  ASSERT_TRUE(WriteText(project + kGoneWriter, "half a project"));
  ASSERT_TRUE(WriteText(folder / (std::string("data/vexel.ini") + kGoneWriter), "half"));
  const auto run = RunMain({"--ticks", "2"}, folder.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  for (const std::string& name : folder.Files()) EXPECT_EQ(name.find(".vexel-tmp-"), std::string::npos) << name;
  EXPECT_EQ(ReadText(folder / "temp/wasok.dat"), "wasok\r\n");
}

// The skeleton project with LF alone (then CR alone) for every line end: its camera brain still runs.
TEST(WorkingFolder, ProjectsWithOtherLineEndsPlayTheirBrains) {
  for (const char* end : {"\n", "\r"}) {
    WorkFolder folder(1);
    testing_support::SetCameraBrain(folder, "var n\r\nn = n + 3\r\n");
    const std::string path = folder / "projects/myprj/default.prj";
    std::string text = ReadText(path);
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.replace(at, 2, end);
    ASSERT_TRUE(WriteText(path, text));
    const auto run = RunMain({"--ticks", "2", "--dump", "d.json"}, folder.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(DumpWord(ReadText(folder / "d.json"), 255), 18) << "6 steps of n + 3";
  }
}

// A brain field naming a file outside the working folder: the play says so and never reads it.
TEST(WorkingFolder, BrainFilesOutsideTheFolderAreNotRead) {
  testing_support::TempFolder outside;
  ASSERT_TRUE(WriteText(outside / "secret.txt", "top secret line\r\n"));
  WorkFolder folder(1);
  const std::string path = folder / "projects/myprj/default.prj";
  std::string text = ReadText(path);
  const size_t record = text.find("\r\nCamera|");
  ASSERT_NE(record, std::string::npos);
  size_t field = record + 2;
  for (int bar = 0; bar < 3; ++bar) field = text.find('|', field) + 1;
  text.replace(field, text.find('|', field) - field, "../../../../../../../.." + outside.path() + "secret.txt");
  ASSERT_TRUE(WriteText(path, text));
  const auto run = RunMain({"--ticks", "2"}, folder.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("lies outside the working folder; it was treated as missing"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("top secret"), std::string::npos) << run.err;
}

}  // namespace
