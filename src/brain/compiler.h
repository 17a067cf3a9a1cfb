// Brain compiler: the compiler state, one brain's statement loop, labels and jumps, and the
// compilation of every brain of a project into the code area. Calls the source reader, the
// expression compiler, the emitter, the symbol list, the arena and the model.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "brain/emit.h"
#include "brain/source.h"
#include "brain/symbols.h"
#include "core/core.h"

namespace model {
struct Project;
}  // namespace model

namespace brain {

inline constexpr int kTemporaryCount = 1024;
inline constexpr int kIfStackDepth = 1024;
inline constexpr uint32_t kLabelRecordBytes = 20;
// Below this many free bytes in the string store the compiler warns once per project compilation.
inline constexpr uint32_t kLowStringMemory = 80000;

// Operand kinds; the compile status holds the kind of the last operand parsed, or kStatusFailed.
inline constexpr int kOperandConstant = 0;
inline constexpr int kOperandVariable = 1;
inline constexpr int kOperandElement = 2;
inline constexpr int kOperandTemporary = 3;
inline constexpr int kOperandString = 4;
inline constexpr int kStatusFailed = -1;

// Message texts users see; tests compare against them.
inline constexpr std::string_view kNestingError = "If...endif nesting error!";
inline constexpr std::string_view kTooManyVariables = "Too many variables defined!";
inline constexpr std::string_view kLabelTooLong = "Labels can't be longer than 16 characters";
inline constexpr std::string_view kLabelTwice = "Label already defined";
inline constexpr std::string_view kBracketsError = "Brackets nesting error!";
inline constexpr std::string_view kCodeAreaFull = "Brain code area full: the project's brains are too large";

// A jump placeholder waiting for its label.
struct GotoSite {
  uint32_t offset = 0;      // code offset of the 16-byte placeholder
  std::string name;         // padded to 16 characters
  int line = 0;
  std::string context;      // error context of the goto's line
};

// Where the code of one source line begins.
struct LineStart {
  int line = 0;         // from 1
  uint32_t offset = 0;  // code offset
};

// The line map of one compiled brain, for naming the line of a run-time fault.
struct BrainLines {
  uint32_t start = 0;  // guest addresses of the brain's code
  uint32_t end = 0;
  std::vector<LineStart> lines;
};

// The whole compiler state, passed explicitly; nothing is kept in statics. The first block is set
// by the owner and kept across compilations; the rest is wiped as each comment says.
struct CompilerState {
  // [Owner] Set before compiling; lives as long as the engine.
  core::Arena* arena = nullptr;
  bool editorMode = false;  // compile only ") editor" lines, each as one call
  bool playerRun = false;   // working copies are scrambled and deleted after compiling
  uint32_t stringStoreUsed = 0;  // bytes of the string store in use; the literal pool grows here
  int32_t* tickCounter = nullptr;  // the play's tick counter, set to 0 after compiling
  std::function<void(const std::string&)> showErrorBox;  // "'name' brain ERROR!|context|message"
  std::function<void(const std::string&)> showValueBox;  // notices in value-box form
  std::function<void()> refreshDisplay;                  // after an error box in a player run

  // [Project] Results of the last CompileAllBrains; wiped when it starts.
  bool picking = false;         // a call of visual_picked was compiled
  bool brainErrorSeen = false;  // cleared by whoever wants to know (the builder); never by us
  uint32_t literalStart = 0;    // guest bounds of the literal pool written by the compilation
  uint32_t literalEnd = 0;
  bool memoryWarned = false;
  std::vector<BrainLines> brainLines;  // every brain compiled without error

  // [Project] The code cursor and the raw instruction table the symbol list is rebuilt from.
  Emitter code;
  std::vector<uint8_t> rawTable;

  // [Brain] Wiped at the start of every brain.
  SymbolList symbols;
  uint32_t brainStart = 0;  // code offset
  std::array<uint32_t, kIfStackDepth> ifStack{};
  int ifDepth = 0;
  std::vector<GotoSite> gotos;
  std::vector<LineStart> lineStarts;  // one per source line, in order
  std::string error;        // empty while the brain compiles cleanly
  int status = 0;

  // [Statement] The line being compiled and its temporaries.
  SourceLine line;
  int temporaryCount = 0;
};

// Prepares the state for compiling into `arena`: the code cursor over the code area and the raw
// instruction table. False when the arena is not ready.
bool BeginCompilation(CompilerState* state, core::Arena* arena);

// Records a compile error: sets the error text and marks the status failed.
void Fail(CompilerState* state, std::string message);
bool Failed(const CompilerState& state);
// Bytes of the string store still free.
uint32_t StringStoreFree(const CompilerState& state);

// Compiles a brain text (already read and unscrambled) at the emission position. Leaves state->error empty on success; on failure it carries the message with its line
// context. Labels are not resolved here.
void CompileBrainText(CompilerState* state, std::string_view text);
// Reads the file (unscrambling it in a player run, then deleting it) and compiles it.
void CompileBrain(CompilerState* state, const std::string& path);

// The label statements of the line being compiled (its parsing text).
void EmitGoto(CompilerState* state, std::string_view parsing);
void DefineLabel(CompilerState* state, std::string_view parsing);
// Patches every jump placeholder of the brain whose code lies in [start, end) (code offsets) into
// E9 rel32 to its label. A jump to a label the brain never defines is a compile error.
void ResolveLabels(CompilerState* state, uint32_t start, uint32_t end);
// Number of labels in the label table.
int LabelCount(const CompilerState& state);

// Compiles the brain of every element of `project` and stores each entry address in word 21 of
// the element's state record in the arena. Elements whose brain files have equal content share one
// compiled copy. A failed brain shows its error box, sets brainErrorSeen and becomes a plain return.
void CompileAllBrains(CompilerState* state, const model::Project& project);

// The source line (from 1) whose code holds the guest address, or 0 when no compiled brain does.
int SourceLineAt(const CompilerState& state, uint32_t codeAddress);

// Sum of the file's little-endian 32-bit words (trailing bytes ignored); 0 for a missing file or
// one shorter than four bytes.
uint32_t BrainChecksum(std::string_view bytes);

}  // namespace brain
