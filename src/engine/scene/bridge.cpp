// The scene bridge: build, update, render, pick and release the scene of a play.
//
// [SECTION] Fixed-point orientation and the scale path
// [SECTION] Build
// [SECTION] Update
// [SECTION] Render
// [SECTION] Picking
// [SECTION] Dump and release
#include "engine/scene/bridge.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <glm/gtc/quaternion.hpp>

#include "engine/pictures/forms.h"
#include "engine/visuals/v3d.h"
#include "engine/visuals/xfile.h"

namespace engine {
namespace {

constexpr int32_t kCosineOffset = 720;  // the fine table's cosine is its sine 90 degrees on
constexpr float kPositionUnits = 512000.0f;
constexpr float kRadiansPerUnit = 0.000034088f;

uint32_t Status(const int32_t* record) { return static_cast<uint32_t>(record[model::kWordStatus]); }
using model::OnAndShown;
bool ChildRotation(const int32_t* record) { return (Status(record) & model::kStatusChildOffset) != 0; }

// One turn of the fixed-point rotation by a wrapped angle: the table's sine and cosine, or none
// below one table step.
struct Step {
  bool turns = false;
  int64_t sin = 0, cos = 0;
};

Step StepOf(const int32_t* sine, int32_t wrapped) {
  if (wrapped < 64) return {};
  const int32_t index = wrapped >> 6;
  return {true, sine[index], sine[index + kCosineOffset]};
}

// (a, b) -> (cos a + sin b, cos b - sin a), each product shifted on its own.
void Turn(const Step& step, int32_t* a, int32_t* b) {
  if (!step.turns) return;
  const int64_t oldA = *a;
  const int64_t oldB = *b;
  *a = static_cast<int32_t>(((step.cos * oldA) >> 15) + ((step.sin * oldB) >> 15));
  *b = static_cast<int32_t>(((step.cos * oldB) >> 15) - ((step.sin * oldA) >> 15));
}

// About x: z' = cos z + sin y, y' = cos y - sin z; about z: y' = cos y + sin x, x' = cos x - sin y;
// about y: z' = cos z + sin x, x' = cos x - sin z.
void Rotate(const Step& x, const Step& y, const Step& z, int32_t v[3]) {
  Turn(x, &v[2], &v[1]);
  Turn(z, &v[1], &v[0]);
  Turn(y, &v[2], &v[0]);
}

void RotateBy(const int32_t* sine, const int32_t* record, int firstWord, FixedOrientation* o) {
  // The table is read once per axis for both vectors.
  const Step x = StepOf(sine, model::WrapAngle(record[firstWord]));
  const Step y = StepOf(sine, model::WrapAngle(record[firstWord + 1]));
  const Step z = StepOf(sine, model::WrapAngle(record[firstWord + 2]));
  Rotate(x, y, z, o->direction);
  Rotate(x, y, z, o->up);
}

glm::vec3 Vector(const int32_t v[3]) { return glm::vec3(v[0], v[1], v[2]) / 65536.0f; }

glm::vec3 PositionOf(const int32_t* record) {
  return glm::vec3(static_cast<float>(record[model::kWordPositionX]), static_cast<float>(record[model::kWordPositionY]),
                   static_cast<float>(record[model::kWordPositionZ])) /
         kPositionUnits;
}

// An angle as the fixed-point path turns by it: wrapped, then down to its table step (1/8 degree).
// Taking the same step here keeps an element's orientation when it changes path.
float StepRadians(int32_t angle) {
  return static_cast<float>(model::WrapAngle(angle) & ~63) * kRadiansPerUnit;
}

// The turn of each axis as a scene rotation. The fixed-point turns about x and z are the usual
// right-hand rotations of the vector; the turn about y is the opposite one.
glm::quat AxisTurns(const int32_t* record, int firstWord) {
  const float ax = StepRadians(record[firstWord]);
  const float ay = StepRadians(record[firstWord + 1]);
  const float az = StepRadians(record[firstWord + 2]);
  const glm::quat qx = glm::angleAxis(ax, glm::vec3(1, 0, 0));
  const glm::quat qy = glm::angleAxis(-ay, glm::vec3(0, 1, 0));
  const glm::quat qz = glm::angleAxis(az, glm::vec3(0, 0, 1));
  return qy * qz * qx;  // x first, then z, then y
}

glm::vec3 ColourOf(uint32_t rgb) {
  return glm::vec3(static_cast<float>((rgb >> 16) & 0xFF), static_cast<float>((rgb >> 8) & 0xFF),
                   static_cast<float>(rgb & 0xFF)) /
         255.0f;
}

// A display-table pixel as the surface holds it: widened to 8 bits a channel in 32-bit modes.
uint32_t SurfacePixel(const Display& display, uint16_t pixel) {
  if (display.format.bitsPerPixel != 32) return pixel;
  return WidenPixel(pixel, display.format);
}

}  // namespace

// [SECTION] Fixed-point orientation and the scale path

FixedOrientation OrientationOf(const int32_t* sine, const int32_t* record) {
  FixedOrientation o;
  if (ChildRotation(record)) RotateBy(sine, record, model::kWordChildRotationX, &o);
  RotateBy(sine, record, model::kWordRotationX, &o);
  return o;
}

void ForwardOf(const int32_t* sine, const int32_t* record, int32_t out[3]) {
  int32_t sum[3];
  for (int axis = 0; axis < 3; ++axis) {
    int64_t angle = record[model::kWordRotationX + axis];
    if (ChildRotation(record)) angle += record[model::kWordChildRotationX + axis];
    sum[axis] = model::WrapAngle(static_cast<int32_t>(static_cast<uint32_t>(angle)));
  }
  out[0] = 0;
  out[1] = 0;
  out[2] = 65536;
  Rotate(StepOf(sine, sum[0]), StepOf(sine, sum[1]), StepOf(sine, sum[2]), out);
}

glm::quat ScaledPathRotation(const int32_t* record) {
  const glm::quat own = AxisTurns(record, model::kWordRotationX);
  if (!ChildRotation(record)) return own;
  return own * AxisTurns(record, model::kWordChildRotationX);
}

int32_t NextAnimationTime(int32_t time, int32_t step, int32_t start, int32_t end) {
  int64_t value = static_cast<int64_t>(time) + step;
  if (start == end) return static_cast<int32_t>(static_cast<uint32_t>(value));
  if (start >= end) return end;
  if (value < start || value > end) {
    const int64_t span = static_cast<int64_t>(end) - start + 1;
    int64_t offset = (value - end - 1) % span;
    if (offset < 0) offset += span;
    value = (value < start ? static_cast<int64_t>(end) + 1 : start) + offset;
    // A value below the range comes back from its end: keep it inside.
    if (value > end) value -= span;
  }
  return static_cast<int32_t>(value);
}

// [SECTION] Build

int32_t SceneBridge::SlotIndex(uint32_t address) const {
  if (arena_ == nullptr) return -1;
  const uint32_t base = arena_->Address(core::Region::kAspectSlots);
  if (address < base || (address - base) % 64 != 0) return -1;
  const uint32_t index = (address - base) / 64;
  return index < sides_.size() ? static_cast<int32_t>(index) : -1;
}

uint32_t SceneBridge::ElementAddress(int32_t element) const {
  return arena_->Address(core::Region::kElementRecords) + static_cast<uint32_t>(element) * model::kRecordBytes;
}

// The project's backdrop picture, else bckgrnds/bkgr000_.bmp, else the error picture.
const Picture* SceneBridge::LoadBackdrop(const SceneSources& sources) {
  TextureCache& textures = *sources.textures;
  for (const std::string& path : {sources.backdropPicture, sources.root + "bckgrnds/bkgr000_.bmp"}) {
    if (path.empty() || !core::FileExists(path)) continue;
    if (!sources.scrambled) {
      const TextureCache::Entry* entry = textures.Load(path);
      if (!entry->errorPicture) return &entry->picture;
      continue;
    }
    std::string bytes;
    std::string error;
    auto picture = std::make_unique<Picture>();
    if (!core::ReadFile(path, &bytes)) continue;
    model::UnscrambleBytes(&bytes);
    if (!DecodeBmp(bytes, picture.get(), &error)) continue;
    backdrop_ = std::move(picture);
    return backdrop_.get();
  }
  return &textures.Load(sources.root + "bckgrnds/bkgr000_.bmp")->picture;
}

void SceneBridge::BuildBackdrop(const SceneSources& sources) {
  TextureCache& textures = *sources.textures;
  const Picture* picture = LoadBackdrop(sources);

  const int32_t hoodType = std::clamp(sources.project.backgroundStyle, 0, 4);
  const float back = settings.backClip;
  const float scale = back - back * static_cast<float>(101 - settings.frontPercent) * 0.001f;
  // The picture spans the band between the two backdrop rows for a level camera with a 90-degree
  // field across 640 pixels: row r looks up at a slope of (240 - r) / 320.
  int32_t top = sources.project.backgroundTop;
  int32_t bottom = sources.project.backgroundBottom;
  if (bottom <= top) bottom = 479;
  const float slopeTop = static_cast<float>(240 - top) / 320.0f;
  const float slopeBottom = static_cast<float>(240 - bottom) / 320.0f;
  Wrap wrap;
  wrap.type = WrapType::kCylinder;
  wrap.direction = glm::vec3(0, 1, 0);
  wrap.up = glm::vec3(0, 0, -1);
  wrap.uScale = static_cast<float>(std::max(1, sources.backdropRepetitions));
  wrap.vScale = -1.0f / (slopeTop - slopeBottom);
  wrap.vOffset = wrap.vScale * slopeTop;

  for (int half = 0; half < 2; ++half) {
    const std::string path = sources.dataFolder + "hood" + std::to_string(hoodType) + (half == 0 ? "a.x" : "b.x");
    auto object = std::make_unique<XObject>();
    std::string error;
    const int32_t frame = scene_.CreateFrame(sky_);
    hood_[static_cast<size_t>(half)] = frame;
    scene_.At(frame).scale = glm::vec3(scale);
    if (!LoadXFile(path, &textures, object.get(), &error, sources.imports)) {
      std::fprintf(stderr, "main: the backdrop mesh %s cannot be used: %s\n", path.c_str(), error.c_str());
      continue;
    }
    for (const auto& source : object->meshes) {
      auto mesh = std::make_unique<MeshBuilder>(*source);
      for (MeshVertex& v : mesh->Vertices()) {
        v.rgba = 0xFFFFFFFFu;
      }
      mesh->ApplyWrap(wrap);
      mesh->texture = picture;
      mesh->decalTransparency = false;
      mesh->quality = kQualityUnlitFlat;
      mesh->chromeWraps.clear();
      scene_.At(frame).meshes.push_back(scene_.Own(std::move(mesh)));
    }
    hoodObjects_.push_back(std::move(object));
  }
}

void SceneBridge::BuildSlot(int32_t slotIndex, const SceneSources& sources, int32_t* previousLightType) {
  SlotSide& side = sides_[static_cast<size_t>(slotIndex)];
  const auto* slot = reinterpret_cast<const int32_t*>(arena_->Host(core::Region::kAspectSlots) + slotIndex * 64);
  const auto tag = static_cast<uint32_t>(slot[0]);
  const int32_t* records = arena_->As<int32_t>(core::Region::kElementRecords);
  if (tag == kTagVisual && side.visual != nullptr) {
    side.frame = scene_.CreateFrame(side.visual->flatsScene ? flats_ : main_);
    for (const BuiltPart& part : side.visual->parts) scene_.At(side.frame).meshes.push_back(&part.mesh);
  } else if (tag == kTagXVisual && side.xObject) {
    side.frame = scene_.CreateFrame(main_);
    side.placed = std::make_shared<PlacedXObject>(PlaceXObject(&scene_, side.frame, *side.xObject));
  } else if (tag == kTagFlatShape && side.decal) {
    side.frame = scene_.CreateFrame(flats_);
    scene::Decal decal;
    decal.picture = side.decal.get();
    const float size = std::ldexp(1.0f, std::clamp(slot[kFlatShapeShift], 0, 24)) / 5.0f;
    decal.size = glm::vec2(size);
    decal.transparency = true;
    scene_.At(side.frame).decal = decal;
  } else if (tag == kTagLight) {
    side.frame = scene_.CreateFrame(main_);
    scene::Light light;
    const int32_t type = slot[kLightWordType];
    light.type = static_cast<scene::LightType>(type >= 0 && type <= 4 ? type : *previousLightType);
    *previousLightType = light.type;
    const bool on = side.element >= 0 && (Status(records + side.element * model::kRecordWords) & model::kStatusOn) != 0;
    light.colour = on ? ColourOf(static_cast<uint32_t>(slot[kLightWordColour])) : glm::vec3(0.0f);
    light.constant = 0.0f;
    light.linear = 1.0f - static_cast<float>(slot[kLightWordAttenuation] & 0x3FF) / 1024.0f;
    light.quadratic = 0.0f;
    light.penumbra = 1.5f;
    light.umbra = 0.0f;
    light.range = 30.0f;
    side.light = scene_.AddLight(side.frame, light);
  } else if (tag == kTagCamera) {
    side.frame = scene_.CreateFrame(main_);
    scene::Viewport viewport;
    viewport.camera = side.frame;
    const auto scaled = [this](int32_t value) {
      return displayScale_ == 100 ? value : static_cast<int32_t>(static_cast<int64_t>(value) * displayScale_ / 100);
    };
    const CameraParameters camera = ReadCameraParameters(side.camera);
    viewport.x = scaled(camera.left);
    viewport.y = scaled(camera.top);
    viewport.width = std::max(1, scaled(camera.width));
    viewport.height = std::max(1, scaled(camera.height));
    viewport.front = static_cast<float>(settings.frontPercent) / 100.0f;
    // The record holds the lens factor negated; a lens of 0 would make the field infinite, so it
    // reads as 240 (a field as wide as the front distance).
    int32_t lens = camera.lensFactor;
    if (lens == 0) lens = 240;
    viewport.field = std::fabs(viewport.front * 240.0f / static_cast<float>(lens));
    viewport.back = settings.backClip;
    side.viewport = static_cast<int32_t>(viewports_.size());
    viewports_.push_back(viewport);
  }
  (void)sources;
}

void SceneBridge::Build(const SceneSources& sources) {
  arena_ = sources.arena;
  lastElement_ = std::min(sources.lastElement, model::kMaxElements - 1);
  displayMode_ = sources.display != nullptr ? sources.display->displayMode : 1;
  displayScale_ = DisplayModeOf(displayMode_).scale;
  // Without project settings the back clip is 100 m and the front plane 100 %.
  const int32_t clip = sources.project.clipDistance;
  settings.backClip = clip > 0 ? static_cast<float>(clip) : 100.0f;
  const int32_t front = sources.project.fieldOfView;
  settings.frontPercent = clip > 0 && front >= 1 && front <= 100 ? front : 100;

  sky_ = scene_.CreateFrame(scene::kNone);
  main_ = scene_.CreateFrame(scene::kNone);
  shadow_ = scene_.CreateFrame(scene::kNone);
  flats_ = scene_.CreateFrame(scene::kNone);
  scene_.At(flats_).settings.sortMode = scene::kSortBackToFront;
  ApplyRootSettings();
  spareAnimation_ = scene_.CreateAnimation();
  BuildBackdrop(sources);

  int32_t previousLightType = scene::kLightAmbient;
  for (int32_t slot = 0; slot < static_cast<int32_t>(sides_.size()); ++slot) BuildSlot(slot, sources, &previousLightType);
  for (size_t i = 0; i < pathAnimations_.size(); ++i) {
    pathAnimations_[i] = scene_.CreateAnimation();
    pathFrames_[i] = scene_.CreateFrame(main_);
    scene_.AnimationAt(pathAnimations_[i]).frame = pathFrames_[i];
  }
  // The brains' settling steps run before the first frame and may pick: every object starts where
  // its record puts it, and those of elements that are off or hidden start hidden, rather than all
  // of them shown at the origin. No animation moves on until the first update.
  PlaceElements(false);
  built_ = true;
}

void SceneBridge::ApplyRootSettings() {
  const uint32_t colour = settings.backgroundColour;
  const uint32_t fogColour = fog != nullptr ? fog->colour : colour;
  const float start = fog != nullptr ? static_cast<float>(fog->start) / 512.0f : 20.0f;
  const float end = fog != nullptr ? static_cast<float>(fog->end) / 512.0f : 30.0f;
  for (const int32_t root : {sky_, main_, shadow_, flats_}) {
    if (root == scene::kNone) continue;
    scene::SceneSettings& s = scene_.At(root).settings;
    s.background = ColourOf(colour);
    s.fogColour = ColourOf(fogColour);
    s.fogStart = start;
    s.fogEnd = end;
    s.fogEnabled = settings.fogEnabled && root != sky_;
  }
}

// [SECTION] Update

template <typename Visit>
void SceneBridge::ForEachShown(Visit&& visit) const {
  int32_t* records = arena_->As<int32_t>(core::Region::kElementRecords);
  const auto* slots = reinterpret_cast<const int32_t*>(arena_->Host(core::Region::kAspectSlots));
  for (int32_t element = 0; element <= lastElement_; ++element) {
    int32_t* record = records + element * model::kRecordWords;
    if (!OnAndShown(record)) continue;
    const int32_t slot = SlotIndex(static_cast<uint32_t>(record[model::kWordCurrentAspect]));
    if (slot >= 0 && !visit(element, record, slot, slots + slot * kSlotWords)) return;
  }
}

void SceneBridge::FillColours(Display* display) {
  ForEachShown([&](int32_t, const int32_t* record, int32_t slot, const int32_t* words) {
    const auto tag = static_cast<uint32_t>(words[kSlotTag]);
    if (tag == kTagBackground) {
      const uint16_t pixel = display->conversion[static_cast<uint8_t>(words[kBackgroundColour])];
      FillRectangle(display->backSurface.data(), display->format, display->width, display->height,
                    record[model::kWordExtent0], record[model::kWordExtent1], record[model::kWordExtent2] + 1,
                    record[model::kWordExtent3] + 1, SurfacePixel(*display, pixel));
    } else if (tag == kTagCamera && settings.backgroundMode >= 2) {
      const CameraParameters camera = ReadCameraParameters(sides_[static_cast<size_t>(slot)].camera);
      const auto scaled = [this](int32_t value) {
        return static_cast<int32_t>(static_cast<int64_t>(value) * displayScale_ / 100);
      };
      FillRectangle(display->backSurface.data(), display->format, display->width, display->height,
                    scaled(camera.left), scaled(camera.top), scaled(camera.right + 1), scaled(camera.bottom + 1),
                    settings.backgroundPixel);
    }
    return true;
  });
}

void SceneBridge::PlaceElement(int32_t* record, int32_t slotIndex, int32_t* slots, const int32_t* sine, bool animate) {
  SlotSide& side = sides_[static_cast<size_t>(slotIndex)];
  if (side.frame == scene::kNone) return;
  int32_t* slot = slots + slotIndex * 16;
  const auto tag = static_cast<uint32_t>(slot[0]);
  scene::Frame& frame = scene_.At(side.frame);
  const bool scaled = record[model::kWordScaleX] != 1000 || record[model::kWordScaleY] != 1000 ||
                      record[model::kWordScaleZ] != 1000;
  const scene::PlacementSpace& space = frame.parent == spaces_[1].parent ? spaces_[1] : spaces_[0];
  if (tag == kTagFlatShape) {
    if (frame.decal) {
      frame.decal->size = glm::vec2(static_cast<float>(record[model::kWordScaleX]),
                                    static_cast<float>(record[model::kWordScaleY])) /
                          1000.0f;
    }
  } else if ((tag == kTagVisual || tag == kTagXVisual) && scaled) {
    scene::Animation& spare = scene_.AnimationAt(spareAnimation_);
    spare.spline = false;
    spare.closed = false;
    spare.AddScaleKey(0.0f, glm::vec3(static_cast<float>(record[model::kWordScaleX]),
                                      static_cast<float>(record[model::kWordScaleY]),
                                      static_cast<float>(record[model::kWordScaleZ])) /
                                1000.0f);
    spare.AddRotateKey(0.0f, ScaledPathRotation(record));
    spare.frame = side.frame;
    spare.SetTime(&scene_, 0.0f);
    spare.DeleteKey(0.0f);
  } else if (tag == kTagCamera || tag == kTagShape || tag == kTagLight || tag == kTagVisual || tag == kTagXVisual) {
    const FixedOrientation o = OrientationOf(sine, record);
    frame.scale = glm::vec3(1.0f);
    if (space.identity) {
      // The table's vectors are unit and perpendicular to within a few 1/65536: under an unmoved
      // root they are the frame's axes as they are.
      const glm::vec3 direction = Vector(o.direction), up = Vector(o.up);
      frame.orientation = glm::mat3(glm::cross(up, direction), up, direction);
    } else {
      scene_.SetOrientation(side.frame, space, Vector(o.direction), Vector(o.up));
    }
  } else {
    return;
  }
  if (space.identity) {
    frame.position = PositionOf(record);  // a word over 512000 is always a finite float
  } else {
    scene_.SetPosition(side.frame, space, PositionOf(record));
  }
  frame.traversal = scene::kTraversalShown;
  if (animate && tag == kTagXVisual && side.placed && slot[kXWordSet] != -1 && slot[kXWordStep] != 0) {
    SetAnimationTime(&scene_, *side.placed, *side.xObject, slot[kXWordSet], static_cast<float>(slot[kXWordTime]) / 1000.0f);
    slot[kXWordTime] = NextAnimationTime(slot[kXWordTime], slot[kXWordStep], slot[kXWordLoopStart], slot[kXWordLoopEnd]);
  }
}

void SceneBridge::Update(Display* display, bool drawing2d) {
  if (!built_) return;
  const bool surface = drawing2d && display != nullptr && !display->backSurface.empty();
  // 1. Flat frames, drawn only while their refresh counter runs, and only in the 640 x 480 modes.
  if (surface) {
    ForEachShown([&](int32_t, int32_t* record, int32_t, const int32_t* words) {
      // Both 640 x 480 modes: a game looks the same whatever the player's colour depth.
      if (static_cast<uint32_t>(words[kSlotTag]) == kTagFrame &&
          (display->displayMode == 1 || display->displayMode == 2) && record[model::kWordExtent0] > 0) {
        --record[model::kWordExtent0];
        DrawFrame(*arena_, words, display->backSurface.data(), display->format, display->width, display->height);
      }
      return true;
    });
    // 2. Colour fills.
    FillColours(display);
  }
  // 3 and 4.
  PlaceElements(true);
  ApplyRootSettings();
  // 6. Sound placement.
  if (placeSounds) placeSounds();
}

void SceneBridge::PlaceElements(bool animate) {
  int32_t* records = arena_->As<int32_t>(core::Region::kElementRecords);
  // 3. Hide all.
  for (size_t slot = 0; slot < sides_.size(); ++slot) {
    if (sides_[slot].frame != scene::kNone) scene_.At(sides_[slot].frame).traversal = scene::kTraversalHidden;
  }
  // 4. Every element that is on and shown, by the kind of its current slot.
  auto* slots = reinterpret_cast<int32_t*>(arena_->Host(core::Region::kAspectSlots));
  spaces_[0] = scene_.SpaceOf(main_, main_);
  spaces_[1] = scene_.SpaceOf(main_, flats_);
  const int32_t* sine = arena_->As<int32_t>(core::Region::kSineFine);
  for (int32_t element = 0; element <= lastElement_; ++element) {
    int32_t* record = records + element * model::kRecordWords;
    if (!OnAndShown(record)) continue;
    const int32_t slot = SlotIndex(static_cast<uint32_t>(record[model::kWordCurrentAspect]));
    if (slot >= 0) PlaceElement(record, slot, slots, sine, animate);
  }
}

// [SECTION] Render

bool SceneBridge::CameraPass(int32_t element, const scene::Viewport** viewport) const {
  const int32_t* record = arena_->As<int32_t>(core::Region::kElementRecords) + element * model::kRecordWords;
  if (!OnAndShown(record)) return false;
  const int32_t slot = SlotIndex(static_cast<uint32_t>(record[model::kWordCurrentAspect]));
  if (slot < 0 || sides_[static_cast<size_t>(slot)].viewport < 0) return false;
  *viewport = &viewports_[static_cast<size_t>(sides_[static_cast<size_t>(slot)].viewport)];
  return true;
}

void SceneBridge::Render(Display* display, scene::Renderer* renderer) {
  if (!built_) return;
  Update(display, true);
  const bool drawing = renderer != nullptr && renderer->IsOpen() && display != nullptr;
  if (drawing) {
    renderer->BeginFrame(display->width, display->height);
    if (!display->backSurface.empty()) {
      renderer->DrawSurface(display->backSurface.data(), display->format.bitsPerPixel, display->format.pitch,
                            display->width, display->height);
    }
  }
  for (int32_t element = 0; element <= lastElement_; ++element) {
    const scene::Viewport* viewport = nullptr;
    if (!CameraPass(element, &viewport)) continue;
    if (!drawing) continue;
    renderer->ClearDepth(*viewport);
    if (settings.backgroundMode == 1) {
      const glm::vec3 at = scene_.GetPosition(viewport->camera, main_);
      for (const int32_t half : hood_) {
        if (half != scene::kNone) scene_.SetPosition(half, sky_, at);
      }
      // The hood reaches out to the back clip distance; seen from a tilted camera its far parts lie
      // deeper than that, so the sky pass is not clipped at the back plane.
      scene::Viewport sky = *viewport;
      sky.back = std::max(sky.back, settings.backClip) * 2.0f;
      renderer->Render(scene_, sky_, sky);
      renderer->ClearDepth(*viewport);
    }
    renderer->Render(scene_, main_, *viewport);
    if (settings.flatsPriority == 0) renderer->Render(scene_, flats_, *viewport);
  }
  if (settings.flatsPriority != 0 && drawing) {
    for (int32_t element = 0; element <= lastElement_; ++element) {
      const scene::Viewport* viewport = nullptr;
      if (CameraPass(element, &viewport)) renderer->Render(scene_, flats_, *viewport);
    }
  }
  Draw2dPass(display, drawing ? renderer : nullptr);
  if (commitSounds) commitSounds();
}

bool SceneBridge::HasScreenElements() const {
  bool found = false;
  ForEachShown([&](int32_t, const int32_t*, int32_t, const int32_t* words) {
    const auto tag = static_cast<uint32_t>(words[kSlotTag]);
    found = tag == kTagSprite || tag == kTagCounter;
    return !found;
  });
  return found;
}

void SceneBridge::DrawScreenElements(const Surface& surface) const {
  ForEachShown([&](int32_t, const int32_t* record, int32_t, const int32_t* words) {
    const auto tag = static_cast<uint32_t>(words[kSlotTag]);
    if (tag == kTagSprite) {
      const bool translucent = (static_cast<uint32_t>(record[model::kWordStatus]) & model::kStatusTranslucent) != 0;
      DrawSprite(*arena_, words, record[model::kWordPositionX], record[model::kWordPositionY],
                 SpriteClip(record, surface.width, surface.height), translucent, surface);
    } else if (tag == kTagCounter) {
      DrawCounter(*arena_, words, CounterOf(record), surface);
    }
    return true;
  });
}

void SceneBridge::Draw2dPass(Display* display, scene::Renderer* renderer) {
  if (display == nullptr || !display->Back().Usable()) return;
  if (!HasScreenElements() && !(pending2d && pending2d())) return;
  // Sprites and text are drawn over what the cameras drew, as onto one back buffer: the frame is
  // read back into a surface of the back surface's layout, drawn on, and shown over the frame.
  composed_.resize(display->backSurface.size());
  Surface surface = display->Back();
  surface.pixels = composed_.data();
  const PixelFormat& format = display->format;
  const bool readable = format.bitsPerPixel == 32 || format.redShift == 11;  // the frame reads back as 5-6-5
  if (renderer == nullptr || !readable ||
      !renderer->ReadSurface(surface.pixels, format.bitsPerPixel, format.pitch, surface.width, surface.height)) {
    std::copy(display->backSurface.begin(), display->backSurface.end(), composed_.begin());
  }
  DrawScreenElements(surface);
  if (draw2d) draw2d(surface);
  if (renderer != nullptr) {
    renderer->DrawSurface(surface.pixels, format.bitsPerPixel, format.pitch, surface.width, surface.height, 1);
  }
}

// [SECTION] Picking

uint32_t SceneBridge::ElementShowing(int32_t slot) const {
  const int32_t* records = arena_->As<int32_t>(core::Region::kElementRecords);
  for (int32_t element = 0; element <= lastElement_; ++element) {
    if (SlotIndex(static_cast<uint32_t>(records[element * model::kRecordWords + model::kWordCurrentAspect])) == slot) {
      return ElementAddress(element);
    }
  }
  return 0;
}

namespace {

// The slot whose frame is the hit's child of the root scene.
int32_t HitSlot(const std::vector<SlotSide>& sides, const scene::PickHit& hit) {
  if (hit.path.size() < 2) return -1;
  const int32_t frame = hit.path[1];
  for (size_t slot = 0; slot < sides.size(); ++slot) {
    if (sides[slot].frame == frame) return static_cast<int32_t>(slot);
  }
  return -1;
}

void HitWords(const glm::vec3& position, int32_t out[3]) {
  if (out == nullptr) return;
  for (int axis = 0; axis < 3; ++axis) {
    out[axis] = static_cast<int32_t>(std::clamp(std::round(static_cast<double>(position[axis]) * 512000.0), -2147483648.0,
                                                2147483647.0));
  }
}

}  // namespace

uint32_t SceneBridge::PickAtPointer(int32_t pointerX, int32_t pointerY, int32_t hit[3]) const {
  if (!built_) return 0;
  for (int32_t element = 0; element <= lastElement_; ++element) {
    const scene::Viewport* viewport = nullptr;
    if (!CameraPass(element, &viewport)) continue;
    const glm::vec3 origin = scene_.GetPosition(viewport->camera, scene::kNone);
    const glm::vec3 through = viewport->InverseTransform(
        scene_, glm::vec3(static_cast<float>(pointerX - viewport->x), static_cast<float>(pointerY - viewport->y), 0.0f));
    scene::PickHit found;
    if (!scene_.Pick(main_, origin, through - origin, &found)) continue;
    HitWords(found.position, hit);
    return ElementShowing(HitSlot(sides_, found));
  }
  return 0;
}

uint32_t SceneBridge::PickAlong(const int32_t* record, int32_t hit[3]) const {
  if (!built_) return 0;
  int32_t forward[3];
  ForwardOf(arena_->As<int32_t>(core::Region::kSineFine), record, forward);
  // The element's own frame is taken out of the pick: the ray starts inside it.
  const int32_t own = SlotIndex(static_cast<uint32_t>(record[model::kWordCurrentAspect]));
  scene::Scene& graph = const_cast<scene::Scene&>(scene_);
  int32_t ownFrame = own >= 0 ? sides_[static_cast<size_t>(own)].frame : scene::kNone;
  int32_t kept = scene::kTraversalHidden;
  if (ownFrame != scene::kNone) {
    kept = graph.At(ownFrame).traversal;
    graph.At(ownFrame).traversal = scene::kTraversalHidden;
  }
  scene::PickHit found;
  const bool any = graph.Pick(main_, PositionOf(record), Vector(forward), &found);
  if (ownFrame != scene::kNone) graph.At(ownFrame).traversal = kept;
  if (!any) return 0;
  HitWords(found.position, hit);
  return ElementShowing(HitSlot(sides_, found));
}

// [SECTION] Dump and release

namespace {

std::string Number(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", static_cast<double>(value));
  return text;
}

std::string Triple(const glm::vec3& v) { return "[" + Number(v.x) + ", " + Number(v.y) + ", " + Number(v.z) + "]"; }

}  // namespace

std::string SceneBridge::Json() const {
  const uint32_t colour = settings.backgroundColour;
  std::string json = "{\"background_mode\": " + std::to_string(settings.backgroundMode) + ", \"background_colour\": [" +
                     std::to_string((colour >> 16) & 0xFF) + ", " + std::to_string((colour >> 8) & 0xFF) + ", " +
                     std::to_string(colour & 0xFF) + "], \"flats_priority\": " + std::to_string(settings.flatsPriority);
  const uint32_t fogColour = fog != nullptr ? fog->colour : colour;
  json += ", \"fog\": {\"enabled\": " + std::string(settings.fogEnabled ? "true" : "false") +
          ", \"start\": " + Number(fog != nullptr ? static_cast<float>(fog->start) / 512.0f : 0.0f) +
          ", \"end\": " + Number(fog != nullptr ? static_cast<float>(fog->end) / 512.0f : 0.0f) + ", \"colour\": [" +
          std::to_string((fogColour >> 16) & 0xFF) + ", " + std::to_string((fogColour >> 8) & 0xFF) + ", " +
          std::to_string(fogColour & 0xFF) + "]}";
  json += ", \"viewports\": [";
  bool first = true;
  for (const SlotSide& side : sides_) {
    if (side.viewport < 0) continue;
    const scene::Viewport& v = viewports_[static_cast<size_t>(side.viewport)];
    json += std::string(first ? "" : ", ") + "{\"element\": " + std::to_string(side.element) + ", \"rect\": [" +
            std::to_string(v.x) + ", " + std::to_string(v.y) + ", " + std::to_string(v.width) + ", " +
            std::to_string(v.height) + "], \"front\": " + Number(v.front) + ", \"back\": " + Number(v.back) +
            ", \"field\": " + Number(v.field) + "}";
    first = false;
  }
  json += "], \"objects\": [";
  first = true;
  const auto* slots = arena_ != nullptr ? reinterpret_cast<const int32_t*>(arena_->Host(core::Region::kAspectSlots)) : nullptr;
  for (size_t slot = 0; slot < sides_.size() && slots != nullptr; ++slot) {
    const SlotSide& side = sides_[slot];
    if (side.frame == scene::kNone) continue;
    const int32_t root = scene_.RootOf(side.frame);
    const char* sceneName = root == flats_ ? "flats" : root == sky_ ? "sky" : root == shadow_ ? "shadow" : "main";
    glm::vec3 direction, up;
    scene_.GetOrientation(side.frame, main_, &direction, &up);
    json += std::string(first ? "\n" : ",\n") + "{\"element\": " + std::to_string(side.element) +
            ", \"slot\": " + std::to_string(slot) + ", \"kind\": \"" + SlotTagText(static_cast<uint32_t>(slots[slot * 16])) +
            "\", \"scene\": \"" + sceneName + "\", \"shown\": " + (scene_.Shown(side.frame) ? "true" : "false") +
            ", \"position\": " + Triple(scene_.GetPosition(side.frame, main_)) + ", \"direction\": " + Triple(direction) +
            ", \"up\": " + Triple(up) + ", \"scale\": " + Triple(scene_.At(side.frame).scale) + "}";
    first = false;
  }
  return json + "]}";
}

void SceneBridge::Release(scene::Renderer* renderer) {
  if (renderer != nullptr) renderer->ReleaseAll();
  scene_.Clear();
  viewports_.clear();
  for (auto it = sides_.rbegin(); it != sides_.rend(); ++it) *it = SlotSide{};
  sides_.clear();
  hoodObjects_.clear();
  backdrop_.reset();
  hood_ = {scene::kNone, scene::kNone};
  sky_ = main_ = shadow_ = flats_ = scene::kNone;
  spareAnimation_ = -1;
  built_ = false;
}

}  // namespace engine
