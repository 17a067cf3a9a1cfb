// The scene update's cost without a window: 256 shown visual elements copied from their state
// records into their frames each frame, on the fixed-point path and on the scale path, beside a
// plain loop that writes the same placements into an array of matrices. Run from a release build.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <glm/geometric.hpp>
#include <glm/mat4x4.hpp>

#include "engine/engine.h"
#include "mkdata/mkdata.h"
#include "model/model.h"

namespace {

constexpr int kElements = 256;

// Medians of the plain loop's runs (µs per frame), for the ratio the scene update reports.
std::vector<double> plainMicroseconds;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A small mesh: the eight corners of a cube as twelve faces.
engine::MeshBuilder Cube() {
  engine::MeshBuilder mesh;
  const auto v = [](float x, float y, float z) {
    engine::MeshVertex vertex;
    vertex.position = {x, y, z};
    return vertex;
  };
  const float s = 0.5f;
  const engine::MeshVertex c[8] = {v(-s, -s, -s), v(s, -s, -s), v(s, s, -s), v(-s, s, -s),
                                   v(-s, -s, s),  v(s, -s, s),  v(s, s, s),  v(-s, s, s)};
  const int faces[12][3] = {{0, 1, 2}, {0, 2, 3}, {4, 6, 5}, {4, 7, 6}, {0, 4, 5}, {0, 5, 1},
                            {3, 2, 6}, {3, 6, 7}, {0, 3, 7}, {0, 7, 4}, {1, 5, 6}, {1, 6, 2}};
  for (const auto& f : faces) mesh.AddFace(c[f[0]], c[f[1]], c[f[2]]);
  return mesh;
}

// Runs `call` with stderr sent to /dev/null: the bridge says once that the backdrop meshes are
// missing, which is expected here.
template <typename Call>
void Quietly(Call call) {
  std::fflush(stderr);
  const int kept = dup(STDERR_FILENO);
  const int null = open("/dev/null", O_WRONLY);
  if (kept >= 0 && null >= 0) dup2(null, STDERR_FILENO);
  call();
  std::fflush(stderr);
  if (kept >= 0) {
    dup2(kept, STDERR_FILENO);
    close(kept);
  }
  if (null >= 0) close(null);
}

// An arena with the fine sine table, 256 shown elements each on its own visual slot, and the
// bridge built over them.
struct SceneWorld {
  core::Arena arena;
  engine::AspectMemory aspects;
  engine::TextureCache textures{""};
  engine::BuiltFrame visual;
  engine::SceneBridge bridge;
  bool ready = false;

  explicit SceneWorld(int32_t scale) {
    if (!arena.Create()) return;
    const std::vector<uint8_t> sine = mkdata::FineSineTable();
    std::memcpy(arena.Host(core::Region::kSineFine), sine.data(),
                std::min<size_t>(sine.size(), core::Describe(core::Region::kSineFine).size));
    visual.parts.emplace_back();
    visual.parts.back().mesh = Cube();
    aspects.Reset(&arena);
    int32_t* records = Records();
    for (int32_t element = 0; element < kElements; ++element) {
      uint32_t address = 0;
      int32_t* slot = aspects.NextSlot(&address);
      if (slot == nullptr) return;
      slot[engine::kSlotTag] = static_cast<int32_t>(engine::kVisualTag);
      slot[engine::kSlotElement] = element;
      slot[engine::kSlotFrame] = 1;
      engine::SlotSide side;
      side.element = element;
      side.master = element;
      side.visual = &visual;
      bridge.Sides().push_back(side);

      int32_t* record = records + element * model::kRecordWords;
      record[model::kWordCurrentAspect] = static_cast<int32_t>(address);
      record[model::kWordFirstAspect] = static_cast<int32_t>(address);
      record[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn | model::kStatusVisible);
      // A 16 x 16 grid 2 m apart, 20 m ahead, each a little higher than the one before.
      record[model::kWordPositionX] = (element % 16 - 8) * 1024000;
      record[model::kWordPositionY] = element * 2000;
      record[model::kWordPositionZ] = 10240000 + (element / 16) * 1024000;
      record[model::kWordRotationX] = element * 701;
      record[model::kWordRotationY] = element * 1409;
      record[model::kWordRotationZ] = -element * 313;
      record[model::kWordScaleX] = scale;
      record[model::kWordScaleY] = scale;
      record[model::kWordScaleZ] = scale;
    }
    engine::SceneSources sources;
    sources.arena = &arena;
    sources.lastElement = kElements - 1;
    sources.textures = &textures;
    sources.root = "/nonexistent-scene-bench/";
    sources.dataFolder = "/nonexistent-scene-bench/data/";
    Quietly([&] { bridge.Build(sources); });
    ready = bridge.Built();
  }
  ~SceneWorld() { bridge.Release(nullptr); }

