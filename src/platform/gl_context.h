// The GL-context service: what a back end provides (the OpenGL 3.3 core device, the logical-size
// frame every picture is drawn into, presentation, reading frames back, screenshots). Contract
// only; back ends live in src/platform/.
//
// Order of calls: OpenDevice (a hidden window may be made for it, so the renderer can be examined
// before anything is shown); OpenFrame (again to change the size); per frame BeginFrame, drawing,
// Present; Close before the window's Close; Shutdown last. BeginFrame and Present do nothing
// without a frame. Screenshots follow the options: the frame numbered screenshotAt is written as
// it is presented, or with screenshotAt 0 the last presented frame is written when the frame
// goes (Close).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

class GlContext {
 public:
  virtual ~GlContext() = default;

  // Creates the OpenGL 3.3 core context; `forceSoftware` (or the options' softwareRendering)
  // selects Mesa's software rasteriser. True at once when the device is already open. False with
  // a message when there is no display or no such context.
  virtual bool OpenDevice(bool forceSoftware, std::string* error) = 0;
  // Makes the frame of the logical size (pixels), replacing an earlier one; opens the device first
  // when needed. False with a message when it cannot be made.
  virtual bool OpenFrame(int logicalWidth, int logicalHeight, std::string* error) = 0;
  // Writes the pending screenshot of the last presented frame, then releases the frame and the
  // context. Safe when nothing is open. The count of presented frames goes on across a reopen.
  virtual void Close() = 0;
  // Reports a numbered screenshot that was never taken, then closes.
  virtual void Shutdown() = 0;
  // "cannot write PATH: REASON" when the screenshot the options ask for was due and its file
  // could not be written; empty otherwise. Read it after Close or Shutdown, which write the last
  // frame. The back end does not print it: the program reports it as its own failure.
  virtual std::string ScreenshotError() const = 0;

  bool HasFrame() const { return LogicalWidth() > 0; }
  virtual int LogicalWidth() const = 0;  // 0 without a frame
  virtual int LogicalHeight() const = 0;
  // The renderer's name ("llvmpipe ..."); empty before OpenDevice.
  virtual std::string RendererName() const = 0;

  // Starts a frame: binds the logical-size frame and clears it (colour and depth) to `colour`.
  virtual void BeginFrame(Rgb colour) = 0;
  // Shows the frame, counts it and captures it when a screenshot asks for it.
  virtual void Present() = 0;
  virtual uint64_t PresentedFrames() const = 0;
  // The last presented frame as RGB rows from top to bottom, LogicalWidth() * LogicalHeight() * 3
  // bytes. False without a frame or before the first Present.
  virtual bool ReadFrame(std::vector<uint8_t>* rgb) const = 0;
};

}  // namespace platform
