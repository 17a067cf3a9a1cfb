// .v3d visuals and the mesh builder: part lines and their fallbacks, face views, wraps, normals,
// morphing, the element box, colours and qualities per mode, and shared textures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include <glm/geometric.hpp>
#include <glm/trigonometric.hpp>

#include "core/core.h"
#include "engine/engine.h"
#include "support/temp_folder.h"

namespace {

using engine::BuiltFrame;
using engine::MeshFace;
using engine::PartLine;
using engine::Wrap;
using engine::WrapType;

// [SECTION] Helpers

void Put16(std::string* out, uint16_t v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>(v >> 8));
}
void Put32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
std::string Chunk(uint16_t id, const std::string& body) {
  std::string out;
  Put16(&out, id);
  Put32(&out, static_cast<uint32_t>(body.size() + 6));
  return out + body;
}

// A one-object .3ds file; vertices in the file's own (x, y, z).
std::string Make3ds(const std::vector<glm::vec3>& vertices, const std::vector<std::array<uint16_t, 3>>& faces) {
  std::string list;
  Put16(&list, static_cast<uint16_t>(vertices.size()));
  for (const glm::vec3& v : vertices) {
    for (int i = 0; i < 3; ++i) {
      uint32_t bits = 0;
      std::memcpy(&bits, &v[i], 4);
      Put32(&list, bits);
    }
  }
  std::string faceList;
  Put16(&faceList, static_cast<uint16_t>(faces.size()));
  for (const auto& f : faces) {
    for (uint16_t index : f) Put16(&faceList, index);
    Put16(&faceList, 0);
  }
  const std::string object = Chunk(0x4100, Chunk(0x4110, list) + Chunk(0x4120, faceList));
  return Chunk(0x4D4D, Chunk(0x3D3D, Chunk(0x4000, std::string("obj", 4) + object)));
}

// A project root with the default model (one triangle at z = 7) and files written on demand.
struct Project {
  testing_support::TempFolder folder{"vexel-visuals"};
  std::string root = folder.path();
  engine::TextureCache textures{folder / "data/error-missing.bmp"};

  Project() {
    Write("3dsfiles/default_.3ds", Make3ds({{0, 0, 7}, {1, 0, 7}, {0, 1, 7}}, {{{0, 1, 2}}}));
  }
  void Write(const std::string& name, const std::string& bytes) const {
    const std::string path = folder / name;
    ASSERT_TRUE(core::MakeFolders(path.substr(0, path.rfind('/'))));
    ASSERT_TRUE(core::WriteFileAtomic(path, bytes));
  }
  BuiltFrame Build(const std::string& v3d, int32_t frame = 1, engine::ElementBox* box = nullptr) {
    BuiltFrame built;
    engine::ElementBox local;
    engine::BuildVisualFrame(engine::ParseV3d(v3d, root), frame, root, &textures, &built, box ? box : &local);
    return built;
  }
};

// A part line with the given fields changed from the new part line (fields numbered from 1).
std::string Line(std::initializer_list<std::pair<int, std::string>> changes, int frame = 1) {
  std::vector<std::string> fields = {std::to_string(frame)};
  std::string rest(engine::kNewPartLine);
  size_t at = 0;
  for (;;) {
    const size_t bar = rest.find('|', at);
    fields.push_back(rest.substr(at, bar == std::string::npos ? std::string::npos : bar - at));
    if (bar == std::string::npos) break;
    at = bar + 1;
  }
  for (const auto& [number, value] : changes) fields[number - 1] = value;
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) line += (i ? "|" : "") + fields[i];
  return line + "\r\n";
}

MeshFace Face(glm::vec3 a, glm::vec3 b, glm::vec3 c) { return MeshFace{{a, b, c}}; }

MeshFace Flipped(MeshFace face) {
  std::swap(face.v[1], face.v[2]);
  return face;
}

void ExpectNear(glm::vec3 a, glm::vec3 b, float tolerance = 1e-5f) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

// [SECTION] Part lines

