// Frame drawing figures on the platform's offscreen GL context (Mesa llvmpipe): a busy frame of
// 256 textured, lit, fogged objects over a backdrop and the back surface; the same triangles as one
// mesh; the back surface alone. Run with LP_NUM_THREADS=2 from a release build.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include <glm/geometric.hpp>

#include "engine/engine.h"
#include "platform/platform.h"

namespace {

using engine::MeshBuilder;
using engine::MeshVertex;
namespace scene = engine::scene;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kObjects = 256;
constexpr float kPi = std::numbers::pi_v<float>;

engine::Picture Checker(int side, uint8_t light, uint8_t dark) {
  engine::Picture picture;
  picture.width = picture.height = side;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const uint8_t v = ((x / 8 + y / 8) % 2) != 0 ? light : dark;
      picture.rgba.insert(picture.rgba.end(), {v, static_cast<uint8_t>(v / 2), static_cast<uint8_t>(255 - v), 255});
    }
  }
  return picture;
}

// Adds a face turned so that it faces `outwards` (the camera sees it from that side).
void AddFacing(MeshBuilder* mesh, MeshVertex a, MeshVertex b, MeshVertex c, const glm::vec3& outwards) {
  const glm::vec3 facing = glm::cross(c.position - a.position, b.position - a.position);
  if (glm::dot(facing, outwards) < 0.0f) std::swap(b, c);
  mesh->AddFace(a, b, c);
}

// A 200-triangle sphere (10 rings of 10 segments), offset by `centre`, textured, normals outwards.
void AddSphere(MeshBuilder* mesh, const glm::vec3& centre, float radius) {
  constexpr int kRings = 10, kSegments = 10;
  const auto at = [&](int ring, int segment) {
    const float theta = kPi * static_cast<float>(ring) / kRings;
    const float phi = 2.0f * kPi * static_cast<float>(segment) / kSegments;
    MeshVertex v;
    v.normal = glm::vec3(std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi));
    v.position = centre + radius * v.normal;
    v.uv = glm::vec2(static_cast<float>(segment) / kSegments, static_cast<float>(ring) / kRings);
    v.rgba = 0xFFE0E0E0u;
    return v;
  };
  for (int ring = 0; ring < kRings; ++ring) {
    for (int segment = 0; segment < kSegments; ++segment) {
      const MeshVertex a = at(ring, segment), b = at(ring, segment + 1), c = at(ring + 1, segment + 1),
                       d = at(ring + 1, segment);
      const glm::vec3 middle = (a.position + b.position + c.position + d.position) * 0.25f - centre;
      AddFacing(mesh, a, b, c, middle);
      AddFacing(mesh, a, c, d, middle);
    }
  }
}

glm::vec3 ObjectPosition(int i) {
  const int column = i % 16, row = i / 16;
  return glm::vec3((static_cast<float>(column) - 7.5f) * 0.8f, (static_cast<float>(row) - 7.5f) * 0.55f,
                   12.0f + static_cast<float>((column + row) % 4) * 2.0f);
}

// One platform, GL context and renderer for every benchmark, with the scenes they draw.
struct Bench {
  platform::Platform platform;
  scene::Renderer renderer;
  scene::Scene scene;
  engine::Picture skyPicture = Checker(256, 200, 40);
  engine::Picture objectPicture = Checker(64, 255, 90);
  MeshBuilder sky, object, merged;
  int32_t skyRoot = -1, mainRoot = -1, mergedRoot = -1, emptyRoot = -1;
  scene::Viewport viewport;
  std::vector<uint8_t> surface = std::vector<uint8_t>(static_cast<size_t>(kWidth) * kHeight * 2);
  bool ok = false;

