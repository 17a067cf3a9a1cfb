// BMP pictures and the play's texture cache. Calls core for files.
#include "engine/pictures/bmp.h"

#include "core/core.h"

namespace engine {

bool DecodeBmp(std::string_view bytes, Picture* picture, std::string* error) {
  *picture = Picture{};
  *error = "BMP decoding is not built yet";
  return false;
}

const TextureCache::Entry* TextureCache::Load(const std::string& path) {
  const auto found = entries_.find(path);
  if (found != entries_.end()) return found->second.get();
  auto entry = std::make_unique<Entry>();
  std::string bytes;
  std::string error;
  if (!core::ReadFile(path, &bytes) || !DecodeBmp(bytes, &entry->picture, &error)) {
    entry->errorPicture = true;
    if (!core::ReadFile(errorPicturePath_, &bytes) || !DecodeBmp(bytes, &entry->picture, &error)) {
      entry->picture.width = entry->picture.height = 1;
      entry->picture.rgba = {255, 0, 255, 255};
    }
  }
  const Entry* result = entry.get();
  entries_.emplace(path, std::move(entry));
  return result;
}

}  // namespace engine
