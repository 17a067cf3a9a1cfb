// A session: the receive thread and its mesh of engines (joins, leaves, host migration, searches),
// and the per-tick synchronisation of elements and shared globals. Calls the platform transport,
// the message formats and core.
//
// [SECTION] Mesh control
// [SECTION] Receive thread
// [SECTION] Play and tick hooks
// [SECTION] Instructions and dump
//
// Threads: the receive thread alone touches the transport once the session is open. It applies
// each received message whole under mutex_; the game thread takes one copy of what it needs at
// each tick's start, so a tick never sees half a message. Outgoing messages go through outbox_,
// which the receive thread empties at least once a millisecond.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "net/net.h"

namespace net {
namespace {

// The application identity a search asks for and a host answers with.
constexpr uint8_t kIdentity[16] = {0x60, 0xB0, 0xFD, 0x5B, 0xA4, 0x06, 0xD0, 0x11,
                                   0x9C, 0x4F, 0x00, 0xA0, 0xC9, 0x05, 0x42, 0x5E};
constexpr char kQueryTag[4] = {'V', 'X', 'Q', '1'};
constexpr char kAnswerTag[4] = {'V', 'X', 'A', '1'};

// Control messages of the mesh, on their own channel.
constexpr uint8_t kHello = 'H';    // order (-1 from a newcomer), player name
constexpr uint8_t kWelcome = 'W';  // the newcomer's order, then each other player: order, port, address, name

constexpr int kRecordWords = 256;
constexpr int kWordCurrentAspect = 0;
constexpr int kWordFirstAspect = 1;
constexpr int kWordPosition = 3;
constexpr int kWordRotation = 6;
constexpr int kWordVelocity = 9;
constexpr int kWordSpin = 12;
constexpr int kWordStatus = 22;
constexpr int kWordFlags = 37;
constexpr int kWordOwner = 38;
constexpr int kWordFrames = 42;
constexpr int32_t kSlotBytes = 64;  // one aspect slot: frame n is slot first + n
constexpr int32_t kFullTurn = 184320;
constexpr uint32_t kStatusOn = 1;
constexpr uint32_t kStatusVisible = 0x40;

void PutWord(std::vector<uint8_t>* out, int32_t word) {
  const auto value = static_cast<uint32_t>(word);
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void PutText(std::vector<uint8_t>* out, const std::string& text) {
  const size_t length = std::min<size_t>(text.size(), 255);
  out->push_back(static_cast<uint8_t>(length));
  out->insert(out->end(), text.begin(), text.begin() + static_cast<long>(length));
}

// Reads control messages without ever running past their end.
struct Reader {
  const std::vector<uint8_t>& data;
  size_t at = 1;
  bool good = true;
  int32_t Word() {
    if (data.size() - at < 4) {
      good = false;
      return 0;
    }
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | data[at + static_cast<size_t>(i)];
    at += 4;
    return static_cast<int32_t>(value);
  }
  std::string Text() {
    if (data.size() - at < 1 || data.size() - at - 1 < data[at]) {
      good = false;
      return "";
    }
    const size_t length = data[at];
    std::string text(data.begin() + static_cast<long>(at + 1), data.begin() + static_cast<long>(at + 1 + length));
    at += 1 + length;
    return text;
  }
};

int32_t Wrapping(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }
int32_t Minus(int32_t a, int32_t b) { return Wrapping(static_cast<int64_t>(a) - b); }
int32_t Plus(int32_t a, int32_t b) { return Wrapping(static_cast<int64_t>(a) + b); }

// The shortest way from one angle to another, in -half turn .. +half turn.
int32_t AngleDifference(int32_t from, int32_t to) {
  int64_t difference = (static_cast<int64_t>(to) - from) % kFullTurn;
  if (difference > kFullTurn / 2) difference -= kFullTurn;
  if (difference < -kFullTurn / 2) difference += kFullTurn;
  return static_cast<int32_t>(difference);
}

std::string JsonText(const std::string& text) {
  std::string out = "\"";
  for (const unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

}  // namespace

struct Session::Peer {
  uint32_t id = 0;
  int32_t order = -1;  // place in the join order; -1 until it has said hello
  std::string name;
  bool connected = false;
};

Session::Session(std::unique_ptr<platform::Transport> transport, SessionOptions options)
    : transport_(std::move(transport)), options_(options) {
  log_ = [](const std::string& line) { std::fprintf(stderr, "[network] %s\n", line.c_str()); };
}

Session::~Session() { Stop(); }

void Session::Log(const std::string& line) {
  if (log_) log_(line);
}

// [SECTION] Mesh control

bool Session::Host(const std::string& name, uint16_t port, const std::string& player, std::string* error) {
  Stop();
  sessionName_ = name;
  playerName_ = player;
  if (!transport_->Host(name, port, kMaxPlayers - 1, error)) return false;
  order_ = 0;
  nextOrder_ = 1;
  hostPeer_ = 0;
  host_ = true;
  if (!StartThread()) {
    *error = "the receive thread could not start";
    transport_->Leave();
    host_ = false;
    return false;
  }
  active_ = true;
  return true;
}

bool Session::Search(const std::string& address, uint16_t port, std::vector<FoundSession>* found, std::string* error) {
  std::vector<uint8_t> query(kQueryTag, kQueryTag + 4);
  query.insert(query.end(), kIdentity, kIdentity + 16);
  std::vector<platform::SearchReply> replies;
  // The broadcast reaches the local network; this machine is asked directly as well, since a
  // broadcast need not come back to its sender.
  const std::vector<std::string> targets = address.empty() ? std::vector<std::string>{"", "127.0.0.1"}
                                                           : std::vector<std::string>{address};
  if (!transport_->Search(targets, port, query, options_.searchWaitMs, &replies, error)) return false;
  for (const platform::SearchReply& reply : replies) {
    const std::vector<uint8_t>& data = reply.data;
    if (data.size() < 21 || std::memcmp(data.data(), kAnswerTag, 4) != 0 || std::memcmp(data.data() + 4, kIdentity, 16) != 0) continue;
    FoundSession session{std::string(data.begin() + 21, data.end()), reply.address, reply.port};
    if (data[20] != session.name.size()) continue;
    // The same host may answer both the broadcast and the direct question.
    const bool seen = std::any_of(found->begin(), found->end(), [&](const FoundSession& s) {
      return s.port == session.port && s.name == session.name && (s.address == session.address || s.address == "127.0.0.1" || session.address == "127.0.0.1");
    });
    if (!seen) found->push_back(session);
  }
  return true;
}

std::vector<uint8_t> Session::AnswerSearch(const uint8_t* data, size_t bytes) const {
  if (!host_.load() || bytes != 20 || std::memcmp(data, kQueryTag, 4) != 0 || std::memcmp(data + 4, kIdentity, 16) != 0) return {};
  std::vector<uint8_t> answer(kAnswerTag, kAnswerTag + 4);
  answer.insert(answer.end(), kIdentity, kIdentity + 16);
  const size_t length = std::min<size_t>(sessionName_.size(), 255);
  answer.push_back(static_cast<uint8_t>(length));
  answer.insert(answer.end(), sessionName_.begin(), sessionName_.begin() + static_cast<long>(length));
  return answer;
}

bool Session::Join(const FoundSession& session, const std::string& player, std::string* error) {
  Stop();
  sessionName_ = session.name;
  playerName_ = player;
  welcomed_ = false;
  refused_ = false;
  host_ = false;
  if (!transport_->Join(session.name, session.address, session.port, error)) return false;
  if (!StartThread()) {
    *error = "the receive thread could not start";
    transport_->Leave();
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!welcomed_.load() && !refused_.load() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (!welcomed_.load()) {
    *error = "the host did not answer";
    Stop();
    return false;
  }
  active_ = true;
  return true;
}

void Session::Stop() {
  if (thread_.joinable()) {
    quit_ = true;
    transport_->Wake();
    thread_.join();
  }
  quit_ = false;
  if (transport_) {
    transport_->SetSearchResponder(nullptr);
    transport_->Leave();
  }
  peers_.clear();
  peerCount_ = 0;
  active_ = false;
  host_ = false;
  std::lock_guard<std::mutex> lock(outMutex_);
  outbox_.clear();
}

bool Session::StartThread() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    received_.inbox.Clear();
    for (RemoteEntry& entry : received_.remote) entry = RemoteEntry{};
  }
  // A simulated bad network starts with the session: a host's at once, a joiner's once it is
  // welcomed (the handshake itself is left alone, so a lossy run still gets in).
  transport_->SetIncomingLoss(host_.load() ? options_.lossPercent : 0, options_.seed);
  transport_->SetSearchResponder([this](const uint8_t* data, size_t bytes) { return AnswerSearch(data, bytes); });
  quit_ = false;
  thread_ = std::thread([this] { ThreadMain(); });
  return thread_.joinable();
}

void Session::HandleControl(uint32_t id, const std::vector<uint8_t>& data) {
  auto found = std::find_if(peers_.begin(), peers_.end(), [id](const auto& p) { return p->id == id; });
  if (found == peers_.end() || data.empty()) return;
  Peer& peer = **found;
  Reader reader{data};
  if (data[0] == kHello) {
    const int32_t order = reader.Word();
    const std::string name = reader.Text();
    if (!reader.good || peer.order >= 0) return;
    peer.name = name;
    if (order >= 0) {
      peer.order = order;
      Log("\"" + (name.empty() ? std::string("unknown") : name) + "\" has joined");
      return;
    }
    // A newcomer: only the host places it and hands it the players to connect to.
    if (!host_.load()) return;
    peer.order = nextOrder_++;
    std::vector<uint8_t> welcome{kWelcome};
    PutWord(&welcome, peer.order);
    int32_t count = 0;
    std::vector<uint8_t> list;
    for (const auto& other : peers_) {
      std::string address;
      uint16_t port = 0;
      if (other->id == id || other->order < 0 || !transport_->AddressOf(other->id, &address, &port)) continue;
      PutWord(&list, other->order);
      PutWord(&list, port);
      PutText(&list, address);
      ++count;
    }
    PutWord(&welcome, count);
    welcome.insert(welcome.end(), list.begin(), list.end());
    transport_->Send(id, platform::Delivery::kControl, welcome.data(), welcome.size());
    Log("\"" + (name.empty() ? std::string("unknown") : name) + "\" has joined");
  } else if (data[0] == kWelcome && !welcomed_.load()) {
    const int32_t order = reader.Word();
    const int32_t count = reader.Word();
    if (!reader.good || order < 1 || count < 0 || count > kMaxPlayers) return;
    order_ = order;
    hostPeer_ = id;
    for (int32_t i = 0; i < count; ++i) {
      reader.Word();
      const int32_t port = reader.Word();
      const std::string address = reader.Text();
      if (!reader.good) break;
      std::string error;
      const uint32_t other = transport_->Connect(address, static_cast<uint16_t>(port), &error);
      if (other != 0) {
        auto added = std::make_unique<Peer>();
        added->id = other;
        peers_.push_back(std::move(added));
      }
    }
    transport_->SetIncomingLoss(options_.lossPercent, options_.seed);
    welcomed_ = true;
  }
}

void Session::PeerLeft(uint32_t id) {
  auto found = std::find_if(peers_.begin(), peers_.end(), [id](const auto& p) { return p->id == id; });
  if (found == peers_.end()) return;
  if ((*found)->connected) --peerCount_;
  if ((*found)->order >= 0) Log("\"" + ((*found)->name.empty() ? std::string("unknown") : (*found)->name) + "\" has left");
  peers_.erase(found);
  if (id == hostPeer_ && !welcomed_.load()) {
    refused_ = true;
    return;
  }
  if (id != hostPeer_ || host_.load()) return;
  // The host is gone: the engine that joined first takes over, everywhere alike, with no vote.
  const Peer* first = nullptr;
  for (const auto& peer : peers_) {
    if (peer->order >= 0 && (first == nullptr || peer->order < first->order)) first = peer.get();
  }
  if (first != nullptr && first->order < order_) {
    hostPeer_ = first->id;
    return;
  }
  hostPeer_ = 0;
  int32_t highest = order_;
  for (const auto& peer : peers_) highest = std::max(highest, peer->order);
  nextOrder_ = highest + 1;
  host_ = true;
  Log("You have become the host");
}

// [SECTION] Receive thread

void Session::ThreadMain() {
  std::vector<platform::TransportEvent> events;
  std::vector<Outgoing> due;
  for (bool last = false; !last;) {
    // A session that ends still sends what was queued before it ended.
    last = quit_.load();
    bool waiting = false;  // held messages: wake again soon to send them on time
    {
      std::lock_guard<std::mutex> lock(outMutex_);
      const auto now = std::chrono::steady_clock::now();
      while (!outbox_.empty() && (last || outbox_.front().due <= now)) {
        due.push_back(std::move(outbox_.front()));
        outbox_.pop_front();
      }
      waiting = !outbox_.empty();
    }
    for (Outgoing& message : due) {
      if (transport_->Send(platform::kAllPeers, message.delivery, message.bytes.data(), message.bytes.size()) &&
          message.delivery == platform::Delivery::kUnreliable) {
        stateBytesSent_ += message.bytes.size() * static_cast<uint64_t>(peerCount_.load());
      }
    }
    due.clear();
    if (last) break;
    events.clear();
    transport_->PollFor(&events, waiting ? 1 : 10);
    for (platform::TransportEvent& event : events) HandleEvent(event);
  }
}

void Session::HandleEvent(platform::TransportEvent& event) {
  using Kind = platform::TransportEvent::Kind;
  if (event.kind == Kind::kConnected) {
    auto found = std::find_if(peers_.begin(), peers_.end(), [&](const auto& p) { return p->id == event.peer; });
    if (found == peers_.end()) {
      auto added = std::make_unique<Peer>();
      added->id = event.peer;
      peers_.push_back(std::move(added));
      found = peers_.end() - 1;
    }
    if (!(*found)->connected) ++peerCount_;
    (*found)->connected = true;
    // Everyone introduces itself; a newcomer that has no place yet asks for one.
    std::vector<uint8_t> hello{kHello};
    PutWord(&hello, host_.load() || welcomed_.load() ? order_ : -1);
    PutText(&hello, playerName_);
    transport_->Send(event.peer, platform::Delivery::kControl, hello.data(), hello.size());
    return;
  }
  if (event.kind == Kind::kDisconnected) {
    PeerLeft(event.peer);
    return;
  }
  if (event.delivery == platform::Delivery::kControl) {
    HandleControl(event.peer, event.data);
    return;
  }
  ApplyReceived(event.data.data(), event.data.size(), event.peer == hostPeer_ && hostPeer_ != 0);
}

Decoded Session::ApplyReceived(const uint8_t* data, size_t bytes, bool fromHost) {
  std::lock_guard<std::mutex> lock(mutex_);
  DecodeContext context;
  context.matchValue = viewMatch_;
  context.lastElement = viewLast_;
  context.elements = view_.data();
  context.ownMachine = viewMachine_;
  context.ownHost = host_.load();
  context.senderIsHost = fromHost;
  return ApplyMessage(data, bytes, context, &received_);
}

void Session::Queue(platform::Delivery delivery, std::vector<uint8_t> bytes) {
  std::lock_guard<std::mutex> lock(outMutex_);
  outbox_.push_back(Outgoing{std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.delayMs), delivery,
                             std::move(bytes)});
  // The receive thread sends it now, not when its wait ends.
  transport_->Wake();
}

// [SECTION] Play and tick hooks

void Session::BeginPlay(int32_t* records, int32_t lastElement, const std::string& sharedGlobals, int32_t* globals,
                        std::function<void(int32_t)> playSound, std::vector<std::string>* notices) {
  records_ = records;
  globals_ = globals;
  lastElement_ = std::min(lastElement, kElements - 1);
  playSound_ = std::move(playSound);
  std::vector<SharedGlobal> shared = ParseSharedGlobals(sharedGlobals, notices);
  uint32_t match = 0;
  for (int32_t i = 0; i <= lastElement_; ++i) match += static_cast<uint32_t>(records_[i * kRecordWords + kWordFlags]);
  for (const SharedGlobal& global : shared) match += static_cast<uint32_t>(global.word);
  matchValue_ = static_cast<int32_t>(match);
  startCountdown_ = kStartCountdown;
  sendCountdown_ = 0;
  tick_ = 0;
  outgoing_.fill(OutgoingEntry{});
  std::lock_guard<std::mutex> lock(mutex_);
  for (RemoteEntry& entry : received_.remote) entry = RemoteEntry{};
  received_.shared = std::move(shared);
  viewMatch_ = matchValue_;
  viewLast_ = -1;
}

void Session::ReapplySharedGlobals() {
  if (!active_.load() || globals_ == nullptr || startCountdown_ > 0) return;
  const bool host = host_.load();
  for (const SharedGlobal& global : copy_.shared) {
    if (!Owns(global.Owner(), machine_, host)) globals_[global.Index()] = global.received;
  }
}

void Session::BeforeElements() {
  if (!active_.load() || records_ == nullptr) return;
  const bool host = host_.load();
  std::lock_guard<std::mutex> lock(mutex_);
  if (received_.sendNow) {
    received_.sendNow = false;
    sendCountdown_ = 0;
  }
  for (int32_t i = 0; i <= lastElement_; ++i) {
    const int32_t* record = records_ + i * kRecordWords;
    view_[static_cast<size_t>(i)] = ElementView{record[kWordFlags], record[kWordOwner], record[kWordFrames]};
  }
  viewLast_ = lastElement_;
  viewMachine_ = machine_;
  // Until a value arrives, a global another machine owns keeps the value it had here.
  if (startCountdown_ == 1) {
    for (SharedGlobal& global : received_.shared) {
      if (!Owns(global.Owner(), machine_, host)) global.received = globals_[global.Index()];
    }
  }
  copy_.remote = received_.remote;
  copy_.shared = received_.shared;
  copy_.activity = received_.activity;
}

void Session::BeforeBrain(int32_t element, int32_t* record) {
  if (!active_.load() || startCountdown_ > 0 || !TakesPart(record[kWordFlags])) return;
  std::array<int32_t, 14>& saved = saved_[static_cast<size_t>(element)];
  std::memcpy(saved.data(), record + kWordPosition, 12 * sizeof(int32_t));
  saved[12] = record[kWordStatus];
  saved[13] = record[kWordCurrentAspect];
}

void Session::AfterBrain(int32_t element, int32_t* record) {
  const int32_t flags = record[kWordFlags];
  if (!active_.load() || startCountdown_ > 0 || !TakesPart(flags)) return;
  const std::array<int32_t, 14>& saved = saved_[static_cast<size_t>(element)];
  int32_t* position = record + kWordPosition;
  int32_t* rotation = record + kWordRotation;
  int32_t* velocity = record + kWordVelocity;
  int32_t* spin = record + kWordSpin;
  if (Owns(record[kWordOwner], machine_, host_.load())) {
    OutgoingEntry& out = outgoing_[static_cast<size_t>(element)];
    for (int axis = 0; axis < 3; ++axis) {
      out.position[axis] = position[axis];
      out.velocity[axis] = Minus(position[axis], saved[axis]);
      out.rotation[axis] = rotation[axis];
      out.spin[axis] = AngleDifference(saved[3 + axis], rotation[axis]);
    }
    out.status = record[kWordStatus] & 0xFF;
    out.frame = Minus(record[kWordCurrentAspect], record[kWordFirstAspect]) / kSlotBytes;
    return;
  }
  // Another machine's element: what the local brain did is undone.
  if (flags & (kFlagVelocity | kFlagPosition)) {
    std::memcpy(position, saved.data(), 3 * sizeof(int32_t));
    std::memcpy(velocity, saved.data() + 6, 3 * sizeof(int32_t));
  }
  if (flags & (kFlagSpin | kFlagRotation)) {
    std::memcpy(rotation, saved.data() + 3, 3 * sizeof(int32_t));
    std::memcpy(spin, saved.data() + 9, 3 * sizeof(int32_t));
  }
  if (flags & (kFlagOn | kFlagVisible)) record[kWordStatus] = saved[12];
  if (flags & kFlagFrame) record[kWordCurrentAspect] = saved[13];
  const RemoteEntry& remote = copy_.remote[static_cast<size_t>(element)];
  if (remote.received != 0) return;
  const int positionShift = PositionShift(flags);
  const int rotationShift = RotationShift(flags);
  for (int axis = 0; axis < 3; ++axis) {
    if (flags & kFlagVelocity) velocity[axis] = remote.velocity[axis];
    if (flags & kFlagPosition) velocity[axis] = Plus(velocity[axis], Minus(remote.position[axis], position[axis]) >> positionShift);
    if (flags & kFlagSpin) spin[axis] = remote.spin[axis];
    if (flags & kFlagRotation) spin[axis] = Plus(spin[axis], AngleDifference(rotation[axis], remote.rotation[axis]) >> rotationShift);
  }
  auto& status = reinterpret_cast<uint32_t&>(record[kWordStatus]);
  const auto received = static_cast<uint32_t>(remote.status);
  auto snap = [&] {
    for (int axis = 0; axis < 3; ++axis) {
      if (flags & kFlagPosition) position[axis] = remote.position[axis];
      if (flags & kFlagRotation) rotation[axis] = remote.rotation[axis];
      velocity[axis] = 0;
      spin[axis] = 0;
    }
  };
  if (flags & kFlagOn) {
    if ((received & kStatusOn) != 0 && (status & kStatusOn) == 0) {
      snap();
      record[kWordCurrentAspect] = record[kWordFirstAspect];
      if (playSound_) playSound_(element);
    }
    status = (status & ~kStatusOn) | (received & kStatusOn);
  }
  if (flags & kFlagVisible) {
    if ((received & kStatusVisible) != 0 && (status & kStatusVisible) == 0) snap();
    status = (status & ~kStatusVisible) | (received & kStatusVisible);
  }
  if ((flags & kFlagFrame) && remote.frame >= 0 && remote.frame <= record[kWordFrames]) {
    record[kWordCurrentAspect] = Plus(record[kWordFirstAspect], remote.frame * kSlotBytes);
  }
  for (int axis = 0; axis < 3; ++axis) {
    if (flags & (kFlagVelocity | kFlagPosition)) position[axis] = Plus(position[axis], velocity[axis]);
    if (flags & (kFlagSpin | kFlagRotation)) rotation[axis] = Plus(rotation[axis], spin[axis]);
  }
}

void Session::AfterElements() {
  if (!active_.load() || records_ == nullptr) return;
  ++tick_;
  // Nothing is sent before the elements are synchronised: the outgoing tables are not filled yet.
  if (startCountdown_ > 0) {
    --startCountdown_;
    return;
  }
  if (tick_ % kHalvingPeriod == 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    int32_t heard = 0;
    // Every machine number counts, 100 included.
    for (int32_t& counter : received_.activity) {
      if (counter > 1) ++heard;
      counter /= 2;
    }
    received_.machinesHeard = heard;
  }
  if (--sendCountdown_ > 0) return;
  sendCountdown_ = kSendInterval;
  SendState();
}

void Session::SendState() {
  EncodeInput input;
  input.matchValue = matchValue_;
  input.machine = machine_;
  input.host = host_.load();
  input.lastElement = lastElement_;
  input.records = records_;
  input.outgoing = outgoing_.data();
  input.shared = &copy_.shared;
  input.globals = globals_;
  EncodeState(input, &message_);
  stateMessagesSent_++;
  Queue(platform::Delivery::kUnreliable, message_);
}

// [SECTION] Instructions and dump

void Session::SetMachine(int32_t machine) { machine_ = std::clamp(machine, 0, kMaxMachine); }

int32_t Session::MachineStatus(int32_t machine) const {
  if (machine == 0) return 0;
  if (machine > 99) machine = kMaxMachine;
  if (machine < 0) return 0;
  const int32_t counter = copy_.activity[static_cast<size_t>(machine)];
  if (machine == machine_) return counter != 0 ? 2 : 1;
  return counter;
}

int32_t Session::Mismatch(int32_t tick) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (tick % 64 == 0) received_.mismatch = 0;
  return received_.mismatch;
}

bool Session::SendText(int32_t mask, const std::string& text) {
  if (!active_.load() || text.empty()) return false;
  Queue(platform::Delivery::kReliable, EncodeText(mask, text));
  return true;
}

bool Session::PollText(int32_t mask, std::string* text) {
  text->clear();
  if (!active_.load()) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  return received_.inbox.TakeFirst(mask, text);
}

ReceivedState Session::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

RemoteEntry Session::Remote(int32_t element) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_.remote[static_cast<size_t>(std::clamp(element, 0, kElements - 1))];
}

