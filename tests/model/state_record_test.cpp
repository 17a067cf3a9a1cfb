// Play start: element records into state records (units, screen elements, cameras, parameters,
// ranges, the copies after the last element) and the search for animation frames.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/core.h"
#include "model/model.h"
#include "support/temp_folder.h"

namespace {

using model::ElementField;
using model::Project;

constexpr uint32_t kRecordsAddress = 0x00400000;

std::string Record(int32_t type, std::initializer_list<std::pair<int, const char*>> fields) {
  std::string record = model::SetElementField("element|/w/a.a3d|/w/s.wav|-", 36, std::to_string(type));
  for (const auto& [n, text] : fields) record = model::SetElementField(record, n, text);
  return record;
}

struct Played {
  std::vector<int32_t> records = std::vector<int32_t>(256 * 256, 0x55555555);
  std::vector<model::ElementSetup> setups;
  const int32_t* Words(int element) const { return records.data() + element * 256; }
};

Played Fill(Project* project, model::ConversionOptions options = {}) {
  Played played;
  options.recordsAddress = kRecordsAddress;
  EXPECT_TRUE(model::FillStateRecords(project, options, played.records.data(), &played.setups));
  return played;
}

Played FillOne(const std::string& record, model::ConversionOptions options = {}) {
  Project project;
  project.records.push_back(record);
  return Fill(&project, options);
}

TEST(StateRecord, Units) {
  const Played played = FillOne(Record(1, {{5, "1.5"}, {6, "-0.25"}, {7, "5000"}, {11, "90"}, {12, "-0.001"},
                                           {17, "2.5"}, {18, "200000"}, {23, "60"}, {29, "12.9"},
                                           {31, "4294967295"}, {32, "-2.5"}, {33, "3"}, {38, "0/7"}, {43, "0"},
                                           {44, "2.5"}, {47, "5"}, {48, "2"}}));
  const int32_t* w = played.Words(0);
  EXPECT_EQ(w[model::kWordPositionX], 768000);
  EXPECT_EQ(w[model::kWordPositionY], -128000);
  EXPECT_EQ(w[model::kWordPositionZ], INT32_MAX);  // 5 km does not fit: clamped, not wrapped
  EXPECT_EQ(w[model::kWordRotationX], 46080);
  EXPECT_EQ(w[model::kWordRotationY], 0);  // -0.512 truncates toward zero
  EXPECT_EQ(w[model::kWordVelocityX], 42667);
  EXPECT_EQ(w[model::kWordVelocityY], INT32_MAX);
  EXPECT_EQ(w[model::kWordSpinX], 6144);
  EXPECT_EQ(w[model::kWordScore], 12);
  EXPECT_EQ(w[model::kWordIdentity], -1);  // every identity bit reachable
  EXPECT_EQ(w[model::kWordRadius], 2500);
  EXPECT_EQ(w[model::kWordStatus], 0xC1);
  EXPECT_EQ(w[model::kWordLastFrame], 7);
  EXPECT_EQ(w[model::kWordScaleX], 1000);  // absent
  EXPECT_EQ(w[model::kWordScaleY], 1000);  // zero
  EXPECT_EQ(w[model::kWordScaleZ], 2500);
  EXPECT_EQ(w[model::kWordNetworkFlags], 5);
  EXPECT_EQ(w[model::kWordOwner], 2);
  EXPECT_EQ(w[0], 0);  // cleared; the aspect is set up later
}

TEST(StateRecord, ScreenElementsReadPlainIntegersExceptTheRadius) {
  for (int32_t type : {model::kTypeSprite, model::kTypeCounter}) {
    const Played played = FillOne(Record(type, {{5, "100"}, {6, "100.7"}, {11, "90"}, {29, "7"}, {32, "1.5"}}));
    const int32_t* w = played.Words(0);
    EXPECT_EQ(w[model::kWordPositionX], 100) << type;
    EXPECT_EQ(w[model::kWordPositionY], 100) << type;
    EXPECT_EQ(w[model::kWordRotationX], 90) << type;
    EXPECT_EQ(w[model::kWordScore], 7) << type;
    EXPECT_EQ(w[model::kWordRadius], 1500) << type;
  }
}

TEST(StateRecord, CameraNeedsSevenTypeDataItems) {
  Project project;
  project.records.push_back(Record(0, {{37, "160/120/479/359/0/20&40/7"}, {38, "1/5"}}));
  project.records.push_back(Record(0, {{37, "160/120/479/359/0/20&40"}, {38, "1/1"}}));
  project.records.push_back(Record(0, {{37, "160/120/479/359/0/20&40/7/8"}, {38, "1/1"}}));
  model::ConversionOptions options;
  options.displayMode = 16;
  const Played played = Fill(&project, options);
  const model::CameraSetup& camera = played.setups[0].camera;
  EXPECT_TRUE(played.setups[0].cameraReady);
  EXPECT_EQ(camera.left, 160);  // cameras stay in 640 x 480 units
  EXPECT_EQ(camera.bottom, 359);
  EXPECT_EQ(camera.pairSecond, 40);
  EXPECT_EQ(camera.extra, 7);
  EXPECT_EQ(played.Words(0)[model::kWordStatus], 0xE0);  // translucent from field 38
  EXPECT_EQ(played.Words(0)[model::kWordLastFrame], 0);
  for (int i : {1, 2}) {
    EXPECT_FALSE(played.setups[i].cameraReady) << i;
    EXPECT_EQ(ElementField(project.records[i], 38), "0") << i;
    EXPECT_EQ(played.Words(i)[model::kWordStatus], 0xC0) << i;
  }
}

TEST(StateRecord, SpriteAndBackgroundRectanglesScaleWithTheDisplay) {
  const std::pair<int32_t, std::vector<int32_t>> modes[] = {
      {2, {100, 50, 299, 149}}, {8, {125, 62, 373, 186}}, {32, {160, 80, 478, 238}}};
  for (const auto& [mode, expected] : modes) {
    for (int32_t type : {model::kTypeSprite, model::kTypeBackground, model::kTypeCounter}) {
      model::ConversionOptions options;
      options.displayMode = mode;
      const Played played = FillOne(Record(type, {{37, "100/50/299/149/32x16"}}), options);
      // Counters keep their items unscaled: leading divisor, point divisor and sign flag in words
      // 15 to 17, word 18 left alone.
      const bool scaled = type != model::kTypeCounter;
      const int32_t unscaled[4] = {100, 50, 299, 149};
      for (int i = 0; i < 4; ++i) {
        const int32_t want = scaled ? expected[i] : unscaled[i];
        EXPECT_EQ(played.setups[0].rectangle[i], want) << mode << " " << type << " " << i;
        EXPECT_EQ(played.Words(0)[model::kWordExtent0 + i], scaled || i < 3 ? want : 0) << mode << " " << type;
      }
      EXPECT_EQ(played.setups[0].width, 32);
      EXPECT_EQ(played.setups[0].height, 16);
    }
  }
}

TEST(StateRecord, BrainParameters) {
  Project project;
  project.records.push_back(Record(1, {{35, "8/1/3/1020/2/42/1016/3/1.5/8/4/90/1012/5/1/1008/6/60/1004/7/2mt/1000/"
                                             "0/-5/300"}}));
  // Offsets that would put a byte outside the record are refused: 253 + 768, 1021, 1024, -4.
  project.records.push_back(Record(1, {{35, "4/2/9/253/2/9/1024/2/9/-4/2/9/1021"}}));
  project.records.push_back(Record(1, {}));
  const Played played = Fill(&project);
  const int32_t* w = played.Words(0);
  EXPECT_EQ(static_cast<uint32_t>(w[255]), kRecordsAddress + 3 * 1024);
  EXPECT_EQ(w[254], 42);
  EXPECT_EQ(w[194], 768000);  // offset 8 counts from byte 768
  EXPECT_EQ(w[253], 46080);
  EXPECT_EQ(w[252], 17067);
  EXPECT_EQ(w[251], 6144);
  EXPECT_EQ(w[250], 0);  // the working variable waits for the brain compiler
  ASSERT_EQ(played.setups[0].variables.size(), 1u);
  EXPECT_EQ(played.setups[0].variables[0].byteOffset, 1000);
  EXPECT_EQ(played.setups[0].variables[0].text, "2mt");
  EXPECT_EQ(w[75], -5);  // offsets above 255 are taken as they are
  for (int word = 192; word < 256; ++word) EXPECT_EQ(played.Words(1)[word], 0) << word;
  EXPECT_EQ(played.Words(0)[255 + 1], 0);
  EXPECT_EQ(played.Words(2)[0], 0);
}

TEST(StateRecord, RangesOnlyDuringPlayAndOnlyWhenPositive) {
  std::vector<uint8_t> table(core::kRandomTableBytes + 4, 0);
  table[2] = 0x04;  // word at 1: 1024 -> 512; word at 2: 4 -> 2
  core::RandomSource random{table.data(), 0, 0};
  const std::string record = Record(1, {{5, "0"}, {8, "0.001"}, {6, "1"}, {9, "0"}, {29, "10"}, {30, "2"}});
  model::ConversionOptions options;
  options.random = &random;
  const Played still = FillOne(record, options);
  EXPECT_EQ(still.Words(0)[model::kWordPositionX], 0);
  EXPECT_EQ(still.Words(0)[model::kWordScore], 10);
  EXPECT_EQ(random.cursor, 0u);

  options.playing = true;
  const Played drawn = FillOne(record, options);
  EXPECT_EQ(drawn.Words(0)[model::kWordPositionX], 512);     // random(-512, 512) from 512
  EXPECT_EQ(drawn.Words(0)[model::kWordPositionY], 512000);  // range 0: no draw
  EXPECT_EQ(drawn.Words(0)[model::kWordScore], 12);          // random(8, 12) from 2
  EXPECT_EQ(random.cursor, 2u);
}

TEST(StateRecord, LaterRecordsCopyTheLastElement) {
  Project project;
  project.records.push_back(Record(1, {{5, "1"}}));
  project.records.push_back(Record(1, {{5, "2"}, {31, "9"}}));
  const Played played = Fill(&project);
  EXPECT_EQ(played.Words(0)[model::kWordPositionX], 512000);
  for (int i = 2; i < 256; ++i) ASSERT_EQ(std::memcmp(played.Words(i), played.Words(1), 1024), 0) << i;
  EXPECT_EQ(played.Words(255)[model::kWordIdentity], 9);

  project.records.assign(257, Record(1, {}));
  std::vector<int32_t> records(256 * 256, 7);
  EXPECT_FALSE(model::FillStateRecords(&project, {}, records.data(), nullptr));
  EXPECT_EQ(records[0], 7);
}

TEST(StateRecord, AspectFramesCountUpToTheFirstGap) {
  testing_support::TempFolder folder("frames");
  ASSERT_TRUE(folder.ok()) << folder.error();
  const std::string base = folder / "walk.";
  const char* suffixes[] = {"pcx", "002", "003", "005"};
  for (const char* suffix : suffixes) {
    std::FILE* file = std::fopen((base + suffix).c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
  }
  std::string record = Record(5, {{38, "0/1"}});
  EXPECT_EQ(model::FindAspectFrames(&record, base + "pcx"), 3);
  EXPECT_EQ(ElementField(record, 38), "0/3");
  EXPECT_EQ(model::CountAspectFrames(folder / "still.pcx"), 1);
}

// Word names are the keys of the "named" object of a state dump and of the records listing: plain
// lower-case identifiers, none twice, none for the pocket and local ranges or unused words.
TEST(StateRecord, WordNamesAreDistinctKeys) {
  std::set<std::string> seen;
  for (int word = -1; word <= model::kRecordWords; ++word) {
    const char* name = model::WordName(word);
    if (name == nullptr) continue;
    SCOPED_TRACE(name);
    EXPECT_GE(word, 0);
    EXPECT_LT(word, model::kWordPockets);
    EXPECT_TRUE(seen.insert(name).second) << "named twice";
    EXPECT_EQ(std::string(name).find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_"), std::string::npos);
  }
  EXPECT_EQ(seen.size(), 44u);
  for (int word : {27, int{model::kWordPockets}, int{model::kWordLocalsFirst}, 255}) {
    EXPECT_EQ(model::WordName(word), nullptr) << word;
  }
  EXPECT_STREQ(model::WordName(model::kWordCurrentAspect), "current_aspect");
  EXPECT_STREQ(model::WordName(model::kWordPositionX), "position_x");
  EXPECT_STREQ(model::WordName(model::kWordSoundFrequency), "sound_frequency");
  EXPECT_STREQ(model::WordName(model::kWordSignals), "signals");
}

}  // namespace
