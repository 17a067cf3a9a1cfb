// Fuzz target body: panel layout pictures scanned for their controls and drawn on a screen.
// Calls engine (the widgets' layout scanner, canvas and button table).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "targets.h"

namespace fuzzing {
namespace {

// Bytes become the few colours a layout holds, so that rectangles of one colour are common.
constexpr uint8_t kColours[8] = {0, 0, 0, 32, 218, 7, 248, 9};

bool IsKnownLabel(uint8_t colour, std::string_view label) {
  static constexpr std::string_view kText = "|Position X|Position Y|Position Z|Rotation X|Rotation Y|Rotation Z|"
                                            "Velocity X|Velocity Y|Velocity Z|Spin X|Spin Y|Spin Z|Credits|"
                                            "Element ID|Radius|";
  static constexpr std::string_view kValue = "|Name|Aspect|Sound|Brain|";
  if (label.empty()) return true;
  const std::string needle = "|" + std::string(label) + "|";
  if (colour == 7) return kText.find(needle) != std::string_view::npos;
  if (colour == 248) return kValue.find(needle) != std::string_view::npos;
  return false;
}

}  // namespace

// Input: byte 0 the width - 1 (1..256), byte 1 the height - 1, byte 2 the row padding (0..7), then
// the pixels, row by row (missing ones are 0).
std::string FuzzLayout(const uint8_t* data, size_t size) {
  if (size < 3) return {};
  const int width = data[0] + 1, height = data[1] + 1, pitch = width + (data[2] & 7);
  std::vector<uint8_t> pixels(static_cast<size_t>(pitch) * height, 0);
  for (size_t i = 3; i < size && i - 3 < pixels.size(); ++i) pixels[i - 3] = kColours[data[i] & 7];
  auto at = [&](int x, int y) -> int {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    return pixels[static_cast<size_t>(y) * pitch + x];
  };

  const std::vector<engine::widgets::LayoutControl> controls = engine::widgets::ScanLayout(pixels.data(), width, height, pitch);
  for (size_t i = 0; i < controls.size(); ++i) {
    const engine::widgets::LayoutControl& c = controls[i];
    if (c.left < 0 || c.top < 0 || c.right < c.left || c.bottom < c.top || c.right >= width || c.bottom >= height) {
      return "a control outside the picture";
    }
    if (at(c.left, c.top) != c.colour || at(c.left - 1, c.top) != 0 || at(c.left, c.top - 1) != 0) {
      return "a control that does not start at a corner of its colour";
    }
    if (at(c.right, c.top) == 0 || at(c.right + 1, c.top) != 0 || at(c.left, c.bottom) == 0 ||
        at(c.left, c.bottom + 1) != 0) {
      return "a control whose edges are not where its run ends";
    }
    if (!IsKnownLabel(c.colour, c.label)) return "a label that is not the colour's";
    if (i > 0) {
      const engine::widgets::LayoutControl& p = controls[i - 1];
      if (p.top > c.top || (p.top == c.top && p.left >= c.left)) return "controls out of order";
    }
  }

  // Drawn on a screen smaller than the picture in one direction: every slot made is a control.
  engine::widgets::WidgetScreen screen;
  screen.canvas.Resize(std::max(1, width - 3), height + 5);
  screen.skin = engine::widgets::BuiltinSkin();
  engine::widgets::ClearButtons(screen);
  const int made = engine::widgets::DrawLayout(screen, pixels.data(), width, height, pitch);
  if (made != static_cast<int>(std::min<size_t>(controls.size(), engine::widgets::kButtonSlots))) {
    return "DrawLayout made " + std::to_string(made) + " buttons for " + std::to_string(controls.size()) + " controls";
  }
  return {};
}

}  // namespace fuzzing
