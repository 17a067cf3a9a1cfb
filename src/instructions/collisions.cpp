// Collisions between elements: the pair list, the play-start defaults, the collision pass and the
// collision family's routines. Calls core/arena, model's record words, the scene bridge's slot tags,
// the brain runner's types and the current engine.
//
// | Instruction                         | Arguments                 | Effect                                          |
// |-------------------------------------|---------------------------|-------------------------------------------------|
// | collision                           | element, mask             | collision bits & mask                           |
// | collision_list                      | first, count, step        | OR of the collision bits of first, first + step |
// |                                     |                           | ... (count + 1 elements, clipped); 0 for step 0 |
// | collision_range                     | first, last, mask         | OR of the collision bits of first..last & mask  |
// | collision_color                     | colour value              | -1 when a pair of that colour touched this tick |
// | collision_map                       | a, b                      | the pair's colour number in the map             |
// | collision_map_set                   | a, b, number              | stores 0..11 for two 3D elements, rebuilds list |
// | collisions_on, collisions_off       | element                   | sets or clears status bit 7                     |
// | box_collisions_on, ..._off          | element                   | sets or clears status bit 8                     |
// | collision_check                     | a, b                      | -1 when the two touch now by the pair test      |
// | radius, radius_max                  | element                   | radius word, box radius word                    |
// | dimension_abs                       | element, axis 1..6        | |extent word 14 + axis| x 512; 0 other axes     |
// | bottom                              | element                   | lowest y of the visual's faces after scale and  |
// |                                     |                           | the x and z rotations; .x3d: word 19 x 512      |
// | rebound                             | a, b                      | elastic exchange along the line of centres      |
// | rebound_yr                          | a, b                      | spin y from a glancing hit                      |
// | rebound_yr_factor                   | divisor                   | rebound_yr's divisor (0 keeps the last)         |
// | inside_area_xz                      | element, x1, x2, z1, z2   | -1 when x1 <= x <= x2 and z1 <= z <= z2         |
// | sight                               | element, target, range, f | 1 in sight, -1 not; 0 for a frame handle        |
//
// Every element argument is a record address; a frame handle makes an instruction change nothing
// and return 0.
#include "instructions/collisions.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "engine/engine.h"
#include "instructions/arguments.h"
#include "instructions/motion.h"

namespace instructions {

namespace {

using model::kRecordWords;

constexpr int32_t kCosineOffset = 720;
constexpr int kMapSide = 256;
// Squares and sums of squares beyond 32 bits count as this far: the root of the largest word.
constexpr uint64_t kLargestWord = 0xFFFFFFFFu;

int32_t Narrow(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value))); }
int32_t WrappedDifference(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
uint32_t Magnitude(int32_t v) { return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v); }
bool HasBits(const int32_t* record, uint32_t bits) {
  return (static_cast<uint32_t>(record[model::kWordStatus]) & bits) == bits;
}

const int32_t* SineOf(const core::Arena* arena) { return arena->As<int32_t>(core::Region::kSineFine); }
int32_t* RecordsOf(const core::Arena* arena) { return arena->As<int32_t>(core::Region::kElementRecords); }

// [SECTION] Box test

struct Point {
  float x, z;
};

// The footprint's corners in order round the rectangle, turned by the heading and placed at the
// element's position, in millimetres.
void Footprint(const int32_t* sine, const int32_t* record, Point out[4]) {
  const float x1 = static_cast<float>(record[model::kWordExtent0]), z1 = static_cast<float>(record[model::kWordExtent2]);
  const float x2 = static_cast<float>(record[model::kWordExtent3]), z2 = static_cast<float>(record[model::kWordExtent5]);
  const Point corners[4] = {{x1, z1}, {x2, z1}, {x2, z2}, {x1, z2}};
  const int32_t index = WrapAngle(record[model::kWordRotationY]) >> 6;
  const float sin = static_cast<float>(sine[index]) / 32768.0f;
  const float cos = static_cast<float>(sine[index + kCosineOffset]) / 32768.0f;
  const float px = static_cast<float>(record[model::kWordPositionX]) / 512.0f;
  const float pz = static_cast<float>(record[model::kWordPositionZ]) / 512.0f;
  for (int i = 0; i < 4; ++i) {
    Point p = corners[i];
    if (index != 0) p = {p.x * cos - p.z * sin, p.x * sin + p.z * cos};
    out[i] = {p.x + px, p.z + pz};
  }
}

