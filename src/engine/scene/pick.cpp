// The scene layer's ray picking: the nearest mesh face hit under a root scene, with each mesh's
// box kept to reject frames before their faces are tested. Calls GLM and the mesh builder.
#include <algorithm>
#include <cmath>
#include <limits>

#include <glm/geometric.hpp>
#include <glm/matrix.hpp>

#include "engine/scene/scene.h"

namespace engine::scene {
namespace {

// The entry distance of the ray into the box when it meets it within (0, limit).
bool RayHitsBox(const glm::vec3& origin, const glm::vec3& inverseDirection, const glm::vec3& min, const glm::vec3& max,
                float limit) {
  float near = 0.0f, far = limit;
  for (int axis = 0; axis < 3; ++axis) {
    // 0 * inf is NaN for a ray along a face of the box; min/max below drop the NaN in favour of
    // the running bounds, which keeps such rays (faces still decide).
    float t0 = (min[axis] - origin[axis]) * inverseDirection[axis];
    float t1 = (max[axis] - origin[axis]) * inverseDirection[axis];
    if (t0 > t1) std::swap(t0, t1);
    near = t0 > near ? t0 : near;
    far = t1 < far ? t1 : far;
    if (near > far) return false;
  }
  return true;
}

// Möller–Trumbore, both sides: the distance along the ray, or a negative value for no hit.
float RayHitsTriangle(const glm::vec3& origin, const glm::vec3& direction, const glm::vec3& a, const glm::vec3& b,
                      const glm::vec3& c) {
  const glm::vec3 e1 = b - a, e2 = c - a;
  const glm::vec3 p = glm::cross(direction, e2);
  const float det = glm::dot(e1, p);
  if (det == 0.0f || !std::isfinite(det)) return -1.0f;
  const float inv = 1.0f / det;
  const glm::vec3 s = origin - a;
  const float u = glm::dot(s, p) * inv;
  if (u < 0.0f || u > 1.0f) return -1.0f;
  const glm::vec3 q = glm::cross(s, e1);
  const float v = glm::dot(direction, q) * inv;
  if (v < 0.0f || u + v > 1.0f) return -1.0f;
  return glm::dot(e2, q) * inv;
}

}  // namespace

const Scene::MeshBounds& Scene::BoundsOf(const MeshBuilder* mesh) const {
  MeshBounds& b = pickBounds_[mesh];
  const auto& vertices = mesh->Vertices();
  if (b.vertices != vertices.data() || b.count != vertices.size()) {
    b.vertices = vertices.data();
    b.count = vertices.size();
    b.empty = !mesh->Box(&b.min, &b.max);
  }
  return b;
}

bool Scene::Pick(int32_t root, const glm::vec3& origin, const glm::vec3& direction, PickHit* hit) const {
  if (!Shown(root)) return false;
  float best = std::numeric_limits<float>::infinity();
  int32_t bestFrame = kNone;

  struct Pending {
    int32_t frame;
    glm::mat4 parentWorld;
  };
  std::vector<Pending> stack;
  const MeshBuilder* lastMesh = nullptr;
  const MeshBounds* lastBounds = nullptr;
  stack.push_back({root, At(root).parent == kNone ? glm::mat4(1.0f) : WorldMatrix(At(root).parent)});
  while (!stack.empty()) {
    const Pending item = stack.back();
    stack.pop_back();
    const Frame& frame = At(item.frame);
    if (frame.traversal == kTraversalHidden) continue;
    glm::mat4 world = item.parentWorld;
    {
      // The local matrix, built in place: translate, orientation, scale.
      glm::mat4 local(1.0f);
      local[0] = glm::vec4(frame.orientation[0] * frame.scale.x, 0.0f);
      local[1] = glm::vec4(frame.orientation[1] * frame.scale.y, 0.0f);
      local[2] = glm::vec4(frame.orientation[2] * frame.scale.z, 0.0f);
      local[3] = glm::vec4(frame.position, 1.0f);
      world = world * local;
    }
    for (int32_t child : frame.children) stack.push_back({child, world});
    if (frame.meshes.empty()) continue;

    // The largest stretch of the frame's axes bounds each mesh's sphere in the world, a test much
    // cheaper than carrying the ray into the frame's space, which only meshes near the ray need.
    const float stretch = std::sqrt(std::max({glm::dot(glm::vec3(world[0]), glm::vec3(world[0])),
                                              glm::dot(glm::vec3(world[1]), glm::vec3(world[1])),
                                              glm::dot(glm::vec3(world[2]), glm::vec3(world[2]))}));
    bool local = false;
    glm::vec3 o, d, inverseD;
    for (const MeshBuilder* mesh : frame.meshes) {
      if (mesh == nullptr) continue;
      // Frames often share a mesh: the last box found saves a look-up.
      if (mesh != lastMesh) {
        lastMesh = mesh;
        lastBounds = &BoundsOf(mesh);
      }
      const MeshBounds& bounds = *lastBounds;
      if (bounds.empty) continue;
      const glm::vec3 centre(world * glm::vec4((bounds.min + bounds.max) * 0.5f, 1.0f));
      const float radius = glm::length(bounds.max - bounds.min) * 0.5f * stretch;
      const glm::vec3 toCentre = centre - origin;
      const float along = glm::dot(toCentre, direction);
      const float squaredLength = glm::dot(direction, direction);
      if (squaredLength > 0.0f && along < 0.0f && glm::dot(toCentre, toCentre) > radius * radius) continue;
      if (squaredLength > 0.0f &&
          glm::dot(toCentre, toCentre) - along * along / squaredLength > radius * radius * 1.0001f) {
        continue;
      }
      if (!local) {
        // An affine map keeps the ray parameter, so distances in the frame's space compare as is.
        const float det = glm::determinant(glm::mat3(world));
        if (det == 0.0f || !std::isfinite(det)) break;
        const glm::mat4 toLocal = glm::inverse(world);
        o = glm::vec3(toLocal * glm::vec4(origin, 1.0f));
        d = glm::vec3(toLocal * glm::vec4(direction, 0.0f));
        inverseD = glm::vec3(1.0f / d.x, 1.0f / d.y, 1.0f / d.z);
        local = true;
      }
      if (!RayHitsBox(o, inverseD, bounds.min, bounds.max, best)) continue;
      const auto& v = mesh->Vertices();
      for (size_t i = 0; i + 2 < v.size(); i += 3) {
        const float t = RayHitsTriangle(o, d, v[i].position, v[i + 1].position, v[i + 2].position);
        if (t > 0.0f && t < best) {
          best = t;
          bestFrame = item.frame;
        }
      }
    }
  }
  if (bestFrame == kNone) return false;
  if (hit != nullptr) {
    hit->frame = bestFrame;
    hit->path.clear();
    for (int32_t f = bestFrame; f != kNone; f = At(f).parent) {
      hit->path.push_back(f);
      if (f == root) break;
    }
    std::reverse(hit->path.begin(), hit->path.end());
    hit->distance = best;
    hit->position = origin + direction * best;
  }
  return true;
}

}  // namespace engine::scene
