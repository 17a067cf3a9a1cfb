// The scene bridge's arithmetic: the fixed-point orientation, the scale path's rotation that must
// look the same, the forward ray, the .x animation clock; and the update placing elements' frames.
#include <cmath>
#include <cstring>
#include <vector>

#include <glm/gtc/quaternion.hpp>
#include <gtest/gtest.h>

#include "engine/engine.h"
#include "mkdata/mkdata.h"
#include "model/model.h"

namespace {

std::vector<int32_t> SineTable() {
  const std::vector<uint8_t> bytes = mkdata::FineSineTable();
  std::vector<int32_t> table(bytes.size() / 4);
  std::memcpy(table.data(), bytes.data(), bytes.size());
  return table;
}

struct Record {
  int32_t words[model::kRecordWords] = {};
  Record(int32_t x, int32_t y, int32_t z) {
    words[model::kWordRotationX] = x;
    words[model::kWordRotationY] = y;
    words[model::kWordRotationZ] = z;
  }
  void Child(int32_t x, int32_t y, int32_t z) {
    words[model::kWordChildRotationX] = x;
    words[model::kWordChildRotationY] = y;
    words[model::kWordChildRotationZ] = z;
    words[model::kWordStatus] |= static_cast<int32_t>(model::kStatusChildOffset);
  }
};

glm::vec3 Direction(const engine::FixedOrientation& o) {
  return glm::vec3(o.direction[0], o.direction[1], o.direction[2]) / 65536.0f;
}
glm::vec3 Up(const engine::FixedOrientation& o) { return glm::vec3(o.up[0], o.up[1], o.up[2]) / 65536.0f; }

float DegreesBetween(glm::vec3 a, glm::vec3 b) {
  const float c = glm::dot(glm::normalize(a), glm::normalize(b));
  return glm::degrees(std::acos(std::clamp(c, -1.0f, 1.0f)));
}

TEST(FixedOrientation, StepsBelowOneTableEntryAreSkipped) {
  const std::vector<int32_t> sine = SineTable();
  const engine::FixedOrientation still = engine::OrientationOf(sine.data(), Record(63, 63, 63).words);
  EXPECT_EQ(Direction(still), glm::vec3(0, 0, 1));
  EXPECT_EQ(Up(still), glm::vec3(0, 1, 0));
  // 64 units: one eighth of a degree about x tips the direction down (y = -sin).
  const engine::FixedOrientation turned = engine::OrientationOf(sine.data(), Record(64, 0, 0).words);
  EXPECT_EQ(turned.direction[0], 0);
  EXPECT_EQ(turned.direction[1], static_cast<int32_t>((-static_cast<int64_t>(sine[1]) * 65536) >> 15));
  EXPECT_LT(turned.direction[1], 0);
  EXPECT_NEAR(DegreesBetween(Direction(turned), glm::vec3(0, 0, 1)), 0.125f, 0.01f);
}

TEST(FixedOrientation, NegativeAnglesWrapWithTheShortModulus) {
  EXPECT_EQ(model::WrapAngle(-1), 184318);
  EXPECT_EQ(model::WrapAngle(184320), 1);
  const std::vector<int32_t> sine = SineTable();
  // -1 wraps to 184318, table entry 2879: a turn of -1/8 degree about y.
  const engine::FixedOrientation o = engine::OrientationOf(sine.data(), Record(0, -1, 0).words);
  const engine::FixedOrientation same = engine::OrientationOf(sine.data(), Record(0, 184318, 0).words);
  EXPECT_EQ(std::memcmp(&o, &same, sizeof o), 0);
  EXPECT_NE(o.direction[0], 0);
}

TEST(FixedOrientation, HeadingTurnsTowardsMinusX) {
  // A quarter turn about y: the fixed-point turn is z' = cos z + sin x, x' = cos x - sin z.
  const std::vector<int32_t> sine = SineTable();
  const engine::FixedOrientation o = engine::OrientationOf(sine.data(), Record(0, 46080, 0).words);
  EXPECT_NEAR(o.direction[0], -65536, 2);
  EXPECT_NEAR(o.direction[2], 0, 2);
}

// The scale path must show an element the way the fixed-point path does.
TEST(ScaledPath, MatchesTheFixedPointOrientationOverAGrid) {
  const std::vector<int32_t> sine = SineTable();
  float worst = 0.0f;
  for (int32_t x = -92160; x <= 92160; x += 23040) {
    for (int32_t y = 0; y < 184320; y += 30720) {
      for (int32_t z = -46080; z <= 46080; z += 15360) {
        for (const bool child : {false, true}) {
          Record record(x, y, z);
          if (child) record.Child(11520, -23040, 5760);
          const engine::FixedOrientation fixed = engine::OrientationOf(sine.data(), record.words);
          const glm::quat q = engine::ScaledPathRotation(record.words);
          worst = std::max(worst, DegreesBetween(q * glm::vec3(0, 0, 1), Direction(fixed)));
          worst = std::max(worst, DegreesBetween(q * glm::vec3(0, 1, 0), Up(fixed)));
        }
      }
    }
  }
  EXPECT_LT(worst, 0.1f);
}

TEST(ForwardRay, SumsChildRotationBeforeWrapping) {
  const std::vector<int32_t> sine = SineTable();
  Record record(0, 30000, 0);
  record.Child(0, 16080, 0);
  int32_t forward[3];
  engine::ForwardOf(sine.data(), record.words, forward);
  const engine::FixedOrientation quarter = engine::OrientationOf(sine.data(), Record(0, 46080, 0).words);
  EXPECT_EQ(forward[0], quarter.direction[0]);
  EXPECT_EQ(forward[2], quarter.direction[2]);
}

TEST(AnimationClock, WrapsIntoTheLoopRange) {
  // start below end: the range wraps both ways and stays inside.
  EXPECT_EQ(engine::NextAnimationTime(5, 3, 0, 9), 8);
  EXPECT_EQ(engine::NextAnimationTime(8, 3, 0, 9), 1);
  EXPECT_EQ(engine::NextAnimationTime(2, -5, 0, 9), 7);
  EXPECT_EQ(engine::NextAnimationTime(0, -10, 0, 9), 0);
  EXPECT_EQ(engine::NextAnimationTime(100, 1000, 100, 1999), 1100);
  EXPECT_EQ(engine::NextAnimationTime(1500, 1000, 100, 1999), 600);
  // start equal to end: no range, the time runs on.
  EXPECT_EQ(engine::NextAnimationTime(7, 5, 4, 4), 12);
  // start above end: the time sits at the end.
  EXPECT_EQ(engine::NextAnimationTime(7, 5, 9, 3), 3);
}

// A built bridge over `elements` shown visual elements, each on slot `slotOf(element)` of `slots`
// visual slots showing one triangle.
struct BridgeWorld {
  core::Arena arena;
  engine::AspectMemory aspects;
  engine::TextureCache textures{""};
  engine::BuiltFrame visual;
  engine::SceneBridge bridge;
  std::vector<uint32_t> addresses;

