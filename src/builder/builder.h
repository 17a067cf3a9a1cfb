// Public header of src/builder/: the stand-alone game builder. It turns the list of projects into a
// finished game folder (engine copy, scrambled levels and resources, pictures, data files, the
// game list) and keeps that list. Calls src/model, src/brain and src/core; shows nothing itself:
// questions, progress and boxes go through the callbacks its callers give.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace builder {

// [SECTION] Game names of resources

// The hash of a game name: h = h * 31 + c over the bytes, each taken as a signed byte, modulo 2^32.
uint32_t ResourceHash(std::string_view path);
// The name of a resource in the game folder, from its lower-cased absolute path: eight upper-case
// hexadecimal digits of ResourceHash + ".dat", or the file's own name for null_.wav (the engine
// knows that one by name).
std::string ResourceName(std::string_view lowerAbsolutePath);

// [SECTION] The project list

inline constexpr int kListPositions = 500;
inline constexpr int kListPageSize = 20;

// One position of the list. Paths are absolute in memory.
struct ListEntry {
  std::string loading;       // picture shown while the project loads
  std::string loadComplete;  // picture shown until a key is pressed; black_.bmp means none
  std::string project;       // the project file
  bool on = false;           // compiled into the game
  std::string cutScene;      // cut-scene picture, or empty
};
using ProjectList = std::array<ListEntry, kListPositions>;

// The default line of a position (off) under the working folder (absolute, ending with '/').
ListEntry DefaultEntry(const std::string& workingFolder);
// Every position the default, position 1 on: a new or reset list.
ProjectList DefaultList(const std::string& workingFolder);
// The list file's text: one '|'-separated line per position, '\' read as '/', "./" as the working
// folder. Missing or unreadable lines give the default (off) position, lines past 500 are ignored,
// a field longer than kListFieldMax reads as empty.
inline constexpr size_t kListFieldMax = 1024;
ProjectList ParseList(std::string_view text, const std::string& workingFolder);
// 500 CR LF lines, the working folder written as "./".
std::string FormatList(const ProjectList& list, const std::string& workingFolder);
// Reads a list file; a missing one gives DefaultList (false).
bool ReadList(const std::string& path, const std::string& workingFolder, ProjectList* list);
// Writes it atomically. False on failure.
bool WriteList(const std::string& path, const ProjectList& list, const std::string& workingFolder);
// The last position (from 1) switched on; 0 when none is.
int LastPositionOn(const ProjectList& list);

// The list the list editor works on: data/multilev.ini; saved lists are multilev/NAME.mlv.
std::string CurrentListPath(const std::string& workingFolder);
std::string SavedListPath(const std::string& workingFolder, const std::string& name);
// The game title lives in line 17 of the editor's curpaths.ini.
inline constexpr int kTitleLine = 17;
inline constexpr size_t kTitleBytes = 32;

// [SECTION] The list editor's actions
//
// What the list editor screen does to the list, without the screen: every change is written to
// data/multilev.ini at once; the game title is line 17 of curpaths.ini in the data folder.
class ListEditor {
 public:
  ListEditor(std::string workingFolder, std::string dataFolder);
  // Reads data/multilev.ini (the default list when it is missing) and the title.
  void Open();
  const ProjectList& list() const { return list_; }
  const std::string& title() const { return title_; }
  int page() const { return page_; }  // 0..24, 20 positions a page
  void NextPage() { page_ = page_ < kListPositions / kListPageSize - 1 ? page_ + 1 : page_; }
  void PreviousPage() { page_ = page_ > 0 ? page_ - 1 : 0; }
  // Column edits of position 1..500: 1 loading picture, 2 load-complete picture, 3 project,
  // 5 cut-scene picture (absolute paths); Toggle flips column 4. False for a position out of range
  // or a list that could not be written.
  bool SetColumn(int position, int column, const std::string& path);
  bool Toggle(int position);
  // The list that a reset gives; the caller asks first.
  bool Reset();
  // Writes the current list, then makes the list file the current one (and writes it).
  bool Load(const std::string& listFile);
  // Whether multilev/NAME.mlv exists (the caller asks before overwriting), and the save itself,
  // which writes the current list first.
  bool SavedListExists(const std::string& name) const;
  bool Save(const std::string& name);
  // The game title, cut at 32 bytes, written to curpaths.ini at once.
  bool SetTitle(const std::string& title);
  // Writes data/multilev.ini.
  bool Write() const;

