// Collision pass, ground and volume queries and the polygon test at the sizes a full play reaches:
// 256 moving elements whose map names all 32,640 pairs (spheres, then boxes), beside a loop that
// only reads both positions of every pair; over_ground, over_ground_slope and volume_rebound for
// 256 elements on a 20,000-triangle map; h_poly_collision's test between two 1,000-triangle
// spheres overlapping by half.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "brain/brain.h"
#include "core/core.h"
#include "instructions/instructions.h"
#include "mkdata/mkdata.h"
#include "model/model.h"
#include "state/state.h"

namespace {

constexpr int kElements = 256;
constexpr int kGroundElement = 255;

struct World {
  state::Engine engine;
  brain::BrainRuntime calls;
  int32_t* records = nullptr;
  std::vector<int32_t> velocities;  // x, z per element, position units per tick

  World() {
    if (!engine.arena.Create()) std::abort();
    const std::vector<uint8_t> tables[3] = {mkdata::ArctangentTable(), mkdata::FineSineTable(), mkdata::CoarseSineTable()};
    const core::Region regions[3] = {core::Region::kArctangent, core::Region::kSineFine, core::Region::kSineCoarse};
    for (int i = 0; i < 3; ++i) std::memcpy(engine.arena.Host(regions[i]), tables[i].data(), tables[i].size());
    engine.play = std::make_unique<state::Play>();
    engine.project.records.assign(kElements, std::string());
    calls.arena = &engine.arena;
    std::vector<std::string> problems;
    instructions::BindAllRoutines(&calls.routines, &problems);
    records = engine.arena.As<int32_t>(core::Region::kElementRecords);
  }
  int32_t* Record(int e) { return records + e * model::kRecordWords; }
  uint32_t Address(int e) { return engine.arena.Address(core::Region::kElementRecords) + 1024u * static_cast<uint32_t>(e); }
  int32_t Call(int row, uint32_t a, uint32_t b = 0, uint32_t c = 0, uint32_t d = 0, uint32_t e = 0) {
    brain::Regs regs{a, b, c, d, e, Address(0)};
    std::string fault;
    brain::CallRoutine(&calls, brain::RoutineAddress(row), &regs, &fault);
    return static_cast<int32_t>(regs.eax);
  }

