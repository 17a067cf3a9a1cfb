// The build of a finished game: projects compiled and rewritten into levels, their resources
// scrambled under game names, the engine copy with its window name, pictures, data files and the
// game list, assembled in a fresh folder and swapped in at the end. Calls src/model, src/brain and
// src/core.
//
// [SECTION] Files: finding, writing, the staging folder
// [SECTION] Resources: game names, placeholders, frames, meshes, textures, visuals
// [SECTION] Projects
// [SECTION] The build
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "brain/brain.h"
#include "builder/builder.h"
#include "core/core.h"
#include "model/model.h"

namespace builder {
namespace {

// ---------------------------------------------------------------------------------------------
// [SECTION] Files: finding, writing, the staging folder
// ---------------------------------------------------------------------------------------------

constexpr int kFieldAspect = 2;
constexpr int kFieldSound = 3;
constexpr int kFieldNetworkFlags = 47;
constexpr uint32_t kLocalNetworkFlags = 0xCC;  // flags that need no session
constexpr size_t kOwnNameMax = 255;

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string OwnName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool EndsWith(const std::string& text, std::string_view end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Game names are made from lower-cased paths, but the files are read by their real names: on a
// case-sensitive file system a path written with other capitals than the file's is matched in its
// folder without regard to case (the first such name in sorted order).
bool FindFile(const std::string& path, std::string* real) {
  if (path.empty()) return false;
  if (IsRegularFile(path)) {
    *real = path;
    return true;
  }
  const std::string folder = FolderOf(path);
  const std::string wanted = Lower(OwnName(path));
  std::vector<std::string> names;
  if (wanted.empty() || !core::ListFolder(folder.empty() ? "." : folder, &names)) return false;
  for (const std::string& name : names) {
    if (Lower(name) == wanted && IsRegularFile(folder + name)) {
      *real = folder + name;
      return true;
    }
  }
  return false;
}

// Files of the game folder are written straight, without a flush each: the folder only becomes
// the game once it is complete, by the swap at the end.
bool WriteWhole(const std::string& path, std::string_view bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

bool CopyInto(const std::string& source, const std::string& target, bool scramble) {
  std::string bytes;
  if (!core::ReadFile(source, &bytes)) return false;
  if (scramble) model::ScrambleBytes(&bytes);
  return WriteWhole(target, bytes);
}

// Removes what earlier builds that were cut off left beside the game folder.
void RemoveStaleFolders(const std::string& workingFolder) {
  std::vector<std::string> names;
  if (!core::ListFolder(workingFolder, &names)) return;
  for (const std::string& name : names) {
    if (name.rfind("vexelexe.build-", 0) == 0 || name.rfind("vexelexe.old-", 0) == 0) {
      std::error_code ignored;
      std::filesystem::remove_all(workingFolder + name, ignored);
    }
  }
}

// Puts the assembled folder in the game folder's place: exchanged in one step where the system
// can, so there is no moment without a game, then the old one is removed.
bool SwapIn(const std::string& staging, const std::string& game, std::string* reason) {
  const std::string from = staging.substr(0, staging.size() - 1);
  const std::string to = game.substr(0, game.size() - 1);
  std::error_code ignored;
  if (std::filesystem::exists(to, ignored)) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) {
      std::filesystem::remove_all(from, ignored);
      return true;
    }
    const std::string old = to + ".old-" + std::to_string(getpid());
    if (std::rename(to.c_str(), old.c_str()) != 0) {
      *reason = "cannot move the previous game " + to + " aside";
      return false;
    }
    if (std::rename(from.c_str(), to.c_str()) != 0) {
      std::rename(old.c_str(), to.c_str());
      *reason = "cannot move the new game into " + to;
      return false;
    }
    std::filesystem::remove_all(old, ignored);
    return true;
  }
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    *reason = "cannot move the new game into " + to;
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// [SECTION] Resources: game names, placeholders, frames, meshes, textures, visuals
// ---------------------------------------------------------------------------------------------

// Reads a path field as files store it: '\' as '/', "./" as the working folder.
std::string StoredToAbsolute(const std::string& field, const std::string& workingFolder) {
  std::string path = field;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (path.rfind("./", 0) == 0) path = workingFolder + path.substr(2);
  return path;
}

std::string FrameNumber(int n) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%03d", n);
  return digits;
}

class GameWriter {
 public:
  GameWriter(const BuildOptions& options, std::string folder, BuildReport* report)
      : options_(options), folder_(std::move(folder)), report_(report) {}

