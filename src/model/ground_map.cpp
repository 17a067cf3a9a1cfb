// Boundary ground maps: building the bucket grid, the .m3d file and its checked loader, and the
// ground queries. Calls core for files.
//
// [SECTION] Triangle tests
// [SECTION] Building
// [SECTION] Files
// [SECTION] Queries
#include "model/ground_map.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "core/core.h"

namespace model {
namespace {

int64_t X(const GroundTriangle& t, int vertex) { return t.v[vertex * 3]; }
int64_t Y(const GroundTriangle& t, int vertex) { return t.v[vertex * 3 + 1]; }
int64_t Z(const GroundTriangle& t, int vertex) { return t.v[vertex * 3 + 2]; }

// Twice the signed area of the ground projection. Coordinate differences reach 2^32, so their
// products need more than 64 bits.
__int128 ProjectedArea(const GroundTriangle& t) {
  return static_cast<__int128>(X(t, 1) - X(t, 0)) * (Z(t, 2) - Z(t, 0)) -
         static_cast<__int128>(X(t, 2) - X(t, 0)) * (Z(t, 1) - Z(t, 0));
}

uint32_t LoadWord(const char* p) {
  uint32_t w;
  std::memcpy(&w, p, 4);  // the file is little-endian, as every host we build for
  return w;
}

void PutWord(std::string* out, size_t at, uint32_t w) { std::memcpy(out->data() + at, &w, 4); }

// Whether the edge a-b crosses the vertical line x = lineX within z0..z1 (or, with the axes
// exchanged, a horizontal side). The crossing is solved in single precision.
bool EdgeCrossesSide(float ax, float az, float bx, float bz, float lineX, float lo, float hi) {
  if (ax == bx) return false;  // parallel to the side
  const float t = (lineX - ax) / (bx - ax);
  if (!(t >= 0.0f && t <= 1.0f)) return false;
  const float z = az + t * (bz - az);
  return z >= lo && z <= hi;
}

}  // namespace

// [SECTION] Triangle tests

bool GroundPointInTriangle(const GroundTriangle& t, float x, float z) {
  const float x1 = static_cast<float>(t.v[0]), z1 = static_cast<float>(t.v[2]);
  const float e1x = static_cast<float>(t.v[3]) - x1, e1z = static_cast<float>(t.v[5]) - z1;
  const float e2x = static_cast<float>(t.v[6]) - x1, e2z = static_cast<float>(t.v[8]) - z1;
  const float px = x - x1, pz = z - z1;
  const float det = e1x * e2z - e1z * e2x;
  if (det == 0.0f || !std::isfinite(det)) return false;
  const float a = (px * e2z - pz * e2x) / det;  // along e1
  const float b = (e1x * pz - e1z * px) / det;  // along e2
  return a >= 0.0f && a <= 1.0f && b >= 0.0f && b <= 1.0f && a + b <= 1.01f;
}

bool GroundTriangleInBucket(const GroundTriangle& t, int64_t x0, int64_t x1, int64_t z0, int64_t z1) {
  if (ProjectedArea(t) == 0) return false;
  const int64_t xs[3] = {X(t, 0), X(t, 1), X(t, 2)};
  const int64_t zs[3] = {Z(t, 0), Z(t, 1), Z(t, 2)};
  if (std::max({xs[0], xs[1], xs[2]}) < x0 || std::min({xs[0], xs[1], xs[2]}) > x1) return false;
  if (std::max({zs[0], zs[1], zs[2]}) < z0 || std::min({zs[0], zs[1], zs[2]}) > z1) return false;
  for (int i = 0; i < 3; ++i) {
    if (xs[i] >= x0 && xs[i] <= x1 && zs[i] >= z0 && zs[i] <= z1) return true;
  }
  const float fx0 = static_cast<float>(x0), fx1 = static_cast<float>(x1);
  const float fz0 = static_cast<float>(z0), fz1 = static_cast<float>(z1);
  for (int i = 0; i < 3; ++i) {
    const int j = (i + 1) % 3;
    const float ax = static_cast<float>(xs[i]), az = static_cast<float>(zs[i]);
    const float bx = static_cast<float>(xs[j]), bz = static_cast<float>(zs[j]);
    if (EdgeCrossesSide(ax, az, bx, bz, fx0, fz0, fz1) || EdgeCrossesSide(ax, az, bx, bz, fx1, fz0, fz1) ||
        EdgeCrossesSide(az, ax, bz, bx, fz0, fx0, fx1) || EdgeCrossesSide(az, ax, bz, bx, fz1, fx0, fx1)) {
      return true;
    }
  }
  // No vertex inside and no edge across: the rectangle may still lie wholly inside the triangle.
  const int64_t w = (x1 - x0) / 3, h = (z1 - z0) / 3;
  const int64_t points[5][2] = {
      {(x0 + x1) / 2, (z0 + z1) / 2}, {x0 - w, z0 - h}, {x1 + w, z0 - h}, {x1 + w, z1 + h}, {x0 - w, z1 + h}};
  for (const auto& p : points) {
    if (GroundPointInTriangle(t, static_cast<float>(p[0]), static_cast<float>(p[1]))) return true;
  }
  return false;
}

// [SECTION] Building

int32_t GroundMap::ListedBuckets() const {
  int32_t n = 0;
  for (int b = 0; b < kGroundBuckets; ++b) n += BucketSize(b) > 0 ? 1 : 0;
  return n;
}

uint32_t GroundSourceChecksum(std::string_view bytes) {
  uint32_t sum = 0;
  for (size_t at = 0; at + 4 <= bytes.size(); at += 4) sum += LoadWord(bytes.data() + at);
  return sum;
}

uint32_t GroundSourceChecksumOfFile(const std::string& path) {
  std::string bytes;
  if (!core::ReadFile(path, &bytes)) return 0;
  return GroundSourceChecksum(bytes);
}

int64_t GroundCellStart(int cell, int32_t width) {
  // An arithmetic shift of a negative product rounds towards minus infinity.
  return (static_cast<int64_t>(cell - 64) * width) >> 7;
}

namespace {

// Swaps vertices 2 and 3 when asked and measures f from the vertices' x and z.
GroundMap Prepare(std::vector<GroundTriangle> triangles, bool reverse, uint32_t checksum) {
  GroundMap map;
  map.checksum = checksum;
  int64_t d = 0;
  for (GroundTriangle& t : triangles) {
    if (reverse) {
      for (int k = 0; k < 3; ++k) std::swap(t.v[3 + k], t.v[6 + k]);
    }
    for (int v = 0; v < 3; ++v) d = std::max({d, std::abs(X(t, v)), std::abs(Z(t, v))});
  }
  map.width = static_cast<int32_t>(std::min<int64_t>(2 * d, INT32_MAX));
  map.triangles = std::move(triangles);
  return map;
}

// Turns (bucket, triangle) pairs, in triangle order within each bucket, into the compact lists.
void FillBuckets(GroundMap* map, const std::vector<std::pair<int32_t, int32_t>>& pairs) {
  std::fill(map->bucketStart.begin(), map->bucketStart.end(), 0);
  for (const auto& [bucket, triangle] : pairs) ++map->bucketStart[bucket + 1];
  for (int b = 0; b < kGroundBuckets; ++b) map->bucketStart[b + 1] += map->bucketStart[b];
  map->bucketTriangles.assign(pairs.size(), 0);
  std::vector<int32_t> next(map->bucketStart.begin(), map->bucketStart.end() - 1);
  for (const auto& [bucket, triangle] : pairs) map->bucketTriangles[next[bucket]++] = triangle;
}

}  // namespace

GroundMap BuildGroundMap(std::vector<GroundTriangle> triangles, bool reverse, uint32_t checksum) {
  GroundMap map = Prepare(std::move(triangles), reverse, checksum);
  if (map.width <= 0) return map;
  std::array<int64_t, kGroundGrid + 1> edge;
  for (int c = 0; c <= kGroundGrid; ++c) edge[c] = GroundCellStart(c, map.width);
  // Cell c spans edge[c]..edge[c + 1]; both ends are non-decreasing in c, so the cells whose span
  // meets lo..hi form one run found by two binary searches.
  auto cells = [&](int64_t lo, int64_t hi, int* first, int* last) {
    *first = static_cast<int>(std::lower_bound(edge.begin() + 1, edge.end(), lo) - (edge.begin() + 1));
    *last = static_cast<int>(std::upper_bound(edge.begin(), edge.end() - 1, hi) - edge.begin()) - 1;
  };
  std::vector<std::pair<int32_t, int32_t>> pairs;
  for (int32_t i = 0; i < static_cast<int32_t>(map.triangles.size()); ++i) {
    const GroundTriangle& t = map.triangles[i];
    if (ProjectedArea(t) == 0) continue;
    int c0, c1, r0, r1;
    cells(std::min({X(t, 0), X(t, 1), X(t, 2)}), std::max({X(t, 0), X(t, 1), X(t, 2)}), &c0, &c1);
    cells(std::min({Z(t, 0), Z(t, 1), Z(t, 2)}), std::max({Z(t, 0), Z(t, 1), Z(t, 2)}), &r0, &r1);
    for (int r = r0; r <= r1; ++r) {
      for (int c = c0; c <= c1; ++c) {
        if (GroundTriangleInBucket(t, edge[c], edge[c + 1], edge[r], edge[r + 1])) pairs.emplace_back(r * kGroundGrid + c, i);
      }
    }
  }
  FillBuckets(&map, pairs);
  return map;
}

GroundMap BuildGroundMapByScan(std::vector<GroundTriangle> triangles, bool reverse, uint32_t checksum) {
  GroundMap map = Prepare(std::move(triangles), reverse, checksum);
  if (map.width <= 0) return map;
  std::vector<std::pair<int32_t, int32_t>> pairs;
  for (int r = 0; r < kGroundGrid; ++r) {
    for (int c = 0; c < kGroundGrid; ++c) {
      const int64_t x0 = GroundCellStart(c, map.width), x1 = GroundCellStart(c + 1, map.width);
      const int64_t z0 = GroundCellStart(r, map.width), z1 = GroundCellStart(r + 1, map.width);
      for (int32_t i = 0; i < static_cast<int32_t>(map.triangles.size()); ++i) {
        if (GroundTriangleInBucket(map.triangles[i], x0, x1, z0, z1)) pairs.emplace_back(r * kGroundGrid + c, i);
      }
    }
  }
  FillBuckets(&map, pairs);
  return map;
}

// [SECTION] Files

std::string EncodeGroundMap(const GroundMap& map) {
  const size_t triangleBytes = map.triangles.size() * kGroundTriangleBytes;
  const size_t listed = static_cast<size_t>(map.ListedBuckets());
  std::string out(kGroundHeaderBytes + triangleBytes + kGroundIndexBytes + listed * 4 + map.bucketTriangles.size() * 4,
                  '\0');
  PutWord(&out, 0, kGroundTag);
  PutWord(&out, 4, static_cast<uint32_t>(kGroundHeaderBytes));
  PutWord(&out, 8, static_cast<uint32_t>(kGroundHeaderBytes + triangleBytes));
  PutWord(&out, 12, static_cast<uint32_t>(map.width));
  PutWord(&out, 16, map.checksum);
  if (triangleBytes > 0) std::memcpy(out.data() + kGroundHeaderBytes, map.triangles.data(), triangleBytes);
  const size_t array = kGroundHeaderBytes;  // offsets below count from here
  size_t list = triangleBytes + kGroundIndexBytes;
  for (int b = 0; b < kGroundBuckets; ++b) {
    const int32_t n = map.BucketSize(b);
    if (n == 0) continue;
    PutWord(&out, array + triangleBytes + b * 4u, static_cast<uint32_t>(list));
    PutWord(&out, array + list, static_cast<uint32_t>(n));
    for (int32_t k = 0; k < n; ++k) {
      const uint32_t offset = static_cast<uint32_t>(map.bucketTriangles[map.bucketStart[b] + k]) * kGroundTriangleBytes;
      PutWord(&out, array + list + 4 + k * 4u, offset);
    }
    list += 4 + n * 4u;
  }
  return out;
}

bool DecodeGroundMap(std::string_view bytes, GroundMap* map, std::string* reason) {
  auto fail = [&](std::string why) {
    if (reason) *reason = std::move(why);
    return false;
  };
  if (bytes.size() < kGroundHeaderBytes + kGroundIndexBytes) return fail("shorter than a header and a bucket index");
  if (LoadWord(bytes.data()) != kGroundTag) return fail("not a ground map (wrong tag)");
  const int64_t triangleBytes = static_cast<int64_t>(static_cast<int32_t>(LoadWord(bytes.data() + 8))) -
                                static_cast<int32_t>(LoadWord(bytes.data() + 4));
  const int64_t body = static_cast<int64_t>(bytes.size() - kGroundHeaderBytes);  // triangle array onwards
  if (triangleBytes < 0 || triangleBytes + static_cast<int64_t>(kGroundIndexBytes) > body) {
    return fail("triangle array outside the file");
  }
  if (triangleBytes % static_cast<int64_t>(kGroundTriangleBytes) != 0) return fail("triangle array not whole triangles");
  const char* base = bytes.data() + kGroundHeaderBytes;
  GroundMap loaded;
  loaded.width = static_cast<int32_t>(LoadWord(bytes.data() + 12));
  loaded.checksum = LoadWord(bytes.data() + 16);
  loaded.triangles.resize(static_cast<size_t>(triangleBytes / static_cast<int64_t>(kGroundTriangleBytes)));
  if (triangleBytes > 0) std::memcpy(loaded.triangles.data(), base, static_cast<size_t>(triangleBytes));
  for (int b = 0; b < kGroundBuckets; ++b) {
    loaded.bucketStart[b] = static_cast<int32_t>(loaded.bucketTriangles.size());
    const int64_t list = static_cast<int32_t>(LoadWord(base + triangleBytes + b * 4));
    if (list == 0) continue;
    if (list < 0 || list + 4 > body) return fail("bucket " + std::to_string(b) + " list outside the file");
    const int64_t n = static_cast<int32_t>(LoadWord(base + list));
    if (n < 0 || list + 4 + 4 * n > body) return fail("bucket " + std::to_string(b) + " list outside the file");
    for (int64_t k = 0; k < n; ++k) {
      const int64_t offset = static_cast<int32_t>(LoadWord(base + list + 4 + 4 * k));
      if (offset < 0 || offset >= triangleBytes || offset % static_cast<int64_t>(kGroundTriangleBytes) != 0) {
        return fail("bucket " + std::to_string(b) + " names no triangle");
      }
      loaded.bucketTriangles.push_back(static_cast<int32_t>(offset / static_cast<int64_t>(kGroundTriangleBytes)));
    }
  }
  loaded.bucketStart[kGroundBuckets] = static_cast<int32_t>(loaded.bucketTriangles.size());
  *map = std::move(loaded);
  return true;
}

bool WriteGroundMap(const std::string& path, const GroundMap& map, std::string* reason) {
  return core::WriteFileAtomic(path, EncodeGroundMap(map), reason);
}

bool ReadGroundMap(const std::string& path, GroundMap* map, std::string* reason) {
  std::string bytes;
  if (!core::ReadFile(path, &bytes)) {
    if (reason) *reason = "cannot be read";
    return false;
  }
  return DecodeGroundMap(bytes, map, reason);
}

uint32_t StoredGroundChecksum(const std::string& path) {
  // A map the loader would refuse counts as absent, so that it gets rebuilt rather than kept.
  GroundMap map;
  if (!ReadGroundMap(path, &map, nullptr)) return 0;
  return map.checksum;
}

// [SECTION] Queries

bool GroundBucketAt(const GroundMap& map, int32_t x, int32_t z, int32_t* row, int32_t* column) {
  if (map.width <= 0) return false;
  const int64_t f = map.width;
  auto cell = [&](int32_t p) {
    const int64_t v = (static_cast<int64_t>(p / 512) + f / 2) * kGroundGrid / f;
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  };
  *row = cell(z);
  *column = cell(x);
  return *row >= 0 && *row < kGroundGrid && *column >= 0 && *column < kGroundGrid;
}

int32_t GroundTriangleHeight(const GroundTriangle& t, double x, double z) {
  double height;
  if (t.v[1] == t.v[4] && t.v[1] == t.v[7]) {
    height = static_cast<double>(t.v[1]) * 512.0;
  } else {
    const double ax = static_cast<double>(X(t, 1) - X(t, 0)), ay = static_cast<double>(Y(t, 1) - Y(t, 0));
    const double az = static_cast<double>(Z(t, 1) - Z(t, 0));
    const double bx = static_cast<double>(X(t, 2) - X(t, 0)), by = static_cast<double>(Y(t, 2) - Y(t, 0));
    const double bz = static_cast<double>(Z(t, 2) - Z(t, 0));
    const double nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
    if (ny == 0.0) {
      height = static_cast<double>(t.v[1]) * 512.0;  // vertical: never a candidate, kept finite
    } else {
      const double y = static_cast<double>(Y(t, 0)) -
                       (nx * (x - static_cast<double>(X(t, 0))) + nz * (z - static_cast<double>(Z(t, 0)))) / ny;
      height = y * 512.0;
    }
  }
  if (!(height > INT32_MIN)) return INT32_MIN;
  if (height >= INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(height);  // towards zero
}

GroundHit MeshGroundHeight(const GroundMap& map, int32_t x, int32_t y, int32_t z, int32_t radius) {
  GroundHit hit;
  if (!GroundBucketAt(map, x, z, &hit.row, &hit.column)) return hit;
  const int bucket = hit.row * kGroundGrid + hit.column;
  const double mx = x / 512.0, mz = z / 512.0;
  const float fx = static_cast<float>(mx), fz = static_cast<float>(mz);
  int32_t candidates = 0, only = -1, onlyHeight = 0;
  int32_t best = -1, bestHeight = 0;
  int64_t bestScore = 0;
  const int64_t top = static_cast<int64_t>(y) + radius;
  for (int32_t k = map.bucketStart[bucket]; k < map.bucketStart[bucket + 1]; ++k) {
    const int32_t i = map.bucketTriangles[k];
    const GroundTriangle& t = map.triangles[i];
    if (!GroundPointInTriangle(t, fx, fz)) continue;
    const int32_t height = GroundTriangleHeight(t, mx, mz);
    if (++candidates == 1) {
      only = i;
      onlyHeight = height;
    }
    if (height >= top) continue;
    const int64_t score = height > y ? static_cast<int64_t>(height) - y : top - height;
    if (best < 0 || score < bestScore) {
      best = i;
      bestHeight = height;
      bestScore = score;
    }
  }
  if (candidates == 1) {
    hit.triangle = only;
    hit.height = onlyHeight;
  } else if (best >= 0) {
    hit.triangle = best;
    hit.height = bestHeight;
  }
  return hit;
}

int32_t GroundTriangleSlope(const int32_t v[9]) {
  const float ax = static_cast<float>(v[3]) - static_cast<float>(v[0]);
  const float ay = static_cast<float>(v[4]) - static_cast<float>(v[1]);
  const float az = static_cast<float>(v[5]) - static_cast<float>(v[2]);
  const float bx = static_cast<float>(v[6]) - static_cast<float>(v[0]);
  const float by = static_cast<float>(v[7]) - static_cast<float>(v[1]);
  const float bz = static_cast<float>(v[8]) - static_cast<float>(v[2]);
  // In double from here: single-precision products of coordinates near 2^32 still fit, but their
  // squares would not.
  const double nx = static_cast<double>(ay * bz - az * by), ny = static_cast<double>(az * bx - ax * bz);
  const double nz = static_cast<double>(ax * by - ay * bx);
  const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
  if (!(length > 0.0) || !std::isfinite(length)) return 0;
  const double scale = 46080.0 / length;
  const double h = std::sqrt((nx * scale) * (nx * scale) + (nz * scale) * (nz * scale));
  return static_cast<int32_t>(std::min(h, 46080.0));
}

VolumeAnswer VolumeTest(const GroundMap& map, int32_t x, int32_t y, int32_t z, int32_t above, int32_t below) {
  VolumeAnswer answer;
  int32_t row, column;
  if (!GroundBucketAt(map, x, z, &row, &column)) return answer;
  const int bucket = row * kGroundGrid + column;
  const double mx = x / 512.0, mz = z / 512.0;
  const float fx = static_cast<float>(mx), fz = static_cast<float>(mz);
  int64_t aboveGap = 0, belowGap = 0;
  bool aboveFaces = false, belowFaces = false;
  for (int32_t k = map.bucketStart[bucket]; k < map.bucketStart[bucket + 1]; ++k) {
    const int32_t i = map.bucketTriangles[k];
    const GroundTriangle& t = map.triangles[i];
    if (!GroundPointInTriangle(t, fx, fz)) continue;
    const __int128 facing = static_cast<__int128>(Z(t, 1) - Z(t, 0)) * (X(t, 2) - X(t, 0)) -
                            static_cast<__int128>(X(t, 1) - X(t, 0)) * (Z(t, 2) - Z(t, 0));
    if (facing == 0) continue;
    const int64_t height = GroundTriangleHeight(t, mx, mz);
    if (height > y) {
      const int64_t gap = height - y;
      if (gap <= above) return {true, i, answer.below};
      if (answer.above < 0 || gap < aboveGap) answer.above = i, aboveGap = gap, aboveFaces = facing > 0;
    } else {
      const int64_t gap = y - height;
      if (gap < -static_cast<int64_t>(below)) return {true, answer.above, i};
      if (answer.below < 0 || gap < belowGap) answer.below = i, belowGap = gap, belowFaces = facing > 0;
    }
  }
  const bool outside = (answer.above < 0 || !aboveFaces) && (answer.below < 0 || belowFaces);
  answer.inside = !outside;
  return answer;
}

}  // namespace model
