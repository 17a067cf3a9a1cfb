// Public header of the platform layer: the services the engine reaches the machine through
// (window and input, GL context, audio, network transport, video), each with a system back end
// and a null one; system fonts; the clock; the single-instance lock; the stop signals; key tables and input
// scripts. The only code that names SDL2, OpenGL or the other platform libraries lives behind
// this header.
//
// Order of calls: Start, then OpenWindow (optional: a run without a window still has clock,
// input script and message boxes), then per frame window->PumpEvents ... gl->BeginFrame ...
// gl->Present, CloseWindow, and Shutdown last (it also writes a pending screenshot).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/fonts.h"
#include "platform/gl_context.h"
#include "platform/input.h"
#include "platform/input_script.h"
#include "platform/keys.h"
#include "platform/model_import.h"
#include "platform/null.h"
#include "platform/options.h"
#include "platform/ports.h"
#include "platform/process.h"
#include "platform/single_instance.h"
#include "platform/stop_signals.h"
#include "platform/transport.h"
#include "platform/video.h"
#include "platform/window.h"

namespace platform {

// The platform of one process: its options, clock and one back end of each service, chosen by
// Start from the options. Lives from start-up to shut-down. The services are never null: before
// Start they are null back ends, which only log (so a box shown before start-up still reaches
// stderr); after Shutdown or a failed Start they stay, stopped, until the next Start.
class Platform {
 public:
  Platform();
  ~Platform();
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;

  // Makes the back ends the options ask for and starts the window service (which reads the input
  // script) and the clock. Without a display server a system run becomes headless. False with a
  // message in *error when the window service cannot start.
  bool Start(const Options& options, std::string* error);
  // Closes the window and stops every service. Safe when not started.
  void Shutdown();

  const Options& options() const { return options_; }
  Clock& clock() { return clock_; }
  bool IsHeadless() const { return options_.headless; }

  // Opens the device (when not open yet), its frame of the logical size and the window that shows
  // it, titled with the window name. False with a message when any of them cannot be made.
  bool OpenWindow(int logicalWidth, int logicalHeight, const std::string& title, std::string* error);
  // Closes the context (writing a pending screenshot) and then the window it lives on.
  void CloseWindow();

  // Declared in this order so that the context goes before the window it lives on.
  std::unique_ptr<Window> window;
  std::unique_ptr<GlContext> gl;
  std::unique_ptr<Audio> audio;
  std::unique_ptr<Transport> transport;
  std::unique_ptr<Video> video;

 private:
  void MakeServices(Backend backend);

  Options options_;
  Clock clock_;
  bool started_ = false;
};

// Writes RGB rows (top to bottom) as a PNG file. False when the file could not be written whole,
// with why in *reason when given.
bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
              std::string* reason = nullptr);

}  // namespace platform
