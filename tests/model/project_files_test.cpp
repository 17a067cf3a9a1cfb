// Project files: loading, saving, brain sections, working copies, the .col file, the limits, and
// the vexel project commands end to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/core.h"
#include "model/model.h"
#include "model/project_text.h"
#include "support/run_program.h"

namespace {

using testing_support::ReadText;
using testing_support::TempFolder;
using testing_support::WriteText;
using testing_support::ProjectText;
using testing_support::Record;

std::vector<std::string> gNotices;
void RecordNotice(const char* text) { gNotices.push_back(text == nullptr ? "(cleared)" : text); }

class ProjectFiles : public ::testing::Test {
 protected:
  ProjectFiles() {
    context.workingFolder = folder.path();
    context.temporaryFile = folder / "temp.tmp";
    context.collisionMap = map.data();
    gNotices.clear();
  }
  bool Load(const std::string& name) { return model::LoadProject(&context, folder / name, &project, &error); }
  std::string Brain(int element) { return ReadText(model::ElementField(project.records[element], 4)); }

  TempFolder folder;
  std::vector<uint8_t> map = std::vector<uint8_t>(model::kCollisionMapBytes, 0);
  model::ModelContext context;
  model::Project project;
  std::string error;
};

TEST_F(ProjectFiles, LoadResolvesPathsBrainsAndSettings) {
  context.notice = RecordNotice;
  ASSERT_TRUE(core::MakeFolders(folder / "brains"));
  ASSERT_TRUE(WriteText(folder / "brains/mine.brn", "from the file\r\n"));
  ASSERT_TRUE(WriteText(folder / "p.prj",
                        ProjectText("My header", {Record("Cam", 0, "-"), Record("Box", 1, ".\\brains\\mine.brn", ".\\3dshapes\\box.a3d"),
                                                  Record("Up", 2, "-", "../shared/x.pcx")},
                                    ".\\bckgrnds\\sky.bmp|0|3,5(2)", {"a\r\nb\r\n", "unused block\r\n", "last\r\n"})));
  ASSERT_TRUE(Load("p.prj")) << error;
  EXPECT_EQ(project.header, "My header");
  ASSERT_EQ(project.records.size(), 3u);
  EXPECT_EQ(model::ElementField(project.records[1], 2), folder / "3dshapes/box.a3d");
  EXPECT_EQ(model::ElementField(project.records[2], 2), "../shared/x.pcx");  // a step up, not "./"
  EXPECT_EQ(project.backgroundPath, folder / "bckgrnds/sky.bmp");
  EXPECT_EQ(project.backgroundRepetitions, 1);
  EXPECT_EQ(project.sharedGlobals, "3,5(2)");
  EXPECT_EQ(model::ElementField(project.records[0], 4), folder / "brains/00000001.bra");
  EXPECT_EQ(model::ElementField(project.records[2], 4), folder / "brains/00000003.bra");
  EXPECT_EQ(Brain(0), "a\r\nb\r\n");
  EXPECT_EQ(Brain(1), "from the file\r\n");
  EXPECT_EQ(Brain(2), "last\r\n");
  EXPECT_EQ(project.fog.start, 10240);
  EXPECT_EQ(project.fog.colour, 0xFF000000u);
  EXPECT_EQ(gNotices, (std::vector<std::string>{"Loading data, please wait...", "(cleared)"}));

  // Saved, the brain file's text moves into the project and every path is relative again.
  ASSERT_TRUE(model::SaveProject(&context, project, folder / "q.prj", &error)) << error;
  const std::string saved = ReadText(folder / "q.prj");
  EXPECT_NE(saved.find("\r\nBox|./3dshapes/box.a3d|./sounds/null_.wav|-|"), std::string::npos);
  EXPECT_NE(saved.find("\r\n./bckgrnds/sky.bmp|1|3,5(2)\r\n@0\r\na\r\nb\r\n@1\r\nfrom the file\r\n@2\r\n"),
            std::string::npos);
}

TEST_F(ProjectFiles, FullProjectRoundTripsByteForByte) {
  std::vector<std::string> records;
  std::vector<std::string> brains;
  for (int i = 0; i < model::kMaxElements; ++i) {
    records.push_back(Record("E" + std::to_string(i), i % 13, "-", "./sprites/s" + std::to_string(i) + ".pcx"));
    brains.push_back(i % 5 == 0 ? "" : "var n\r\nn = n + " + std::to_string(i) + "\r\nmore\r\n");
  }
  const std::string text = ProjectText("Full", records, "./bckgrnds/b.bmp|2|1,7", brains);
  std::string collision(model::kCollisionMapBytes, '\0');
  for (size_t i = 0; i < collision.size(); ++i) collision[i] = static_cast<char>(i * 7 + i / 256);
  collision.replace(65052, 4, 4, '\0');  // the settings block's reserved word
  ASSERT_TRUE(WriteText(folder / "full.prj", text));
  ASSERT_TRUE(WriteText(folder / "full.col", collision));

  ASSERT_TRUE(Load("full.prj")) << error;
  std::set<std::string> copies;
  for (const std::string& record : project.records) copies.insert(model::ElementField(record, 4));
  EXPECT_EQ(copies.size(), 256u);
  ASSERT_TRUE(model::SaveProject(&context, project, folder / "copy.prj", &error)) << error;
  EXPECT_TRUE(ReadText(folder / "copy.prj") == text);
  const std::string copiedCollision = ReadText(folder / "copy.col");
  ASSERT_EQ(copiedCollision.size(), collision.size());
  EXPECT_EQ(std::mismatch(collision.begin(), collision.end(), copiedCollision.begin()).first - collision.begin(),
            static_cast<long>(collision.size()));
  EXPECT_TRUE(project.notices.empty());
}

TEST_F(ProjectFiles, BrainSectionsThatAreShortOrOdd) {
  struct Case {
    std::string section;  // what follows the settings line
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"@0\r\nfirst\r\n", {"first\r\n", "", ""}},                       // fewer blocks than elements
      {"", {"", "", ""}},                                                // no brain section at all
      {"@0\r\n@1\r\nx\r\n@2\r\nend", {"", "x\r\n", "end"}},              // empty block, no final break
      {"@0\r\na\r\n@1\r\nb\r\n@2\r\nc\r\n@3\r\nextra\r\n", {"a\r\n", "b\r\n", "c\r\n"}},
  };
  const std::vector<std::string> records = {Record("A", 0, "-"), Record("B", 0, "-"), Record("C", 0, "-")};
  for (const Case& c : cases) {
    // The header ends in "@0": only a line of its own starts the brain section.
    ASSERT_TRUE(WriteText(folder / "b.prj", ProjectText("h@0", records, "|1|", {}) + c.section));
    ASSERT_TRUE(Load("b.prj")) << error;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Brain(i), c.expected[i]) << c.section << " element " << i;
  }
}

