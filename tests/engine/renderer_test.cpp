// The GL renderer drawn on Mesa through the platform's offscreen context and read back: colours,
// axes and winding, lights, fog, decals, blending, viewports, the back surface and GL object counts.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include <glm/geometric.hpp>
#include <glm/mat3x3.hpp>

#include "engine/engine.h"
#include "engine/scene/renderer.h"
#include "engine/scene/scene.h"
#include "mkdata/mkdata.h"
#include "platform/platform.h"
#include "support/temp_folder.h"

namespace {

using engine::MeshBuilder;
using engine::MeshVertex;
using engine::scene::Light;
using engine::scene::Renderer;
using engine::scene::Scene;
using engine::scene::Viewport;

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr platform::Rgb kBackground{0, 0, 255};
constexpr float kDegree = std::numbers::pi_v<float> / 180.0f;

struct Pixel {
  int r = 0, g = 0, b = 0;
};

// Channels within `tolerance` of the expected ones.
::testing::AssertionResult Near(Pixel actual, Pixel expected, int tolerance = 0) {
  if (std::abs(actual.r - expected.r) <= tolerance && std::abs(actual.g - expected.g) <= tolerance &&
      std::abs(actual.b - expected.b) <= tolerance) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "(" << actual.r << ", " << actual.g << ", " << actual.b << ") is not ("
                                       << expected.r << ", " << expected.g << ", " << expected.b << ") within "
                                       << tolerance;
}

const Pixel kBlue{0, 0, 255};

MeshVertex Vertex(glm::vec3 position, uint32_t rgba, glm::vec3 normal = {0.0f, 0.0f, -1.0f}, glm::vec2 uv = {}) {
  MeshVertex v;
  v.position = position;
  v.normal = normal;
  v.rgba = rgba;
  v.uv = uv;
  return v;
}

// A square of side 2 * half in the plane z = `z`, facing a camera at the origin (counter-clockwise
// as it sees it), normals towards it, uv 0..1 from the top-left corner.
std::unique_ptr<MeshBuilder> Square(float z, float half, uint32_t rgba, int32_t quality) {
  auto mesh = std::make_unique<MeshBuilder>();
  const MeshVertex a = Vertex({-half, -half, z}, rgba, {0, 0, -1}, {0, 1});
  const MeshVertex b = Vertex({half, -half, z}, rgba, {0, 0, -1}, {1, 1});
  const MeshVertex c = Vertex({half, half, z}, rgba, {0, 0, -1}, {1, 0});
  const MeshVertex d = Vertex({-half, half, z}, rgba, {0, 0, -1}, {0, 0});
  mesh->AddFace(a, b, c);
  mesh->AddFace(a, c, d);
  mesh->quality = quality;
  return mesh;
}

// Three squares through the origin, each with faces both ways round: seen from any side.
std::unique_ptr<MeshBuilder> Marker(float half, uint32_t rgba) {
  auto mesh = std::make_unique<MeshBuilder>();
  mesh->quality = engine::kQualityUnlitFlat;
  for (int axis = 0; axis < 3; ++axis) {
    glm::vec3 corner[4];
    for (int i = 0; i < 4; ++i) {
      const float u = (i == 1 || i == 2) ? half : -half;
      const float v = i >= 2 ? half : -half;
      corner[i][axis] = 0.0f;
      corner[i][(axis + 1) % 3] = u;
      corner[i][(axis + 2) % 3] = v;
    }
    for (const auto& [a, b, c] : {std::array{0, 1, 2}, std::array{0, 2, 3}, std::array{0, 2, 1}, std::array{0, 3, 2}}) {
      mesh->AddFace(Vertex(corner[a], rgba), Vertex(corner[b], rgba), Vertex(corner[c], rgba));
    }
  }
  return mesh;
}

class RendererTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::Options options;
    options.backend = platform::Backend::kSystem;
    options.headless = true;
    options.windowed = true;
    std::string error;
    ASSERT_TRUE(platform_.Start(options, &error)) << error;
    ASSERT_TRUE(platform_.gl->OpenFrame(kWidth, kHeight, &error)) << error;
    ASSERT_TRUE(renderer_.Open(&error)) << error;
    root_ = scene_.CreateFrame(engine::scene::kNone);
    camera_ = scene_.CreateFrame(root_);
    viewport_.camera = camera_;
    viewport_.width = kWidth;
    viewport_.height = kHeight;
  }
  void TearDown() override {
    renderer_.Close();
    platform_.Shutdown();
  }

  // A frame under the root showing `mesh` (owned by the scene).
  int32_t Show(std::unique_ptr<MeshBuilder> mesh, glm::vec3 position = {}) {
    const int32_t frame = scene_.CreateFrame(root_);
    scene_.At(frame).position = position;
    scene_.At(frame).meshes.push_back(scene_.Own(std::move(mesh)));
    return frame;
  }
  int32_t AddLight(const Light& light, glm::vec3 position = {}, glm::vec3 direction = {0, 0, 1},
                   int32_t parent = -2) {
    const int32_t frame = scene_.CreateFrame(parent == -2 ? root_ : parent);
    scene_.SetPosition(frame, engine::scene::kNone, position);
    const glm::vec3 up = std::fabs(direction.y) > 0.9f ? glm::vec3(1, 0, 0) : glm::vec3(0, 1, 0);
    scene_.SetOrientation(frame, engine::scene::kNone, direction, up);
    scene_.AddLight(frame, light);
    return frame;
  }

  void Begin() {
    platform_.gl->BeginFrame(kBackground);
    renderer_.BeginFrame(kWidth, kHeight);
  }
  void Present() {
    platform_.gl->Present();
    ASSERT_TRUE(platform_.gl->ReadFrame(&rgb_));
  }
  // One frame of the root through the viewport.
  void Draw() {
    Begin();
    renderer_.ClearDepth(viewport_);
    renderer_.Render(scene_, root_, viewport_);
    Present();
  }
  Pixel At(int x, int y) const {
    const uint8_t* p = rgb_.data() + (static_cast<size_t>(y) * kWidth + x) * 3;
    return Pixel{p[0], p[1], p[2]};
  }
  Pixel Centre() const { return At(kWidth / 2, kHeight / 2); }

  platform::Platform platform_;
  Renderer renderer_;
  Scene scene_;
  int32_t root_ = -1, camera_ = -1;
  Viewport viewport_;
  std::vector<uint8_t> rgb_;
};

