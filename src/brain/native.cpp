// Native backend of compiled brain code: decoding of the closed byte-sequence set, translation to
// x86-64 with asmjit, the routine-call thunk and the fault texts. Calls core/arena, the
// instruction table (to recognise routine stubs) and asmjit.
#include "brain/native.h"

#include <asmjit/asmjit.h>

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "brain/instruction_table.h"

namespace brain {

// Everything a translated brain reads or writes besides the arena: the guest registers on entry
// and exit (and around routine calls), the jump budget and the fault that ended the run. Lives on
// Run's stack, so runs nest.
struct NativeContext {
  Regs regs;
  uint32_t backwardLeft;
  uint32_t faultKind;
  uint32_t faultCode;     // guest address the fault names as "code"
  uint32_t faultAddress;  // the memory address, call target or routine of the fault
  const RoutineCall* call;
  std::string* routineText;
};

struct NativeRuntime {
  asmjit::JitRuntime jit;
};

namespace {

namespace x86 = asmjit::x86;

// Register numbers as x86 encodes them; the guest's registers live in the host registers of the
// same number, so decoded register fields map straight to asmjit registers.
enum : uint8_t { kEax = 0, kEcx = 1, kEdx = 2, kEbx = 3, kEsi = 6, kEdi = 7 };

constexpr uint8_t kArgumentMask = (1u << kEax) | (1u << kEcx) | (1u << kEdx) | (1u << kEbx) | (1u << kEsi);
bool IsArgument(uint8_t reg) { return reg < 8 && (kArgumentMask >> reg & 1u) != 0; }

uint32_t Read32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

enum FaultKind : uint32_t {
  kFaultNone,
  kFaultRead,
  kFaultWrite,
  kFaultDivideByZero,
  kFaultDivideOverflow,
  kFaultBudget,
  kFaultNotRoutine,
  kFaultOutside,
  kFaultRoutine,
};

// One decoded instruction of the closed set. `op` is the first opcode byte (the second one after
// the 3E prefix, AF for the three-byte imul), `reg` the guest register it names.
struct Instruction {
  enum Kind : uint8_t {
    kMoveImmediate,   // B8+r imm32
    kAccumulatorImm,  // 05/2D/0D/25/35 imm32
    kMultiplyImm,     // 69 C0 imm32
    kCopyEdi,         // 8B r, edi
    kCopyEaxToEbx,    // 8B D8
    kAddImmediate,    // 81 C0+r imm32
    kCompareEbxImm,   // 81 FB imm32
    kCompareEaxImm,   // 83 F8 imm8
    kNegate,          // F7 D8+r
    kDivide,          // F7 F9
    kCdq,             // 99
    kLogicEbx,        // 0B/23/33 C3
    kClearEax,        // 33 C0
    kJump,            // 74..7F rel8, 0F 84 rel32, E9 rel32
    kCall,            // E8 rel32
    kReturn,          // C3
    kStoreAbsolute,   // 3E A3 addr32
    kMemory,          // 3E op modrm disp32 (and 3E 0F AF modrm disp32)
    kCutOff,          // a form cut off by the end of the code area
  };
  Kind kind = kReturn;
  uint32_t pc = 0;  // offset in the code area
  uint32_t length = 0;
  uint8_t op = 0;
  uint8_t reg = 0;
  bool throughEdi = false;  // kMemory: [edi+disp32] rather than [addr32]
  uint32_t value = 0;       // immediate, displacement or absolute address
  int32_t displacement = 0; // jumps and calls
  uint32_t target = 0;      // jumps: code offset of the target (may be past the area)

