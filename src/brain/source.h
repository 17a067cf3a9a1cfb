// Brain source text: line reading, comment and literal handling, statement kinds, declarations
// and label names. Calls the symbol list, core/files and the model's file unscrambling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "brain/symbols.h"

namespace brain {

inline constexpr size_t kMaxLineLength = 2044;  // the compiler's working text
inline constexpr int kMaxVariables = 127;       // words 129..255 of the state record
inline constexpr int kFirstVariableOffset = 1020;
inline constexpr int kMaxLabels = 102;          // 20-byte records after a count in 2048 bytes
inline constexpr size_t kLabelLength = 16;

// Declaration kinds as the compiler numbers them: "var " is 0, the "user" codes 1..6.
inline constexpr int kKindVar = 0;
inline constexpr int kNoDeclaration = -1;
inline constexpr int kUnknownUserKind = -2;  // "user" not followed by a known code

// Next line of a brain text from *position, which moves past it. Only CR LF ends a line (a lone
// LF is part of the line); the last line may end at the end of the text. False at the end.
bool NextLine(std::string_view text, size_t* position, std::string_view* line);

// One line after the treatment every line gets before it is classified.
struct SourceLine {
  int number = 0;         // from 1, counting every line
  std::string literal;    // comment removed, trimmed, letter case kept: string literals come from here
  std::string parsing;    // literal with quoted characters as '.', tabs as blanks, A-Z folded
};

// Fills *line from a raw line: cut at the first ';' (quotes do not protect it), trim blanks and
// tabs, then build the parsing text.
void PrepareLine(std::string_view raw, int number, SourceLine* line);

// "parsing (number)|": put in front of a compile error raised on the line.
std::string ErrorContext(const SourceLine& line);

// Statement kinds decided on the parsing text alone, in the order they are tested. Whatever is
// not one of these is told apart after the expression rewriting (if, else, endif, assignment,
// expression statement).
enum class LineKind : uint8_t {
  kEmpty,
  kDeclaration,
  kBadDeclaration,  // "user" without a known kind code: declares nothing, so it is an error
  kJump,
  kLabel,
  kEditorTagged,
  kStatement,
};
LineKind ClassifyLine(std::string_view parsing);

// Kind of a declaration line (kKindVar, 1..6), kNoDeclaration, or kUnknownUserKind.
int DeclarationKind(std::string_view text);
// "kind|name" for a declaration line (kind 0 for "var "), the empty text otherwise.
std::string ParseDeclaration(std::string_view parsing);

// The declaration pre-pass over a whole brain text: after BeginVariables, one "kind|name|offset"
// entry per declaration (offsets 1020, 1016, ...), stopping after the 128th, then "*end*".
// Returns 1 + the number of declarations read, so more than kMaxVariables + 1 means too many.
int CollectDeclarations(std::string_view text, SymbolList* list);

// A label name padded with blanks to 16 characters; false (nothing written) when it is longer.
bool PadLabel(std::string_view name, std::string* padded);

// The line with every ") editor" replaced by ")".
std::string StripEditorTag(std::string_view text);

// Reads a brain file. A finished game stores its working copies scrambled; `scrambled` undoes
// that on the copy in memory, leaving the file as it is. False when the file cannot be read.
bool ReadBrainText(const std::string& path, bool scrambled, std::string* text);

}  // namespace brain
