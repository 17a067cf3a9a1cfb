// .x object files: the importer's plain model turned into meshes, nodes and animation sets, their
// frames in a scene, and animation sampling. Calls the platform's model importer, core's paths,
// the texture cache, the mesh builder and the scene layer.
#include "engine/visuals/xfile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <glm/geometric.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <glm/matrix.hpp>
#include <map>
#include <utility>

#include "core/core.h"
#include "platform/platform.h"

namespace engine {

namespace {

constexpr float kSmoothCrease = 1.5708f;

// A 0..1 colour channel as the visuals store it: the byte value scaled by 255 / 256.
uint32_t Channel(float value) {
  const float byte = std::isfinite(value) ? std::clamp(std::round(value * 255.0f), 0.0f, 255.0f) : 0.0f;
  return static_cast<uint32_t>(byte) * 255u / 256u;
}

uint32_t Alpha(float value) {
  return std::isfinite(value) ? static_cast<uint32_t>(std::clamp(std::round(value * 255.0f), 0.0f, 255.0f)) : 255u;
}

uint32_t Colour(float r, float g, float b, float a) {
  return Alpha(a) << 24 | Channel(r) << 16 | Channel(g) << 8 | Channel(b);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The texture a material names, as a normalised path: relative names start at the model's folder.
std::string TexturePath(const std::string& modelPath, std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  if (!name.empty() && name.front() == '/') return core::NormalisePath(name);
  return core::NormalisePath(FolderOf(modelPath) + name);
}

std::unique_ptr<MeshBuilder> BuildMesh(const platform::ImportedMesh& mesh, const platform::ImportedMaterial& material,
                                       const std::string& modelPath, TextureCache* textures) {
  auto built = std::make_unique<MeshBuilder>();
  built->quality = kQualityGouraud;
  built->specularPower = std::isfinite(material.specularPower) ? std::max(material.specularPower, 0.0f) : 0.0f;
  const float alpha = material.diffuse[3];
  uint32_t flat = Colour(material.diffuse[0], material.diffuse[1], material.diffuse[2], alpha);
  bool vertexColours = !mesh.colours.empty();
  if (!material.texture.empty() && textures != nullptr) {
    built->texture = &textures->Load(TexturePath(modelPath, material.texture))->picture;
    flat = Alpha(alpha) << 24 | 0x00FFFFFFu;
    vertexColours = false;
  }
  const size_t vertexCount = mesh.positions.size() / 3;
  const bool normals = mesh.normals.size() == vertexCount * 3;
  const bool uvs = mesh.uvs.size() == vertexCount * 2;
  vertexColours = vertexColours && mesh.colours.size() == vertexCount * 4;
  built->Reserve(mesh.triangles.size() / 3);
  for (size_t t = 0; t + 2 < mesh.triangles.size(); t += 3) {
    MeshVertex corners[3];
    for (int k = 0; k < 3; ++k) {
      const size_t v = mesh.triangles[t + k];
      MeshVertex& corner = corners[k];
      corner.position = glm::vec3(mesh.positions[v * 3], mesh.positions[v * 3 + 1], mesh.positions[v * 3 + 2]);
      if (normals) corner.normal = glm::vec3(mesh.normals[v * 3], mesh.normals[v * 3 + 1], mesh.normals[v * 3 + 2]);
      if (uvs) corner.uv = glm::vec2(mesh.uvs[v * 2], mesh.uvs[v * 2 + 1]);
      corner.rgba =
          vertexColours ? Colour(mesh.colours[v * 4], mesh.colours[v * 4 + 1], mesh.colours[v * 4 + 2], alpha) : flat;
    }
    built->AddFace(corners[0], corners[1], corners[2]);
  }
  if (!normals) built->GenerateNormals(kSmoothCrease);
  return built;
}

template <typename Key>
void SortKeys(std::vector<Key>* keys) {
  std::stable_sort(keys->begin(), keys->end(), [](const Key& a, const Key& b) { return a.time < b.time; });
}

XAnimationSet BuildAnimationSet(const platform::ImportedAnimation& animation,
                                const std::map<std::string, int32_t>& nodes) {
  XAnimationSet set;
  set.name = animation.name;
  set.duration = static_cast<float>(animation.duration);
  set.ticksPerSecond = static_cast<float>(animation.ticksPerSecond);
  for (const platform::ImportedChannel& channel : animation.channels) {
    const auto node = nodes.find(channel.node);
    if (node == nodes.end()) continue;
    XChannel& out = set.channels.emplace_back();
    out.node = node->second;
    for (const platform::ImportedVectorKey& key : channel.positions) {
      out.keys.positions.push_back({static_cast<float>(key.time), glm::vec3(key.value[0], key.value[1], key.value[2])});
    }
    for (const platform::ImportedVectorKey& key : channel.scales) {
      out.keys.scales.push_back({static_cast<float>(key.time), glm::vec3(key.value[0], key.value[1], key.value[2])});
    }
    for (const platform::ImportedRotationKey& key : channel.rotations) {
      const glm::quat q(key.value[0], key.value[1], key.value[2], key.value[3]);
      const float length = glm::length(q);
      // A zero or broken quaternion would turn the frame's orientation into NaNs.
      const glm::quat unit = std::isfinite(length) && length > 1e-6f ? q / length : glm::quat(1.0f, 0.0f, 0.0f, 0.0f);
      out.keys.rotations.push_back({static_cast<float>(key.time), unit});
    }
    SortKeys(&out.keys.positions);
    SortKeys(&out.keys.scales);
    SortKeys(&out.keys.rotations);
  }
  return set;
}

// Splits a transform into the frame's position, orientation (right, up, direction made
// orthonormal, up following the direction) and scale.
void SetFrameTransform(scene::Frame* frame, const glm::mat4& m) {
  frame->position = glm::vec3(m[3]);
  const glm::vec3 x(m[0]), y(m[1]), z(m[2]);
  glm::vec3 scale(glm::length(x), glm::length(y), glm::length(z));
  if (!(scale.x > 0.0f && scale.y > 0.0f && scale.z > 0.0f) || !std::isfinite(scale.x + scale.y + scale.z)) {
    frame->orientation = glm::mat3(1.0f);
    frame->scale = glm::vec3(0.0f);
    return;
  }
  const glm::vec3 direction = z / scale.z;
  glm::vec3 up = y - glm::dot(y, direction) * direction;
  const float upLength = glm::length(up);
  up = upLength > 1e-6f ? up / upLength : glm::vec3(0.0f, 1.0f, 0.0f);
  const glm::vec3 right = glm::cross(up, direction);
  if (glm::dot(x, right) < 0.0f) scale.x = -scale.x;  // a mirror: right stays right-handed, x flips
  frame->orientation = glm::mat3(right, up, direction);
  frame->scale = scale;
}

// The value of sorted keys at `time`, held to the first and last key.
template <typename Key, typename Mix>
auto Sample(const std::vector<Key>& keys, float time, Mix mix) {
  if (time <= keys.front().time) return keys.front().value;
  if (time >= keys.back().time) return keys.back().value;
  const auto after = std::upper_bound(keys.begin(), keys.end(), time, [](float t, const Key& k) { return t < k.time; });
  const Key& b = *after;
  const Key& a = *(after - 1);
  const float span = b.time - a.time;
  return span > 0.0f ? mix(a.value, b.value, (time - a.time) / span) : b.value;
}

}  // namespace

bool LoadXFile(const std::string& path, TextureCache* textures, XObject* out, std::string* error,
               platform::ModelImportCache* imports) {
  *out = XObject{};
  platform::ImportedModel model;
  if (imports != nullptr ? !imports->Import(path, &model, error) : !platform::ImportModelFile(path, &model, error)) {
    return false;
  }
  XObject object;
  object.path = path;
  for (const platform::ImportedMesh& mesh : model.meshes) {
    object.meshes.push_back(BuildMesh(mesh, model.materials[mesh.material], path, textures));
  }
  std::map<std::string, int32_t> byName;
  for (const platform::ImportedNode& node : model.nodes) {
    XNode& out = object.nodes.emplace_back();
    out.name = node.name;
    out.parent = node.parent;
    out.transform = glm::make_mat4(node.transform);
    for (uint32_t mesh : node.meshes) out.meshes.push_back(static_cast<int32_t>(mesh));
    byName.emplace(node.name, static_cast<int32_t>(object.nodes.size() - 1));  // the first of a name wins
  }
  for (const platform::ImportedAnimation& animation : model.animations) {
    object.animationSets.push_back(BuildAnimationSet(animation, byName));
  }
  *out = std::move(object);
  return true;
}

PlacedXObject PlaceXObject(scene::Scene* scene, int32_t parent, const XObject& object) {
  PlacedXObject placed;
  placed.nodeFrames.reserve(object.nodes.size());
  for (size_t i = 0; i < object.nodes.size(); ++i) {
    const XNode& node = object.nodes[i];
    const bool hasParent = node.parent >= 0 && static_cast<size_t>(node.parent) < i;
    const int32_t frame =
        scene->CreateFrame(i == 0 || !hasParent ? parent : placed.nodeFrames[static_cast<size_t>(node.parent)]);
    placed.nodeFrames.push_back(frame);
    scene::Frame& made = scene->At(frame);
    SetFrameTransform(&made, node.transform);
    for (int32_t mesh : node.meshes) {
      if (mesh >= 0 && static_cast<size_t>(mesh) < object.meshes.size())
        made.meshes.push_back(object.meshes[static_cast<size_t>(mesh)].get());
    }
  }
  if (!placed.nodeFrames.empty()) placed.frame = placed.nodeFrames.front();
  return placed;
}

void SetAnimationTime(scene::Scene* scene, const PlacedXObject& placed, const XObject& object, int32_t set,
                      float time) {
  if (set < 0 || static_cast<size_t>(set) >= object.animationSets.size()) return;
  const auto lerp = [](const glm::vec3& a, const glm::vec3& b, float t) { return a + (b - a) * t; };
  const auto slerp = [](const glm::quat& a, const glm::quat& b, float t) { return glm::slerp(a, b, t); };
  for (const XChannel& channel : object.animationSets[static_cast<size_t>(set)].channels) {
    if (channel.node < 0 || static_cast<size_t>(channel.node) >= placed.nodeFrames.size()) continue;
    scene::Frame& frame = scene->At(placed.nodeFrames[static_cast<size_t>(channel.node)]);
    if (!channel.keys.positions.empty()) frame.position = Sample(channel.keys.positions, time, lerp);
    if (!channel.keys.scales.empty()) frame.scale = Sample(channel.keys.scales, time, lerp);
    if (!channel.keys.rotations.empty()) {
      frame.orientation = glm::mat3_cast(glm::normalize(Sample(channel.keys.rotations, time, slerp)));
    }
  }
}

std::vector<std::string> NumberedXFiles(const std::string& first) {
  std::vector<std::string> files{first};
  std::string stem = first;
  std::string extension = ".x";
  if (stem.size() >= 2 && stem[stem.size() - 2] == '.' && (stem.back() == 'x' || stem.back() == 'X')) {
    extension = stem.substr(stem.size() - 2);
    stem.resize(stem.size() - 2);
  }
  for (int number = 2;; ++number) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%03d", number);
    std::string next = stem + suffix + extension;
    if (!core::FileExists(next)) break;
    files.push_back(std::move(next));
  }
  return files;
}

}  // namespace engine