  bool FallsThrough() const { return kind != kReturn && kind != kCutOff && !(kind == kJump && op == 0xE9); }
};

// Decodes the instruction at code offset `pc` exactly as the interpreter does: the same forms,
// checked in the same order, so a byte sequence is either run the same way by both backends or
// refused here. False for bytes outside the format.
bool Decode(const uint8_t* code, uint32_t codeSize, uint32_t pc, Instruction* out) {
  const uint8_t* p = code + pc;
  const uint32_t avail = codeSize - pc;
  Instruction& in = *out;
  in = Instruction{};
  in.pc = pc;
  in.op = p[0];
  auto cut = [&] {
    in.kind = Instruction::kCutOff;
    return true;
  };
  auto set = [&](Instruction::Kind kind, uint32_t length) {
    in.kind = kind;
    in.length = length;
    return true;
  };
  auto jump = [&](uint32_t length, int32_t displacement) {
    in.displacement = displacement;
    in.target = pc + length + static_cast<uint32_t>(displacement);
    return set(Instruction::kJump, length);
  };
  switch (p[0]) {
    case 0xB8: case 0xB9: case 0xBA: case 0xBB: case 0xBE:
      if (avail < 5) return cut();
      in.reg = p[0] & 7;
      in.value = Read32(p + 1);
      return set(Instruction::kMoveImmediate, 5);
    case 0x05: case 0x2D: case 0x0D: case 0x25: case 0x35:
      if (avail < 5) return cut();
      in.value = Read32(p + 1);
      return set(Instruction::kAccumulatorImm, 5);
    case 0x69:
      if (avail < 6) return cut();
      if (p[1] != 0xC0) return false;
      in.value = Read32(p + 2);
      return set(Instruction::kMultiplyImm, 6);
    case 0x8B: {
      if (avail < 2) return cut();
      const uint8_t reg = p[1] >> 3 & 7;
      if (p[1] == 0xD8) return set(Instruction::kCopyEaxToEbx, 2);
      if ((p[1] & 0xC7) != 0xC7 || !IsArgument(reg)) return false;
      in.reg = reg;
      return set(Instruction::kCopyEdi, 2);
    }
    case 0x81:
      if (avail < 6) return cut();
      in.value = Read32(p + 2);
      in.reg = p[1] & 7;
      if ((p[1] & 0xF8) == 0xC0 && IsArgument(in.reg)) return set(Instruction::kAddImmediate, 6);
      if (p[1] == 0xFB) return set(Instruction::kCompareEbxImm, 6);
      return false;
    case 0x83:
      if (avail < 3) return cut();
      if (p[1] != 0xF8) return false;
      in.value = static_cast<uint32_t>(static_cast<int8_t>(p[2]));
      return set(Instruction::kCompareEaxImm, 3);
    case 0xF7:
      if (avail < 2) return cut();
      in.reg = p[1] & 7;
      if ((p[1] & 0xF8) == 0xD8 && IsArgument(in.reg)) return set(Instruction::kNegate, 2);
      if (p[1] == 0xF9) return set(Instruction::kDivide, 2);
      return false;
    case 0x99:
      return set(Instruction::kCdq, 1);
    case 0x0B: case 0x23: case 0x33:
      if (avail < 2) return cut();
      if (p[1] == 0xC3) return set(Instruction::kLogicEbx, 2);
      if (p[0] == 0x33 && p[1] == 0xC0) return set(Instruction::kClearEax, 2);
      return false;
    case 0x74: case 0x75: case 0x7C: case 0x7D: case 0x7E: case 0x7F:
      if (avail < 2) return cut();
      return jump(2, static_cast<int8_t>(p[1]));
    case 0x0F:
      if (avail < 6) return cut();
      if (p[1] != 0x84) return false;
      return jump(6, static_cast<int32_t>(Read32(p + 2)));
    case 0xE9:
      if (avail < 5) return cut();
      return jump(5, static_cast<int32_t>(Read32(p + 1)));
    case 0xE8:
      if (avail < 5) return cut();
      in.value = Read32(p + 1);
      return set(Instruction::kCall, 5);
    case 0xC3:
      return set(Instruction::kReturn, 1);
    case 0x3E: {
      if (avail < 2) return cut();
      const uint8_t op2 = p[1];
      if (op2 == 0xA3) {
        if (avail < 6) return cut();
        in.value = Read32(p + 2);
        return set(Instruction::kStoreAbsolute, 6);
      }
      const bool wide = op2 == 0x0F;
      const uint32_t length = wide ? 8 : 7;
      if (avail < length) return cut();
      if (wide && p[2] != 0xAF) return false;
      const uint8_t modrm = p[length - 5], reg = modrm >> 3 & 7;
      const uint8_t form = modrm & 0xC7;
      if (form != 0x87 && form != 0x05) return false;
      in.throughEdi = form == 0x87;
      in.value = Read32(p + length - 4);
      in.reg = reg;
      in.op = wide ? 0xAF : op2;
      if (op2 == 0x89) return modrm == 0x87 && set(Instruction::kMemory, length);
      const bool known = op2 == 0x8B ? IsArgument(reg)
                         : op2 == 0x3B ? reg == kEbx
                         : (wide || op2 == 0x03 || op2 == 0x2B || op2 == 0x0B || op2 == 0x23 || op2 == 0x33) &&
                               reg == kEax;
      return known && set(Instruction::kMemory, length);
    }
    default:
      return false;
  }
}

// Records the first asmjit error instead of letting the emitters carry on silently.
class FirstError : public asmjit::ErrorHandler {
 public:
  void handleError(asmjit::Error err, const char* message, asmjit::BaseEmitter*) override {
    if (error == asmjit::kErrorOk) {
      error = err;
      text = message;
    }
  }
  asmjit::Error error = asmjit::kErrorOk;
  std::string text;
};

// Called from translated code with the guest registers already in ctx->regs. The routine works on
// a copy, so a failed call leaves ctx->regs as they were before it (the registers a fault reports)
// and EDI is never taken back from the routine.
bool CallRoutine(NativeContext* ctx, uint32_t routine) {
  Regs regs = ctx->regs;
  std::string text;
  if (ctx->call == nullptr || !*ctx->call || !(*ctx->call)(routine, &regs, &text)) {
    *ctx->routineText = std::move(text);
    return false;
  }
  ctx->regs.eax = regs.eax;
  ctx->regs.ebx = regs.ebx;
  ctx->regs.ecx = regs.ecx;
  ctx->regs.edx = regs.edx;
  ctx->regs.esi = regs.esi;
  return true;
}

x86::Mem RegsField(uint32_t reg) {
  static constexpr int32_t kOffsets[8] = {
      offsetof(Regs, eax), offsetof(Regs, ecx), offsetof(Regs, edx), offsetof(Regs, ebx),
      -1, -1, offsetof(Regs, esi), offsetof(Regs, edi)};
  return x86::dword_ptr(x86::r13, static_cast<int32_t>(offsetof(NativeContext, regs)) + kOffsets[reg]);
}
x86::Mem ContextField(size_t offset) { return x86::dword_ptr(x86::r13, static_cast<int32_t>(offset)); }

constexpr uint8_t kGuestRegisters[] = {kEax, kEbx, kEcx, kEdx, kEsi, kEdi};

// Host register use inside translated code: the guest's six registers in their own numbers,
// r12 = host address of the arena's first byte, r13 = the NativeContext, r14d = backward jumps
// left, r8-r11 scratch, rbp the frame every exit unwinds to (so fault exits may leave from any
// stack depth). The stack is 16-byte aligned between instructions.
struct Translator {
  x86::Assembler& a;
  uint32_t codeBase;
  uint32_t codeSize;
  uint8_t* arenaBase;
  uint32_t arenaSize;
  asmjit::Label saveAndFault;  // stores the guest registers, returns 1
  asmjit::Label faultSaved;    // returns 1 with ctx->regs already right
  asmjit::Label epilogue;
  std::map<uint32_t, asmjit::Label> labels;   // instruction starts
  std::map<uint32_t, asmjit::Label> outside;  // jump targets past the code area
  struct Stub {
    asmjit::Label label;
    FaultKind kind;
    uint32_t code;
    uint32_t address;
    bool addressInR8;
  };
  std::vector<Stub> stubs;

