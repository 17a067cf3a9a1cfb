// Process start, the placeholder frame loop and shut-down of the engine program.
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "app/app.h"
#include "core/core.h"

namespace app {
namespace {

// The window name field: 32 bytes, patched in place by the game builder, so its size is fixed.
char kWindowName[33] = "Zu-Teal                         ";

constexpr uint32_t kTickPeriod = 150;  // 1/4500 s units: 30 ticks a second

std::string TrimmedWindowName() {
  std::string name(kWindowName, 32);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
  return name;
}

std::string CurrentFolder() {
  char buffer[4096];
  if (getcwd(buffer, sizeof buffer) == nullptr) return "./";
  return buffer;
}

struct TableFile {
  const char* name;
  core::Region region;
};
constexpr TableFile kTables[] = {
    {"sinus.bin", core::Region::kSineCoarse},
    {"sinusbig.bin", core::Region::kSineFine},
    {"atan.bin", core::Region::kArctangent},
    {"random.bin", core::Region::kRandom},
};

// How many bytes of each table file are read; the random buffer is larger than its file.
uint32_t TableBytes(core::Region region) {
  return region == core::Region::kRandom ? 2000 : core::Describe(region).size;
}

}  // namespace

WorkingPaths MakeWorkingPaths(const std::string& currentFolder, bool hasRunMode) {
  WorkingPaths paths;
  paths.working = currentFolder;
  for (char& c : paths.working) {
    if (c == '\\') c = '/';
  }
  if (paths.working.empty() || paths.working.back() != '/') paths.working += '/';
  paths.data = hasRunMode ? paths.working + "data/" : paths.working;
  paths.temporary = paths.working + "temp.tmp";
  return paths;
}

std::vector<std::string> LoadLookupTables(const std::string& dataFolder, core::Arena* arena) {
  std::vector<std::string> missing;
  for (const TableFile& table : kTables) {
    const uint32_t bytes = TableBytes(table.region);
    std::string content;
    // Read into a scratch copy first so a short file leaves the buffer untouched.
    if (!core::ReadFile(dataFolder + table.name, &content) || content.size() < bytes) {
      missing.push_back(table.name);
      continue;
    }
    std::copy(content.begin(), content.begin() + bytes, arena->Host(table.region));
  }
  return missing;
}

int Main(int argc, const char* const* argv) {
  LaunchOptions options;
  std::string error;
  if (!ParseLaunchOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "main: %s\n%s", error.c_str(), LaunchOptionsHelp().c_str());
    return 2;
  }
  if (options.showHelp) {
    std::printf("%s", LaunchOptionsHelp().c_str());
    return 0;
  }
  const std::vector<int32_t> numbers = ParseCommandLineNumbers(options.remainder);

  platform::Platform platform;
  if (!platform.Start(options.platform, &error)) {
    std::fprintf(stderr, "main: %s\n", error.c_str());
    return 1;
  }
  core::Arena arena;
  if (!arena.Create()) {
    std::fprintf(stderr, "main: cannot allocate the engine's memory\n");
    return 1;
  }
  const WorkingPaths paths = MakeWorkingPaths(CurrentFolder(), core::FileExists("runmode.ini"));
  const std::vector<std::string> missing = LoadLookupTables(paths.data, &arena);
  if (!missing.empty()) {
    std::string list;
    for (const std::string& name : missing) list += (list.empty() ? "" : ", ") + name;
    std::fprintf(stderr, "main: lookup tables missing or short in %s: %s\n", paths.data.c_str(), list.c_str());
  }

  const EngineSettings settings = ReadEngineSettings("config.ini");
  const DisplayModeInfo& mode = DisplayModeOf(settings.displayMode);
  if (!platform.OpenWindow(mode.width, mode.height, TrimmedWindowName(), &error)) {
    std::fprintf(stderr, "main: %s\n", error.c_str());
    return 1;
  }

  // Until the play loop exists: present frames at the tick rate until Escape or the tick limit.
  const int32_t ticks = options.ticks >= 0 ? options.ticks : (platform.IsHeadless() ? 3 : 90);
  std::vector<platform::InputEvent> events;
  uint32_t deadline = platform.clock().Now();
  bool escape = false;
  for (int32_t tick = 0; tick < ticks && !escape; ++tick) {
    events.clear();
    platform.PumpEvents(&events);
    for (const platform::InputEvent& e : events) {
      escape = escape || (e.kind == platform::EventKind::kKeyDown && e.scan == 0x01);
    }
    const uint8_t shade = static_cast<uint8_t>(32 + (tick * 4) % 64);
    platform.BeginFrame({0, static_cast<uint8_t>(shade / 2), shade});
    platform.Present();
    deadline += kTickPeriod;
    platform.clock().WaitUntil(deadline);
  }
  (void)numbers;
  platform.Shutdown();
  return 0;
}

}  // namespace app
