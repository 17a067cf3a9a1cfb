// The scene layer's key-framed animations: sorted keys, linear and Catmull-Rom interpolation,
// spherical interpolation of rotations, closed loops; applied to a frame of a scene. Calls GLM.
#include <algorithm>
#include <cmath>

#include <glm/geometric.hpp>
#include <glm/gtc/quaternion.hpp>

#include "engine/scene/scene.h"

namespace engine::scene {
namespace {

template <typename Key, typename Value>
void Insert(std::vector<Key>* keys, float time, const Value& value) {
  auto at = std::lower_bound(keys->begin(), keys->end(), time, [](const Key& k, float t) { return k.time < t; });
  if (at != keys->end() && at->time == time) {
    at->value = value;
  } else {
    keys->insert(at, Key{time, value});
  }
}

template <typename Key>
void Erase(std::vector<Key>* keys, float time) {
  std::erase_if(*keys, [time](const Key& k) { return k.time == time; });
}

// Which keys a time falls between: keys a and b with the fraction s of the way from a to b, and
// the neighbours before a and after b that a spline passes through.
struct Segment {
  size_t before, a, b, after;
  float s;
};

// For n >= 2 keys sorted by time. Open: times outside the keys stop at the end keys. Closed: the
// time wraps modulo the last key's time, which stands for time 0 as well; a first key later than
// 0 leaves a closing segment from the last key (at 0) to the first. When the first key is at 0 it
// and the last key are the same point of the loop, so the spline's neighbours skip over it.
template <typename Key>
Segment Locate(const std::vector<Key>& keys, float time, bool closed) {
  const size_t n = keys.size();
  const float first = keys.front().time, last = keys.back().time;
  if (closed && last > 0.0f && std::isfinite(time)) {
    time = std::fmod(time, last);
    if (time < 0.0f) time += last;
    const bool gap = first > 0.0f;
    const size_t beforeFirst = gap ? n - 1 : n - 2;
    const size_t afterLast = gap ? 0 : 1;
    if (time < first) {
      // The closing segment: the last key at time 0 to the first key.
      return {n - 2, n - 1, 0, 1, time / first};
    }
    size_t i = static_cast<size_t>(
                   std::upper_bound(keys.begin(), keys.end(), time, [](float t, const Key& k) { return t < k.time; }) -
                   keys.begin()) -
               1;
    if (i >= n - 1) i = n - 2;
    const float span = keys[i + 1].time - keys[i].time;
    const float s = span > 0.0f ? std::clamp((time - keys[i].time) / span, 0.0f, 1.0f) : 0.0f;
    return {i == 0 ? beforeFirst : i - 1, i, i + 1, i + 2 < n ? i + 2 : afterLast, s};
  }
  if (!(time > first)) return {0, 0, 0, 0, 0.0f};
  if (!(time < last)) return {n - 1, n - 1, n - 1, n - 1, 0.0f};
  size_t i = static_cast<size_t>(
                 std::upper_bound(keys.begin(), keys.end(), time, [](float t, const Key& k) { return t < k.time; }) -
                 keys.begin()) -
             1;
  const float span = keys[i + 1].time - keys[i].time;
  const float s = span > 0.0f ? (time - keys[i].time) / span : 0.0f;
  // The open ends repeat their end key, so the curve leaves and meets them along the chord.
  return {i == 0 ? 0 : i - 1, i, i + 1, i + 2 < n ? i + 2 : n - 1, s};
}

glm::vec3 CatmullRom(const glm::vec3& p0, const glm::vec3& p1, const glm::vec3& p2, const glm::vec3& p3, float s) {
  const float s2 = s * s, s3 = s2 * s;
  return 0.5f * (2.0f * p1 + (p2 - p0) * s + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * s2 +
                 (3.0f * p1 - p0 - 3.0f * p2 + p3) * s3);
}

glm::vec3 VectorAt(const std::vector<Animation::VectorKey>& keys, float time, bool spline, bool closed) {
  if (keys.size() == 1) return keys.front().value;
  const Segment g = Locate(keys, time, closed);
  if (spline) return CatmullRom(keys[g.before].value, keys[g.a].value, keys[g.b].value, keys[g.after].value, g.s);
  return keys[g.a].value + (keys[g.b].value - keys[g.a].value) * g.s;
}

glm::quat Unit(const glm::quat& q) {
  const float l = glm::length(q);
  return l > 0.0f && std::isfinite(l) ? q / l : glm::quat(1.0f, 0.0f, 0.0f, 0.0f);
}

glm::quat RotationAt(const std::vector<Animation::RotationKey>& keys, float time, bool closed) {
  if (keys.size() == 1) return Unit(keys.front().value);
  const Segment g = Locate(keys, time, closed);
  const glm::quat a = Unit(keys[g.a].value);
  glm::quat b = Unit(keys[g.b].value);
  // q and -q are the same rotation; take the one nearer a so the turn is the short way round.
  if (glm::dot(a, b) < 0.0f) b = -b;
  return Unit(glm::slerp(a, b, g.s));
}

}  // namespace

void Animation::AddPositionKey(float time, const glm::vec3& position) { Insert(&positions, time, position); }
void Animation::AddScaleKey(float time, const glm::vec3& scale) { Insert(&scales, time, scale); }
void Animation::AddRotateKey(float time, const glm::quat& rotation) { Insert(&rotations, time, rotation); }

void Animation::DeleteKey(float time) {
  Erase(&positions, time);
  Erase(&scales, time);
  Erase(&rotations, time);
}

void Animation::SetTime(Scene* scene, float time) const {
  if (scene == nullptr || !scene->Valid(frame)) return;
  Frame& f = scene->At(frame);
  if (!positions.empty()) f.position = VectorAt(positions, time, spline, closed);
  if (!scales.empty()) f.scale = VectorAt(scales, time, spline, closed);
  if (!rotations.empty()) {
    // The columns right, up, direction are q (1,0,0), q (0,1,0), q (0,0,1); right = up x direction
    // holds because a rotation keeps cross products.
    f.orientation = glm::mat3_cast(RotationAt(rotations, time, closed));
  }
}

}  // namespace engine::scene
