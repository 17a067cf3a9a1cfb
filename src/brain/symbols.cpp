// The brain compiler's symbol list: loading the instruction entries, variable entries, lookup.
// Calls only the C++ library.
#include "brain/symbols.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "brain/instruction_table.h"

namespace brain {
namespace {

constexpr std::string_view kUnknownNamePrefix = "Unknown function/instruction '";
// Word for word, misspelling included: this is the message text users see.
constexpr std::string_view kRoundBracketsMessage =
    "Square brackets '[' exected but round brackets '(' found instead!";

std::string_view Field(std::string_view text, int field) {
  if (field < 1) return {};
  size_t start = 0;
  for (int i = 1; i < field; ++i) {
    const size_t bar = text.find('|', start);
    if (bar == std::string_view::npos) return {};
    start = bar + 1;
  }
  const size_t end = text.find('|', start);
  return text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

// The whole text as an unsigned decimal number; false for empty text, other characters or overflow.
bool ParseDecimal(std::string_view text, uint32_t* value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const std::from_chars_result result = std::from_chars(text.data(), end, *value);
  return result.ec == std::errc() && result.ptr == end;
}

// FNV-1a: names are short, and the index needs no more than a fair spread.
uint32_t NameHash(std::string_view name) {
  uint32_t hash = 2166136261u;
  for (char c : name) hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
  return hash;
}

constexpr uint32_t kSlotMask = kNameSlots - 1;
static_assert((kNameSlots & kSlotMask) == 0 && kNameSlots > 2 * kSymbolRoom);

// Adds `entry` under its name unless an earlier entry already has that name.
void IndexName(SymbolList* list, int entry) {
  const std::string_view name = Field(list->entries[entry], 2);
  for (uint32_t slot = NameHash(name) & kSlotMask;; slot = (slot + 1) & kSlotMask) {
    const int held = list->nameIndex[slot] - 1;
    if (held < 0) {
      list->nameIndex[slot] = static_cast<int16_t>(entry + 1);
      return;
    }
    if (Field(list->entries[held], 2) == name) return;
  }
}

// The table is the one the instruction part was built from.
bool SameTable(const SymbolList& list, const uint8_t* rawTable, size_t rawSize) {
  return rawTable != nullptr && rawSize > 0 && list.keywordCount > 0 && list.builtFrom.size() == rawSize &&
         std::memcmp(list.builtFrom.data(), rawTable, rawSize) == 0;
}

void ReportTooManyKeywords(const SymbolList& list, std::string* valueBox) {
  if (list.keywordCount > kMaxKeywordEntries && valueBox != nullptr) {
    *valueBox = ValueBoxText(list.keywordCount, "Too many keywords!");
  }
}

bool Append(SymbolList* list, std::string_view text) {
  if (list == nullptr || list->count >= kSymbolRoom) return false;
  list->entries[list->count++].assign(text);
  return true;
}

}  // namespace

std::string ValueBoxText(double value, std::string_view message) {
  char number[64];
  std::snprintf(number, sizeof number, "%g", value);
  std::string text = "Value: ";
  text += number;
  text += '\n';
  text += message;
  return text;
}

// Called at the start of every brain. Only this function writes the instruction part, so the bytes
// it was built from give it again and a reload of them only drops the variables. A rebuild avoids
// allocations: entry strings keep their capacity from the previous brain and the name index is a
// fixed array.
int LoadInstructionTable(SymbolList* list, const uint8_t* rawTable, size_t rawSize, std::string* valueBox) {
  if (valueBox != nullptr) valueBox->clear();
  if (list == nullptr) return 0;
  if (SameTable(*list, rawTable, rawSize)) {
    list->count = list->keywordCount;
    ReportTooManyKeywords(*list, valueBox);
    return list->keywordCount;
  }
  list->nameIndex.fill(0);
  if (rawTable == nullptr) {
    list->builtFrom.clear();
  } else {
    list->builtFrom.assign(rawTable, rawTable + rawSize);
  }

  // The list's room bounds the table part: a larger table would otherwise run past the entries.
  const size_t rowsInBuffer = rawTable == nullptr ? 0 : rawSize / kRawRowBytes;
  const size_t maxRows = std::min<size_t>(rowsInBuffer, kSymbolRoom - 1);
  int rows = 0;
  for (; static_cast<size_t>(rows) < maxRows; ++rows) {
    const uint8_t* raw = rawTable + rows * kRawRowBytes;
    // A text that fills all 32 bytes has no terminating zero; it ends at the routine field.
    const void* zero = std::memchr(raw, 0, kRawTextBytes);
    const size_t length = zero == nullptr ? kRawTextBytes : static_cast<const uint8_t*>(zero) - raw;
    if (length < 2 || raw[1] != '|') break;
    uint32_t routine = 0;
    for (int i = 0; i < 4; ++i) routine |= uint32_t{raw[kRawTextBytes + i]} << (8 * i);

    char digits[16];
    const std::to_chars_result printed = std::to_chars(digits, digits + sizeof digits, routine);
    std::string& entry = list->entries[rows];
    entry.assign(reinterpret_cast<const char*>(raw), length);
    entry.append(digits, printed.ptr);
    IndexName(list, rows);
  }
  list->entries[rows].assign(kEndEntry);
  list->keywordCount = rows + 1;
  list->count = list->keywordCount;
  ReportTooManyKeywords(*list, valueBox);
  return list->keywordCount;
}

bool BeginVariables(SymbolList* list) {
  if (list == nullptr) return false;
  list->count = list->keywordCount;
  return Append(list, "0|element|0");
}

bool AddVariable(SymbolList* list, int kind, std::string_view name, int32_t offset) {
  if (list == nullptr || list->count >= kSymbolRoom) return false;
  std::string text = std::to_string(kind);
  text += '|';
  text += name;
  text += '|';
  text += std::to_string(offset);
  return Append(list, text);
}

bool EndVariables(SymbolList* list) { return Append(list, kEndEntry); }

int FindVariable(const SymbolList& list, std::string_view name) {
  for (int i = list.keywordCount; i < list.count; ++i) {
    // Stop at the end entry: its missing name field would otherwise match an empty name.
    if (list.entries[i] == kEndEntry) break;
    if (Field(list.entries[i], 2) == name) return i;
  }
  return -1;
}

int LookupName(const SymbolList& list, std::string_view name, std::string* error) {
  // The index never holds more than the room, which is far below the slot count, so every probe
  // chain ends at an empty slot.
  for (uint32_t slot = NameHash(name) & kSlotMask;; slot = (slot + 1) & kSlotMask) {
    const int held = list.nameIndex[slot] - 1;
    if (held < 0) break;
    if (held < list.keywordCount && Field(list.entries[held], 2) == name) return held;
  }
  if (error != nullptr) {
    if (name.empty()) {
      error->assign(kRoundBracketsMessage);
    } else {
      error->assign(kUnknownNamePrefix);
      error->append(name);
      error->append("'!");
    }
  }
  return -1;
}

std::string_view EntryField(const SymbolList& list, int entry, int field) {
  if (entry < 0 || entry >= list.count) return {};
  return Field(list.entries[entry], field);
}

bool EntryParamCount(const SymbolList& list, int entry, int* paramCount) {
  uint32_t value = 0;
  if (paramCount == nullptr || !ParseDecimal(EntryField(list, entry, 3), &value) || value > INT32_MAX) return false;
  *paramCount = static_cast<int>(value);
  return true;
}

bool EntryRoutineAddress(const SymbolList& list, int entry, uint32_t* address) {
  uint32_t value = 0;
  if (address == nullptr || !ParseDecimal(EntryField(list, entry, 5), &value)) return false;
  *address = value;
  return true;
}

}  // namespace brain
