// The platform's services: which back ends the options give, the null back ends (input from the
// script, frames of the right size, what they were asked), and the single-instance lock.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "support/run_program.h"

namespace {

using platform::EventKind;
using platform::InputEvent;

platform::Options NullOptions() {
  platform::Options options;
  options.backend = platform::Backend::kNull;
  options.virtualClock = true;
  return options;
}

template <typename T, typename Base>
T* As(const std::unique_ptr<Base>& service) {
  return dynamic_cast<T*>(service.get());
}

// Width and height from a PNG's header chunk.
std::pair<uint32_t, uint32_t> PngSize(const std::string& bytes) {
  auto word = [&bytes](size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<uint8_t>(bytes.at(at + i));
    return value;
  };
  if (bytes.size() < 24 || bytes.compare(12, 4, "IHDR") != 0) return {0, 0};
  return {word(16), word(20)};
}

TEST(PlatformFactory, BackEndsFollowTheOptions) {
  platform::Platform platform;
  // Before Start every service is there already, and nothing has touched SDL.
  EXPECT_NE(As<platform::NullWindow>(platform.window), nullptr);
  EXPECT_NE(As<platform::NullGlContext>(platform.gl), nullptr);
  EXPECT_EQ(SDL_WasInit(0), 0u);

  std::string error;
  ASSERT_TRUE(platform.Start(NullOptions(), &error)) << error;
  EXPECT_NE(As<platform::NullWindow>(platform.window), nullptr);
  EXPECT_NE(As<platform::NullGlContext>(platform.gl), nullptr);
  EXPECT_TRUE(platform.IsHeadless());  // no display, whatever was asked
  ASSERT_TRUE(platform.OpenWindow(640, 480, "null", &error)) << error;
  EXPECT_EQ(SDL_WasInit(0), 0u);
  platform.Shutdown();

  platform::Options system;
  system.headless = true;
  system.virtualClock = true;
  ASSERT_TRUE(platform.Start(system, &error)) << error;
  EXPECT_EQ(As<platform::NullWindow>(platform.window), nullptr);
  EXPECT_EQ(As<platform::NullGlContext>(platform.gl), nullptr);
  EXPECT_NE(SDL_WasInit(0), 0u);
  // Sound goes through OpenAL and video through the system's decoder; sessions have only their
  // null back end so far.
  EXPECT_EQ(As<platform::NullAudio>(platform.audio), nullptr);
  EXPECT_NE(As<platform::NullTransport>(platform.transport), nullptr);
  EXPECT_EQ(As<platform::NullVideo>(platform.video), nullptr);
  platform.Shutdown();
  EXPECT_EQ(SDL_WasInit(0), 0u);
}

TEST(PlatformFactory, AnUnreadableScriptFailsTheStartOfEitherBackEnd) {
  // Bad lines do not: they are reported and skipped, even when no line is left.
  testing_support::TempFolder folder;
  const std::string bad = folder / "bad.txt";
  ASSERT_TRUE(testing_support::WriteText(bad, "@1 keydown FOO\n"));
  for (const platform::Backend backend : {platform::Backend::kNull, platform::Backend::kSystem}) {
    platform::Platform platform;
    platform::Options options = NullOptions();
    options.backend = backend;
    options.headless = true;
    options.inputScriptPath = bad;
    std::string error;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(platform.Start(options, &error)) << error;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), bad + ": line 1: unknown key 'FOO'\n");
  }
  for (const platform::Backend backend : {platform::Backend::kNull, platform::Backend::kSystem}) {
    platform::Platform platform;
    platform::Options options = NullOptions();
    options.backend = backend;
    options.headless = true;
    options.inputScriptPath = "/nonexistent/input.txt";
    std::string error;
    EXPECT_FALSE(platform.Start(options, &error));
    EXPECT_NE(error.find("/nonexistent/input.txt"), std::string::npos) << error;
    // A failed start leaves services that still answer boxes.
    platform::MessageBoxRequest box{"caption", "text", {"A", "B"}, 1};
    EXPECT_EQ(platform.window->ShowMessageBox(box), 1);
  }
}

