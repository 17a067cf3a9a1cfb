// Element lookup instructions: walks over the play's element records, the project's element names
// and visual files, the random source, and nested brain runs. Calls the current engine, the motion
// family's distance and the brain runner.
//
// | Instruction     | Arguments                   | Result                                                  |
// |-----------------|-----------------------------|---------------------------------------------------------|
// | first_element   | (none)                      | the first element                                       |
// | last_element    | (none)                      | the play's last element                                 |
// | element_index   | element, n                  | element + n * 1024, the element n places further        |
// | nearest_element | element, mask               | the candidate at the smallest `distance`; the first     |
// |                 |                             | wins ties; 0 when there is none                         |
// | random_element  | element                     | the k-th candidate, k = random(1, candidates); 0 when   |
// |                 |                             | there is none. The mask is all bits: the one-argument   |
// |                 |                             | call never passes one, so every element with an         |
// |                 |                             | identity bit set is a candidate                         |
// | element         | name                        | the first element with that name; a name no element     |
// |                 |                             | has ends the play with "ELEMENT() instruction error!    |
// |                 |                             | Could not find '<name>' element" (EAX -1)               |
// | element_find    | start, mask, count, mode    | walks from the start (not included), forward for a      |
// |                 |                             | positive mode and backward for a negative one, over     |
// |                 |                             | elements with identity & mask != 0, counting every one  |
// |                 |                             | (mode 1, -1), those off (2, -2) or on (3, -3); the      |
// |                 |                             | element the count reaches 0 at; the start when count    |
// |                 |                             | <= 0; 0 when the walk ends. Forward the last element is |
// |                 |                             | never examined, backward the first is not               |
// | type            | element                     | kind of the visual file by its extension: .03d 0, .a3d  |
// |                 |                             | 1, .b3d 2, .e3d 3, .f3d 4, .g3d 5, .h3d 6, .i3d 7, .l3d |
// |                 |                             | 8, .v3d 9, .m3d 10, .x3d 11; -1 otherwise               |
// | execute         | element                     | runs the element's brain now, with that element as its  |
// |                 |                             | own; the EAX it ends with                               |
//
// A candidate is an element that is on (status bit 0), whose identity bits & mask is not 0, and
// that is not the element asking. An element argument that names nothing (a frame handle, or a
// value below the records such as the 0 of a failed lookup) gives 0, and -1 for `type`; a stray
// address inside or past the records is a fault.
#include "instructions/lookup.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <string_view>

#include "instructions/arguments.h"
#include "instructions/motion.h"

namespace instructions {
namespace {

constexpr int32_t kNoElement = 0;

// The records of the play's elements: element 0 .. last, never more than the array holds.
struct Elements {
  int32_t* records;
  uint32_t firstAddress;
  int32_t last;  // -1 for a play without elements

