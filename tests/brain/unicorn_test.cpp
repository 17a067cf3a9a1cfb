// The outside judge: Unicorn runs the compiled 32-bit bytes as a real x86 would, and the reference
// interpreter and the native translation must leave the same registers and memory, for written
// cases and for randomly generated brains. The arithmetic instructions and the element-word rows
// (local, register and their setters, on the brain's own element) run for real, so their answers
// and writes steer the brains; every other instruction is a fake routine.
#include <gtest/gtest.h>
#include <unicorn/unicorn.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "brain/compiler.h"
#include "brain/instruction_table.h"
#include "brain/interpreter.h"
#include "brain/native.h"
#include "core/core.h"
#include "instructions/instructions.h"
#include "state/state.h"

namespace {

constexpr uint32_t kStackBase = 0x10000000;
constexpr uint32_t kStackSize = 0x10000;
constexpr uint32_t kReturnAddress = 0x20000000;  // where the brain's final ret lands

// The arithmetic family's routines by slot, without the two that read the engine (random,
// every_tics): what is left are plain functions of the argument registers.
brain::RoutineSlots PureArithmetic() {
  std::vector<brain::RoutineEntry> pure;
  for (const brain::RoutineEntry& entry : instructions::ArithmeticRoutines()) {
    const std::string_view name = entry.name;
    if (name != "random" && name != "every_tics") pure.push_back(entry);
  }
  brain::RoutineSlots slots;
  std::vector<std::string> problems;
  brain::BindRoutines(pure, &slots, &problems);
  return slots;
}
const brain::RoutineSlots kArithmetic = PureArithmetic();

// local, local_set, register and register_set: they work on the record of the current engine's
// arena, which the emulator's copy of element 0 is synchronised with around each call.
brain::RoutineSlots ElementWords() {
  std::vector<brain::RoutineEntry> words;
  for (const brain::RoutineEntry& entry : instructions::ElementMemoryRoutines()) {
    const std::string_view name = entry.name;
    if (name == "local" || name == "local_set" || name == "register" || name == "register_set") words.push_back(entry);
  }
  brain::RoutineSlots slots;
  std::vector<std::string> problems;
  brain::BindRoutines(words, &slots, &problems);
  return slots;
}
const brain::RoutineSlots kElementWords = ElementWords();

brain::Routine RealRoutine(uint32_t stub) {
  const brain::InstructionRow* row = brain::InstructionRowAt(brain::RowOfRoutineAddress(stub));
  if (row == nullptr) return nullptr;
  if (row->routineId < kArithmetic.size() && kArithmetic[row->routineId] != nullptr) return kArithmetic[row->routineId];
  if (row->routineId < kElementWords.size()) return kElementWords[row->routineId];
  return nullptr;
}

// The routine all three runners call at a stub: the real one for the arithmetic rows; otherwise a
// fake that is a function of all five argument registers, so a wrong argument load shows in the
// result, and that scribbles on EBX..ESI as a routine may.
uint32_t FakeRoutine(uint32_t stub, brain::Regs* r) {
  if (const brain::Routine routine = RealRoutine(stub)) {
    std::string fault;
    routine(r, &fault);  // never faults: the generated numbers stay inside the record
    return r->eax;
  }
  const uint32_t result = stub ^ (r->eax * 3) ^ (r->ebx * 5) ^ (r->ecx * 7) ^ (r->edx * 11) ^ (r->esi * 13);
  r->ebx = r->ecx = r->edx = r->esi = 0x5A5A5A5A;
  return result;
}

struct Emulator {
  uc_engine* uc = nullptr;
  uint32_t stubFirst = 0;
  uint32_t stubEnd = 0;
  uint32_t recordAddress = 0;  // element 0, which the element-word rows work on
  uint8_t* recordHost = nullptr;
};

// At a routine stub: run the fake routine on the emulated registers and return to the caller.
void OnCode(uc_engine* uc, uint64_t address, uint32_t, void* data) {
  auto* emulator = static_cast<Emulator*>(data);
  if (address < emulator->stubFirst || address >= emulator->stubEnd) return;
  brain::Regs r;
  uc_reg_read(uc, UC_X86_REG_EAX, &r.eax);
  uc_reg_read(uc, UC_X86_REG_EBX, &r.ebx);
  uc_reg_read(uc, UC_X86_REG_ECX, &r.ecx);
  uc_reg_read(uc, UC_X86_REG_EDX, &r.edx);
  uc_reg_read(uc, UC_X86_REG_ESI, &r.esi);
  // A real element-word routine reads and writes the host record: it sees the emulator's record
  // and leaves its writes there.
  const bool words = RealRoutine(static_cast<uint32_t>(address)) != nullptr;
  if (words) uc_mem_read(uc, emulator->recordAddress, emulator->recordHost, 1024);
  r.eax = FakeRoutine(static_cast<uint32_t>(address), &r);
  if (words) uc_mem_write(uc, emulator->recordAddress, emulator->recordHost, 1024);
  uc_reg_write(uc, UC_X86_REG_EAX, &r.eax);
  uc_reg_write(uc, UC_X86_REG_EBX, &r.ebx);
  uc_reg_write(uc, UC_X86_REG_ECX, &r.ecx);
  uc_reg_write(uc, UC_X86_REG_EDX, &r.edx);
  uc_reg_write(uc, UC_X86_REG_ESI, &r.esi);
  uint32_t esp = 0, back = 0;
  uc_reg_read(uc, UC_X86_REG_ESP, &esp);
  uc_mem_read(uc, esp, &back, 4);
  esp += 4;
  uc_reg_write(uc, UC_X86_REG_ESP, &esp);
  uc_reg_write(uc, UC_X86_REG_EIP, &back);
}

// The three runners' view of one run: the argument registers, element 0's record and the
// temporaries.
struct Outcome {
  uint32_t regs[5] = {};
  std::vector<uint8_t> record;
  std::vector<uint8_t> temporaries;
};

constexpr uint32_t kRecordBytes = 1024;
constexpr uint32_t kTemporaryBytes = 4 * brain::kTemporaryCount;

class Judge : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(arena.Create());
    ASSERT_TRUE(brain::BeginCompilation(&compiler, &arena));
    // One emulator for the whole test: the arena is copied in once, and each run rewrites only
    // the bytes a brain reads or writes (its code, element 0's record, the temporaries).
    ASSERT_EQ(uc_open(UC_ARCH_X86, UC_MODE_32, &emulator.uc), UC_ERR_OK);
    uc_engine* uc = emulator.uc;
    ASSERT_EQ(uc_mem_map(uc, core::Arena::kGuestBase, arena.Size(), UC_PROT_ALL), UC_ERR_OK);
    ASSERT_EQ(uc_mem_write(uc, core::Arena::kGuestBase, arena.GuestToHost(core::Arena::kGuestBase, arena.Size()),
                           arena.Size()),
              UC_ERR_OK);
    ASSERT_EQ(uc_mem_map(uc, kStackBase, kStackSize, UC_PROT_READ | UC_PROT_WRITE), UC_ERR_OK);
    ASSERT_EQ(uc_mem_map(uc, kReturnAddress, 0x1000, UC_PROT_ALL), UC_ERR_OK);
    emulator.recordAddress = arena.Address(core::Region::kElementRecords);
    emulator.recordHost = arena.Host(core::Region::kElementRecords);
    emulator.stubFirst = arena.Address(core::Region::kRoutineStubs);
    emulator.stubEnd = emulator.stubFirst + core::Describe(core::Region::kRoutineStubs).size;
    uc_hook hook;
    ASSERT_EQ(uc_hook_add(uc, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(OnCode), &emulator, emulator.stubFirst,
                          emulator.stubEnd - 1),
              UC_ERR_OK);
  }
  void TearDown() override {
    if (emulator.uc != nullptr) uc_close(emulator.uc);
  }

  uint8_t* RecordHost() const { return arena.Host(core::Region::kElementRecords); }
  uint8_t* TemporariesHost() const { return arena.Host(core::Region::kTemporaries); }

  // Unicorn on the code, record and temporaries as they are in the arena now.
  void RunEmulator(uint32_t entry, Outcome* out) {
    uc_engine* uc = emulator.uc;
    const uint32_t codeBytes = compiler.code.position;
    ASSERT_EQ(uc_mem_write(uc, entry, arena.Host(core::Region::kCodeArea), codeBytes), UC_ERR_OK);
    // Earlier brains were translated from the same addresses.
    ASSERT_EQ(uc_ctl_remove_cache(uc, entry, entry + codeBytes), UC_ERR_OK);
    const uint32_t edi = arena.Address(core::Region::kElementRecords);
    ASSERT_EQ(uc_mem_write(uc, edi, RecordHost(), kRecordBytes), UC_ERR_OK);
    ASSERT_EQ(uc_mem_write(uc, arena.Address(core::Region::kTemporaries), TemporariesHost(), kTemporaryBytes),
              UC_ERR_OK);
    uint32_t esp = kStackBase + kStackSize - 16;
    const uint32_t back = kReturnAddress;
    uc_mem_write(uc, esp, &back, 4);
    uc_reg_write(uc, UC_X86_REG_ESP, &esp);
    uc_reg_write(uc, UC_X86_REG_EDI, &edi);
    const int ids[5] = {UC_X86_REG_EAX, UC_X86_REG_EBX, UC_X86_REG_ECX, UC_X86_REG_EDX, UC_X86_REG_ESI};
    const uint32_t zero = 0;
    for (int id : ids) uc_reg_write(uc, id, &zero);
    ASSERT_EQ(uc_emu_start(uc, entry, kReturnAddress, 0, 5000000), UC_ERR_OK);
    uint32_t eip = 0;
    uc_reg_read(uc, UC_X86_REG_EIP, &eip);
    ASSERT_EQ(eip, kReturnAddress) << "the emulator stopped before the brain's ret";
    for (int i = 0; i < 5; ++i) uc_reg_read(uc, ids[i], &out->regs[i]);
    out->record.resize(kRecordBytes);
    out->temporaries.resize(kTemporaryBytes);
    uc_mem_read(uc, edi, out->record.data(), kRecordBytes);
    uc_mem_read(uc, arena.Address(core::Region::kTemporaries), out->temporaries.data(), kTemporaryBytes);
  }

  static void Take(const brain::Regs& regs, const uint8_t* record, const uint8_t* temporaries, Outcome* out) {
    const uint32_t values[5] = {regs.eax, regs.ebx, regs.ecx, regs.edx, regs.esi};
    std::memcpy(out->regs, values, sizeof(values));
    out->record.assign(record, record + kRecordBytes);
    out->temporaries.assign(temporaries, temporaries + kTemporaryBytes);
  }

  static void ExpectSame(const Outcome& judged, const Outcome& run, const char* runner) {
    static const char* const kNames[5] = {"eax", "ebx", "ecx", "edx", "esi"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(run.regs[i], judged.regs[i]) << runner << " " << kNames[i];
    for (uint32_t word = 0; word < kRecordBytes / 4; ++word) {
      int32_t want = 0, got = 0;
      std::memcpy(&want, judged.record.data() + 4 * word, 4);
      std::memcpy(&got, run.record.data() + 4 * word, 4);
      if (want != got) {
        ADD_FAILURE() << runner << ": record word " << word << " is " << got << ", the emulator left " << want;
        break;
      }
    }
    EXPECT_TRUE(run.temporaries == judged.temporaries) << runner << ": temporaries differ";
  }

  // Compiles the brain, runs it once in Unicorn, once in the interpreter and once natively (each
  // from the same record and temporaries), and compares the element record, the temporaries and
  // the registers.
  void Compare(const std::string& text, std::vector<int32_t> variables) {
    SCOPED_TRACE(text);
    compiler.code.position = 0;
    brain::CompileBrainText(&compiler, text);
    ASSERT_TRUE(compiler.error.empty()) << compiler.error;
    brain::ResolveLabels(&compiler, 0, compiler.code.position);
    ASSERT_TRUE(compiler.error.empty()) << compiler.error;
    auto* record = arena.As<int32_t>(core::Region::kElementRecords);
    for (size_t i = 0; i < variables.size(); ++i) record[255 - i] = variables[i];
    const uint32_t entry = arena.Address(core::Region::kCodeArea);
    const uint32_t edi = arena.Address(core::Region::kElementRecords);
    const std::vector<uint8_t> recordBefore(RecordHost(), RecordHost() + kRecordBytes);
    const std::vector<uint8_t> temporariesBefore(TemporariesHost(), TemporariesHost() + kTemporaryBytes);

    Outcome judged;
    RunEmulator(entry, &judged);
    if (HasFatalFailure()) return;
    // The element-word rows wrote the emulator's record into the host one as they ran.
    std::memcpy(RecordHost(), recordBefore.data(), kRecordBytes);

    const brain::RoutineCall call = [](uint32_t stub, brain::Regs* r, std::string*) {
      r->eax = FakeRoutine(stub, r);
      return true;
    };
    brain::Regs regs;
    regs.edi = edi;
    std::string fault;
    ASSERT_EQ(brain::Interpret(arena, entry, &regs, call, brain::RunLimits{}, &fault), brain::RunResult::kReturned)
        << fault;
    Outcome interpreted;
    Take(regs, RecordHost(), TemporariesHost(), &interpreted);

    // The translation caches by entry address, and every brain here starts at the same one.
    native.Forget();
    std::string error;
    ASSERT_TRUE(native.Translate(arena, entry, &error)) << error;
    std::memcpy(RecordHost(), recordBefore.data(), kRecordBytes);
    std::memcpy(TemporariesHost(), temporariesBefore.data(), kTemporaryBytes);
    regs = brain::Regs{};
    regs.edi = edi;
    ASSERT_EQ(native.Run(entry, &regs, call, brain::RunLimits{}, &fault), brain::RunResult::kReturned) << fault;
    Outcome translated;
    Take(regs, RecordHost(), TemporariesHost(), &translated);

    ExpectSame(judged, interpreted, "interpreter");
    ExpectSame(judged, translated, "native");
  }

  state::Engine engine;  // current: the element-word routines reach its arena
  core::Arena& arena = engine.arena;
  brain::CompilerState compiler;
  brain::NativeBrains native;  // after the arena: its translations go first
  Emulator emulator;
};

