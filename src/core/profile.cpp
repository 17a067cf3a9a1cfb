// Profile (INI) file reading and writing.
#include "core/profile.h"

#include <cctype>
#include <cstdlib>

#include "core/files.h"
#include "core/text.h"

namespace core {
namespace {

std::string_view Trim(std::string_view text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && (text[first] == ' ' || text[first] == '\t')) ++first;
  while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t' || text[last - 1] == '\r')) --last;
  return text.substr(first, last - first);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// "[Name]" (blanks allowed around it) gives Name; anything else is not a header.
std::optional<std::string_view> HeaderName(std::string_view line) {
  std::string_view t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return std::nullopt;
  const size_t close = t.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(t.substr(1, close - 1));
}

// For a "key=value" line, the key and the value; comments and garbage give nothing.
bool SplitKey(std::string_view line, std::string_view* key, std::string_view* value) {
  const std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';') return false;
  const size_t eq = t.find('=');
  if (eq == std::string_view::npos) return false;
  *key = Trim(t.substr(0, eq));
  *value = Trim(t.substr(eq + 1));
  return !key->empty();
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool ProfileFile::Load(const std::string& path) {
  std::string text;
  const bool ok = ReadFile(path, &text);
  Parse(text);
  return ok;
}

void ProfileFile::Parse(std::string_view text) {
  lines_.clear();
  std::string section;
  size_t start = 0;
  std::string_view raw;
  while (NextLine(text, &start, &raw)) {
    Line line{std::string(raw), section, false};
    if (auto name = HeaderName(raw)) {
      section = std::string(*name);
      line.section = section;
      line.isHeader = true;
    }
    lines_.push_back(std::move(line));
  }
}

long ProfileFile::FindKey(std::string_view section, std::string_view key) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    std::string_view k, v;
    if (!line.isHeader && SameName(line.section, section) && SplitKey(line.text, &k, &v) && SameName(k, key)) {
      return static_cast<long>(i);
    }
  }
  return -1;
}

std::optional<std::string> ProfileFile::GetString(std::string_view section, std::string_view key) const {
  const long index = FindKey(section, key);
  if (index < 0) return std::nullopt;
  std::string_view k, v;
  SplitKey(lines_[static_cast<size_t>(index)].text, &k, &v);
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  return std::string(v);
}

int32_t ProfileFile::GetInt(std::string_view section, std::string_view key, int32_t fallback) const {
  const auto text = GetString(section, key);
  if (!text || text->empty()) return fallback;
  char* end = nullptr;
  const long long value = std::strtoll(text->c_str(), &end, 10);
  if (end == text->c_str()) return fallback;
  return static_cast<int32_t>(value);
}

std::string ProfileFile::EncodeStruct(const void* data, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::string text;
  text.reserve(2 * (size + 1));
  unsigned sum = 0;
  for (size_t i = 0; i <= size; ++i) {
    const uint8_t b = i < size ? bytes[i] : static_cast<uint8_t>(sum & 0xFF);
    if (i < size) sum += b;
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 15]);
  }
  return text;
}

bool ProfileFile::DecodeStruct(std::string_view text, void* out, size_t size) {
  if (text.size() != 2 * (size + 1)) return false;
  std::vector<uint8_t> bytes(size + 1);
  for (size_t i = 0; i <= size; ++i) {
    const int hi = HexDigit(text[2 * i]);
    const int lo = HexDigit(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes[i] = static_cast<uint8_t>(hi * 16 + lo);
  }
  unsigned sum = 0;
  for (size_t i = 0; i < size; ++i) sum += bytes[i];
  if ((sum & 0xFF) != bytes[size]) return false;
  for (size_t i = 0; i < size; ++i) static_cast<uint8_t*>(out)[i] = bytes[i];
  return true;
}

bool ProfileFile::GetStruct(std::string_view section, std::string_view key, void* out, size_t size) const {
  const auto text = GetString(section, key);
  return text && DecodeStruct(*text, out, size);
}

bool ProfileFile::GetStructInt(std::string_view section, std::string_view key, int32_t* out) const {
  uint8_t bytes[4];
  if (!GetStruct(section, key, bytes, sizeof bytes)) return false;
  *out = static_cast<int32_t>(uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
                              uint32_t{bytes[3]} << 24);
  return true;
}

void ProfileFile::SetString(std::string_view section, std::string_view key, std::string_view value) {
  std::string text = std::string(key) + "=" + std::string(value);
  const long index = FindKey(section, key);
  if (index >= 0) {
    lines_[static_cast<size_t>(index)].text = std::move(text);
    return;
  }
  // After the last non-blank line of the section, so the blank line before the next header stays.
  long header = -1;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].isHeader && SameName(lines_[i].section, section)) {
      header = static_cast<long>(i);
      break;
    }
  }
  if (header < 0) {
    if (!lines_.empty() && !Trim(lines_.back().text).empty()) lines_.push_back(Line{"", lines_.back().section, false});
    lines_.push_back(Line{"[" + std::string(section) + "]", std::string(section), true});
    lines_.push_back(Line{std::move(text), std::string(section), false});
    return;
  }
  const std::string owner = lines_[static_cast<size_t>(header)].section;
  size_t insert = static_cast<size_t>(header) + 1;
  for (size_t i = insert; i < lines_.size() && !lines_[i].isHeader; ++i) {
    if (!Trim(lines_[i].text).empty()) insert = i + 1;
  }
  lines_.insert(lines_.begin() + static_cast<long>(insert), Line{std::move(text), owner, false});
}

void ProfileFile::SetStruct(std::string_view section, std::string_view key, const void* data, size_t size) {
  SetString(section, key, EncodeStruct(data, size));
}

void ProfileFile::SetStructInt(std::string_view section, std::string_view key, int32_t value) {
  const uint32_t v = static_cast<uint32_t>(value);
  const uint8_t bytes[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                            static_cast<uint8_t>(v >> 24)};
  SetStruct(section, key, bytes, sizeof bytes);
}

std::string ProfileFile::Text() const {
  std::string text;
  for (const Line& line : lines_) {
    text += line.text;
    text += "\r\n";
  }
  return text;
}

bool ProfileFile::Save(const std::string& path) const { return WriteFileAtomic(path, Text()); }

}  // namespace core
