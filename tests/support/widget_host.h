// A scripted widget host for tests and benchmarks: per-pass input steps, scripted answers, copies
// of every presented canvas and a log of the boxes, on a virtual pass count. Calls the widgets'
// public header only.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "engine/widgets/widgets.h"

namespace test_support {

// What one pump pass brings: keys for the queue and, when set (>= 0), the mouse position and
// buttons from this pass on.
struct WidgetStep {
  std::vector<engine::widgets::WidgetKey> keys;
  int mouseX = -1;
  int mouseY = -1;
  int buttons = -1;
};

struct BoxRecord {
  std::string kind;
  std::string text;
  std::string result;
  bool closed = false;
  bool defaulted = false;
};

class WidgetHost : public engine::widgets::WidgetHost {
 public:
  // [SECTION] Script

  std::deque<WidgetStep> steps;
  std::deque<engine::widgets::WidgetAnswer> answers;
  // When true, input may arrive even after the steps are used up (a box then waits its bounded
  // time); when false, only while steps remain.
  bool alwaysInput = false;
  // Whether a present copies the canvas into `frames` (benchmarks turn it off).
  bool keepFrames = true;

  WidgetHost& Step(WidgetStep step) {
    steps.push_back(std::move(step));
    return *this;
  }
  WidgetHost& Key(uint8_t scan, uint8_t character = 0) { return Step(WidgetStep{{{character, scan}}}); }
  // Every character of `text` as a typed key, all in one pass.
  WidgetHost& Text(std::string_view text) {
    WidgetStep step;
    for (char c : text) step.keys.push_back({static_cast<uint8_t>(c), 0});
    return Step(std::move(step));
  }
  WidgetHost& Move(int x, int y) { return Step(WidgetStep{{}, x, y, -1}); }
  WidgetHost& Press(int x, int y, int buttons = 1) { return Step(WidgetStep{{}, x, y, buttons}); }
  WidgetHost& Release() { return Step(WidgetStep{{}, -1, -1, 0}); }
  // A press on one pass and the release on the next.
  WidgetHost& Click(int x, int y, int buttons = 1) { return Press(x, y, buttons).Release(); }
  WidgetHost& Idle(int passes) {
    for (int i = 0; i < passes; ++i) Step(WidgetStep{});
    return *this;
  }
  WidgetHost& Answer(int number) {
    engine::widgets::WidgetAnswer answer;
    answer.isNumber = true;
    answer.number = number;
    answers.push_back(answer);
    return *this;
  }
  WidgetHost& Answer(std::string text) {
    engine::widgets::WidgetAnswer answer;
    answer.text = std::move(text);
    answers.push_back(answer);
    return *this;
  }

  // [SECTION] What happened

  int passes = 0;
  int presents = 0;
  int displayClears = 0;
  int minimises = 0;
  std::vector<engine::widgets::Canvas> frames;  // every presented canvas, in order
  bool displayBlack = true;                      // the last thing shown was ClearDisplay
  std::vector<BoxRecord> boxes;

  // [SECTION] The host interface

  void Pump() override {
    ++passes;
    if (steps.empty()) return;
    WidgetStep step = std::move(steps.front());
    steps.pop_front();
    for (const auto& key : step.keys) {
      // The input layer's queue holds 16 events; later ones are dropped as it drops them.
      if (queue_.size() < 16) queue_.push_back(key);
    }
    if (step.mouseX >= 0) mouseX_ = step.mouseX;
    if (step.mouseY >= 0) mouseY_ = step.mouseY;
    if (step.buttons >= 0) buttons_ = step.buttons;
  }
  bool PopKey(engine::widgets::WidgetKey* key) override {
    if (queue_.empty()) return false;
    *key = queue_.front();
    queue_.pop_front();
    return true;
  }
  void FlushKeys() override { queue_.clear(); }
  int MouseX() const override { return mouseX_; }
  int MouseY() const override { return mouseY_; }
  int MouseButtons() const override { return buttons_; }
  void Present(const engine::widgets::Canvas& canvas) override {
    ++presents;
    displayBlack = false;
    if (keepFrames) frames.push_back(canvas);
  }
  void ClearDisplay() override {
    ++displayClears;
    displayBlack = true;
  }
  void Idle() override {}
  bool InputMayArrive() const override { return alwaysInput || !steps.empty(); }
  bool TakeAnswer(engine::widgets::WidgetAnswer* answer) override {
    if (answers.empty()) return false;
    *answer = answers.front();
    answers.pop_front();
    return true;
  }
  void BoxOpened(std::string_view kind, std::string_view text) override {
    boxes.push_back(BoxRecord{std::string(kind), std::string(text), "", false, false});
  }
  void BoxClosed(std::string_view kind, std::string_view text, std::string_view result, bool defaulted) override {
    // Closes the latest open box of that kind; a close without an open is logged on its own.
    for (auto it = boxes.rbegin(); it != boxes.rend(); ++it) {
      if (!it->closed && it->kind == kind) {
        it->result = std::string(result);
        it->closed = true;
        it->defaulted = defaulted;
        return;
      }
    }
    boxes.push_back(BoxRecord{std::string(kind), std::string(text), std::string(result), true, defaulted});
  }
  bool MinimiseAndWait() override {
    ++minimises;
    return false;
  }

  const engine::widgets::Canvas* LastFrame() const { return frames.empty() ? nullptr : &frames.back(); }

 private:
  std::deque<engine::widgets::WidgetKey> queue_;
  int mouseX_ = 0;
  int mouseY_ = 0;
  int buttons_ = 0;
};

// A screen of the given size with the built-in skin, wired to `host`.
inline void SetUpScreen(engine::widgets::WidgetScreen& screen, WidgetHost& host, int width = 640, int height = 480) {
  screen.canvas.Resize(width, height);
  screen.skin = engine::widgets::BuiltinSkin();
  screen.shades = engine::widgets::InterfaceShades();
  screen.textColour = 255;
  engine::widgets::ClearButtons(screen);
  screen.host = &host;
}

}  // namespace test_support