TEST(PartLines, FramesAreCountedWhereTheNumberChanges) {
  const std::string root = "/r/";
  const engine::VisualFile file =
      engine::ParseV3d(Line({{3, "./a.3ds"}}, 1) + Line({{3, "./b.3ds"}}, 1) + Line({{3, "./c.3ds"}}, 2) +
                           Line({{3, "./d.3ds"}}, 1),
                       root);
  ASSERT_EQ(file.lines.size(), 4u);
  EXPECT_EQ(file.frames, 3);  // 1, 2, then 1 again counts once more
  int32_t parts = 0;
  const PartLine* third = engine::ReadPartLine(file, 1, 3, &parts);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->source, "/r/d.3ds");
  EXPECT_EQ(parts, 3);
  EXPECT_EQ(engine::ReadPartLine(file, 1, 4, &parts), nullptr);
  EXPECT_EQ(engine::ReadPartLine(file, 2, 2, &parts), nullptr);
  EXPECT_EQ(parts, 1);
  EXPECT_EQ(engine::ReadPartLine(file, 5, 1, &parts), nullptr);
  EXPECT_EQ(parts, 0);
  EXPECT_EQ(engine::ReadPartLine(file, 1, 0), nullptr);
}

TEST(PartLines, LineEndsAndBlankLines) {
  const std::string crlf = Line({{4, "0"}}, 1) + Line({{4, "2"}}, 2);
  std::string lf = crlf;
  for (size_t at; (at = lf.find('\r')) != std::string::npos;) lf.erase(at, 1);
  const std::string unterminated = lf.substr(0, lf.size() - 1);
  const std::string blank = Line({{4, "0"}}, 1) + " \r\n\r\n" + Line({{4, "2"}}, 2);
  for (const std::string& text : {crlf, lf, unterminated, blank}) {
    const engine::VisualFile file = engine::ParseV3d(text, "/r/");
    ASSERT_EQ(file.lines.size(), 2u) << text;
    EXPECT_EQ(file.frames, 2);
    EXPECT_EQ(file.lines[0].mode, 0);
    EXPECT_EQ(file.lines[1].mode, 2);
    EXPECT_EQ(file.lines[1].morphing, 0);  // the last field read whole, without its line end
  }
}

TEST(PartLines, EachMissingOrBadFieldTakesTheNewPartValue) {
  const std::string root = "/r/";
  // A bare frame number: every field from the new part line, paths under the root.
  const PartLine bare = engine::ParseV3d("4\r\n", root).lines.at(0);
  EXPECT_EQ(bare.frame, 4);
  EXPECT_EQ(bare.texture, "/r/images/default_.bmp");
  EXPECT_EQ(bare.source, "/r/visuals/default_.3ds");
  EXPECT_EQ(bare.target, "/r/visuals/default_.3ds");
  EXPECT_EQ(bare.mode, 1);
  EXPECT_EQ(bare.quality, 3);
  EXPECT_EQ(bare.textureScale, 25000);
  EXPECT_EQ(bare.red, 255);
  EXPECT_EQ(bare.green, 255);
  EXPECT_EQ(bare.blue, 255);
  EXPECT_EQ(bare.direction, 1);
  EXPECT_EQ(bare.morphing, 0);

  // Empty fields and words where numbers belong.
  const PartLine empty = engine::ParseV3d("1|||||||||||||||||||||||||||||||", root).lines.at(0);
  EXPECT_EQ(empty.source, "/r/visuals/default_.3ds");
  EXPECT_EQ(empty.textureScale, 25000);
  EXPECT_EQ(empty.blue, 255);
  EXPECT_EQ(empty.direction, 1);
  const PartLine words = engine::ParseV3d(Line({{12, "big"}, {25, "red"}}), root).lines.at(0);
  EXPECT_EQ(words.textureScale, 25000);
  EXPECT_EQ(words.red, 255);

  // Out of range: the new part line's value; morphing held to 0..100; in range kept.
  const auto read = [&](std::initializer_list<std::pair<int, std::string>> changes) {
    return engine::ParseV3d(Line(changes), root).lines.at(0);
  };
  const PartLine high = read({{4, "6"}, {5, "4"}, {29, "7"}, {31, "150"}});
  EXPECT_EQ(high.mode, 1);
  EXPECT_EQ(high.quality, 3);
  EXPECT_EQ(high.direction, 1);
  EXPECT_EQ(high.morphing, 100);
  const PartLine low = read({{4, "-1"}, {5, "-1"}, {29, "0"}, {31, "-5"}});
  EXPECT_EQ(low.mode, 1);
  EXPECT_EQ(low.quality, 3);
  EXPECT_EQ(low.direction, 1);
  EXPECT_EQ(low.morphing, 0);
  const PartLine edges = read({{4, "5"}, {5, "0"}, {29, "6"}, {31, "100"}, {13, "-40"}, {24, "99999999999"}});
  EXPECT_EQ(edges.mode, 5);
  EXPECT_EQ(edges.quality, 0);
  EXPECT_EQ(edges.direction, 6);
  EXPECT_EQ(edges.morphing, 100);
  EXPECT_EQ(edges.offsets[0], -40);
  EXPECT_EQ(edges.offsets[11], INT32_MAX);
}

