// Input instructions: what brains read of the player's devices. Keys are read from the window's
// input state at the moment of the call; the pointer and the controllers as the last pump pass
// left them. Calls the current engine's platform window and the platform's port access.
//
// | Instruction              | Arguments | Effect                                                   |
// |--------------------------|-----------|----------------------------------------------------------|
// | keyboard                 | key       | -1 while the key is down, else 0; key 0..255 is a scan   |
// |                          |           | code, else a text holding a key name (any case)          |
// | scancode                 |           | the lowest scan code down, else 0                        |
// | any_input                |           | -1 when a key (virtual keys 8-15, 19-135), a mouse       |
// |                          |           | button or a button of either controller is down, else 0  |
// | any_input_exit           | target    | exit target when any_input holds or the pointer moved    |
// |                          |           | since the last rendered frame                            |
// | mouse_x, mouse_y         |           | the pointer of the last pump pass, on the screen         |
// | mouse_click              |           | button bits of the last pass: 1 left, 2 right, 4 middle  |
// | mouse_set                | x, y      | puts the pointer there (clamped to the screen)           |
// | mouse_on, mouse_off      |           | nothing                                                  |
// | joy1_x ... joy2_z        | lo, hi    | the axis scaled: +1000 gives lo, -1000 gives hi          |
// | joy1_xr ... joy2_zr      |           | the rotation axis, -1000..1000                           |
// | joy_b (joy1_b), joy2_b   | mask      | mask & the button word rotated left by 4                 |
// | joy1_dir1 ... joy2_dir4  |           | the hat as an angle (x 512 / 100), -1 when centred       |
// | input_process            |           | one pump pass now; the next tick one period from now     |
// | input_b, input_w, input_d| port      | the port's byte (signed), word or double word; 0 unless  |
// |                          |           | the run allows ports and the system grants the port      |
// | output_b ... output_d    | port, val | writes the low byte, word or double word likewise        |
//
// An absent controller reads centred axes and hats and no buttons.
#include "instructions/input.h"

#include <cstdio>
#include <cstring>
#include <functional>

#include "instructions/arguments.h"

namespace instructions {

int32_t ScaleAxisTo(int32_t axis, int32_t lo, int32_t hi) {
  // lo + t for both orders: for lo > hi the range is walked downwards and still ends at hi.
  const int64_t t = (int64_t{1000} - axis) * (int64_t{hi} - lo) / 2000;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(lo) + t));
}

int32_t HatToAngle(int32_t hat) {
  if ((static_cast<uint32_t>(hat) & 0xFFFFu) == 0xFFFFu) return -1;
  return static_cast<int32_t>(int64_t{hat} * 512 / 100);
}

