// Project files: loading and saving a .prj with its brain sections and its .col companion, and the
// brains' working copies, from files or from memory. Calls core/files and the record functions of
// this folder.
//
// [SECTION] Text helpers
// [SECTION] Working copies
// [SECTION] Loading
// [SECTION] Saving
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/core.h"
#include "model/model.h"

namespace model {
namespace {

constexpr const char* kLoadingNotice = "Loading data, please wait...";
constexpr int kFieldBrain = 4;
constexpr int kFieldType = 36;
constexpr std::string_view kLineEnd = "\r\n";

// The settings block over row 254 of the collision map, little-endian words.
constexpr size_t kClipDistanceOffset = kSettingsBlockOffset;
constexpr size_t kBackgroundTopOffset = kSettingsBlockOffset + 4;
constexpr size_t kBackgroundBottomOffset = kSettingsBlockOffset + 8;
constexpr size_t kBackgroundStyleOffset = kSettingsBlockOffset + 12;
constexpr size_t kReservedOffset = kSettingsBlockOffset + 16;
constexpr size_t kFieldOfViewOffset = kSettingsBlockOffset + 20;
constexpr size_t kSettingsBlockEnd = kSettingsBlockOffset + 24;

// ---------------------------------------------------------------------------------------------
// [SECTION] Text helpers
// ---------------------------------------------------------------------------------------------

// Stored paths use '/' and start with "./" for the working folder; in memory they are absolute.
// A "./" that is the tail of "../" is a step up, not the working folder, and is left alone.
std::string ToAbsolute(std::string_view text, const std::string& workingFolder) {
  std::string slashed(text);
  for (char& c : slashed) {
    if (c == '\\') c = '/';
  }
  std::string out;
  out.reserve(slashed.size() + 2 * workingFolder.size());
  for (size_t i = 0; i < slashed.size(); ++i) {
    if (slashed[i] == '.' && i + 1 < slashed.size() && slashed[i + 1] == '/' && (i == 0 || slashed[i - 1] != '.')) {
      out += workingFolder;
      ++i;
      continue;
    }
    out.push_back(slashed[i]);
  }
  return out;
}

// The inverse of ToAbsolute. A working folder right after a '.' stays as it is: its "./" would read
// back as the tail of "../" (with the working folder /w/, "../w/x" would be written ".../x").
std::string ToRelative(std::string_view text, const std::string& workingFolder) {
  if (workingFolder.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  size_t at = 0;
  size_t from = 0;
  for (;;) {
    const size_t hit = text.find(workingFolder, from);
    if (hit == std::string_view::npos) break;
    if (hit > 0 && text[hit - 1] == '.') {
      from = hit + 1;
      continue;
    }
    out.append(text.substr(at, hit - at));
    out += "./";
    at = hit + workingFolder.size();
    from = at;
  }
  out.append(text.substr(at));
  return out;
}

// A line break inside a value would split one line of the file into two and shift what follows, so
// an LF or a CR becomes a blank.
void AppendLine(std::string* out, std::string_view text) {
  for (char c : text) out->push_back(c == '\n' || c == '\r' ? ' ' : c);
  out->append(kLineEnd);
}

int32_t ParseDecimal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > INT32_MAX) return 0;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

int32_t LoadInt32(const uint8_t* bytes, size_t at) {
  uint32_t word = 0;
  for (int i = 0; i < 4; ++i) word |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
  return static_cast<int32_t>(word);
}

void StoreInt32(uint8_t* bytes, size_t at, int32_t value) {
  const auto word = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(word >> (8 * i));
}

// ---------------------------------------------------------------------------------------------
// [SECTION] Working copies
// ---------------------------------------------------------------------------------------------

// Working copies are scratch files rewritten at every load, so they are written plainly: a project
// of 256 brains would otherwise wait for 256 flushes to the disk. A copy left by an earlier load is
// overwritten in place and then cut to length, never truncated first: some file systems write a
// truncated-and-rewritten file back at once, and removing and recreating it costs the inode
// allocator more; either makes a load ten times slower.
bool WriteScratch(const std::string& path, std::string_view data, std::string* reason) {
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "r+b");
  if (file == nullptr) file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    *reason = std::strerror(errno);
    return false;
  }
  errno = 0;
  bool written = data.empty() || std::fwrite(data.data(), 1, data.size(), file) == data.size();
  int error = written ? 0 : errno;
  if (std::fclose(file) != 0 && written) {
    written = false;
    error = errno;
  }
  if (!written) {
    *reason = std::strerror(error != 0 ? error : ENOSPC);
    return false;
  }
  std::error_code failure;
  const uintmax_t size = std::filesystem::file_size(path, failure);
  if (!failure && size != data.size()) std::filesystem::resize_file(path, data.size(), failure);
  if (failure) *reason = failure.message();
  return !failure;
}