TEST(PartLines, PathsAreNormalisedAsRead) {
  const std::string root = "/r/";
  const PartLine line = engine::ParseV3d(
      Line({{2, ".\\images\\sub\\t.bmp"}, {3, "./3dsfiles/x/../a.3ds"}, {30, "..\\up.3ds"}}), root).lines.at(0);
  EXPECT_EQ(line.texture, "/r/images/sub/t.bmp");
  EXPECT_EQ(line.source, "/r/3dsfiles/a.3ds");
  EXPECT_EQ(line.target, "../up.3ds");  // only a leading "./" is the root
}

TEST(PartLines, MissingFileReadsTheDefaultVisual) {
  Project project;
  project.Write("visuals/default_.v3d", Line({{4, "0"}}, 1) + Line({{4, "0"}}, 2));
  const engine::VisualFile file = engine::LoadV3d(project.folder / "visuals/none.v3d", project.root);
  EXPECT_EQ(file.path, project.folder / "visuals/default_.v3d");
  EXPECT_EQ(file.frames, 2);
}

// [SECTION] Face views

TEST(FaceViews, EachAxisAndSideAndTheFlip) {
  struct Case {
    MeshFace face;
    int32_t view;
  };
  const Case cases[] = {
      {Face({0, 0, 0}, {0, 1, 0}, {0, 0, 1}), 2},          // x axis, negative winding in (z, y): RIGHT
      {Face({0, 0, 0}, {1, 0, 0}, {0, 0, 1}), 6},          // y axis, positive in (x, z): BOTTOM
      {Face({0, 0, 0}, {1, 0, 0}, {0, 1, 0}), 3},          // z axis, positive in (x, y): FRONT
      {Face({1, 0, 0}, {0, 1, 0}, {0, 0, 1}), 3},          // all three equal: z
      {Face({0, 0, 0}, {0, 0, 1}, {1, -1, 0}), 5},         // x and y equal, z smaller: y
      {Face({5, 3e6f, -2e6f}, {5, 3e6f, 2e6f}, {5, -3e6f, -2e6f}), 2},  // past 32 bits in mm
  };
  const int32_t opposite[7] = {0, 3, 4, 1, 2, 6, 5};
  for (const Case& c : cases) {
    EXPECT_EQ(engine::FaceView(c.face), c.view) << c.face.v[1].x << " " << c.face.v[2].y;
    EXPECT_EQ(engine::FaceView(Flipped(c.face)), opposite[c.view]);
  }
  // Below a millimetre every product is 0: the z test wins and the winding is not negative.
  EXPECT_EQ(engine::FaceView(Face({0, 0, 0}, {0.0004f, 0, 0}, {0, 0.0004f, 0})), 3);
}

TEST(FaceViews, SixViewsCountFacesPerViewAndFlatProjectionUsesTheDirection) {
  Project project;
  // A cube's worth of faces: one per side plus a second FRONT one; stored (x, z, y).
  const std::vector<glm::vec3> v = {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 1, 0}, {1, 0, 1}};
  project.Write("3dsfiles/m.3ds", Make3ds(v, {{{0, 1, 2}}, {{0, 2, 1}}, {{0, 1, 3}}, {{0, 3, 1}}, {{0, 2, 3}},
                                             {{0, 3, 2}}, {{1, 4, 2}}}));
  const BuiltFrame six = project.Build(Line({{3, "./3dsfiles/m.3ds"}, {4, "1"}}));
  ASSERT_EQ(six.parts.size(), 1u);
  EXPECT_EQ(six.parts[0].facesPerView, (std::array<int32_t, 6>{1, 1, 2, 1, 1, 1}));
  EXPECT_EQ(six.parts[0].mesh.FaceCount(), 7u);

  const BuiltFrame flat = project.Build(Line({{3, "./3dsfiles/m.3ds"}, {4, "2"}, {29, "6"}, {23, "10"}, {24, "-20"}}));
  EXPECT_EQ(flat.parts[0].facesPerView, (std::array<int32_t, 6>{0, 0, 0, 0, 0, 7}));
  Wrap bottom;
  bottom.direction = {0, -1, 0};
  bottom.up = {0, 0, -1};
  bottom.uScale = bottom.vScale = 25000.0f * 1000.0f / 268435456.0f;
  bottom.uOffset = -(10 + 127.5f) / 256.0f;
  bottom.vOffset = -(-20 + 127.5f) / 256.0f;
  for (const engine::MeshVertex& vertex : flat.parts[0].mesh.Vertices()) {
    const glm::vec2 uv = bottom.Map(vertex.position);
    EXPECT_NEAR(vertex.uv.x, uv.x, 1e-6f);
    EXPECT_NEAR(vertex.uv.y, uv.y, 1e-6f);
  }
  // Colour-only and wrapped parts count no views.
  EXPECT_EQ(project.Build(Line({{3, "./3dsfiles/m.3ds"}, {4, "3"}})).parts[0].facesPerView, (std::array<int32_t, 6>{}));
}

