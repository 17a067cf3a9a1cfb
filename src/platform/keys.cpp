// Keyboard tables: SDL scancodes to PC set-1 codes and virtual keys, key names and typed
// characters. Pure constexpr tables; includes only the SDL scancode enum and calls nothing.
#include "platform/keys.h"

#include <SDL2/SDL_scancode.h>

#include <array>
#include <cstddef>

namespace platform {
namespace {

// Virtual-key codes, the window system's numbers: key state is kept and read by them.

constexpr uint8_t kVkBack = 0x08;
constexpr uint8_t kVkTab = 0x09;
constexpr uint8_t kVkClear = 0x0C;  // keypad 5 with Num Lock off
constexpr uint8_t kVkReturn = 0x0D;
constexpr uint8_t kVkShift = 0x10;
constexpr uint8_t kVkControl = 0x11;
constexpr uint8_t kVkMenu = 0x12;
constexpr uint8_t kVkPause = 0x13;
constexpr uint8_t kVkCapital = 0x14;
constexpr uint8_t kVkKana = 0x15;
constexpr uint8_t kVkEscape = 0x1B;
constexpr uint8_t kVkConvert = 0x1C;
constexpr uint8_t kVkNonConvert = 0x1D;
constexpr uint8_t kVkSpace = 0x20;
constexpr uint8_t kVkPrior = 0x21;
constexpr uint8_t kVkNext = 0x22;
constexpr uint8_t kVkEnd = 0x23;
constexpr uint8_t kVkHome = 0x24;
constexpr uint8_t kVkLeft = 0x25;
constexpr uint8_t kVkUp = 0x26;
constexpr uint8_t kVkRight = 0x27;
constexpr uint8_t kVkDown = 0x28;
constexpr uint8_t kVkSnapshot = 0x2C;
constexpr uint8_t kVkInsert = 0x2D;
constexpr uint8_t kVkDelete = 0x2E;
constexpr uint8_t kVkLWin = 0x5B;
constexpr uint8_t kVkRWin = 0x5C;
constexpr uint8_t kVkApps = 0x5D;
constexpr uint8_t kVkNumpad0 = 0x60;  // ..0x69 for 9
constexpr uint8_t kVkMultiply = 0x6A;
constexpr uint8_t kVkAdd = 0x6B;
constexpr uint8_t kVkSubtract = 0x6D;
constexpr uint8_t kVkDecimal = 0x6E;
constexpr uint8_t kVkDivide = 0x6F;
constexpr uint8_t kVkF1 = 0x70;  // ..0x87 for F24
constexpr uint8_t kVkNumLock = 0x90;
constexpr uint8_t kVkScroll = 0x91;
constexpr uint8_t kVkLShift = 0xA0;
constexpr uint8_t kVkRShift = 0xA1;
constexpr uint8_t kVkLControl = 0xA2;
constexpr uint8_t kVkRControl = 0xA3;
constexpr uint8_t kVkLMenu = 0xA4;
constexpr uint8_t kVkRMenu = 0xA5;
constexpr uint8_t kVkOem1 = 0xBA;       // ;:
constexpr uint8_t kVkOemPlus = 0xBB;    // =+
constexpr uint8_t kVkOemComma = 0xBC;   // ,<
constexpr uint8_t kVkOemMinus = 0xBD;   // -_
constexpr uint8_t kVkOemPeriod = 0xBE;  // .>
constexpr uint8_t kVkOem2 = 0xBF;       // /?
constexpr uint8_t kVkOem3 = 0xC0;       // `~
constexpr uint8_t kVkAbntC1 = 0xC1;     // the extra key left of right Shift (Ro, ABNT "/?")
constexpr uint8_t kVkAbntC2 = 0xC2;     // the keypad separator of ABNT and JIS boards
constexpr uint8_t kVkOem4 = 0xDB;       // [{
constexpr uint8_t kVkOem5 = 0xDC;       // \|
constexpr uint8_t kVkOem6 = 0xDD;       // ]}
constexpr uint8_t kVkOem7 = 0xDE;       // '"
constexpr uint8_t kVkOem102 = 0xE2;     // the ISO "<>" key

constexpr uint8_t VkF(int n) { return static_cast<uint8_t>(kVkF1 + n - 1); }
constexpr uint8_t VkNumpad(int n) { return static_cast<uint8_t>(kVkNumpad0 + n); }

// Set-1 make codes run below 0x80; bit 7 marks a break code, which no lookup accepts.
constexpr int kScanCount = 0x80;

// Physical keys

struct SdlKey {
  SDL_Scancode sdl;
  uint8_t scan;
  bool extended;
  uint8_t vk;
};

// Every key of a 102/104/105-key PC board, plus F13-F24 and the JIS/ABNT extras whose codes do
// not collide with other keys. Media, power and "Lang" keys are left out on purpose: their set-1
// codes repeat ordinary keys (Mute is E0 20, "D" is 20; Zenkaku/Hankaku is 29 like "`"), and the
// engine keeps key state by code without the prefix, so mapping them would make a volume key
// press "D".
//
// Where SDL has two scancodes for one PC key, the first row wins the reverse lookup: the ISO key
// beside Enter is the US backslash key on a PC (both 2B), listed after it.
//
// Pause really sends E1 1D 45 with no break code. It is kept as 0x45 with the extended flag, the
// usual way of telling it from Num Lock (a plain 0x45); the key queue, which drops the flag, sees
// 0x45 for both, as it would on the PC.
constexpr SdlKey kSdlKeys[] = {
    {SDL_SCANCODE_ESCAPE, 0x01, false, kVkEscape},
    {SDL_SCANCODE_1, 0x02, false, '1'},
    {SDL_SCANCODE_2, 0x03, false, '2'},
    {SDL_SCANCODE_3, 0x04, false, '3'},
    {SDL_SCANCODE_4, 0x05, false, '4'},
    {SDL_SCANCODE_5, 0x06, false, '5'},
    {SDL_SCANCODE_6, 0x07, false, '6'},
    {SDL_SCANCODE_7, 0x08, false, '7'},
    {SDL_SCANCODE_8, 0x09, false, '8'},
    {SDL_SCANCODE_9, 0x0A, false, '9'},
    {SDL_SCANCODE_0, 0x0B, false, '0'},
    {SDL_SCANCODE_MINUS, 0x0C, false, kVkOemMinus},
    {SDL_SCANCODE_EQUALS, 0x0D, false, kVkOemPlus},
    {SDL_SCANCODE_BACKSPACE, 0x0E, false, kVkBack},
    {SDL_SCANCODE_TAB, 0x0F, false, kVkTab},
    {SDL_SCANCODE_Q, 0x10, false, 'Q'},
    {SDL_SCANCODE_W, 0x11, false, 'W'},
    {SDL_SCANCODE_E, 0x12, false, 'E'},
    {SDL_SCANCODE_R, 0x13, false, 'R'},
    {SDL_SCANCODE_T, 0x14, false, 'T'},
    {SDL_SCANCODE_Y, 0x15, false, 'Y'},
    {SDL_SCANCODE_U, 0x16, false, 'U'},
    {SDL_SCANCODE_I, 0x17, false, 'I'},
    {SDL_SCANCODE_O, 0x18, false, 'O'},
    {SDL_SCANCODE_P, 0x19, false, 'P'},
    {SDL_SCANCODE_LEFTBRACKET, 0x1A, false, kVkOem4},
    {SDL_SCANCODE_RIGHTBRACKET, 0x1B, false, kVkOem6},
    {SDL_SCANCODE_RETURN, 0x1C, false, kVkReturn},
    {SDL_SCANCODE_LCTRL, 0x1D, false, kVkControl},
    {SDL_SCANCODE_A, 0x1E, false, 'A'},
    {SDL_SCANCODE_S, 0x1F, false, 'S'},
    {SDL_SCANCODE_D, 0x20, false, 'D'},
    {SDL_SCANCODE_F, 0x21, false, 'F'},
    {SDL_SCANCODE_G, 0x22, false, 'G'},
    {SDL_SCANCODE_H, 0x23, false, 'H'},
    {SDL_SCANCODE_J, 0x24, false, 'J'},
    {SDL_SCANCODE_K, 0x25, false, 'K'},
    {SDL_SCANCODE_L, 0x26, false, 'L'},
    {SDL_SCANCODE_SEMICOLON, 0x27, false, kVkOem1},
    {SDL_SCANCODE_APOSTROPHE, 0x28, false, kVkOem7},
    {SDL_SCANCODE_GRAVE, 0x29, false, kVkOem3},
    {SDL_SCANCODE_LSHIFT, 0x2A, false, kVkShift},
    {SDL_SCANCODE_BACKSLASH, 0x2B, false, kVkOem5},
    {SDL_SCANCODE_NONUSHASH, 0x2B, false, kVkOem5},
    {SDL_SCANCODE_Z, 0x2C, false, 'Z'},
    {SDL_SCANCODE_X, 0x2D, false, 'X'},
    {SDL_SCANCODE_C, 0x2E, false, 'C'},
    {SDL_SCANCODE_V, 0x2F, false, 'V'},
    {SDL_SCANCODE_B, 0x30, false, 'B'},
    {SDL_SCANCODE_N, 0x31, false, 'N'},
    {SDL_SCANCODE_M, 0x32, false, 'M'},
    {SDL_SCANCODE_COMMA, 0x33, false, kVkOemComma},
    {SDL_SCANCODE_PERIOD, 0x34, false, kVkOemPeriod},
    {SDL_SCANCODE_SLASH, 0x35, false, kVkOem2},
    {SDL_SCANCODE_RSHIFT, 0x36, false, kVkShift},
    {SDL_SCANCODE_KP_MULTIPLY, 0x37, false, kVkMultiply},
    {SDL_SCANCODE_LALT, 0x38, false, kVkMenu},
    {SDL_SCANCODE_SPACE, 0x39, false, kVkSpace},
    {SDL_SCANCODE_CAPSLOCK, 0x3A, false, kVkCapital},
    {SDL_SCANCODE_F1, 0x3B, false, VkF(1)},
    {SDL_SCANCODE_F2, 0x3C, false, VkF(2)},
    {SDL_SCANCODE_F3, 0x3D, false, VkF(3)},
    {SDL_SCANCODE_F4, 0x3E, false, VkF(4)},
    {SDL_SCANCODE_F5, 0x3F, false, VkF(5)},
    {SDL_SCANCODE_F6, 0x40, false, VkF(6)},
    {SDL_SCANCODE_F7, 0x41, false, VkF(7)},
    {SDL_SCANCODE_F8, 0x42, false, VkF(8)},
    {SDL_SCANCODE_F9, 0x43, false, VkF(9)},
    {SDL_SCANCODE_F10, 0x44, false, VkF(10)},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x45, false, kVkNumLock},
    {SDL_SCANCODE_SCROLLLOCK, 0x46, false, kVkScroll},
    // The keypad reports its digit keys as Num Lock on would: the engine never turns it off.
    {SDL_SCANCODE_KP_7, 0x47, false, VkNumpad(7)},
    {SDL_SCANCODE_KP_8, 0x48, false, VkNumpad(8)},
    {SDL_SCANCODE_KP_9, 0x49, false, VkNumpad(9)},
    {SDL_SCANCODE_KP_MINUS, 0x4A, false, kVkSubtract},
    {SDL_SCANCODE_KP_4, 0x4B, false, VkNumpad(4)},
    {SDL_SCANCODE_KP_5, 0x4C, false, VkNumpad(5)},
    {SDL_SCANCODE_KP_6, 0x4D, false, VkNumpad(6)},
    {SDL_SCANCODE_KP_PLUS, 0x4E, false, kVkAdd},
    {SDL_SCANCODE_KP_1, 0x4F, false, VkNumpad(1)},
    {SDL_SCANCODE_KP_2, 0x50, false, VkNumpad(2)},
    {SDL_SCANCODE_KP_3, 0x51, false, VkNumpad(3)},
    {SDL_SCANCODE_KP_0, 0x52, false, VkNumpad(0)},
    {SDL_SCANCODE_KP_PERIOD, 0x53, false, kVkDecimal},
    // Alt+Print Screen; the code the window system gives Print Screen's virtual key.
    {SDL_SCANCODE_SYSREQ, 0x54, false, kVkSnapshot},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56, false, kVkOem102},
    {SDL_SCANCODE_F11, 0x57, false, VkF(11)},
    {SDL_SCANCODE_F12, 0x58, false, VkF(12)},
    {SDL_SCANCODE_F13, 0x64, false, VkF(13)},
    {SDL_SCANCODE_F14, 0x65, false, VkF(14)},
    {SDL_SCANCODE_F15, 0x66, false, VkF(15)},
    {SDL_SCANCODE_F16, 0x67, false, VkF(16)},
    {SDL_SCANCODE_F17, 0x68, false, VkF(17)},
    {SDL_SCANCODE_F18, 0x69, false, VkF(18)},
    {SDL_SCANCODE_F19, 0x6A, false, VkF(19)},
    {SDL_SCANCODE_F20, 0x6B, false, VkF(20)},
    {SDL_SCANCODE_F21, 0x6C, false, VkF(21)},
    {SDL_SCANCODE_F22, 0x6D, false, VkF(22)},
    {SDL_SCANCODE_F23, 0x6E, false, VkF(23)},
    {SDL_SCANCODE_INTERNATIONAL2, 0x70, false, kVkKana},    // katakana/hiragana
    {SDL_SCANCODE_INTERNATIONAL1, 0x73, false, kVkAbntC1},  // Ro
    {SDL_SCANCODE_F24, 0x76, false, VkF(24)},
    {SDL_SCANCODE_INTERNATIONAL4, 0x79, false, kVkConvert},     // henkan
    {SDL_SCANCODE_INTERNATIONAL5, 0x7B, false, kVkNonConvert},  // muhenkan
    {SDL_SCANCODE_INTERNATIONAL3, 0x7D, false, kVkOem5},        // yen, the JIS backslash
    {SDL_SCANCODE_KP_COMMA, 0x7E, false, kVkAbntC2},