// Edge p1-p2 against q1-q2, both parameters solved in single precision; parallel edges never cross.
bool EdgesCross(Point p1, Point p2, Point q1, Point q2) {
  const float rx = p2.x - p1.x, rz = p2.z - p1.z;
  const float sx = q2.x - q1.x, sz = q2.z - q1.z;
  const float det = rx * sz - rz * sx;
  if (det == 0.0f) return false;
  const float wx = q1.x - p1.x, wz = q1.z - p1.z;
  const float t = (wx * sz - wz * sx) / det;
  const float u = (wx * rz - wz * rx) / det;
  return t >= 0.0f && t <= 1.0f && u >= 0.0f && u <= 1.0f;
}

// Whether the point lies in the quadrilateral (inclusive); a quadrilateral of no area holds nothing.
bool HoldsPoint(const Point quad[4], Point p) {
  bool negative = false, positive = false;
  double area = 0.0;
  for (int i = 0; i < 4; ++i) {
    const Point a = quad[i], b = quad[(i + 1) % 4];
    area += static_cast<double>(a.x) * b.z - static_cast<double>(b.x) * a.z;
    const double cross = (static_cast<double>(b.x) - a.x) * (static_cast<double>(p.z) - a.z) -
                         (static_cast<double>(b.z) - a.z) * (static_cast<double>(p.x) - a.x);
    negative = negative || cross < 0.0;
    positive = positive || cross > 0.0;
  }
  return area != 0.0 && !(negative && positive);
}

}  // namespace

// [SECTION] Numbers

int32_t CollisionColourValue(int32_t number) {
  if (number < 0 || number > 11) number = 0;
  const int32_t b = 64 * number;
  int32_t red, green, blue;
  if (number <= 3) {
    red = 255 - b, green = 0, blue = b;
  } else if (number <= 7) {
    red = 0, green = b - 256, blue = 511 - b;
  } else {
    red = b - 512, green = 767 - b, blue = 0;
  }
  return CollisionPaletteIndex(red, green, blue);
}

int32_t CollisionPaletteIndex(int32_t red, int32_t green, int32_t blue) {
  const int32_t sum = red + green + blue;
  if (red < 16 && red + green < 32 && sum < 48) return sum >= 24 ? 1 : 0;
  if (red > 240 && red + green > 480 && sum > 720) return sum > 744 ? 255 : 254;
  return ((red * 1792) >> 16) * 36 + ((green * 1536) >> 16) * 6 + ((blue * 1536) >> 16) + 2;
}

uint32_t IntegerSquareRoot(uint64_t v) {
  // A floating-point estimate, then corrected with integer squares until it is exactly the floor:
  // the estimate may be off by one either way (a double holds v only to 53 bits, and its root is
  // rounded), never more.
  uint64_t root = static_cast<uint64_t>(std::sqrt(static_cast<double>(v)));
  root = std::min<uint64_t>(root, 0xFFFFFFFFu);
  while (root > 0 && root * root > v) --root;
  while (root < 0xFFFFFFFFu && (root + 1) * (root + 1) <= v) ++root;
  return static_cast<uint32_t>(root);
}

// [SECTION] Pair list and defaults

void BuildCollisionPairs(const uint8_t* map, state::CollisionState* collisions) {
  collisions->pairs.clear();
  collisions->named.fill(false);
  for (int32_t i = 0; i < kMapSide; ++i) {
    for (int32_t j = i + 1; j < kMapSide; ++j) {
      const uint8_t number = map[i * kMapSide + j];
      if (number == 0) continue;
      collisions->pairs.push_back({j, i, CollisionColourValue(number), 0});
      collisions->named[static_cast<size_t>(i)] = collisions->named[static_cast<size_t>(j)] = true;
    }
  }
}

