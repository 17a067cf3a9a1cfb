// Fuzz target body: brain texts compiled one after the other into one arena, as in a long play
// session; the compiler writes only its own buffers, stays inside the code area and names every
// failure. Calls brain/compiler and core/arena.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "brain/brain.h"
#include "core/core.h"
#include "targets.h"

namespace fuzzing {
namespace {

// Room kept free in front of each input; below it the session starts over from an empty area, as
// the next project compilation would. Inputs larger than this still reach the overflow paths.
constexpr uint32_t kCodeMargin = 16 * 1024;
constexpr uint32_t kStringMargin = 256 * 1024;
// The start of the string store stands for the engine's own strings, which the pool must not touch.
constexpr uint32_t kReservedStrings = 4096;
// Bytes around the pool's write position that are checked besides the reserved start.
constexpr uint32_t kPoolWindowBefore = 4096;
constexpr uint32_t kPoolWindowAfter = 16384;
constexpr uint32_t kCodeWindowBefore = 4096;
constexpr uint8_t kGuardByte = 0xCC;

// A byte range that no compilation may change, filled with a pattern so that a stray zero shows.
struct Watched {
  const char* name;
  uint8_t* host = nullptr;
  std::vector<uint8_t> copy;
};

// Lives for the whole process, never freed, like the engine's buffers.
struct Session {
  bool ready = false;
  core::Arena arena;
  brain::CompilerState state;
  std::vector<Watched> watched;
  uint8_t* codeGuard = nullptr;  // the code area's last byte, kept free by the emitter
};

void Fill(uint8_t* host, uint32_t size, uint32_t seed) {
  uint32_t x = seed;
  for (uint32_t i = 0; i < size; ++i) {
    x = x * 1664525u + 1013904223u;
    host[i] = static_cast<uint8_t>(x >> 24);
  }
}

void Watch(Session* s, const char* name, uint8_t* host, uint32_t size, uint32_t seed) {
  Fill(host, size, seed);
  s->watched.push_back(Watched{name, host, std::vector<uint8_t>(host, host + size)});
}

Session* Start() {
  auto* s = new Session;
  if (!s->arena.Create() || !brain::BeginCompilation(&s->state, &s->arena)) return s;
  Watch(s, "the element records", s->arena.Host(core::Region::kElementRecords),
        core::Describe(core::Region::kElementRecords).size, 1);
  Watch(s, "the globals", s->arena.Host(core::Region::kGlobals), 8192, 2);
  Watch(s, "the routine stubs", s->arena.Host(core::Region::kRoutineStubs),
        core::Describe(core::Region::kRoutineStubs).size, 3);
  Watch(s, "the engine's strings", s->arena.Host(core::Region::kStringStore), kReservedStrings, 4);
  // The region right after the label table.
  Watch(s, "the aspect slots", s->arena.Host(core::Region::kAspectSlots), 4096, 5);
  s->codeGuard = s->state.code.code + s->state.code.capacity;
  *s->codeGuard = kGuardByte;
  s->state.stringStoreUsed = kReservedStrings;
  s->ready = true;
  return s;
}

bool Unchanged(const Watched& w) { return std::memcmp(w.host, w.copy.data(), w.copy.size()) == 0; }

}  // namespace

std::string FuzzBrain(const uint8_t* data, size_t size) {
  static Session* session = Start();
  if (!session->ready) return "the arena or the compiler cannot be set up";
  brain::CompilerState& state = session->state;
  brain::Emitter& code = state.code;
  const core::RegionInfo& store = core::Describe(core::Region::kStringStore);
  uint8_t* strings = session->arena.Host(core::Region::kStringStore);

  if (code.capacity - code.position < kCodeMargin) {
    code.position = 0;
    code.overflow = false;
  }
  if (store.size - state.stringStoreUsed < kStringMargin) {
    state.stringStoreUsed = kReservedStrings;
    state.memoryWarned = false;
  }
  // An odd first byte selects the editor mode; the rest is the brain text.
  state.editorMode = size > 0 && (data[0] & 1) != 0;
  const std::string_view text =
      size > 0 ? std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1) : std::string_view();

  const uint32_t start = code.position;
  const uint32_t codeBefore = std::min(start, kCodeWindowBefore);
  const std::vector<uint8_t> codeCopy(code.code + start - codeBefore, code.code + start);
  const uint32_t poolBefore = state.stringStoreUsed;
  const uint32_t windowStart = poolBefore - std::min(poolBefore - kReservedStrings, kPoolWindowBefore);
  const uint32_t windowEnd = std::min(store.size, poolBefore + kPoolWindowAfter);
  const std::vector<uint8_t> poolCopy(strings + windowStart, strings + windowEnd);

  state.brainStart = start;
  brain::CompileBrainText(&state, text);
  if (brain::Failed(state) && state.error.empty()) return "the compilation failed without a message";
  if (code.overflow && state.error.empty()) return "the code area overflowed without a message";
  if (code.position > code.capacity || code.position < start) return "the code position left the code area";
  if (state.error.empty()) {
    // Every brain ends in a return, and labels stay within the table.
    if (code.position == start || code.code[code.position - 1] != 0xC3) return "the brain does not end in a return";
    const int labels = brain::LabelCount(state);
    if (labels < 0 || labels > brain::kMaxLabels) return "the label count is " + std::to_string(labels);
    brain::ResolveLabels(&state, start, code.position);
    if (brain::Failed(state) && state.error.empty()) return "resolving the labels failed without a message";
    if (code.position > code.capacity) return "resolving the labels left the code area";
  }
  if (state.error.empty()) {
    // Resolved jumps land inside their own brain.
    for (const brain::GotoSite& site : state.gotos) {
      if (code.code[site.offset] != 0xE9) return "a goto site at " + std::to_string(site.offset) + " is not a jump";
      int32_t displacement = 0;
      std::memcpy(&displacement, code.code + site.offset + 1, 4);
      const int64_t target = int64_t{site.offset} + 5 + displacement;
      if (target < start || target > code.position) return "a goto jumps out of its brain";
    }
  }

  for (const Watched& w : session->watched) {
    if (!Unchanged(w)) return std::string("the compiler wrote into ") + w.name;
  }
  if (*session->codeGuard != kGuardByte) return "the compiler wrote the code area's last byte";
  if (!std::equal(codeCopy.begin(), codeCopy.end(), code.code + start - codeBefore)) {
    return "the compiler wrote over the brain before it";
  }
  const uint32_t poolAfter = state.stringStoreUsed;
  if (poolAfter < poolBefore || poolAfter > store.size) return "the string pool position left the string store";
  // The window outside the new strings is unchanged: before them, and after them when they did not
  // fill the window.
  if (std::memcmp(strings + windowStart, poolCopy.data(), poolBefore - windowStart) != 0) {
    return "the compiler wrote the string store before its new strings";
  }
  if (poolAfter < windowEnd &&
      std::memcmp(strings + poolAfter, poolCopy.data() + (poolAfter - windowStart), windowEnd - poolAfter) != 0) {
    return "the compiler wrote the string store after its new strings";
  }

  // A failed brain becomes a plain return, as in a project compilation.
  if (!state.error.empty()) {
    code.code[start] = 0xC3;
    code.position = start + 1;
    code.overflow = false;
    *session->codeGuard = kGuardByte;
  }
  return {};
}

}  // namespace fuzzing
