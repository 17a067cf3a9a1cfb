// The ENet back end of the network transport, the computer and login names. Calls ENet and POSIX.
#include <enet/enet.h>
#include <poll.h>
#include <pwd.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/transport.h"

namespace platform {
namespace {

// Channel of each kind of delivery; the order is the protocol's, so it never changes.
constexpr enet_uint8 kChannelState = 0;
constexpr enet_uint8 kChannelText = 1;
constexpr enet_uint8 kChannelControl = 2;
constexpr size_t kChannels = 3;

enet_uint8 ChannelOf(Delivery delivery) {
  switch (delivery) {
    case Delivery::kUnreliable: return kChannelState;
    case Delivery::kReliable: return kChannelText;
    case Delivery::kControl: return kChannelControl;
  }
  return kChannelText;
}

Delivery DeliveryOf(enet_uint8 channel) {
  if (channel == kChannelState) return Delivery::kUnreliable;
  if (channel == kChannelControl) return Delivery::kControl;
  return Delivery::kReliable;
}

std::string Dotted(enet_uint32 host) {
  char text[32] = {};
  ENetAddress address{host, 0};
  enet_address_get_host_ip(&address, text, sizeof text);
  return text;
}

class EnetTransport;
// ENet's receive hook has no user pointer: the transport that is inside enet_host_service on this
// thread is kept here for the length of that call.
thread_local EnetTransport* tServicing = nullptr;

class EnetTransport final : public Transport {
 public:
  EnetTransport() {
    initialised_ = enet_initialize() == 0;
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  }
  ~EnetTransport() override {
    Leave();
    if (initialised_) enet_deinitialize();
    if (wakeFd_ >= 0) close(wakeFd_);
  }

  bool Host(const std::string& session, uint16_t port, int maxPeers, std::string* error) override {
    Leave();
    if (session.empty() || maxPeers < 1) {
      *error = "a session needs a name and room for one peer";
      return false;
    }
    if (!Open(port, maxPeers, error)) return false;
    local_ = 1;
    return true;
  }

  bool Join(const std::string& session, const std::string& address, uint16_t port, std::string* error) override {
    Leave();
    if (session.empty() || address.empty() || port == 0) {
      *error = "joining needs a session name, the host's address and its port";
      return false;
    }
    // A joiner listens too: the other engines of the mesh connect to it.
    if (!Open(0, kMaxMeshPeers, error)) return false;
    local_ = 2;
    if (Connect(address, port, error) == 0) {
      Leave();
      return false;
    }
    return true;
  }

  void Leave() override {
    if (host_ == nullptr) return;
    // Saying goodbye at once lets the others see a clean exit rather than wait for a time-out.
    for (auto& [id, peer] : peers_) enet_peer_disconnect_now(peer, 0);
    enet_host_flush(host_);
    enet_host_destroy(host_);
    host_ = nullptr;
    peers_.clear();
    local_ = 0;
  }

  PeerId LocalPeer() const override { return local_; }

  bool Send(PeerId peer, Delivery delivery, const void* data, size_t bytes) override {
    if (host_ == nullptr || data == nullptr || bytes == 0) return false;
    const enet_uint32 flags = delivery == Delivery::kUnreliable ? 0 : ENET_PACKET_FLAG_RELIABLE;
    if (peer == kAllPeers) {
      if (peers_.empty()) return true;
      ENetPacket* packet = enet_packet_create(data, bytes, flags);
      if (packet == nullptr) return false;
      // One packet shared by every connected peer: each gets it once, the sender never.
      bool queued = false;
      for (auto& [id, target] : peers_) {
        if (target->state == ENET_PEER_STATE_CONNECTED) queued |= enet_peer_send(target, ChannelOf(delivery), packet) == 0;
      }
      if (packet->referenceCount == 0) enet_packet_destroy(packet);
      enet_host_flush(host_);
      wireBytes_ = host_->totalSentData;
      return queued;
    }
    const auto found = peers_.find(peer);
    if (found == peers_.end() || found->second->state != ENET_PEER_STATE_CONNECTED) return false;
    ENetPacket* packet = enet_packet_create(data, bytes, flags);
    if (packet == nullptr) return false;
    if (enet_peer_send(found->second, ChannelOf(delivery), packet) != 0) {
      enet_packet_destroy(packet);
      return false;
    }
    enet_host_flush(host_);
    return true;
  }

