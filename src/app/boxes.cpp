// The program's boxes and notices on the widget canvas, the system boxes, and the widget host
// that gives the widgets the engine's input pump, presentation and input-script answers.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "app/app.h"
#include "core/core.h"

namespace app {
namespace {

using engine::widgets::WidgetAnswer;
using engine::widgets::WidgetKey;

// A headless run whose boxes keep taking their defaults with no input left is stuck in a loop
// that asks and asks: it stops after this many in a row.
constexpr int kMaxDefaultsInRow = 50;

class EngineWidgetHost final : public engine::widgets::WidgetHost {
 public:
  explicit EngineWidgetHost(Engine& engine) : engine_(engine) { Recolour(); }

  // The canvas colours follow the back surface's format and the skin's palette.
  void Recolour() {
    colours_ = engine::widgets::MakeCanvasColours(engine_.widgets.skin.palette.data(), engine_.display.format);
  }

  void Pump() override { PumpInput(engine_); }
  bool PopKey(WidgetKey* key) override {
    uint32_t entry = 0;
    if (!engine_.keys.Pop(&entry)) return false;
    key->character = static_cast<uint8_t>(entry & 0xFF);
    key->scan = static_cast<uint8_t>(entry >> 16);
    return true;
  }
  void FlushKeys() override { engine_.keys.Clear(); }
  int MouseX() const override { return engine_.mouseX; }
  int MouseY() const override { return engine_.mouseY; }
  int MouseButtons() const override {
    return (engine_.mouseButtons & 1u) != 0 ? 1 : (engine_.mouseButtons & 2u) != 0 ? 2 : 0;
  }

  void Present(const engine::widgets::Canvas& canvas) override {
    const engine::Surface back = engine_.display.Back();
    if (back.Usable()) engine::widgets::PresentCanvas(canvas, colours_, back);
    ShowBackSurface(engine_);
    if (captureNext_) {
      captureNext_ = false;
      CaptureBox();
    }
  }
  void ClearDisplay() override {
    const engine::Surface back = engine_.display.Back();
    if (back.Usable()) engine::widgets::ClearSurface(back);
    ShowBackSurface(engine_);
  }
  void Idle() override {
    if (!engine_.platform.clock().IsVirtual()) platform::Clock::Sleep(platform::Clock::kUnitsPerSecond / 60);
  }
  bool InputMayArrive() const override {
    return platform::StopSignal() == 0 && engine_.platform.window->InputMayArrive();
  }
  bool TakeAnswer(WidgetAnswer* answer) override {
    platform::BoxAnswer scripted;
    if (!engine_.platform.window->TakeAnswer(&scripted)) return false;
    answer->isNumber = scripted.isNumber;
    answer->number = scripted.number;
    answer->text = scripted.text;
    return true;
  }
  void BoxOpened(std::string_view, std::string_view) override {
    ++boxes_;
    captureNext_ = !engine_.options.boxScreenshotFolder.empty();
  }
  void BoxClosed(std::string_view kind, std::string_view text, std::string_view result, bool defaulted) override {
    // Message boxes are logged by their callers, with the caption; the other boxes here.
    if (kind != "box" && engine_.platform.IsHeadless()) {
      std::fprintf(stderr, "[%.*s] %s -> %s\n", static_cast<int>(kind.size()), kind.data(),
                   core::PrintableText(text, "|").c_str(), core::PrintableText(result, "|").c_str());
    }
    if (!defaulted) {
      defaultsInRow_ = 0;
      return;
    }
    if (++defaultsInRow_ < kMaxDefaultsInRow || !engine_.platform.IsHeadless()) return;
    std::fprintf(stderr, "main: the %.*s \"%s\" keeps asking with no input left; stopping\n",
                 static_cast<int>(kind.size()), kind.data(), core::PrintableText(text, "|").c_str());
    std::fflush(nullptr);
    std::exit(kExitStartFailed);
  }
  bool MinimiseAndWait() override {
    if (engine_.platform.IsHeadless() || !engine_.platform.window->Minimise()) return false;
    // Back when the window is activated again; a stop signal does not wait for that.
    for (;;) {
      PumpInput(engine_);
      for (const platform::InputEvent& event : engine_.events) {
        if (event.kind == platform::EventKind::kActivate) return true;
      }
      if (platform::StopSignal() != 0) return true;
      platform::Clock::Sleep(platform::Clock::kUnitsPerSecond / 30);
    }
  }