TEST_F(ProjectFiles, WorkingCopyNamesAreNeverReused) {
  ASSERT_TRUE(WriteText(folder / "p.prj", ProjectText("", {Record("A", 0, "-"), Record("B", 0, "-")}, "|1|",
                                                      {"", "short\r\n"})));
  // Copies left by an earlier run are overwritten and cut to their new length.
  ASSERT_TRUE(core::MakeFolders(folder / "brains"));
  ASSERT_TRUE(WriteText(folder / "brains/00000001.bra", "stale text of an earlier run\r\n"));
  ASSERT_TRUE(WriteText(folder / "brains/00000002.bra", "stale text of an earlier run\r\n"));
  std::set<std::string> names;
  for (int load = 0; load < 2; ++load) {
    ASSERT_TRUE(Load("p.prj"));
    for (const std::string& record : project.records) names.insert(model::ElementField(record, 4));
    EXPECT_EQ(Brain(0), "");
    EXPECT_EQ(Brain(1), "short\r\n");
  }
  EXPECT_EQ(names.size(), 4u);
  EXPECT_EQ(*names.rbegin(), folder / "brains/00000004.bra");
}

TEST_F(ProjectFiles, SizeLimitIsExactAndARefusalChangesNothing) {
  const std::string tail = "\r\n0\r\n";
  std::string text = ";" + std::string(model::kProjectTextBytes - 1 - tail.size(), 'h') + tail;
  ASSERT_EQ(text.size(), model::kProjectTextBytes);
  ASSERT_TRUE(WriteText(folder / "limit.prj", text));
  ASSERT_TRUE(Load("limit.prj")) << error;
  EXPECT_EQ(project.header.size(), text.size() - 1 - tail.size());

  ASSERT_TRUE(WriteText(folder / "p.prj", ProjectText("kept", {Record("A", 0, "-")}, "|1|", {})));
  ASSERT_TRUE(Load("p.prj"));
  const std::vector<std::string> before = project.records;
  ASSERT_TRUE(WriteText(folder / "big.prj", text + "x"));
  EXPECT_FALSE(Load("big.prj"));
  EXPECT_NE(error.find("1114112"), std::string::npos) << error;
  EXPECT_EQ(project.header, "kept");
  EXPECT_EQ(project.records, before);
}

