// The window-and-input service: what a back end provides (window, cursor, input pump, input state,
// controllers, message boxes, notices). Contract only; back ends live in src/platform/.
//
// Order of calls: Start; then any of VideoStarted, Display, OpenControllers; Show once the GL
// context has its frame (the context lives on this window: Platform::OpenWindow does both in that
// order); per frame one PumpEvents; Close after the context's Close; Shutdown last. Boxes,
// notices and the pump work with or without a shown window, and before Start (they then only log).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/input.h"
#include "platform/input_script.h"

namespace platform {

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

class Window {
 public:
  virtual ~Window() = default;

  // Starts the service and reads the input script the options name. False with a message in
  // *error when the system cannot start or the script cannot be read at all; a script with bad
  // lines is used up to its good lines and the problem is written to stderr.
  virtual bool Start(std::string* error) = 0;
  // Closes the window and the controllers and stops the service. Safe when not started.
  virtual void Shutdown() = 0;

  // Starts the display side when needed; false (with a message on stderr) without a display.
  virtual bool VideoStarted() = 0;
  virtual DisplayInfo Display() = 0;
  // Starts the controller side; the controllers then arrive as kPadAdded events. False when the
  // machine has no controller support (a run without controllers is normal).
  virtual bool OpenControllers() = 0;

  // Shows the window for a frame of the logical size (pixels), letterboxed on the desktop or in a
  // window of that size, with the title. Pointer positions are reported in logical pixels from
  // then on. False with a message when the window cannot be shown.
  virtual bool Show(int logicalWidth, int logicalHeight, const std::string& title, std::string* error) = 0;
  // Takes the window down; the service stays started. Safe without a window.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;

  // One pump pass: turns pending system events and the input script's due events (those of this
  // pass, counted from 0) into input events, applies them to the input state and appends them to
  // `out` in arrival order. A scripted stall lets its clock units pass on the platform's clock.
  virtual void PumpEvents(std::vector<InputEvent>* out) = 0;
  // Pump passes made so far.
  virtual uint64_t PumpPasses() const = 0;
  // False when no input can arrive any more: a headless run whose input script (if any) has
  // delivered its last event. A wait for a key press must then end instead of hanging.
  virtual bool InputMayArrive() const = 0;
  // The state the events so far have built; valid as long as the service.
  virtual const InputState& Input() const = 0;
  // Puts the pointer at a logical position, clamped to the frame; the input state follows at once.
  // Does nothing without a window.
  virtual void SetMousePosition(int x, int y) = 0;
  virtual void ShowCursor(bool show) = 0;

  // Shows a message box and returns the index of the chosen button. The input script's next
  // answer is taken first; runs without a display log the box on stderr and answer with the
  // default button.
  virtual int ShowMessageBox(const MessageBoxRequest& request) = 0;
  // The input script's next box answer, for the boxes the program draws itself; false when the
  // script has none left (or there is no script).
  virtual bool TakeAnswer(BoxAnswer* answer) = 0;
  // Minimises the window; false when there is none to minimise (headless). The window reports a
  // kActivate event when it is brought back.
  virtual bool Minimise() = 0;
  // A notice that stays up while long work runs ("Loading data, please wait..."); empty text
  // takes it down. Runs without a display log it on stderr; on screen the program's own widgets
  // draw it.
  virtual void ShowNotice(const std::string& text) = 0;
};

}  // namespace platform
