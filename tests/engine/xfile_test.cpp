// Tests of .x object files: the importer's coordinates and winding on a hand-written file, textures
// and colours, placing and animating, numbered series, the packaged test models and the hoods.
#include "engine/visuals/xfile.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cctype>
#include <cmath>
#include <glm/geometric.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "core/core.h"
#include "mkdata/mkdata.h"
#include "platform/platform.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace {

using engine::XObject;

// Body (turned a quarter about y, at (1, 2, 3)) holds a textured quad facing -z; its child Arm
// (4 along z) a translucent red triangle without normals; Leg holds nothing. The animation set turns Arm the same
// quarter turn and moves it from (0, 0, 4) to (2, 4, 6) over ticks 0..10.
constexpr const char* kHandWritten = R"(xof 0302txt 0032
AnimTicksPerSecond { 30; }
Frame Body {
 FrameTransformMatrix {
  0.0,0.0,-1.0,0.0,
  0.0,1.0,0.0,0.0,
  1.0,0.0,0.0,0.0,
  1.0,2.0,3.0,1.0;;
 }
 Frame Arm {
  FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,4.0,1.0;; }
  Mesh Plain {
   3;
   0.0;0.0;5.0;,
   1.0;0.0;5.0;,
   0.0;1.0;5.0;;
   1;
   3;0,1,2;;
   MeshMaterialList { 1; 1; 0;;
    Material { 0.5;0.25;1.0;0.5;; 12.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; }
   }
  }
 }
 Frame Leg {
  FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,-1.0,0.0,1.0;; }
 }
 Mesh Textured {
  4;
  0.0;0.0;5.0;,
  1.0;0.0;5.0;,
  1.0;1.0;5.0;,
  0.0;1.0;5.0;;
  1;
  4;0,1,2,3;;
  MeshNormals { 1; 0.0;0.0;-1.0;; 1; 4;0,0,0,0;; }
  MeshTextureCoords { 4; 0.0;1.0;, 1.0;1.0;, 1.0;0.0;, 0.0;0.25;; }
  MeshMaterialList { 1; 1; 0;;
   Material { 1.0;1.0;1.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; TextureFilename { "pics\skin.bmp"; } }
  }
 }
}
AnimationSet Walk {
 Animation {
  {Arm}
  AnimationKey { 0; 2; 0;4;1.0,0.0,0.0,0.0;;, 10;4;-0.7071068,0.0,0.7071068,0.0;;; }
  AnimationKey { 2; 2; 0;3;0.0,0.0,4.0;;, 10;3;2.0,4.0,6.0;;; }
 }
}
)";

constexpr float kTolerance = 1e-4f;

void ExpectNear(const glm::vec3& actual, const glm::vec3& expected, const std::string& what) {
  EXPECT_LT(glm::length(actual - expected), kTolerance)
      << what << ": (" << actual.x << ", " << actual.y << ", " << actual.z << ") instead of (" << expected.x << ", "
      << expected.y << ", " << expected.z << ")";
}

// The normal of a face as the mesh builder defines it; it points at a viewer who sees the corners
// run counter-clockwise.
glm::vec3 FaceNormal(const engine::MeshVertex* v) {
  return glm::cross(v[2].position - v[0].position, v[1].position - v[0].position);
}

class HandWritten : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.ok()) << folder_.error();
    ASSERT_TRUE(core::MakeFolders(folder_ / "pics"));
    const std::vector<uint8_t> bmp = mkdata::BmpPicture(2, 3, 0x00FF00);
    ASSERT_TRUE(core::WriteFileAtomic(folder_ / "pics/skin.bmp", std::string(bmp.begin(), bmp.end())));
    path_ = folder_ / "hand.x";
    ASSERT_TRUE(core::WriteFileAtomic(path_, kHandWritten));
  }

  // The node and the mesh it shows, by node name.
  const engine::MeshBuilder& MeshOf(const XObject& object, const std::string& node) {
    for (const engine::XNode& n : object.nodes) {
      if (n.name == node && !n.meshes.empty()) return *object.meshes[static_cast<size_t>(n.meshes.front())];
    }
    ADD_FAILURE() << "no mesh at node " << node;
    return *object.meshes.front();
  }

  testing_support::TempFolder folder_{"vexel-xfile"};
  std::string path_;
  engine::TextureCache textures_{"/nonexistent/error.bmp"};
};

