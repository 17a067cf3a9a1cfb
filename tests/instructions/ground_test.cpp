// Ground and volumes: heights over a hand-built ground map (a ramp and two stacked floors) and a
// ground grid, slopes, seating on the ramp, the volume test on a closed box and the rebounds and
// slides off it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "instructions/routine_fixture.h"

namespace {

using model::GroundTriangle;

// Two triangles covering x0..x1, z0..z1 at heights y(x) = a + b x (millimetres), listed so that
// their facing value C is positive (up) or, with `down`, negative.
void Quad(std::vector<GroundTriangle>* out, int32_t x0, int32_t x1, int32_t z0, int32_t z1, int32_t a, int32_t bNum,
          int32_t bDen, bool down = false) {
  auto y = [&](int32_t x) { return a + x * bNum / bDen; };
  GroundTriangle t1{{x0, y(x0), z0, x0, y(x0), z1, x1, y(x1), z0}};
  GroundTriangle t2{{x1, y(x1), z1, x1, y(x1), z0, x0, y(x0), z1}};
  if (down) {
    for (GroundTriangle* t : {&t1, &t2}) {
      for (int k = 0; k < 3; ++k) std::swap(t->v[3 + k], t->v[6 + k]);
    }
  }
  out->push_back(t1);
  out->push_back(t2);
}

constexpr int32_t kMm = 512;

class Ground : public testing_support::RoutineTest {
 protected:
  void SetUp() override {
    RoutineTest::SetUp();
    engine.project.records.resize(8);
    for (int e = 0; e < 8; ++e) Record(e)[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
  }
  // Gives element e the ground map of `triangles`, after the map has gone through the file form
  // and its checked loader.
  void GiveMap(int e, const std::vector<GroundTriangle>& triangles) {
    const model::GroundMap built = model::BuildGroundMap(triangles, false, 0);
    model::GroundMap loaded;
    std::string reason;
    ASSERT_TRUE(model::DecodeGroundMap(model::EncodeGroundMap(built), &loaded, &reason)) << reason;
    engine.play->groundMaps.push_back(std::move(loaded));
    auto* slot = arena.As<int32_t>(core::Region::kAspectSlots) + 16 * e;
    slot[model::kGroundWordTag] = static_cast<int32_t>(model::kGroundTag);
    slot[model::kGroundWordTriangles] = static_cast<int32_t>(engine.play->groundMaps.size());
    slot[model::kGroundWordIndex] = slot[model::kGroundWordTriangles];
    Record(e)[model::kWordCurrentAspect] = static_cast<int32_t>(arena.Address(core::Region::kAspectSlots) + 64u * e);
  }
  // A ramp y = x / 4 over x 0..2000, and floors at 0 and 500 over x -2000..-1000; z -1000..1000.
  void RampAndFloors() {
    std::vector<GroundTriangle> t;
    Quad(&t, 0, 2000, -1000, 1000, 0, 1, 4);
    Quad(&t, -2000, -1000, -1000, 1000, 0, 0, 1);
    Quad(&t, -2000, -1000, -1000, 1000, 500, 0, 1);
    GiveMap(7, t);
    Call("ground_set", Address(7));
  }
  // A closed box x, z -1000..1000, y 0..1000: its top faces up, its bottom down.
  void VolumeBox() {
    std::vector<GroundTriangle> t;
    Quad(&t, -1000, 1000, -1000, 1000, 1000, 0, 1);
    Quad(&t, -1000, 1000, -1000, 1000, 0, 0, 1, true);
    GiveMap(6, t);
    Call("volume_set", Address(6));
  }
  void At(int e, int32_t x, int32_t y, int32_t z, int32_t radius = 50) {
    SetVector(e, model::kWordPositionX, x * kMm, y * kMm, z * kMm);
    Record(e)[model::kWordRadius] = radius;
  }
};

TEST_F(Ground, LevelGroundWithNeitherMeshNorGrid) {
  At(0, 300, 40, -7);
  EXPECT_EQ(Call("ground_level", Address(0)), 0);
  EXPECT_EQ(Call("agl", Address(0)), 40 * kMm);
  EXPECT_EQ(Call("aglevel", Address(0)), 40 * kMm);
  EXPECT_EQ(Call("ground_slope", Address(0)), 0);
  EXPECT_EQ(Call("ground_color", Address(0)), 0);
  EXPECT_EQ(Call("ground_level", 0x80000003u), 0);
}

TEST_F(Ground, MeshHeightsOnTheRampBetweenTheFloorsAndOutside) {
  RampAndFloors();
  At(0, 1000, 900, 100);
  EXPECT_EQ(Call("ground_level", Address(0)), 250 * kMm);
  EXPECT_EQ(Call("above_ground_level", Address(0)), 650 * kMm);
  // Between the floors: the upper one counts only once it is below y + r.
  At(0, -1500, 100, 0);
  EXPECT_EQ(Call("ground_level", Address(0)), 0);
  At(0, -1500, 480, 0);  // 500 is 20 above and within r: the lowest surface above wins
  EXPECT_EQ(Call("ground_level", Address(0)), 500 * kMm);
  At(0, -1500, 449, 0);  // 449 + 50 = 499 < 500: only the floor below counts
  EXPECT_EQ(Call("ground_level", Address(0)), 0);
  At(0, -1500, 700, 0);
  EXPECT_EQ(Call("ground_level", Address(0)), 500 * kMm);
  // Outside the bucket grid (f = 4000: columns run to x < 2000 mm).
  At(0, 3000, 0, 0);
  EXPECT_EQ(Call("ground_level", Address(0)), 0);
  At(0, -500, 0, 0);  // inside the grid, no triangle
  EXPECT_EQ(Call("ground_level", Address(0)), 0);
  // over_ground and over_ground_g seat the element; the third argument changes nothing.
  At(0, 1000, 900, 100);
  Record(0)[model::kWordVelocityY] = -77;
  Call("over_ground", Address(0), 10 * kMm);
  EXPECT_EQ(Record(0)[model::kWordPositionY], 260 * kMm);
  EXPECT_EQ(Record(0)[model::kWordVelocityY], 0);
  Call("over_ground_g", Address(0), 20 * kMm, 12345);
  EXPECT_EQ(Record(0)[model::kWordPositionY], 270 * kMm);
}

TEST_F(Ground, SlopeOfTheRampAndOfLevelGround) {
  RampAndFloors();
  // Normal (-1, 4, 0) / sqrt(17) x 46080: horizontal part 46080 / sqrt(17) = 11176.07.
  At(0, 1000, 300, 0);
  EXPECT_EQ(Call("ground_slope", Address(0)), 11176);
  At(0, -1500, 600, 0);
  EXPECT_EQ(Call("ground_slope", Address(0)), 0);
  At(0, -500, 0, 0);
  EXPECT_EQ(Call("ground_slope", Address(0)), 0);  // no triangle under it
}

TEST_F(Ground, SeatedAndTiltedOnTheRamp) {
  RampAndFloors();
  // Extents 200 mm each way: probes 179 mm out (200 x 460 / 512). Heights (mm): front and back
  // 250, right 1179 / 4 = 294.75, left 821 / 4 = 205.25; mean 250.
  At(0, 1000, 900, 0);
  const int32_t extents[6] = {200, 100, 200, -200, -100, -200};
  std::memcpy(Record(0) + model::kWordExtent0, extents, sizeof extents);
  SetVector(0, model::kWordSpinX, 5, 6, 7);
  Call("over_ground_slope", Address(0), 30 * kMm, 0);
  EXPECT_EQ(Record(0)[model::kWordPositionY], 280 * kMm);
  EXPECT_EQ(Record(0)[model::kWordRotationX], 0);  // level front to back
  // Roll: (294.75 - 205.25) mm = 89 (truncated) against 358: the table angle of 89 x 1024 / 358.
  const int32_t* atan = arena.As<int32_t>(core::Region::kArctangent);
  const int32_t roll = instructions::TableArctangent(atan, 89 * 1024 / 358) * 64;
  EXPECT_EQ(Record(0)[model::kWordRotationZ], roll);
  EXPECT_NEAR(roll / 512.0, 14.04, 0.2);  // atan(1/4): rising to +x, so up leans to -x
  EXPECT_EQ(Record(0)[model::kWordSpinX], 0);
  EXPECT_EQ(Record(0)[model::kWordSpinY], 6);
  EXPECT_EQ(Record(0)[model::kWordSpinZ], 0);
  // Turned a quarter to face -x, downhill: the nose goes down (positive pitch), the roll is gone.
  SetVector(0, model::kWordRotationX, 0, 46080, 0);
  Call("over_ground_slope", Address(0), 0, 0);
  EXPECT_EQ(Record(0)[model::kWordRotationX], roll);
  EXPECT_EQ(Record(0)[model::kWordRotationZ], 0);
  SetVector(0, model::kWordRotationX, 0, -46080, 0);  // facing +x, uphill: nose up
  Call("over_ground_slope", Address(0), 0, 0);
  EXPECT_EQ(Record(0)[model::kWordRotationX], -roll);
}

TEST_F(Ground, GridHeightsColoursAndTriangleChoice) {
  // Two cells a side of 1000 mm, the ground element at y = 100 mm. Cell (0, 0) is x -1000..0,
  // z 1000..0; its first triangle is level at 10 mm, its second rises 1 mm per 10 mm of x.
  state::GroundGrid& grid = engine.play->collisions.grid;
  grid.cellSize = 1000;
  grid.cells = 2;
  grid.element = 5;
  grid.triangles.resize(8);
  for (size_t i = 0; i < 8; ++i) grid.triangles[i].colour = static_cast<int32_t>(100 + i);
  grid.triangles[0] = {{-1000, 10, 1000, 0, 10, 1000, -1000, 10, 0}, 100};
  grid.triangles[1] = {{0, 100, 1000, 0, 100, 0, -1000, 0, 0}, 101};
  Record(5)[model::kWordPositionY] = 100 * kMm;
  At(0, -900, 0, 900);  // offsets 100 + 100 < 1000: first triangle
  EXPECT_EQ(Call("ground_level", Address(0)), 110 * kMm);
  EXPECT_EQ(Call("ground_color", Address(0)), 100);
  EXPECT_EQ(Call("ground_slope", Address(0)), 0);
  At(0, -100, 0, 100);  // offsets 900 + 900: second triangle, y = (x + 1000) / 10 = 90
  EXPECT_EQ(Call("ground_level", Address(0)), 190 * kMm);
  EXPECT_EQ(Call("ground_color", Address(0)), 101);
  EXPECT_EQ(Call("ground_slope", Address(0)), 4585);  // 46080 x sin(atan(1/10)) = 4585.2
  At(0, 300, 0, -300);  // cell (1, 1), first triangle
  EXPECT_EQ(Call("ground_color", Address(0)), 106);
  At(0, 1000, 0, 0);  // |x| must stay below h
  EXPECT_EQ(Call("ground_level", Address(0)), 0);
  EXPECT_EQ(Call("ground_color", Address(0)), 0);
  // A mesh, once set, is asked instead of the grid.
  RampAndFloors();
  At(0, 1000, 300, 100);
  EXPECT_EQ(Call("ground_level", Address(0)), 250 * kMm);
}

TEST_F(Ground, VolumeTestInsideOutsideAndTolerances) {
  VolumeBox();
  const model::GroundMap& box = engine.play->groundMaps.back();
  EXPECT_TRUE(model::VolumeTest(box, 0, 500 * kMm, 0, 0, 0).inside);
  EXPECT_FALSE(model::VolumeTest(box, 0, 1500 * kMm, 0, 0, 0).inside);
  EXPECT_FALSE(model::VolumeTest(box, 0, -500 * kMm, 0, 0, 0).inside);
  EXPECT_FALSE(model::VolumeTest(box, 1500 * kMm, 500 * kMm, 0, 0, 0).inside);  // outside the grid
  const model::VolumeAnswer middle = model::VolumeTest(box, 100 * kMm, 500 * kMm, 100 * kMm, 0, 0);
  EXPECT_GE(middle.above, 0);
  EXPECT_LT(middle.above, 2);  // a top triangle
  EXPECT_GE(middle.below, 2);
  // Below the box by 100 mm: the bottom is 100 mm above; an above tolerance of 100 mm takes it in.
  EXPECT_TRUE(model::VolumeTest(box, 0, -100 * kMm, 0, 100 * kMm, 0).inside);
  EXPECT_FALSE(model::VolumeTest(box, 0, -100 * kMm, 0, 100 * kMm - 1, 0).inside);
  // Above it by 100 mm: a negative below tolerance beyond -100 mm takes it in.
  EXPECT_TRUE(model::VolumeTest(box, 0, 1100 * kMm, 0, 0, -100 * kMm - 1).inside);
  EXPECT_FALSE(model::VolumeTest(box, 0, 1100 * kMm, 0, 0, -100 * kMm).inside);
  EXPECT_FALSE(model::VolumeTest(box, 0, 1100 * kMm, 0, 0, 1000000).inside);  // positive: no effect
  // A map of no width is outside everywhere (no division by its width).
  model::GroundMap empty = box;
  empty.width = 0;
  EXPECT_FALSE(model::VolumeTest(empty, 0, 500 * kMm, 0, 0, 0).inside);
  empty.width = -4;
  EXPECT_FALSE(model::VolumeTest(empty, 0, 500 * kMm, 0, 0, 0).inside);
  At(0, 0, 500, 0);
  EXPECT_EQ(Call("inside_volume", Address(0)), -1);
  At(0, 0, 1001, 0);
  EXPECT_EQ(Call("inside_volume", Address(0)), 0);
}

// Outside the box's +x wall at x = 1100 mm with probes of 200 mm: those at 45, 90 and 135 degrees
// (x offsets -141, -200, -141 mm) are inside, so the mean probe angle is 90 degrees (toward -x).
class Volume : public Ground {
 protected:
  void SetUp() override {
    Ground::SetUp();
    VolumeBox();
    At(0, 1100, 500, 0);
    SetVector(0, model::kWordVelocityX, -10 * kMm, 300, 0);
  }
  const int32_t* sine() { return arena.As<int32_t>(core::Region::kSineFine); }
};

TEST_F(Volume, ReboundTurnsAwayFromTheProbesInside) {
  EXPECT_EQ(Call("volume_rebound", Address(0), 200 * kMm, 0, 0), -1);
  EXPECT_EQ(Record(0)[model::kWordVelocityX], 10 * kMm);  // s = 10 mm, sin 90 = 1
  EXPECT_EQ(Record(0)[model::kWordVelocityZ], -static_cast<int32_t>((10 * kMm * int64_t{sine()[1440]}) >> 15));
  EXPECT_EQ(Record(0)[model::kWordVelocityY], -300);
  // Far from the box nothing is inside: nothing changes.
  At(0, 1300, 500, 0);
  EXPECT_EQ(Call("volume_rebound", Address(0), 200 * kMm, 0, 0), 0);
  EXPECT_EQ(Record(0)[model::kWordVelocityY], -300);
}

TEST_F(Volume, ZeroProbeRadiusUsesTheFootprintPoints) {
  // Radius 150 mm; footprint 120 mm each way, so only the left-edge points (x -120 mm) and the
  // left corners reach inside from x = 1100: directions 45, 90, 135 (nearest footprint points to
  // twice the offsets: the corners (-120, 120), (-120, 0) edge middle, (-120, -120)).
  const int32_t extents[6] = {120, 100, 120, -120, -100, -120};
  std::memcpy(Record(0) + model::kWordExtent0, extents, sizeof extents);
  At(0, 1100, 500, 0, 150);
  EXPECT_EQ(Call("volume_rebound", Address(0), 0, 0, 0), -1);
  EXPECT_EQ(Record(0)[model::kWordVelocityX], 10 * kMm);
  At(0, 1130, 500, 0, 150);  // 1130 - 120 = 1010: no footprint point inside
  EXPECT_EQ(Call("volume_rebound", Address(0), 0, 0, 0), 0);
}

TEST_F(Volume, SlidePushesOutAndDampsTheApproach) {
  // Mode 2: shift 1 << 1 = 2, so x += (10 mm x sin 90) >> 2. The velocity turned by -90 degrees
  // (wrap(-46080) = 138239, fine index 2159) splits into t across and u along 90 degrees.
  const int64_t s = 10 * kMm;
  int64_t vx = -10 * kMm, vz = 0;
  auto turn = [&](int index, int64_t* x, int64_t* z) {
    const int64_t ox = *x, oz = *z;
    *x = static_cast<int32_t>(((ox * sine()[index + 720]) >> 15) - ((oz * sine()[index]) >> 15));
    *z = static_cast<int32_t>(((ox * sine()[index]) >> 15) + ((oz * sine()[index + 720]) >> 15));
  };
  turn(2159, &vx, &vz);
  vx = vx * 120 / 100;
  vz = -(vz >> 4);
  turn(720, &vx, &vz);
  EXPECT_EQ(Call("volume_slide", Address(0), 200 * kMm, 0, 0, 2), -1);
  EXPECT_EQ(Record(0)[model::kWordPositionX], 1100 * kMm + (s >> 2));
  EXPECT_EQ(Record(0)[model::kWordVelocityX], vx);
  EXPECT_EQ(Record(0)[model::kWordVelocityZ], vz);
  EXPECT_NEAR(vx, 320, 2);  // the approach of 5120 reversed and cut to a sixteenth
  EXPECT_EQ(Record(0)[model::kWordVelocityY], -300);
  // Modes whose shift count would reach 32 or go negative shift by their count modulo 32.
  for (const int32_t mode : {6, 7, 33, -2, INT32_MIN, INT32_MAX}) {
    At(0, 1100, 500, 0);
    EXPECT_EQ(Call("volume_slide", Address(0), 200 * kMm, 0, 0, static_cast<uint32_t>(mode)), -1) << mode;
  }
}

TEST_F(Volume, SlideStepsBackOutOfTheWall) {
  // Mean hit point: x (958 + 900 + 958) / 3 = 938 mm (probe points truncated to millimetres),
  // z 0; d starts at 162 mm and shrinks by 125/128 until 938 mm + d is inside; the element moves
  // out by d and its fast approach is slowed by d.
  SetVector(0, model::kWordVelocityX, -100000, 300, 0);
  EXPECT_EQ(Call("volume_slide", Address(0), 200 * kMm, 0, 0, static_cast<uint32_t>(-1)), -1);
  const int32_t d = Record(0)[model::kWordPositionX] - 1100 * kMm;
  EXPECT_GT(d, 0);
  EXPECT_LT(d, 62 * kMm);
  int32_t expected = 162 * kMm;
  do {
    expected = static_cast<int32_t>((int64_t{expected} * 125) >> 7);
  } while (!instructions::InsideVolume(engine, 938 * kMm + expected, 500 * kMm, 0, 0, 0));
  EXPECT_EQ(d, expected);
  EXPECT_EQ(Record(0)[model::kWordVelocityX], -100000 + d);
  EXPECT_EQ(Record(0)[model::kWordVelocityY], -300);
  // Moving away already: adding d would speed it up, so it is taken back and it rebounds.
  At(0, 1100, 500, 0);
  SetVector(0, model::kWordVelocityX, 2 * kMm, 300, 0);
  EXPECT_EQ(Call("volume_slide", Address(0), 200 * kMm, 0, 0, static_cast<uint32_t>(-1)), -1);
  EXPECT_EQ(Record(0)[model::kWordPositionX], 1100 * kMm);
  EXPECT_EQ(Record(0)[model::kWordVelocityX], 2 * kMm);  // s = 2 mm away from 90 degrees
  // Nothing inside: 0, nothing changed.
  At(0, 1400, 500, 0);
  EXPECT_EQ(Call("volume_slide", Address(0), 200 * kMm, 0, 0, static_cast<uint32_t>(-1)), 0);
}

TEST(StepBack, WorstCaseIterationCount) {
  const auto never = [](int32_t, int32_t) { return false; };
  int32_t worst = 0;
  for (const int32_t a : {INT32_MIN, INT32_MAX, -5001, 5001, 0})
    for (const int32_t b : {INT32_MIN, INT32_MAX, 0, -1}) worst = std::max(worst, instructions::StepBackIterations(a, b, never));
  EXPECT_EQ(worst, 577);  // |dx| + |dz| starts at 2^32 at most
  EXPECT_EQ(instructions::StepBackIterations(5000, 0, never), 1);
}

TEST_F(Ground, BoundaryReboundTurnsFromTheEdge) {
  RampAndFloors();
  // On the ramp near its +x edge (2000 mm), moving +x: the probes at 225, 270 and 315 degrees
  // (toward +x) find no ground; the velocity is reflected back.
  At(0, 1900, 300, 0);
  SetVector(0, model::kWordVelocityX, 3000, 0, 1000);
  EXPECT_EQ(Call("boundary_rebound", Address(0), 200 * kMm), -1);
  EXPECT_EQ(Record(0)[model::kWordVelocityX], -3000);
  EXPECT_EQ(Record(0)[model::kWordVelocityZ], 1000);
  EXPECT_EQ(Call("ground_color_rebound", Address(0), 200 * kMm), 0);  // now moving away
  At(0, 1000, 300, 0);  // all probes on the ramp
  EXPECT_EQ(Call("boundary_rebound", Address(0), 200 * kMm), 0);
}

}  // namespace