TEST_F(ProjectFiles, MoreThan256ElementsLoadTheFirstWithOneNotice) {
  std::vector<std::string> records;
  std::vector<std::string> brains;
  for (int i = 0; i < 300; ++i) {
    records.push_back(Record("E" + std::to_string(i), 1, "-"));
    brains.push_back("b" + std::to_string(i) + "\r\n");
  }
  ASSERT_TRUE(WriteText(folder / "many.prj", ProjectText("", records, "./bckgrnds/late.bmp|4|", brains)));
  ASSERT_TRUE(Load("many.prj")) << error;
  ASSERT_EQ(project.records.size(), 256u);
  EXPECT_EQ(model::ElementField(project.records[255], 1), "E255");
  EXPECT_EQ(Brain(255), "b255\r\n");
  EXPECT_EQ(project.notices.size(), 1u);
  EXPECT_EQ(project.backgroundPath, folder / "bckgrnds/late.bmp");
  EXPECT_EQ(project.backgroundRepetitions, 4);
}

TEST_F(ProjectFiles, MissingProjectIsOneCameraWithAClearedMap) {
  std::memset(map.data(), 0xAB, map.size());
  project.records = {"old"};
  project.currentElement = 7;
  ASSERT_TRUE(Load("nothing.prj"));
  ASSERT_EQ(project.records.size(), 1u);
  EXPECT_EQ(project.records[0], "Camera|" + model::DefaultCameraRecord(folder.path()));
  EXPECT_EQ(project.currentElement, 0);
  EXPECT_EQ(std::count(map.begin(), map.end(), 0), static_cast<long>(map.size()));
}

TEST_F(ProjectFiles, SaveWritesTheColAndKeepsElementsAfterAShortRecord) {
  ASSERT_TRUE(WriteText(folder / "p.prj", ProjectText("", {Record("A", 0, "-"), Record("B", 1, "-"), Record("C", 2, "-")},
                                                      "|1|", {})));
  ASSERT_TRUE(Load("p.prj"));
  std::memset(map.data(), 1, map.size());
  project.records[1] = "Short|" + folder.path() + "x.a3d";  // a record without a type field
  project.settings = {100, 10, 400, 3, 45};
  ASSERT_TRUE(model::SaveProject(&context, project, folder / "p.prj", &error)) << error;

  const std::string col = ReadText(folder / "p.col");
  ASSERT_EQ(col.size(), model::kCollisionMapBytes);
  EXPECT_EQ(col[0 * 256 + 200], 1);  // one side still an element: kept
  EXPECT_EQ(col[200 * 256 + 2], 1);
  EXPECT_EQ(col[200 * 256 + 3], 0);
  EXPECT_EQ(col[255 * 256 + 255], 0);
  EXPECT_EQ(col.substr(65036, 24), std::string("\x64\0\0\0\x0A\0\0\0\x90\x01\0\0\x03\0\0\0\0\0\0\0\x2D\0\0\0", 24));

  ASSERT_TRUE(Load("p.prj"));
  ASSERT_EQ(project.records.size(), 3u);
  EXPECT_EQ(model::ElementField(project.records[1], 2), folder / "x.a3d");
  EXPECT_EQ(model::ElementField(project.records[2], 1), "C");
  EXPECT_EQ(project.settings.backgroundBottom, 400);
  EXPECT_EQ(project.settings.fieldOfView, 45);

  const std::string before = ReadText(folder / "p.prj");
  EXPECT_FALSE(model::SaveProject(&context, project, folder / "no/such/p.prj", &error));
  EXPECT_FALSE(error.empty());
  // A brain too large for the project text buffer: the save is refused, the old file stays.
  ASSERT_TRUE(WriteText(model::ElementField(project.records[0], 4), std::string(model::kProjectTextBytes, 'x')));
  EXPECT_FALSE(model::SaveProject(&context, project, folder / "p.prj", &error));
  EXPECT_EQ(ReadText(folder / "p.prj"), before);
}

TEST_F(ProjectFiles, ABrainLineStartingWithAtStaysInItsOwnBrain) {
  ASSERT_TRUE(WriteText(folder / "p.prj", ProjectText("", {Record("A", 0, "-"), Record("B", 0, "-")}, "|1|",
                                                      {"a\r\n", "b\r\n"})));
  ASSERT_TRUE(Load("p.prj"));
  ASSERT_TRUE(WriteText(model::ElementField(project.records[0], 4), "ok\r\n@1\r\nsneaky\r\n"));
  ASSERT_TRUE(model::SaveProject(&context, project, folder / "p.prj", &error)) << error;
  ASSERT_TRUE(Load("p.prj"));
  EXPECT_EQ(Brain(0), "ok\r\n @1\r\nsneaky\r\n");
  EXPECT_EQ(Brain(1), "b\r\n");
}

