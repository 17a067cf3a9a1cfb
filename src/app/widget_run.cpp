// One widget run headless as a tool of the engine would run it: start-up, the widget on the
// engine's canvas with its host, the result, shut-down. What `vexel widget` runs.
#include <cstdio>

#include "app/app.h"
#include "core/core.h"

namespace app {
namespace {

std::string JsonRect(const std::array<int, 4>& r) {
  return "[" + std::to_string(r[0]) + ", " + std::to_string(r[1]) + ", " + std::to_string(r[2]) + ", " +
         std::to_string(r[3]) + "]";
}

std::string JsonRects(const std::vector<std::array<int, 4>>& rects) {
  std::string json = "[";
  for (const std::array<int, 4>& r : rects) json += (json.size() > 1 ? ", " : "") + JsonRect(r);
  return json + "]";
}

const std::string& Arg(const WidgetRequest& request, size_t i) {
  static const std::string kEmpty;
  return i < request.args.size() ? request.args[i] : kEmpty;
}

int NumberArg(const WidgetRequest& request, size_t i) {
  return static_cast<int>(std::strtol(Arg(request, i).c_str(), nullptr, 10));
}

// Runs the widget; *result is its value as JSON, *extra the further JSON members (", ..."), *plain
// the value as it is.
void RunOne(Engine& engine, const WidgetRequest& request, std::string* result, std::string* extra, std::string* plain) {
  engine::widgets::WidgetScreen& screen = engine.widgets;
  const std::string& kind = request.kind;
  if (kind == "box") {
    const engine::widgets::QuestionLayout layout = engine::widgets::LayoutQuestion(
        engine::widgets::ScreenFont(screen), screen.canvas.width, screen.canvas.height, Arg(request, 0), Arg(request, 1),
        Arg(request, 2));
    *plain = std::to_string(engine::widgets::MessageBox(screen, Arg(request, 0), Arg(request, 1), Arg(request, 2)));
    *result = *plain;
    std::string lines = "[";
    for (const std::string& line : layout.lines) lines += (lines.size() > 1 ? ", " : "") + core::JsonString(line);
    *extra = ", \"lines\": " + lines + "], \"font_height\": " + std::to_string(layout.fontHeight) +
             ", \"line_width\": " + std::to_string(layout.lineWidth) + ", \"label_widths\": [" +
             std::to_string(layout.labelWidths[0]) + ", " + std::to_string(layout.labelWidths[1]) + "], \"box\": " +
             JsonRect({layout.left, layout.top, layout.width, layout.height}) + ", \"buttons\": " + JsonRects(layout.buttons);
  } else if (kind == "menu") {
    const engine::widgets::MenuLayout layout = engine::widgets::LayoutMenu(
        engine::widgets::ScreenFont(screen), screen.canvas.width, screen.canvas.height, Arg(request, 0));
    *plain = std::to_string(engine::widgets::MenuBox(screen, Arg(request, 0)));
    *result = *plain;
    *extra = ", \"buttons\": " + JsonRects(layout.buttons);
  } else if (kind == "input") {
    const int width = request.width > 0 ? request.width : 300;
    *plain = engine::widgets::InputBox(screen, width, Arg(request, 1), Arg(request, 0));
    *result = core::JsonString(*plain);
  } else if (kind == "colour") {
    *plain = std::to_string(engine::widgets::ColourPicker(screen, NumberArg(request, 0)));
    *result = *plain;
  } else if (kind == "files") {
    *plain = engine::widgets::FilePicker(screen, engine.paths.data, Arg(request, 0), NumberArg(request, 1),
                                         Arg(request, 2));
    *result = core::JsonString(*plain);
  } else {  // folder
    *plain = engine::widgets::FolderBrowser(screen, Arg(request, 0), Arg(request, 1));
    *result = core::JsonString(*plain);
  }
}

}  // namespace

bool IsWidgetKind(const std::string& kind) {
  return kind == "box" || kind == "menu" || kind == "input" || kind == "colour" || kind == "files" || kind == "folder";
}

int RunWidget(int argc, const char* const* argv, const WidgetRequest& request, std::string* output) {
  platform::InstallStopSignals();
  auto engine = std::make_unique<Engine>();
  int code = StartUp(*engine, argc, argv);
  if (code == kStartedUp) {
    code = kExitOk;
    // As a tool of the engine: the data folder under the current folder, whether or not the
    // front end's runmode.ini is there.
    engine->paths = MakeWorkingPaths(core::CurrentFolder(), true);
    StartWidgets(*engine);
    if (request.font8) engine->widgets.font = &engine->playFont;
    std::string result;
    std::string extra;
    std::string plain;
    RunOne(*engine, request, &result, &extra, &plain);
    *output = request.json ? "{\"result\": " + result + extra + "}\n" : "result " + plain + "\n";
  }
  ShutDown(*engine);
  if (code == kExitOk && engine->outputFailed) code = kExitOutputFailed;
  if (const int signal = platform::StopSignal(); signal != 0) code = 128 + signal;
  return code;
}

}  // namespace app
