// Ground and volumes: height, colour and slope under elements, seating on sloping ground, the
// boundary probes and the volume mesh's rebounds and slides. Calls model's ground maps (bucket
// lookup, mesh height, volume test), core/arena, the scene bridge's slot size, the brain runner's
// types and the current engine.
//
// | Instruction                           | Arguments                    | Effect                                    |
// |---------------------------------------|------------------------------|-------------------------------------------|
// | ground_level                          | element                      | ground height under the element           |
// | above_ground_level (agl, aglevel)     | element                      | y minus ground_level                      |
// | over_ground                           | element, height              | vy = 0, y = ground + height               |
// | over_ground_g                         | element, height, (ignored)   | the same                                  |
// | over_ground_slope                     | element, height, (ignored)   | seats on four probes and tilts to them    |
// | ground_color                          | element                      | colour of the grid triangle under it      |
// | ground_slope                          | element                      | horizontal part of the normal, 46080 long |
// | boundary_rebound (ground_color_rebound) | element, distance          | turns away from probes finding no ground  |
// | ground_set, volume_set                | element                      | the element's map as ground / volume mesh |
// | inside_volume                         | element                      | -1 inside the volume mesh, else 0         |
// | volume_rebound                        | element, r, above, below     | bounces away from the probes inside       |
// | volume_slide                          | element, r, above, below, m  | slides along the walls (m -1: steps back) |
//
// Every element argument is a record address; a frame handle makes an instruction change nothing
// and return 0. Ground maps reach these only through their checked loader and bucket lookup.
#include "instructions/ground.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/engine.h"
#include "instructions/arguments.h"
#include "instructions/collisions.h"
#include "instructions/motion.h"

namespace instructions {

namespace {

using model::kWordPositionX, model::kWordPositionY, model::kWordPositionZ;
using model::kWordVelocityX, model::kWordVelocityY, model::kWordVelocityZ;

constexpr int32_t kCosineOffset = 720;
constexpr int32_t kEighthTurn = 23040;
// A step-back loop ends when |dx| + |dz| falls below this (position units).
constexpr int64_t kStepBackEnd = 5001;

int32_t Narrow(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value))); }
const int32_t* SineOf(const core::Arena* arena) { return arena->As<int32_t>(core::Region::kSineFine); }
int64_t Abs64(int64_t v) { return v < 0 ? -v : v; }

// x' = x cos - z sin, z' = x sin + z cos by a wrapped angle (fine table, 64-bit products).
void TurnXZ(const int32_t* sine, int32_t angle, int64_t* x, int64_t* z) {
  const int32_t index = WrapAngle(angle) >> 6;
  const int64_t sin = sine[index], cos = sine[index + kCosineOffset];
  const int64_t ox = Narrow(*x), oz = Narrow(*z);
  *x = Narrow(((ox * cos) >> 15) - ((oz * sin) >> 15));
  *z = Narrow(((ox * sin) >> 15) + ((oz * cos) >> 15));
}

// A vector of the element's frame into the world: about x, then z, then y, a step whose index is
// 0 skipped.
void OutOfFrame(const int32_t* sine, const int32_t* record, int64_t v[3]) {
  auto turn = [&](int32_t angle, int64_t* a, int64_t* b) {
    if ((WrapAngle(angle) >> 6) != 0) TurnXZ(sine, angle, a, b);
  };
  turn(record[model::kWordRotationX], &v[1], &v[2]);
  turn(record[model::kWordRotationZ], &v[0], &v[1]);
  turn(record[model::kWordRotationY], &v[0], &v[2]);
}

// Line angle of (p, q) as a signed angle, -92160 < a <= 92160: the table arctangent of
// |p x 1024 / q| (a right angle for q = 0) placed by the signs.
int32_t SignedLineAngle(const core::Arena* arena, int64_t p, int64_t q) {
  int32_t angle = LineAngle(arena, p, q);
  if (angle > 92160) angle -= kFullTurn;
  return angle;
}

int32_t Index(const core::Arena* arena, const int32_t* record) { return ElementIndexOf(arena, record); }

int32_t RadiusUnits(const int32_t* record) { return Narrow(int64_t{record[model::kWordRadius]} * 512); }

}  // namespace

// [SECTION] Ground queries

