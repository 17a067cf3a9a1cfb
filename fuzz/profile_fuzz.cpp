// Fuzz target: profile (INI) files, read, edited and read back.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
  if (!again.GetStructInt("User-Modifiable Engine Settings", "DisplayMode", &reread) || reread != value) __builtin_trap();
  return 0;
}
