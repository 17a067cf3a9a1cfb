// Boundary ground maps: the bucket lists of a mesh worked out by hand, the fast build against the
// bucket-by-bucket scan, the .m3d layout and its checked loader, the source checksum and the
// mesh ground height.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "model/model.h"
#include "support/run_program.h"

namespace {

using model::GroundMap;
using model::GroundTriangle;

GroundTriangle Tri(std::initializer_list<int32_t> v) {
  GroundTriangle t;
  int k = 0;
  for (int32_t x : v) t.v[k++] = x;
  return t;
}

std::set<std::pair<int, int>> BucketsOf(const GroundMap& map, int32_t triangle) {
  std::set<std::pair<int, int>> out;
  for (int b = 0; b < model::kGroundBuckets; ++b) {
    for (int32_t k = map.bucketStart[b]; k < map.bucketStart[b + 1]; ++k) {
      if (map.bucketTriangles[k] == triangle) out.insert({b / model::kGroundGrid, b % model::kGroundGrid});
    }
  }
  return out;
}

// f = 12800 (set by the wall at x = 6400), so every bucket is 100 mm square and bucket 64 starts
// at 0.
std::vector<GroundTriangle> HandMesh() {
  return {
      Tri({6400, 0, 0, 6400, 500, 0, 6400, 0, 100}),  // vertical wall: no area seen from above
      Tri({10, 5, 10, 60, 5, 10, 10, 5, 60}),         // wholly inside bucket (64, 64)
      // Beyond the corner (100, 100) of bucket (64, 64): it never touches that bucket, but the
      // bucket's test point (133, 133) a third outside its corner lies in it.
      Tri({140, 0, 90, 90, 0, 140, 200, 0, 200}),
  };
}

TEST(GroundMapBuild, HandWorkedMesh) {
  const GroundMap map = model::BuildGroundMap(HandMesh(), false, 77);
  EXPECT_EQ(map.width, 12800);
  EXPECT_EQ(map.checksum, 77u);
  ASSERT_EQ(map.triangles.size(), 3u);
  EXPECT_EQ(map.triangles[2].v[6], 200);
  EXPECT_EQ(model::GroundCellStart(64, map.width), 0);
  EXPECT_EQ(model::GroundCellStart(0, map.width), -6400);
  EXPECT_EQ(model::GroundCellStart(128, map.width), 6400);

  EXPECT_TRUE(BucketsOf(map, 0).empty()) << "a vertical wall is listed nowhere";
  EXPECT_EQ(BucketsOf(map, 1), (std::set<std::pair<int, int>>{{64, 64}}));
  // Its vertices make it (64, 65), (65, 64), (65, 65) and, through the corner (200, 200) they share,
  // (65, 66), (66, 65), (66, 66); (64, 64) through the outside test point only.
  EXPECT_EQ(BucketsOf(map, 2),
            (std::set<std::pair<int, int>>{{64, 64}, {64, 65}, {65, 64}, {65, 65}, {65, 66}, {66, 65}, {66, 66}}));
  // Lists keep triangle order.
  const int b = 64 * 128 + 64;
  ASSERT_EQ(map.BucketSize(b), 2);
  EXPECT_EQ(map.bucketTriangles[map.bucketStart[b]], 1);
  EXPECT_EQ(map.bucketTriangles[map.bucketStart[b] + 1], 2);
  EXPECT_EQ(map.ListedBuckets(), 7);
}

TEST(GroundMapBuild, ReversingTurnsEveryTriangleOverAndChangesNothingElse) {
  const GroundMap plain = model::BuildGroundMap(HandMesh(), false, 5);
  const GroundMap reversed = model::BuildGroundMap(HandMesh(), true, 5);
  EXPECT_EQ(reversed.width, plain.width);
  ASSERT_EQ(reversed.triangles.size(), plain.triangles.size());
  for (size_t i = 0; i < plain.triangles.size(); ++i) {
    const int32_t* p = plain.triangles[i].v;
    const int32_t* r = reversed.triangles[i].v;
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(r[k], p[k]);
      EXPECT_EQ(r[3 + k], p[6 + k]);
      EXPECT_EQ(r[6 + k], p[3 + k]);
    }
  }
  EXPECT_EQ(reversed.bucketStart, plain.bucketStart);
  EXPECT_EQ(reversed.bucketTriangles, plain.bucketTriangles);
}