const model::GroundMap* GroundMapOfElement(const state::Engine& engine, int32_t element) {
  if (!engine.play || element < 0 || element >= model::kMaxElements) return nullptr;
  const int32_t* records = engine.arena.As<int32_t>(core::Region::kElementRecords);
  const uint8_t* slot = engine.arena.GuestToHostIn(
      core::Region::kAspectSlots, static_cast<uint32_t>(records[element * model::kRecordWords + model::kWordCurrentAspect]),
      engine::kSlotBytes);
  return state::GroundMapOfSlot(*engine.play, reinterpret_cast<const int32_t*>(slot));
}

int32_t GridTriangleAt(const state::GroundGrid& grid, int32_t x, int32_t z) {
  if (!grid.Present()) return -1;
  const int64_t c = grid.cellSize;
  const int64_t h = c * grid.cells / 2;
  const int64_t mx = x / 512, mz = z / 512;
  if (Abs64(mx) >= h || Abs64(mz) >= h) return -1;
  const int64_t down = h - mz, across = mx + h;  // both 1 .. 2h - 1 here
  const int64_t row = std::min<int64_t>(down / c, grid.cells - 1), column = std::min<int64_t>(across / c, grid.cells - 1);
  const int64_t offsets = (across - column * c) + (down - row * c);
  return static_cast<int32_t>(2 * (row * grid.cells + column) + (offsets < c ? 0 : 1));
}

int32_t GridTriangleHeight(const state::GroundGridTriangle& t, int32_t x, int32_t z) {
  const int64_t ax = int64_t{t.v[3]} - t.v[0], ay = int64_t{t.v[4]} - t.v[1], az = int64_t{t.v[5]} - t.v[2];
  const int64_t bx = int64_t{t.v[6]} - t.v[0], by = int64_t{t.v[7]} - t.v[1], bz = int64_t{t.v[8]} - t.v[2];
  const __int128 nx = static_cast<__int128>(ay) * bz - static_cast<__int128>(az) * by;
  const __int128 ny = static_cast<__int128>(az) * bx - static_cast<__int128>(ax) * bz;
  const __int128 nz = static_cast<__int128>(ax) * by - static_cast<__int128>(ay) * bx;
  if (ny == 0) return Narrow(int64_t{t.v[1]} * 512);  // a vertical triangle: its first vertex
  const __int128 px = x / 512 - int64_t{t.v[0]}, pz = z / 512 - int64_t{t.v[2]};
  const __int128 y = t.v[1] - (nx * px + nz * pz) / ny;
  return Narrow(static_cast<int64_t>(y) * 512);
}

int32_t GroundHeight(state::Engine& engine, int32_t x, int32_t y, int32_t z, int32_t r) {
  state::CollisionState& collisions = engine.play->collisions;
  collisions.meshTriangle = -1;
  collisions.gridTriangle = -1;
  if (const model::GroundMap* map = GroundMapOfElement(engine, collisions.groundMesh)) {
    const model::GroundHit hit = model::MeshGroundHeight(*map, x, y, z, r);
    collisions.meshTriangle = hit.triangle;
    return hit.height;
  }
  const state::GroundGrid& grid = collisions.grid;
  const int32_t triangle = GridTriangleAt(grid, x, z);
  if (triangle < 0) return 0;
  collisions.gridTriangle = triangle;
  int32_t base = 0;
  if (grid.element >= 0 && grid.element < model::kMaxElements) {
    base = engine.arena.As<int32_t>(core::Region::kElementRecords)[grid.element * model::kRecordWords + kWordPositionY];
  }
  return Narrow(int64_t{GridTriangleHeight(grid.triangles[static_cast<size_t>(triangle)], x, z)} + base);
}

bool InsideVolume(const state::Engine& engine, int32_t x, int32_t y, int32_t z, int32_t above, int32_t below) {
  if (!engine.play) return false;
  const model::GroundMap* map = GroundMapOfElement(engine, engine.play->collisions.volumeMesh);
  return map != nullptr && model::VolumeTest(*map, x, y, z, above, below).inside;
}

