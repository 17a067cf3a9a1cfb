// The file picker and the folder browser driven through the scripted host: pages, the crash
// marker, stopping previews, scripted answers, the previewers and the layout drawing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/core.h"
#include "engine/widgets/pickers_local.h"
#include "engine/widgets/widgets.h"
#include "support/pcx_bytes.h"
#include "support/temp_folder.h"
#include "support/widget_host.h"

namespace engine::widgets {
namespace {

class FilePickerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(data.ok());
    ASSERT_TRUE(files.ok());
    test_support::SetUpScreen(screen, host);
    previewer = [this](WidgetScreen&, const std::string& path, int, int) {
      previewed.push_back(path.substr(path.find_last_of('/') + 1));
      markerSeen.push_back(core::FileExists(data / kCrashedFile));
      std::string marker;
      core::ReadFile(data / kCrashedFile, &marker);
      markerText.push_back(marker);
      return std::string(" 1x1");
    };
  }
  void MakeFiles(int count) {
    for (int i = 0; i < count; ++i) {
      // Written out of order: the picker sorts.
      const std::string name = "f" + std::to_string((i * 7) % count + 10) + ".pcx";
      ASSERT_TRUE(core::WriteFileAtomic(files / name, "x"));
      names.push_back(name);
    }
    std::sort(names.begin(), names.end());
  }
  std::string Pick() { return FilePicker(screen, data.path(), files.path(), 2, "Pick one", &previewer); }
  // Presses and releases over the middle of cell `index`.
  void ClickCell(int index, int buttons = 1) { host.Click(CellLeft(index) + 80, CellTop(index) + 60, buttons); }

  testing_support::TempFolder data{"pickers-data"};
  testing_support::TempFolder files{"pickers-files"};
  test_support::WidgetHost host;
  WidgetScreen screen;
  Previewer previewer;
  std::vector<std::string> names, previewed, markerText;
  std::vector<bool> markerSeen;
};

TEST_F(FilePickerTest, NineFilesAreOnePageAndPageDownStaysOnIt) {
  MakeFiles(9);
  // Each preview pumps one pass first; a press during them would stop them.
  host.Idle(9).Key(kScanPageDown).Key(kScanPageUp);
  ClickCell(8);
  EXPECT_EQ(Pick(), names[8]);
  // One page drawn once: no redraw for the paging keys that had nowhere to go.
  EXPECT_EQ(previewed, names);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].kind, "files");
  EXPECT_EQ(host.boxes[0].result, names[8]);
  EXPECT_FALSE(host.boxes[0].defaulted);
}

TEST_F(FilePickerTest, TenFilesMakeTwoPagesAndPageDownStopsOnTheLast) {
  MakeFiles(10);
  host.Idle(9).Key(kScanPageDown).Idle(1).Key(kScanPageDown);
  ClickCell(0);
  EXPECT_EQ(Pick(), names[9]);
  EXPECT_EQ(previewed, names);
  // The page buttons page too, clamped at the first page.
  previewed.clear();
  host.Idle(9).Click(80, 50).Click(80, 50).Click(160, 50).Idle(1);
  ClickCell(0);
  EXPECT_EQ(Pick(), names[9]);
  EXPECT_EQ(previewed.size(), 10u);
}

TEST_F(FilePickerTest, TheCrashMarkerNamesEachFileDuringItsPreviewAndIsGoneAfter) {
  MakeFiles(3);
  host.Key(kScanEsc);
  EXPECT_EQ(Pick(), "");
  ASSERT_EQ(markerSeen.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(markerSeen[i]);
    EXPECT_EQ(markerText[i], names[i]);
  }
  EXPECT_FALSE(core::FileExists(data / kCrashedFile));
}