TEST_F(HandWritten, ImporterKeepsTheFilesCoordinatesWindingAndMatrices) {
  platform::ImportedModel model;
  std::string error;
  ASSERT_TRUE(platform::ImportModelFile(path_, &model, &error)) << error;
  ASSERT_EQ(model.nodes.size(), 3u);
  EXPECT_EQ(model.nodes[0].name, "Body");
  EXPECT_EQ(model.nodes[0].parent, -1);
  EXPECT_EQ(model.nodes[1].name, "Arm");
  EXPECT_EQ(model.nodes[1].parent, 0);
  EXPECT_EQ(model.nodes[2].name, "Leg");
  // A left-handed row-vector matrix read as column-major for column vectors has the same 16 numbers.
  const float body[16] = {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 1, 2, 3, 1};
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(model.nodes[0].transform[i], body[i]) << "element " << i;
  ASSERT_EQ(model.nodes[1].meshes.size(), 1u);
  const platform::ImportedMesh& plain = model.meshes[model.nodes[1].meshes[0]];
  ASSERT_EQ(plain.triangles.size(), 3u);
  const float expected[3][3] = {{0, 0, 5}, {1, 0, 5}, {0, 1, 5}};
  for (int corner = 0; corner < 3; ++corner) {
    const uint32_t v = plain.triangles[corner];
    for (int axis = 0; axis < 3; ++axis) EXPECT_FLOAT_EQ(plain.positions[v * 3 + axis], expected[corner][axis]);
  }
  EXPECT_TRUE(plain.normals.empty());
  EXPECT_EQ(model.materials[plain.material].texture, "");
  EXPECT_FLOAT_EQ(model.materials[plain.material].specularPower, 12.0f);
}

TEST_F(HandWritten, MeshesKeepWindingUvsAndTakeTextureOrMaterialColour) {
  XObject object;
  std::string error;
  ASSERT_TRUE(engine::LoadXFile(path_, &textures_, &object, &error)) << error;
  EXPECT_EQ(object.path, path_);
  ASSERT_EQ(object.meshes.size(), 2u);

  // The quad: cut into two faces, both still counter-clockwise to a viewer on -z.
  const engine::MeshBuilder& quad = MeshOf(object, "Body");
  ASSERT_EQ(quad.FaceCount(), 2u);
  for (size_t f = 0; f < 2; ++f) {
    const glm::vec3 n = glm::normalize(FaceNormal(&quad.Vertices()[f * 3]));
    ExpectNear(n, {0, 0, -1}, "face normal");
    for (int k = 0; k < 3; ++k) ExpectNear(quad.Vertices()[f * 3 + k].normal, {0, 0, -1}, "file normal");
  }
  bool sawCorner3 = false;
  for (const engine::MeshVertex& v : quad.Vertices()) {
    EXPECT_FLOAT_EQ(v.position.z, 5.0f);
    EXPECT_EQ(v.rgba, 0xFFFFFFFFu) << "a textured mesh is white";
    // v as stored: 0 at the picture's top row.
    if (v.position.x == 0.0f && v.position.y == 1.0f) {
      sawCorner3 = true;
      EXPECT_FLOAT_EQ(v.uv.x, 0.0f);
      EXPECT_FLOAT_EQ(v.uv.y, 0.25f);
    }
    if (v.position.x == 1.0f && v.position.y == 0.0f) {
      EXPECT_FLOAT_EQ(v.uv.y, 1.0f);
    }
  }
  EXPECT_TRUE(sawCorner3);
  const engine::TextureCache::Entry* skin = textures_.Load(folder_ / "pics/skin.bmp");
  EXPECT_FALSE(skin->errorPicture);
  EXPECT_EQ(quad.texture, &skin->picture) << "the backslashed name is read from the model's folder";
  EXPECT_EQ(textures_.Size(), 1u);
  EXPECT_EQ(quad.quality, engine::kQualityGouraud);

  // The triangle: material colour as bytes x 255 / 256, its alpha as is, normals generated.
  const engine::MeshBuilder& plain = MeshOf(object, "Arm");
  ASSERT_EQ(plain.FaceCount(), 1u);
  const engine::MeshVertex* v = plain.Vertices().data();
  ExpectNear(v[0].position, {0, 0, 5}, "corner 0");
  ExpectNear(v[1].position, {1, 0, 5}, "corner 1");
  ExpectNear(v[2].position, {0, 1, 5}, "corner 2");
  EXPECT_EQ(plain.texture, nullptr);
  EXPECT_EQ(v[0].rgba, (128u << 24) | (127u << 16) | (63u << 8) | 254u);
  ExpectNear(v[0].normal, {0, 0, -1}, "generated normal");
  EXPECT_FLOAT_EQ(plain.specularPower, 12.0f);
}

