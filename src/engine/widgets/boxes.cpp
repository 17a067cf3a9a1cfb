// The modal boxes: word wrap, the message box (question, notice, removal), the input box, the menu
// box and the colour picker, each answered by a scripted answer, by the host's input or by its
// default. Calls the canvas, the panels, the editor font and the host; never the platform.
#include <algorithm>
#include <cctype>
#include <climits>
#include <string>

#include "engine/widgets/widgets.h"

namespace engine {
namespace widgets {

// [SECTION] Word wrap

namespace {

constexpr int kWrapWidth = 560;
constexpr int kWaitPasses = 600;  // about ten seconds of passes at 60 a second

std::vector<std::string> SplitLines(std::string_view joined) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (true) {
    const size_t bar = joined.find('|', start);
    lines.emplace_back(joined.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
    if (bar == std::string_view::npos) return lines;
    start = bar + 1;
  }
}

int WidestLine(const EditorFont& font, const std::vector<std::string>& lines) {
  int widest = 0;
  for (const std::string& line : lines) widest = std::max(widest, EditorTextWidth(font, line));
  return widest;
}

}  // namespace

std::string WrapText(const EditorFont& font, std::string_view text) {
  std::vector<std::string> lines(1);
  // Widths add up character by character, so the line's width is kept as it grows.
  const int64_t spaceWidth = EditorTextWidth(font, " ");
  int64_t lineWidth = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view word = text.substr(start, end - start);
    start = end + 1;
    if (word.empty()) continue;  // runs of spaces
    // Each '|' inside the word ends the line; the parts around it are words of their own.
    size_t partStart = 0;
    while (true) {
      const size_t bar = word.find('|', partStart);
      const std::string_view part =
          word.substr(partStart, bar == std::string_view::npos ? std::string_view::npos : bar - partStart);
      if (!part.empty()) {
        std::string& line = lines.back();
        const int64_t partWidth = EditorTextWidth(font, part);
        if (line.empty()) {
          line = part;
          lineWidth = partWidth;
        } else if (lineWidth + spaceWidth + partWidth > kWrapWidth) {
          lines.emplace_back(part);
          lineWidth = partWidth;
        } else {
          line += ' ';
          line += part;
          lineWidth += spaceWidth + partWidth;
        }
      }
      if (bar == std::string_view::npos) break;
      lines.emplace_back();
      lineWidth = 0;
      partStart = bar + 1;
    }
  }
  std::string result;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) result += '|';
    result += lines[i];
  }
  return result;
}

// [SECTION] Layouts

QuestionLayout LayoutQuestion(const EditorFont& font, int screenWidth, int screenHeight, std::string_view text,
                              std::string_view first, std::string_view second) {
  QuestionLayout layout;
  layout.lines = SplitLines(WrapText(font, text));
  layout.fontHeight = font.height;
  layout.lineWidth = WidestLine(font, layout.lines);
  layout.labelWidths = {EditorTextWidth(font, first), EditorTextWidth(font, second)};
  // The inner width grows in steps of 4 until both buttons and their margins fit.
  int inner = (layout.lineWidth & ~3) + 4;
  const int64_t needed = static_cast<int64_t>(layout.labelWidths[0] & ~3) + 4 + (layout.labelWidths[1] & ~3) + 68;
  if (inner <= needed) inner += static_cast<int>(4 * ((needed - inner) / 4 + 1));
  layout.width = inner + 32;
  const int pitch = layout.fontHeight + 6;
  const int64_t rows = static_cast<int64_t>(layout.lines.size()) + 4;
  layout.height = static_cast<int>(std::min<int64_t>(pitch * rows, INT_MAX / 4));
  layout.left = (screenWidth - layout.width) / 4 * 2;
  layout.top = (screenHeight - layout.height) / 4 * 2;
  // Each button is its label's width (down to a multiple of 4) plus 16 on either side.
  const int64_t n = static_cast<int64_t>(layout.lines.size());
  const int buttonTop = static_cast<int>(std::min<int64_t>(layout.top + pitch * (n + 2), INT_MAX / 4));
  const int buttonBottom = static_cast<int>(std::min<int64_t>(layout.top + pitch * (n + 3), INT_MAX / 4));
  const int firstLeft = layout.left + 12;
  layout.buttons.push_back({firstLeft, buttonTop, firstLeft + (layout.labelWidths[0] & ~3) + 32, buttonBottom});
  if (!second.empty()) {
    const int secondRight = layout.left + inner + 16;
    layout.buttons.push_back({secondRight - (layout.labelWidths[1] & ~3) - 32, buttonTop, secondRight, buttonBottom});
  }
  return layout;
}

