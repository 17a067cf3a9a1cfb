// Input events and the input state they build: what the SDL back end and the input-script replay
// both produce. No SDL here, so tests and the engine read it without a window.
#pragma once

#include <cstdint>

namespace platform {

enum class EventKind : uint8_t {
  kKeyDown,      // scan, extended, vk; repeats while held
  kKeyUp,        // scan, extended, vk
  kCharacter,    // character (8-bit) and the scan code of the key that typed it
  kMouseMove,    // x, y in logical screen pixels
  kMouseButton,  // button (0 left, 1 right, 2 middle), down
  kPadAxis,      // pad (0, 1), index (PadAxis), value -1000..1000 after the dead zone
  kPadButton,    // pad, index 0..31, down
  kPadHat,       // pad, index 0..3, value in hundredths of a degree or kHatCentred
  kPadAdded,     // pad
  kPadRemoved,   // pad
  kActivate,     // the window became active
  kQuit,         // the user asked to close the window
  kStall,        // input scripts only: this pass takes `value` more clock units (a slow frame)
};

// Axes of a controller in the order the engine stores them.
enum PadAxis : uint8_t { kAxisX, kAxisY, kAxisZ, kAxisRx, kAxisRy, kAxisRz, kSlider0, kSlider1, kPadAxisCount };

inline constexpr int32_t kHatCentred = -1;  // low 16 bits all ones
inline constexpr int kPadCount = 2;

struct InputEvent {
  EventKind kind = EventKind::kKeyDown;
  uint8_t scan = 0;
  bool extended = false;
  uint8_t vk = 0;
  uint8_t character = 0;
  bool down = false;
  uint8_t pad = 0;
  uint8_t index = 0;  // mouse button, axis, controller button or hat
  int32_t x = 0;
  int32_t y = 0;
  int32_t value = 0;

  bool operator==(const InputEvent&) const = default;
};

struct PadState {
  bool present = false;
  int32_t axes[kPadAxisCount] = {};
  int32_t hats[4] = {kHatCentred, kHatCentred, kHatCentred, kHatCentred};
  uint32_t buttons = 0;  // bit i while button i is down

  bool operator==(const PadState&) const = default;
};

// The state every event updates. Key state is kept both by set-1 scan code and by virtual key,
// since the engine reads both; virtual keys 1, 2 and 4 follow the mouse buttons as on Windows.
struct InputState {
  bool scanDown[256] = {};
  bool vkDown[256] = {};
  int32_t mouseX = 0;
  int32_t mouseY = 0;
  uint32_t mouseButtons = 0;  // bit 0 left, bit 1 right, bit 2 middle
  PadState pads[kPadCount];

  void Apply(const InputEvent& event);
  bool AnyKeyDown() const;

  bool operator==(const InputState&) const = default;

 private:
  bool keyDown_[512] = {};  // by scan code, the extended keys in the upper half
};

// Scales a raw SDL axis (-32768..32767) to -1000..1000 with a dead zone of 1500/10000 around the
// centre; the rest of the range is stretched so the ends still reach -1000 and 1000.
int32_t ScaleAxis(int32_t raw);
// SDL hat bits (up 1, right 2, down 4, left 8) to hundredths of a degree clockwise from up.
int32_t HatAngle(uint8_t bits);

}  // namespace platform
