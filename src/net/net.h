// Public header of src/net/: network sessions. Several engines play one game: one hosts a session,
// the others join it by name; each element belongs to one machine, whose values the others follow
// every tick; chosen globals are shared; brains send each other short texts.
//
// Order of calls: make a Session with a transport; StartNetwork (or Host / Search + Join) opens
// it; BeginPlay at every play start (the session then hooks the brain step); the instruction
// calls at will; Stop (or the destructor) ends it. Every call is the game thread's; the session's
// own receive thread owns the transport while the session is open.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "brain/brain.h"
#include "core/core.h"
#include "platform/platform.h"

namespace net {

// [SECTION] Limits and message formats

// The UDP port of a session when network.ini names none.
inline constexpr uint16_t kDefaultPort = 28460;
inline constexpr int kMaxPlayers = 100;
inline constexpr int32_t kMaxMachine = 100;  // machine numbers run 0..100
inline constexpr int kMachines = kMaxMachine + 1;
inline constexpr int kElements = 256;
inline constexpr int kMaxSharedGlobals = 2048;
inline constexpr size_t kInboxBytes = 23552;
inline constexpr size_t kMinMessage = 8;
inline constexpr size_t kMaxMessage = 65536;
inline constexpr int32_t kSendInterval = 90;   // ticks between state messages at the latest
inline constexpr int32_t kHalvingPeriod = 128;  // ticks between halvings of the activity counters
inline constexpr int32_t kStartCountdown = 3;   // ticks before elements are synchronised

// Network flags of an element (record word 37).
inline constexpr int32_t kFlagVelocity = 0x001;
inline constexpr int32_t kFlagPosition = 0x002;
inline constexpr int32_t kFlagSpin = 0x010;
inline constexpr int32_t kFlagRotation = 0x020;
inline constexpr int32_t kFlagOn = 0x100;
inline constexpr int32_t kFlagVisible = 0x200;
inline constexpr int32_t kFlagFrame = 0x400;
inline constexpr int32_t kShiftBits = 0xCC;
inline bool TakesPart(int32_t flags) { return (flags & ~kShiftBits) != 0; }
inline int PositionShift(int32_t flags) { return ((flags >> 2) & 3) + 1; }
inline int RotationShift(int32_t flags) { return ((flags >> 6) & 3) + 1; }
// Bytes of one element entry of a state message, its index included.
size_t EntryBytes(int32_t flags);

// The values a state message carries for one element, at fixed places. `received` is -1 until a
// message for the element has arrived, then 0.
struct RemoteEntry {
  int32_t received = -1;
  int32_t velocity[3] = {-1, -1, -1};
  int32_t position[3] = {-1, -1, -1};
  int32_t spin[3] = {-1, -1, -1};
  int32_t rotation[3] = {-1, -1, -1};
  int32_t status = -1;
  int32_t frame = -1;
};

// What an element owner publishes after its brain ran, for the next state message.
struct OutgoingEntry {
  int32_t position[3] = {};
  int32_t velocity[3] = {};  // position change over the last tick
  int32_t rotation[3] = {};
  int32_t spin[3] = {};      // rotation change over the last tick, as wrapped angle differences
  int32_t status = 0;        // low byte of the status word
  int32_t frame = 0;
};

// A shared global: machine << 16 | index, and the last value received for it.
struct SharedGlobal {
  int32_t word = 0;
  int32_t received = 0;
  int32_t Index() const { return word & 0x7FF; }
  int32_t Owner() const { return word >> 16; }
};

// Parses the project's shared-globals text: comma-separated entries "i" or "i(m)" (index taken
// & 0x7FF, machine 0..100), at most kMaxSharedGlobals. A bad entry is skipped and described in
// *notices.
std::vector<SharedGlobal> ParseSharedGlobals(const std::string& text, std::vector<std::string>* notices);

// Received texts back to back: a 32-bit mask, the text and its zero.
struct Inbox {
  std::array<uint8_t, kInboxBytes> bytes{};
  size_t used = 0;
  // False, changing nothing, when the message does not fit whole.
  bool Append(int32_t mask, const uint8_t* text, size_t length);
  // When the first message's mask shares a bit with `mask`: its text to *text, the message
  // removed and the later ones moved forward; true. Otherwise nothing changes and false.
  bool TakeFirst(int32_t mask, std::string* text);
  void Clear() { used = 0; }
};

// What received messages may change: the remote entries of elements that take part, the shared
// slots, the activity counters, the mismatch flag, the message count and the inbox.
struct ReceivedState {
  std::array<RemoteEntry, kElements> remote{};
  std::vector<SharedGlobal> shared;
  std::array<int32_t, kMachines> activity{};
  int32_t mismatch = 0;         // -1 after a message with another match value
  int32_t messagesCounted = 0;  // state messages since the last send trigger
  int32_t machinesHeard = 0;    // machines whose counter was above 1 at the last halving
  bool sendNow = false;         // every heard machine has spoken: send on the next tick
  Inbox inbox;
};

// What the decoder checks a state message against: the receiver's view of the play.
struct ElementView {
  int32_t flags = 0;
  int32_t owner = 0;
  int32_t frames = 0;  // the element's frame count
};
struct DecodeContext {
  int32_t matchValue = 0;
  int32_t lastElement = -1;
  const ElementView* elements = nullptr;  // kElements entries
  int32_t ownMachine = 0;
  bool ownHost = false;
  bool senderIsHost = false;  // the message came from the machine that hosts the session now
};

enum class Decoded : uint8_t { kDropped, kMismatch, kState, kText, kTextDropped };
// Checks one received message and applies it whole to *state. Never reads outside the bytes given
// and never writes outside the regions of ReceivedState named above.
Decoded ApplyMessage(const uint8_t* data, size_t bytes, const DecodeContext& context, ReceivedState* state);

// A state message: the match value, the sender's machine, an entry for each element the sender
// owns that takes part (the host also sends those of machine 0), then, when the play shares
// globals, -1, the count and the (slot * 8, value) pairs of the globals the sender owns.
struct EncodeInput {
  int32_t matchValue = 0;
  int32_t machine = 0;
  bool host = false;
  int32_t lastElement = -1;
  const int32_t* records = nullptr;  // element records (flags and owner words)
  const OutgoingEntry* outgoing = nullptr;
  const std::vector<SharedGlobal>* shared = nullptr;
  const int32_t* globals = nullptr;
};
void EncodeState(const EncodeInput& input, std::vector<uint8_t>* out);
// Whether this machine sends (and never applies) an element or global of `owner`.
inline bool Owns(int32_t owner, int32_t machine, bool host) { return owner == machine || (host && owner == 0); }

// A text message: 0, the mask, the text and its zero.
std::vector<uint8_t> EncodeText(int32_t mask, const std::string& text);

// [SECTION] Settings

// network.ini, section "Settings".
struct NetworkSettings {
  int32_t connection = 0;  // 1: IPAddress and PortNumber; anything else: search the local network
  int32_t mode = 0;        // 0 host, else join
  int32_t timeout = 0;     // searches, a second apart
  std::string ipAddress;
  int64_t port = 0;  // 0: kDefaultPort; above 65535 fails the connection
  std::string sessionName;
  std::string playerName;
};
// False when the file cannot be read. Names are cut at 256 characters.
bool ReadNetworkSettings(const std::string& path, NetworkSettings* out);

// [SECTION] The session

struct SessionOptions {
  int lossPercent = 0;   // share of incoming datagrams dropped
  uint32_t seed = 1;     // of the drops
  int delayMs = 0;       // each outgoing message is held this long
  int searchWaitMs = 1000;  // how long one search listens for answers
};

// Shows a box: the text, its buttons, which one answers when nobody does; returns the chosen one.
using BoxFunction = std::function<int(const std::string& text, const std::vector<std::string>& buttons, int defaultButton)>;
// A line for the log of joins, leaves and host changes ("[network] ..." on stderr by default).
using LogFunction = std::function<void(const std::string& line)>;

// A session found by a search.
struct FoundSession {
  std::string name;
  std::string address;
  uint16_t port = 0;
};

// One engine's network state and its receive thread. Two sessions may live in one process.
class Session final : public brain::NetworkHooks {
 public:
  explicit Session(std::unique_ptr<platform::Transport> transport, SessionOptions options = {});
  ~Session() override;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void SetLog(LogFunction log) { log_ = std::move(log); }