TEST_F(FilePickerTest, AMarkerLeftByACrashSkipsThatPreview) {
  MakeFiles(3);
  ASSERT_TRUE(core::WriteFileAtomic(data / kCrashedFile, names[1] + "\r\n"));
  host.Key(kScanDelete);
  EXPECT_EQ(Pick(), "");
  EXPECT_EQ(previewed, (std::vector<std::string>{names[0], names[2]}));
  EXPECT_FALSE(core::FileExists(data / kCrashedFile));
  // The cell says so: its pixels differ from the "Wait..." it showed first.
  const Canvas& waiting = host.frames.front();
  const Canvas& done = host.frames.back();
  bool changed = false;
  for (int y = CellTop(1); y < CellTop(1) + kCellHeight; ++y) {
    for (int x = CellLeft(1); x < CellLeft(1) + kCellWidth; ++x) changed |= waiting.PixelAt(x, y) != done.PixelAt(x, y);
  }
  EXPECT_TRUE(changed);
}

TEST_F(FilePickerTest, AMousePressStopsThePreviewsAndIsHandledAtOnce) {
  MakeFiles(9);
  // The previews pump once each before drawing: the press arrives before the third.
  host.Idle(2);
  ClickCell(1);
  EXPECT_EQ(Pick(), names[1]);
  EXPECT_EQ(previewed.size(), 2u);
}

TEST_F(FilePickerTest, ScriptedAnswersNameAFileOrItsPosition) {
  MakeFiles(12);
  host.Answer(names[10]).Answer(11).Answer(-1).Answer("not-there.pcx").Answer(12);
  EXPECT_EQ(Pick(), names[10]);
  EXPECT_EQ(Pick(), names[11]);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Pick(), "");
  // No answer and no input to come: the default, reported as such.
  EXPECT_EQ(Pick(), "");
  ASSERT_EQ(host.boxes.size(), 6u);
  EXPECT_FALSE(host.boxes[4].defaulted);
  EXPECT_TRUE(host.boxes[5].defaulted);
}

TEST_F(FilePickerTest, AMissingFolderShowsAnEmptyPage) {
  host.Key(kScanEsc);
  EXPECT_EQ(FilePicker(screen, data.path(), files / "missing", 2, "Pick", &previewer), "");
  EXPECT_TRUE(previewed.empty());
}

TEST_F(FilePickerTest, ALongNameStaysInsideItsCell) {
  const std::string name = std::string(200, 'W') + ".pcx";
  ASSERT_TRUE(core::WriteFileAtomic(files / name, "x"));
  ASSERT_TRUE(core::WriteFileAtomic(files / "b.pcx", "x"));
  host.Key(kScanEsc);
  EXPECT_EQ(Pick(), "");
  // The gap between the first two cells is untouched by the first cell's label.
  const Canvas& waiting = host.frames.front();
  const Canvas& done = host.frames.back();
  for (int y = CellTop(0); y < CellTop(0) + kCellHeight; ++y) {
    for (int x = CellLeft(0) + kCellWidth + 4; x < CellLeft(1) - 4; ++x) ASSERT_EQ(waiting.PixelAt(x, y), done.PixelAt(x, y));
  }
}

TEST_F(FilePickerTest, ARightClickErasesOnlyOnYes) {
  MakeFiles(3);
  // The question is answered by input: Enter takes " NO! ", Delete " YES ".
  host.Idle(3).Click(CellLeft(1) + 80, CellTop(1) + 60, 2).Key(kScanEnter).Idle(3);
  host.Click(CellLeft(1) + 80, CellTop(1) + 60, 2).Key(kScanDelete).Idle(2).Key(kScanEsc);
  EXPECT_EQ(Pick(), "");
  EXPECT_EQ(ListMatchingFiles(files.path(), "*.pcx"), (std::vector<std::string>{names[0], names[2]}));
  ASSERT_EQ(host.boxes.size(), 3u);
  EXPECT_EQ(host.boxes[1].kind, "box");
  EXPECT_EQ(host.boxes[1].text, "Do you really want to PERMANENTLY ERASE " + names[1] + "?");
  EXPECT_EQ(host.boxes[1].result, "1");
  EXPECT_EQ(host.boxes[2].result, "2");
  // After the erase the page shows the two files left.
  EXPECT_EQ(previewed.size(), 3u + 3u + 2u);
}

