// The vexel command: subcommand dispatch and help.
#include "cli/cli.h"

#include <cstdio>
#include <cstring>

#include "core/core.h"

namespace cli {
namespace {

constexpr const char* kUsage =
    "usage: vexel COMMAND [ARGS]\n"
    "commands:\n"
    "  arena       list the engine memory regions with their guest addresses\n"
    "  help        this text\n";

int ListArena() {
  for (int i = 0; i < static_cast<int>(core::Region::kCount); ++i) {
    const core::RegionInfo& info = core::Describe(static_cast<core::Region>(i));
    std::printf("0x%08X %9u  %s\n", core::Arena::kGuestBase + info.offset, info.size, info.name);
  }
  return 0;
}

}  // namespace

int Main(int argc, const char* const* argv) {
  if (argc < 2 || std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0) {
    std::printf("%s", kUsage);
    return argc < 2 ? 2 : 0;
  }
  if (std::strcmp(argv[1], "arena") == 0) return ListArena();
  std::fprintf(stderr, "vexel: unknown command '%s'\n%s", argv[1], kUsage);
  return 2;
}

}  // namespace cli
