// Display modes: the mode list, available bits, the downward search, the driver choice and the
// pixel format of the back surface.
#include <gtest/gtest.h>

#include "engine/display.h"

namespace {

using engine::ModeEntry;
using platform::ReportedMode;

int32_t Available(const std::vector<ReportedMode>& reported) {
  return engine::AvailableModeBits(engine::BuildModeList(reported, 1920, 1080, false, false));
}

TEST(DisplayModes, ListIsFilteredSortedAndBounded) {
  const auto list = engine::BuildModeList(
      {{640, 480, 16}, {1280, 1024, 32}, {800, 600, 32}, {1024, 768, 32}, {800, 600, 16}, {640, 480, 32}}, 1280, 1024,
      false, false);
  const std::vector<ModeEntry> expected = {
      {1024, 768, 32, true}, {800, 600, 32, true}, {640, 480, 32, true}, {800, 600, 16, true}, {640, 480, 16, true}};
  EXPECT_EQ(list, expected);

  std::vector<ReportedMode> many;
  for (int w = 100; w < 1024; w += 10) many.push_back({w, 100, 32});
  EXPECT_EQ(engine::BuildModeList(many, 1024, 768, false, false).size(), engine::kMaxModes);
}

TEST(DisplayModes, AvailableBitsComeFromExactModes) {
  EXPECT_EQ(Available({{1280, 1024, 32}, {1280, 1024, 16}}), 0);  // too large: contributes nothing
  EXPECT_EQ(Available({{640, 480, 16}, {800, 600, 32}, {1024, 768, 24}}), 1 | 8);
  EXPECT_EQ(Available({{1024, 768, 16}, {1024, 768, 32}}), 16 | 32);
}

TEST(DisplayModes, ScaledFramesNeedOnlyRoomOnTheDesktop) {
  // A 24-bit desktop of 900 x 700 shows the two smaller logical sizes at both depths.
  auto list = engine::BuildModeList({{900, 700, 24}}, 900, 700, true, false);
  EXPECT_EQ(engine::AvailableModeBits(list), 1 | 2 | 4 | 8);
  list = engine::BuildModeList({}, 0, 0, true, true);  // windowed and headless runs: all six
  EXPECT_EQ(engine::AvailableModeBits(list), 63);
}

TEST(DisplayModes, DownwardSearchEndsAtTheFirstMode) {
  // 1024 x 768 x 32 missing, 800 x 600 x 32 present: 16 when 1024 x 768 x 16 exists, else 8.
  EXPECT_EQ(engine::ChooseDisplayMode(32, Available({{1024, 768, 16}, {800, 600, 32}})), 16);
  EXPECT_EQ(engine::ChooseDisplayMode(32, Available({{800, 600, 32}})), 8);
  EXPECT_EQ(engine::ChooseDisplayMode(4, 63), 4);
  EXPECT_EQ(engine::ChooseDisplayMode(32, 0), 1);  // nothing available: stops at 640 x 480 x 16
  EXPECT_EQ(engine::ChooseDisplayMode(0, 0), 1);
}

TEST(DisplayModes, TableAndDepthFlags) {
  EXPECT_EQ(engine::DisplayModeOf(16).width, 1024);
  EXPECT_EQ(engine::DisplayModeOf(8).scale, 125);
  EXPECT_EQ(engine::DisplayModeOf(3).code, 1);  // not a single mode
  EXPECT_EQ(engine::FindDisplayMode(64), nullptr);
  EXPECT_EQ(engine::DepthFlag(16), 0x400u);
  EXPECT_EQ(engine::DepthFlag(32), 0x100u);
  EXPECT_EQ(engine::DepthFlag(24), 0x200u);
  EXPECT_EQ(engine::DepthFlag(15), 0u);
}

TEST(Drivers, HardwareWinsAndTheColourModelBreaksTies) {
  engine::Driver software = engine::DriverFromRenderer("llvmpipe (LLVM 15.0.6, 256 bits)");
  engine::Driver hardware = engine::DriverFromRenderer("AMD Radeon RX 6600 (radeonsi, navi23)");
  EXPECT_FALSE(software.hardware);
  EXPECT_TRUE(hardware.hardware);
  EXPECT_FALSE(engine::DriverFromRenderer("softpipe").hardware);
  EXPECT_EQ(engine::ChooseDriver({software, hardware}, 16, true), 1);
  EXPECT_EQ(engine::ChooseDriver({hardware, software}, 32, true), 0);

  engine::Driver mono = software;
  mono.rgbModel = false;
  EXPECT_EQ(engine::ChooseDriver({software, mono}, 16, false), 1);  // mono preferred in software
  EXPECT_EQ(engine::ChooseDriver({mono, software}, 16, true), 1);   // RGB preferred with hardware

  hardware.renderDepths = engine::DepthFlag(32);
  EXPECT_EQ(engine::ChooseDriver({software, hardware}, 16, true), 0);  // cannot draw 16 bits
  EXPECT_EQ(engine::ChooseDriver({hardware}, 16, true), -1);
}

TEST(PixelFormat, ShiftsAndConversionTable) {
  engine::PixelFormat format;
  format.redMask = 0x7C00;
  format.greenMask = 0x03E0;
  format.blueMask = 0x001F;
  engine::AnalysePixelFormat(&format);
  EXPECT_EQ(format.redShift, 10);
  EXPECT_EQ(format.greenShift, 5);
  uint8_t palette[768] = {};
  palette[3] = 255, palette[4] = 255, palette[5] = 255;  // white
  palette[6] = 8, palette[7] = 8, palette[8] = 8;
  uint16_t table[256];
  engine::BuildConversionTable(palette, format, table);
  EXPECT_EQ(table[0], 0);
  EXPECT_EQ(table[1], 0x7FFF);
  EXPECT_EQ(table[2], (1 << 10) | (1 << 5) | 1);

  format = engine::PixelFormat{};  // 5-6-5
  engine::AnalysePixelFormat(&format);
  EXPECT_EQ(format.redShift, 11);
  engine::BuildConversionTable(palette, format, table);
  EXPECT_EQ(table[1], 0xFFFF);
  EXPECT_EQ(table[2], (1 << 11) | (2 << 5) | 1);  // green keeps one more bit

  format.bitsPerPixel = 32;  // 32-bit modes keep 11, 5, 0 whatever the masks
  format.redMask = 0xFF0000;
  engine::AnalysePixelFormat(&format);
  EXPECT_EQ(format.redShift, 11);
  EXPECT_EQ(engine::MaskShift(0xFF0000), 16);
  EXPECT_EQ(engine::MaskShift(0), 0);
}

}  // namespace
