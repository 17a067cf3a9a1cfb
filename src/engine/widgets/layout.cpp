// Panel layout pictures: finding the controls drawn as filled rectangles in a picture and drawing
// them as buttons and labelled fields. Calls the widgets' panels, buttons and text.
#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "engine/widgets/pickers_local.h"
#include "engine/widgets/widgets.h"

namespace engine {
namespace widgets {
namespace {

constexpr uint8_t kRaisedButton = 32, kSunkenButton = 218, kTextField = 7, kValueField = 248;

constexpr std::string_view kTextFieldLabels[] = {
    "Position X", "Position Y", "Position Z", "Rotation X", "Rotation Y", "Rotation Z", "Velocity X", "Velocity Y",
    "Velocity Z", "Spin X",     "Spin Y",     "Spin Z",     "Credits",    "Element ID", "Radius"};
constexpr std::string_view kValueFieldLabels[] = {"Name", "Aspect", "Sound", "Brain"};

bool IsControlColour(uint8_t colour) {
  return colour == kRaisedButton || colour == kSunkenButton || colour == kTextField || colour == kValueField;
}

}  // namespace

// A corner is a non-zero pixel with zero (or the picture's edge) to its left and above. Each edge
// is walked while the pixel two ahead is set, then takes the pixel one ahead when that is set too:
// the control ends on the rectangle's last column and row, even for rectangles one or two pixels
// wide. Every look stays inside the picture, which may be any size.
std::vector<LayoutControl> ScanLayout(const uint8_t* pixels, int width, int height, int pitch) {
  std::vector<LayoutControl> controls;
  if (pixels == nullptr || width <= 0 || height <= 0 || pitch < width) return controls;
  auto at = [&](int x, int y) -> uint8_t {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    return pixels[static_cast<size_t>(y) * pitch + x];
  };
  int textFields = 0, valueFields = 0;
  // Per column, the last row of the controls found so far that cover it.
  std::vector<int> coveredUntil(static_cast<size_t>(width), -1);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t colour = at(x, y);
      if (colour == 0 || at(x - 1, y) != 0 || at(x, y - 1) != 0) continue;
      if (!IsControlColour(colour)) continue;
      // A nick in a control's left edge looks like a corner; the control found above owns it.
      if (coveredUntil[x] >= y) continue;
      int right = x;
      while (at(right + 2, y) != 0) ++right;
      if (at(right + 1, y) != 0) ++right;
      int bottom = y;
      while (at(x, bottom + 2) != 0) ++bottom;
      if (at(x, bottom + 1) != 0) ++bottom;
      LayoutControl control;
      control.left = x;
      control.top = y;
      control.right = right;
      control.bottom = bottom;
      control.colour = colour;
      if (colour == kTextField) {
        if (textFields < static_cast<int>(std::size(kTextFieldLabels))) control.label = kTextFieldLabels[textFields];
        ++textFields;
      } else if (colour == kValueField) {
        if (valueFields < static_cast<int>(std::size(kValueFieldLabels))) control.label = kValueFieldLabels[valueFields];
        ++valueFields;
      }
      for (int column = x; column <= right; ++column) coveredUntil[column] = std::max(coveredUntil[column], bottom);
      controls.push_back(std::move(control));
      // The rest of this run belongs to the control just found.
      x = right;
    }
  }
  return controls;
}

// Fields become sunken slots too, in scan order, so that a tool can tell a click on a field from
// the slot number; their labels go to the left of the field, or above it when there is no room.
int DrawLayout(WidgetScreen& screen, const uint8_t* pixels, int width, int height, int pitch) {
  const std::vector<LayoutControl> controls = ScanLayout(pixels, width, height, pitch);
  const EditorFont& font = ScreenFont(screen);
  const int fontHeight = EditorTextCentreHeight(font);
  int made = 0;
  for (const LayoutControl& control : controls) {
    const bool sunken = control.colour != kRaisedButton;
    if (AddButton(screen, control.left, control.top, control.right, control.bottom, sunken) >= 0) ++made;
    if (control.label.empty()) continue;
    const int labelWidth = EditorTextWidth(font, control.label);
    const int middle = (control.top + control.bottom) / 2;
    if (control.left - 6 - labelWidth >= 0) {
      DrawTextInRect(screen, control.left - 6 - labelWidth, middle - fontHeight, control.left - 2, middle + fontHeight,
                     control.label, 255, false);
    } else {
      DrawTextInRect(screen, control.left, control.top - 2 * fontHeight - 2, control.right, control.top - 2,
                     control.label, 255, false);
    }
  }
  return made;
}

}  // namespace widgets
}  // namespace engine
