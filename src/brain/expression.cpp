// Brain expression compiler: statement rewriting, reduction of calls, bracket groups and
// operations to temporaries, operands and the literal pool. Calls the emitter and the symbol list
// through the compiler state.
//
// [SECTION] Reductions
// [SECTION] Rewriting
// [SECTION] Operands
// [SECTION] Calls and operations
#include "brain/expression.h"

#include <charconv>
#include <cstring>

#include "brain/instruction_table.h"
#include "model/model.h"

namespace brain {
namespace {

bool IsNameChar(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Every emitter call goes through here: running out of code area ends the brain's compilation.
bool Emitted(CompilerState* state, bool ok) {
  if (!ok && !Failed(*state)) Fail(state, std::string(kCodeAreaFull));
  return ok && !Failed(*state);
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  size_t start = 0;
  for (size_t at = text.find(from); at != std::string_view::npos; at = text.find(from, start)) {
    out.append(text.substr(start, at - start));
    out.append(to);
    start = at + from.size();
  }
  out.append(text.substr(start));
  return out;
}

// Leading decimal digits read modulo 2^32, the way the language reads plain numbers.
uint32_t LeadingDecimal(std::string_view digits) {
  uint32_t value = 0;
  for (char c : digits) {
    if (!IsDigit(c)) break;
    value = value * 10u + static_cast<uint32_t>(c - '0');
  }
  return value;
}

int32_t Wrap(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value))); }

// Operand text as the user wrote it, for messages: the internal codes back in their written form.
std::string Readable(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == kUnaryMinus) out += '-';
    else if (c == kBackReference) out += "#-";
    else if (c == kLessEqualCode) out += "<=";
    else if (c == kOrCode) out += " or ";
    else if (c == kXorCode) out += " xor ";
    else out += c;
  }
  return out;
}

bool UnknownSymbol(CompilerState* state, std::string_view text) {
  Fail(state, "Unknown symbol '" + Readable(text) + "'!");
  return false;
}

Operator OperatorOf(char c) {
  for (size_t i = 0; i < sizeof(kOperatorChars); ++i) {
    if (kOperatorChars[i] == c) return static_cast<Operator>(i);
  }
  return Operator::kAdd;
}

// The string operand: every quoted part of the line's literal text, joined, with "\n" and "\0"
// turned into their bytes, appended to the literal pool with a terminating zero.
bool AddLiteral(CompilerState* state, int32_t* address) {
  std::string text;
  const std::string& literal = state->line.literal;
  size_t open = literal.find('"');
  while (open != std::string::npos) {
    const size_t close = literal.find('"', open + 1);
    if (close == std::string::npos) break;
    for (size_t i = open + 1; i < close; ++i) {
      if (literal[i] == '\\' && i + 1 < close && (literal[i + 1] == 'n' || literal[i + 1] == '0')) {
        text.push_back(literal[i + 1] == 'n' ? '\n' : '\0');
        ++i;
      } else {
        text.push_back(literal[i]);
      }
    }
    open = literal.find('"', close + 1);
  }
  text.push_back('\0');
  const core::RegionInfo& store = core::Describe(core::Region::kStringStore);
  if (state->arena == nullptr || state->stringStoreUsed > store.size || store.size - state->stringStoreUsed < text.size()) {
    Fail(state, "String memory full: no room for the text literal");
    return false;
  }
  std::memcpy(state->arena->Host(core::Region::kStringStore) + state->stringStoreUsed, text.data(), text.size());
  *address = static_cast<int32_t>(state->arena->Address(core::Region::kStringStore) + state->stringStoreUsed);
  state->stringStoreUsed += static_cast<uint32_t>(text.size());
  return true;
}

