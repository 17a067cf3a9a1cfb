// Sessions: the apply rules of the tick hooks against values worked out by hand, then engines in
// one process on 127.0.0.1 (joining, convergence, texts, shared globals, host migration, loss,
// mismatched projects), and starting by network.ini.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include "net/net.h"
#include "platform/platform.h"
#include "support/temp_folder.h"
#include "words.h"

namespace {

using namespace std::chrono_literals;

using net_testing::Words;

// A port no other test process uses at the same time.
uint16_t FreshPort(int offset) { return static_cast<uint16_t>(20000 + (getpid() * 7 + offset) % 30000); }

// One engine: element records, globals and a session; Tick runs the hooks as the brain step does,
// with `brain` standing in for the elements' brains.
struct Machine {
  std::vector<int32_t> records = std::vector<int32_t>(256 * 256, 0);
  std::vector<int32_t> globals = std::vector<int32_t>(2048, 0);
  std::unique_ptr<net::Session> session;
  std::mutex linesMutex;
  std::vector<std::string> lines;
  std::vector<int32_t> sounds;
  std::function<void(int32_t, int32_t*)> brain;
  int32_t last = 0;

  explicit Machine(std::unique_ptr<platform::Transport> transport, net::SessionOptions options = {}) {
    options.searchWaitMs = 200;
    session = std::make_unique<net::Session>(std::move(transport), options);
    session->SetLog([this](const std::string& line) {
      std::lock_guard<std::mutex> lock(linesMutex);
      lines.push_back(line);
    });
  }
  explicit Machine(net::SessionOptions options = {}) : Machine(platform::MakeEnetTransport(), options) {}
  ~Machine() { session.reset(); }  // its thread may still log
  int32_t* Record(int i) { return records.data() + i * 256; }
  void Element(int i, int32_t flags, int32_t owner) {
    Record(i)[37] = flags;
    Record(i)[38] = owner;
    Record(i)[22] = 0x41;  // on and visible
    Record(i)[42] = 4;     // frames
    last = std::max(last, i);
  }
  void Begin(const std::string& shared = "") {
    session->BeginPlay(records.data(), last, shared, globals.data(), [this](int32_t e) { sounds.push_back(e); }, nullptr);
  }
  void Tick() {
    session->BeforeElements();
    for (int i = 0; i <= last; ++i) {
      session->BeforeBrain(i, Record(i));
      if (brain) brain(i, Record(i));
      session->AfterBrain(i, Record(i));
    }
    session->AfterElements();
  }
  bool Said(const std::string& line) {
    std::lock_guard<std::mutex> lock(linesMutex);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

// Waits up to two seconds for a condition.
bool Eventually(const std::function<bool()>& condition) {
  for (int i = 0; i < 400; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(5ms);
  }
  return condition();
}

void Host(Machine& m, uint16_t port, const std::string& name = "arena") {
  std::string error;
  ASSERT_TRUE(m.session->Host(name, port, "host", &error)) << error;
}

void Join(Machine& m, uint16_t port, const std::string& player, const std::string& name = "arena") {
  std::vector<net::FoundSession> found;
  std::string error;
  // A lossy host may miss a search or two, as it would on a bad network.
  for (int attempt = 0; attempt < 10 && found.empty(); ++attempt) {
    ASSERT_TRUE(m.session->Search("127.0.0.1", port, &found, &error)) << error;
  }
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, name);
  ASSERT_TRUE(m.session->Join(found[0], player, &error)) << error;
}

void TickAll(std::initializer_list<Machine*> machines, int ticks) {
  for (int t = 0; t < ticks; ++t) {
    for (Machine* m : machines) m->Tick();
    std::this_thread::sleep_for(3ms);
  }
}

// [SECTION] Apply rules, one engine fed by hand

class ApplyRules : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(m.session->Host("solo", 1, "me", &error)) << error;
  }
  // Runs the three countdown ticks, then feeds a message from machine 5.
  void Start(const std::string& shared = "") {
    m.Begin(shared);
    for (int i = 0; i < 3; ++i) m.Tick();
  }
  void Feed(std::initializer_list<int32_t> words) {
    const std::vector<uint8_t> bytes = Words(words);
    ASSERT_EQ(m.session->ApplyReceived(bytes.data(), bytes.size(), false), net::Decoded::kState);
  }
  Machine m{std::make_unique<platform::NullTransport>()};
};

