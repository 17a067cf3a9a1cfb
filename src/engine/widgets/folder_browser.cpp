// The folder browser: a folder's sub-folders and matching files as a paged list, the row of
// starting places (the filesystem root, the home folder, the working folder), and the path the
// user confirms. Calls core (files and paths) and the widgets' panels and buttons; input through
// the host.
#include <algorithm>
#include <cstdlib>
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
namespace {

constexpr std::string_view kFolderMark = "(dir) ";
constexpr int kListTop = 80, kListBottom = 436, kColumns = 3, kColumnLeft = 16, kColumnPitch = 204,
              kColumnWidth = 196;

struct Place {
  const char* label;
  std::string path;
};

struct Browser {
  explicit Browser(WidgetScreen& owner) : screen(owner) {}
  WidgetScreen& screen;
  std::string folder;  // absolute, normalised, without a trailing '/' (but "/" itself)
  std::string pattern;
  std::vector<std::string> entries;  // "..", "(dir) name" ..., file names
  size_t folders = 0;                 // entries before the files: ".." and the sub-folders
  bool readable = true;
  int page = 0;
  int perPage = 1;
  std::vector<Place> places;
  std::vector<int> placeSlots;
  std::vector<int> entrySlots;  // slot of each entry shown, in order from page * perPage
  int previousSlot = -1, nextSlot = -1;
};

std::string Absolute(std::string_view path) {
  std::string full(path);
  if (full.empty()) full = core::CurrentFolder();
  if (full[0] != '/') full = JoinPath(core::CurrentFolder(), full);
  full = core::NormalisePath(full);
  while (full.size() > 1 && full.back() == '/') full.pop_back();
  return full;
}

std::string Parent(const std::string& folder) {
  const size_t slash = folder.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return folder.substr(0, slash);
}

void Open(Browser& browser, const std::string& folder) {
  browser.folder = folder;
  browser.page = 0;
  browser.entries.clear();
  browser.folders = 0;
  std::vector<std::string> folders;
  browser.readable = ListSubFolders(folder, &folders);
  if (folder != "/") browser.entries.emplace_back("..");
  browser.folders = browser.entries.size();
  if (!browser.readable) return;
  for (const std::string& name : folders) browser.entries.push_back(std::string(kFolderMark) + name);
  browser.folders = browser.entries.size();
  for (std::string& name : ListMatchingFiles(folder, browser.pattern)) browser.entries.push_back(std::move(name));
}

void Draw(Browser& browser) {
  WidgetScreen& screen = browser.screen;
  Canvas& canvas = screen.canvas;
  const int fontHeight = EditorTextCentreHeight(ScreenFont(screen));
  canvas.Clear();
  ClearButtons(screen);
  DrawPanel(screen, 0, 0, canvas.width - 1, canvas.height - 1, true);
  DrawTextInRect(screen, 120, 12 - fontHeight, 599, 12 + fontHeight, "Click any file name to confirm",
                 screen.textColour, true);
  DrawTextInRect(screen, 16, 36 - fontHeight, 623, 36 + fontHeight, browser.folder + "/" + browser.pattern,
                 screen.textColour, false);

  browser.placeSlots.clear();
  int x = 16;
  for (const Place& place : browser.places) {
    const int width = std::max(48, EditorTextWidth(ScreenFont(screen), place.label) + 16);
    const int slot = AddButton(screen, x, 48, x + width - 1, 70, false);
    ButtonLabel(screen, place.label, slot);
    browser.placeSlots.push_back(slot);
    x += width + 8;
  }

  const int rowHeight = std::max(12, fontHeight + 8);
  const int rows = std::max(1, (kListBottom - kListTop) / (rowHeight + 2));
  browser.perPage = rows * kColumns;
  const int entries = static_cast<int>(browser.entries.size());
  const int pages = std::max(1, (entries + browser.perPage - 1) / browser.perPage);
  browser.page = std::clamp(browser.page, 0, pages - 1);
  browser.entrySlots.clear();
  const int first = browser.page * browser.perPage;
  for (int i = first; i < std::min(entries, first + browser.perPage); ++i) {
    const int column = (i - first) / rows, row = (i - first) % rows;
    const int left = kColumnLeft + column * kColumnPitch, top = kListTop + row * (rowHeight + 2);
    const int slot = AddButton(screen, left, top, left + kColumnWidth - 1, top + rowHeight - 1, false);
    DrawTextInRect(screen, left + 5, top + 2, left + kColumnWidth - 6, top + rowHeight - 3, browser.entries[i],
                   screen.textColour, false);
    browser.entrySlots.push_back(slot);
  }
  // The messages go below the ".." row.
  const int messageTop = kListTop + 2 * (rowHeight + 2);
  if (!browser.readable) {
    DrawTextInRect(screen, 16, messageTop, 623, messageTop + rowHeight, "Device not ready!", screen.textColour, true);
  } else if (entries <= (browser.folder == "/" ? 0 : 1)) {
    DrawTextInRect(screen, 16, messageTop, 623, messageTop + rowHeight, "(No files found)", screen.textColour, true);
  }

  browser.previousSlot = AddButton(screen, 16, 444, 94, 468, false);
  ButtonLabel(screen, "Page <<", browser.previousSlot);
  browser.nextSlot = AddButton(screen, 102, 444, 180, 468, false);
  ButtonLabel(screen, "Page >>", browser.nextSlot);
  DrawTextInRect(screen, 210, 456 - fontHeight, 429, 456 + fontHeight,
                 "Page " + std::to_string(browser.page + 1) + " of " + std::to_string(pages), screen.textColour, true);
  if (screen.host != nullptr) screen.host->Present(canvas);
}

}  // namespace