  asmjit::Label Fault(FaultKind kind, uint32_t code, uint32_t address = 0, bool addressInR8 = false) {
    stubs.push_back(Stub{a.newLabel(), kind, code, address, addressInR8});
    return stubs.back().label;
  }
  asmjit::Label Target(uint32_t offset) {
    if (offset < codeSize) return labels.at(offset);
    auto it = outside.find(offset);
    if (it == outside.end()) it = outside.emplace(offset, Fault(kFaultOutside, codeBase + offset)).first;
    return it->second;
  }

  void SaveRegisters() {
    for (uint8_t r : kGuestRegisters) a.mov(RegsField(r), x86::gpd(r));
  }
  void LoadRegisters() {
    for (uint8_t r : kGuestRegisters) a.mov(x86::gpd(r), RegsField(r));
  }

  void Prologue(asmjit::Label start) {
    a.push(x86::rbp);
    a.mov(x86::rbp, x86::rsp);
    a.push(x86::rbx);
    a.push(x86::r12);
    a.push(x86::r13);
    a.push(x86::r14);
    a.push(x86::r15);
    a.sub(x86::rsp, 8);  // 16-byte alignment after five pushes and the frame pointer
    a.mov(x86::r13, x86::rdi);
    a.mov(x86::r12, reinterpret_cast<uint64_t>(arenaBase));
    a.mov(x86::r14d, ContextField(offsetof(NativeContext, backwardLeft)));
    LoadRegisters();
    a.jmp(start);
  }