// [SECTION] Wraps

TEST(Wraps, FrontViewPinsTheSigns) {
  Wrap front;
  front.direction = {0, 0, 1};
  front.up = {0, -1, 0};
  front.uScale = front.vScale = 25000.0f * 1000.0f / 268435456.0f;
  front.uOffset = front.vOffset = -127.5f / 256.0f;
  const glm::vec2 uv = front.Map({1, 2, 0});
  EXPECT_NEAR(uv.x, 0.591179f, 1e-6f);
  EXPECT_NEAR(uv.y, 0.311782f, 1e-6f);

  // The same through a built six-view part: a FRONT face holding the point (1, 2, 0), which the
  // file stores as (1, 0, 2).
  Project project;
  project.Write("3dsfiles/f.3ds", Make3ds({{1, 0, 2}, {2, 0, 2}, {1, 0, 3}}, {{{0, 1, 2}}}));
  const BuiltFrame built = project.Build(Line({{3, "./3dsfiles/f.3ds"}}));
  const auto& part = built.parts.at(0);
  EXPECT_EQ(part.facesPerView[2], 1);
  ExpectNear(part.mesh.Vertices()[0].position, {1, 2, 0});
  EXPECT_NEAR(part.mesh.Vertices()[0].uv.x, 0.591179f, 1e-6f);
  EXPECT_NEAR(part.mesh.Vertices()[0].uv.y, 0.311782f, 1e-6f);
}

TEST(Wraps, CylinderAngleAndTheSeam) {
  Wrap cylinder;
  cylinder.type = WrapType::kCylinder;
  cylinder.direction = {0, 1, 0};
  cylinder.up = {0, 0, 1};
  cylinder.vScale = 2.0f;
  cylinder.vOffset = 0.5f;
  // right = direction x up = (1, 0, 0): a point on +x is a quarter turn round.
  const glm::vec2 quarter = cylinder.Map({1, 5, 0});
  EXPECT_NEAR(quarter.x, 0.25f, 1e-6f);
  EXPECT_NEAR(quarter.y, 2.0f * 5 - 0.5f, 1e-5f);
  EXPECT_NEAR(cylinder.Map({-1, 0, 0}).x, 0.75f, 1e-6f);
  EXPECT_NEAR(cylinder.Map({0, 0, -1}).x, 0.5f, 1e-6f);

  engine::MeshBuilder mesh;
  engine::MeshVertex a, b, c;
  // Just left of the seam, on it, just right of it.
  a.position = {-0.1f, 0, 1};
  b.position = {0, 0, 1};
  c.position = {0.1f, 0, 1};
  mesh.AddFace(a, b, c);
  // A face well away from the seam keeps its values.
  a.position = {1, 0, 0.2f};
  b.position = {1, 0, 0};
  c.position = {1, 0, -0.2f};
  mesh.AddFace(a, b, c);
  mesh.ApplyWrap(cylinder);
  const auto& v = mesh.Vertices();
  const float left = 1.0f - std::atan2(0.1f, 1.0f) / (2.0f * std::numbers::pi_v<float>);
  EXPECT_NEAR(v[0].uv.x, left, 1e-5f);
  EXPECT_NEAR(v[1].uv.x, 1.0f, 1e-6f);
  EXPECT_NEAR(v[2].uv.x, 2.0f - left, 1e-5f);
  EXPECT_NEAR(v[3].uv.x, 0.25f - std::atan2(0.2f, 1.0f) / (2.0f * std::numbers::pi_v<float>), 1e-5f);
  EXPECT_NEAR(v[4].uv.x, 0.25f, 1e-6f);
  // Only the given faces are touched.
  engine::MeshBuilder two = mesh;
  for (auto& vertex : two.Vertices()) vertex.uv = {9, 9};
  two.ApplyWrap(cylinder, 1, 2);
  EXPECT_EQ(two.Vertices()[0].uv, glm::vec2(9, 9));
  EXPECT_NEAR(two.Vertices()[4].uv.x, 0.25f, 1e-6f);
}

