// Screenshots: when the options ask for one, and PNG writing. Calls stb_image_write.
#include <cstdio>

#include "platform/backend_common.h"
#include "platform/platform.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace platform {

void Screenshot::Write(int width, int height, const std::vector<uint8_t>& rgb) {
  taken = true;
  if (!WritePng(path, width, height, rgb)) std::fprintf(stderr, "screenshot: cannot write %s\n", path.c_str());
}

void Screenshot::ReportMissingFrame() const {
  std::fprintf(stderr, "screenshot: no frame was presented; %s not written\n", path.c_str());
}

void Screenshot::ReportIfNeverTaken() const {
  if (!path.empty() && !taken && at > 0) {
    std::fprintf(stderr, "screenshot: frame %d was never presented; %s not written\n", at, path.c_str());
  }
}

bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
  if (width <= 0 || height <= 0 || rgb.size() < static_cast<size_t>(width) * static_cast<size_t>(height) * 3) return false;
  return stbi_write_png(path.c_str(), width, height, 3, rgb.data(), width * 3) != 0;
}

}  // namespace platform