  Bench() {
    platform::Options options;
    options.headless = true;
    options.windowed = true;
    std::string error;
    if (!platform.Start(options, &error) || !platform.gl->OpenFrame(kWidth, kHeight, &error) ||
        !renderer.Open(&error)) {
      std::fprintf(stderr, "frame_bench: %s\n", error.c_str());
      return;
    }
    for (size_t i = 0; i < surface.size(); ++i) surface[i] = static_cast<uint8_t>(i * 7);

    // The backdrop: a cylinder round the camera, seen from inside, unlit.
    constexpr int kSides = 32;
    for (int i = 0; i < kSides; ++i) {
      const auto at = [&](int side, float y) {
        const float angle = 2.0f * kPi * static_cast<float>(side) / kSides;
        MeshVertex v;
        v.position = glm::vec3(60.0f * std::cos(angle), y, 60.0f * std::sin(angle));
        v.uv = glm::vec2(4.0f * static_cast<float>(side) / kSides, y > 0 ? 0.0f : 2.0f);
        return v;
      };
      const MeshVertex a = at(i, -60), b = at(i + 1, -60), c = at(i + 1, 60), d = at(i, 60);
      const glm::vec3 inwards = -(a.position + b.position) * 0.5f;
      AddFacing(&sky, a, b, c, inwards);
      AddFacing(&sky, a, c, d, inwards);
    }
    sky.texture = &skyPicture;
    sky.quality = engine::kQualityUnlitFlat;

    AddSphere(&object, glm::vec3(0.0f), 0.4f);
    object.texture = &objectPicture;
    for (int i = 0; i < kObjects; ++i) AddSphere(&merged, ObjectPosition(i), 0.4f);
    merged.texture = &objectPicture;

    const int32_t camera = scene.CreateFrame(scene::kNone);
    viewport.camera = camera;
    viewport.width = kWidth;
    viewport.height = kHeight;

    skyRoot = scene.CreateFrame(scene::kNone);
    scene.At(scene.CreateFrame(skyRoot)).meshes.push_back(&sky);

    const auto lit = [&](int32_t root) {
      scene::SceneSettings& settings = scene.At(root).settings;
      settings.fogEnabled = true;
      settings.fogStart = 10.0f;
      settings.fogEnd = 30.0f;
      settings.fogColour = glm::vec3(0.5f, 0.6f, 0.7f);
      scene::Light ambient;
      ambient.colour = glm::vec3(0.3f);
      scene.AddLight(scene.CreateFrame(root), ambient);
      scene::Light directional;
      directional.type = scene::kLightDirectional;
      const int32_t sun = scene.CreateFrame(root);
      scene.SetOrientation(sun, scene::kNone, {0.3f, -0.5f, 1.0f}, {0, 1, 0});
      scene.AddLight(sun, directional);
    };
    mainRoot = scene.CreateFrame(scene::kNone);
    lit(mainRoot);
    for (int i = 0; i < kObjects; ++i) {
      const int32_t frame = scene.CreateFrame(mainRoot);
      scene.At(frame).position = ObjectPosition(i);
      scene.At(frame).meshes.push_back(&object);
    }
    mergedRoot = scene.CreateFrame(scene::kNone);
    lit(mergedRoot);
    scene.At(scene.CreateFrame(mergedRoot)).meshes.push_back(&merged);
    emptyRoot = scene.CreateFrame(scene::kNone);
    ok = true;
  }
  ~Bench() {
    renderer.Close();
    platform.Shutdown();
  }

  // One displayed frame: back surface, backdrop, the root's objects, then wait for GL.
  void Frame(int32_t root) {
    platform.gl->BeginFrame(platform::Rgb{});
    renderer.BeginFrame(kWidth, kHeight);
    renderer.DrawSurface(surface.data(), 16, kWidth * 2, kWidth, kHeight);
    renderer.ClearDepth(viewport);
    renderer.Render(scene, skyRoot, viewport);
    renderer.ClearDepth(viewport);
    renderer.Render(scene, root, viewport);
    renderer.Finish();
  }
};

// CPU time of the whole process, Mesa's rasteriser threads included: the work a frame takes,
// whatever else the machine is running.
double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Runs `frame` for every iteration and reports the process CPU milliseconds per frame.
template <typename F>
void Frames(benchmark::State& state, F frame) {
  const double start = ProcessCpuSeconds();
  for (auto _ : state) frame();
  state.counters["all_threads_cpu_ms"] =
      benchmark::Counter((ProcessCpuSeconds() - start) * 1e3 / static_cast<double>(state.iterations()));
}

Bench& Shared() {
  static Bench bench;
  return bench;
}

void BM_FrameOfObjects(benchmark::State& state) {
  Bench& bench = Shared();
  if (!bench.ok) return state.SkipWithError("no GL context");
  Frames(state, [&] { bench.Frame(bench.mainRoot); });
  state.counters["triangles"] = kObjects * 200;
}
BENCHMARK(BM_FrameOfObjects)->Unit(benchmark::kMillisecond);

void BM_FrameOfOneMesh(benchmark::State& state) {
  Bench& bench = Shared();
  if (!bench.ok) return state.SkipWithError("no GL context");
  Frames(state, [&] { bench.Frame(bench.mergedRoot); });
  state.counters["triangles"] = static_cast<double>(bench.merged.FaceCount());
}
BENCHMARK(BM_FrameOfOneMesh)->Unit(benchmark::kMillisecond);

