// The brain instruction table: the fixed rows that bind each instruction name to its parameter
// count and routine stub, and their raw 36-byte form. Calls only core/arena for the stub region.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace brain {

// One row. Every row is a call the compiler accepts; `ret` only records that the name is meant as
// a function whose result an expression uses (the compiler never consults it: any call yields what
// its routine returns). `flag` is a second marking carried in the row text and never consulted.
// Alias rows share one routine and therefore one `routineId`: the index of the first row that has
// that routine, so ids stay below the row count and each id names exactly one routine stub.
struct InstructionRow {
  uint8_t ret;
  const char* name;     // lower-case letters, digits and '_'
  uint8_t paramCount;   // 0..5: arguments travel in EAX, EBX, ECX, EDX, ESI
  uint8_t flag;
  uint16_t routineId;
};

inline constexpr int kInstructionRowCount = 466;
inline constexpr int kMaxCallParams = 5;

// Raw form: per row 32 bytes of text "ret|name|nparams|flag|" padded with zero bytes, then the
// routine's 32-bit guest address, little endian; after the last row an end row with the text "END"
// and routine 0.
inline constexpr size_t kRawTextBytes = 32;
inline constexpr size_t kRawRowBytes = 36;
inline constexpr size_t kRawTableBytes = (kInstructionRowCount + 1) * kRawRowBytes;

// Routine stubs: one 16-byte slot per routine id in the arena's routine-stub region.
inline constexpr uint32_t kRoutineStubBytes = 16;
inline constexpr int kRoutineStubCount = 512;
static_assert(kInstructionRowCount <= kRoutineStubCount, "every routine id needs a stub slot");

// Row `row` (0..465), or nullptr outside the table.
const InstructionRow* InstructionRowAt(int row);

// Index of the row named exactly `name` (names are unique), or -1. A linear scan meant for set-up
// and tests; the compiler looks names up through its symbol list.
int RowOfName(std::string_view name);

// Guest address of the row's routine stub: the stub region's address + 16 * routine id, so alias
// rows give the same address. 0 (never a guest address) for a row outside the table.
uint32_t RoutineAddress(int row);

// The first row whose routine stub starts at `address`, or -1 for any other address (outside the
// stub region, inside a stub, or a stub slot no routine uses).
int RowOfRoutineAddress(uint32_t address);

// The row's text "ret|name|nparams|flag|", e.g. "0|3dbg_color_set|3|1|"; empty outside the table.
std::string RowText(int row);

// Writes the raw table (the 466 rows and the end row, kRawTableBytes bytes) to `out`. False, with
// nothing written, when `capacity` is smaller.
bool WriteRawInstructionTable(uint8_t* out, size_t capacity);

}  // namespace brain
