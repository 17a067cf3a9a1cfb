// System fonts: face names resolved by fontconfig, faces opened and glyphs rendered to coverage
// through SDL2_ttf over FreeType. The only code that includes SDL_ttf.h and fontconfig.h.
//
// Text bytes are Windows-1252 throughout. A face is opened with the meaning of a GDI font
// request: a positive height is the cell height (ascent plus descent) in pixels, a negative one
// the em height, 0 the default size; the weight (0..1000, 400 regular, 700 bold, 0 regular)
// picks the nearest weight of the family, a bold request of a family without a bold face is
// emboldened. An unknown face name takes fontconfig's best match.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Heights beyond this many pixels either way are taken as this many.
inline constexpr int32_t kMaxFontHeight = 1000;
// The cell height a height of 0 asks for: the size every font slot of a play starts at.
inline constexpr int32_t kDefaultFontCellHeight = 28;

// The Unicode code point of a Windows-1252 byte: 0x80..0x9F hold the typographic marks of that
// code page (a byte the code page leaves unassigned keeps its own value), every other byte is its
// own code point.
uint32_t CodePointOfWindows1252(uint8_t byte);

// The file and face a name resolves to.
struct FontFace {
  std::string file;
  int index = 0;           // face inside the file
  std::string family;      // "Liberation Sans"
  int weight = 400;        // of the face found, on the 0..1000 scale
  bool emboldened = false;  // a bold request met by a lighter face: drawn bold by FreeType
};
// Resolves `name` (Windows-1252) at `weight` through fontconfig. False when no face at all is
// found (no fonts installed).
bool FindFontFace(std::string_view name, int32_t weight, FontFace* face);

// One glyph as 8-bit coverage, placed relative to the pen and the text cell.
struct GlyphBitmap {
  int left = 0;     // from the pen position to the bitmap's first column
  int top = 0;      // from the top of the text cell to the bitmap's first row
  int width = 0;    // 0 for a glyph that covers nothing (a space)
  int height = 0;
  int advance = 0;  // how far the pen moves after the glyph
  std::vector<uint8_t> coverage;  // width x height, rows top down: 0 uncovered .. 255 covered
};

// A face opened at one size. Not copyable; every call is on the thread that opened it.
class Font {
 public:
  // Opens `name` at `height` and `weight` as above (|height| clamped to kMaxFontHeight). Null with
  // the reason in *error when no face is found or it cannot be opened.
  static std::unique_ptr<Font> Open(std::string_view name, int32_t height, int32_t weight, std::string* error);
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  const FontFace& Face() const { return face_; }
  int EmHeight() const { return em_; }
  int CellHeight() const;  // ascent plus descent, pixels
  int Ascent() const;      // from the cell's top to the baseline, pixels

  // Renders the glyph of a Windows-1252 byte, anti-aliased, without kerning. False when the font
  // cannot render it (the glyph is then left empty with advance 0).
  bool RenderGlyph(uint8_t byte, GlyphBitmap* glyph);

  // The font library's own whole-text call, blended ARGB: kept as the yardstick the glyph cache is
  // measured and checked against. `text` is Latin-1, as that call takes it. Returns the width of
  // what it rendered (0 for nothing); with `coverage` given, also its alpha channel, `*width` x
  // `*height`, rows top down, the top row at the top of the text cell (as long as no glyph rises
  // above the ascent).
  int RenderTextReference(std::string_view text, uint32_t rgb, std::vector<uint8_t>* coverage = nullptr,
                          int* width = nullptr, int* height = nullptr);

 private:
  Font() = default;

  void* handle_ = nullptr;  // the library's font
  FontFace face_;
  int em_ = 0;
};

}  // namespace platform
