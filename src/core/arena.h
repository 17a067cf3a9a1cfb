// Guest memory: the one block every brain-visible buffer lives in, addressed by stable 32-bit
// guest addresses. Owns the layout of the fixed buffers; calls nothing but the C library.
#pragma once

#include <cstddef>
#include <cstdint>

namespace core {

// X(member, name, size) for the fixed buffers in layout order, each allocated once at start-up for
// the life of the process. Their guest addresses never change between runs, so records and saved
// games that store addresses stay valid; order and sizes here fix those addresses. Sizes are set by
// the engine's data formats. random.bin is read as 2000 bytes, but the random source reads a
// 32-bit word at its last cursor position, one byte past the table, so its buffer keeps a few zero
// bytes after it.
#define VEXEL_ARENA_REGIONS(X)                                                                     \
  /* 256 element state records of 1024 bytes */                                                    \
  X(kElementRecords, "element records", 256 * 1024)                                                \
  /* collision channel map with the project settings block */                                      \
  X(kCollisionMap, "collision map", 65536)                                                         \
  /* global variables: the first 8192 bytes of this block */                                       \
  X(kGlobals, "globals", 737280)                                                                   \
  /* project file text */                                                                          \
  X(kProjectText, "project text", 1114112)                                                         \
  /* the tools' 8-bit canvas, 640 bytes a row */                                                   \
  X(kCanvas, "canvas", 311296)                                                                     \
  /* 480 guest addresses of the canvas rows */                                                     \
  X(kCanvasRows, "canvas rows", 480 * 4)                                                           \
  /* typed-text buffer, 8191 characters and a terminator */                                        \
  X(kTypedText, "typed text", 8192)                                                                \
  /* sinus.bin */                                                                                  \
  X(kSineCoarse, "coarse sine table", 115200)                                                      \
  /* sinusbig.bin */                                                                               \
  X(kSineFine, "fine sine table", 14400)                                                           \
  /* atan.bin */                                                                                   \
  X(kArctangent, "arctangent table", 2880)                                                         \
  /* random.bin, plus the readable bytes after it */                                               \
  X(kRandom, "random table", 2000 + 4)                                                             \
  /* 4096 words, entry i = i */                                                                    \
  X(kIdentity4096, "identity 4096", 4096 * 4)                                                      \
  /* 256 words, entry i = i */                                                                     \
  X(kIdentity256, "identity 256", 256 * 4)                                                         \
  /* the expression compiler's 1024 temporaries */                                                 \
  X(kTemporaries, "temporaries", 1024 * 4)                                                         \
  /* text strings and the literal pool */                                                          \
  X(kStringStore, "string store", 2621440)                                                         \
  /* compiled brain code */                                                                        \
  X(kCodeArea, "code area", 522240)                                                                \
  /* labels of the brain being compiled */                                                         \
  X(kLabelTable, "label table", 2048)                                                              \
  /* 8192 aspect slots of 16 words */                                                              \
  X(kAspectSlots, "aspect slots", 8192 * 64)                                                       \
  /* one 16-byte stub per instruction-table row: the guest address of its routine */               \
  X(kRoutineStubs, "routine stubs", 512 * 16)                                                      \
  /* the data of the loaded aspects (collision face lists), refilled at every play start */        \
  X(kAspectData, "aspect data", 16 * 1024 * 1024)

enum class Region : uint8_t {
#define VEXEL_ARENA_REGION_MEMBER(member, name, size) member,
  VEXEL_ARENA_REGIONS(VEXEL_ARENA_REGION_MEMBER)
#undef VEXEL_ARENA_REGION_MEMBER
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