TEST_F(HandWritten, PlacesOneFramePerNodeAndAnimatesAtAndBetweenKeys) {
  XObject object;
  std::string error;
  ASSERT_TRUE(engine::LoadXFile(path_, &textures_, &object, &error)) << error;
  engine::scene::Scene scene;
  const int32_t root = scene.CreateFrame(engine::scene::kNone);
  const engine::PlacedXObject placed = engine::PlaceXObject(&scene, root, object);
  ASSERT_EQ(placed.nodeFrames.size(), 3u);
  EXPECT_EQ(placed.frame, placed.nodeFrames[0]);
  EXPECT_EQ(scene.At(placed.frame).parent, root);
  EXPECT_EQ(scene.At(placed.nodeFrames[1]).parent, placed.frame);
  EXPECT_EQ(scene.At(placed.nodeFrames[2]).parent, placed.frame);
  ASSERT_EQ(scene.At(placed.frame).meshes.size(), 1u);
  EXPECT_EQ(scene.At(placed.frame).meshes[0], object.meshes[static_cast<size_t>(object.nodes[0].meshes[0])].get());

  const engine::scene::Frame& body = scene.At(placed.frame);
  ExpectNear(body.position, {1, 2, 3}, "body position");
  ExpectNear(body.orientation[0], {0, 0, -1}, "body right");
  ExpectNear(body.orientation[1], {0, 1, 0}, "body up");
  ExpectNear(body.orientation[2], {1, 0, 0}, "body direction");
  ExpectNear(body.scale, {1, 1, 1}, "body scale");

  ASSERT_EQ(object.animationSets.size(), 1u);
  const engine::XAnimationSet& walk = object.animationSets[0];
  EXPECT_EQ(walk.name, "Walk");
  EXPECT_FLOAT_EQ(walk.ticksPerSecond, 30.0f);
  EXPECT_FLOAT_EQ(walk.duration, 10.0f);
  ASSERT_EQ(walk.channels.size(), 1u);
  EXPECT_EQ(walk.channels[0].node, 1);
  EXPECT_EQ(walk.channels[0].keys.positions.size(), 2u);
  EXPECT_EQ(walk.channels[0].keys.rotations.size(), 2u);

  engine::scene::Frame& arm = scene.At(placed.nodeFrames[1]);
  engine::scene::Frame& leg = scene.At(placed.nodeFrames[2]);
  engine::SetAnimationTime(&scene, placed, object, 0, 10.0f);
  ExpectNear(arm.position, {2, 4, 6}, "arm at the last key");
  // Rotation keys are stored as exporters write them (the inverse turn, w often negative): this
  // one means the same quarter turn as Body's matrix.
  ExpectNear(arm.orientation[0], {0, 0, -1}, "arm right at the last key");
  ExpectNear(arm.orientation[2], {1, 0, 0}, "arm direction at the last key");
  engine::SetAnimationTime(&scene, placed, object, 0, 5.0f);
  ExpectNear(arm.position, {1, 2, 5}, "arm half way");
  const float eighth = std::sqrt(0.5f);
  ExpectNear(arm.orientation[2], {eighth, 0, eighth}, "arm direction half way");
  engine::SetAnimationTime(&scene, placed, object, 0, 50.0f);
  ExpectNear(arm.position, {2, 4, 6}, "arm past the last key");
  engine::SetAnimationTime(&scene, placed, object, 0, -1.0f);
  ExpectNear(arm.position, {0, 0, 4}, "arm before the first key");
  ExpectNear(arm.orientation[0], {1, 0, 0}, "arm right at the first key");
  ExpectNear(leg.position, {0, -1, 0}, "a node without a channel");
  engine::SetAnimationTime(&scene, placed, object, 1, 10.0f);  // no such set
  engine::SetAnimationTime(&scene, placed, object, -1, 10.0f);
  ExpectNear(arm.position, {0, 0, 4}, "an unknown set changes nothing");
}

