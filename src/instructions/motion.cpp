// Motion instructions: reads and writes the motion words of element state records with the sine
// and arctangent tables in guest memory, and the orientation accumulator of the play. Calls core/arena,
// model/state_record, the brain runner, the current engine and GLM.
//
// | Instruction                                  | Arguments           | Effect                                             |
// |----------------------------------------------|---------------------|----------------------------------------------------|
// | position_x, position_y, position_z           | element             | returns the coordinate                             |
// | position_x_set ... position_z_set            | element, value      | sets the coordinate                                |
// | position_x_add ... position_z_add            | element, value      | adds to the coordinate                             |
// | position_set                                 | element, x, y, z    | sets all three coordinates                         |
// | rotation_x, rotation_y, rotation_z           | element             | returns the folded angle (WrapAngle)               |
// | rotation_x_set ... rotation_z_set            | element, value      | sets the angle, unfolded                           |
// | rotation_x_add ... rotation_z_add            | element, value      | adds to the angle, unfolded                        |
// | velocity_x, velocity_y, velocity_z           | element             | returns the component                              |
// | velocity_x_set ... / velocity_x_add ...      | element, value      | sets or adds the component                         |
// | spin_x, spin_y, spin_z; spin_*_set; spin_*_add | element [, value] | reads, sets or adds the spin component             |
// | position_copy, velocity_copy, spin_copy      | source, destination | copies the three words                             |
// | rotation_copy                                | source, destination | copies the rotation; plus the source's child       |
// |                                              |                     | rotation offset when its status bit 3 is set       |
// | velocity_update                              | element             | position += velocity                               |
// | spin_update                                  | element             | rotation += spin                                   |
// | velocity, velocity_xz                        | element             | round(length) in mm per tick (each part >> 9)      |
// | speed, speed_xz                              | element             | velocity, velocity_xz times 512                    |
// | speed_lz                                     | element             | forward (local z) velocity in the element's frame  |
// | distance                                     | element, other      | round(3D distance in mm) times 512                 |
// | distance_xz                                  | element, other      | round(planar distance in mm) times 512             |
// | direction_xz                                 | element, other      | heading from element to other (PlanarDirection)    |
// | angle                                        | a, b                | heading of the vector (x a, z b)                   |
// | gravity                                      | element, x, y, z    | velocity += (x, y, z)                              |
// | thrust                                       | element, force      | velocity += force along the element's z axis       |
// | velocity_set (speed_set)                     | element, speed      | velocity = speed along the element's z axis        |
// | thrust_xz                                    | element, force      | vx, vz += force along the heading (coarse table)   |
// | velocity_set_xz (speed_xz_set)               | element, speed      | vx, vz = speed along the heading; vy kept          |
// | speed_xz_limit                               | element, limit      | scales vx, vz down to limit / 512 mm per tick      |
// | friction, friction_xz, friction_y            | element, factor     | velocity parts *= factor / 512, toward zero        |
// | friction_xr, friction_yr, friction_zr        | element, factor     | one spin part *= factor / 512, toward zero         |
// | drag, drag_xz, drag_y                        | element, k          | quadratic drag; halves the parts when too fast     |
// | attract, attract_xz, attract_y               | element, target, s  | velocity += s * extent / largest extent            |
// | attract_point                                | element, x, y, z, s | the same toward a fixed point                      |
// | attract_xr, attract_yr, attract_zr           | element, angle, s   | spin +-= s, the shorter way toward the angle       |
// | boing_x ... (rebound_x ...)                  | element             | position -= 4 * v, v = -v on one axis              |
// | track, track_yr                              | element, target     | pitch and heading (or heading) toward the target   |
// | track_smooth, track_yr_smooth                | element, target, n  | eases the angles by 1 / 2^n of the shorter turn    |
// | steer_angle_to                               | element, target, l  | heading change toward the target, clamped to +-l   |
// | orient_straight                              | element, ax, ay     | points along the velocity, plus (ax, ay)           |
// | orient_forward                               | element, ax, ay,    | the same, or with a rate: spins toward it and      |
// |                                              | rate, damping       | damps the spin                                     |
// | follow                                       | element, target,    | moves gain / 128 of the way to a point ahead of    |
// |                                              | height, dist, gain  | the target                                         |
// | child_pos                                    | child, parent, xyz  | child position = parent + offset in parent's frame |
// | child_rot                                    | child, parent, xyz  | parent's rotation, offset kept, status bit 3 set   |
// | steer                                        | element, angle, d   | wheeled step; returns the rolling speed * 512      |
// | lift                                         | element, f, stall   | lift across the motion; returns its size           |
// | rotation_axis_set, rotation_axis_add         | x, y, z, angle      | sets or turns the orientation accumulator          |
// | orientation_set                              | element             | rotation = the accumulator's angles                |
//
// Every element argument is a record address; a frame handle (top bit set) makes an instruction
// change nothing and return 0. Instructions that return nothing leave 0 in EAX.
#include "instructions/motion.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#define GLM_ENABLE_EXPERIMENTAL
#include <glm/gtc/quaternion.hpp>
#include <glm/gtx/euler_angles.hpp>

#include "instructions/arguments.h"

