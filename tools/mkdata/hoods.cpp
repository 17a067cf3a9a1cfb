// The backdrop meshes hood0a.x ... hood4b.x: unit shapes seen from inside, written as text .x
// files by our own small writer. Calls core/files.
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "core/core.h"
#include "mkdata/mkdata.h"

namespace mkdata {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kSegmentsPerHalf = 16;  // 32 around the whole hood
constexpr int kSphereBands = 16;      // from pole to pole
constexpr float kDomeRingDepth = 0.25f;

struct Vec3 {
  double x, y, z;
};
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Unit(Vec3 a) {
  const double length = std::sqrt(Dot(a, a));
  return length > 0.0 ? Vec3{a.x / length, a.y / length, a.z / length} : Vec3{0.0, 0.0, 0.0};
}

struct Corner {
  Vec3 position;
  Vec3 normal;  // towards the inside
  double u, v;
};
using Faces = std::vector<std::array<Corner, 3>>;

// Texture coordinates shared by every shape: u runs once around (a half covers u 0..0.5, b 0.5..1),
// v from the top (y = 1) down to the bottom (y = -1).
Corner MakeCorner(Vec3 position, Vec3 normal, double angle) {
  return {position, normal, angle / (2.0 * kPi), (1.0 - position.y) / 2.0};
}

// Adds a face so that it is front from the centre: its corners run counter-clockwise on screen to
// a camera at the origin, which in the engine's left-handed space means (c - a) x (b - a) points
// towards the origin.
void AddFace(Faces* faces, Corner a, Corner b, Corner c) {
  const Vec3 normal = Cross(c.position - a.position, b.position - a.position);
  const Vec3 centre{(a.position.x + b.position.x + c.position.x) / 3.0,
                    (a.position.y + b.position.y + c.position.y) / 3.0,
                    (a.position.z + b.position.z + c.position.z) / 3.0};
  if (Dot(normal, centre) > 0.0) std::swap(b, c);
  faces->push_back({a, b, c});
}

// A profile point in the (radius, height) plane; `smooth` segments (sphere parts) take the normal of
// the sphere through the point, the others the normal of their own slope.
struct ProfilePoint {
  double r, y;
  bool smooth = false;  // the segment from this point to the next
};

double HalfStart(bool firstHalf) { return firstHalf ? 0.0 : kPi; }

// Turns the profile (from the bottom up, around the outside) about the y axis over one half:
// angle 0 at +z, a quarter turn at +x, so the first half has x >= 0.
void Revolve(const std::vector<ProfilePoint>& profile, bool firstHalf, Faces* faces) {
  for (size_t p = 0; p + 1 < profile.size(); ++p) {
    const ProfilePoint low = profile[p], high = profile[p + 1];
    const double dr = high.r - low.r, dy = high.y - low.y;
    const double slope = std::sqrt(dr * dr + dy * dy);
    for (int s = 0; s < kSegmentsPerHalf; ++s) {
      const double angles[2] = {HalfStart(firstHalf) + kPi * s / kSegmentsPerHalf,
                                HalfStart(firstHalf) + kPi * (s + 1) / kSegmentsPerHalf};
      auto corner = [&](const ProfilePoint& point, double angle) {
        const Vec3 position{point.r * std::sin(angle), point.y, point.r * std::cos(angle)};
        // The outward normal of the slope is (dy, -dr) in the profile plane.
        const Vec3 normal = low.smooth ? Unit(Vec3{-position.x, -position.y, -position.z})
                                       : Vec3{-dy / slope * std::sin(angle), dr / slope, -dy / slope * std::cos(angle)};
        return MakeCorner(position, normal, angle);
      };
      const Corner a = corner(low, angles[0]), b = corner(low, angles[1]);
      const Corner c = corner(high, angles[0]), d = corner(high, angles[1]);
      if (low.r > 0.0) AddFace(faces, a, b, d);
      if (high.r > 0.0) AddFace(faces, a, d, c);
    }
  }
}

// The half of the box [-1, 1]^3 on one side of x = 0.
void BoxHalf(bool firstHalf, Faces* faces) {
  const double side = firstHalf ? 1.0 : -1.0;
  auto quad = [&](Vec3 a, Vec3 b, Vec3 c, Vec3 d, Vec3 inward) {
    auto corner = [&](Vec3 p) {
      // The angle about y within the half: [0, pi] for x >= 0, [pi, 2 pi] for x <= 0.
      const double angle = firstHalf ? std::atan2(p.x, p.z) : std::atan2(0.0 - p.x, 0.0 - p.z) + kPi;
      return MakeCorner(p, inward, angle);
    };
    AddFace(faces, corner(a), corner(b), corner(c));
    AddFace(faces, corner(a), corner(c), corner(d));
  };
  const double s = side;
  quad({s, -1, -1}, {s, -1, 1}, {s, 1, 1}, {s, 1, -1}, {-s, 0, 0});   // the outer side wall
  quad({0, 1, -1}, {s, 1, -1}, {s, 1, 1}, {0, 1, 1}, {0, -1, 0});     // top
  quad({0, -1, -1}, {s, -1, -1}, {s, -1, 1}, {0, -1, 1}, {0, 1, 0});  // bottom
  quad({0, -1, 1}, {s, -1, 1}, {s, 1, 1}, {0, 1, 1}, {0, 0, -1});     // far wall (+z)
  quad({0, -1, -1}, {s, -1, -1}, {s, 1, -1}, {0, 1, -1}, {0, 0, 1});  // near wall (-z)
}

// The unit sphere's profile from band `firstBand` (0: the bottom pole) up to the top pole.
std::vector<ProfilePoint> SphereArc(int firstBand) {
  std::vector<ProfilePoint> arc;
  for (int b = firstBand; b <= kSphereBands; ++b) {
    const double polar = kPi * (kSphereBands - b) / kSphereBands;  // from the top pole
    const bool pole = b == 0 || b == kSphereBands;
    arc.push_back({pole ? 0.0 : std::sin(polar), std::cos(polar), true});
  }
  return arc;
}

Faces HoodFaces(int type, bool firstHalf) {
  Faces faces;
  switch (type) {
    case 0:  // cylinder with floor and ceiling
      Revolve({{0, -1}, {1, -1}, {1, 1}, {0, 1}}, firstHalf, &faces);
      break;
    case 1: {  // dome: the upper hemisphere on a short ring below the floor line
      std::vector<ProfilePoint> profile{{1, -kDomeRingDepth}};
      for (const ProfilePoint& point : SphereArc(kSphereBands / 2)) profile.push_back(point);
      Revolve(profile, firstHalf, &faces);
      break;
    }
    case 2:
      Revolve(SphereArc(0), firstHalf, &faces);
      break;
    case 3:  // cylinder from the floor (y = -1) to y = 0, then a cone up to (0, 1, 0)
      Revolve({{0, -1}, {1, -1}, {1, 0}, {0, 1}}, firstHalf, &faces);
      break;
    case 4:
      BoxHalf(firstHalf, &faces);
      break;
    default:
      break;
  }
  return faces;
}

void Append(std::string* out, const char* format, double a, double b, double c, const char* end) {
  char line[128];
  std::snprintf(line, sizeof line, format, a, b, c, end);
  *out += line;
}

}  // namespace

