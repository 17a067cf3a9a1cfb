// Reading the .3ds source of a boundary ground map. Calls the 3DS reader, model and core.
#include "engine/visuals/ground_source.h"

#include "core/core.h"
#include "engine/visuals/aspect.h"
#include "engine/visuals/model_3ds.h"

namespace engine {

GroundSource ReadGroundSource(const std::string& path) {
  GroundSource source;
  std::string bytes;
  if (!core::ReadFile(path, &bytes)) return source;
  source.found = true;
  source.checksum = model::GroundSourceChecksum(bytes);
  Model3ds mesh;
  source.isModel = Parse3ds(bytes, &mesh);
  if (!source.isModel) return source;
  source.triangles.reserve(mesh.faces.size());
  for (const MeshFace& face : mesh.faces) {
    model::GroundTriangle t;
    // The reader already gives (x, y up, z); the coordinates become millimetres as collision faces do.
    for (int v = 0; v < 3; ++v) {
      for (int axis = 0; axis < 3; ++axis) t.v[v * 3 + axis] = CollisionCoordinate(face.v[v][axis]);
    }
    source.triangles.push_back(t);
  }
  return source;
}

}  // namespace engine