MenuLayout LayoutMenu(const EditorFont& font, int screenWidth, int screenHeight, std::string_view entries) {
  MenuLayout layout;
  layout.entries = SplitLines(entries);
  if (layout.entries.size() > static_cast<size_t>(kMenuEntries)) layout.entries.resize(kMenuEntries);
  const int pitch = font.height + 9;
  const int count = static_cast<int>(layout.entries.size());
  layout.width = kMenuButtonWidth + 32;
  layout.height = 32 + pitch * count + 12;
  layout.left = (screenWidth - layout.width) / 4 * 2;
  layout.top = (screenHeight - layout.height) / 4 * 2;
  for (int i = 0; i < count; ++i) {
    const int top = layout.top + 32 + pitch * i;
    layout.buttons.push_back({layout.left + 16, top, layout.left + 16 + kMenuButtonWidth - 1, top + font.height + 7});
  }
  return layout;
}

// [SECTION] Running a box

namespace {

std::string Trimmed(std::string_view text) {
  size_t first = 0, last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
  return std::string(text.substr(first, last - first));
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// The choice an answer names among `choices`, counted from 0: its number, else the choice equal to
// its text, else the one equal when both are trimmed and case is ignored; -1 when none fits.
int MatchChoice(const WidgetAnswer& answer, const std::vector<std::string>& choices) {
  const int count = static_cast<int>(choices.size());
  if (answer.isNumber) return answer.number >= 0 && answer.number < count ? answer.number : -1;
  for (int i = 0; i < count; ++i) {
    if (choices[i] == answer.text) return i;
  }
  const std::string wanted = Trimmed(answer.text);
  for (int i = 0; i < count; ++i) {
    if (SameIgnoringCase(Trimmed(choices[i]), wanted)) return i;
  }
  return -1;
}

bool IsEsc(const WidgetAnswer& answer) { return answer.isNumber && answer.number == -1; }

void Present(WidgetScreen& screen) {
  if (screen.host != nullptr) screen.host->Present(screen.canvas);
}

// One more pass of a waiting box: false when no input can come any more.
bool NextPass(WidgetHost* host) {
  if (host == nullptr || !host->InputMayArrive()) return false;
  host->Idle();
  host->Pump();
  return true;
}

// Waits, for a bounded number of passes, until no mouse button is held.
void WaitForRelease(WidgetHost* host) {
  if (host == nullptr) return;
  for (int pass = 0; pass < kWaitPasses && host->MouseButtons() != 0; ++pass) {
    if (!NextPass(host)) return;
  }
}

// What every box does on its way out: a black canvas and display, the mouse let go, no keys left.
void CloseBox(WidgetScreen& screen) {
  screen.canvas.Clear();
  if (screen.host == nullptr) return;
  screen.host->ClearDisplay();
  WaitForRelease(screen.host);
  screen.host->FlushKeys();
}

// Tracks the mouse buttons between passes so a held button acts once, when pressed.
struct PressWatch {
  int previous = 0;
  // The buttons newly down on this pass (1 left, 2 right), or 0.
  int Pressed(const WidgetHost& host) {
    const int now = host.MouseButtons();
    const int pressed = (previous == 0) ? now : 0;
    previous = now;
    return pressed;
  }
};

void Opened(WidgetScreen& screen, std::string_view kind, std::string_view text) {
  if (screen.host != nullptr) screen.host->BoxOpened(kind, text);
}

void Closed(WidgetScreen& screen, std::string_view kind, std::string_view text, const std::string& result,
            bool defaulted) {
  if (screen.host != nullptr) screen.host->BoxClosed(kind, text, result, defaulted);
}

bool TakeAnswer(WidgetScreen& screen, WidgetAnswer* answer) {
  return screen.host != nullptr && screen.host->TakeAnswer(answer);
}

// The lines of a wrapped text drawn centred on x, the first centred on `firstY`, `pitch` apart.
// Lines wholly off the canvas are skipped, so a text of thousands of lines costs little.
void DrawLines(WidgetScreen& screen, const std::vector<std::string>& lines, int x, int firstY, int pitch) {
  const EditorFont& font = ScreenFont(screen);
  for (size_t i = 0; i < lines.size(); ++i) {
    const int64_t y = firstY + static_cast<int64_t>(pitch) * static_cast<int64_t>(i);
    if (y < -pitch) continue;
    if (y > screen.canvas.height + pitch) break;
    DrawEditorTextCentred(font, screen.canvas.View(), x, static_cast<int>(y), lines[i], screen.textColour);
  }
}

// [SECTION] Message box

int Question(WidgetScreen& screen, std::string_view text, std::string_view first, std::string_view second) {
  const EditorFont& font = ScreenFont(screen);
  const QuestionLayout layout =
      LayoutQuestion(font, screen.canvas.width, screen.canvas.height, text, first, second);
  const int pitch = layout.fontHeight + 6;
  Opened(screen, "box", text);
  screen.canvas.Clear();
  ClearButtons(screen);
  DrawPanel(screen, layout.left, layout.top - 16, layout.left + layout.width - 1, layout.top + layout.height - 1,
            false);
  const std::string_view labels[2] = {first, second};
  for (size_t i = 0; i < layout.buttons.size(); ++i) {
    const auto& b = layout.buttons[i];
    ButtonLabel(screen, labels[i], AddButton(screen, b[0], b[1], b[2], b[3], false));
  }
  DrawLines(screen, layout.lines, layout.left + layout.width / 2, layout.top + layout.fontHeight + pitch / 2 + 8,
            pitch);
  Present(screen);

  std::vector<std::string> choices{std::string(first)};
  if (!second.empty()) choices.emplace_back(second);
  int result = 0;
  bool defaulted = false;
  WidgetAnswer answer;
  if (TakeAnswer(screen, &answer)) {
    // An answer that fits no button (Esc included, which a question ignores) takes the first.
    result = MatchChoice(answer, choices) + 1;
    if (result == 0) result = 1;
  } else {
    WidgetHost* host = screen.host;
    WaitForRelease(host);
    if (host != nullptr) host->FlushKeys();
    PressWatch watch;
    if (host != nullptr) watch.previous = host->MouseButtons();
    while (result == 0 && NextPass(host)) {
      WidgetKey key;
      while (result == 0 && host->PopKey(&key)) {
        if (key.scan == kScanEnter) result = 1;
        if (key.scan == kScanDelete) result = 2;
      }
      if (result == 0 && watch.Pressed(*host) != 0) {
        const int slot = HitTest(screen);
        if (slot >= 0 && slot < static_cast<int>(layout.buttons.size())) result = slot + 1;
      }
    }
    if (result == 0) {
      result = 1;
      defaulted = true;
    }
  }
  CloseBox(screen);
  Closed(screen, "box", text, std::to_string(result), defaulted);
  return result;
}

void Notice(WidgetScreen& screen, std::string_view text) {
  const EditorFont& font = ScreenFont(screen);
  screen.noticeShown = true;
  screen.canvas.Clear();
  std::vector<std::string> lines;
  int width = 0, height = 0, pitch = font.height + 2, firstY = 0;
  if (text.find('|') != std::string_view::npos) {
    lines = SplitLines(WrapText(font, text));
    width = WidestLine(font, lines) + 32;
    height = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(pitch) * (static_cast<int64_t>(lines.size()) + 3),
                                                INT_MAX / 4));
  } else {
    // One line: a box half again as wide as the line and 150 high, the line wrapped inside it.
    const int lineWidth = EditorTextWidth(font, text);
    width = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(lineWidth) * 3 / 2, INT_MAX / 4));
    height = 150;
    lines = SplitLines(WrapText(font, text));
    pitch = font.height + 6;
  }
  const int left = (screen.canvas.width - width) / 4 * 2, top = (screen.canvas.height - height) / 4 * 2;
  DrawPanel(screen, left, top, left + width - 1, top + height - 1, false);
  // The lines sit centred in the part of the box below its title strip.
  const int64_t block = static_cast<int64_t>(pitch) * static_cast<int64_t>(lines.size());
  firstY = static_cast<int>(std::clamp<int64_t>(top + 24 + (height - 24 - block) / 2 + pitch / 2, INT_MIN / 4, INT_MAX / 4));
  DrawLines(screen, lines, left + width / 2, firstY, pitch);
  Present(screen);
}

}  // namespace

