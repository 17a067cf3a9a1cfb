// Capstone, an independent x86 reader, must decode every compiled brain into exactly the
// instructions the code tables name, with no stray bytes except the 11 bytes a resolved goto
// leaves after its jump; and the vexel brain command must report what the compiler made.
#include <capstone/capstone.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "brain/compiler.h"
#include "core/core.h"
#include "support/run_program.h"

namespace {

class Disassembly : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(arena.Create());
    ASSERT_TRUE(brain::BeginCompilation(&state, &arena));
    ASSERT_EQ(cs_open(CS_ARCH_X86, CS_MODE_32, &handle), CS_ERR_OK);
  }
  void TearDown() override { cs_close(&handle); }

  // Compiles the text and returns the mnemonics of the whole brain, skipping the tail of each
  // goto placeholder; fails the test on any byte Capstone cannot place.
  std::vector<std::string> Mnemonics(const std::string& text) {
    state.code.position = 0;
    brain::CompileBrainText(&state, text);
    EXPECT_TRUE(state.error.empty()) << state.error;
    brain::ResolveLabels(&state, 0, state.code.position);
    std::vector<uint32_t> placeholderTails;
    for (const brain::GotoSite& site : state.gotos) placeholderTails.push_back(site.offset + 5);

    std::vector<std::string> names;
    const uint8_t* code = arena.Host(core::Region::kCodeArea);
    const uint32_t base = arena.Address(core::Region::kCodeArea);
    uint32_t at = 0;
    while (at < state.code.position) {
      if (std::find(placeholderTails.begin(), placeholderTails.end(), at) != placeholderTails.end()) {
        at += 11;
        continue;
      }
      cs_insn* insn = nullptr;
      const size_t count = cs_disasm(handle, code + at, state.code.position - at, base + at, 1, &insn);
      if (count != 1) {
        ADD_FAILURE() << "undecodable byte at offset " << at;
        break;
      }
      names.push_back(insn[0].mnemonic);
      at += insn[0].size;
      cs_free(insn, count);
    }
    return names;
  }

  core::Arena arena;
  brain::CompilerState state;
  csh handle = 0;
};

using Names = std::vector<std::string>;

TEST_F(Disassembly, ArithmeticComparisonAndConditionalBlock) {
  EXPECT_EQ(Mnemonics("var a\r\na = 3 + 4\r\nif a > 5\r\na = a * 2\r\nelse\r\na = a - 1\r\nendif\r\n"),
            (Names{"mov", "add", "mov", "mov",                                   // a = 3 + 4
                   "mov", "mov", "mov", "cmp", "jg", "xor", "mov", "cmp", "je",  // if a > 5
                   "mov", "imul", "mov", "mov",                                  // a = a * 2
                   "jmp",                                                        // else
                   "mov", "sub", "mov", "mov",                                   // a = a - 1
                   "ret"}));
}

TEST_F(Disassembly, CallsAndJumps) {
  const Names names = Mnemonics("var a\r\ntop:\r\na = abs(a - 9)\r\ngoto top\r\n");
  ASSERT_FALSE(names.empty());
  EXPECT_NE(std::find(names.begin(), names.end(), "call"), names.end());
  EXPECT_EQ(names[names.size() - 2], "jmp");  // the goto, its placeholder tail skipped
  EXPECT_EQ(names.back(), "ret");
}

TEST(BrainCommand, CompileReportsBytesErrorsAndJson) {
  testing_support::TempFolder folder;
  ASSERT_TRUE(testing_support::WriteText(folder / "ok.brn", "var a\r\na = 3 + 4\r\n"));
  ASSERT_TRUE(testing_support::WriteText(folder / "bad.brn", "var a\r\nb = 1\r\n"));
  auto run = [&](std::vector<std::string> args) {
    return testing_support::RunProgram(VEXEL_VEXEL_BINARY, args, folder.path());
  };
  auto hex = run({"brain", "compile", "ok.brn", "--hex"});
  EXPECT_EQ(hex.exitCode, 0) << hex.err;
  EXPECT_EQ(hex.out.substr(0, 20), "B8030000000504000000");  // mov eax, 3 / add eax, 4
  EXPECT_EQ(hex.out.substr(hex.out.size() - 3), "C3\n");

  auto listing = run({"brain", "compile", "ok.brn", "--listing"});
  EXPECT_EQ(listing.exitCode, 0) << listing.err;
  EXPECT_NE(listing.out.find("   2  a = 3 + 4\n"), std::string::npos) << listing.out;
  EXPECT_NE(listing.out.find("mov eax, 3"), std::string::npos) << listing.out;

  auto json = run({"brain", "compile", "ok.brn", "--json"});
  EXPECT_EQ(json.exitCode, 0) << json.err;
  EXPECT_EQ(json.out.find("{\"error\": \"\", \"code_address\": "), 0u) << json.out;
  EXPECT_NE(json.out.find("\"abs\": "), std::string::npos);
  EXPECT_NE(json.out.find("\"record_address\": 4194304"), std::string::npos) << json.out;

  auto bad = run({"brain", "compile", "bad.brn"});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_NE(bad.out.find("brain ERROR!|"), std::string::npos) << bad.out;
  EXPECT_EQ(run({"brain", "compile", "missing.brn"}).exitCode, 1);
  EXPECT_EQ(run({"brain", "link", "ok.brn"}).exitCode, 2);
}