TEST(Wraps, SphereAndChrome) {
  Wrap sphere;
  sphere.type = WrapType::kSphere;
  sphere.direction = {0, 0, 1};
  sphere.up = {0, -1, 0};
  sphere.vScale = 2.0f;
  sphere.vOffset = 0.25f;
  EXPECT_NEAR(sphere.Map({0, 0, 3}).y, -0.25f, 1e-6f);  // along the direction: angle 0
  const glm::vec2 side = sphere.Map({1, 0, 0});
  EXPECT_NEAR(side.x, 0.25f, 1e-6f);  // right = (1, 0, 0)
  EXPECT_NEAR(side.y, 2.0f * 0.5f - 0.25f, 1e-6f);
  EXPECT_NEAR(sphere.Map({0, 0, -2}).y, 2.0f - 0.25f, 1e-6f);
  EXPECT_TRUE(std::isfinite(sphere.Map({0, 0, 0}).y));  // the centre itself

  engine::MeshBuilder mesh;
  engine::MeshVertex corner;
  corner.uv = {0.5f, 0.5f};
  corner.position = {1, 2, 3};
  mesh.AddFace(corner, corner, corner);
  Wrap chrome = sphere;
  chrome.type = WrapType::kChrome;
  mesh.ApplyWrap(chrome);
  EXPECT_EQ(mesh.Vertices()[0].uv, glm::vec2(0.5f, 0.5f));
  ASSERT_EQ(mesh.chromeWraps.size(), 1u);

  // An up along the direction still gives finite coordinates.
  Wrap bad;
  bad.direction = {0, 1, 0};
  bad.up = {0, 2, 0};
  const glm::vec2 uv = bad.Map({1, 2, 3});
  EXPECT_TRUE(std::isfinite(uv.x) && std::isfinite(uv.y));
}

// [SECTION] Normals

// Two faces sharing the edge (0,0,0)-(1,0,0), bent by `degrees` between their normals.
engine::MeshBuilder Hinge(float degrees) {
  const float t = degrees * std::numbers::pi_v<float> / 180.0f;
  engine::MeshBuilder mesh;
  engine::MeshVertex a, b, c, d;
  a.position = {0, 0, 0};
  b.position = {1, 0, 0};
  c.position = {0.5f, 0, 1};                             // face 1 in the plane y = 0
  d.position = {0.5f, std::sin(t), -std::cos(t)};        // face 2 turned by t about the x axis
  mesh.AddFace(a, c, b);
  mesh.AddFace(a, b, d);
  return mesh;
}

TEST(Normals, CreaseAngleDecidesWhatIsSmoothed) {
  for (float degrees : {0.0f, 45.0f, 80.0f, 120.0f}) {
    engine::MeshBuilder mesh = Hinge(degrees);
    const auto& v = mesh.Vertices();
    const glm::vec3 own0 = glm::normalize(glm::cross(v[2].position - v[0].position, v[1].position - v[0].position));
    const glm::vec3 own1 = glm::normalize(glm::cross(v[5].position - v[3].position, v[4].position - v[3].position));
    EXPECT_NEAR(glm::degrees(std::acos(std::clamp(glm::dot(own0, own1), -1.0f, 1.0f))), degrees, 0.01f);

    mesh.GenerateNormals(0.0f);
    for (int k = 0; k < 3; ++k) ExpectNear(mesh.Vertices()[k].normal, own0);
    for (int k = 3; k < 6; ++k) ExpectNear(mesh.Vertices()[k].normal, own1);

    mesh.GenerateNormals(1.5708f);
    const glm::vec3 shared = degrees < 90.0f ? glm::normalize(own0 + own1) : own0;
    // Corners on the shared edge: face 1's are corners 0 and 2, face 2's corners 3 and 4.
    ExpectNear(mesh.Vertices()[0].normal, shared);
    ExpectNear(mesh.Vertices()[2].normal, shared);
    ExpectNear(mesh.Vertices()[1].normal, own0);  // the apex is its face's alone
    ExpectNear(mesh.Vertices()[3].normal, degrees < 90.0f ? shared : own1);
    ExpectNear(mesh.Vertices()[5].normal, own1);
  }
}

