// Public header of the platform layer: window and GL context, frame presentation and
// screenshots, clock, input (SDL or an input script), controllers and message boxes. The only
// code that names SDL2, OpenGL or OpenAL lives behind this header.
//
// Order of calls: Start, then OpenWindow (optional: a run without a window still has clock,
// input script and message boxes), then per frame PumpEvents ... BeginFrame ... Present, and
// Shutdown last (it also writes a pending screenshot).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/input.h"
#include "platform/input_script.h"
#include "platform/keys.h"

namespace platform {

struct Options {
  bool headless = false;         // SDL's offscreen video driver: GL on Mesa, no display
  bool windowed = false;         // a window of the logical size instead of full-screen desktop
  bool virtualClock = false;     // time advances only through Clock::Advance
  bool softwareRendering = false;  // force Mesa's software rasteriser
  std::string screenshotPath;    // PNG of the last presented frame (or of frame screenshotAt)
  int screenshotAt = 0;          // 1-based number of the presented frame to capture; 0 = last
  std::string inputScriptPath;   // replay input from this script
};

// Time in 1/4500 s units. The real clock divides the performance counter by (frequency / 4500);
// the virtual clock starts at 0 and moves only when told.
class Clock {
 public:
  static constexpr uint32_t kUnitsPerSecond = 4500;

  void StartReal();
  void StartVirtual();
  bool IsVirtual() const { return virtual_; }

  uint32_t Now() const;
  void Advance(uint32_t units);  // virtual clock only
  // Lets `units` pass: the virtual clock moves on, the real one is slept through.
  void Stall(uint32_t units);
  // Microseconds by which the real time is past `time` (negative before it); 0 on the virtual
  // clock. Finer than the 1/4500 s unit, for measuring how late a wait returned.
  int64_t MicrosecondsPast(uint32_t time) const;
  // Returns when Now() has reached `deadline` (compared modulo 2^32). Real clock: sleeps until
  // shortly before it and spins the rest; virtual clock: moves the time there at once.
  void WaitUntil(uint32_t deadline);

 private:
  bool virtual_ = false;
  uint64_t divisor_ = 1;
  uint32_t virtualNow_ = 0;
};

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
};

// Display facts the display-device code builds its mode list from.
struct ReportedMode {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
  bool operator==(const ReportedMode&) const = default;
};
struct DisplayInfo {
  int desktopWidth = 0;
  int desktopHeight = 0;
  std::vector<ReportedMode> modes;  // distinct modes the display reports
};

struct MessageBoxRequest {
  std::string caption;
  std::string text;
  std::vector<std::string> buttons;  // at least one
  int defaultButton = 0;
};

class Platform {
 public:
  Platform();
  ~Platform();
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;

  // Initialises SDL (video, events, controllers), the clock and the input script. False with a
  // message in *error when SDL cannot start or the input script cannot be read at all; a script
  // with bad lines is used up to its good lines and the problem is written to stderr.
  bool Start(const Options& options, std::string* error);
  void Shutdown();

  const Options& options() const { return options_; }
  Clock& clock() { return clock_; }
  bool IsHeadless() const { return options_.headless; }
  // Starts the video subsystem when needed; false (with a message on stderr) without a display.
  bool VideoStarted();
  DisplayInfo Display();
  // Starts the joystick subsystem; the controllers then arrive as kPadAdded events.
  bool OpenControllers();

  // Creates the OpenGL 3.3 core context on a hidden window, so the renderer can be examined
  // before the window is shown. `forceSoftware` selects Mesa's software rasteriser. False with a
  // message when there is no display or no such context.
  bool OpenDevice(bool forceSoftware, std::string* error);
  // Shows the window with a frame of the logical size, letterboxed on the desktop (or in a window
  // of that size), opening the device first when needed. The title is the window name. False
  // with a message when the window or frame cannot be made.
  bool OpenWindow(int logicalWidth, int logicalHeight, const std::string& title, std::string* error);
  void CloseWindow();
  bool HasWindow() const;
  int LogicalWidth() const;
  int LogicalHeight() const;
  // The GL renderer string ("llvmpipe ..."), empty without a window.
  std::string RendererName() const;
  bool IsSoftwareRenderer() const;

  // Starts a frame: binds the logical-size frame and clears it to `colour`.
  void BeginFrame(Rgb colour);
  // Shows the frame, counts it and captures it when a screenshot asks for it.
  void Present();
  uint64_t PresentedFrames() const { return presented_; }
  // Reads the last presented frame as RGB rows from top to bottom.
  bool ReadFrame(std::vector<uint8_t>* rgb) const;

  // One pump pass: turns pending SDL events and the input script's due events into input
  // events, applies them to the input state and appends them to `out` in arrival order.
  void PumpEvents(std::vector<InputEvent>* out);
  uint64_t PumpPasses() const { return passes_; }
  const InputState& Input() const { return input_; }
  void SetMousePosition(int x, int y);
  void ShowCursor(bool show);

  // Shows a message box and returns the index of the chosen button. Headless runs log the box on
  // stderr and answer from the input script, or with the default button.
  int ShowMessageBox(const MessageBoxRequest& request);
  // A notice that stays up while long work runs ("Loading data, please wait..."); empty text
  // takes it down. Headless runs log it on stderr; the program's own widgets draw it on screen.
  void ShowNotice(const std::string& text);

 private:
  struct Window;
  struct Pads;
  void TranslateSdlEvents(std::vector<InputEvent>* out);
  void CaptureScreenshot();

  Options options_;
  Clock clock_;
  InputScript script_;
  InputState input_;
  bool started_ = false;
  uint64_t passes_ = 0;
  uint64_t presented_ = 0;
  bool screenshotTaken_ = false;
  uint8_t lastKeyScan_ = 0;  // the key that typed the next text event
  std::unique_ptr<Window> window_;
  std::unique_ptr<Pads> pads_;
};

// Writes RGB rows (top to bottom) as a PNG file. False on failure.
bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);

}  // namespace platform
