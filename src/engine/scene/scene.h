// The scene layer's retained graph: frames in trees under root scenes, the meshes, lights and
// decals they show, viewports, key-framed animations and ray picking. CPU side only (the renderer
// draws what is held here). Calls GLM and the mesh builder.
//
// Coordinates are left-handed: x right, y up, z away from a camera at rest. A frame's orientation is
// its direction (z) and up (y); its right is x = up x direction. A camera looks along its frame's
// direction. One scene unit is one metre.
//
// Ownership: a Scene owns its frames, lights, animations and the meshes handed to Own(); meshes
// shown by pointer without Own() (a play's visual library) must outlive the scene. Ids are indices
// that stay valid until Clear(); kNone means no object.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include <glm/gtc/quaternion.hpp>
#include <glm/mat3x3.hpp>
#include <glm/mat4x4.hpp>
#include <glm/vec2.hpp>
#include <glm/vec3.hpp>

#include "engine/scene/mesh_builder.h"

namespace engine {

struct Picture;

namespace scene {

inline constexpr int32_t kNone = -1;

// Traversal options: 0 hides a frame and its children (not drawn, not picked), 3 shows them.
inline constexpr int32_t kTraversalHidden = 0;
inline constexpr int32_t kTraversalShown = 3;

// Sort modes of a root scene: 2 draws objects in tree order (the z-buffer sorts), 3 draws them
// back to front by the view depth of their frame's origin. Translucent faces are always drawn
// after the opaque ones, back to front.
inline constexpr int32_t kSortTree = 2;
inline constexpr int32_t kSortBackToFront = 3;

enum LightType : int32_t {
  kLightAmbient = 0,
  kLightPoint = 1,
  kLightSpot = 2,
  kLightDirectional = 3,
  kLightParallelPoint = 4,
};

// A light in a frame. Point, spot and parallel-point lights shine from the frame's origin;
// spot and directional lights along the frame's direction. Attenuation a = min(1, 1 / (linear x
// distance)) (1 when linear x distance <= 0), 0 beyond `range`; constant and quadratic are kept
// for completeness. A spot is full inside umbra / 2 and fades to 0 at penumbra / 2 (radians).
struct Light {
  LightType type = kLightAmbient;
  glm::vec3 colour{1.0f};  // 0..1 per channel
  float constant = 0.0f;
  float linear = 1.0f;
  float quadratic = 0.0f;
  float umbra = 0.0f;
  float penumbra = 1.5f;
  float range = 30.0f;
};

// A flat-shape decal: a camera-facing square of `size` scene units centred on its frame, showing
// the picture (unlit). With `transparency`, texels of colour (0, 0, 0) are not drawn.
struct Decal {
  const Picture* picture = nullptr;  // not owned; must outlive the scene
  glm::vec2 size{1.0f};
  bool transparency = true;
};

// What a root scene keeps for its whole tree: fog (linear by view depth, in scene units), the
// background colour and the sort mode.
struct SceneSettings {
  int32_t sortMode = kSortTree;
  bool fogEnabled = false;
  glm::vec3 fogColour{0.0f};
  float fogStart = 20.0f;
  float fogEnd = 30.0f;
  glm::vec3 background{0.0f};
};

struct Frame {
  int32_t parent = kNone;
  std::vector<int32_t> children;  // in the order they were made
  // Relative to the parent (to the world for a root): position, orientation as the columns right,
  // up, direction, and a scale applied before the orientation.
  glm::vec3 position{0.0f};
  glm::mat3 orientation{1.0f};
  glm::vec3 scale{1.0f};
  int32_t traversal = kTraversalShown;
  std::vector<const MeshBuilder*> meshes;  // shown by this frame
  int32_t light = kNone;                   // index into Scene lights
  std::optional<Decal> decal;
  SceneSettings settings;  // used on roots only
};

// A viewport: a rectangle of the frame (pixels, top-left origin) that a camera frame renders into.
// Projection: front and back planes in scene units; `field` is half the view's extent at the front
// plane along the rectangle's larger side; pixels are square.
struct Viewport {
  int32_t camera = kNone;
  int32_t x = 0, y = 0, width = 640, height = 480;
  float front = 1.0f;
  float back = 100.0f;
  float field = 0.5f;

  // Camera space (x right, y up, z forward) to clip space; depth 0 at front, 1 at back in NDC
  // terms of OpenGL (-1..1).
  glm::mat4 Projection() const;
  // World point -> viewport pixel (x right, y down, from the viewport's top-left) and depth (0 at
  // the front plane, 1 at the back); false when the point is behind the camera.
  bool Transform(const class Scene& scene, const glm::vec3& world, glm::vec3* screen) const;
  // Viewport pixel and depth (0 front plane, 1 back plane) -> world point. The depth is the OpenGL
  // window depth (NDC depth mapped to 0..1, not linear in distance), so the two are exact inverses.
  glm::vec3 InverseTransform(const class Scene& scene, const glm::vec3& screen) const;
};

// A key-framed animation bound to one frame. Keys are kept sorted by time; keys of the same kind at
// the same time replace each other. SetTime applies the keys of each kind that has any: position
// (relative to the frame's parent), scale, rotation (a quaternion giving the frame's orientation
// relative to its parent). Linear interpolation, or Catmull-Rom splines through the keys (position
// and scale; rotations use spherical interpolation either way). Closed: times wrap modulo the last
// key's time, and the splines run from the last key back to the first.
struct Animation {
  struct VectorKey {
    float time;
    glm::vec3 value;
  };
  struct RotationKey {
    float time;
    glm::quat value;
  };
  bool spline = false;
  bool closed = false;
  int32_t frame = kNone;
  std::vector<VectorKey> positions;
  std::vector<VectorKey> scales;
  std::vector<RotationKey> rotations;

