// Brain machine-code emitter: one function per fixed byte sequence of the brain code format.
// Calls nothing outside this file pair.
#include "brain/emit.h"

#include <cstring>

namespace brain {
namespace {

// Per argument position (EAX, EBX, ECX, EDX, ESI) the opcode or ModR/M byte that selects the
// register in each argument load form.
struct ArgumentBytes {
  uint8_t moveImmediate;   // mov r, imm32
  uint8_t memoryEdi;       // ModR/M of mov r, [edi+disp32]
  uint8_t copyEdi;         // ModR/M of mov r, edi
  uint8_t addImmediate;    // ModR/M of add r, imm32
  uint8_t memoryAbsolute;  // ModR/M of mov r, [addr32]
  uint8_t negate;          // ModR/M of neg r
};

constexpr ArgumentBytes kArguments[kArgumentRegisters] = {
    {0xB8, 0x87, 0xC7, 0xC0, 0x05, 0xD8},  // eax
    {0xBB, 0x9F, 0xDF, 0xC3, 0x1D, 0xDB},  // ebx
    {0xB9, 0x8F, 0xCF, 0xC1, 0x0D, 0xD9},  // ecx
    {0xBA, 0x97, 0xD7, 0xC2, 0x15, 0xDA},  // edx
    {0xBE, 0xB7, 0xF7, 0xC6, 0x35, 0xDE},  // esi
};

const ArgumentBytes* Argument(int position) {
  if (position < 1 || position > kArgumentRegisters) return nullptr;
  return &kArguments[position - 1];
}

bool Room(Emitter* e, uint32_t count) {
  if (e->overflow || e->code == nullptr || e->position > e->capacity || e->capacity - e->position < count) {
    e->overflow = true;
    return false;
  }
  return true;
}

void Put32(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
  at[2] = static_cast<uint8_t>(value >> 16);
  at[3] = static_cast<uint8_t>(value >> 24);
}

// Writes an opcode sequence followed by a 32-bit value as one unit, so an overflow never leaves
// half an instruction behind.
bool EmitWith32(Emitter* e, std::initializer_list<uint8_t> bytes, uint32_t value) {
  if (!Room(e, static_cast<uint32_t>(bytes.size()) + 4)) return false;
  for (uint8_t byte : bytes) e->code[e->position++] = byte;
  Put32(e->code + e->position, value);
  e->position += 4;
  return true;
}

uint32_t U(int32_t value) { return static_cast<uint32_t>(value); }

// The comparison's conditional jump over "xor eax, eax". With a negated right operand the left
// side is negated instead, which turns the ordering comparisons around.
uint8_t ComparisonJump(Operator op, bool negated) {
  switch (op) {
    case Operator::kEqual: return 0x74;
    case Operator::kNotEqual: return 0x75;
    case Operator::kLess: return negated ? 0x7F : 0x7C;
    case Operator::kGreater: return negated ? 0x7C : 0x7F;
    case Operator::kLessEqual: return negated ? 0x7D : 0x7E;
    case Operator::kGreaterEqual: return negated ? 0x7E : 0x7D;
    default: return 0;
  }
}

bool IsComparison(Operator op) { return ComparisonJump(op, false) != 0; }

// Right operand read from memory: the ModR/M form and its 32-bit field.
uint8_t Mod(RightOperand kind, uint8_t variableModRm, uint8_t temporaryModRm) {
  return kind == RightOperand::kVariable ? variableModRm : temporaryModRm;
}

bool EmitComparison(Emitter* e, Operator op, RightOperand kind, int32_t value, bool negated) {
  const bool flip = negated && kind != RightOperand::kConstant;
  bool ok = EmitBytes(e, {0x8B, 0xD8}) && EmitWith32(e, {0xB8}, 1);
  if (kind == RightOperand::kConstant) {
    ok = ok && EmitWith32(e, {0x81, 0xFB}, U(value));
  } else {
    if (flip) ok = ok && EmitBytes(e, {0xF7, 0xDB});
    ok = ok && EmitWith32(e, {0x3E, 0x3B, Mod(kind, 0x9F, 0x1D)}, U(value));
  }
  return ok && EmitBytes(e, {ComparisonJump(op, flip), 0x02, 0x33, 0xC0});
}

// or, and, xor: a negated memory operand goes through EBX first.
bool EmitBitwise(Emitter* e, uint8_t immediateOpcode, uint8_t memoryOpcode, uint8_t registerOpcode,
                 RightOperand kind, int32_t value, bool negated) {
  if (kind == RightOperand::kConstant) return EmitWith32(e, {immediateOpcode}, U(value));
  if (!negated) return EmitWith32(e, {0x3E, memoryOpcode, Mod(kind, 0x87, 0x05)}, U(value));
  return EmitWith32(e, {0x3E, 0x8B, Mod(kind, 0x9F, 0x1D)}, U(value)) && EmitBytes(e, {0xF7, 0xDB}) &&
         EmitBytes(e, {registerOpcode, 0xC3});
}

// Subtraction and addition with a negated right operand compute -((-left) op right).
bool EmitAdditive(Emitter* e, uint8_t immediateOpcode, uint8_t memoryOpcode, RightOperand kind, int32_t value,
                  bool negated) {
  if (kind == RightOperand::kConstant) return EmitWith32(e, {immediateOpcode}, U(value));
  bool ok = !negated || EmitNegateAccumulator(e);
  ok = ok && EmitWith32(e, {0x3E, memoryOpcode, Mod(kind, 0x87, 0x05)}, U(value));
  return ok && (!negated || EmitNegateAccumulator(e));
}

}  // namespace

bool EmitBytes(Emitter* e, std::initializer_list<uint8_t> bytes) {
  if (!Room(e, static_cast<uint32_t>(bytes.size()))) return false;
  for (uint8_t byte : bytes) e->code[e->position++] = byte;
  return true;
}

bool Emit32(Emitter* e, uint32_t value) {
  if (!Room(e, 4)) return false;
  Put32(e->code + e->position, value);
  e->position += 4;
  return true;
}

bool Patch32(Emitter* e, uint32_t offset, uint32_t value) {
  if (e->code == nullptr || offset > e->position || e->position - offset < 4) return false;
  Put32(e->code + offset, value);
  return true;
}

bool EmitLoadConstant(Emitter* e, int32_t value) { return EmitWith32(e, {0xB8}, U(value)); }
bool EmitLoadVariable(Emitter* e, int32_t offset) { return EmitWith32(e, {0x3E, 0x8B, 0x87}, U(offset)); }
bool EmitLoadTemporary(Emitter* e, uint32_t address) { return EmitWith32(e, {0x3E, 0x8B, 0x05}, address); }
bool EmitLoadElementReference(Emitter* e, int32_t distance) {
  return Room(e, 8) && EmitBytes(e, {0x8B, 0xC7}) && EmitWith32(e, {0x81, 0xC0}, U(distance));
}
bool EmitNegateAccumulator(Emitter* e) { return EmitBytes(e, {0xF7, 0xD8}); }

bool EmitArgumentConstant(Emitter* e, int position, int32_t value) {
  const ArgumentBytes* a = Argument(position);
  return a != nullptr && EmitWith32(e, {a->moveImmediate}, U(value));
}
bool EmitArgumentVariable(Emitter* e, int position, int32_t offset) {
  const ArgumentBytes* a = Argument(position);
  return a != nullptr && EmitWith32(e, {0x3E, 0x8B, a->memoryEdi}, U(offset));
}
bool EmitArgumentTemporary(Emitter* e, int position, uint32_t address) {
  const ArgumentBytes* a = Argument(position);
  return a != nullptr && EmitWith32(e, {0x3E, 0x8B, a->memoryAbsolute}, address);
}
bool EmitArgumentElementReference(Emitter* e, int position, int32_t distance) {
  const ArgumentBytes* a = Argument(position);
  return a != nullptr && Room(e, 8) && EmitBytes(e, {0x8B, a->copyEdi}) &&
         EmitWith32(e, {0x81, a->addImmediate}, U(distance));
}
bool EmitArgumentNegate(Emitter* e, int position) {
  const ArgumentBytes* a = Argument(position);
  return a != nullptr && EmitBytes(e, {0xF7, a->negate});
}

bool EmitCall(Emitter* e, uint32_t routine) {
  return EmitWith32(e, {0xE8}, routine - (e->Address() + 5));
}
bool EmitStoreTemporary(Emitter* e, uint32_t address) { return EmitWith32(e, {0x3E, 0xA3}, address); }
bool EmitStoreVariable(Emitter* e, int32_t offset) { return EmitWith32(e, {0x3E, 0x89, 0x87}, U(offset)); }
bool EmitConditionTest(Emitter* e) { return EmitBytes(e, {0x83, 0xF8, 0x00}); }

bool EmitJumpIfZeroPlaceholder(Emitter* e, uint32_t* after) {
  if (!EmitWith32(e, {0x0F, 0x84}, 0)) return false;
  *after = e->position;
  return true;
}
bool EmitJumpPlaceholder(Emitter* e, uint32_t* after) {
  if (!EmitWith32(e, {0xE9}, 0)) return false;
  *after = e->position;
  return true;
}
bool EmitReturn(Emitter* e) { return EmitBytes(e, {0xC3}); }

bool EmitLabelPlaceholder(Emitter* e, std::string_view paddedName) {
  if (!Room(e, static_cast<uint32_t>(paddedName.size()))) return false;
  std::memcpy(e->code + e->position, paddedName.data(), paddedName.size());
  e->position += static_cast<uint32_t>(paddedName.size());
  return true;
}

bool PatchJump(Emitter* e, uint32_t offset, uint32_t target) {
  if (e->code == nullptr || offset > e->position || e->position - offset < 5) return false;
  e->code[offset] = 0xE9;
  Put32(e->code + offset + 1, target - (e->guestBase + offset + 5));
  return true;
}

bool EmitOperation(Emitter* e, Operator op, RightOperand kind, int32_t value, bool negated) {
  const bool memory = kind != RightOperand::kConstant;
  const bool negate = memory && negated;
  if (IsComparison(op)) return EmitComparison(e, op, kind, value, negate);
  switch (op) {
    case Operator::kDivide: {
      bool ok = memory ? EmitWith32(e, {0x3E, 0x8B, Mod(kind, 0x8F, 0x0D)}, U(value)) : EmitWith32(e, {0xB9}, U(value));
      if (negate) ok = ok && EmitBytes(e, {0xF7, 0xD9});
      return ok && EmitBytes(e, {0x99, 0xF7, 0xF9});
    }
    case Operator::kMultiply: {
      bool ok = memory ? EmitWith32(e, {0x3E, 0x0F, 0xAF, Mod(kind, 0x87, 0x05)}, U(value))
                       : EmitWith32(e, {0x69, 0xC0}, U(value));
      return ok && (!negate || EmitNegateAccumulator(e));
    }
    case Operator::kSubtract: return EmitAdditive(e, 0x2D, 0x2B, kind, value, negate);
    case Operator::kAdd: return EmitAdditive(e, 0x05, 0x03, kind, value, negate);
    case Operator::kOr: return EmitBitwise(e, 0x0D, 0x0B, 0x0B, kind, value, negate);
    case Operator::kAnd: return EmitBitwise(e, 0x25, 0x23, 0x23, kind, value, negate);
    case Operator::kXor: return EmitBitwise(e, 0x35, 0x33, 0x33, kind, value, negate);
    default: return false;
  }
}

}  // namespace brain
