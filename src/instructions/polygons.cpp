// Polygon-level collision: separating-axis triangle tests, the overlap box with its grid broad
// phase, and the routines that gather ".x3d" elements' triangles from the scene bridge's frames.
// Calls the scene bridge and scene layer, GLM, the brain runner's types and the current engine.
//
// | Instruction                          | Arguments           | Effect                                          |
// |--------------------------------------|---------------------|-------------------------------------------------|
// | h_poly_collision                     | object 1, 2, mode   | -1 when they touch (mode 0: triangles; other    |
// |                                      |                     | modes: boxes), else 0; 0 in a play's first five |
// |                                      |                     | ticks                                           |
// | h_cpart1_set, h_cpart2_set           | i1, i2, i3, i4, g   | stores the five values; g picks the mesh group  |
// | h_cpoint_x, h_cpoint_y, h_cpoint_z   | kind                | last contact point x 512000 (0 scene, 1 and 2   |
// |                                      |                     | relative to object 1 and 2); other kinds: kind  |
// | h_cnormal_x, h_cnormal_y, h_cnormal_z | kind               | last contact normal x 512000 (0 chosen, 1 and 2 |
// |                                      |                     | each object's average); other kinds: kind       |
//
// Objects are ".x3d" elements: group g is mesh number g of the element's .x object, in the scene
// as the bridge last placed it. The path values (i1 to i4) are kept but not used. Frame handles
// name no loaded object yet and give 0.
#include "instructions/polygons.h"

#include <algorithm>
#include <cmath>

#include <glm/geometric.hpp>
#include <glm/mat4x4.hpp>
#include <glm/matrix.hpp>

#include "engine/engine.h"
#include "instructions/arguments.h"

namespace instructions {

namespace {

// The box's start: far outside anything placed, so the first vertex sets it.
constexpr float kBoxStart = 100000000000.0f;

struct Box {
  glm::vec3 min{kBoxStart}, max{-kBoxStart};
  void Add(const glm::vec3& p) {
    min = glm::min(min, p);
    max = glm::max(max, p);
  }
  bool Meets(const Box& o) const {
    return !(max.x < o.min.x || o.max.x < min.x || max.y < o.min.y || o.max.y < min.y || max.z < o.min.z ||
             o.max.z < min.z);
  }
};

Box BoxOf(const PolygonTriangle& t) {
  Box b;
  for (const glm::vec3& p : t) b.Add(p);
  return b;
}

bool Finite(const PolygonTriangle& t) {
  for (const glm::vec3& p : t) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
  }
  return true;
}

// Whether the projections on `axis` are apart. An axis too short to trust (parallel edges) never
// separates.
bool Apart(const glm::vec3& axis, float scale, const PolygonTriangle& a, const PolygonTriangle& b) {
  if (glm::dot(axis, axis) <= 1e-12f * scale) return false;
  float aMin = glm::dot(axis, a[0]), aMax = aMin, bMin = glm::dot(axis, b[0]), bMax = bMin;
  for (int i = 1; i < 3; ++i) {
    const float pa = glm::dot(axis, a[i]), pb = glm::dot(axis, b[i]);
    aMin = std::min(aMin, pa), aMax = std::max(aMax, pa);
    bMin = std::min(bMin, pb), bMax = std::max(bMax, pb);
  }
  return aMax < bMin || bMax < aMin;
}

glm::vec3 NormalOf(const PolygonTriangle& t) { return glm::cross(t[1] - t[0], t[2] - t[0]); }

// A unit vector, or zero for a vector of no length (never a NaN).
glm::vec3 Unit(const glm::vec3& v) {
  const float length = glm::length(v);
  return length > 0.0f && std::isfinite(length) ? v / length : glm::vec3(0.0f);
}

void Store(std::array<float, 3>* out, const glm::vec3& v) { *out = {v.x, v.y, v.z}; }

}  // namespace