// The null window replays a script exactly as the SDL window does: same events, same state, same
// clamping and the same stalls on the clock.
TEST(NullWindow, TakesTheSameEventsFromAScriptAsTheSdlWindow) {
  testing_support::TempFolder folder;
  ASSERT_TRUE(testing_support::WriteText(
      folder / "input.txt",
      "@0 keydown A\n@0 text \"a7\"\n@0 mouse 5000 -3\n@1 keyup A\n@1 click 10 20 right\n@1 stall 450\n"
      "@2 pad 2 on\n@2 axis 2 x -1000\n@2 hat 2 0 9000\n@3 keydown 0x4C\n@3 text \"5\"\n@4 quit\n"));
  struct Run {
    std::vector<std::vector<InputEvent>> passes;
    platform::InputState state;
    uint32_t clock = 0;
  };
  auto replay = [&](platform::Backend backend) {
    platform::Platform platform;
    platform::Options options = NullOptions();
    options.backend = backend;
    options.headless = true;
    options.inputScriptPath = folder / "input.txt";
    std::string error;
    Run run;
    EXPECT_TRUE(platform.Start(options, &error)) << error;
    EXPECT_TRUE(platform.OpenWindow(640, 480, "replay", &error)) << error;
    std::vector<InputEvent> ignored;
    for (int pass = 0; pass < 6; ++pass) {
      std::vector<InputEvent> events;
      platform.window->PumpEvents(&events);
      // The SDL window also reports its own appearing; only scripted events are compared.
      std::erase_if(events, [](const InputEvent& e) { return e.kind == EventKind::kActivate; });
      run.passes.push_back(events);
    }
    run.state = platform.window->Input();
    run.clock = platform.clock().Now();
    EXPECT_EQ(platform.window->PumpPasses(), 6u);
    return run;
  };
  const Run null = replay(platform::Backend::kNull);
  const Run sdl = replay(platform::Backend::kSystem);
  ASSERT_EQ(null.passes.size(), sdl.passes.size());
  for (size_t pass = 0; pass < null.passes.size(); ++pass) EXPECT_EQ(null.passes[pass], sdl.passes[pass]) << pass;
  EXPECT_EQ(null.state, sdl.state);
  EXPECT_EQ(null.clock, 450u);
  EXPECT_EQ(sdl.clock, 450u);

  // What the script did, seen from the null run alone.
  ASSERT_EQ(null.passes[0].size(), 4u);
  EXPECT_EQ(null.passes[0][2].scan, 0x08);  // the typed "7" carries its top-row code
  EXPECT_EQ(null.passes[0][3].x, 639);      // clamped to the logical frame
  EXPECT_EQ(null.passes[0][3].y, 0);
  EXPECT_EQ(null.passes[3][1].scan, 0x06);  // so does a "5" typed on the keypad
  EXPECT_TRUE(null.state.pads[1].present);
  EXPECT_EQ(null.state.pads[1].axes[platform::kAxisX], -1000);
  EXPECT_EQ(null.state.mouseX, 10);
  EXPECT_EQ(null.state.mouseButtons, 0u);  // the click was released in the next pass
  ASSERT_EQ(null.passes[4].size(), 1u);
  EXPECT_EQ(null.passes[4][0].kind, EventKind::kQuit);
}

TEST(NullWindow, BoxesTakeScriptedAnswersThenTheirDefaultAndAreRecorded) {
  testing_support::TempFolder folder;
  ASSERT_TRUE(testing_support::WriteText(folder / "input.txt", "answer \"no\"\nanswer 7\n"));
  platform::Platform platform;
  platform::Options options = NullOptions();
  options.inputScriptPath = folder / "input.txt";
  std::string error;
  ASSERT_TRUE(platform.Start(options, &error)) << error;
  platform::MessageBoxRequest box{"Quit", "Really?", {" Yes ", " No "}, 0};
  testing::internal::CaptureStderr();
  EXPECT_EQ(platform.window->ShowMessageBox(box), 1);  // by text, blanks and case aside
  EXPECT_EQ(platform.window->ShowMessageBox(box), 0);  // no such button: the default
  box.defaultButton = 1;
  EXPECT_EQ(platform.window->ShowMessageBox(box), 1);  // the script has no answer left
  platform.window->ShowNotice("Loading data, please wait...");
  platform.window->ShowNotice("");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("[message box] Quit: Really? ->  No \n"), std::string::npos) << err;
  EXPECT_NE(err.find("answer '7' fits no button"), std::string::npos) << err;
  EXPECT_NE(err.find("[notice] Loading data, please wait...\n"), std::string::npos) << err;

  platform.window->ShowCursor(false);
  platform.window->SetMousePosition(10, 10);  // no window yet: the pointer stays
  EXPECT_EQ(platform.window->Input().mouseX, 0);
  ASSERT_TRUE(platform.OpenWindow(320, 200, "boxes", &error)) << error;
  platform.window->SetMousePosition(400, 10);
  EXPECT_EQ(platform.window->Input().mouseX, 319);
  const auto* window = As<platform::NullWindow>(platform.window);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->log.Calls(),
            (std::vector<std::string>{"MessageBox Quit: Really? -> 1", "MessageBox Quit: Really? -> 0",
                                      "MessageBox Quit: Really? -> 1", "Notice Loading data, please wait...",
                                      "Notice ", "ShowCursor 0", "SetMousePosition 10 10", "Show 320x200 boxes",
                                      "SetMousePosition 400 10"}));
}

