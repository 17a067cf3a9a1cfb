// Input-script parsing and replay order.
#include "platform/input_script.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/core.h"
#include "platform/keys.h"

namespace platform {
namespace {

// Splits a line into words; a word in double quotes keeps its blanks and its escapes.
bool SplitWords(std::string_view line, std::vector<std::string>* words, std::string* problem) {
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i >= line.size() || line[i] == '#') break;
    std::string word;
    if (line[i] == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char c = line[i++];
        if (c == '"') {
          closed = true;
          break;
        }
        if (c == '\\' && i < line.size()) {
          const char e = line[i++];
          c = e == 'n' ? '\r' : e == 't' ? '\t' : e == 'b' ? '\b' : e;
        }
        word.push_back(c);
      }
      if (!closed) {
        *problem = "unterminated text";
        return false;
      }
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') word.push_back(line[i++]);
    }
    words->push_back(std::move(word));
  }
  return true;
}

// Decimal, or hexadecimal after "0x": a leading zero does not make a number octal.
bool ParseNumber(const std::string& text, long long low, long long high, int32_t* out) {
  if (text.empty()) return false;
  const size_t sign = text[0] == '-' || text[0] == '+' ? 1 : 0;
  const bool hex = text.size() > sign + 2 && text[sign] == '0' && (text[sign + 1] == 'x' || text[sign + 1] == 'X');
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, hex ? 16 : 10);
  if (errno != 0 || *end != '\0' || value < low || value > high) return false;
  *out = static_cast<int32_t>(value);
  return true;
}

// The names of the arrow and editing keys stand for the extended keys, not their keypad twins.
bool IsEditingBlockName(const std::string& name) {
  static const char* const kNames[] = {"HOME", "UP", "PAGEUP", "LEFT", "RIGHT", "END", "DOWN", "PAGEDOWN", "INSERT", "DELETE"};
  for (const char* n : kNames) {
    if (strcasecmp(n, name.c_str()) == 0) return true;
  }
  return false;
}

bool ParseKey(const std::string& word, InputEvent* event) {
  int32_t scan = ScanCodeFromName(word);
  bool extended = false;
  if (scan != 0) {
    extended = IsEditingBlockName(word);
  } else if (!ParseNumber(word, 1, 255, &scan)) {
    return false;
  }
  const KeyCode key = KeyFromSdlScancode(SdlScancodeFromKey(static_cast<uint8_t>(scan), extended));
  event->scan = static_cast<uint8_t>(scan);
  event->extended = extended;
  event->vk = key.scan == scan ? key.vk : VirtualKeyFromScanCode(static_cast<uint8_t>(scan));
  return true;
}

bool ParseMouseButton(const std::string& word, uint8_t* index) {
  if (word == "left") *index = 0;
  else if (word == "right") *index = 1;
  else if (word == "middle") *index = 2;
  else return false;
  return true;
}

bool ParseAxis(const std::string& word, uint8_t* index) {
  static const char* const kAxes[kPadAxisCount] = {"x", "y", "z", "rx", "ry", "rz", "s0", "s1"};
  for (uint8_t i = 0; i < kPadAxisCount; ++i) {
    if (word == kAxes[i]) {
      *index = i;
      return true;
    }
  }
  return false;
}

void AddProblem(std::string* problems, int lineNumber, const std::string& problem) {
  if (!problems->empty()) problems->push_back('\n');
  *problems += "line " + std::to_string(lineNumber) + ": " + problem;
}

}  // namespace

