// The scene layer's mesh builder: faces, texture wraps and normal generation on the CPU. Calls GLM.
#include "engine/scene/mesh_builder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include <glm/common.hpp>
#include <glm/geometric.hpp>

namespace engine {
namespace {

constexpr float kTwoPi = 2.0f * std::numbers::pi_v<float>;

// The orthonormal frame of a wrap. The up vector is made perpendicular to the direction; an up
// along the direction (no frame at all) falls back to any perpendicular one so that no NaN leaks
// into the coordinates.
struct WrapBasis {
  glm::vec3 right, up, direction;

  explicit WrapBasis(const Wrap& wrap) {
    const float length = glm::length(wrap.direction);
    direction = length > 0.0f ? wrap.direction / length : glm::vec3(0.0f, 0.0f, 1.0f);
    up = wrap.up - glm::dot(wrap.up, direction) * direction;
    if (glm::length(up) < 1e-6f) {
      const glm::vec3 other = std::fabs(direction.y) < 0.9f ? glm::vec3(0.0f, 1.0f, 0.0f) : glm::vec3(1.0f, 0.0f, 0.0f);
      up = other - glm::dot(other, direction) * direction;
    }
    up = glm::normalize(up);
    right = glm::cross(direction, up);
  }
};

// The angle around the wrap's axis as a fraction of a turn, in [0, 1).
float TurnFraction(float x, float y) {
  float theta = std::atan2(x, y);
  if (theta < 0.0f) theta += kTwoPi;
  const float turn = theta / kTwoPi;
  return turn >= 1.0f ? 0.0f : turn;  // -tiny + 2 pi can round up to a whole turn
}

// The angle between `offset` and the direction as a fraction of half a turn, in [0, 1].
float PolarFraction(const glm::vec3& offset, const glm::vec3& direction) {
  const float length = glm::length(offset);
  if (length <= 0.0f) return 0.0f;
  const float cosine = std::clamp(glm::dot(offset, direction) / length, -1.0f, 1.0f);
  return std::acos(cosine) / std::numbers::pi_v<float>;
}

// Maps a point in turns (u before its scale and offset) and in its final v.
struct Mapped {
  float turn;  // cylinder and sphere: fraction of a turn; flat: unused
  glm::vec2 uv;
};

Mapped MapWith(const Wrap& wrap, const WrapBasis& basis, const glm::vec3& p) {
  const glm::vec3 offset = p - wrap.origin;
  const float x = glm::dot(offset, basis.right);
  const float y = glm::dot(offset, basis.up);
  const float z = glm::dot(offset, basis.direction);
  switch (wrap.type) {
    case WrapType::kFlat:
      return {0.0f, {wrap.uScale * x - wrap.uOffset, wrap.vScale * y - wrap.vOffset}};
    case WrapType::kCylinder: {
      const float turn = TurnFraction(x, y);
      return {turn, {wrap.uScale * turn - wrap.uOffset, wrap.vScale * z - wrap.vOffset}};
    }
    case WrapType::kSphere: {
      const float turn = TurnFraction(x, y);
      const float polar = PolarFraction(offset, basis.direction);
      return {turn, {wrap.uScale * turn - wrap.uOffset, wrap.vScale * polar - wrap.vOffset}};
    }
    case WrapType::kChrome:
      break;
  }
  return {0.0f, {0.0f, 0.0f}};
}

// Position keys for merging: the bit patterns of the three floats, with -0 read as +0 so that the
// two zeros meet.
struct PositionKey {
  uint32_t bits[3];
  bool operator==(const PositionKey& other) const {
    return bits[0] == other.bits[0] && bits[1] == other.bits[1] && bits[2] == other.bits[2];
  }
};

PositionKey KeyOf(const glm::vec3& p) {
  PositionKey key{};
  for (int i = 0; i < 3; ++i) {
    const float value = p[i] + 0.0f;
    std::memcpy(&key.bits[i], &value, 4);
  }
  return key;
}

uint64_t HashKey(const PositionKey& key) {
  uint64_t h = 0x9E3779B97F4A7C15ull;
  for (uint32_t b : key.bits) {
    h ^= b;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  return h;
}

// Gives each corner the index of its distinct position. An open-addressing table sized to at
// least twice the corners keeps probes short; it holds the first corner seen at each position,
// whose key is recomputed on a probe rather than stored.
std::vector<uint32_t> MergePositions(const std::vector<MeshVertex>& vertices, size_t* distinct) {
  size_t capacity = 16;
  while (capacity < vertices.size() * 2) capacity *= 2;
  constexpr uint32_t kEmpty = UINT32_MAX;
  std::vector<uint32_t> slots(capacity, kEmpty);
  std::vector<uint32_t> ids(vertices.size());
  size_t next = 0;
  for (size_t i = 0; i < vertices.size(); ++i) {
    const PositionKey key = KeyOf(vertices[i].position);
    size_t slot = HashKey(key) & (capacity - 1);
    for (;;) {
      const uint32_t held = slots[slot];
      if (held == kEmpty) {
        slots[slot] = static_cast<uint32_t>(i);
        ids[i] = static_cast<uint32_t>(next++);
        break;
      }
      if (KeyOf(vertices[held].position) == key) {
        ids[i] = ids[held];
        break;
      }
      slot = (slot + 1) & (capacity - 1);
    }
  }
  *distinct = next;
  return ids;
}

}  // namespace

glm::vec2 Wrap::Map(const glm::vec3& p) const {
  if (type == WrapType::kChrome) return {0.0f, 0.0f};
  return MapWith(*this, WrapBasis(*this), p).uv;
}

void MeshBuilder::Reserve(size_t faces) { vertices_.reserve(faces * 3); }

size_t MeshBuilder::AddFace(const MeshVertex& a, const MeshVertex& b, const MeshVertex& c) {
  vertices_.push_back(a);
  vertices_.push_back(b);
  vertices_.push_back(c);
  return vertices_.size() / 3 - 1;
}

void MeshBuilder::ApplyWrap(const Wrap& wrap, size_t firstFace, size_t endFace) {
  if (wrap.type == WrapType::kChrome) {
    // Chrome coordinates follow the camera: the renderer computes them every frame.
    chromeWraps.push_back(wrap);
    return;
  }
  const WrapBasis basis(wrap);
  endFace = std::min(endFace, FaceCount());
  const bool around = wrap.type == WrapType::kCylinder || wrap.type == WrapType::kSphere;
  for (size_t face = firstFace; face < endFace; ++face) {
    MeshVertex* corner = &vertices_[face * 3];
    Mapped mapped[3];
    for (int k = 0; k < 3; ++k) mapped[k] = MapWith(wrap, basis, corner[k].position);
    if (around) {
      // A face crossing the seam (theta = 0) would otherwise stretch the whole picture across
      // itself backwards: its corners just past the seam go on into the next turn instead.
      const float high = std::max({mapped[0].turn, mapped[1].turn, mapped[2].turn});
      const float low = std::min({mapped[0].turn, mapped[1].turn, mapped[2].turn});
      if (high - low > 0.5f) {
        for (Mapped& m : mapped) {
          if (m.turn < high - 0.5f) m.uv.x = wrap.uScale * (m.turn + 1.0f) - wrap.uOffset;
        }
      }
    }
    for (int k = 0; k < 3; ++k) corner[k].uv = mapped[k].uv;
  }
}

void MeshBuilder::GenerateNormals(float creaseAngle) {
  const size_t faces = FaceCount();
  if (faces == 0) return;
  // A face without area gets the zero normal, which adds nothing to its neighbours' sums.
  std::vector<glm::vec3> faceNormals(faces);
  for (size_t f = 0; f < faces; ++f) {
    const glm::vec3& a = vertices_[f * 3].position;
    const glm::vec3& b = vertices_[f * 3 + 1].position;
    const glm::vec3& c = vertices_[f * 3 + 2].position;
    const glm::vec3 n = glm::cross(c - a, b - a);
    const float length = glm::length(n);
    faceNormals[f] = length > 0.0f && std::isfinite(length) ? n / length : glm::vec3(0.0f);
  }

  // The faces at each distinct position, as one array cut by offsets.
  size_t distinct = 0;
  const std::vector<uint32_t> ids = MergePositions(vertices_, &distinct);
  std::vector<uint32_t> start(distinct + 1, 0);
  for (uint32_t id : ids) ++start[id + 1];
  for (size_t i = 0; i < distinct; ++i) start[i + 1] += start[i];
  std::vector<uint32_t> facesAt(ids.size());
  // Filling moves each start to the next position's; moving them back up one restores them.
  for (size_t corner = 0; corner < ids.size(); ++corner) facesAt[start[ids[corner]]++] = static_cast<uint32_t>(corner / 3);
  for (size_t i = distinct; i > 0; --i) start[i] = start[i - 1];
  start[0] = 0;

  // A small margin lets coplanar neighbours count at crease 0 despite rounding in their normals.
  const float minCosine = std::cos(std::max(creaseAngle, 0.0f)) - 1e-6f;
  for (size_t corner = 0; corner < ids.size(); ++corner) {
    const size_t face = corner / 3;
    const glm::vec3& own = faceNormals[face];
    const bool degenerate = own == glm::vec3(0.0f);
    glm::vec3 sum(0.0f);
    for (uint32_t at = start[ids[corner]]; at < start[ids[corner] + 1]; ++at) {
      const glm::vec3& other = faceNormals[facesAt[at]];
      // A face without area has no direction of its own: it takes its neighbours' whole.
      if (degenerate || glm::dot(own, other) >= minCosine) sum += other;
    }
    const float length = glm::length(sum);
    vertices_[corner].normal = length > 0.0f ? sum / length : own;
  }
}

bool MeshBuilder::Box(glm::vec3* min, glm::vec3* max) const {
  if (vertices_.empty()) return false;
  glm::vec3 low = vertices_[0].position, high = vertices_[0].position;
  for (const MeshVertex& v : vertices_) {
    low = glm::min(low, v.position);
    high = glm::max(high, v.position);
  }
  *min = low;
  *max = high;
  return true;
}

}  // namespace engine
