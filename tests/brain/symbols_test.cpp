// The symbol list: loading raw tables, name lookup and its messages, variable entries and the room.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "brain/instruction_table.h"
#include "brain/symbols.h"

namespace {

using brain::LoadInstructionTable;
using brain::LookupName;
using brain::SymbolList;

std::vector<uint8_t> BuiltInTable() {
  std::vector<uint8_t> raw(brain::kRawTableBytes);
  EXPECT_TRUE(brain::WriteRawInstructionTable(raw.data(), raw.size()));
  return raw;
}

// A raw table of the given row texts and routines, with an "END" row unless told otherwise.
std::vector<uint8_t> RawTable(const std::vector<std::pair<std::string, uint32_t>>& rows, bool endRow = true) {
  std::vector<uint8_t> raw((rows.size() + (endRow ? 1 : 0)) * brain::kRawRowBytes, 0);
  for (size_t r = 0; r < rows.size(); ++r) {
    uint8_t* at = &raw[r * brain::kRawRowBytes];
    std::memcpy(at, rows[r].first.data(), std::min<size_t>(rows[r].first.size(), brain::kRawTextBytes));
    for (int i = 0; i < 4; ++i) at[brain::kRawTextBytes + i] = static_cast<uint8_t>(rows[r].second >> (8 * i));
  }
  if (endRow) std::memcpy(&raw[rows.size() * brain::kRawRowBytes], "END", 3);
  return raw;
}

std::vector<uint8_t> RowsOfNames(int count) {
  std::vector<std::pair<std::string, uint32_t>> rows;
  for (int i = 0; i < count; ++i) rows.push_back({"0|f" + std::to_string(i) + "|1|0|", 0x400000u + i});
  return RawTable(rows);
}

class Symbols : public ::testing::Test {
 protected:
  void SetUp() override {
    list = std::make_unique<SymbolList>();
    const std::vector<uint8_t> raw = BuiltInTable();
    std::string box = "stale";
    ASSERT_EQ(LoadInstructionTable(list.get(), raw.data(), raw.size(), &box), 467);
    EXPECT_EQ(box, "");
  }
  std::unique_ptr<SymbolList> list;
};

TEST_F(Symbols, EntriesCarryTheRowTextAndDecimalAddress) {
  EXPECT_EQ(list->entries[0], "0|3dbg_color_set|3|1|" + std::to_string(brain::RoutineAddress(0)));
  EXPECT_EQ(list->entries[465], "0|str_poll|2|0|" + std::to_string(brain::RoutineAddress(465)));
  EXPECT_EQ(list->entries[466], "*end*");
  EXPECT_EQ(list->count, 467);
  for (int i = 0; i < brain::kInstructionRowCount; ++i) {
    int params = -1;
    uint32_t address = 0;
    ASSERT_TRUE(brain::EntryParamCount(*list, i, &params));
    ASSERT_TRUE(brain::EntryRoutineAddress(*list, i, &address));
    EXPECT_EQ(params, brain::InstructionRowAt(i)->paramCount);
    EXPECT_EQ(address, brain::RoutineAddress(i));
  }
  int params = 0;
  EXPECT_FALSE(brain::EntryParamCount(*list, 466, &params));  // "*end*"
  EXPECT_FALSE(brain::EntryParamCount(*list, 467, &params));  // not in use
  EXPECT_EQ(brain::EntryField(*list, 3, 2), "abs");
  EXPECT_EQ(brain::EntryField(*list, 3, 6), "");
}

TEST_F(Symbols, LookupMatchesWholeNamesAndAliasesShareTheRoutine) {
  std::string error;
  uint32_t absRoutine = 0, longRoutine = 0;
  ASSERT_TRUE(brain::EntryRoutineAddress(*list, LookupName(*list, "abs", &error), &absRoutine));
  ASSERT_TRUE(brain::EntryRoutineAddress(*list, LookupName(*list, "absolute_value", &error), &longRoutine));
  EXPECT_EQ(absRoutine, longRoutine);
  EXPECT_EQ(LookupName(*list, "abs", &error), 3);
  EXPECT_EQ(LookupName(*list, "spin_x", &error), 162);
  EXPECT_EQ(LookupName(*list, "spin_x_add", &error), 165);
  EXPECT_EQ(LookupName(*list, "first_element", &error), 51);
  EXPECT_EQ(error, "");  // untouched by successful lookups
  for (const char* partial : {"spin_", "spin_x_", "spin_x_ad", "spin_x_add_", "*end*", "ABS", "abs ", "3", "1"}) {
    EXPECT_EQ(LookupName(*list, partial, nullptr), -1) << partial;
  }
  // Every name finds its own row, also in a copy of the list (the index must not point into the
  // original).
  const auto copy = std::make_unique<SymbolList>(*list);
  list.reset();
  for (int i = 0; i < brain::kInstructionRowCount; ++i) {
    EXPECT_EQ(LookupName(*copy, brain::InstructionRowAt(i)->name, nullptr), i);
  }
}

TEST_F(Symbols, LookupFailureMessages) {
  std::string error;
  EXPECT_EQ(LookupName(*list, "fly_away", &error), -1);
  EXPECT_EQ(error, "Unknown function/instruction 'fly_away'!");
  EXPECT_EQ(LookupName(*list, "", &error), -1);
  EXPECT_EQ(error, "Square brackets '[' exected but round brackets '(' found instead!");
}

TEST(SymbolsRaw, FirstRowOfADuplicateNameWins) {
  const std::vector<uint8_t> raw = RawTable({{"0|dup|1|0|", 100}, {"1|dup|2|1|", 200}, {"0||0|0|", 300}});
  SymbolList list;
  ASSERT_EQ(LoadInstructionTable(&list, raw.data(), raw.size(), nullptr), 4);
  uint32_t routine = 0;
  std::string error;
  ASSERT_TRUE(brain::EntryRoutineAddress(list, LookupName(list, "dup", &error), &routine));
  EXPECT_EQ(routine, 100u);
  // A row with an empty name field is found like any other; only a miss gives the bracket message.
  EXPECT_EQ(LookupName(list, "", &error), 2);
  EXPECT_EQ(error, "");
}

TEST(SymbolsRaw, WhereTheTableEnds) {
  SymbolList list;
  // The first row whose second character is not '|' ends the table, even with rows after it.
  std::vector<uint8_t> raw = RawTable({{"0|a|0|0|", 1}, {"10|b|0|0|", 2}, {"0|c|0|0|", 3}});
  EXPECT_EQ(LoadInstructionTable(&list, raw.data(), raw.size(), nullptr), 2);
  EXPECT_EQ(LookupName(list, "c", nullptr), -1);
  // Without an end row the buffer's end ends the table; a partial row is not read.
  raw = RawTable({{"0|a|0|0|", 1}, {"0|b|0|0|", 2}}, false);
  raw.resize(raw.size() + 20, '|');
  EXPECT_EQ(LoadInstructionTable(&list, raw.data(), raw.size(), nullptr), 3);
  EXPECT_EQ(list.entries[2], "*end*");
  EXPECT_EQ(LoadInstructionTable(&list, nullptr, 0, nullptr), 1);
  // A text using all 32 bytes ends at the routine field rather than running into it.
  const std::string full = "0|abcdefghijklmnopqrstuvwxy|1|0|";
  ASSERT_EQ(full.size(), 32u);
  raw = RawTable({{full, 7}});
  EXPECT_EQ(LoadInstructionTable(&list, raw.data(), raw.size(), nullptr), 2);
  EXPECT_EQ(list.entries[0], full + "7");
}

// A second load of the same bytes keeps the instruction part; changed bytes, even in the same
// buffer, rebuild it; either way the variables of the last brain are gone.
TEST(SymbolsRaw, ReloadingDropsVariablesAndFollowsChangedBytes) {
  SymbolList list;
  std::string box;
  std::vector<uint8_t> raw = RowsOfNames(480);
  ASSERT_EQ(LoadInstructionTable(&list, raw.data(), raw.size(), &box), 481);
  ASSERT_TRUE(brain::BeginVariables(&list));
  ASSERT_TRUE(brain::AddVariable(&list, 0, "f3", 1020));
  ASSERT_TRUE(brain::EndVariables(&list));
  box.clear();
  EXPECT_EQ(LoadInstructionTable(&list, raw.data(), raw.size(), &box), 481);
  EXPECT_EQ(list.count, 481);
  EXPECT_EQ(box, "Value: 481\nToo many keywords!");
  EXPECT_EQ(LookupName(list, "f3", nullptr), 3);
  EXPECT_EQ(brain::FindVariable(list, "f3"), -1);

  raw[3 * brain::kRawRowBytes + 2] = 'g';  // row 3 becomes "g3"
  raw[10 * brain::kRawRowBytes + 1] = '-';  // row 10 ends the table
  EXPECT_EQ(LoadInstructionTable(&list, raw.data(), raw.size(), &box), 11);
  EXPECT_EQ(box, "");
  EXPECT_EQ(LookupName(list, "f3", nullptr), -1);
  EXPECT_EQ(LookupName(list, "g3", nullptr), 3);
  EXPECT_EQ(LookupName(list, "f12", nullptr), -1);
  EXPECT_EQ(list.entries[10], "*end*");
  EXPECT_EQ(LoadInstructionTable(&list, nullptr, 0, nullptr), 1);
  EXPECT_EQ(LookupName(list, "g3", nullptr), -1);
}

TEST(SymbolsRaw, TooManyKeywordsIsReportedAndLoadingGoesOn) {
  SymbolList list;
  std::string box;
  std::vector<uint8_t> raw = RowsOfNames(471);
  EXPECT_EQ(LoadInstructionTable(&list, raw.data(), raw.size(), &box), 472);
  EXPECT_EQ(box, "");
  raw = RowsOfNames(472);
  EXPECT_EQ(LoadInstructionTable(&list, raw.data(), raw.size(), &box), 473);
  EXPECT_EQ(box, "Value: 473\nToo many keywords!");
  raw = RowsOfNames(473);
  EXPECT_EQ(LoadInstructionTable(&list, raw.data(), raw.size(), &box), 474);
  EXPECT_EQ(box, "Value: 474\nToo many keywords!");
  EXPECT_EQ(LookupName(list, "f472", nullptr), 472);
  EXPECT_EQ(list.entries[473], "*end*");
}

TEST(SymbolsRaw, TableLargerThanTheRoomStopsAtTheRoom) {
  SymbolList list;
  std::string box;
  const std::vector<uint8_t> raw = RowsOfNames(700);
  EXPECT_EQ(LoadInstructionTable(&list, raw.data(), raw.size(), &box), brain::kSymbolRoom);
  EXPECT_EQ(box, "Value: 602\nToo many keywords!");
  EXPECT_EQ(list.entries[601], "*end*");
  EXPECT_EQ(LookupName(list, "f600", nullptr), 600);
  EXPECT_EQ(LookupName(list, "f601", nullptr), -1);
  EXPECT_FALSE(brain::BeginVariables(&list));
  EXPECT_EQ(list.count, brain::kSymbolRoom);
}

TEST_F(Symbols, VariableEntries) {
  ASSERT_TRUE(brain::BeginVariables(list.get()));
  ASSERT_TRUE(brain::AddVariable(list.get(), 2, "lives", 1020));
  ASSERT_TRUE(brain::AddVariable(list.get(), 0, "count", 1016));
  ASSERT_TRUE(brain::AddVariable(list.get(), 0, "lives", 1012));
  ASSERT_TRUE(brain::EndVariables(list.get()));
  EXPECT_EQ(list->entries[467], "0|element|0");
  EXPECT_EQ(list->entries[468], "2|lives|1020");
  EXPECT_EQ(list->entries[471], "*end*");
  EXPECT_EQ(brain::FindVariable(*list, "element"), 467);
  EXPECT_EQ(brain::FindVariable(*list, "lives"), 468);  // the first declaration wins
  EXPECT_EQ(brain::FindVariable(*list, "count"), 469);
  EXPECT_EQ(brain::FindVariable(*list, ""), -1);        // not the "*end*" entry
  EXPECT_EQ(brain::FindVariable(*list, "abs"), -1);     // instructions are not variables
  EXPECT_EQ(LookupName(*list, "lives", nullptr), -1);   // and variables are not instructions
  // The next brain starts without them.
  const std::vector<uint8_t> raw = BuiltInTable();
  EXPECT_EQ(LoadInstructionTable(list.get(), raw.data(), raw.size(), nullptr), 467);
  EXPECT_EQ(list->count, 467);
  EXPECT_EQ(brain::FindVariable(*list, "lives"), -1);
}

TEST_F(Symbols, RoomOf602Entries) {
  // The most a brain can declare (128) fits with its first and end entries.
  ASSERT_TRUE(brain::BeginVariables(list.get()));
  for (int k = 1; k <= 128; ++k) ASSERT_TRUE(brain::AddVariable(list.get(), 0, "v" + std::to_string(k), 1024 - 4 * k));
  ASSERT_TRUE(brain::EndVariables(list.get()));
  EXPECT_EQ(list->count, 597);
  // Filling the rest: the 602nd entry goes in, the 603rd is refused without changing anything.
  ASSERT_TRUE(brain::BeginVariables(list.get()));
  int added = 0;
  while (brain::AddVariable(list.get(), 0, "x", 0)) ++added;
  EXPECT_EQ(added, brain::kSymbolRoom - 468);
  EXPECT_EQ(list->count, brain::kSymbolRoom);
  EXPECT_FALSE(brain::EndVariables(list.get()));
  EXPECT_EQ(list->count, brain::kSymbolRoom);
}

TEST(SymbolsValueBox, NumberInPercentGForm) {
  EXPECT_EQ(brain::ValueBoxText(79999, "Warning!"), "Value: 79999\nWarning!");
  EXPECT_EQ(brain::ValueBoxText(1234567, "m"), "Value: 1.23457e+06\nm");
  EXPECT_EQ(brain::ValueBoxText(-2.5, ""), "Value: -2.5\n");
}

}  // namespace