  void Poll(std::vector<TransportEvent>* out) override { PollFor(out, 0); }

  // Waits on the session's socket and the wake event together, so a message handed over by
  // another thread leaves at once rather than after the wait; ENet itself is asked without waiting.
  void PollFor(std::vector<TransportEvent>* out, int waitMs) override {
    const size_t before = out->size();
    Service(out);
    if (out->size() != before || waitMs <= 0) return;
    pollfd waits[2] = {{wakeFd_, POLLIN, 0}, {-1, POLLIN, 0}};
    if (host_ != nullptr) waits[1].fd = static_cast<int>(host_->socket);
    poll(waits, 2, waitMs);
    uint64_t count = 0;
    if (wakeFd_ >= 0 && read(wakeFd_, &count, sizeof count) < 0) count = 0;
    Service(out);
  }

  void Wake() override {
    const uint64_t one = 1;
    if (wakeFd_ >= 0 && write(wakeFd_, &one, sizeof one) < 0) return;
  }

  uint64_t WireBytesSent() const override { return wireBytes_.load(); }

  PeerId Connect(const std::string& address, uint16_t port, std::string* error) override {
    if (host_ == nullptr) {
      *error = "no session is open";
      return 0;
    }
    ENetAddress target{};
    if (enet_address_set_host(&target, address.c_str()) != 0) {
      *error = "unknown host '" + address + "'";
      return 0;
    }
    target.port = port;
    ENetPeer* peer = enet_host_connect(host_, &target, kChannels, 0);
    if (peer == nullptr) {
      *error = "no room for another connection";
      return 0;
    }
    Adopt(peer);
    return IdOf(peer);
  }

  bool AddressOf(PeerId peer, std::string* address, uint16_t* port) const override {
    const auto found = peers_.find(peer);
    if (found == peers_.end()) return false;
    *address = Dotted(found->second->address.host);
    *port = found->second->address.port;
    return true;
  }

  void SetSearchResponder(SearchResponder responder) override { responder_ = std::move(responder); }

  void SetIncomingLoss(int percent, uint32_t seed) override {
    lossPercent_ = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    random_ = seed != 0 ? seed : 1;
  }

  bool Search(const std::vector<std::string>& targets, uint16_t port, const std::vector<uint8_t>& query, int waitMs,
              std::vector<SearchReply>* replies, std::string* error) override {
    if (!initialised_) {
      *error = "the network library could not start";
      return false;
    }
    ENetSocket socket = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
    if (socket == ENET_SOCKET_NULL) {
      *error = "no socket for the search";
      return false;
    }
    enet_socket_set_option(socket, ENET_SOCKOPT_BROADCAST, 1);
    enet_socket_set_option(socket, ENET_SOCKOPT_NONBLOCK, 1);
    int sent = 0;
    std::string failures;
    for (const std::string& name : targets) {
      ENetAddress target{ENET_HOST_BROADCAST, port};
      if (!name.empty() && enet_address_set_host(&target, name.c_str()) != 0) {
        failures += (failures.empty() ? "" : "; ") + ("unknown host '" + name + "'");
        continue;
      }
      target.port = port;
      ENetBuffer buffer{const_cast<uint8_t*>(query.data()), query.size()};
      if (enet_socket_send(socket, &target, &buffer, 1) > 0) ++sent;
      else failures += (failures.empty() ? "" : "; ") + std::string("cannot send to ") + (name.empty() ? "the broadcast address" : name) + ": " + std::strerror(errno);
    }
    if (sent == 0) {
      enet_socket_destroy(socket);
      *error = failures.empty() ? "nowhere to search" : failures;
      return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) break;
      enet_uint32 condition = ENET_SOCKET_WAIT_RECEIVE;
      if (enet_socket_wait(socket, &condition, static_cast<enet_uint32>(left)) != 0) break;
      if ((condition & ENET_SOCKET_WAIT_RECEIVE) == 0) continue;
      uint8_t data[1500];
      ENetBuffer buffer{data, sizeof data};
      ENetAddress from{};
      const int got = enet_socket_receive(socket, &from, &buffer, 1);
      if (got <= 0) continue;
      replies->push_back(SearchReply{Dotted(from.host), from.port, std::vector<uint8_t>(data, data + got)});
    }
    enet_socket_destroy(socket);
    return true;
  }

