// Ground and volumes: the ground height, colour and slope under a point (ground mesh, else ground
// grid, else level ground at 0), the volume mesh's probes, and the ground family's routines. Calls
// model's ground maps, the current engine and the brain runner's types.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "brain/brain.h"
#include "state/state.h"

namespace instructions {

// The ground map an element's current aspect slot holds, or nullptr (index -1, no slot, not a
// ground map).
const model::GroundMap* GroundMapOfElement(const state::Engine& engine, int32_t element);

// The ground grid's triangle under (x, z) (position units): -1 without a grid or outside it, where
// |x| and |z| in millimetres must stay below the half width h = c g / 2. The cell is row
// (h - z) / c, column (x + h) / c; the cell's first triangle holds the in-cell offsets (from the
// cell's x start and z end) whose sum is below c, the second the rest.
int32_t GridTriangleAt(const state::GroundGrid& grid, int32_t x, int32_t z);
// The plane of grid triangle `triangle` at (x, z), by an integer cross product and division, in
// position units; no ground element's y added.
int32_t GridTriangleHeight(const state::GroundGridTriangle& triangle, int32_t x, int32_t z);

// The ground height under (x, z) for something at height y with allowance r above it (position
// units): the ground mesh when one is set and has a map, else the grid (plus the ground element's
// y), else 0. The triangle chosen is kept in the play for the slope queries.
int32_t GroundHeight(state::Engine& engine, int32_t x, int32_t y, int32_t z, int32_t r);

// The volume test on the play's volume mesh at a point; outside without a volume mesh.
bool InsideVolume(const state::Engine& engine, int32_t x, int32_t y, int32_t z, int32_t above, int32_t below);

// The step-back loop of volume_slide's mode -1: d = (dx, dz) is scaled by 125/128 (x 125 >> 7) a
// step until inside(d) or |dx| + |dz| < 5001; returns the number of steps. Bounded for every start.
int32_t StepBackIterations(int32_t dx, int32_t dz, const std::function<bool(int32_t, int32_t)>& inside);

std::span<const brain::RoutineEntry> GroundRoutines();

}  // namespace instructions