void SetCollisionDefaults(int32_t* records, int32_t lastElement) {
  for (int32_t e = 0; e <= lastElement && e < model::kMaxElements; ++e) {
    int32_t* w = records + e * kRecordWords;
    if (w[model::kWordRadius] <= 0) {
      const int64_t sum = int64_t{w[model::kWordExtent0]} + w[model::kWordExtent1] + w[model::kWordExtent2] -
                          w[model::kWordExtent3] - w[model::kWordExtent4] - w[model::kWordExtent5];
      w[model::kWordRadius] = Narrow(std::llabs(sum / 6));
    }
    const int64_t xs[2] = {w[model::kWordExtent0], w[model::kWordExtent3]};
    const int64_t zs[2] = {w[model::kWordExtent2], w[model::kWordExtent5]};
    bool tooLarge = false;
    uint32_t largest = 0;
    for (const int64_t x : xs) {
      for (const int64_t z : zs) {
        if (x * x > 1073741823 || z * z > 1073741823) {
          tooLarge = true;  // and the sum could pass 2^63
          continue;
        }
        largest = std::max(largest, IntegerSquareRoot(static_cast<uint64_t>(x * x + z * z)));
      }
    }
    w[model::kWordBoxRadius] = tooLarge ? w[model::kWordRadius] : static_cast<int32_t>(largest);
    w[model::kWordCollisions] = 0;
  }
}

// [SECTION] The pair test and the pass

bool BoxesTouch(const int32_t* sine, const int32_t* a, const int32_t* b) {
  // Tops and bottoms as the machine's 32-bit words give them.
  auto level = [](const int32_t* r, int word) {
    return Narrow(int64_t{r[word]} * 512 + r[model::kWordPositionY]);
  };
  if (level(b, model::kWordExtent1) < level(a, model::kWordExtent4)) return false;
  if (level(a, model::kWordExtent1) < level(b, model::kWordExtent4)) return false;
  Point fa[4], fb[4];
  Footprint(sine, a, fa);
  Footprint(sine, b, fb);
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      if (EdgesCross(fa[i], fa[(i + 1) % 4], fb[j], fb[(j + 1) % 4])) return true;
    }
  }
  // No edges cross: one footprint may still lie wholly inside the other.
  return HoldsPoint(fb, fa[0]) || HoldsPoint(fa, fb[0]);
}

namespace {

// What the pair test reads of one element, packed so that the pass's 256 of them sit in 8 KB.
struct Mover {
  int32_t position[3];
  int32_t radius;
  int32_t boxRadius;
  uint32_t status;
  int32_t unused[2];
};

Mover MoverOf(const int32_t* record) {
  return {{record[model::kWordPositionX], record[model::kWordPositionY], record[model::kWordPositionZ]},
          record[model::kWordRadius],
          record[model::kWordBoxRadius],
          static_cast<uint32_t>(record[model::kWordStatus]),
          {}};
}

// Step 3 of the pair test: every axis distance in millimetres below r, the three tests combined
// without branches (most pairs fail one of them, and which one is not predictable). Magnitudes
// shifted by 9 stay below 2^23, so 32-bit comparisons are exact.
inline bool AxesNear(const Mover& a, const Mover& b, int32_t r) {
  const uint32_t mx = Magnitude(WrappedDifference(a.position[0], b.position[0])) >> 9;
  const uint32_t my = Magnitude(WrappedDifference(a.position[1], b.position[1])) >> 9;
  const uint32_t mz = Magnitude(WrappedDifference(a.position[2], b.position[2])) >> 9;
  const int near = static_cast<int>(static_cast<int32_t>(mx) < r) & static_cast<int>(static_cast<int32_t>(my) < r) &
                   static_cast<int>(static_cast<int32_t>(mz) < r);
  return near != 0;
}

// Steps 3 and 4 of the pair test with the radii r chosen: the per-axis rejects, then the integer
// distance.
inline bool Near(const Mover& a, const Mover& b, int64_t r) {
  if (!AxesNear(a, b, static_cast<int32_t>(r))) return false;
  const int32_t dx = WrappedDifference(a.position[0], b.position[0]);
  const int32_t dy = WrappedDifference(a.position[1], b.position[1]);
  const int32_t dz = WrappedDifference(a.position[2], b.position[2]);
  uint64_t sum = 0;
  for (const int32_t d : {dx >> 9, dy >> 9, dz >> 9}) {
    const uint64_t square = static_cast<uint64_t>(int64_t{d} * d);
    sum = square > kLargestWord ? kLargestWord + 1 : sum + square;
    if (sum > kLargestWord) break;
  }
  return int64_t{IntegerSquareRoot(std::min(sum, kLargestWord))} <= r;
}

// The radii of a pair: the box radii when both have box collisions on, else the radii, summed as
// 32-bit words.
inline int64_t PairRadius(const Mover& a, const Mover& b, bool boxes) {
  return static_cast<int32_t>(boxes ? static_cast<uint32_t>(a.boxRadius) + static_cast<uint32_t>(b.boxRadius)
                                    : static_cast<uint32_t>(a.radius) + static_cast<uint32_t>(b.radius));
}

}  // namespace