  void Exits() {
    asmjit::Label done = a.newLabel();
    for (const Stub& s : stubs) {
      a.bind(s.label);
      if (s.kind == kFaultDivideOverflow) {
        // The 64-bit division clobbered EAX and EDX; the dividend in r8 gives them back.
        a.mov(x86::eax, x86::r8d);
        a.mov(x86::rdx, x86::r8);
        a.shr(x86::rdx, 32);
      }
      a.mov(ContextField(offsetof(NativeContext, faultKind)), s.kind);
      a.mov(ContextField(offsetof(NativeContext, faultCode)), s.code);
      if (s.addressInR8) {
        a.add(x86::r8d, core::Arena::kGuestBase);
        a.mov(ContextField(offsetof(NativeContext, faultAddress)), x86::r8d);
      } else {
        a.mov(ContextField(offsetof(NativeContext, faultAddress)), s.address);
      }
      a.jmp(s.kind == kFaultRoutine ? faultSaved : saveAndFault);
    }
    a.bind(saveAndFault);
    SaveRegisters();
    a.bind(faultSaved);
    a.mov(x86::eax, 1);
    a.jmp(done);
    a.bind(epilogue);
    SaveRegisters();
    a.xor_(x86::eax, x86::eax);
    a.bind(done);
    a.lea(x86::rsp, x86::ptr(x86::rbp, -40));
    a.pop(x86::r15);
    a.pop(x86::r14);
    a.pop(x86::r13);
    a.pop(x86::r12);
    a.pop(x86::rbx);
    a.pop(x86::rbp);
    a.ret();
  }

  // A backward jump spends one unit of the budget first. The flags the guest set survive the
  // check, since compiled code could test them again at the target.
  void SpendBudget(const Instruction& in) {
    a.pushfq();
    a.sub(x86::r14d, 1);
    a.jb(Fault(kFaultBudget, codeBase + in.pc));
    a.popfq();
  }

  void Jump(const Instruction& in) {
    const asmjit::Label target = Target(in.target);
    const bool backward = in.displacement < 0;
    if (in.op == 0xE9) {
      if (backward) SpendBudget(in);
      a.jmp(target);
      return;
    }
    x86::CondCode taken;
    switch (in.op) {
      case 0x74: case 0x0F: taken = x86::CondCode::kE; break;
      case 0x75: taken = x86::CondCode::kNE; break;
      case 0x7C: taken = x86::CondCode::kL; break;
      case 0x7D: taken = x86::CondCode::kGE; break;
      case 0x7E: taken = x86::CondCode::kLE; break;
      default: taken = x86::CondCode::kG; break;
    }
    if (!backward) {
      a.j(taken, target);
      return;
    }
    asmjit::Label skip = a.newLabel();
    a.j(x86::negateCond(taken), skip);
    SpendBudget(in);
    a.jmp(target);
    a.bind(skip);
  }

  void Call(const Instruction& in) {
    const uint32_t routine = codeBase + in.pc + 5 + in.value;
    if (RowOfRoutineAddress(routine) < 0) {
      a.jmp(Fault(kFaultNotRoutine, codeBase + in.pc, routine));
      return;
    }
    SaveRegisters();
    a.pushfq();  // the interpreter's flags survive a call; so do these
    a.sub(x86::rsp, 8);
    a.mov(x86::rdi, x86::r13);
    a.mov(x86::esi, routine);
    a.mov(x86::rax, reinterpret_cast<uint64_t>(&CallRoutine));
    a.call(x86::rax);
    a.add(x86::rsp, 8);
    a.test(x86::al, x86::al);
    a.jz(Fault(kFaultRoutine, codeBase + in.pc, routine));
    a.popfq();
    LoadRegisters();
  }