namespace instructions {

namespace {

using model::kRecordBytes;

constexpr int32_t kRightAngleEighths = 720;      // 90 degrees in arctangent-table steps
constexpr int32_t kArctangentEntries = 720;
constexpr int64_t kArctangentRatioLimit = 512000;
constexpr int32_t kCosineOffset = 720;  // the fine table's cosine is its sine 90 degrees on

// Accessors for one word: read, read folded, set, add. The word travels as a template parameter so
// each accessor is a plain function pointer.
template <int kWord>
int32_t ReadAngle(const core::Arena*, int32_t* record, const brain::Regs&) { return WrapAngle(record[kWord]); }
template <int kFirstWord>
int32_t CopyThree(const core::Arena*, int32_t* source, int32_t* destination, const brain::Regs&) {
  for (int i = 0; i < 3; ++i) destination[kFirstWord + i] = source[kFirstWord + i];
  return 0;
}

// Rounded length in millimetres of a vector given in 1/512 mm.
int32_t RoundedLength(int64_t a, int64_t b, int64_t c) { return RoundedRoot(SquaredMillimetres(a, b, c)); }

int32_t TimesUnit(int32_t millimetres) { return static_cast<int32_t>(static_cast<uint32_t>(millimetres) * 512u); }

const int32_t* ArctangentTableOf(const core::Arena* arena) { return arena->As<int32_t>(core::Region::kArctangent); }

// Words widened to 64 bits, so that the difference of two far-apart coordinates cannot overflow.
int64_t Word(const int32_t* record, int word) { return record[word]; }

// [SECTION] Instructions

int32_t position_set(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  record[model::kWordPositionX] = static_cast<int32_t>(regs.ebx);
  record[model::kWordPositionY] = static_cast<int32_t>(regs.ecx);
  record[model::kWordPositionZ] = static_cast<int32_t>(regs.edx);
  return 0;
}

// With status bit 3 the source is a child placed by its parent: its visible rotation is its own
// plus the offset kept beside it, and that is what the destination takes over.
int32_t rotation_copy(const core::Arena*, int32_t* source, int32_t* destination, const brain::Regs&) {
  const bool childOffset = (static_cast<uint32_t>(source[model::kWordStatus]) & model::kStatusChildOffset) != 0;
  for (int i = 0; i < 3; ++i) {
    int32_t angle = source[model::kWordRotationX + i];
    if (childOffset) angle = AddWrapping(angle, source[model::kWordChildRotationX + i]);
    destination[model::kWordRotationX + i] = angle;
  }
  return 0;
}

int32_t velocity_update(const core::Arena*, int32_t* record, const brain::Regs&) {
  for (int i = 0; i < 3; ++i) {
    record[model::kWordPositionX + i] = AddWrapping(record[model::kWordPositionX + i], record[model::kWordVelocityX + i]);
  }
  return 0;
}

int32_t spin_update(const core::Arena*, int32_t* record, const brain::Regs&) {
  for (int i = 0; i < 3; ++i) {
    record[model::kWordRotationX + i] = AddWrapping(record[model::kWordRotationX + i], record[model::kWordSpinX + i]);
  }
  return 0;
}

int32_t velocity(const core::Arena*, int32_t* record, const brain::Regs&) {
  return RoundedLength(Word(record, model::kWordVelocityX), Word(record, model::kWordVelocityY),
                       Word(record, model::kWordVelocityZ));
}

int32_t velocity_xz(const core::Arena*, int32_t* record, const brain::Regs&) {
  return RoundedLength(Word(record, model::kWordVelocityX), 0, Word(record, model::kWordVelocityZ));
}

int32_t speed(const core::Arena* arena, int32_t* record, const brain::Regs& regs) {
  return TimesUnit(velocity(arena, record, regs));
}

int32_t speed_xz(const core::Arena* arena, int32_t* record, const brain::Regs& regs) {
  return TimesUnit(velocity_xz(arena, record, regs));
}

// Turns (a, b) by the angle whose fine-table index is `index`: a' = a cos - b sin,
// b' = a sin + b cos. Each product is taken in 64 bits and shifted back by 15 on its own.
void Turn(const int32_t* sine, int32_t index, int32_t* a, int32_t* b) {
  const int64_t sin = sine[index];
  const int64_t cos = sine[index + kCosineOffset];
  const int64_t oldA = *a;
  const int64_t oldB = *b;
  *a = static_cast<int32_t>(((oldA * cos) >> 15) - ((oldB * sin) >> 15));
  *b = static_cast<int32_t>(((oldA * sin) >> 15) + ((oldB * cos) >> 15));
}

// Takes a world vector into the element's own frame: the negated rotations about y, z and x, in
// that order (the reverse of placing the element). A step whose index is 0 (a folded angle under
// an eighth of a degree) is skipped.
void IntoElementFrame(const int32_t* sine, const int32_t* record, int32_t* x, int32_t* y, int32_t* z) {
  const int32_t yIndex = WrapAngle(-record[model::kWordRotationY]) >> 6;
  if (yIndex != 0) Turn(sine, yIndex, x, z);
  const int32_t zIndex = WrapAngle(-record[model::kWordRotationZ]) >> 6;
  if (zIndex != 0) Turn(sine, zIndex, x, y);
  const int32_t xIndex = WrapAngle(-record[model::kWordRotationX]) >> 6;
  if (xIndex != 0) Turn(sine, xIndex, y, z);
}

int32_t speed_lz(const core::Arena* arena, int32_t* record, const brain::Regs&) {
  int32_t x = record[model::kWordVelocityX];
  int32_t y = record[model::kWordVelocityY];
  int32_t z = record[model::kWordVelocityZ];
  IntoElementFrame(arena->As<int32_t>(core::Region::kSineFine), record, &x, &y, &z);
  return z;
}

int32_t distance(const core::Arena*, int32_t* element, int32_t* other, const brain::Regs&) {
  return TimesUnit(RoundedRoot(SquaredSeparation(element, other)));
}

int32_t distance_xz(const core::Arena*, int32_t* element, int32_t* other, const brain::Regs&) {
  return TimesUnit(RoundedLength(Word(element, model::kWordPositionX) - Word(other, model::kWordPositionX), 0,
                                 Word(element, model::kWordPositionZ) - Word(other, model::kWordPositionZ)));
}

int32_t direction_xz(const core::Arena* arena, int32_t* from, int32_t* to, const brain::Regs&) {
  if (from == to) return 0;
  return PlanarDirection(ArctangentTableOf(arena),
                         Word(to, model::kWordPositionX) - Word(from, model::kWordPositionX),
                         Word(to, model::kWordPositionZ) - Word(from, model::kWordPositionZ));
}

// Places the quadrant of (x, z) around c, the angle in eighths of a degree from the x axis
// (0..720), and turns it into a heading measured from +z.
int32_t HeadingFromQuadrant(int32_t c, int64_t x, int64_t z) {
  if (x < 0 && z < 0) {
    c += 1440;
  } else if (z < 0) {
    c = 2880 - c;
  } else if (x < 0) {
    c = 1440 - c;
  }
  return (c - kRightAngleEighths) * 64;
}

// `angle` takes plain numbers, not elements, so no record is involved.
bool angle(brain::Regs* regs, std::string*) {
  const core::Arena* arena = &state::Current().arena;
  const int64_t a = static_cast<int32_t>(regs->eax);
  const int64_t b = static_cast<int32_t>(regs->ebx);
  int32_t c = kRightAngleEighths;
  if (a != 0) {
    const int64_t ratio = b * 1024 / a;
    c = TableArctangent(ArctangentTableOf(arena), ratio < 0 ? -ratio : ratio);
  }
  regs->eax = static_cast<uint32_t>(HeadingFromQuadrant(c, a, b));
  return true;
}

// [SECTION] Forces and damping

const int32_t* SineOf(const core::Arena* arena) { return arena->As<int32_t>(core::Region::kSineFine); }

int32_t Narrow(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value))); }

