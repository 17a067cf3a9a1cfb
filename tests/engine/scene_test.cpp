// The scene graph: frame transforms and handedness, positions and orientations relative to other
// frames, visibility through ancestors, projection and screen transforms, animations, picking.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include <glm/geometric.hpp>
#include <glm/gtc/quaternion.hpp>

#include "engine/scene/scene.h"

namespace {

using engine::MeshBuilder;
using engine::MeshVertex;
using engine::scene::Animation;
using engine::scene::kNone;
using engine::scene::kTraversalHidden;
using engine::scene::PickHit;
using engine::scene::Scene;
using engine::scene::Viewport;

constexpr float kPi = std::numbers::pi_v<float>;

void ExpectNear(const glm::vec3& actual, const glm::vec3& expected, float tolerance = 1e-4f) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
}

// A square of two faces in the z = 0 plane of its frame, from -half to half in x and y.
std::unique_ptr<MeshBuilder> Square(float half) {
  auto mesh = std::make_unique<MeshBuilder>();
  auto at = [](float x, float y) {
    MeshVertex v;
    v.position = {x, y, 0.0f};
    return v;
  };
  mesh->AddFace(at(-half, -half), at(-half, half), at(half, half));
  mesh->AddFace(at(-half, -half), at(half, half), at(half, -half));
  return mesh;
}

// [SECTION] Frames

TEST(SceneFrames, RightIsUpCrossDirection) {
  Scene scene;
  const int32_t f = scene.CreateFrame(kNone);
  scene.SetOrientation(f, kNone, {0, 0, 1}, {0, 1, 0});
  ExpectNear(glm::vec3(scene.WorldMatrix(f) * glm::vec4(1, 0, 0, 0)), {1, 0, 0});

  // Facing +x with up +y, the right hand points to -z in a left-handed space.
  scene.SetOrientation(f, kNone, {1, 0, 0}, {0, 1, 0});
  ExpectNear(glm::vec3(scene.WorldMatrix(f) * glm::vec4(1, 0, 0, 0)), {0, 0, -1});
  ExpectNear(scene.At(f).orientation[0], {0, 0, -1});
}

TEST(SceneFrames, WorldMatrixAppliesScaleOrientationPositionThenParent) {
  Scene scene;
  const int32_t parent = scene.CreateFrame(kNone);
  const int32_t child = scene.CreateFrame(parent);
  EXPECT_EQ(scene.RootOf(child), parent);
  EXPECT_EQ(scene.At(parent).children, std::vector<int32_t>{child});
  scene.At(parent).position = {10, 0, 0};
  scene.SetOrientation(parent, kNone, {1, 0, 0}, {0, 1, 0});  // local z -> world x
  scene.At(child).position = {0, 0, 2};
  scene.At(child).scale = {3, 1, 1};
  // The child's local x (scaled by 3) is the parent's x, which points to world -z.
  ExpectNear(glm::vec3(scene.WorldMatrix(child) * glm::vec4(1, 0, 0, 1)), {12, 0, -3});
  ExpectNear(scene.GetPosition(child, kNone), {12, 0, 0});
}

TEST(SceneFrames, PositionsRelativeToAScaledRotatedReference) {
  Scene scene;
  const int32_t refParent = scene.CreateFrame(kNone);
  const int32_t reference = scene.CreateFrame(refParent);
  scene.At(refParent).position = {0, 5, 0};
  scene.At(reference).position = {1, 0, 0};
  scene.SetOrientation(reference, refParent, {1, 0, 0}, {0, 1, 0});
  scene.At(reference).scale = {2, 2, 2};

  const int32_t movedParent = scene.CreateFrame(kNone);
  scene.At(movedParent).position = {-4, 0, 0};
  scene.SetOrientation(movedParent, kNone, {0, 1, 0}, {0, 0, -1});
  const int32_t moved = scene.CreateFrame(movedParent);

  // One unit along the reference's direction is two world units along +x from (1, 5, 0).
  scene.SetPosition(moved, reference, {0, 0, 1});
  ExpectNear(scene.GetPosition(moved, kNone), {3, 5, 0});
  ExpectNear(scene.GetPosition(moved, reference), {0, 0, 1});
  // Stored relative to its own parent.
  ExpectNear(glm::vec3(scene.WorldMatrix(movedParent) * glm::vec4(scene.At(moved).position, 1)), {3, 5, 0});

  // Under a parent scaled to nothing no position reaches the target: the frame stays put.
  scene.At(movedParent).scale = glm::vec3(0.0f);
  const glm::vec3 before = scene.At(moved).position;
  scene.SetPosition(moved, kNone, {1, 1, 1});
  EXPECT_EQ(scene.At(moved).position, before);
  scene.SetOrientation(moved, kNone, {0, 0, 1}, {0, 1, 0});
  EXPECT_FALSE(std::isnan(scene.At(moved).orientation[0].x));
}