    // Keys that send the E0 prefix.
    {SDL_SCANCODE_KP_ENTER, 0x1C, true, kVkReturn},
    {SDL_SCANCODE_RCTRL, 0x1D, true, kVkControl},
    {SDL_SCANCODE_KP_DIVIDE, 0x35, true, kVkDivide},
    {SDL_SCANCODE_PRINTSCREEN, 0x37, true, kVkSnapshot},
    {SDL_SCANCODE_RALT, 0x38, true, kVkMenu},
    {SDL_SCANCODE_PAUSE, 0x45, true, kVkPause},
    {SDL_SCANCODE_HOME, 0x47, true, kVkHome},
    {SDL_SCANCODE_UP, 0x48, true, kVkUp},
    {SDL_SCANCODE_PAGEUP, 0x49, true, kVkPrior},
    {SDL_SCANCODE_LEFT, 0x4B, true, kVkLeft},
    {SDL_SCANCODE_RIGHT, 0x4D, true, kVkRight},
    {SDL_SCANCODE_END, 0x4F, true, kVkEnd},
    {SDL_SCANCODE_DOWN, 0x50, true, kVkDown},
    {SDL_SCANCODE_PAGEDOWN, 0x51, true, kVkNext},
    {SDL_SCANCODE_INSERT, 0x52, true, kVkInsert},
    {SDL_SCANCODE_DELETE, 0x53, true, kVkDelete},
    {SDL_SCANCODE_LGUI, 0x5B, true, kVkLWin},
    {SDL_SCANCODE_RGUI, 0x5C, true, kVkRWin},
    {SDL_SCANCODE_APPLICATION, 0x5D, true, kVkApps},
};