// Places a vector given in the element's frame into the world: about x by pitch, about z by roll,
// then about y by heading. A step whose index is 0 is skipped, as in IntoElementFrame.
void OutOfElementFrame(const int32_t* sine, const int32_t* record, int32_t* x, int32_t* y, int32_t* z) {
  const int32_t xIndex = WrapAngle(record[model::kWordRotationX]) >> 6;
  if (xIndex != 0) Turn(sine, xIndex, y, z);
  const int32_t zIndex = WrapAngle(record[model::kWordRotationZ]) >> 6;
  if (zIndex != 0) Turn(sine, zIndex, x, y);
  const int32_t yIndex = WrapAngle(record[model::kWordRotationY]) >> 6;
  if (yIndex != 0) Turn(sine, yIndex, x, z);
}

int32_t gravity(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  record[model::kWordVelocityX] = AddWrapping(record[model::kWordVelocityX], static_cast<int32_t>(regs.ebx));
  record[model::kWordVelocityY] = AddWrapping(record[model::kWordVelocityY], static_cast<int32_t>(regs.ecx));
  record[model::kWordVelocityZ] = AddWrapping(record[model::kWordVelocityZ], static_cast<int32_t>(regs.edx));
  return 0;
}

// The force along the element's own z axis, placed in the world.
void ForwardVector(const core::Arena* arena, const int32_t* record, int32_t force, int32_t out[3]) {
  out[0] = 0;
  out[1] = 0;
  out[2] = force;
  OutOfElementFrame(SineOf(arena), record, &out[0], &out[1], &out[2]);
}

int32_t thrust(const core::Arena* arena, int32_t* record, const brain::Regs& regs) {
  int32_t push[3];
  ForwardVector(arena, record, static_cast<int32_t>(regs.ebx), push);
  for (int i = 0; i < 3; ++i) record[model::kWordVelocityX + i] = AddWrapping(record[model::kWordVelocityX + i], push[i]);
  return 0;
}

int32_t velocity_set(const core::Arena* arena, int32_t* record, const brain::Regs& regs) {
  ForwardVector(arena, record, static_cast<int32_t>(regs.ebx), record + model::kWordVelocityX);
  return 0;
}

// The planar heading push read from the coarse table: one row of 256 signed bytes per whole
// degree. The x factor is byte 1 of the heading's row (-sin); the z factor lies 23295 bytes on, the
// last byte of the row 90 degrees further (cos); both with 128 standing for 1.0.
void CoarsePush(const core::Arena* arena, const int32_t* record, int32_t force, int32_t* x, int32_t* z) {
  const int8_t* table = arena->As<int8_t>(core::Region::kSineCoarse);
  const int32_t rowStart = WrapAngle(record[model::kWordRotationY]) / 512 * 256;
  *x = Narrow((static_cast<int64_t>(force) * table[rowStart + 1]) >> 7);
  *z = Narrow((static_cast<int64_t>(force) * table[rowStart + 23295]) >> 7);
}

int32_t thrust_xz(const core::Arena* arena, int32_t* record, const brain::Regs& regs) {
  int32_t x = 0;
  int32_t z = 0;
  CoarsePush(arena, record, static_cast<int32_t>(regs.ebx), &x, &z);
  record[model::kWordVelocityX] = AddWrapping(record[model::kWordVelocityX], x);
  record[model::kWordVelocityZ] = AddWrapping(record[model::kWordVelocityZ], z);
  return 0;
}

int32_t velocity_set_xz(const core::Arena* arena, int32_t* record, const brain::Regs& regs) {
  CoarsePush(arena, record, static_cast<int32_t>(regs.ebx), &record[model::kWordVelocityX],
             &record[model::kWordVelocityZ]);
  return 0;
}

// Only clamps when the cheap |vx| + |vz| test already says the limit may be passed, so most calls
// take no square root.
int32_t speed_xz_limit(const core::Arena* arena, int32_t* record, const brain::Regs& regs) {
  const int64_t limit = static_cast<int32_t>(regs.ebx);
  const int64_t x = record[model::kWordVelocityX];
  const int64_t z = record[model::kWordVelocityZ];
  const int64_t cap = limit / 512;
  if ((x < 0 ? -x : x) + (z < 0 ? -z : z) <= limit || cap < 1) return 0;
  const int64_t length = velocity_xz(arena, record, regs);
  if (length <= cap) return 0;
  record[model::kWordVelocityX] = Narrow(cap * x / length);
  record[model::kWordVelocityZ] = Narrow(cap * z / length);
  return 0;
}

