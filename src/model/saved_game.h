// Saved games: the file a `save` writes and a `resume` restores, with the sub-project being played,
// the element that hears the sounds, the 256 element state records and the 2048 globals.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/globals.h"
#include "model/state_record.h"

namespace model {

// Layout of "currN.dat", little-endian: sub-project, listener, records, globals.
inline constexpr size_t kSavedGameRecordsOffset = 8;
inline constexpr size_t kSavedGameRecordsBytes = static_cast<size_t>(kRecordBytes) * 256;
inline constexpr size_t kSavedGameGlobalsOffset = kSavedGameRecordsOffset + kSavedGameRecordsBytes;  // 262152
inline constexpr size_t kSavedGameBytes = kSavedGameGlobalsOffset + kGlobalsBytes;                   // 270344

// The working folder + "curr" + the slot in decimal + ".dat".
std::string SavedGamePath(const std::string& workingFolder, int32_t slot);

// The file's bytes from the state of a play: `records` holds 256 records, `globals` 2048 values.
std::string SavedGameBytes(int32_t subProject, int32_t listener, const int32_t* records, const int32_t* globals);

// What a saved game holds. Only a file of exactly kSavedGameBytes is one: anything shorter or
// longer is refused whole, so a restore never reads past a short file or takes a padded one.
struct SavedGame {
  int32_t subProject = 0;
  int32_t listener = 0;
  std::string_view records;  // kSavedGameRecordsBytes, into the bytes given to ParseSavedGame
  std::string_view globals;  // kGlobalsBytes
};
bool ParseSavedGame(std::string_view bytes, SavedGame* game);
// The whole-file check a resume makes before using any of a saved game: ParseSavedGame, a
// sub-project of 0 or more whose level file exists in `workingFolder`, a listener of 0..255.
bool CheckSavedGame(std::string_view bytes, const std::string& workingFolder, SavedGame* game);

// Restores a saved game over the records and globals of a play: the 256 records are replaced
// except for each record's brain entry (word 21), which belongs to the fresh compilation.
void RestoreSavedGame(const SavedGame& game, int32_t* records, int32_t* globals);

}  // namespace model