TEST_F(Judge, ArithmeticAndNegation) {
  Compare("var a\r\nvar b\r\nvar c\r\na = 7 - 2 - 1\r\nb = -[a + c] * 3 - -c\r\nc = b / [a - 1] + b / -a", {0, 0, -9});
  Compare("var a\r\nvar b\r\na = -2147483647 - 1\r\nb = a - 1 + [a * 3]", {0, 0});
}

TEST_F(Judge, ComparisonsAndLogic) {
  const std::string declarations = "var a\r\nvar b\r\nvar r\r\nvar s\r\nvar t\r\nvar u\r\nvar v\r\nvar w\r\n";
  const std::string tests = "r = a < b\r\ns = a > -b\r\nt = a <= b\r\nu = a >= -b\r\nv = a = b\r\nw = a <> -b";
  Compare(declarations + tests, {5, -5, 0, 0, 0, 0, 0, 0});
  Compare(declarations + tests, {-5, -5, 0, 0, 0, 0, 0, 0});
  Compare("var a\r\nvar b\r\nvar r\r\nvar s\r\nvar t\r\nr = a and b\r\ns = a or -b\r\nt = a xor 255",
          {0x0F0F, 0x00FF, 0, 0, 0});
}

TEST_F(Judge, BlocksLoopsAndCalls) {
  Compare("var i\r\nvar s\r\ntop:\r\ni = i + 1\r\nif i < 10\r\ns = s + i\r\ngoto top\r\nelse\r\ns = s * 2\r\nendif",
          {0, 0});
  Compare("var a\r\nvar r\r\nr = child_pos(element#1, 3, a, -a, element) + sum(a, 2)\r\nr = r + abs(-a)", {11, 0});
}