  // An element's resource (neither mesh nor visual): its game name, the file written once.
  std::string Resource(const std::string& path) {
    const std::string lower = Lower(path);
    if (const auto found = byPath_.find(lower); found != byPath_.end()) return found->second;
    const std::string name = FreeResourceName(lower);
    byPath_[lower] = name;
    std::string source;
    if (!FindFile(path, &source)) FindFile(Placeholder(path), &source);
    if (!source.empty()) Put(source, name, true);
    // The frame series: the path with its last three characters counting up from 002.
    if (path.size() >= 3 && name.size() >= 3) {
      for (int n = 2;; ++n) {
        std::string frame;
        if (!FindFile(path.substr(0, path.size() - 3) + FrameNumber(n), &frame)) break;
        Put(frame, name.substr(0, name.size() - 3) + FrameNumber(n), true);
      }
    }
    return name;
  }

  // A .x mesh under its own name, its textures, then its frames (NAME_002.x, ...).
  std::string Mesh(const std::string& path) {
    std::string source;
    if (!FindFile(path, &source)) FindFile(options_.workingFolder + "xvisuals/default_.x", &source);
    if (source.empty()) return Lower(OwnName(path));
    const std::string name = Lower(OwnName(source));
    if (!Claim(name, source)) return name;
    PutMesh(source, name);
    const std::string stem = source.substr(0, source.size() - 2);
    for (int n = 2;; ++n) {
      std::string frame;
      if (!FindFile(stem + "_" + FrameNumber(n) + ".x", &frame)) break;
      const std::string frameName = Lower(OwnName(frame));
      if (Claim(frameName, frame)) PutMesh(frame, frameName);
    }
    return name;
  }

  // A visual: its pictures and models under their game names, the text rewritten to name them.
  std::string Visual(const std::string& path) {
    const std::string lower = Lower(path);
    if (const auto found = byPath_.find(lower); found != byPath_.end()) return found->second;
    const std::string name = FreeResourceName(lower);
    byPath_[lower] = name;
    std::string source;
    std::string text;
    if (!FindFile(path, &source)) FindFile(options_.workingFolder + "visuals/default_.v3d", &source);
    if (!source.empty() && core::ReadFile(source, &text)) {
      const std::string rewritten = RewriteVisual(text, [this](const std::string& field) {
        if (field.empty() || field == "-") return field;
        return "./" + Resource(StoredToAbsolute(field, options_.workingFolder));
      });
      Write(name, rewritten);
    }
    return name;
  }

  // A picture of the chain under its own name, and the video beside it.
  void Picture(const std::string& path) {
    std::string source;
    if (!FindFile(path, &source)) return;
    const std::string name = OwnName(path);
    if (Claim(name, source)) Put(source, name, true);
    std::string video;
    if (path.size() > 4 && FindFile(path.substr(0, path.size() - 4) + ".avi", &video)) {
      const std::string videoName = OwnName(path.substr(0, path.size() - 4) + ".avi");
      if (Claim(videoName, video)) Put(video, videoName, false);
    }
  }

  bool Put(const std::string& source, const std::string& name, bool scramble) {
    if (!CopyInto(source, folder_ + name, scramble)) return Fail("cannot copy " + source + " into the game");
    return true;
  }
  bool Write(const std::string& name, std::string_view bytes) {
    if (!WriteWhole(folder_ + name, bytes)) return Fail("cannot write " + folder_ + name);
    return true;
  }
  const std::string& failure() const { return failure_; }

 private:
  bool Fail(const std::string& text) {
    if (failure_.empty()) failure_ = text;
    return false;
  }

  // The game name of a path not seen yet. Two different paths never share one: a path whose hash
  // is taken moves on to the next free hash.
  std::string FreeResourceName(const std::string& lower) {
    std::string name = ResourceName(lower);
    if (name.ends_with(".dat")) {
      for (uint32_t h = ResourceHash(lower); owners_.count(name) != 0; ++h) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08X.dat", h + 1);
        name = hex;
      }
    } else if (owners_.count(name) != 0) {
      return name;  // null_.wav: every project's silent sound is the same file
    }
    owners_[name] = lower;
    return name;
  }

