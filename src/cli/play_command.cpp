// vexel play: a headless test play of a project in the current folder, through a temporary
// runmode.ini, reporting whether the play ended normally or was stopped by a signal.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "core/core.h"

namespace cli {

int PlayCommand(int argc, const char* const* argv) {
  constexpr const char* kUsage = "usage: vexel play PROJECT [--ticks N] [--dump FILE] [--brains=interp|native]\n";
  if (argc < 1) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  std::vector<std::string> args = {"main", "--headless"};
  bool ticksGiven = false;
  for (int i = 1; i < argc; ++i) {
    const bool takesValue = std::strcmp(argv[i], "--ticks") == 0 || std::strcmp(argv[i], "--dump") == 0;
    if (takesValue && i + 1 < argc) {
      ticksGiven = ticksGiven || std::strcmp(argv[i], "--ticks") == 0;
      args.push_back(argv[i]);
      args.push_back(argv[++i]);
    } else if (std::strncmp(argv[i], "--brains=", 9) == 0) {
      args.push_back(argv[i]);
    } else {
      std::fprintf(stderr, "vexel: unknown option %s\n%s", argv[i], kUsage);
      return 2;
    }
  }
  if (!ticksGiven) {
    args.push_back("--ticks");
    args.push_back("300");
  }

  // The front end's runmode.ini, if there is one, is put back afterwards.
  std::string previous;
  const bool hadRunMode = core::ReadFile("runmode.ini", &previous);
  if (!core::WriteFileAtomic("runmode.ini", std::string(argv[0]) + "\r\n1\r\n0\r\n0\r\n0\r\n")) {
    std::fprintf(stderr, "vexel: cannot write runmode.ini in the current folder\n");
    return 1;
  }
  std::remove("temp/wasok.dat");
  std::vector<const char*> pointers;
  for (const std::string& a : args) pointers.push_back(a.c_str());
  int code = app::Main(static_cast<int>(pointers.size()), pointers.data());
  // Without a hardware renderer the first run switches config.ini to software; play again.
  if (code == app::kExitSwitchedToSoftware) code = app::Main(static_cast<int>(pointers.size()), pointers.data());
  if (hadRunMode) core::WriteFileAtomic("runmode.ini", previous);
  else std::remove("runmode.ini");

  // A stopped play passes the signal's code on, as the engine program would.
  if (code == app::kExitInterrupted || code == app::kExitTerminated) {
    std::printf("play stopped by a signal\n");
    return code;
  }
  const bool normal = code == app::kExitOk && core::FileExists("temp/wasok.dat");
  std::printf("play %s\n", normal ? "ended normally" : "did not end normally");
  return normal ? 0 : 1;
}

}  // namespace cli
