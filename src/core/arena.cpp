// Guest memory layout and address translation.
#include "core/arena.h"

#include <sys/mman.h>

#include <array>
#include <cstring>

namespace core {
namespace {

constexpr uint32_t kPage = 4096;

constexpr uint32_t RoundUp(uint32_t value) { return (value + kPage - 1) / kPage * kPage; }

struct Sizes {
  const char* name;
  uint32_t size;
};

constexpr std::array<Sizes, static_cast<size_t>(Region::kCount)> kSizes = {{
#define VEXEL_ARENA_REGION_SIZE(member, name, size) {name, size},
    VEXEL_ARENA_REGIONS(VEXEL_ARENA_REGION_SIZE)
#undef VEXEL_ARENA_REGION_SIZE
}};

// Regions are laid out in enum order, each page aligned; the code area and the label table are
// the exception: the label table follows the code directly.
constexpr std::array<RegionInfo, kSizes.size()> MakeLayout() {
  std::array<RegionInfo, kSizes.size()> layout{};
  uint32_t offset = 0;
  for (size_t i = 0; i < kSizes.size(); ++i) {
    if (static_cast<Region>(i) == Region::kLabelTable) {
      const RegionInfo& code = layout[static_cast<size_t>(Region::kCodeArea)];
      offset = code.offset + code.size;
    }
    layout[i] = RegionInfo{kSizes[i].name, offset, kSizes[i].size};
    offset = RoundUp(offset + kSizes[i].size);
  }
  return layout;
}

constexpr std::array<RegionInfo, kSizes.size()> kLayout = MakeLayout();
constexpr uint32_t kArenaSize = kLayout.back().offset + RoundUp(kLayout.back().size);

static_assert(uint64_t{Arena::kGuestBase} + kArenaSize < (uint64_t{1} << 31),
              "guest addresses must stay below 2^31");

}  // namespace

const RegionInfo& Describe(Region region) { return kLayout[static_cast<size_t>(region)]; }

Arena::~Arena() { Destroy(); }

bool Arena::Create() {
  Destroy();
  void* block = mmap(nullptr, kArenaSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return false;
  base_ = static_cast<uint8_t*>(block);
  size_ = kArenaSize;

  uint32_t* rows = As<uint32_t>(Region::kCanvasRows);
  for (uint32_t row = 0; row < 480; ++row) rows[row] = Address(Region::kCanvas) + row * 640;
  uint32_t* identity = As<uint32_t>(Region::kIdentity4096);
  for (uint32_t i = 0; i < 4096; ++i) identity[i] = i;
  identity = As<uint32_t>(Region::kIdentity256);
  for (uint32_t i = 0; i < 256; ++i) identity[i] = i;
  return true;
}

void Arena::Destroy() {
  if (base_ != nullptr) munmap(base_, size_);
  base_ = nullptr;
  size_ = 0;
}

uint8_t* Arena::Host(Region region) const {
  return base_ == nullptr ? nullptr : base_ + Describe(region).offset;
}

uint8_t* Arena::GuestToHost(uint32_t address, uint32_t length) const {
  if (base_ == nullptr || address < kGuestBase) return nullptr;
  const uint64_t offset = address - kGuestBase;
  if (offset + length > size_) return nullptr;
  return base_ + offset;
}

uint8_t* Arena::GuestToHostIn(Region region, uint32_t address, uint32_t length) const {
  const RegionInfo& info = Describe(region);
  const uint64_t first = uint64_t{kGuestBase} + info.offset;
  if (base_ == nullptr || address < first || uint64_t{address} + length > first + info.size) return nullptr;
  return base_ + (address - kGuestBase);
}

bool Arena::HostToGuest(const void* host, uint32_t* address) const {
  const auto* p = static_cast<const uint8_t*>(host);
  if (base_ == nullptr || p < base_ || p >= base_ + size_) return false;
  *address = kGuestBase + static_cast<uint32_t>(p - base_);
  return true;
}

}  // namespace core
