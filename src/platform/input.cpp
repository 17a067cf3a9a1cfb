// Input state updates shared by the SDL back end and the input-script replay.
#include "platform/input.h"

#include <algorithm>
#include <cstdlib>

namespace platform {
namespace {

constexpr uint8_t kVkShift = 0x10, kVkControl = 0x11, kVkMenu = 0x12;
constexpr uint8_t kVkLShift = 0xA0, kVkRShift = 0xA1, kVkLControl = 0xA2, kVkRControl = 0xA3, kVkLMenu = 0xA4,
                  kVkRMenu = 0xA5;
constexpr uint8_t kMouseVk[3] = {0x01, 0x02, 0x04};

// The side-specific virtual key of a modifier, which Windows reports beside the generic one.
uint8_t SidedVirtualKey(const InputEvent& e) {
  switch (e.vk) {
    case kVkShift: return e.scan == 0x36 ? kVkRShift : kVkLShift;
    case kVkControl: return e.extended ? kVkRControl : kVkLControl;
    case kVkMenu: return e.extended ? kVkRMenu : kVkLMenu;
    default: return 0;
  }
}

}  // namespace

void InputState::Apply(const InputEvent& e) {
  switch (e.kind) {
    case EventKind::kKeyDown:
    case EventKind::kKeyUp: {
      const bool down = e.kind == EventKind::kKeyDown;
      // Two physical keys can share a scan code (an arrow and its keypad twin) or a generic
      // virtual key (the two shifts); a code stays down while either of its keys is held.
      keyDown_[e.scan + (e.extended ? 256 : 0)] = down;
      scanDown[e.scan] = keyDown_[e.scan] || keyDown_[e.scan + 256];
      if (const uint8_t sided = SidedVirtualKey(e)) {
        vkDown[sided] = down;
        if (e.vk == kVkShift) vkDown[kVkShift] = vkDown[kVkLShift] || vkDown[kVkRShift];
        if (e.vk == kVkControl) vkDown[kVkControl] = vkDown[kVkLControl] || vkDown[kVkRControl];
        if (e.vk == kVkMenu) vkDown[kVkMenu] = vkDown[kVkLMenu] || vkDown[kVkRMenu];
      } else if (e.vk != 0) {
        vkDown[e.vk] = down;
      }
      break;
    }
    case EventKind::kMouseMove:
      mouseX = e.x;
      mouseY = e.y;
      break;
    case EventKind::kMouseButton:
      if (e.index < 3) {
        const uint32_t bit = 1u << e.index;
        mouseButtons = e.down ? (mouseButtons | bit) : (mouseButtons & ~bit);
        vkDown[kMouseVk[e.index]] = e.down;
      }
      break;
    case EventKind::kPadAxis:
      if (e.pad < kPadCount && e.index < kPadAxisCount) pads[e.pad].axes[e.index] = e.value;
      break;
    case EventKind::kPadButton:
      if (e.pad < kPadCount && e.index < 32) {
        const uint32_t bit = 1u << e.index;
        pads[e.pad].buttons = e.down ? (pads[e.pad].buttons | bit) : (pads[e.pad].buttons & ~bit);
      }
      break;
    case EventKind::kPadHat:
      if (e.pad < kPadCount && e.index < 4) pads[e.pad].hats[e.index] = e.value;
      break;
    case EventKind::kPadAdded:
    case EventKind::kPadRemoved:
      if (e.pad < kPadCount) {
        pads[e.pad] = PadState{};
        pads[e.pad].present = e.kind == EventKind::kPadAdded;
      }
      break;
    case EventKind::kCharacter:
    case EventKind::kActivate:
    case EventKind::kQuit:
    case EventKind::kStall:
      break;
  }
}

bool InputState::AnyKeyDown() const {
  for (bool down : scanDown) {
    if (down) return true;
  }
  return false;
}

int32_t ScaleAxis(int32_t raw) {
  constexpr int32_t kFull = 32767;
  constexpr int32_t kDeadZone = kFull * 1500 / 10000;
  const int32_t magnitude = std::min(std::abs(raw), kFull);
  if (magnitude <= kDeadZone) return 0;
  const int32_t scaled = (magnitude - kDeadZone) * 1000 / (kFull - kDeadZone);
  return raw < 0 ? -scaled : scaled;
}

int32_t HatAngle(uint8_t bits) {
  switch (bits & 15) {
    case 1: return 0;
    case 3: return 4500;
    case 2: return 9000;
    case 6: return 13500;
    case 4: return 18000;
    case 12: return 22500;
    case 8: return 27000;
    case 9: return 31500;
    default: return kHatCentred;
  }
}

}  // namespace platform
