// Fuzz target body: .v3d visual files, read and walked frame by frame and part by part. Calls the
// engine's visual file reader.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "engine/engine.h"
#include "targets.h"

namespace fuzzing {

std::string FuzzV3d(const uint8_t* data, size_t size) {
  const std::string root = "/root/";
  const engine::VisualFile file = engine::ParseV3d(std::string_view(reinterpret_cast<const char*>(data), size), root);
  if (file.lines.empty() != (file.frames == 0)) return "frames counted without lines, or lines without frames";
  if (file.frames > static_cast<int32_t>(file.lines.size())) return "more frames than lines";
  for (const engine::PartLine& line : file.lines) {
    if (line.mode < 0 || line.mode > 5) return "mode out of range: " + std::to_string(line.mode);
    if (line.quality < 0 || line.quality > 3) return "quality out of range: " + std::to_string(line.quality);
    if (line.direction < 1 || line.direction > 6) return "direction out of range: " + std::to_string(line.direction);
    if (line.morphing < 0 || line.morphing > 100) return "morphing out of range: " + std::to_string(line.morphing);
    for (const std::string* path : {&line.texture, &line.source, &line.target}) {
      if (path->empty()) return "an empty path";
      if (path->find('\\') != std::string::npos) return "a backslash left in " + *path;
      if (path->rfind("./", 0) == 0) return "a leading ./ left in " + *path;
    }
  }
  // Every line is reached exactly once through its frame and part number.
  std::set<int32_t> numbers;
  for (const engine::PartLine& line : file.lines) numbers.insert(line.frame);
  size_t reached = 0;
  for (int32_t frame : numbers) {
    int32_t parts = 0;
    engine::ReadPartLine(file, frame, 1, &parts);
    for (int32_t part = 1; part <= parts; ++part) {
      const engine::PartLine* line = engine::ReadPartLine(file, frame, part);
      if (line == nullptr || line->frame != frame) return "part " + std::to_string(part) + " of a frame not found";
      ++reached;
    }
    if (engine::ReadPartLine(file, frame, parts + 1) != nullptr) return "a part beyond the frame's last";
  }
  if (reached != file.lines.size()) return "lines not reached through their frames";
  return {};
}

}  // namespace fuzzing
