// Play start: element records into element state records, the numbers of record fields and the
// search for animation frames. Calls the random source and core::FileExists.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/core.h"
#include "model/model.h"

namespace model {

// A word listed twice does not compile: the switch refuses a duplicate case.
const char* WordName(int word) {
  switch (word) {
#define VEXEL_RECORD_WORD_CASE(constant, number, name) case constant: return name;
    VEXEL_RECORD_WORDS(VEXEL_RECORD_WORD_CASE)
#undef VEXEL_RECORD_WORD_CASE
    default: return nullptr;
  }
}

namespace {

// Larger thousandths are saturated: times 17067, the largest unit factor, this stays below 2^63.
constexpr int64_t kThousandthsLimit = int64_t{1} << 44;

enum class Unit { kPosition, kAngle, kVelocity, kSpin, kCredits, kIdentity, kRadius, kScale };

struct FieldRule {
  int field;
  int rangeField;  // 0: no random spread
  int word;
  Unit unit;
};

// The numeric fields in conversion order; random draws follow this order, so it fixes which
// table bytes each range consumes.
constexpr FieldRule kFieldRules[] = {
    {5, 8, kWordPositionX, Unit::kPosition},   {6, 9, kWordPositionY, Unit::kPosition},
    {7, 10, kWordPositionZ, Unit::kPosition},  {11, 14, kWordRotationX, Unit::kAngle},
    {12, 15, kWordRotationY, Unit::kAngle},    {13, 16, kWordRotationZ, Unit::kAngle},
    {17, 20, kWordVelocityX, Unit::kVelocity}, {18, 21, kWordVelocityY, Unit::kVelocity},
    {19, 22, kWordVelocityZ, Unit::kVelocity}, {23, 26, kWordSpinX, Unit::kSpin},
    {24, 27, kWordSpinY, Unit::kSpin},         {25, 28, kWordSpinZ, Unit::kSpin},
    {29, 30, kWordScore, Unit::kCredits},      {31, 0, kWordIdentity, Unit::kIdentity},
    {32, 0, kWordRadius, Unit::kRadius},       {42, 0, kWordScaleX, Unit::kScale},
    {43, 0, kWordScaleY, Unit::kScale},        {44, 0, kWordScaleZ, Unit::kScale},
};

// Parameter kinds of field 35.
enum ParameterKind : int32_t {
  kKindInteger = 0,
  kKindElement = 1,
  kKindInteger2 = 2,
  kKindMetres = 3,
  kKindDegrees = 4,
  kKindMetresPerSecond = 5,
  kKindRevolutionsPerMinute = 6,
  kKindVariable = 7,
};

int32_t Clamp32(int64_t value) { return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)); }

// Converts one field text. Screen elements hold pixels and plain numbers, so only their radius
// (millimetres, like every other element's) goes through the thousandths.
int32_t ConvertField(std::string_view text, Unit unit, bool screen) {
  if (unit == Unit::kRadius) {
    const int64_t thousandths = ParseThousandths(text);
    return Clamp32(thousandths < 0 ? -thousandths : thousandths);
  }
  // Identity bits are a mask: every bit pattern must be reachable, so they wrap like integers.
  if (screen || unit == Unit::kIdentity) return ParseInteger(text);
  const int64_t thousandths = ParseThousandths(text);
  switch (unit) {
    case Unit::kPosition: return Clamp32(thousandths * 512);
    case Unit::kAngle: return Clamp32(thousandths * 512 / 1000);
    case Unit::kVelocity: return Clamp32(thousandths * 17067 / 1000);
    case Unit::kSpin: return Clamp32(thousandths * 1024 / 10000);
    case Unit::kCredits: return Clamp32(thousandths / 1000);
    default: return Clamp32(thousandths);
  }
}

// Byte offset of a parameter in the state record: small offsets count from word 192, where the
// brain's variables lie. Offsets that would put any byte of the word outside the record are
// refused, so a damaged configuration cannot write into the neighbouring element.
bool ParameterOffset(std::string_view text, int32_t* offset) {
  int32_t value = ParseInteger(text);
  if (value < 0) return false;
  if (value < 256) value += 768;
  if (value > kRecordBytes - 4) return false;
  *offset = value;
  return true;
}

void StoreWord(int32_t* words, int32_t byteOffset, int32_t value) {
  std::memcpy(reinterpret_cast<uint8_t*>(words) + byteOffset, &value, sizeof value);
}

std::vector<std::string_view> SplitItems(std::string_view text, char separator) {
  std::vector<std::string_view> items;
  size_t start = 0;
  for (size_t next; (next = text.find(separator, start)) != std::string_view::npos; start = next + 1) {
    items.push_back(text.substr(start, next - start));
  }
  items.push_back(text.substr(start));
  return items;
}

