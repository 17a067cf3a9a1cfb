// System fonts: fontconfig resolves face names, SDL2_ttf (over FreeType) opens the faces and
// renders glyphs to coverage. Calls SDL2, SDL2_ttf, fontconfig and the C++ library.
#include "platform/fonts.h"

#include <SDL.h>
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdlib>

namespace platform {

namespace {

// Code points of 0x80..0x9F in Windows-1252; 0 marks the five bytes the code page leaves out.
constexpr uint16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Windows-1252 bytes as UTF-8, for fontconfig, which takes names in UTF-8.
std::string Utf8OfWindows1252(std::string_view text) {
  std::string utf8;
  utf8.reserve(text.size());
  for (const char c : text) {
    const uint32_t code = CodePointOfWindows1252(static_cast<uint8_t>(c));
    if (code < 0x80) {
      utf8 += static_cast<char>(code);
    } else if (code < 0x800) {
      utf8 += static_cast<char>(0xC0 | code >> 6);
      utf8 += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      utf8 += static_cast<char>(0xE0 | code >> 12);
      utf8 += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      utf8 += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return utf8;
}

// GDI reads weight 0 as "any weight", which gives the regular face.
int32_t RequestedWeight(int32_t weight) {
  const int32_t clamped = std::clamp(weight, 0, 1000);
  return clamped == 0 ? 400 : clamped;
}

TTF_Font* Handle(void* handle) { return static_cast<TTF_Font*>(handle); }

}  // namespace

uint32_t CodePointOfWindows1252(uint8_t byte) {
  if (byte < 0x80 || byte > 0x9F) return byte;
  const uint16_t code = kHighControls[byte - 0x80];
  return code != 0 ? code : byte;
}

bool FindFontFace(std::string_view name, int32_t weight, FontFace* face) {
  const int32_t wanted = RequestedWeight(weight);
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return false;
  const std::string family = Utf8OfWindows1252(name);
  if (!family.empty()) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(wanted));
  FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  // The system's aliases ("Arial" -> a metric-compatible family) apply here.
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (match == nullptr) return false;
  FcChar8* file = nullptr;
  bool found = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file != nullptr;
  if (found) {
    face->file = reinterpret_cast<const char*>(file);
    int index = 0;
    face->index = FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch ? index : 0;
    FcChar8* matched = nullptr;
    face->family = FcPatternGetString(match, FC_FAMILY, 0, &matched) == FcResultMatch && matched != nullptr
                       ? reinterpret_cast<const char*>(matched)
                       : std::string();
    int faceWeight = FC_WEIGHT_REGULAR;
    FcPatternGetInteger(match, FC_WEIGHT, 0, &faceWeight);
    face->weight = FcWeightToOpenType(faceWeight);
    // A family without a bold face is drawn emboldened, as GDI synthesises bold.
    face->emboldened = wanted >= 600 && face->weight < 600;
  }
  FcPatternDestroy(match);
  return found;
}

std::unique_ptr<Font> Font::Open(std::string_view name, int32_t height, int32_t weight, std::string* error) {
  std::unique_ptr<Font> font(new Font());
  if (!FindFontFace(name, weight, &font->face_)) {
    *error = "no font face found for \"" + std::string(name) + "\"";
    return nullptr;
  }
  // The library counts its users: each open font holds one, given back by the destructor.
  if (TTF_Init() != 0) {
    *error = std::string("the font library cannot start: ") + TTF_GetError();
    return nullptr;
  }
  // At 72 dots per inch a size in points is the em height in pixels. The face is opened large
  // first, to measure its cell against its em.
  constexpr int kMeasureSize = 1000;
  TTF_Font* handle = TTF_OpenFontIndexDPI(font->face_.file.c_str(), kMeasureSize, font->face_.index, 72, 72);
  if (handle == nullptr) {
    *error = "cannot open " + font->face_.file + ": " + TTF_GetError();
    TTF_Quit();
    return nullptr;
  }
  font->handle_ = handle;
  // GDI's text call places every glyph at its own advance, without kerning.
  TTF_SetFontKerning(handle, 0);
  if (font->face_.emboldened) TTF_SetFontStyle(handle, TTF_STYLE_BOLD);

  const int64_t magnitude = std::min<int64_t>(std::llabs(static_cast<int64_t>(height)), kMaxFontHeight);
  int em = 0;
  if (height < 0) {
    em = static_cast<int>(magnitude);
  } else {
    // The largest em whose cell fits the height asked for; the estimate from the large cell is
    // within a pixel or two of it, the rounding of ascent and descent decides the rest.
    const int cell = height == 0 ? kDefaultFontCellHeight : static_cast<int>(magnitude);
    const int measured = std::max(1, TTF_FontHeight(handle));
    em = std::max(1, (cell * kMeasureSize + measured / 2) / measured);
    const auto cellAt = [handle](int size) {
      TTF_SetFontSize(handle, size);
      return TTF_FontHeight(handle);
    };
    while (em > 1 && cellAt(em) > cell) --em;
    while (em < 4 * kMaxFontHeight && cellAt(em + 1) <= cell) ++em;
  }
  em = std::max(em, 1);
  if (TTF_SetFontSize(handle, em) != 0) {
    *error = "cannot size " + font->face_.file + ": " + TTF_GetError();
    return nullptr;
  }
  font->em_ = em;
  return font;
}

Font::~Font() {
  if (handle_ == nullptr) return;
  TTF_CloseFont(Handle(handle_));
  TTF_Quit();
}

int Font::CellHeight() const { return TTF_FontHeight(Handle(handle_)); }
int Font::Ascent() const { return TTF_FontAscent(Handle(handle_)); }

bool Font::RenderGlyph(uint8_t byte, GlyphBitmap* glyph) {
  *glyph = GlyphBitmap();
  TTF_Font* font = Handle(handle_);
  const uint32_t code = CodePointOfWindows1252(byte);
  int minX = 0, maxX = 0, minY = 0, maxY = 0, advance = 0;
  if (TTF_GlyphMetrics32(font, code, &minX, &maxX, &minY, &maxY, &advance) != 0) return false;
  glyph->advance = advance;
  // The library renders one glyph as a line of text: the line's top row is the cell's top,
  // widened left when the glyph starts left of the pen and upward when it rises above the ascent.
  SDL_Surface* surface = TTF_RenderGlyph32_Shaded(font, code, SDL_Color{255, 255, 255, 255}, SDL_Color{0, 0, 0, 255});
  if (surface == nullptr) return true;  // nothing to draw (the library renders no empty line)
  const int startX = std::max(0, -minX);
  const int startY = std::max(0, maxY - TTF_FontAscent(font));
  // The pixels are palette indices; with white on black each entry's red is the coverage.
  const SDL_Palette* palette = surface->format->palette;
  const auto* pixels = static_cast<const uint8_t*>(surface->pixels);
  uint8_t levels[256];
  for (int i = 0; i < 256; ++i) levels[i] = palette != nullptr && i < palette->ncolors ? palette->colors[i].r : static_cast<uint8_t>(i);
  int left = surface->w, right = -1, top = surface->h, bottom = -1;
  for (int y = 0; y < surface->h; ++y) {
    const uint8_t* row = pixels + static_cast<ptrdiff_t>(y) * surface->pitch;
    for (int x = 0; x < surface->w; ++x) {
      if (levels[row[x]] == 0) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  if (right >= 0) {
    glyph->left = left - startX;
    glyph->top = top - startY;
    glyph->width = right - left + 1;
    glyph->height = bottom - top + 1;
    glyph->coverage.resize(static_cast<size_t>(glyph->width) * static_cast<size_t>(glyph->height));
    for (int y = 0; y < glyph->height; ++y) {
      const uint8_t* row = pixels + static_cast<ptrdiff_t>(top + y) * surface->pitch + left;
      uint8_t* out = glyph->coverage.data() + static_cast<size_t>(y) * static_cast<size_t>(glyph->width);
      for (int x = 0; x < glyph->width; ++x) out[x] = levels[row[x]];
    }
  }
  SDL_FreeSurface(surface);
  return true;
}

int Font::RenderTextReference(std::string_view text, uint32_t rgb, std::vector<uint8_t>* coverage, int* width,
                              int* height) {
  const std::string line(text);
  const SDL_Color colour{static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb), 255};
  SDL_Surface* surface = TTF_RenderText_Blended(Handle(handle_), line.c_str(), colour);
  if (surface == nullptr) return 0;
  const int rendered = surface->w;
  if (coverage != nullptr) {
    // Blended lines are 32-bit ARGB: the alpha byte is the coverage.
    coverage->assign(static_cast<size_t>(surface->w) * static_cast<size_t>(surface->h), 0);
    for (int y = 0; y < surface->h; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(surface->pixels) +
                                                          static_cast<ptrdiff_t>(y) * surface->pitch);
      for (int x = 0; x < surface->w; ++x) {
        (*coverage)[static_cast<size_t>(y) * static_cast<size_t>(surface->w) + static_cast<size_t>(x)] =
            static_cast<uint8_t>(row[x] >> 24);
      }
    }
    if (width != nullptr) *width = surface->w;
    if (height != nullptr) *height = surface->h;
  }
  SDL_FreeSurface(surface);
  return rendered;
}

}  // namespace platform
