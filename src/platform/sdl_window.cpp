// The SDL window service: SDL start and shut-down, display facts, the window and its letterbox,
// controllers, message boxes and notices. Calls SDL2 and the shared input feed.
#include <cstdio>
#include <cstdlib>

#include "platform/sdl_backend.h"

namespace platform {

SDL_Rect FitInside(int frameWidth, int frameHeight, int targetWidth, int targetHeight) {
  SDL_Rect r{0, 0, targetWidth, targetHeight};
  if (frameWidth <= 0 || frameHeight <= 0 || targetWidth <= 0 || targetHeight <= 0) return r;
  if (int64_t{targetWidth} * frameHeight > int64_t{targetHeight} * frameWidth) {
    r.w = static_cast<int>(int64_t{targetHeight} * frameWidth / frameHeight);
  } else {
    r.h = static_cast<int>(int64_t{targetWidth} * frameHeight / frameWidth);
  }
  r.x = (targetWidth - r.w) / 2;
  r.y = (targetHeight - r.h) / 2;
  return r;
}

SdlWindow::SdlWindow(const Options& options, Clock* clock) : options_(options), feed_(clock) {}

SdlWindow::~SdlWindow() { Shutdown(); }

bool SdlWindow::Start(std::string* error) {
  if (options_.headless) SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
  // The engine writes only inside its working folder; Mesa would otherwise keep a shader cache in
  // the user's home.
  setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
  // SIGINT and SIGTERM belong to the engine's stop signals, not to SDL's quit event.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // Video and controllers start later, when the start-up reaches them.
  if (SDL_Init(SDL_INIT_EVENTS | SDL_INIT_TIMER) != 0) {
    *error = std::string("cannot start SDL: ") + SDL_GetError();
    return false;
  }
  started_ = true;
  if (!options_.inputScriptPath.empty() && !feed_.LoadScript(options_.inputScriptPath, error)) {
    Shutdown();
    return false;
  }
  return true;
}

void SdlWindow::Shutdown() {
  if (!started_) return;
  Close();
  for (int i = 0; i < kPadCount; ++i) pads_.Close(i);
  SDL_Quit();
  started_ = false;
}

bool SdlWindow::VideoStarted() {
  if (!started_) return false;
  if (SDL_WasInit(SDL_INIT_VIDEO) != 0) return true;
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
  std::fprintf(stderr, "platform: no display: %s\n", SDL_GetError());
  return false;
}

bool SdlWindow::OpenControllers() {
  // Controllers are optional: a machine without the joystick subsystem simply has none. The
  // devices themselves arrive as plug-in events in the next pump pass.
  if (!started_) return false;
  pads_.available = SDL_WasInit(SDL_INIT_JOYSTICK) != 0 || SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
  // Without the game-controller side every device is read as a plain joystick.
  if (pads_.available && SDL_WasInit(SDL_INIT_GAMECONTROLLER) == 0 && SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
    std::fprintf(stderr, "platform: controllers are read as plain joysticks: %s\n", SDL_GetError());
  }
  return pads_.available;
}

DisplayInfo SdlWindow::Display() {
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

SDL_Window* SdlWindow::MakeNative(std::string* error) {
  if (native_ != nullptr) return native_;
  if (!started_) {
    *error = "the platform was not started";
    return nullptr;
  }
  if (!VideoStarted()) {
    *error = "no display is available";
    return nullptr;
  }
  native_ = SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640, 480,
                             SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (native_ == nullptr) *error = std::string("cannot create the window: ") + SDL_GetError();
  return native_;
}

bool SdlWindow::Show(int logicalWidth, int logicalHeight, const std::string& title, std::string* error) {
  if (logicalWidth <= 0 || logicalHeight <= 0) {
    *error = "the window needs a frame of at least one pixel";
    return false;
  }
  if (MakeNative(error) == nullptr) return false;
  width_ = logicalWidth;
  height_ = logicalHeight;
  SDL_SetWindowTitle(native_, title.c_str());
  SDL_SetWindowSize(native_, logicalWidth, logicalHeight);
  SDL_SetWindowPosition(native_, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
  if (!options_.windowed && !options_.headless) SDL_SetWindowFullscreen(native_, SDL_WINDOW_FULLSCREEN_DESKTOP);
  SDL_ShowWindow(native_);
  return true;
}

void SdlWindow::Close() {
  if (native_ != nullptr) SDL_DestroyWindow(native_);
  native_ = nullptr;
  width_ = height_ = 0;
}

SDL_Rect SdlWindow::Letterbox() const {
  int w = 0, h = 0;
  SDL_GetWindowSize(native_, &w, &h);
  return FitInside(width_, height_, w, h);
}

int SdlWindow::ShowMessageBox(const MessageBoxRequest& request) {
  const int count = static_cast<int>(request.buttons.size());
  const int fallback = DefaultButton(request);
  int chosen = -1;
  if (feed_.ScriptedAnswer(request, &chosen)) return chosen;
  // Without a display there is nothing to show a box on. SDL would still try: it forks a child to
  // open one, and a child forked from a process with threads can hang for ever on a lock another
  // thread held at the fork. The box goes to stderr instead, as in a headless run.
  if (options_.headless || !started_ || count == 0 || SDL_WasInit(SDL_INIT_VIDEO) == 0) {
    LogMessageBox(request, fallback);
    return fallback;
  }
  std::vector<SDL_MessageBoxButtonData> buttons(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    buttons[static_cast<size_t>(i)].buttonid = i;
    buttons[static_cast<size_t>(i)].text = request.buttons[static_cast<size_t>(i)].c_str();
    buttons[static_cast<size_t>(i)].flags = i == fallback ? SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT : 0;
  }
  SDL_MessageBoxData data{};
  data.flags = SDL_MESSAGEBOX_INFORMATION;
  data.window = native_;
  data.title = request.caption.c_str();
  data.message = request.text.c_str();
  data.numbuttons = count;
  data.buttons = buttons.data();
  if (SDL_ShowMessageBox(&data, &chosen) != 0 || chosen < 0 || chosen >= count) {
    std::fprintf(stderr, "[message box] %s: %s\n", request.caption.c_str(), request.text.c_str());
    return fallback;
  }
  return chosen;
}

bool SdlWindow::Minimise() {
  if (options_.headless || native_ == nullptr) return false;
  SDL_MinimizeWindow(native_);
  return true;
}

void SdlWindow::ShowNotice(const std::string& text) {
  if (options_.headless) LogNotice(text);
}

}  // namespace platform