namespace {

const platform::InputState& Input() { return state::Current().platform.window->Input(); }

// Controller `pad` (0 or 1) when it is plugged in; nullptr otherwise.
const platform::PadState* Pad(int pad) {
  const platform::PadState& state = Input().pads[pad];
  return state.present ? &state : nullptr;
}

// [SECTION] Keyboard

bool VirtualKeyDown(const platform::InputState& input, uint8_t vk) { return vk != 0 && input.vkDown[vk]; }

bool keyboard(brain::Regs* regs, std::string*) {
  const state::Engine& engine = state::Current();
  uint8_t scan = 0;
  if (regs->eax <= 255) {
    scan = static_cast<uint8_t>(regs->eax);
  } else {
    // The name is matched without regard to case and never rewritten: the text is the brain's
    // constant, shared by every use of the literal.
    scan = platform::ScanCodeFromName(TextArgumentView(engine, regs->eax));
  }
  const bool down = scan != 0 && VirtualKeyDown(Input(), platform::VirtualKeyFromScanCode(scan));
  regs->eax = down ? 0xFFFFFFFFu : 0u;
  return true;
}

bool scancode(brain::Regs* regs, std::string*) {
  const platform::InputState& input = Input();
  const void* down = std::memchr(input.scanDown + 1, true, 255);
  regs->eax = down != nullptr ? static_cast<uint32_t>(static_cast<const bool*>(down) - input.scanDown) : 0u;
  return true;
}

// The scan code of the first virtual key down among 8-15 and 19-135, or 0. Modifier keys alone
// (16-18) and the punctuation keys above 135 are not input here.
uint8_t AnyKeyCode(const platform::InputState& input) {
  const void* down = std::memchr(input.vkDown + 8, true, 8);
  if (down == nullptr) down = std::memchr(input.vkDown + 19, true, 135 - 19 + 1);
  if (down == nullptr) return 0;
  const auto vk = static_cast<uint8_t>(static_cast<const bool*>(down) - input.vkDown);
  const uint8_t scan = platform::ScanCodeFromVirtualKey(vk);
  // A key down without a scan code of its own still counts as input.
  return scan != 0 ? scan : vk;
}

bool AnyInput() {
  const platform::InputState& input = Input();
  if (AnyKeyCode(input) != 0) return true;
  if ((input.mouseButtons & 7u) != 0) return true;
  for (int pad = 0; pad < platform::kPadCount; ++pad) {
    const platform::PadState* state = Pad(pad);
    if (state != nullptr && state->buttons != 0) return true;
  }
  return false;
}

bool any_input(brain::Regs* regs, std::string*) {
  regs->eax = AnyInput() ? 0xFFFFFFFFu : 0u;
  return true;
}

bool any_input_exit(brain::Regs* regs, std::string*) {
  state::Engine& engine = state::Current();
  const auto target = static_cast<int32_t>(regs->eax);
  const bool moved = engine.mouseX != engine.frameMouseX || engine.mouseY != engine.frameMouseY;
  // -1 is "play on", as for exit.
  if ((moved || AnyInput()) && target != state::kExitNone && engine.play) engine.play->exitTarget = target;
  regs->eax = 0;
  return true;
}

// [SECTION] Mouse

bool mouse_x(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(state::Current().mouseX);
  return true;
}

bool mouse_y(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(state::Current().mouseY);
  return true;
}

bool mouse_click(brain::Regs* regs, std::string*) {
  regs->eax = state::Current().mouseButtons & 7u;
  return true;
}

// The window clamps the position to its frame, so any pair of numbers is safe.
bool mouse_set(brain::Regs* regs, std::string*) {
  state::Current().platform.window->SetMousePosition(static_cast<int32_t>(regs->eax), static_cast<int32_t>(regs->ebx));
  regs->eax = 0;
  return true;
}

bool mouse_on(brain::Regs* regs, std::string*) {
  regs->eax = 0;
  return true;
}

bool mouse_off(brain::Regs* regs, std::string*) {
  regs->eax = 0;
  return true;
}

// [SECTION] Controllers

int32_t Axis(int pad, platform::PadAxis axis) {
  const platform::PadState* state = Pad(pad);
  return state != nullptr ? state->axes[axis] : 0;
}

template <int kPad, platform::PadAxis kAxis>
bool ScaledAxis(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(
      ScaleAxisTo(Axis(kPad, kAxis), static_cast<int32_t>(regs->eax), static_cast<int32_t>(regs->ebx)));
  return true;
}

template <int kPad, platform::PadAxis kAxis>
bool RawAxis(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(Axis(kPad, kAxis));
  return true;
}

// Button i answers to bit i + 4; buttons 28 to 31 wrap round to bits 0 to 3.
template <int kPad>
bool Buttons(brain::Regs* regs, std::string*) {
  const platform::PadState* state = Pad(kPad);
  const uint32_t word = state != nullptr ? state->buttons : 0u;
  regs->eax &= (word << 4) | (word >> 28);
  return true;
}

template <int kPad, int kHat>
bool Hat(brain::Regs* regs, std::string*) {
  const platform::PadState* state = Pad(kPad);
  regs->eax = static_cast<uint32_t>(HatToAngle(state != nullptr ? state->hats[kHat] : platform::kHatCentred));
  return true;
}

bool input_process(brain::Regs* regs, std::string*) {
  state::Engine& engine = state::Current();
  if (engine.hooks.pumpInput) engine.hooks.pumpInput();
  if (engine.play) engine.play->deadline = engine.platform.clock().Now() + engine.tickPeriod;
  regs->eax = 0;
  return true;
}

// [SECTION] Ports

// Port access is off unless the run asked for it: a game's brain must not drive the machine's
// hardware by default. Refusals are said once per play.
bool PortsRefused(const char* name, uint32_t port, bool allowed) {
  if (allowed) return false;
  state::Engine& engine = state::Current();
  if (engine.play && !engine.play->portsNoticeGiven) {
    engine.play->portsNoticeGiven = true;
    if (!engine.options.allowPorts) {
      std::fprintf(stderr, "main: %s: port access is off (run with --allow-ports); ports read 0 and writes are dropped\n",
                   name);
    } else {
      std::fprintf(stderr, "main: %s: the system refused port 0x%X; ports it refuses read 0 and writes are dropped\n",
                   name, static_cast<unsigned>(port));
    }
  }
  return true;
}

template <int kBytes>
bool ReadPortAs(const char* name, brain::Regs* regs) {
  const uint32_t port = regs->eax;
  uint32_t value = 0;
  const bool ok = state::Current().options.allowPorts && platform::ReadPort(port, kBytes, &value);
  if (PortsRefused(name, port, ok)) value = 0;
  if (kBytes == 1) value = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(value)));
  else if (kBytes == 2) value &= 0xFFFFu;
  regs->eax = value;
  return true;
}

