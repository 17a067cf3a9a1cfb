// The widgets' canvas and its colours: the RGB mapping, the palette that inverts it, filling and
// reading pixels, and the conversion to 16- and 32-bit surfaces. Calls the display's conversion
// table and the PCX widening only.
#include <algorithm>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VEXEL_BYTE_PERMUTES 1

// Processors with 64-byte permutes look a table up 64 pixels at a time: each byte of the output
// colour is a plane of 256 bytes held in four registers; two two-register permutes cover indices
// 0-127 and 128-255 and the index's top bit picks between them. The planes are then interleaved
// into pixels. The scalar loop stays for the row's tail and for other processors.
struct BytePlanes {
  alignas(64) uint8_t bytes[4][256];
};

template <typename Pixel, size_t N>
BytePlanes SplitPlanes(const std::array<Pixel, N>& table) {
  BytePlanes planes{};
  for (int i = 0; i < 256; ++i) {
    for (size_t k = 0; k < sizeof(Pixel); ++k) planes.bytes[k][i] = static_cast<uint8_t>(table[i] >> (8 * k));
  }
  return planes;
}

#define VEXEL_PERMUTE_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi")))
#if !defined(__clang__)
// GCC's own headers start some of these intrinsics from an undefined register and then warn
// about it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

struct PlaneRegisters {
  __m512i quarter[4];
};

VEXEL_PERMUTE_TARGET inline PlaneRegisters LoadPlane(const uint8_t* plane) {
  PlaneRegisters r;
  for (int q = 0; q < 4; ++q) r.quarter[q] = _mm512_load_si512(plane + 64 * q);
  return r;
}

VEXEL_PERMUTE_TARGET inline __m512i LookUp(const PlaneRegisters& plane, __m512i index) {
  const __m512i low = _mm512_permutex2var_epi8(plane.quarter[0], index, plane.quarter[1]);
  const __m512i high = _mm512_permutex2var_epi8(plane.quarter[2], index, plane.quarter[3]);
  return _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high);
}

// Returns the pixels done (a multiple of 64); the caller finishes the row.
VEXEL_PERMUTE_TARGET int ConvertRowWide16(const uint8_t* source, uint16_t* target, int count, const BytePlanes& planes) {
  const PlaneRegisters p0 = LoadPlane(planes.bytes[0]), p1 = LoadPlane(planes.bytes[1]);
  int x = 0;
  for (; x + 64 <= count; x += 64) {
    const __m512i index = _mm512_loadu_si512(source + x);
    const __m512i lowBytes = LookUp(p0, index), highBytes = LookUp(p1, index);
    // Within each 128-bit lane: unpacklo holds pixels 0-7 of the lane's 16, unpackhi 8-15.
    const __m512i first = _mm512_unpacklo_epi8(lowBytes, highBytes);
    const __m512i second = _mm512_unpackhi_epi8(lowBytes, highBytes);
    const __m512i a = _mm512_shuffle_i32x4(first, second, 0x44);  // f0 f1 s0 s1
    const __m512i b = _mm512_shuffle_i32x4(first, second, 0xEE);  // f2 f3 s2 s3
    _mm512_storeu_si512(target + x, _mm512_shuffle_i32x4(a, a, 0xD8));       // f0 s0 f1 s1
    _mm512_storeu_si512(target + x + 32, _mm512_shuffle_i32x4(b, b, 0xD8));  // f2 s2 f3 s3
  }
  return x;
}

VEXEL_PERMUTE_TARGET int ConvertRowWide32(const uint8_t* source, uint32_t* target, int count, const BytePlanes& planes) {
  const PlaneRegisters p0 = LoadPlane(planes.bytes[0]), p1 = LoadPlane(planes.bytes[1]);
  const PlaneRegisters p2 = LoadPlane(planes.bytes[2]), p3 = LoadPlane(planes.bytes[3]);
  int x = 0;
  for (; x + 64 <= count; x += 64) {
    const __m512i index = _mm512_loadu_si512(source + x);
    const __m512i b0 = LookUp(p0, index), b1 = LookUp(p1, index), b2 = LookUp(p2, index), b3 = LookUp(p3, index);
    const __m512i low01 = _mm512_unpacklo_epi8(b0, b1), high01 = _mm512_unpackhi_epi8(b0, b1);
    const __m512i low23 = _mm512_unpacklo_epi8(b2, b3), high23 = _mm512_unpackhi_epi8(b2, b3);
    // Lane k of d0..d3 holds pixels 16k+0-3, 4-7, 8-11, 12-15; transpose the lanes.
    const __m512i d0 = _mm512_unpacklo_epi16(low01, low23), d1 = _mm512_unpackhi_epi16(low01, low23);
    const __m512i d2 = _mm512_unpacklo_epi16(high01, high23), d3 = _mm512_unpackhi_epi16(high01, high23);
    const __m512i t0 = _mm512_shuffle_i32x4(d0, d1, 0x44), t1 = _mm512_shuffle_i32x4(d2, d3, 0x44);
    const __m512i t2 = _mm512_shuffle_i32x4(d0, d1, 0xEE), t3 = _mm512_shuffle_i32x4(d2, d3, 0xEE);
    _mm512_storeu_si512(target + x, _mm512_shuffle_i32x4(t0, t1, 0x88));
    _mm512_storeu_si512(target + x + 16, _mm512_shuffle_i32x4(t0, t1, 0xDD));
    _mm512_storeu_si512(target + x + 32, _mm512_shuffle_i32x4(t2, t3, 0x88));
    _mm512_storeu_si512(target + x + 48, _mm512_shuffle_i32x4(t2, t3, 0xDD));
  }
  return x;
}

#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

bool HasBytePermutes() {
  static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                          __builtin_cpu_supports("avx512vbmi");
  return has;
}
#endif

}  // namespace

void PresentCanvas(const Canvas& canvas, const CanvasColours& colours, const Surface& surface) {
  if (!surface.Usable() || canvas.width <= 0 || canvas.height <= 0) return;
  const int width = std::min(canvas.width, surface.width);
  const int height = std::min(canvas.height, surface.height);
  const bool narrow = surface.format.bitsPerPixel == 16;
#ifdef VEXEL_BYTE_PERMUTES
  const bool permutes = HasBytePermutes() && width >= 64;
  BytePlanes planes;
  if (permutes) planes = narrow ? SplitPlanes(colours.narrow) : SplitPlanes(colours.wide);
#endif
  for (int y = 0; y < height; ++y) {
    const uint8_t* source = canvas.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(canvas.width);
    int done = 0;
    if (narrow) {
      auto* target = reinterpret_cast<uint16_t*>(surface.Row(y));
#ifdef VEXEL_BYTE_PERMUTES
      if (permutes) done = ConvertRowWide16(source, target, width, planes);
#endif
      ConvertRow(source + done, target + done, width - done, colours.narrow);
    } else {
      auto* target = reinterpret_cast<uint32_t*>(surface.Row(y));
#ifdef VEXEL_BYTE_PERMUTES
      if (permutes) done = ConvertRowWide32(source, target, width, planes);
#endif
      ConvertRow(source + done, target + done, width - done, colours.wide);
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
