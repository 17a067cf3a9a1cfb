// The builder's project list (data/multilev.ini and saved .mlv lists), the game names of resources
// and the engine's window-name field. Calls src/core only.
#include <cstdio>
#include <cstring>

#include "builder/builder.h"
#include "core/core.h"

namespace builder {

uint32_t ResourceHash(std::string_view path) {
  uint32_t h = 0;
  for (const char c : path) h = h * 31u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
  return h;
}

std::string ResourceName(std::string_view lowerAbsolutePath) {
  const size_t slash = lowerAbsolutePath.rfind('/');
  const std::string_view own = slash == std::string_view::npos ? lowerAbsolutePath : lowerAbsolutePath.substr(slash + 1);
  if (own == "null_.wav") return std::string(own);
  char name[16];
  std::snprintf(name, sizeof name, "%08X.dat", ResourceHash(lowerAbsolutePath));
  return name;
}

// ---------------------------------------------------------------------------------------------
// The list
// ---------------------------------------------------------------------------------------------

namespace {

std::string Absolute(std::string_view field, const std::string& workingFolder) {
  if (field.size() > kListFieldMax) return {};
  std::string path(field);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (path.rfind("./", 0) == 0) path = workingFolder + path.substr(2);
  return path;
}

std::string Stored(const std::string& path, const std::string& workingFolder) {
  if (!workingFolder.empty() && path.rfind(workingFolder, 0) == 0) return "./" + path.substr(workingFolder.size());
  return path;
}

}  // namespace

ListEntry DefaultEntry(const std::string& workingFolder) {
  ListEntry entry;
  entry.loading = workingFolder + "images/wait_.bmp";
  entry.loadComplete = workingFolder + "images/anykey_.bmp";
  entry.project = workingFolder + "projects/myprj/default_.prj";
  return entry;
}

ProjectList DefaultList(const std::string& workingFolder) {
  ProjectList list;
  list.fill(DefaultEntry(workingFolder));
  list[0].on = true;
  return list;
}

ProjectList ParseList(std::string_view text, const std::string& workingFolder) {
  ProjectList list;
  list.fill(DefaultEntry(workingFolder));
  size_t start = 0;
  std::string_view line;
  for (int p = 0; p < kListPositions && core::NextLine(text, &start, &line); ++p) {
    // A line needs at least its project field to mean anything; a shorter one keeps the default.
    std::string_view fields[5];
    int count = 0;
    size_t from = 0;
    while (count < 5) {
      const size_t bar = line.find('|', from);
      fields[count++] = line.substr(from, bar == std::string_view::npos ? std::string_view::npos : bar - from);
      if (bar == std::string_view::npos) break;
      from = bar + 1;
    }
    if (count < 3) continue;
    ListEntry& entry = list[static_cast<size_t>(p)];
    entry.loading = Absolute(fields[0], workingFolder);
    entry.loadComplete = Absolute(fields[1], workingFolder);
    entry.project = Absolute(fields[2], workingFolder);
    entry.on = count > 3 && fields[3] == "1";
    entry.cutScene = count > 4 ? Absolute(fields[4], workingFolder) : std::string();
  }
  return list;
}

std::string FormatList(const ProjectList& list, const std::string& workingFolder) {
  std::string text;
  for (const ListEntry& entry : list) {
    text += Stored(entry.loading, workingFolder) + "|" + Stored(entry.loadComplete, workingFolder) + "|" +
            Stored(entry.project, workingFolder) + "|" + (entry.on ? "1" : "0") + "|" +
            Stored(entry.cutScene, workingFolder) + "\r\n";
  }
  return text;
}

bool ReadList(const std::string& path, const std::string& workingFolder, ProjectList* list) {
  std::string text;
  if (!core::ReadFile(path, &text)) {
    *list = DefaultList(workingFolder);
    return false;
  }
  *list = ParseList(text, workingFolder);
  return true;
}

bool WriteList(const std::string& path, const ProjectList& list, const std::string& workingFolder) {
  const size_t slash = path.rfind('/');
  if (slash != std::string::npos) core::MakeFolders(path.substr(0, slash));
  return core::WriteFileAtomic(path, FormatList(list, workingFolder));
}

int LastPositionOn(const ProjectList& list) {
  for (int p = kListPositions; p >= 1; --p) {
    if (list[static_cast<size_t>(p - 1)].on) return p;
  }
  return 0;
}

std::string CurrentListPath(const std::string& workingFolder) { return workingFolder + "data/multilev.ini"; }

std::string SavedListPath(const std::string& workingFolder, const std::string& name) {
  return workingFolder + "multilev/" + name + ".mlv";
}

// ---------------------------------------------------------------------------------------------
// The window-name field
// ---------------------------------------------------------------------------------------------

// Built at run time, so the builder's own code never holds a second copy of the field for the
// patch to find.
std::string DefaultWindowNameField() { return WindowNameField(std::string("Zu-") + "Teal"); }

std::string WindowNameField(std::string_view title) {
  std::string field(title.substr(0, kTitleBytes));
  field.resize(kTitleBytes, ' ');
  return field;
}

int PatchWindowName(std::string* binary, std::string_view title) {
  const std::string from = DefaultWindowNameField();
  const std::string to = WindowNameField(title);
  int count = 0;
  for (size_t at = binary->find(from); at != std::string::npos; at = binary->find(from, at + kTitleBytes)) {
    binary->replace(at, kTitleBytes, to);
    ++count;
  }
  return count;
}

}  // namespace builder
