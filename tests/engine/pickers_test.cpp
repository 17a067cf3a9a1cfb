// The file picker's listing, pages, preview text and erase, without a screen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/core.h"
#include "engine/widgets/pickers_local.h"
#include "engine/widgets/widgets.h"
#include "support/temp_folder.h"

namespace engine::widgets {
namespace {

void Touch(const std::string& path, const std::string& text = "x") { ASSERT_TRUE(core::WriteFileAtomic(path, text)); }

TEST(PickersTest, CategoriesSelectTheirPatterns) {
  EXPECT_EQ(CategoryPattern(-1), "*.bmp");
  EXPECT_EQ(CategoryPattern(-7), "*.bmp");
  EXPECT_EQ(CategoryPattern(0), "*.03d");
  EXPECT_EQ(CategoryPattern(1), "*.a3d");
  EXPECT_EQ(CategoryPattern(3), "*.a3d");
  EXPECT_EQ(CategoryPattern(4), "*.d3d");
  for (const int category : {2, 5, 6, 7, 8}) EXPECT_EQ(CategoryPattern(category), "*.pcx");
  EXPECT_EQ(CategoryPattern(11), "*.v3d");
  EXPECT_EQ(CategoryPattern(-2), "*.prj");
  EXPECT_EQ(CategoryPattern(-3), "*.ele");
  EXPECT_EQ(CategoryPattern(-4), "*.3ds");
  EXPECT_EQ(CategoryPattern(12), "*.3ds");
  EXPECT_EQ(CategoryPattern(-5), "*.brn");
  EXPECT_EQ(CategoryPattern(-6), "*.chn");
  EXPECT_EQ(CategoryPattern(9), "*.*");
  EXPECT_EQ(CategoryPattern(-8), "*.*");
}

TEST(PickersTest, ListingIsSortedMatchesTheExtensionAndDropsFolders) {
  testing_support::TempFolder folder;
  ASSERT_TRUE(folder.ok());
  Touch(folder / "b.pcx");
  Touch(folder / "A.PCX");
  Touch(folder / "c.pcx.bak");
  Touch(folder / "pcx");
  ASSERT_TRUE(core::MakeFolders(folder / "dir.pcx"));
  EXPECT_EQ(ListMatchingFiles(folder.path(), "*.pcx"), (std::vector<std::string>{"A.PCX", "b.pcx"}));
  EXPECT_EQ(ListMatchingFiles(folder.path(), "*.*").size(), 4u);
  EXPECT_TRUE(ListMatchingFiles(folder / "missing", "*.pcx").empty());
  std::vector<std::string> folders;
  EXPECT_TRUE(ListSubFolders(folder.path(), &folders));
  EXPECT_EQ(folders, std::vector<std::string>{"dir.pcx"});
  EXPECT_FALSE(ListSubFolders(folder / "missing", &folders));
}

TEST(PickersTest, PagesHoldNineAndClampAtBothEnds) {
  EXPECT_EQ(PageCount(0), 1);
  EXPECT_EQ(PageCount(9), 1);
  EXPECT_EQ(PageCount(10), 2);
  EXPECT_EQ(PageCount(18), 2);
  EXPECT_EQ(ClampPage(1, 9), 0);
  EXPECT_EQ(ClampPage(2, 10), 1);
  EXPECT_EQ(ClampPage(-1, 10), 0);
  EXPECT_EQ(ClampPage(5, 0), 0);
  // The grid of the page.
  EXPECT_EQ(CellLeft(0), 40);
  EXPECT_EQ(CellLeft(2), 440);
  EXPECT_EQ(CellTop(3), 210);
  EXPECT_EQ(CellTop(8), 340);
}

TEST(PickersTest, PreviewTextKeepsTheFirst400CharactersAndLineEnds) {
  const std::string text = "line one\r\n\tline\x01 two\n" + std::string(500, 'x');
  const std::string shown = PreviewText(text);
  EXPECT_EQ(shown.substr(0, 19), "line one\n line two\n");
  // 400 characters of the file, less the CR and the control character dropped.
  EXPECT_EQ(shown.size(), 398u);
  EXPECT_EQ(PreviewText(""), "");
}

TEST(PickersTest, FrameCountFollowsTheNumberedCompanions) {
  testing_support::TempFolder folder;
  ASSERT_TRUE(folder.ok());
  Touch(folder / "walk.pcx");
  EXPECT_EQ(FrameCount(folder / "walk.pcx"), 1);
  Touch(folder / "walk.002");
  Touch(folder / "walk.003");
  Touch(folder / "walk.005");
  EXPECT_EQ(FrameCount(folder / "walk.pcx"), 3);
}

TEST(PickersTest, EraseTakesTheCompanionsAndReportsAFailure) {
  testing_support::TempFolder folder;
  ASSERT_TRUE(folder.ok());
  for (const char* name : {"walk.pcx", "walk.002", "walk.003", "walk.999", "walkx.002", "level.prj", "level.col",
                           "level.002", "boom.3ds", "boom.002"}) {
    Touch(folder / name);
  }
  std::string reason;
  EXPECT_TRUE(EraseWithCompanions(folder / "walk.pcx", &reason));
  EXPECT_TRUE(EraseWithCompanions(folder / "level.prj", &reason));
  EXPECT_TRUE(EraseWithCompanions(folder / "boom.3ds", &reason));
  // A project takes its .col file only; other files their numbered frames.
  EXPECT_EQ(folder.Files(), (std::vector<std::string>{"level.002", "walkx.002"}));
  EXPECT_FALSE(EraseWithCompanions(folder / "gone.pcx", &reason));
  EXPECT_FALSE(reason.empty());
}

}  // namespace
}  // namespace engine::widgets
