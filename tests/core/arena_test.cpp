// Guest memory: layout, stable addresses and checked translation.
#include <gtest/gtest.h>

#include <iterator>

#include "core/arena.h"

namespace {

using core::Arena;
using core::Region;

constexpr int kRegions = static_cast<int>(Region::kCount);

TEST(Arena, RegionsAreDisjointAndInsideTheArena) {
  Arena arena;
  ASSERT_TRUE(arena.Create());
  for (int i = 0; i < kRegions; ++i) {
    const core::RegionInfo& a = core::Describe(static_cast<Region>(i));
    EXPECT_LE(uint64_t{a.offset} + a.size, arena.Size()) << a.name;
    for (int j = i + 1; j < kRegions; ++j) {
      const core::RegionInfo& b = core::Describe(static_cast<Region>(j));
      EXPECT_TRUE(a.offset + a.size <= b.offset || b.offset + b.size <= a.offset) << a.name << " / " << b.name;
    }
  }
  EXPECT_GT(Arena::kGuestBase, 8192u);
  EXPECT_LT(uint64_t{arena.GuestEnd()}, uint64_t{1} << 31);
}

TEST(Arena, FixedBuffersHaveTheirSizes) {
  EXPECT_EQ(core::Describe(Region::kElementRecords).size, 262144u);
  EXPECT_EQ(core::Describe(Region::kCollisionMap).size, 65536u);
  EXPECT_EQ(core::Describe(Region::kGlobals).size, 737280u);
  EXPECT_EQ(core::Describe(Region::kProjectText).size, 1114112u);
  EXPECT_EQ(core::Describe(Region::kCanvas).size, 311296u);
  EXPECT_EQ(core::Describe(Region::kTypedText).size, 8192u);
  EXPECT_EQ(core::Describe(Region::kCodeArea).size, 522240u);
  // The label table follows the code directly.
  EXPECT_EQ(core::Describe(Region::kLabelTable).offset,
            core::Describe(Region::kCodeArea).offset + core::Describe(Region::kCodeArea).size);
}

TEST(Arena, AddressesAreTheSameInEveryRun) {
  // Saved games and records keep guest addresses, so these values must never move by accident.
  Arena first;
  ASSERT_TRUE(first.Create());
  EXPECT_EQ(first.Address(Region::kElementRecords), 0x00400000u);
  EXPECT_EQ(first.Address(Region::kCollisionMap), 0x00440000u);
  std::vector<uint32_t> addresses;
  for (int i = 0; i < kRegions; ++i) addresses.push_back(first.Address(static_cast<Region>(i)));
  first.Destroy();

  Arena second;
  ASSERT_TRUE(second.Create());
  for (int i = 0; i < kRegions; ++i) EXPECT_EQ(second.Address(static_cast<Region>(i)), addresses[i]);
}

TEST(Arena, TranslationRoundTripsAndRejectsOutsideAddresses) {
  Arena arena;
  ASSERT_TRUE(arena.Create());
  const uint32_t records = arena.Address(Region::kElementRecords);
  uint8_t* host = arena.GuestToHost(records + 1024, 4);
  ASSERT_NE(host, nullptr);
  uint32_t back = 0;
  ASSERT_TRUE(arena.HostToGuest(host, &back));
  EXPECT_EQ(back, records + 1024);

  EXPECT_EQ(arena.GuestToHost(0), nullptr);
  EXPECT_EQ(arena.GuestToHost(Arena::kGuestBase - 1), nullptr);
  EXPECT_EQ(arena.GuestToHost(arena.GuestEnd()), nullptr);
  EXPECT_NE(arena.GuestToHost(arena.GuestEnd() - 4, 4), nullptr);
  EXPECT_EQ(arena.GuestToHost(arena.GuestEnd() - 3, 4), nullptr);  // straddles the end
  EXPECT_EQ(arena.GuestToHost(0xFFFFFFFFu, 4), nullptr);          // would wrap in 32 bits
  EXPECT_EQ(arena.GuestToHost(0x80000000u), nullptr);             // a frame handle

  int outside = 0;
  EXPECT_FALSE(arena.HostToGuest(&outside, &back));
}

TEST(Arena, TranslationInsideOneRegion) {
  Arena arena;
  ASSERT_TRUE(arena.Create());
  const core::RegionInfo& globals = core::Describe(Region::kGlobals);
  const uint32_t start = arena.Address(Region::kGlobals);
  EXPECT_NE(arena.GuestToHostIn(Region::kGlobals, start, globals.size), nullptr);
  EXPECT_EQ(arena.GuestToHostIn(Region::kGlobals, start, globals.size + 1), nullptr);
  EXPECT_EQ(arena.GuestToHostIn(Region::kGlobals, start - 1, 1), nullptr);
  EXPECT_EQ(arena.GuestToHostIn(Region::kElementRecords, start, 1), nullptr);
}

TEST(Arena, StartsZeroedWithItsFixedTables) {
  Arena arena;
  ASSERT_TRUE(arena.Create());
  EXPECT_EQ(arena.Host(Region::kElementRecords)[0], 0);
  const auto* rows = arena.As<uint32_t>(Region::kCanvasRows);
  EXPECT_EQ(rows[0], arena.Address(Region::kCanvas));
  EXPECT_EQ(rows[479], arena.Address(Region::kCanvas) + 479 * 640);
  EXPECT_EQ(arena.As<uint32_t>(Region::kIdentity4096)[4095], 4095u);
  EXPECT_EQ(arena.As<uint32_t>(Region::kIdentity256)[200], 200u);
  // The random source reads a word at the table's last byte; the byte after it must exist.
  EXPECT_NE(arena.GuestToHostIn(Region::kRandom, arena.Address(Region::kRandom) + 1999, 4), nullptr);
}

TEST(Arena, UnusableBeforeCreate) {
  Arena arena;
  EXPECT_FALSE(arena.IsReady());
  EXPECT_EQ(arena.GuestToHost(Arena::kGuestBase), nullptr);
  EXPECT_EQ(arena.Host(Region::kGlobals), nullptr);
}

// The whole layout as `vexel arena` lists it. Brain code, records and saved games hold these
// addresses, so any change to the region list that moves one shows here.
TEST(Arena, LayoutNeverMoves) {
  const struct {
    const char* name;
    uint32_t address;
    uint32_t size;
  } layout[] = {
      {"element records", 0x00400000u, 262144u},
      {"collision map", 0x00440000u, 65536u},
      {"globals", 0x00450000u, 737280u},
      {"project text", 0x00504000u, 1114112u},
      {"canvas", 0x00614000u, 311296u},
      {"canvas rows", 0x00660000u, 1920u},
      {"typed text", 0x00661000u, 8192u},
      {"coarse sine table", 0x00663000u, 115200u},
      {"fine sine table", 0x00680000u, 14400u},
      {"arctangent table", 0x00684000u, 2880u},
      {"random table", 0x00685000u, 2004u},
      {"identity 4096", 0x00686000u, 16384u},
      {"identity 256", 0x0068A000u, 1024u},
      {"temporaries", 0x0068B000u, 4096u},
      {"string store", 0x0068C000u, 2621440u},
      {"code area", 0x0090C000u, 522240u},
      {"label table", 0x0098B800u, 2048u},
      {"aspect slots", 0x0098C000u, 524288u},
      {"routine stubs", 0x00A0C000u, 8192u},
      {"aspect data", 0x00A0E000u, 16777216u},
  };
  ASSERT_EQ(std::size(layout), static_cast<size_t>(kRegions));
  for (int i = 0; i < kRegions; ++i) {
    const core::RegionInfo& info = core::Describe(static_cast<Region>(i));
    EXPECT_STREQ(info.name, layout[i].name);
    EXPECT_EQ(Arena::kGuestBase + info.offset, layout[i].address) << info.name;
    EXPECT_EQ(info.size, layout[i].size) << info.name;
  }
}

}  // namespace