bool RecordsTouch(const int32_t* sine, const int32_t* a, const int32_t* b) {
  const Mover ma = MoverOf(a), mb = MoverOf(b);
  const bool boxes = (ma.status & mb.status & model::kStatusBoxCollisions) != 0;
  return Near(ma, mb, PairRadius(ma, mb, boxes)) && (!boxes || BoxesTouch(sine, a, b));
}

void RunCollisionPass(int32_t* records, const int32_t* sine, state::CollisionState* collisions) {
  // The collision bits of every element some pair names are cleared once, not once per pair. The
  // words the test reads do not change during the pass, so they are read once into `movers`.
  std::array<Mover, kMapSide> movers;
  for (int e = 0; e < kMapSide; ++e) {
    if (collisions->named[static_cast<size_t>(e)]) records[e * kRecordWords + model::kWordCollisions] = 0;
    movers[static_cast<size_t>(e)] = MoverOf(records + e * kRecordWords);
  }
  // First, without branches, every pair whose elements are on with collisions on and whose three
  // axis distances are below r is noted as a candidate; a few percent of the pairs usually are.
  // Then the candidates get the rest of the test, in list order.
  constexpr uint32_t kTested = model::kStatusOn | model::kStatusCollisions;
  std::vector<uint32_t>& candidates = collisions->candidates;
  candidates.resize(collisions->pairs.size() + 1);
  size_t count = 0;
  state::CollisionPair* pairs = collisions->pairs.data();
  const size_t total = collisions->pairs.size();
  for (size_t k = 0; k < total; ++k) {
    state::CollisionPair& pair = pairs[k];
    const Mover& a = movers[static_cast<size_t>(pair.first)];
    const Mover& b = movers[static_cast<size_t>(pair.second)];
    const uint32_t both = a.status & b.status;
    const int32_t r = static_cast<int32_t>(PairRadius(a, b, (both & model::kStatusBoxCollisions) != 0));
    const bool tested = (both & kTested) == kTested;
    candidates[count] = static_cast<uint32_t>(k);
    count += static_cast<size_t>(static_cast<int>(tested) & static_cast<int>(AxesNear(a, b, r)));
    pair.hit = 0;
  }
  for (size_t c = 0; c < count; ++c) {
    state::CollisionPair& pair = pairs[candidates[c]];
    const Mover& a = movers[static_cast<size_t>(pair.first)];
    const Mover& b = movers[static_cast<size_t>(pair.second)];
    const bool boxes = (a.status & b.status & model::kStatusBoxCollisions) != 0;
    int32_t* ra = records + pair.first * kRecordWords;
    int32_t* rb = records + pair.second * kRecordWords;
    if (Near(a, b, PairRadius(a, b, boxes)) && (!boxes || BoxesTouch(sine, ra, rb))) {
      ra[model::kWordCollisions] |= rb[model::kWordIdentity];
      rb[model::kWordCollisions] |= ra[model::kWordIdentity];
      pair.hit = pair.colour;
    }
  }
}

void CollisionPass(state::Engine& engine) {
  if (!engine.play) return;
  RunCollisionPass(RecordsOf(&engine.arena), SineOf(&engine.arena), &engine.play->collisions);
}