 private:
  std::string working_;
  std::string data_;
  ProjectList list_;
  std::string title_;
  int page_ = 0;
};

// [SECTION] The window name field

// The field as the engine carries it: "Zu-Teal" padded with blanks to 32 bytes.
std::string DefaultWindowNameField();
// The title cut at 32 bytes and padded with blanks to 32.
std::string WindowNameField(std::string_view title);
// Replaces every 32-byte run equal to the default field by the title's field; returns how many.
int PatchWindowName(std::string* binary, std::string_view title);

// [SECTION] The build

struct BuildOptions {
  std::string workingFolder;  // absolute, ending with '/'
  std::string dataFolder;     // the authoring data folder, absolute, ending with '/'
  std::string engineFile;     // the engine binary copied as vexelexe
  std::string title;          // the game title (cut at 32)
  std::function<void(const std::string&)> progress;        // "Compilation in progress... NAME" and the like
  std::function<void(const std::string&)> brainErrorBox;    // a brain's compile error box text
  std::function<bool()> askScreenSaver;                     // include vexelexe.scr? (none: no)
};

struct BuiltLevel {
  int position = 0;
  std::string project;  // absolute project path
  std::string file;     // "level001.prj"
};
struct SkippedLevel {
  int position = 0;
  std::string project;
  std::string error;  // the brain's error box text, or why the project could not be loaded
};
// Two files of the same own name (meshes, textures, pictures) from different folders: the game
// folder has room for one; the first one met is kept.
struct NameClash {
  std::string name;
  std::string kept;
  std::string leftOut;
};

struct BuildReport {
  std::string folder;  // the game folder (working folder + "vexelexe/")
  std::string title;   // the 32-byte field written into the engine copy
  std::vector<BuiltLevel> levels;
  std::vector<SkippedLevel> skipped;
  std::vector<NameClash> clashes;
  bool netmode = false;
  bool screenSaver = false;
  int enginePatches = 0;  // window-name fields replaced in the engine copy
  std::string failure;    // why the build stopped, when it did (the game folder is then unchanged)
};

// Builds the finished game of `list` into working folder + "vexelexe/". The game is assembled in
// a fresh folder beside it and swapped in only when complete, so a build that fails or is cut off
// leaves the previous game as it was. False (nothing built, *report->failure set) when no
// position is on, the engine cannot be read or the folder cannot be written; a build in which
// every project was skipped is also false. Skipped projects are in report->skipped.
bool BuildExecutable(const ProjectList& list, const BuildOptions& options, BuildReport* report);

// The build's report as one JSON object (the vexel build --json output).
std::string BuildReportJson(const BuildReport& report);

// The texts of the build, kept as the builder shows them.
inline constexpr const char* kConfirmText = "Executable compilation. Please confirm:";
inline constexpr const char* kScreenSaverText =
    "Do you want to include Screen Saver installation module (vexelexe.scr)?";
inline constexpr const char* kDoneText =
    "The stand-alone version of the multi-project is in 'vexel/vexelexe/' folder now"
    "|You can port it to other PCs by porting the 'vexelexe' folder and its content"
    "|You can run the project by executing the vexelexe file"
    "|You can freely rename the ported 'vexelexe' folder and the 'vexelexe' file";
inline constexpr const char* kNextProjectText = "Looking for next project to compile, please wait...";

// [SECTION] Internals shared with the tests and fuzz targets

// The texture file names an .x mesh names: for every ".bmp" or ".ppm" (any case), the name that
// ends there and starts after the nearest '"' or zero byte before it, reduced to its last path
// component (at most 255 bytes); names that reduce to nothing are left out. In order, repeats
// kept out.
std::vector<std::string> MeshTextureNames(std::string_view mesh);
// A visual's text with fields 2, 3 and 30 of each line up to the first empty line passed through
// `rename` (which gets the field as stored and returns its new text); the rest as it was.
std::string RewriteVisual(std::string_view text, const std::function<std::string(const std::string&)>& rename);

}  // namespace builder
