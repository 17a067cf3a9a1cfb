// The subset of the .3ds model format that visuals read, and the box files beside .x visuals.
// Pure parsing from memory plus the file fallbacks; calls core.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <glm/vec3.hpp>

namespace engine {

// One triangle of a model as the visuals use it: three vertices, each stored (x, z, y) from the
// file's (x, y, z).
struct MeshFace {
  glm::vec3 v[3];
};

struct Model3ds {
  std::vector<MeshFace> faces;
  int32_t vertexEntries = 0;     // vertex-list entries read (all lists of the file)
  int32_t recognisedChunks = 0;  // 0x4D4D, 0x3D3D, 0x4000, 0x4100, 0x4110, 0x4120 met
};

// Walks the chunks of a .3ds file held in memory: 0x4D4D, 0x3D3D and 0x4100 entered, 0x4000
// entered after its zero-terminated name, 0x4110 remembered, 0x4120 one face per entry from the
// last vertex list, every other chunk skipped by its length. True when at least 5 recognised
// chunks were met (the file counts as a model).
// Damaged files: a chunk length below 6 ends the walk (what was read stays); a length past its
// parent's end is cut to it; lists are read as far as whole entries fit; a face naming a vertex past
// the last list (or any face before a list) is dropped; non-finite coordinates read as 0.
bool Parse3ds(std::string_view bytes, Model3ds* model);

// Reads the model at `path` (absolute); when it cannot be read or is no model, reads
// root + "3dsfiles/default_.3ds" instead. *readPath names the file the faces come from. False
// (model empty) when neither gives a model.
bool Load3ds(const std::string& path, const std::string& root, Model3ds* model, std::string* readPath);

// Exchanges the second and third vertex of every face.
void FlipFaces(std::vector<MeshFace>* faces);

// A .x visual's box file: the .x path with its extension replaced by "txt"; line 1 ignored, lines 2
// to 7 max x, min x, max y, min y, max z, min z. A missing file or line leaves the value at its
// default: maxima -2147483648, minima 2147483647.
struct BoxFile {
  int32_t max[3] = {INT32_MIN, INT32_MIN, INT32_MIN};  // x, y, z
  int32_t min[3] = {INT32_MAX, INT32_MAX, INT32_MAX};
};
BoxFile ParseBoxFile(std::string_view text);
std::string BoxFilePath(const std::string& xPath);
BoxFile ReadBoxFile(const std::string& xPath);

}  // namespace engine