bool ParseNumber(std::string_view text, int32_t* value) {
  struct Unit {
    std::string_view suffix;
    int64_t multiply;
    int64_t divide;
  };
  // Thousandths (three decimals at most, further ones dropped) times the unit's factor; the
  // thousandths are saturated far below where the 64-bit product could overflow.
  static constexpr Unit kUnits[] = {{"mt", 512, 1}, {"dg", 512, 1000}, {"ms", 17067, 1000}, {"rm", 1024, 10000}};
  for (const Unit& unit : kUnits) {
    if (text.size() > unit.suffix.size() && text.ends_with(unit.suffix)) {
      *value = Wrap(model::ParseThousandths(text.substr(0, text.size() - unit.suffix.size())) * unit.multiply / unit.divide);
      return true;
    }
  }
  if (text.starts_with("0x") && text.size() > 2) {
    uint32_t hex = 0;
    for (char c : text.substr(2)) {
      if (IsDigit(c)) hex = hex * 16u + static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f') hex = hex * 16u + static_cast<uint32_t>(c - 'a' + 10);
      else return false;
    }
    *value = static_cast<int32_t>(hex);
    return true;
  }
  const bool negative = text.front() == '-';
  const std::string_view digits = negative ? text.substr(1) : text;
  if (digits.empty()) return false;
  for (char c : digits) {
    if (!IsDigit(c)) return false;
  }
  const uint32_t magnitude = LeadingDecimal(digits);
  *value = static_cast<int32_t>(negative ? 0u - magnitude : magnitude);
  return true;
}

// `element` alone, element#N (N records further on) or element#-N, whose "#-" the rewriting made
// '\\'. Like every number read here, N is its leading digits; anything after them is ignored.
bool ParseElementReference(CompilerState* state, std::string_view text, std::string_view original, int32_t* value) {
  const std::string_view rest = text.substr(7);
  int64_t count = 0;
  if (rest.empty()) {
    count = 0;
  } else if (rest.front() == '#') {
    count = static_cast<int32_t>(LeadingDecimal(rest.substr(1)));
    if (count == 0) return UnknownSymbol(state, original);
  } else if (rest.front() == kBackReference) {
    count = -static_cast<int64_t>(static_cast<int32_t>(LeadingDecimal(rest.substr(1))));
  } else {
    return UnknownSymbol(state, original);
  }
  *value = Wrap(count * model::kRecordBytes);
  return true;
}

bool ParseOperandStrict(CompilerState* state, std::string_view text, Operand* operand) {
  *operand = Operand{};
  const std::string_view original = text;
  if (text.empty()) return UnknownSymbol(state, original);
  if (text.front() == '"') {
    operand->kind = kOperandString;
    return AddLiteral(state, &operand->value);
  }
  if (text.front() == kUnaryMinus) {
    operand->negated = true;
    text.remove_prefix(1);
    if (text.empty()) return UnknownSymbol(state, original);
  }
  if (text.starts_with("element") && (text.size() == 7 || text[7] != '(')) {
    operand->kind = kOperandElement;
    return ParseElementReference(state, text, original, &operand->value);
  }
  if (text.front() == '@') {
    const std::string_view digits = text.substr(1);
    if (digits.empty() || digits.size() > 4) return UnknownSymbol(state, original);
    for (char c : digits) {
      if (!IsDigit(c)) return UnknownSymbol(state, original);
    }
    const uint32_t slot = LeadingDecimal(digits);
    // Slots past the block would address other buffers.
    if (slot >= static_cast<uint32_t>(kTemporaryCount) || state->arena == nullptr) return UnknownSymbol(state, original);
    operand->kind = kOperandTemporary;
    operand->value = static_cast<int32_t>(state->arena->Address(core::Region::kTemporaries) + 4 * slot);
    return true;
  }
  const bool numeric = IsDigit(text.front()) || (text.size() > 1 && text.front() == '-' && IsDigit(text[1]));
  if (numeric) {
    operand->kind = kOperandConstant;
    if (!ParseNumber(text, &operand->value)) return UnknownSymbol(state, original);
    if (operand->negated) operand->value = static_cast<int32_t>(0u - static_cast<uint32_t>(operand->value));
    return true;
  }
  const int entry = FindVariable(state->symbols, text);
  if (entry < 0) return UnknownSymbol(state, original);
  const std::string_view offset = EntryField(state->symbols, entry, 3);
  int32_t parsed = 0;
  if (std::from_chars(offset.data(), offset.data() + offset.size(), parsed).ec != std::errc()) {
    return UnknownSymbol(state, original);
  }
  operand->kind = kOperandVariable;
  operand->value = parsed;
  return true;
}

// Operand into EAX. A string operand loads its literal's address, so a text can be assigned or
// compared like any other value; an element reference is never negated.
bool LoadAccumulator(CompilerState* state, const Operand& operand) {
  Emitter* e = &state->code;
  switch (operand.kind) {
    case kOperandConstant:
    case kOperandString: return Emitted(state, EmitLoadConstant(e, operand.value));
    case kOperandVariable:
      return Emitted(state, EmitLoadVariable(e, operand.value) && (!operand.negated || EmitNegateAccumulator(e)));
    case kOperandTemporary:
      return Emitted(state, EmitLoadTemporary(e, static_cast<uint32_t>(operand.value)) &&
                                (!operand.negated || EmitNegateAccumulator(e)));
    case kOperandElement: return Emitted(state, EmitLoadElementReference(e, operand.value));
    default: return false;
  }
}

