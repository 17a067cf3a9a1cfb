// The vexel project and file commands: project show, project resave, scramble, unscramble. Calls
// the project model and core/files.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "core/core.h"
#include "model/model.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kProjectUsage =
    "usage: vexel project show FILE\n"
    "       vexel project resave IN OUT\n"
    "       vexel project records FILE\n";

// A project command works on the current folder as the engine works on its working folder, with a
// collision map of its own instead of the engine's memory.
struct CommandModel {
  model::ModelContext context;
  std::vector<uint8_t> map = std::vector<uint8_t>(model::kCollisionMapBytes, 0);
  bool brainsFolderExisted = false;
};

// Working copies are numbered from 1 in every process, so an engine working in the same folder may
// be using the low numbers right now; the command starts above every copy already there.
uint32_t FirstFreeWorkingCopy(const std::string& brainsFolder) {
  uint32_t highest = 0;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(brainsFolder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() != 12 || name.compare(8, 4, ".bra") != 0) continue;
    uint32_t number = 0;
    bool hex = true;
    for (int i = 0; i < 8 && hex; ++i) {
      const char c = name[i];
      const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      hex = digit >= 0;
      number = number * 16 + static_cast<uint32_t>(digit);
    }
    if (hex) highest = std::max(highest, number);
  }
  return highest + 1;
}

bool OpenModel(CommandModel* command) {
  std::error_code error;
  std::string folder = fs::current_path(error).string();
  if (error) {
    std::fprintf(stderr, "vexel: cannot determine the current folder\n");
    return false;
  }
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  command->context.workingFolder = folder;
  core::RemoveLeftoverTemporaries(folder);
  command->context.temporaryFile = folder + "temp.tmp";
  command->context.showNotices = false;
  command->context.collisionMap = command->map.data();
  command->brainsFolderExisted = fs::is_directory(folder + "brains", error);
  command->context.nextWorkingCopy = FirstFreeWorkingCopy(folder + "brains");
  return true;
}

// The working copies belong to this run only; they and a brains folder made for them go again.
void RemoveWorkingCopies(const CommandModel& command, const model::Project& project) {
  for (const std::string& record : project.records) {
    const std::string copy = model::ElementField(record, 4);
    if (copy.size() > 4 && copy.compare(copy.size() - 4, 4, ".bra") == 0) std::remove(copy.c_str());
  }
  // rmdir removes only an empty folder, never a file that has the folder's name.
  if (!command.brainsFolderExisted) rmdir((command.context.workingFolder + "brains").c_str());
}

bool Load(CommandModel* command, const std::string& path, model::Project* project) {
  if (!core::FileExists(path)) {
    std::fprintf(stderr, "vexel: %s: no such project file\n", path.c_str());
    return false;
  }
  std::string error;
  if (!model::LoadProject(&command->context, path, project, &error)) {
    std::fprintf(stderr, "vexel: %s\n", error.c_str());
    RemoveWorkingCopies(*command, model::Project{});  // a failed load took its copies back
    return false;
  }
  for (const std::string& notice : project->notices) std::fprintf(stderr, "vexel: warning: %s\n", notice.c_str());
  return true;
}

std::string Relative(const std::string& path, const std::string& workingFolder) {
  if (path.compare(0, workingFolder.size(), workingFolder) == 0) return "./" + path.substr(workingFolder.size());
  return path;
}

std::string BrainSummary(const std::string& copyPath) {
  std::string text;
  core::ReadFile(copyPath, &text);
  if (text.empty()) return "empty";
  size_t lines = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++lines;
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) ++lines;
  return std::to_string(lines) + (lines == 1 ? " line" : " lines");
}

void PrintTable(const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()), 0);
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line.append(widths[c] - row[c].size() + 2, ' ');
    }
    std::printf("%s\n", line.c_str());
  }
}