TEST(Normals, MergedPositionsIgnoreTheSignOfZeroAndDegenerateFacesStayFinite) {
  engine::MeshBuilder mesh;
  engine::MeshVertex a, b, c, d, e;
  a.position = {0, 0, 0};
  b.position = {1, 0, 0};
  c.position = {0, 1, 0};
  d.position = {-0.0f, 0, -0.0f};
  e.position = {0, -1, 0.2f};
  mesh.AddFace(a, b, c);
  mesh.AddFace(d, e, b);
  mesh.AddFace(a, a, b);  // no area
  mesh.GenerateNormals(1.5708f);
  const auto& v = mesh.Vertices();
  EXPECT_EQ(v[0].normal, v[3].normal);  // (0, 0, 0) and (-0, 0, -0) are one position
  EXPECT_NE(v[0].normal, v[2].normal);
  for (const auto& vertex : v) {
    EXPECT_TRUE(std::isfinite(vertex.normal.x) && std::isfinite(vertex.normal.y) && std::isfinite(vertex.normal.z));
  }
  EXPECT_NEAR(glm::length(v[6].normal), 1.0f, 1e-5f);  // takes its neighbours' direction
}

// A tetrahedron wound counter-clockwise seen from outside, in the file's own coordinates.
std::string Tetrahedron() {
  return Make3ds({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{{0, 2, 1}}, {{0, 1, 3}}, {{0, 3, 2}}, {{1, 2, 3}}});
}

TEST(Normals, AModelReadUnflippedShowsItsOutside) {
  Project project;
  project.Write("3dsfiles/t.3ds", Tetrahedron());
  for (int flip : {0, 1}) {
    const BuiltFrame built = project.Build(Line({{3, "./3dsfiles/t.3ds"}, {4, "0"}, {5, "2"}, {7, std::to_string(flip)}}));
    const auto& v = built.parts.at(0).mesh.Vertices();
    ASSERT_EQ(v.size(), 12u);
    const glm::vec3 centre(0.25f);
    for (size_t f = 0; f < 4; ++f) {
      const glm::vec3 middle = (v[f * 3].position + v[f * 3 + 1].position + v[f * 3 + 2].position) / 3.0f;
      const float outward = glm::dot(v[f * 3].normal, middle - centre);
      EXPECT_EQ(outward > 0, flip == 0) << "face " << f << " flip " << flip;
    }
  }
}

TEST(Normals, QualityTwoIsFacetedAndThreeSmooth) {
  Project project;
  // Two faces folded by 45 degrees along a shared edge.
  project.Write("3dsfiles/h.3ds", Make3ds({{0, 0, 0}, {1, 0, 0}, {0.5f, 1, 0}, {0.5f, -0.7071f, 0.7071f}},
                                          {{{0, 1, 2}}, {{1, 0, 3}}}));
  for (int quality : {2, 3}) {
    const BuiltFrame built = project.Build(Line({{3, "./3dsfiles/h.3ds"}, {4, "0"}, {5, std::to_string(quality)}}));
    const auto& v = built.parts.at(0).mesh.Vertices();
    EXPECT_EQ(built.parts[0].mesh.quality, engine::kQualityGouraud);
    EXPECT_EQ(v[0].normal == v[4].normal, quality == 3);  // the same corner in both faces
  }
}

// [SECTION] Morphing and the box

struct Morph : ::testing::Test {
  Project project;
  // Source faces facing FRONT, BACK and RIGHT (stored coordinates), so six views reorder them.
  std::vector<MeshFace> source = {Face({0, 0, 0}, {1, 0, 0}, {0, 1, 0}), Face({0, 0, 2}, {0, 1, 2}, {1, 0, 2}),
                                  Face({3, 0, 0}, {3, 1, 0}, {3, 0, 1})};
  std::vector<MeshFace> target = {Face({0, 0, 10}, {2, 0, 10}, {0, 2, 10}), Face({-4, 1, 1}, {-4, 2, 1}, {-4, 1, 3})};

  static std::string Write3ds(const std::vector<MeshFace>& faces) {
    std::vector<glm::vec3> vertices;
    std::vector<std::array<uint16_t, 3>> indices;
    for (const MeshFace& face : faces) {
      std::array<uint16_t, 3> f{};
      for (int k = 0; k < 3; ++k) {
        f[k] = static_cast<uint16_t>(vertices.size());
        vertices.push_back({face.v[k].x, face.v[k].z, face.v[k].y});  // the file holds (x, z, y)
      }
      indices.push_back(f);
    }
    return Make3ds(vertices, indices);
  }
  void SetUp() override {
    project.Write("3dsfiles/s.3ds", Write3ds(source));
    project.Write("3dsfiles/t.3ds", Write3ds(target));
  }
  BuiltFrame Build(int morphing, engine::ElementBox* box = nullptr, int frame = 1) {
    return project.Build(Line({{3, "./3dsfiles/s.3ds"}, {30, "./3dsfiles/t.3ds"}, {31, std::to_string(morphing)}}, frame),
                         frame, box);
  }
  // The mesh faces in source order: six views put BACK (1), RIGHT (2) then FRONT (3).
  static glm::vec3 At(const BuiltFrame& built, size_t sourceFace, int k) {
    static constexpr size_t kMeshFace[3] = {2, 0, 1};
    return built.parts.at(0).mesh.Vertices().at(kMeshFace[sourceFace] * 3 + k).position;
  }
};

