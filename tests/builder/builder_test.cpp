// The game builder: game names, the list file, the mesh texture scan, the visual rewrite, the
// window-name patch, and vexel build end to end with the built game run by its engine copy.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/app.h"
#include "builder/builder.h"
#include "core/core.h"
#include "model/model.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace {

using testing_support::FileExistsAt;
using testing_support::ReadText;
using testing_support::RunProgram;
using testing_support::TempFolder;
using testing_support::WriteText;

TEST(ResourceName, HashesTheLowerCasedPathAsSignedBytes) {
  EXPECT_EQ(builder::ResourceName("a"), "00000061.dat");
  EXPECT_EQ(builder::ResourceName("ab"), "00000C21.dat");
  EXPECT_EQ(builder::ResourceName("\xE9"), "FFFFFFE9.dat");
  // Long enough to wrap several times: checked against the sum written out modulo 2^32.
  const std::string path = "/home/player/projects/racing/sounds/engine_loop_long_name.wav";
  uint64_t h = 0;
  for (const char c : path) h = (h * 31 + static_cast<uint64_t>(static_cast<int64_t>(static_cast<signed char>(c)))) & 0xFFFFFFFFu;
  char expected[16];
  std::snprintf(expected, sizeof expected, "%08X.dat", static_cast<unsigned>(h));
  EXPECT_EQ(builder::ResourceName(path), expected);
  EXPECT_GT(path.size() * 5, 32u);  // 31^7 already passes 2^32
  EXPECT_EQ(builder::ResourceName("/w/sounds/null_.wav"), "null_.wav");
  // Equal hashes: "az" and "b[" are the classic pair.
  EXPECT_EQ(builder::ResourceHash("/w/az.pcx"), builder::ResourceHash("/w/b[.pcx"));
}

TEST(ProjectList, ReadsGarbageAndWritesRelativePaths) {
  const std::string w = "/work/game/";
  builder::ProjectList list = builder::ParseList(
      "a.bmp|b.bmp|.\\projects\\x.prj|1|c.bmp\r\ngarbage\n\n|||1\r\n" + std::string(5000, 'x') + "|b|p|1\r\n", w);
  EXPECT_EQ(list[0].project, w + "projects/x.prj");
  EXPECT_TRUE(list[0].on);
  EXPECT_EQ(list[0].cutScene, "c.bmp");
  EXPECT_EQ(list[1].project, w + "projects/myprj/default_.prj");  // a line without fields: the default, off
  EXPECT_FALSE(list[1].on);
  EXPECT_FALSE(list[2].on);
  EXPECT_TRUE(list[3].on);
  EXPECT_EQ(list[3].project, "");
  EXPECT_EQ(list[4].loading, "");  // an over-long field reads as empty
  EXPECT_EQ(list[499].loading, w + "images/wait_.bmp");
  EXPECT_EQ(builder::LastPositionOn(list), 5);

  const std::string text = builder::FormatList(list, w);
  EXPECT_EQ(text.rfind("a.bmp|b.bmp|./projects/x.prj|1|c.bmp\r\n./images/wait_.bmp|./images/anykey_.bmp|"
                       "./projects/myprj/default_.prj|0|\r\n", 0), 0u);
  size_t lines = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++lines;
  EXPECT_EQ(lines, 500u);
  EXPECT_EQ(builder::FormatList(builder::ParseList(text, w), w), text);

  const builder::ProjectList fresh = builder::DefaultList(w);
  EXPECT_TRUE(fresh[0].on);
  EXPECT_EQ(builder::LastPositionOn(fresh), 1);
}

TEST(MeshTextures, KeepOnlyTheLastComponentOfEachName) {
  const std::string mesh = std::string("xof 0302txt\nTextureFilename { \"skin.BMP\"; }\n") +
                           "TextureFilename { \"../../etc/evil.bmp\"; }\nTextureFilename { \"C:\\\\art\\\\wall.ppm\"; }\n" +
                           std::string("\0raw.bmp", 8) + " \"skin.BMP\" \".bmp\" \"..\\.bmp\"";
  EXPECT_EQ(builder::MeshTextureNames(mesh), (std::vector<std::string>{"skin.BMP", "evil.bmp", "wall.ppm", "raw.bmp"}));
  EXPECT_TRUE(builder::MeshTextureNames(std::string(300, 'a') + ".bmp").empty());  // past 255 characters
  EXPECT_TRUE(builder::MeshTextureNames(".bm").empty());
}