TEST_F(FilePickerTest, AnEraseThatFailsSaysSo) {
  MakeFiles(2);
  // The file goes away behind the picker's back once its page is drawn.
  host.Idle(2).Click(CellLeft(1) + 80, CellTop(1) + 60, 2).Key(kScanDelete).Key(kScanEnter).Idle(1).Key(kScanEsc);
  Previewer removing = [&](WidgetScreen& s, const std::string& path, int left, int top) {
    const std::string result = previewer(s, path, left, top);
    if (path == files / names[1]) std::remove(path.c_str());
    return result;
  };
  EXPECT_EQ(FilePicker(screen, data.path(), files.path(), 2, "Pick", &removing), "");
  ASSERT_EQ(host.boxes.size(), 3u);
  EXPECT_EQ(host.boxes[2].kind, "box");
  EXPECT_EQ(host.boxes[2].text.rfind("'" + names[1] + "' could not be erased:|", 0), 0u) << host.boxes[2].text;
}

TEST_F(FilePickerTest, ChangeDirectoryMovesThePickerToTheFolderOfTheFileChosenThere) {
  MakeFiles(1);
  ASSERT_TRUE(core::MakeFolders(files / "sub"));
  ASSERT_TRUE(core::WriteFileAtomic(files / "sub/z.pcx", "x"));
  // The browser's rows are the font's height + 8 high, 2 apart, from row 80: "..", "(dir) sub", ...
  const int rowPitch = EditorTextCentreHeight(ScreenFont(screen)) + 10;
  host.Idle(1).Click(500, 50).Click(100, 80 + rowPitch + 4).Click(100, 80 + rowPitch + 4).Idle(1);
  ClickCell(0);
  std::string folder = files.path();
  EXPECT_EQ(FilePickerInFolder(screen, data.path(), &folder, 2, "Pick", &previewer), "z.pcx");
  EXPECT_EQ(folder, files / "sub");
  ASSERT_EQ(host.boxes.size(), 2u);
  EXPECT_EQ(host.boxes[1].kind, "folder");
  EXPECT_EQ(host.boxes[1].result, files / "sub/z.pcx");
  // The plain picker gives the name relative to where it started.
  host.Idle(1).Click(500, 50).Click(100, 80 + rowPitch + 4).Click(100, 80 + rowPitch + 4).Idle(1);
  ClickCell(0);
  EXPECT_EQ(Pick(), "sub/z.pcx");
}

TEST_F(FilePickerTest, TheFolderBrowserAnswersAPathOrEscAndSurvivesAMissingFolder) {
  host.Answer("/some/where").Answer(-1);
  EXPECT_EQ(FolderBrowser(screen, files.path(), "*.pcx"), "/some/where");
  EXPECT_EQ(FolderBrowser(screen, files.path(), "*.pcx"), "");
  // No answer and no input: the default.
  EXPECT_EQ(FolderBrowser(screen, files / "missing/deeper", "*.pcx"), "");
  ASSERT_EQ(host.boxes.size(), 3u);
  EXPECT_TRUE(host.boxes[2].defaulted);
  EXPECT_EQ(host.boxes[2].text, files / "missing/deeper");
  // ".." of the missing folder leads to its parent, which is missing too; then up to the temporary folder.
  const int rowPitch = EditorTextCentreHeight(ScreenFont(screen)) + 10;
  ASSERT_TRUE(core::WriteFileAtomic(files / "a.pcx", "x"));
  host.Click(100, 84).Click(100, 84).Click(100, 80 + rowPitch + 4);
  EXPECT_EQ(FolderBrowser(screen, files / "missing/deeper", "*.pcx"), files / "a.pcx");
}

