// Polygon collision: the triangle test, the overlap box and its contact, mode 0's normals against
// a test of every pair, and the part and contact routines.
#include <gtest/gtest.h>

#include <glm/geometric.hpp>

#include "instructions/routine_fixture.h"

namespace {

using instructions::PolygonContact;
using instructions::PolygonObject;
using instructions::PolygonTriangle;

// A cube of side `side` centred at `centre`, two outward-facing triangles per face.
PolygonObject Cube(glm::vec3 centre, float side = 1.0f) {
  PolygonObject cube;
  cube.position = centre;
  const float h = side / 2;
  for (int axis = 0; axis < 3; ++axis) {
    for (const float sign : {-1.0f, 1.0f}) {
      const int u = (axis + 1) % 3, v = (axis + 2) % 3;
      glm::vec3 corners[4];
      for (int k = 0; k < 4; ++k) {
        glm::vec3 p(0.0f);
        p[axis] = sign * h;
        p[u] = (k == 1 || k == 2) ? h : -h;
        p[v] = (k >= 2) ? h : -h;
        corners[k] = centre + p;
      }
      if (sign > 0) {
        cube.triangles.push_back({corners[0], corners[1], corners[2]});
        cube.triangles.push_back({corners[0], corners[2], corners[3]});
      } else {
        cube.triangles.push_back({corners[0], corners[2], corners[1]});
        cube.triangles.push_back({corners[0], corners[3], corners[2]});
      }
    }
  }
  return cube;
}

TEST(TrianglesMeet, CrossingTouchingApartAndFlat) {
  const PolygonTriangle flat = {glm::vec3(0, 0, 0), glm::vec3(2, 0, 0), glm::vec3(0, 0, 2)};
  EXPECT_TRUE(instructions::TrianglesMeet(flat, {glm::vec3(0.5f, -1, 0.5f), glm::vec3(0.5f, 1, 0.5f), glm::vec3(1, 1, 0.5f)}));
  EXPECT_FALSE(instructions::TrianglesMeet(flat, {glm::vec3(3, -1, 3), glm::vec3(3, 1, 3), glm::vec3(4, 1, 3)}));
  EXPECT_FALSE(instructions::TrianglesMeet(flat, {glm::vec3(0.2f, 0.1f, 0.2f), glm::vec3(1, 0.1f, 0.2f), glm::vec3(0.2f, 1, 0.2f)}));
  EXPECT_TRUE(instructions::TrianglesMeet(flat, {glm::vec3(0.2f, 0, 0.2f), glm::vec3(1, 0, 0.2f), glm::vec3(0.2f, 1, 0.2f)}));
  // In one plane: overlapping, and apart across the long edge (no face or cross axis says so).
  EXPECT_TRUE(instructions::TrianglesMeet(flat, {glm::vec3(1, 0, 1), glm::vec3(3, 0, 1), glm::vec3(1, 0, 3)}));
  EXPECT_FALSE(instructions::TrianglesMeet(flat, {glm::vec3(1.1f, 0, 1.1f), glm::vec3(3, 0, 3), glm::vec3(1.1f, 0, 3)}));
  // No area: never meets, so it adds no normal.
  EXPECT_FALSE(instructions::TrianglesMeet(flat, {glm::vec3(0.5f, -1, 0.5f), glm::vec3(0.5f, 1, 0.5f), glm::vec3(0.5f, 0, 0.5f)}));
}

TEST(PolygonCollision, OverlapBoxCentreAndPositionsInBoxMode) {
  PolygonObject a = Cube(glm::vec3(0.0f)), b = Cube(glm::vec3(0.8f, 0.2f, 0.1f));
  b.rotation = glm::mat3(0, 0, -1, 0, 1, 0, 1, 0, 0);  // object 2 turned a quarter about y
  PolygonContact contact;
  ASSERT_EQ(instructions::PolygonCollision(a, b, 1, &contact), -1);
  // Overlap x 0.3..0.5, y -0.3..0.5, z -0.4..0.5.
  EXPECT_FLOAT_EQ(contact.point[0][0], 0.4f);
  EXPECT_FLOAT_EQ(contact.point[0][1], 0.1f);
  EXPECT_FLOAT_EQ(contact.point[0][2], 0.05f);
  EXPECT_FLOAT_EQ(contact.point[1][0], 0.4f);
  // Relative to object 2: (-0.4, -0.1, -0.05) turned back by its rotation.
  const glm::vec3 back = glm::inverse(b.rotation) * glm::vec3(-0.4f, -0.1f, -0.05f);
  EXPECT_NEAR(contact.point[2][0], back.x, 1e-6);
  EXPECT_NEAR(contact.point[2][2], back.z, 1e-6);
  EXPECT_FLOAT_EQ(contact.normal[0][0], -0.8f);
  EXPECT_FLOAT_EQ(contact.normal[0][1], -0.2f);
  // Apart: 0; no faces: 0.
  EXPECT_EQ(instructions::PolygonCollision(a, Cube(glm::vec3(1.01f, 0, 0)), 1, &contact), 0);
  EXPECT_EQ(instructions::PolygonCollision(a, PolygonObject(), 1, &contact), 0);
}

TEST(PolygonCollision, ModeZeroNormalsMatchATestOfEveryPair) {
  const PolygonObject a = Cube(glm::vec3(0.0f)), b = Cube(glm::vec3(0.8f, 0.2f, 0.1f));
  PolygonContact contact;
  ASSERT_EQ(instructions::PolygonCollision(a, b, 0, &contact), -1);
  glm::vec3 sums[2]{glm::vec3(0.0f), glm::vec3(0.0f)};
  int pairs = 0;
  for (const PolygonTriangle& s : a.triangles) {
    for (const PolygonTriangle& t : b.triangles) {
      if (!instructions::TrianglesMeet(s, t)) continue;
      sums[0] += glm::normalize(glm::cross(s[1] - s[0], s[2] - s[0]));
      sums[1] += glm::normalize(glm::cross(t[1] - t[0], t[2] - t[0]));
      ++pairs;
    }
  }
  ASSERT_GT(pairs, 0);
  const glm::vec3 n1 = glm::normalize(sums[0]), n2 = glm::normalize(sums[1]);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(contact.normal[1][i], n1[i], 1e-5);
    EXPECT_NEAR(contact.normal[2][i], n2[i], 1e-5);
  }
  // Object 1 meets object 2 with its +x, +y and +z faces, object 2 with its -x, -y and -z faces.
  for (int i = 0; i < 3; ++i) {
    EXPECT_GT(contact.normal[1][i], 0.0f);
    EXPECT_LT(contact.normal[2][i], 0.0f);
  }
  const bool second = glm::length(sums[1] / float(pairs)) > glm::length(sums[0] / float(pairs));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(contact.normal[0][i], contact.normal[second ? 2 : 1][i]);
  // Boxes that overlap while no triangles meet: one cube wholly inside a larger one.
  EXPECT_EQ(instructions::PolygonCollision(Cube(glm::vec3(0.0f), 4.0f), a, 0, &contact), 0);
  EXPECT_EQ(instructions::PolygonCollision(Cube(glm::vec3(0.0f), 4.0f), a, 2, &contact), -1);
}

