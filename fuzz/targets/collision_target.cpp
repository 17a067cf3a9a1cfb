// Fuzz target body: element records and a collision map taken from the input go through the
// collision pass, then a run of the collision, ground, volume and polygon instructions with
// arguments from the input, over a ground map (also from the input when it loads), a grid and
// fixed volume. No undefined behaviour, every answer bounded. Calls instructions, model, mkdata's
// tables and the state.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "brain/brain.h"
#include "core/core.h"
#include "instructions/instructions.h"
#include "mkdata/mkdata.h"
#include "model/model.h"
#include "state/state.h"
#include "targets.h"

namespace fuzzing {
namespace {

constexpr int kElements = 8;
constexpr int kFuzzedWords = 48;  // words 0..47 of each record come from the input

// Lives for the whole process, like the engine.
struct Session {
  std::unique_ptr<state::Engine> engine;
  bool ready = false;
  brain::BrainRuntime calls;
  std::vector<const char*> names;
  model::GroundMap box;  // a closed box, used when the input's map does not load
};

Session* Start() {
  static Session* session = nullptr;
  if (session != nullptr) return session;
  session = new Session;
  session->engine = std::make_unique<state::Engine>();
  state::Engine& engine = *session->engine;
  session->ready = engine.arena.Create();
  if (!session->ready) return session;
  const std::vector<uint8_t> tables[3] = {mkdata::ArctangentTable(), mkdata::FineSineTable(), mkdata::CoarseSineTable()};
  const core::Region regions[3] = {core::Region::kArctangent, core::Region::kSineFine, core::Region::kSineCoarse};
  for (int i = 0; i < 3; ++i) std::memcpy(engine.arena.Host(regions[i]), tables[i].data(), tables[i].size());
  engine.random.table = engine.arena.Host(core::Region::kRandom);
  session->calls.arena = &engine.arena;
  std::vector<std::string> problems;
  instructions::BindAllRoutines(&session->calls.routines, &problems);
  for (const auto family : {instructions::CollisionRoutines(), instructions::GroundRoutines(), instructions::PolygonRoutines()}) {
    for (const brain::RoutineEntry& entry : family) session->names.push_back(entry.name);
  }
  std::vector<model::GroundTriangle> t = {
      {{-1000, 1000, -1000, -1000, 1000, 1000, 1000, 1000, -1000}}, {{1000, 1000, 1000, 1000, 1000, -1000, -1000, 1000, 1000}},
      {{-1000, 0, -1000, 1000, 0, -1000, -1000, 0, 1000}}, {{1000, 0, 1000, -1000, 0, 1000, 1000, 0, -1000}}};
  session->box = model::BuildGroundMap(t, false, 0);
  return session;
}

// Reads the input front to back; past its end every read is 0.
struct Reader {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  uint8_t Byte() { return at < size ? data[at++] : 0; }
  uint32_t Word() {
    uint32_t w = 0;
    for (int i = 0; i < 4; ++i) w |= static_cast<uint32_t>(Byte()) << (8 * i);
    return w;
  }
};

}  // namespace

std::string FuzzCollisions(const uint8_t* data, size_t size) {
  Session* session = Start();
  state::Engine& engine = *session->engine;
  if (!session->ready) return "no arena";
  state::MakeCurrent(&engine);
  engine.play = std::make_unique<state::Play>();
  engine.project.records.assign(kElements, std::string());
  Reader in{data, size};

  // The map (the part after a 0xFF 0xFF mark, when there is one) and the rest: records, the pair
  // map among the elements, calls.
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const size_t mark = bytes.find("\xFF\xFF\xFF\xFF");
  model::GroundMap map;
  std::string reason;
  if (mark == std::string_view::npos || !model::DecodeGroundMap(bytes.substr(mark + 4), &map, &reason)) map = session->box;
  if (mark != std::string_view::npos) in.size = mark;
  engine.play->groundMaps.push_back(std::move(map));

  auto* records = engine.arena.As<int32_t>(core::Region::kElementRecords);
  std::memset(records, 0, model::kRecordBytes * kElements);
  for (int e = 0; e < kElements; ++e) {
    for (int w = 1; w < kFuzzedWords; ++w) records[e * model::kRecordWords + w] = static_cast<int32_t>(in.Word());
  }
  // Element 7 shows the ground map; the others show whatever their first word names, if anything.
  auto* slots = engine.arena.As<int32_t>(core::Region::kAspectSlots);
  std::memset(slots, 0, 64);
  slots[model::kGroundWordTag] = static_cast<int32_t>(model::kGroundTag);
  slots[model::kGroundWordTriangles] = 1;
  slots[model::kGroundWordIndex] = 1;
  records[7 * model::kRecordWords] = static_cast<int32_t>(engine.arena.Address(core::Region::kAspectSlots));
  for (int e = 0; e < kElements - 1; ++e) {
    if (in.Byte() & 1) records[e * model::kRecordWords] = static_cast<int32_t>(engine.arena.Address(core::Region::kAspectSlots));
  }
  uint8_t* collisionMap = engine.arena.Host(core::Region::kCollisionMap);
  std::memset(collisionMap, 0, model::kCollisionMapBytes);
  for (int i = 0; i < kElements; ++i) {
    for (int j = i + 1; j < kElements; ++j) collisionMap[i * 256 + j] = static_cast<uint8_t>(in.Byte() % 13);
  }
  const uint8_t options = in.Byte();
  if (options & 1) {
    state::GroundGrid& grid = engine.play->collisions.grid;
    grid.cellSize = static_cast<int32_t>(in.Word());
    grid.cells = 1 + (in.Byte() & 7);
    grid.element = static_cast<int8_t>(in.Byte());
    grid.triangles.resize(2u * static_cast<size_t>(grid.cells) * static_cast<size_t>(grid.cells));
    for (state::GroundGridTriangle& t : grid.triangles) {
      for (int32_t& v : t.v) v = static_cast<int32_t>(in.Word());
      t.colour = static_cast<int32_t>(in.Word());
    }
  }
  if (options & 2) engine.play->collisions.polygonCountdown = 0;

  instructions::StartCollisions(engine);
  if (options & 4) engine.play->collisions.volumeMesh = 7;
  instructions::CollisionPass(engine);
  for (const state::CollisionPair& pair : engine.play->collisions.pairs) {
    if (pair.hit != 0 && pair.hit != pair.colour) return "a hit word that is not the pair's colour";
  }

  // Calls: a name, then five arguments; an argument byte below 16 names an element (or a frame
  // handle), anything else takes a raw word.
  const uint32_t first = engine.arena.Address(core::Region::kElementRecords);
  for (int call = 0; call < 64 && in.at < in.size; ++call) {
    const char* name = session->names[in.Byte() % session->names.size()];
    uint32_t args[5];
    for (uint32_t& a : args) {
      const uint8_t kind = in.Byte();
      if (kind < kElements) {
        a = first + 1024u * kind;
      } else if (kind < 16) {
        a = 0x80000000u | kind;
      } else {
        a = in.Word();
      }
    }
    brain::Regs regs{args[0], args[1], args[2], args[3], args[4], first};
    std::string fault;
    brain::CallRoutine(&session->calls, brain::RoutineAddress(brain::RowOfName(name)), &regs, &fault);
    if (in.Byte() == 0x55) instructions::CollisionPass(engine);
  }
  if (engine.play->collisions.pairs.size() > 32640) return "more pairs than the map can name";
  if (engine.play->collisions.reboundDivisor == 0) return "a divisor of 0";
  for (const auto& v : engine.play->collisions.contactNormal) {
    for (const float c : v) {
      if (c != c) return "a NaN contact normal";
    }
  }
  for (const auto& v : engine.play->collisions.contactPoint) {
    for (const float c : v) {
      if (c != c) return "a NaN contact point";
    }
  }
  return "";
}

}  // namespace fuzzing
