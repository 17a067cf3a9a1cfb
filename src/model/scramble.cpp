// Word scrambling of a finished game's data files, and plain file copies. Calls only core/files.
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/core.h"
#include "model/model.h"

namespace model {
namespace {

constexpr uint32_t kScrambleKey = 0x5A17C3E9u;

uint32_t RotateLeft(uint32_t value, int count) { return (value << count) | (value >> (32 - count)); }

[[maybe_unused]] uint32_t LoadWord(const std::string& bytes, size_t at) {
  uint32_t word = 0;
  for (int i = 0; i < 4; ++i) word |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
  return word;
}

[[maybe_unused]] void StoreWord(std::string* bytes, size_t at, uint32_t word) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<char>(static_cast<uint8_t>(word >> (8 * i)));
}

// Only whole little-endian words are transformed; the one to three bytes after the last whole word
// (and so a file shorter than a word) are kept as they are, which is what finished games store.
// Whole words in place; a last part shorter than a word stays as it is. On a little-endian host
// the words are the bytes as they lie, which lets the compiler run the loop on vectors (a built
// game scrambles tens of megabytes).
template <typename Transform>
void TransformWords(std::string* bytes, Transform transform) {
  const size_t words = bytes->size() / 4;
  if constexpr (std::endian::native == std::endian::little) {
    char* data = bytes->data();
    for (size_t i = 0; i < words; ++i) {
      uint32_t word;
      std::memcpy(&word, data + i * 4, 4);
      word = transform(word);
      std::memcpy(data + i * 4, &word, 4);
    }
  } else {
    for (size_t at = 0; at < words * 4; at += 4) StoreWord(bytes, at, transform(LoadWord(*bytes, at)));
  }
}

// Reads the whole source before the target is written, so source and target may be the same file.
template <typename Transform>
bool TransformFile(const std::string& source, const std::string& target, Transform transform) {
  if (!core::FileExists(source)) return false;
  std::string bytes;
  if (!core::ReadFile(source, &bytes)) return false;
  transform(&bytes);
  return core::WriteFileAtomic(target, bytes);
}

}  // namespace

// Rotations by 13 on the way in and 19 on the way out add up to a whole turn, so the pair is exact.
void ScrambleBytes(std::string* bytes) {
  TransformWords(bytes, [](uint32_t word) { return RotateLeft(word ^ kScrambleKey, 13); });
}

void UnscrambleBytes(std::string* bytes) {
  TransformWords(bytes, [](uint32_t word) { return RotateLeft(word, 19) ^ kScrambleKey; });
}

bool ScrambleFile(const std::string& source, const std::string& target) {
  return TransformFile(source, target, ScrambleBytes);
}

bool UnscrambleFile(const std::string& source, const std::string& target) {
  return TransformFile(source, target, UnscrambleBytes);
}

bool CopyFile(const std::string& source, const std::string& target) {
  return TransformFile(source, target, [](std::string*) {});
}

}  // namespace model
