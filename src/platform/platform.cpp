// Platform start and shut-down, display facts.
#include <cstdio>
#include <cstdlib>

#include "platform/platform_internal.h"

namespace platform {

Platform::Platform() : pads_(std::make_unique<Pads>()) {}

Platform::~Platform() { Shutdown(); }

bool Platform::Start(const Options& options, std::string* error) {
  options_ = options;
  // Without a display server the run is headless whatever was asked.
  if (!options_.headless && std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
    options_.headless = true;
  }
  if (options_.headless) SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
  // The engine writes only inside its working folder; Mesa would otherwise keep a shader cache in
  // the user's home.
  setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
  // Video and controllers start later, when the start-up reaches them.
  if (SDL_Init(SDL_INIT_EVENTS | SDL_INIT_TIMER) != 0) {
    *error = std::string("cannot start SDL: ") + SDL_GetError();
    return false;
  }
  started_ = true;
  if (options_.virtualClock) clock_.StartVirtual();
  else clock_.StartReal();

  if (!options_.inputScriptPath.empty()) {
    std::string problem;
    if (!script_.Load(options_.inputScriptPath, &problem)) {
      std::fprintf(stderr, "%s\n", problem.c_str());
      if (script_.Events().empty()) {
        *error = problem;
        Shutdown();
        return false;
      }
    }
  }
  return true;
}

void Platform::Shutdown() {
  if (!started_) return;
  if (!options_.screenshotPath.empty() && !screenshotTaken_ && options_.screenshotAt > 0) {
    std::fprintf(stderr, "screenshot: frame %d was never presented; %s not written\n", options_.screenshotAt,
                 options_.screenshotPath.c_str());
  }
  CloseWindow();
  for (int i = 0; i < kPadCount; ++i) {
    if (pads_->joystick[i] != nullptr) SDL_JoystickClose(pads_->joystick[i]);
    pads_->joystick[i] = nullptr;
  }
  SDL_Quit();
  started_ = false;
}

bool Platform::VideoStarted() {
  if (!started_) return false;
  if (SDL_WasInit(SDL_INIT_VIDEO) != 0) return true;
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
  std::fprintf(stderr, "platform: no display: %s\n", SDL_GetError());
  return false;
}

bool Platform::OpenControllers() {
  // Controllers are optional: a machine without the joystick subsystem simply has none. The
  // devices themselves arrive as plug-in events in the next pump pass.
  if (!started_) return false;
  pads_->available = SDL_WasInit(SDL_INIT_JOYSTICK) != 0 || SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
  return pads_->available;
}

DisplayInfo Platform::Display() {
  DisplayInfo info;
  if (!VideoStarted()) return info;
  SDL_DisplayMode mode{};
  if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
    info.desktopWidth = mode.w;
    info.desktopHeight = mode.h;
  }
  const int count = SDL_GetNumDisplayModes(0);
  for (int i = 0; i < count; ++i) {
    if (SDL_GetDisplayMode(0, i, &mode) != 0) continue;
    const ReportedMode reported{mode.w, mode.h, static_cast<int>(SDL_BITSPERPIXEL(mode.format))};
    bool seen = false;
    for (const ReportedMode& m : info.modes) seen = seen || m == reported;
    if (!seen) info.modes.push_back(reported);
  }
  return info;
}

}  // namespace platform
