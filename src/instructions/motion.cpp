// Motion instructions: reads and writes the motion words of element state records and the
// arctangent table in guest memory. Calls core/arena, model/state_record and the brain runner.
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
//
// Every element argument is a record address; a frame handle (top bit set) makes an instruction
// change nothing and return 0. Instructions that return nothing leave 0 in EAX.
#include "instructions/motion.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include "brain/instruction_table.h"
#include "model/state_record.h"

namespace instructions {

namespace {

using model::kRecordBytes;

constexpr uint32_t kFrameHandleBit = 0x80000000u;
constexpr int32_t kRightAngleEighths = 720;      // 90 degrees in arctangent-table steps
constexpr int32_t kArctangentEntries = 720;
constexpr int64_t kArctangentRatioLimit = 512000;
constexpr int32_t kCosineOffset = 720;  // the fine table's cosine is its sine 90 degrees on

bool IsFrameHandle(uint32_t value) { return (value & kFrameHandleBit) != 0; }

// Two's-complement addition: brains may push words past the 32-bit range and expect them to wrap.
int32_t AddWrapping(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// The record at `address`, or nullptr with a fault text when the address is not the start of one
// of the element records (a stray number passed as an element would otherwise scribble anywhere).
int32_t* RecordAt(const core::Arena* arena, uint32_t address, std::string* fault) {
  uint8_t* host = arena->GuestToHostIn(core::Region::kElementRecords, address, kRecordBytes);
  if (host == nullptr || (address - arena->Address(core::Region::kElementRecords)) % kRecordBytes != 0) {
    char text[96];
    std::snprintf(text, sizeof text, "Not an element: 0x%08X is not the address of an element record",
                  static_cast<unsigned>(address));
    *fault = text;
    return nullptr;
  }
  return reinterpret_cast<int32_t*>(host);
}

// Body of an instruction on one element; returns the result for EAX.
using OneElementBody = int32_t (*)(const core::Arena* arena, int32_t* record, const brain::Regs& regs);
// Body of an instruction on two elements (EAX, EBX).
using TwoElementBody = int32_t (*)(const core::Arena* arena, int32_t* first, int32_t* second,
                                   const brain::Regs& regs);

brain::Routine OneElement(core::Arena* arena, OneElementBody body) {
  return [arena, body](brain::Regs* regs, std::string* fault) {
    if (IsFrameHandle(regs->eax)) {
      regs->eax = 0;
      return true;
    }
    int32_t* record = RecordAt(arena, regs->eax, fault);
    if (record == nullptr) return false;
    regs->eax = static_cast<uint32_t>(body(arena, record, *regs));
    return true;
  };
}

brain::Routine TwoElements(core::Arena* arena, TwoElementBody body) {
  return [arena, body](brain::Regs* regs, std::string* fault) {
    if (IsFrameHandle(regs->eax) || IsFrameHandle(regs->ebx)) {
      regs->eax = 0;
      return true;
    }
    int32_t* first = RecordAt(arena, regs->eax, fault);
    if (first == nullptr) return false;
    int32_t* second = RecordAt(arena, regs->ebx, fault);
    if (second == nullptr) return false;
    regs->eax = static_cast<uint32_t>(body(arena, first, second, *regs));
    return true;
  };
}

// Accessors for one word: read, read folded, set, add. The word travels as a template parameter so
// each accessor is a plain function pointer.
template <int kWord>
int32_t Read(const core::Arena*, int32_t* record, const brain::Regs&) { return record[kWord]; }
template <int kWord>
int32_t ReadAngle(const core::Arena*, int32_t* record, const brain::Regs&) { return WrapAngle(record[kWord]); }
template <int kWord>
int32_t Write(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  record[kWord] = static_cast<int32_t>(regs.ebx);
  return 0;
}
template <int kWord>
int32_t Add(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  record[kWord] = AddWrapping(record[kWord], static_cast<int32_t>(regs.ebx));
  return 0;
}
template <int kFirstWord>
int32_t CopyThree(const core::Arena*, int32_t* source, int32_t* destination, const brain::Regs&) {
  for (int i = 0; i < 3; ++i) destination[kFirstWord + i] = source[kFirstWord + i];
  return 0;
}

// Rounded length in millimetres of a vector given in 1/512 mm; each part is shifted first, as the
// planar and spatial distance rules do, so -1 counts as a whole millimetre.
int32_t RoundedLength(int64_t a, int64_t b, int64_t c) {
  a >>= 9;
  b >>= 9;
  c >>= 9;
  const double squares = static_cast<double>(a * a + b * b + c * c);
  return static_cast<int32_t>(static_cast<uint32_t>(std::llround(std::sqrt(squares))));
}

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
  return TimesUnit(RoundedLength(Word(element, model::kWordPositionX) - Word(other, model::kWordPositionX),
                                 Word(element, model::kWordPositionY) - Word(other, model::kWordPositionY),
                                 Word(element, model::kWordPositionZ) - Word(other, model::kWordPositionZ)));
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
bool angle(const core::Arena* arena, brain::Regs* regs, std::string*) {
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

void BindRow(std::vector<brain::Routine>* routines, const char* name, brain::Routine routine) {
  const int row = brain::RowOfName(name);
  if (row < 0) return;
  (*routines)[static_cast<size_t>(row)] = std::move(routine);
}

// Binds get, _set and _add of the three words starting at kFirstWord under "<stem>_x" etc.
template <int kFirstWord, bool kFolded>
void BindAxes(std::vector<brain::Routine>* routines, core::Arena* arena, const std::string& stem) {
  const OneElementBody reads[3] = {kFolded ? ReadAngle<kFirstWord> : Read<kFirstWord>,
                                   kFolded ? ReadAngle<kFirstWord + 1> : Read<kFirstWord + 1>,
                                   kFolded ? ReadAngle<kFirstWord + 2> : Read<kFirstWord + 2>};
  const OneElementBody writes[3] = {Write<kFirstWord>, Write<kFirstWord + 1>, Write<kFirstWord + 2>};
  const OneElementBody adds[3] = {Add<kFirstWord>, Add<kFirstWord + 1>, Add<kFirstWord + 2>};
  const char* axes[3] = {"_x", "_y", "_z"};
  for (int i = 0; i < 3; ++i) {
    const std::string name = stem + axes[i];
    BindRow(routines, name.c_str(), OneElement(arena, reads[i]));
    BindRow(routines, (name + "_set").c_str(), OneElement(arena, writes[i]));
    BindRow(routines, (name + "_add").c_str(), OneElement(arena, adds[i]));
  }
}

}  // namespace

int32_t WrapAngle(int32_t angle) {
  if (angle < 0) return angle % kAngleModulus + kAngleModulus;
  if (angle > kAngleModulus) return angle % kAngleModulus;
  return angle;
}

int32_t ShortestAngleDifference(int32_t a, int32_t b) {
  int32_t d = WrapAngle(b) - WrapAngle(a);
  if (d >= 92161) {
    d -= kFullTurn;
  } else if (d <= -92161) {
    d += kFullTurn;
  }
  return d;
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

void BindMotion(std::vector<brain::Routine>* routines, core::Arena* arena) {
  if (routines->size() < static_cast<size_t>(brain::kInstructionRowCount)) {
    routines->resize(static_cast<size_t>(brain::kInstructionRowCount));
  }
  BindAxes<model::kWordPositionX, false>(routines, arena, "position");
  BindAxes<model::kWordRotationX, true>(routines, arena, "rotation");
  BindAxes<model::kWordVelocityX, false>(routines, arena, "velocity");
  BindAxes<model::kWordSpinX, false>(routines, arena, "spin");
  BindRow(routines, "position_set", OneElement(arena, position_set));
  BindRow(routines, "position_copy", TwoElements(arena, CopyThree<model::kWordPositionX>));
  BindRow(routines, "velocity_copy", TwoElements(arena, CopyThree<model::kWordVelocityX>));
  BindRow(routines, "spin_copy", TwoElements(arena, CopyThree<model::kWordSpinX>));
  BindRow(routines, "rotation_copy", TwoElements(arena, rotation_copy));
  BindRow(routines, "velocity_update", OneElement(arena, velocity_update));
  BindRow(routines, "spin_update", OneElement(arena, spin_update));
  BindRow(routines, "velocity", OneElement(arena, velocity));
  BindRow(routines, "velocity_xz", OneElement(arena, velocity_xz));
  BindRow(routines, "speed", OneElement(arena, speed));
  BindRow(routines, "speed_xz", OneElement(arena, speed_xz));
  BindRow(routines, "speed_lz", OneElement(arena, speed_lz));
  BindRow(routines, "distance", TwoElements(arena, distance));
  BindRow(routines, "distance_xz", TwoElements(arena, distance_xz));
  BindRow(routines, "direction_xz", TwoElements(arena, direction_xz));
  BindRow(routines, "angle", [arena](brain::Regs* regs, std::string* fault) { return angle(arena, regs, fault); });
}

}  // namespace instructions
