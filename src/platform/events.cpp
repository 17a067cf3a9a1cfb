// The SDL window's input pump: SDL events and the input script's due events turned into input
// events; the pointer and the cursor.
#include <algorithm>

#include "platform/sdl_backend.h"

namespace platform {
namespace {

// Keys that type a control character on Windows, which SDL reports as key events only.
uint8_t ControlCharacter(SDL_Scancode code) {
  switch (code) {
    case SDL_SCANCODE_BACKSPACE: return 8;
    case SDL_SCANCODE_TAB: return 9;
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER: return 13;
    case SDL_SCANCODE_ESCAPE: return 27;
    default: return 0;
  }
}

// Appends one character event per code point below 256 of the UTF-8 text; others are dropped,
// since the engine's text is 8-bit.
void AppendText(const char* text, uint8_t scan, std::vector<InputEvent>* out) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) {
    uint32_t code = *p;
    int extra = code < 0x80 ? 0 : (code & 0xE0) == 0xC0 ? 1 : (code & 0xF0) == 0xE0 ? 2 : (code & 0xF8) == 0xF0 ? 3 : -1;
    ++p;
    if (extra < 0) continue;
    code &= extra == 0 ? 0x7F : (0x3F >> extra);
    bool ok = true;
    for (int i = 0; i < extra; ++i, ++p) {
      if ((*p & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      code = (code << 6) | (*p & 0x3F);
    }
    if (!ok || code > 255) continue;
    InputEvent e;
    e.kind = EventKind::kCharacter;
    e.character = static_cast<uint8_t>(code);
    e.scan = scan;
    out->push_back(e);
  }
}

// The engine's axis for a game-controller axis: the sticks as x/y and rx/ry, the triggers as z
// and rz (0..1000, since a trigger rests at 0).
int AxisOfControllerAxis(uint8_t axis) {
  switch (axis) {
    case SDL_CONTROLLER_AXIS_LEFTX: return kAxisX;
    case SDL_CONTROLLER_AXIS_LEFTY: return kAxisY;
    case SDL_CONTROLLER_AXIS_RIGHTX: return kAxisRx;
    case SDL_CONTROLLER_AXIS_RIGHTY: return kAxisRy;
    case SDL_CONTROLLER_AXIS_TRIGGERLEFT: return kAxisZ;
    case SDL_CONTROLLER_AXIS_TRIGGERRIGHT: return kAxisRz;
    default: return -1;
  }
}

// The hat bit of a d-pad button, or 0 for any other button.
uint8_t DpadBit(uint8_t button) {
  switch (button) {
    case SDL_CONTROLLER_BUTTON_DPAD_UP: return SDL_HAT_UP;
    case SDL_CONTROLLER_BUTTON_DPAD_RIGHT: return SDL_HAT_RIGHT;
    case SDL_CONTROLLER_BUTTON_DPAD_DOWN: return SDL_HAT_DOWN;
    case SDL_CONTROLLER_BUTTON_DPAD_LEFT: return SDL_HAT_LEFT;
    default: return 0;
  }
}

}  // namespace

int SdlWindow::Pads::SlotOf(SDL_JoystickID instance) const {
  for (int i = 0; i < kPadCount; ++i) {
    if (joystick[i] != nullptr && id[i] == instance) return i;
  }
  return -1;
}

int SdlWindow::Pads::JoystickSlotOf(SDL_JoystickID instance) const {
  const int slot = SlotOf(instance);
  return slot >= 0 && controller[slot] == nullptr ? slot : -1;
}

void SdlWindow::Pads::Close(int slot) {
  // A game controller owns its joystick: closing the controller closes both.
  if (controller[slot] != nullptr) SDL_GameControllerClose(controller[slot]);
  else if (joystick[slot] != nullptr) SDL_JoystickClose(joystick[slot]);
  controller[slot] = nullptr;
  joystick[slot] = nullptr;
  id[slot] = -1;
  dpad[slot] = 0;
}

void SdlWindow::TranslateSdlEvents(std::vector<InputEvent>* out) {
  int32_t mouseX = feed_.state().mouseX;
  int32_t mouseY = feed_.state().mouseY;
  SDL_Event ev;
  while (SDL_PollEvent(&ev) != 0) {
    InputEvent e;
    switch (ev.type) {
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        const KeyCode key = KeyFromSdlScancode(ev.key.keysym.scancode);
        if (key.scan == 0 && key.vk == 0) break;
        e.kind = ev.type == SDL_KEYDOWN ? EventKind::kKeyDown : EventKind::kKeyUp;
        e.scan = key.scan;
        e.extended = key.extended;
        e.vk = key.vk;
        out->push_back(e);
        if (ev.type == SDL_KEYDOWN) {
          lastKeyScan_ = key.scan;
          if (const uint8_t c = ControlCharacter(ev.key.keysym.scancode)) {
            InputEvent typed;
            typed.kind = EventKind::kCharacter;
            typed.character = c;
            typed.scan = key.scan;
            out->push_back(typed);
          }
        }
        break;
      }
      case SDL_TEXTINPUT:
        AppendText(ev.text.text, lastKeyScan_, out);
        break;
      case SDL_MOUSEMOTION:
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        if (!IsOpen()) break;
        const int wx = ev.type == SDL_MOUSEMOTION ? ev.motion.x : ev.button.x;
        const int wy = ev.type == SDL_MOUSEMOTION ? ev.motion.y : ev.button.y;
        const SDL_Rect box = Letterbox();
        e.kind = EventKind::kMouseMove;
        e.x = box.w > 0 ? std::clamp((wx - box.x) * width_ / box.w, 0, width_ - 1) : 0;
        e.y = box.h > 0 ? std::clamp((wy - box.y) * height_ / box.h, 0, height_ - 1) : 0;
        // A button event repeats the pointer position; report a move only when it changed.
        if (e.x != mouseX || e.y != mouseY) out->push_back(e);
        mouseX = e.x;
        mouseY = e.y;
        if (ev.type != SDL_MOUSEMOTION) {
          const int index = ev.button.button == SDL_BUTTON_LEFT    ? 0
                            : ev.button.button == SDL_BUTTON_RIGHT ? 1
                            : ev.button.button == SDL_BUTTON_MIDDLE ? 2
                                                                    : -1;
          if (index < 0) break;
          InputEvent button;
          button.kind = EventKind::kMouseButton;
          button.index = static_cast<uint8_t>(index);
          button.down = ev.type == SDL_MOUSEBUTTONDOWN;
          out->push_back(button);
        }
        break;
      }
      case SDL_JOYDEVICEADDED: {
        if (!pads_.available) break;
        const auto slot = std::find(std::begin(pads_.joystick), std::end(pads_.joystick), nullptr);
        if (slot == std::end(pads_.joystick)) break;
        // Devices arrive here whenever they are plugged in, before or during a play.
        SDL_GameController* controller = nullptr;
        SDL_Joystick* joystick = nullptr;
        if (SDL_WasInit(SDL_INIT_GAMECONTROLLER) != 0 && SDL_IsGameController(ev.jdevice.which)) {
          controller = SDL_GameControllerOpen(ev.jdevice.which);
          if (controller != nullptr) joystick = SDL_GameControllerGetJoystick(controller);
        }
        if (joystick == nullptr) joystick = SDL_JoystickOpen(ev.jdevice.which);
        if (joystick == nullptr) break;  // a controller that cannot be opened stays absent
        const int index = static_cast<int>(slot - std::begin(pads_.joystick));
        pads_.joystick[index] = joystick;
        pads_.controller[index] = controller;
        pads_.id[index] = SDL_JoystickInstanceID(joystick);
        pads_.dpad[index] = 0;
        e.kind = EventKind::kPadAdded;
        e.pad = static_cast<uint8_t>(index);
        out->push_back(e);
        break;
      }
      case SDL_JOYDEVICEREMOVED: {
        const int index = pads_.SlotOf(ev.jdevice.which);
        if (index < 0) break;
        pads_.Close(index);
        e.kind = EventKind::kPadRemoved;
        e.pad = static_cast<uint8_t>(index);
        out->push_back(e);
        break;
      }
      case SDL_JOYAXISMOTION: {
        const int index = pads_.JoystickSlotOf(ev.jaxis.which);
        if (index < 0 || ev.jaxis.axis >= kPadAxisCount) break;
        e.kind = EventKind::kPadAxis;
        e.pad = static_cast<uint8_t>(index);
        e.index = ev.jaxis.axis;
        e.value = ScaleAxis(ev.jaxis.value);
        out->push_back(e);
        break;
      }
      case SDL_JOYHATMOTION: {
        const int index = pads_.JoystickSlotOf(ev.jhat.which);
        if (index < 0 || ev.jhat.hat >= 4) break;
        e.kind = EventKind::kPadHat;
        e.pad = static_cast<uint8_t>(index);
        e.index = ev.jhat.hat;
        e.value = HatAngle(ev.jhat.value);
        out->push_back(e);
        break;
      }
      case SDL_JOYBUTTONDOWN:
      case SDL_JOYBUTTONUP: {
        const int index = pads_.JoystickSlotOf(ev.jbutton.which);
        if (index < 0 || ev.jbutton.button >= 32) break;
        e.kind = EventKind::kPadButton;
        e.pad = static_cast<uint8_t>(index);
        e.index = ev.jbutton.button;
        e.down = ev.type == SDL_JOYBUTTONDOWN;
        out->push_back(e);
        break;
      }
      case SDL_CONTROLLERAXISMOTION: {
        const int index = pads_.SlotOf(ev.caxis.which);
        const int axis = AxisOfControllerAxis(ev.caxis.axis);
        if (index < 0 || pads_.controller[index] == nullptr || axis < 0) break;
        e.kind = EventKind::kPadAxis;
        e.pad = static_cast<uint8_t>(index);
        e.index = static_cast<uint8_t>(axis);
        e.value = ScaleAxis(ev.caxis.value);
        out->push_back(e);
        break;
      }
      case SDL_CONTROLLERBUTTONDOWN:
      case SDL_CONTROLLERBUTTONUP: {
        const int index = pads_.SlotOf(ev.cbutton.which);
        if (index < 0 || pads_.controller[index] == nullptr || ev.cbutton.button >= 32) break;
        const bool down = ev.type == SDL_CONTROLLERBUTTONDOWN;
        e.pad = static_cast<uint8_t>(index);
        // The d-pad is hat 1; the other buttons keep SDL's numbering.
        if (const uint8_t bit = DpadBit(ev.cbutton.button); bit != 0) {
          pads_.dpad[index] = down ? (pads_.dpad[index] | bit) : (pads_.dpad[index] & ~bit);
          e.kind = EventKind::kPadHat;
          e.index = 0;
          e.value = HatAngle(pads_.dpad[index]);
        } else {
          e.kind = EventKind::kPadButton;
          e.index = ev.cbutton.button;
          e.down = down;
        }
        out->push_back(e);
        break;
      }
      case SDL_WINDOWEVENT:
        if (ev.window.event == SDL_WINDOWEVENT_FOCUS_GAINED || ev.window.event == SDL_WINDOWEVENT_SHOWN) {
          e.kind = EventKind::kActivate;
          out->push_back(e);
        }
        break;
      case SDL_QUIT:
        e.kind = EventKind::kQuit;
        out->push_back(e);
        break;
      default:
        break;
    }
  }
}

void SdlWindow::PumpEvents(std::vector<InputEvent>* out) {
  const size_t first = out->size();
  if (started_) TranslateSdlEvents(out);
  feed_.FinishPass(out, first, width_, height_);  // 0 x 0 without a window: nothing to clamp to
}

void SdlWindow::SetMousePosition(int x, int y) {
  if (!IsOpen()) return;
  x = std::clamp(x, 0, width_ - 1);
  y = std::clamp(y, 0, height_ - 1);
  if (!options_.headless) {
    const SDL_Rect box = Letterbox();
    SDL_WarpMouseInWindow(native_, box.x + x * box.w / width_, box.y + y * box.h / height_);
  }
  // The pointer is where it was put, whether or not the system reports the move back.
  feed_.state().mouseX = x;
  feed_.state().mouseY = y;
}

void SdlWindow::ShowCursor(bool show) {
  if (started_ && !options_.headless) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

}  // namespace platform
