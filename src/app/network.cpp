// The engine's side of a network session: making and starting it at start-up, its boxes, and
// hooking it into each play. Calls the session, the boxes and the play's sounds.
#include <cstdio>

#include "app/app.h"

namespace app {

bool StartNetworkSession(Engine& engine) {
  // A run on the null platform has no network: its session never finds anyone.
  std::unique_ptr<platform::Transport> transport = engine.options.platform.backend == platform::Backend::kSystem
                                                       ? platform::MakeEnetTransport()
                                                       : std::make_unique<platform::NullTransport>();
  engine.network = std::make_unique<net::Session>(std::move(transport), engine.options.network);
  const net::BoxFunction box = [&engine](const std::string& text, const std::vector<std::string>& buttons, int defaultButton) {
    // Cancel is the dialog's default, so an unattended run never retries for ever.
    return ShowProgramBox(engine, text, buttons, defaultButton);
  };
  if (net::StartNetwork(engine.network.get(), engine.paths.working, box) == 0) return false;
  engine.networkActive = engine.network->Active();
  return true;
}

void BeginNetworkPlay(Engine& engine) {
  if (!engine.network || !engine.network->Active() || !engine.play) return;
  Play& play = *engine.play;
  std::vector<std::string> notices;
  engine.network->BeginPlay(engine.arena.As<int32_t>(core::Region::kElementRecords), engine.project.LastIndex(),
                            engine.project.sharedGlobals, engine.arena.As<int32_t>(core::Region::kGlobals),
                            [&engine](int32_t element) {
                              if (engine.play) engine.play->sounds.Play(element);
                            },
                            &notices);
  for (const std::string& notice : notices) engine.platform.window->ShowNotice(notice);
  play.brains.network = engine.network.get();
}

}  // namespace app