// [SECTION] Colour, axes and winding

TEST_F(RendererTest, AnUnlitFaceShowsItsColourWithXRightAndYUp) {
  Show(Square(5.0f, 2.0f, 0xFF336699u, engine::kQualityUnlitFlat));
  // A small square up and to the right of the view's centre, nearer than the big one.
  Show(Square(4.0f, 0.2f, 0xFFFF0000u, engine::kQualityUnlitFlat), {1.0f, 1.0f, 0.0f});
  Draw();
  EXPECT_TRUE(Near(Centre(), {0x33, 0x66, 0x99}));
  // x = 1, y = 1 at z = 4: field 0.5 at the front plane 1 gives 2 units of half width, 1.5 of half
  // height: pixel (80 + 40, 60 - 40).
  EXPECT_TRUE(Near(At(120, 20), {255, 0, 0}));
  EXPECT_TRUE(Near(At(40, 100), {0x33, 0x66, 0x99}));
  EXPECT_TRUE(Near(At(2, 2), kBlue));
}

TEST_F(RendererTest, FacesCounterClockwiseOnScreenShowAndTheOthersAreCulled) {
  auto front = std::make_unique<MeshBuilder>();
  front->quality = engine::kQualityUnlitFlat;
  front->AddFace(Vertex({-1, -1, 5}, 0xFFFF0000u), Vertex({1, -1, 5}, 0xFFFF0000u), Vertex({0, 1, 5}, 0xFFFF0000u));
  auto back = std::make_unique<MeshBuilder>();
  back->quality = engine::kQualityUnlitFlat;
  back->AddFace(Vertex({-1, -1, 5}, 0xFF00FF00u), Vertex({0, 1, 5}, 0xFF00FF00u), Vertex({1, -1, 5}, 0xFF00FF00u));
  const int32_t shown = Show(std::move(front), {-1.2f, 0, 0});
  const int32_t culled = Show(std::move(back), {1.2f, 0, 0});
  Draw();
  EXPECT_TRUE(Near(At(80 - 38, 60), {255, 0, 0}));
  EXPECT_TRUE(Near(At(80 + 38, 60), kBlue));

  // Turning the camera round to look at both from behind swaps them.
  scene_.SetPosition(camera_, engine::scene::kNone, {0, 0, 10});
  scene_.SetOrientation(camera_, engine::scene::kNone, {0, 0, -1}, {0, 1, 0});
  Draw();
  EXPECT_TRUE(Near(At(80 + 38, 60), kBlue));  // the first, now on the right, from behind
  EXPECT_TRUE(Near(At(80 - 38, 60), {0, 255, 0}));

  // A mirroring scale turns the winding round on screen; the mesh's front still shows.
  scene_.SetPosition(camera_, engine::scene::kNone, {0, 0, 0});
  scene_.SetOrientation(camera_, engine::scene::kNone, {0, 0, 1}, {0, 1, 0});
  scene_.At(shown).scale = {-1, 1, 1};
  scene_.At(culled).scale = {-1, 1, 1};
  Draw();
  EXPECT_TRUE(Near(At(80 - 38, 60), {255, 0, 0}));
  EXPECT_TRUE(Near(At(80 + 38, 60), kBlue));
}