TEST(SceneFrames, OrientationRelativeToAReferenceRoundTripsAndKeepsScale) {
  Scene scene;
  const int32_t reference = scene.CreateFrame(kNone);
  scene.SetOrientation(reference, kNone, {1, 0, 0}, {0, 1, 0});
  const int32_t parent = scene.CreateFrame(kNone);
  scene.SetOrientation(parent, kNone, {0, -1, 0}, {0, 0, 1});
  const int32_t f = scene.CreateFrame(parent);
  scene.At(f).scale = {2, 3, 4};

  // Neither unit nor perpendicular: up is straightened against the direction.
  scene.SetOrientation(f, reference, {0, 0, 5}, {0, 2, 2});
  glm::vec3 d, u;
  scene.GetOrientation(f, reference, &d, &u);
  ExpectNear(d, {0, 0, 1});
  ExpectNear(u, {0, 1, 0});
  // The reference faces +x, so its direction is the world's +x; its right is world -z.
  scene.GetOrientation(f, kNone, &d, &u);
  ExpectNear(d, {1, 0, 0});
  ExpectNear(u, {0, 1, 0});
  EXPECT_EQ(scene.At(f).scale, glm::vec3(2, 3, 4));

  // A parallel pair or a zero direction changes nothing.
  const glm::mat3 before = scene.At(f).orientation;
  scene.SetOrientation(f, kNone, {0, 1, 0}, {0, 3, 0});
  scene.SetOrientation(f, kNone, {0, 0, 0}, {0, 1, 0});
  EXPECT_EQ(scene.At(f).orientation, before);
}

