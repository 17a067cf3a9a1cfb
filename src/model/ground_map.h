// Boundary ground maps (.m3d): a triangle mesh and a 128 x 128 grid of buckets listing the
// triangles that may lie over each square of ground. Building, the file format, the checked loader
// and the ground queries. Pure data; calls core for files only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace model {

inline constexpr int kGroundGrid = 128;                       // buckets per side
inline constexpr int kGroundBuckets = kGroundGrid * kGroundGrid;
inline constexpr size_t kGroundHeaderBytes = 64;
inline constexpr size_t kGroundIndexBytes = kGroundBuckets * 4;
inline constexpr size_t kGroundTriangleBytes = 36;
inline constexpr uint32_t kGroundTag = 0x2E6D3364;  // "d3m." as the word that holds those bytes

// Header words of a ground map; the same 16 words sit in the element's aspect slot during a play.
enum GroundHeaderWord : int {
  kGroundWordTag = 0,
  kGroundWordTriangles = 1,  // in a file: position of the triangle array
  kGroundWordIndex = 2,      // in a file: position of the bucket index (minus word 1: the array's size)
  kGroundWordWidth = 3,      // f, the full width covered by the grid, millimetres
  kGroundWordChecksum = 4,   // checksum of the .3ds source the map was built from
};

// One triangle: x1, y1, z1, x2, y2, z2, x3, y3, z3 in millimetres (y is up).
struct GroundTriangle {
  int32_t v[9] = {};
};

// A ground map in memory. Bucket (r, c) is number r * 128 + c (r for z, c for x); its triangles
// are bucketTriangles[bucketStart[b]] .. bucketTriangles[bucketStart[b + 1] - 1], indices into
// `triangles` in increasing order.
struct GroundMap {
  int32_t width = 0;  // f; 0 or less means no ground at all
  uint32_t checksum = 0;
  std::vector<GroundTriangle> triangles;
  std::vector<int32_t> bucketStart = std::vector<int32_t>(kGroundBuckets + 1, 0);
  std::vector<int32_t> bucketTriangles;

  int32_t BucketSize(int bucket) const { return bucketStart[bucket + 1] - bucketStart[bucket]; }
  int32_t ListedBuckets() const;
};

// [SECTION] Building

// Sum modulo 2^32 of the complete little-endian 32-bit words of a .3ds file; 0 for fewer than 4
// bytes. The file form gives 0 for a missing file.
uint32_t GroundSourceChecksum(std::string_view bytes);
uint32_t GroundSourceChecksumOfFile(const std::string& path);

// The extent of the grid of bucket (row or column) `cell`: from (cell - 64) * f / 128 to
// (cell - 63) * f / 128, each rounded towards minus infinity.
int64_t GroundCellStart(int cell, int32_t width);

// Whether the triangle is listed in the bucket with rectangle x0..x1, z0..z1: never when its
// projection on the ground has no area; otherwise when it passes the box test and has a vertex in
// the rectangle, an edge crossing a side (single precision), or holds the rectangle's centre or
// one of four points a third of the rectangle outside its corners.
bool GroundTriangleInBucket(const GroundTriangle& t, int64_t x0, int64_t x1, int64_t z0, int64_t z1);

// Whether the ground projection of `t` holds (x, z) (millimetres), by barycentric coordinates in
// single precision: 0 <= t <= 1, 0 <= u <= 1, t + u <= 1.01; never for a triangle of no area.
bool GroundPointInTriangle(const GroundTriangle& t, float x, float z);

// Builds the map of `triangles` (in the mesh's face order): f is twice the largest |x| or |z| of
// any vertex (at most 2^31 - 1), `reverse` swaps vertices 2 and 3 of every triangle. Each triangle
// is tested only against the buckets under its bounding rectangle (the box test rejects all
// others), so the lists equal those of testing every bucket against every triangle.
GroundMap BuildGroundMap(std::vector<GroundTriangle> triangles, bool reverse, uint32_t checksum);
// The same result by testing every triangle against every bucket; slow, kept to check the above.
GroundMap BuildGroundMapByScan(std::vector<GroundTriangle> triangles, bool reverse, uint32_t checksum);