// Brain files and working copies go through the context's in-memory store when it has one.
bool ReadBrainFile(const ModelContext& context, const std::string& path, std::string* body) {
  if (context.brainFiles == nullptr) return core::ReadFile(path, body);
  const auto found = context.brainFiles->find(path);
  if (found == context.brainFiles->end()) {
    body->clear();
    return false;
  }
  *body = found->second;
  return true;
}

bool WriteWorkingCopy(const ModelContext& context, const std::string& path, std::string_view body,
                      std::string* reason) {
  if (context.brainFiles == nullptr) return WriteScratch(path, body, reason);
  (*context.brainFiles)[path].assign(body);
  return true;
}

// The brain section starts at the first line that is exactly "@0". Block k is what follows the k-th
// "@" line up to and including the line end before the next line that begins with "@", or to the
// end of the file; blocks are taken in order, whatever number their "@" line carries. A block keeps
// its own line ends (CR LF, LF or CR), which the compiler and the save read alike.
class BrainSection {
 public:
  explicit BrainSection(std::string_view text) : text_(text) {
    // Only a line of its own counts: "@0" at the end of a header or record line is text.
    for (size_t hit = NextAtLine(0); hit != std::string_view::npos; hit = NextAtLine(hit + 1)) {
      std::string_view line;
      size_t after = hit;
      core::NextLine(text_, &after, &line);
      if (line == "@0") {
        at_ = after;
        break;
      }
    }
  }

  // The next block, empty once the blocks have run out.
  std::string_view Next() {
    if (at_ == std::string_view::npos || at_ >= text_.size()) {
      at_ = std::string_view::npos;
      return {};
    }
    const size_t next = NextAtLine(at_);
    const std::string_view block = text_.substr(at_, (next == std::string_view::npos ? text_.size() : next) - at_);
    at_ = next;
    if (next != std::string_view::npos) {
      std::string_view line;
      core::NextLine(text_, &at_, &line);  // past the "@" line
    }
    return block;
  }

 private:
  // Where the first line at or after `from` that begins with "@" starts. Brain text has no "@", so
  // the search runs through a block at memchr speed.
  size_t NextAtLine(size_t from) const {
    for (size_t hit = text_.find('@', from); hit != std::string_view::npos; hit = text_.find('@', hit + 1)) {
      if (hit == 0 || text_[hit - 1] == '\n' || text_[hit - 1] == '\r') return hit;
    }
    return std::string_view::npos;
  }

  std::string_view text_;
  size_t at_ = std::string_view::npos;
};

}  // namespace

std::string CollisionPath(const std::string& projectPath) {
  const size_t slash = projectPath.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = projectPath.rfind('.');
  // A name without an extension (or one that is all extension, ".prj") gets ".col" added.
  if (dot == std::string::npos || dot <= nameStart) return projectPath + ".col";
  return projectPath.substr(0, dot) + ".col";
}

