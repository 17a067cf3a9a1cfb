// The scene layer's mesh builder: faces of three vertices, each with its own position, normal,
// colour and texture coordinates; the texture, quality and material of the mesh; texture wraps
// and normal generation. CPU side only: the renderer uploads what is built here. Calls GLM.
#pragma once

#include <cstdint>
#include <vector>

#include <glm/vec2.hpp>
#include <glm/vec3.hpp>

namespace engine {

struct Picture;

// Render qualities of a mesh.
inline constexpr int32_t kQualityWireframe = 64;
inline constexpr int32_t kQualityUnlitFlat = 128;
inline constexpr int32_t kQualityGouraud = 137;

struct MeshVertex {
  glm::vec3 position{0.0f};
  glm::vec3 normal{0.0f};
  uint32_t rgba = 0xFFFFFFFFu;  // 0xAARRGGBB
  glm::vec2 uv{0.0f};
};

// A texture wrap: origin o, direction d, up u (made perpendicular to d), right r = d x u. For a
// vertex p: x = (p - o).r, y = (p - o).u, z = (p - o).d. Flat: (su x - ou, sv y - ov). Cylinder:
// (su theta / 2 pi - ou, sv z - ov), theta = atan2(x, y) in [0, 2 pi). Sphere: u as the cylinder,
// v = sv phi / pi - ov, phi the angle between p - o and d. Chrome: computed by the renderer each
// frame from the camera-space normal; Apply leaves the coordinates as they are.
enum class WrapType : uint8_t { kFlat, kCylinder, kSphere, kChrome };
struct Wrap {
  WrapType type = WrapType::kFlat;
  glm::vec3 origin{0.0f};
  glm::vec3 direction{0.0f, 0.0f, 1.0f};
  glm::vec3 up{0.0f, 1.0f, 0.0f};
  float uScale = 1.0f, vScale = 1.0f;
  float uOffset = 0.0f, vOffset = 0.0f;

  // The texture coordinates of one point.
  glm::vec2 Map(const glm::vec3& p) const;
};

class MeshBuilder {
 public:
  void Reserve(size_t faces);
  // Adds a face of three vertices (colours and coordinates as given); returns its index.
  size_t AddFace(const MeshVertex& a, const MeshVertex& b, const MeshVertex& c);
  size_t FaceCount() const { return vertices_.size() / 3; }
  std::vector<MeshVertex>& Vertices() { return vertices_; }  // 3 per face, in face order
  const std::vector<MeshVertex>& Vertices() const { return vertices_; }

  // Maps the vertices of faces [first, end) through the wrap. Cylinder and sphere wraps: a face
  // whose angles around the axis straddle the seam by more than half a turn has one turn added to
  // its smaller ones (u + 1 at a u scale of 1). A chrome wrap is only kept in chromeWraps.
  void ApplyWrap(const Wrap& wrap, size_t firstFace = 0, size_t endFace = SIZE_MAX);
  // Normals: positions shared by several faces are merged; a face corner's normal is the
  // normalised sum of the normals of the faces at that position whose normal lies within
  // `creaseAngle` radians of this face's own (0: flat facets). A face's normal is
  // (c - a) x (b - a), normalised.
  void GenerateNormals(float creaseAngle);
  // Box of the positions of all faces; false when there is none.
  bool Box(glm::vec3* min, glm::vec3* max) const;

  const Picture* texture = nullptr;
  bool decalTransparency = false;  // texels (0, 0, 0) are transparent
  int32_t quality = kQualityGouraud;
  float specularPower = 0.0f;  // 0: no material; metal is 5
  bool perspectiveCorrect = true;
  std::vector<Wrap> chromeWraps;  // chrome wraps, for the renderer

 private:
  std::vector<MeshVertex> vertices_;
};

}  // namespace engine
