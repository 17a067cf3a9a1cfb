// Motion instructions: angle folding, cosine, arctangent search, headings, distances, accessors,
// forces, steering, lift, the orientation accumulator, the tick oscillator, faults, and brains that
// call them through the runner.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "brain/brain.h"
#include "core/core.h"
#include "instructions/instructions.h"
#include "mkdata/mkdata.h"
#include "model/model.h"
#include "state/state.h"
#include "instructions/routine_fixture.h"

namespace {

using instructions::WrapAngle;

// entry i = 10 * i: the search result is easy to work out by hand (the floor of ratio / 10).
std::vector<int32_t> TenfoldTable() {
  std::vector<int32_t> table(720);
  for (int i = 0; i < 720; ++i) table[static_cast<size_t>(i)] = 10 * i;
  return table;
}

TEST(AngleRules, WrapUsesModulusOneBelowAFullTurn) {
  EXPECT_EQ(WrapAngle(0), 0);
  EXPECT_EQ(WrapAngle(184319), 184319);
  EXPECT_EQ(WrapAngle(-1), 184318);
  EXPECT_EQ(WrapAngle(184320), 1);
  EXPECT_EQ(WrapAngle(368638), 0);
  EXPECT_EQ(WrapAngle(-184319), 184319);  // a negative multiple folds to the top, not to 0
  EXPECT_EQ(WrapAngle(INT32_MIN), -2147483648LL % 184319 + 184319);
}

TEST(AngleRules, ShortestDifferenceTurnsBackFromHalfATurnAndMore) {
  EXPECT_EQ(instructions::ShortestAngleDifference(0, 92160), 92160);
  EXPECT_EQ(instructions::ShortestAngleDifference(0, 92161), 92161 - 184320);
  EXPECT_EQ(instructions::ShortestAngleDifference(92161, 0), 184320 - 92161);
  EXPECT_EQ(instructions::ShortestAngleDifference(-1, 1), 3);  // 1 - 184318 + 184320
}

// A radian is 29335 units, a little short of a full turn / 2 pi (29335.21), and the angle is folded
// with 184319 first. The expected values sit within 0.02 of a rounding edge that the other
// constant or the other modulus would cross.
TEST(AngleRules, CosineOfTheFoldedAngleAt29335UnitsARadian) {
  using instructions::Cosine512;
  EXPECT_EQ(Cosine512(0), 512);
  EXPECT_EQ(Cosine512(30720), 256);    // 255.993
  EXPECT_EQ(Cosine512(46080), 0);      // -0.012: just past the true quarter turn
  EXPECT_EQ(Cosine512(92160), -512);
  EXPECT_EQ(Cosine512(144679), 112);   // 111.518; 111.482 with a true radian
  EXPECT_EQ(Cosine512(-1), 512);       // 184318
  EXPECT_EQ(Cosine512(-45308), 13);    // 139011: 13.491; folding by 184320 gives 139012, 13.509
  EXPECT_EQ(Cosine512(323331), 14);    // 139012: 13.509; folding by 184320 gives 139011
  EXPECT_EQ(Cosine512(INT32_MIN), 428);  // 17021: 428.205
  EXPECT_EQ(Cosine512(INT32_MAX), 428);  // 167297: 428.212
}

TEST(AngleRules, ArctangentSearchFindsTheStepAtOrBelowTheRatio) {
  const std::vector<int32_t> table = TenfoldTable();
  EXPECT_EQ(instructions::TableArctangent(table.data(), 0), 0);
  EXPECT_EQ(instructions::TableArctangent(table.data(), 55), 5);
  EXPECT_EQ(instructions::TableArctangent(table.data(), 60), 6);   // exact hit
  EXPECT_EQ(instructions::TableArctangent(table.data(), 7185), 718);  // never the last entry
  EXPECT_EQ(instructions::TableArctangent(table.data(), 511999), 718);
  EXPECT_EQ(instructions::TableArctangent(table.data(), 512000), 720);
}

TEST(AngleRules, PlanarDirectionInEachQuadrant) {
  const std::vector<int32_t> t = TenfoldTable();
  // dx = 10 mm, |dz| = 5 mm: ratio 2 * 2560 / 10 = 512, c = 51 eighths.
  EXPECT_EQ(instructions::PlanarDirection(t.data(), 5120, 2560), (51 - 720) * 64);
  EXPECT_EQ(instructions::PlanarDirection(t.data(), -5120, 2560), (1440 - 51 - 720) * 64);
  EXPECT_EQ(instructions::PlanarDirection(t.data(), 5120, -2560), (2880 - 51 - 720) * 64);
  EXPECT_EQ(instructions::PlanarDirection(t.data(), -5120, -2560), (51 + 1440 - 720) * 64);
  // dx 0..511 is straight along z; dx = -1 is -1 mm, not along z; dx = 1000 is 1 mm.
  EXPECT_EQ(instructions::PlanarDirection(t.data(), 511, 5), 0);
  EXPECT_EQ(instructions::PlanarDirection(t.data(), 300, -1000), 92160);
  EXPECT_EQ(instructions::PlanarDirection(t.data(), -1, 1000), (1440 - 200 - 720) * 64);
  EXPECT_EQ(instructions::PlanarDirection(t.data(), 1000, 100), (20 - 720) * 64);
}

// Motion routines called as brain code calls them.
class Motion : public testing_support::RoutineTest {};

TEST_F(Motion, AccessorsUseTheFirstArgumentAndFoldOnlyRotationReads) {
  Call("position_y_set", Address(2), 700);
  Call("position_y_add", Address(2), static_cast<uint32_t>(-50));
  EXPECT_EQ(Call("position_y", Address(2)), 650);
  EXPECT_EQ(Record(0)[model::kWordPositionY], 0);  // not the current element
  Call("rotation_z_set", Address(1), 184319);
  EXPECT_EQ(Call("rotation_z", Address(1)), 184319);
  Call("rotation_z_add", Address(1), 1);
  EXPECT_EQ(Record(1)[model::kWordRotationZ], 184320);  // stored unfolded
  EXPECT_EQ(Call("rotation_z", Address(1)), 1);
  Record(1)[model::kWordRotationX] = -1;
  EXPECT_EQ(Call("rotation_x", Address(1)), 184318);
  Call("spin_x_add", Address(1), 9);
  Call("velocity_z_set", Address(1), static_cast<uint32_t>(-4));
  EXPECT_EQ(Call("spin_x", Address(1)) * 10 + Call("velocity_z", Address(1)), 86);
  Call("position_set", Address(3), 1, 2, 3);
  EXPECT_EQ(Record(3)[model::kWordPositionX] * 100 + Record(3)[model::kWordPositionY] * 10 + Record(3)[model::kWordPositionZ], 123);
}

TEST_F(Motion, CopiesGoFromFirstToSecondAndAddTheChildOffset) {
  SetVector(1, model::kWordRotationX, 10, 20, 30);
  SetVector(1, model::kWordChildRotationX, 1, 2, 3);
  Call("rotation_copy", Address(1), Address(2));
  EXPECT_EQ(Record(2)[model::kWordRotationZ], 30);
  Record(1)[model::kWordStatus] = static_cast<int32_t>(model::kStatusChildOffset);
  Call("rotation_copy", Address(1), Address(2));
  EXPECT_EQ(Record(2)[model::kWordRotationX], 11);
  EXPECT_EQ(Record(2)[model::kWordRotationZ], 33);
  SetVector(1, model::kWordVelocityX, 4, 5, 6);
  Call("velocity_copy", Address(1), Address(3));
  EXPECT_EQ(Record(3)[model::kWordVelocityZ], 6);
  EXPECT_EQ(Record(1)[model::kWordVelocityZ], 6);
}

TEST_F(Motion, UpdatesAddTheRateToTheState) {
  SetVector(1, model::kWordPositionX, 100, 200, 300);
  SetVector(1, model::kWordVelocityX, 1, -2, 3);
  SetVector(1, model::kWordRotationX, 184319, 0, 0);
  SetVector(1, model::kWordSpinX, 5, 0, -7);
  Call("velocity_update", Address(1));
  Call("spin_update", Address(1));
  EXPECT_EQ(Record(1)[model::kWordPositionY], 198);
  EXPECT_EQ(Record(1)[model::kWordPositionZ], 303);
  EXPECT_EQ(Record(1)[model::kWordRotationX], 184324);  // not folded
  EXPECT_EQ(Record(1)[model::kWordRotationZ], -7);
}

TEST_F(Motion, SpeedsAndDistancesRoundWholeMillimetres) {
  SetVector(1, model::kWordVelocityX, 3 * 512, 4 * 512, 12 * 512);
  EXPECT_EQ(Call("velocity", Address(1)), 13);
  EXPECT_EQ(Call("speed", Address(1)), 13 * 512);
  EXPECT_EQ(Call("velocity_xz", Address(1)), 12);  // sqrt(153) = 12.37
  EXPECT_EQ(Call("speed_xz", Address(1)), 12 * 512);
  SetVector(1, model::kWordVelocityX, -1, 0, 0);  // the shift makes -1 a whole millimetre
  EXPECT_EQ(Call("velocity", Address(1)), 1);
  SetVector(2, model::kWordPositionX, 2 * 512, 100 * 512, 3 * 512);
  EXPECT_EQ(Call("distance_xz", Address(1), Address(2)), 4 * 512);  // sqrt(13) = 3.6
  SetVector(2, model::kWordPositionX, 3 * 512, 4 * 512, 12 * 512);
  EXPECT_EQ(Call("distance", Address(1), Address(2)), 13 * 512);
}

TEST_F(Motion, ForwardSpeedIsMeasuredInTheElementsOwnFrame) {
  SetVector(1, model::kWordVelocityX, 512, 0, 0);
  EXPECT_EQ(Call("speed_lz", Address(1)), 0);  // no rotation: moving sideways
  Record(1)[model::kWordRotationY] = -46080;    // heading +x
  EXPECT_EQ(Call("speed_lz", Address(1)), 512);
  Record(1)[model::kWordRotationY] = 46080;     // heading -x: index 2159, sin -32768
  EXPECT_EQ(Call("speed_lz", Address(1)), -512);
  SetVector(1, model::kWordRotationX, -46080, 0, 0);  // pitched: the climb is the forward speed
  SetVector(1, model::kWordVelocityX, 0, 512, 0);
  EXPECT_EQ(Call("speed_lz", Address(1)), 512);
}

TEST_F(Motion, HeadingsWithTheRealTable) {
  EXPECT_EQ(Call("angle", 1000, 1000), -23040);
  EXPECT_EQ(Call("angle", 0, static_cast<uint32_t>(-5)), 92160);
  EXPECT_EQ(Call("angle", 0, 5), 0);
  SetVector(2, model::kWordPositionX, 1000 * 512, 0, 1000 * 512);
  EXPECT_EQ(Call("direction_xz", Address(1), Address(2)), -23040);
  EXPECT_EQ(Call("direction_xz", Address(2), Address(2)), 0);
}

TEST_F(Motion, FrameHandlesAndLowNumbersDoNothingAndStrayAddressesFault) {
  const uint32_t frame = 0x80000001u;
  Record(0)[model::kWordVelocityX] = 77;
  EXPECT_EQ(Call("velocity_x", frame), 0);
  EXPECT_EQ(Call("distance", Address(0), frame), 0);
  Call("velocity_copy", frame, Address(1));
  EXPECT_EQ(Record(1)[model::kWordVelocityX], 0);
  // A number below the record array (the 0 of a failed lookup) names nothing, like a frame handle.
  brain::Regs below{0, 5, 0, 0, 0, Address(0)};
  std::string none;
  EXPECT_TRUE(brain::CallRoutine(&calls, brain::RoutineAddress(brain::RowOfName("position_x_set")), &below, &none));
  EXPECT_EQ(below.eax, 0u);
  EXPECT_TRUE(none.empty());
  for (uint32_t bad : {Address(1) + 4, Address(256)}) {
    brain::Regs regs{bad, 5, 0, 0, 0, Address(0)};
    std::string fault;
    EXPECT_FALSE(brain::CallRoutine(&calls, brain::RoutineAddress(brain::RowOfName("position_x_set")), &regs, &fault));
    EXPECT_NE(fault.find("Not an element"), std::string::npos) << fault;
  }
}

TEST_F(Motion, FrictionRoundsTowardZeroAndNeverWrapsTheProduct) {
  SetVector(1, model::kWordVelocityX, 7, -3, 1000);
  Call("friction", Address(1), 512);
  EXPECT_EQ(Record(1)[model::kWordVelocityZ], 1000);
  Call("friction", Address(1), 256);
  EXPECT_EQ(Record(1)[model::kWordVelocityX], 3);
  EXPECT_EQ(Record(1)[model::kWordVelocityY], -1);
  Call("friction_xz", Address(1), 0);
  EXPECT_EQ(Record(1)[model::kWordVelocityY], -1);
  EXPECT_EQ(Record(1)[model::kWordVelocityZ], 0);
  // 2^24 * 256 is 2^32: a 32-bit product would stop the element dead.
  Record(1)[model::kWordVelocityY] = 1 << 24;
  Call("friction_y", Address(1), 256);
  EXPECT_EQ(Record(1)[model::kWordVelocityY], 1 << 23);
  SetVector(1, model::kWordSpinX, 100, -1023, 100);
  Call("friction_yr", Address(1), 256);
  EXPECT_EQ(Record(1)[model::kWordSpinY], -511);
  EXPECT_EQ(Record(1)[model::kWordSpinX] + Record(1)[model::kWordSpinZ], 200);
}

TEST_F(Motion, DragNeverLeavesRestAndHalvesWhenTooFast) {
  Call("drag", Address(1), 12345);
  EXPECT_EQ(Record(1)[model::kWordVelocityX], -10);
  EXPECT_EQ(Record(1)[model::kWordVelocityY], -10);
  EXPECT_EQ(Record(1)[model::kWordVelocityZ], -10);
  // s = 10: loss 100 * 8192 / 8192 + 10, against the motion on both sides.
  SetVector(1, model::kWordVelocityX, 40960, -40960, 5);
  Call("drag", Address(1), 8192);
  EXPECT_EQ(Record(1)[model::kWordVelocityX], 40850);
  EXPECT_EQ(Record(1)[model::kWordVelocityY], -40850);
  EXPECT_EQ(Record(1)[model::kWordVelocityZ], -5);
  // y too fast (46341^2 passes the signed range): x was already dragged, then all three halve.
  SetVector(1, model::kWordVelocityX, 0, 46341 << 12, -7);
  Call("drag", Address(1), 8192);
  EXPECT_EQ(Record(1)[model::kWordVelocityX], -5);
  EXPECT_EQ(Record(1)[model::kWordVelocityY], 46341 << 11);
  EXPECT_EQ(Record(1)[model::kWordVelocityZ], -4);
  SetVector(1, model::kWordVelocityX, 0, 0, 46341 << 12);
  Call("drag_xz", Address(1), 8192);
  EXPECT_EQ(Record(1)[model::kWordVelocityX], -5);
  EXPECT_EQ(Record(1)[model::kWordVelocityY], 0);
  Call("drag_y", Address(1), 8192);
  EXPECT_EQ(Record(1)[model::kWordVelocityY], -10);
  EXPECT_EQ(Record(1)[model::kWordVelocityX], -5);
}

TEST_F(Motion, GravityAndBounces) {
  Call("gravity", Address(1), 1, static_cast<uint32_t>(-20), 3);
  Call("gravity", Address(1), 1, static_cast<uint32_t>(-80), 3);
  EXPECT_EQ(Record(1)[model::kWordVelocityY], -100);
  EXPECT_EQ(Record(1)[model::kWordVelocityZ], 6);
  Record(1)[model::kWordPositionY] = 1000;
  Call("boing_y", Address(1));
  EXPECT_EQ(Record(1)[model::kWordPositionY], 1400);
  EXPECT_EQ(Record(1)[model::kWordVelocityY], 100);
  Call("rebound_x", Address(1));
  EXPECT_EQ(Record(1)[model::kWordPositionX], -8);
  EXPECT_EQ(Record(1)[model::kWordVelocityX], -2);
  Call("gravity", 0x80000000u | Address(1), 5, 5, 5);  // a frame handle
  EXPECT_EQ(Record(1)[model::kWordVelocityZ], 6);
}

TEST_F(Motion, AttractionScalesTheLargestExtentToTheStrength) {
  SetVector(2, model::kWordPositionX, 1000, -4000, 2000);
  Call("attract", Address(1), Address(2), 100);
  EXPECT_EQ(Record(1)[model::kWordVelocityX], 25);
  EXPECT_EQ(Record(1)[model::kWordVelocityY], -100);
  EXPECT_EQ(Record(1)[model::kWordVelocityZ], 50);
  SetVector(1, model::kWordVelocityX, 0, 0, 0);
  Call("attract_xz", Address(1), Address(2), 100);
  EXPECT_EQ(Record(1)[model::kWordVelocityX], 50);
  EXPECT_EQ(Record(1)[model::kWordVelocityY], 0);
  EXPECT_EQ(Record(1)[model::kWordVelocityZ], 100);
  Call("attract_y", Address(1), Address(2), 7);
  EXPECT_EQ(Record(1)[model::kWordVelocityY], -7);
  Call("attract", Address(2), Address(2), 100);  // no extent: nothing
  EXPECT_EQ(Record(2)[model::kWordVelocityX], 0);
  Call("attract_point", Address(2), 1000, -4000, 1000, 9);
  EXPECT_EQ(Record(2)[model::kWordVelocityZ], -9);
  EXPECT_EQ(Record(2)[model::kWordVelocityX], 0);
}

TEST_F(Motion, AngleAttractionSpinsTheShorterWay) {
  Call("attract_xr", Address(1), 1000, 5);
  EXPECT_EQ(Record(1)[model::kWordSpinX], 5);
  Call("attract_xr", Address(1), 184000, 5);  // just below zero: turn down through 0
  EXPECT_EQ(Record(1)[model::kWordSpinX], 0);
  Record(1)[model::kWordRotationZ] = 300;
  Call("attract_zr", Address(1), 300, 2);  // on the angle: still one step
  EXPECT_EQ(Record(1)[model::kWordSpinZ], -2);
  Record(1)[model::kWordRotationY] = -1000;  // folds to 183318; the target 1000 is ahead
  Call("attract_yr", Address(1), 1000, 3);
  EXPECT_EQ(Record(1)[model::kWordSpinY], 3);
}

TEST_F(Motion, ThrustPushesAlongTheHeading) {
  Call("thrust", Address(1), 512);
  EXPECT_EQ(Record(1)[model::kWordVelocityZ], 512);
  // heading +x: index 2159, sin -32768, cos -71, so z keeps -2 of the push.
  Record(2)[model::kWordRotationY] = -46080;
  Record(2)[model::kWordVelocityY] = 99;
  Call("thrust", Address(2), 512);
  EXPECT_EQ(Record(2)[model::kWordVelocityX], 512);
  EXPECT_EQ(Record(2)[model::kWordVelocityZ], -2);
  Call("speed_set", Address(2), 1024);
  EXPECT_EQ(Record(2)[model::kWordVelocityX], 1024);
  EXPECT_EQ(Record(2)[model::kWordVelocityY], 0);
  EXPECT_EQ(Record(2)[model::kWordVelocityZ], -3);
  // The coarse table: 127 / 128 of the force along the whole-degree heading.
  Call("thrust_xz", Address(1), 512);
  EXPECT_EQ(Record(1)[model::kWordVelocityZ], 512 + 508);
  EXPECT_EQ(Record(1)[model::kWordVelocityX], 0);
  Record(2)[model::kWordVelocityY] = 99;
  Call("velocity_set_xz", Address(2), static_cast<uint32_t>(-512));
  EXPECT_EQ(Record(2)[model::kWordVelocityX], -508);
  EXPECT_EQ(Record(2)[model::kWordVelocityY], 99);
  // -46080 folds to 138239, row 269 (not 270): its z byte is round(127 * cos 269) = -2.
  EXPECT_EQ(Record(2)[model::kWordVelocityZ], 8);
}

TEST_F(Motion, PlanarSpeedLimit) {
  SetVector(1, model::kWordVelocityX, 30 * 512, 7, 40 * 512);  // 50 mm per tick
  Call("speed_xz_limit", Address(1), 511);
  Call("speed_xz_limit", Address(1), 60 * 512);
  EXPECT_EQ(Record(1)[model::kWordVelocityX], 30 * 512);
  Call("speed_xz_limit", Address(1), 25 * 512);
  EXPECT_EQ(Record(1)[model::kWordVelocityX], 15 * 512);
  EXPECT_EQ(Record(1)[model::kWordVelocityY], 7);
  EXPECT_EQ(Record(1)[model::kWordVelocityZ], 20 * 512);
}

TEST_F(Motion, TrackingAndSteeringTowardATarget) {
  SetVector(2, model::kWordPositionX, 0, 1000 * 512, 1000 * 512);  // 45 degrees up, ahead
  Call("track", Address(1), Address(2));
  EXPECT_EQ(Record(1)[model::kWordRotationX], -23040);
  EXPECT_EQ(Record(1)[model::kWordRotationY], 0);
  SetVector(2, model::kWordPositionX, 1000 * 512, 0, 1000 * 512);
  Call("track", Address(1), Address(2));
  EXPECT_EQ(Record(1)[model::kWordRotationX], 0);
  EXPECT_EQ(Record(1)[model::kWordRotationY], -23040);
  SetVector(2, model::kWordPositionX, 0, 5, 0);  // straight above
  Call("track", Address(1), Address(2));
  EXPECT_EQ(Record(1)[model::kWordRotationX], -46080);

  Record(1)[model::kWordRotationY] = 0;
  Record(1)[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
  SetVector(2, model::kWordPositionX, 0, 0, 1000 * 512);
  EXPECT_EQ(Call("steer_angle_to", Address(1), Address(2), 5000), 0);  // target off
  Record(2)[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
  EXPECT_EQ(Call("steer_angle_to", Address(1), Address(2), 5000), 0);
  Record(2)[model::kWordPositionZ] = -1000 * 512;  // dead behind: 92160 counts as a left turn
  EXPECT_EQ(Call("steer_angle_to", Address(1), Address(2), 5000), 5000);
  Record(2)[model::kWordPositionX] = 1000 * 512;  // behind to the right: heading 115200
  EXPECT_EQ(Call("steer_angle_to", Address(1), Address(2), 5000), -5000);
  EXPECT_EQ(Call("steer_angle_to", Address(1), Address(2), 100000), 115200 - 184320);
  Call("track_yr", Address(1), Address(2));
  EXPECT_EQ(Record(1)[model::kWordRotationY], 115200);
  EXPECT_EQ(Call("steer_angle_to", Address(1), Address(2), 5000), 0);
}

TEST_F(Motion, OrientingAlongTheVelocity) {
  SetVector(1, model::kWordVelocityX, 1000 * 512, 0, 1000 * 512);
  Call("orient_straight", Address(1), 10, 20);
  EXPECT_EQ(Record(1)[model::kWordRotationX], 10);
  EXPECT_EQ(Record(1)[model::kWordRotationY], -23040 + 20);
  Call("orient_forward", Address(2), 10, 20, 0, 0);
  EXPECT_EQ(Record(2)[model::kWordRotationX], 46080 + 10);  // at rest the course points down
  // With a rate the angles stay and the spin turns toward the course, then is damped.
  SetVector(1, model::kWordRotationX, 0, 0, 0);
  Call("orient_forward", Address(1), 0, 0, 100, 256);
  EXPECT_EQ(Record(1)[model::kWordRotationY], 0);
  EXPECT_EQ(Record(1)[model::kWordSpinY], -50);  // course -23040: turn down through 0
  EXPECT_EQ(Record(1)[model::kWordSpinX], -50);  // on the course: the step goes down
}

TEST_F(Motion, ChildrenFollowTheParentsFrame) {
  SetVector(2, model::kWordPositionX, 1000, 2000, 3000);
  SetVector(2, model::kWordRotationX, 0, -46080, 0);
  Call("child_pos", Address(1), Address(2), 0, 0, 512);
  EXPECT_EQ(Record(1)[model::kWordPositionX], 1512);
  EXPECT_EQ(Record(1)[model::kWordPositionY], 2000);
  EXPECT_EQ(Record(1)[model::kWordPositionZ], 2998);
  Call("child_rot", Address(1), Address(2), 1, 2, 3);
  EXPECT_EQ(Record(1)[model::kWordRotationY], -46080);
  EXPECT_EQ(Record(1)[model::kWordChildRotationZ], 3);
  Call("rotation_copy", Address(1), Address(3));
  EXPECT_EQ(Record(3)[model::kWordRotationX], 1);
  EXPECT_EQ(Record(3)[model::kWordRotationY], -46078);
}

TEST_F(Motion, SmoothTrackingAndFollowing) {
  SetVector(2, model::kWordPositionX, 1000 * 512, 0, 1000 * 512);  // heading -23040, level
  Record(1)[model::kWordRotationX] = 184000;  // 320 below the level pitch 0, the short way up
  Call("track_smooth", Address(1), Address(2), 1);
  EXPECT_EQ(Record(1)[model::kWordRotationX], 184160);
  EXPECT_EQ(Record(1)[model::kWordRotationY], -11520);
  Call("track_yr_smooth", Address(1), Address(2), 0);
  EXPECT_EQ(Record(1)[model::kWordRotationX], 184160);
  EXPECT_EQ(Record(1)[model::kWordRotationY], 161280);  // eased from the folded angle: -23040 + 184320
  // Goal 1000 mm ahead of element 2 along +z and 100 mm up.
  Call("follow", Address(3), Address(2), 100 * 512, 1000 * 512, 0);
  EXPECT_EQ(Record(3)[model::kWordPositionZ], 0);
  Call("follow", Address(3), Address(2), 100 * 512, 1000 * 512, 64);
  EXPECT_EQ(Record(3)[model::kWordPositionX], 500 * 512);
  EXPECT_EQ(Record(3)[model::kWordPositionZ], 1000 * 512);
  Call("follow", Address(3), Address(2), 100 * 512, 1000 * 512, 128);
  EXPECT_EQ(Record(3)[model::kWordPositionX], 1000 * 512);
  EXPECT_EQ(Record(3)[model::kWordPositionY], 100 * 512);
  EXPECT_EQ(Record(3)[model::kWordPositionZ], 2000 * 512);
}

TEST_F(Motion, SteeringSplitsRollingAndSideways) {
  // Straight ahead: s is a right angle; the table's cos(269.875) = -71 leaks 12 sideways.
  SetVector(1, model::kWordVelocityX, 0, 0, 5120);
  EXPECT_EQ(Call("steer", Address(1), 0, 512), 10 * 512);
  EXPECT_EQ(Record(1)[model::kWordVelocityX], 12);
  EXPECT_EQ(Record(1)[model::kWordVelocityZ], 5120);
  SetVector(1, model::kWordVelocityX, 0, 0, 5120);
  EXPECT_EQ(Call("steer", Address(1), 0, 0), 10 * 512);
  EXPECT_EQ(Record(1)[model::kWordVelocityX], 0);
  // a = 3072 * 85 >> 8 = 1020; rolling part (-168, 5114), 9 mm; turn 1020 * 9 >> 10 = 8.
  SetVector(1, model::kWordVelocityX, 0, 0, 5120);
  EXPECT_EQ(Call("steer", Address(1), 3072, 0), 9 * 512);
  EXPECT_EQ(Record(1)[model::kWordRotationY], 8);
  EXPECT_EQ(Record(1)[model::kWordVelocityX], -168);
  EXPECT_EQ(Record(1)[model::kWordVelocityZ], 5114);
  // Reversing turns the other way: rolling part (167, -5114), 10 mm, turn 9.
  SetVector(1, model::kWordRotationX, 0, 0, 0);
  SetVector(1, model::kWordVelocityX, 0, 0, -5120);
  EXPECT_EQ(Call("steer", Address(1), 3072, 0), -10 * 512);
  EXPECT_EQ(Record(1)[model::kWordRotationY], 184310);
  // Heading 138240 (+x) with no steering makes s = 1, table index 0: the sideways (z) motion must
  // still go. Turning by -1 (index 2879, sin -71) leaves 12 of it rolling along x.
  SetVector(1, model::kWordRotationX, 0, 138240, 0);
  SetVector(1, model::kWordVelocityX, 0, 0, 5120);
  EXPECT_EQ(Call("steer", Address(1), 0, 0), 0);
  EXPECT_EQ(Record(1)[model::kWordVelocityX], 12);
  EXPECT_EQ(Record(1)[model::kWordVelocityZ], 0);
  EXPECT_EQ(Record(1)[model::kWordRotationY], 138240);
}

TEST_F(Motion, LiftFromTheClimbAngleWithStall) {
  // 100 mm forward, 10 mm down: ratio 102, 45 eighths, alpha -2880; L = 45 * 100 = 4500. The lift
  // leans back by alpha: index 2834, sin -3283, cos 32603.
  SetVector(1, model::kWordVelocityX, 0, -10 * 512, 100 * 512);
  EXPECT_EQ(Call("lift", Address(1), 512, 10000), 4500);
  EXPECT_EQ(Record(1)[model::kWordVelocityX], 0);
  EXPECT_EQ(Record(1)[model::kWordVelocityY], -5120 + 4477);
  EXPECT_EQ(Record(1)[model::kWordVelocityZ], 51200 - 451);
  SetVector(1, model::kWordVelocityX, 0, -10 * 512, 100 * 512);
  EXPECT_EQ(Call("lift", Address(1), 512, 1440), 0);  // at twice the stall angle
  EXPECT_EQ(Record(1)[model::kWordVelocityY], -5120);
  EXPECT_EQ(Call("lift", Address(1), 512, 1500), 200);  // reflected to -120, whose index is -2
  SetVector(1, model::kWordVelocityX, 0, -10 * 512, 0);  // no planar speed
  EXPECT_EQ(Call("lift", Address(1), 512, 10000), 0);
  EXPECT_EQ(Record(1)[model::kWordVelocityY], -5120);
}

// The accumulator is the play's: a fresh play starts from no rotation, and what the rows leave
// is kept in the play as (w, x, y, z).
TEST_F(Motion, AccumulatorStartsAsNoRotationInEachPlay) {
  SetVector(1, model::kWordRotationX, 5, 6, 7);
  Call("orientation_set", Address(1));
  EXPECT_EQ(Record(1)[model::kWordRotationX], 0);
  EXPECT_EQ(Record(1)[model::kWordRotationY], 0);
  EXPECT_EQ(Record(1)[model::kWordRotationZ], 0);
  Call("rotation_axis_add", 512000, 0, 0, 23040);  // an eighth of a turn about x, from no rotation
  Call("orientation_set", Address(1));
  EXPECT_EQ(Record(1)[model::kWordRotationX], 23040);
  EXPECT_NEAR(engine.play->orientation[0], std::cos(3.14159265358979323846 / 8), 1e-12);
  EXPECT_NEAR(engine.play->orientation[1], std::sin(3.14159265358979323846 / 8), 1e-12);
  engine.play = std::make_unique<state::Play>();
  Call("orientation_set", Address(1));
  EXPECT_EQ(Record(1)[model::kWordRotationX], 0);
}

TEST_F(Motion, OrientationAccumulator) {
  Call("rotation_axis_set", 0, 512000, 0, 46080);  // a right-handed quarter turn about y faces +x
  Call("orientation_set", Address(1));
  EXPECT_EQ(Record(1)[model::kWordRotationX], 0);
  EXPECT_EQ(Record(1)[model::kWordRotationY], -46080);
  EXPECT_EQ(Record(1)[model::kWordRotationZ], 0);
  Call("rotation_axis_set", 0, 5, 0, 15360);  // axis length does not matter
  Call("rotation_axis_add", 0, 512000, 0, 30720);
  Call("orientation_set", Address(2));
  EXPECT_EQ(Record(2)[model::kWordRotationY], -46080);
  // Added about the element's own x axis: pitched after the turn, not rolled.
  Call("rotation_axis_add", 512000, 0, 0, 23040);
  Call("orientation_set", Address(2));
  EXPECT_EQ(Record(2)[model::kWordRotationX], 23040);
  EXPECT_EQ(Record(2)[model::kWordRotationY], -46080);
  EXPECT_EQ(Record(2)[model::kWordRotationZ], 0);
  Call("rotation_axis_set", 0, 0, 0, 46080);  // no axis: z
  Call("orientation_set", Address(3));
  EXPECT_EQ(Record(3)[model::kWordRotationZ], 46080);
  EXPECT_EQ(Record(3)[model::kWordRotationX] + Record(3)[model::kWordRotationY], 0);
}

// The play's tick counter, which the test moves.
class Oscillation : public Motion {
 protected:
  int32_t& Ticks() { return engine.play->brains.tickCounter; }
};

TEST_F(Oscillation, WaveAdvancesWithTheTickCounter) {
  EXPECT_EQ(Call("oscillate", 1000, 10240, 30720), 500);  // tick 0: the phase alone, cos 256
  Ticks() = 3;                                               // read at each call, not at binding
  EXPECT_EQ(Call("oscillate", 1000, 10240, 0), 500);
  Ticks() = 6;
  EXPECT_EQ(Call("oscillate", 1000, 10240, 0), -500);      // 61440: -256.014
  Ticks() = 3;
  EXPECT_EQ(Call("oscillate", 1000, static_cast<uint32_t>(-10240), 0), 500);  // 153599: 256.020
  engine.play.reset();                                      // no play: always tick 0
  EXPECT_EQ(Call("oscillate", 1000, 10240, 0), 1000);
}

TEST_F(Oscillation, ProductIs64BitsAndTheShiftRoundsDown) {
  EXPECT_EQ(Call("oscillate", static_cast<uint32_t>(-3), 0, 30720), -2);  // -768 >> 9, not -1
  EXPECT_EQ(Call("oscillate", static_cast<uint32_t>(-1), 0, 30720), -1);  // -256 >> 9, not 0
  EXPECT_EQ(Call("oscillate", static_cast<uint32_t>(-1000), 0, 0x80000000u), -836);  // -428000 / 512 = -835.9
  EXPECT_EQ(Call("oscillate", static_cast<uint32_t>(INT32_MAX), 0, 0), INT32_MAX);
  // An amplitude with the top bit set is a number here, not a frame handle.
  EXPECT_EQ(Call("oscillate", 0x80000001u, 0, 0), -INT32_MAX);
}

TEST_F(Oscillation, AngleWrapsIn32BitsAndNoRecordChanges) {
  Ticks() = 65536;  // 65536 * 65536 + 30720 wraps to 30720; unwrapped it would fold to 180997 (509)
  EXPECT_EQ(Call("oscillate", 512, 65536, 30720), 256);
  Ticks() = 2;      // 2 * INT32_MAX is -2, folded 184317; unwrapped 150275 (204)
  EXPECT_EQ(Call("oscillate", 512, INT32_MAX, 0), 512);
  Ticks() = 1;      // the sum wraps too: INT32_MAX + 30721 is -2147452928, folded 47741 (-28.987)
  EXPECT_EQ(Call("oscillate", 512, INT32_MAX, 30721), -29);

  uint8_t* records = arena.As<uint8_t>(core::Region::kElementRecords);
  for (size_t i = 0; i < 256u * 1024u; ++i) records[i] = static_cast<uint8_t>(i * 7 + 3);
  const std::vector<uint8_t> before(records, records + 256u * 1024u);
  Ticks() = 123;
  EXPECT_EQ(Call("oscillate", Address(1), 0, 0), static_cast<int32_t>(Address(1)));  // just a number
  Call("oscillate", 5000, 77, 999);
  EXPECT_EQ(std::memcmp(records, before.data(), before.size()), 0);
}

class MotionBrain : public Motion, public ::testing::WithParamInterface<brain::Backend> {};

// The routines bound into a runner and called from compiled brain code.
TEST_P(MotionBrain, BrainsCallTheBoundRoutines) {
  BrainRun run;
  StartBrainRun(&run, GetParam());
  brain::CompilerState& compiler = run.compiler;
  brain::BrainRuntime& runtime = run.runtime;
  const std::vector<std::string>& errors = run.errors;
  brain::CompileBrainText(&compiler,
                          "var a\r\nvar b\r\nvelocity_x_set(element, 512)\r\nvelocity_update(element)\r\n"
                          "position_z_set(element#1, 7)\r\na = angle(1000, 1000)\r\nb = position_x(element)\r\n"
                          "position_x(123)\r\nposition_x(2000000000)");
  ASSERT_TRUE(compiler.error.empty()) << compiler.error;
  Record(0)[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
  runtime.lastElement = 1;
  EXPECT_EQ(brain::PrepareBrains(&runtime), 0);
  brain::RunBrains(&runtime);
  EXPECT_EQ(Record(0)[255], -23040);
  EXPECT_EQ(Record(0)[254], 512);
  EXPECT_EQ(Record(1)[model::kWordPositionZ], 7);
  ASSERT_EQ(errors.size(), 1u);  // 123 names nothing; the last line hands over a number past the records
  EXPECT_NE(errors[0].find("Not an element"), std::string::npos) << errors[0];
}

INSTANTIATE_TEST_SUITE_P(Backends, MotionBrain, ::testing::Values(brain::Backend::kInterpreter, brain::Backend::kNative));

}  // namespace
