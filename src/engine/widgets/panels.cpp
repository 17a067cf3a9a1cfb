// The skin picture and what is drawn from it: panels, frames, the button table, labels and the hit
// test. Calls the PCX reader, the editor font and the host; never the platform.
#include <algorithm>

#include "engine/pictures/pcx.h"
#include "engine/widgets/widgets.h"

namespace engine {
namespace widgets {

// [SECTION] Skin

namespace {

// The order of the eight frame pieces of a set along the skin's piece row.
enum Piece { kTopLeft, kTop, kTopRight, kLeft, kRight, kBottomLeft, kBottom, kBottomRight };

constexpr int kWaitPasses = 600;  // about ten seconds of passes at 60 a second

// One set of flat pieces: a one-pixel edge of `lit` on the top and left, `shadow` on the bottom
// and right, the rest transparent so the fill under the frame shows through.
void DrawFlatPieces(Skin& skin, int originX, uint8_t lit, uint8_t shadow) {
  const int p = SkinLayout::kPiece;
  for (int piece = 0; piece < 8; ++piece) {
    const bool top = piece == kTopLeft || piece == kTop || piece == kTopRight;
    const bool bottom = piece == kBottomLeft || piece == kBottom || piece == kBottomRight;
    const bool left = piece == kTopLeft || piece == kLeft || piece == kBottomLeft;
    const bool right = piece == kTopRight || piece == kRight || piece == kBottomRight;
    for (int y = 0; y < p; ++y) {
      for (int x = 0; x < p; ++x) {
        uint8_t colour = 0;
        if ((top && y == 0) || (left && x == 0)) colour = lit;
        if ((bottom && y == p - 1) || (right && x == p - 1)) colour = shadow;
        skin.pixels[static_cast<size_t>(SkinLayout::kPiecesY + y) * skin.width + originX + piece * p + x] = colour;
      }
    }
  }
}

}  // namespace

Skin BuiltinSkin() {
  const Shades shades = InterfaceShades();
  Skin skin;
  skin.width = SkinLayout::kWidth;
  skin.height = SkinLayout::kHeight;
  skin.pixels.assign(static_cast<size_t>(skin.width) * skin.height, 0);
  skin.palette = CanvasPalette();
  skin.interior = shades.middle;
  skin.builtin = true;
  DrawFlatPieces(skin, SkinLayout::kRaisedX, shades.light, shades.dark);
  DrawFlatPieces(skin, SkinLayout::kSunkenX, shades.dark, shades.light);
  skin.pixels[static_cast<size_t>(SkinLayout::kPiecesY) * skin.width + SkinLayout::kInteriorX] = skin.interior;
  auto at = [&](int x, int y) -> uint8_t& { return skin.pixels[static_cast<size_t>(y) * skin.width + x]; };
  // A plain dark title strip with a light rule under it.
  for (int y = 0; y < SkinLayout::kTitleHeight; ++y) {
    for (int x = 0; x < SkinLayout::kWidth; ++x) {
      at(x, SkinLayout::kTitleY + y) = y == SkinLayout::kTitleHeight - 1 ? shades.light : shades.dark;
    }
  }
  // Both close-box pictures carry the minimise bar; only the first has the cross.
  for (int variant = 0; variant < 2; ++variant) {
    const int x0 = variant * SkinLayout::kCloseWidth, y0 = SkinLayout::kCloseY;
    for (int x = 1; x <= 10; ++x) at(x0 + x, y0 + 11) = shades.light;
    if (variant == 1) continue;
    for (int i = 0; i < 12; ++i) {
      at(x0 + 16 + i, y0 + 1 + i) = shades.light;
      at(x0 + 27 - i, y0 + 1 + i) = shades.light;
    }
  }
  return skin;
}

bool LoadSkin(std::string_view pcxBytes, Skin* out, std::string* error) {
  auto refuse = [&](const std::string& why) {
    *out = BuiltinSkin();
    if (error != nullptr) *error = why;
    return false;
  };
  PcxPicture picture;
  if (!DecodePcx(pcxBytes, &picture)) return refuse("the skin picture cannot be read as a PCX picture");
  if (picture.width < SkinLayout::kWidth) {
    return refuse("the skin picture is " + std::to_string(picture.width) + " pixels wide, narrower than " +
                  std::to_string(SkinLayout::kWidth));
  }
  if (picture.height < SkinLayout::kHeight) {
    return refuse("the skin picture is " + std::to_string(picture.height) + " rows high, shorter than " +
                  std::to_string(SkinLayout::kHeight));
  }
  Skin skin;
  skin.width = picture.width;
  skin.height = picture.height;
  skin.pixels = std::move(picture.pixels);
  skin.palette = picture.palette;
  skin.interior = skin.pixels[static_cast<size_t>(SkinLayout::kPiecesY) * skin.width + SkinLayout::kInteriorX];
  *out = std::move(skin);
  return true;
}

// [SECTION] Drawing from the skin

const EditorFont& ScreenFont(const WidgetScreen& screen) {
  static const EditorFont builtin = BuiltinEditorFont();
  return screen.font != nullptr ? *screen.font : builtin;
}

namespace {

// Copies a w x h part of the skin from (sx, sy) to the canvas at (dx, dy); skin pixels of 0 are
// transparent. Clipped to both the skin and the canvas.
void Blit(WidgetScreen& screen, int sx, int sy, int w, int h, int dx, int dy) {
  const Skin& skin = screen.skin;
  Canvas& canvas = screen.canvas;
  w = std::min(w, skin.width - sx);
  h = std::min(h, skin.height - sy);
  for (int y = 0; y < h; ++y) {
    const int ty = dy + y;
    if (ty < 0 || ty >= canvas.height) continue;
    const uint8_t* source = skin.pixels.data() + static_cast<size_t>(sy + y) * skin.width + sx;
    uint8_t* target = canvas.rows[ty];
    const int first = std::max(0, -dx), last = std::min(w, canvas.width - dx);
    for (int x = first; x < last; ++x) {
      if (source[x] != 0) target[dx + x] = source[x];
    }
  }
}

void DrawPiece(WidgetScreen& screen, int setX, Piece piece, int x, int y, int w = SkinLayout::kPiece,
               int h = SkinLayout::kPiece) {
  Blit(screen, setX + piece * SkinLayout::kPiece, SkinLayout::kPiecesY, w, h, x, y);
}

// The eight pieces around the inclusive rectangle: edges tiled (the last tile cut to fit), then
// the corners over them.
void DrawPieces(WidgetScreen& screen, int setX, int left, int top, int right, int bottom) {
  const int p = SkinLayout::kPiece;
  if (right < left || bottom < top) return;
  // The tiles start where the canvas does: a box of a huge text may reach far outside it.
  const auto firstTile = [p](int from) { return from >= -p ? from : from + (-p - from) / p * p; };
  const int lastX = std::min(right - p, screen.canvas.width), lastY = std::min(bottom - p, screen.canvas.height);
  for (int x = firstTile(left + p); x <= lastX; x += p) {
    const int w = std::min(p, right - p + 1 - x);
    DrawPiece(screen, setX, kTop, x, top, w);
    DrawPiece(screen, setX, kBottom, x, bottom - p + 1, w);
  }
  for (int y = firstTile(top + p); y <= lastY; y += p) {
    const int h = std::min(p, bottom - p + 1 - y);
    DrawPiece(screen, setX, kLeft, left, y, p, h);
    DrawPiece(screen, setX, kRight, right - p + 1, y, p, h);
  }
  DrawPiece(screen, setX, kTopLeft, left, top);
  DrawPiece(screen, setX, kTopRight, right - p + 1, top);
  DrawPiece(screen, setX, kBottomLeft, left, bottom - p + 1);
  DrawPiece(screen, setX, kBottomRight, right - p + 1, bottom - p + 1);
}

int FloorTo4(int v) { return v - (((v % 4) + 4) % 4); }

}  // namespace

void DrawFrame(WidgetScreen& screen, int left, int top, int right, int bottom) {
  DrawPieces(screen, SkinLayout::kRaisedX, FloorTo4(left), FloorTo4(top), FloorTo4(right), FloorTo4(bottom));
}

void DrawPanel(WidgetScreen& screen, int left, int top, int right, int bottom, bool hasCloseBox) {
  left = FloorTo4(left);
  top = FloorTo4(top);
  right = FloorTo4(right);
  bottom = FloorTo4(bottom);
  screen.canvas.FillRect(left, top, right, bottom, screen.skin.interior);
  DrawPieces(screen, SkinLayout::kRaisedX, left, top, right, bottom);
  // The title strip continues the title picture's last column to the right edge.
  const int stripLeft = left + SkinLayout::kPiece, stripRight = right - SkinLayout::kPiece;
  const int titleTop = top + 3;
  for (int y = 0; y < SkinLayout::kTitleHeight; ++y) {
    const int colour =
        screen.skin.pixels[static_cast<size_t>(SkinLayout::kTitleY + y) * screen.skin.width + SkinLayout::kWidth - 1];
    if (colour != 0) screen.canvas.FillRect(stripLeft, titleTop + y, stripRight, titleTop + y, colour);
  }
  Blit(screen, 0, SkinLayout::kTitleY, std::min(SkinLayout::kWidth, stripRight - stripLeft + 1), SkinLayout::kTitleHeight,
       stripLeft, titleTop);
  const int variantX = hasCloseBox ? 0 : SkinLayout::kCloseWidth;
  Blit(screen, variantX, SkinLayout::kCloseY, SkinLayout::kCloseWidth, SkinLayout::kCloseHeight, right - 36, top + 7);
  screen.closeBox = {right - 22, top + 6, right - 7, top + 21};
  screen.hasCloseBox = hasCloseBox;
}

int AddButton(WidgetScreen& screen, int left, int top, int right, int bottom, bool sunken) {
  int slot = -1;
  for (int i = 0; i < kButtonSlots; ++i) {
    if (screen.buttons[i].left == -1) {
      slot = i;
      break;
    }
  }
  if (slot < 0) return -1;
  screen.canvas.FillRect(left, top, right, bottom, screen.shades.middle);
  DrawPieces(screen, sunken ? SkinLayout::kSunkenX : SkinLayout::kRaisedX, left, top, right, bottom);
  // The table holds 15 bits of position; bit 15 of left is the sunken mark.
  const auto clamp15 = [](int v) { return static_cast<int16_t>(std::clamp(v, 0, 0x7FFF)); };
  ButtonSlot& entry = screen.buttons[slot];
  entry.left = static_cast<int16_t>(static_cast<uint16_t>(clamp15(left)) | (sunken ? 0x8000u : 0u));
  entry.top = clamp15(top);
  entry.right = clamp15(right);
  entry.bottom = clamp15(bottom);
  return slot;
}

void ClearButtons(WidgetScreen& screen) {
  for (ButtonSlot& slot : screen.buttons) slot = ButtonSlot{};
}

namespace {

int SlotLeft(const ButtonSlot& slot) { return static_cast<uint16_t>(slot.left) & 0x7FFF; }

bool Inside(int x, int y, int left, int top, int right, int bottom) {
  return x >= left && x <= right && y >= top && y <= bottom;
}

}  // namespace

void ButtonLabel(WidgetScreen& screen, std::string_view text, int slot) {
  if (slot < 0 || slot >= kButtonSlots || screen.buttons[slot].left == -1) return;
  const ButtonSlot& b = screen.buttons[slot];
  const int x = (SlotLeft(b) + b.right) / 2, y = (b.top + b.bottom) / 2;
  DrawEditorTextCentred(ScreenFont(screen), screen.canvas.View(), x, y, text, screen.textColour);
}

int HitTest(WidgetScreen& screen) {
  WidgetHost* host = screen.host;
  if (host == nullptr) return -1;
  const int x = host->MouseX(), y = host->MouseY();
  const auto& c = screen.closeBox;
  if (screen.hasCloseBox && Inside(x, y, c[0], c[1], c[2], c[3])) return kCloseBoxCode;
  // The minimise strip is the close box's rectangle moved 18 pixels left, on every panel.
  if (c[0] >= 0 && (host->MouseButtons() & 1) != 0 && Inside(x, y, c[0] - 18, c[1], c[2] - 18, c[3])) {
    // The release is awaited for a bounded time: a script that never lets go must not hang us.
    for (int pass = 0; pass < kWaitPasses && host->MouseButtons() != 0 && host->InputMayArrive(); ++pass) {
      host->Idle();
      host->Pump();
    }
    host->MinimiseAndWait();
    return -1;
  }
  for (int i = 0; i < kButtonSlots; ++i) {
    const ButtonSlot& b = screen.buttons[i];
    if (b.left == -1) continue;
    if (Inside(x, y, SlotLeft(b), b.top, b.right, b.bottom)) return i;
  }
  return -1;
}

}  // namespace widgets
}  // namespace engine
