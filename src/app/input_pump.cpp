// The input pump: window events into the key queue and the typed-text buffer, the pointer, the
// frame count; flushing and reading keys.
#include "app/app.h"

namespace app {
namespace {

char* TypedBuffer(Engine& engine) { return engine.arena.As<char>(core::Region::kTypedText); }

}  // namespace

// Virtual keys 1..255 cover the mouse buttons and the any-key scan too; then the controllers.
bool AnyInputHeld(const Engine& engine) {
  const platform::InputState& input = engine.platform.window->Input();
  for (int vk = 1; vk < 256; ++vk) {
    if (input.vkDown[vk]) return true;
  }
  if (input.AnyKeyDown()) return true;
  for (const platform::PadState& pad : input.pads) {
    if (pad.present && pad.buttons != 0) return true;
  }
  return false;
}

void HandleWindowEvent(Engine& engine, const platform::InputEvent& event, const platform::InputEvent* next) {
  using platform::EventKind;
  switch (event.kind) {
    case EventKind::kKeyDown:
      // A key that types a character is queued once, by its character event.
      if (next != nullptr && next->kind == EventKind::kCharacter) break;
      engine.keys.Push(0, event.scan);
      break;
    case EventKind::kCharacter: {
      // Digits already carry their top-row scan code (the platform maps keypad digits).
      engine.keys.Push(event.character, event.scan);
      char* typed = TypedBuffer(engine);
      if (event.character == 8) {
        if (engine.typedLength > 0) typed[--engine.typedLength] = '\0';
      } else if (event.character >= 32 && engine.typedLength < kTypedTextMax) {
        typed[engine.typedLength++] = static_cast<char>(event.character);
        typed[engine.typedLength] = '\0';
      }
      break;
    }
    case EventKind::kActivate:
      engine.active = true;  // never cleared on deactivation
      break;
    case EventKind::kQuit:  // closing the window is ignored: the program ends through its own loops
    default:
      break;
  }
}

void PumpInput(Engine& engine) {
  engine.events.clear();
  engine.platform.window->PumpEvents(&engine.events);
  const size_t count = engine.events.size();
  for (size_t i = 0; i < count; ++i) {
    HandleWindowEvent(engine, engine.events[i], i + 1 < count ? &engine.events[i + 1] : nullptr);
  }
  // The drawing surface is the engine's own memory and is never lost, so the pointer is always
  // read. It is clamped to the screen of the display mode.
  const platform::InputState& input = engine.platform.window->Input();
  const int maxX = engine.display.width - 1;
  const int maxY = engine.display.height - 1;
  engine.mouseX = input.mouseX < 0 ? 0 : (input.mouseX > maxX ? maxX : input.mouseX);
  engine.mouseY = input.mouseY < 0 ? 0 : (input.mouseY > maxY ? maxY : input.mouseY);
  engine.mouseButtons = input.mouseButtons & 7u;
  ++engine.frames;
  ++engine.random.loopCounter;  // the random stream depends on how many passes have run
}

void FlushInput(Engine& engine) {
  // A key held for ever (or a script that never releases it) must not hang the tool: each wait
  // gives up after about ten seconds of pump passes. A stop signal ends the flush at once: nobody
  // is going to release the keys of a program being stopped. The queue is left empty either way.
  constexpr int kMaxWaitPasses = 300;
  for (int pass = 0; pass < 20 && platform::StopSignal() == 0; ++pass) {
    PumpInput(engine);
    for (int wait = 0; wait < kMaxWaitPasses && AnyInputHeld(engine) && platform::StopSignal() == 0; ++wait) {
      if (!engine.platform.clock().IsVirtual()) platform::Clock::Sleep(platform::Clock::kUnitsPerSecond / 30);
      PumpInput(engine);
    }
    engine.keys.Clear();
  }
  engine.keys.Clear();
}

std::string ReadKey(Engine& engine) {
  uint32_t entry = 0;
  if (!engine.keys.Pop(&entry)) return std::string();
  engine.readKeyScan = static_cast<uint8_t>(entry >> 16);
  const char character = static_cast<char>(entry & 0xFF);
  return character == 0 ? std::string() : std::string(1, character);
}

std::string TypedText(const Engine& engine) {
  return std::string(engine.arena.As<const char>(core::Region::kTypedText), engine.typedLength);
}

}  // namespace app
