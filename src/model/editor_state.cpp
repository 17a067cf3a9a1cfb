// The editor state shared with the authoring front end: vexel.ini and curpaths.ini, read and
// written together, from files or from memory. Calls only core/files.
#include <charconv>
#include <string>
#include <string_view>

#include "core/core.h"
#include "model/model.h"

namespace model {
namespace {

constexpr int kVexelLines = 20;
constexpr int kCurpathsLines = 23;
constexpr int kTitleLine = 17;  // curpaths.ini: the game title, the one line that is not a path

// curpaths.ini defaults, relative to the working folder; an empty entry stays empty.
constexpr const char* kDefaultCurpaths[kCurpathsLines] = {
    "3dshapes/default_.a3d",  "bckgrnds/default_.g3d",  "brains/default_.brn",        "sprites/default_.pcx",
    "3dsfiles/default_.3ds",  "elements/myele/default_.ele", "sprites/default_.pcx",  "frames/default_.pcx",
    "images/default_.bmp",    "projects/myprj/default.prj",  "visuals/default_.v3d",  "sounds/default_.wav",
    "sprites/default_.pcx",   "",                       "counters/default_.pcx",      "grndmaps/default_.pcx",
    "",  // the title, set below
    "images/jeep002_.pcx",    "images/jeep004_.pcx",    "images/jeep005_.pcx",        "images/jeep006_.pcx",
    "images/jeep001_.pcx",    "images/jeep003_.pcx",
};
constexpr const char* kDefaultTitle = "Vexel 5.0";

std::string InFolder(const std::string& folder, const char* name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// Lines past `count` are ignored and missing ones keep what *lines already holds (the defaults).
void ParseLines(std::string_view text, std::string* lines, int count) {
  size_t at = 0;
  std::string_view line;
  for (int n = 0; n < count && core::NextLine(text, &at, &line); ++n) lines[n].assign(line);
}

// A value holding a line break would shift every later line of the file, so an LF or a CR becomes
// a blank.
void FormatLines(const std::string* lines, int count, std::string* text) {
  text->clear();
  for (int line = 0; line < count; ++line) {
    for (char c : lines[line]) text->push_back(c == '\n' || c == '\r' ? ' ' : c);
    *text += "\r\n";
  }
}

}  // namespace

int32_t EditorState::Number(int line) const {
  if (line < 1 || line > kVexelLines) return 0;
  std::string_view text = vexel[line - 1];
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int32_t value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() ? value : 0;
}

void EditorState::SetNumber(int line, int32_t value) {
  if (line < 1 || line > kVexelLines) return;
  vexel[line - 1] = std::to_string(value);
}

EditorState DefaultEditorState(const std::string& workingFolder) {
  EditorState state;
  for (std::string& line : state.vexel) line = "0";
  state.vexel[1] = "512";  // test-view camera field
  state.vexel[17].clear();  // front-end text
  state.vexel[18].clear();  // header text of the current project
  for (int line = 0; line < kCurpathsLines; ++line) {
    const std::string_view relative = kDefaultCurpaths[line];
    state.curpaths[line] = relative.empty() ? std::string() : workingFolder + std::string(relative);
  }
  state.curpaths[kTitleLine - 1] = kDefaultTitle;
  return state;
}

void ReadEditorState(const std::string& workingFolder, const std::string& dataFolder, EditorState* state) {
  // An unreadable file leaves its text empty, which gives the defaults.
  std::string vexelText;
  std::string curpathsText;
  core::ReadFile(InFolder(dataFolder, "vexel.ini"), &vexelText);
  core::ReadFile(InFolder(dataFolder, "curpaths.ini"), &curpathsText);
  ParseEditorState(workingFolder, vexelText, curpathsText, state);
}

void ParseEditorState(const std::string& workingFolder, std::string_view vexelText, std::string_view curpathsText,
                      EditorState* state) {
  *state = DefaultEditorState(workingFolder);
  ParseLines(vexelText, state->vexel, kVexelLines);
  ParseLines(curpathsText, state->curpaths, kCurpathsLines);
  // The front end may write Windows separators; the title is text, not a path, and stays as typed.
  for (int line = 0; line < kCurpathsLines; ++line) {
    if (line == kTitleLine - 1) continue;
    for (char& c : state->curpaths[line]) {
      if (c == '\\') c = '/';
    }
  }
}

bool WriteEditorState(const std::string& dataFolder, const EditorState& state) {
  std::string vexelText;
  std::string curpathsText;
  FormatEditorState(state, &vexelText, &curpathsText);
  const bool vexelWritten = core::WriteFileAtomic(InFolder(dataFolder, "vexel.ini"), vexelText);
  const bool curpathsWritten = core::WriteFileAtomic(InFolder(dataFolder, "curpaths.ini"), curpathsText);
  return vexelWritten && curpathsWritten;
}

void FormatEditorState(const EditorState& state, std::string* vexelText, std::string* curpathsText) {
  FormatLines(state.vexel, kVexelLines, vexelText);
  FormatLines(state.curpaths, kCurpathsLines, curpathsText);
}

}  // namespace model
