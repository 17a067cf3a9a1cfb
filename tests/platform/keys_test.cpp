// Tests of the keyboard tables: names, SDL scancodes, set-1 codes, virtual keys and characters.
#include "platform/keys.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace platform {
namespace {

// SDL scancodes are USB HID usage numbers, a fixed ABI; only the platform layer includes SDL's
// headers, so the ones used here are spelled out.
constexpr int kSdlA = 4, kSdl1 = 30, kSdlF1 = 58, kSdlF13 = 104, kSdlBackslash = 49,
              kSdlNonUsHash = 50, kSdlPrintScreen = 70, kSdlPause = 72, kSdlUp = 82,
              kSdlNumLock = 83, kSdlKpDivide = 84, kSdlKpMultiply = 85, kSdlKpEnter = 88,
              kSdlKp1 = 89, kSdlKp5 = 93, kSdlApplication = 101, kSdlMute = 127, kSdlLCtrl = 224,
              kSdlLShift = 225, kSdlLAlt = 226, kSdlLGui = 227, kSdlRCtrl = 228, kSdlRShift = 229,
              kSdlRAlt = 230, kSdlRGui = 231, kSdlScancodeCount = 512;
constexpr uint8_t kVkClear = 0x0C, kVkShift = 0x10, kVkControl = 0x11, kVkMenu = 0x12,
                  kVkPause = 0x13, kVkUp = 0x26, kVkSnapshot = 0x2C, kVkNumpad0 = 0x60,
                  kVkF1 = 0x70, kVkNumLock = 0x90;

TEST(KeyNames, EveryNameRoundTripsThroughSdl) {
  int names = 0;
  for (int scan = 0; scan < 256; ++scan) {
    const std::string_view name = NameFromScanCode(static_cast<uint8_t>(scan));
    if (name.empty()) continue;
    ++names;
    SCOPED_TRACE(std::string(name));
    EXPECT_EQ(ScanCodeFromName(name), scan);
    const bool extended = scan >= 71 && scan <= 83;  // "UP" is the arrow, not keypad 8
    const KeyCode key =
        KeyFromSdlScancode(SdlScancodeFromKey(static_cast<uint8_t>(scan), extended));
    EXPECT_EQ(key.scan, scan);
    EXPECT_EQ(key.extended, extended);
  }
  EXPECT_EQ(names, 78);
}

TEST(KeyNames, MatchIgnoresCaseAndNothingElse) {
  EXPECT_EQ(ScanCodeFromName("e"), 18);
  EXPECT_EQ(ScanCodeFromName("E"), 18);
  EXPECT_EQ(ScanCodeFromName("PageDown"), 81);
  EXPECT_EQ(ScanCodeFromName("esc"), 1);
  EXPECT_EQ(ScanCodeFromName("0"), 11);
  EXPECT_EQ(ScanCodeFromName("\\"), 43);
  EXPECT_EQ(ScanCodeFromName("f12"), 88);
  for (const char* text : {"", "ENTER", "F13", "NUMLOCK", "ESC ", "\\\\", "UP\n"}) {
    EXPECT_EQ(ScanCodeFromName(text), 0) << text;
  }
  EXPECT_EQ(ScanCodeFromName(std::string_view("E\0", 2)), 0);
  for (uint8_t scan : {0, 55, 58, 74, 76, 84, 86, 0xC8}) {
    EXPECT_TRUE(NameFromScanCode(scan).empty()) << int(scan);
  }
}

TEST(SdlKeys, KeypadAndCursorKeysStayApart) {
  // KP_1..KP_9 then KP_0 and KP_PERIOD are consecutive SDL scancodes.
  const uint8_t keypadScan[] = {0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49, 0x52};
  for (int i = 0; i < 10; ++i) {
    const KeyCode key = KeyFromSdlScancode(kSdlKp1 + i);
    EXPECT_EQ(key.scan, keypadScan[i]) << i;
    EXPECT_FALSE(key.extended) << i;
    EXPECT_EQ(key.vk, kVkNumpad0 + (i + 1) % 10) << i;
    EXPECT_EQ(SdlScancodeFromKey(key.scan, false), kSdlKp1 + i);
    EXPECT_NE(SdlScancodeFromKey(key.scan, true), kSdlKp1 + i);
  }
  EXPECT_EQ(KeyFromSdlScancode(kSdlKp5).scan, 0x4C);
  EXPECT_EQ(SdlScancodeFromKey(0x48, true), kSdlUp);
  EXPECT_EQ(KeyFromSdlScancode(kSdlUp).vk, kVkUp);
  // Without the flag the code reads as the cursor key, as with Num Lock off.
  EXPECT_EQ(VirtualKeyFromScanCode(0x48), kVkUp);
  EXPECT_EQ(VirtualKeyFromScanCode(0x4C), kVkClear);
  EXPECT_EQ(ScanCodeFromVirtualKey(kVkNumpad0 + 5), 0x4C);
}

TEST(SdlKeys, ExtendedFlagsAndGenericModifiers) {
  for (int sdl : {kSdlRCtrl, kSdlRAlt, kSdlLGui, kSdlRGui, kSdlApplication, kSdlKpEnter,
                  kSdlKpDivide, kSdlPrintScreen, kSdlPause}) {
    EXPECT_TRUE(KeyFromSdlScancode(sdl).extended) << sdl;
  }
  for (int sdl : {kSdlLCtrl, kSdlLAlt, kSdlLShift, kSdlRShift, kSdlNumLock, kSdlKpMultiply}) {
    EXPECT_FALSE(KeyFromSdlScancode(sdl).extended) << sdl;
  }
  const std::pair<int, KeyCode> modifiers[] = {
      {kSdlLShift, {0x2A, false, kVkShift}},  {kSdlRShift, {0x36, false, kVkShift}},
      {kSdlLCtrl, {0x1D, false, kVkControl}}, {kSdlRCtrl, {0x1D, true, kVkControl}},
      {kSdlLAlt, {0x38, false, kVkMenu}},     {kSdlRAlt, {0x38, true, kVkMenu}},
  };
  for (const auto& [sdl, want] : modifiers) {
    const KeyCode key = KeyFromSdlScancode(sdl);
    EXPECT_EQ(key.scan, want.scan) << sdl;
    EXPECT_EQ(key.vk, want.vk) << sdl;
  }
  // Codes shared by two keys: the flag tells them apart.
  EXPECT_EQ(KeyFromSdlScancode(kSdlPause).vk, kVkPause);
  EXPECT_EQ(SdlScancodeFromKey(0x45, true), kSdlPause);
  EXPECT_EQ(SdlScancodeFromKey(0x45, false), kSdlNumLock);
  EXPECT_EQ(KeyFromSdlScancode(kSdlPrintScreen).vk, kVkSnapshot);
  EXPECT_EQ(SdlScancodeFromKey(0x37, true), kSdlPrintScreen);
  EXPECT_EQ(SdlScancodeFromKey(0x37, false), kSdlKpMultiply);
}

TEST(SdlKeys, OnePcKeyPerSdlKeyAndBack) {
  std::map<std::pair<uint8_t, bool>, std::vector<int>> byKey;
  for (int sdl = -1; sdl <= kSdlScancodeCount; ++sdl) {
    const KeyCode key = KeyFromSdlScancode(sdl);
    if (key.scan == 0) {
      EXPECT_EQ(key.vk, 0) << sdl;
      continue;
    }
    EXPECT_LT(key.scan, 0x80) << sdl;
    EXPECT_NE(key.vk, 0) << sdl;
    byKey[{key.scan, key.extended}].push_back(sdl);
  }
  EXPECT_GE(byKey.size(), 105u);
  for (const auto& [key, sdls] : byKey) {
    // The one PC key SDL names twice: the ISO key beside Enter is the US backslash key.
    if (key == std::pair<uint8_t, bool>{0x2B, false}) {
      EXPECT_EQ(sdls, (std::vector<int>{kSdlBackslash, kSdlNonUsHash}));
      EXPECT_EQ(SdlScancodeFromKey(0x2B, false), kSdlBackslash);
      continue;
    }
    ASSERT_EQ(sdls.size(), 1u) << int(key.first) << (key.second ? " extended" : "");
    EXPECT_EQ(SdlScancodeFromKey(key.first, key.second), sdls[0]);
  }
  EXPECT_EQ(KeyFromSdlScancode(kSdlMute).scan, 0);  // would alias "D" (E0 20)
  EXPECT_EQ(SdlScancodeFromKey(0x1E, true), 0);
  EXPECT_EQ(SdlScancodeFromKey(0x9E, false), 0);  // a break code
}

TEST(VirtualKeys, LettersDigitsAndFunctionKeysRoundTrip) {
  for (int i = 0; i < 26; ++i) {
    const KeyCode key = KeyFromSdlScancode(kSdlA + i);
    EXPECT_EQ(key.vk, 'A' + i);
    EXPECT_EQ(ScanCodeFromVirtualKey(key.vk), key.scan);
    EXPECT_EQ(VirtualKeyFromScanCode(key.scan), key.vk);
  }
  for (int i = 0; i < 10; ++i) {  // SDL and the top row both run 1..9, 0
    const KeyCode key = KeyFromSdlScancode(kSdl1 + i);
    EXPECT_EQ(key.scan, 2 + i);
    EXPECT_EQ(key.vk, '0' + (i + 1) % 10);
    EXPECT_EQ(ScanCodeFromVirtualKey(key.vk), key.scan);
    EXPECT_EQ(VirtualKeyFromScanCode(key.scan), key.vk);
  }
  for (int f = 1; f <= 24; ++f) {
    const KeyCode key = KeyFromSdlScancode(f <= 12 ? kSdlF1 + f - 1 : kSdlF13 + f - 13);
    EXPECT_EQ(key.vk, kVkF1 + f - 1) << "F" << f;
    EXPECT_EQ(ScanCodeFromVirtualKey(key.vk), key.scan) << "F" << f;
    EXPECT_EQ(VirtualKeyFromScanCode(key.scan), key.vk) << "F" << f;
  }
  EXPECT_EQ(ScanCodeFromVirtualKey(kVkF1 + 11), 0x58);
  EXPECT_EQ(ScanCodeFromVirtualKey(kVkF1 + 12), 0x64);
  EXPECT_EQ(ScanCodeFromVirtualKey(kVkF1 + 23), 0x76);  // F24 is not next to F23
}

TEST(VirtualKeys, SharedCodesAndSidedModifiers) {
  const std::pair<uint8_t, uint8_t> scanToVk[] = {
      {0x1D, kVkControl},  {0x38, kVkMenu}, {0x2A, kVkShift}, {0x36, kVkShift},
      {0x1C, 0x0D},        {0x35, 0xBF},    {0x37, 0x6A},     {0x45, kVkNumLock},
      {0x54, kVkSnapshot}, {0, 0},          {0xC8, 0},
  };
  for (const auto& [scan, vk] : scanToVk) EXPECT_EQ(VirtualKeyFromScanCode(scan), vk) << int(scan);
  const std::pair<uint8_t, uint8_t> vkToScan[] = {
      {kVkShift, 0x2A}, {0xA0, 0x2A}, {0xA1, 0x36}, {0xA2, 0x1D},     {0xA3, 0x1D},
      {0xA4, 0x38},     {0xA5, 0x38}, {0x6F, 0x35}, {kVkPause, 0x45}, {kVkSnapshot, 0x54},
      {1, 0},           {2, 0},       {4, 0},
  };
  for (const auto& [vk, scan] : vkToScan) EXPECT_EQ(ScanCodeFromVirtualKey(vk), scan) << int(vk);
  // The any-key scan turns a virtual key back into a code: no key may be invisible to it.
  for (int sdl = 0; sdl < kSdlScancodeCount; ++sdl) {
    const KeyCode key = KeyFromSdlScancode(sdl);
    if (key.vk != 0) {
      EXPECT_NE(ScanCodeFromVirtualKey(key.vk), 0) << sdl;
    }
  }
}

TEST(Characters, UsLayout) {
  const std::pair<uint8_t, uint8_t> examples[] = {
      {'a', 0x1E}, {'A', 0x1E}, {'!', 0x02}, {')', 0x0B}, {'0', 0x0B}, {'+', 0x0D}, {'{', 0x1A},
      {'"', 0x28}, {'~', 0x29}, {'|', 0x2B}, {'?', 0x35}, {' ', 0x39}, {13, 0x1C},  {8, 0x0E},
      {9, 0x0F},   {27, 0x01},  {0, 0},      {10, 0},     {127, 0},    {0xE9, 0},
  };
  for (const auto& [c, scan] : examples) EXPECT_EQ(ScanCodeFromCharacter(c), scan) << int(c);
  // Every printable character has a key, and letters and digits land on their named key.
  for (int c = 32; c < 127; ++c) {
    const uint8_t scan = ScanCodeFromCharacter(static_cast<uint8_t>(c));
    EXPECT_NE(scan, 0) << char(c);
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      EXPECT_EQ(VirtualKeyFromScanCode(scan), c) << char(c);
      EXPECT_EQ(NameFromScanCode(scan), std::string(1, char(c)));
    }
  }
}

}  // namespace
}  // namespace platform