bool TrianglesMeet(const PolygonTriangle& a, const PolygonTriangle& b) {
  const glm::vec3 na = NormalOf(a), nb = NormalOf(b);
  const float la = glm::dot(na, na), lb = glm::dot(nb, nb);
  if (!(la > 0.0f) || !(lb > 0.0f)) return false;  // no area
  if (Apart(na, la, a, b) || Apart(nb, lb, a, b)) return false;
  const glm::vec3 ea[3] = {a[1] - a[0], a[2] - a[1], a[0] - a[2]};
  const glm::vec3 eb[3] = {b[1] - b[0], b[2] - b[1], b[0] - b[2]};
  for (const glm::vec3& u : ea) {
    for (const glm::vec3& v : eb) {
      if (Apart(glm::cross(u, v), glm::dot(u, u) * glm::dot(v, v), a, b)) return false;
    }
  }
  const glm::vec3 planes = glm::cross(na, nb);
  if (glm::dot(planes, planes) > 1e-10f * la * lb) return true;
  // One plane: the edges' normals within it separate the triangles when anything does.
  for (const glm::vec3& u : ea) {
    if (Apart(glm::cross(na, u), la * glm::dot(u, u), a, b)) return false;
  }
  for (const glm::vec3& v : eb) {
    if (Apart(glm::cross(nb, v), lb * glm::dot(v, v), a, b)) return false;
  }
  return true;
}

int32_t PolygonCollision(const PolygonObject& first, const PolygonObject& second, int32_t mode, PolygonContact* contact) {
  if (first.triangles.empty() || second.triangles.empty()) return 0;
  Box boxes[2];
  for (const PolygonTriangle& t : first.triangles) {
    for (const glm::vec3& p : t) boxes[0].Add(p);
  }
  for (const PolygonTriangle& t : second.triangles) {
    for (const glm::vec3& p : t) boxes[1].Add(p);
  }
  if (!boxes[0].Meets(boxes[1])) return 0;
  Box overlap;
  overlap.min = glm::max(boxes[0].min, boxes[1].min);
  overlap.max = glm::min(boxes[0].max, boxes[1].max);
  const glm::vec3 centre = (overlap.min + overlap.max) * 0.5f;
  Store(&contact->point[0], centre);
  const PolygonObject* objects[2] = {&first, &second};
  for (int k = 0; k < 2; ++k) {
    // A frame scaled to nothing has no inverse; the offset then stays in scene axes.
    const float det = glm::determinant(objects[k]->rotation);
    const glm::mat3 back = det != 0.0f && std::isfinite(det) ? glm::inverse(objects[k]->rotation) : glm::mat3(1.0f);
    Store(&contact->point[1 + k], back * (centre - objects[k]->position));
  }
  Store(&contact->normal[0], first.position - second.position);
  if (mode != 0) return -1;

  // Object 2's triangles that reach into the overlap box, binned in a grid of n^3 cells over it.
  std::vector<int32_t> kept;
  std::vector<Box> keptBoxes;
  for (int32_t j = 0; j < static_cast<int32_t>(second.triangles.size()); ++j) {
    const PolygonTriangle& t = second.triangles[static_cast<size_t>(j)];
    if (!Finite(t)) continue;
    const Box b = BoxOf(t);
    if (!b.Meets(overlap)) continue;
    kept.push_back(j);
    keptBoxes.push_back(b);
  }
  const int n = std::clamp(static_cast<int>(std::cbrt(static_cast<double>(kept.size()))), 1, 24);
  const glm::vec3 extent = overlap.max - overlap.min;
  auto cell = [&](float v, int axis) {
    const float size = extent[axis];
    if (!(size > 0.0f)) return 0;
    const float at = (v - overlap.min[axis]) / size * static_cast<float>(n);
    return static_cast<int>(std::clamp(at, 0.0f, static_cast<float>(n - 1)));
  };
  auto range = [&](const Box& b, int lo[3], int hi[3]) {
    for (int axis = 0; axis < 3; ++axis) {
      lo[axis] = cell(b.min[axis], axis);
      hi[axis] = cell(b.max[axis], axis);
    }
  };
  const size_t cells = static_cast<size_t>(n) * n * n;
  std::vector<int32_t> start(cells + 1, 0), members;
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<int32_t> next(start.begin(), start.end() - 1);
    for (size_t k = 0; k < kept.size(); ++k) {
      int lo[3], hi[3];
      range(keptBoxes[k], lo, hi);
      for (int x = lo[0]; x <= hi[0]; ++x)
        for (int y = lo[1]; y <= hi[1]; ++y)
          for (int z = lo[2]; z <= hi[2]; ++z) {
            const size_t c = (static_cast<size_t>(x) * n + y) * n + z;
            if (pass == 0) {
              ++start[c + 1];
            } else {
              members[static_cast<size_t>(next[c]++)] = static_cast<int32_t>(k);
            }
          }
    }
    if (pass == 0) {
      for (size_t c = 0; c < cells; ++c) start[c + 1] += start[c];
      members.assign(static_cast<size_t>(start[cells]), 0);
    }
  }

  glm::vec3 sums[2]{glm::vec3(0.0f), glm::vec3(0.0f)};
  int32_t counts[2] = {0, 0};
  std::vector<int32_t> seen(kept.size(), -1);  // the last triangle of object 1 each was tried with
  for (int32_t i = 0; i < static_cast<int32_t>(first.triangles.size()); ++i) {
    const PolygonTriangle& a = first.triangles[static_cast<size_t>(i)];
    if (!Finite(a)) continue;
    const Box boxA = BoxOf(a);
    if (!boxA.Meets(overlap)) continue;
    int lo[3], hi[3];
    range(boxA, lo, hi);
    for (int x = lo[0]; x <= hi[0]; ++x)
      for (int y = lo[1]; y <= hi[1]; ++y)
        for (int z = lo[2]; z <= hi[2]; ++z) {
          const size_t c = (static_cast<size_t>(x) * n + y) * n + z;
          for (int32_t m = start[c]; m < start[c + 1]; ++m) {
            const int32_t k = members[static_cast<size_t>(m)];
            if (seen[static_cast<size_t>(k)] == i) continue;
            seen[static_cast<size_t>(k)] = i;
            if (!boxA.Meets(keptBoxes[static_cast<size_t>(k)])) continue;
            const PolygonTriangle& b = second.triangles[static_cast<size_t>(kept[static_cast<size_t>(k)])];
            if (!TrianglesMeet(a, b)) continue;
            sums[0] += Unit(NormalOf(a));
            sums[1] += Unit(NormalOf(b));
            ++counts[0];
            ++counts[1];
          }
        }
  }
  if (counts[0] == 0) return 0;
  const glm::vec3 averages[2] = {sums[0] / static_cast<float>(counts[0]), sums[1] / static_cast<float>(counts[1])};
  Store(&contact->normal[1], Unit(averages[0]));
  Store(&contact->normal[2], Unit(averages[1]));
  contact->normal[0] = glm::length(averages[1]) <= glm::length(averages[0]) ? contact->normal[1] : contact->normal[2];
  return -1;
}