TEST_F(ApplyRules, PositionConvergesByHalvesAndStopsWithinRounding) {
  m.Element(0, 0x003, 5);
  Start();
  Feed({m.session->MatchValue(), 5, 0, 0, 0, 0, 1000, 0, 0});
  std::vector<int32_t> xs;
  for (int i = 0; i < 12; ++i) {
    m.Tick();
    xs.push_back(m.Record(0)[3]);
  }
  EXPECT_EQ(xs, (std::vector<int32_t>{500, 750, 875, 937, 968, 984, 992, 996, 998, 999, 999, 999}));
}

TEST_F(ApplyRules, RotationTurnsTheShortWayAndStatusSnaps) {
  m.Element(0, 0x020, 5);
  m.Element(1, 0x102, 5);
  m.Record(0)[6] = 184000;
  m.Record(1)[22] = 0;  // off here
  m.Record(1)[3] = 77;
  m.Record(1)[9] = 13;
  m.Record(1)[1] = 0x1000;
  m.Record(1)[0] = 0x1080;
  Start();
  Feed({m.session->MatchValue(), 5, 0, 100, 0, 0, 1, 5000, 6, 7, 1});
  m.Tick();
  EXPECT_EQ(m.Record(0)[12], 420 >> 1);
  EXPECT_EQ(m.Record(0)[6], 184000 + 210);
  // Switched on by the owner while off here: snapped to the received place, at rest, first frame,
  // its sound played.
  EXPECT_EQ(m.Record(1)[22] & 1, 1);
  EXPECT_EQ(m.Record(1)[3], 5000);
  EXPECT_EQ(m.Record(1)[9], 0);
  EXPECT_EQ(m.Record(1)[0], 0x1000);
  EXPECT_EQ(m.sounds, std::vector<int32_t>{1});
}

TEST_F(ApplyRules, ANeverReceivedElementKeepsItsValuesAndDoesNotCoast) {
  m.Element(0, 0x033, 5);
  m.Record(0)[3] = 40;
  m.Record(0)[9] = 7;
  Start();
  m.brain = [](int32_t, int32_t* record) { record[3] += 100; };
  for (int i = 0; i < 3; ++i) m.Tick();
  EXPECT_EQ(m.Record(0)[3], 40);
  EXPECT_EQ(m.Record(0)[9], 7);
}

TEST_F(ApplyRules, SharedGlobalsAreSeededThenOverwrittenOnlyAtGlobalSet) {
  m.Element(0, 0x002, 0);
  m.globals[7] = 42;
  m.Begin("7(5), 8");
  m.Tick();
  m.Tick();
  m.globals[7] = 43;
  m.Tick();  // the countdown-1 tick seeds with the value the global has now
  m.globals[7] = 1;
  m.session->ReapplySharedGlobals();
  EXPECT_EQ(m.globals[7], 43);
  Feed({m.session->MatchValue(), 5, -1, 2, 0, 9, 8, 55});
  m.Tick();
  EXPECT_EQ(m.globals[7], 43) << "not before a global_set";
  m.session->ReapplySharedGlobals();
  EXPECT_EQ(m.globals[7], 9);
  m.globals[8] = 3;
  m.session->ReapplySharedGlobals();
  EXPECT_EQ(m.globals[8], 3) << "the host's own global is never overwritten";
}

TEST_F(ApplyRules, InstructionsViewOfTheSession) {
  m.Element(0, 0x002, 0);
  Start();
  m.session->SetMachine(150);
  EXPECT_EQ(m.session->Machine(), 100);
  EXPECT_EQ(m.session->MachineStatus(0), 0);
  EXPECT_EQ(m.session->MachineStatus(100), 1) << "the own number, not heard";
  m.session->SetMachine(0);
  const std::vector<uint8_t> other = Words({m.session->MatchValue() + 1, 5});
  m.session->ApplyReceived(other.data(), other.size(), false);
  EXPECT_EQ(m.session->Mismatch(63), -1);
  EXPECT_EQ(m.session->Mismatch(64), 0) << "a tick that is a multiple of 64 clears it";
  Feed({m.session->MatchValue(), 5});
  m.Tick();
  EXPECT_EQ(m.session->MachineStatus(5), 1);
  EXPECT_EQ(m.session->MachineStatus(6), 0);
  const std::vector<uint8_t> text = {0, 0, 0, 0, 3, 0, 0, 0, 'h', 0xE9, '"', 0};
  m.session->ApplyReceived(text.data(), text.size(), false);
  const std::string json = m.session->Json();
  EXPECT_NE(json.find("\"active\": true, \"host\": true, \"machine\": 0"), std::string::npos) << json;
  EXPECT_NE(json.find("\"inbox\": [{\"mask\": 3, \"text\": \"h\\u00E9\\\"\"}]"), std::string::npos) << json;
  std::string got;
  EXPECT_FALSE(m.session->PollText(4, &got));
  EXPECT_TRUE(m.session->PollText(1, &got));
  EXPECT_EQ(got, "h\xE9\"");
}

