// The file picker's previewers (pictures, bitmaps, camera files, texts, models) and the clipped
// text drawing the pickers share. Calls core (files), the PCX and BMP readers, the camera file
// reader and the widgets' canvas and fonts.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/core.h"
#include "engine/pictures/bmp.h"
#include "engine/pictures/pcx.h"
#include "engine/scene/camera_file.h"
#include "engine/widgets/pickers_local.h"
#include "engine/widgets/widgets.h"

namespace engine {
namespace widgets {
namespace {

constexpr size_t kPreviewCharacters = 400;
// A bitmap larger than this is not decoded for a thumbnail: a run-length file of a few bytes may
// declare a gigabyte of pixels.
constexpr int64_t kMaxBitmapPixels = int64_t{4096} * 4096;

std::string SizeSuffix(int width, int height) { return " " + std::to_string(width) + "x" + std::to_string(height); }

void ClearCell(WidgetScreen& screen, int left, int top) {
  screen.canvas.FillRect(left, top, left + kCellWidth - 1, top + kCellHeight - 1, 0);
}

void CentredInCell(WidgetScreen& screen, int left, int top, std::string_view text) {
  DrawTextInRect(screen, left, top, left + kCellWidth - 1, top + kCellHeight - 1, text, screen.textColour, true);
}

uint32_t Little32(std::string_view bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
}

// Pixels a BMP header declares, or 0 when the header is too short to say (the reader then refuses it).
int64_t DeclaredBitmapPixels(std::string_view bytes) {
  if (bytes.size() < 26 || Little32(bytes, 14) < 40) return 0;
  const int64_t width = static_cast<int32_t>(Little32(bytes, 18));
  const int64_t height = static_cast<int32_t>(Little32(bytes, 22));
  return (width < 0 ? -width : width) * (height < 0 ? -height : height);
}

// The view of the canvas that the inclusive rectangle covers, one column and row wider where the
// canvas allows: the text drawer leaves a view's last column and row empty.
bool RectView(WidgetScreen& screen, int left, int top, int right, int bottom, CanvasView* view, int* originX,
              int* originY) {
  Canvas& canvas = screen.canvas;
  const int x0 = std::max(left, 0), y0 = std::max(top, 0);
  const int x1 = std::min(right + 1, canvas.width - 1), y1 = std::min(bottom + 1, canvas.height - 1);
  if (x0 > x1 || y0 > y1 || canvas.pixels.empty()) return false;
  view->pixels = canvas.pixels.data() + static_cast<size_t>(y0) * canvas.width + x0;
  view->pitch = canvas.width;
  view->width = x1 - x0 + 1;
  view->height = y1 - y0 + 1;
  *originX = x0;
  *originY = y0;
  return true;
}

int LineHeight(const EditorFont& font) { return std::max(1, font.height + font.lineGap); }

}  // namespace

// [SECTION] Text helpers

void DrawTextInRect(WidgetScreen& screen, int left, int top, int right, int bottom, std::string_view text,
                    uint8_t colour, bool centred) {
  CanvasView view;
  int originX = 0, originY = 0;
  if (!RectView(screen, left, top, right, bottom, &view, &originX, &originY)) return;
  const EditorFont& font = ScreenFont(screen);
  const int width = EditorTextWidth(font, text);
  // A glyph left of the view is skipped without advancing, so text wider than the rectangle
  // starts at its left edge and is cut at the right.
  int x = left;
  if (centred && width < right - left + 1) x = left + (right - left + 1 - width) / 2;
  const int y = (top + bottom + 1) / 2 - EditorTextCentreHeight(font) / 2;
  DrawEditorText(font, view, x - originX, y - originY, text, colour);
}

void DrawWrappedInRect(WidgetScreen& screen, int left, int top, int right, int bottom, std::string_view text,
                       uint8_t colour) {
  CanvasView view;
  int originX = 0, originY = 0;
  if (!RectView(screen, left, top, right, bottom, &view, &originX, &originY)) return;
  const EditorFont& font = ScreenFont(screen);
  const int limit = right - left + 1;
  const int lineHeight = LineHeight(font);
  int y = top;
  size_t start = 0;
  while (start < text.size() && y + font.height <= bottom + 1) {
    // The longest piece of the line that fits, preferring to end it at a space.
    size_t end = start, lastSpace = std::string_view::npos;
    while (end < text.size() && text[end] != '\n') {
      if (EditorTextWidth(font, text.substr(start, end - start + 1)) > limit) break;
      if (text[end] == ' ') lastSpace = end;
      ++end;
    }
    size_t next = end;
    if (end < text.size() && text[end] == '\n') {
      next = end + 1;
    } else if (end < text.size() && lastSpace != std::string_view::npos) {
      end = lastSpace;
      next = lastSpace + 1;
    } else if (end == start) {
      next = end = start + 1;  // one glyph wider than the rectangle: cut, but move on
    }
    DrawEditorText(font, view, left - originX, y - originY, text.substr(start, end - start), colour);
    y += lineHeight;
    start = next;
  }
}

void DrawOutlinedLabel(WidgetScreen& screen, int centreX, int y, int maxWidth, std::string_view text) {
  const EditorFont& font = ScreenFont(screen);
  const int height = std::max(font.height, EditorTextCentreHeight(font)) + font.lineGap;
  const int left = centreX - maxWidth / 2, right = left + maxWidth - 1;
  const int middle = y + height / 2;
  for (const int dy : {-1, 1}) {
    for (const int dx : {-1, 1}) {
      DrawTextInRect(screen, left + dx, middle - height + dy, right + dx, middle + height + dy, text, 0, true);
    }
  }
  DrawTextInRect(screen, left, middle - height, right, middle + height, text, 255, true);
}

// [SECTION] Picture helpers

std::array<uint8_t, 256> MappedPalette(const uint8_t* palette768) {
  std::array<uint8_t, 256> mapped{};
  for (int i = 0; i < 256; ++i) mapped[i] = MapColour(palette768[i * 3], palette768[i * 3 + 1], palette768[i * 3 + 2]);
  return mapped;
}

void DrawScaledIntoCell(WidgetScreen& screen, int left, int top, int width, int height,
                        const std::function<uint8_t(int, int)>& at) {
  if (width <= 0 || height <= 0) return;
  // Fit the cell keeping proportions: the side that limits gets the cell's full length.
  int64_t drawnWidth = kCellWidth, drawnHeight = kCellHeight;
  if (int64_t{width} * kCellHeight >= int64_t{height} * kCellWidth) {
    drawnHeight = std::max<int64_t>(1, int64_t{height} * kCellWidth / width);
  } else {
    drawnWidth = std::max<int64_t>(1, int64_t{width} * kCellHeight / height);
  }
  const int x0 = left + static_cast<int>((kCellWidth - drawnWidth) / 2);
  const int y0 = top + static_cast<int>((kCellHeight - drawnHeight) / 2);
  Canvas& canvas = screen.canvas;
  for (int dy = 0; dy < drawnHeight; ++dy) {
    const int y = y0 + dy;
    if (y < 0 || y >= canvas.height) continue;
    const int sy = static_cast<int>(dy * int64_t{height} / drawnHeight);
    uint8_t* row = canvas.pixels.data() + static_cast<size_t>(y) * canvas.width;
    for (int dx = 0; dx < drawnWidth; ++dx) {
      const int x = x0 + dx;
      if (x < 0 || x >= canvas.width) continue;
      row[x] = at(static_cast<int>(dx * int64_t{width} / drawnWidth), sy);
    }
  }
}

int FrameCount(const std::string& path) {
  if (path.size() < 3) return 1;
  const std::string stem = path.substr(0, path.size() - 3);
  int frames = 1;
  char digits[16];
  for (int n = 2; n <= 999; ++n) {
    std::snprintf(digits, sizeof digits, "%03d", n);
    if (!core::FileExists(stem + digits)) break;
    frames = n;
  }
  return frames;
}

std::string PreviewText(std::string_view bytes) {
  bytes = bytes.substr(0, std::min(bytes.size(), kPreviewCharacters));
  std::string text;
  text.reserve(bytes.size());
  for (const char c : bytes) {
    const auto code = static_cast<uint8_t>(c);
    if (c == '\t') {
      text.push_back(' ');
    } else if (c == '\n' || code >= 32) {
      text.push_back(c);
    }
  }
  return text;
}

// [SECTION] Previewers

std::string PreviewPicture(WidgetScreen& screen, const std::string& path, int left, int top) {
  ClearCell(screen, left, top);
  std::string bytes;
  PcxPicture picture;
  // An unreadable picture shows as the reader's fallback: one black pixel.
  if (core::ReadFile(path, &bytes)) DecodePcx(bytes, &picture);
  const std::array<uint8_t, 256> mapped = MappedPalette(picture.palette.data());
  DrawScaledIntoCell(screen, left, top, picture.width, picture.height,
                     [&](int x, int y) { return mapped[picture.At(x, y)]; });
  std::string suffix = SizeSuffix(picture.width, picture.height);
  const int frames = FrameCount(path);
  if (frames > 1) suffix += " " + std::to_string(frames);
  return suffix;
}

std::string PreviewBitmap(WidgetScreen& screen, const std::string& path, int left, int top) {
  ClearCell(screen, left, top);
  std::string bytes, error;
  if (!core::ReadFile(path, &bytes)) {
    CentredInCell(screen, left, top, "Unreadable");
    return {};
  }
  if (DeclaredBitmapPixels(bytes) > kMaxBitmapPixels) {
    CentredInCell(screen, left, top, "Too large");
    return {};
  }
  Picture picture;
  if (!DecodeBmp(bytes, &picture, &error)) {
    CentredInCell(screen, left, top, "Unreadable");
    return {};
  }
  DrawScaledIntoCell(screen, left, top, picture.width, picture.height, [&](int x, int y) {
    const uint8_t* pixel = picture.Pixel(x, y);
    return MapColour(pixel[0], pixel[1], pixel[2]);
  });
  return SizeSuffix(picture.width, picture.height);
}

// The camera's viewport drawn at a quarter of the 640 x 480 screen, which is the cell's size.
std::string PreviewCamera(WidgetScreen& screen, const std::string& path, int left, int top) {
  ClearCell(screen, left, top);
  std::string bytes;
  core::ReadFile(path, &bytes);
  const CameraParameters camera = ReadCameraParameters(ParseCameraFile(bytes));
  auto scaled = [](int32_t value, int limit) {
    return static_cast<int>(std::clamp<int64_t>(int64_t{value} / 4, 0, limit - 1));
  };
  const int x0 = scaled(camera.left, kCellWidth), y0 = scaled(camera.top, kCellHeight);
  const int x1 = scaled(camera.right, kCellWidth), y1 = scaled(camera.bottom, kCellHeight);
  const Shades& shades = screen.shades;
  screen.canvas.FillRect(left, top, left + kCellWidth - 1, top + kCellHeight - 1, shades.dark);
  if (x0 <= x1 && y0 <= y1) screen.canvas.FillRect(left + x0, top + y0, left + x1, top + y1, shades.middle);
  CentredInCell(screen, left, top, "Lens " + std::to_string(camera.lensFactor));
  return {};
}

std::string PreviewTextFile(WidgetScreen& screen, const std::string& path, int left, int top) {
  ClearCell(screen, left, top);
  char buffer[kPreviewCharacters];
  const long read = core::ReadFilePrefix(path, buffer, sizeof buffer);
  if (read < 0) {
    CentredInCell(screen, left, top, "Unreadable");
    return {};
  }
  const std::string text = PreviewText(std::string_view(buffer, static_cast<size_t>(read)));
  DrawWrappedInRect(screen, left + 2, top + 2, left + kCellWidth - 3, top + kCellHeight - 3, text, screen.textColour);
  return {};
}

// Models would need the scene layer to render off screen; the cell says so instead.
std::string PreviewModel(WidgetScreen& screen, const std::string&, int left, int top) {
  ClearCell(screen, left, top);
  CentredInCell(screen, left, top, "Rendering skipped");
  return {};
}

PreviewKind PreviewKindOf(int category) {
  switch (category) {
    case -1:
    case -7:
      return PreviewKind::kBitmap;
    case 0:
      return PreviewKind::kCamera;
    case 1:
    case 3:
    case 4:
    case 11:
    case 12:
    case -4:
      return PreviewKind::kModel;
    case 2:
    case 5:
    case 6:
    case 7:
    case 8:
      return PreviewKind::kPicture;
    default:
      return PreviewKind::kText;
  }
}

Previewer CategoryPreviewer(int category) {
  switch (PreviewKindOf(category)) {
    case PreviewKind::kBitmap:
      return PreviewBitmap;
    case PreviewKind::kCamera:
      return PreviewCamera;
    case PreviewKind::kModel:
      return PreviewModel;
    case PreviewKind::kPicture:
      return PreviewPicture;
    case PreviewKind::kText:
      break;
  }
  return PreviewTextFile;
}

}  // namespace widgets
}  // namespace engine