bool StoredFilePath(const ModelContext& context, std::string_view field, std::string* file) {
  file->clear();
  if (field.empty() || field == "-") return false;
  // Records in memory hold absolute paths already; stored ones start with "./" or are relative.
  std::string path = field.front() == '/' ? std::string(field) : ToAbsolute(field, context.workingFolder);
  if (path.front() != '/') path = context.workingFolder + path;
  path = core::NormalisePath(path);
  const bool inside = core::PathInside(path, context.workingFolder) ||
                      (!context.dataFolder.empty() && core::PathInside(path, context.dataFolder));
  if (inside) *file = std::move(path);
  return inside;
}

std::string NewWorkingCopyPath(ModelContext* context) {
  char name[16];
  std::snprintf(name, sizeof name, "%08X.bra", static_cast<unsigned>(context->nextWorkingCopy++));
  return context->workingFolder + (context->finishedGame ? "" : "brains/") + name;
}

// ---------------------------------------------------------------------------------------------
// [SECTION] Loading
// ---------------------------------------------------------------------------------------------

namespace {

// A .col shorter than the map fills what it has and clears the rest; its settings count only when
// it reaches past the settings block.
void ParseCollision(std::string_view bytes, uint8_t* map, SceneSettings* settings) {
  const size_t length = std::min(bytes.size(), kCollisionMapBytes);
  if (length > 0) std::memcpy(map, bytes.data(), length);
  std::memset(map + length, 0, kCollisionMapBytes - length);
  if (length >= kSettingsBlockEnd) {
    settings->clipDistance = LoadInt32(map, kClipDistanceOffset);
    settings->backgroundTop = LoadInt32(map, kBackgroundTopOffset);
    settings->backgroundBottom = LoadInt32(map, kBackgroundBottomOffset);
    settings->backgroundStyle = LoadInt32(map, kBackgroundStyleOffset);
    settings->fieldOfView = LoadInt32(map, kFieldOfViewOffset);
  }
}

// The part of a .col that counts. False when the file is missing or unreadable.
bool ReadCollisionBytes(const std::string& collisionPath, std::string* bytes) {
  if (!core::FileExists(collisionPath)) return false;
  bytes->assign(kCollisionMapBytes, '\0');
  const long length = core::ReadFilePrefix(collisionPath, bytes->data(), bytes->size());
  if (length < 0) return false;
  bytes->resize(static_cast<size_t>(length));
  return true;
}

}  // namespace

bool ReadCollisionFile(const std::string& collisionPath, uint8_t* map, SceneSettings* settings) {
  std::string bytes;
  if (!ReadCollisionBytes(collisionPath, &bytes)) return false;
  ParseCollision(bytes, map, settings);
  return true;
}

bool LoadProject(ModelContext* context, const std::string& path, Project* project, std::string* error) {
  if (!core::FileExists(path)) {
    // A project that does not exist yet is a single camera looking at nothing.
    if (context->collisionMap != nullptr) std::memset(context->collisionMap, 0, kCollisionMapBytes);
    Project fresh;
    fresh.path = path;
    fresh.settings = project->settings;
    fresh.records.push_back("Camera|" + DefaultCameraRecord(context->workingFolder));
    fresh.currentElement = 0;
    *project = std::move(fresh);
    return true;
  }

  // One byte more than the project text buffer tells a file that fits from one that does not,
  // without reading all of a file that may be huge.
  std::string text(kProjectTextBytes + 1, '\0');
  const long length = core::ReadFilePrefix(path, text.data(), text.size());
  if (length < 0) {
    *error = "The project file " + path + " cannot be read";
    return false;
  }
  text.resize(static_cast<size_t>(length));
  std::string collision;
  const std::string collisionPath = CollisionPath(path);
  const bool hasCollision = collisionPath != path && ReadCollisionBytes(collisionPath, &collision);
  return ParseProject(context, path, text, hasCollision ? std::optional<std::string_view>(collision) : std::nullopt,
                      project, error);
}