TEST(NullGlContext, ReadFrameHasTheLogicalSizeAndTheLastPresentedColour) {
  platform::Platform platform;
  std::string error;
  ASSERT_TRUE(platform.Start(NullOptions(), &error)) << error;
  std::vector<uint8_t> rgb;
  EXPECT_FALSE(platform.gl->ReadFrame(&rgb));
  platform.gl->BeginFrame({1, 2, 3});  // no frame yet: nothing happens
  platform.gl->Present();
  EXPECT_EQ(platform.gl->PresentedFrames(), 0u);
  EXPECT_EQ(platform.gl->RendererName(), "");

  ASSERT_TRUE(platform.OpenWindow(800, 600, "frames", &error)) << error;
  EXPECT_EQ(platform.gl->RendererName(), "null");
  EXPECT_FALSE(platform.gl->ReadFrame(&rgb));  // nothing presented yet
  platform.gl->BeginFrame({0, 16, 32});
  platform.gl->Present();
  platform.gl->BeginFrame({200, 100, 50});  // cleared, never presented
  ASSERT_TRUE(platform.gl->ReadFrame(&rgb));
  ASSERT_EQ(rgb.size(), 800u * 600u * 3u);
  EXPECT_EQ(rgb[0], 0);
  EXPECT_EQ(rgb[rgb.size() - 2], 16);
  EXPECT_EQ(rgb[rgb.size() - 1], 32);
  EXPECT_EQ(platform.gl->PresentedFrames(), 1u);

  EXPECT_FALSE(platform.OpenWindow(0, 600, "empty", &error));
  EXPECT_EQ(platform.gl->LogicalWidth(), 0);
  const auto* gl = As<platform::NullGlContext>(platform.gl);
  ASSERT_NE(gl, nullptr);
  EXPECT_EQ(gl->log.Calls(), (std::vector<std::string>{"OpenDevice", "OpenFrame 800x600", "BeginFrame 0 16 32", "Present",
                                                       "BeginFrame 200 100 50", "OpenDevice", "OpenFrame 0x600"}));
  EXPECT_EQ(gl->log.Count("Present"), 1u);

  // A long run keeps the first calls only, and counts them all.
  ASSERT_TRUE(platform.OpenWindow(64, 48, "long", &error)) << error;
  for (int frame = 0; frame < 5000; ++frame) platform.gl->Present();
  EXPECT_EQ(gl->log.Calls().size(), platform::CallLog::kMaxCalls);
  EXPECT_EQ(gl->log.Count("Present"), 5001u);
  ASSERT_TRUE(platform.gl->ReadFrame(&rgb));
  EXPECT_EQ(rgb.size(), 64u * 48u * 3u);
}