  // Opens a session named `name` on the port and becomes its host.
  bool Host(const std::string& name, uint16_t port, const std::string& player, std::string* error);
  // Sessions of this application answering on the port at `address` ("" searches the local
  // network by broadcast and this machine), waiting options.searchWaitMs. False with a message
  // when the search could not be sent.
  bool Search(const std::string& address, uint16_t port, std::vector<FoundSession>* found, std::string* error);
  // Joins a session found by Search; returns once the host has welcomed this engine (true) or
  // within a few seconds (false).
  bool Join(const FoundSession& session, const std::string& player, std::string* error);
  // Leaves the session: the receive thread ends and the others are told. Safe when not open.
  void Stop();

  bool Active() const { return active_.load(); }
  bool IsHost() const { return host_.load(); }

  // Play start: the element records, the last element, the shared-globals text, the globals; the
  // match value is computed and the countdowns set. `playSound` starts an element's sound.
  void BeginPlay(int32_t* records, int32_t lastElement, const std::string& sharedGlobals, int32_t* globals,
                 std::function<void(int32_t element)> playSound, std::vector<std::string>* notices);
  // After a brain sets a global: every shared global owned by another machine gets its received
  // value back.
  void ReapplySharedGlobals();

  // The brain step's hooks.
  void BeforeElements() override;
  void BeforeBrain(int32_t element, int32_t* record) override;
  void AfterBrain(int32_t element, int32_t* record) override;
  void AfterElements() override;