// v * factor / 512 rounded toward zero. The product is taken in 64 bits: a 32-bit product of a
// fast component would wrap and could flip its sign or speed it up instead of slowing it.
int32_t Damped(int32_t value, int32_t factor) { return Narrow(static_cast<int64_t>(value) * factor / 512); }

template <int kFirstWord, int kCount>
int32_t DampWords(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  for (int i = 0; i < kCount; ++i) record[kFirstWord + i] = Damped(record[kFirstWord + i], static_cast<int32_t>(regs.ebx));
  return 0;
}

int32_t friction_xz(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  record[model::kWordVelocityX] = Damped(record[model::kWordVelocityX], static_cast<int32_t>(regs.ebx));
  record[model::kWordVelocityZ] = Damped(record[model::kWordVelocityZ], static_cast<int32_t>(regs.ebx));
  return 0;
}

// Quadratic drag on the listed velocity words, in order. The loss is s^2 * k / 8192 + 10 with
// s = v >> 12; the constant 10 keeps the element from ever settling exactly at rest. A component
// whose s^2 does not fit a signed 32-bit word would have its loss read as negative (speeding the
// element up), so at that point the listed words are halved instead and the rest are left alone.
int32_t DragWords(int32_t* record, const int* words, int count, int32_t k) {
  for (int i = 0; i < count; ++i) {
    int32_t& v = record[words[i]];
    const int64_t s = v >> 12;
    const int64_t square = s * s;
    if (square > INT32_MAX) {
      for (int j = 0; j < count; ++j) record[words[j]] >>= 1;
      return 0;
    }
    const int64_t loss = square * k / 8192 + 10;
    v = v >= 0 ? Narrow(v - loss) : Narrow(v + loss);
  }
  return 0;
}

constexpr int kVelocityXyz[3] = {model::kWordVelocityX, model::kWordVelocityY, model::kWordVelocityZ};
constexpr int kVelocityXz[2] = {model::kWordVelocityX, model::kWordVelocityZ};
constexpr int kVelocityY[1] = {model::kWordVelocityY};

int32_t drag(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  return DragWords(record, kVelocityXyz, 3, static_cast<int32_t>(regs.ebx));
}
int32_t drag_xz(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  return DragWords(record, kVelocityXz, 2, static_cast<int32_t>(regs.ebx));
}
int32_t drag_y(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  return DragWords(record, kVelocityY, 1, static_cast<int32_t>(regs.ebx));
}

// Adds strength * d / m to each listed velocity word, m being the largest |d|, so the largest
// component of the push is the strength itself. Nothing happens when the target is reached.
void AttractToward(int32_t* record, const int64_t delta[3], const bool use[3], int32_t strength) {
  int64_t m = 0;
  for (int i = 0; i < 3; ++i) {
    const int64_t size = delta[i] < 0 ? -delta[i] : delta[i];
    if (use[i] && size > m) m = size;
  }
  if (m == 0) return;
  for (int i = 0; i < 3; ++i) {
    if (use[i]) record[model::kWordVelocityX + i] = AddWrapping(record[model::kWordVelocityX + i], Narrow(static_cast<int64_t>(static_cast<__int128>(strength) * delta[i] / m)));
  }
}

template <bool kX, bool kY, bool kZ>
int32_t AttractElement(const core::Arena*, int32_t* element, int32_t* target, const brain::Regs& regs) {
  int64_t delta[3];
  for (int i = 0; i < 3; ++i) delta[i] = Word(target, model::kWordPositionX + i) - Word(element, model::kWordPositionX + i);
  const bool use[3] = {kX, kY, kZ};
  AttractToward(element, delta, use, static_cast<int32_t>(regs.ecx));
  return 0;
}

int32_t attract_point(const core::Arena*, int32_t* element, const brain::Regs& regs) {
  const int64_t delta[3] = {static_cast<int32_t>(regs.ebx) - Word(element, model::kWordPositionX),
                            static_cast<int32_t>(regs.ecx) - Word(element, model::kWordPositionY),
                            static_cast<int32_t>(regs.edx) - Word(element, model::kWordPositionZ)};
  const bool use[3] = {true, true, true};
  AttractToward(element, delta, use, static_cast<int32_t>(regs.esi));
  return 0;
}

// Bang-bang spin toward an angle: a fixed step each tick in the direction of the shorter turn.
// At the angle itself the step still goes one way, so the element hovers around it.
void AttractAngle(int32_t* record, int axis, int32_t angle, int32_t step) {
  int32_t d = WrapAngle(record[model::kWordRotationX + axis]) - WrapAngle(angle);
  if (d > 92160 || d < -92160) d = -d;
  int32_t& spin = record[model::kWordSpinX + axis];
  spin = d < 0 ? AddWrapping(spin, step) : AddWrapping(spin, -step);
}

template <int kAxis>
int32_t AttractRotation(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  AttractAngle(record, kAxis, static_cast<int32_t>(regs.ebx), static_cast<int32_t>(regs.ecx));
  return 0;
}

// A bounce off a plane across the axis: the element is also moved back by four ticks of its
// approach, so it leaves the surface it had sunk into.
template <int kAxis>
int32_t Boing(const core::Arena*, int32_t* record, const brain::Regs&) {
  int32_t& v = record[model::kWordVelocityX + kAxis];
  record[model::kWordPositionX + kAxis] = Narrow(Word(record, model::kWordPositionX + kAxis) - 4 * static_cast<int64_t>(v));
  v = Narrow(-static_cast<int64_t>(v));
  return 0;
}

// [SECTION] Heading and orientation

// Pitch that points the element's z axis at (tx, ty, tz): positive pitch points down.
int32_t PitchToward(const core::Arena* arena, const int32_t* self, int64_t tx, int64_t ty, int64_t tz) {
  const int64_t h = RoundedLength(Word(self, model::kWordPositionX) - tx, 0, Word(self, model::kWordPositionZ) - tz);
  if (h == 0) return Word(self, model::kWordPositionY) >= ty ? 46080 : -46080;
  const int64_t dy = (ty - Word(self, model::kWordPositionY)) >> 9;
  if (dy == 0) return 0;
  const int32_t p = TableArctangent(ArctangentTableOf(arena), (dy < 0 ? -dy : dy) * 1024 / h) * 64;
  return dy > 0 ? -p : p;
}

