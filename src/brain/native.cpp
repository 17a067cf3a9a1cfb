// Native backend of compiled brain code: translation of decoded instructions to x86-64 with
// asmjit, the routine-call thunk and the fault exits. Calls the brain decoder and fault list,
// core/arena, the instruction table (to recognise routine stubs) and asmjit.
#include "brain/native.h"

#include <asmjit/asmjit.h>

#include <cstddef>
#include <map>
#include <utility>
#include <vector>

#include "brain/decode.h"
#include "brain/faults.h"
#include "brain/instruction_table.h"

namespace brain {

// Everything a translated brain reads or writes besides the arena: the guest registers on entry
// and exit (and around routine calls), the jump budget and the fault that ended the run. Lives on
// Run's stack, so runs nest.
struct NativeContext {
  Regs regs;
  uint32_t backwardLeft;
  uint32_t faultKind;     // a Fault
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
    Fault kind;
    uint32_t code;
    uint32_t address;
    bool addressInR8;
  };
  std::vector<Stub> stubs;

  asmjit::Label FaultExit(Fault kind, uint32_t code, uint32_t address = 0, bool addressInR8 = false) {
    stubs.push_back(Stub{a.newLabel(), kind, code, address, addressInR8});
    return stubs.back().label;
  }
  asmjit::Label Target(uint32_t offset) {
    if (offset < codeSize) return labels.at(offset);
    auto it = outside.find(offset);
    if (it == outside.end()) it = outside.emplace(offset, FaultExit(Fault::kRanOutside, codeBase + offset)).first;
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
      if (s.kind == Fault::kDivideOverflow) {
        // The 64-bit division clobbered EAX and EDX; the dividend in r8 gives them back.
        a.mov(x86::eax, x86::r8d);
        a.mov(x86::rdx, x86::r8);
        a.shr(x86::rdx, 32);
      }
      a.mov(ContextField(offsetof(NativeContext, faultKind)), static_cast<uint32_t>(s.kind));
      a.mov(ContextField(offsetof(NativeContext, faultCode)), s.code);
      if (s.addressInR8) {
        a.add(x86::r8d, core::Arena::kGuestBase);
        a.mov(ContextField(offsetof(NativeContext, faultAddress)), x86::r8d);
      } else {
        a.mov(ContextField(offsetof(NativeContext, faultAddress)), s.address);
      }
      a.jmp(s.kind == Fault::kRoutineFailed ? faultSaved : saveAndFault);
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
    a.jb(FaultExit(Fault::kNeverEnds, codeBase + in.pc));
    a.popfq();
  }