namespace {

int32_t HeightUnder(const int32_t* record) {
  return GroundHeight(state::Current(), record[kWordPositionX], record[kWordPositionY], record[kWordPositionZ],
                      RadiusUnits(record));
}

int32_t ground_level(const core::Arena*, int32_t* record, const brain::Regs&) { return HeightUnder(record); }

int32_t above_ground_level(const core::Arena*, int32_t* record, const brain::Regs&) {
  return Narrow(int64_t{record[kWordPositionY]} - HeightUnder(record));
}

// over_ground_g's third argument (a hint to the triangle lookup) is accepted and not used.
int32_t over_ground(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  const int32_t ground = HeightUnder(record);
  record[kWordVelocityY] = 0;
  record[kWordPositionY] = AddWrapping(ground, static_cast<int32_t>(regs.ebx));
  return 0;
}
int32_t over_ground_g(const core::Arena* arena, int32_t* record, const brain::Regs& regs) {
  return over_ground(arena, record, regs);
}

// Four probes at 460/512 of the extents ahead, behind, right and left, turned with the element;
// y is their mean height plus `height`, and the pitch and roll follow the front-back and right-left
// height differences. The signs are track's: a positive pitch points the nose down, so ground
// rising ahead gives a negative pitch, and ground rising to the right (+x) a positive roll: the
// element's up vector then leans with the ground's normal. The third argument is not used.
int32_t over_ground_slope(const core::Arena* arena, int32_t* record, const brain::Regs& regs) {
  const int32_t* sine = SineOf(arena);
  auto scaled = [&](int word) { return int64_t{record[word]} * 460 / 512; };  // millimetres
  const int64_t front = scaled(model::kWordExtent2), back = scaled(model::kWordExtent5);
  const int64_t right = scaled(model::kWordExtent0), left = scaled(model::kWordExtent3);
  const int64_t probes[4][3] = {{0, 0, front * 512}, {0, 0, back * 512}, {right * 512, 0, 0}, {left * 512, 0, 0}};
  int64_t heights[4];
  state::Engine& engine = state::Current();
  for (int i = 0; i < 4; ++i) {
    int64_t v[3] = {probes[i][0], probes[i][1], probes[i][2]};
    OutOfFrame(sine, record, v);
    heights[i] = GroundHeight(engine, Narrow(record[kWordPositionX] + v[0]), record[kWordPositionY],
                              Narrow(record[kWordPositionZ] + v[2]), RadiusUnits(record));
  }
  const int64_t mean = (heights[0] + heights[1] + heights[2] + heights[3]) / 4;
  record[kWordPositionY] = Narrow(mean + static_cast<int32_t>(regs.ebx));
  record[model::kWordRotationX] = 0;
  record[model::kWordRotationZ] = 0;
  record[model::kWordSpinX] = 0;
  record[model::kWordSpinZ] = 0;
  const int32_t pitch = SignedLineAngle(arena, (heights[0] - heights[1]) / 512, front - back);
  const int32_t roll = SignedLineAngle(arena, (heights[2] - heights[3]) / 512, right - left);
  record[model::kWordRotationX] = -pitch;
  record[model::kWordRotationZ] = roll;
  return 0;
}

int32_t ground_color(const core::Arena*, int32_t* record, const brain::Regs&) {
  const state::GroundGrid& grid = state::Current().play->collisions.grid;
  const int32_t triangle = GridTriangleAt(grid, record[kWordPositionX], record[kWordPositionZ]);
  return triangle < 0 ? 0 : grid.triangles[static_cast<size_t>(triangle)].colour;
}

int32_t ground_slope(const core::Arena*, int32_t* record, const brain::Regs&) {
  state::Engine& engine = state::Current();
  HeightUnder(record);
  const state::CollisionState& collisions = engine.play->collisions;
  if (const model::GroundMap* map = GroundMapOfElement(engine, collisions.groundMesh)) {
    if (collisions.meshTriangle < 0) return 0;
    return model::GroundTriangleSlope(map->triangles[static_cast<size_t>(collisions.meshTriangle)].v);
  }
  if (collisions.gridTriangle < 0) return 0;
  return model::GroundTriangleSlope(collisions.grid.triangles[static_cast<size_t>(collisions.gridTriangle)].v);
}

// [SECTION] Probes

// The eight probe offsets (position units) of the volume and boundary probes: direction a = k x 45
// degrees at (-sin a r, cos a r). With a radius of 0 the element's radius is used and each offset
// is replaced by the footprint point nearest to twice it.
void ProbeOffsets(const int32_t* sine, const int32_t* record, int64_t radius, int64_t out[8][2]) {
  const bool footprint = radius == 0;
  if (footprint) radius = int64_t{record[model::kWordRadius]} * 512;
  radius = Narrow(radius);
  for (int k = 0; k < 8; ++k) {
    const int32_t index = (k * kEighthTurn) >> 6;
    out[k][0] = -((sine[index] * radius) >> 15);
    out[k][1] = (sine[index + kCosineOffset] * radius) >> 15;
  }
  if (!footprint) return;
  const int64_t x1 = int64_t{record[model::kWordExtent0]} * 512, z1 = int64_t{record[model::kWordExtent2]} * 512;
  const int64_t x2 = int64_t{record[model::kWordExtent3]} * 512, z2 = int64_t{record[model::kWordExtent5]} * 512;
  int64_t points[8][2] = {{x1, z1}, {x2, z1}, {x2, z2}, {x1, z2}, {x1, 0}, {x2, 0}, {0, z1}, {0, z2}};
  const int32_t heading = record[model::kWordRotationY];
  for (auto& p : points) TurnXZ(sine, heading, &p[0], &p[1]);
  for (int k = 0; k < 8; ++k) {
    int best = 0;
    int64_t bestDistance = INT64_MAX;
    for (int i = 0; i < 8; ++i) {
      const int64_t distance = Abs64(points[i][0] - 2 * out[k][0]) + Abs64(points[i][1] - 2 * out[k][1]);
      if (distance < bestDistance) best = i, bestDistance = distance;
    }
    out[k][0] = points[best][0];
    out[k][1] = points[best][1];
  }
}

struct ProbeResult {
  int count = 0;
  int64_t angleSum = 0;
  int64_t xSum = 0, zSum = 0;  // millimetres of the probe points inside
};

ProbeResult ProbeVolume(const state::Engine& engine, const int32_t* record, int32_t radius, int32_t above,
                        int32_t below) {
  int64_t offsets[8][2];
  ProbeOffsets(SineOf(&engine.arena), record, radius, offsets);
  ProbeResult result;
  bool zeroInside = false;
  for (int k = 0; k < 8; ++k) {
    const int32_t x = Narrow(record[kWordPositionX] + offsets[k][0]);
    const int32_t z = Narrow(record[kWordPositionZ] + offsets[k][1]);
    if (!InsideVolume(engine, x, record[kWordPositionY], z, above, below)) continue;
    int32_t angle = k * kEighthTurn;
    if (k == 0) zeroInside = true;
    if (zeroInside && angle > 92159) angle -= kFullTurn;
    result.angleSum += angle;
    result.xSum += x / 512;
    result.zSum += z / 512;
    ++result.count;
  }
  return result;
}

// s, the horizontal speed in whole millimetres per tick (parts shifted arithmetically).
int64_t PlanarSpeed(const int32_t* record) {
  const int64_t vx = record[kWordVelocityX] >> 9, vz = record[kWordVelocityZ] >> 9;
  return IntegerSquareRoot(static_cast<uint64_t>(vx * vx + vz * vz));
}

// Steps 3 and 4 of the bounce: away from the mean probe angle at the same planar speed.
int32_t Bounce(const core::Arena* arena, int32_t* record, const ProbeResult& probes) {
  if (probes.count == 0) return 0;
  const int32_t g = WrapAngle(Narrow(probes.angleSum / probes.count));
  const int32_t* sine = SineOf(arena);
  record[kWordVelocityY] = Narrow(-int64_t{record[kWordVelocityY]});
  const int64_t s = PlanarSpeed(record) * 512;
  if (g < 64) {
    record[kWordVelocityX] = 0;
    record[kWordVelocityZ] = Narrow(-s);
  } else {
    record[kWordVelocityX] = Narrow((s * sine[g >> 6]) >> 15);
    record[kWordVelocityZ] = Narrow(-((s * sine[(g >> 6) + kCosineOffset]) >> 15));
  }
  return -1;
}

int32_t VolumeRebound(const core::Arena* arena, int32_t* record, const brain::Regs& regs) {
  const ProbeResult probes = ProbeVolume(state::Current(), record, static_cast<int32_t>(regs.ebx),
                                         static_cast<int32_t>(regs.ecx), static_cast<int32_t>(regs.edx));
  return Bounce(arena, record, probes);
}

// Push-out form: pushed away from the mean probe angle by s >> k, the velocity's part along it
// reversed and cut to a sixteenth, the part across it kept at 120 %. Shift counts are taken
// modulo 32, as the machine's shifts take them.
int32_t SlidePushOut(const core::Arena* arena, int32_t* record, const ProbeResult& probes, int32_t mode) {
  const int32_t* sine = SineOf(arena);
  record[kWordVelocityY] = Narrow(-int64_t{record[kWordVelocityY]});
  const int32_t g = WrapAngle(Narrow(probes.angleSum / probes.count));
  const int64_t s = PlanarSpeed(record) * 512;
  const int k = mode == 0 ? 0 : static_cast<int>((1u << ((static_cast<uint32_t>(mode) - 1u) & 31u)) & 31u);
  const int64_t sin = sine[g >> 6], cos = sine[(g >> 6) + kCosineOffset];
  record[kWordPositionX] = Narrow(record[kWordPositionX] + (((s * sin) >> 15) >> k));
  record[kWordPositionZ] = Narrow(record[kWordPositionZ] + ((-((s * cos) >> 15)) >> k));
  int64_t t = record[kWordVelocityX], u = record[kWordVelocityZ];
  TurnXZ(sine, WrapAngle(-g), &t, &u);
  t = t * 120 / 100;
  u = -(u >> 4);
  TurnXZ(sine, g, &t, &u);
  record[kWordVelocityX] = Narrow(t);
  record[kWordVelocityZ] = Narrow(u);
  return -1;
}

}  // namespace

