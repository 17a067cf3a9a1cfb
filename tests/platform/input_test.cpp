// Input state: key state by scan code and virtual key, mouse, controllers, axis and hat scaling.
#include <gtest/gtest.h>

#include "platform/input.h"

namespace {

using platform::EventKind;
using platform::InputEvent;
using platform::InputState;

InputEvent Key(EventKind kind, uint8_t scan, bool extended, uint8_t vk) {
  InputEvent e;
  e.kind = kind;
  e.scan = scan;
  e.extended = extended;
  e.vk = vk;
  return e;
}

TEST(InputState, ModifierStaysDownWhileEitherSideIsHeld) {
  InputState s;
  s.Apply(Key(EventKind::kKeyDown, 0x2A, false, 0x10));  // left shift
  s.Apply(Key(EventKind::kKeyDown, 0x36, false, 0x10));  // right shift
  EXPECT_TRUE(s.vkDown[0x10] && s.vkDown[0xA0] && s.vkDown[0xA1]);
  s.Apply(Key(EventKind::kKeyUp, 0x2A, false, 0x10));
  EXPECT_TRUE(s.vkDown[0x10]);
  EXPECT_FALSE(s.vkDown[0xA0]);
  s.Apply(Key(EventKind::kKeyUp, 0x36, false, 0x10));
  EXPECT_FALSE(s.vkDown[0x10]);

  s.Apply(Key(EventKind::kKeyDown, 0x1D, true, 0x11));  // right ctrl
  EXPECT_TRUE(s.vkDown[0x11] && s.vkDown[0xA3]);
  EXPECT_FALSE(s.vkDown[0xA2]);
}

TEST(InputState, KeysSharingAScanCode) {
  InputState s;
  s.Apply(Key(EventKind::kKeyDown, 0x48, true, 0x26));   // arrow up
  s.Apply(Key(EventKind::kKeyDown, 0x48, false, 0x68));  // keypad 8
  s.Apply(Key(EventKind::kKeyUp, 0x48, true, 0x26));
  EXPECT_TRUE(s.scanDown[0x48]);
  EXPECT_FALSE(s.vkDown[0x26]);
  EXPECT_TRUE(s.vkDown[0x68]);
  s.Apply(Key(EventKind::kKeyUp, 0x48, false, 0x68));
  EXPECT_FALSE(s.scanDown[0x48]);
  EXPECT_FALSE(s.AnyKeyDown());
}

TEST(InputState, MouseButtonsAreBitsAndVirtualKeys) {
  InputState s;
  InputEvent e;
  e.kind = EventKind::kMouseButton;
  e.index = 1;
  e.down = true;
  s.Apply(e);
  EXPECT_EQ(s.mouseButtons, 2u);
  EXPECT_TRUE(s.vkDown[0x02]);
  e.index = 2;
  s.Apply(e);
  EXPECT_EQ(s.mouseButtons, 6u);
  EXPECT_TRUE(s.vkDown[0x04]);
  e.index = 1;
  e.down = false;
  s.Apply(e);
  EXPECT_EQ(s.mouseButtons, 4u);
}

TEST(InputState, ControllersResetWhenPluggedOrUnplugged) {
  InputState s;
  InputEvent e;
  e.kind = EventKind::kPadAdded;
  e.pad = 1;
  s.Apply(e);
  EXPECT_TRUE(s.pads[1].present);
  e.kind = EventKind::kPadButton;
  e.index = 31;
  e.down = true;
  s.Apply(e);
  EXPECT_EQ(s.pads[1].buttons, 0x80000000u);
  e.kind = EventKind::kPadHat;
  e.index = 3;
  e.value = 9000;
  s.Apply(e);
  EXPECT_EQ(s.pads[1].hats[3], 9000);
  e.kind = EventKind::kPadRemoved;
  s.Apply(e);
  EXPECT_EQ(s.pads[1], platform::PadState{});
  EXPECT_EQ(s.pads[1].hats[0], platform::kHatCentred);
  // Out-of-range controller numbers are ignored, not written past the array.
  e.kind = EventKind::kPadAxis;
  e.pad = 2;
  s.Apply(e);
  EXPECT_EQ(s.pads[0], platform::PadState{});
}

TEST(AxisScaling, DeadZoneAndFullRange) {
  EXPECT_EQ(platform::ScaleAxis(0), 0);
  EXPECT_EQ(platform::ScaleAxis(4915), 0);   // 15 % of the way: still centred
  EXPECT_EQ(platform::ScaleAxis(-4915), 0);
  EXPECT_GT(platform::ScaleAxis(5000), 0);
  EXPECT_EQ(platform::ScaleAxis(32767), 1000);
  EXPECT_EQ(platform::ScaleAxis(-32768), -1000);
  EXPECT_EQ(platform::ScaleAxis(18841), 500);  // half-way between the dead zone and the end
}

TEST(HatAngles, EightDirectionsAndCentre) {
  EXPECT_EQ(platform::HatAngle(0), platform::kHatCentred);
  EXPECT_EQ(platform::HatAngle(1), 0);
  EXPECT_EQ(platform::HatAngle(2), 9000);
  EXPECT_EQ(platform::HatAngle(4), 18000);
  EXPECT_EQ(platform::HatAngle(8), 27000);
  EXPECT_EQ(platform::HatAngle(9), 31500);
  EXPECT_EQ(platform::HatAngle(6), 13500);
  EXPECT_EQ(platform::kHatCentred & 0xFFFF, 0xFFFF);
}

}  // namespace
