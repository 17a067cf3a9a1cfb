// Faults of brain code: the one list of run-time faults and translation failures with their
// texts, shared by the interpreter, the native translator and the brain step. Private to src/brain; calls only
// the C library.
#pragma once

#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <type_traits>

// X(name, printf format). The texts reach players in the run-time error box and tests compare them
// byte for byte, so both backends must produce exactly these. "code" is always the guest address
// of the instruction that faulted.
#define VEXEL_BRAIN_FAULTS(X)                                                                              \
  /* address, code */                                                                                     \
  X(kReadOutside, "Brain read outside the engine's memory at 0x%08" PRIX32 " (code 0x%08" PRIX32 ")")     \
  X(kWriteOutside, "Brain wrote outside the engine's memory at 0x%08" PRIX32 " (code 0x%08" PRIX32 ")")   \
  /* code */                                                                                              \
  X(kDivideByZero, "Brain divided by zero (code 0x%08" PRIX32 ")")                                        \
  /* dividend (EDX:EAX), divisor, code */                                                                 \
  X(kDivideOverflow,                                                                                      \
    "Brain division overflows: %" PRId64 " / %" PRId32 " does not fit 32 bits (code 0x%08" PRIX32 ")")     \
  /* the run's backward jump budget, code */                                                              \
  X(kNeverEnds, "Brain never ends: more than %" PRIu32 " backward jumps in one run (code 0x%08" PRIX32 ")") \
  /* call target, code */                                                                                 \
  X(kNotRoutine, "Brain called 0x%08" PRIX32 ", which is not an instruction routine (code 0x%08" PRIX32 ")") \
  /* code: the jump target, or the instruction cut off by the area's end */                               \
  X(kRanOutside, "Brain code ran outside the code area at 0x%08" PRIX32)                                  \
  /* routine, code; only when the routine gave no text of its own */                                      \
  X(kRoutineFailed, "Instruction routine at 0x%08" PRIX32 " failed (code 0x%08" PRIX32 ")")               \
  /* the bytes in hex, code */                                                                            \
  X(kUnknownCode, "Unknown brain code %s at 0x%08" PRIX32)                                                \
  X(kCodeAreaNotReady, "Brain code area is not ready")                                                    \
  /* entry; from the native backend only, as are the rest */                                              \
  X(kNotTranslated, "Brain code at 0x%08" PRIX32 " is not translated")                                    \
  /* code */                                                                                              \
  X(kNoNativeTranslation, "Brain code at 0x%08" PRIX32 " has no native translation")                      \
  X(kOverlaps, "Brain code at 0x%08" PRIX32 " overlaps another instruction")                              \
  /* the assembler's own text */                                                                          \
  X(kTranslationFailed, "Brain translation failed: %s")                                                   \
  /* a native exit that recorded no fault; never expected */                                              \
  X(kNoReason, "Brain stopped without a reason")                                                          \
  /* from the brain step: a call whose stub the runner does not know, a brain run for an address */        \
  /* that is no element record, execute nested too deep (the limit) */                                     \
  X(kNotAnInstruction, "Brain called an address that is not an instruction")                            \
  X(kNotAnElement, "Brain run for an address that is not an element")                                    \
  X(kExecuteTooDeep, "Brains execute each other more than %d deep")

namespace brain {

enum class Fault : uint8_t {
#define VEXEL_BRAIN_FAULT_ENUM(name, format) name,
  VEXEL_BRAIN_FAULTS(VEXEL_BRAIN_FAULT_ENUM)
#undef VEXEL_BRAIN_FAULT_ENUM
};

inline constexpr const char* kFaultFormats[] = {
#define VEXEL_BRAIN_FAULT_FORMAT(name, format) format,
    VEXEL_BRAIN_FAULTS(VEXEL_BRAIN_FAULT_FORMAT)
#undef VEXEL_BRAIN_FAULT_FORMAT
};

namespace fault_detail {

// printf's own format checking cannot see a format picked from a table, so FaultText checks the
// argument types against the conversions itself, at compile time. Classes: 'i' int, 'u' unsigned,
// 'l' long, 'm' unsigned long, 'L' long long, 'M' unsigned long long, 's' C string.
template <typename T>
consteval char ClassOf() {
  using U = std::decay_t<T>;
  if constexpr (std::is_same_v<U, int>) return 'i';
  if constexpr (std::is_same_v<U, unsigned>) return 'u';
  if constexpr (std::is_same_v<U, long>) return 'l';
  if constexpr (std::is_same_v<U, unsigned long>) return 'm';
  if constexpr (std::is_same_v<U, long long>) return 'L';
  if constexpr (std::is_same_v<U, unsigned long long>) return 'M';
  if constexpr (std::is_same_v<U, const char*> || std::is_same_v<U, char*>) return 's';
  return 0;
}

// Whether `format` takes exactly arguments of the classes `given`, in order. Knows the flags,
// widths and conversions the fault texts use; anything else fails the check.
consteval bool Takes(const char* format, std::initializer_list<char> given) {
  const char* next = given.begin();
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') continue;
    if (*++p == '%') continue;
    while (*p == '0' || *p == '-' || *p == '+' || *p == ' ' || *p == '#') ++p;
    while (*p >= '0' && *p <= '9') ++p;
    int longs = 0;
    while (*p == 'l') ++longs, ++p;
    char wanted;
    if (*p == 'd' || *p == 'i') {
      wanted = "ilL"[longs > 2 ? 2 : longs];
    } else if (*p == 'u' || *p == 'x' || *p == 'X') {
      wanted = "umM"[longs > 2 ? 2 : longs];
    } else if (*p == 's' && longs == 0) {
      wanted = 's';
    } else {
      return false;
    }
    if (longs > 2 || next == given.end() || *next++ != wanted) return false;
  }
  return next == given.end();
}

std::string Format(const char* format, ...);

}  // namespace fault_detail

// The text of fault kFault with its arguments, in the order its format names them (see the list
// above). Argument types must match the format exactly; a mismatch does not compile.
template <Fault kFault, typename... Args>
std::string FaultText(Args... args) {
  constexpr const char* format = kFaultFormats[static_cast<size_t>(kFault)];
  static_assert(fault_detail::Takes(format, {fault_detail::ClassOf<Args>()...}),
                "the arguments do not match the fault's format");
  return fault_detail::Format(format, args...);
}

}  // namespace brain
