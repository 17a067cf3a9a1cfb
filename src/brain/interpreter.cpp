// Reference interpreter of compiled brain code: decoding, execution and run-time faults. Calls
// core/arena for every memory access and the instruction table to recognise routine stubs.
#include "brain/interpreter.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "brain/instruction_table.h"

namespace brain {
namespace {

// Register numbers as x86 encodes them in opcodes and ModR/M bytes.
enum : uint8_t { kEax = 0, kEcx = 1, kEdx = 2, kEbx = 3, kEsi = 6, kEdi = 7 };

// The five argument registers; only they are ever loaded, copied into or negated.
constexpr uint8_t kArgumentMask = (1u << kEax) | (1u << kEcx) | (1u << kEdx) | (1u << kEbx) | (1u << kEsi);
bool IsArgument(uint8_t reg) { return reg < 8 && (kArgumentMask >> reg & 1u) != 0; }

uint32_t Read32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void Write32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

int32_t S(uint32_t v) { return static_cast<int32_t>(v); }

// The run's whole state lives here, on the caller's stack, so runs nest (a routine may run
// another brain) and nothing is allocated per instruction.
struct Machine {
  const core::Arena& arena;
  const uint8_t* code;   // host view of the code area
  uint32_t codeBase;     // its guest address
  uint32_t codeSize;
  uint32_t pc = 0;       // offset of the instruction being run
  uint32_t r[8] = {};
  // Only the two conditions the compiled jumps test: ZF, and SF != OF (signed less).
  bool zero = false;
  bool less = false;
  uint32_t budget = 0;   // backward jumps allowed in this run
  uint32_t backwardLeft = 0;
  std::string* fault = nullptr;

  uint32_t At() const { return codeBase + pc; }

  // Faults are rare: formatting happens only here, never on the hot path.
  RunResult Fail(const char* format, ...) __attribute__((format(printf, 2, 3)));

  bool Load(uint32_t address, uint32_t* value) {
    const uint8_t* host = arena.GuestToHost(address, 4);
    if (host == nullptr) {
      Fail("Brain read outside the engine's memory at 0x%08" PRIX32 " (code 0x%08" PRIX32 ")", address, At());
      return false;
    }
    *value = Read32(host);
    return true;
  }

  bool Store(uint32_t address, uint32_t value) {
    uint8_t* host = arena.GuestToHost(address, 4);
    if (host == nullptr) {
      Fail("Brain wrote outside the engine's memory at 0x%08" PRIX32 " (code 0x%08" PRIX32 ")", address, At());
      return false;
    }
    Write32(host, value);
    return true;
  }

  void SetLogic(uint32_t result) {
    zero = result == 0;
    less = S(result) < 0;  // OF is cleared by logic operations
  }
  void SetSub(uint32_t a, uint32_t b) {
    zero = a == b;
    less = S(a) < S(b);  // SF != OF of a - b is exactly the signed order
  }
  void SetAdd(uint32_t a, uint32_t b, uint32_t result) {
    const bool overflow = ((a ^ result) & (b ^ result)) >> 31 != 0;
    zero = result == 0;
    less = (S(result) < 0) != overflow;
  }

