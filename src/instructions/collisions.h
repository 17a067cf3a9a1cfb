// Collisions between elements: the pair list built from the project's collision map, the
// collision defaults of a play start, the collision pass the loop runs once per tick, and the
// collision family's routines (queries, rebounds, sight, extents). Calls core/arena, the brain
// runner's types and the current engine.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "brain/brain.h"
#include "state/state.h"

namespace instructions {

// The palette index of collision colour number n (0 to 11; others count as 0).
int32_t CollisionColourValue(int32_t number);
// The 8-bit palette index of a colour (components 0 to 255): the two darkest and the two lightest
// indices for near-black and near-white, else a colour cube from index 2.
int32_t CollisionPaletteIndex(int32_t red, int32_t green, int32_t blue);

// The floor of the square root of v, by integers only (a floating-point root can round up across
// an integer for values near 2^32 and beyond).
uint32_t IntegerSquareRoot(uint64_t v);

// Every pair of the 256 x 256 map (row i, column j > i, non-zero byte) in row then column order:
// (j, i, colour value, 0), and the elements they name. Holds all 32,640 pairs a full map names.
void BuildCollisionPairs(const uint8_t* map, state::CollisionState* collisions);

// Play-start collision words of elements 0..lastElement: a radius of 0 or less from the extent
// words, the box radius from the footprint corners, collision bits cleared.
void SetCollisionDefaults(int32_t* records, int32_t lastElement);

// Whether two records touch by the pair test (per-axis rejects, integer distance, the box test
// when both have box collisions on), whatever their other status bits. `sine`: the fine table.
bool RecordsTouch(const int32_t* sine, const int32_t* a, const int32_t* b);
// The box test alone: vertical overlap, then the rotated footprints crossing or one holding a
// corner of the other.
bool BoxesTouch(const int32_t* sine, const int32_t* a, const int32_t* b);

// One collision pass over the pair list on the records: the collision bits of the named elements
// cleared, then every pair whose two elements are on with collisions on is tested; a hit ORs the
// identity bits both ways and sets the hit word to the colour value, any other pair's is 0.
void RunCollisionPass(int32_t* records, const int32_t* sine, state::CollisionState* collisions);
// The pass of the current play (frame operation 4 of the loop).
void CollisionPass(state::Engine& engine);

// Play start, after the aspects are loaded: the pair list from the arena's map, the collision
// defaults, and the ground mesh (the last element whose current aspect is a ground map).
void StartCollisions(state::Engine& engine);
// After every logic step: lowers h_poly_collision's countdown toward 0.
void CountDownPolygonTest(state::Play& play);

// The index of the element whose record `record` is (records must be the arena's array).
inline int32_t ElementIndexOf(const core::Arena* arena, const int32_t* record) {
  return static_cast<int32_t>((record - arena->As<int32_t>(core::Region::kElementRecords)) / model::kRecordWords);
}

std::span<const brain::RoutineEntry> CollisionRoutines();

}  // namespace instructions
