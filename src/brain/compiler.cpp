// Brain compiler: the statement loop of one brain, labels and jumps, and the compilation of every
// brain of a project into the code area. Calls the source reader, the expression compiler, the
// emitter, the symbol list, the arena and the model.
//
// [SECTION] State
// [SECTION] Labels
// [SECTION] One brain
// [SECTION] All brains
#include "brain/compiler.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "brain/expression.h"
#include "brain/instruction_table.h"
#include "core/core.h"
#include "model/model.h"

namespace brain {
namespace {

// Never a code offset: the if-stack's bottom marker.
constexpr uint32_t kBottomMarker = 0xFFFFFFFFu;

uint8_t* LabelTable(const CompilerState& state) {
  return state.arena == nullptr ? nullptr : state.arena->Host(core::Region::kLabelTable);
}

void SetLabelCount(CompilerState* state, int count) {
  uint8_t* table = LabelTable(*state);
  if (table == nullptr) return;
  const uint32_t value = static_cast<uint32_t>(count);
  std::memcpy(table, &value, 4);
}

// Label errors do not stop the brain: the rest is still compiled, and the last one recorded is
// what the brain fails with.
void Record(CompilerState* state, std::string_view message) { state->error = std::string(message); }

bool PushIf(CompilerState* state, uint32_t entry) {
  if (state->ifDepth >= kIfStackDepth) {
    Fail(state, "If blocks nested too deeply");
    return false;
  }
  state->ifStack[state->ifDepth++] = entry;
  return true;
}

uint32_t PopIf(CompilerState* state) {
  return state->ifDepth == 0 ? kBottomMarker : state->ifStack[--state->ifDepth];
}

// The nesting message is the one error shown without a line context (see CompileBrainText).
void FailNesting(CompilerState* state) { Fail(state, std::string(kNestingError)); }

// Fills the four displacement bytes before `entry` so the jump lands on the emission position.
void CloseJump(CompilerState* state, uint32_t entry) {
  Patch32(&state->code, entry - 4, state->code.position - entry);
}

void CompileStatement(CompilerState* state, std::string_view parsing) {
  std::string text;
  if (!RewriteStatement(state, parsing, &text)) return;
  state->temporaryCount = 0;
  Emitter* e = &state->code;
  if (parsing.starts_with("if ")) {
    uint32_t after = 0;
    if (!CompileExpression(state, std::string_view(text).substr(2))) return;
    if (!EmitConditionTest(e) || !EmitJumpIfZeroPlaceholder(e, &after)) return;
    PushIf(state, after);
    return;
  }
  if (text == "else") {
    uint32_t after = 0;
    if (!EmitJumpPlaceholder(e, &after)) return;
    const uint32_t entry = PopIf(state);
    if (entry == kBottomMarker) return FailNesting(state);
    CloseJump(state, entry);
    PushIf(state, after);
    return;
  }
  if (text == "endif") {
    const uint32_t entry = PopIf(state);
    if (entry == kBottomMarker) return FailNesting(state);
    CloseJump(state, entry);
    return;
  }
  const size_t equals = text.find('=');
  if (equals == std::string::npos || equals + 1 == text.size()) {
    CompileExpression(state, equals == std::string::npos ? std::string_view(text) : std::string_view(text).substr(0, equals));
    return;
  }
  const std::string_view target = std::string_view(text).substr(0, equals);
  std::string_view value = std::string_view(text).substr(equals + 1);
  value = value.substr(0, value.find('='));
  Operand operand;
  if (!ParseOperand(state, target, &operand)) return;
  if (operand.kind != kOperandVariable) {
    // Only a declared variable has a word to store into; anything else must not leave the brain
    // half compiled.
    Fail(state, "'" + std::string(target) + "' can't be assigned: only declared variables can");
    return;
  }
  if (!CompileExpression(state, value)) return;
  EmitStoreVariable(e, operand.value);
}

void CompileLine(CompilerState* state) {
  const std::string& parsing = state->line.parsing;
  switch (ClassifyLine(parsing)) {
    case LineKind::kEmpty:
    case LineKind::kDeclaration: return;
    case LineKind::kBadDeclaration:
      // The configuration counts every "user" line as a parameter; declaring nothing here would
      // shift every later variable's word against it.
      if (!state->editorMode) Fail(state, "Unknown parameter kind after 'user' (expected ele, int, met, deg, vel or spi)");
      return;
    case LineKind::kJump:
      if (!state->editorMode) EmitGoto(state, parsing);
      return;
    case LineKind::kLabel:
      if (!state->editorMode) DefineLabel(state, parsing);
      return;
    case LineKind::kEditorTagged:
      if (state->editorMode) {
        // Editor lines run on their own: a failing one is dropped, the rest still compile.
        CompileCall(state, StripEditorTag(parsing));
        state->status = 0;
        state->error.clear();
      } else {
        CompileStatement(state, StripEditorTag(parsing));
      }
      return;
    case LineKind::kStatement:
      if (!state->editorMode) CompileStatement(state, parsing);
      return;
  }
}

}  // namespace

// [SECTION] State

bool BeginCompilation(CompilerState* state, core::Arena* arena) {
  if (arena == nullptr || !arena->IsReady()) return false;
  state->arena = arena;
  const core::RegionInfo& area = core::Describe(core::Region::kCodeArea);
  state->code = Emitter{};
  state->code.code = arena->Host(core::Region::kCodeArea);
  state->code.guestBase = arena->Address(core::Region::kCodeArea);
  // One byte stays free so a failed brain can always be turned into a plain return.
  state->code.capacity = area.size - 1;
  state->rawTable.assign(kRawTableBytes, 0);
  return WriteRawInstructionTable(state->rawTable.data(), state->rawTable.size());
}

void Fail(CompilerState* state, std::string message) {
  state->error = std::move(message);
  state->status = kStatusFailed;
}

bool Failed(const CompilerState& state) { return state.status == kStatusFailed; }

// [SECTION] Labels

int LabelCount(const CompilerState& state) {
  const uint8_t* table = LabelTable(state);
  if (table == nullptr) return 0;
  uint32_t count = 0;
  std::memcpy(&count, table, 4);
  return static_cast<int>(count);
}

uint32_t StringStoreFree(const CompilerState& state) {
  const uint32_t size = core::Describe(core::Region::kStringStore).size;
  return size > state.stringStoreUsed ? size - state.stringStoreUsed : 0;
}

void EmitGoto(CompilerState* state, std::string_view parsing) {
  std::string padded;
  if (!PadLabel(parsing.substr(5), &padded)) return Record(state, kLabelTooLong);
  const uint32_t offset = state->code.position;
  if (!EmitLabelPlaceholder(&state->code, padded)) return;
  state->gotos.push_back(GotoSite{offset, padded, state->line.number, ErrorContext(state->line)});
}

void DefineLabel(CompilerState* state, std::string_view parsing) {
  std::string padded;
  if (!PadLabel(parsing.substr(0, parsing.size() - 1), &padded)) return Record(state, kLabelTooLong);
  uint8_t* table = LabelTable(*state);
  if (table == nullptr) return;
  const int count = LabelCount(*state);
  for (int i = 0; i < count; ++i) {
    if (std::memcmp(table + 4 + kLabelRecordBytes * i, padded.data(), kLabelLength) == 0) return Record(state, kLabelTwice);
  }
  if (count >= kMaxLabels) return Fail(state, "Too many labels: a brain holds at most 102");
  uint8_t* record = table + 4 + kLabelRecordBytes * count;
  std::memcpy(record, padded.data(), kLabelLength);
  const uint32_t address = state->code.Address();
  std::memcpy(record + kLabelLength, &address, 4);
  SetLabelCount(state, count + 1);
}

void ResolveLabels(CompilerState* state, uint32_t start, uint32_t end) {
  const uint8_t* table = LabelTable(*state);
  if (table == nullptr) return;
  const int count = LabelCount(*state);
  for (const GotoSite& site : state->gotos) {
    if (site.offset < start || site.offset + kLabelLength > end) continue;
    int found = -1;
    for (int i = 0; i < count && found < 0; ++i) {
      if (std::memcmp(table + 4 + kLabelRecordBytes * i, site.name.data(), kLabelLength) == 0) found = i;
    }
    if (found < 0) {
      std::string name = site.name;
      while (!name.empty() && name.back() == ' ') name.pop_back();
      Fail(state, site.context + "Label '" + name + "' is not defined in this brain");
      return;
    }
    uint32_t address = 0;
    std::memcpy(&address, table + 4 + kLabelRecordBytes * found + kLabelLength, 4);
    PatchJump(&state->code, site.offset, address);
  }
}

// [SECTION] One brain

void CompileBrainText(CompilerState* state, std::string_view text) {
  state->error.clear();
  state->status = 0;
  state->ifDepth = 0;
  state->gotos.clear();
  state->lineStarts.clear();
  SetLabelCount(state, 0);
  std::string valueBox;
  LoadInstructionTable(&state->symbols, state->rawTable.data(), state->rawTable.size(), &valueBox);
  if (!valueBox.empty() && state->showValueBox) state->showValueBox(valueBox);
  if (CollectDeclarations(text, &state->symbols) > kMaxVariables + 1) return Fail(state, std::string(kTooManyVariables));

  PushIf(state, kBottomMarker);
  size_t position = 0;
  std::string_view raw;
  bool lineRead = false;
  int number = 0;
  while (NextLine(text, &position, &raw)) {
    PrepareLine(raw, ++number, &state->line);
    lineRead = true;
    state->lineStarts.push_back(LineStart{number, state->code.position});
    if (raw.size() > kMaxLineLength) {
      Fail(state, "Line longer than " + std::to_string(kMaxLineLength) + " characters");
      break;
    }
    CompileLine(state);
    if (state->code.overflow && !Failed(*state)) Fail(state, std::string(kCodeAreaFull));
    if (Failed(*state)) break;
  }
  if (!Failed(*state) && PopIf(state) != kBottomMarker) FailNesting(state);
  EmitReturn(&state->code);
  if (state->code.overflow && state->error.empty()) Fail(state, std::string(kCodeAreaFull));
  if (!state->error.empty() && state->error != kNestingError && lineRead) {
    state->error = ErrorContext(state->line) + state->error;
  }
}

void CompileBrain(CompilerState* state, const std::string& path) {
  std::string text;
  if (!core::FileExists(path) || !ReadBrainText(path, state->playerRun, &text)) {
    const size_t slash = path.find_last_of('/');
    Fail(state, "Brain not found (" + path.substr(slash == std::string::npos ? 0 : slash + 1) + ")!");
    return;
  }
  CompileBrainText(state, text);
  // A finished game's working copies are not left lying around once compiled.
  if (state->playerRun) std::remove(path.c_str());
}

// [SECTION] All brains

uint32_t BrainChecksum(std::string_view bytes) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    sum += static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) | static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 3])) << 24;
  }
  return sum;
}

