// The scene bridge: turns the element state records of a play into the scene layer's objects and
// keeps them in step, frame by frame. Builds the root scenes, the backdrop and one scene object per
// aspect slot; copies positions, orientations and scales from the records every frame; renders the
// cameras' viewports over the CPU back surface; answers picking. Calls the scene layer, the picture
// forms, the .x reader, the display and model's record words.
//
// Order of calls, once per play: the aspect loader fills the arena's slot table and Sides() while
// the project loads; Build; then per displayed frame Render (which starts with Update); Release when
// the play ends. Every object made here goes with Release; nothing outlives the play.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/core.h"
#include "engine/display.h"
#include "engine/pictures/bmp.h"
#include "engine/pictures/counters.h"
#include "engine/pictures/forms.h"
#include "engine/pictures/sprites.h"
#include "engine/scene/camera_file.h"
#include "engine/scene/renderer.h"
#include "engine/scene/scene.h"
#include "model/model.h"

namespace engine {

struct BuiltFrame;
struct XObject;
struct PlacedXObject;

// Aspect kind tags (SlotTag: the kind's file extension written backwards and a dot).
inline constexpr uint32_t kTagCamera = kCameraTag;
inline constexpr uint32_t kTagShape = SlotTag("d3a.");
inline constexpr uint32_t kTagFlatShape = kFlatShapeTag;
inline constexpr uint32_t kTagSprite = kSpriteTag;
inline constexpr uint32_t kTagFrame = kFrameTag;
inline constexpr uint32_t kTagBackground = kBackgroundTag;
inline constexpr uint32_t kTagCounter = kCounterTag;
inline constexpr uint32_t kTagLight = SlotTag("d3l.");
inline constexpr uint32_t kTagVisual = SlotTag("d3v.");
inline constexpr uint32_t kTagXVisual = SlotTag("d3x.");

// Words of a light slot (after the tag).
enum LightSlotWord : int { kLightWordType = 1, kLightWordColour = 2, kLightWordAttenuation = 3, kLightWordElement = 4 };
// Words of an animated .x slot: the animation set shown (-1 none), the step added to the time at
// every scene update, the time (the set is shown at time / 1000 of its ticks), the loop range.
enum XSlotWord : int {
  kXWordSet = 1,
  kXWordStep = 2,
  kXWordTime = 3,
  kXWordLoopStart = 4,
  kXWordLoopEnd = 5,
  kXWordElement = 6,
  kXWordFrame = 7,
};

// What the aspect loader keeps beside a slot for the scene: indexed like the slot table.
struct SlotSide {
  int32_t element = -1;
  int32_t master = -1;  // the first slot loaded from the same file
  CameraFile camera;                        // cameras: the slot image and parameter record, kept whole
  const BuiltFrame* visual = nullptr;       // visuals: the built frame this slot shows
  std::shared_ptr<Picture> decal;           // flat shapes: the picture of the decal
  std::shared_ptr<XObject> xObject;         // .x visuals
  // Made by Build.
  int32_t frame = scene::kNone;
  int32_t viewport = -1;
  int32_t light = scene::kNone;
  std::shared_ptr<PlacedXObject> placed;
};

// Render settings of the play.
struct RenderSettings {
  int32_t backgroundMode = 0;  // 0 none, 1 backdrop, 2 and above a colour fill of each camera
  int32_t flatsPriority = 0;   // 1: every camera's flats after all the main scenes
  bool fogEnabled = false;
  uint32_t backgroundColour = 0xFF000000u;  // 0xAARRGGBB
  uint32_t backgroundPixel = 0;             // the same as a back-surface pixel
  int32_t frontPercent = 100;               // 1..100
  float backClip = 100.0f;                  // metres
  float shadowDepthOffset = 0.001f;
};

// What Build reads besides the slot table.
struct SceneSources {
  core::Arena* arena = nullptr;
  int32_t lastElement = -1;
  const Display* display = nullptr;
  model::SceneSettings project;  // clip distance, backdrop rows and hood type, front-plane percentage
  std::string backdropPicture;   // absolute; may be missing
  int32_t backdropRepetitions = 1;
  std::string root;        // the working folder, ending in '/'
  std::string dataFolder;  // ending in '/'
  TextureCache* textures = nullptr;
  bool scrambled = false;  // a finished game: the backdrop picture is stored scrambled
  // The backdrop meshes are the same file at every play: kept imported here when given.
  platform::ModelImportCache* imports = nullptr;
};

// The fixed-point orientation of a record: direction and up in 1/65536, from the sine table.
struct FixedOrientation {
  int32_t direction[3] = {0, 0, 65536};
  int32_t up[3] = {0, 65536, 0};
};
// Rotates (0, 0, 65536) and (0, 65536, 0) by the wrapped child rotation when the record's
// child-rotation flag is set, then by the wrapped rotation; each rotation turns about x, then z,
// then y, skipping a turn whose wrapped angle is below 64; 64-bit products shifted by 15.
FixedOrientation OrientationOf(const int32_t* sine, const int32_t* record);
// (0, 0, 65536) turned by the wrapped sums rotation + child rotation (the child part only with the
// flag), x then z then y: the forward vector of `visual_ray`.
void ForwardOf(const int32_t* sine, const int32_t* record, int32_t out[3]);
// The scale path's rotation: qx about x by -rotation x, qy about y by rotation y, qz about z by
// -rotation z (0.000034088 radians per unit), as a rotation of the scene, composed so that it turns
// vectors as OrientationOf does; the child rotation applies first when flagged.
glm::quat ScaledPathRotation(const int32_t* record);
// The .x animation time after one step: time + step, wrapped into [start, end] when they differ.
int32_t NextAnimationTime(int32_t time, int32_t step, int32_t start, int32_t end);

class SceneBridge {
 public:
  // The aspect loader's side table, one entry per slot used.
  std::vector<SlotSide>& Sides() { return sides_; }
  const std::vector<SlotSide>& Sides() const { return sides_; }