void StartCollisions(state::Engine& engine) {
  state::CollisionState& collisions = engine.play->collisions;
  BuildCollisionPairs(engine.arena.Host(core::Region::kCollisionMap), &collisions);
  const int32_t last = std::min(engine.project.LastIndex(), model::kMaxElements - 1);
  int32_t* records = RecordsOf(&engine.arena);
  SetCollisionDefaults(records, last);
  collisions.groundMesh = -1;
  for (int32_t e = 0; e <= last; ++e) {
    const uint8_t* slot = engine.arena.GuestToHostIn(
        core::Region::kAspectSlots, static_cast<uint32_t>(records[e * kRecordWords + model::kWordCurrentAspect]),
        engine::kSlotBytes);
    if (state::GroundMapOfSlot(*engine.play, reinterpret_cast<const int32_t*>(slot)) != nullptr) collisions.groundMesh = e;
  }
}

void CountDownPolygonTest(state::Play& play) {
  if (play.collisions.polygonCountdown > 0) --play.collisions.polygonCountdown;
}

namespace {

// [SECTION] Routines

uint32_t SlotTagOf(const core::Arena* arena, const int32_t* record) {
  const int32_t* slot = engine::ShownSlot(*arena, record);
  return slot != nullptr ? static_cast<uint32_t>(slot[engine::kSlotTag]) : 0u;
}

bool IsSceneElement(const core::Arena* arena, const int32_t* record) {
  const uint32_t tag = SlotTagOf(arena, record);
  return tag == engine::kTagXVisual || tag == engine::kTagVisual || tag == engine::kTagShape ||
         tag == engine::kTagFlatShape || tag == engine::kTagCamera;
}

int32_t LastElement() {
  const state::Engine& engine = state::Current();
  return std::min(engine.project.LastIndex(), model::kMaxElements - 1);
}

int32_t collision(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  return record[model::kWordCollisions] & static_cast<int32_t>(regs.ebx);
}

// OR of the collision bits of elements first, first + step, ... (count + 1 of them), stopping at
// either end of the element array: every index visited is distinct, so the work is bounded by the
// element count whatever the count says.
int32_t CollisionBitsOver(const core::Arena* arena, const int32_t* first, int64_t count, int64_t step, int32_t mask) {
  if (step == 0) return 0;
  const int32_t* records = RecordsOf(arena);
  const int64_t last = LastElement();
  int32_t bits = 0;
  int64_t index = ElementIndexOf(arena, first);
  for (int64_t k = 0; k <= count && index >= 0 && index <= last; ++k, index += step) {
    bits |= records[index * kRecordWords + model::kWordCollisions];
  }
  return bits & mask;
}

// The mask of collision_list is a fourth argument no call passes; all bits are taken.
int32_t collision_list(const core::Arena* arena, int32_t* record, const brain::Regs& regs) {
  return CollisionBitsOver(arena, record, static_cast<int32_t>(regs.ebx), static_cast<int32_t>(regs.ecx), -1);
}

bool collision_range(brain::Regs* regs, std::string* fault) {
  const core::Arena* arena = &state::Current().arena;
  int32_t* first = ElementRecord(arena, regs->eax, fault);
  if (!fault->empty()) return false;
  int32_t* last = ElementRecord(arena, regs->ebx, fault);
  if (!fault->empty()) return false;
  if (first == nullptr || last == nullptr) {
    regs->eax = 0;
    return true;
  }
  const int64_t count = int64_t{ElementIndexOf(arena, last)} - ElementIndexOf(arena, first);
  regs->eax = static_cast<uint32_t>(CollisionBitsOver(arena, first, count, 1, static_cast<int32_t>(regs->ecx)));
  return true;
}

bool collision_color(brain::Regs* regs, std::string*) {
  const state::Engine& engine = state::Current();
  const int32_t value = static_cast<int32_t>(regs->eax);
  int32_t result = 0;
  if (engine.play && value != 0) {
    for (const state::CollisionPair& pair : engine.play->collisions.pairs) {
      if (pair.hit == value) {
        result = -1;
        break;
      }
    }
  }
  regs->eax = static_cast<uint32_t>(result);
  return true;
}

uint8_t* MapByte(const core::Arena* arena, const int32_t* a, const int32_t* b) {
  const int32_t i = ElementIndexOf(arena, a), j = ElementIndexOf(arena, b);
  return arena->Host(core::Region::kCollisionMap) + std::min(i, j) * kMapSide + std::max(i, j);
}

int32_t collision_map(const core::Arena* arena, int32_t* a, int32_t* b, const brain::Regs&) {
  return *MapByte(arena, a, b);
}

int32_t collision_map_set(const core::Arena* arena, int32_t* a, int32_t* b, const brain::Regs& regs) {
  const int32_t number = static_cast<int32_t>(regs.ecx);
  if (number < 0 || number > 11) return 0;
  if (!IsSceneElement(arena, a) || !IsSceneElement(arena, b)) return 0;
  *MapByte(arena, a, b) = static_cast<uint8_t>(number);
  state::Engine& engine = state::Current();
  if (engine.play) BuildCollisionPairs(arena->Host(core::Region::kCollisionMap), &engine.play->collisions);
  return 0;
}

template <uint32_t kBit, bool kOn>
int32_t StatusBit(const core::Arena*, int32_t* record, const brain::Regs&) {
  uint32_t status = static_cast<uint32_t>(record[model::kWordStatus]);
  status = kOn ? status | kBit : status & ~kBit;
  record[model::kWordStatus] = static_cast<int32_t>(status);
  return 0;
}

int32_t collision_check(const core::Arena* arena, int32_t* a, int32_t* b, const brain::Regs&) {
  return RecordsTouch(SineOf(arena), a, b) ? -1 : 0;
}

// Axes 1 to 6 read extent words 15 to 20; any other axis would read outside them.
int32_t dimension_abs(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  const int32_t axis = static_cast<int32_t>(regs.ebx);
  if (axis < 1 || axis > 6) return 0;
  return Narrow(std::llabs(int64_t{record[14 + axis]}) * 512);
}

// Lowest y over the visual's collision faces, each vertex scaled per axis by its scale word / 1000
// and turned about x, then z, as the element is placed.
int32_t bottom(const core::Arena* arena, int32_t* record, const brain::Regs&) {
  const int32_t* slot = engine::ShownSlot(*arena, record);
  if (slot == nullptr) return 0;
  const auto tag = static_cast<uint32_t>(slot[engine::kSlotTag]);
  if (tag == engine::kTagXVisual) return Narrow(int64_t{record[model::kWordExtent4]} * 512);
  if (tag != engine::kTagVisual) return 0;
  const int32_t count = slot[engine::kSlotFaceCount];
  if (count <= 0) return 0;
  const uint8_t* faces = arena->GuestToHostIn(core::Region::kAspectData, static_cast<uint32_t>(slot[engine::kSlotFaceList]),
                                              static_cast<uint32_t>(count) * engine::kCollisionFaceBytes);
  if (faces == nullptr) return 0;
  const int32_t* sine = SineOf(arena);
  const int32_t xIndex = WrapAngle(record[model::kWordRotationX]) >> 6;
  const int32_t zIndex = WrapAngle(record[model::kWordRotationZ]) >> 6;
  const double scale[3] = {record[model::kWordScaleX] / 1000.0, record[model::kWordScaleY] / 1000.0,
                           record[model::kWordScaleZ] / 1000.0};
  const double sx = sine[xIndex] / 32768.0, cx = sine[xIndex + kCosineOffset] / 32768.0;
  const double sz = sine[zIndex] / 32768.0, cz = sine[zIndex + kCosineOffset] / 32768.0;
  double lowest = 0.0;
  bool any = false;
  const auto* words = reinterpret_cast<const int32_t*>(faces);
  for (int32_t f = 0; f < count; ++f) {
    const int32_t* face = words + f * engine::kCollisionFaceWords;
    for (int v = 0; v < 3; ++v) {
      const double x = face[1 + 3 * v] * scale[0], y = face[2 + 3 * v] * scale[1], z = face[3 + 3 * v] * scale[2];
      const double y1 = y * cx - z * sx;          // about x
      const double y2 = x * sz + y1 * cz;         // about z
      if (!any || y2 < lowest) lowest = y2;
      any = true;
    }
  }
  const double units = lowest * 512.0;
  if (!(units > INT32_MIN)) return INT32_MIN;
  if (units >= INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(units);
}


// x' = x cos - z sin, z' = x sin + z cos by a wrapped angle, fine table, 64-bit products.
void TurnXZ(const int32_t* sine, int32_t angle, int32_t* x, int32_t* z) {
  const int32_t index = WrapAngle(angle) >> 6;
  const int64_t sin = sine[index], cos = sine[index + kCosineOffset];
  const int64_t ox = *x, oz = *z;
  *x = Narrow(((ox * cos) >> 15) - ((oz * sin) >> 15));
  *z = Narrow(((ox * sin) >> 15) + ((oz * cos) >> 15));
}

int32_t rebound(const core::Arena* arena, int32_t* a, int32_t* b, const brain::Regs&) {
  if (a == b) return 0;
  const int64_t dz = WrappedDifference(b[model::kWordPositionZ], a[model::kWordPositionZ]) >> 9;
  const int64_t dx = WrappedDifference(b[model::kWordPositionX], a[model::kWordPositionX]) >> 9;
  const int32_t theta = WrapAngle(-LineAngle(arena, dz, dx));
  const int32_t* sine = SineOf(arena);
  int32_t ax = a[model::kWordVelocityX], az = a[model::kWordVelocityZ];
  int32_t bx = b[model::kWordVelocityX], bz = b[model::kWordVelocityZ];
  TurnXZ(sine, theta, &ax, &az);
  TurnXZ(sine, theta, &bx, &bz);
  std::swap(ax, bx);
  TurnXZ(sine, WrapAngle(-theta), &ax, &az);
  TurnXZ(sine, WrapAngle(-theta), &bx, &bz);
  a[model::kWordVelocityX] = ax, a[model::kWordVelocityZ] = az;
  b[model::kWordVelocityX] = bx, b[model::kWordVelocityZ] = bz;
  return 0;
}

int32_t rebound_yr(const core::Arena* arena, int32_t* a, int32_t* b, const brain::Regs&) {
  const int32_t* sine = SineOf(arena);
  const int32_t heading = WrapAngle(-a[model::kWordRotationY]);
  int32_t ox = WrappedDifference(b[model::kWordPositionX], a[model::kWordPositionX]);
  int32_t oz = WrappedDifference(b[model::kWordPositionZ], a[model::kWordPositionZ]);
  int32_t vx = WrappedDifference(b[model::kWordVelocityX], a[model::kWordVelocityX]);
  int32_t vz = WrappedDifference(b[model::kWordVelocityZ], a[model::kWordVelocityZ]);
  TurnXZ(sine, heading, &ox, &oz);
  TurnXZ(sine, heading, &vx, &vz);
  const int64_t length = std::llround(std::sqrt(static_cast<double>(vx) * vx + static_cast<double>(vz) * vz));
  const int64_t divisor = state::Current().play ? state::Current().play->collisions.reboundDivisor : 250;
  const int64_t o = length / divisor;
  const int64_t spin = a[model::kWordSpinY] & ~int64_t{0xFF};
  a[model::kWordSpinY] = Narrow(int64_t{ox} * vz < 0 ? spin + o : spin - o);
  return 0;
}

bool rebound_yr_factor(brain::Regs* regs, std::string*) {
  state::Engine& engine = state::Current();
  const int32_t divisor = static_cast<int32_t>(regs->eax);
  if (engine.play && divisor != 0) engine.play->collisions.reboundDivisor = divisor;  // 0 would divide by zero
  regs->eax = 0;
  return true;
}

int32_t inside_area_xz(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  const int32_t x = record[model::kWordPositionX], z = record[model::kWordPositionZ];
  return static_cast<int32_t>(regs.ebx) <= x && x <= static_cast<int32_t>(regs.ecx) &&
                 static_cast<int32_t>(regs.edx) <= z && z <= static_cast<int32_t>(regs.esi)
             ? -1
             : 0;
}

bool sight(brain::Regs* regs, std::string* fault) {
  const core::Arena* arena = &state::Current().arena;
  if (IsFrameHandle(regs->eax) || IsFrameHandle(regs->ebx)) {
    regs->eax = 0;
    return true;
  }
  int32_t* self = ElementRecord(arena, regs->eax, fault);
  if (!fault->empty()) return false;
  int32_t* target = ElementRecord(arena, regs->ebx, fault);
  if (!fault->empty()) return false;
  if (self == nullptr || target == nullptr) {
    regs->eax = 0;
    return true;
  }
  regs->eax = static_cast<uint32_t>(-1);
  if (!HasBits(self, model::kStatusOn) || !HasBits(target, model::kStatusOn)) return true;
  // The sight line: (0, 0, range / 512) turned by rotation (+ child offset with status bit 3),
  // about x, then z, then y.
  int32_t angles[3];
  const bool child = HasBits(self, model::kStatusChildOffset);
  for (int i = 0; i < 3; ++i) {
    angles[i] = self[model::kWordRotationX + i];
    if (child) angles[i] = AddWrapping(angles[i], self[model::kWordChildRotationX + i]);
  }
  const int32_t* sine = SineOf(arena);
  int32_t v[3] = {0, 0, static_cast<int32_t>(regs->ecx) / 512};
  auto turn = [&](int32_t angle, int32_t* p, int32_t* q) {
    if ((WrapAngle(angle) >> 6) != 0) TurnXZ(sine, angle, p, q);
  };
  turn(angles[0], &v[1], &v[2]);
  turn(angles[2], &v[0], &v[1]);
  turn(angles[1], &v[0], &v[2]);
  const double d[3] = {double(v[0]), double(v[1]), double(v[2])};
  double m[3];
  for (int i = 0; i < 3; ++i) {
    m[i] = (static_cast<double>(target[model::kWordPositionX + i]) - self[model::kWordPositionX + i]) / 512.0;
  }
  const double r = static_cast<double>((int64_t{target[model::kWordRadius]} * static_cast<int32_t>(regs->edx)) >> 7);
  const double dd = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
  const double mm = m[0] * m[0] + m[1] * m[1] + m[2] * m[2];
  const double dm = d[0] * m[0] + d[1] * m[1] + d[2] * m[2];
  const double length = std::round(std::sqrt(dd));
  if (length < std::round(std::sqrt(mm))) return true;
  if (dm * dm < (mm - r * r) * dd) return true;
  const double e[3] = {m[0] - d[0], m[1] - d[1], m[2] - d[2]};
  if (length >= std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2])) regs->eax = 1;
  return true;
}

