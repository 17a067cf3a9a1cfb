// Fuzz target body: profile (INI) files, read, edited and read back. Calls core/profile.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/core.h"
#include "targets.h"

namespace fuzzing {

std::string FuzzProfile(const uint8_t* data, size_t size) {
  core::ProfileFile file;
  file.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  int32_t value = 0;
  file.GetStructInt("User-Modifiable Engine Settings", "DisplayMode", &value);
  file.GetInt("Engine Settings", "LegalDisplayModes", 0);
  file.SetStructInt("User-Modifiable Engine Settings", "DisplayMode", value);
  core::ProfileFile again;
  again.Parse(file.Text());
  int32_t reread = 0;
  // What was just written must read back, whatever garbage surrounds it.
  if (!again.GetStructInt("User-Modifiable Engine Settings", "DisplayMode", &reread)) {
    return "the struct value just set cannot be read back";
  }
  if (reread != value) {
    return "the struct value reads back as " + std::to_string(reread) + ", not " + std::to_string(value);
  }
  return {};
}

}  // namespace fuzzing
