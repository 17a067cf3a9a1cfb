// Camera files: the 64-byte slot image and the parameter record after it, and the viewport
// rectangle the record holds. Calls nothing but the C++ library.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace engine {

inline constexpr uint32_t kCameraTag = 0x2E303364;  // "d30." as the word that holds those bytes
inline constexpr size_t kCameraSlotBytes = 64;
inline constexpr size_t kCameraRecordBytes = 112;
inline constexpr size_t kCameraFileBytes = kCameraSlotBytes + kCameraRecordBytes;

// A camera file as read: the slot image (little-endian words) and the parameter record bytes.
// `complete` is false when the file was shorter than 176 bytes; the missing bytes read as zeros.
struct CameraFile {
  std::array<int32_t, 16> slot{};
  std::array<uint8_t, kCameraRecordBytes> record{};
  bool complete = false;
};

// Reads the first 176 bytes (anything after them is ignored). Word 0 of the slot is set to the
// camera tag whatever the file holds, so that a damaged file still makes a camera slot.
CameraFile ParseCameraFile(std::string_view bytes);

// The viewport of a camera in 640 x 480 screen units. `right` and `bottom` are inclusive edges.
// The lens factor is the record's word at 48 negated (the most negative word gives the largest
// positive one instead of overflowing).
struct CameraParameters {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  int32_t lensFactor = 0;
};
// Record offsets of the fields.
inline constexpr size_t kCameraLeftAt = 0, kCameraTopAt = 4, kCameraWidthAt = 8, kCameraHeightAt = 20,
                        kCameraRightAt = 32, kCameraBottomAt = 36, kCameraLensAt = 48;

CameraParameters ReadCameraParameters(const CameraFile& file);

// Sets the viewport to the inclusive rectangle (x1, y1) - (x2, y2): left x1, top y1, width
// x2 - x1 + 1, height y2 - y1 + 1, right x2, bottom y2 (sums wrap as 32-bit words).
void SetCameraRectangle(CameraFile* file, int x1, int y1, int x2, int y2);

}  // namespace engine