  BridgeWorld(int32_t elements, int32_t slots, int32_t (*slotOf)(int32_t)) {
    if (!arena.Create()) return;
    const std::vector<uint8_t> sine = mkdata::FineSineTable();
    std::memcpy(arena.Host(core::Region::kSineFine), sine.data(), sine.size());
    visual.parts.emplace_back();
    engine::MeshVertex a, b, c;
    b.position = {1, 0, 0};
    c.position = {0, 1, 0};
    visual.parts.back().mesh.AddFace(a, b, c);
    aspects.Reset(&arena);
    for (int32_t i = 0; i < slots; ++i) {
      uint32_t address = 0;
      int32_t* slot = aspects.NextSlot(&address);
      slot[engine::kSlotTag] = static_cast<int32_t>(engine::kVisualTag);
      addresses.push_back(address);
      engine::SlotSide side;
      side.element = i;
      side.visual = &visual;
      bridge.Sides().push_back(side);
    }
    for (int32_t element = 0; element < elements; ++element) {
      int32_t* record = Record(element);
      record[model::kWordCurrentAspect] = static_cast<int32_t>(addresses[static_cast<size_t>(slotOf(element))]);
      record[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn | model::kStatusVisible);
      record[model::kWordScaleX] = record[model::kWordScaleY] = record[model::kWordScaleZ] = 1000;
    }
    engine::SceneSources sources;
    sources.arena = &arena;
    sources.lastElement = elements - 1;
    sources.textures = &textures;
    sources.root = "/nonexistent-bridge-test/";
    sources.dataFolder = "/nonexistent-bridge-test/data/";
    bridge.Build(sources);
  }
  ~BridgeWorld() { bridge.Release(nullptr); }
  int32_t* Record(int32_t element) const {
    return arena.As<int32_t>(core::Region::kElementRecords) + element * model::kRecordWords;
  }
  glm::vec3 Direction(int32_t slot) const {
    glm::vec3 d;
    const engine::scene::Scene& graph = bridge.Graph();
    graph.GetOrientation(bridge.Sides()[static_cast<size_t>(slot)].frame, bridge.MainScene(), &d, nullptr);
    return d;
  }
};

// Every element's frame takes its own record's placement, frame after frame.
TEST(SceneUpdate, PlacesEveryElementFromItsRecord) {
  BridgeWorld world(40, 40, [](int32_t element) { return element; });
  ASSERT_TRUE(world.bridge.Built());
  for (int pass = 0; pass < 2; ++pass) {
    for (int32_t element = 0; element < 40; ++element) {
      int32_t* record = world.Record(element);
      record[model::kWordPositionX] = (element - 20) * 512000 + pass * 5120;
      record[model::kWordRotationY] = element * 4608 + pass * 640;
      // Every fourth element on the scale path, the others on the fixed-point one.
      const int32_t scale = element % 4 == 0 ? 2000 : 1000;
      record[model::kWordScaleX] = record[model::kWordScaleY] = record[model::kWordScaleZ] = scale;
    }
    world.bridge.Update(nullptr, false);
    const std::vector<int32_t> sine = SineTable();
    for (int32_t element = 0; element < 40; ++element) {
      const int32_t* record = world.Record(element);
      const int32_t frame = world.bridge.Sides()[static_cast<size_t>(element)].frame;
      const glm::vec3 at = world.bridge.Graph().GetPosition(frame, world.bridge.MainScene());
      EXPECT_NEAR(at.x, static_cast<float>(record[model::kWordPositionX]) / 512000.0f, 1e-5f) << element;
      EXPECT_LT(DegreesBetween(world.Direction(element), Direction(engine::OrientationOf(sine.data(), record))), 0.1f)
          << element;
      EXPECT_FLOAT_EQ(world.bridge.Graph().At(frame).scale.x, element % 4 == 0 ? 2.0f : 1.0f) << element;
    }
  }
}

// Two elements showing the same slot: the later one places it, whichever path each takes.
TEST(SceneUpdate, TheLaterElementOnASharedSlotWins) {
  const std::vector<int32_t> sine = SineTable();
  for (const bool laterScaled : {false, true}) {
    BridgeWorld world(2, 1, [](int32_t) { return 0; });
    ASSERT_TRUE(world.bridge.Built());
    int32_t* earlier = world.Record(0);
    int32_t* later = world.Record(1);
    const int32_t earlierScale = laterScaled ? 1000 : 1500;
    const int32_t laterScale = laterScaled ? 1500 : 1000;
    earlier[model::kWordScaleX] = earlier[model::kWordScaleY] = earlier[model::kWordScaleZ] = earlierScale;
    later[model::kWordScaleX] = later[model::kWordScaleY] = later[model::kWordScaleZ] = laterScale;
    later[model::kWordRotationY] = 46080;  // a quarter turn away from the earlier one
    later[model::kWordPositionZ] = 512000;
    world.bridge.Update(nullptr, false);
    const int32_t frame = world.bridge.Sides()[0].frame;
    EXPECT_LT(DegreesBetween(world.Direction(0), Direction(engine::OrientationOf(sine.data(), later))), 0.1f)
        << laterScaled;
    EXPECT_FLOAT_EQ(world.bridge.Graph().At(frame).scale.x, static_cast<float>(laterScale) / 1000.0f);
    EXPECT_FLOAT_EQ(world.bridge.Graph().GetPosition(frame, world.bridge.MainScene()).z, 1.0f);
  }
}

}  // namespace
