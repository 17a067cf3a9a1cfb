// Cut-scenes of a finished game: a video played once onto the back surface, paced by the engine
// clock, ended by input; counted without a window when headless. Calls the platform's video
// service and clock, and the boxes' frame (ShowBackSurface) and the input pump.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "app/app.h"

namespace app {
namespace {

// Input is read at least this often while a frame is on screen, so that a slow video still ends
// promptly: about 1/60 s.
constexpr uint32_t kInputSlice = platform::Clock::kUnitsPerSecond / 60;

std::string OwnName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

uint32_t SurfacePixel(const engine::PixelFormat& format, uint32_t r, uint32_t g, uint32_t b) {
  if (format.bitsPerPixel == 32) return r << 16 | g << 8 | b;
  const auto channel = [](uint32_t value, uint32_t mask, int shift) {
    const uint32_t bits = mask >> shift;
    return ((value * bits + 127) / 255) << shift & mask;
  };
  return channel(r, format.redMask, format.redShift) | channel(g, format.greenMask, format.greenShift) |
         channel(b, format.blueMask, format.blueShift);
}

void ClearSurface(const engine::Surface& surface) {
  const size_t bytes = static_cast<size_t>(surface.width) * (surface.format.bitsPerPixel / 8);
  for (int y = 0; y < surface.height; ++y) std::fill_n(surface.Row(y), bytes, 0);
}

// The frame (width x height RGB rows) scaled to `size` by nearest pixel and centred on the
// surface. Only the part on the surface is computed: a size larger than the screen is cut at its
// edges, never allocated.
void DrawFrame(const engine::Surface& surface, const std::vector<uint8_t>& rgb, int width, int height,
               platform::VideoSize size) {
  if (!surface.Usable() || width < 1 || height < 1 || size.width < 1 || size.height < 1 ||
      rgb.size() < static_cast<size_t>(width) * static_cast<size_t>(height) * 3) {
    return;
  }
  const int64_t left = (static_cast<int64_t>(surface.width) - size.width) / 2;
  const int64_t top = (static_cast<int64_t>(surface.height) - size.height) / 2;
  const int x0 = static_cast<int>(std::max<int64_t>(left, 0));
  const int x1 = static_cast<int>(std::min<int64_t>(left + size.width, surface.width));
  const int y0 = static_cast<int>(std::max<int64_t>(top, 0));
  const int y1 = static_cast<int>(std::min<int64_t>(top + size.height, surface.height));
  const bool wide = surface.format.bitsPerPixel == 32;
  for (int y = y0; y < y1; ++y) {
    const int64_t sourceY = (y - top) * height / size.height;
    const uint8_t* sourceRow = rgb.data() + static_cast<size_t>(sourceY) * static_cast<size_t>(width) * 3;
    uint8_t* row = surface.Row(y);
    for (int x = x0; x < x1; ++x) {
      const uint8_t* p = sourceRow + static_cast<size_t>((x - left) * width / size.width) * 3;
      const uint32_t pixel = SurfacePixel(surface.format, p[0], p[1], p[2]);
      if (wide) reinterpret_cast<uint32_t*>(row)[x] = pixel;
      else reinterpret_cast<uint16_t*>(row)[x] = static_cast<uint16_t>(pixel);
    }
  }
}

// Input has ended the cut-scene: a button pressed after every button was up at least once.
struct InputWatch {
  bool released = false;
  bool Ended(Engine& engine) {
    PumpInput(engine);
    if (platform::StopSignal() != 0) return true;
    if (!AnyInputHeld(engine)) {
      released = true;
      return false;
    }
    return released;
  }
};

}  // namespace

bool PlayCutScene(Engine& engine, const std::string& path) {
  platform::Video& video = *engine.platform.video;
  std::string error;
  if (!video.Open(path, &error)) {
    std::fprintf(stderr, "main: the cut-scene cannot be played: %s\n", error.c_str());
    return false;
  }
  const platform::VideoSize size = platform::VideoSizeFromName(path, engine.display.width, engine.display.height);
  std::vector<uint8_t> rgb;
  int64_t frames = 0;

  if (engine.platform.IsHeadless()) {
    while (platform::StopSignal() == 0 && video.DecodeFrame(&rgb)) ++frames;
    std::fprintf(stderr, "[video] %s %dx%d %" PRId64 " frames\n", OwnName(path).c_str(), size.width, size.height,
                 frames);
    video.Close();
    return true;
  }

  // The video sits on a black screen; each frame is shown once it is decoded, and stays until the
  // next one is due.
  platform::Clock& clock = engine.platform.clock();
  const double rate = video.FrameRate();
  const engine::Surface back = engine.display.Back();
  if (back.Usable()) ClearSurface(back);
  InputWatch input;
  bool ended = input.Ended(engine);
  const uint32_t start = clock.Now();
  while (!ended && video.DecodeFrame(&rgb)) {
    DrawFrame(back, rgb, video.Width(), video.Height(), size);
    ShowBackSurface(engine);
    ++frames;
    const uint32_t due = start + platform::VideoFrameTime(frames, rate);
    do {
      ended = input.Ended(engine);
      const uint32_t now = clock.Now();
      if (ended || static_cast<int32_t>(due - now) <= 0) break;
      clock.WaitUntil(static_cast<int32_t>(due - now) > static_cast<int32_t>(kInputSlice) ? now + kInputSlice : due);
    } while (true);
  }
  video.Close();
  return true;
}

}  // namespace app
