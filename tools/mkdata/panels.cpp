// The skin pictures panels.pcx (the tools') and panels2.pcx (a finished game's): pieces, title,
// close boxes and icons drawn where the widgets' skin layout puts them, in canvas colours. Calls
// the engine's widget colours and layout, and mkdata's PCX writer.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/core.h"
#include "engine/engine.h"
#include "mkdata/bytes.h"
#include "mkdata/mkdata.h"

namespace mkdata {

namespace {

using engine::widgets::MapColour;
using engine::widgets::SkinLayout;

// The colours one skin is drawn in.
struct SkinColours {
  uint8_t light, lightInner, darkInner, dark;  // the bevel, outside to inside
  uint8_t interior;
  int titleFrom[3], titleTo[3];  // the title's gradient, RGB
  uint8_t ink;                   // icons and the close-box marks
};

SkinColours ToolColours() {
  return SkinColours{255, MapColour(215, 215, 215), MapColour(120, 120, 120), MapColour(69, 69, 69),
                     MapColour(130, 140, 160), {0, 0, 96}, {96, 140, 224}, 255};
}

SkinColours GameColours() {
  return SkinColours{MapColour(200, 230, 200), MapColour(140, 190, 140), MapColour(40, 90, 40), MapColour(0, 40, 0),
                     MapColour(70, 110, 80), {20, 60, 20}, {150, 200, 100}, MapColour(240, 255, 200)};
}

class Picture {
 public:
  Picture() : pixels_(static_cast<size_t>(SkinLayout::kWidth) * SkinLayout::kHeight, 0) {}
  void Set(int x, int y, uint8_t colour) {
    if (x < 0 || y < 0 || x >= SkinLayout::kWidth || y >= SkinLayout::kHeight) return;
    pixels_[static_cast<size_t>(y) * SkinLayout::kWidth + x] = colour;
  }
  void Fill(int left, int top, int right, int bottom, uint8_t colour) {
    for (int y = top; y <= bottom; ++y) {
      for (int x = left; x <= right; ++x) Set(x, y, colour);
    }
  }
  // A small raised button: a two-pixel bevel around a face.
  void Bevel(int left, int top, int right, int bottom, const SkinColours& c, uint8_t face) {
    Fill(left, top, right, bottom, face);
    Fill(left, top, right, top, c.light);
    Fill(left, top, left, bottom, c.light);
    Fill(left, bottom, right, bottom, c.dark);
    Fill(right, top, right, bottom, c.dark);
  }
  const Bytes& Pixels() const { return pixels_; }