// A space worked out once places siblings exactly as the forms taking the reference do, and one
// made for another parent is not misused.
TEST(SceneFrames, PlacementSpaceGivesTheSameBitsAsTheReferenceForms) {
  const auto makeScene = [](Scene* scene, int32_t* reference, int32_t* parent, int32_t* other) {
    const int32_t refParent = scene->CreateFrame(kNone);
    *reference = scene->CreateFrame(refParent);
    scene->At(refParent).position = {0.3f, 5, -2};
    scene->SetOrientation(refParent, kNone, {0.2f, 0.1f, 1}, {0, 1, 0.3f});
    scene->At(*reference).scale = {1.5f, 0.7f, 2};
    scene->SetOrientation(*reference, refParent, {1, 0.4f, 0}, {0.1f, 1, 0});
    *parent = scene->CreateFrame(kNone);
    scene->At(*parent).position = {-4, 1, 7};
    scene->At(*parent).scale = {0.9f, 1.1f, 3};
    scene->SetOrientation(*parent, kNone, {0, 1, 0.2f}, {0, 0, -1});
    *other = scene->CreateFrame(*reference);
    for (int i = 0; i < 3; ++i) scene->CreateFrame(*parent);
  };
  Scene direct, spaced;
  int32_t reference = kNone, parent = kNone, other = kNone;
  makeScene(&direct, &reference, &parent, &other);
  makeScene(&spaced, &reference, &parent, &other);
  const engine::scene::PlacementSpace space = spaced.SpaceOf(reference, parent);
  const std::vector<int32_t> siblings = spaced.At(parent).children;
  ASSERT_EQ(siblings.size(), 3u);
  for (size_t i = 0; i < siblings.size(); ++i) {
    const float t = static_cast<float>(i) + 0.37f;
    const glm::vec3 position(t, -2.0f * t, 0.5f), direction(std::sin(t), 0.3f, std::cos(t)), up(0.1f, 1.0f, t);
    direct.SetOrientation(siblings[i], reference, direction, up);
    direct.SetPosition(siblings[i], reference, position);
    spaced.SetOrientation(siblings[i], space, direction, up);
    spaced.SetPosition(siblings[i], space, position);
    const engine::scene::Frame& a = direct.At(siblings[i]);
    const engine::scene::Frame& b = spaced.At(siblings[i]);
    EXPECT_EQ(std::memcmp(&a.orientation, &b.orientation, sizeof(glm::mat3)), 0) << i;
    EXPECT_EQ(std::memcmp(&a.position, &b.position, sizeof(glm::vec3)), 0) << i;
  }
  // `other` hangs under the reference, not under the space's parent.
  direct.SetPosition(other, reference, {1, 2, 3});
  direct.SetOrientation(other, reference, {0, 1, 1}, {0, 1, 0});
  spaced.SetPosition(other, space, {1, 2, 3});
  spaced.SetOrientation(other, space, {0, 1, 1}, {0, 1, 0});
  EXPECT_EQ(std::memcmp(&direct.At(other).orientation, &spaced.At(other).orientation, sizeof(glm::mat3)), 0);
  ExpectNear(spaced.GetPosition(other, reference), {1, 2, 3});

  // A parent scaled to nothing, seen when the space is made: positions keep the frame where it was.
  spaced.At(parent).scale = glm::vec3(0.0f);
  const engine::scene::PlacementSpace flat = spaced.SpaceOf(reference, parent);
  const glm::vec3 before = spaced.At(siblings[0]).position;
  spaced.SetPosition(siblings[0], flat, {9, 9, 9});
  EXPECT_EQ(spaced.At(siblings[0]).position, before);
}

TEST(SceneFrames, ShownLooksAtEveryAncestor) {
  Scene scene;
  const int32_t root = scene.CreateFrame(kNone);
  const int32_t middle = scene.CreateFrame(root);
  const int32_t leaf = scene.CreateFrame(middle);
  EXPECT_TRUE(scene.Shown(leaf));
  scene.At(root).traversal = kTraversalHidden;
  EXPECT_FALSE(scene.Shown(leaf));
  scene.At(root).traversal = 1;  // any value but 0 shows
  scene.At(middle).traversal = kTraversalHidden;
  EXPECT_FALSE(scene.Shown(leaf));
  EXPECT_TRUE(scene.Shown(root));
  EXPECT_FALSE(scene.Shown(kNone));
  EXPECT_EQ(scene.CreateFrame(99), kNone);
}

// [SECTION] Viewports

TEST(SceneViewport, FieldSpansTheLargerSide) {
  Scene scene;
  Viewport view;
  view.camera = scene.CreateFrame(kNone);
  view.front = 2.0f;
  view.field = 1.0f;
  glm::vec3 screen;

  view.width = 200;
  view.height = 100;
  ASSERT_TRUE(view.Transform(scene, {1.0f, 0.5f, 2.0f}, &screen));
  ExpectNear(screen, {200, 0, 0});  // top-right corner, on the front plane
  ASSERT_TRUE(view.Transform(scene, {0.0f, 0.0f, 100.0f}, &screen));
  ExpectNear(screen, {100, 50, 1});

  view.width = 100;
  view.height = 200;
  ASSERT_TRUE(view.Transform(scene, {-0.5f, 1.0f, 2.0f}, &screen));
  ExpectNear(screen, {0, 0, 0});
  ASSERT_TRUE(view.Transform(scene, {0.0f, -1.0f, 2.0f}, &screen));
  ExpectNear(screen, {50, 200, 0});

  EXPECT_FALSE(view.Transform(scene, {0.0f, 0.0f, -1.0f}, &screen));
}

