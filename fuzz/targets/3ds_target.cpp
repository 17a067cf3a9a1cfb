// Fuzz target bodies: .3ds models and the box files of .x visuals. Calls engine/visuals.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "targets.h"

namespace fuzzing {

std::string Fuzz3ds(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  engine::Model3ds model;
  const bool isModel = engine::Parse3ds(bytes, &model);
  if (isModel != (model.recognisedChunks >= 5)) return "the answer disagrees with the recognised chunk count";
  // Every entry takes bytes of the file: a count beyond them means entries were made up (or read
  // past the chunk that holds them).
  if (static_cast<size_t>(model.vertexEntries) * 12 > size) return "more vertices than the file holds";
  if (model.faces.size() * 8 > size) return "more faces than the file holds";
  if (!model.faces.empty() && model.vertexEntries == 0) return "faces without any vertex";
  if (static_cast<size_t>(model.recognisedChunks) * 6 > size) return "more chunks than the file holds";
  for (const engine::MeshFace& face : model.faces) {
    for (const glm::vec3& v : face.v) {
      if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) return "a non-finite coordinate";
    }
  }
  // Flipping twice gives the faces back.
  std::vector<engine::MeshFace> flipped = model.faces;
  engine::FlipFaces(&flipped);
  engine::FlipFaces(&flipped);
  for (size_t i = 0; i < flipped.size(); ++i) {
    for (int k = 0; k < 3; ++k) {
      if (flipped[i].v[k] != model.faces[i].v[k]) return "flipping twice changed a face";
    }
  }
  return {};
}

std::string FuzzXbox(const uint8_t* data, size_t size) {
  const engine::BoxFile box = engine::ParseBoxFile(std::string_view(reinterpret_cast<const char*>(data), size));
  // Whatever was read, written back in the file's order it reads the same.
  std::string text = "box\r\n";
  for (int axis = 0; axis < 3; ++axis) {
    text += std::to_string(box.max[axis]) + "\r\n" + std::to_string(box.min[axis]) + "\r\n";
  }
  const engine::BoxFile again = engine::ParseBoxFile(text);
  for (int axis = 0; axis < 3; ++axis) {
    if (again.max[axis] != box.max[axis] || again.min[axis] != box.min[axis]) {
      return "the box written back reads differently on axis " + std::to_string(axis);
    }
  }
  return {};
}

}  // namespace fuzzing
