// .x object files: loading one through the platform's model importer into meshes, a node tree and
// animation sets, placing it into a scene as frames, and showing an animation set at a time.
// Calls the platform's model importer, the texture cache, the mesh builder and the scene layer.
#pragma once

#include <cstdint>
#include <glm/mat4x4.hpp>
#include <memory>
#include <string>
#include <vector>

#include "engine/pictures/bmp.h"
#include "engine/scene/mesh_builder.h"
#include "engine/scene/scene.h"

namespace platform {
class ModelImportCache;
}

namespace engine {

// One node of an object: a frame when placed. Node 0 is the root; a parent's index is always below
// its children's.
struct XNode {
  std::string name;
  int32_t parent = scene::kNone;
  glm::mat4 transform{1.0f};    // relative to the parent, scene coordinates (column vectors)
  std::vector<int32_t> meshes;  // indices into XObject::meshes, shown by this node's frame
};

// The keys of one node in one animation set, in the set's ticks. Only the key vectors of the
// Animation are used (sorted by time; its frame stays kNone).
struct XChannel {
  int32_t node = 0;
  scene::Animation keys;
};

struct XAnimationSet {
  std::string name;
  float duration = 0.0f;        // in ticks
  float ticksPerSecond = 0.0f;  // 0 when the file does not say
  std::vector<XChannel> channels;
};

// A loaded .x file. Meshes are owned here and shown by pointer, so the object must outlive every
// scene it is placed into (and stay where it is: moving the vector of meshes is fine, the meshes
// themselves do not move).
struct XObject {
  std::string path;
  std::vector<XNode> nodes;
  std::vector<std::unique_ptr<MeshBuilder>> meshes;
  std::vector<XAnimationSet> animationSets;
};

// Reads the .x file at `path`: one mesh per imported mesh, with the file's coordinates (left-handed,
// like the scene) and winding, its texture coordinates, and its normals (generated where the file
// has none). A mesh is white when its material has a texture (read from the model's folder through
// `textures`; null leaves textures out), else coloured by the file's vertex colours, else by the
// material's diffuse colour; channels are value x 255 / 256, alpha from the material. Quality
// Gouraud, specular power from the material. Animation channels naming no node are dropped.
// False with a message (and *out empty) when the file is refused or holds no triangle.
// With `imports`, a file it imported before comes from memory.
bool LoadXFile(const std::string& path, TextureCache* textures, XObject* out, std::string* error,
               platform::ModelImportCache* imports = nullptr);

// Frames made by PlaceXObject: `frame` is the root node's, nodeFrames[i] node i's.
struct PlacedXObject {
  int32_t frame = scene::kNone;
  std::vector<int32_t> nodeFrames;
};

// Makes one frame per node under `parent` (kNone: the object is a new root scene), each with its
// node's transform split into position, orientation and scale (a mirroring transform gets a
// negative x scale), and showing its node's meshes by pointer.
PlacedXObject PlaceXObject(scene::Scene* scene, int32_t parent, const XObject& object);

// Shows animation set `set` at `time` (in the set's ticks, held to the keys' range): every node
// with a channel gets each kind of key it has (position, rotation, scale) interpolated linearly
// (rotations spherically); the other transforms stay as they are. An unknown set does nothing.
void SetAnimationTime(scene::Scene* scene, const PlacedXObject& placed, const XObject& object, int32_t set, float time);

// The files of a numbered series: `first` itself, then stem + "002.x", stem + "003.x", ... for as
// long as they exist (stem: `first` without its ".x"; the extension keeps the case `first` has).
std::vector<std::string> NumberedXFiles(const std::string& first);

}  // namespace engine