// [SECTION] Engines on 127.0.0.1

TEST(LoopbackSession, HostAndJoinerConvergeTalkAndShareGlobals) {
  const uint16_t port = FreshPort(1);
  Machine host;
  Machine joiner;
  for (Machine* m : {&host, &joiner}) {
    m->Element(0, 0x003, 0);
    m->Element(1, 0x002, 1);
  }
  Host(host, port);
  Join(joiner, port, "guest");
  EXPECT_TRUE(Eventually([&] { return host.Said("\"guest\" has joined") && joiner.Said("\"host\" has joined"); }));
  EXPECT_TRUE(host.session->IsHost());
  EXPECT_FALSE(joiner.session->IsHost());
  joiner.session->SetMachine(1);
  host.globals[3] = 11;
  joiner.globals[4] = 22;
  host.Begin("3, 4(1)");
  joiner.Begin("3, 4(1)");
  TickAll({&host, &joiner}, 3);
  int moving = 25;
  host.brain = [&moving](int32_t e, int32_t* record) {
    if (e == 0 && moving > 0) record[3] += 1000;
  };
  // From the start the two answer each other tick after tick, not every 90 ticks.
  const uint64_t before = host.session->StateMessagesSent() + joiner.session->StateMessagesSent();
  for (; moving > 0; --moving) TickAll({&host, &joiner}, 1);
  EXPECT_GE(host.session->StateMessagesSent() + joiner.session->StateMessagesSent() - before, 20u);
  TickAll({&host, &joiner}, 30);
  EXPECT_EQ(host.Record(0)[3], 25000);
  EXPECT_NEAR(joiner.Record(0)[3], 25000, 1);

  EXPECT_TRUE(host.session->SendText(5, "hi"));
  std::string text;
  EXPECT_TRUE(Eventually([&] { return joiner.session->PollText(1, &text); }));
  EXPECT_EQ(text, "hi");
  host.session->ReapplySharedGlobals();
  joiner.session->ReapplySharedGlobals();
  EXPECT_EQ(host.globals[4], 22);
  EXPECT_EQ(joiner.globals[3], 11);
}

TEST(LoopbackSession, TheFirstJoinerTakesOverWhenTheHostQuits) {
  const uint16_t port = FreshPort(2);
  Machine a, b, c;
  for (Machine* m : {&a, &b, &c}) m->Element(0, 0x003, 0);
  Host(a, port);
  Join(b, port, "bee");
  Join(c, port, "sea");
  ASSERT_TRUE(Eventually([&] { return b.session->PeerCount() == 2 && c.session->PeerCount() == 2; }))
      << "every joiner connects to every other";
  b.session->SetMachine(1);
  c.session->SetMachine(2);
  for (Machine* m : {&a, &b, &c}) m->Begin();
  a.session->Stop();
  EXPECT_TRUE(Eventually([&] { return b.session->IsHost() && b.Said("You have become the host"); }));
  EXPECT_TRUE(Eventually([&] { return c.Said("\"host\" has left"); }));
  EXPECT_FALSE(c.session->IsHost());
  EXPECT_FALSE(c.Said("You have become the host"));
  // The new host now sends machine 0's elements, and the others take them from it.
  b.Record(0)[3] = 4242;
  EXPECT_TRUE(Eventually([&] {
    TickAll({&b, &c}, 1);
    return std::abs(c.Record(0)[3] - 4242) <= 1;
  }));
}

TEST(LoopbackSession, ElementsConvergeAndTextsArriveDespiteLoss) {
  const uint16_t port = FreshPort(3);
  net::SessionOptions lossy;
  lossy.lossPercent = 30;
  lossy.seed = 9;
  Machine host(lossy);
  Machine joiner(lossy);
  for (Machine* m : {&host, &joiner}) m->Element(0, 0x003, 0);
  Host(host, port);
  Join(joiner, port, "guest");
  joiner.session->SetMachine(1);
  host.Begin();
  joiner.Begin();
  host.Record(0)[3] = 3000;
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(host.session->SendText(1, "t" + std::to_string(i)));
  EXPECT_TRUE(Eventually([&] {
    TickAll({&host, &joiner}, 1);
    return std::abs(joiner.Record(0)[3] - 3000) <= 1;
  }));
  std::string text;
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(Eventually([&] { return joiner.session->PollText(1, &text); }));
    EXPECT_EQ(text, "t" + std::to_string(i)) << "in order";
  }
}