TEST(PolygonCollision, BadCoordinatesGiveNoNaN) {
  PolygonObject a = Cube(glm::vec3(0.0f)), b = Cube(glm::vec3(0.5f));
  a.triangles[0][1] = glm::vec3(std::nanf(""), 0, 0);
  a.triangles[1] = {glm::vec3(0.1f), glm::vec3(0.1f), glm::vec3(0.1f)};
  b.rotation = glm::mat3(0.0f);
  PolygonContact contact;
  instructions::PolygonCollision(a, b, 0, &contact);
  for (const auto& v : contact.normal) {
    for (const float c : v) EXPECT_FALSE(std::isnan(c));
  }
  for (const float c : contact.point[2]) EXPECT_FALSE(std::isnan(c));
}

class PolygonRoutines : public testing_support::RoutineTest {};

TEST_F(PolygonRoutines, PartsContactReadersAndTheCountdown) {
  Call("h_cpart1_set", 1, 2, 3, 4, 5);
  Call("h_cpart2_set", static_cast<uint32_t>(-1), 0, 0, 0, 7);
  EXPECT_EQ(engine.play->collisions.part1, (std::array<int32_t, 5>{1, 2, 3, 4, 5}));
  EXPECT_EQ(engine.play->collisions.part2[4], 7);
  engine.play->collisions.contactPoint[1] = {0.5f, -0.25f, 1.0f};
  engine.play->collisions.contactNormal[0] = {0.0f, 1.0f, 0.0f};
  EXPECT_EQ(Call("h_cpoint_x", 1), 256000);
  EXPECT_EQ(Call("h_cpoint_y", 1), -128000);
  EXPECT_EQ(Call("h_cpoint_z", 1), 512000);
  EXPECT_EQ(Call("h_cnormal_y", 0), 512000);
  EXPECT_EQ(Call("h_cnormal_y", 3), 3);  // other kinds return the argument
  EXPECT_EQ(Call("h_cpoint_x", static_cast<uint32_t>(-1)), -1);
  // The first five ticks answer 0; frame handles and elements without an .x visual always do.
  for (int tick = 0; tick < 5; ++tick) {
    EXPECT_EQ(engine.play->collisions.polygonCountdown, 5 - tick);
    instructions::CountDownPolygonTest(*engine.play);
  }
  EXPECT_EQ(engine.play->collisions.polygonCountdown, 0);
  instructions::CountDownPolygonTest(*engine.play);
  EXPECT_EQ(engine.play->collisions.polygonCountdown, 0);
  EXPECT_EQ(Call("h_poly_collision", 0x80000001u, 0x80000002u, 0), 0);
  EXPECT_EQ(Call("h_poly_collision", Address(0), Address(1), 0), 0);
}

}  // namespace