  // EDX:EAX / ECX without ever letting the processor trap: a zero divisor and a quotient outside
  // 32 bits leave through fault exits, everything else is divided in 64 bits, where neither can
  // happen once those are ruled out.
  void Divide(const Instruction& in) {
    const uint32_t code = codeBase + in.pc;
    asmjit::Label general = a.newLabel(), check = a.newLabel();
    a.mov(x86::r8d, x86::eax);
    a.mov(x86::r9d, x86::edx);
    a.shl(x86::r9, 32);
    a.or_(x86::r8, x86::r9);
    a.movsxd(x86::r9, x86::ecx);
    a.test(x86::r9, x86::r9);
    a.jz(Fault(kFaultDivideByZero, code));
    a.cmp(x86::r9, -1);
    a.jne(general);
    // By -1: the quotient is the negated dividend, remainder 0. Negating the one 64-bit value
    // without a negation gives itself, which the range check below refuses.
    a.mov(x86::r10, x86::r8);
    a.neg(x86::r10);
    a.xor_(x86::r11d, x86::r11d);
    a.jmp(check);
    a.bind(general);
    a.mov(x86::rax, x86::r8);
    a.cqo();
    a.idiv(x86::r9);
    a.mov(x86::r10, x86::rax);
    a.mov(x86::r11, x86::rdx);
    a.bind(check);
    a.movsxd(x86::r9, x86::r10d);
    a.cmp(x86::r9, x86::r10);
    a.jne(Fault(kFaultDivideOverflow, code));
    a.mov(x86::eax, x86::r10d);
    a.mov(x86::edx, x86::r11d);
  }

  // The host operand of a memory form, or an invalid Mem after a jump to a fault exit when an
  // absolute address lies outside the arena. Addresses through EDI are checked on every run.
  bool Operand(const Instruction& in, bool write, x86::Mem* mem) {
    const FaultKind kind = write ? kFaultWrite : kFaultRead;
    const uint32_t code = codeBase + in.pc;
    if (!in.throughEdi) {
      const uint64_t offset = uint64_t{in.value} - core::Arena::kGuestBase;
      if (in.value < core::Arena::kGuestBase || offset + 4 > arenaSize) {
        a.jmp(Fault(kind, code, in.value));
        return false;
      }
      *mem = x86::dword_ptr(x86::r12, static_cast<int32_t>(offset));
      return true;
    }
    // The check's compare changes the flags where a plain mov would not; compiled code always
    // sets the flags right before the jump that tests them, never across a load or store.
    // r8d = EDI + disp - guest base, wrapping in 32 bits as the guest address does; one unsigned
    // compare then rules out both ends of the arena.
    a.lea(x86::r8d, x86::ptr(x86::rdi, static_cast<int32_t>(in.value - core::Arena::kGuestBase)));
    a.cmp(x86::r8d, arenaSize - 4);
    a.ja(Fault(kind, code, 0, true));
    *mem = x86::dword_ptr(x86::r12, x86::r8);
    return true;
  }

  void Memory(const Instruction& in) {
    x86::Mem m;
    if (in.kind == Instruction::kStoreAbsolute) {
      if (Operand(in, true, &m)) a.mov(m, x86::eax);
      return;
    }
    if (!Operand(in, in.op == 0x89, &m)) return;
    switch (in.op) {
      case 0x89: a.mov(m, x86::eax); break;
      case 0x8B: a.mov(x86::gpd(in.reg), m); break;
      case 0x3B: a.cmp(x86::ebx, m); break;
      case 0x03: a.add(x86::eax, m); break;
      case 0x2B: a.sub(x86::eax, m); break;
      case 0x0B: a.or_(x86::eax, m); break;
      case 0x23: a.and_(x86::eax, m); break;
      case 0x33: a.xor_(x86::eax, m); break;
      default: a.imul(x86::eax, m); break;
    }
  }

