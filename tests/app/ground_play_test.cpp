// Boundary ground maps at play start, end to end: the build with its notices, the skip while the
// source is unchanged, the rebuild of a damaged map and after a one-byte change, a source that is
// no model, a damaged map replaced by the default one; and the vexel ground command.
#include <gtest/gtest.h>

#include <string>

#include "core/core.h"
#include "model/model.h"
#include "support/model_3ds_bytes.h"
#include "support/run_program.h"
#include "support/work_folder.h"

namespace {

using testing_support::DumpWord;
using testing_support::ReadText;
using testing_support::RunProgram;
using testing_support::WorkFolder;
using testing_support::WriteText;

constexpr const char* kBuildNotice =
    "[notice] Initializing boundary element ground|This is a once-and-for-all operation, please wait...\n";

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(GroundPlay, BuiltOncePerChangeOfTheSource) {
  WorkFolder folder(1);
  // A 4 m square of ground at height 0 (the file's z is up).
  std::string mesh = testing_support::Model3ds({{-2, -2, 0}, {2, -2, 0}, {-2, 2, 0}, {2, 2, 0}}, {{0, 1, 2}, {1, 3, 2}});
  ASSERT_TRUE(WriteText(folder / "grndmaps/ground.3ds", mesh));
  ASSERT_TRUE(WriteText(folder / "grndmaps/broken.m3d", "not a map"));
  testing_support::WriteTestProject(folder, {{"Camera", {}, ""},
                                             {"Ground", {{2, "./grndmaps/ground.m3d"}, {36, "12"}}, ""},
                                             {"Broken", {{2, "./grndmaps/broken.m3d"}, {36, "12"}}, ""}});
  auto play = [&] {
    return RunProgram(VEXEL_VEXEL_BINARY, {"play", "projects/myprj/default.prj", "--ticks", "1", "--dump", "d.json"},
                      folder.path());
  };

  auto run = play();
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Count(run.err, "Initializing boundary element"), 1u) << run.err;
  const size_t notice = run.err.find(kBuildNotice);
  ASSERT_NE(notice, std::string::npos) << run.err;
  EXPECT_NE(run.err.find("[notice] Loading data, please wait...", notice), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("broken.m3d of element 2 cannot be used (shorter than a header"), std::string::npos) << run.err;
  const std::string built = ReadText(folder / "grndmaps/ground.m3d");
  model::GroundMap map;
  ASSERT_TRUE(model::DecodeGroundMap(built, &map, nullptr));
  EXPECT_EQ(map.width, 4000);
  EXPECT_EQ(map.triangles.size(), 2u);
  EXPECT_EQ(map.checksum, model::GroundSourceChecksum(mesh));
  // Each boundary element has its own slot, one after the other.
  std::string dump = ReadText(folder / "d.json");
  const int32_t slot = DumpWord(dump, model::kWordFirstAspect, 1);
  EXPECT_NE(slot, 0);
  EXPECT_EQ(DumpWord(dump, model::kWordCurrentAspect, 1), slot);
  EXPECT_EQ(DumpWord(dump, model::kWordFirstAspect, 2), slot + 64);

  run = play();
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err.find("Initializing boundary element"), std::string::npos) << "unchanged source: " << run.err;

  // A cut-short map still carrying the source's checksum is rebuilt, not kept for ever.
  ASSERT_TRUE(WriteText(folder / "grndmaps/ground.m3d", built.substr(0, 1000)));
  run = play();
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find(kBuildNotice), std::string::npos) << run.err;
  EXPECT_EQ(ReadText(folder / "grndmaps/ground.m3d"), built);

  // One byte of a complete word (the low byte of the x of vertex (2, 2, 0)): the map is built again.
  const size_t two = mesh.find(std::string("\0\0\0\x40\0\0\0\x40\0\0\0\0", 12));
  ASSERT_LT(two, mesh.size() / 4 * 4);
  mesh[two] = 1;
  ASSERT_TRUE(WriteText(folder / "grndmaps/ground.3ds", mesh));
  run = play();
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find(kBuildNotice), std::string::npos) << run.err;
  EXPECT_EQ(model::StoredGroundChecksum(folder / "grndmaps/ground.m3d"), model::GroundSourceChecksum(mesh));

  // A source that is no model keeps the map as it is, and says so.
  const std::string kept = ReadText(folder / "grndmaps/ground.m3d");
  ASSERT_TRUE(WriteText(folder / "grndmaps/ground.3ds", "no model at all"));
  run = play();
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("ground.3ds is no model; its ground map was not rebuilt"), std::string::npos) << run.err;
  EXPECT_EQ(ReadText(folder / "grndmaps/ground.m3d"), kept);
}

