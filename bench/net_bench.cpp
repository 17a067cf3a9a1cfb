// Network session figures: wire bytes per owned element per tick and the latency from the owner's
// send step to the receiver's tables (two sessions in this process on 127.0.0.1), the game-thread
// cost of the hooks in a brain step of 256 motion elements, and decoding a full state message.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "brain/brain.h"
#include "core/core.h"
#include "instructions/instructions.h"
#include "model/model.h"
#include "net/net.h"
#include "state/state.h"

namespace {

using Clock = std::chrono::steady_clock;

uint16_t FreshPort(int offset) { return static_cast<uint16_t>(20000 + (getpid() * 11 + offset) % 30000); }

// An engine's records, globals and session; Tick runs the hooks as the brain step does.
struct Machine {
  std::vector<int32_t> records = std::vector<int32_t>(256 * 256, 0);
  std::vector<int32_t> globals = std::vector<int32_t>(2048, 0);
  std::unique_ptr<net::Session> session = std::make_unique<net::Session>(platform::MakeEnetTransport());
  int32_t last = 0;
  Machine() { session->SetLog([](const std::string&) {}); }
  int32_t* Record(int i) { return records.data() + i * 256; }
  void Tick() {
    session->BeforeElements();
    for (int i = 0; i <= last; ++i) {
      session->BeforeBrain(i, Record(i));
      session->AfterBrain(i, Record(i));
    }
    session->AfterElements();
  }
};

// A host and a joiner on 127.0.0.1; the host owns elements 0..owned-1 with the flags.
bool Pair(Machine* host, Machine* joiner, int owned, int32_t flags, int portOffset, std::string* error) {
  for (Machine* m : {host, joiner}) {
    for (int i = 0; i < owned; ++i) {
      m->Record(i)[37] = flags;
      m->Record(i)[22] = 0x41;
    }
    m->last = owned - 1;
  }
  const uint16_t port = FreshPort(portOffset);
  if (!host->session->Host("bench", port, "host", error)) return false;
  std::vector<net::FoundSession> found;
  if (!joiner->session->Search("127.0.0.1", port, &found, error) || found.empty()) {
    if (error->empty()) *error = "no session found";
    return false;
  }
  if (!joiner->session->Join(found[0], "joiner", error)) return false;
  joiner->session->SetMachine(1);
  for (Machine* m : {host, joiner}) m->session->BeginPlay(m->records.data(), m->last, "", m->globals.data(), nullptr, nullptr);
  for (int t = 0; t < 3; ++t) {
    host->Tick();
    joiner->Tick();
  }
  return true;
}

// 64 moving elements with flags 0x033 (52-byte entries) for 300 ticks, both engines ticking with
// 2 ms between ticks so that each hears the other; the host's bytes over ticks and elements.
void BM_NetWireBytesPerElementTick(benchmark::State& state) {
  constexpr int kOwned = 64;
  constexpr int kTicks = 300;
  for (auto _ : state) {
    Machine host;
    Machine joiner;
    std::string error;
    if (!Pair(&host, &joiner, kOwned, 0x033, 1, &error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    const uint64_t payload0 = host.session->StateBytesSent();
    const uint64_t wire0 = host.session->WireBytesSent();
    for (int t = 0; t < kTicks; ++t) {
      for (int i = 0; i < kOwned; ++i) {
        host.Record(i)[3] += 1000 + i;
        host.Record(i)[7] += 100;
      }
      host.Tick();
      joiner.Tick();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const double payload = static_cast<double>(host.session->StateBytesSent() - payload0);
    const double wire = static_cast<double>(host.session->WireBytesSent() - wire0);
    state.counters["payload_B_per_element_tick"] = payload / kTicks / kOwned;
    state.counters["udp_B_per_element_tick"] = wire / kTicks / kOwned;
    state.counters["messages"] = static_cast<double>(host.session->StateMessagesSent());
  }
}
BENCHMARK(BM_NetWireBytesPerElementTick)->Iterations(1)->Unit(benchmark::kMillisecond);

// The owner's send step to the receiver's remote table: 2000 updates of one element; percentiles
// of the delay, and the share of updates applied before the receiver's next tick at 30 ticks/s.
void BM_NetLatency(benchmark::State& state) {
  Machine host;
  Machine joiner;
  std::string error;
  if (!Pair(&host, &joiner, 1, 0x002, 2, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  std::vector<double> micros;
  int32_t value = 1;
  for (auto _ : state) {
    host.Record(0)[3] = ++value;
    const uint64_t sent = host.session->StateMessagesSent();
    const auto start = Clock::now();
    host.Tick();
    if (host.session->StateMessagesSent() != sent) {
      while (joiner.session->Remote(0).position[0] != value) {
        if (Clock::now() - start > std::chrono::milliseconds(100)) break;
        std::this_thread::yield();  // two cores: leave the receive threads room to run
      }
      const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
      micros.push_back(us);
      state.SetIterationTime(us / 1e6);
    } else {
      state.SetIterationTime(0);
    }
    // The joiner answers, which makes the host send again on its next tick.
    joiner.Tick();
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  if (micros.empty()) return;
  std::sort(micros.begin(), micros.end());
  auto at = [&](double share) { return micros[std::min(micros.size() - 1, static_cast<size_t>(share * static_cast<double>(micros.size())))]; };
  state.counters["p50_us"] = at(0.50);
  state.counters["p99_us"] = at(0.99);
  state.counters["max_us"] = micros.back();
  const double inTime = static_cast<double>(std::count_if(micros.begin(), micros.end(), [](double us) { return us < 1e6 / 30; }));
  state.counters["next_tick_share"] = inTime / static_cast<double>(micros.size());
  state.counters["samples"] = static_cast<double>(micros.size());
}
BENCHMARK(BM_NetLatency)->Iterations(2000)->UseManualTime()->Unit(benchmark::kMicrosecond);

// RunBrains over 256 elements running the motion workload, all taking part (flags 0x033), half
// owned here and half by machine 1 with a received state; network off (0) and on (1, 2). With 1,
// a message from machine 1 arrives every tick, so the host also sends every tick; with 2 nothing
// more arrives, and the host sends every 90 ticks.
void BM_RunBrainsNetwork(benchmark::State& state) {
  const bool network = state.range(0) != 0;
  const bool pinged = state.range(0) == 1;
  std::string text;
  if (!core::ReadFile(std::string(VEXEL_BENCH_BRAINS) + "/motion.brn", &text)) {
    state.SkipWithError("workload motion.brn not found");
    return;
  }
  state::Engine engine;
  engine.play = std::make_unique<state::Play>();
  if (!engine.arena.Create() || !brain::BeginCompilation(&engine.play->compiler, &engine.arena)) {
    state.SkipWithError("no arena");
    return;
  }
  brain::CompilerState& compiler = engine.play->compiler;
  const uint32_t entry = compiler.code.Address();
  brain::CompileBrainText(&compiler, text);
  if (!compiler.error.empty()) {
    state.SkipWithError(compiler.error.c_str());
    return;
  }
  auto* records = engine.arena.As<int32_t>(core::Region::kElementRecords);
  for (int i = 0; i < 256; ++i) {
    int32_t* record = records + i * model::kRecordWords;
    record[model::kWordBrainEntry] = static_cast<int32_t>(entry);
    record[model::kWordStatus] = static_cast<int32_t>(model::kStatusOn | model::kStatusVisible);
    record[model::kWordNetworkFlags] = 0x033;
    record[model::kWordOwner] = i % 2;
  }
  instructions::SetUpBrains(engine, 255);
  brain::BrainRuntime& runtime = engine.play->brains;
  std::vector<uint8_t> ping;
  if (network) {
    // A host without peers: the messages it sends go nowhere, at no cost to this thread.
    engine.network = std::make_unique<net::Session>(platform::MakeEnetTransport());
    std::string error;
    if (!engine.network->Host("bench", FreshPort(3), "host", &error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    engine.network->BeginPlay(records, 255, "", engine.arena.As<int32_t>(core::Region::kGlobals), nullptr, nullptr);
    runtime.network = engine.network.get();
    for (int t = 0; t < 4; ++t) brain::RunBrains(&runtime);
    // Machine 1's state of its 128 elements.
    std::vector<uint8_t> full;
    auto put = [&full](int32_t word) {
      for (int b = 0; b < 4; ++b) full.push_back(static_cast<uint8_t>(static_cast<uint32_t>(word) >> (8 * b)));
    };
    put(engine.network->MatchValue());
    put(1);
    for (int i = 1; i < 256; i += 2) {
      put(i);
      for (int w = 0; w < 12; ++w) put(1000 * w + i);
    }
    engine.network->ApplyReceived(full.data(), full.size(), false);
    ping.assign(full.begin(), full.begin() + 8);
  }
  for (auto _ : state) {
    if (pinged) engine.network->ApplyReceived(ping.data(), ping.size(), false);
    brain::RunBrains(&runtime);
  }
  if (network) state.counters["messages_sent"] = static_cast<double>(engine.network->StateMessagesSent());
}
BENCHMARK(BM_RunBrainsNetwork)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// The hooks alone, as the brain step calls them, for the same 256 elements: 0 with nothing more
// arriving, 1 with a message from machine 1 every tick (so the host sends every tick).
void BM_NetHooksTick(benchmark::State& state) {
  Machine host;
  for (int i = 0; i < 256; ++i) {
    host.Record(i)[37] = 0x033;
    host.Record(i)[38] = i % 2;
    host.Record(i)[22] = 0x41;
  }
  host.last = 255;
  std::string error;
  if (!host.session->Host("bench", FreshPort(4), "host", &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  host.session->BeginPlay(host.records.data(), 255, "", host.globals.data(), nullptr, nullptr);
  for (int t = 0; t < 4; ++t) host.Tick();
  std::vector<uint8_t> full;
  auto put = [&full](int32_t word) {
    for (int b = 0; b < 4; ++b) full.push_back(static_cast<uint8_t>(static_cast<uint32_t>(word) >> (8 * b)));
  };
  put(host.session->MatchValue());
  put(1);
  for (int i = 1; i < 256; i += 2) {
    put(i);
    for (int w = 0; w < 12; ++w) put(1000 * w + i);
  }
  host.session->ApplyReceived(full.data(), full.size(), false);
  const std::vector<uint8_t> ping(full.begin(), full.begin() + 8);
  for (auto _ : state) {
    if (state.range(0) != 0) host.session->ApplyReceived(ping.data(), ping.size(), false);
    host.Tick();
  }
  state.counters["messages_sent"] = static_cast<double>(host.session->StateMessagesSent());
}
BENCHMARK(BM_NetHooksTick)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Decoding and applying one state message of 256 elements with every field (57-byte entries).
void BM_NetDecodeFullMessage(benchmark::State& state) {
  std::array<net::ElementView, net::kElements> view{};
  for (auto& element : view) element = net::ElementView{0x733, 1, 10};
  net::DecodeContext context;
  context.matchValue = 77;
  context.lastElement = 255;
  context.elements = view.data();
  std::vector<uint8_t> message;
  auto put = [&message](int32_t word) {
    for (int b = 0; b < 4; ++b) message.push_back(static_cast<uint8_t>(static_cast<uint32_t>(word) >> (8 * b)));
  };
  put(77);
  put(1);
  for (int i = 0; i < 256; ++i) {
    put(i);
    for (int w = 0; w < 12; ++w) put(w * 100 + i);
    message.push_back(0x41);
    put(3);
  }
  auto received = std::make_unique<net::ReceivedState>();
  for (auto _ : state) {
    benchmark::DoNotOptimize(net::ApplyMessage(message.data(), message.size(), context, received.get()));
  }
  state.counters["bytes"] = static_cast<double>(message.size());
}
BENCHMARK(BM_NetDecodeFullMessage)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
