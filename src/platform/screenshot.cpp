// Screenshots: when the options ask for one, and PNG writing. Calls stb_image_write, zlib and the
// C library.
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/backend_common.h"
#include "platform/platform.h"

namespace {

// The PNG's image data deflated by zlib at its best level: a third smaller than the encoder's own
// deflate on rendered scenes. The encoder frees the buffer with free().
unsigned char* DeflateBest(unsigned char* data, int size, int* outSize, int) {
  uLongf bound = compressBound(static_cast<uLong>(size));
  auto* out = static_cast<unsigned char*>(std::malloc(bound));
  if (out == nullptr || compress2(out, &bound, data, static_cast<uLong>(size), Z_BEST_COMPRESSION) != Z_OK) {
    std::free(out);
    return nullptr;
  }
  *outSize = static_cast<int>(bound);
  return out;
}

}  // namespace

#define STBIW_ZLIB_COMPRESS DeflateBest
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace platform {

void Screenshot::Write(int width, int height, const std::vector<uint8_t>& rgb) {
  taken = true;
  std::string reason;
  if (!WritePng(path, width, height, rgb, &reason)) error = "cannot write " + path + ": " + reason;
}

void Screenshot::ReportMissingFrame() const {
  std::fprintf(stderr, "screenshot: no frame was presented; %s not written\n", path.c_str());
}

void Screenshot::ReportIfNeverTaken() const {
  if (!path.empty() && !taken && at > 0) {
    std::fprintf(stderr, "screenshot: frame %d was never presented; %s not written\n", at, path.c_str());
  }
}

bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb, std::string* reason) {
  std::string failure;
  std::string png;
  // Encoded in memory first, then written and closed with every step checked, so a full disk or
  // a failing close is seen. The file is written in place: the path may be a pipe or a device.
  auto append = [](void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
  };
  if (width <= 0 || height <= 0 || rgb.size() < static_cast<size_t>(width) * static_cast<size_t>(height) * 3) {
    failure = "no picture to write";
  } else if (stbi_write_png_to_func(append, &png, width, height, 3, rgb.data(), width * 3) == 0 || png.empty()) {
    failure = "the picture could not be encoded";
  } else if (std::FILE* file = std::fopen(path.c_str(), "wb"); file == nullptr) {
    failure = std::strerror(errno);
  } else {
    errno = 0;
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size() && std::fflush(file) == 0;
    int error = written ? 0 : (errno != 0 ? errno : EIO);
    if (std::fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
    if (error != 0) failure = std::strerror(error);
  }
  if (reason != nullptr) *reason = failure;
  return failure.empty();
}

}  // namespace platform
