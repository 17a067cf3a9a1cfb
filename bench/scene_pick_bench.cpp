// Ray picking in the scene graph: 256 frames each showing a 200-triangle sphere (51,200
// triangles), a ray through the middle of a camera's field, and a ray along a whole row of frames.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>

#include "engine/scene/scene.h"

namespace {

using engine::MeshBuilder;
using engine::MeshVertex;
using engine::scene::kNone;
using engine::scene::PickHit;
using engine::scene::Scene;
using engine::scene::Viewport;

constexpr int kSide = 16;         // frames per side of the grid
constexpr float kSpacing = 2.5f;  // between frame centres

// A unit sphere of 10 slices by 10 stacks, two faces a cell: 200 faces (those at the poles are
// slivers of zero area, as in any such sphere).
std::unique_ptr<MeshBuilder> Sphere() {
  constexpr int kSlices = 10, kStacks = 10;
  constexpr float kPi = std::numbers::pi_v<float>;
  auto point = [](int slice, int stack) {
    const float theta = 2.0f * kPi * static_cast<float>(slice) / kSlices;
    const float phi = kPi * static_cast<float>(stack) / kStacks;
    MeshVertex v;
    v.position = {std::sin(phi) * std::cos(theta), std::cos(phi), std::sin(phi) * std::sin(theta)};
    return v;
  };
  auto mesh = std::make_unique<MeshBuilder>();
  for (int stack = 0; stack < kStacks; ++stack) {
    for (int slice = 0; slice < kSlices; ++slice) {
      mesh->AddFace(point(slice, stack), point(slice + 1, stack), point(slice + 1, stack + 1));
      mesh->AddFace(point(slice, stack), point(slice + 1, stack + 1), point(slice, stack + 1));
    }
  }
  return mesh;
}

// The grid of spheres in a plane 30 units ahead of a camera at the origin, the middle one on the
// camera's axis; each sphere turned and scaled a little so that no two frames are alike.
struct PickWorld {
  Scene scene;
  int32_t root = scene.CreateFrame(kNone);
  Viewport view;

  PickWorld() {
    const MeshBuilder* sphere = scene.Own(Sphere());
    for (int row = 0; row < kSide; ++row) {
      const int32_t group = scene.CreateFrame(root);
      for (int column = 0; column < kSide; ++column) {
        const int32_t f = scene.CreateFrame(group);
        scene.At(f).position = {static_cast<float>(column - kSide / 2) * kSpacing,
                                static_cast<float>(row - kSide / 2) * kSpacing, 30.0f};
        const float turn = 0.1f * static_cast<float>(row * kSide + column);
        scene.SetOrientation(f, kNone, {std::sin(turn), 0.0f, std::cos(turn)}, {0.0f, 1.0f, 0.2f});
        scene.At(f).scale = glm::vec3(0.9f + 0.001f * static_cast<float>(column));
        scene.At(f).meshes.push_back(sphere);
      }
    }
    view.camera = scene.CreateFrame(root);
    view.width = 640;
    view.height = 480;
  }
};

void BM_Pick(benchmark::State& state) {
  PickWorld world;
  // The ray from the camera through the middle pixel of the viewport.
  const glm::vec3 origin = world.scene.GetPosition(world.view.camera, kNone);
  const glm::vec3 through = world.view.InverseTransform(world.scene, {320.0f, 240.0f, 0.0f});
  PickHit hit;
  for (auto _ : state) {
    const bool found = world.scene.Pick(world.root, origin, through - origin, &hit);
    benchmark::DoNotOptimize(found);
    benchmark::DoNotOptimize(hit);
  }
  if (!world.scene.Pick(world.root, origin, through - origin, &hit)) state.SkipWithError("the middle ray missed");
}
BENCHMARK(BM_Pick)->Unit(benchmark::kMicrosecond);

// A ray along one row: the boxes of 16 frames lie on it, only the nearest hit counts.
void BM_PickAlongARow(benchmark::State& state) {
  PickWorld world;
  const glm::vec3 origin(100.0f, 0.0f, 30.0f), direction(-1.0f, 0.0f, 0.0f);
  PickHit hit;
  for (auto _ : state) {
    const bool found = world.scene.Pick(world.root, origin, direction, &hit);
    benchmark::DoNotOptimize(found);
    benchmark::DoNotOptimize(hit);
  }
  if (!world.scene.Pick(world.root, origin, direction, &hit)) state.SkipWithError("the row ray missed");
}
BENCHMARK(BM_PickAlongARow)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
