// Polygon-level collision between two objects of the scene: the triangle lists, the box and
// triangle tests and the contact they leave, and the routines of h_poly_collision, the collision
// part selections and the contact readers. Calls the scene bridge's frames and meshes, GLM, the
// brain runner's types and the current engine.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include <glm/mat3x3.hpp>
#include <glm/vec3.hpp>

#include "brain/brain.h"
#include "state/state.h"

namespace instructions {

using PolygonTriangle = std::array<glm::vec3, 3>;

// One object as the test sees it: its triangles in scene coordinates, the rotation part of its
// frame's transform (to turn scene offsets back into the object's frame) and its position.
struct PolygonObject {
  std::vector<PolygonTriangle> triangles;
  glm::mat3 rotation{1.0f};
  glm::vec3 position{0.0f};
};

// The contact the last test left: point and normal, kind 0 in the scene, kinds 1 and 2 for
// object 1 and object 2 (see state::CollisionState).
struct PolygonContact {
  std::array<std::array<float, 3>, 3> point{};
  std::array<std::array<float, 3>, 3> normal{};
};

// Whether two triangles meet (touching counts), by separating axes: the two face normals, the
// nine edge cross products and, for triangles in one plane, the edges' in-plane normals. A
// triangle of no area meets nothing.
bool TrianglesMeet(const PolygonTriangle& a, const PolygonTriangle& b);

// The test itself: -1 when the objects' boxes overlap (mode other than 0), or, with mode 0, when
// some triangle of object 1 inside the overlap box meets some triangle of object 2 inside it; else
// 0. On -1 the contact is written: the overlap box's centre, each object's averaged normal over
// the meeting pairs (mode 0), the chosen normal. The broad phase bins object 2's triangles in a
// uniform grid over the overlap box so that each triangle of object 1 meets only its neighbours;
// each pair is tested once.
int32_t PolygonCollision(const PolygonObject& first, const PolygonObject& second, int32_t mode, PolygonContact* contact);

std::span<const brain::RoutineEntry> PolygonRoutines();

}  // namespace instructions
