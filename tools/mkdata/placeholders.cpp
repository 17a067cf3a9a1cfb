// Placeholder files of the resource folders: one small, loadable file of every kind. Calls core/files.
//
// [SECTION] Pictures (PCX, BMP)
// [SECTION] Sounds (WAV)
// [SECTION] Binary aspects (camera, 3D shape, background, ground map, track, mesh)
// [SECTION] Text files (brains, visual, project, element)
// [SECTION] The folder table and the writer
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "core/core.h"
#include "mkdata/bytes.h"
#include "mkdata/mkdata.h"

namespace mkdata {
namespace {

// ---------------------------------------------------------------------------------------------
// [SECTION] Pictures (PCX, BMP)
// ---------------------------------------------------------------------------------------------

// One palette for every placeholder picture: a 6x6x6 colour cube (index r*36 + g*6 + b) and a
// grey ramp from 216 to 255. Index 0 is black, which sprites treat as transparent.
constexpr uint8_t kBlack = 0;
constexpr uint8_t kWhite = 215;
constexpr uint8_t kMagenta = 5 * 36 + 5;
constexpr uint8_t kYellow = 5 * 36 + 5 * 6;
constexpr uint8_t kGlyphEnd = 255;  // top-row marker that closes each glyph of a digit picture

Bytes Palette() {
  Bytes rgb;
  for (int i = 0; i < 216; ++i) {
    rgb.push_back(static_cast<uint8_t>(i / 36 * 51));
    rgb.push_back(static_cast<uint8_t>(i / 6 % 6 * 51));
    rgb.push_back(static_cast<uint8_t>(i % 6 * 51));
  }
  for (int i = 0; i < 40; ++i) rgb.insert(rgb.end(), 3, static_cast<uint8_t>(i * 255 / 39));
  return rgb;
}

// 8-bit, one-plane, run-length coded picture with the 256-colour palette after a 0x0C marker.
// Every row is coded on its own at an even byte count, the padding byte being 0; a literal of 192
// or more would read as a run count, so it is always written as a run of one.
Bytes Pcx(int width, int height, const Bytes& pixels, const Bytes& palette = Palette()) {
  const int lineBytes = (width + 1) & ~1;
  Bytes out;
  out.push_back(10);  // maker
  out.push_back(5);   // version with a 256-colour palette
  out.push_back(1);   // run-length coding
  out.push_back(8);   // bits per pixel
  Put16(&out, 0);
  Put16(&out, 0);
  Put16(&out, static_cast<uint32_t>(width - 1));
  Put16(&out, static_cast<uint32_t>(height - 1));
  Put16(&out, 72);
  Put16(&out, 72);
  out.resize(65, 0);  // 16-colour palette and reserved byte, unused at 8 bits
  out.push_back(1);   // planes
  Put16(&out, static_cast<uint32_t>(lineBytes));
  Put16(&out, 1);  // colour palette
  out.resize(128, 0);
  Bytes line(lineBytes, 0);
  for (int y = 0; y < height; ++y) {
    std::copy_n(pixels.begin() + static_cast<long>(y) * width, width, line.begin());
    for (int x = 0; x < lineBytes;) {
      int run = 1;
      while (x + run < lineBytes && run < 63 && line[x + run] == line[x]) ++run;
      if (run > 1 || line[x] >= 0xC0) out.push_back(static_cast<uint8_t>(0xC0 | run));
      out.push_back(line[x]);
      x += run;
    }
  }
  out.push_back(0x0C);
  out.insert(out.end(), palette.begin(), palette.end());
  return out;
}

Bytes PcxChecker(int side, uint8_t colour) {
  Bytes pixels(static_cast<size_t>(side) * side);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) pixels[y * side + x] = ((x / 4 + y / 4) & 1) ? kBlack : colour;
  return Pcx(side, side, pixels);
}

Bytes CounterDigits() {
  int width = 0, height = 0;
  const Bytes pixels = CounterDigitPixels(2, 1, kWhite, kGlyphEnd, &width, &height);
  return Pcx(width, height, pixels);
}

uint32_t Solid(int, int, uint32_t rgb) { return rgb; }
uint32_t Checker(int x, int y, uint32_t rgb) { return ((x / 2 + y / 2) & 1) ? 0 : rgb; }

}  // namespace

