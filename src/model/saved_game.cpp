// Saved game files: building, checking and restoring them. Calls core/files only.
#include "model/saved_game.h"

#include <cstdio>
#include <cstring>

#include "core/core.h"

namespace model {
namespace {

void PutWord(std::string* bytes, size_t at, int32_t value) {
  const auto word = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) (*bytes)[at + static_cast<size_t>(i)] = static_cast<char>(word >> (8 * i));
}

int32_t GetWord(std::string_view bytes, size_t at) {
  uint32_t word = 0;
  for (int i = 0; i < 4; ++i) word |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)])) << (8 * i);
  return static_cast<int32_t>(word);
}

}  // namespace

std::string SavedGamePath(const std::string& workingFolder, int32_t slot) {
  return workingFolder + "curr" + std::to_string(slot) + ".dat";
}

// Records and globals are the host's own int32 arrays, stored as they lie in memory: the engine
// runs on little-endian machines only, as the brains' memory model already requires.
std::string SavedGameBytes(int32_t subProject, int32_t listener, const int32_t* records, const int32_t* globals) {
  std::string bytes(kSavedGameBytes, '\0');
  PutWord(&bytes, 0, subProject);
  PutWord(&bytes, 4, listener);
  std::memcpy(bytes.data() + kSavedGameRecordsOffset, records, kSavedGameRecordsBytes);
  std::memcpy(bytes.data() + kSavedGameGlobalsOffset, globals, kGlobalsBytes);
  return bytes;
}

bool ParseSavedGame(std::string_view bytes, SavedGame* game) {
  if (bytes.size() != kSavedGameBytes) return false;
  game->subProject = GetWord(bytes, 0);
  game->listener = GetWord(bytes, 4);
  game->records = bytes.substr(kSavedGameRecordsOffset, kSavedGameRecordsBytes);
  game->globals = bytes.substr(kSavedGameGlobalsOffset, kGlobalsBytes);
  return true;
}

bool CheckSavedGame(std::string_view bytes, const std::string& workingFolder, SavedGame* game) {
  if (!ParseSavedGame(bytes, game)) return false;
  if (game->subProject < 0 || game->listener < 0 || game->listener > 255) return false;
  char level[32];
  std::snprintf(level, sizeof level, "level%03d.prj", game->subProject);
  return core::FileExists(workingFolder + level);
}

void RestoreSavedGame(const SavedGame& game, int32_t* records, int32_t* globals) {
  int32_t entries[256];
  for (int i = 0; i < 256; ++i) entries[i] = records[i * kRecordWords + kWordBrainEntry];
  std::memcpy(records, game.records.data(), kSavedGameRecordsBytes);
  for (int i = 0; i < 256; ++i) records[i * kRecordWords + kWordBrainEntry] = entries[i];
  std::memcpy(globals, game.globals.data(), kGlobalsBytes);
}

}  // namespace model