TEST(LoopbackSession, DifferentProjectsSetMismatchOnBothSidesAndApplyNothing) {
  const uint16_t port = FreshPort(4);
  Machine host;
  Machine joiner;
  host.Element(0, 0x002, 0);
  host.Element(1, 0x002, 1);
  joiner.Element(0, 0x006, 0);
  joiner.Element(1, 0x002, 1);
  Host(host, port);
  Join(joiner, port, "guest");
  joiner.session->SetMachine(1);
  host.Begin();
  joiner.Begin();
  host.Record(0)[3] = 500;
  joiner.Record(1)[3] = 700;
  EXPECT_TRUE(Eventually([&] {
    TickAll({&host, &joiner}, 1);
    return host.session->Mismatch(1) == -1 && joiner.session->Mismatch(1) == -1;
  }));
  EXPECT_EQ(joiner.Record(0)[3], 0);
  EXPECT_EQ(host.Record(1)[3], 0);
  EXPECT_EQ(host.session->Snapshot().activity[1], 0);
}

TEST(LoopbackSession, BroadcastSearchFindsALocalHost) {
  const uint16_t port = FreshPort(5);
  Machine host;
  Host(host, port, "broadcast");
  std::unique_ptr<platform::Transport> searcher = platform::MakeEnetTransport();
  const std::vector<uint8_t> query = {'V', 'X', 'Q', '1', 0x60, 0xB0, 0xFD, 0x5B, 0xA4, 0x06, 0xD0, 0x11,
                                      0x9C, 0x4F, 0x00, 0xA0, 0xC9, 0x05, 0x42, 0x5E};
  std::vector<platform::SearchReply> replies;
  std::string error;
  if (!searcher->Search({""}, port, query, 500, &replies, &error)) GTEST_SKIP() << "broadcast unavailable here: " << error;
  if (replies.empty()) GTEST_SKIP() << "broadcasts do not come back to this machine here";
  ASSERT_GE(replies[0].data.size(), 21u);
  EXPECT_EQ(std::string(replies[0].data.begin() + 21, replies[0].data.end()), "broadcast");
  EXPECT_EQ(replies[0].port, port);
}

// [SECTION] Starting by network.ini

struct Boxes {
  std::vector<std::string> texts;
  net::BoxFunction Function() {
    return [this](const std::string& text, const std::vector<std::string>&, int defaultButton) {
      texts.push_back(text);
      return defaultButton;
    };
  }
};

TEST(StartNetwork, ALoneHostStartsAtOnceAndABadJoinPlaysAlone) {
  testing_support::TempFolder folder;
  const std::string dir = folder.path();
  const uint16_t port = FreshPort(6);
  {
    std::ofstream(dir + "network.ini") << "[Settings]\nMode=0\nPortNumber=" << port << "\nSessionName=lone\n";
    Machine m;
    Boxes boxes;
    EXPECT_EQ(net::StartNetwork(m.session.get(), dir, boxes.Function()), 1);
    EXPECT_TRUE(m.session->Active());
    EXPECT_TRUE(m.session->IsHost());
    EXPECT_TRUE(boxes.texts.empty());
  }
  {
    // Joining with no Timeout searches not once: the connection fails, and OK plays alone.
    std::ofstream(dir + "network.ini") << "[Settings]\nMode=1\nConnection=1\nIPAddress=127.0.0.1\nSessionName=lone\n";
    Machine m;
    Boxes boxes;
    EXPECT_EQ(net::StartNetwork(m.session.get(), dir, boxes.Function()), 1);
    EXPECT_FALSE(m.session->Active());
    EXPECT_EQ(boxes.texts, (std::vector<std::string>{"Connection failed!", "Could not connect, launch anyway?"}));
  }
  {
    std::ofstream(dir + "network.ini") << "[Settings]\nMode=0\nPortNumber=65536\n";
    Machine m;
    Boxes boxes;
    net::StartNetwork(m.session.get(), dir, boxes.Function());
    EXPECT_FALSE(m.session->Active());
    EXPECT_EQ(boxes.texts.front(), "Connection failed!");
  }
}

TEST(StartNetwork, TheDialogCancelledByDefaultQuits) {
  testing_support::TempFolder folder;
  Machine m;
  Boxes boxes;
  // Without network.ini the dialog's first box answers Cancel, then Cancel quits.
  Boxes cancelAll;
  const net::BoxFunction cancel = [&](const std::string& text, const std::vector<std::string>& buttons, int) {
    cancelAll.texts.push_back(text);
    return static_cast<int>(buttons.size()) - 1;
  };
  EXPECT_EQ(net::StartNetwork(m.session.get(), folder.path(), cancel), 0);
  EXPECT_EQ(cancelAll.texts.back(), "Could not connect, launch anyway?");
}

}  // namespace
