// Options of the platform layer, chosen once per run: which back ends, headless or not, the
// clock, screenshots and the input script.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

enum class Backend : uint8_t {
  kSystem,  // SDL window and input, an OpenGL context (on SDL's offscreen driver when headless)
  kNull,    // no SDL and no GL: input only from the script, frames only counted; always headless
};

struct Options {
  Backend backend = Backend::kSystem;
  bool headless = false;           // SDL's offscreen video driver: GL on Mesa, no display
  bool windowed = false;           // a window of the logical size instead of full-screen desktop
  bool virtualClock = false;       // time advances only through Clock::Advance
  bool softwareRendering = false;  // force Mesa's software rasteriser
  std::string screenshotPath;      // PNG of the last presented frame (or of frame screenshotAt)
  int screenshotAt = 0;            // 1-based number of the presented frame to capture; 0 = last
  std::string inputScriptPath;     // replay input from this script
  std::string audioOutPath;        // the mixed sound output goes to this WAV file, not to a device
};

}  // namespace platform
