// Reference interpreter of compiled brain code: execution of decoded instructions and run-time
// faults. Calls the brain decoder, core/arena for every memory access and the instruction table to
// recognise routine stubs.
#include "brain/interpreter.h"

#include <cstdint>
#include <cstdio>
#include <utility>

#include "brain/decode.h"
#include "brain/faults.h"
#include "brain/instruction_table.h"

namespace brain {
namespace {

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
  template <Fault kFault, typename... Args>
  [[gnu::cold, gnu::noinline]] RunResult Fail(Args... args) {
    if (fault != nullptr) *fault = FaultText<kFault>(args...);
    return RunResult::kFault;
  }

  // Inlined into every memory form: an out-of-line call here costs the interpreter several percent.
  [[gnu::always_inline]] bool Load(uint32_t address, uint32_t* value) {
    const uint8_t* host = arena.GuestToHost(address, 4);
    if (host == nullptr) {
      Fail<Fault::kReadOutside>(address, At());
      return false;
    }
    *value = Read32(host);
    return true;
  }

  [[gnu::always_inline]] bool Store(uint32_t address, uint32_t value) {
    uint8_t* host = arena.GuestToHost(address, 4);
    if (host == nullptr) {
      Fail<Fault::kWriteOutside>(address, At());
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
  bool Holds(Condition condition) const {
    switch (condition) {
      case Condition::kEqual: return zero;
      case Condition::kNotEqual: return !zero;
      case Condition::kLess: return less;
      case Condition::kGreaterEqual: return !less;
      case Condition::kLessEqual: return zero || less;
      case Condition::kGreater: return !zero && !less;
    }
    return false;
  }

  RunResult Unknown(uint32_t count);
  RunResult Run(const RoutineCall& call);
  bool Step(const Instruction& in, const RoutineCall& call, RunResult* result);
  bool Jump(const Instruction& in);
  bool Divide();
  bool Call(const RoutineCall& call, uint32_t target);
};

// Names the bytes that did not decode (up to the ModR/M byte, at most four), so a
// mismatch between compiler and runner is easy to find.
RunResult Machine::Unknown(uint32_t count) {
  char bytes[16] = {};
  int used = 0;
  for (uint32_t i = 0; i < count && i < 4 && pc + i < codeSize; ++i) {
    used += std::snprintf(bytes + used, sizeof bytes - used, i == 0 ? "%02X" : " %02X", code[pc + i]);
  }
  return Fail<Fault::kUnknownCode>(static_cast<const char*>(bytes), At());
}

// Moves to the jump's target. Only backward jumps can repeat code, so only they spend the budget.
bool Machine::Jump(const Instruction& in) {
  if (in.Backward()) {
    if (backwardLeft == 0) {
      Fail<Fault::kNeverEnds>(budget, At());
      return false;
    }
    --backwardLeft;
  }
  pc = in.Target();
  return true;
}

// idiv ecx: EDX:EAX / ECX. Faults where the processor would trap: a zero divisor and a quotient
// outside 32 bits (with cdq before it, only INT_MIN / -1).
bool Machine::Divide() {
  const int64_t dividend = static_cast<int64_t>(uint64_t{r[kEdx]} << 32 | r[kEax]);
  const int32_t divisor = S(r[kEcx]);
  if (divisor == 0) {
    Fail<Fault::kDivideByZero>(At());
    return false;
  }
  // With -1 the quotient is -dividend, computed only once the range check has ruled out the one
  // value whose negation does not exist; any other divisor is safe to divide by.
  const bool byMinusOne = divisor == -1;
  const bool fits = byMinusOne ? dividend >= -int64_t{INT32_MAX} && dividend <= -int64_t{INT32_MIN}
                               : dividend / divisor >= INT32_MIN && dividend / divisor <= INT32_MAX;
  if (!fits) {
    Fail<Fault::kDivideOverflow>(dividend, divisor, At());
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
    Fail<Fault::kNotRoutine>(target, At());
    return false;
  }
  Regs regs{r[kEax], r[kEbx], r[kEcx], r[kEdx], r[kEsi], r[kEdi]};
  std::string text;
  if (!call || !call(target, &regs, &text)) {
    if (text.empty()) {
      Fail<Fault::kRoutineFailed>(target, At());
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

// Runs one decoded instruction and moves to the next; false when the run ends, with *result set.
// Always inlined into the decoder's visitor, where the kind is a constant, so the switch below
// disappears into the decoder's dispatch on the opcode byte.
[[gnu::always_inline]] inline bool Machine::Step(const Instruction& in, const RoutineCall& call, RunResult* result) {
  const uint32_t a = r[kEax];
  uint32_t b;
  // The operand of a memory form. The decoder has already refused a stray register, so a byte
  // outside the format never reads memory.
  auto operand = [&]() __attribute__((always_inline)) {
    return Load(in.throughEdi ? r[kEdi] + in.value : in.value, &b);
  };
  auto fault = [&]() {
    *result = RunResult::kFault;
    return false;
  };
  switch (in.kind) {
    case Instruction::kMoveImmediate: r[in.reg] = in.value; break;
    case Instruction::kAddEaxImmediate: r[kEax] = a + in.value; SetAdd(a, in.value, r[kEax]); break;
    case Instruction::kSubtractEaxImmediate: r[kEax] = a - in.value; SetSub(a, in.value); break;
    case Instruction::kOrEaxImmediate: r[kEax] = a | in.value; SetLogic(r[kEax]); break;
    case Instruction::kAndEaxImmediate: r[kEax] = a & in.value; SetLogic(r[kEax]); break;
    case Instruction::kXorEaxImmediate: r[kEax] = a ^ in.value; SetLogic(r[kEax]); break;
    case Instruction::kMultiplyImmediate:
      // imul leaves ZF and SF undefined; compiled code never tests them after it.
      r[kEax] = static_cast<uint32_t>(static_cast<int64_t>(S(a)) * S(in.value));
      break;
    case Instruction::kCopyEdi: r[in.reg] = r[kEdi]; break;
    case Instruction::kCopyEaxToEbx: r[kEbx] = a; break;
    case Instruction::kAddImmediate: {
      const uint32_t x = r[in.reg];
      r[in.reg] = x + in.value;
      SetAdd(x, in.value, r[in.reg]);
      break;
    }
    case Instruction::kCompareEbxImmediate: SetSub(r[kEbx], in.value); break;
    case Instruction::kCompareEaxImmediate: SetSub(a, in.value); break;
    case Instruction::kNegate: {
      const uint32_t x = r[in.reg];
      r[in.reg] = 0u - x;
      SetSub(0, x);
      break;
    }
    case Instruction::kDivide:
      if (!Divide()) return fault();
      break;
    case Instruction::kCdq: r[kEdx] = S(a) < 0 ? 0xFFFFFFFFu : 0; break;
    case Instruction::kOrEbx: r[kEax] = a | r[kEbx]; SetLogic(r[kEax]); break;
    case Instruction::kAndEbx: r[kEax] = a & r[kEbx]; SetLogic(r[kEax]); break;
    case Instruction::kXorEbx: r[kEax] = a ^ r[kEbx]; SetLogic(r[kEax]); break;
    case Instruction::kClearEax: r[kEax] = 0; SetLogic(0); break;
    case Instruction::kJump: return Jump(in) || fault();
    case Instruction::kJumpIf:
      if (Holds(in.condition)) return Jump(in) || fault();
      break;
    case Instruction::kCall:  // always a routine stub, never brain code
      if (!Call(call, At() + 5 + in.value)) return fault();
      break;
    case Instruction::kReturn:
      *result = RunResult::kReturned;
      return false;
    case Instruction::kLoad:
      if (!operand()) return fault();
      r[in.reg] = b;
      break;
    case Instruction::kCompareEbxMemory:
      if (!operand()) return fault();
      SetSub(r[kEbx], b);
      break;
    case Instruction::kAddMemory:
      if (!operand()) return fault();
      r[kEax] = a + b;
      SetAdd(a, b, r[kEax]);
      break;
    case Instruction::kSubtractMemory:
      if (!operand()) return fault();
      r[kEax] = a - b;
      SetSub(a, b);
      break;
    case Instruction::kOrMemory:
      if (!operand()) return fault();
      r[kEax] = a | b;
      SetLogic(r[kEax]);
      break;
    case Instruction::kAndMemory:
      if (!operand()) return fault();
      r[kEax] = a & b;
      SetLogic(r[kEax]);
      break;
    case Instruction::kXorMemory:
      if (!operand()) return fault();
      r[kEax] = a ^ b;
      SetLogic(r[kEax]);
      break;
    case Instruction::kMultiplyMemory:
      if (!operand()) return fault();
      r[kEax] = static_cast<uint32_t>(static_cast<int64_t>(S(a)) * S(b));
      break;
    case Instruction::kStore:
      if (!Store(in.throughEdi ? r[kEdi] + in.value : in.value, a)) return fault();
      break;
    case Instruction::kCutOff:
      *result = Fail<Fault::kRanOutside>(At());
      return false;
    case Instruction::kUnknown:
      *result = Unknown(in.length);
      return false;
  }
  pc += in.length;
  return true;
}

RunResult Machine::Run(const RoutineCall& call) {
  RunResult result = RunResult::kReturned;
  for (;;) {
    if (pc >= codeSize) return Fail<Fault::kRanOutside>(At());
    const bool next = Decode(code, codeSize, pc, [&](const Instruction& in) __attribute__((always_inline)) {
      return Step(in, call, &result);
    });
    if (!next) return result;
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
  if (code == nullptr) return m.Fail<Fault::kCodeAreaNotReady>();
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
