// The outside judge: Unicorn runs the compiled 32-bit bytes as a real x86 would, and the reference
// interpreter must leave the same registers and memory.
#include <gtest/gtest.h>
#include <unicorn/unicorn.h>

#include <cstring>
#include <string>
#include <vector>

#include "brain/compiler.h"
#include "brain/instruction_table.h"
#include "brain/interpreter.h"
#include "core/arena.h"

namespace {

constexpr uint32_t kStackBase = 0x10000000;
constexpr uint32_t kStackSize = 0x10000;
constexpr uint32_t kReturnAddress = 0x20000000;  // where the brain's final ret lands

// The fake routine both runners call: a function of all five argument registers, so a wrong
// argument load shows in the result; it also scribbles on EBX..ESI as a routine may.
uint32_t FakeRoutine(uint32_t stub, brain::Regs* r) {
  const uint32_t result = stub ^ (r->eax * 3) ^ (r->ebx * 5) ^ (r->ecx * 7) ^ (r->edx * 11) ^ (r->esi * 13);
  r->ebx = r->ecx = r->edx = r->esi = 0x5A5A5A5A;
  return result;
}

struct Emulator {
  uc_engine* uc = nullptr;
  uint32_t stubFirst = 0;
  uint32_t stubEnd = 0;
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
  r.eax = FakeRoutine(static_cast<uint32_t>(address), &r);
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

class Judge : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(arena.Create());
    ASSERT_TRUE(brain::BeginCompilation(&compiler, &arena));
  }

  // Compiles the brain, runs it once in Unicorn on a copy of the arena and once in the
  // interpreter, and compares the element record, the temporaries and the registers.
  void Compare(const std::string& text, std::vector<int32_t> variables) {
    SCOPED_TRACE(text);
    compiler.code.position = 0;
    brain::CompileBrainText(&compiler, text);
    ASSERT_TRUE(compiler.error.empty()) << compiler.error;
    brain::ResolveLabels(&compiler, 0, compiler.code.position);
    auto* record = arena.As<int32_t>(core::Region::kElementRecords);
    for (size_t i = 0; i < variables.size(); ++i) record[255 - i] = variables[i];
    const uint32_t entry = arena.Address(core::Region::kCodeArea);
    const uint32_t edi = arena.Address(core::Region::kElementRecords);

    // Unicorn on the arena's bytes as they are now.
    Emulator emulator;
    ASSERT_EQ(uc_open(UC_ARCH_X86, UC_MODE_32, &emulator.uc), UC_ERR_OK);
    uc_engine* uc = emulator.uc;
    ASSERT_EQ(uc_mem_map(uc, core::Arena::kGuestBase, arena.Size(), UC_PROT_ALL), UC_ERR_OK);
    ASSERT_EQ(uc_mem_write(uc, core::Arena::kGuestBase, arena.GuestToHost(core::Arena::kGuestBase, arena.Size()),
                           arena.Size()),
              UC_ERR_OK);
    ASSERT_EQ(uc_mem_map(uc, kStackBase, kStackSize, UC_PROT_READ | UC_PROT_WRITE), UC_ERR_OK);
    ASSERT_EQ(uc_mem_map(uc, kReturnAddress, 0x1000, UC_PROT_ALL), UC_ERR_OK);
    uint32_t esp = kStackBase + kStackSize - 16;
    uint32_t back = kReturnAddress;
    uc_mem_write(uc, esp, &back, 4);
    uc_reg_write(uc, UC_X86_REG_ESP, &esp);
    uc_reg_write(uc, UC_X86_REG_EDI, &edi);
    emulator.stubFirst = arena.Address(core::Region::kRoutineStubs);
    emulator.stubEnd = emulator.stubFirst + core::Describe(core::Region::kRoutineStubs).size;
    uc_hook hook;
    ASSERT_EQ(uc_hook_add(uc, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(OnCode), &emulator, emulator.stubFirst,
                          emulator.stubEnd - 1),
              UC_ERR_OK);
    ASSERT_EQ(uc_emu_start(uc, entry, kReturnAddress, 0, 1000000), UC_ERR_OK);
    uint32_t judged[5] = {};
    const int ids[5] = {UC_X86_REG_EAX, UC_X86_REG_EBX, UC_X86_REG_ECX, UC_X86_REG_EDX, UC_X86_REG_ESI};
    for (int i = 0; i < 5; ++i) uc_reg_read(uc, ids[i], &judged[i]);
    std::vector<uint8_t> judgedRecord(1024), judgedTemporaries(4096);
    uc_mem_read(uc, edi, judgedRecord.data(), judgedRecord.size());
    uc_mem_read(uc, arena.Address(core::Region::kTemporaries), judgedTemporaries.data(), judgedTemporaries.size());
    uc_close(uc);

    // The interpreter on the arena itself.
    brain::Regs regs;
    regs.edi = edi;
    std::string fault;
    const brain::RoutineCall call = [](uint32_t stub, brain::Regs* r, std::string*) {
      r->eax = FakeRoutine(stub, r);
      return true;
    };
    ASSERT_EQ(brain::Interpret(arena, entry, &regs, call, brain::RunLimits{}, &fault), brain::RunResult::kReturned)
        << fault;
    EXPECT_EQ(regs.eax, judged[0]);
    EXPECT_EQ(regs.ebx, judged[1]);
    EXPECT_EQ(regs.ecx, judged[2]);
    EXPECT_EQ(regs.edx, judged[3]);
    EXPECT_EQ(regs.esi, judged[4]);
    EXPECT_EQ(std::memcmp(judgedRecord.data(), arena.Host(core::Region::kElementRecords), 1024), 0);
    EXPECT_EQ(std::memcmp(judgedTemporaries.data(), arena.Host(core::Region::kTemporaries), 4096), 0);
  }

  core::Arena arena;
  brain::CompilerState compiler;
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

}  // namespace