bool ParseProject(ModelContext* context, const std::string& path, std::string_view text,
                  std::optional<std::string_view> collision, Project* project, std::string* error) {
  const std::string& workingFolder = context->workingFolder;
  if (text.size() > kProjectTextBytes) {
    *error = "The project file " + path + " is larger than " + std::to_string(kProjectTextBytes) +
             " bytes and cannot be loaded";
    return false;
  }
  std::vector<uint8_t> scratchMap;
  uint8_t* map = context->collisionMap;
  if (map == nullptr) {
    scratchMap.assign(kCollisionMapBytes, 0);
    map = scratchMap.data();
  }

  const bool showNotice = context->notice != nullptr && context->showNotices && !context->finishedGame;
  if (showNotice) context->notice(kLoadingNotice);

  // The settings block and the current element outlive a load that brings no .col.
  Project loaded;
  loaded.path = path;
  loaded.settings = project->settings;
  loaded.currentElement = project->currentElement;

  // Header lines, the count line (its number is not needed: the list ends by itself), the records,
  // then the line that ends them, which carries the settings.
  core::LineReader lines(text);
  std::string_view line;
  bool countSeen = false;
  int32_t elementLines = 0;
  while (lines.Next(&line)) {
    if (!countSeen) {
      if (!line.empty() && line.front() == ';') {
        loaded.header.assign(line.substr(1));
      } else {
        countSeen = true;
      }
      continue;
    }
    if (ElementField(line, kFieldType).empty()) {
      // A comment among the records is skipped; a record whose name starts with ';' is kept.
      if (!line.empty() && line.front() == ';') {
        loaded.header.assign(line.substr(1));
        continue;
      }
      // Without a settings line the brain section itself ends the records and has no settings.
      if (line != "@0") {
        const std::string settings = ToAbsolute(line, workingFolder);
        loaded.backgroundPath = ElementField(settings, 1);
        loaded.backgroundRepetitions = ParseDecimal(ElementField(settings, 2));
        if (loaded.backgroundRepetitions < 1) loaded.backgroundRepetitions = 1;
        loaded.sharedGlobals = ElementField(settings, 3);
      }
      break;
    }
    ++elementLines;
    if (loaded.LastIndex() + 1 >= kMaxElements) continue;
    InsertElement(&loaded, map, ToAbsolute(line, workingFolder), loaded.LastIndex() + 1);
  }
  if (elementLines > kMaxElements) {
    loaded.notices.push_back("The project has " + std::to_string(elementLines) + " elements; only the first " +
                             std::to_string(kMaxElements) + " were loaded");
  }

  // Every element gets a working copy of its own. Each element owns one block of the brain section,
  // in order; the text of the block becomes the copy when the record says the brain is stored in
  // the project ("-"), otherwise the copy is made from the brain file the record names. A missing
  // file or block gives an empty copy, so the compiler always finds the file the record names. A
  // copy that cannot be written fails the load: a save would otherwise find it missing and store
  // the brain empty.
  if (!loaded.records.empty() && !context->finishedGame && context->brainFiles == nullptr) {
    core::MakeFolders(workingFolder + "brains");
  }
  BrainSection section(text);
  std::vector<std::string> written;
  for (size_t i = 0; i < loaded.records.size(); ++i) {
    std::string& record = loaded.records[i];
    const std::string copyPath = NewWorkingCopyPath(context);
    const std::string source = ElementField(record, kFieldBrain);
    const std::string_view block = section.Next();
    std::string body;
    if (source == "-") {
      body.assign(block);
      if (context->finishedGame) ScrambleBytes(&body);
    } else if (std::string file; StoredFilePath(*context, source, &file)) {
      ReadBrainFile(*context, file, &body);
    } else if (!source.empty()) {
      loaded.notices.push_back("The brain file " + source + " of element " + std::to_string(i) +
                               " lies outside the working folder; it was treated as missing");
    }
    std::string reason;
    if (!WriteWorkingCopy(*context, copyPath, body, &reason)) {
      written.push_back(copyPath);  // a part of it may have been written
      if (context->brainFiles == nullptr) {
        for (const std::string& copy : written) std::remove(copy.c_str());
      }
      *error = "The brain working copy " + copyPath + " cannot be written (" + reason + "); the project " + path +
               " was not loaded";
      if (showNotice) context->notice(nullptr);
      return false;
    }
    written.push_back(copyPath);
    record = SetElementField(record, kFieldBrain, copyPath);
  }

  loaded.fog = Fog{};
  if (collision) ParseCollision(*collision, map, &loaded.settings);
  *project = std::move(loaded);
  if (showNotice) context->notice(nullptr);
  return true;
}