void CompileAllBrains(CompilerState* state, const model::Project& project) {
  if (state->arena == nullptr) return;
  if (state->rawTable.empty() && !BeginCompilation(state, state->arena)) return;
  const int count = std::min<int>(static_cast<int>(project.records.size()), model::kMaxElements);
  int32_t* records = state->arena->As<int32_t>(core::Region::kElementRecords);

  // Sharing: the checksum finds candidates cheaply, the contents decide, so two different brains
  // whose word sums happen to agree never run each other's code. A missing file never shares.
  struct BrainFile {
    std::string path;
    bool exists = false;
    std::string bytes;
    uint32_t checksum = 0;
  };
  std::vector<BrainFile> files(count);
  std::vector<int> shared(count);
  for (int i = 0; i < count; ++i) {
    files[i].path = model::ElementField(project.records[i], 4);
    files[i].exists = core::FileExists(files[i].path) && core::ReadFile(files[i].path, &files[i].bytes);
    files[i].checksum = files[i].exists ? BrainChecksum(files[i].bytes) : 0;
    shared[i] = i;
    for (int j = 0; j < i && files[i].exists; ++j) {
      if (files[j].exists && files[j].checksum == files[i].checksum && files[j].bytes == files[i].bytes) {
        shared[i] = j;
        break;
      }
    }
  }

  state->picking = false;
  state->memoryWarned = false;
  state->literalStart = state->arena->Address(core::Region::kStringStore) + state->stringStoreUsed;
  state->code.position = 0;
  state->code.overflow = false;
  state->brainStart = 0;
  state->brainLines.clear();
  for (int i = 0; i < count; ++i) {
    int32_t* entry = records + i * model::kRecordWords + model::kWordBrainEntry;
    if (shared[i] != i) {
      *entry = records[shared[i] * model::kRecordWords + model::kWordBrainEntry];
      continue;
    }
    *entry = static_cast<int32_t>(state->code.guestBase + state->brainStart);
    CompileBrain(state, files[i].path);
    if (state->error.empty()) ResolveLabels(state, state->brainStart, state->code.position);
    if (!state->error.empty()) {
      state->brainErrorSeen = true;
      if (state->showErrorBox) {
        state->showErrorBox("'" + model::ElementField(project.records[i], 1) + "' brain ERROR!|" + state->error);
      }
      if (state->playerRun && state->refreshDisplay) state->refreshDisplay();
      state->code.code[state->brainStart] = 0xC3;
      state->code.position = state->brainStart + 1;
      state->code.overflow = false;
    } else {
      state->brainLines.push_back(
          BrainLines{state->code.guestBase + state->brainStart, state->code.Address(), state->lineStarts});
    }
    state->brainStart = state->code.position;
  }
  state->literalEnd = state->arena->Address(core::Region::kStringStore) + state->stringStoreUsed;
  if (state->tickCounter != nullptr) *state->tickCounter = 0;
}

int SourceLineAt(const CompilerState& state, uint32_t codeAddress) {
  for (const BrainLines& brain : state.brainLines) {
    if (codeAddress < brain.start || codeAddress >= brain.end) continue;
    const uint32_t offset = codeAddress - state.code.guestBase;
    int line = 0;
    for (const LineStart& start : brain.lines) {
      if (start.offset > offset) break;
      line = start.line;
    }
    return line;
  }
  return 0;
}

}  // namespace brain