// The rest of the file indexes arrays by these fields; a bad row must not compile.
constexpr bool SdlKeysAreValid() {
  bool seen[SDL_NUM_SCANCODES] = {};
  for (const SdlKey& key : kSdlKeys) {
    if (key.sdl <= SDL_SCANCODE_UNKNOWN || key.sdl >= SDL_NUM_SCANCODES) return false;
    if (key.scan == 0 || key.scan >= kScanCount || key.vk == 0) return false;
    if (seen[key.sdl]) return false;
    seen[key.sdl] = true;
  }
  return true;
}
static_assert(SdlKeysAreValid(), "kSdlKeys: scancode listed twice or a field out of range");

constexpr std::array<KeyCode, SDL_NUM_SCANCODES> BuildKeyBySdl() {
  std::array<KeyCode, SDL_NUM_SCANCODES> table{};
  for (const SdlKey& key : kSdlKeys) table[key.sdl] = KeyCode{key.scan, key.extended, key.vk};
  return table;
}
constexpr auto kKeyBySdl = BuildKeyBySdl();

// [extended][scan]; the first row of kSdlKeys wins.
constexpr std::array<std::array<int16_t, kScanCount>, 2> BuildSdlByKey() {
  std::array<std::array<int16_t, kScanCount>, 2> table{};
  for (const SdlKey& key : kSdlKeys) {
    int16_t& slot = table[key.extended ? 1 : 0][key.scan];
    if (slot == 0) slot = static_cast<int16_t>(key.sdl);
  }
  return table;
}
constexpr auto kSdlByKey = BuildSdlByKey();