TEST(VisualRewrite, ReplacesFields2And3And30UpToTheEmptyLine) {
  const std::string line = "1|a|b|4|5|6|7|8|9|10|11|12|13|14|15|16|17|18|19|20|21|22|23|24|25|26|27|28|29|c|31";
  const std::string text = line + "\r\n" + line + "\n\r\n" + line + "\r\n";
  const std::string out = builder::RewriteVisual(text, [](const std::string& field) { return "[" + field + "]"; });
  const std::string changed = "1|[a]|[b]|4|5|6|7|8|9|10|11|12|13|14|15|16|17|18|19|20|21|22|23|24|25|26|27|28|29|[c]|31";
  EXPECT_EQ(out, changed + "\r\n" + changed + "\n\r\n" + line + "\r\n");
}

TEST(WindowName, EveryFieldIsReplacedAndTheTitleCutAt32) {
  std::string binary = "xx" + builder::DefaultWindowNameField() + "yy" + builder::DefaultWindowNameField();
  EXPECT_EQ(builder::PatchWindowName(&binary, "The forty character title of this racer!"), 2);
  EXPECT_EQ(binary, "xxThe forty character title of thiyyThe forty character title of thi");
  EXPECT_EQ(builder::WindowNameField("Short"), "Short" + std::string(27, ' '));
}

// ---------------------------------------------------------------------------------------------
// vexel build end to end
// ---------------------------------------------------------------------------------------------

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The skeleton working folder with projects written from the one-camera project's record.
class BuildFolder : public TempFolder {
 public:
  BuildFolder() : TempFolder("vexel-build") {
    EXPECT_TRUE(CopyFrom(VEXEL_GAME_DIR));
    std::string text = ReadText(*this / "projects/myprj/default.prj");
    const size_t first = text.find("\r\n", text.find("\r\n") + 2) + 2;
    camera_ = text.substr(first, text.find("\r\n", first) - first);
  }
  // A project of elements given as (aspect, sound) with one brain for element 0.
  void Project(const std::string& name, const std::vector<std::pair<std::string, std::string>>& elements,
               const std::string& brain) const {
    std::string text = ";Test\r\n" + std::to_string(elements.size()) + "\r\n";
    for (size_t i = 0; i < elements.size(); ++i) {
      std::string record = model::SetElementField(camera_, 1, "E" + std::to_string(i));
      record = model::SetElementField(record, 2, elements[i].first);
      text += model::SetElementField(record, 3, elements[i].second) + "\r\n";
    }
    text += "./bckgrnds/bkgr000_.bmp|1|\r\n";
    for (size_t i = 0; i < elements.size(); ++i) text += "@" + std::to_string(i) + "\r\n" + (i == 0 ? brain : "");
    Put("projects/" + name, text);
  }
  void Put(const std::string& name, const std::string& bytes) const {
    core::MakeFolders((*this / name).substr(0, (*this / name).rfind('/')));
    ASSERT_TRUE(WriteText(*this / name, bytes));
  }
  std::string Name(const std::string& relative) const { return builder::ResourceName(Lower(path() + relative)); }

 private:
  std::string camera_;
};

constexpr const char* kCamera = "./cameras/default_.03d";
constexpr const char* kSilence = "./sounds/null_.wav";