TEST(GroundMapBuild, FlatOrEmptyMeshHasNoGround) {
  // A mesh without horizontal extent: f = 0, nothing listed, and no query divides by f.
  const GroundMap flat = model::BuildGroundMap({Tri({0, 0, 0, 0, 9, 0, 0, 3, 0})}, false, 1);
  EXPECT_EQ(flat.width, 0);
  EXPECT_EQ(flat.ListedBuckets(), 0);
  const model::GroundHit hit = model::MeshGroundHeight(flat, 0, 0, 0, 0);
  EXPECT_EQ(hit.height, 0);
  EXPECT_EQ(hit.triangle, -1);
  GroundMap hostile = flat;
  hostile.width = -12800;
  int32_t row = 0, column = 0;
  EXPECT_FALSE(model::GroundBucketAt(hostile, 0, 0, &row, &column));
  // A map of no triangles is a sound file that loads.
  const GroundMap empty = model::BuildGroundMap({}, false, 0);
  EXPECT_EQ(empty.ListedBuckets(), 0);
  GroundMap loaded;
  std::string reason;
  EXPECT_TRUE(model::DecodeGroundMap(model::EncodeGroundMap(empty), &loaded, &reason)) << reason;
  EXPECT_TRUE(loaded.triangles.empty());
}

// Random meshes of every awkward shape: slivers, huge triangles reaching the 32-bit limits,
// degenerate ones, vertices on bucket edges. The fast build must give the scan's exact bytes.
TEST(GroundMapBuild, FastBuildGivesTheScansBytes) {
  std::mt19937 random(1234);
  auto pick = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(random); };
  auto clamp = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  for (int mesh = 0; mesh < 12; ++mesh) {
    std::vector<GroundTriangle> triangles;
    const int32_t span = mesh % 4 == 3 ? INT32_MAX : pick(100, 200000);
    for (int i = 0; i < 24; ++i) {
      GroundTriangle t;
      for (int k = 0; k < 9; ++k) t.v[k] = pick(-span, span);
      switch (i % 6) {
        case 1:  // sliver
          t.v[6] = clamp(int64_t{t.v[0]} + pick(-2, 2));
          t.v[8] = clamp(int64_t{t.v[2]} + (int64_t{t.v[5]} - t.v[2]) / 2 + pick(-1, 1));
          break;
        case 2:  // small, within a few buckets
          for (int k : {3, 5, 6, 8}) t.v[k] = clamp(int64_t{t.v[k % 3 == 0 ? 0 : 2]} + pick(-span / 100 - 1, span / 100 + 1));
          break;
        case 3:  // no area from above
          t.v[6] = t.v[3];
          t.v[8] = t.v[5];
          break;
        case 4:  // vertices on multiples of the bucket size
          for (int k : {0, 2, 3, 5, 6, 8}) t.v[k] = static_cast<int32_t>(static_cast<int64_t>(t.v[k]) / 1000 * 1000);
          break;
        default:
          break;
      }
      triangles.push_back(t);
    }
    const bool reverse = mesh % 2 == 1;
    const GroundMap fast = model::BuildGroundMap(triangles, reverse, 9);
    const GroundMap scan = model::BuildGroundMapByScan(triangles, reverse, 9);
    EXPECT_EQ(model::EncodeGroundMap(fast), model::EncodeGroundMap(scan)) << "mesh " << mesh;
    EXPECT_GT(fast.ListedBuckets(), 0) << "mesh " << mesh;
  }
}

// [SECTION] File