TEST(GroundPlay, CommandBuildsShowsAndAnswersHeights) {
  WorkFolder folder(1);
  // A ramp rising 1 m over 2 m towards +x, over a flat square; the file's z is up.
  ASSERT_TRUE(WriteText(folder / "mesh.3ds",
                        testing_support::Model3ds({{0, 0, 0}, {2, 0, 1}, {0, 2, 0}, {-2, -2, -1}, {2, -2, -1}, {-2, 2, -1}},
                                                  {{0, 1, 2}, {3, 4, 5}})));
  auto run = RunProgram(VEXEL_VEXEL_BINARY, {"ground", "build", "mesh.3ds", "--json"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("{\"triangles\": 2, \"width\": 4000, \"checksum\": "), std::string::npos) << run.out;
  run = RunProgram(VEXEL_VEXEL_BINARY, {"ground", "show", "mesh.m3d", "--json"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("\"triangles\": [[0, 0, 0, 2000, 1000, 0, 0, 0, 2000], [-2000, -1000, -2000"),
            std::string::npos) << run.out;
  EXPECT_NE(run.out.find("[64, 64, [0, 1]]"), std::string::npos) << run.out;
  // At x = 500 mm, z = 500 mm: the ramp at 250 mm is within the radius above the element.
  run = RunProgram(VEXEL_VEXEL_BINARY, {"ground", "height", "mesh.m3d", "256000", "256000", "--y", "-512", "--radius",
                                        "512000"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "height 128000 bucket 80 80 triangle 0 slope 20607\n");  // 46080 x 2 / sqrt(20) = 20607.6
  // Negative coordinates are coordinates; only the flat square lies under (-1000, -1000) mm.
  run = RunProgram(VEXEL_VEXEL_BINARY, {"ground", "height", "mesh.m3d", "-512000", "-512000", "--json"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "{\"height\": -512000, \"bucket\": [32, 32], \"triangle\": 1, \"slope\": 0}\n");
  // A mesh that is no model builds nothing; a damaged map is refused with its reason.
  ASSERT_TRUE(WriteText(folder / "junk.3ds", "junk"));
  run = RunProgram(VEXEL_VEXEL_BINARY, {"ground", "build", "junk.3ds"}, folder.path());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("is no model"), std::string::npos) << run.err;
  EXPECT_FALSE(core::FileExists(folder / "junk.m3d"));
  run = RunProgram(VEXEL_VEXEL_BINARY, {"ground", "show", "junk.3ds"}, folder.path());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("shorter than a header"), std::string::npos) << run.err;
}

// The volume test on a map file: a closed box x, z -1000..1000 mm, y 0..1000 mm whose top faces
// up and bottom down, asked at x = 200 mm, z = -100 mm (over triangles 1 and 3).
TEST(GroundPlay, CommandAnswersTheVolumeTest) {
  WorkFolder folder(1);
  std::vector<model::GroundTriangle> box = {
      {{-1000, 1000, -1000, -1000, 1000, 1000, 1000, 1000, -1000}}, {{1000, 1000, 1000, 1000, 1000, -1000, -1000, 1000, 1000}},
      {{-1000, 0, -1000, 1000, 0, -1000, -1000, 0, 1000}}, {{1000, 0, 1000, -1000, 0, 1000, 1000, 0, -1000}}};
  ASSERT_TRUE(model::WriteGroundMap(folder / "box.m3d", model::BuildGroundMap(box, false, 0), nullptr));
  auto run = RunProgram(VEXEL_VEXEL_BINARY, {"ground", "inside", "box.m3d", "102400", "256000", "-51200"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "inside\n");
  run = RunProgram(VEXEL_VEXEL_BINARY, {"ground", "inside", "box.m3d", "102400", "563200", "-51200", "--json"}, folder.path());
  EXPECT_EQ(run.out, "{\"inside\": false, \"above\": -1, \"below\": 1}\n");
  // 100 mm above the top: inside once the below tolerance is past -100 mm.
  run = RunProgram(VEXEL_VEXEL_BINARY, {"ground", "inside", "box.m3d", "102400", "563200", "-51200", "--below", "-51201"},
                   folder.path());
  EXPECT_EQ(run.out, "inside\n");
  run = RunProgram(VEXEL_VEXEL_BINARY, {"ground", "inside", "box.m3d", "102400", "-51200", "-51200", "--above", "51200",
                                        "--json"}, folder.path());
  EXPECT_EQ(run.out, "{\"inside\": true, \"above\": 3, \"below\": -1}\n");
  run = RunProgram(VEXEL_VEXEL_BINARY, {"ground", "inside", "box.m3d", "1"}, folder.path());
  EXPECT_EQ(run.exitCode, 2);
}

}  // namespace
