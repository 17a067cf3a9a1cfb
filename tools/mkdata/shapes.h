// mkdata's procedural meshes: triangle lists in .3ds coordinates (z up, faces counter-clockwise
// seen from outside) and the .3ds file of one. Private to tools/mkdata/.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "mkdata/bytes.h"

namespace mkdata {

struct Mesh {
  std::vector<float> xyz;          // three floats a vertex
  std::vector<uint16_t> corners;   // three vertex indices a face

  uint16_t Add(float x, float y, float z);
  void Face(uint16_t a, uint16_t b, uint16_t c) { corners.insert(corners.end(), {a, b, c}); }
  // Turns every face so that it faces away from `centre` (for shapes that are star-shaped about it).
  void FaceOutwardsFrom(float cx, float cy, float cz);
};

Bytes MeshFile(std::string_view name, const Mesh& mesh);

// A ring (torus) about the vertical axis: `around` segments around, `tube` around the tube.
Mesh RingMesh(float ringRadius, float thickness, int around, int tube);
// A height field over x in [-halfX, halfX] and y in [-halfY, halfY], cells x cells, facing up.
Mesh TerrainMesh(float halfX, float halfY, int cellsX, int cellsY, const std::function<float(float x, float y)>& height);
// A hover dart 1.9 long, nose towards +y, standing on z = 0.
Mesh DartMesh();
// A lumpy boulder of about `radius`, its shape fixed by `seed`, resting on z = 0.
Mesh BoulderMesh(float radius, uint32_t seed);
// A closed cone (base at z = base) and a closed upright cylinder, `segments` around.
Mesh ConeMesh(float radius, float base, float height, int segments);
Mesh CylinderMesh(float radius, float base, float height, int segments);

}  // namespace mkdata