TEST(SceneViewport, CameraFrameMovesTheViewAndItsScaleIsIgnored) {
  Scene scene;
  Viewport view;
  view.camera = scene.CreateFrame(kNone);
  scene.At(view.camera).position = {5, 0, 0};
  scene.SetOrientation(view.camera, kNone, {1, 0, 0}, {0, 1, 0});
  scene.At(view.camera).scale = {3, 3, 3};
  glm::vec3 screen;
  // Looking along +x the camera's right is world -z.
  ASSERT_TRUE(view.Transform(scene, {5.0f + view.front, 0.0f, -view.field}, &screen));
  ExpectNear(screen, {640, 240, 0}, 1e-3f);
}

TEST(SceneViewport, InverseTransformUndoesTransform) {
  Scene scene;
  Viewport view;
  view.camera = scene.CreateFrame(kNone);
  scene.At(view.camera).position = {1, 2, -3};
  scene.SetOrientation(view.camera, kNone, {1, 0, 1}, {0, 1, 0});
  view.width = 320;
  view.height = 200;
  view.front = 0.5f;
  view.back = 50.0f;
  for (const glm::vec3 world : {glm::vec3(4, 2, 0), glm::vec3(10, -3, 12), glm::vec3(1.5f, 2.1f, -2.4f)}) {
    glm::vec3 screen;
    ASSERT_TRUE(view.Transform(scene, world, &screen));
    ExpectNear(view.InverseTransform(scene, screen), world, 2e-3f);
  }
  const glm::vec3 screen(17, 33, 0.25f);
  glm::vec3 again;
  ASSERT_TRUE(view.Transform(scene, view.InverseTransform(scene, screen), &again));
  ExpectNear(again, screen, 1e-3f);
}

// [SECTION] Animations

TEST(SceneAnimation, LinearAndSplineValues) {
  Scene scene;
  Animation& a = scene.AnimationAt(scene.CreateAnimation());
  a.frame = scene.CreateFrame(kNone);
  a.AddPositionKey(2, {2, 0, 0});
  a.AddPositionKey(0, {0, 0, 0});
  a.AddPositionKey(1, {1, 2, 0});
  a.AddPositionKey(3, {4, 0, 0});
  ASSERT_EQ(a.positions.size(), 4u);
  EXPECT_EQ(a.positions[1].time, 1.0f);
  a.AddPositionKey(1, {1, 1, 0});  // replaces
  ASSERT_EQ(a.positions.size(), 4u);

  a.SetTime(&scene, 1.5f);
  ExpectNear(scene.At(a.frame).position, {1.5f, 0.5f, 0});
  a.SetTime(&scene, -5.0f);
  ExpectNear(scene.At(a.frame).position, {0, 0, 0});
  a.SetTime(&scene, 9.0f);
  ExpectNear(scene.At(a.frame).position, {4, 0, 0});

  a.spline = true;
  for (const auto& key : a.positions) {
    a.SetTime(&scene, key.time);
    ExpectNear(scene.At(a.frame).position, key.value);
  }
  // Catmull-Rom halfway between (1,1) and (2,0), neighbours (0,0) and (4,0).
  a.SetTime(&scene, 1.5f);
  ExpectNear(scene.At(a.frame).position, {1.4375f, 0.5625f, 0});
  // Only positions were keyed.
  EXPECT_EQ(scene.At(a.frame).scale, glm::vec3(1));
  EXPECT_EQ(scene.At(a.frame).orientation, glm::mat3(1));
}