// Compiles a sub-expression and gives the temporary that holds its value. When the compilation
// created no temporary (a single operand), or its value only reached EAX after the last store (a
// negated group), the accumulator is stored to a new one, so the negation is never lost.
bool CompileToTemporary(CompilerState* state, std::string_view text, std::string* name);

// [SECTION] Reductions

// Argument reduction: the first call argument that holds an operator.
bool ReduceArgument(CompilerState* state, std::string* text, bool* reduced) {
  size_t start = 0;
  bool open = false;
  bool marked = false;
  for (size_t i = 0; i < text->size(); ++i) {
    const char c = (*text)[i];
    if (c == '(') {
      open = true;
      marked = false;
      start = i + 1;
    } else if (c == ',' || c == ')') {
      if (open && marked) {
        std::string name;
        if (!CompileToTemporary(state, std::string_view(*text).substr(start, i - start), &name)) return false;
        text->replace(start, i - start, name);
        *reduced = true;
        return true;
      }
      open = c == ',';
      marked = false;
      start = i + 1;
    } else if (open && IsOperatorChar(c)) {
      marked = true;
    }
  }
  return true;
}

// Call reduction: the innermost call, negated when the unary minus stands before its name.
bool ReduceCall(CompilerState* state, std::string* text, bool* reduced) {
  const size_t close = text->find(')');
  if (close == std::string::npos) return true;
  const size_t open = text->rfind('(', close);
  if (open == std::string::npos) return true;
  size_t nameStart = open;
  while (nameStart > 0 && IsNameChar((*text)[nameStart - 1])) --nameStart;
  const bool negated = nameStart > 0 && (*text)[nameStart - 1] == kUnaryMinus;
  if (!CompileCall(state, std::string_view(*text).substr(nameStart, close + 1 - nameStart))) return false;
  if (negated && !Emitted(state, EmitNegateAccumulator(&state->code))) return false;
  std::string name;
  if (!NewTemporary(state, &name)) return false;
  const size_t from = negated ? nameStart - 1 : nameStart;
  text->replace(from, close + 1 - from, name);
  *reduced = true;
  return true;
}

// Bracket reduction: the innermost square-bracket group.
bool ReduceBrackets(CompilerState* state, std::string* text, bool* reduced) {
  const size_t close = text->find(']');
  if (close == std::string::npos) return true;
  const size_t open = text->rfind('[', close);
  if (open == std::string::npos) return true;
  std::string name;
  if (!CompileToTemporary(state, std::string_view(*text).substr(open + 1, close - open - 1), &name)) return false;
  text->replace(open, close + 1 - open, name);
  *reduced = true;
  return true;
}

// Operation reduction: the first occurrence of the highest-ranking operator present.
bool ReduceOperation(CompilerState* state, std::string* text, bool* reduced) {
  for (char op : kOperatorChars) {
    const size_t at = text->find(op);
    if (at == std::string::npos) continue;
    size_t from = at;
    while (from > 0 && !IsOperatorChar((*text)[from - 1])) --from;
    size_t to = at + 1;
    while (to < text->size() && !IsOperatorChar((*text)[to])) ++to;
    if (!CompileOperation(state, std::string_view(*text).substr(from, to - from))) return false;
    std::string name;
    if (!NewTemporary(state, &name)) return false;
    text->replace(from, to - from, name);
    *reduced = true;
    return true;
  }
  return true;
}

// Runs the reductions until none applies; the text left is the final form (a temporary name, a
// negated one, or a single operand when nothing was reduced).
bool Reduce(CompilerState* state, std::string* text, int* count) {
  for (;;) {
    bool reduced = false;
    if (!ReduceArgument(state, text, &reduced)) return false;
    if (!reduced && !ReduceCall(state, text, &reduced)) return false;
    if (!reduced && !ReduceBrackets(state, text, &reduced)) return false;
    if (!reduced && !ReduceOperation(state, text, &reduced)) return false;
    if (!reduced) return true;
    ++*count;
  }
}