// Pitch and heading toward a point; `same` marks the element aimed at itself (heading 0).
void AimAt(const core::Arena* arena, const int32_t* self, int64_t tx, int64_t ty, int64_t tz, bool same, int32_t* pitch,
           int32_t* heading) {
  *pitch = PitchToward(arena, self, tx, ty, tz);
  *heading = same ? 0
                  : PlanarDirection(ArctangentTableOf(arena), tx - Word(self, model::kWordPositionX),
                                    tz - Word(self, model::kWordPositionZ));
}

int32_t track(const core::Arena* arena, int32_t* element, int32_t* target, const brain::Regs&) {
  AimAt(arena, element, Word(target, model::kWordPositionX), Word(target, model::kWordPositionY),
        Word(target, model::kWordPositionZ), element == target, &element[model::kWordRotationX],
        &element[model::kWordRotationY]);
  return 0;
}

int32_t track_yr(const core::Arena* arena, int32_t* element, int32_t* target, const brain::Regs& regs) {
  element[model::kWordRotationY] = direction_xz(arena, element, target, regs);
  return 0;
}

int32_t steer_angle_to(const core::Arena* arena, int32_t* element, int32_t* target, const brain::Regs& regs) {
  const uint32_t on = model::kStatusOn;
  if ((static_cast<uint32_t>(element[model::kWordStatus]) & on) == 0 ||
      (static_cast<uint32_t>(target[model::kWordStatus]) & on) == 0) {
    return 0;
  }
  const int32_t limit = static_cast<int32_t>(regs.ecx);
  int32_t d = WrapAngle(AddWrapping(direction_xz(arena, element, target, regs), -element[model::kWordRotationY]));
  if (d > 92160) {
    d -= kFullTurn;
    return d > -limit ? d : -limit;
  }
  return d < limit ? d : limit;
}

// The angles that point the element along its velocity, plus the two offsets.
void StraightAngles(const core::Arena* arena, const int32_t* record, int32_t addX, int32_t addY, int32_t* pitch,
                    int32_t* heading) {
  AimAt(arena, record, Word(record, model::kWordPositionX) + Word(record, model::kWordVelocityX),
        Word(record, model::kWordPositionY) + Word(record, model::kWordVelocityY),
        Word(record, model::kWordPositionZ) + Word(record, model::kWordVelocityZ), false, pitch, heading);
  *pitch = AddWrapping(*pitch, addX);
  *heading = AddWrapping(*heading, addY);
}

int32_t orient_straight(const core::Arena* arena, int32_t* record, const brain::Regs& regs) {
  StraightAngles(arena, record, static_cast<int32_t>(regs.ebx), static_cast<int32_t>(regs.ecx),
                 &record[model::kWordRotationX], &record[model::kWordRotationY]);
  return 0;
}

// With a rate the element is not snapped to its course but spun toward it and the spin damped,
// which turns it smoothly.
int32_t orient_forward(const core::Arena* arena, int32_t* record, const brain::Regs& regs) {
  int32_t pitch = 0;
  int32_t heading = 0;
  StraightAngles(arena, record, static_cast<int32_t>(regs.ebx), static_cast<int32_t>(regs.ecx), &pitch, &heading);
  const int32_t rate = static_cast<int32_t>(regs.edx);
  if (rate == 0) {
    record[model::kWordRotationX] = pitch;
    record[model::kWordRotationY] = heading;
    return 0;
  }
  AttractAngle(record, 0, pitch, rate);
  AttractAngle(record, 1, heading, rate);
  const int32_t damping = static_cast<int32_t>(regs.esi);
  record[model::kWordSpinX] = Damped(record[model::kWordSpinX], damping);
  record[model::kWordSpinY] = Damped(record[model::kWordSpinY], damping);
  return 0;
}

int32_t child_pos(const core::Arena* arena, int32_t* child, int32_t* parent, const brain::Regs& regs) {
  int32_t offset[3] = {static_cast<int32_t>(regs.ecx), static_cast<int32_t>(regs.edx), static_cast<int32_t>(regs.esi)};
  OutOfElementFrame(SineOf(arena), parent, &offset[0], &offset[1], &offset[2]);
  for (int i = 0; i < 3; ++i) child[model::kWordPositionX + i] = AddWrapping(parent[model::kWordPositionX + i], offset[i]);
  return 0;
}

// Bit 3 tells rotation_copy and the scene bridge to add the offset; the tick clears it, so a
// child keeps its offset only while its brain keeps calling this.
int32_t child_rot(const core::Arena*, int32_t* child, int32_t* parent, const brain::Regs& regs) {
  child[model::kWordStatus] = static_cast<int32_t>(static_cast<uint32_t>(child[model::kWordStatus]) | model::kStatusChildOffset);
  child[model::kWordChildRotationX] = static_cast<int32_t>(regs.ecx);
  child[model::kWordChildRotationY] = static_cast<int32_t>(regs.edx);
  child[model::kWordChildRotationZ] = static_cast<int32_t>(regs.esi);
  for (int i = 0; i < 3; ++i) child[model::kWordRotationX + i] = parent[model::kWordRotationX + i];
  return 0;
}

// Eases the rotation word toward `desired` by d >> shift, d the shorter way round from the folded
// current angle, so the element never swings the long way round.
void EaseAngle(int32_t* angle, int32_t desired, int32_t shift) {
  const int32_t current = WrapAngle(*angle);
  int64_t d = static_cast<int64_t>(desired) - current;
  if (d > 92160) {
    d -= kFullTurn;
  } else if (d < -92160) {
    d += kFullTurn;
  }
  *angle = Narrow(current + (d >> (shift & 63)));
}

