// Motion instructions: element position, rotation, velocity and spin words, speed and distance
// queries, forces, headings and the angle helpers they share. Calls core/arena, the brain
// runner's types and the current engine.
#pragma once

#include <cstdint>
#include <span>

#include "brain/brain.h"
#include "model/model.h"

namespace instructions {

using model::kAngleModulus;
using model::kFullTurn;
using model::WrapAngle;

// b - a of the folded angles, moved one full turn toward zero when its size is 92161 or more.
int32_t ShortestAngleDifference(int32_t a, int32_t b);

// Eighths of a degree whose tangent times 1024 is `ratio` (>= 0), by binary search of the
// 720-entry arctangent table; 720 for a ratio of 512000 or more. `table` holds 720 ascending
// entries.
int32_t TableArctangent(const int32_t* table, int64_t ratio);

// The line angle of (p, q) in angle units, 0..184320: the table arctangent of |p x 1024 / q|
// placed in its quadrant (a right angle when q is 0).
int32_t LineAngle(const core::Arena* arena, int64_t p, int64_t q);

// Heading (angle units, -46080..138240) of the vector (dx, dz): 0 along +z, -46080 along +x.
// An x extent from 0 to 511 counts as straight along z.
int32_t PlanarDirection(const int32_t* arctangent, int64_t dx, int64_t dz);

// Sum of the squared parts of a vector given in 1/512 mm, each part shifted to whole millimetres
// first (toward minus infinity, so -1 counts as a whole millimetre), as the planar and spatial
// distance rules do. Parts are differences of 32-bit words, so the sum stays below 2^48.
inline int64_t SquaredMillimetres(int64_t a, int64_t b, int64_t c) {
  a >>= 9;
  b >>= 9;
  c >>= 9;
  return a * a + b * b + c * c;
}

// The separation `distance` measures between two element records. Inline: searches take it for
// every candidate.
inline int64_t SquaredSeparation(const int32_t* element, const int32_t* other) {
  using model::kWordPositionX, model::kWordPositionY, model::kWordPositionZ;
  return SquaredMillimetres(int64_t{element[kWordPositionX]} - other[kWordPositionX],
                            int64_t{element[kWordPositionY]} - other[kWordPositionY],
                            int64_t{element[kWordPositionZ]} - other[kWordPositionZ]);
}
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