// Copies of one mesh are drawn together; each keeps its own place and winding, and another mesh
// between them still draws in its turn.
TEST_F(RendererTest, CopiesOfOneMeshEachKeepTheirPlaceAndWinding) {
  const MeshBuilder* red = scene_.Own(Square(0.0f, 0.3f, 0xFFFF0000u, engine::kQualityUnlitFlat));
  const MeshBuilder* green = scene_.Own(Square(0.0f, 0.3f, 0xFF00FF00u, engine::kQualityUnlitFlat));
  const float xs[6] = {-2.0f, -1.2f, -0.4f, 0.4f, 1.2f, 2.0f};
  const MeshBuilder* shown[6] = {red, red, red, green, red, red};
  int32_t frames[6];
  for (int i = 0; i < 6; ++i) {
    frames[i] = scene_.CreateFrame(root_);
    scene_.At(frames[i]).position = {xs[i], 0.0f, 5.0f};
    scene_.At(frames[i]).meshes.push_back(shown[i]);
  }
  scene_.At(frames[1]).scale = {-1, 1, 1};                                                  // mirrored: shows
  scene_.SetOrientation(frames[2], engine::scene::kNone, {0, 0, -1}, {0, 1, 0});            // turned away
  scene_.At(frames[5]).scale = {1, 1, -1};                                                  // mirrored in depth
  Draw();
  const auto column = [](float x) { return 80 + static_cast<int>(std::lround(x * 31.7f)); };
  EXPECT_TRUE(Near(At(column(xs[0]), 60), {255, 0, 0}));
  EXPECT_TRUE(Near(At(column(xs[1]), 60), {255, 0, 0}));
  EXPECT_TRUE(Near(At(column(xs[2]), 60), kBlue));
  EXPECT_TRUE(Near(At(column(xs[3]), 60), {0, 255, 0}));
  EXPECT_TRUE(Near(At(column(xs[4]), 60), {255, 0, 0}));
  EXPECT_TRUE(Near(At(column(xs[5]), 60), kBlue));  // its front now faces away
  EXPECT_TRUE(Near(At(column(-1.6f), 60), kBlue));  // between the copies
}

// The placeholder cube of a new visual, built through the .v3d path, seen from outside: its near
// faces must hide a marker at its centre (were they culled, the marker would show through).
TEST_F(RendererTest, TheDefaultVisualCubeShowsItsOutsideFaces) {
  testing_support::TempFolder folder("vexel-renderer");
  ASSERT_TRUE(folder.ok()) << folder.error();
  ASSERT_TRUE(mkdata::WritePlaceholders(folder.path()));
  engine::TextureCache textures(folder / "data/error.bmp");
  const engine::VisualFile file = engine::LoadV3d(folder / "visuals/default_.v3d", folder.path());
  ASSERT_EQ(file.lines.size(), 1u);
  EXPECT_EQ(file.lines[0].flip, 0);
  engine::BuiltFrame built;
  engine::ElementBox box;
  engine::BuildVisualFrame(file, 1, folder.path(), &textures, &built, &box);
  ASSERT_EQ(built.parts.size(), 1u);
  ASSERT_EQ(built.parts[0].mesh.FaceCount(), 12u);

  Light ambient;
  ambient.colour = glm::vec3(1.0f);
  AddLight(ambient);
  Show(Marker(0.15f, 0xFFFF0000u), {0, 0, 3});
  const int32_t cube = scene_.CreateFrame(root_);
  scene_.At(cube).position = {0, 0, 3};
  scene_.At(cube).meshes.push_back(&built.parts[0].mesh);
  for (const glm::vec3& eye : {glm::vec3(0, 0, 0), glm::vec3(0, 0, 6), glm::vec3(3, 0, 3), glm::vec3(-3, 0, 3),
                               glm::vec3(0, 3, 3), glm::vec3(0, -3, 3)}) {
    SCOPED_TRACE(::testing::Message() << "eye " << eye.x << " " << eye.y << " " << eye.z);
    const glm::vec3 direction = glm::vec3(0, 0, 3) - eye;
    scene_.SetPosition(camera_, engine::scene::kNone, eye);
    scene_.SetOrientation(camera_, engine::scene::kNone, direction,
                          std::fabs(direction.y) > 0 ? glm::vec3(0, 0, 1) : glm::vec3(0, 1, 0));
    Draw();
    // The picture is light grey (0xC0C0C0), lit fully by the ambient light.
    EXPECT_TRUE(Near(Centre(), {0xC0, 0xC0, 0xC0}, 2));
  }

  // Built with its faces flipped, the cube shows its inside from outside: the marker shows.
  engine::VisualFile flippedFile = file;
  flippedFile.lines[0].flip = 1;
  engine::BuiltFrame flipped;
  engine::BuildVisualFrame(flippedFile, 1, folder.path(), &textures, &flipped, &box);
  scene_.At(cube).meshes = {&flipped.parts[0].mesh};
  Draw();
  EXPECT_TRUE(Near(Centre(), {255, 0, 0}));
  renderer_.ReleaseAll();
}