TEST(NullGlContext, ScreenshotsAreWrittenAtTheLogicalSize) {
  testing_support::TempFolder folder;
  {
    // A frame number alone names no file: nothing is written and nothing is reported.
    platform::Platform platform;
    platform::Options options = NullOptions();
    options.screenshotAt = 1;
    std::string error;
    ASSERT_TRUE(platform.Start(options, &error)) << error;
    ASSERT_TRUE(platform.OpenWindow(640, 480, "shots", &error)) << error;
    testing::internal::CaptureStderr();
    platform.gl->BeginFrame({0, 0, 0});
    platform.gl->Present();
    platform.Shutdown();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
  for (const int at : {0, 2, 9}) {
    const std::string path = folder / ("shot" + std::to_string(at) + ".png");
    platform::Platform platform;
    platform::Options options = NullOptions();
    options.screenshotPath = path;
    options.screenshotAt = at;
    std::string error;
    ASSERT_TRUE(platform.Start(options, &error)) << error;
    ASSERT_TRUE(platform.OpenWindow(640, 480, "shots", &error)) << error;
    for (int frame = 0; frame < 3; ++frame) {
      platform.gl->BeginFrame({0, 0, 0});
      platform.gl->Present();
    }
    // A numbered capture is written as its frame is presented, the last frame when the window goes.
    EXPECT_EQ(testing_support::FileExistsAt(path), at == 2) << at;
    testing::internal::CaptureStderr();
    platform.Shutdown();
    const std::string err = testing::internal::GetCapturedStderr();
    if (at == 9) {
      EXPECT_FALSE(testing_support::FileExistsAt(path));
      EXPECT_NE(err.find("frame 9 was never presented"), std::string::npos) << err;
      continue;
    }
    EXPECT_EQ(PngSize(testing_support::ReadText(path)), std::make_pair(640u, 480u)) << at;
  }
}

TEST(NullAudio, KeepsSourcesAndBuffersAndRecordsEveryCall) {
  platform::NullAudio audio;
  std::string error;
  ASSERT_TRUE(audio.Open(22050, &error));
  const std::vector<uint8_t> pcm(4410 * 2, 0);
  EXPECT_EQ(audio.CreateBuffer({22050, 12, 1}, pcm.data(), pcm.size()), 0u);  // no such sample size
  EXPECT_EQ(audio.CreateBuffer({22050, 16, 2}, pcm.data(), 6), 0u);           // half a frame over
  const platform::AudioBuffer buffer = audio.CreateBuffer({22050, 16, 1}, pcm.data(), pcm.size());
  const platform::AudioSource source = audio.CreateSource();
  ASSERT_NE(buffer, 0u);
  ASSERT_NE(source, 0u);
  EXPECT_NE(buffer, source);

  audio.Play(source);  // nothing to play yet
  EXPECT_FALSE(audio.IsPlaying(source));
  audio.SetBuffer(source, buffer);
  audio.SetPosition(source, {1.5f, 0, -2});
  audio.SetGain(source, -1);  // ignored
  audio.SetPitch(source, 0.5f);
  audio.SetDistances(source, 5, 2);  // minimum beyond maximum: ignored
  audio.SetDistances(source, 2, 50);
  audio.Play(source);
  EXPECT_TRUE(audio.IsPlaying(source));
  audio.SetListener({0, 1, 0}, {}, {0, 0, 1}, {0, 1, 0});
  audio.SetDopplerFactor(0.5f);

  const platform::NullAudio::Source* s = audio.FindSource(source);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->position, (platform::Vec3{1.5f, 0, -2}));
  EXPECT_EQ(s->gain, 1.0f);
  EXPECT_EQ(s->pitch, 0.5f);
  EXPECT_EQ(s->minDistance, 2.0f);
  EXPECT_EQ(s->maxDistance, 50.0f);
  EXPECT_EQ(audio.listener().doppler, 0.5f);
  EXPECT_EQ(audio.FindBuffer(buffer)->bytes, pcm.size());

  // Deleting a buffer stops and empties the sources that play it; dead handles change nothing.
  audio.DeleteBuffer(buffer);
  EXPECT_FALSE(audio.IsPlaying(source));
  EXPECT_EQ(audio.FindSource(source)->buffer, 0u);
  audio.SetBuffer(source, buffer);
  EXPECT_EQ(audio.FindSource(source)->buffer, 0u);
  audio.DeleteSource(source);
  audio.SetGain(source, 0.5f);
  EXPECT_EQ(audio.FindSource(source), nullptr);

  const std::vector<std::string>& calls = audio.log.Calls();
  ASSERT_EQ(calls.size(), 19u);
  EXPECT_EQ(calls[1], "CreateBuffer 0 22050 12 1 8820");
  EXPECT_EQ(calls[3], "CreateBuffer 1 22050 16 1 8820");
  EXPECT_EQ(calls[7], "SetPosition 2 1.5 0 -2");
  EXPECT_EQ(calls[13], "SetListener 0 1 0 0 0 0 0 0 1 0 1 0");
  EXPECT_EQ(calls.back(), "SetGain 2 0.5");
  EXPECT_EQ(audio.log.Count("Play"), 2u);
}

