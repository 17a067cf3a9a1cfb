// Argument helpers shared by the instruction families: element arguments (record addresses or
// frame handles), 32-bit wrapping, and the wrappers that turn a body working on records into a
// routine. Private to src/instructions/. Calls core/arena, the brain runner's types and the state.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

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

// The record at `address`, or nullptr with a fault text when the address is not the start of one
// of the element records (a stray number passed as an element would otherwise scribble anywhere).
inline int32_t* RecordAt(const core::Arena* arena, uint32_t address, std::string* fault) {
  uint8_t* host = arena->GuestToHostIn(core::Region::kElementRecords, address, model::kRecordBytes);
  if (host == nullptr || (address - arena->Address(core::Region::kElementRecords)) % model::kRecordBytes != 0) {
    char text[96];
    std::snprintf(text, sizeof text, "Not an element: 0x%08X is not the address of an element record",
                  static_cast<unsigned>(address));
    *fault = text;
    return nullptr;
  }
  return reinterpret_cast<int32_t*>(host);
}

// Body of an instruction on one element (EAX); returns the result for EAX.
using OneElementBody = int32_t (*)(const core::Arena* arena, int32_t* record, const brain::Regs& regs);
// Body of an instruction on two elements (EAX, EBX).
using TwoElementBody = int32_t (*)(const core::Arena* arena, int32_t* first, int32_t* second, const brain::Regs& regs);

// The routine of a one-element body: a frame handle changes nothing and answers 0; any other
// address that is not an element record is a fault.
template <OneElementBody kBody>
bool OneElement(brain::Regs* regs, std::string* fault) {
  if (IsFrameHandle(regs->eax)) {
    regs->eax = 0;
    return true;
  }
  const core::Arena* arena = &state::Current().arena;
  int32_t* record = RecordAt(arena, regs->eax, fault);
  if (record == nullptr) return false;
  regs->eax = static_cast<uint32_t>(kBody(arena, record, *regs));
  return true;
}

// The routine of a two-element body, with the same rules for both arguments.
template <TwoElementBody kBody>
bool TwoElements(brain::Regs* regs, std::string* fault) {
  if (IsFrameHandle(regs->eax) || IsFrameHandle(regs->ebx)) {
    regs->eax = 0;
    return true;
  }
  const core::Arena* arena = &state::Current().arena;
  int32_t* first = RecordAt(arena, regs->eax, fault);
  if (first == nullptr) return false;
  int32_t* second = RecordAt(arena, regs->ebx, fault);
  if (second == nullptr) return false;
  regs->eax = static_cast<uint32_t>(kBody(arena, first, second, *regs));
  return true;
}

}  // namespace instructions
