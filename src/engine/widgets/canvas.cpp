// The widgets' canvas and its colours: the RGB mapping, the palette that inverts it, filling and
// reading pixels, and the conversion to 16- and 32-bit surfaces. Calls the display's conversion
// table and the PCX widening only.
#include <algorithm>
#include <cstring>

#include "engine/pictures/pcx.h"
#include "engine/widgets/widgets.h"

namespace engine {
namespace widgets {

// [SECTION] Colours

namespace {

// The cube's steps: value v falls in red step (v * 1792) >> 16 (0..6) and in green or blue step
// (v * 1536) >> 16 (0..5).
constexpr int kRedScale = 1792, kGreenBlueScale = 1536;

// The middle of the values that fall in `step` for `scale`: the first and last value v with
// (v * scale) >> 16 == step, averaged.
uint8_t StepMiddle(int step, int scale) {
  int first = -1, last = -1;
  for (int v = 0; v < 256; ++v) {
    if ((v * scale) >> 16 != step) continue;
    if (first < 0) first = v;
    last = v;
  }
  return static_cast<uint8_t>((first + last) / 2);
}

}  // namespace

uint8_t MapColour(int red, int green, int blue) {
  const int sum = red + green + blue;
  if (red < 16 && red + green < 32 && sum < 48) return sum < 24 ? 0 : 1;
  if (red > 240 && red + green > 480 && sum > 720) return sum <= 744 ? 254 : 255;
  // Out-of-range components are taken to the nearest end so the index stays inside the cube.
  red = std::clamp(red, 0, 255);
  green = std::clamp(green, 0, 255);
  blue = std::clamp(blue, 0, 255);
  return static_cast<uint8_t>(((red * kRedScale) >> 16) * 36 + ((green * kGreenBlueScale) >> 16) * 6 +
                              ((blue * kGreenBlueScale) >> 16) + 2);
}

std::array<uint8_t, 768> CanvasPalette() {
  std::array<uint8_t, 768> palette{};
  for (int r = 0; r < 7; ++r) {
    for (int g = 0; g < 6; ++g) {
      for (int b = 0; b < 6; ++b) {
        const int index = 2 + r * 36 + g * 6 + b;
        palette[index * 3 + 0] = StepMiddle(r, kRedScale);
        palette[index * 3 + 1] = StepMiddle(g, kGreenBlueScale);
        palette[index * 3 + 2] = StepMiddle(b, kGreenBlueScale);
      }
    }
  }
  // 1 and 254 are the greys just off black and white that the first two rules set apart.
  const auto grey = [&](int index, uint8_t level) {
    palette[index * 3 + 0] = palette[index * 3 + 1] = palette[index * 3 + 2] = level;
  };
  grey(0, 0);
  grey(1, 10);
  grey(254, 245);
  grey(255, 255);
  return palette;
}

Shades InterfaceShades() {
  Shades shades;
  shades.light = MapColour(255, 255, 255);
  shades.middle = MapColour(171, 171, 171);
  shades.dark = MapColour(69, 69, 69);
  return shades;
}

// [SECTION] Canvas

void Canvas::Resize(int newWidth, int newHeight) {
  width = std::max(newWidth, 0);
  height = std::max(newHeight, 0);
  pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  IndexRows();
}

void Canvas::IndexRows() {
  rows.resize(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) rows[y] = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
}

void Canvas::Clear() { std::fill(pixels.begin(), pixels.end(), uint8_t{0}); }

void Canvas::FillRect(int left, int top, int right, int bottom, int colour) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, width - 1);
  bottom = std::min(bottom, height - 1);
  if (left > right || top > bottom) return;
  const size_t count = static_cast<size_t>(right - left + 1);
  if (colour >= 0) {
    for (int y = top; y <= bottom; ++y) std::memset(rows[y] + left, colour & 0xFF, count);
    return;
  }
  // -colour of INT_MIN would overflow; only the low byte matters anyway.
  const uint8_t mask = static_cast<uint8_t>((0u - static_cast<unsigned>(colour)) & 0xFF);
  for (int y = top; y <= bottom; ++y) {
    uint8_t* row = rows[y] + left;
    for (size_t x = 0; x < count; ++x) row[x] ^= mask;
  }
}

int Canvas::PixelAt(int x, int y) const {
  if (x < 0 || x >= width) return x;
  if (y < 0 || y >= height) return y;
  return rows[y][x];
}

// [SECTION] Presentation

CanvasColours MakeCanvasColours(const uint8_t* palette768, const PixelFormat& format) {
  CanvasColours colours;
  BuildConversionTable(palette768, format, colours.narrow.data());
  for (int i = 0; i < 256; ++i) colours.wide[i] = WidenPixel(colours.narrow[i], format);
  return colours;
}

namespace {

// One row through the table, four pixels per step so the loads and stores pipeline.
template <typename Pixel, size_t N>
void ConvertRow(const uint8_t* source, Pixel* target, int count, const std::array<Pixel, N>& table) {
  int x = 0;
  for (; x + 4 <= count; x += 4) {
    const Pixel a = table[source[x]], b = table[source[x + 1]], c = table[source[x + 2]], d = table[source[x + 3]];
    target[x] = a;
    target[x + 1] = b;
    target[x + 2] = c;
    target[x + 3] = d;
  }
  for (; x < count; ++x) target[x] = table[source[x]];
}

}  // namespace

void PresentCanvas(const Canvas& canvas, const CanvasColours& colours, const Surface& surface) {
  if (!surface.Usable() || canvas.width <= 0 || canvas.height <= 0) return;
  const int width = std::min(canvas.width, surface.width);
  const int height = std::min(canvas.height, surface.height);
  for (int y = 0; y < height; ++y) {
    const uint8_t* source = canvas.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(canvas.width);
    if (surface.format.bitsPerPixel == 16) {
      ConvertRow(source, reinterpret_cast<uint16_t*>(surface.Row(y)), width, colours.narrow);
    } else {
      ConvertRow(source, reinterpret_cast<uint32_t*>(surface.Row(y)), width, colours.wide);
    }
  }
}

void ClearSurface(const Surface& surface) {
  if (!surface.Usable()) return;
  const size_t rowBytes = static_cast<size_t>(surface.width) * static_cast<size_t>(surface.format.bitsPerPixel / 8);
  for (int y = 0; y < surface.height; ++y) std::memset(surface.Row(y), 0, rowBytes);
}

}  // namespace widgets
}  // namespace engine