  // Files kept under their own names can meet one of the same name from another folder: the
  // first one stays, the other is reported. True when `source` is to be written under `name`.
  bool Claim(const std::string& name, const std::string& source) {
    const auto found = owners_.find(name);
    if (found == owners_.end()) {
      owners_[name] = source;
      return true;
    }
    if (found->second != source && reported_.insert(name + "\n" + source).second) {
      report_->clashes.push_back({name, found->second, source});
      std::fprintf(stderr, "vexel build: '%s' from %s clashes with %s; the first one is kept\n", name.c_str(),
                   source.c_str(), found->second.c_str());
    }
    return false;
  }

  std::string Placeholder(const std::string& path) {
    const std::string own = OwnName(path);
    const size_t dot = own.rfind('.');
    return FolderOf(path) + "default_." + (dot == std::string::npos ? std::string() : Lower(own.substr(dot + 1)));
  }

  void PutMesh(const std::string& source, const std::string& name) {
    std::string bytes;
    if (!core::ReadFile(source, &bytes)) return;
    const std::string folder = FolderOf(source);
    for (const std::string& texture : MeshTextureNames(bytes)) {
      std::string file;
      if (!FindFile(folder + texture, &file) || !Claim(texture, file)) continue;
      Put(file, texture, true);
      const std::string pcxName = texture.substr(0, texture.size() - 3) + "pcx";
      std::string pcx;
      if (FindFile(folder + pcxName, &pcx) && Claim(pcxName, pcx)) Put(pcx, pcxName, false);
    }
    model::ScrambleBytes(&bytes);
    Write(name, bytes);
  }

