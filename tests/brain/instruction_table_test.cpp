// The instruction table: rows, flag column, alias routines, stub addresses and the raw form.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "brain/instruction_table.h"
#include "core/core.h"

namespace {

using brain::InstructionRowAt;
using brain::kInstructionRowCount;
using brain::RoutineAddress;
using brain::RowOfName;
using brain::RowOfRoutineAddress;

uint32_t StubBase() { return core::Arena::kGuestBase + core::Describe(core::Region::kRoutineStubs).offset; }

struct Spot {
  int index;
  const char* name;
  int paramCount;
  int ret;
};

TEST(InstructionTable, RowsSitWhereListed) {
  ASSERT_EQ(kInstructionRowCount, 466);
  EXPECT_EQ(InstructionRowAt(-1), nullptr);
  EXPECT_EQ(InstructionRowAt(466), nullptr);
  // First and last row of every group of 20, plus rows whose marking is easy to get wrong.
  const Spot spots[] = {
      {0, "3dbg_color_set", 3, 0},       {19, "camera_fov_set", 2, 1},   {20, "child_pos", 5, 0},
      {39, "divide", 2, 1},              {40, "drag", 2, 0},             {47, "any_input_exit", 1, 0},
      {59, "friction", 2, 0},            {60, "friction_xz", 2, 0},      {79, "join", 2, 0},
      {80, "keyboard", 1, 1},            {99, "over_ground", 2, 0},      {100, "over_ground_g", 3, 0},
      {119, "rebound_y", 1, 0},          {120, "rebound_z", 1, 0},       {139, "save_x", 1, 0},
      {140, "scale_set", 4, 0},          {159, "speed_xz_set", 2, 0},    {160, "spin_copy", 2, 0},
      {179, "state_set", 2, 0},          {180, "state", 2, 1},           {199, "track_yr", 2, 0},
      {200, "translucent", 2, 0},        {219, "visual_picked", 1, 0},   {220, "visual_picked_get", 0, 1},
      {239, "fog_start", 0, 0},          {240, "fog_end", 0, 0},         {259, "over_ground_slope", 3, 0},
      {260, "random", 2, 1},             {275, "year", 0, 0},            {279, "minute", 0, 0},
      {280, "second", 0, 0},             {299, "joy1_dir4", 0, 0},       {300, "joy2_dir1", 0, 0},
      {319, "rebound_yr", 2, 0},         {320, "rebound_yr_factor", 1, 0}, {339, "checkpoint_reset", 0, 0},
      {340, "checkpoint_height_set", 2, 0}, {359, "h_cpart2_set", 5, 0}, {360, "vertex_uv_add", 5, 0},
      {379, "x_element_get", 5, 0},      {380, "rotation_angle", 2, 0},  {399, "a_load", 1, 0},
      {400, "a_save", 2, 0},             {419, "dithering_set", 1, 0},   {420, "specular_set", 1, 0},
      {439, "globals_load", 3, 0},       {440, "str_comp", 3, 0},        {441, "str_len", 1, 0},
      {454, "element", 1, 0},            {459, "network_mismatch", 0, 0}, {460, "network_mode", 0, 0},
      {465, "str_poll", 2, 0},
  };
  for (const Spot& spot : spots) {
    const brain::InstructionRow* row = InstructionRowAt(spot.index);
    ASSERT_NE(row, nullptr) << spot.index;
    EXPECT_STREQ(row->name, spot.name) << spot.index;
    EXPECT_EQ(row->paramCount, spot.paramCount) << spot.name;
    EXPECT_EQ(row->ret, spot.ret) << spot.name;
    EXPECT_EQ(RowOfName(spot.name), spot.index);
  }
  EXPECT_EQ(RowOfName("spin_"), -1);
  EXPECT_EQ(RowOfName("ABS"), -1);
}

TEST(InstructionTable, FlagColumnEdges) {
  const std::pair<int, int> edges[] = {{0, 1},   {1, 0},   {33, 0},  {34, 1},  {44, 1},  {45, 0},  {49, 0},
                                        {50, 1},  {67, 1},  {68, 0},  {69, 1},  {78, 1},  {79, 0},  {80, 1},
                                        {81, 0},  {82, 1},  {132, 1}, {133, 0}, {136, 0}, {137, 1}, {247, 1},
                                        {248, 0}, {249, 1}, {315, 1}, {316, 0}, {465, 0}};
  for (const auto& [index, flag] : edges) EXPECT_EQ(InstructionRowAt(index)->flag, flag) << index;
  int ones = 0;
  for (int i = 0; i < kInstructionRowCount; ++i) ones += InstructionRowAt(i)->flag;
  EXPECT_EQ(ones, 1 + 11 + 18 + 10 + 1 + 51 + 111 + 67);
}

TEST(InstructionTable, AliasesShareOneStubAndNothingElseDoes) {
  const std::vector<std::set<std::string>> groups = {
      {"above_ground_level", "agl", "aglevel"},
      {"absolute_value", "abs"},
      {"boing_x", "rebound_x"},
      {"boing_y", "rebound_y"},
      {"boing_z", "rebound_z"},
      {"credits_add", "score_add"},
      {"credits_set", "score_set"},
      {"credits", "score"},
      {"flat_scale_x", "scale_x"},
      {"flat_scale_y", "scale_y"},
      {"joy_b", "joy1_b"},
      {"samplerate_set", "sound_rate_set"},
      {"speed_set", "velocity_set"},
      {"speed_xz_set", "velocity_set_xz"},
      {"boundary_rebound", "ground_color_rebound"},
      {"hearer", "listener"},
      {"a_kill", "str_kill"},
  };
  std::map<uint32_t, std::set<std::string>> byAddress;
  const uint32_t base = StubBase();
  for (int i = 0; i < kInstructionRowCount; ++i) {
    const uint32_t address = RoutineAddress(i);
    ASSERT_GE(address, base);
    ASSERT_EQ((address - base) % brain::kRoutineStubBytes, 0u);
    ASSERT_LT((address - base) / brain::kRoutineStubBytes, static_cast<uint32_t>(brain::kRoutineStubCount));
    byAddress[address].insert(InstructionRowAt(i)->name);
  }
  std::set<std::set<std::string>> shared;
  for (const auto& [address, names] : byAddress) {
    if (names.size() > 1) shared.insert(names);
  }
  EXPECT_EQ(shared, std::set<std::set<std::string>>(groups.begin(), groups.end()));
  EXPECT_EQ(RoutineAddress(-1), 0u);
  EXPECT_EQ(RoutineAddress(466), 0u);
}

TEST(InstructionTable, StubAddressLeadsBackToTheFirstRowOfItsRoutine) {
  for (int i = 0; i < kInstructionRowCount; ++i) {
    const int row = RowOfRoutineAddress(RoutineAddress(i));
    ASSERT_GE(row, 0) << i;
    EXPECT_LE(row, i);
    EXPECT_EQ(RoutineAddress(row), RoutineAddress(i));
  }
  EXPECT_EQ(RowOfRoutineAddress(RoutineAddress(RowOfName("aglevel"))), RowOfName("above_ground_level"));
  EXPECT_EQ(RowOfRoutineAddress(RoutineAddress(RowOfName("str_kill"))), RowOfName("a_kill"));
  const uint32_t base = StubBase();
  EXPECT_EQ(RowOfRoutineAddress(base), 0);
  EXPECT_EQ(RowOfRoutineAddress(base + 8), -1);   // inside a stub
  EXPECT_EQ(RowOfRoutineAddress(base - 16), -1);  // before the region
  EXPECT_EQ(RowOfRoutineAddress(base + 16 * 3), -1);    // row 3 (abs) uses slot 2
  EXPECT_EQ(RowOfRoutineAddress(base + 16 * 466), -1);  // past the last routine
  EXPECT_EQ(RowOfRoutineAddress(0), -1);
}

TEST(InstructionTable, RawFormBytes) {
  std::vector<uint8_t> raw(brain::kRawTableBytes + 1, 0xAA);
  EXPECT_FALSE(brain::WriteRawInstructionTable(raw.data(), brain::kRawTableBytes - 1));
  EXPECT_EQ(raw[0], 0xAA);
  ASSERT_TRUE(brain::WriteRawInstructionTable(raw.data(), raw.size()));
  EXPECT_EQ(raw.size() - 1, 467u * 36u);

  auto text = [&](int row) { return std::string(reinterpret_cast<const char*>(&raw[row * 36])); };
  auto routine = [&](int row) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= uint32_t{raw[row * 36 + 32 + i]} << (8 * i);
    return value;
  };
  EXPECT_EQ(text(0), "0|3dbg_color_set|3|1|");
  EXPECT_EQ(brain::RowText(0), "0|3dbg_color_set|3|1|");
  EXPECT_EQ(routine(0), StubBase());
  for (int i = 21; i < 32; ++i) EXPECT_EQ(raw[i], 0) << i;
  EXPECT_EQ(text(1), "1|above_ground_level|1|0|");
  EXPECT_EQ(routine(4), routine(1));  // agl
  EXPECT_EQ(routine(3), StubBase() + 2 * 16);
  // The longest text still leaves its terminating zero inside the 32 bytes.
  const int longest = RowOfName("race_next_checkpoint_set");
  EXPECT_EQ(text(longest), "0|race_next_checkpoint_set|2|0|");
  EXPECT_EQ(raw[longest * 36 + 31], 0);
  EXPECT_EQ(text(465), "0|str_poll|2|0|");
  EXPECT_EQ(text(466), "END");
  EXPECT_EQ(routine(466), 0u);
  EXPECT_EQ(raw[467 * 36], 0xAA);  // nothing written past the table
  for (int i = 0; i < kInstructionRowCount; ++i) ASSERT_EQ(raw[i * 36 + 1], '|') << i;
}

}  // namespace