std::string FolderBrowser(WidgetScreen& screen, const std::string& path, std::string_view pattern) {
  Browser browser(screen);
  browser.pattern = pattern.empty() ? std::string("*.*") : std::string(pattern);
  const char* home = std::getenv("HOME");
  browser.places = {{"/", "/"},
                    {"Home", Absolute(home != nullptr && home[0] != '\0' ? home : "/")},
                    {"Working folder", Absolute(core::CurrentFolder())}};
  std::string start = Absolute(path);
  std::error_code error;
  if (std::filesystem::is_regular_file(start, error)) start = Parent(start);
  Open(browser, start);

  WidgetHost* host = screen.host;
  Draw(browser);
  const std::string title = browser.folder;
  if (host != nullptr) host->BoxOpened("folder", title);
  if (host != nullptr) host->Present(screen.canvas);

  std::string result;
  bool defaulted = false;
  WidgetAnswer answer;
  if (host == nullptr) {
    defaulted = true;
  } else if (host->TakeAnswer(&answer)) {
    // A path; -1 is Esc. A bare number is taken as the path it spells.
    if (!answer.isNumber) {
      result = answer.text;
    } else if (answer.number >= 0) {
      result = answer.text.empty() ? std::to_string(answer.number) : answer.text;
    }
  } else {
    WaitForRelease(screen);
    host->FlushKeys();
    bool done = false;
    while (!done) {
      // With no input to come, the keys already queued are still read; then the default.
      const bool exhausted = !host->InputMayArrive();
      if (!exhausted) {
        host->Idle();
        host->Pump();
      }
      int page = browser.page;
      bool keyRead = false;
      WidgetKey key;
      while (!done && host->PopKey(&key)) {
        keyRead = true;
        if (key.scan == kScanEsc) done = true;
        if (key.scan == kScanPageUp) --page;
        if (key.scan == kScanPageDown) ++page;
      }
      if (done) break;
      if (exhausted && !keyRead) {
        defaulted = true;
        break;
      }
      bool redraw = page != browser.page;
      browser.page = page;
      if (exhausted) {
      } else if (host->MouseButtons() == 1) {
        const int hit = HitTest(screen);
        const auto place = std::find(browser.placeSlots.begin(), browser.placeSlots.end(), hit);
        const auto entry = std::find(browser.entrySlots.begin(), browser.entrySlots.end(), hit);
        if (hit == kCloseBoxCode) {
          done = true;
        } else if (hit < 0) {
        } else if (hit == browser.previousSlot) {
          --browser.page;
          redraw = true;
        } else if (hit == browser.nextSlot) {
          ++browser.page;
          redraw = true;
        } else if (place != browser.placeSlots.end()) {
          Open(browser, browser.places[place - browser.placeSlots.begin()].path);
          redraw = true;
        } else if (entry != browser.entrySlots.end()) {
          const size_t index = browser.page * browser.perPage + (entry - browser.entrySlots.begin());
          const std::string& name = browser.entries[index];
          if (index < browser.folders && name == "..") {
            Open(browser, Parent(browser.folder));
            redraw = true;
          } else if (index < browser.folders) {
            Open(browser, JoinPath(browser.folder, std::string_view(name).substr(kFolderMark.size())));
            redraw = true;
          } else {
            result = JoinPath(browser.folder, name);
            done = true;
          }
        }
        WaitForRelease(screen);
      } else if (host->MouseButtons() == 2) {
        WaitForRelease(screen);
      }
      if (!done && redraw) Draw(browser);
    }
  }

  screen.canvas.Clear();
  ClearButtons(screen);
  if (host != nullptr) {
    host->ClearDisplay();
    host->FlushKeys();
    host->BoxClosed("folder", title, result, defaulted);
  }
  return result;
}

}  // namespace widgets
}  // namespace engine
