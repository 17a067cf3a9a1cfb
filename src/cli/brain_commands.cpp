// vexel brain compile: one brain compiled as a play compiles it, shown as bytes, a listing
// disassembled by Capstone, or JSON for tools that check the code from outside.
#include <capstone/capstone.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "brain/brain.h"
#include "cli/cli.h"
#include "core/core.h"
#include "instructions/instructions.h"
#include "model/model.h"
#include "state/state.h"

namespace cli {

// cli.cpp.
bool ParseTickCount(const char* text, int32_t* ticks);

namespace {

constexpr const char* kBrainUsage =
    "usage: vexel brain compile FILE [--hex] [--listing] [--json]\n"
    "       vexel brain run FILE [--ticks N] [--brains=interp|native]\n";

std::string Hex(const uint8_t* bytes, size_t count) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 15]);
  }
  return text;
}

// Disassembles [from, to) of the code area at its guest addresses, one instruction a line.
void PrintDisassembly(csh handle, const uint8_t* code, uint32_t guestBase, uint32_t from, uint32_t to) {
  cs_insn* insn = nullptr;
  const size_t count = cs_disasm(handle, code + from, to - from, guestBase + from, 0, &insn);
  uint32_t done = from;
  for (size_t i = 0; i < count; ++i) {
    std::printf("    %08llX  %-24s %s %s\n", static_cast<unsigned long long>(insn[i].address),
                Hex(insn[i].bytes, insn[i].size).c_str(), insn[i].mnemonic, insn[i].op_str);
    done = static_cast<uint32_t>(insn[i].address - guestBase) + insn[i].size;
  }
  if (count > 0) cs_free(insn, count);
  if (done < to) std::printf("    %08X  %-24s (data)\n", guestBase + done, Hex(code + done, to - done).c_str());
}

// A box text on one terminal line: its '|'-separated lines each made printable and cut as a box
// cuts them; a line break inside a line is shown as an escape.
std::string PrintableBoxText(const std::string& text) { return core::PrintableText(text, "|"); }

// The brain's lines as the compiler reads them: only CR LF ends a line.
std::vector<std::string> SourceLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// Compiles the brain file as the brain of element 0 of a one-element project, as a play would,
// into a fresh arena. False (with a message on stderr) when the file or the memory is missing; a
// compile error is not a failure here: it is left in *errorBox.
bool CompileOneBrain(const std::string& path, core::Arena* arena, model::Project* project, brain::CompilerState* state,
                     std::string* errorBox) {
  if (!core::FileExists(path)) {
    std::fprintf(stderr, "vexel: %s: cannot read the brain file\n", path.c_str());
    return false;
  }
  if (!arena->Create()) {
    std::fprintf(stderr, "vexel: cannot allocate the engine's memory\n");
    return false;
  }
  project->records.push_back(model::SetElementField("Brain|" + model::DefaultCameraRecord("./"), 4, path));
  state->showErrorBox = [errorBox](const std::string& text) { *errorBox = text; };
  state->showValueBox = [](const std::string& text) { std::fprintf(stderr, "vexel: %s\n", text.c_str()); };
  if (!brain::BeginCompilation(state, arena)) {
    std::fprintf(stderr, "vexel: the compiler could not start\n");
    return false;
  }
  brain::CompileAllBrains(state, *project);
  return true;
}

}  // namespace

// Runs the brain of element 0 of a one-element project for N ticks and prints its variables in
// declaration order, its timer and the run-time error that ended the run, if any.
int RunBrainFile(int argc, const char* const* argv) {
  const std::string path = argv[1];
  int32_t ticks = 1;
  brain::Backend backend = brain::kDefaultBackend;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--ticks") == 0 && i + 1 < argc) {
      const char* text = argv[++i];
      if (!ParseTickCount(text, &ticks)) {
        std::fprintf(stderr, "vexel: --ticks needs a whole number from 0 to %d, not '%s'\n", INT32_MAX, text);
        return 2;
      }
    } else if (std::strcmp(argv[i], "--brains=interp") == 0) {
      backend = brain::Backend::kInterpreter;
    } else if (std::strcmp(argv[i], "--brains=native") == 0) {
      backend = brain::Backend::kNative;
    } else {
      std::fprintf(stderr, "vexel: unknown option %s\n%s", argv[i], kBrainUsage);
      return 2;
    }
  }
  // The brain runs as a play runs it: in an engine of its own, with the lookup tables of the
  // current folder, every instruction family bound.
  state::Engine engine;
  engine.options.brains = backend;
  engine.play = std::make_unique<state::Play>();
  brain::CompilerState& state = engine.play->compiler;
  model::Project& project = engine.project;
  std::string errorBox;
  if (!CompileOneBrain(path, &engine.arena, &project, &state, &errorBox)) return 1;
  // The tables come from data/ under the current folder when it has one (an authoring folder),
  // else from the folder itself (a finished game). A missing table is named; the instructions that
  // read it read zeros, so brains that need no table still run.
  engine.paths = app::MakeWorkingPaths("./", core::FileExists("data/random.bin") || core::FileExists("runmode.ini"));
  const std::vector<std::string> missing = app::LoadLookupTables(engine.paths.data, &engine.arena);
  for (const std::string& name : missing) {
    std::fprintf(stderr, "vexel: lookup table %s%s missing or short\n", engine.paths.data.c_str(), name.c_str());
  }
  engine.random.table = engine.arena.Host(core::Region::kRandom);
  auto* record = engine.arena.As<int32_t>(core::Region::kElementRecords);
  record[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn | model::kStatusVisible | model::kStatusCollisions);
  if (!errorBox.empty()) {
    std::printf("%s\n", PrintableBoxText(errorBox).c_str());
    return 1;
  }

  brain::BrainRuntime& runtime = engine.play->brains;
  std::string runtimeError;
  runtime.runtimeError = [&](const std::string& text) { runtimeError = text; };
  std::vector<std::string> refused;
  instructions::SetUpBrains(engine, 0, &refused);
  for (const std::string& reason : refused) std::fprintf(stderr, "vexel: interpreted: %s\n", reason.c_str());
  for (int64_t tick = 0; tick < ticks && runtimeError.empty() && engine.play->exitTarget == state::kExitNone; ++tick) {
    app::RunBrainStep(engine);
  }

  // The declarations follow "0|element|0" in the symbol list, up to "*end*".
  const brain::SymbolList& symbols = state.symbols;
  bool inVariables = false;
  for (int e = 0; e < symbols.count; ++e) {
    if (symbols.entries[static_cast<size_t>(e)] == "0|element|0") {
      inVariables = true;
      continue;
    }
    if (!inVariables) continue;
    if (symbols.entries[static_cast<size_t>(e)] == "*end*") break;
    const std::string name(brain::EntryField(symbols, e, 2));
    const long offset = std::strtol(std::string(brain::EntryField(symbols, e, 3)).c_str(), nullptr, 10);
    if (offset < 0 || offset > 1020) continue;
    std::printf("%s = %d\n", name.c_str(), record[offset / 4]);
  }
  std::printf("timer = %d\n", record[model::kWordTimer]);
  if (!runtimeError.empty()) {
    std::printf("runtime error: %s\n", PrintableBoxText(runtimeError).c_str());
    return 1;
  }
  return 0;
}

