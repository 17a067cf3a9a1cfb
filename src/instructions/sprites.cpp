// Sprites and counters: translucency, clip rectangles, picture sizes and picking by the pointer.
// Elements are record addresses; an element argument that names nothing answers 0 and changes
// nothing. The pointer is in display pixels, as the sprites are drawn, so picking never rescales.
//
// | Instruction        | Arguments                | Effect                                          |
// |--------------------|--------------------------|-------------------------------------------------|
// | translucent        | element, on              | status bit 0x20 = on & 1                        |
// | sprite_clip_set    | sprite, x1, x2, y1, y2   | clip rectangle: words 15 = x1, 16 = y1, 17 = x2, 18 = y2 |
// | sprite_clip_x1 ... | sprite                   | words 15, 16, 17, 18 (x1, y1, x2, y2)           |
// | sprite_dim_x, _y   | sprite                   | width or height of the shown picture, 0 for others |
// | sprite_picked      | sprite                   | -1 when the pointer lies on a drawn pixel of it |
// | counter_picked     | element                  | -1 when it is the last counter under the pointer|
#include "instructions/sprites.h"

#include "instructions/arguments.h"

namespace instructions {
namespace {

using model::OnAndShown;

// The slot of a record when it shows a picture of `tag`, else nullptr.
const int32_t* SlotOfKind(const core::Arena* arena, const int32_t* record, uint32_t tag) {
  const int32_t* slot = engine::ShownSlot(*arena, record);
  return slot != nullptr && static_cast<uint32_t>(slot[engine::kSlotTag]) == tag ? slot : nullptr;
}

int32_t translucent(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  auto status = static_cast<uint32_t>(record[model::kWordStatus]);
  status = (regs.ebx & 1u) != 0 ? status | model::kStatusTranslucent : status & ~model::kStatusTranslucent;
  record[model::kWordStatus] = static_cast<int32_t>(status);
  return 0;
}

int32_t sprite_clip_set(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  record[model::kWordExtent0] = static_cast<int32_t>(regs.ebx);  // x1
  record[model::kWordExtent1] = static_cast<int32_t>(regs.edx);  // y1
  record[model::kWordExtent2] = static_cast<int32_t>(regs.ecx);  // x2
  record[model::kWordExtent3] = static_cast<int32_t>(regs.esi);  // y2
  return 0;
}

template <int kWord>
int32_t SpriteDimension(const core::Arena* arena, int32_t* record, const brain::Regs&) {
  const int32_t* slot = SlotOfKind(arena, record, engine::kSpriteTag);
  return slot != nullptr ? slot[kWord] : 0;
}

int32_t sprite_picked(const core::Arena* arena, int32_t* record, const brain::Regs&) {
  if (!OnAndShown(record)) return 0;
  const int32_t* slot = SlotOfKind(arena, record, engine::kSpriteTag);
  if (slot == nullptr) return 0;
  const state::Engine& engine = state::Current();
  const engine::ClipRectangle clip = engine::SpriteClip(record, engine.display.width, engine.display.height);
  return engine::SpriteCovers(*arena, slot, record[model::kWordPositionX], record[model::kWordPositionY], clip,
                              engine.mouseX, engine.mouseY)
             ? -1
             : 0;
}

int32_t counter_picked(const core::Arena* arena, int32_t* record, const brain::Regs&) {
  const state::Engine& engine = state::Current();
  const auto* records = arena->As<int32_t>(core::Region::kElementRecords);
  const int32_t* picked = nullptr;
  for (int32_t i = 0; i <= engine.project.LastIndex() && i < model::kMaxElements; ++i) {
    const int32_t* candidate = records + i * model::kRecordWords;
    if (!OnAndShown(candidate)) continue;
    const int32_t* slot = SlotOfKind(arena, candidate, engine::kCounterTag);
    if (slot != nullptr && engine::CounterCovers(*arena, slot, engine::CounterOf(candidate), engine.display.width,
                                                 engine.display.height, engine.mouseX, engine.mouseY)) {
      picked = candidate;
    }
  }
  return picked == record ? -1 : 0;
}

constexpr brain::RoutineEntry kSpriteRoutines[] = {
    {"translucent", OneElement<translucent>},
    {"sprite_clip_set", OneElement<sprite_clip_set>},
    {"sprite_clip_x1", OneElement<Read<model::kWordExtent0>>},
    {"sprite_clip_y1", OneElement<Read<model::kWordExtent1>>},
    {"sprite_clip_x2", OneElement<Read<model::kWordExtent2>>},
    {"sprite_clip_y2", OneElement<Read<model::kWordExtent3>>},
    {"sprite_dim_x", OneElement<SpriteDimension<engine::kSpriteWidth>>},
    {"sprite_dim_y", OneElement<SpriteDimension<engine::kSpriteHeight>>},
    {"sprite_picked", OneElement<sprite_picked>},
    {"counter_picked", OneElement<counter_picked>},
};

}  // namespace

std::span<const brain::RoutineEntry> SpriteRoutines() { return kSpriteRoutines; }

}  // namespace instructions