TEST(NullTransport, SendsOnlyToKnownPeersAndHandsOutArrivalsInOrder) {
  platform::NullTransport net;
  const uint8_t hello[] = {'h', 'i'};
  std::string error;
  EXPECT_FALSE(net.Send(platform::kAllPeers, platform::Delivery::kReliable, hello, 2));  // no session
  EXPECT_FALSE(net.Join("", "", 2300, &error));
  ASSERT_TRUE(net.Join("arena", "", 2300, &error)) << error;
  EXPECT_EQ(net.LocalPeer(), platform::NullTransport::kJoinedPeer);
  EXPECT_FALSE(net.Send(1, platform::Delivery::kReliable, hello, 2));  // the host has not answered

  using Kind = platform::TransportEvent::Kind;
  net.Receive({Kind::kConnected, 1, platform::Delivery::kReliable, {}});
  net.Receive({Kind::kMessage, 1, platform::Delivery::kUnreliable, {7, 8}});
  net.Receive({Kind::kConnected, 3, platform::Delivery::kReliable, {}});
  std::vector<platform::TransportEvent> events;
  net.Poll(&events);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[1].data, (std::vector<uint8_t>{7, 8}));
  EXPECT_EQ(net.peers(), (std::vector<platform::PeerId>{1, 3}));

  EXPECT_TRUE(net.Send(1, platform::Delivery::kReliable, hello, 2));
  EXPECT_TRUE(net.Send(platform::kAllPeers, platform::Delivery::kUnreliable, hello, 1));
  EXPECT_FALSE(net.Send(1, platform::Delivery::kReliable, hello, 0));  // empty
  net.Receive({Kind::kDisconnected, 1, platform::Delivery::kReliable, {}});
  events.clear();
  net.Poll(&events);
  EXPECT_FALSE(net.Send(1, platform::Delivery::kReliable, hello, 2));
  EXPECT_EQ(net.sent(), (std::vector<platform::NullTransport::Sent>{{1, platform::Delivery::kReliable, {'h', 'i'}},
                                                                     {0, platform::Delivery::kUnreliable, {'h'}}}));
  net.Leave();
  EXPECT_EQ(net.LocalPeer(), 0u);
  EXPECT_TRUE(net.peers().empty());
  EXPECT_EQ(net.log.Count("Send"), 6u);
  EXPECT_EQ(net.log.Calls().front(), "Send 0 reliable 2");
  EXPECT_EQ(net.log.Calls().back(), "Leave");
}

TEST(NullVideo, OpensOnlyASetClipAndDecodesItToTheEnd) {
  platform::NullVideo video;
  std::string error;
  EXPECT_FALSE(video.Open("intro.avi", &error));  // no decoder, no clip
  EXPECT_TRUE(video.AtEnd());
  video.clip = {4, 2, 15, 2};
  ASSERT_TRUE(video.Open("intro.avi", &error)) << error;
  EXPECT_EQ(video.Width(), 4);
  EXPECT_EQ(video.FrameRate(), 15.0);
  std::vector<uint8_t> rgb;
  ASSERT_TRUE(video.DecodeFrame(&rgb));
  ASSERT_TRUE(video.DecodeFrame(&rgb));
  EXPECT_EQ(rgb, std::vector<uint8_t>(4 * 2 * 3, 1));
  EXPECT_FALSE(video.AtEnd());
  EXPECT_FALSE(video.DecodeFrame(&rgb));
  EXPECT_TRUE(video.AtEnd());
  EXPECT_EQ(rgb, std::vector<uint8_t>(4 * 2 * 3, 1));  // the last frame stays
  video.Close();
  EXPECT_EQ(video.Width(), 0);
  EXPECT_EQ(video.log.Calls(), (std::vector<std::string>{"Open intro.avi", "Open intro.avi", "Decode 0", "Decode 1",
                                                          "Decode end", "Close"}));
}

TEST(SingleInstance, SecondHolderWaitsElevenLooks) {
  testing_support::TempFolder folder;
  platform::SingleInstance first;
  ASSERT_TRUE(first.TryAcquire(folder.path(), "Zu-Teal"));
  static int pauses;
  pauses = 0;
  platform::SingleInstance second;
  EXPECT_FALSE(platform::WaitForSingleInstance(folder.path(), "Zu-Teal", &second, [] { ++pauses; }));
  EXPECT_EQ(pauses, 11);
  platform::SingleInstance other;  // another folder is another game
  EXPECT_TRUE(platform::WaitForSingleInstance(folder.path() + "x/", "Zu-Teal", &other, [] { ++pauses; }));
  EXPECT_EQ(pauses, 11);
}

}  // namespace