TEST(XFile, TransformsAreSplitWithMirrorsAndScales) {
  XObject object;
  object.nodes.resize(2);
  object.nodes[1].parent = 0;
  // Root: scaled by (2, 3, 4) and mirrored in x; child: turned about z and moved.
  object.nodes[0].transform =
      glm::mat4(glm::vec4(-2, 0, 0, 0), glm::vec4(0, 3, 0, 0), glm::vec4(0, 0, 4, 0), glm::vec4(5, 6, 7, 1));
  object.nodes[1].transform =
      glm::mat4(glm::vec4(0, 1, 0, 0), glm::vec4(-1, 0, 0, 0), glm::vec4(0, 0, 1, 0), glm::vec4(1, 0, 0, 1));
  engine::scene::Scene scene;
  const engine::PlacedXObject placed = engine::PlaceXObject(&scene, engine::scene::kNone, object);
  ASSERT_EQ(placed.nodeFrames.size(), 2u);
  const engine::scene::Frame& root = scene.At(placed.frame);
  EXPECT_EQ(root.parent, engine::scene::kNone);
  ExpectNear(root.scale, {-2, 3, 4}, "mirrored scale");
  ExpectNear(root.orientation[0], {1, 0, 0}, "right stays right-handed");
  const glm::mat4 world = scene.WorldMatrix(placed.nodeFrames[1]);
  const glm::mat4 expected = object.nodes[0].transform * object.nodes[1].transform;
  for (int c = 0; c < 4; ++c) ExpectNear(glm::vec3(world[c]), glm::vec3(expected[c]), "world column");
}

// The cache hands a file it imported back from memory until the file changes; a file that turns
// bad is refused, not served from the cache.
TEST_F(HandWritten, TheImportCacheKeepsAFileUntilItChanges) {
  platform::ModelImportCache cache;
  platform::ImportedModel first, again;
  std::string error;
  ASSERT_TRUE(cache.Import(path_, &first, &error)) << error;
  ASSERT_TRUE(cache.Import(path_, &again, &error)) << error;
  EXPECT_EQ(cache.Size(), 1u);
  EXPECT_EQ(again.nodes.size(), first.nodes.size());
  EXPECT_EQ(again.meshes.size(), first.meshes.size());
  // The same size and time: still the kept model, though the bytes now say nothing.
  struct stat before {};
  ASSERT_EQ(stat(path_.c_str(), &before), 0);
  std::string blank(static_cast<size_t>(before.st_size), ' ');
  ASSERT_TRUE(core::WriteFileAtomic(path_, blank));
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, path_.c_str(), times, 0), 0);
  EXPECT_TRUE(cache.Import(path_, &again, &error));
  // A new time: imported again, and refused.
  const timespec later[2] = {before.st_atim, {before.st_mtim.tv_sec + 1, before.st_mtim.tv_nsec}};
  ASSERT_EQ(utimensat(AT_FDCWD, path_.c_str(), later, 0), 0);
  EXPECT_FALSE(cache.Import(path_, &again, &error));
  EXPECT_EQ(cache.Size(), 0u);
}

