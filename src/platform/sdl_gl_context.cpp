// The SDL and libepoxy GL-context service: the OpenGL 3.3 core context on the SDL window, the
// logical-size frame, presentation, reading frames back and screenshots. Calls SDL2 and GL.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/sdl_backend.h"

namespace platform {
namespace {

bool MakeFramebuffer(int width, int height, bool withDepth, GLuint* frame, GLuint* colour, GLuint* depth) {
  glGenFramebuffers(1, frame);
  glBindFramebuffer(GL_FRAMEBUFFER, *frame);
  glGenRenderbuffers(1, colour);
  glBindRenderbuffer(GL_RENDERBUFFER, *colour);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, *colour);
  if (withDepth) {
    glGenRenderbuffers(1, depth);
    glBindRenderbuffer(GL_RENDERBUFFER, *depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, *depth);
  }
  return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

}  // namespace

SdlGlContext::SdlGlContext(const Options& options, SdlWindow* window)
    : options_(options), window_(window), screenshot_{options.screenshotPath, options.screenshotAt, false, {}} {}

SdlGlContext::~SdlGlContext() { Close(); }

bool SdlGlContext::OpenDevice(bool forceSoftware, std::string* error) {
  if (context_ != nullptr) return true;
  if (!window_->Started()) {
    *error = "the platform was not started";
    return false;
  }
  // Mesa reads this when the GL driver loads, at the first context.
  if (forceSoftware || options_.softwareRendering) setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
  if (!window_->VideoStarted()) {
    *error = "no display is available";
    return false;
  }
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);

  native_ = window_->MakeNative(error);
  if (native_ == nullptr) return false;
  context_ = SDL_GL_CreateContext(native_);
  if (context_ == nullptr) {
    *error = std::string("cannot create an OpenGL 3.3 context: ") + SDL_GetError();
    window_->Close();
    native_ = nullptr;
    return false;
  }
  SDL_GL_SetSwapInterval(0);  // the engine paces its own frames
  const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  renderer_ = renderer != nullptr ? renderer : "";
  return true;
}

void SdlGlContext::DeleteFrames() {
  if (frame_ != 0) {
    glDeleteFramebuffers(1, &frame_);
    glDeleteRenderbuffers(1, &colour_);
    glDeleteRenderbuffers(1, &depth_);
    frame_ = colour_ = depth_ = 0;
  }
  if (presentedFrame_ != 0) {
    glDeleteFramebuffers(1, &presentedFrame_);
    glDeleteRenderbuffers(1, &presentedColour_);
    presentedFrame_ = presentedColour_ = 0;
  }
}

bool SdlGlContext::OpenFrame(int logicalWidth, int logicalHeight, std::string* error) {
  if (!OpenDevice(false, error)) return false;
  DeleteFrames();
  width_ = logicalWidth;
  height_ = logicalHeight;
  if (logicalWidth <= 0 || logicalHeight <= 0 ||
      !MakeFramebuffer(logicalWidth, logicalHeight, true, &frame_, &colour_, &depth_)) {
    DeleteFrames();
    *error = "cannot create the frame buffer";
    return false;
  }
  return true;
}

void SdlGlContext::Close() {
  if (context_ == nullptr) return;
  // The last presented frame is written before the frame that holds it goes.
  if (screenshot_.LastPending(presented_)) CaptureScreenshot();
  DeleteFrames();
  SDL_GL_DeleteContext(context_);
  context_ = nullptr;
  native_ = nullptr;
}

void SdlGlContext::Shutdown() {
  screenshot_.ReportIfNeverTaken();
  Close();
}

void SdlGlContext::BeginFrame(Rgb colour) {
  if (frame_ == 0) return;
  glBindFramebuffer(GL_FRAMEBUFFER, frame_);
  glViewport(0, 0, width_, height_);
  glClearColor(colour.r / 255.0f, colour.g / 255.0f, colour.b / 255.0f, 1.0f);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void SdlGlContext::Present() {
  if (frame_ == 0) return;
  ++presented_;
  if (screenshot_.KeepsLastFrame()) {
    if (presentedFrame_ == 0) MakeFramebuffer(width_, height_, false, &presentedFrame_, &presentedColour_, nullptr);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, frame_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, presentedFrame_);
    glBlitFramebuffer(0, 0, width_, height_, 0, 0, width_, height_, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  }
  if (screenshot_.DueAt(presented_)) CaptureScreenshot();

  int dw = 0, dh = 0;
  SDL_GL_GetDrawableSize(native_, &dw, &dh);
  const SDL_Rect box = FitInside(width_, height_, dw, dh);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  glViewport(0, 0, dw, dh);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, frame_);
  const bool exact = box.w % width_ == 0 && box.h % height_ == 0;
  glBlitFramebuffer(0, 0, width_, height_, box.x, dh - box.y - box.h, box.x + box.w, dh - box.y, GL_COLOR_BUFFER_BIT,
                    exact ? GL_NEAREST : GL_LINEAR);
  SDL_GL_SwapWindow(native_);
  glBindFramebuffer(GL_FRAMEBUFFER, frame_);
}

void SdlGlContext::ReadFramebuffer(GLuint source, std::vector<uint8_t>* rgb) const {
  const size_t row = static_cast<size_t>(width_) * 3;
  std::vector<uint8_t> bottomUp(row * static_cast<size_t>(height_));
  glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width_, height_, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
  glBindFramebuffer(GL_FRAMEBUFFER, frame_);
  rgb->resize(bottomUp.size());
  for (int y = 0; y < height_; ++y) {
    std::memcpy(rgb->data() + static_cast<size_t>(y) * row, bottomUp.data() + static_cast<size_t>(height_ - 1 - y) * row,
                row);
  }
}

bool SdlGlContext::ReadFrame(std::vector<uint8_t>* rgb) const {
  if (frame_ == 0 || presented_ == 0) return false;
  ReadFramebuffer(presentedFrame_ != 0 ? presentedFrame_ : frame_, rgb);
  return true;
}

void SdlGlContext::CaptureScreenshot() {
  std::vector<uint8_t> rgb;
  screenshot_.taken = true;
  if (screenshot_.at > 0) {
    // At the moment of a numbered capture the frame itself holds the picture being presented.
    if (frame_ == 0) return;
    ReadFramebuffer(frame_, &rgb);
  } else if (!ReadFrame(&rgb)) {
    screenshot_.ReportMissingFrame();
    return;
  }
  screenshot_.Write(width_, height_, rgb);
}

}  // namespace platform