  int32_t* Record(int32_t index) const { return records + index * model::kRecordWords; }
  uint32_t Address(int32_t index) const { return firstAddress + static_cast<uint32_t>(index) * model::kRecordBytes; }
  int32_t IndexOf(const int32_t* record) const { return static_cast<int32_t>((record - records) / model::kRecordWords); }
};

Elements PlayElements() {
  const state::Engine& engine = state::Current();
  const int32_t last = engine.play ? std::min(engine.play->brains.lastElement, model::kMaxElements - 1) : -1;
  return {engine.arena.As<int32_t>(core::Region::kElementRecords), engine.arena.Address(core::Region::kElementRecords),
          last};
}

bool IsOn(const int32_t* record) {
  return (static_cast<uint32_t>(record[model::kWordStatus]) & model::kStatusOn) != 0;
}

bool Meets(const int32_t* record, uint32_t mask) {
  return (static_cast<uint32_t>(record[model::kWordIdentity]) & mask) != 0;
}

bool IsCandidate(const int32_t* record, uint32_t mask, const int32_t* asking) {
  return record != asking && IsOn(record) && Meets(record, mask);
}

// The element argument in EAX for the routines below: the record, or nullptr when it names nothing
// (EAX is then set to `nothing`) or is a fault (*fault set).
int32_t* ArgumentRecord(brain::Regs* regs, std::string* fault, int32_t nothing = kNoElement) {
  int32_t* record = ElementRecord(&state::Current().arena, regs->eax, fault);
  if (record == nullptr) regs->eax = static_cast<uint32_t>(nothing);
  return record;
}

// [SECTION] Positions in the array

bool first_element(brain::Regs* regs, std::string*) {
  regs->eax = PlayElements().firstAddress;
  return true;
}

bool last_element(brain::Regs* regs, std::string*) {
  const Elements elements = PlayElements();
  regs->eax = elements.Address(std::max(elements.last, 0));
  return true;
}

// Plain address arithmetic: nothing is read, so a result past the records (a walk's end marker,
// say) is handed back as it is and only faults when an instruction uses it as an element.
bool element_index(brain::Regs* regs, std::string*) {
  const uint32_t first = PlayElements().firstAddress;
  if (IsFrameHandle(regs->eax) || regs->eax < first) {
    regs->eax = kNoElement;
    return true;
  }
  regs->eax += regs->ebx * static_cast<uint32_t>(model::kRecordBytes);
  return true;
}

// [SECTION] Searches

// One pass in array order. The rounded distance decides, so two candidates whose distances round
// alike tie and the earlier stays. A squared separation at or above the smallest one seen cannot
// round smaller than the best, so the square root is taken only for a new smallest separation.
// The comparison is on whole millimetres, before `distance` multiplies by 512: the same order
// while the distance fits its word, and still the true order beyond 4.19 km, where the word wraps.
bool nearest_element(brain::Regs* regs, std::string* fault) {
  const int32_t* asking = ArgumentRecord(regs, fault);
  if (asking == nullptr) return fault->empty();
  const uint32_t mask = regs->ebx;
  const Elements elements = PlayElements();
  int64_t smallestSquares = INT64_MAX;
  int32_t bestMillimetres = INT32_MAX;
  int32_t best = -1;
  for (int32_t i = 0; i <= elements.last; ++i) {
    const int32_t* record = elements.Record(i);
    if (!IsCandidate(record, mask, asking)) continue;
    const int64_t squares = SquaredSeparation(asking, record);
    if (squares >= smallestSquares) continue;
    smallestSquares = squares;
    const int32_t millimetres = RoundedRoot(squares);
    if (millimetres < bestMillimetres) {
      bestMillimetres = millimetres;
      best = i;
    }
  }
  regs->eax = best >= 0 ? elements.Address(best) : kNoElement;
  return true;
}

bool random_element(brain::Regs* regs, std::string* fault) {
  const int32_t* asking = ArgumentRecord(regs, fault);
  if (asking == nullptr) return fault->empty();
  constexpr uint32_t kAllBits = 0xFFFFFFFFu;
  const Elements elements = PlayElements();
  int32_t count = 0;
  for (int32_t i = 0; i <= elements.last; ++i) count += IsCandidate(elements.Record(i), kAllBits, asking) ? 1 : 0;
  regs->eax = kNoElement;
  if (count == 0) return true;  // no draw: the random stream moves on only when there is a choice
  int32_t k = state::Current().random.Random(1, count);
  for (int32_t i = 0; i <= elements.last; ++i) {
    if (IsCandidate(elements.Record(i), kAllBits, asking) && --k == 0) {
      regs->eax = elements.Address(i);
      break;
    }
  }
  return true;
}

// Names are compared exactly. The empty name, which also stands for a text argument that is no
// text, never matches, so a wrong argument is reported rather than finding an unnamed element.
bool element(brain::Regs* regs, std::string* fault) {
  const state::Engine& engine = state::Current();
  const std::string name = TextArgument(engine, regs->eax);
  const Elements elements = PlayElements();
  const auto named = static_cast<int32_t>(std::min<size_t>(engine.project.records.size(), model::kMaxElements));
  const int32_t last = std::min(elements.last, named - 1);
  for (int32_t i = 0; i <= last && !name.empty(); ++i) {
    if (model::ElementField(engine.project.records[static_cast<size_t>(i)], 1) == name) {
      regs->eax = elements.Address(i);
      return true;
    }
  }
  regs->eax = static_cast<uint32_t>(-1);
  *fault = "ELEMENT() instruction error! Could not find '" + name + "' element";
  return false;
}

// Mode 1 counts every element that meets the mask, 2 those that are off, 3 those that are on; any
// other size counts none, so the walk runs to its end.
bool Counts(const int32_t* record, uint32_t mask, int32_t mode) {
  if (!Meets(record, mask)) return false;
  switch (mode < 0 ? -static_cast<int64_t>(mode) : mode) {
    case 1:
      return true;
    case 2:
      return !IsOn(record);
    case 3:
      return IsOn(record);
    default:
      return false;
  }
}

// The walk stops short of the last element going forward and of the first going backward; a start
// past the play's last element walks back over the play's elements only.
bool element_find(brain::Regs* regs, std::string* fault) {
  const int32_t* start = ArgumentRecord(regs, fault);
  if (start == nullptr) return fault->empty();
  const uint32_t mask = regs->ebx;
  int32_t count = static_cast<int32_t>(regs->ecx);
  const auto mode = static_cast<int32_t>(regs->edx);
  if (count <= 0) return true;  // EAX still holds the start
  regs->eax = kNoElement;
  const Elements elements = PlayElements();
  const int32_t from = elements.IndexOf(start);
  if (mode > 0) {
    for (int32_t i = from + 1; i < elements.last; ++i) {
      if (Counts(elements.Record(i), mask, mode) && --count == 0) {
        regs->eax = elements.Address(i);
        break;
      }
    }
  } else if (mode < 0) {
    for (int32_t i = std::min(from - 1, elements.last); i > 0; --i) {
      if (Counts(elements.Record(i), mask, mode) && --count == 0) {
        regs->eax = elements.Address(i);
        break;
      }
    }
  }
  return true;
}

// [SECTION] The element's visual and brain

// The extension decides, in either letter case: a project written by hand may spell ".A3D".
bool type(brain::Regs* regs, std::string* fault) {
  constexpr int32_t kUnknownKind = -1;
  const int32_t* record = ArgumentRecord(regs, fault, kUnknownKind);
  if (record == nullptr) return fault->empty();
  static constexpr std::array<std::string_view, 12> kExtensions = {".03d", ".a3d", ".b3d", ".e3d", ".f3d", ".g3d",
                                                                    ".h3d", ".i3d", ".l3d", ".v3d", ".m3d", ".x3d"};
  const state::Engine& engine = state::Current();
  const auto index = static_cast<size_t>(PlayElements().IndexOf(record));
  regs->eax = static_cast<uint32_t>(kUnknownKind);
  if (index >= engine.project.records.size()) return true;
  std::string aspect = model::ElementField(engine.project.records[index], 2);
  if (aspect.size() < 4) return true;
  std::string extension = aspect.substr(aspect.size() - 4);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (size_t kind = 0; kind < kExtensions.size(); ++kind) {
    if (extension == kExtensions[kind]) {
      regs->eax = static_cast<uint32_t>(kind);
      break;
    }
  }
  return true;
}

// The nested run keeps the runner's depth limit; a fault inside the other brain ends this one too.
bool execute(brain::Regs* regs, std::string* fault) {
  if (ArgumentRecord(regs, fault) == nullptr) return fault->empty();
  state::Engine& engine = state::Current();
  if (!engine.play) {
    regs->eax = 0;
    return true;
  }
  uint32_t result = 0;
  if (!brain::RunBrainOf(&engine.play->brains, regs->eax, fault, &result)) return false;
  regs->eax = result;
  return true;
}

constexpr brain::RoutineEntry kLookupRoutines[] = {
    {"first_element", first_element},
    {"last_element", last_element},
    {"element_index", element_index},
    {"nearest_element", nearest_element},
    {"random_element", random_element},
    {"element", element},
    {"element_find", element_find},
    {"type", type},
    {"execute", execute},
};

}  // namespace

std::span<const brain::RoutineEntry> LookupRoutines() { return kLookupRoutines; }

}  // namespace instructions
