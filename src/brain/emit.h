// Brain machine-code emitter: the fixed 32-bit x86 byte sequences of compiled brains, written into
// the code area through a bounds-checked cursor. Calls nothing outside this file pair.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace brain {

// A cursor over the code area. Addresses handed to and returned by the emitters are guest
// addresses. Once a write would pass the end nothing more is written and `overflow` stays set; the
// compiler turns that into a compile error of the brain being compiled.
struct Emitter {
  uint8_t* code = nullptr;    // host view of the code area
  uint32_t guestBase = 0;     // guest address of code[0]
  uint32_t capacity = 0;      // bytes usable
  uint32_t position = 0;      // offset of the next free byte
  bool overflow = false;

  uint32_t Address() const { return guestBase + position; }
};

// Two-operand operators in the order the expression compiler reduces them.
enum class Operator : uint8_t {
  kDivide, kMultiply, kSubtract, kAdd,
  kEqual, kNotEqual, kLess, kGreater, kLessEqual, kGreaterEqual,
  kOr, kAnd, kXor,
};

// Where the right operand of an operation comes from.
enum class RightOperand : uint8_t { kConstant, kVariable, kTemporary };

inline constexpr int kArgumentRegisters = 5;  // argument positions 1..5: EAX, EBX, ECX, EDX, ESI

bool EmitBytes(Emitter* e, std::initializer_list<uint8_t> bytes);
bool Emit32(Emitter* e, uint32_t value);
// Overwrites four bytes at code offset `offset` (already emitted). False when out of range.
bool Patch32(Emitter* e, uint32_t offset, uint32_t value);

// Accumulator loads.
bool EmitLoadConstant(Emitter* e, int32_t value);              // B8 imm32
bool EmitLoadVariable(Emitter* e, int32_t offset);             // 3E 8B 87 disp32
bool EmitLoadTemporary(Emitter* e, uint32_t address);          // 3E 8B 05 addr32
bool EmitLoadElementReference(Emitter* e, int32_t distance);   // 8B C7, 81 C0 imm32
bool EmitNegateAccumulator(Emitter* e);                        // F7 D8

// Argument loads; `position` is 1..5. Out-of-range positions emit nothing and return false.
bool EmitArgumentConstant(Emitter* e, int position, int32_t value);
bool EmitArgumentVariable(Emitter* e, int position, int32_t offset);
bool EmitArgumentTemporary(Emitter* e, int position, uint32_t address);
bool EmitArgumentElementReference(Emitter* e, int position, int32_t distance);
bool EmitArgumentNegate(Emitter* e, int position);

// Single constructs.
bool EmitCall(Emitter* e, uint32_t routine);                   // E8 rel32
bool EmitStoreTemporary(Emitter* e, uint32_t address);         // 3E A3 addr32
bool EmitStoreVariable(Emitter* e, int32_t offset);            // 3E 89 87 disp32
bool EmitConditionTest(Emitter* e);                            // 83 F8 00
// Jumps whose displacement is filled in later: both leave the displacement 0 and store in
// *after the code offset just past it, which is what the fix-up is measured from.
bool EmitJumpIfZeroPlaceholder(Emitter* e, uint32_t* after);   // 0F 84 rel32
bool EmitJumpPlaceholder(Emitter* e, uint32_t* after);         // E9 rel32
bool EmitReturn(Emitter* e);                                   // C3
// The 16-byte blank-padded label name a goto leaves in the code until its label is known.
bool EmitLabelPlaceholder(Emitter* e, std::string_view paddedName);
// E9 rel32 at code offset `offset` (already emitted), jumping to guest address `target`.
bool PatchJump(Emitter* e, uint32_t offset, uint32_t target);

// One operation with the left operand in EAX. `value` is the constant, the variable's offset or
// the temporary's address; `negated` asks for the right operand's negation and only applies to
// variables and temporaries (constants are negated before they get here).
bool EmitOperation(Emitter* e, Operator op, RightOperand kind, int32_t value, bool negated);

}  // namespace brain