  const BuildOptions& options_;
  std::string folder_;
  BuildReport* report_;
  std::map<std::string, std::string> byPath_;  // lower-cased path -> game name
  std::map<std::string, std::string> owners_;  // game name -> the path it was given to
  std::set<std::string> reported_;
  std::string failure_;
};

// ---------------------------------------------------------------------------------------------
// [SECTION] Projects
// ---------------------------------------------------------------------------------------------

void DeleteWorkingCopies(const model::Project& project) {
  for (const std::string& record : project.records) {
    const std::string copy = model::ElementField(record, 4);
    if (EndsWith(copy, ".bra")) std::remove(copy.c_str());
  }
}

bool UsesNetwork(const model::Project& project) {
  if (!project.sharedGlobals.empty()) return true;
  for (const std::string& record : project.records) {
    const uint32_t flags = static_cast<uint32_t>(std::strtol(model::ElementField(record, kFieldNetworkFlags).c_str(), nullptr, 10));
    if ((flags & ~kLocalNetworkFlags) != 0) return true;
  }
  return false;
}

// Loads and compiles one project; on success rewrites its resources and saves it as level NNN.
// False with the reason when it is left out of the game.
bool BuildLevel(const BuildOptions& options, model::ModelContext* context, core::Arena* arena, GameWriter* writer,
                const std::string& folder, int position, const std::string& path, bool* network, std::string* error) {
  if (!IsRegularFile(path)) {
    *error = "The project file " + path + " does not exist";
    return false;
  }
  model::Project project;
  if (!model::LoadProject(context, path, &project, error)) return false;

  // A project whose brains do not compile is left out; its error box says why.
  brain::CompilerState compiler;
  std::string firstError;
  compiler.showErrorBox = [&](const std::string& text) {
    if (firstError.empty()) firstError = text;
    if (options.brainErrorBox) options.brainErrorBox(text);
  };
  compiler.showValueBox = [](const std::string&) {};
  if (!brain::BeginCompilation(&compiler, arena)) {
    DeleteWorkingCopies(project);
    *error = "The brain compiler could not start";
    return false;
  }
  brain::CompileAllBrains(&compiler, project);
  if (compiler.brainErrorSeen) {
    DeleteWorkingCopies(project);
    *error = firstError;
    return false;
  }

  std::string name = OwnName(path);
  if (const size_t dot = name.rfind('.'); dot != std::string::npos) name.resize(dot);
  if (options.progress) options.progress("Compilation in progress... " + name);

  for (std::string& record : project.records) {
    for (const int field : {kFieldAspect, kFieldSound}) {
      const std::string value = model::ElementField(record, field);
      if (value.empty() || value == "-") continue;
      const std::string lower = Lower(value);
      std::string gameName;
      if (EndsWith(lower, ".x")) gameName = writer->Mesh(value);
      else if (EndsWith(lower, ".v3d")) gameName = writer->Visual(value);
      else gameName = writer->Resource(value);
      record = model::SetElementField(record, field, "./" + gameName);
    }
  }
  if (!project.backgroundPath.empty()) project.backgroundPath = "./" + writer->Resource(project.backgroundPath);

  const std::string level = folder + "level" + FrameNumber(position) + ".prj";
  const bool saved = model::SaveProject(context, project, level, error);
  DeleteWorkingCopies(project);
  if (!saved) return false;
  if (!model::ScrambleFile(level, level)) {
    *error = "cannot scramble " + level;
    return false;
  }
  std::string collision;
  if (FindFile(model::CollisionPath(path), &collision)) writer->Put(collision, OwnName(model::CollisionPath(level)), false);
  if (UsesNetwork(project)) *network = true;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// [SECTION] The build
// ---------------------------------------------------------------------------------------------

std::vector<std::string> MeshTextureNames(std::string_view mesh) {
  std::vector<std::string> names;
  for (size_t at = 0; at + 4 <= mesh.size(); ++at) {
    if (mesh[at] != '.') continue;
    const std::string extension = Lower(std::string(mesh.substr(at + 1, 3)));
    if (extension != "bmp" && extension != "ppm") continue;
    size_t start = at;
    while (start > 0 && mesh[start - 1] != '"' && mesh[start - 1] != '\0') --start;
    std::string name(mesh.substr(start, at + 4 - start));
    // A name read from a file can hold any path: only its last component is used, so nothing
    // outside the mesh folder is read and nothing outside the game folder is written.
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name = name.substr(slash + 1);
    if (name.size() > kOwnNameMax || name.size() <= 4 || name == ".." || name.find('\0') != std::string::npos) continue;
    bool seen = false;
    for (const std::string& other : names) seen = seen || other == name;
    if (!seen) names.push_back(name);
  }
  return names;
}

std::string RewriteVisual(std::string_view text, const std::function<std::string(const std::string&)>& rename) {
  std::string out;
  size_t start = 0;
  bool ended = false;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    const bool cr = !line.empty() && line.back() == '\r';
    if (cr) line.remove_suffix(1);
    if (line.empty()) ended = true;
    if (ended) {
      out.append(text.substr(start, next - start));
    } else {
      std::string rewritten(line);
      for (const int field : {2, 3, 30}) {
        const std::string value = model::ElementField(rewritten, field);
        if (!value.empty()) rewritten = model::SetElementField(rewritten, field, rename(value));
      }
      out += rewritten;
      out += text.substr(start + line.size(), next - start - line.size());
    }
    start = next;
  }
  return out;
}

bool BuildExecutable(const ProjectList& list, const BuildOptions& options, BuildReport* report) {
  const std::string& working = options.workingFolder;
  report->folder = working + "vexelexe/";
  report->title = WindowNameField(options.title);
  const int last = LastPositionOn(list);
  if (last == 0) {
    report->failure = "No project of the list is switched on";
    return false;
  }
  std::string engine;
  if (!core::ReadFile(options.engineFile, &engine)) {
    report->failure = "cannot read the engine " + options.engineFile;
    return false;
  }

  RemoveStaleFolders(working);
  const std::string folder = working + "vexelexe.build-" + std::to_string(getpid()) + "/";
  if (!core::MakeFolders(folder)) {
    report->failure = "cannot create " + folder;
    return false;
  }
  const auto abandon = [&](const std::string& why) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    report->failure = why;
    return false;
  };

  model::ModelContext context;
  context.workingFolder = working;
  context.dataFolder = options.dataFolder;
  context.temporaryFile = working + "temp.tmp";
  context.showNotices = false;
  std::vector<uint8_t> collisionMap(model::kCollisionMapBytes, 0);
  context.collisionMap = collisionMap.data();
  auto arena = std::make_unique<core::Arena>();
  if (!arena->Create()) return abandon("not enough memory for the brain compiler");

  GameWriter writer(options, folder, report);
  bool network = false;
  for (int p = 1; p <= last; ++p) {
    const ListEntry& entry = list[static_cast<size_t>(p - 1)];
    if (!entry.on) continue;
    std::string error;
    std::fill(collisionMap.begin(), collisionMap.end(), 0);
    if (BuildLevel(options, &context, arena.get(), &writer, folder, p, entry.project, &network, &error)) {
      report->levels.push_back({p, entry.project, "level" + FrameNumber(p) + ".prj"});
    } else {
      report->skipped.push_back({p, entry.project, error});
    }
    if (!writer.failure().empty()) return abandon(writer.failure());
    if (options.progress) options.progress(kNextProjectText);
  }
  if (report->levels.empty()) return abandon("No project of the list could be compiled");

