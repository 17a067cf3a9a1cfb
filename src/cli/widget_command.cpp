// vexel widget: one of the program's boxes run headless on the virtual clock in the current
// folder, as a tool of the engine runs it, printing what it returns.
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"

namespace cli {

// cli.cpp.
bool ParseTickCount(const char* text, int32_t* ticks);

int WidgetCommand(int argc, const char* const* argv) {
  constexpr const char* kUsage =
      "usage: vexel widget box TEXT [LABEL1 [LABEL2]] | menu ENTRIES | input PROMPT [TEXT] [--width N]\n"
      "                    | colour INDEX | files FOLDER CATEGORY TITLE | folder PATH PATTERN\n"
      "       [--input FILE] [--screenshot FILE] [--screenshot-at N] [--mode CODE] [--font8] [--json]\n";
  if (argc < 1 || !app::IsWidgetKind(argv[0])) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  app::WidgetRequest request;
  request.kind = argv[0];
  // The engine runs headless on the virtual clock; the widget's first frame is the screenshot
  // unless another is asked for.
  std::vector<std::string> args = {"main", "--headless", "--ticks", "0"};
  std::string screenshotAt;
  bool screenshot = false;
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    const bool valued = std::strcmp(word, "--input") == 0 || std::strcmp(word, "--screenshot") == 0 ||
                        std::strcmp(word, "--screenshot-at") == 0 || std::strcmp(word, "--mode") == 0 ||
                        std::strcmp(word, "--width") == 0;
    if (valued) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "vexel: %s needs a value\n%s", word, kUsage);
        return 2;
      }
      const char* value = argv[++i];
      int32_t number = 0;
      if ((std::strcmp(word, "--width") == 0 || std::strcmp(word, "--screenshot-at") == 0) &&
          (!ParseTickCount(value, &number) || number == 0)) {
        std::fprintf(stderr, "vexel: %s needs a whole number from 1, not '%s'\n", word, value);
        return 2;
      }
      if (std::strcmp(word, "--width") == 0) {
        request.width = number;
      } else if (std::strcmp(word, "--screenshot-at") == 0) {
        screenshotAt = value;
      } else {
        screenshot = screenshot || std::strcmp(word, "--screenshot") == 0;
        args.push_back(word);
        args.push_back(value);
      }
    } else if (std::strcmp(word, "--font8") == 0) {
      request.font8 = true;
    } else if (std::strcmp(word, "--json") == 0) {
      request.json = true;
    } else if (std::strncmp(word, "--", 2) == 0) {
      std::fprintf(stderr, "vexel: unknown option %s\n%s", word, kUsage);
      return 2;
    } else {
      request.args.push_back(word);
    }
  }
  if (screenshot) {
    args.push_back("--screenshot-at");
    args.push_back(screenshotAt.empty() ? "1" : screenshotAt);
  }
  std::vector<const char*> pointers;
  for (const std::string& arg : args) pointers.push_back(arg.c_str());
  std::string output;
  const int code = app::RunWidget(static_cast<int>(pointers.size()), pointers.data(), request, &output);
  std::fputs(output.c_str(), stdout);
  return code;
}

}  // namespace cli