TEST_F(Morph, ZeroFiftyAndHundredWithFewerTargetFaces) {
  const BuiltFrame none = Build(0);
  ASSERT_EQ(none.parts.at(0).facesPerView, (std::array<int32_t, 6>{1, 1, 1, 0, 0, 0}));
  for (size_t i = 0; i < 3; ++i) {
    for (int k = 0; k < 3; ++k) EXPECT_EQ(At(none, i, k), source[i].v[k]);  // bit for bit
  }
  const size_t pair[3] = {0, 1, 1};  // the extra source face pairs with the target's last
  const BuiltFrame half = Build(50);
  const BuiltFrame whole = Build(100);
  for (size_t i = 0; i < 3; ++i) {
    for (int k = 0; k < 3; ++k) {
      ExpectNear(At(half, i, k), (source[i].v[k] + target[pair[i]].v[k]) * 0.5f);
      EXPECT_EQ(At(whole, i, k), target[pair[i]].v[k]);
    }
  }
  // Texture coordinates come from the source shape, before the morph.
  EXPECT_EQ(half.parts[0].mesh.Vertices()[0].uv, none.parts[0].mesh.Vertices()[0].uv);
}

TEST_F(Morph, TheBoxFollowsTheMorphedFacesOfFrameOne) {
  engine::ElementBox box;
  Build(0, &box);
  ExpectNear(box.min, {0, 0, 0});
  ExpectNear(box.max, {3000, 1000, 2000});
  Build(100, &box);  // frame 1 starts the box afresh
  ExpectNear(box.min, {-4000, 0, 1000});
  ExpectNear(box.max, {2000, 2000, 10000});

  engine::ElementBox untouched;
  untouched.min = glm::vec3(5);
  untouched.max = glm::vec3(6);
  Build(100, &untouched, 2);
  EXPECT_EQ(untouched.min, glm::vec3(5));
  EXPECT_EQ(untouched.max, glm::vec3(6));
}

TEST(ElementBox, UnusedVerticesDoNotCountAndPartsWiden) {
  Project project;
  // The far vertex 3 is in the list but in no face.
  project.Write("3dsfiles/a.3ds", Make3ds({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {500, 500, 500}}, {{{0, 1, 2}}}));
  project.Write("3dsfiles/b.3ds", Make3ds({{-2, 0, 0}, {-2, 3, 0}, {-2, 0, -1}}, {{{0, 1, 2}}}));
  engine::ElementBox box;
  const BuiltFrame built =
      project.Build(Line({{3, "./3dsfiles/a.3ds"}, {4, "0"}}) + Line({{3, "./3dsfiles/b.3ds"}, {4, "0"}}), 1, &box);
  EXPECT_EQ(built.parts.at(0).sourceVertices, 4);
  ExpectNear(box.max, {1000, 1000, 3000});
  ExpectNear(box.min, {-2000, -1000, 0});
  // An empty frame leaves the reset box.
  engine::ElementBox empty;
  empty.min = glm::vec3(0);
  project.Build(Line({{4, "0"}}, 2), 1, &empty);
  EXPECT_EQ(empty.max, glm::vec3(-2147483648.0f));
  EXPECT_EQ(empty.min, glm::vec3(2147483647.0f));
}

// [SECTION] Colours, qualities, textures and fallbacks

TEST(BuiltParts, ColoursPerMode) {
  Project project;
  const auto colour = [&](std::initializer_list<std::pair<int, std::string>> changes) {
    const BuiltFrame built = project.Build(Line(changes));
    return built.parts.at(0).mesh.Vertices().at(0).rgba;
  };
  // value * 255 / 256 per channel.
  EXPECT_EQ(colour({{4, "0"}, {25, "200"}, {26, "100"}, {27, "50"}}), 0xFFC76331u);
  EXPECT_EQ(colour({{4, "0"}, {10, "1"}, {25, "200"}, {26, "100"}, {27, "50"}}), 0x80C76331u);
  EXPECT_EQ(colour({{4, "0"}, {25, "300"}, {26, "-4"}, {27, "255"}}), 0xFFFE00FEu);  // no spill
  EXPECT_EQ(colour({{4, "1"}, {25, "10"}}), 0xFFFFFFFFu);
  EXPECT_EQ(colour({{4, "3"}, {10, "1"}}), 0x80FFFFFFu);

  const BuiltFrame translucentFirst = project.Build(Line({{4, "0"}, {10, "1"}}) + Line({{4, "0"}}));
  EXPECT_TRUE(translucentFirst.flatsScene);
  const BuiltFrame translucentSecond = project.Build(Line({{4, "0"}}) + Line({{4, "0"}, {10, "1"}}));
  EXPECT_FALSE(translucentSecond.flatsScene);
  EXPECT_EQ(translucentSecond.parts.size(), 2u);
}

