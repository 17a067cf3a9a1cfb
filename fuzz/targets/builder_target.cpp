// Fuzz body of the game builder's readers: the same bytes as a project list, as an .x mesh whose
// texture names are scanned, and as a visual whose path fields are rewritten.
#include <string>
#include <string_view>

#include "builder/builder.h"
#include "targets.h"

namespace fuzzing {

std::string FuzzBuilderInputs(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string working = "/w/";
  // A list read and written once is stable: the second round gives the same text.
  const std::string text = builder::FormatList(builder::ParseList(bytes, working), working);
  if (builder::FormatList(builder::ParseList(text, working), working) != text) return "the list text is not stable";

  for (const std::string& name : builder::MeshTextureNames(bytes)) {
    if (name.empty() || name.size() > 255 || name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
        name == "..") {
      return "an unsafe texture name was kept: " + name;
    }
  }
  // Renaming every field to itself gives the text back.
  if (builder::RewriteVisual(bytes, [](const std::string& field) { return field; }) != bytes) {
    return "the visual changed without a renamed field";
  }
  return {};
}

}  // namespace fuzzing
