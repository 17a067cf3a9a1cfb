// Pushing SDL input events, so tests can drive the platform's real event path.
#pragma once

#include <SDL2/SDL.h>

namespace testing_support {

inline bool PushKey(SDL_Scancode code, bool down = true) {
  SDL_Event ev{};
  ev.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  ev.key.keysym.scancode = code;
  return SDL_PushEvent(&ev) == 1;
}

inline bool PushText(const char* text) {
  SDL_Event ev{};
  ev.type = SDL_TEXTINPUT;
  SDL_strlcpy(ev.text.text, text, sizeof ev.text.text);
  return SDL_PushEvent(&ev) == 1;
}

inline bool PushMouseMove(int x, int y) {
  SDL_Event ev{};
  ev.type = SDL_MOUSEMOTION;
  ev.motion.x = x;
  ev.motion.y = y;
  return SDL_PushEvent(&ev) == 1;
}

inline bool PushMouseButton(Uint8 button, int x, int y, bool down) {
  SDL_Event ev{};
  ev.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  ev.button.button = button;
  ev.button.x = x;
  ev.button.y = y;
  return SDL_PushEvent(&ev) == 1;
}

}  // namespace testing_support