  // Builds the root scenes, the backdrop, the objects of every slot, the path animations.
  void Build(const SceneSources& sources);
  bool Built() const { return built_; }
  // Scene update: flat frames and colour fills into the back surface (when `drawing2d`), then
  // every element's frame from its record.
  void Update(Display* display, bool drawing2d);
  // One displayed frame without its presentation: update, the back surface under everything, the
  // camera passes, then the 2D pass (sprites and counters in element order, then draw2d) over
  // them. `renderer` may be null (no GL): the scene is still updated and the 2D pass drawn over a
  // copy of the back surface.
  void Render(Display* display, scene::Renderer* renderer);
  // Releases every scene object and forgets the slots' side table; the renderer drops what it
  // made for them.
  void Release(scene::Renderer* renderer);

  // Picking. The element (its record's guest address) whose current slot shows the first hit of
  // the pointer ray of each shown camera in turn, 0 when none; *hit gets the hit point (position
  // units) when given. The pointer is in frame pixels.
  uint32_t PickAtPointer(int32_t pointerX, int32_t pointerY, int32_t hit[3]) const;
  // The ray from the element's position along its forward vector; the element itself is not hit.
  uint32_t PickAlong(const int32_t* record, int32_t hit[3]) const;

  // The scene state as JSON (the "scene" member of a state dump), in scene units as last updated.
  std::string Json() const;

  RenderSettings settings;
  model::Fog* fog = nullptr;  // the play's fog (start and end in 1/512 metre, colour 0xAARRGGBB)
  // The text of the 2D pass, drawn after the sprites and counters onto the pass's surface, and
  // whether there is any this frame (a frame without sprites, counters or text skips the pass).
  std::function<void(const Surface&)> draw2d;
  std::function<bool()> pending2d;
  // The sound layer's steps: placing the listener and the element sounds at the end of every
  // update, committing them at the end of every rendered frame. Empty: no sound.
  std::function<void()> placeSounds;
  std::function<void()> commitSounds;
  scene::Scene& Graph() { return scene_; }
  const scene::Scene& Graph() const { return scene_; }
  int32_t MainScene() const { return main_; }

 private:
  int32_t SlotIndex(uint32_t address) const;
  uint32_t ElementAddress(int32_t element) const;
  uint32_t ElementShowing(int32_t slot) const;
  const Picture* LoadBackdrop(const SceneSources& sources);
  void BuildBackdrop(const SceneSources& sources);
  void BuildSlot(int32_t slot, const SceneSources& sources, int32_t* previousLightType);
  // Hides every slot's frame, then places the frame of each element that is on and shown from its
  // record; `animate` also moves .x animations one step on.
  void PlaceElements(bool animate);
  // `slots` and `sine`: the arena's slot table and fine sine table.
  void PlaceElement(int32_t* record, int32_t slot, int32_t* slots, const int32_t* sine, bool animate);
  void FillColours(Display* display);
  void ApplyRootSettings();
  bool CameraPass(int32_t element, const scene::Viewport** viewport) const;
  // Calls visit(element, record, slot index, slot words) for each element that is on and shown and
  // shows a slot, in element order; stops early when visit returns false.
  template <typename Visit>
  void ForEachShown(Visit&& visit) const;
  // Whether an element that is on and shown shows a sprite or a counter now.
  bool HasScreenElements() const;
  void DrawScreenElements(const Surface& surface) const;
  // Steps 5 and 6 of a frame: the frame so far read back (or the back surface copied), sprites,
  // counters and text drawn onto it, the result shown over the frame.
  void Draw2dPass(Display* display, scene::Renderer* renderer);

  core::Arena* arena_ = nullptr;
  int32_t lastElement_ = -1;
  bool built_ = false;
  scene::Scene scene_;
  std::vector<SlotSide> sides_;
  std::vector<scene::Viewport> viewports_;
  int32_t sky_ = scene::kNone, main_ = scene::kNone, shadow_ = scene::kNone, flats_ = scene::kNone;
  std::array<int32_t, 2> hood_{scene::kNone, scene::kNone};
  std::vector<std::unique_ptr<XObject>> hoodObjects_;
  std::unique_ptr<Picture> backdrop_;  // a backdrop read through the scrambling
  int32_t spareAnimation_ = -1;
  // The main scene's and the flats' frames placed relative to the main scene, worked out once per
  // update: nothing moves those roots while the elements are placed.
  std::array<scene::PlacementSpace, 2> spaces_{};
  // Turns gathered while placing the elements and applied together: one short loop of them keeps
  // several orthonormalisations in flight at once. Reserved at Build, so updates do not allocate.
  std::array<int32_t, 50> pathAnimations_{};
  std::array<int32_t, 50> pathFrames_{};
  int32_t displayMode_ = 1;
  int32_t displayScale_ = 100;
  std::vector<uint8_t> composed_;  // the 2D pass's surface, kept between frames so it is not cleared again
};

}  // namespace engine
