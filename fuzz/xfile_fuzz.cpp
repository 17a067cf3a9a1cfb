// libFuzzer entry of the .x object file target; the body is shared with the corpus replay test.
#include <cstddef>
#include <cstdint>

#include "entry.h"
#include "targets.h"

// A file asking for billions of vertices makes the importer allocate that much: such an
// allocation fails (and the importer refuses the file) instead of counting as a crash.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzzing::Report(fuzzing::FuzzXFile(data, size));
}
