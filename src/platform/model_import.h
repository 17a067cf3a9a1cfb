// Model files read through Assimp into plain data: node tree, triangle meshes, materials and
// key-framed animations. The only code that includes Assimp's headers; calls Assimp and POSIX.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace platform {

// Coordinates, winding and texture coordinates are the file's own: a DirectX-style .x file comes
// back left-handed (x right, y up, z away), faces in the order the file lists their corners, and
// v = 0 at the top row of a texture. Matrices are 4 x 4, column-major (element [column * 4 + row]),
// for column vectors: a point p maps to M p, the translation in elements 12, 13 and 14.
struct ImportedNode {
  std::string name;
  int32_t parent = -1;  // index into ImportedModel::nodes; -1 for the root
  // Relative to the parent.
  float transform[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  std::vector<uint32_t> meshes;  // indices into ImportedModel::meshes
};

struct ImportedMesh {
  std::string name;
  std::vector<float> positions;     // x, y, z per vertex
  std::vector<float> normals;       // x, y, z per vertex; empty when the file has none
  std::vector<float> colours;       // r, g, b, a (0..1) per vertex; empty when the file has none
  std::vector<float> uvs;           // u, v per vertex; empty when the file has none
  std::vector<uint32_t> triangles;  // three vertex indices per face, each below the vertex count
  uint32_t material = 0;            // index into ImportedModel::materials
};

struct ImportedMaterial {
  float diffuse[4] = {1, 1, 1, 1};  // r, g, b, a, 0..1
  std::string texture;              // diffuse texture as the file names it (relative to the model); may be empty
  float specularPower = 0.0f;
};

struct ImportedVectorKey {
  double time;  // in ticks
  float value[3];
};
struct ImportedRotationKey {
  double time;
  float value[4];  // w, x, y, z: the node's rotation relative to its parent
};
struct ImportedChannel {
  std::string node;  // the name of the node it moves
  std::vector<ImportedVectorKey> positions;
  std::vector<ImportedRotationKey> rotations;
  std::vector<ImportedVectorKey> scales;
};
struct ImportedAnimation {
  std::string name;
  double duration = 0.0;        // in ticks
  double ticksPerSecond = 0.0;  // 0 when the file does not say
  std::vector<ImportedChannel> channels;
};

// Nodes come parents first: node 0 is the root, every parent index is below its child's.
struct ImportedModel {
  std::vector<ImportedNode> nodes;
  std::vector<ImportedMesh> meshes;
  std::vector<ImportedMaterial> materials;  // at least one when there is a mesh
  std::vector<ImportedAnimation> animations;
};

// Reads the model file at `path`, polygons cut into triangles as fans from their first corner
// (points and lines are dropped). False with Assimp's message in *error for a file Assimp refuses,
// and for one without a triangle; *out is then empty. Assimp runs in a child process that hands the
// model back, so a file that crashes Assimp's reader (or keeps it busy for 15 seconds) is refused
// instead of ending the program. Assimp's logging stays quiet. Safe to call from several threads.
bool ImportModelFile(const std::string& path, ImportedModel* out, std::string* error);

// The models a process imports again and again (the backdrop hood of every play): each file is
// imported once and handed out from memory while its size and modification time stay the same.
// Refusals are not kept. Not for several threads at once.
class ModelImportCache {
 public:
  // As ImportModelFile.
  bool Import(const std::string& path, ImportedModel* out, std::string* error);
  size_t Size() const { return entries_.size(); }

 private:
  struct Entry {
    int64_t size = -1;
    int64_t modified = 0;  // nanoseconds
    ImportedModel model;
  };
  std::map<std::string, Entry, std::less<>> entries_;
};

}  // namespace platform
