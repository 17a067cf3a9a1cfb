// Brain expression compiler: statement rewriting, reduction of calls, bracket groups and
// operations to temporaries, operands and the literal pool. Calls the emitter and the symbol list
// through the compiler state.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "brain/compiler.h"

namespace brain {

// Internal codes of the rewritten text; none of them is written by hand in a brain.
inline constexpr char kUnaryMinus = '\xD1';
inline constexpr char kLessEqualCode = '\xA3';
inline constexpr char kGreaterEqualCode = '$';
inline constexpr char kNotEqualCode = '!';
inline constexpr char kOrCode = '\xF5';
inline constexpr char kXorCode = '\xF8';
inline constexpr char kBackReference = '\\';  // "#-" of element#-N

// The 13 operator characters in reduction order, which is their precedence.
inline constexpr char kOperatorChars[] = {'/', '*', '-', '+', '=', kNotEqualCode, '<', '>',
                                          kLessEqualCode, kGreaterEqualCode, kOrCode, '&', kXorCode};
bool IsOperatorChar(char c);

// Rewrites a line's parsing text: word operators to codes, blanks removed, unary minus marked,
// two-character comparisons to codes. False with "Brackets nesting error!" when round and square
// brackets do not balance or cross.
bool RewriteStatement(CompilerState* state, std::string_view parsing, std::string* out);

struct Operand {
  int kind = kOperandConstant;
  int32_t value = 0;
  bool negated = false;
};

// Emits code that leaves the value of the rewritten expression in EAX.
bool CompileExpression(CompilerState* state, std::string_view text);
// Classifies one operand and sets the compile status to its kind; false (status failed, message
// set) when it is not recognised. In the editor mode anything but a constant, element reference or
// string becomes the constant 0.
bool ParseOperand(CompilerState* state, std::string_view text, Operand* operand);
// name(arguments): checks the count, loads the arguments, emits the call. Result in EAX.
bool CompileCall(CompilerState* state, std::string_view text);
// Loads up to five single-operand arguments into EAX, EBX, ECX, EDX, ESI.
bool LoadArguments(CompilerState* state, std::string_view arguments, int count);
// left operator right, with the left operand loaded into EAX first. Result in EAX.
bool CompileOperation(CompilerState* state, std::string_view text);
// Stores EAX into the next temporary and gives its name "@k". False past the 1024th.
bool NewTemporary(CompilerState* state, std::string* name);

}  // namespace brain