  void Emit(const Instruction& in) {
    const x86::Gpd reg = x86::gpd(in.reg);
    const int32_t imm = static_cast<int32_t>(in.value);
    switch (in.kind) {
      case Instruction::kMoveImmediate: a.mov(reg, imm); break;
      case Instruction::kAccumulatorImm:
        switch (in.op) {
          case 0x05: a.add(x86::eax, imm); break;
          case 0x2D: a.sub(x86::eax, imm); break;
          case 0x0D: a.or_(x86::eax, imm); break;
          case 0x25: a.and_(x86::eax, imm); break;
          default: a.xor_(x86::eax, imm); break;
        }
        break;
      case Instruction::kMultiplyImm: a.imul(x86::eax, x86::eax, imm); break;
      case Instruction::kCopyEdi: a.mov(reg, x86::edi); break;
      case Instruction::kCopyEaxToEbx: a.mov(x86::ebx, x86::eax); break;
      case Instruction::kAddImmediate: a.add(reg, imm); break;
      case Instruction::kCompareEbxImm: a.cmp(x86::ebx, imm); break;
      case Instruction::kCompareEaxImm: a.cmp(x86::eax, imm); break;
      case Instruction::kNegate: a.neg(reg); break;
      case Instruction::kDivide: Divide(in); break;
      case Instruction::kCdq: a.cdq(); break;
      case Instruction::kLogicEbx:
        switch (in.op) {
          case 0x0B: a.or_(x86::eax, x86::ebx); break;
          case 0x23: a.and_(x86::eax, x86::ebx); break;
          default: a.xor_(x86::eax, x86::ebx); break;
        }
        break;
      case Instruction::kClearEax: a.xor_(x86::eax, x86::eax); break;
      case Instruction::kJump: Jump(in); break;
      case Instruction::kCall: Call(in); break;
      case Instruction::kReturn: a.jmp(epilogue); break;
      case Instruction::kStoreAbsolute:
      case Instruction::kMemory: Memory(in); break;
      case Instruction::kCutOff: a.jmp(Fault(kFaultOutside, codeBase + in.pc)); break;
    }
  }
};

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[200];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

}  // namespace

NativeBrains::NativeBrains() : runtime_(std::make_unique<NativeRuntime>()) {}

NativeBrains::~NativeBrains() { Forget(); }

void NativeBrains::Forget() {
  for (auto& [entry, function] : functions_) runtime_->jit.release(function);
  functions_.clear();
}

bool NativeBrains::IsTranslated(uint32_t entry) const { return functions_.count(entry) != 0; }

// Finds every instruction reachable from the entry (following fall-through and jump targets,
// never the bytes after an unconditional jump, where a resolved label's padding sits), then
// translates them in address order so fall-through stays fall-through.
bool NativeBrains::Translate(const core::Arena& arena, uint32_t entry, std::string* error) {
  auto fail = [&](std::string text) {
    if (error != nullptr) *error = std::move(text);
    return false;
  };
  if (IsTranslated(entry)) return true;
  const uint32_t codeBase = arena.Address(core::Region::kCodeArea);
  const uint32_t codeSize = core::Describe(core::Region::kCodeArea).size;
  const uint8_t* code = arena.GuestToHostIn(core::Region::kCodeArea, codeBase, codeSize);
  if (code == nullptr) return fail("Brain code area is not ready");

  std::map<uint32_t, Instruction> found;
  std::vector<uint32_t> work{entry - codeBase};
  while (!work.empty()) {
    const uint32_t pc = work.back();
    work.pop_back();
    if (pc >= codeSize || found.count(pc) != 0) continue;
    Instruction in;
    if (!Decode(code, codeSize, pc, &in)) {
      return fail(Format("Brain code at 0x%08" PRIX32 " has no native translation", codeBase + pc));
    }
    // A call of something that is not a routine and an absolute operand outside the arena always
    // fault, so whatever follows them is never reached from here.
    const bool faults =
        (in.kind == Instruction::kCall && RowOfRoutineAddress(codeBase + pc + 5 + in.value) < 0) ||
        ((in.kind == Instruction::kStoreAbsolute || (in.kind == Instruction::kMemory && !in.throughEdi)) &&
         arena.GuestToHost(in.value, 4) == nullptr);
    found.emplace(pc, in);
    if (in.kind == Instruction::kJump) work.push_back(in.target);
    if (in.FallsThrough() && !faults) work.push_back(pc + in.length);
  }
  // A jump into the middle of another instruction would need two decodings of the same bytes.
  uint32_t end = 0;
  for (const auto& [pc, in] : found) {
    if (pc < end) {
      return fail(Format("Brain code at 0x%08" PRIX32 " overlaps another instruction", codeBase + pc));
    }
    end = pc + in.length;
  }

  asmjit::CodeHolder holder;
  FirstError errors;
  holder.init(runtime_->jit.environment());
  holder.setErrorHandler(&errors);
  x86::Assembler assembler(&holder);
  Translator t{assembler, codeBase, codeSize, reinterpret_cast<uint8_t*>(arena.HostBias() + core::Arena::kGuestBase),
               arena.Size(), assembler.newLabel(), assembler.newLabel(), assembler.newLabel(), {}, {}, {}};
  for (const auto& [pc, in] : found) t.labels.emplace(pc, assembler.newLabel());
  t.Prologue(t.Target(entry - codeBase));
  for (const auto& [pc, in] : found) {
    assembler.bind(t.labels.at(pc));
    t.Emit(in);
    // The last instruction of a run of code falling through off the code area's end.
    if (in.FallsThrough() && pc + in.length >= codeSize) assembler.jmp(t.Target(pc + in.length));
  }
  t.Exits();
  if (errors.error != asmjit::kErrorOk) return fail("Brain translation failed: " + errors.text);
  Function function = nullptr;
  if (runtime_->jit.add(&function, &holder) != asmjit::kErrorOk) {
    return fail("Brain translation failed: no executable memory");
  }
  functions_.emplace(entry, function);
  return true;
}

RunResult NativeBrains::Run(uint32_t entry, Regs* regs, const RoutineCall& call, const RunLimits& limits,
                            std::string* fault, uint32_t* faultAt) const {
  auto fail = [&](std::string text) {
    if (fault != nullptr) *fault = std::move(text);
    return RunResult::kFault;
  };
  const auto it = functions_.find(entry);
  if (it == functions_.end()) return fail(Format("Brain code at 0x%08" PRIX32 " is not translated", entry));
  std::string routineText;
  NativeContext ctx{*regs, limits.backwardJumpBudget, kFaultNone, 0, 0, &call, &routineText};
  const int status = it->second(&ctx);
  *regs = ctx.regs;
  if (status == 0) return RunResult::kReturned;
  const uint32_t code = ctx.faultCode, address = ctx.faultAddress;
  if (faultAt != nullptr) *faultAt = code;
  switch (ctx.faultKind) {
    case kFaultRead:
      return fail(Format("Brain read outside the engine's memory at 0x%08" PRIX32 " (code 0x%08" PRIX32 ")",
                         address, code));
    case kFaultWrite:
      return fail(Format("Brain wrote outside the engine's memory at 0x%08" PRIX32 " (code 0x%08" PRIX32 ")",
                         address, code));
    case kFaultDivideByZero: return fail(Format("Brain divided by zero (code 0x%08" PRIX32 ")", code));
    case kFaultDivideOverflow: {
      const int64_t dividend = static_cast<int64_t>(uint64_t{regs->edx} << 32 | regs->eax);
      return fail(Format("Brain division overflows: %" PRId64 " / %" PRId32 " does not fit 32 bits (code 0x%08" PRIX32
                         ")",
                         dividend, static_cast<int32_t>(regs->ecx), code));
    }
    case kFaultBudget:
      return fail(Format("Brain never ends: more than %" PRIu32 " backward jumps in one run (code 0x%08" PRIX32 ")",
                         limits.backwardJumpBudget, code));
    case kFaultNotRoutine:
      return fail(Format("Brain called 0x%08" PRIX32 ", which is not an instruction routine (code 0x%08" PRIX32 ")",
                         address, code));
    case kFaultOutside: return fail(Format("Brain code ran outside the code area at 0x%08" PRIX32, code));
    case kFaultRoutine:
      if (!routineText.empty()) return fail(std::move(routineText));
      return fail(Format("Instruction routine at 0x%08" PRIX32 " failed (code 0x%08" PRIX32 ")", address, code));
    default: return fail("Brain stopped without a reason");
  }
}

}  // namespace brain