  void Jump(const Instruction& in) {
    const asmjit::Label target = Target(in.Target());
    const bool backward = in.Backward();
    if (in.kind == Instruction::kJump) {
      if (backward) SpendBudget(in);
      a.jmp(target);
      return;
    }
    x86::CondCode taken;
    switch (in.condition) {
      case Condition::kEqual: taken = x86::CondCode::kE; break;
      case Condition::kNotEqual: taken = x86::CondCode::kNE; break;
      case Condition::kLess: taken = x86::CondCode::kL; break;
      case Condition::kGreaterEqual: taken = x86::CondCode::kGE; break;
      case Condition::kLessEqual: taken = x86::CondCode::kLE; break;
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
      a.jmp(FaultExit(Fault::kNotRoutine, codeBase + in.pc, routine));
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
    a.jz(FaultExit(Fault::kRoutineFailed, codeBase + in.pc, routine));
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
    a.jz(FaultExit(Fault::kDivideByZero, code));
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
    a.jne(FaultExit(Fault::kDivideOverflow, code));
    a.mov(x86::eax, x86::r10d);
    a.mov(x86::edx, x86::r11d);
  }

  // The host operand of a memory form, or an invalid Mem after a jump to a fault exit when an
  // absolute address lies outside the arena. Addresses through EDI are checked on every run.
  bool Operand(const Instruction& in, bool write, x86::Mem* mem) {
    const Fault kind = write ? Fault::kWriteOutside : Fault::kReadOutside;
    const uint32_t code = codeBase + in.pc;
    if (!in.throughEdi) {
      const uint64_t offset = uint64_t{in.value} - core::Arena::kGuestBase;
      if (in.value < core::Arena::kGuestBase || offset + 4 > arenaSize) {
        a.jmp(FaultExit(kind, code, in.value));
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
    a.ja(FaultExit(kind, code, 0, true));
    *mem = x86::dword_ptr(x86::r12, x86::r8);
    return true;
  }

  void Memory(const Instruction& in) {
    x86::Mem m;
    if (!Operand(in, in.kind == Instruction::kStore, &m)) return;
    switch (in.kind) {
      case Instruction::kStore: a.mov(m, x86::eax); break;
      case Instruction::kLoad: a.mov(x86::gpd(in.reg), m); break;
      case Instruction::kCompareEbxMemory: a.cmp(x86::ebx, m); break;
      case Instruction::kAddMemory: a.add(x86::eax, m); break;
      case Instruction::kSubtractMemory: a.sub(x86::eax, m); break;
      case Instruction::kOrMemory: a.or_(x86::eax, m); break;
      case Instruction::kAndMemory: a.and_(x86::eax, m); break;
      case Instruction::kXorMemory: a.xor_(x86::eax, m); break;
      default: a.imul(x86::eax, m); break;  // kMultiplyMemory
    }
  }

  void Emit(const Instruction& in) {
    const x86::Gpd reg = x86::gpd(in.reg);
    const int32_t imm = static_cast<int32_t>(in.value);
    switch (in.kind) {
      case Instruction::kMoveImmediate: a.mov(reg, imm); break;
      case Instruction::kAddEaxImmediate: a.add(x86::eax, imm); break;
      case Instruction::kSubtractEaxImmediate: a.sub(x86::eax, imm); break;
      case Instruction::kOrEaxImmediate: a.or_(x86::eax, imm); break;
      case Instruction::kAndEaxImmediate: a.and_(x86::eax, imm); break;
      case Instruction::kXorEaxImmediate: a.xor_(x86::eax, imm); break;
      case Instruction::kMultiplyImmediate: a.imul(x86::eax, x86::eax, imm); break;
      case Instruction::kCopyEdi: a.mov(reg, x86::edi); break;
      case Instruction::kCopyEaxToEbx: a.mov(x86::ebx, x86::eax); break;
      case Instruction::kAddImmediate: a.add(reg, imm); break;
      case Instruction::kCompareEbxImmediate: a.cmp(x86::ebx, imm); break;
      case Instruction::kCompareEaxImmediate: a.cmp(x86::eax, imm); break;
      case Instruction::kNegate: a.neg(reg); break;
      case Instruction::kDivide: Divide(in); break;
      case Instruction::kCdq: a.cdq(); break;
      case Instruction::kOrEbx: a.or_(x86::eax, x86::ebx); break;
      case Instruction::kAndEbx: a.and_(x86::eax, x86::ebx); break;
      case Instruction::kXorEbx: a.xor_(x86::eax, x86::ebx); break;
      case Instruction::kClearEax: a.xor_(x86::eax, x86::eax); break;
      case Instruction::kJump:
      case Instruction::kJumpIf: Jump(in); break;
      case Instruction::kCall: Call(in); break;
      case Instruction::kReturn: a.jmp(epilogue); break;
      case Instruction::kLoad:
      case Instruction::kCompareEbxMemory:
      case Instruction::kAddMemory:
      case Instruction::kSubtractMemory:
      case Instruction::kOrMemory:
      case Instruction::kAndMemory:
      case Instruction::kXorMemory:
      case Instruction::kMultiplyMemory:
      case Instruction::kStore: Memory(in); break;
      case Instruction::kCutOff: a.jmp(FaultExit(Fault::kRanOutside, codeBase + in.pc)); break;
      case Instruction::kUnknown: break;  // Translate refuses a brain before it gets here
    }
  }
};

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
  if (code == nullptr) return fail(FaultText<Fault::kCodeAreaNotReady>());

  std::map<uint32_t, Instruction> found;
  std::vector<uint32_t> work{entry - codeBase};
  while (!work.empty()) {
    const uint32_t pc = work.back();
    work.pop_back();
    if (pc >= codeSize || found.count(pc) != 0) continue;
    Instruction in;
    Decode(code, codeSize, pc, &in);
    if (in.kind == Instruction::kUnknown) return fail(FaultText<Fault::kNoNativeTranslation>(codeBase + pc));
    // A call of something that is not a routine and an absolute operand outside the arena always
    // fault, so whatever follows them is never reached from here.
    const bool faults =
        (in.kind == Instruction::kCall && RowOfRoutineAddress(codeBase + pc + 5 + in.value) < 0) ||
        (in.AccessesMemory() && !in.throughEdi && arena.GuestToHost(in.value, 4) == nullptr);
    found.emplace(pc, in);
    if (in.kind == Instruction::kJump || in.kind == Instruction::kJumpIf) work.push_back(in.Target());
    if (in.FallsThrough() && !faults) work.push_back(pc + in.length);
  }
  // A jump into the middle of another instruction would need two decodings of the same bytes.
  uint32_t end = 0;
  for (const auto& [pc, in] : found) {
    if (pc < end) {
      return fail(FaultText<Fault::kOverlaps>(codeBase + pc));
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
  if (errors.error != asmjit::kErrorOk) return fail(FaultText<Fault::kTranslationFailed>(errors.text.c_str()));
  Function function = nullptr;
  if (runtime_->jit.add(&function, &holder) != asmjit::kErrorOk) {
    return fail(FaultText<Fault::kTranslationFailed>("no executable memory"));
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
  if (it == functions_.end()) return fail(FaultText<Fault::kNotTranslated>(entry));
  std::string routineText;
  NativeContext ctx{*regs, limits.backwardJumpBudget, static_cast<uint32_t>(Fault::kNoReason), 0, 0, &call,
                    &routineText};
  const int status = it->second(&ctx);
  *regs = ctx.regs;
  if (status == 0) return RunResult::kReturned;
  const uint32_t code = ctx.faultCode, address = ctx.faultAddress;
  if (faultAt != nullptr) *faultAt = code;
  switch (static_cast<Fault>(ctx.faultKind)) {
    case Fault::kReadOutside: return fail(FaultText<Fault::kReadOutside>(address, code));
    case Fault::kWriteOutside: return fail(FaultText<Fault::kWriteOutside>(address, code));
    case Fault::kDivideByZero: return fail(FaultText<Fault::kDivideByZero>(code));
    case Fault::kDivideOverflow: {
      const int64_t dividend = static_cast<int64_t>(uint64_t{regs->edx} << 32 | regs->eax);
      return fail(FaultText<Fault::kDivideOverflow>(dividend, static_cast<int32_t>(regs->ecx), code));
    }
    case Fault::kNeverEnds: return fail(FaultText<Fault::kNeverEnds>(limits.backwardJumpBudget, code));
    case Fault::kNotRoutine: return fail(FaultText<Fault::kNotRoutine>(address, code));
    case Fault::kRanOutside: return fail(FaultText<Fault::kRanOutside>(code));
    case Fault::kRoutineFailed:
      if (!routineText.empty()) return fail(std::move(routineText));
      return fail(FaultText<Fault::kRoutineFailed>(address, code));
    default: return fail(FaultText<Fault::kNoReason>());
  }
}

}  // namespace brain
