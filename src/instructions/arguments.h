// Argument helpers shared by the instruction families: element arguments (record addresses or
// frame handles), text arguments, 32-bit wrapping, and the wrappers that turn a body working on
// records into a routine. Private to src/instructions/. Calls core/arena, the brain runner's types
// and the state.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "brain/brain.h"
#include "core/core.h"
#include "model/model.h"
#include "state/state.h"

namespace instructions {

// A value with the top bit set is a frame handle of the scene, never a record address.
inline constexpr uint32_t kFrameHandleBit = 0x80000000u;
inline bool IsFrameHandle(uint32_t value) { return (value & kFrameHandleBit) != 0; }

// Two's-complement addition: brains may push words past the 32-bit range and expect them to wrap.
inline int32_t AddWrapping(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// The record an element argument names. An address inside the record array that is not the start
// of a record, or one past the array, is a fault (a stray number passed as an element would
// otherwise scribble anywhere): nullptr with the fault text. A frame handle, or a value below the
// array (the 0 of a failed lookup, passed on), names nothing: nullptr with *fault left empty, and the
// instruction answers 0 and changes nothing.
inline int32_t* ElementRecord(const core::Arena* arena, uint32_t value, std::string* fault) {
  const uint32_t first = arena->Address(core::Region::kElementRecords);
  if (IsFrameHandle(value) || value < first) return nullptr;
  uint8_t* host = arena->GuestToHostIn(core::Region::kElementRecords, value, model::kRecordBytes);
  if (host == nullptr || (value - first) % model::kRecordBytes != 0) {
    char text[96];
    std::snprintf(text, sizeof text, "Not an element: 0x%08X is not the address of an element record",
                  static_cast<unsigned>(value));
    *fault = text;
    return nullptr;
  }
  return reinterpret_cast<int32_t*>(host);
}

// The text a text argument names. A text literal reaches a routine as the guest address of its
// bytes in the literal pool, which the compilation of the play's brains fills from the start of
// the string store; the text runs to its terminating zero and never past the pool's end (an
// address into the middle of a literal names the rest of it). Every other value names the empty
// text: no routine reads text from an address a brain made up. A live handle of the handle table
// (string variable) names its buffer's text. Further kinds of text argument are
// told apart here, so every instruction that takes text accepts the same ones. The view lives in
// the arena and stays valid while the play does.
inline std::string_view TextArgumentView(const state::Engine& engine, uint32_t value) {
  // A string variable's handle: its text runs to its zero, never past its buffer.
  if (const std::vector<uint8_t>* buffer = engine.handles.Find(value); buffer != nullptr) {
    const char* text = reinterpret_cast<const char*>(buffer->data());
    return std::string_view(text, strnlen(text, buffer->size()));
  }
  if (!engine.play) return {};
  const uint32_t poolStart = engine.arena.Address(core::Region::kStringStore);
  const uint32_t poolBytes = std::min(engine.play->compiler.stringStoreUsed, core::Describe(core::Region::kStringStore).size);
  if (value < poolStart || value - poolStart >= poolBytes) return {};
  const uint32_t offset = value - poolStart;
  const char* text = reinterpret_cast<const char*>(engine.arena.Host(core::Region::kStringStore)) + offset;
  const void* end = std::memchr(text, 0, poolBytes - offset);
  return std::string_view(text, end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - text) : poolBytes - offset);
}
// The same text as a copy, for routines that keep it.
inline std::string TextArgument(const state::Engine& engine, uint32_t value) {
  return std::string(TextArgumentView(engine, value));
}

// Body of an instruction on one element (EAX); returns the result for EAX.
using OneElementBody = int32_t (*)(const core::Arena* arena, int32_t* record, const brain::Regs& regs);
// Body of an instruction on two elements (EAX, EBX).
using TwoElementBody = int32_t (*)(const core::Arena* arena, int32_t* first, int32_t* second, const brain::Regs& regs);

// The routine of a one-element body: an argument that names nothing answers 0 and changes nothing;
// a stray address is a fault.
template <OneElementBody kBody>
bool OneElement(brain::Regs* regs, std::string* fault) {
  const core::Arena* arena = &state::Current().arena;
  int32_t* record = ElementRecord(arena, regs->eax, fault);
  if (record == nullptr) {
    regs->eax = 0;
    return fault->empty();
  }
  regs->eax = static_cast<uint32_t>(kBody(arena, record, *regs));
  return true;
}

// The routine of a two-element body, with the same rules for both arguments.
template <TwoElementBody kBody>
bool TwoElements(brain::Regs* regs, std::string* fault) {
  const core::Arena* arena = &state::Current().arena;
  int32_t* first = ElementRecord(arena, regs->eax, fault);
  if (!fault->empty()) return false;
  int32_t* second = ElementRecord(arena, regs->ebx, fault);
  if (!fault->empty()) return false;
  if (first == nullptr || second == nullptr) {
    regs->eax = 0;
    return true;
  }
  regs->eax = static_cast<uint32_t>(kBody(arena, first, second, *regs));
  return true;
}

// Bodies of the plain word accessors of one element: read word kWord, set it to EBX, add EBX to it
// (wrapping).
template <int kWord>
int32_t Read(const core::Arena*, int32_t* record, const brain::Regs&) { return record[kWord]; }
template <int kWord>
int32_t Write(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  record[kWord] = static_cast<int32_t>(regs.ebx);
  return 0;
}
template <int kWord>
int32_t Add(const core::Arena*, int32_t* record, const brain::Regs& regs) {
  record[kWord] = AddWrapping(record[kWord], static_cast<int32_t>(regs.ebx));
  return 0;
}

}  // namespace instructions