TEST(BrainCommand, RunPrintsVariablesTimerAndTheFaultWithItsLine) {
  testing_support::TempFolder folder;
  ASSERT_TRUE(testing_support::WriteText(folder / "r.brn", "var a\r\nvar b\r\na = a + 2\r\nb = 100 / [a - 6]\r\n"));
  for (const char* backend : {"--brains=interp", "--brains=native"}) {
    const auto run = testing_support::RunProgram(VEXEL_VEXEL_BINARY, {"brain", "run", "r.brn", "--ticks", "5", backend},
                                                 folder.path());
    EXPECT_EQ(run.exitCode, 1);
    // The native backend translated the brain; the bare folder has no lookup tables, and says so.
    EXPECT_EQ(run.err.find("interpreted"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("vexel: lookup table ./random.bin missing or short\n"), std::string::npos) << run.err;
    // Ticks 1 and 2 run (b = 100 / -4, then 100 / -2); the third divides by zero on line 4.
    EXPECT_EQ(run.out,
              "a = 6\nb = -50\ntimer = 2\nruntime error: Brain divided by zero (code 0x0090C038)|Element 'Brain', "
              "brain line 4\n")
        << backend;
  }

  ASSERT_TRUE(testing_support::WriteText(folder / "ok.brn", "var n\r\nn = n + 1\r\n"));
  const auto ok = testing_support::RunProgram(VEXEL_VEXEL_BINARY, {"brain", "run", "ok.brn", "--ticks", "30"},
                                              folder.path());
  EXPECT_EQ(ok.exitCode, 0) << ok.err;
  EXPECT_EQ(ok.out, "n = 30\ntimer = 30\n");
}

TEST(BrainCommand, RunTakesAnyTickCountOfThe32BitRange) {
  testing_support::TempFolder folder;
  // The brain ends its run on the third tick, so a huge count costs nothing.
  ASSERT_TRUE(testing_support::WriteText(folder / "e.brn", "var a\r\na = a + 1\r\nif a = 3\r\nexit(2)\r\nendif\r\n"));
  auto run = [&](const char* ticks) {
    return testing_support::RunProgram(VEXEL_VEXEL_BINARY, {"brain", "run", "e.brn", "--ticks", ticks}, folder.path());
  };
  for (const char* ticks : {"2000000000", "2147483647"}) {
    const auto r = run(ticks);
    EXPECT_EQ(r.exitCode, 0) << ticks << r.err;
    EXPECT_EQ(r.out, "a = 3\ntimer = 3\n") << ticks;
  }
  EXPECT_EQ(run("0").out, "a = 0\ntimer = 0\n");
  for (const char* ticks : {"2147483648", "-1", "", "1e3", "+5"}) {
    const auto r = run(ticks);
    EXPECT_EQ(r.exitCode, 2) << ticks;
    EXPECT_NE(r.err.find("--ticks needs a whole number from 0 to 2147483647"), std::string::npos) << r.err;
  }
}

TEST(BrainCommand, ErrorsKeepEveryByteOfTheLine) {
  testing_support::TempFolder folder;
  using namespace std::string_literals;
  ASSERT_TRUE(testing_support::WriteText(folder / "nul.brn", "var x\r\nx = 1\0 + zz\x7F\r\n"s));
  auto run = [&](std::vector<std::string> args) {
    return testing_support::RunProgram(VEXEL_VEXEL_BINARY, args, folder.path());
  };
  // The text report shows the NUL and what follows it, on one line.
  auto text = run({"brain", "compile", "nul.brn"});
  EXPECT_EQ(text.exitCode, 1);
  EXPECT_EQ(text.out, "'Brain' brain ERROR!|x = 1\\x00 + zz\\x7F (2)|Unknown symbol '1\\x00'!\n");
  // JSON keeps the text whole, every control byte escaped.
  auto json = run({"brain", "compile", "nul.brn", "--json"});
  EXPECT_EQ(json.exitCode, 1);
  EXPECT_EQ(json.out.rfind("{\"error\": \"'Brain' brain ERROR!|x = 1\\u0000 + zz\\u007f (2)|Unknown symbol '1\\u0000'!\", ", 0),
            0u)
      << json.out.substr(0, 200);

  // A line of a megabyte: the text report cuts it as a box does and goes on with the reason; JSON
  // keeps it whole.
  ASSERT_TRUE(testing_support::WriteText(folder / "long.brn", "var x\r\nx = " + std::string(1 << 20, 'q') + "\r\n"));
  text = run({"brain", "compile", "long.brn"});
  EXPECT_EQ(text.out, "'Brain' brain ERROR!|x = " + std::string(251, 'q') + "...|Line longer than 2044 characters\n");
  json = run({"brain", "compile", "long.brn", "--json"});
  EXPECT_NE(json.out.find("x = " + std::string(1 << 20, 'q') + " (2)|Line longer"), std::string::npos);
}

}  // namespace
