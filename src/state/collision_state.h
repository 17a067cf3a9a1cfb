// What the collision, ground and volume instructions keep for one play: the pair list, the ground
// and volume references, the rebound divisor, the polygon test's parts and results, and the ground
// grid. Plain values; calls nothing. Part of state::Play, so wiped at every play start.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace state {

// One pair the collision map names: the higher element, the lower element (indices), the colour
// value of its map byte and the hit word the last pass left (the colour value on a hit, else 0).
struct CollisionPair {
  int32_t first = 0;
  int32_t second = 0;
  int32_t colour = 0;
  int32_t hit = 0;
};

// A ground grid: g x g square cells of c millimetres centred on the origin, each split along a
// diagonal into two triangles of three vertices (x, y, z in millimetres) and a colour word: 40
// bytes each. Cell (row, column) holds triangles 2 (row g + column) and the one after; row 0 is at
// +z. Heights are measured from the y position of `element` (no element: from 0).
struct GroundGridTriangle {
  int32_t v[9] = {};
  int32_t colour = 0;
};
static_assert(sizeof(GroundGridTriangle) == 40);

struct GroundGrid {
  int32_t cellSize = 0;  // c, millimetres; 0 or less: no grid
  int32_t cells = 0;     // g, cells a side
  int32_t element = -1;  // the ground element whose y the heights are measured from
  std::vector<GroundGridTriangle> triangles;  // 2 g^2 of them, row by row
  bool Present() const {
    return cellSize > 0 && cells > 0 && triangles.size() == 2u * static_cast<size_t>(cells) * static_cast<size_t>(cells);
  }
};

struct CollisionState {
  std::vector<CollisionPair> pairs;  // in map order: row, then column
  std::array<bool, 256> named{};     // the elements some pair names, kept with the list
  std::vector<uint32_t> candidates;  // the pass's scratch: pairs left after the axis tests
  int32_t groundMesh = -1;           // element whose ground map is the ground mesh; -1 none
  int32_t volumeMesh = -1;           // likewise the volume mesh
  int32_t reboundDivisor = 250;      // rebound_yr's divisor
  int32_t polygonCountdown = 5;      // h_poly_collision answers 0 until it reaches 0
  // The triangle the last mesh height query chose (-1: none), kept for the slope queries; the
  // grid's counterpart is a triangle index of the grid.
  int32_t meshTriangle = -1;
  int32_t gridTriangle = -1;
  // The five values of h_cpart1_set and h_cpart2_set: a child path and a mesh group.
  std::array<int32_t, 5> part1{};
  std::array<int32_t, 5> part2{};
  // The last contact of h_poly_collision, in scene units: the point in the world and relative to
  // each object, the chosen normal and each object's averaged normal.
  std::array<std::array<float, 3>, 3> contactPoint{};
  std::array<std::array<float, 3>, 3> contactNormal{};
  GroundGrid grid;
};

}  // namespace state