// A path holding the working folder right after a '.' is not the working folder: it must come
// back from a save unchanged, not be cut short to a "./" that reads as a step up.
TEST_F(ProjectFiles, WorkingFolderAfterADotStaysInThePath) {
  const std::string up = ".." + folder.path() + "sky.bmp";  // "../tmp/xyz/sky.bmp"
  const std::string aspect = "x.." + folder.path() + "a.a3d";
  ASSERT_TRUE(WriteText(folder / "p.prj", ProjectText("", {Record("A", 1, "-", aspect)}, up + "|1|./g.txt", {})));
  for (int load = 0; load < 2; ++load) {
    ASSERT_TRUE(Load("p.prj")) << error;
    EXPECT_EQ(project.backgroundPath, up) << load;
    EXPECT_EQ(model::ElementField(project.records[0], 2), aspect) << load;
    EXPECT_EQ(project.sharedGlobals, folder / "g.txt") << load;
    ASSERT_TRUE(model::SaveProject(&context, project, folder / "p.prj", &error)) << error;
  }
  EXPECT_NE(ReadText(folder / "p.prj").find("\r\n" + up + "|1|./g.txt\r\n"), std::string::npos);
}

TEST_F(ProjectFiles, FinishedGameKeepsScrambledCopiesInTheWorkingFolder) {
  context.finishedGame = true;
  context.notice = RecordNotice;
  ASSERT_TRUE(WriteText(folder / "g.prj", ProjectText("", {Record("A", 0, "-")}, "|1|", {"go\r\n"})));
  ASSERT_TRUE(Load("g.prj"));
  EXPECT_EQ(model::ElementField(project.records[0], 4), folder / "00000001.bra");
  std::string copy = Brain(0);
  EXPECT_NE(copy, "go\r\n");
  model::UnscrambleBytes(&copy);
  EXPECT_EQ(copy, "go\r\n");
  EXPECT_TRUE(gNotices.empty());
}

// The in-memory load and save against the file ones: the same project, the same working copies
// (in the map instead of files), the same map and settings, the same bytes written; nothing on disk.
TEST_F(ProjectFiles, MemoryFormMatchesTheFiles) {
  std::string fullCollision(model::kCollisionMapBytes, '\0');
  for (size_t i = 0; i < fullCollision.size(); ++i) fullCollision[i] = static_cast<char>(i * 13 + 1);
  struct Case {
    const char* name;
    bool finishedGame;
    std::optional<std::string> collision;  // the .col, if there is one
  };
  const Case cases[] = {
      {"full .col", false, fullCollision},
      {"finished game", true, fullCollision},
      {".col short of the settings", false, std::string(65040, '\x05')},
      {"no .col", false, std::nullopt},
  };
  ASSERT_TRUE(core::MakeFolders(folder / "brains"));
  ASSERT_TRUE(WriteText(folder / "brains/mine.brn", "from the file\r\n"));
  const std::vector<std::string> records = {Record("Cam", 0, "-"), Record("Box", 1, "./brains/mine.brn"),
                                            Record("Gone", 2, "./none.brn")};
  const std::string text = ProjectText("Mem", records, "./bckgrnds/sky.bmp|2|4", {"a\r\nb\r\n", "block\r\n", "last"});
  ASSERT_TRUE(WriteText(folder / "p.prj", text));

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove((folder / "p.col").c_str());
    if (c.collision) {
      ASSERT_TRUE(WriteText(folder / "p.col", *c.collision));
    }
    const model::SceneSettings before{1, 2, 3, 4, 5};
    std::memset(map.data(), 0x77, map.size());
    context = model::ModelContext{};
    context.workingFolder = folder.path();
    context.collisionMap = map.data();
    context.finishedGame = c.finishedGame;
    project = model::Project{};
    project.settings = before;
    ASSERT_TRUE(Load("p.prj")) << error;
    ASSERT_TRUE(model::SaveProject(&context, project, folder / "saved.prj", &error)) << error;
    const std::vector<std::string> files = folder.Files();

    std::map<std::string, std::string> brains = {{folder / "brains/mine.brn", "from the file\r\n"}};
    std::vector<uint8_t> memoryMap(model::kCollisionMapBytes, 0x77);
    model::ModelContext memory;
    memory.workingFolder = folder.path();
    memory.collisionMap = memoryMap.data();
    memory.finishedGame = c.finishedGame;
    memory.brainFiles = &brains;
    model::Project parsed;
    parsed.settings = before;
    const std::optional<std::string_view> collision =
        c.collision ? std::optional<std::string_view>(*c.collision) : std::nullopt;
    ASSERT_TRUE(model::ParseProject(&memory, folder / "p.prj", text, collision, &parsed, &error)) << error;

    EXPECT_EQ(parsed.path, project.path);
    EXPECT_EQ(parsed.header, project.header);
    EXPECT_EQ(parsed.records, project.records);
    EXPECT_EQ(parsed.backgroundPath, project.backgroundPath);
    EXPECT_EQ(parsed.backgroundRepetitions, project.backgroundRepetitions);
    EXPECT_EQ(parsed.sharedGlobals, project.sharedGlobals);
    EXPECT_EQ(std::memcmp(&parsed.settings, &project.settings, sizeof parsed.settings), 0);
    EXPECT_TRUE(memoryMap == map);
    ASSERT_EQ(brains.size(), 1 + project.records.size());
    for (const std::string& record : project.records) {
      const std::string copy = model::ElementField(record, 4);
      EXPECT_EQ(brains[copy], ReadText(copy)) << copy;
    }
    std::string saved;
    ASSERT_TRUE(model::ProjectText(&memory, parsed, &saved, &error)) << error;
    EXPECT_EQ(saved, ReadText(folder / "saved.prj"));
    EXPECT_TRUE(model::CollisionBytes(&memory, parsed) == ReadText(folder / "saved.col"));
    EXPECT_EQ(folder.Files(), files);  // the memory form touched no file
  }

  // Too large a text is refused before anything changes.
  model::ModelContext memory;
  memory.workingFolder = folder.path();
  std::map<std::string, std::string> brains;
  memory.brainFiles = &brains;
  memory.notice = RecordNotice;
  gNotices.clear();
  const std::vector<std::string> loaded = project.records;
  EXPECT_FALSE(model::ParseProject(&memory, "big.prj", std::string(model::kProjectTextBytes + 1, ';'), std::nullopt,
                                   &project, &error));
  EXPECT_NE(error.find("big.prj is larger than 1114112"), std::string::npos) << error;
  EXPECT_EQ(project.records, loaded);
  EXPECT_TRUE(brains.empty());
  EXPECT_TRUE(gNotices.empty());
}