// ---------------------------------------------------------------------------------------------
// [SECTION] Saving
// ---------------------------------------------------------------------------------------------

namespace {

// Brain text goes out line by line, each line closed by CR LF, whatever ended it in the working copy
// (CR LF, LF or CR alone); a text that already ends its lines with CR LF is written byte for byte.
// A line that begins with "@" would read back as the start of the next element's block and move
// every later brain to the wrong element; brain source cannot contain "@", so such a line is
// already wrong, and a blank before it keeps it inside its own brain.
void AppendBrainText(std::string* out, std::string_view body) {
  // Most working copies already end every line with CR LF and start none with "@": they go out in
  // one piece. Finding that out costs a memchr per line and one counting pass.
  bool plain = body.empty() || body.front() != '@';
  size_t pairs = 0;
  for (size_t at = 0; plain && at < body.size();) {
    const auto* lf = static_cast<const char*>(std::memchr(body.data() + at, '\n', body.size() - at));
    if (lf == nullptr) break;
    const size_t lfAt = static_cast<size_t>(lf - body.data());
    plain = lfAt > 0 && body[lfAt - 1] == '\r' && (lfAt + 1 >= body.size() || body[lfAt + 1] != '@');
    ++pairs;
    at = lfAt + 1;
  }
  if (plain && static_cast<size_t>(std::count(body.begin(), body.end(), '\r')) == pairs) {
    out->append(body);
    if (!body.empty() && !body.ends_with(kLineEnd)) out->append(kLineEnd);
    return;
  }
  size_t at = 0;
  std::string_view line;
  while (core::NextLine(body, &at, &line)) {
    if (!line.empty() && line.front() == '@') out->push_back(' ');
    out->append(line);
    out->append(kLineEnd);
  }
}

// The two files of a save go in together or not at all. Both are written completely to temporary
// files beside their targets first; then the .col replaces its old file, then the .prj. Should the
// second rename fail, the old .col, kept under a temporary name by a hard link, is put back (or the
// new one removed when there was none), so a failure at any step leaves both old files as they were.
bool CommitBoth(const std::string& projectPath, std::string_view projectText, const std::string& collisionPath,
                std::string_view collisionBytes, std::string* error) {
  std::string reason;
  std::string collisionTemp;
  std::string projectTemp;
  if (!core::WriteTemporary(collisionPath, collisionBytes, &collisionTemp, &reason)) {
    *error = "Cannot write " + collisionPath + " (" + reason + "); the project was not saved";
    return false;
  }
  if (!core::WriteTemporary(projectPath, projectText, &projectTemp, &reason)) {
    std::remove(collisionTemp.c_str());
    *error = "Cannot write " + projectPath + " (" + reason + "); the project was not saved";
    return false;
  }
  const bool hadCollision = core::FileExists(collisionPath);
  const std::string keptCollision = core::TemporaryPathFor(collisionPath);
  if (hadCollision && link(collisionPath.c_str(), keptCollision.c_str()) != 0) {
    std::remove(collisionTemp.c_str());
    std::remove(projectTemp.c_str());
    *error = "Cannot keep the old " + collisionPath + " aside (" + std::strerror(errno) + "); the project was not saved";
    return false;
  }
  if (!core::ReplaceFile(collisionTemp, collisionPath, &reason)) {
    std::remove(collisionTemp.c_str());
    std::remove(projectTemp.c_str());
    if (hadCollision) std::remove(keptCollision.c_str());
    *error = "Cannot replace " + collisionPath + " (" + reason + "); the project was not saved";
    return false;
  }
  if (!core::ReplaceFile(projectTemp, projectPath, &reason)) {
    std::remove(projectTemp.c_str());
    std::string ignored;
    if (hadCollision) core::ReplaceFile(keptCollision, collisionPath, &ignored);
    else std::remove(collisionPath.c_str());
    *error = "Cannot replace " + projectPath + " (" + reason + "); the project was not saved";
    return false;
  }
  if (hadCollision) std::remove(keptCollision.c_str());
  return true;
}

}  // namespace