TEST_F(RendererTest, WireframeMeshesDrawOnlyTheirEdges) {
  Show(Square(5.0f, 1.0f, 0xFFFFFFFFu, engine::kQualityWireframe));
  Draw();
  // A line on a pixel boundary may light the pixel on either side.
  const auto lineAt = [&](int x, int y) {
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -1; dx <= 1; ++dx) {
        if (Near(At(x + dx, y + dy), {255, 255, 255})) return true;
      }
    }
    return false;
  };
  EXPECT_TRUE(lineAt(80, 60));  // the diagonal edge
  EXPECT_TRUE(lineAt(80 + 32, 60 + 8));  // the right edge, x = 1
  EXPECT_TRUE(Near(At(80 + 16, 60 + 8), kBlue));  // inside a face
}

// [SECTION] Textures

TEST_F(RendererTest, ChromeCoordinatesFollowTheViewSpaceNormal) {
  // Left half of the picture red, right half green.
  engine::Picture picture;
  picture.width = picture.height = 16;
  for (int i = 0; i < 16 * 16; ++i) {
    const bool right = i % 16 >= 8;
    picture.rgba.insert(picture.rgba.end(), {static_cast<uint8_t>(right ? 0 : 255), static_cast<uint8_t>(right ? 255 : 0), 0, 255});
  }
  auto mesh = Square(5.0f, 1.0f, 0xFFFFFFFFu, engine::kQualityUnlitFlat);
  for (MeshVertex& v : mesh->Vertices()) v.normal = glm::vec3(0.6f, 0.0f, -0.8f);  // u = 0.8
  mesh->texture = &picture;
  mesh->chromeWraps.push_back(engine::Wrap{engine::WrapType::kChrome});
  const int32_t frame = Show(std::move(mesh));
  Draw();
  EXPECT_TRUE(Near(Centre(), {0, 255, 0}, 2));
  // Turning the object turns its normals: facing left in view space, the left half shows.
  scene_.At(frame).orientation = glm::mat3(glm::vec3(-1, 0, 0), glm::vec3(0, 1, 0), glm::vec3(0, 0, 1));
  scene_.At(frame).scale = {1, 1, 1};
  Draw();
  EXPECT_TRUE(Near(Centre(), {255, 0, 0}, 2));
  renderer_.ReleaseAll();
}

// [SECTION] Lights

TEST_F(RendererTest, AmbientAndDirectionalLightsGiveTheHandComputedColour) {
  Light ambient;
  ambient.colour = glm::vec3(0.2f);
  AddLight(ambient);
  Light directional;
  directional.type = engine::scene::kLightDirectional;
  directional.colour = glm::vec3(0.5f);
  // 60 degrees off the face's normal: n.L = 0.5.
  AddLight(directional, {}, {std::sin(60 * kDegree), 0, std::cos(60 * kDegree)});
  Show(Square(5.0f, 2.0f, 0xFFC08040u, engine::kQualityGouraud));
  Draw();
  // 0.2 + 0.5 x 0.5 = 0.45 of (192, 128, 64).
  EXPECT_TRUE(Near(Centre(), {86, 58, 29}, 2));

  // The sum is capped at 1 per channel before it scales the colour.
  scene_.LightAt(0).colour = glm::vec3(0.9f, 0.2f, 0.9f);
  Draw();
  EXPECT_TRUE(Near(Centre(), {192, 58, 64}, 2));
}

TEST_F(RendererTest, ANonUniformlyScaledTiltedFaceIsLitAlongItsTrueNormal) {
  // A square leaning back 45 degrees about x, stretched 3 times along z by its frame: on screen its
  // normal leans by atan(1/3) only. The light comes straight from the camera.
  auto mesh = std::make_unique<MeshBuilder>();
  const float s = std::sqrt(0.5f);
  const glm::vec3 n(0, s, -s);
  mesh->AddFace(Vertex({-1, -s, -s}, 0xFFFFFFFFu, n), Vertex({1, -s, -s}, 0xFFFFFFFFu, n),
                Vertex({1, s, s}, 0xFFFFFFFFu, n));
  mesh->AddFace(Vertex({-1, -s, -s}, 0xFFFFFFFFu, n), Vertex({1, s, s}, 0xFFFFFFFFu, n),
                Vertex({-1, s, s}, 0xFFFFFFFFu, n));
  const int32_t frame = Show(std::move(mesh), {0, 0, 8});
  scene_.At(frame).scale = {1, 1, 3};
  Light directional;
  directional.type = engine::scene::kLightDirectional;
  AddLight(directional);
  Draw();
  // The face's edges after scaling: (2, 0, 0) and (0, 2s, 6s); the normal is their cross product.
  const glm::vec3 trueNormal = glm::normalize(glm::cross(glm::vec3(0, 2 * s, 6 * s), glm::vec3(2, 0, 0)));
  const int expected = static_cast<int>(std::lround(255.0f * std::fabs(trueNormal.z)));
  EXPECT_TRUE(Near(Centre(), {expected, expected, expected}, 2));
}