TEST(ProjectCommands, ShowAndResaveThroughTheVexelCommand) {
  TempFolder folder;
  const std::string text = ProjectText("Demo", {Record("Eye", 0, "-"), Record("Hero", 5, "-", "./sprites/hero.pcx")},
                                       "./bckgrnds/b.bmp|1|", {"one\r\ntwo\r\n", ""});
  ASSERT_TRUE(WriteText(folder / "demo.prj", text));
  const std::vector<std::string> before = folder.Files();
  auto run = [&](std::vector<std::string> args) {
    return testing_support::RunProgram(VEXEL_VEXEL_BINARY, args, folder.path());
  };

  const auto show = run({"project", "show", "demo.prj"});
  EXPECT_EQ(show.exitCode, 0) << show.err;
  EXPECT_NE(show.out.find("header: Demo"), std::string::npos) << show.out;
  EXPECT_NE(show.out.find("0      Eye   CAMERA-type element  ./cameras/default_.03d  ./sounds/null_.wav  2 lines"),
            std::string::npos)
      << show.out;
  EXPECT_NE(show.out.find("SPRITE-type element  ./sprites/hero.pcx"), std::string::npos);
  EXPECT_EQ(folder.Files(), before);  // no working copies left behind

  EXPECT_EQ(run({"project", "resave", "demo.prj", "again.prj"}).exitCode, 0);
  EXPECT_EQ(ReadText(folder / "again.prj"), text);
  EXPECT_EQ(ReadText(folder / "again.col").size(), model::kCollisionMapBytes);

  // The sprite (a screen element) keeps plain pixel numbers; every element is on, visible and
  // collides; scales default to 1000.
  const auto records = run({"project", "records", "demo.prj"});
  EXPECT_EQ(records.exitCode, 0) << records.err;
  EXPECT_NE(records.out.find("element 1 'Hero'\n"), std::string::npos) << records.out;
  EXPECT_NE(records.out.find("  status             193\n"), std::string::npos) << records.out;
  EXPECT_NE(records.out.find("  scale_z            1000\n"), std::string::npos) << records.out;
  EXPECT_EQ(folder.Files().size(), before.size() + 2);  // again.prj and again.col only

  const auto missing = run({"project", "show", "gone.prj"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("gone.prj"), std::string::npos);
  EXPECT_EQ(run({"project", "resave", "demo.prj"}).exitCode, 2);
  EXPECT_EQ(run({"project", "list"}).exitCode, 2);
}

}  // namespace
