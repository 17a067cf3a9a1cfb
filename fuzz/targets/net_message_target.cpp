// Fuzz target body: received network messages checked and applied to a receiver's state. Calls net
// (the message decoder).
#include <cstring>
#include <string>

#include "net/net.h"
#include "targets.h"

namespace fuzzing {

// Byte 0 of the input picks the receiver: bit 0 the sender is host, bit 1 the receiver is host,
// bits 2-7 its machine number. The rest is the message as it came off the wire.
std::string FuzzNetMessage(const uint8_t* data, size_t size) {
  if (size == 0) return {};
  // A receiver of eight elements: every kind of flags, owners 0 to 3, element 5 its own and
  // element 6 taking no part.
  std::array<net::ElementView, net::kElements> view{};
  const int32_t flags[8] = {0x003, 0x033, 0x402, 0x300, 0x7FF, 0x0F3, 0x0CC, 0x110};
  for (int i = 0; i < 8; ++i) view[static_cast<size_t>(i)] = net::ElementView{flags[i], i % 4, 3};
  net::DecodeContext context;
  context.matchValue = 0x1234;
  context.lastElement = 7;
  context.elements = view.data();
  context.senderIsHost = (data[0] & 1) != 0;
  context.ownHost = (data[0] & 2) != 0;
  context.ownMachine = data[0] >> 2;
  view[5].owner = context.ownMachine;
  net::ReceivedState state;
  state.shared.resize(3);
  state.machinesHeard = 2;
  const net::ReceivedState before = state;
  net::ApplyMessage(data + 1, size - 1, context, &state);

  if (state.shared.size() != 3) return "the slot table changed size";
  if (state.inbox.used > net::kInboxBytes) return "the inbox overflowed";
  for (size_t e = 0; e < net::kElements; ++e) {
    const bool allowed = e <= 7 && e != 5 && e != 6;
    if (!allowed && std::memcmp(&state.remote[e], &before.remote[e], sizeof(net::RemoteEntry)) != 0) {
      return "an element that may not change did: " + std::to_string(e);
    }
    if (state.remote[e].frame != -1 && (state.remote[e].frame < 0 || state.remote[e].frame > 3)) return "a frame out of range";
  }
  int changed = 0;
  for (size_t m = 0; m < state.activity.size(); ++m) {
    if (state.activity[m] != before.activity[m]) ++changed;
  }
  if (changed > 1) return "more than one machine was counted";
  return {};
}

}  // namespace fuzzing
