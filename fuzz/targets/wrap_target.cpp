// Fuzz target body: word wrap and the question box's layout over any text, then the box drawn and
// answered on a canvas. Calls engine (the widgets and the editor fonts) and mkdata (the font file).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "mkdata/mkdata.h"
#include "targets.h"

namespace fuzzing {
namespace {

namespace w = engine::widgets;

// Answers every box with Enter on its first pass.
class EnterHost : public w::WidgetHost {
 public:
  void Pump() override { ++passes; }
  bool PopKey(w::WidgetKey* key) override {
    if (given) return false;
    given = true;
    *key = w::WidgetKey{0, w::kScanEnter};
    return true;
  }
  void FlushKeys() override {}
  int MouseX() const override { return 0; }
  int MouseY() const override { return 0; }
  int MouseButtons() const override { return 0; }
  void Present(const w::Canvas&) override {}
  void ClearDisplay() override {}
  void Idle() override {}
  bool InputMayArrive() const override { return passes < 4; }
  bool TakeAnswer(w::WidgetAnswer*) override { return false; }
  void BoxOpened(std::string_view, std::string_view) override {}
  void BoxClosed(std::string_view, std::string_view, std::string_view, bool) override {}
  bool MinimiseAndWait() override { return false; }
  int passes = 0;
  bool given = false;
};

std::vector<std::string> Split(std::string_view text, std::string_view separators) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t at = text.find_first_of(separators, start);
    parts.emplace_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
    if (at == std::string_view::npos) return parts;
    start = at + 1;
  }
}

std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  for (std::string& part : Split(text, " |")) {
    if (!part.empty()) words.push_back(std::move(part));
  }
  return words;
}

const engine::EditorFont& Font(int which) {
  static const engine::EditorFont fixed = engine::BuiltinEditorFont();
  static const engine::EditorFont proportional = [] {
    const std::vector<uint8_t> bytes = mkdata::ProportionalFontFile();
    engine::EditorFont font = fixed;
    engine::LoadEditorFont(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), "font.fnt",
                           &font, nullptr);
    return font;
  }();
  return which == 0 ? fixed : proportional;
}

std::string CheckWrap(const engine::EditorFont& font, std::string_view text, const std::string& wrapped) {
  if (Words(text) != Words(wrapped)) return "wrapping lost, added or reordered words";
  const std::vector<std::string> lines = Split(wrapped, "|");
  size_t bars = 0;
  for (char c : text) bars += c == '|';
  if (lines.size() < bars + 1) return "fewer lines than the text's bars";
  for (const std::string& line : lines) {
    if (!line.empty() && (line.front() == ' ' || line.back() == ' ' || line.find("  ") != std::string::npos)) {
      return "a line with stray spaces";
    }
    if (line.find(' ') != std::string::npos && engine::EditorTextWidth(font, line) > 560) {
      return "a line of several words wider than 560 pixels";
    }
  }
  return {};
}

std::string CheckLayout(const w::QuestionLayout& layout, const std::string& wrapped, int screenWidth,
                        int screenHeight, bool second) {
  if (layout.lines != Split(wrapped, "|")) return "the layout's lines are not the wrapped text";
  const int inner = layout.width - 32;
  if (inner % 4 != 0 || inner < layout.lineWidth) return "inner width not a multiple of 4 holding the lines";
  const int64_t needed = (layout.labelWidths[0] & ~3) + 4 + (layout.labelWidths[1] & ~3) + 68;
  if (inner <= needed || inner - 4 > std::max<int64_t>(needed, (layout.lineWidth & ~3) + 4)) {
    return "inner width not the first step past the buttons";
  }
  const int64_t pitch = layout.fontHeight + 6;
  if (layout.height != std::min<int64_t>(pitch * (static_cast<int64_t>(layout.lines.size()) + 4), INT32_MAX / 4)) {
    return "box height not pitch x (lines + 4)";
  }
  if (layout.left != (screenWidth - layout.width) / 4 * 2 || layout.top != (screenHeight - layout.height) / 4 * 2) {
    return "box not centred";
  }
  if (layout.buttons.size() != (second ? 2u : 1u)) return "wrong number of buttons";
  if (layout.buttons[0][0] != layout.left + 12) return "first button not 12 from the left";
  if (second && layout.buttons[1][2] != layout.left + inner + 16) return "second button not at the inner width + 16";
  for (const auto& b : layout.buttons) {
    if (b[2] < b[0] || b[3] < b[1]) return "an inverted button";
  }
  return {};
}

}  // namespace

std::string FuzzWrap(const uint8_t* data, size_t size) {
  // Byte 0 picks the font and the screen, byte 1 splits the rest into text and two labels.
  if (size < 2) return {};
  const engine::EditorFont& font = Font(data[0] & 1);
  static constexpr int kModes[3][2] = {{640, 480}, {800, 600}, {1024, 768}};
  const int* mode = kModes[(data[0] >> 1) % 3];
  const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  const size_t labelBytes = std::min<size_t>(rest.size(), data[1] & 0x3F);
  const std::string_view text = rest.substr(0, rest.size() - labelBytes);
  const std::string_view labels = rest.substr(rest.size() - labelBytes);
  const std::string_view first = labels.substr(0, labels.size() / 2), second = labels.substr(labels.size() / 2);

  const std::string wrapped = w::WrapText(font, text);
  if (std::string failure = CheckWrap(font, text, wrapped); !failure.empty()) return failure;
  if (w::WrapText(font, wrapped) != wrapped) return "wrapping is not stable";

  const std::string_view shownFirst = first.empty() && second.empty() ? std::string_view(" OK ") : first;
  const w::QuestionLayout layout = w::LayoutQuestion(font, mode[0], mode[1], text, shownFirst, second);
  if (std::string failure = CheckLayout(layout, wrapped, mode[0], mode[1], !second.empty()); !failure.empty()) {
    return failure;
  }

  // The box itself, on a canvas of the mode: it must stay inside it and answer Enter with 1.
  EnterHost host;
  w::WidgetScreen screen;
  screen.canvas.Resize(mode[0], mode[1]);
  screen.skin = w::BuiltinSkin();
  screen.shades = w::InterfaceShades();
  screen.font = &font;
  screen.host = &host;
  if (w::MessageBox(screen, text, shownFirst, second) != 1) return "Enter did not answer the first button";
  for (uint8_t p : screen.canvas.pixels) {
    if (p != 0) return "the box left the canvas drawn";
  }
  // And the same text as a notice.
  w::MessageBox(screen, text, "", "");
  return {};
}

}  // namespace fuzzing
