// Arithmetic instructions: pure functions of their 32-bit arguments, except `random` (the engine's
// random source) and `every_tics` (the play's tick counter). Calls core (Wrap, RandomSource), the
// motion family's angle rules and the current engine.
//
// | Instruction            | Arguments          | Result                                                   |
// |------------------------|--------------------|----------------------------------------------------------|
// | sum, subtract,         | a, b               | a + b, a - b, a * b: the low 32 bits                     |
// | multiply               |                    |                                                          |
// | divide                 | a, b               | a / b, truncating; 2147483647 when b is 0;               |
// |                        |                    | -2147483648 / -1 is -2147483648 (the 32-bit negation)    |
// | absolute_value (abs)   | a                  | |a|; -2147483648 stays -2147483648                       |
// | factor_512             | a, b               | (a * b, low 32 bits) >> 9, arithmetic; 0 when that       |
// |                        |                    | product is 4294966784 or more as an unsigned word        |
// | sqrt_512               | a                  | round(sqrt(a) * 512); 0 for a negative a                 |
// | sin_512, cos_512,      | angle              | round(512 * sin, cos or tan of the folded angle          |
// | tan_512                |                    | (WrapAngle) at 29335 units per radian)                   |
// | atan_512               | ratio              | round(atan2(ratio, 512) * 29335): the angle whose        |
// |                        |                    | tangent is ratio / 512                                   |
// | limit                  | v, lo, hi          | lo when v < lo, else hi when v >= hi, else v             |
// | wrap                   | v, lo, hi          | the value from lo to hi equal to v modulo hi - lo + 1;   |
// |                        |                    | hi when lo >= hi                                         |
// | between                | v, lo, hi          | -1 when lo <= v <= hi, else 0                            |
// | interpolate            | x, x0, x1, y0, y1  | y0 + (x - x0) * (y1 - y0) / (x1 - x0); 0 when x1 = x0;   |
// |                        |                    | the differences are 32-bit words, the product 64 bits,   |
// |                        |                    | the division truncates; the quotient, then the sum, are  |
// |                        |                    | held to -2147483648..2147483647                          |
// | random                 | a, b               | from min(a, b) to max(a, b) inclusive, from the table    |
// |                        |                    | stream (core::RandomSource); a = b draws nothing         |
// | every_tics             | period, limit      | -1 when tick < limit and tick & (period - 1) is 0, both  |
// |                        |                    | unsigned, else 0. Period is meant to be a power of two;  |
// |                        |                    | any other is taken as the mask period - 1 all the same,  |
// |                        |                    | so period 0 (mask: every bit) answers -1 at tick 0 only  |
//
// Trigonometric results can exceed 32 bits nowhere on the folded angles (tan_512 peaks near
// 2.2e8), but every double is still held to the word range before the conversion.
#include "instructions/arithmetic.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "core/core.h"
#include "instructions/arguments.h"
#include "instructions/motion.h"
#include "state/state.h"

namespace instructions {
namespace {

// Products from here up (as unsigned words: -512..-1) answer 0: the shift would round these
// fractions of a unit down to -1.
constexpr uint32_t kFactorLimit = 4294966784u;

int32_t Word(uint32_t value) { return static_cast<int32_t>(value); }

int32_t Saturate(int64_t value) { return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)); }

