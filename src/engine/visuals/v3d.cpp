// .v3d visual files: part lines, face views and the meshes of a visual frame. Calls core for files
// and text, the 3DS reader, the texture cache and the scene layer's mesh builder.
#include "engine/visuals/v3d.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include <glm/common.hpp>

#include "core/core.h"

namespace engine {
namespace {

// [SECTION] Part lines

constexpr int32_t kFieldCount = 31;

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t at = 0;
  for (;;) {
    const size_t bar = line.find('|', at);
    if (bar == std::string_view::npos) {
      fields.push_back(line.substr(at));
      return fields;
    }
    fields.push_back(line.substr(at, bar - at));
    at = bar + 1;
  }
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A field's number is its leading (signed) digits; a field without any is missing. Values past
// 32 bits are held at its ends.
bool ReadNumber(std::string_view field, int32_t* value) {
  field = Trim(field);
  bool negative = false;
  if (!field.empty() && (field.front() == '-' || field.front() == '+')) {
    negative = field.front() == '-';
    field.remove_prefix(1);
  }
  if (field.empty() || field.front() < '0' || field.front() > '9') return false;
  int64_t number = 0;
  for (char c : field) {
    if (c < '0' || c > '9') break;
    number = std::min<int64_t>(number * 10 + (c - '0'), int64_t{INT32_MAX} + 1);
  }
  if (negative) number = -number;
  *value = static_cast<int32_t>(std::clamp<int64_t>(number, INT32_MIN, INT32_MAX));
  return true;
}

// "\" becomes "/", a leading "./" the root folder; steps such as "a/../" are folded so that one
// file has one name (the texture cache keys on it).
std::string NormalisePartPath(std::string_view field, const std::string& root) {
  std::string path(Trim(field));
  std::replace(path.begin(), path.end(), '\\', '/');
  if (path.size() >= 2 && path[0] == '.' && path[1] == '/') path = root + path.substr(2);
  return core::NormalisePath(path);
}

// Reads the fields of `line` over `defaults`: a missing or empty field, or a mode, quality or
// direction out of range, keeps the default's value.
PartLine ReadFields(std::string_view line, const PartLine& defaults, const std::string& root) {
  PartLine part = defaults;
  const std::vector<std::string_view> fields = SplitFields(line);
  auto field = [&](int32_t number) -> std::string_view {
    return number <= static_cast<int32_t>(fields.size()) ? fields[number - 1] : std::string_view();
  };
  auto number = [&](int32_t n, int32_t* target, int32_t low, int32_t high) {
    int32_t value = 0;
    if (ReadNumber(field(n), &value) && value >= low && value <= high) *target = value;
  };
  auto path = [&](int32_t n, std::string* target) {
    if (!Trim(field(n)).empty()) *target = NormalisePartPath(field(n), root);
  };
  number(1, &part.frame, INT32_MIN, INT32_MAX);
  path(2, &part.texture);
  path(3, &part.source);
  number(4, &part.mode, 0, 5);
  number(5, &part.quality, 0, 3);
  number(6, &part.material, INT32_MIN, INT32_MAX);
  number(7, &part.flip, INT32_MIN, INT32_MAX);
  // Fields 8 and 9 are reserved.
  number(10, &part.translucent, INT32_MIN, INT32_MAX);
  number(11, &part.transparent, INT32_MIN, INT32_MAX);
  number(12, &part.textureScale, INT32_MIN, INT32_MAX);
  for (int32_t i = 0; i < 12; ++i) number(13 + i, &part.offsets[i], INT32_MIN, INT32_MAX);
  number(25, &part.red, INT32_MIN, INT32_MAX);
  number(26, &part.green, INT32_MIN, INT32_MAX);
  number(27, &part.blue, INT32_MIN, INT32_MAX);
  number(28, &part.reserved, INT32_MIN, INT32_MAX);
  number(29, &part.direction, 1, 6);
  path(30, &part.target);
  int32_t morphing = part.morphing;
  if (ReadNumber(field(31), &morphing)) part.morphing = std::clamp(morphing, 0, 100);
  static_assert(kFieldCount == 31);
  return part;
}

// The new part line read against the struct's own values, which hold its numbers; its paths come
// from the line itself.
PartLine NewPartDefaults(const std::string& root) {
  return ReadFields("1|" + std::string(kNewPartLine), PartLine{}, root);
}

// [SECTION] Building

struct View {
  glm::vec3 direction, up;
};
// Views 1..6: BACK, RIGHT, FRONT, LEFT, TOP, BOTTOM as a viewer looks.
constexpr View kViews[6] = {
    {{0, 0, -1}, {0, -1, 0}}, {{1, 0, 0}, {0, -1, 0}}, {{0, 0, 1}, {0, -1, 0}},
    {{-1, 0, 0}, {0, -1, 0}}, {{0, 1, 0}, {0, 0, -1}}, {{0, -1, 0}, {0, 0, -1}},
};
// The axis frames of the cylinder, sphere and chrome wraps by wrap direction 1..6.
constexpr View kWrapAxes[6] = {
    {{0, 1, 0}, {0, 0, 1}}, {{0, 1, 0}, {-1, 0, 0}}, {{0, 1, 0}, {0, 0, -1}},
    {{0, 1, 0}, {1, 0, 0}}, {{0, 0, 1}, {0, -1, 0}}, {{0, 0, 1}, {0, 1, 0}},
};

constexpr uint32_t kTranslucentAlpha = 0x80;
constexpr float kMetalSpecularPower = 5.0f;
constexpr float kSmoothCrease = 1.5708f;

// A colour field as a byte: value / 256 scaled to 255, the field held to 0..255 first so that a
// stray value cannot spill into the next channel.
uint32_t Channel(int32_t value) { return static_cast<uint32_t>(std::clamp(value, 0, 255)) * 255u / 256u; }

uint32_t PartColour(const PartLine& line) {
  const uint32_t alpha = line.translucent == 1 ? kTranslucentAlpha : 0xFFu;
  return alpha << 24 | Channel(line.red) << 16 | Channel(line.green) << 8 | Channel(line.blue);
}

uint32_t TexturedColour(const PartLine& line) { return line.translucent == 1 ? 0x80FFFFFFu : 0xFFFFFFFFu; }

size_t AddMeshFace(MeshBuilder* mesh, const MeshFace& face, uint32_t rgba) {
  MeshVertex corners[3];
  for (int k = 0; k < 3; ++k) {
    corners[k].position = face.v[k];
    corners[k].rgba = rgba;
  }
  return mesh->AddFace(corners[0], corners[1], corners[2]);
}

int64_t Millimetres(float value) {
  const double scaled = std::round(static_cast<double>(value) * 1000.0);
  return static_cast<int64_t>(std::clamp(scaled, static_cast<double>(INT32_MIN), static_cast<double>(INT32_MAX)));
}

}  // namespace

VisualFile ParseV3d(std::string_view text, const std::string& root) {
  VisualFile file;
  const PartLine defaults = NewPartDefaults(root);
  size_t at = 0;
  std::string_view line;
  while (core::NextLine(text, &at, &line)) {
    if (Trim(line).empty()) continue;  // a blank line holds no part
    file.lines.push_back(ReadFields(line, defaults, root));
    const size_t n = file.lines.size();
    if (n == 1 || file.lines[n - 1].frame != file.lines[n - 2].frame) ++file.frames;
  }
  return file;
}

VisualFile LoadV3d(const std::string& path, const std::string& root) {
  std::string text;
  std::string readPath = path;
  if (!core::ReadFile(path, &text)) {
    readPath = root + "visuals/default_.v3d";
    if (!core::ReadFile(readPath, &text)) text.clear();
  }
  VisualFile file = ParseV3d(text, root);
  file.path = readPath;
  return file;
}

const PartLine* ReadPartLine(const VisualFile& file, int32_t frame, int32_t part, int32_t* parts) {
  const PartLine* found = nullptr;
  int32_t count = 0;
  for (const PartLine& line : file.lines) {
    if (line.frame != frame) continue;
    if (++count == part) found = &line;
  }
  if (parts != nullptr) *parts = count;
  return found;
}

namespace {

// The models of a part; the target's faces are left out when `withTargetFaces` is false and the
// target is the source file (the same file reads the same, so its path is known without reading).
PartModels LoadModels(const PartLine& line, const std::string& root, bool withTargetFaces) {
  PartModels models;
  Load3ds(line.source, root, &models.source, &models.sourcePath);
  if (line.target == line.source) {
    if (withTargetFaces) models.target = models.source;
    models.targetPath = models.sourcePath;
  } else {
    Load3ds(line.target, root, &models.target, &models.targetPath);
  }
  if (line.flip == 1) {
    FlipFaces(&models.source.faces);
    FlipFaces(&models.target.faces);
  }
  return models;
}

}  // namespace

PartModels LoadPartModels(const PartLine& line, const std::string& root) { return LoadModels(line, root, true); }

int32_t FaceView(const MeshFace& face) {
  // Coordinates are held to 32 bits, so products of differences need more than 64.
  using Wide = __int128;
  Wide p[3][3];
  for (int k = 0; k < 3; ++k) {
    for (int i = 0; i < 3; ++i) p[k][i] = Millimetres(face.v[k][i]);
  }
  const Wide ax = p[0][0], ay = p[0][1], az = p[0][2];
  const Wide bx = p[1][0], by = p[1][1], bz = p[1][2];
  const Wide cx = p[2][0], cy = p[2][1], cz = p[2][2];
  auto magnitude = [](Wide v) { return v < 0 ? -v : v; };
  const Wide m = magnitude((cz - az) * (by - ay) - (cy - ay) * (bz - az));
  const Wide o = magnitude((cx - ax) * (bz - az) - (cz - az) * (bx - ax));
  const Wide r = magnitude((cy - ay) * (bx - ax) - (cx - ax) * (by - ay));
  // Later tests override earlier ones, so ties go to the later axis (all equal: z).
  int axis = 0;
  if (m >= o && m >= r) axis = 0;
  if (o >= m && o >= r) axis = 1;
  if (r >= o && r >= m) axis = 2;
  // The winding in the plane of the two other axes: (z, y) for x, (x, z) for y, (x, y) for z.
  static constexpr int kPlane[3][2] = {{2, 1}, {0, 2}, {0, 1}};
  const int one = kPlane[axis][0], two = kPlane[axis][1];
  const Wide winding = (p[1][one] - p[0][one]) * (p[2][two] - p[0][two]) - (p[1][two] - p[0][two]) * (p[2][one] - p[0][one]);
  const bool negative = winding < 0;
  static constexpr int32_t kViewOf[3][2] = {{4, 2}, {6, 5}, {3, 1}};  // [axis][negative]
  return kViewOf[axis][negative ? 1 : 0];
}

void BuildVisualFrame(const VisualFile& file, int32_t frame, const std::string& root, TextureCache* textures,
                      BuiltFrame* built, ElementBox* box) {
  *built = BuiltFrame{};
  built->frame = frame;
  if (frame == 1 && box != nullptr) *box = ElementBox{};

  // The frame's parts in line order (what ReadPartLine gives for parts 1, 2, ... in one pass).
  for (const PartLine& partLine : file.lines) {
    if (partLine.frame != frame) continue;
    const PartLine* line = &partLine;
    // An unmorphed part never looks at its target's faces.
    const PartModels models = LoadModels(*line, root, line->morphing > 0);
    if (built->parts.empty()) built->flatsScene = line->translucent == 1;

    BuiltPart& part = built->parts.emplace_back();
    part.sourcePath = models.sourcePath;
    part.targetPath = models.targetPath;
    part.mode = line->mode;
    part.quality = line->quality;
    part.sourceVertices = models.source.vertexEntries;
    MeshBuilder& mesh = part.mesh;
    const std::vector<MeshFace>& faces = models.source.faces;
    mesh.Reserve(faces.size());
    // Where each source face landed in the mesh: six views add faces view by view.
    std::vector<size_t> meshFaceOf(faces.size());

    if (line->mode == 0) {
      const uint32_t colour = PartColour(*line);
      for (size_t i = 0; i < faces.size(); ++i) meshFaceOf[i] = AddMeshFace(&mesh, faces[i], colour);
    } else {
      part.texturePath = line->texture;
      part.texture = textures->Load(line->texture);
      mesh.decalTransparency = line->transparent == 1;
      const uint32_t colour = TexturedColour(*line);
      if (line->mode == 1 || line->mode == 2) {
        std::vector<int32_t> views(faces.size(), line->direction);
        if (line->mode == 1) {
          for (size_t i = 0; i < faces.size(); ++i) views[i] = FaceView(faces[i]);
        }
        const float scale = static_cast<float>(static_cast<double>(line->textureScale) * 1000.0 / 268435456.0);
        for (int32_t view = 1; view <= 6; ++view) {
          Wrap wrap;
          wrap.type = WrapType::kFlat;
          wrap.direction = kViews[view - 1].direction;
          wrap.up = kViews[view - 1].up;
          wrap.uOffset = -(static_cast<float>(line->offsets[2 * (view - 1)]) + 127.5f) / 256.0f;
          wrap.vOffset = -(static_cast<float>(line->offsets[2 * (view - 1) + 1]) + 127.5f) / 256.0f;
          wrap.uScale = wrap.vScale = scale;
          const size_t first = mesh.FaceCount();
          for (size_t i = 0; i < faces.size(); ++i) {
            if (views[i] == view) meshFaceOf[i] = AddMeshFace(&mesh, faces[i], colour);
          }
          part.facesPerView[view - 1] = static_cast<int32_t>(mesh.FaceCount() - first);
          mesh.ApplyWrap(wrap, first, mesh.FaceCount());
        }
      } else {
        for (size_t i = 0; i < faces.size(); ++i) meshFaceOf[i] = AddMeshFace(&mesh, faces[i], colour);
        const int32_t view = line->direction;
        Wrap wrap;
        wrap.type = line->mode == 3 ? WrapType::kCylinder : line->mode == 4 ? WrapType::kSphere : WrapType::kChrome;
        wrap.direction = kWrapAxes[view - 1].direction;
        wrap.up = kWrapAxes[view - 1].up;
        wrap.uOffset = 0.0f;
        wrap.vOffset = -(static_cast<float>(line->offsets[2 * (view - 1) + 1]) + 127.5f) / 256.0f;
        wrap.uScale = 1.0f;
        wrap.vScale = static_cast<float>(static_cast<double>(line->textureScale) * -0.000003725);
        mesh.ApplyWrap(wrap);
      }
      mesh.texture = &part.texture->picture;
    }

    // Morphing moves each source vertex toward its paired target vertex; extra source faces pair
    // with the target's last face. Without any target face there is nothing to move toward.
    const std::vector<MeshFace>& targets = models.target.faces;
    if (line->morphing > 0 && !targets.empty()) {
      const float w = static_cast<float>(line->morphing) / 100.0f;
      std::vector<MeshVertex>& vertices = mesh.Vertices();
      for (size_t i = 0; i < faces.size(); ++i) {
        const MeshFace& target = targets[std::min(i, targets.size() - 1)];
        for (int k = 0; k < 3; ++k) {
          const glm::vec3& v = faces[i].v[k];
          // At 100 the target's own value, not v + (t - v) which can miss it by a rounding step.
          vertices[meshFaceOf[i] * 3 + k].position = line->morphing == 100 ? target.v[k] : v + (target.v[k] - v) * w;
        }
      }
    }

    mesh.GenerateNormals(line->quality == 2 ? 0.0f : kSmoothCrease);
    mesh.quality = line->quality == 0 ? kQualityWireframe : line->quality == 1 ? kQualityUnlitFlat : kQualityGouraud;
    mesh.perspectiveCorrect = true;
    mesh.specularPower = line->material == 1 ? kMetalSpecularPower : 0.0f;

    glm::vec3 low, high;
    if (frame == 1 && box != nullptr && mesh.Box(&low, &high)) {
      box->min = glm::min(box->min, low * 1000.0f);
      box->max = glm::max(box->max, high * 1000.0f);
    }
  }
}

}  // namespace engine