  int32_t* Records() const { return arena.As<int32_t>(core::Region::kElementRecords); }
};

// Turns every element a little about each axis, by steps above one table entry, so that no frame
// ever sees the same record twice in a row.
void Turn(int32_t* records) {
  for (int32_t element = 0; element < kElements; ++element) {
    int32_t* record = records + element * model::kRecordWords;
    for (int axis = 0; axis < 3; ++axis) {
      int32_t& angle = record[model::kWordRotationX + axis];
      angle += 97 + 64 * axis;
      if (angle >= model::kFullTurn) angle -= model::kFullTurn;
    }
  }
}

// The baseline: the same fixed-point orientations and positions written straight into matrices.
void BM_PlainMatrices(benchmark::State& state) {
  SceneWorld world(1000);
  if (!world.ready) {
    state.SkipWithError("the scene was not built");
    return;
  }
  const int32_t* sine = world.arena.As<int32_t>(core::Region::kSineFine);
  int32_t* records = world.Records();
  std::vector<glm::mat4> matrices(kElements);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    Turn(records);
    for (int32_t element = 0; element < kElements; ++element) {
      const int32_t* record = records + element * model::kRecordWords;
      const engine::FixedOrientation o = engine::OrientationOf(sine, record);
      const glm::vec3 direction = glm::vec3(o.direction[0], o.direction[1], o.direction[2]) / 65536.0f;
      const glm::vec3 up = glm::vec3(o.up[0], o.up[1], o.up[2]) / 65536.0f;
      glm::mat4& m = matrices[static_cast<size_t>(element)];
      m[0] = glm::vec4(glm::cross(up, direction), 0.0f);
      m[1] = glm::vec4(up, 0.0f);
      m[2] = glm::vec4(direction, 0.0f);
      m[3] = glm::vec4(glm::vec3(static_cast<float>(record[model::kWordPositionX]),
                                 static_cast<float>(record[model::kWordPositionY]),
                                 static_cast<float>(record[model::kWordPositionZ])) /
                           512000.0f,
                       1.0f);
    }
    benchmark::DoNotOptimize(matrices.data());
    benchmark::ClobberMemory();
  }
  const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
  if (state.iterations() > 0) plainMicroseconds.push_back(spent.count() / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_PlainMatrices)->Unit(benchmark::kMicrosecond);

// One scene update per iteration; reports vs_plain, its time over the plain loop's median.
void SceneUpdate(benchmark::State& state, int32_t scale) {
  SceneWorld world(scale);
  if (!world.ready) {
    state.SkipWithError("the scene was not built");
    return;
  }
  int32_t* records = world.Records();
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    Turn(records);
    world.bridge.Update(nullptr, false);
    benchmark::ClobberMemory();
  }
  const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
  if (state.iterations() > 0 && !plainMicroseconds.empty()) {
    state.counters["vs_plain"] = spent.count() / static_cast<double>(state.iterations()) / Median(plainMicroseconds);
  }
  // The last update must have placed and shown every element where its record says.
  const engine::scene::Scene& graph = world.bridge.Graph();
  for (int32_t element = 0; element < kElements; ++element) {
    const int32_t frame = world.bridge.Sides()[static_cast<size_t>(element)].frame;
    const int32_t* record = records + element * model::kRecordWords;
    const glm::vec3 at = graph.GetPosition(frame, world.bridge.MainScene());
    if (!graph.Shown(frame) || std::abs(at.z - static_cast<float>(record[model::kWordPositionZ]) / 512000.0f) > 1e-3f) {
      state.SkipWithError("an element was not placed");
      return;
    }
  }
}

void BM_SceneUpdate(benchmark::State& state) { SceneUpdate(state, 1000); }
BENCHMARK(BM_SceneUpdate)->Unit(benchmark::kMicrosecond);

// Every element scaled to 0.999: the quaternion path through the spare animation.
void BM_SceneUpdateScaled(benchmark::State& state) { SceneUpdate(state, 999); }
BENCHMARK(BM_SceneUpdateScaled)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
