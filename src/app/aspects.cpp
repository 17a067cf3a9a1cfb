// Play start: the aspects of the elements, in element order: cameras, lights, flat shapes, sprites,
// frames, backgrounds and counters get their slots and what the scene needs beside them; visuals get one aspect slot
// per frame with their collision faces, their built frames and their box; .x elements one slot per
// numbered file and the box of their box file; boundary elements get their ground map, rebuilt
// first in test plays when its .3ds source changed.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <cmath>
#include <cstdio>

#include "app/app.h"

namespace app {
namespace {

constexpr int kFieldAspect = 2;
constexpr int kFieldFlags = 33;
constexpr int kFieldTypeData = 37;
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


// The next aspect slot with its side entry for the scene, or nullptr (said on stderr) when the
// table is full.
int32_t* NewSlot(Engine& engine, int32_t element, uint32_t* address) {
  Play& play = *engine.play;
  int32_t* slot = play.aspects.NextSlot(address);
  if (slot == nullptr) {
    std::fprintf(stderr, "main: no aspect slot is left for element %d\n", element);
    return nullptr;
  }
  play.scene.Sides().emplace_back();
  play.scene.Sides().back().element = element;
  return slot;
}

int32_t RoundedTime(float value) { return engine::RoundedWord(static_cast<double>(value)); }

engine::SlotSide& LastSide(Engine& engine) { return engine.play->scene.Sides().back(); }

void PointAt(int32_t* words, uint32_t address) {
  words[model::kWordFirstAspect] = static_cast<int32_t>(address);
  words[model::kWordCurrentAspect] = static_cast<int32_t>(address);
}

// The bytes of an aspect file, unscrambled in a finished game; empty when it cannot be read.
std::string AspectBytes(const Engine& engine, const std::string& path) {
  std::string bytes;
  if (path.empty() || !core::ReadFile(path, &bytes)) return {};
  if (engine.model.finishedGame) model::UnscrambleBytes(&bytes);
  return bytes;
}

// The element's aspect file, or the kind's default under the working folder when it is missing.
std::string AspectOrDefault(const Engine& engine, const std::string& record, int32_t element, const char* fallback) {
  const std::string path = AspectFile(engine, record, element);
  if (!path.empty() && core::FileExists(path)) return path;
  return engine.paths.working + fallback;
}

// A camera: the file's 64-byte slot image and its parameter record, kept whole beside the slot;
// a file too short to hold them takes the default camera's record. Field 37's rectangle goes into
// the record when the record has its seven items.
void LoadCamera(Engine& engine, int32_t element, const std::string& record, const model::ElementSetup& setup,
                int32_t* words) {
  const std::string path = AspectOrDefault(engine, record, element, "cameras/default_.03d");
  engine::CameraFile camera = engine::ParseCameraFile(AspectBytes(engine, path));
  if (!camera.complete) {
    const engine::CameraFile fallback =
        engine::ParseCameraFile(AspectBytes(engine, engine.paths.working + "cameras/default_.03d"));
    if (fallback.complete) {
      camera.record = fallback.record;
    } else {
      // Not even the default camera is whole: the centre quarter of the screen, a lens of 480.
      camera.record = {};
      engine::SetCameraRectangle(&camera, 160, 120, 479, 359);
      const int32_t lens = -480;
      std::memcpy(camera.record.data() + engine::kCameraLensAt, &lens, 4);
    }
  }
  if (setup.cameraReady) {
    engine::SetCameraRectangle(&camera, setup.rectangle[0], setup.rectangle[1], setup.rectangle[2], setup.rectangle[3]);
  }
  uint32_t address = 0;
  int32_t* slot = NewSlot(engine, element, &address);
  if (slot == nullptr) return;
  std::copy(camera.slot.begin(), camera.slot.end(), slot);
  slot[0] = static_cast<int32_t>(engine::kTagCamera);
  LastSide(engine).camera = camera;
  PointAt(words, address);
}

// A light from field 37: "type/colour/attenuation", the colour a decimal 0xRRGGBB; a missing item
// reads 0.
void LoadLight(Engine& engine, int32_t element, const std::string& record, int32_t* words) {
  const std::string data = model::ElementField(record, kFieldTypeData);
  uint32_t address = 0;
  int32_t* slot = NewSlot(engine, element, &address);
  if (slot == nullptr) return;
  slot[0] = static_cast<int32_t>(engine::kTagLight);
  slot[engine::kLightWordType] = model::ParseInteger(model::ElementField(data, 1, '/'));
  slot[engine::kLightWordColour] = model::ParseInteger(model::ElementField(data, 2, '/'));
  slot[engine::kLightWordAttenuation] = model::ParseInteger(model::ElementField(data, 3, '/'));
  slot[engine::kLightWordElement] = element;
  PointAt(words, address);
}

// Picture `frame` of an animation whose first picture is `path`: the path with its last three
// characters replaced by the frame number in three digits (NAME.002, NAME.003, ...).
std::string FramePicture(const std::string& path, int32_t frame) {
  if (frame <= 1 || path.size() < 3) return path;
  char digits[12];
  std::snprintf(digits, sizeof digits, "%03d", static_cast<int>(frame));
  return path.substr(0, path.size() - 3) + digits;
}

// Records the count of pictures an animated element has slots for: word 42 and item 2 of field 38,
// so that no animation steps past its slots.
void SetFramesLoaded(std::string* record, int32_t* words, int32_t frames) {
  words[model::kWordLastFrame] = frames;
  const std::string data = model::SetElementField(model::ElementField(*record, kFieldFrames), 2, std::to_string(frames), '/');
  *record = model::SetElementField(*record, kFieldFrames, data);
}

// The pictures of an animated element, one slot each: `path`, then NAME.002, NAME.003, ... up to
// `frames`. A picture already prepared under the same key (for this element or an earlier one)
// is shared: the slot is a copy of the first one's, with its decal. prepare(file, slot) fills a
// fresh slot and its side entry. Word 42 and field 38 item 2 get the count of slots loaded.
template <typename Prepare>
void LoadPictureSeries(Engine& engine, int32_t element, std::string* record, int32_t* words, const std::string& path,
                       int32_t frames, const std::string& keySuffix, std::map<std::string, int32_t>* prepared,
                       Prepare&& prepare) {
  std::vector<engine::SlotSide>& sides = engine.play->scene.Sides();
  uint32_t first = 0;
  int32_t loaded = 0;
  for (int32_t frame = 1; frame <= frames; ++frame) {
    const std::string file = FramePicture(path, frame);
    const std::string key = file + keySuffix;
    uint32_t address = 0;
    int32_t* slot = NewSlot(engine, element, &address);
    if (slot == nullptr) break;
    if (frame == 1) first = address;
    loaded = frame;
    const int32_t index = static_cast<int32_t>(sides.size()) - 1;
    if (const auto found = prepared->find(key); found != prepared->end()) {
      const int32_t* master = reinterpret_cast<const int32_t*>(engine.arena.Host(core::Region::kAspectSlots) +
                                                               static_cast<size_t>(found->second) * engine::kSlotBytes);
      std::copy(master, master + engine::kSlotWords, slot);
      sides.back().decal = sides[static_cast<size_t>(found->second)].decal;
      sides.back().master = found->second;
      continue;
    }
    prepare(file, slot);
    sides.back().master = index;
    (*prepared)[key] = index;
  }
  if (loaded == 0) return;
  PointAt(words, first);
  SetFramesLoaded(record, words, loaded);
}

// A flat shape: a picture that is missing or not a square of a power-of-two side is replaced by
// data/error.pcx.
void LoadFlatShape(Engine& engine, int32_t element, std::string* record, int32_t* words,
                   std::map<std::string, int32_t>* prepared) {
  const std::string path = AspectFile(engine, *record, element);
  const int32_t frames = path.empty() ? 1 : std::max(1, model::FindAspectFrames(record, path));
  const bool colourKey = (model::ParseInteger(model::ElementField(*record, kFieldFlags)) & 4) != 0;
  LoadPictureSeries(engine, element, record, words, path, frames, colourKey ? "|key" : "|alpha", prepared,
                    [&](const std::string& file, int32_t* slot) {
                      auto decal = std::make_shared<engine::Picture>();
                      engine::PcxPicture picture;
                      engine::DecodePcx(AspectBytes(engine, file), &picture);
                      engine::AspectMemory* memory = &engine.play->aspects;
                      if (!engine::PrepareFlatShape(memory, picture, colourKey, slot, decal.get())) {
                        engine::DecodePcx(AspectBytes(engine, engine.paths.data + "error.pcx"), &picture);
                        if (!engine::PrepareFlatShape(memory, picture, colourKey, slot, decal.get())) {
                          std::fprintf(stderr, "main: the flat shape %s of element %d cannot be shown\n", file.c_str(),
                                       element);
                        }
                      }
                      slot[0] = static_cast<int32_t>(engine::kTagFlatShape);
                      LastSide(engine).decal = std::move(decal);
                    });
}

// A sprite: each picture coded as a span list for the back surface; a missing first picture reads
// sprites/default_.pcx.
void LoadSprite(Engine& engine, int32_t element, std::string* record, int32_t* words,
                std::map<std::string, int32_t>* prepared) {
  std::string path = AspectFile(engine, *record, element);
  int32_t frames = 1;
  if (!path.empty() && core::FileExists(path)) {
    frames = std::max(1, model::FindAspectFrames(record, path));
  } else {
    path = engine.paths.working + "sprites/default_.pcx";
  }
  LoadPictureSeries(engine, element, record, words, path, frames, "", prepared,
                    [&](const std::string& file, int32_t* slot) {
                      engine::PcxPicture picture;
                      engine::DecodePcx(AspectBytes(engine, file), &picture);
                      if (!engine::PrepareSprite(&engine.play->aspects, picture, engine.display.format, slot)) {
                        std::fprintf(stderr, "main: the sprite picture %s of element %d does not fit in the aspect memory\n",
                                     file.c_str(), element);
                      }
                    });
}

// A counter: its digit picture, or counters/default_.pcx when the picture is missing or does not
// hold exactly 13 glyphs.
void LoadCounter(Engine& engine, int32_t element, const std::string& record, int32_t* words) {
  const std::string path = AspectOrDefault(engine, record, element, "counters/default_.pcx");
  engine::PcxPicture picture;
  engine::DecodePcx(AspectBytes(engine, path), &picture);
  uint32_t address = 0;
  int32_t* slot = NewSlot(engine, element, &address);
  if (slot == nullptr) return;
  const engine::PixelFormat& format = engine.display.format;
  if (!engine::PrepareCounter(&engine.play->aspects, picture, format, slot)) {
    const std::string fallback = engine.paths.working + "counters/default_.pcx";
    engine::DecodePcx(AspectBytes(engine, fallback), &picture);
    if (!engine::PrepareCounter(&engine.play->aspects, picture, format, slot)) {
      std::fprintf(stderr, "main: the counter picture %s of element %d cannot be shown\n", path.c_str(), element);
    }
  }
  PointAt(words, address);
}

// A frame picture, coded for the back surface of the display.
void LoadFramePicture(Engine& engine, int32_t element, const std::string& record, int32_t* words) {
  const std::string path = AspectOrDefault(engine, record, element, "frames/default_.pcx");
  engine::PcxPicture picture;
  engine::DecodePcx(AspectBytes(engine, path), &picture);
  uint32_t address = 0;
  int32_t* slot = NewSlot(engine, element, &address);
  if (slot == nullptr) return;
  if (!engine::PrepareFrame(&engine.play->aspects, picture, engine.display.format, slot)) {
    std::fprintf(stderr, "main: the frame picture %s of element %d does not fit in the aspect memory\n", path.c_str(),
                 element);
  }
  slot[0] = static_cast<int32_t>(engine::kTagFrame);
  PointAt(words, address);
}

// A background: a .g3d slot image, or the top-left pixel of a picture.
void LoadBackground(Engine& engine, int32_t element, const std::string& record, int32_t* words) {
  const std::string path = AspectOrDefault(engine, record, element, "bckgrnds/default_.pcx");
  std::string extension = path.size() >= 4 ? path.substr(path.size() - 4) : "";
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const bool g3d = extension == ".g3d";
  uint32_t address = 0;
  int32_t* slot = NewSlot(engine, element, &address);
  if (slot == nullptr) return;
  engine::PrepareBackground(AspectBytes(engine, path), g3d, slot);
  slot[0] = static_cast<int32_t>(engine::kTagBackground);
  PointAt(words, address);
}

// A .x element: one slot per numbered file, each loaded once per play, and the box of the first
// file's box file. A file the importer refuses shows an empty frame, said once on stderr.
void LoadXVisual(Engine& engine, int32_t element, std::string* record, int32_t* words,
                 std::map<std::string, std::shared_ptr<engine::XObject>>* loaded) {
  Play& play = *engine.play;
  const std::string path = AspectFile(engine, *record, element);
  const engine::BoxFile box = engine::ReadBoxFile(path);
  SetBox(words, box.max, box.min);
  const std::vector<std::string> files = path.empty() ? std::vector<std::string>{} : engine::NumberedXFiles(path);
  uint32_t first = 0;
  int32_t frame = 0;
  for (const std::string& file : files) {
    std::shared_ptr<engine::XObject>& object = (*loaded)[file];
    if (!object) {
      object = std::make_shared<engine::XObject>();
      std::string error;
      if (!engine::LoadXFile(file, &play.visuals->textures, object.get(), &error)) {
        std::fprintf(stderr, "main: the .x file %s of element %d cannot be shown: %s\n", file.c_str(), element,
                     error.c_str());
      }
    }
    uint32_t address = 0;
    int32_t* slot = NewSlot(engine, element, &address);
    if (slot == nullptr) break;
    ++frame;
    if (frame == 1) first = address;
    slot[0] = static_cast<int32_t>(engine::kTagXVisual);
    // The first animation set plays at its own speed (its ticks per second over 30 scene updates,
    // 1000 time units a tick; one tick an update when the file does not say) over its whole length.
    const bool animated = !object->animationSets.empty();
    const engine::XAnimationSet* set = animated ? &object->animationSets.front() : nullptr;
    slot[engine::kXWordSet] = animated ? 0 : -1;
    slot[engine::kXWordStep] =
        set == nullptr ? 0 : set->ticksPerSecond > 0.0f ? RoundedTime(set->ticksPerSecond * 1000.0f / 30.0f) : 1000;
    slot[engine::kXWordTime] = 0;
    slot[engine::kXWordLoopStart] = 0;
    slot[engine::kXWordLoopEnd] = set == nullptr ? 0 : RoundedTime(set->duration * 1000.0f);
    slot[engine::kXWordElement] = element;
    slot[engine::kXWordFrame] = frame;
    LastSide(engine).xObject = object;
  }
  if (frame > 0) {
    PointAt(words, first);
    words[model::kWordLastFrame] = frame;
  }
}

void LoadVisual(Engine& engine, int32_t element, std::string* record, int32_t* words) {
  Play& play = *engine.play;
  const std::string& root = engine.paths.working;
  const engine::LoadedVisual& visual = play.visuals->Load(AspectFile(engine, *record, element), root);
  uint32_t first = 0;
  for (int32_t frame = 1; frame <= visual.file.frames; ++frame) {
    uint32_t address = 0;
    int32_t* slot = NewSlot(engine, element, &address);
    if (slot == nullptr) break;
    if (frame == 1) first = address;
    play.aspects.LoadVisualAspect(visual.file, slot, element, frame, 0, root);
    if (static_cast<size_t>(frame) <= visual.frames.size()) {
      LastSide(engine).visual = &visual.frames[static_cast<size_t>(frame - 1)];
    }
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
  // A finished game stores its maps scrambled, like the other aspects.
  const std::string bytes = AspectBytes(engine, path);
  if (path.empty() || !model::DecodeGroundMap(bytes, &map, &reason)) {
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
  int32_t* slot = NewSlot(engine, element, &address);
  if (slot == nullptr) return;
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
    ShowNotice(engine, "Initializing boundary element " + name + "|This is a once-and-for-all operation, please wait...");
    // The faces are measured here, never through an element's slot or extent words.
    const engine::GroundSource source = engine::ReadGroundSource(sourcePath);
    if (!source.isModel) {
      // Building the stand-in model's map would mark it current until the source changes again.
      ShowNotice(engine, "Boundary element " + name + "|" + name + ".3ds is no model; its ground map was not rebuilt");
      continue;
    }
    const bool reverse = model::ParseInteger(model::ElementField(record, kFieldReverse)) != 0;
    const model::GroundMap built = model::BuildGroundMap(source.triangles, reverse, source.checksum);
    std::string reason;
    if (!model::WriteGroundMap(map, built, &reason)) {
      std::fprintf(stderr, "main: cannot write the ground map %s: %s\n", map.c_str(), reason.c_str());
    }
    ShowNotice(engine, "Loading data, please wait...");
  }
}

void LoadAspects(Engine& engine, const std::vector<model::ElementSetup>& setups) {
  Play& play = *engine.play;
  play.aspects.Reset(&engine.arena);
  play.scene.Sides().clear();
  std::map<std::string, int32_t> flatShapes;
  std::map<std::string, int32_t> sprites;
  std::map<std::string, std::shared_ptr<engine::XObject>> xObjects;
  static const model::ElementSetup kNoSetup;
  play.visuals = std::make_unique<engine::VisualLibrary>(engine.paths.data + "error.bmp");
  play.groundMaps.clear();
  auto* records = engine.arena.As<int32_t>(core::Region::kElementRecords);
  for (int32_t i = 0; i <= engine.project.LastIndex() && i < model::kMaxElements; ++i) {
    std::string& record = engine.project.records[static_cast<size_t>(i)];
    int32_t* words = records + i * model::kRecordWords;
    const int32_t type = model::ParseInteger(model::ElementField(record, kFieldType));
    switch (type) {
      case model::kTypeCamera:
        LoadCamera(engine, i, record, static_cast<size_t>(i) < setups.size() ? setups[static_cast<size_t>(i)] : kNoSetup,
                   words);
        break;
      case model::kTypeLight: LoadLight(engine, i, record, words); break;
      case model::kTypeFlatShape: LoadFlatShape(engine, i, &record, words, &flatShapes); break;
      case model::kTypeSprite: LoadSprite(engine, i, &record, words, &sprites); break;
      case model::kTypeFrame: LoadFramePicture(engine, i, record, words); break;
      case model::kTypeCounter: LoadCounter(engine, i, record, words); break;
      case model::kTypeBackground: LoadBackground(engine, i, record, words); break;
      case model::kTypeVisual: LoadVisual(engine, i, &record, words); break;
      case model::kTypeMeshes: LoadXVisual(engine, i, &record, words, &xObjects); break;
      case model::kTypeBoundary: LoadGroundMap(engine, AspectFile(engine, record, i), i, words); break;
      case model::kType3dShape:
      case model::kTypeShadow:
      case 4: {
        // No slot of their own: they refer to the slot the next loaded aspect takes.
        const uint32_t next = engine.arena.Address(core::Region::kAspectSlots) + play.aspects.SlotsUsed() * engine::kSlotBytes;
        PointAt(words, next);
        break;
      }
      default: break;
    }
  }
}

}  // namespace app
