// The platform of a process: the choice of back ends from the options, start and shut-down, and
// the window with its frame. Calls the services' back ends.
#include "platform/platform.h"

#include <cstdlib>

#include "platform/openal_backend.h"
#include "platform/sdl_backend.h"

namespace platform {

Platform::Platform() { MakeServices(Backend::kNull); }

Platform::~Platform() { Shutdown(); }

void Platform::MakeServices(Backend backend) {
  // The context goes first: it lives on the window.
  gl.reset();
  window.reset();
  if (backend == Backend::kSystem) {
    auto sdl = std::make_unique<SdlWindow>(options_, &clock_);
    gl = std::make_unique<SdlGlContext>(options_, sdl.get());
    window = std::move(sdl);
  } else {
    window = std::make_unique<NullWindow>(options_, &clock_);
    gl = std::make_unique<NullGlContext>(options_);
  }
  // Sessions have no system back end yet.
  if (backend == Backend::kSystem) {
    audio = MakeOpenAlAudio(options_, &clock_);
    video = MakeSystemVideo();
  } else {
    audio = std::make_unique<NullAudio>();
    video = std::make_unique<NullVideo>();
  }
  transport = std::make_unique<NullTransport>();
}

bool Platform::Start(const Options& options, std::string* error) {
  Shutdown();
  options_ = options;
  // Without a display server the run is headless whatever was asked; the null back ends never
  // have a display.
  if (options_.backend == Backend::kNull ||
      (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr)) {
    options_.headless = true;
  }
  if (options_.virtualClock) clock_.StartVirtual();
  else clock_.StartReal();
  MakeServices(options_.backend);
  if (!window->Start(error)) return false;
  started_ = true;
  return true;
}

void Platform::Shutdown() {
  if (!started_) return;
  gl->Shutdown();
  window->Shutdown();
  started_ = false;
}

bool Platform::OpenWindow(int logicalWidth, int logicalHeight, const std::string& title, std::string* error) {
  return gl->OpenDevice(false, error) && gl->OpenFrame(logicalWidth, logicalHeight, error) &&
         window->Show(logicalWidth, logicalHeight, title, error);
}

void Platform::CloseWindow() {
  gl->Close();
  window->Close();
}

}  // namespace platform
