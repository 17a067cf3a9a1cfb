// Collisions: colour values, the pair list, play-start defaults, the pass and its box test, the
// collision queries and the rebounds, with values worked out by hand.
#include <gtest/gtest.h>

#include <cstring>

#include "instructions/routine_fixture.h"

namespace {

using instructions::CollisionColourValue;
using instructions::IntegerSquareRoot;

constexpr uint32_t kOnWithCollisions = model::kStatusOn | model::kStatusCollisions;

TEST(CollisionNumbers, ColourValueOfEveryNumber) {
  // (r, g, b) by the number's band, then the colour cube: e.g. 1 is (191, 0, 64): 5 x 36 + 1 + 2.
  const int32_t expected[12] = {218, 183, 113, 42, 7, 12, 22, 27, 32, 62, 122, 188};
  for (int n = 0; n < 12; ++n) EXPECT_EQ(CollisionColourValue(n), expected[n]) << n;
  EXPECT_EQ(CollisionColourValue(12), 218);  // above 11 counts as 0
  EXPECT_EQ(CollisionColourValue(-1), 218);
}

TEST(CollisionNumbers, PaletteReductionBranches) {
  EXPECT_EQ(instructions::CollisionPaletteIndex(0, 0, 0), 0);
  EXPECT_EQ(instructions::CollisionPaletteIndex(8, 8, 8), 1);   // sum 24
  EXPECT_EQ(instructions::CollisionPaletteIndex(8, 8, 7), 0);   // sum 23
  EXPECT_EQ(instructions::CollisionPaletteIndex(245, 245, 240), 254);  // 730
  EXPECT_EQ(instructions::CollisionPaletteIndex(250, 250, 245), 255);  // 745
  EXPECT_EQ(instructions::CollisionPaletteIndex(248, 248, 248), 254);  // 744 is not above 744
  EXPECT_EQ(instructions::CollisionPaletteIndex(16, 0, 0), 2);  // red 16 leaves the dark branch
}

TEST(CollisionNumbers, IntegerRootIsTheFloorEvenNearSquares) {
  EXPECT_EQ(IntegerSquareRoot(0), 0u);
  EXPECT_EQ(IntegerSquareRoot(40328), 200u);  // 200.82
  EXPECT_EQ(IntegerSquareRoot(40399), 200u);
  EXPECT_EQ(IntegerSquareRoot(40401), 201u);
  EXPECT_EQ(IntegerSquareRoot(0xFFFFFFFFu), 65535u);
  EXPECT_EQ(IntegerSquareRoot(uint64_t{0xFFFFFFFF} * 0xFFFFFFFF - 1), 0xFFFFFFFEu);
  EXPECT_EQ(IntegerSquareRoot(UINT64_MAX), 0xFFFFFFFFu);
}

TEST(CollisionPairs, RowThenColumnOrderAndEveryPairOfAFullMap) {
  std::vector<uint8_t> map(65536, 0);
  map[2 * 256 + 5] = 3;
  map[0 * 256 + 9] = 1;
  map[2 * 256 + 3] = 11;
  map[4 * 256 + 4] = 7;  // the diagonal is never a pair
  map[9 * 256 + 1] = 2;  // the lower triangle is not read
  state::CollisionState collisions;
  const std::vector<state::CollisionPair>& pairs = collisions.pairs;
  instructions::BuildCollisionPairs(map.data(), &collisions);
  ASSERT_EQ(pairs.size(), 3u);
  EXPECT_EQ(pairs[0].first, 9);
  EXPECT_EQ(pairs[0].second, 0);
  EXPECT_EQ(pairs[1].first, 3);
  EXPECT_EQ(pairs[1].colour, 188);
  EXPECT_EQ(pairs[2].first, 5);
  EXPECT_EQ(pairs[2].second, 2);
  EXPECT_EQ(pairs[2].colour, 42);
  EXPECT_TRUE(collisions.named[9]);
  EXPECT_FALSE(collisions.named[4]);  // only on the diagonal
  std::fill(map.begin(), map.end(), 1);
  instructions::BuildCollisionPairs(map.data(), &collisions);
  ASSERT_EQ(pairs.size(), 32640u);  // far beyond the 4045 a fixed buffer would hold
  EXPECT_EQ(pairs.back().first, 255);
  EXPECT_EQ(pairs.back().second, 254);
}

TEST(CollisionDefaults, RadiusFromExtentsAndBoxRadiusFromCorners) {
  std::vector<int32_t> records(4 * 256, 0);
  int32_t* a = records.data();
  // Extents (30, 40, 50) and (-30, -40, -50): |(120 + 120) / 6| = 40; corners 30 and 50: 58.3.
  const int32_t extents[6] = {30, 40, 50, -30, -40, -50};
  std::memcpy(a + model::kWordExtent0, extents, sizeof extents);
  a[model::kWordCollisions] = 7;
  int32_t* b = a + 256;
  b[model::kWordRadius] = 9;  // kept
  b[model::kWordExtent0] = 32768;  // 32768^2 = 2^30 > 1073741823: the box radius is the radius
  int32_t* c = b + 256;
  c[model::kWordRadius] = -5;
  c[model::kWordExtent0] = 32767;  // 32767^2 fits: root of 32767^2 + 0
  c[model::kWordExtent1] = 7;     // (32767 + 7) / 6 = 5462
  int32_t* d = c + 256;
  d[model::kWordRadius] = 3;
  d[model::kWordExtent0] = INT32_MIN;  // squares far past the guard
  d[model::kWordExtent5] = INT32_MIN;
  instructions::SetCollisionDefaults(records.data(), 3);
  EXPECT_EQ(a[model::kWordRadius], 40);
  EXPECT_EQ(a[model::kWordBoxRadius], 58);
  EXPECT_EQ(a[model::kWordCollisions], 0);
  EXPECT_EQ(b[model::kWordRadius], 9);
  EXPECT_EQ(b[model::kWordBoxRadius], 9);
  EXPECT_EQ(c[model::kWordRadius], 5462);
  EXPECT_EQ(c[model::kWordBoxRadius], 32767);
  EXPECT_EQ(d[model::kWordBoxRadius], 3);
}

class CollisionPass : public testing_support::RoutineTest {
 protected:
  void SetUp() override {
    RoutineTest::SetUp();
    engine.project.records.resize(8);
  }
  // Element e: on with collisions, radius r mm, identity bit 1 << e (below 31), at (x, y, z) millimetres.
  void Place(int e, int32_t radius, int32_t x, int32_t y, int32_t z) {
    int32_t* w = Record(e);
    w[model::kWordStatus] = static_cast<int32_t>(kOnWithCollisions);
    w[model::kWordRadius] = radius;
    w[model::kWordIdentity] = e < 31 ? 1 << e : 0;
    SetVector(e, model::kWordPositionX, x * 512, y * 512, z * 512);
  }
  // A square footprint of half size h and height +-h, box collisions on, heading in angle units.
  void Box(int e, int32_t half, int32_t heading) {
    int32_t* w = Record(e);
    const int32_t minus = static_cast<int32_t>(0u - static_cast<uint32_t>(half));
    const int32_t extents[6] = {half, half, half, minus, minus, minus};
    std::memcpy(w + model::kWordExtent0, extents, sizeof extents);
    w[model::kWordStatus] |= static_cast<int32_t>(model::kStatusBoxCollisions);
    const uint64_t size = half < 0 ? 0u - static_cast<uint64_t>(int64_t{half}) : static_cast<uint64_t>(half);
    w[model::kWordBoxRadius] = static_cast<int32_t>(IntegerSquareRoot(2 * size * size));
    w[model::kWordRotationY] = heading;
  }
  void Pair(int i, int j, uint8_t number) {
    arena.Host(core::Region::kCollisionMap)[i * 256 + j] = number;
    instructions::BuildCollisionPairs(arena.Host(core::Region::kCollisionMap), &engine.play->collisions);
  }
  void Pass() { instructions::CollisionPass(engine); }
  int32_t Bits(int e) { return Record(e)[model::kWordCollisions]; }
};

TEST_F(CollisionPass, AxisDistanceEqualToTheRadiiIsNoHit) {
  Place(0, 100, 0, 0, 0);
  Place(1, 100, 200, 0, 0);
  Pair(0, 1, 1);
  Pass();
  EXPECT_EQ(Bits(0), 0);
  Place(1, 100, 199, 0, 0);
  Pass();
  EXPECT_EQ(Bits(0), 2);
  EXPECT_EQ(Bits(1), 1);
  EXPECT_EQ(engine.play->collisions.pairs[0].hit, 183);
  // A negative offset is measured by its magnitude: -200 mm is no hit either.
  Place(1, 100, -200, 0, 0);
  Pass();
  EXPECT_EQ(Bits(0), 0);
}

TEST_F(CollisionPass, DiagonalWithIntegerRootEqualToTheRadii) {
  // 142 mm on x and z: 200.82 mm apart, integer root 200 = r, so they touch; a rounded root (201)
  // would miss.
  Place(0, 100, 0, 0, 0);
  Place(1, 100, 142, 0, 142);
  Pair(0, 1, 2);
  Pass();
  EXPECT_EQ(Bits(0), 2);
  Place(1, 100, 142, 1, 142);  // 200.83: root still 200
  Pass();
  EXPECT_EQ(Bits(0), 2);
  Place(1, 100, 142, 12, 142);  // 201.18: root 201
  Pass();
  EXPECT_EQ(Bits(0), 0);
}

TEST_F(CollisionPass, SwitchedOffOrCollisionsOffKeepsZeroBitsAndStaleBitsAreCleared) {
  Place(0, 100, 0, 0, 0);
  Place(1, 100, 10, 0, 0);
  Place(2, 100, 20, 0, 0);
  Pair(0, 1, 1);
  Pair(1, 2, 1);
  Pass();
  EXPECT_EQ(Bits(1), 1 | 4);
  Record(0)[model::kWordStatus] = static_cast<int32_t>(model::kStatusCollisions);  // off
  Record(2)[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);          // collisions off
  Pass();
  EXPECT_EQ(Bits(0), 0);
  EXPECT_EQ(Bits(1), 0);
  EXPECT_EQ(Bits(2), 0);
  EXPECT_EQ(engine.play->collisions.pairs[0].hit, 0);
  // collision_check ignores the status bits.
  EXPECT_EQ(Call("collision_check", Address(0), Address(1)), -1);
}

TEST_F(CollisionPass, BoxesTouchingOnlyByTheirRotatedCorners) {
  // Squares of half size 100 mm, 280 mm apart on x: unturned they stay 80 mm apart; turned by 45
  // degrees their corners reach 141.4 mm out and overlap by 2.8 mm.
  Place(0, 1, 0, 0, 0);
  Place(1, 1, 280, 0, 0);
  Box(0, 100, 0);
  Box(1, 100, 0);
  Pair(0, 1, 1);
  Pass();
  EXPECT_EQ(Bits(0), 0);
  Record(0)[model::kWordRotationY] = 23040;
  Record(1)[model::kWordRotationY] = 23040;
  Pass();
  EXPECT_EQ(Bits(0), 2);
  Place(1, 1, 286, 0, 0);  // corners 3.2 mm apart; the radii (282) reject it first
  Box(1, 100, 23040);
  Pass();
  EXPECT_EQ(Bits(0), 0);
  // With box collisions on only one side the plain radii (1 + 1) are used.
  Place(1, 1, 280, 0, 0);
  Pass();
  EXPECT_EQ(Bits(0), 0);
}

TEST_F(CollisionPass, SmallBoxInsideALargeOneAndVerticalSeparation) {
  Place(0, 1, 0, 0, 0);
  Place(1, 1, 5, 0, 5);
  Box(0, 1000, 0);
  Box(1, 10, 0);
  Pair(0, 1, 1);
  Pass();
  EXPECT_EQ(Bits(0), 2);
  EXPECT_EQ(Bits(1), 1);
  Place(1, 1, 5, 1011, 5);  // bottom of 1 at 1001 mm, top of 0 at 1000 mm
  Box(1, 10, 0);
  Pass();
  EXPECT_EQ(Bits(0), 0);
  Place(1, 1, 5, 1010, 5);
  Box(1, 10, 0);
  Pass();
  EXPECT_EQ(Bits(0), 2);
}

TEST_F(CollisionPass, FullMapMakesTheLastPairCollide) {
  engine.project.records.resize(256);
  std::memset(arena.Host(core::Region::kCollisionMap), 1, 65536);
  instructions::BuildCollisionPairs(arena.Host(core::Region::kCollisionMap), &engine.play->collisions);
  Place(254, 10, 5000, 0, 0);
  Place(255, 10, 5001, 0, 0);
  Record(254)[model::kWordIdentity] = 0x40;
  Record(255)[model::kWordIdentity] = 0x80;
  Pass();
  EXPECT_EQ(Bits(254), 0x80);
  EXPECT_EQ(Bits(255), 0x40);
  EXPECT_EQ(engine.play->collisions.pairs.back().hit, 183);
}

TEST_F(CollisionPass, ExtremeWordsStayDefined) {
  Place(0, INT32_MAX, 0, 0, 0);
  Place(1, INT32_MAX, 0, 0, 0);
  SetVector(0, model::kWordPositionX, INT32_MIN, INT32_MIN, INT32_MIN);
  SetVector(1, model::kWordPositionX, INT32_MAX, INT32_MAX, INT32_MAX);
  Pair(0, 1, 1);
  Pass();  // radii wrap to -2: no hit, and nothing undefined on the way
  EXPECT_EQ(Bits(0), 0);
  Record(0)[model::kWordRadius] = 1 << 30;
  Record(1)[model::kWordRadius] = (1 << 30) - 1;
  SetVector(1, model::kWordPositionX, 0, 0, 0);
  Pass();  // squares past 32 bits count as the largest distance, 65535 mm, within r
  EXPECT_EQ(Bits(0), 2);
  Box(0, INT32_MAX, INT32_MIN);
  Box(1, INT32_MIN, INT32_MAX);
  Pass();
}

TEST_F(CollisionPass, QueriesAfterAPass) {
  Place(0, 100, 0, 0, 0);
  Place(1, 100, 50, 0, 0);
  Place(2, 100, 1000, 0, 0);
  Place(3, 100, 1050, 0, 0);
  Pair(0, 1, 3);
  Pair(2, 3, 5);
  Record(3)[model::kWordStatus] = 0;
  Pass();
  EXPECT_EQ(Call("collision_color", 42), -1);
  EXPECT_EQ(Call("collision_color", 12), 0);  // the pair of colour 5 did not touch
  EXPECT_EQ(Call("collision_color", 0), 0);
  EXPECT_EQ(Call("collision", Address(0), 0xFF), 2);
  EXPECT_EQ(Call("collision", Address(0), 1), 0);
  EXPECT_EQ(Call("collision_range", Address(0), Address(1), -1), 3);
  EXPECT_EQ(Call("collision_range", Address(1), Address(1), -1), 1);  // itself only
  EXPECT_EQ(Call("collision_range", Address(1), Address(0), -1), 0);
  EXPECT_EQ(Call("collision_list", Address(0), 1, 1), 3);
  EXPECT_EQ(Call("collision_list", Address(1), 0, 1), 1);
  EXPECT_EQ(Call("collision_list", Address(0), 3, 0), 0);  // step 0
  EXPECT_EQ(Call("collision_list", Address(1), 5, -1), 3);  // runs down to element 0 and stops
  EXPECT_EQ(Call("collision_list", Address(0), INT32_MAX, 1), 3);  // clipped to the last element
  EXPECT_EQ(Call("collision_map", Address(1), Address(0)), 3);
  EXPECT_EQ(Call("collision", 0x80000001u, -1), 0);
}

TEST_F(CollisionPass, MapSetNeedsTwoSceneElementsAndANumberUpToEleven) {
  Place(0, 100, 0, 0, 0);
  Place(1, 100, 50, 0, 0);
  auto* slots = arena.As<int32_t>(core::Region::kAspectSlots);
  slots[0] = static_cast<int32_t>(engine::kTagVisual);
  slots[16] = static_cast<int32_t>(engine::kTagSprite);
  const uint32_t first = arena.Address(core::Region::kAspectSlots);
  Record(0)[model::kWordCurrentAspect] = static_cast<int32_t>(first);
  Record(1)[model::kWordCurrentAspect] = static_cast<int32_t>(first + 64);
  Call("collision_map_set", Address(0), Address(1), 4);
  EXPECT_EQ(Call("collision_map", Address(0), Address(1)), 0);  // a sprite takes no part
  slots[16] = static_cast<int32_t>(engine::kTagXVisual);
  Call("collision_map_set", Address(1), Address(0), 12);
  EXPECT_EQ(Call("collision_map", Address(0), Address(1)), 0);
  EXPECT_TRUE(engine.play->collisions.pairs.empty());
  Call("collision_map_set", Address(1), Address(0), 4);
  EXPECT_EQ(arena.Host(core::Region::kCollisionMap)[1], 4);  // row 0, column 1
  ASSERT_EQ(engine.play->collisions.pairs.size(), 1u);
  Pass();
  EXPECT_EQ(Call("collision_color", 7), -1);
}

TEST_F(CollisionPass, StatusSwitchesRadiiAndExtents) {
  Call("collisions_off", Address(0));
  Call("box_collisions_on", Address(0));
  EXPECT_EQ(Record(0)[model::kWordStatus], static_cast<int32_t>(model::kStatusBoxCollisions));
  Call("collisions_on", Address(0));
  Call("box_collisions_off", Address(0));
  EXPECT_EQ(Record(0)[model::kWordStatus], static_cast<int32_t>(model::kStatusCollisions));
  Record(0)[model::kWordRadius] = 12;
  Record(0)[model::kWordBoxRadius] = 34;
  EXPECT_EQ(Call("radius", Address(0)), 12);
  EXPECT_EQ(Call("radius_max", Address(0)), 34);
  const int32_t extents[6] = {10, -20, 30, -40, 50, INT32_MIN};
  std::memcpy(Record(0) + model::kWordExtent0, extents, sizeof extents);
  EXPECT_EQ(Call("dimension_abs", Address(0), 2), 20 * 512);
  EXPECT_EQ(Call("dimension_abs", Address(0), 5), 50 * 512);
  EXPECT_EQ(Call("dimension_abs", Address(0), 6), 0);  // 2^31 x 512 wraps to 0
  EXPECT_EQ(Call("dimension_abs", Address(0), 0), 0);
  EXPECT_EQ(Call("dimension_abs", Address(0), 7), 0);
  EXPECT_EQ(Call("dimension_abs", Address(0), static_cast<uint32_t>(-100)), 0);
  SetVector(0, model::kWordPositionX, 100, 0, -50);
  EXPECT_EQ(Call("inside_area_xz", Address(0), 100, 200, -50, 0), -1);
  EXPECT_EQ(Call("inside_area_xz", Address(0), 101, 200, -50, 0), 0);
  EXPECT_EQ(Call("inside_area_xz", Address(0), 0, 200, -49, 0), 0);
}

class Rebound : public CollisionPass {};

TEST_F(Rebound, HeadOnExchangesVelocitiesExactly) {
  Place(0, 100, 0, 0, 0);
  Place(1, 100, 150, 0, 0);
  SetVector(0, model::kWordVelocityX, 3000, 77, 0);
  SetVector(1, model::kWordVelocityX, -5000, -11, 0);
  Call("rebound", Address(0), Address(1));
  EXPECT_EQ(Record(0)[model::kWordVelocityX], -5000);
  EXPECT_EQ(Record(1)[model::kWordVelocityX], 3000);
  EXPECT_EQ(Record(0)[model::kWordVelocityY], 77);  // vertical velocities unchanged
  EXPECT_EQ(Record(1)[model::kWordVelocityY], -11);
  EXPECT_EQ(Record(0)[model::kWordVelocityZ], 0);
}

TEST_F(Rebound, ObliqueHitThroughTheLineAngleAndTheWrap) {
  // b 100 mm along x and z from a: p = q = 100, ratio 1024, the table's 45 degrees (360 eighths).
  const int32_t* atan = arena.As<int32_t>(core::Region::kArctangent);
  ASSERT_LE(atan[360], 1024);
  ASSERT_GT(atan[361], 1024);
  // theta = wrap(-23040) = 161279 (modulus 184319), fine index 2519, not 2520; back by
  // wrap(-161279) = 23040, index 360.
  const int32_t* sine = arena.As<int32_t>(core::Region::kSineFine);
  auto turn = [&](int index, int64_t x, int64_t z, int32_t* ox, int32_t* oz) {
    *ox = static_cast<int32_t>(((x * sine[index + 720]) >> 15) - ((z * sine[index]) >> 15));
    *oz = static_cast<int32_t>(((x * sine[index]) >> 15) + ((z * sine[index + 720]) >> 15));
  };
  Place(0, 100, 0, 0, 0);
  Place(1, 100, 100, 0, 100);
  SetVector(0, model::kWordVelocityX, 10000, 0, 0);
  SetVector(1, model::kWordVelocityX, 0, 0, -2000);
  int32_t ax, az, bx, bz;
  turn(2519, 10000, 0, &ax, &az);
  turn(2519, 0, -2000, &bx, &bz);
  int32_t ex, ez, fx, fz;
  turn(360, bx, az, &ex, &ez);
  turn(360, ax, bz, &fx, &fz);
  Call("rebound", Address(0), Address(1));
  EXPECT_EQ(Record(0)[model::kWordVelocityX], ex);
  EXPECT_EQ(Record(0)[model::kWordVelocityZ], ez);
  EXPECT_EQ(Record(1)[model::kWordVelocityX], fx);
  EXPECT_EQ(Record(1)[model::kWordVelocityZ], fz);
  // Near the exact exchange along the diagonal: 8485 of a's speed along it goes to b.
  EXPECT_NEAR(ex, 4000, 30);
  EXPECT_NEAR(ez, -6000, 30);
  EXPECT_NEAR(Record(1)[model::kWordVelocityX], 6000, 30);
  EXPECT_NEAR(Record(1)[model::kWordVelocityZ], 4000, 30);
}

TEST_F(Rebound, SpinFromAGlancingHitBothWays) {
  Place(0, 100, 0, 0, 0);
  Place(1, 100, 100, 0, 0);  // b to the side (+x) of a, heading 0
  Record(0)[model::kWordSpinY] = 0x1234;
  SetVector(1, model::kWordVelocityX, 0, 0, 250000);  // relative forward speed 250000: o = 1000
  Call("rebound_yr", Address(0), Address(1));
  EXPECT_EQ(Record(0)[model::kWordSpinY], 0x1200 - 1000);
  Record(0)[model::kWordSpinY] = 0x1234;
  SetVector(1, model::kWordVelocityX, 0, 0, -250000);
  Call("rebound_yr", Address(0), Address(1));
  EXPECT_EQ(Record(0)[model::kWordSpinY], 0x1200 + 1000);
  Call("rebound_yr_factor", 0);  // keeps 250
  EXPECT_EQ(engine.play->collisions.reboundDivisor, 250);
  Call("rebound_yr_factor", 500);
  Record(0)[model::kWordSpinY] = 0;
  Call("rebound_yr", Address(0), Address(1));
  EXPECT_EQ(Record(0)[model::kWordSpinY], 500);
}

TEST_F(CollisionPass, SightAlongTheForwardAxis) {
  // The element looks along +z; the target 1000 mm ahead with radius 100 mm (factor 128: x 1).
  Place(0, 100, 0, 0, 0);
  Place(1, 100, 0, 0, 1000);
  EXPECT_EQ(Call("sight", Address(0), Address(1), 2000 * 512, 128), 1);
  EXPECT_EQ(Call("sight", Address(0), Address(1), 500 * 512, 128), -1);  // the line ends short
  Place(1, 100, 500, 0, 1000);  // (d.m)^2 = 4e12 < (1.25e6 - 1e4) x 4e6: the line misses
  EXPECT_EQ(Call("sight", Address(0), Address(1), 2000 * 512, 128), -1);
  EXPECT_EQ(Call("sight", Address(0), Address(1), 2000 * 512, 128 * 6), 1);  // radius 600 mm
  Record(0)[model::kWordRotationY] = 23040;  // turned 45 degrees toward -x: (500, 1000) is off
  EXPECT_EQ(Call("sight", Address(0), Address(1), 2000 * 512, 128), -1);
  // Toward +x: the target is 18.5 degrees off the line at 1118 mm, 355 mm from it.
  Record(0)[model::kWordRotationY] = -23040;
  EXPECT_EQ(Call("sight", Address(0), Address(1), 2000 * 512, 128 * 3), -1);
  EXPECT_EQ(Call("sight", Address(0), Address(1), 2000 * 512, 128 * 4), 1);
  Record(1)[model::kWordStatus] = 0;
  EXPECT_EQ(Call("sight", Address(0), Address(1), 2000 * 512, 128 * 4), -1);
  EXPECT_EQ(Call("sight", Address(0), 0x80000001u, 2000 * 512, 128), 0);
}

TEST_F(CollisionPass, BottomOverTheCollisionFacesAfterScaleAndTilt) {
  // One face (0, -100, 0), (100, 0, 0), (0, 0, 100) mm in the aspect data.
  auto* faces = arena.As<int32_t>(core::Region::kAspectData);
  const int32_t face[16] = {2, 0, -100, 0, 100, 0, 0, 0, 0, 100, 0, 0, 100};
  std::memcpy(faces, face, sizeof face);
  auto* slots = arena.As<int32_t>(core::Region::kAspectSlots);
  slots[engine::kSlotTag] = static_cast<int32_t>(engine::kTagVisual);
  slots[engine::kSlotFaceCount] = 1;
  slots[engine::kSlotFaceList] = static_cast<int32_t>(arena.Address(core::Region::kAspectData));
  int32_t* w = Record(0);
  w[model::kWordCurrentAspect] = static_cast<int32_t>(arena.Address(core::Region::kAspectSlots));
  SetVector(0, model::kWordScaleX, 1000, 2000, 1000);  // words 31 and 32
  w[model::kWordScaleZ] = 1000;
  EXPECT_EQ(Call("bottom", Address(0)), -200 * 512);
  w[model::kWordScaleY] = 1000;
  w[model::kWordRotationX] = 46080;  // the +z vertex turns down to y = -100
  EXPECT_EQ(Call("bottom", Address(0)), -100 * 512);
  w[model::kWordRotationX] = 0;
  w[model::kWordRotationZ] = -46080;  // (100, 0, 0) turns to y = -100 (a wrapped quarter less 1)
  EXPECT_NEAR(Call("bottom", Address(0)), -100 * 512, 2);
  slots[engine::kSlotTag] = static_cast<int32_t>(engine::kTagXVisual);
  w[model::kWordExtent4] = -75;
  EXPECT_EQ(Call("bottom", Address(0)), -75 * 512);
  slots[engine::kSlotTag] = static_cast<int32_t>(engine::kTagSprite);
  EXPECT_EQ(Call("bottom", Address(0)), 0);
}

}  // namespace