TEST(SceneAnimation, ClosedWrapsAndTheSplineClosesTheLoop) {
  Scene scene;
  Animation& a = scene.AnimationAt(scene.CreateAnimation());
  a.frame = scene.CreateFrame(kNone);
  a.closed = true;
  a.AddScaleKey(1, {1, 1, 1});
  a.AddScaleKey(2, {3, 1, 1});
  a.AddScaleKey(4, {5, 1, 1});
  a.SetTime(&scene, 5.5f);  // 1.5
  ExpectNear(scene.At(a.frame).scale, {2, 1, 1});
  a.SetTime(&scene, -3.5f);  // 0.5: halfway from the last key (at 0) back to the first
  ExpectNear(scene.At(a.frame).scale, {3, 1, 1});

  // Four points on a square, the last key repeating the first at the loop's end.
  Animation& b = scene.AnimationAt(scene.CreateAnimation());
  b.frame = scene.CreateFrame(kNone);
  b.closed = true;
  b.spline = true;
  const glm::vec3 corners[] = {{1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}, {1, 0, 0}};
  for (int i = 0; i < 5; ++i) b.AddPositionKey(static_cast<float>(i), corners[i]);
  // Symmetric neighbours everywhere: each half-way point lies the same distance from the centre,
  // including the ones beside the seam.
  b.SetTime(&scene, 0.5f);
  const float r = glm::length(scene.At(b.frame).position);
  for (float t : {1.5f, 2.5f, 3.5f, 7.5f}) {
    b.SetTime(&scene, t);
    EXPECT_NEAR(glm::length(scene.At(b.frame).position), r, 1e-5f) << t;
  }
  EXPECT_GT(r, std::sqrt(0.5f) + 0.05f);  // bulges out beyond the chord
}

TEST(SceneAnimation, RotationsTakeTheShortWayAndSetDirectionAndUp) {
  Scene scene;
  Animation& a = scene.AnimationAt(scene.CreateAnimation());
  a.frame = scene.CreateFrame(kNone);
  const glm::quat turned = glm::angleAxis(kPi / 2, glm::vec3(0, 1, 0));
  a.AddRotateKey(0, glm::quat(2, 0, 0, 0));  // not unit
  a.AddRotateKey(1, -turned);               // the same rotation, far hemisphere
  a.SetTime(&scene, 1.0f);
  glm::vec3 d, u;
  scene.GetOrientation(a.frame, kNone, &d, &u);
  ExpectNear(d, turned * glm::vec3(0, 0, 1));
  ExpectNear(u, {0, 1, 0});
  ExpectNear(scene.At(a.frame).orientation[0], glm::cross(u, d));
  a.SetTime(&scene, 0.5f);
  scene.GetOrientation(a.frame, kNone, &d, &u);
  ExpectNear(d, {std::sqrt(0.5f), 0, std::sqrt(0.5f)});
}

TEST(SceneAnimation, DeleteKeyRemovesEveryKindAtThatTime) {
  Animation a;
  a.AddPositionKey(1, {1, 0, 0});
  a.AddScaleKey(1, {2, 2, 2});
  a.AddRotateKey(1, glm::quat(1, 0, 0, 0));
  a.AddPositionKey(2, {2, 0, 0});
  a.DeleteKey(1);
  ASSERT_EQ(a.positions.size(), 1u);
  EXPECT_EQ(a.positions[0].time, 2.0f);
  EXPECT_TRUE(a.scales.empty());
  EXPECT_TRUE(a.rotations.empty());
  a.DeleteKey(2);
  EXPECT_TRUE(a.Empty());
  a.SetTime(nullptr, 0.0f);  // no scene, no frame: nothing happens
}

// [SECTION] Picking

struct PickScene {
  Scene scene;
  int32_t root = scene.CreateFrame(kNone);
  const MeshBuilder* square = scene.Own(Square(1.0f));
  int32_t Add(int32_t parent, const glm::vec3& position) {
    const int32_t f = scene.CreateFrame(parent);
    scene.At(f).position = position;
    scene.At(f).meshes.push_back(square);
    return f;
  }
};