uint32_t WordAt(const std::string& bytes, size_t at) {
  uint32_t w;
  std::memcpy(&w, bytes.data() + at, 4);
  return w;
}

void SetWord(std::string* bytes, size_t at, uint32_t w) { std::memcpy(bytes->data() + at, &w, 4); }

TEST(GroundMapFile, LayoutAndRoundTrip) {
  const GroundMap map = model::BuildGroundMap(HandMesh(), false, 0xDEADBEEF);
  const std::string bytes = model::EncodeGroundMap(map);
  // 3 triangles, the index, 7 lists: one of two triangles, six of one.
  ASSERT_EQ(bytes.size(), 64u + 3 * 36 + 65536 + 7 * 4 + 8 * 4);
  EXPECT_EQ(bytes.substr(0, 4), "d3m.");
  EXPECT_EQ(WordAt(bytes, 4), 64u);
  EXPECT_EQ(WordAt(bytes, 8), 64u + 108);
  EXPECT_EQ(WordAt(bytes, 12), 12800u);
  EXPECT_EQ(WordAt(bytes, 16), 0xDEADBEEFu);
  EXPECT_EQ(bytes.substr(20, 44), std::string(44, '\0'));
  EXPECT_EQ(WordAt(bytes, 64 + 36 + 4), 5u);  // y1 of triangle 1
  // Bucket (64, 64) is the first listed one: its list follows the index directly.
  const size_t index = 64 + 108;
  EXPECT_EQ(WordAt(bytes, index + (64 * 128 + 64) * 4), 108u + 65536);
  EXPECT_EQ(WordAt(bytes, index + 65536), 2u);
  EXPECT_EQ(WordAt(bytes, index + 65536 + 4), 36u);
  EXPECT_EQ(WordAt(bytes, index + 65536 + 8), 72u);
  EXPECT_EQ(WordAt(bytes, index + (64 * 128 + 65) * 4), 108u + 65536 + 12);
  EXPECT_EQ(WordAt(bytes, index + (63 * 128 + 64) * 4), 0u);

  GroundMap loaded;
  std::string reason;
  ASSERT_TRUE(model::DecodeGroundMap(bytes, &loaded, &reason)) << reason;
  EXPECT_EQ(loaded.width, map.width);
  EXPECT_EQ(loaded.checksum, map.checksum);
  EXPECT_EQ(loaded.bucketStart, map.bucketStart);
  EXPECT_EQ(loaded.bucketTriangles, map.bucketTriangles);
  EXPECT_EQ(model::EncodeGroundMap(loaded), bytes);

  testing_support::TempFolder folder;
  ASSERT_TRUE(folder.ok());
  ASSERT_TRUE(model::WriteGroundMap(folder / "a.m3d", map, &reason)) << reason;
  EXPECT_EQ(model::StoredGroundChecksum(folder / "a.m3d"), 0xDEADBEEFu);
  EXPECT_EQ(folder.Files(), std::vector<std::string>{"a.m3d"}) << "no temporary left behind";
  EXPECT_EQ(model::StoredGroundChecksum(folder / "missing.m3d"), 0u);
}