template <bool kPitch>
int32_t TrackSmooth(const core::Arena* arena, int32_t* element, int32_t* target, const brain::Regs& regs) {
  int32_t pitch = 0;
  int32_t heading = 0;
  AimAt(arena, element, Word(target, model::kWordPositionX), Word(target, model::kWordPositionY),
        Word(target, model::kWordPositionZ), element == target, &pitch, &heading);
  const int32_t shift = static_cast<int32_t>(regs.ecx);
  if (kPitch) EaseAngle(&element[model::kWordRotationX], pitch, shift);
  EaseAngle(&element[model::kWordRotationY], heading, shift);
  return 0;
}

// Chase-camera step: the goal sits `distance` along the target's heading at `height`
// above it; each tick closes gain / 128 of the gap, in whole millimetres.
int32_t follow(const core::Arena* arena, int32_t* element, int32_t* target, const brain::Regs& regs) {
  const int32_t* sine = SineOf(arena);
  const int32_t index = WrapAngle(target[model::kWordRotationY]) >> 6;
  const int64_t reach = static_cast<int32_t>(regs.edx);
  const int64_t goal[3] = {Word(target, model::kWordPositionX) - ((reach * sine[index]) >> 15),
                           Word(target, model::kWordPositionY) + static_cast<int32_t>(regs.ecx),
                           Word(target, model::kWordPositionZ) + ((reach * sine[index + kCosineOffset]) >> 15)};
  const int64_t gain = static_cast<int32_t>(regs.esi);
  for (int i = 0; i < 3; ++i) {
    const int64_t gap = (goal[i] - Word(element, model::kWordPositionX + i)) >> 9;
    element[model::kWordPositionX + i] = Narrow(Word(element, model::kWordPositionX + i) + gap * gain * 4);
  }
  return 0;
}

// Turns (a, b) by a folded angle; unlike the placing rotations no step is skipped, since here a
// skipped turn by a small angle would swap which part counts as along and which as across.
void TurnBy(const int32_t* sine, int32_t angle, int32_t* a, int32_t* b) { Turn(sine, WrapAngle(angle) >> 6, a, b); }

// Wheeled-vehicle step: the planar velocity is split along the rolling direction of the steered
// wheels (the x axis of the frame turned by s) and across it. The rolling part is kept, the
// sideways part is scaled by drift / 512, and the heading turns in proportion to the steering
// angle and the rolling speed, backwards when the vehicle moves backwards.
int32_t steer(const core::Arena* arena, int32_t* record, const brain::Regs& regs) {
  const int32_t* sine = SineOf(arena);
  const int32_t a = Narrow((static_cast<int64_t>(static_cast<int32_t>(regs.ebx)) * 85) >> 8);
  const int32_t h = WrapAngle(record[model::kWordRotationY]);
  const int32_t s = WrapAngle(AddWrapping(h + 46080, a));
  const int32_t vx = record[model::kWordVelocityX];
  const int32_t vz = record[model::kWordVelocityZ];
  int32_t p = vx;
  int32_t q = vz;
  TurnBy(sine, -s, &p, &q);
  int32_t alongX = p;
  int32_t alongZ = 0;
  TurnBy(sine, s, &alongX, &alongZ);
  int32_t acrossX = 0;
  int32_t acrossZ = q;
  TurnBy(sine, s, &acrossX, &acrossZ);
  int32_t sideways = vx;
  int32_t forward = vz;
  TurnBy(sine, -h, &sideways, &forward);

  int32_t speed = RoundedLength(alongX, 0, alongZ);
  const int32_t turn = Narrow((static_cast<int64_t>(a) * speed) >> 10);
  if (forward < 0) {
    record[model::kWordRotationY] = WrapAngle(AddWrapping(h, -turn));
    speed = -speed;
  } else {
    record[model::kWordRotationY] = WrapAngle(AddWrapping(h, turn));
  }
  const int64_t drift = static_cast<int32_t>(regs.ecx);
  record[model::kWordVelocityX] = Narrow(alongX + ((acrossX * drift) >> 9));
  record[model::kWordVelocityZ] = Narrow(alongZ + ((acrossZ * drift) >> 9));
  return TimesUnit(speed);
}

// Aerodynamic lift from the climb angle of the motion in the element's own frame. Past the stall
// angle the lift falls off again and at twice the stall angle it is gone.
int32_t lift(const core::Arena* arena, int32_t* record, const brain::Regs& regs) {
  const int32_t* sine = SineOf(arena);
  int32_t v[3] = {record[model::kWordVelocityX], record[model::kWordVelocityY], record[model::kWordVelocityZ]};
  IntoElementFrame(sine, record, &v[0], &v[1], &v[2]);
  const int64_t w = RoundedLength(v[0], 0, v[2]);
  if (w == 0) return 0;
  int64_t alpha = 0;
  if (v[1] != 0) {
    const int64_t climb = v[1] < 0 ? -static_cast<int64_t>(v[1]) : v[1];
    alpha = static_cast<int64_t>(TableArctangent(ArctangentTableOf(arena), (climb / 512) * 1024 / w)) * 64;
    if (v[1] < 0) alpha = -alpha;
  }
  const int64_t stall = static_cast<int32_t>(regs.ecx);
  if (alpha > stall) {
    if (alpha - stall >= stall) return 0;
    alpha = 2 * stall - alpha;
  } else if (alpha < -stall) {
    if (-stall >= stall + alpha) return 0;
    alpha = -2 * stall - alpha;
  }
  // 128-bit: a huge factor must wrap like the other words, not overflow.
  const __int128 product = static_cast<__int128>(alpha >> 6) * w * static_cast<int32_t>(regs.ebx);
  const int32_t l = Narrow(static_cast<int64_t>(-(product >> 9)));
  // (0, L, 0) tilted by the climb angle about x, then turned to the direction of the motion.
  int32_t up[3] = {0, l, 0};
  const int32_t alphaIndex = WrapAngle(Narrow(alpha)) >> 6;
  if (alphaIndex != 0) Turn(sine, alphaIndex, &up[1], &up[2]);
  const int32_t rhoIndex = WrapAngle(PlanarDirection(ArctangentTableOf(arena), v[0], v[2])) >> 6;
  if (rhoIndex != 0) Turn(sine, rhoIndex, &up[0], &up[2]);
  for (int i = 0; i < 3; ++i) v[i] = AddWrapping(v[i], up[i]);
  OutOfElementFrame(sine, record, &v[0], &v[1], &v[2]);
  for (int i = 0; i < 3; ++i) record[model::kWordVelocityX + i] = v[i];
  return l;
}

