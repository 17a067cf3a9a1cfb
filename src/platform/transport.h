// The network-transport service: what a back end provides for a session of engines on UDP (host
// or join a session by name, reliable and unreliable messages, connect and disconnect events).
// Contract only; back ends live in src/platform/. Session rules (who hosts, migration, what the
// messages mean) belong to src/net/.
//
// Order of calls: Host or Join; then Send and Poll at will (Poll once per frame keeps the
// connection alive); Leave ends the session, and Host or Join may follow again. Nothing blocks:
// a join completes later, with a kConnected event of the host's peer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// A peer of the session. 0 is no peer; as a destination of Send it means every peer.
using PeerId = uint32_t;
inline constexpr PeerId kAllPeers = 0;

enum class Delivery : uint8_t {
  kReliable,    // arrives once, in the order sent (text messages)
  kUnreliable,  // may be lost; a late one is dropped rather than delivered out of order (state)
};

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
};

}  // namespace platform
