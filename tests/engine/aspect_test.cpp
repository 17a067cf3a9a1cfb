// Aspect slots of visuals and their collision faces: the slot words, the face layout and its
// rounding, shared face lists, one part only, the default model for a part without faces, and a
// full aspect data region.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>

#include "core/core.h"
#include "engine/engine.h"
#include "support/model_3ds_bytes.h"
#include "support/run_program.h"

namespace {

using testing_support::TempFolder;
using testing_support::WriteText;

// One face: (0.0015, 0, -0.0015), (1, 2, 3) and (-0.0004, 0, 0) as the file stores them (x, y, z).
std::string OneFace() {
  return testing_support::Model3ds({{0.0015f, 0.0f, -0.0015f}, {1.0f, 2.0f, 3.0f}, {-0.0004f, 0.0f, 0.0f}},
                                   {{0, 1, 2}});
}

class Aspects : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(arena.Create());
    memory.Reset(&arena);
    ASSERT_TRUE(core::MakeFolders(folder / "3dsfiles"));
    ASSERT_TRUE(WriteText(folder / "3dsfiles/default_.3ds",
                          testing_support::Model3ds({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                                                    {{0, 1, 2}, {0, 2, 3}})));
    ASSERT_TRUE(WriteText(folder / "one.3ds", OneFace()));
  }
  engine::VisualFile File(const std::vector<std::pair<int32_t, std::string>>& parts) {
    engine::VisualFile file;
    file.path = folder / "v.v3d";
    int32_t previous = 0;
    for (const auto& [frame, source] : parts) {
      engine::PartLine line;
      line.frame = frame;
      line.source = folder / source;
      file.lines.push_back(line);
      if (frame != previous) ++file.frames;
      previous = frame;
    }
    return file;
  }
  const int32_t* Faces(const int32_t* slot) {
    return reinterpret_cast<const int32_t*>(arena.GuestToHost(static_cast<uint32_t>(slot[engine::kSlotFaceList]), 64));
  }

  TempFolder folder;
  core::Arena arena;
  engine::AspectMemory memory;
};

TEST_F(Aspects, SlotWordsAndTheFaceLayout) {
  const engine::VisualFile file = File({{1, "one.3ds"}, {2, "one.3ds"}, {2, "none.3ds"}});
  uint32_t address = 0;
  int32_t* slot = memory.NextSlot(&address);
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(address, arena.Address(core::Region::kAspectSlots));
  memory.LoadVisualAspect(file, slot, 7, 2, 0, folder.path());
  EXPECT_EQ(std::memcmp(slot, "d3v.", 4), 0);
  EXPECT_EQ(slot[engine::kSlotFaceCount], 1 + 2);  // one face, then the default model's two
  EXPECT_EQ(static_cast<uint32_t>(slot[engine::kSlotFaceList]), arena.Address(core::Region::kAspectData));
  EXPECT_EQ(slot[engine::kSlotElement], 7);
  EXPECT_EQ(slot[engine::kSlotFrame], 2);
  EXPECT_EQ(slot[engine::kSlotRowWidth], 256);
  EXPECT_EQ(slot[engine::kSlotLoaded], 0);
  // Stored (x, z, y), in millimetres rounded half away from zero, the third vertex repeated.
  const int32_t* face = Faces(slot);
  const int32_t expected[16] = {2, 2, -2, 0, 1000, 3000, 2000, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (int w = 0; w < 16; ++w) EXPECT_EQ(face[w], expected[w]) << "word " << w;

  // Another element naming the same file and frame shares the list; one part alone has its own.
  int32_t* again = memory.NextSlot(&address);
  memory.LoadVisualAspect(file, again, 8, 2, 0, folder.path());
  EXPECT_EQ(again[engine::kSlotFaceList], slot[engine::kSlotFaceList]);
  int32_t* part = memory.NextSlot(&address);
  memory.LoadVisualAspect(file, part, 8, 2, 2, folder.path());
  EXPECT_EQ(part[engine::kSlotFaceCount], 2);
  EXPECT_NE(part[engine::kSlotFaceList], slot[engine::kSlotFaceList]);
  EXPECT_EQ(memory.SlotsUsed(), 3u);
}

TEST(AspectRounding, CoordinatesRoundHalfAwayAndClamp) {
  EXPECT_EQ(engine::CollisionCoordinate(0.0015f), 2);  // 1.5 mm rounds away from zero
  EXPECT_EQ(engine::CollisionCoordinate(-0.0015f), -2);
  EXPECT_EQ(engine::CollisionCoordinate(0.5f), 500);
  EXPECT_EQ(engine::CollisionCoordinate(0.0014f), 1);
  EXPECT_EQ(engine::CollisionCoordinate(1e30f), INT32_MAX);
  EXPECT_EQ(engine::CollisionCoordinate(-1e30f), INT32_MIN);
  EXPECT_EQ(engine::CollisionCoordinate(std::numeric_limits<float>::quiet_NaN()), 0);
}

// A full region keeps what fits, says so once, and writes nothing past its end.
TEST_F(Aspects, AFullRegionKeepsWhatFits) {
  std::vector<std::array<float, 3>> vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  std::vector<std::array<uint16_t, 3>> faces(65535, {0, 1, 2});
  ASSERT_TRUE(WriteText(folder / "big.3ds", testing_support::Model3ds(vertices, faces)));
  const engine::VisualFile file = File({{1, "big.3ds"}, {1, "big.3ds"}, {1, "big.3ds"}, {1, "big.3ds"}, {1, "big.3ds"}});
  const uint32_t capacity = core::Describe(core::Region::kAspectData).size / engine::kCollisionFaceBytes;
  uint32_t address = 0;
  int32_t* slot = memory.NextSlot(&address);
  testing::internal::CaptureStderr();
  memory.LoadVisualAspect(file, slot, 0, 1, 0, folder.path());
  int32_t* second = memory.NextSlot(&address);
  memory.LoadVisualAspect(file, second, 1, 1, 0, folder.path());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(static_cast<uint32_t>(slot[engine::kSlotFaceCount]), capacity);
  EXPECT_EQ(second[engine::kSlotFaceCount], 0);
  EXPECT_EQ(memory.DataUsed(), core::Describe(core::Region::kAspectData).size);
  EXPECT_EQ(err, "Not enough aspect memory for " + file.path + "\n");
}

}  // namespace