void ApplyParameters(std::string_view parameters, const ConversionOptions& options, int32_t* words,
                     ElementSetup* setup) {
  const std::vector<std::string_view> items = SplitItems(parameters, '/');
  const int32_t count = ParseInteger(items[0]);
  // A count larger than the list would only read empty items; parameters stop with the last
  // complete triple.
  for (size_t j = 0; j < static_cast<size_t>(std::max(count, 0)) && 3 * j + 3 < items.size(); ++j) {
    const int32_t kind = ParseInteger(items[3 * j + 1]);
    const std::string_view value = items[3 * j + 2];
    int32_t offset = 0;
    if (!ParameterOffset(items[3 * j + 3], &offset)) continue;
    switch (kind) {
      case kKindInteger:
      case kKindInteger2: StoreWord(words, offset, ParseInteger(value)); break;
      case kKindElement: {
        const uint32_t address = options.recordsAddress + static_cast<uint32_t>(ParseInteger(value)) * kRecordBytes;
        StoreWord(words, offset, static_cast<int32_t>(address));
        break;
      }
      case kKindMetres: StoreWord(words, offset, ConvertField(value, Unit::kPosition, false)); break;
      case kKindDegrees: StoreWord(words, offset, ConvertField(value, Unit::kAngle, false)); break;
      case kKindMetresPerSecond: StoreWord(words, offset, ConvertField(value, Unit::kVelocity, false)); break;
      case kKindRevolutionsPerMinute: StoreWord(words, offset, ConvertField(value, Unit::kSpin, false)); break;
      case kKindVariable: setup->variables.push_back(PendingVariable{offset, std::string(value)}); break;
      default: break;  // unknown kinds carry no meaning; the word keeps 0
    }
  }
}

int32_t DisplayScale(int32_t displayMode) {
  if (displayMode == 4 || displayMode == 8) return 125;
  if (displayMode == 16 || displayMode == 32) return 160;
  return 100;
}

int32_t CountItems(std::string_view text, char separator) {
  return static_cast<int32_t>(std::count(text.begin(), text.end(), separator)) + 1;
}

void ApplyTypeData(std::string* record, int32_t type, const ConversionOptions& options, int32_t* words,
                   ElementSetup* setup) {
  const std::string data = ElementField(*record, 37);
  const bool camera = type == kTypeCamera;
  const bool scaled = type == kTypeSprite || type == kTypeBackground;
  const bool sized = scaled || type == kTypeCounter;
  if (!camera && !sized) return;

  const int32_t scale = scaled ? DisplayScale(options.displayMode) : 100;
  for (int i = 0; i < 4; ++i) {
    const int64_t value = ParseInteger(ElementField(data, i + 1, '/'));
    setup->rectangle[i] = Clamp32(value * scale / 100);
  }
  if (scaled) {
    // The rectangle is the sprite's clip rectangle and the background's fill rectangle.
    for (int i = 0; i < 4; ++i) words[kWordExtent0 + i] = setup->rectangle[i];
  } else if (type == kTypeCounter) {
    // A counter's first three items, unscaled: leading divisor, point divisor, sign flag.
    for (int i = 0; i < 3; ++i) words[kWordExtent0 + i] = setup->rectangle[i];
  }
  if (sized) {
    const std::string size = ElementField(data, 5, '/');
    setup->width = ParseInteger(ElementField(size, 1, 'x'));
    setup->height = ParseInteger(ElementField(size, 2, 'x'));
  }
  if (camera) {
    if (CountItems(data, '/') != 7) {
      *record = SetElementField(*record, 38, "0");
      return;
    }
    CameraSetup& items = setup->camera;
    items.left = setup->rectangle[0];
    items.top = setup->rectangle[1];
    items.right = setup->rectangle[2];
    items.bottom = setup->rectangle[3];
    items.value = ParseInteger(ElementField(data, 5, '/'));
    const std::string pair = ElementField(data, 6, '/');
    items.pairFirst = ParseInteger(ElementField(pair, 1, '&'));
    items.pairSecond = ParseInteger(ElementField(pair, 2, '&'));
    items.extra = ParseInteger(ElementField(data, 7, '/'));
    setup->cameraReady = true;
  }
}

