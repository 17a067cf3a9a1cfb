// Element memory instructions: words and bytes of element state records reached by number or by
// name. Calls core/arena, model/state_record, the brain runner's types and the current engine's
// arena.
//
// | Instruction    | Arguments        | Effect                                                       |
// |----------------|------------------|--------------------------------------------------------------|
// | pocket         | element, n       | returns byte n from the start of word 45, unsigned           |
// | pocket_set     | element, n, v    | sets it to the low 8 bits of v                               |
// | pocket_add     | element, n, v    | adds v to it modulo 256                                      |
// | local          | element, n       | returns word 255 - n, the (n + 1)-th declared variable;      |
// |                |                  | 0 when n, taken unsigned, is 128 or more                     |
// | local_set      | element, n, v    | sets word 255 - n; nothing when n is 128 or more             |
// | register       | element, n       | returns word n of the record (register 3 is position x)      |
// | register_set   | element, n, v    | sets word n                                                  |
// | timer          | element          | returns the timer (word 43)                                  |
// | timer_set      | element, v       | sets it                                                      |
// | score          | element          | returns the score (word 23); also named credits              |
// | score_set      | element, v       | sets it; also named credits_set                              |
// | score_add      | element, v       | adds to it, wrapping; also named credits_add                 |
// | element_id     | element          | returns the identity bits (word 24)                          |
// | element_id_set | element, v       | sets them                                                    |
//
// Registers and pockets are not limited to their own record: register 256 + k is word k of the
// next record, and a negative number reaches back into earlier ones, which brains use to read
// their neighbours. Any word or byte of the record array is reachable that way; a number that
// leads outside the array ends the play with a fault naming it. An element argument that names
// nothing (a frame handle, or a value below the record array) makes an instruction change nothing
// and answer 0. Instructions that return nothing leave 0 in EAX.
#include "instructions/element_memory.h"

#include <cstdio>

#include "instructions/arguments.h"

namespace instructions {
namespace {

using model::kWordIdentity;
using model::kWordScore;
using model::kWordTimer;

constexpr int64_t kArrayBytes = int64_t{model::kMaxElements} * model::kRecordBytes;
constexpr int64_t kPocketsByte = int64_t{model::kWordPockets} * 4;


// The `width` bytes at `byte` from the start of the element's record (EAX), for the numbered
// instruction `what` with number `number`. nullptr with an empty fault when the element names
// nothing; nullptr with the fault text when the element is a stray address or the bytes do not
// lie wholly inside the record array. The offset is worked out in 64 bits, so no number can wrap
// back into the array.
uint8_t* ReachRecordBytes(const brain::Regs& regs, int64_t byte, int64_t width, const char* what, int32_t number,
                          std::string* fault) {
  const core::Arena* arena = &state::Current().arena;
  int32_t* record = ElementRecord(arena, regs.eax, fault);
  if (record == nullptr) return nullptr;
  uint8_t* const array = arena->As<uint8_t>(core::Region::kElementRecords);
  const int64_t offset = (reinterpret_cast<uint8_t*>(record) - array) + byte;
  if (offset < 0 || offset > kArrayBytes - width) {
    char text[96];
    std::snprintf(text, sizeof text, "%s %d lies outside the element records", what, static_cast<int>(number));
    *fault = text;
    return nullptr;
  }
  return array + offset;
}

int32_t* RegisterWord(const brain::Regs& regs, std::string* fault) {
  const auto n = static_cast<int32_t>(regs.ebx);
  return reinterpret_cast<int32_t*>(ReachRecordBytes(regs, int64_t{n} * 4, 4, "register", n, fault));
}

uint8_t* PocketByte(const brain::Regs& regs, std::string* fault) {
  const auto n = static_cast<int32_t>(regs.ebx);
  return ReachRecordBytes(regs, kPocketsByte + n, 1, "pocket", n, fault);
}

// Ends an instruction that reached nothing: 0 in EAX, and the play goes on only without a fault.
bool ReachedNothing(brain::Regs* regs, const std::string* fault) {
  regs->eax = 0;
  return fault->empty();
}

bool pocket(brain::Regs* regs, std::string* fault) {
  const uint8_t* byte = PocketByte(*regs, fault);
  if (byte == nullptr) return ReachedNothing(regs, fault);
  regs->eax = *byte;
  return true;
}

bool pocket_set(brain::Regs* regs, std::string* fault) {
  uint8_t* byte = PocketByte(*regs, fault);
  if (byte == nullptr) return ReachedNothing(regs, fault);
  *byte = static_cast<uint8_t>(regs->ecx);
  regs->eax = 0;
  return true;
}

bool pocket_add(brain::Regs* regs, std::string* fault) {
  uint8_t* byte = PocketByte(*regs, fault);
  if (byte == nullptr) return ReachedNothing(regs, fault);
  *byte = static_cast<uint8_t>(*byte + regs->ecx);
  regs->eax = 0;
  return true;
}

// `register` is a C++ keyword, hence the underscore.
bool register_(brain::Regs* regs, std::string* fault) {
  const int32_t* word = RegisterWord(*regs, fault);
  if (word == nullptr) return ReachedNothing(regs, fault);
  regs->eax = static_cast<uint32_t>(*word);
  return true;
}

bool register_set(brain::Regs* regs, std::string* fault) {
  int32_t* word = RegisterWord(*regs, fault);
  if (word == nullptr) return ReachedNothing(regs, fault);
  *word = static_cast<int32_t>(regs->ecx);
  regs->eax = 0;
  return true;
}

// The local number is compared unsigned, so -1 is no local rather than word 256.
int32_t local(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  if (regs.ebx >= static_cast<uint32_t>(model::kLocalCount)) return 0;
  return record[model::kWordLocalsLast - static_cast<int>(regs.ebx)];
}

int32_t local_set(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  if (regs.ebx < static_cast<uint32_t>(model::kLocalCount)) {
    record[model::kWordLocalsLast - static_cast<int>(regs.ebx)] = static_cast<int32_t>(regs.ecx);
  }
  return 0;
}

// Each alias group (score = credits) is bound once, under the score names.
constexpr brain::RoutineEntry kElementMemoryRoutines[] = {
    {"pocket", pocket},
    {"pocket_set", pocket_set},
    {"pocket_add", pocket_add},
    {"local", OneElement<local>},
    {"local_set", OneElement<local_set>},
    {"register", register_},
    {"register_set", register_set},
    {"timer", OneElement<Read<kWordTimer>>},
    {"timer_set", OneElement<Write<kWordTimer>>},
    {"score", OneElement<Read<kWordScore>>},
    {"score_set", OneElement<Write<kWordScore>>},
    {"score_add", OneElement<Add<kWordScore>>},
    {"element_id", OneElement<Read<kWordIdentity>>},
    {"element_id_set", OneElement<Write<kWordIdentity>>},
};

}  // namespace

std::span<const brain::RoutineEntry> ElementMemoryRoutines() { return kElementMemoryRoutines; }

}  // namespace instructions
