// Element records: field access, type names, thousandths numbers, the default camera and the
// insertion of an element into a project. Calls only the standard library.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

#include "model/model.h"

namespace model {
namespace {

// Start of field n (from 1) or npos when the record has fewer fields.
size_t FieldStart(std::string_view record, int n, char separator) {
  size_t start = 0;
  for (int field = 1; field < n; ++field) {
    const size_t next = record.find(separator, start);
    if (next == std::string_view::npos) return std::string_view::npos;
    start = next + 1;
  }
  return start;
}

std::vector<std::string_view> SplitItems(std::string_view text, char separator) {
  std::vector<std::string_view> items;
  size_t start = 0;
  for (;;) {
    const size_t next = text.find(separator, start);
    if (next == std::string_view::npos) {
      items.push_back(text.substr(start));
      return items;
    }
    items.push_back(text.substr(start, next - start));
    start = next + 1;
  }
}

// A reference value is renumbered only when it is written as a plain index; other text would be
// changed into a number it never was.
bool ReadIndex(std::string_view text, int32_t* index) {
  if (text.empty() || text.size() > 9) return false;
  int32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  *index = value;
  return true;
}

// Moves every element-reference parameter of the record that points at first..last one index up.
// Done in one pass over the parameter list, which gives the same result as renumbering one index
// at a time from the highest down: no value is moved twice.
void RenumberReferences(std::string* record, int32_t first, int32_t last) {
  const std::string parameters = ElementField(*record, 35);
  std::vector<std::string_view> items = SplitItems(parameters, '/');
  const int32_t count = ParseInteger(items[0]);
  std::vector<std::string> replaced(items.size());
  bool changed = false;
  for (int64_t j = 0; j < count; ++j) {
    const size_t kind = static_cast<size_t>(3 * j + 1);
    if (kind + 1 >= items.size()) break;
    int32_t index = 0;
    if (items[kind] != "1" || !ReadIndex(items[kind + 1], &index)) continue;
    if (index < first || index > last) continue;
    replaced[kind + 1] = std::to_string(index + 1);
    items[kind + 1] = replaced[kind + 1];
    changed = true;
  }
  if (!changed) return;
  std::string joined;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) joined += '/';
    joined += items[i];
  }
  *record = SetElementField(*record, 35, joined);
}

}  // namespace

std::string ElementField(std::string_view record, int n, char separator) {
  if (n < 1) return std::string();
  const size_t start = FieldStart(record, n, separator);
  if (start == std::string_view::npos) return std::string();
  const size_t end = record.find(separator, start);
  return std::string(record.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

std::string SetElementField(std::string_view record, int n, std::string_view text, char separator) {
  std::string result(record);
  if (n < 1) return result;
  size_t start = 0;
  for (int field = 1; field < n; ++field) {
    const size_t next = result.find(separator, start);
    if (next == std::string::npos) {
      result.append(static_cast<size_t>(n - field), separator);
      result.append(text);
      return result;
    }
    start = next + 1;
  }
  const size_t end = result.find(separator, start);
  result.replace(start, end == std::string::npos ? std::string::npos : end - start, text);
  return result;
}

const char* ElementTypeName(int32_t type) {
  static constexpr const char* kNames[] = {
      "CAMERA-type element",     "3D-SHAPE-type element", "FLAT-SHAPE-type element", "SHADOW-type element",
      "",                        "SPRITE-type element",   "FRAME-type element",      "BACKGROUND-type element",
      "COUNTER-type element",    "TRACK-type element",    "LIGHT-type element",      "VISUAL-type element",
      "BOUNDARY-type element",
  };
  if (type < 0 || type >= static_cast<int32_t>(std::size(kNames))) return "";
  return kNames[type];
}

int32_t ParseMilli(std::string_view text) {
  const int64_t thousandths = ParseThousandths(text);
  return static_cast<int32_t>(std::clamp<int64_t>(thousandths, INT32_MIN, INT32_MAX));
}

std::string DefaultCameraRecord(const std::string& workingFolder) {
  return workingFolder + "cameras/default_.03d|" + workingFolder +
         "sounds/null_.wav|-|0|0|0|0|0|0|0.000|0|0.000|0|0|0|0.000|0.000|0.000|0|0|0|0.000|0.000|0.000|0|0|0|"
         "0|0|1|0|1|0|1/1/2/1020|0|160/120/479/359/0/20&40/7|0/1|4096/2/50/0|14815378";
}

bool InsertElement(Project* project, uint8_t* collisionMap, const std::string& record, int32_t index) {
  if (project == nullptr) return false;
  const int32_t count = static_cast<int32_t>(project->records.size());
  if (count >= kMaxElements || index < 0 || index > count) return false;
  const int32_t oldLast = count - 1;

  project->records.insert(project->records.begin() + index, record);

  // Appending (the loader's case) moves nothing, so no reference needs renumbering; skipping the
  // parse keeps loading linear.
  if (index <= oldLast) {
    for (std::string& text : project->records) RenumberReferences(&text, index, oldLast);
  }

  // Rows and columns index..oldLast move to index+1..oldLast+1; oldLast + 1 <= 255 because a full
  // project was refused above, so every move stays inside the 256 x 256 map.
  constexpr size_t kSide = 256;
  const size_t moved = static_cast<size_t>(count - index);
  const size_t at = static_cast<size_t>(index);
  if (collisionMap != nullptr) {
    std::memmove(collisionMap + (at + 1) * kSide, collisionMap + at * kSide, moved * kSide);
    std::memset(collisionMap + at * kSide, 0, kSide);
    for (size_t row = 0; row < kSide; ++row) {
      uint8_t* line = collisionMap + row * kSide;
      std::memmove(line + at + 1, line + at, moved);
      line[at] = 0;
    }
  }
  std::memmove(project->elementBytes + at + 1, project->elementBytes + at, moved);
  project->elementBytes[at] = 0;

  if (index < project->mergeFirst) ++project->mergeFirst;
  if (index < project->mergeLast) ++project->mergeLast;
  return true;
}

}  // namespace model
