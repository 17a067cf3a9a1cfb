// Camera files and their viewport record. Calls nothing but the C++ library.
#include "engine/scene/camera_file.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace engine {

namespace {

int32_t RecordWord(const CameraFile& file, size_t at) {
  uint32_t word = 0;
  for (int i = 0; i < 4; ++i) word |= static_cast<uint32_t>(file.record[at + i]) << (8 * i);
  return static_cast<int32_t>(word);
}

void SetRecordWord(CameraFile* file, size_t at, uint32_t word) {
  for (int i = 0; i < 4; ++i) file->record[at + i] = static_cast<uint8_t>(word >> (8 * i));
}

}  // namespace

CameraFile ParseCameraFile(std::string_view bytes) {
  CameraFile file;
  file.complete = bytes.size() >= kCameraFileBytes;
  uint8_t image[kCameraFileBytes] = {};
  if (!bytes.empty()) std::memcpy(image, bytes.data(), std::min(bytes.size(), kCameraFileBytes));
  for (size_t word = 0; word < file.slot.size(); ++word) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(image[word * 4 + i]) << (8 * i);
    file.slot[word] = static_cast<int32_t>(value);
  }
  file.slot[0] = static_cast<int32_t>(kCameraTag);
  std::memcpy(file.record.data(), image + kCameraSlotBytes, kCameraRecordBytes);
  return file;
}

CameraParameters ReadCameraParameters(const CameraFile& file) {
  CameraParameters parameters;
  parameters.left = RecordWord(file, kCameraLeftAt);
  parameters.top = RecordWord(file, kCameraTopAt);
  parameters.width = RecordWord(file, kCameraWidthAt);
  parameters.height = RecordWord(file, kCameraHeightAt);
  parameters.right = RecordWord(file, kCameraRightAt);
  parameters.bottom = RecordWord(file, kCameraBottomAt);
  const int32_t lens = RecordWord(file, kCameraLensAt);
  parameters.lensFactor = lens == INT32_MIN ? INT32_MAX : -lens;
  return parameters;
}

void SetCameraRectangle(CameraFile* file, int x1, int y1, int x2, int y2) {
  const auto ux1 = static_cast<uint32_t>(x1), uy1 = static_cast<uint32_t>(y1);
  const auto ux2 = static_cast<uint32_t>(x2), uy2 = static_cast<uint32_t>(y2);
  SetRecordWord(file, kCameraLeftAt, ux1);
  SetRecordWord(file, kCameraTopAt, uy1);
  SetRecordWord(file, kCameraWidthAt, ux2 - ux1 + 1);
  SetRecordWord(file, kCameraHeightAt, uy2 - uy1 + 1);
  SetRecordWord(file, kCameraRightAt, ux2);
  SetRecordWord(file, kCameraBottomAt, uy2);
}

}  // namespace engine