// Scan code <-> virtual key

// The keypad's own codes read as the cursor keys they double as, as with Num Lock off. Keypad 5
// has no cursor function and reads as Clear.
struct ScanVk {
  uint8_t scan;
  uint8_t vk;
};
constexpr ScanVk kKeypadNumLockOff[] = {
    {0x47, kVkHome},  {0x48, kVkUp},     {0x49, kVkPrior},  {0x4B, kVkLeft},
    {0x4C, kVkClear}, {0x4D, kVkRight},  {0x4F, kVkEnd},    {0x50, kVkDown},
    {0x51, kVkNext},  {0x52, kVkInsert}, {0x53, kVkDelete},
};

// The code alone does not say whether the prefix was sent, so the plain key owns it; codes that
// only prefixed keys send (the Windows and Application keys) go to those keys, since nothing else
// could have meant them.
constexpr std::array<uint8_t, kScanCount> BuildVkByScan() {
  std::array<uint8_t, kScanCount> table{};
  for (const SdlKey& key : kSdlKeys) {
    if (!key.extended && table[key.scan] == 0) table[key.scan] = key.vk;
  }
  for (const ScanVk& pair : kKeypadNumLockOff) table[pair.scan] = pair.vk;
  for (const SdlKey& key : kSdlKeys) {
    if (key.extended && table[key.scan] == 0) table[key.scan] = key.vk;
  }
  return table;
}
constexpr auto kVkByScan = BuildVkByScan();