// Deterministic source of the generated brains, so a failing seed can be replayed.
class Random : public core::XorShift {
 public:
  explicit Random(uint32_t seed) : core::XorShift(seed * 2654435761u + 0x9E3779B9u) {}
};

// Writes a valid brain from a seed: declarations, then nested statements. Every loop runs on a
// counter of its own that nothing else assigns, reset just before its label, so each brain ends;
// forward jumps only skip a whole statement of their own block, never enter a loop. Division is
// only by constants other than 0 and -1, so no run faults; `divide` takes any divisor.
class BrainWriter {
 public:
  explicit BrainWriter(uint32_t seed) : random_(seed) {}

  std::string Write(std::vector<int32_t>* values) {
    const int variables = 3 + random_.Below(8);
    for (int i = 0; i < variables; ++i) {
      names_.push_back("v" + std::to_string(i));
      Line("var " + names_.back());
      values->push_back(Value());
    }
    for (int i = 0; i < kLoopDepth; ++i) {
      Line("var k" + std::to_string(i));
      values->push_back(static_cast<int32_t>(random_.Next()));  // never read before its reset
    }
    Block(4 + random_.Below(8), 0, 0);
    return text_;
  }

 private:
  static constexpr int kLoopDepth = 2;
  static constexpr int kIfDepth = 3;