template <int kBytes>
bool WritePortAs(const char* name, brain::Regs* regs) {
  const uint32_t port = regs->eax;
  const bool ok = state::Current().options.allowPorts && platform::WritePort(port, kBytes, regs->ebx);
  PortsRefused(name, port, ok);
  regs->eax = 0;
  return true;
}

bool input_b(brain::Regs* regs, std::string*) { return ReadPortAs<1>("input_b", regs); }
bool input_w(brain::Regs* regs, std::string*) { return ReadPortAs<2>("input_w", regs); }
bool input_d(brain::Regs* regs, std::string*) { return ReadPortAs<4>("input_d", regs); }
bool output_b(brain::Regs* regs, std::string*) { return WritePortAs<1>("output_b", regs); }
bool output_w(brain::Regs* regs, std::string*) { return WritePortAs<2>("output_w", regs); }
bool output_d(brain::Regs* regs, std::string*) { return WritePortAs<4>("output_d", regs); }

using platform::kAxisRx;
using platform::kAxisRy;
using platform::kAxisRz;
using platform::kAxisX;
using platform::kAxisY;
using platform::kAxisZ;

// joy_b and joy1_b share one slot: only joy1_b is bound.
constexpr brain::RoutineEntry kRoutines[] = {
    {"keyboard", keyboard},
    {"scancode", scancode},
    {"any_input", any_input},
    {"any_input_exit", any_input_exit},
    {"mouse_x", mouse_x},
    {"mouse_y", mouse_y},
    {"mouse_click", mouse_click},
    {"mouse_set", mouse_set},
    {"mouse_on", mouse_on},
    {"mouse_off", mouse_off},
    {"joy1_x", ScaledAxis<0, kAxisX>},
    {"joy1_y", ScaledAxis<0, kAxisY>},
    {"joy1_z", ScaledAxis<0, kAxisZ>},
    {"joy2_x", ScaledAxis<1, kAxisX>},
    {"joy2_y", ScaledAxis<1, kAxisY>},
    {"joy2_z", ScaledAxis<1, kAxisZ>},
    {"joy1_xr", RawAxis<0, kAxisRx>},
    {"joy1_yr", RawAxis<0, kAxisRy>},
    {"joy1_zr", RawAxis<0, kAxisRz>},
    {"joy2_xr", RawAxis<1, kAxisRx>},
    {"joy2_yr", RawAxis<1, kAxisRy>},
    {"joy2_zr", RawAxis<1, kAxisRz>},
    {"joy1_b", Buttons<0>},
    {"joy2_b", Buttons<1>},
    {"joy1_dir1", Hat<0, 0>},
    {"joy1_dir2", Hat<0, 1>},
    {"joy1_dir3", Hat<0, 2>},
    {"joy1_dir4", Hat<0, 3>},
    {"joy2_dir1", Hat<1, 0>},
    {"joy2_dir2", Hat<1, 1>},
    {"joy2_dir3", Hat<1, 2>},
    {"joy2_dir4", Hat<1, 3>},
    {"input_process", input_process},
    {"input_b", input_b},
    {"input_w", input_w},
    {"input_d", input_d},
    {"output_b", output_b},
    {"output_w", output_w},
    {"output_d", output_d},
};

}  // namespace

std::span<const brain::RoutineEntry> InputRoutines() { return kRoutines; }

}  // namespace instructions
