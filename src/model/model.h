// Public header of src/model/: element records, element state records, project files, the
// editor state files, scrambled files and boundary ground maps.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/globals.h"
#include "model/ground_map.h"
#include "model/records.h"
#include "model/saved_game.h"
#include "model/state_record.h"

namespace model {

// [SECTION] Context

// What the project code needs of the process. The engine owns one for its whole life; tests and
// the vexel command make their own.
struct ModelContext {
  std::string workingFolder;  // absolute, ends with '/'; written as "./" in files
  std::string dataFolder;     // absolute, ends with '/'; may be empty (then only the working folder)
  std::string temporaryFile;  // working folder + "temp.tmp"
  bool finishedGame = false;  // player run: working copies in the working folder, scrambled
  bool showNotices = true;    // "Loading data, please wait..." outside a finished game
  uint32_t nextWorkingCopy = 1;     // process-wide counter of brain working-copy names
  uint8_t* collisionMap = nullptr;  // 65536 bytes (the arena's collision map)
  std::function<void(const char* text)> notice;  // shows or clears (nullptr text) a loading notice
  // When set, brain files live here by absolute path instead of on the disk: the brain files that
  // records name are read from it (a path not in it reads as missing), working copies are put in it
  // and a save reads them back from it. The engine leaves it unset; fuzz targets and tests that must
  // not touch the disk set it.
  std::map<std::string, std::string>* brainFiles = nullptr;
};

// [SECTION] Project

inline constexpr int kMaxElements = 256;
inline constexpr size_t kProjectTextBytes = 1114112;
inline constexpr size_t kCollisionMapBytes = 65536;
inline constexpr size_t kSettingsBlockOffset = 65036;

// The scene settings stored in the .col file over row 254 of the collision map.
struct SceneSettings {
  int32_t clipDistance = 0;
  int32_t backgroundTop = 0;
  int32_t backgroundBottom = 0;
  int32_t backgroundStyle = 0;
  int32_t fieldOfView = 0;
};

// Fog of the play, set to its defaults by every load.
struct Fog {
  int32_t start = 10240;
  int32_t end = 15360;
  uint32_t colour = 0xFF000000;
};

// A loaded project; lives from one load to the next.
struct Project {
  std::string path;
  std::string header;                // text after the ';' of the header line
  std::vector<std::string> records;  // element records, absolute paths; last index = size - 1
  int32_t currentElement = 0;
  std::string backgroundPath;        // absolute
  int32_t backgroundRepetitions = 1;
  std::string sharedGlobals;
  SceneSettings settings;
  Fog fog;
  uint8_t elementBytes[kMaxElements] = {};  // the project's per-element byte table
  int32_t mergeFirst = -1;                  // range of a merged project, moved by insertions
  int32_t mergeLast = -1;
  std::vector<std::string> notices;  // problems found while loading, each reported once

  int32_t LastIndex() const { return static_cast<int32_t>(records.size()) - 1; }
};

// Inserts a record at `index` (0..count): moves the records up, renumbers element-reference brain
// parameters that point at or past it, shifts the collision map rows and columns and the byte
// table, moves the merge range. False (nothing changed) when the project already has 256 elements
// or the index is out of range.
bool InsertElement(Project* project, uint8_t* collisionMap, const std::string& record, int32_t index);

// Loads a project file. A missing file gives the one-camera project. False with a message in
// *error when the file cannot be used (larger than the project text buffer) or a brain working
// copy cannot be written; the project is then left as it was. Lines may end in CR LF, LF or CR.
bool LoadProject(ModelContext* context, const std::string& path, Project* project, std::string* error);
// The load from memory, which LoadProject calls once it has read the files: `text` is the project
// file, `collision` the .col file's bytes (only the first 65536 count), or nothing when there is
// none, which leaves the collision map and the settings as they were. `path` becomes the project's
// path and names it in messages. False with a message when the text is larger than the project
// text buffer; the project is then left as it was. Working copies go where LoadProject puts them.
bool ParseProject(ModelContext* context, const std::string& path, std::string_view text,
                  std::optional<std::string_view> collision, Project* project, std::string* error);
// Writes the project file and its .col, all or nothing: both go to temporary files first, then the
// .col and the .prj replace the old ones. False with a message naming the file and the reason on
// any failure (a working copy that cannot be read included); the old files are then unchanged.
bool SaveProject(ModelContext* context, const Project& project, const std::string& path, std::string* error);
// The two files SaveProject writes. ProjectText reads the brains from the working copies; it is
// false with a message, *text unspecified, when the text would exceed the project text buffer.
// CollisionBytes is the collision map (all zero without one) with the channels of elements past
// the last cleared and the settings block filled in.
bool ProjectText(const ModelContext* context, const Project& project, std::string* text, std::string* error);
std::string CollisionBytes(const ModelContext* context, const Project& project);
// Reads a .col file into the 65536-byte collision map and, when the file reaches past it, the
// settings block into *settings. A short file fills what it has and clears the rest. False
// (nothing changed) when the file is missing or unreadable.
bool ReadCollisionFile(const std::string& collisionPath, uint8_t* map, SceneSettings* settings);
// The .col path of a project path: its extension replaced by ".col" ("a.prj" -> "a.col"), or
// ".col" added to a name without one ("backup" -> "backup.col").
std::string CollisionPath(const std::string& projectPath);
// Turns a path field of a record or a project file (stored "./x", relative, or absolute as in
// memory) into the file name to open: normalised, and only when it lies inside the working folder
// or the data folder. False (and *file empty) for an empty field, "-", or a path outside them,
// which the caller treats as a missing file. Every reader of a file a project names goes through
// this.
bool StoredFilePath(const ModelContext& context, std::string_view field, std::string* file);
// A new brain working-copy path (eight upper-case hexadecimal digits + ".bra").
std::string NewWorkingCopyPath(ModelContext* context);

// [SECTION] Editor state

// vexel.ini (20 lines) and curpaths.ini (23 lines) in the data folder, kept as text so the lines
// the engine does not use are written back exactly as read.
struct EditorState {
  std::string vexel[20];
  std::string curpaths[23];

  int32_t Number(int line) const;  // vexel.ini line (from 1) as a decimal number
  void SetNumber(int line, int32_t value);
  int32_t TestViewMode() const { return Number(1); }
};
EditorState DefaultEditorState(const std::string& workingFolder);
// Reads both files; a missing file (or missing lines) gives the defaults.
void ReadEditorState(const std::string& workingFolder, const std::string& dataFolder, EditorState* state);
// Writes both files (CR LF line ends). False on failure.
bool WriteEditorState(const std::string& dataFolder, const EditorState& state);
// The texts of the two files, which ReadEditorState and WriteEditorState read and write; an empty
// text reads as a missing file.
void ParseEditorState(const std::string& workingFolder, std::string_view vexelText, std::string_view curpathsText,
                      EditorState* state);
void FormatEditorState(const EditorState& state, std::string* vexelText, std::string* curpathsText);

// [SECTION] Files

// Word-wise scrambling of a finished game's files (constant 0x5A17C3E9, rotations 13 and 19);
// trailing bytes and files shorter than four bytes unchanged. Nothing happens when the source
// does not exist (false).
bool ScrambleFile(const std::string& source, const std::string& target);
bool UnscrambleFile(const std::string& source, const std::string& target);
void ScrambleBytes(std::string* bytes);
void UnscrambleBytes(std::string* bytes);
// Plain copy; nothing when the source does not exist (false).
bool CopyFile(const std::string& source, const std::string& target);

}  // namespace model
