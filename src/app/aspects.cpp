// Play start: the aspects of the elements, in element order, for the kinds loaded so far: visuals
// get one aspect slot per frame with their collision faces, their built frames and their box; .x
// elements get the box of their box file.
#include <climits>
#include <cmath>
#include <cstdio>

#include "app/app.h"

namespace app {
namespace {

constexpr int kFieldAspect = 2;
constexpr int kFieldFrames = 38;
constexpr int kFieldType = 36;

// A box value in millimetres as a state word: rounded, clamped to the 32-bit range.
int32_t BoxWord(float millimetres) {
  const double rounded = std::round(static_cast<double>(millimetres));
  if (!(rounded > INT32_MIN)) return INT32_MIN;
  if (rounded >= INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(rounded);
}

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
  const int32_t max[3] = {BoxWord(visual.box.max.x), BoxWord(visual.box.max.y), BoxWord(visual.box.max.z)};
  const int32_t min[3] = {BoxWord(visual.box.min.x), BoxWord(visual.box.min.y), BoxWord(visual.box.min.z)};
  SetBox(words, max, min);
}

}  // namespace

void LoadAspects(Engine& engine) {
  Play& play = *engine.play;
  play.aspects.Reset(&engine.arena);
  play.visuals = std::make_unique<engine::VisualLibrary>(engine.paths.data + "error.bmp");
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
    }
  }
}

}  // namespace app