// The lowest code of the base layout wins (Shift gives the left Shift, the backslash VK the US
// backslash key); virtual keys the base layout never produces (the keypad digits, Divide, Pause)
// take their key's code; the sided modifiers take their side's code.
constexpr std::array<uint8_t, 256> BuildScanByVk() {
  std::array<uint8_t, 256> table{};
  for (int scan = kScanCount - 1; scan > 0; --scan) {
    if (kVkByScan[scan] != 0) table[kVkByScan[scan]] = static_cast<uint8_t>(scan);
  }
  for (const SdlKey& key : kSdlKeys) {
    if (table[key.vk] == 0) table[key.vk] = key.scan;
  }
  table[kVkLShift] = 0x2A;
  table[kVkRShift] = 0x36;
  table[kVkLControl] = 0x1D;
  table[kVkRControl] = 0x1D;
  table[kVkLMenu] = 0x38;
  table[kVkRMenu] = 0x38;
  return table;
}
constexpr auto kScanByVk = BuildScanByVk();

// Key names

struct KeyName {
  std::string_view name;
  uint8_t scan;
};
constexpr KeyName kKeyNames[] = {
    {"ESC", 1},   {"1", 2},          {"2", 3},       {"3", 4},       {"4", 5},      {"5", 6},
    {"6", 7},     {"7", 8},          {"8", 9},       {"9", 10},      {"0", 11},     {"-", 12},
    {"=", 13},    {"BACKSPACE", 14}, {"TAB", 15},    {"Q", 16},      {"W", 17},     {"E", 18},
    {"R", 19},    {"T", 20},         {"Y", 21},      {"U", 22},      {"I", 23},     {"O", 24},
    {"P", 25},    {"[", 26},         {"]", 27},      {"RETURN", 28}, {"CTRL", 29},  {"A", 30},
    {"S", 31},    {"D", 32},         {"F", 33},      {"G", 34},      {"H", 35},     {"J", 36},
    {"K", 37},    {"L", 38},         {";", 39},      {"'", 40},      {"`", 41},     {"LSHIFT", 42},
    {"\\", 43},   {"Z", 44},         {"X", 45},      {"C", 46},      {"V", 47},     {"B", 48},
    {"N", 49},    {"M", 50},         {",", 51},      {".", 52},      {"/", 53},     {"RSHIFT", 54},
    {"ALT", 56},  {"SPACE", 57},     {"F1", 59},     {"F2", 60},     {"F3", 61},    {"F4", 62},
    {"F5", 63},   {"F6", 64},        {"F7", 65},     {"F8", 66},     {"F9", 67},    {"F10", 68},
    {"HOME", 71}, {"UP", 72},        {"PAGEUP", 73}, {"LEFT", 75},   {"RIGHT", 77}, {"END", 79},
    {"DOWN", 80}, {"PAGEDOWN", 81},  {"INSERT", 82}, {"DELETE", 83}, {"F11", 87},   {"F12", 88},
};

