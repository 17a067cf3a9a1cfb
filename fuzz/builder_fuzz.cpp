// libFuzzer entry of the game builder's readers; the body is shared with the corpus replay test.
#include <cstddef>
#include <cstdint>

#include "entry.h"
#include "targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzzing::Report(fuzzing::FuzzBuilderInputs(data, size));
}
