// Element records: the '|'-separated text form of an element, its fields, type names and the
// thousandths numbers. Pure text functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace model {

// Field n (from 1) of the text split at the separator; empty past the last field.
std::string ElementField(std::string_view record, int n, char separator = '|');
// The record with field n replaced (fields added as empty when the record is shorter).
std::string SetElementField(std::string_view record, int n, std::string_view text, char separator = '|');
// Display name of a type code ("CAMERA-type element" ...); empty for 4, 13 and unknown codes.
const char* ElementTypeName(int32_t type);
// Decimal text with up to three decimals as thousandths: "1.5" -> 1500, "-0.25" -> -250,
// "7" -> 7000; further decimals ignored; non-numeric text -> 0.
int32_t ParseMilli(std::string_view text);

// The default record of a new camera, without its name field and with aspect paths relative to
// `workingFolder` (absolute in memory).
std::string DefaultCameraRecord(const std::string& workingFolder);

enum ElementType : int32_t {
  kTypeCamera = 0,
  kType3dShape = 1,
  kTypeFlatShape = 2,
  kTypeShadow = 3,
  kTypeSprite = 5,
  kTypeFrame = 6,
  kTypeBackground = 7,
  kTypeCounter = 8,
  kTypeTrack = 9,
  kTypeLight = 10,
  kTypeVisual = 11,
  kTypeBoundary = 12,
  kTypeMeshes = 13,
};

}  // namespace model