// The back surface and the backdrop, with nothing in front of them.
void BM_FrameOfBackdrop(benchmark::State& state) {
  Bench& bench = Shared();
  if (!bench.ok) return state.SkipWithError("no GL context");
  Frames(state, [&] { bench.Frame(bench.emptyRoot); });
}
BENCHMARK(BM_FrameOfBackdrop)->Unit(benchmark::kMillisecond);

// The back surface alone, then presented: what a 2D-only frame costs.
void BM_FrameOfSurfaceOnly(benchmark::State& state) {
  Bench& bench = Shared();
  if (!bench.ok) return state.SkipWithError("no GL context");
  Frames(state, [&] {
    bench.platform.gl->BeginFrame(platform::Rgb{});
    bench.renderer.BeginFrame(kWidth, kHeight);
    bench.renderer.DrawSurface(bench.surface.data(), 16, kWidth * 2, kWidth, kHeight);
    bench.platform.gl->Present();
    bench.renderer.Finish();
  });
}
BENCHMARK(BM_FrameOfSurfaceOnly)->Unit(benchmark::kMillisecond);

// The platform's part of a frame alone: its clear of colour and depth, then presenting.
void BM_FrameOfPlatformOnly(benchmark::State& state) {
  Bench& bench = Shared();
  if (!bench.ok) return state.SkipWithError("no GL context");
  Frames(state, [&] {
    bench.platform.gl->BeginFrame(platform::Rgb{});
    bench.platform.gl->Present();
    bench.renderer.Finish();
  });
}
BENCHMARK(BM_FrameOfPlatformOnly)->Unit(benchmark::kMillisecond);

// DrawSurface by itself (upload and full-frame draw), 16 and 32 bits: the same surface every frame,
// then one that changes everywhere every frame (the full conversion and upload).
void BM_DrawSurface(benchmark::State& state) {
  Bench& bench = Shared();
  if (!bench.ok) return state.SkipWithError("no GL context");
  const int bits = static_cast<int>(state.range(0));
  const bool changing = state.range(1) != 0;
  std::vector<uint8_t> pixels[2];
  pixels[0].assign(static_cast<size_t>(kWidth) * kHeight * static_cast<size_t>(bits / 8), 0x5A);
  pixels[1].assign(pixels[0].size(), 0x3C);
  bench.platform.gl->BeginFrame(platform::Rgb{});
  bench.renderer.BeginFrame(kWidth, kHeight);
  size_t frame = 0;
  Frames(state, [&] {
    const std::vector<uint8_t>& shown = pixels[changing ? frame++ % 2 : 0];
    bench.renderer.DrawSurface(shown.data(), bits, kWidth * bits / 8, kWidth, kHeight);
    bench.renderer.Finish();
  });
}
BENCHMARK(BM_DrawSurface)->ArgsProduct({{16, 32}, {0, 1}})->ArgNames({"bits", "changing"})->Unit(benchmark::kMillisecond);

// What a frame with sprites or text adds on GL: the frame read back into a 16- or 32-bit surface
// and that surface shown over the frame again (the drawing of the sprites is bench_screen2d's).
void BM_ReadBackAndOverlay(benchmark::State& state) {
  Bench& bench = Shared();
  if (!bench.ok) return state.SkipWithError("no GL context");
  const int bits = static_cast<int>(state.range(0));
  std::vector<uint8_t> composed(static_cast<size_t>(kWidth) * kHeight * static_cast<size_t>(bits / 8), 0);
  bench.platform.gl->BeginFrame(platform::Rgb{});
  bench.renderer.BeginFrame(kWidth, kHeight);
  uint8_t tick = 0;
  Frames(state, [&] {
    bench.renderer.ReadSurface(composed.data(), bits, kWidth * bits / 8, kWidth, kHeight);
    composed[0] = ++tick;  // the 2D pass changed something
    bench.renderer.DrawSurface(composed.data(), bits, kWidth * bits / 8, kWidth, kHeight, 1);
    bench.renderer.Finish();
  });
}
BENCHMARK(BM_ReadBackAndOverlay)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond);

// Opening a second renderer on the same context: compiling and linking its programs.
void BM_OpenAndClose(benchmark::State& state) {
  Bench& bench = Shared();
  if (!bench.ok) return state.SkipWithError("no GL context");
  for (auto _ : state) {
    scene::Renderer renderer;
    std::string error;
    if (!renderer.Open(&error)) return state.SkipWithError(error.c_str());
    renderer.Close();
  }
}
BENCHMARK(BM_OpenAndClose)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
