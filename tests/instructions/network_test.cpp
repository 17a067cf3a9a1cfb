// Network instructions over a hosted session of the null transport: the machine number, element
// owners and the six kinds of search, texts sent and polled into string variables, and the shared
// globals that global_set puts back.
#include <gtest/gtest.h>

#include <cstring>

#include "brain/brain.h"
#include "core/core.h"
#include "instructions/instructions.h"
#include "model/model.h"
#include "platform/platform.h"
#include "state/state.h"

namespace {

class NetworkInstructions : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(arena.Create());
    engine.play = std::make_unique<state::Play>();
    ASSERT_TRUE(brain::BeginCompilation(&engine.play->compiler, &arena));
    instructions::SetUpBrains(engine, 5);
    auto owned = std::make_unique<platform::NullTransport>();
    transport = owned.get();
    engine.network = std::make_unique<net::Session>(std::move(owned));
    std::string error;
    ASSERT_TRUE(engine.network->Host("game", 1, "me", &error)) << error;
  }
  int32_t* Record(int element) { return arena.As<int32_t>(core::Region::kElementRecords) + element * 256; }
  uint32_t Address(int element) { return arena.Address(core::Region::kElementRecords) + 1024u * static_cast<uint32_t>(element); }
  int32_t Call(const char* name, uint32_t a = 0, uint32_t b = 0, uint32_t c = 0, uint32_t d = 0, std::string* fault = nullptr) {
    brain::Regs regs{a, b, c, d, 0, Address(0)};
    std::string text;
    brain::CallRoutine(&engine.play->brains, brain::RoutineAddress(brain::RowOfName(name)), &regs, &text);
    if (fault != nullptr) *fault = text;
    else EXPECT_TRUE(text.empty()) << name << ": " << text;
    return static_cast<int32_t>(regs.eax);
  }
  int Index(int32_t answer) { return answer == 0 ? -1 : static_cast<int>((static_cast<uint32_t>(answer) - Address(0)) / 1024); }
  // A string variable holding `text` in a buffer of `size` bytes.
  uint32_t Variable(const std::string& text, size_t size = 16) {
    const int32_t handle = engine.handles.Create(size);
    std::memcpy(engine.handles.Find(static_cast<uint32_t>(handle))->data(), text.data(), text.size());
    return static_cast<uint32_t>(handle);
  }
  std::string Text(uint32_t handle) { return reinterpret_cast<const char*>(engine.handles.Find(handle)->data()); }

  state::Engine engine;
  core::Arena& arena = engine.arena;
  platform::NullTransport* transport = nullptr;
};

TEST_F(NetworkInstructions, MachineNumberModeAndHost) {
  Call("machine_number_set", 150);
  EXPECT_EQ(Call("machine_number"), 100);
  Call("machine_number_set", 3);
  EXPECT_EQ(Call("machine_number"), 3);
  EXPECT_EQ(Call("network_mode"), -1);
  EXPECT_EQ(Call("host"), -1);
  EXPECT_EQ(Call("machine_status", 0), 0);
  EXPECT_EQ(Call("machine_status", 3), 1);
  Record(4)[model::kWordOwner] = 7;
  EXPECT_EQ(Call("machine_element", Address(4)), 7);
  engine.network->Stop();
  EXPECT_EQ(Call("network_mode"), 0);
  EXPECT_EQ(Call("host"), 0);
}

