// The sprite and counter instructions on prepared slots: the clip rectangle's argument order,
// translucency, picture sizes by kind, sprite picking inside the clip rectangle and the screen, and
// the counter that is last under the pointer.
#include "routine_fixture.h"

#include "engine/engine.h"

namespace {

class SpriteInstructions : public testing_support::RoutineTest {
 protected:
  void SetUp() override {
    RoutineTest::SetUp();
    engine.play->aspects.Reset(&arena);
    engine.project.records.assign(4, "");
    for (int i = 0; i < 4; ++i) Record(i)[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn | model::kStatusVisible);
  }
  // Gives `element` a new slot prepared by `prepare` and points it there.
  template <typename Prepare>
  int32_t* Show(int element, Prepare&& prepare) {
    uint32_t address = 0;
    int32_t* slot = engine.play->aspects.NextSlot(&address);
    prepare(slot);
    Record(element)[model::kWordCurrentAspect] = static_cast<int32_t>(address);
    Record(element)[model::kWordFirstAspect] = static_cast<int32_t>(address);
    return slot;
  }
  static engine::PcxPicture Picture(int width, int height, std::vector<uint8_t> pixels) {
    engine::PcxPicture picture;
    picture.width = width;
    picture.height = height;
    picture.pixels = std::move(pixels);
    return picture;
  }
  // 3 x 2 with a hole at its top-left pixel.
  void ShowSprite(int element, int x, int y) {
    Show(element, [&](int32_t* slot) {
      ASSERT_TRUE(engine::PrepareSprite(&engine.play->aspects, Picture(3, 2, {0, 1, 1, 1, 1, 1}), engine.display.format, slot));
    });
    Record(element)[model::kWordPositionX] = x;
    Record(element)[model::kWordPositionY] = y;
    ASSERT_EQ(Call("sprite_clip_set", Address(element), 0, 639, 0, 479), 0);
  }
  // Thirteen glyphs of two columns, the second the marker; one row high.
  void ShowCounter(int element, int x, int y, int32_t value) {
    std::vector<uint8_t> pixels;
    for (int g = 0; g < 13; ++g) pixels.insert(pixels.end(), {7, 255});
    Show(element, [&](int32_t* slot) {
      ASSERT_TRUE(engine::PrepareCounter(&engine.play->aspects, Picture(26, 1, pixels), engine.display.format, slot));
    });
    int32_t* record = Record(element);
    record[model::kWordPositionX] = x;
    record[model::kWordPositionY] = y;
    record[model::kWordScore] = value;
    record[model::kWordExtent0] = 10;  // two digits
  }
  void Point(int x, int y) {
    engine.mouseX = x;
    engine.mouseY = y;
  }
};

TEST_F(SpriteInstructions, ClipRectangleWordsAndTranslucency) {
  // Arguments: sprite, x1, x2, y1, y2; words 15 to 18 hold x1, y1, x2, y2.
  EXPECT_EQ(Call("sprite_clip_set", Address(1), 10, 30, 20, 40), 0);
  EXPECT_EQ(Call("sprite_clip_x1", Address(1)), 10);
  EXPECT_EQ(Call("sprite_clip_y1", Address(1)), 20);
  EXPECT_EQ(Call("sprite_clip_x2", Address(1)), 30);
  EXPECT_EQ(Call("sprite_clip_y2", Address(1)), 40);
  Call("translucent", Address(1), 3);
  EXPECT_EQ(Record(1)[model::kWordStatus] & 0x20, 0x20);
  Call("translucent", Address(1), 2);
  EXPECT_EQ(Record(1)[model::kWordStatus] & 0x20, 0);
  // An argument that names no element answers 0.
  EXPECT_EQ(Call("sprite_clip_x1", 0), 0);
}

TEST_F(SpriteInstructions, DimensionsOfTheShownPictureOnlyForSprites) {
  ShowSprite(1, 0, 0);
  EXPECT_EQ(Call("sprite_dim_x", Address(1)), 3);
  EXPECT_EQ(Call("sprite_dim_y", Address(1)), 2);
  ShowCounter(2, 0, 0, 0);
  EXPECT_EQ(Call("sprite_dim_x", Address(2)), 0);
  EXPECT_EQ(Call("sprite_dim_y", Address(3)), 0) << "no slot at all";
}

TEST_F(SpriteInstructions, SpritePickedOnDrawnPixelsOfShownSprites) {
  ShowSprite(1, 100, 50);
  Point(101, 50);
  EXPECT_EQ(Call("sprite_picked", Address(1)), -1);
  Point(100, 50);
  EXPECT_EQ(Call("sprite_picked", Address(1)), 0) << "a transparent pixel";
  Point(102, 51);
  EXPECT_EQ(Call("sprite_picked", Address(1)), -1);
  Call("sprite_clip_set", Address(1), 0, 101, 0, 479);
  EXPECT_EQ(Call("sprite_picked", Address(1)), 0) << "outside the clip rectangle";
  Call("sprite_clip_set", Address(1), 0, 5000, 0, 5000);
  Point(101, 50);
  Record(1)[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn);
  EXPECT_EQ(Call("sprite_picked", Address(1)), 0) << "hidden";
  // Partly off the screen: the pointer never reaches beyond it.
  Record(1)[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn | model::kStatusVisible);
  Record(1)[model::kWordPositionX] = 638;
  Point(640, 50);
  EXPECT_EQ(Call("sprite_picked", Address(1)), 0);
  Point(639, 50);
  EXPECT_EQ(Call("sprite_picked", Address(1)), -1);
}

TEST_F(SpriteInstructions, CounterPickedIsTheLastCounterUnderThePointer) {
  ShowCounter(1, 100, 10, 42);  // glyph boxes 100..101 and 102..103
  ShowCounter(2, 102, 10, 5);   // glyphs 0 and 5 at 102..105
  Point(100, 10);
  EXPECT_EQ(Call("counter_picked", Address(1)), -1);
  EXPECT_EQ(Call("counter_picked", Address(2)), 0);
  Point(103, 10);
  EXPECT_EQ(Call("counter_picked", Address(1)), 0) << "a later counter covers it";
  EXPECT_EQ(Call("counter_picked", Address(2)), -1);
  Point(104, 11);
  EXPECT_EQ(Call("counter_picked", Address(2)), 0) << "below the glyphs";
  Record(2)[model::kWordStatus] = 0;
  Point(103, 10);
  EXPECT_EQ(Call("counter_picked", Address(1)), -1) << "an off counter is not under the pointer";
}

}  // namespace
