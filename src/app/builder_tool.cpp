// Run mode 6, the stand-alone executable builder: the list editor screen "SELF-EXECUTABLE EDITOR"
// on the widget canvas (pages of the project list, its menu and keys, the column edits through the
// file boxes) and "Create Executable" with its questions and messages in the program's boxes.
// Calls src/builder (the list and the build), the widgets and the app's boxes.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/app.h"
#include "builder/builder.h"

namespace app {
namespace {

namespace widgets = engine::widgets;

constexpr const char* kEditorTitle = "SELF-EXECUTABLE EDITOR";
constexpr const char* kMenuEntries =
    "Previous Page (PagUp)|Next Page (PagDn)|Load List (L)|Save List (S)|Create Executable (X)|Reset List|"
    "Executable Name";
enum MenuEntry { kMenuNone, kMenuPrevious, kMenuNext, kMenuLoad, kMenuSave, kMenuCreate, kMenuReset, kMenuName };

// Set-1 scan codes of the letter keys the menu names.
constexpr uint8_t kScanL = 38, kScanS = 31, kScanX = 45;

constexpr int kPages = builder::kListPositions / builder::kListPageSize;
constexpr int kColumns = 5;

// The screen is laid out on a 640 x 480 grid and stretched to the display mode's canvas.
struct Span {
  int from;
  int to;
};
constexpr std::array<Span, kColumns> kColumnSpans = {{{42, 161}, {164, 283}, {286, 485}, {488, 527}, {530, 631}}};
constexpr std::array<const char*, kColumns> kColumnHeads = {"Loading", "Load complete", "Project", "On", "Cut-scene"};
constexpr int kRowsTop = 80, kRowPitch = 19, kRowHeight = 17;
constexpr int kHeadY = 66, kTopButtons = 34, kTopButtonsBottom = 56, kHintY = 468;

// What the status line says while the pointer is over a column: the column edit's own text.
std::string ColumnHint(int column, int position) {
  switch (column) {
    case 1: return "Select image to use as 'loading' message";
    case 2: return "Select image to use as 'load complete' message (default_ = skip)";
    case 3:
      return position == 1 ? "Select the project to compile as entry point"
                           : "Select the project to compile as sub-project " + std::to_string(position);
    case 4: return "Switch project compilation On/Off";
    case 5: return "Choose a .bmp cutscene";
    default: return std::string();
  }
}

std::string LastComponent(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The text cut with "..." until it fits `width` pixels.
std::string Fitted(const engine::EditorFont& font, std::string text, int width) {
  if (engine::EditorTextWidth(font, text) <= width) return text;
  while (!text.empty() && engine::EditorTextWidth(font, text + "...") > width) text.pop_back();
  return text + "...";
}

class ListScreen {
 public:
  ListScreen(Engine& engine, builder::ListEditor& editor)
      : engine_(engine), editor_(editor), screen_(engine.widgets), host_(engine.widgets.host) {}

  // Runs until Esc, the close box, a stop signal or (headless) the end of the input script.
  void Run() {
    Draw();
    previousButtons_ = host_->MouseButtons();
    for (;;) {
      // With no input to come the keys already queued are still read; then the screen closes.
      const bool exhausted = !host_->InputMayArrive();
      if (!exhausted) {
        host_->Idle();
        host_->Pump();
      }
      bool keyRead = false;
      widgets::WidgetKey key;
      while (host_->PopKey(&key)) {
        keyRead = true;
        if (key.scan == widgets::kScanEsc) return;
        const MenuEntry entry = key.scan == widgets::kScanPageUp     ? kMenuPrevious
                                : key.scan == widgets::kScanPageDown ? kMenuNext
                                : key.scan == kScanL                 ? kMenuLoad
                                : key.scan == kScanS                 ? kMenuSave
                                : key.scan == kScanX                 ? kMenuCreate
                                                                     : kMenuNone;
        if (entry != kMenuNone) Act(entry);
      }
      if (exhausted && !keyRead) return;
      if (exhausted) continue;

      const int buttons = host_->MouseButtons();
      const int pressed = previousButtons_ == 0 ? buttons : 0;
      previousButtons_ = buttons;
      if (pressed == 1 && !Click()) return;
      if (pressed == 2) Act(static_cast<MenuEntry>(widgets::MenuBox(screen_, kMenuEntries)));
      UpdateHint();
    }
  }

 private:
  int X(int x) const { return x * screen_.canvas.width / 640; }
  int Y(int y) const { return y * screen_.canvas.height / 480; }
  int Position(int row) const { return editor_.page() * builder::kListPageSize + row + 1; }
  const engine::EditorFont& Font() const { return widgets::ScreenFont(screen_); }

  void Text(int x, int y, const std::string& text, bool centred) {
    const engine::CanvasView view = screen_.canvas.View();
    if (centred) {
      engine::DrawEditorTextCentred(Font(), view, x, y, text, screen_.textColour);
    } else {
      engine::DrawEditorText(Font(), view, x, y - engine::EditorTextCentreHeight(Font()) / 2, text, screen_.textColour);
    }
  }

  void Draw() {
    widgets::Canvas& canvas = screen_.canvas;
    canvas.Clear();
    widgets::ClearButtons(screen_);
    widgets::DrawPanel(screen_, 0, 0, canvas.width - 1, canvas.height - 1, true);
    Text(canvas.width / 2, 13, kEditorTitle, true);

    menuSlot_ = widgets::AddButton(screen_, X(8), kTopButtons, X(87), kTopButtonsBottom, false);
    widgets::ButtonLabel(screen_, "Menu", menuSlot_);
    previousSlot_ = widgets::AddButton(screen_, X(92), kTopButtons, X(171), kTopButtonsBottom, false);
    widgets::ButtonLabel(screen_, "Page <<", previousSlot_);
    nextSlot_ = widgets::AddButton(screen_, X(176), kTopButtons, X(255), kTopButtonsBottom, false);
    widgets::ButtonLabel(screen_, "Page >>", nextSlot_);
    Text(X(320), (kTopButtons + kTopButtonsBottom) / 2,
         "Page " + std::to_string(editor_.page() + 1) + " of " + std::to_string(kPages), true);
    Text(X(400), (kTopButtons + kTopButtonsBottom) / 2,
         Fitted(Font(), "Name: " + editor_.title(), X(631) - X(400)), false);

    for (int c = 0; c < kColumns; ++c) {
      Text((X(kColumnSpans[c].from) + X(kColumnSpans[c].to)) / 2, Y(kHeadY), kColumnHeads[c], true);
    }
    for (int row = 0; row < builder::kListPageSize; ++row) {
      const int position = Position(row);
      const builder::ListEntry& entry = editor_.list()[static_cast<size_t>(position - 1)];
      const int top = Y(kRowsTop + row * kRowPitch), bottom = Y(kRowsTop + row * kRowPitch + kRowHeight);
      Text(X(38) - engine::EditorTextWidth(Font(), std::to_string(position)), (top + bottom) / 2,
           std::to_string(position), false);
      const std::array<std::string, kColumns> labels = {LastComponent(entry.loading), LastComponent(entry.loadComplete),
                                                        LastComponent(entry.project), entry.on ? "On" : "Off",
                                                        LastComponent(entry.cutScene)};
      for (int c = 0; c < kColumns; ++c) {
        const int left = X(kColumnSpans[c].from), right = X(kColumnSpans[c].to);
        const int slot = widgets::AddButton(screen_, left, top, right, bottom, c == 3 && entry.on);
        cells_[static_cast<size_t>(row)][static_cast<size_t>(c)] = slot;
        widgets::ButtonLabel(screen_, Fitted(Font(), labels[static_cast<size_t>(c)], right - left - 8), slot);
      }
    }
    hint_.clear();
    DrawHint(HoveredHint());
  }

  // The status line under the list, drawn over whatever it said before.
  void DrawHint(const std::string& hint) {
    const int y = Y(kHintY);
    const int half = engine::EditorTextCentreHeight(Font());
    screen_.canvas.FillRect(X(8), y - half - 2, screen_.canvas.width - 9, y + half + 2, screen_.skin.interior);
    Text(screen_.canvas.width / 2, y, hint, true);
    hint_ = hint;
    host_->Present(screen_.canvas);
  }

  std::string HoveredHint() const {
    const int x = host_->MouseX(), y = host_->MouseY();
    for (int row = 0; row < builder::kListPageSize; ++row) {
      if (y < Y(kRowsTop + row * kRowPitch) || y > Y(kRowsTop + row * kRowPitch + kRowHeight)) continue;
      for (int c = 0; c < kColumns; ++c) {
        if (x >= X(kColumnSpans[c].from) && x <= X(kColumnSpans[c].to)) return ColumnHint(c + 1, Position(row));
      }
    }
    return std::string();
  }

  void UpdateHint() {
    const std::string hint = HoveredHint();
    if (hint != hint_) DrawHint(hint);
  }

  // A left press: false when it closes the screen.
  bool Click() {
    const int slot = widgets::HitTest(screen_);
    if (slot == widgets::kCloseBoxCode) return false;
    if (slot < 0) return true;
    if (slot == menuSlot_) {
      Act(static_cast<MenuEntry>(widgets::MenuBox(screen_, kMenuEntries)));
    } else if (slot == previousSlot_) {
      Act(kMenuPrevious);
    } else if (slot == nextSlot_) {
      Act(kMenuNext);
    } else {
      for (int row = 0; row < builder::kListPageSize; ++row) {
        const auto& cells = cells_[static_cast<size_t>(row)];
        const auto found = std::find(cells.begin(), cells.end(), slot);
        if (found != cells.end()) {
          EditColumn(Position(row), static_cast<int>(found - cells.begin()) + 1);
          break;
        }
      }
    }
    previousButtons_ = host_->MouseButtons();
    return true;
  }

  // A file box in the folder of `current` (or `fallback` when it has none): the absolute path of
  // the chosen file, or "" for none.
  std::string PickFile(const std::string& current, const std::string& fallback, int category, const std::string& title) {
    std::error_code error;
    std::string folder = FolderOf(current);
    if (folder.empty() || !std::filesystem::is_directory(folder, error)) folder = fallback;
    const std::string name = widgets::FilePicker(screen_, engine_.paths.data, folder, category, title);
    if (name.empty()) return name;
    return name[0] == '/' ? name : folder + (folder.empty() || folder.back() == '/' ? "" : "/") + name;
  }

  void EditColumn(int position, int column) {
    const builder::ListEntry& entry = editor_.list()[static_cast<size_t>(position - 1)];
    const std::string& working = engine_.paths.working;
    const std::string images = working + "images/";
    const std::string title = ColumnHint(column, position);
    std::string chosen;
    switch (column) {
      case 1: chosen = PickFile(entry.loading, images, -1, title); break;
      case 2: chosen = PickFile(entry.loadComplete, images, -1, title); break;
      case 3: chosen = PickFile(entry.project, working + "projects/", -2, title); break;
      case 4: Save(editor_.Toggle(position)); break;
      case 5: chosen = PickFile(entry.cutScene, images, -1, title); break;
      default: break;
    }
    if (!chosen.empty()) Save(editor_.SetColumn(position, column, chosen));
    Draw();
  }

  // A change the list file could not take is said at once: the screen and the file would differ.
  void Save(bool written) {
    if (!written) ShowProgramBox(engine_, "The list could not be written to data/multilev.ini", {" OK "});
  }

  void Act(MenuEntry entry) {
    switch (entry) {
      case kMenuPrevious: editor_.PreviousPage(); break;
      case kMenuNext: editor_.NextPage(); break;
      case kMenuLoad: LoadList(); break;
      case kMenuSave: SaveList(); break;
      case kMenuCreate:
        Save(editor_.Write());
        CreateExecutable(engine_, editor_);
        break;
      case kMenuReset:
        if (widgets::MessageBox(screen_, "Are you sure you want to reset the current list?", " NO ", " YES ") == 2) {
          Save(editor_.Reset());
        }
        break;
      case kMenuName:
        Save(editor_.SetTitle(widgets::InputBox(screen_, 0, editor_.title(),
                                                "Self-executable minimized window name (32 chrs max.)")));
        break;
      case kMenuNone: break;
    }
    Draw();
    previousButtons_ = host_->MouseButtons();
  }

  void LoadList() {
    Save(editor_.Write());
    const std::string folder = engine_.paths.working + "multilev";
    core::MakeFolders(folder);
    std::string chosen = widgets::FolderBrowser(screen_, folder, "*.mlv");
    if (chosen.empty()) return;
    if (chosen[0] != '/') chosen = folder + "/" + chosen;
    std::error_code error;
    if (std::filesystem::is_directory(chosen, error)) return;
    if (!editor_.Load(chosen)) ShowProgramBox(engine_, "The list " + chosen + " cannot be read", {" OK "});
  }

  void SaveList() {
    Save(editor_.Write());
    const std::string name = widgets::InputBox(screen_, 0, "", "Save the current projects list as..");
    if (name.empty()) return;
    if (editor_.SavedListExists(name) &&
        widgets::MessageBox(screen_, "Using the name '" + name + "' you overwrite an existing list, continue?",
                            " YES ", " NO! ") != 1) {
      return;
    }
    if (!editor_.Save(name)) ShowProgramBox(engine_, "The list could not be saved as '" + name + "'", {" OK "});
  }

 public:
  // "Create Executable": the confirmation, the build of the current list with the running engine
  // as the game's engine, the screen-saver question and the closing message.
  static void CreateExecutable(Engine& engine, const builder::ListEditor& editor) {
    FlushInput(engine);
    if (ShowProgramBox(engine, builder::kConfirmText, {" CONTINUE ", " ABORT "}) != 0) return;

    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    builder::BuildOptions options;
    options.workingFolder = engine.paths.working;
    options.dataFolder = engine.paths.data;
    options.engineFile = length > 0 ? std::string(self, static_cast<size_t>(length)) : std::string();
    options.title = editor.title();
    options.progress = [&engine](const std::string& text) {
      std::fprintf(stderr, "main: %s\n", text.c_str());
      ShowNotice(engine, text);
    };
    options.brainErrorBox = [&engine](const std::string& text) { ShowProgramBox(engine, text, {" OK "}); };
    options.askScreenSaver = [&engine] {
      return ShowProgramBox(engine, builder::kScreenSaverText, {" YES ", " NO "}) == 0;
    };
    builder::BuildReport report;
    const bool built = builder::BuildExecutable(editor.list(), options, &report);
    ShowNotice(engine, "");
    if (!built) {
      std::fprintf(stderr, "main: the game was not built: %s\n", report.failure.c_str());
      if (!report.levels.empty() || report.skipped.empty()) ShowProgramBox(engine, report.failure, {" OK "});
      return;
    }
    ShowProgramBox(engine, builder::kDoneText, {" OK "});
  }

 private:
  Engine& engine_;
  builder::ListEditor& editor_;
  widgets::WidgetScreen& screen_;
  widgets::WidgetHost* host_;
  int menuSlot_ = -1;
  int previousSlot_ = -1;
  int nextSlot_ = -1;
  std::array<std::array<int, kColumns>, builder::kListPageSize> cells_{};
  std::string hint_;
  int previousButtons_ = 0;
};

}  // namespace

void RunBuilderTool(Engine& engine) {
  builder::ListEditor editor(engine.paths.working, engine.paths.data);
  editor.Open();
  editor.Write();
  if (engine.widgets.host == nullptr || engine.widgets.canvas.width <= 0) {
    // No canvas to draw the list on: the build of the current list is all there is to offer.
    ListScreen::CreateExecutable(engine, editor);
    return;
  }
  ListScreen screen(engine, editor);
  screen.Run();
  engine.widgets.canvas.Clear();
  engine::widgets::ClearButtons(engine.widgets);
  engine.widgets.host->ClearDisplay();
  engine.widgets.host->FlushKeys();
}

}  // namespace app
