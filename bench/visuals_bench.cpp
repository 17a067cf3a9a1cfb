// Visual file figures: parsing a large .3ds model from memory, decoding textures, building a
// generated 20,000-face part into its mesh.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <string>

#include "core/core.h"
#include "engine/engine.h"
#include "support/temp_folder.h"

namespace {

// [SECTION] The .3ds reader

void Put16(std::string* out, uint16_t value) {
  out->push_back(static_cast<char>(value & 0xFF));
  out->push_back(static_cast<char>(value >> 8));
}

void Put32(std::string* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutFloat(std::string* out, float value) {
  uint32_t bits = 0;
  std::memcpy(&bits, &value, 4);
  Put32(out, bits);
}

std::string Chunk(uint16_t id, const std::string& body) {
  std::string out;
  Put16(&out, id);
  Put32(&out, static_cast<uint32_t>(6 + body.size()));
  return out + body;
}

// A rippled grid of side x side squares, two faces each, as one object with the sub-chunks a
// modelling program writes after its face list (a material group and smoothing groups).
std::string GridModel3ds(int side) {
  const int row = side + 1;
  std::string vertices;
  Put16(&vertices, static_cast<uint16_t>(row * row));
  for (int y = 0; y < row; ++y) {
    for (int x = 0; x < row; ++x) {
      PutFloat(&vertices, static_cast<float>(x) * 0.1f);
      PutFloat(&vertices, static_cast<float>(y) * 0.1f);
      PutFloat(&vertices, static_cast<float>((x * 7 + y * 3) % 11) * 0.01f);
    }
  }
  std::string faces;
  const int faceCount = side * side * 2;
  Put16(&faces, static_cast<uint16_t>(faceCount));
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const uint16_t a = static_cast<uint16_t>(y * row + x), b = static_cast<uint16_t>(a + 1);
      const uint16_t c = static_cast<uint16_t>(a + row), d = static_cast<uint16_t>(c + 1);
      const uint16_t entries[] = {a, b, d, 0, a, d, c, 0};  // two faces, flag words 0
      for (uint16_t entry : entries) Put16(&faces, entry);
    }
  }
  std::string material = std::string("grid") + '\0';
  Put16(&material, static_cast<uint16_t>(faceCount));
  for (int i = 0; i < faceCount; ++i) Put16(&material, static_cast<uint16_t>(i));
  std::string smoothing;
  for (int i = 0; i < faceCount; ++i) Put32(&smoothing, 1);
  faces += Chunk(0x4130, material) + Chunk(0x4150, smoothing);
  const std::string object = std::string("grid") + '\0' + Chunk(0x4100, Chunk(0x4110, vertices) + Chunk(0x4120, faces));
  return Chunk(0x4D4D, Chunk(0x3D3D, Chunk(0x4000, object)));
}

// 100 x 100 squares: 20,000 faces over 10,201 vertices.
void BM_Parse3ds20000(benchmark::State& state) {
  const std::string file = GridModel3ds(100);
  engine::Model3ds model;
  for (auto _ : state) {
    engine::Parse3ds(file, &model);
    benchmark::DoNotOptimize(model.faces.data());
  }
  if (model.faces.size() != 20000) state.SkipWithError("the generated model did not read back whole");
  state.counters["faces"] = static_cast<double>(model.faces.size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_Parse3ds20000)->Unit(benchmark::kMicrosecond);

// [SECTION] BMP textures

// A bottom-up 24-bit BMP of `side` x `side` pixels in a pattern of every channel value.
std::string Bmp24(int side) {
  const uint32_t stride = (static_cast<uint32_t>(side) * 3 + 3) / 4 * 4;
  std::string out = "BM";
  Put32(&out, 54 + stride * side);
  Put32(&out, 0);
  Put32(&out, 54);
  Put32(&out, 40);
  Put32(&out, side);
  Put32(&out, side);
  Put32(&out, 1 | 24 << 16);  // planes, bits
  for (int i = 0; i < 6; ++i) Put32(&out, 0);
  for (int y = 0; y < side; ++y) {
    for (uint32_t x = 0; x < stride; ++x) out.push_back(static_cast<char>((x * 7 + y * 13) & 0xFF));
  }
  return out;
}

// A 512 x 512 24-bit texture, from bytes in memory to RGBA pixels.
void BM_DecodeBmp512(benchmark::State& state) {
  const std::string file = Bmp24(512);
  engine::Picture picture;
  std::string error;
  for (auto _ : state) {
    if (!engine::DecodeBmp(file, &picture, &error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(picture.rgba.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_DecodeBmp512)->Unit(benchmark::kMicrosecond);

// [SECTION] Building visual frames

constexpr int kRings = 100;  // 100 x 100 quads: 20,000 faces over 101 x 101 vertices

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
BENCHMARK(BM_VisualPartSixViews)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VisualPartCylinderWrap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VisualPartColourOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VisualCreaseNormals)->Unit(benchmark::kMillisecond);

// [SECTION] Loading visuals at play start

// Play start for `elements` elements naming one visual of 968 faces (six views): the file read and
// built once, one aspect slot each with its collision faces (the face list shared). Sharing must
// keep 256 elements within a few times the cost of one.
void BM_LoadSharedVisual(benchmark::State& state) {
  testing_support::TempFolder folder("vexel-bench-load");
  core::MakeFolders(folder / "3dsfiles");
  core::MakeFolders(folder / "visuals");
  core::WriteFileAtomic(folder / "3dsfiles/grid.3ds", GridModel3ds(22));
  core::WriteFileAtomic(folder / "visuals/grid.v3d",
                        "1|./images/t.bmp|./3dsfiles/grid.3ds|1|3|0|0|0|0|0|0|25000|0|0|0|0|0|0|0|0|0|0|0|0|255|255|"
                        "255|0|1|./3dsfiles/grid.3ds|0\r\n");
  core::Arena arena;
  if (!arena.Create()) {
    state.SkipWithError("no arena");
    return;
  }
  const auto elements = static_cast<int32_t>(state.range(0));
  int32_t faces = 0;
  for (auto _ : state) {
    engine::AspectMemory memory;
    memory.Reset(&arena);
    engine::VisualLibrary library(folder / "data/error.bmp");
    for (int32_t e = 0; e < elements; ++e) {
      const engine::LoadedVisual& visual = library.Load(folder / "visuals/grid.v3d", folder.path());
      for (int32_t frame = 1; frame <= visual.file.frames; ++frame) {
        uint32_t address = 0;
        int32_t* slot = memory.NextSlot(&address);
        memory.LoadVisualAspect(visual.file, slot, e, frame, 0, folder.path());
        faces = slot[engine::kSlotFaceCount];
      }
    }
  }
  state.counters["collision_faces"] = faces;
}
BENCHMARK(BM_LoadSharedVisual)->Arg(1)->Arg(256)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
