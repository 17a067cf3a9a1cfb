// Folder listings and the current folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/files.h"
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

}  // namespace