// A light on the axis of a square, 2 units in front of it: every corner is sqrt(6) away and sees
// it at n.L = 2 / sqrt(6), so the face is evenly lit.
class LightOnAxis : public RendererTest {
 protected:
  void SetUp() override {
    RendererTest::SetUp();
    Show(Square(5.0f, 1.0f, 0xFFFFFFFFu, engine::kQualityGouraud));
  }
  static constexpr float kDistance = 2.449490f;
  static constexpr float kCosine = 2.0f / kDistance;
  static constexpr int kCornerAngleDegrees = 35;  // atan(sqrt(2) / 2) = 35.26 degrees
};

TEST_F(LightOnAxis, APointLightFadesWithDistanceAndStopsAtItsRange) {
  Light point;
  point.type = engine::scene::kLightPoint;
  point.linear = 0.5f;
  const int32_t frame = AddLight(point, {0, 0, 3});
  Draw();
  const int expected = static_cast<int>(std::lround(255.0f * kCosine / (0.5f * kDistance)));  // 170
  EXPECT_TRUE(Near(Centre(), {expected, expected, expected}, 2));

  scene_.LightAt(scene_.At(frame).light).linear = 0.0f;  // no fading at all
  Draw();
  EXPECT_TRUE(Near(Centre(), {208, 208, 208}, 2));

  scene_.LightAt(scene_.At(frame).light).range = 2.0f;  // the corners are beyond it
  Draw();
  EXPECT_TRUE(Near(Centre(), {0, 0, 0}, 1));
}

TEST_F(LightOnAxis, ASpotIsFullInsideItsUmbraAndFadesToItsPenumbra) {
  Light spot;
  spot.type = engine::scene::kLightSpot;
  spot.linear = 0.0f;
  spot.umbra = 2 * 20 * kDegree;
  spot.penumbra = 2 * 50 * kDegree;
  const int32_t frame = AddLight(spot, {0, 0, 3}, {0, 0, 1});
  Light& light = scene_.LightAt(scene_.At(frame).light);
  Draw();
  const float corner = std::atan(std::sqrt(2.0f) / 2.0f);
  const float fade = (50 * kDegree - corner) / (30 * kDegree);
  const int expected = static_cast<int>(std::lround(255.0f * kCosine * fade));  // 102
  EXPECT_TRUE(Near(Centre(), {expected, expected, expected}, 2));

  light.umbra = 2 * 40 * kDegree;
  Draw();
  EXPECT_TRUE(Near(Centre(), {208, 208, 208}, 2));

  light.umbra = 2 * 20 * kDegree;
  light.penumbra = 2 * 30 * kDegree;
  Draw();
  EXPECT_TRUE(Near(Centre(), {0, 0, 0}, 1));
}

TEST_F(LightOnAxis, AParallelPointLightShinesFromTheObjectsOriginOnEveryVertex) {
  Light parallel;
  parallel.type = engine::scene::kLightParallelPoint;
  parallel.linear = 0.25f;
  // 5 units from the square's frame origin, towards the camera: n.L = 1 for the whole object and
  // a = 1 / (0.25 x 5) = 0.8, though the corners are nearer the light than that.
  AddLight(parallel, {0, 0, -5});
  Draw();
  EXPECT_TRUE(Near(Centre(), {204, 204, 204}, 2));
  EXPECT_TRUE(Near(At(80 + 18, 60 + 18), {204, 204, 204}, 2));
}

// Each copy of a mesh takes the light's direction and fading from its own origin.
TEST_F(RendererTest, AParallelPointLightLightsEachCopyOfAMeshFromItsOwnOrigin) {
  const MeshBuilder* square = scene_.Own(Square(0.0f, 0.3f, 0xFFFFFFFFu, engine::kQualityGouraud));
  for (const float x : {-1.0f, 1.0f}) {
    const int32_t frame = scene_.CreateFrame(root_);
    scene_.At(frame).position = {x, 0.0f, 5.0f};
    scene_.At(frame).meshes.push_back(square);
  }
  Light parallel;
  parallel.type = engine::scene::kLightParallelPoint;
  parallel.linear = 0.25f;
  AddLight(parallel, {-1, 0, 0});
  Draw();
  // The left copy: 5 units straight ahead of the light, n.L = 1, a = 0.8. The right: sqrt(29)
  // away at n.L = 5 / sqrt(29).
  const float distance = std::sqrt(29.0f);
  const int right = static_cast<int>(std::lround(255.0f * (5.0f / distance) / (0.25f * distance)));  // 176
  EXPECT_TRUE(Near(At(80 - 32, 60), {204, 204, 204}, 2));
  EXPECT_TRUE(Near(At(80 + 32, 60), {right, right, right}, 2));
}

