// The editor state files: defaults, the lines kept for the front end, separators and numbers.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "model/model.h"
#include "support/run_program.h"

namespace {

using testing_support::ReadText;
using testing_support::TempFolder;
using testing_support::WriteText;

TEST(EditorState, MissingFilesGiveTheDefaults) {
  TempFolder folder;
  model::EditorState state;
  state.vexel[0] = "stale";
  model::ReadEditorState(folder.path(), folder / "data/", &state);
  EXPECT_EQ(state.TestViewMode(), 0);
  EXPECT_EQ(state.Number(2), 512);
  EXPECT_EQ(state.vexel[17], "");
  EXPECT_EQ(state.vexel[18], "");
  EXPECT_EQ(state.curpaths[0], folder / "3dshapes/default_.a3d");
  EXPECT_EQ(state.curpaths[9], folder / "projects/myprj/default.prj");
  EXPECT_EQ(state.curpaths[13], "");
  EXPECT_EQ(state.curpaths[16], "Vexel 5.0");
  EXPECT_EQ(state.curpaths[22], folder / "images/jeep003_.pcx");
}

TEST(EditorState, RewriteKeepsTheFrontEndLinesAndOrder) {
  TempFolder folder;
  std::string vexel;
  for (int line = 1; line <= 20; ++line) vexel += "front " + std::to_string(line) + " \t x\r\n";
  vexel += "a line past the twentieth\r\n";
  ASSERT_TRUE(WriteText(folder / "vexel.ini", vexel));
  model::EditorState state;
  model::ReadEditorState(folder.path(), folder.path(), &state);
  EXPECT_EQ(state.vexel[2], "front 3 \t x");
  state.SetNumber(15, 1);
  state.SetNumber(1, -3);
  ASSERT_TRUE(model::WriteEditorState(folder.path(), state));

  std::string expected;
  for (int line = 1; line <= 20; ++line) {
    expected += line == 1 ? "-3" : line == 15 ? "1" : "front " + std::to_string(line) + " \t x";
    expected += "\r\n";
  }
  EXPECT_EQ(ReadText(folder / "vexel.ini"), expected);
  // The curpaths file did not exist: it is written whole, 23 lines, from the defaults.
  const std::string curpaths = ReadText(folder / "curpaths.ini");
  EXPECT_EQ(curpaths.rfind(folder / "3dshapes/default_.a3d\r\n", 0), 0u);
  size_t lines = 0;
  for (size_t at = curpaths.find("\r\n"); at != std::string::npos; at = curpaths.find("\r\n", at + 1)) ++lines;
  EXPECT_EQ(lines, 23u);
}

TEST(EditorState, ShortFilesFillFromDefaultsAndPathsGetForwardSlashes) {
  TempFolder folder;
  ASSERT_TRUE(WriteText(folder / "vexel.ini", "2\n1024"));  // LF only, no final break
  ASSERT_TRUE(WriteText(folder / "curpaths.ini",
                        "C:\\game\\3dshapes\\car.a3d\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n"
                        "\r\n\r\nMy\\Game\r\n"));
  model::EditorState state;
  model::ReadEditorState(folder.path(), folder.path(), &state);
  EXPECT_EQ(state.TestViewMode(), 2);
  EXPECT_EQ(state.Number(2), 1024);
  EXPECT_EQ(state.Number(3), 0);
  EXPECT_EQ(state.curpaths[0], "C:/game/3dshapes/car.a3d");
  EXPECT_EQ(state.curpaths[1], "");  // present but empty: kept as read
  EXPECT_EQ(state.curpaths[16], "My\\Game");  // the title is not a path
  EXPECT_EQ(state.curpaths[17], folder / "images/jeep002_.pcx");
}

TEST(EditorState, NumbersAndLineBreaksInValues) {
  model::EditorState state = model::DefaultEditorState("/w/");
  state.vexel[3] = "-17";
  state.vexel[4] = "junk";
  state.vexel[5] = "99999999999";
  EXPECT_EQ(state.Number(4), -17);
  EXPECT_EQ(state.Number(5), 0);
  EXPECT_EQ(state.Number(6), 0);
  EXPECT_EQ(state.Number(0), 0);
  EXPECT_EQ(state.Number(21), 0);
  state.SetNumber(21, 5);  // out of range: ignored

  // A value with a line break must not push the later lines down in the file.
  TempFolder folder;
  state.vexel[18] = "header\r\nwith a break";
  ASSERT_TRUE(model::WriteEditorState(folder.path(), state));
  model::EditorState again;
  model::ReadEditorState("/w/", folder.path(), &again);
  EXPECT_EQ(again.vexel[18], "header  with a break");
  EXPECT_EQ(again.vexel[19], "0");
}

// The text forms against the files: the same state read, the same bytes written, a missing file
// read as an empty text.
TEST(EditorState, TextFormMatchesTheFiles) {
  TempFolder folder;
  const std::string vexel = "3\r\n1024\n\r\n front\r\rtext\r\n";
  const std::string curpaths = "C:\\a\\b.a3d\r\n./x\r\n\r\n";
  for (const bool withCurpaths : {true, false}) {
    ASSERT_TRUE(WriteText(folder / "vexel.ini", vexel));
    std::remove((folder / "curpaths.ini").c_str());
    if (withCurpaths) {
      ASSERT_TRUE(WriteText(folder / "curpaths.ini", curpaths));
    }
    model::EditorState fromFiles;
    model::ReadEditorState("/w/", folder.path(), &fromFiles);
    model::EditorState fromText;
    model::ParseEditorState("/w/", vexel, withCurpaths ? curpaths : "", &fromText);
    for (int line = 0; line < 20; ++line) EXPECT_EQ(fromText.vexel[line], fromFiles.vexel[line]) << line;
    for (int line = 0; line < 23; ++line) EXPECT_EQ(fromText.curpaths[line], fromFiles.curpaths[line]) << line;
    EXPECT_EQ(fromText.curpaths[0], withCurpaths ? "C:/a/b.a3d" : "/w/3dshapes/default_.a3d");

    fromText.vexel[5] = "a\nb";
    ASSERT_TRUE(model::WriteEditorState(folder.path(), fromText));
    std::string vexelText = "stale";
    std::string curpathsText = "stale";
    model::FormatEditorState(fromText, &vexelText, &curpathsText);
    EXPECT_EQ(vexelText, ReadText(folder / "vexel.ini"));
    EXPECT_EQ(curpathsText, ReadText(folder / "curpaths.ini"));
  }
}

}  // namespace
