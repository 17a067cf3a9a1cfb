// The scene layer's frames and viewports: the tree of frames, world matrices, positions and
// orientations relative to other frames, lights, owned meshes, projection. Calls GLM.
#include "engine/scene/scene.h"

#include <cmath>
#include <utility>

#include <glm/ext/matrix_clip_space.hpp>
#include <glm/geometric.hpp>
#include <glm/matrix.hpp>

namespace engine::scene {
namespace {

glm::mat4 LocalMatrix(const Frame& frame) {
  glm::mat4 m(1.0f);
  m[0] = glm::vec4(frame.orientation[0] * frame.scale.x, 0.0f);
  m[1] = glm::vec4(frame.orientation[1] * frame.scale.y, 0.0f);
  m[2] = glm::vec4(frame.orientation[2] * frame.scale.z, 0.0f);
  m[3] = glm::vec4(frame.position, 1.0f);
  return m;
}

// A direction and up made into an orthonormal pair (up perpendicular to the direction); false when
// either is zero or they are parallel, so that no NaN reaches a frame. Inlined: its square roots
// and divisions form one long chain, which the callers overlap with the work around it.
[[gnu::always_inline]] inline bool Orthonormalise(const glm::vec3& direction, const glm::vec3& up, glm::vec3* d,
                                                  glm::vec3* u) {
  const float dl = glm::length(direction);
  if (!(dl > 0.0f) || !std::isfinite(dl)) return false;
  const glm::vec3 nd = direction / dl;
  const glm::vec3 pu = up - nd * glm::dot(up, nd);
  const float ul = glm::length(pu);
  // Relative to the up's own length: an up within about 1e-4 radians of the direction is parallel.
  if (!(ul > 1e-4f * glm::length(up)) || !std::isfinite(ul)) return false;
  *d = nd;
  *u = pu / ul;
  return true;
}

// SetOrientation through a space, inlined into both its callers.
[[gnu::always_inline]] inline void Orient(Scene* scene, int32_t frame, const PlacementSpace& space,
                                          const glm::vec3& direction, const glm::vec3& up) {
  if (!scene->Valid(frame)) return;
  const int32_t parent = scene->At(frame).parent;
  if (parent != space.parent) {
    scene->SetOrientation(frame, scene->SpaceOf(space.reference, parent), direction, up);
    return;
  }
  glm::vec3 d, u;
  if (!Orthonormalise(direction, up, &d, &u)) return;
  if (space.identity) {
    scene->At(frame).orientation = glm::mat3(glm::cross(u, d), u, d);
    return;
  }
  if (space.reference != kNone) {
    const glm::mat3 toWorld(space.referenceWorld);
    d = toWorld * d;
    u = toWorld * u;
  }
  if (parent != kNone) {
    d = space.parentInverse3 * d;
    u = space.parentInverse3 * u;
  }
  // Scaled references or parents can skew the pair; make it orthonormal again in the parent's space.
  if (!Orthonormalise(d, u, &d, &u)) return;
  scene->At(frame).orientation = glm::mat3(glm::cross(u, d), u, d);
}

}  // namespace

int32_t Scene::CreateFrame(int32_t parent) {
  if (parent != kNone && !Valid(parent)) return kNone;
  const auto id = static_cast<int32_t>(frames_.size());
  frames_.emplace_back();
  frames_.back().parent = parent;
  if (parent != kNone) At(parent).children.push_back(id);
  return id;
}

int32_t Scene::RootOf(int32_t frame) const {
  if (!Valid(frame)) return kNone;
  while (At(frame).parent != kNone) frame = At(frame).parent;
  return frame;
}

bool Scene::Shown(int32_t frame) const {
  if (!Valid(frame)) return false;
  for (int32_t f = frame; f != kNone; f = At(f).parent) {
    if (At(f).traversal == kTraversalHidden) return false;
  }
  return true;
}

glm::mat4 Scene::WorldMatrix(int32_t frame) const {
  if (!Valid(frame)) return glm::mat4(1.0f);
  glm::mat4 m = LocalMatrix(At(frame));
  for (int32_t f = At(frame).parent; f != kNone; f = At(f).parent) m = LocalMatrix(At(f)) * m;
  return m;
}

PlacementSpace Scene::SpaceOf(int32_t reference, int32_t parent) const {
  PlacementSpace space;
  space.reference = Valid(reference) ? reference : kNone;
  space.parent = Valid(parent) ? parent : kNone;
  if (space.reference != kNone) space.referenceWorld = WorldMatrix(reference);
  if (space.parent != kNone) {
    const glm::mat4 parentWorld = space.parent == space.reference ? space.referenceWorld : WorldMatrix(parent);
    // A parent scaled to nothing has no point that maps to a target; positions then keep the frame
    // as it was rather than store NaNs (orientations are caught by the second orthonormalisation).
    const float det = glm::determinant(glm::mat3(parentWorld));
    space.parentInvertible = det != 0.0f && std::isfinite(det);
    if (space.parentInvertible) space.parentInverse = glm::inverse(parentWorld);
    space.parentInverse3 = glm::inverse(glm::mat3(parentWorld));
  }
  const glm::mat4 one(1.0f);
  space.identity = space.referenceWorld == one && space.parentInverse == one && space.parentInvertible;
  return space;
}

void Scene::SetPosition(int32_t frame, int32_t reference, const glm::vec3& position) {
  if (!Valid(frame)) return;
  SetPosition(frame, SpaceOf(reference, At(frame).parent), position);
}

void Scene::SetPosition(int32_t frame, const PlacementSpace& space, const glm::vec3& position) {
  if (!Valid(frame)) return;
  const int32_t parent = At(frame).parent;
  if (parent != space.parent) {
    SetPosition(frame, SpaceOf(space.reference, parent), position);
    return;
  }
  if (space.identity) {
    if (std::isfinite(position.x) && std::isfinite(position.y) && std::isfinite(position.z)) At(frame).position = position;
    return;
  }
  glm::vec3 world = position;
  if (space.reference != kNone) world = glm::vec3(space.referenceWorld * glm::vec4(position, 1.0f));
  if (parent != kNone) {
    if (!space.parentInvertible) return;
    world = glm::vec3(space.parentInverse * glm::vec4(world, 1.0f));
  }
  if (!std::isfinite(world.x) || !std::isfinite(world.y) || !std::isfinite(world.z)) return;
  At(frame).position = world;
}

glm::vec3 Scene::GetPosition(int32_t frame, int32_t reference) const {
  if (!Valid(frame)) return glm::vec3(0.0f);
  const glm::vec4 world = WorldMatrix(frame)[3];
  if (!Valid(reference)) return glm::vec3(world);
  return glm::vec3(glm::inverse(WorldMatrix(reference)) * world);
}

void Scene::SetOrientation(int32_t frame, int32_t reference, const glm::vec3& direction, const glm::vec3& up) {
  if (!Valid(frame)) return;
  SetOrientation(frame, SpaceOf(reference, At(frame).parent), direction, up);
}

void Scene::SetOrientation(int32_t frame, const PlacementSpace& space, const glm::vec3& direction,
                           const glm::vec3& up) {
  Orient(this, frame, space, direction, up);
}

void Scene::GetOrientation(int32_t frame, int32_t reference, glm::vec3* direction, glm::vec3* up) const {
  glm::vec3 d(0.0f, 0.0f, 1.0f), u(0.0f, 1.0f, 0.0f);
  if (Valid(frame)) {
    const glm::mat3 world(WorldMatrix(frame));
    d = world[2];
    u = world[1];
    if (Valid(reference)) {
      const glm::mat3 fromWorld = glm::inverse(glm::mat3(WorldMatrix(reference)));
      d = fromWorld * d;
      u = fromWorld * u;
    }
    // Scales along the way change the lengths, never what the frame faces.
    const float dl = glm::length(d), ul = glm::length(u);
    if (dl > 0.0f) d /= dl;
    if (ul > 0.0f) u /= ul;
  }
  if (direction != nullptr) *direction = d;
  if (up != nullptr) *up = u;
}

int32_t Scene::AddLight(int32_t frame, const Light& light) {
  if (!Valid(frame)) return kNone;
  Frame& f = At(frame);
  if (f.light != kNone) {
    lights_[static_cast<size_t>(f.light)] = light;
    return f.light;
  }
  f.light = static_cast<int32_t>(lights_.size());
  lights_.push_back(light);
  return f.light;
}

const MeshBuilder* Scene::Own(std::unique_ptr<MeshBuilder> mesh) {
  owned_.push_back(std::move(mesh));
  return owned_.back().get();
}

int32_t Scene::CreateAnimation() {
  animations_.emplace_back();
  return static_cast<int32_t>(animations_.size() - 1);
}

void Scene::Clear() {
  // Frames may point at owned meshes, so they go first; meshes last, newest first.
  while (!animations_.empty()) animations_.pop_back();
  while (!frames_.empty()) frames_.pop_back();
  while (!lights_.empty()) lights_.pop_back();
  while (!owned_.empty()) owned_.pop_back();
  pickBounds_.clear();
}

glm::mat4 Viewport::Projection() const {
  float right = field, top = field;
  if (width > 0 && height > 0) {
    if (width >= height) {
      top = field * static_cast<float>(height) / static_cast<float>(width);
    } else {
      right = field * static_cast<float>(width) / static_cast<float>(height);
    }
  }
  return glm::frustumLH_NO(-right, right, -top, top, front, back);
}

glm::mat4 ViewMatrix(const Scene& scene, int32_t camera) {
  if (!scene.Valid(camera)) return glm::mat4(1.0f);
  glm::mat4 world = scene.WorldMatrix(camera);
  for (int i = 0; i < 3; ++i) {
    const float l = glm::length(glm::vec3(world[i]));
    if (l > 0.0f) world[i] /= l;
  }
  return glm::inverse(world);
}

bool Viewport::Transform(const Scene& scene, const glm::vec3& world, glm::vec3* screen) const {
  const glm::vec4 clip = Projection() * ViewMatrix(scene, camera) * glm::vec4(world, 1.0f);
  if (!(clip.w > 0.0f)) return false;
  const glm::vec3 ndc = glm::vec3(clip) / clip.w;
  if (screen != nullptr) {
    *screen = glm::vec3((ndc.x + 1.0f) * 0.5f * static_cast<float>(width),
                        (1.0f - ndc.y) * 0.5f * static_cast<float>(height), (ndc.z + 1.0f) * 0.5f);
  }
  return true;
}

glm::vec3 Viewport::InverseTransform(const Scene& scene, const glm::vec3& screen) const {
  const float w = width > 0 ? static_cast<float>(width) : 1.0f;
  const float h = height > 0 ? static_cast<float>(height) : 1.0f;
  const glm::vec4 ndc(2.0f * screen.x / w - 1.0f, 1.0f - 2.0f * screen.y / h, 2.0f * screen.z - 1.0f, 1.0f);
  const glm::vec4 p = glm::inverse(Projection() * ViewMatrix(scene, camera)) * ndc;
  return glm::vec3(p) / p.w;
}

}  // namespace engine::scene
