// Input pump figures: one pass of the SDL window's pump with two controllers plugged in (SDL's
// virtual devices, one read as a game controller and one as a plain joystick) whose sticks and
// buttons change every pass, against the same pass without controllers. Calls the platform layer
// and SDL's virtual-joystick interface.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

int AttachVirtual(bool controller) {
  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = controller ? SDL_JOYSTICK_TYPE_GAMECONTROLLER : SDL_JOYSTICK_TYPE_UNKNOWN;
  desc.naxes = controller ? SDL_CONTROLLER_AXIS_MAX : 6;
  desc.nbuttons = controller ? SDL_CONTROLLER_BUTTON_MAX : 16;
  desc.nhats = controller ? 0 : 1;
  desc.name = controller ? "bench controller" : "bench joystick";
  return SDL_JoystickAttachVirtualEx(&desc);
}

void BM_PumpPass(benchmark::State& state) {
  const int pads = static_cast<int>(state.range(0));
  platform::Platform platform;
  platform::Options options;
  options.headless = true;
  options.virtualClock = true;
  std::string error;
  if (!platform.Start(options, &error) || !platform.window->OpenControllers()) {
    state.SkipWithError(("no platform with controllers: " + error).c_str());
    return;
  }
  std::vector<SDL_Joystick*> drivers;
  std::vector<int> devices;
  for (int i = 0; i < pads; ++i) {
    const int device = AttachVirtual(i == 0);
    SDL_Joystick* driver = device >= 0 ? SDL_JoystickOpen(device) : nullptr;
    if (driver == nullptr) {
      state.SkipWithError("cannot attach a virtual controller");
      return;
    }
    devices.push_back(device);
    drivers.push_back(driver);
  }
  std::vector<platform::InputEvent> events;
  for (int i = 0; i < 3; ++i) platform.window->PumpEvents(&events);  // the plug-in events
  int pass = 0;
  size_t eventCount = 0;
  for (auto _ : state) {
    // Moving sticks and a button changing every pass: the events a player makes.
    for (SDL_Joystick* driver : drivers) {
      SDL_JoystickSetVirtualAxis(driver, 0, static_cast<Sint16>((pass * 977) % 65536 - 32768));
      SDL_JoystickSetVirtualAxis(driver, 1, static_cast<Sint16>((pass * 331) % 65536 - 32768));
      SDL_JoystickSetVirtualButton(driver, 0, (pass & 1) != 0 ? SDL_PRESSED : SDL_RELEASED);
    }
    events.clear();
    platform.window->PumpEvents(&events);
    eventCount += events.size();
    ++pass;
  }
  state.counters["events_per_pass"] = benchmark::Counter(static_cast<double>(eventCount) / pass);
  state.counters["present"] = platform.window->Input().pads[0].present + platform.window->Input().pads[1].present;
  for (SDL_Joystick* driver : drivers) SDL_JoystickClose(driver);
  for (int device : devices) SDL_JoystickDetachVirtual(device);
  platform.Shutdown();
}
BENCHMARK(BM_PumpPass)->Arg(0)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