TEST(GroundMapFile, LoaderRefusesEveryDamageWithAReason) {
  const std::string good = model::EncodeGroundMap(model::BuildGroundMap(HandMesh(), false, 3));
  const size_t index = 64 + 108;
  const size_t firstList = index + (64 * 128 + 64) * 4;
  struct Case {
    const char* name;
    std::string bytes;
    const char* reason;
  };
  auto with = [&](size_t at, uint32_t w) {
    std::string b = good;
    SetWord(&b, at, w);
    return b;
  };
  const Case cases[] = {
      {"short", good.substr(0, 64 + 65535), "shorter"},
      {"tag", with(0, 0x2E763364), "tag"},
      {"negative array", with(4, 200), "outside"},
      {"array past the end", with(8, 64 + 108 + 36 * 100), "outside"},
      {"array of part of a triangle", with(8, 64 + 100), "whole"},
      {"list past the end", with(firstList, static_cast<uint32_t>(good.size())), "list outside"},
      {"negative list", with(firstList, 0xFFFFFFF0u), "list outside"},
      {"count past the end", with(index + 65536, 100000), "list outside"},
      {"negative count", with(index + 65536, 0x80000000u), "list outside"},
      {"offset inside a triangle", with(index + 65536 + 4, 40), "names no triangle"},
      {"offset past the array", with(index + 65536 + 4, 108), "names no triangle"},
      {"negative offset", with(index + 65536 + 4, 0xFFFFFFDCu), "names no triangle"},
  };
  for (const Case& c : cases) {
    GroundMap map;
    map.width = 42;
    std::string reason;
    EXPECT_FALSE(model::DecodeGroundMap(c.bytes, &map, &reason)) << c.name;
    EXPECT_NE(reason.find(c.reason), std::string::npos) << c.name << ": " << reason;
    EXPECT_EQ(map.width, 42) << c.name << " touched the map";
  }
  // An empty list and lists shared by buckets are sound.
  std::string shared = with(firstList + 4, static_cast<uint32_t>(108 + 65536));
  GroundMap map;
  EXPECT_TRUE(model::DecodeGroundMap(shared, &map, nullptr));
  EXPECT_EQ(map.BucketSize(64 * 128 + 65), 2);
}

TEST(GroundMapFile, SourceChecksumSumsCompleteWords) {
  EXPECT_EQ(model::GroundSourceChecksum(""), 0u);
  EXPECT_EQ(model::GroundSourceChecksum("abc"), 0u);
  const std::string words("\x01\0\0\0\xFF\xFF\xFF\xFF\x05\0\0\0\x09", 13);
  EXPECT_EQ(model::GroundSourceChecksum(words), 5u) << "1 + (2^32 - 1) + 5 wraps; the last byte is no word";
  std::string changed = words;
  changed[12] = 'x';
  EXPECT_EQ(model::GroundSourceChecksum(changed), 5u);
  changed[9] = 1;
  EXPECT_NE(model::GroundSourceChecksum(changed), 5u);
  EXPECT_EQ(model::GroundSourceChecksumOfFile("/nonexistent/ground.3ds"), 0u);
}

// [SECTION] Queries

constexpr int32_t kU = 512;  // position units per millimetre

TEST(GroundMapQuery, BucketOfAPoint) {
  const GroundMap map = model::BuildGroundMap(HandMesh(), false, 0);  // f = 12800
  int32_t row = 0, column = 0;
  ASSERT_TRUE(model::GroundBucketAt(map, 50 * kU, 150 * kU, &row, &column));
  EXPECT_EQ(row, 65);
  EXPECT_EQ(column, 64);
  ASSERT_TRUE(model::GroundBucketAt(map, -6400 * kU, 6399 * kU, &row, &column));
  EXPECT_EQ(column, 0);
  EXPECT_EQ(row, 127);
  EXPECT_FALSE(model::GroundBucketAt(map, 6400 * kU, 0, &row, &column)) << "f / 2 is past the last bucket";
  EXPECT_EQ(column, 128);
  EXPECT_FALSE(model::GroundBucketAt(map, 0, INT32_MIN, &row, &column));
  const model::GroundHit outside = model::MeshGroundHeight(map, 0, 0, 7000 * kU, 0);
  EXPECT_EQ(outside.height, 0);
  EXPECT_EQ(outside.triangle, -1);
}

