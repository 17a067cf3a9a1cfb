// Keyboard tables: PC set-1 scan codes, Windows virtual-key codes and key names, and the mapping
// from SDL scancodes. Pure tables and lookups; no state.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

// One physical key. `scan` is the set-1 make code without the 0xE0 prefix (the value the key
// queue stores in bits 16-23); `extended` tells the keys that send the prefix (right Ctrl and
// Alt, the arrow and editing block, keypad Enter and "/", the Windows keys...).
struct KeyCode {
  uint8_t scan = 0;
  bool extended = false;
  uint8_t vk = 0;  // Windows virtual-key code; 0 when the key has none
};

// SDL scancode (the numeric value of SDL_Scancode) to the key's codes; all zero for keys a PC
// keyboard does not have.
KeyCode KeyFromSdlScancode(int sdlScancode);
// The SDL scancode of a set-1 code; `extended` picks between the keypad and the editing block
// for codes they share. 0 (SDL_SCANCODE_UNKNOWN) when no key sends it.
int SdlScancodeFromKey(uint8_t scan, bool extended);

// Key names the brains and input scripts use ("ESC", "A", "F12", "PAGEDOWN", ...), matched
// without regard to case. 0 for an unknown name.
uint8_t ScanCodeFromName(std::string_view name);
// The name of a set-1 code from the same table, or an empty view.
std::string_view NameFromScanCode(uint8_t scan);

// The virtual key the window system maps a scan code to (its base layout: 0x48 is the up arrow,
// as with Num Lock off), and the scan code of a virtual key. 0 when there is none.
uint8_t VirtualKeyFromScanCode(uint8_t scan);
uint8_t ScanCodeFromVirtualKey(uint8_t vk);

// The key (US layout) that types a character, for replaying typed text; shift is not reported.
// 0 when no key types it.
uint8_t ScanCodeFromCharacter(uint8_t character);

}  // namespace platform
