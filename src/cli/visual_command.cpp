// vexel visual show: a .v3d loaded and built as a play would, in the current folder, without a
// display: its frames, parts, faces, views, textures and box; for a .x path, its box file.
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/core.h"
#include "engine/engine.h"
#include "model/model.h"

namespace cli {
namespace {

constexpr const char* kUsage = "usage: vexel visual show FILE [--json]\n";

// Absolute paths under the folder are written as the project files write them, with "./".
std::string Relative(const std::string& path, const std::string& folder) {
  return path.compare(0, folder.size(), folder) == 0 ? "./" + path.substr(folder.size()) : path;
}

std::string Triple(const int32_t values[3]) {
  return "[" + std::to_string(values[0]) + ", " + std::to_string(values[1]) + ", " + std::to_string(values[2]) + "]";
}

std::string PartJson(const engine::BuiltPart& part, bool flats, const std::string& folder) {
  std::string json = "{\"source\": " + core::JsonString(Relative(part.sourcePath, folder)) +
                     ", \"target\": " + core::JsonString(Relative(part.targetPath, folder)) +
                     ", \"mode\": " + std::to_string(part.mode) + ", \"quality\": " + std::to_string(part.quality) +
                     ", \"scene\": " + (flats ? "\"flats\"" : "\"main\"") +
                     ", \"faces\": " + std::to_string(part.mesh.FaceCount()) +
                     ", \"source_vertices\": " + std::to_string(part.sourceVertices) + ", \"views\": [";
  for (size_t v = 0; v < part.facesPerView.size(); ++v) json += (v == 0 ? "" : ", ") + std::to_string(part.facesPerView[v]);
  json += "], \"texture\": ";
  if (part.texture == nullptr) return json + "null}";
  const engine::Picture& picture = part.texture->picture;
  std::string topLeft = "[0, 0, 0]";
  if (picture.width > 0 && picture.height > 0) {
    const uint8_t* pixel = picture.Pixel(0, 0);
    topLeft = "[" + std::to_string(pixel[0]) + ", " + std::to_string(pixel[1]) + ", " + std::to_string(pixel[2]) + "]";
  }
  return json + "{\"file\": " + core::JsonString(Relative(part.texturePath, folder)) +
         ", \"width\": " + std::to_string(picture.width) + ", \"height\": " + std::to_string(picture.height) +
         ", \"top_left\": " + topLeft + ", \"error_picture\": " + (part.texture->errorPicture ? "true" : "false") +
         "}}";
}

int ShowBoxFile(const std::string& path, const std::string& folder, bool json) {
  const engine::BoxFile box = engine::ReadBoxFile(path);
  const std::string file = Relative(engine::BoxFilePath(path), folder);
  if (json) {
    std::printf("{\"box_file\": %s, \"box\": {\"max\": %s, \"min\": %s}}\n", core::JsonString(file).c_str(),
                Triple(box.max).c_str(), Triple(box.min).c_str());
  } else {
    std::printf("box file: %s\nbox: max %s, min %s\n", file.c_str(), Triple(box.max).c_str(), Triple(box.min).c_str());
  }
  return 0;
}

}  // namespace

int VisualCommand(int argc, const char* const* argv) {
  const bool json = argc == 3 && std::strcmp(argv[2], "--json") == 0;
  if (argc < 2 || std::strcmp(argv[0], "show") != 0 || (argc == 3 && !json) || argc > 3) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  std::string folder = core::CurrentFolder();
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  model::ModelContext context;
  context.workingFolder = folder;
  std::string path;
  if (!model::StoredFilePath(context, argv[1], &path)) {
    std::fprintf(stderr, "vexel: %s lies outside the current folder; the default visual is shown\n", argv[1]);
  }
  const size_t dot = path.rfind('.');
  if (dot != std::string::npos && (path.compare(dot, std::string::npos, ".x") == 0 || path.compare(dot, std::string::npos, ".X") == 0)) {
    return ShowBoxFile(path, folder, json);
  }

  // The collision faces are counted the way a play stores them: in an arena of its own.
  core::Arena arena;
  if (!arena.Create()) {
    std::fprintf(stderr, "vexel: not enough memory\n");
    return 1;
  }
  const std::string dataFolder = core::FileExists(folder + "data/error.bmp") ? folder + "data/" : folder;
  engine::VisualLibrary library(dataFolder + "error.bmp");
  const engine::LoadedVisual& visual = library.Load(path, folder);
  engine::AspectMemory aspects;
  aspects.Reset(&arena);
  int32_t max[3];
  int32_t min[3];
  engine::BoxWords(visual.box, max, min);

  std::string out;
  if (json) {
    out = "{\"file\": " + core::JsonString(Relative(visual.file.path, folder)) +
          ", \"frames\": " + std::to_string(visual.file.frames) + ", \"box\": {\"max\": " + Triple(max) +
          ", \"min\": " + Triple(min) + "}, \"frame_list\": [";
  } else {
    out = "file: " + Relative(visual.file.path, folder) + "\nframes: " + std::to_string(visual.file.frames) +
          "\nbox: max " + Triple(max) + ", min " + Triple(min) + "\n";
  }
  for (size_t f = 0; f < visual.frames.size(); ++f) {
    const engine::BuiltFrame& frame = visual.frames[f];
    uint32_t address = 0;
    int32_t* slot = aspects.NextSlot(&address);
    int32_t faces = 0;
    if (slot != nullptr) {
      aspects.LoadVisualAspect(visual.file, slot, 0, static_cast<int32_t>(f + 1), 0, folder);
      faces = slot[engine::kSlotFaceCount];
    }
    if (json) {
      out += std::string(f == 0 ? "" : ", ") + "{\"frame\": " + std::to_string(f + 1) +
             ", \"collision_faces\": " + std::to_string(faces) + ", \"parts\": [";
      for (size_t p = 0; p < frame.parts.size(); ++p) {
        out += (p == 0 ? "" : ", ") + PartJson(frame.parts[p], frame.flatsScene, folder);
      }
      out += "]}";
    } else {
      out += "frame " + std::to_string(f + 1) + ": " + std::to_string(frame.parts.size()) + " parts, " +
             std::to_string(faces) + " collision faces" + (frame.flatsScene ? ", flats scene" : "") + "\n";
      for (const engine::BuiltPart& part : frame.parts) {
        out += "  part: " + Relative(part.sourcePath, folder) + ", mode " + std::to_string(part.mode) + ", quality " +
               std::to_string(part.quality) + ", " + std::to_string(part.mesh.FaceCount()) + " faces" +
               (part.texture != nullptr ? ", texture " + Relative(part.texturePath, folder) +
                                              (part.texture->errorPicture ? " (error picture)" : "")
                                        : std::string()) +
               "\n";
      }
    }
  }
  if (json) out += "]}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

}  // namespace cli