constexpr brain::RoutineEntry kCollisionRoutines[] = {
    {"collision", OneElement<collision>},
    {"collision_list", OneElement<collision_list>},
    {"collision_range", collision_range},
    {"collision_color", collision_color},
    {"collision_map", TwoElements<collision_map>},
    {"collision_map_set", TwoElements<collision_map_set>},
    {"collisions_on", OneElement<StatusBit<model::kStatusCollisions, true>>},
    {"collisions_off", OneElement<StatusBit<model::kStatusCollisions, false>>},
    {"box_collisions_on", OneElement<StatusBit<model::kStatusBoxCollisions, true>>},
    {"box_collisions_off", OneElement<StatusBit<model::kStatusBoxCollisions, false>>},
    {"collision_check", TwoElements<collision_check>},
    {"radius", OneElement<Read<model::kWordRadius>>},
    {"radius_max", OneElement<Read<model::kWordBoxRadius>>},
    {"dimension_abs", OneElement<dimension_abs>},
    {"bottom", OneElement<bottom>},
    {"rebound", TwoElements<rebound>},
    {"rebound_yr", TwoElements<rebound_yr>},
    {"rebound_yr_factor", rebound_yr_factor},
    {"inside_area_xz", OneElement<inside_area_xz>},
    {"sight", sight},
};

}  // namespace

std::span<const brain::RoutineEntry> CollisionRoutines() { return kCollisionRoutines; }

}  // namespace instructions
