// Fuzz target body: .m3d ground maps through the checked loader, then every ground and volume
// query at points, heights and tolerances from the input. Calls model.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "model/model.h"
#include "targets.h"

namespace fuzzing {

std::string FuzzGroundMap(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  model::GroundMap map;
  std::string reason;
  if (!model::DecodeGroundMap(bytes, &map, &reason)) {
    return reason.empty() ? "refused without a reason" : "";
  }
  const int32_t triangles = static_cast<int32_t>(map.triangles.size());
  for (int b = 0; b < model::kGroundBuckets; ++b) {
    if (map.bucketStart[b] > map.bucketStart[b + 1]) return "bucket lists out of order";
  }
  if (map.bucketStart[model::kGroundBuckets] != static_cast<int32_t>(map.bucketTriangles.size())) {
    return "bucket lists do not cover the listed triangles";
  }
  for (int32_t t : map.bucketTriangles) {
    if (t < 0 || t >= triangles) return "a listed triangle outside the array";
  }
  // What loads writes back to a map that loads the same.
  model::GroundMap again;
  if (!model::DecodeGroundMap(model::EncodeGroundMap(map), &again, &reason)) return "re-encoded map refused: " + reason;
  if (again.bucketStart != map.bucketStart || again.bucketTriangles != map.bucketTriangles || again.width != map.width ||
      again.checksum != map.checksum) {
    return "re-encoded map differs";
  }
  // Queries at points taken from the input itself and at the extremes.
  const int32_t points[][2] = {{0, 0}, {INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MIN}, {INT32_MAX, INT32_MAX}};
  for (const auto& p : points) {
    const model::GroundHit hit = model::MeshGroundHeight(map, p[0], 0, p[1], 1000);
    if (hit.triangle < -1 || hit.triangle >= triangles) return "height from a triangle outside the array";
  }
  for (int32_t t = 0; t < triangles && t < 64; ++t) {
    const int32_t* v = map.triangles[t].v;
    const int32_t x = static_cast<int32_t>(static_cast<int64_t>(v[0]) * 512 % 2147483647);
    const int32_t z = static_cast<int32_t>(static_cast<int64_t>(v[2]) * 512 % 2147483647);
    const model::GroundHit hit = model::MeshGroundHeight(map, x, v[1], z, v[4]);
    if (hit.triangle < -1 || hit.triangle >= triangles) return "height from a triangle outside the array";
    if (hit.triangle >= 0 && (hit.row < 0 || hit.row > 127 || hit.column < 0 || hit.column > 127)) {
      return "a triangle found outside the grid";
    }
  }
  // The volume test and the slopes, at points, heights and tolerances read from the input's end.
  auto word = [&](size_t k) {
    uint32_t w = 0;
    if (size >= 4 * (k + 1)) std::memcpy(&w, data + size - 4 * (k + 1), 4);
    return static_cast<int32_t>(w);
  };
  auto check = [&](const model::VolumeAnswer& answer) {
    return answer.above >= -1 && answer.above < triangles && answer.below >= -1 && answer.below < triangles;
  };
  for (size_t k = 0; k < 8; ++k) {
    if (!check(model::VolumeTest(map, word(5 * k), word(5 * k + 1), word(5 * k + 2), word(5 * k + 3), word(5 * k + 4)))) {
      return "a volume answer naming a triangle outside the array";
    }
  }
  for (int32_t t = 0; t < triangles && t < 64; ++t) {
    const int32_t* v = map.triangles[t].v;
    const int32_t slope = model::GroundTriangleSlope(v);
    if (slope < 0 || slope > 46080) return "a slope outside 0..46080";
    const int32_t x = static_cast<int32_t>(static_cast<int64_t>(v[3]) * 512 % 2147483647);
    const int32_t z = static_cast<int32_t>(static_cast<int64_t>(v[5]) * 512 % 2147483647);
    if (!check(model::VolumeTest(map, x, word(0), z, word(1), word(2)))) return "a volume answer outside the array";
  }
  return "";
}

}  // namespace fuzzing