TEST(VexelBuild, BuildsLevelsResourcesMeshesAndVisualsAndLeavesBrokenProjectsOut) {
  BuildFolder w;
  w.Put("sprites/Shared.pcx", "SHARED-PICTURE");
  w.Put("sounds/Boom.wav", "BOOM-SOUND!!");
  w.Put("sprites/az.pcx", "AZAZ");
  w.Put("sprites/b[.pcx", "BBBB");
  w.Put("xvisuals/ship.x", "xof 0302txt TextureFilename { \"skin.bmp\"; } TextureFilename { \"../../evil.bmp\"; }");
  w.Put("xvisuals/ship_002.x", "xof frame two");
  w.Put("xvisuals/ship_003.x", "xof frame three");
  w.Put("xvisuals/skin.bmp", "SKIN");
  w.Put("xvisuals/skin.pcx", "SKIN-PCX");
  w.Put("xvisuals/evil.bmp", "EVIL");
  w.Put("visuals/ring.v3d", "1|./images/Ring.bmp|./visuals/ring.3ds|1|3|0|0|0|0|0|0|25000|0|0|0|0|0|0|0|0|0|0|0|0|255|"
                            "255|255|0|1|./visuals/gone.3ds|0\r\n\r\n");
  w.Put("images/Ring.bmp", "RING");
  w.Put("visuals/ring.3ds", "MODEL");
  w.Project("one.prj",
            {{kCamera, kSilence},
             {"./sprites/Shared.pcx", "./sounds/Boom.wav"},
             {"./SPRITES/shared.pcx", "./sounds/gone.wav"},
             {"./sprites/az.pcx", "./sprites/b[.pcx"},
             {"./xvisuals/ship.x", kSilence},
             {"./visuals/ring.v3d", kSilence}},
            "");
  w.Project("three.prj", {{kCamera, kSilence}}, "");
  w.Project("four.prj", {{kCamera, kSilence}}, "x = = 1\r\n");
  w.Put("data/multilev.ini",
        "./images/wait_.bmp|./images/anykey_.bmp|./projects/one.prj|1|\r\n"
        "./images/wait_.bmp|./images/anykey_.bmp|./projects/three.prj|0|\r\n"
        "./images/wait_.bmp|./images/black_.bmp|./projects/three.prj|1|./images/cut.bmp\r\n"
        "./images/wait_.bmp|./images/anykey_.bmp|./projects/four.prj|1|\r\n");

  const std::string title = "The forty character title of this racer!";
  const auto run = RunProgram(VEXEL_VEXEL_BINARY, {"build", "--title", title, "--json", "--engine", VEXEL_MAIN_BINARY},
                              w.path());
  ASSERT_EQ(run.exitCode, 3) << run.err;
  const std::string g = w.path() + "vexelexe/";
  EXPECT_EQ(run.out, "{\"folder\": \"" + g + "\", \"title\": \"The forty character title of thi\", \"levels\": "
                     "[{\"position\": 1, \"project\": \"" + w.path() + "projects/one.prj\", \"file\": \"level001.prj\"}, "
                     "{\"position\": 3, \"project\": \"" + w.path() + "projects/three.prj\", \"file\": \"level003.prj\"}], "
                     "\"skipped\": [{\"position\": 4, \"project\": \"" + w.path() + "projects/four.prj\", \"error\": " +
                     run.out.substr(run.out.find("\"error\": ") + 9, run.out.find("}], \"netmode") - run.out.find("\"error\": ") - 9) +
                     "}], \"netmode\": false, \"clashes\": []}\n");
  EXPECT_NE(run.out.find("'E0' brain ERROR!"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("[message box] Zu-Teal: 'E0' brain ERROR!"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Compilation in progress... one\n"), std::string::npos) << run.err;
  EXPECT_EQ(ReadText(w / "data/curpaths.ini").find("\r\nThe forty character title of thi\r\n") != std::string::npos, true);

  EXPECT_TRUE(FileExistsAt(g + "level001.prj"));
  EXPECT_FALSE(FileExistsAt(g + "level002.prj"));
  EXPECT_TRUE(FileExistsAt(g + "level003.prj"));
  EXPECT_TRUE(FileExistsAt(g + "level003.col"));
  EXPECT_FALSE(FileExistsAt(g + "level004.prj"));
  const std::string list = ReadText(g + "multilev.ini");
  EXPECT_EQ(list.rfind("wait_.bmp|anykey_.bmp|\r\n||\r\nwait_.bmp|black_.bmp|./images/cut.bmp\r\n"
                       "wait_.bmp|anykey_.bmp|\r\n||\r\n", 0), 0u);
  EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 500);

  const auto unscrambled = [&](const std::string& name) {
    std::string bytes = ReadText(g + name);
    model::UnscrambleBytes(&bytes);
    return bytes;
  };
  // One file for the shared picture, reached through two spellings; the real file, not the placeholder.
  EXPECT_EQ(w.Name("sprites/Shared.pcx"), w.Name("SPRITES/shared.pcx"));
  EXPECT_EQ(unscrambled(w.Name("sprites/shared.pcx")), "SHARED-PICTURE");
  EXPECT_EQ(unscrambled(w.Name("sounds/boom.wav")), "BOOM-SOUND!!");
  // A missing sound: the folder's placeholder under the missing path's name.
  EXPECT_EQ(unscrambled(w.Name("sounds/gone.wav")), ReadText(w / "sounds/default_.wav"));
  // Equal hashes: the later one moves to the next free name.
  const std::string az = w.Name("sprites/az.pcx");
  EXPECT_EQ(unscrambled(az), "AZAZ");
  char next[16];
  std::snprintf(next, sizeof next, "%08X.dat", builder::ResourceHash(Lower(w.path() + "sprites/b[.pcx")) + 1);
  EXPECT_EQ(unscrambled(next), "BBBB");
  // The mesh, its frames, its texture with the .pcx copy, and the "../" texture kept inside.
  EXPECT_EQ(unscrambled("ship.x").rfind("xof 0302txt", 0), 0u);
  EXPECT_EQ(unscrambled("ship_002.x"), "xof frame two");
  EXPECT_EQ(unscrambled("ship_003.x"), "xof frame three");
  EXPECT_EQ(unscrambled("skin.bmp"), "SKIN");
  EXPECT_EQ(ReadText(g + "skin.pcx"), "SKIN-PCX");
  EXPECT_EQ(unscrambled("evil.bmp"), "EVIL");
  EXPECT_FALSE(FileExistsAt(w.path() + "evil.bmp"));
  // The visual, unscrambled, naming its files by their game names; a missing model is the placeholder.
  const std::string visual = ReadText(g + w.Name("visuals/ring.v3d"));
  EXPECT_EQ(visual, "1|./" + w.Name("images/ring.bmp") + "|./" + w.Name("visuals/ring.3ds") +
                        "|1|3|0|0|0|0|0|0|25000|0|0|0|0|0|0|0|0|0|0|0|0|255|255|255|0|1|./" + w.Name("visuals/gone.3ds") +
                        "|0\r\n\r\n");
  EXPECT_EQ(unscrambled(w.Name("visuals/gone.3ds")), ReadText(w / "visuals/default_.3ds"));
  EXPECT_EQ(unscrambled(w.Name("images/ring.bmp")), "RING");
  // The level names the game files.
  const std::string level = unscrambled("level001.prj");
  EXPECT_NE(level.find("E1|./" + w.Name("sprites/shared.pcx") + "|./" + w.Name("sounds/boom.wav") + "|"), std::string::npos)
      << level;
  EXPECT_NE(level.find("E4|./ship.x|./null_.wav|"), std::string::npos) << level;
  EXPECT_NE(level.find("\r\n./" + w.Name("bckgrnds/bkgr000_.bmp") + "|1|\r\n"), std::string::npos);
  // The engine's files, the play font among them; the engine copy is executable.
  for (const char* name : {"font.fnt", "font8.fnt", "sinus.bin", "resume_.bmp", "end_.bmp", "hood4b.x"}) {
    EXPECT_TRUE(FileExistsAt(g + name)) << name;
  }
  struct stat info {};
  ASSERT_EQ(stat((g + "vexelexe").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0755u);
  // No brain working copies are left behind.
  for (const std::string& file : w.Files()) EXPECT_FALSE(file.ends_with(".bra")) << file;
}

// The built game runs on its engine copy: the levels chain with their globals, and the boxes carry
// the game's title. A build that fails afterwards leaves that game as it was.
TEST(VexelBuild, TheBuiltGamePlaysWithItsTitleAndAFailedBuildKeepsIt) {
  BuildFolder w;
  w.Project("a.prj", {{kCamera, kSilence}}, "global_add(0, 1)\r\nexit(2)\r\n");
  w.Project("b.prj", {{kCamera, kSilence}}, "global_add(0, 10)\r\nexit(3)\r\n");
  w.Project("broken.prj", {{kCamera, kSilence}}, "x = = 1\r\n");
  w.Put("multilev/chain.mlv", "./images/wait_.bmp|./images/black_.bmp|./projects/a.prj|1|\r\n"
                              "./images/wait_.bmp|./images/black_.bmp|./projects/b.prj|1|\r\n");
  w.Put("multilev/broken.mlv", "./images/wait_.bmp|./images/black_.bmp|./projects/broken.prj|1|\r\n");
  app::EngineSettings settings;
  settings.renderingDevice = 0;
  ASSERT_TRUE(app::WriteEngineSettings(w / "config.ini", settings));
  auto run = RunProgram(VEXEL_VEXEL_BINARY,
                        {"build", "--list", "multilev/chain.mlv", "--title", "Dune Racer", "--engine", VEXEL_MAIN_BINARY},
                        w.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("You can run the project by executing the vexelexe file"), std::string::npos);
  const std::string g = w.path() + "vexelexe/";

  run = RunProgram(g + "vexelexe", {"--headless", "--ticks", "50"}, g);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("[message box] Dune Racer: Sub-project 003 not found, error! ->  OK "), std::string::npos)
      << run.err;
  const std::string globals = ReadText(g + "globvars.dat");
  ASSERT_EQ(globals.size(), 8192u);
  EXPECT_EQ(globals[0], 5 * 1 + 5 * 10);  // four settling steps and one loop step each

  // Nothing compiles, or the engine is missing: exit 1, and the game stays as it was.
  ASSERT_TRUE(WriteText(g + "keep.txt", "kept"));
  run = RunProgram(VEXEL_VEXEL_BINARY, {"build", "--list", "multilev/broken.mlv", "--engine", VEXEL_MAIN_BINARY},
                   w.path());
  EXPECT_EQ(run.exitCode, 1) << run.err;
  run = RunProgram(VEXEL_VEXEL_BINARY, {"build", "--list", "multilev/chain.mlv", "--engine", g + "none"}, w.path());
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_EQ(ReadText(g + "keep.txt"), "kept");
  EXPECT_TRUE(FileExistsAt(g + "level002.prj"));
  for (const std::string& file : w.Files()) EXPECT_EQ(file.find("vexelexe.build-"), std::string::npos) << file;

  // A build that succeeds replaces the whole folder.
  run = RunProgram(VEXEL_VEXEL_BINARY, {"build", "--list", "multilev/chain.mlv", "--engine", VEXEL_MAIN_BINARY}, w.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_FALSE(FileExistsAt(g + "keep.txt"));
}

}  // namespace

namespace {

// The list editor's actions write data/multilev.ini at once; the title lives in curpaths.ini.
TEST(ListEditor, EveryChangeIsWrittenAndSavedListsLoadBack) {
  BuildFolder w;
  builder::ListEditor editor(w.path(), w.path() + "data/");
  editor.Open();
  EXPECT_TRUE(editor.list()[0].on);  // no list yet: the default, position 1 on
  ASSERT_TRUE(editor.Toggle(3));
  ASSERT_TRUE(editor.SetColumn(3, 3, w.path() + "projects/three.prj"));
  EXPECT_FALSE(editor.SetColumn(501, 3, "x"));
  const builder::ProjectList written = builder::ParseList(ReadText(w / "data/multilev.ini"), w.path());
  EXPECT_TRUE(written[2].on);
  EXPECT_EQ(written[2].project, w.path() + "projects/three.prj");

  ASSERT_TRUE(editor.Save("mine"));
  EXPECT_TRUE(editor.SavedListExists("mine"));
  EXPECT_FALSE(editor.Save("../outside"));
  ASSERT_TRUE(editor.Reset());
  EXPECT_FALSE(builder::ParseList(ReadText(w / "data/multilev.ini"), w.path())[2].on);
  ASSERT_TRUE(editor.Load(builder::SavedListPath(w.path(), "mine")));
  EXPECT_TRUE(builder::ParseList(ReadText(w / "data/multilev.ini"), w.path())[2].on);

  ASSERT_TRUE(editor.SetTitle("Dune Racer"));
  builder::ListEditor again(w.path(), w.path() + "data/");
  again.Open();
  EXPECT_EQ(again.title(), "Dune Racer");
  for (int i = 0; i < 30; ++i) again.NextPage();
  EXPECT_EQ(again.page(), 24);
}

// Every file of the game folder with its bytes, by name.
std::map<std::string, std::string> GameFiles(const BuildFolder& w) {
  std::map<std::string, std::string> files;
  const std::string g = "vexelexe/";
  for (const std::string& file : w.Files()) {
    if (file.rfind(g, 0) == 0) files[file.substr(g.size())] = ReadText(w / file);
  }
  return files;
}

// Run mode 6: X on the list editor's screen, then CONTINUE, NO to the screen saver and OK build
// the very folder vexel build makes of the same list.
TEST(BuilderTool, RunMode6BuildsTheListAfterItsQuestions) {
  BuildFolder w;
  w.Project("a.prj", {{kCamera, kSilence}, {"./sprites/Shared.pcx", kSilence}}, "");
  w.Put("sprites/Shared.pcx", "SHARED-PICTURE");
  w.Put("data/multilev.ini", "./images/wait_.bmp|./images/black_.bmp|./projects/a.prj|1|\r\n");
  w.Put("runmode.ini", "projects/a.prj\r\n6\r\n0\r\n0\r\n0\r\n");
  w.Put("data/ssmod.bin", "SCREEN-SAVER");
  app::EngineSettings settings;  // the engine writes its settings at start-up: have them before both builds
  settings.renderingDevice = 0;
  ASSERT_TRUE(app::WriteEngineSettings(w / "config.ini", settings));
  auto run = RunProgram(VEXEL_VEXEL_BINARY, {"build", "--engine", VEXEL_MAIN_BINARY}, w.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::map<std::string, std::string> built = GameFiles(w);
  std::error_code error;
  ASSERT_GT(std::filesystem::remove_all(w.path() + "vexelexe", error), 0u);

  w.Put("script.txt", "@60 key X\nanswer \" CONTINUE \"\nanswer \" NO \"\nanswer \" OK \"\n");
  run = RunProgram(VEXEL_MAIN_BINARY, {"--headless", "--input", "script.txt"}, w.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("Executable compilation. Please confirm: ->  CONTINUE "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("You can run the project by executing the vexelexe file"), std::string::npos) << run.err;
  EXPECT_FALSE(FileExistsAt(w.path() + "vexelexe/vexelexe.scr"));
  const std::map<std::string, std::string> again = GameFiles(w);
  EXPECT_TRUE(again.count("level001.prj") == 1 && again.count("vexelexe") == 1);
  for (const auto& [name, bytes] : built) EXPECT_TRUE(again.count(name) == 1 && again.at(name) == bytes) << name;
  for (const auto& [name, bytes] : again) EXPECT_EQ(built.count(name), 1u) << name;
}

// The list editor's screen: a click on a position's On/Off column flips it, Page Down shows
// positions 21-40, the menu names the game, S saves the list under a name; every change is in
// data/multilev.ini at once. Without input to come the screen closes without building anything.
TEST(BuilderTool, TheListEditorScreenEditsByMouseKeysAndMenu) {
  BuildFolder w;
  w.Put("runmode.ini", "projects/myprj/default.prj\r\n6\r\n0\r\n0\r\n0\r\n");
  // Row 1 of a page lies at y 80-97, the On/Off column at x 488-527; the Menu button at (8-87, 34-56).
  w.Put("script.txt",
        "@60 click 500 88\n@64 key PAGEDOWN\n@68 click 500 107\n@72 click 40 45\n@76 key S\n"
        "answer \"Executable Name\"\nanswer \"Dune Racer\"\nanswer \"mine\"\n");
  const auto run = RunProgram(VEXEL_MAIN_BINARY, {"--headless", "--input", "script.txt"}, w.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const builder::ProjectList list = builder::ParseList(ReadText(w / "data/multilev.ini"), w.path());
  EXPECT_FALSE(list[0].on);   // position 1 switched off
  EXPECT_TRUE(list[21].on);   // the second row of page 2
  EXPECT_FALSE(list[20].on);
  EXPECT_NE(ReadText(w / "data/curpaths.ini").find("\r\nDune Racer\r\n"), std::string::npos);
  EXPECT_EQ(ReadText(w / "multilev/mine.mlv"), ReadText(w / "data/multilev.ini"));
  EXPECT_NE(run.err.find("[input] Save the current projects list as.. -> mine"), std::string::npos) << run.err;
  EXPECT_FALSE(FileExistsAt(w.path() + "vexelexe/vexelexe"));
}

}  // namespace
