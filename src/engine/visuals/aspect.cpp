// Aspect slots of visuals and their collision faces. Calls the 3DS reader and core.
#include "engine/visuals/aspect.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace engine {

int32_t RoundedWord(double value) {
  // A huge float turned straight into an integer is undefined: it is clamped first.
  const double rounded = std::round(value);  // half away from zero
  if (rounded != rounded) return 0;
  if (rounded <= INT32_MIN) return INT32_MIN;
  if (rounded >= INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(rounded);
}

int32_t CollisionCoordinate(float metres) { return RoundedWord(static_cast<double>(metres) * 1000.0); }

void BoxWords(const ElementBox& box, int32_t max[3], int32_t min[3]) {
  for (int axis = 0; axis < 3; ++axis) {
    max[axis] = RoundedWord(box.max[axis]);
    min[axis] = RoundedWord(box.min[axis]);
  }
}

void AspectMemory::Reset(core::Arena* arena) {
  arena_ = arena;
  slotsUsed_ = 0;
  dataUsed_ = 0;
  shared_.clear();
  warned_.clear();
}

uint8_t* AspectMemory::Allocate(uint32_t bytes, uint32_t* address) {
  const uint32_t regionSize = core::Describe(core::Region::kAspectData).size;
  const uint64_t rounded = (static_cast<uint64_t>(bytes) + 3u) & ~uint64_t{3};
  if (arena_ == nullptr || rounded > regionSize - dataUsed_) return nullptr;
  uint8_t* data = arena_->Host(core::Region::kAspectData) + dataUsed_;
  *address = arena_->Address(core::Region::kAspectData) + dataUsed_;
  std::memset(data, 0, rounded);
  dataUsed_ += static_cast<uint32_t>(rounded);
  return data;
}

int32_t* AspectMemory::NextSlot(uint32_t* address) {
  const uint32_t capacity = core::Describe(core::Region::kAspectSlots).size / kSlotBytes;
  if (arena_ == nullptr || slotsUsed_ >= capacity) return nullptr;
  *address = arena_->Address(core::Region::kAspectSlots) + slotsUsed_ * kSlotBytes;
  auto* slot = reinterpret_cast<int32_t*>(arena_->Host(core::Region::kAspectSlots) + slotsUsed_ * kSlotBytes);
  std::memset(slot, 0, kSlotBytes);
  ++slotsUsed_;
  return slot;
}

void AspectMemory::LoadVisualAspect(const VisualFile& file, int32_t* slot, int32_t element, int32_t frame,
                                    int32_t onlyPart, const std::string& root) {
  std::memset(slot, 0, kSlotBytes);
  slot[kSlotTag] = static_cast<int32_t>(kVisualTag);
  slot[kSlotElement] = element;
  slot[kSlotFrame] = frame;
  slot[kSlotRowWidth] = 256;
  if (arena_ == nullptr) return;

  const auto key = std::make_pair(file.path, frame);
  if (onlyPart <= 0) {
    if (const auto found = shared_.find(key); found != shared_.end()) {
      slot[kSlotFaceList] = static_cast<int32_t>(found->second.first);
      slot[kSlotFaceCount] = found->second.second;
      return;
    }
  }

  const uint32_t regionSize = core::Describe(core::Region::kAspectData).size;
  uint8_t* region = arena_->Host(core::Region::kAspectData);
  const uint32_t list = arena_->Address(core::Region::kAspectData) + dataUsed_;
  int32_t count = 0;
  int32_t part = 0;
  bool full = false;
  for (const PartLine& line : file.lines) {
    if (line.frame != frame) continue;
    ++part;
    if (onlyPart > 0 && part != onlyPart) continue;
    Model3ds model;
    std::string readPath;
    Load3ds(line.source, root, &model, &readPath);
    if (model.faces.empty()) Load3ds(root + "3dsfiles/default_.3ds", root, &model, &readPath);
    for (const MeshFace& face : model.faces) {
      if (dataUsed_ + kCollisionFaceBytes > regionSize) {
        full = true;
        break;
      }
      int32_t words[kCollisionFaceWords] = {kCollisionFaceFlag};
      for (int v = 0; v < 4; ++v) {
        const glm::vec3& vertex = face.v[v < 3 ? v : 2];
        for (int axis = 0; axis < 3; ++axis) words[1 + v * 3 + axis] = CollisionCoordinate(vertex[axis]);
      }
      std::memcpy(region + dataUsed_, words, kCollisionFaceBytes);
      dataUsed_ += kCollisionFaceBytes;
      ++count;
    }
    if (full) break;
  }
  if (full && !warned_[file.path]) {
    warned_[file.path] = true;
    std::fprintf(stderr, "Not enough aspect memory for %s\n", file.path.c_str());
  }
  slot[kSlotFaceList] = static_cast<int32_t>(list);
  slot[kSlotFaceCount] = count;
  if (onlyPart <= 0 && !full) shared_[key] = {list, count};
}

const LoadedVisual& VisualLibrary::Load(const std::string& path, const std::string& root) {
  if (const auto found = visuals_.find(path); found != visuals_.end()) return *found->second;
  auto visual = std::make_unique<LoadedVisual>();
  visual->file = LoadV3d(path, root);
  visual->frames.resize(static_cast<size_t>(std::max(visual->file.frames, 0)));
  for (int32_t frame = 1; frame <= visual->file.frames; ++frame) {
    BuildVisualFrame(visual->file, frame, root, &textures, &visual->frames[static_cast<size_t>(frame - 1)],
                     &visual->box);
  }
  const LoadedVisual& result = *visual;
  visuals_.emplace(path, std::move(visual));
  return result;
}

}  // namespace engine
