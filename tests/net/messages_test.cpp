// The two message formats byte for byte, the checks on hostile packets, the inbox and the
// shared-globals list.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "net/net.h"
#include "words.h"

namespace {

using net_testing::Words;

// A receiver's view of four elements, all owned by machine 3 unless changed.
struct Receiver {
  std::array<net::ElementView, net::kElements> view{};
  net::DecodeContext context;
  net::ReceivedState state;
  Receiver() {
    for (auto& element : view) element = net::ElementView{0x003, 3, 4};
    context.matchValue = 77;
    context.lastElement = 3;
    context.elements = view.data();
    context.ownMachine = 1;
    state.shared.resize(2);
  }
  net::Decoded Apply(const std::vector<uint8_t>& bytes) { return net::ApplyMessage(bytes.data(), bytes.size(), context, &state); }
};

std::vector<uint8_t> Cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(NetMessages, StateAndTextFormatsByteForByte) {
  // One host element with flags 0x402 (position and frame), no shared globals: 28 bytes.
  std::vector<int32_t> records(256 * 256, 0);
  records[37] = 0x402;
  records[38] = 0;
  std::array<net::OutgoingEntry, net::kElements> outgoing{};
  outgoing[0].position[0] = 10;
  outgoing[0].position[1] = -2;
  outgoing[0].position[2] = 30;
  outgoing[0].frame = 2;
  net::EncodeInput input;
  input.matchValue = 0x402;
  input.machine = 0;
  input.host = true;
  input.lastElement = 0;
  input.records = records.data();
  input.outgoing = outgoing.data();
  std::vector<uint8_t> message;
  net::EncodeState(input, &message);
  EXPECT_EQ(message.size(), 28u);
  EXPECT_EQ(message, Words({0x402, 0, 0, 10, -2, 30, 2}));
  // A joiner (machine 0 but not host) sends nothing of machine 0's.
  input.host = false;
  input.machine = 4;
  net::EncodeState(input, &message);
  EXPECT_EQ(message, Words({0x402, 4}));

  // Shared globals follow -1 and a count; only those the sender owns are sent.
  const std::vector<net::SharedGlobal> shared = {{5, 0}, {4 << 16 | 9, 0}, {2 << 16 | 7, 0}};
  std::vector<int32_t> globals(2048, 0);
  globals[9] = 99;
  input.shared = &shared;
  input.globals = globals.data();
  net::EncodeState(input, &message);
  EXPECT_EQ(message, Words({0x402, 4, -1, 1, 8, 99}));

  const std::vector<uint8_t> hi = net::EncodeText(5, "hi");
  EXPECT_EQ(hi, (std::vector<uint8_t>{0, 0, 0, 0, 5, 0, 0, 0, 'h', 'i', 0}));
  EXPECT_EQ(net::EntryBytes(0x033), 52u);
}

TEST(NetMessages, AppliesEntriesOfTheSendersOwnElementsOnly) {
  Receiver r;
  r.view[1].owner = 1;  // the receiver's own element
  r.view[2].owner = 0;  // the host's
  const auto entry = [](int32_t index, int32_t x) { return Words({index, 1, 2, 3, x, 0, 0}); };
  auto message = Cat(Cat(Cat(Words({77, 3}), entry(0, 100)), entry(1, 200)), entry(2, 300));
  EXPECT_EQ(r.Apply(message), net::Decoded::kState);
  EXPECT_EQ(r.state.remote[0].received, 0);
  EXPECT_EQ(r.state.remote[0].velocity[2], 3);
  EXPECT_EQ(r.state.remote[0].position[0], 100);
  EXPECT_EQ(r.state.remote[1].received, -1) << "never the receiver's own element";
  EXPECT_EQ(r.state.remote[2].received, -1) << "machine 0's elements only from the host";
  EXPECT_EQ(r.state.activity[3], 1);
  r.context.senderIsHost = true;
  r.Apply(message);
  EXPECT_EQ(r.state.remote[2].position[0], 300);

  // Another project's message sets the mismatch flag and applies nothing.
  Receiver other;
  message[0] = 78;
  EXPECT_EQ(other.Apply(message), net::Decoded::kMismatch);
  EXPECT_EQ(other.state.mismatch, -1);
  EXPECT_EQ(other.state.remote[0].received, -1);
  EXPECT_EQ(other.state.activity[3], 0);
}

TEST(NetMessages, HostilePacketsChangeOnlyWhatTheyMay) {
  Receiver r;
  EXPECT_EQ(r.Apply(Words({77})), net::Decoded::kDropped);  // under 8 bytes
  EXPECT_EQ(r.Apply(std::vector<uint8_t>(65537, 1)), net::Decoded::kDropped);
  EXPECT_EQ(r.Apply(Words({77, 101, 0, 1, 2, 3, 4, 5, 6})), net::Decoded::kDropped);  // no machine 101
  EXPECT_EQ(r.Apply(Words({77, -1})), net::Decoded::kDropped);
  EXPECT_EQ(r.state.activity, (std::array<int32_t, net::kMachines>{}));

  // Machine 100 is counted like any other.
  EXPECT_EQ(r.Apply(Words({77, 100})), net::Decoded::kState);
  EXPECT_EQ(r.state.activity[100], 1);

  // An index past the last element, a negative one, or an element that takes no part ends the
  // entries; earlier entries stay applied; a short entry is not read.
  r.view[1].flags = 0x0C;  // shift bits only: takes no part
  r.Apply(Cat(Words({77, 3, 0, 0, 0, 0, 5, 5, 5}), Words({1, 0, 0, 0, 9, 9, 9})));
  EXPECT_EQ(r.state.remote[0].position[0], 5);
  EXPECT_EQ(r.state.remote[1].received, -1);
  r.view[1].flags = 0x003;
  r.Apply(Cat(Words({77, 3, 0, 0, 0, 0, 6, 6, 6}), Words({4, 0, 0, 0, 9, 9, 9})));
  EXPECT_EQ(r.state.remote[0].position[0], 6);
  EXPECT_EQ(r.state.remote[3].received, -1);
  r.Apply(Cat(Words({77, 3, -7, 0, 0, 0, 6, 6, 6}), Words({1})));
  r.Apply(Words({77, 3, 1, 0, 0, 0, 8, 8}));  // one word short
  EXPECT_EQ(r.state.remote[1].received, -1);

  // A frame number is taken only within the element's frame count.
  r.view[0].flags = 0x400;
  r.Apply(Words({77, 3, 0, 5}));
  EXPECT_EQ(r.state.remote[0].frame, -1);
  r.Apply(Words({77, 3, 0, 4}));
  EXPECT_EQ(r.state.remote[0].frame, 4);
  r.Apply(Words({77, 3, 0, -1}));
  EXPECT_EQ(r.state.remote[0].frame, 4);

  // Pairs: offsets must be multiples of 8 inside the slot table; a count above 2048 is ignored.
  r.Apply(Words({77, 3, -1, 4, 8, 11, 4, 12, 16, 13, -8, 14}));
  EXPECT_EQ(r.state.shared[0].received, 0);
  EXPECT_EQ(r.state.shared[1].received, 11);
  r.Apply(Words({77, 3, -1, 2049, 0, 15}));
  EXPECT_EQ(r.state.shared[0].received, 0);

  // A text needs its zero inside the packet.
  EXPECT_EQ(r.Apply(std::vector<uint8_t>{0, 0, 0, 0, 1, 0, 0, 0, 'a'}), net::Decoded::kDropped);
  EXPECT_EQ(r.state.inbox.used, 0u);
}

TEST(NetMessages, RandomPacketsTouchNothingOutsideTheirRegions) {
  Receiver r;
  r.view[1].owner = 1;
  r.view[2].owner = 0;
  r.context.senderIsHost = true;
  std::mt19937 random(7);
  for (int i = 0; i < 20000; ++i) {
    std::vector<uint8_t> bytes(random() % 80);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random() % 4 == 0 ? random() : random() % 4);
    if (bytes.size() >= 8 && random() % 2) std::memcpy(bytes.data(), Words({77, 3}).data(), 8);
    r.Apply(bytes);
  }
  for (int e = 4; e < net::kElements; ++e) EXPECT_EQ(r.state.remote[static_cast<size_t>(e)].received, -1) << e;
  EXPECT_EQ(r.state.remote[1].position[0], -1) << "the receiver's own element";
  EXPECT_EQ(r.state.shared.size(), 2u);
  EXPECT_LE(r.state.inbox.used, net::kInboxBytes);
}