// Nearest integer, halves away from zero, held to the word range; NaN is 0. A plain conversion of
// a double outside the range is undefined.
int32_t RoundToWord(double value) {
  if (std::isnan(value)) return 0;
  const double rounded = std::round(value);
  if (rounded >= 2147483647.0) return INT32_MAX;
  if (rounded <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(rounded);
}

double Radians(uint32_t angle) { return WrapAngle(Word(angle)) / kUnitsPerRadian; }

// [SECTION] Instructions

int32_t sum(const brain::Regs& regs) { return AddWrapping(Word(regs.eax), Word(regs.ebx)); }
int32_t subtract(const brain::Regs& regs) { return Word(regs.eax - regs.ebx); }
int32_t multiply(const brain::Regs& regs) { return Word(regs.eax * regs.ebx); }

// The two quotients a 32-bit division cannot give are fixed answers here: no divisor ends a play.
int32_t divide(const brain::Regs& regs) {
  const int32_t a = Word(regs.eax);
  const int32_t b = Word(regs.ebx);
  if (b == 0) return INT32_MAX;
  if (b == -1) return Word(0u - regs.eax);  // -2147483648 negates to itself
  return a / b;
}

int32_t absolute_value(const brain::Regs& regs) { return Word(regs.eax) < 0 ? Word(0u - regs.eax) : Word(regs.eax); }

int32_t factor_512(const brain::Regs& regs) {
  const uint32_t product = regs.eax * regs.ebx;
  return product >= kFactorLimit ? 0 : Word(product) >> 9;
}

int32_t sqrt_512(const brain::Regs& regs) {
  const int32_t a = Word(regs.eax);
  return a < 0 ? 0 : RoundToWord(std::sqrt(static_cast<double>(a)) * 512.0);
}

int32_t sin_512(const brain::Regs& regs) { return RoundToWord(std::sin(Radians(regs.eax)) * 512.0); }
int32_t cos_512(const brain::Regs& regs) { return Cosine512(Word(regs.eax)); }
int32_t tan_512(const brain::Regs& regs) { return RoundToWord(std::tan(Radians(regs.eax)) * 512.0); }

int32_t atan_512(const brain::Regs& regs) {
  return RoundToWord(std::atan2(static_cast<double>(Word(regs.eax)), 512.0) * kUnitsPerRadian);
}

int32_t limit(const brain::Regs& regs) {
  const int32_t v = Word(regs.eax);
  const int32_t lo = Word(regs.ebx);
  const int32_t hi = Word(regs.ecx);
  if (v < lo) return lo;
  return v >= hi ? hi : v;
}

int32_t wrap(const brain::Regs& regs) { return core::Wrap(Word(regs.eax), Word(regs.ebx), Word(regs.ecx)); }

int32_t between(const brain::Regs& regs) {
  const int32_t v = Word(regs.eax);
  return Word(regs.ebx) <= v && v <= Word(regs.ecx) ? -1 : 0;
}

// The differences are 32-bit words, like all argument arithmetic here, and their product is exact
// in 64 bits. A quotient past 32 bits, and a sum with y0 past them, are held at the nearer end of
// the range rather than faulting or wrapping round to the other sign.
int32_t interpolate(const brain::Regs& regs) {
  const int32_t run = Word(regs.ecx - regs.ebx);
  if (run == 0) return 0;
  const int64_t product = int64_t{Word(regs.eax - regs.ebx)} * Word(regs.esi - regs.edx);
  return Saturate(int64_t{Word(regs.edx)} + Saturate(product / run));
}

int32_t random(const brain::Regs& regs) { return state::Current().random.Random(Word(regs.eax), Word(regs.ebx)); }

int32_t every_tics(const brain::Regs& regs) {
  const state::Engine& engine = state::Current();
  const uint32_t tick = engine.play ? static_cast<uint32_t>(engine.play->brains.tickCounter) : 0u;
  return tick < regs.ebx && (tick & (regs.eax - 1u)) == 0 ? -1 : 0;
}

// The routine of a body that computes EAX from the argument registers.
template <int32_t (*kBody)(const brain::Regs&)>
bool Value(brain::Regs* regs, std::string*) {
  regs->eax = static_cast<uint32_t>(kBody(*regs));
  return true;
}

constexpr brain::RoutineEntry kArithmeticRoutines[] = {
    {"sum", Value<sum>},
    {"subtract", Value<subtract>},
    {"multiply", Value<multiply>},
    {"divide", Value<divide>},
    {"absolute_value", Value<absolute_value>},  // also abs
    {"factor_512", Value<factor_512>},
    {"sqrt_512", Value<sqrt_512>},
    {"sin_512", Value<sin_512>},
    {"cos_512", Value<cos_512>},
    {"tan_512", Value<tan_512>},
    {"atan_512", Value<atan_512>},
    {"limit", Value<limit>},
    {"wrap", Value<wrap>},
    {"between", Value<between>},
    {"interpolate", Value<interpolate>},
    {"random", Value<random>},
    {"every_tics", Value<every_tics>},
};

}  // namespace

std::span<const brain::RoutineEntry> ArithmeticRoutines() { return kArithmeticRoutines; }

}  // namespace instructions
