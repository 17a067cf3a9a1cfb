// Brain source text: line reading, comment and literal handling, statement kinds, declarations
// and label names. Calls the symbol list, core/files and the model's file unscrambling.
#include "brain/source.h"

#include <string>

#include "core/core.h"
#include "model/model.h"

namespace brain {
namespace {

// Codes of parameter declarations, four characters each, numbered 1..6 in this order.
constexpr std::string_view kUserCodes[] = {"ele ", "int ", "met ", "deg ", "vel ", "spi "};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string FoldText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Fold(c);
  return out;
}

// Comment removal and trimming, the part of the line treatment the declaration pre-pass shares.
std::string_view StripLine(std::string_view raw) {
  const size_t semicolon = raw.find(';');
  if (semicolon != std::string_view::npos) raw = raw.substr(0, semicolon);
  return Trim(raw);
}

}  // namespace

bool NextLine(std::string_view text, size_t* position, std::string_view* line) {
  return core::NextLine(text, position, line);
}

void PrepareLine(std::string_view raw, int number, SourceLine* line) {
  line->number = number;
  line->literal = std::string(StripLine(raw));
  line->parsing = line->literal;
  // Only characters between a pair of quotes are hidden; a lone quote hides nothing.
  size_t open = line->parsing.find('"');
  while (open != std::string::npos) {
    const size_t close = line->parsing.find('"', open + 1);
    if (close == std::string::npos) break;
    for (size_t i = open + 1; i < close; ++i) line->parsing[i] = '.';
    open = line->parsing.find('"', close + 1);
  }
  for (char& c : line->parsing) c = c == '\t' ? ' ' : Fold(c);
}

std::string ErrorContext(const SourceLine& line) {
  return line.parsing + " (" + std::to_string(line.number) + ")|";
}

int DeclarationKind(std::string_view text) {
  if (text.starts_with("var ")) return kKindVar;
  if (!text.starts_with("user")) return kNoDeclaration;
  const std::string_view code = text.substr(4, 4);
  for (int i = 0; i < 6; ++i) {
    if (code == kUserCodes[i]) return i + 1;
  }
  return kUnknownUserKind;
}

LineKind ClassifyLine(std::string_view parsing) {
  if (parsing.empty()) return LineKind::kEmpty;
  const int kind = DeclarationKind(parsing);
  if (kind >= 0) return LineKind::kDeclaration;
  if (kind == kUnknownUserKind) return LineKind::kBadDeclaration;
  if (parsing.starts_with("goto ")) return LineKind::kJump;
  if (parsing.ends_with(":")) return LineKind::kLabel;
  if (parsing.ends_with(") editor")) return LineKind::kEditorTagged;
  return LineKind::kStatement;
}

std::string ParseDeclaration(std::string_view parsing) {
  const int kind = DeclarationKind(parsing);
  if (kind < 0) return {};
  std::string_view rest = parsing.substr(kind == kKindVar ? 4 : 8);
  const size_t equals = rest.find('=');
  if (equals != std::string_view::npos) rest = rest.substr(0, equals);
  return std::to_string(kind) + "|" + std::string(Trim(rest));
}

int CollectDeclarations(std::string_view text, SymbolList* list) {
  BeginVariables(list);
  size_t position = 0;
  std::string_view raw;
  int count = 0;
  while (count <= kMaxVariables && NextLine(text, &position, &raw)) {
    const std::string folded = FoldText(StripLine(raw));
    const std::string declaration = ParseDeclaration(folded);
    if (declaration.empty()) continue;
    ++count;
    const size_t bar = declaration.find('|');
    // The 128th declaration is only counted: it has no word of its own, and the compiler refuses
    // the brain on seeing the count.
    if (count <= kMaxVariables) {
      AddVariable(list, declaration[0] - '0', std::string_view(declaration).substr(bar + 1),
                  kFirstVariableOffset - 4 * (count - 1));
    }
  }
  EndVariables(list);
  return 1 + count;
}

bool PadLabel(std::string_view name, std::string* padded) {
  if (name.size() > kLabelLength) return false;
  *padded = std::string(name);
  padded->resize(kLabelLength, ' ');
  return true;
}

std::string StripEditorTag(std::string_view text) {
  constexpr std::string_view kTag = ") editor";
  std::string out;
  size_t start = 0;
  for (size_t at = text.find(kTag); at != std::string_view::npos; at = text.find(kTag, start)) {
    out.append(text.substr(start, at - start));
    out.push_back(')');
    start = at + kTag.size();
  }
  out.append(text.substr(start));
  return out;
}

bool ReadBrainText(const std::string& path, bool scrambled, std::string* text) {
  if (!core::ReadFile(path, text)) return false;
  if (scrambled) model::UnscrambleBytes(text);
  return true;
}

}  // namespace brain