 private:
  Bytes pixels_;
};

// The eight 4 x 4 pieces of a set; inside the two-pixel bevel they are transparent (0), so the
// panel's or button's own fill shows.
void DrawPieces(Picture& picture, int originX, uint8_t outerLit, uint8_t innerLit, uint8_t innerShadow,
                uint8_t outerShadow) {
  const int p = SkinLayout::kPiece;
  for (int piece = 0; piece < 8; ++piece) {
    const bool top = piece <= 2, bottom = piece >= 5;
    const bool left = piece == 0 || piece == 3 || piece == 5, right = piece == 2 || piece == 4 || piece == 7;
    for (int y = 0; y < p; ++y) {
      for (int x = 0; x < p; ++x) {
        uint8_t colour = 0;
        if ((top && y == 1) || (left && x == 1)) colour = innerLit;
        if ((bottom && y == p - 2) || (right && x == p - 2)) colour = innerShadow;
        if ((top && y == 0) || (left && x == 0)) colour = outerLit;
        if ((bottom && y == p - 1) || (right && x == p - 1)) colour = outerShadow;
        picture.Set(originX + piece * p + x, SkinLayout::kPiecesY + y, colour);
      }
    }
  }
}

void DrawTitle(Picture& picture, const SkinColours& c) {
  const int w = SkinLayout::kWidth, h = SkinLayout::kTitleHeight;
  for (int x = 0; x < w; ++x) {
    int rgb[3];
    for (int k = 0; k < 3; ++k) rgb[k] = c.titleFrom[k] + (c.titleTo[k] - c.titleFrom[k]) * x / (w - 1);
    // Lighter towards the top edge, darker towards the bottom, for a rounded look.
    for (int y = 0; y < h; ++y) {
      const int shade = 24 - 48 * y / (h - 1);
      picture.Set(x, SkinLayout::kTitleY + y,
                  MapColour(std::clamp(rgb[0] + shade, 16, 240), std::clamp(rgb[1] + shade, 0, 240),
                            std::clamp(rgb[2] + shade, 0, 240)));
    }
  }
  picture.Fill(0, SkinLayout::kTitleY, w - 1, SkinLayout::kTitleY, c.lightInner);
  picture.Fill(0, SkinLayout::kTitleY + h - 1, w - 1, SkinLayout::kTitleY + h - 1, c.darkInner);
}

// Both close-box pictures hold the minimise button at their left (it lies 18 pixels left of the
// close box); the first adds the close button with its cross.
void DrawCloseBoxes(Picture& picture, const SkinColours& c) {
  const int y0 = SkinLayout::kCloseY;
  for (int variant = 0; variant < 2; ++variant) {
    const int x0 = variant * SkinLayout::kCloseWidth;
    picture.Bevel(x0 + 0, y0 + 1, x0 + 11, y0 + 12, c, c.interior);
    picture.Fill(x0 + 3, y0 + 9, x0 + 8, y0 + 10, c.ink);
    if (variant == 1) continue;
    picture.Bevel(x0 + 15, y0 + 0, x0 + 28, y0 + 13, c, c.interior);
    for (int i = 0; i < 8; ++i) {
      picture.Fill(x0 + 18 + i, y0 + 3 + i, x0 + 19 + i, y0 + 3 + i, c.ink);
      picture.Fill(x0 + 24 - i, y0 + 3 + i, x0 + 25 - i, y0 + 3 + i, c.ink);
    }
  }
}

// Sixteen plain icons: arrows in four directions, double arrows, a folder, a page, a disk, a
// tick, a cross, plus, minus, an eye, a question mark's dot and bar, and a square.
void DrawIcons(Picture& picture, const SkinColours& c) {
  for (int i = 0; i < SkinLayout::kIconCount; ++i) {
    const int x0 = (i % 8) * SkinLayout::kIcon, y0 = SkinLayout::kIconsY + (i / 8) * SkinLayout::kIcon;
    auto set = [&](int x, int y) { picture.Set(x0 + x, y0 + y, c.ink); };
    auto arrow = [&](int direction, int offset) {
      for (int k = 0; k < 6; ++k) {
        for (int s = -k; s <= k; ++s) {
          const int along = 3 + k + offset, across = 8 + s;
          if (direction == 0) set(across, along);
          if (direction == 1) set(across, 15 - along);
          if (direction == 2) set(along, across);
          if (direction == 3) set(15 - along, across);
        }
      }
    };
    switch (i) {
      case 0: case 1: case 2: case 3: arrow(i, 0); break;
      case 4: arrow(2, -2), arrow(2, 4); break;
      case 5: arrow(3, -2), arrow(3, 4); break;
      case 6:  // folder
        picture.Fill(x0 + 2, y0 + 4, x0 + 7, y0 + 5, c.ink);
        picture.Fill(x0 + 2, y0 + 6, x0 + 13, y0 + 12, c.ink);
        break;
      case 7:  // page with lines
        picture.Fill(x0 + 4, y0 + 2, x0 + 11, y0 + 13, c.ink);
        for (int y = 5; y <= 11; y += 3) picture.Fill(x0 + 5, y0 + y, x0 + 10, y0 + y, c.darkInner);
        break;
      case 8:  // disk
        picture.Fill(x0 + 2, y0 + 2, x0 + 13, y0 + 13, c.ink);
        picture.Fill(x0 + 5, y0 + 2, x0 + 10, y0 + 6, c.darkInner);
        break;
      case 9:  // tick
        for (int k = 0; k < 4; ++k) set(3 + k, 8 + k), set(3 + k, 9 + k);
        for (int k = 0; k < 7; ++k) set(7 + k, 11 - k), set(7 + k, 10 - k);
        break;
      case 10:  // cross
        for (int k = 3; k <= 12; ++k) set(k, k), set(15 - k, k);
        break;
      case 11: picture.Fill(x0 + 3, y0 + 7, x0 + 12, y0 + 8, c.ink), picture.Fill(x0 + 7, y0 + 3, x0 + 8, y0 + 12, c.ink); break;
      case 12: picture.Fill(x0 + 3, y0 + 7, x0 + 12, y0 + 8, c.ink); break;
      case 13:  // eye
        for (int x = 2; x <= 13; ++x) {
          const int half = 4 - std::abs(x - 8) * 4 / 6;
          set(x, 8 - half), set(x, 8 + half);
        }
        picture.Fill(x0 + 7, y0 + 7, x0 + 9, y0 + 9, c.ink);
        break;
      case 14:  // bar and dot
        picture.Fill(x0 + 7, y0 + 2, x0 + 8, y0 + 9, c.ink);
        picture.Fill(x0 + 7, y0 + 12, x0 + 8, y0 + 13, c.ink);
        break;
      default:  // square outline
        picture.Fill(x0 + 3, y0 + 3, x0 + 12, y0 + 3, c.ink), picture.Fill(x0 + 3, y0 + 12, x0 + 12, y0 + 12, c.ink);
        picture.Fill(x0 + 3, y0 + 3, x0 + 3, y0 + 12, c.ink), picture.Fill(x0 + 12, y0 + 3, x0 + 12, y0 + 12, c.ink);
    }
  }
}

Bytes Skin(const SkinColours& c) {
  Picture picture;
  DrawPieces(picture, SkinLayout::kRaisedX, c.light, c.lightInner, c.darkInner, c.dark);
  DrawPieces(picture, SkinLayout::kSunkenX, c.dark, c.darkInner, c.lightInner, c.light);
  picture.Set(SkinLayout::kInteriorX, SkinLayout::kPiecesY, c.interior);
  DrawTitle(picture, c);
  DrawCloseBoxes(picture, c);
  DrawIcons(picture, c);
  const auto palette = engine::widgets::CanvasPalette();
  return PcxWithPalette(SkinLayout::kWidth, SkinLayout::kHeight, picture.Pixels(), Bytes(palette.begin(), palette.end()));
}

bool Write(const std::string& path, const Bytes& bytes) {
  if (core::WriteFileAtomic(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) {
    return true;
  }
  std::fprintf(stderr, "mkdata: cannot write %s\n", path.c_str());
  return false;
}

}  // namespace

std::vector<uint8_t> ToolSkinPicture() { return Skin(ToolColours()); }
std::vector<uint8_t> GameSkinPicture() { return Skin(GameColours()); }

bool WriteSkins(const std::string& folder) {
  return Write(folder + "panels.pcx", ToolSkinPicture()) && Write(folder + "panels2.pcx", GameSkinPicture());
}

}  // namespace mkdata
