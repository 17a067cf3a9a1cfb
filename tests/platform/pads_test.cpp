// Controllers through the SDL window's real event path, with SDL's virtual devices: plugged in
// after start-up, read through the game-controller API when SDL knows the device and through the
// joystick API otherwise, and gone again when pulled out.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

using platform::EventKind;

class Pads : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::Options options;
    options.headless = true;
    options.virtualClock = true;
    std::string error;
    ASSERT_TRUE(platform.Start(options, &error)) << error;
    if (!platform.window->OpenControllers()) GTEST_SKIP() << "no joystick support in this SDL";
    Pump();
  }
  void TearDown() override { platform.Shutdown(); }
  const platform::InputState& Pump() {
    std::vector<platform::InputEvent> events;
    // SDL applies a virtual device's new state at its next update, a pass later.
    for (int i = 0; i < 2; ++i) platform.window->PumpEvents(&events);
    return platform.window->Input();
  }
  // A virtual device; a game controller when `controller`, whose mapping SDL makes itself.
  int Attach(bool controller) {
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = controller ? SDL_JOYSTICK_TYPE_GAMECONTROLLER : SDL_JOYSTICK_TYPE_UNKNOWN;
    desc.naxes = controller ? SDL_CONTROLLER_AXIS_MAX : 4;
    desc.nbuttons = controller ? SDL_CONTROLLER_BUTTON_MAX : 12;
    desc.nhats = controller ? 0 : 1;
    desc.name = controller ? "test controller" : "test joystick";
    return SDL_JoystickAttachVirtualEx(&desc);
  }

  platform::Platform platform;
};

TEST_F(Pads, APlainJoystickPluggedInLateIsReadByIndex) {
  EXPECT_FALSE(platform.window->Input().pads[0].present);
  const int device = Attach(false);
  ASSERT_GE(device, 0) << SDL_GetError();
  ASSERT_FALSE(SDL_IsGameController(device));
  EXPECT_TRUE(Pump().pads[0].present);
  SDL_Joystick* joystick = SDL_JoystickOpen(device);  // a second handle, to drive the device
  ASSERT_NE(joystick, nullptr);
  SDL_JoystickSetVirtualAxis(joystick, 0, 32767);
  SDL_JoystickSetVirtualAxis(joystick, 1, 1000);  // inside the dead zone
  SDL_JoystickSetVirtualAxis(joystick, 3, -32768);
  SDL_JoystickSetVirtualButton(joystick, 5, SDL_PRESSED);
  SDL_JoystickSetVirtualHat(joystick, 0, SDL_HAT_RIGHT);
  const platform::PadState& pad = Pump().pads[0];
  EXPECT_EQ(pad.axes[platform::kAxisX], 1000);
  EXPECT_EQ(pad.axes[platform::kAxisY], 0);
  EXPECT_EQ(pad.axes[platform::kAxisRx], -1000);
  EXPECT_EQ(pad.buttons, 1u << 5);
  EXPECT_EQ(pad.hats[0], 9000);
  SDL_JoystickClose(joystick);
  ASSERT_EQ(SDL_JoystickDetachVirtual(device), 0);
  EXPECT_EQ(Pump().pads[0], platform::PadState{});
}

TEST_F(Pads, AGameControllerHasNamedSticksTriggersAndTheDpadAsTheFirstHat) {
  const int device = Attach(true);
  ASSERT_GE(device, 0) << SDL_GetError();
  if (!SDL_IsGameController(device)) GTEST_SKIP() << "this SDL makes no mapping for virtual controllers";
  EXPECT_TRUE(Pump().pads[0].present);
  SDL_Joystick* joystick = SDL_JoystickOpen(device);
  ASSERT_NE(joystick, nullptr);
  SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_LEFTX, -32768);
  SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_RIGHTY, 32767);
  SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767);
  SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_B, SDL_PRESSED);
  SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_DPAD_UP, SDL_PRESSED);
  SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, SDL_PRESSED);
  const platform::PadState& pad = Pump().pads[0];
  EXPECT_EQ(pad.axes[platform::kAxisX], -1000);
  EXPECT_EQ(pad.axes[platform::kAxisRy], 1000);
  EXPECT_EQ(pad.axes[platform::kAxisRz], 1000);
  EXPECT_EQ(pad.axes[platform::kAxisZ], 0);
  // The d-pad is a hat, not buttons.
  EXPECT_EQ(pad.buttons, 1u << SDL_CONTROLLER_BUTTON_B);
  EXPECT_EQ(pad.hats[0], 4500);
  SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_DPAD_UP, SDL_RELEASED);
  SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, SDL_RELEASED);
  EXPECT_EQ(Pump().pads[0].hats[0], platform::kHatCentred);
  // A second device takes the second slot.
  const int second = Attach(false);
  ASSERT_GE(second, 0);
  EXPECT_TRUE(Pump().pads[1].present);
  SDL_JoystickClose(joystick);
  SDL_JoystickDetachVirtual(second);
  SDL_JoystickDetachVirtual(device);
  EXPECT_FALSE(Pump().pads[0].present);
}

}  // namespace
