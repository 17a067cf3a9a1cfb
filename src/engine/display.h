// Display devices and modes: the six display modes, the mode list and its selection, the choice
// of rendering driver, the CPU back surface and its pixel format. Pure decisions here; the
// platform provides the facts (reported modes, renderer) and the GL frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace engine {

struct DisplayModeInfo {
  int32_t code;
  int width;
  int height;
  int bitsPerPixel;
  int scale;  // percent, used by the scene to scale 640 x 480 layouts
};
inline constexpr int32_t kSixteenBitModes = 0x15;
// The table entry of a one-bit code; nullptr for anything else.
const DisplayModeInfo* FindDisplayMode(int32_t code);
// The table entry of a code, or of code 1 when the code names no single mode.
const DisplayModeInfo& DisplayModeOf(int32_t code);

struct ModeEntry {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
  bool usable = true;  // the chosen driver can render in it
  bool operator==(const ModeEntry&) const = default;
};
inline constexpr size_t kMaxModes = 50;

// The display-mode list: the reported modes no larger than 1024 x 768, at most 50, sorted by bits
// per pixel, then width, then height, each descending. With `scaled` (the frame is letterboxed
// onto the desktop, or the run is windowed or headless) the three logical sizes at 16 and 32 bits
// are added when the desktop is at least that large (`allSix` adds them regardless).
std::vector<ModeEntry> BuildModeList(const std::vector<platform::ReportedMode>& reported, int desktopWidth,
                                     int desktopHeight, bool scaled, bool allSix);
// The codes of the six table modes present in the list.
int32_t AvailableModeBits(const std::vector<ModeEntry>& modes);
// The wanted code if available, else the next lower available code; 1 when none is.
int32_t ChooseDisplayMode(int32_t wanted, int32_t available);

// Render-depth flag of a bit depth: 1 -> 0x4000, 2 -> 0x2000, 4 -> 0x1000, 8 -> 0x800,
// 16 -> 0x400, 24 -> 0x200, 32 -> 0x100, anything else 0.
uint32_t DepthFlag(int bitsPerPixel);

struct Driver {
  std::string name;
  std::string description;
  bool hardware = false;
  uint32_t renderDepths = 0;  // DepthFlag bits
  bool textures = true;
  bool depthBuffer = true;
  bool desktopDepth = true;
  bool rgbModel = true;  // colour model: RGB, else mono
};
// The GL renderer as the one driver of the device: llvmpipe, softpipe and other software
// rasterisers are not hardware.
Driver DriverFromRenderer(const std::string& renderer);
bool IsSoftwareRenderer(const std::string& renderer);
// Index of the driver to use for a mode of this depth, or -1. A later driver replaces the choice
// when it is hardware and the choice is not, or when both are alike and only the later one uses
// the preferred colour model (RGB with a hardware device selected, mono otherwise).
int ChooseDriver(const std::vector<Driver>& drivers, int bitsPerPixel, bool hardwareSelected);

// What the 2D drawing code needs of the back surface.
struct PixelFormat {
  int bitsPerPixel = 16;
  int pitch = 0;  // bytes per row
  int redShift = 11;
  int greenShift = 5;
  int blueShift = 0;
  uint32_t redMask = 0xF800, greenMask = 0x07E0, blueMask = 0x001F;  // 16-bit modes
};
// A surface the 2D code draws into: `height` rows of `width` pixels, format.pitch bytes apart,
// 16 bits a pixel (5-6-5, or 5-5-5 when red sits at bit 10) or 32 (0x00RRGGBB). Not owned.
struct Surface {
  uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  PixelFormat format;
  // Whether it can be drawn into: pixels, a size, 16 or 32 bits and a pitch that holds a row.
  bool Usable() const {
    const int bytes = format.bitsPerPixel == 16 ? 2 : format.bitsPerPixel == 32 ? 4 : 0;
    return pixels != nullptr && bytes != 0 && width > 0 && height > 0 &&
           static_cast<int64_t>(format.pitch) >= static_cast<int64_t>(width) * bytes;
  }
  uint8_t* Row(int y) const { return pixels + static_cast<size_t>(y) * static_cast<size_t>(format.pitch); }
};

// Zero bits below the lowest set bit of the mask.
int MaskShift(uint32_t mask);
// Shifts from the masks in the 16-bit modes; 11, 5, 0 kept in the 32-bit modes.
void AnalysePixelFormat(PixelFormat* format);
// 256 16-bit pixels from a 768-byte palette: 5-5-5 (red shift 10) divides every component by 8;
// 5-6-5 divides green by 4 and red and blue by 8.
void BuildConversionTable(const uint8_t* palette, const PixelFormat& format, uint16_t* table);

// The screen of a play or tool: the chosen mode, the CPU back surface the 2D code draws into, the
// depth buffer of the GL frame and the conversion table. Lives from start-up to shut-down.
struct Display {
  std::vector<ModeEntry> modes;  // the list, then the chosen mode and the desktop mode
  ModeEntry chosen;
  ModeEntry desktop;
  int chosenIndex = -1;
  int32_t availableBits = 0;
  int32_t displayMode = 1;
  std::vector<Driver> drivers;
  int driver = -1;
  int width = 640;
  int height = 480;
  std::vector<uint8_t> backSurface;
  PixelFormat format;
  int depthBits = 0;
  uint16_t conversion[256] = {};
  bool created = false;

  // The back surface as a drawing surface (unusable before it is made).
  Surface Back() { return Surface{backSurface.empty() ? nullptr : backSurface.data(), width, height, format}; }
};

struct DisplayRequest {
  int32_t displayMode = 1;
  int32_t legalDisplayModes = 63;
  bool software = false;  // RenderingDevice 0
  std::string windowName;
};

// Runs the creation sequence: mode list, available bits, downward mode search (the chosen code is
// stored in display->displayMode for the caller to write back), driver choice, window and frame,
// back surface and depth buffer. On failure everything made is released and false is returned
// with the reason.
bool CreateDisplay(platform::Platform* platform, const DisplayRequest& request, Display* display, std::string* error);
// Reads the pitch and pixel format of the back surface and builds the conversion table from the
// palette (768 bytes; black and white ends of a grey ramp when null).
void AnalyseDrawingSurface(Display* display, const uint8_t* palette);
// Releases the window and surfaces; the desktop keeps its own mode throughout.
void RestoreDisplay(platform::Platform* platform, Display* display);

}  // namespace engine
