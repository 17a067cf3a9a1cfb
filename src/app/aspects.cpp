// Play start: the aspects of the elements, in element order, for the kinds loaded so far: visuals
// get one aspect slot per frame with their collision faces, their built frames and their box; .x
// elements get the box of their box file; boundary elements get their ground map, rebuilt first
// in test plays when its .3ds source changed.
#include <climits>
#include <cmath>
#include <cstdio>

#include "app/app.h"

namespace app {
namespace {

constexpr int kFieldAspect = 2;
constexpr int kFieldFrames = 38;
constexpr int kFieldReverse = 34;
constexpr int kFieldType = 36;

void SetBox(int32_t* words, const int32_t max[3], const int32_t min[3]) {
  for (int axis = 0; axis < 3; ++axis) {
    words[model::kWordExtent0 + axis] = max[axis];
    words[model::kWordExtent3 + axis] = min[axis];
  }
}

// The file an aspect field names, or empty (the kind's default is read) when it leaves the
// working folder, which is said once.
std::string AspectFile(const Engine& engine, const std::string& record, int32_t element) {
  const std::string field = model::ElementField(record, kFieldAspect);
  std::string path;
  if (!model::StoredFilePath(engine.model, field, &path) && !field.empty()) {
    std::fprintf(stderr, "main: the aspect %s of element %d lies outside the working folder; it was treated as missing\n",
                 field.c_str(), element);
  }
  return path;
}

void LoadVisual(Engine& engine, int32_t element, std::string* record, int32_t* words) {
  Play& play = *engine.play;
  const std::string& root = engine.paths.working;
  const engine::LoadedVisual& visual = play.visuals->Load(AspectFile(engine, *record, element), root);
  uint32_t first = 0;
  for (int32_t frame = 1; frame <= visual.file.frames; ++frame) {
    uint32_t address = 0;
    int32_t* slot = play.aspects.NextSlot(&address);
    if (slot == nullptr) {
      std::fprintf(stderr, "main: no aspect slot is left for element %d\n", element);
      break;
    }
    if (frame == 1) first = address;
    play.aspects.LoadVisualAspect(visual.file, slot, element, frame, 0, root);
  }
  words[model::kWordFirstAspect] = static_cast<int32_t>(first);
  words[model::kWordCurrentAspect] = static_cast<int32_t>(first);
  words[model::kWordLastFrame] = visual.file.frames;
  std::string frames = model::ElementField(*record, kFieldFrames);
  frames = model::SetElementField(frames, 2, std::to_string(visual.file.frames), '/');
  *record = model::SetElementField(*record, kFieldFrames, frames);
  int32_t max[3];
  int32_t min[3];
  engine::BoxWords(visual.box, max, min);
  SetBox(words, max, min);
}

// A ground map into a fresh aspect slot: the map's header with words 1 and 2 the play's handle of
// the loaded map. A missing map, or one the loader refuses (said on stderr with the reason), loads
// the working folder's default map; when that fails too the element has no ground.
void LoadGroundMap(Engine& engine, const std::string& path, int32_t element, int32_t* words) {
  Play& play = *engine.play;
  model::GroundMap map;
  std::string reason;
  if (path.empty() || !model::ReadGroundMap(path, &map, &reason)) {
    if (!path.empty() && core::FileExists(path)) {
      std::fprintf(stderr, "main: the ground map %s of element %d cannot be used (%s); the default map was loaded\n",
                   path.c_str(), element, reason.c_str());
    }
    const std::string fallback = engine.paths.working + "grndmaps/default_.m3d";
    if (!model::ReadGroundMap(fallback, &map, &reason)) {
      std::fprintf(stderr, "main: the default ground map %s cannot be used (%s)\n", fallback.c_str(), reason.c_str());
      map = model::GroundMap();
    }
  }
  uint32_t address = 0;
  int32_t* slot = play.aspects.NextSlot(&address);
  if (slot == nullptr) {
    std::fprintf(stderr, "main: no aspect slot is left for element %d\n", element);
    return;
  }
  play.groundMaps.push_back(std::move(map));
  const model::GroundMap& loaded = play.groundMaps.back();
  const int32_t handle = static_cast<int32_t>(play.groundMaps.size());
  slot[model::kGroundWordTag] = static_cast<int32_t>(model::kGroundTag);
  slot[model::kGroundWordTriangles] = handle;
  slot[model::kGroundWordIndex] = handle;
  slot[model::kGroundWordWidth] = loaded.width;
  slot[model::kGroundWordChecksum] = static_cast<int32_t>(loaded.checksum);
  words[model::kWordFirstAspect] = static_cast<int32_t>(address);
  words[model::kWordCurrentAspect] = static_cast<int32_t>(address);
}

}  // namespace

void UpdateGroundMaps(Engine& engine) {
  platform::Window& window = *engine.platform.window;
  for (int32_t i = 0; i <= engine.project.LastIndex() && i < model::kMaxElements; ++i) {
    const std::string& record = engine.project.records[static_cast<size_t>(i)];
    if (model::ParseInteger(model::ElementField(record, kFieldType)) != model::kTypeBoundary) continue;
    const std::string map = AspectFile(engine, record, i);
    if (map.size() < 4) continue;
    const std::string sourcePath = map.substr(0, map.size() - 4) + ".3ds";
    const uint32_t checksum = model::GroundSourceChecksumOfFile(sourcePath);
    // A missing source keeps whatever map there is; a map the loader refuses counts as absent.
    if (checksum == 0) continue;
    const uint32_t stored = model::StoredGroundChecksum(map);
    if (stored != 0 && stored == checksum) continue;
    const size_t slash = map.find_last_of('/');
    const std::string fileName = map.substr(slash == std::string::npos ? 0 : slash + 1);
    const std::string name = fileName.substr(0, fileName.size() >= 4 ? fileName.size() - 4 : 0);
    window.ShowNotice("Initializing boundary element " + name + "|This is a once-and-for-all operation, please wait...");
    // The faces are measured here, never through an element's slot or extent words.
    const engine::GroundSource source = engine::ReadGroundSource(sourcePath);
    if (!source.isModel) {
      // Building the stand-in model's map would mark it current until the source changes again.
      window.ShowNotice("Boundary element " + name + "|" + name + ".3ds is no model; its ground map was not rebuilt");
      continue;
    }
    const bool reverse = model::ParseInteger(model::ElementField(record, kFieldReverse)) != 0;
    const model::GroundMap built = model::BuildGroundMap(source.triangles, reverse, source.checksum);
    std::string reason;
    if (!model::WriteGroundMap(map, built, &reason)) {
      std::fprintf(stderr, "main: cannot write the ground map %s: %s\n", map.c_str(), reason.c_str());
    }
    window.ShowNotice("Loading data, please wait...");
  }
}

void LoadAspects(Engine& engine) {
  Play& play = *engine.play;
  play.aspects.Reset(&engine.arena);
  play.visuals = std::make_unique<engine::VisualLibrary>(engine.paths.data + "error.bmp");
  play.groundMaps.clear();
  auto* records = engine.arena.As<int32_t>(core::Region::kElementRecords);
  for (int32_t i = 0; i <= engine.project.LastIndex() && i < model::kMaxElements; ++i) {
    std::string& record = engine.project.records[static_cast<size_t>(i)];
    int32_t* words = records + i * model::kRecordWords;
    const int32_t type = model::ParseInteger(model::ElementField(record, kFieldType));
    if (type == model::kTypeVisual) {
      LoadVisual(engine, i, &record, words);
    } else if (type == model::kTypeMeshes) {
      const engine::BoxFile box = engine::ReadBoxFile(AspectFile(engine, record, i));
      SetBox(words, box.max, box.min);
    } else if (type == model::kTypeBoundary) {
      LoadGroundMap(engine, AspectFile(engine, record, i), i, words);
    }
  }
}

}  // namespace app
