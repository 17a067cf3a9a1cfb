// Visual building figures: one generated 20,000-face part (a sphere of 100 x 100 quads sharing
// their corners) built into its mesh with six views, a cylinder wrap or colour only, each with
// crease-angle normals, in a temporary project folder.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

#include "core/core.h"
#include "engine/engine.h"
#include "support/temp_folder.h"

namespace {

constexpr int kRings = 100;  // 100 x 100 quads: 20,000 faces over 101 x 101 vertices

void Put16(std::string* out, uint16_t v) { out->append({static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}); }
void Put32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
std::string Chunk(uint16_t id, const std::string& body) {
  std::string out;
  Put16(&out, id);
  Put32(&out, static_cast<uint32_t>(body.size() + 6));
  return out + body;
}

std::string SphereModel() {
  std::string vertices;
  Put16(&vertices, static_cast<uint16_t>((kRings + 1) * (kRings + 1)));
  for (int i = 0; i <= kRings; ++i) {
    const float polar = std::numbers::pi_v<float> * static_cast<float>(i) / kRings;
    for (int j = 0; j <= kRings; ++j) {
      const float around = 2.0f * std::numbers::pi_v<float> * static_cast<float>(j) / kRings;
      const float p[3] = {std::sin(polar) * std::cos(around), std::sin(polar) * std::sin(around), std::cos(polar)};
      for (float value : p) {
        uint32_t bits = 0;
        std::memcpy(&bits, &value, 4);
        Put32(&vertices, bits);
      }
    }
  }
  std::string faces;
  Put16(&faces, static_cast<uint16_t>(2 * kRings * kRings));
  for (int i = 0; i < kRings; ++i) {
    for (int j = 0; j < kRings; ++j) {
      const auto at = [](int a, int b) { return static_cast<uint16_t>(a * (kRings + 1) + b); };
      const uint16_t triangles[2][3] = {{at(i, j), at(i + 1, j), at(i + 1, j + 1)}, {at(i, j), at(i + 1, j + 1), at(i, j + 1)}};
      for (const auto& triangle : triangles) {
        for (uint16_t index : triangle) Put16(&faces, index);
        Put16(&faces, 0);  // flag word
      }
    }
  }
  const std::string object = Chunk(0x4100, Chunk(0x4110, vertices) + Chunk(0x4120, faces));
  return Chunk(0x4D4D, Chunk(0x3D3D, Chunk(0x4000, std::string("sphere", 7) + object)));
}

// Builds frame 1 of a one-part visual of the given mode; the texture cache is fresh each time,
// as at the start of a play.
void BuildPart(benchmark::State& state, int mode) {
  testing_support::TempFolder folder("vexel-bench-visuals");
  core::MakeFolders(folder / "3dsfiles");
  core::WriteFileAtomic(folder / "3dsfiles/sphere.3ds", SphereModel());
  const std::string line = "1|./images/t.bmp|./3dsfiles/sphere.3ds|" + std::to_string(mode) +
                           "|3|0|0|0|0|0|0|25000|0|0|0|0|0|0|0|0|0|0|0|0|255|255|255|0|1|./3dsfiles/sphere.3ds|0\r\n";
  const engine::VisualFile file = engine::ParseV3d(line, folder.path());
  size_t faces = 0;
  for (auto _ : state) {
    engine::TextureCache textures(folder / "data/error.bmp");
    engine::BuiltFrame built;
    engine::ElementBox box;
    engine::BuildVisualFrame(file, 1, folder.path(), &textures, &built, &box);
    faces = built.parts.empty() ? 0 : built.parts[0].mesh.FaceCount();
    benchmark::DoNotOptimize(built);
  }
  state.counters["faces"] = static_cast<double>(faces);
}

void BM_VisualPartSixViews(benchmark::State& state) { BuildPart(state, 1); }
void BM_VisualPartCylinderWrap(benchmark::State& state) { BuildPart(state, 3); }
void BM_VisualPartColourOnly(benchmark::State& state) { BuildPart(state, 0); }

// The normals alone, on the same sphere: merging 60,000 corners into 10,201 positions.
void BM_VisualCreaseNormals(benchmark::State& state) {
  engine::Model3ds model;
  engine::Parse3ds(SphereModel(), &model);
  engine::MeshBuilder mesh;
  for (const engine::MeshFace& face : model.faces) {
    engine::MeshVertex v[3];
    for (int k = 0; k < 3; ++k) v[k].position = face.v[k];
    mesh.AddFace(v[0], v[1], v[2]);
  }
  for (auto _ : state) {
    mesh.GenerateNormals(1.5708f);
    benchmark::DoNotOptimize(mesh.Vertices().data());
  }
}

}  // namespace

BENCHMARK(BM_VisualPartSixViews)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VisualPartCylinderWrap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VisualPartColourOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VisualCreaseNormals)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
