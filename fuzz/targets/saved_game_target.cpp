// Fuzz target body: a saved game file. Anything but a file of the exact size is refused whole; a
// file of that size (the input, or the input laid over a zeroed file so that short inputs reach
// it too) restores every word but the kept brain entries, and all the globals. Calls model.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "model/model.h"
#include "targets.h"

namespace fuzzing {
namespace {

std::string CheckRestore(std::string_view bytes) {
  model::SavedGame game;
  if (!model::ParseSavedGame(bytes, &game)) return "a file of the saved game's size was refused";
  std::vector<int32_t> records(256 * model::kRecordWords, 0x5A5A5A5A);
  for (int e = 0; e < 256; ++e) records[static_cast<size_t>(e) * model::kRecordWords + model::kWordBrainEntry] = e;
  std::vector<int32_t> globals(model::kGlobalCount, 0);
  model::RestoreSavedGame(game, records.data(), globals.data());
  for (int e = 0; e < 256; ++e) {
    for (int w = 0; w < model::kRecordWords; ++w) {
      const size_t index = static_cast<size_t>(e) * model::kRecordWords + static_cast<size_t>(w);
      int32_t stored = 0;
      std::memcpy(&stored, bytes.data() + model::kSavedGameRecordsOffset + index * 4, 4);
      const int32_t expected = w == model::kWordBrainEntry ? e : stored;
      if (records[index] != expected) return "record " + std::to_string(e) + " word " + std::to_string(w) + " differs";
    }
  }
  if (std::memcmp(globals.data(), bytes.data() + model::kSavedGameGlobalsOffset, model::kGlobalsBytes) != 0) {
    return "the globals differ";
  }
  int32_t subProject = 0;
  std::memcpy(&subProject, bytes.data(), 4);
  if (game.subProject != subProject) return "the sub-project number differs";
  return {};
}

}  // namespace

std::string FuzzSavedGame(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  model::SavedGame game;
  if (size != model::kSavedGameBytes) {
    if (model::ParseSavedGame(input, &game)) return "a file of " + std::to_string(size) + " bytes was taken";
    std::string padded(model::kSavedGameBytes, '\0');
    std::memcpy(padded.data(), input.data(), std::min(size, padded.size()));
    return CheckRestore(padded);
  }
  return CheckRestore(input);
}

}  // namespace fuzzing