TEST_F(NetworkInstructions, MachineElementFindInAllSixKinds) {
  // Elements 1..5: owners 2, 2, 9, 2, 2; 1 and 4 on; identity 1 but element 5 has 2.
  const int32_t owners[] = {0, 2, 2, 9, 2, 2};
  for (int e = 0; e <= 5; ++e) {
    Record(e)[model::kWordOwner] = owners[e];
    Record(e)[model::kWordIdentity] = e == 5 ? 2 : 1;
    Record(e)[model::kWordStatus] = e == 1 || e == 4 ? 1 : 0;
  }
  EXPECT_EQ(Index(Call("machine_element_find", Address(1), 2, 1, 1)), 2);
  EXPECT_EQ(Index(Call("machine_element_find", Address(1), 2, 2, 1)), 2);
  EXPECT_EQ(Index(Call("machine_element_find", Address(1), 2, 3, 1)), 4);
  EXPECT_EQ(Index(Call("machine_element_find", Address(5), 2, -1, 1)), 4);
  EXPECT_EQ(Index(Call("machine_element_find", Address(5), 2, -2, 1)), 2);
  EXPECT_EQ(Index(Call("machine_element_find", Address(4), 2, -3, 1)), 1);
  EXPECT_EQ(Index(Call("machine_element_find", Address(4), 2, 1, 1)), -1) << "element 5 shares no identity bit";
  EXPECT_EQ(Index(Call("machine_element_find", Address(4), 2, 1, 3)), 5);
  EXPECT_EQ(Index(Call("machine_element_find", Address(1), 9, -1, 1)), -1);
}

TEST_F(NetworkInstructions, TextsGoOutAndComeIntoStringVariables) {
  EXPECT_EQ(Call("str_send", Variable("hello"), 6), 0);
  EXPECT_EQ(Call("str_send", Variable(""), 6), 0) << "an empty text is not sent";
  const std::vector<uint8_t> one = {0, 0, 0, 0, 4, 0, 0, 0, 'o', 'n', 'e', 0};
  const std::vector<uint8_t> two = {0, 0, 0, 0, 1, 0, 0, 0, 't', 'w', 'o', 0};
  engine.network->ApplyReceived(one.data(), one.size(), false);
  engine.network->ApplyReceived(two.data(), two.size(), false);
  const uint32_t variable = Variable("old");
  Call("str_poll", variable, 1);
  EXPECT_EQ(Text(variable), "") << "a first message of another mask stays";
  Call("str_poll", variable, 4);
  EXPECT_EQ(Text(variable), "one");
  const uint32_t small = Variable("", 3);
  Call("str_poll", small, 1);
  EXPECT_EQ(Text(small), "tw") << "cut to the variable's length";
  std::string fault;
  Call("str_poll", 0x7FFF0000u, 1, 0, 0, &fault);
  EXPECT_NE(fault.find("STR_POLL"), std::string::npos);

  engine.network->Stop();  // the receive thread has handed the message to the transport by now
  ASSERT_EQ(transport->sent().size(), 1u);
  EXPECT_EQ(transport->sent()[0].data, (std::vector<uint8_t>{0, 0, 0, 0, 6, 0, 0, 0, 'h', 'e', 'l', 'l', 'o', 0}));
}

TEST_F(NetworkInstructions, GlobalSetPutsBackWhatAnotherMachineOwns) {
  int32_t* globals = arena.As<int32_t>(core::Region::kGlobals);
  Record(0)[model::kWordNetworkFlags] = 0x002;
  engine.network->BeginPlay(Record(0), 0, "12(4)", globals, nullptr, nullptr);
  net::Session& session = *engine.network;
  for (int i = 0; i < 3; ++i) {
    session.BeforeElements();
    session.AfterElements();
  }
  const std::vector<uint8_t> pair = {0x02, 0, 0, 0, 4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 0, 0, 0, 0, 77, 0, 0, 0};
  ASSERT_EQ(session.MatchValue(), 0x002 + (4 << 16 | 12));
  std::vector<uint8_t> message = pair;
  const int32_t match = session.MatchValue();
  std::memcpy(message.data(), &match, 4);
  session.ApplyReceived(message.data(), message.size(), false);
  session.BeforeElements();
  Call("global_set", 12, 5);
  EXPECT_EQ(globals[12], 77);
  Call("global_set", 13, 5);
  EXPECT_EQ(globals[13], 5);
}

}  // namespace
