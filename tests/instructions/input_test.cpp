// The input instructions against an input state set by hand: key names and codes, the any-input
// scan, controller scaling, buttons and hats, absent controllers, the pointer and ports.
#include <cstring>

#include "instructions/input.h"
#include "routine_fixture.h"
#include "support/hand_window.h"

namespace {

using platform::InputState;

using testing_support::HandWindow;

class InputTest : public testing_support::RoutineTest {
 protected:
  void SetUp() override {
    RoutineTest::SetUp();
    auto window = std::make_unique<HandWindow>();
    hand = window.get();
    engine.platform.window = std::move(window);
  }
  void Press(uint8_t scan) {
    hand->state.scanDown[scan] = true;
    hand->state.vkDown[platform::VirtualKeyFromScanCode(scan)] = true;
  }
  void PlugIn(int pad) { hand->state.pads[pad] = platform::PadState{.present = true}; }

  HandWindow* hand = nullptr;
};

TEST_F(InputTest, KeyboardByCodeAndByNameInAnyCaseWithoutWritingTheText) {
  const uint32_t lower = Literal("e");
  const uint32_t upper = Literal("E");
  const uint32_t mixed = Literal("PageDown");
  const uint32_t unknown = Literal("NOSUCHKEY");
  EXPECT_EQ(Call("keyboard", lower), 0);
  Press(18);
  EXPECT_EQ(Call("keyboard", 18), -1);
  EXPECT_EQ(Call("keyboard", lower), -1);
  EXPECT_EQ(Call("keyboard", upper), -1);
  EXPECT_EQ(Call("keyboard", 19), 0);
  EXPECT_EQ(Call("keyboard", unknown), 0);
  EXPECT_EQ(Call("keyboard", 0), 0);
  // The constant stays as the brain wrote it.
  EXPECT_STREQ(arena.As<char>(core::Region::kStringStore), "e");
  Press(81);
  EXPECT_EQ(Call("keyboard", mixed), -1);
  // A number that is neither a code nor a literal reads nothing and touches nothing.
  EXPECT_EQ(Call("keyboard", 0x7FFFFFF0u), 0);
  EXPECT_EQ(Call("keyboard", 256), 0);
}

TEST_F(InputTest, ScancodeAndAnyInputScan) {
  EXPECT_EQ(Call("scancode"), 0);
  EXPECT_EQ(Call("any_input"), 0);
  // Modifier keys alone are no input for any_input, though scancode sees them.
  Press(42);  // left shift
  Press(29);  // ctrl
  Press(56);  // alt
  EXPECT_EQ(Call("any_input"), 0);
  EXPECT_EQ(Call("scancode"), 29);
  Press(30);  // A
  EXPECT_EQ(Call("any_input"), -1);
  hand->state = InputState{};
  // A punctuation key whose virtual key lies above 135 is no input either.
  Press(39);  // ';'
  ASSERT_GT(platform::VirtualKeyFromScanCode(39), 135);
  EXPECT_EQ(Call("any_input"), 0);
  hand->state = InputState{};
  Press(1);  // ESC, virtual key 27
  EXPECT_EQ(Call("any_input"), -1);
  hand->state = InputState{};
  hand->state.mouseButtons = 4;
  EXPECT_EQ(Call("any_input"), -1);
  hand->state = InputState{};
  PlugIn(1);
  hand->state.pads[1].buttons = 1u << 31;
  EXPECT_EQ(Call("any_input"), -1);
  // Buttons of a controller that is not plugged in are no input.
  hand->state.pads[1].present = false;
  EXPECT_EQ(Call("any_input"), 0);
}

TEST_F(InputTest, AxisScalingIncludingInvertedAndHugeRanges) {
  PlugIn(0);
  EXPECT_EQ(Call("joy1_x", 0, 100), 50);
  hand->state.pads[0].axes[platform::kAxisX] = 1000;
  EXPECT_EQ(Call("joy1_x", 0, 100), 0);
  hand->state.pads[0].axes[platform::kAxisX] = -1000;
  EXPECT_EQ(Call("joy1_x", 0, 100), 100);
  // An inverted range stays inside itself at both ends.
  EXPECT_EQ(Call("joy1_x", 100, 0), 0);
  hand->state.pads[0].axes[platform::kAxisX] = 1000;
  EXPECT_EQ(Call("joy1_x", 100, 0), 100);
  hand->state.pads[0].axes[platform::kAxisX] = 500;
  EXPECT_EQ(Call("joy1_x", 100, 0), 75);
  // lo = -hi, the usual inverted axis.
  EXPECT_EQ(Call("joy1_x", 50, static_cast<uint32_t>(-50)), 25);
  // The whole 32-bit range needs the 64-bit product.
  hand->state.pads[0].axes[platform::kAxisX] = -1000;
  EXPECT_EQ(Call("joy1_x", static_cast<uint32_t>(INT32_MIN), INT32_MAX), INT32_MAX);
  // Truncation toward zero: (1000 - 999) * 3 / 2000 is 0.
  EXPECT_EQ(instructions::ScaleAxisTo(999, 0, 3), 0);
  EXPECT_EQ(instructions::ScaleAxisTo(999, 0, -3), 0);
  // Each scaled axis reads its own controller and axis.
  hand->state.pads[0].axes[platform::kAxisY] = 1000;
  hand->state.pads[0].axes[platform::kAxisZ] = -1000;
  EXPECT_EQ(Call("joy1_y", 0, 10), 0);
  EXPECT_EQ(Call("joy1_z", 0, 10), 10);
  EXPECT_EQ(Call("joy2_x", 0, 10), 5);
  PlugIn(1);
  hand->state.pads[1].axes[platform::kAxisZ] = 1000;
  EXPECT_EQ(Call("joy2_z", 0, 10), 0);
}

TEST_F(InputTest, RotationAxesButtonsAndHats) {
  PlugIn(0);
  PlugIn(1);
  hand->state.pads[0].axes[platform::kAxisRx] = 123;
  hand->state.pads[0].axes[platform::kAxisRz] = -1000;
  hand->state.pads[1].axes[platform::kAxisRy] = 999;
  EXPECT_EQ(Call("joy1_xr"), 123);
  EXPECT_EQ(Call("joy1_zr"), -1000);
  EXPECT_EQ(Call("joy2_yr"), 999);
  EXPECT_EQ(Call("joy2_xr"), 0);

  EXPECT_EQ(Call("joy1_b", 16), 0);
  hand->state.pads[0].buttons = 1;
  EXPECT_EQ(Call("joy1_b", 16), 16);
  EXPECT_EQ(Call("joy_b", 16), 16);
  EXPECT_EQ(Call("joy2_b", 16), 0);
  // Buttons 28..31 wrap round to bits 0..3.
  hand->state.pads[1].buttons = 0xF0000000u;
  EXPECT_EQ(Call("joy2_b", 0xFFFFFFFFu), 0xF);
  EXPECT_EQ(Call("joy2_b", 2), 2);

  EXPECT_EQ(Call("joy1_dir1"), -1);
  hand->state.pads[0].hats[0] = 9000;
  EXPECT_EQ(Call("joy1_dir1"), 46080);
  hand->state.pads[0].hats[3] = 4500;
  EXPECT_EQ(Call("joy1_dir4"), 23040);
  hand->state.pads[1].hats[2] = 33;  // 33 * 512 / 100 = 168.96, truncated
  EXPECT_EQ(Call("joy2_dir3"), 168);
  // Any value whose low 16 bits are all ones is centred.
  hand->state.pads[1].hats[1] = 0x7FFFFFFF;
  EXPECT_EQ(Call("joy2_dir2"), -1);
}

TEST_F(InputTest, AnAbsentControllerReadsCentredAndIdle) {
  // Stale values of a pad that was pulled out must not leak through.
  hand->state.pads[0].axes[platform::kAxisX] = 1000;
  hand->state.pads[0].axes[platform::kAxisRx] = 700;
  hand->state.pads[0].hats[0] = 9000;
  hand->state.pads[0].buttons = 0xFFFFFFFFu;
  EXPECT_EQ(Call("joy1_x", 0, 100), 50);
  EXPECT_EQ(Call("joy1_xr"), 0);
  EXPECT_EQ(Call("joy1_dir1"), -1);
  EXPECT_EQ(Call("joy1_b", 0xFFFFFFFFu), 0);
}

TEST_F(InputTest, PointerReadsSetAndAnyInputExit) {
  engine.mouseX = 639;
  engine.mouseY = 12;
  engine.mouseButtons = 5;
  EXPECT_EQ(Call("mouse_x"), 639);
  EXPECT_EQ(Call("mouse_y"), 12);
  EXPECT_EQ(Call("mouse_click"), 5);
  Call("mouse_set", static_cast<uint32_t>(-5), 100000);
  EXPECT_EQ(hand->setX, -5);  // the window clamps
  EXPECT_EQ(hand->setY, 100000);
  Call("mouse_on");
  Call("mouse_off");

  // The pointer has not moved since the last frame and nothing is down: play on.
  engine.frameMouseX = 639;
  engine.frameMouseY = 12;
  Call("any_input_exit", 3);
  EXPECT_EQ(engine.play->exitTarget, state::kExitNone);
  engine.mouseY = 13;
  Call("any_input_exit", 3);
  EXPECT_EQ(engine.play->exitTarget, 3);
  engine.play->exitTarget = state::kExitNone;
  engine.mouseY = 12;
  Press(57);
  Call("any_input_exit", static_cast<uint32_t>(-1));
  EXPECT_EQ(engine.play->exitTarget, state::kExitNone);
  Call("any_input_exit", 0);
  EXPECT_EQ(engine.play->exitTarget, 0);
}

TEST_F(InputTest, InputProcessPumpsOnceAndRearmsTheDeadline) {
  int pumps = 0;
  engine.hooks.pumpInput = [&] { ++pumps; };
  engine.play->deadline = 7;
  const uint32_t before = engine.platform.clock().Now();
  Call("input_process");
  const uint32_t after = engine.platform.clock().Now();
  EXPECT_EQ(pumps, 1);
  EXPECT_GE(engine.play->deadline, before + engine.tickPeriod);
  EXPECT_LE(engine.play->deadline, after + engine.tickPeriod);
}

TEST_F(InputTest, PortsAreOffUnlessAllowedAndSayItOnce) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(Call("input_b", 0x60), 0);
  EXPECT_EQ(Call("input_d", 0xFFFFFFFFu), 0);
  Call("output_b", 0x80, 0x12);
  Call("output_d", 0x10000, 1);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("--allow-ports"), std::string::npos) << said;
  EXPECT_EQ(said.find("--allow-ports"), said.rfind("--allow-ports")) << said;
  // Allowed, a port outside the 64 K space is still refused, whatever the privileges.
  engine.options.allowPorts = true;
  engine.play->portsNoticeGiven = false;
  testing::internal::CaptureStderr();
  EXPECT_EQ(Call("input_w", 0xFFFF), 0);
  EXPECT_EQ(Call("input_b", 0x12345), 0);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("refused port 0xFFFF"), std::string::npos);
}

}  // namespace