TEST(XFile, RefusedFilesGiveAMessageAndLeaveNothing) {
  testing_support::TempFolder folder("vexel-xfile");
  ASSERT_TRUE(folder.ok());
  const std::pair<const char*, std::string> cases[] = {
      {"empty.x", ""},
      {"garbage.x", "not a model at all \x01\x02\x03"},
      {"cut.x", std::string(kHandWritten).substr(0, 700)},
      {"frames_only.x",
       "xof 0302txt 0032\nFrame A {\n FrameTransformMatrix {\n  "
       "1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,"
       "1.0;;\n }\n}\n"},
      {"bad_index.x", "xof 0302txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,7;; }\n"},
      // Assimp's reader follows this normal index out of its array and crashes: the child it runs
      // in does, not this process.
      {"normal_index.x",
       "xof 0302txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshNormals { 1; 0;0;1;; 1; 3;0,0,999999999;; "
       "} }\n"},
  };
  for (const auto& [name, text] : cases) {
    const std::string path = folder / name;
    ASSERT_TRUE(core::WriteFileAtomic(path, text));
    XObject object;
    object.path = "left over";
    std::string error;
    EXPECT_FALSE(engine::LoadXFile(path, nullptr, &object, &error)) << name;
    EXPECT_FALSE(error.empty()) << name;
    EXPECT_TRUE(object.path.empty() && object.meshes.empty() && object.nodes.empty()) << name;
  }
  XObject object;
  std::string error;
  EXPECT_FALSE(engine::LoadXFile(folder / "missing.x", nullptr, &object, &error));
  EXPECT_FALSE(error.empty());
}

TEST(XFile, NumberedFilesRunWhileTheyExist) {
  testing_support::TempFolder folder("vexel-xfile");
  ASSERT_TRUE(folder.ok());
  for (const char* name : {"walk.x", "walk002.x", "walk003.x", "walk005.x", "RUN.X", "RUN002.X", "run002.x"}) {
    ASSERT_TRUE(core::WriteFileAtomic(folder / name, "x"));
  }
  EXPECT_EQ(engine::NumberedXFiles(folder / "walk.x"),
            (std::vector<std::string>{folder / "walk.x", folder / "walk002.x", folder / "walk003.x"}));
  EXPECT_EQ(engine::NumberedXFiles(folder / "RUN.X"),
            (std::vector<std::string>{folder / "RUN.X", folder / "RUN002.X"}));
  // The first file is named even when it is missing; the series still follows it.
  EXPECT_EQ(engine::NumberedXFiles(folder / "run.x"),
            (std::vector<std::string>{folder / "run.x", folder / "run002.x"}));
  EXPECT_EQ(engine::NumberedXFiles(folder / "none.x"), (std::vector<std::string>{folder / "none.x"}));
}

// Every .x file of the assimp-testmodels package (found at run time; the test is skipped without
// it) either loads or is refused with a message, and what loads places into a scene.
TEST(XFile, PackagedModelsLoadOrAreRefusedWithAMessage) {
  std::vector<std::string> models;
  if (core::FileExists("/usr/bin/dpkg")) {
    const testing_support::RunResult listing =
        testing_support::RunProgram("/usr/bin/dpkg", {"-L", "assimp-testmodels"}, "/", 30);
    std::istringstream lines(listing.exitCode == 0 ? listing.out : std::string());
    for (std::string path; std::getline(lines, path);) {
      if (path.size() > 2 && path[path.size() - 2] == '.' &&
          std::tolower(static_cast<unsigned char>(path.back())) == 'x' && core::FileExists(path)) {
        models.push_back(path);
      }
    }
  }
  if (models.empty()) GTEST_SKIP() << "the assimp-testmodels package is not installed (scripts/deps)";
  int loaded = 0;
  engine::TextureCache textures("/nonexistent/error.bmp");
  for (const std::string& path : models) {
    XObject object;
    std::string error;
    if (!engine::LoadXFile(path, &textures, &object, &error)) {
      EXPECT_FALSE(error.empty()) << path;
      std::printf("refused %s: %s\n", path.c_str(), error.c_str());
      continue;
    }
    ++loaded;
    size_t faces = 0;
    for (const auto& mesh : object.meshes) faces += mesh->FaceCount();
    EXPECT_GT(faces, 0u) << path;
    engine::scene::Scene scene;
    const engine::PlacedXObject placed = engine::PlaceXObject(&scene, scene.CreateFrame(engine::scene::kNone), object);
    EXPECT_EQ(placed.nodeFrames.size(), object.nodes.size()) << path;
    size_t shown = 0;
    for (int32_t frame : placed.nodeFrames) {
      shown += scene.At(frame).meshes.size();
      for (int c = 0; c < 3; ++c) EXPECT_TRUE(std::isfinite(glm::length(scene.At(frame).orientation[c]))) << path;
    }
    EXPECT_EQ(shown, object.meshes.size()) << path;
    // The exporter of anim_test.x keyed joint2 at tick 0 in the pose its frame matrix holds: the
    // rotation keys are read with the same sense as the matrices.
    if (path.ends_with("/anim_test.x")) {
      ASSERT_FALSE(object.animationSets.empty());
      for (size_t n = 0; n < object.nodes.size(); ++n) {
        if (object.nodes[n].name != "joint2") continue;
        const glm::mat3 still = scene.At(placed.nodeFrames[n]).orientation;
        engine::SetAnimationTime(&scene, placed, object, 0, 0.0f);
        for (int c = 0; c < 3; ++c)
          ExpectNear(scene.At(placed.nodeFrames[n]).orientation[c], still[c], "joint2 at tick 0");
      }
    }
    for (size_t set = 0; set < object.animationSets.size(); ++set) {
      engine::SetAnimationTime(&scene, placed, object, static_cast<int32_t>(set),
                               object.animationSets[set].duration / 2);
    }
    std::printf("loaded %s: %zu nodes, %zu meshes, %zu faces, %zu animation sets\n", path.c_str(), object.nodes.size(),
                object.meshes.size(), faces, object.animationSets.size());
  }
  EXPECT_GT(loaded, 0);
}

