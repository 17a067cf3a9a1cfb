// The two message formats of a session (state and text), their checks, the text inbox and the
// shared-globals list. Pure functions over bytes; calls only the C++ library and core.
#include <cstring>

#include "net/net.h"

namespace net {
namespace {

int32_t ReadWord(const uint8_t* at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | at[i];
  return static_cast<int32_t>(value);
}

// Words go out little-endian whatever the machine.
void PutWord(std::vector<uint8_t>* out, int32_t word) {
  const auto value = static_cast<uint32_t>(word);
  const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                            static_cast<uint8_t>(value >> 24)};
  out->insert(out->end(), bytes, bytes + 4);
}


constexpr int kRecordWords = 256;
constexpr int kWordFlags = 37;
constexpr int kWordOwner = 38;

}  // namespace

size_t EntryBytes(int32_t flags) {
  size_t bytes = 4;
  if (flags & kFlagVelocity) bytes += 12;
  if (flags & kFlagPosition) bytes += 12;
  if (flags & kFlagSpin) bytes += 12;
  if (flags & kFlagRotation) bytes += 12;
  if (flags & (kFlagOn | kFlagVisible)) bytes += 1;
  if (flags & kFlagFrame) bytes += 4;
  return bytes;
}

std::vector<SharedGlobal> ParseSharedGlobals(const std::string& text, std::vector<std::string>* notices) {
  std::vector<SharedGlobal> list;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    std::string entry = text.substr(start, end - start);
    start = end + 1;
    while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t')) entry.erase(0, 1);
    while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t' || entry.back() == '\r' || entry.back() == '\n')) entry.pop_back();
    if (entry.empty()) {
      if (end == text.size()) break;
      continue;
    }
    // "i" or "i(m)": digits, then optionally a machine number in round brackets, nothing else.
    size_t at = 0;
    auto digits = [&](int64_t* value) {
      const size_t first = at;
      *value = 0;
      while (at < entry.size() && entry[at] >= '0' && entry[at] <= '9' && at - first < 10) *value = *value * 10 + (entry[at++] - '0');
      return at > first;
    };
    int64_t index = 0;
    int64_t machine = 0;
    bool good = digits(&index);
    if (good && at < entry.size()) {
      good = entry[at++] == '(' && digits(&machine) && at < entry.size() && entry[at++] == ')' && at == entry.size() &&
             machine <= kMaxMachine;
    }
    if (!good) {
      if (notices != nullptr) notices->push_back("Shared global '" + entry + "' is not an index or index(machine) with a machine 0 to 100: skipped");
      continue;
    }
    if (list.size() >= static_cast<size_t>(kMaxSharedGlobals)) {
      if (notices != nullptr) notices->push_back("More than 2048 shared globals: the rest are skipped");
      break;
    }
    list.push_back(SharedGlobal{static_cast<int32_t>(machine << 16 | (index & 0x7FF)), 0});
  }
  return list;
}

bool Inbox::Append(int32_t mask, const uint8_t* text, size_t length) {
  const size_t need = 4 + length + 1;
  if (need > bytes.size() - used) return false;
  std::memcpy(bytes.data() + used, &mask, 4);
  std::memcpy(bytes.data() + used + 4, text, length);
  bytes[used + 4 + length] = 0;
  used += need;
  return true;
}

bool Inbox::TakeFirst(int32_t mask, std::string* text) {
  if (used < 5) return false;
  int32_t first = 0;
  std::memcpy(&first, bytes.data(), 4);
  if ((first & mask) == 0) return false;
  const auto* start = reinterpret_cast<const char*>(bytes.data() + 4);
  const size_t length = strnlen(start, used - 4);
  text->assign(start, length);
  const size_t whole = std::min(used, 4 + length + 1);
  std::memmove(bytes.data(), bytes.data() + whole, used - whole);
  used -= whole;
  return true;
}

