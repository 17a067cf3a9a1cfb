// What both window back ends share: the input script's replay into the input state, the end of
// every pump pass, and message boxes answered from the script or logged. No SDL here.
#include <strings.h>

#include <algorithm>
#include <cstdio>

#include "platform/backend_common.h"

namespace platform {
namespace {

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The button a scripted answer names, or -1.
int MatchAnswer(const BoxAnswer& answer, const std::vector<std::string>& buttons) {
  if (answer.isNumber) return answer.number >= 0 && answer.number < static_cast<int>(buttons.size()) ? answer.number : -1;
  for (size_t i = 0; i < buttons.size(); ++i) {
    if (buttons[i] == answer.text) return static_cast<int>(i);
  }
  for (size_t i = 0; i < buttons.size(); ++i) {
    if (strcasecmp(Trimmed(buttons[i]).c_str(), Trimmed(answer.text).c_str()) == 0) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

bool InputFeed::LoadScript(const std::string& path, std::string* error) {
  std::string problems;
  if (script_.Load(path, &problems)) return true;
  if (!script_.FileWasRead()) {
    *error = problems;
    return false;
  }
  // Bad lines are skipped, each reported here once; whatever else the script holds replays, even
  // when that is nothing.
  std::fprintf(stderr, "%s\n", problems.c_str());
  return true;
}

void InputFeed::FinishPass(std::vector<InputEvent>* out, size_t first, int width, int height) {
  script_.TakeDue(passes_, out);
  for (size_t i = first; i < out->size(); ++i) {
    InputEvent& e = (*out)[i];
    // A typed digit carries the scan code of its top-row key, whichever key typed it (the keypad
    // too), so brains see one code per digit.
    if (e.kind == EventKind::kCharacter && e.character >= '0' && e.character <= '9') {
      e.scan = e.character == '0' ? 0x0B : static_cast<uint8_t>(e.character - '0' + 1);
    }
    if (e.kind == EventKind::kMouseMove && width > 0 && height > 0) {
      e.x = std::clamp(e.x, 0, width - 1);
      e.y = std::clamp(e.y, 0, height - 1);
    }
    if (e.kind == EventKind::kStall) clock_->Stall(static_cast<uint32_t>(e.value));
    state_.Apply(e);
  }
  ++passes_;
}

bool InputFeed::ScriptedAnswer(const MessageBoxRequest& request, int* chosen) {
  BoxAnswer answer;
  if (!script_.TakeAnswer(&answer)) return false;
  *chosen = MatchAnswer(answer, request.buttons);
  if (*chosen < 0) {
    std::fprintf(stderr, "input script: answer '%s' fits no button of the box; default used\n",
                 answer.isNumber ? std::to_string(answer.number).c_str() : answer.text.c_str());
    *chosen = DefaultButton(request);
  }
  LogMessageBox(request, *chosen);
  return true;
}

bool InputFeed::TakeAnswer(BoxAnswer* answer) { return script_.TakeAnswer(answer); }

int DefaultButton(const MessageBoxRequest& request) {
  const int count = static_cast<int>(request.buttons.size());
  return count > 0 && request.defaultButton >= 0 && request.defaultButton < count ? request.defaultButton : 0;
}

void LogMessageBox(const MessageBoxRequest& request, int chosen) {
  const bool fits = chosen >= 0 && static_cast<size_t>(chosen) < request.buttons.size();
  std::fprintf(stderr, "[message box] %s: %s -> %s\n", request.caption.c_str(), request.text.c_str(),
               fits ? request.buttons[static_cast<size_t>(chosen)].c_str() : "");
}

void LogNotice(const std::string& text) {
  if (!text.empty()) std::fprintf(stderr, "[notice] %s\n", text.c_str());
}

}  // namespace platform
