// The data generator: lookup tables, backdrop meshes, editor fonts, every resource folder's placeholders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mkdata {

// sinusbig.bin: 3600 little-endian 32-bit entries, entry i = round(sin(i/8 degree) * 32768).
std::vector<uint8_t> FineSineTable();
// sinus.bin: 450 rows of 256 signed bytes, byte k of row r = round((k - 128) * sin(r degrees)).
std::vector<uint8_t> CoarseSineTable();
// atan.bin: 720 ascending 32-bit entries, entry i = round(tan(i/8 degree) * 1024).
std::vector<uint8_t> ArctangentTable();
// random.bin: 2000 bytes of noise from a fixed seed, the same on every build.
std::vector<uint8_t> RandomTable();

// Writes the four tables into `folder` (ending in '/'). False (with a message on stderr) on a
// write failure.
bool WriteTables(const std::string& folder);

// Writes the ring game into `root` (a finished game's folder): its sub-project level001 and the
// assets it names. False (with a message on stderr) on a write failure.
bool WriteRingGame(const std::string& root);

// Writes the bundled game's generated assets (meshes, textures, skies, screen pictures, panel,
// counter digits, sounds and the end picture data/end_.bmp) into the working folder `root`.
// False (with a message on stderr) on a write failure.
bool WriteDemoAssets(const std::string& root);

// Creates every resource folder under `root` with its placeholder files, each minimal but valid
// for its kind. False (with a message on stderr) on a write failure.
bool WritePlaceholders(const std::string& root);

// The backdrop meshes, "hood" + type + half + ".x": types 0 cylinder (with floor and ceiling),
// 1 dome (upper hemisphere on a ring reaching 0.25 below the floor line), 2 sphere, 3 cylinder
// under a cone, 4 box. Half "a" is the part with x >= 0, "b" the part with x <= 0. Radius 1, y from
// -1 to 1 (the dome's ring from -0.25), 32 segments around; every face is front seen from the
// centre, with normals pointing inwards, u once around from +z (a half each), v from the top (y = 1).
inline constexpr int kHoodTypes = 5;
std::string HoodFileName(int type, bool firstHalf);
// The text .x file of a hood half; empty for an unknown type.
std::string HoodText(int type, bool firstHalf);
// Writes the ten hood files into `folder` (ending in '/'). False (with a message on stderr) on a
// write failure.
bool WriteHoods(const std::string& folder);

// The editor's bitmap fonts, drawn from the built-in 8 x 8 glyphs (printable ASCII), 8 rows high.
// font8.fnt: width mode 255, every code 8 pixels wide, codes without a glyph blank; line gap 2,
// no letter spacing, space 8 pixels. font.fnt: width mode 0, each glyph trimmed to the columns it
// uses, codes without a glyph 0 pixels wide; line gap 1, letter spacing 2, space 4 pixels.
std::vector<uint8_t> FixedFontFile();
std::vector<uint8_t> ProportionalFontFile();
// Writes font.fnt and font8.fnt into `folder` (ending in '/'). False (with a message on stderr) on
// a write failure.
bool WriteEditorFonts(const std::string& folder);

// The skin pictures of the editor panels, laid out as the widgets read them, in canvas colours
// with the canvas palette: panels.pcx for the tools, panels2.pcx for a finished game.
std::vector<uint8_t> ToolSkinPicture();
std::vector<uint8_t> GameSkinPicture();
// Writes panels.pcx and panels2.pcx into `folder` (ending in '/'); in a finished game (`finished`)
// panels.pcx is the game skin too. False (with a message on stderr) on a write failure.
bool WriteSkins(const std::string& folder, bool finished);

// Byte builders of the placeholder pictures and sounds. Sizes run from 1 to 4096 (samples from
// 0 to 2^24); anything else gives an empty vector. The output depends on the arguments only.
// 8-bit run-length PCX of one colour index, with the placeholders' 256-colour palette.
std::vector<uint8_t> PcxPicture(int width, int height, uint8_t colour);
// 8-bit run-length PCX of the given pixels (width x height, top row first) and 768-byte palette;
// empty when the sizes do not match.
std::vector<uint8_t> PcxWithPalette(int width, int height, const std::vector<uint8_t>& pixels,
                                    const std::vector<uint8_t>& palette);
// The pixels of a counter's digit picture: 13 glyphs (0-9, plus, minus, point) from 3 x 5
// patterns drawn `scale` times as large in colour `ink` on 0, each followed by `blankColumns` blank
// columns and the column whose top pixel (`marker`) ends the glyph.
std::vector<uint8_t> CounterDigitPixels(int scale, int blankColumns, uint8_t ink, uint8_t marker, int* width,
                                        int* height);
// 24-bit uncompressed bottom-up BMP of one colour, 0xRRGGBB.
std::vector<uint8_t> BmpPicture(int width, int height, uint32_t rgb);
// 16-bit mono PCM WAV of `samples` silent samples at `rate` Hz.
std::vector<uint8_t> WavSilence(int rate, int samples);

}  // namespace mkdata