int BrainCommand(int argc, const char* const* argv) {
  if (argc >= 2 && std::strcmp(argv[0], "run") == 0) return RunBrainFile(argc, argv);
  if (argc < 2 || std::strcmp(argv[0], "compile") != 0) {
    std::fprintf(stderr, "%s", kBrainUsage);
    return 2;
  }
  const std::string path = argv[1];
  bool hex = false, listing = false, json = false;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--hex") == 0) hex = true;
    else if (std::strcmp(argv[i], "--listing") == 0) listing = true;
    else if (std::strcmp(argv[i], "--json") == 0) json = true;
    else {
      std::fprintf(stderr, "vexel: unknown option %s\n%s", argv[i], kBrainUsage);
      return 2;
    }
  }
  std::string source;
  if (!core::ReadFile(path, &source)) {
    std::fprintf(stderr, "vexel: %s: cannot read the brain file\n", path.c_str());
    return 1;
  }

  core::Arena arena;
  model::Project project;
  brain::CompilerState state;
  std::string errorBox;
  if (!CompileOneBrain(path, &arena, &project, &state, &errorBox)) return 1;
  const auto* record = arena.As<int32_t>(core::Region::kElementRecords);
  const uint32_t entry = static_cast<uint32_t>(record[model::kWordBrainEntry]);
  const uint32_t codeBase = arena.Address(core::Region::kCodeArea);
  const uint32_t start = entry >= codeBase ? entry - codeBase : 0;
  const uint32_t end = state.code.position;
  const uint8_t* code = arena.Host(core::Region::kCodeArea);

  if (json) {
    const uint8_t* pool = arena.GuestToHost(state.literalStart, state.literalEnd - state.literalStart);
    std::printf("{\"error\": %s, \"code_address\": %u, \"code\": \"%s\", \"temporaries_address\": %u, "
                "\"literal_pool_address\": %u, \"literal_pool\": \"%s\", \"record_address\": %u, \"routines\": {",
                core::JsonString(errorBox).c_str(), entry, Hex(code + start, end - start).c_str(),
                arena.Address(core::Region::kTemporaries), state.literalStart,
                pool != nullptr ? Hex(pool, state.literalEnd - state.literalStart).c_str() : "",
                arena.Address(core::Region::kElementRecords));
    for (int row = 0; row < brain::kInstructionRowCount; ++row) {
      std::printf("%s%s: %u", row == 0 ? "" : ", ", core::JsonString(std::string(brain::InstructionRowAt(row)->name)).c_str(),
                  brain::RoutineAddress(row));
    }
    std::printf("}}\n");
    return errorBox.empty() ? 0 : 1;
  }
  if (!errorBox.empty()) {
    std::printf("%s\n", PrintableBoxText(errorBox).c_str());
    return 1;
  }
  if (hex) std::printf("%s\n", Hex(code + start, end - start).c_str());
  if (listing) {
    csh handle = 0;
    if (cs_open(CS_ARCH_X86, CS_MODE_32, &handle) != CS_ERR_OK) {
      std::fprintf(stderr, "vexel: the disassembler could not start\n");
      return 1;
    }
    // Each source line, then the code it compiled to; the brain's closing return comes last.
    const std::vector<std::string> lines = SourceLines(source);
    const auto& starts = state.lineStarts;
    for (size_t i = 0; i < starts.size(); ++i) {
      const uint32_t from = starts[i].offset;
      const uint32_t to = i + 1 < starts.size() ? starts[i + 1].offset : end - 1;
      const size_t index = static_cast<size_t>(starts[i].line - 1);
      std::printf("%4d  %s\n", starts[i].line, index < lines.size() ? lines[index].c_str() : "");
      PrintDisassembly(handle, code, codeBase, from, to);
    }
    std::printf("      (end of brain)\n");
    PrintDisassembly(handle, code, codeBase, end - 1, end);
    cs_close(&handle);
  }
  return 0;
}

}  // namespace cli