TEST_F(LightOnAxis, HiddenLightsAndLightsOfOtherTreesLightNothing) {
  Light directional;
  directional.type = engine::scene::kLightDirectional;
  const int32_t hiddenParent = scene_.CreateFrame(root_);
  scene_.At(hiddenParent).traversal = engine::scene::kTraversalHidden;
  const int32_t inHidden = AddLight(directional, {}, {0, 0, 1}, hiddenParent);
  const int32_t otherRoot = scene_.CreateFrame(engine::scene::kNone);
  AddLight(directional, {}, {0, 0, 1}, otherRoot);
  Draw();
  EXPECT_TRUE(Near(Centre(), {0, 0, 0}));

  scene_.At(hiddenParent).traversal = engine::scene::kTraversalShown;
  Draw();
  EXPECT_TRUE(Near(Centre(), {255, 255, 255}));
  scene_.At(inHidden).traversal = engine::scene::kTraversalHidden;
  Draw();
  EXPECT_TRUE(Near(Centre(), {0, 0, 0}));
}

TEST_F(LightOnAxis, MetalAddsAHighlightOverTheLitColour) {
  scene_.At(2).meshes.clear();
  auto mesh = Square(5.0f, 1.0f, 0xFF404040u, engine::kQualityGouraud);
  mesh->specularPower = 5.0f;
  Show(std::move(mesh));
  Light directional;
  directional.type = engine::scene::kLightDirectional;
  directional.colour = glm::vec3(0.5f);
  AddLight(directional);
  Draw();
  // The light comes from the camera (n.L = 1); at each corner the half vector leans from the
  // normal towards the eye.
  const glm::vec3 toEye = glm::normalize(-glm::vec3(1, 1, 5));
  const float nh = glm::normalize(glm::vec3(0, 0, -1) + toEye).z * -1.0f;
  const int expected = static_cast<int>(std::lround(64 * 0.5f + 255 * 0.5f * std::pow(nh, 5.0f)));
  EXPECT_TRUE(Near(Centre(), {expected, expected, expected}, 2));
}

// [SECTION] Fog, decals, translucency

TEST_F(RendererTest, LinearFogIsHalfwayInTheMiddleOfItsRange) {
  Show(Square(25.0f, 5.0f, 0xFFFFFFFFu, engine::kQualityUnlitFlat));
  engine::scene::SceneSettings& settings = scene_.At(root_).settings;
  settings.fogEnabled = true;
  settings.fogStart = 20.0f;
  settings.fogEnd = 30.0f;
  settings.fogColour = glm::vec3(0.0f, 1.0f, 0.0f);
  Draw();
  EXPECT_TRUE(Near(Centre(), {128, 255, 128}, 2));
  settings.fogEnd = 24.0f;  // beyond the end: all fog
  Draw();
  EXPECT_TRUE(Near(Centre(), {0, 255, 0}, 1));
}

TEST_F(RendererTest, ADecalFacesTheCameraAndDropsBlackTexelsWhenTransparent) {
  // 8 x 8: the left half black, the right half red.
  engine::Picture picture;
  picture.width = picture.height = 8;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const uint8_t red = x < 4 ? 0 : 255;
      picture.rgba.insert(picture.rgba.end(), {red, 0, 0, 255});
    }
  }
  const int32_t frame = scene_.CreateFrame(root_);
  scene_.At(frame).position = {0, 0, 5};
  // Turned away from the camera: a decal still faces it.
  scene_.SetOrientation(frame, root_, {1, 0, 0}, {0, 1, 0});
  scene_.At(frame).decal = engine::scene::Decal{&picture, {2.0f, 2.0f}, true};
  Draw();
  EXPECT_TRUE(Near(At(80 - 16, 60), kBlue));
  EXPECT_TRUE(Near(At(80 + 16, 60), {255, 0, 0}));
  EXPECT_TRUE(Near(At(80 + 40, 60), kBlue));  // past its right edge (2 units wide: 32 pixels each way)

  scene_.At(frame).decal->transparency = false;
  Draw();
  EXPECT_TRUE(Near(At(80 - 16, 60), {0, 0, 0}));
  renderer_.Forget(&picture);
}

TEST_F(RendererTest, TranslucentFacesBlendBackToFrontOverOpaqueOnes) {
  // Made nearest first, so tree order is the wrong order for blending.
  Show(Square(0.0f, 1.0f, 0x8000FF00u, engine::kQualityUnlitFlat), {-0.5f, 0, 4});
  Show(Square(0.0f, 1.0f, 0x800000FFu, engine::kQualityUnlitFlat), {-0.5f, 0, 5});
  Show(Square(6.0f, 3.0f, 0xFFFF0000u, engine::kQualityUnlitFlat));
  Draw();
  // Far to near: red, then blue at 128/255, then green at 128/255.
  const float a = 128.0f / 255.0f;
  const float r = 255.0f * (1 - a) * (1 - a), g = 255.0f * a, b = 255.0f * a * (1 - a);
  EXPECT_TRUE(Near(At(80 - 10, 60), {int(r), int(g), int(b)}, 2));
  // Where only the red one is.
  EXPECT_TRUE(Near(At(80 + 30, 60), {255, 0, 0}));
}

