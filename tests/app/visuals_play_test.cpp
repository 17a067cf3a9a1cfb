// Visuals at play start, end to end: the box words of a visual element and of a .x element, the
// aspect slot words, and the fallbacks of missing files, read back from a state dump.
#include <gtest/gtest.h>

#include <string>

#include "core/core.h"
#include "support/model_3ds_bytes.h"
#include "model/model.h"
#include "support/run_program.h"
#include "support/work_folder.h"

namespace {

using testing_support::DumpWord;
using testing_support::ReadText;
using testing_support::RunProgram;
using testing_support::WorkFolder;
using testing_support::WriteText;

constexpr int kVisual = 11;
constexpr int kMeshes = 13;

std::string Part(int frame, const std::string& source) {
  return std::to_string(frame) + "|./images/none.bmp|" + source +
         "|0|3|0|0|0|0|0|0|25000|0|0|0|0|0|0|0|0|0|0|0|0|255|255|255|0|1|" + source + "|0\r\n";
}

TEST(VisualsPlay, BoxesSlotsAndFallbacks) {
  WorkFolder folder(1);
  // One triangle: the file's (x, y, z) are stored (x, z, y); in millimetres the box is
  // max (1000, 3000, 2000), min (-1000, 500, -2000).
  ASSERT_TRUE(WriteText(folder / "3dsfiles/tri.3ds",
                        testing_support::Model3ds({{1, 2, 3}, {-1, 0, 0.5f}, {0, -2, 1}}, {{0, 1, 2}})));
  ASSERT_TRUE(WriteText(folder / "visuals/tri.v3d", Part(1, "./3dsfiles/tri.3ds") + Part(2, "./3dsfiles/tri.3ds") +
                                                        Part(2, "./3dsfiles/tri.3ds")));
  ASSERT_TRUE(core::MakeFolders(folder / "objects"));
  ASSERT_TRUE(WriteText(folder / "objects/ship.txt", "box\r\n10\r\n-10\r\n20\r\n-20\r\n30\r\n-30\r\n"));
  testing_support::WriteTestProject(folder, {{"Camera", {}, ""},
                                             {"Tri", {{2, "./visuals/tri.v3d"}, {36, std::to_string(kVisual)}}, ""},
                                             {"Ship", {{2, "./objects/ship.x"}, {36, std::to_string(kMeshes)}}, ""},
                                             {"Lost", {{2, "./visuals/lost.v3d"}, {36, std::to_string(kVisual)}}, ""},
                                             {"Tri2", {{2, "./visuals/tri.v3d"}, {36, std::to_string(kVisual)}}, ""}});
  const auto run = RunProgram(VEXEL_VEXEL_BINARY, {"play", "projects/myprj/default.prj", "--ticks", "1", "--dump", "d.json"},
                              folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string dump = ReadText(folder / "d.json");

  const int32_t triBox[6] = {1000, 3000, 2000, -1000, 500, -2000};
  for (int w = 0; w < 6; ++w) EXPECT_EQ(DumpWord(dump, 15 + w, 1), triBox[w]) << "word " << 15 + w;
  const int32_t shipBox[6] = {10, 20, 30, -10, -20, -30};
  for (int w = 0; w < 6; ++w) EXPECT_EQ(DumpWord(dump, 15 + w, 2), shipBox[w]) << "word " << 15 + w;
  EXPECT_EQ(DumpWord(dump, model::kWordLastFrame, 1), 2);
  // Slots in element order: Tri's two frames, the ship's one (its file is missing: an empty frame),
  // the default visual's one frame, Tri2's two.
  const int32_t first = DumpWord(dump, model::kWordFirstAspect, 1);
  EXPECT_EQ(DumpWord(dump, model::kWordCurrentAspect, 1), first);
  EXPECT_EQ(DumpWord(dump, model::kWordFirstAspect, 2), first + 2 * 64);
  EXPECT_EQ(DumpWord(dump, model::kWordFirstAspect, 3), first + 3 * 64);
  EXPECT_EQ(DumpWord(dump, model::kWordFirstAspect, 4), first + 4 * 64);

  // The missing .v3d reads the default visual: the same box as the command shows for it.
  const auto shown = RunProgram(VEXEL_VEXEL_BINARY, {"visual", "show", "visuals/default_.v3d", "--json"}, folder.path());
  ASSERT_EQ(shown.exitCode, 0) << shown.err;
  const size_t box = shown.out.find("\"box\": {\"max\": [");
  ASSERT_NE(box, std::string::npos) << shown.out;
  EXPECT_EQ(std::atoi(shown.out.c_str() + box + 16), DumpWord(dump, 15, 3)) << shown.out;
}

}  // namespace