bool InputScript::Parse(std::string_view text, std::string* error) {
  events_.clear();
  answers_.clear();
  next_ = 0;
  error->clear();
  int lineNumber = 0;
  size_t start = 0;
  std::string_view line;
  while (core::NextLine(text, &start, &line)) {
    ++lineNumber;

    std::string problem;
    std::vector<std::string> w;
    if (!SplitWords(line, &w, &problem)) {
      AddProblem(error, lineNumber, problem);
      continue;
    }
    if (w.empty()) continue;

    if (w[0] == "answer") {
      BoxAnswer answer;
      int32_t number = 0;
      if (w.size() != 2) {
        problem = "answer takes one number or text";
      } else if (line.find('"') == std::string_view::npos && ParseNumber(w[1], -1, INT32_MAX, &number)) {
        answer.isNumber = true;
        answer.number = number;
      } else {
        answer.text = w[1];
      }
      if (problem.empty()) answers_.push_back(std::move(answer));
    } else if (w[0].size() < 2 || w[0][0] != '@') {
      problem = "expected @PASS or answer";
    } else {
      int32_t pass = 0;
      if (!ParseNumber(w[0].substr(1), 0, INT32_MAX, &pass)) {
        problem = "bad pass number '" + w[0] + "'";
      } else {
        const std::string& verb = w.size() > 1 ? w[1] : std::string();
        const size_t args = w.size() - 2;
        const uint64_t at = static_cast<uint64_t>(pass);
        std::vector<TimedEvent> made;
        InputEvent e;
        int32_t a = 0, b = 0, c = 0;
        uint8_t index = 0;
        auto add = [&](uint64_t when, InputEvent ev) { made.push_back(TimedEvent{when, ev}); };
        if ((verb == "keydown" || verb == "keyup" || verb == "key") && args == 1) {
          if (!ParseKey(w[2], &e)) {
            problem = "unknown key '" + w[2] + "'";
          } else {
            e.kind = verb == "keyup" ? EventKind::kKeyUp : EventKind::kKeyDown;
            add(at, e);
            if (verb == "key") {
              e.kind = EventKind::kKeyUp;
              add(at + 1, e);
            }
          }
        } else if (verb == "text" && args == 1) {
          e.kind = EventKind::kCharacter;
          for (unsigned char ch : w[2]) {
            e.character = ch;
            e.scan = ScanCodeFromCharacter(ch);
            add(at, e);
          }
        } else if ((verb == "mouse" && args == 2) || (verb == "click" && (args == 2 || args == 3))) {
          if (!ParseNumber(w[2], -100000, 100000, &a) || !ParseNumber(w[3], -100000, 100000, &b)) {
            problem = "bad mouse position";
          } else if (verb == "click" && !ParseMouseButton(args == 3 ? w[4] : "left", &index)) {
            problem = "unknown mouse button";
          } else {
            e.kind = EventKind::kMouseMove;
            e.x = a;
            e.y = b;
            add(at, e);
            if (verb == "click") {
              InputEvent button;
              button.kind = EventKind::kMouseButton;
              button.index = index;
              button.down = true;
              add(at, button);
              button.down = false;
              add(at + 1, button);
            }
          }
        } else if ((verb == "mousedown" || verb == "mouseup") && args == 1) {
          if (!ParseMouseButton(w[2], &index)) {
            problem = "unknown mouse button";
          } else {
            e.kind = EventKind::kMouseButton;
            e.index = index;
            e.down = verb == "mousedown";
            add(at, e);
          }
        } else if (verb == "axis" && args == 3) {
          if (!ParseNumber(w[2], 1, kPadCount, &a) || !ParseAxis(w[3], &index) || !ParseNumber(w[4], -1000, 1000, &c)) {
            problem = "axis takes a controller 1-2, an axis name and a value -1000..1000";
          } else {
            e.kind = EventKind::kPadAxis;
            e.pad = static_cast<uint8_t>(a - 1);
            e.index = index;
            e.value = c;
            add(at, e);
          }
        } else if (verb == "button" && args == 3) {
          if (!ParseNumber(w[2], 1, kPadCount, &a) || !ParseNumber(w[3], 0, 31, &b) || (w[4] != "down" && w[4] != "up")) {
            problem = "button takes a controller 1-2, a button 0-31 and down or up";
          } else {
            e.kind = EventKind::kPadButton;
            e.pad = static_cast<uint8_t>(a - 1);
            e.index = static_cast<uint8_t>(b);
            e.down = w[4] == "down";
            add(at, e);
          }
        } else if (verb == "hat" && args == 3) {
          const bool centred = w[4] == "centre" || w[4] == "center";
          if (!ParseNumber(w[2], 1, kPadCount, &a) || !ParseNumber(w[3], 0, 3, &b) ||
              (!centred && !ParseNumber(w[4], 0, 35999, &c))) {
            problem = "hat takes a controller 1-2, a hat 0-3 and an angle 0-35999 or centre";
          } else {
            e.kind = EventKind::kPadHat;
            e.pad = static_cast<uint8_t>(a - 1);
            e.index = static_cast<uint8_t>(b);
            e.value = centred ? kHatCentred : c;
            add(at, e);
          }
        } else if (verb == "pad" && args == 2) {
          if (!ParseNumber(w[2], 1, kPadCount, &a) || (w[3] != "on" && w[3] != "off")) {
            problem = "pad takes a controller 1-2 and on or off";
          } else {
            e.kind = w[3] == "on" ? EventKind::kPadAdded : EventKind::kPadRemoved;
            e.pad = static_cast<uint8_t>(a - 1);
            add(at, e);
          }
        } else if (verb == "stall" && args == 1) {
          if (!ParseNumber(w[2], 1, 60 * 4500, &a)) {
            problem = "stall takes clock units 1-270000 (1/4500 s)";
          } else {
            e.kind = EventKind::kStall;
            e.value = a;
            add(at, e);
          }
        } else if (verb == "quit" && args == 0) {
          e.kind = EventKind::kQuit;
          add(at, e);
        } else {
          problem = verb.empty() ? "missing command" : "unknown command or wrong arguments '" + verb + "'";
        }
        if (problem.empty()) events_.insert(events_.end(), made.begin(), made.end());
      }
    }
    if (!problem.empty()) AddProblem(error, lineNumber, problem);
  }
  std::stable_sort(events_.begin(), events_.end(),
                   [](const TimedEvent& x, const TimedEvent& y) { return x.pass < y.pass; });
  return error->empty();
}

bool InputScript::Load(const std::string& path, std::string* error) {
  std::string text;
  read_ = core::ReadFile(path, &text);
  if (!read_) {
    events_.clear();
    answers_.clear();
    next_ = 0;
    *error = "cannot read input script " + path;
    return false;
  }
  if (!Parse(text, error)) {
    std::string named;
    size_t start = 0;
    while (start <= error->size()) {
      size_t end = error->find('\n', start);
      if (end == std::string::npos) end = error->size();
      named += (named.empty() ? "" : "\n") + path + ": " + error->substr(start, end - start);
      start = end + 1;
    }
    *error = named;
    return false;
  }
  return true;
}

void InputScript::TakeDue(uint64_t pass, std::vector<InputEvent>* out) {
  while (next_ < events_.size() && events_[next_].pass <= pass) out->push_back(events_[next_++].event);
}

bool InputScript::TakeAnswer(BoxAnswer* answer) {
  if (answers_.empty()) return false;
  *answer = std::move(answers_.front());
  answers_.pop_front();
  return true;
}

}  // namespace platform
