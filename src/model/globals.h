// The global variables shared by every brain of a game: their count and the text form that
// brains save and load and that the test play reads back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace model {

inline constexpr int32_t kGlobalCount = 2048;
inline constexpr size_t kGlobalsBytes = kGlobalCount * sizeof(int32_t);  // globvars.dat

// Globals `first` to `last` (each taken modulo 2048) as one decimal number per line, each line
// ended by CR LF. Empty when first comes after last.
std::string GlobalsText(const int32_t* globals, int32_t first, int32_t last);

// Reads globals `first` to `last` (each modulo 2048) from text of that form, one line each, the
// number read as the C library reads it (text that is no number reads as 0). Lines missing at the
// end leave their globals as they are. Returns how many globals were read.
int32_t ReadGlobalsText(std::string_view text, int32_t first, int32_t last, int32_t* globals);

}  // namespace model
