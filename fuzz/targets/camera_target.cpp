// Fuzz target body: camera files read from memory and their viewport rectangle. Calls engine.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/engine.h"
#include "targets.h"

namespace fuzzing {

std::string FuzzCamera(const uint8_t* data, size_t size) {
  engine::CameraFile file = engine::ParseCameraFile(std::string_view(reinterpret_cast<const char*>(data), size));
  if (file.complete != (size >= engine::kCameraFileBytes)) return "complete does not match the file's size";
  if (static_cast<uint32_t>(file.slot[0]) != engine::kCameraTag) return "the slot is not tagged as a camera";
  // Every byte read is the file's, every missing one zero.
  uint8_t image[engine::kCameraFileBytes] = {};
  std::memcpy(image, data, std::min(size, engine::kCameraFileBytes));
  if (std::memcmp(file.slot.data() + 1, image + 4, 60) != 0) return "the slot image differs from the file";
  if (std::memcmp(file.record.data(), image + engine::kCameraSlotBytes, engine::kCameraRecordBytes) != 0) {
    return "the record differs from the file";
  }
  const engine::CameraParameters before = engine::ReadCameraParameters(file);
  if (before.lensFactor == INT32_MIN) return "the lens factor overflowed";

  // The rectangle read back as it was set, whatever the record held before.
  const int x1 = before.left, y1 = before.top, x2 = before.right, y2 = before.bottom;
  engine::SetCameraRectangle(&file, x1, y1, x2, y2);
  const engine::CameraParameters after = engine::ReadCameraParameters(file);
  if (after.left != x1 || after.top != y1 || after.right != x2 || after.bottom != y2) return "the rectangle moved";
  if (static_cast<uint32_t>(after.width) != static_cast<uint32_t>(x2) - static_cast<uint32_t>(x1) + 1u ||
      static_cast<uint32_t>(after.height) != static_cast<uint32_t>(y2) - static_cast<uint32_t>(y1) + 1u) {
    return "the rectangle's size is not its edges' difference";
  }
  if (after.lensFactor != before.lensFactor) return "setting the rectangle changed the lens";
  return {};
}

}  // namespace fuzzing
