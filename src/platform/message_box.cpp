// System message boxes: SDL's where a display exists; logged and answered from the input script
// or with the default button otherwise.
#include <strings.h>

#include <cstdio>

#include "platform/platform_internal.h"

namespace platform {
namespace {

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The button a scripted answer names, or -1.
int MatchAnswer(const BoxAnswer& answer, const std::vector<std::string>& buttons) {
  if (answer.button >= 0) return answer.button < static_cast<int>(buttons.size()) ? answer.button : -1;
  for (size_t i = 0; i < buttons.size(); ++i) {
    if (buttons[i] == answer.text) return static_cast<int>(i);
  }
  for (size_t i = 0; i < buttons.size(); ++i) {
    if (strcasecmp(Trimmed(buttons[i]).c_str(), Trimmed(answer.text).c_str()) == 0) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

int Platform::ShowMessageBox(const MessageBoxRequest& request) {
  const int count = static_cast<int>(request.buttons.size());
  const int fallback = count > 0 && request.defaultButton >= 0 && request.defaultButton < count ? request.defaultButton : 0;
  BoxAnswer answer;
  if (script_.TakeAnswer(&answer)) {
    int chosen = MatchAnswer(answer, request.buttons);
    if (chosen < 0) {
      std::fprintf(stderr, "input script: answer '%s' fits no button of the box; default used\n",
                   answer.button >= 0 ? std::to_string(answer.button).c_str() : answer.text.c_str());
      chosen = fallback;
    }
    std::fprintf(stderr, "[message box] %s: %s -> %s\n", request.caption.c_str(), request.text.c_str(),
                 count > 0 ? request.buttons[static_cast<size_t>(chosen)].c_str() : "");
    return chosen;
  }
  if (options_.headless || !started_ || count == 0) {
    std::fprintf(stderr, "[message box] %s: %s -> %s\n", request.caption.c_str(), request.text.c_str(),
                 count > 0 ? request.buttons[static_cast<size_t>(fallback)].c_str() : "");
    return fallback;
  }
  std::vector<SDL_MessageBoxButtonData> buttons(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    buttons[static_cast<size_t>(i)].buttonid = i;
    buttons[static_cast<size_t>(i)].text = request.buttons[static_cast<size_t>(i)].c_str();
    buttons[static_cast<size_t>(i)].flags = i == fallback ? SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT : 0;
  }
  SDL_MessageBoxData data{};
  data.flags = SDL_MESSAGEBOX_INFORMATION;
  data.window = window_ ? window_->window : nullptr;
  data.title = request.caption.c_str();
  data.message = request.text.c_str();
  data.numbuttons = count;
  data.buttons = buttons.data();
  int chosen = -1;
  if (SDL_ShowMessageBox(&data, &chosen) != 0 || chosen < 0 || chosen >= count) {
    std::fprintf(stderr, "[message box] %s: %s\n", request.caption.c_str(), request.text.c_str());
    return fallback;
  }
  return chosen;
}

void Platform::ShowNotice(const std::string& text) {
  if (options_.headless && !text.empty()) std::fprintf(stderr, "[notice] %s\n", text.c_str());
}

}  // namespace platform