TEST(NetInbox, KeepsWholeMessagesInOrder) {
  net::Inbox inbox;
  const std::string big(net::kInboxBytes - 5 - 4, 'x');
  ASSERT_TRUE(inbox.Append(1, reinterpret_cast<const uint8_t*>(big.data()), big.size()));
  const uint8_t two[] = {'a', 'b'};
  EXPECT_FALSE(inbox.Append(2, two, 2)) << "a message that would overflow is dropped whole";
  EXPECT_EQ(inbox.used, net::kInboxBytes - 4);
  inbox.Clear();
  const uint8_t first[] = {'o', 'n', 'e'};
  const uint8_t second[] = {'t', 'w', 'o'};
  inbox.Append(4, first, 3);
  inbox.Append(2, second, 3);
  const size_t used = inbox.used;
  std::string text = "left";
  EXPECT_FALSE(inbox.TakeFirst(2, &text)) << "a first message that does not match stays first";
  EXPECT_EQ(inbox.used, used);
  EXPECT_TRUE(inbox.TakeFirst(4 | 8, &text));
  EXPECT_EQ(text, "one");
  EXPECT_EQ(inbox.used, 8u) << "the later message moves to the front";
  EXPECT_TRUE(inbox.TakeFirst(2, &text));
  EXPECT_EQ(text, "two");
  EXPECT_FALSE(inbox.TakeFirst(-1, &text));
}

TEST(NetSettings, SharedGlobalsListSkipsBadEntries) {
  std::vector<std::string> notices;
  const auto list = net::ParseSharedGlobals("3, 2050(7),9(100), x, 4(101), 5(2", &notices);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].word, 3);
  EXPECT_EQ(list[1].Index(), 2050 & 0x7FF);
  EXPECT_EQ(list[1].Owner(), 7);
  EXPECT_EQ(list[2].Owner(), 100);
  EXPECT_EQ(notices.size(), 3u);
  std::string many;
  for (int i = 0; i < 2100; ++i) many += std::to_string(i) + ",";
  EXPECT_EQ(net::ParseSharedGlobals(many, &notices).size(), 2048u);
}

}  // namespace