// The hoods mkdata writes: each half loads with its face count, lies on its side of x = 0 within
// the unit shape, and every face is front (and its normals point) towards the centre.
TEST(Hoods, LoadWithTheirFaceCountsAndFaceTheCentre) {
  testing_support::TempFolder folder("vexel-hoods");
  ASSERT_TRUE(folder.ok());
  ASSERT_TRUE(mkdata::WriteHoods(folder.path()));
  const size_t faceCounts[mkdata::kHoodTypes] = {64, 272, 480, 64, 10};
  for (int type = 0; type < mkdata::kHoodTypes; ++type) {
    for (bool firstHalf : {true, false}) {
      const std::string name = mkdata::HoodFileName(type, firstHalf);
      XObject object;
      std::string error;
      ASSERT_TRUE(engine::LoadXFile(folder / name, nullptr, &object, &error)) << name << ": " << error;
      ASSERT_EQ(object.meshes.size(), 1u) << name;
      const engine::MeshBuilder& mesh = *object.meshes[0];
      EXPECT_EQ(mesh.FaceCount(), faceCounts[type]) << name;
      glm::vec3 min, max;
      ASSERT_TRUE(mesh.Box(&min, &max));
      EXPECT_NEAR(firstHalf ? min.x : max.x, 0.0f, kTolerance) << name;
      EXPECT_NEAR(firstHalf ? max.x : -min.x, 1.0f, kTolerance) << name;
      EXPECT_NEAR(max.y, 1.0f, kTolerance) << name;
      EXPECT_NEAR(min.y, type == 1 ? -0.25f : -1.0f, kTolerance) << name;
      for (size_t f = 0; f < mesh.FaceCount(); ++f) {
        const engine::MeshVertex* v = &mesh.Vertices()[f * 3];
        const glm::vec3 centre = (v[0].position + v[1].position + v[2].position) / 3.0f;
        EXPECT_LT(glm::dot(FaceNormal(v), centre), 0.0f) << name << " face " << f << " is front from outside";
        for (int k = 0; k < 3; ++k) {
          EXPECT_NEAR(glm::length(v[k].normal), 1.0f, kTolerance) << name;
          EXPECT_LT(glm::dot(v[k].normal, centre), 0.0f) << name << " face " << f << " normal points outwards";
          EXPECT_TRUE(v[k].uv.x >= (firstHalf ? 0.0f : 0.5f) - kTolerance &&
                      v[k].uv.x <= (firstHalf ? 0.5f : 1.0f) + kTolerance)
              << name << " u " << v[k].uv.x;
          EXPECT_NEAR(v[k].uv.y, (1.0f - v[k].position.y) / 2.0f, kTolerance) << name;
        }
      }
      EXPECT_EQ(mesh.Vertices()[0].rgba, 0xFFFEFEFEu) << name << ": white, as colours are stored";
    }
  }
  EXPECT_EQ(mkdata::HoodText(mkdata::kHoodTypes, true), "");
}

}  // namespace
