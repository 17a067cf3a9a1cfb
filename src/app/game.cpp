// A finished game: one project of the chain played from its scrambled file, the chain of
// sub-projects that exit targets lead through, and the chain's pictures and waits (loading,
// load complete, resume and end pictures, the cut-scene call site).
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "engine/engine.h"

namespace app {
namespace {

constexpr int kEditorDisplayLine = 15;  // vexel.ini: the display flag a finished game sets
// A list field longer than this is no file name: the position has no picture.
constexpr size_t kPictureNameMax = 1024;

// The component values 0..255 as a pixel of the surface's format.
uint32_t SurfacePixel(const engine::PixelFormat& format, uint8_t red, uint8_t green, uint8_t blue) {
  if (format.bitsPerPixel == 32) return (uint32_t{red} << 16) | (uint32_t{green} << 8) | blue;
  const auto place = [](uint8_t value, uint32_t mask) -> uint32_t {
    const int shift = engine::MaskShift(mask);
    const uint32_t top = mask >> shift;  // the component's largest value
    return ((value * top + 127) / 255 << shift) & mask;
  };
  return place(red, format.redMask) | place(green, format.greenMask) | place(blue, format.blueMask);
}

// Field `field` (from 1) of a '|'-separated line, or "" when the line has fewer fields.
std::string_view Field(std::string_view line, int field) {
  for (int i = 1; i < field; ++i) {
    const size_t bar = line.find('|');
    if (bar == std::string_view::npos) return std::string_view();
    line.remove_prefix(bar + 1);
  }
  return line.substr(0, line.find('|'));
}

// A picture's path from a list field: '\' read as '/', a leading "./" dropped, the working folder
// before it; "" for an empty or over-long field.
std::string PicturePath(const std::string& workingFolder, std::string_view field) {
  if (field.empty() || field.size() > kPictureNameMax) return std::string();
  std::string name(field);
  std::replace(name.begin(), name.end(), '\\', '/');
  if (name.rfind("./", 0) == 0) name.erase(0, 2);
  return name.empty() ? name : workingFolder + name;
}

bool IsBlackPicture(const std::string& path) {
  std::string name = path.substr(path.rfind('/') + 1);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name == "black_.bmp";
}

}  // namespace

void StretchPicture(const engine::Picture& picture, const engine::Surface& surface) {
  if (!surface.Usable() || picture.width <= 0 || picture.height <= 0) return;
  const bool wide = surface.format.bitsPerPixel == 32;
  std::vector<int32_t> columns(static_cast<size_t>(surface.width));
  for (int x = 0; x < surface.width; ++x) {
    columns[static_cast<size_t>(x)] = static_cast<int32_t>(int64_t{x} * picture.width / surface.width);
  }
  for (int y = 0; y < surface.height; ++y) {
    const auto source = static_cast<int32_t>(int64_t{y} * picture.height / surface.height);
    uint8_t* row = surface.Row(y);
    for (int x = 0; x < surface.width; ++x) {
      const uint8_t* p = picture.Pixel(columns[static_cast<size_t>(x)], source);
      const uint32_t pixel = SurfacePixel(surface.format, p[0], p[1], p[2]);
      if (wide) {
        std::memcpy(row + static_cast<size_t>(x) * 4, &pixel, 4);
      } else {
        const auto narrow = static_cast<uint16_t>(pixel);
        std::memcpy(row + static_cast<size_t>(x) * 2, &narrow, 2);
      }
    }
  }
}

namespace {

void ClearBackSurface(Engine& engine) {
  const engine::Surface back = engine.display.Back();
  if (!back.Usable()) return;
  for (int y = 0; y < back.height; ++y) std::memset(back.Row(y), 0, static_cast<size_t>(back.format.pitch));
}

}  // namespace

void ClearScreen(Engine& engine) {
  ClearBackSurface(engine);
  ShowBackSurface(engine);
}

bool ShowChainPicture(Engine& engine, const std::string& path, bool scrambled) {
  std::string bytes;
  engine::Picture picture;
  std::string error;
  bool decoded = false;
  if (!path.empty() && core::ReadFile(path, &bytes)) {
    // The pictures of a game are stored scrambled, the end picture as it is; a picture stored the
    // other way is still shown rather than taken for missing.
    std::string other = bytes;
    if (scrambled) model::UnscrambleBytes(&bytes);
    else model::UnscrambleBytes(&other);
    decoded = engine::DecodeBmp(bytes, &picture, &error) || engine::DecodeBmp(other, &picture, &error);
  }
  if (!decoded) {
    ClearScreen(engine);
    return false;
  }
  StretchPicture(picture, engine.display.Back());
  ShowBackSurface(engine);
  if (engine.platform.IsHeadless()) {
    std::fprintf(stderr, "[picture] %s %dx%d\n", path.substr(path.rfind('/') + 1).c_str(), picture.width,
                 picture.height);
  }
  return true;
}

void WaitForAnyInput(Engine& engine) {
  // A headless run whose script has nothing left to press would wait for ever: it goes on at once.
  const auto pass = [&engine] {
    if (platform::StopSignal() != 0 || !engine.platform.window->InputMayArrive()) return false;
    if (!engine.platform.clock().IsVirtual()) platform::Clock::Sleep(platform::Clock::kUnitsPerSecond / 30);
    PumpInput(engine);
    return true;
  };
  PumpInput(engine);
  while (AnyInputHeld(engine)) {
    if (!pass()) return;
  }
  while (!AnyInputHeld(engine)) {
    if (!pass()) return;
  }
}

bool ReadChainPictures(const std::string& workingFolder, int32_t number, std::string* loading,
                       std::string* loadComplete) {
  loading->clear();
  loadComplete->clear();
  std::string text;
  if (number < 1 || !core::ReadFile(workingFolder + "multilev.ini", &text)) return false;
  size_t at = 0;
  std::string_view line;
  for (int32_t n = 1; core::NextLine(text, &at, &line); ++n) {
    if (n < number) continue;
    *loading = PicturePath(workingFolder, Field(line, 1));
    *loadComplete = PicturePath(workingFolder, Field(line, 2));
    return true;
  }
  return false;
}

void ShowLoadCompletePicture(Engine& engine) {
  const std::string picture = std::move(engine.loadCompletePicture);
  engine.loadCompletePicture.clear();
  if (picture.empty() || IsBlackPicture(picture)) {
    // The play draws its frames over the back surface, which must not keep the loading picture.
    ClearBackSurface(engine);
    return;
  }
  ShowChainPicture(engine, picture, true);
  WaitForAnyInput(engine);
  ClearScreen(engine);
}

void DeleteWorkingCopies(const std::string& folder) {
  std::vector<std::string> names;
  if (!core::ListFolder(folder, &names)) return;
  for (const std::string& name : names) {
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".bra") == 0) std::remove((folder + name).c_str());
  }
}

