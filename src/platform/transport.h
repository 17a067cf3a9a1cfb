// The network-transport service: what a back end provides for a session of engines on UDP (host
// or join a session by name, reliable and unreliable messages, connect and disconnect events).
// Contract only; back ends live in src/platform/. Session rules (who hosts, migration, what the
// messages mean) belong to src/net/.
//
// Order of calls: Host or Join; then Send and Poll at will (Poll once per frame keeps the
// connection alive); Leave ends the session, and Host or Join may follow again. Nothing blocks
// but Search and a Poll given a wait: a join completes later, with a kConnected event of the
// host's peer. A back end is not thread-safe: one thread makes every call of a session.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace platform {

// A peer of the session. 0 is no peer; as a destination of Send it means every peer.
using PeerId = uint32_t;
inline constexpr PeerId kAllPeers = 0;

enum class Delivery : uint8_t {
  kReliable,    // arrives once, in the order sent (text messages)
  kUnreliable,  // may be lost; a late one is dropped rather than delivered out of order (state)
  kControl,     // reliable and in order, on a channel of its own (the session's own bookkeeping)
};

// A datagram that answered a Search, with where it came from.
struct SearchReply {
  std::string address;  // dotted IPv4
  uint16_t port = 0;
  std::vector<uint8_t> data;
};

// Answers a datagram that reached the session's port but is not session traffic (a search):
// the reply to send back, or nothing.
using SearchResponder = std::function<std::vector<uint8_t>(const uint8_t* data, size_t bytes)>;

struct TransportEvent {
  enum class Kind : uint8_t { kConnected, kDisconnected, kMessage };
  Kind kind = Kind::kMessage;
  PeerId peer = 0;
  Delivery delivery = Delivery::kReliable;  // kMessage only
  std::vector<uint8_t> data;                // kMessage only
  bool operator==(const TransportEvent&) const = default;
};

class Transport {
 public:
  virtual ~Transport() = default;

  // Hosts a session named `session` on the UDP port, for at most `maxPeers` other engines. False
  // with a message when the port cannot be used.
  virtual bool Host(const std::string& session, uint16_t port, int maxPeers, std::string* error) = 0;
  // Joins the session named `session` on the port: at `address` (a host name or dotted address),
  // or found on the local network when `address` is empty. False with a message when the request
  // cannot even be sent; a session that does not answer gives a kDisconnected event instead.
  virtual bool Join(const std::string& session, const std::string& address, uint16_t port, std::string* error) = 0;
  // Says goodbye to every peer and ends the session. Safe without one.
  virtual void Leave() = 0;
  // This engine's own peer in the session; 0 outside one.
  virtual PeerId LocalPeer() const = 0;

  // Queues a message of `bytes` bytes (copied) for the peer, or for every peer with kAllPeers.
  // False when there is no session, the peer is unknown, or the message is empty.
  virtual bool Send(PeerId peer, Delivery delivery, const void* data, size_t bytes) = 0;
  // Appends the events that arrived since the last poll to `out`, in arrival order.
  virtual void Poll(std::vector<TransportEvent>* out) = 0;

  // Like Poll, but waits up to `waitMs` milliseconds for a first event when none is pending.
  virtual void PollFor(std::vector<TransportEvent>* out, int waitMs) {
    const size_t before = out->size();
    Poll(out);
    if (out->size() == before && waitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
  }
  // Ends a PollFor that is waiting, at once. The one call that is safe from any thread.
  virtual void Wake() {}
  // Bytes this transport has put on the wire so far (UDP payloads, its own headers included).
  virtual uint64_t WireBytesSent() const { return 0; }
  // Opens a connection to one more engine of the session (a mesh connects every pair), completed
  // later by its kConnected event. 0 with a message when it cannot even be started.
  virtual PeerId Connect(const std::string& address, uint16_t port, std::string* error) {
    *error = "this transport connects to no one";
    return 0;
  }
  // The address a connected peer's datagrams come from: the endpoint others reach it at.
  virtual bool AddressOf(PeerId peer, std::string* address, uint16_t* port) const { return false; }
  // While hosting or joined, datagrams on the local port that are not session traffic go here.
  virtual void SetSearchResponder(SearchResponder responder) {}
  // Drops that share (0-100) of incoming datagrams, from a random sequence seeded by `seed`.
  virtual void SetIncomingLoss(int percent, uint32_t seed) {}
  // Sends `query` once to each target on the port ("" is the local network's broadcast address)
  // and collects every reply for `waitMs` milliseconds. Works without a session. False with a
  // message when no target could be sent to.
  virtual bool Search(const std::vector<std::string>& targets, uint16_t port, const std::vector<uint8_t>& query,
                      int waitMs, std::vector<SearchReply>* replies, std::string* error) {
    *error = "this transport cannot search";
    return false;
  }
};

// The UDP back end on ENet: one ENet host per transport (bound to the session port when hosting,
// to a free port when joining), three channels (state, text, control).
std::unique_ptr<Transport> MakeEnetTransport();

// The name of this computer ("" when unknown) and of the logged-in user ("" when unknown).
std::string ComputerName();
std::string LoginName();

}  // namespace platform