// Step-back form. d, from the mean hit point to the element, shrinks by 125/128 a step until
// mean + d is inside or |dx| + |dz| < 5001. d is two 32-bit words, so |dx| + |dz| starts at 2^32
// at most and each step takes at least 3/128 of it: the loop ends within 577 steps (2^31 and
// -2^31 on both axes), each one volume test of one bucket.
int32_t StepBackIterations(int32_t dx, int32_t dz, const std::function<bool(int32_t, int32_t)>& inside) {
  int32_t steps = 0;
  for (;;) {
    dx = Narrow((int64_t{dx} * 125) >> 7);
    dz = Narrow((int64_t{dz} * 125) >> 7);
    ++steps;
    if (inside(dx, dz) || Abs64(dx) + Abs64(dz) < kStepBackEnd) return steps;
  }
}

namespace {

int32_t SlideStepBack(const core::Arena* arena, int32_t* record, const ProbeResult& probes, const brain::Regs& regs) {
  const state::Engine& engine = state::Current();
  const int32_t above = static_cast<int32_t>(regs.ecx), below = static_cast<int32_t>(regs.edx);
  record[kWordVelocityY] = Narrow(-int64_t{record[kWordVelocityY]});
  const int32_t mx = Narrow(probes.xSum / probes.count * 512), mz = Narrow(probes.zSum / probes.count * 512);
  const int32_t y = record[kWordPositionY];
  if (!InsideVolume(engine, mx, y, mz, above, below) ||
      InsideVolume(engine, record[kWordPositionX], y, record[kWordPositionZ], above, below)) {
    return VolumeRebound(arena, record, regs);
  }
  int32_t dx = Narrow(int64_t{record[kWordPositionX]} - mx), dz = Narrow(int64_t{record[kWordPositionZ]} - mz);
  StepBackIterations(dx, dz, [&](int32_t sx, int32_t sz) {
    dx = sx, dz = sz;
    return InsideVolume(engine, Narrow(int64_t{mx} + sx), y, Narrow(int64_t{mz} + sz), above, below);
  });
  const int32_t kept[4] = {record[kWordPositionX], record[kWordPositionZ], record[kWordVelocityX], record[kWordVelocityZ]};
  const int64_t before = Abs64(kept[2]) + Abs64(kept[3]);
  record[kWordPositionX] = AddWrapping(kept[0], dx);
  record[kWordPositionZ] = AddWrapping(kept[1], dz);
  record[kWordVelocityX] = AddWrapping(kept[2], dx);
  record[kWordVelocityZ] = AddWrapping(kept[3], dz);
  if (Abs64(record[kWordVelocityX]) + Abs64(record[kWordVelocityZ]) <= before) return -1;
  record[kWordPositionX] = kept[0];
  record[kWordPositionZ] = kept[1];
  record[kWordVelocityX] = kept[2];
  record[kWordVelocityZ] = kept[3];
  VolumeRebound(arena, record, regs);
  return -1;
}

bool volume_slide(brain::Regs* regs, std::string* fault) {
  const core::Arena* arena = &state::Current().arena;
  int32_t* record = ElementRecord(arena, regs->eax, fault);
  if (record == nullptr) {
    regs->eax = 0;
    return fault->empty();
  }
  const ProbeResult probes = ProbeVolume(state::Current(), record, static_cast<int32_t>(regs->ebx),
                                         static_cast<int32_t>(regs->ecx), static_cast<int32_t>(regs->edx));
  int32_t result = 0;
  if (probes.count > 0) {
    const int32_t mode = static_cast<int32_t>(regs->esi);
    result = mode == -1 ? SlideStepBack(arena, record, probes, *regs) : SlidePushOut(arena, record, probes, mode);
  }
  regs->eax = static_cast<uint32_t>(result);
  return true;
}

int32_t inside_volume(const core::Arena*, int32_t* record, const brain::Regs&) {
  return InsideVolume(state::Current(), record[kWordPositionX], record[kWordPositionY], record[kWordPositionZ], 0, 0)
             ? -1
             : 0;
}

// The probes that find no ground (no triangle of the mesh under them) give a mean direction n of
// their offsets; a horizontal velocity heading that way (v.n > 0) is reflected off the line across
// n: v - 2 (v.n) n. Probes on opposite sides that cancel out reverse the horizontal velocity.
// Returns -1 when the velocity changed.
int32_t boundary_rebound(const core::Arena* arena, int32_t* record, const brain::Regs& regs) {
  state::Engine& engine = state::Current();
  const model::GroundMap* map = GroundMapOfElement(engine, engine.play->collisions.groundMesh);
  if (map == nullptr) return 0;
  const int64_t reach = int64_t{static_cast<int32_t>(regs.ebx)} + Abs64(record[kWordVelocityX]) + Abs64(record[kWordVelocityZ]);
  const int32_t* sine = SineOf(arena);
  double nx = 0.0, nz = 0.0;
  int missing = 0;
  for (int k = 0; k < 8; ++k) {
    const int32_t index = (k * kEighthTurn) >> 6;
    const int64_t r = Narrow(reach);
    const int64_t dx = -((sine[index] * r) >> 15), dz = (sine[index + kCosineOffset] * r) >> 15;
    const model::GroundHit hit = model::MeshGroundHeight(*map, Narrow(record[kWordPositionX] + dx), record[kWordPositionY],
                                                         Narrow(record[kWordPositionZ] + dz), RadiusUnits(record));
    if (hit.triangle >= 0) continue;
    ++missing;
    nx += -sine[index] / 32768.0;
    nz += sine[index + kCosineOffset] / 32768.0;
  }
  if (missing == 0) return 0;
  const double vx = record[kWordVelocityX], vz = record[kWordVelocityZ];
  const double length = std::sqrt(nx * nx + nz * nz);
  if (length < 1e-9) {
    record[kWordVelocityX] = Narrow(-int64_t{record[kWordVelocityX]});
    record[kWordVelocityZ] = Narrow(-int64_t{record[kWordVelocityZ]});
    return -1;
  }
  nx /= length;
  nz /= length;
  const double along = vx * nx + vz * nz;
  if (along <= 0.0) return 0;
  record[kWordVelocityX] = Narrow(std::llround(vx - 2.0 * along * nx));
  record[kWordVelocityZ] = Narrow(std::llround(vz - 2.0 * along * nz));
  return -1;
}

int32_t ground_set(const core::Arena* arena, int32_t* record, const brain::Regs&) {
  state::Current().play->collisions.groundMesh = Index(arena, record);
  return 0;
}

int32_t volume_set(const core::Arena* arena, int32_t* record, const brain::Regs&) {
  state::Current().play->collisions.volumeMesh = Index(arena, record);
  return 0;
}

constexpr brain::RoutineEntry kGroundRoutines[] = {
    {"ground_level", OneElement<ground_level>},
    {"above_ground_level", OneElement<above_ground_level>},  // also agl, aglevel
    {"over_ground", OneElement<over_ground>},
    {"over_ground_g", OneElement<over_ground_g>},
    {"over_ground_slope", OneElement<over_ground_slope>},
    {"ground_color", OneElement<ground_color>},
    {"ground_slope", OneElement<ground_slope>},
    {"boundary_rebound", OneElement<boundary_rebound>},  // also ground_color_rebound
    {"ground_set", OneElement<ground_set>},
    {"volume_set", OneElement<volume_set>},
    {"inside_volume", OneElement<inside_volume>},
    {"volume_rebound", OneElement<VolumeRebound>},
    {"volume_slide", volume_slide},
};

}  // namespace

std::span<const brain::RoutineEntry> GroundRoutines() { return kGroundRoutines; }

}  // namespace instructions