  report->netmode = network;
  if (network && !writer.Write("netmode.ini", "\r\n")) return abandon(writer.failure());

  report->enginePatches = PatchWindowName(&engine, options.title);
  if (!writer.Write("vexelexe", engine) || chmod((folder + "vexelexe").c_str(), 0755) != 0) {
    return abandon("cannot write the engine copy");
  }

  // The engine's own files. Each play selects font8.fnt beside font.fnt, so it travels too.
  const std::string& data = options.dataFolder;
  std::vector<std::pair<std::string, std::string>> copies = {
      {data + "resume_.bmp", "resume_.bmp"}, {data + "end_.bmp", "end_.bmp"},     {data + "atan.bin", "atan.bin"},
      {data + "font.fnt", "font.fnt"},       {data + "font8.fnt", "font8.fnt"},   {data + "random.bin", "random.bin"},
      {data + "sinus.bin", "sinus.bin"},     {data + "sinusbig.bin", "sinusbig.bin"},
      {data + "panels2.pcx", "panels.pcx"},  {working + "config", "config"},      {working + "config.ini", "config.ini"},
  };
  for (int i = 0; i < 5; ++i) {
    for (const char kind : {'a', 'b'}) {
      const std::string hood = "hood" + std::to_string(i) + kind + ".x";
      copies.emplace_back(data + hood, hood);
    }
  }
  for (const auto& [source, name] : copies) {
    if (IsRegularFile(source) && !writer.Put(source, name, false)) return abandon(writer.failure());
  }
  if (IsRegularFile(working + "config")) chmod((folder + "config").c_str(), 0755);

  std::string gameList;
  for (const ListEntry& entry : list) {
    if (!entry.on) {
      gameList += "||\r\n";
      continue;
    }
    std::string cutScene = entry.cutScene;
    if (cutScene.rfind(working, 0) == 0) cutScene = "./" + cutScene.substr(working.size());
    gameList += OwnName(entry.loading) + "|" + OwnName(entry.loadComplete) + "|" + cutScene + "\r\n";
  }
  if (!writer.Write("multilev.ini", gameList)) return abandon(writer.failure());

  for (const ListEntry& entry : list) {
    if (!entry.on) continue;
    writer.Picture(entry.loading);
    writer.Picture(entry.loadComplete);
  }
  if (options.askScreenSaver && options.askScreenSaver() && IsRegularFile(data + "ssmod.bin")) {
    report->screenSaver = true;
    if (!writer.Put(data + "ssmod.bin", "vexelexe.scr", false)) return abandon(writer.failure());
  }
  if (!writer.failure().empty()) return abandon(writer.failure());

  std::string reason;
  if (!SwapIn(folder, report->folder, &reason)) return abandon(reason);
  return true;
}

std::string BuildReportJson(const BuildReport& report) {
  std::string out = "{\"folder\": " + core::JsonString(report.folder) + ", \"title\": " + core::JsonString(report.title);
  out += ", \"levels\": [";
  for (size_t i = 0; i < report.levels.size(); ++i) {
    const BuiltLevel& level = report.levels[i];
    out += std::string(i ? ", " : "") + "{\"position\": " + std::to_string(level.position) +
           ", \"project\": " + core::JsonString(level.project) + ", \"file\": " + core::JsonString(level.file) + "}";
  }
  out += "], \"skipped\": [";
  for (size_t i = 0; i < report.skipped.size(); ++i) {
    const SkippedLevel& level = report.skipped[i];
    out += std::string(i ? ", " : "") + "{\"position\": " + std::to_string(level.position) +
           ", \"project\": " + core::JsonString(level.project) + ", \"error\": " + core::JsonString(level.error) + "}";
  }
  out += std::string("], \"netmode\": ") + (report.netmode ? "true" : "false") + ", \"clashes\": [";
  for (size_t i = 0; i < report.clashes.size(); ++i) {
    const NameClash& clash = report.clashes[i];
    out += std::string(i ? ", " : "") + "{\"name\": " + core::JsonString(clash.name) +
           ", \"kept\": " + core::JsonString(clash.kept) + ", \"left_out\": " + core::JsonString(clash.leftOut) + "}";
  }
  out += "]}";
  return out;
}

}  // namespace builder
