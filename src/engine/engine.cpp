// Scene bridge and scene layer, visuals, pictures and text, sound, display, widgets and tools.
#include "engine/engine.h"

namespace engine {}  // namespace engine
