// Decoding of compiled brain code: the closed set of 32-bit x86 byte sequences the emitter writes,
// recognised here and nowhere else. Private to src/brain (interpreter and native translator);
// calls nothing.
#pragma once

#include <cstdint>

namespace brain {

// Register numbers as x86 encodes them in opcodes and ModR/M bytes. The native translator keeps
// each guest register in the host register of the same number, so these index both.
enum Register : uint8_t { kEax = 0, kEcx = 1, kEdx = 2, kEbx = 3, kEsi = 6, kEdi = 7 };

// The five argument registers; only they are ever loaded, copied into or negated. ESP and EBP
// never appear, and EDI (the element's record) is only read.
inline constexpr uint8_t kArgumentMask = (1u << kEax) | (1u << kEcx) | (1u << kEdx) | (1u << kEbx) | (1u << kEsi);
inline bool IsArgument(uint8_t reg) { return reg < 8 && (kArgumentMask >> reg & 1u) != 0; }

// Little-endian 32-bit word at p, whatever its alignment.
inline uint32_t Read32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The only flag tests compiled jumps make.
enum class Condition : uint8_t { kEqual, kNotEqual, kLess, kGreaterEqual, kLessEqual, kGreater };

// One decoded instruction. Every form the compiler writes has its own kind, so a backend handles
// it with one switch and never looks at the bytes again.
struct Instruction {
  enum Kind : uint8_t {
    kMoveImmediate,       // B8+r imm32: reg = value
    kAddEaxImmediate,     // 05 imm32
    kSubtractEaxImmediate,  // 2D imm32
    kOrEaxImmediate,      // 0D imm32
    kAndEaxImmediate,     // 25 imm32
    kXorEaxImmediate,     // 35 imm32
    kMultiplyImmediate,   // 69 C0 imm32: imul eax, eax, value
    kCopyEdi,             // 8B C7+8r: reg = EDI (element references)
    kCopyEaxToEbx,        // 8B D8 (comparisons)
    kAddImmediate,        // 81 C0+r imm32: reg += value
    kCompareEbxImmediate,  // 81 FB imm32
    kCompareEaxImmediate,  // 83 F8 imm8: value sign-extended (the condition test)
    kNegate,              // F7 D8+r
    kDivide,              // F7 F9: idiv ecx
    kCdq,                 // 99
    kOrEbx,               // 0B C3: or eax, ebx
    kAndEbx,              // 23 C3
    kXorEbx,              // 33 C3
    kClearEax,            // 33 C0
    kJump,                // E9 rel32: value = displacement
    kJumpIf,              // 74/75/7C/7D/7E/7F rel8, 0F 84 rel32: condition, value = displacement
    kCall,                // E8 rel32: value = displacement
    kReturn,              // C3
    // The memory forms, all written with the 3E prefix; their operand is [edi+value] when
    // throughEdi is set, else [value].
    kLoad,                // 3E 8B: reg = operand
    kCompareEbxMemory,    // 3E 3B: cmp ebx, operand
    kAddMemory,           // 3E 03: eax += operand
    kSubtractMemory,      // 3E 2B
    kOrMemory,            // 3E 0B
    kAndMemory,           // 3E 23
    kXorMemory,           // 3E 33
    kMultiplyMemory,      // 3E 0F AF: imul eax, operand
    kStore,               // 3E 89 [edi+disp32], 3E A3 addr32: operand = eax
    // Not instructions: a form that would run past the end of the code area (length 0), and
    // bytes outside the format (length: how many of them identify the form, for the fault text).
    kCutOff,
    kUnknown,
  };
  Kind kind = kUnknown;
  uint8_t length = 0;
  uint8_t reg = 0;
  Condition condition = Condition::kEqual;
  bool throughEdi = false;
  uint32_t pc = 0;     // offset in the code area
  uint32_t value = 0;  // immediate, displacement or address