  void AddPositionKey(float time, const glm::vec3& position);
  void AddScaleKey(float time, const glm::vec3& scale);
  void AddRotateKey(float time, const glm::quat& rotation);
  // Deletes every key at `time`.
  void DeleteKey(float time);
  // Sets the bound frame's transform for `time`; nothing without a frame.
  void SetTime(class Scene* scene, float time) const;
  bool Empty() const { return positions.empty() && scales.empty() && rotations.empty(); }
};

// The first hit of a ray: the frame that shows the hit mesh, the path of frames from the root
// down to it, the hit point (world) and the distance along the ray (in units of the direction's
// length).
struct PickHit {
  int32_t frame = kNone;
  std::vector<int32_t> path;
  glm::vec3 position{0.0f};
  float distance = 0.0f;
};

// What placing frames under one parent relative to one reference frame needs, worked out once so
// that placing many siblings does not redo it: the reference's world matrix and the parent's
// inverse. Made by Scene::SpaceOf; stays right while neither frame nor any of their ancestors
// moves (placing a frame inside the reference's ancestry moves them).
struct PlacementSpace {
  int32_t reference = kNone;
  int32_t parent = kNone;
  glm::mat4 referenceWorld{1.0f};
  glm::mat4 parentInverse{1.0f};
  glm::mat3 parentInverse3{1.0f};  // of the parent's world matrix without its translation
  bool parentInvertible = true;
  // Both matrices are the identity (frames under an unmoved root, placed relative to it): a
  // placement is then the frame's own position and orientation.
  bool identity = true;
};

class Scene {
 public:
  // Makes a frame under `parent` (kNone: a new root scene).
  int32_t CreateFrame(int32_t parent);
  Frame& At(int32_t frame) { return frames_[static_cast<size_t>(frame)]; }
  const Frame& At(int32_t frame) const { return frames_[static_cast<size_t>(frame)]; }
  size_t FrameCount() const { return frames_.size(); }
  bool Valid(int32_t frame) const { return frame >= 0 && static_cast<size_t>(frame) < frames_.size(); }
  int32_t RootOf(int32_t frame) const;
  // The frame and all its ancestors have traversal options other than 0.
  bool Shown(int32_t frame) const;

  // The frame's transform to world space (scale, orientation, position, then the parent's).
  glm::mat4 WorldMatrix(int32_t frame) const;
  // Position and orientation relative to `reference` (kNone: the world). Setting keeps the frame's
  // scale. Direction and up need not be unit or perpendicular: up is made perpendicular to the
  // direction and both are normalised; a zero or parallel pair leaves the orientation as it was.
  void SetPosition(int32_t frame, int32_t reference, const glm::vec3& position);
  glm::vec3 GetPosition(int32_t frame, int32_t reference) const;
  void SetOrientation(int32_t frame, int32_t reference, const glm::vec3& direction, const glm::vec3& up);
  void GetOrientation(int32_t frame, int32_t reference, glm::vec3* direction, glm::vec3* up) const;
  // The same setters through a space made for the frame's parent: exactly what the forms above
  // give, without working out the two frames' matrices again. A space made for another parent is
  // worked out afresh.
  PlacementSpace SpaceOf(int32_t reference, int32_t parent) const;
  void SetPosition(int32_t frame, const PlacementSpace& space, const glm::vec3& position);
  void SetOrientation(int32_t frame, const PlacementSpace& space, const glm::vec3& direction, const glm::vec3& up);

  // Lights: added to a frame (replacing its light); the frame's light index.
  int32_t AddLight(int32_t frame, const Light& light);
  Light& LightAt(int32_t light) { return lights_[static_cast<size_t>(light)]; }
  const Light& LightAt(int32_t light) const { return lights_[static_cast<size_t>(light)]; }
  size_t LightCount() const { return lights_.size(); }

  // Takes a mesh for the scene's lifetime; the pointer to show in frames.
  const MeshBuilder* Own(std::unique_ptr<MeshBuilder> mesh);

  int32_t CreateAnimation();
  Animation& AnimationAt(int32_t animation) { return animations_[static_cast<size_t>(animation)]; }
  size_t AnimationCount() const { return animations_.size(); }

  // The first hit of the ray origin + t direction (t > 0) against the meshes of the shown frames
  // of the tree under `root`; decals are not hit. Faces count from both sides. Keeps each mesh's
  // box for later picks (not safe to call from two threads at once).
  bool Pick(int32_t root, const glm::vec3& origin, const glm::vec3& direction, PickHit* hit) const;
  // Forgets the boxes Pick keeps; call after moving the vertices of a shown mesh in place (adding
  // or removing faces is noticed without it).
  void ForgetPickBounds() { pickBounds_.clear(); }

  // Forgets everything, in reverse order of creation.
  void Clear();

 private:
  std::vector<Frame> frames_;
  std::vector<Light> lights_;
  std::vector<Animation> animations_;
  std::vector<std::unique_ptr<MeshBuilder>> owned_;

  struct MeshBounds {
    glm::vec3 min{0.0f}, max{0.0f};
    bool empty = true;
    const MeshVertex* vertices = nullptr;  // what the box was made from, to notice changes
    size_t count = 0;
  };
  const MeshBounds& BoundsOf(const MeshBuilder* mesh) const;
  mutable std::unordered_map<const MeshBuilder*, MeshBounds> pickBounds_;
};

// The view matrix of a camera frame: the inverse of its world matrix with the scale taken out
// (identity for kNone).
glm::mat4 ViewMatrix(const Scene& scene, int32_t camera);

}  // namespace scene
}  // namespace engine