int MessageBox(WidgetScreen& screen, std::string_view text, std::string_view first, std::string_view second) {
  if (!first.empty() || !second.empty()) return Question(screen, text, first, second);
  if (!text.empty()) {
    Notice(screen, text);
    return 0;
  }
  screen.noticeShown = false;
  screen.canvas.Clear();
  if (screen.host != nullptr) screen.host->ClearDisplay();
  return 0;
}

// [SECTION] Input box

namespace {

struct InputField {
  int left = 0, top = 0, right = 0, bottom = 0;
  int textX = 0, textY = 0;
  int limit = 0;  // a text this wide or wider is refused
};

void DrawInputField(WidgetScreen& screen, const InputField& field, const std::string& text, size_t cursor) {
  const EditorFont& font = ScreenFont(screen);
  screen.canvas.FillRect(field.left + 4, field.top + 4, field.right - 4, field.bottom - 4, screen.shades.middle);
  DrawEditorText(font, screen.canvas.View(), field.textX, field.textY, text, screen.textColour);
  // The cursor underlines the place of the next character.
  const int x = field.textX + EditorTextWidth(font, std::string_view(text).substr(0, cursor));
  const int w = cursor < text.size() ? std::max(2, EditorTextWidth(font, std::string_view(text).substr(cursor, 1)))
                                     : 8;
  const int y = field.textY + font.height + font.lineGap / 2 + 1;
  screen.canvas.FillRect(x, y, std::min(x + w - 1, field.right - 5), y + 1, screen.textColour);
}

// The cursor position whose left edge lies nearest to x.
size_t CursorAt(const EditorFont& font, const std::string& text, int x) {
  size_t best = 0;
  int bestDistance = INT_MAX;
  for (size_t i = 0; i <= text.size(); ++i) {
    const int edge = EditorTextWidth(font, std::string_view(text).substr(0, i));
    const int distance = std::abs(edge - x);
    if (distance < bestDistance) bestDistance = distance, best = i;
    if (edge > x) break;
  }
  return best;
}

}  // namespace