TEST(BuiltParts, QualityAndMaterial) {
  Project project;
  const int32_t codes[4] = {engine::kQualityWireframe, engine::kQualityUnlitFlat, engine::kQualityGouraud,
                            engine::kQualityGouraud};
  for (int quality = 0; quality < 4; ++quality) {
    for (int material = 0; material < 2; ++material) {
      const BuiltFrame built =
          project.Build(Line({{4, "0"}, {5, std::to_string(quality)}, {6, std::to_string(material)}}));
      const engine::MeshBuilder& mesh = built.parts.at(0).mesh;
      EXPECT_EQ(mesh.quality, codes[quality]);
      EXPECT_EQ(built.parts[0].quality, quality);
      EXPECT_EQ(mesh.specularPower, material == 1 ? 5.0f : 0.0f);
      EXPECT_TRUE(mesh.perspectiveCorrect);
    }
  }
}

TEST(BuiltParts, TexturesLoadOncePerPathAndFallBack) {
  Project project;
  const BuiltFrame built = project.Build(Line({{4, "0"}, {2, "./images/t.bmp"}}) +
                                         Line({{4, "1"}, {2, "./images/t.bmp"}, {11, "1"}}) +
                                         Line({{4, "3"}, {2, ".\\images\\x\\..\\t.bmp"}}) +
                                         Line({{4, "4"}, {2, "./images/u.bmp"}}));
  ASSERT_EQ(built.parts.size(), 4u);
  EXPECT_EQ(built.parts[0].texture, nullptr);
  EXPECT_EQ(built.parts[0].mesh.texture, nullptr);
  ASSERT_NE(built.parts[1].texture, nullptr);
  EXPECT_EQ(built.parts[1].texture, built.parts[2].texture);
  EXPECT_NE(built.parts[1].texture, built.parts[3].texture);
  EXPECT_EQ(project.textures.Size(), 2u);
  EXPECT_EQ(built.parts[1].texturePath, project.folder / "images/t.bmp");
  EXPECT_EQ(built.parts[1].mesh.texture, &built.parts[1].texture->picture);
  EXPECT_TRUE(built.parts[1].mesh.decalTransparency);
  EXPECT_FALSE(built.parts[2].mesh.decalTransparency);
  // Missing files become the error picture.
  EXPECT_TRUE(built.parts[1].texture->errorPicture);
  EXPECT_GT(built.parts[1].texture->picture.width, 0);
}

TEST(BuiltParts, MissingModelsAndFlippedTargets) {
  Project project;
  project.Write("3dsfiles/t.3ds", Tetrahedron());
  // Field 3 names a missing model: the default one (z = 7 in the file, y = 7 as stored).
  const BuiltFrame built = project.Build(Line({{3, "./3dsfiles/none.3ds"}, {4, "0"}}));
  EXPECT_EQ(built.parts.at(0).sourcePath, project.folder / "3dsfiles/default_.3ds");
  EXPECT_EQ(built.parts[0].mesh.Vertices().at(0).position.y, 7.0f);

  PartLine line = engine::ParseV3d(Line({{3, "./3dsfiles/t.3ds"}, {30, "./3dsfiles/t.3ds"}, {7, "1"}}), project.root)
                      .lines.at(0);
  const engine::PartModels flipped = engine::LoadPartModels(line, project.root);
  line.flip = 0;
  const engine::PartModels plain = engine::LoadPartModels(line, project.root);
  ASSERT_EQ(flipped.target.faces.size(), 4u);
  EXPECT_EQ(flipped.source.faces[0].v[1], plain.source.faces[0].v[2]);
  EXPECT_EQ(flipped.target.faces[0].v[1], plain.target.faces[0].v[2]);
  EXPECT_EQ(flipped.targetPath, project.folder / "3dsfiles/t.3ds");
}

}  // namespace