bool CompileExpressionText(CompilerState* state, std::string_view source, std::string* left) {
  if (Failed(*state)) return false;
  const uint32_t freeBytes = StringStoreFree(*state);
  if (freeBytes < kLowStringMemory && !state->memoryWarned) {
    state->memoryWarned = true;
    if (state->showValueBox) state->showValueBox(ValueBoxText(freeBytes, "Warning! Expression parser memory low."));
  }
  std::string text(source);
  int count = 0;
  if (!Reduce(state, &text, &count)) return false;
  if (count == 0) {
    Operand operand;
    if (!ParseOperand(state, text, &operand)) return false;
    if (!LoadAccumulator(state, operand)) return false;
  } else if (text.size() > 1 && text.front() == kUnaryMinus && text[1] == '@') {
    if (!Emitted(state, EmitNegateAccumulator(&state->code))) return false;
  }
  *left = text;
  return true;
}

bool CompileToTemporary(CompilerState* state, std::string_view text, std::string* name) {
  const int before = state->temporaryCount;
  std::string left;
  if (!CompileExpressionText(state, text, &left)) return false;
  if (state->temporaryCount > before && left == "@" + std::to_string(state->temporaryCount - 1)) {
    *name = left;
    return true;
  }
  return NewTemporary(state, name);
}

}  // namespace

bool IsOperatorChar(char c) { return std::memchr(kOperatorChars, c, sizeof(kOperatorChars)) != nullptr; }

// [SECTION] Rewriting

bool RewriteStatement(CompilerState* state, std::string_view parsing, std::string* out) {
  std::string text = ReplaceAll(parsing, " and ", "&");
  text = ReplaceAll(text, " or ", std::string(1, kOrCode));
  text = ReplaceAll(text, " xor ", std::string(1, kXorCode));
  std::string packed;
  for (char c : text) {
    if (c != ' ') packed.push_back(c);
  }
  // A minus right after an operator, an opening bracket or a comma negates what follows it.
  static constexpr char kBeforeUnary[] = {'=', '<', '>', '/', '*', '-', '+', kOrCode, '&', kXorCode, '(', '[', ','};
  std::string marked;
  for (size_t i = 0; i < packed.size(); ++i) {
    const char c = packed[i];
    const bool pair = i + 1 < packed.size() && packed[i + 1] == '-';
    if (c == '#' && pair) {
      marked.push_back(kBackReference);
      ++i;
    } else if (pair && std::memchr(kBeforeUnary, c, sizeof(kBeforeUnary)) != nullptr) {
      marked.push_back(c);
      marked.push_back(kUnaryMinus);
      ++i;
    } else {
      marked.push_back(c);
    }
  }
  text = ReplaceAll(marked, "<=", std::string(1, kLessEqualCode));
  text = ReplaceAll(text, "=<", std::string(1, kLessEqualCode));
  text = ReplaceAll(text, ">=", std::string(1, kGreaterEqualCode));
  text = ReplaceAll(text, "=>", std::string(1, kGreaterEqualCode));
  text = ReplaceAll(text, "<>", std::string(1, kNotEqualCode));
  text = ReplaceAll(text, "><", std::string(1, kNotEqualCode));
  std::string stack;
  for (char c : text) {
    if (c == '(' || c == '[') {
      stack.push_back(c);
    } else if (c == ')' || c == ']') {
      if (stack.empty() || stack.back() != (c == ')' ? '(' : '[')) {
        Fail(state, std::string(kBracketsError));
        return false;
      }
      stack.pop_back();
    }
  }
  if (!stack.empty()) {
    Fail(state, std::string(kBracketsError));
    return false;
  }
  *out = std::move(text);
  return true;
}

// [SECTION] Operands

bool ParseOperand(CompilerState* state, std::string_view text, Operand* operand) {
  const bool ok = ParseOperandStrict(state, text, operand);
  if (state->editorMode && (!ok || operand->kind == kOperandVariable || operand->kind == kOperandTemporary)) {
    // The editor runs these calls outside any element's brain: only values that need no record
    // make sense, everything else quietly becomes 0.
    *operand = Operand{};
    state->error.clear();
    state->status = kOperandConstant;
    return true;
  }
  if (ok) state->status = operand->kind;
  return ok;
}

// [SECTION] Calls and operations

