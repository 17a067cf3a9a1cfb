// Element records: fields, thousandths, type names, the default camera and element insertion.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "model/model.h"

namespace {

using model::ElementField;
using model::InsertElement;
using model::Project;
using model::SetElementField;

TEST(Records, FieldsReadAndWrite) {
  EXPECT_EQ(ElementField("a|b||d", 3), "");
  EXPECT_EQ(ElementField("a|b||d", 4), "d");
  EXPECT_EQ(ElementField("a|b||d", 5), "");
  EXPECT_EQ(ElementField("1/1/2/1020", 4, '/'), "1020");
  EXPECT_EQ(SetElementField("a|b|c", 2, ""), "a||c");
  EXPECT_EQ(SetElementField("a|b", 4, "x"), "a|b||x");
  EXPECT_EQ(SetElementField("0/1", 2, "5", '/'), "0/5");
  EXPECT_STREQ(model::ElementTypeName(12), "BOUNDARY-type element");
  for (int32_t code : {4, 13, -1}) EXPECT_STREQ(model::ElementTypeName(code), "") << code;
}

TEST(Records, ParseMilli) {
  EXPECT_EQ(model::ParseMilli("1.5"), 1500);
  EXPECT_EQ(model::ParseMilli("-0.25"), -250);
  EXPECT_EQ(model::ParseMilli("7"), 7000);
  EXPECT_EQ(model::ParseMilli("0.0005"), 0);
  EXPECT_EQ(model::ParseMilli("12.3456"), 12345);
  EXPECT_EQ(model::ParseMilli("abc"), 0);
  // Too large for 32-bit thousandths: saturated, never wrapped to the other sign.
  EXPECT_EQ(model::ParseMilli("3000000"), INT32_MAX);
  EXPECT_EQ(model::ParseMilli("-3000000"), INT32_MIN);
}

TEST(Records, DefaultCamera) {
  const std::string record = "Camera|" + model::DefaultCameraRecord("/w/");
  EXPECT_EQ(ElementField(record, 2), "/w/cameras/default_.03d");
  EXPECT_EQ(ElementField(record, 3), "/w/sounds/null_.wav");
  EXPECT_EQ(ElementField(record, 11), "0.000");
  EXPECT_EQ(ElementField(record, 35), "1/1/2/1020");
  EXPECT_EQ(ElementField(record, 37), "160/120/479/359/0/20&40/7");
  EXPECT_EQ(ElementField(record, 40), "14815378");
  EXPECT_EQ(std::count(record.begin(), record.end(), '|'), 39);
}

std::string Element(const std::string& name, const std::string& parameters) {
  return SetElementField(SetElementField(name, 35, parameters), 36, "1");
}

Project ProjectOf(int count) {
  Project project;
  for (int i = 0; i < count; ++i) project.records.push_back(Element("e" + std::to_string(i), "0"));
  return project;
}

TEST(InsertElement, RenumbersElementReferences) {
  Project project = ProjectOf(5);
  // Kind 1 values at or past the index move, the new record's too; the kind-2 value 3 stays.
  project.records[4] = Element("e4", "2/1/3/1020/2/3/1016");
  project.records[1] = Element("e1", "3/1/1/1020/1/2/1016/1/4/1012");
  ASSERT_TRUE(InsertElement(&project, nullptr, Element("new", "1/1/0/1020"), 0));
  EXPECT_EQ(ElementField(project.records[0], 35), "1/1/1/1020");
  EXPECT_EQ(ElementField(project.records[5], 35), "2/1/4/1020/2/3/1016");
  EXPECT_EQ(ElementField(project.records[2], 35), "3/1/2/1020/1/3/1016/1/5/1012");
  ASSERT_TRUE(InsertElement(&project, nullptr, Element("mid", "0"), 3));
  EXPECT_EQ(ElementField(project.records[2], 35), "3/1/2/1020/1/4/1016/1/6/1012");

  // Appending, as the loader does, keeps references to elements not read yet.
  Project loading = ProjectOf(1);
  loading.records[0] = Element("e0", "1/1/7/1020");
  for (int i = 1; i < 8; ++i) ASSERT_TRUE(InsertElement(&loading, nullptr, Element("e", "0"), i));
  EXPECT_EQ(ElementField(loading.records[0], 35), "1/1/7/1020");
}

TEST(InsertElement, RefusalChangesNothing) {
  std::vector<uint8_t> map(model::kCollisionMapBytes, 9);
  Project full = ProjectOf(256);
  EXPECT_FALSE(InsertElement(&full, map.data(), Element("x", "0"), 0));
  EXPECT_EQ(full.records.size(), 256u);
  Project project = ProjectOf(3);
  project.elementBytes[0] = 4;
  EXPECT_FALSE(InsertElement(&project, map.data(), Element("x", "0"), -1));
  EXPECT_FALSE(InsertElement(&project, map.data(), Element("x", "0"), 4));
  EXPECT_EQ(project.records.size(), 3u);
  EXPECT_EQ(project.elementBytes[0], 4);
  EXPECT_EQ(std::count(map.begin(), map.end(), 9), static_cast<long>(map.size()));
}

TEST(InsertElement, ShiftsCollisionMap) {
  std::vector<uint8_t> map(model::kCollisionMapBytes, 0);
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) map[i * 256 + j] = static_cast<uint8_t>(10 * i + j + 1);
  }
  map[200 * 256 + 200] = 77;
  Project project = ProjectOf(3);
  ASSERT_TRUE(InsertElement(&project, map.data(), Element("x", "0"), 1));
  // Old 0 stays, old 1 -> 2, old 2 -> 3; row and column 1 are new and empty.
  const uint8_t expected[4][4] = {{1, 0, 2, 3}, {0, 0, 0, 0}, {11, 0, 12, 13}, {21, 0, 22, 23}};
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) EXPECT_EQ(map[i * 256 + j], expected[i][j]) << i << "," << j;
  }
  EXPECT_EQ(map[200 * 256 + 200], 77);

  // With 255 elements the shift fills the map's last row and column and stops there.
  std::vector<uint8_t> edge(model::kCollisionMapBytes, 0);
  edge[254 * 256 + 254] = 5;
  Project large = ProjectOf(255);
  ASSERT_TRUE(InsertElement(&large, edge.data(), Element("x", "0"), 0));
  EXPECT_EQ(edge[255 * 256 + 255], 5);
}

TEST(InsertElement, ShiftsByteTableAndMergeRange) {
  Project project = ProjectOf(5);
  project.elementBytes[0] = 5;
  project.elementBytes[1] = 6;
  project.mergeFirst = 2;
  project.mergeLast = 4;
  ASSERT_TRUE(InsertElement(&project, nullptr, Element("x", "0"), 1));
  EXPECT_EQ(project.elementBytes[0], 5);
  EXPECT_EQ(project.elementBytes[1], 0);
  EXPECT_EQ(project.elementBytes[2], 6);
  EXPECT_EQ(project.mergeFirst, 3);
  EXPECT_EQ(project.mergeLast, 5);
  ASSERT_TRUE(InsertElement(&project, nullptr, Element("y", "0"), 4));  // inside the range
  EXPECT_EQ(project.mergeFirst, 3);
  EXPECT_EQ(project.mergeLast, 6);
}

}  // namespace
