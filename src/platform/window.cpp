// The window, its OpenGL context, the logical-size frame, presentation and screenshots.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform_internal.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace platform {
namespace {

// The largest rectangle of the frame's aspect that fits the target, centred.
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

SDL_Rect Platform::Window::Letterbox() const {
  int w = 0, h = 0;
  SDL_GetWindowSize(window, &w, &h);
  return FitInside(width, height, w, h);
}

bool Platform::OpenDevice(bool forceSoftware, std::string* error) {
  if (window_) return true;
  if (!started_) {
    *error = "the platform was not started";
    return false;
  }
  // Mesa reads this when the GL driver loads, at the first context.
  if (forceSoftware || options_.softwareRendering) setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
  if (!VideoStarted()) return false;
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);

  auto w = std::make_unique<Window>();
  w->window = SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640, 480,
                               SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (w->window == nullptr) {
    *error = std::string("cannot create the window: ") + SDL_GetError();
    return false;
  }
  w->context = SDL_GL_CreateContext(w->window);
  if (w->context == nullptr) {
    *error = std::string("cannot create an OpenGL 3.3 context: ") + SDL_GetError();
    SDL_DestroyWindow(w->window);
    return false;
  }
  SDL_GL_SetSwapInterval(0);  // the engine paces its own frames
  const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  w->renderer = renderer != nullptr ? renderer : "";
  window_ = std::move(w);
  return true;
}

bool Platform::OpenWindow(int logicalWidth, int logicalHeight, const std::string& title, std::string* error) {
  if (!OpenDevice(false, error)) return false;
  Window& w = *window_;
  if (w.frame != 0) {
    glDeleteFramebuffers(1, &w.frame);
    glDeleteRenderbuffers(1, &w.colour);
    glDeleteRenderbuffers(1, &w.depth);
    w.frame = w.colour = w.depth = 0;
  }
  if (w.presented != 0) {
    glDeleteFramebuffers(1, &w.presented);
    glDeleteRenderbuffers(1, &w.presentedColour);
    w.presented = w.presentedColour = 0;
  }
  w.width = logicalWidth;
  w.height = logicalHeight;
  if (!MakeFramebuffer(logicalWidth, logicalHeight, true, &w.frame, &w.colour, &w.depth)) {
    *error = "cannot create the frame buffer";
    return false;
  }
  SDL_SetWindowTitle(w.window, title.c_str());
  SDL_SetWindowSize(w.window, logicalWidth, logicalHeight);
  SDL_SetWindowPosition(w.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
  if (!options_.windowed && !options_.headless) SDL_SetWindowFullscreen(w.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
  SDL_ShowWindow(w.window);
  return true;
}

void Platform::CloseWindow() {
  if (!window_) return;
  // The last presented frame is written before the window that holds it goes.
  if (!options_.screenshotPath.empty() && !screenshotTaken_ && options_.screenshotAt == 0 && presented_ > 0) {
    CaptureScreenshot();
  }
  Window& w = *window_;
  if (w.frame != 0) {
    glDeleteFramebuffers(1, &w.frame);
    glDeleteRenderbuffers(1, &w.colour);
    glDeleteRenderbuffers(1, &w.depth);
  }
  if (w.presented != 0) {
    glDeleteFramebuffers(1, &w.presented);
    glDeleteRenderbuffers(1, &w.presentedColour);
  }
  SDL_GL_DeleteContext(w.context);
  SDL_DestroyWindow(w.window);
  window_.reset();
}

bool Platform::HasWindow() const { return window_ != nullptr && window_->frame != 0; }
int Platform::LogicalWidth() const { return window_ ? window_->width : 0; }
int Platform::LogicalHeight() const { return window_ ? window_->height : 0; }
std::string Platform::RendererName() const { return window_ ? window_->renderer : std::string(); }

bool Platform::IsSoftwareRenderer() const {
  const std::string name = RendererName();
  return name.find("llvmpipe") != std::string::npos || name.find("softpipe") != std::string::npos ||
         name.find("Software") != std::string::npos;
}

void Platform::BeginFrame(Rgb colour) {
  if (!HasWindow()) return;
  glBindFramebuffer(GL_FRAMEBUFFER, window_->frame);
  glViewport(0, 0, window_->width, window_->height);
  glClearColor(colour.r / 255.0f, colour.g / 255.0f, colour.b / 255.0f, 1.0f);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void Platform::Present() {
  if (!HasWindow()) return;
  Window& w = *window_;
  ++presented_;
  const bool keepCopy = !options_.screenshotPath.empty() && options_.screenshotAt == 0;
  if (keepCopy) {
    if (w.presented == 0) MakeFramebuffer(w.width, w.height, false, &w.presented, &w.presentedColour, nullptr);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, w.frame);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, w.presented);
    glBlitFramebuffer(0, 0, w.width, w.height, 0, 0, w.width, w.height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  }
  if (options_.screenshotAt > 0 && static_cast<uint64_t>(options_.screenshotAt) == presented_) CaptureScreenshot();

  int dw = 0, dh = 0;
  SDL_GL_GetDrawableSize(w.window, &dw, &dh);
  const SDL_Rect box = FitInside(w.width, w.height, dw, dh);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  glViewport(0, 0, dw, dh);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, w.frame);
  const bool exact = box.w % w.width == 0 && box.h % w.height == 0;
  glBlitFramebuffer(0, 0, w.width, w.height, box.x, dh - box.y - box.h, box.x + box.w, dh - box.y, GL_COLOR_BUFFER_BIT,
                    exact ? GL_NEAREST : GL_LINEAR);
  SDL_GL_SwapWindow(w.window);
  glBindFramebuffer(GL_FRAMEBUFFER, w.frame);
}

bool Platform::ReadFrame(std::vector<uint8_t>* rgb) const {
  if (!HasWindow() || presented_ == 0) return false;
  const Window& w = *window_;
  const size_t row = static_cast<size_t>(w.width) * 3;
  std::vector<uint8_t> bottomUp(row * static_cast<size_t>(w.height));
  glBindFramebuffer(GL_READ_FRAMEBUFFER, w.presented != 0 ? w.presented : w.frame);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, w.width, w.height, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
  glBindFramebuffer(GL_FRAMEBUFFER, w.frame);
  rgb->resize(bottomUp.size());
  for (int y = 0; y < w.height; ++y) {
    std::memcpy(rgb->data() + static_cast<size_t>(y) * row, bottomUp.data() + static_cast<size_t>(w.height - 1 - y) * row,
                row);
  }
  return true;
}

void Platform::CaptureScreenshot() {
  std::vector<uint8_t> rgb;
  screenshotTaken_ = true;
  // At the moment of a numbered capture the frame itself holds the picture being presented.
  if (options_.screenshotAt > 0 && window_) {
    GLuint keep = window_->presented;
    window_->presented = 0;
    const bool ok = ReadFrame(&rgb);
    window_->presented = keep;
    if (!ok) return;
  } else if (!ReadFrame(&rgb)) {
    std::fprintf(stderr, "screenshot: no frame was presented; %s not written\n", options_.screenshotPath.c_str());
    return;
  }
  if (!WritePng(options_.screenshotPath, window_->width, window_->height, rgb)) {
    std::fprintf(stderr, "screenshot: cannot write %s\n", options_.screenshotPath.c_str());
  }
}

bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
  if (width <= 0 || height <= 0 || rgb.size() < static_cast<size_t>(width) * static_cast<size_t>(height) * 3) return false;
  return stbi_write_png(path.c_str(), width, height, 3, rgb.data(), width * 3) != 0;
}

}  // namespace platform