TEST_F(RendererTest, BackToFrontSortingDrawsOpaqueObjectsFarFirst) {
  // Two squares at the same depth: the z-buffer keeps the one drawn first. The green one comes
  // first in the tree, but its frame's origin is nearer the camera.
  Show(Square(7.0f, 1.0f, 0xFF00FF00u, engine::kQualityUnlitFlat), {0, 0, -1});
  Show(Square(5.0f, 1.0f, 0xFFFF0000u, engine::kQualityUnlitFlat), {0, 0, 1});
  Draw();
  EXPECT_TRUE(Near(Centre(), {0, 255, 0}));
  scene_.At(root_).settings.sortMode = engine::scene::kSortBackToFront;
  Draw();
  EXPECT_TRUE(Near(Centre(), {255, 0, 0}));
}

// [SECTION] Viewports and the back surface

TEST_F(RendererTest, AViewportDrawsOnlyInsideItsRectangle) {
  Show(Square(5.0f, 50.0f, 0xFFFFFFFFu, engine::kQualityUnlitFlat));
  viewport_.x = 40;
  viewport_.y = 30;
  viewport_.width = 40;
  viewport_.height = 20;
  Draw();
  const Pixel white{255, 255, 255};
  EXPECT_TRUE(Near(At(40, 30), white));
  EXPECT_TRUE(Near(At(79, 49), white));
  EXPECT_TRUE(Near(At(39, 30), kBlue));
  EXPECT_TRUE(Near(At(40, 29), kBlue));
  EXPECT_TRUE(Near(At(80, 49), kBlue));
  EXPECT_TRUE(Near(At(79, 50), kBlue));
}

TEST_F(RendererTest, TheBackSurfaceFillsTheFrameExactlyAndThreeDCoversIt) {
  // 16 bits, rows padded by 6 bytes: every 5-bit red and 6-bit green value, blue along y.
  const int pitch16 = kWidth * 2 + 6;
  std::vector<uint8_t> surface16(static_cast<size_t>(pitch16) * kHeight, 0xEE);
  const auto value16 = [](int x, int y) { return static_cast<uint16_t>((x % 32) << 11 | (x % 64) << 5 | (y % 32)); };
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const uint16_t v = value16(x, y);
      surface16[static_cast<size_t>(y) * pitch16 + x * 2] = static_cast<uint8_t>(v & 0xFF);
      surface16[static_cast<size_t>(y) * pitch16 + x * 2 + 1] = static_cast<uint8_t>(v >> 8);
    }
  }
  const auto expand = [](int value, int max) { return static_cast<int>(std::lround(value * 255.0 / max)); };
  Begin();
  renderer_.DrawSurface(surface16.data(), 16, pitch16, kWidth, kHeight);
  Present();
  int wrong = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const uint16_t v = value16(x, y);
      const bool ok = Near(At(x, y), {expand(v >> 11, 31), expand((v >> 5) & 63, 63), expand(v & 31, 31)});
      wrong += !ok;
    }
  }
  EXPECT_EQ(wrong, 0);

  // 32 bits 0x00RRGGBB with a pitch that is not a whole number of pixels.
  const int pitch32 = kWidth * 4 + 3;
  std::vector<uint8_t> surface32(static_cast<size_t>(pitch32) * kHeight, 0x77);
  const auto value32 = [](int x, int y) { return static_cast<uint32_t>(x << 16 | y << 8 | (x ^ y)) & 0xFFFFFF; };
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const uint32_t v = value32(x, y);
      for (int i = 0; i < 4; ++i) surface32[static_cast<size_t>(y) * pitch32 + x * 4 + i] = (v >> (8 * i)) & 0xFF;
    }
  }
  Show(Square(5.0f, 0.5f, 0xFFFFFFFFu, engine::kQualityUnlitFlat));
  Begin();
  renderer_.DrawSurface(surface32.data(), 32, pitch32, kWidth, kHeight);
  renderer_.Render(scene_, root_, viewport_);
  Present();
  wrong = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; x += 3) {
      if (std::abs(x - 80) < 20 && std::abs(y - 60) < 20) continue;  // under the square
      const uint32_t v = value32(x, y);
      wrong += !Near(At(x, y), {int(v >> 16), int((v >> 8) & 0xFF), int(v & 0xFF)});
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_TRUE(Near(Centre(), {255, 255, 255}));

  // Unusable surfaces draw nothing and still clear the depth.
  Begin();
  renderer_.DrawSurface(nullptr, 16, pitch16, kWidth, kHeight);
  renderer_.DrawSurface(surface16.data(), 24, pitch16, kWidth, kHeight);
  renderer_.DrawSurface(surface16.data(), 16, kWidth, kWidth, kHeight);  // pitch too short
  renderer_.Render(scene_, root_, viewport_);
  Present();
  EXPECT_TRUE(Near(At(0, 0), kBlue));
  EXPECT_TRUE(Near(Centre(), {255, 255, 255}));
}