std::string SubProjectPath(const std::string& workingFolder, int32_t number) {
  char name[32];
  std::snprintf(name, sizeof name, "level%03d.prj", number);
  return workingFolder + name;
}

void SetUpGameRunner(Engine& engine) {
  engine.paths.data = engine.paths.working;
  engine.model.dataFolder = engine.paths.data;
  engine.gamePlay = true;
  engine.playerRun = true;
  engine.model.finishedGame = true;
}

void ReadGameGlobals(Engine& engine) {
  auto* globals = engine.arena.As<int32_t>(core::Region::kGlobals);
  std::fill_n(globals, model::kGlobalCount, 0);
  std::string saved;
  if (core::ReadFile(engine.paths.working + "globvars.dat", &saved)) {
    std::memcpy(globals, saved.data(), std::min(saved.size(), model::kGlobalsBytes));
  }
}

bool LoadSubProject(Engine& engine, const std::string& path, std::string* error) {
  // The project is stored scrambled: it is loaded from a clear copy that lives only for the load.
  const bool copied = model::UnscrambleFile(path, engine.paths.temporary);
  const bool loaded = copied && model::LoadProject(&engine.model, engine.paths.temporary, &engine.project, error);
  std::remove(engine.paths.temporary.c_str());
  if (!loaded) {
    if (!copied) *error = "The sub-project " + path + " cannot be read";
    return false;
  }
  engine.project.path = path;
  // The collision map comes from the .col beside the scrambled file; without one, no pair collides
  // (the previous sub-project's map must not carry over).
  uint8_t* map = engine.arena.Host(core::Region::kCollisionMap);
  if (!model::ReadCollisionFile(model::CollisionPath(path), map, &engine.project.settings)) {
    std::fill_n(map, model::kCollisionMapBytes, 0);
  }
  return true;
}