// Floors at 0, 1000 and 3000 mm over the same ground, a lone slope elsewhere, and a tie.
GroundMap Floors() {
  return model::BuildGroundMap(
      {
          Tri({0, 0, 0, 1000, 0, 0, 0, 0, 1000}),
          Tri({0, 3000, 0, 1000, 3000, 0, 0, 3000, 1000}),
          Tri({0, 1000, 0, 1000, 1000, 0, 0, 1000, 1000}),
          Tri({-1000, 0, -1000, -2000, 500, -1000, -1000, 0, -2000}),  // y = 500 per 1000 mm towards -x
          Tri({2000, 700, 2000, 3000, 700, 2000, 2000, 700, 3000}),
          Tri({2000, 700, 2000, 3000, 700, 2000, 2000, 700, 3000}),
          Tri({2000, 100, 2000, 3000, 100, 2000, 2000, 100, 3000}),
          Tri({6400, 0, 0, 6400, 1, 0, 6400, 0, 1}),
      },
      false, 0);
}

TEST(GroundMapQuery, MeshHeightScoring) {
  const GroundMap map = Floors();
  auto at = [&](int32_t xmm, int32_t zmm, int32_t ymm, int32_t rmm) {
    return model::MeshGroundHeight(map, xmm * kU, ymm * kU, zmm * kU, rmm * kU);
  };
  // The lowest surface within r above the element wins over those below.
  model::GroundHit hit = at(100, 100, 1500, 2000);
  EXPECT_EQ(hit.height, 3000 * kU);
  EXPECT_EQ(hit.triangle, 1);
  EXPECT_EQ(hit.row, 65);
  // A surface at y + r or above does not count: the highest below wins.
  hit = at(100, 100, 1500, 1500);
  EXPECT_EQ(hit.height, 1000 * kU);
  EXPECT_EQ(hit.triangle, 2);
  hit = at(100, 100, 5000, 0);
  EXPECT_EQ(hit.height, 3000 * kU);
  // A surface exactly at the element's height scores as below it: y + r - height = r.
  hit = at(100, 100, 1000, 10);
  EXPECT_EQ(hit.triangle, 2);
  // Nothing lower than y + r: no ground.
  hit = at(100, 100, -500, 100);
  EXPECT_EQ(hit.height, 0);
  EXPECT_EQ(hit.triangle, -1);
  // A single candidate answers wherever the element is.
  hit = at(-1300, -1300, -90000, 0);
  EXPECT_EQ(hit.triangle, 3);
  EXPECT_EQ(hit.height, 150 * kU) << "the plane at 300 mm from its low edge";
  // Equal heights tie: the first wins.
  hit = at(2100, 2100, 800, 50);
  EXPECT_EQ(hit.triangle, 4);
  EXPECT_EQ(hit.height, 700 * kU);
  hit = at(2100, 2100, 400, 50);
  EXPECT_EQ(hit.triangle, 6);
  // No triangle under the point.
  hit = at(-3000, 3000, 0, 100000);
  EXPECT_EQ(hit.triangle, -1);
  EXPECT_EQ(hit.height, 0);
}

TEST(GroundMapQuery, MeshHeightMatchesTestingEveryTriangle) {
  // The bucket must hold every triangle that can answer at its points.
  const GroundMap map = Floors();
  std::mt19937 random(99);
  std::uniform_int_distribution<int32_t> coordinate(-2500 * kU, 3500 * kU);
  for (int i = 0; i < 2000; ++i) {
    const int32_t x = coordinate(random), z = coordinate(random);
    int32_t row, column;
    ASSERT_TRUE(model::GroundBucketAt(map, x, z, &row, &column));
    int32_t firstHolding = -1, holding = 0;
    for (int32_t t = 0; t < static_cast<int32_t>(map.triangles.size()); ++t) {
      if (model::GroundPointInTriangle(map.triangles[t], static_cast<float>(x / 512.0), static_cast<float>(z / 512.0))) {
        if (holding++ == 0) firstHolding = t;
      }
    }
    const model::GroundHit hit = model::MeshGroundHeight(map, x, -100000 * kU, z, 0);
    if (holding == 1) {
      EXPECT_EQ(hit.triangle, firstHolding) << x << " " << z;
    } else if (holding == 0) {
      EXPECT_EQ(hit.triangle, -1) << x << " " << z;
    }
  }
}

}  // namespace