std::string InputBox(WidgetScreen& screen, int minimumWidth, std::string_view text, std::string_view prompt) {
  const EditorFont& font = ScreenFont(screen);
  const std::vector<std::string> lines = SplitLines(WrapText(font, prompt));
  const int pitch = font.height + 6;
  const int64_t n = static_cast<int64_t>(lines.size());
  const int width = std::clamp(std::max(minimumWidth, WidestLine(font, lines) + 64), 64, INT_MAX / 4);
  const int fieldHeight = font.height + 12;
  const int height = static_cast<int>(std::min<int64_t>(pitch * (n + 1) + 16 + fieldHeight + 16, INT_MAX / 4));
  const int left = (screen.canvas.width - width) / 4 * 2, top = (screen.canvas.height - height) / 4 * 2;

  InputField field;
  field.left = left + 16;
  field.right = left + width - 17;
  field.top = static_cast<int>(std::min<int64_t>(top + pitch * (n + 1) + 16, INT_MAX / 4));
  field.bottom = field.top + fieldHeight - 1;
  field.textX = field.left + 8;
  field.textY = field.top + (fieldHeight - font.height) / 2 - font.lineGap / 2;
  field.limit = (field.right - field.left + 1) - EditorTextWidth(font, "Mm0wW") / 5 - 32;

  std::string current(text);
  size_t cursor = current.size();

  Opened(screen, "input", prompt);
  screen.canvas.Clear();
  ClearButtons(screen);
  DrawPanel(screen, left, top - 16, left + width - 1, top + height - 1, true);
  DrawLines(screen, lines, left + width / 2, top + font.height + pitch / 2 + 8, pitch);
  AddButton(screen, field.left, field.top, field.right, field.bottom, true);
  DrawInputField(screen, field, current, cursor);
  Present(screen);

  bool defaulted = false;
  WidgetAnswer answer;
  if (TakeAnswer(screen, &answer)) {
    if (!IsEsc(answer)) current = answer.isNumber ? std::to_string(answer.number) : answer.text;
  } else {
    WidgetHost* host = screen.host;
    WaitForRelease(host);
    if (host != nullptr) host->FlushKeys();
    PressWatch watch;
    if (host != nullptr) watch.previous = host->MouseButtons();
    bool done = false;
    while (!done && NextPass(host)) {
      bool changed = false;
      WidgetKey key;
      while (!done && host->PopKey(&key)) {
        changed = true;
        switch (key.scan) {
          case kScanEnter:
          case kScanEsc:
            done = true;
            break;
          case kScanBackspace:
            if (cursor > 0) current.erase(--cursor, 1);
            break;
          case kScanDelete:
            if (cursor < current.size()) current.erase(cursor, 1);
            break;
          case kScanHome:
            cursor = 0;
            break;
          case kScanEnd:
            cursor = current.size();
            break;
          case kScanLeft:
            if (cursor > 0) --cursor;
            break;
          case kScanRight:
            if (cursor < current.size()) ++cursor;
            break;
          default:
            if (key.character >= 32) {
              std::string longer = current;
              longer.insert(cursor, 1, static_cast<char>(key.character));
              if (EditorTextWidth(font, longer) < field.limit) {
                current = std::move(longer);
                ++cursor;
              }
            } else {
              changed = false;
            }
        }
      }
      if (done) break;
      const int pressed = watch.Pressed(*host);
      if (pressed == 2) done = true;
      if (pressed == 1) {
        const int x = host->MouseX(), y = host->MouseY();
        if (HitTest(screen) == kCloseBoxCode) done = true;
        if (x >= field.left && x <= field.right && y >= field.top && y <= field.bottom) {
          cursor = CursorAt(font, current, x - field.textX);
          changed = true;
        }
      }
      if (done) break;
      if (changed) {
        DrawInputField(screen, field, current, cursor);
        Present(screen);
      }
    }
    if (!done) {
      defaulted = true;
      current = std::string(text);
    }
  }
  CloseBox(screen);
  Closed(screen, "input", prompt, current, defaulted);
  return current;
}

