// Profile (INI) files in the Windows private-profile format: "[Section]" lines and "key=value"
// lines, names matched without regard to case. A rewritten file keeps every line it does not
// change, unknown sections and keys included. Calls only core/files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

class ProfileFile {
 public:
  // Reads the file. A missing or unreadable file gives an empty profile and false; garbage lines
  // are kept as they are and never match a key.
  bool Load(const std::string& path);
  void Parse(std::string_view text);

  // The value with surrounding blanks removed (and one pair of enclosing double quotes), or
  // nothing when the section or key is absent.
  std::optional<std::string> GetString(std::string_view section, std::string_view key) const;
  // Decimal value of the key, or `fallback` when it is absent or does not start with a number.
  int32_t GetInt(std::string_view section, std::string_view key, int32_t fallback) const;
  // The "struct" form: `size` bytes written as two upper-case hexadecimal digits each, followed by
  // a checksum byte, the sum of the bytes modulo 256. False (and `out` untouched) when the key is
  // absent, the length is not exactly 2 * (size + 1) digits, a digit is bad or the checksum wrong.
  bool GetStruct(std::string_view section, std::string_view key, void* out, size_t size) const;
  bool GetStructInt(std::string_view section, std::string_view key, int32_t* out) const;

  // Replaces the key's value in place, or adds the key at the end of its section, or adds the
  // section at the end of the file.
  void SetString(std::string_view section, std::string_view key, std::string_view value);
  void SetStruct(std::string_view section, std::string_view key, const void* data, size_t size);
  void SetStructInt(std::string_view section, std::string_view key, int32_t value);

  // The file text, lines ended by CR LF.
  std::string Text() const;
  // Writes Text() safely (temporary file, then rename). False on failure; the old file is kept.
  bool Save(const std::string& path) const;

  static std::string EncodeStruct(const void* data, size_t size);
  static bool DecodeStruct(std::string_view text, void* out, size_t size);

 private:
  struct Line {
    std::string text;
    std::string section;  // the section it belongs to (for a header line, its own name)
    bool isHeader = false;
  };
  // Index of the key's line, or -1.
  long FindKey(std::string_view section, std::string_view key) const;

  std::vector<Line> lines_;
};

}  // namespace core