std::vector<uint8_t> CounterDigitPixels(int scale, int blankColumns, uint8_t ink, uint8_t marker, int* width,
                                        int* height) {
  static constexpr const char* kGlyphs[13] = {
      "111101101101111", "010110010010111", "111001111100111", "111001111001111", "101101111001001",
      "111100111001111", "111100111101111", "111001001001001", "111101111101111", "111101111001111",
      "000010111010000", "000000111000000", "000000000000010"};
  const int cell = 3 * scale + blankColumns + 1;
  *width = 13 * cell;
  *height = 5 * scale;
  Bytes pixels(static_cast<size_t>(*width) * *height, 0);
  for (int g = 0; g < 13; ++g) {
    for (int y = 0; y < *height; ++y)
      for (int x = 0; x < 3 * scale; ++x)
        if (kGlyphs[g][y / scale * 3 + x / scale] == '1') pixels[static_cast<size_t>(y) * *width + g * cell + x] = ink;
    pixels[static_cast<size_t>(g) * cell + cell - 1] = marker;
  }
  return pixels;
}

std::vector<uint8_t> PcxPicture(int width, int height, uint8_t colour) {
  if (!ValidSize(width, height)) return {};
  return Pcx(width, height, Bytes(static_cast<size_t>(width) * height, colour));
}

std::vector<uint8_t> PcxWithPalette(int width, int height, const std::vector<uint8_t>& pixels,
                                    const std::vector<uint8_t>& palette) {
  if (!ValidSize(width, height) || pixels.size() != static_cast<size_t>(width) * height || palette.size() != 768) {
    return {};
  }
  return Pcx(width, height, pixels, palette);
}

std::vector<uint8_t> BmpPicture(int width, int height, uint32_t rgb) {
  if (!ValidSize(width, height)) return {};
  return Bmp(width, height, Solid, rgb);
}

// ---------------------------------------------------------------------------------------------
// [SECTION] Sounds (WAV)
// ---------------------------------------------------------------------------------------------

std::vector<uint8_t> WavSilence(int rate, int samples) {
  if (rate < 1 || samples < 0 || samples > (1 << 24)) return {};
  return Wav16(rate, std::vector<int16_t>(static_cast<size_t>(samples), 0));  // 16-bit silence is 0
}