// [SECTION] Orientation accumulator

// Angle units to radians and back: a full turn of 184320 is 2 pi.
constexpr double kRadiansPerUnit = 2.0 * 3.14159265358979323846 / kFullTurn;

// The rotation by `angle` about (x, y, z) / 512000. The axis is normalised so that an axis given
// at any length still gives a pure rotation; an all-zero axis means z.
glm::dquat AxisRotation(const brain::Regs& regs) {
  glm::dvec3 axis(static_cast<int32_t>(regs.eax) / 512000.0, static_cast<int32_t>(regs.ebx) / 512000.0,
                  static_cast<int32_t>(regs.ecx) / 512000.0);
  if (axis == glm::dvec3(0.0)) axis = glm::dvec3(0.0, 0.0, 1.0);
  return glm::angleAxis(static_cast<int32_t>(regs.edx) * kRadiansPerUnit, glm::normalize(axis));
}

// An element is placed as R = Ry(-heading) * Rz(roll) * Rx(pitch) in right-handed terms (its
// heading turns the other way round y), so the accumulator is split as Y * Z * X with the first
// angle negated.
void SetOrientation(const glm::dquat& accumulator, int32_t* record) {
  double y = 0.0;
  double z = 0.0;
  double x = 0.0;
  glm::extractEulerAngleYZX(glm::dmat4(glm::mat4_cast(accumulator)), y, z, x);
  record[model::kWordRotationX] = static_cast<int32_t>(std::llround(x / kRadiansPerUnit));
  record[model::kWordRotationY] = static_cast<int32_t>(std::llround(-y / kRadiansPerUnit));
  record[model::kWordRotationZ] = static_cast<int32_t>(std::llround(z / kRadiansPerUnit));
}

}  // namespace

int32_t ShortestAngleDifference(int32_t a, int32_t b) {
  int32_t d = WrapAngle(b) - WrapAngle(a);
  if (d >= 92161) {
    d -= kFullTurn;
  } else if (d <= -92161) {
    d += kFullTurn;
  }
  return d;
}

// The sum stays below 2^48, where a double holds it exactly and its square root is correctly
// rounded, so equal sums always give equal lengths.
int32_t RoundedRoot(int64_t squares) {
  return static_cast<int32_t>(static_cast<uint32_t>(std::llround(std::sqrt(static_cast<double>(squares)))));
}