bool CompileCall(CompilerState* state, std::string_view text) {
  if (Failed(*state)) return false;
  const size_t open = text.find('(');
  const std::string_view name = TrimBlanks(text.substr(0, open == std::string_view::npos ? text.size() : open));
  std::string arguments;
  if (open != std::string_view::npos) {
    for (char c : text.substr(open + 1)) {
      if (c != ')') arguments.push_back(c);
    }
  }
  int count = 0;
  if (!TrimBlanks(arguments).empty()) {
    count = 1;
    for (char c : arguments) count += c == ',' ? 1 : 0;
  }
  std::string error;
  const int entry = LookupName(state->symbols, name, &error);
  if (entry < 0) {
    Fail(state, error);
    return false;
  }
  int paramCount = 0;
  uint32_t routine = 0;
  if (!EntryParamCount(state->symbols, entry, &paramCount) || !EntryRoutineAddress(state->symbols, entry, &routine)) {
    Fail(state, "Damaged instruction entry for '" + std::string(name) + "'");
    return false;
  }
  if (count != paramCount) {
    Fail(state, "'" + std::string(name) + "' requires " + std::to_string(paramCount) + " parameter(s)!");
    return false;
  }
  if (!LoadArguments(state, arguments, count)) return false;
  if (routine == RoutineAddress(RowOfName("visual_picked"))) state->picking = true;
  return Emitted(state, EmitCall(&state->code, routine));
}

bool LoadArguments(CompilerState* state, std::string_view arguments, int count) {
  Emitter* e = &state->code;
  size_t start = 0;
  for (int position = 1; position <= count && position <= kArgumentRegisters; ++position) {
    const size_t comma = arguments.find(',', start);
    const std::string_view argument =
        TrimBlanks(arguments.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    start = comma == std::string_view::npos ? arguments.size() : comma + 1;
    Operand operand;
    if (!ParseOperand(state, argument, &operand)) {
      Fail(state, "Unknown parameter '" + Readable(argument) + "'!");
      return false;
    }
    bool ok = true;
    switch (operand.kind) {
      case kOperandConstant:
      case kOperandString: ok = EmitArgumentConstant(e, position, operand.value); break;
      case kOperandVariable:
        ok = EmitArgumentVariable(e, position, operand.value) && (!operand.negated || EmitArgumentNegate(e, position));
        break;
      case kOperandTemporary:
        ok = EmitArgumentTemporary(e, position, static_cast<uint32_t>(operand.value)) &&
             (!operand.negated || EmitArgumentNegate(e, position));
        break;
      case kOperandElement: ok = EmitArgumentElementReference(e, position, operand.value); break;
      default: ok = false;
    }
    if (!Emitted(state, ok)) return false;
  }
  return true;
}

bool CompileOperation(CompilerState* state, std::string_view text) {
  if (Failed(*state)) return false;
  for (char op : kOperatorChars) {
    const size_t at = text.find(op);
    if (at == std::string_view::npos || at + 1 >= text.size()) continue;
    Operand left;
    if (!ParseOperand(state, text.substr(0, at), &left) || !LoadAccumulator(state, left)) return false;
    Operand right;
    if (!ParseOperand(state, text.substr(at + 1), &right)) return false;
    if (right.kind == kOperandElement) {
      Fail(state, "Variable 'element' must be left operand");
      return false;
    }
    RightOperand kind = RightOperand::kConstant;
    if (right.kind == kOperandVariable) kind = RightOperand::kVariable;
    if (right.kind == kOperandTemporary) kind = RightOperand::kTemporary;
    return Emitted(state, EmitOperation(&state->code, OperatorOf(op), kind, right.value, right.negated));
  }
  Fail(state, "Variable (or value, or function) expected: " + Readable(text));
  return false;
}

bool NewTemporary(CompilerState* state, std::string* name) {
  if (Failed(*state)) return false;
  if (state->temporaryCount >= kTemporaryCount || state->arena == nullptr) {
    Fail(state, "Statement too complex: it needs more than 1024 temporaries");
    return false;
  }
  const uint32_t address = state->arena->Address(core::Region::kTemporaries) + 4u * static_cast<uint32_t>(state->temporaryCount);
  if (!Emitted(state, EmitStoreTemporary(&state->code, address))) return false;
  *name = "@" + std::to_string(state->temporaryCount);
  ++state->temporaryCount;
  return true;
}

bool CompileExpression(CompilerState* state, std::string_view text) {
  std::string left;
  return CompileExpressionText(state, text, &left);
}

}  // namespace brain
