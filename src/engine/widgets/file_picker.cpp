// The thumbnail file picker: the listing of a folder by category, the page of nine previews with
// the crash marker around each, paging, the folder change and the erase question. Calls core
// (files), the previewers and the widgets' panels, buttons and boxes; input through the host.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/core.h"
#include "engine/widgets/pickers_local.h"
#include "engine/widgets/widgets.h"

namespace engine {
namespace widgets {

// [SECTION] Categories, listing, pages

std::string CategoryPattern(int category) {
  switch (category) {
    case -1:
    case -7:
      return "*.bmp";
    case 0:
      return "*.03d";
    case 1:
    case 3:
      return "*.a3d";
    case 4:
      return "*.d3d";
    case 2:
    case 5:
    case 6:
    case 7:
    case 8:
      return "*.pcx";
    case 11:
      return "*.v3d";
    case -2:
      return "*.prj";
    case -3:
      return "*.ele";
    case -4:
    case 12:
      return "*.3ds";
    case -5:
      return "*.brn";
    case -6:
      return "*.chn";
    default:
      return "*.*";
  }
}

int PageCount(int files) { return files <= 0 ? 1 : (files + kPickerPage - 1) / kPickerPage; }

int ClampPage(int page, int files) { return std::clamp(page, 0, PageCount(files) - 1); }

bool MatchesPattern(std::string_view name, std::string_view pattern) {
  if (pattern == "*.*" || pattern == "*") return true;
  if (pattern.size() < 2 || pattern[0] != '*') return name == pattern;
  const std::string_view ending = pattern.substr(1);
  if (name.size() < ending.size()) return false;
  const std::string_view tail = name.substr(name.size() - ending.size());
  return std::equal(tail.begin(), tail.end(), ending.begin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

std::string JoinPath(const std::string& folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  if (folder.back() == '/') return folder + std::string(name);
  return folder + "/" + std::string(name);
}

std::vector<std::string> ListMatchingFiles(const std::string& folder, std::string_view pattern) {
  std::vector<std::string> names, files;
  if (!core::ListFolder(folder, &names)) return files;
  for (std::string& name : names) {
    if (!MatchesPattern(name, pattern)) continue;
    std::error_code error;
    if (std::filesystem::is_directory(JoinPath(folder, name), error)) continue;
    files.push_back(std::move(name));
  }
  return files;
}

bool ListSubFolders(const std::string& folder, std::vector<std::string>* folders) {
  folders->clear();
  std::vector<std::string> names;
  if (!core::ListFolder(folder, &names)) return false;
  for (std::string& name : names) {
    std::error_code error;
    if (std::filesystem::is_directory(JoinPath(folder, name), error)) folders->push_back(std::move(name));
  }
  return true;
}

// [SECTION] Erase

bool EraseWithCompanions(const std::string& path, std::string* reason) {
  if (std::remove(path.c_str()) != 0) {
    if (reason != nullptr) *reason = std::strerror(errno);
    return false;
  }
  if (path.size() < 3) return true;
  const std::string stem = path.substr(0, path.size() - 3);
  std::string ending = path.substr(path.size() - 3);
  for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ending == "prj") {
    std::remove((stem + "col").c_str());
    return true;
  }
  int first = 2;
  if (ending != "3ds" && std::all_of(ending.begin(), ending.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    first = std::stoi(ending);
  }
  char digits[16];
  for (int n = first; n <= 999; ++n) {
    std::snprintf(digits, sizeof digits, "%03d", n);
    std::remove((stem + digits).c_str());
  }
  return true;
}

// [SECTION] Waiting

void WaitForRelease(WidgetScreen& screen) {
  WidgetHost* host = screen.host;
  if (host == nullptr) return;
  // About ten seconds of passes: a button held down by a stuck device must not hang the box.
  for (int pass = 0; pass < 600 && host->MouseButtons() != 0 && host->InputMayArrive(); ++pass) {
    host->Idle();
    host->Pump();
  }
}

// [SECTION] The picker

namespace {

struct Picker {
  explicit Picker(WidgetScreen& owner) : screen(owner) {}
  WidgetScreen& screen;
  std::string dataFolder;
  std::string folder;
  std::string pattern;
  std::string title;
  Previewer previewer;
  std::vector<std::string> files;
  std::string crashedName;  // the file whose preview ended the last run, read at start
  int page = 0;
  int previousSlot = -1, nextSlot = -1, folderSlot = -1;
  std::array<int, kPickerPage> cellSlots{};
};

void Present(WidgetScreen& screen) {
  if (screen.host != nullptr) screen.host->Present(screen.canvas);
}

// The marker is written with a plain write and no flush to the disk: it has to outlive a crash
// of the program, not of the machine, and nine syncs a page would cost more than the previews.
void WriteCrashMarker(const std::string& path, const std::string& name) {
  if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(name.data(), 1, name.size(), file);
    std::fclose(file);
  }
}

std::string ReadCrashMarker(const std::string& path) {
  std::string text;
  if (!core::ReadFile(path, &text)) return {};
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

// The label of a cell: the name and the preview's suffix; a name too long for the cell is cut
// and ends in "..." so that the suffix (the picture's size) still shows.
std::string FitLabel(const EditorFont& font, const std::string& name, const std::string& suffix, int width) {
  std::string label = name + suffix;
  if (EditorTextWidth(font, label) <= width) return label;
  std::string kept = name;
  while (!kept.empty()) {
    kept.pop_back();
    label = kept + "..." + suffix;
    if (EditorTextWidth(font, label) <= width) return label;
  }
  return label;
}

// True when a mouse press stopped the previews; the press is then still waiting to be handled.
bool DrawPage(Picker& picker) {
  WidgetScreen& screen = picker.screen;
  Canvas& canvas = screen.canvas;
  const EditorFont& font = ScreenFont(screen);
  const int fontHeight = EditorTextCentreHeight(font);
  picker.page = ClampPage(picker.page, static_cast<int>(picker.files.size()));
  canvas.Clear();
  ClearButtons(screen);
  DrawPanel(screen, 0, 0, canvas.width - 1, canvas.height - 1, true);
  picker.previousSlot = AddButton(screen, 42, 40, 120, 64, false);
  ButtonLabel(screen, "Page <<", picker.previousSlot);
  picker.nextSlot = AddButton(screen, 128, 40, 206, 64, false);
  ButtonLabel(screen, "Page >>", picker.nextSlot);
  picker.folderSlot = AddButton(screen, 434, 40, 598, 64, false);
  ButtonLabel(screen, "Change Directory", picker.folderSlot);
  DrawTextInRect(screen, 120, 12 - fontHeight, 599, 12 + fontHeight, picker.title, screen.textColour, true);
  const std::string pageText = "Page " + std::to_string(picker.page + 1) + " of " +
                               std::to_string(PageCount(static_cast<int>(picker.files.size())));
  DrawTextInRect(screen, 210, 52 - fontHeight, 429, 52 + fontHeight, pageText, screen.textColour, true);

  const size_t first = static_cast<size_t>(picker.page) * kPickerPage;
  const int count = static_cast<int>(std::min<size_t>(kPickerPage, picker.files.size() - first));
  picker.cellSlots.fill(-1);
  for (int i = 0; i < count; ++i) {
    const int left = CellLeft(i), top = CellTop(i);
    picker.cellSlots[i] = AddButton(screen, left - 4, top - 4, left + kCellWidth + 3, top + kCellHeight + 3, true);
    canvas.FillRect(left, top, left + kCellWidth - 1, top + kCellHeight - 1, 0);
    DrawTextInRect(screen, left, top, left + kCellWidth - 1, top + kCellHeight - 1, "Wait...", screen.textColour, true);
  }
  Present(screen);

  const std::string marker = JoinPath(picker.dataFolder, kCrashedFile);
  const int labelHeight = std::max(font.height, fontHeight);
  for (int i = 0; i < count; ++i) {
    if (screen.host != nullptr) {
      screen.host->Pump();
      if (screen.host->MouseButtons() != 0) return true;
    }
    const std::string& name = picker.files[first + i];
    const int left = CellLeft(i), top = CellTop(i);
    std::string suffix;
    if (!picker.crashedName.empty() && name == picker.crashedName) {
      canvas.FillRect(left, top, left + kCellWidth - 1, top + kCellHeight - 1, 0);
      DrawTextInRect(screen, left, top, left + kCellWidth - 1, top + kCellHeight - 1, "Preview skipped",
                     screen.textColour, true);
    } else {
      WriteCrashMarker(marker, name);
      suffix = picker.previewer(screen, JoinPath(picker.folder, name), left, top);
      std::remove(marker.c_str());
    }
    DrawOutlinedLabel(screen, left + kCellWidth / 2, top + kCellHeight - labelHeight - 4, kCellWidth - 2,
                      FitLabel(font, name, suffix, kCellWidth - 4));
    Present(screen);
  }
  return false;
}

void Relist(Picker& picker) {
  picker.files = ListMatchingFiles(picker.folder, picker.pattern);
  picker.page = ClampPage(picker.page, static_cast<int>(picker.files.size()));
}

// The scripted answer: a listed name, or a position in the list from 0; -1 (Esc) and anything
// else give no file.
std::string ScriptedChoice(const Picker& picker, const WidgetAnswer& answer) {
  if (answer.isNumber) {
    if (answer.number >= 0 && static_cast<size_t>(answer.number) < picker.files.size()) return picker.files[answer.number];
    return {};
  }
  if (std::find(picker.files.begin(), picker.files.end(), answer.text) != picker.files.end()) return answer.text;
  return {};
}

// A right click on a cell: the question, the erase on YES and, when it fails, a box saying so.
void AskErase(Picker& picker, const std::string& name) {
  const int answer =
      MessageBox(picker.screen, "Do you really want to PERMANENTLY ERASE " + name + "?", " NO! ", " YES ");
  if (answer != 2) return;
  std::string reason;
  if (!EraseWithCompanions(JoinPath(picker.folder, name), &reason)) {
    MessageBox(picker.screen, "'" + name + "' could not be erased:|" + reason, " OK ", "");
  }
  Relist(picker);
}

}  // namespace

std::string FilePickerInFolder(WidgetScreen& screen, const std::string& dataFolder, std::string* folder, int category,
                               std::string_view title, const Previewer* previewer) {
  Picker picker(screen);
  picker.dataFolder = dataFolder;
  picker.folder = *folder;
  picker.pattern = CategoryPattern(category);
  picker.title = title;
  picker.previewer = previewer != nullptr && *previewer ? *previewer : CategoryPreviewer(category);
  picker.crashedName = ReadCrashMarker(JoinPath(dataFolder, kCrashedFile));
  Relist(picker);
  WidgetHost* host = screen.host;

  // Input from before the box is dropped; keys typed while the previews draw are kept.
  if (host != nullptr) {
    WaitForRelease(screen);
    host->FlushKeys();
  }
  bool pressWaiting = DrawPage(picker);
  if (host != nullptr) host->BoxOpened("files", picker.title);
  Present(screen);

  std::string result;
  bool defaulted = false;
  WidgetAnswer answer;
  if (host == nullptr) {
    defaulted = true;
  } else if (host->TakeAnswer(&answer)) {
    result = ScriptedChoice(picker, answer);
  } else {
    bool done = false;
    while (!done) {
      // With no input to come, the keys already queued are still read; then the default.
      const bool exhausted = !pressWaiting && !host->InputMayArrive();
      if (!pressWaiting && !exhausted) {
        host->Idle();
        host->Pump();
      }
      pressWaiting = false;
      int page = picker.page;
      bool keyRead = false;
      WidgetKey key;
      while (!done && host->PopKey(&key)) {
        keyRead = true;
        if (key.scan == kScanEsc || key.scan == kScanDelete) done = true;
        if (key.scan == kScanPageUp) --page;
        if (key.scan == kScanPageDown) ++page;
      }
      if (done) break;
      if (exhausted && !keyRead) {
        defaulted = true;
        break;
      }
      bool redraw = false;
      if (!exhausted && host->MouseButtons() != 0) {
        const int buttons = host->MouseButtons();
        const int hit = HitTest(screen);
        const auto cell = std::find(picker.cellSlots.begin(), picker.cellSlots.end(), hit);
        if (hit == kCloseBoxCode) {
          done = true;
        } else if (hit >= 0 && hit == picker.previousSlot) {
          --page;
        } else if (hit >= 0 && hit == picker.nextSlot) {
          ++page;
        } else if (hit >= 0 && hit == picker.folderSlot) {
          WaitForRelease(screen);
          const std::string chosen = FolderBrowser(screen, picker.folder, picker.pattern);
          std::error_code error;
          if (!chosen.empty()) {
            picker.folder = std::filesystem::is_directory(chosen, error)
                                ? chosen
                                : std::filesystem::path(chosen).parent_path().string();
            if (picker.folder.empty()) picker.folder = "/";
            picker.page = 0;
            Relist(picker);
          }
          redraw = true;
        } else if (hit >= 0 && cell != picker.cellSlots.end()) {
          const size_t index = static_cast<size_t>(picker.page) * kPickerPage + (cell - picker.cellSlots.begin());
          WaitForRelease(screen);
          if (buttons == 1) {
            result = picker.files[index];
            done = true;
          } else {
            AskErase(picker, picker.files[index]);
            redraw = true;
          }
        }
        if (!done) WaitForRelease(screen);
      }
      if (done) break;
      page = ClampPage(page, static_cast<int>(picker.files.size()));
      if (page != picker.page) {
        picker.page = page;
        redraw = true;
      }
      if (redraw) pressWaiting = DrawPage(picker);
    }
  }

  *folder = picker.folder;
  screen.canvas.Clear();
  ClearButtons(screen);
  if (host != nullptr) {
    host->ClearDisplay();
    host->FlushKeys();
    host->BoxClosed("files", picker.title, result, defaulted);
  }
  return result;
}

// A name chosen after a change of folder is given relative to the starting folder when it lies
// inside it, else as the full path, so that joining it to the starting folder still names it.
std::string FilePicker(WidgetScreen& screen, const std::string& dataFolder, const std::string& folder, int category,
                       std::string_view title, const Previewer* previewer) {
  std::string endFolder = folder;
  const std::string name = FilePickerInFolder(screen, dataFolder, &endFolder, category, title, previewer);
  if (name.empty() || endFolder == folder) return name;
  const std::string start = core::NormalisePath(folder), end = core::NormalisePath(endFolder);
  const std::string prefix = start.empty() || start.back() == '/' ? start : start + "/";
  if (!prefix.empty() && end.compare(0, prefix.size(), prefix) == 0) return JoinPath(end.substr(prefix.size()), name);
  return JoinPath(endFolder, name);
}

}  // namespace widgets
}  // namespace engine