namespace {

// ---------------------------------------------------------------------------------------------
// [SECTION] Binary aspects (camera, 3D shape, background, ground map, track, mesh)
// ---------------------------------------------------------------------------------------------

constexpr size_t kSlotBytes = 64;

// The 64-byte image of an aspect slot: the kind's extension written backwards and a dot, then
// zero words.
Bytes SlotImage(const char (&tag)[5]) {
  Bytes out(tag, tag + 4);
  out.resize(kSlotBytes, 0);
  return out;
}

// Slot image, then the camera parameters at offsets counted from the end of the image. The
// viewport is the centre quarter of the 640 x 480 layout, the same rectangle as the default
// camera record; a lens factor of 480 gives a field of half the front distance.
Bytes CameraFile() {
  Bytes out = SlotImage("d30.");
  out.resize(kSlotBytes + 112, 0);
  const auto put = [&out](size_t offset, int32_t value) {
    Set32(&out, kSlotBytes + offset, static_cast<uint32_t>(value));
  };
  put(0, 160);   // left
  put(4, 120);   // top
  put(8, 320);   // width
  put(20, 240);  // height
  put(32, 479);  // right, inclusive
  put(36, 359);  // bottom, inclusive
  put(48, -480);
  return out;
}

// A shape with no faces: the slot image alone, which is also the header of a full shape file.
Bytes ShapeFile() { return SlotImage("d3a."); }

// Background colour slot: words 1 and 2 the size, word 3 the colour index (black).
Bytes BackgroundSlot() {
  Bytes out = SlotImage("d3g.");
  Set32(&out, 4, 8);
  Set32(&out, 8, 8);
  Set32(&out, 12, kBlack);
  return out;
}

// A ground map with no triangles: every bucket empty, so nothing counts as ground or volume.
// The grid width must not be 0 because queries divide by it; 128 m gives 1 m buckets. The
// stored source checksum 0 keeps the map from being rebuilt, as it has no mesh beside it.
Bytes EmptyGroundMap() {
  Bytes out = FromText("d3m.");
  Put32(&out, kSlotBytes);  // triangle array position; the bucket index starts at the same place
  Put32(&out, kSlotBytes);
  Put32(&out, 128000);
  Put32(&out, 0);
  out.resize(kSlotBytes + 128 * 128 * 4, 0);
  return out;
}

// A track is a series of 24-byte frames (position and rotation changes); one still frame is the
// smallest track that plays.
Bytes StillTrack() { return Bytes(24, 0); }


// A 1 m cube centred on the origin, z up, as a mesh file with one named triangle object. Faces
// wind counter-clockwise seen from outside, as modelling tools write them.
Bytes CubeMesh() {
  std::vector<float> xyz;
  for (int i = 0; i < 8; ++i) {
    xyz.push_back((i == 1 || i == 2 || i == 5 || i == 6) ? 0.5f : -0.5f);
    xyz.push_back((i == 2 || i == 3 || i == 6 || i == 7) ? 0.5f : -0.5f);
    xyz.push_back(i >= 4 ? 0.5f : -0.5f);
  }
  return Model3dsFile("cube", xyz, {0, 2, 1, 0, 3, 2, 4, 5, 6, 4, 6, 7, 0, 1, 5, 0, 5, 4,
                                    3, 7, 6, 3, 6, 2, 0, 4, 7, 0, 7, 3, 1, 2, 6, 1, 6, 5});
}

// ---------------------------------------------------------------------------------------------
// [SECTION] Text files (brains, visual, project, element)
// ---------------------------------------------------------------------------------------------

// Comment only: compiles to a plain return and declares nothing.
constexpr std::string_view kBrainText = "; Placeholder brain: the element does nothing.\r\n";

// One part: the cube, six-view texturing with the default picture, Gouraud, white.
constexpr std::string_view kVisualText =
    "1|./images/default_.bmp|./visuals/default_.3ds|1|3|0|0|0|0|0|0|25000|0|0|0|0|0|0|0|0|0|0|0|0|255|255|255|0|1|"
    "./visuals/default_.3ds|0\r\n";

// The record of a new camera. Its configuration (field 35) and header signature (field 40)
// describe the brain stored with it, which declares nothing: no parameters, signature 0.
constexpr std::string_view kCameraRecord[] = {
    "Camera", "./cameras/default_.03d", "./sounds/null_.wav", "-",  // name, aspect, sound, brain
    "0", "0", "0", "0", "0", "0",                                   // position, its ranges
    "0.000", "0", "0.000", "0", "0", "0",                           // rotation, its ranges
    "0.000", "0.000", "0.000", "0", "0", "0",                       // velocity, its ranges
    "0.000", "0.000", "0.000", "0", "0", "0",                       // spin, its ranges
    "0", "0", "1", "0", "1", "0",                                   // credits, range, id, radius, flags, reverse faces
    "0", "0",                                                       // configuration, type
    "160/120/479/359/0/20&40/7", "0/1",                             // viewport and camera values, frame data
    "4096/2/50/0", "0"};                                            // sound parameters, header signature
                                                                    // 
// A project file of the default camera: header, count, record, settings line (backdrop picture,
// one repetition, no shared globals) and the brain section. Saved elements use the same layout.
Bytes OneCameraList(std::string_view header) {
  std::string record;
  for (std::string_view field : kCameraRecord) {
    if (!record.empty()) record += '|';
    record += field;
  }
  std::string text = ";" + std::string(header) + "\r\n1\r\n" + record + "\r\n";
  text += "./bckgrnds/bkgr000_.bmp|1|\r\n@0\r\n";
  text += kBrainText;
  return FromText(text);
}


// ---------------------------------------------------------------------------------------------
// [SECTION] The folder table and the writer
// ---------------------------------------------------------------------------------------------

struct Placeholder {
  const char* path;  // relative to the root
  Bytes (*make)();
};

const Placeholder kPlaceholders[] = {
    {"cameras/default_.03d", CameraFile},
    {"3dshapes/default_.a3d", ShapeFile},
    {"3dsfiles/default_.3ds", CubeMesh},
    {"bckgrnds/default_.g3d", BackgroundSlot},
    {"bckgrnds/default_.pcx", [] { return PcxPicture(8, 8, kBlack); }},
    // The backdrop picture the project names, and the one a project without its own falls back to.
    {"bckgrnds/bkgr000_.bmp", [] { return BmpPicture(16, 16, 0x203050); }},
    {"brains/default_.brn", [] { return FromText(kBrainText); }},
    {"brains/null_.brn", [] { return Bytes(); }},
    {"sprites/default_.pcx", [] { return PcxPicture(16, 16, kYellow); }},
    {"frames/default_.pcx", [] { return PcxPicture(640, 480, kBlack); }},
    {"counters/default_.pcx", CounterDigits},
    {"images/default_.bmp", [] { return BmpPicture(8, 8, 0xC0C0C0); }},  // texture of new visual parts
    {"images/wait_.bmp", [] { return BmpPicture(8, 8, 0); }},
    {"images/anykey_.bmp", [] { return BmpPicture(8, 8, 0); }},
    {"images/black_.bmp", [] { return BmpPicture(640, 480, 0); }},
    {"images/resume_.bmp", [] { return BmpPicture(8, 8, 0); }},
    {"images/end_.bmp", [] { return BmpPicture(8, 8, 0); }},
    {"visuals/default_.v3d", [] { return FromText(kVisualText); }},
    {"visuals/default_.3ds", CubeMesh},  // the model new visual parts name
    {"sounds/default_.wav", [] { return WavSilence(22050, 2205); }},
    {"sounds/null_.wav", [] { return WavSilence(22050, 2205); }},
    {"grndmaps/default_.m3d", EmptyGroundMap},
    {"grndmaps/default_.pcx", [] { return PcxPicture(8, 8, kBlack); }},
    {"tracks/default_.i3d", StillTrack},
    {"elements/myele/default_.ele", [] { return OneCameraList("Default element: a camera"); }},
    {"projects/myprj/default.prj", [] { return OneCameraList("Default project: a single camera"); }},
    {"projects/myprj/default.col", CollisionFile},
    // Flat shapes need a square picture with a power-of-two side, or they fall back to this one.
    {"data/error.pcx", [] { return PcxChecker(16, kMagenta); }},
    {"data/error.bmp", [] { return Bmp(8, 8, Checker, 0xFF00FF); }},
    {"data/end_.bmp", [] { return BmpPicture(8, 8, 0); }},
    // The chain runner shows this one through unscrambling even in a game folder it was copied to.
    {"data/resume_.bmp", [] { return Scrambled(BmpPicture(8, 8, 0)); }},
};

const char* const kEmptyFolders[] = {"multilev", "data"};

bool MakeFolder(const std::string& path) {
  if (core::MakeFolders(path)) return true;
  std::fprintf(stderr, "mkdata: cannot create %s\n", path.c_str());
  return false;
}

}  // namespace

bool WritePlaceholders(const std::string& root) {
  for (const char* folder : kEmptyFolders) {
    if (!MakeFolder(root + folder)) return false;
  }
  for (const Placeholder& item : kPlaceholders) {
    const std::string path = root + item.path;
    if (!MakeFolder(path.substr(0, path.rfind('/')))) return false;
    if (!WriteBytes(path, item.make())) return false;
  }
  return true;
}

}  // namespace mkdata
