// Ground map figures on a 100 x 100 cell terrain (20,000 triangles): building the bucket grid
// from the faces to the file's bytes (the per-triangle build and the bucket-by-bucket scan it
// replaces), the whole play-start update from the .3ds with file reading and writing, and the mesh
// ground height against testing every triangle.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/core.h"
#include "engine/engine.h"
#include "model/model.h"
#include "support/model_3ds_bytes.h"
#include "support/temp_folder.h"

namespace {

constexpr int kSide = 100;       // cells per side
constexpr int kCell = 500;       // millimetres
constexpr int kHalf = kSide * kCell / 2;

int32_t TerrainHeight(int x, int z) { return ((x * 7 + z * 3) % 11) * 40; }

std::vector<model::GroundTriangle> Terrain() {
  std::vector<model::GroundTriangle> out;
  for (int r = 0; r < kSide; ++r) {
    for (int c = 0; c < kSide; ++c) {
      auto vertex = [&](int dc, int dr, int32_t* v) {
        v[0] = (c + dc) * kCell - kHalf;
        v[1] = TerrainHeight(c + dc, r + dr);
        v[2] = (r + dr) * kCell - kHalf;
      };
      model::GroundTriangle a, b;
      vertex(0, 0, a.v), vertex(1, 0, a.v + 3), vertex(1, 1, a.v + 6);
      vertex(0, 0, b.v), vertex(1, 1, b.v + 3), vertex(0, 1, b.v + 6);
      out.push_back(a);
      out.push_back(b);
    }
  }
  return out;
}

// The same terrain as a .3ds file (metres; the file's z is up).
std::string Terrain3ds() {
  std::vector<std::array<float, 3>> vertices;
  for (int r = 0; r <= kSide; ++r) {
    for (int c = 0; c <= kSide; ++c) {
      vertices.push_back({(c * kCell - kHalf) / 1000.0f, (r * kCell - kHalf) / 1000.0f, TerrainHeight(c, r) / 1000.0f});
    }
  }
  std::vector<std::array<uint16_t, 3>> faces;
  for (int r = 0; r < kSide; ++r) {
    for (int c = 0; c < kSide; ++c) {
      const auto at = [&](int dc, int dr) { return static_cast<uint16_t>((r + dr) * (kSide + 1) + c + dc); };
      faces.push_back({at(0, 0), at(1, 0), at(1, 1)});
      faces.push_back({at(0, 0), at(1, 1), at(0, 1)});
    }
  }
  return testing_support::Model3ds(vertices, faces);
}

void BM_GroundBuild(benchmark::State& state) {
  const std::vector<model::GroundTriangle> terrain = Terrain();
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string file = model::EncodeGroundMap(model::BuildGroundMap(terrain, false, 1));
    bytes = file.size();
    benchmark::DoNotOptimize(file.data());
  }
  state.counters["file_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_GroundBuild)->Unit(benchmark::kMillisecond);

// The scan tests every triangle against every bucket: seconds per run, so one run is enough.
void BM_ReferenceScanBuild(benchmark::State& state) {
  const std::vector<model::GroundTriangle> terrain = Terrain();
  for (auto _ : state) {
    const std::string file = model::EncodeGroundMap(model::BuildGroundMapByScan(terrain, false, 1));
    benchmark::DoNotOptimize(file.data());
  }
}
BENCHMARK(BM_ReferenceScanBuild)->Unit(benchmark::kMillisecond)->Iterations(1);

// What a play start does for a changed source: both checksums, reading the .3ds, building,
// writing the map through its temporary file.
void BM_GroundUpdate(benchmark::State& state) {
  testing_support::TempFolder folder("vexel-ground-bench");
  const std::string source = folder / "ground.3ds", map = folder / "ground.m3d";
  if (!core::WriteFileAtomic(source, Terrain3ds())) state.SkipWithError("cannot write the source");
  for (auto _ : state) {
    const uint32_t checksum = model::GroundSourceChecksumOfFile(source);
    if (model::StoredGroundChecksum(map) == checksum) benchmark::DoNotOptimize(checksum);
    const engine::GroundSource mesh = engine::ReadGroundSource(source);
    std::string reason;
    if (!model::WriteGroundMap(map, model::BuildGroundMap(mesh.triangles, false, mesh.checksum), &reason)) {
      state.SkipWithError(reason.c_str());
      break;
    }
    state.PauseTiming();
    // The next pass must see a changed source again.
    core::WriteFileAtomic(map, "");
    state.ResumeTiming();
  }
}
BENCHMARK(BM_GroundUpdate)->Unit(benchmark::kMillisecond);

std::vector<std::array<int32_t, 3>> Points(int n) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int32_t> coordinate(-kHalf * 512, kHalf * 512 - 1);
  std::vector<std::array<int32_t, 3>> out(static_cast<size_t>(n));
  for (auto& p : out) p = {coordinate(random), 300 * 512, coordinate(random)};
  return out;
}

void BM_GroundHeight(benchmark::State& state) {
  const model::GroundMap map = model::BuildGroundMap(Terrain(), false, 1);
  const auto points = Points(4096);
  size_t i = 0;
  for (auto _ : state) {
    const auto& p = points[i++ & 4095];
    benchmark::DoNotOptimize(model::MeshGroundHeight(map, p[0], p[1], p[2], 1000 * 512));
  }
}
BENCHMARK(BM_GroundHeight)->Unit(benchmark::kNanosecond);

// The same question put to every triangle of the mesh.
void BM_GroundHeightEveryTriangle(benchmark::State& state) {
  const std::vector<model::GroundTriangle> terrain = Terrain();
  const auto points = Points(4096);
  size_t i = 0;
  for (auto _ : state) {
    const auto& p = points[i++ & 4095];
    const float x = static_cast<float>(p[0] / 512.0), z = static_cast<float>(p[2] / 512.0);
    int32_t found = -1;
    for (int32_t t = 0; t < static_cast<int32_t>(terrain.size()); ++t) {
      if (model::GroundPointInTriangle(terrain[t], x, z)) found = t;
    }
    benchmark::DoNotOptimize(found);
  }
}
BENCHMARK(BM_GroundHeightEveryTriangle)->Unit(benchmark::kMicrosecond);

// One tick of 256 elements, each asking once.
void BM_GroundHeight256(benchmark::State& state) {
  const model::GroundMap map = model::BuildGroundMap(Terrain(), false, 1);
  const auto points = Points(256);
  for (auto _ : state) {
    for (const auto& p : points) benchmark::DoNotOptimize(model::MeshGroundHeight(map, p[0], p[1], p[2], 1000 * 512));
  }
}
BENCHMARK(BM_GroundHeight256)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
