// Rendering: frames, picking, background, flats, fog and clip distance. Elements are record
// addresses; an element argument that names nothing answers 0 and changes nothing.
//
// | Instruction          | Arguments             | Effect                                            |
// |----------------------|-----------------------|---------------------------------------------------|
// | render               |                       | renders and shows one frame at once               |
// | frame_refresh        | element               | word 15 = 4: the flat frame is drawn again        |
// | frame_refresh_all    |                       | the same for every flat frame that is on and shown|
// | visual_picked_get    |                       | the element under the pointer, 0 for none         |
// | visual_picked_get_ex | out element or 0      | the same; the out element moves to the hit point  |
// | visual_ray           | element, out or 0     | the element hit along the element's forward ray   |
// | x_picked             | frame handle          | -1 when the pointer ray hits the loaded object    |
// | background3d_set     | mode                  | 0 none, 1 backdrop, 2+ camera rectangles filled   |
// | 3dbg_color_set       | red, green, blue      | the background colour (each clamped to 0..255)    |
// | flats_priority_set   | 0 or 1                | 1: the flats of every camera after all main scenes|
// | fogeffect_set        | flag                  | fog on or off                                     |
// | fog_set              | start, end            | fog range in position units                       |
// | fog_start, fog_end   |                       | the fog range in position units                   |
// | fog_color_set        | red, green, blue      | the fog colour (each clamped to 0..255)           |
// | clip_distance        |                       | the project's clip distance in position units     |
#include "instructions/rendering.h"

#include <algorithm>

#include "instructions/arguments.h"