  RunResult Unknown(const uint8_t* p, uint32_t count);
  RunResult Run(const RoutineCall& call);
  bool Jump(uint32_t length, int32_t displacement);
  bool Divide();
  bool Call(const RoutineCall& call, uint32_t target);
};

RunResult Machine::Fail(const char* format, ...) {
  char text[200];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (fault != nullptr) *fault = text;
  return RunResult::kFault;
}

// Names the bytes that did not decode (up to the ModR/M byte, at most four), so a
// mismatch between compiler and runner is easy to find.
RunResult Machine::Unknown(const uint8_t* p, uint32_t count) {
  char bytes[16] = {};
  int used = 0;
  for (uint32_t i = 0; i < count && i < 4 && pc + i < codeSize; ++i) {
    used += std::snprintf(bytes + used, sizeof bytes - used, i == 0 ? "%02X" : " %02X", p[i]);
  }
  return Fail("Unknown brain code %s at 0x%08" PRIX32, bytes, At());
}

// Moves to the instruction `displacement` bytes after the end of the current one. Only backward
// jumps can repeat code, so only they spend the budget.
bool Machine::Jump(uint32_t length, int32_t displacement) {
  if (displacement < 0) {
    if (backwardLeft == 0) {
      Fail("Brain never ends: more than %" PRIu32 " backward jumps in one run (code 0x%08" PRIX32 ")",
           budget, At());
      return false;
    }
    --backwardLeft;
  }
  pc = pc + length + static_cast<uint32_t>(displacement);  // wraps to a huge offset when below 0
  return true;
}

// idiv ecx: EDX:EAX / ECX. Faults where the processor would trap: a zero divisor and a quotient
// outside 32 bits (with cdq before it, only INT_MIN / -1).
bool Machine::Divide() {
  const int64_t dividend = static_cast<int64_t>(uint64_t{r[kEdx]} << 32 | r[kEax]);
  const int32_t divisor = S(r[kEcx]);
  if (divisor == 0) {
    Fail("Brain divided by zero (code 0x%08" PRIX32 ")", At());
    return false;
  }
  // With -1 the quotient is -dividend, computed only once the range check has ruled out the one
  // value whose negation does not exist; any other divisor is safe to divide by.
  const bool byMinusOne = divisor == -1;
  const bool fits = byMinusOne ? dividend >= -int64_t{INT32_MAX} && dividend <= -int64_t{INT32_MIN}
                               : dividend / divisor >= INT32_MIN && dividend / divisor <= INT32_MAX;
  if (!fits) {
    Fail("Brain division overflows: %" PRId64 " / %" PRId32 " does not fit 32 bits (code 0x%08" PRIX32 ")",
         dividend, divisor, At());
    return false;
  }
  const int64_t quotient = byMinusOne ? -dividend : dividend / divisor;
  const int64_t remainder = byMinusOne ? 0 : dividend % divisor;
  r[kEax] = static_cast<uint32_t>(quotient);
  r[kEdx] = static_cast<uint32_t>(remainder);
  return true;
}

bool Machine::Call(const RoutineCall& call, uint32_t target) {
  if (RowOfRoutineAddress(target) < 0) {
    Fail("Brain called 0x%08" PRIX32 ", which is not an instruction routine (code 0x%08" PRIX32 ")", target, At());
    return false;
  }
  Regs regs{r[kEax], r[kEbx], r[kEcx], r[kEdx], r[kEsi], r[kEdi]};
  std::string text;
  if (!call || !call(target, &regs, &text)) {
    if (text.empty()) {
      Fail("Instruction routine at 0x%08" PRIX32 " failed (code 0x%08" PRIX32 ")", target, At());
    } else if (fault != nullptr) {
      *fault = std::move(text);
    }
    return false;
  }
  r[kEax] = regs.eax;
  r[kEbx] = regs.ebx;
  r[kEcx] = regs.ecx;
  r[kEdx] = regs.edx;
  r[kEsi] = regs.esi;
  return true;  // EDI keeps its value: every later [edi+d] must still mean this element
}

// A memory operand of a 3E-prefixed instruction: [edi+disp32] (ModR/M mod 2, r/m 7) or [disp32]
// (mod 0, r/m 5), the only two forms brain code uses. False for any other ModR/M byte.
bool MemoryAddress(uint8_t modrm, const uint8_t* disp, uint32_t edi, uint32_t* address) {
  const uint8_t form = modrm & 0xC7;
  if (form == 0x87) {
    *address = edi + Read32(disp);
    return true;
  }
  if (form == 0x05) {
    *address = Read32(disp);
    return true;
  }
  return false;
}

RunResult Machine::Run(const RoutineCall& call) {
  for (;;) {
    if (pc >= codeSize) {
      return Fail("Brain code ran outside the code area at 0x%08" PRIX32, At());
    }
    const uint8_t* p = code + pc;
    const uint32_t avail = codeSize - pc;
    // Every case checks the full length of its form before reading past the opcode.
    auto need = [&](uint32_t length) { return avail >= length; };
    const uint8_t op = p[0];
    switch (op) {
      case 0xB8: case 0xB9: case 0xBA: case 0xBB: case 0xBE:  // mov r32, imm32
        if (!need(5)) break;
        r[op & 7] = Read32(p + 1);
        pc += 5;
        continue;

      case 0x05: case 0x2D: case 0x0D: case 0x25: case 0x35: {  // add/sub/or/and/xor eax, imm32
        if (!need(5)) break;
        const uint32_t a = r[kEax], b = Read32(p + 1);
        switch (op) {
          case 0x05: r[kEax] = a + b; SetAdd(a, b, r[kEax]); break;
          case 0x2D: r[kEax] = a - b; SetSub(a, b); break;
          case 0x0D: r[kEax] = a | b; SetLogic(r[kEax]); break;
          case 0x25: r[kEax] = a & b; SetLogic(r[kEax]); break;
          default: r[kEax] = a ^ b; SetLogic(r[kEax]); break;
        }
        pc += 5;
        continue;
      }

      case 0x69:  // imul eax, eax, imm32
        if (!need(6) || p[1] != 0xC0) break;
        r[kEax] = static_cast<uint32_t>(static_cast<int64_t>(S(r[kEax])) * S(Read32(p + 2)));
        pc += 6;  // imul leaves ZF and SF undefined; compiled code never tests them after it
        continue;

      case 0x8B: {  // mov r, edi (element references) and mov ebx, eax (comparisons)
        if (!need(2)) break;
        const uint8_t modrm = p[1], reg = modrm >> 3 & 7;
        if (modrm == 0xD8) {
          r[kEbx] = r[kEax];
        } else if ((modrm & 0xC7) == 0xC7 && IsArgument(reg)) {
          r[reg] = r[kEdi];
        } else {
          return Unknown(p, 2);
        }
        pc += 2;
        continue;
      }

      case 0x81: {  // add r, imm32 / cmp ebx, imm32
        if (!need(6)) break;
        const uint8_t modrm = p[1], reg = modrm & 7;
        const uint32_t b = Read32(p + 2);
        if ((modrm & 0xF8) == 0xC0 && IsArgument(reg)) {
          const uint32_t a = r[reg];
          r[reg] = a + b;
          SetAdd(a, b, r[reg]);
        } else if (modrm == 0xFB) {
          SetSub(r[kEbx], b);
        } else {
          return Unknown(p, 2);
        }
        pc += 6;
        continue;
      }

      case 0x83:  // cmp eax, imm8: the condition test
        if (!need(3)) break;
        if (p[1] != 0xF8) return Unknown(p, 2);
        SetSub(r[kEax], static_cast<uint32_t>(static_cast<int8_t>(p[2])));
        pc += 3;
        continue;

      case 0xF7: {  // neg r / idiv ecx
        if (!need(2)) break;
        const uint8_t modrm = p[1], reg = modrm & 7;
        if ((modrm & 0xF8) == 0xD8 && IsArgument(reg)) {
          const uint32_t a = r[reg];
          r[reg] = 0u - a;
          SetSub(0, a);
        } else if (modrm == 0xF9) {
          if (!Divide()) return RunResult::kFault;
        } else {
          return Unknown(p, 2);
        }
        pc += 2;
        continue;
      }

      case 0x99:  // cdq
        r[kEdx] = S(r[kEax]) < 0 ? 0xFFFFFFFFu : 0;
        pc += 1;
        continue;

      case 0x0B: case 0x23: case 0x33: {  // or/and/xor eax, ebx; xor eax, eax
        if (!need(2)) break;
        const uint8_t modrm = p[1];
        uint32_t b;
        if (modrm == 0xC3) {
          b = r[kEbx];
        } else if (op == 0x33 && modrm == 0xC0) {
          b = r[kEax];
        } else {
          return Unknown(p, 2);
        }
        r[kEax] = op == 0x0B ? (r[kEax] | b) : op == 0x23 ? (r[kEax] & b) : (r[kEax] ^ b);
        SetLogic(r[kEax]);
        pc += 2;
        continue;
      }

      case 0x74: case 0x75: case 0x7C: case 0x7D: case 0x7E: case 0x7F: {  // jcc rel8
        if (!need(2)) break;
        bool taken;
        switch (op) {
          case 0x74: taken = zero; break;
          case 0x75: taken = !zero; break;
          case 0x7C: taken = less; break;
          case 0x7D: taken = !less; break;
          case 0x7E: taken = zero || less; break;
          default: taken = !zero && !less; break;
        }
        if (!taken) {
          pc += 2;
        } else if (!Jump(2, static_cast<int8_t>(p[1]))) {
          return RunResult::kFault;
        }
        continue;
      }

      case 0x0F:  // jz rel32
        if (!need(6)) break;
        if (p[1] != 0x84) return Unknown(p, 2);
        if (!zero) {
          pc += 6;
        } else if (!Jump(6, S(Read32(p + 2)))) {
          return RunResult::kFault;
        }
        continue;

      case 0xE9:  // jmp rel32
        if (!need(5)) break;
        if (!Jump(5, S(Read32(p + 1)))) return RunResult::kFault;
        continue;

      case 0xE8:  // call rel32: always a routine stub, never brain code
        if (!need(5)) break;
        if (!Call(call, At() + 5 + Read32(p + 1))) return RunResult::kFault;
        pc += 5;
        continue;

      case 0xC3:
        return RunResult::kReturned;

      case 0x3E: {  // the memory forms, all written with this prefix
        if (!need(2)) break;
        const uint8_t op2 = p[1];
        if (op2 == 0xA3) {  // mov [addr32], eax
          if (!need(6)) break;
          if (!Store(Read32(p + 2), r[kEax])) return RunResult::kFault;
          pc += 6;
          continue;
        }
        // 3E 0F AF modrm disp32 is the one three-byte opcode; everything else is 3E op modrm disp32.
        const bool wide = op2 == 0x0F;
        const uint32_t length = wide ? 8 : 7;
        if (!need(length)) break;
        if (wide && p[2] != 0xAF) return Unknown(p, 3);
        const uint8_t modrm = p[length - 5], reg = modrm >> 3 & 7;
        uint32_t address;
        if (!MemoryAddress(modrm, p + length - 4, r[kEdi], &address)) return Unknown(p, length - 4);
        if (op2 == 0x89) {  // mov [edi+disp32], eax: assignment
          if (modrm != 0x87) return Unknown(p, 3);
          if (!Store(address, r[kEax])) return RunResult::kFault;
          pc += length;
          continue;
        }
        // Check the register before reading, so a stray byte never reads memory.
        const bool known = op2 == 0x8B ? IsArgument(reg)
                           : op2 == 0x3B ? reg == kEbx
                           : (wide || op2 == 0x03 || op2 == 0x2B || op2 == 0x0B || op2 == 0x23 || op2 == 0x33) &&
                                 reg == kEax;
        if (!known) return Unknown(p, length - 4);
        uint32_t b;
        if (!Load(address, &b)) return RunResult::kFault;
        const uint32_t a = r[reg];
        switch (wide ? 0xAF : op2) {
          case 0x8B: r[reg] = b; break;
          case 0x3B: SetSub(a, b); break;
          case 0x03: r[kEax] = a + b; SetAdd(a, b, r[kEax]); break;
          case 0x2B: r[kEax] = a - b; SetSub(a, b); break;
          case 0x0B: r[kEax] = a | b; SetLogic(r[kEax]); break;
          case 0x23: r[kEax] = a & b; SetLogic(r[kEax]); break;
          case 0x33: r[kEax] = a ^ b; SetLogic(r[kEax]); break;
          default: r[kEax] = static_cast<uint32_t>(static_cast<int64_t>(S(a)) * S(b)); break;  // imul
        }
        pc += length;
        continue;
      }

      default:
        return Unknown(p, 1);
    }
    // Only a form cut off by the end of the code area gets here.
    return Fail("Brain code ran outside the code area at 0x%08" PRIX32, At());
  }
}

}  // namespace

RunResult Interpret(const core::Arena& arena, uint32_t entry, Regs* regs, const RoutineCall& call,
                    const RunLimits& limits, std::string* fault, uint32_t* faultAt) {
  const uint32_t codeBase = arena.Address(core::Region::kCodeArea);
  const uint32_t codeSize = core::Describe(core::Region::kCodeArea).size;
  const uint8_t* code = arena.GuestToHostIn(core::Region::kCodeArea, codeBase, codeSize);
  Machine m{arena, code, codeBase, codeSize};
  m.fault = fault;
  m.budget = limits.backwardJumpBudget;
  m.backwardLeft = limits.backwardJumpBudget;
  if (code == nullptr) return m.Fail("Brain code area is not ready");
  m.pc = entry - codeBase;  // an entry below the code area wraps to a huge offset
  m.r[kEax] = regs->eax;
  m.r[kEbx] = regs->ebx;
  m.r[kEcx] = regs->ecx;
  m.r[kEdx] = regs->edx;
  m.r[kEsi] = regs->esi;
  m.r[kEdi] = regs->edi;
  const RunResult result = m.Run(call);
  if (result == RunResult::kFault && faultAt != nullptr) *faultAt = m.At();
  *regs = Regs{m.r[kEax], m.r[kEbx], m.r[kEcx], m.r[kEdx], m.r[kEsi], m.r[kEdi]};
  return result;
}

}  // namespace brain