TEST_F(FilePickerTest, ThePicturePreviewerScalesIntoTheCellInMappedColours) {
  // A 4 x 2 picture: left half palette index 1 (pure red), right half index 2 (pure blue).
  testing_support::PcxPalette palette{};
  palette[3] = 255;
  palette[8] = 255;
  const std::string path = files / "two.pcx";
  ASSERT_TRUE(core::WriteFileAtomic(path, testing_support::PcxFile(4, 2, {1, 1, 2, 2, 1, 1, 2, 2}, 0, palette)));
  ASSERT_TRUE(core::WriteFileAtomic(files / "two.002", "x"));
  const std::string suffix = PreviewPicture(screen, path, 40, 80);
  EXPECT_EQ(suffix, " 4x2 2");
  // 160 x 80, centred vertically: rows 20..99 of the cell.
  EXPECT_EQ(screen.canvas.PixelAt(40, 80 + 19), 0);
  EXPECT_EQ(screen.canvas.PixelAt(40, 80 + 20), MapColour(255, 0, 0));
  EXPECT_EQ(screen.canvas.PixelAt(40 + 159, 80 + 99), MapColour(0, 0, 255));
  EXPECT_EQ(screen.canvas.PixelAt(40 + 79, 80 + 60), MapColour(255, 0, 0));
  EXPECT_EQ(screen.canvas.PixelAt(40 + 80, 80 + 60), MapColour(0, 0, 255));
  EXPECT_EQ(screen.canvas.PixelAt(40, 80 + 100), 0);
  // A hostile or missing picture draws the reader's one black pixel and says 1x1.
  ASSERT_TRUE(core::WriteFileAtomic(files / "bad.pcx", std::string(2000, '\xff')));
  EXPECT_EQ(PreviewPicture(screen, files / "bad.pcx", 40, 80), " 1x1");
  EXPECT_EQ(PreviewPicture(screen, files / "none.pcx", 40, 80), " 1x1");
}

TEST_F(FilePickerTest, TextAndModelPreviewsDrawInsideTheCellOnly) {
  const std::string path = files / "long.brn";
  ASSERT_TRUE(core::WriteFileAtomic(path, std::string(1000, 'W') + "\n" + std::string(1000, 'i')));
  screen.canvas.FillRect(0, 0, 639, 479, 9);
  EXPECT_EQ(PreviewTextFile(screen, path, 240, 210), "");
  EXPECT_EQ(PreviewModel(screen, path, 440, 210), "");
  int inside = 0;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      const bool inCell = y >= 210 && y < 330 && ((x >= 240 && x < 400) || (x >= 440 && x < 600));
      const int pixel = screen.canvas.PixelAt(x, y);
      if (!inCell) {
        ASSERT_EQ(pixel, 9) << x << "," << y;
      }
      if (inCell && pixel == 255) ++inside;
    }
  }
  EXPECT_GT(inside, 100);
}

TEST_F(FilePickerTest, ABitmapDeclaringAHugeSizeIsNotDecoded) {
  std::string bmp(54, '\0');
  bmp[0] = 'B';
  bmp[1] = 'M';
  bmp[10] = 54;
  bmp[14] = 40;
  bmp[19] = 0x40;  // 16384 x 16384: within the reader's limits, a gigabyte decoded
  bmp[23] = 0x40;
  bmp[26] = 1;
  bmp[28] = 8;
  bmp[30] = 1;  // run-length coded
  ASSERT_TRUE(core::WriteFileAtomic(files / "huge.bmp", bmp));
  EXPECT_EQ(PreviewBitmap(screen, files / "huge.bmp", 40, 80), "");
}

TEST_F(FilePickerTest, DrawLayoutMakesSlotsAndWhiteLabels) {
  std::vector<uint8_t> picture(640 * 480, 0);
  auto fill = [&](int l, int t, int r, int b, uint8_t c) {
    for (int y = t; y <= b; ++y) {
      for (int x = l; x <= r; ++x) picture[y * 640 + x] = c;
    }
  };
  fill(10, 10, 89, 33, 32);
  fill(200, 100, 299, 123, 7);
  fill(200, 200, 299, 223, 248);
  screen.canvas.Clear();
  EXPECT_EQ(DrawLayout(screen, picture.data(), 640, 480, 640), 3);
  EXPECT_EQ(screen.buttons[0].left, 10);
  EXPECT_EQ(screen.buttons[1].left & 0x7FFF, 200);
  int white = 0;
  for (int y = 100; y < 124; ++y) {
    for (int x = 100; x < 196; ++x) white += screen.canvas.PixelAt(x, y) == 255;
  }
  EXPECT_GT(white, 10);
}

}  // namespace
}  // namespace engine::widgets