namespace instructions {
namespace {

engine::SceneBridge* Bridge() {
  state::Engine& engine = state::Current();
  return engine.play ? &engine.play->scene : nullptr;
}

uint32_t Clamped(uint32_t value) { return static_cast<uint32_t>(std::clamp(static_cast<int32_t>(value), 0, 255)); }
uint32_t Colour(const brain::Regs& regs) {
  return 0xFF000000u | Clamped(regs.eax) << 16 | Clamped(regs.ebx) << 8 | Clamped(regs.ecx);
}

// The back-surface pixel of a colour: 5-6-5 (or 5-5-5) in the 16-bit modes, the colour itself in
// the 32-bit ones.
uint32_t SurfacePixel(const engine::PixelFormat& format, uint32_t rgb) {
  if (format.bitsPerPixel == 32) return rgb & 0xFFFFFFu;
  const auto channel = [](uint32_t value, uint32_t mask, int shift) {
    const uint32_t bits = mask >> shift;
    return ((value * bits + 127) / 255) << shift & mask;
  };
  return channel((rgb >> 16) & 0xFF, format.redMask, format.redShift) |
         channel((rgb >> 8) & 0xFF, format.greenMask, format.greenShift) |
         channel(rgb & 0xFF, format.blueMask, format.blueShift);
}

bool render(brain::Regs* regs, std::string*) {
  state::Engine& engine = state::Current();
  if (engine.playing && engine.hooks.renderFrame) engine.hooks.renderFrame();
  regs->eax = 0;
  return true;
}

int32_t frame_refresh(const core::Arena*, int32_t* record, const brain::Regs&) {
  record[model::kWordExtent0] = 4;
  return 0;
}

bool frame_refresh_all(brain::Regs* regs, std::string*) {
  state::Engine& engine = state::Current();
  auto* records = engine.arena.As<int32_t>(core::Region::kElementRecords);
  for (int32_t i = 0; i <= engine.project.LastIndex() && i < model::kMaxElements; ++i) {
    int32_t* record = records + i * model::kRecordWords;
    if (!model::OnAndShown(record)) continue;
    const int32_t* slot = engine::ShownSlot(engine.arena, record);
    if (slot != nullptr && static_cast<uint32_t>(slot[engine::kSlotTag]) == engine::kTagFrame) record[model::kWordExtent0] = 4;
  }
  regs->eax = 0;
  return true;
}

// Moves the out element (when it names one) to the hit point.
bool PlaceAtHit(brain::Regs* regs, uint32_t out, const int32_t hit[3], std::string* fault) {
  if (out == 0) return true;
  int32_t* record = ElementRecord(&state::Current().arena, out, fault);
  if (record == nullptr) return fault->empty();
  for (int axis = 0; axis < 3; ++axis) record[model::kWordPositionX + axis] = hit[axis];
  (void)regs;
  return true;
}

bool visual_picked_get(brain::Regs* regs, std::string*) {
  const state::Engine& engine = state::Current();
  const engine::SceneBridge* bridge = Bridge();
  regs->eax = bridge != nullptr ? bridge->PickAtPointer(engine.mouseX, engine.mouseY, nullptr) : 0;
  return true;
}

bool visual_picked_get_ex(brain::Regs* regs, std::string* fault) {
  const state::Engine& engine = state::Current();
  const engine::SceneBridge* bridge = Bridge();
  const uint32_t out = regs->eax;
  int32_t hit[3] = {};
  const uint32_t picked = bridge != nullptr ? bridge->PickAtPointer(engine.mouseX, engine.mouseY, hit) : 0;
  if (picked != 0 && !PlaceAtHit(regs, out, hit, fault)) return false;
  regs->eax = picked;
  return true;
}

bool visual_ray(brain::Regs* regs, std::string* fault) {
  const core::Arena* arena = &state::Current().arena;
  const int32_t* from = ElementRecord(arena, regs->eax, fault);
  if (from == nullptr) {
    regs->eax = 0;
    return fault->empty();
  }
  const engine::SceneBridge* bridge = Bridge();
  int32_t hit[3] = {};
  const uint32_t picked = bridge != nullptr ? bridge->PickAlong(from, hit) : 0;
  if (picked != 0 && !PlaceAtHit(regs, regs->ebx, hit, fault)) return false;
  regs->eax = picked;
  return true;
}

// Loaded objects do not exist yet: no frame handle names one, so nothing is ever hit.
bool x_picked(brain::Regs* regs, std::string*) {
  regs->eax = 0;
  return true;
}

bool background3d_set(brain::Regs* regs, std::string*) {
  if (engine::SceneBridge* bridge = Bridge()) bridge->settings.backgroundMode = static_cast<int32_t>(regs->eax);
  return true;
}

bool bg_color_set(brain::Regs* regs, std::string*) {
  engine::SceneBridge* bridge = Bridge();
  if (bridge == nullptr) return true;
  bridge->settings.backgroundColour = Colour(*regs);
  bridge->settings.backgroundPixel = SurfacePixel(state::Current().display.format, bridge->settings.backgroundColour);
  return true;
}

bool flats_priority_set(brain::Regs* regs, std::string*) {
  if (engine::SceneBridge* bridge = Bridge()) bridge->settings.flatsPriority = regs->eax != 0 ? 1 : 0;
  return true;
}

bool fogeffect_set(brain::Regs* regs, std::string*) {
  if (engine::SceneBridge* bridge = Bridge()) bridge->settings.fogEnabled = regs->eax != 0;
  return true;
}

// The fog range is kept in 1/512 metre: position units divided by 1000.
bool fog_set(brain::Regs* regs, std::string*) {
  model::Fog& fog = state::Current().project.fog;
  const auto start = static_cast<int32_t>(regs->eax);
  const auto end = static_cast<int32_t>(regs->ebx);
  fog.start = std::min(start, end) / 1000;
  fog.end = end / 1000;
  return true;
}

bool fog_start(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(state::Current().project.fog.start) * 1000u;
  return true;
}

bool fog_end(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(state::Current().project.fog.end) * 1000u;
  return true;
}

bool fog_color_set(brain::Regs* regs, std::string*) {
  state::Current().project.fog.colour = Colour(*regs);
  return true;
}

bool clip_distance(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(state::Current().project.settings.clipDistance) * 512000u;
  return true;
}

constexpr brain::RoutineEntry kRenderingRoutines[] = {
    {"render", render},
    {"frame_refresh", OneElement<frame_refresh>},
    {"frame_refresh_all", frame_refresh_all},
    {"visual_picked_get", visual_picked_get},
    {"visual_picked_get_ex", visual_picked_get_ex},
    {"visual_ray", visual_ray},
    {"x_picked", x_picked},
    {"background3d_set", background3d_set},
    {"3dbg_color_set", bg_color_set},
    {"flats_priority_set", flats_priority_set},
    {"fogeffect_set", fogeffect_set},
    {"fog_set", fog_set},
    {"fog_start", fog_start},
    {"fog_end", fog_end},
    {"fog_color_set", fog_color_set},
    {"clip_distance", clip_distance},
};

}  // namespace

std::span<const brain::RoutineEntry> RenderingRoutines() { return kRenderingRoutines; }

}  // namespace instructions
