// The handle table of string variables and arrays: numbered buffers a brain holds by handle. Owns
// the buffers; calls only the C++ library. The strings family builds its instructions on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace state {

struct HandleTable {
  static constexpr int32_t kEntries = 8192;

  // One buffer per entry; an empty entry holds no buffer.
  struct Entry {
    bool live = false;
    std::vector<uint8_t> bytes;
  };
  std::vector<Entry> entries;
  int32_t inUse = 0;  // entries handed out so far, free ones below it included

  // A zero-filled buffer of `bytes` bytes at the lowest free entry below inUse, else at the next
  // new one; its handle, or -1 when all kEntries are taken.
  int32_t Create(size_t bytes) {
    int32_t handle = 0;
    while (handle < inUse && entries[static_cast<size_t>(handle)].live) ++handle;
    if (handle >= kEntries) return -1;
    if (handle == inUse) ++inUse;
    if (entries.size() < static_cast<size_t>(inUse)) entries.resize(static_cast<size_t>(inUse));
    entries[static_cast<size_t>(handle)] = Entry{true, std::vector<uint8_t>(bytes, 0)};
    return handle;
  }
  // Empties the entry; freeing the highest one in use lowers the count by one. Nothing for a value
  // outside the table or an empty entry.
  void Free(uint32_t handle) {
    if (handle >= static_cast<uint32_t>(inUse) || !entries[handle].live) return;
    entries[handle] = Entry{};
    if (handle + 1 == static_cast<uint32_t>(inUse)) --inUse;
  }
  // The buffer of a live handle, or nullptr: any other value is not a handle.
  std::vector<uint8_t>* Find(uint32_t value) {
    if (value >= static_cast<uint32_t>(inUse) || !entries[value].live) return nullptr;
    return &entries[value].bytes;
  }
  const std::vector<uint8_t>* Find(uint32_t value) const { return const_cast<HandleTable*>(this)->Find(value); }
};

}  // namespace state