int Show(const std::string& path) {
  CommandModel command;
  if (!OpenModel(&command)) return 1;
  model::Project project;
  if (!Load(&command, path, &project)) return 1;
  const std::string& folder = command.context.workingFolder;
  std::printf("header: %s\n", project.header.c_str());
  std::printf("elements: %zu\n", project.records.size());
  std::printf("background: %s (repetitions %d)\n", Relative(project.backgroundPath, folder).c_str(),
              project.backgroundRepetitions);
  std::printf("shared globals: %s\n\n", project.sharedGlobals.c_str());
  std::vector<std::vector<std::string>> rows = {{"index", "name", "type", "aspect", "sound", "brain"}};
  for (size_t i = 0; i < project.records.size(); ++i) {
    const std::string& record = project.records[i];
    const std::string typeText = model::ElementField(record, 36);
    const int32_t type = std::atoi(typeText.c_str());
    std::string typeName = model::ElementTypeName(type);
    if (typeName.empty()) typeName = "type " + typeText;
    rows.push_back({std::to_string(i), model::ElementField(record, 1), typeName,
                    Relative(model::ElementField(record, 2), folder), Relative(model::ElementField(record, 3), folder),
                    BrainSummary(model::ElementField(record, 4))});
  }
  PrintTable(rows);
  RemoveWorkingCopies(command, project);
  return 0;
}

int Resave(const std::string& in, const std::string& out) {
  CommandModel command;
  if (!OpenModel(&command)) return 1;
  model::Project project;
  if (!Load(&command, in, &project)) return 1;
  std::string error;
  const bool saved = model::SaveProject(&command.context, project, out, &error);
  RemoveWorkingCopies(command, project);
  if (!saved) {
    std::fprintf(stderr, "vexel: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

// The state records a play would start from (ranges off, 640 x 480), one block per element: the
// named words, then every other non-zero word by number.
int Records(const std::string& path) {
  CommandModel command;
  if (!OpenModel(&command)) return 1;
  model::Project project;
  if (!Load(&command, path, &project)) return 1;
  std::vector<int32_t> records(static_cast<size_t>(model::kMaxElements) * model::kRecordWords, 0);
  model::ConversionOptions options;
  options.recordsAddress = core::Arena::kGuestBase + core::Describe(core::Region::kElementRecords).offset;
  std::vector<model::ElementSetup> setups;
  const bool converted = model::FillStateRecords(&project, options, records.data(), &setups);
  RemoveWorkingCopies(command, project);
  if (!converted) {
    std::fprintf(stderr, "vexel: %s: the records could not be converted\n", path.c_str());
    return 1;
  }
  for (size_t i = 0; i < project.records.size(); ++i) {
    std::printf("element %zu '%s'\n", i, model::ElementField(project.records[i], 1).c_str());
    const int32_t* words = records.data() + i * model::kRecordWords;
    for (int w = 0; w < model::kRecordWords; ++w) {
      if (const char* name = model::WordName(w)) {
        std::printf("  %-18s %d\n", name, words[w]);
      } else if (words[w] != 0) {
        std::printf("  word %-13d %d\n", w, words[w]);
      }
    }
  }
  return 0;
}

}  // namespace

int ProjectCommand(int argc, const char* const* argv) {
  if (argc == 2 && std::strcmp(argv[0], "show") == 0) return Show(argv[1]);
  if (argc == 3 && std::strcmp(argv[0], "resave") == 0) return Resave(argv[1], argv[2]);
  if (argc == 2 && std::strcmp(argv[0], "records") == 0) return Records(argv[1]);
  std::fprintf(stderr, "%s", kProjectUsage);
  return 2;
}

int ScrambleCommand(int argc, const char* const* argv, bool scramble) {
  const char* name = scramble ? "scramble" : "unscramble";
  if (argc != 2) {
    std::fprintf(stderr, "usage: vexel %s IN OUT\n", name);
    return 2;
  }
  if (!core::FileExists(argv[0])) {
    std::fprintf(stderr, "vexel: %s: no such file\n", argv[0]);
    return 1;
  }
  const bool written = scramble ? model::ScrambleFile(argv[0], argv[1]) : model::UnscrambleFile(argv[0], argv[1]);
  if (!written) {
    std::fprintf(stderr, "vexel: %s: cannot %s into %s\n", argv[0], name, argv[1]);
    return 1;
  }
  return 0;
}

}  // namespace cli
