// Network instructions: what a brain sees of the session. Calls the current engine's session, its
// records and the argument helpers.
//
// | Instruction          | Arguments                    | Effect or result                                  |
// |----------------------|------------------------------|---------------------------------------------------|
// | machine_number_set   | n                            | own machine number := n, 0 to 100                 |
// | machine_number       | (none)                       | own machine number                                |
// | machine_status       | m                            | 0 for m = 0; m above 99 reads as 100; the own     |
// |                      |                              | number 2 when heard from, else 1; another machine |
// |                      |                              | its activity counter (0 when silent)              |
// | network_mismatch     | (none)                       | -1 after a message of a different project; read   |
// |                      |                              | on a tick that is a multiple of 64 it clears first |
// | network_mode         | (none)                       | -1 while the network is active, else 0            |
// | host                 | (none)                       | -1 on the host, else 0                            |
// | machine_element      | element                      | the element's owner machine                       |
// | machine_element_find | start, machine, kind, mask   | from the element after start (kind 1..3) or       |
// |                      |                              | before it (-1..-3), the first owned by machine    |
// |                      |                              | whose identity shares a bit with mask: any (1),   |
// |                      |                              | off (2) or on (3); 0 when none                    |
// | str_send             | text, mask                   | sends the text to every other machine (not empty) |
// | str_poll             | string variable, mask        | the variable becomes the first message's text     |
// |                      |                              | when its mask shares a bit (removed), else empty  |
#include "instructions/network.h"

#include <algorithm>
#include <cstring>

#include "instructions/arguments.h"

namespace instructions {
namespace {

net::Session* ActiveSession() {
  state::Engine& engine = state::Current();
  return engine.network && engine.network->Active() ? engine.network.get() : nullptr;
}

bool machine_number_set(brain::Regs* regs, std::string*) {
  if (state::Engine& engine = state::Current(); engine.network) engine.network->SetMachine(static_cast<int32_t>(regs->eax));
  regs->eax = 0;
  return true;
}

bool machine_number(brain::Regs* regs, std::string*) {
  const state::Engine& engine = state::Current();
  regs->eax = engine.network ? static_cast<uint32_t>(engine.network->Machine()) : 0;
  return true;
}

bool machine_status(brain::Regs* regs, std::string*) {
  const net::Session* session = ActiveSession();
  regs->eax = session != nullptr ? static_cast<uint32_t>(session->MachineStatus(static_cast<int32_t>(regs->eax))) : 0;
  return true;
}

bool network_mismatch(brain::Regs* regs, std::string*) {
  state::Engine& engine = state::Current();
  net::Session* session = ActiveSession();
  const int32_t tick = engine.play ? engine.play->brains.tickCounter : 0;
  regs->eax = session != nullptr ? static_cast<uint32_t>(session->Mismatch(tick)) : 0;
  return true;
}

bool network_mode(brain::Regs* regs, std::string*) {
  regs->eax = ActiveSession() != nullptr ? 0xFFFFFFFFu : 0;
  return true;
}

bool host(brain::Regs* regs, std::string*) {
  const net::Session* session = ActiveSession();
  regs->eax = session != nullptr && session->IsHost() ? 0xFFFFFFFFu : 0;
  return true;
}

bool machine_element(brain::Regs* regs, std::string* fault) {
  const int32_t* record = ElementRecord(&state::Current().arena, regs->eax, fault);
  regs->eax = record != nullptr ? static_cast<uint32_t>(record[model::kWordOwner]) : 0;
  return fault->empty();
}

// The start may name no element (0): a forward walk then starts at the first element, a backward
// one at the last.
bool machine_element_find(brain::Regs* regs, std::string* fault) {
  state::Engine& engine = state::Current();
  const int32_t kind = static_cast<int32_t>(regs->ecx);
  const auto machine = static_cast<int32_t>(regs->ebx);
  const uint32_t mask = regs->edx;
  const int32_t* start = ElementRecord(&engine.arena, regs->eax, fault);
  if (!fault->empty()) return false;
  regs->eax = 0;
  if (kind == 0 || kind < -3 || kind > 3 || !engine.play) return true;
  auto* records = engine.arena.As<int32_t>(core::Region::kElementRecords);
  const int32_t last = std::min(engine.play->brains.lastElement, model::kMaxElements - 1);
  const int32_t step = kind > 0 ? 1 : -1;
  int32_t index = start != nullptr ? static_cast<int32_t>((start - records) / model::kRecordWords) + step : (step > 0 ? 0 : last);
  for (; index >= 0 && index <= last; index += step) {
    const int32_t* record = records + index * model::kRecordWords;
    const bool on = (static_cast<uint32_t>(record[model::kWordStatus]) & model::kStatusOn) != 0;
    const int32_t wanted = kind > 0 ? kind : -kind;
    if (record[model::kWordOwner] != machine || (static_cast<uint32_t>(record[model::kWordIdentity]) & mask) == 0) continue;
    if ((wanted == 2 && on) || (wanted == 3 && !on)) continue;
    regs->eax = engine.arena.Address(core::Region::kElementRecords) + static_cast<uint32_t>(index) * model::kRecordBytes;
    return true;
  }
  return true;
}

bool str_send(brain::Regs* regs, std::string*) {
  state::Engine& engine = state::Current();
  if (net::Session* session = ActiveSession(); session != nullptr) {
    session->SendText(static_cast<int32_t>(regs->ebx), TextArgument(engine, regs->eax));
  }
  regs->eax = 0;
  return true;
}

bool str_poll(brain::Regs* regs, std::string* fault) {
  state::Engine& engine = state::Current();
  std::vector<uint8_t>* variable = engine.handles.Find(regs->eax);
  if (variable == nullptr) {
    *fault = "First parameter of STR_POLL() instruction must be a string variable, not a constant string.";
    regs->eax = 0;
    return false;
  }
  regs->eax = 0;
  net::Session* session = ActiveSession();
  if (session == nullptr) return true;
  std::string text;
  session->PollText(static_cast<int32_t>(regs->ebx), &text);
  // The variable holds at most its length: a longer text is cut, the zero always kept.
  std::fill(variable->begin(), variable->end(), 0);
  if (!variable->empty()) std::memcpy(variable->data(), text.data(), std::min(text.size(), variable->size() - 1));
  return true;
}

constexpr brain::RoutineEntry kNetworkRoutines[] = {
    {"machine_number_set", machine_number_set},
    {"machine_number", machine_number},
    {"machine_status", machine_status},
    {"network_mismatch", network_mismatch},
    {"network_mode", network_mode},
    {"host", host},
    {"machine_element", machine_element},
    {"machine_element_find", machine_element_find},
    {"str_send", str_send},
    {"str_poll", str_poll},
};

}  // namespace

std::span<const brain::RoutineEntry> NetworkRoutines() { return kNetworkRoutines; }

void ReapplySharedGlobals() {
  if (net::Session* session = ActiveSession(); session != nullptr) session->ReapplySharedGlobals();
}

}  // namespace instructions