  struct Call {
    const char* name;
    int params;
  };

  void Line(const std::string& line) { text_ += line + "\r\n"; }

  int32_t Value() {
    static const int32_t kEdges[] = {0, 1, -1, 2, 7, 100000, -100000, 65535, INT32_MAX, INT32_MIN};
    if (random_.Below(3) == 0) return kEdges[random_.Below(10)];
    return random_.Below(2) == 0 ? random_.Below(2001) - 1000 : static_cast<int32_t>(random_.Next());
  }
  const std::string& Var() { return names_[static_cast<size_t>(random_.Below(static_cast<int>(names_.size())))]; }
  std::string Constant() {
    switch (random_.Below(8)) {
      case 0: return std::to_string(random_.Next());  // read modulo 2^32
      case 1: return "0x" + std::to_string(random_.Below(100)) + "f";
      case 2: return std::to_string(random_.Below(50)) + "mt";
      case 3: return "2147483647";
      default: return std::to_string(random_.Below(1000));
    }
  }
  // A divisor that can neither be zero nor turn INT_MIN / -1 into an overflow.
  std::string Divisor() { return (random_.Below(3) == 0 ? "-" : "") + std::to_string(2 + random_.Below(60)); }

  std::string Operand(int depth) {
    const int kind = random_.Below(depth < 2 ? 10 : 6);
    switch (kind) {
      case 0:
      case 1:
      case 2: return Var();
      case 3: return "-" + Var();
      case 4: return Constant();
      case 5: return "-" + std::to_string(random_.Below(1000));
      case 6: return "[" + Expression(depth + 1) + "]";
      case 7: return "-[" + Expression(depth + 1) + "]";
      case 8: return (random_.Below(2) == 0 ? "-" : "") + CallText();
      default: return Var();
    }
  }
  // Plain operators and comparisons; "=" alone would end an assignment's value, so it is only
  // used in conditions.
  std::string Expression(int depth, bool condition = false) {
    static const char* const kOperators[] = {" + ", " - ", " * ", " and ", " or ", " xor ", " < ",
                                             " > ", " <= ", " >= ", " <> ", " = "};
    std::string text = condition ? Var() : Operand(depth);
    const int terms = random_.Below(4);
    for (int i = 0; i < terms; ++i) {
      if (random_.Below(8) == 0) {
        text += " / " + Divisor();
      } else {
        text += kOperators[random_.Below(condition ? 12 : 11)];
        text += Operand(depth);
      }
    }
    return text;
  }
  std::string Argument() {
    switch (random_.Below(8)) {
      case 0: return "element";
      case 1: return "element#" + std::to_string(1 + random_.Below(3));
      case 2: return "element#-" + std::to_string(1 + random_.Below(3));
      case 3: return "-" + Var();
      case 4: return Constant();
      case 5: return Var() + " + " + std::to_string(random_.Below(100));
      default: return Var();
    }
  }
  std::string CallText() {
    static const Call kCalls[] = {
        {"any_input", 0}, {"sight", 4},         {"child_pos", 5},     {"abs", 1},    {"absolute_value", 1},
        {"sum", 2},       {"subtract", 2},      {"multiply", 2},      {"divide", 2}, {"factor_512", 2},
        {"limit", 3},     {"wrap", 3},          {"between", 3},       {"interpolate", 5}};
    // The element-word rows on the brain's own element, with numbers inside its record: reads of
    // any local and of the registers the brain's variables live in (200..255), writes below the
    // variables (locals 64..127, registers 150..199), which must not break a loop's counter.
    switch (random_.Below(20)) {
      case 0: return "local(element, " + std::to_string(random_.Below(128)) + ")";
      case 1: return "register(element, " + std::to_string(200 + random_.Below(56)) + ")";
      case 2: return "local_set(element, " + std::to_string(64 + random_.Below(64)) + ", " + Argument() + ")";
      case 3: return "register_set(element, " + std::to_string(150 + random_.Below(50)) + ", " + Argument() + ")";
      default: break;
    }
    const Call& call = kCalls[random_.Below(static_cast<int>(std::size(kCalls)))];
    std::string text = std::string(call.name) + "(";
    for (int i = 0; i < call.params; ++i) text += (i > 0 ? ", " : "") + Argument();
    return text + ")";
  }

