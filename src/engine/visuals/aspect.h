// Aspect slots of visuals and the collision faces they point to, in the arena's aspect data
// region. Calls the 3DS reader and core.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/core.h"
#include "engine/visuals/v3d.h"
#include "model/model.h"

namespace engine {

// An aspect slot: 16 words. A visual frame's slot holds the tag "d3v.", its collision face count,
// the guest address of its face list, the element index, the frame number, 256 (the texture row
// width) and the loaded bit (clear until the scene has built it).
inline constexpr int kSlotWords = 16;
inline constexpr uint32_t kSlotBytes = kSlotWords * 4;
inline constexpr uint32_t kVisualTag = 0x2E763364;  // "d3v." as the word that holds those bytes
enum SlotWord : int {
  kSlotTag = 0,
  kSlotFaceCount = 1,
  kSlotFaceList = 2,
  kSlotElement = 3,
  kSlotFrame = 4,
  kSlotRowWidth = 5,
  kSlotLoaded = 6,
};
// The aspect slot a record shows now (word 0), or nullptr when that word names no whole slot.
inline const int32_t* ShownSlot(const core::Arena& arena, const int32_t* record) {
  return reinterpret_cast<const int32_t*>(arena.GuestToHostIn(
      core::Region::kAspectSlots, static_cast<uint32_t>(record[model::kWordCurrentAspect]), kSlotBytes));
}

// A collision face: 16 words. Word 0 the flag word 2, words 1 to 12 four vertices (x, y, z) in
// millimetres rounded half away from zero (the third vertex repeated as the fourth), words 13 to 15
// zero.
inline constexpr int kCollisionFaceWords = 16;
inline constexpr uint32_t kCollisionFaceBytes = kCollisionFaceWords * 4;
inline constexpr int32_t kCollisionFaceFlag = 2;

// The aspect data region, handed out from its start and emptied when a play starts loading, and the
// aspect slot table, filled in order. Face lists of the same file and frame are shared.
class AspectMemory {
 public:
  // Empties both; `arena` must outlive the use.
  void Reset(core::Arena* arena);
  // The next free slot (its words cleared), or nullptr when the 8192 slots are used up; *address
  // is its guest address.
  int32_t* NextSlot(uint32_t* address);
  uint32_t SlotsUsed() const { return slotsUsed_; }
  // `bytes` of the aspect data region (4-byte aligned, cleared), or nullptr when they do not fit;
  // *address is their guest address.
  uint8_t* Allocate(uint32_t bytes, uint32_t* address);
  uint32_t DataUsed() const { return dataUsed_; }

  // Fills `slot` for frame `frame` of `file` for element `element`: tag, element, frame, row width,
  // the loaded bit clear, and the collision faces of the frame's parts (only part `onlyPart` when
  // it is 1 or more): each part's source model read again (a part that yields no face reads the
  // default model), every triangle one face. Faces that do not fit in the region are left out,
  // the count says what is stored, and "Not enough aspect memory for FILE" goes to stderr once
  // per file.
  void LoadVisualAspect(const VisualFile& file, int32_t* slot, int32_t element, int32_t frame, int32_t onlyPart,
                        const std::string& root);

 private:
  core::Arena* arena_ = nullptr;
  uint32_t slotsUsed_ = 0;
  uint32_t dataUsed_ = 0;
  std::map<std::pair<std::string, int32_t>, std::pair<uint32_t, int32_t>> shared_;  // (file, frame) -> (list, count)
  std::map<std::string, bool> warned_;
};

// A value as a 32-bit word: rounded half away from zero, clamped to the 32-bit range, NaN as 0.
int32_t RoundedWord(double value);
// A coordinate in millimetres: RoundedWord of the metres x 1000.
int32_t CollisionCoordinate(float metres);
// An element box (millimetres) as state words: maxima x, y, z and minima x, y, z, each RoundedWord.
void BoxWords(const ElementBox& box, int32_t max[3], int32_t min[3]);

// A visual as a play holds it: the file read, every frame built, the element box of frame 1 (in
// millimetres).
struct LoadedVisual {
  VisualFile file;
  std::vector<BuiltFrame> frames;
  ElementBox box;
};

// The visuals of one play: each .v3d file is read and built once, however many elements name it,
// and their textures are loaded once per path.
class VisualLibrary {
 public:
  explicit VisualLibrary(std::string errorPicture) : textures(std::move(errorPicture)) {}
  // The visual at `path` (absolute; missing: the default visual of `root`).
  const LoadedVisual& Load(const std::string& path, const std::string& root);
  size_t Size() const { return visuals_.size(); }

  TextureCache textures;

 private:
  std::map<std::string, std::unique_ptr<LoadedVisual>> visuals_;
};

}  // namespace engine
