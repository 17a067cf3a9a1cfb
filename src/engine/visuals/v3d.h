// .v3d visual files: reading part lines, and building a visual frame's meshes from them. Calls
// the 3DS reader, the texture cache and the scene layer's mesh builder.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <glm/vec3.hpp>

#include "engine/pictures/bmp.h"
#include "engine/scene/mesh_builder.h"
#include "engine/visuals/model_3ds.h"

namespace engine {

// The line a new part starts from (after its frame number and "|").
inline constexpr std::string_view kNewPartLine =
    "./images/default_.bmp|./visuals/default_.3ds|1|3|0|0|0|0|0|0|25000|0|0|0|0|0|0|0|0|0|0|0|0|255|255|255|0|1|"
    "./visuals/default_.3ds|0";

// One part line, its 31 fields read: paths with "\" turned to "/", a leading "./" to the root
// folder and "." and ".." steps folded; a missing or empty field, or a mode, quality or direction out of range, takes the new
// part line's value; morphing clamped to 0..100.
struct PartLine {
  int32_t frame = 1;
  std::string texture;  // field 2, absolute
  std::string source;   // field 3, absolute
  int32_t mode = 1;     // 0 colour only, 1 six views, 2 flat projection, 3 cylinder, 4 sphere, 5 chrome
  int32_t quality = 3;  // 0 wireframe, 1 unlit flat, 2 flat, 3 Gouraud
  int32_t material = 0;
  int32_t flip = 0;
  int32_t translucent = 0;
  int32_t transparent = 0;
  int32_t textureScale = 25000;
  std::array<int32_t, 12> offsets{};  // u then v of views 1..6
  int32_t red = 255, green = 255, blue = 255, reserved = 0;
  int32_t direction = 1;  // 1..6
  std::string target;     // field 30, absolute
  int32_t morphing = 0;   // 0..100
};

// A .v3d file read: its part lines in order and its frame count (frame numbers counted where they
// change between consecutive lines).
struct VisualFile {
  std::string path;  // the file actually read (after the fallback)
  std::vector<PartLine> lines;
  int32_t frames = 0;
};
// Parses the text of a .v3d file (CR LF, LF or CR line ends); `root` is the project root folder
// (absolute, ending with '/').
VisualFile ParseV3d(std::string_view text, const std::string& root);
// Reads `path`, or root + "visuals/default_.v3d" when it cannot be read.
VisualFile LoadV3d(const std::string& path, const std::string& root);
// The `part`-th line (from 1) whose frame number is `frame`, or nullptr (the "-1" of a part
// beyond the frame's last); *parts gets the number of parts of that frame when given.
const PartLine* ReadPartLine(const VisualFile& file, int32_t frame, int32_t part, int32_t* parts = nullptr);

// The source and target models of a part (target after source), each with its fallback, both
// flipped when field 7 is 1. A target naming the source file is not read a second time.
struct PartModels {
  Model3ds source;
  Model3ds target;
  std::string sourcePath;  // the files actually read
  std::string targetPath;
};
PartModels LoadPartModels(const PartLine& line, const std::string& root);

// The view (1 BACK, 2 RIGHT, 3 FRONT, 4 LEFT, 5 TOP, 6 BOTTOM) a face faces, on its stored vertices
// scaled by 1000 to integers.
int32_t FaceView(const MeshFace& face);

// One part of a built frame, for the renderer and for inspection.
struct BuiltPart {
  MeshBuilder mesh;
  std::string sourcePath, targetPath;
  int32_t mode = 0;
  int32_t quality = 3;
  int32_t sourceVertices = 0;
  std::array<int32_t, 6> facesPerView{};  // modes 1 and 2
  const TextureCache::Entry* texture = nullptr;  // null for colour-only parts
  std::string texturePath;
};
// A built visual frame: its parts and the scene it goes to.
struct BuiltFrame {
  int32_t frame = 1;
  bool flatsScene = false;  // the first part is translucent
  std::vector<BuiltPart> parts;
};

// Builds frame `frame` of a visual (steps 1 to 11): every part's mesh with its colours, texture,
// wraps, morphing, normals, quality and material. When `frame` is 1, `box` (in millimetres:
// positions x 1000; may be null) is reset and then widened by the built faces, after morphing.
// Textures come from `textures`, so parts naming one file share one picture.
struct ElementBox {
  glm::vec3 max{-2147483648.0f};
  glm::vec3 min{2147483647.0f};
};
void BuildVisualFrame(const VisualFile& file, int32_t frame, const std::string& root, TextureCache* textures,
                      BuiltFrame* built, ElementBox* box);

}  // namespace engine