bool ProjectText(const ModelContext* context, const Project& project, std::string* text, std::string* error) {
  const std::string& workingFolder = context->workingFolder;
  text->clear();
  text->reserve(256 * 1024);
  text->push_back(';');
  AppendLine(text, project.header);
  AppendLine(text, std::to_string(project.records.size()));
  for (const std::string& record : project.records) {
    std::string stored = SetElementField(ToRelative(record, workingFolder), kFieldBrain, "-");
    // An empty type field ends the element list on reading and would drop every later element.
    if (ElementField(stored, kFieldType).empty()) stored = SetElementField(stored, kFieldType, "0");
    AppendLine(text, stored);
  }
  AppendLine(text, ToRelative(project.backgroundPath + "|" + std::to_string(project.backgroundRepetitions) + "|" +
                                  project.sharedGlobals,
                              workingFolder));

  std::string body;
  for (size_t i = 0; i < project.records.size(); ++i) {
    *text += "@" + std::to_string(i);
    text->append(kLineEnd);
    // A working copy that has gone would be saved as an empty brain: the save stops instead.
    const std::string copyPath = ElementField(project.records[i], kFieldBrain);
    if (copyPath == "-" || copyPath.empty()) {
      body.clear();
    } else if (!ReadBrainFile(*context, copyPath, &body)) {
      *error = "The brain of element " + std::to_string(i) + " cannot be read from its working copy " + copyPath +
               "; the project was not saved";
      return false;
    }
    if (context->finishedGame) UnscrambleBytes(&body);
    AppendBrainText(text, body);
  }
  // A larger file could not be loaded again; keeping the old one loses only this save.
  if (text->size() > kProjectTextBytes) {
    *error = "The project would take " + std::to_string(text->size()) + " bytes, more than the " +
             std::to_string(kProjectTextBytes) + " a project may have; it was not saved";
    return false;
  }
  return true;
}

std::string CollisionBytes(const ModelContext* context, const Project& project) {
  std::string collision(kCollisionMapBytes, '\0');
  if (context->collisionMap != nullptr) std::memcpy(collision.data(), context->collisionMap, kCollisionMapBytes);
  auto* bytes = reinterpret_cast<uint8_t*>(collision.data());
  // Channels between elements that no longer exist are dropped, so a later insertion starts clean.
  const int first = project.LastIndex() + 1;
  for (int i = first; i < kMaxElements; ++i) {
    std::memset(bytes + static_cast<size_t>(i) * kMaxElements + first, 0, static_cast<size_t>(kMaxElements - first));
  }
  StoreInt32(bytes, kClipDistanceOffset, project.settings.clipDistance);
  StoreInt32(bytes, kBackgroundTopOffset, project.settings.backgroundTop);
  StoreInt32(bytes, kBackgroundBottomOffset, project.settings.backgroundBottom);
  StoreInt32(bytes, kBackgroundStyleOffset, project.settings.backgroundStyle);
  StoreInt32(bytes, kReservedOffset, 0);
  StoreInt32(bytes, kFieldOfViewOffset, project.settings.fieldOfView);
  return collision;
}

bool SaveProject(ModelContext* context, const Project& project, const std::string& path, std::string* error) {
  const std::string collisionPath = CollisionPath(path);
  if (core::NormalisePath(collisionPath) == core::NormalisePath(path)) {
    *error = "The project " + path + " cannot be saved under the name of its own collision file";
    return false;
  }
  std::string text;
  if (!ProjectText(context, project, &text, error)) return false;
  return CommitBoth(path, text, collisionPath, CollisionBytes(context, project), error);
}

}  // namespace model
