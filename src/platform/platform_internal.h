// Internals shared by the platform's source files; nothing outside src/platform/ includes this.
#pragma once

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include "platform/platform.h"

namespace platform {

struct Platform::Window {
  SDL_Window* window = nullptr;
  SDL_GLContext context = nullptr;
  int width = 0;  // logical size
  int height = 0;
  GLuint frame = 0;  // framebuffer of the logical size that every frame is drawn into
  GLuint colour = 0;
  GLuint depth = 0;
  GLuint presented = 0;  // copy of the last presented frame, kept when a screenshot may need it
  GLuint presentedColour = 0;
  std::string renderer;

  // Where the logical frame lands in the window (letterbox), in window coordinates.
  SDL_Rect Letterbox() const;
};

struct Platform::Pads {
  SDL_Joystick* joystick[kPadCount] = {};
  SDL_JoystickID id[kPadCount] = {-1, -1};
  bool available = false;  // the joystick subsystem started

  int SlotOf(SDL_JoystickID instance) const;
};

}  // namespace platform