// [SECTION] Menu box

int MenuBox(WidgetScreen& screen, std::string_view entries) {
  const EditorFont& font = ScreenFont(screen);
  const MenuLayout layout = LayoutMenu(font, screen.canvas.width, screen.canvas.height, entries);
  const int count = static_cast<int>(layout.entries.size());
  Opened(screen, "menu", entries);
  screen.canvas.Clear();
  ClearButtons(screen);
  DrawPanel(screen, layout.left, layout.top, layout.left + layout.width - 1, layout.top + layout.height - 1, true);
  for (int i = 0; i < count; ++i) {
    const auto& b = layout.buttons[i];
    ButtonLabel(screen, layout.entries[i], AddButton(screen, b[0], b[1], b[2], b[3], false));
  }
  Present(screen);

  int result = -1;
  bool defaulted = false;
  WidgetAnswer answer;
  if (TakeAnswer(screen, &answer)) {
    result = IsEsc(answer) ? 0 : MatchChoice(answer, layout.entries) + 1;
  } else {
    WidgetHost* host = screen.host;
    WaitForRelease(host);
    if (host != nullptr) host->FlushKeys();
    PressWatch watch;
    if (host != nullptr) watch.previous = host->MouseButtons();
    while (result < 0 && NextPass(host)) {
      WidgetKey key;
      while (result < 0 && host->PopKey(&key)) {
        // F1..F10 and the key after them choose 1..11; F11 and F12 sit at 87 and 88, so 84..88
        // choose 11..15.
        int entry = 0;
        if (key.scan >= 59 && key.scan <= 69) entry = key.scan - 58;
        if (key.scan >= 84 && key.scan <= 88) entry = key.scan - 73;
        if (entry >= 1 && entry <= count) result = entry;
        if (key.scan == kScanEsc) result = 0;
      }
      if (result < 0 && watch.Pressed(*host) == 1) {
        const int slot = HitTest(screen);
        if (slot == kCloseBoxCode) result = 0;
        else if (slot >= 0 && slot < count) result = slot + 1;
      }
    }
    if (result < 0) {
      result = 0;
      defaulted = true;
    }
  }
  CloseBox(screen);
  Closed(screen, "menu", entries, std::to_string(result), defaulted);
  return result;
}

