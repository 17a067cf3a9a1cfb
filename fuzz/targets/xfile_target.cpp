// Fuzz target body: .x object files, written to a temporary file (the importer reads files) and
// loaded, placed into a scene and animated. Calls the engine's .x loader and the scene layer.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/core.h"
#include "engine/engine.h"
#include "targets.h"

namespace fuzzing {

namespace {

// One file per process, named after it, so parallel fuzzing jobs do not share it.
const std::string& InputPath() {
  static const std::string path = [] {
    const char* folder = std::getenv("TMPDIR");
    return std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/vexel-xfile-fuzz-" +
           std::to_string(getpid()) + ".x";
  }();
  return path;
}

}  // namespace

std::string FuzzXFile(const uint8_t* data, size_t size) {
  const std::string& path = InputPath();
  if (!core::WriteFileAtomic(path, std::string_view(reinterpret_cast<const char*>(data), size))) return {};
  engine::XObject object;
  std::string error;
  const bool loaded = engine::LoadXFile(path, nullptr, &object, &error);
  unlink(path.c_str());
  if (!loaded) return error.empty() ? "refused without a message" : std::string();
  if (object.meshes.empty() || object.nodes.empty()) return "loaded without a mesh or a node";
  for (size_t i = 0; i < object.nodes.size(); ++i) {
    const int32_t parent = object.nodes[i].parent;
    if (i == 0 ? parent != -1 : (parent < 0 || static_cast<size_t>(parent) >= i)) return "a node's parent out of order";
    for (int32_t mesh : object.nodes[i].meshes) {
      if (mesh < 0 || static_cast<size_t>(mesh) >= object.meshes.size()) return "a node shows a mesh that is not there";
    }
  }
  engine::scene::Scene scene;
  const engine::PlacedXObject placed = engine::PlaceXObject(&scene, engine::scene::kNone, object);
  if (placed.nodeFrames.size() != object.nodes.size()) return "not one frame per node";
  for (size_t set = 0; set < object.animationSets.size(); ++set) {
    const engine::XAnimationSet& animation = object.animationSets[set];
    for (const engine::XChannel& channel : animation.channels) {
      if (channel.node < 0 || static_cast<size_t>(channel.node) >= object.nodes.size())
        return "a channel without its node";
    }
    engine::SetAnimationTime(&scene, placed, object, static_cast<int32_t>(set), animation.duration / 2);
  }
  return {};
}

}  // namespace fuzzing