  // Datagrams pass here before ENet reads them: the simulated loss, then searches.
  int Intercept(ENetHost* host) {
    if (lossPercent_ > 0) {
      random_ = random_ * 1103515245u + 12345u;
      if (static_cast<int>((random_ >> 16) % 100u) < lossPercent_) return 1;
    }
    if (!responder_) return 0;
    const std::vector<uint8_t> reply = responder_(host->receivedData, host->receivedDataLength);
    if (reply.empty()) return 0;
    ENetBuffer buffer{const_cast<uint8_t*>(reply.data()), reply.size()};
    enet_socket_send(host->socket, &host->receivedAddress, &buffer, 1);
    return 1;
  }

 private:
  // The largest mesh: 100 players, each connected to every other.
  static constexpr int kMaxMeshPeers = 100;

  static int InterceptHook(ENetHost* host, ENetEvent*) {
    return tServicing != nullptr ? tServicing->Intercept(host) : 0;
  }

  bool Open(uint16_t port, int maxPeers, std::string* error) {
    if (!initialised_) {
      *error = "the network library could not start";
      return false;
    }
    ENetAddress address{ENET_HOST_ANY, port};
    host_ = enet_host_create(&address, static_cast<size_t>(maxPeers), kChannels, 0, 0);
    if (host_ == nullptr) {
      *error = "cannot use UDP port " + std::to_string(port);
      return false;
    }
    host_->intercept = InterceptHook;
    return true;
  }

  void Service(std::vector<TransportEvent>* out) {
    if (host_ == nullptr) return;
    tServicing = this;
    ENetEvent event;
    while (enet_host_service(host_, &event, 0) > 0) Hand(event, out);
    tServicing = nullptr;
    wireBytes_ = host_->totalSentData;
  }

  static PeerId IdOf(const ENetPeer* peer) { return static_cast<PeerId>(reinterpret_cast<uintptr_t>(peer->data)); }

  void Adopt(ENetPeer* peer) {
    peer->data = reinterpret_cast<void*>(static_cast<uintptr_t>(nextId_++));
    // A peer that falls silent is given up after at most four seconds.
    enet_peer_timeout(peer, 0, 1000, 4000);
    peers_[IdOf(peer)] = peer;
  }

  void Hand(const ENetEvent& event, std::vector<TransportEvent>* out) {
    TransportEvent e;
    switch (event.type) {
      case ENET_EVENT_TYPE_CONNECT:
        if (event.peer->data == nullptr) Adopt(event.peer);  // an engine that connected to us
        e.kind = TransportEvent::Kind::kConnected;
        e.peer = IdOf(event.peer);
        out->push_back(std::move(e));
        break;
      case ENET_EVENT_TYPE_DISCONNECT:
        if (event.peer->data == nullptr) break;
        e.kind = TransportEvent::Kind::kDisconnected;
        e.peer = IdOf(event.peer);
        peers_.erase(e.peer);
        event.peer->data = nullptr;
        out->push_back(std::move(e));
        break;
      case ENET_EVENT_TYPE_RECEIVE:
        e.kind = TransportEvent::Kind::kMessage;
        e.peer = IdOf(event.peer);
        e.delivery = DeliveryOf(event.channelID);
        e.data.assign(event.packet->data, event.packet->data + event.packet->dataLength);
        enet_packet_destroy(event.packet);
        if (e.peer != 0) out->push_back(std::move(e));
        break;
      case ENET_EVENT_TYPE_NONE:
        break;
    }
  }

  bool initialised_ = false;
  ENetHost* host_ = nullptr;
  std::map<PeerId, ENetPeer*> peers_;  // started or connected, by id
  PeerId nextId_ = 1;
  PeerId local_ = 0;
  SearchResponder responder_;
  int lossPercent_ = 0;
  uint32_t random_ = 1;
  int wakeFd_ = -1;
  std::atomic<uint64_t> wireBytes_{0};
};

}  // namespace

std::unique_ptr<Transport> MakeEnetTransport() { return std::make_unique<EnetTransport>(); }

std::string ComputerName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

std::string LoginName() {
  if (const char* user = std::getenv("USER"); user != nullptr && *user != '\0') return user;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_name != nullptr) return entry->pw_name;
  return "";
}

}  // namespace platform