  void Block(int statements, int ifDepth, int loopDepth) {
    for (int i = 0; i < statements; ++i) Statement(ifDepth, loopDepth);
  }

  void Statement(int ifDepth, int loopDepth) {
    const int kind = random_.Below(12);
    if (kind < 5) {
      Line(Var() + " = " + Expression(0));
    } else if (kind == 5) {
      Line(CallText());
    } else if (kind < 8 && ifDepth < kIfDepth) {
      Line("if " + Expression(1, true));
      Block(1 + random_.Below(3), ifDepth + 1, loopDepth);
      if (random_.Below(2) == 0) {
        Line("else");
        Block(1 + random_.Below(3), ifDepth + 1, loopDepth);
      }
      Line(random_.Below(4) == 0 ? "end if" : "endif");
    } else if (kind == 8 && loopDepth < kLoopDepth && labels_ < 40) {
      const std::string counter = "k" + std::to_string(loopDepth);
      const std::string label = "loop" + std::to_string(labels_++);
      Line(counter + " = 0");
      Line(label + ":");
      Block(1 + random_.Below(3), ifDepth, loopDepth + 1);
      Line(counter + " = " + counter + " + 1");
      Line("if " + counter + " < " + std::to_string(1 + random_.Below(5)));
      Line("goto " + label);
      Line("endif");
    } else if (kind == 9 && labels_ < 40) {
      const std::string label = "skip" + std::to_string(labels_++);
      Line("goto " + label);
      Statement(ifDepth, loopDepth);
      Line(label + ":");
    } else {
      Line(Var() + " = " + CallText() + " + " + Var());
    }
  }

  Random random_;
  std::string text_;
  std::vector<std::string> names_;
  int labels_ = 0;
};

TEST_F(Judge, RandomBrainsAgreeAcrossAllThreeRunners) {
  for (const char* name : {"abs", "divide", "interpolate", "factor_512", "local", "register_set"}) {
    ASSERT_NE(RealRoutine(brain::RoutineAddress(brain::RowOfName(name))), nullptr) << name << " runs the fake";
  }
  constexpr uint32_t kBrains = 2000;
  for (uint32_t seed = 1; seed <= kBrains; ++seed) {
    std::vector<int32_t> values;
    const std::string text = BrainWriter(seed).Write(&values);
    SCOPED_TRACE("seed " + std::to_string(seed));
    Compare(text, values);
    if (HasFailure()) break;  // one brain's differences are enough to read
  }
}

}  // namespace
