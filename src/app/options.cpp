// Long options of the engine program and the command-line numbers.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/app.h"

namespace app {
namespace {

bool ParseCount(const std::string& text, int32_t* out) {
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || value < 0 || value > INT32_MAX) return false;
  *out = static_cast<int32_t>(value);
  return true;
}

}  // namespace

std::string LaunchOptionsHelp() {
  return "Options (taken out before the /N command-line numbers are read):\n"
         "  --headless          no display: SDL's offscreen driver, GL on Mesa's software renderer\n"
         "  --windowed          a window of the display mode's size instead of the full screen\n"
         "  --software          force Mesa's software rasteriser\n"
         "  --ticks N           stop after N ticks of the whole run (a game's plays share them);\n"
         "                      time runs on a virtual clock, with no waiting\n"
         "  --real-clock        with --ticks, keep the real clock: ticks take their real time\n"
         "  --audio-out FILE    write the mixed sound output to FILE as WAV instead of playing it\n"
         "  --input FILE        replay keys, text, mouse, controllers and box answers from FILE\n"
         "  --screenshot FILE   write the last presented frame as PNG\n"
         "  --screenshot-at N   capture the N-th presented frame instead of the last\n"
         "  --box-screenshots DIR  the first frame of every box as DIR/box1.png, DIR/box2.png ...\n"
         "  --mode CODE         display mode 1, 2, 4, 8, 16 or 32 instead of config.ini's\n"
         "  --brains=interp|native  run brains in the interpreter or translated to native code\n"
         "  --dump FILE         write the element state records as JSON when a play ends\n"
         "  --timing-log FILE   one line per loop pass: step, pump pass, time, deadline, frame or late\n"
         "  --allow-ports       let brains read and write hardware I/O ports (needs privileges);\n"
         "                      without it the port instructions read 0 and write nothing\n"
         "  --help              this text\n";
}

bool ParseLaunchOptions(int argc, const char* const* argv, LaunchOptions* out, std::string* error) {
  *out = LaunchOptions{};
  bool realClock = false;
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    if (word.rfind("--", 0) != 0) {
      if (!out->remainder.empty()) out->remainder += ' ';
      out->remainder += word;
      continue;
    }
    std::string value;
    bool hasValue = false;
    if (const size_t eq = word.find('='); eq != std::string::npos) {
      value = word.substr(eq + 1);
      word = word.substr(0, eq);
      hasValue = true;
    }
    auto needValue = [&]() -> bool {
      if (hasValue) return true;
      if (i + 1 >= argc) {
        *error = word + " needs a value";
        return false;
      }
      value = argv[++i];
      return true;
    };
    if (word == "--headless") {
      out->platform.headless = true;
    } else if (word == "--windowed") {
      out->platform.windowed = true;
    } else if (word == "--software") {
      out->platform.softwareRendering = true;
    } else if (word == "--brains") {
      if (!needValue()) return false;
      if (value == "interp") out->brains = brain::Backend::kInterpreter;
      else if (value == "native") out->brains = brain::Backend::kNative;
      else {
        *error = "--brains takes interp or native, not '" + value + "'";
        return false;
      }
    } else if (word == "--dump") {
      if (!needValue()) return false;
      out->dumpPath = value;
    } else if (word == "--timing-log") {
      if (!needValue()) return false;
      out->timingLogPath = value;
    } else if (word == "--allow-ports") {
      out->allowPorts = true;
    } else if (word == "--audio-out") {
      if (!needValue()) return false;
      out->platform.audioOutPath = value;
    } else if (word == "--real-clock") {
      realClock = true;
    } else if (word == "--help") {
      out->showHelp = true;
    } else if (word == "--ticks") {
      if (!needValue()) return false;
      if (!ParseCount(value, &out->ticks)) {
        *error = "--ticks needs a whole number, not '" + value + "'";
        return false;
      }
    } else if (word == "--input") {
      if (!needValue()) return false;
      out->platform.inputScriptPath = value;
    } else if (word == "--screenshot") {
      if (!needValue()) return false;
      out->platform.screenshotPath = value;
    } else if (word == "--box-screenshots") {
      if (!needValue()) return false;
      out->boxScreenshotFolder = value;
    } else if (word == "--mode") {
      if (!needValue()) return false;
      int32_t code = 0;
      if (!ParseCount(value, &code) || engine::FindDisplayMode(code) == nullptr) {
        *error = "--mode takes 1, 2, 4, 8, 16 or 32, not '" + value + "'";
        return false;
      }
      out->displayMode = code;
    } else if (word == "--screenshot-at") {
      if (!needValue()) return false;
      int32_t at = 0;
      if (!ParseCount(value, &at) || at == 0) {
        *error = "--screenshot-at needs a frame number from 1, not '" + value + "'";
        return false;
      }
      out->platform.screenshotAt = at;
    } else {
      *error = "unknown option " + word;
      return false;
    }
  }
  out->platform.virtualClock = out->ticks >= 0 && !realClock;
  return true;
}

std::vector<int32_t> ParseCommandLineNumbers(const std::string& text) {
  std::vector<int32_t> numbers;
  const char* p = text.c_str();
  if (*p != '/') return numbers;
  while (*p == '/') {
    ++p;
    if (*p == '\0') break;
    numbers.push_back(static_cast<int32_t>(std::strtol(p, nullptr, 10)));
    while (*p != '\0' && *p != ' ') ++p;
    while (*p == ' ') ++p;
  }
  return numbers;
}

}  // namespace app
