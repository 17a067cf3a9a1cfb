// Procedural meshes for the bundled games.
#include "mkdata/shapes.h"

#include <array>
#include <cmath>

namespace mkdata {
namespace {

constexpr float kPi = 3.14159265f;

using Vec = std::array<float, 3>;

Vec At(const Mesh& mesh, uint16_t i) { return {mesh.xyz[i * 3u], mesh.xyz[i * 3u + 1], mesh.xyz[i * 3u + 2]}; }
Vec Minus(const Vec& a, const Vec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec Cross(const Vec& a, const Vec& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
float Dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// A small hash for repeatable lumps: the same seed and index always give the same value in [0, 1).
float Noise(uint32_t seed, uint32_t i) {
  uint32_t h = seed * 747796405u + i * 2891336453u;
  h ^= h >> 16;
  h *= 0x7feb352du;
  h ^= h >> 15;
  return static_cast<float>(h & 0xFFFFu) / 65536.0f;
}

// Rings of `segments` vertices from `rings` (radius, z) pairs, closed by a vertex at each end.
Mesh Lathe(const std::vector<std::array<float, 2>>& rings, float bottomZ, float topZ, int segments,
           const std::function<float(int ring, int segment)>& wobble) {
  Mesh mesh;
  const uint16_t bottom = mesh.Add(0, 0, bottomZ);
  const auto first = static_cast<uint16_t>(mesh.xyz.size() / 3);
  for (size_t r = 0; r < rings.size(); ++r) {
    for (int s = 0; s < segments; ++s) {
      const float a = 2.0f * kPi * static_cast<float>(s) / static_cast<float>(segments);
      const float radius = rings[r][0] * wobble(static_cast<int>(r), s);
      mesh.Add(radius * std::cos(a), radius * std::sin(a), rings[r][1]);
    }
  }
  const uint16_t top = mesh.Add(0, 0, topZ);
  const auto at = [&](size_t r, int s) { return static_cast<uint16_t>(first + r * segments + (s % segments)); };
  for (int s = 0; s < segments; ++s) {
    mesh.Face(bottom, at(0, s), at(0, s + 1));
    for (size_t r = 0; r + 1 < rings.size(); ++r) {
      mesh.Face(at(r, s), at(r, s + 1), at(r + 1, s + 1));
      mesh.Face(at(r, s), at(r + 1, s + 1), at(r + 1, s));
    }
    mesh.Face(at(rings.size() - 1, s), top, at(rings.size() - 1, s + 1));
  }
  return mesh;
}

}  // namespace

uint16_t Mesh::Add(float x, float y, float z) {
  xyz.insert(xyz.end(), {x, y, z});
  return static_cast<uint16_t>(xyz.size() / 3 - 1);
}

void Mesh::FaceOutwardsFrom(float cx, float cy, float cz) {
  for (size_t f = 0; f + 3 <= corners.size(); f += 3) {
    const Vec a = At(*this, corners[f]), b = At(*this, corners[f + 1]), c = At(*this, corners[f + 2]);
    const Vec middle = {(a[0] + b[0] + c[0]) / 3 - cx, (a[1] + b[1] + c[1]) / 3 - cy, (a[2] + b[2] + c[2]) / 3 - cz};
    if (Dot(Cross(Minus(b, a), Minus(c, a)), middle) < 0) std::swap(corners[f + 1], corners[f + 2]);
  }
}

Bytes MeshFile(std::string_view name, const Mesh& mesh) { return Model3dsFile(name, mesh.xyz, mesh.corners); }

Mesh RingMesh(float ringRadius, float thickness, int around, int tube) {
  Mesh mesh;
  for (int i = 0; i < around; ++i) {
    const float u = 2.0f * kPi * static_cast<float>(i) / static_cast<float>(around);
    for (int j = 0; j < tube; ++j) {
      const float v = 2.0f * kPi * static_cast<float>(j) / static_cast<float>(tube);
      const float reach = ringRadius + thickness * std::cos(v);
      mesh.Add(reach * std::cos(u), reach * std::sin(u), thickness * std::sin(v));
    }
  }
  const auto at = [&](int i, int j) { return static_cast<uint16_t>((i % around) * tube + j % tube); };
  for (int i = 0; i < around; ++i) {
    for (int j = 0; j < tube; ++j) {
      mesh.Face(at(i, j), at(i + 1, j), at(i + 1, j + 1));
      mesh.Face(at(i, j), at(i + 1, j + 1), at(i, j + 1));
    }
  }
  return mesh;
}

Mesh TerrainMesh(float halfX, float halfY, int cellsX, int cellsY, const std::function<float(float, float)>& height) {
  Mesh mesh;
  for (int j = 0; j <= cellsY; ++j) {
    for (int i = 0; i <= cellsX; ++i) {
      const float x = -halfX + 2.0f * halfX * static_cast<float>(i) / static_cast<float>(cellsX);
      const float y = -halfY + 2.0f * halfY * static_cast<float>(j) / static_cast<float>(cellsY);
      mesh.Add(x, y, height(x, y));
    }
  }
  const auto at = [&](int i, int j) { return static_cast<uint16_t>(j * (cellsX + 1) + i); };
  for (int j = 0; j < cellsY; ++j) {
    for (int i = 0; i < cellsX; ++i) {
      // (x0, y0), (x1, y0), (x1, y1) and (x0, y1) run counter-clockwise seen from above.
      mesh.Face(at(i, j), at(i + 1, j), at(i + 1, j + 1));
      mesh.Face(at(i, j), at(i + 1, j + 1), at(i, j + 1));
    }
  }
  return mesh;
}

Mesh DartMesh() {
  Mesh mesh;
  const uint16_t nose = mesh.Add(0, 1.1f, 0.2f);
  const uint16_t left = mesh.Add(-0.75f, -0.8f, 0.15f);
  const uint16_t right = mesh.Add(0.75f, -0.8f, 0.15f);
  const uint16_t top = mesh.Add(0, -0.55f, 0.55f);
  const uint16_t keel = mesh.Add(0, -0.5f, -0.02f);
  mesh.Face(nose, left, top);
  mesh.Face(nose, top, right);
  mesh.Face(left, right, top);
  mesh.Face(nose, keel, left);
  mesh.Face(nose, right, keel);
  mesh.Face(left, keel, right);
  mesh.FaceOutwardsFrom(0, -0.3f, 0.2f);
  return mesh;
}

Mesh BoulderMesh(float radius, uint32_t seed) {
  std::vector<std::array<float, 2>> rings;
  constexpr int kRings = 6;
  for (int r = 1; r < kRings; ++r) {
    const float a = kPi * static_cast<float>(r) / kRings;  // from the bottom pole to the top one
    rings.push_back({radius * std::sin(a), radius * (1.0f - std::cos(a)) * 0.8f});
  }
  Mesh mesh = Lathe(rings, 0.0f, radius * 1.6f, 10, [&](int ring, int segment) {
    return 0.8f + 0.4f * Noise(seed, static_cast<uint32_t>(ring * 16 + segment));
  });
  mesh.FaceOutwardsFrom(0, 0, radius * 0.8f);
  return mesh;
}

Mesh ConeMesh(float radius, float base, float height, int segments) {
  Mesh mesh = Lathe({{radius, base}}, base, base + height, segments, [](int, int) { return 1.0f; });
  mesh.FaceOutwardsFrom(0, 0, base + height / 3);
  return mesh;
}

Mesh CylinderMesh(float radius, float base, float height, int segments) {
  Mesh mesh = Lathe({{radius, base}, {radius, base + height}}, base, base + height, segments, [](int, int) { return 1.0f; });
  mesh.FaceOutwardsFrom(0, 0, base + height / 2);
  return mesh;
}

}  // namespace mkdata
