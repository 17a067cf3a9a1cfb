// The .3ds subset reader and the .x box files. Calls core for files.
#include "engine/visuals/model_3ds.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/core.h"
#include "model/model.h"

namespace engine {
namespace {

constexpr uint16_t kMain = 0x4D4D;
constexpr uint16_t kEditor = 0x3D3D;
constexpr uint16_t kNamedObject = 0x4000;
constexpr uint16_t kTriangleObject = 0x4100;
constexpr uint16_t kVertexList = 0x4110;
constexpr uint16_t kFaceList = 0x4120;
constexpr size_t kHeader = 6;

uint16_t Read16(std::string_view bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8);
}

uint32_t Read32(std::string_view bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
  return value;
}

// Non-finite coordinates would poison every box and normal they touch: they read as 0.
float ReadFloat(std::string_view bytes, size_t at) {
  const uint32_t bits = Read32(bytes, at);
  float value = 0.0f;
  std::memcpy(&value, &bits, 4);
  return std::isfinite(value) ? value : 0.0f;
}

struct Walker {
  std::string_view bytes;
  Model3ds* model;
  std::vector<glm::vec3> vertices;  // the last vertex list, stored (x, z, y)

  // The chunks between `at` and `end`, each cut to its parent's end. Entered chunks push their end
  // on a stack rather than recursing: a file of nothing but nested 0x3D3D headers nests as deep as
  // it has six-byte groups, which would overflow the call stack. A length below the header's own
  // six bytes would never move on, and nothing after it can be trusted: it ends the walk.
  void Walk(size_t at, size_t end) {
    std::vector<size_t> ends{end};
    while (!ends.empty()) {
      const size_t levelEnd = ends.back();
      if (at + kHeader > levelEnd) {  // this level is done (a few stray bytes at most)
        at = levelEnd;
        ends.pop_back();
        continue;
      }
      const uint16_t id = Read16(bytes, at);
      const uint32_t length = Read32(bytes, at + 2);
      if (length < kHeader) return;
      const size_t chunkEnd = length > levelEnd - at ? levelEnd : at + length;
      const size_t body = at + kHeader;
      at = chunkEnd;
      switch (id) {
        case kEditor:
        case kTriangleObject:
          ++model->recognisedChunks;
          ends.push_back(chunkEnd);
          at = body;
          break;
        case kNamedObject: {
          ++model->recognisedChunks;
          size_t name = body;
          while (name < chunkEnd && bytes[name] != '\0') ++name;
          if (name < chunkEnd) {
            ends.push_back(chunkEnd);
            at = name + 1;
          }
          break;
        }
        case kVertexList:
          ++model->recognisedChunks;
          ReadVertices(body, chunkEnd);
          break;
        case kFaceList:
          ++model->recognisedChunks;
          ReadFaces(body, chunkEnd);
          break;
        default:
          break;
      }
    }
  }

  // As many whole entries as the chunk holds, at most the count it gives.
  void ReadVertices(size_t at, size_t end) {
    vertices.clear();
    if (at + 2 > end) return;
    const size_t count = std::min<size_t>(Read16(bytes, at), (end - at - 2) / 12);
    vertices.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      const size_t p = at + 2 + i * 12;
      vertices.emplace_back(ReadFloat(bytes, p), ReadFloat(bytes, p + 8), ReadFloat(bytes, p + 4));
    }
    model->vertexEntries += static_cast<int32_t>(count);
  }

  // A face naming a vertex past the list (or any face before a list) is dropped.
  void ReadFaces(size_t at, size_t end) {
    if (at + 2 > end) return;
    const size_t count = std::min<size_t>(Read16(bytes, at), (end - at - 2) / 8);
    model->faces.reserve(model->faces.size() + count);
    for (size_t i = 0; i < count; ++i) {
      const size_t p = at + 2 + i * 8;
      const uint16_t a = Read16(bytes, p), b = Read16(bytes, p + 2), c = Read16(bytes, p + 4);
      if (a >= vertices.size() || b >= vertices.size() || c >= vertices.size()) continue;
      model->faces.push_back(MeshFace{{vertices[a], vertices[b], vertices[c]}});
    }
  }
};

}  // namespace

bool Parse3ds(std::string_view bytes, Model3ds* model) {
  *model = Model3ds{};
  if (bytes.size() < kHeader || Read16(bytes, 0) != kMain) return false;
  ++model->recognisedChunks;
  const uint32_t length = Read32(bytes, 2);
  const size_t end = length < kHeader ? kHeader : std::min<size_t>(length, bytes.size());
  Walker walker{bytes, model, {}};
  walker.Walk(kHeader, end);
  return model->recognisedChunks >= 5;
}

namespace {

// The game builder stores the models of a finished game's visuals scrambled; a file that is no
// model as it stands is read once more through the unscrambling.
bool ParseScrambled3ds(std::string* bytes, Model3ds* model) {
  if (bytes->size() >= 2 && Read16(*bytes, 0) == kMain) return false;
  model::UnscrambleBytes(bytes);
  return Parse3ds(*bytes, model);
}

}  // namespace

bool Load3ds(const std::string& path, const std::string& root, Model3ds* model, std::string* readPath) {
  std::string bytes;
  if (core::ReadFile(path, &bytes) && (Parse3ds(bytes, model) || ParseScrambled3ds(&bytes, model))) {
    *readPath = path;
    return true;
  }
  const std::string fallback = root + "3dsfiles/default_.3ds";
  *readPath = fallback;
  if (core::ReadFile(fallback, &bytes) && Parse3ds(bytes, model)) return true;
  *model = Model3ds{};
  return false;
}

void FlipFaces(std::vector<MeshFace>* faces) {
  for (MeshFace& face : *faces) std::swap(face.v[1], face.v[2]);
}

BoxFile ParseBoxFile(std::string_view text) {
  BoxFile box;
  int32_t* targets[6] = {&box.max[0], &box.min[0], &box.max[1], &box.min[1], &box.max[2], &box.min[2]};
  size_t at = 0;
  std::string_view line;
  for (int n = 0; core::NextLine(text, &at, &line); ++n) {
    if (n == 0) continue;  // line 1 is not used
    if (n > 6) break;
    const std::string value(line);
    char* endPointer = nullptr;
    const long long number = std::strtoll(value.c_str(), &endPointer, 10);
    if (endPointer == value.c_str()) continue;  // no number: the default stays
    *targets[n - 1] = static_cast<int32_t>(std::clamp<long long>(number, INT32_MIN, INT32_MAX));
  }
  return box;
}

std::string BoxFilePath(const std::string& xPath) {
  const size_t slash = xPath.rfind('/');
  const size_t dot = xPath.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return xPath + ".txt";
  return xPath.substr(0, dot) + ".txt";
}

BoxFile ReadBoxFile(const std::string& xPath) {
  std::string text;
  if (!core::ReadFile(BoxFilePath(xPath), &text)) return BoxFile{};
  return ParseBoxFile(text);
}

}  // namespace engine