int32_t RunProject(Engine& engine, const std::string& path) {
  FlushInput(engine);
  ReadGameGlobals(engine);

  // The loading picture (resume_.bmp for a resumed game, which has no load-complete wait), or the
  // cut-scene video named like it; the load-complete picture comes once the brains are compiled.
  std::string loading;
  engine.loadCompletePicture.clear();
  if (engine.resume.pending) {
    loading = engine.paths.working + "resume_.bmp";
  } else {
    ReadChainPictures(engine.paths.working, engine.subProject, &loading, &engine.loadCompletePicture);
  }
  const std::string video = loading.size() > 4 ? loading.substr(0, loading.size() - 4) + ".avi" : std::string();
  bool played = false;
  if (!video.empty() && core::FileExists(video)) {
    ClearScreen(engine);
    played = PlayCutScene(engine, video);
  }
  // A video that cannot be played leaves the picture to stand in for it.
  if (!played) ShowChainPicture(engine, loading, true);  // clears the screen when there is none

  std::string error;
  if (!LoadSubProject(engine, path, &error)) {
    ShowProgramBox(engine, error, {" OK "});
    return kExitSystem;
  }

  const int32_t target = PlayProject(engine);

  const std::string globalsPath = engine.paths.working + "globvars.dat";
  const std::string_view bytes(reinterpret_cast<const char*>(engine.arena.As<int32_t>(core::Region::kGlobals)),
                               model::kGlobalsBytes);
  if (!core::WriteFileAtomic(globalsPath, bytes)) std::fprintf(stderr, "main: cannot write %s\n", globalsPath.c_str());
  FlushInput(engine);
  return target;
}

bool RestoreResumedGame(Engine& engine) {
  engine.resume.pending = false;
  const std::string bytes = std::move(engine.resume.bytes);
  engine.resume.bytes.clear();
  model::SavedGame game;
  if (!model::ParseSavedGame(bytes, &game)) {
    std::fprintf(stderr, "main: the saved game to resume is not whole; the sub-project starts afresh\n");
    return false;
  }
  model::RestoreSavedGame(game, engine.arena.As<int32_t>(core::Region::kElementRecords),
                          engine.arena.As<int32_t>(core::Region::kGlobals));
  engine.listener = game.listener;
  if (engine.play) engine.play->brains.tickCounter = kResumedTickCounter;
  return true;
}

void RunGame(Engine& engine) {
  engine.subProject = -1;
  // The editor state of a finished game lives beside it; its display flag is set for the run and
  // the state written back when the game ends.
  model::ReadEditorState(engine.paths.working, engine.paths.working, &engine.editorState);
  engine.editorState.SetNumber(kEditorDisplayLine, 1);
  int32_t target = 1;
  for (;;) {
    if (platform::StopSignal() != 0) break;
    const std::string path = SubProjectPath(engine.paths.working, target);
    if (!core::FileExists(path)) {
      if (target >= 1) {
        char number[16];
        std::snprintf(number, sizeof number, "%03d", target);
        ShowProgramBox(engine, std::string("Sub-project ") + number + " not found, error!", {" OK "});
      }
      break;
    }
    engine.subProject = target;
    target = RunProject(engine, path);
    if (target == state::kExitResume) {
      // The saved game names the sub-project to play; it is restored once that one is compiled.
      // The resume request read and checked the file; those bytes are the ones restored.
      const std::string saved = model::SavedGamePath(engine.paths.working, engine.saveSlot);
      std::string bytes = std::move(engine.resume.bytes);
      model::SavedGame game;
      if (bytes.empty() && !core::ReadFile(saved, &bytes)) bytes.clear();
      if (!model::CheckSavedGame(bytes, engine.paths.working, &game)) {
        std::fprintf(stderr, "main: %s is not a whole saved game; the game ends\n", saved.c_str());
        break;
      }
      target = game.subProject;
      engine.resume = {true, std::move(bytes)};
    } else if (target < 0) {
      break;  // the end of the game, a run-time error
    }
    // Every play with steps left takes at least one, so a chain that never ends by itself (a level
    // that sends the game back to itself) still ends with the run's step limit.
    if (RunStepsLeft(engine) == 0) break;
  }
  engine.resume = {};
  if (!model::WriteEditorState(engine.paths.working, engine.editorState)) {
    std::fprintf(stderr, "main: cannot write the editor state in %s\n", engine.paths.working.c_str());
  }
  // A stop signal ends the program without the end picture: it is on its way out. So does the
  // run's step limit (--ticks), which cuts the game off rather than ending it, and leaves its last
  // frame as the last one presented.
  if (target != kExitSystem && platform::StopSignal() == 0 && RunStepsLeft(engine) != 0) {
    ShowChainPicture(engine, engine.paths.data + "end_.bmp", false);
    WaitForAnyInput(engine);
  }
}

}  // namespace app
