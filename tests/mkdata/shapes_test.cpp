// The procedural meshes: closed where they should be, every face turned outwards (a face turned
// the wrong way is culled and leaves a hole), the ground facing up; and the files the engine's
// reader takes.
#include "mkdata/shapes.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <utility>

#include "engine/visuals/model_3ds.h"

namespace {

using mkdata::Mesh;
using Vec = std::array<double, 3>;

Vec At(const Mesh& mesh, uint16_t i) { return {mesh.xyz[i * 3u], mesh.xyz[i * 3u + 1], mesh.xyz[i * 3u + 2]}; }

// Every edge is met once in each direction: the surface has no hole and no face turned against
// its neighbours.
::testing::AssertionResult Closed(const Mesh& mesh) {
  std::map<std::pair<uint16_t, uint16_t>, int> edges;
  for (size_t f = 0; f + 3 <= mesh.corners.size(); f += 3) {
    for (size_t k = 0; k < 3; ++k) ++edges[{mesh.corners[f + k], mesh.corners[f + (k + 1) % 3]}];
  }
  for (const auto& [edge, count] : edges) {
    const auto back = edges.find({edge.second, edge.first});
    if (count != 1 || back == edges.end() || back->second != 1) {
      return ::testing::AssertionFailure() << "edge " << edge.first << "-" << edge.second << " met " << count << " times";
    }
  }
  return ::testing::AssertionSuccess();
}

// Six times the enclosed volume (divergence theorem): positive when the faces turn outwards.
double SignedVolume(const Mesh& mesh) {
  double sum = 0;
  for (size_t f = 0; f + 3 <= mesh.corners.size(); f += 3) {
    const Vec a = At(mesh, mesh.corners[f]), b = At(mesh, mesh.corners[f + 1]), c = At(mesh, mesh.corners[f + 2]);
    sum += a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) + a[2] * (b[0] * c[1] - b[1] * c[0]);
  }
  return sum;
}

TEST(Shapes, SolidsAreClosedAndFaceOutwards) {
  const std::pair<const char*, Mesh> solids[] = {
      {"ring", mkdata::RingMesh(0.9f, 0.14f, 20, 8)}, {"dart", mkdata::DartMesh()},
      {"boulder", mkdata::BoulderMesh(1.2f, 7)},      {"cone", mkdata::ConeMesh(1.3f, 0.8f, 3.2f, 10)},
      {"cylinder", mkdata::CylinderMesh(0.22f, 0.0f, 0.9f, 6)}};
  for (const auto& [name, mesh] : solids) {
    SCOPED_TRACE(name);
    ASSERT_FALSE(mesh.corners.empty());
    EXPECT_TRUE(Closed(mesh));
    EXPECT_GT(SignedVolume(mesh), 0.0);
  }
}

TEST(Shapes, TheGroundFacesUpEverywhereAndFollowsItsHeights) {
  const Mesh ground = mkdata::TerrainMesh(4, 6, 4, 3, [](float x, float y) { return x * 0.5f + y; });
  ASSERT_EQ(ground.corners.size(), 4u * 3u * 2u * 3u);
  for (size_t f = 0; f + 3 <= ground.corners.size(); f += 3) {
    const Vec a = At(ground, ground.corners[f]), b = At(ground, ground.corners[f + 1]), c = At(ground, ground.corners[f + 2]);
    const double up = (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
    EXPECT_GT(up, 0.0) << "face " << f / 3;
  }
  for (size_t v = 0; v < ground.xyz.size(); v += 3) {
    EXPECT_FLOAT_EQ(ground.xyz[v + 2], ground.xyz[v] * 0.5f + ground.xyz[v + 1]);
  }
  EXPECT_FLOAT_EQ(ground.xyz[0], -4.0f);
  EXPECT_FLOAT_EQ(ground.xyz[1], -6.0f);
}

TEST(Shapes, TheFilesAreModelsToTheEnginesReader) {
  const Mesh dart = mkdata::DartMesh();
  const mkdata::Bytes file = mkdata::MeshFile("dart", dart);
  engine::Model3ds model;
  ASSERT_TRUE(engine::Parse3ds(std::string_view(reinterpret_cast<const char*>(file.data()), file.size()), &model));
  EXPECT_EQ(model.faces.size(), dart.corners.size() / 3);
}

}  // namespace