Decoded ApplyMessage(const uint8_t* data, size_t bytes, const DecodeContext& context, ReceivedState* state) {
  if (data == nullptr || bytes < kMinMessage || bytes > kMaxMessage) return Decoded::kDropped;
  const int32_t match = ReadWord(data);
  if (match == 0) {
    // A text message: its zero must lie inside the packet.
    const uint8_t* text = data + 8;
    const void* zero = std::memchr(text, 0, bytes - 8);
    if (zero == nullptr) return Decoded::kDropped;
    const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(zero) - text);
    return state->inbox.Append(ReadWord(data + 4), text, length) ? Decoded::kText : Decoded::kTextDropped;
  }
  const int32_t sender = ReadWord(data + 4);
  if (sender < 0 || sender > kMaxMachine) return Decoded::kDropped;
  if (match != context.matchValue) {
    state->mismatch = -1;
    return Decoded::kMismatch;
  }
  ++state->activity[static_cast<size_t>(sender)];
  // Once every machine heard lately has spoken, answer on the next tick; a count that has run
  // past the number of machines triggers as well.
  if (++state->messagesCounted >= state->machinesHeard) {
    state->messagesCounted = 0;
    state->sendNow = true;
  }
  size_t at = 8;
  while (bytes - at >= 4) {
    const int32_t index = ReadWord(data + at);
    if (index == -1) {
      at += 4;
      if (bytes - at < 4) break;
      const int32_t count = ReadWord(data + at);
      at += 4;
      if (count < 0 || count > kMaxSharedGlobals) break;
      const size_t slots = state->shared.size();
      for (int32_t i = 0; i < count && bytes - at >= 8; ++i, at += 8) {
        const int32_t offset = ReadWord(data + at);
        if (offset < 0 || offset % 8 != 0 || static_cast<size_t>(offset / 8) >= slots) continue;
        state->shared[static_cast<size_t>(offset / 8)].received = ReadWord(data + at + 4);
      }
      break;
    }
    if (index < 0 || index > context.lastElement || index >= kElements) break;
    const ElementView& element = context.elements[index];
    if (!TakesPart(element.flags)) break;
    const size_t entry = EntryBytes(element.flags);
    if (bytes - at < entry) break;
    // A machine moves only its own elements, and never the receiver's.
    const bool senders = element.owner == sender || (element.owner == 0 && context.senderIsHost);
    if (!senders || Owns(element.owner, context.ownMachine, context.ownHost)) {
      at += entry;
      continue;
    }
    RemoteEntry& remote = state->remote[static_cast<size_t>(index)];
    const uint8_t* field = data + at + 4;
    auto take = [&field](int32_t* words, int count) {
      for (int i = 0; i < count; ++i, field += 4) words[i] = ReadWord(field);
    };
    remote.received = 0;
    if (element.flags & kFlagVelocity) take(remote.velocity, 3);
    if (element.flags & kFlagPosition) take(remote.position, 3);
    if (element.flags & kFlagSpin) take(remote.spin, 3);
    if (element.flags & kFlagRotation) take(remote.rotation, 3);
    if (element.flags & (kFlagOn | kFlagVisible)) remote.status = *field++;
    if (element.flags & kFlagFrame) {
      int32_t frame = 0;
      take(&frame, 1);
      if (frame >= 0 && frame <= element.frames) remote.frame = frame;
    }
    at += entry;
  }
  return Decoded::kState;
}

void EncodeState(const EncodeInput& input, std::vector<uint8_t>* out) {
  // Written through a pointer into a buffer sized for the largest message: this runs on the game
  // thread every tick a machine sends.
  const size_t shared = input.shared != nullptr ? input.shared->size() : 0;
  out->resize(16 + static_cast<size_t>(kElements) * EntryBytes(0x733) + shared * 8);
  uint8_t* at = out->data();
  auto word = [&at](int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    at[0] = static_cast<uint8_t>(bits);
    at[1] = static_cast<uint8_t>(bits >> 8);
    at[2] = static_cast<uint8_t>(bits >> 16);
    at[3] = static_cast<uint8_t>(bits >> 24);
    at += 4;
  };
  auto words = [&word](const int32_t* values) {
    for (int i = 0; i < 3; ++i) word(values[i]);
  };
  word(input.matchValue);
  word(input.machine);
  for (int32_t i = 0; i <= input.lastElement && i < kElements; ++i) {
    const int32_t* record = input.records + i * kRecordWords;
    const int32_t flags = record[kWordFlags];
    if (!TakesPart(flags) || !Owns(record[kWordOwner], input.machine, input.host)) continue;
    const OutgoingEntry& entry = input.outgoing[i];
    word(i);
    if (flags & kFlagVelocity) words(entry.velocity);
    if (flags & kFlagPosition) words(entry.position);
    if (flags & kFlagSpin) words(entry.spin);
    if (flags & kFlagRotation) words(entry.rotation);
    if (flags & (kFlagOn | kFlagVisible)) *at++ = static_cast<uint8_t>(entry.status);
    if (flags & kFlagFrame) word(entry.frame);
  }
  if (shared > 0) {
    word(-1);
    uint8_t* countAt = at;
    word(0);
    int32_t count = 0;
    for (size_t slot = 0; slot < shared; ++slot) {
      const SharedGlobal& global = (*input.shared)[slot];
      if (!Owns(global.Owner(), input.machine, input.host)) continue;
      word(static_cast<int32_t>(slot * 8));
      word(input.globals[global.Index()]);
      ++count;
    }
    uint8_t* end = at;
    at = countAt;
    word(count);
    at = end;
  }
  out->resize(static_cast<size_t>(at - out->data()));
}

std::vector<uint8_t> EncodeText(int32_t mask, const std::string& text) {
  std::vector<uint8_t> out;
  PutWord(&out, 0);
  PutWord(&out, mask);
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
  return out;
}

}  // namespace net
