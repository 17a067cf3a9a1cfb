// The null window and null GL context, and the call log every null back end keeps. Calls only the
// C++ library and the shared input feed and screenshot code.
#include <algorithm>

#include "platform/backend_common.h"
#include "platform/null.h"

namespace platform {

// [SECTION] Call log

void CallLog::Add(std::string call) {
  const std::string_view name = std::string_view(call).substr(0, call.find(' '));
  auto found = counts_.find(name);
  if (found == counts_.end()) found = counts_.emplace(std::string(name), 0).first;
  ++found->second;
  if (calls_.size() < kMaxCalls) calls_.push_back(std::move(call));
}

uint64_t CallLog::Count(std::string_view name) const {
  const auto found = counts_.find(name);
  return found == counts_.end() ? 0 : found->second;
}

void CallLog::Clear() {
  calls_.clear();
  counts_.clear();
}

// [SECTION] Window

DisplayInfo NullWindow::NullDisplay() {
  DisplayInfo info;
  info.desktopWidth = 1024;
  info.desktopHeight = 768;
  for (const auto& [width, height] : {std::pair{640, 480}, std::pair{800, 600}, std::pair{1024, 768}}) {
    info.modes.push_back({width, height, 16});
    info.modes.push_back({width, height, 32});
  }
  return info;
}

NullWindow::NullWindow(const Options& options, Clock* clock)
    : options_(options), feed_(std::make_unique<InputFeed>(clock)) {}

NullWindow::~NullWindow() = default;

bool NullWindow::Start(std::string* error) {
  return options_.inputScriptPath.empty() || feed_->LoadScript(options_.inputScriptPath, error);
}

void NullWindow::Shutdown() { Close(); }

bool NullWindow::OpenControllers() {
  // Controllers can still come and go through the input script's "pad" lines.
  log.Add("OpenControllers");
  return false;
}

bool NullWindow::Show(int logicalWidth, int logicalHeight, const std::string& title, std::string* error) {
  log.Add("Show " + std::to_string(logicalWidth) + "x" + std::to_string(logicalHeight) + " " + title);
  if (logicalWidth <= 0 || logicalHeight <= 0) {
    *error = "the window needs a frame of at least one pixel";
    return false;
  }
  width_ = logicalWidth;
  height_ = logicalHeight;
  return true;
}

void NullWindow::Close() {
  if (!IsOpen()) return;
  log.Add("Close");
  width_ = height_ = 0;
}

void NullWindow::PumpEvents(std::vector<InputEvent>* out) { feed_->FinishPass(out, out->size(), width_, height_); }

uint64_t NullWindow::PumpPasses() const { return feed_->passes(); }

bool NullWindow::InputMayArrive() const { return !feed_->ScriptFinished(); }

const InputState& NullWindow::Input() const { return feed_->state(); }

void NullWindow::SetMousePosition(int x, int y) {
  log.Add("SetMousePosition " + std::to_string(x) + " " + std::to_string(y));
  if (!IsOpen()) return;
  feed_->state().mouseX = std::clamp(x, 0, width_ - 1);
  feed_->state().mouseY = std::clamp(y, 0, height_ - 1);
}

void NullWindow::ShowCursor(bool show) { log.Add(show ? "ShowCursor 1" : "ShowCursor 0"); }

int NullWindow::ShowMessageBox(const MessageBoxRequest& request) {
  int chosen = -1;
  if (!feed_->ScriptedAnswer(request, &chosen)) {
    chosen = DefaultButton(request);
    LogMessageBox(request, chosen);
  }
  log.Add("MessageBox " + request.caption + ": " + request.text + " -> " + std::to_string(chosen));
  return chosen;
}

bool NullWindow::TakeAnswer(BoxAnswer* answer) { return feed_->TakeAnswer(answer); }

void NullWindow::ShowNotice(const std::string& text) {
  log.Add("Notice " + text);
  LogNotice(text);
}

// [SECTION] GL context

NullGlContext::NullGlContext(const Options& options)
    : screenshot_(std::make_unique<Screenshot>(Screenshot{options.screenshotPath, options.screenshotAt, false, {}})) {}

NullGlContext::~NullGlContext() = default;

bool NullGlContext::OpenDevice(bool forceSoftware, std::string* error) {
  log.Add(forceSoftware ? "OpenDevice software" : "OpenDevice");
  open_ = true;
  return true;
}

bool NullGlContext::OpenFrame(int logicalWidth, int logicalHeight, std::string* error) {
  log.Add("OpenFrame " + std::to_string(logicalWidth) + "x" + std::to_string(logicalHeight));
  open_ = true;
  if (logicalWidth <= 0 || logicalHeight <= 0) {
    width_ = height_ = 0;
    *error = "cannot create the frame buffer";
    return false;
  }
  width_ = logicalWidth;
  height_ = logicalHeight;
  return true;
}

void NullGlContext::Close() {
  if (!open_) return;
  log.Add("Close");
  if (screenshot_->LastPending(presented_)) CaptureScreenshot();
  open_ = false;
  width_ = height_ = 0;
}

void NullGlContext::Shutdown() {
  screenshot_->ReportIfNeverTaken();
  Close();
}

std::string NullGlContext::ScreenshotError() const { return screenshot_->error; }

void NullGlContext::BeginFrame(Rgb colour) {
  if (!HasFrame()) return;
  log.Add("BeginFrame " + std::to_string(colour.r) + " " + std::to_string(colour.g) + " " + std::to_string(colour.b));
  cleared_ = colour;
}

void NullGlContext::Present() {
  if (!HasFrame()) return;
  log.Add("Present");
  ++presented_;
  presentedColour_ = cleared_;
  if (screenshot_->DueAt(presented_)) CaptureScreenshot();
}

bool NullGlContext::ReadFrame(std::vector<uint8_t>* rgb) const {
  if (!HasFrame() || presented_ == 0) return false;
  rgb->resize(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3);
  for (size_t i = 0; i < rgb->size(); i += 3) {
    (*rgb)[i] = presentedColour_.r;
    (*rgb)[i + 1] = presentedColour_.g;
    (*rgb)[i + 2] = presentedColour_.b;
  }
  return true;
}

void NullGlContext::CaptureScreenshot() {
  std::vector<uint8_t> rgb;
  screenshot_->taken = true;
  if (!ReadFrame(&rgb)) {
    screenshot_->ReportMissingFrame();
    return;
  }
  screenshot_->Write(width_, height_, rgb);
}

}  // namespace platform