  // Elements in a cube of `side` mm with radius `radius` mm, each moving a few mm a tick and
  // bouncing off the cube's faces; the map names every pair.
  void Movers(int32_t side, int32_t radius, bool boxes) {
    std::mt19937 random(42);
    std::uniform_int_distribution<int32_t> place(0, side * 512), speed(-3 * 512, 3 * 512);
    velocities.assign(2 * kElements, 0);
    for (int e = 0; e < kElements; ++e) {
      int32_t* w = Record(e);
      std::memset(w, 0, model::kRecordBytes);
      w[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn | model::kStatusCollisions |
                                                   (boxes ? model::kStatusBoxCollisions : 0u));
      w[model::kWordIdentity] = 1 << (e % 31);
      w[model::kWordRadius] = radius;
      const int32_t half = radius * 7 / 10;
      const int32_t extents[6] = {half, half, half, -half, -half, -half};
      std::memcpy(w + model::kWordExtent0, extents, sizeof extents);
      w[model::kWordRotationY] = static_cast<int32_t>(random() % 184320);
      for (int axis = 0; axis < 3; ++axis) w[model::kWordPositionX + axis] = place(random);
      velocities[2 * e] = speed(random);
      velocities[2 * e + 1] = speed(random);
    }
    instructions::SetCollisionDefaults(records, kElements - 1);
    std::memset(engine.arena.Host(core::Region::kCollisionMap), 1, model::kCollisionMapBytes);
    instructions::BuildCollisionPairs(engine.arena.Host(core::Region::kCollisionMap), &engine.play->collisions);
    sideUnits = side * 512;
  }
  void Move() {
    for (int e = 0; e < kElements; ++e) {
      int32_t* w = Record(e);
      for (int k = 0; k < 2; ++k) {
        int32_t& p = w[k == 0 ? model::kWordPositionX : model::kWordPositionZ];
        p += velocities[2 * e + k];
        if (p < 0 || p > sideUnits) velocities[2 * e + k] = -velocities[2 * e + k];
      }
    }
  }
  int32_t sideUnits = 0;
};

void CountTouching(benchmark::State& state, World& world) {
  int64_t hits = 0;
  for (const state::CollisionPair& pair : world.engine.play->collisions.pairs) hits += pair.hit != 0 ? 1 : 0;
  state.counters["touching_%"] = 100.0 * static_cast<double>(hits) / static_cast<double>(world.engine.play->collisions.pairs.size());
}

void BM_PassSpheres(benchmark::State& state) {
  World world;
  world.Movers(1000, 100, false);
  for (auto _ : state) {
    world.Move();
    instructions::CollisionPass(world.engine);
  }
  CountTouching(state, world);
}
BENCHMARK(BM_PassSpheres)->Unit(benchmark::kMicrosecond);

// The floor the pass is measured against: both positions of every listed pair read, nothing else.
void BM_ReadPairPositions(benchmark::State& state) {
  World world;
  world.Movers(1000, 100, false);
  for (auto _ : state) {
    world.Move();
    int64_t sum = 0;
    for (const state::CollisionPair& pair : world.engine.play->collisions.pairs) {
      const int32_t* a = world.Record(pair.first);
      const int32_t* b = world.Record(pair.second);
      sum += a[model::kWordPositionX] + a[model::kWordPositionY] + a[model::kWordPositionZ] + b[model::kWordPositionX] +
             b[model::kWordPositionY] + b[model::kWordPositionZ];
    }
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_ReadPairPositions)->Unit(benchmark::kMicrosecond);

void BM_PassBoxes(benchmark::State& state) {
  World world;
  world.Movers(1000, 100, true);
  for (auto _ : state) {
    world.Move();
    instructions::CollisionPass(world.engine);
  }
  CountTouching(state, world);
}
BENCHMARK(BM_PassBoxes)->Unit(benchmark::kMicrosecond);

// A 20 m square of rolling ground: 100 x 100 cells of two triangles, 20,000 in all.
model::GroundMap Terrain() {
  std::vector<model::GroundTriangle> t;
  constexpr int kCells = 100;
  constexpr int32_t kCell = 200;
  auto height = [](int32_t x, int32_t z) {
    return static_cast<int32_t>(300.0 * std::sin(x / 1500.0) * std::cos(z / 1100.0));
  };
  for (int r = 0; r < kCells; ++r) {
    for (int c = 0; c < kCells; ++c) {
      const int32_t x0 = -10000 + c * kCell, x1 = x0 + kCell, z0 = -10000 + r * kCell, z1 = z0 + kCell;
      t.push_back({{x0, height(x0, z0), z0, x0, height(x0, z1), z1, x1, height(x1, z0), z0}});
      t.push_back({{x1, height(x1, z1), z1, x1, height(x1, z0), z0, x0, height(x0, z1), z1}});
    }
  }
  return model::BuildGroundMap(t, false, 0);
}

// 255 elements spread over the terrain (element 255 holds the map as ground and volume mesh).
void OnTerrain(World* world) {
  world->engine.play->groundMaps.push_back(Terrain());
  auto* slots = world->engine.arena.As<int32_t>(core::Region::kAspectSlots);
  slots[model::kGroundWordTag] = static_cast<int32_t>(model::kGroundTag);
  slots[model::kGroundWordTriangles] = 1;
  slots[model::kGroundWordIndex] = 1;
  std::mt19937 random(7);
  std::uniform_int_distribution<int32_t> place(-9500 * 512, 9500 * 512);
  for (int e = 0; e < kElements; ++e) {
    int32_t* w = world->Record(e);
    std::memset(w, 0, model::kRecordBytes);
    w[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
    w[model::kWordPositionX] = place(random);
    w[model::kWordPositionZ] = place(random);
    w[model::kWordPositionY] = 100 * 512;
    w[model::kWordRadius] = 150;
    w[model::kWordRotationY] = static_cast<int32_t>(random() % 184320);
    const int32_t extents[6] = {300, 200, 500, -300, -200, -500};
    std::memcpy(w + model::kWordExtent0, extents, sizeof extents);
  }
  world->Record(kGroundElement)[model::kWordCurrentAspect] =
      static_cast<int32_t>(world->engine.arena.Address(core::Region::kAspectSlots));
  world->engine.play->collisions.groundMesh = kGroundElement;
  world->engine.play->collisions.volumeMesh = kGroundElement;
}

template <int kArguments>
void RunOnEveryElement(benchmark::State& state, const char* name, uint32_t b, uint32_t c, uint32_t d) {
  World world;
  OnTerrain(&world);
  const int row = brain::RowOfName(name);
  for (auto _ : state) {
    for (int e = 0; e < kElements; ++e) {
      world.Record(e)[model::kWordPositionY] = 100 * 512;  // keep the probes' heights alike
      benchmark::DoNotOptimize(world.Call(row, world.Address(e), b, c, d));
    }
  }
}

void BM_OverGround(benchmark::State& state) { RunOnEveryElement<2>(state, "over_ground", 0, 0, 0); }
BENCHMARK(BM_OverGround)->Unit(benchmark::kMicrosecond);
void BM_OverGroundSlope(benchmark::State& state) { RunOnEveryElement<3>(state, "over_ground_slope", 0, 0, 0); }
BENCHMARK(BM_OverGroundSlope)->Unit(benchmark::kMicrosecond);
// Probes of 400 mm at the ground's height, tolerances of 200 mm: some inside, some not.
void BM_VolumeRebound(benchmark::State& state) {
  RunOnEveryElement<4>(state, "volume_rebound", 400 * 512, 200 * 512, static_cast<uint32_t>(-200 * 512));
}
BENCHMARK(BM_VolumeRebound)->Unit(benchmark::kMicrosecond);

// A sphere of radius 1 m as 20 rings of 25 segments: 1,000 triangles.
instructions::PolygonObject Sphere(glm::vec3 centre) {
  instructions::PolygonObject sphere;
  sphere.position = centre;
  constexpr int kRings = 20, kSegments = 25;
  auto point = [&](int ring, int segment) {
    const float theta = 3.14159265f * static_cast<float>(ring) / kRings;
    const float phi = 6.2831853f * static_cast<float>(segment) / kSegments;
    return centre + glm::vec3(std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi));
  };
  for (int r = 0; r < kRings; ++r) {
    for (int s = 0; s < kSegments; ++s) {
      sphere.triangles.push_back({point(r, s), point(r + 1, s), point(r + 1, s + 1)});
      sphere.triangles.push_back({point(r, s), point(r + 1, s + 1), point(r, s + 1)});
    }
  }
  return sphere;
}

void BM_PolygonCollision(benchmark::State& state) {
  const instructions::PolygonObject a = Sphere(glm::vec3(0.0f)), b = Sphere(glm::vec3(1.0f, 0.0f, 0.0f));
  instructions::PolygonContact contact;
  int32_t result = 0;
  for (auto _ : state) {
    result = instructions::PolygonCollision(a, b, 0, &contact);
    benchmark::DoNotOptimize(result);
  }
  state.counters["triangles_each"] = static_cast<double>(a.triangles.size());
  state.counters["hit"] = result;
}
BENCHMARK(BM_PolygonCollision)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