void ConvertElement(std::string* record, const ConversionOptions& options, int32_t* words, ElementSetup* setup) {
  const int32_t type = ParseInteger(ElementField(*record, 36));
  const bool screen = type == kTypeSprite || type == kTypeCounter;
  setup->type = type;

  const bool drawRanges = options.playing && options.random != nullptr;
  for (const FieldRule& rule : kFieldRules) {
    int32_t value = ConvertField(ElementField(*record, rule.field), rule.unit, screen);
    if (drawRanges && rule.rangeField != 0) {
      const int32_t range = ConvertField(ElementField(*record, rule.rangeField), rule.unit, screen);
      if (range > 0) value = options.random->Random(Clamp32(int64_t{value} - range), Clamp32(int64_t{value} + range));
    }
    if (rule.unit == Unit::kScale && value == 0) value = 1000;
    words[rule.word] = value;
  }

  uint32_t status = kStatusVisible | kStatusCollisions;
  if (ParseInteger(ElementField(*record, 33)) & 1) status |= kStatusOn;

  ApplyParameters(ElementField(*record, 35), options, words, setup);
  // May rewrite field 38 of a camera that cannot be set up, so field 38 is read after it.
  ApplyTypeData(record, type, options, words, setup);

  const std::string frames = ElementField(*record, 38);
  if (type == kTypeCamera) {
    if (ParseInteger(ElementField(frames, 1, '/')) & 1) status |= kStatusTranslucent;
  } else {
    words[kWordLastFrame] = ParseInteger(ElementField(frames, 2, '/'));
  }

  words[kWordNetworkFlags] = ParseInteger(ElementField(*record, 47));
  words[kWordOwner] = ParseInteger(ElementField(*record, 48));
  words[kWordStatus] = static_cast<int32_t>(status);
}

struct Decimal {
  bool negative = false;
  uint64_t integer = 0;      // saturated well above any thousandths limit
  uint32_t integerLow = 0;   // the integer part modulo 2^32
  int32_t fraction = 0;      // first three decimals, as thousandths
};

Decimal ReadDecimal(std::string_view text) {
  Decimal number;
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) number.negative = text[i++] == '-';
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const uint32_t digit = static_cast<uint32_t>(text[i] - '0');
    number.integer = std::min<uint64_t>(number.integer * 10 + digit, uint64_t{1} << 60);
    number.integerLow = number.integerLow * 10 + digit;
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    for (int place = 100; place > 0 && i < text.size() && text[i] >= '0' && text[i] <= '9'; place /= 10, ++i) {
      number.fraction += (text[i] - '0') * place;
    }
  }
  return number;
}

}  // namespace

int64_t ParseThousandths(std::string_view text) {
  const Decimal number = ReadDecimal(text);
  const uint64_t limit = static_cast<uint64_t>(kThousandthsLimit);
  const uint64_t magnitude =
      number.integer >= limit / 1000 ? limit : std::min<uint64_t>(number.integer * 1000 + number.fraction, limit);
  const int64_t value = static_cast<int64_t>(magnitude);
  return number.negative ? -value : value;
}

int32_t ParseInteger(std::string_view text) {
  const Decimal number = ReadDecimal(text);
  const uint32_t value = number.negative ? 0u - number.integerLow : number.integerLow;
  return static_cast<int32_t>(value);
}

bool FillStateRecords(Project* project, const ConversionOptions& options, int32_t* records,
                      std::vector<ElementSetup>* setups) {
  if (project == nullptr || records == nullptr) return false;
  const int32_t count = static_cast<int32_t>(project->records.size());
  if (count > kMaxElements) return false;

  std::memset(records, 0, size_t{kMaxElements} * kRecordBytes);
  std::vector<ElementSetup> local;
  std::vector<ElementSetup>* out = setups != nullptr ? setups : &local;
  out->assign(static_cast<size_t>(count), ElementSetup{});
  for (int32_t i = 0; i < count; ++i) {
    ConvertElement(&project->records[static_cast<size_t>(i)], options, records + i * kRecordWords,
                   &(*out)[static_cast<size_t>(i)]);
  }
  // Brains may step past the last element (element + n x 1024); they find copies of it there.
  if (count > 0) {
    const int32_t* last = records + (count - 1) * kRecordWords;
    for (int32_t i = count; i < kMaxElements; ++i) std::memcpy(records + i * kRecordWords, last, kRecordBytes);
  }
  return true;
}

int32_t CountAspectFrames(const std::string& aspectPath) {
  if (aspectPath.size() < 3) return 1;
  const std::string stem = aspectPath.substr(0, aspectPath.size() - 3);
  int32_t frames = 1;
  for (int32_t n = 2; n <= 999; ++n) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%03d", static_cast<int>(n));
    if (!core::FileExists(stem + digits)) break;
    frames = n;
  }
  return frames;
}

int32_t FindAspectFrames(std::string* record, const std::string& aspectPath) {
  const int32_t frames = CountAspectFrames(aspectPath);
  const std::string data = SetElementField(ElementField(*record, 38), 2, std::to_string(frames), '/');
  *record = SetElementField(*record, 38, data);
  return frames;
}

}  // namespace model
