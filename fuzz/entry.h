// What the libFuzzer entries do with a target's answer: a failed check stops the run, so that
// libFuzzer keeps the input as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzing {

inline int Report(const std::string& failure) {
  if (failure.empty()) return 0;
  std::fprintf(stderr, "fuzz check failed: %s\n", failure.c_str());
  std::abort();
}

}  // namespace fuzzing
