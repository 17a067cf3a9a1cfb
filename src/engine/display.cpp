// Display devices and modes.
#include "engine/display.h"

#include <algorithm>

namespace engine {
namespace {

constexpr DisplayModeInfo kModes[] = {
    {1, 640, 480, 16, 100},  {2, 640, 480, 32, 100},   {4, 800, 600, 16, 125},
    {8, 800, 600, 32, 125},  {16, 1024, 768, 16, 160}, {32, 1024, 768, 32, 160},
};

void AddMode(std::vector<ModeEntry>* modes, const ModeEntry& entry) {
  if (std::find(modes->begin(), modes->end(), entry) == modes->end()) modes->push_back(entry);
}

}  // namespace

const DisplayModeInfo* FindDisplayMode(int32_t code) {
  for (const DisplayModeInfo& mode : kModes) {
    if (mode.code == code) return &mode;
  }
  return nullptr;
}

const DisplayModeInfo& DisplayModeOf(int32_t code) {
  const DisplayModeInfo* mode = FindDisplayMode(code);
  return mode != nullptr ? *mode : kModes[0];
}

std::vector<ModeEntry> BuildModeList(const std::vector<platform::ReportedMode>& reported, int desktopWidth,
                                     int desktopHeight, bool scaled, bool allSix) {
  std::vector<ModeEntry> modes;
  for (const platform::ReportedMode& m : reported) {
    if (m.width > 1024 || m.height > 768) continue;
    AddMode(&modes, ModeEntry{m.width, m.height, m.bitsPerPixel, true});
  }
  if (scaled) {
    // The frame is scaled onto the desktop, so a logical size needs only room, and both depths
    // exist because the back surface is the engine's own.
    for (const DisplayModeInfo& mode : kModes) {
      if (allSix || (mode.width <= desktopWidth && mode.height <= desktopHeight)) {
        AddMode(&modes, ModeEntry{mode.width, mode.height, mode.bitsPerPixel, true});
      }
    }
  }
  std::stable_sort(modes.begin(), modes.end(), [](const ModeEntry& a, const ModeEntry& b) {
    if (a.bitsPerPixel != b.bitsPerPixel) return a.bitsPerPixel > b.bitsPerPixel;
    if (a.width != b.width) return a.width > b.width;
    return a.height > b.height;
  });
  if (modes.size() > kMaxModes) modes.resize(kMaxModes);
  return modes;
}

int32_t AvailableModeBits(const std::vector<ModeEntry>& modes) {
  int32_t bits = 0;
  for (const DisplayModeInfo& mode : kModes) {
    for (const ModeEntry& entry : modes) {
      if (entry.width == mode.width && entry.height == mode.height && entry.bitsPerPixel == mode.bitsPerPixel) {
        bits |= mode.code;
      }
    }
  }
  return bits;
}

int32_t ChooseDisplayMode(int32_t wanted, int32_t available) {
  // Downward from the wanted code; the search ends at 640 x 480 x 16 when nothing is available,
  // where shifting further would never stop.
  int32_t code = wanted;
  while (code > 1 && (code & available) == 0) code >>= 1;
  return code >= 1 ? code : 1;
}

uint32_t DepthFlag(int bitsPerPixel) {
  switch (bitsPerPixel) {
    case 1: return 0x4000;
    case 2: return 0x2000;
    case 4: return 0x1000;
    case 8: return 0x800;
    case 16: return 0x400;
    case 24: return 0x200;
    case 32: return 0x100;
    default: return 0;
  }
}

bool IsSoftwareRenderer(const std::string& renderer) {
  return renderer.find("llvmpipe") != std::string::npos || renderer.find("softpipe") != std::string::npos ||
         renderer.find("Software Rasterizer") != std::string::npos || renderer.find("swrast") != std::string::npos;
}

Driver DriverFromRenderer(const std::string& renderer) {
  Driver driver;
  driver.name = renderer;
  driver.hardware = !IsSoftwareRenderer(renderer);
  driver.description = driver.hardware ? "OpenGL hardware device" : "OpenGL software emulation";
  driver.renderDepths = DepthFlag(16) | DepthFlag(32);
  return driver;
}

int ChooseDriver(const std::vector<Driver>& drivers, int bitsPerPixel, bool hardwareSelected) {
  const uint32_t flag = DepthFlag(bitsPerPixel);
  int chosen = -1;
  for (int i = 0; i < static_cast<int>(drivers.size()); ++i) {
    const Driver& d = drivers[static_cast<size_t>(i)];
    if ((d.renderDepths & flag) == 0) continue;
    if (chosen < 0) {
      chosen = i;
      continue;
    }
    const Driver& current = drivers[static_cast<size_t>(chosen)];
    const bool prefersLater = d.rgbModel == hardwareSelected && current.rgbModel != hardwareSelected;
    if ((d.hardware && !current.hardware) || (d.hardware == current.hardware && prefersLater)) chosen = i;
  }
  return chosen;
}

int MaskShift(uint32_t mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while ((mask & 1u) == 0) {
    mask >>= 1;
    ++shift;
  }
  return shift;
}

void AnalysePixelFormat(PixelFormat* format) {
  format->redShift = 11;
  format->greenShift = 5;
  format->blueShift = 0;
  if (format->bitsPerPixel == 16) {
    format->redShift = MaskShift(format->redMask);
    format->greenShift = MaskShift(format->greenMask);
    format->blueShift = MaskShift(format->blueMask);
  }
}

void BuildConversionTable(const uint8_t* palette, const PixelFormat& format, uint16_t* table) {
  const bool fiveFiveFive = format.redShift == 10;
  for (int i = 0; i < 256; ++i) {
    const uint32_t r = palette[i * 3] / 8u;
    const uint32_t g = palette[i * 3 + 1] / (fiveFiveFive ? 8u : 4u);
    const uint32_t b = palette[i * 3 + 2] / 8u;
    table[i] = static_cast<uint16_t>(r << format.redShift | g << format.greenShift | b << format.blueShift);
  }
}

bool CreateDisplay(platform::Platform* platform, const DisplayRequest& request, Display* display, std::string* error) {
  *display = Display{};
  if (!platform->gl->OpenDevice(request.software, error)) return false;

  // Mode list and the downward search.
  const platform::DisplayInfo info = platform->window->Display();
  const bool allSix = platform->options().windowed || platform->IsHeadless();
  display->modes = BuildModeList(info.modes, info.desktopWidth, info.desktopHeight, true, allSix);
  display->availableBits = AvailableModeBits(display->modes) & request.legalDisplayModes;
  display->displayMode = ChooseDisplayMode(request.displayMode, display->availableBits);
  const DisplayModeInfo& mode = DisplayModeOf(display->displayMode);
  display->chosen = ModeEntry{mode.width, mode.height, mode.bitsPerPixel, true};
  display->desktop = ModeEntry{info.desktopWidth, info.desktopHeight, 32, true};
  for (size_t i = 0; i < display->modes.size(); ++i) {
    if (display->modes[i] == display->chosen) display->chosenIndex = static_cast<int>(i);
  }

  // The GL renderer is the device's one driver.
  display->drivers.push_back(DriverFromRenderer(platform->gl->RendererName()));
  display->driver = ChooseDriver(display->drivers, mode.bitsPerPixel, !request.software);
  if (display->driver < 0) {
    *error = "no rendering driver can draw in the display mode";
    RestoreDisplay(platform, display);
    return false;
  }

  if (!platform->OpenWindow(std::max(mode.width, 50), std::max(mode.height, 50), request.windowName, error)) {
    RestoreDisplay(platform, display);
    return false;
  }
  display->width = mode.width;
  display->height = mode.height;
  display->format.bitsPerPixel = mode.bitsPerPixel;
  display->format.pitch = mode.width * mode.bitsPerPixel / 8;
  if (mode.bitsPerPixel == 32) {
    display->format.redMask = 0xFF0000;
    display->format.greenMask = 0x00FF00;
    display->format.blueMask = 0x0000FF;
  }
  display->backSurface.assign(static_cast<size_t>(display->format.pitch) * static_cast<size_t>(mode.height), 0);
  display->depthBits = display->drivers[static_cast<size_t>(display->driver)].depthBuffer ? 24 : 0;
  display->created = true;
  return true;
}

void AnalyseDrawingSurface(Display* display, const uint8_t* palette) {
  AnalysePixelFormat(&display->format);
  uint8_t ramp[768];
  if (palette == nullptr) {
    for (int i = 0; i < 256; ++i) ramp[i * 3] = ramp[i * 3 + 1] = ramp[i * 3 + 2] = static_cast<uint8_t>(i);
    palette = ramp;
  }
  BuildConversionTable(palette, display->format, display->conversion);
}

void RestoreDisplay(platform::Platform* platform, Display* display) {
  platform->CloseWindow();
  display->backSurface.clear();
  display->created = false;
}

}  // namespace engine