TEST(ScenePick, NearestOfTwoWithPathAndPosition) {
  PickScene p;
  const int32_t group = p.scene.CreateFrame(p.root);
  const int32_t far = p.Add(group, {0, 0, 10});
  const int32_t near = p.Add(group, {0.5f, 0, 5});
  PickHit hit;
  ASSERT_TRUE(p.scene.Pick(p.root, {0, 0, 0}, {0, 0, 2}, &hit));
  EXPECT_EQ(hit.frame, near);
  EXPECT_EQ(hit.path, (std::vector<int32_t>{p.root, group, near}));
  ExpectNear(hit.position, {0, 0, 5});
  EXPECT_NEAR(hit.distance, 2.5f, 1e-5f);

  // Hidden frames are skipped, as are the children of hidden frames.
  p.scene.At(near).traversal = kTraversalHidden;
  ASSERT_TRUE(p.scene.Pick(p.root, {0, 0, 0}, {0, 0, 1}, &hit));
  EXPECT_EQ(hit.frame, far);
  p.scene.At(group).traversal = kTraversalHidden;
  EXPECT_FALSE(p.scene.Pick(p.root, {0, 0, 0}, {0, 0, 1}, &hit));
}

TEST(ScenePick, BackSidesAndOnlyAheadOfTheOrigin) {
  PickScene p;
  const int32_t f = p.Add(p.root, {0, 0, 5});
  PickHit hit;
  ASSERT_TRUE(p.scene.Pick(p.root, {0.2f, 0.3f, 9}, {0, 0, -1}, &hit));
  EXPECT_EQ(hit.frame, f);
  EXPECT_NEAR(hit.distance, 4.0f, 1e-5f);
  EXPECT_FALSE(p.scene.Pick(p.root, {0, 0, 9}, {0, 0, 1}, &hit));
  EXPECT_FALSE(p.scene.Pick(p.root, {1.5f, 0, 0}, {0, 0, 1}, &hit));
}

TEST(ScenePick, RotatedAndScaledFramesUnderMovedParents) {
  PickScene p;
  const int32_t parent = p.scene.CreateFrame(p.root);
  p.scene.At(parent).position = {100, 0, 0};
  p.scene.At(parent).scale = {2, 2, 2};
  const int32_t f = p.Add(parent, {0, 0, 0});
  // The square faces +x (its plane is the world's y-z plane), stretched 3 times along its x axis,
  // which now points to world -z, then doubled by the parent.
  p.scene.SetOrientation(f, kNone, {1, 0, 0}, {0, 1, 0});
  p.scene.At(f).scale = {3, 1, 1};
  PickHit hit;
  ASSERT_TRUE(p.scene.Pick(p.root, {90, 1.5f, 5.5f}, {1, 0, 0}, &hit));
  EXPECT_EQ(hit.frame, f);
  ExpectNear(hit.position, {100, 1.5f, 5.5f});
  EXPECT_NEAR(hit.distance, 10.0f, 1e-4f);
  EXPECT_FALSE(p.scene.Pick(p.root, {90, 2.5f, 0}, {1, 0, 0}, &hit));
  EXPECT_FALSE(p.scene.Pick(p.root, {90, 0, 6.5f}, {1, 0, 0}, &hit));

  // Picking under a frame that is not a root still places its tree in the world.
  ASSERT_TRUE(p.scene.Pick(parent, {90, 0, 0}, {1, 0, 0}, &hit));
  EXPECT_EQ(hit.path, (std::vector<int32_t>{parent, f}));
}

TEST(ScenePick, MeshesGrownAfterAPickAreSeen) {
  PickScene p;
  auto owned = std::make_unique<MeshBuilder>();
  MeshBuilder* mesh = owned.get();
  const int32_t f = p.scene.CreateFrame(p.root);
  p.scene.At(f).meshes.push_back(p.scene.Own(std::move(owned)));
  PickHit hit;
  EXPECT_FALSE(p.scene.Pick(p.root, {5, 5, -1}, {0, 0, 1}, &hit));
  MeshVertex a, b, c;
  a.position = {4, 4, 0};
  b.position = {4, 6, 0};
  c.position = {6, 5, 0};
  mesh->AddFace(a, b, c);
  EXPECT_TRUE(p.scene.Pick(p.root, {5, 5, -1}, {0, 0, 1}, &hit));
  // Moved in place: the kept box is stale until forgotten.
  for (auto& v : mesh->Vertices()) v.position.x += 10;
  p.scene.ForgetPickBounds();
  EXPECT_TRUE(p.scene.Pick(p.root, {15, 5, -1}, {0, 0, 1}, &hit));
}

}  // namespace
