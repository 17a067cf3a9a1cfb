// Folder listings, the current folder, temporary files, path normalisation and line splitting.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/files.h"
#include "core/text.h"
#include "support/run_program.h"

namespace {

TEST(Folders, ListingsAreSortedNamesWithoutDotEntries) {
  testing_support::TempFolder folder;
  ASSERT_TRUE(testing_support::WriteText(folder / "b.bra", "x"));
  ASSERT_TRUE(testing_support::WriteText(folder / "a.prj", ""));
  ASSERT_TRUE(core::MakeFolders(folder / "sub/deeper"));
  std::vector<std::string> names{"stale"};
  ASSERT_TRUE(core::ListFolder(folder.path(), &names));
  EXPECT_EQ(names, (std::vector<std::string>{"a.prj", "b.bra", "sub"}));
  EXPECT_FALSE(core::ListFolder(folder / "missing", &names));
  EXPECT_TRUE(names.empty());
  EXPECT_FALSE(core::ListFolder(folder / "a.prj", &names));  // a file is not a folder
}

TEST(Folders, CurrentFolderIsAbsoluteAndFollowsTheProcess) {
  testing_support::TempFolder folder;
  const std::string before = core::CurrentFolder();
  ASSERT_EQ(chdir(folder.path().c_str()), 0);
  const std::string inside = core::CurrentFolder();
  ASSERT_EQ(chdir(before.c_str()), 0);
  // The temporary folder may be reached through a link; its own name is the last part either way.
  std::string expected = folder.path();
  expected.pop_back();
  EXPECT_EQ(inside.substr(inside.rfind('/')), expected.substr(expected.rfind('/')));
  EXPECT_EQ(inside.front(), '/');
  EXPECT_NE(inside.back(), '/');
}

// Temporary files carry the writer's process id: a file of a process that is gone is removed at the
// next start, one of a live process (another tool saving right now) is left alone, and neither ever
// shows in a listing.
TEST(TemporaryFiles, UniqueNamesAndLeftoversRemoved) {
  testing_support::TempFolder folder;
  const std::string target = folder / "globvars.dat";
  const std::string first = core::TemporaryPathFor(target);
  EXPECT_NE(first, core::TemporaryPathFor(target));
  EXPECT_TRUE(core::IsTemporaryName(first));
  EXPECT_FALSE(core::IsTemporaryName(target));

  ASSERT_TRUE(testing_support::WriteText(target, "old"));
  ASSERT_TRUE(testing_support::WriteText(target + ".vexel-tmp-99999999-1", "half written"));  // no such process
  ASSERT_TRUE(testing_support::WriteText(target + ".tmp-write", "left by an earlier build"));
  const std::string live = target + ".vexel-tmp-" + std::to_string(getppid()) + "-1";
  ASSERT_TRUE(testing_support::WriteText(live, "being written"));
  std::vector<std::string> names;
  ASSERT_TRUE(core::ListFolder(folder.path(), &names));
  EXPECT_EQ(names, (std::vector<std::string>{"globvars.dat", "globvars.dat.tmp-write"}));
  EXPECT_EQ(core::RemoveLeftoverTemporaries(folder.path()), 2);
  EXPECT_EQ(folder.Files(), (std::vector<std::string>{"globvars.dat", "globvars.dat.vexel-tmp-" +
                                                                          std::to_string(getppid()) + "-1"}));

  // A write that cannot finish leaves the old file and nothing else.
  std::string reason;
  EXPECT_FALSE(core::WriteFileAtomic(folder / "no/such/file", "x", &reason));
  EXPECT_FALSE(reason.empty());
  ASSERT_TRUE(core::MakeFolders(folder / "taken"));
  EXPECT_FALSE(core::WriteFileAtomic(folder / "taken", "x", &reason));  // a folder of that name
  EXPECT_EQ(reason, "Is a directory");
  // A device is written into, never replaced by a file (a dump sent to /dev/null, run as root).
  EXPECT_TRUE(core::WriteFileAtomic("/dev/null", "x", &reason)) << reason;
  struct stat st {};
  EXPECT_TRUE(stat("/dev/null", &st) == 0 && S_ISCHR(st.st_mode));
  ASSERT_TRUE(core::WriteFileAtomic(target, "new", &reason));
  EXPECT_EQ(testing_support::ReadText(target), "new");
  EXPECT_EQ(folder.Files().size(), 2u);
}

TEST(Paths, NormalisedAndKeptInsideTheirFolder) {
  EXPECT_EQ(core::NormalisePath("/w/./a//b/../c"), "/w/a/c");
  EXPECT_EQ(core::NormalisePath("/w/../../../etc/passwd"), "/etc/passwd");
  EXPECT_EQ(core::NormalisePath("a/../../b/"), "../b/");
  EXPECT_EQ(core::NormalisePath("./"), ".");
  EXPECT_TRUE(core::PathInside("/w/brains/../x.bra", "/w/"));
  EXPECT_FALSE(core::PathInside("/w/../../../../etc/passwd", "/w/"));
  EXPECT_FALSE(core::PathInside("/etc/passwd", "/w/"));
  EXPECT_FALSE(core::PathInside("/w", "/w/"));         // the folder itself is no file in it
  EXPECT_FALSE(core::PathInside("/wx/a", "/w/"));      // a sibling that starts with its name
  EXPECT_FALSE(core::PathInside("/w/./", "/w/"));
}

TEST(Lines, EveryConventionSplitsTheSame) {
  auto lines = [](std::string_view text) {
    std::vector<std::string> out;
    core::LineReader reader(text);
    std::string_view line;
    while (reader.Next(&line)) out.emplace_back(line);
    return out;
  };
  const std::vector<std::string> expected = {"a", "", "b"};
  EXPECT_EQ(lines("a\r\n\r\nb"), expected);
  EXPECT_EQ(lines("a\n\nb\n"), expected);
  EXPECT_EQ(lines("a\r\rb\r"), expected);
  EXPECT_EQ(lines("a\n\r\nb"), expected);  // LF, then CR LF: two line ends
  EXPECT_TRUE(lines("").empty());
  // Lines longer than the search window, with a CR LF pair across its edge.
  const std::string longLine(255, 'x');
  EXPECT_EQ(lines(longLine + "\r\n" + std::string(300, 'y') + "\nz"),
            (std::vector<std::string>{longLine, std::string(300, 'y'), "z"}));
}

}  // namespace
