// The game chain's cut-scenes: the video named like a loading picture, played in its place.
// Calls the platform's video service.
#include "app/app.h"

namespace app {

// The video player is not part of this build yet: the chain goes on at once, with the screen
// left black as the caller cleared it.
void PlayCutScene(Engine& /*engine*/, const std::string& /*path*/) {}

}  // namespace app