 private:
  void CaptureBox() {
    std::vector<uint8_t> rgb;
    platform::GlContext& gl = *engine_.platform.gl;
    const std::string& folder = engine_.options.boxScreenshotFolder;
    const std::string path = folder + "/box" + std::to_string(boxes_) + ".png";
    core::MakeFolders(folder);
    if (!gl.ReadFrame(&rgb) || !platform::WritePng(path, gl.LogicalWidth(), gl.LogicalHeight(), rgb, nullptr)) {
      ReportOutputFailure(engine_, "cannot write " + path);
    }
  }

  Engine& engine_;
  engine::widgets::CanvasColours colours_;
  int boxes_ = 0;
  bool captureNext_ = false;
  int defaultsInRow_ = 0;
};

// The widgets draw only once the display exists (the canvas has its size).
bool CanvasReady(const Engine& engine) {
  return engine.widgetHost != nullptr && engine.widgets.canvas.width > 0 && engine.widgets.host != nullptr;
}

// "[message box] CAPTION: TEXT -> BUTTON" on stderr in headless runs, as the system boxes log.
void LogBox(const Engine& engine, const std::string& caption, const std::string& text, const std::string& button) {
  if (!engine.platform.IsHeadless()) return;
  std::fprintf(stderr, "[message box] %s: %s -> %s\n", caption.c_str(), text.c_str(), button.c_str());
}

// A question box on the canvas: lines separated by '|'; returns the chosen button's index. During
// a play the box leaves the frame pictures to be drawn again and its time is not caught up.
// A system box shows its caption as the first line (`captionLine`); the log keeps it apart.
int CanvasQuestion(Engine& engine, const std::string& caption, const std::string& text,
                   const std::vector<std::string>& buttons, bool captionLine = false) {
  const std::string printable = core::PrintableText(text, "|");
  const std::string shown = captionLine ? core::PrintableText(caption, "|") + "|" + printable : printable;
  const std::string first = buttons.empty() ? std::string(" OK ") : buttons[0];
  const std::string second = buttons.size() > 1 ? buttons[1] : std::string();
  const int result = engine::widgets::MessageBox(engine.widgets, shown, first, second);
  const int chosen = result == 2 && !second.empty() ? 1 : 0;
  std::string logged = printable;
  for (char& c : logged) {
    if (c == '|') c = '\n';
  }
  LogBox(engine, caption, logged, chosen == 0 ? first : second);
  if (engine.playing && engine.play) {
    MarkFlatFrames(engine.arena, engine.project.LastIndex());
    engine.play->deadline = engine.platform.clock().Now() + engine.tickPeriod;
  }
  return chosen;
}

// The system box: an SDL box where a display exists; headless, a canvas question box with the
// caption as its first line.
void SystemBox(Engine& engine, const std::string& caption, const std::string& text) {
  if (engine.platform.IsHeadless() && CanvasReady(engine)) {
    std::string lines = text;
    for (char& c : lines) {
      if (c == '\n') c = '|';
    }
    while (!lines.empty() && (lines.back() == '\r' || lines.back() == '|')) lines.pop_back();
    CanvasQuestion(engine, caption, lines, {" OK "}, true);
    return;
  }
  platform::MessageBoxRequest box;
  box.caption = caption;
  box.text = core::PrintableText(text);
  box.buttons = {"OK"};
  engine.platform.window->ShowMessageBox(box);
}

}  // namespace

void StartWidgets(Engine& engine) {
  engine::widgets::WidgetScreen& screen = engine.widgets;
  std::string bytes;
  std::string error;
  const std::string skin = engine.paths.data + "panels.pcx";
  if (!core::ReadFile(skin, &bytes)) {
    error = "cannot read it";
    engine::widgets::LoadSkin(std::string_view(), &screen.skin, &error);
    std::fprintf(stderr, "main: the panel picture %s is missing; panels take the plain look\n", skin.c_str());
  } else if (!engine::widgets::LoadSkin(bytes, &screen.skin, &error)) {
    std::fprintf(stderr, "main: the panel picture %s: %s; panels take the plain look\n", skin.c_str(), error.c_str());
  }
  const struct {
    const char* name;
    engine::EditorFont* font;
  } fonts[] = {{"font.fnt", &engine.toolFont}, {"font8.fnt", &engine.playFont}};
  for (const auto& entry : fonts) {
    const std::string path = engine.paths.data + entry.name;
    std::string why;
    if (!core::ReadFile(path, &bytes)) {
      why = "cannot read it";
    } else if (engine::LoadEditorFont(bytes, entry.name, entry.font, &why)) {
      continue;
    }
    *entry.font = engine::BuiltinEditorFont();
    std::fprintf(stderr, "main: the font %s: %s; the built-in font is used\n", path.c_str(), why.c_str());
  }
  screen.font = &engine.toolFont;
  screen.shades = engine::widgets::InterfaceShades();
  screen.canvas.Resize(engine.display.width, engine.display.height);
  engine::AnalyseDrawingSurface(&engine.display, screen.skin.palette.data());
  engine.widgetHost = std::make_unique<EngineWidgetHost>(engine);
  screen.host = engine.widgetHost.get();
}

void ShowBackSurface(Engine& engine) {
  platform::GlContext& gl = *engine.platform.gl;
  gl.BeginFrame({0, 0, 0});
  const engine::Surface back = engine.display.Back();
  if (OpenRenderer(engine) && back.Usable()) {
    engine.renderer->BeginFrame(back.width, back.height);
    engine.renderer->DrawSurface(back.pixels, back.format.bitsPerPixel, back.format.pitch, back.width, back.height);
  }
  gl.Present();
}

void ShowError(Engine& engine, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = core::FormatArgs(format, args);
  va_end(args);
  SystemBox(engine, engine.windowName, text + "\r\n");
}

void ShowRuntimeError(Engine& engine, const std::string& text) {
  const float volume = engine.play ? engine.play->sounds.Mute() : 1.0f;
  engine.platform.window->ShowCursor(true);
  std::string lines = text;
  for (char& c : lines) {
    if (c == '|') c = '\n';
  }
  SystemBox(engine, "Runtime Error", lines);
  engine.platform.window->ShowCursor(false);
  if (engine.play) engine.play->sounds.Unmute(volume);
  // The time spent in the box is not caught up.
  if (engine.play) {
    engine.play->deadline = engine.platform.clock().Now() + engine.tickPeriod;
    engine.play->exitTarget = kExitRuntimeError;
  }
}

int ShowProgramBox(Engine& engine, const std::string& text, const std::vector<std::string>& buttons) {
  if (CanvasReady(engine)) return CanvasQuestion(engine, engine.windowName, text, buttons);
  // Before the display exists there is no canvas: the system box stands in.
  platform::MessageBoxRequest box;
  box.caption = engine.windowName;
  std::string lines = text;
  for (char& c : lines) {
    if (c == '|') c = '\n';
  }
  box.text = core::PrintableText(lines);
  box.buttons = buttons;
  return engine.platform.window->ShowMessageBox(box);
}

void ShowNotice(Engine& engine, const std::string& text) {
  engine.platform.window->ShowNotice(text);  // logged in headless runs
  if (!CanvasReady(engine)) return;
  engine::widgets::MessageBox(engine.widgets, core::PrintableText(text, "|"), "", "");
}

}  // namespace app