// The search keeps table[lo] <= ratio < table[hi] and stops on an exact hit or when the two
// bounds are neighbours, so it gives the step whose tangent lies just below the ratio.
int32_t TableArctangent(const int32_t* table, int64_t ratio) {
  if (ratio >= kArctangentRatioLimit) return kRightAngleEighths;
  int32_t lo = 0;
  int32_t hi = kArctangentEntries - 1;
  for (;;) {
    const int32_t mid = (lo + hi) >> 1;
    if (mid == lo || table[mid] == ratio) return mid;
    if (table[mid] < ratio) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
}

// The x extent is first brought to whole millimetres with an arithmetic shift, so any extent
// below 512 in size reads as straight along z when positive, and as -1 mm when negative (never a
// division by zero). The ratio 2 * dz / (dx >> 9) is tangent * 1024 with dz in 1/512 mm.
int32_t PlanarDirection(const int32_t* arctangent, int64_t dx, int64_t dz) {
  int32_t c = kRightAngleEighths;
  if (dx < 0 || dx > 511) {
    const int64_t ratio = (2 * dz) / (dx >> 9);
    c = TableArctangent(arctangent, ratio < 0 ? -ratio : ratio);
  }
  return HeadingFromQuadrant(c, dx, dz);
}

int32_t LineAngle(const core::Arena* arena, int64_t p, int64_t q) {
  int32_t c = kRightAngleEighths;
  if (q != 0) {
    const int64_t ratio = p * 1024 / q;
    c = TableArctangent(ArctangentTableOf(arena), ratio < 0 ? -ratio : ratio);
  }
  if (p < 0 && q < 0) {
    c += 1440;
  } else if (p < 0) {
    c = 2880 - c;
  } else if (q < 0) {
    c = 1440 - c;
  }
  return c * 64;
}

int32_t Cosine512(int32_t angle) {
  return static_cast<int32_t>(std::lround(std::cos(WrapAngle(angle) / kUnitsPerRadian) * 512.0));
}

namespace {

// A wave over the play's ticks; it changes nothing.
bool oscillate(brain::Regs* regs, std::string*) {
  const state::Engine& engine = state::Current();
  const uint32_t ticks = engine.play ? static_cast<uint32_t>(engine.play->brains.tickCounter) : 0u;
  const auto phase = static_cast<int32_t>(regs->ebx * ticks + regs->ecx);  // wraps like the 32-bit sum
  regs->eax = static_cast<uint32_t>(Narrow(static_cast<int64_t>(static_cast<int32_t>(regs->eax)) * Cosine512(phase) >> 9));
  return true;
}

// The accumulator lives in the play, as (w, x, y, z), so a state dump or a saved game can see it;
// GLM keeps its own component order. Without a play (nothing runs brains then) it is no rotation
// and stays so.
glm::dquat Accumulator() {
  const state::Engine& engine = state::Current();
  if (!engine.play) return glm::dquat(1.0, 0.0, 0.0, 0.0);
  const std::array<double, 4>& q = engine.play->orientation;
  return glm::dquat(q[0], q[1], q[2], q[3]);
}

void StoreAccumulator(const glm::dquat& q) {
  state::Engine& engine = state::Current();
  if (engine.play) engine.play->orientation = {q.w, q.x, q.y, q.z};
}

bool rotation_axis_set(brain::Regs* regs, std::string*) {
  StoreAccumulator(AxisRotation(*regs));
  regs->eax = 0;
  return true;
}

// The new rotation is about the accumulated orientation's own axes (applied first to a vector).
bool rotation_axis_add(brain::Regs* regs, std::string*) {
  StoreAccumulator(glm::normalize(Accumulator() * AxisRotation(*regs)));
  regs->eax = 0;
  return true;
}

int32_t orientation_set(const core::Arena*, int32_t* record, const brain::Regs&) {
  SetOrientation(Accumulator(), record);
  return 0;
}

// get, _set and _add of the three words starting at kFirst, under "<stem>_x" and so on.
#define VEXEL_AXIS_ROUTINES(stem, kFirst, Reader)                                                     \
  {stem "_x", OneElement<Reader<kFirst>>}, {stem "_x_set", OneElement<Write<kFirst>>},                \
      {stem "_x_add", OneElement<Add<kFirst>>}, {stem "_y", OneElement<Reader<kFirst + 1>>},          \
      {stem "_y_set", OneElement<Write<kFirst + 1>>}, {stem "_y_add", OneElement<Add<kFirst + 1>>},   \
      {stem "_z", OneElement<Reader<kFirst + 2>>}, {stem "_z_set", OneElement<Write<kFirst + 2>>},    \
      {stem "_z_add", OneElement<Add<kFirst + 2>>}

constexpr brain::RoutineEntry kMotionRoutines[] = {
    VEXEL_AXIS_ROUTINES("position", model::kWordPositionX, Read),
    VEXEL_AXIS_ROUTINES("rotation", model::kWordRotationX, ReadAngle),
    VEXEL_AXIS_ROUTINES("velocity", model::kWordVelocityX, Read),
    VEXEL_AXIS_ROUTINES("spin", model::kWordSpinX, Read),
    {"position_set", OneElement<position_set>},
    {"position_copy", TwoElements<CopyThree<model::kWordPositionX>>},
    {"velocity_copy", TwoElements<CopyThree<model::kWordVelocityX>>},
    {"spin_copy", TwoElements<CopyThree<model::kWordSpinX>>},
    {"rotation_copy", TwoElements<rotation_copy>},
    {"velocity_update", OneElement<velocity_update>},
    {"spin_update", OneElement<spin_update>},
    {"velocity", OneElement<velocity>},
    {"velocity_xz", OneElement<velocity_xz>},
    {"speed", OneElement<speed>},
    {"speed_xz", OneElement<speed_xz>},
    {"speed_lz", OneElement<speed_lz>},
    {"distance", TwoElements<distance>},
    {"distance_xz", TwoElements<distance_xz>},
    {"direction_xz", TwoElements<direction_xz>},
    {"angle", angle},
    {"gravity", OneElement<gravity>},
    {"thrust", OneElement<thrust>},
    {"thrust_xz", OneElement<thrust_xz>},
    {"velocity_set", OneElement<velocity_set>},        // also speed_set
    {"velocity_set_xz", OneElement<velocity_set_xz>},  // also speed_xz_set
    {"speed_xz_limit", OneElement<speed_xz_limit>},
    {"friction", OneElement<DampWords<model::kWordVelocityX, 3>>},
    {"friction_xz", OneElement<friction_xz>},
    {"friction_y", OneElement<DampWords<model::kWordVelocityY, 1>>},
    {"friction_xr", OneElement<DampWords<model::kWordSpinX, 1>>},
    {"friction_yr", OneElement<DampWords<model::kWordSpinY, 1>>},
    {"friction_zr", OneElement<DampWords<model::kWordSpinZ, 1>>},
    {"drag", OneElement<drag>},
    {"drag_xz", OneElement<drag_xz>},
    {"drag_y", OneElement<drag_y>},
    {"attract", TwoElements<AttractElement<true, true, true>>},
    {"attract_xz", TwoElements<AttractElement<true, false, true>>},
    {"attract_y", TwoElements<AttractElement<false, true, false>>},
    {"attract_point", OneElement<attract_point>},
    {"attract_xr", OneElement<AttractRotation<0>>},
    {"attract_yr", OneElement<AttractRotation<1>>},
    {"attract_zr", OneElement<AttractRotation<2>>},
    {"boing_x", OneElement<Boing<0>>},  // also rebound_x
    {"boing_y", OneElement<Boing<1>>},
    {"boing_z", OneElement<Boing<2>>},
    {"track", TwoElements<track>},
    {"track_yr", TwoElements<track_yr>},
    {"steer_angle_to", TwoElements<steer_angle_to>},
    {"orient_straight", OneElement<orient_straight>},
    {"orient_forward", OneElement<orient_forward>},
    {"child_pos", TwoElements<child_pos>},
    {"child_rot", TwoElements<child_rot>},
    {"track_smooth", TwoElements<TrackSmooth<true>>},
    {"track_yr_smooth", TwoElements<TrackSmooth<false>>},
    {"follow", TwoElements<follow>},
    {"steer", OneElement<steer>},
    {"lift", OneElement<lift>},
    {"oscillate", oscillate},
    {"rotation_axis_set", rotation_axis_set},
    {"rotation_axis_add", rotation_axis_add},
    {"orientation_set", OneElement<orientation_set>},
};

#undef VEXEL_AXIS_ROUTINES

}  // namespace

std::span<const brain::RoutineEntry> MotionRoutines() { return kMotionRoutines; }

}  // namespace instructions
