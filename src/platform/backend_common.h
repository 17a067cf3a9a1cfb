// Internals both back ends of a service share: the input feed of the window services and the
// screenshot rule of the context services. Nothing outside src/platform/ includes this; no SDL
// or GL here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/input.h"
#include "platform/input_script.h"
#include "platform/window.h"

namespace platform {

// The input script, the input state that script and system events build, and the pump passes.
class InputFeed {
 public:
  explicit InputFeed(Clock* clock) : clock_(clock) {}

  // Loads the script. False with the problem in *error only when the file cannot be read; each
  // bad line is reported on stderr and skipped, and the good lines are kept.
  bool LoadScript(const std::string& path, std::string* error);
  // Ends a pump pass whose system events are (*out)[first...]: appends the script's events due
  // in this pass, gives typed digits their top-row scan code, clamps pointer positions to a frame
  // of width x height (when there is one), lets scripted stalls pass on the clock, applies every
  // event to the state and counts the pass.
  void FinishPass(std::vector<InputEvent>* out, size_t first, int width, int height);
  // The script's next answer to the box, logged on stderr; false when the script has none left.
  bool ScriptedAnswer(const MessageBoxRequest& request, int* chosen);
  // The script's next answer as it stands, for boxes the program draws itself.
  bool TakeAnswer(BoxAnswer* answer);

  InputState& state() { return state_; }
  const InputState& state() const { return state_; }
  uint64_t passes() const { return passes_; }
  bool ScriptFinished() const { return script_.Finished(); }

 private:
  Clock* clock_;
  InputScript script_;
  InputState state_;
  uint64_t passes_ = 0;
};

// The button a box gets without an answer: its default button when that exists, else the first.
int DefaultButton(const MessageBoxRequest& request);
// "[message box] CAPTION: TEXT -> BUTTON" on stderr.
void LogMessageBox(const MessageBoxRequest& request, int chosen);
// "[notice] TEXT" on stderr; nothing for the empty text that takes a notice down.
void LogNotice(const std::string& text);

// The screenshot the options ask for: the frame numbered `at` as it is presented, or with `at` 0
// the last presented frame when the frame goes.
struct Screenshot {
  std::string path;
  int at = 0;
  bool taken = false;
  std::string error;  // "cannot write PATH: REASON" once a write has failed

  // The last presented frame must be kept aside, since the next frame overwrites it.
  bool KeepsLastFrame() const { return !path.empty() && at == 0; }
  // A frame number without a file to write asks for nothing.
  bool DueAt(uint64_t presented) const { return !path.empty() && at > 0 && static_cast<uint64_t>(at) == presented; }
  bool LastPending(uint64_t presented) const { return !path.empty() && !taken && at == 0 && presented > 0; }
  // Writes the PNG, marking the screenshot taken; a failure is kept in `error` for the program
  // to report (GlContext::ScreenshotError).
  void Write(int width, int height, const std::vector<uint8_t>& rgb);
  void ReportMissingFrame() const;  // a last-frame capture found no frame
  void ReportIfNeverTaken() const;  // at shut-down: the numbered frame never came
};

}  // namespace platform
