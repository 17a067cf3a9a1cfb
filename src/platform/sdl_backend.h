// The SDL back ends of the window and GL-context services. Nothing outside src/platform/ includes
// this: it is the one header that names SDL2 and libepoxy.
#pragma once

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include "platform/backend_common.h"
#include "platform/gl_context.h"
#include "platform/keys.h"
#include "platform/options.h"
#include "platform/window.h"

namespace platform {

// The largest rectangle of the frame's aspect that fits the target, centred.
SDL_Rect FitInside(int frameWidth, int frameHeight, int targetWidth, int targetHeight);

class SdlWindow final : public Window {
 public:
  SdlWindow(const Options& options, Clock* clock);
  ~SdlWindow() override;

  bool Start(std::string* error) override;
  void Shutdown() override;
  bool VideoStarted() override;
  DisplayInfo Display() override;
  bool OpenControllers() override;
  bool Show(int logicalWidth, int logicalHeight, const std::string& title, std::string* error) override;
  void Close() override;
  bool IsOpen() const override { return native_ != nullptr && width_ > 0; }
  void PumpEvents(std::vector<InputEvent>* out) override;
  uint64_t PumpPasses() const override { return feed_.passes(); }
  bool InputMayArrive() const override { return !options_.headless || !feed_.ScriptFinished(); }
  const InputState& Input() const override { return feed_.state(); }
  void SetMousePosition(int x, int y) override;
  void ShowCursor(bool show) override;
  int ShowMessageBox(const MessageBoxRequest& request) override;
  void ShowNotice(const std::string& text) override;
  bool TakeAnswer(BoxAnswer* answer) override { return feed_.TakeAnswer(answer); }
  bool Minimise() override;

  // For the GL context, which lives on this window.
  bool Started() const { return started_; }
  // The hidden GL-capable window, made at the first call; nullptr with a message when it cannot be.
  SDL_Window* MakeNative(std::string* error);

 private:
  // Two controller slots. A device SDL knows as a game controller is read through the
  // game-controller API (named sticks, triggers and d-pad, whatever the make); any other through
  // the joystick API, axes and hats by index.
  struct Pads {
    SDL_Joystick* joystick[kPadCount] = {};
    SDL_GameController* controller[kPadCount] = {};  // null for a plain joystick
    SDL_JoystickID id[kPadCount] = {-1, -1};
    uint8_t dpad[kPadCount] = {};  // d-pad buttons down, as SDL hat bits
    bool available = false;        // the joystick subsystem started

    int SlotOf(SDL_JoystickID instance) const;
    // The slot of a plain joystick (not a game controller), or -1.
    int JoystickSlotOf(SDL_JoystickID instance) const;
    void Close(int slot);
  };

  void TranslateSdlEvents(std::vector<InputEvent>* out);
  // Where the logical frame lands in the window, in window coordinates.
  SDL_Rect Letterbox() const;

  Options options_;
  InputFeed feed_;
  bool started_ = false;
  uint8_t lastKeyScan_ = 0;  // the key that typed the next text event
  SDL_Window* native_ = nullptr;
  int width_ = 0;  // logical size, once shown
  int height_ = 0;
  Pads pads_;
};

class SdlGlContext final : public GlContext {
 public:
  SdlGlContext(const Options& options, SdlWindow* window);
  ~SdlGlContext() override;

  bool OpenDevice(bool forceSoftware, std::string* error) override;
  bool OpenFrame(int logicalWidth, int logicalHeight, std::string* error) override;
  void Close() override;
  void Shutdown() override;
  std::string ScreenshotError() const override { return screenshot_.error; }
  int LogicalWidth() const override { return frame_ != 0 ? width_ : 0; }
  int LogicalHeight() const override { return frame_ != 0 ? height_ : 0; }
  std::string RendererName() const override { return context_ != nullptr ? renderer_ : std::string(); }
  void BeginFrame(Rgb colour) override;
  void Present() override;
  uint64_t PresentedFrames() const override { return presented_; }
  bool ReadFrame(std::vector<uint8_t>* rgb) const override;

 private:
  void DeleteFrames();
  // Reads `source` (a framebuffer of the logical size) as RGB rows from top to bottom.
  void ReadFramebuffer(GLuint source, std::vector<uint8_t>* rgb) const;
  void CaptureScreenshot();

  Options options_;
  SdlWindow* window_;
  Screenshot screenshot_;
  SDL_Window* native_ = nullptr;
  SDL_GLContext context_ = nullptr;
  std::string renderer_;
  int width_ = 0;  // logical size
  int height_ = 0;
  GLuint frame_ = 0;  // framebuffer of the logical size that every frame is drawn into
  GLuint colour_ = 0;
  GLuint depth_ = 0;
  GLuint presentedFrame_ = 0;  // copy of the last presented frame, kept when a screenshot may need it
  GLuint presentedColour_ = 0;
  uint64_t presented_ = 0;
};

}  // namespace platform