constexpr char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Table names are upper case already, so only the caller's text needs folding. The caller's text
// is never modified: it may be a constant shared by other brains.
constexpr bool EqualsIgnoringCase(std::string_view text, std::string_view upperName) {
  if (text.size() != upperName.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (UpperAscii(text[i]) != upperName[i]) return false;
  }
  return true;
}

// Typed characters

// The four character rows of the US layout: each row's keys have consecutive codes from `first`.
struct CharacterRow {
  std::string_view plain;
  std::string_view shifted;
  uint8_t first;
};
constexpr CharacterRow kCharacterRows[] = {
    {"1234567890-=", "!@#$%^&*()_+", 0x02},
    {"qwertyuiop[]", "QWERTYUIOP{}", 0x10},
    {"asdfghjkl;'`", "ASDFGHJKL:\"~", 0x1E},
    {"\\zxcvbnm,./", "|ZXCVBNM<>?", 0x2B},
};

constexpr std::array<uint8_t, 128> BuildScanByCharacter() {
  std::array<uint8_t, 128> table{};
  for (const CharacterRow& row : kCharacterRows) {
    for (size_t i = 0; i < row.plain.size(); ++i) {
      const auto scan = static_cast<uint8_t>(row.first + i);
      table[static_cast<uint8_t>(row.plain[i])] = scan;
      table[static_cast<uint8_t>(row.shifted[i])] = scan;
    }
  }
  table[' '] = 0x39;
  table[8] = 0x0E;   // backspace
  table[9] = 0x0F;   // tab
  table[13] = 0x1C;  // enter
  table[27] = 0x01;  // escape
  return table;
}
constexpr auto kScanByCharacter = BuildScanByCharacter();

}  // namespace

KeyCode KeyFromSdlScancode(int sdlScancode) {
  if (sdlScancode < 0 || sdlScancode >= SDL_NUM_SCANCODES) return KeyCode{};
  return kKeyBySdl[static_cast<size_t>(sdlScancode)];
}

int SdlScancodeFromKey(uint8_t scan, bool extended) {
  if (scan >= kScanCount) return SDL_SCANCODE_UNKNOWN;
  return kSdlByKey[extended ? 1 : 0][scan];
}

// Brains look key names up every tick, so the names are hashed (length, first and last letter,
// folded) into an open-addressed table built at compile time: a lookup is one or two compares.
constexpr size_t kNameSlots = 256;
constexpr size_t NameHash(std::string_view name) {
  const auto first = static_cast<unsigned char>(UpperAscii(name.front()));
  const auto last = static_cast<unsigned char>(UpperAscii(name.back()));
  return (name.size() * 37u + first * 7u + last * 13u) % kNameSlots;
}
constexpr auto kNameIndex = [] {
  std::array<int16_t, kNameSlots> slots{};
  slots.fill(-1);
  for (size_t i = 0; i < std::size(kKeyNames); ++i) {
    size_t at = NameHash(kKeyNames[i].name);
    while (slots[at] >= 0) at = (at + 1) % kNameSlots;
    slots[at] = static_cast<int16_t>(i);
  }
  return slots;
}();

uint8_t ScanCodeFromName(std::string_view name) {
  if (name.empty()) return 0;
  for (size_t at = NameHash(name); kNameIndex[at] >= 0; at = (at + 1) % kNameSlots) {
    const KeyName& entry = kKeyNames[static_cast<size_t>(kNameIndex[at])];
    if (EqualsIgnoringCase(name, entry.name)) return entry.scan;
  }
  return 0;
}

std::string_view NameFromScanCode(uint8_t scan) {
  if (scan == 0) return {};
  for (const KeyName& entry : kKeyNames) {
    if (entry.scan == scan) return entry.name;
  }
  return {};
}

uint8_t VirtualKeyFromScanCode(uint8_t scan) {
  if (scan >= kScanCount) return 0;
  return kVkByScan[scan];
}

uint8_t ScanCodeFromVirtualKey(uint8_t vk) { return kScanByVk[vk]; }

uint8_t ScanCodeFromCharacter(uint8_t character) {
  if (character >= kScanByCharacter.size()) return 0;
  return kScanByCharacter[character];
}

}  // namespace platform