// A surface drawn again shows exactly what it holds now: a changed pixel in any row, a change
// undone, and the same bytes after the renderer was reopened.
TEST_F(RendererTest, TheBackSurfaceShowsEveryChangeBetweenFrames) {
  const int pitch = kWidth * 2;
  std::vector<uint8_t> surface(static_cast<size_t>(pitch) * kHeight);
  for (size_t i = 0; i < surface.size(); i += 2) surface[i + 1] = 0xF8;  // red 5-6-5: 0xF800
  const auto set = [&](int x, int y, uint16_t v) {
    surface[static_cast<size_t>(y) * pitch + x * 2] = static_cast<uint8_t>(v & 0xFF);
    surface[static_cast<size_t>(y) * pitch + x * 2 + 1] = static_cast<uint8_t>(v >> 8);
  };
  const auto draw = [&] {
    Begin();
    renderer_.DrawSurface(surface.data(), 16, pitch, kWidth, kHeight);
    Present();
  };
  draw();
  EXPECT_TRUE(Near(At(5, 5), {255, 0, 0}));

  set(0, 0, 0x001F);                    // the first row
  set(70, 61, 0x07E0);                  // a middle one
  set(kWidth - 1, kHeight - 1, 0xFFFF);  // the last
  draw();
  EXPECT_TRUE(Near(At(0, 0), {0, 0, 255}));
  EXPECT_TRUE(Near(At(70, 61), {0, 255, 0}));
  EXPECT_TRUE(Near(At(kWidth - 1, kHeight - 1), {255, 255, 255}));
  EXPECT_TRUE(Near(At(71, 61), {255, 0, 0}));
  EXPECT_TRUE(Near(At(70, 60), {255, 0, 0}));

  set(70, 61, 0xF800);  // the middle change undone, the others kept
  draw();
  EXPECT_TRUE(Near(At(70, 61), {255, 0, 0}));
  EXPECT_TRUE(Near(At(0, 0), {0, 0, 255}));
  EXPECT_TRUE(Near(At(kWidth - 1, kHeight - 1), {255, 255, 255}));

  // The same bytes read as half as many 32-bit pixels are another picture altogether.
  Begin();
  renderer_.DrawSurface(surface.data(), 32, pitch, kWidth / 2, kHeight);
  Present();
  EXPECT_TRUE(Near(At(41, 30), {0, 0xF8, 0}));  // bytes 00 F8 00 F8 are 0x00RRGGBB (0, 248, 0), two pixels wide

  renderer_.Close();
  std::string error;
  ASSERT_TRUE(renderer_.Open(&error)) << error;
  draw();
  EXPECT_TRUE(Near(At(5, 5), {255, 0, 0}));
  EXPECT_TRUE(Near(At(0, 0), {0, 0, 255}));
}

// [SECTION] GL objects

TEST_F(RendererTest, GlObjectsReturnToTheirCountAfterReleaseAndCloseDeletesAll) {
  const size_t opened = renderer_.LiveObjects();
  EXPECT_GT(opened, 0u);
  engine::Picture picture;
  picture.width = picture.height = 2;
  picture.rgba.assign(16, 200);
  auto textured = Square(5.0f, 1.0f, 0xFFFFFFFFu, engine::kQualityGouraud);
  textured->texture = &picture;
  const MeshBuilder* mesh = scene_.Own(std::move(textured));
  const int32_t frame = scene_.CreateFrame(root_);
  scene_.At(frame).meshes = {mesh, mesh};
  scene_.At(frame).decal = engine::scene::Decal{&picture, {1, 1}, true};
  Draw();
  Draw();
  EXPECT_EQ(renderer_.LiveObjects(), opened + 4);  // a vertex array, two buffers, a texture
  renderer_.Forget(mesh);
  EXPECT_EQ(renderer_.LiveObjects(), opened + 1);
  Draw();
  renderer_.ReleaseAll();
  EXPECT_EQ(renderer_.LiveObjects(), opened);
  renderer_.Close();
  EXPECT_EQ(renderer_.LiveObjects(), 0u);
  EXPECT_FALSE(renderer_.IsOpen());
  std::string error;
  ASSERT_TRUE(renderer_.Open(&error)) << error;
  EXPECT_EQ(renderer_.LiveObjects(), opened);
}

TEST(RendererWithoutContext, OpenFailsWithAMessageAndCloseIsSafe) {
  engine::scene::Renderer renderer;
  std::string error;
  EXPECT_FALSE(renderer.Open(&error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(renderer.IsOpen());
  renderer.Close();
  EXPECT_EQ(renderer.LiveObjects(), 0u);
}

}  // namespace