// [SECTION] Files

// The .m3d bytes: header (tag, the array and index positions 64 and 64 + 36 T, f, checksum, 44
// zero bytes), the triangles, the 128 x 128 index of list offsets (0: empty bucket) and the lists
// (a count, then byte offsets of triangles), all counted from the start of the triangle array.
std::string EncodeGroundMap(const GroundMap& map);
// Checks everything before use: size, tag, the triangle array inside the file and a whole number
// of triangles, each index entry 0 or a whole list inside the file, each listed offset a multiple
// of 36 inside the array. On failure returns false with *reason naming it, *map untouched.
bool DecodeGroundMap(std::string_view bytes, GroundMap* map, std::string* reason);
// Written to a temporary file and renamed, so a cut-short write never leaves a half map.
bool WriteGroundMap(const std::string& path, const GroundMap& map, std::string* reason);
bool ReadGroundMap(const std::string& path, GroundMap* map, std::string* reason);
// The checksum word of the map at `path`, 0 when it cannot be read.
uint32_t StoredGroundChecksum(const std::string& path);

// [SECTION] Queries (positions in position units: millimetres x 512)

// The bucket under (x, z): row ((z / 512 + f / 2) * 128 / f), column likewise from x. False when
// the map has no ground (f <= 0) or the bucket is outside 0..127; *row and *column are still set
// when f > 0 (clamped to the 32-bit range).
bool GroundBucketAt(const GroundMap& map, int32_t x, int32_t z, int32_t* row, int32_t* column);

struct GroundHit {
  int32_t height = 0;     // position units; 0 when no triangle counts
  int32_t row = -1;       // bucket under the point (see GroundBucketAt)
  int32_t column = -1;
  int32_t triangle = -1;  // the triangle chosen, -1 for none
};

// The ground height under (x, z) for an element at height y with radius r. The candidates are the
// bucket's triangles holding the point; a single one answers. Otherwise only those lower than
// y + r count: one above y scores height - y, one at or below y scores y + r - height, the
// smallest score wins (the first on ties) -- the lowest surface within r above the element, else
// the highest below it.
GroundHit MeshGroundHeight(const GroundMap& map, int32_t x, int32_t y, int32_t z, int32_t radius);

// A triangle's height (position units) at (x, z) in millimetres: y1 x 512 when the three vertex
// heights are equal, else the plane through the vertices; clamped to the 32-bit range.
int32_t GroundTriangleHeight(const GroundTriangle& t, double x, double z);

// The steepness of a triangle: its normal (cross product of two edges, single precision) scaled
// to length 46080, and the truncated length of the horizontal part: 0 when level, near 46080 when
// vertical; 0 for a triangle of no area.
int32_t GroundTriangleSlope(const int32_t v[9]);

struct VolumeAnswer {
  bool inside = false;
  int32_t above = -1;  // nearest triangle above the point, -1 none (not looked for once inside)
  int32_t below = -1;  // nearest triangle at or below the point
};

// Whether (x, y, z) (position units) lies inside the closed mesh of `map`. The bucket under the
// point is searched (outside the grid, or an empty bucket: outside); of the triangles whose ground
// projection holds the point, those with a facing value C = (z2 - z1)(x3 - x1) - (x2 - x1)(z3 - z1)
// of 0 are skipped. A triangle above within `above` of the point, or one at or below it by less
// than -`below`, makes it inside at once. Otherwise it is outside exactly when the nearest triangle
// above is missing or has C <= 0 and the nearest below is missing or has C > 0.
VolumeAnswer VolumeTest(const GroundMap& map, int32_t x, int32_t y, int32_t z, int32_t above, int32_t below);

}  // namespace model
