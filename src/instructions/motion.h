// Motion instructions: element position, rotation, velocity and spin words, speed and distance
// queries, forces, headings and the angle helpers they share. Calls core/arena, the brain
// runner's types and the current engine.
#pragma once

#include <cstdint>
#include <span>

#include "brain/brain.h"

namespace instructions {

// A full turn in angle units (1/512 degree).
inline constexpr int32_t kFullTurn = 184320;
// Angles are folded with one less than a full turn; stored rotations and tracked headings are
// computed with this modulus, so it stays.
inline constexpr int32_t kAngleModulus = 184319;

// Folds an angle: a value below 0 gives (a mod 184319) + 184319 (1..184319), a value above 184319
// gives a mod 184319, 0..184319 stay (remainders of truncating division).
int32_t WrapAngle(int32_t angle);

// b - a of the folded angles, moved one full turn toward zero when its size is 92161 or more.
int32_t ShortestAngleDifference(int32_t a, int32_t b);

// Eighths of a degree whose tangent times 1024 is `ratio` (>= 0), by binary search of the
// 720-entry arctangent table; 720 for a ratio of 512000 or more. `table` holds 720 ascending
// entries.
int32_t TableArctangent(const int32_t* table, int64_t ratio);

// Heading (angle units, -46080..138240) of the vector (dx, dz): 0 along +z, -46080 along +x.
// An x extent from 0 to 511 counts as straight along z.
int32_t PlanarDirection(const int32_t* arctangent, int64_t dx, int64_t dz);

// The separation `distance` measures between two element records: the position differences, each
// shifted to whole millimetres (toward minus infinity), squared and summed (below 2^48).
int64_t SquaredSeparation(const int32_t* element, const int32_t* other);
// round(sqrt(squares)): whole millimetres, as `distance` rounds before its factor of 512. Never
// smaller for a larger sum, so a sum that is not smaller than another cannot round smaller.
int32_t RoundedRoot(int64_t squares);

// Angle units in a radian, as the sine and cosine functions of brains count them.
inline constexpr double kUnitsPerRadian = 29335.0;
// Cosine of the folded angle, times 512, rounded to nearest.
int32_t Cosine512(int32_t angle);

// The motion family's routines. Element arguments are record addresses; a value with the top bit
// set is a frame handle, for which the instructions change nothing and return 0. Any other
// address that is not the start of an element record stops the brain with a fault. `oscillate`
// reads the play's tick counter; the orientation rows share the play's accumulator.
std::span<const brain::RoutineEntry> MotionRoutines();

}  // namespace instructions