std::string Session::Json() const {
  const ReceivedState state = Snapshot();
  auto flag = [](bool b) { return std::string(b ? "true" : "false"); };
  std::string json = "{\"active\": " + flag(Active()) + ", \"host\": " + flag(IsHost()) +
                     ", \"machine\": " + std::to_string(machine_) + ", \"match_value\": " + std::to_string(matchValue_) +
                     ", \"mismatch\": " + flag(state.mismatch != 0) +
                     ", \"machines_heard\": " + std::to_string(state.machinesHeard) + ", \"activity\": [";
  for (size_t i = 0; i < state.activity.size(); ++i) json += (i == 0 ? "" : ", ") + std::to_string(state.activity[i]);
  json += "], \"shared\": [";
  for (size_t i = 0; i < state.shared.size(); ++i) {
    const SharedGlobal& global = state.shared[i];
    json += (i == 0 ? "{\"index\": " : ", {\"index\": ") + std::to_string(global.Index()) +
            ", \"machine\": " + std::to_string(global.Owner()) + ", \"received\": " + std::to_string(global.received) + "}";
  }
  json += "], \"inbox\": [";
  size_t at = 0;
  bool first = true;
  while (state.inbox.used - at >= 5) {
    int32_t mask = 0;
    std::memcpy(&mask, state.inbox.bytes.data() + at, 4);
    const auto* text = reinterpret_cast<const char*>(state.inbox.bytes.data() + at + 4);
    const size_t length = strnlen(text, state.inbox.used - at - 4);
    json += std::string(first ? "" : ", ") + "{\"mask\": " + std::to_string(mask) + ", \"text\": " + JsonText(std::string(text, length)) + "}";
    first = false;
    at += 4 + length + 1;
  }
  return json + "]}";
}

}  // namespace net
