// Collisions in a real play: two elements the collision map pairs, moving toward each other and
// rebounding when their brains see the collision; two .x cubes tested polygon against polygon. The
// answers are read back from the state dump of `vexel play`.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/core.h"
#include "model/model.h"
#include "support/run_program.h"
#include "support/work_folder.h"

namespace {

using testing_support::DumpWord;
using testing_support::ReadText;
using testing_support::WorkFolder;
using testing_support::WriteText;

// The map of projects/myprj/balls.col: only the pair (1, 2), colour number 1.
void WriteMap(const WorkFolder& folder, const std::string& name) {
  std::string map(65536, '\0');
  map[1 * 256 + 2] = 1;
  ASSERT_TRUE(WriteText(folder / ("projects/myprj/" + name), map));
}

std::string Member(const std::string& dump, const std::string& key) {
  const size_t at = dump.find("\"" + key + "\": ");
  if (at == std::string::npos) return "";
  return dump.substr(at, dump.find('\n', at) - at);
}

// Ball A at x = 0 moving +1 m/s (17067 a tick), ball B at 1 m moving -1 m/s, radii 100 mm. The
// four settling steps move them without a pass; loop tick k's pass sees A at 17067 (3 + k) and B
// mirrored, 512000 - 34134 (3 + k) apart: 266 mm at tick 8, 199 mm at tick 9, a hit. A's brain
// then rebounds (head on: the x velocities swap) and both move on.
TEST(CollisionPlay, BallsReboundOnTheTickTheirPassFindsThem) {
  for (const int ticks : {9, 10}) {
    SCOPED_TRACE(ticks);
    WorkFolder folder(13);
    const std::string moveA = "if collision(element, 4)\r\nrebound(element, element#1)\r\nendif\r\nvelocity_update(element)\r\n";
    testing_support::WriteTestProject(
        folder,
        {{"Camera", {{4, "-"}}, ""},
         {"A", {{4, "-"}, {5, "0"}, {17, "1"}, {31, "2"}, {32, "0.1"}}, moveA},
         {"B", {{4, "-"}, {5, "1"}, {17, "-1"}, {31, "4"}, {32, "0.1"}}, "velocity_update(element)\r\n"}},
        "projects/myprj/balls.prj");
    WriteMap(folder, "balls.col");
    const auto run = testing_support::RunProgram(
        VEXEL_VEXEL_BINARY, {"play", "projects/myprj/balls.prj", "--ticks", std::to_string(ticks), "--dump", "d.json"},
        folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string dump = ReadText(folder / "d.json");
    if (ticks == 9) {
      EXPECT_EQ(DumpWord(dump, model::kWordPositionX, 1), 17067 * 11);
      EXPECT_EQ(DumpWord(dump, model::kWordPositionX, 2), 512000 - 17067 * 11);
      EXPECT_EQ(DumpWord(dump, model::kWordVelocityX, 1), -17067);
      EXPECT_EQ(DumpWord(dump, model::kWordVelocityX, 2), 17067);
      EXPECT_EQ(DumpWord(dump, model::kWordCollisions, 1), 4);
      EXPECT_EQ(DumpWord(dump, model::kWordCollisions, 2), 2);
      EXPECT_EQ(DumpWord(dump, model::kWordRadius, 1), 100);
      EXPECT_EQ(Member(dump, "collision_pairs"), "\"collision_pairs\": [[2, 1, 183, 183]],");
    } else {
      EXPECT_EQ(DumpWord(dump, model::kWordPositionX, 1), 17067 * 10);
      EXPECT_EQ(DumpWord(dump, model::kWordVelocityX, 1), -17067);
      EXPECT_EQ(DumpWord(dump, model::kWordCollisions, 1), 0);
      EXPECT_EQ(DumpWord(dump, model::kWordCollisions, 2), 0);
      EXPECT_EQ(Member(dump, "collision_pairs"), "\"collision_pairs\": [[2, 1, 183, 0]],");
    }
    EXPECT_EQ(Member(dump, "ground"), "\"ground\": {\"mesh\": -1, \"volume\": -1, \"rebound_yr_divisor\": 250},");
  }
}

// A unit cube as a .x mesh: vertex i has x, y, z = +-0.5 by its bits 0, 1, 2.
constexpr const char* kCube =
    "xof 0302txt 0032\n"
    "Mesh {\n 8;\n"
    " -0.5;-0.5;-0.5;, 0.5;-0.5;-0.5;, -0.5;0.5;-0.5;, 0.5;0.5;-0.5;,\n"
    " -0.5;-0.5;0.5;, 0.5;-0.5;0.5;, -0.5;0.5;0.5;, 0.5;0.5;0.5;;\n"
    " 12;\n"
    " 3;0,2,1;, 3;1,2,3;, 3;4,5,6;, 3;5,7,6;, 3;0,1,4;, 3;1,5,4;,\n"
    " 3;2,6,3;, 3;3,6,7;, 3;0,4,2;, 3;2,4,6;, 3;1,3,5;, 3;3,7,5;;\n"
    "}\n";

// Cube A at the origin, cube B at (0.8, 0.2, 0.1) m: the boxes overlap over x 0.3..0.5, y -0.3..0.5,
// z -0.4..0.5, centre (0.4, 0.1, 0.05) m. B's brain moves it 3 m away at its tenth run.
TEST(CollisionPlay, CubesTouchPolygonAgainstPolygonAfterTheFirstFiveTicks) {
  WorkFolder folder(13);
  ASSERT_TRUE(WriteText(folder / "cube.x", kCube));
  const std::string brainA =
      "var n\r\nvar first\r\nvar hit\r\nvar px\r\nvar py\r\nvar pz\r\nvar ax\r\nvar bx\r\nvar bz\r\n"
      "var n1x\r\nvar n1y\r\nvar n1z\r\nvar n2x\r\nvar boxhit\r\n"
      "n = n + 1\r\n"
      "h_cpart1_set(0, -1, -1, -1, 0)\r\nh_cpart2_set(0, -1, -1, -1, 0)\r\n"
      "boxhit = h_poly_collision(element, element#1, 1)\r\n"
      "hit = h_poly_collision(element, element#1, 0)\r\n"
      "if hit\r\nif first = 0\r\nfirst = n\r\n"
      "px = h_cpoint_x(0)\r\npy = h_cpoint_y(0)\r\npz = h_cpoint_z(0)\r\nax = h_cpoint_x(1)\r\n"
      "bx = h_cpoint_x(2)\r\nbz = h_cpoint_z(2)\r\n"
      "n1x = h_cnormal_x(1)\r\nn1y = h_cnormal_y(1)\r\nn1z = h_cnormal_z(1)\r\nn2x = h_cnormal_x(2)\r\n"
      "endif\r\nendif\r\n";
  const std::string brainB = "var m\r\nm = m + 1\r\nif m = 10\r\nposition_x_set(element, 1536000)\r\nendif\r\n";
  const std::string cube = folder / "cube.x";
  testing_support::WriteTestProject(
      folder,
      {{"Camera", {{4, "-"}, {7, "-5"}}, ""},
       {"A", {{2, cube}, {4, "-"}, {36, "13"}}, brainA},
       {"B", {{2, cube}, {4, "-"}, {5, "0.8"}, {6, "0.2"}, {7, "0.1"}, {36, "13"}}, brainB}},
      "projects/myprj/cubes.prj");
  const auto run = testing_support::RunProgram(
      VEXEL_VEXEL_BINARY, {"play", "projects/myprj/cubes.prj", "--ticks", "12", "--dump", "d.json"}, folder.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string dump = ReadText(folder / "d.json");
  auto variable = [&](int k) { return DumpWord(dump, 255 - k, 1); };  // k-th declaration from 0
  EXPECT_EQ(variable(0), 16);  // 4 settling steps and 12 ticks
  EXPECT_EQ(variable(1), 6);   // five steps answer 0 whatever the objects
  EXPECT_EQ(variable(3), 204800);
  EXPECT_EQ(variable(4), 51200);
  EXPECT_EQ(variable(5), 25600);
  EXPECT_EQ(variable(6), 204800);   // relative to A, unturned
  EXPECT_EQ(variable(7), -204800);  // relative to B
  EXPECT_EQ(variable(8), -25600);
  // A meets B with its +x, +y and +z faces: its averaged normal has three positive parts; B's
  // points the other way.
  EXPECT_GT(variable(9), 0);
  EXPECT_GT(variable(10), 0);
  EXPECT_GT(variable(11), 0);
  EXPECT_LT(variable(12), 0);
  // B moved away at its tenth run: once the scene has placed it there, neither test finds a touch.
  EXPECT_EQ(variable(2), 0);
  EXPECT_EQ(variable(13), 0);
}

}  // namespace
