// .v3d visual files (a first cut: the part lines' frames and sources; building comes next).

#include "engine/visuals/v3d.h"

#include "core/core.h"
#include "model/model.h"

namespace engine {

VisualFile ParseV3d(std::string_view text, const std::string& root) {
  VisualFile file;
  size_t at = 0;
  std::string_view line;
  int32_t previous = -1;
  while (core::NextLine(text, &at, &line)) {
    if (line.empty()) continue;
    PartLine part;
    const std::string record(line);
    part.frame = static_cast<int32_t>(std::strtol(record.c_str(), nullptr, 10));
    std::string source = model::ElementField(record, 3);
    if (source.rfind("./", 0) == 0) source = root + source.substr(2);
    part.source = source;
    if (part.frame != previous) ++file.frames;
    previous = part.frame;
    file.lines.push_back(part);
  }
  return file;
}

VisualFile LoadV3d(const std::string& path, const std::string& root) {
  std::string text;
  std::string read = path;
  if (!core::ReadFile(path, &text)) {
    read = root + "visuals/default_.v3d";
    core::ReadFile(read, &text);
  }
  VisualFile file = ParseV3d(text, root);
  file.path = read;
  return file;
}

void BuildVisualFrame(const VisualFile&, int32_t, const std::string&, TextureCache*, BuiltFrame*, ElementBox*) {}

}  // namespace engine
