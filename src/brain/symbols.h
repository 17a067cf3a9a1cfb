// The brain compiler's symbol list: instruction entries rebuilt from the raw instruction table for
// every brain, the brain's variable entries, and name lookup. Calls only the C++ library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brain {

inline constexpr int kSymbolRoom = 602;
// Most entries the instruction part may hold, its "*end*" included, before loading complains.
inline constexpr int kMaxKeywordEntries = 472;

inline constexpr std::string_view kEndEntry = "*end*";

// Slots of the name index: a power of two well above the room, so probe chains stay short.
inline constexpr int kNameSlots = 2048;

// Part of the compiler's state; LoadInstructionTable rebuilds it at the start of every brain.
// Layout of `entries`:
//   [0, keywordCount - 1)          one per table row: "ret|name|nparams|flag|address" (decimal address)
//   keywordCount - 1               "*end*"
//   [keywordCount, count)          the brain's variables: "0|element|0", "kind|name|offset" per
//                                  declaration, "*end*"
// Fields are numbered from 1; field 2 is the name everywhere.
struct SymbolList {
  std::array<std::string, kSymbolRoom> entries;
  int count = 0;
  int keywordCount = 0;
  // Open-addressed index of the instruction entries by name: entry + 1, 0 for an empty slot. It
  // holds the first entry of each name, so a lookup gives what a search in entry order gives.
  // Indices rather than keys keep it valid when the list is copied and free of allocations.
  std::array<int16_t, kNameSlots> nameIndex{};
  // The raw table the instruction part was built from. Every brain of a project loads the same
  // table, and the rebuild costs more than compiling a short brain, so a load of identical bytes
  // keeps the instruction part and the index as they are.
  std::vector<uint8_t> builtFrom;
};

// Text of a value box: "Value: " + `value` in C "%g" form + a line break + `message`.
std::string ValueBoxText(double value, std::string_view message);

// Rebuilds the instruction part from a raw table of 36-byte rows (32 bytes of zero-padded text,
// then a little-endian routine address) read from at most `rawSize` bytes of `rawTable`. A row
// belongs to the table while the second character of its text is '|'; the first row that fails
// this (the "END" row) or the end of the buffer ends it. Variable entries are dropped. Returns the
// count of instruction entries with "*end*" (467 for the built-in table), also kept in
// `keywordCount`. When it exceeds kMaxKeywordEntries, *valueBox receives the "Too many keywords!"
// value-box text with the count, for the caller to show; compiling goes on all the same. Otherwise
// *valueBox is cleared. Rows that would leave no room for "*end*" are not taken.
int LoadInstructionTable(SymbolList* list, const uint8_t* rawTable, size_t rawSize, std::string* valueBox);

// Variable entries, after LoadInstructionTable: BeginVariables drops earlier variable entries and
// adds "0|element|0"; AddVariable adds "kind|name|offset"; EndVariables adds "*end*". Each returns
// false, adding nothing, when the list has no room left.
bool BeginVariables(SymbolList* list);
bool AddVariable(SymbolList* list, int kind, std::string_view name, int32_t offset);
bool EndVariables(SymbolList* list);

// The first variable entry (searching from "0|element|0" up to its "*end*") whose name field is
// `name`, or -1.
int FindVariable(const SymbolList& list, std::string_view name);

// The first instruction entry whose name field equals `name` exactly (the caller has folded it to
// lower case), or -1 with the compile error in *error: "Unknown function/instruction '<name>'!",
// or for an empty name (round brackets with no name in front) the bracket message. *error is left
// alone on success.
int LookupName(const SymbolList& list, std::string_view name, std::string* error);

// Field `field` (from 1) of an entry; empty past its last field or for an entry not in use.
std::string_view EntryField(const SymbolList& list, int entry, int field);
// Field 3 of an instruction entry (nparams) and field 5 (routine address). False when the entry
// is not in use or the field is not a decimal number of the right range.
bool EntryParamCount(const SymbolList& list, int entry, int* paramCount);
bool EntryRoutineAddress(const SymbolList& list, int entry, uint32_t* address);

}  // namespace brain