namespace {

// The triangles of mesh `group` of an ".x3d" element as the scene placed them, and its frame's
// rotation and position relative to the main scene. False for anything else.
bool ElementObject(const state::Engine& engine, const int32_t* record, int32_t group, PolygonObject* out) {
  const state::Play& play = *engine.play;
  const uint32_t slotsBase = engine.arena.Address(core::Region::kAspectSlots);
  const auto address = static_cast<uint32_t>(record[model::kWordCurrentAspect]);
  if (address < slotsBase || (address - slotsBase) % engine::kSlotBytes != 0) return false;
  const size_t slotIndex = (address - slotsBase) / engine::kSlotBytes;
  const std::vector<engine::SlotSide>& sides = play.scene.Sides();
  if (!play.scene.Built() || slotIndex >= sides.size()) return false;
  const auto* slot = reinterpret_cast<const int32_t*>(engine.arena.Host(core::Region::kAspectSlots)) + slotIndex * 16;
  if (static_cast<uint32_t>(slot[0]) != engine::kTagXVisual) return false;
  const engine::SlotSide& side = sides[slotIndex];
  if (!side.xObject || !side.placed || side.frame == engine::scene::kNone) return false;
  const engine::XObject& object = *side.xObject;
  if (group < 0 || static_cast<size_t>(group) >= object.meshes.size()) return false;
  int32_t nodeFrame = engine::scene::kNone;
  for (size_t node = 0; node < object.nodes.size() && node < side.placed->nodeFrames.size(); ++node) {
    const std::vector<int32_t>& meshes = object.nodes[node].meshes;
    if (std::find(meshes.begin(), meshes.end(), group) != meshes.end()) {
      nodeFrame = side.placed->nodeFrames[node];
      break;
    }
  }
  if (nodeFrame == engine::scene::kNone) return false;
  const engine::scene::Scene& graph = play.scene.Graph();
  const glm::mat4 fromScene = glm::inverse(graph.WorldMatrix(play.scene.MainScene()));
  const glm::mat4 toScene = fromScene * graph.WorldMatrix(nodeFrame);
  const glm::mat4 frame = fromScene * graph.WorldMatrix(side.frame);
  out->rotation = glm::mat3(frame);
  out->position = glm::vec3(frame[3]);
  const std::vector<engine::MeshVertex>& vertices = object.meshes[static_cast<size_t>(group)]->Vertices();
  out->triangles.clear();
  out->triangles.reserve(vertices.size() / 3);
  for (size_t v = 0; v + 2 < vertices.size(); v += 3) {
    PolygonTriangle t;
    for (int k = 0; k < 3; ++k) t[k] = glm::vec3(toScene * glm::vec4(vertices[v + k].position, 1.0f));
    out->triangles.push_back(t);
  }
  return true;
}

bool h_poly_collision(brain::Regs* regs, std::string* fault) {
  state::Engine& engine = state::Current();
  const uint32_t values[2] = {regs->eax, regs->ebx};
  const auto mode = static_cast<int32_t>(regs->ecx);
  regs->eax = 0;
  if (!engine.play || engine.play->collisions.polygonCountdown > 0) return true;
  state::CollisionState& collisions = engine.play->collisions;
  const int32_t groups[2] = {collisions.part1[4], collisions.part2[4]};
  PolygonObject objects[2];
  for (int k = 0; k < 2; ++k) {
    const int32_t* record = ElementRecord(&engine.arena, values[k], fault);
    if (!fault->empty()) return false;
    if (record == nullptr || !ElementObject(engine, record, groups[k], &objects[k])) return true;
  }
  PolygonContact contact{collisions.contactPoint, collisions.contactNormal};
  regs->eax = static_cast<uint32_t>(PolygonCollision(objects[0], objects[1], mode, &contact));
  collisions.contactPoint = contact.point;
  collisions.contactNormal = contact.normal;
  return true;
}

template <int kPart>
bool CollisionPartSet(brain::Regs* regs, std::string*) {
  state::Engine& engine = state::Current();
  if (engine.play) {
    std::array<int32_t, 5>& part = kPart == 1 ? engine.play->collisions.part1 : engine.play->collisions.part2;
    part = {static_cast<int32_t>(regs->eax), static_cast<int32_t>(regs->ebx), static_cast<int32_t>(regs->ecx),
            static_cast<int32_t>(regs->edx), static_cast<int32_t>(regs->esi)};
  }
  regs->eax = 0;
  return true;
}

// A stored coordinate x 512000, rounded; kinds other than 0 to 2 return the argument.
template <bool kNormal, int kAxis>
bool ContactReader(brain::Regs* regs, std::string*) {
  const state::Engine& engine = state::Current();
  const auto kind = static_cast<int32_t>(regs->eax);
  if (kind < 0 || kind > 2 || !engine.play) return true;
  const state::CollisionState& c = engine.play->collisions;
  const float value = (kNormal ? c.contactNormal : c.contactPoint)[static_cast<size_t>(kind)][kAxis];
  regs->eax = static_cast<uint32_t>(engine::RoundedWord(static_cast<double>(value) * 512000.0));
  return true;
}

constexpr brain::RoutineEntry kPolygonRoutines[] = {
    {"h_poly_collision", h_poly_collision},
    {"h_cpart1_set", CollisionPartSet<1>},
    {"h_cpart2_set", CollisionPartSet<2>},
    {"h_cpoint_x", ContactReader<false, 0>},
    {"h_cpoint_y", ContactReader<false, 1>},
    {"h_cpoint_z", ContactReader<false, 2>},
    {"h_cnormal_x", ContactReader<true, 0>},
    {"h_cnormal_y", ContactReader<true, 1>},
    {"h_cnormal_z", ContactReader<true, 2>},
};

}  // namespace

std::span<const brain::RoutineEntry> PolygonRoutines() { return kPolygonRoutines; }

}  // namespace instructions