// [SECTION] Colour picker

namespace {

constexpr int kGridLeft = 192, kGridTop = 112, kCell = 16;
constexpr int kCodeX = 270, kCodeY = 390;

}  // namespace

int ColourPicker(WidgetScreen& screen, int current) {
  const EditorFont& font = ScreenFont(screen);
  // The grid keeps its 640 x 480 place, centred on larger canvases.
  const int dx = std::max(0, (screen.canvas.width - 640) / 2), dy = std::max(0, (screen.canvas.height - 480) / 2);
  const Shades saved = screen.shades;
  const std::string title = std::to_string(current);
  Opened(screen, "colour", title);
  screen.canvas.Clear();
  ClearButtons(screen);
  DrawPanel(screen, dx + kGridLeft - 20, dy + kGridTop - 40, dx + kGridLeft + 16 * kCell + 20, dy + kCodeY + 24, true);
  // Each cell is a button whose face is its own colour.
  for (int index = 0; index < 256; ++index) {
    const int x = kGridLeft + (index / 16) * kCell, y = kGridTop + (index % 16) * kCell;
    screen.shades.middle = static_cast<uint8_t>(index);
    AddButton(screen, dx + x, dy + y, dx + x + kCell - 1, dy + y + kCell - 1, index == current);
  }
  screen.shades = saved;
  Present(screen);

  int result = -1;
  bool defaulted = false;
  WidgetAnswer answer;
  if (TakeAnswer(screen, &answer)) {
    int number = answer.number;
    if (!answer.isNumber) {
      const std::string digits = Trimmed(answer.text);
      number = !digits.empty() && digits.size() <= 3 && std::all_of(digits.begin(), digits.end(), ::isdigit)
                   ? std::stoi(digits)
                   : -1;
    }
    result = number >= 0 && number <= 255 ? number : current;
  } else {
    WidgetHost* host = screen.host;
    WaitForRelease(host);
    if (host != nullptr) host->FlushKeys();
    PressWatch watch;
    if (host != nullptr) watch.previous = host->MouseButtons();
    int shownCode = -2;
    while (result < 0 && NextPass(host)) {
      WidgetKey key;
      while (result < 0 && host->PopKey(&key)) {
        if (key.scan == kScanEsc) result = current;
      }
      if (result >= 0) break;
      const int x = host->MouseX() - dx - kGridLeft, y = host->MouseY() - dy - kGridTop;
      const bool overGrid = x >= 0 && y >= 0 && x < 16 * kCell && y < 16 * kCell;
      const int under = overGrid ? (x / kCell) * 16 + y / kCell : -1;
      const int pressed = watch.Pressed(*host);
      if (pressed == 2) result = current;
      if (pressed == 1) {
        if (under >= 0) result = under;
        else if (HitTest(screen) == kCloseBoxCode) result = current;
      }
      if (result < 0 && under != shownCode) {
        shownCode = under;
        screen.canvas.FillRect(dx + kCodeX - 2, dy + kCodeY - 2, dx + kCodeX + 160, dy + kCodeY + font.height + 2,
                               screen.skin.interior);
        if (under >= 0) {
          DrawEditorText(font, screen.canvas.View(), dx + kCodeX, dy + kCodeY, "Color code: " + std::to_string(under),
                         screen.textColour);
        }
        Present(screen);
      }
    }
    if (result < 0) {
      result = current;
      defaulted = true;
    }
  }
  screen.shades = InterfaceShades();
  CloseBox(screen);
  Closed(screen, "colour", title, std::to_string(result), defaulted);
  return result;
}

}  // namespace widgets
}  // namespace engine
