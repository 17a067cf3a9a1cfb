// Guest memory: the one block every brain-visible buffer lives in, addressed by stable 32-bit
// guest addresses. Owns the layout of the fixed buffers; calls nothing but the C library.
#pragma once

#include <cstddef>
#include <cstdint>

namespace core {

// The fixed buffers, each allocated once at start-up for the life of the process. Their guest
// addresses never change between runs, so records and saved games that store addresses stay valid.
enum class Region : uint8_t {
  kElementRecords,   // 256 element state records of 1024 bytes
  kCollisionMap,     // collision channel map with the project settings block
  kGlobals,          // global variables: the first 8192 bytes of this block
  kProjectText,      // project file text
  kCanvas,           // the tools' 8-bit canvas, 640 bytes a row
  kCanvasRows,       // 480 guest addresses of the canvas rows
  kTypedText,        // typed-text buffer, 8191 characters and a terminator
  kSineCoarse,       // sinus.bin
  kSineFine,         // sinusbig.bin
  kArctangent,       // atan.bin
  kRandom,           // random.bin, plus the readable bytes after it
  kIdentity4096,     // 4096 words, entry i = i
  kIdentity256,      // 256 words, entry i = i
  kTemporaries,      // the expression compiler's 1024 temporaries
  kStringStore,      // text strings and the literal pool
  kCodeArea,         // compiled brain code
  kLabelTable,       // labels of the brain being compiled
  kAspectSlots,      // 8192 aspect slots of 16 words
  kRoutineStubs,     // one 16-byte stub per instruction-table row: the guest address of its routine
  kCount
};

struct RegionInfo {
  const char* name;
  uint32_t offset;  // from the arena's first byte; page aligned
  uint32_t size;    // bytes usable by the engine
};

// Layout of every region; constant for the life of the program.
const RegionInfo& Describe(Region region);

class Arena {
 public:
  // First guest address: above 8192 so an address never reads as a string handle, far below 2^31
  // so it never reads as a frame handle.
  static constexpr uint32_t kGuestBase = 0x00400000;

  Arena() = default;
  ~Arena();
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  // Maps the whole block, zero filled, and fills the canvas row table. False when the system
  // refuses the memory; the arena is then unusable and every translation fails.
  bool Create();
  void Destroy();
  bool IsReady() const { return base_ != nullptr; }

  uint32_t Size() const { return size_; }
  uint32_t GuestEnd() const { return kGuestBase + size_; }

  uint32_t Address(Region region) const { return kGuestBase + Describe(region).offset; }
  uint8_t* Host(Region region) const;
  template <typename T>
  T* As(Region region) const { return reinterpret_cast<T*>(Host(region)); }

  // Host pointer for the guest bytes [address, address + length), or nullptr when any of them
  // lies outside the arena. Never touches memory.
  uint8_t* GuestToHost(uint32_t address, uint32_t length = 1) const;
  // The same, restricted to one region.
  uint8_t* GuestToHostIn(Region region, uint32_t address, uint32_t length = 1) const;
  // Guest address of a host pointer into the arena; false when it points elsewhere.
  bool HostToGuest(const void* host, uint32_t* address) const;

  // Host base minus guest base, for code that adds guest addresses to a base register.
  uintptr_t HostBias() const { return reinterpret_cast<uintptr_t>(base_) - kGuestBase; }

 private:
  uint8_t* base_ = nullptr;
  uint32_t size_ = 0;
};

}  // namespace core
