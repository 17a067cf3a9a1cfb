// vexel play: a headless test play of a project in the current folder, through a temporary
// runmode.ini, reporting whether the play ended normally or was stopped by a signal.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "core/core.h"

namespace cli {

// cli.cpp.
bool ParseTickCount(const char* text, int32_t* ticks);

int PlayCommand(int argc, const char* const* argv) {
  constexpr const char* kUsage = "usage: vexel play PROJECT [--ticks N] [--dump FILE] [--input FILE] [--screenshot FILE]\n"
                                  "       [--screenshot-at N] [--brains=interp|native] [--real-clock] [--audio-out FILE]\n"
                                  "       [--box-screenshots DIR]\n";
  if (argc < 1) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  std::vector<std::string> args = {"main", "--headless"};
  bool ticksGiven = false;
  for (int i = 1; i < argc; ++i) {
    const bool ticks = std::strcmp(argv[i], "--ticks") == 0;
    if (ticks || std::strcmp(argv[i], "--dump") == 0 || std::strcmp(argv[i], "--input") == 0 ||
        std::strcmp(argv[i], "--screenshot") == 0 || std::strcmp(argv[i], "--screenshot-at") == 0 ||
        std::strcmp(argv[i], "--audio-out") == 0 || std::strcmp(argv[i], "--box-screenshots") == 0) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "vexel: %s needs a value\n%s", argv[i], kUsage);
        return 2;
      }
      int32_t count = 0;
      if (ticks && !ParseTickCount(argv[i + 1], &count)) {
        std::fprintf(stderr, "vexel: --ticks needs a whole number from 0 to %d, not '%s'\n", INT32_MAX, argv[i + 1]);
        return 2;
      }
      ticksGiven = ticksGiven || ticks;
      args.push_back(argv[i]);
      args.push_back(argv[++i]);
    } else if (std::strcmp(argv[i], "--real-clock") == 0) {
      args.push_back(argv[i]);
    } else if (std::strncmp(argv[i], "--brains=", 9) == 0) {
      if (std::strcmp(argv[i] + 9, "interp") != 0 && std::strcmp(argv[i] + 9, "native") != 0) {
        std::fprintf(stderr, "vexel: --brains takes interp or native, not '%s'\n", argv[i] + 9);
        return 2;
      }
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
  // The engine reads the path as the front end writes it ('\' between folders), a relative one
  // under the current folder. Nothing is written for a project that is not there.
  std::string project = argv[0];
  for (char& c : project) {
    if (c == '\\') c = '/';
  }
  if (!core::FileExists(project)) {
    std::fprintf(stderr, "vexel: No such project: %s\n", argv[0]);
    return 1;
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
  app::RunOutcome outcome;
  // A headless run renders in software from the start: one run is enough.
  int code = app::Main(static_cast<int>(pointers.size()), pointers.data(), &outcome);
  if (hadRunMode) core::WriteFileAtomic("runmode.ini", previous);
  else std::remove("runmode.ini");

  // A stopped play passes the signal's code on, as the engine program would.
  if (code == app::kExitInterrupted || code == app::kExitTerminated) {
    std::printf("play stopped by a signal\n");
    return code;
  }
  // The options were checked above; the engine has said what else it refused.
  if (code == app::kExitBadOptions) return 2;
  if (code == app::kExitOk && outcome.exitTarget == app::kExitRuntimeError) {
    std::printf("play ended by a run-time error\n");
    return 1;
  }
  const bool normal = code == app::kExitOk && core::FileExists("temp/wasok.dat");
  std::printf("play %s\n", normal ? "ended normally" : "did not end normally");
  return normal ? 0 : 1;
}

}  // namespace cli