  // The instructions' view.
  int32_t Machine() const { return machine_; }
  void SetMachine(int32_t machine);
  int32_t MachineStatus(int32_t machine) const;
  int32_t Mismatch(int32_t tick);
  bool SendText(int32_t mask, const std::string& text);
  // str_poll: the text of the first message when its mask matches (removed), else false.
  bool PollText(int32_t mask, std::string* text);

  // Applies a received message as the receive thread does (`fromHost`: it came from the machine
  // hosting now). Tests and benchmarks feed messages through it.
  Decoded ApplyReceived(const uint8_t* data, size_t bytes, bool fromHost);

  // The "network" object of a state dump.
  std::string Json() const;
  // A consistent copy of the received state, as the receive thread has it now.
  ReceivedState Snapshot() const;
  // One element's remote entry, as the receive thread has it now.
  RemoteEntry Remote(int32_t element) const;
  // Bytes the transport has put on the wire (0 for a transport that does not count).
  uint64_t WireBytesSent() const { return transport_ ? transport_->WireBytesSent() : 0; }
  int32_t MatchValue() const { return matchValue_; }
  uint64_t StateBytesSent() const { return stateBytesSent_.load(); }
  uint64_t StateMessagesSent() const { return stateMessagesSent_.load(); }
  int PeerCount() const { return peerCount_.load(); }

 private:
  struct Peer;
  struct Outgoing {
    std::chrono::steady_clock::time_point due;
    platform::Delivery delivery;
    std::vector<uint8_t> bytes;
  };
  bool StartThread();
  void ThreadMain();
  void HandleEvent(platform::TransportEvent& event);
  void HandleControl(uint32_t peer, const std::vector<uint8_t>& data);
  void PeerLeft(uint32_t peer);
  void Queue(platform::Delivery delivery, std::vector<uint8_t> bytes);
  void SendState();
  void Log(const std::string& line);
  std::vector<uint8_t> AnswerSearch(const uint8_t* data, size_t bytes) const;

  std::unique_ptr<platform::Transport> transport_;
  SessionOptions options_;
  LogFunction log_;
  std::string sessionName_;
  std::string playerName_;

  // Shared by both threads: the received state and the view the decoder checks against (under
  // mutex_), the outgoing queue (under outMutex_), a few single flags.
  mutable std::mutex mutex_;
  ReceivedState received_;
  std::array<ElementView, kElements> view_{};
  int32_t viewLast_ = -1;
  int32_t viewMatch_ = 0;
  int32_t viewMachine_ = 0;
  std::mutex outMutex_;
  std::deque<Outgoing> outbox_;
  std::atomic<bool> active_{false};
  std::atomic<bool> host_{false};
  std::atomic<bool> quit_{false};
  std::atomic<bool> welcomed_{false};
  std::atomic<bool> refused_{false};
  std::atomic<int> peerCount_{0};
  std::atomic<uint64_t> stateBytesSent_{0};
  std::atomic<uint64_t> stateMessagesSent_{0};
  std::thread thread_;

  // The receive thread's own: the mesh.
  std::vector<std::unique_ptr<Peer>> peers_;
  int32_t order_ = 0;      // this engine's place in the join order (0 the first host)
  int32_t nextOrder_ = 1;  // the next joiner's place, while hosting
  uint32_t hostPeer_ = 0;  // the peer that hosts now; 0 when it is this engine

  // The game thread's own: the play.
  int32_t* records_ = nullptr;
  int32_t* globals_ = nullptr;
  int32_t lastElement_ = -1;
  std::function<void(int32_t)> playSound_;
  int32_t machine_ = 0;
  int32_t matchValue_ = 0;
  int32_t startCountdown_ = 0;
  int32_t sendCountdown_ = 0;
  int32_t tick_ = 0;
  ReceivedState copy_;  // taken at each tick's start
  std::array<std::array<int32_t, 14>, kElements> saved_{};
  std::array<OutgoingEntry, kElements> outgoing_{};
  std::vector<uint8_t> message_;
};

// Start network: opens a session by network.ini in `folder` or, without it, by the dialog of
// boxes; on failure asks whether to play alone. 1 go on (alone or connected), 0 quit.
int StartNetwork(Session* session, const std::string& folder, const BoxFunction& box);

}  // namespace net