std::string HoodFileName(int type, bool firstHalf) {
  return "hood" + std::to_string(type) + (firstHalf ? "a" : "b") + ".x";
}

std::string HoodText(int type, bool firstHalf) {
  const Faces faces = HoodFaces(type, firstHalf);
  if (faces.empty()) return {};
  const std::string name = "hood" + std::to_string(type) + (firstHalf ? "a" : "b");
  const size_t corners = faces.size() * 3;
  std::string text = "xof 0302txt 0032\n";
  text += "Frame " + name + " {\n";
  text +=
      " FrameTransformMatrix {\n  1.000000,0.000000,0.000000,0.000000,0.000000,1.000000,0.000000,0.000000,"
      "0.000000,0.000000,1.000000,0.000000,0.000000,0.000000,0.000000,1.000000;;\n }\n";
  text += " Mesh " + name + "Mesh {\n  " + std::to_string(corners) + ";\n";
  // Every face has corners of its own, so the normal and texture lists share the vertex indices.
  size_t n = 0;
  for (const auto& face : faces) {
    for (const Corner& corner : face) {
      Append(&text, "  %.6f;%.6f;%.6f;%s\n", corner.position.x, corner.position.y, corner.position.z,
             ++n == corners ? ";" : ",");
    }
  }
  std::string indices = "  " + std::to_string(faces.size()) + ";\n";
  for (size_t f = 0; f < faces.size(); ++f) {
    indices += "  3;" + std::to_string(3 * f) + "," + std::to_string(3 * f + 1) + "," + std::to_string(3 * f + 2) +
               (f + 1 == faces.size() ? ";;\n" : ";,\n");
  }
  text += indices;
  text += "  MeshNormals {\n  " + std::to_string(corners) + ";\n";
  n = 0;
  for (const auto& face : faces) {
    for (const Corner& corner : face) {
      Append(&text, "  %.6f;%.6f;%.6f;%s\n", corner.normal.x, corner.normal.y, corner.normal.z,
             ++n == corners ? ";" : ",");
    }
  }
  text += indices + "  }\n";
  text += "  MeshTextureCoords {\n  " + std::to_string(corners) + ";\n";
  n = 0;
  for (const auto& face : faces) {
    for (const Corner& corner : face) {
      char line[64];
      std::snprintf(line, sizeof line, "  %.6f;%.6f;%s\n", corner.u, corner.v, ++n == corners ? ";" : ",");
      text += line;
    }
  }
  text += "  }\n";
  text += "  MeshMaterialList {\n   1;\n   " + std::to_string(faces.size()) + ";\n";
  for (size_t f = 0; f < faces.size(); ++f) text += f + 1 == faces.size() ? "   0;;\n" : "   0,\n";
  // White, so that the backdrop picture shows in its own colours.
  text +=
      "   Material {\n    1.000000;1.000000;1.000000;1.000000;;\n    0.000000;\n    0.000000;0.000000;0.000000;;\n"
      "    0.000000;0.000000;0.000000;;\n   }\n  }\n";
  text += " }\n}\n";
  return text;
}

bool WriteHoods(const std::string& folder) {
  for (int type = 0; type < kHoodTypes; ++type) {
    for (bool firstHalf : {true, false}) {
      const std::string path = folder + HoodFileName(type, firstHalf);
      if (!core::WriteFileAtomic(path, HoodText(type, firstHalf))) {
        std::fprintf(stderr, "mkdata: cannot write %s\n", path.c_str());
        return false;
      }
    }
  }
  return true;
}

}  // namespace mkdata