  bool AccessesMemory() const { return kind >= kLoad && kind <= kStore; }
  bool FallsThrough() const { return kind != kJump && kind != kReturn && kind != kCutOff && kind != kUnknown; }
  // Jumps: the code offset jumped to, wrapping past 2^32 as the guest's address does, so a jump
  // below the code area lands on a huge offset outside it.
  uint32_t Target() const { return pc + length + value; }
  bool Backward() const { return static_cast<int32_t>(value) < 0; }
};

// Decodes the instruction at code offset pc (< codeSize) of the code area `code` and returns
// visit(instruction). Each form's full length is checked before any byte after its opcode is read,
// and a memory form's register is checked with it, so neither backend ever reads past the code
// area or treats stray bytes as an operand.
//
// The interpreter decodes every instruction it runs. Everything here is forced inline and every
// form calls `visit` where it is recognised, its kind a constant there; an inlined visitor that
// switches on the kind then folds into that one spot, so running decoded instructions costs one
// dispatch on the opcode byte, no more than a hand-written byte switch.
template <typename Visit>
[[gnu::always_inline]] inline auto Decode(const uint8_t* code, uint32_t codeSize, uint32_t pc, Visit&& visit) {
  const uint8_t* p = code + pc;
  const uint32_t avail = codeSize - pc;
  Instruction in;
  in.pc = pc;
  auto set = [&](Instruction::Kind kind, uint32_t length) __attribute__((always_inline)) {
    in.kind = kind;
    in.length = static_cast<uint8_t>(length);
    return visit(static_cast<const Instruction&>(in));
  };
  auto cut = [&]() __attribute__((always_inline)) { return set(Instruction::kCutOff, 0); };
  auto unknown = [&](uint32_t count) __attribute__((always_inline)) { return set(Instruction::kUnknown, count); };
  auto jumpIf = [&](Condition condition, uint32_t length, uint32_t displacement) __attribute__((always_inline)) {
    in.condition = condition;
    in.value = displacement;
    return set(Instruction::kJumpIf, length);
  };
  auto rel8 = [&](Condition condition) __attribute__((always_inline)) {
    if (avail < 2) return cut();
    return jumpIf(condition, 2, static_cast<uint32_t>(static_cast<int8_t>(p[1])));
  };
  auto accumulator = [&](Instruction::Kind kind) __attribute__((always_inline)) {
    if (avail < 5) return cut();
    in.value = Read32(p + 1);
    return set(kind, 5);
  };
  auto logicEbx = [&](Instruction::Kind kind) __attribute__((always_inline)) {
    if (avail < 2) return cut();
    if (p[1] == 0xC3) return set(kind, 2);
    if (p[0] == 0x33 && p[1] == 0xC0) return set(Instruction::kClearEax, 2);
    return unknown(2);
  };

  switch (p[0]) {
    case 0xB8: case 0xB9: case 0xBA: case 0xBB: case 0xBE:
      if (avail < 5) return cut();
      in.reg = p[0] & 7;
      in.value = Read32(p + 1);
      return set(Instruction::kMoveImmediate, 5);
    case 0x05: return accumulator(Instruction::kAddEaxImmediate);
    case 0x2D: return accumulator(Instruction::kSubtractEaxImmediate);
    case 0x0D: return accumulator(Instruction::kOrEaxImmediate);
    case 0x25: return accumulator(Instruction::kAndEaxImmediate);
    case 0x35: return accumulator(Instruction::kXorEaxImmediate);
    case 0x69:
      if (avail < 6) return cut();
      if (p[1] != 0xC0) return unknown(2);
      in.value = Read32(p + 2);
      return set(Instruction::kMultiplyImmediate, 6);
    case 0x8B: {
      if (avail < 2) return cut();
      const uint8_t reg = p[1] >> 3 & 7;
      if (p[1] == 0xD8) return set(Instruction::kCopyEaxToEbx, 2);
      if ((p[1] & 0xC7) != 0xC7 || !IsArgument(reg)) return unknown(2);
      in.reg = reg;
      return set(Instruction::kCopyEdi, 2);
    }
    case 0x81:
      if (avail < 6) return cut();
      in.reg = p[1] & 7;
      in.value = Read32(p + 2);
      if ((p[1] & 0xF8) == 0xC0 && IsArgument(in.reg)) return set(Instruction::kAddImmediate, 6);
      if (p[1] == 0xFB) return set(Instruction::kCompareEbxImmediate, 6);
      return unknown(2);
    case 0x83:
      if (avail < 3) return cut();
      if (p[1] != 0xF8) return unknown(2);
      in.value = static_cast<uint32_t>(static_cast<int8_t>(p[2]));
      return set(Instruction::kCompareEaxImmediate, 3);
    case 0xF7:
      if (avail < 2) return cut();
      in.reg = p[1] & 7;
      if ((p[1] & 0xF8) == 0xD8 && IsArgument(in.reg)) return set(Instruction::kNegate, 2);
      if (p[1] == 0xF9) return set(Instruction::kDivide, 2);
      return unknown(2);
    case 0x99: return set(Instruction::kCdq, 1);
    case 0x0B: return logicEbx(Instruction::kOrEbx);
    case 0x23: return logicEbx(Instruction::kAndEbx);
    case 0x33: return logicEbx(Instruction::kXorEbx);
    case 0x74: return rel8(Condition::kEqual);
    case 0x75: return rel8(Condition::kNotEqual);
    case 0x7C: return rel8(Condition::kLess);
    case 0x7D: return rel8(Condition::kGreaterEqual);
    case 0x7E: return rel8(Condition::kLessEqual);
    case 0x7F: return rel8(Condition::kGreater);
    case 0x0F:
      if (avail < 6) return cut();
      if (p[1] != 0x84) return unknown(2);
      return jumpIf(Condition::kEqual, 6, Read32(p + 2));
    case 0xE9:
      if (avail < 5) return cut();
      in.value = Read32(p + 1);
      return set(Instruction::kJump, 5);
    case 0xE8:
      if (avail < 5) return cut();
      in.value = Read32(p + 1);
      return set(Instruction::kCall, 5);
    case 0xC3: return set(Instruction::kReturn, 1);
    case 0x3E: {
      if (avail < 2) return cut();
      const uint8_t op = p[1];
      if (op == 0xA3) {  // mov [addr32], eax
        if (avail < 6) return cut();
        in.value = Read32(p + 2);
        return set(Instruction::kStore, 6);
      }
      // 3E 0F AF modrm disp32 is the one three-byte opcode; everything else is 3E op modrm disp32.
      const bool wide = op == 0x0F;
      const uint32_t length = wide ? 8 : 7;
      if (avail < length) return cut();
      if (wide && p[2] != 0xAF) return unknown(3);
      const uint8_t modrm = p[length - 5], reg = modrm >> 3 & 7;
      // [edi+disp32] (mod 2, r/m 7) or [disp32] (mod 0, r/m 5): the only operands brain code uses.
      const uint8_t form = modrm & 0xC7;
      if (form != 0x87 && form != 0x05) return unknown(length - 4);
      in.throughEdi = form == 0x87;
      in.value = Read32(p + length - 4);
      in.reg = reg;
      switch (wide ? 0xAF : op) {
        case 0x89:  // assignment: only ever EAX into a variable
          if (modrm != 0x87) return unknown(3);
          return set(Instruction::kStore, length);
        case 0x8B:
          if (!IsArgument(reg)) break;
          return set(Instruction::kLoad, length);
        case 0x3B:
          if (reg != kEbx) break;
          return set(Instruction::kCompareEbxMemory, length);
        case 0x03:
          if (reg != kEax) break;
          return set(Instruction::kAddMemory, length);
        case 0x2B:
          if (reg != kEax) break;
          return set(Instruction::kSubtractMemory, length);
        case 0x0B:
          if (reg != kEax) break;
          return set(Instruction::kOrMemory, length);
        case 0x23:
          if (reg != kEax) break;
          return set(Instruction::kAndMemory, length);
        case 0x33:
          if (reg != kEax) break;
          return set(Instruction::kXorMemory, length);
        case 0xAF:
          if (reg != kEax) break;
          return set(Instruction::kMultiplyMemory, length);
      }
      return unknown(length - 4);
    }
    default:
      return unknown(1);
  }
}

// The same, into *out, for code that keeps decoded instructions (the native translator).
inline void Decode(const uint8_t* code, uint32_t codeSize, uint32_t pc, Instruction* out) {
  Decode(code, codeSize, pc, [out](const Instruction& in) __attribute__((always_inline)) { *out = in; });
}

}  // namespace brain
