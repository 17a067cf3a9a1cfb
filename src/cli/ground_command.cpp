// vexel ground build|show|height|inside: boundary ground maps built from a .3ds as a play builds
// them, their contents, the mesh ground height and slope at a point, and the volume test at a
// point. Calls engine (the .3ds source), model and core.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/core.h"
#include "engine/engine.h"
#include "model/model.h"

namespace cli {
namespace {

constexpr const char* kUsage =
    "usage: vexel ground build MESH [--out MAP] [--reverse] [--json]\n"
    "       vexel ground show MAP [--json]\n"
    "       vexel ground height MAP X Z [--y Y] [--radius R] [--json]\n"
    "       vexel ground inside MAP X Y Z [--above A] [--below B] [--json]\n";

int Usage() {
  std::fprintf(stderr, "%s", kUsage);
  return 2;
}

// A signed decimal 32-bit number; a leading '-' makes a coordinate, not an option.
bool ParseInt32(const char* text, int32_t* value) {
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX) return false;
  *value = static_cast<int32_t>(v);
  return true;
}

std::string TriangleJson(const model::GroundTriangle& t) {
  std::string json = "[";
  for (int k = 0; k < 9; ++k) json += (k == 0 ? "" : ", ") + std::to_string(t.v[k]);
  return json + "]";
}

int Build(int argc, const char* const* argv) {
  std::string mesh, out;
  bool reverse = false, json = false;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
      out = argv[++i];
    } else if (std::strcmp(argv[i], "--reverse") == 0) {
      reverse = true;
    } else if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (argv[i][0] != '-' && mesh.empty()) {
      mesh = argv[i];
    } else {
      return Usage();
    }
  }
  if (mesh.empty()) return Usage();
  if (out.empty()) out = (mesh.size() >= 4 ? mesh.substr(0, mesh.size() - 4) : std::string()) + ".m3d";
  const engine::GroundSource source = engine::ReadGroundSource(mesh);
  if (!source.found) {
    std::fprintf(stderr, "vexel: cannot read %s\n", mesh.c_str());
    return 1;
  }
  if (!source.isModel) {
    std::fprintf(stderr, "vexel: %s is no model; no ground map built\n", mesh.c_str());
    return 1;
  }
  const model::GroundMap map = model::BuildGroundMap(source.triangles, reverse, source.checksum);
  std::string reason;
  if (!model::WriteGroundMap(out, map, &reason)) {
    std::fprintf(stderr, "vexel: cannot write %s: %s\n", out.c_str(), reason.c_str());
    return 1;
  }
  const char* format = json ? "{\"triangles\": %zu, \"width\": %d, \"checksum\": %u, \"buckets\": %d}\n"
                            : "triangles %zu width %d checksum %u buckets %d\n";
  std::printf(format, map.triangles.size(), map.width, map.checksum, map.ListedBuckets());
  return 0;
}

bool Load(const char* path, model::GroundMap* map) {
  std::string reason;
  if (model::ReadGroundMap(path, map, &reason)) return true;
  std::fprintf(stderr, "vexel: %s: %s\n", path, reason.c_str());
  return false;
}

int Show(int argc, const char* const* argv) {
  const bool json = argc == 2 && std::strcmp(argv[1], "--json") == 0;
  if (argc < 1 || argc > 2 || (argc == 2 && !json)) return Usage();
  model::GroundMap map;
  if (!Load(argv[0], &map)) return 1;
  if (!json) {
    std::printf("width %d checksum %u triangles %zu buckets %d\n", map.width, map.checksum, map.triangles.size(),
                map.ListedBuckets());
    return 0;
  }
  std::string text = "{\"width\": " + std::to_string(map.width) + ", \"checksum\": " + std::to_string(map.checksum) +
                     ", \"triangles\": [";
  for (size_t i = 0; i < map.triangles.size(); ++i) text += (i == 0 ? "" : ", ") + TriangleJson(map.triangles[i]);
  text += "], \"buckets\": [";
  bool first = true;
  for (int b = 0; b < model::kGroundBuckets; ++b) {
    if (map.BucketSize(b) == 0) continue;
    text += (first ? "[" : ", [") + std::to_string(b / model::kGroundGrid) + ", " +
            std::to_string(b % model::kGroundGrid) + ", [";
    for (int32_t k = map.bucketStart[b]; k < map.bucketStart[b + 1]; ++k) {
      text += (k == map.bucketStart[b] ? "" : ", ") + std::to_string(map.bucketTriangles[k]);
    }
    text += "]]";
    first = false;
  }
  std::printf("%s]}\n", text.c_str());
  return 0;
}

int Height(int argc, const char* const* argv) {
  if (argc < 3) return Usage();
  int32_t x = 0, z = 0, y = 0, radius = 0;
  bool json = false;
  if (!ParseInt32(argv[1], &x) || !ParseInt32(argv[2], &z)) return Usage();
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--y") == 0 && i + 1 < argc) {
      if (!ParseInt32(argv[++i], &y)) return Usage();
    } else if (std::strcmp(argv[i], "--radius") == 0 && i + 1 < argc) {
      if (!ParseInt32(argv[++i], &radius)) return Usage();
    } else if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else {
      return Usage();
    }
  }
  model::GroundMap map;
  if (!Load(argv[0], &map)) return 1;
  const model::GroundHit hit = model::MeshGroundHeight(map, x, y, z, radius);
  // The slope of the triangle chosen, as ground_slope answers it.
  const int32_t slope = hit.triangle < 0 ? 0 : model::GroundTriangleSlope(map.triangles[static_cast<size_t>(hit.triangle)].v);
  const char* format = json ? "{\"height\": %d, \"bucket\": [%d, %d], \"triangle\": %d, \"slope\": %d}\n"
                            : "height %d bucket %d %d triangle %d slope %d\n";
  std::printf(format, hit.height, hit.row, hit.column, hit.triangle, slope);
  return 0;
}

int Inside(int argc, const char* const* argv) {
  if (argc < 4) return Usage();
  int32_t x = 0, y = 0, z = 0, above = 0, below = 0;
  bool json = false;
  if (!ParseInt32(argv[1], &x) || !ParseInt32(argv[2], &y) || !ParseInt32(argv[3], &z)) return Usage();
  for (int i = 4; i < argc; ++i) {
    if (std::strcmp(argv[i], "--above") == 0 && i + 1 < argc) {
      if (!ParseInt32(argv[++i], &above)) return Usage();
    } else if (std::strcmp(argv[i], "--below") == 0 && i + 1 < argc) {
      if (!ParseInt32(argv[++i], &below)) return Usage();
    } else if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else {
      return Usage();
    }
  }
  model::GroundMap map;
  if (!Load(argv[0], &map)) return 1;
  const model::VolumeAnswer answer = model::VolumeTest(map, x, y, z, above, below);
  if (json) {
    std::printf("{\"inside\": %s, \"above\": %d, \"below\": %d}\n", answer.inside ? "true" : "false", answer.above,
                answer.below);
  } else {
    std::printf("%s\n", answer.inside ? "inside" : "outside");
  }
  return 0;
}

}  // namespace

int GroundCommand(int argc, const char* const* argv) {
  if (argc < 1) return Usage();
  if (std::strcmp(argv[0], "build") == 0) return Build(argc - 1, argv + 1);
  if (std::strcmp(argv[0], "show") == 0) return Show(argc - 1, argv + 1);
  if (std::strcmp(argv[0], "height") == 0) return Height(argc - 1, argv + 1);
  if (std::strcmp(argv[0], "inside") == 0) return Inside(argc - 1, argv + 1);
  return Usage();
}

}  // namespace cli
