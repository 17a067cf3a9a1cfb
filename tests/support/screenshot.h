// Screenshots written by `main` read back in end-to-end tests: PNG decoding (stb_image, whose
// implementation one test file of each program compiles) and colour comparisons.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#define STBI_ONLY_PNG
#include <stb_image.h>

#include "support/run_program.h"

namespace testing_support {

using Rgb = std::array<int, 3>;

// A decoded screenshot.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
  Rgb At(int x, int y) const {
    const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    return {rgb[at], rgb[at + 1], rgb[at + 2]};
  }
};

inline Image LoadPng(const std::string& path) {
  Image image;
  const std::string bytes = ReadText(path);
  int channels = 0;
  stbi_uc* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), static_cast<int>(bytes.size()),
                                          &image.width, &image.height, &channels, 3);
  if (pixels == nullptr) {
    ADD_FAILURE() << "cannot decode " << path << " (" << bytes.size() << " bytes)";
    return Image();
  }
  image.rgb.assign(pixels, pixels + static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3);
  stbi_image_free(pixels);
  return image;
}

inline std::string Text(const Rgb& c) {
  return "(" + std::to_string(c[0]) + ", " + std::to_string(c[1]) + ", " + std::to_string(c[2]) + ")";
}

// Every channel within `tolerance` of the expected one.
inline ::testing::AssertionResult Near(const Rgb& actual, const Rgb& expected, int tolerance = 0) {
  for (int i = 0; i < 3; ++i) {
    if (std::abs(actual[static_cast<size_t>(i)] - expected[static_cast<size_t>(i)]) > tolerance) {
      return ::testing::AssertionFailure() << Text(actual) << " is not " << Text(expected) << " +-" << tolerance;
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace testing_support
